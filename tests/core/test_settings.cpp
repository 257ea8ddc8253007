// Settings file: the value rules of every key, the defaults written to a missing file, existing files left alone.
#include <gtest/gtest.h>
#include "fftest.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"
#include <string>
#include <vector>

namespace {

struct TextCase {
    const wchar_t* value;
    int expected;
};

TEST(SettingsValues, HotkeyTakesTheLetterAfterTheLastPlus)
{
    const TextCase cases[] = {
        {L"Ctrl+Alt+F", 'F'},  {L"Ctrl+Alt+g", 'G'}, {L"Ctrl+Shift+K", 'K'}, {L"Ctrl+Alt+", 'F'},
        {L"Ctrl+Alt+1", 'F'},  {L"G", 'F'},          {L"", 'F'},             {L"Ctrl+Alt+zed", 'Z'},
        {L"+a", 'A'},          {L"Ctrl+Alt+\u00E4", 'F'}, {L"Ctrl+Alt+[", 'F'}, {L"Ctrl+Alt+@", 'F'},
    };
    for (const TextCase& c : cases) EXPECT_EQ((wchar_t)c.expected, FfParseHotkeyLetter(c.value)) << c.value;
    EXPECT_EQ(L'F', FfParseHotkeyLetter(nullptr));
}

TEST(SettingsValues, MaxResultsIsClampedToOneThroughFiveHundred)
{
    const int cases[][2] = {{0, 1}, {1, 1}, {-7, 1}, {2, 2}, {200, 200}, {500, 500}, {501, 500}, {0x7FFFFFFF, 500}};
    for (const auto& c : cases) EXPECT_EQ(c[1], FfClampMaxResults(c[0])) << c[0];
}

TEST(SettingsValues, WordsCompareWithoutRegardToCase)
{
    const TextCase positions[] = {{L"Top", 1}, {L"tOP", 1}, {L"Bottom", 0}, {L"Top ", 0}, {L"", 0}};
    for (const TextCase& c : positions) EXPECT_EQ(c.expected, FfParsePosition(c.value)) << c.value;

    const TextCase themes[] = {{L"Auto", 0}, {L"dark", 1}, {L"DARK", 1}, {L"Light", 2},
                               {L"lIGHT", 2}, {L"Darker", 0}, {L"", 0}, {L"1", 0}};
    for (const TextCase& c : themes) EXPECT_EQ(c.expected, FfParseThemeMode(c.value)) << c.value;

    const TextCase yesNo[] = {{L"Y", 1}, {L"y", 1}, {L"Yes", 0}, {L"N", 0}, {L"1", 0}, {L"", 0}, {L" Y", 0}};
    for (const TextCase& c : yesNo) EXPECT_EQ(c.expected, FfParseYesNo(c.value)) << c.value;
}

TEST(SettingsValues, SortOrderNamesMapToTheEngineCodes)
{
    const TextCase cases[] = {
        {L"NameAscending", 1},          {L"namedescending", 2},          {L"PATHASCENDING", 3},
        {L"PathDescending", 4},         {L"SizeAscending", 5},           {L"SizeDescending", 6},
        {L"ExtensionAscending", 7},     {L"ExtensionDescending", 8},     {L"TypeNameAscending", 9},
        {L"TypeNameDescending", 10},    {L"DateCreatedAscending", 11},   {L"DateCreatedDescending", 12},
        {L"DateModifiedAscending", 13}, {L"DateModifiedDescending", 14}, {L"AttributesAscending", 15},
        {L"AttributesDescending", 16},  {L"DateAccessedAscending", 23},  {L"DateAccessedDescending", 24},
        {L"Name", 14},                  {L"", 14},                       {L"NameAscending ", 14},
    };
    for (const TextCase& c : cases) EXPECT_EQ((DWORD)c.expected, FfLookupSortType(c.value)) << c.value;
    // Every code leads back to its own name; the unused codes name nothing.
    for (const FfSortOrderName& row : g_sortOrderNames) EXPECT_STREQ(row.name, FfLookupSortName(row.sortType));
    for (DWORD unused : {0u, 17u, 20u, 22u, 25u}) EXPECT_EQ(nullptr, FfLookupSortName(unused)) << unused;
}

TEST(SettingsValues, PicturesAreRewrittenToThePlatformLetters)
{
    struct Case {
        bool date;
        const wchar_t* in;
        const wchar_t* out;
    };
    const Case cases[] = {
        {true, L"YYYY-mm-DD", L"yyyy-MM-dd"}, {true, L"DD.MM.YYYY", L"dd.MM.yyyy"},
        {true, L"auto", L"auto"},             {true, L"AUTO", L"AUTO"},
        {true, L"", L""},                     {true, L"ddd, d MMM", L"ddd, d MMM"},
        {false, L"hh:MM TT", L"hh:mm tt"},    {false, L"HH:MM:SS", L"HH:mm:ss"},
        {false, L"Auto", L"Auto"},            {false, L"H:mm", L"H:mm"},
        {false, L"", L""},
    };
    for (const Case& c : cases) {
        wchar_t picture[FF_PICTURE_CHARS];
        FfCopyText(picture, FF_PICTURE_CHARS, c.in);
        if (c.date) FfRewriteDatePicture(picture);
        else FfRewriteTimePicture(picture);
        EXPECT_STREQ(c.out, picture) << c.in;
    }
}

// Settings files on disk. Each test works on a fresh file in its own folder.
class SettingsFile : public ::testing::Test {
protected:
    std::wstring dir, cfg;
    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"settings");
        cfg = dir + L"\\Fleetfinder.cfg";
        memset(&g_settings, 0, sizeof g_settings);
        g_settings.loggingEnabled = 1;
        g_logPath[0] = 0;
    }
    void TearDown() override { g_logPath[0] = 0; }

    // (section, key, value) in file order, blank lines skipped.
    static std::vector<std::wstring> Entries(const std::string& bytes)
    {
        std::vector<std::wstring> out;
        std::wstring text = FfTestWide(bytes), section;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find(L'\n', start);
            if (end == std::wstring::npos) end = text.size();
            std::wstring line = text.substr(start, end - start);
            if (!line.empty() && line.back() == L'\r') line.pop_back();
            start = end + 1;
            if (line.empty()) continue;
            if (line[0] == L'[') section = line.substr(1, line.find(L']') - 1);
            else out.push_back(section + L"|" + line);
        }
        return out;
    }
};

