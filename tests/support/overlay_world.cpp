// The overlay's test world: stand-in host on its own thread, stand-in engine, overlay in this process.
#include "overlay_world.h"

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "app/app.h"
#include "core/core.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

const char* kSearchRun = "FfRunSearchNow: filter=";
std::atomic<int> s_hostDown[256], s_passDown[256], s_passUp[256];
WNDPROC s_panelBase = nullptr;
HHOOK s_recorder = nullptr;

LRESULT CALLBACK PanelProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_KEYDOWN || m == WM_SYSKEYDOWN) s_hostDown[wp & 0xFF]++;
    return CallWindowProcW(s_panelBase, w, m, wp, lp);
}

void LayoutPanels(HWND host)
{
    RECT c;
    GetClientRect(host, &c);
    int half = c.right / 2;
    MoveWindow(GetDlgItem(host, 1), 0, 30, half, c.bottom - 60, TRUE);
    MoveWindow(GetDlgItem(host, 2), half, 30, c.right - half, c.bottom - 60, TRUE);
}

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_SIZE: LayoutPanels(w); return 0;
    case HOST_MSG_FOCUS_PANEL:
    case HOST_MSG_FOCUS_NONE:
        SetForegroundWindow(w);
        SetFocus(m == HOST_MSG_FOCUS_NONE ? nullptr : GetDlgItem(w, (int)wp + 1));
        return 0;
    case HOST_MSG_MOVE: {
        const RECT* r = (const RECT*)lp;
        SetWindowPos(w, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        // Wine raises no location event for a program's own moves.
        NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, w, OBJID_WINDOW, CHILDID_SELF);
        return 0;
    }
    case HOST_MSG_SHOW_OTHER:
        SetForegroundWindow((HWND)wp);
        SetFocus((HWND)wp);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

LRESULT CALLBACK OtherProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_KEYDOWN || m == WM_SYSKEYDOWN) s_hostDown[wp & 0xFF]++;
    return DefWindowProcW(w, m, wp, lp);
}

// Installed before the plug-in's hook, so it is called after it: it sees what was passed on.
LRESULT CALLBACK RecorderProc(int code, WPARAM msg, LPARAM lp)
{
    if (code == HC_ACTION) {
        DWORD vk = ((const KBDLLHOOKSTRUCT*)lp)->vkCode & 0xFF;
        if (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) s_passDown[vk]++;
        if (msg == WM_KEYUP || msg == WM_SYSKEYUP) s_passUp[vk]++;
    }
    return CallNextHookEx(s_recorder, code, msg, lp);
}

void HostThread(OverlayWorld* world, std::atomic<int>* ready)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    s_recorder = SetWindowsHookExW(WH_KEYBOARD_LL, RecorderProc, GetModuleHandleW(nullptr), 0);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = L"TTOTAL_CMD";
    RegisterClassW(&wc);
    wc.lpfnWndProc = OtherProc;
    wc.lpszClassName = L"FfTestOtherProgram";
    RegisterClassW(&wc);
    world->host = CreateWindowExW(0, L"TTOTAL_CMD", L"Stand-in host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  100, 80, 1000, 700, nullptr, nullptr, wc.hInstance, nullptr);
    for (int i = 0; i < 2; i++) {
        world->panels[i] = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LBS_NOTIFY,
                                           0, 0, 10, 10, world->host, (HMENU)(INT_PTR)(i + 1), wc.hInstance, nullptr);
        s_panelBase = (WNDPROC)SetWindowLongPtrW(world->panels[i], GWLP_WNDPROC, (LONG_PTR)PanelProc);
    }
    LayoutPanels(world->host);
    world->other = CreateWindowExW(0, L"FfTestOtherProgram", L"Other", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   1200, 50, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
    *ready = world->host && s_recorder ? 1 : -1;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void RunInput(std::vector<INPUT> inputs)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        for (INPUT& in : inputs) {
            SendInput(1, &in, sizeof(INPUT));
            Sleep(5);  // paces keys like a fast typist; correctness never depends on it
        }
        done = true;
    });
    FfTestWaitFor([&] { return done.load(); }, 10000);
    t.join();
    FfTestFlushEvents(100);
}

INPUT Key(WORD vk, WORD scan, DWORD flags)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return in;
}

}  // namespace

