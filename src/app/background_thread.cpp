// The background thread: settings, registration, keyboard hook and the message loop for the process's life.
#include "app/app.h"
#include "core/core.h"
#include "host/host.h"
#include "overlay/overlay.h"

#include <ole2.h>

HHOOK g_hookHandle;

void FfStartBackgroundThread()
{
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, FfBackgroundThread, nullptr, 0, &threadId);
    if (thread) {
        // The thread may have set its own id already; both writes give the same value.
        g_hookThreadId = threadId;
        CloseHandle(thread);
    }
}

DWORD WINAPI FfBackgroundThread(LPVOID)
{
    g_hookThreadId = GetCurrentThreadId();
    FfLog(L"Background thread started (tid=%lu)", GetCurrentThreadId());
    // Create the queue before anybody posts to it (and before the hook, which otherwise
    // misses the first key).
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    // Dragging results out runs the system's drag loop on this thread, which needs OLE here.
    HRESULT ole = OleInitialize(nullptr);
    FfLog(L"FfBackgroundThread: OleInitialize %s (0x%08lX)", SUCCEEDED(ole) ? L"OK" : L"FAILED", (unsigned long)ole);

    FfLoadSettings();
    FfLogSettingsSummary();

    // Self-registration in the host's wincmd.ini; each step logs its own outcome and none can stop us.
    FfSelfRegisterWfxPlugin();
    FfSelfRegisterHotkeyShortcut();  // prunes this plug-in's stale bindings first
    FfSelfRegisterCustomColumnsView();

    // Before the hook: the first press finds the overlay made and only shows it.
    FfPrepareOverlay();
    FfInstallKeyboardHook();

    return FfRunMessageLoop();
}

DWORD FfRunMessageLoop()
{
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Only a message without a window can be a request to the thread itself; the same
        // number sent to a window is that window's business.
        if (msg.hwnd == nullptr && FfHandleThreadMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    FfLog(L"Background thread exiting (tid=%lu) - unexpected while the module is pinned; only happens if GetMessage itself failed.",
          (DWORD)g_hookThreadId);
    if (g_hookHandle) {
        UnhookWindowsHookEx(g_hookHandle);
        g_hookHandle = nullptr;
    }
    return 0;
}
