// Filter catalogue: ini and csv sources, their order, csv field rules, the cap, selection.
#include <gtest/gtest.h>
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include "search_test_util.h"

namespace {

void Write(const std::wstring& path, const std::string& text)
{
    ASSERT_TRUE(FfTestWriteBytes(path, text));
}

void Setting(const std::wstring& iniPath, const wchar_t* last = L"")
{
    FfCopyText(g_settings.everythingIniPath, FF_PATH_CHARS, iniPath.c_str());
    FfCopyText(g_settings.lastSelectedFilter, FF_FILTER_NAME_CHARS, last);
}

std::vector<std::wstring> Names()
{
    std::vector<std::wstring> names;
    for (int i = 0; i < g_filterCount; i++) names.push_back(g_filters[i].name);
    return names;
}

std::string Csv(int rows)
{
    std::string text = "Name,Case,Whole,Path,Diacritics,Regex,Col,Col2,Col3,Macro,Search\r\n";
    for (int i = 1; i <= rows; i++)
        text += "F" + std::to_string(i) + ",0,0,0,0,0,,,,,ext:f" + std::to_string(i) + "\r\n";
    return text;
}

std::string Ini(int filters)
{
    std::string text = "[Filters]\r\n";
    for (int i = 1; i <= filters; i++)
        text += "Filter" + std::to_string(i) + "_Name=I" + std::to_string(i) + "\r\nFilter" +
                std::to_string(i) + "_Search=ext:i" + std::to_string(i) + "\r\n";
    return text;
}

TEST(CsvLine, FieldRules)
{
    std::wstring longField(1500, L'n');
    struct Case {
        std::wstring line, name, search;
    } cases[] = {
        {L"Audio,0,0,0,0,0,,,,,ext:mp3", L"Audio", L"ext:mp3"},
        {L"\"Say \"\"hi\"\", there\",1,2,3,4,5,6,7,8,9,\"a,b\"", L"Say \"hi\", there", L"a,b"},
        {L" spaced name ,1,2,3,4,5,6,7,8,9, x ", L" spaced name ", L" x "},
        {L"Short,1,2", L"Short", L""},
        {L"Ten,1,2,3,4,5,6,7,8,9", L"Ten", L""},
        {L"Eleven,1,2,3,4,5,6,7,8,9,", L"Eleven", L""},
        {L"\"quoted\"x,1,2,3,4,5,6,7,8,9,s", L"quoted", L""},  // junk after the quote ends the row
        {L"\"unclosed,1,2", L"unclosed,1,2", L""},
        {L",1,2,3,4,5,6,7,8,9,s", L"", L"s"},
        {L"\"\",1", L"", L""},
        {longField + L",1,2,3,4,5,6,7,8,9,s", longField.substr(0, 127), L"s"},
        {L"n,1,2,3,4,5,6,7,8,9," + longField, L"n", longField.substr(0, 511)},
    };
    for (const Case& c : cases) {
        wchar_t name[FF_FILTER_NAME_MAX], search[FF_FILTER_SEARCH_MAX];
        FfParseCsvFilterLine(c.line.c_str(), name, FF_FILTER_NAME_MAX, search, FF_FILTER_SEARCH_MAX);
        EXPECT_EQ(c.name, std::wstring(name)) << FfTestUtf8(c.line.substr(0, 60));
        EXPECT_EQ(c.search, std::wstring(search)) << FfTestUtf8(c.line.substr(0, 60));
    }
}

TEST(CsvFile, HeaderEmptyLinesAndCounting)
{
    std::wstring dir = FfTestMakeTempDir(L"csvfile");
    struct Case {
        const char* label;
        std::string text;
        int expectedCount;
        std::vector<std::wstring> names;  // after "<All Files>"
    } cases[] = {
        {"header only", "name,x\r\n", 0, {}},
        {"header after empty lines", "\r\n\nNAME,x\r\nA,1,2,3,4,5,6,7,8,9,s\r\n", 1, {L"A"}},
        {"no header", "First,1\nSecond,2\n", 2, {L"First", L"Second"}},
        {"header word later is a filter", "A,1\nname,2\n", 2, {L"A", L"name"}},
        {"empty names not counted", "Name\r\n,1\r\nB\r\n", 1, {L"B"}},
        {"utf-8 with byte-order mark", "\xEF\xBB\xBFName\r\nS\xC3\xA9rie,1,2,3,4,5,6,7,8,9,s\r\n", 1,
         {L"S\u00E9rie"}},
        {"cut at 2047 characters per line", std::string(3000, 'z') + "\n", 2,
         {std::wstring(127, L'z'), std::wstring(127, L'z')}},
    };
    int n = 0;
    for (const Case& c : cases) {
        std::wstring path = dir + L"\\f" + std::to_wstring(n++) + L".csv";
        Write(path, c.text);
        g_filterCount = 0;
        FfAppendFilter(L"<All Files>", L"");
        EXPECT_EQ(c.expectedCount, FfReadCsvFilters(path.c_str())) << c.label;
        std::vector<std::wstring> expected = {L"<All Files>"};
        expected.insert(expected.end(), c.names.begin(), c.names.end());
        EXPECT_EQ(expected, Names()) << c.label;
    }
    EXPECT_EQ(0, FfReadCsvFilters((dir + L"\\missing.csv").c_str()));
}

TEST(Catalogue, SourcesAndTheirOrder)
{
    FfLogCapture logs(L"catalogue", false);
    std::wstring dir = FfTestMakeTempDir(L"catalogue");
    std::wstring both = dir + L"\\both", csvOnly = dir + L"\\csvonly", iniEmpty = dir + L"\\iniempty", gap = dir + L"\\gap";
    for (const std::wstring& d : {both, csvOnly, iniEmpty, gap}) CreateDirectoryW(d.c_str(), nullptr);
    Write(both + L"\\Everything.ini", Ini(2));
    Write(both + L"\\filters.csv", Csv(3));
    Write(csvOnly + L"\\filters.csv", Csv(3));
    Write(iniEmpty + L"\\Everything.ini", "[Other]\r\nx=1\r\n");
    Write(iniEmpty + L"\\filters.csv", Csv(1));
    Write(gap + L"\\Everything.ini", "[Filters]\r\nFilter1_Name=One\r\nFilter1_Search=ext:1\r\nFilter3_Name=Three\r\n");
    std::vector<std::wstring> builtIn = {L"<All Files>", L"Audio",  L"Compressed", L"Document",
                                         L"Executable",  L"Folder", L"Picture",    L"Video"};
    struct Case {
        const char* label;
        std::wstring setting;
        std::vector<std::wstring> names;
    } cases[] = {
        {"folder with ini and csv: ini wins", both, {L"<All Files>", L"I1", L"I2"}},
        {"ini file named directly", both + L"\\Everything.ini", {L"<All Files>", L"I1", L"I2"}},
        {"folder with csv only", csvOnly, {L"<All Files>", L"F1", L"F2", L"F3"}},
        {"csv file named directly", csvOnly + L"\\filters.csv", {L"<All Files>", L"F1", L"F2", L"F3"}},
        {"ini without filters falls to csv", iniEmpty, {L"<All Files>", L"F1"}},
        {"ini numbering stops at a gap", gap, {L"<All Files>", L"One"}},
        {"nothing there", dir + L"\\nowhere\\x.ini", builtIn},
        {"no backslash at all", L"relative.ini", builtIn},
    };
    for (const Case& c : cases) {
        Setting(c.setting);
        FfLoadFilterCatalogue();
        EXPECT_EQ(c.names, Names()) << c.label;
        EXPECT_EQ(0, g_selectedFilter) << c.label;
    }
    EXPECT_STREQ(L"folder:", g_filters[5].search);
    EXPECT_EQ(0, wcsncmp(L"ext:aac;ac3;", g_filters[1].search, 12));
}

TEST(Catalogue, AppDataWhenTheSettingIsAuto)
{
    FfLogCapture logs(L"appdata", false);
    std::wstring appData = FfTestMakeTempDir(L"appdata");
    CreateDirectoryW((appData + L"\\Everything").c_str(), nullptr);
    wchar_t saved[2048] = L"";
    GetEnvironmentVariableW(L"APPDATA", saved, 2048);
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    Write(appData + L"\\Everything\\filters.csv", Csv(2));
    for (const wchar_t* setting : {L"Auto", L"auto", L""}) {
        Setting(setting);
        FfLoadFilterCatalogue();
        EXPECT_EQ((std::vector<std::wstring>{L"<All Files>", L"F1", L"F2"}), Names());
    }
    Write(appData + L"\\Everything\\Everything.ini", Ini(1));
    FfLoadFilterCatalogue();
    EXPECT_EQ((std::vector<std::wstring>{L"<All Files>", L"I1"}), Names());
    SetEnvironmentVariableW(L"APPDATA", saved);
}

TEST(Catalogue, CapOf64)
{
    FfLogCapture logs(L"cap", true);
    std::wstring dir = FfTestMakeTempDir(L"cap");
    std::wstring iniDir = FfTestMakeTempDir(L"capini");
    Write(dir + L"\\filters.csv", Csv(70));
    Write(iniDir + L"\\Everything.ini", Ini(70));
    Setting(dir + L"\\filters.csv");
    FfLoadFilterCatalogue();
    ASSERT_EQ(64, g_filterCount);
    EXPECT_STREQ(L"F63", g_filters[63].name);
    EXPECT_NE(std::wstring::npos, logs.ReadDebugLog().find(L"Filters: loaded 70 from Everything's own config."));
    Setting(iniDir);
    FfLoadFilterCatalogue();
    ASSERT_EQ(64, g_filterCount);
    EXPECT_STREQ(L"I63", g_filters[63].name);
    EXPECT_NE(std::wstring::npos, logs.ReadDebugLog().find(L"Filters: loaded 64 from Everything's own config."));
    EXPECT_NE(std::wstring::npos, logs.ReadDebugLog().find(L"  Filter[1] \"I1\" -> [ext:i1]"));
}

// Selection by the remembered name (ASCII case folded); debug lines only when enabled.
TEST(Catalogue, SelectionByRememberedNameAndDebugLines)
{
    FfLogCapture quiet(L"select", false);
    struct Case {
        const wchar_t* remembered;
        int selected;
    } cases[] = {{L"audio", 1}, {L"VIDEO", 7}, {L"Gone", 0}, {L"", 0}, {L"<all files>", 0}};
    for (const Case& c : cases) {
        Setting(L"Z:\\nowhere\\at\\all.ini", c.remembered);
        FfLoadFilterCatalogue();
        EXPECT_EQ(c.selected, g_selectedFilter) << FfTestUtf8(c.remembered);
    }
    EXPECT_EQ(L"", quiet.ReadDebugLog());
    FfLogCapture loud(L"loud", true);
    FfLoadFilterCatalogue();
    std::wstring text = loud.ReadDebugLog();
    size_t neither = text.find(L"Filters: EverythingIniPath is set but neither");
    size_t builtIn = text.find(L"Filters: could not read Everything's own config, using built-in defaults.");
    EXPECT_NE(std::wstring::npos, neither);
    EXPECT_NE(std::wstring::npos, builtIn);
    EXPECT_LT(neither, builtIn);
}

}  // namespace
