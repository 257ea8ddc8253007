// The host's listing calls: placeholders, published entries, pass-through browsing, FsInit.
#include <gtest/gtest.h>
#include "bridge_fixture.h"
#include "core/core.h"
#include "fftest.h"

namespace {

struct Listed {
    std::string name;
    DWORD attributes;
    unsigned long long size;
    unsigned long long modified;
};

// Lists a virtual path through the three calls, as the host does.
std::vector<Listed> List(const char* path, DWORD* lastError = nullptr)
{
    std::vector<Listed> items;
    WIN32_FIND_DATAA data;
    memset(&data, 0xCC, sizeof(data));
    HANDLE handle = FsFindFirst((char*)path, &data);
    if (lastError) *lastError = GetLastError();
    if (handle == INVALID_HANDLE_VALUE) return items;  // an empty folder
    do {
        EXPECT_EQ(data.cAlternateFileName[0], 0);
        items.push_back({data.cFileName, data.dwFileAttributes,
                         ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow,
                         ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) |
                             data.ftLastWriteTime.dwLowDateTime});
    } while (FsFindNext(handle, &data));
    if (lastError) *lastError = GetLastError();
    EXPECT_EQ(FsFindNext(handle, &data), FALSE);  // stays at its end
    EXPECT_EQ(FsFindClose(handle), 0);
    return items;
}

std::vector<std::string> Names(const std::vector<Listed>& items)
{
    std::vector<std::string> names;
    for (const Listed& item : items) names.push_back(item.name);
    return names;
}

const std::string kUnresolved = FF_PLACEHOLDER_UNRESOLVED_A;

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
    DWORD error = 0;
    std::vector<Listed> root = List("\\", &error);
    EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES);
    ASSERT_EQ(Names(root), (std::vector<std::string>{"pub", "file.txt", "empty", "gone"}));
    EXPECT_EQ(root[0].attributes, (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(root[0].modified, 0x0102030405060708ull);
    EXPECT_EQ(root[1].attributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(root[1].size, 0x100000005ull);
    EXPECT_EQ(root[1].modified, 42u);

    // The engine's mark for an unknown size or date: size 0 and the host's own unknown time.
    FfBridgeSetListing({{L"dir", dir + L"\\pub", 1, ~0ull, ~0ull}, {L"f", dir + L"\\pub\\one.txt", 0, 7, ~0ull}});
    root = List("\\");
    ASSERT_EQ(root.size(), 2u);
    EXPECT_EQ(root[0].size, 0u);
    EXPECT_EQ(root[0].modified, 0xFFFFFFFFFFFFFFFEull);
    EXPECT_EQ(root[1].size, 7u);
    EXPECT_EQ(root[1].modified, 0xFFFFFFFFFFFFFFFEull);

    FfBridgeSetListing({});
    root = List("\\", &error);
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].name, FF_PLACEHOLDER_EMPTY_A);
    EXPECT_EQ(root[0].attributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(root[0].size, 0u);
    EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES);
}

