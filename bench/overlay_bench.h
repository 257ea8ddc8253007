// The overlay benchmarks' world: a stand-in host window on its own thread and the plug-in's real
// background thread, started as process attach starts it. Code of the benchmark runs on that
// thread through a message hook: a bare pop-up as the floor, shown on the same key by a keyboard
// hook of its own, and paint watchers that stamp when a window and its children have painted.
#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "bench_util.h"

#include "app/app.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace bench {

// Thread messages the message hook handles on the background thread (then turned into WM_NULL).
const UINT kSetup = WM_APP + 40;      // create the floor pop-up and the floor's keyboard hook
const UINT kShowFloor = WM_APP + 41;  // what the floor's keyboard hook posts, as the plug-in's does
const UINT kHideFloor = WM_APP + 42;
const UINT kCall = WM_APP + 43;       // lParam: a std::function<void()> to run there

HWND g_host, g_panel, g_floor;
HWND g_floorEdit;  // a benchmark's own edit whose key-downs are stamped like the search box's
std::atomic<bool> g_floorMode{false};   // the hotkey shows the floor pop-up instead of the overlay
std::atomic<bool> g_setupDone{false};
std::atomic<bool> g_armed{false};       // a round is being timed
std::atomic<bool> g_needRun{false};     // the round ends only after a search run
std::atomic<bool> g_runSeen{false};
std::atomic<int> g_searchTimers{0};     // search-delay timers fired in this round
std::atomic<double> g_paintedAt{0};     // FfBenchNow() when the thread had nothing left to paint
std::atomic<double> g_keyAt{0};         // the last key-down the search box was sent in this round
std::atomic<double> g_runFrom{0};      // the search delay's timer came
std::atomic<double> g_runTo{0};        // the search it started had landed whole and the list was refilled
HHOOK g_floorKeys;
struct Watched {
    HWND window;
    WNDPROC base;
};
std::vector<Watched> g_watched;  // background thread only

// A round ends when a watched window has painted and the thread has no other window to paint.
void StampIfPainted()
{
    if (!g_armed || g_paintedAt != 0 || (g_needRun && !g_runSeen)) return;
    if (HIWORD(GetQueueStatus(QS_PAINT)) & QS_PAINT) return;
    g_paintedAt = FfBenchNow();
}

LRESULT CALLBACK WatchProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    WNDPROC base = nullptr;
    for (const Watched& x : g_watched)
        if (x.window == w) base = x.base;
    if (m == WM_TIMER && w == g_overlayWindow && wp == FF_TIMER_SEARCH && g_armed) g_runFrom = FfBenchNow();
    // The search's replies are read as they land: the round's run ends with its last one.
    bool landed = m == WM_FF_SEARCH_UPDATED && w == g_overlayWindow && wp == 1 && g_armed;
    LRESULT r = CallWindowProcW(base, w, m, wp, lp);
    if (landed) {
        g_runTo = FfBenchNow();
        g_runSeen = true;
    }
    if (m == WM_PAINT) StampIfPainted();
    return r;
}

void Watch(HWND w)
{
    for (const Watched& x : g_watched)
        if (x.window == w) return;
    g_watched.push_back({w, (WNDPROC)GetWindowLongPtrW(w, GWLP_WNDPROC)});
    SetWindowLongPtrW(w, GWLP_WNDPROC, (LONG_PTR)WatchProc);
}

BOOL CALLBACK WatchChild(HWND child, LPARAM)
{
    Watch(child);
    return TRUE;
}

// The floor: a bare pop-up that paints its background and a frame.
LRESULT CALLBACK FloorProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(w, &ps);
        RECT r;
        GetClientRect(w, &r);
        FillRect(dc, &r, (HBRUSH)GetStockObject(DKGRAY_BRUSH));
        FrameRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
        EndPaint(w, &ps);
        StampIfPainted();
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

