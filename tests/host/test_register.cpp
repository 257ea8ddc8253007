// Self-registration on real ini files: entries written once, stale hotkey pairs pruned, user data kept.
#include <gtest/gtest.h>

#include <algorithm>

#include "core/core.h"
#include "fftest.h"
#include "host/host.h"
#include "host_fixture.h"

namespace {

const wchar_t kQuotedFolder[] = L"\"\\\\\\Fleetfinder\\\"";
const wchar_t kColumnsSection[] = L"CustomFields_Fleetfinder";

class SelfRegister : public testing::Test {
protected:
    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"register");
        ini = dir + L"\\wincmd.ini";
        env.reset(new FfTestHostEnv(ini));
        logPath = dir + L"\\Fleetfinder.log";
        wcscpy_s(g_logPath, logPath.c_str());
        savedLogging = g_settings.loggingEnabled;
        savedLetter = g_settings.hotkeyLetter;
        g_settings.loggingEnabled = 1;
        g_settings.hotkeyLetter = L'F';
    }
    void TearDown() override
    {
        g_logPath[0] = 0;
        g_settings.loggingEnabled = savedLogging;
        g_settings.hotkeyLetter = savedLetter;
        env.reset();
    }
    void WriteIni(const char* text) { ASSERT_TRUE(FfTestWriteBytes(ini, text)); }
    static void RunAllSteps()
    {
        FfSelfRegisterWfxPlugin();
        FfSelfRegisterHotkeyShortcut();
        FfSelfRegisterCustomColumnsView();
    }
    std::wstring Log() { return FfTestReadLog(logPath); }
    std::wstring Value(const wchar_t* section, const wchar_t* key) { return FfTestIniValue(ini, section, key); }

    std::wstring dir, ini, logPath;
    std::unique_ptr<FfTestHostEnv> env;
    int savedLogging = 1;
    wchar_t savedLetter = L'F';
};

std::wstring ModulePath()
{
    wchar_t path[MAX_PATH * 4];
    GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return path;
}

}  // namespace

TEST_F(SelfRegister, FreshIniGetsAllThreeEntries)
{
    for (const char* start : {"", "[Configuration]\r\nLanguage=eng\r\n"}) {
        SCOPED_TRACE(start);
        WriteIni(start);
        DeleteFileW(logPath.c_str());
        RunAllSteps();

        EXPECT_EQ(ModulePath(), Value(L"FileSystemPlugins", L"Fleetfinder"));
        EXPECT_EQ(L"CD", Value(L"Shortcuts", L"CA+F"));
        EXPECT_EQ(1, FfTestCountOf(FfTestIniText(ini), L"CA+F_params=" + std::wstring(kQuotedFolder) + L"\r\n"));
        std::vector<std::wstring> keys = FfTestIniKeys(ini, kColumnsSection);
        EXPECT_EQ((std::vector<std::wstring>{L"Titles", L"AutoLoad", L"Widths1", L"Headers1", L"Contents1", L"Options1"}),
                  keys);
        EXPECT_EQ(L"Fleetfinder", Value(kColumnsSection, L"Titles"));
        EXPECT_EQ(L"1", Value(kColumnsSection, L"AutoLoad"));
        EXPECT_EQ(L"80,30,397", Value(kColumnsSection, L"Widths1"));
        EXPECT_EQ(L"Path", Value(kColumnsSection, L"Headers1"));
        EXPECT_EQ(L"[=<fs>.Path]", Value(kColumnsSection, L"Contents1"));
        EXPECT_EQ(L"-1|1|96", Value(kColumnsSection, L"Options1"));

        std::wstring log = Log();
        EXPECT_EQ(3, FfTestCountOf(log, L": OK writing "));
        EXPECT_EQ(0, FfTestCountOf(log, L"FAILED"));
        EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterWfxPlugin: OK writing [FileSystemPlugins] Fleetfinder="
                                             + ModulePath() + L" to " + ini + L". Restart"));
        EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterHotkeyShortcut: OK writing CA+F=CD and CA+F_params="
                                             + std::wstring(kQuotedFolder) + L" to " + ini + L". Restart"));
        EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterCustomColumnsView: OK writing [CustomFields_Fleetfinder] "
                                        L"(Name/Ext/Path view, AutoLoad=1) to "
                                             + ini + L". Restart"));
        EXPECT_EQ(1, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts: [Shortcuts] section empty or unreadable in "
                                             + ini + L" - nothing to prune."));
    }
}

