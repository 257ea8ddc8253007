// The stand-in engine's parts without a window: records, filters, matching, orders, replies, log lines.
#include <gtest/gtest.h>
#include <string.h>
#include <algorithm>
#include "engine.h"
#include "enginectl.h"

namespace {

std::string Record(uint32_t replyWindow, uint32_t sortType, const std::wstring& text)
{
    FfEngineQueryArgs a;
    a.text = text;
    a.sortType = sortType;
    return FfEngineBuildQueryRecord(replyWindow, a);
}

uint32_t At32(const std::string& b, size_t at)
{
    uint32_t v = 0;
    memcpy(&v, b.data() + at, 4);
    return v;
}

std::wstring Leaf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

}  // namespace

TEST(EngineRecord, MalformedRecordsAreRefusedWellFormedOnesReadExactly)
{
    std::string good = Record(0x12345678, 14, L"report file:");
    std::string empty = Record(7, 1, L"");
    std::string oddTail = good + "\x01";  // an odd trailing byte after the terminator is harmless
    std::string midZero = Record(7, 1, std::wstring(L"ab\0cd", 5));
    struct Case {
        const char* label;
        const void* data;
        size_t size;
        const char* reason;
        const wchar_t* text;
    } cases[] = {
        {"null data", nullptr, 40, "no-data", nullptr},
        {"empty block", good.data(), 0, "no-data", nullptr},
        {"head cut", good.data(), 27, "short", nullptr},
        {"head only", good.data(), 28, "unterminated", nullptr},
        {"half a character", good.data(), 29, "unterminated", nullptr},
        {"text without terminator", good.data(), good.size() - 2, "unterminated", nullptr},
        {"terminator cut in half", good.data(), good.size() - 1, "unterminated", nullptr},
        {"empty text", empty.data(), empty.size(), nullptr, L""},
        {"whole record", good.data(), good.size(), nullptr, L"report file:"},
        {"odd trailing byte", oddTail.data(), oddTail.size(), nullptr, L"report file:"},
        {"stops at first terminator", midZero.data(), midZero.size(), nullptr, L"ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FfEngineQuery q;
        const char* reason = FfEngineParseRecord(c.data, c.size, &q);
        EXPECT_STREQ(reason, c.reason);
        if (!c.reason) { EXPECT_EQ(q.text, c.text); }
    }
    FfEngineQuery q;
    ASSERT_EQ(FfEngineParseRecord(good.data(), good.size(), &q), nullptr);
    EXPECT_EQ((std::vector<uint32_t>{q.replyWindow, q.replyId, q.searchFlags, q.firstResult, q.maxResults,
                                     q.requestFlags, q.sortType}),
              (std::vector<uint32_t>{0x12345678u, 18, 0, 0, 100, 84, 14}));
}

TEST(EngineFilters, CsvRowsHeaderQuotingAndShortRows)
{
    struct Case {
        const char* label;
        std::string csv;
        std::vector<std::pair<std::wstring, std::wstring>> expected;
    } cases[] = {
        {"header skipped, field 10 is the search",
         "Name,Case,Whole,Path,Diacritics,Prefix,Suffix,Regex,Columns,Macro,Search\r\nTexts,0,0,0,0,0,0,0,,,ext:txt\r\n",
         {{L"Texts", L"ext:txt"}}},
        {"byte-order mark before the header", "\xEF\xBB\xBFname,x\nA,1,2,3,4,5,6,7,8,9,folder:\n", {{L"A", L"folder:"}}},
        {"first line not a header is a filter", "Audio,0,0,0,0,0,0,0,0,0,ext:mp3\n", {{L"Audio", L"ext:mp3"}}},
        {"header only later is a filter", "\n\nX,,,,,,,,,,s\nname,,,,,,,,,,t\n", {{L"X", L"s"}, {L"name", L"t"}}},
        {"quoted name with comma and doubled quote", "\"a,\"\"b\"\"\",1,2,3,4,5,6,7,8,9,\"ext:c;d\"\n",
         {{L"a,\"b\"", L"ext:c;d"}}},
        {"fewer than eleven fields: empty search", "Short,1,2\n", {{L"Short", L""}}},
        {"empty name neither kept nor counted", ",1,2,3,4,5,6,7,8,9,x\nB,,,,,,,,,,y\n", {{L"B", L"y"}}},
        {"junk after a closing quote ends the row", "\"Q\"x,1,2,3,4,5,6,7,8,9,z\n", {{L"Q", L""}}},
        {"unterminated quote runs to the end", "\"open,1,2\n", {{L"open,1,2", L""}}},
        {"UTF-8 name", "\xC3\x84rger,,,,,,,,,,ext:a\n", {{L"\u00C4rger", L"ext:a"}}},
        {"empty file", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::pair<std::wstring, std::wstring>> got;
        for (const auto& f : FfEngineParseCsvFilters(c.csv)) got.push_back({f.name, f.search});
        EXPECT_EQ(got, c.expected);
    }
}

// Where the engine takes its filters from: the ini's [Filters], else filters.csv, else its built-ins.
TEST(EngineFilters, IniThenCsvThenBuiltInsAndTheDefaultFolder)
{
    std::wstring iniDir = FfTestMakeTempDir(L"engine-ini");
    FfTestWriteBytes(iniDir + L"\\Everything.ini",
                     "[Filters]\r\nFilter1_Name=Texts\r\nFilter1_Search=ext:txt\r\nFilter3_Name=Gap\r\nFilter3_Search=ext:doc\r\n");
    FfTestWriteBytes(iniDir + L"\\filters.csv", "Name,,,,,,,,,,Search\r\nFromCsv,,,,,,,,,,ext:doc\r\n");
    std::wstring csvDir = FfTestMakeTempDir(L"engine-csv");
    FfTestWriteBytes(csvDir + L"\\Everything.ini", "[Other]\r\nx=1\r\n");
    FfTestWriteBytes(csvDir + L"\\filters.csv", "Name,,,,,,,,,,Search\r\n\"Big, files\",,,,,,,,,,ext:cpp;doc\r\n");
    std::wstring appData = FfTestMakeTempDir(L"engine-appdata");
    CreateDirectoryW((appData + L"\\Everything").c_str(), nullptr);
    FfTestWriteBytes(appData + L"\\Everything\\filters.csv", "Hidden one,,,,,,,,,,_e\r\n");
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    auto summary = [](const std::wstring& dir) {
        std::wstring s;
        for (const auto& f : FfEngineLoadFilters(dir)) s += f.name + L"=" + f.search + L"|";
        return s;
    };
    EXPECT_EQ(summary(iniDir), L"Texts=ext:txt|");  // numbering ends at the gap; csv not read
    EXPECT_EQ(summary(csvDir), L"Big, files=ext:cpp;doc|");
    EXPECT_EQ(summary(L""), L"Hidden one=_e|");
    std::wstring builtIns = summary(FfTestMakeTempDir(L"engine-nofilters"));
    for (const wchar_t* f : {L"Audio=ext:", L"|Compressed=", L"|Document=", L"|Executable=", L"|Folder=folder:|",
                             L"|Picture=", L"|Video="})
        EXPECT_NE(builtIns.find(f), std::wstring::npos) << FfTestUtf8(f);
}

namespace {

std::wstring Matching(const std::wstring& query, const std::vector<FfEngineFilter>& filters)
{
    struct Item { const wchar_t* path; bool folder; } items[] = {
        {L"C:\\Work\\Report 2024.TXT", false}, {L"C:\\Work\\notes.md", false},  {L"C:\\Work\\Reports", true},
        {L"C:\\Work\\Reports\\q1.pdf", false}, {L"C:\\Work2\\report.txt", false}, {L"C:\\Other\\song.Mp3", false},
        {L"C:\\Other\\\u00C4pfel.txt", false}, {L"C:\\Other\\noext", false},     {L"C:\\Other\\music.mp3", true},
    };
    FfEngineMatcher m;
    FfEngineCompileQuery(query, filters, &m);
    std::wstring names;
    for (const auto& it : items) {
        FfEngineEntry e;
        FfEngineMakeEntry(it.path, 10, 20, it.folder, &e);
        if (FfEngineMatch(m, e)) names += Leaf(e.path) + L"|";
    }
    return names;
}

}  // namespace

TEST(EngineQuery, WordsKindsFoldersExtensionsAndFilters)
{
    std::vector<FfEngineFilter> filters = {{L"Texts", L"ext:txt"}, {L"Dirs", L"folder:"}, {L"Loop", L"filter:Loop"},
                                           {L"Nested", L"filter:\"Texts\" 2024"}};
    struct Case { const wchar_t* query; const wchar_t* expected; } cases[] = {
        {L"", L"Report 2024.TXT|notes.md|Reports|q1.pdf|report.txt|song.Mp3|\u00C4pfel.txt|noext|music.mp3|"},
        {L"REPORT", L"Report 2024.TXT|Reports|report.txt|"},
        {L"report 2024", L"Report 2024.TXT|"},
        {L"\"report 2024\"", L"Report 2024.TXT|"},
        {L"report file:", L"Report 2024.TXT|report.txt|"},
        {L"report folder:", L"Reports|"},
        {L"file: folder:", L""},
        {L"folder:music", L"music.mp3|"},
        {L"\u00E4pfel", L""},  // only A-Z fold: a-umlaut does not match A-umlaut
        {L"\u00C4PFEL", L"\u00C4pfel.txt|"},
        {L"path:\"c:\\work\"", L"Report 2024.TXT|notes.md|Reports|q1.pdf|report.txt|"},  // Work2's too
        {L"path:\"C:\\Work\\\"", L"Report 2024.TXT|notes.md|Reports|q1.pdf|"},
        {L"path:\"C:\\Work\\Reports\" file:", L"q1.pdf|"},
        {L"path:\"C:\\Work\\Reports\"", L"Reports|q1.pdf|"},  // the folder itself too
        {L"path:rk\\rep", L"Report 2024.TXT|Reports|q1.pdf|"},
        {L"ext:txt", L"Report 2024.TXT|report.txt|\u00C4pfel.txt|"},
        {L"ext:mp3;PDF", L"q1.pdf|song.Mp3|"},  // folders never match an extension
        {L"ext:", L"noext|"},
        {L"filter:\"Texts\" report", L"Report 2024.TXT|report.txt|"},
        {L"filter:texts file:", L"Report 2024.TXT|report.txt|\u00C4pfel.txt|"},
        {L"filter:\"Dirs\"", L"Reports|music.mp3|"},
        {L"filter:\"Nested\"", L"Report 2024.TXT|"},
        {L"filter:\"Missing\"", L""},
        {L"filter:\"Loop\"", L""},
        {L"  report\t\r\nfile:  ", L"Report 2024.TXT|report.txt|"},
    };
    for (const auto& c : cases) EXPECT_EQ(Matching(c.query, filters), c.expected) << FfTestUtf8(c.query);
}

namespace {

// Five files and a folder whose every key differs, so each sort type has exactly one right order.
FfEngineIndex OrderIndex()
{
    struct Item {
        const wchar_t* path;
        uint64_t size, modified, created, accessed;
        uint32_t attributes;
        bool folder;
    } items[] = {
        {L"R:\\b.txt", 300, 3, 50, 700, 0x21, false},       {L"R:\\A.doc", 100, 1, 40, 900, 0x20, false},
        {L"R:\\c.txt", 200, 2, 10, 800, 0x23, false},       {L"R:\\0sub\\d.cpp", 50, 5, 20, 500, 0x22, false},
        {L"R:\\_e", 400, 4, 30, 600, 0x80, false},          {L"R:\\0sub", 0, 6, 60, 1000, 0x10, true},
    };
    FfEngineIndex index;
    for (const auto& it : items) {
        FfEngineEntry e;
        FfEngineMakeEntry(it.path, it.size, it.modified, it.folder, &e);
        e.created = it.created;
        e.accessed = it.accessed;
        e.attributes = it.attributes;
        index.entries.push_back(e);
    }
    return index;
}

std::vector<std::wstring> OrderOf(FfEngineIndex* index, uint32_t sortType)
{
    std::vector<std::wstring> names;
    for (uint32_t i : FfEngineOrder(index, sortType)) names.push_back(Leaf(index->entries[i].path));
    return names;
}

}  // namespace

TEST(EngineOrder, EverySortTypeBothDirectionsAndTies)
{
    struct Case { uint32_t sortType; std::vector<std::wstring> ascending; } cases[] = {
        {1, {L"0sub", L"_e", L"A.doc", L"b.txt", L"c.txt", L"d.cpp"}},
        {3, {L"0sub", L"d.cpp", L"_e", L"A.doc", L"b.txt", L"c.txt"}},
        {5, {L"0sub", L"d.cpp", L"A.doc", L"c.txt", L"b.txt", L"_e"}},
        {7, {L"0sub", L"_e", L"d.cpp", L"A.doc", L"b.txt", L"c.txt"}},
        // "cpp file" "doc file" "file" "file folder" "txt file"
        {9, {L"d.cpp", L"A.doc", L"_e", L"0sub", L"b.txt", L"c.txt"}},
        {11, {L"c.txt", L"d.cpp", L"_e", L"A.doc", L"b.txt", L"0sub"}},
        {13, {L"A.doc", L"c.txt", L"b.txt", L"_e", L"d.cpp", L"0sub"}},
        {15, {L"0sub", L"A.doc", L"b.txt", L"d.cpp", L"c.txt", L"_e"}},
        {23, {L"d.cpp", L"_e", L"b.txt", L"c.txt", L"A.doc", L"0sub"}},
    };
    FfEngineIndex index = OrderIndex();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sortType);
        EXPECT_EQ(OrderOf(&index, c.sortType), c.ascending);
        // The descending twin is the exact reverse here, since no two items share a key.
        std::vector<std::wstring> reversed(c.ascending.rbegin(), c.ascending.rend());
        EXPECT_EQ(OrderOf(&index, c.sortType == 23 ? 24 : c.sortType + 1), reversed);
    }
    // Unknown values (a folder's size unless folder sizes are indexed, forgotten dates) sort lowest.
    FfEngineIndex unknown = OrderIndex();
    EXPECT_EQ(unknown.entries[5].size, FF_ENGINE_UNKNOWN);
    FfEngineForgetDates(&unknown, L"c.");
    EXPECT_EQ(unknown.entries[2].modified, FF_ENGINE_UNKNOWN);
    EXPECT_EQ(OrderOf(&unknown, 13), (std::vector<std::wstring>{L"c.txt", L"A.doc", L"b.txt", L"_e", L"d.cpp", L"0sub"}));
    FfEngineIndexFolderSizes(&unknown);
    EXPECT_EQ(unknown.entries[5].size, 50u);  // d.cpp below it

    // Numbers outside the table order by name.
    for (uint32_t unknown : {0u, 17u, 22u, 25u, 1000u}) EXPECT_EQ(OrderOf(&index, unknown), OrderOf(&index, 1));

    // Equal keys fall back to the path, in both directions.
    FfEngineIndex ties;
    for (const wchar_t* p : {L"R:\\z.txt", L"R:\\a.txt", L"R:\\M.txt"}) {
        FfEngineEntry e;
        FfEngineMakeEntry(p, 5, 5, false, &e);
        ties.entries.push_back(e);
    }
    for (uint32_t sortType : {5u, 6u, 14u})
        EXPECT_EQ(OrderOf(&ties, sortType), (std::vector<std::wstring>{L"a.txt", L"M.txt", L"z.txt"})) << sortType;
}

