// Stand-in search engine: command line, IPC window, answering queries (on time, late or broken) and the query log.
//
// ffengine [--root DIR]... [--items FILE]... [--synthetic N] [--log FILE] [--instance NAME]
//          [--filters DIR] [--delay MS] [--silent] [--reply-id N] [--short-block]
//          [--excess-count N] [--bad-offset] [--bad-length [N]] [--quit-after N]
//          [--folder-sizes] [--unknown-dates WORD] [--drop-flags N] [--add-flags N]
//          [--loading MS] [--old] [--hang MS] [--version A.B.C.D] [--decline-sort]
// Indexes the folders (everything below each root), the listed items and N generated ones, then
// registers its window: class EVERYTHING_TASKBAR_NOTIFICATION, or ..._(NAME) with --instance.
// --version: what its own message answers (default 1.4.1.1026; 1.5.0.1384 for the instance
// 1.5a). Below 1.5 the query knows no filter: function (nor the filter macros): such a term is
// plain text, which matches nothing. From 1.5 on filter:NAME applies a filter of its list, from
// DIR (default %APPDATA%\Everything): Filters.csv, Filters-1.5a.csv for the instance 1.5a, in
// either version's layout; else the seven stock ones. --decline-sort: every query is answered
// in name order (sort 1), and the reply says so. Folders report an unknown size (all bits set) unless
// --folder-sizes; items whose name holds WORD report unknown dates. Replies carry the fields
// asked for, less --drop-flags and plus --add-flags. --loading: for MS after the start the index
// is loading (401 answers 0, 402 answers 1) and queries get no reply; --old: a version without
// the query, which answers it with FALSE; --hang: the first query stops the window's thread for
// MS before it is handled. --delay: each answer goes MS after its query came; a query that is
// still unanswered when a newer one comes from the same reply window is dropped. The log says
// which queries were answered ("answered reply=W replyId=N") and which dropped ("dropped ..."). Exit codes: 2 bad switch, 3 missing root or items
// file, 4 log not writable, 5 window not made.
#include "engine.h"
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>

// A reply held back by the late-answer fault until its time has come.
struct FfEnginePending {
    HWND target;
    ULONG_PTR copyDataId;
    std::string block;
    DWORD due;
};

static FfEngineIndex g_engineIndex;                // everything the engine knows
static std::vector<std::wstring> g_engineRoots;    // folders indexed at start and on re-index
static std::vector<std::wstring> g_engineItemFiles;
static int g_engineSynthetic = 0;
static std::wstring g_engineFiltersDir;           // empty: %APPDATA%\Everything
static HANDLE g_engineLog = INVALID_HANDLE_VALUE;  // query log, one UTF-8 line per record
static FfEngineFaults g_engineFaults;
static DWORD g_engineDelayMs = 0;
static bool g_engineSilent = false;
static long long g_engineReplyId = -1;             // >= 0: answer with this copy-data id
static int g_engineQuitAfter = 0;
static int g_engineQueriesSeen = 0;                // every record received, well-formed or not
static int g_engineQueriesHandled = 0;             // well-formed records answered (or held back)
static bool g_engineQuitting = false;
static std::string g_engineLastReply;              // for echo requests
static std::vector<FfEnginePending> g_enginePending;
static bool g_engineFolderSizes = false;
static std::wstring g_engineUnknownDatesWord;      // folded
static DWORD g_engineLoadingMs = 0;
static DWORD g_engineStartTick = 0;
static bool g_engineOld = false;
static DWORD g_engineHangMs = 0;                   // spent by the first query, then 0
static DWORD g_engineVersion[4] = {0, 0, 0, 0};    // major, minor, revision, build (0.0: default)
static bool g_engineIs15a = false;                 // the instance 1.5a: its own filter file
static bool g_engineDeclineSort = false;

static bool FfEngineKnowsFilterFunction()
{
    return g_engineVersion[0] > 1 || (g_engineVersion[0] == 1 && g_engineVersion[1] >= 5);
}

static void FfEngineWriteLog(const std::string& line)
{
    if (g_engineLog == INVALID_HANDLE_VALUE) return;
    DWORD put = 0;
    WriteFile(g_engineLog, line.data(), (DWORD)line.size(), &put, nullptr);
}

// "answered" or "dropped", the reply window and the id the answer was (or would have been) sent with.
static void FfEngineLogFate(const char* fate, HWND target, ULONG_PTR id)
{
    char line[96];
    snprintf(line, sizeof line, "%s reply=%u replyId=%u\r\n", fate, (unsigned)(UINT_PTR)target, (unsigned)id);
    FfEngineWriteLog(line);
}

