// Painting the result list with 100,000 results loaded against painting it with 200: the list is
// owner-drawn without row data, so a paint draws the rows in view and nothing else.
#include <windows.h>
#include <stdio.h>
#include "bench_util.h"
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

// Loads n results and scrolls the list to the middle; the list is sized as the overlay shows it.
static void Load(int n)
{
    FfClearResults();
    wchar_t path[96];
    FILETIME modified = {0x2A3C0000u, 0x01DA0000u};
    for (int i = 0; i < n; ++i) {
        int length = FfFormatText(path, 96, L"C:\\data\\folder %03d\\report %06d.%s", i % 997, i, i % 3 ? L"pdf" : L"txt");
        FfAppendResult(path, length, 1000ull * i, modified, 0);
    }
    FfResetResultList();
    SetWindowPos(g_overlayWindow, nullptr, 100, 100, 800, 640, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetWindowPos(g_resultList, nullptr, 0, 60, 800, 560, SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SendMessageW(g_resultList, LB_SETTOPINDEX, (WPARAM)(n / 2), 0);
    FfTestFlushEvents(20);
}

// Ten synchronous full repaints of the list; milliseconds per paint.
static double Paint()
{
    const int paints = 10;
    double ms = FfBenchTime([] {
        for (int i = 0; i < paints; ++i)
            RedrawWindow(g_resultList, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    });
    return ms / paints;
}

int main()
{
    InitializeCriticalSection(&g_listingLock);
    g_logPath[0] = 0;
    g_moduleHandle = GetModuleHandleW(nullptr);
    std::wstring dir = FfTestMakeTempDir(L"bench_paint");
    FfTestWriteBytes(dir + L"\\Fleetfinder.cfg", "[Display]\r\nMaxVisibleRows=20\r\nThemeMode=Dark\r\n");
    FfLoadSettingsFrom((dir + L"\\Fleetfinder.cfg").c_str());
    FfPrepareOverlay();
    if (!g_overlayWindow || !g_resultList) {
        printf("the overlay did not come up\n");
        return 1;
    }
    int rows = 0;
    FfBenchPairs r = FfBenchRunPairs(
        9, 1,
        [&] {
            Load(100000);
            rows = (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0);
            return rows == 100000 ? Paint() : -1.0;
        },
        [&] {
            Load(200);
            return Paint();
        });
    printf("list rows %d, top row %d\n", rows, (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0));
    FfBenchReport("paint the list, 100,000 loaded", "200 loaded", r, 1.1);
    return r.failed ? 1 : 0;
}
