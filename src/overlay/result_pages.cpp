// Results past the first page: the next page asked as the list nears the end of what is loaded,
// its rows put in without disturbing the list, and publishing all that fetches the rest first.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "core/core.h"
#include "host/host.h"
#include "search/search.h"

FfFetchAll g_fetchAll = {false, nullptr, false};

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
        // A column sort ordered the whole set anew: the rows keep their places, not their records.
        int at = g_localSortActive == 1 ? g_resultCount - g_searchRun.pageRows : g_searchRun.pageAt;
        FfInsertResultRows(at, g_searchRun.pageRows);
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
