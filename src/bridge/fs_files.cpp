// Turning a virtual path back into the real one, and the host's copy, open and delete calls.
// Each call is a wide core with a thin 8-bit wrapper for the host's ANSI interface.
#include "bridge/listing_internal.h"

#include <shellapi.h>
#include <wchar.h>

#include "core/core.h"
#include "core/text.h"

#define FF_VERB_CHARS 64  // a verb from the host, widened
#define FF_LONG_PATH_FROM (MAX_PATH - 12)  // the classic limit of a folder, below a file's

bool FfPathHasDotComponent(const wchar_t* path)
{
    if (!path) return false;
    const wchar_t* p = path;
    while (*p) {
        // Either separator counts: the system's file calls accept both.
        int dots = 0, others = 0;
        for (; *p && *p != L'\\' && *p != L'/'; ++p) {
            if (*p == L'.') {
                ++dots;
            } else if (*p != L' ') {
                ++others;
            }
        }
        // The system drops trailing dots and spaces, so ". " or "..." act as "." or "..".
        if (dots > 0 && others == 0) return true;
        if (*p) ++p;
    }
    return false;
}

bool FfPathHasUnsafeChar(const wchar_t* path)
{
    if (!path) return false;
    for (const wchar_t* p = path; *p; ++p) {
        // Wildcards would let one name stand for others ("?" is also the code page's default
        // character of a name the host could not be given); ':' would name a stream.
        if (*p < 32 || wcschr(L"*?<>\"|:", *p)) return true;
    }
    return false;
}

int FfCopyWholeChars(wchar_t* dst, int cap, const wchar_t* src)
{
    int n = FfCopyText(dst, cap, src);
    // A high surrogate cut off from its low half would show as garbage or fail a conversion.
    if (n > 0 && src && src[n] && IS_HIGH_SURROGATE(dst[n - 1])) dst[--n] = 0;
    return n;
}

void FfLongPathForm(const wchar_t* path, wchar_t* out)
{
    out[0] = 0;
    int length = path ? lstrlenW(path) : 0;
    if (length > FF_LONG_PATH_CHARS - 1) return;  // cut, it would name another file: left empty
    bool drive = length >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    bool unc = length >= 3 && path[0] == L'\\' && path[1] == L'\\' && path[2] != L'?' && path[2] != L'.';
    const wchar_t* prefix = drive ? L"\\\\?\\" : L"\\\\?\\UNC\\";
    int skip = drive ? 0 : 2;  // "\\server" becomes "\\?\UNC\server"
    if (length < FF_LONG_PATH_FROM || (!drive && !unc) ||
        lstrlenW(prefix) + length - skip > FF_LONG_PATH_CHARS - 1) {
        FfCopyText(out, FF_LONG_PATH_CHARS, path);
        return;
    }
    FfCopyText(out, FF_LONG_PATH_CHARS, prefix);
    int at = lstrlenW(out);
    // The long form is taken literally: "/" is no separator there.
    for (const wchar_t* p = path + skip; *p; ++p) out[at++] = *p == L'/' ? L'\\' : *p;
    out[at] = 0;
}

DWORD FfGetAttributesLong(const wchar_t* path)
{
    wchar_t longPath[FF_LONG_PATH_CHARS];
    FfLongPathForm(path, longPath);
    return GetFileAttributesW(longPath);
}

bool FfWidenHostText(const char* text, wchar_t* out, int outCap)
{
    if (!out || outCap <= 0) return false;
    out[0] = 0;
    if (!text) return false;
    // Too long is refused, not cut: a cut path could name another file. A byte the code page
    // does not define is refused rather than replaced by a character some name might hold.
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, outCap) > 0) return true;
    out[0] = 0;
    return false;
}

bool FfSplitVirtualPath(const wchar_t* virtualPath, wchar_t* first, const wchar_t** subPath)
{
    first[0] = 0;
    *subPath = nullptr;
    if (!virtualPath || virtualPath[0] != L'\\') return false;
    const wchar_t* rest = virtualPath + 1;
    const wchar_t* slash = rest;
    while (*slash && *slash != L'\\') ++slash;
    // A longer name equals no entry; cut, it could equal another one.
    if (slash == rest || slash - rest > FF_PANEL_NAME_CHARS - 1) return false;
    FfCopyTextN(first, FF_PANEL_NAME_CHARS, rest, (int)(slash - rest));
    const wchar_t* sub = *slash ? slash + 1 : nullptr;
    // "." or ".." below a published folder would leave it: such paths resolve to nothing.
    if (sub && (FfPathHasDotComponent(sub) || FfPathHasUnsafeChar(sub))) {
        first[0] = 0;
        return false;
    }
    *subPath = sub;
    return true;
}

