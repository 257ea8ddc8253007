// Overlay window procedure: child controls, tooltip, frame and button painting, search delay.
#include "overlay/overlay.h"
#include "overlay/list.h"
#include "core/core.h"
#include "host/host.h"
#include "search/search.h"

#include <commctrl.h>

#define FF_CHILD_STYLE (WS_CHILD | WS_VISIBLE)

static HWND FfCreateChild(HWND parent, const wchar_t *cls, const wchar_t *text, DWORD style, int id)
{
    return CreateWindowExW(0, cls, text, style, 0, 0, 0, 0, parent, (HMENU)(INT_PTR)id,
                           g_moduleHandle, nullptr);
}

static void FfCreateTooltip(HWND window)
{
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof(icc);
    icc.dwICC = ICC_WIN95_CLASSES;
    BOOL initialised = InitCommonControlsEx(&icc);
    g_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window,
                                nullptr, g_moduleHandle, nullptr);
    FfLog(L"WM_CREATE: InitCommonControlsEx=%d, tooltip hwnd=%p", (int)initialised, g_tooltip);
    if (!g_tooltip) return;

    // The tooltip accepts the older record (up to the text pointer) on every platform version:
    // 40 bytes in a 32-bit build, wider in a 64-bit one, where 40 would cut off the text.
    TOOLINFOW tool;
    ZeroMemory(&tool, sizeof(tool));
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = window;
    tool.uId = (UINT_PTR)g_resultList;
    tool.hinst = g_moduleHandle;
    tool.lpszText = (LPWSTR)L"";
    LRESULT added = SendMessageW(g_tooltip, TTM_ADDTOOLW, 0, (LPARAM)&tool);
    FfLog(L"WM_CREATE: TTM_ADDTOOLW result=%ld", (long)added);
    SendMessageW(g_tooltip, TTM_SETMAXTIPWIDTH, 0, FfScalePixels(500, g_theme.dpiScale));
}

static LRESULT FfOverlayOnCreate(HWND window)
{
    const wchar_t *filterName = L"";
    if (g_selectedFilter >= 0 && g_selectedFilter < g_filterCount)
        filterName = FfFilterShownName(g_filters[g_selectedFilter].name);
    g_searchBox = FfCreateChild(window, L"EDIT", L"", FF_CHILD_STYLE | ES_AUTOHSCROLL, FF_ID_SEARCHBOX);
    g_clearButton = FfCreateChild(window, L"BUTTON", L"\x2715", FF_CHILD_STYLE | BS_OWNERDRAW, FF_ID_CLEAR);
    g_filterButton = FfCreateChild(window, L"BUTTON", filterName, FF_CHILD_STYLE | BS_OWNERDRAW, FF_ID_FILTER);
    g_closeButton = FfCreateChild(window, L"BUTTON", L"\x2716", FF_CHILD_STYLE | BS_OWNERDRAW, FF_ID_CLOSE);
    g_resultList = FfCreateChild(window, L"LISTBOX", L"", FF_RESULT_LIST_STYLE, FF_ID_RESULTS);
    g_statusLine = FfCreateChild(window, L"STATIC", L"", FF_STATUS_LINE_STYLE, FF_ID_STATUS);

    FfApplyThemeToControls();

    if (g_searchBox)
        g_searchBoxBaseProc = (WNDPROC)SetWindowLongPtrW(g_searchBox, GWLP_WNDPROC,
                                                         (LONG_PTR)FfSearchBoxProc);
    if (g_resultList)
        g_resultListBaseProc = (WNDPROC)SetWindowLongPtrW(g_resultList, GWLP_WNDPROC,
                                                          (LONG_PTR)FfResultListProc);
    FfCreateTooltip(window);
    FfCreateMatchToggleTips(window);
    return 0;
}

static LRESULT FfOverlayOnDestroy()
{
    FfCancelSearch();
    // The children die with the overlay; forget them so nothing acts on recycled handles.
    g_overlayWindow = nullptr;
    g_searchBox = nullptr;
    g_clearButton = nullptr;
    g_filterButton = nullptr;
    g_closeButton = nullptr;
    g_resultList = nullptr;
    g_statusLine = nullptr;
    g_tooltip = nullptr;
    return 0;
}

