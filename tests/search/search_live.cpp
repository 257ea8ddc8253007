// The search with the stand-in engine and host: engine states, search runs, the host's commands, the clipboard.
#include <algorithm>
#include <thread>
#include "host/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

unsigned long long CpuMs()  // of this thread
{
    ULARGE_INTEGER t[4];
    GetThreadTimes(GetCurrentThread(), (FILETIME*)t, (FILETIME*)(t + 1), (FILETIME*)(t + 2), (FILETIME*)(t + 3));
    return (t[2].QuadPart + t[3].QuadPart) / 10000;
}

// C:\r\<stem>1000.txt... (sizes 1, 2, ...), then the folders C:\r\<stem>dir1000...
std::vector<FfEngineItem> Items(const wchar_t* stem, int files, int folders)
{
    std::vector<FfEngineItem> items;
    for (int i = 0; i < files + folders; i++) {
        std::wstring n = std::to_wstring(1000 + (i < files ? i : i - files)), path = L"C:\\r\\" + std::wstring(stem);
        items.push_back({path + (i < files ? n + L".txt" : L"dir" + n), 1u + i, 0, i >= files});
    }
    return items;
}

// A top-level window of the class, registered with the procedure when one is given.
HWND Window(const wchar_t* className, WNDPROC procedure = nullptr)
{
    WNDCLASSW wc = {0, procedure, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr, className};
    if (procedure) RegisterClassW(&wc);
    return CreateWindowExW(0, className, L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, wc.hInstance, nullptr);
}

// Another program's thread holding the clipboard, its window not answering, for ms or until g_release; to be joined.
const HANDLE g_grabbed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
const HANDLE g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset
std::thread Hold(DWORD ms, HWND* windowOut = nullptr)
{
    std::thread holder([=] {
        HWND window = Window(L"STATIC");
        if (windowOut) *windowOut = window;
        while (!OpenClipboard(window)) Sleep(5);
        SetEvent(g_grabbed);
        WaitForSingleObject(g_release, ms);
        CloseClipboard();
        DestroyWindow(window);
    });
    WaitForSingleObject(g_grabbed, 5000);
    return holder;
}

// Starts the search for typed and pumps until it ended: the result count.
int RunSearch(const wchar_t* typed)
{
    FfStartSearch(typed, nullptr, nullptr);
    FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
    return g_resultCount;
}

class Live : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_moduleHandle = GetModuleHandleW(nullptr);
        g_settings.sortType = 1;
        g_settings.maxResults = 200;
        g_filterCount = 0, g_selectedFilter = 0;
        FfAppendFilter(L"<All Files>", L"");
        g_searchBox = Window(L"EDIT");
    }
    void TearDown() override { FfCancelSearch(), DestroyWindow(g_searchBox), g_searchBox = nullptr, g_hostProcessId = 0; }
    bool StartHost(FfHostCtl& ctl, const std::wstring& folder = L"")
    {
        FfHostStartOptions options;
        options.leftFolder = folder;
        return (g_hostProcessId = ctl.Start(options) ? ctl.process.pi.dwProcessId : 0) != 0;  // taken for our own
    }
    FfTestEngine engine;
    FfHostCtl host;
};