TEST(EngineRun, FirstResultMaximumAndTotal)
{
    FfEngineIndex index = OrderIndex();
    FfEngineMatcher files;
    FfEngineCompileQuery(L"file:", {}, &files);
    struct Case {
        uint32_t first, max;
        size_t picked;
        uint32_t firstPicked;  // position in name order of the first picked item
    } cases[] = {
        {0, 100, 5, 0}, {0, 2, 2, 0}, {1, 2, 2, 1}, {4, 10, 1, 4}, {5, 10, 0, 0}, {0, 0, 0, 0}, {3, 0xFFFFFFFFu, 2, 3},
    };
    std::vector<uint32_t> fileOrder;
    for (uint32_t i : FfEngineOrder(&index, 1))
        if (!index.entries[i].isFolder) fileOrder.push_back(i);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << "+" << c.max);
        std::vector<uint32_t> picked;
        EXPECT_EQ(FfEngineRun(&index, files, 1, c.first, c.max, &picked), 5u);
        EXPECT_EQ(picked, std::vector<uint32_t>(fileOrder.begin() + c.firstPicked,
                                                fileOrder.begin() + c.firstPicked + c.picked));
    }
}

TEST(EngineReply, LayoutAndEveryDeliberateFault)
{
    FfEngineQuery q;
    q.firstResult = 1;
    q.requestFlags = 84;
    q.sortType = 3;
    auto build = [&](FfEngineIndex* index, const FfEngineFaults& faults) {
        std::vector<uint32_t> picked;
        uint32_t total = FfEngineRun(index, FfEngineMatcher(), 3, 1, 3, &picked);
        return FfEngineBuildReply(*index, picked, total, q, faults);
    };
    FfEngineIndex index = OrderIndex();
    std::string good = build(&index, FfEngineFaults());
    DWORD total = 0;
    std::vector<FfEngineItem> items;
    ASSERT_TRUE(FfEngineDecodeReply(good, &total, &items));
    EXPECT_EQ(total, 6u);
    EXPECT_EQ(At32(good, 8), 1u);    // first index echoed
    EXPECT_EQ(At32(good, 12), 84u);  // request flags echoed
    EXPECT_EQ(At32(good, 16), 3u);   // sort type echoed
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].path, L"R:\\0sub\\d.cpp");
    EXPECT_EQ(items[0].size, 50u);
    EXPECT_EQ(items[0].modified, 5u);
    EXPECT_FALSE(items[0].isFolder);
    EXPECT_EQ(items[1].path, L"R:\\_e");
    // The last item's data ends the block exactly.
    uint32_t lastOffset = At32(good, 24 + 8 * 2);
    EXPECT_EQ(lastOffset + 4 + 2 * (At32(good, lastOffset) + 1) + 16, good.size());

    FfEngineFaults f;
    f.shortBlock = true;
    EXPECT_EQ(build(&index, f).size(), 12u);

    f = FfEngineFaults();
    f.excessCount = 7;
    std::string excess = build(&index, f);
    EXPECT_EQ(At32(excess, 4), 10u);
    EXPECT_EQ(excess.size(), good.size());

    f = FfEngineFaults();
    f.badOffset = true;
    std::string offset = build(&index, f);
    EXPECT_EQ(At32(offset, 24 + 8 * 2), offset.size());
    EXPECT_EQ(At32(offset, 24), At32(good, 24));  // earlier items untouched
    EXPECT_FALSE(FfEngineDecodeReply(offset, &total, &items));

    f = FfEngineFaults();
    f.badLength = true;
    std::string length = build(&index, f);
    EXPECT_EQ(lastOffset + 4 + 2 * (uint64_t)At32(length, lastOffset), length.size() + 2);  // one character past
    EXPECT_FALSE(FfEngineDecodeReply(length, &total, &items));
    f.badLengthValue = 0x7FFFFFFF;
    EXPECT_EQ(At32(build(&index, f), lastOffset), 0x7FFFFFFFu);

    // Items carry the fields the reply's flags name, fewer or more than asked, in bit order.
    struct Fields { uint32_t drop, add, echoed; uint64_t size, modified; } layouts[] = {
        {0x10, 0, 0x44, ~0ull, 5},          // no size: decodes as unknown
        {0x40, 0, 0x14, 50, ~0ull},         // no date
        {0x04, 0x03, 0x53, 50, 5},          // folder and name instead of the full path
        {0, 0x1AB, 0x1FF, 50, 5},           // every field the engine knows
        {0, 0xFFFFF000, 0x54, 50, 5},       // fields it does not know are not claimed
    };
    for (const auto& l : layouts) {
        f = FfEngineFaults();
        f.dropFlags = l.drop;
        f.addFlags = l.add;
        std::string laid = build(&index, f);
        EXPECT_EQ(At32(laid, 12), l.echoed) << l.echoed;
        ASSERT_TRUE(FfEngineDecodeReply(laid, &total, &items)) << l.echoed;
        ASSERT_EQ(items.size(), 3u);
        EXPECT_EQ(items[0].path, L"R:\\0sub\\d.cpp") << l.echoed;
        EXPECT_EQ(items[0].size, l.size) << l.echoed;
        EXPECT_EQ(items[0].modified, l.modified) << l.echoed;
    }

    // No items: the faults that need an item change nothing.
    FfEngineIndex none;
    f = FfEngineFaults();
    f.badOffset = f.badLength = true;
    std::string empty = build(&none, f);
    EXPECT_EQ(empty.size(), 20u);
    EXPECT_TRUE(FfEngineDecodeReply(empty, &total, &items));
}

