// Host window commands: finding the host's main window and panel, numbered commands, change of folder.
#pragma once
#include <windows.h>

#define FF_HOST_WINDOW_CLASS L"TTOTAL_CMD"
#define FF_HOST_COMMAND_MESSAGE 1075           // WM_USER + 51: numbered host command
#define FF_HOST_CM_GOTO_PREVIOUS_DIR 570
#define FF_HOST_CM_COPY_SOURCE_PATH 2029       // active panel's folder to the clipboard
#define FF_HOST_CHANGEDIR_TAG 0x4443           // copy-data tag of the change-folder record

#define FF_HOST_SEND_TIMEOUT_MS 3000           // longest wait for the host to handle one send

extern HWND g_hostWindow;  // the host's main window found last; kept when none is found
// The process whose "TTOTAL_CMD" window is the host: 0 means this one (the plug-in runs inside
// its host; other hosts on the desktop are not ours). Tests driving a host program set its id.
extern DWORD g_hostProcessId;

// True when the window belongs to the host's process (see g_hostProcessId).
bool FfIsHostProcessWindow(HWND window);
// The host's main window: a top-level "TTOTAL_CMD" window of the host's process.
HWND FfFindHostWindow(void);
// The screen rectangle of the control with the host's keyboard focus. Nonzero when filled.
int FfGetActivePanelRect(HWND hostWindow, RECT* rect);
// Both sends wait at most FF_HOST_SEND_TIMEOUT_MS, give up on a hung host and log the outcome.
void FfSendHostCommand(HWND hostWindow, int command);
void FfTriggerGoToPreviousDir(HWND hostWindow);
// sender is the window the record comes from (the host answers it); null is allowed.
void FfSendHostChangeDir(HWND hostWindow, const wchar_t* path, HWND sender);
// Writes the change-folder record for path into record (room for cap bytes). Returns its
// size in bytes (UTF-8 size with terminator + 10), or 0 when the path cannot be encoded or
// the record does not fit. With record null, returns the size needed.
int FfEncodeChangeDirRecord(const wchar_t* path, BYTE* record, int cap);
