// Search: engine client, filter catalogue, search run, result set, ordering and field texts.
#pragma once
#include <windows.h>
#include "core/core.h"

// ---- Result set -------------------------------------------------------------------------

#define FF_RESULTS_MAX 100000     // most records the set holds, every page loaded
#define FF_RESULTS_PAGE_MAX FF_MAX_RESULTS_LIMIT  // most records one query asks for
#define FF_RESULT_PATH_MAX 2048   // a path's characters, terminator included
#define FF_RESULTS_KEPT 1024      // records an emptied set keeps room for

// One search result as the engine reported it; everything else is derived on demand.
struct FfResult {
    const wchar_t* path;               // full path and name, at most 2047 characters (the set's
                                       // text pool holds it)
    unsigned long long size;           // bytes; FF_UNKNOWN_VALUE = not known
    FILETIME modified;                 // 100-ns ticks since 1601 (UTC); 0 = not reported,
                                       // all bits set = not known
    DWORD isFolder;                    // 1 when the engine flagged the item as a folder
};

extern FfResult* g_results;  // the current result set (heap, grown as pages arrive)
extern int g_resultCount;    // valid records in g_results, 0..FF_RESULTS_MAX

// Adds a record at the end of the set, its path (length characters, cut to 2047) copied into
// the set's pool. 0 when the set is full or memory ran out: the set is left as it was.
int FfAppendResult(const wchar_t* path, int length, unsigned long long size, FILETIME modified,
                   DWORD isFolder);
// Empties the set and gives its memory back, but for room for FF_RESULTS_KEPT records and one
// block of paths.
void FfClearResults(void);
// Heap bytes the set holds (records and paths).
SIZE_T FfResultSetBytes(void);

// The engine's mark for a size or date it does not know (every folder's size unless it indexes
// folder sizes): shown as an empty cell, sorted below every known value.
#define FF_UNKNOWN_VALUE 0xFFFFFFFFFFFFFFFFull
int FfIsUnknownSize(unsigned long long size);
int FfIsUnknownTime(FILETIME time);

// ---- Engine client ----------------------------------------------------------------------

#define FF_EVERYTHING_CLASS L"EVERYTHING_TASKBAR_NOTIFICATION"
// Newer engine versions run as a named instance: "<class>_(<name>)".
#define FF_EVERYTHING_NAMED_CLASS_PREFIX L"EVERYTHING_TASKBAR_NOTIFICATION_("
#define FF_IPC_HELPER_CLASS FF_PRODUCT_NAME L"EverythingIpcHelper"
#define FF_IPC_QUERY_ID 18          // copy-data id of the query and of its reply
#define FF_IPC_REPLY_ID 18
// Fields an item may carry, laid out in this (ascending) order as the reply's flags name them.
#define FF_IPC_FIELD_NAME 0x1
#define FF_IPC_FIELD_PATH 0x2
#define FF_IPC_FIELD_FULL_PATH 0x4
#define FF_IPC_FIELD_EXTENSION 0x8
#define FF_IPC_FIELD_SIZE 0x10
#define FF_IPC_FIELD_DATE_CREATED 0x20
#define FF_IPC_FIELD_DATE_MODIFIED 0x40
// What every query asks for: full path and name, size, date modified.
#define FF_IPC_REQUEST_FLAGS (FF_IPC_FIELD_FULL_PATH | FF_IPC_FIELD_SIZE | FF_IPC_FIELD_DATE_MODIFIED)
// The engine's own window message: wParam FF_IPC_IS_LOADED answers non-zero once the index is
// loaded (a query before that gets no reply), FF_IPC_IS_BUSY non-zero while it is busy.
#define FF_IPC_ENGINE_MESSAGE WM_USER
#define FF_IPC_IS_LOADED 401
#define FF_IPC_IS_BUSY 402
#define FF_IPC_QUERY_HEADER 28      // bytes before the query text in the query record
#define FF_IPC_REPLY_HEADER 20      // bytes before the item table in a reply
#define FF_IPC_TIMEOUT_MS 1500
// Query text buffer: room for a filter's whole search with its modifiers, the typed text with
// "path:." replaced, and "folder:", so that the cut never takes the pass's own word.
#define FF_QUERY_TEXT_MAX 1600

