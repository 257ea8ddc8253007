// Host window commands: finding the host's main window and panel, numbered commands, change of folder.
#pragma once
#include <windows.h>

#define FF_HOST_WINDOW_CLASS L"TTOTAL_CMD"
#define FF_HOST_COMMAND_MESSAGE 1075           // WM_USER + 51: numbered host command
#define FF_HOST_CM_GOTO_PREVIOUS_DIR 570
#define FF_HOST_CM_COPY_SOURCE_PATH 2029       // active panel's folder to the clipboard
#define FF_HOST_CHANGEDIR_TAG 0x4443           // copy-data tag of the change-folder record

extern HWND g_hostWindow;  // the host's main window found last; kept when none is found

HWND FfFindHostWindow(void);
// The screen rectangle of the control with the host's keyboard focus. Nonzero when filled.
int FfGetActivePanelRect(HWND hostWindow, RECT* rect);
void FfSendHostCommand(HWND hostWindow, int command);
void FfTriggerGoToPreviousDir(HWND hostWindow);
void FfSendHostChangeDir(HWND hostWindow, const wchar_t* path);
// Writes the change-folder record for path into record (room for cap bytes). Returns its
// size in bytes (UTF-8 size with terminator + 10), or 0 when the path cannot be encoded or
// the record does not fit. With record null, returns the size needed.
int FfEncodeChangeDirRecord(const wchar_t* path, BYTE* record, int cap);
