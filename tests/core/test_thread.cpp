// The background thread's message loop: window messages reach their windows, its end removes the
// hook, and the hotkey's opening waits for a search run in progress.
#include <gtest/gtest.h>
#include "fftest.h"
#include "app/app.h"
#include "core/core.h"
#include "core/text.h"
#include "overlay/overlay.h"
#include "overlay_world.h"
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

std::vector<std::pair<UINT, WPARAM>> g_received;
int g_probeCalls;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= WM_USER) g_received.push_back({message, wParam});
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Probe(int code, WPARAM wParam, LPARAM lParam)
{
    ++g_probeCalls;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(MessageLoop, DispatchesWindowMessagesAndUnhooksAtTheEnd)
{
    std::wstring log = FfTestMakeTempDir(L"loop") + L"\\Fleetfinder.log";
    FfCopyText(g_logPath, FF_PATH_CHARS, log.c_str());
    g_settings.loggingEnabled = 1;
    g_hookThreadId = GetCurrentThreadId();

    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FfTestLoopWindow";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"FfTestLoopWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(window);

    // The auto-open number addressed to a window is an ordinary window message.
    PostMessageW(window, WM_FF_AUTOOPEN_OVERLAY, 7, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0);  // unknown thread message: ignored
    PostMessageW(window, WM_APP + 2, 9, 0);
    HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, Probe, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    g_hookHandle = hook;
    PostQuitMessage(0);

    EXPECT_EQ(0u, FfRunMessageLoop());

    const std::vector<std::pair<UINT, WPARAM>> expected = {{WM_FF_AUTOOPEN_OVERLAY, 7}, {WM_APP + 2, 9}};
    EXPECT_EQ(expected, g_received);
    EXPECT_EQ(nullptr, g_hookHandle);
    int callsDuringLoop = g_probeCalls;
    EXPECT_GT(callsDuringLoop, 0);
    PostMessageW(window, WM_APP + 3, 0, 0);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(callsDuringLoop, g_probeCalls) << "the hook was removed when the loop ended";

    std::string text = FfTestReadBytes(log);
    std::string line = "] Background thread exiting (tid=" + std::to_string(GetCurrentThreadId()) +
                       ") - unexpected while the module is pinned; only happens if GetMessage itself failed.\r\n";
    EXPECT_NE(std::string::npos, text.find(line)) << text;

    DestroyWindow(window);
    g_logPath[0] = 0;
}

using Hotkey = OverlayTest;

// The hook only decides and swallows: the opening it asks for comes after the run that was
// waiting for the engine when the key went down, never in the middle of it.
TEST_F(Hotkey, PressedWhileASearchWaitsOpensAfterTheRun)
{
    OverlayWorld& w = World();
    FfTestEngine slow;
    FfEngineOptions opt;
    opt.roots.push_back(w.files);
    opt.filtersDir = w.dir;
    opt.answerDelayMs = 600;
    w.engine.Stop();
    ASSERT_TRUE(slow.Start(opt));
    ASSERT_TRUE(OpenOverlay());
    // The hotkey counts only over the host; the overlay stays open behind it.
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    FfTestFlushEvents(100);
    const char* opened = "FfOpenOverlay: hotkey fired.";
    size_t opens = w.CountLog(opened);
    int queries = slow.QueriesReceived();
    std::atomic<bool> pressed{false};
    std::thread presser([&] {
        for (int i = 0; i < 1000 && slow.QueriesReceived() == queries; i++) Sleep(5);
        for (WORD key : {(WORD)VK_CONTROL, (WORD)VK_MENU, (WORD)'F'}) FfTestSendKey(key, false);
        for (WORD key : {(WORD)'F', (WORD)VK_MENU, (WORD)VK_CONTROL}) FfTestSendKey(key, true);
        pressed = true;
    });
    SetWindowTextW(g_searchBox, L"alpha");  // the search runs from this thread's timer
    bool reopened = FfTestWaitFor([&] { return pressed && w.CountLog(opened) > opens; }, 10000);
    presser.join();
    ASSERT_TRUE(reopened);
    std::string log = FfTestReadBytes(w.logPath);
    size_t run = log.find("typed=\"alpha\"");
    ASSERT_NE(std::string::npos, run) << log;
    EXPECT_LT(run, log.rfind(opened)) << log;
    EXPECT_EQ(0, PassedKeyDowns('F'));
    EXPECT_EQ(0, HostKeyDowns('F'));
    slow.Stop();
    opt.answerDelayMs = 0;
    ASSERT_TRUE(w.engine.Start(opt));
}

}  // namespace
