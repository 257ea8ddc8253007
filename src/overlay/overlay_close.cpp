// Closing the overlay: hide it, stop following the host, forget the results.
#include "overlay/overlay.h"
#include "overlay/list.h"
#include "core/core.h"
#include "search/search.h"

void FfCloseOverlay()
{
    // What was shown is what closing acted on: a reply still to come is dropped.
    FfCancelSearch();
    g_fetchAll.pending = false;
    if (g_followHook) {
        UnhookWinEvent(g_followHook);
        g_followHook = nullptr;
    }
    if (g_overlayWindow) {
        KillTimer(g_overlayWindow, FF_TIMER_ENGINE_RETRY);
        ShowWindow(g_overlayWindow, SW_HIDE);
    }
    FfClearResults();
    g_selectedIndex = -1;
}

void FfActivateSelectedResults()
{
    FfLog(L"FfActivateSelectedResults: PARKED per user request - closing the overlay, no TC "
          L"panel/copy action taken.");
    FfCloseOverlay();
}
