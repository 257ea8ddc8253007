// Overlay opening, placement over the host's active panel, and following the host window.
#include "overlay/overlay.h"
#include "overlay/list.h"
#include "core/core.h"
#include "host/host.h"
#include "host/host_commands.h"
#include "search/search.h"

HWND g_overlayWindow = nullptr;
HWND g_searchBox = nullptr;
HWND g_clearButton = nullptr;
HWND g_filterButton = nullptr;
HWND g_closeButton = nullptr;
HWND g_resultList = nullptr;
HWND g_statusLine = nullptr;
HWND g_tooltip = nullptr;
WNDPROC g_searchBoxBaseProc = nullptr;
WNDPROC g_resultListBaseProc = nullptr;

RECT g_headerRect = {0, 0, 0, 0};
RECT g_searchFrameRect = {0, 0, 0, 0};
HWINEVENTHOOK g_followHook = nullptr;
bool g_listHasScrollBar = false;

static RECT g_panelRect = {0, 0, 0, 0};        // the host's active panel, screen coordinates
static HWND g_followedHostWindow = nullptr;     // host main window the follow hook follows
static int g_lastOverlayWidth = -1;             // size at the last child layout; -1 forces a layout
static int g_lastOverlayHeight = -1;

// Theme metrics the children were last laid out with: a font or dpi change between openings
// must move the children even when the overlay's outer size happens to be the same.
static int s_laidOutMetrics[5] = {-1, -1, -1, -1, -1};

static void FfSetRectXywh(RECT *r, int x, int y, int w, int h)
{
    r->left = x;
    r->top = y;
    r->right = x + w;
    r->bottom = y + h;
}

void FfComputeOverlayLayout(const RECT *panel, int resultCount, int maxVisibleRows, bool positionTop,
                            int dpiScale, int editHeight, int rowHeight, int searchAreaHeight,
                            int headerHeight, FfOverlayLayout *out)
{
    int visibleRows = 0;
    if (resultCount > 0) visibleRows = resultCount < maxVisibleRows ? resultCount : maxVisibleRows;
    // The setting is taken as read; a negative row count would make the overlay shorter than
    // its own search band, so it shows no rows instead.
    if (visibleRows < 0) visibleRows = 0;
    int listHeight = rowHeight * visibleRows;
    int header = visibleRows > 0 ? headerHeight : 0;
    int width = panel->right - panel->left;
    int status = rowHeight;
    int height = searchAreaHeight + status + header + listHeight;

    out->visibleRows = visibleRows;
    out->listHeight = listHeight;
    out->header = header;
    out->hasScrollBar = resultCount > visibleRows;

    // The status line sits next to the search band on the side of the list, so it reads as
    // the list's caption for both positions.
    int top, headerTop, listTop, searchTop, statusTop;
    if (positionTop) {
        top = panel->top;
        searchTop = 0;
        statusTop = searchAreaHeight;
        headerTop = searchAreaHeight + status;
        listTop = headerTop + header;
    } else {
        top = panel->bottom - height;
        headerTop = 0;
        listTop = header;
        statusTop = header + listHeight;
        searchTop = statusTop + status;
    }
    FfSetRectXywh(&out->window, panel->left, top, width, height);
    FfSetRectXywh(&out->headerRect, 0, headerTop, width, header);
    FfSetRectXywh(&out->listRect, 0, listTop, width, listHeight);
    int textPad = FfScalePixels(6, dpiScale);
    FfSetRectXywh(&out->statusRect, textPad, statusTop, width - 2 * textPad, status);

    int pad = FfScalePixels(4, dpiScale);
    int filterW = FfScalePixels(112, dpiScale);
    int closeW = FfScalePixels(24, dpiScale);
    int toggleW = FfScalePixels(FF_TOGGLE_WIDTH, dpiScale);
    int eh = editHeight;
    int rowTop = searchTop + FfScalePixels(3, dpiScale);
    int boxW = width - 3 * pad - (closeW + filterW + eh);
    // The toggles take their room from the search box only while it keeps a useful width;
    // in a narrower panel they are left out (their keys still work).
    int togglesW = FF_MATCH_OPTION_COUNT * toggleW + pad;
    bool toggles = boxW - togglesW >= FfScalePixels(FF_SEARCH_BOX_MIN_WIDTH, dpiScale);
    if (toggles) boxW -= togglesW;
    FfSetRectXywh(&out->searchBox, pad + 1, rowTop + 1, boxW - 1, eh - 2);
    FfSetRectXywh(&out->clearButton, pad + boxW, rowTop + 1, eh - 1, eh - 2);
    out->searchFrame.left = pad;
    out->searchFrame.top = rowTop;
    out->searchFrame.right = pad + boxW + eh;
    out->searchFrame.bottom = rowTop + eh;
    int filterX = pad + boxW + eh + pad;
    for (int i = 0; i < FF_MATCH_OPTION_COUNT; i++) {
        if (toggles) FfSetRectXywh(&out->toggles[i], filterX + i * toggleW, rowTop, toggleW, eh);
        else SetRectEmpty(&out->toggles[i]);
    }
    if (toggles) filterX += togglesW;
    FfSetRectXywh(&out->filterButton, filterX, rowTop, filterW, eh);
    FfSetRectXywh(&out->closeButton, filterX + filterW + pad, rowTop, closeW, eh);
}

