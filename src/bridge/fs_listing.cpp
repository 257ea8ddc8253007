// The host's file-system entry points that start the plug-in and list its virtual folder.
// The listing is made in wide records; the 8-bit calls narrow each one's name at the end.
#include "bridge/listing_internal.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"

#define FF_QUEUE_WAIT_MS 3000  // longest wait for the background thread's message queue
#define FF_HOST_UNKNOWN_TIME 0xFFFFFFFFFFFFFFFEull  // the host's own mark for a time not known

// One listing in progress, from FsFindFirst to FsFindClose.
#define FF_FIND_PLACEHOLDER (-1)  // nothing more to return
#define FF_FIND_REAL (-2)         // browsing a real folder through realFind
struct FfFindHandle {
    int state;        // >= 0: next listing index; FF_FIND_PLACEHOLDER; FF_FIND_REAL
    HANDLE realFind;  // the real folder's find handle while state is FF_FIND_REAL
};

int FfNarrowName(const wchar_t* name, char* out, int outCap)
{
    if (!out || outCap <= 0) return 0;
    out[0] = 0;
    if (!name) return 0;
    // No best fit: it turns a character the code page lacks into a look-alike (U+0141 into
    // "L"), so two entries would reach the host under one name and each call on one would act
    // on the other's file. No default character of our own: the code page's default stands in.
    // (A UTF-8 code page takes no flags and has no character to lack.)
    DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int written = WideCharToMultiByte(CP_ACP, flags, name, -1, out, outCap, nullptr, nullptr);
    if (written > 0) return written - 1;
    // Too long: keep the whole characters that fit, so no lead byte loses its trail byte.
    int length = 0;
    for (const wchar_t* p = name; *p;) {
        int chars = (IS_HIGH_SURROGATE(p[0]) && IS_LOW_SURROGATE(p[1])) ? 2 : 1;
        char bytes[8];
        int size = WideCharToMultiByte(CP_ACP, flags, p, chars, bytes, sizeof(bytes), nullptr, nullptr);
        if (size <= 0 || length + size > outCap - 1) break;
        CopyMemory(out + length, bytes, size);
        length += size;
        p += chars;
    }
    out[length] = 0;
    return length;
}

// What FsInit and FsInitW both do; the host calls one of the two.
static int FfStartPlugin(const wchar_t* caller, int pluginNr)
{
    FfLog(L"%s(PluginNr=%d) - WFX plugin reached.", caller, pluginNr);
    // A host that starts us through the 8-bit function lists our names narrowed.
    g_hostListsNarrowNames = wcscmp(caller, L"FsInit") == 0 ? 1 : 0;
    DWORD threadId = g_hookThreadId;
    if (threadId == 0) {
        FfLog(L"FsInit: background thread not started yet (g_hookThreadId==0) - cannot auto-open "
              L"the search box this time; press the hotkey again once loaded.");
        return 0;
    }
    // The host calls FsInit right after loading the library, usually before the thread that
    // process attach started has made its message queue; a post fails until then. Give it a
    // short while, or the first hotkey press after a host start would be lost.
    BOOL posted = PostThreadMessageW(threadId, WM_FF_AUTOOPEN_OVERLAY, 0, 0);
    for (int waited = 0; !posted && waited < FF_QUEUE_WAIT_MS; waited += 10) {
        Sleep(10);
        posted = PostThreadMessageW(threadId, WM_FF_AUTOOPEN_OVERLAY, 0, 0);
    }
    FfLog(L"FsInit: %s posting WM_FF_AUTOOPEN_OVERLAY to background thread (tid=%lu).",
          posted ? L"OK" : L"FAILED", threadId);
    return 0;
}

int __stdcall FsInit(int pluginNr, FfHostCallback, FfHostCallback, FfHostCallback)
{
    return FfStartPlugin(L"FsInit", pluginNr);
}

int __stdcall FsInitW(int pluginNr, FfHostCallback, FfHostCallback, FfHostCallback)
{
    return FfStartPlugin(L"FsInitW", pluginNr);
}

void __stdcall FsGetDefRootName(char* name, int maxLen)
{
    if (name && maxLen > 0) lstrcpynA(name, FF_PRODUCT_NAME_A, maxLen);
}

