// The stand-in engine's parts without a window: records, csv filters, matching, orders, replies, log lines.
#include <gtest/gtest.h>
#include <string.h>
#include <algorithm>
#include "engine.h"
#include "enginectl.h"

static std::string Record(uint32_t replyWindow, uint32_t sortType, const std::wstring& text, bool terminate = true)
{
    FfEngineQueryArgs a;
    a.text = text;
    a.sortType = sortType;
    std::string r = FfEngineBuildQueryRecord(replyWindow, a);
    if (!terminate) r.resize(r.size() - 2);
    return r;
}

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
        if (c.reason) {
            ASSERT_NE(reason, nullptr);
            EXPECT_STREQ(reason, c.reason);
        } else {
            ASSERT_EQ(reason, nullptr);
            EXPECT_EQ(q.text, c.text);
        }
    }
    FfEngineQuery q;
    ASSERT_EQ(FfEngineParseRecord(good.data(), good.size(), &q), nullptr);
    EXPECT_EQ(q.replyWindow, 0x12345678u);
    EXPECT_EQ(q.replyId, 18u);
    EXPECT_EQ(q.searchFlags, 0u);
    EXPECT_EQ(q.firstResult, 0u);
    EXPECT_EQ(q.maxResults, 100u);
    EXPECT_EQ(q.requestFlags, 84u);
    EXPECT_EQ(q.sortType, 14u);
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
        auto got = FfEngineParseCsvFilters(c.csv);
        ASSERT_EQ(got.size(), c.expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].name, c.expected[i].first);
            EXPECT_EQ(got[i].search, c.expected[i].second);
        }
    }
}

