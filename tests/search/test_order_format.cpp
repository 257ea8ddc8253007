// Result ordering and field texts: columns, toggles, folding, sizes, dates, folder names, icons.
#include <gtest/gtest.h>
#include <string.h>
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include "search_test_util.h"

namespace {

FfResult Make(const wchar_t* path, unsigned long long size = 0, unsigned long long modified = 0,
              DWORD folder = 0)
{
    FfResult r;
    memset(&r, 0, sizeof r);
    FfCopyText(r.path, FF_RESULT_PATH_MAX, path);
    r.size = size;
    r.modified.dwLowDateTime = (DWORD)modified;
    r.modified.dwHighDateTime = (DWORD)(modified >> 32);
    r.isFolder = folder;
    return r;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

TEST(Compare, EveryColumn)
{
    struct Case {
        const char* label;
        FfResult a, b;
        int column;
        int expected;  // ascending sign
    } cases[] = {
        {"name folds ASCII only", Make(L"C:\\x\\b.txt"), Make(L"D:\\B.TXT"), FF_SORT_NAME, 0},
        {"underscore before folded x", Make(L"C:\\a_b"), Make(L"C:\\aXb"), FF_SORT_NAME, -1},
        {"non-ASCII is not folded", Make(L"C:\\\u00E9"), Make(L"C:\\\u00C9"), FF_SORT_NAME, 1},
        {"prefix first", Make(L"C:\\ab"), Make(L"C:\\abc"), FF_SORT_NAME, -1},
        {"name without backslash", Make(L"zeta"), Make(L"C:\\alpha"), FF_SORT_NAME, 1},
        {"size unsigned 64-bit", Make(L"a", 0xFFFFFFFFFFFFFFFEull), Make(L"b", 1), FF_SORT_SIZE, 1},
        {"unknown size below every known", Make(L"a", FF_UNKNOWN_VALUE), Make(L"b", 0), FF_SORT_SIZE, -1},
        {"two unknown sizes", Make(L"a", FF_UNKNOWN_VALUE), Make(L"b", FF_UNKNOWN_VALUE), FF_SORT_SIZE, 0},
        {"size above 4 GB", Make(L"a", 0x100000000ull), Make(L"b", 0xFFFFFFFFull), FF_SORT_SIZE, 1},
        {"date", Make(L"a", 0, 5), Make(L"b", 0, 0x100000000ull), FF_SORT_DATE, -1},
        {"date high bit", Make(L"a", 0, 0x8000000000000000ull), Make(L"b", 0, 1), FF_SORT_DATE, 1},
        {"unknown date below every known", Make(L"a", 0, FF_UNKNOWN_VALUE), Make(L"b", 0, 0), FF_SORT_DATE, -1},
        {"unknown column is date", Make(L"a", 9, 5), Make(L"b", 1, 6), 17, -1},
        {"folder by own name", Make(L"C:\\A\\Docs\\x.txt"), Make(L"D:\\docs\\y.txt"), FF_SORT_FOLDER, 0},
        {"folder drive key", Make(L"C:\\x.txt"), Make(L"D:\\B\\y.txt"), FF_SORT_FOLDER, 1},
        {"extension", Make(L"C:\\a.tar.gz"), Make(L"C:\\b.GZ"), FF_SORT_EXTENSION, 0},
        {"dotfile has none", Make(L"C:\\.bashrc"), Make(L"C:\\noext"), FF_SORT_EXTENSION, 0},
        {"folder has none", Make(L"C:\\dir.d", 0, 0, 1), Make(L"C:\\plain"), FF_SORT_EXTENSION, 0},
        {"extension order", Make(L"C:\\a.doc"), Make(L"C:\\b.TXT"), FF_SORT_EXTENSION, -1},
        {"dot in folder only", Make(L"C:\\v1.2\\readme"), Make(L"C:\\x"), FF_SORT_EXTENSION, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, Sign(FfCompareResults(&c.a, &c.b, c.column, 0))) << c.label;
        EXPECT_EQ(-c.expected, Sign(FfCompareResults(&c.a, &c.b, c.column, 1))) << c.label;
    }
}

TEST(SortState, FromSortType)
{
    struct Case {
        DWORD sortType;
        int column, descending;
    } cases[] = {{1, FF_SORT_NAME, 0},      {2, FF_SORT_NAME, 1},      {3, FF_SORT_FOLDER, 0},
                 {4, FF_SORT_FOLDER, 1},    {5, FF_SORT_SIZE, 0},      {6, FF_SORT_SIZE, 1},
                 {7, FF_SORT_EXTENSION, 0}, {8, FF_SORT_EXTENSION, 1}, {9, FF_SORT_DATE, 1},
                 {12, FF_SORT_DATE, 1},     {13, FF_SORT_DATE, 0},     {14, FF_SORT_DATE, 1},
                 {24, FF_SORT_DATE, 1},     {0, FF_SORT_DATE, 1},      {0xFFFFFFFF, FF_SORT_DATE, 1}};
    for (const Case& c : cases) {
        g_settings.sortType = c.sortType;
        g_localSortActive = 1;
        FfInitSortFromSortType();
        EXPECT_EQ(c.column, g_sortColumn) << c.sortType;
        EXPECT_EQ(c.descending, g_sortDescending) << c.sortType;
        EXPECT_EQ(0, g_localSortActive);
    }
}

// The column chosen by the sort type still counts as new on its first click (the first direction
// of each column, repeats and the sorting itself are clicked through the header end to end).
TEST(SortState, FirstClickOnTheInitialColumnIsANewChoice)
{
    g_resultCount = 0;
    struct Case {
        DWORD sortType;
        std::vector<std::pair<int, int>> clicks;  // column, descending after the click
    } cases[] = {
        {14, {{FF_SORT_DATE, 1}, {FF_SORT_DATE, 0}, {FF_SORT_DATE, 1}}},
        {2, {{FF_SORT_NAME, 0}, {FF_SORT_NAME, 1}}},
    };
    for (const Case& c : cases) {
        g_settings.sortType = c.sortType;
        FfInitSortFromSortType();
        for (const auto& s : c.clicks) {
            FfApplyColumnSort(s.first);
            EXPECT_EQ(s.first, g_sortColumn) << c.sortType;
            EXPECT_EQ(s.second, g_sortDescending) << c.sortType;
            EXPECT_EQ(1, g_localSortActive) << c.sortType;
        }
    }
}

TEST(FilesBeforeFolders, KeepsOrderWithinEachGroup)
{
    struct Case {
        std::vector<std::wstring> in;  // a name ending in '/' is a folder
        std::vector<std::wstring> out;
    } cases[] = {
        {{L"d1/", L"f1", L"d2/", L"f2", L"f3"}, {L"f1", L"f2", L"f3", L"d1/", L"d2/"}},
        {{L"f1", L"f2", L"d1/", L"d2/"}, {L"f1", L"f2", L"d1/", L"d2/"}},
        {{L"f1", L"d1/", L"d2/", L"f2"}, {L"f1", L"f2", L"d1/", L"d2/"}},
        {{L"d1/", L"d2/"}, {L"d1/", L"d2/"}},
        {{L"f2", L"f1"}, {L"f2", L"f1"}},
    };
    for (const Case& c : cases) {
        std::vector<FfResult> set;
        for (const std::wstring& n : c.in) set.push_back(Make(n.c_str(), 0, 0, n.back() == L'/' ? 1 : 0));
        FfOrderFilesBeforeFolders(set.data(), (int)set.size());
        std::vector<std::wstring> out;
        for (const FfResult& r : set) out.push_back(r.path);
        EXPECT_EQ(c.out, out);
    }
}

TEST(Format, SizeTexts)
{
    const unsigned long long KB = 1024;
    struct Case {
        unsigned long long size;
        const wchar_t* text;
    } cases[] = {
        {0, L"0 B"},
        {1023, L"1023 B"},
        {1024, L"1.0 KB"},
        {1536, L"1.5 KB"},
        {1048575, L"1024.0 KB"},
        {KB * KB, L"1.0 MB"},
        {KB * KB * KB * 5 / 2, L"2.5 GB"},
        {KB * KB * KB * KB, L"1.0 TB"},
        {KB * KB * KB * KB * KB, L"1024.0 TB"},
        {0xFFFFFFFFFFFFFFFEull, L"16777216.0 TB"},
        {FF_UNKNOWN_VALUE, L""},  // the engine's mark for a size it does not know
    };
    for (const Case& c : cases) EXPECT_STREQ(c.text, FfFormatSize(c.size)) << c.size;
}

TEST(Format, ParentFolderNames)
{
    std::wstring longName(100, L'n');
    std::wstring longPath = L"C:\\" + longName + L"\\f.txt";
    struct Case {
        std::wstring path, name;
    } cases[] = {
        {L"C:\\Work\\Docs\\a.txt", L"Docs"}, {L"C:\\a.txt", L"C:"},
        {L"\\\\server\\share\\a.txt", L"share"}, {L"\\a.txt", L""},
        {L"noslash", L""}, {L"", L""},
        {L"C:\\dir\\", L"dir"}, {longPath, longName.substr(0, 63)},
        {L"rel\\x", L"rel"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.name, std::wstring(FfParentFolderName(c.path.c_str()))) << FfTestUtf8(c.path);
}

TEST(Format, DateTexts)
{
    FILETIME zero = {0, 0};
    EXPECT_STREQ(L"", FfFormatDateTime(zero));
    FILETIME huge = {0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_STREQ(L"", FfFormatDateTime(huge));

    // 2024-03-05 14:07:09 in local time, whatever the machine's zone is.
    SYSTEMTIME local = {2024, 3, 2, 5, 14, 7, 9, 0};
    FILETIME localTime, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime));
    ASSERT_TRUE(LocalFileTimeToFileTime(&localTime, &utc));

    wchar_t shortDate[64], noSeconds[64], expected[130];
    GetDateFormatEx(nullptr, DATE_SHORTDATE, &local, nullptr, shortDate, 64, nullptr);
    GetTimeFormatEx(nullptr, TIME_NOSECONDS, &local, nullptr, noSeconds, 64);
    FfFormatText(expected, 130, L"%s %s", shortDate, noSeconds);
    struct Case {
        const wchar_t *date, *time;
        std::wstring text;
    } cases[] = {
        {L"Auto", L"Auto", expected},
        {L"auto", L"", expected},
        {L"", L"AUTO", expected},
        {L"yyyy-MM-dd", L"HH:mm:ss", L"2024-03-05 14:07:09"},
        {L"dd.MM.yy", L"Auto", std::wstring(L"05.03.24 ") + noSeconds},
    };
    for (const Case& c : cases) {
        FfCopyText(g_settings.dateFormat, FF_PICTURE_CHARS, c.date);
        FfCopyText(g_settings.timeFormat, FF_PICTURE_CHARS, c.time);
        EXPECT_EQ(c.text, std::wstring(FfFormatDateTime(utc))) << FfTestUtf8(c.date);
    }
    g_settings.dateFormat[0] = 0;
    g_settings.timeFormat[0] = 0;
}

TEST(Icons, CacheKeys)
{
    struct Case {
        std::wstring path, key;
    } cases[] = {
        {L"C:\\a\\report.PDF", L".PDF"},
        {L"C:\\Tools.old\\readme", L".old\\readme"},
        {L"C:\\noext", L""},
        {L"C:\\x.averyveryverylongext", L".averyveryveryl"},
        {L"C:\\archive.tar.gz", L".gz"},
    };
    for (const Case& c : cases) {
        wchar_t key[FF_ICON_KEY_MAX];
        FfIconKeyFromPath(c.path.c_str(), key, FF_ICON_KEY_MAX);
        EXPECT_EQ(c.key, std::wstring(key)) << FfTestUtf8(c.path);
    }
}

TEST(Icons, OneEntryPerKeyAndOneFolderIcon)
{
    int before = g_iconCacheCount;
    FfResult upper = Make(L"C:\\a.PDF"), lower = Make(L"D:\\b\\c.pdf"), bare = Make(L"C:\\noext");
    HICON first = FfGetResultIcon(&upper);
    EXPECT_EQ(first, FfGetResultIcon(&lower));
    FfGetResultIcon(&bare);
    FfGetResultIcon(&bare);
    EXPECT_EQ(before + 2, g_iconCacheCount);
    EXPECT_STREQ(L".PDF", g_iconCache[before].key);
    EXPECT_STREQ(L"", g_iconCache[before + 1].key);
    FfResult folder = Make(L"C:\\dir", 0, 0, 1);
    HICON folderIcon = FfGetResultIcon(&folder);
    EXPECT_EQ(folderIcon, FfGetResultIcon(&folder));
    EXPECT_EQ(g_folderIcon, folderIcon);
    EXPECT_EQ(before + 2, g_iconCacheCount);  // folders never enter the cache
}

TEST(Icons, FullCacheKeepsItsKeysAndReleasesUncachedIcons)
{
    wchar_t path[32];
    for (int i = 0; g_iconCacheCount < FF_ICON_CACHE_MAX; i++) {
        FfFormatText(path, 32, L"C:\\f.e%d", i);
        FfResult r = Make(path);
        FfGetResultIcon(&r);
    }
    FfResult extra1 = Make(L"C:\\x.uncached1"), extra2 = Make(L"C:\\x.uncached2");
    HICON icon1 = FfGetResultIcon(&extra1);
    EXPECT_EQ(FF_ICON_CACHE_MAX, g_iconCacheCount);
    ICONINFO info;
    if (icon1) {
        ASSERT_TRUE(GetIconInfo(icon1, &info));
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    FfGetResultIcon(&extra2);
    if (icon1) { EXPECT_FALSE(GetIconInfo(icon1, &info)); }  // released once its row was drawn
    for (int i = 0; i < g_iconCacheCount; i++) EXPECT_STRNE(L".uncached1", g_iconCache[i].key);
}

}  // namespace
