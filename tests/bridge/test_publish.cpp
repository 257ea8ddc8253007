// Unique entry names and publishing results into the listing.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include "bridge_fixture.h"
#include "host/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "search/search.h"

namespace {

// The numbering rule as written: scan the whole listing for every number tried.
std::wstring PlainUniqueName(const std::vector<std::wstring>& names, const std::wstring& base)
{
    wchar_t candidate[FF_PANEL_NAME_CHARS];
    for (int k = 1;; ++k) {
        FfBuildNumberedName(base.c_str(), k, candidate, FF_PANEL_NAME_CHARS);
        bool taken = false;
        for (const std::wstring& name : names) taken = taken || _wcsicmp(name.c_str(), candidate) == 0;
        if (!taken) return candidate;
    }
}

std::wstring Numbered(const std::wstring& base, int k)
{
    wchar_t name[FF_PANEL_NAME_CHARS];
    FfBuildNumberedName(base.c_str(), k, name, FF_PANEL_NAME_CHARS);
    return name;
}

TEST(UniqueNames, NumberedNameRule)
{
    struct Case { const wchar_t* base; int k; const wchar_t* expected; } cases[] = {
        {L"report.txt", 1, L"report.txt"},
        {L"report.txt", 2, L"report (2).txt"},
        {L"report.txt", 13, L"report (13).txt"},
        {L"README", 2, L"README (2)"},
        {L".profile", 2, L".profile (2)"},          // a leading dot starts no extension
        {L".profile.bak", 2, L".profile (2).bak"},
        {L"backup.tar.gz", 2, L"backup.tar (2).gz"},
        {L"name.", 3, L"name (3)."},
        {L"", 2, L" (2)"},
    };
    for (const Case& c : cases) EXPECT_EQ(Numbered(c.base, c.k), c.expected) << c.base << " k=" << c.k;
    // The stem is cut to 280 characters before the number.
    std::wstring longStem(290, L's');
    EXPECT_EQ(Numbered(longStem + L".txt", 2), std::wstring(280, L's') + L" (2).txt");
}

TEST(UniqueNames, ComparisonFoldsAsciiLettersOnly)
{
    struct Case { const wchar_t* a; const wchar_t* b; bool equal; } cases[] = {
        {L"Report.TXT", L"report.txt", true}, {L"", L"", true}, {L"a", L"", false}, {L"", L"a", false},
        {L"ab", L"abc", false}, {L"\u00C4.txt", L"\u00E4.txt", false}, {L"[", L"{", false},
        {L"@", L"`", false}, {L"Z_", L"z_", true}, {L"\u0130", L"i", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FfEqualNameI(c.a, c.b), c.equal) << c.a << L" / " << c.b;
        EXPECT_EQ(FfEqualNameI(c.a, c.b), _wcsicmp(c.a, c.b) == 0) << c.a;  // the runtime's rule
    }
    EXPECT_TRUE(FfEqualNameI(nullptr, L""));
}

TEST(UniqueNames, OverLongNamesStayBoundedAndDistinct)
{
    const std::wstring bases[] = {std::wstring(299, L'x'), std::wstring(600, L'y'),
                                  L"a." + std::wstring(400, L'e'), std::wstring(295, L'z') + L".t"};
    for (const std::wstring& base : bases) {
        std::vector<std::wstring> seen;
        for (int k = 1; k <= 1200; ++k) {
            std::wstring name = Numbered(base, k);
            ASSERT_LE(name.size(), 299u) << k;
            if (k >= 2) {
                EXPECT_NE(name.find(L" (" + std::to_wstring(k) + L")"), std::wstring::npos) << k;
                for (const std::wstring& other : seen) ASSERT_NE(_wcsicmp(name.c_str(), other.c_str()), 0) << k;
                if (k < 40) seen.push_back(name);  // pairwise check on a prefix keeps it quick
            }
        }
        // A full listing of one over-long name: every search ends with a new, bounded name.
        static FfPanelEntry entries[FF_PANEL_LISTING_MAX];
        static FfNameIndex index;
        FfNameIndexReset(&index, entries, 0);
        for (int i = 0; i < FF_PANEL_LISTING_MAX; ++i) {
            FfMakeUniqueEntryName(&index, base.c_str(), entries[i].name, FF_PANEL_NAME_CHARS);
            ASSERT_FALSE(FfNameIndexContains(&index, entries[i].name)) << i;
            entries[i].realPath[0] = 0;
            FfNameIndexAdd(&index, i);
        }
    }
}

TEST(UniqueNames, IndexGivesTheSameNamesAsARescan)
{
    // Few bases in mixed ASCII case plus literal "x (2).txt" style names, so numbers collide
    // across bases; an existing listing is indexed first.
    const wchar_t* bases[] = {L"a.txt", L"A.TXT", L"a (2).txt", L"b", L"B (3)", L".rc", L"x.tar.gz", L"\u00C4.txt", L"\u00E4.txt"};
    std::mt19937 random(7);
    for (int round = 0; round < 4; ++round) {
        static FfPanelEntry entries[FF_PANEL_LISTING_MAX];
        static FfNameIndex index;
        std::vector<std::wstring> names;
        int existing = (int)(random() % 50);
        for (int i = 0; i < existing; ++i) {
            std::wstring name = PlainUniqueName(names, bases[random() % 9]);
            wcscpy(entries[i].name, name.c_str());
            entries[i].realPath[0] = 0;
            names.push_back(name);
        }
        FfNameIndexReset(&index, entries, existing);
        for (int i = existing; i < 300; ++i) {
            const wchar_t* base = bases[random() % 9];
            std::wstring expected = PlainUniqueName(names, base);
            FfMakeUniqueEntryName(&index, base, entries[i].name, FF_PANEL_NAME_CHARS);
            ASSERT_EQ(std::wstring(entries[i].name), expected) << "round " << round << " entry " << i;
            names.push_back(expected);
            FfNameIndexAdd(&index, i);
        }
    }
}

// A window standing in for the host: keeps every change-folder record it is sent.
std::vector<std::string> g_records;
LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = (const COPYDATASTRUCT*)lParam;
        if (data->dwData == FF_HOST_CHANGEDIR_TAG)
            g_records.push_back(std::string((const char*)data->lpData, data->cbData));
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The path a record carries: UTF-8 between the first byte-order mark and the carriage return.
std::wstring RecordPath(const std::string& record)
{
    size_t end = record.find('\r');
    if (record.size() < 3 || end == std::string::npos) return L"?";
    return FfTestWide(record.substr(3, end - 3));
}

class Publish : public ::testing::Test {
protected:
    HWND host = nullptr;
    void SetUp() override
    {
        FfBridgeInitLock();
        WNDCLASSW wc = {};
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"FfTestPublishRecorder";
        RegisterClassW(&wc);
        host = CreateWindowW(L"FfTestPublishRecorder", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                             wc.hInstance, nullptr);
        g_records.clear();
        FfBridgeSetListing({});
    }
    void TearDown() override { DestroyWindow(host); }
};

TEST_F(Publish, ReplacesAppendsAndSendsTheHostToTheFirstNewEntry)
{
    FfBridgeLog log(L"publish");
    FfBridgeSetResults({L"C:\\one\\a.txt", L"C:\\two\\a.txt", L"C:\\d\\Folder\\"});
    FfPublishResultsToWfx(host, nullptr, 0, false);
    EXPECT_EQ(FfBridgeListingNames(), (std::vector<std::wstring>{L"a.txt", L"a (2).txt", L"Folder"}));
    EXPECT_EQ(g_resultCount, 0);  // the overlay was closed
    EXPECT_EQ(g_selectedIndex, -1);
    EXPECT_EQ(wcscmp(g_panelListing[2].realPath, L"C:\\d\\Folder"), 0);
    EXPECT_EQ(g_panelListing[2].isFolder, 1);
    EXPECT_EQ(g_panelListing[1].size, 101u);
    EXPECT_EQ(g_panelListing[1].modified, (7ull << 32) | 1001u);
    ASSERT_EQ(g_records.size(), 1u);
    EXPECT_EQ(RecordPath(g_records[0]), L"\\\\\\Fleetfinder\\a.txt");

    // Ctrl+Enter: a listed path (in other ASCII case) is skipped, a new one is numbered on.
    FfBridgeSetResults({L"c:\\ONE\\A.TXT", L"C:\\three\\A.TXT"});
    int selection[] = {0, 1, 7, -1};
    FfPublishResultsToWfx(host, selection, 4, true);
    EXPECT_EQ(FfBridgeListingNames(), (std::vector<std::wstring>{L"a.txt", L"a (2).txt", L"Folder", L"A (3).TXT"}));
    ASSERT_EQ(g_records.size(), 2u);
    EXPECT_EQ(RecordPath(g_records[1]), L"\\\\\\Fleetfinder\\A (3).TXT");

    // Appending only what is listed adds nothing and goes to entry 0.
    FfBridgeSetResults({L"C:\\three\\a.txt"});
    FfPublishResultsToWfx(host, nullptr, 0, true);
    EXPECT_EQ(FfBridgeListingNames().size(), 4u);
    EXPECT_EQ(RecordPath(g_records.back()), L"\\\\\\Fleetfinder\\a.txt");

    // A path given twice: appended once (also onto an empty listing), replaced twice.
    FfBridgeSetListing({});
    FfBridgeSetResults({L"C:\\dup\\d.txt", L"C:\\DUP\\D.TXT"});
    int twice[] = {0, 1, 0};
    FfPublishResultsToWfx(host, twice, 3, true);
    EXPECT_EQ(FfBridgeListingNames(), (std::vector<std::wstring>{L"d.txt"}));
    FfBridgeSetResults({L"C:\\dup\\d.txt", L"C:\\DUP\\D.TXT"});
    FfPublishResultsToWfx(host, twice, 3, false);
    EXPECT_EQ(FfBridgeListingNames(), (std::vector<std::wstring>{L"d.txt", L"D (2).TXT", L"d (3).txt"}));

    // Only out-of-range indexes, replacing: the listing empties and the host is not sent anywhere.
    FfBridgeSetResults({L"C:\\x.txt"});
    int outside[] = {5};
    FfPublishResultsToWfx(host, outside, 1, false);
    EXPECT_EQ(g_panelListingCount, 0);
    EXPECT_EQ(g_records.size(), 5u);

    // Nothing to publish, or no host: nothing happens and nothing is logged.
    size_t linesBefore = log.Lines().size();
    FfPublishResultsToWfx(host, nullptr, 0, false);
    FfBridgeSetResults({L"C:\\x.txt"});
    FfPublishResultsToWfx(nullptr, nullptr, 0, false);
    EXPECT_EQ(g_resultCount, 1);
    EXPECT_EQ(log.Lines().size(), linesBefore);

    std::vector<std::wstring> expected = {
        L"FfPublishResultsToWfx: replaced, now 3 entries total in the WFX panel listing (source=all results).",
        L"FfPublishResultsToWfx: appended, now 4 entries total in the WFX panel listing (source=selection).",
        L"FfPublishResultsToWfx: appended, now 4 entries total in the WFX panel listing (source=all results).",
        L"FfPublishResultsToWfx: appended, now 1 entry total in the WFX panel listing (source=selection).",
        L"FfPublishResultsToWfx: replaced, now 3 entries total in the WFX panel listing (source=selection).",
        L"FfPublishResultsToWfx: replaced, now 0 entries total in the WFX panel listing (source=selection).",
    };
    std::vector<std::wstring> lines = log.Lines();
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const std::wstring& l) {
                    return l.find(L"FfPublishResultsToWfx") == std::wstring::npos; }), lines.end());
    EXPECT_EQ(lines, expected);
}

