// What a search run sends for the selected filter, and the order of a pass the engine sorted otherwise.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include <string.h>

extern int g_engineSortDeclineLogged;

int FfComposeFilterClause(const FfFilter* filter, int filterFunction, wchar_t* out, int cap)
{
    if (!out || cap < 1) return 1;
    out[0] = 0;
    if (!filter || !filter->search[0]) return 1;
    int includeFolders = wcsstr(filter->search, L"folder:") ? 1 : 0;
    if (filterFunction) {
        FfFormatText(out, cap, L"filter:\"%s\"", filter->name);
        return includeFolders;
    }
    // Below 1.5 the query knows no filter: the engine's own window puts the filter's search in
    // a group, each option set on the filter a modifier in front of it.
    static const wchar_t* const modifiers[5] = {L"case:", L"wholeword:", L"path:", L"diacritics:",
                                                L"regex:"};
    for (int k = 0; k < 5; k++)
        if (filter->flags & (1u << k)) FfAppendText(out, cap, modifiers[k]);
    FfAppendText(out, cap, L"<");
    FfAppendText(out, cap, filter->search);
    FfAppendText(out, cap, L">");
    return includeFolders;
}

void FfOrderPassAsAsked(FfResult* results, int count, DWORD asked, DWORD answered)
{
    if (answered == asked) return;
    if (!g_engineSortDeclineLogged) {
        g_engineSortDeclineLogged = 1;
        FfLog(L"FfOrderPassAsAsked: the engine answered in sort %lu instead of %lu - the plug-in "
              L"orders the results itself.",
              (unsigned long)answered, (unsigned long)asked);
    }
    int column, descending;
    FfSortStateFromSortType(asked, &column, &descending);
    FfSortResults(results, count, column, descending);
}

int FfComposeFilterClauseFor(HWND engine, const FfFilter* filter, wchar_t* out, int cap)
{
    // The engine is asked its version only when a filter has something to apply.
    int filterFunction = filter && filter->search[0] && engine &&
                         FfVersionKnowsFilterFunction(FfEngineVersionOf(engine));
    return FfComposeFilterClause(filter, filterFunction, out, cap);
}
