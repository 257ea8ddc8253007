// Path resolution and the host's copy, open, properties and delete calls.
#include <gtest/gtest.h>
#include <algorithm>
#include <string.h>
#include <thread>
#include "bridge_fixture.h"
#include "core/core.h"
#include "fftest.h"

namespace {

class FsFiles : public ::testing::Test {
protected:
    std::wstring dir;
    void SetUp() override
    {
        FfBridgeInitLock();
        g_settings.allowDelete = 0;
        dir = FfTestMakeTempDir(L"fsfiles");
        CreateDirectoryW((dir + L"\\pub").c_str(), nullptr);
        CreateDirectoryW((dir + L"\\pub\\inner").c_str(), nullptr);
        CreateDirectoryW((dir + L"\\out").c_str(), nullptr);
        FfTestWriteBytes(dir + L"\\a.txt", "alpha");
        FfTestWriteBytes(dir + L"\\b.txt", "bravo");
        FfTestWriteBytes(dir + L"\\c.txt", "charlie");
        FfTestWriteBytes(dir + L"\\pub\\in.txt", "inside");
        FfTestWriteBytes(dir + L"\\secret.txt", "outside the published folder");
        FfBridgeSetListing({{L"a.txt", dir + L"\\a.txt"},
                            {L"pub", dir + L"\\pub", 1},
                            {L"b.txt", dir + L"\\b.txt"},
                            {L"\u4E2D.txt", dir + L"\\c.txt"},
                            {L"c.txt", dir + L"\\c.txt"}});
    }
    void TearDown() override
    {
        g_settings.allowDelete = 0;
        FfBridgeSetListing({});
    }
    std::string Out(const wchar_t* name) { return FfBridgeAnsi(dir + L"\\out\\" + name); }
};

TEST_F(FsFiles, ResolvesNamesAndSubPaths)
{
    struct Case { const char* virtualPath; bool resolved; std::wstring real; int isFolder; } cases[] = {
        {"\\a.txt", true, L"\\a.txt", 0},
        {"\\A.TXT", true, L"\\a.txt", 0},
        {"\\pub", true, L"\\pub", 1},
        {"\\pub\\in.txt", true, L"\\pub\\in.txt", 0},
        {"\\pub\\inner", true, L"\\pub\\inner", 1},
        {"\\pub\\missing", true, L"\\pub\\missing", 0},
        {"\\a.txt\\x", false, L"", 0},            // a file entry has no sub path
        {"\\nothing", false, L"", 0},
        {"\\", false, L"", 0},
        {"a.txt", false, L"", 0},
        {"\\\\a.txt", false, L"", 0},
        {"\\pub\\..\\secret.txt", false, L"", 0},  // never outside a published folder
        {"\\pub\\inner\\..\\..\\secret.txt", false, L"", 0},
        {"\\pub\\.\\in.txt", false, L"", 0},
        {"\\pub\\../secret.txt", false, L"", 0},
        {"\\pub\\in?.txt", false, L"", 0},     // "?" is a name the code page lacked
        {"\\pub\\*", false, L"", 0},
        {"\\pub\\in.txt:stream", false, L"", 0},
    };
    for (const Case& c : cases) {
        wchar_t real[FF_PANEL_PATH_CHARS];
        int isFolder = -1;
        bool resolved = FfResolveVirtualPath(c.virtualPath, real, &isFolder);
        EXPECT_EQ(resolved, c.resolved) << c.virtualPath;
        if (resolved) {
            EXPECT_EQ(std::wstring(real), dir + c.real) << c.virtualPath;
            EXPECT_EQ(isFolder, c.isFolder) << c.virtualPath;
        }
    }
    wchar_t real[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    EXPECT_FALSE(FfResolveVirtualPath(nullptr, real, &isFolder));
    // A composed path that would not fit is not cut into another file's name.
    std::string longSub = "\\pub\\" + std::string(890, 'q');
    FfBridgeSetListing({{L"pub", L"C:\\" + std::wstring(1500, L'p'), 1}});
    EXPECT_TRUE(FfResolveVirtualPath("\\pub\\short", real, &isFolder));
    EXPECT_FALSE(FfResolveVirtualPath(longSub.c_str(), real, &isFolder));
}

// How a source is held open while a row runs.
enum Hold { kFree, kExclusive, kNoDeleteShare };

TEST_F(FsFiles, CopyProtocol)
{
    struct Case {
        const char* label;
        const char* remote;
        std::wstring target;    // below dir
        const char* existing;   // target content before the call, or null for none
        int flags;              // 1 overwrite, 4 move
        int allowDelete;
        Hold hold;              // on the source
        std::wstring source;    // the real source below dir
        int result;
        const char* after;      // target content after, or null: no such file
        bool sourceStays;
        int listed;             // listing entries after
    } cases[] = {
        {"new target", "\\a.txt", L"\\out\\a.txt", nullptr, 0, 0, kFree, L"\\a.txt", 0, "alpha", true, 5},
        {"exists: the host asks", "\\a.txt", L"\\out\\a.txt", "old", 0, 0, kFree, L"\\a.txt", 1, "old", true, 5},
        {"exists, overwrite", "\\a.txt", L"\\out\\a.txt", "old", 1, 0, kFree, L"\\a.txt", 0, "alpha", true, 5},
        {"inside a published folder", "\\pub\\in.txt", L"\\out\\in.txt", nullptr, 0, 0, kFree, L"\\pub\\in.txt", 0, "inside", true, 5},
        {"target folder missing", "\\a.txt", L"\\nowhere\\a.txt", nullptr, 0, 0, kFree, L"\\a.txt", 4, nullptr, true, 5},
        {"target is a folder", "\\a.txt", L"\\out", nullptr, 1, 0, kFree, L"\\a.txt", 4, nullptr, true, 5},
        {"target is the source", "\\a.txt", L"\\a.txt", nullptr, 1, 0, kFree, L"\\a.txt", 4, "alpha", true, 5},
        {"source locked", "\\a.txt", L"\\out\\a.txt", nullptr, 0, 0, kExclusive, L"\\a.txt", 3, nullptr, true, 5},
        {"source gone from disk", "\\pub\\gone.txt", L"\\out\\g.txt", nullptr, 0, 0, kFree, L"\\pub\\gone.txt", 2, nullptr, false, 5},
        {"name not listed", "\\nothing", L"\\out\\n.txt", nullptr, 0, 0, kFree, L"\\a.txt", 2, nullptr, true, 5},
        {"way out of a folder", "\\pub\\..\\secret.txt", L"\\out\\s.txt", nullptr, 0, 0, kFree, L"\\secret.txt", 2, nullptr, true, 5},
        {"a folder", "\\pub\\inner", L"\\out\\inner", nullptr, 0, 0, kFree, L"\\pub\\inner", 6, nullptr, true, 5},
        {"move, AllowDelete=N", "\\a.txt", L"\\out\\a.txt", nullptr, 4, 0, kFree, L"\\a.txt", 6, nullptr, true, 5},
        {"move, AllowDelete=Y", "\\b.txt", L"\\out\\b.txt", nullptr, 4, 1, kFree, L"\\b.txt", 0, "bravo", false, 4},
        {"move onto an existing target", "\\b.txt", L"\\out\\b.txt", "old", 5, 1, kFree, L"\\b.txt", 0, "bravo", false, 4},
        {"move: exists first", "\\b.txt", L"\\out\\b.txt", "old", 4, 1, kFree, L"\\b.txt", 1, "old", true, 5},
        {"move whose delete fails", "\\b.txt", L"\\out\\b.txt", nullptr, 4, 1, kNoDeleteShare, L"\\b.txt", 3, "bravo", true, 5},
        {"move inside a folder", "\\pub\\in.txt", L"\\out\\in.txt", nullptr, 4, 1, kFree, L"\\pub\\in.txt", 0, "inside", false, 5},
    };
    for (const Case& c : cases) {
        SetUp();
        FfBridgeLog log(L"fsget");
        if (c.existing) FfTestWriteBytes(dir + c.target, c.existing);
        g_settings.allowDelete = c.allowDelete;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.hold != kFree)
            held = CreateFileW((dir + c.source).c_str(), GENERIC_READ, c.hold == kExclusive ? 0 : FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        std::string target = FfBridgeAnsi(dir + c.target);
        EXPECT_EQ(FsGetFile((char*)c.remote, (char*)target.c_str(), c.flags, nullptr), c.result) << c.label;
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (c.after) {
            EXPECT_EQ(FfTestReadBytes(dir + c.target), c.after) << c.label;
        } else if (c.target != L"\\out") {
            EXPECT_FALSE(FfTestFileExists(dir + c.target)) << c.label;
        }
        EXPECT_EQ(FfTestFileExists(dir + c.source), c.sourceStays) << c.label;
        EXPECT_EQ(g_panelListingCount, c.listed) << c.label;
        EXPECT_EQ(log.Count(L"FsGetFile(RemoteName=" + FfBridgeWide(c.remote) + L", LocalName=" +
                            FfBridgeWide(target.c_str()) + L", CopyFlags=" + std::to_wstring(c.flags) + L")"), 1)
            << c.label;
        if (c.hold == kNoDeleteShare)
            EXPECT_EQ(log.Count(L"FsGetFile: copied, but the move's delete FAILED for " + dir + c.source), 1);
        TearDown();
    }
    SetUp();
    EXPECT_EQ(FsGetFile(nullptr, nullptr, 0, nullptr), 2);
    EXPECT_EQ(FsGetFile((char*)"\\a.txt", nullptr, 0, nullptr), 4);
}

TEST_F(FsFiles, VerbsInAnyCaseAndTheRootsProperties)
{
    FfBridgeLog log(L"fsexec");
    // Properties of the root show the about box; a second thread reads and closes it.
    std::wstring aboutText;
    int aboutBoxes = 0;
    auto closeAboutBox = [&] {
        HWND box = nullptr;
        FfTestWaitFor([&] { return (box = FindWindowW(L"#32770", L"Fleetfinder")) && IsWindowVisible(box); });
        if (!box) return;
        wchar_t text[320] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 320);
        aboutText = text;
        ++aboutBoxes;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    struct Case { const char* verb; const char* remote; int result; bool about; } cases[] = {
        {"open", "\\nothing", 1, false},  // handled: looked up, not passed back to the host
        {"Open", "\\nothing", 1, false},
        {"OPEN", "\\nothing", 1, false},
        {"PROPERTIES", "\\nothing", 1, false},
        {"properties", "\\", 0, true},
        {"Properties", "\\", 0, true},
        {"open", "\\", 1, false},
        {"properties", "\\pub\\..\\secret.txt", 1, false},
        {"open ", "\\a.txt", -1, false},  // the host's own verbs, and near misses
        {"properties ", "\\a.txt", -1, false},
        {"quote x", "\\a.txt", -1, false},
        {"chmod 755", "\\a.txt", -1, false},
        {"edit", "\\a.txt", -1, false},
        {"", "\\a.txt", -1, false},
        {nullptr, "\\a.txt", -1, false},
    };
    for (const Case& c : cases) {
        int before = aboutBoxes;
        std::thread closer;
        if (c.about) closer = std::thread(closeAboutBox);
        EXPECT_EQ(FsExecuteFile(nullptr, (char*)c.remote, (char*)c.verb), c.result) << (c.verb ? c.verb : "(null)");
        if (closer.joinable()) closer.join();
        EXPECT_EQ(aboutBoxes, before + (c.about ? 1 : 0)) << (c.verb ? c.verb : "(null)");
    }
    EXPECT_EQ(aboutText.rfind(L"Fleetfinder\n\nVersion: ", 0), 0u);
    EXPECT_EQ(log.Count(L"FsExecuteFile: could not resolve \\nothing back to a real source path."), 4);
    EXPECT_EQ(log.Count(L"FsExecuteFile(RemoteName=\\a.txt, Verb=edit)"), 1);
}

// "\u0141.txt" reaches the host as "?.txt", never as the look-alike "L.txt" of another entry.
TEST_F(FsFiles, LookAlikeNamesActOnlyOnTheirOwnFile)
{
    CreateDirectoryW((dir + L"\\pair").c_str(), nullptr);
    FfTestWriteBytes(dir + L"\\\u0141.txt", "l-stroke");
    FfTestWriteBytes(dir + L"\\L.txt", "plain");
    FfTestWriteBytes(dir + L"\\pair\\\u0141.txt", "inner l-stroke");
    FfTestWriteBytes(dir + L"\\pair\\L.txt", "inner plain");
    FfBridgeSetListing({{L"\u0141.txt", dir + L"\\\u0141.txt"}, {L"L.txt", dir + L"\\L.txt"},
                        {L"pair", dir + L"\\pair", 1}});
    g_settings.allowDelete = 1;
    struct Case { const char* folder; std::wstring real; const char* content; } cases[] = {
        {"\\", L"", "plain"},
        {"\\pair", L"\\pair", "inner plain"},
    };
    for (const Case& c : cases) {
        // Every name the host is given, as it was given.
        std::vector<std::string> names;
        WIN32_FIND_DATAA data;
        HANDLE find = FsFindFirst((char*)c.folder, &data);
        ASSERT_NE(find, INVALID_HANDLE_VALUE);
        do {
            if (strcmp(data.cFileName, "pair") != 0) names.push_back(data.cFileName);
        } while (FsFindNext(find, &data));
        FsFindClose(find);
        std::sort(names.begin(), names.end());
        ASSERT_EQ(names, (std::vector<std::string>{"?.txt", "L.txt"})) << c.folder;
        std::string prefix = std::string(c.folder) + (c.folder[1] ? "\\" : "");
        std::string lookAlike = prefix + "?.txt", plain = prefix + "L.txt";
        std::string out = Out(L"got.txt");
        EXPECT_EQ(FsGetFile((char*)lookAlike.c_str(), (char*)out.c_str(), 0, nullptr), 2) << c.folder;
        EXPECT_EQ(FsExecuteFile(nullptr, (char*)lookAlike.c_str(), (char*)"open"), 1) << c.folder;
        EXPECT_EQ(FsDeleteFile((char*)lookAlike.c_str()), FALSE) << c.folder;
        EXPECT_EQ(FsGetFile((char*)plain.c_str(), (char*)out.c_str(), 1, nullptr), 0) << c.folder;
        EXPECT_EQ(FfTestReadBytes(dir + L"\\out\\got.txt"), c.content) << c.folder;
        EXPECT_EQ(FsDeleteFile((char*)plain.c_str()), TRUE) << c.folder;
        EXPECT_FALSE(FfTestFileExists(dir + c.real + L"\\L.txt")) << c.folder;
        EXPECT_TRUE(FfTestFileExists(dir + c.real + L"\\\u0141.txt")) << c.folder;
    }
}

TEST_F(FsFiles, DeleteOnlyWhenAllowedAndNeverFolders)
{
    FfBridgeLog log(L"fsdelete");
    EXPECT_EQ(FsDeleteFile((char*)"\\a.txt"), FALSE);
    EXPECT_TRUE(FfTestFileExists(dir + L"\\a.txt"));
    EXPECT_EQ(log.Count(L"FsDeleteFile(RemoteName=\\a.txt) - refused: AllowDelete=N in Fleetfinder.cfg (default)."), 1);
    EXPECT_EQ(g_panelListingCount, 5);

    g_settings.allowDelete = 1;
    EXPECT_EQ(FsDeleteFile((char*)"\\B.TXT"), TRUE);
    EXPECT_FALSE(FfTestFileExists(dir + L"\\b.txt"));
    EXPECT_EQ(FfBridgeListingNames(), (std::vector<std::wstring>{L"a.txt", L"pub", L"\u4E2D.txt", L"c.txt"}));
    EXPECT_EQ(log.Count(L"FsDeleteFile: deleted real source file " + dir + L"\\b.txt (AllowDelete=Y)."), 1);

    // Folders, published or inside one, are never deleted.
    EXPECT_EQ(FsDeleteFile((char*)"\\pub"), FALSE);
    EXPECT_EQ(FsDeleteFile((char*)"\\pub\\inner"), FALSE);
    EXPECT_EQ(GetFileAttributesW((dir + L"\\pub\\inner").c_str()), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(log.Count(L"FsDeleteFile: refused - \\pub resolved to a folder, not a file (folders are never deleted here)."), 1);
    // Unresolvable names, and a way out of a published folder, touch nothing.
    std::string odd = "\\" + FfBridgeAnsi(L"\u4E2D.txt");
    EXPECT_EQ(FsDeleteFile((char*)odd.c_str()), FALSE);
    EXPECT_EQ(FsDeleteFile((char*)"\\pub\\..\\secret.txt"), FALSE);
    EXPECT_TRUE(FfTestFileExists(dir + L"\\secret.txt"));
    EXPECT_TRUE(FfTestFileExists(dir + L"\\c.txt"));
    // A file inside a published folder goes; the listing stays as it was.
    EXPECT_EQ(FsDeleteFile((char*)"\\pub\\in.txt"), TRUE);
    EXPECT_FALSE(FfTestFileExists(dir + L"\\pub\\in.txt"));
    EXPECT_EQ(g_panelListingCount, 4);
    // Two entries share c.txt's real path: the first of them leaves the listing.
    EXPECT_EQ(FsDeleteFile((char*)"\\c.txt"), TRUE);
    EXPECT_EQ(FfBridgeListingNames(), (std::vector<std::wstring>{L"a.txt", L"pub", L"c.txt"}));
    EXPECT_EQ(FsDeleteFile((char*)"\\pub\\in.txt"), FALSE);
    EXPECT_EQ(log.Count(L"FsDeleteFile: DeleteFileW failed for " + dir + L"\\pub\\in.txt, GetLastError=2"), 1);
}

}  // namespace
