// Result list of the overlay: rows, header strip, own scroll bar, tooltip, keys, filter menu, about box.
#pragma once

#include <windows.h>
#include "../bridge/bridge.h"  // the about box and its version

// ---- limits, ids -----------------------------------------------------------
#define FF_MATCH_MASK_MAX 1024      // per-character match marks of one name
#define FF_TOOLTIP_TEXT_MAX 2048    // folder path shown by the tooltip
#define FF_SELECTED_INDEXES_MAX 500 // room of the buffer FfGetSelectedResultIndexes fills
#define FF_CMD_FILTER_BASE 1000     // filter menu: 1000 + filter index
#define FF_CMD_ABOUT 2000           // filter menu: the about entry


// ---- list state (background thread only) -----------------------------------
extern int g_selectedIndex;                  // caret row for keyboard moves, -1 for none
extern int g_dateColumnWidth;                // measured date column width in pixels, 0 until measured
extern DWORD g_matchMask[FF_MATCH_MASK_MAX]; // match marks of the name being drawn
extern HICON g_headerFileIcon;               // small plain-file icon of the header strip, fetched once

// ---- scroll bar and tooltip state --------------------------------------------
extern bool g_scrollDragging;                         // the thumb is being dragged
extern int g_scrollGrabOffset;                        // thumb top to the point the drag began
extern int g_tooltipItem;                             // row whose tip shows, -1 for none
extern wchar_t g_tooltipText[FF_TOOLTIP_TEXT_MAX];    // the tip's text
extern bool g_trackingMouseLeave;                     // a mouse-leave notification is pending

// ---- filling and selection ------------------------------------------------------
void FfFillResultList();
void FfResetResultList();
// Fills indexes (room for FF_SELECTED_INDEXES_MAX) with the selected rows; returns their number.
int FfGetSelectedResultIndexes(int* indexes);

// ---- measured date texts, by the second each date stands for ------------------------------
// Forgets every width when the font, the date or time picture or the local time offset is no
// longer the one they were measured with.
void FfPrepareDateWidths(HFONT font);
int FfKnownDateWidth(FILETIME modified);               // -1 when not measured yet
void FfRememberDateWidth(FILETIME modified, int width);
void FfForgetDateWidths();

// ---- drawing (called from the overlay's window procedure) -----------------------
// Folder, size and date rectangles of a row or of the header strip (right = content's right edge).
void FfGetColumnRects(int top, int right, int bottom, RECT* folder, RECT* size, RECT* date);
void FfDrawHighlightedName(HDC dc, const RECT* rect, const wchar_t* name, COLORREF colour);
void FfDrawResultRow(const DRAWITEMSTRUCT* item);     // WM_DRAWITEM for FF_ID_RESULTS
void FfPaintHeaderStrip(HDC dc);                      // from the overlay's WM_PAINT when g_resultCount > 0
// Overlay WM_LBUTTONDOWN: re-sorts when the point (overlay client) lies in the header; true when handled.
bool FfOnHeaderClick(int x, int y);
// Overlay WM_CONTEXTMENU sent for g_resultList: picks the row and shows the result context menu.
void FfOnResultListContextMenu(LPARAM lParam);

// ---- plain rules (no window, no other globals: tests call them with tables) ---------------
// Marks in mask[0..n-1] every occurrence of every blank/tab-separated word of query in name (ASCII
// case folded, overlaps included), n = min(length, FF_MATCH_MASK_MAX - 1). Returns the marked count.
int FfMarkNameMatches(const wchar_t* name, const wchar_t* query, DWORD* mask);
// Column rectangles for a content right edge (already reduced for the scroll bar).
void FfComputeColumnRects(int top, int right, int bottom, int dpiScale, int dateColumnWidth,
                          RECT* folder, RECT* size, RECT* date);
// Sort column (Name 0, Size 1, Date 2, Folder 3, Extension 4) hit at x in a header strip whose
// content ends at contentRight.
int FfHeaderColumnFromPoint(const RECT* header, int x, int y, int contentRight, int dpiScale,
                            int dateColumnWidth);
// Date column width after a refill whose widest date text measured maxTextWidth (0: keep current).
int FfDateColumnWidthFor(int maxTextWidth, int dpiScale, int current);
// Scroll bar rectangles (list client coordinates); thumb empty when nothing can scroll.
void FfComputeScrollBarRects(const RECT* client, bool hasScrollBar, int rowHeight, int resultCount,
                             int topIndex, int dpiScale, RECT* track, RECT* thumb);
int FfScrollPageRows(int clientHeight, int rowHeight);               // rows per page, at least 1
int FfClampTopIndex(int top, int maxTop);                            // 0 .. max(maxTop, 0)
// Top index after a wheel delta; returns top unchanged for partial notches (-119 .. 119).
int FfWheelNewTop(int top, int delta, int resultCount, int page);
// Top index after a page click at y (thumb may be empty).
int FfPageClickNewTop(int top, int y, const RECT* thumb, int resultCount, int page);
// Top index while dragging the thumb to y (y may lie outside the track).
int FfDragNewTop(int y, int grabOffset, const RECT* track, int thumbHeight, int maxTop);
// Folder path the tooltip shows for a result; false when there is none.
bool FfBuildTipText(const wchar_t* path, bool isFolder, wchar_t* out, int capacity);
// Where Ctrl+Backspace's deletion starts for a caret at end (blanks, then the word before them).
int FfFindWordDeleteStart(const wchar_t* text, int end);
// Next single-selection row for Down (down true) or Up; stays inside 0 .. resultCount - 1.
int FfNextSelectedIndex(int current, int resultCount, bool down);
// About entry of the filter menu (the box itself is the bridge's FfShowAboutBox).
void FfBuildAboutMenuText(wchar_t* buffer, int capacity);

// Same rules over the live state (theme, overlay, list).
int FfContentRight(int right);   // right less the scroll bar's 12 sp while the list has one

// ---- result list subclass, scroll bar, tooltip --------------------------------------
LRESULT CALLBACK FfResultListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
void FfGetScrollBarRects(RECT* track, RECT* thumb);
void FfInvalidateScrollBar();
bool FfGetResultTipText(int index);

// ---- search box keys --------------------------------------------------------------
// FfSearchBoxProc and FfResultListProc (declared in overlay.h) are DEFINED by the list's files
// (search_keys.cpp, list_scroll.cpp); the overlay only installs them.
// The key part of FfSearchBoxProc: returns true when the message was handled (*result set);
// otherwise FfSearchBoxProc passes it to g_searchBoxBaseProc.
bool FfHandleSearchBoxKey(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
void FfDeleteWordBeforeCaret(HWND edit);
void FfPublishFromSearchBox(bool append);

// ---- filter menu and about box ---------------------------------------------------------
void FfShowFilterMenu();