TEST_F(FsListing, PassThroughBrowsingOfRealFolders)
{
    struct Case { const char* path; std::vector<std::string> names; } cases[] = {
        {"\\pub", {"one.txt", "sub"}},
        {"\\PUB\\\\\\", {"one.txt", "sub"}},       // ASCII case, trailing backslashes
        {"\\pub\\sub", {"deep.bin"}},
        {"\\pub\\sub\\", {"deep.bin"}},
        {"\\empty", {}},                         // nothing but "." and "..": empty
        {"\\gone", {kUnresolved}},               // removed from disk
        {"\\file.txt", {kUnresolved}},           // a file entry is no folder
        {"\\nothing", {kUnresolved}},
        {"\\\\", {kUnresolved}},
        {"", {kUnresolved}},
        {"pub", {kUnresolved}},
        {"\\pub\\..", {kUnresolved}},            // never above a published folder
        {"\\pub\\..\\..", {kUnresolved}},
        {"\\pub\\sub\\..\\..", {kUnresolved}},
        {"\\pub\\.", {kUnresolved}},
        {"\\pub\\sub/../..", {kUnresolved}},
        {"\\pub\\... ", {kUnresolved}},
    };
    for (const Case& c : cases) {
        DWORD error = 0;
        std::vector<std::string> names = Names(List(c.path, &error));
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, c.names) << c.path;
        EXPECT_EQ(error, (DWORD)ERROR_NO_MORE_FILES) << c.path;
    }
    std::vector<Listed> sub = List("\\pub\\sub");
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_EQ(sub[0].size, 70000u);
    EXPECT_EQ(sub[0].attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    WIN32_FILE_ATTRIBUTE_DATA real;
    GetFileAttributesExW((dir + L"\\pub\\sub\\deep.bin").c_str(), GetFileExInfoStandard, &real);
    EXPECT_EQ(sub[0].modified, ((unsigned long long)real.ftLastWriteTime.dwHighDateTime << 32) |
                                   real.ftLastWriteTime.dwLowDateTime);
    std::vector<Listed> pub = List("\\pub");
    for (const Listed& item : pub)
        EXPECT_EQ((item.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, item.name == "sub") << item.name;
    // A null path, a null record.
    WIN32_FIND_DATAA data;
    HANDLE handle = FsFindFirst(nullptr, &data);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::string(data.cFileName), kUnresolved);
    FsFindClose(handle);
    EXPECT_EQ(FsFindNext(nullptr, &data), FALSE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
    EXPECT_EQ(FsFindClose(nullptr), 0);
    EXPECT_EQ(FsFindClose(INVALID_HANDLE_VALUE), 0);
}

TEST_F(FsListing, LogLinesTellWhy)
{
    FfBridgeLog log(L"fslog");
    List("\\nothing");
    List("\\empty");
    List("\\pub");
    EXPECT_EQ(log.Count(L"FsFindFirst(Path=\\nothing)"), 1);
    EXPECT_EQ(log.Count(L"FsFindFirst: could not resolve subpath \\nothing to a real folder - showing placeholder instead."), 1);
    List("\\gone");
    EXPECT_EQ(log.Count(L"FsFindFirst: real folder \"" + dir + L"\\empty\" is empty - listing it as empty."), 1);
    EXPECT_EQ(log.Count(L"FsFindFirst: real folder \"" + dir + L"\\no-such-folder\" resolved but appears empty or unreadable (GetLastError=3) - showing placeholder instead."), 1);
    EXPECT_EQ(log.Count(L"FsFindFirst: real pass-through browsing of \"" + dir + L"\\pub\" (first entry \""), 1);
}

TEST_F(FsListing, NamesOutsideTheCodePageGetItsDefaultCharacter)
{
    std::wstring odd = L"\u4E2D\u6587 \u0416.txt";
    FfBridgeSetListing({{odd, L"C:\\x.txt"}});
    std::vector<Listed> root = List("\\");
    ASSERT_EQ(root.size(), 1u);
    EXPECT_EQ(root[0].name, FfBridgeAnsi(odd));
    EXPECT_NE(root[0].name.find('?'), std::string::npos);
    // No best fit: a look-alike would be another entry's name.
    FfBridgeSetListing({{L"\u0141\u00F3d\u017A.txt", L"C:\\x.txt"}});
    EXPECT_EQ(List("\\")[0].name, "?\xF3" "d?.txt");
    // A 299-character name is cut to fit the host's 260-byte field, terminated.
    FfBridgeSetListing({{std::wstring(299, L'n'), L"C:\\n"}});
    root = List("\\");
    EXPECT_EQ(root[0].name, std::string(259, 'n'));
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
    FsInit(3, nullptr, nullptr, nullptr);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_FF_AUTOOPEN_OVERLAY, WM_FF_AUTOOPEN_OVERLAY, PM_REMOVE));
    g_hookThreadId = GetCurrentThreadId();
    FsInit(4, nullptr, nullptr, nullptr);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_FF_AUTOOPEN_OVERLAY, WM_FF_AUTOOPEN_OVERLAY, PM_REMOVE));
    EXPECT_EQ(msg.hwnd, nullptr);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(msg.lParam, 0);
    g_hookThreadId = 0;
    EXPECT_EQ(log.Count(L"FsInit(PluginNr=3) - WFX plugin reached."), 1);
    EXPECT_EQ(log.Count(L"FsInit: background thread not started yet (g_hookThreadId==0)"), 1);
    EXPECT_EQ(log.Count(L"FsInit: OK posting WM_FF_AUTOOPEN_OVERLAY to background thread (tid=" +
                        std::to_wstring(GetCurrentThreadId()) + L")."), 1);

    // A thread that makes its queue only later (as the background thread does right after
    // the host loaded the library) still gets the request.
    DWORD lateId = 0;
    HANDLE late = CreateThread(nullptr, 0, LateQueueThread, nullptr, 0, &lateId);
    g_hookThreadId = lateId;
    FsInit(5, nullptr, nullptr, nullptr);
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
