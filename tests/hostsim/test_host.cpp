// The stand-in host's window side: change-folder records, numbered commands, moves, panels and focus.
#include <gtest/gtest.h>
#include "hostctl.h"

namespace {

std::string Record(const std::wstring& path)
{
    return "\xEF\xBB\xBF" + FfTestUtf8(path) + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA" + std::string(1, '\0');
}

LRESULT SendCommand(HWND window, DWORD command)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_USER + 51, command, 0, SMTO_NORMAL, 10000, &result);
    return (LRESULT)result;
}

class HostWindow : public ::testing::Test {
protected:
    FfHostCtl host;
    std::wstring left = FfTestMakeTempDir(L"hostsim_left"), right = FfTestMakeTempDir(L"hostsim_right");
    std::wstring unicodeDir = right + L"\\\u00DCn\u00EF \u65E5\u672C";
    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryW(unicodeDir.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((left + L"\\sub").c_str(), nullptr));
        ASSERT_TRUE(FfTestWriteBytes(left + L"\\a.txt", "a"));
        ASSERT_TRUE(FfTestWriteBytes(unicodeDir + L"\\\u00E9t\u00E9.txt", "x"));
        FfHostStartOptions options;
        options.leftFolder = left;
        options.rightFolder = right;
        options.foreground = false;
        ASSERT_TRUE(host.Start(options));
    }
    void TearDown() override { EXPECT_TRUE(host.Quit()); }
};

TEST_F(HostWindow, ChangeFolderRecordsMoveTheActivePanelAndBadOnesDoNoHarm)
{
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right);
    // Other tests may run hosts beside this one, so the class is checked on this host's window.
    wchar_t cls[64] = {};
    GetClassNameW(host.mainWindow, cls, 64);
    EXPECT_STREQ(cls, L"TTOTAL_CMD");
    EXPECT_EQ(host.Names(FF_HOST_LEFT), (std::vector<std::wstring>{ L"sub", L"a.txt" })) << "folders first";

    std::wstring sub = left + L"\\sub";
    struct Case {
        const char* label;
        std::string bytes;
        ULONG_PTR tag;
        BOOL answer;
        std::wstring folder;   // expected folder afterwards
        std::wstring current;  // expected item under the cursor, when not empty
        bool logged;           // a change-folder event with these bytes is expected
    } cases[] = {
        { "empty", "", 0x4443, FALSE, left, L"", false },
        { "no data", "", 0x4443, FALSE, left, L"", false },
        { "only a byte-order mark", "\xEF\xBB\xBF", 0x4443, FALSE, left, L"", false },
        { "garbage", std::string("\xFF\xFE\x01\x02\x0D\x0D\x00\x00", 8), 0x4443, FALSE, left, L"", false },
        { "huge without terminator", std::string(200000, 'x'), 0x4443, FALSE, left, L"", false },
        { "other tag", Record(sub), 0x1234, FALSE, left, L"", false },
        { "real folder", Record(sub), 0x4443, TRUE, sub, L"", true },
        { "trailing backslash", Record(right + L"\\"), 0x4443, TRUE, right, L"", true },
        { "outside ASCII", Record(unicodeDir), 0x4443, TRUE, unicodeDir, L"", true },
        { "a file shows its folder", Record(left + L"\\a.txt"), 0x4443, TRUE, left, L"a.txt", true },
        { "a file outside ASCII", Record(unicodeDir + L"\\\u00E9t\u00E9.txt"), 0x4443, TRUE, unicodeDir, L"\u00E9t\u00E9.txt", true },
        { "missing folder changes nothing", Record(left + L"\\missing"), 0x4443, FALSE, unicodeDir, L"", true },
        { "plug-in folder without a plug-in", Record(L"\\\\\\Fleetfinder\\x.txt"), 0x4443, FALSE, unicodeDir, L"", true },
        // Cut right after its path (no carriage return, no terminator) it still works.
        { "cut after the path", "\xEF\xBB\xBF" + FfTestUtf8(sub), 0x4443, TRUE, sub, L"", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(host.ClearEvents());
        bool noData = std::string(c.label) == "no data";
        COPYDATASTRUCT cds = { c.tag, noData ? 0 : (DWORD)c.bytes.size(), noData ? nullptr : (void*)c.bytes.data() };
        DWORD_PTR answer = 7;
        ASSERT_TRUE(SendMessageTimeoutW(host.mainWindow, WM_COPYDATA, 0, (LPARAM)&cds, SMTO_NORMAL, 10000, &answer));
        EXPECT_EQ((BOOL)answer, c.answer);
        EXPECT_EQ(host.Folder(), c.folder);
        if (!c.current.empty()) { EXPECT_EQ(host.CurrentItem(), c.current); }
        EXPECT_EQ(host.Request(FF_HOSTCTL_PING, L""), 1);
        if (!c.logged) continue;
        FfHostEvent event;
        ASSERT_TRUE(host.WaitForEvent(L"changedir", 0, &event));
        EXPECT_EQ(event.second, L"");
        EXPECT_EQ(event.letters, "SA");
        EXPECT_EQ(event.raw, c.bytes);
    }
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right) << "the other panel never moved";
}

