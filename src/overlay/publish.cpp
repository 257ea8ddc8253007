// Publishing from the overlay: the listing is filled, the overlay closes and the host goes to it.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "bridge/bridge.h"
#include "core/core.h"
#include "host/host_commands.h"

void FfPublishResultsToWfx(HWND hostWindow, const int* selection, int selectionCount, bool append)
{
    if (!hostWindow) return;
    wchar_t target[FF_VIRTUAL_PATH_CHARS];
    int count = FfPublishToListing(selection, selectionCount, append, target, FF_VIRTUAL_PATH_CHARS);
    if (count < 0) return;  // no results: the overlay stays open

    FfLog(L"FfPublishResultsToWfx: %s, now %d entr%s total in the WFX panel listing (source=%s).",
          append ? L"appended" : L"replaced", count, count == 1 ? L"y" : L"ies",
          selection ? L"selection" : L"all results");

    FfCloseOverlay();
    if (target[0]) FfSendHostChangeDir(hostWindow, target, g_overlayWindow);
}
