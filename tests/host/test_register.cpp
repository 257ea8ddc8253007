// Self-registration on real ini files: entries written once, stale hotkey pairs pruned, user data kept.
#include <gtest/gtest.h>

#include "core/core.h"
#include "host/host.h"
#include "host_fixture.h"

namespace {

const std::wstring kQuoted = L"\"\\\\\\Fleetfinder\\\"";
const wchar_t kColumns[] = L"CustomFields_Fleetfinder";

class SelfRegister : public testing::Test {
protected:
    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"register");
        ini = dir + L"\\wincmd.ini";
        env.reset(new FfTestHostEnv(ini));
        logPath = dir + L"\\Fleetfinder.log";
        wcscpy_s(g_logPath, logPath.c_str());
        g_settings.loggingEnabled = 1;
        g_settings.hotkeyLetter = L'F';
    }
    void TearDown() override
    {
        g_logPath[0] = 0;
        g_settings.hotkeyLetter = L'F';
        env.reset();
    }
    void Write(const char* text, const wchar_t* name = L"wincmd.ini")
    {
        ASSERT_TRUE(FfTestWriteBytes(dir + L"\\" + name, text));
    }
    static void RunAllSteps()
    {
        FfSelfRegisterWfxPlugin();
        FfSelfRegisterHotkeyShortcut();
        FfSelfRegisterCustomColumnsView();
    }
    std::wstring TakeLog()
    {
        std::wstring log = FfTestWide(FfTestReadBytes(logPath));
        DeleteFileW(logPath.c_str());
        return log;
    }
    std::wstring Value(const wchar_t* section, const wchar_t* key, const wchar_t* name = L"wincmd.ini")
    {
        return FfTestIniValue(dir + L"\\" + name, section, key);
    }
    std::wstring dir, ini, logPath;
    std::unique_ptr<FfTestHostEnv> env;
};

std::wstring ModulePath()
{
    wchar_t path[1024];
    GetModuleFileNameW(nullptr, path, 1024);
    return path;
}

}  // namespace

TEST_F(SelfRegister, FreshIniThenSecondStart)
{
    Write("[Configuration]\r\nLanguage=eng\r\n");
    RunAllSteps();
    std::wstring text = FfTestIniText(ini);
    EXPECT_EQ(1, FfTestCountOf(text, L"[FileSystemPlugins]\r\nFleetfinder=" + ModulePath() + L"\r\n"));
    EXPECT_EQ(1, FfTestCountOf(text, L"[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=" + kQuoted + L"\r\n"));
    EXPECT_EQ(1, FfTestCountOf(text, L"[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nAutoLoad=1\r\n"
                                     L"Widths1=80,30,397\r\nHeaders1=Path\r\nContents1=[=<fs>.Path]\r\nOptions1=-1|1|96\r\n"));
    std::wstring log = TakeLog();
    EXPECT_EQ(3, FfTestCountOf(log, L": OK writing "));
    EXPECT_EQ(1, FfTestCountOf(log, L"] FfSelfRegisterWfxPlugin: OK writing [FileSystemPlugins] Fleetfinder=" + ModulePath()
                                        + L" to " + ini + L". Restart Total Commander for this to be picked up"));
    EXPECT_EQ(1, FfTestCountOf(log, L"] FfPruneStaleHotkeyShortcuts: [Shortcuts] section empty or unreadable in " + ini
                                        + L" - nothing to prune.\r\n"));

    // The next start finds everything in place and changes not a byte.
    std::string first = FfTestReadBytes(ini);
    RunAllSteps();
    EXPECT_EQ(first, FfTestReadBytes(ini));
    log = TakeLog();
    EXPECT_EQ(0, FfTestCountOf(log, L" writing "));
    EXPECT_EQ(0, FfTestCountOf(log, L"removed stale"));  // the current key's own pair stays
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterWfxPlugin: already registered in " + ini + L" as \"" + ModulePath()
                                        + L"\" - leaving as-is.\r\n"));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterCustomColumnsView: [CustomFields_Fleetfinder] Contents1 already "
                                    L"set ([=<fs>.Path]) in " + ini + L" - leaving as-is.\r\n"));
}

