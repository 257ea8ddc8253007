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
    for (FfRoad road : kFfRoads) {
        SCOPED_TRACE(FfRoadName(road));
        SetUp();
        struct Case { const wchar_t* virtualPath; bool resolved; std::wstring real; int isFolder; } cases[] = {
            {L"\\a.txt", true, L"\\a.txt", 0},
            {L"\\A.TXT", true, L"\\a.txt", 0},
            {L"\\pub", true, L"\\pub", 1},
            {L"\\pub\\in.txt", true, L"\\pub\\in.txt", 0},
            {L"\\pub\\inner", true, L"\\pub\\inner", 1},
            {L"\\pub\\missing", true, L"\\pub\\missing", 0},
            {L"\\a.txt\\x", false, L"", 0},            // a file entry has no sub path
            {L"\\nothing", false, L"", 0},
            {L"\\", false, L"", 0},
            {L"a.txt", false, L"", 0},
            {L"\\\\a.txt", false, L"", 0},
            {L"\\\u4E2D.txt", road == FF_ROAD_WIDE, L"\\c.txt", 0},  // 8-bit: "?.txt", no name
            {L"\\pub\\..\\secret.txt", false, L"", 0},  // never outside a published folder
            {L"\\pub\\inner\\..\\..\\secret.txt", false, L"", 0},
            {L"\\pub\\.\\in.txt", false, L"", 0},
            {L"\\pub\\../secret.txt", false, L"", 0},
            {L"\\pub\\in?.txt", false, L"", 0},     // "?" is a name the code page lacked
            {L"\\pub\\*", false, L"", 0},
            {L"\\pub\\in.txt:stream", false, L"", 0},
        };
        for (const Case& c : cases) {
            wchar_t real[FF_PANEL_PATH_CHARS];
            int isFolder = -1;
            bool resolved = FfRoadResolve(road, c.virtualPath, real, &isFolder);
            EXPECT_EQ(resolved, c.resolved) << FfTestUtf8(c.virtualPath);
            if (resolved) {
                EXPECT_EQ(std::wstring(real), dir + c.real) << FfTestUtf8(c.virtualPath);
                EXPECT_EQ(isFolder, c.isFolder) << FfTestUtf8(c.virtualPath);
            }
        }
        wchar_t real[FF_PANEL_PATH_CHARS];
        int isFolder = 0;
        EXPECT_FALSE(FfRoadResolve(road, nullptr, real, &isFolder));
        // A composed path that would not fit is not cut into another file's name.
        std::wstring longSub = L"\\pub\\" + std::wstring(890, L'q');
        FfBridgeSetListing({{L"pub", L"C:\\" + std::wstring(1500, L'p'), 1}});
        EXPECT_TRUE(FfRoadResolve(road, L"\\pub\\short", real, &isFolder));
        EXPECT_FALSE(FfRoadResolve(road, longSub.c_str(), real, &isFolder));
    }
}

TEST(LongPathForm, OnlyFullPathsNearTheLimitTakeIt)
{
    const std::wstring tail = std::wstring(250, L'x');
    struct Case { std::wstring path; std::wstring form; } cases[] = {
        {L"C:\\short.txt", L"C:\\short.txt"},
        {L"C:\\" + tail, L"\\\\?\\C:\\" + tail},
        {L"C:/d/" + tail, L"\\\\?\\C:\\d\\" + tail},  // the long form takes no "/"
        {L"\\\\server\\share\\" + tail, L"\\\\?\\UNC\\server\\share\\" + tail},
        {L"\\\\?\\C:\\" + tail, L"\\\\?\\C:\\" + tail},  // already in it
        {L"relative\\" + tail, L"relative\\" + tail},
        {L"C:\\" + std::wstring(FF_LONG_PATH_CHARS, L'x'), L""},  // would be cut: nothing
    };
    for (const Case& c : cases) {
        wchar_t form[FF_LONG_PATH_CHARS];
        FfLongPathForm(c.path.c_str(), form);
        EXPECT_EQ(std::wstring(form), c.form) << FfTestUtf8(c.path.substr(0, 20));
    }
}

// How a source is held open while a row runs.
enum Hold { kFree, kExclusive, kNoDeleteShare };

