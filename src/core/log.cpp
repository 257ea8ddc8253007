// The plain-text log beside the module, the search debug log and the exception recorder; one open, append, close per line.
#include "core/core.h"
#include "core/text.h"
#include <stdio.h>
#include <wchar.h>

wchar_t g_logPath[FF_PATH_CHARS];

void FfLogAppendLine(const wchar_t* line)
{
    if (!g_logPath[0] || !line) return;
    // Open per line, shared for delete too, so the user can read, copy or remove the file
    // while the host runs and nothing written before a crash is lost.
    HANDLE file = CreateFileW(g_logPath, FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    // One spare byte beyond the terminator's place for the LF.
    char utf8[FF_LOG_UTF8_BYTES + 1];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, FF_LOG_UTF8_BYTES, nullptr, nullptr);
    if (bytes > 0) {
        utf8[bytes - 1] = '\r';
        utf8[bytes] = '\n';
        DWORD written = 0;
        WriteFile(file, utf8, (DWORD)(bytes + 1), &written, nullptr);
    }
    CloseHandle(file);
}

void FfLog(const wchar_t* format, ...)
{
    // Switched off: return before formatting anything.
    if (!g_logPath[0] || !g_settings.loggingEnabled || !format) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t line[FF_LOG_LINE_CHARS];
    int prefix = FfFormatText(line, FF_LOG_LINE_CHARS, L"[%04d-%02d-%02d %02d:%02d:%02d.%03d] ",
                              now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                              now.wSecond, now.wMilliseconds);
    va_list args;
    va_start(args, format);
    FfFormatTextV(line + prefix, FF_LOG_LINE_CHARS - prefix, format, args);
    va_end(args);
    FfLogAppendLine(line);
}

void FfEverythingDebugLog(const wchar_t* message)
{
    // Beside the log, wherever that had to go; without a log path the name would be relative
    // to the host's current folder.
    if (!g_settings.everythingDebug || !g_logPath[0]) return;
    wchar_t path[FF_PATH_CHARS];
    FfCopyText(path, FF_PATH_CHARS, g_logPath);
    wchar_t* dot = wcsrchr(path, L'.');
    wchar_t* slash = wcsrchr(path, L'\\');
    if (dot && (!slash || dot > slash)) *dot = 0;
    if (wcslen(path) + 10 >= FF_PATH_CHARS) return;  // never write to a cut name
    FfAppendText(path, FF_PATH_CHARS, L".debug.log");
    // Text mode with UTF-8 encoding: a new file starts with a byte-order mark, LF becomes CR LF.
    FILE* file = _wfopen(path, L"a, ccs=UTF-8");
    if (!file) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t prefix[16];
    FfFormatText(prefix, 16, L"[%02d:%02d:%02d] ", now.wHour, now.wMinute, now.wSecond);
    // The message is written as it stands, whatever its length.
    fputws(prefix, file);
    fputws(message ? message : L"", file);
    fputws(L"\n", file);
    fclose(file);
}

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
