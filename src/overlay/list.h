// Result list of the overlay: search and rows, header strip, own scroll bar, tooltip, keys, history,
// publishing, context menu and filter menu.
#pragma once

#include <windows.h>
#include "core/core.h"
#include "search/search.h"

// ---- limits, ids -----------------------------------------------------------
#define FF_MATCH_MASK_MAX 1024      // per-character match marks of one name
#define FF_TOOLTIP_TEXT_MAX 2048    // folder path shown by the tooltip
#define FF_SELECTED_INDEXES_MAX FF_RESULTS_MAX // room of g_selectedRows: every loaded row
#define FF_CMD_FILTER_BASE 1000     // filter menu: 1000 + filter index
#define FF_CMD_ABOUT 2000           // filter menu: the about entry


// ---- list state (background thread only) -----------------------------------
extern int g_selectedIndex;                  // caret row for keyboard moves, -1 for none
extern int g_widestDateWidth;                // widest date text of the list's font and pictures, 0 until measured
extern int g_widestSizeWidth;                // widest size text of the list's font, 0 until measured
extern DWORD g_matchMask[FF_MATCH_MASK_MAX]; // match marks of the name being drawn
extern HICON g_headerFileIcon;               // small plain-file icon of the header strip, fetched once

// ---- scroll bar and tooltip state --------------------------------------------
extern bool g_scrollDragging;                         // the thumb is being dragged
extern int g_tooltipItem;                             // row whose tip shows, -1 for none
extern wchar_t g_tooltipText[FF_TOOLTIP_TEXT_MAX];    // the tip's text
extern bool g_trackingMouseLeave;                     // a mouse-leave notification is pending

// ---- searching, filling and selection ----------------------------------------------
// Starts the search for the search box's text (the overlay owns the clipboard meanwhile); the
// list is refilled as its replies land.
void FfRunSearchNow();
void FfFillResultList();
// Shows the records the set gained since it held previousCount (a page appended at its end)
// without reloading the list: selection, caret and scroll position stay; the status line counts
// anew. A set that shrank meanwhile is refilled whole.
void FfAppendResultRows(int previousCount);
// Logs the result list's column widths when they differ from the ones logged last.
void FfLogColumnWidths();
// The same for rows put in at row at (a file page goes before the folders): the rows from at on
// move down by rows, and so do the selected ones among them and the caret; the top row stays.
void FfInsertResultRows(int at, int rows);
void FfResetResultList();
// The selected rows as FfGetSelectedResultIndexes last found them (background thread only):
// too large for a stack, and one selection is read at a time.
extern int g_selectedRows[FF_SELECTED_INDEXES_MAX];
// Fills indexes (room for FF_SELECTED_INDEXES_MAX) with the selected rows; returns their number.
int FfGetSelectedResultIndexes(int* indexes);

// ---- the widest date text, from a per-font table of character widths ------------------------
// Width of the widest text FfFormatDateTime can give with the current pictures in font; measured
// once per font and pictures (the user's regional ones included), 0 when nothing measured.
int FfWidestDateWidth(HFONT font);
// Width of the widest text FfFormatSize gives below 1024 TB in font (0 when nothing measured).
int FfWidestSizeWidth(HFONT font);
// Width of text in font from the character table (-1 when it cannot be measured).
int FfTextWidthFromTable(HFONT font, const wchar_t* text);
// Date shape index (0 .. until false): a file time whose text varies the fields of its group
// (0 date, 1 hour, 2 minutes and seconds) from shape 0's.
bool FfDateShape(int index, FILETIME* modified, int* group);
// Shape 0's width plus what each group's widest shape adds to it.
int FfWidestOfShapeGroups(int baseWidth, const int* groupWidest, int groups);

