// What starts everything: the background thread, the requests posted to it and the hotkey hook.
#pragma once
#include <windows.h>

// Private thread message the keyboard hook posts to its own thread to open the overlay: the hook
// must return at once, and a posted message waits until a search run in progress has ended.
// (WM_FF_AUTOOPEN_OVERLAY, which the host's entry points post, is in core/core.h.)
#define WM_FF_OPEN_OVERLAY (WM_USER + 301)

extern HHOOK g_hookHandle;  // the low-level keyboard hook, or null

// Starts the background thread at process attach, after the module's own start-up; under the
// loader lock, so it does not wait for the thread.
void FfStartBackgroundThread();
// The background thread: settings, registration, hook, then the message loop. Returns 0.
DWORD WINAPI FfBackgroundThread(LPVOID parameter);
// The thread's message loop until GetMessageW gives 0 or fails; then removes the hook. Returns 0.
DWORD FfRunMessageLoop();
// Messages posted to the background thread without a window. Returns true when handled;
// false lets the loop translate and dispatch the message as usual.
bool FfHandleThreadMessage(const MSG* msg);

// Installs the hotkey's low-level keyboard hook into g_hookHandle and logs the outcome.
void FfInstallKeyboardHook();
// WM_FF_AUTOOPEN_OVERLAY: send the host back to its previous folder, then open the overlay.
void FfHandleAutoOpenRequest();
// The hook's decision without the keyboard: className is the foreground window's class.
bool FfIsHotkeyEvent(int code, WPARAM message, DWORD vkCode, WCHAR hotkeyLetter, bool ctrlDown,
                     bool altDown, const WCHAR *className);