// Each state of the exchange: the sending returns before the reply, the time to the end comes from timers
// (sleeping), and the passes a search sends (an engine that cannot answer files is not asked for folders).
// A reply with another id than the one awaited, and one after the time-out, are dropped unread.
TEST_F(Live, EngineStates)
{
    FfEngineOptions plain;
    plain.items = Items(L"alpha", 10, 2);
    const int A = FF_ENGINE_ANSWERED, NA = FF_ENGINE_NOT_ANSWERING;
    // mode: the engine's switches; out: still waiting when the start returned (a reply that came during the send
    // is read as it returns); ok, files: the file pass's.
    struct Row { const char* name; const wchar_t *mode, *text; int cap, ok, files, state; DWORD ms, msMax; int passes; bool out; }
    rows[] = {
        {"answered", L"", L"alpha", 50, 1, 10, A, 0, 1400, 2, false},
        {"more matches than room", L"", L"alpha", 3, 1, 3, A, 0, 1400, 2, false},
        {"nothing matches", L"", L"zzz", 50, 1, 0, A, 0, 1400, 2, false},
        {"answered after the send returned", L"--delay 300", L"alpha", 50, 1, 10, A, 550, 2000, 2, true},
        {"a block too short to read", L"--short-block", L"alpha", 50, 0, 0, A, 0, 1400, 2, false},
        {"too old for the query", L"--old", L"alpha", 50, 0, 0, FF_ENGINE_TOO_OLD, 0, 1400, 1, false},
        {"loading its index", L"--loading 600000", L"alpha", 50, 0, 0, FF_ENGINE_LOADING, 0, 1400, 1, false},
        {"its window stops pumping", L"--hang 2500", L"alpha", 50, 0, 0, NA, 1450, 4000, -1, false},  // logged later
        {"answered too late", L"--delay 1700", L"alpha", 50, 0, 0, NA, 1450, 4000, 1, true},
    };
    for (const Row& r : rows) {
        plain.extraArgs = r.mode, g_engineState = -1, g_settings.maxResults = r.cap;
        ASSERT_TRUE(engine.Start(plain)) << r.name;
        DWORD start = GetTickCount();
        unsigned long long cpu = CpuMs();
        EXPECT_EQ(r.out, FfStartSearch(r.text, nullptr, nullptr) == 1) << r.name;
        FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
        DWORD ms = GetTickCount() - start;
        cpu = CpuMs() - cpu;
        EXPECT_TRUE(ms >= r.ms && ms < r.msMax && cpu < 150) << r.name << ": " << ms << " ms, cpu " << cpu;
        EXPECT_TRUE(r.files == g_searchRun.files && r.ok == g_searchRun.okFiles && r.state == g_engineState &&
                    (r.cap != 3 || g_engineTotalFiles == 10)) << r.name << ": " << g_searchRun.files << " " << g_engineState;
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        EXPECT_TRUE(r.passes < 0 || (size_t)r.passes == sent.size()) << r.name << ": " << sent.size();
        if (r.passes == 2 && r.ok) {  // the records as the engine received them, each pass with its own reply id
            const FfEngineQueryRecord q = sent.at(0);
            std::wstring text = r.text + std::wstring(L" file:");
            EXPECT_TRUE(q.wellFormed && q.copyDataId == 18 && q.replyId + 1 == sent.at(1).replyId && q.cbData == 30 + 2 * text.size());
            EXPECT_TRUE(q.maxResults == (DWORD)r.cap && q.requestFlags == 84 && q.sortType == 1 && q.text == text) << r.name;
            EXPECT_EQ(std::vector<DWORD>({q.replyId, q.replyId + 1}), engine.Answered()) << r.name;
        }
        if (g_searchRun.files > 0) { EXPECT_STREQ(L"C:\\r\\alpha1000.txt", g_results[0].path) << r.name; }
        if (wcscmp(r.mode, L"--delay 1700")) continue;
        // The reply of the pass that timed out, and one for a pass replaced by a newer, come and are not read.
        DWORD late = sent.back().replyId;
        DWORD serial = g_resultSetSerial;
        EXPECT_EQ(1, FfStartSearch(L"alpha1004", nullptr, nullptr));
        ASSERT_TRUE(FfTestWaitFor([&] { return engine.Queries().size() == 2; }, 3000));
        EXPECT_EQ(std::vector<DWORD>({late}), engine.Answered(true)) << "the engine dropped the older query";
        for (DWORD id : {late, late + 1}) {
            if (id == late + 1) FfTestWaitFor([] { return !g_searchRun.active; }, 3000);
            EXPECT_TRUE(FfEngineEchoTo(engine.window, FfEverythingReplyWindow(), id));
            FfTestFlushEvents(100);
        }
        EXPECT_EQ(serial + 1, g_resultSetSerial) << "only the time-out changed the set";
        EXPECT_TRUE(!g_searchRun.active && g_engineState == NA && g_resultCount == 0);
    }
    engine.Stop();
    std::vector<HWND> decoys;  // no engine, only classes that merely look like a named instance's
    for (const wchar_t* name : {L"_(open", L"_x)", L"S"})
        decoys.push_back(Window((FF_EVERYTHING_CLASS + std::wstring(name)).c_str(), DefWindowProcW));
    g_settings.maxResults = 50;
    EXPECT_TRUE(FfStartSearch(L"alpha", nullptr, nullptr) == 0 && g_engineState == FF_ENGINE_NOT_RUNNING && !g_resultCount);
    for (HWND w : decoys) DestroyWindow(w);
    plain.instance = FfEngineUniqueInstance(L"named"), plain.extraArgs = L"";
    EXPECT_TRUE(engine.Start(plain) && RunSearch(L"alpha") == 12);  // a named instance, alone
}

