// Result list contents: search and refill from the result set, selection, column geometry, header
// clicks, context menu.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "host/host.h"
#include "search/search.h"
#include "core/text.h"

#include <string.h>

int g_selectedIndex = -1;
int g_selectedRows[FF_SELECTED_INDEXES_MAX];
int g_widestDateWidth = 0;
int g_widestSizeWidth = 0;
DWORD g_matchMask[FF_MATCH_MASK_MAX];
HICON g_headerFileIcon = nullptr;

int FfContentRight(int right)
{
    return g_listHasScrollBar ? right - FfScalePixels(12, g_theme.dpiScale) : right;
}

// FfComputeColumnWidths with the measured widest date and size. Rows and the header strip start
// at 0, so the content's right edge is the list's width less its scroll bar.
static void FfCurrentColumnWidths(int contentRight, FfColumnWidths* widths)
{
    int listWidth = g_listHasScrollBar ? contentRight + FfScalePixels(12, g_theme.dpiScale) : contentRight;
    FfComputeColumnWidths(listWidth, contentRight, g_widestDateWidth, g_widestSizeWidth, g_theme.dpiScale, widths);
}

void FfGetColumnRects(int top, int right, int bottom, RECT* folder, RECT* size, RECT* date)
{
    FfColumnWidths widths;
    FfCurrentColumnWidths(right, &widths);
    FfComputeColumnRects(top, right, bottom, g_theme.dpiScale, &widths, folder, size, date);
}

void FfFillResultList()
{
    // The column fits every date the pictures can give, so no result's date is measured.
    if (g_resultList && g_resultCount >= 1) {
        g_widestDateWidth = FfWidestDateWidth(g_theme.font);
        g_widestSizeWidth = FfWidestSizeWidth(g_theme.font);
    }
    if (g_resultList) {
        // Each row is drawn from g_results by its index. The overlay's list keeps no row data
        // and takes the count at once, repainting itself; a list without that style gets one
        // row per result, with drawing held off until the last.
        SendMessageW(g_resultList, LB_RESETCONTENT, 0, 0);
        if (g_resultCount > 0 &&
            SendMessageW(g_resultList, LB_SETCOUNT, (WPARAM)g_resultCount, 0) < 0) {
            SendMessageW(g_resultList, WM_SETREDRAW, FALSE, 0);
            for (int i = 0; i < g_resultCount; i++)
                SendMessageW(g_resultList, LB_ADDSTRING, 0, (LPARAM)i);
            SendMessageW(g_resultList, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(g_resultList, nullptr, TRUE);
        }
    }
    FfUpdateStatusLine();
    FfLayoutOverlay();
    FfLogColumnWidths();
}

// Says where the columns went whenever they move (a new width, font or scroll bar): the
// troubleshooting of a cut column starts here.
void FfLogColumnWidths()
{
    static int logged[4] = {-1, -1, -1, -1};
    RECT client;
    if (!g_resultList || g_resultCount < 1 || !GetClientRect(g_resultList, &client)) return;
    int content = FfContentRight(client.right);
    FfColumnWidths widths;
    FfCurrentColumnWidths(content, &widths);
    int now[4] = {content, widths.folder, widths.size, widths.date};
    if (memcmp(now, logged, sizeof now) == 0) return;
    memcpy(logged, now, sizeof now);
    FfLog(L"FfFillResultList: columns for rows %d px wide: folder %d, size %d, date %d (widest date %d)", content,
          widths.folder, widths.size, widths.date, g_widestDateWidth);
}

void FfAppendResultRows(int previousCount)
{
    FfInsertResultRows(previousCount, g_resultCount - previousCount);
}

void FfInsertResultRows(int at, int rows)
{
    if (!g_resultList) return;
    int listed = (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0);
    if (at < 0 || rows < 0 || at > listed || listed + rows != g_resultCount) {
        FfFillResultList();
        return;
    }
    if (rows > 0) {
        // The list keeps no row data: the new count is all it needs; what moved is the rows
        // from at on, so the selected ones among them and the caret move with them.
        int top = (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0);
        int caret = at < listed ? (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0) : -1;
        int selected = at < listed ? FfGetSelectedResultIndexes(g_selectedRows) : 0;
        SendMessageW(g_resultList, LB_SETCOUNT, (WPARAM)g_resultCount, 0);
        for (int k = selected - 1; k >= 0 && g_selectedRows[k] >= at; k--) {
            SendMessageW(g_resultList, LB_SETSEL, FALSE, (LPARAM)g_selectedRows[k]);
            SendMessageW(g_resultList, LB_SETSEL, TRUE, (LPARAM)(g_selectedRows[k] + rows));
        }
        if (caret >= at) SendMessageW(g_resultList, LB_SETCARETINDEX, (WPARAM)(caret + rows), 0);
        if (g_selectedIndex >= at && at < listed) g_selectedIndex += rows;
        if ((int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0) != top)
            SendMessageW(g_resultList, LB_SETTOPINDEX, (WPARAM)top, 0);
        if (at < listed) InvalidateRect(g_resultList, nullptr, TRUE);
    } else if (at < listed) {
        InvalidateRect(g_resultList, nullptr, TRUE);  // re-sorted in place
    }
    FfUpdateStatusLine();
    FfLayoutOverlay();
}

void FfRunSearchNow()
{
    wchar_t typed[FF_TYPED_TEXT_MAX];
    typed[0] = 0;
    if (g_searchBox) GetWindowTextW(g_searchBox, typed, FF_TYPED_TEXT_MAX);
    typed[FF_TYPED_TEXT_MAX - 1] = 0;
    // The overlay owns the clipboard while the host hands over its folder for "path:.". The
    // list follows each reply as it lands (WM_FF_SEARCH_UPDATED); until then it shows what it
    // showed.
    // Publishing all was for the text before.
    g_fetchAll.pending = false;
    FfStartSearch(typed, g_overlayWindow, g_overlayWindow);
}

void FfUpdateStatusLine()
{
    int folders = 0;
    for (int i = 0; i < g_resultCount; i++)
        if (g_results[i].isFolder) folders++;
    int files = g_resultCount - folders;
    if (files < 0) files = 0;
    // An empty search box asked nothing: its results are no news.
    bool searched = g_searchBox && GetWindowTextLengthW(g_searchBox) > 0;
    wchar_t text[FF_STATUS_TEXT_MAX];
    // While publishing all waits for pages, the line says so in front of the counts.
    int at = 0;
    if (g_fetchAll.pending) at = FfFormatText(text, FF_STATUS_TEXT_MAX, L"Publishing all: ");
    FfComposeStatusText(g_engineState, files, folders, g_engineTotalFiles, g_engineTotalFolders,
                        searched, text + at, FF_STATUS_TEXT_MAX - at);
    // A column sort orders what is loaded; pages still at the engine are not in it.
    bool more = g_engineTotalFiles > (DWORD)files || g_engineTotalFolders > (DWORD)folders;
    if (g_engineState == FF_ENGINE_ANSWERED && searched)
        FfAppendSortNote(text, FF_STATUS_TEXT_MAX, g_localSortActive == 1, g_resultCount, more);
    // Set only when it changes: each setting repaints the line.
    wchar_t shown[FF_STATUS_TEXT_MAX];
    shown[0] = 0;
    if (g_statusLine) GetWindowTextW(g_statusLine, shown, FF_STATUS_TEXT_MAX);
    if (g_statusLine && wcscmp(shown, text) != 0) SetWindowTextW(g_statusLine, text);
    if (!g_overlayWindow) return;
    if (searched && g_engineState == FF_ENGINE_LOADING && IsWindowVisible(g_overlayWindow))
        SetTimer(g_overlayWindow, FF_TIMER_ENGINE_RETRY, FF_ENGINE_RETRY_MS, nullptr);
    else
        KillTimer(g_overlayWindow, FF_TIMER_ENGINE_RETRY);
}

void FfResetResultList()
{
    FfFillResultList();
    if (g_resultCount > 0) {
        g_selectedIndex = 0;
        if (g_resultList) {
            SendMessageW(g_resultList, LB_SETCARETINDEX, 0, 0);
            SendMessageW(g_resultList, LB_SETSEL, TRUE, 0);
        }
    } else {
        g_selectedIndex = -1;
    }
}

int FfGetSelectedResultIndexes(int* indexes)
{
    if (!g_resultList || !indexes) return 0;
    int n = (int)SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0);
    if (n < 1) return 0;
    if (n > FF_SELECTED_INDEXES_MAX) n = FF_SELECTED_INDEXES_MAX;
    int got = (int)SendMessageW(g_resultList, LB_GETSELITEMS, (WPARAM)n, (LPARAM)indexes);
    if (got < 0) return 0;
    // Rows left over from an earlier result set would read stale records: keep only live ones.
    int kept = 0;
    for (int i = 0; i < got && i < n; i++) {
        if (indexes[i] >= 0 && indexes[i] < g_resultCount) indexes[kept++] = indexes[i];
    }
    return kept;
}

