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
    FfResult* scratch =
        (FfResult*)HeapAlloc(GetProcessHeap(), 0, sizeof(FfResult) * (SIZE_T)count);
    if (!scratch) return;
    int n = 0;
    for (int i = 0; i < count; i++)
        if (!results[i].isFolder) scratch[n++] = results[i];
    for (int i = 0; i < count; i++)
        if (results[i].isFolder) scratch[n++] = results[i];
    memcpy(results, scratch, sizeof(FfResult) * (SIZE_T)count);
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

int FfRunSearch(const wchar_t* typed, HWND clipboardOwner)
{
    // Each run starts from an empty set: the passes append to it.
    FfClearResults();
    if (!typed || !typed[0]) return 0;

    wchar_t substituted[FF_SUBSTITUTED_QUERY_MAX];
    const wchar_t* query = typed;
    int p = FfFindPathToken(typed);
    if (p >= 0) {
        FfResolvePathToken(typed, p, clipboardOwner, substituted, FF_SUBSTITUTED_QUERY_MAX);
        query = substituted;
    }

    const FfFilter* filter = nullptr;
    if (g_selectedFilter >= 0 && g_selectedFilter < g_filterCount) filter = &g_filters[g_selectedFilter];

    int maxResults = g_settings.maxResults;
    // maxResults is one query's page; the set holds many pages, so each pass asks for a page.
    int cap1 = maxResults > FF_RESULTS_PAGE_MAX ? FF_RESULTS_PAGE_MAX : maxResults;
    if (cap1 < 0) cap1 = 0;
    int reported = 0;
    // Both passes go to the engine found now; without one, the folder pass looks again.
    HWND engine = FfFindEverythingWindow();
    wchar_t filterClause[FF_FILTER_CLAUSE_MAX];
    int includeFolders = FfComposeFilterClauseFor(engine, filter, filterClause, FF_FILTER_CLAUSE_MAX);
    int ok1 = FfQueryEverythingWindow(engine, filterClause, query, L"file:", cap1, &reported);
    int files = reported < 0 ? 0 : (reported > cap1 ? cap1 : reported);
    if (ok1) FfOrderPassAsAsked(g_results, files, g_settings.sortType, g_engineLastSortType);
    g_engineTotalFiles = ok1 ? g_engineLastTotal : 0;
    g_engineTotalFolders = 0;

    int folders = 0;
    int ok2 = 1;
    // An engine that refused, is loading or did not answer the file pass would only make the
    // user wait as long again for the folder pass.
    int engineUsable = engine == nullptr || g_engineState == FF_ENGINE_ANSWERED;
    if (includeFolders && !engineUsable) ok2 = 0;
    if (includeFolders && engineUsable) {
        int cap2 = cap1 < FF_RESULTS_MAX - files ? cap1 : FF_RESULTS_MAX - files;
        if (cap2 > 0) {
            reported = 0;
            if (!engine) engine = FfFindEverythingWindow();
            ok2 = FfQueryEverythingWindow(engine, filterClause, query, L"folder:", cap2, &reported);
            folders = reported < 0 ? 0 : (reported > cap2 ? cap2 : reported);
            if (ok2) FfOrderPassAsAsked(g_results + files, folders, g_settings.sortType, g_engineLastSortType);
            g_engineTotalFolders = ok2 ? g_engineLastTotal : 0;
        }
    }

    // The passes appended exactly what they report; the count stands as they left it.
    // The line carries the name the run is known by in the log: the overlay's FfRunSearchNow.
    FfLog(L"FfRunSearchNow: filter=\"%s\" typed=\"%s\" includeFolders=%d -> files=%d(ok=%d) "
          L"folders=%d(ok=%d) total=%d",
          filter ? filter->name : L"", typed, includeFolders, files, ok1, folders, ok2,
          g_resultCount);
    if (g_resultCount >= 2) {
        FfOrderFilesBeforeFolders(g_results, g_resultCount);
        if (g_localSortActive == 1)
            FfSortResults(g_results, g_resultCount, g_sortColumn, g_sortDescending);
    }
    return g_resultCount;
}
