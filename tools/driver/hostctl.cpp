// Test-side driver of the stand-in host: starting it and speaking to its control window.
#include "hostctl.h"
#include <stdlib.h>

namespace {

struct FfHostCtlReply {
    bool received = false;
    std::wstring text;
};

LRESULT CALLBACK FfHostCtlReplyProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        auto* reply = (FfHostCtlReply*)GetWindowLongPtrW(hwnd, GWLP_USERDATA);
        const COPYDATASTRUCT* cds = (const COPYDATASTRUCT*)lParam;
        if (reply && cds) {
            reply->received = true;
            if (cds->lpData && cds->cbData >= sizeof(wchar_t))
                reply->text.assign((const wchar_t*)cds->lpData, cds->cbData / sizeof(wchar_t));
            else
                reply->text.clear();
        }
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

const wchar_t* FfHostCtlReplyClass()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = FfHostCtlReplyProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FfHostCtlReply";
        RegisterClassW(&wc);
        registered = true;
    }
    return L"FfHostCtlReply";
}

struct FfHostCtlFind {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FfHostCtlEnum(HWND hwnd, LPARAM lParam)
{
    auto* find = (FfHostCtlFind*)lParam;
    wchar_t cls[64];
    if (!GetClassNameW(hwnd, cls, 64) || wcscmp(cls, find->className) != 0) return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (find->processId && pid != find->processId) return TRUE;
    find->found = hwnd;
    return FALSE;
}

HWND FfHostCtlFindWindow(const wchar_t* className, DWORD processId)
{
    FfHostCtlFind find = { processId, className, nullptr };
    EnumWindows(FfHostCtlEnum, (LPARAM)&find);
    return find.found;
}

std::string FfHostCtlUnhex(const std::wstring& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        wchar_t pair[3] = { hex[i], hex[i + 1], 0 };
        out += (char)wcstoul(pair, nullptr, 16);
    }
    return out;
}

std::vector<std::wstring> FfHostCtlSplit(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t at = 0;
    while (at <= text.size()) {
        size_t next = text.find(separator, at);
        if (next == std::wstring::npos) {
            parts.push_back(text.substr(at));
            break;
        }
        parts.push_back(text.substr(at, next - at));
        at = next + 1;
    }
    return parts;
}

std::wstring FfHostCtlQuote(const std::wstring& arg) { return L"\"" + arg + L"\""; }

// An environment block: the test's own environment with the given names replaced or removed.
std::vector<wchar_t> FfHostCtlEnvironment(const std::vector<std::pair<std::wstring, std::wstring>>& changes)
{
    std::vector<std::wstring> entries;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; p && *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        size_t eq = entry.find(L'=', 1);
        std::wstring name = eq == std::wstring::npos ? entry : entry.substr(0, eq);
        bool replaced = false;
        for (const auto& c : changes)
            if (_wcsicmp(c.first.c_str(), name.c_str()) == 0) replaced = true;
        if (!replaced) entries.push_back(entry);
    }
    if (block) FreeEnvironmentStringsW(block);
    for (const auto& c : changes)
        if (!c.second.empty()) entries.push_back(c.first + L"=" + c.second);
    std::vector<wchar_t> out;
    for (const auto& e : entries) {
        out.insert(out.end(), e.begin(), e.end());
        out.push_back(0);
    }
    out.push_back(0);
    if (out.size() == 1) out.push_back(0);
    return out;
}

}  // namespace

FfHostCtl::~FfHostCtl()
{
    if (process.Running()) Quit(3000);
}

bool FfHostCtl::Start(const FfHostStartOptions& options, DWORD timeoutMs, const std::wstring& hostExe)
{
    std::wstring exe = hostExe.empty() ? FfTestBinPath(L"ffhost.exe") : hostExe;
    std::wstring left = options.leftFolder.empty() ? FfTestBinaryDir() : options.leftFolder;
    std::wstring right = options.rightFolder.empty() ? left : options.rightFolder;
    wchar_t pos[96];
    _snwprintf(pos, 96, L" --pos %d %d %d %d", options.x, options.y, options.width, options.height);
    pos[95] = 0;
    std::wstring commandLine = FfHostCtlQuote(exe) + L" --left " + FfHostCtlQuote(left) + L" --right " +
                               FfHostCtlQuote(right) + L" --active " + (options.activePanel == FF_HOST_RIGHT ? L"1" : L"0") + pos +
                               (options.foreground ? L"" : L" --background") + (options.ansiOnly ? L" --ansi-only" : L"");
    std::vector<std::pair<std::wstring, std::wstring>> changes = {
        { L"COMMANDER_INI", options.commanderIni }, { L"COMMANDER_PATH", options.commanderPath } };
    for (const auto& e : options.environment) changes.push_back(e);
    std::vector<wchar_t> environment = FfHostCtlEnvironment(changes);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        nullptr, &si, &pi))
        return false;
    process.pi = pi;
    return Attach(pi.dwProcessId, timeoutMs);
}