// ---- drawing (called from the overlay's window procedure) -----------------------
// Folder, size and date rectangles of a row or of the header strip (right = content's right edge).
void FfGetColumnRects(int top, int right, int bottom, RECT* folder, RECT* size, RECT* date);
void FfDrawHighlightedName(HDC dc, const RECT* rect, const wchar_t* name, COLORREF colour);
void FfDrawResultRow(const DRAWITEMSTRUCT* item);     // WM_DRAWITEM for FF_ID_RESULTS
void FfPaintHeaderStrip(HDC dc);                      // from the overlay's WM_PAINT when g_resultCount > 0
// Overlay WM_LBUTTONDOWN: re-sorts when the point (overlay client) lies in the header; true when handled.
bool FfOnHeaderClick(int x, int y);
// A click on the title of column (FfSortColumn): sorts by it, repaints the strip, refills the list.
void FfSortResultsByColumn(int column);
// Overlay WM_CONTEXTMENU sent for g_resultList: picks the row and shows the result context menu.
void FfOnResultListContextMenu(LPARAM lParam);

// ---- plain rules (no window, no other globals: tests call them with tables) ---------------
// Marks in mask[0..n-1] every occurrence of every blank/tab-separated word of query in name (ASCII
// case folded, overlaps included), n = min(length, FF_MATCH_MASK_MAX - 1). Returns the marked count.
int FfMarkNameMatches(const wchar_t* name, const wchar_t* query, DWORD* mask);
// Widths of the columns right of the name, in pixels (the name takes what is left).
struct FfColumnWidths {
    int folder;  // 84 sp, less where it gives way (under 24 sp: 0)
    int size;    // 64 sp, or the widest size text when that is wider
    int date;    // the widest date text whole, or 118 sp (0 or less: 118 sp)
};
#define FF_WHOLE_COLUMNS_LIST_WIDTH 420  // sp: from this list width on Date and Size are never cut
#define FF_NAME_KEEP_WIDTH 120           // sp of name the folder column gives way to
#define FF_NAME_MIN_WIDTH 40             // sp of name even a very long date leaves
#define FF_FOLDER_MIN_WIDTH 24           // sp: a folder column narrower than this gives way wholly
// The columns of a list listWidth wide whose rows end at contentWidth (less its scroll bar), for
// the widest date and size texts (0: not measured). From 420 sp on the date and the size are
// whole and the folder gives way to the name first, then the name gives way; a narrower list
// keeps the folder and size and cuts the date so that the name keeps half of the list.
void FfComputeColumnWidths(int listWidth, int contentWidth, int widestDate, int widestSize, int dpiScale,
                           FfColumnWidths* out);
// Column rectangles for a content right edge (already reduced for the scroll bar); widths null:
// folder 84 sp, size 64 sp, date 118 sp.
void FfComputeColumnRects(int top, int right, int bottom, int dpiScale, const FfColumnWidths* widths,
                          RECT* folder, RECT* size, RECT* date);
// Sort column (Name 0, Size 1, Date 2, Folder 3, Extension 4) hit at x in a header strip whose
// content ends at contentRight.
int FfHeaderColumnFromPoint(const RECT* header, int x, int y, int contentRight, int dpiScale,
                            const FfColumnWidths* widths);
// Date column width for the widest date text in a list whose content is listWidth wide: the date
// whole as long as the name column keeps half of the list (and never less than 118 sp).
int FfDateColumnWidthFor(int widestDate, int listWidth, int dpiScale);
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
// Status line text for an engine state (FfEngineState) and the last search's counts: the
// engine's trouble, "No results", or "200 of 14,532 files, 12 folders" (a total shows only
// when the cap cut the list). Before any search only "not running" has something to say.
// Thousands are always grouped with "," so the line reads the same on every machine.
// Returns the length written (cut to capacity - 1).
int FfComposeStatusText(int engineState, int filesShown, int foldersShown, DWORD totalFiles,
                        DWORD totalFolders, bool searched, wchar_t* out, int capacity);
// After a column sort while the engine holds more than is loaded, the status text says the
// order covers only what is loaded (" - sorted: the 412 loaded"); otherwise it stays as it is.
// Returns the length of text (cut to capacity - 1).
int FfAppendSortNote(wchar_t* text, int capacity, bool sortedLocally, int loaded, bool more);

