// Results past the first page: the next page asked as the list nears the end of what is loaded,
// its rows put in without disturbing the list, and publishing all that fetches the rest first.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "core/core.h"
#include "host/host.h"
#include "search/search.h"
#include <stdlib.h>

FfFetchAll g_fetchAll = {false, nullptr, false};

// The selected results while a page is sorted in, by their paths (each record's own text in the
// set's pool, so the pointer names the record), in pointer order; and the caret's.
static const wchar_t** g_keptPaths = nullptr;
static int g_keptCount = 0;
static const wchar_t* g_keptCaret = nullptr;
static bool g_keptValid = false;

static int FfComparePointers(const void* a, const void* b)
{
    UINT_PTR x = (UINT_PTR) * (const wchar_t* const*)a, y = (UINT_PTR) * (const wchar_t* const*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

void FfKeepSelectionThroughSort()
{
    if (g_keptPaths) HeapFree(GetProcessHeap(), 0, g_keptPaths);
    g_keptPaths = nullptr;
    g_keptCount = 0;
    g_keptCaret = nullptr;
    g_keptValid = g_resultList != nullptr;
    if (!g_keptValid) return;
    // The page's rows are appended already; the list still shows the rows before it.
    int listed = (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0);
    int n = FfGetSelectedResultIndexes(g_selectedRows);
    if (n > 0) g_keptPaths = (const wchar_t**)HeapAlloc(GetProcessHeap(), 0, sizeof(const wchar_t*) * (SIZE_T)n);
    for (int i = 0; g_keptPaths && i < n; i++)
        if (g_selectedRows[i] < listed && g_selectedRows[i] < g_resultCount)
            g_keptPaths[g_keptCount++] = g_results[g_selectedRows[i]].path;
    qsort(g_keptPaths, (size_t)g_keptCount, sizeof(const wchar_t*), FfComparePointers);
    int caret = (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0);
    if (caret >= 0 && caret < listed && caret < g_resultCount) g_keptCaret = g_results[caret].path;
}

// After the sort: the same results selected at their new rows, the caret on its result, the
// view where it was.
static void FfRestoreSelectionAfterSort()
{
    if (!g_keptValid || !g_resultList) return;
    g_keptValid = false;
    int top = (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0);
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    int caretRow = -1;
    for (int i = 0; i < g_resultCount; i++) {
        const wchar_t* path = g_results[i].path;
        if (path == g_keptCaret) caretRow = i;
        if (g_keptCount && bsearch(&path, g_keptPaths, (size_t)g_keptCount, sizeof(const wchar_t*), FfComparePointers))
            SendMessageW(g_resultList, LB_SETSEL, TRUE, (LPARAM)i);
    }
    if (caretRow >= 0) SendMessageW(g_resultList, LB_SETCARETINDEX, (WPARAM)caretRow, 0);
    g_selectedIndex = caretRow;
    SendMessageW(g_resultList, LB_SETTOPINDEX, (WPARAM)top, 0);
    if (g_keptPaths) HeapFree(GetProcessHeap(), 0, g_keptPaths);
    g_keptPaths = nullptr;
    g_keptCount = 0;
}

void FfAskMoreIfNearEnd()
{
    if (!g_resultList || g_fetchAll.pending || !FfSearchHasMore()) return;
    RECT c;
    GetClientRect(g_resultList, &c);
    int rows = FfScrollPageRows(c.bottom - c.top, g_theme.rowHeight);
    int top = (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0);
    int caret = (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0);
    // Within a page of the end: the last row shown, or the caret, is that close to it.
    if (top + 2 * rows >= g_resultCount || caret + rows >= g_resultCount) FfAskNextPage();
}

// Publishes what has arrived; the fetch is over either way.
static void FfFinishPublishAll()
{
    g_fetchAll.pending = false;
    FfCancelSearch();
    if (g_resultCount >= FF_RESULTS_MAX)
        FfLog(L"FfPublishAllResults: the first %d results are published - the most the plug-in "
              L"holds.", g_resultCount);
    FfPublishSearchResults(g_fetchAll.host, nullptr, 0, g_fetchAll.append);
}

void FfPublishAllResults(HWND host, bool append)
{
    if (!host) return;
    if (!FfSearchHasMore() && !g_searchRun.active) {
        FfPublishSearchResults(host, nullptr, 0, append);
        return;
    }
    g_fetchAll.pending = true;
    g_fetchAll.host = host;
    g_fetchAll.append = append;
    FfLog(L"FfPublishAllResults: %d loaded of %lu files and %lu folders - fetching the rest first.",
          g_resultCount, (unsigned long)g_engineTotalFiles, (unsigned long)g_engineTotalFolders);
    FfUpdateStatusLine();
    // A pass still out (the first run's folders, or a page) goes on; its landing asks the next.
    if (!g_searchRun.active && g_overlayWindow) PostMessageW(g_overlayWindow, WM_FF_FETCH_NEXT, 0, 0);
}

int FfPublishAllCount()
{
    if (!FfSearchHasMore()) return g_resultCount;
    unsigned long long all = (unsigned long long)g_engineTotalFiles + g_engineTotalFolders;
    if (all < (unsigned long long)g_resultCount) all = (unsigned long long)g_resultCount;
    return all > FF_RESULTS_MAX ? FF_RESULTS_MAX : (int)all;
}

bool FfStopFetchingAll()
{
    if (!g_fetchAll.pending) return false;
    FfLog(L"FfPublishAllResults: stopped - publishing the %d results that arrived.", g_resultCount);
    FfFinishPublishAll();
    return true;
}

void FfFetchNextPage()
{
    if (!g_fetchAll.pending || g_searchRun.active) return;
    // Posted, never called from a landing: an engine that answers during the send would
    // otherwise nest one landing in another for every page.
    if (FfAskNextPage()) return;
    if (g_fetchAll.pending && !g_searchRun.active && !FfSearchHasMore()) FfFinishPublishAll();
}

void FfOnSearchUpdated(bool complete)
{
    if (g_searchRun.page) {
        // A column sort ordered the whole set anew: the rows are added at the end, and the
        // selection goes back to the results it was on.
        int at = g_localSortActive == 1 ? g_resultCount - g_searchRun.pageRows : g_searchRun.pageAt;
        FfInsertResultRows(at, g_searchRun.pageRows);
        FfRestoreSelectionAfterSort();
    } else {
        FfResetResultList();
    }
    if (!g_fetchAll.pending || !complete) return;
    if (g_engineState != FF_ENGINE_ANSWERED) {
        // Nothing is published short of what was asked: Enter asks again for the rest.
        FfLog(L"FfPublishAllResults: a page did not come - nothing published, %d results shown.",
              g_resultCount);
        g_fetchAll.pending = false;
        FfUpdateStatusLine();
        return;
    }
    if (FfSearchHasMore()) {
        if (g_overlayWindow) PostMessageW(g_overlayWindow, WM_FF_FETCH_NEXT, 0, 0);
    } else {
        FfFinishPublishAll();
    }
}