static int FfEngineBuildIndex()
{
    g_engineIndex.entries.clear();
    for (const auto& root : g_engineRoots) FfEngineIndexFolder(&g_engineIndex, root);
    for (const auto& file : g_engineItemFiles) FfEngineLoadItemsFile(&g_engineIndex, file);
    if (g_engineSynthetic > 0) FfEngineAddSynthetic(&g_engineIndex, g_engineSynthetic);
    if (g_engineFolderSizes) FfEngineIndexFolderSizes(&g_engineIndex);
    FfEngineForgetDates(&g_engineIndex, g_engineUnknownDatesWord);
    FfEngineResetOrders(&g_engineIndex);
    // The packed texts and the plug-in's default order are made now, so that the first query over
    // a large index is not the slow one.
    std::vector<uint32_t> none;
    FfEngineRun(&g_engineIndex, FfEngineMatcher(), 14, 0, 0, &none);
    return (int)g_engineIndex.entries.size();
}

// The target comes from the record: anything but a live window (HWND_BROADCAST among them, which
// would hand the reply to every top-level window on the desktop) gets nothing.
static void FfEngineSendBlock(HWND self, HWND target, ULONG_PTR id, const std::string& block)
{
    if (!target || !IsWindow(target)) return;
    COPYDATASTRUCT cds;
    cds.dwData = id;
    cds.cbData = (DWORD)block.size();
    cds.lpData = block.empty() ? nullptr : (void*)block.data();
    SendMessageW(target, WM_COPYDATA, (WPARAM)self, (LPARAM)&cds);
}

static void FfEngineQuitWhenDone(HWND self)
{
    if (g_engineQuitAfter > 0 && g_engineQueriesHandled >= g_engineQuitAfter && g_enginePending.empty() &&
        !g_engineQuitting) {
        g_engineQuitting = true;
        PostMessageW(self, WM_CLOSE, 0, 0);
    }
}

// Sends the held-back replies whose time has come and sets a timer for the next one.
static void FfEngineSendDue(HWND self)
{
    KillTimer(self, 1);
    DWORD now = GetTickCount();
    for (size_t i = 0; i < g_enginePending.size();) {
        if ((LONG)(now - g_enginePending[i].due) >= 0) {
            FfEnginePending p = g_enginePending[i];
            g_enginePending.erase(g_enginePending.begin() + i);
            FfEngineLogFate("answered", p.target, p.copyDataId);
            FfEngineSendBlock(self, p.target, p.copyDataId, p.block);
            now = GetTickCount();
            i = 0;
        } else {
            ++i;
        }
    }
    if (!g_enginePending.empty()) {
        DWORD wait = 0xFFFFFFFF;
        for (const auto& p : g_enginePending) {
            DWORD left = (LONG)(p.due - now) > 0 ? p.due - now : 0;
            if (left < wait) wait = left;
        }
        SetTimer(self, 1, wait ? wait : 1, nullptr);
    }
    FfEngineQuitWhenDone(self);
}

static bool FfEngineMentionsFilter(const std::wstring& text)
{
    return FfEngineKnowsFilterFunction() && FfEngineFold(text).find(L"filter:") != std::wstring::npos;
}

// Echo: the last reply again, to the window and id the request names, without searching.
static LRESULT FfEngineOnEcho(HWND self, const COPYDATASTRUCT* cds)
{
    if (cds->cbData < 8 || !cds->lpData) return 0;
    uint32_t f[2];
    memcpy(f, cds->lpData, 8);
    FfEngineSendBlock(self, (HWND)(UINT_PTR)f[0], f[1], g_engineLastReply);
    return 1;
}

static bool FfEngineLoading()
{
    return g_engineLoadingMs > 0 && GetTickCount() - g_engineStartTick < g_engineLoadingMs;
}

