// The engine client: a WM_COPYDATA query sent without waiting, and its reply, read when it lands.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include <string.h>

#ifndef MSGFLT_ALLOW
#define MSGFLT_ALLOW 1
#endif

static LONG FfReadLong(const BYTE* p)
{
    LONG v;
    memcpy(&v, p, sizeof v);
    return v;
}

static unsigned long long FfReadQuad(const BYTE* p)
{
    unsigned long long v;
    memcpy(&v, p, sizeof v);
    return v;
}

static void FfWriteDword(BYTE* p, DWORD v)
{
    memcpy(p, &v, sizeof v);
}

struct FfNamedEngineSearch {
    HWND found;
    wchar_t className[256];
};

static BOOL CALLBACK FfFindNamedEngineProc(HWND window, LPARAM lParam)
{
    FfNamedEngineSearch* search = (FfNamedEngineSearch*)lParam;
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    int prefixLength = (int)wcslen(FF_EVERYTHING_NAMED_CLASS_PREFIX);
    // A named instance's class: the plain class, "_(", the instance name and ")".
    if (length > prefixLength && wcsncmp(name, FF_EVERYTHING_NAMED_CLASS_PREFIX, prefixLength) == 0 &&
        name[length - 1] == L')') {
        search->found = window;
        FfCopyText(search->className, 256, name);
        return FALSE;
    }
    return TRUE;
}

// The class of the named instance the last search found; empty for the plain class.
static wchar_t g_engineNamedClass[256];
// That instance's window: walking every top-level window for it costs more than the client's
// whole share of a search, so it is asked first whether it is still that window.
static HWND g_engineNamedWindow = nullptr;

static bool FfIsNamedEngineStill(HWND window)
{
    wchar_t name[256];
    // A window gone gives no class name; a handle used again by another window, another one.
    return window && g_engineNamedClass[0] && GetClassNameW(window, name, 256) > 0 &&
           wcscmp(name, g_engineNamedClass) == 0;
}

HWND FfFindEverythingWindow(void)
{
    HWND window = FindWindowW(FF_EVERYTHING_CLASS, nullptr);
    if (window) {
        g_engineNamedClass[0] = 0;
        g_engineNamedWindow = nullptr;
        return window;
    }
    if (FfIsNamedEngineStill(g_engineNamedWindow)) return g_engineNamedWindow;
    g_engineNamedClass[0] = 0;
    g_engineNamedWindow = nullptr;
    FfNamedEngineSearch search;
    search.found = nullptr;
    search.className[0] = 0;
    EnumWindows(FfFindNamedEngineProc, (LPARAM)&search);
    if (search.found) {
        FfCopyText(g_engineNamedClass, 256, search.className);
        g_engineNamedWindow = search.found;
        return search.found;
    }
    FfLog(L"FfRunEverythingQuery: Everything's IPC window not found - is Everything running?");
    return nullptr;
}