// The stand-in engine as each version answers: its version message, filter: (plain text that matches nothing below
// 1.5, a filter of its own file with that filter's options from 1.5 on), macros, groups, modifiers, search flags.
TEST_F(Live, EngineVersionsAndTheirQueryLanguage)
{
    std::wstring filters = FfTestMakeTempDir(L"engine-filters");
    FfTestWriteBytes(filters + L"\\Filters-1.5a.csv",
                     "Name,Case,Whole Word,Path,Diacritics,Prefix,Suffix,Ignore Punctuation,Ignore Whitespace,Regex,Search,"
                     "Columns,Sort,Descending,View,Macro,Key\r\n\"DOCUMENT\",0,0,0,0,0,0,0,0,0,\"ext:txt;doc\",\"\",0,0,0,\"doc\",\"\"\r\n"
                     "Exact,1,0,0,0,0,0,0,0,0,Report\r\nWord,0,1,0,0,0,0,0,0,0,report\r\n");
    FfTestWriteBytes(filters + L"\\Filters.csv", "Name,Case,Whole Word,Path,Diacritics,Regex,Search,Macro,Key\r\n"
                     "\"DOCUMENT\",0,0,0,0,0,\"ext:txt;doc\",\"doc\",\"\"\r\n");
    FfEngineOptions options;
    options.filtersDir = filters;
    options.items = {{L"C:\\r\\Report.txt", 1}, {L"C:\\r\\report-2024.doc", 2}, {L"C:\\r\\reports.txt", 3},
                     {L"C:\\Work\\notes.txt", 4}, {L"C:\\r\\sub", 0, 0, true}};
    const wchar_t *v14 = L"", *v15 = L"1.5a";
    struct Row { const wchar_t *instance, *text; DWORD flags; const wchar_t* names; } rows[] = {
        {v14, L"filter:\"DOCUMENT\" report", 0, L""}, {v14, L"doc: report", 0, L""}, {v14, L"doc:report", 0, L""},
        {v14, L"<ext:txt> report", 0, L"Report.txt|reports.txt"}, {v14, L"<<ext:txt> rep>ort", 0, L"Report.txt|reports.txt"},
        {v14, L"case:<Report>", 0, L"Report.txt"}, {v14, L"Report", 1, L"Report.txt"}, {v14, L"nocase:Report", 1, L"report-2024.doc|Report.txt|reports.txt"},
        {v14, L"ww:report", 0, L"report-2024.doc|Report.txt"}, {v14, L"wholeword:report ext:doc", 0, L"report-2024.doc"},
        {v14, L"report", 2, L"report-2024.doc|Report.txt"}, {v14, L"regex:^rep.*s\\.txt$", 0, L"reports.txt"},
        {v14, L"^report", 8, L"report-2024.doc|Report.txt|reports.txt"}, {v14, L"case:regex:^R", 0, L"Report.txt"},
        {v14, L"regex:(", 0, L""}, {v14, L"path:<work notes>", 0, L"notes.txt"}, {v14, L"work", 4, L"notes.txt"},
        {v14, L"diacritics:<notes>", 0, L"notes.txt"}, {v14, L"folder: su", 0, L"sub"},
        {v15, L"filter:\"DOCUMENT\" report", 0, L"report-2024.doc|Report.txt|reports.txt"},
        {v15, L"filter:exact", 0, L"Report.txt"}, {v15, L"filter:Word", 0, L"report-2024.doc|Report.txt"},
        {v15, L"filter:\"no such\"", 0, L""},
    };
    std::wstring running = L"-";
    for (const Row& r : rows) {
        if (running != r.instance) {
            options.instance = running = r.instance;
            ASSERT_TRUE(engine.Start(options));
            FfEngineVersion v;
            EXPECT_EQ(1, FfAskEngineVersion(engine.window, &v));
            EXPECT_EQ(running.empty() ? L"1.4.1.1026" : L"1.5.0.1384", std::to_wstring(v.major) + L"." + std::to_wstring(v.minor) +
                      L"." + std::to_wstring(v.revision) + L"." + std::to_wstring(v.build));
        }
        FfEngineQueryArgs args;
        args.text = r.text, args.searchFlags = r.flags;
        FfEngineReply reply = FfEngineSendQuery(engine.window, args);
        DWORD total = 0;
        std::vector<FfEngineItem> items;
        ASSERT_TRUE(reply.answered && FfEngineDecodeReply(reply.bytes, &total, &items)) << FfTestUtf8(r.text);
        std::wstring names;
        for (const FfEngineItem& item : items) names += (names.empty() ? L"" : L"|") + item.path.substr(item.path.rfind(L'\\') + 1);
        EXPECT_EQ(r.names, names) << FfTestUtf8(running + L": " + r.text) << " flags " << r.flags;
        EXPECT_EQ(r.flags, engine.Queries().back().searchFlags);
    }
    // A version given on the command line; and a window that does not know the message says nothing.
    options.instance = L"", options.version = L"1.5.1.1400";
    ASSERT_TRUE(engine.Start(options));
    FfEngineVersion v;
    EXPECT_TRUE(FfAskEngineVersion(engine.window, &v) && v.major == 1 && v.minor == 5 && v.revision == 1 && v.build == 1400);
    EXPECT_TRUE(!FfAskEngineVersion(g_searchBox, &v) && !v.major && !v.minor && !FfVersionKnowsFilterFunction(&v));
}