// A second start finds everything in place: the file does not change by a byte.
TEST_F(SelfRegister, SecondRunLeavesFileAsIs)
{
    WriteIni("[Configuration]\r\nLanguage=eng\r\n");
    RunAllSteps();
    std::string first = FfTestReadBytes(ini);
    DeleteFileW(logPath.c_str());
    RunAllSteps();
    EXPECT_EQ(first, FfTestReadBytes(ini));
    std::wstring log = Log();
    EXPECT_EQ(0, FfTestCountOf(log, L" writing "));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterWfxPlugin: already registered in " + ini + L" as \""
                                         + ModulePath() + L"\" - leaving as-is."));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterHotkeyShortcut: CA+F is already bound to \"CD\" in " + ini));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterCustomColumnsView: [CustomFields_Fleetfinder] Contents1 "
                                    L"already set ([=<fs>.Path]) in "
                                         + ini + L" - leaving as-is."));
    EXPECT_EQ(0, FfTestCountOf(log, L"removed stale"));  // the current hotkey's own pair stays
}

TEST_F(SelfRegister, ExistingEntriesOfOthersAreLeft)
{
    WriteIni("[FileSystemPlugins]\r\nFleetfinder=D:\\old\\Fleetfinder.wdx\r\n"
             "[Shortcuts]\r\nCA+F=cm_SrcQuickView\r\n"
             "[CustomFields_Fleetfinder]\r\nContents1=[=tc.size]\r\n");
    std::string before = FfTestReadBytes(ini);
    RunAllSteps();
    EXPECT_EQ(before, FfTestReadBytes(ini));
    EXPECT_EQ(L"", Value(L"Shortcuts", L"CA+F_params"));
    std::wstring log = Log();
    EXPECT_EQ(1, FfTestCountOf(log, L"already registered in " + ini + L" as \"D:\\old\\Fleetfinder.wdx\""));
    EXPECT_EQ(1, FfTestCountOf(log, L"CA+F is already bound to \"cm_SrcQuickView\" in " + ini
                                         + L" - leaving as-is (not overwriting a possibly user-assigned shortcut)."));
    EXPECT_EQ(1, FfTestCountOf(log, L"Contents1 already set ([=tc.size])"));
}

