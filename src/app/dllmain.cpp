// The module entry point: start-up and the background thread at process attach, a log line at detach.
#include "app/app.h"
#include "core/core.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        FfOnProcessAttach(instance);
        FfStartBackgroundThread();
    } else if (reason == DLL_PROCESS_DETACH) {
        FfOnProcessDetach(reserved);
    }
    return TRUE;
}
