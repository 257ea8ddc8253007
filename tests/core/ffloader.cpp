// Test helper program: loads the plug-in from a folder and runs the steps a test names, writing what it saw to a report.
//   ffloader.exe <plug-in path> <report path> step...
// Steps: load, free, wait-idle, threads, mapped, av, int3. Exit code 0 when every step ran.
#include <windows.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <string>
#include <vector>

static std::wstring g_pluginPath;
static FILE* g_report;
static std::vector<HMODULE> g_loaded;
static volatile DWORD g_faultThreadId;
static HANDLE g_idleEvent;

static void Report(const wchar_t* key, const std::wstring& value)
{
    fwprintf(g_report, L"%ls=%ls\n", key, value.c_str());
    fflush(g_report);
}

static HMODULE PluginModule()
{
    HMODULE module = nullptr;
    const wchar_t* name = wcsrchr(g_pluginPath.c_str(), L'\\');
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, name ? name + 1 : g_pluginPath.c_str(), &module);
    return module;
}

// Threads of this process whose start address lies inside the plug-in's image.
static std::vector<DWORD> PluginThreads()
{
    std::vector<DWORD> ids;
    HMODULE module = PluginModule();
    if (!module) return ids;
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(module, &info, sizeof info);
    BYTE* base = (BYTE*)module;
    IMAGE_NT_HEADERS* nt = (IMAGE_NT_HEADERS*)(base + ((IMAGE_DOS_HEADER*)base)->e_lfanew);
    BYTE* end = base + nt->OptionalHeader.SizeOfImage;
    typedef LONG(WINAPI * QueryThread)(HANDLE, int, PVOID, ULONG, PULONG);
    QueryThread query = (QueryThread)(void*)GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread");
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE || !query) return ids;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        void* start = nullptr;
        const int threadQuerySetWin32StartAddress = 9;
        if (query(thread, threadQuerySetWin32StartAddress, &start, sizeof start, nullptr) == 0
            && (BYTE*)start >= base && (BYTE*)start < end) {
            ids.push_back(entry.th32ThreadID);
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return ids;
}

static LRESULT CALLBACK IdleProbe(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = (const MSG*)lParam;
    if (code >= 0 && msg && msg->message == WM_APP + 77) SetEvent(g_idleEvent);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Waits until the plug-in's thread has finished start-up and takes messages from its loop:
// a probe message posted to it is seen by a get-message hook on that thread.
static bool WaitIdle()
{
    DWORD deadline = GetTickCount() + 15000;
    while ((LONG)(deadline - GetTickCount()) > 0) {
        std::vector<DWORD> threads = PluginThreads();
        if (threads.size() == 1) {
            HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, IdleProbe, nullptr, threads[0]);
            if (hook) {
                bool idle = false;
                while (!idle && (LONG)(deadline - GetTickCount()) > 0) {
                    if (PostThreadMessageW(threads[0], WM_APP + 77, 0, 0))
                        idle = WaitForSingleObject(g_idleEvent, 200) == WAIT_OBJECT_0;
                    else
                        Sleep(20);  // its queue does not exist yet
                }
                UnhookWindowsHookEx(hook);
                return idle;
            }
        }
        Sleep(20);
    }
    return false;
}

// The faulting steps run on a thread of their own; this handler, behind the plug-in's
// recorder in the chain, sends that thread to its end instead of letting the process die.
static void __stdcall EndFaultThread()
{
    ExitThread(0);
}

static LONG CALLBACK RecoverFault(EXCEPTION_POINTERS* info)
{
    if (GetCurrentThreadId() != g_faultThreadId) return EXCEPTION_CONTINUE_SEARCH;
    CONTEXT* ctx = info->ContextRecord;
#ifdef _WIN64
    ctx->Rsp = ((ctx->Rsp - 512) & ~(DWORD64)15) - 8;
    ctx->Rip = (DWORD64)(void*)EndFaultThread;
#else
    ctx->Esp = ((ctx->Esp - 512) & ~(DWORD)15) - 4;
    ctx->Eip = (DWORD)(void*)EndFaultThread;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

static DWORD WINAPI WriteNullThread(LPVOID)
{
    *(volatile int*)nullptr = 1;
    return 0;
}

static DWORD WINAPI BreakpointThread(LPVOID)
{
    __asm__ volatile("int3");
    return 0;
}

static bool RunFaultThread(LPTHREAD_START_ROUTINE routine)
{
    static PVOID recover = AddVectoredExceptionHandler(0, RecoverFault);
    (void)recover;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, routine, nullptr, CREATE_SUSPENDED, &id);
    if (!thread) return false;
    g_faultThreadId = id;
    ResumeThread(thread);
    bool ended = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    CloseHandle(thread);
    g_faultThreadId = 0;
    return ended;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) return 2;
    g_pluginPath = argv[1];
    g_report = _wfopen(argv[2], L"w");
    if (!g_report) return 3;
    g_idleEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);

    // Keep whatever the plug-in writes into the host's configuration inside the test folder.
    std::wstring folder = g_pluginPath.substr(0, g_pluginPath.find_last_of(L'\\'));
    std::wstring ini = folder + L"\\wincmd.ini";
    SetEnvironmentVariableW(L"COMMANDER_INI", ini.c_str());
    SetEnvironmentVariableW(L"APPDATA", folder.c_str());

    for (int i = 3; i < argc; ++i) {
        std::wstring step = argv[i];
        if (step == L"load") {
            HMODULE module = LoadLibraryW(g_pluginPath.c_str());
            if (module) g_loaded.push_back(module);
            Report(L"load", module ? L"OK" : L"FAILED " + std::to_wstring(GetLastError()));
        } else if (step == L"free") {
            BOOL freed = FALSE;
            if (!g_loaded.empty()) {
                freed = FreeLibrary(g_loaded.back());
                g_loaded.pop_back();
            }
            Report(L"free", freed ? L"OK" : L"FAILED");
        } else if (step == L"wait-idle") {
            Report(L"idle", WaitIdle() ? L"1" : L"0");
        } else if (step == L"threads") {
            Report(L"threads", std::to_wstring(PluginThreads().size()));
        } else if (step == L"mapped") {
            Report(L"mapped", PluginModule() ? L"1" : L"0");
        } else if (step == L"av") {
            Report(L"av", RunFaultThread(WriteNullThread) ? L"survived" : L"stuck");
        } else if (step == L"int3") {
            Report(L"int3", RunFaultThread(BreakpointThread) ? L"survived" : L"stuck");
        } else {
            Report(L"unknown", step);
            fclose(g_report);
            return 4;
        }
    }
    Report(L"done", L"1");
    fclose(g_report);
    return 0;
}