TEST_F(SelfRegister, EntriesOfOthersAreLeft)
{
    Write("[FileSystemPlugins]\r\nFleetfinder=D:\\old\\Fleetfinder.wdx\r\n[Shortcuts]\r\nCA+F=cm_SrcQuickView\r\n"
          "[CustomFields_Fleetfinder]\r\nContents1=[=tc.size]\r\n");
    std::string before = FfTestReadBytes(ini);
    RunAllSteps();
    EXPECT_EQ(before, FfTestReadBytes(ini));  // in particular no CA+F_params
    std::wstring log = TakeLog();
    EXPECT_EQ(1, FfTestCountOf(log, L"already registered in " + ini + L" as \"D:\\old\\Fleetfinder.wdx\""));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterHotkeyShortcut: CA+F is already bound to \"cm_SrcQuickView\" in " + ini
                                        + L" - leaving as-is (not overwriting a possibly user-assigned shortcut).\r\n"));
    EXPECT_EQ(1, FfTestCountOf(log, L"Contents1 already set ([=tc.size])"));
}

// Hotkey changed to G: only this plug-in's exact single-key Ctrl+Alt pairs to other letters go.
TEST_F(SelfRegister, HotkeyChangePrunesOnlyOurStalePairs)
{
    Write("[Shortcuts]\r\nC+1=cm_GoToDrive\r\n"
          "CA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"       // quoted: ours
          "CA+H=cd\r\nCA+H_params=\\\\\\Fleetfinder\\\r\n"           // unquoted, value in other case
          "CA+J=CD\r\nCA+J_params=\"\\\\\\FLEETFINDER\\\"\r\n"       // other letter case
          "CA+K=CD\r\nCA+K_params=\"\\\\\\Other\\\"\r\n"             // another plug-in's folder
          "CA+L=cm_Copy\r\nCA+L_params=\"\\\\\\Fleetfinder\\\"\r\n"  // not a change of folder
          "CSA+F=CD\r\nCSA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"     // other modifiers
          "CA+F1=CD\r\nCA+F1_params=\"\\\\\\Fleetfinder\\\"\r\n"     // longer key
          "ca+M=CD\r\nca+M_params=\"\\\\\\Fleetfinder\\\"\r\n"       // prefix not in capitals
          "CA+N=CD\r\n"                                              // no parameter
          "CA+Q=CD\r\nCA+Q_params=\"\r\n");                          // a lone quote
    g_settings.hotkeyLetter = L'G';
    FfSelfRegisterHotkeyShortcut();
    std::wstring text = FfTestIniText(ini);
    for (const wchar_t* key : {L"CA+F", L"CA+H", L"CA+J"})
        EXPECT_EQ(0, FfTestCountOf(text, L"\n" + std::wstring(key) + L"=")) << FfTestUtf8(key);
    for (const wchar_t* key : {L"C+1", L"CA+K", L"CA+L", L"CSA+F", L"CA+F1", L"ca+M", L"CA+N", L"CA+Q"})
        EXPECT_EQ(1, FfTestCountOf(text, L"\n" + std::wstring(key) + L"=")) << FfTestUtf8(key);
    EXPECT_EQ(7, FfTestCountOf(text, L"_params="));
    EXPECT_EQ(1, FfTestCountOf(text, L"\nCA+G=CD\r\nCA+G_params=" + kQuoted + L"\r\n"));

    std::wstring log = TakeLog();
    EXPECT_EQ(1, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts: removed stale CA+F=CD / CA+F_params=\\\\\\Fleetfinder\\ from "
                                        + ini + L" (OK/OK) - superseded by CA+G.\r\n"));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts: CA+K=CD has params=\\\\\\Other\\ (expected "
                                    L"\\\\\\Fleetfinder\\) - not ours, leaving as-is.\r\n"));
    EXPECT_EQ(3, FfTestCountOf(log, L"not ours"));
    EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterHotkeyShortcut: OK writing CA+G=CD"));
}

