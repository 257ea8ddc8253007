// The host's view of the virtual folder: listing 500 published entries and 500 Path lookups,
// against listing a real folder of 500 files through the same calls (the floor).
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "bench_util.h"
#include "bridge/listing_internal.h"
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

int main()
{
    InitializeCriticalSection(&g_listingLock);
    g_logPath[0] = 0;
    std::wstring dir = FfTestMakeTempDir(L"bench_listing");
    CreateDirectoryW((dir + L"\\real").c_str(), nullptr);
    std::vector<std::string> names;
    const int entries = 500;
    for (int i = 0; i < entries - 1; ++i) {
        wchar_t name[64];
        FfFormatText(name, 64, L"document %03d.txt", i);
        FfTestWriteBytes(dir + L"\\real\\" + name, "x");
        FfListingAddEntry(name, (dir + L"\\real\\" + name).c_str(), 1, 0, 0);
        char narrow[64];
        WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, 64, nullptr, nullptr);
        names.push_back(std::string("\\") + narrow);
    }
    FfTestWriteBytes(dir + L"\\real\\document 499.txt", "x");
    // The real folder is reached as a published folder (the last entry) by pass-through.
    FfListingAddEntry(L"real", (dir + L"\\real").c_str(), 0, 0, 1);

    // Per entry, so that the published listing and the real folder compare as they stand.
    int listed = 0, realListed = 0;
    auto real = [&] { return FfBenchTime([&] { realListed = ListAll("\\real"); }) / (realListed > 0 ? realListed : 1); };
    FfBenchPairs listing = FfBenchRunPairs(
        15, 1, [&] { return FfBenchTime([&] { listed = ListAll("\\"); }) / (listed > 0 ? listed : 1); }, real);
    FfBenchPairs lookups = FfBenchRunPairs(
        15, 1,
        [&] {
            char value[2048];
            double ms = FfBenchTime([&] {
                for (const std::string& name : names) FsContentGetValue((char*)name.c_str(), 0, 0, value, sizeof(value), 0);
            });
            return ms / names.size();
        },
        real);
    printf("%d published entries listed, %d Path lookups, a real folder of %d files\n", listed, (int)names.size(),
           realListed);
    FfBenchReport("listing, per published entry", "per real file", listing, 0);
    FfBenchReport("Path lookup (hashed), per entry", "per real file", lookups, 0);
    return 0;
}
