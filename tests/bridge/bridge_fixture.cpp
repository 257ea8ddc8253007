// Shared helpers of the bridge tests.
#include "bridge_fixture.h"
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
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer, sizeof(buffer), nullptr, nullptr);
    return n > 0 ? std::string(buffer) : std::string();
}

std::wstring FfBridgeWide(const char* text)
{
    wchar_t buffer[4096];
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, 4096);
    return n > 0 ? std::wstring(buffer) : std::wstring();
}
