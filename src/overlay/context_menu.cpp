// The result context menu: go to a result's location, or publish one or all results.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "bridge/bridge.h"
#include "core/text.h"
#include "host/host_commands.h"
#include "search/search.h"

#define FF_MENU_TEXT_CHARS 64  // the "Show all" item: at most 63 characters

int FfFormatShowAllMenuText(int resultCount, wchar_t* text, int textCap)
{
    int cap = textCap < FF_MENU_TEXT_CHARS ? textCap : FF_MENU_TEXT_CHARS;
    return FfFormatText(text, cap, L"Show all %d result%s in panel", resultCount,
                        resultCount == 1 ? L"" : L"s");
}

// Makes row the list's only selected row and its caret.
static void FfSelectOnlyRow(int row)
{
    if (g_resultList) {
        SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
        SendMessageW(g_resultList, LB_SETCARETINDEX, (WPARAM)row, 0);
        SendMessageW(g_resultList, LB_SETSEL, TRUE, (LPARAM)row);
    }
    g_selectedIndex = row;
}

// The row's left-bottom corner on screen, where a menu asked for from the keyboard opens.
static POINT FfRowMenuPoint(int row)
{
    POINT point = {0, 0};
    RECT rect;
    if (g_resultList && SendMessageW(g_resultList, LB_GETITEMRECT, (WPARAM)row, (LPARAM)&rect) != LB_ERR) {
        point.x = rect.left;
        point.y = rect.bottom;
        ClientToScreen(g_resultList, &point);
    }
    return point;
}

static int FfTrackResultMenu(int x, int y)
{
    HMENU menu = CreatePopupMenu();
    if (!menu) return 0;
    wchar_t showAll[FF_MENU_TEXT_CHARS];
    // "All" is every match, the pages still at the engine too.
    FfFormatShowAllMenuText(FfPublishAllCount(), showAll, FF_MENU_TEXT_CHARS);
    AppendMenuW(menu, MF_STRING, FF_ID_MENU_GOTO_LOCATION, L"Go to this location");
    if (g_resultCount >= 2)
        AppendMenuW(menu, MF_STRING, FF_ID_MENU_SHOW_ONE, L"Show just this 1 result in panel");
    AppendMenuW(menu, MF_STRING, FF_ID_MENU_SHOW_ALL, showAll);
    if (g_overlayWindow) SetForegroundWindow(g_overlayWindow);
    int chosen = (int)TrackPopupMenu(menu, TPM_RETURNCMD, x, y, 0, g_overlayWindow, nullptr);
    DestroyMenu(menu);
    return chosen;
}

static void FfGoToResultLocation(int resultIndex)
{
    HWND host = FfFindHostWindow();
    if (!host) return;
    // Copied before closing: closing forgets the result set.
    wchar_t path[FF_PANEL_PATH_CHARS];
    FfCopyText(path, FF_PANEL_PATH_CHARS, g_results[resultIndex].path);
    FfCloseOverlay();
    FfSendHostChangeDir(host, path, g_overlayWindow);
}

int FfShowResultContextMenu(int resultIndex, int x, int y)
{
    if (resultIndex < 0 || resultIndex >= g_resultCount || resultIndex >= FF_RESULTS_MAX) return 0;
    FfSelectOnlyRow(resultIndex);
    if (x == -1 && y == -1) {
        POINT point = FfRowMenuPoint(resultIndex);
        x = point.x;
        y = point.y;
    }
    DWORD shown = g_resultSetSerial;
    int chosen = FfTrackResultMenu(x, y);
    // The menu pumps messages: a reply may have replaced the results meanwhile, and then the
    // clicked row is no longer the one asked about.
    bool same = shown == g_resultSetSerial && resultIndex < g_resultCount;
    switch (chosen) {
    case FF_ID_MENU_GOTO_LOCATION:
        if (same) FfGoToResultLocation(resultIndex);
        break;
    case FF_ID_MENU_SHOW_ONE: {
        HWND host = FfFindHostWindow();
        if (host && same) {
            int selection[1] = {resultIndex};
            FfPublishResultsToWfx(host, selection, 1, false);
        }
        break;
    }
    case FF_ID_MENU_SHOW_ALL: {
        HWND host = FfFindHostWindow();
        if (host) FfPublishAllResults(host, false);
        break;
    }
    default:
        break;  // dismissed: the overlay stays open with the row selected
    }
    return chosen;
}
