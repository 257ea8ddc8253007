// Shared helpers of the bridge tests.
#include "bridge_fixture.h"
#include <gtest/gtest.h>
#include <string.h>
#include <wchar.h>
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include "search/search.h"

void FfBridgeInitLock()
{
    static bool done = false;
    if (!done) {
        InitializeCriticalSection(&g_listingLock);
        done = true;
    }
}

FfBridgeLog::FfBridgeLog(const wchar_t* tag)
{
    FfBridgeInitLock();
    dir = FfTestMakeTempDir(tag);
    path = dir + L"\\Fleetfinder.log";
    FfCopyText(g_logPath, FF_PATH_CHARS, path.c_str());
    g_settings.loggingEnabled = 1;
}

FfBridgeLog::~FfBridgeLog()
{
    g_logPath[0] = 0;
}

std::vector<std::wstring> FfBridgeLog::Lines() const
{
    std::wstring text = FfTestWide(FfTestReadBytes(path));
    std::vector<std::wstring> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        size_t stamp = line.find(L"] ");
        if (!line.empty() && line[0] == L'[' && stamp != std::wstring::npos) line = line.substr(stamp + 2);
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

int FfBridgeLog::Count(const std::wstring& needle) const
{
    int count = 0;
    for (const std::wstring& line : Lines()) count += line.find(needle) != std::wstring::npos;
    return count;
}

void FfBridgeSetListing(const std::vector<FfTestEntry>& entries)
{
    FfBridgeInitLock();
    EnterCriticalSection(&g_listingLock);
    g_panelListingCount = 0;
    for (const FfTestEntry& e : entries) {
        FfPanelEntry* entry = &g_panelListing[g_panelListingCount++];
        FfCopyText(entry->name, FF_PANEL_NAME_CHARS, e.name.c_str());
        FfCopyText(entry->realPath, FF_PANEL_PATH_CHARS, e.realPath.c_str());
        entry->isFolder = e.isFolder;
        entry->size = e.size;
        entry->modified = e.modified;
    }
    LeaveCriticalSection(&g_listingLock);
}

std::vector<std::wstring> FfBridgeListingNames()
{
    std::vector<std::wstring> names;
    EnterCriticalSection(&g_listingLock);
    for (int i = 0; i < g_panelListingCount; ++i) names.push_back(g_panelListing[i].name);
    LeaveCriticalSection(&g_listingLock);
    return names;
}

void FfBridgeSetResults(const std::vector<std::wstring>& paths)
{
    g_resultCount = 0;
    for (std::wstring path : paths) {
        FfResult* result = &g_results[g_resultCount];
        ZeroMemory(result, sizeof(*result));
        if (!path.empty() && path.back() == L'\\') {
            path.pop_back();
            result->isFolder = 1;
        }
        FfCopyText(result->path, FF_RESULT_PATH_MAX, path.c_str());
        result->size = 100 + g_resultCount;
        result->modified.dwLowDateTime = 1000 + g_resultCount;
        result->modified.dwHighDateTime = 7;
        ++g_resultCount;
    }
}

std::string FfBridgeAnsi(const std::wstring& text)
{
    char buffer[4096];
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, buffer, sizeof(buffer), nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}

std::wstring FfBridgeWide(const char* text)
{
    wchar_t buffer[4096];
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 4096);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}

const char* FfRoadName(FfRoad road)
{
    return road == FF_ROAD_WIDE ? "wide road" : "8-bit road";
}

std::wstring FfRoadName(FfRoad road, const std::wstring& name)
{
    return road == FF_ROAD_WIDE ? name : FfBridgeWide(FfBridgeAnsi(name).c_str());
}

// A writable 8-bit copy of a wide text, null for null.
struct FfRoadAnsi {
    std::string text;
    bool null;
    explicit FfRoadAnsi(const wchar_t* wide) : text(wide ? FfBridgeAnsi(wide) : ""), null(!wide) {}
    char* get() { return null ? nullptr : &text[0]; }
};

static FfListed FfListedOf(const WIN32_FIND_DATAW& data)
{
    EXPECT_EQ(data.cAlternateFileName[0], 0);
    return {data.cFileName, data.dwFileAttributes, ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow,
            ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime};
}

