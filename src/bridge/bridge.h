// Panel bridge: the published listing and the host's plug-in entry points.
#pragma once
#include <windows.h>
#include "core/core.h"

// ---- The published listing -------------------------------------------------------------

#define FF_PANEL_LISTING_MAX 100000  // entries the listing holds at most
#define FF_PANEL_NAME_CHARS 300      // entry names: at most 299 characters and a terminator
#define FF_PANEL_PATH_CHARS 2048     // real paths: at most 2047 characters and a terminator
#define FF_VIRTUAL_PATH_CHARS (FF_PANEL_NAME_CHARS + FF_PANEL_PATH_CHARS)  // "\entry\sub" at most
#define FF_LONG_PATH_CHARS (FF_PANEL_PATH_CHARS + 8)  // a real path in its "\\?\UNC\" form

// One item of the plug-in's virtual folder. Its texts live in the listing's text pool and go
// with it: read them only under g_listingLock.
struct FfPanelEntry {
    const wchar_t* name;          // shown by the host (at most 299 characters); unique under
                                  // ASCII folding
    const wchar_t* realPath;      // the file or folder on disk (at most 2047 characters)
    unsigned long long size;      // bytes
    unsigned long long modified;  // file time, 100-ns ticks since 1601
    int isFolder;                 // nonzero for a folder
};

// An entry copied out of the listing, to be used after the lock is left.
struct FfFoundEntry {
    wchar_t name[FF_PANEL_NAME_CHARS];
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    unsigned long long size;
    unsigned long long modified;
    int isFolder;
};

// Entries 0..g_panelListingCount-1, in publishing order, on the heap (grown as needed, freed
// when the listing is replaced); guarded by g_listingLock (core.h).
extern FfPanelEntry* g_panelListing;
extern int g_panelListingCount;

// 1 once the host started the plug-in through its 8-bit FsInit: it knows our names only narrowed.
extern volatile LONG g_hostListsNarrowNames;

// Publishes the selected results (selection == nullptr: all of them) into the listing,
// replacing it unless append. Writes into target (targetCap characters; FF_VIRTUAL_PATH_CHARS
// hold any) the virtual path the host should show: the first new entry when appending, else
// entry 0; empty when the listing is empty. Returns the listing's count, or -1 (nothing done)
// without results.
int FfPublishToListing(const int* selection, int selectionCount, bool append, wchar_t* target,
                       int targetCap);

// ---- About box --------------------------------------------------------------------------

#define FF_ABOUT_OWNER FF_PRODUCT_NAME L" contributors"
// Version shown by the about box (wide text); CMake passes the real one.
#ifndef FF_VERSION_TEXT
#define FF_VERSION_TEXT L"1.2"
#endif
// Name, version, build stamp and the ownership notice of the year given.
void FfBuildAboutText(wchar_t* buffer, int capacity, int year);
// The modal about box (information icon, title "Fleetfinder") owned by owner.
void FfShowAboutBox(HWND owner);

// ---- Host entry points (exported under plain and decorated names) -------------------------

// The host hands FsInit (FsInitW: their wide kinds) three callbacks; the plug-in neither
// stores nor calls them.
typedef void* FfHostCallback;

// Results of FsGetFile.
#define FF_FS_FILE_OK 0
#define FF_FS_FILE_EXISTS 1         // the target exists: the host asks, then calls with overwrite
#define FF_FS_FILE_NOT_FOUND 2
#define FF_FS_FILE_READ_ERROR 3
#define FF_FS_FILE_WRITE_ERROR 4
#define FF_FS_FILE_NOT_SUPPORTED 6
#define FF_FS_COPY_OVERWRITE 1  // copy flag bits: the target may be overwritten,
#define FF_FS_COPY_RESUME 2     // the rest of a partial target is asked for,
#define FF_FS_COPY_MOVE 4       // the source goes once copied
// Results of FsExecuteFile.
#define FF_FS_EXEC_OK 0
#define FF_FS_EXEC_ERROR 1
#define FF_FS_EXEC_YOURSELF (-1)
// Content field types and results.
#define FF_FIELD_TYPE_NONE 0
#define FF_FIELD_TYPE_STRING 8
#define FF_FIELD_TYPE_WIDE_STRING 11  // the host's UTF-16 string, from the wide value calls
#define FF_FIELD_NO_SUCH_FIELD (-1)

extern "C" {
int __stdcall FsInit(int pluginNr, FfHostCallback progress, FfHostCallback log,
                     FfHostCallback request);
void __stdcall FsGetDefRootName(char* name, int maxLen);
HANDLE __stdcall FsFindFirst(char* path, WIN32_FIND_DATAA* findData);
BOOL __stdcall FsFindNext(HANDLE handle, WIN32_FIND_DATAA* findData);
int __stdcall FsFindClose(HANDLE handle);
int __stdcall FsGetFile(char* remoteName, char* localName, int copyFlags, void* remoteInfo);
int __stdcall FsExecuteFile(HWND mainWindow, char* remoteName, char* verb);
BOOL __stdcall FsDeleteFile(char* remoteName);
int __stdcall FsContentGetSupportedField(int fieldIndex, char* fieldName, char* units, int maxLen);
int __stdcall FsContentGetValue(char* fileName, int fieldIndex, int unitIndex, void* fieldValue,
                                int maxLen, int flags);
void __stdcall ContentGetDetectString(char* detectString, int maxLen);
int __stdcall ContentGetSupportedField(int fieldIndex, char* fieldName, char* units, int maxLen);
int __stdcall ContentGetValue(char* fileName, int fieldIndex, int unitIndex, void* fieldValue,
                              int maxLen, int flags);
// The Unicode twins, which a host that has them calls instead of the 8-bit ones. The value calls
// take maxLen in bytes and return text fields as type 11.
int __stdcall FsInitW(int pluginNr, FfHostCallback progress, FfHostCallback log,
                      FfHostCallback request);
HANDLE __stdcall FsFindFirstW(WCHAR* path, WIN32_FIND_DATAW* findData);
BOOL __stdcall FsFindNextW(HANDLE handle, WIN32_FIND_DATAW* findData);
int __stdcall FsGetFileW(WCHAR* remoteName, WCHAR* localName, int copyFlags, void* remoteInfo);
int __stdcall FsExecuteFileW(HWND mainWindow, WCHAR* remoteName, WCHAR* verb);
BOOL __stdcall FsDeleteFileW(WCHAR* remoteName);
int __stdcall FsContentGetValueW(WCHAR* fileName, int fieldIndex, int unitIndex, void* fieldValue,
                                 int maxLen, int flags);
int __stdcall ContentGetValueW(WCHAR* fileName, int fieldIndex, int unitIndex, void* fieldValue,
                               int maxLen, int flags);
}