TEST_F(FsFiles, CopyProtocol)
{
    struct Case {
        const char* label;
        const wchar_t* remote;
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
        {"new target", L"\\a.txt", L"\\out\\a.txt", nullptr, 0, 0, kFree, L"\\a.txt", 0, "alpha", true, 5},
        {"exists: the host asks", L"\\a.txt", L"\\out\\a.txt", "old", 0, 0, kFree, L"\\a.txt", 1, "old", true, 5},
        {"exists, overwrite", L"\\a.txt", L"\\out\\a.txt", "old", 1, 0, kFree, L"\\a.txt", 0, "alpha", true, 5},
        {"inside a published folder", L"\\pub\\in.txt", L"\\out\\in.txt", nullptr, 0, 0, kFree, L"\\pub\\in.txt", 0, "inside", true, 5},
        {"target folder missing", L"\\a.txt", L"\\nowhere\\a.txt", nullptr, 0, 0, kFree, L"\\a.txt", 4, nullptr, true, 5},
        {"target is a folder", L"\\a.txt", L"\\out", nullptr, 1, 0, kFree, L"\\a.txt", 4, nullptr, true, 5},
        {"target is the source", L"\\a.txt", L"\\a.txt", nullptr, 1, 0, kFree, L"\\a.txt", 4, "alpha", true, 5},
        {"source locked", L"\\a.txt", L"\\out\\a.txt", nullptr, 0, 0, kExclusive, L"\\a.txt", 3, nullptr, true, 5},
        {"source gone from disk", L"\\pub\\gone.txt", L"\\out\\g.txt", nullptr, 0, 0, kFree, L"\\pub\\gone.txt", 2, nullptr, false, 5},
        {"name not listed", L"\\nothing", L"\\out\\n.txt", nullptr, 0, 0, kFree, L"\\a.txt", 2, nullptr, true, 5},
        {"way out of a folder", L"\\pub\\..\\secret.txt", L"\\out\\s.txt", nullptr, 0, 0, kFree, L"\\secret.txt", 2, nullptr, true, 5},
        {"a folder", L"\\pub\\inner", L"\\out\\inner", nullptr, 0, 0, kFree, L"\\pub\\inner", 6, nullptr, true, 5},
        {"move, AllowDelete=N", L"\\a.txt", L"\\out\\a.txt", nullptr, 4, 0, kFree, L"\\a.txt", 6, nullptr, true, 5},
        {"move, AllowDelete=Y", L"\\b.txt", L"\\out\\b.txt", nullptr, 4, 1, kFree, L"\\b.txt", 0, "bravo", false, 4},
        {"move onto an existing target", L"\\b.txt", L"\\out\\b.txt", "old", 5, 1, kFree, L"\\b.txt", 0, "bravo", false, 4},
        {"move: exists first", L"\\b.txt", L"\\out\\b.txt", "old", 4, 1, kFree, L"\\b.txt", 1, "old", true, 5},
        {"move whose delete fails", L"\\b.txt", L"\\out\\b.txt", nullptr, 4, 1, kNoDeleteShare, L"\\b.txt", 3, "bravo", true, 5},
        {"move inside a folder", L"\\pub\\in.txt", L"\\out\\in.txt", nullptr, 4, 1, kFree, L"\\pub\\in.txt", 0, "inside", false, 5},
    };
    for (FfRoad road : kFfRoads) {
        for (const Case& c : cases) {
            SCOPED_TRACE(FfRoadName(road));
            SetUp();
            FfBridgeLog log(L"fsget");
            if (c.existing) FfTestWriteBytes(dir + c.target, c.existing);
            g_settings.allowDelete = c.allowDelete;
            HANDLE held = INVALID_HANDLE_VALUE;
            if (c.hold != kFree)
                held = CreateFileW((dir + c.source).c_str(), GENERIC_READ, c.hold == kExclusive ? 0 : FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            std::wstring target = dir + c.target;
            EXPECT_EQ(FfRoadGetFile(road, c.remote, target.c_str(), c.flags), c.result) << c.label;
            if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
            if (c.after) {
                EXPECT_EQ(FfTestReadBytes(dir + c.target), c.after) << c.label;
            } else if (c.target != L"\\out") {
                EXPECT_FALSE(FfTestFileExists(dir + c.target)) << c.label;
            }
            EXPECT_EQ(FfTestFileExists(dir + c.source), c.sourceStays) << c.label;
            EXPECT_EQ(g_panelListingCount, c.listed) << c.label;
            EXPECT_EQ(log.Count(std::wstring(road == FF_ROAD_WIDE ? L"FsGetFileW" : L"FsGetFile") + L"(RemoteName=" +
                                c.remote + L", LocalName=" + target + L", CopyFlags=" + std::to_wstring(c.flags) + L")"), 1)
                << c.label;
            if (c.hold == kNoDeleteShare) {
                EXPECT_EQ(log.Count(L"FsGetFile: copied, but the move's delete FAILED for " + dir + c.source), 1);
            }
            TearDown();
        }
    }
    SetUp();
    for (FfRoad road : kFfRoads) {
        EXPECT_EQ(FfRoadGetFile(road, nullptr, nullptr, 0), 2);
        EXPECT_EQ(FfRoadGetFile(road, L"\\a.txt", nullptr, 0), 4);
    }
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
    struct Case { const wchar_t* verb; const wchar_t* remote; int result; bool about; } cases[] = {
        {L"open", L"\\nothing", 1, false},  // handled: looked up, not passed back to the host
        {L"Open", L"\\nothing", 1, false},
        {L"OPEN", L"\\nothing", 1, false},
        {L"PROPERTIES", L"\\nothing", 1, false},
        {L"properties", L"\\", 0, true},
        {L"Properties", L"\\", 0, true},
        {L"open", L"\\", 1, false},
        {L"properties", L"\\pub\\..\\secret.txt", 1, false},
        {L"open ", L"\\a.txt", -1, false},  // the host's own verbs, and near misses
        {L"properties ", L"\\a.txt", -1, false},
        {L"quote x", L"\\a.txt", -1, false},
        {L"chmod 755", L"\\a.txt", -1, false},
        {L"edit", L"\\a.txt", -1, false},
        {L"", L"\\a.txt", -1, false},
        {nullptr, L"\\a.txt", -1, false},
    };
    for (FfRoad road : kFfRoads) {
        for (const Case& c : cases) {
            std::string label = std::string(FfRoadName(road)) + " " + FfTestUtf8(c.verb ? c.verb : L"(null)");
            int before = aboutBoxes;
            std::thread closer;
            if (c.about) closer = std::thread(closeAboutBox);
            EXPECT_EQ(FfRoadExecute(road, c.remote, c.verb), c.result) << label;
            if (closer.joinable()) closer.join();
            EXPECT_EQ(aboutBoxes, before + (c.about ? 1 : 0)) << label;
        }
    }
    EXPECT_EQ(aboutText.rfind(L"Fleetfinder\n\nVersion: ", 0), 0u);
    EXPECT_EQ(log.Count(L"FsExecuteFile: could not resolve \\nothing back to a real source path."), 8);
    EXPECT_EQ(log.Count(L"FsExecuteFile(RemoteName=\\a.txt, Verb=edit)"), 1);
    EXPECT_EQ(log.Count(L"FsExecuteFileW(RemoteName=\\a.txt, Verb=edit)"), 1);
}

// Names outside the code page, a surrogate pair, and paths past the classic limit (the long
// folder's files, the virtual path below it and the copy's target are over 259 characters).
// Through the wide road each name copies, opens and deletes its own file; through the 8-bit
// road "\u0141.cmd" reaches the host as "?.cmd" and never resolves, least of all to "L.cmd".
TEST_F(FsFiles, EveryNameActsOnlyOnItsOwnFile)
{
    const std::wstring longSub = std::wstring(150, L'e') + L"\\" + std::wstring(150, L'f');
    const std::wstring names[] = {L"\u0141.cmd", L"L.cmd", L"\xD83C\xDF34 \u4E2D.cmd"};
    struct Folder { std::wstring virtualPath; std::wstring real; std::wstring target; bool opens; } folders[] = {
        {L"", L"", L"\\out", true},
        {L"\\pair", L"\\pair", L"\\out", true},
        // The shell takes no long paths: nothing is opened there.
        {L"\\long\\" + longSub, L"\\long\\" + longSub, L"\\out\\" + std::wstring(130, L'o') + L"\\" + std::wstring(130, L'o'), false},
    };
    g_settings.allowDelete = 1;
    for (FfRoad road : kFfRoads) {
        SetUp();
        g_settings.allowDelete = 1;
        FfBridgeSetListing({{names[0], dir + L"\\" + names[0]}, {names[1], dir + L"\\" + names[1]},
                            {names[2], dir + L"\\" + names[2]}, {L"pair", dir + L"\\pair", 1},
                            {L"long", dir + L"\\long", 1}});
        int tag = 0;
        for (const Folder& f : folders) {
            SCOPED_TRACE(std::string(FfRoadName(road)) + " in " + FfTestUtf8(f.virtualPath));
            // The test's own file calls take the long form; the plug-in gets plain paths.
            std::wstring real = L"\\\\?\\" + dir + f.real;
            for (const std::wstring& folder : {f.real, f.target})
                for (size_t at = 1; at <= folder.size(); ++at)
                    if (at == folder.size() || folder[at] == L'\\')
                        CreateDirectoryW((L"\\\\?\\" + dir + folder.substr(0, at)).c_str(), nullptr);
            // Each file is a script that leaves a mark of its own when opened.
            std::vector<std::wstring> marks;
            for (const std::wstring& name : names) {
                marks.push_back(dir + L"\\opened-" + std::to_wstring(++tag) + L".txt");
                FfTestWriteBytes(real + L"\\" + name, "@echo off\r\necho.>\"" + FfTestUtf8(marks.back()) + "\"\r\n");
            }
            std::vector<std::wstring> listed;
            for (const FfListed& item : FfRoadList(road, (f.virtualPath.empty() ? L"\\" : f.virtualPath.c_str())))
                if (!(item.attributes & FILE_ATTRIBUTE_DIRECTORY)) listed.push_back(item.name);
            std::vector<std::wstring> expected;
            for (const std::wstring& name : names) expected.push_back(FfRoadName(road, name));
            std::sort(listed.begin(), listed.end());
            std::sort(expected.begin(), expected.end());
            ASSERT_EQ(listed, expected) << "both of the pair are listed";
            for (size_t i = 0; i < 3; ++i) {
                std::wstring remote = f.virtualPath + L"\\" + FfRoadName(road, names[i]);
                std::wstring copy = dir + f.target + L"\\got.cmd";
                bool own = FfRoadName(road, names[i]) == names[i];
                SCOPED_TRACE(FfTestUtf8(names[i]));
                EXPECT_EQ(FfRoadGetFile(road, remote.c_str(), copy.c_str(), 1), own ? 0 : 2);
                EXPECT_EQ(FfTestReadBytes(L"\\\\?\\" + copy), own ? FfTestReadBytes(real + L"\\" + names[i]) : "");
                DeleteFileW((L"\\\\?\\" + copy).c_str());
                if (f.opens) {
                    EXPECT_EQ(FfRoadExecute(road, remote.c_str(), L"open"), own ? 0 : 1);
                    if (own) {
                        EXPECT_TRUE(FfTestWaitFor([&] { return FfTestFileExists(marks[i]); }, 10000));
                    }
                }
                EXPECT_EQ(FfRoadDelete(road, remote.c_str()), own ? TRUE : FALSE);
                for (size_t j = 0; j < 3; ++j) {
                    bool gone = j <= i && FfRoadName(road, names[j]) == names[j];
                    // A script still running keeps its deleted file until it ends.
                    std::wstring file = real + L"\\" + names[j];
                    bool exists = gone ? !FfTestWaitFor([&] { return !FfTestFileExists(file); }, 10000) : FfTestFileExists(file);
                    EXPECT_EQ(exists, !gone) << FfTestUtf8(names[j]);
                    if (f.opens) {
                        EXPECT_EQ(FfTestFileExists(marks[j]), gone) << "opened " << FfTestUtf8(names[j]);
                    }
                }
            }
        }
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