TEST_F(SettingsFile, MissingFileIsCreatedWithEveryDefaultInOrder)
{
    FfLoadSettingsFrom(cfg.c_str());

    const std::vector<std::wstring> expected = {
        L"Display|Position=Bottom",        L"Display|Hotkey=Ctrl+Alt+F",
        L"Display|MaxVisibleRows=20",      L"Display|SearchDelayMs=100",
        L"Display|ThemeMode=Auto",         L"Display|DateFormat=Auto",
        L"Display|TimeFormat=Auto",        L"Display|Logging=N",
        L"Everything|MaxResults=200",      L"Everything|EverythingIniPath=Auto",
        L"Everything|EverythingDebug=N",   L"Everything|SortOrder=DateModifiedDescending",
        L"Filters|LastSelectedFilter=",    L"Safety|AllowDelete=N",
    };
    std::string bytes = FfTestReadBytes(cfg);
    EXPECT_EQ(expected, Entries(bytes));
    // Four sections, each once, in this order.
    size_t d = bytes.find("[Display]"), e = bytes.find("[Everything]"), f = bytes.find("[Filters]"),
           s = bytes.find("[Safety]");
    EXPECT_TRUE(d < e && e < f && f < s && s != std::string::npos) << bytes;

    EXPECT_EQ(cfg, g_settings.configPath);
    EXPECT_EQ(L'F', g_settings.hotkeyLetter);
    EXPECT_EQ(14u, g_settings.sortType);
    EXPECT_EQ(0, g_settings.loggingEnabled);

    // Read again: the written file gives the same record (so every default in memory is the one
    // written, whose reading EveryKeyIsParsedByItsRule checks) and stays as it is.
    FfSettings first = g_settings;
    FfLoadSettingsFrom(cfg.c_str());
    EXPECT_EQ(0, memcmp(&first, &g_settings, sizeof first));
    EXPECT_EQ(bytes, FfTestReadBytes(cfg));
}

