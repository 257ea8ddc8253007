// Result ordering: the sort state, its start from the engine's sort type, column clicks, comparison.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include <stdlib.h>
#include <string.h>

int g_sortColumn = FF_SORT_DATE;
int g_sortDescending = 1;
unsigned char g_localSortActive = 0;

void FfSortStateFromSortType(DWORD sortType, int* column, int* descending)
{
    switch (sortType) {
    case 1: *column = FF_SORT_NAME; *descending = 0; break;
    case 2: *column = FF_SORT_NAME; *descending = 1; break;
    case 3: *column = FF_SORT_FOLDER; *descending = 0; break;
    case 4: *column = FF_SORT_FOLDER; *descending = 1; break;
    case 5: *column = FF_SORT_SIZE; *descending = 0; break;
    case 6: *column = FF_SORT_SIZE; *descending = 1; break;
    case 7: *column = FF_SORT_EXTENSION; *descending = 0; break;
    case 8: *column = FF_SORT_EXTENSION; *descending = 1; break;
    case 13: *column = FF_SORT_DATE; *descending = 0; break;
    default: *column = FF_SORT_DATE; *descending = 1; break;
    }
}

void FfInitSortFromSortType(void)
{
    g_localSortActive = 0;
    FfSortStateFromSortType(g_settings.sortType, &g_sortColumn, &g_sortDescending);
}

const wchar_t* FfResultExtension(const FfResult* result)
{
    if (result->isFolder) return L"";
    const wchar_t* name = FfPathBaseName(result->path);
    const wchar_t* dot = wcsrchr(name, L'.');
    // A leading dot (.bashrc) names the file; it is no extension.
    if (!dot || dot == name) return L"";
    return dot + 1;
}

// Sizes and dates: the engine's mark for an unknown value (all bits set) sorts below every
// known one, so a folder without an indexed size is not taken for the largest item.
static int FfCompareKnown(unsigned long long a, unsigned long long b)
{
    a += 1;  // the mark wraps to 0; every other value keeps its order
    b += 1;
    return a < b ? -1 : (a > b ? 1 : 0);
}

int FfCompareResults(const FfResult* a, const FfResult* b, int column, int descending)
{
    int r;
    switch (column) {
    case FF_SORT_NAME:
        r = FfCompareTextI(FfPathBaseName(a->path), FfPathBaseName(b->path));
        break;
    case FF_SORT_SIZE:
        r = FfCompareKnown(a->size, b->size);
        break;
    case FF_SORT_FOLDER: {
        // FfParentFolderName answers in one shared buffer: keep the first key apart.
        wchar_t keyA[64];
        FfCopyText(keyA, 64, FfParentFolderName(a->path));
        r = FfCompareTextI(keyA, FfParentFolderName(b->path));
        break;
    }
    case FF_SORT_EXTENSION:
        r = FfCompareTextI(FfResultExtension(a), FfResultExtension(b));
        break;
    default:
        r = FfCompareKnown(FfFileTimeValue(a->modified), FfFileTimeValue(b->modified));
        break;
    }
    if (r < 0) r = -1;
    if (r > 0) r = 1;
    return descending == 1 ? -r : r;
}

// qsort passes no context: the column and direction of the sort in progress (one thread).
static int g_qsortColumn;
static int g_qsortDescending;

static int __cdecl FfCompareForQsort(const void* a, const void* b)
{
    return FfCompareResults((const FfResult*)a, (const FfResult*)b, g_qsortColumn,
                            g_qsortDescending);
}

void FfSortResults(FfResult* results, int count, int column, int descending)
{
    if (count < 2) return;
    g_qsortColumn = column;
    g_qsortDescending = descending;
    qsort(results, (size_t)count, sizeof(FfResult), FfCompareForQsort);
}

void FfApplyColumnSort(int column)
{
    if (g_localSortActive == 1 && column == g_sortColumn) {
        g_sortDescending = !g_sortDescending;
    } else {
        g_sortColumn = column;
        g_sortDescending = (column == FF_SORT_SIZE || column == FF_SORT_DATE) ? 1 : 0;
    }
    g_localSortActive = 1;
    if (g_resultCount >= 2) FfSortResults(g_results, g_resultCount, g_sortColumn, g_sortDescending);
}