// Query texts per filter and "path:.", the passes' caps, the engine's totals, files first, the chosen order.
TEST_F(Live, SearchRun)
{
    FfEngineOptions options;
    options.items = Items(L"report", 2, 1);
    for (const FfEngineItem& item : Items(L"cap", 520, 520)) options.items.push_back(item);
    ASSERT_TRUE(engine.Start(options));
    std::wstring folder = FfTestMakeTempDir(L"active"), in = L" path:\"" + folder + L"\\\"";
    // A 1.4 engine knows no filter: function: the filter's search goes in a group.
    std::wstring doc = L"<ext:txt;doc>", dir = L"<folder:> report";
    ASSERT_TRUE(StartHost(host, folder));
    FfAppendFilter(L"Document", L"ext:txt;doc");
    FfAppendFilter(L"Folder", L"folder:"), FfAppendFilter(L"Odd", L"Folder:x");  // a capital F: no folder clause
    // sortColumn -1: as answered; queries: "cap text" of each sent ("cap@first" for a later page), '|' between;
    // noHost: "path:." stays as typed; pages: later pages asked after the run, one at a time (files, then folders).
    struct Row { std::wstring typed; int filter, maxResults, sortColumn; std::wstring queries; int count;
                 DWORD totalFiles, totalFolders; const wchar_t *first, *last; bool noHost; int pages; } rows[] = {
        {L"", 0, 200, -1, L"", 0, 0, 0, nullptr, nullptr},
        {L"report", 0, 200, -1, L"200 report file:|200 report folder:", 3, 2, 1, L"report1000.txt", L"reportdir1000"},
        {L"report", 0, 200, FF_SORT_SIZE, L"200 report file:|200 report folder:", 3, 2, 1, L"report1001.txt", nullptr},
        {L"report", 1, 200, -1, L"200 " + doc + L" report file:", 2, 2, 0, L"report1000.txt", L"report1001.txt"},
        {L"report", 2, 200, -1, L"200 " + dir + L" file:|200 " + dir + L" folder:", 1, 0, 1, L"reportdir1000", nullptr},
        {L"report", 3, 200, -1, L"200 <Folder:x> report file:", 0, 0, 0, nullptr, nullptr},
        {L"cap", 0, 200, -1, L"200 cap file:|200 cap folder:", 400, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 300, -1, L"300 cap file:|300 cap folder:", 600, 520, 520, L"cap1000.txt", L"capdir1299"},
        {L"cap", 0, 500, -1, L"500 cap file:|500 cap folder:", 1000, 520, 520, L"cap1000.txt", L"capdir1499"},
        {L"report path:.", 1, 200, -1, L"200 " + doc + L" report" + in + L" file:", 0, 0, 0, nullptr, nullptr},
        {L"PATH:. report", 1, 200, -1, L"200 " + doc + in + L" report file:", 0, 0, 0, nullptr, nullptr},
        {L"report path:.", 1, 200, -1, L"200 " + doc + L" report path:. file:", 2, 2, 0, nullptr, nullptr, true},
        {L"cap", 0, 200, -1, L"200 cap file:|200 cap folder:|200@200 cap file:|200@400 cap file:|200@200 cap folder:|200@400 cap folder:",
         1040, 520, 520, L"cap1000.txt", L"capdir1519", false, 4},
        {L"cap", 0, 300, FF_SORT_SIZE, L"300 cap file:|300 cap folder:|300@300 cap file:|300@300 cap folder:", 1040, 520, 520,
         nullptr, nullptr, false, 2},
        {L"cap", 1, 500, -1, L"500 " + doc + L" cap file:|500@500 " + doc + L" cap file:", 520, 520, 0, L"cap1000.txt", L"cap1519.txt", false, 1},
    };
    for (const Row& r : rows) {
        size_t before = engine.Queries().size();
        g_resultCount = 7, g_selectedFilter = r.filter, g_settings.maxResults = r.maxResults;
        g_localSortActive = r.sortColumn >= 0, g_sortColumn = r.sortColumn, g_sortDescending = 1;
        g_hostProcessId = r.noHost ? GetCurrentProcessId() : host.process.pi.dwProcessId, g_hostWindow = nullptr;
        RunSearch(r.typed.c_str());
        for (int page = 0; r.pages && page <= r.pages; page++) {  // then there is nothing more to ask
            int before = g_resultCount;
            EXPECT_EQ(page < r.pages, FfAskNextPage() == 1) << page << FfTestUtf8(r.queries);
            FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
            if (page == r.pages) { EXPECT_EQ(before, g_resultCount); continue; }
            EXPECT_TRUE(g_searchRun.page && g_searchRun.pageRows == g_resultCount - before && g_resultCount > before &&
                        g_searchRun.pageAt == (g_searchRun.pass.kind == FF_PASS_FILES ? g_searchRun.files : g_resultCount) - g_searchRun.pageRows);
        }
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        std::wstring queries;
        for (size_t i = before; i < sent.size(); i++)
            queries += (i > before ? L"|" : L"") + std::to_wstring(sent[i].maxResults) +
                       (sent[i].firstResult ? L"@" + std::to_wstring(sent[i].firstResult) : L"") + L" " + sent[i].text;
        EXPECT_EQ(r.queries, queries);
        ASSERT_EQ(r.count, g_resultCount) << FfTestUtf8(r.queries);
        // Files before folders however the pages came, or the column's order over all that is loaded.
        for (int i = 1; i < g_resultCount; i++)
            ASSERT_TRUE(r.sortColumn < 0 ? g_results[i - 1].isFolder <= g_results[i].isFolder
                                         : FfCompareResults(&g_results[i - 1], &g_results[i], r.sortColumn, 1) <= 0) << i;
        EXPECT_EQ(r.count < (int)(r.totalFiles + r.totalFolders), FfSearchHasMore() == 1) << FfTestUtf8(r.queries);
        if (!r.count) continue;
        std::wstring first = r.first ? L"C:\\r\\" + std::wstring(r.first) : g_results[0].path;
        std::wstring last = r.last ? L"C:\\r\\" + std::wstring(r.last) : g_results[r.count - 1].path;
        EXPECT_TRUE(r.totalFiles == g_engineTotalFiles && r.totalFolders == g_engineTotalFolders &&
                    first == g_results[0].path && last == g_results[r.count - 1].path) << FfTestUtf8(r.queries);
    }
    // The total shrinks between pages (files gone, the engine walked its folders again): the page brings what is
    // left, or nothing, and the files end there. A page that never comes (an engine that takes the query and does
    // not answer) ends with the time-out, the totals kept, and is asked again.
    std::wstring tree = FfTestMakeTempDir(L"pages");
    std::vector<FfTestTreeItem> files;
    for (int i = 0; i < 30; i++) files.push_back({L"shr" + std::to_wstring(100 + i) + L".txt"});
    FfEngineOptions silent;
    silent.instance = FfEngineUniqueInstance(L"silent"), silent.neverAnswer = true, options.roots = {tree};
    FfTestEngine quiet;
    ASSERT_TRUE(quiet.Start(silent) && FfTestMakeTree(tree, files) && engine.Start(options));
    struct Shrink { int kept, loaded; DWORD total; int state; } shrinks[] = {
        {15, 15, 15, FF_ENGINE_ANSWERED}, {5, 10, 10, FF_ENGINE_ANSWERED}, {30, 10, 30, FF_ENGINE_NOT_ANSWERING}};
    g_selectedFilter = 0, g_settings.maxResults = 10, g_localSortActive = 0;
    for (const Shrink& k : shrinks) {
        ASSERT_TRUE(FfTestMakeTree(tree, files) && engine.Reindex() > 30 && RunSearch(L"shr") == 10 && g_engineTotalFiles == 30);
        for (int i = k.kept; i < 30; i++) DeleteFileW((tree + L"\\" + files[i].relPath).c_str());
        engine.Reindex();
        if (k.state != FF_ENGINE_ANSWERED) g_searchRun.engine = quiet.window;
        DWORD start = GetTickCount();
        EXPECT_EQ(1, FfAskNextPage());
        FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
        EXPECT_TRUE(g_searchRun.files == k.loaded && g_resultCount == k.loaded && g_engineTotalFiles == k.total && g_engineState == k.state &&
                    FfSearchHasMore() == (k.state != FF_ENGINE_ANSWERED)) << k.kept << ": " << g_searchRun.files << " of " << g_engineTotalFiles;
        if (k.state == FF_ENGINE_ANSWERED) continue;
        EXPECT_GE(GetTickCount() - start, 1450u);
        g_searchRun.engine = engine.window;  // scrolled again: asked again, and it comes
        EXPECT_TRUE(FfAskNextPage() && FfTestWaitFor([] { return !g_searchRun.active; }, 5000) && g_resultCount == 20);
        EXPECT_STREQ((tree + L"\\shr119.txt").c_str(), g_results[19].path);
    }
    quiet.Stop();
    options.roots.clear();

    // declines the sort asked answers in name order, and the plug-in orders that pass itself (sizes descending).
    struct Engine { const wchar_t *instance, *version; bool decline; const wchar_t* query; int count; DWORD sorted; }
    engines[] = {
        {L"1.5a", L"", false, L"filter:\"Document\" report file:", 2, 6},
        {L"", L"1.5.0.1300", true, L"filter:\"Document\" report file:", 2, 6},
        {L"", L"2.0.0.1", false, L"filter:\"Document\" report file:", 2, 6},
        {L"", L"", true, L"<ext:txt;doc> report file:", 2, 6},
    };
    host.Quit();
    for (const Engine& e : engines) {
        options.instance = e.instance, options.version = e.version, options.declineSort = e.decline;
        ASSERT_TRUE(engine.Start(options)) << FfTestUtf8(e.instance);
        FfForgetEngineFacts();
        g_selectedFilter = 1, g_settings.maxResults = 200, g_settings.sortType = e.sorted, g_localSortActive = 0;
        for (int run = 0; run < 2; run++) RunSearch(L"report");
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        ASSERT_EQ(2u, sent.size());
        EXPECT_EQ(e.query, sent[1].text);
        ASSERT_EQ(e.count, g_resultCount);
        EXPECT_STREQ(L"C:\\r\\report1001.txt", g_results[0].path) << "the larger first, whatever the engine's order";
    }
    g_settings.sortType = 1;
}

