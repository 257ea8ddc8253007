// Benchmark: one search run of 500 results (file and folder pass, list refill) against two bare exchanges.
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

static bool g_benchAnswered = false;

static LRESULT CALLBACK FfBenchClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        g_benchAnswered = true;
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

static bool FfBenchSend(HWND engine, HWND client, const std::string& record)
{
    COPYDATASTRUCT cds = {18, (DWORD)record.size(), (void*)record.data()};
    g_benchAnswered = false;
    SendMessageW(engine, WM_COPYDATA, (WPARAM)client, (LPARAM)&cds);
    return g_benchAnswered;
}

int main()
{
    const int runs = 101, perPass = 250;
    FfEngineOptions o;
    o.instance = FfEngineUniqueInstance(L"benchrun");
    for (int i = 0; i < 300; i++) {
        FfEngineItem file;
        file.path = L"C:\\bench\\sub" + std::to_wstring(i % 7) + L"\\benchfile" + std::to_wstring(i) + L".dat";
        file.size = 1000ull * i;
        // Dates spread over years, a different minute each, as a real result set has them.
        const unsigned long long hour = 36000000000ull;
        file.modified = 132000000000000000ull + (unsigned long long)i * (37 * hour + hour / 60 * 13);
        o.items.push_back(file);
        FfEngineItem folder;
        folder.path = L"C:\\bench\\benchdir" + std::to_wstring(i);
        folder.isFolder = true;
        folder.modified = 131000000000000000ull + (unsigned long long)i * (53 * hour + hour / 60 * 7);
        o.items.push_back(folder);
    }
    FfTestEngine engine;
    if (!engine.Start(o, 60000)) {
        printf("engine did not start\n");
        return 1;
    }

    g_moduleHandle = GetModuleHandleW(nullptr);
    g_settings.sortType = 14;
    g_settings.maxResults = perPass;
    g_overlayWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
    g_searchBox = CreateWindowExW(0, L"EDIT", L"bench", WS_CHILD, 0, 0, 10, 10, g_overlayWindow, nullptr,
                                  g_moduleHandle, nullptr);
    g_resultList = CreateWindowExW(0, L"LISTBOX", L"", FF_RESULT_LIST_STYLE, 0, 0, 10, 10,
                                   g_overlayWindow, nullptr, g_moduleHandle, nullptr);
    g_filterCount = 0;
    FfAppendFilter(L"<All Files>", L"");
    g_selectedFilter = 0;

    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfBenchClientProc;
    wc.hInstance = g_moduleHandle;
    wc.lpszClassName = L"FfBenchSearchClient";
    RegisterClassW(&wc);
    HWND client = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    FfEngineQueryArgs fileArgs, folderArgs;
    fileArgs.text = L"bench file:";
    folderArgs.text = L"bench folder:";
    fileArgs.maxResults = folderArgs.maxResults = perPass;
    fileArgs.sortType = folderArgs.sortType = 14;
    std::string fileRecord = FfEngineBuildQueryRecord((DWORD)(UINT_PTR)client, fileArgs);
    std::string folderRecord = FfEngineBuildQueryRecord((DWORD)(UINT_PTR)client, folderArgs);

    FfRunSearchNow();  // warms the engine's sort order and the reply window class
    int bad = g_resultCount == 2 * perPass ? 0 : 1;
    std::vector<double> run, floor;
    for (int i = 0; i < runs; ++i) {
        double start = FfBenchNow();
        FfRunSearchNow();
        run.push_back(FfBenchNow() - start);
        if (g_resultCount != 2 * perPass) ++bad;
        start = FfBenchNow();
        bool a = FfBenchSend(engine.window, client, fileRecord);
        bool b = FfBenchSend(engine.window, client, folderRecord);
        floor.push_back(FfBenchNow() - start);
        if (!a || !b) ++bad;
    }
    // Where the time goes: the two exchanges alone, and the list refill alone.
    std::vector<double> exchanges, order, refill, coldRefill;
    for (int i = 0; i < runs; ++i) {
        int n1 = 0, n2 = 0;
        double start = FfBenchNow();
        FfRunEverythingQuery(nullptr, L"bench", L"file:", g_results, perPass, &n1);
        FfRunEverythingQuery(nullptr, L"bench", L"folder:", g_results + n1, perPass, &n2);
        exchanges.push_back(FfBenchNow() - start);
        g_resultCount = n1 + n2;
        start = FfBenchNow();
        FfOrderFilesBeforeFolders(g_results, g_resultCount);
        order.push_back(FfBenchNow() - start);
        start = FfBenchNow();
        FfResetResultList();
        refill.push_back(FfBenchNow() - start);
        // The same refill when none of the dates has been measured before (a first search).
        FfForgetDateWidths();
        start = FfBenchNow();
        FfResetResultList();
        coldRefill.push_back(FfBenchNow() - start);
    }
    printf("parts: the two exchanges %.3f ms, files before folders %.3f ms, the list refill %.3f ms\n",
           FfBenchMedian(exchanges), FfBenchMedian(order), FfBenchMedian(refill));
    printf("the list refill with no date measured before: %.3f ms\n", FfBenchMedian(coldRefill));
    // The refill measures every result's date text: that share of it, with dates a day apart.
    std::vector<double> dates;
    for (int i = 0; i < runs; ++i) {
        double start = FfBenchNow();
        for (int k = 0; k < 2 * perPass; ++k) {
            unsigned long long t = 132000000000000000ull + 864000000000ull * (unsigned long long)k;
            FILETIME ft = {(DWORD)t, (DWORD)(t >> 32)};
            FfFormatDateTime(ft);
        }
        dates.push_back(FfBenchNow() - start);
    }
    printf("of which %d date texts: %.3f ms\n", 2 * perPass, FfBenchMedian(dates));
    double mr = FfBenchMedian(run), mf = FfBenchMedian(floor);
    printf("search run: %d results (%d files, %d folders), median %.3f ms over %d runs\n", g_resultCount, perPass,
           perPass, mr, runs);
    printf("floor: two bare exchanges with the same queries and replies, median %.3f ms\n", mf);
    printf("ratio search run / floor: %.2f (target 1.2 or less)\n", mf > 0 ? mr / mf : 0.0);
    if (bad) printf("%d runs or exchanges came back short\n", bad);
    DestroyWindow(client);
    DestroyWindow(g_overlayWindow);
    return bad ? 1 : 0;
}
