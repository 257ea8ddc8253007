// The stand-in host's program: main window with two panels, commands, change-folder requests, keys.
#include "host.h"
#include <shellapi.h>
#include <stdlib.h>

static HWND g_hostControlWindow = nullptr;
static const int FF_HOST_CAPTION_HEIGHT = 22;

// Command 2029: the active panel's folder as Unicode text on the clipboard, before the send returns.
static bool FfHostCopyFolderToClipboard()
{
    const std::wstring& folder = g_hostPanels[g_hostActivePanel].folder;
    // Another program may hold the clipboard for a moment.
    bool opened = false;
    for (int attempt = 0; attempt < 50 && !(opened = OpenClipboard(g_hostMainWindow)); ++attempt) Sleep(10);
    if (!opened) return false;
    EmptyClipboard();
    size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    bool ok = false;
    if (block) {
        void* p = GlobalLock(block);
        if (p) {
            memcpy(p, folder.c_str(), bytes);
            GlobalUnlock(block);
            ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
        }
        if (!ok) GlobalFree(block);
    }
    CloseClipboard();
    return ok;
}

static LRESULT FfHostOnCommandMessage(WPARAM command)
{
    FfHostRecordEvent(L"command", (long long)(LONG)(DWORD)command);
    switch ((DWORD)command) {
    case FF_HOST_CMD_PREVIOUS_DIR: return FfHostGoBack(g_hostActivePanel) ? 1 : 0;
    case FF_HOST_CMD_COPY_PATH: return FfHostCopyFolderToClipboard() ? 1 : 0;
    default: return 0;
    }
}

static LRESULT FfHostOnCopyData(const COPYDATASTRUCT* cds)
{
    if (!cds) return FALSE;
    std::string raw;
    if (cds->lpData && cds->cbData) raw.assign((const char*)cds->lpData, cds->cbData);  // the event keeps its head
    if (cds->dwData != FF_HOST_CHANGEDIR_TAG) {
        FfHostRecordEvent(L"copydata", (long long)cds->dwData, std::wstring(), std::wstring(), std::string(), raw);
        return FALSE;
    }
    FfHostChangeDir record;
    bool parsed = FfHostParseChangeDir(cds->lpData, cds->lpData ? cds->cbData : 0, &record);
    FfHostRecordEvent(L"changedir", parsed ? 1 : 0, record.path, record.second, record.letters, raw);
    if (!parsed) return FALSE;
    bool ok = FfHostChangeFolder(g_hostActivePanel, record.path, true);
    if (!record.second.empty()) FfHostChangeFolder(1 - g_hostActivePanel, record.second, true);
    return ok ? TRUE : FALSE;
}

static void FfHostLayout(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    int half = (rc.right - rc.left) / 2;
    for (int i = 0; i < 2; ++i) {
        int left = i == 0 ? 0 : half;
        int width = i == 0 ? half : rc.right - half;
        if (g_hostPanels[i].list)
            MoveWindow(g_hostPanels[i].list, left, FF_HOST_CAPTION_HEIGHT, width,
                       rc.bottom - FF_HOST_CAPTION_HEIGHT > 0 ? rc.bottom - FF_HOST_CAPTION_HEIGHT : 0, TRUE);
    }
}

static void FfHostPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT rc;
    GetClientRect(hwnd, &rc);
    int half = (rc.right - rc.left) / 2;
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < 2; ++i) {
        RECT caption = { i == 0 ? 0 : half, 0, i == 0 ? half : rc.right, FF_HOST_CAPTION_HEIGHT };
        FillRect(dc, &caption, GetSysColorBrush(i == g_hostActivePanel ? COLOR_ACTIVECAPTION : COLOR_BTNFACE));
        caption.left += 4;
        DrawTextW(dc, g_hostPanels[i].folder.c_str(), -1, &caption, DT_SINGLELINE | DT_VCENTER | DT_PATH_ELLIPSIS);
    }
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &ps);
}

static LRESULT FfHostOnListNotify(HWND hwnd, WPARAM wParam)
{
    int panel = LOWORD(wParam) - 100;
    if (panel != 0 && panel != 1) return 0;
    if (HIWORD(wParam) == LBN_SETFOCUS && g_hostActivePanel != panel) {
        g_hostActivePanel = panel;
        InvalidateRect(hwnd, nullptr, TRUE);
    } else if (HIWORD(wParam) == LBN_DBLCLK) {
        std::wstring name = FfHostCurrentItem(panel);
        if (!name.empty()) FfHostOpenItem(name);
    }
    return 0;
}

