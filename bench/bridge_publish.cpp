// Publishing 1,000, 10,000 and 100,000 results whose names collide in runs (50 base names),
// against a bare listing of the same final names built in the same run: time, the memory the
// listing holds, the process's peak, and the time per entry across the sizes.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "bench_util.h"
#include "bridge/listing_internal.h"
#include "core/core.h"
#include "core/text.h"
#include "overlay/list.h"
#include "search/search.h"

static void FillResults(int n)
{
    FfClearResults();
    wchar_t path[96];
    FILETIME modified = {1, 0};
    for (int i = 0; i < n; ++i) {
        int length = FfFormatText(path, 96, L"C:\\data\\folder %06d\\quarterly report %02d.xlsx", i, i % 50);
        FfAppendResult(path, length, (unsigned long long)i, modified, 0);
    }
}

static double PeakPrivateMb()
{
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return (double)counters.PeakPagefileUsage / (1024.0 * 1024.0);
}

int main()
{
    InitializeCriticalSection(&g_listingLock);
    g_logPath[0] = 0;
    HWND host = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
    const int sizes[] = {1000, 10000, 100000}, pairs[] = {15, 9, 5};
    double perEntry[3] = {0, 0, 0}, floorPerEntry[3] = {0, 0, 0};
    bool wrong = false;
    for (int s = 0; s < 3; ++s) {
        const int n = sizes[s];
        // The names and paths publishing gives, to build the bare listing from.
        FillResults(n);
        FfPublishResultsToWfx(host, nullptr, 0, false);
        std::vector<std::wstring> names, paths;
        for (int i = 0; i < g_panelListingCount; ++i) names.push_back(g_panelListing[i].name), paths.push_back(g_panelListing[i].realPath);
        wchar_t last[64];
        FfFormatText(last, 64, L"quarterly report %02d (%d).xlsx", (n - 1) % 50, n / 50);
        if ((int)names.size() != n || names.back() != last) wrong = true;
        SIZE_T listingBytes = 0;
        FfBenchPairs r = FfBenchRunPairs(
            pairs[s], 1,
            [&] {
                FillResults(n);
                double ms = FfBenchTime([&] { FfPublishResultsToWfx(host, nullptr, 0, false); });
                listingBytes = FfListingBytes();
                return g_panelListingCount == n ? ms : -1.0;
            },
            [&] {
                return FfBenchTime([&] {
                    EnterCriticalSection(&g_listingLock);
                    FfListingReplace(n);  // as publishing empties it
                    FfListingReserve(n);
                    for (int i = 0; i < n; ++i) FfListingAddEntry(names[i].c_str(), paths[i].c_str(), i, 1, 0);
                    LeaveCriticalSection(&g_listingLock);
                });
            });
        char label[64];
        snprintf(label, 64, "publish %d colliding names", n);
        FfBenchReport(label, "bare listing of the same names", r, 1.5);
        perEntry[s] = r.medianA * 1000.0 / n, floorPerEntry[s] = r.medianB * 1000.0 / n;
        printf("  %d entries: %.3f us per entry (bare listing %.3f); listing holds %.1f MB; process peak %.1f MB private\n", n, perEntry[s], floorPerEntry[s],
               (double)listingBytes / (1024.0 * 1024.0), PeakPrivateMb());
    }
    double lo = perEntry[0], hi = perEntry[0];
    for (double v : perEntry) lo = v < lo ? v : lo, hi = v > hi ? v : hi;
    printf("[%d-bit] time per entry across 1,000/10,000/100,000: %.3f / %.3f / %.3f us; largest over smallest %.2f; "
           "target 1.50 or less: %s\n",
           (int)(sizeof(void*) * 8), perEntry[0], perEntry[1], perEntry[2], lo > 0 ? hi / lo : 0.0,
           lo > 0 && hi / lo <= 1.5 ? "met" : "NOT met");
    // The floor's own spread: how much of the rise is the machine's caches, not the work per entry.
    printf("[%d-bit] bare listing per entry across the sizes: %.3f / %.3f / %.3f us\n", (int)(sizeof(void*) * 8),
           floorPerEntry[0], floorPerEntry[1], floorPerEntry[2]);
    if (wrong) {
        printf("unexpected listing names\n");
        return 1;
    }
    return 0;
}
