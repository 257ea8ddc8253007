// A host window on its own thread, the stand-in engine and the plug-in's overlay in this process.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "fftest.h"
#include "enginectl.h"

// Messages the stand-in host window answers (sent from the test thread).
#define HOST_MSG_FOCUS_PANEL (WM_APP + 10)   // wParam 0 left, 1 right: foreground + focus
#define HOST_MSG_MOVE (WM_APP + 11)          // lParam: const RECT* new window rect; raises the location event
#define HOST_MSG_FOCUS_NONE (WM_APP + 12)    // foreground, no focused control
#define HOST_MSG_SHOW_OTHER (WM_APP + 13)    // another program's window in front

struct OverlayWorld {
    std::wstring dir;        // temp folder of this program's run
    std::wstring logPath;    // Fleetfinder.log of the plug-in code in this process
    std::wstring cfgPath;
    HWND host = nullptr;     // class "TTOTAL_CMD"
    HWND panels[2] = {};
    HWND other = nullptr;    // a window of another class
    FfTestEngine engine;

    // Starts the host thread, the engine (indexing alpha01..alpha25 and beta1..beta3) and loads
    // settings from a cfg with the given [Display] lines; installs the hotkey hook on this thread.
    bool Start(const std::string& displayLines = "");
    // Rewrites the cfg with these "Key=value\r\n" lines in [Display] and loads it again.
    void LoadSettings(const std::string& displayLines);

    size_t CountLog(const char* needle) const;
    std::string LastSearchLine() const;  // last "FfRunSearchNow:" line, or ""
    RECT PanelRect(int i) const;
    RECT OverlayRect() const;
    bool OverlayVisible() const;
};

OverlayWorld& World();

// Key and text input, sent from a helper thread while this thread keeps pumping messages.
void SendChord(std::initializer_list<WORD> keys); // presses keys in order, releases in reverse
void SendText(const std::wstring& text);         // unicode characters
// Per-key counts of what the host's panels received, and what a later low-level hook saw.
int HostKeyDowns(WORD vk);
int HostKeyUps(WORD vk);
int HostChars();
int HostPreviousDirCommands();  // command 570 received by the host window
int PassedKeyDowns(WORD vk);
int PassedKeyUps(WORD vk);
void ResetKeyCounts();
