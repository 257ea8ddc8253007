// The engine client: one synchronous WM_COPYDATA query and its reply, parsed in place.
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

HWND FfFindEverythingWindow(void)
{
    g_engineNamedClass[0] = 0;
    HWND window = FindWindowW(FF_EVERYTHING_CLASS, NULL);
    if (window) return window;
    FfNamedEngineSearch search;
    search.found = NULL;
    search.className[0] = 0;
    EnumWindows(FfFindNamedEngineProc, (LPARAM)&search);
    if (search.found) {
        FfCopyText(g_engineNamedClass, 256, search.className);
        return search.found;
    }
    FfLog(L"FfRunEverythingQuery: Everything's IPC window not found - is Everything running?");
    return NULL;
}

// The reply window of the last answered exchange. Making a window costs far more than the
// exchange itself, so a window whose query was answered serves the next one; it holds no
// state between calls.
static HWND g_ipcReplyWindow = NULL;

static HWND FfAcquireReplyWindow(void)
{
    if (g_ipcReplyWindow && IsWindow(g_ipcReplyWindow) &&
        GetWindowThreadProcessId(g_ipcReplyWindow, NULL) == GetCurrentThreadId())
        return g_ipcReplyWindow;
    WNDCLASSW windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = FfIpcReplyWndProc;
    windowClass.hInstance = g_moduleHandle;
    windowClass.lpszClassName = FF_IPC_HELPER_CLASS;
    RegisterClassW(&windowClass);  // fails harmlessly from the second call on

    HWND reply = CreateWindowExW(0, FF_IPC_HELPER_CLASS, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                 g_moduleHandle, NULL);
    if (!reply) return NULL;
    // Let the answer through when the engine runs at another integrity level.
    ChangeWindowMessageFilterEx(reply, WM_COPYDATA, MSGFLT_ALLOW, NULL);
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

int FfEncodeEverythingQuery(BYTE* record, HWND replyWindow, int cap, DWORD sortType,
                            const wchar_t* text)
{
    int length = (int)wcslen(text);
    // Window handles are 32-bit values in both widths; the record is the same bytes in both.
    FfWriteDword(record + 0, (DWORD)(UINT_PTR)replyWindow);
    FfWriteDword(record + 4, FF_IPC_REPLY_ID);
    FfWriteDword(record + 8, 0);
    FfWriteDword(record + 12, 0);
    FfWriteDword(record + 16, (DWORD)cap);
    FfWriteDword(record + 20, FF_IPC_REQUEST_FLAGS);
    FfWriteDword(record + 24, sortType);
    memcpy(record + FF_IPC_QUERY_HEADER, text, 2 * (size_t)(length + 1));
    return FF_IPC_QUERY_HEADER + 2 * (length + 1);
}

// Nothing of a reply is read outside the received block: an item whose table entry, length
// field or data (path, terminator, size, date) would reach past the block's end is not
// copied, and neither is anything after it; the items before it stand and the reply counts
// as read.
void FfParseEverythingReply(const void* data, DWORD size, FfIpcReplyState* state)
{
    state->ok = 0;
    state->count = 0;
    if (!data || size < FF_IPC_REPLY_HEADER) {
        state->done = 1;
        return;
    }
    const BYTE* list = (const BYTE*)data;
    LONG n = FfReadLong(list + 4);
    if (n > state->capacity) n = state->capacity;
    unsigned long long limit = size;
    for (LONG i = 0; i < n; i++) {
        unsigned long long entry = FF_IPC_REPLY_HEADER + 8ull * (unsigned long long)i;
        if (entry + 8 > limit) break;
        DWORD flags = (DWORD)FfReadLong(list + entry);
        unsigned long long offset = (DWORD)FfReadLong(list + entry + 4);
        if (offset + 4 > limit) break;
        unsigned long long length = (DWORD)FfReadLong(list + offset);
        // length, path, terminator, size, date modified
        if (offset + 4 + 2 * length + 2 + 16 > limit) break;
        FfResult* result = &state->buffer[state->count];
        unsigned long long copy = length < FF_RESULT_PATH_MAX - 1 ? length : FF_RESULT_PATH_MAX - 1;
        memcpy(result->path, list + offset + 4, 2 * (size_t)copy);
        result->path[copy] = 0;
        const BYTE* tail = list + offset + 4 + 2 * length + 2;
        result->size = FfReadQuad(tail);
        unsigned long long modified = FfReadQuad(tail + 8);
        result->modified.dwLowDateTime = (DWORD)modified;
        result->modified.dwHighDateTime = (DWORD)(modified >> 32);
        result->isFolder = flags & 1;
        state->count++;
    }
    state->ok = 1;
    state->done = 1;
}

// The state of the exchange under way on this thread, which owns the reply window and is the
// only one its messages reach. Kept here rather than in the window's user data: each write of
// that slot is a round trip to the window server, and four of them cost more than the rest
// of the client's share of a search.
static __thread FfIpcReplyState* g_ipcReplyState = NULL;

LRESULT CALLBACK FfIpcReplyWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    FfIpcReplyState* state = g_ipcReplyState;
    const COPYDATASTRUCT* block = (const COPYDATASTRUCT*)lParam;
    if (!block || !state) return TRUE;
    if (block->dwData != FF_IPC_REPLY_ID) return TRUE;
    FfParseEverythingReply(block->lpData, block->cbData, state);
    return TRUE;
}

