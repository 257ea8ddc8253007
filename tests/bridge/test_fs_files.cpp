// Path resolution and the host's copy, open, properties and delete calls.
#include <gtest/gtest.h>
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

TEST_F(FsFiles, CopiesOutTheRealFile)
{
    FfBridgeLog log(L"fsget");
    std::string target = Out(L"a.txt");
    EXPECT_EQ(FsGetFile((char*)"\\a.txt", (char*)target.c_str(), 0, nullptr), 0);
    EXPECT_EQ(FfTestReadBytes(dir + L"\\out\\a.txt"), "alpha");
    // Existing target: refused without the overwrite bit, replaced with it.
    EXPECT_EQ(FsGetFile((char*)"\\b.txt", (char*)target.c_str(), 0, nullptr), 3);
    EXPECT_EQ(FfTestReadBytes(dir + L"\\out\\a.txt"), "alpha");
    EXPECT_EQ(log.Count(L"FsGetFile: CopyFileW failed, GetLastError=80"), 1);
    EXPECT_EQ(FsGetFile((char*)"\\b.txt", (char*)target.c_str(), 1, nullptr), 0);
    EXPECT_EQ(FfTestReadBytes(dir + L"\\out\\a.txt"), "bravo");
    EXPECT_EQ(FfTestReadBytes(dir + L"\\b.txt"), "bravo");  // the source is left alone
    // Inside a published folder; a folder; unresolved names.
    std::string inner = Out(L"in.txt");
    EXPECT_EQ(FsGetFile((char*)"\\pub\\in.txt", (char*)inner.c_str(), 0, nullptr), 0);
    EXPECT_EQ(FfTestReadBytes(dir + L"\\out\\in.txt"), "inside");
    EXPECT_EQ(FsGetFile((char*)"\\pub", (char*)Out(L"pub").c_str(), 0, nullptr), 6);
    EXPECT_EQ(FsGetFile((char*)"\\pub\\inner", (char*)Out(L"inner").c_str(), 0, nullptr), 6);
    std::string odd = "\\" + FfBridgeAnsi(L"\u4E2D.txt");  // what the host was given
    EXPECT_EQ(FsGetFile((char*)odd.c_str(), (char*)Out(L"odd").c_str(), 0, nullptr), 2);
    EXPECT_EQ(FsGetFile((char*)"\\pub\\..\\secret.txt", (char*)Out(L"s").c_str(), 0, nullptr), 2);
    EXPECT_FALSE(FfTestFileExists(dir + L"\\out\\s"));
    EXPECT_EQ(FsGetFile(nullptr, nullptr, 0, nullptr), 2);
    EXPECT_EQ(FsGetFile((char*)"\\a.txt", nullptr, 0, nullptr), 3);
    EXPECT_EQ(log.Count(L"FsGetFile: could not resolve \\pub\\..\\secret.txt back to a real source path."), 1);
    EXPECT_EQ(log.Count(L"FsGetFile(RemoteName=\\a.txt, LocalName=" + FfBridgeWide(target.c_str()) + L", CopyFlags=0)"), 1);
}

TEST_F(FsFiles, OnlyTheTwoVerbsAreHandled)
{
    FfBridgeLog log(L"fsexec");
    const char* others[] = {"Open", "OPEN", "properties ", "open ", "edit", "quickview", "", "chmod 755"};
    for (const char* verb : others) EXPECT_EQ(FsExecuteFile(nullptr, (char*)"\\a.txt", (char*)verb), -1) << verb;
    EXPECT_EQ(FsExecuteFile(nullptr, (char*)"\\a.txt", nullptr), -1);
    EXPECT_EQ(FsExecuteFile(nullptr, (char*)"\\nothing", (char*)"open"), 1);
    EXPECT_EQ(FsExecuteFile(nullptr, (char*)"\\pub\\..\\secret.txt", (char*)"properties"), 1);
    EXPECT_EQ(log.Count(L"FsExecuteFile: could not resolve \\nothing back to a real source path."), 1);
    EXPECT_EQ(log.Count(L"FsExecuteFile(RemoteName=\\a.txt, Verb=edit)"), 1);
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