// Every other test reads what the engine received through this log.
TEST(EngineLog, LinesReadBackExactlyAsWritten)
{
    FfEngineQuery q;
    q.replyWindow = 0xFFFFFFFE;
    q.replyId = 18;
    q.searchFlags = 2;
    q.firstResult = 3;
    q.maxResults = 500;
    q.requestFlags = 84;
    q.sortType = 24;
    for (const wchar_t* t : {L"", L"report file:", L"filter:\"Audio\" path:\"C:\\a b\" 100% \u00C4\u4E2D\U0001F600",
                             L"line\r\nbreak\ttab %41 %"}) {
        SCOPED_TRACE(FfTestUtf8(t));
        q.text = t;
        std::string line = FfEngineFormatLogLine(&q, nullptr, 18, 90, 1234);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
        FfEngineQueryRecord r;
        ASSERT_TRUE(FfEngineParseQueryLine(line, &r));
        EXPECT_TRUE(r.wellFormed);
        EXPECT_EQ(r.text, t);
        EXPECT_EQ((std::vector<DWORD>{r.copyDataId, r.cbData, r.replyWindow, r.replyId, r.searchFlags, r.firstResult,
                                      r.maxResults, r.requestFlags, r.sortType, r.totalMatches}),
                  (std::vector<DWORD>{18, 90, 0xFFFFFFFE, 18, 2, 3, 500, 84, 24, 1234}));
    }
    FfEngineQueryRecord r;
    ASSERT_TRUE(FfEngineParseQueryLine(FfEngineFormatLogLine(nullptr, "unterminated", 18, 29, 0), &r));
    EXPECT_FALSE(r.wellFormed);
    EXPECT_EQ(r.reason, "unterminated");
    EXPECT_EQ(r.cbData, 29u);
    EXPECT_FALSE(FfEngineParseQueryLine("something else", &r));
}
