// Requests posted to the background thread without a window.
#include "app/app.h"
#include "core/core.h"
#include "overlay/overlay.h"

bool FfHandleThreadMessage(const MSG* msg)
{
    if (!msg) return false;
    if (msg->message == WM_FF_AUTOOPEN_OVERLAY) {
        FfHandleAutoOpenRequest();
        return true;
    }
    if (msg->message == WM_FF_OPEN_OVERLAY) {
        FfOpenOverlay();
        return true;
    }
    return false;
}
