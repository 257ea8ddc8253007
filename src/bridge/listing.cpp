// The published listing: unique entry names and publishing results into the virtual folder.
#include "bridge/listing_internal.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"
#include <string.h>

#define FF_NAME_LIMIT (FF_PANEL_NAME_CHARS - 1)  // 299
#define FF_STEM_LIMIT 280                         // text kept before " (k)" and the extension

static wchar_t FfFoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? (wchar_t)(c + (L'a' - L'A')) : c;
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
        int cap = nameCap < FF_PANEL_NAME_CHARS ? nameCap : FF_PANEL_NAME_CHARS;
        return FfCopyText(name, cap, baseName);
    }
    int length = (int)wcslen(baseName);
    int lastDot = -1;
    for (int i = 0; i < length; ++i) {
        if (baseName[i] == L'.') lastDot = i;
    }
    // " (k)" by hand: a formatted print per name would cost more than the rest of publishing it.
    wchar_t digits[12], suffix[24];
    int digitCount = 0;
    for (unsigned v = (unsigned)k; v > 0 || digitCount == 0; v /= 10) digits[digitCount++] = (wchar_t)(L'0' + v % 10);
    int suffixLength = 0;
    suffix[suffixLength++] = L' ';
    suffix[suffixLength++] = L'(';
    while (digitCount > 0) suffix[suffixLength++] = digits[--digitCount];
    suffix[suffixLength++] = L')';
    suffix[suffixLength] = 0;
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
    // Built in place when the caller's buffer holds any name.
    wchar_t* out = nameCap >= FF_PANEL_NAME_CHARS ? name : built;
    int at = FfCopyTextN(out, FF_PANEL_NAME_CHARS, baseName, stemLength);
    at += FfCopyText(out + at, FF_PANEL_NAME_CHARS - at, suffix);
    if (extensionLength > 0)
        at += FfCopyTextN(out + at, FF_PANEL_NAME_CHARS - at, baseName + lastDot, extensionLength);
    return out == name ? at : FfCopyText(name, nameCap, built);
}

void FfNameHintsInit(FfNameHints* hints)
{
    ZeroMemory(hints, sizeof(*hints));
}

void FfNameHintsFree(FfNameHints* hints)
{
    if (hints->slot) HeapFree(GetProcessHeap(), 0, hints->slot);
    ZeroMemory(hints, sizeof(*hints));
}

// Doubles the hint table (the slots keep their hashes: no text is read); false without memory.
static bool FfGrowHints(FfNameHints* hints)
{
    int slots = hints->slots ? hints->slots * 2 : 64;
    FfNameHint* grown = (FfNameHint*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FfNameHint) * (SIZE_T)slots);
    if (!grown) return false;
    unsigned mask = (unsigned)slots - 1;
    for (int s = 0; s < hints->slots; ++s) {
        if (!hints->slot[s].base) continue;
        unsigned at = hints->slot[s].hash & mask;
        while (grown[at].base) at = (at + 1) & mask;
        grown[at] = hints->slot[s];
    }
    if (hints->slot) HeapFree(GetProcessHeap(), 0, hints->slot);
    hints->slot = grown;
    hints->slots = slots;
    return true;
}

// The hint slot of a base name, created on first use; -1 without hints or memory, in which
// case the search simply starts from 1.
static int FfFindHintSlot(FfNameHints* hints, const wchar_t* baseName, int baseLength, unsigned hash)
{
    if (!hints) return -1;
    if (hints->slots > 0) {
        unsigned mask = (unsigned)hints->slots - 1, at = hash & mask;
        for (; hints->slot[at].base; at = (at + 1) & mask) {
            const FfNameHint* hint = &hints->slot[at];
            if (hint->hash == hash && hint->baseLength == baseLength && FfEqualNameI(hint->base, baseName))
                return (int)at;
        }
    }
    if ((hints->count + 1) * 2 > hints->slots && !FfGrowHints(hints)) return -1;
    unsigned mask = (unsigned)hints->slots - 1, at = hash & mask;
    while (hints->slot[at].base) at = (at + 1) & mask;
    hints->slot[at].base = baseName;
    hints->slot[at].baseLength = baseLength;
    hints->slot[at].hash = hash;
    hints->slot[at].next = 1;
    hints->count++;
    return (int)at;
}

