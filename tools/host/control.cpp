// The stand-in host's control window: requests from tests, answered before the request returns.
#include "host.h"
#include <stdlib.h>

static std::vector<std::wstring> FfHostSplitArgs(const COPYDATASTRUCT* request)
{
    std::vector<std::wstring> args;
    if (!request->lpData || request->cbData < sizeof(wchar_t)) return args;
    std::wstring text((const wchar_t*)request->lpData, request->cbData / sizeof(wchar_t));
    size_t at = 0;
    for (;;) {
        size_t nl = text.find(L'\n', at);
        args.push_back(text.substr(at, nl == std::wstring::npos ? std::wstring::npos : nl - at));
        if (nl == std::wstring::npos) break;
        at = nl + 1;
    }
    return args;
}

static std::wstring FfHostHex(const std::string& bytes)
{
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

static std::string FfHostUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? (size_t)n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

static std::wstring FfHostNumber(long long value)
{
    wchar_t buf[32];
    _i64tow(value, buf, 10);
    return buf;
}

static int FfHostArgInt(const std::vector<std::wstring>& args, size_t index, int fallback)
{
    return index < args.size() && !args[index].empty() ? _wtoi(args[index].c_str()) : fallback;
}

static std::wstring FfHostArg(const std::vector<std::wstring>& args, size_t index)
{
    return index < args.size() ? args[index] : std::wstring();
}

static std::wstring FfHostItemsReply(int panel)
{
    const FfHostPanel& p = g_hostPanels[FfHostResolvePanel(panel)];
    int pathColumn = -1;
    for (size_t c = 0; c < p.columns.size(); ++c)
        if (_wcsicmp(p.columns[c].header.c_str(), L"Path") == 0) { pathColumn = (int)c; break; }
    std::wstring reply;
    for (const auto& item : p.items) {
        unsigned long long modified = ((unsigned long long)item.modified.dwHighDateTime << 32) | item.modified.dwLowDateTime;
        std::wstring path = pathColumn >= 0 && (size_t)pathColumn < item.columns.size() ? item.columns[(size_t)pathColumn] : L"";
        reply += FfHostHex(FfHostUtf8(item.name)) + L"\t" + FfHostNumber(item.attributes) + L"\t" +
                 FfHostNumber((long long)item.size) + L"\t" + FfHostNumber((long long)modified) + L"\t" +
                 FfHostHex(FfHostUtf8(path)) + L"\n";
    }
    return reply;
}

static std::wstring FfHostEventsReply()
{
    std::wstring reply;
    for (const auto& e : FfHostEvents())
        reply += e.kind + L"\t" + FfHostNumber(e.number) + L"\t" + FfHostHex(FfHostUtf8(e.path)) + L"\t" +
                 FfHostHex(FfHostUtf8(e.second)) + L"\t" + FfHostHex(e.letters) + L"\t" + FfHostHex(e.raw) + L"\n";
    return reply;
}

static LRESULT FfHostRun(int code, const std::vector<std::wstring>& args, std::wstring* reply)
{
    switch (code) {
    case FF_HOSTCTL_PING: return 1;
    case FF_HOSTCTL_QUIT: PostMessageW(g_hostMainWindow, WM_CLOSE, 0, 0); return 1;
    case FF_HOSTCTL_SET_ACTIVE: {
        int panel = FfHostArgInt(args, 0, 0) == 1 ? 1 : 0;
        // Setting the focus would activate a host that runs in the background and take the
        // foreground from whatever has it; there only the active panel changes.
        if (GetForegroundWindow() == g_hostMainWindow) FfHostActivatePanel(panel);
        g_hostActivePanel = panel;
        InvalidateRect(g_hostMainWindow, nullptr, TRUE);
        return 1;
    }
    case FF_HOSTCTL_GET_ACTIVE: return g_hostActivePanel;
    case FF_HOSTCTL_SET_FOLDER: return FfHostChangeFolder(FfHostArgInt(args, 0, -1), FfHostArg(args, 1), true) ? 1 : 0;
    case FF_HOSTCTL_GET_FOLDER: *reply = g_hostPanels[FfHostResolvePanel(FfHostArgInt(args, 0, -1))].folder; return 1;
    case FF_HOSTCTL_REFRESH: return FfHostRefreshPanel(FfHostArgInt(args, 0, -1)) ? 1 : 0;
    case FF_HOSTCTL_GET_ITEMS: *reply = FfHostItemsReply(FfHostArgInt(args, 0, -1)); return 1;
    case FF_HOSTCTL_GET_CURRENT: *reply = FfHostCurrentItem(FfHostArgInt(args, 0, -1)); return 1;
    case FF_HOSTCTL_MOVE:
        return SetWindowPos(g_hostMainWindow, nullptr, FfHostArgInt(args, 0, 0), FfHostArgInt(args, 1, 0),
                            FfHostArgInt(args, 2, 100), FfHostArgInt(args, 3, 100), SWP_NOZORDER | SWP_NOACTIVATE) ? 1 : 0;
    case FF_HOSTCTL_FRONT:
        SetForegroundWindow(g_hostMainWindow);
        SetActiveWindow(g_hostMainWindow);
        FfHostActivatePanel(g_hostActivePanel);
        return GetForegroundWindow() == g_hostMainWindow ? 1 : 0;
    case FF_HOSTCTL_GET_FOCUS: {
        HWND focus = GetFocus();
        RECT rc = {};
        if (focus) GetWindowRect(focus, &rc);
        *reply = FfHostNumber((long long)(UINT_PTR)focus) + L"\n" + FfHostNumber(rc.left) + L"\n" + FfHostNumber(rc.top) +
                 L"\n" + FfHostNumber(rc.right) + L"\n" + FfHostNumber(rc.bottom);
        return focus ? 1 : 0;
    }
    case FF_HOSTCTL_GET_EVENTS: *reply = FfHostEventsReply(); return 1;
    case FF_HOSTCTL_CLEAR_EVENTS: FfHostClearEvents(); return 1;
    case FF_HOSTCTL_COPY: return FfHostCopyItem(FfHostArg(args, 0));
    case FF_HOSTCTL_MOVE_ITEM: return FfHostCopyItem(FfHostArg(args, 0), true);
    case FF_HOSTCTL_OPEN: return FfHostOpenItem(FfHostArg(args, 0));
    case FF_HOSTCTL_PROPERTIES: return FfHostPropertiesItem(FfHostArg(args, 0));
    case FF_HOSTCTL_DELETE: return FfHostDeleteItem(FfHostArg(args, 0));
    case FF_HOSTCTL_SET_OVERWRITE: {
        int answer = FfHostArgInt(args, 0, FF_HOST_OVERWRITE_YES);
        if (answer < FF_HOST_OVERWRITE_YES || answer > FF_HOST_OVERWRITE_NO) return 0;
        g_hostOverwriteAnswer = answer;
        return 1;
    }
    case FF_HOSTCTL_GET_WINDOWS:
        *reply = FfHostNumber((long long)(UINT_PTR)g_hostMainWindow) + L"\n" +
                 FfHostNumber((long long)(UINT_PTR)g_hostPanels[0].list) + L"\n" +
                 FfHostNumber((long long)(UINT_PTR)g_hostPanels[1].list);
        return 1;
    case FF_HOSTCTL_INSTALL_PLUGIN: return FfHostInstallPlugin(&g_hostConfig, FfHostArg(args, 0), FfHostArg(args, 1)) ? 1 : 0;
    default: return 0;
    }
}

LRESULT FfHostHandleControlRequest(HWND controlWindow, HWND replyWindow, const COPYDATASTRUCT* request)
{
    if (!request) return 0;
    std::wstring reply;
    LRESULT result = FfHostRun((int)request->dwData, FfHostSplitArgs(request), &reply);
    if (replyWindow && IsWindow(replyWindow)) {
        COPYDATASTRUCT answer;
        answer.dwData = request->dwData;
        answer.cbData = (DWORD)(reply.size() * sizeof(wchar_t));
        answer.lpData = reply.empty() ? nullptr : (void*)reply.data();
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(replyWindow, WM_COPYDATA, (WPARAM)controlWindow, (LPARAM)&answer, SMTO_NORMAL, 10000, &ignored);
    }
    return result;
}