TEST_F(SettingsFile, EveryKeyIsParsedByItsRule)
{
    std::string longName(200, 'x');
    std::string text =
        "[Display]\r\nPosition=TOP\r\nHotkey=ctrl+alt+q\r\nMaxVisibleRows=7\r\nSearchDelayMs=250\r\n"
        "ThemeMode=light\r\nDateFormat=DD/mm/YYYY\r\nTimeFormat=HH:MM:SS TT\r\nLogging=Yes\r\n"
        "[Everything]\r\nMaxResults=abc\r\nEverythingIniPath=C:\\Tools\\Everything.ini\r\n"
        "EverythingDebug=y\r\nSortOrder=dateaccesseddescending\r\n"
        "[Filters]\r\nLastSelectedFilter=" + longName + "\r\n[Safety]\r\nAllowDelete=Y\r\n";
    ASSERT_TRUE(FfTestWriteBytes(cfg, text));
    FfLoadSettingsFrom(cfg.c_str());
    const FfSettings& st = g_settings;
    EXPECT_EQ(1, st.positionTop);
    EXPECT_EQ(L'Q', st.hotkeyLetter);
    EXPECT_EQ(1, st.maxResults);
    EXPECT_EQ(7, st.maxVisibleRows);
    EXPECT_EQ(250, st.searchDelayMs);
    EXPECT_EQ(FF_THEME_LIGHT, st.themeMode);
    EXPECT_STREQ(L"dd/MM/yyyy", st.dateFormat);
    EXPECT_STREQ(L"HH:mm:ss tt", st.timeFormat);
    EXPECT_EQ(0, st.loggingEnabled);
    EXPECT_STREQ(L"C:\\Tools\\Everything.ini", st.everythingIniPath);
    EXPECT_EQ(1, st.everythingDebug);
    EXPECT_EQ(24u, st.sortType);
    EXPECT_EQ(std::wstring(127, L'x'), st.lastSelectedFilter);
    EXPECT_EQ(1, st.allowDelete);
    EXPECT_EQ(text, FfTestReadBytes(cfg));
}

// Files that exist are read, never completed: missing keys take their defaults in memory only.
TEST_F(SettingsFile, ExistingFilesNumbersOutsideTheirRangeAndEmptyPictures)
{
    struct Case {
        const char* display;
        const char* everything;
        int maxResults, rows, delay;
        wchar_t hotkey;
    };
    const Case cases[] = {
        {"", "", 200, 20, 100, L'F'},
        {"", "MaxResults=501", 500, 20, 100, L'F'},
        {"MaxVisibleRows=0\r\nSearchDelayMs=0", "", 200, 0, 0, L'F'},
        // Negative rows or delay would give a negative list height or a timer of weeks.
        {"MaxVisibleRows=-4\r\nSearchDelayMs=-1", "", 200, 0, 0, L'F'},
        // Text reads as 0; an empty value as the key's default (the platform's integer reading).
        {"MaxVisibleRows=x\r\nSearchDelayMs=", "", 200, 0, 100, L'F'},
        // The whole value is read, however many modifiers precede the letter.
        {"Hotkey=Ctrl+Alt+Shift+Q", "", 200, 20, 100, L'Q'},
    };
    for (const Case& c : cases) {
        std::string text = std::string("[Display]\r\n") + c.display + "\r\nDateFormat=\r\nTimeFormat=\r\n"
                           "[Everything]\r\n" + c.everything + "\r\n";
        ASSERT_TRUE(FfTestWriteBytes(cfg, text));
        FfLoadSettingsFrom(cfg.c_str());
        EXPECT_EQ(c.maxResults, g_settings.maxResults) << c.everything;
        EXPECT_EQ(c.rows, g_settings.maxVisibleRows) << c.display;
        EXPECT_EQ(c.delay, g_settings.searchDelayMs) << c.display;
        EXPECT_EQ(c.hotkey, g_settings.hotkeyLetter) << c.display;
        EXPECT_STREQ(L"", g_settings.dateFormat);
        EXPECT_STREQ(L"", g_settings.timeFormat);
        EXPECT_EQ(14u, g_settings.sortType);
        EXPECT_EQ(text, FfTestReadBytes(cfg));
    }
    // An empty file is a file too.
    ASSERT_TRUE(FfTestWriteBytes(cfg, ""));
    FfLoadSettingsFrom(cfg.c_str());
    EXPECT_EQ("", FfTestReadBytes(cfg));
    EXPECT_EQ(L'F', g_settings.hotkeyLetter);
}

TEST_F(SettingsFile, SummaryLineNamesEveryLoadedValue)
{
    ASSERT_TRUE(FfTestWriteBytes(cfg, "[Display]\r\nLogging=Y\r\nHotkey=Ctrl+Alt+J\r\nPosition=Top\r\n"
                                      "[Safety]\r\nAllowDelete=Y\r\n[Everything]\r\nSortOrder=SizeAscending\r\n"));
    std::wstring log = dir + L"\\Fleetfinder.log";
    FfCopyText(g_logPath, FF_PATH_CHARS, log.c_str());
    FfLoadSettingsFrom(cfg.c_str());
    FfLogSettingsSummary();
    std::string bytes = FfTestReadBytes(log);
    std::string expected = "] Config loaded from " + FfTestUtf8(cfg) +
                           ": Position=1 Hotkey=Ctrl+Alt+J MaxResults=200 MaxVisibleRows=20 SearchDelayMs=100 "
                           "EverythingDebug=0 SortType=5 AllowDelete=1\r\n";
    EXPECT_NE(std::string::npos, bytes.find(expected)) << bytes;

    // With Logging N the summary is not written.
    ASSERT_TRUE(FfTestWriteBytes(cfg, "[Display]\r\nLogging=N\r\n"));
    FfLoadSettingsFrom(cfg.c_str());
    FfLogSettingsSummary();
    EXPECT_EQ(bytes, FfTestReadBytes(log));
}