bool FfResolveVirtualPathW(const wchar_t* virtualPath, wchar_t* realPath, int* isFolder)
{
    if (!realPath) return false;
    realPath[0] = 0;
    if (isFolder) *isFolder = 0;
    wchar_t name[FF_PANEL_NAME_CHARS];
    const wchar_t* subPath = nullptr;
    if (!FfSplitVirtualPath(virtualPath, name, &subPath)) return false;
    // Below an entry only a folder can hold anything.
    FfFoundEntry entry;
    if (!FfFindListedEntry(name, subPath != nullptr, &entry)) return false;

    if (!subPath) {
        FfCopyText(realPath, FF_PANEL_PATH_CHARS, entry.realPath);
        if (isFolder) *isFolder = entry.isFolder ? 1 : 0;
        return true;
    }
    if (lstrlenW(entry.realPath) + 1 + lstrlenW(subPath) > FF_PANEL_PATH_CHARS - 1) return false;
    FfFormatText(realPath, FF_PANEL_PATH_CHARS, L"%s\\%s", entry.realPath, subPath);
    DWORD attributes = FfGetAttributesLong(realPath);
    if (isFolder)
        *isFolder = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                        ? 1
                        : 0;
    return true;
}

bool FfResolveVirtualPath(const char* virtualPath, wchar_t* realPath, int* isFolder)
{
    if (realPath) realPath[0] = 0;
    if (isFolder) *isFolder = 0;
    wchar_t wide[FF_VIRTUAL_PATH_CHARS];
    if (!FfWidenHostText(virtualPath, wide, FF_VIRTUAL_PATH_CHARS)) return false;
    return FfResolveVirtualPathW(wide, realPath, isFolder);
}

void FfRemoveListedPath(const wchar_t* realPath)
{
    EnterCriticalSection(&g_listingLock);
    int index = FfListingFindPath(realPath);
    if (index >= 0) FfListingRemoveAt(index);
    LeaveCriticalSection(&g_listingLock);
}

// What deleting a resolved item came to.
enum FfDeleteOutcome { FF_DELETE_DONE, FF_DELETE_FOLDER, FF_DELETE_FAILED };

// Deletes a resolved real file and then its listing entry; never a folder. Shared by the
// host's delete and by a move; each caller logs the outcome in its own words.
static FfDeleteOutcome FfDeleteResolvedFile(const wchar_t* realPath, int isFolder, DWORD* error)
{
    *error = 0;
    // The flag of a listed entry comes from the engine; ask the disk as well, so a folder
    // is never handed to the delete call whatever the listing says.
    DWORD attributes = FfGetAttributesLong(realPath);
    if (isFolder || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)))
        return FF_DELETE_FOLDER;
    wchar_t longPath[FF_LONG_PATH_CHARS];
    FfLongPathForm(realPath, longPath);
    if (!DeleteFileW(longPath)) {
        *error = GetLastError();
        return FF_DELETE_FAILED;
    }
    FfRemoveListedPath(realPath);
    return FF_DELETE_DONE;
}

