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

// The host's two roads into the plug-in: the 8-bit functions and their Unicode twins. Each call
// takes wide text; the 8-bit road narrows it as the host got it from the plug-in (a character
// the code page lacks becomes "?"). A null text stays null.
enum FfRoad { FF_ROAD_ANSI, FF_ROAD_WIDE };
const FfRoad kFfRoads[] = {FF_ROAD_ANSI, FF_ROAD_WIDE};
const char* FfRoadName(FfRoad road);
// A name as the road hands it to the host, widened back.
std::wstring FfRoadName(FfRoad road, const std::wstring& name);
struct FfListed {
    std::wstring name;
    DWORD attributes;
    unsigned long long size;
    unsigned long long modified;
};
// Lists a virtual path through FindFirst, FindNext and FindClose; an invalid handle lists
// nothing. *lastError: after the last FindNext (after FindFirst when it gave no handle).
std::vector<FfListed> FfRoadList(FfRoad road, const wchar_t* path, DWORD* lastError = nullptr);
int FfRoadGetFile(FfRoad road, const wchar_t* remote, const wchar_t* local, int flags);
int FfRoadExecute(FfRoad road, const wchar_t* remote, const wchar_t* verb);
BOOL FfRoadDelete(FfRoad road, const wchar_t* remote);
bool FfRoadResolve(FfRoad road, const wchar_t* path, wchar_t* real, int* isFolder);
// FsContentGetValue(W) (fs) or ContentGetValue(W); the value widened into *value. maxLen is
// the buffer's length in the road's units (bytes, characters).
int FfRoadValue(FfRoad road, bool fs, const wchar_t* file, int field, std::wstring* value, int maxLen = 256);

// The 8-bit (ANSI) form of a wide text, as the host would pass it.
std::string FfBridgeAnsi(const std::wstring& text);
std::wstring FfBridgeWide(const char* text);
