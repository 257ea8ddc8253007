// The real plug-in loaded by a small program from a test folder: start-up lines, pin, one thread, settings file, exception records.
#include <gtest/gtest.h>
#include "fftest.h"
#include <string>
#include <vector>

namespace {

const wchar_t* PluginName() { return FF_BITS == 32 ? L"Fleetfinder.wdx" : L"Fleetfinder.wdx64"; }

// One run of ffloader.exe over a fresh copy of the plug-in.
class LoadedPlugin : public ::testing::Test {
protected:
    std::wstring dir, plugin, report, log, cfg;
    DWORD pid = 0;
    DWORD exitCode = (DWORD)-1;

    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"module");
        plugin = dir + L"\\" + PluginName();
        report = dir + L"\\report.txt";
        log = dir + L"\\Fleetfinder.log";
        cfg = dir + L"\\Fleetfinder.cfg";
        ASSERT_TRUE(CopyFileW(FfTestBinPath(PluginName()).c_str(), plugin.c_str(), FALSE));
    }

    // Runs the loader with the given steps; returns its report lines.
    std::vector<std::string> Run(const std::wstring& steps)
    {
        FfTestProcess loader;
        std::wstring cmd = L"\"" + FfTestBinPath(L"ffloader.exe") + L"\" \"" + plugin + L"\" \"" + report + L"\" " + steps;
        EXPECT_TRUE(loader.Start(cmd, dir.c_str()));
        pid = loader.pi.dwProcessId;
        exitCode = loader.Wait(60000);
        std::vector<std::string> lines = Lines(FfTestReadBytes(report), "\n");
        for (std::string& line : lines) {
            if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode
        }
        return lines;
    }

    static std::vector<std::string> Lines(const std::string& bytes, const char* end = "\r\n")
    {
        std::vector<std::string> out;
        size_t start = 0, at;
        while ((at = bytes.find(end, start)) != std::string::npos) {
            out.push_back(bytes.substr(start, at - start));
            start = at + strlen(end);
        }
        return out;
    }

    // Log lines without their time stamps.
    std::vector<std::string> LogMessages() const
    {
        std::vector<std::string> out;
        for (const std::string& line : Lines(FfTestReadBytes(log))) out.push_back(line.size() > 26 ? line.substr(26) : line);
        return out;
    }

    std::string Pid() const { return std::to_string(pid); }
};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// Two loads attach once and one thread runs; two frees leave the module pinned. Exceptions outside
// the plug-in are recorded by severity: with Logging N only the access violation follows the start-up lines.
TEST_F(LoadedPlugin, StartsOnceStaysMappedAndRecordsExceptions)
{
    std::vector<std::string> seen = Run(L"load wait-idle load threads free free mapped threads av int3");
    const std::vector<std::string> expected = {"load=OK", "idle=1", "load=OK", "threads=1", "free=OK", "free=OK",
                                               "mapped=1", "threads=1", "av=survived", "int3=survived", "done=1"};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(0u, exitCode);

    std::vector<std::string> messages = LogMessages();
    std::string all = FfTestReadBytes(log);
    ASSERT_EQ(4u, messages.size()) << all;
    EXPECT_TRUE(StartsWith(messages[0], "DllMain: DLL_PROCESS_ATTACH (pid=" + Pid() + ", module=")) << messages[0];
    EXPECT_EQ("DllMain: module pin OK", messages[1]);
    EXPECT_TRUE(StartsWith(messages[2], "Background thread started (tid=")) << messages[2];
    EXPECT_TRUE(StartsWith(messages[3], "*** EXCEPTION *** code=0xC0000005 addr=")) << messages[3];
    EXPECT_NE(std::string::npos, messages[3].find("\\ffloader.exe [outside Fleetfinder] (pid=" + Pid() + ")")) << messages[3];
    EXPECT_EQ(std::string::npos, all.find("code=0x80000003"));

    std::string settings = FfTestReadBytes(cfg);
    for (const char* entry : {"[Display]", "Hotkey=Ctrl+Alt+F", "[Everything]", "SortOrder=DateModifiedDescending",
                              "[Filters]", "LastSelectedFilter=", "[Safety]", "AllowDelete=N"})
        EXPECT_NE(std::string::npos, settings.find(entry)) << entry;
}

TEST_F(LoadedPlugin, LoggingOnShowsSummaryAndDetach)
{
    const std::string original = "[Display]\r\nLogging=Y\r\nHotkey=Ctrl+Alt+K\r\n";
    ASSERT_TRUE(FfTestWriteBytes(cfg, original));
    Run(L"load wait-idle");
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ(original, FfTestReadBytes(cfg)) << "an existing settings file is never written";
    std::vector<std::string> messages = LogMessages();
    std::string all = FfTestReadBytes(log);
    ASSERT_GE(messages.size(), 5u) << all;
    EXPECT_TRUE(StartsWith(messages[3], "Config loaded from " + FfTestUtf8(cfg) + ": Position=0 Hotkey=Ctrl+Alt+K ")) << all;
    EXPECT_EQ("DllMain: DLL_PROCESS_DETACH (pid=" + Pid() + ", processTerminating=1)", messages.back()) << all;
}

TEST_F(LoadedPlugin, UnopenableLogBreaksNothing)
{
    ASSERT_TRUE(CreateDirectoryW(log.c_str(), nullptr));
    std::vector<std::string> seen = Run(L"load wait-idle load free free threads av mapped");
    const std::vector<std::string> expected = {"load=OK", "idle=1", "load=OK", "free=OK", "free=OK",
                                               "threads=1", "av=survived", "mapped=1", "done=1"};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(0u, exitCode);
    EXPECT_TRUE(FfTestFileExists(cfg));
    EXPECT_TRUE(GetFileAttributesW(log.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace
