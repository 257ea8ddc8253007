// Module start-up and shutdown: pin, log path, exception recorder, listing lock, background thread.
#include "core/core.h"
#include "core/text.h"
#include <wchar.h>

HINSTANCE g_moduleHandle;
volatile DWORD g_hookThreadId;
HHOOK g_hookHandle;
CRITICAL_SECTION g_listingLock;

bool FfBuildModuleSiblingPath(wchar_t* out, int cap, const wchar_t* fileName)
{
    if (!out || cap <= 0) return false;
    out[0] = 0;
    wchar_t module[FF_PATH_CHARS];
    DWORD length = GetModuleFileNameW(g_moduleHandle, module, FF_PATH_CHARS);
    // A cut name (length == capacity) is not the module's folder.
    if (length == 0 || length >= FF_PATH_CHARS) return false;
    module[length] = 0;
    wchar_t* slash = wcsrchr(module, L'\\');
    if (slash) slash[1] = 0;
    else module[0] = 0;
    if (wcslen(module) + wcslen(fileName) >= (size_t)cap) return false;  // never a cut file name
    FfFormatText(out, cap, L"%s%s", module, fileName);
    return true;
}

void FfOnProcessAttach(HINSTANCE instance)
{
    g_moduleHandle = instance;
    // Without the module's name the log path stays empty and nothing is ever logged.
    FfBuildModuleSiblingPath(g_logPath, FF_PATH_CHARS, L"Fleetfinder.log");
    FfLog(L"DllMain: DLL_PROCESS_ATTACH (pid=%lu, module=%p)", GetCurrentProcessId(), (void*)instance);
    AddVectoredExceptionHandler(1, FfVectoredExceptionHandler);
    DisableThreadLibraryCalls(instance);
    // The hook and the thread's windows must outlive any unload the host asks for.
    HMODULE pinned = nullptr;
    BOOL pin = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  (LPCWSTR)instance, &pinned);
    FfLog(L"DllMain: module pin %s", pin ? L"OK" : L"FAILED");
    InitializeCriticalSection(&g_listingLock);
    // Under the loader lock: start the thread and do not wait for it.
    DWORD threadId = 0;
    HANDLE thread = CreateThread(nullptr, 0, FfBackgroundThread, nullptr, 0, &threadId);
    if (thread) {
        // The thread may have set its own id already; both writes give the same value.
        g_hookThreadId = threadId;
        CloseHandle(thread);
    }
}

void FfOnProcessDetach(LPVOID reserved)
{
    FfLog(L"DllMain: DLL_PROCESS_DETACH (pid=%lu, processTerminating=%d)", GetCurrentProcessId(),
          reserved ? 1 : 0);
}