void FfHalfWindowRect(const RECT *hostWindowRect, RECT *out)
{
    *out = *hostWindowRect;
    out->right = out->left + (out->right - out->left) / 2;
}

// Adds a child's move to the batch; without a batch (it could not be made) the child moves alone.
static HDWP FfMoveChild(HDWP batch, HWND child, const RECT *r, UINT show = 0)
{
    if (!child) return batch;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | show;
    if (batch)
        return DeferWindowPos(batch, child, nullptr, r->left, r->top, r->right - r->left,
                              r->bottom - r->top, flags);
    SetWindowPos(child, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top, flags);
    return nullptr;
}

void FfLayoutOverlay()
{
    if (!g_overlayWindow) return;
    FfOverlayLayout lay;
    FfComputeOverlayLayout(&g_panelRect, g_resultCount, g_settings.maxVisibleRows,
                           g_settings.positionTop != 0, g_theme.dpiScale, g_theme.editHeight,
                           g_theme.rowHeight, g_theme.searchAreaHeight, g_theme.headerHeight, &lay);
    g_listHasScrollBar = lay.hasScrollBar;
    g_headerRect = lay.headerRect;

    int width = lay.window.right - lay.window.left;
    int height = lay.window.bottom - lay.window.top;
    // Placing a window costs a third of a whole search even when nothing changes, and most
    // searches keep the overlay's place and size: then it stays as it is.
    RECT placed;
    if (!GetWindowRect(g_overlayWindow, &placed) || !EqualRect(&placed, &lay.window))
        SetWindowPos(g_overlayWindow, HWND_TOP, lay.window.left, lay.window.top, width, height,
                     SWP_NOACTIVATE);

    int metrics[5] = {g_theme.dpiScale, g_theme.editHeight, g_theme.rowHeight,
                      g_theme.searchAreaHeight, g_theme.headerHeight};
    bool sameMetrics = true;
    for (int i = 0; i < 5; i++)
        if (metrics[i] != s_laidOutMetrics[i]) sameMetrics = false;
    if (sameMetrics && width == g_lastOverlayWidth && height == g_lastOverlayHeight) return;
    g_lastOverlayWidth = width;
    g_lastOverlayHeight = height;
    for (int i = 0; i < 5; i++) s_laidOutMetrics[i] = metrics[i];

    // All children in one batch: the list grows as the search band moves, in one step.
    g_searchFrameRect = lay.searchFrame;
    HDWP batch = BeginDeferWindowPos(6);
    batch = FfMoveChild(batch, g_searchBox, &lay.searchBox);
    batch = FfMoveChild(batch, g_clearButton, &lay.clearButton);
    batch = FfMoveChild(batch, g_filterButton, &lay.filterButton);
    batch = FfMoveChild(batch, g_closeButton, &lay.closeButton);
    batch = FfMoveChild(batch, g_statusLine, &lay.statusRect);
    batch = FfMoveChild(batch, g_resultList, &lay.listRect,
                        lay.listHeight >= 1 ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    if (batch) EndDeferWindowPos(batch);
    FfPlaceMatchToggles(lay.toggles);
    InvalidateRect(g_overlayWindow, nullptr, TRUE);
}

bool FfApplyOverlayTheme()
{
    bool newFonts = FfApplyTheme();
    if (g_resultList && IsWindow(g_resultList)) InvalidateRect(g_resultList, nullptr, TRUE);
    return newFonts;
}

void FfApplyThemeToControls()
{
    HWND children[6] = {g_searchBox, g_clearButton, g_filterButton, g_closeButton, g_resultList,
                        g_statusLine};
    for (int i = 0; i < 6; i++)
        if (children[i] && IsWindow(children[i]))
            SendMessageW(children[i], WM_SETFONT, (WPARAM)g_theme.font, TRUE);
    if (g_resultList && IsWindow(g_resultList))
        SendMessageW(g_resultList, LB_SETITEMHEIGHT, 0, MAKELPARAM(g_theme.rowHeight, 0));
}

static void FfCreateOverlayWindow(HWND host)
{
    WNDCLASSW wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = 0;
    wc.lpfnWndProc = FfOverlayWndProc;
    wc.hInstance = g_moduleHandle;
    wc.hCursor = LoadCursorW(nullptr, (LPCWSTR)IDC_ARROW);
    wc.lpszClassName = FF_OVERLAY_CLASS;
    RegisterClassW(&wc);  // fails harmlessly when already registered

    g_overlayWindow = CreateWindowExW(FF_OVERLAY_EXSTYLE, FF_OVERLAY_CLASS, FF_PRODUCT_NAME,
                                      FF_OVERLAY_STYLE, 0, 0, 10, 10, host, nullptr, g_moduleHandle,
                                      nullptr);
    if (g_overlayWindow) SetLayeredWindowAttributes(g_overlayWindow, 0, 255, LWA_ALPHA);
    g_lastOverlayWidth = -1;
    g_lastOverlayHeight = -1;
}

void FfPrepareOverlay()
{
    if (g_overlayWindow) return;
    // Creating the window, its children and the tooltip (which loads the common controls) costs
    // several times an opening: done here, the first press only shows what exists. No host
    // window yet leaves the overlay unowned until its first opening.
    HWND host = FfFindHostWindow();
    FfApplyOverlayTheme();
    // The widest date of the pictures in this font takes a few thousand formats; measured here,
    // the first search after a start finds it cached (it is kept per font and picture).
    FfWidestDateWidth(g_theme.font);
    FfCreateOverlayWindow(host);
    // Placed over the panel that has the focus now, so that an opening over the same panel
    // moves nothing.
    RECT panel;
    if (host && FfGetActivePanelRect(host, &panel)) {
        g_panelRect = panel;
        FfLayoutOverlay();
    }
    // A window's first showing costs more than every later one (the system makes what shows it
    // on the screen then): done once here, fully transparent and without activation, nobody
    // sees it, and the first press costs what a re-opening costs.
    if (g_overlayWindow) {
        const UINT keep = SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
        SetLayeredWindowAttributes(g_overlayWindow, 0, 0, LWA_ALPHA);
        SetWindowPos(g_overlayWindow, nullptr, 0, 0, 0, 0, keep | SWP_SHOWWINDOW);
        UpdateWindow(g_overlayWindow);
        SetWindowPos(g_overlayWindow, nullptr, 0, 0, 0, 0, keep | SWP_HIDEWINDOW);
        SetLayeredWindowAttributes(g_overlayWindow, 0, 255, LWA_ALPHA);
    }
    FfLog(L"FfPrepareOverlay: overlay created hidden %s (owner=%p)", g_overlayWindow ? L"OK" : L"FAILED", host);
}

static void CALLBACK FfOnHostLocationChange(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId,
                                     LONG childId, DWORD eventThread, DWORD eventTime);

static void FfStartFollowing(HWND host)
{
    if (g_followHook) {
        UnhookWinEvent(g_followHook);
        g_followHook = nullptr;
    }
    g_followedHostWindow = host;
    DWORD processId = 0;
    DWORD threadId = GetWindowThreadProcessId(host, &processId);
    g_followHook = SetWinEventHook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE, nullptr,
                                   FfOnHostLocationChange, processId, threadId, 0);
    if (!g_followHook)
        FfLog(L"FfOpenOverlay: SetWinEventHook failed (GetLastError=%lu) - overlay won't follow "
              L"TC if it's moved/resized until the next open.",
              GetLastError());
}

