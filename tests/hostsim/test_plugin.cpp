// The stand-in host's calls into a file-system plug-in, proven with a plug-in that records them.
#include <gtest/gtest.h>
#include <algorithm>
#include "hostctl.h"

namespace {

const std::wstring kRoot = L"\\\\\\Fleetfinder";

std::wstring Ansi(const std::string& bytes)
{
    wchar_t out[512] = {};
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), out, 511);
    return out;
}

class HostPlugin : public ::testing::Test {
protected:
    FfHostCtl host;
    std::wstring dir = FfTestMakeTempDir(L"hostplugin"), target = FfTestMakeTempDir(L"hostplugin_target");
    std::wstring calls = dir + L"\\calls.txt", ini = dir + L"\\wincmd.ini";
    const std::string betaName = "b\xE9ta.txt";  // as the plug-in lists it (8-bit)

    // The tests below prove the 8-bit road (--ansi-only); one proves the Unicode twins.
    void StartHost(const std::wstring& library, bool ansiOnly = true)
    {
        std::string text = "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(library) +
                           "\r\n[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nAutoLoad=1\r\nWidths1=80,30,397\r\n"
                           "Headers1=Path\r\nContents1=[=<fs>.Path]\r\nOptions1=-1|1|96\r\n";
        ASSERT_TRUE(FfTestWriteBytes(ini, library.empty() ? "[Configuration]\r\n" : text));
        FfHostStartOptions options;
        options.leftFolder = dir;
        options.rightFolder = target;
        options.foreground = false;
        options.commanderIni = ini;
        options.ansiOnly = ansiOnly;
        options.environment.push_back({ L"FF_FAKEPLUGIN_LOG", calls });
        ASSERT_TRUE(host.Start(options));
    }
    void SetUp() override { StartHost(FfTestBinPath(L"fft_fakeplugin.dll")); }
    void TearDown() override { EXPECT_TRUE(host.Quit()); }
    std::string Log() { return FfTestReadBytes(calls); }
    int Count(const std::string& prefix)
    {
        std::string log = "\n" + Log();
        int n = 0;
        for (size_t at = log.find("\n" + prefix); at != std::string::npos; at = log.find("\n" + prefix, at + 1)) ++n;
        return n;
    }
    std::string LastCall(const std::string& prefix)
    {
        std::string log = "\n" + Log();
        size_t at = log.rfind("\n" + prefix);
        return at == std::string::npos ? "" : log.substr(at + 1, log.find('\r', at) - at - 1);
    }
    std::string TargetAnsi(const std::string& name)
    {
        char buf[1024] = {};
        WideCharToMultiByte(CP_ACP, 0, target.c_str(), -1, buf, 1000, nullptr, nullptr);
        return std::string(buf) + "\\" + name;
    }
};

TEST_F(HostPlugin, LoadsOnceOnFirstEntryAndListsWithThePathColumn)
{
    EXPECT_FALSE(FfTestFileExists(calls)) << "nothing loaded before the plug-in's folder is entered";
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    EXPECT_EQ(host.Folder(), kRoot);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, dir));
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\fleetfinder\\"));
    EXPECT_EQ(Log().rfind("FsInit 0\r\nFsFindFirst \\\r\n", 0), 0u) << Log();
    EXPECT_EQ(Count("FsInit"), 1) << "the library is loaded and started once";
    EXPECT_EQ(Count("FsFindFirst"), 2);
    EXPECT_EQ(Count("FsFindClose"), 2) << "every listing is closed";
    std::vector<long long> loads;
    for (const auto& e : host.Events())
        if (e.kind == L"plugin") loads.push_back(e.number);
    EXPECT_EQ(loads, (std::vector<long long>{ 1 }));

    auto items = host.Items();
    ASSERT_EQ(items.size(), 3u);
    struct Expect { std::wstring name; DWORD attributes; unsigned long long size; } expected[] = {
        { L"alpha.txt", FILE_ATTRIBUTE_NORMAL, 5 },
        { L"Folder", FILE_ATTRIBUTE_DIRECTORY, 0 },
        { Ansi(betaName), FILE_ATTRIBUTE_NORMAL, 7 },
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i].name, expected[i].name) << i << " (the plug-in's order is kept)";
        EXPECT_EQ(items[i].attributes, expected[i].attributes) << i;
        EXPECT_EQ(items[i].size, expected[i].size) << i;
        EXPECT_EQ(items[i].path, L"C:\\real\\" + expected[i].name) << i << " (field looked up by name, not by index)";
        EXPECT_EQ(items[i].modified.dwLowDateTime, 0x12345678u) << i;
    }
    // The path field is asked with the item's plug-in path, 8-bit bytes passed back unchanged.
    EXPECT_EQ(LastCall("FsContentGetValue \\b"), "FsContentGetValue \\" + betaName + "|1");
}

