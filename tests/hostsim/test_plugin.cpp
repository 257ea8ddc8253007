// The stand-in host's calls into a file-system plug-in, proven with a plug-in that records them.
#include <gtest/gtest.h>
#include "hostctl.h"

namespace {

std::wstring Ansi(const std::string& bytes)
{
    wchar_t out[512] = {};
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), out, 511);
    return out;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

class HostPlugin : public ::testing::Test {
protected:
    FfHostCtl host;
    std::wstring dir, target, calls, ini;
    const std::string betaName = "b\xE9ta.txt";  // as the plug-in lists it (8-bit)

    void WriteIni(const std::wstring& library)
    {
        std::string text = "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(library) +
                           "\r\n[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nAutoLoad=1\r\nWidths1=80,30,397\r\n"
                           "Headers1=Path\r\nContents1=[=<fs>.Path]\r\nOptions1=-1|1|96\r\n";
        ASSERT_TRUE(FfTestWriteBytes(ini, text));
    }
    void StartHost()
    {
        FfHostStartOptions options;
        options.leftFolder = dir;
        options.rightFolder = target;
        options.foreground = false;
        options.commanderIni = ini;
        options.environment.push_back({ L"FF_FAKEPLUGIN_LOG", calls });
        ASSERT_TRUE(host.Start(options));
    }
    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"hostplugin");
        target = FfTestMakeTempDir(L"hostplugin_target");
        calls = dir + L"\\calls.txt";
        ini = dir + L"\\wincmd.ini";
        WriteIni(FfTestBinPath(L"fft_fakeplugin.dll"));
        StartHost();
    }
    void TearDown() override { EXPECT_TRUE(host.Quit()); }
    std::vector<std::string> Calls() { return Lines(FfTestReadBytes(calls)); }
    std::string LastCall(const char* prefix)
    {
        std::string last;
        for (const auto& line : Calls())
            if (line.compare(0, strlen(prefix), prefix) == 0) last = line;
        return last;
    }
    std::string TargetAnsi(const std::string& name)
    {
        char buf[1024] = {};
        WideCharToMultiByte(CP_ACP, 0, target.c_str(), -1, buf, 1000, nullptr, nullptr);
        return std::string(buf) + "\\" + name;
    }
};

TEST_F(HostPlugin, LoadsOnFirstEntryAndCallsFsInitFirst)
{
    EXPECT_FALSE(FfTestFileExists(calls)) << "nothing loaded before the plug-in's folder is entered";
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder");
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, dir));
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\fleetfinder\\"));
    auto lines = Calls();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "FsInit 0");
    EXPECT_EQ(lines[1], "FsFindFirst \\");
    int inits = 0, firsts = 0, closes = 0;
    for (const auto& line : lines) {
        inits += line.rfind("FsInit", 0) == 0;
        firsts += line.rfind("FsFindFirst", 0) == 0;
        closes += line.rfind("FsFindClose", 0) == 0;
    }
    EXPECT_EQ(inits, 1) << "the library is loaded and started once";
    EXPECT_EQ(firsts, 2);
    EXPECT_EQ(closes, firsts) << "every listing is closed";
    std::vector<long long> loads;
    for (const auto& e : host.Events())
        if (e.kind == L"plugin") loads.push_back(e.number);
    EXPECT_EQ(loads, (std::vector<long long>{ 1 }));
}

TEST_F(HostPlugin, ListsEntriesAttributesAndThePathColumn)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder\\"));
    auto items = host.Items();
    ASSERT_EQ(items.size(), 3u);
    struct Expect {
        std::wstring name;
        DWORD attributes;
        unsigned long long size;
        std::wstring path;
    } expected[] = {
        { L"alpha.txt", FILE_ATTRIBUTE_NORMAL, 5, L"C:\\real\\alpha.txt" },
        { L"Folder", FILE_ATTRIBUTE_DIRECTORY, 0, L"C:\\real\\Folder" },
        { Ansi(betaName), FILE_ATTRIBUTE_NORMAL, 7, L"C:\\real\\" + Ansi(betaName) },
    };
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(items[i].name, expected[i].name) << i << " (the plug-in's order is kept)";
        EXPECT_EQ(items[i].attributes, expected[i].attributes) << i;
        EXPECT_EQ(items[i].size, expected[i].size) << i;
        EXPECT_EQ(items[i].path, expected[i].path) << i << " (field looked up by name, not by index)";
        EXPECT_EQ(items[i].modified.dwLowDateTime, 0x12345678u) << i;
    }
    // The path field is asked with the item's plug-in path, 8-bit bytes passed back unchanged.
    EXPECT_EQ(LastCall("FsContentGetValue \\b"), "FsContentGetValue \\" + betaName + "|1");
}

TEST_F(HostPlugin, BrowsesIntoFoldersAndBack)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    EXPECT_EQ(host.Open(L"Folder"), 0);
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder\\Folder");
    EXPECT_EQ(LastCall("FsFindFirst"), "FsFindFirst \\Folder");
    auto items = host.Items();
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].name, L"inner.txt");
    EXPECT_EQ(items[0].path, L"C:\\real\\Folder\\inner.txt");
    EXPECT_EQ(host.Open(L".."), 0);
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder");
    // A change-folder path with a trailing backslash lists the folder itself.
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder\\Folder\\\\"));
    EXPECT_EQ(LastCall("FsFindFirst"), "FsFindFirst \\Folder");
    // A path naming a listed file shows the folder with the cursor on it.
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder\\alpha.txt"));
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder");
    EXPECT_EQ(host.CurrentItem(), L"alpha.txt");
}