TEST_F(HostWindow, CommandsActOnTheActivePanel)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_LEFT, left + L"\\sub"));
    ASSERT_TRUE(host.SetFolder(FF_HOST_LEFT, right));
    ASSERT_TRUE(host.SetActivePanel(FF_HOST_RIGHT));
    EXPECT_EQ(host.ActivePanel(), FF_HOST_RIGHT);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, unicodeDir));
    ASSERT_TRUE(host.ClearEvents());
    // Copy path: the text is on the clipboard when the send returns, no waiting afterwards.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(SendCommand(host.mainWindow, 2029), 1);
    EXPECT_EQ(FfTestClipboardText(), unicodeDir);
    // Previous folder walks back the active panel's own steps only.
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 1);
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right);
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 0) << "nothing left to go back to";
    EXPECT_EQ(SendCommand(host.mainWindow, 4711), 0);
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right);
    EXPECT_EQ(host.Folder(FF_HOST_LEFT), right);
    ASSERT_TRUE(host.SetActivePanel(FF_HOST_LEFT));
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 1);
    EXPECT_EQ(host.Folder(FF_HOST_LEFT), left + L"\\sub");
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 1);
    EXPECT_EQ(host.Folder(FF_HOST_LEFT), left);
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 0);
    std::vector<long long> commands;
    for (const auto& e : host.Events())
        if (e.kind == L"command") commands.push_back(e.number);
    EXPECT_EQ(commands, (std::vector<long long>{ 2029, 570, 570, 4711, 570, 570, 570 }));
}

struct LocationEvents {
    static HWND watched;
    static int count;
    static void CALLBACK Proc(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG idChild, DWORD, DWORD)
    {
        if (event == EVENT_OBJECT_LOCATIONCHANGE && hwnd == watched && idObject == OBJID_WINDOW && idChild == CHILDID_SELF)
            ++count;
    }
};
HWND LocationEvents::watched = nullptr;
int LocationEvents::count = 0;

// The plug-in's overlay follows the host window through these events and reads the focused
// panel from outside the host's thread.
TEST_F(HostWindow, MovesRaiseTheLocationEventAndTheFocusFollowsTheActivePanel)
{
    LocationEvents::watched = host.mainWindow;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr,
                                         LocationEvents::Proc, host.process.pi.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    struct Case { const char* label; int x, y, w, h; } cases[] = {
        { "move", 230, 140, 900, 600 }, { "resize", 230, 140, 700, 500 }, { "both", 300, 200, 640, 480 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        int before = LocationEvents::count;
        ASSERT_TRUE(host.MoveMainWindow(c.x, c.y, c.w, c.h));
        EXPECT_TRUE(FfTestWaitFor([&] { return LocationEvents::count > before; }));
        RECT rc;
        GetWindowRect(host.mainWindow, &rc);
        EXPECT_EQ(rc.left, c.x);
        EXPECT_EQ(rc.bottom - rc.top, c.h);
        // The panels follow the window: side by side, filling it below the captions.
        RECT list;
        GetWindowRect(host.PanelList(FF_HOST_RIGHT), &list);
        EXPECT_LE(list.right, rc.right);
        EXPECT_GT(list.left, rc.left + (rc.right - rc.left) / 3);
    }
    UnhookWinEvent(hook);

    ASSERT_TRUE(host.BringToFront());
    ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == host.mainWindow; }));
    for (int panel : { FF_HOST_RIGHT, FF_HOST_LEFT }) {
        ASSERT_TRUE(host.SetActivePanel(panel));
        HWND list = host.PanelList(panel);
        EXPECT_EQ(host.FocusWindow(), list) << panel;
        RECT expected, reported;
        GetWindowRect(list, &expected);
        ASSERT_TRUE(host.FocusRect(&reported));
        EXPECT_TRUE(EqualRect(&expected, &reported)) << panel;
        EXPECT_GE(reported.left, 300);
        GUITHREADINFO info = { sizeof(info) };
        ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(host.mainWindow, nullptr), &info));
        EXPECT_EQ(info.hwndFocus, list) << panel;
    }
}

}  // namespace
