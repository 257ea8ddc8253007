// Turning a virtual path back into the real one, and the host's copy, open and delete calls.
#include "bridge/bridge.h"

#include <shellapi.h>
#include <string.h>

#include "core/core.h"
#include "core/text.h"

#define FF_WIDE_PATH_CHARS 900  // a virtual path from the host, widened

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

bool FfResolveVirtualPath(const char* virtualPath, wchar_t* realPath, int* isFolder)
{
    if (!realPath) return false;
    realPath[0] = 0;
    if (isFolder) *isFolder = 0;
    if (!virtualPath || virtualPath[0] != '\\') return false;
    wchar_t wide[FF_WIDE_PATH_CHARS];
    if (MultiByteToWideChar(CP_ACP, 0, virtualPath, -1, wide, FF_WIDE_PATH_CHARS) <= 0)
        return false;  // too long: a cut path could name another file

    const wchar_t* rest = wide + 1;
    const wchar_t* slash = rest;
    while (*slash && *slash != L'\\') ++slash;
    wchar_t name[FF_PANEL_NAME_CHARS];
    FfCopyTextN(name, FF_PANEL_NAME_CHARS, rest, (int)(slash - rest));
    if (!name[0]) return false;
    const wchar_t* subPath = *slash ? slash + 1 : nullptr;
    if (subPath && FfPathHasDotComponent(subPath)) return false;

    wchar_t entryPath[FF_PANEL_PATH_CHARS];
    int entryIsFolder = 0;
    bool found = false;
    EnterCriticalSection(&g_listingLock);
    int count = g_panelListingCount < FF_PANEL_LISTING_MAX ? g_panelListingCount
                                                           : FF_PANEL_LISTING_MAX;
    for (int i = 0; i < count; ++i) {
        const FfPanelEntry* entry = &g_panelListing[i];
        if (subPath && !entry->isFolder) continue;
        if (FfEqualNameI(entry->name, name)) {
            FfCopyText(entryPath, FF_PANEL_PATH_CHARS, entry->realPath);
            entryIsFolder = entry->isFolder;
            found = true;
            break;
        }
    }
    LeaveCriticalSection(&g_listingLock);
    if (!found) return false;

    if (!subPath) {
        FfCopyText(realPath, FF_PANEL_PATH_CHARS, entryPath);
        if (isFolder) *isFolder = entryIsFolder ? 1 : 0;
        return true;
    }
    if (lstrlenW(entryPath) + 1 + lstrlenW(subPath) > FF_PANEL_PATH_CHARS - 1) return false;
    FfFormatText(realPath, FF_PANEL_PATH_CHARS, L"%s\\%s", entryPath, subPath);
    DWORD attributes = GetFileAttributesW(realPath);
    if (isFolder)
        *isFolder = (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                        ? 1
                        : 0;
    return true;
}

int __stdcall FsGetFile(char* remoteName, char* localName, int copyFlags, void*)
{
    FfLog(L"FsGetFile(RemoteName=%hs, LocalName=%hs, CopyFlags=%d)", remoteName ? remoteName : "",
          localName ? localName : "", copyFlags);
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    if (!FfResolveVirtualPath(remoteName, realPath, &isFolder)) {
        FfLog(L"FsGetFile: could not resolve %hs back to a real source path.",
              remoteName ? remoteName : "");
        return FF_FS_FILE_NOT_FOUND;
    }
    if (isFolder) return FF_FS_FILE_NOT_SUPPORTED;
    wchar_t target[FF_PANEL_PATH_CHARS];
    target[0] = 0;
    BOOL copied = FALSE;
    if (localName && localName[0] &&
        MultiByteToWideChar(CP_ACP, 0, localName, -1, target, FF_PANEL_PATH_CHARS) > 0) {
        copied = CopyFileW(realPath, target, (copyFlags & FF_FS_COPY_OVERWRITE) ? FALSE : TRUE);
    } else {
        // A missing or over-long target is never cut into some other file's name.
        SetLastError(localName && localName[0] ? ERROR_FILENAME_EXCED_RANGE : ERROR_PATH_NOT_FOUND);
    }
    if (!copied) {
        FfLog(L"FsGetFile: CopyFileW failed, GetLastError=%lu", GetLastError());
        return FF_FS_FILE_READ_ERROR;
    }
    return FF_FS_FILE_OK;
}

int __stdcall FsExecuteFile(HWND mainWindow, char* remoteName, char* verb)
{
    FfLog(L"FsExecuteFile(RemoteName=%hs, Verb=%hs)", remoteName ? remoteName : "",
          verb ? verb : "");
    if (!verb) return FF_FS_EXEC_YOURSELF;
    // Exact bytes: the system's own compare would fold or ignore some characters.
    bool open = strcmp(verb, "open") == 0;
    bool properties = strcmp(verb, "properties") == 0;
    if (!open && !properties) return FF_FS_EXEC_YOURSELF;
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    if (!FfResolveVirtualPath(remoteName, realPath, &isFolder)) {
        FfLog(L"FsExecuteFile: could not resolve %hs back to a real source path.",
              remoteName ? remoteName : "");
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

// Removes the first entry whose real path equals realPath, keeping the others' order.
static void FfRemoveListedPath(const wchar_t* realPath)
{
    EnterCriticalSection(&g_listingLock);
    int count = g_panelListingCount < FF_PANEL_LISTING_MAX ? g_panelListingCount
                                                           : FF_PANEL_LISTING_MAX;
    for (int i = 0; i < count; ++i) {
        if (!FfEqualNameI(g_panelListing[i].realPath, realPath)) continue;
        MoveMemory(&g_panelListing[i], &g_panelListing[i + 1],
                   (SIZE_T)(count - 1 - i) * sizeof(FfPanelEntry));
        g_panelListingCount = count - 1;
        break;
    }
    LeaveCriticalSection(&g_listingLock);
}

BOOL __stdcall FsDeleteFile(char* remoteName)
{
    if (!g_settings.allowDelete) {
        FfLog(L"FsDeleteFile(RemoteName=%hs) - refused: AllowDelete=N in Fleetfinder.cfg "
              L"(default). The real source file is never touched by this plugin unless "
              L"AllowDelete=Y is set.",
              remoteName ? remoteName : "");
        return FALSE;
    }
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    int isFolder = 0;
    if (!FfResolveVirtualPath(remoteName, realPath, &isFolder)) {
        FfLog(L"FsDeleteFile: could not resolve %hs back to a real source path.",
              remoteName ? remoteName : "");
        return FALSE;
    }
    // The flag of a listed entry comes from the engine; ask the disk as well, so a folder
    // is never handed to the delete call whatever the listing says.
    DWORD attributes = GetFileAttributesW(realPath);
    if (isFolder || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        FfLog(L"FsDeleteFile: refused - %hs resolved to a folder, not a file (folders are never "
              L"deleted here).",
              remoteName);
        return FALSE;
    }
    if (!DeleteFileW(realPath)) {
        FfLog(L"FsDeleteFile: DeleteFileW failed for %s, GetLastError=%lu", realPath, GetLastError());
        return FALSE;
    }
    FfRemoveListedPath(realPath);
    FfLog(L"FsDeleteFile: deleted real source file %s (AllowDelete=Y).", realPath);
    return TRUE;
}
