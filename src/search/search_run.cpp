// The search run: typed text, "path:." from the host's panel, filter, file and folder passes.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include "host/host_commands.h"
#include <wctype.h>
#include <string.h>

DWORD g_engineTotalFiles = 0;
DWORD g_engineTotalFolders = 0;

int FfFindPathToken(const wchar_t* typed)
{
    static const wchar_t token[] = L"path:.";
    for (int p = 0; typed[p]; p++) {
        int i = 0;
        for (; i < 6; i++) {
            wchar_t c = typed[p + i];
            if (c >= L'A' && c <= L'Z') c = (wchar_t)(c - L'A' + L'a');
            if (c != token[i]) break;
        }
        if (i < 6) continue;
        wchar_t after = typed[p + 6];
        if (after == 0 || iswctype(after, _SPACE)) return p;
    }
    return -1;
}

int FfScopeFolderForQuery(const wchar_t* folder, wchar_t* out, int cap)
{
    if (!out || cap < 2) return 0;
    out[0] = 0;
    // The host names its plug-ins' folders with three leading backslashes (ours is
    // "\\\Fleetfinder"); no such path is on disk, whatever the folder is called.
    if (!folder || wcsncmp(folder, L"\\\\\\", 3) == 0) return 0;
    int length = (int)wcslen(folder);
    while (length > 0 && folder[length - 1] == L'\\') length--;
    if (length == 0) return 0;
    // Room for the backslash is kept: a folder cut short still names a folder, not a prefix.
    FfCopyTextN(out, cap - 1, folder, length);
    FfAppendText(out, cap, L"\\");
    return 1;
}

int FfSubstitutePathToken(wchar_t* out, int cap, const wchar_t* typed, int p,
                          const wchar_t* folder)
{
    FfCopyTextN(out, cap, typed, p);
    wchar_t clause[FF_FOLDER_CLAUSE_MAX];
    FfFormatText(clause, FF_FOLDER_CLAUSE_MAX, L"path:\"%s\"", folder);
    FfAppendText(out, cap, clause);
    return FfAppendText(out, cap, typed + p + 6);
}

