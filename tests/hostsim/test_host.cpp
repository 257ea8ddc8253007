// The stand-in host's window side: change-folder records, numbered commands, moves and panels.
#include <gtest/gtest.h>
#include "hostctl.h"

namespace {

std::string Record(const std::wstring& path)
{
    return "\xEF\xBB\xBF" + FfTestUtf8(path) + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA" + std::string(1, '\0');
}

bool SendCopyData(HWND window, ULONG_PTR tag, const void* data, DWORD size, LRESULT* answer = nullptr)
{
    COPYDATASTRUCT cds = { tag, size, (void*)data };
    DWORD_PTR result = 0;
    bool sent = SendMessageTimeoutW(window, WM_COPYDATA, 0, (LPARAM)&cds, SMTO_NORMAL, 10000, &result) != 0;
    if (answer) *answer = (LRESULT)result;
    return sent;
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
    std::wstring left, right, unicodeDir;
    void SetUp() override
    {
        left = FfTestMakeTempDir(L"hostsim_left");
        right = FfTestMakeTempDir(L"hostsim_right");
        unicodeDir = right + L"\\\u00DCn\u00EF \u65E5\u672C";
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

TEST_F(HostWindow, StartsWithBothFoldersAndAnswersByClass)
{
    EXPECT_EQ(host.Folder(FF_HOST_LEFT), left);
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right);
    EXPECT_EQ(host.ActivePanel(), FF_HOST_LEFT);
    // Other tests may run hosts beside this one, so the class is checked on this host's window.
    wchar_t cls[64] = {};
    GetClassNameW(host.mainWindow, cls, 64);
    EXPECT_STREQ(cls, L"TTOTAL_CMD");
    EXPECT_EQ(GetAncestor(host.mainWindow, GA_ROOT), host.mainWindow) << "a top-level window";
    auto names = host.Names(FF_HOST_LEFT);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0], L"sub") << "folders first";
    EXPECT_EQ(names[1], L"a.txt");
    EXPECT_NE(host.PanelList(FF_HOST_LEFT), host.PanelList(FF_HOST_RIGHT));
}

TEST_F(HostWindow, ChangeFolderRecordsMoveTheActivePanel)
{
    struct Case {
        const wchar_t* label;
        std::wstring path;
        std::wstring folder;   // expected folder afterwards
        std::wstring current;  // expected item under the cursor, when not empty
        BOOL answer;
    } cases[] = {
        { L"real folder", left + L"\\sub", left + L"\\sub", L"", TRUE },
        { L"trailing backslash", right + L"\\", right, L"", TRUE },
        { L"outside ASCII", unicodeDir, unicodeDir, L"", TRUE },
        { L"a file shows its folder", left + L"\\a.txt", left, L"a.txt", TRUE },
        { L"a file outside ASCII", unicodeDir + L"\\\u00E9t\u00E9.txt", unicodeDir, L"\u00E9t\u00E9.txt", TRUE },
        { L"missing folder changes nothing", left + L"\\missing", unicodeDir, L"", FALSE },
        { L"plug-in folder without a plug-in", L"\\\\\\Fleetfinder\\x.txt", unicodeDir, L"", FALSE },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(host.ClearEvents());
        std::string record = Record(c.path);
        LRESULT answer = -1;
        ASSERT_TRUE(SendCopyData(host.mainWindow, 0x4443, record.data(), (DWORD)record.size(), &answer)) << c.label;
        EXPECT_EQ(answer, c.answer) << c.label;
        EXPECT_EQ(host.Folder(), c.folder) << c.label;
        if (!c.current.empty()) { EXPECT_EQ(host.CurrentItem(), c.current) << c.label; }
        FfHostEvent event;
        ASSERT_TRUE(host.WaitForEvent(L"changedir", 0, &event)) << c.label;
        EXPECT_EQ(event.path, c.path) << c.label;
        EXPECT_EQ(event.second, L"") << c.label;
        EXPECT_EQ(event.letters, "SA") << c.label;
        EXPECT_EQ(event.raw, record) << c.label;
    }
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right) << "the other panel never moved";
}

