// Content fields, and the host's threads reading the listing while it is published again.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include "bridge_fixture.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "search/search.h"

namespace {

TEST(ContentFields, BothFieldTables)
{
    struct Case { bool fs; int index; int type; const char* name; } cases[] = {
        {false, 0, 8, "FF Status"}, {false, 1, 8, "Path"}, {false, 2, 0, nullptr}, {false, -1, 0, nullptr},
        {true, 0, 8, "Path"}, {true, 1, 0, nullptr}, {true, -5, 0, nullptr},
    };
    for (const Case& c : cases) {
        char name[32], units[32];
        memset(name, 'z', sizeof(name));
        memset(units, 'z', sizeof(units));
        int type = c.fs ? FsContentGetSupportedField(c.index, name, units, 32)
                        : ContentGetSupportedField(c.index, name, units, 32);
        EXPECT_EQ(type, c.type) << c.fs << " " << c.index;
        if (c.name) {
            EXPECT_STREQ(name, c.name);
            EXPECT_EQ(units[0], 0);
        } else {
            EXPECT_EQ(name[0], 'z');  // nothing written
            EXPECT_EQ(units[0], 'z');
        }
    }
    char shortName[4];
    EXPECT_EQ(ContentGetSupportedField(0, shortName, nullptr, 4), 8);
    EXPECT_STREQ(shortName, "FF ");
    char detect[8] = "xxxxxxx";
    ContentGetDetectString(detect, 8);
    EXPECT_STREQ(detect, "");
    ContentGetDetectString(nullptr, 8);
}

TEST(ContentFields, PathValuesAndCutBuffers)
{
    const std::wstring lodz = L"\u0141\u00F3d\u017A raport 2024.txt", palm = L"\xD83C\xDF34.txt";
    const std::wstring lodzItem = L"\\" + lodz, palmElsewhere = L"Z:\\" + palm;
    FfBridgeSetListing({{L"Report.txt", L"C:\\data\\Report.txt"},
                        {L"\u00C4pfel.txt", L"C:\\\u00C4\\\u00C4pfel.txt"},
                        {L"Dir", L"D:\\deep\\Dir", 1},
                        {lodz, L"C:\\\u0141\\" + lodz},
                        {palm, L"C:\\\u0141\\" + palm}});
    for (FfRoad road : kFfRoads) {
        SCOPED_TRACE(FfRoadName(road));
        bool wide = road == FF_ROAD_WIDE;
        struct Case { const wchar_t* file; int field; bool fs; std::wstring expected; } cases[] = {
            {L"\\Report.txt", 0, true, L"C:\\data\\Report.txt"},
            {L"\\REPORT.TXT", 0, true, L"C:\\data\\Report.txt"},
            {L"Z:\\elsewhere\\report.txt", 1, false, L"C:\\data\\Report.txt"},  // only the last part counts
            {L"report.txt", 1, false, L"C:\\data\\Report.txt"},
            {L"\\dir", 0, true, L"D:\\deep\\Dir"},
            {L"\\Dir\\Report.txt", 0, true, L"D:\\deep\\Dir\\Report.txt"},  // its own, not the namesake's
            {L"\\Dir\\Report.txt", 1, false, L"D:\\deep\\Dir\\Report.txt"},
            {L"\\Report.txt\\x", 0, true, L""},
            {L"\\Report.txt.bak", 0, true, L""},
            {L"\\Report.tx", 0, true, L""},
            {L"\\", 0, true, L""},
            {L"C:\\x\\", 1, false, L""},
            {nullptr, 0, true, L""},
            {nullptr, 0, false, L"Active"},
            {L"\\anything", 0, false, L"Active"},
            // Only ASCII letters fold: A-umlaut and a-umlaut differ.
            {L"\\\u00C4pfel.txt", 0, true, L"C:\\\u00C4\\\u00C4pfel.txt"},
            {L"\\\u00E4pfel.txt", 0, true, L""},
            // Names outside the code page have a Path on the wide road only.
            {lodzItem.c_str(), 0, true, wide ? L"C:\\\u0141\\" + lodz : L""},
            {palmElsewhere.c_str(), 1, false, wide ? L"C:\\\u0141\\" + palm : L""},
        };
        for (const Case& c : cases) {
            std::wstring value;
            EXPECT_EQ(FfRoadValue(road, c.fs, c.file, c.field, &value), wide ? 11 : 8) << FfTestUtf8(c.file ? c.file : L"(null)");
            EXPECT_EQ(value, c.expected) << FfTestUtf8(c.file ? c.file : L"(null)");
        }
        // Unknown fields write nothing.
        std::wstring value;
        EXPECT_EQ(FfRoadValue(road, true, L"\\Report.txt", 1, &value), -1);
        EXPECT_EQ(FfRoadValue(road, false, L"\\Report.txt", 2, &value), -1);
        EXPECT_EQ(value.substr(0, 3), L"zzz");
        // A short buffer gets what fits and a zero; none at all, nothing.
        EXPECT_EQ(FfRoadValue(road, true, L"\\Report.txt", 0, &value, 8), wide ? 11 : 8);
        EXPECT_EQ(value, L"C:\\data");
        FfRoadValue(road, false, L"\\Report.txt", 0, &value, 3);
        EXPECT_EQ(value, L"Ac");
        EXPECT_EQ(FfRoadValue(road, true, L"\\Report.txt", 0, &value, 0), wide ? 11 : 8);
        EXPECT_EQ(value.substr(0, 3), L"zzz");
    }
    // Nor half of a surrogate pair: "C:\Ł\" and a pair cut after its first half.
    std::wstring value;
    FfRoadValue(FF_ROAD_WIDE, true, (L"\\" + palm).c_str(), 0, &value, 7);
    EXPECT_EQ(value, L"C:\\\u0141\\");
    char none[4] = "zz";
    EXPECT_EQ(FsContentGetValue((char*)"\\Report.txt", 0, 0, nullptr, 8, 0), 8);
    EXPECT_EQ(FsContentGetValueW((WCHAR*)L"\\Report.txt", 0, 0, nullptr, 8, 0), 11);
    EXPECT_EQ(FsContentGetValueW((WCHAR*)L"\\Report.txt", 0, 0, none, 1, 0), 11);  // under one character
    EXPECT_STREQ(none, "zz");
    FfBridgeSetListing({});
}

TEST(ContentFields, CallsAreLoggedUntilTheFirstValue)
{
    FfBridgeLog log(L"content");
    g_contentCallLogged = 0;
    char name[32], units[32], value[32];
    ContentGetSupportedField(0, name, units, 32);
    FsContentGetSupportedField(7, name, units, 32);
    ContentGetDetectString(value, 32);
    FsContentGetValueW((WCHAR*)L"\\x", 0, 0, value, 32, 0);
    ContentGetValue((char*)"\\x", 1, 0, value, 32, 0);
    ContentGetSupportedField(1, name, units, 32);
    FsContentGetSupportedField(0, name, units, 32);
    std::vector<std::wstring> expected = {
        L"ContentGetSupportedField(FieldIndex=0)",
        L"FsContentGetSupportedField(FieldIndex=7)",
        L"ContentGetDetectString(maxlen=32)",
        L"FsContentGetValueW(FieldIndex=0) - first call, further calls not logged",
    };
    EXPECT_EQ(log.Lines(), expected);
    ContentGetDetectString(value, 32);  // not one of the field calls: always logged
    EXPECT_EQ(log.Count(L"ContentGetDetectString"), 2);
}

// Host threads list the root and read each listed name's Path while the background thread
// replaces the listing over and over: every name must come back with its own entry's path.
TEST(ListingUnderLoad, NamesAlwaysComeWithTheirOwnPath)
{
    FfBridgeInitLock();
    g_logPath[0] = 0;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FfTestLoadHost";
    RegisterClassW(&wc);
    HWND host = CreateWindowW(L"FfTestLoadHost", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);

    std::atomic<bool> stop(false);
    std::atomic<long> checked(0), mismatches(0), badEntries(0);
    auto reader = [&]() {
        while (!stop) {
            WIN32_FIND_DATAA data;
            HANDLE handle = FsFindFirst((char*)"\\", &data);
            if (handle == INVALID_HANDLE_VALUE) { ++badEntries; continue; }
            do {
                std::string name = data.cFileName;
                if (name == FF_PLACEHOLDER_EMPTY_A) continue;
                std::string path = "\\" + name;
                char value[2048];
                FsContentGetValue((char*)path.c_str(), 0, 0, value, sizeof(value), 0);
                // Published names are f<n>.txt, paths C:\r<round>\f<n>.txt.
                if (name.compare(0, 1, "f") != 0) ++badEntries;
                std::string text = value;
                if (!text.empty()) {
                    size_t slash = text.rfind('\\');
                    if (slash == std::string::npos || text.substr(slash + 1) != name) ++mismatches;
                    ++checked;
                }
            } while (FsFindNext(handle, &data));
            FsFindClose(handle);
        }
    };
    std::thread readers[3] = {std::thread(reader), std::thread(reader), std::thread(reader)};
    for (int round = 0; round < 3000; ++round) {
        int count = 1 + (round * 37) % 120;
        std::vector<std::wstring> paths;
        for (int i = 0; i < count; ++i)
            paths.push_back(L"C:\\r" + std::to_wstring(round) + L"\\f" + std::to_wstring((i * 7 + round) % 500) + L".txt");
        std::sort(paths.begin(), paths.end());
        paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
        FfBridgeSetResults(paths);
        FfPublishResultsToWfx(host, nullptr, 0, round % 3 == 0);
    }
    stop = true;
    for (std::thread& t : readers) t.join();
    DestroyWindow(host);
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(badEntries.load(), 0);
    EXPECT_GT(checked.load(), 100);
    FfBridgeSetListing({});
}

}  // namespace
