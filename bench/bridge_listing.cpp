// The host's view of the virtual folder: listing 500 published entries and 500 Path lookups,
// against listing a real folder of 500 files through the same calls (the floor).
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "bench_util.h"
#include "bridge/bridge.h"
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"

static int ListAll(const char* path)
{
    WIN32_FIND_DATAA data;
    HANDLE handle = FsFindFirst((char*)path, &data);
    int count = 0;
    if (handle == INVALID_HANDLE_VALUE) return 0;
    do ++count; while (FsFindNext(handle, &data));
    FsFindClose(handle);
    return count;
}

template <typename F> static double MedianMs(F work)
{
    std::vector<double> times;
    for (int run = 0; run < 15; ++run) {
        double start = FfBenchNow();
        work();
        times.push_back(FfBenchNow() - start);
    }
    return FfBenchMedian(times);
}

int main()
{
    InitializeCriticalSection(&g_listingLock);
    g_logPath[0] = 0;
    std::wstring dir = FfTestMakeTempDir(L"bench_listing");
    CreateDirectoryW((dir + L"\\real").c_str(), nullptr);
    std::vector<std::string> names;
    for (int i = 0; i < FF_PANEL_LISTING_MAX; ++i) {
        wchar_t name[64];
        FfFormatText(name, 64, L"document %03d.txt", i);
        FfTestWriteBytes(dir + L"\\real\\" + name, "x");
        FfPanelEntry* entry = &g_panelListing[i];
        FfCopyText(entry->name, FF_PANEL_NAME_CHARS, name);
        FfCopyText(entry->realPath, FF_PANEL_PATH_CHARS, (dir + L"\\real\\" + name).c_str());
        entry->isFolder = 0;
        entry->size = 1;
        char narrow[64];
        WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, 64, nullptr, nullptr);
        names.push_back(std::string("\\") + narrow);
    }
    g_panelListingCount = FF_PANEL_LISTING_MAX;
    // The real folder is reached as a published folder (the last entry) by pass-through.
    FfCopyText(g_panelListing[499].name, FF_PANEL_NAME_CHARS, L"real");
    FfCopyText(g_panelListing[499].realPath, FF_PANEL_PATH_CHARS, (dir + L"\\real").c_str());
    g_panelListing[499].isFolder = 1;

    int listed = 0, realListed = 0;
    double root = MedianMs([&] { listed = ListAll("\\"); });
    double real = MedianMs([&] { realListed = ListAll("\\real"); });
    double lookups = MedianMs([&] {
        char value[2048];
        for (const std::string& name : names) FsContentGetValue((char*)name.c_str(), 0, 0, value, sizeof(value), 0);
    });
    printf("list %d published entries:        %8.3f us/entry\n", listed, root * 1000.0 / listed);
    printf("%d Path lookups (worst: linear):  %8.2f us/lookup\n", (int)names.size(), lookups * 1000.0 / names.size());
    printf("list a real folder of %d files:   %8.2f us/entry (floor)\n", realListed, real * 1000.0 / realListed);
    printf("ratios to the floor: listing %.4fx, lookups %.4fx\n", (root / listed) / (real / realListed),
           (lookups / names.size()) / (real / realListed));
    return 0;
}
