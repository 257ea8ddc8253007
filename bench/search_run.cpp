// Benchmark: one search run of 500 results (file and folder pass, list refill) against two bare exchanges,
// as typing repeats it and as the first one after an opening; and the next page of files, put into the list
// before the folders, against its one bare exchange.
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <vector>
#include "bench_util.h"
#include "core/core.h"
#include "enginectl.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

// The overlay's part: each landing refills the list (a page puts its rows in), as the overlay window does.
static LRESULT CALLBACK FfBenchOverlayProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_FF_SEARCH_UPDATED) {
        FfOnSearchUpdated(wp != 0);
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

// Pumps this thread's messages until the search under way has ended.
static void FfBenchFinishSearch()
{
    MSG msg;
    while (g_searchRun.active && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int main()
{
    const int runs = 101, perPass = 250;
    FfEngineOptions o;
    o.instance = FfEngineUniqueInstance(L"benchrun");
    FfBenchAddResultItems(o, 600);  // more files than two pages
    FfTestEngine engine;
    if (!engine.Start(o, 60000)) {
        printf("engine did not start\n");
        return 1;
    }

    g_moduleHandle = GetModuleHandleW(nullptr);
    g_settings.sortType = 14;
    g_settings.maxResults = perPass;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfBenchOverlayProc;
    wc.hInstance = g_moduleHandle;
    wc.lpszClassName = L"FfBenchOverlay";
    RegisterClassW(&wc);
    g_overlayWindow = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
    g_searchBox = CreateWindowExW(0, L"EDIT", L"bench", WS_CHILD, 0, 0, 10, 10, g_overlayWindow, nullptr,
                                  g_moduleHandle, nullptr);
    g_resultList = CreateWindowExW(0, L"LISTBOX", L"", FF_RESULT_LIST_STYLE, 0, 0, 10, 10,
                                   g_overlayWindow, nullptr, g_moduleHandle, nullptr);
    g_filterCount = 0;
    FfAppendFilter(L"<All Files>", L"");
    g_selectedFilter = 0;

    FfBenchBareSearch bare = FfBenchMakeBareSearch(perPass);

    FfRunSearchNow();  // warms the engine's sort order and the reply window class
    FfBenchFinishSearch();
    int bad = g_resultCount == 2 * perPass ? 0 : 1;
    // One timed run; after an opening, the opening's theme application (untimed) comes first.
    auto timedRun = [&](bool afterOpening) {
        if (afterOpening) FfApplyOverlayTheme();
        double ms = FfBenchTime([] {
            FfRunSearchNow();
            FfBenchFinishSearch();
        });
        return g_resultCount == 2 * perPass ? ms : -1.0;
    };
    auto bareMs = [&] { return FfBenchBareSearchMs(engine.window, bare); };
    FfBenchPairs r = FfBenchRunPairs(runs, 2, [&] { return timedRun(false); }, bareMs);
    // The date column's width is known for the font and pictures, so the first search after an
    // opening costs what the others do.
    FfBenchPairs first = FfBenchRunPairs(runs, 2, [&] { return timedRun(true); }, bareMs);
    // Where the time goes: the search's two passes without the list, and the list refill alone.
    std::vector<double> exchanges, refill;
    for (int i = 0; i < runs; ++i) {
        exchanges.push_back(FfBenchTime([&] {
            FfStartSearch(L"bench", nullptr, nullptr);
            FfBenchFinishSearch();
        }));
        if (g_resultCount != 2 * perPass) bad++;
        refill.push_back(FfBenchTime([] { FfResetResultList(); }));
    }
    printf("parts: the plug-in's two passes %.3f ms, the list refill %.3f ms\n", FfBenchMedian(exchanges),
           FfBenchMedian(refill));
    // The next page: files 250..499, asked after a run (untimed) and put in before its folders.
    FfEngineQueryArgs pageArgs;
    pageArgs.text = L"bench file:", pageArgs.maxResults = perPass, pageArgs.sortType = 14, pageArgs.firstResult = perPass;
    std::string pageRecord = FfEngineBuildQueryRecord((DWORD)(UINT_PTR)bare.client, pageArgs);
    auto timedPage = [&] {
        FfRunSearchNow();
        FfBenchFinishSearch();
        int before = g_resultCount;
        double ms = FfBenchTime([] {
            FfAskNextPage();
            FfBenchFinishSearch();
        });
        return g_resultCount == before + perPass && g_searchRun.pageAt == perPass ? ms : -1.0;
    };
    FfBenchPairs page = FfBenchRunPairs(runs, 2, timedPage, [&] {
        return FfBenchExchange(engine.window, bare.client, 18, pageRecord.data(), (DWORD)pageRecord.size());
    });
    FfBenchReport("search run, 500 results", "two bare exchanges", r, 1.2);
    FfBenchReport("first search run after an opening, 500 results", "two bare exchanges", first, 1.2);
    FfBenchReport("the next page of 250 files put in before the folders", "its bare exchange", page, 1.2);
    bad += r.failed + first.failed + page.failed;
    if (bad) printf("%d runs or exchanges came back short\n", bad);
    DestroyWindow(bare.client);
    DestroyWindow(g_overlayWindow);
    return bad ? 1 : 0;
}