// Same rules over the live state (theme, overlay, list).
int FfContentRight(int right);   // right less the scroll bar's 12 sp while the list has one

// ---- status line ------------------------------------------------------------------
#define FF_STATUS_TEXT_MAX 128
// Sets the status line from g_engineState and the result set, and keeps asking an engine that
// is loading its index again every FF_ENGINE_RETRY_MS while the overlay is open.
void FfUpdateStatusLine();

// ---- result list subclass, scroll bar, tooltip --------------------------------------
void FfGetScrollBarRects(RECT* track, RECT* thumb);
bool FfGetResultTipText(int index);

// ---- search box keys --------------------------------------------------------------
// FfSearchBoxProc and FfResultListProc (declared in overlay.h) are defined by the list's files
// (search_keys.cpp, list_scroll.cpp); the overlay only installs them.
// True while the key (VK_SHIFT, VK_CONTROL, ...) is down, asked at the moment of the call.
bool FfKeyHeld(int key);

// ---- search history (Fleetfinder.history beside the settings file) -------------------------
#define FF_HISTORY_MAX 50
#define FF_HISTORY_TEXT_CHARS 512  // a search box text: at most 511 characters
#define FF_HISTORY_FILE_MAX (FF_HISTORY_MAX * ((FF_HISTORY_TEXT_CHARS - 1) * 3 + 2) + 3)
#define FF_HISTORY_FILE_NAME FF_PRODUCT_NAME L".history"
struct FfSearchHistory {
    wchar_t texts[FF_HISTORY_MAX][FF_HISTORY_TEXT_CHARS];  // newest first, no two equal
    int count;
};
extern FfSearchHistory g_searchHistory;
// Puts text first (line breaks become blanks); an equal entry moves up, the oldest falls out
// beyond FF_HISTORY_MAX. Blank texts are not kept.
void FfHistoryAdd(FfSearchHistory* history, const wchar_t* text);
// The file's UTF-8 lines (byte-order mark and blank lines skipped, repeats and lines beyond
// FF_HISTORY_MAX dropped). False, with an empty history, when the file is broken: not UTF-8,
// a NUL, a line longer than a search text, or more bytes than FF_HISTORY_FILE_MAX.
bool FfHistoryParse(FfSearchHistory* history, const char* bytes, int length);
// Each entry in UTF-8 and CR LF; the byte count, -1 when cap is too small.
int FfHistorySerialize(const FfSearchHistory* history, char* out, int cap);
// Walk position after Ctrl+Up (older) or Ctrl+Down: -1 .. count - 1, stopping at both ends.
int FfHistoryStep(int position, int count, bool older);
void FfLoadSearchHistory();
void FfRememberPublishedSearch(const wchar_t* text);  // reads the file, adds text, writes it back
void FfRememberSearchBoxText();
void FfWalkSearchHistory(bool older);                 // Ctrl+Up (older) / Ctrl+Down in the search box
// FfPublishResultsToWfx, and the search box's text remembered when it published.
void FfPublishSearchResults(HWND host, const int* selection, int count, bool append);

// ---- publishing ---------------------------------------------------------------------------
// Publishes the selected results (selection == nullptr: all of them) into the plug-in's folder,
// replacing its listing unless append, closes the overlay and sends the host to the first new
// entry. Nothing at all without a host window or without results.
void FfPublishResultsToWfx(HWND hostWindow, const int* selection, int selectionCount, bool append);

