// Test-side control of the stand-in search engine (bin/ffengine.exe): start it, read its query log, build file trees.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "driver.h"

// The engine's IPC window classes: the plain one, and the one a named instance registers.
#define FF_ENGINE_CLASS L"EVERYTHING_TASKBAR_NOTIFICATION"
std::wstring FfEngineClassName(const std::wstring& instance);  // "" -> plain class, "x" -> "..._(x)"
// An instance name unique to this test process and call. Any engine, plain or named, is visible
// to code that looks the engine up by class (the plug-in accepts a named one when no plain one
// runs), so a test program that starts engines holds the desktop lock (DESKTOP in ff_add_test).
std::wstring FfEngineUniqueInstance(const wchar_t* tag);

// Private messages the engine's window answers (SendMessageW to FfTestEngine::window):
//   FF_ENGINE_MSG_COUNT    -> number of indexed items
//   FF_ENGINE_MSG_REINDEX  -> walks its root folders again; returns the new number of items
//   FF_ENGINE_MSG_QUERIES  -> number of query records received so far (well-formed or not)
#define FF_ENGINE_MSG_COUNT (WM_APP + 1)
#define FF_ENGINE_MSG_REINDEX (WM_APP + 2)
#define FF_ENGINE_MSG_QUERIES (WM_APP + 3)
// Copy-data id of an echo request (for benchmark floors): data = 4-byte reply window, 4-byte
// copy-data id; the engine sends its last reply block again at once, without searching or logging.
#define FF_ENGINE_ECHO_ID 0x4545

// How to start the engine. Every option maps to one command-line switch of ffengine.exe:
//   --root DIR (repeatable)   --log FILE   --instance NAME   --filters DIR   --synthetic N
//   --delay MS   --silent   --reply-id N   --short-block   --excess-count N
//   --bad-offset   --bad-length [N]   --quit-after N   --items FILE   --folder-sizes
//   --unknown-dates WORD   --drop-flags N   --add-flags N   --loading MS   --old   --hang MS
//   --version A.B.C.D   --decline-sort
// One index item / one decoded reply item. A folder's size in the index is not reported unless
// the engine indexes folder sizes; a size or date a reply lacks decodes as all bits set.
struct FfEngineItem {
    std::wstring path;
    unsigned long long size = 0;
    unsigned long long modified = 0;
    bool isFolder = false;
};

struct FfEngineOptions {
    std::vector<std::wstring> roots;  // folders indexed at start (recursively); may be empty
    std::wstring logPath;             // query log; empty: FfTestEngine::Start picks a fresh file
    std::wstring instance;            // non-empty: register "EVERYTHING_TASKBAR_NOTIFICATION_(instance)";
                                      // "1.5a": the 1.5 alpha, with its own filter file
    std::wstring version;             // "A.B.C.D" its version message answers; empty: 1.4.1.1026
                                      // (1.5.0.1384 for the instance 1.5a). From 1.5 on, filter: works
    bool declineSort = false;         // answers every query in name order, and says so in the reply
    std::wstring filtersDir;          // folder holding Filters.csv / Filters-1.5a.csv; empty: %APPDATA%\Everything
    int syntheticItems = 0;           // adds this many generated items (no files on disk), for benchmarks
    std::vector<FfEngineItem> items;  // extra items that exist only in the index (any path, size, time)
    // Fault modes (all off by default).
    DWORD answerDelayMs = 0;   // answer this late, after the query's send has returned
    bool neverAnswer = false;  // log the query, never answer
    int replyId = -1;          // >= 0: answer with this copy-data id instead of the one the record asks
    bool shortBlock = false;   // answer with a 12-byte block
    int excessCount = 0;       // claim this many more items than the block holds
    bool badOffset = false;    // the last item's data offset points past the block's end
    bool badLength = false;    // the last item's path length reaches past the block's end
    DWORD badLengthValue = 0;  // with badLength: this length instead (0 = one character past the end)
    int quitAfter = 0;         // > 0: exit after answering this many queries
    bool folderSizes = false;  // folders report the sum of their files (else all bits set)
    std::wstring unknownDates; // items whose name holds this word report all dates as unknown
    DWORD dropFlags = 0;       // fields left out of every reply item (and its flags)
    DWORD addFlags = 0;        // fields put into every reply item although not asked for
    DWORD loadingMs = 0;       // the index loads for this long: 401 answers 0, queries get nothing
    bool oldEngine = false;    // answers the query send with FALSE and never replies
    DWORD hangMs = 0;          // the first query stops the engine's window thread this long
    std::wstring extraArgs;    // appended to the command line as given
    std::wstring program;      // the engine program; empty: this tree's bin\ffengine.exe
};

