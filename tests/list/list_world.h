// A stand-in host window on its own thread, the stand-in engine and the plug-in's overlay in this process.
#pragma once
#include <windows.h>
#include <string>
#include "fftest.h"
#include "enginectl.h"

struct ListWorld {
    std::wstring dir;      // this run's temp folder
    std::wstring files;    // the engine's indexed tree
    std::wstring logPath;  // Fleetfinder.log written by the plug-in code in this process
    std::wstring cfgPath;  // Fleetfinder.cfg
    HWND host = nullptr;   // class "TTOTAL_CMD", on its own thread
    HWND panel = nullptr;  // its focused file panel
    FfTestEngine engine;

    bool Start();
    size_t CountLog(const char* needle) const;
    std::string ReadCfg() const;
};

ListWorld& TheWorld();

// Opens the overlay over the host's panel and waits for the empty search the opening arms.
bool OpenOverlayAndSettle();
// Types text into the search box the way a program does and waits for its search.
bool SearchAndWait(const wchar_t* text);
// Replaces the result set by count made-up results (every fourth one a folder) and refills the list.
void FillMadeUpResults(int count);
// Key input from a helper thread while this thread keeps pumping (keys pressed in order, released
// in reverse).
void PressChord(std::initializer_list<WORD> keys);
// Presses (down) or releases one key from a helper thread and pumps until it has been sent. Keys
// whose handler reads the live modifier state are pressed between a modifier's down and up.
void SendKey(WORD vk, bool down);