bool OverlayWorld::Start()
{
    dir = FfTestMakeTempDir(L"overlay");
    logPath = dir + L"\\Fleetfinder.log";
    cfgPath = dir + L"\\Fleetfinder.cfg";
    files = dir + L"\\files";
    std::vector<FfTestTreeItem> tree;
    for (int i = 1; i <= 28; i++) {
        FfTestTreeItem item;
        item.relPath = i <= 25 ? (i < 10 ? L"alpha0" : L"alpha") + std::to_wstring(i) + L".txt"
                               : L"beta" + std::to_wstring(i - 25) + L".txt";
        item.size = 1000u * (unsigned)i;
        item.modified = FfTestFileTime(2026, 1 + i % 12, 1 + i % 27, 10, i);
        tree.push_back(item);
    }
    if (!FfTestMakeTree(files, tree)) return false;
    // The theme reads the host's ini: an empty one (default font).
    FfTestWriteBytes(dir + L"\\wincmd.ini", "[Configuration]\r\n");
    SetEnvironmentVariableW(L"COMMANDER_INI", (dir + L"\\wincmd.ini").c_str());

    // In the host the lock is made at process attach; this program has no plug-in attach.
    InitializeCriticalSection(&g_listingLock);
    g_moduleHandle = GetModuleHandleW(nullptr);
    lstrcpynW(g_logPath, logPath.c_str(), FF_PATH_CHARS);
    LoadSettings("");

    FfEngineOptions opt;
    opt.roots.push_back(files);
    opt.filtersDir = dir;  // no engine filters there: the built-in catalogue
    if (!engine.Start(opt)) return false;

    std::atomic<int> ready{0};
    std::thread(HostThread, this, &ready).detach();
    if (!FfTestWaitFor([&] { return ready.load() != 0; }, 10000) || ready < 0) return false;
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    FfInstallKeyboardHook();
    return g_hookHandle != nullptr;
}

// displayLines come first in [Display]: the first of two equal keys is the one read.
void OverlayWorld::LoadSettings(const std::string& displayLines)
{
    FfTestWriteBytes(cfgPath, "[Display]\r\n" + displayLines +
                                  "Logging=Y\r\nSearchDelayMs=100\r\nMaxVisibleRows=20\r\nThemeMode=Dark\r\n"
                                  "[Everything]\r\nMaxResults=200\r\nSortOrder=NameAscending\r\n");
    FfLoadSettingsFrom(cfgPath.c_str());
}

size_t OverlayWorld::CountLog(const char* needle) const
{
    std::string log = FfTestReadBytes(logPath);
    size_t n = 0;
    for (size_t p = log.find(needle); p != std::string::npos; p = log.find(needle, p + 1)) n++;
    return n;
}

std::string OverlayWorld::LastSearchLine() const
{
    std::string log = FfTestReadBytes(logPath);
    size_t p = log.rfind(kSearchRun);
    if (p == std::string::npos) return "";
    return log.substr(p, log.find_first_of("\r\n", p) - p);
}

RECT RectOf(HWND window)
{
    RECT r = {};
    GetWindowRect(window, &r);
    return r;
}

bool OverlayWorld::OverlayVisible() const { return g_overlayWindow && IsWindowVisible(g_overlayWindow); }

OverlayWorld& World()
{
    static OverlayWorld* world = nullptr;
    if (!world) {
        world = new OverlayWorld();
        // The engine shares this program's output: CTest waits for it unless it ends with us.
        std::atexit([] { world->engine.Stop(); });
        if (!world->Start()) ADD_FAILURE() << "the overlay's test world did not start";
    }
    return *world;
}

bool OpenOverlay(int panel)
{
    OverlayWorld& w = World();
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, panel, 0);
    // Let this thread see its deactivation before the overlay takes the foreground back.
    FfTestFlushEvents(100);
    FfOpenOverlay();
    if (!w.OverlayVisible()) return false;
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FfTestFlushEvents(30);
    return g_resultCount == 0;
}

bool SearchAndWait(const wchar_t* text)
{
    OverlayWorld& w = World();
    size_t runs = w.CountLog(kSearchRun);
    SetWindowTextW(g_searchBox, text);
    bool ok = FfTestWaitFor([&] { return w.CountLog(kSearchRun) > runs; }, 5000);
    FfTestFlushEvents(50);
    return ok;
}

bool FocusControl(HWND control)
{
    return FfTestWaitFor([control] {
        if (GetFocus() == control && GetForegroundWindow() == g_overlayWindow) return true;
        SetForegroundWindow(g_overlayWindow);
        SetFocus(control);
        return false;
    }, 3000);
}

void SendChord(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> in;
    for (WORD k : keys) in.push_back(Key(k, 0, 0));
    for (auto it = keys.end(); it != keys.begin();) in.push_back(Key(*--it, 0, KEYEVENTF_KEYUP));
    RunInput(in);
}

void SendKey(WORD vk, bool down) { RunInput({Key(vk, 0, down ? 0 : KEYEVENTF_KEYUP)}); }

void SendText(const std::wstring& text)
{
    std::vector<INPUT> in;
    for (wchar_t ch : text) {
        in.push_back(Key(0, ch, KEYEVENTF_UNICODE));
        in.push_back(Key(0, ch, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP));
    }
    RunInput(in);
}

int HostKeyDowns(WORD vk) { return s_hostDown[vk & 0xFF]; }
int PassedKeyDowns(WORD vk) { return s_passDown[vk & 0xFF]; }
int PassedKeyUps(WORD vk) { return s_passUp[vk & 0xFF]; }
void ResetKeyCounts()
{
    for (int i = 0; i < 256; i++) s_hostDown[i] = s_passDown[i] = s_passUp[i] = 0;
}

void OverlayTest::SetUp()
{
    World().LoadSettings("");
    FfCloseOverlay();
    ResetKeyCounts();
    // Tests feed the list mouse messages of their own; the real pointer, wherever an earlier
    // program left it, must not add moves over the list (it would show tooltips).
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
}

void OverlayTest::TearDown()
{
    if (GetCapture()) ReleaseCapture();
    FfCloseOverlay();
}