int FfMakeUniqueEntryName(FfNameHints* hints, const wchar_t* baseName, int baseLength, wchar_t* name,
                          unsigned* nameHash)
{
    if (!baseName) baseName = L"", baseLength = 0;
    if (baseLength < 0) baseLength = (int)wcslen(baseName);
    // One pass gives the base's hash, its last dot and the hash state before that dot: a
    // numbered name's hash then costs only its " (k)" and extension.
    unsigned baseHash = FF_HASH_FOLDED_START, stemHash = 0;
    int lastDot = -1;
    for (int i = 0; i < baseLength; ++i) {
        if (baseName[i] == L'.') lastDot = i, stemHash = baseHash;
        baseHash = FfHashFoldedStep(baseHash, baseName[i]);
    }
    if (lastDot <= 0) stemHash = baseHash;  // a leading dot starts no extension
    int stemLength = lastDot > 0 ? lastDot : baseLength;
    // Within these bounds no numbered name is cut (the suffix is 13 characters at most); names
    // near the limit go through FfBuildNumberedName, which cuts them.
    bool whole = baseLength + 13 <= FF_NAME_LIMIT && stemLength < FF_STEM_LIMIT;
    // Numbers below the hint are all listed, so starting there gives exactly the name a scan
    // from 1 would.
    int hint = FfFindHintSlot(hints, baseName, baseLength, baseHash);
    int k = hint >= 0 ? hints->slot[hint].next : 1;
    // Numbers 2 and up give pairwise different names, so among FF_PANEL_LISTING_MAX + 1 of
    // them one is free: the bound is never reached, it only makes the end certain.
    int last = k + FF_PANEL_LISTING_MAX + 2;
    unsigned hash = 0;
    int length = 0;
    for (; k < last; ++k) {
        if (!whole) {
            length = FfBuildNumberedName(baseName, k, name, FF_PANEL_NAME_CHARS);
            hash = FfHashFolded(name);
        } else if (k == 1) {
            memcpy(name, baseName, sizeof(wchar_t) * (SIZE_T)baseLength);
            name[length = baseLength] = 0;
            hash = baseHash;
        } else {
            // "stem (k).ext" by hand, hashed as it is written.
            memcpy(name, baseName, sizeof(wchar_t) * (SIZE_T)stemLength);
            wchar_t digits[12];
            int digitCount = 0;
            for (unsigned v = (unsigned)k; v > 0; v /= 10) digits[digitCount++] = (wchar_t)(L'0' + v % 10);
            length = stemLength;
            hash = stemHash;
            name[length++] = L' ', name[length++] = L'(';
            while (digitCount > 0) name[length++] = digits[--digitCount];
            name[length++] = L')';
            for (int i = stemLength; i < length; ++i) hash = FfHashFoldedStep(hash, name[i]);
            for (int i = stemLength; i < baseLength; ++i) {
                name[length++] = baseName[i];
                hash = FfHashFoldedStep(hash, baseName[i]);
            }
            name[length] = 0;
        }
        if (FfListingFindNameHashed(name, hash) < 0) break;
    }
    // The caller lists this name: the next free number for this base is past it.
    if (hint >= 0) hints->slot[hint].next = k + 1;
    if (nameHash) *nameHash = hash;
    return length;
}

bool FfFindListedEntry(const wchar_t* name, bool foldersOnly, FfFoundEntry* entry)
{
    EnterCriticalSection(&g_listingLock);
    int index = FfListingFindName(name, foldersOnly);
    if (index >= 0) {
        const FfPanelEntry* listed = &g_panelListing[index];
        FfCopyText(entry->name, FF_PANEL_NAME_CHARS, listed->name);
        FfCopyText(entry->realPath, FF_PANEL_PATH_CHARS, listed->realPath);
        entry->size = listed->size;
        entry->modified = listed->modified;
        entry->isFolder = listed->isFolder;
    }
    LeaveCriticalSection(&g_listingLock);
    return index >= 0;
}

// Under the lock: fills the listing. Returns the index of the first new entry.
static int FfFillListingLocked(const int* selection, int selectionCount, bool append)
{
    int candidates = selection ? selectionCount : g_resultCount;
    // A replaced listing gives its memory back before the new one grows (unless it fits).
    if (!append) FfListingReplace(candidates);
    int firstNew = g_panelListingCount;
    FfListingReserve(g_panelListingCount + candidates);
    FfNameHints hints;
    FfNameHintsInit(&hints);
    for (int i = 0; i < candidates && g_panelListingCount < FF_PANEL_LISTING_MAX; ++i) {
        int resultIndex = selection ? selection[i] : i;
        if (resultIndex < 0 || resultIndex >= g_resultCount) continue;
        const FfResult* result = &g_results[resultIndex];
        // Appending never lists one path twice, counting the entries this publish added.
        if (append && g_panelListingCount > 0 && FfListingFindPath(result->path) >= 0) continue;
        // One pass over the path finds its length and its base name.
        const wchar_t* path = result->path ? result->path : L"";
        int pathLength = 0, baseAt = 0;
        for (; path[pathLength]; ++pathLength) {
            if (path[pathLength] == L'\\') baseAt = pathLength + 1;
        }
        wchar_t name[FF_PANEL_NAME_CHARS];
        unsigned nameHash = 0;
        int nameLength = FfMakeUniqueEntryName(&hints, path + baseAt, pathLength - baseAt, name, &nameHash);
        // Out of memory: what is listed so far stands.
        if (!FfListingAddNamed(name, nameHash, nameLength, path, pathLength, result->size,
                               FfFileTimeValue(result->modified), (int)result->isFolder))
            break;
    }
    FfNameHintsFree(&hints);
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
    if (g_resultCount > FF_RESULTS_MAX || !g_results) return -1;  // a corrupt count must not read past the set
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