// Hotkey changed to G: only this plug-in's exact single-key Ctrl+Alt pairs to other letters go.
TEST_F(SelfRegister, HotkeyChangePrunesOnlyOurStalePairs)
{
    WriteIni("[Shortcuts]\r\n"
             "C+1=cm_GoToDrive\r\n"
             "CA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"         // quoted: ours
             "CA+H=cd\r\nCA+H_params=\\\\\\Fleetfinder\\\r\n"             // unquoted, value in other case
             "CA+J=CD\r\nCA+J_params=\"\\\\\\FLEETFINDER\\\"\r\n"         // other letter case
             "CA+K=CD\r\nCA+K_params=\"\\\\\\Other\\\"\r\n"               // another plug-in's folder
             "CA+L=cm_Copy\r\nCA+L_params=\"\\\\\\Fleetfinder\\\"\r\n"    // not a change of folder
             "CSA+F=CD\r\nCSA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"       // other modifiers
             "CA+F1=CD\r\nCA+F1_params=\"\\\\\\Fleetfinder\\\"\r\n"       // longer key
             "ca+M=CD\r\nca+M_params=\"\\\\\\Fleetfinder\\\"\r\n"         // prefix not in capitals
             "CA+N=CD\r\n"                                                // no parameter
             "CA+P=CD\r\nCA+P_params=\"\\\\\\Fleetfinder\\sub\\\"\r\n"    // deeper folder
             "CA+Q=CD\r\nCA+Q_params=\"\r\n"                              // a lone quote
             "F2=cm_RenameOnly\r\n");
    g_settings.hotkeyLetter = L'G';
    FfSelfRegisterHotkeyShortcut();

    struct Expect {
        const wchar_t* key;
        bool kept;
    } expectations[] = {
        {L"CA+F", false}, {L"CA+H", false}, {L"CA+J", false}, {L"CA+K", true}, {L"CA+L", true},
        {L"CSA+F", true}, {L"CA+F1", true}, {L"ca+M", true},  {L"CA+P", true}, {L"CA+Q", true},
    };
    for (const Expect& e : expectations) {
        SCOPED_TRACE(testing::Message() << FfTestUtf8(e.key));
        std::wstring params = std::wstring(e.key) + L"_params";
        EXPECT_EQ(e.kept, !Value(L"Shortcuts", e.key).empty());
        EXPECT_EQ(e.kept, !Value(L"Shortcuts", params.c_str()).empty());
    }
    EXPECT_EQ(L"CD", Value(L"Shortcuts", L"CA+N"));
    EXPECT_EQ(L"cm_GoToDrive", Value(L"Shortcuts", L"C+1"));
    EXPECT_EQ(L"cm_RenameOnly", Value(L"Shortcuts", L"F2"));
    EXPECT_EQ(L"CD", Value(L"Shortcuts", L"CA+G"));
    EXPECT_EQ(1, FfTestCountOf(FfTestIniText(ini), L"CA+G_params=" + std::wstring(kQuotedFolder) + L"\r\n"));

    std::wstring log = Log();
    EXPECT_EQ(1, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts: removed stale CA+F=CD / CA+F_params=\\\\\\Fleetfinder\\ from "
                                         + ini + L" (OK/OK) - superseded by CA+G."));
    EXPECT_EQ(1, FfTestCountOf(log, L"removed stale CA+H=CD / CA+H_params=\\\\\\Fleetfinder\\ from"));
    EXPECT_EQ(1, FfTestCountOf(log, L"removed stale CA+J=CD / CA+J_params=\\\\\\FLEETFINDER\\ from"));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts: CA+K=CD has params=\\\\\\Other\\ (expected "
                                    L"\\\\\\Fleetfinder\\) - not ours, leaving as-is."));
    EXPECT_EQ(1, FfTestCountOf(log, L"CA+N=CD has params= (expected"));
    EXPECT_EQ(1, FfTestCountOf(log, L"CA+P=CD has params=\\\\\\Fleetfinder\\sub\\ (expected"));
    EXPECT_EQ(1, FfTestCountOf(log, L"CA+Q=CD has params=\" (expected"));
    EXPECT_EQ(3, FfTestCountOf(log, L"removed stale"));
    EXPECT_EQ(4, FfTestCountOf(log, L"not ours"));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterHotkeyShortcut: OK writing CA+G=CD and CA+G_params="));
}

// The walk must not judge a binding by a line that the section read cut short: "CDOPEN" cut to
// "CD" would otherwise delete a user's binding. Shift the cut across the line's end.
TEST_F(SelfRegister, CutSectionReadNeverDeletesAUserBinding)
{
    g_settings.hotkeyLetter = L'G';
    for (int shift = 0; shift < 14; ++shift) {
        SCOPED_TRACE(shift);
        std::string text = "[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n";
        // Entries come back as "key=value\0": CA+F and its params take 8 + 30 characters.
        int used = 8 + 30;
        int target = FF_SHORTCUTS_SECTION_MAX - 9 - shift;  // where "CA+Z=CDOPEN" starts
        for (int i = 0; used < target; ++i) {
            int room = target - used;
            // "Kxxxx=" and the terminator take 7; the last filler takes up exactly what is left.
            int valueLen = room >= 107 + 8 ? 100 : room - 7;
            char key[16];
            snprintf(key, sizeof(key), "K%04d", i);
            text += std::string(key) + "=" + std::string(valueLen, 'v') + "\r\n";
            used += 5 + 1 + valueLen + 1;
        }
        text += "CA+Z=CDOPEN\r\nCA+Z_params=\"\\\\\\Fleetfinder\\\"\r\n";
        WriteIni(text.c_str());
        FfSelfRegisterHotkeyShortcut();
        EXPECT_EQ(L"CDOPEN", Value(L"Shortcuts", L"CA+Z"));
        EXPECT_EQ(L"\\\\\\Fleetfinder\\", Value(L"Shortcuts", L"CA+Z_params"));  // reader drops the quotes
        EXPECT_EQ(L"", Value(L"Shortcuts", L"CA+F"));  // the whole stale pair near the top still goes
        EXPECT_EQ(L"CD", Value(L"Shortcuts", L"CA+G"));
    }
}

