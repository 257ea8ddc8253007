// Content fields, and the host's threads reading the listing while it is published again.
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include "bridge_fixture.h"
#include "core/core.h"
#include "fftest.h"
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
    FfBridgeSetListing({{L"Report.txt", L"C:\\data\\Report.txt"},
                        {L"\u00C4pfel.txt", L"C:\\\u00C4\\\u00C4pfel.txt"},
                        {L"Dir", L"D:\\deep\\Dir", 1}});
    struct Case { const char* file; int field; bool fs; std::string expected; } cases[] = {
        {"\\Report.txt", 0, true, "C:\\data\\Report.txt"},
        {"\\REPORT.TXT", 0, true, "C:\\data\\Report.txt"},
        {"Z:\\elsewhere\\report.txt", 1, false, "C:\\data\\Report.txt"},  // only the last part counts
        {"report.txt", 1, false, "C:\\data\\Report.txt"},
        {"\\dir", 0, true, "D:\\deep\\Dir"},
        {"\\Dir\\Report.txt", 0, true, "D:\\deep\\Dir\\Report.txt"},  // its own, not the namesake's
        {"\\Dir\\Report.txt", 1, false, "D:\\deep\\Dir\\Report.txt"},
        {"\\Report.txt\\x", 0, true, ""},
        {"\\Report.txt.bak", 0, true, ""},
        {"\\Report.tx", 0, true, ""},
        {"\\", 0, true, ""},
        {"C:\\x\\", 1, false, ""},
        {nullptr, 0, true, ""},
        {nullptr, 0, false, "Active"},
        {"\\anything", 0, false, "Active"},
    };
    for (const Case& c : cases) {
        char value[256];
        memset(value, 'z', sizeof(value));
        int type = c.fs ? FsContentGetValue((char*)c.file, c.field, 0, value, 256, 0)
                        : ContentGetValue((char*)c.file, c.field, 0, value, 256, 0);
        EXPECT_EQ(type, 8) << (c.file ? c.file : "(null)");
        EXPECT_EQ(std::string(value), c.expected) << (c.file ? c.file : "(null)");
    }
    // Only ASCII letters fold: A-umlaut and a-umlaut differ.
    std::string upper = "\\" + FfBridgeAnsi(L"\u00C4pfel.txt");
    std::string lower = "\\" + FfBridgeAnsi(L"\u00E4pfel.txt");
    char value[256];
    FsContentGetValue((char*)upper.c_str(), 0, 0, value, 256, 0);
    EXPECT_EQ(std::string(value), FfBridgeAnsi(L"C:\\\u00C4\\\u00C4pfel.txt"));
    FsContentGetValue((char*)lower.c_str(), 0, 0, value, 256, 0);
    EXPECT_STREQ(value, "");
    // Unknown fields write nothing.
    memset(value, 'z', sizeof(value));
    EXPECT_EQ(FsContentGetValue((char*)"\\Report.txt", 1, 0, value, 256, 0), -1);
    EXPECT_EQ(ContentGetValue((char*)"\\Report.txt", 2, 0, value, 256, 0), -1);
    EXPECT_EQ(value[0], 'z');
    // A short buffer gets the first length-1 bytes and a zero; none at all, nothing.
    char cut[8];
    EXPECT_EQ(FsContentGetValue((char*)"\\Report.txt", 0, 0, cut, 8, 0), 8);
    EXPECT_STREQ(cut, "C:\\data");
    EXPECT_EQ(ContentGetValue((char*)"\\Report.txt", 0, 0, cut, 3, 0), 8);
    EXPECT_STREQ(cut, "Ac");
    EXPECT_EQ(FsContentGetValue((char*)"\\Report.txt", 0, 0, nullptr, 8, 0), 8);
    EXPECT_EQ(FsContentGetValue((char*)"\\Report.txt", 0, 0, cut, 0, 0), 8);
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
    FsContentGetValue((char*)"\\x", 0, 0, value, 32, 0);
    ContentGetValue((char*)"\\x", 1, 0, value, 32, 0);
    ContentGetSupportedField(1, name, units, 32);
    FsContentGetSupportedField(0, name, units, 32);
    std::vector<std::wstring> expected = {
        L"ContentGetSupportedField(FieldIndex=0)",
        L"FsContentGetSupportedField(FieldIndex=7)",
        L"ContentGetDetectString(maxlen=32)",
        L"FsContentGetValue(FieldIndex=0) - first call, further calls not logged",
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