// The one item of a listing that has nothing to show but a hint; the next call ends it.
static HANDLE FfReturnPlaceholder(FfFindHandle* handle, WIN32_FIND_DATAW* findData, const char* name)
{
    findData->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    MultiByteToWideChar(CP_ACP, 0, name, -1, findData->cFileName, MAX_PATH);
    findData->cFileName[MAX_PATH - 1] = 0;
    handle->state = FF_FIND_PLACEHOLDER;
    return (HANDLE)handle;
}

// The engine marks a size or date it does not know with all bits set (every folder's size,
// unless it indexes them): the host gets size 0 and its own marker for an unknown time.
static void FfFillListingSizeAndTime(WIN32_FIND_DATAW* findData, unsigned long long size,
                                     unsigned long long modified)
{
    if (size == FF_UNKNOWN_VALUE) size = 0;
    findData->nFileSizeHigh = (DWORD)(size >> 32);
    findData->nFileSizeLow = (DWORD)size;
    if (modified == FF_UNKNOWN_VALUE) modified = FF_HOST_UNKNOWN_TIME;
    findData->ftLastWriteTime.dwHighDateTime = (DWORD)(modified >> 32);
    findData->ftLastWriteTime.dwLowDateTime = (DWORD)modified;
}

// Fills the host's record from a listing entry read under the lock.
static void FfFillListingEntry(WIN32_FIND_DATAW* findData, const wchar_t* name, int isFolder,
                               unsigned long long size, unsigned long long modified)
{
    FfCopyWholeChars(findData->cFileName, MAX_PATH, name);
    findData->dwFileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    FfFillListingSizeAndTime(findData, size, modified);
}

static void FfFillRealEntry(WIN32_FIND_DATAW* findData, const WIN32_FIND_DATAW* real)
{
    FfCopyWholeChars(findData->cFileName, MAX_PATH, real->cFileName);
    findData->dwFileAttributes = real->dwFileAttributes;
    findData->ftCreationTime = real->ftCreationTime;
    findData->ftLastAccessTime = real->ftLastAccessTime;
    findData->ftLastWriteTime = real->ftLastWriteTime;
    findData->nFileSizeHigh = real->nFileSizeHigh;
    findData->nFileSizeLow = real->nFileSizeLow;
}

// The 8-bit record the ANSI calls hand over: the same fields, the name narrowed.
static void FfNarrowFindData(const WIN32_FIND_DATAW* wide, WIN32_FIND_DATAA* findData)
{
    ZeroMemory(findData, sizeof(*findData));
    findData->dwFileAttributes = wide->dwFileAttributes;
    findData->ftCreationTime = wide->ftCreationTime;
    findData->ftLastAccessTime = wide->ftLastAccessTime;
    findData->ftLastWriteTime = wide->ftLastWriteTime;
    findData->nFileSizeHigh = wide->nFileSizeHigh;
    findData->nFileSizeLow = wide->nFileSizeLow;
    FfNarrowName(wide->cFileName, findData->cFileName, MAX_PATH);
}

static bool FfIsDotEntry(const wchar_t* name)
{
    return lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0;
}

// Reads entry `index` of the listing under the lock into the host's record. False when the
// listing has no such entry (any more).
static bool FfReadListingEntry(int index, WIN32_FIND_DATAW* findData)
{
    wchar_t name[FF_PANEL_NAME_CHARS];
    int isFolder = 0;
    unsigned long long size = 0, modified = 0;
    bool found = false;
    EnterCriticalSection(&g_listingLock);
    if (index >= 0 && index < g_panelListingCount && index < FF_PANEL_LISTING_MAX) {
        const FfPanelEntry* entry = &g_panelListing[index];
        FfCopyText(name, FF_PANEL_NAME_CHARS, entry->name);
        isFolder = entry->isFolder;
        size = entry->size;
        modified = entry->modified;
        found = true;
    }
    LeaveCriticalSection(&g_listingLock);
    if (found) FfFillListingEntry(findData, name, isFolder, size, modified);
    return found;
}

// The path as the host gave it, for the log: the 8-bit text on the ANSI road.
struct FfHostPath {
    const wchar_t* wide;  // null when the 8-bit text could not be widened
    const char* ansi;     // null on the wide road
};

static HANDLE FfReturnUnresolved(FfFindHandle* handle, WIN32_FIND_DATAW* findData, FfHostPath path)
{
    if (path.ansi) {
        FfLog(L"FsFindFirst: could not resolve subpath %hs to a real folder - showing placeholder "
              L"instead.",
              path.ansi);
    } else {
        FfLog(L"FsFindFirst: could not resolve subpath %s to a real folder - showing placeholder "
              L"instead.",
              path.wide ? path.wide : L"");
    }
    return FfReturnPlaceholder(handle, findData, FF_PLACEHOLDER_UNRESOLVED_A);
}

