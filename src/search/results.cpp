// The current result set: storage only, so that publishing can link it without the search run.
#include "search/search.h"

FfResult g_results[FF_RESULTS_MAX];
int g_resultCount = 0;