TEST_F(Publish, StopsAtTheListingLimit)
{
    std::vector<std::wstring> paths;
    for (int i = 0; i < 300; ++i) paths.push_back(L"C:\\f\\same.bin");
    FfBridgeSetResults(paths);
    FfPublishResultsToWfx(host, nullptr, 0, false);
    ASSERT_EQ(g_panelListingCount, 300);
    EXPECT_STREQ(g_panelListing[299].name, L"same (300).bin");

    // 300 more, the first 100 already listed by path: the next 200 fill it to 500.
    paths.clear();
    for (int i = 0; i < 300; ++i) paths.push_back(i < 100 ? L"C:\\f\\same.bin" : L"C:\\g" + std::to_wstring(i) + L"\\same.bin");
    FfBridgeSetResults(paths);
    FfPublishResultsToWfx(host, nullptr, 0, true);
    ASSERT_EQ(g_panelListingCount, FF_PANEL_LISTING_MAX);
    EXPECT_STREQ(g_panelListing[499].name, L"same (500).bin");
    EXPECT_STREQ(g_panelListing[300].realPath, L"C:\\g100\\same.bin");
    EXPECT_EQ(RecordPath(g_records.back()), L"\\\\\\Fleetfinder\\same (301).bin");

    // A full listing takes nothing more and sends the host to entry 0.
    FfBridgeSetResults({L"C:\\new.txt"});
    FfPublishResultsToWfx(host, nullptr, 0, true);
    EXPECT_EQ(g_panelListingCount, FF_PANEL_LISTING_MAX);
    EXPECT_EQ(RecordPath(g_records.back()), L"\\\\\\Fleetfinder\\same.bin");
}

TEST(ShowAllText, CountAndPlural)
{
    wchar_t text[64];
    FfFormatShowAllMenuText(1, text, 64);
    EXPECT_STREQ(text, L"Show all 1 result in panel");
    FfFormatShowAllMenuText(37, text, 64);
    EXPECT_STREQ(text, L"Show all 37 results in panel");
}

}  // namespace