// Finds the published folder named `first` and composes the real folder below it. False
// when there is none, or the folder and its search pattern would not fit.
static bool FfResolveListedFolder(const wchar_t* first, const wchar_t* subPath, wchar_t* folder)
{
    FfFoundEntry entry;
    if (!FfFindListedEntry(first, true, &entry)) return false;
    if (!subPath || !subPath[0]) {
        FfCopyText(folder, FF_PANEL_PATH_CHARS, entry.realPath);
    } else {
        // A cut path would name some other folder: too long means unresolved.
        if (lstrlenW(entry.realPath) + 1 + lstrlenW(subPath) > FF_PANEL_PATH_CHARS - 1) return false;
        FfFormatText(folder, FF_PANEL_PATH_CHARS, L"%s\\%s", entry.realPath, subPath);
    }
    return lstrlenW(folder) + 2 <= FF_PANEL_PATH_CHARS - 1;  // room for "\\*"
}

// A real folder that holds nothing lists as empty: no handle, and "no more files" (the last
// error is set after the log line, whose writing may change it).
static HANDLE FfReturnEmptyFolder(FfFindHandle* handle, const wchar_t* folder)
{
    HeapFree(GetProcessHeap(), 0, handle);
    FfLog(L"FsFindFirst: real folder \"%s\" is empty - listing it as empty.", folder);
    SetLastError(ERROR_NO_MORE_FILES);
    return INVALID_HANDLE_VALUE;
}

// A real folder that cannot be listed shows the placeholder that says what to do.
static HANDLE FfReturnUnreadable(FfFindHandle* handle, WIN32_FIND_DATAW* findData,
                                 const wchar_t* folder, DWORD error)
{
    FfLog(L"FsFindFirst: real folder \"%s\" resolved but appears empty or unreadable "
          L"(GetLastError=%lu) - showing placeholder instead.",
          folder, error);
    return FfReturnPlaceholder(handle, findData, FF_PLACEHOLDER_UNRESOLVED_A);
}

static HANDLE FfStartRealBrowsing(FfFindHandle* handle, WIN32_FIND_DATAW* findData,
                                  const wchar_t* folder)
{
    wchar_t pattern[FF_PANEL_PATH_CHARS], longPattern[FF_LONG_PATH_CHARS];
    FfFormatText(pattern, FF_PANEL_PATH_CHARS, L"%s\\*", folder);
    FfLongPathForm(pattern, longPattern);
    WIN32_FIND_DATAW real;
    HANDLE find = FindFirstFileW(longPattern, &real);
    if (find == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND) {
        // Nothing at all matched (a drive root holds no "." or ".."): empty if it is a folder.
        DWORD attributes = FfGetAttributesLong(folder);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return FfReturnEmptyFolder(handle, folder);
        SetLastError(ERROR_FILE_NOT_FOUND);
    }
    if (find == INVALID_HANDLE_VALUE) return FfReturnUnreadable(handle, findData, folder, GetLastError());
    bool have = true;
    while (have && FfIsDotEntry(real.cFileName)) have = FindNextFileW(find, &real) != 0;
    if (!have) {
        DWORD error = GetLastError();
        FindClose(find);
        if (error == ERROR_NO_MORE_FILES) return FfReturnEmptyFolder(handle, folder);
        return FfReturnUnreadable(handle, findData, folder, error);
    }
    handle->state = FF_FIND_REAL;
    handle->realFind = find;
    FfFillRealEntry(findData, &real);
    FfLog(L"FsFindFirst: real pass-through browsing of \"%s\" (first entry \"%s\")", folder,
          real.cFileName);
    return (HANDLE)handle;
}