// Search flags of a query (offset 8), the engine's own values.
#define FF_IPC_SEARCH_MATCH_CASE 0x1
#define FF_IPC_SEARCH_WHOLE_WORD 0x2
#define FF_IPC_SEARCH_MATCH_PATH 0x4
#define FF_IPC_SEARCH_REGEX 0x8
// The search flags the user's match options (FfSettings::matchOptions) ask for.
DWORD FfSearchFlagsFromSettings(const FfSettings* settings);

// What one query record asks of the engine (the record's fields in their order).
struct FfIpcQuery {
    HWND replyWindow;    // offset 0: where the answer goes
    DWORD replyId;       // offset 4: the copy-data id the engine answers with
    DWORD searchFlags;   // offset 8: match options
    DWORD offset;        // offset 12: index of the first result wanted
    DWORD maxResults;    // offset 16: most results wanted
    DWORD sortType;      // offset 24: the sort asked for
    const wchar_t* text; // offset 28: the query text
};

// The reply being read: where its records go, and what the parser found.
struct FfIpcReplyState {
    LONG done;          // a reply with the awaited id was handled
    LONG ok;            // that reply carried a result list that was read
    LONG count;         // records this reply appended to the result set
    LONG capacity;      // most records it may append
    LONG emptyFirst;    // the set is emptied before the outcome is handed on (see below)
    DWORD total;        // the engine's number of matches (reply offset 0) of a read reply
    DWORD offset;       // index of the reply's first item (reply offset 8)
    DWORD sortType;     // the sort the engine actually used (reply offset 16)
};

// What became of the last exchange with the engine; the overlay tells the user.
enum FfEngineState {
    FF_ENGINE_ANSWERED,       // a reply was read (possibly empty, with the index loaded)
    FF_ENGINE_NOT_RUNNING,    // no engine window
    FF_ENGINE_TOO_OLD,        // the engine refused the query: a version without it
    FF_ENGINE_LOADING,        // the engine is still loading its index
    FF_ENGINE_NOT_ANSWERING,  // the send timed out, the window is hung, or no reply came
};
extern int g_engineState;           // FfEngineState of the last query
extern DWORD g_engineLastTotal;     // total matches of the last query's reply (0 without one)
extern DWORD g_engineLastSortType;  // the sort the last read reply says it used (0 without one)
extern DWORD g_engineTotalFiles;    // total matches of the last search run's file pass
extern DWORD g_engineTotalFolders;  // ... and of its folder pass (0 when it did not run)

// Finds the engine's IPC window: the plain class first, else the first top-level window of
// a named instance's class (logged with its class name). Null (and the not-found line) when
// neither runs.
HWND FfFindEverythingWindow(void);
// Joins the non-empty pieces with one blank into text (capacity cap), cut to cap - 1.
int FfBuildQueryText(wchar_t* text, int cap, const wchar_t* piece1, const wchar_t* piece2,
                     const wchar_t* piece3);
// Writes the query record into record (room for FF_IPC_QUERY_HEADER + 2 * (length of
// query->text + 1) bytes). Returns the bytes written.
int FfEncodeEverythingQuery(BYTE* record, const FfIpcQuery* query);
// Reads one reply block (data, size bytes), appending its items to the result set (at most
// state->capacity of them); never reads outside the block. Sets done, ok and count as the reply
// window does.
void FfParseEverythingReply(const void* data, DWORD size, FfIpcReplyState* state);
// The exchange never waits for the engine. One reply window (made on first use, on the overlay's
// thread) serves every query; each query carries its own reply id, and only a reply with the id
// of the newest query sent is read: an older or a late one is dropped unread. The reply's block
// is kept as it lands and read when the thread's loop comes to it, so the result set only ever
// changes between two messages. A query without reply after FF_IPC_TIMEOUT_MS ends as not
// answering (a timer, not a wait).
#define FF_IPC_TIMER_REPLY 1                 // the reply window's time-out timer
#define WM_FF_IPC_LANDED (WM_USER + 310)     // reply window: wParam = the reply id that landed
// Sends query (its replyWindow is filled in) to engine without waiting for the answer; its
// outcome is handed to FfOnEverythingReply exactly once, unless a newer query or
// FfForgetEverythingQuery comes first. Its records are appended to the result set (capacity at
// most); with emptyFirst the set is emptied as the outcome comes, before anything is appended
// (a new text's first pass: the rows shown stay until then). Returns 1 when the query is out,
// its reply still to be read; 0 when its outcome was handed on already (an engine that
// answered during the send, or refused, or is loading or busy).
int FfSendEverythingQuery(HWND engine, FfIpcQuery* query, int capacity, int emptyFirst);
// Drops the query out: its reply, when it comes, is not read.
void FfForgetEverythingQuery(void);
// The reply id of the query out, 0 when none.
DWORD FfAwaitedReplyId(void);
// The reply window, for tests (null before the first query).
HWND FfEverythingReplyWindow(void);
// Where a query's outcome goes: state is the read reply (done 0 when none came), and
// g_engineState says what became of it. Defined by the search run.
void FfOnEverythingReply(const FfIpcReplyState* state, DWORD replyId);