// Installed after the plug-in's hook, so it is asked first: in floor mode it takes the hotkey the
// way the plug-in's hook does (foreground check, post to its own thread, swallow).
LRESULT CALLBACK FloorKeyProc(int code, WPARAM message, LPARAM lp)
{
    const KBDLLHOOKSTRUCT* k = (const KBDLLHOOKSTRUCT*)lp;
    if (g_floorMode && code == HC_ACTION && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) &&
        k->vkCode == 'F' && GetAsyncKeyState(VK_CONTROL) < 0 && GetAsyncKeyState(VK_MENU) < 0) {
        wchar_t cls[64] = L"";
        GetClassNameW(GetForegroundWindow(), cls, 64);
        if (lstrcmpW(cls, L"TTOTAL_CMD") == 0) {
            PostThreadMessageW(GetCurrentThreadId(), kShowFloor, 0, 0);
            return 1;
        }
    }
    return CallNextHookEx(g_floorKeys, code, message, lp);
}

// Runs on the background thread for every message it takes from its queue.
LRESULT CALLBACK OnBackgroundMessage(int code, WPARAM wp, LPARAM lp)
{
    MSG* msg = (MSG*)lp;
    if (code == HC_ACTION && wp == PM_REMOVE) {
        if (!msg->hwnd && msg->message == kSetup) {
            WNDCLASSW wc = {};
            wc.lpfnWndProc = FloorProc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
            wc.lpszClassName = L"FfBenchFloor";
            RegisterClassW(&wc);
            g_floor = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"floor", WS_POPUP | WS_BORDER, 0, 0, 10,
                                      10, g_host, nullptr, wc.hInstance, nullptr);
            g_floorKeys = SetWindowsHookExW(WH_KEYBOARD_LL, FloorKeyProc, wc.hInstance, 0);
            // The overlay's windows, made at the start, are watched from now on: their paints,
            // also those made outside the queue, and the search delay's timer.
            if (g_overlayWindow) {
                Watch(g_overlayWindow);
                EnumChildWindows(g_overlayWindow, WatchChild, 0);
            }
            g_setupDone = g_floor && g_floorKeys;
            msg->message = WM_NULL;
        } else if (!msg->hwnd && msg->message == kShowFloor) {
            // Same place and size as the overlay's.
            RECT r = {0, 0, 400, 40};
            if (g_overlayWindow) GetWindowRect(g_overlayWindow, &r);
            SetWindowPos(g_floor, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOACTIVATE);
            InvalidateRect(g_floor, nullptr, TRUE);
            ShowWindow(g_floor, SW_SHOW);
            SetForegroundWindow(g_floor);
            SetFocus(g_floor);
            msg->message = WM_NULL;
        } else if (!msg->hwnd && msg->message == kHideFloor) {
            ShowWindow(g_floor, SW_HIDE);
            msg->message = WM_NULL;
        } else if (msg->message == WM_KEYDOWN && g_armed && (msg->hwnd == g_searchBox || msg->hwnd == g_floorEdit)) {
            g_keyAt = FfBenchNow();
        } else if (!msg->hwnd && msg->message == kCall) {
            (*(std::function<void()>*)msg->lParam)();
            msg->message = WM_NULL;
        } else if (msg->message == WM_TIMER && msg->hwnd == g_overlayWindow && msg->wParam == FF_TIMER_SEARCH &&
                   g_armed) {
            g_searchTimers++;
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_APP) {
        SetForegroundWindow(w);
        SetFocus(g_panel);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

void HostThread(std::atomic<bool>* ready)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TTOTAL_CMD";
    RegisterClassW(&wc);
    g_host = CreateWindowExW(0, L"TTOTAL_CMD", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 900, 600, nullptr,
                             nullptr, wc.hInstance, nullptr);
    g_panel = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE, 0, 0, 450, 560, g_host, nullptr,
                              wc.hInstance, nullptr);
    SetFocus(g_panel);
    *ready = true;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// The host in front, then the plug-in's background thread started as process attach starts it.
// cfgLines go into [Display] of a fresh Fleetfinder.cfg. False when something did not come up.
bool Start(const std::string& cfgLines)
{
    std::wstring dir = FfTestMakeTempDir(L"bench-overlay");
    FfTestWriteBytes(dir + L"\\Fleetfinder.cfg", "[Display]\r\nLogging=N\r\n" + cfgLines);
    FfTestWriteBytes(dir + L"\\wincmd.ini", "[Configuration]\r\n");
    SetEnvironmentVariableW(L"COMMANDER_INI", (dir + L"\\wincmd.ini").c_str());
    lstrcpynW(g_configFilePath, (dir + L"\\Fleetfinder.cfg").c_str(), FF_PATH_CHARS);
    g_logPath[0] = 0;
    g_moduleHandle = GetModuleHandleW(nullptr);
    InitializeCriticalSection(&g_listingLock);

    std::atomic<bool> ready{false};
    std::thread(HostThread, &ready).detach();
    if (!FfTestWaitFor([&] { return ready.load(); }, 10000)) return false;
    DWORD tid = 0;
    CloseHandle(CreateThread(nullptr, 0, FfBackgroundThread, nullptr, 0, &tid));
    // The hook is the thread's last step before its loop.
    if (!FfTestWaitFor([] { return g_hookHandle != nullptr; }, 20000)) return false;
    if (!SetWindowsHookExW(WH_GETMESSAGE, OnBackgroundMessage, nullptr, g_hookThreadId)) return false;
    PostThreadMessageW(g_hookThreadId, kSetup, 0, 0);
    return FfTestWaitFor([] { return g_setupDone.load(); }, 10000);
}

// Runs work on the background thread and returns when it has run.
void OnBackground(const std::function<void()>& work)
{
    std::atomic<bool> done{false};
    std::function<void()> call = [&] {
        work();
        done = true;
    };
    PostThreadMessageW(g_hookThreadId, kCall, 0, (LPARAM)&call);
    FfTestWaitFor([&] { return done.load(); }, 10000);
}

// The host's panel in front with the focus, and time for the activation to settle.
bool FocusHost()
{
    SendMessageW(g_host, WM_APP, 0, 0);
    bool ok = FfTestWaitFor([] { return GetForegroundWindow() == g_host; }, 5000);
    FfTestFlushEvents(30);
    return ok;
}

// Ctrl and Alt held (until the system sees them down), then F: returns when F went down.
double PressHotkey()
{
    std::atomic<double> sentAt{0};
    std::thread t([&] {
        FfTestSendKey(VK_CONTROL, false);
        FfTestSendKey(VK_MENU, false);
        for (int i = 0; i < 400 && !(GetAsyncKeyState(VK_CONTROL) < 0 && GetAsyncKeyState(VK_MENU) < 0); i++) Sleep(5);
        sentAt = FfBenchNow();
        FfTestSendKey('F', false);
        FfTestSendKey('F', true);
        FfTestSendKey(VK_MENU, true);
        FfTestSendKey(VK_CONTROL, true);
    });
    t.join();
    return sentAt;
}

void Arm(bool needRun)
{
    g_paintedAt = g_keyAt = g_runFrom = g_runTo = 0;
    g_runSeen = false;
    g_searchTimers = 0;
    g_needRun = needRun;
    g_armed = true;
}

// Milliseconds from `from` to the stamp of the armed round, or -1 when it did not come.
double WaitPainted(double from, DWORD timeoutMs = 5000)
{
    bool ok = FfTestWaitFor([] { return g_paintedAt != 0; }, timeoutMs);
    g_armed = false;
    return ok ? g_paintedAt - from : -1.0;
}

// One hotkey press over the host, timed from F going down to the painted overlay (or, in floor
// mode, the painted pop-up); the window is closed again afterwards.
double TimeOpening(bool floor)
{
    if (!FocusHost()) return -1;
    g_floorMode = floor;
    Arm(false);
    double ms = WaitPainted(PressHotkey());
    // Let the opening's own empty search pass before closing.
    FfTestFlushEvents(floor ? 30 : 30 + g_settings.searchDelayMs);
    if (floor)
        PostThreadMessageW(g_hookThreadId, kHideFloor, 0, 0);
    else if (g_overlayWindow)
        SendMessageW(g_overlayWindow, WM_COMMAND, MAKEWPARAM(FF_ID_CLOSE, BN_CLICKED), (LPARAM)g_closeButton);
    FfTestWaitFor([] { return !IsWindowVisible(g_floor) && !(g_overlayWindow && IsWindowVisible(g_overlayWindow)); },
                  5000);
    g_floorMode = false;
    return ms;
}

}  // namespace bench
