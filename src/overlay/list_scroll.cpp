// Result list subclass: its own thin scroll bar, wheel, folder tooltip, Enter and Escape.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "host/host.h"
#include "search/search.h"
#include "host/host_commands.h"

#include <commctrl.h>
#include <windowsx.h>

bool g_scrollDragging = false;
static int g_scrollGrabOffset = 0;  // thumb top to the point the drag began
int g_tooltipItem = -1;
wchar_t g_tooltipText[FF_TOOLTIP_TEXT_MAX];
bool g_trackingMouseLeave = false;

// The tool record up to its text pointer: 40 bytes in the 32-bit build; the 64-bit build's wider
// handles and pointers make it 56 there (a 40-byte record would end before the text pointer).
static const UINT FF_TOOLINFO_SIZE = TTTOOLINFOW_V1_SIZE;

static int FfTopIndex()
{
    return (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0);
}

static int FfPageRows()
{
    RECT c;
    GetClientRect(g_resultList, &c);
    return FfScrollPageRows(c.bottom - c.top, g_theme.rowHeight);
}

void FfGetScrollBarRects(RECT* track, RECT* thumb)
{
    RECT c = {0, 0, 0, 0};
    if (g_resultList) GetClientRect(g_resultList, &c);
    int top = g_resultList ? FfTopIndex() : 0;
    FfComputeScrollBarRects(&c, g_listHasScrollBar, g_theme.rowHeight, g_resultCount, top,
                            g_theme.dpiScale, track, thumb);
}

static void FfInvalidateScrollBar()
{
    if (!g_resultList) return;
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    InvalidateRect(g_resultList, &track, FALSE);
}

bool FfGetResultTipText(int index)
{
    g_tooltipText[0] = 0;
    if (index < 0 || index >= g_resultCount) return false;
    return FfBuildTipText(g_results[index].path, g_results[index].isFolder != 0, g_tooltipText,
                          FF_TOOLTIP_TEXT_MAX);
}

static void FfFillToolInfo(TOOLINFOW* info)
{
    ZeroMemory(info, sizeof(*info));
    info->cbSize = FF_TOOLINFO_SIZE;
    info->hwnd = g_overlayWindow;
    info->uId = (UINT_PTR)g_resultList;
}

static void FfHideResultTip()
{
    if (!g_tooltip || g_tooltipItem == -1) return;
    TOOLINFOW info;
    FfFillToolInfo(&info);
    SendMessageW(g_tooltip, TTM_TRACKACTIVATE, FALSE, (LPARAM)&info);
    g_tooltipItem = -1;
}

static void FfTrackResultTip(HWND list, int x, int y)
{
    LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
    if (HIWORD(hit) != 0 || x < 0 || y < 0) {
        FfHideResultTip();
    } else {
        int item = (int)LOWORD(hit);
        RECT row;
        RECT folder;
        if (SendMessageW(list, LB_GETITEMRECT, (WPARAM)item, (LPARAM)&row) == LB_ERR) {
            FfHideResultTip();
        } else {
            FfGetColumnRects(row.top, FfContentRight(row.right), row.bottom, &folder, nullptr,
                             nullptr);
            if (x < folder.left || x >= folder.right || !FfGetResultTipText(item)) {
                FfHideResultTip();
            } else {
                TOOLINFOW info;
                FfFillToolInfo(&info);
                if (item != g_tooltipItem) {
                    info.lpszText = g_tooltipText;
                    SendMessageW(g_tooltip, TTM_UPDATETIPTEXTW, 0, (LPARAM)&info);
                    SendMessageW(g_tooltip, TTM_TRACKACTIVATE, TRUE, (LPARAM)&info);
                    g_tooltipItem = item;
                }
                POINT cursor;
                GetCursorPos(&cursor);
                SendMessageW(g_tooltip, TTM_TRACKPOSITION, 0,
                             MAKELPARAM(cursor.x + 16, cursor.y + 20));
            }
        }
    }
    if (!g_trackingMouseLeave) {
        TRACKMOUSEEVENT tme = {};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_LEAVE;
        tme.hwndTrack = list;
        tme.dwHoverTime = 0;
        g_trackingMouseLeave = TrackMouseEvent(&tme) != FALSE;
    }
}