static LRESULT FfEngineOnCopyData(HWND self, const COPYDATASTRUCT* cds)
{
    if (!cds) return 0;
    if (cds->dwData == FF_ENGINE_ECHO_ID) return FfEngineOnEcho(self, cds);
    if (g_engineHangMs > 0) {
        // The window's thread stops pumping: senders wait, and see it hung.
        DWORD hang = g_engineHangMs;
        g_engineHangMs = 0;
        Sleep(hang);
    }
    ++g_engineQueriesSeen;
    if (g_engineOld && cds->dwData == FF_ENGINE_QUERY_ID) {
        FfEngineWriteLog(FfEngineFormatLogLine(nullptr, "old", (uint32_t)cds->dwData, cds->cbData, 0));
        return 0;
    }
    if (cds->dwData != FF_ENGINE_QUERY_ID) {
        FfEngineWriteLog(FfEngineFormatLogLine(nullptr, "id", (uint32_t)cds->dwData, cds->cbData, 0));
        return 0;
    }
    FfEngineQuery q;
    const char* bad = FfEngineParseRecord(cds->lpData, cds->lpData ? cds->cbData : 0, &q);
    if (bad) {
        FfEngineWriteLog(FfEngineFormatLogLine(nullptr, bad, (uint32_t)cds->dwData, cds->cbData, 0));
        return 0;
    }
    // Read at each query that names a filter, so that a change to the file counts at once.
    std::vector<FfEngineFilter> filters;
    if (FfEngineMentionsFilter(q.text)) filters = FfEngineLoadFilters(g_engineFiltersDir, g_engineIs15a, nullptr);
    FfEngineDialect dialect;
    dialect.searchFlags = q.searchFlags;
    dialect.filterFunction = FfEngineKnowsFilterFunction();
    FfEngineMatcher matcher;
    FfEngineCompileQuery(q.text, filters, dialect, &matcher);
    std::vector<uint32_t> picked;
    // Declining the sort asked, the engine answers in name order and names that sort in its reply.
    FfEngineQuery answered = q;
    if (g_engineDeclineSort) answered.sortType = 1;
    uint32_t total = FfEngineRun(&g_engineIndex, matcher, answered.sortType, q.firstResult, q.maxResults, &picked);
    std::string block = FfEngineBuildReply(g_engineIndex, picked, total, answered, g_engineFaults);
    g_engineLastReply = block;
    FfEngineWriteLog(FfEngineFormatLogLine(&q, nullptr, (uint32_t)cds->dwData, cds->cbData, total));
    ++g_engineQueriesHandled;

    HWND target = (HWND)(UINT_PTR)q.replyWindow;
    ULONG_PTR id = g_engineReplyId >= 0 ? (ULONG_PTR)g_engineReplyId : (ULONG_PTR)q.replyId;
    if (g_engineSilent || FfEngineLoading()) {
        // never answers
    } else if (g_engineDelayMs > 0) {
        // A newer query from the same window replaces the one it still waits for.
        for (size_t i = 0; i < g_enginePending.size();) {
            if (g_enginePending[i].target != target) {
                ++i;
                continue;
            }
            FfEngineLogFate("dropped", target, g_enginePending[i].copyDataId);
            g_enginePending.erase(g_enginePending.begin() + i);
        }
        g_enginePending.push_back({target, id, block, GetTickCount() + g_engineDelayMs});
        PostMessageW(self, WM_FF_ENGINE_ANSWER_LATE, 0, 0);
    } else {
        FfEngineLogFate("answered", target, id);
        FfEngineSendBlock(self, target, id, block);
    }
    FfEngineQuitWhenDone(self);
    return 1;
}

static LRESULT CALLBACK FfEngineWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COPYDATA: return FfEngineOnCopyData(hwnd, (const COPYDATASTRUCT*)lParam);
    case WM_FF_ENGINE_ANSWER_LATE: FfEngineSendDue(hwnd); return 0;
    case WM_TIMER: FfEngineSendDue(hwnd); return 0;
    case WM_FF_ENGINE_COUNT: return (LRESULT)g_engineIndex.entries.size();
    case WM_FF_ENGINE_REINDEX: return FfEngineBuildIndex();
    case WM_FF_ENGINE_QUERIES: return g_engineQueriesSeen;
    case FF_ENGINE_MSG_IPC:
        if (wParam <= 3) return g_engineVersion[wParam];
        if (wParam == FF_ENGINE_IS_LOADED) return FfEngineLoading() ? 0 : 1;
        if (wParam == FF_ENGINE_IS_BUSY) return FfEngineLoading() ? 1 : 0;
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

static bool FfEngineNumber(const wchar_t* text, long long* out)
{
    if (!text || !*text) return false;
    wchar_t* end = nullptr;
    long long v = wcstoll(text, &end, 10);
    if (*end) return false;
    *out = v;
    return true;
}