// One line of the engine's query log: a record as received (fields as sent, in record order).
struct FfEngineQueryRecord {
    bool wellFormed = false;   // false: the record was ignored (reason says why)
    std::string reason;        // for ignored records: "short", "unterminated", "no-data", "id"
    DWORD copyDataId = 0;      // dwData of the query message
    DWORD cbData = 0;          // size of the query block
    DWORD replyWindow = 0;     // offset 0 (32-bit window handle)
    DWORD replyId = 0;         // offset 4
    DWORD searchFlags = 0;     // offset 8
    DWORD firstResult = 0;     // offset 12
    DWORD maxResults = 0;      // offset 16
    DWORD requestFlags = 0;    // offset 20
    DWORD sortType = 0;        // offset 24
    std::wstring text;         // the query text (exactly as sent, control characters restored)
    DWORD totalMatches = 0;    // what the engine found (its reply's first field)
};

// A started engine; stopped (killed) when the object goes.
struct FfTestEngine {
    FfTestProcess process;
    HWND window = nullptr;
    std::wstring className;
    std::wstring logPath;

    // Starts bin/ffengine.exe with the options and waits until its window exists (the index is
    // complete by then). False when it did not come up within timeoutMs.
    bool Start(const FfEngineOptions& options, DWORD timeoutMs = 15000);
    void Stop();
    bool Running() const { return process.Running(); }
    int ItemCount() const;      // FF_ENGINE_MSG_COUNT
    int Reindex() const;        // FF_ENGINE_MSG_REINDEX
    int QueriesReceived() const;  // FF_ENGINE_MSG_QUERIES
    std::vector<FfEngineQueryRecord> Queries() const;  // the whole log, parsed
    // The reply ids of the queries it answered, or (dropped) those a newer query replaced, in order.
    std::vector<DWORD> Answered(bool dropped = false) const;
    ~FfTestEngine() { Stop(); }
};

// Parses a query log written by the engine (UTF-8, one line per record); missing file -> empty.
std::vector<FfEngineQueryRecord> FfEngineReadQueryLog(const std::wstring& logPath);
// Parses one log line; false when it is not a record line.
bool FfEngineParseQueryLine(const std::string& line, FfEngineQueryRecord* out);

// Files and folders for a test tree. relPath uses backslashes; folders are created for every
// parent. modified/created/accessed are FILETIME ticks (0 = leave the system's time).
struct FfTestTreeItem {
    std::wstring relPath;
    unsigned long long size = 0;
    unsigned long long modified = 0;
    bool isFolder = false;
    unsigned long long created = 0;
    unsigned long long accessed = 0;
    DWORD attributes = 0;  // extra attributes to set (e.g. FILE_ATTRIBUTE_READONLY), 0 = none
};
bool FfTestMakeTree(const std::wstring& root, const std::vector<FfTestTreeItem>& items);
// FILETIME ticks of a UTC calendar time, for tree items.
unsigned long long FfTestFileTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// A minimal engine client (not the plug-in's): sends one query record and collects the reply on
// its own message-only window.
struct FfEngineReply {
    bool answered = false;     // a WM_COPYDATA arrived at the reply window within the time-out
    DWORD copyDataId = 0;      // its dwData
    std::string bytes;         // its block, as received
    DWORD receivedAfterMs = 0; // since the send returned (0 when it came during the send)
    bool duringSend = false;   // it arrived while SendMessageW was still waiting
};
struct FfEngineQueryArgs {
    std::wstring text;
    DWORD maxResults = 100;
    DWORD sortType = 1;
    DWORD firstResult = 0;
    DWORD replyId = 18;
    DWORD searchFlags = 0;
    DWORD requestFlags = 84;
    DWORD copyDataId = 18;
};
// Sends the record to engineWindow and waits up to timeoutMs after the send for a reply.
FfEngineReply FfEngineSendQuery(HWND engineWindow, const FfEngineQueryArgs& args, DWORD timeoutMs = 3000);
// Echo request: the engine sends its last reply block again at once (no search, no log line).
FfEngineReply FfEngineSendEcho(HWND engineWindow, DWORD replyId = 18, DWORD timeoutMs = 3000);
// Echo request on behalf of another window: the engine sends its last reply block to target with
// copy-data id replyId (a reply that is not the one target waits for, say).
bool FfEngineEchoTo(HWND engineWindow, HWND target, DWORD replyId);
// Builds the query record bytes exactly as they go on the wire (28-byte head + text + terminator).
std::string FfEngineBuildQueryRecord(DWORD replyWindow, const FfEngineQueryArgs& args);
// Decodes a reply block by the fields its flags name; false when it is not a complete, in-bounds
// list. total/count from the head; an item's path is its full path, else its folder and name.
bool FfEngineDecodeReply(const std::string& bytes, DWORD* total, std::vector<FfEngineItem>* items);
