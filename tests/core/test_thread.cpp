// The background thread's message loop: window messages reach their windows, and its end removes the hook.
#include <gtest/gtest.h>
#include "fftest.h"
#include "core/core.h"
#include "core/text.h"
#include <string>
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

}  // namespace