// The plug-in exports the twins of FsInit, the listing, FsGetFile and FsContentGetValue only.
TEST_F(HostPlugin, CallsEachUnicodeTwinItFindsAndThe8BitFunctionOtherwise)
{
    ASSERT_TRUE(host.Quit());
    StartHost(FfTestBinPath(L"fft_fakeplugin.dll"), false);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    FfHostEvent init;
    ASSERT_TRUE(host.WaitForEvent(L"fsinit", 0, &init));
    EXPECT_EQ(init.second, L"FsInitW");
    EXPECT_EQ(Log().rfind("FsInitW 0\r\nFsFindFirstW \\\r\n", 0), 0u) << "never FsInit as well: " << Log();
    const std::wstring odd = L"\u0141\xD83C\xDF34.txt";  // outside the code page, with a surrogate pair
    EXPECT_EQ(host.Names(), (std::vector<std::wstring>{ L"alpha.txt", L"Folder", Ansi(betaName), odd }));
    EXPECT_EQ(host.Items()[3].path, L"C:\\real\\" + odd) << "a wide value (type 11) with the wide name";
    EXPECT_EQ(host.CopyToOtherPanel(odd), 0);
    EXPECT_EQ(LastCall("FsGetFileW"), "FsGetFileW \\" + FfTestUtf8(odd) + "|" + FfTestUtf8(target + L"\\" + odd) + "|0");
    EXPECT_EQ(FfTestReadBytes(target + L"\\" + odd), "copy of \\" + FfTestUtf8(odd));
    EXPECT_EQ(host.Open(L"alpha.txt"), -1);
    EXPECT_EQ(LastCall("FsExecuteFile"), "FsExecuteFile \\alpha.txt|open|1");
    // The 8-bit fallback gets the code page's default character, never a look-alike.
    EXPECT_EQ(host.Delete(odd), 0);
    EXPECT_EQ(LastCall("FsDeleteFile").find("FsDeleteFile \\?"), 0u);
    EXPECT_EQ(Count("FsGetFile "), 0);
    EXPECT_EQ(Count("FsFindFirst "), 0);
}

TEST_F(HostPlugin, BrowsesIntoFoldersAndBack)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    EXPECT_EQ(host.Open(L"Folder"), 0);
    EXPECT_EQ(host.Folder(), kRoot + L"\\Folder");
    EXPECT_EQ(LastCall("FsFindFirst"), "FsFindFirst \\Folder");
    auto items = host.Items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, L"inner.txt");
    EXPECT_EQ(items[0].path, L"C:\\real\\Folder\\inner.txt");
    EXPECT_EQ(host.Open(L".."), 0);
    EXPECT_EQ(host.Folder(), kRoot);
    // A change-folder path with a trailing backslash lists the folder itself.
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot + L"\\Folder\\\\"));
    EXPECT_EQ(LastCall("FsFindFirst"), "FsFindFirst \\Folder");
    // A path naming a listed file shows the folder with the cursor on it.
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot + L"\\alpha.txt"));
    EXPECT_EQ(host.Folder(), kRoot);
    EXPECT_EQ(host.CurrentItem(), L"alpha.txt");
    // No handle: "no more files" is an empty folder, any other error refuses the change.
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot + L"\\Empty"));
    EXPECT_EQ(host.Folder(), kRoot + L"\\Empty");
    EXPECT_TRUE(host.Names().empty());
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, kRoot + L"\\Denied"));
    EXPECT_EQ(host.Folder(), kRoot + L"\\Empty");
}

