// Overlay window: opening over the host's panel, placement, following, window procedure, closing.
#pragma once

#include <windows.h>
#include "core/core.h"

// Child control ids (WM_COMMAND / WM_DRAWITEM).
#define FF_ID_SEARCHBOX 201
#define FF_ID_CLEAR     202
#define FF_ID_FILTER    203
#define FF_ID_CLOSE     204
#define FF_ID_RESULTS   205
#define FF_ID_STATUS    206
// Rows are drawn from g_results by index, so the list keeps no per-row data (LBS_NODATA): a
// refill is one count instead of one message per row.
#define FF_RESULT_LIST_STYLE \
    (WS_CHILD | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_NOTIFY | LBS_NODATA)

// The search delay: a one-shot timer on the overlay window, re-armed on every text change.
#define FF_TIMER_SEARCH 1
// While the engine loads its index the search is asked again at this pace (overlay open only).
#define FF_TIMER_ENGINE_RETRY 2
#define FF_ENGINE_RETRY_MS 1000
// Status line: its text centred vertically and cut with an ellipsis.
#define FF_STATUS_LINE_STYLE (WS_CHILD | WS_VISIBLE | SS_NOPREFIX | SS_CENTERIMAGE | SS_ENDELLIPSIS)

#define FF_OVERLAY_CLASS FF_PRODUCT_NAME L"Overlay"
#define FF_OVERLAY_EXSTYLE (WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_COMPOSITED)
#define FF_OVERLAY_STYLE (WS_POPUP | WS_BORDER)  // a thin border
#define FF_BUTTON_TEXT_MAX 128
#define FF_TOGGLE_WIDTH 22            // sp, one match option toggle
#define FF_SEARCH_BOX_MIN_WIDTH 120   // sp, the search box width the toggles never take

// Overlay state: background thread only.
extern HWND g_overlayWindow;       // none until the first opening; cleared by WM_DESTROY
extern HWND g_searchBox;           // FF_ID_SEARCHBOX, "EDIT"
extern HWND g_clearButton;         // FF_ID_CLEAR, owner-drawn
extern HWND g_filterButton;        // FF_ID_FILTER, owner-drawn, text = selected filter's name
extern HWND g_closeButton;         // FF_ID_CLOSE, owner-drawn
extern HWND g_resultList;          // FF_ID_RESULTS, owner-drawn "LISTBOX"
extern HWND g_statusLine;          // FF_ID_STATUS, "STATIC": engine trouble or the counts
extern HWND g_tooltip;             // "tooltips_class32" or none
extern WNDPROC g_searchBoxBaseProc;   // the edit's own procedure, for FfSearchBoxProc
extern WNDPROC g_resultListBaseProc;  // the list box's own procedure, for FfResultListProc

extern RECT g_headerRect;          // column header strip, overlay client coordinates; height 0 without rows
extern RECT g_searchFrameRect;     // frame around search box + clear button, overlay client coordinates
extern HWINEVENTHOOK g_followHook; // location-change hook; none while closed
extern bool g_listHasScrollBar;    // more results than visible rows

// Everything FfLayoutOverlay computes, as plain arithmetic (no window needed).
struct FfOverlayLayout {
    int visibleRows;
    int listHeight;
    int header;
    bool hasScrollBar;
    RECT window;      // overlay rectangle, screen coordinates
    RECT headerRect;  // client coordinates
    RECT listRect;    // client coordinates (height listHeight)
    RECT searchBox;
    RECT clearButton;
    RECT filterButton;
    RECT closeButton;
    RECT searchFrame;
    RECT statusRect;  // one row high, between the list and the search band
    RECT toggles[FF_MATCH_OPTION_COUNT];  // between the search frame and the filter button; empty when too narrow
};

// The status line is one list row high (rowHeight), so it scales with the font and dpi.
// Inputs are passed explicitly so tests can drive every case without a theme or settings file.
void FfComputeOverlayLayout(const RECT *panel, int resultCount, int maxVisibleRows, bool positionTop,
                            int dpiScale, int editHeight, int rowHeight, int searchAreaHeight,
                            int headerHeight, FfOverlayLayout *out);

// Part of the host window used when the focused panel cannot be read: its left half.
void FfHalfWindowRect(const RECT *hostWindowRect, RECT *out);

// Opening, placement and following (background thread).
// Background thread start-up: creates the overlay's windows hidden (nothing when they exist).
void FfPrepareOverlay();
void FfOpenOverlay();
void FfLayoutOverlay();

// Hands the theme's current font to every child and the current row height to the list, so
// nothing keeps a font that a theme reload has released.
void FfApplyThemeToControls();
// Applies the theme anew (FfApplyTheme) and repaints the result list with it; true when the
// fonts were made anew.
bool FfApplyOverlayTheme();

// Window procedure of "FleetfinderOverlay".
LRESULT CALLBACK FfOverlayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Closing: hides the overlay, removes the follow hook, forgets the results.
void FfCloseOverlay();
// Double-click on a row: parked; logs and closes.
void FfActivateSelectedResults();

// Match option toggles (match_toggles.cpp): painted on the search band by the overlay itself (no
// windows of their own, so an opening paints nothing more than the band); their tips are tools of
// the overlay window. g_toggleRects: overlay client coordinates, empty when left out.
extern RECT g_toggleRects[FF_MATCH_OPTION_COUNT];
void FfCreateMatchToggleTips(HWND overlay);
// Takes the toggles' places from a layout (and moves their tips).
void FfPlaceMatchToggles(const RECT* rects);
void FfPaintMatchToggles(HDC dc);
// Overlay WM_LBUTTONDOWN: toggles the option under the point; true when there was one.
bool FfOnMatchToggleClick(int x, int y);
// Flips a match option, remembers it in the settings file and searches again at once.
void FfToggleMatchOption(int option);
// The option a search box key toggles (Ctrl+I, Ctrl+B, Ctrl+U, Ctrl+R), or -1.
int FfMatchOptionForKey(WPARAM key, bool ctrl, bool shift, bool alt);
// The characters those keys type in an edit control (9, 2, 21, 18): true for one to swallow.
bool FfIsMatchOptionChar(WPARAM character);

// Subclass procedures installed by WM_CREATE; their bodies are the list and search-key code (list.h).
LRESULT CALLBACK FfSearchBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FfResultListProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
