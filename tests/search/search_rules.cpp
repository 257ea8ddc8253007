// The search's rules as plain functions: reply parsing, query text, filters, order, field texts, "path:.".
#include <string.h>
#include <list>
#include "host/host_commands.h"
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include "search/search.h"

namespace {

const unsigned long long U = FF_UNKNOWN_VALUE;

// The bytes end where a committed page does, before an inaccessible one: a byte read past them faults.
FfIpcReplyState Parse(const std::string& bytes, LONG cap, bool clear = true)
{
    const SIZE_T page = 4096, pages = bytes.size() / page + 1;
    BYTE* base = (BYTE*)VirtualAlloc(nullptr, (pages + 1) * page, MEM_COMMIT, PAGE_READWRITE);
    DWORD old;
    VirtualProtect(base + pages * page, page, PAGE_NOACCESS, &old);
    BYTE* data = (BYTE*)memcpy(base + pages * page - bytes.size(), bytes.data(), bytes.size());
    if (clear) FfClearResults();
    FfIpcReplyState state = {0, 0, -1, cap, 7};
    FfParseEverythingReply(bytes.empty() ? nullptr : data, (DWORD)bytes.size(), &state);
    VirtualFree(base, 0, MEM_RELEASE);
    return state;
}

std::string Put(std::string bytes, size_t at, DWORD value) { return bytes.replace(at, 4, (const char*)&value, 4); }
DWORD Get(const std::string& bytes, size_t at) { return *(const DWORD*)(bytes.data() + at); }
unsigned long long Ticks(FILETIME t) { return (unsigned long long)t.dwHighDateTime << 32 | t.dwLowDateTime; }

// Each match option is its own bit at offset 8 of the record; none set asks for plain matching.
TEST(Query, MatchOptionsBecomeTheRecordsSearchFlags)
{
    struct Row { int options[FF_MATCH_OPTION_COUNT]; DWORD flags; } rows[] = {
        {{0, 0, 0, 0}, 0}, {{1, 0, 0, 0}, 0x1}, {{0, 1, 0, 0}, 0x2}, {{0, 0, 1, 0}, 0x4}, {{0, 0, 0, 1}, 0x8}, {{1, 1, 1, 1}, 0xF}};
    for (const Row& r : rows) {
        FfSettings settings = {};
        memcpy(settings.matchOptions, r.options, sizeof r.options);
        FfIpcQuery query = {nullptr, 18, FfSearchFlagsFromSettings(&settings), 0, 5, 14, L"x"};
        BYTE record[FF_IPC_QUERY_HEADER + 4];
        EXPECT_EQ(FF_IPC_QUERY_HEADER + 4, FfEncodeEverythingQuery(record, &query));
        EXPECT_EQ(r.flags, Get(std::string((const char*)record, sizeof record), 8)) << r.flags;
    }
    EXPECT_EQ(0u, FfSearchFlagsFromSettings(nullptr));
}

// Replies as the stand-in engine lays them out for each set of request flags, then cut and patched (item i's
// table entry: flags at 20 + 8i, data offset at 24 + 8i).
TEST(Reply, ReadWithinTheBlockByTheFieldsItNames)
{
    FfTestEngine engine;
    FfEngineOptions options;
    std::wstring longPath = L"C:\\" + std::wstring(2100, L'p') + L"\\long.bin";
    options.items = {{L"C:\\a\\one_x.txt", 10, 111}, {L"C:\\a\\sub_x", 0, 222, true},
                     {L"D:\\two_x.bin", U - 1, 333}, {longPath, 4242, 0x0123456789ABCDEFull}};
    ASSERT_TRUE(engine.Start(options));
    auto reply = [&](const wchar_t* text, DWORD flags, DWORD first = 0, DWORD max = 100) {
        FfEngineQueryArgs args;
        args.text = text, args.requestFlags = flags, args.firstResult = first, args.maxResults = max;
        return FfEngineSendQuery(engine.window, args).bytes;
    };
    const std::string good = reply(L"_x", 0x54), head = good.substr(0, 20);
    const DWORD size = (DWORD)good.size(), last = Get(good, 40), room = (size - last - 4) / 2;
    struct Row { const char* label; std::string bytes; LONG cap, ok, count; } rows[] = {
        {"no block", "", 16, 0, 0}, {"19 bytes", good.substr(0, 19), 16, 0, 0}, {"head alone", head, 16, 1, 0},
        {"count -5", Put(good, 4, (DWORD)-5), 16, 1, 0}, {"cap 2", good, 2, 1, 2}, {"cap 0", good, 0, 1, 0},
        {"count past the table", Put(good, 4, 1000000), 16, 1, 3}, {"count 2^31-1", Put(head, 4, ~0u >> 1), 16, 1, 0},
        {"table cut in an entry", good.substr(0, 24), 16, 1, 0}, {"offset at the end", Put(good, 40, size), 16, 1, 2},
        {"no room for the length", Put(good, 40, size - 3), 16, 1, 2}, {"offset -1", Put(good, 40, ~0u), 16, 1, 2},
        {"offset -4", Put(good, 40, ~3u), 16, 1, 2}, {"first offset past the end", Put(good, 24, size + 100), 16, 1, 0},
        {"path a character past the end", Put(good, last, room), 16, 1, 2},
        {"path fits, its size and date do not", Put(good, last, room - 1), 16, 1, 2},
        {"length -1", Put(good, last, ~0u), 16, 1, 2}, {"length 0x80000000", Put(good, last, 0x80000000), 16, 1, 2},
        {"middle item bad, last good", Put(good, Get(good, 32), 0x7FFFFFFF), 16, 1, 1},
    };
    for (const Row& r : rows) {
        FfIpcReplyState s = Parse(r.bytes, r.cap);
        EXPECT_TRUE(s.done == 1 && s.ok == r.ok && s.count == r.count) << r.label << ": " << s.ok << " " << s.count;
        if (s.count > 0) { EXPECT_STREQ(L"C:\\a\\one_x.txt", g_results[0].path) << r.label; }
    }
    // The engine's total whatever the list holds; bit 0 of an item's flags alone marks a folder.
    EXPECT_EQ(1005u, Parse(Put(Put(Put(good, 0, 1005), 20, 0xFFFFFFFE), 36, 3), 16).total);
    EXPECT_TRUE(!g_results[0].isFolder && g_results[1].isFolder && g_results[2].isFolder && g_results[2].size == U - 1);

    // Pages: the engine answers matches [first, first + max) of its order, with the total of all and the first index.
    Parse(reply(L"_x", 0x54), 16);
    ASSERT_EQ(3, g_resultCount);
    const std::wstring byRank[3] = {g_results[0].path, g_results[1].path, g_results[2].path};
    struct Page { DWORD first, max; LONG count; } pages[] = {{0, 2, 2}, {1, 1, 1}, {2, 5, 1}, {3, 5, 0}, {7, 2, 0}, {1, 0, 0}};
    for (const Page& p : pages) {
        FfIpcReplyState s = Parse(reply(L"_x", 0x54, p.first, p.max), 16);
        EXPECT_TRUE(s.ok && s.count == p.count && s.total == 3 && s.offset == p.first) << p.first << "+" << p.max << ": " << s.count;
        for (LONG i = 0; i < s.count && i < p.count; i++) EXPECT_EQ(byRank[p.first + i], g_results[i].path) << p.first;
    }
    // A page appends after what is loaded; a full set takes what fits and ends the reply there.
    for (int i = g_resultCount; i < FF_RESULTS_MAX - 1; i++) FfAppendResult(L"C:\\y", 4, 0, {}, 0);
    FfIpcReplyState full = Parse(reply(L"_x", 0x54), 16, false);
    EXPECT_TRUE(full.ok && full.count == 1 && g_resultCount == FF_RESULTS_MAX && byRank[0] == g_results[FF_RESULTS_MAX - 1].path);

    // Fields as the reply names them, not as asked: one it lacks is unknown, those between are stepped over, those
    // after the date never read. more: flags added without their data; cut: bytes taken off the end.
    struct Fields { const char* label; DWORD flags, more; size_t cut; LONG count; ULONGLONG size, date; } fields[] = {
        {"as asked", 0x54, 0, 0, 3, 10, 111}, {"no size", 0x44, 0, 0, 3, U, 111}, {"no date", 0x14, 0, 0, 3, 10, U},
        {"path alone", 0x04, 0, 0, 3, U, U}, {"name, folder, extension, created", 0x7F, 0, 0, 3, 10, 111},
        {"folder and name make the path", 0x53, 0, 0, 3, 10, 111}, {"a name without its folder", 0x51, 0, 0, 0, 0, 0},
        {"no name at all", 0x50, 0, 0, 0, 0, 0}, {"unknown widths after the date", 0x1FF, ~0x1FFu, 0, 3, 10, 111},
        {"last item cut in its size", 0x7F, 0, 8 + 8 + 5, 2, 10, 111}, {"last date cut short", 0x54, 0, 1, 2, 10, 111},
        {"last item cut right after its date", 0x1FF, 0, 8 + 4, 3, 10, 111},
    };
    for (const Fields& f : fields) {
        std::string bytes = reply(L"_x", f.flags);
        FfIpcReplyState s = Parse(Put(bytes, 12, Get(bytes, 12) | f.more).substr(0, bytes.size() - f.cut), 16);
        ASSERT_TRUE(s.ok == 1 && s.count == f.count) << f.label;
        if (!f.count) continue;
        EXPECT_STREQ(L"C:\\a\\one_x.txt", g_results[0].path) << f.label;
        EXPECT_TRUE(f.size == g_results[0].size && f.date == Ticks(g_results[0].modified)) << f.label;
        EXPECT_TRUE(!wcscmp(L"C:\\a\\sub_x", g_results[1].path) && g_results[1].isFolder) << f.label;
    }
    // A path longer than a result's room is cut to 2047 characters; its size and date are its own.
    ASSERT_EQ(1, Parse(reply(L"long", 0x54), 16).count);
    EXPECT_EQ(longPath.substr(0, 2047), g_results[0].path);
    EXPECT_TRUE(g_results[0].size == 4242 && Ticks(g_results[0].modified) == 0x0123456789ABCDEFull);
}

// The catalogue from the engine's folder (ini before csv), named directly or found through APPDATA,
// else the built-in one; the remembered name selects.
TEST(Filters, CatalogueFromTheEnginesConfiguration)
{
    const std::wstring all = L"<All Files>", z127(127, L'z'),
                       builtIn = all + L"|Audio|Compressed|Document|Executable|Folder|Picture|Video";
    const std::string i1 = "[Filters]\r\nFilter1_Name=I1\r\n";
    std::wstring i63 = all, f63 = all;
    std::string ini70 = "[Filters]\r\n", csv70;
    for (int i = 1; i <= 70; i++) {
        std::string n = std::to_string(i);
        ini70 += "Filter" + n + "_Name=I" + n + "\r\n", csv70 += "F" + n + ",0,0,0,0,0,,,,,ext:f" + n + "\r\n";
        if (i < 64) i63 += L"|I" + FfTestWide(n), f63 += L"|F" + FfTestWide(n);
    }
    // ini, csv: in <APPDATA>\Everything ("": none); setting: "" that folder, "=x" x as it is, else a file in it.
    struct Row { const char* label; std::string ini, csv; std::wstring setting, names, remembered; int selected; }
    rows[] = {
        {"ini before csv", i1 + "Filter2_Name=I2\r\n", "F1", L"", all + L"|I1|I2", L"i2", 2},
        {"ini named", i1, "F1", L"Everything.ini", all + L"|I1", L"", 0},
        {"csv alone", "", "Name\r\nF1\r\nF2\r\n", L"", all + L"|F1|F2", L"gone", 0},
        {"ini without filters: csv", "[Other]\r\nx=1\r\n", "F1", L"", all + L"|F1", L"", 0},
        {"ini numbering ends at a gap", i1 + "Filter3_Name=I3\r\n", "", L"", all + L"|I1", L"", 0},
        {"csv header alone: built in", "", "name,x\r\n", L"", builtIn, L"VIDEO", 7},
        {"nothing there", "", "", L"", builtIn, L"audio", 1},
        {"no backslash", i1, "", L"=relative.ini", builtIn, L"", 0},
        {"APPDATA when Auto", "[Other]\r\n", "F1\r\n", L"=auto", all + L"|F1", L"", 0},
        {"APPDATA when empty", i1, "", L"=", all + L"|I1", L"", 0},
        {"csv: empty lines, byte-order mark, header", "", "\xEF\xBB\xBF\r\n\nNAME,x\r\nS\xC3\xA9rie,1\r\n", L"",
         all + L"|S\u00E9rie", L"", 0},
        {"csv: quoted names", "", "\"Say \"\"hi\"\", there\",1\n\"quoted\"x,1\n\"unclosed,1,2\n", L"",
         all + L"|Say \"hi\", there|quoted|unclosed,1,2", L"", 0},
        {"csv: no empty names, a later header kept", "", "Name\r\n,1\r\nname\r\n", L"", all + L"|name", L"", 0},
        {"csv: lines cut at 2047", "", std::string(3000, 'z') + "\n", L"", all + L"|" + z127 + L"|" + z127, L"", 0},
        {"csv: 64 at most", "", csv70, L"", f63, L"", 0}, {"ini: 64 at most", ini70, "", L"", i63, L"", 0},
    };
    for (const Row& r : rows) {
        std::wstring appData = FfTestMakeTempDir(L"filters"), dir = appData + L"\\Everything";
        FfTestEnvVar env(L"APPDATA", appData.c_str());
        CreateDirectoryW(dir.c_str(), nullptr);
        if (!r.ini.empty()) FfTestWriteBytes(dir + L"\\Everything.ini", r.ini);
        if (!r.csv.empty()) FfTestWriteBytes(dir + L"\\filters.csv", r.csv);
        std::wstring setting = r.setting.empty() ? dir : r.setting[0] == L'=' ? r.setting.substr(1) : dir + L"\\";
        setting += r.setting[0] == L'=' ? L"" : r.setting;
        FfCopyText(g_settings.everythingIniPath, FF_PATH_CHARS, setting.c_str());
        FfCopyText(g_settings.lastSelectedFilter, FF_FILTER_NAME_CHARS, r.remembered.c_str());
        FfLoadFilterCatalogue(nullptr);
        std::wstring names;
        for (int i = 0; i < g_filterCount; i++) names += (i ? L"|" : L"") + std::wstring(g_filters[i].name);
        EXPECT_TRUE(r.names == names && r.selected == g_selectedFilter) << r.label << ": " << FfTestUtf8(names);
        if (r.names == builtIn) { EXPECT_STREQ(L"folder:", g_filters[5].search); }
    }
}

// Each version's filter file, read by its header in any order (without one: name field 0, search field 10);
// the stock keys shown as the engine's window shows them; which file is read for which engine.
TEST(Filters, BothLayoutsTheShownNamesAndWhichFile)
{
    const std::wstring v14 = L"Name,Case,Whole Word,Path,Diacritics,Regex,Search,Macro,Key",
                       v15 = L"Name,Case,Whole Word,Path,Diacritics,Prefix,Suffix,Ignore Punctuation,Ignore Whitespace,"
                             L"Regex,Search,Columns,Sort,Descending,View,Macro,Key";
    struct Row { const char* label; std::wstring header, line, filter; int mapped; } rows[] = {  // name|search|flags|macro
        {"1.4 stock row", v14, L"\"DOCUMENT\",0,0,0,0,0,\"ext:doc;txt\",\"doc\",\"\"", L"DOCUMENT|ext:doc;txt|0|doc", 1},
        {"1.4 every flag, a quoted comma", v14, L"Mine,1,1,1,1,1,\"a, \"\"b\"\"\",m,", L"Mine|a, \"b\"|31|m", 1},
        {"1.5: whole word and regex; prefix and suffix are none of the five", v15,
         L"\"VIDEO\",0,1,0,0,1,1,0,0,1,\"ext:mp4\",\"\",0,0,0,\"video\",\"\"", L"VIDEO|ext:mp4|18|video", 1},
        {"shuffled header, other case", L"Search,Macro,name,REGEX,case", L"x:y,mac,Shuffled,1,0", L"Shuffled|x:y|16|mac", 1},
        {"row shorter than the header", v14, L"\"AUDIO\",1", L"AUDIO||1|", 1},
        {"numbers are numbers", v14, L"N,2,0,x,0,0,s", L"N|s|1|", 1},
        {"unclosed quote", v14, L"\"open,1,1", L"open,1,1||0|", 1},
        {"no header: fixed fields", L"", L"F,1,1,1,1,1,1,1,1,1,ten,eleven", L"F|ten|0|", 0},
        {"a first field name alone is no header", L"name,x", L"G,1,1,1,1,1,1,1,1,1,ten", L"G|ten|0|", 0},
        {"Name without Search", L"Name,Case", L"H,1,1,1,1,1,1,1,1,1,ten", L"H|ten|0|", 0},
    };
    for (const Row& r : rows) {
        FfCsvColumns columns;
        EXPECT_EQ(r.mapped, FfMapCsvHeader(r.header.c_str(), &columns)) << r.label;
        FfFilter f;
        memset(&f, 0x55, sizeof f);
        FfParseCsvFilterLine(r.line.c_str(), &columns, &f);
        std::wstring got = std::wstring(f.name) + L"|" + f.search + L"|" + std::to_wstring(f.flags) + L"|" + f.macro;
        EXPECT_EQ(r.filter, got) << r.label;
    }
    for (auto [name, shown] : {std::pair{L"AUDIO", L"Audio"}, {L"EVERYTHING", L"<All Files>"}, {L"FOLDER", L"Folder"},
                               {L"Audio", L"Audio"}, {L"audio", L"audio"}, {L"DOCUMENTS", L"DOCUMENTS"}})
        EXPECT_STREQ(shown, FfFilterShownName(name));

    // Filters.csv beside Filters-1.5a.csv: the engine found, or the setting, says which is the engine's.
    std::wstring appData = FfTestMakeTempDir(L"versions"), dir = appData + L"\\Everything", alpha = appData + L"\\alpha";
    FfTestEnvVar env(L"APPDATA", appData.c_str());
    for (const std::wstring& d : {dir, alpha}) {
        CreateDirectoryW(d.c_str(), nullptr);
        FfTestWriteBytes(d + L"\\Filters.csv", FfTestUtf8(v14) + "\r\n\"EVERYTHING\",0,0,0,0,0,\"\",\"\",\"\"\r\n"
                         "\"AUDIO\",0,0,0,0,0,\"ext:mp3\",\"audio\",\"\"\r\n\"DOCUMENT\",0,0,0,0,0,\"ext:txt\",\"doc\",\"\"\r\n");
        FfTestWriteBytes(d + L"\\Filters-1.5a.csv", FfTestUtf8(v15) + "\r\n\"EVERYTHING\",0,0,0,0,0,0,0,0,0,\"\"\r\n"
                         "\"VIDEO\",0,0,0,0,0,0,0,0,0,\"ext:mp4\"\r\nMine 1.5,0,0,0,0,0,0,0,0,0,x\r\n");
    }
    FfTestWriteBytes(dir + L"\\Everything.ini", "[Everything]\r\n");
    FfTestWriteBytes(alpha + L"\\Everything-1.5a.ini", "[Everything]\r\n");  // a portable 1.5 alpha's folder
    const std::wstring all = L"<All Files>", files14 = all + L"|AUDIO|DOCUMENT", files15 = all + L"|VIDEO|Mine 1.5";
    WNDCLASSW wc = {0, DefWindowProcW, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr,
                    L"EVERYTHING_TASKBAR_NOTIFICATION_(1.5a)"};
    RegisterClassW(&wc);
    HWND engine15 = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    struct Choice { const char* label; std::wstring setting; HWND engine; std::wstring names, remembered; int selected; }
    choices[] = {
        {"1.4 by default", L"Auto", nullptr, files14, L"Document", 2},
        {"the 1.5a engine", L"Auto", engine15, files15, L"mine 1.5", 2},
        {"a folder, the 1.5a engine", dir, engine15, files15, L"", 0},
        {"a folder of the 1.4, no engine", dir, nullptr, files14, L"DOCUMENT", 2},
        {"the 1.5a ini named", dir + L"\\Everything-1.5a.ini", nullptr, files15, L"Video", 1},
        {"a folder of the 1.5a alone", alpha, nullptr, files15, L"<all files>", 0},
    };
    for (const Choice& c : choices) {
        FfCopyText(g_settings.everythingIniPath, FF_PATH_CHARS, c.setting.c_str());
        FfCopyText(g_settings.lastSelectedFilter, FF_FILTER_NAME_CHARS, c.remembered.c_str());
        FfLoadFilterCatalogue(c.engine);
        std::wstring names;
        for (int i = 0; i < g_filterCount; i++) names += (i ? L"|" : L"") + std::wstring(g_filters[i].name);
        EXPECT_TRUE(c.names == names && c.selected == g_selectedFilter) << c.label << ": " << FfTestUtf8(names);
    }
    EXPECT_TRUE(g_filters[1].flags == 0 && !wcscmp(L"ext:mp4", g_filters[1].search));
    DestroyWindow(engine15);
}

// What a run sends for a filter: below 1.5 (or not known) its search in a group, each flag a modifier in front;
// from 1.5 on its name; folders come in for an empty search or one holding "folder:".
TEST(Filters, ClauseByVersionAndFlags)
{
    const DWORD all = FF_FILTER_CASE | FF_FILTER_WHOLE_WORD | FF_FILTER_PATH | FF_FILTER_DIACRITICS | FF_FILTER_REGEX;
    struct Row { const wchar_t *name, *search; DWORD flags; int function; const wchar_t* clause; int folders; } rows[] = {
        {L"DOCUMENT", L"ext:doc;txt", 0, 0, L"<ext:doc;txt>", 0}, {L"DOCUMENT", L"ext:doc;txt", 0, 1, L"filter:\"DOCUMENT\"", 0},
        {L"FOLDER", L"folder:", 0, 0, L"<folder:>", 1}, {L"X", L"Folder:", 0, 0, L"<Folder:>", 0},
        {L"C", L"a b", FF_FILTER_CASE, 0, L"case:<a b>", 0}, {L"W", L"a", FF_FILTER_WHOLE_WORD, 0, L"wholeword:<a>", 0},
        {L"P", L"a", FF_FILTER_PATH, 0, L"path:<a>", 0}, {L"D", L"a", FF_FILTER_DIACRITICS, 0, L"diacritics:<a>", 0},
        {L"R", L"^a.*$", FF_FILTER_REGEX, 0, L"regex:<^a.*$>", 0},
        {L"All", L"x", all, 0, L"case:wholeword:path:diacritics:regex:<x>", 0}, {L"All", L"x", all, 1, L"filter:\"All\"", 0},
        {L"EVERYTHING", L"", all, 0, L"", 1}, {L"<All Files>", L"", 0, 1, L"", 1},
    };
    for (const Row& r : rows) {
        FfFilter f = {};
        FfCopyText(f.name, FF_FILTER_NAME_MAX, r.name), FfCopyText(f.search, FF_FILTER_SEARCH_MAX, r.search), f.flags = r.flags;
        wchar_t clause[FF_FILTER_CLAUSE_MAX] = L"old";
        EXPECT_EQ(r.folders, FfComposeFilterClause(&f, r.function, clause, FF_FILTER_CLAUSE_MAX)) << FfTestUtf8(r.clause);
        EXPECT_STREQ(r.clause, clause);
    }
    // The longest search with every modifier fits whole.
    FfFilter longest = {};
    std::wstring search(FF_FILTER_SEARCH_MAX - 1, L's');
    FfCopyText(longest.search, FF_FILTER_SEARCH_MAX, search.c_str()), longest.flags = all;
    wchar_t clause[FF_FILTER_CLAUSE_MAX];
    FfComposeFilterClause(&longest, 0, clause, FF_FILTER_CLAUSE_MAX);
    EXPECT_EQ(L"case:wholeword:path:diacritics:regex:<" + search + L">", clause);
    // The version decides: 1.5 and later know filter:; 1.4, and an engine that did not say, do not.
    struct Version { FfEngineVersion v; int knows; } versions[] = {
        {{1, 4, 1, 1026}, 0}, {{1, 5, 0, 1384}, 1}, {{1, 6, 0, 0}, 1}, {{2, 0, 0, 0}, 1}, {{0, 0, 0, 0}, 0}, {{0, 9, 0, 0}, 0}};
    for (const Version& v : versions) EXPECT_EQ(v.knows, FfVersionKnowsFilterFunction(&v.v)) << v.v.major << "." << v.v.minor;
}

// The bytes of the process heap's blocks in use.
SIZE_T HeapBytesInUse()
{
    SIZE_T bytes = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(GetProcessHeap());
    while (HeapWalk(GetProcessHeap(), &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += entry.cbData;
    HeapUnlock(GetProcessHeap());
    return bytes;
}

FfResult Make(const wchar_t* path, unsigned long long size = 0, unsigned long long modified = 0, DWORD folder = 0)
{
    static std::list<std::wstring> paths;  // a record points at its path: kept for the program's life
    FfResult r = {};
    r.path = paths.emplace_back(path).c_str();
    r.size = size, r.modified = {(DWORD)modified, (DWORD)(modified >> 32)}, r.isFolder = folder;
    return r;
}

TEST(Order, ColumnsSortTypesAndFilesFirst)
{
    const int N = FF_SORT_NAME, S = FF_SORT_SIZE, D = FF_SORT_DATE, F = FF_SORT_FOLDER, E = FF_SORT_EXTENSION;
    struct Row { const char* label; FfResult a, b; int column, sign; } rows[] = {  // sign: a against b, ascending
        {"name folds ASCII", Make(L"C:\\x\\b.t"), Make(L"D:\\B.T"), N, 0}, {"_ < x", Make(L"a_"), Make(L"aX"), N, -1},
        {"size 64-bit", Make(L"", U - 1), Make(L"", 1), S, 1}, {"unknown size lowest", Make(L"", U), Make(L""), S, -1},
        {"date high bit", Make(L"a", 0, 1ull << 63), Make(L"b", 0, 1ull << 32), D, 1},
        {"unknown date lowest", Make(L"", 0, U), Make(L""), D, -1}, {"other", Make(L"", 9, 5), Make(L"", 1, 6), 9, -1},
        {"folder by its own name", Make(L"C:\\A\\Docs\\x.txt"), Make(L"D:\\docs\\y.txt"), F, 0},
        {"folder of a drive root", Make(L"C:\\x.txt"), Make(L"D:\\B\\y.txt"), F, 1},
        {"extension folded", Make(L"C:\\a.tar.gz"), Make(L"b.GZ"), E, 0}, {"dot file", Make(L".rc"), Make(L"x"), E, 0},
        {"a folder has none", Make(L"C:\\dir.d", 0, 0, 1), Make(L"C:\\plain"), E, 0},
    };
    for (const Row& r : rows) {
        int up = FfCompareResults(&r.a, &r.b, r.column, 0), down = FfCompareResults(&r.a, &r.b, r.column, 1);
        EXPECT_TRUE(up == r.sign && down == -r.sign) << r.label << ": " << up << " " << down;
    }
    // The engine's sort type gives the first column; a first click on it is a new choice (sizes and dates
    // start descending), the next turns it.
    struct Type { DWORD sortType; int column, descending, afterClick; } types[] = {
        {2, N, 1, 0}, {3, F, 0, 0}, {5, S, 0, 1}, {8, E, 1, 0}, {13, D, 0, 1}, {14, D, 1, 1}, {0, D, 1, 1}};
    for (const Type& t : types) {
        g_settings.sortType = t.sortType, g_localSortActive = 1, g_resultCount = 0;
        FfInitSortFromSortType();
        EXPECT_TRUE(t.column == g_sortColumn && t.descending == g_sortDescending && !g_localSortActive) << t.sortType;
        FfApplyColumnSort(t.column);
        EXPECT_TRUE(t.afterClick == g_sortDescending && g_localSortActive) << t.sortType;
        FfApplyColumnSort(t.column);
        EXPECT_EQ(!t.afterClick, g_sortDescending) << t.sortType;
    }
    // A pass the engine answered in another sort than asked is put in the asked order; one in that order stays.
    struct Pass { DWORD asked, answered; std::wstring order; } passes[] = {
        {6, 1, L"c|a|b"}, {1, 6, L"a|b|c"}, {14, 1, L"b|c|a"}, {6, 6, L"a|b|c"}, {99, 1, L"b|c|a"}};
    for (const Pass& p : passes) {
        FfResult set[3] = {Make(L"a", 5, 1), Make(L"b", 1, 9), Make(L"c", 7, 3)};
        FfOrderPassAsAsked(set, 3, p.asked, p.answered);
        EXPECT_EQ(p.order, std::wstring(set[0].path) + L"|" + set[1].path + L"|" + set[2].path) << p.asked;
    }
    // Files before folders, each group in its order (capitals are folders).
    for (std::wstring in : {L"AbCde", L"abCD", L"aBCd", L"AB", L"ba"}) {
        std::vector<FfResult> set;
        std::wstring files, folders, out;
        for (wchar_t c : in)
            set.push_back(Make(std::wstring(1, c).c_str(), 0, 0, iswupper(c))), (iswupper(c) ? folders : files) += c;
        FfOrderFilesBeforeFolders(set.data(), (int)set.size());
        for (const FfResult& r : set) out += r.path;
        EXPECT_EQ(files + folders, out);
    }
    // Reordering borrows its scratch from the heap and gives it back: a thousand runs leave nothing behind.
    const FfResult unordered[3] = {Make(L"A", 0, 0, 1), Make(L"b"), Make(L"c")};
    SIZE_T before = HeapBytesInUse();
    for (int run = 0; run < 1000; run++) {
        FfResult set[3] = {unordered[0], unordered[1], unordered[2]};
        FfOrderFilesBeforeFolders(set, 3);
    }
    EXPECT_LT(HeapBytesInUse(), before + 16384);
}

TEST(Texts, SizesAndDates)
{
    const unsigned long long K = 1024;
    struct Size { unsigned long long size; const wchar_t* text; } sizes[] = {
        {0, L"0 B"}, {1023, L"1023 B"}, {1024, L"1.0 KB"}, {1536, L"1.5 KB"}, {K * K - 1, L"1024.0 KB"},
        {K * K, L"1.0 MB"}, {K * K * K * 5 / 2, L"2.5 GB"}, {K * K * K * K, L"1.0 TB"},
        {K * K * K * K * K, L"1024.0 TB"}, {U - 1, L"16777216.0 TB"}, {U, L""}};
    for (const Size& s : sizes) EXPECT_STREQ(s.text, FfFormatSize(s.size)) << s.size;
    // A file's icon is looked up by its extension: the last dot's part, or nothing without one.
    for (auto [path, key] : {std::pair{L"C:\\a.b\\c.txt", L".txt"}, {L"C:\\a\\README", L""}, {L"x.tar.GZ", L".GZ"}}) {
        wchar_t got[16] = L"old";
        FfIconKeyFromPath(path, got, 16);
        EXPECT_STREQ(key, got);
    }

    // No date, or the engine's unknown one, is an empty cell; "Auto" (any case) is the system's own.
    EXPECT_TRUE(!*FfFormatDateTime({0, 0}) && !*FfFormatDateTime({0xFFFFFFFF, 0xFFFFFFFF}));
    EXPECT_TRUE(*FfFormatDateTime({0, 30000000}) && *FfFormatDateTime({1, 0})) << "a date with a zero half is a date";
    SYSTEMTIME local = {2024, 3, 2, 5, 14, 7, 9, 0};
    FILETIME localTime, utc;
    ASSERT_TRUE(SystemTimeToFileTime(&local, &localTime) && LocalFileTimeToFileTime(&localTime, &utc));
    g_settings.dateFormat[0] = g_settings.timeFormat[0] = 0;
    std::wstring system = FfFormatDateTime(utc);
    for (const wchar_t* picture : {L"auto", L"yyyy-MM-dd", L"AUTO"}) {
        FfCopyText(g_settings.dateFormat, FF_PICTURE_CHARS, picture);
        FfCopyText(g_settings.timeFormat, FF_PICTURE_CHARS, picture[0] == L'y' ? L"HH:mm:ss" : L"Auto");
        EXPECT_EQ(picture[0] == L'y' ? L"2024-03-05 14:07:09" : system, FfFormatDateTime(utc)) << FfTestUtf8(picture);
    }
}

TEST(PathToken, WhereItIsWhatItBecomesAndTheFolderScope)
{
    struct Find { const wchar_t* typed; int at; } finds[] = {
        {L"path:.", 0}, {L"notes path:.", 6}, {L"PATH:. x", 0}, {L"Path:.\tx", 0}, {L"xpath:.", 1}, {L"path:..", -1},
        {L"path:.txt", -1}, {L"path:", -1}, {L"path:.x path:.", 8}, {L"", -1}, {L"pa th:.", -1}, {L"p\u00C1th:.", -1}};
    for (const Find& f : finds) EXPECT_EQ(f.at, FfFindPathToken(f.typed)) << FfTestUtf8(f.typed);

    std::wstring f2047(2047, L'f');
    struct Substitute { std::wstring typed, folder, query; } substitutes[] = {  // the first token only, cut to 899
        {L"a path:. b path:.", L"E:", L"a path:\"E:\" b path:."}, {L"path:.", f2047, (L"path:\"" + f2047).erase(899)}};
    for (const Substitute& s : substitutes) {
        wchar_t out[FF_SUBSTITUTED_QUERY_MAX];
        int at = FfFindPathToken(s.typed.c_str());
        FfSubstitutePathToken(out, FF_SUBSTITUTED_QUERY_MAX, s.typed.c_str(), at, s.folder.c_str());
        EXPECT_EQ(s.query, out) << FfTestUtf8(s.typed);
    }
    // One trailing backslash, so that C:\Work does not also find C:\Work2; the host's plug-in
    // folders (three leading backslashes, ours among them) are none at all.
    struct Scope { std::wstring folder, scoped; } scopes[] = {
        {L"C:\\Work", L"C:\\Work\\"}, {L"C:\\Work\\\\", L"C:\\Work\\"}, {L"C:\\", L"C:\\"}, {L"C:", L"C:\\"},
        {L"\\\\server\\share", L"\\\\server\\share\\"}, {L"D:\\x\\Fleetfinder", L"D:\\x\\Fleetfinder\\"},
        {L"\\\\\\Fleetfinder", L""}, {L"\\\\\\Fleetfinder\\sub\\", L""}, {L"\\\\\\OtherFs\\x", L""}, {L"\\", L""},
        {L"", L""}, {f2047, f2047.substr(0, 2046) + L"\\"}};
    for (const Scope& s : scopes) {
        wchar_t out[FF_ACTIVE_FOLDER_MAX];
        int ok = FfScopeFolderForQuery(s.folder.c_str(), out, FF_ACTIVE_FOLDER_MAX);
        EXPECT_TRUE(ok == !s.scoped.empty() && s.scoped == out) << FfTestUtf8(s.folder.substr(0, 20));
    }
}

}  // namespace
