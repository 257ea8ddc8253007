// Test-side driver of the stand-in host (bin/ffhost.exe): start it, steer it and read it back.
#pragma once
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "driver.h"
#include "../host/hostproto.h"

// Panels of the stand-in host. FF_HOST_ACTIVE means "whichever panel is active now".
enum { FF_HOST_LEFT = 0, FF_HOST_RIGHT = 1, FF_HOST_ACTIVE = -1 };

// How to start the host. Paths are Windows paths.
struct FfHostStartOptions {
    std::wstring leftFolder;   // empty: the build tree's tmp folder
    std::wstring rightFolder;  // empty: same as the left one
    int activePanel = FF_HOST_LEFT;
    // Main window position and size (screen pixels).
    int x = 100, y = 80, width = 900, height = 600;
    // Bring the main window to the front at start. Tests that are not marked DESKTOP should say
    // false, so that they never take the foreground from a desktop test running beside them.
    bool foreground = true;
    // Call only the plug-in's 8-bit functions, as a host older than the Unicode interface does.
    bool ansiOnly = false;
    // Environment of the host process: COMMANDER_INI / COMMANDER_PATH (how it finds wincmd.ini).
    // An empty value removes the variable from the host's environment, so that a test is not
    // steered by the machine's own settings.
    std::wstring commanderIni;
    std::wstring commanderPath;
    // Any further variables, name and value (an empty value removes it).
    std::vector<std::pair<std::wstring, std::wstring>> environment;
};

// One listed item of a panel.
struct FfHostItem {
    std::wstring name;         // as listed (an 8-bit name converted with code page 0)
    DWORD attributes = 0;
    unsigned long long size = 0;
    FILETIME modified = {};
    std::wstring path;         // the custom view's "Path" column (plug-in folder only), else empty
};

// A started stand-in host. Use it from one thread (each request pumps that thread's messages).
class FfHostCtl {
public:
    FfTestProcess process;
    HWND mainWindow = nullptr;     // class "TTOTAL_CMD"
    HWND controlWindow = nullptr;  // the hidden control window answering requests

    ~FfHostCtl();

    // Starts bin/ffhost.exe (or another host program) and waits until it answers requests.
    bool Start(const FfHostStartOptions& options, DWORD timeoutMs = 15000,
               const std::wstring& hostExe = std::wstring());
    // Attaches to a host already running (first one found when processId is 0).
    bool Attach(DWORD processId = 0, DWORD timeoutMs = 10000);
    // Asks the host to close and waits for its process to end; kills it when it does not.
    bool Quit(DWORD timeoutMs = 10000);

    // Panels.
    bool SetActivePanel(int panel);
    int ActivePanel();
    HWND PanelList(int panel);
    // Shows a folder in a panel, the way the host's own "change folder" does: a real folder, or a
    // plug-in path "\\\Fleetfinder[\entry[\sub]]" (loads the library on first entry).
    // Returns true when the panel shows it.
    bool SetFolder(int panel, const std::wstring& folder);
    std::wstring Folder(int panel = FF_HOST_ACTIVE);
    // Lists the panel again (as the host's refresh does).
    bool Refresh(int panel = FF_HOST_ACTIVE);
    std::vector<FfHostItem> Items(int panel = FF_HOST_ACTIVE);
    std::vector<std::wstring> Names(int panel = FF_HOST_ACTIVE);
    // The item with the cursor (the name the host put the cursor on after a change of folder).
    std::wstring CurrentItem(int panel = FF_HOST_ACTIVE);

    // Main window.
    bool MoveMainWindow(int x, int y, int width, int height);
    // Brings the main window to the front with the focus in the active panel's list.
    bool BringToFront();
    // The control with the keyboard focus in the host's GUI thread, and its screen rectangle.
    HWND FocusWindow();
    bool FocusRect(RECT* rect);

    // What the host received, in order; ClearEvents forgets them.
    std::vector<FfHostEvent> Events();
    bool ClearEvents();
    // Waits (pumping) until an event of the kind has arrived (counting from the start or the
    // last ClearEvents); returns it through *found when given.
    bool WaitForEvent(const wchar_t* kind, DWORD timeoutMs = 5000, FfHostEvent* found = nullptr);

    // Item operations on the named item of the active panel, as the host's own commands.
    // In the plug-in's folder they return the plug-in's result code (FsGetFile, FsExecuteFile,
    // FsDeleteFile) or one of FF_HOST_OP_*. Open on a folder enters it (result 0).
    int CopyToOtherPanel(const std::wstring& name);
    int MoveToOtherPanel(const std::wstring& name);
    int Open(const std::wstring& name);
    int Properties(const std::wstring& name);
    int Delete(const std::wstring& name);
    // The user's answer (FF_HOST_OVERWRITE_*) when a copy's target exists; each question is
    // recorded as an event "exists" with the answer as its number and the target as its path.
    bool SetOverwriteAnswer(int answer);
    // Registers a library under [FileSystemPlugins] of the host's wincmd.ini, as the host's own
    // plug-in installer does (the library is loaded on the first entry into its folder).
    bool InstallPlugin(const std::wstring& library, const std::wstring& rootName = L"Fleetfinder");

    // Low level: one request with text arguments (separated by '\n'); reply text in *reply.
    // Returns the host's numeric answer, or FF_HOST_OP_FAILED.
    long long Request(int code, const std::wstring& args, std::wstring* reply = nullptr,
                      DWORD timeoutMs = 20000);
};