TEST_F(HostPlugin, CopyProtocolWithTheOverwriteAnswerAndMoves)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    EXPECT_EQ(host.CopyToOtherPanel(L"alpha.txt"), 0);
    EXPECT_EQ(FfTestReadBytes(target + L"\\alpha.txt"), "copy of \\alpha.txt");
    EXPECT_EQ(LastCall("FsGetFile"), "FsGetFile \\alpha.txt|" + TargetAnsi("alpha.txt") + "|0");
    EXPECT_EQ(host.Names(FF_HOST_RIGHT), (std::vector<std::wstring>{ L"alpha.txt" })) << "the target panel is listed again";

    // The host's protocol: never the overwrite bit at first; "exists" asks the user.
    struct Case {
        const char* label;
        bool move;
        std::wstring name;
        int answer;
        int result;
        std::string flags;  // the flags of each FsGetFile call made
        int questions;      // "exists" events
    } cases[] = {
        { "exists, user confirms", false, L"alpha.txt", FF_HOST_OVERWRITE_YES, 0, "0,1", 1 },
        { "exists, user declines", false, L"alpha.txt", FF_HOST_OVERWRITE_NO, FF_HOST_OP_SKIPPED, "0", 1 },
        // A name outside ASCII goes back to the plug-in exactly as it was listed.
        { "move to a new target", true, Ansi(betaName), FF_HOST_OVERWRITE_YES, 0, "4", 0 },
        { "move onto an existing target", true, L"alpha.txt", FF_HOST_OVERWRITE_YES, 0, "4,5", 1 },
    };
    for (const auto& c : cases) {
        int before = Count("FsGetFile");
        ASSERT_TRUE(host.ClearEvents());
        ASSERT_TRUE(host.SetOverwriteAnswer(c.answer)) << c.label;
        EXPECT_EQ(c.move ? host.MoveToOtherPanel(c.name) : host.CopyToOtherPanel(c.name), c.result) << c.label;
        std::string flags, log = "\n" + Log();
        int seen = 0;
        for (size_t at = log.find("\nFsGetFile "); at != std::string::npos; at = log.find("\nFsGetFile ", at + 1)) {
            if (seen++ < before) continue;
            size_t end = log.find('\r', at);
            flags += (flags.empty() ? "" : ",") + log.substr(log.rfind('|', end) + 1, end - log.rfind('|', end) - 1);
        }
        EXPECT_EQ(flags, c.flags) << c.label;
        int questions = 0;
        for (const auto& e : host.Events()) questions += e.kind == L"exists";
        EXPECT_EQ(questions, c.questions) << c.label;
        std::vector<std::wstring> names = host.Names();
        EXPECT_EQ(std::find(names.begin(), names.end(), c.name) == names.end(), c.move && c.result == 0) << c.label;
    }
    EXPECT_EQ(FfTestReadBytes(target + L"\\" + Ansi(betaName)), "copy of \\" + betaName);
    ASSERT_TRUE(host.SetOverwriteAnswer(FF_HOST_OVERWRITE_YES));
    EXPECT_EQ(host.CopyToOtherPanel(L"Folder"), 6) << "the plug-in's answer is passed on";
    EXPECT_EQ(host.CopyToOtherPanel(L"missing.txt"), FF_HOST_OP_NOT_FOUND);
    // Inside a plug-in folder the remote name carries the folder.
    ASSERT_EQ(host.Open(L"Folder"), 0);
    EXPECT_EQ(host.CopyToOtherPanel(L"inner.txt"), 0);
    EXPECT_EQ(FfTestReadBytes(target + L"\\inner.txt"), "copy of \\Folder\\inner.txt");
}