// ---- Filter catalogue -------------------------------------------------------------------

#define FF_FILTERS_MAX 64
#define FF_FILTER_NAME_MAX 128
#define FF_FILTER_SEARCH_MAX 512
#define FF_CSV_FIELD_MAX 1024   // characters kept per csv field (terminator included)
#define FF_CSV_LINE_MAX 2048
#define FF_FILTER_MACRO_MAX 64
// A filter's match options, as the engine's filter file has them.
#define FF_FILTER_CASE 0x1
#define FF_FILTER_WHOLE_WORD 0x2
#define FF_FILTER_PATH 0x4
#define FF_FILTER_DIACRITICS 0x8
#define FF_FILTER_REGEX 0x10

struct FfFilter {
    wchar_t name[FF_FILTER_NAME_MAX];      // as the engine's file has it (a stock key: upper case)
    wchar_t search[FF_FILTER_SEARCH_MAX];  // the engine's search text; empty = no restriction
    DWORD flags;                           // FF_FILTER_ match options
    wchar_t macro[FF_FILTER_MACRO_MAX];    // the engine's macro, without its colon
};

// Where the fields of a filter row stand (-1: not in the file). Found from the header's names;
// without a header, the name is field 0 and the search field 10.
struct FfCsvColumns {
    int name;
    int search;
    int flags[5];  // Case, Whole Word, Path, Diacritics, Regex
    int macro;
};

extern FfFilter g_filters[FF_FILTERS_MAX];
extern int g_filterCount;     // 1..FF_FILTERS_MAX once loaded; entry 0 is "<All Files>"
extern int g_selectedFilter;  // index into g_filters of the filter in use

// Rebuilds the catalogue from the configuration of the engine whose window is given (null: none
// running; its instance decides which files) or the built-in filters, and selects the
// remembered filter.
void FfLoadFilterCatalogue(HWND engine);
// Appends a filter while there is room (texts cut to fit). Returns 1 when appended.
int FfAppendFilter(const wchar_t* name, const wchar_t* search);
int FfAppendFilterRecord(const FfFilter* filter);
int FfReadIniFilters(const wchar_t* iniPath);
int FfReadCsvFilters(const wchar_t* csvPath);
// The columns a header line names; 0 (and the fixed positions) when it names no "Name" and
// "Search" fields.
int FfMapCsvHeader(const wchar_t* line, FfCsvColumns* columns);
void FfFixedCsvColumns(FfCsvColumns* columns);
// Parses one csv row (CR/LF already removed) by the columns into filter (texts cut to fit; a
// missing field is empty, a flag set when its field is a non-zero number).
void FfParseCsvFilterLine(const wchar_t* line, const FfCsvColumns* columns, FfFilter* filter);
// The name the engine's own window shows: the stock upper-case keys translated, any other
// name as it is.
const wchar_t* FfFilterShownName(const wchar_t* name);
// Selects the first filter whose name, else whose shown name, equals name (ASCII case
// folded), else entry 0.
void FfSelectFilterByName(const wchar_t* name);
// Remembers the selected filter's name in the settings and writes it to the settings file.
void FfSaveLastSelectedFilter(void);

// ---- Search run -------------------------------------------------------------------------

#define FF_TYPED_TEXT_MAX 512
#define FF_ACTIVE_FOLDER_MAX 2048
#define FF_SUBSTITUTED_QUERY_MAX 900
#define FF_FOLDER_CLAUSE_MAX 2064
// A filter's search in a group with every modifier: 37 + 2 + 511 characters.
#define FF_FILTER_CLAUSE_MAX 560