// A section too long for the read buffer comes back with its last line cut: "CDOPEN" cut to "CD"
// must not make a user's binding look like ours. The cut is moved across that line.
TEST_F(SelfRegister, CutSectionReadNeverDeletesAUserBinding)
{
    g_settings.hotkeyLetter = L'G';
    for (int shift = 0; shift < 14; ++shift) {
        std::string text = "[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n";
        int used = 8 + 30;  // those two as "key=value\0"
        int target = FF_SHORTCUTS_SECTION_MAX - 9 - shift;  // where "CA+Z=CDOPEN" starts
        for (int i = 0; used < target; ++i) {
            int room = target - used;
            int valueLen = room >= 107 + 8 ? 100 : room - 7;  // "Knnnn=", value, terminator
            text += "K" + std::to_string(10000 + i).substr(1) + "=" + std::string(valueLen, 'v') + "\r\n";
            used += valueLen + 7;
        }
        Write((text + "CA+Z=CDOPEN\r\nCA+Z_params=\"\\\\\\Fleetfinder\\\"\r\n").c_str());
        FfSelfRegisterHotkeyShortcut();
        EXPECT_EQ(L"CDOPEN", Value(L"Shortcuts", L"CA+Z")) << shift;
        EXPECT_NE(L"", Value(L"Shortcuts", L"CA+Z_params")) << shift;
        EXPECT_EQ(L"", Value(L"Shortcuts", L"CA+F")) << shift;  // whole lines are still judged
    }
}

TEST_F(SelfRegister, RedirectedSectionsLiveInTheirOwnFiles)
{
    Write("[FileSystemPlugins]\r\nRedirectSection=plugins.ini\r\n[Shortcuts]\r\nRedirectSection=keys.ini\r\nCA+X=cm_Exit\r\n"
          "[CustomFields_Fleetfinder]\r\nRedirectSection=columns.ini\r\n");
    Write("[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n", L"keys.ini");
    g_settings.hotkeyLetter = L'G';
    RunAllSteps();
    EXPECT_EQ(ModulePath(), Value(L"FileSystemPlugins", L"Fleetfinder", L"plugins.ini"));
    EXPECT_EQ(L"[=<fs>.Path]", Value(kColumns, L"Contents1", L"columns.ini"));
    EXPECT_EQ(L"", Value(L"Shortcuts", L"CA+F", L"keys.ini"));
    EXPECT_EQ(L"CD", Value(L"Shortcuts", L"CA+G", L"keys.ini"));
    EXPECT_EQ(1, FfTestCountOf(FfTestIniText(dir + L"\\keys.ini"), L"CA+G_params=" + kQuoted));
    std::wstring text = FfTestIniText(ini);
    EXPECT_EQ(0, FfTestCountOf(text, L"Fleetfinder="));
    EXPECT_EQ(0, FfTestCountOf(text, L"CA+G"));
    EXPECT_EQ(0, FfTestCountOf(text, L"Contents1"));
    EXPECT_EQ(1, FfTestCountOf(TakeLog(), L"removed stale CA+F=CD / CA+F_params=\\\\\\Fleetfinder\\ from " + dir + L"\\keys.ini"));

    // A binding of the new letter in the redirected file is respected.
    Write("[Shortcuts]\r\nCA+G=cm_Mine\r\n", L"keys.ini");
    FfSelfRegisterHotkeyShortcut();
    EXPECT_EQ(L"cm_Mine", Value(L"Shortcuts", L"CA+G", L"keys.ini"));
    EXPECT_EQ(L"", Value(L"Shortcuts", L"CA+G_params", L"keys.ini"));
}

