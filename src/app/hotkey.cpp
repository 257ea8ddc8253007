// The hotkey: a low-level keyboard hook that opens the overlay on Ctrl+Alt+letter over the host.
#include "app/app.h"
#include "core/core.h"
#include "host/host_commands.h"
#include "overlay/overlay.h"

#include <wchar.h>

#define FF_HOST_CLASS_CHARS 64

bool FfIsHotkeyEvent(int code, WPARAM message, DWORD vkCode, WCHAR hotkeyLetter, bool ctrlDown,
                     bool altDown, const WCHAR *className)
{
    if (code != HC_ACTION) return false;
    // A letter typed with Ctrl and Alt down arrives as a plain key-down, not a system one.
    if (message != WM_KEYDOWN) return false;
    if (vkCode != (DWORD)hotkeyLetter) return false;
    if (!ctrlDown || !altDown) return false;
    return className && wcscmp(className, FF_HOST_WINDOW_CLASS) == 0;
}

static LRESULT CALLBACK FfLowLevelKeyboardProc(int code, WPARAM message, LPARAM eventData)
{
    const KBDLLHOOKSTRUCT *event = (const KBDLLHOOKSTRUCT *)eventData;
    // Cheap tests first: the class name is looked up only for the hotkey itself.
    if (code == HC_ACTION && message == WM_KEYDOWN && event &&
        event->vkCode == (DWORD)g_settings.hotkeyLetter && GetAsyncKeyState(VK_CONTROL) < 0 &&
        GetAsyncKeyState(VK_MENU) < 0) {
        WCHAR className[FF_HOST_CLASS_CHARS];
        ZeroMemory(className, sizeof(className));
        // Another host's window in front is not ours: the key is that host's (it reaches its
        // own binding, or its own copy of the plug-in).
        HWND foreground = GetForegroundWindow();
        if (foreground && FfIsHostProcessWindow(foreground))
            GetClassNameW(foreground, className, FF_HOST_CLASS_CHARS);
        if (FfIsHotkeyEvent(code, message, event->vkCode, g_settings.hotkeyLetter, true, true,
                            className)) {
            // Decide and swallow only: the system drops a hook that overruns its time-out, and
            // this runs also while a search waits for the engine. The open waits in this
            // thread's queue (the hook runs on the installing thread) until such a run is over.
            if (!PostThreadMessageW(GetCurrentThreadId(), WM_FF_OPEN_OVERLAY, 0, 0))
                FfLog(L"FfLowLevelKeyboardProc: posting WM_FF_OPEN_OVERLAY FAILED, GetLastError=%lu",
                      GetLastError());
            return 1;
        }
    }
    return CallNextHookEx(g_hookHandle, code, message, eventData);
}

void FfInstallKeyboardHook()
{
    g_hookHandle = SetWindowsHookExW(WH_KEYBOARD_LL, FfLowLevelKeyboardProc, g_moduleHandle, 0);
    if (g_hookHandle)
        FfLog(L"Low-level keyboard hook installed OK.");
    else
        FfLog(L"Low-level keyboard hook FAILED to install, GetLastError=%lu", GetLastError());
}

void FfHandleAutoOpenRequest()
{
    FfLog(L"Background thread: WM_FF_AUTOOPEN_OVERLAY received - auto-opening the search box "
          L"after a cold WFX-triggered load.");
    HWND host = FfFindHostWindow();
    if (host) FfTriggerGoToPreviousDir(host);
    FfOpenOverlay();
}