static LRESULT FfCallListBase(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (g_resultListBaseProc) return CallWindowProcW(g_resultListBaseProc, hwnd, msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

static void FfSetTopIndex(HWND list, int top)
{
    SendMessageW(list, LB_SETTOPINDEX, (WPARAM)top, 0);
}

// Button press with a scroll bar: thumb drag or page click inside the track; false outside it.
static bool FfOnListButtonDown(HWND list, int x, int y)
{
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    POINT pt = {x, y};
    if (!PtInRect(&track, pt)) return false;
    if (!IsRectEmpty(&thumb) && y >= thumb.top && y <= thumb.bottom) {
        g_scrollDragging = true;
        g_scrollGrabOffset = y - thumb.top;
        SetCapture(list);
    } else {
        int top = FfTopIndex();
        int newTop = FfPageClickNewTop(top, y, &thumb, g_resultCount, FfPageRows());
        FfSetTopIndex(list, newTop);
    }
    FfInvalidateScrollBar();
    return true;
}

static void FfOnListDragMove(HWND list, int y)
{
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    int maxTop = g_resultCount - FfPageRows();
    if (maxTop <= 0 || IsRectEmpty(&thumb)) return;
    int newTop = FfDragNewTop(y, g_scrollGrabOffset, &track, thumb.bottom - thumb.top, maxTop);
    if (newTop != FfTopIndex()) {
        FfSetTopIndex(list, newTop);
        FfInvalidateScrollBar();
    }
}

static void FfPaintListScrollBar(HWND list)
{
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    HDC dc = GetDC(list);
    if (!dc) return;
    HBRUSH trackBrush = CreateSolidBrush(g_theme.scrollTrack);
    FillRect(dc, &track, trackBrush);
    DeleteObject(trackBrush);
    if (!IsRectEmpty(&thumb)) {
        HBRUSH thumbBrush =
            CreateSolidBrush(g_scrollDragging ? g_theme.highlight : g_theme.scrollThumb);
        FillRect(dc, &thumb, thumbBrush);
        DeleteObject(thumbBrush);
    }
    ReleaseDC(list, dc);
}

static void FfPublishFromList()
{
    HWND host = FfFindHostWindow();
    if (!host) return;
    int* indexes = g_selectedRows;
    int n = FfGetSelectedResultIndexes(indexes);
    bool append = FfKeyHeld(VK_CONTROL);
    if (n > 0)
        FfPublishSearchResults(host, indexes, n, append);
    else
        FfPublishAllResults(host, append);
}

static void FfOnListWheel(HWND list, WPARAM wParam)
{
    int delta = (short)HIWORD(wParam);
    int top = FfTopIndex();
    int newTop = FfWheelNewTop(top, delta, g_resultCount, FfPageRows());
    if (newTop != top) {
        FfSetTopIndex(list, newTop);
        FfInvalidateScrollBar();
    }
}

static LRESULT FfHandleResultListMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

LRESULT CALLBACK FfResultListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    bool dragging = g_scrollDragging;
    LRESULT result = FfHandleResultListMessage(hwnd, msg, wParam, lParam);
    // Whatever may have scrolled the list or moved its caret may bring the end of what is
    // loaded into reach.
    if (msg == WM_KEYDOWN || msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_MOUSEWHEEL || msg == WM_VSCROLL ||
        (msg == WM_MOUSEMOVE && dragging))
        FfAskMoreIfNearEnd();
    return result;
}

static LRESULT FfHandleResultListMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // Mouse coordinates are signed: while the thumb is captured the pointer may be above the list.
    int x = GET_X_LPARAM(lParam);
    int y = GET_Y_LPARAM(lParam);
    // A second click in the track soon after the first is another page, not a row's double-click.
    if ((msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) && g_listHasScrollBar) {
        if (FfOnListButtonDown(hwnd, x, y)) return 0;
        // A row's double-click is never held back as the start of a drag.
        if (msg == WM_LBUTTONDOWN && FfDragOutButtonDown(hwnd, wParam, lParam, FfCallListBase)) return 0;
        return FfCallListBase(hwnd, msg, wParam, lParam);
    }
    if (msg == WM_LBUTTONDOWN && FfDragOutButtonDown(hwnd, wParam, lParam, FfCallListBase)) return 0;
    if (msg == WM_MOUSEMOVE && !g_scrollDragging && FfDragOutMouseMove(hwnd, wParam, lParam, FfCallListBase)) return 0;
    if (msg == WM_LBUTTONUP && !g_scrollDragging && FfDragOutButtonUp(hwnd, FfCallListBase)) return 0;
    if (msg == WM_MOUSEMOVE && g_scrollDragging) {
        FfOnListDragMove(hwnd, y);
        return 0;
    }
    if (msg == WM_LBUTTONUP && g_scrollDragging) {
        g_scrollDragging = false;
        ReleaseCapture();
        FfInvalidateScrollBar();
        return 0;
    }
    switch (msg) {
    case WM_CAPTURECHANGED:
        if ((HWND)lParam != hwnd) FfDragOutCancel();
        // Capture taken away mid-drag (another window, a menu): end the drag rather than stick.
        if (g_scrollDragging && (HWND)lParam != hwnd) {
            g_scrollDragging = false;
            FfInvalidateScrollBar();
        }
        return FfCallListBase(hwnd, msg, wParam, lParam);
    case WM_PAINT: {
        LRESULT result = FfCallListBase(hwnd, msg, wParam, lParam);
        if (g_listHasScrollBar) FfPaintListScrollBar(hwnd);
        return result;
    }
    case WM_ERASEBKGND: {
        RECT c;
        GetClientRect(hwnd, &c);
        FillRect((HDC)wParam, &c, g_theme.windowBackgroundBrush);
        return 1;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            if (FfKeyHeld(VK_SHIFT) && !FfKeyHeld(VK_CONTROL))
                FfOpenSelectedResults();
            else
                FfPublishFromList();
            return 0;
        }
        if (wParam == 'C' && FfKeyHeld(VK_SHIFT) && FfKeyHeld(VK_CONTROL)) {
            FfCopySelectedResultPaths();
            return 0;
        }
        if (wParam == VK_ESCAPE) {
            if (!FfStopFetchingAll()) FfCloseOverlay();
            return 0;
        }
        return FfCallListBase(hwnd, msg, wParam, lParam);
    case WM_CHAR:
        if (wParam == 10 || wParam == 13 || wParam == 27) return 0;
        return FfCallListBase(hwnd, msg, wParam, lParam);
    case WM_MOUSEWHEEL:
        FfOnListWheel(hwnd, wParam);
        return 0;
    case WM_MOUSEMOVE:
        if (g_tooltip) FfTrackResultTip(hwnd, x, y);
        return FfCallListBase(hwnd, msg, wParam, lParam);
    case WM_MOUSELEAVE:
        g_trackingMouseLeave = false;
        if (g_tooltip) FfHideResultTip();
        return FfCallListBase(hwnd, msg, wParam, lParam);
    default:
        return FfCallListBase(hwnd, msg, wParam, lParam);
    }
}
