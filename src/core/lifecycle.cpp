// Module start-up and shutdown: pin, log path, exception recorder, listing lock.
#include "core/core.h"
#include "core/text.h"
#include <wchar.h>

HINSTANCE g_moduleHandle;
volatile DWORD g_hookThreadId;
CRITICAL_SECTION g_listingLock;
wchar_t g_configFilePath[FF_PATH_CHARS];

#define FF_SETTINGS_SUBFOLDER FF_PRODUCT_NAME L"\\"

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

bool FfIsFolderWritable(const wchar_t* folder)
{
    if (!folder || !folder[0]) return false;
    // A name of our own per process, so a probe never touches somebody else's file; it is gone
    // as soon as it is closed. Read-only attributes and access rules are both covered this way.
    wchar_t probe[FF_PATH_CHARS];
    FfFormatText(probe, FF_PATH_CHARS, L"%s" FF_PRODUCT_NAME L".%lu.probe", folder, GetCurrentProcessId());
    HANDLE file = CreateFileW(probe, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

bool FfChooseSettingsFolders(const wchar_t* moduleFolder, const wchar_t* appData, FfFolderCheck writable,
                             wchar_t* cfgFolder, wchar_t* logFolder, int cap)
{
    FfCopyText(cfgFolder, cap, moduleFolder);
    FfCopyText(logFolder, cap, moduleFolder);
    // Beside the library stays the first choice; hosts installed under Program Files are not
    // writable for the user, though.
    if (!moduleFolder || !moduleFolder[0] || !writable || writable(moduleFolder)) return false;
    if (!appData || !appData[0]) return false;
    wchar_t other[FF_PATH_CHARS];
    size_t length = wcslen(appData);
    bool slash = appData[length - 1] == L'\\';
    if (length + 13 >= (size_t)FF_PATH_CHARS || length + 13 >= (size_t)cap) return false;  // never a cut name
    FfFormatText(other, FF_PATH_CHARS, L"%s%s" FF_SETTINGS_SUBFOLDER, appData, slash ? L"" : L"\\");
    // Already there is fine; a folder that cannot be had is no better than the library's.
    if (!CreateDirectoryW(other, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    FfCopyText(logFolder, cap, other);
    // A cfg somebody put beside the library (an administrator, say) is still the one read.
    wchar_t beside[FF_PATH_CHARS];
    FfFormatText(beside, FF_PATH_CHARS, L"%s" FF_PRODUCT_NAME L".cfg", moduleFolder);
    if (!FfPathExists(beside)) FfCopyText(cfgFolder, cap, other);
    return true;
}

void FfLocateSettingsFiles()
{
    g_configFilePath[0] = 0;
    g_logPath[0] = 0;
    wchar_t moduleFolder[FF_PATH_CHARS];
    // Without the module's name both stay empty: defaults, and nothing is ever logged.
    if (!FfBuildModuleSiblingPath(moduleFolder, FF_PATH_CHARS, L"")) return;
    // Only kernel32 here: this runs under the loader lock.
    wchar_t appData[FF_PATH_CHARS];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, FF_PATH_CHARS);
    if (length == 0 || length >= FF_PATH_CHARS) appData[0] = 0;
    wchar_t cfgFolder[FF_PATH_CHARS], logFolder[FF_PATH_CHARS];
    bool moved = FfChooseSettingsFolders(moduleFolder, appData, FfIsFolderWritable, cfgFolder, logFolder,
                                         FF_PATH_CHARS);
    if (wcslen(cfgFolder) + 15 < FF_PATH_CHARS)
        FfFormatText(g_configFilePath, FF_PATH_CHARS, L"%s" FF_PRODUCT_NAME L".cfg", cfgFolder);
    if (wcslen(logFolder) + 15 < FF_PATH_CHARS)
        FfFormatText(g_logPath, FF_PATH_CHARS, L"%s" FF_PRODUCT_NAME L".log", logFolder);
    if (moved)
        FfLog(L"FfLocateSettingsFiles: %s is not writable - Fleetfinder.cfg read from %s, log written to %s",
              moduleFolder, cfgFolder, logFolder);
}

void FfOnProcessAttach(HINSTANCE instance)
{
    g_moduleHandle = instance;
    FfLocateSettingsFiles();
    FfLog(L"DllMain: DLL_PROCESS_ATTACH (pid=%lu, module=%p)", GetCurrentProcessId(), (void*)instance);
    AddVectoredExceptionHandler(1, FfVectoredExceptionHandler);
    DisableThreadLibraryCalls(instance);
    // The hook and the thread's windows must outlive any unload the host asks for.
    HMODULE pinned = nullptr;
    BOOL pin = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                  (LPCWSTR)instance, &pinned);
    FfLog(L"DllMain: module pin %s", pin ? L"OK" : L"FAILED");
    InitializeCriticalSection(&g_listingLock);
}

void FfOnProcessDetach(LPVOID reserved)
{
    FfLog(L"DllMain: DLL_PROCESS_DETACH (pid=%lu, processTerminating=%d)", GetCurrentProcessId(),
          reserved ? 1 : 0);
}