TEST_F(HostPlugin, CopiesToTheOtherPanelWithTheOverwriteAnswer)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    EXPECT_EQ(host.CopyToOtherPanel(L"alpha.txt"), 0);
    EXPECT_EQ(FfTestReadBytes(target + L"\\alpha.txt"), "copy of \\alpha.txt");
    EXPECT_EQ(LastCall("FsGetFile"), "FsGetFile \\alpha.txt|" + TargetAnsi("alpha.txt") + "|0");
    auto names = host.Names(FF_HOST_RIGHT);
    EXPECT_EQ(names, (std::vector<std::wstring>{ L"alpha.txt" })) << "the target panel is listed again";

    struct Case {
        const char* label;
        int answer;
        int result;
        const char* flags;  // the flags of a new FsGetFile call, or null when none is made
    } cases[] = {
        { "user confirms", FF_HOST_OVERWRITE_YES, 0, "1" },
        { "user declines", FF_HOST_OVERWRITE_NO, FF_HOST_OP_SKIPPED, nullptr },
        { "no question asked", FF_HOST_OVERWRITE_NOBIT, 3, "0" },
    };
    for (const auto& c : cases) {
        size_t before = Calls().size();
        ASSERT_TRUE(host.SetOverwriteAnswer(c.answer)) << c.label;
        EXPECT_EQ(host.CopyToOtherPanel(L"alpha.txt"), c.result) << c.label;
        auto lines = Calls();
        if (!c.flags) {
            EXPECT_EQ(lines.size(), before) << c.label;
            continue;
        }
        EXPECT_EQ(LastCall("FsGetFile"), "FsGetFile \\alpha.txt|" + TargetAnsi("alpha.txt") + "|" + c.flags) << c.label;
    }
    ASSERT_TRUE(host.SetOverwriteAnswer(FF_HOST_OVERWRITE_YES));
    EXPECT_EQ(host.CopyToOtherPanel(L"Folder"), 6) << "the plug-in's answer is passed on";
    EXPECT_EQ(host.CopyToOtherPanel(L"missing.txt"), FF_HOST_OP_NOT_FOUND);
    // A name outside ASCII goes back to the plug-in exactly as it was listed.
    EXPECT_EQ(host.CopyToOtherPanel(Ansi(betaName)), 0);
    EXPECT_EQ(LastCall("FsGetFile"), "FsGetFile \\" + betaName + "|" + TargetAnsi(betaName) + "|0");
    // Inside a plug-in folder the remote name carries the folder.
    ASSERT_EQ(host.Open(L"Folder"), 0);
    EXPECT_EQ(host.CopyToOtherPanel(L"inner.txt"), 0);
    EXPECT_EQ(FfTestReadBytes(target + L"\\inner.txt"), "copy of \\Folder\\inner.txt");
}

TEST_F(HostPlugin, OpenPropertiesAndDeleteCallThePlugin)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    EXPECT_EQ(host.Open(L"alpha.txt"), -1);
    EXPECT_EQ(LastCall("FsExecuteFile"), "FsExecuteFile \\alpha.txt|open|1");
    EXPECT_EQ(host.Properties(L"Folder"), 0);
    EXPECT_EQ(LastCall("FsExecuteFile"), "FsExecuteFile \\Folder|properties|1");
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder") << "properties of a folder do not enter it";

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

TEST_F(HostPlugin, FoldersWithoutAHandleAreEmptyOrRefused)
{
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder\\Empty"));
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder\\Empty");
    EXPECT_TRUE(host.Names().empty());
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder\\Denied"));
    EXPECT_EQ(host.Folder(), L"\\\\\\Fleetfinder\\Empty");
}

TEST_F(HostPlugin, InstallingRegistersTheLibraryInTheIni)
{
    ASSERT_TRUE(host.Quit());
    ASSERT_TRUE(FfTestWriteBytes(ini, "[Configuration]\r\n"));
    StartHost();
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    std::wstring library = FfTestBinPath(L"fft_fakeplugin.dll");
    ASSERT_TRUE(host.InstallPlugin(library));
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(L"FileSystemPlugins", L"Fleetfinder", L"", value, 1024, ini.c_str());
    EXPECT_EQ(std::wstring(value), library);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    EXPECT_EQ(host.Names().size(), 3u);
}

TEST_F(HostPlugin, AMissingLibraryLeavesThePanelWhereItWas)
{
    ASSERT_TRUE(host.Quit());
    WriteIni(dir + L"\\nowhere.wdx64");
    StartHost();
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder"));
    EXPECT_EQ(host.Folder(), dir);
    FfHostEvent event;
    ASSERT_TRUE(host.WaitForEvent(L"plugin", 0, &event));
    EXPECT_EQ(event.number, 0);
    EXPECT_FALSE(host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Other"));
    EXPECT_EQ(host.Request(FF_HOSTCTL_PING, L""), 1);
}

}  // namespace
