// The module entry point: start-up at process attach, a log line at detach.
#include "core/core.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) FfOnProcessAttach(instance);
    else if (reason == DLL_PROCESS_DETACH) FfOnProcessDetach(reserved);
    return TRUE;
}
