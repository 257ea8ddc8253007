// Host window commands: the main window, its focused panel, numbered commands, change of folder.
#include "host/host_commands.h"
#include "core/core.h"
#include <string.h>

HWND g_hostWindow = nullptr;
DWORD g_hostProcessId = 0;

bool FfIsHostProcessWindow(HWND window)
{
    DWORD processId = 0;
    if (!window || !GetWindowThreadProcessId(window, &processId)) return false;
    return processId == (g_hostProcessId ? g_hostProcessId : GetCurrentProcessId());
}

HWND FfFindHostWindow(void)
{
    // Several hosts may run at once; ours is the one whose process loaded us.
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, FF_HOST_WINDOW_CLASS, nullptr)) != nullptr) {
        if (FfIsHostProcessWindow(window)) break;
    }
    if (window) g_hostWindow = window;
    // With no host window the last one found is kept: callers give up quietly when it is stale.
    return g_hostWindow;
}

int FfGetActivePanelRect(HWND hostWindow, RECT* rect)
{
    if (!hostWindow || !rect) return 0;
    DWORD thread = GetWindowThreadProcessId(hostWindow, nullptr);
    if (!thread) return 0;
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus) return 0;
    if (info.hwndFocus != hostWindow && !IsChild(hostWindow, info.hwndFocus)) return 0;
    return GetWindowRect(info.hwndFocus, rect) ? 1 : 0;
}

// A host that stops answering must not hold the background thread (and with it the hotkey and
// the overlay) for ever. Sent messages are still handled while waiting: the host may send to our
// windows while it handles ours (the clipboard's owner, activation), and waiting blocked for
// those would only end at the time-out.
static bool FfSendToHost(HWND hostWindow, UINT message, WPARAM wParam, LPARAM lParam, DWORD* error)
{
    DWORD_PTR result = 0;
    SetLastError(0);
    LRESULT sent = SendMessageTimeoutW(hostWindow, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                       FF_HOST_SEND_TIMEOUT_MS, &result);
    *error = sent ? 0 : GetLastError();
    return sent != 0;
}

void FfSendHostCommand(HWND hostWindow, int command)
{
    if (!hostWindow) return;
    DWORD error = 0;
    bool ok = FfSendToHost(hostWindow, FF_HOST_COMMAND_MESSAGE, (WPARAM)command, 0, &error);
    if (ok)
        FfLog(L"FfSendHostCommand: command %d to the host window %p OK", command, (void*)hostWindow);
    else
        FfLog(L"FfSendHostCommand: command %d to the host window %p FAILED (no answer within %d ms, "
              L"hung or gone, GetLastError=%lu)",
              command, (void*)hostWindow, FF_HOST_SEND_TIMEOUT_MS, error);
}

void FfTriggerGoToPreviousDir(HWND hostWindow)
{
    if (!hostWindow) return;
    FfLog(L"FfTriggerGoToPreviousDir: sending cm_GotoPreviousDir (%d) to TC's main window.",
          FF_HOST_CM_GOTO_PREVIOUS_DIR);
    FfSendHostCommand(hostWindow, FF_HOST_CM_GOTO_PREVIOUS_DIR);
}

int FfEncodeChangeDirRecord(const wchar_t* path, BYTE* record, int cap)
{
    if (!path) return 0;
    // n: UTF-8 bytes of the path including its terminating zero.
    int n = WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return 0;
    int size = n + 10;
    if (!record) return size;
    if (cap < size) return 0;
    record[0] = 0xEF;
    record[1] = 0xBB;
    record[2] = 0xBF;
    if (WideCharToMultiByte(CP_UTF8, 0, path, -1, (char*)record + 3, n, nullptr, nullptr) != n) return 0;
    // The converter's terminator at n + 2 becomes the carriage return that ends the path.
    record[n + 2] = 0x0D;
    record[n + 3] = 0xEF;
    record[n + 4] = 0xBB;
    record[n + 5] = 0xBF;
    record[n + 6] = 0x00;
    record[n + 7] = 0x53;
    record[n + 8] = 0x41;
    record[n + 9] = 0x00;
    return size;
}

void FfSendHostChangeDir(HWND hostWindow, const wchar_t* path, HWND sender)
{
    if (!hostWindow) return;
    int size = FfEncodeChangeDirRecord(path, nullptr, 0);
    if (size <= 0) return;
    BYTE* record = (BYTE*)HeapAlloc(GetProcessHeap(), 0, (SIZE_T)size);
    if (!record) return;
    if (FfEncodeChangeDirRecord(path, record, size) == size) {
        COPYDATASTRUCT block;
        block.dwData = FF_HOST_CHANGEDIR_TAG;
        block.cbData = (DWORD)size;
        block.lpData = record;
        DWORD error = 0;
        if (FfSendToHost(hostWindow, WM_COPYDATA, (WPARAM)sender, (LPARAM)&block, &error))
            FfLog(L"FfSendHostChangeDir: change-folder record to the host window %p OK", (void*)hostWindow);
        else
            FfLog(L"FfSendHostChangeDir: change-folder record to the host window %p FAILED (no answer "
                  L"within %d ms, hung or gone, GetLastError=%lu)",
                  (void*)hostWindow, FF_HOST_SEND_TIMEOUT_MS, error);
    }
    HeapFree(GetProcessHeap(), 0, record);
}