// Returns 0 when the command line is sound, otherwise the exit code to end with.
static int FfEngineParseArgs(int argc, wchar_t** argv, std::wstring* instance, std::wstring* logPath)
{
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        const wchar_t* next = i + 1 < argc ? argv[i + 1] : nullptr;
        long long v = 0;
        if (a == L"--root" && next) g_engineRoots.push_back(argv[++i]);
        else if (a == L"--items" && next) g_engineItemFiles.push_back(argv[++i]);
        else if (a == L"--log" && next) *logPath = argv[++i];
        else if (a == L"--instance" && next) *instance = argv[++i];
        else if (a == L"--filters" && next) g_engineFiltersDir = argv[++i];
        else if (a == L"--synthetic" && FfEngineNumber(next, &v) && v >= 0) g_engineSynthetic = (int)v, ++i;
        else if (a == L"--delay" && FfEngineNumber(next, &v) && v >= 0) g_engineDelayMs = (DWORD)v, ++i;
        else if (a == L"--silent") g_engineSilent = true;
        else if (a == L"--reply-id" && FfEngineNumber(next, &v) && v >= 0) g_engineReplyId = v, ++i;
        else if (a == L"--short-block") g_engineFaults.shortBlock = true;
        else if (a == L"--excess-count" && FfEngineNumber(next, &v) && v > 0) g_engineFaults.excessCount = (int)v, ++i;
        else if (a == L"--bad-offset") g_engineFaults.badOffset = true;
        else if (a == L"--bad-length") {
            g_engineFaults.badLength = true;
            if (FfEngineNumber(next, &v) && v > 0) g_engineFaults.badLengthValue = (uint32_t)v, ++i;
        } else if (a == L"--quit-after" && FfEngineNumber(next, &v) && v > 0) g_engineQuitAfter = (int)v, ++i;
        else if (a == L"--folder-sizes") g_engineFolderSizes = true;
        else if (a == L"--unknown-dates" && next && *next) g_engineUnknownDatesWord = FfEngineFold(argv[++i]);
        else if (a == L"--drop-flags" && FfEngineNumber(next, &v) && v >= 0) g_engineFaults.dropFlags = (uint32_t)v, ++i;
        else if (a == L"--add-flags" && FfEngineNumber(next, &v) && v >= 0) g_engineFaults.addFlags = (uint32_t)v, ++i;
        else if (a == L"--loading" && FfEngineNumber(next, &v) && v > 0) g_engineLoadingMs = (DWORD)v, ++i;
        else if (a == L"--old") g_engineOld = true;
        else if (a == L"--hang" && FfEngineNumber(next, &v) && v > 0) g_engineHangMs = (DWORD)v, ++i;
        else if (a == L"--decline-sort") g_engineDeclineSort = true;
        else if (a == L"--version" && next) {
            unsigned parts[4] = {0, 0, 0, 0};
            wchar_t extra = 0;
            if (swscanf(argv[++i], L"%u.%u.%u.%u%lc", &parts[0], &parts[1], &parts[2], &parts[3], &extra) != 4 ||
                parts[0] == 0)
                return 2;
            for (int k = 0; k < 4; ++k) g_engineVersion[k] = parts[k];
        } else return 2;
    }
    g_engineIs15a = *instance == L"1.5a";
    if (g_engineVersion[0] == 0) {
        static const DWORD stable[4] = {1, 4, 1, 1026}, alpha[4] = {1, 5, 0, 1384};
        for (int k = 0; k < 4; ++k) g_engineVersion[k] = g_engineIs15a ? alpha[k] : stable[k];
    }
    for (const auto& root : g_engineRoots) {
        DWORD attr = GetFileAttributesW(root.c_str());
        if (attr == INVALID_FILE_ATTRIBUTES || !(attr & FILE_ATTRIBUTE_DIRECTORY)) return 3;
    }
    for (const auto& file : g_engineItemFiles)
        if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return 3;
    return 0;
}

int WINAPI WinMain(HINSTANCE instanceHandle, HINSTANCE, LPSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring instance, logPath;
    int bad = argv ? FfEngineParseArgs(argc, argv, &instance, &logPath) : 2;
    if (argv) LocalFree(argv);
    if (bad) return bad;

    if (!logPath.empty()) {
        g_engineLog = CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (g_engineLog == INVALID_HANDLE_VALUE) return 4;
    }
    // The index is complete before the window exists, so a client that finds the window can query.
    FfEngineBuildIndex();
    std::wstring filterFile;
    size_t filterCount = FfEngineLoadFilters(g_engineFiltersDir, g_engineIs15a, &filterFile).size();
    char start[1200];
    snprintf(start, sizeof start, "start version=%lu.%lu.%lu.%lu filter-function=%d filters=%u file=%ls\r\n",
             g_engineVersion[0], g_engineVersion[1], g_engineVersion[2], g_engineVersion[3],
             FfEngineKnowsFilterFunction() ? 1 : 0, (unsigned)filterCount, filterFile.empty() ? L"(stock)" : filterFile.c_str());
    FfEngineWriteLog(start);
    g_engineStartTick = GetTickCount();

    std::wstring className = FF_ENGINE_CLASS_BASE;
    if (!instance.empty()) className += L"_(" + instance + L")";
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfEngineWndProc;
    wc.hInstance = instanceHandle;
    wc.lpszClassName = className.c_str();
    if (!RegisterClassW(&wc)) return 5;
    HWND hwnd = CreateWindowExW(0, className.c_str(), L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instanceHandle, nullptr);
    if (!hwnd) return 5;
    // Let queries through from a process at another integrity level.
    ChangeWindowMessageFilterEx(hwnd, WM_COPYDATA, MSGFLT_ALLOW, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (g_engineLog != INVALID_HANDLE_VALUE) CloseHandle(g_engineLog);
    return 0;
}
