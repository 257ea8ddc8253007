// The published listing's storage: entries on the heap, their texts in a pool, and two hash
// indexes (by name, by real path, both under ASCII folding) so that publishing 100,000 entries
// and every lookup by name stay linear. The caller holds g_listingLock throughout.
#include "bridge/listing_internal.h"
#include "core/text.h"
#include <string.h>

FfPanelEntry* g_panelListing = nullptr;
int g_panelListingCount = 0;

static int g_listingCapacity = 0;  // entries g_panelListing has room for
static FfTextPool g_listingTexts;  // every entry's name and real path
// Open addressing. A slot keeps its text's hash, so a probe reads an entry only when the hashes
// agree: with 100,000 entries every entry read is a cache miss.
struct FfListingSlot {
    int entry;      // 0 an empty slot, FF_SLOT_REMOVED a removed entry's, else entry index + 1
    unsigned hash;  // FfHashFolded of the entry's name (or real path)
};
static FfListingSlot* g_nameSlots = nullptr;
static FfListingSlot* g_pathSlots = nullptr;
static int g_slotCount = 0;        // a power of two, at least twice the entries plus removals
static int g_slotsRemoved = 0;
#define FF_SLOT_REMOVED (-1)

// Hash of the ASCII-folded text, so texts equal under folding share a probe chain.
unsigned FfHashFolded(const wchar_t* text)
{
    unsigned hash = FF_HASH_FOLDED_START;
    for (; *text; ++text) hash = FfHashFoldedStep(hash, *text);
    return hash;
}

static void FfInsertSlot(FfListingSlot* slots, unsigned hash, int entryIndex)
{
    unsigned mask = (unsigned)g_slotCount - 1, at = hash & mask;
    while (slots[at].entry != 0) at = (at + 1) & mask;
    slots[at].entry = entryIndex + 1;
    slots[at].hash = hash;
}

// Rebuilds both indexes with room for at least `entries` entries; false without memory (the
// old indexes then stand).
// The slots the indexes take for `entries` entries: a power of two, at least twice as many.
static int FfSlotsFor(int entries)
{
    int slots = 1024;
    while (slots < entries * 2 + 2) slots *= 2;
    return slots;
}

static bool FfRebuildSlots(int entries)
{
    int slots = FfSlotsFor(entries);
    SIZE_T bytes = sizeof(FfListingSlot) * (SIZE_T)slots;
    FfListingSlot* names = (FfListingSlot*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    FfListingSlot* paths = (FfListingSlot*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes);
    if (!names || !paths) {
        if (names) HeapFree(GetProcessHeap(), 0, names);
        if (paths) HeapFree(GetProcessHeap(), 0, paths);
        return false;
    }
    FfListingSlot* oldNames = g_nameSlots;
    FfListingSlot* oldPaths = g_pathSlots;
    int oldCount = g_slotCount;
    g_nameSlots = names;
    g_pathSlots = paths;
    g_slotCount = slots;
    g_slotsRemoved = 0;
    // The slots carry their hashes: moving them reads no entry and no text.
    for (int s = 0; s < oldCount; ++s) {
        if (oldNames[s].entry > 0) FfInsertSlot(g_nameSlots, oldNames[s].hash, oldNames[s].entry - 1);
        if (oldPaths[s].entry > 0) FfInsertSlot(g_pathSlots, oldPaths[s].hash, oldPaths[s].entry - 1);
    }
    if (oldNames) HeapFree(GetProcessHeap(), 0, oldNames);
    if (oldPaths) HeapFree(GetProcessHeap(), 0, oldPaths);
    return true;
}

// Grows the entries to room for capacity; false without memory (the listing stands).
static bool FfGrowEntries(int capacity)
{
    if (capacity > FF_PANEL_LISTING_MAX) capacity = FF_PANEL_LISTING_MAX;
    if (capacity <= g_listingCapacity) return true;
    SIZE_T bytes = sizeof(FfPanelEntry) * (SIZE_T)capacity;
    FfPanelEntry* grown = g_panelListing ? (FfPanelEntry*)HeapReAlloc(GetProcessHeap(), 0, g_panelListing, bytes)
                                         : (FfPanelEntry*)HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!grown) return false;
    g_panelListing = grown;
    g_listingCapacity = capacity;
    return true;
}

bool FfListingReserve(int entries)
{
    if (entries > FF_PANEL_LISTING_MAX) entries = FF_PANEL_LISTING_MAX;
    if ((entries + g_slotsRemoved) * 2 > g_slotCount && !FfRebuildSlots(entries)) return false;
    return FfGrowEntries(entries);
}

bool FfListingAddEntry(const wchar_t* name, const wchar_t* realPath, unsigned long long size,
                       unsigned long long modified, int isFolder)
{
    wchar_t cut[FF_PANEL_NAME_CHARS];
    FfCopyText(cut, FF_PANEL_NAME_CHARS, name);
    return FfListingAddNamed(cut, FfHashFolded(cut), -1, realPath, -1, size, modified, isFolder);
}

