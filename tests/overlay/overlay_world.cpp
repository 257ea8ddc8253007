// A host window on its own thread, the stand-in engine and the plug-in's overlay in this process.
#include "overlay_world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "core/core.h"
#include "overlay/overlay.h"

namespace {

std::atomic<int> s_hostDown[256], s_hostUp[256], s_hostChars, s_passDown[256], s_passUp[256];
std::atomic<int> s_previousDirCommands;
WNDPROC s_panelBase = nullptr;
HHOOK s_recorder = nullptr;

LRESULT CALLBACK PanelProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_KEYDOWN || m == WM_SYSKEYDOWN) s_hostDown[wp & 0xFF]++;
    if (m == WM_KEYUP || m == WM_SYSKEYUP) s_hostUp[wp & 0xFF]++;
    if (m == WM_CHAR || m == WM_SYSCHAR) s_hostChars++;
    return CallWindowProcW(s_panelBase, w, m, wp, lp);
}

void LayoutPanels(HWND host)
{
    RECT c;
    GetClientRect(host, &c);
    HWND a = GetDlgItem(host, 1), b = GetDlgItem(host, 2);
    int half = c.right / 2;
    MoveWindow(a, 0, 30, half, c.bottom - 60, TRUE);
    MoveWindow(b, half, 30, c.right - half, c.bottom - 60, TRUE);
}

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_SIZE: LayoutPanels(w); return 0;
    case WM_USER + 51:  // numbered host command
        if (wp == 570) s_previousDirCommands++;
        return 0;
    case HOST_MSG_FOCUS_PANEL:
        SetForegroundWindow(w);
        SetFocus(GetDlgItem(w, (int)wp + 1));
        return 0;
    case HOST_MSG_FOCUS_NONE:
        SetForegroundWindow(w);
        SetFocus(nullptr);
        return 0;
    case HOST_MSG_MOVE: {
        const RECT* r = (const RECT*)lp;
        SetWindowPos(w, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        // Wine raises no location event for a program's own moves.
        NotifyWinEvent(EVENT_OBJECT_LOCATIONCHANGE, w, OBJID_WINDOW, CHILDID_SELF);
        return 0;
    }
    case HOST_MSG_SHOW_OTHER: {
        HWND other = (HWND)wp;
        SetForegroundWindow(other);
        SetFocus(other);
        return 0;
    }
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

INPUT Key(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

// displayLines come first in [Display]: the first of two equal keys is the one read.
void WriteCfg(const std::wstring& path, const std::string& displayLines)
{
    std::string cfg = "[Display]\r\n" + displayLines +
                      "Logging=Y\r\nSearchDelayMs=100\r\nMaxVisibleRows=20\r\nThemeMode=Dark\r\n"
                      "[Everything]\r\nMaxResults=200\r\n";
    FfTestWriteBytes(path, cfg);
}

}  // namespace

void SendChord(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> in;
    for (WORD k : keys) in.push_back(Key(k, false));
    for (auto it = keys.end(); it != keys.begin();) in.push_back(Key(*--it, true));
    RunInput(in);
}

void SendText(const std::wstring& text)
{
    std::vector<INPUT> in;
    for (wchar_t ch : text) {
        INPUT k = {};
        k.type = INPUT_KEYBOARD;
        k.ki.wScan = ch;
        k.ki.dwFlags = KEYEVENTF_UNICODE;
        in.push_back(k);
        k.ki.dwFlags |= KEYEVENTF_KEYUP;
        in.push_back(k);
    }
    RunInput(in);
}

int HostKeyDowns(WORD vk) { return s_hostDown[vk & 0xFF]; }
int HostKeyUps(WORD vk) { return s_hostUp[vk & 0xFF]; }
int HostChars() { return s_hostChars; }
int HostPreviousDirCommands() { return s_previousDirCommands; }
int PassedKeyDowns(WORD vk) { return s_passDown[vk & 0xFF]; }
int PassedKeyUps(WORD vk) { return s_passUp[vk & 0xFF]; }
void ResetKeyCounts()
{
    for (int i = 0; i < 256; i++) s_hostDown[i] = s_hostUp[i] = s_passDown[i] = s_passUp[i] = 0;
    s_hostChars = 0;
}

void OverlayWorld::LoadSettings(const std::string& cfgExtra)
{
    WriteCfg(cfgPath, cfgExtra);
    FfLoadSettingsFrom(cfgPath.c_str());
}

bool OverlayWorld::Start(const std::string& cfgExtra)
{
    dir = FfTestMakeTempDir(L"overlay");
    logPath = dir + L"\\Fleetfinder.log";
    cfgPath = dir + L"\\Fleetfinder.cfg";
    std::wstring files = dir + L"\\files";
    CreateDirectoryW(files.c_str(), nullptr);
    for (int i = 1; i <= 25; i++) {
        wchar_t name[64];
        swprintf(name, 64, L"\\alpha%02d.txt", i);
        FfTestWriteBytes(files + name, "alpha");
    }
    for (int i = 1; i <= 3; i++) FfTestWriteBytes(files + L"\\beta" + std::to_wstring(i) + L".txt", "b");
    // The theme reads the host's ini: an empty one (default font).
    FfTestWriteBytes(dir + L"\\wincmd.ini", "[Configuration]\r\n");
    SetEnvironmentVariableW(L"COMMANDER_INI", (dir + L"\\wincmd.ini").c_str());

    g_moduleHandle = GetModuleHandleW(nullptr);
    wcsncpy(g_logPath, logPath.c_str(), FF_PATH_CHARS - 1);
    LoadSettings(cfgExtra);

    FfEngineOptions opt;
    opt.roots.push_back(files);
    if (!engine.Start(opt)) return false;

    std::atomic<int> ready{0};
    std::thread(HostThread, this, &ready).detach();
    if (!FfTestWaitFor([&] { return ready.load() != 0; }, 10000) || ready < 0) return false;

    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    FfInstallKeyboardHook();
    return g_hookHandle != nullptr;
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
    size_t p = log.rfind("FfRunSearchNow: filter=");
    if (p == std::string::npos) return "";
    size_t e = log.find_first_of("\r\n", p);
    return log.substr(p, e == std::string::npos ? std::string::npos : e - p);
}

RECT OverlayWorld::PanelRect(int i) const
{
    RECT r = {};
    GetWindowRect(panels[i], &r);
    return r;
}

RECT OverlayWorld::OverlayRect() const
{
    RECT r = {};
    if (g_overlayWindow) GetWindowRect(g_overlayWindow, &r);
    return r;
}

bool OverlayWorld::OverlayVisible() const { return g_overlayWindow && IsWindowVisible(g_overlayWindow); }

OverlayWorld& World()
{
    static OverlayWorld* world = nullptr;
    if (!world) {
        world = new OverlayWorld();
        if (!world->Start()) ADD_FAILURE() << "overlay world did not start";
        // The engine shares this program's output: CTest waits for it unless it ends with us.
        std::atexit([] { world->engine.Stop(); });
    }
    return *world;
}