// Reads the clipboard's Unicode text into folder; 0 when there is none or it is empty.
static int FfReadClipboardFolder(HWND owner, wchar_t* folder, int cap)
{
    int found = 0;
    if (!FfOpenClipboardPatiently(owner)) return 0;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* text = data ? (const wchar_t*)GlobalLock(data) : nullptr;
    if (text) {
        // The block need not hold a terminator: read no further than its size.
        SIZE_T chars = GlobalSize(data) / sizeof(wchar_t);
        int length = 0;
        while ((SIZE_T)length < chars && length < cap - 1 && text[length]) length++;
        if (length > 0) {
            FfCopyTextN(folder, cap, text, length);
            found = 1;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return found;
}

int FfQueryHostActiveFolder(HWND hostWindow, HWND clipboardOwner, wchar_t* folder, int cap)
{
    folder[0] = 0;
    if (!hostWindow) return 0;
    // The host answers through the clipboard; whatever the user had copied goes back after.
    // What could not be saved could not be put back: then the host is not asked at all.
    FfClipboardSnapshot* saved = FfSaveClipboard(clipboardOwner);
    if (!saved) {
        FfLog(L"FfQueryHostActiveFolder: clipboard FAILED to open for saving - the host is not asked "
              L"for its folder, so what the user copied stays.");
        return 0;
    }
    DWORD before = GetClipboardSequenceNumber();
    FfSendHostCommand(hostWindow, FF_HOST_CM_COPY_SOURCE_PATH);
    // A host that did not answer (a stale handle, say) leaves the user's own text there, which
    // is no folder: only what was put on the clipboard during the command counts.
    int found = GetClipboardSequenceNumber() != before ? FfReadClipboardFolder(clipboardOwner, folder, cap) : 0;
    FfRestoreClipboard(clipboardOwner, saved);
    return found;
}

void FfOrderFilesBeforeFolders(FfResult* results, int count)
{
    if (count < 2) return;
    // The file pass fills the front and the folder pass the rest, so the set is normally in
    // order already and nothing need be copied.
    int firstFolder = 0;
    while (firstFolder < count && !results[firstFolder].isFolder) firstFolder++;
    int scan = firstFolder;
    while (scan < count && results[scan].isFolder) scan++;
    if (scan == count) return;
    // Only what follows the first folder moves: a later page of files lands after the folder
    // block, and however much is loaded, only that block and the page change places.
    int tail = count - firstFolder;
    FfResult* scratch = (FfResult*)HeapAlloc(GetProcessHeap(), 0, sizeof(FfResult) * (SIZE_T)tail);
    if (!scratch) return;
    int n = 0;
    for (int i = firstFolder; i < count; i++)
        if (!results[i].isFolder) scratch[n++] = results[i];
    for (int i = firstFolder; i < count; i++)
        if (results[i].isFolder) scratch[n++] = results[i];
    memcpy(results + firstFolder, scratch, sizeof(FfResult) * (SIZE_T)tail);
    HeapFree(GetProcessHeap(), 0, scratch);
}

// Replaces "path:." by the host's active folder when it can be had; query receives the text.
static void FfResolvePathToken(const wchar_t* typed, int p, HWND clipboardOwner, wchar_t* query, int cap)
{
    wchar_t folder[FF_ACTIVE_FOLDER_MAX];
    wchar_t scoped[FF_ACTIVE_FOLDER_MAX + 1];
    HWND host = FfFindHostWindow();
    int found = host ? FfQueryHostActiveFolder(host, clipboardOwner, folder, FF_ACTIVE_FOLDER_MAX) : 0;
    // A folder inside a plug-in's virtual folder (our own) means nothing to the engine.
    if (found && FfScopeFolderForQuery(folder, scoped, FF_ACTIVE_FOLDER_MAX + 1)) {
        FfSubstitutePathToken(query, cap, typed, p, scoped);
        wchar_t line[2112];
        FfFormatText(line, 2112, L"path:. substituted with %s", folder);
        FfEverythingDebugLog(line);
        return;
    }
    FfEverythingDebugLog(L"path:. typed but the active panel's current folder could not be "
                         L"determined - left as literal text.");
    FfCopyText(query, cap, typed);
}

FfSearchRun g_searchRun;
DWORD g_resultSetSerial = 0;
wchar_t g_resultSetText[FF_TYPED_TEXT_MAX];
static DWORD g_searchSequence = 0;  // the reply id of the last pass sent

// MaxResults is one query's page; the set holds many pages.
static int FfSearchPageSize(void)
{
    int page = g_settings.maxResults > FF_RESULTS_PAGE_MAX ? FF_RESULTS_PAGE_MAX : g_settings.maxResults;
    return page < 0 ? 0 : page;
}

// Sends the run's pass as it stands, with a new reply id; its outcome comes to FfOnEverythingReply.
static int FfSendSearchPass(FfSearchPass* pass)
{
    if (++g_searchSequence == 0) g_searchSequence = 1;  // 0 means none
    pass->sequence = g_searchSequence;
    wchar_t text[FF_QUERY_TEXT_MAX];
    FfBuildQueryText(text, FF_QUERY_TEXT_MAX, pass->filterClause, pass->query,
                     pass->kind == FF_PASS_FOLDERS ? L"folder:" : L"file:");
    FfIpcQuery query;
    query.replyWindow = nullptr;
    query.replyId = pass->sequence;
    query.searchFlags = FfSearchFlagsFromSettings(&g_settings);
    query.offset = (DWORD)pass->first;
    query.maxResults = (DWORD)pass->cap;
    query.sortType = g_settings.sortType;
    query.text = text;
    // A new text's first pass replaces the rows shown when its outcome comes, not before.
    return FfSendEverythingQuery(g_searchRun.engine, &query, pass->cap, pass->at == 0);
}

// The result set changed: files first, the user's column sort, and the notify window told.
static void FfPublishRunResults(int complete)
{
    g_resultSetSerial++;
    FfCopyText(g_resultSetText, FF_TYPED_TEXT_MAX, g_resultCount > 0 ? g_searchRun.typed : L"");
    if (g_resultCount >= 2) {
        FfOrderFilesBeforeFolders(g_results, g_resultCount);
        if (g_localSortActive == 1) {
            if (g_searchRun.page && g_searchRun.notify && IsWindow(g_searchRun.notify))
                SendMessageW(g_searchRun.notify, WM_FF_SEARCH_REORDERING, 0, 0);
            FfSortResults(g_results, g_resultCount, g_sortColumn, g_sortDescending);
        }
    }
    if (g_searchRun.notify && IsWindow(g_searchRun.notify))
        SendMessageW(g_searchRun.notify, WM_FF_SEARCH_UPDATED, (WPARAM)complete, 0);
}

static void FfCompleteSearch(void)
{
    g_searchRun.active = 0;
    // The passes appended what they read, so the set holds files + folders already.
    // The line carries the name the run is known by in the log: the overlay's FfRunSearchNow.
    FfLog(L"FfRunSearchNow: filter=\"%s\" typed=\"%s\" includeFolders=%d -> files=%d(ok=%d) "
          L"folders=%d(ok=%d) total=%d",
          g_searchRun.filterName, g_searchRun.typed, g_searchRun.includeFolders, g_searchRun.files,
          g_searchRun.okFiles, g_searchRun.folders, g_searchRun.okFolders, g_resultCount);
    FfPublishRunResults(1);
}

void FfCancelSearch(void)
{
    if (g_searchRun.active) FfForgetEverythingQuery();
    g_searchRun.active = 0;
}

// The engine's total for a pass after a page of count records (loaded now in all): a total
// that shrank below what is loaded, or a later page that brought nothing where the total
// promised more, ends the pass at what is loaded, so that no page is asked in vain again and
// again (publishing all would otherwise never end).
static DWORD FfPassTotal(DWORD reported, int loaded, int count, int asked, int page)
{
    if (reported < (DWORD)loaded) return (DWORD)loaded;
    if (count == 0 && asked > 0 && (loaded > 0 || page)) return (DWORD)loaded;
    return reported;
}

void FfOnEverythingReply(const FfIpcReplyState* state, DWORD replyId)
{
    FfSearchRun* run = &g_searchRun;
    FfSearchPass* pass = &run->pass;
    if (!run->active || replyId != pass->sequence) return;
    int ok = state->done && state->ok;
    int count = ok ? state->count : 0;
    if (count < 0) count = 0;
    if (count > pass->cap) count = pass->cap;
    if (count > g_resultCount) count = g_resultCount;
    // The pass's results are the last count records of the set.
    if (ok) FfOrderPassAsAsked(g_results + g_resultCount - count, count, g_settings.sortType, state->sortType);
    int folders = pass->kind == FF_PASS_FOLDERS;
    int* loaded = folders ? &run->folders : &run->files;
    DWORD* total = folders ? &g_engineTotalFolders : &g_engineTotalFiles;
    *loaded += count;
    if (folders) run->okFolders = ok;
    else run->okFiles = ok;
    // A later page that failed leaves the totals: scrolling on asks it again.
    if (ok) *total = FfPassTotal(state->total, *loaded, count, pass->cap, run->page);
    else if (!run->page) *total = 0;
    if (run->page) {
        // Files go before the folder block (the set is put in that order as it is published).
        run->pageAt = folders ? g_resultCount - count : run->files - count;
        run->pageRows = count;
        FfLog(L"FfAskNextPage: %s from %d -> %d(ok=%d), now %d of %lu", folders ? L"folders" : L"files",
              pass->first, count, ok, *loaded, (unsigned long)*total);
        FfCompleteSearch();
        return;
    }
    if (folders) {
        FfCompleteSearch();
        return;
    }
    g_engineTotalFolders = 0;
    if (!run->includeFolders) {
        FfCompleteSearch();
        return;
    }
    // An engine that refused, is loading or did not answer the file pass would only make the
    // user wait as long again for the folder pass.
    if (g_engineState != FF_ENGINE_ANSWERED) {
        run->okFolders = 0;
        FfCompleteSearch();
        return;
    }
    int cap = FfSearchPageSize();
    if (cap > FF_RESULTS_MAX - g_resultCount) cap = FF_RESULTS_MAX - g_resultCount;
    if (cap <= 0) {
        FfCompleteSearch();
        return;
    }
    // The files are shown while the folders are asked for; both totals are known after the
    // first page of each, and later file pages go in before the folders.
    pass->kind = FF_PASS_FOLDERS;
    pass->first = 0;
    pass->cap = cap;
    pass->at = g_resultCount;
    if (FfSendSearchPass(pass)) FfPublishRunResults(0);
}

int FfSearchHasMore(void)
{
    const FfSearchRun* run = &g_searchRun;
    if (!run->typed[0] || g_resultCount < 1 || g_resultCount >= FF_RESULTS_MAX || FfSearchPageSize() < 1)
        return 0;
    if ((DWORD)run->files < g_engineTotalFiles) return 1;
    return run->includeFolders && (DWORD)run->folders < g_engineTotalFolders;
}

int FfAskNextPage(void)
{
    FfSearchRun* run = &g_searchRun;
    if (run->active) return 1;
    if (!FfSearchHasMore()) return 0;
    FfSearchPass* pass = &run->pass;
    pass->kind = (DWORD)run->files < g_engineTotalFiles ? FF_PASS_FILES : FF_PASS_FOLDERS;
    pass->first = pass->kind == FF_PASS_FILES ? run->files : run->folders;
    pass->cap = FfSearchPageSize();
    if (pass->cap > FF_RESULTS_MAX - g_resultCount) pass->cap = FF_RESULTS_MAX - g_resultCount;
    pass->at = g_resultCount;
    run->page = 1;
    run->pageAt = g_resultCount;
    run->pageRows = 0;
    run->active = 1;
    FfSendSearchPass(pass);
    return 1;
}

int FfStartSearch(const wchar_t* typed, HWND clipboardOwner, HWND notify)
{
    FfCancelSearch();
    FfSearchRun* run = &g_searchRun;
    run->notify = notify;
    run->files = run->folders = 0;
    run->page = run->pageAt = run->pageRows = 0;
    run->okFiles = 0;
    run->okFolders = 1;
    if (!typed || !typed[0]) {
        run->typed[0] = 0;
        FfClearResults();
        FfPublishRunResults(1);
        return 0;
    }
    FfCopyText(run->typed, FF_TYPED_TEXT_MAX, typed);
    FfSearchPass* pass = &run->pass;

    int p = FfFindPathToken(typed);
    if (p >= 0)
        FfResolvePathToken(typed, p, clipboardOwner, pass->query, FF_SUBSTITUTED_QUERY_MAX);
    else
        FfCopyText(pass->query, FF_SUBSTITUTED_QUERY_MAX, typed);

    const FfFilter* filter = nullptr;
    if (g_selectedFilter >= 0 && g_selectedFilter < g_filterCount) filter = &g_filters[g_selectedFilter];
    FfCopyText(run->filterName, FF_FILTER_NAME_MAX, filter ? filter->name : L"");

    g_engineTotalFiles = g_engineTotalFolders = 0;
    run->engine = FfFindEverythingWindow();
    // The clause depends on the engine's version (asked once per opening).
    run->includeFolders =
        FfComposeFilterClauseFor(run->engine, filter, pass->filterClause, FF_FILTER_CLAUSE_MAX);
    if (!run->engine) {
        g_engineState = FF_ENGINE_NOT_RUNNING;
        g_engineLastTotal = 0;
        g_engineLastSortType = 0;
        FfClearResults();
        // As a folder pass would have found it: no engine either.
        run->okFolders = run->includeFolders ? 0 : 1;
        FfCompleteSearch();
        return 0;
    }
    pass->kind = FF_PASS_FILES;
    pass->first = 0;
    pass->cap = FfSearchPageSize();
    pass->at = 0;
    run->active = 1;
    FfSendSearchPass(pass);
    return run->active;
}