// The match options the user toggled reach both passes of a search, as the engine's flags, and the
// engine honours each: option -1 is none.
TEST_F(Live, MatchOptionsReachTheEngine)
{
    FfEngineOptions options;
    options.items = {{L"C:\\r\\a\\zebra.txt", 1}, {L"C:\\r\\a2\\zebra.txt", 2}};
    ASSERT_TRUE(engine.Start(options));
    g_filterCount = 1, g_selectedFilter = 0, g_hostProcessId = GetCurrentProcessId(), g_localSortActive = 0;
    struct Row { int option; const wchar_t* typed; int count; } rows[] = {
        {-1, L"ZEBRA", 2}, {0, L"ZEBRA", 0}, {-1, L"zeb", 2}, {1, L"zeb", 0}, {1, L"zebra", 2},
        {-1, L"a2 zebra", 0}, {2, L"a2 zebra", 1}, {-1, L"^zebra\\.txt$", 0}, {3, L"^zebra\\.txt$", 2},
    };
    for (const Row& r : rows) {
        for (int i = 0; i < FF_MATCH_OPTION_COUNT; i++) g_settings.matchOptions[i] = i == r.option;
        size_t before = engine.Queries().size();
        RunSearch(r.typed);
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        ASSERT_EQ(before + 2, sent.size()) << r.option;
        const DWORD engineFlags[FF_MATCH_OPTION_COUNT] = {0x1, 0x2, 0x4, 0x8}, flags = r.option < 0 ? 0 : engineFlags[r.option];
        EXPECT_TRUE(sent[before].searchFlags == flags && sent[before + 1].searchFlags == flags) << r.option;
        EXPECT_EQ(r.count, g_resultCount) << FfTestUtf8(r.typed) << " option " << r.option;
        if (r.count == 1) EXPECT_STREQ(L"C:\\r\\a2\\zebra.txt", g_results[0].path);
    }
    for (int i = 0; i < FF_MATCH_OPTION_COUNT; i++) g_settings.matchOptions[i] = 0;
}