static LRESULT CALLBACK FfIpcReplyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The one reply window: made on first use, on the thread that sends (the overlay's), and kept.
// A reply is told from another by its id, so no window needs to go to make a late one harmless.
static HWND g_ipcReplyWindow = nullptr;

static HWND FfAcquireReplyWindow(void)
{
    if (g_ipcReplyWindow && IsWindow(g_ipcReplyWindow) &&
        GetWindowThreadProcessId(g_ipcReplyWindow, nullptr) == GetCurrentThreadId())
        return g_ipcReplyWindow;
    WNDCLASSW windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = FfIpcReplyWndProc;
    windowClass.hInstance = g_moduleHandle;
    windowClass.lpszClassName = FF_IPC_HELPER_CLASS;
    RegisterClassW(&windowClass);  // fails harmlessly from the second call on

    HWND reply = CreateWindowExW(0, FF_IPC_HELPER_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 g_moduleHandle, nullptr);
    if (!reply) return nullptr;
    // Let the answer through when the engine runs at another integrity level.
    ChangeWindowMessageFilterEx(reply, WM_COPYDATA, MSGFLT_ALLOW, nullptr);
    g_ipcReplyWindow = reply;
    return reply;
}

int FfBuildQueryText(wchar_t* text, int cap, const wchar_t* piece1, const wchar_t* piece2,
                     const wchar_t* piece3)
{
    if (!text || cap < 1) return 0;
    text[0] = 0;
    const wchar_t* pieces[3] = {piece1, piece2, piece3};
    int length = 0;
    for (int i = 0; i < 3; i++) {
        if (!pieces[i] || !pieces[i][0]) continue;
        if (length > 0) length = FfAppendText(text, cap, L" ");
        length = FfAppendText(text, cap, pieces[i]);
    }
    text[cap - 1] = 0;
    return (int)wcslen(text);
}

int FfEncodeEverythingQuery(BYTE* record, const FfIpcQuery* query)
{
    const wchar_t* text = query->text ? query->text : L"";
    int length = (int)wcslen(text);
    // Window handles are 32-bit values in both widths; the record is the same bytes in both.
    FfWriteDword(record + 0, (DWORD)(UINT_PTR)query->replyWindow);
    FfWriteDword(record + 4, query->replyId);
    FfWriteDword(record + 8, query->searchFlags);
    FfWriteDword(record + 12, query->offset);
    FfWriteDword(record + 16, query->maxResults);
    FfWriteDword(record + 20, FF_IPC_REQUEST_FLAGS);
    FfWriteDword(record + 24, query->sortType);
    memcpy(record + FF_IPC_QUERY_HEADER, text, 2 * (size_t)(length + 1));
    return FF_IPC_QUERY_HEADER + 2 * (length + 1);
}

// One string field of an item: its characters inside the block (length in characters).
struct FfReplyText {
    const BYTE* chars;
    unsigned long long length;
};

// Copies name texts into path (at most FF_RESULT_PATH_MAX - 1 characters): the full path, or the
// folder, a backslash (unless it ends in one already) and the name.
static int FfComposeResultPath(wchar_t* path, const FfReplyText* folder, const FfReplyText* name)
{
    int at = 0;
    const FfReplyText* parts[2] = {folder, name};
    for (int k = 0; k < 2 && parts[k]; k++) {
        if (k == 1 && at > 0 && path[at - 1] != L'\\' && at < FF_RESULT_PATH_MAX - 1) path[at++] = L'\\';
        unsigned long long room = (unsigned long long)(FF_RESULT_PATH_MAX - 1 - at);
        unsigned long long copy = parts[k]->length < room ? parts[k]->length : room;
        memcpy(path + at, parts[k]->chars, 2 * (size_t)copy);
        at += (int)copy;
    }
    path[at] = 0;
    return at;
}

// Walks one item's fields in the order its reply's request flags give them, up to the date
// modified: what follows is never read, so flags the plug-in knows no width of do no harm.
// Returns 0 when a field would reach past limit (nothing of the item is kept), else 1 with
// the path composed into path (*length its characters, -1 for an item that names none). A field
// the reply lacks is unknown.
static int FfReadReplyItem(const BYTE* list, unsigned long long at, unsigned long long limit,
                           DWORD fields, FfResult* result, wchar_t* path, int* length)
{
    FfReplyText texts[4];  // name, path, full path, extension
    int has[4] = {0, 0, 0, 0};
    unsigned long long size = FF_UNKNOWN_VALUE, modified = FF_UNKNOWN_VALUE;
    for (DWORD bit = FF_IPC_FIELD_NAME; bit <= FF_IPC_FIELD_DATE_MODIFIED; bit <<= 1) {
        if (!(fields & bit)) continue;
        if (bit <= FF_IPC_FIELD_EXTENSION) {
            if (at + 4 > limit) return 0;
            unsigned long long length = (DWORD)FfReadLong(list + at);
            if (at + 4 + 2 * length + 2 > limit) return 0;
            int k = bit == FF_IPC_FIELD_NAME ? 0 : bit == FF_IPC_FIELD_PATH ? 1 : bit == FF_IPC_FIELD_FULL_PATH ? 2 : 3;
            texts[k].chars = list + at + 4;
            texts[k].length = length;
            has[k] = 1;
            at += 4 + 2 * length + 2;
        } else {
            if (at + 8 > limit) return 0;
            if (bit == FF_IPC_FIELD_SIZE) size = FfReadQuad(list + at);
            if (bit == FF_IPC_FIELD_DATE_MODIFIED) modified = FfReadQuad(list + at);
            at += 8;
        }
    }
    *length = -1;
    if (has[2]) *length = FfComposeResultPath(path, &texts[2], nullptr);
    else if (has[1] && has[0]) *length = FfComposeResultPath(path, &texts[1], &texts[0]);
    result->size = size;
    result->modified.dwLowDateTime = (DWORD)modified;
    result->modified.dwHighDateTime = (DWORD)(modified >> 32);
    return 1;
}

// Nothing of a reply is read outside the received block: an item whose table entry or fields
// would reach past the block's end is not copied, and neither is anything after it; the items
// before it stand and the reply counts as read. Each item is read by the fields the reply says
// it carries (offset 12), which need not be the ones asked for; an item without a full path,
// or a folder and a name to make one of, is skipped.
void FfParseEverythingReply(const void* data, DWORD size, FfIpcReplyState* state)
{
    state->ok = 0;
    state->count = 0;
    state->total = 0;
    state->offset = 0;
    state->sortType = 0;
    if (!data || size < FF_IPC_REPLY_HEADER) {
        state->done = 1;
        return;
    }
    const BYTE* list = (const BYTE*)data;
    state->total = (DWORD)FfReadLong(list + 0);
    state->offset = (DWORD)FfReadLong(list + 8);
    state->sortType = (DWORD)FfReadLong(list + 16);
    LONG n = FfReadLong(list + 4);
    DWORD fields = (DWORD)FfReadLong(list + 12);
    unsigned long long limit = size;
    for (LONG i = 0; i < n && state->count < state->capacity; i++) {
        unsigned long long entry = FF_IPC_REPLY_HEADER + 8ull * (unsigned long long)i;
        if (entry + 8 > limit) break;
        DWORD flags = (DWORD)FfReadLong(list + entry);
        unsigned long long offset = (DWORD)FfReadLong(list + entry + 4);
        FfResult result;
        wchar_t path[FF_RESULT_PATH_MAX];
        int length = -1;  // -1: the item names no path
        if (!FfReadReplyItem(list, offset, limit, fields, &result, path, &length)) break;
        if (length < 0) continue;
        // A full set (or no memory left) ends the reply here; what came before stands.
        if (!FfAppendResult(path, length, result.size, result.modified, flags & 1)) break;
        state->count++;
    }
    state->ok = 1;
    state->done = 1;
}

// The query out: the id its reply must carry (0: none), where its records go, and its reply's
// block once it has landed (read when the posted landing is handled). Overlay thread only.
static DWORD g_ipcAwaited = 0;
static HWND g_ipcEngine = nullptr;
static FfIpcReplyState g_ipcState;
static BYTE* g_ipcLandedBlock = nullptr;
static DWORD g_ipcLandedSize = 0;
static DWORD g_ipcLandedId = 0;
static DWORD g_ipcSendingId = 0;   // the query whose send is under way (its reply may come during it)
static bool g_ipcTimerSet = false;  // each timer call is a trip to the window server: only when set

static void FfStopReplyTimer(void)
{
    if (g_ipcTimerSet && g_ipcReplyWindow) KillTimer(g_ipcReplyWindow, FF_IPC_TIMER_REPLY);
    g_ipcTimerSet = false;
}

HWND FfEverythingReplyWindow(void)
{
    return g_ipcReplyWindow;
}

DWORD FfAwaitedReplyId(void)
{
    return g_ipcAwaited;
}

static void FfDropLandedBlock(void)
{
    if (g_ipcLandedBlock) HeapFree(GetProcessHeap(), 0, g_ipcLandedBlock);
    g_ipcLandedBlock = nullptr;
    g_ipcLandedSize = 0;
    g_ipcLandedId = 0;
}

void FfForgetEverythingQuery(void)
{
    g_ipcAwaited = 0;
    FfDropLandedBlock();
    FfStopReplyTimer();
}

int g_engineState = FF_ENGINE_ANSWERED;  // nothing known against the engine before a query
DWORD g_engineLastTotal = 0;
DWORD g_engineLastSortType = 0;

// Every send to the engine is bounded: an engine whose window's thread is busy or hung must not
// hold the overlay's thread. 1 with *answer when the engine took the message in time.
static int FfSendToEngine(HWND engine, UINT message, WPARAM wParam, LPARAM lParam,
                          DWORD_PTR* answer)
{
    *answer = 0;
    SetLastError(0);
    if (SendMessageTimeoutW(engine, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                            FF_IPC_TIMEOUT_MS, answer))
        return 1;
    FfLog(L"FfRunEverythingQuery: the engine did not take message %u/%u within %u ms (error %lu) "
          L"- it is busy or hung.",
          message, (unsigned)wParam, (unsigned)FF_IPC_TIMEOUT_MS, GetLastError());
    return 0;
}

// 1 when the engine's index is loaded, 0 while it loads, -1 when it did not say.
static int FfAskEngineLoaded(HWND engine)
{
    DWORD_PTR loaded = 0;
    if (!FfSendToEngine(engine, FF_IPC_ENGINE_MESSAGE, FF_IPC_IS_LOADED, 0, &loaded)) return -1;
    if (loaded) return 1;
    FfLog(L"FfRunEverythingQuery: the engine is still loading its index - no results until it is "
          L"done.");
    return 0;
}

// Ends the query out with outcome and hands it on; the state says whether a reply was read.
static void FfEndAwaitedQuery(int outcome)
{
    DWORD id = g_ipcAwaited;
    g_ipcAwaited = 0;
    FfStopReplyTimer();
    g_engineState = outcome;
    int read = g_ipcState.done && g_ipcState.ok;
    g_engineLastTotal = read ? g_ipcState.total : 0;
    g_engineLastSortType = read ? g_ipcState.sortType : 0;
    // No reply either ends what was shown for a new text: never a mix of two texts' rows.
    if (g_ipcState.emptyFirst && !g_ipcState.done) FfClearResults();
    FfOnEverythingReply(&g_ipcState, id);
}

// The posted landing: the kept block is read into the query's records now, between messages.
static void FfReadLandedReply(DWORD id)
{
    if (!g_ipcAwaited || id != g_ipcAwaited || id != g_ipcLandedId) return;
    if (g_ipcState.emptyFirst) FfClearResults();
    FfParseEverythingReply(g_ipcLandedBlock, g_ipcLandedSize, &g_ipcState);
    FfDropLandedBlock();
    int outcome = FF_ENGINE_ANSWERED;
    // Some engines answer an empty list while they load: only the engine can tell.
    if (g_ipcState.ok && g_ipcState.count == 0 && FfAskEngineLoaded(g_ipcEngine) == 0)
        outcome = FF_ENGINE_LOADING;
    FfEndAwaitedQuery(outcome);
}

// A reply with the awaited id is copied as it comes (the engine's block lives only during the
// message) and read when the posted landing comes round, or, when it came during its own send,
// as soon as that send returns; any other is dropped unread.
static void FfKeepLandedReply(HWND window, const COPYDATASTRUCT* block)
{
    if (!g_ipcAwaited || block->dwData != g_ipcAwaited || g_ipcLandedId == g_ipcAwaited) return;
    DWORD size = block->lpData ? block->cbData : 0;
    BYTE* copy = size ? (BYTE*)HeapAlloc(GetProcessHeap(), 0, size) : nullptr;
    if (size && !copy) size = 0;  // read as a reply without data: the query fails
    if (copy) memcpy(copy, block->lpData, size);
    g_ipcLandedBlock = copy;
    g_ipcLandedSize = size;
    g_ipcLandedId = g_ipcAwaited;
    FfStopReplyTimer();
    if (g_ipcSendingId != g_ipcAwaited) PostMessageW(window, WM_FF_IPC_LANDED, (WPARAM)g_ipcAwaited, 0);
}

static LRESULT CALLBACK FfIpcReplyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COPYDATA:
        if (lParam) FfKeepLandedReply(window, (const COPYDATASTRUCT*)lParam);
        return TRUE;
    case WM_FF_IPC_LANDED:
        FfReadLandedReply((DWORD)wParam);
        return 0;
    case WM_TIMER:
        if (wParam != FF_IPC_TIMER_REPLY) return 0;
        KillTimer(window, FF_IPC_TIMER_REPLY);
        g_ipcTimerSet = false;
        if (!g_ipcAwaited || g_ipcLandedId == g_ipcAwaited) return 0;
        FfLog(L"FfRunEverythingQuery: no reply within %u ms - the engine is not answering.",
              (unsigned)FF_IPC_TIMEOUT_MS);
        FfEndAwaitedQuery(FF_ENGINE_NOT_ANSWERING);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

int FfSendEverythingQuery(HWND engine, FfIpcQuery* query, int capacity, int emptyFirst)
{
    FfForgetEverythingQuery();
    memset(&g_ipcState, 0, sizeof g_ipcState);
    g_ipcState.capacity = capacity;
    g_ipcState.emptyFirst = emptyFirst;
    g_ipcEngine = engine;
    g_ipcAwaited = query->replyId;
    if (g_engineNamedClass[0])
        FfLog(L"FfRunEverythingQuery: using the named Everything instance window class %s",
              g_engineNamedClass);
    FfLog(L"FfRunEverythingQuery: IPC query=[%s] cap=%d", query->text, capacity);
    if (g_settings.everythingDebug) {
        wchar_t line[FF_QUERY_TEXT_MAX + 16];
        FfFormatText(line, FF_QUERY_TEXT_MAX + 16, L"Query: [%s]", query->text);
        FfEverythingDebugLog(line);
    }

    HWND reply = FfAcquireReplyWindow();
    int length = (int)wcslen(query->text);
    DWORD recordSize = FF_IPC_QUERY_HEADER + 2 * (DWORD)(length + 1);
    BYTE* record = reply ? (BYTE*)HeapAlloc(GetProcessHeap(), 0, recordSize) : nullptr;
    if (!record) {
        FfEndAwaitedQuery(FF_ENGINE_NOT_ANSWERING);
        return 0;
    }
    query->replyWindow = reply;
    FfEncodeEverythingQuery(record, query);
    COPYDATASTRUCT block;
    block.dwData = FF_IPC_QUERY_ID;
    block.cbData = recordSize;
    block.lpData = record;
    // The engine takes the record and answers later with a message of its own; one that answers
    // at once does so during this send, and the landing is posted all the same.
    DWORD id = query->replyId;
    DWORD_PTR accepted = 0;
    DWORD outerSending = g_ipcSendingId;
    g_ipcSendingId = id;
    int taken = FfSendToEngine(engine, WM_COPYDATA, (WPARAM)reply, (LPARAM)&block, &accepted);
    g_ipcSendingId = outerSending;
    HeapFree(GetProcessHeap(), 0, record);
    // Answered during the send: read now, which is where a posted landing would read it.
    if (g_ipcAwaited == id && g_ipcLandedId == id) {
        FfReadLandedReply(id);
        return 0;
    }
    // A query forgotten or replaced during the send is no longer ours.
    if (g_ipcAwaited != id) return 0;
    if (!taken) {
        FfEndAwaitedQuery(FF_ENGINE_NOT_ANSWERING);
    } else if (!accepted) {
        // Versions before this query answer it with FALSE and never reply.
        FfLog(L"FfRunEverythingQuery: the engine refused the query - a version too old for it.");
        FfEndAwaitedQuery(FF_ENGINE_TOO_OLD);
    } else if (FfAskEngineLoaded(engine) == 0) {
        // An engine that is still loading takes the query and never answers it: no use waiting.
        if (g_ipcAwaited == id && g_ipcLandedId != id) FfEndAwaitedQuery(FF_ENGINE_LOADING);
    } else if (g_ipcAwaited == id && g_ipcLandedId != id) {
        g_ipcTimerSet = SetTimer(reply, FF_IPC_TIMER_REPLY, FF_IPC_TIMEOUT_MS, nullptr) != 0;
    }
    // Still ours: its reply is to come, or came during the question above and is posted.
    return g_ipcAwaited == id ? 1 : 0;
}