static bool FfIsMissingError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// True when both paths name one existing file (links, short names and case included).
static bool FfSameFile(const wchar_t* a, const wchar_t* b)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    wchar_t longA[FF_LONG_PATH_CHARS], longB[FF_LONG_PATH_CHARS];
    FfLongPathForm(a, longA);
    FfLongPathForm(b, longB);
    HANDLE fa = CreateFileW(longA, 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (fa == INVALID_HANDLE_VALUE) return false;
    HANDLE fb = CreateFileW(longB, 0, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    bool same = false;
    if (fb != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION ia, ib;
        if (GetFileInformationByHandle(fa, &ia) && GetFileInformationByHandle(fb, &ib))
            same = ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
                   ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
        CloseHandle(fb);
    }
    CloseHandle(fa);
    return same;
}

// After a failed copy: which side failed. A source that can still be opened for reading puts
// the fault on the target (write error); otherwise the source is missing or unreadable.
static int FfClassifyCopyFailure(const wchar_t* source)
{
    wchar_t longSource[FF_LONG_PATH_CHARS];
    FfLongPathForm(source, longSource);
    HANDLE file = CreateFileW(longSource, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return FF_FS_FILE_WRITE_ERROR;
    }
    return FfIsMissingError(GetLastError()) ? FF_FS_FILE_NOT_FOUND : FF_FS_FILE_READ_ERROR;
}

// The copy protocol: without the overwrite bit an existing target is "exists" and the host asks
// the user before calling again with it; a move deletes the real source once copied.
static int FfGetFileW(const wchar_t* remoteName, const wchar_t* localName, int copyFlags)
{
    bool move = (copyFlags & FF_FS_COPY_MOVE) != 0;
    if (move && !g_settings.allowDelete) {
        FfLog(L"FsGetFile: move of %s refused - AllowDelete=N in Fleetfinder.cfg (default); "
              L"nothing copied, the host may copy instead.",
              remoteName);
        return FF_FS_FILE_NOT_SUPPORTED;
    }
    if (copyFlags & FF_FS_COPY_RESUME) {
        // Never offered (no partial target is ever reported), so never done.
        FfLog(L"FsGetFile: resuming %s is not supported.", remoteName);
        return FF_FS_FILE_NOT_SUPPORTED;
    }
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    if (!FfResolveVirtualPathW(remoteName, realPath, &isFolder)) {
        FfLog(L"FsGetFile: could not resolve %s back to a real source path.", remoteName);
        return FF_FS_FILE_NOT_FOUND;
    }
    if (isFolder) return FF_FS_FILE_NOT_SUPPORTED;
    // A target too long to hold is never cut into another file's name.
    if (!localName || !localName[0] || lstrlenW(localName) > FF_PANEL_PATH_CHARS - 1) {
        FfLog(L"FsGetFile: no local target name for %s.", realPath);
        return FF_FS_FILE_WRITE_ERROR;
    }
    // Copying a file onto itself would empty it (and a move would then delete it).
    if (FfSameFile(realPath, localName)) {
        FfLog(L"FsGetFile: target %s is the source file itself - not copied.", localName);
        return FF_FS_FILE_WRITE_ERROR;
    }
    bool overwrite = (copyFlags & FF_FS_COPY_OVERWRITE) != 0;
    wchar_t longSource[FF_LONG_PATH_CHARS], longTarget[FF_LONG_PATH_CHARS];
    FfLongPathForm(realPath, longSource);
    FfLongPathForm(localName, longTarget);
    if (!CopyFileW(longSource, longTarget, overwrite ? FALSE : TRUE)) {
        DWORD error = GetLastError();
        FfLog(L"FsGetFile: CopyFileW failed, GetLastError=%lu", error);
        if (!overwrite && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) &&
            FfPathExists(longTarget))
            return FF_FS_FILE_EXISTS;
        return FfClassifyCopyFailure(realPath);
    }
    if (!move) return FF_FS_FILE_OK;
    DWORD error = 0;
    FfDeleteOutcome outcome = FfDeleteResolvedFile(realPath, isFolder, &error);
    if (outcome != FF_DELETE_DONE) {
        // Reported as a failure so the host keeps showing the source, which is still there;
        // the copy stays, it is whole.
        FfLog(L"FsGetFile: copied, but the move's delete FAILED for %s, GetLastError=%lu - "
              L"the source stays.",
              realPath, error);
        return FF_FS_FILE_READ_ERROR;
    }
    FfLog(L"FsGetFile: moved real source file %s to %s (AllowDelete=Y).", realPath, localName);
    return FF_FS_FILE_OK;
}

int __stdcall FsGetFile(char* remoteName, char* localName, int copyFlags, void*)
{
    FfLog(L"FsGetFile(RemoteName=%hs, LocalName=%hs, CopyFlags=%d)", remoteName ? remoteName : "",
          localName ? localName : "", copyFlags);
    wchar_t remote[FF_VIRTUAL_PATH_CHARS];
    if (!FfWidenHostText(remoteName, remote, FF_VIRTUAL_PATH_CHARS)) {
        FfLog(L"FsGetFile: could not resolve %hs back to a real source path.",
              remoteName ? remoteName : "");
        return FF_FS_FILE_NOT_FOUND;
    }
    wchar_t local[FF_PANEL_PATH_CHARS];
    // A target that cannot be widened whole is left empty: never cut into another file's name.
    FfWidenHostText(localName, local, FF_PANEL_PATH_CHARS);
    return FfGetFileW(remote, local, copyFlags);
}

// Opens an item or shows its properties; properties of the root show the about box.
static int FfExecuteFileW(HWND mainWindow, const wchar_t* remoteName, const wchar_t* verb)
{
    // The host spells its verbs in lower case; any ASCII case is taken. Other verbs (a
    // "quote ..." or "chmod ..." command line) are the host's own business.
    bool open = FfEqualNameI(verb, L"open");
    bool properties = FfEqualNameI(verb, L"properties");
    if (!open && !properties) return FF_FS_EXEC_YOURSELF;
    if (properties && lstrcmpW(remoteName, L"\\") == 0) {
        FfLog(L"FsExecuteFile: properties of the root - showing the about box.");
        FfShowAboutBox(mainWindow);
        return FF_FS_EXEC_OK;
    }
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    if (!FfResolveVirtualPathW(remoteName, realPath, &isFolder)) {
        FfLog(L"FsExecuteFile: could not resolve %s back to a real source path.", remoteName);
        return FF_FS_EXEC_ERROR;
    }
    if (open) {
        HINSTANCE result = ShellExecuteW(mainWindow, isFolder ? L"open" : nullptr, realPath,
                                         nullptr, nullptr, SW_SHOWNORMAL);
        if ((INT_PTR)result > 32) return FF_FS_EXEC_OK;
        FfLog(L"FsExecuteFile: ShellExecuteW failed, code=%Id", (INT_PTR)result);
        return FF_FS_EXEC_ERROR;
    }
    SHELLEXECUTEINFOW request;
    ZeroMemory(&request, sizeof(request));
    request.cbSize = sizeof(request);
    request.fMask = SEE_MASK_INVOKEIDLIST;
    request.hwnd = mainWindow;
    request.lpVerb = L"properties";
    request.lpFile = realPath;
    request.nShow = SW_SHOW;
    if (ShellExecuteExW(&request)) return FF_FS_EXEC_OK;
    FfLog(L"FsExecuteFile: properties ShellExecuteExW failed, GetLastError=%lu", GetLastError());
    return FF_FS_EXEC_ERROR;
}