// The engine's version, asked with its own message (wParam 0..3); all 0 when it did not say.
struct FfEngineVersion {
    DWORD major, minor, revision, build;
};
// Asks the engine window for its version (each send bounded). 1 when it gave a major version.
int FfAskEngineVersion(HWND engine, FfEngineVersion* version);
// The version of this engine window, asked once per overlay opening and per window.
const FfEngineVersion* FfEngineVersionOf(HWND engine);
// Forgets what was learned of the engine (its version, a declined sort already logged): at
// every overlay opening.
void FfForgetEngineFacts(void);
// 1 when that version knows the query function filter: (1.5 on); 0 below, or not known.
int FfVersionKnowsFilterFunction(const FfEngineVersion* version);
// The clause that applies a filter: empty for an empty search; filter:"NAME" when the engine
// knows the function; else the filter's search in a group, its flags as modifiers before it.
// Returns 1 when the filter lets folders in (an empty search, or one holding "folder:").
int FfComposeFilterClause(const FfFilter* filter, int filterFunction, wchar_t* out, int cap);
// The same for the engine window found (its version asked when the filter has a search).
int FfComposeFilterClauseFor(HWND engine, const FfFilter* filter, wchar_t* out, int cap);
// When the engine answered a pass in another order than asked, sorts that pass's results with
// the column comparison of the sort asked (logged once per opening).
void FfOrderPassAsAsked(FfResult* results, int count, DWORD asked, DWORD answered);

// Position of the first "path:." token (ASCII case folded, followed by the end or white
// space), or -1.
int FfFindPathToken(const wchar_t* typed);
// The active folder as a path: clause wants it: with one trailing backslash (so that C:\dir
// does not also match C:\dir2), a drive root's not doubled. 0 (out empty) for a folder of the
// host's plug-in file systems, ours among them: a path beginning with three backslashes.
int FfScopeFolderForQuery(const wchar_t* folder, wchar_t* out, int cap);
// Builds the query with the token at position p replaced by path:"folder" (cut to cap - 1).
int FfSubstitutePathToken(wchar_t* out, int cap, const wchar_t* typed, int p,
                          const wchar_t* folder);
// Asks the host (command 2029) for its active folder through the clipboard, opened for
// clipboardOwner (null is allowed), and puts the clipboard back as it was. Returns 1 with the
// folder in folder (cap characters).
int FfQueryHostActiveFolder(HWND hostWindow, HWND clipboardOwner, wchar_t* folder, int cap);

// What the clipboard held, format by format, so it can be put back after the host used it.
struct FfClipboardSnapshot;
// Opens the clipboard, trying again for a short while when another program holds it.
bool FfOpenClipboardPatiently(HWND owner);
// Copies every format whose data is a global memory block; null only when the clipboard could
// not be opened (an empty clipboard gives an empty snapshot).
FfClipboardSnapshot* FfSaveClipboard(HWND owner);
// When the clipboard changed since the save: empties it and puts the saved formats back in their
// order (logged when it cannot be opened). Frees the snapshot; null does nothing.
void FfRestoreClipboard(HWND owner, FfClipboardSnapshot* snapshot);

// Puts files before folders, keeping the order within each group.
void FfOrderFilesBeforeFolders(FfResult* results, int count);