int FfRunEverythingQuery(const wchar_t* piece1, const wchar_t* piece2, const wchar_t* piece3,
                         FfResult* results, int cap, int* countOut)
{
    if (countOut) *countOut = 0;
    HWND engine = FfFindEverythingWindow();
    if (!engine) return 0;
    return FfQueryEverythingWindow(engine, piece1, piece2, piece3, results, cap, countOut);
}

int FfQueryEverythingWindow(HWND engine, const wchar_t* piece1, const wchar_t* piece2,
                            const wchar_t* piece3, FfResult* results, int cap, int* countOut)
{
    if (countOut) *countOut = 0;
    if (!engine) return 0;
    if (g_engineNamedClass[0])
        FfLog(L"FfRunEverythingQuery: using the named Everything instance window class %s",
              g_engineNamedClass);

    wchar_t text[FF_QUERY_TEXT_MAX];
    FfBuildQueryText(text, FF_QUERY_TEXT_MAX, piece1, piece2, piece3);
    FfLog(L"FfRunEverythingQuery: IPC query=[%s] cap=%d", text, cap);
    if (g_settings.everythingDebug) {
        wchar_t line[1100];
        FfFormatText(line, 1100, L"Query: [%s]", text);
        FfEverythingDebugLog(line);
    }

    int length = (int)wcslen(text);
    DWORD recordSize = FF_IPC_QUERY_HEADER + 2 * (DWORD)(length + 1);
    BYTE* record = (BYTE*)HeapAlloc(GetProcessHeap(), 0, recordSize);
    if (!record) return 0;

    HWND reply = FfAcquireReplyWindow();
    if (!reply) {
        HeapFree(GetProcessHeap(), 0, record);
        return 0;
    }

    FfEncodeEverythingQuery(record, reply, cap, g_settings.sortType, text);
    FfIpcReplyState state;
    state.done = 0;
    state.ok = 0;
    state.count = 0;
    state.buffer = results;
    state.capacity = cap;
    // A search started from a message handled during this one's wait has its own state; the
    // outer one is put back when it returns.
    FfIpcReplyState* outer = g_ipcReplyState;
    g_ipcReplyState = &state;

    COPYDATASTRUCT block;
    block.dwData = FF_IPC_QUERY_ID;
    block.cbData = recordSize;
    block.lpData = record;
    // A reply sent while the engine handles the query reaches the reply window during this call.
    SendMessageW(engine, WM_COPYDATA, (WPARAM)reply, (LPARAM)&block);
    HeapFree(GetProcessHeap(), 0, record);

    DWORD start = GetTickCount();
    while (!state.done) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed > FF_IPC_TIMEOUT_MS - 1) break;
        MsgWaitForMultipleObjectsEx(0, NULL, FF_IPC_TIMEOUT_MS - elapsed, 0x1CFF,
                                    MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, reply, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // The state lives on this stack: nothing may point at it after we return.
    g_ipcReplyState = outer;
    // A window that waited in vain may still be answered late: it goes, so that such an
    // answer finds no window and can never reach a later call's array.
    if (!state.done) {
        DestroyWindow(reply);
        g_ipcReplyWindow = NULL;
    }

    if (state.done && state.ok) {
        if (countOut) *countOut = state.count;
        return 1;
    }
    return 0;
}