bool FfListingAddNamed(const wchar_t* name, unsigned nameHash, int nameLength, const wchar_t* realPath,
                       int pathLength, unsigned long long size, unsigned long long modified, int isFolder)
{
    if (g_panelListingCount >= FF_PANEL_LISTING_MAX) return false;
    if (g_panelListingCount >= g_listingCapacity &&
        !FfGrowEntries(g_listingCapacity < 256 ? 256 : g_listingCapacity * 2))
        return false;
    // Doubling the slots as the entries grow keeps every chain short.
    if ((g_panelListingCount + 1 + g_slotsRemoved) * 2 > g_slotCount &&
        !FfRebuildSlots(g_panelListingCount + 1))
        return false;
    if (!name) name = L"", nameLength = 0;
    if (!realPath) realPath = L"", pathLength = 0;
    if (nameLength < 0) nameLength = (int)wcslen(name);
    if (pathLength < 0) pathLength = (int)wcslen(realPath);
    const wchar_t* keptName = FfPoolAddText(&g_listingTexts, name,
                                            nameLength < FF_PANEL_NAME_CHARS ? nameLength : FF_PANEL_NAME_CHARS - 1);
    const wchar_t* keptPath = FfPoolAddText(&g_listingTexts, realPath,
                                            pathLength < FF_PANEL_PATH_CHARS ? pathLength : FF_PANEL_PATH_CHARS - 1);
    if (!keptName || !keptPath) return false;
    int index = g_panelListingCount++;
    FfPanelEntry* entry = &g_panelListing[index];
    entry->name = keptName;
    entry->realPath = keptPath;
    entry->size = size;
    entry->modified = modified;
    entry->isFolder = isFolder;
    FfInsertSlot(g_nameSlots, nameHash, index);
    FfInsertSlot(g_pathSlots, FfHashFolded(keptPath), index);
    return true;
}

void FfListingClear(void)
{
    g_panelListingCount = 0;
    if (g_panelListing) HeapFree(GetProcessHeap(), 0, g_panelListing);
    if (g_nameSlots) HeapFree(GetProcessHeap(), 0, g_nameSlots);
    if (g_pathSlots) HeapFree(GetProcessHeap(), 0, g_pathSlots);
    g_panelListing = nullptr;
    g_nameSlots = g_pathSlots = nullptr;
    g_listingCapacity = g_slotCount = g_slotsRemoved = 0;
    FfPoolFree(&g_listingTexts);
}

void FfListingReplace(int entries)
{
    if (entries > FF_PANEL_LISTING_MAX) entries = FF_PANEL_LISTING_MAX;
    // Megabytes given back only to be taken again would cost a page fault per page: a listing
    // replaced by one of its own size keeps its entries and indexes (its texts' blocks return
    // through the heap's free lists). Any other size gives everything back.
    if (!g_nameSlots || g_slotCount != FfSlotsFor(entries) || g_listingCapacity < entries ||
        g_listingCapacity > 2 * entries) {
        FfListingClear();
        return;
    }
    g_panelListingCount = 0;
    ZeroMemory(g_nameSlots, sizeof(FfListingSlot) * (SIZE_T)g_slotCount);
    ZeroMemory(g_pathSlots, sizeof(FfListingSlot) * (SIZE_T)g_slotCount);
    g_slotsRemoved = 0;
    FfPoolFree(&g_listingTexts);
}

// The lowest entry index in text's chain whose field equals it (and passes foldersOnly).
static int FfFindInSlots(const FfListingSlot* slots, const wchar_t* text, unsigned hash, bool byPath,
                         bool foldersOnly)
{
    if (!slots || !text) return -1;
    int best = -1;
    unsigned mask = (unsigned)g_slotCount - 1, at = hash & mask;
    for (; slots[at].entry != 0; at = (at + 1) & mask) {
        int index = slots[at].entry - 1;
        if (slots[at].hash != hash || slots[at].entry == FF_SLOT_REMOVED || (best >= 0 && index > best)) continue;
        const FfPanelEntry* entry = &g_panelListing[index];
        if (foldersOnly && !entry->isFolder) continue;
        if (FfEqualNameI(byPath ? entry->realPath : entry->name, text)) best = index;
    }
    return best;
}

int FfListingFindName(const wchar_t* name, bool foldersOnly)
{
    return name ? FfFindInSlots(g_nameSlots, name, FfHashFolded(name), false, foldersOnly) : -1;
}

int FfListingFindNameHashed(const wchar_t* name, unsigned hash)
{
    return FfFindInSlots(g_nameSlots, name, hash, false, false);
}

int FfListingFindPath(const wchar_t* path)
{
    return path ? FfFindInSlots(g_pathSlots, path, FfHashFolded(path), true, false) : -1;
}

// Marks entry index's slot in one index as removed.
static void FfRemoveSlot(FfListingSlot* slots, const wchar_t* text, int index)
{
    unsigned mask = (unsigned)g_slotCount - 1, at = FfHashFolded(text) & mask;
    for (; slots[at].entry != 0; at = (at + 1) & mask) {
        if (slots[at].entry == index + 1) {
            slots[at].entry = FF_SLOT_REMOVED;
            return;
        }
    }
}

void FfListingRemoveAt(int index)
{
    if (index < 0 || index >= g_panelListingCount) return;
    FfRemoveSlot(g_nameSlots, g_panelListing[index].name, index);
    FfRemoveSlot(g_pathSlots, g_panelListing[index].realPath, index);
    g_slotsRemoved++;
    MoveMemory(&g_panelListing[index], &g_panelListing[index + 1],
               sizeof(FfPanelEntry) * (SIZE_T)(g_panelListingCount - 1 - index));
    g_panelListingCount--;
    // The entries after it moved down one place: so do their slots (one pass, no hashing).
    for (int s = 0; s < g_slotCount; ++s) {
        if (g_nameSlots[s].entry > index + 1) g_nameSlots[s].entry--;
        if (g_pathSlots[s].entry > index + 1) g_pathSlots[s].entry--;
    }
    // The removed entry's texts stay in the pool until the listing is replaced.
}

SIZE_T FfListingBytes(void)
{
    return sizeof(FfPanelEntry) * (SIZE_T)g_listingCapacity + 2 * sizeof(FfListingSlot) * (SIZE_T)g_slotCount +
           g_listingTexts.bytes;
}
