// Records processor exceptions in the log without ever handling them.
#include "core/core.h"
#include "core/text.h"

volatile LONG g_exceptionRecorderBusy;

LONG CALLBACK FfVectoredExceptionHandler(EXCEPTION_POINTERS* info)
{
    // One record at a time, process-wide: an exception raised while recording (on this thread
    // or another) passes on unrecorded rather than recursing or interleaving.
    if (InterlockedCompareExchange(&g_exceptionRecorderBusy, 1, 0) != 0) return EXCEPTION_CONTINUE_SEARCH;
    if (!info || !info->ExceptionRecord) {
        g_exceptionRecorderBusy = 0;
        return EXCEPTION_CONTINUE_SEARCH;
    }
    DWORD code = info->ExceptionRecord->ExceptionCode;
    void* address = info->ExceptionRecord->ExceptionAddress;

    // Stack buffers only: the process may be in a bad state.
    wchar_t moduleName[MAX_PATH];
    FfCopyText(moduleName, MAX_PATH, L"(unknown module)");
    HMODULE module = nullptr;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCWSTR)address, &module) && module) {
        wchar_t name[MAX_PATH];
        DWORD length = GetModuleFileNameW(module, name, MAX_PATH);
        if (length > 0 && length < MAX_PATH) FfCopyText(moduleName, MAX_PATH, name);
    }
    bool inside = module != nullptr && module == (HMODULE)g_moduleHandle;

    // Error-severity codes are recorded wherever they happen; the milder ones (breakpoints,
    // runtime notifications) only when they come from the plug-in itself.
    if (code < 0xC0000000u && !inside) {
        g_exceptionRecorderBusy = 0;
        return EXCEPTION_CONTINUE_SEARCH;
    }

    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t line[FF_EXCEPTION_LINE_CHARS];
    FfFormatText(line, FF_EXCEPTION_LINE_CHARS,
                 L"[%04d-%02d-%02d %02d:%02d:%02d.%03d] *** EXCEPTION *** code=0x%08lX addr=%p module=%s %s (pid=%lu)",
                 now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                 now.wMilliseconds, code, address, moduleName,
                 inside ? L"[INSIDE Fleetfinder]" : L"[outside Fleetfinder]", GetCurrentProcessId());
    FfLogAppendLine(line);

    g_exceptionRecorderBusy = 0;
    return EXCEPTION_CONTINUE_SEARCH;
}