// FsFindFirst on either road: path is the wide path, or null when the 8-bit one would not widen.
static HANDLE FfFindFirstCore(FfHostPath path, WIN32_FIND_DATAW* findData)
{
    FfFindHandle* handle = (FfFindHandle*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                                    sizeof(FfFindHandle));
    if (!handle) {
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    handle->realFind = INVALID_HANDLE_VALUE;
    ZeroMemory(findData, sizeof(*findData));
    const wchar_t* given = path.wide;
    if (!given || given[0] != L'\\') return FfReturnUnresolved(handle, findData, path);

    if (given[1] == 0) {  // the root
        if (!FfReadListingEntry(0, findData))
            return FfReturnPlaceholder(handle, findData, FF_PLACEHOLDER_EMPTY_A);
        handle->state = 1;
        return (HANDLE)handle;
    }

    wchar_t wide[FF_VIRTUAL_PATH_CHARS];
    // A path that does not fit is not cut: a cut path could name another folder.
    if (lstrlenW(given) > FF_VIRTUAL_PATH_CHARS - 1) return FfReturnUnresolved(handle, findData, path);
    int length = FfCopyText(wide, FF_VIRTUAL_PATH_CHARS, given);
    while (length > 0 && wide[length - 1] == L'\\') wide[--length] = 0;
    if (length < 2) return FfReturnUnresolved(handle, findData, path);

    wchar_t first[FF_PANEL_NAME_CHARS];
    const wchar_t* subPath = nullptr;
    if (!FfSplitVirtualPath(wide, first, &subPath)) return FfReturnUnresolved(handle, findData, path);

    wchar_t folder[FF_PANEL_PATH_CHARS];
    if (!FfResolveListedFolder(first, subPath, folder))
        return FfReturnUnresolved(handle, findData, path);
    return FfStartRealBrowsing(handle, findData, folder);
}

HANDLE __stdcall FsFindFirstW(WCHAR* path, WIN32_FIND_DATAW* findData)
{
    FfLog(L"FsFindFirstW(Path=%s)", path ? path : L"");
    if (!findData) {
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    FfHostPath given = {path, nullptr};
    return FfFindFirstCore(given, findData);
}

HANDLE __stdcall FsFindFirst(char* path, WIN32_FIND_DATAA* findData)
{
    FfLog(L"FsFindFirst(Path=%hs)", path ? path : "");
    if (!findData) {
        SetLastError(ERROR_NO_MORE_FILES);
        return INVALID_HANDLE_VALUE;
    }
    wchar_t wide[FF_VIRTUAL_PATH_CHARS];
    // A path that does not widen whole (too long, or bytes the code page lacks) resolves to nothing.
    FfHostPath given = {FfWidenHostText(path, wide, FF_VIRTUAL_PATH_CHARS) ? wide : nullptr,
                        path ? path : ""};
    WIN32_FIND_DATAW record;
    HANDLE handle = FfFindFirstCore(given, &record);
    if (handle != INVALID_HANDLE_VALUE) FfNarrowFindData(&record, findData);
    return handle;
}

// FsFindNext on either road.
static BOOL FfFindNextCore(HANDLE handleValue, WIN32_FIND_DATAW* findData)
{
    FfFindHandle* handle = (FfFindHandle*)handleValue;
    if (!handle || handleValue == INVALID_HANDLE_VALUE || !findData) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    if (handle->state == FF_FIND_REAL) {
        WIN32_FIND_DATAW real;
        do {
            if (!FindNextFileW(handle->realFind, &real)) {
                SetLastError(ERROR_NO_MORE_FILES);
                return FALSE;
            }
        } while (FfIsDotEntry(real.cFileName));
        ZeroMemory(findData, sizeof(*findData));
        FfFillRealEntry(findData, &real);
        return TRUE;
    }
    if (handle->state < 0) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    WIN32_FIND_DATAW next;
    ZeroMemory(&next, sizeof(next));
    // The listing may shrink between calls: the index is checked again under the lock.
    if (!FfReadListingEntry(handle->state, &next)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = next;
    handle->state++;
    return TRUE;
}

BOOL __stdcall FsFindNextW(HANDLE handle, WIN32_FIND_DATAW* findData)
{
    return FfFindNextCore(handle, findData);
}

BOOL __stdcall FsFindNext(HANDLE handle, WIN32_FIND_DATAA* findData)
{
    if (!findData) return FfFindNextCore(handle, nullptr);
    WIN32_FIND_DATAW record;
    if (!FfFindNextCore(handle, &record)) return FALSE;
    FfNarrowFindData(&record, findData);
    return TRUE;
}

int __stdcall FsFindClose(HANDLE handleValue)
{
    FfFindHandle* handle = (FfFindHandle*)handleValue;
    if (!handle || handleValue == INVALID_HANDLE_VALUE) return 0;
    if (handle->state == FF_FIND_REAL && handle->realFind && handle->realFind != INVALID_HANDLE_VALUE)
        FindClose(handle->realFind);
    HeapFree(GetProcessHeap(), 0, handle);
    return 0;
}