TEST_F(HostPlugin, OpenPropertiesAndDeleteCallThePlugin)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    EXPECT_EQ(host.Open(L"alpha.txt"), -1);
    EXPECT_EQ(LastCall("FsExecuteFile"), "FsExecuteFile \\alpha.txt|open|1");
    EXPECT_EQ(host.Properties(L"Folder"), 0);
    EXPECT_EQ(LastCall("FsExecuteFile"), "FsExecuteFile \\Folder|properties|1");
    EXPECT_EQ(host.Folder(), kRoot) << "properties of a folder do not enter it";

    EXPECT_EQ(host.Delete(L"Folder"), 0);
    EXPECT_EQ(LastCall("FsDeleteFile"), "FsDeleteFile \\Folder");
    EXPECT_EQ(host.Names().size(), 3u);
    EXPECT_EQ(host.Delete(L"alpha.txt"), 1);
    EXPECT_EQ(host.Names(), (std::vector<std::wstring>{ L"Folder", Ansi(betaName) })) << "listed again, order kept";
    EXPECT_EQ(host.Delete(L"alpha.txt"), FF_HOST_OP_NOT_FOUND);

    // Outside a plug-in folder the host does not touch the plug-in (nor delete real files).
    ASSERT_TRUE(FfTestWriteBytes(dir + L"\\keep.txt", "k"));
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, dir));
    EXPECT_EQ(host.Delete(L"keep.txt"), FF_HOST_OP_NO_PLUGIN);
    EXPECT_EQ(host.Open(L"keep.txt"), FF_HOST_OP_NO_PLUGIN);
    EXPECT_TRUE(FfTestFileExists(dir + L"\\keep.txt"));
}

TEST_F(HostPlugin, MissingLibraryThenInstallingOne)
{
    ASSERT_TRUE(host.Quit());
    StartHost(dir + L"\\nowhere.wdx64");
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    EXPECT_EQ(host.Folder(), dir) << "the panel stays where it was";
    FfHostEvent event;
    ASSERT_TRUE(host.WaitForEvent(L"plugin", 0, &event));
    EXPECT_EQ(event.number, 0);
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Other"));
    EXPECT_EQ(host.Request(FF_HOSTCTL_PING, L""), 1);
    ASSERT_TRUE(host.Quit());

    StartHost(L"");  // no plug-in registered
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    std::wstring library = FfTestBinPath(L"fft_fakeplugin.dll");
    ASSERT_TRUE(host.InstallPlugin(library));
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(L"FileSystemPlugins", L"Fleetfinder", L"", value, 1024, ini.c_str());
    EXPECT_EQ(std::wstring(value), library);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, kRoot));
    EXPECT_EQ(host.Names().size(), 3u);
}

void PressKey(WORD key)
{
    INPUT in[2] = {};
    for (int i = 0; i < 2; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = key;
        in[i].ki.dwFlags = i == 1 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(2, in, sizeof(INPUT));
}

TEST_F(HostPlugin, PanelKeysCopyBrowseAndSwitch)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_LEFT, kRoot));
    ASSERT_EQ(host.CurrentItem(), L"alpha.txt");
    ASSERT_TRUE(host.BringToFront());
    ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == host.mainWindow; }));
    PressKey(VK_F5);  // copy the item under the cursor to the other panel
    // The file exists before the plug-in has written it: wait for its content.
    EXPECT_TRUE(FfTestWaitFor([&] { return FfTestReadBytes(target + L"\\alpha.txt") == "copy of \\alpha.txt"; }));
    PressKey(VK_DOWN);
    ASSERT_TRUE(FfTestWaitFor([&] { return host.CurrentItem() == L"Folder"; }));
    PressKey(VK_RETURN);  // a folder is entered
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == kRoot + L"\\Folder"; }));
    PressKey(VK_BACK);  // and left again
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == kRoot; }));
    PressKey(VK_TAB);
    ASSERT_TRUE(FfTestWaitFor([&] { return host.ActivePanel() == FF_HOST_RIGHT; }));
    EXPECT_EQ(host.FocusWindow(), host.PanelList(FF_HOST_RIGHT));
}

}  // namespace
