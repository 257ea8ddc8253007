// The overlay's test world: a stand-in host window on its own thread, the stand-in engine, and the
// plug-in's overlay and hotkey hook in this process. Used by the list and overlay tests.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>
#include "fftest.h"
#include "enginectl.h"

// Messages the stand-in host window answers (sent from the test thread).
#define HOST_MSG_FOCUS_PANEL (WM_APP + 10)   // wParam 0 left, 1 right: foreground + focus
#define HOST_MSG_MOVE (WM_APP + 11)          // lParam: const RECT* new window rect; raises the location event
#define HOST_MSG_FOCUS_NONE (WM_APP + 12)    // foreground, no focused control
#define HOST_MSG_SHOW_OTHER (WM_APP + 13)    // another program's window in front

struct OverlayWorld {
    std::wstring dir;      // this run's temp folder; the host's wincmd.ini lives here
    std::wstring files;    // the engine's tree: alpha01..alpha25.txt, beta1..beta3.txt
    std::wstring logPath;  // Fleetfinder.log of the plug-in code in this process
    std::wstring cfgPath;
    HWND host = nullptr;   // class "TTOTAL_CMD"
    HWND panels[2] = {};
    HWND other = nullptr;  // a window of another class
    FfTestEngine engine;

    bool Start();
    // Rewrites the cfg with these "Key=value\r\n" lines first in [Display] and loads it again.
    void LoadSettings(const std::string& displayLines);
    size_t CountLog(const char* needle) const;
    std::string LastSearchLine() const;  // last "FfRunSearchNow:" line, or ""
    bool OverlayVisible() const;
};

OverlayWorld& World();
RECT RectOf(HWND window);  // screen rectangle; empty for no window

// Opens the overlay over a host panel and cancels the empty search the opening arms (it only
// clears the list, and would clear results a test puts there). True when shown and empty.
bool OpenOverlay(int panel = 0);
// Types text into the search box the way a program does and waits for its search.
bool SearchAndWait(const wchar_t* text);
// Gives a control of the overlay the focus: the host's late activation can take it back.
bool FocusControl(HWND control);

// Key input from a helper thread while this thread keeps pumping messages.
void SendChord(std::initializer_list<WORD> keys);  // presses keys in order, releases in reverse
void SendKey(WORD vk, bool down);
void SendText(const std::wstring& text);           // unicode characters
// Per-key counts of what the host's windows received, and what a later low-level hook saw.
int HostKeyDowns(WORD vk);
int PassedKeyDowns(WORD vk);
int PassedKeyUps(WORD vk);
void ResetKeyCounts();

// Fresh settings, closed overlay, zero key counts and the pointer out of the way for each test.
class OverlayTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};
