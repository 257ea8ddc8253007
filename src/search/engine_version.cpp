// The engine's version, asked with its own message once per overlay opening and engine window.
#include "search/search.h"
#include "core/core.h"

// The engine's own message answers its version part by part.
#define FF_IPC_GET_MAJOR_VERSION 0
#define FF_IPC_GET_MINOR_VERSION 1
#define FF_IPC_GET_REVISION 2
#define FF_IPC_GET_BUILD_NUMBER 3

static HWND g_engineVersionWindow = nullptr;  // the window the cached version is of
static FfEngineVersion g_engineVersion;       // its answer (all 0: it gave none)
static int g_engineVersionKnown = 0;          // 1 once asked in this opening
int g_engineSortDeclineLogged = 0;            // the declined sort was logged in this opening

int FfAskEngineVersion(HWND engine, FfEngineVersion* version)
{
    DWORD* parts[4] = {&version->major, &version->minor, &version->revision, &version->build};
    for (int i = 0; i < 4; i++) *parts[i] = 0;
    if (!engine) return 0;
    for (int i = 0; i < 4; i++) {
        DWORD_PTR answer = 0;
        // Bounded like every send to the engine: a hung one must not hold the overlay's thread,
        // and after one unanswered part the others are not asked.
        if (!SendMessageTimeoutW(engine, FF_IPC_ENGINE_MESSAGE, FF_IPC_GET_MAJOR_VERSION + i, 0,
                                 SMTO_NORMAL | SMTO_ABORTIFHUNG, FF_IPC_TIMEOUT_MS, &answer)) {
            FfLog(L"FfAskEngineVersion: the engine did not answer within %u ms - its filters go as "
                  L"their search text.",
                  (unsigned)FF_IPC_TIMEOUT_MS);
            for (int k = 0; k < 4; k++) *parts[k] = 0;
            return 0;
        }
        *parts[i] = (DWORD)answer;
    }
    FfLog(L"FfAskEngineVersion: Everything %lu.%lu.%lu.%lu - filters go as %s.",
          (unsigned long)version->major, (unsigned long)version->minor,
          (unsigned long)version->revision, (unsigned long)version->build,
          FfVersionKnowsFilterFunction(version) ? L"filter:\"NAME\"" : L"their search text");
    return version->major != 0;
}

const FfEngineVersion* FfEngineVersionOf(HWND engine)
{
    if (!g_engineVersionKnown || engine != g_engineVersionWindow) {
        FfAskEngineVersion(engine, &g_engineVersion);
        g_engineVersionWindow = engine;
        g_engineVersionKnown = 1;
    }
    return &g_engineVersion;
}

void FfForgetEngineFacts(void)
{
    g_engineVersionKnown = 0;
    g_engineVersionWindow = nullptr;
    g_engineSortDeclineLogged = 0;
}

int FfVersionKnowsFilterFunction(const FfEngineVersion* version)
{
    return version->major > 1 || (version->major == 1 && version->minor >= 5);
}
