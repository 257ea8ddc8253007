// The test bed's driver: waiting with a deadline, temporary folders, files, programs, input.
#include "driver.h"
#include <stdio.h>

bool FfTestWaitFor(const std::function<bool()>& cond, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // A test that runs the plug-in's hook on this thread handles its thread messages here.
            if (!msg.hwnd && g_ffDriverThreadMessage && g_ffDriverThreadMessage(&msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (cond()) return true;
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return cond();
        DWORD left = timeoutMs - elapsed;
        MsgWaitForMultipleObjectsEx(0, nullptr, left < 10 ? left : 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

void FfTestFlushEvents(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    DWORD quietSince = start;
    while (GetTickCount() - start < timeoutMs) {
        MSG msg;
        bool any = false;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            any = true;
            if (!msg.hwnd && g_ffDriverThreadMessage && g_ffDriverThreadMessage(&msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (any) quietSince = GetTickCount();
        else if (GetTickCount() - quietSince >= 50) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

bool (*g_ffDriverThreadMessage)(MSG* msg) = nullptr;

std::wstring FfTestBinaryDir() { return FF_BINARY_DIR_W; }
std::wstring FfTestSourceDir() { return FF_SOURCE_DIR_W; }
std::wstring FfTestBinPath(const wchar_t* fileName) { return FfTestBinaryDir() + L"\\bin\\" + fileName; }

static void FfTestRemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring full = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) FfTestRemoveTree(full);
            else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

std::wstring FfTestMakeTempDir(const wchar_t* tag)
{
    static int counter = 0;
    std::wstring base = FfTestBinaryDir() + L"\\tmp";
    CreateDirectoryW(base.c_str(), nullptr);
    wchar_t name[128];
    swprintf(name, 128, L"\\%ls-%lu-%d", tag, (unsigned long)GetCurrentProcessId(), ++counter);
    std::wstring dir = base + name;
    FfTestRemoveTree(dir);
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

bool FfTestFileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FfTestReadBytes(const std::wstring& path)
{
    std::string out;
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(h);
    return out;
}

bool FfTestWriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD put = 0;
    BOOL ok = WriteFile(h, bytes.data(), (DWORD)bytes.size(), &put, nullptr);
    CloseHandle(h);
    return ok && put == bytes.size();
}

std::string FfTestUtf8(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

std::wstring FfTestWide(const std::string& utf8)
{
    if (utf8.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
    std::wstring out(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &out[0], n);
    return out;
}

// Every child of a test program joins one job that ends with the program: a child left behind
// by a failed or forgetful test can never disturb the tests that run after it.
static HANDLE FfTestChildJob()
{
    static HANDLE job = nullptr;
    if (!job) {
        job = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION info = {};
        info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
    }
    return job;
}

bool FfTestProcess::Start(const std::wstring& commandLine, const wchar_t* workDir)
{
    // The child's standard handles go to NUL: holding the test's output pipe, it would keep
    // CTest waiting for the end of output after the test itself has finished.
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    if (nul != INVALID_HANDLE_VALUE) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = si.hStdOutput = si.hStdError = nul;
    }
    std::wstring cmd = commandLine;
    BOOL ok = CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, nul != INVALID_HANDLE_VALUE, CREATE_SUSPENDED,
                             nullptr, workDir, &si, &pi);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!ok) return false;
    HANDLE job = FfTestChildJob();
    if (job) AssignProcessToJobObject(job, pi.hProcess);
    ResumeThread(pi.hThread);
    return true;
}

bool FfTestProcess::Running() const
{
    return pi.hProcess && WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD FfTestProcess::Wait(DWORD timeoutMs)
{
    if (!pi.hProcess) return (DWORD)-1;
    bool ended = FfTestWaitFor([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, timeoutMs);
    if (!ended) return STILL_ACTIVE;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return code;
}

void FfTestProcess::Kill()
{
    if (pi.hProcess && Running()) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, 5000);
    }
}

FfTestProcess::~FfTestProcess()
{
    Kill();
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
}

struct FfTestFindState { const wchar_t* cls; DWORD pid; HWND found; };

static BOOL CALLBACK FfTestFindProc(HWND hwnd, LPARAM lp)
{
    FfTestFindState* st = (FfTestFindState*)lp;
    wchar_t cls[256] = {};
    GetClassNameW(hwnd, cls, 256);
    if (wcscmp(cls, st->cls) != 0) return TRUE;
    if (st->pid) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid != st->pid) return TRUE;
    }
    st->found = hwnd;
    return FALSE;
}

HWND FfTestWaitForWindow(const wchar_t* className, DWORD processId, DWORD timeoutMs)
{
    FfTestFindState st = {className, processId, nullptr};
    FfTestWaitFor([&] {
        EnumWindows(FfTestFindProc, (LPARAM)&st);
        return st.found != nullptr;
    }, timeoutMs);
    return st.found;
}

void FfTestSendKey(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof(INPUT));
}

void FfTestMouseTo(POINT at, DWORD button)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (LONG)((at.x * 65535.0) / (GetSystemMetrics(SM_CXSCREEN) - 1) + 0.5);
    input.mi.dy = (LONG)((at.y * 65535.0) / (GetSystemMetrics(SM_CYSCREEN) - 1) + 0.5);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button;
    SendInput(1, &input, sizeof input);
    FfTestFlushEvents(40);
}

void FfTestTypeChar(wchar_t c)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wScan = in[1].ki.wScan = c;
    in[0].ki.dwFlags = KEYEVENTF_UNICODE;
    in[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

std::wstring FfTestClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"(clipboard busy)";
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* p = data ? (const wchar_t*)GlobalLock(data) : nullptr;
    if (p) text = p;
    if (p) GlobalUnlock(data);
    CloseClipboard();
    return text;
}