TEST(EngineFilters, SevenBuiltInsWithTheirMeanings)
{
    auto f = FfEngineBuiltInFilters();
    ASSERT_EQ(f.size(), 7u);
    const wchar_t* names[] = {L"Audio", L"Compressed", L"Document", L"Executable", L"Folder", L"Picture", L"Video"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(f[i].name, names[i]);
    EXPECT_EQ(f[4].search, L"folder:");
    EXPECT_NE(f[0].search.find(L";mp3;"), std::wstring::npos);
    EXPECT_EQ(f[3].search, L"ext:bat;cmd;exe;msi;msp;msu;ps1;scr;vbs");
}

static std::vector<FfEngineEntry> MatchIndex()
{
    struct Item {
        const wchar_t* path;
        bool folder;
    } items[] = {
        {L"C:\\Work\\Report 2024.TXT", false}, {L"C:\\Work\\notes.md", false},  {L"C:\\Work\\Reports", true},
        {L"C:\\Work\\Reports\\q1.pdf", false}, {L"C:\\Work2\\report.txt", false}, {L"C:\\Other\\song.Mp3", false},
        {L"C:\\Other\\\u00C4pfel.txt", false}, {L"C:\\Other\\noext", false},     {L"C:\\Other\\music.mp3", true},
    };
    std::vector<FfEngineEntry> out;
    for (const auto& it : items) {
        FfEngineEntry e;
        FfEngineMakeEntry(it.path, 10, 20, it.folder, &e);
        out.push_back(e);
    }
    return out;
}

static std::wstring Matching(const std::wstring& query, const std::vector<FfEngineFilter>& filters)
{
    FfEngineMatcher m;
    FfEngineCompileQuery(query, filters, &m);
    std::wstring names;
    for (const auto& e : MatchIndex())
        if (FfEngineMatch(m, e)) names += e.path.substr(e.path.find_last_of(L'\\') + 1) + L"|";
    return names;
}

TEST(EngineQuery, WordsKindsFoldersExtensionsAndFilters)
{
    std::vector<FfEngineFilter> filters = {{L"Texts", L"ext:txt"}, {L"Dirs", L"folder:"}, {L"Loop", L"filter:Loop"},
                                           {L"Nested", L"filter:\"Texts\" 2024"}};
    struct Case {
        const wchar_t* query;
        const wchar_t* expected;
    } cases[] = {
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
        {L"path:\"c:\\work\"", L"Report 2024.TXT|notes.md|Reports|q1.pdf|"},
        {L"path:\"C:\\Work\\\"", L"Report 2024.TXT|notes.md|Reports|q1.pdf|"},
        {L"path:\"C:\\Work\\Reports\" file:", L"q1.pdf|"},
        {L"path:C:\\Wor", L""},  // a folder, not a prefix of a name
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
    for (const auto& c : cases) {
        SCOPED_TRACE(FfTestUtf8(c.query));
        EXPECT_EQ(Matching(c.query, filters), c.expected);
    }
}

// Five items whose every key differs, so each sort type has exactly one right order.
static FfEngineIndex OrderIndex()
{
    struct Item {
        const wchar_t* path;
        uint64_t size, modified, created, accessed;
        uint32_t attributes;
        bool folder;
    } items[] = {
        {L"R:\\b.txt", 300, 3, 50, 700, 0x21, false},
        {L"R:\\A.doc", 100, 1, 40, 900, 0x20, false},
        {L"R:\\c.txt", 200, 2, 10, 800, 0x23, false},
        {L"R:\\0sub\\d.cpp", 50, 5, 20, 500, 0x22, false},
        {L"R:\\_e", 400, 4, 30, 600, 0x80, false},
        {L"R:\\0sub", 0, 6, 60, 1000, 0x10, true},
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

static std::wstring OrderOf(FfEngineIndex* index, uint32_t sortType)
{
    std::wstring names;
    for (uint32_t i : FfEngineOrder(index, sortType)) {
        const auto& p = index->entries[i].path;
        names += p.substr(p.find_last_of(L'\\') + 1) + L" ";
    }
    return names;
}

TEST(EngineOrder, EverySortTypeAscendingAndItsDescendingTwin)
{
    struct Case {
        uint32_t sortType;
        const wchar_t* ascending;
    } cases[] = {
        {1, L"0sub _e A.doc b.txt c.txt d.cpp "},
        {3, L"0sub d.cpp _e A.doc b.txt c.txt "},
        {5, L"0sub d.cpp A.doc c.txt b.txt _e "},
        {7, L"0sub _e d.cpp A.doc b.txt c.txt "},
        {9, L"d.cpp A.doc _e 0sub b.txt c.txt "},  // "cpp file" "doc file" "file" "file folder" "txt file"
        {11, L"c.txt d.cpp _e A.doc b.txt 0sub "},
        {13, L"A.doc c.txt b.txt _e d.cpp 0sub "},
        {15, L"0sub A.doc b.txt d.cpp c.txt _e "},
        {23, L"d.cpp _e b.txt c.txt A.doc 0sub "},
    };
    FfEngineIndex index = OrderIndex();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sortType);
        EXPECT_EQ(OrderOf(&index, c.sortType), c.ascending);
        // The descending twin is the exact reverse here, since no two items share a key.
        std::wstring asc = c.ascending, reversed;
        size_t end = asc.size();
        while (end > 0) {
            size_t start = asc.rfind(L' ', end - 2);
            start = start == std::wstring::npos ? 0 : start + 1;
            reversed += asc.substr(start, end - start);
            end = start;
        }
        uint32_t descending = c.sortType == 23 ? 24 : c.sortType + 1;
        EXPECT_EQ(OrderOf(&index, descending), reversed);
    }
    // Numbers outside the table order by name.
    for (uint32_t unknown : {0u, 17u, 22u, 25u, 1000u}) EXPECT_EQ(OrderOf(&index, unknown), OrderOf(&index, 1));
}

TEST(EngineOrder, EqualKeysFallBackToPathInBothDirections)
{
    FfEngineIndex index;
    for (const wchar_t* p : {L"R:\\z.txt", L"R:\\a.txt", L"R:\\M.txt"}) {
        FfEngineEntry e;
        FfEngineMakeEntry(p, 5, 5, false, &e);
        index.entries.push_back(e);
    }
    EXPECT_EQ(OrderOf(&index, 5), L"a.txt M.txt z.txt ");
    EXPECT_EQ(OrderOf(&index, 6), L"a.txt M.txt z.txt ");
    EXPECT_EQ(OrderOf(&index, 14), L"a.txt M.txt z.txt ");
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
    const auto& byName = FfEngineOrder(&index, 1);
    std::vector<uint32_t> fileOrder;
    for (uint32_t i : byName)
        if (!index.entries[i].isFolder) fileOrder.push_back(i);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << "+" << c.max);
        std::vector<uint32_t> picked;
        EXPECT_EQ(FfEngineRun(&index, files, 1, c.first, c.max, &picked), 5u);
        ASSERT_EQ(picked.size(), c.picked);
        for (size_t k = 0; k < picked.size(); ++k) EXPECT_EQ(picked[k], fileOrder[c.firstPicked + k]);
    }
}

