// The stand-in host's pure parts: the change-folder record parser and its configuration reading.
#include <gtest/gtest.h>
#include "fftest.h"
#include "host.h"

namespace {

// A literal's bytes, zero bytes inside included.
#define FF_BYTES(literal) std::string(literal, sizeof(literal) - 1)

std::string Record(const std::string& utf8Path)
{
    return "\xEF\xBB\xBF" + utf8Path + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA" + std::string(1, '\0');
}

// Parses bytes placed so that they end exactly at an inaccessible page: any read past the end faults.
bool ParseGuarded(const std::string& bytes, FfHostChangeDir* out)
{
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    size_t page = si.dwPageSize, span = ((bytes.size() + page - 1) / page + 1) * page;
    char* base = (char*)VirtualAlloc(nullptr, span + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old;
    VirtualProtect(base + span, page, PAGE_NOACCESS, &old);
    char* data = base + span - bytes.size();
    memcpy(data, bytes.data(), bytes.size());
    bool parsed = FfHostParseChangeDir(data, bytes.size(), out);
    VirtualFree(base, 0, MEM_RELEASE);
    return parsed;
}

}  // namespace

TEST(ChangeDirRecord, RecordsAreReadWithinTheirBytes)
{
    struct Case {
        const char* label;
        std::string bytes;
        bool parsed;
        std::wstring path, second;
        std::string letters;
    } cases[] = {
        // 20 bytes of path: the 31-byte record the plug-in sends.
        { "twenty bytes", Record("C:\\Folder\\file12.txt"), true, L"C:\\Folder\\file12.txt", L"", "SA" },
        { "outside ASCII", Record("C:\\\xC3\x9Cn\xC3\xAF \xE6\x97\xA5\xE6\x9C\xAC"), true, L"C:\\\u00DCn\u00EF \u65E5\u672C", L"", "SA" },
        { "second path", FF_BYTES("\xEF\xBB\xBF" "C:\\a\r\xEF\xBB\xBF" "D:\\b\0ST\0"), true, L"C:\\a", L"D:\\b", "ST" },
        { "no byte-order mark", FF_BYTES("C:\\plain\0"), true, L"C:\\plain", L"", "" },
        { "no terminator at all", "\xEF\xBB\xBF" "C:\\cut", true, L"C:\\cut", L"", "" },
        { "letters without terminator", FF_BYTES("\xEF\xBB\xBF" "C:\\x\r\xEF\xBB\xBF\0SAXYZWVUTS"), true, L"C:\\x", L"", "SAXYZWVU" },
        { "empty", "", false },
        { "only a byte-order mark", "\xEF\xBB\xBF", false },
        { "empty first path", FF_BYTES("\xEF\xBB\xBF\r\xEF\xBB\xBF" "C:\\\0SA\0"), false },
        { "zero first", FF_BYTES("\0C:\\x"), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FfHostChangeDir out;
        ASSERT_EQ(ParseGuarded(c.bytes, &out), c.parsed);
        if (!c.parsed) continue;
        EXPECT_EQ(out.path, c.path);
        EXPECT_EQ(out.second, c.second);
        EXPECT_EQ(out.letters, c.letters);
    }
    FfHostChangeDir out;
    EXPECT_FALSE(FfHostParseChangeDir(nullptr, 40, &out));
    // Every cut of a record stays inside its bytes.
    std::string full = FF_BYTES("\xEF\xBB\xBF" "C:\\\xC3\x9C\xE6\x97\xA5\r\xEF\xBB\xBF" "D:\\\0SA\0");
    for (size_t size = 0; size <= full.size(); ++size) {
        FfHostChangeDir cut;
        bool parsed = ParseGuarded(full.substr(0, size), &cut);
        EXPECT_EQ(parsed, !cut.path.empty()) << size;
        EXPECT_LE(cut.path.size(), 5u) << size;
    }
}

TEST(VirtualPath, SplitsRootAndPluginPath)
{
    struct Case { const wchar_t* path; bool isVirtual; const wchar_t* root; const wchar_t* pluginPath; } cases[] = {
        { L"\\\\\\Fleetfinder", true, L"Fleetfinder", L"\\" },
        { L"\\\\\\Fleetfinder\\", true, L"Fleetfinder", L"\\" },
        { L"\\\\\\Fleetfinder\\a.txt", true, L"Fleetfinder", L"\\a.txt" },
        { L"\\\\\\Fleetfinder\\dir\\sub\\\\", true, L"Fleetfinder", L"\\dir\\sub" },
        { L"C:\\Work", false, L"", L"" },
        { L"\\\\server\\share", false, L"", L"" },
        { L"\\\\\\\\x", false, L"", L"" },
        { L"\\\\\\", false, L"", L"" },
    };
    for (const auto& c : cases) {
        std::wstring root, pluginPath;
        EXPECT_EQ(FfHostSplitVirtualPath(c.path, &root, &pluginPath), c.isVirtual) << c.path;
        if (!c.isVirtual) continue;
        EXPECT_EQ(root, c.root) << c.path;
        EXPECT_EQ(pluginPath, c.pluginPath) << c.path;
    }
}

class HostConfig : public ::testing::Test {
protected:
    std::wstring dir = FfTestMakeTempDir(L"hostconfig");
    std::wstring ini = dir + L"\\wincmd.ini";
    void SetUp() override
    {
        SetEnvironmentVariableW(L"COMMANDER_INI", nullptr);
        SetEnvironmentVariableW(L"COMMANDER_PATH", nullptr);
        SetEnvironmentVariableW(L"APPDATA", dir.c_str());  // holds no GHISLER folder
    }
    void Write(const std::wstring& file, const std::string& text) { ASSERT_TRUE(FfTestWriteBytes(file, text)); }
    FfHostConfig Load()
    {
        SetEnvironmentVariableW(L"COMMANDER_INI", ini.c_str());
        FfHostConfig config;
        FfHostLoadConfig(&config);
        return config;
    }
};

TEST_F(HostConfig, FindsTheIniInTheDocumentedOrder)
{
    Write(ini, "[Configuration]\r\n");
    std::wstring other = FfTestMakeTempDir(L"hostconfig_other");
    Write(other + L"\\wincmd.ini", "[Configuration]\r\n");
    EXPECT_EQ(FfHostFindIni(), L"");
    SetEnvironmentVariableW(L"COMMANDER_PATH", other.c_str());
    EXPECT_EQ(FfHostFindIni(), other + L"\\wincmd.ini");
    SetEnvironmentVariableW(L"COMMANDER_INI", (dir + L"\\missing.ini").c_str());
    EXPECT_EQ(FfHostFindIni(), other + L"\\wincmd.ini") << "a missing COMMANDER_INI is skipped";
    SetEnvironmentVariableW(L"COMMANDER_INI", ini.c_str());
    EXPECT_EQ(FfHostFindIni(), ini);
}

TEST_F(HostConfig, ReadsPluginsShortcutsAndTheColumnView)
{
    Write(ini,
          "[FileSystemPlugins]\r\nFleetfinder=C:\\p\\Fleetfinder.wdx64\r\n"
          "[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\nCA+G=cm_Exit\r\nCA+H=cd\r\nCA+H_params=C:\\Work\r\n"
          "CA+J=CD\r\n"
          "[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nHeaders1=Path\r\nContents1=[=<fs>.Path]\r\n"
          "[CustomFields_Two]\r\nHeaders1=Other\\nPath\r\nContents1=[=plain.Size]\\n[=<fs>.Path]\r\n");
    FfHostConfig config = Load();
    EXPECT_EQ(config.iniPath, ini);
    EXPECT_EQ(FfHostPluginLibrary(config, L"fleetFINDER"), L"C:\\p\\Fleetfinder.wdx64");
    EXPECT_EQ(FfHostPluginLibrary(config, L"Other"), L"");

    struct Case {
        wchar_t letter;
        const wchar_t* folder;  // null: no change-of-folder binding
    } cases[] = {
        { L'F', L"\\\\\\Fleetfinder\\" },  // quotes removed
        { L'G', nullptr },                  // not a change of folder
        { L'H', L"C:\\Work" },              // command in another case, parameter unquoted
        { L'J', nullptr },                  // no parameter
        { L'K', nullptr },                  // not bound
    };
    for (const auto& c : cases) {
        std::wstring folder;
        EXPECT_EQ(FfHostShortcutFolder(config, c.letter, &folder), c.folder != nullptr) << c.letter;
        if (c.folder) { EXPECT_EQ(folder, c.folder) << c.letter; }
    }

    auto columns = FfHostLoadColumns(config, L"Fleetfinder");
    ASSERT_EQ(columns.size(), 1u);
    EXPECT_EQ(columns[0].header, L"Path");
    EXPECT_EQ(columns[0].field, L"Path");
    columns = FfHostLoadColumns(config, L"Two");
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns[0].field, L"") << "not a field of the file-system plug-in";
    EXPECT_EQ(columns[1].header, L"Path");
    EXPECT_EQ(columns[1].field, L"Path");
    EXPECT_TRUE(FfHostLoadColumns(config, L"None").empty());
}

TEST_F(HostConfig, FollowsASectionRedirect)
{
    Write(ini, "[Shortcuts]\r\nRedirectSection=user.ini\r\nCA+F=cm_Exit\r\n"
               "[FileSystemPlugins]\r\nRedirectSection=1\r\n"
               "[Configuration]\r\nAlternateUserIni=%FF_HOSTCFG_DIR%\\alt.ini\r\n");
    Write(dir + L"\\user.ini", "[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=C:\\Redirected\r\n");
    Write(dir + L"\\alt.ini", "[FileSystemPlugins]\r\nFleetfinder=C:\\alt\\ff.wdx64\r\n");
    SetEnvironmentVariableW(L"FF_HOSTCFG_DIR", dir.c_str());
    FfHostConfig config = Load();
    std::wstring folder;
    EXPECT_TRUE(FfHostShortcutFolder(config, L'F', &folder));
    EXPECT_EQ(folder, L"C:\\Redirected");
    EXPECT_EQ(FfHostPluginLibrary(config, L"Fleetfinder"), L"C:\\alt\\ff.wdx64");
}
