// The published listing: unique entry names and publishing results into the virtual folder.
#include "bridge/listing_internal.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"

FfPanelEntry g_panelListing[FF_PANEL_LISTING_MAX];
int g_panelListingCount = 0;

// Rebuilt per publish; static because publishing allocates nothing and the record is large.
static FfNameIndex g_publishIndex;

#define FF_NAME_LIMIT (FF_PANEL_NAME_CHARS - 1)  // 299
#define FF_STEM_LIMIT 280                         // text kept before " (k)" and the extension

static wchar_t FfFoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? (wchar_t)(c + (L'a' - L'A')) : c;
}

// Hash of the ASCII-folded text, so names equal under folding share a slot chain.
static unsigned FfHashFolded(const wchar_t* text)
{
    unsigned hash = 2166136261u;
    for (; *text; ++text) {
        hash ^= (unsigned)FfFoldAscii(*text);
        hash *= 16777619u;
    }
    return hash;
}

bool FfEqualNameI(const wchar_t* a, const wchar_t* b)
{
    if (!a) a = L"";
    if (!b) b = L"";
    for (;; ++a, ++b) {
        if (*a != *b && FfFoldAscii(*a) != FfFoldAscii(*b)) return false;
        if (!*a) return true;
    }
}

int FfBuildNumberedName(const wchar_t* baseName, int k, wchar_t* name, int nameCap)
{
    if (!name || nameCap <= 0) return 0;
    if (!baseName) baseName = L"";
    wchar_t built[FF_PANEL_NAME_CHARS];
    if (k <= 1) {
        FfCopyText(built, FF_PANEL_NAME_CHARS, baseName);
        return FfCopyText(name, nameCap, built);
    }
    int length = lstrlenW(baseName);
    int lastDot = -1;
    for (int i = 0; i < length; ++i) {
        if (baseName[i] == L'.') lastDot = i;
    }
    wchar_t suffix[24];
    int suffixLength = FfFormatText(suffix, 24, L" (%d)", k);
    int stemLength = length;
    int extensionLength = 0;
    if (lastDot > 0) {  // a leading dot starts no extension
        stemLength = lastDot < FF_STEM_LIMIT ? lastDot : FF_STEM_LIMIT;
        extensionLength = length - lastDot;
    }
    // Too long: give up text before the number first, then the extension's end, so the
    // " (k)" always survives and every k gives a different name (the search then ends).
    int excess = stemLength + suffixLength + extensionLength - FF_NAME_LIMIT;
    if (excess > 0) {
        int fromStem = excess < stemLength ? excess : stemLength;
        stemLength -= fromStem;
        extensionLength -= excess - fromStem;
    }
    int at = FfCopyTextN(built, FF_PANEL_NAME_CHARS, baseName, stemLength);
    at += FfCopyText(built + at, FF_PANEL_NAME_CHARS - at, suffix);
    if (extensionLength > 0)
        FfCopyTextN(built + at, FF_PANEL_NAME_CHARS - at, baseName + lastDot, extensionLength);
    return FfCopyText(name, nameCap, built);
}

void FfNameIndexReset(FfNameIndex* index, const FfPanelEntry* entries, int count)
{
    ZeroMemory(index->nameSlot, sizeof(index->nameSlot));
    ZeroMemory(index->pathSlot, sizeof(index->pathSlot));
    ZeroMemory(index->hintBase, sizeof(index->hintBase));
    index->hintCount = 0;
    index->entries = entries;
    if (count > FF_PANEL_LISTING_MAX) count = FF_PANEL_LISTING_MAX;
    for (int i = 0; i < count; ++i) FfNameIndexAdd(index, i);
}

static void FfInsertSlot(short* slots, unsigned hash, int entryIndex)
{
    unsigned at = hash & (FF_NAME_SLOTS - 1);
    while (slots[at] != 0) at = (at + 1) & (FF_NAME_SLOTS - 1);
    slots[at] = (short)(entryIndex + 1);
}

void FfNameIndexAdd(FfNameIndex* index, int entryIndex)
{
    if (entryIndex < 0 || entryIndex >= FF_PANEL_LISTING_MAX) return;
    const FfPanelEntry* entry = &index->entries[entryIndex];
    FfInsertSlot(index->nameSlot, FfHashFolded(entry->name), entryIndex);
    FfInsertSlot(index->pathSlot, FfHashFolded(entry->realPath), entryIndex);
}

bool FfNameIndexContains(const FfNameIndex* index, const wchar_t* name)
{
    unsigned at = FfHashFolded(name) & (FF_NAME_SLOTS - 1);
    for (; index->nameSlot[at] != 0; at = (at + 1) & (FF_NAME_SLOTS - 1)) {
        if (FfEqualNameI(index->entries[index->nameSlot[at] - 1].name, name)) return true;
    }
    return false;
}

bool FfNameIndexContainsPath(const FfNameIndex* index, const wchar_t* path)
{
    unsigned at = FfHashFolded(path) & (FF_NAME_SLOTS - 1);
    for (; index->pathSlot[at] != 0; at = (at + 1) & (FF_NAME_SLOTS - 1)) {
        if (FfEqualNameI(index->entries[index->pathSlot[at] - 1].realPath, path)) return true;
    }
    return false;
}