static std::string BuildFor(FfEngineIndex* index, const FfEngineFaults& faults, std::vector<uint32_t>* picked)
{
    FfEngineMatcher all;
    FfEngineQuery q;
    q.firstResult = 1;
    q.requestFlags = 84;
    q.sortType = 3;
    uint32_t total = FfEngineRun(index, all, 3, 1, 3, picked);
    return FfEngineBuildReply(*index, *picked, total, q, faults);
}

static uint32_t At32(const std::string& b, size_t at)
{
    uint32_t v = 0;
    memcpy(&v, b.data() + at, 4);
    return v;
}

TEST(EngineReply, LayoutAndEveryDeliberateFault)
{
    FfEngineIndex index = OrderIndex();
    std::vector<uint32_t> picked;
    std::string good = BuildFor(&index, FfEngineFaults(), &picked);
    DWORD total = 0;
    std::vector<FfEngineItem> items;
    ASSERT_TRUE(FfEngineDecodeReply(good, &total, &items));
    EXPECT_EQ(total, 6u);
    EXPECT_EQ(At32(good, 8), 1u);   // first index echoed
    EXPECT_EQ(At32(good, 12), 84u); // request flags echoed
    EXPECT_EQ(At32(good, 16), 3u);  // sort type echoed
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
    EXPECT_EQ(BuildFor(&index, f, &picked).size(), 12u);

    f = FfEngineFaults();
    f.excessCount = 7;
    std::string excess = BuildFor(&index, f, &picked);
    EXPECT_EQ(At32(excess, 4), 10u);
    EXPECT_EQ(excess.size(), good.size());

    f = FfEngineFaults();
    f.badOffset = true;
    std::string offset = BuildFor(&index, f, &picked);
    EXPECT_EQ(At32(offset, 24 + 8 * 2), offset.size());
    EXPECT_EQ(At32(offset, 24), At32(good, 24));  // earlier items untouched
    EXPECT_FALSE(FfEngineDecodeReply(offset, &total, &items));

    f = FfEngineFaults();
    f.badLength = true;
    std::string length = BuildFor(&index, f, &picked);
    uint32_t len = At32(length, lastOffset);
    EXPECT_EQ(lastOffset + 4 + 2 * (uint64_t)len, length.size() + 2);  // the path alone runs one character past
    EXPECT_FALSE(FfEngineDecodeReply(length, &total, &items));
    f.badLengthValue = 0x7FFFFFFF;
    EXPECT_EQ(At32(BuildFor(&index, f, &picked), lastOffset), 0x7FFFFFFFu);

    // No items: the faults that need an item change nothing.
    FfEngineIndex none;
    f = FfEngineFaults();
    f.badOffset = f.badLength = true;
    std::string empty = BuildFor(&none, f, &picked);
    EXPECT_EQ(empty.size(), 20u);
    EXPECT_TRUE(FfEngineDecodeReply(empty, &total, &items));
}

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
    const wchar_t* texts[] = {L"", L"report file:", L"filter:\"Audio\" path:\"C:\\a b\" 100% \u00C4\u4E2D\U0001F600",
                              L"line\r\nbreak\ttab %41 %"};
    for (const wchar_t* t : texts) {
        SCOPED_TRACE(FfTestUtf8(t));
        q.text = t;
        std::string line = FfEngineFormatLogLine(&q, nullptr, 18, 90, 1234);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1);
        FfEngineQueryRecord r;
        ASSERT_TRUE(FfEngineParseQueryLine(line, &r));
        EXPECT_TRUE(r.wellFormed);
        EXPECT_EQ(r.text, t);
        EXPECT_EQ(r.copyDataId, 18u);
        EXPECT_EQ(r.cbData, 90u);
        EXPECT_EQ(r.replyWindow, 0xFFFFFFFEu);
        EXPECT_EQ(r.searchFlags, 2u);
        EXPECT_EQ(r.firstResult, 3u);
        EXPECT_EQ(r.maxResults, 500u);
        EXPECT_EQ(r.requestFlags, 84u);
        EXPECT_EQ(r.sortType, 24u);
        EXPECT_EQ(r.totalMatches, 1234u);
    }
    FfEngineQueryRecord r;
    ASSERT_TRUE(FfEngineParseQueryLine(FfEngineFormatLogLine(nullptr, "unterminated", 18, 29, 0), &r));
    EXPECT_FALSE(r.wellFormed);
    EXPECT_EQ(r.reason, "unterminated");
    EXPECT_EQ(r.cbData, 29u);
    EXPECT_FALSE(FfEngineParseQueryLine("something else", &r));
}