static LRESULT CALLBACK FfHostWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case FF_HOST_CMD_MESSAGE: return FfHostOnCommandMessage(wParam);
    case WM_COPYDATA: return FfHostOnCopyData((const COPYDATASTRUCT*)lParam);
    case WM_SIZE: FfHostLayout(hwnd); return 0;
    case WM_WINDOWPOSCHANGED: {
        // Wine raises no location-change event for moves and resizes; accessibility hooks of
        // other programs (the plug-in follows this window) rely on it.
        const WINDOWPOS* pos = (const WINDOWPOS*)lParam;
        LRESULT result = DefWindowProcW(hwnd, msg, wParam, lParam);
        if (pos && (!(pos->flags & SWP_NOMOVE) || !(pos->flags & SWP_NOSIZE)))
            NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, hwnd, OBJID_WINDOW, CHILDID_SELF);
        return result;
    }
    case WM_SETFOCUS: FfHostActivatePanel(g_hostActivePanel); return 0;
    case WM_COMMAND: return FfHostOnListNotify(hwnd, wParam);
    case WM_PAINT: FfHostPaint(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

static LRESULT CALLBACK FfHostControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) return FfHostHandleControlRequest(hwnd, (HWND)wParam, (const COPYDATASTRUCT*)lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

static bool FfHostIsOwnWindow(HWND hwnd)
{
    return hwnd && (hwnd == g_hostMainWindow || IsChild(g_hostMainWindow, hwnd));
}

// Keys typed in the host's window. Ctrl+Alt+letter runs the [Shortcuts] binding (a hook of a
// loaded plug-in takes the key before this ever sees it). True when the key was used.
static bool FfHostOnKey(const MSG& msg)
{
    if ((msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) || !FfHostIsOwnWindow(msg.hwnd)) return false;
    bool ctrl = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0, shift = GetKeyState(VK_SHIFT) < 0;
    WPARAM key = msg.wParam;
    if (ctrl && alt && !shift && ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) {
        std::wstring folder;
        if (!FfHostShortcutFolder(g_hostConfig, (wchar_t)key, &folder)) return false;
        FfHostRecordEvent(L"shortcut", (long long)key, folder);
        FfHostChangeFolder(g_hostActivePanel, folder, true);
        return true;
    }
    if (ctrl || alt || msg.message != WM_KEYDOWN) return false;
    std::wstring current = FfHostCurrentItem(g_hostActivePanel);
    switch (key) {
    case VK_TAB: FfHostActivatePanel(1 - g_hostActivePanel); return true;
    case VK_RETURN: if (!current.empty()) FfHostOpenItem(current); return true;
    case VK_BACK: FfHostGoUp(g_hostActivePanel); return true;
    case VK_F5: if (!current.empty()) FfHostCopyItem(current); return true;
    case VK_F8:
    case VK_DELETE: if (!current.empty()) FfHostDeleteItem(current); return true;
    default: return false;
    }
}

struct FfHostOptions {
    std::wstring folders[2];
    int active = 0;
    int x = 100, y = 80, width = 900, height = 600;
    bool foreground = true;
};

static void FfHostParseArguments(FfHostOptions* options)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv) return;
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--left" && i + 1 < argc) options->folders[0] = argv[++i];
        else if (a == L"--right" && i + 1 < argc) options->folders[1] = argv[++i];
        else if (a == L"--active" && i + 1 < argc) options->active = _wtoi(argv[++i]) == 1 ? 1 : 0;
        else if (a == L"--background") options->foreground = false;
        else if (a == L"--pos" && i + 4 < argc) {
            options->x = _wtoi(argv[++i]);
            options->y = _wtoi(argv[++i]);
            options->width = _wtoi(argv[++i]);
            options->height = _wtoi(argv[++i]);
        }
    }
    LocalFree(argv);
}

static bool FfHostCreateWindows(HINSTANCE instance, const FfHostOptions& options)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfHostWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = FF_HOST_CLASS;
    RegisterClassW(&wc);
    WNDCLASSW cc = {};
    cc.lpfnWndProc = FfHostControlProc;
    cc.hInstance = instance;
    cc.lpszClassName = FF_HOSTCTL_CLASS;
    RegisterClassW(&cc);

    g_hostMainWindow = CreateWindowExW(0, FF_HOST_CLASS, L"Stand-in host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                       options.x, options.y, options.width, options.height, nullptr, nullptr, instance, nullptr);
    if (!g_hostMainWindow) return false;
    for (int i = 0; i < 2; ++i)
        g_hostPanels[i].list = CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
                                               WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                                               0, 0, 10, 10, g_hostMainWindow, (HMENU)(INT_PTR)(100 + i), instance, nullptr);
    // Hidden, not message-only, so that a test can find it among the top-level windows.
    g_hostControlWindow = CreateWindowExW(0, FF_HOSTCTL_CLASS, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    FfHostLayout(g_hostMainWindow);
    return g_hostControlWindow != nullptr;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    FfHostOptions options;
    FfHostParseArguments(&options);
    FfHostLoadConfig(&g_hostConfig);
    if (!FfHostCreateWindows(instance, options)) return 1;
    FfHostRegisterDropTargets();
    // Another process (the plug-in's background thread lives in this one, the tests do not)
    // sends the commands and the change-folder record.
    ChangeWindowMessageFilterEx(g_hostMainWindow, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(g_hostMainWindow, FF_HOST_CMD_MESSAGE, MSGFLT_ALLOW, nullptr);
    ChangeWindowMessageFilterEx(g_hostControlWindow, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    wchar_t current[2048];
    DWORD n = GetCurrentDirectoryW(2048, current);
    std::wstring fallback = (n > 0 && n < 2048) ? std::wstring(current) : L"C:\\";
    for (int i = 0; i < 2; ++i) {
        std::wstring folder = !options.folders[i].empty() ? options.folders[i]
                            : (i == 1 && !options.folders[0].empty() ? options.folders[0] : fallback);
        if (!FfHostChangeFolder(i, folder, false)) FfHostChangeFolder(i, fallback, false);
    }
    g_hostActivePanel = options.active;
    ShowWindow(g_hostMainWindow, options.foreground ? SW_SHOW : SW_SHOWNOACTIVATE);
    UpdateWindow(g_hostMainWindow);
    // In the background the focus is not set either: taking it would activate the window.
    if (options.foreground) {
        SetForegroundWindow(g_hostMainWindow);
        FfHostActivatePanel(options.active);
    }

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (FfHostOnKey(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