// The hint slot of a base name (ASCII folded), created on first use; -1 when the table is
// full, in which case the search simply starts from 1.
static int FfFindHintSlot(FfNameIndex* index, const wchar_t* baseName)
{
    unsigned at = FfHashFolded(baseName) & (FF_NAME_SLOTS - 1);
    for (; index->hintBase[at] != nullptr; at = (at + 1) & (FF_NAME_SLOTS - 1)) {
        if (FfEqualNameI(index->hintBase[at], baseName)) return (int)at;
    }
    if (index->hintCount >= FF_NAME_SLOTS / 2) return -1;
    index->hintBase[at] = baseName;
    index->hintNext[at] = 1;
    index->hintCount++;
    return (int)at;
}

int FfMakeUniqueEntryName(FfNameIndex* index, const wchar_t* baseName, wchar_t* name, int nameCap)
{
    if (!baseName) baseName = L"";
    // Numbers below the hint were all taken when last tried, and the listing has only grown
    // since: starting there gives exactly the name a scan from 1 would.
    int hint = FfFindHintSlot(index, baseName);
    int k = hint >= 0 ? index->hintNext[hint] : 1;
    wchar_t candidate[FF_PANEL_NAME_CHARS];
    // Numbers 2 and up give pairwise different names, so among FF_PANEL_LISTING_MAX + 1 of
    // them one is free: the bound is never reached, it only makes the end certain.
    int last = k + FF_PANEL_LISTING_MAX + 2;
    for (; k < last; ++k) {
        FfBuildNumberedName(baseName, k, candidate, FF_PANEL_NAME_CHARS);
        if (!FfNameIndexContains(index, candidate)) break;
    }
    if (hint >= 0) index->hintNext[hint] = k;
    FfCopyText(name, nameCap, candidate);
    return k;
}

bool FfFindListedEntry(const wchar_t* name, bool foldersOnly, FfPanelEntry* entry)
{
    bool found = false;
    EnterCriticalSection(&g_listingLock);
    int count = g_panelListingCount < FF_PANEL_LISTING_MAX ? g_panelListingCount : FF_PANEL_LISTING_MAX;
    for (int i = 0; i < count; ++i) {
        if (foldersOnly && !g_panelListing[i].isFolder) continue;
        if (FfEqualNameI(g_panelListing[i].name, name)) {
            *entry = g_panelListing[i];
            found = true;
            break;
        }
    }
    LeaveCriticalSection(&g_listingLock);
    return found;
}

// Under the lock: fills the listing. Returns the index of the first new entry.
static int FfFillListingLocked(const int* selection, int selectionCount, bool append)
{
    if (!append) g_panelListingCount = 0;
    int firstNew = g_panelListingCount;
    FfNameIndexReset(&g_publishIndex, g_panelListing, g_panelListingCount);
    int candidates = selection ? selectionCount : g_resultCount;
    for (int i = 0; i < candidates && g_panelListingCount < FF_PANEL_LISTING_MAX; ++i) {
        int resultIndex = selection ? selection[i] : i;
        if (resultIndex < 0 || resultIndex >= g_resultCount) continue;
        const FfResult* result = &g_results[resultIndex];
        // Appending never lists one path twice, counting the entries this publish added.
        if (append && g_panelListingCount > 0 && FfNameIndexContainsPath(&g_publishIndex, result->path))
            continue;
        FfPanelEntry* entry = &g_panelListing[g_panelListingCount];
        FfMakeUniqueEntryName(&g_publishIndex, FfPathBaseName(result->path), entry->name,
                              FF_PANEL_NAME_CHARS);
        FfCopyText(entry->realPath, FF_PANEL_PATH_CHARS, result->path);
        entry->size = result->size;
        entry->modified = FfFileTimeValue(result->modified);
        entry->isFolder = (int)result->isFolder;
        FfNameIndexAdd(&g_publishIndex, g_panelListingCount);
        g_panelListingCount++;
    }
    return firstNew;
}

volatile LONG g_hostListsNarrowNames = 0;

// The entry's name as the host lists it: an 8-bit host only knows it narrowed, and would not find
// the whole name among its entries. seen holds MAX_PATH characters.
static const wchar_t* FfNameAsHostLists(const wchar_t* name, wchar_t* seen)
{
    if (!g_hostListsNarrowNames) return name;
    char narrow[MAX_PATH];
    FfNarrowName(name, narrow, MAX_PATH);
    return MultiByteToWideChar(CP_ACP, 0, narrow, -1, seen, MAX_PATH) > 0 ? seen : name;
}

int FfPublishToListing(const int* selection, int selectionCount, bool append, wchar_t* target,
                       int targetCap)
{
    wchar_t seen[MAX_PATH];
    if (target && targetCap > 0) target[0] = 0;
    if (g_resultCount <= 0) return -1;
    if (g_resultCount > FF_RESULTS_MAX) return -1;  // a corrupt count must not read past the set
    if (selection && selectionCount < 0) selectionCount = 0;

    EnterCriticalSection(&g_listingLock);
    int firstNew = FfFillListingLocked(selection, selectionCount, append);
    int count = g_panelListingCount;
    if (count > 0 && target) {
        int shown = (append && firstNew < count) ? firstNew : 0;
        FfFormatText(target, targetCap, L"\\\\\\%s\\%s", FF_PRODUCT_NAME, FfNameAsHostLists(g_panelListing[shown].name, seen));
    }
    LeaveCriticalSection(&g_listingLock);
    return count;
}
