// The user's match options as the engine's search flags.
#include "search/search.h"

DWORD FfSearchFlagsFromSettings(const FfSettings* settings)
{
    static const DWORD flags[FF_MATCH_OPTION_COUNT] = {FF_IPC_SEARCH_MATCH_CASE, FF_IPC_SEARCH_WHOLE_WORD,
                                                       FF_IPC_SEARCH_MATCH_PATH, FF_IPC_SEARCH_REGEX};
    DWORD result = 0;
    for (int option = 0; settings && option < FF_MATCH_OPTION_COUNT; option++)
        if (settings->matchOptions[option]) result |= flags[option];
    return result;
}