TEST_F(SettingsFile, LastSelectedFilterIsRememberedInFullOnDisk)
{
    ASSERT_TRUE(FfTestWriteBytes(cfg, "[Filters]\r\nLastSelectedFilter=Audio\r\n"));
    FfLoadSettingsFrom(cfg.c_str());
    std::wstring longName = L"Video " + std::wstring(150, L'v');
    g_filterCount = 3;
    FfCopyText(g_filters[0].name, FF_FILTER_NAME_MAX, L"<All Files>");
    FfCopyText(g_filters[1].name, FF_FILTER_NAME_MAX, L"Audio");
    FfCopyText(g_filters[2].name, FF_FILTER_NAME_MAX, longName.c_str());

    g_selectedFilter = 2;
    FfSaveLastSelectedFilter();
    EXPECT_EQ(longName.substr(0, 127), g_settings.lastSelectedFilter);
    wchar_t onDisk[512];
    GetPrivateProfileStringW(L"Filters", L"LastSelectedFilter", L"", onDisk, 512, cfg.c_str());
    EXPECT_EQ(std::wstring(g_filters[2].name), onDisk);

    // A selection outside the catalogue names nothing: memory and file keep the last name.
    std::string before = FfTestReadBytes(cfg);
    for (int bad : {-1, 3, FF_FILTERS_MAX}) {
        g_selectedFilter = bad;
        FfSaveLastSelectedFilter();
        EXPECT_EQ(longName.substr(0, 127), g_settings.lastSelectedFilter) << bad;
        EXPECT_EQ(before, FfTestReadBytes(cfg)) << bad;
    }
}

bool g_writable;
bool Writable(const wchar_t*) { return g_writable; }

// Where the cfg and the log go: beside the library while the user can write there, otherwise
// in %APPDATA%\Fleetfinder, except for a cfg that is already beside the library.
TEST_F(SettingsFile, UnwritableLibraryFolderMovesTheFilesToAppData)
{
    std::wstring library = dir + L"\\lib\\", appData = dir + L"\\appdata", moved = appData + L"\\Fleetfinder\\";
    CreateDirectoryW(library.c_str(), nullptr);
    CreateDirectoryW(appData.c_str(), nullptr);
    struct Case {
        const char* name;
        bool writable, cfgBeside, withAppData;
        const std::wstring &cfgFolder, &logFolder;
    };
    const Case cases[] = {
        {"writable", true, false, true, library, library},
        {"not writable", false, false, true, moved, moved},
        {"not writable, a cfg beside the library", false, true, true, library, moved},
        {"not writable, no APPDATA", false, false, false, library, library},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileW((library + L"Fleetfinder.cfg").c_str());
        RemoveDirectoryW(moved.c_str());
        if (c.cfgBeside) FfTestWriteBytes(library + L"Fleetfinder.cfg", "[Display]\r\n");
        g_writable = c.writable;
        wchar_t cfgFolder[FF_PATH_CHARS], logFolder[FF_PATH_CHARS];
        bool left = FfChooseSettingsFolders(library.c_str(), c.withAppData ? appData.c_str() : L"", Writable,
                                            cfgFolder, logFolder, FF_PATH_CHARS);
        EXPECT_EQ(c.cfgFolder, cfgFolder);
        EXPECT_EQ(c.logFolder, logFolder);
        EXPECT_EQ(c.logFolder != library, left);
        EXPECT_EQ(c.logFolder != library, FfTestFileExists(moved)) << "created when chosen, only then";
    }
    // The probe itself: a folder that is a file cannot take one; a real one can, and keeps nothing.
    EXPECT_TRUE(FfIsFolderWritable(library.c_str()));
    FfTestWriteBytes(dir + L"\\file", "");
    EXPECT_FALSE(FfIsFolderWritable((dir + L"\\file\\").c_str()));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((library + L"*.probe").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
}

}  // namespace