void FfOpenOverlay()
{
    FfLog(L"FfOpenOverlay: hotkey fired.");
    HWND host = FfFindHostWindow();
    if (!host) {
        FfLog(L"FfOpenOverlay: TTOTAL_CMD window not found, aborting.");
        return;
    }

    RECT panel;
    if (FfGetActivePanelRect(host, &panel)) {
        g_panelRect = panel;
    } else {
        FfLog(L"FfOpenOverlay: GetGUIThreadInfo/FfGetActivePanelRect failed, using fallback "
              L"half-window rect.");
        RECT hostRect = {0, 0, 0, 0};
        GetWindowRect(host, &hostRect);
        FfHalfWindowRect(&hostRect, &g_panelRect);
    }

    bool newFonts = FfApplyOverlayTheme();
    // The engine found now decides which of its filter files is read; its version is asked
    // again at this opening's first filtered search.
    HWND engine = FfFindEverythingWindow();
    FfForgetEngineFacts();
    FfLoadFilterCatalogue(engine);

    if (g_overlayWindow) {
        // Made at start-up before the host's window may have existed: the overlay must be
        // owned by it to stay above it and to go with it.
        if ((HWND)GetWindowLongPtrW(g_overlayWindow, GWLP_HWNDPARENT) != host)
            SetWindowLongPtrW(g_overlayWindow, GWLP_HWNDPARENT, (LONG_PTR)host);
        // A theme reload that made new fonts released the ones the children were drawing with.
        if (newFonts) FfApplyThemeToControls();
        if (g_filterButton && g_selectedFilter >= 0 && g_selectedFilter < g_filterCount)
            SetWindowTextW(g_filterButton, FfFilterShownName(g_filters[g_selectedFilter].name));
    } else {
        FfCreateOverlayWindow(host);
    }

    FfCancelSearch();
    g_fetchAll.pending = false;
    FfClearResults();
    g_localSortActive = 0;
    FfInitSortFromSortType();

    if (g_searchBox) SetWindowTextW(g_searchBox, L"");

    // Tells at once, before anything is typed, when there is no engine to search with (the
    // lookup logs its own not-found line). A found one is taken as ready until a search says
    // otherwise.
    g_engineState = engine ? FF_ENGINE_ANSWERED : FF_ENGINE_NOT_RUNNING;
    FfUpdateStatusLine();
    FfLayoutOverlay();

    if (g_overlayWindow) {
        InvalidateRect(g_overlayWindow, nullptr, TRUE);
        ShowWindow(g_overlayWindow, SW_SHOW);
        SetForegroundWindow(g_overlayWindow);
        if (g_searchBox) SetFocus(g_searchBox);
        // Painted now, the window and its children in one pass, rather than one child per turn
        // of the message loop: the overlay appears whole, and sooner.
        UpdateWindow(g_overlayWindow);
    }

    FfStartFollowing(host);
}

static bool FfFollowingActive()
{
    return g_followedHostWindow && IsWindow(g_followedHostWindow) && g_overlayWindow &&
           IsWindowVisible(g_overlayWindow);
}

static void CALLBACK FfOnHostLocationChange(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId,
                                     LONG childId, DWORD eventThread, DWORD eventTime)
{
    (void)hook; (void)event; (void)objectId; (void)childId; (void)eventThread; (void)eventTime;
    if (!FfFollowingActive()) return;
    if (window != g_followedHostWindow && !IsChild(g_followedHostWindow, window)) return;
    if (!FfFollowingActive()) return;
    RECT focusRect;
    if (!FfGetActivePanelRect(g_followedHostWindow, &focusRect)) return;
    if (EqualRect(&focusRect, &g_panelRect)) return;
    g_panelRect = focusRect;
    FfLayoutOverlay();
}
