// The bridge's own workings behind its entry points: unique names, lookups under the lock, the
// conversions and checks of host paths. Only the bridge's files (and its tests) include this.
#pragma once
#include "bridge/bridge.h"

// ---- The listing's storage (no lock taken: the caller holds g_listingLock) ----------------

// Adds an entry at the end, its texts copied (name cut to 299, real path to 2047 characters)
// and indexed by name and by real path. False when the listing is full or memory ran out.
bool FfListingAddEntry(const wchar_t* name, const wchar_t* realPath, unsigned long long size,
                       unsigned long long modified, int isFolder);
// The same for a name already within 299 characters whose FfHashFolded is known; a length
// below 0 is measured here.
bool FfListingAddNamed(const wchar_t* name, unsigned nameHash, int nameLength, const wchar_t* realPath,
                       int pathLength, unsigned long long size, unsigned long long modified, int isFolder);
// Makes room for entries entries at once, so a large publish grows nothing entry by entry.
// False without memory (adding then grows as it goes).
bool FfListingReserve(int entries);
// Empties the listing and gives all its memory back.
void FfListingClear(void);
// Empties the listing for a new one of about `entries` entries: the memory stays when it is
// the size that one needs, else it all goes back.
void FfListingReplace(int entries);
// The first entry (lowest index) named name, ASCII letters folded, among the folders only when
// foldersOnly; -1 when none.
int FfListingFindName(const wchar_t* name, bool foldersOnly);
// FfListingFindName over all entries for a name whose FfHashFolded is known.
int FfListingFindNameHashed(const wchar_t* name, unsigned hash);
// The hash both indexes use: FNV-1a over the text with the ASCII letters folded.
unsigned FfHashFolded(const wchar_t* text);
// FfHashFolded in steps, for a text hashed in parts: the start, then one step per character.
#define FF_HASH_FOLDED_START 2166136261u
inline unsigned FfHashFoldedStep(unsigned hash, wchar_t c)
{
    return (hash ^ (unsigned)((c >= L'A' && c <= L'Z') ? c + (L'a' - L'A') : c)) * 16777619u;
}
// The first entry whose real path equals path, ASCII letters folded; -1 when none.
int FfListingFindPath(const wchar_t* path);
// Removes entry index, keeping the others' order.
void FfListingRemoveAt(int index);
// Heap bytes the listing holds (entries, indexes and texts).
SIZE_T FfListingBytes(void);

// ---- Unique names ---------------------------------------------------------------------------

// Per base name (ASCII folded), the next number worth trying, so a run of colliding names finds
// its free number at once. Valid for one publish: the listing only grows meanwhile.
struct FfNameHint {
    const wchar_t* base;  // null for a free slot (the caller keeps the base names alive)
    int baseLength;
    unsigned hash;        // FfHashFolded of the base
    int next;             // the numbers below it are all listed
};
struct FfNameHints {
    FfNameHint* slot;  // grown as base names come; null until the first (or without memory)
    int slots;         // a power of two
    int count;
};
// Starts empty; without memory later the hints are simply not used.
void FfNameHintsInit(FfNameHints* hints);
void FfNameHintsFree(FfNameHints* hints);

// The name tried for number k: k == 1 is the base cut to 299 characters; otherwise
// "stem (k).ext" when the base has a dot after its first character, else "base (k)".
// Names over 299 characters lose text before the " (k)" (then from the extension's end),
// so every k gives a different name. Returns the length written.
int FfBuildNumberedName(const wchar_t* baseName, int k, wchar_t* name, int nameCap);
// Writes into name (FF_PANEL_NAME_CHARS) the first name for baseName (baseLength characters,
// below 0 to measure) under the numbering rule above that no listed entry has, and counts it
// as taken in hints (may be null): the caller lists it or stops publishing. baseName must stay
// alive while the hints are used. *nameHash receives the name's FfHashFolded. Returns the
// name's length.
int FfMakeUniqueEntryName(FfNameHints* hints, const wchar_t* baseName, int baseLength, wchar_t* name,
                          unsigned* nameHash);

// Name equality of this subsystem: the ASCII letters A-Z fold, every other character must
// match exactly. Inline loop: the runtime's locale-aware call costs ten times as much.
bool FfEqualNameI(const wchar_t* a, const wchar_t* b);

// ---- Lookups behind the host's calls -------------------------------------------------------

// Copies out, under g_listingLock, the first entry named name (ASCII letters folded), among the
// folders only when foldersOnly. False when there is none.
bool FfFindListedEntry(const wchar_t* name, bool foldersOnly, FfFoundEntry* entry);
// Splits "\entry[\sub]" into the entry's name (first, FF_PANEL_NAME_CHARS) and the sub path
// after it (null when there is none). False for a path without the leading backslash, an empty
// or over-long entry name, or a sub path with a "." or ".." component or an unsafe character.
bool FfSplitVirtualPath(const wchar_t* virtualPath, wchar_t* first, const wchar_t** subPath);

// Wide cores of the lookups; the 8-bit forms below widen and call them.
bool FfLookupPanelEntryByNameW(const wchar_t* fileName, FfFoundEntry* entry);
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
bool FfLookupPanelEntryByName(const char* fileName, FfFoundEntry* entry);
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
