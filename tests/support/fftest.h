// What every test program needs once: the test bed's driver, the plug-in's log pointed at a file
// and read back, environment variables set for a while.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include "driver.h"
#include "enginectl.h"
#include "hostctl.h"

// Points the plug-in's log (and its engine debug log) at fresh files in a new temporary folder,
// logging on, for the object's life; settings and log paths are put back afterwards.
struct FfTestLog {
    std::wstring dir;   // the folder; Fleetfinder.cfg of g_settings.configPath lives here too
    std::wstring path;  // Fleetfinder.log
    explicit FfTestLog(const wchar_t* tag, bool debug = false);
    ~FfTestLog();
    std::wstring Text() const;       // the log as written (without a byte-order mark)
    std::wstring DebugText() const;  // Fleetfinder.debug.log
    int Count(const std::wstring& needle) const;  // occurrences in Text()
};

// Sets an environment variable of this process for the object's life (null: unset).
struct FfTestEnvVar {
    FfTestEnvVar(const wchar_t* name, const wchar_t* value);
    ~FfTestEnvVar();
    std::wstring name, saved;
    bool had = false;
};