bool FfOnHeaderClick(int x, int y)
{
    if (g_resultCount < 1) return false;
    POINT pt = {x, y};
    if (!PtInRect(&g_headerRect, pt)) return false;
    int right = FfContentRight(g_headerRect.right);
    FfColumnWidths widths;
    FfCurrentColumnWidths(right, &widths);
    int column = FfHeaderColumnFromPoint(&g_headerRect, x, y, right, g_theme.dpiScale, &widths);
    FfSortResultsByColumn(column);
    return true;
}

void FfSortResultsByColumn(int column)
{
    FfApplyColumnSort(column);
    if (g_overlayWindow) InvalidateRect(g_overlayWindow, &g_headerRect, FALSE);
    g_selectedIndex = -1;
    FfFillResultList();
}

void FfOnResultListContextMenu(LPARAM lParam)
{
    if (!g_resultList) return;
    int x = (short)LOWORD(lParam);
    int y = (short)HIWORD(lParam);
    int row = -1;
    if (x == -1 && y == -1) {
        row = (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0);
    } else {
        POINT pt = {x, y};
        ScreenToClient(g_resultList, &pt);
        // Points left or above the list would wrap in the packed coordinates: no row there.
        if (pt.x < 0 || pt.y < 0 || pt.x > 0xFFFF || pt.y > 0xFFFF) return;
        LRESULT hit = SendMessageW(g_resultList, LB_ITEMFROMPOINT, 0, MAKELPARAM(pt.x, pt.y));
        if (HIWORD(hit) != 0) return;
        row = (int)LOWORD(hit);
    }
    if (row < 0 || row >= g_resultCount) return;
    int chosen = FfShowResultContextMenu(row, x, y);
    // Both "Show" items publish, which closes the overlay; the search box keeps its text.
    bool show = chosen == FF_ID_MENU_SHOW_ONE || chosen == FF_ID_MENU_SHOW_ALL;
    if (show && g_resultCount == 0) FfRememberSearchBoxText();
}