// ---- pages past the first, and publishing all of them ---------------------------------------
#define WM_FF_FETCH_NEXT (WM_USER + 312)  // overlay: ask the next page for publishing all
// Publishing all that waits for the remaining pages (background thread only).
struct FfFetchAll {
    bool pending;  // pages are being fetched; the status line says so
    HWND host;     // where they go then
    bool append;
};
extern FfFetchAll g_fetchAll;
// After the list scrolled or its caret moved: asks the next page when the last row shown or the
// caret is within a page of the end of what is loaded and the engine has more.
void FfAskMoreIfNearEnd();
// Enter with nothing selected, and the menu's publish-all: every match, up to FF_RESULTS_MAX; the
// remaining pages are fetched first (the status line counting them).
void FfPublishAllResults(HWND host, bool append);
// How many that publishes: every match the engine's totals count, up to FF_RESULTS_MAX.
int FfPublishAllCount();
// Escape while fetching: publishes what has arrived. False when no fetch was under way.
bool FfStopFetchingAll();
void FfFetchNextPage();                // WM_FF_FETCH_NEXT
void FfOnSearchUpdated(bool complete); // WM_FF_SEARCH_UPDATED: the list and the fetch follow
// WM_FF_SEARCH_REORDERING: remembers the selected results and the caret's by record, so that the
// page's landing selects the same results at their new rows.
void FfKeepSelectionThroughSort();

// ---- result context menu ------------------------------------------------------------------
#define FF_ID_MENU_GOTO_LOCATION 2001
#define FF_ID_MENU_SHOW_ALL 2002
#define FF_ID_MENU_SHOW_ONE 2003
// Right click (or the menu key, x == y == -1) on result row resultIndex of the overlay's list.
// Returns the item chosen (0: none).
int FfShowResultContextMenu(int resultIndex, int x, int y);
// The menu's last item, "Show all %d result%s in panel", cut to 63 characters.
int FfFormatShowAllMenuText(int resultCount, wchar_t* text, int textCap);

// ---- open and copy without publishing ------------------------------------------------------
#define FF_OPEN_RESULTS_MAX 10
// Opens one real path with its default program; tests put a recorder in its place.
typedef bool (*FfOpenPathRoutine)(const wchar_t* path);
extern FfOpenPathRoutine g_openPathRoutine;
bool FfShellOpenPath(const wchar_t* path);  // ShellExecuteExW "open"
void FfOpenSelectedResults();     // Shift+Enter: at most FF_OPEN_RESULTS_MAX, then closes
void FfCopySelectedResultPaths(); // Ctrl+Shift+C: full paths, CR LF between, then closes
// The clipboard text of paths: joined by CR LF into out (cap characters); the length, or -1
// when it does not fit.
int FfJoinPaths(const wchar_t* const* paths, int count, wchar_t* out, int cap);

// ---- dragging results out (drag_out.cpp) -------------------------------------------------
// The CF_HDROP block of paths (wide, double-terminated) into out; the bytes it needs (nothing is
// written when cap is smaller).
int FfBuildDropFiles(const wchar_t* const* paths, int count, void* out, int cap);
// "Preferred DropEffect" of a drag: copy, or move when Shift is held, as the file windows do.
DWORD FfPreferredDropEffect(bool shiftHeld);
// A data object offering CF_HDROP and "Preferred DropEffect" (one reference; null for no paths).
struct IDataObject;
IDataObject* FfCreateDropDataObject(const wchar_t* const* paths, int count, DWORD preferredEffect);
// Drags the results (indexes into g_results) out; modal. The effect dropped, 0 when none.
int FfDragResultsOut(const int* indexes, int count, bool shiftHeld);
// The result list's mouse messages while a press may become a drag; true when handled. base
// passes a message on to the list box's own procedure.
typedef LRESULT (*FfListBaseRoutine)(HWND, UINT, WPARAM, LPARAM);
bool FfDragOutButtonDown(HWND list, WPARAM wParam, LPARAM lParam, FfListBaseRoutine base);
bool FfDragOutMouseMove(HWND list, WPARAM wParam, LPARAM lParam, FfListBaseRoutine base);
bool FfDragOutButtonUp(HWND list, FfListBaseRoutine base);
void FfDragOutCancel();

// ---- filter menu and about box ---------------------------------------------------------
void FfShowFilterMenu();
