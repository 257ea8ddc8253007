// The host's listing calls: placeholders, published entries, pass-through browsing, FsInit.
#include <gtest/gtest.h>
#include "bridge_fixture.h"
#include "core/core.h"
#include "fftest.h"

namespace {

std::vector<std::wstring> Names(const std::vector<FfListed>& items)
{
    std::vector<std::wstring> names;
    for (const FfListed& item : items) names.push_back(item.name);
    return names;
}

const std::wstring kUnresolved = FfBridgeWide(FF_PLACEHOLDER_UNRESOLVED_A);

class FsListing : public ::testing::Test {
protected:
    std::wstring dir;  // published folder "pub" with files and a sub folder, plus "empty"
    void SetUp() override
    {
        FfBridgeInitLock();
        dir = FfTestMakeTempDir(L"fslisting");
        CreateDirectoryW((dir + L"\\pub").c_str(), nullptr);
        CreateDirectoryW((dir + L"\\pub\\sub").c_str(), nullptr);
        CreateDirectoryW((dir + L"\\empty").c_str(), nullptr);
        FfTestWriteBytes(dir + L"\\pub\\one.txt", "12345");
        FfTestWriteBytes(dir + L"\\pub\\sub\\deep.bin", std::string(70000, 'x'));
        FfTestWriteBytes(dir + L"\\secret.txt", "outside");
        FfBridgeSetListing({{L"pub", dir + L"\\pub", 1, 0, 0x0102030405060708ull},
                            {L"file.txt", dir + L"\\pub\\one.txt", 0, 0x100000005ull, 42},
                            {L"empty", dir + L"\\empty", 1},
                            {L"gone", dir + L"\\no-such-folder", 1}});
    }
    void TearDown() override { FfBridgeSetListing({}); }
};

TEST_F(FsListing, RootListsEntriesOrThePlaceholder)
{
    for (FfRoad road : kFfRoads) {
        SCOPED_TRACE(FfRoadName(road));
        SetUp();
        DWORD error = 0;
        std::vector<FfListed> root = FfRoadList(road, L"\\", &error);
        EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES);
        ASSERT_EQ(Names(root), (std::vector<std::wstring>{L"pub", L"file.txt", L"empty", L"gone"}));
        EXPECT_EQ(root[0].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(root[0].modified, 0x0102030405060708ull);
        EXPECT_EQ(root[1].attributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(root[1].size, 0x100000005ull);
        EXPECT_EQ(root[1].modified, 42u);

        // The engine's mark for an unknown size or date: size 0 and the host's own unknown time.
        FfBridgeSetListing({{L"dir", dir + L"\\pub", 1, ~0ull, ~0ull}, {L"f", dir + L"\\pub\\one.txt", 0, 7, ~0ull}});
        root = FfRoadList(road, L"\\", &error);
        ASSERT_EQ(root.size(), 2u);
        EXPECT_EQ(root[0].size, 0u);
        EXPECT_EQ(root[0].modified, 0xFFFFFFFFFFFFFFFEull);
        EXPECT_EQ(root[1].size, 7u);
        EXPECT_EQ(root[1].modified, 0xFFFFFFFFFFFFFFFEull);

        FfBridgeSetListing({});
        root = FfRoadList(road, L"\\", &error);
        ASSERT_EQ(root.size(), 1u);
        EXPECT_EQ(root[0].name, FfBridgeWide(FF_PLACEHOLDER_EMPTY_A));
        EXPECT_EQ(root[0].attributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(root[0].size, 0u);
        EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES);
    }
}

TEST_F(FsListing, PassThroughBrowsingOfRealFolders)
{
    const std::wstring odd = L"\u0141\u00F3d\u017A \xD83C\xDF34.txt";  // a surrogate pair too
    FfTestWriteBytes(dir + L"\\pub\\sub\\" + odd, "odd");
    for (FfRoad road : kFfRoads) {
        SCOPED_TRACE(FfRoadName(road));
        struct Case { const wchar_t* path; std::vector<std::wstring> names; } cases[] = {
            {L"\\pub", {L"one.txt", L"sub"}},
            {L"\\PUB\\\\\\", {L"one.txt", L"sub"}},       // ASCII case, trailing backslashes
            {L"\\pub\\sub", {L"deep.bin", FfRoadName(road, odd)}},
            {L"\\pub\\sub\\", {L"deep.bin", FfRoadName(road, odd)}},
            {L"\\empty", {}},                         // nothing but "." and "..": empty
            {L"\\gone", {kUnresolved}},               // removed from disk
            {L"\\file.txt", {kUnresolved}},           // a file entry is no folder
            {L"\\nothing", {kUnresolved}},
            {L"\\\\", {kUnresolved}},
            {L"", {kUnresolved}},
            {nullptr, {kUnresolved}},
            {L"pub", {kUnresolved}},
            {L"\\pub\\..", {kUnresolved}},            // never above a published folder
            {L"\\pub\\..\\..", {kUnresolved}},
            {L"\\pub\\sub\\..\\..", {kUnresolved}},
            {L"\\pub\\.", {kUnresolved}},
            {L"\\pub\\sub/../..", {kUnresolved}},
            {L"\\pub\\... ", {kUnresolved}},
        };
        for (const Case& c : cases) {
            DWORD error = 0;
            std::vector<std::wstring> names = Names(FfRoadList(road, c.path, &error));
            std::vector<std::wstring> expected = c.names;
            std::sort(names.begin(), names.end());
            std::sort(expected.begin(), expected.end());
            EXPECT_EQ(names, expected) << FfTestUtf8(c.path ? c.path : L"(null)");
            EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES) << FfTestUtf8(c.path ? c.path : L"(null)");
        }
    }
    std::vector<FfListed> sub = FfRoadList(FF_ROAD_WIDE, L"\\pub\\sub");
    std::sort(sub.begin(), sub.end(), [](const FfListed& a, const FfListed& b) { return a.name < b.name; });
    ASSERT_EQ(sub.size(), 2u);
    EXPECT_EQ(sub[0].size, 70000u);
    EXPECT_EQ(sub[0].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    WIN32_FILE_ATTRIBUTE_DATA real;
    GetFileAttributesExW((dir + L"\\pub\\sub\\deep.bin").c_str(), GetFileExInfoStandard, &real);
    EXPECT_EQ(sub[0].modified, ((unsigned long long)real.ftLastWriteTime.dwHighDateTime << 32) |
                                   real.ftLastWriteTime.dwLowDateTime);
    std::vector<FfListed> pub = FfRoadList(FF_ROAD_ANSI, L"\\pub");
    for (const FfListed& item : pub)
        EXPECT_EQ((item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, item.name == L"sub") << FfTestUtf8(item.name);
    // Null handles and records.
    WIN32_FIND_DATAA data;
    EXPECT_EQ(FsFindFirstW((WCHAR*)L"\\pub", nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(FsFindNextW(nullptr, nullptr), FALSE);
    EXPECT_EQ(FsFindNext(nullptr, &data), FALSE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_EQ(FsFindClose(nullptr), 0);
    EXPECT_EQ(FsFindClose(INVALID_HANDLE_VALUE), 0);
}

TEST_F(FsListing, LogLinesTellWhy)
{
    FfBridgeLog log(L"fslog");
    FfRoadList(FF_ROAD_ANSI, L"\\nothing");
    FfRoadList(FF_ROAD_WIDE, L"\\nothing");
    FfRoadList(FF_ROAD_ANSI, L"\\empty");
    FfRoadList(FF_ROAD_ANSI, L"\\pub");
    EXPECT_EQ(log.Count(L"FsFindFirst(Path=\\nothing)"), 1);
    EXPECT_EQ(log.Count(L"FsFindFirstW(Path=\\nothing)"), 1);
    EXPECT_EQ(log.Count(L"FsFindFirst: could not resolve subpath \\nothing to a real folder - showing placeholder instead."), 2);
    FfRoadList(FF_ROAD_ANSI, L"\\gone");
    EXPECT_EQ(log.Count(L"FsFindFirst: real folder \"" + dir + L"\\empty\" is empty - listing it as empty."), 1);
    EXPECT_EQ(log.Count(L"FsFindFirst: real folder \"" + dir + L"\\no-such-folder\" resolved but appears empty or unreadable (GetLastError=3) - showing placeholder instead."), 1);
    EXPECT_EQ(log.Count(L"FsFindFirst: real pass-through browsing of \"" + dir + L"\\pub\" (first entry \""), 1);
}

// The wide road hands every name over whole; the 8-bit one puts the code page's default
// character for what it lacks, never a look-alike that would be another entry's name.
TEST_F(FsListing, NamesKeepEveryCharacterOnTheWideRoad)
{
    struct Case { std::wstring name; std::wstring wide; std::string ansi; } cases[] = {
        {L"\u4E2D\u6587 \u0416.txt", L"\u4E2D\u6587 \u0416.txt", "?? ?.txt"},
        {L"\u0141\u00F3d\u017A.txt", L"\u0141\u00F3d\u017A.txt", "?\xF3" "d?.txt"},
        // Cut to the host's 260-character field, terminated; never between a surrogate pair's halves.
        {std::wstring(299, L'n'), std::wstring(259, L'n'), std::string(259, 'n')},
        {std::wstring(258, L'n') + L"\xD83C\xDF34", std::wstring(258, L'n'), ""},
    };
    for (const Case& c : cases) {
        FfBridgeSetListing({{c.name, L"C:\\x.txt"}});
        EXPECT_EQ(FfRoadList(FF_ROAD_WIDE, L"\\")[0].name, c.wide);
        if (!c.ansi.empty()) {
            EXPECT_EQ(FfRoadList(FF_ROAD_ANSI, L"\\")[0].name, FfBridgeWide(c.ansi.c_str()));
        }
    }
}

// Makes its message queue only after a while, then waits for the auto-open request.
DWORD WINAPI LateQueueThread(LPVOID)
{
    Sleep(300);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    for (DWORD until = GetTickCount() + 5000; GetTickCount() < until; Sleep(5))
        if (PeekMessageW(&msg, nullptr, WM_FF_AUTOOPEN_OVERLAY, WM_FF_AUTOOPEN_OVERLAY, PM_REMOVE)) return 1;
    return 0;
}

TEST(FsInitCall, PostsTheAutoOpenRequestToTheBackgroundThread)
{
    FfBridgeLog log(L"fsinit");
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread gets a queue
    g_hookThreadId = 0;
    FsInitW(3, nullptr, nullptr, nullptr);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_FF_AUTOOPEN_OVERLAY, WM_FF_AUTOOPEN_OVERLAY, PM_REMOVE));
    g_hookThreadId = GetCurrentThreadId();
    FsInit(4, nullptr, nullptr, nullptr);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_FF_AUTOOPEN_OVERLAY, WM_FF_AUTOOPEN_OVERLAY, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    g_hookThreadId = 0;
    EXPECT_EQ(log.Count(L"FsInitW(PluginNr=3) - WFX plugin reached."), 1);
    EXPECT_EQ(log.Count(L"FsInit(PluginNr=4) - WFX plugin reached."), 1);
    EXPECT_EQ(log.Count(L"FsInit: background thread not started yet (g_hookThreadId==0)"), 1);
    EXPECT_EQ(log.Count(L"FsInit: OK posting WM_FF_AUTOOPEN_OVERLAY to background thread (tid=" +
                        std::to_wstring(GetCurrentThreadId()) + L")."), 1);

    // A thread that makes its queue only later (as the background thread does right after
    // the host loaded the library) still gets the request.
    DWORD lateId = 0;
    HANDLE late = CreateThread(nullptr, 0, LateQueueThread, nullptr, 0, &lateId);
    g_hookThreadId = lateId;
    FsInitW(5, nullptr, nullptr, nullptr);
    WaitForSingleObject(late, 10000);
    DWORD received = 0;
    GetExitCodeThread(late, &received);
    CloseHandle(late);
    g_hookThreadId = 0;
    EXPECT_EQ(received, 1u);
    EXPECT_EQ(log.Count(L"FsInit: OK posting WM_FF_AUTOOPEN_OVERLAY"), 2);

    char root[64];
    FsGetDefRootName(root, sizeof(root));
    EXPECT_STREQ(root, "Fleetfinder");
    FsGetDefRootName(root, 5);
    EXPECT_STREQ(root, "Flee");
}

}  // namespace