int __stdcall FsExecuteFile(HWND mainWindow, char* remoteName, char* verb)
{
    FfLog(L"FsExecuteFile(RemoteName=%hs, Verb=%hs)", remoteName ? remoteName : "",
          verb ? verb : "");
    wchar_t wideVerb[FF_VERB_CHARS];
    // A verb too long to be one of the two is the host's.
    if (!FfWidenHostText(verb, wideVerb, FF_VERB_CHARS)) return FF_FS_EXEC_YOURSELF;
    wchar_t remote[FF_VIRTUAL_PATH_CHARS];
    if (!FfWidenHostText(remoteName, remote, FF_VIRTUAL_PATH_CHARS) &&
        (FfEqualNameI(wideVerb, L"open") || FfEqualNameI(wideVerb, L"properties"))) {
        FfLog(L"FsExecuteFile: could not resolve %hs back to a real source path.",
              remoteName ? remoteName : "");
        return FF_FS_EXEC_ERROR;
    }
    return FfExecuteFileW(mainWindow, remote, wideVerb);
}

static BOOL FfDeleteFileW(const wchar_t* remoteName)
{
    if (!g_settings.allowDelete) {
        FfLog(L"FsDeleteFile(RemoteName=%s) - refused: AllowDelete=N in Fleetfinder.cfg "
              L"(default). The real source file is never touched by this plugin unless "
              L"AllowDelete=Y is set.",
              remoteName);
        return FALSE;
    }
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    if (!FfResolveVirtualPathW(remoteName, realPath, &isFolder)) {
        FfLog(L"FsDeleteFile: could not resolve %s back to a real source path.", remoteName);
        return FALSE;
    }
    DWORD error = 0;
    switch (FfDeleteResolvedFile(realPath, isFolder, &error)) {
    case FF_DELETE_FOLDER:
        FfLog(L"FsDeleteFile: refused - %s resolved to a folder, not a file (folders are never "
              L"deleted here).",
              remoteName);
        return FALSE;
    case FF_DELETE_FAILED:
        FfLog(L"FsDeleteFile: DeleteFileW failed for %s, GetLastError=%lu", realPath, error);
        return FALSE;
    default:
        FfLog(L"FsDeleteFile: deleted real source file %s (AllowDelete=Y).", realPath);
        return TRUE;
    }
}

BOOL __stdcall FsDeleteFile(char* remoteName)
{
    wchar_t remote[FF_VIRTUAL_PATH_CHARS];
    if (FfWidenHostText(remoteName, remote, FF_VIRTUAL_PATH_CHARS) || !g_settings.allowDelete)
        return FfDeleteFileW(remote);  // a name that did not widen is refused as it is
    FfLog(L"FsDeleteFile: could not resolve %hs back to a real source path.",
          remoteName ? remoteName : "");
    return FALSE;
}

int __stdcall FsGetFileW(WCHAR* remoteName, WCHAR* localName, int copyFlags, void*)
{
    const wchar_t* remote = remoteName ? remoteName : L"";
    FfLog(L"FsGetFileW(RemoteName=%s, LocalName=%s, CopyFlags=%d)", remote,
          localName ? localName : L"", copyFlags);
    return FfGetFileW(remote, localName, copyFlags);
}

int __stdcall FsExecuteFileW(HWND mainWindow, WCHAR* remoteName, WCHAR* verb)
{
    const wchar_t* remote = remoteName ? remoteName : L"";
    FfLog(L"FsExecuteFileW(RemoteName=%s, Verb=%s)", remote, verb ? verb : L"");
    return FfExecuteFileW(mainWindow, remote, verb);
}

BOOL __stdcall FsDeleteFileW(WCHAR* remoteName)
{
    return FfDeleteFileW(remoteName ? remoteName : L"");
}