// The user's clipboard: text, a registered format, private data; read back as text|bytes|private|owned (still his).
const UINT kBytes = RegisterClipboardFormatW(L"FfTestBytes");
HWND g_user;

bool Put(HWND owner, const std::wstring& text, bool full)
{
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    for (int i = text.empty(); i < (full ? 3 : 1); i++) {
        size_t size = i ? 8 : 2 * text.size() + 2;
        HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
        memcpy(block, i ? "private" : (const char*)text.c_str(), size);
        SetClipboardData(i == 0 ? CF_UNICODETEXT : i == 1 ? kBytes : CF_PRIVATEFIRST, block);
    }
    return CloseClipboard();
}

std::wstring Clipboard()
{
    return FfTestClipboardText() + (IsClipboardFormatAvailable(kBytes) ? L"|bytes" : L"") +
           (IsClipboardFormatAvailable(CF_PRIVATEFIRST) ? L"|private" : L"") +
           (GetClipboardOwner() == g_user ? L"|owned" : L"");
}

std::thread g_holder;
DWORD g_holdAfterAnswerMs;

// A host whose clipboard another program takes between its answer and our reading: only a window here can order them.
LRESULT CALLBACK GrabbedHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != FF_HOST_COMMAND_MESSAGE) return DefWindowProcW(window, message, wParam, lParam);
    Put(window, L"C:\\Grabbed", false);
    g_holder = Hold(g_holdAfterAnswerMs);
    return 1;
}