bool FfHostCtl::Attach(DWORD processId, DWORD timeoutMs)
{
    bool ready = FfTestWaitFor([&] {
        controlWindow = FfHostCtlFindWindow(FF_HOSTCTL_CLASS, processId);
        return controlWindow && Request(FF_HOSTCTL_PING, L"", nullptr, 2000) == 1;
    }, timeoutMs);
    if (!ready) return false;
    std::wstring reply;
    Request(FF_HOSTCTL_GET_WINDOWS, L"", &reply);
    auto parts = FfHostCtlSplit(reply, L'\n');
    mainWindow = parts.empty() ? nullptr : (HWND)(UINT_PTR)_wcstoui64(parts[0].c_str(), nullptr, 10);
    return mainWindow != nullptr;
}

bool FfHostCtl::Quit(DWORD timeoutMs)
{
    if (!process.pi.hProcess) return controlWindow && Request(FF_HOSTCTL_QUIT, L"") == 1;
    if (process.Running()) Request(FF_HOSTCTL_QUIT, L"", nullptr, 3000);
    bool ended = FfTestWaitFor([&] { return !process.Running(); }, timeoutMs);
    if (!ended) process.Kill();
    controlWindow = nullptr;
    mainWindow = nullptr;
    return ended;
}

long long FfHostCtl::Request(int code, const std::wstring& args, std::wstring* reply, DWORD timeoutMs)
{
    if (reply) reply->clear();
    if (!controlWindow) return FF_HOST_OP_FAILED;
    FfHostCtlReply answer;
    HWND replyWindow = CreateWindowExW(0, FfHostCtlReplyClass(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    if (!replyWindow) return FF_HOST_OP_FAILED;
    SetWindowLongPtrW(replyWindow, GWLP_USERDATA, (LONG_PTR)&answer);
    COPYDATASTRUCT cds;
    cds.dwData = (ULONG_PTR)code;
    cds.cbData = (DWORD)(args.size() * sizeof(wchar_t));
    cds.lpData = args.empty() ? nullptr : (void*)args.data();
    DWORD_PTR result = 0;
    // SMTO_NORMAL: while waiting, this thread still takes the reply sent back to it.
    LRESULT sent = SendMessageTimeoutW(controlWindow, WM_COPYDATA, (WPARAM)replyWindow, (LPARAM)&cds, SMTO_NORMAL,
                                       timeoutMs, &result);
    DestroyWindow(replyWindow);
    if (!sent) return FF_HOST_OP_FAILED;
    if (reply) *reply = answer.text;
    return (long long)(LONG)(DWORD)result;
}

static std::wstring FfHostCtlPanelArg(int panel) { return panel == FF_HOST_LEFT ? L"0" : panel == FF_HOST_RIGHT ? L"1" : L"-1"; }

bool FfHostCtl::SetActivePanel(int panel) { return Request(FF_HOSTCTL_SET_ACTIVE, FfHostCtlPanelArg(panel)) == 1; }
int FfHostCtl::ActivePanel() { return (int)Request(FF_HOSTCTL_GET_ACTIVE, L""); }

HWND FfHostCtl::PanelList(int panel)
{
    if (panel == FF_HOST_ACTIVE) panel = ActivePanel();
    std::wstring reply;
    Request(FF_HOSTCTL_GET_WINDOWS, L"", &reply);
    auto parts = FfHostCtlSplit(reply, L'\n');
    size_t index = panel == FF_HOST_RIGHT ? 2 : 1;
    return parts.size() > index ? (HWND)(UINT_PTR)_wcstoui64(parts[index].c_str(), nullptr, 10) : nullptr;
}

bool FfHostCtl::SetFolder(int panel, const std::wstring& folder)
{
    return Request(FF_HOSTCTL_SET_FOLDER, FfHostCtlPanelArg(panel) + L"\n" + folder) == 1;
}

std::wstring FfHostCtl::Folder(int panel)
{
    std::wstring reply;
    Request(FF_HOSTCTL_GET_FOLDER, FfHostCtlPanelArg(panel), &reply);
    return reply;
}

bool FfHostCtl::Refresh(int panel) { return Request(FF_HOSTCTL_REFRESH, FfHostCtlPanelArg(panel)) == 1; }

std::vector<FfHostItem> FfHostCtl::Items(int panel)
{
    std::vector<FfHostItem> items;
    std::wstring reply;
    if (Request(FF_HOSTCTL_GET_ITEMS, FfHostCtlPanelArg(panel), &reply) != 1) return items;
    for (const auto& line : FfHostCtlSplit(reply, L'\n')) {
        auto f = FfHostCtlSplit(line, L'\t');
        if (f.size() < 5) continue;
        FfHostItem item;
        item.name = FfTestWide(FfHostCtlUnhex(f[0]));
        item.attributes = (DWORD)_wcstoui64(f[1].c_str(), nullptr, 10);
        item.size = _wcstoui64(f[2].c_str(), nullptr, 10);
        unsigned long long modified = _wcstoui64(f[3].c_str(), nullptr, 10);
        item.modified.dwLowDateTime = (DWORD)modified;
        item.modified.dwHighDateTime = (DWORD)(modified >> 32);
        item.path = FfTestWide(FfHostCtlUnhex(f[4]));
        items.push_back(item);
    }
    return items;
}

std::vector<std::wstring> FfHostCtl::Names(int panel)
{
    std::vector<std::wstring> names;
    for (const auto& item : Items(panel)) names.push_back(item.name);
    return names;
}

std::wstring FfHostCtl::CurrentItem(int panel)
{
    std::wstring reply;
    Request(FF_HOSTCTL_GET_CURRENT, FfHostCtlPanelArg(panel), &reply);
    return reply;
}

bool FfHostCtl::MoveMainWindow(int x, int y, int width, int height)
{
    wchar_t args[96];
    _snwprintf(args, 96, L"%d\n%d\n%d\n%d", x, y, width, height);
    args[95] = 0;
    return Request(FF_HOSTCTL_MOVE, args) == 1;
}

bool FfHostCtl::BringToFront() { return Request(FF_HOSTCTL_FRONT, L"") == 1; }

HWND FfHostCtl::FocusWindow()
{
    std::wstring reply;
    Request(FF_HOSTCTL_GET_FOCUS, L"", &reply);
    auto parts = FfHostCtlSplit(reply, L'\n');
    return parts.empty() ? nullptr : (HWND)(UINT_PTR)_wcstoui64(parts[0].c_str(), nullptr, 10);
}

bool FfHostCtl::FocusRect(RECT* rect)
{
    std::wstring reply;
    if (Request(FF_HOSTCTL_GET_FOCUS, L"", &reply) != 1) return false;
    auto parts = FfHostCtlSplit(reply, L'\n');
    if (parts.size() < 5) return false;
    rect->left = _wtoi(parts[1].c_str());
    rect->top = _wtoi(parts[2].c_str());
    rect->right = _wtoi(parts[3].c_str());
    rect->bottom = _wtoi(parts[4].c_str());
    return true;
}

std::vector<FfHostEvent> FfHostCtl::Events()
{
    std::vector<FfHostEvent> events;
    std::wstring reply;
    if (Request(FF_HOSTCTL_GET_EVENTS, L"", &reply) != 1) return events;
    for (const auto& line : FfHostCtlSplit(reply, L'\n')) {
        auto f = FfHostCtlSplit(line, L'\t');
        if (f.size() < 6) continue;
        FfHostEvent e;
        e.kind = f[0];
        e.number = _wtoi64(f[1].c_str());
        e.path = FfTestWide(FfHostCtlUnhex(f[2]));
        e.second = FfTestWide(FfHostCtlUnhex(f[3]));
        e.letters = FfHostCtlUnhex(f[4]);
        e.raw = FfHostCtlUnhex(f[5]);
        events.push_back(e);
    }
    return events;
}

bool FfHostCtl::ClearEvents() { return Request(FF_HOSTCTL_CLEAR_EVENTS, L"") == 1; }

bool FfHostCtl::WaitForEvent(const wchar_t* kind, DWORD timeoutMs, FfHostEvent* found)
{
    return FfTestWaitFor([&] {
        for (const auto& e : Events()) {
            if (e.kind == kind) {
                if (found) *found = e;
                return true;
            }
        }
        return false;
    }, timeoutMs);
}

int FfHostCtl::CopyToOtherPanel(const std::wstring& name) { return (int)Request(FF_HOSTCTL_COPY, name); }
int FfHostCtl::MoveToOtherPanel(const std::wstring& name) { return (int)Request(FF_HOSTCTL_MOVE_ITEM, name); }
int FfHostCtl::Open(const std::wstring& name) { return (int)Request(FF_HOSTCTL_OPEN, name); }
int FfHostCtl::Properties(const std::wstring& name) { return (int)Request(FF_HOSTCTL_PROPERTIES, name); }
int FfHostCtl::Delete(const std::wstring& name) { return (int)Request(FF_HOSTCTL_DELETE, name); }

bool FfHostCtl::SetOverwriteAnswer(int answer)
{
    wchar_t text[16];
    _snwprintf(text, 16, L"%d", answer);
    text[15] = 0;
    return Request(FF_HOSTCTL_SET_OVERWRITE, text) == 1;
}

bool FfHostCtl::InstallPlugin(const std::wstring& library, const std::wstring& rootName)
{
    return Request(FF_HOSTCTL_INSTALL_PLUGIN, rootName + L"\n" + library) == 1;
}
