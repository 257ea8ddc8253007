// Panel bridge: the published listing and the host's plug-in entry points.
#pragma once
#include <windows.h>
#include "core/core.h"

// ---- The published listing -------------------------------------------------------------

#define FF_PANEL_LISTING_MAX 500
#define FF_PANEL_NAME_CHARS 300      // entry names: at most 299 characters and a terminator
#define FF_PANEL_PATH_CHARS 2048     // real paths: at most 2047 characters and a terminator
#define FF_VIRTUAL_PATH_CHARS (FF_PANEL_NAME_CHARS + FF_PANEL_PATH_CHARS)  // "\entry\sub" at most
#define FF_LONG_PATH_CHARS (FF_PANEL_PATH_CHARS + 8)  // a real path in its "\\?\UNC\" form

// One item of the plug-in's virtual folder.
struct FfPanelEntry {
    wchar_t name[FF_PANEL_NAME_CHARS];      // shown by the host; unique under ASCII folding
    wchar_t realPath[FF_PANEL_PATH_CHARS];  // the file or folder on disk
    unsigned long long size;                // bytes
    unsigned long long modified;            // file time, 100-ns ticks since 1601
    int isFolder;                           // nonzero for a folder
};

// Entries 0..g_panelListingCount-1, in publishing order; guarded by g_listingLock (core.h).
extern FfPanelEntry g_panelListing[FF_PANEL_LISTING_MAX];
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

// ---- Unique names (plain functions, no lock taken: the caller holds g_listingLock) ----

#define FF_NAME_SLOTS 1024  // open-addressing slots; at least twice FF_PANEL_LISTING_MAX

// Index over a listing's names plus, per base name, the first number not yet known to be
// taken, so a run of colliding names costs no rescan per number tried. Valid while the
// listing it was built over only grows; rebuild it after anything is removed.
struct FfNameIndex {
    const FfPanelEntry* entries;             // the listing indexed
    short nameSlot[FF_NAME_SLOTS];           // entry index + 1 by name, 0 for an empty slot
    short pathSlot[FF_NAME_SLOTS];           // entry index + 1 by real path
    const wchar_t* hintBase[FF_NAME_SLOTS];  // base names seen (caller keeps them alive)
    int hintNext[FF_NAME_SLOTS];             // next number worth trying for that base
    int hintCount;
};

// The name tried for number k: k == 1 is the base cut to 299 characters; otherwise
// "stem (k).ext" when the base has a dot after its first character, else "base (k)".
// Names over 299 characters lose text before the " (k)" (then from the extension's end),
// so every k gives a different name. Returns the length written.
int FfBuildNumberedName(const wchar_t* baseName, int k, wchar_t* name, int nameCap);
// Indexes entries 0..count-1 of the listing and forgets every base-name hint.
void FfNameIndexReset(FfNameIndex* index, const FfPanelEntry* entries, int count);
// Adds entry entryIndex (already filled) to the index.
void FfNameIndexAdd(FfNameIndex* index, int entryIndex);
// True when some indexed entry's name equals name (ASCII letters folded).
bool FfNameIndexContains(const FfNameIndex* index, const wchar_t* name);
// True when some indexed entry's realPath equals path (ASCII letters folded).
bool FfNameIndexContainsPath(const FfNameIndex* index, const wchar_t* path);
// Writes into name (FF_PANEL_NAME_CHARS) the first free name for baseName under the
// numbering rule above; baseName must stay alive until the index is reset. Returns the
// number used (1: the base name itself).
int FfMakeUniqueEntryName(FfNameIndex* index, const wchar_t* baseName, wchar_t* name, int nameCap);

// Name equality of this subsystem: the ASCII letters A-Z fold, every other character must
// match exactly. Inline loop: the runtime's locale-aware call costs ten times as much.
bool FfEqualNameI(const wchar_t* a, const wchar_t* b);

// ---- Lookups behind the host's calls -------------------------------------------------------

// Copies out, under g_listingLock, the first entry named name (ASCII letters folded), among the
// folders only when foldersOnly. False when there is none.
bool FfFindListedEntry(const wchar_t* name, bool foldersOnly, FfPanelEntry* entry);
// Splits "\entry[\sub]" into the entry's name (first, FF_PANEL_NAME_CHARS) and the sub path
// after it (null when there is none). False for a path without the leading backslash, an empty
// or over-long entry name, or a sub path with a "." or ".." component or an unsafe character.
bool FfSplitVirtualPath(const wchar_t* virtualPath, wchar_t* first, const wchar_t** subPath);

// Wide cores of the lookups; the 8-bit forms below widen and call them.
bool FfLookupPanelEntryByNameW(const wchar_t* fileName, FfPanelEntry* entry);
bool FfResolveVirtualPathW(const wchar_t* virtualPath, wchar_t* realPath, int* isFolder);
// The Path field of an item: a virtual path ("\\entry[\\sub]") resolves whole, anything else by
// its last component. False when nothing is found.
bool FfLookupItemRealPathW(const wchar_t* fileName, wchar_t* realPath);
// Widens a host's 8-bit text (ANSI code page) into out; false, and nothing looked up, when it
// does not fit or is not valid in the code page.
bool FfWidenHostText(const char* text, wchar_t* out, int outCap);

// Removes the first listing entry whose real path equals realPath (ASCII letters folded),
// keeping the others' order; takes g_listingLock and neither logs nor sends anything.
void FfRemoveListedPath(const wchar_t* realPath);

// Finds the entry named like the last component of an 8-bit (ANSI) file name, ASCII case
// folded, and copies it out whole. False when none.
bool FfLookupPanelEntryByName(const char* fileName, FfPanelEntry* entry);
// Turns "\\entry" or "\\folderEntry\\sub\\path" (8-bit, ANSI) into the real path on disk
// (realPath holds FF_PANEL_PATH_CHARS). A sub path with a "." or ".." component, or a
// result that would not fit, resolves to nothing.
bool FfResolveVirtualPath(const char* virtualPath, wchar_t* realPath, int* isFolder);
// Narrows a name to the ANSI code page into out (outCap bytes), cut before a character that
// would not fit whole. No best fit: a character the code page lacks becomes its default
// character, never a look-alike that could name another entry's file.
int FfNarrowName(const wchar_t* name, char* out, int outCap);
// Copies a wide name cut to cap - 1 characters, never between the halves of a surrogate pair.
int FfCopyWholeChars(wchar_t* dst, int cap, const wchar_t* src);
// The form of a full path the system's file calls take at any length: "\\?\X:\..." or
// "\\?\UNC\server\..." once it nears the classic limit, the path itself otherwise. out holds
// FF_LONG_PATH_CHARS; a path too long for it leaves it empty, so the call fails.
void FfLongPathForm(const wchar_t* path, wchar_t* out);
// GetFileAttributesW of a full path of any length.
DWORD FfGetAttributesLong(const wchar_t* path);
// True when a path (either separator) holds a component of dots and blanks only, which the
// system treats as "." or "..".
bool FfPathHasDotComponent(const wchar_t* path);
// True when a path holds a wildcard, a stream colon or a control character: no real name
// below a published folder does, and "?" is what a name the code page lacks comes back as.
bool FfPathHasUnsafeChar(const wchar_t* path);

#define FF_PLACEHOLDER_EMPTY_A FF_PRODUCT_NAME_A " is active.txt"
#define FF_PLACEHOLDER_UNRESOLVED_A \
    "This folder could not be opened - go back to the root and re-run your search.txt"

// Set once a content value has been asked for; until then the field functions log each call.
extern volatile LONG g_contentCallLogged;

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
