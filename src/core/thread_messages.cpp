// Requests posted to the background thread without a window.
#include "core/core.h"

bool FfHandleThreadMessage(const MSG* msg)
{
    if (!msg) return false;
    // WM_FF_AUTOOPEN_OVERLAY (the cold-load auto-open request) is handled here (overlay).
    return false;
}
