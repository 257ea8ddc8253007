// The demo session: a sample tree, the stand-ins, and one user session played through real input.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "enginectl.h"
#include "hostctl.h"

struct FfDemo {
    std::wstring outDir;      // out\demo
    std::wstring sampleDir;   // the folder tree the engine indexes
    std::wstring pluginDir;   // the plug-in's own folder (its cfg and log land here)
    std::wstring pluginPath;  // the plug-in library inside it
    std::wstring iniPath;     // the host's fresh wincmd.ini
    std::wstring targetDir;   // the other panel's folder, where copies go
    std::wstring engineDir;   // the portable engine's folder: its ini and Filters.csv
    FfEngineOptions engineOptions;  // the session starts the engine itself, after showing it missing
    FfTestEngine engine;
    FfHostCtl host;
    FILE* transcript = nullptr;
    int shots = 0;
    int failures = 0;
};

// demo_sample.cpp: a tree of a few thousand files of varied names, sizes, dates and extensions.
bool FfDemoMakeSample(const std::wstring& root, int* fileCount);
// The engine's Everything.ini and Filters.csv as version 1.4 writes them (stock rows, upper-case keys).
bool FfDemoWriteEngineConfig(const std::wstring& folder);

// demo_steps.cpp
void FfDemoSay(FfDemo& d, const char* fmt, ...);
bool FfDemoStep(FfDemo& d, const char* title, bool ok, const std::string& detail);
void FfDemoShot(FfDemo& d, const char* label);
bool FfDemoRunSession(FfDemo& d);
