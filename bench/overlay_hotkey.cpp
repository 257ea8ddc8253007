// Time from the hotkey's key-down to the overlay's first paint, against plain key delivery.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>
#include "bench_util.h"

#include "core/core.h"
#include "fftest.h"
#include "overlay/overlay.h"

namespace {

std::atomic<long long> g_paintAt{0}, g_keyAt{0};
WNDPROC g_panelBase;
HWND g_host, g_panel;

long long Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

double Ms(long long ticks)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return ticks * 1000.0 / f.QuadPart;
}

LRESULT CALLBACK PanelProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_KEYDOWN && wp == 'X' && !g_keyAt) g_keyAt = Now();
    return CallWindowProcW(g_panelBase, w, m, wp, lp);
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

// Sees every message this thread retrieves, the overlay's first WM_PAINT included.
LRESULT CALLBACK PaintWatch(int code, WPARAM wp, LPARAM lp)
{
    const MSG* c = (const MSG*)lp;
    if (code == HC_ACTION && c->message == WM_PAINT && c->hwnd == g_overlayWindow && !g_paintAt)
        g_paintAt = Now();
    return CallNextHookEx(nullptr, code, wp, lp);
}

void HostThread(std::atomic<bool>* ready)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TTOTAL_CMD";
    RegisterClassW(&wc);
    g_host = CreateWindowExW(0, L"TTOTAL_CMD", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 900, 600,
                             nullptr, nullptr, wc.hInstance, nullptr);
    g_panel = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE, 0, 0, 450, 560, g_host, nullptr,
                              wc.hInstance, nullptr);
    g_panelBase = (WNDPROC)SetWindowLongPtrW(g_panel, GWLP_WNDPROC, (LONG_PTR)PanelProc);
    *ready = true;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

INPUT Key(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

// Sends the keys from a helper thread, stamping the moment the last key-down goes out.
long long Press(std::vector<WORD> keys)
{
    std::atomic<long long> sentAt{0};
    std::atomic<bool> done{false};
    std::thread t([&] {
        for (size_t i = 0; i < keys.size(); i++) {
            INPUT in = Key(keys[i], false);
            if (i + 1 == keys.size()) sentAt = Now();
            SendInput(1, &in, sizeof(in));
        }
        for (size_t i = keys.size(); i-- > 0;) {
            INPUT in = Key(keys[i], true);
            SendInput(1, &in, sizeof(in));
        }
        done = true;
    });
    // Keep pumping: the hooks run on this thread, and SendInput waits for them.
    FfTestWaitFor([&] { return done.load(); }, 5000);
    t.join();
    return sentAt;
}


}  // namespace

int main()
{
    std::wstring dir = FfTestMakeTempDir(L"bench-overlay");
    FfTestWriteBytes(dir + L"\\Fleetfinder.cfg", "[Display]\r\nLogging=N\r\n");
    FfTestWriteBytes(dir + L"\\wincmd.ini", "[Configuration]\r\n");
    SetEnvironmentVariableW(L"COMMANDER_INI", (dir + L"\\wincmd.ini").c_str());
    g_moduleHandle = GetModuleHandleW(nullptr);
    FfLoadSettingsFrom((dir + L"\\Fleetfinder.cfg").c_str());

    std::atomic<bool> ready{false};
    std::thread(HostThread, &ready).detach();
    FfTestWaitFor([&] { return ready.load(); }, 10000);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    FfInstallKeyboardHook();
    SetWindowsHookExW(WH_GETMESSAGE, PaintWatch, nullptr, GetCurrentThreadId());

    const int rounds = 15;
    std::vector<double> plain, hotkey;
    double first = -1;
    for (int i = 0; i < rounds; i++) {
        SendMessageW(g_host, WM_APP, 0, 0);
        FfTestFlushEvents(50);
        g_keyAt = 0;
        long long sent = Press({'X'});
        if (FfTestWaitFor([] { return g_keyAt.load() != 0; }, 5000)) plain.push_back(Ms(g_keyAt - sent));

        SendMessageW(g_host, WM_APP, 0, 0);
        FfTestFlushEvents(50);
        g_paintAt = 0;
        sent = Press({VK_CONTROL, VK_MENU, 'F'});
        if (FfTestWaitFor([] { return g_paintAt.load() != 0; }, 5000)) {
            if (first < 0)
                first = Ms(g_paintAt - sent);
            else
                hotkey.push_back(Ms(g_paintAt - sent));
        }
        FfCloseOverlay();
    }
    double base = FfBenchMedian(plain), reopen = FfBenchMedian(hotkey);
    printf("overlay hotkey: plain key delivery (baseline) median %.2f ms over %zu presses\n", base,
           plain.size());
    printf("overlay hotkey: key-down to first paint, first opening (creates the window) %.2f ms\n", first);
    printf("overlay hotkey: key-down to first paint, re-opening median %.2f ms over %zu presses\n", reopen,
           hotkey.size());
    if (base > 0) printf("overlay hotkey: re-opening / baseline ratio %.1f\n", reopen / base);
    fflush(stdout);
    ExitProcess(0);
}
