// The current result set: storage only, so that publishing can link it without the search run.
// Records grow on the heap as pages arrive; their paths sit in a text pool, so a record is a
// few dozen bytes and 100,000 of them fit a 32-bit host beside everything else.
#include "search/search.h"
#include "core/text.h"

FfResult* g_results = nullptr;
int g_resultCount = 0;

static int g_resultCapacity = 0;    // records g_results has room for
static FfTextPool g_resultPaths;    // every record's path

int FfAppendResult(const wchar_t* path, int length, unsigned long long size, FILETIME modified,
                   DWORD isFolder)
{
    if (g_resultCount >= FF_RESULTS_MAX || length < 0) return 0;
    if (g_resultCount >= g_resultCapacity) {
        // Doubling keeps appending a page at the end cheap however many are loaded.
        int capacity = g_resultCapacity < FF_RESULTS_KEPT ? FF_RESULTS_KEPT : g_resultCapacity * 2;
        if (capacity > FF_RESULTS_MAX) capacity = FF_RESULTS_MAX;
        SIZE_T bytes = sizeof(FfResult) * (SIZE_T)capacity;
        FfResult* grown = g_results ? (FfResult*)HeapReAlloc(GetProcessHeap(), 0, g_results, bytes)
                                    : (FfResult*)HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!grown) return 0;
        g_results = grown;
        g_resultCapacity = capacity;
    }
    if (length > FF_RESULT_PATH_MAX - 1) length = FF_RESULT_PATH_MAX - 1;
    const wchar_t* kept = FfPoolAddText(&g_resultPaths, path ? path : L"", path ? length : 0);
    if (!kept) return 0;
    FfResult* result = &g_results[g_resultCount++];
    result->path = kept;
    result->size = size;
    result->modified = modified;
    result->isFolder = isFolder;
    return 1;
}

void FfClearResults(void)
{
    g_resultCount = 0;
    // A set of a page or two is kept (records and one block of paths): every search starts by
    // emptying the set, and most never grow past that. Anything larger is given back.
    if (g_resultCapacity > FF_RESULTS_KEPT) {
        HeapFree(GetProcessHeap(), 0, g_results);
        g_results = nullptr;
        g_resultCapacity = 0;
    }
    FfPoolEmpty(&g_resultPaths);
}

SIZE_T FfResultSetBytes(void)
{
    return sizeof(FfResult) * (SIZE_T)g_resultCapacity + g_resultPaths.bytes;
}
