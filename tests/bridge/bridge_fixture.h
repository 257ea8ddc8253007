// Shared helpers of the bridge tests: the lock, a private log, listing and result set up.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "bridge/bridge.h"

// Initialises g_listingLock once (process attach does it in the real module).
void FfBridgeInitLock();

// Points the log at a fresh file in a new temp folder for the object's life.
struct FfBridgeLog {
    std::wstring dir;
    std::wstring path;
    explicit FfBridgeLog(const wchar_t* tag);
    ~FfBridgeLog();
    // The message part of every line written so far (timestamp removed).
    std::vector<std::wstring> Lines() const;
    int Count(const std::wstring& needle) const;  // lines containing needle
};

struct FfTestEntry {
    std::wstring name;
    std::wstring realPath;
    int isFolder = 0;
    unsigned long long size = 0;
    unsigned long long modified = 0;
};
// Replaces the listing (under the lock).
void FfBridgeSetListing(const std::vector<FfTestEntry>& entries);
std::vector<std::wstring> FfBridgeListingNames();

// Replaces the result set with the given paths (files unless the path ends in a backslash,
// which is removed and makes a folder).
void FfBridgeSetResults(const std::vector<std::wstring>& paths);

// The 8-bit (ANSI) form of a wide text, as the host would pass it.
std::string FfBridgeAnsi(const std::wstring& text);
std::wstring FfBridgeWide(const char* text);
