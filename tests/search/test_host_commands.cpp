// Host window commands against the stand-in host: change of folder, panel rectangle, stale handle.
// (Commands 570 and 2029 and the focused panel's rectangle are used end to end by the overlay,
// bridge and "path:." tests.)
#include <gtest/gtest.h>
#include "bridge/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "hostctl.h"
#include "search_test_util.h"

namespace {

class HostCommands : public ::testing::Test {
protected:
    void SetUp() override { g_moduleHandle = GetModuleHandleW(nullptr); }
    FfHostCtl host;
};

TEST_F(HostCommands, ChangeFolderRecordAsTheHostReceivedIt)
{
    ASSERT_TRUE(host.Start(FfHostStartOptions()));
    std::wstring folder = FfTestMakeTempDir(L"chdir \u00E9\u65E5");
    for (const std::wstring& path : {folder, folder + L"\\missing-file.txt"}) {
        ASSERT_TRUE(host.ClearEvents());
        FfSendHostChangeDir(FfFindHostWindow(), path.c_str());
        FfHostEvent event;
        ASSERT_TRUE(host.WaitForEvent(L"changedir", 5000, &event));
        std::string expected = "\xEF\xBB\xBF" + FfTestUtf8(path) + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA";
        EXPECT_EQ(expected + std::string(1, '\0'), event.raw);
        EXPECT_EQ(path, event.path);
        EXPECT_EQ(L"", event.second);
        EXPECT_EQ("SA", event.letters);
    }
    EXPECT_EQ(folder, host.Folder());
    // No host window: nothing is sent and nothing breaks.
    FfSendHostChangeDir(nullptr, folder.c_str());
}

// Focus in a window that is not the main window's (a dialog of the host, say): no rectangle.
TEST_F(HostCommands, FocusOutsideTheMainWindowGivesNoRectangle)
{
    HWND mainWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                      g_moduleHandle, nullptr);
    HWND panel = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, mainWindow, nullptr,
                                 g_moduleHandle, nullptr);
    HWND dialog = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE, 200, 200, 50, 20, nullptr, nullptr,
                                  g_moduleHandle, nullptr);
    RECT rect;
    EXPECT_EQ(0, FfGetActivePanelRect(nullptr, &rect));
    SetForegroundWindow(mainWindow);
    SetFocus(panel);
    if (GetFocus() == panel) {
        EXPECT_NE(0, FfGetActivePanelRect(mainWindow, &rect));
        RECT expected;
        GetWindowRect(panel, &expected);
        EXPECT_TRUE(EqualRect(&expected, &rect));
    }
    SetForegroundWindow(dialog);
    SetFocus(dialog);
    ASSERT_EQ(dialog, GetFocus());
    EXPECT_EQ(0, FfGetActivePanelRect(mainWindow, &rect));
    DestroyWindow(dialog);
    DestroyWindow(mainWindow);
}

TEST_F(HostCommands, LookupKeepsTheLastWindowFound)
{
    ASSERT_TRUE(host.Start(FfHostStartOptions()));
    HWND first = FfFindHostWindow();
    EXPECT_EQ(host.mainWindow, first);
    EXPECT_EQ(first, g_hostWindow);
    ASSERT_TRUE(host.Quit());
    ASSERT_TRUE(FfTestWaitFor([] { return FindWindowW(FF_HOST_WINDOW_CLASS, nullptr) == nullptr; }, 5000));
    EXPECT_EQ(first, FfFindHostWindow());  // stale, but kept
    EXPECT_FALSE(IsWindow(first));
    FfSendHostCommand(first, 570);         // goes nowhere, harmlessly
    FfSendHostChangeDir(first, L"C:\\");
    FfTriggerGoToPreviousDir(nullptr);
    FfHostCtl second;
    ASSERT_TRUE(second.Start(FfHostStartOptions()));
    EXPECT_EQ(second.mainWindow, FfFindHostWindow());
    EXPECT_EQ(second.mainWindow, g_hostWindow);
}

}  // namespace