// The host of our own process: change of folder, commands, the focused panel, the active folder through the
// clipboard (put back after, never lost when busy, not rewritten when unchanged); gone or hung, it holds nothing up.
TEST_F(Live, HostCommandsAndTheClipboard)
{
    std::wstring folder = FfTestMakeTempDir(L"chdir \u00E9\u65E5");
    ASSERT_TRUE(StartHost(host));
    HWND main = host.mainWindow;
    EXPECT_EQ(main, FfFindHostWindow());
    FfHostEvent event;
    FfSendHostChangeDir(main, folder.c_str(), nullptr);
    ASSERT_TRUE(host.WaitForEvent(L"changedir", 5000, &event));
    EXPECT_TRUE(folder == event.path && event.second.empty() && event.letters == "SA" && host.Folder() == folder);
    FfTriggerGoToPreviousDir(main);
    ASSERT_TRUE(host.WaitForEvent(L"command", 5000, &event) && event.number == FF_HOST_CM_GOTO_PREVIOUS_DIR);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, folder));
    // The focused control's rectangle, when the focus is in the window asked about.
    RECT want, got;
    ASSERT_TRUE(host.BringToFront() && host.FocusRect(&want));
    EXPECT_TRUE(FfGetActivePanelRect(main, &got) && EqualRect(&want, &got));
    EXPECT_FALSE(FfGetActivePanelRect(host.controlWindow, &got) || FfGetActivePanelRect(nullptr, &got));
    // A second host, newer and so first in the system's search: each process finds its own.
    FfHostCtl second;
    ASSERT_TRUE(StartHost(second));
    EXPECT_EQ(second.mainWindow, FfFindHostWindow());
    g_hostProcessId = host.process.pi.dwProcessId;
    EXPECT_EQ(main, FfFindHostWindow());

    HWND grabbed = Window(L"FfGrabbedHost", GrabbedHostProc);
    g_user = Window(L"STATIC");
    // host: 'H' ours, 'G' ours gone, 'P' the grabbed one above; full: else the clipboard starts empty.
    struct Row { const char* label; char host; bool full; DWORD holdBeforeMs, holdAfterMs; std::wstring found, after; }
    rows[] = {
        {"answered: read, then put back", 'H', true, 0, 0, folder, L"keep me|bytes"},
        {"empty before: empty after", 'H', false, 0, 0, folder, L""},
        {"busy when saved: the host is not asked", 'H', true, INFINITE, 0, L"", L"keep me|bytes|private|owned"},
        {"busy a moment after the answer: read, then put back", 'P', true, 0, 50, L"C:\\Grabbed", L"keep me|bytes"},
        {"busy long after the answer: the host's text stays", 'P', true, 0, INFINITE, L"", L"C:\\Grabbed"},
        {"gone: not rewritten", 'G', true, 0, 0, L"", L"keep me|bytes|private|owned"},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE((r.host != 'G' || host.Quit()) && Put(g_user, r.full ? L"keep me" : L"", r.full));
        g_holdAfterAnswerMs = r.holdAfterMs;
        if (r.holdBeforeMs) g_holder = Hold(r.holdBeforeMs);
        wchar_t found[FF_ACTIVE_FOLDER_MAX];
        unsigned long long cpu = CpuMs();
        int ok = FfQueryHostActiveFolder(r.host == 'P' ? grabbed : main, nullptr, found, FF_ACTIVE_FOLDER_MAX);
        EXPECT_LT(CpuMs() - cpu, 150u) << r.label;  // waiting for the clipboard sleeps
        if (g_holder.joinable()) SetEvent(g_release), g_holder.join(), ResetEvent(g_release);
        EXPECT_TRUE(ok == !r.found.empty() && r.found == found) << r.label << ": " << FfTestUtf8(found);
        EXPECT_EQ(r.after, Clipboard()) << r.label;
    }
    DestroyWindow(g_user);
    DestroyWindow(grabbed);
    // Gone: the last window found is kept, and has no rectangle.
    EXPECT_TRUE(FfFindHostWindow() == main && !FfGetActivePanelRect(main, &got));
    // A window whose thread stops answering holds us one send's time-out at most.
    HWND hung;
    std::thread holder = Hold(INFINITE, &hung);
    DWORD start = GetTickCount();
    FfSendHostCommand(hung, FF_HOST_CM_COPY_SOURCE_PATH);
    EXPECT_LT(GetTickCount() - start, FF_HOST_SEND_TIMEOUT_MS + 1500u);
    SetEvent(g_release), holder.join(), ResetEvent(g_release);
}

}  // namespace