TEST_F(HostWindow, MalformedRecordsNeverHurtTheHost)
{
    std::string utf8Path = FfTestUtf8(left + L"\\sub");
    std::string big(200000, 'x');
    struct Case {
        const char* label;
        ULONG_PTR tag;
        std::string bytes;
        bool nullData;
    } cases[] = {
        { "empty", 0x4443, "", false },
        { "no data", 0x4443, "", true },
        { "only a byte-order mark", 0x4443, "\xEF\xBB\xBF", false },
        { "garbage", 0x4443, "\xFF\xFE\x01\x02\x0D\x0D\x00\x00", false },
        { "huge without terminator", 0x4443, big, false },
        { "other tag", 0x1234, Record(left + L"\\sub"), false },
    };
    for (const auto& c : cases) {
        LRESULT answer = -1;
        ASSERT_TRUE(SendCopyData(host.mainWindow, c.tag, c.nullData ? nullptr : c.bytes.data(),
                                 c.nullData ? 0 : (DWORD)c.bytes.size(), &answer)) << c.label;
        EXPECT_EQ(answer, FALSE) << c.label;
        EXPECT_EQ(host.Folder(), left) << c.label;
        EXPECT_EQ(host.Request(FF_HOSTCTL_PING, L""), 1) << c.label;
    }
    // The record cut right after its path (no carriage return, no terminator) still works.
    std::string cut = "\xEF\xBB\xBF" + utf8Path;
    LRESULT answer = 0;
    ASSERT_TRUE(SendCopyData(host.mainWindow, 0x4443, cut.data(), (DWORD)cut.size(), &answer));
    EXPECT_EQ(answer, TRUE);
    EXPECT_EQ(host.Folder(), left + L"\\sub");
}

TEST_F(HostWindow, PreviousFolderCommandWalksBack)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, left + L"\\sub"));
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, unicodeDir));
    ASSERT_TRUE(host.ClearEvents());
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 1);
    EXPECT_EQ(host.Folder(), left + L"\\sub");
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 1);
    EXPECT_EQ(host.Folder(), left);
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 0) << "nothing left to go back to";
    EXPECT_EQ(host.Folder(), left);
    EXPECT_EQ(SendCommand(host.mainWindow, 4711), 0);
    EXPECT_EQ(host.Folder(), left);
    std::vector<long long> commands;
    for (const auto& e : host.Events())
        if (e.kind == L"command") commands.push_back(e.number);
    EXPECT_EQ(commands, (std::vector<long long>{ 570, 570, 570, 4711 }));
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right);
}

TEST_F(HostWindow, ActivePanelTakesTheRecordsAndTheCommands)
{
    ASSERT_TRUE(host.SetActivePanel(FF_HOST_RIGHT));
    EXPECT_EQ(host.ActivePanel(), FF_HOST_RIGHT);
    std::string record = Record(unicodeDir);
    ASSERT_TRUE(SendCopyData(host.mainWindow, 0x4443, record.data(), (DWORD)record.size()));
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), unicodeDir);
    EXPECT_EQ(host.Folder(FF_HOST_LEFT), left);
    EXPECT_EQ(SendCommand(host.mainWindow, 570), 1);
    EXPECT_EQ(host.Folder(FF_HOST_RIGHT), right);
    EXPECT_EQ(host.Folder(FF_HOST_ACTIVE), right);
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

TEST_F(HostWindow, MovesAndResizesRaiseTheLocationEvent)
{
    LocationEvents::watched = host.mainWindow;
    LocationEvents::count = 0;
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr,
                                         LocationEvents::Proc, host.process.pi.dwProcessId, 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    struct Case {
        const char* label;
        int x, y, w, h;
    } cases[] = { { "move", 230, 140, 900, 600 }, { "resize", 230, 140, 700, 500 }, { "both", 50, 60, 800, 550 } };
    for (const auto& c : cases) {
        int before = LocationEvents::count;
        ASSERT_TRUE(host.MoveMainWindow(c.x, c.y, c.w, c.h)) << c.label;
        EXPECT_TRUE(FfTestWaitFor([&] { return LocationEvents::count > before; })) << c.label;
        RECT rc;
        GetWindowRect(host.mainWindow, &rc);
        EXPECT_EQ(rc.left, c.x) << c.label;
        EXPECT_EQ(rc.bottom - rc.top, c.h) << c.label;
        // The panels follow the window: side by side, filling it below the captions.
        RECT list;
        GetWindowRect(host.PanelList(FF_HOST_RIGHT), &list);
        EXPECT_LE(list.right, rc.right) << c.label;
        EXPECT_GT(list.left, rc.left + (rc.right - rc.left) / 3) << c.label;
    }
    UnhookWinEvent(hook);
}

}  // namespace