static void FfFrameRect(HDC dc, const RECT *r, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    Rectangle(dc, r->left, r->top, r->right, r->bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

static LRESULT FfOverlayOnPaint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (dc) {
        FfFrameRect(dc, &g_searchFrameRect, g_theme.border);
        FfPaintMatchToggles(dc);
        if (g_resultCount > 0) FfPaintHeaderStrip(dc);
    }
    EndPaint(window, &ps);
    return 0;
}

static LRESULT FfOverlayOnEraseBackground(HWND window, HDC dc)
{
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, g_theme.windowBackgroundBrush);
    return 1;
}

// Draws the X of the clear and close buttons: two 1-pixel strokes of 8 sp around the centre.
static void FfDrawCross(HDC dc, const RECT *r, COLORREF colour)
{
    int cx = (r->left + r->right) / 2;
    int cy = (r->top + r->bottom) / 2;
    int d = FfScalePixels(4, g_theme.dpiScale);
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    MoveToEx(dc, cx - d, cy - d, nullptr);
    LineTo(dc, cx + d + 1, cy + d + 1);
    MoveToEx(dc, cx - d, cy + d, nullptr);
    LineTo(dc, cx + d + 1, cy - d - 1);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

static void FfDrawButton(const DRAWITEMSTRUCT *item)
{
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool pressed = (item->itemState & (ODS_SELECTED | ODS_FOCUS)) != 0;
    COLORREF fill = pressed ? g_theme.accent
                    : item->CtlID == FF_ID_CLOSE ? g_theme.windowBackground
                                                 : g_theme.inputBackground;
    HBRUSH brush = CreateSolidBrush(fill);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
    if (item->CtlID == FF_ID_FILTER) FfFrameRect(dc, &r, g_theme.border);

    SetBkMode(dc, TRANSPARENT);
    COLORREF textColour = pressed ? (g_theme.whiteOnAccent ? RGB(255, 255, 255) : RGB(0, 0, 0))
                                  : g_theme.inputText;
    SetTextColor(dc, textColour);
    HGDIOBJ oldFont = SelectObject(dc, g_theme.font);

    wchar_t text[FF_BUTTON_TEXT_MAX];
    text[0] = 0;
    GetWindowTextW(item->hwndItem, text, FF_BUTTON_TEXT_MAX);
    RECT shrunk = r;
    shrunk.left += FfScalePixels(5, g_theme.dpiScale);
    shrunk.right -= FfScalePixels(5, g_theme.dpiScale);

    if (item->CtlID == FF_ID_FILTER) {
        RECT arrow = shrunk;
        arrow.left = arrow.right - FfScalePixels(12, g_theme.dpiScale);
        DrawTextW(dc, L"\x25BE", 1, &arrow, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        RECT label = shrunk;
        label.right = arrow.left - FfScalePixels(2, g_theme.dpiScale);
        DrawTextW(dc, text, -1, &label, DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    } else {
        FfDrawCross(dc, &r, textColour);
    }
    SelectObject(dc, oldFont);
}

static LRESULT FfOverlayOnDrawItem(const DRAWITEMSTRUCT *item)
{
    if (!item) return 1;
    switch (item->CtlID) {
    case FF_ID_CLEAR:
    case FF_ID_FILTER:
    case FF_ID_CLOSE: FfDrawButton(item); break;
    case FF_ID_RESULTS: FfDrawResultRow(item); break;
    default: break;
    }
    return 1;
}

// Arms (or re-arms) the one-shot search delay.
static void FfArmSearchDelay(HWND window)
{
    // The setting is taken as read; a negative delay would become a timer of weeks.
    int delay = g_settings.searchDelayMs;
    if (delay < 0) delay = 0;
    SetTimer(window, FF_TIMER_SEARCH, (UINT)delay, nullptr);
}

static void FfOnClearClicked()
{
    // A reply still to come belongs to the text just cleared.
    FfCancelSearch();
    if (g_searchBox) SetWindowTextW(g_searchBox, L"");
    FfClearResults();
    FfResetResultList();
    if (g_searchBox) SetFocus(g_searchBox);
}

static bool FfOverlayOnCommand(HWND window, WPARAM wParam)
{
    int id = LOWORD(wParam);
    int code = HIWORD(wParam);
    if (id == FF_ID_SEARCHBOX && code == EN_CHANGE) {
        FfArmSearchDelay(window);
    } else if (id == FF_ID_CLEAR && code == BN_CLICKED) {
        FfOnClearClicked();
    } else if (id == FF_ID_FILTER && code == BN_CLICKED) {
        FfShowFilterMenu();
    } else if (id == FF_ID_CLOSE && code == BN_CLICKED) {
        FfCloseOverlay();
    } else if (id == FF_ID_RESULTS && code == LBN_SELCHANGE) {
        g_selectedIndex = (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0);
    } else if (id == FF_ID_RESULTS && code == LBN_DBLCLK) {
        FfActivateSelectedResults();
    } else {
        return false;
    }
    return true;
}

static LRESULT FfOverlayOnTimer(HWND window, WPARAM id)
{
    if (id == FF_TIMER_SEARCH) {
        KillTimer(window, FF_TIMER_SEARCH);
        FfRunSearchNow();
    } else if (id == FF_TIMER_ENGINE_RETRY) {
        KillTimer(window, FF_TIMER_ENGINE_RETRY);
        if (IsWindowVisible(window)) FfRunSearchNow();
    }
    return 0;
}

static LRESULT FfOverlayOnColour(WPARAM dc, LPARAM control, bool edit)
{
    HDC hdc = (HDC)dc;
    if (control && (HWND)control == g_statusLine) {
        SetTextColor(hdc, g_theme.secondaryText);
        SetBkColor(hdc, g_theme.windowBackground);
        return (LRESULT)g_theme.windowBackgroundBrush;
    }
    if (edit) {
        SetTextColor(hdc, g_theme.inputText);
        SetBkColor(hdc, g_theme.inputBackground);
        return (LRESULT)g_theme.inputBackgroundBrush;
    }
    SetTextColor(hdc, g_theme.text);
    SetBkColor(hdc, g_theme.windowBackground);
    return (LRESULT)g_theme.windowBackgroundBrush;
}

static bool FfOverlayOnLButtonDown(LPARAM lParam)
{
    POINT pt = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    if (FfOnMatchToggleClick(pt.x, pt.y)) return true;
    if (g_resultCount < 1 || !PtInRect(&g_headerRect, pt)) return false;
    return FfOnHeaderClick(pt.x, pt.y);
}

LRESULT CALLBACK FfOverlayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return FfOverlayOnCreate(window);
    case WM_DESTROY: return FfOverlayOnDestroy();
    case WM_ACTIVATE: return 0;
    case WM_PAINT: return FfOverlayOnPaint(window);
    case WM_ERASEBKGND: return FfOverlayOnEraseBackground(window, (HDC)wParam);
    case WM_DRAWITEM: return FfOverlayOnDrawItem((const DRAWITEMSTRUCT *)lParam);
    case WM_CONTEXTMENU:
        if (g_resultList && (HWND)wParam == g_resultList) {
            FfOnResultListContextMenu(lParam);
            return 0;
        }
        break;
    case WM_COMMAND:
        if (FfOverlayOnCommand(window, wParam)) return 0;
        break;
    case WM_TIMER: return FfOverlayOnTimer(window, wParam);
    case WM_FF_SEARCH_UPDATED:
        // A reply of the search under way landed: the list and the status line show it.
        FfOnSearchUpdated(wParam != 0);
        return 0;
    case WM_FF_SEARCH_REORDERING:
        FfKeepSelectionThroughSort();
        return 0;
    case WM_FF_FETCH_NEXT:
        FfFetchNextPage();
        return 0;
    case WM_CTLCOLOREDIT: return FfOverlayOnColour(wParam, lParam, true);
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC: return FfOverlayOnColour(wParam, lParam, false);
    case WM_LBUTTONDOWN:
        if (FfOverlayOnLButtonDown(lParam)) return 0;
        break;
    default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