TEST_F(SelfRegister, NoHostIniSkipsEverything)
{
    wchar_t found[FF_INI_PATH_MAX];
    if (FfFindWincmdIni(found, FF_INI_PATH_MAX))
        GTEST_SKIP() << "the host's registry value names an ini in this prefix";
    RunAllSteps();
    EXPECT_FALSE(FfTestFileExists(ini));
    std::wstring log = TakeLog();
    for (const wchar_t* step : {L"FfSelfRegisterWfxPlugin", L"FfSelfRegisterHotkeyShortcut", L"FfSelfRegisterCustomColumnsView"})
        EXPECT_EQ(1, FfTestCountOf(log, std::wstring(step) + L": could not locate wincmd.ini - skipping self-registration.\r\n"));
    EXPECT_EQ(0, FfTestCountOf(log, L"FfPruneStaleHotkeyShortcuts"));
}

// What the library's path becomes in an ini of each encoding. "Ł" lacks in code page 1252 and
// has its place in 1250; a short form equal to the long path is a volume without short names.
TEST(RegisteredPath, ChosenForTheFileItGoesInto)
{
    const wchar_t* const polish = L"C:\\Plug-ins \u0141\u03B1\\Fleetfinder.wdx";
    const wchar_t* const japanese = L"C:\\\u65E5\u672C\\Fleetfinder.wdx";
    const wchar_t* const shortForm = L"C:\\PLUG-I~1\\FLEETF~1.WDX";
    const wchar_t* const lone = L"C:\\x\xD800y\\Fleetfinder.wdx";  // a name the file system allows
    struct Row {
        const wchar_t* path;
        const wchar_t* shortPath;
        FfIniEncoding encoding;
        UINT codePage;
        int cap;
        const wchar_t* expected;  // null: nothing to write
    } rows[] = {
        {L"C:\\TC\\Fleetfinder.wdx", L"C:\\TC\\FLEETF~1.WDX", FF_INI_ANSI, 1252, 64, L"C:\\TC\\Fleetfinder.wdx"},
        {L"C:\\\u0141\u00F3d\u017A\\F.wdx", nullptr, FF_INI_ANSI, 1250, 64, L"C:\\\u0141\u00F3d\u017A\\F.wdx"},
        {polish, shortForm, FF_INI_ANSI, 1252, 64, shortForm},
        {polish, L"", FF_INI_ANSI, 1252, 64, nullptr},
        {polish, polish, FF_INI_ANSI, 1252, 64, nullptr},
        {polish, L"C:\\\u0141\u03B1~1\\FLEETF~1.WDX", FF_INI_ANSI, 1252, 64, nullptr},  // short, still not ANSI
        {japanese, nullptr, FF_INI_ANSI, CP_UTF8, 64, japanese},  // a system whose ANSI is UTF-8
        {japanese, nullptr, FF_INI_UTF16, 1252, 64, japanese},
        {L"C:\\\U0001F334\\F.wdx", nullptr, FF_INI_UTF8, 1252, 64, L"C:\\\U0001F334\\F.wdx"},
        {lone, L"C:\\XY~1\\FLEETF~1.WDX", FF_INI_UTF8, 1252, 64, L"C:\\XY~1\\FLEETF~1.WDX"},
        {polish, shortForm, FF_INI_ANSI, 1252, 25, shortForm},
        {polish, shortForm, FF_INI_ANSI, 1252, 24, nullptr},  // a cut path names another file
    };
    int index = 0;
    for (const Row& row : rows) {
        wchar_t out[64];
        bool chosen = FfChooseRegisteredPath(row.path, row.shortPath, row.encoding, row.codePage, out, row.cap);
        EXPECT_EQ(row.expected != nullptr, chosen) << "row " << index;
        EXPECT_EQ(std::wstring(row.expected ? row.expected : L""), out) << "row " << index;
        ++index;
    }
}