static FfListed FfListedOf(const WIN32_FIND_DATAA& data)
{
    EXPECT_EQ(data.cAlternateFileName[0], 0);
    return {FfBridgeWide(data.cFileName), data.dwFileAttributes,
            ((unsigned long long)data.nFileSizeHigh << 32) | data.nFileSizeLow,
            ((unsigned long long)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime};
}

template <class Data, class Next>
static std::vector<FfListed> FfListFrom(HANDLE handle, Data* data, Next next, DWORD* lastError)
{
    std::vector<FfListed> items;
    if (lastError) *lastError = GetLastError();
    if (handle == INVALID_HANDLE_VALUE) return items;  // an empty folder
    do {
        items.push_back(FfListedOf(*data));
    } while (next(handle, data));
    if (lastError) *lastError = GetLastError();
    EXPECT_EQ(next(handle, data), FALSE);  // stays at its end
    EXPECT_EQ(FsFindClose(handle), 0);
    return items;
}

std::vector<FfListed> FfRoadList(FfRoad road, const wchar_t* path, DWORD* lastError)
{
    if (road == FF_ROAD_WIDE) {
        WIN32_FIND_DATAW data;
        memset(&data, 0xCC, sizeof(data));
        std::wstring copy = path ? path : L"";
        HANDLE handle = FsFindFirstW(path ? &copy[0] : nullptr, &data);
        return FfListFrom(handle, &data, FsFindNextW, lastError);
    }
    WIN32_FIND_DATAA data;
    memset(&data, 0xCC, sizeof(data));
    FfRoadAnsi ansi(path);
    HANDLE handle = FsFindFirst(ansi.get(), &data);
    return FfListFrom(handle, &data, FsFindNext, lastError);
}

int FfRoadGetFile(FfRoad road, const wchar_t* remote, const wchar_t* local, int flags)
{
    if (road == FF_ROAD_WIDE) return FsGetFileW((WCHAR*)remote, (WCHAR*)local, flags, nullptr);
    FfRoadAnsi r(remote), l(local);
    return FsGetFile(r.get(), l.get(), flags, nullptr);
}

int FfRoadExecute(FfRoad road, const wchar_t* remote, const wchar_t* verb)
{
    if (road == FF_ROAD_WIDE) return FsExecuteFileW(nullptr, (WCHAR*)remote, (WCHAR*)verb);
    FfRoadAnsi r(remote), v(verb);
    return FsExecuteFile(nullptr, r.get(), v.get());
}

BOOL FfRoadDelete(FfRoad road, const wchar_t* remote)
{
    if (road == FF_ROAD_WIDE) return FsDeleteFileW((WCHAR*)remote);
    FfRoadAnsi r(remote);
    return FsDeleteFile(r.get());
}

bool FfRoadResolve(FfRoad road, const wchar_t* path, wchar_t* real, int* isFolder)
{
    if (road == FF_ROAD_WIDE) return FfResolveVirtualPathW(path, real, isFolder);
    FfRoadAnsi p(path);
    return FfResolveVirtualPath(p.get(), real, isFolder);
}

int FfRoadValue(FfRoad road, bool fs, const wchar_t* file, int field, std::wstring* value, int maxLen)
{
    int type;
    if (road == FF_ROAD_WIDE) {
        wchar_t buffer[512];
        wmemset(buffer, L'z', 512);
        type = fs ? FsContentGetValueW((WCHAR*)file, field, 0, buffer, maxLen * 2, 0)
                  : ContentGetValueW((WCHAR*)file, field, 0, buffer, maxLen * 2, 0);
        *value = std::wstring(buffer, wcsnlen(buffer, 512));
        return type;
    }
    char buffer[512];
    memset(buffer, 'z', 512);
    FfRoadAnsi f(file);
    type = fs ? FsContentGetValue(f.get(), field, 0, buffer, maxLen, 0) : ContentGetValue(f.get(), field, 0, buffer, maxLen, 0);
    *value = FfBridgeWide(std::string(buffer, strnlen(buffer, 512)).c_str());
    return type;
}