// What a pass asks the engine for: files or folders (the query's last piece).
#define FF_PASS_FILES 0
#define FF_PASS_FOLDERS 1
// One query of a search: its pieces, where its records go, and the id it went out with.
struct FfSearchPass {
    wchar_t filterClause[FF_FILTER_CLAUSE_MAX];  // first piece; empty = none
    wchar_t query[FF_SUBSTITUTED_QUERY_MAX];     // second piece: the typed text, "path:." resolved
    int kind;        // FF_PASS_FILES or FF_PASS_FOLDERS: the third piece, "file:" or "folder:"
    int first;       // index of the first result wanted (query offset 12)
    int cap;         // most results wanted
    int at;          // the record of g_results its results start at (they are appended)
    DWORD sequence;  // the reply id it went out with; 0 until sent
};
// A search under way: the file pass, then (when the filter allows) the folder pass, sent when
// the file pass's reply lands; then, asked one at a time, later pages of either (files first).
struct FfSearchRun {
    wchar_t typed[FF_TYPED_TEXT_MAX];          // as typed, for the log line
    wchar_t filterName[FF_FILTER_NAME_MAX];    // the selected filter's name, for the log line
    int includeFolders;
    FfSearchPass pass;   // the pass out, or the last one sent
    HWND engine;         // the engine window found when the search started
    HWND notify;         // told of every change of the result set
    int files, folders, okFiles, okFolders;  // records loaded of each pass, and how it went
    int active;          // 1 while a pass is out
    int page;            // 1 while the pass out (or the last landed) is a later page
    int pageAt, pageRows;  // where the last landed page's rows went and how many (files before
                           // the folder block, folders at the end)
};
extern FfSearchRun g_searchRun;
// The typed text the result set was searched with (its matches are marked in the names); it
// changes only when a reply of a newer text lands.
extern wchar_t g_resultSetText[FF_TYPED_TEXT_MAX];
// Counts every change of the result set by a search (a landing, an emptied set), so that an
// action that waited on a menu can tell that the rows it was asked for are gone.
extern DWORD g_resultSetSerial;
// Sent (same thread) to the run's notify window each time the result set changed: wParam 1 when
// the search is complete, 0 while a pass is still out.
#define WM_FF_SEARCH_UPDATED (WM_USER + 311)
// Sent (same thread) to the notify window just before a landed page is sorted in with what is
// loaded (a column sort is on): the rows are about to change records.
#define WM_FF_SEARCH_REORDERING (WM_USER + 313)
// Starts the search for typed (the search box's text, FF_TYPED_TEXT_MAX at most): "path:." from
// the host's panel (the clipboard opened for clipboardOwner), the selected filter, then the file
// pass; returns without waiting for it. The search run before is forgotten. An empty text, or no
// engine, empties the set at once. Returns 1 while a pass is out.
int FfStartSearch(const wchar_t* typed, HWND clipboardOwner, HWND notify);
// Forgets the search under way: a reply that comes for it is dropped.
void FfCancelSearch(void);
// 1 when the engine's totals say the search has more than is loaded (files, then folders) and
// the set has room for it.
int FfSearchHasMore(void);
// Asks the next page of the search shown (files until they are all in, then folders), unless a
// pass is out already or nothing more is to come. Its rows are added when it lands (notify told
// as for any landing). Returns 1 when a page was asked (it may have landed already, from an
// engine that answers during the send) or one is out; 0 when there is nothing to ask.
int FfAskNextPage(void);

// ---- Ordering ---------------------------------------------------------------------------

enum FfSortColumn {
    FF_SORT_NAME = 0,
    FF_SORT_SIZE = 1,
    FF_SORT_DATE = 2,
    FF_SORT_FOLDER = 3,
    FF_SORT_EXTENSION = 4,
};

extern int g_sortColumn;                 // FfSortColumn in effect
extern int g_sortDescending;             // 1 = descending
extern unsigned char g_localSortActive;  // 1 once a column title was clicked in this opening

// The column and direction the engine's sort type corresponds to.
void FfSortStateFromSortType(DWORD sortType, int* column, int* descending);
void FfInitSortFromSortType(void);
// A click on a column title: a new column takes its first direction (descending for size and
// date), the same column turns round; the result set is sorted and the local sort is on.
void FfApplyColumnSort(int column);
int FfCompareResults(const FfResult* a, const FfResult* b, int column, int descending);
// Sorts records 0..count-1 in place by column and direction.
void FfSortResults(FfResult* results, int count, int column, int descending);
// The extension of a result's name ("" when none, and for a folder).
const wchar_t* FfResultExtension(const FfResult* result);

// ---- Field texts ------------------------------------------------------------------------

#define FF_ICON_CACHE_MAX 128
#define FF_ICON_KEY_MAX 16

struct FfIconCacheEntry {
    wchar_t key[FF_ICON_KEY_MAX];  // the extension key, dot included, at most 15 characters
    HICON icon;                    // as the shell answered it (may be null)
};

extern HICON g_folderIcon;
extern FfIconCacheEntry g_iconCache[FF_ICON_CACHE_MAX];
extern int g_iconCacheCount;

// Each returns a process-wide buffer overwritten by its next call.
const wchar_t* FfFormatSize(unsigned long long size);
const wchar_t* FfFormatDateTime(FILETIME modified);
const wchar_t* FfParentFolderName(const wchar_t* path);
// The icon cache key of a file path: from its last "." (dot included), cut to 15 characters.
void FfIconKeyFromPath(const wchar_t* path, wchar_t* key, int cap);
HICON FfGetResultIcon(const FfResult* result);