TEST(RegisteredPath, EncodingByByteOrderMark)
{
    std::wstring dir = FfTestMakeTempDir(L"encoding");
    struct Row {
        std::string bytes;
        FfIniEncoding expected;
    } rows[] = {
        {"[A]\r\nx=1\r\n", FF_INI_ANSI},
        {std::string("\xFF\xFE[\0A\0]\0", 8), FF_INI_UTF16},
        {std::string("\xFE\xFF\0[\0A\0]", 8), FF_INI_UTF16},
        {"\xEF\xBB\xBF[A]\r\n", FF_INI_UTF8},
        {"\xEF\xBB", FF_INI_ANSI},
    };
    int index = 0;
    for (const Row& row : rows) {
        std::wstring file = dir + L"\\" + std::to_wstring(index) + L".ini";
        ASSERT_TRUE(FfTestWriteBytes(file, row.bytes));
        EXPECT_EQ(row.expected, FfDetectIniEncoding(file.c_str())) << "row " << index;
        ++index;
    }
    EXPECT_EQ(FF_INI_ANSI, FfDetectIniEncoding((dir + L"\\missing.ini").c_str()));  // created as ANSI
}

// The library installed in a folder named outside ASCII, registered into an ANSI, a UTF-8 and a
// UTF-16 ini: each holds a path that names the library when the host reads it back.
TEST_F(SelfRegister, LibraryPathOutsideAsciiReadsBackAsTheLibrary)
{
    const wchar_t* dllName = sizeof(void*) == 8 ? L"Fleetfinder.wdx64" : L"Fleetfinder.wdx";
    std::wstring folder = dir + L"\\Plug-ins \u0141\u03B1\u65E5";
    std::wstring library = folder + L"\\" + dllName;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(FfTestBinPath(dllName).c_str(), library.c_str(), FALSE));
    // Mapped without its start-up running: only its file name is wanted here.
    HMODULE module = LoadLibraryExW(library.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(nullptr, module);
    g_moduleHandle = module;
    wchar_t shortPath[1024] = {};
    DWORD shortGot = GetShortPathNameW(library.c_str(), shortPath, 1024);
    bool hasShort = shortGot > 0 && shortGot < 1024 && FfTextFitsCodePage(shortPath, GetACP());

    const std::wstring head = L"[Configuration]\r\nLanguage=eng\r\n";
    struct Row {
        std::string bytes;
        FfIniEncoding encoding;
    } rows[] = {
        {FfTestUtf8(head), FF_INI_ANSI},
        {"\xEF\xBB\xBF" + FfTestUtf8(head), FF_INI_UTF8},
        {std::string("\xFF\xFE") + std::string((const char*)head.c_str(), head.size() * 2), FF_INI_UTF16},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(FfTestWriteBytes(ini, row.bytes));
        FfSelfRegisterWfxPlugin();
        EXPECT_EQ(row.encoding, FfDetectIniEncoding(ini.c_str()));
        std::wstring value = Value(L"FileSystemPlugins", L"Fleetfinder");
        std::wstring log = TakeLog();
        if (row.encoding != FF_INI_ANSI) {
            EXPECT_EQ(library, value) << row.encoding;
        } else if (hasShort) {
            // The host reads an ANSI file with the ANSI functions.
            char narrow[1024] = {};
            GetPrivateProfileStringA("FileSystemPlugins", "Fleetfinder", "", narrow, 1024, FfTestUtf8(ini).c_str());
            EXPECT_EQ(FfTestUtf8(shortPath), narrow);
            wchar_t longPath[1024] = {};
            GetLongPathNameW(value.c_str(), longPath, 1024);
            EXPECT_EQ(library, longPath);
            EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterWfxPlugin: OK writing [FileSystemPlugins] Fleetfinder="
                                                + std::wstring(shortPath) + L" to "));
        } else {
            EXPECT_EQ(L"", value);
            EXPECT_EQ(1, FfTestCountOf(log, L"FfSelfRegisterWfxPlugin: the library's path " + library + L" cannot be "
                                                L"written to " + ini + L" (ANSI, code page "));
            EXPECT_EQ(1, FfTestCountOf(log, L"must be registered by hand"));
        }
    }
    g_moduleHandle = nullptr;
    FreeLibrary(module);
}