TEST_F(SelfRegister, RedirectedShortcutsLiveInTheirOwnFile)
{
    WriteIni("[Configuration]\r\nLanguage=eng\r\n[Shortcuts]\r\nRedirectSection=keys.ini\r\nCA+X=cm_Exit\r\n");
    std::wstring keys = dir + L"\\keys.ini";
    ASSERT_TRUE(FfTestWriteBytes(keys, "[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"));
    g_settings.hotkeyLetter = L'G';
    FfSelfRegisterHotkeyShortcut();

    EXPECT_EQ(L"", FfTestIniValue(keys, L"Shortcuts", L"CA+F"));
    EXPECT_EQ(L"", FfTestIniValue(keys, L"Shortcuts", L"CA+F_params"));
    EXPECT_EQ(L"CD", FfTestIniValue(keys, L"Shortcuts", L"CA+G"));
    EXPECT_EQ(1, FfTestCountOf(FfTestIniText(keys), L"CA+G_params=" + std::wstring(kQuotedFolder)));
    EXPECT_EQ(L"", Value(L"Shortcuts", L"CA+G"));
    EXPECT_EQ(L"cm_Exit", Value(L"Shortcuts", L"CA+X"));
    EXPECT_EQ(1, FfTestCountOf(Log(), L"to " + keys + L". Restart"));

    // A binding of the new letter in the redirected file is respected.
    ASSERT_TRUE(FfTestWriteBytes(keys, "[Shortcuts]\r\nCA+G=cm_Mine\r\n"));
    FfSelfRegisterHotkeyShortcut();
    EXPECT_EQ(L"cm_Mine", FfTestIniValue(keys, L"Shortcuts", L"CA+G"));
    EXPECT_EQ(L"", FfTestIniValue(keys, L"Shortcuts", L"CA+G_params"));
}

TEST_F(SelfRegister, PluginAndColumnsFollowTheirRedirects)
{
    WriteIni("[FileSystemPlugins]\r\nRedirectSection=plugins.ini\r\n"
             "[CustomFields_Fleetfinder]\r\nRedirectSection=columns.ini\r\n");
    RunAllSteps();
    EXPECT_EQ(ModulePath(), FfTestIniValue(dir + L"\\plugins.ini", L"FileSystemPlugins", L"Fleetfinder"));
    EXPECT_EQ(L"[=<fs>.Path]", FfTestIniValue(dir + L"\\columns.ini", kColumnsSection, L"Contents1"));
    EXPECT_EQ(L"", Value(L"FileSystemPlugins", L"Fleetfinder"));
    EXPECT_EQ(L"", Value(kColumnsSection, L"Contents1"));
}

TEST_F(SelfRegister, NoHostIniSkipsEverything)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Ghisler\\Total Commander", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        bool hasValue = RegQueryValueExW(key, L"IniFileName", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
        if (hasValue)
            GTEST_SKIP() << "the host's registry value is set in this prefix";
    }
    // COMMANDER_INI names a file that does not exist.
    RunAllSteps();
    EXPECT_FALSE(FfTestFileExists(ini));
    std::wstring log = Log();
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterWfxPlugin: could not locate wincmd.ini - skipping self-registration."));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterHotkeyShortcut: could not locate wincmd.ini - skipping self-registration."));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterCustomColumnsView: could not locate wincmd.ini - skipping self-registration."));
    EXPECT_EQ(0, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts"));
}
