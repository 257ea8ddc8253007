// Timing helpers shared by the benchmarks: a millisecond clock, the median of a sample, and the
// pair runner every benchmark reports through.
#pragma once
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "enginectl.h"

// Milliseconds from an arbitrary origin, at the performance counter's resolution.
inline double FfBenchNow()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// The middle value (the upper one of an even count); 0 for no values.
inline double FfBenchMedian(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Times one call of work in milliseconds.
template <typename F> double FfBenchTime(F work)
{
    double start = FfBenchNow();
    work();
    return FfBenchNow() - start;
}

// What a pair run found: the medians of the operation (a) and of its floor (b), and the median of
// the per-pair ratios a/b, which is what a benchmark is judged by.
struct FfBenchPairs {
    double medianA = 0, medianB = 0, ratio = 0;
    int pairs = 0;   // pairs that gave both times
    int failed = 0;  // pairs where a side reported a failure (a negative time)
};

// Alternates the operation and its floor (A B A B ...), each returning its time in ms or a
// negative value when it failed. A machine that speeds up or slows down over the run moves both
// sides of a pair alike, so the median of the per-pair ratios stays where it belongs while the
// plain medians drift. The first `warm` pairs are run and thrown away.
template <typename A, typename B> FfBenchPairs FfBenchRunPairs(int pairs, int warm, A measureA, B measureB)
{
    FfBenchPairs out;
    std::vector<double> as, bs, ratios;
    for (int i = 0; i < warm + pairs; i++) {
        double a = measureA();
        double b = measureB();
        if (i < warm) continue;
        if (a < 0 || b < 0) {
            out.failed++;
            continue;
        }
        as.push_back(a);
        bs.push_back(b);
        if (b > 0) ratios.push_back(a / b);
    }
    out.pairs = (int)as.size();
    out.medianA = FfBenchMedian(as);
    out.medianB = FfBenchMedian(bs);
    out.ratio = FfBenchMedian(ratios);
    return out;
}

// One line per benchmark in one shape: both medians, the ratio and, when there is one, whether
// the target (a ratio of at most `target`) is met. The width is the build's, so the two trees'
// figures can be told apart in one output.
inline void FfBenchReport(const char* name, const char* floorName, const FfBenchPairs& r, double target)
{
    printf("[%d-bit] %s: %.3f ms; floor (%s): %.3f ms; ratio %.3f (median of %d pairs", (int)(sizeof(void*) * 8), name,
           r.medianA, floorName, r.medianB, r.ratio, r.pairs);
    if (r.failed) printf(", %d failed", r.failed);
    printf(")");
    if (target > 0) printf("; target %.2f or less: %s", target, r.pairs > 0 && r.ratio <= target ? "met" : "NOT met");
    printf("\n");
    fflush(stdout);
}

// The floor of an engine exchange: a bare client window that only notes that a reply came, and
// its size.
inline bool g_benchAnswered = false;
inline size_t g_benchReplyBytes = 0;

inline LRESULT CALLBACK FfBenchClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        const COPYDATASTRUCT* cds = (const COPYDATASTRUCT*)lParam;
        g_benchAnswered = true;
        g_benchReplyBytes = cds ? cds->cbData : 0;
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// A message-only window of that client's class (registered once).
inline HWND FfBenchMakeClient()
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfBenchClientProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FfBenchEngineClient";
    RegisterClassW(&wc);  // fails harmlessly when already registered
    return CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

// One bare exchange, timed from the send to its return (the engine answers while it handles the
// query): its milliseconds, or -1 when no reply came.
inline double FfBenchExchange(HWND engine, HWND client, ULONG_PTR id, const void* block, DWORD size)
{
    COPYDATASTRUCT cds = {id, size, (void*)block};
    g_benchAnswered = false;
    double start = FfBenchNow();
    SendMessageW(engine, WM_COPYDATA, (WPARAM)client, (LPARAM)&cds);
    double ms = FfBenchNow() - start;
    return g_benchAnswered ? ms : -1.0;
}

// count files (C:\bench\subN\benchfileI.dat) and count folders (C:\bench\benchdirI) that exist only in
// the engine's index, their dates spread over years with a different minute each, as a real
// result set has them.
inline void FfBenchAddResultItems(FfEngineOptions& o, int count)
{
    const unsigned long long hour = 36000000000ull;
    for (int i = 0; i < count; i++) {
        FfEngineItem file;
        file.path = L"C:\\bench\\sub" + std::to_wstring(i % 7) + L"\\benchfile" + std::to_wstring(i) + L".dat";
        file.size = 1000ull * i;
        file.modified = 132000000000000000ull + (unsigned long long)i * (37 * hour + hour / 60 * 13);
        o.items.push_back(file);
        FfEngineItem folder;
        folder.path = L"C:\\bench\\benchdir" + std::to_wstring(i);
        folder.isFolder = true;
        folder.modified = 131000000000000000ull + (unsigned long long)i * (53 * hour + hour / 60 * 7);
        o.items.push_back(folder);
    }
}

// The floor of a search run: the file and the folder query of "bench" with perPass results each,
// sent by the bare client, as the plug-in's two passes send them.
struct FfBenchBareSearch {
    HWND client;
    std::string fileRecord, folderRecord;
};

inline FfBenchBareSearch FfBenchMakeBareSearch(int perPass)
{
    FfBenchBareSearch s;
    s.client = FfBenchMakeClient();
    FfEngineQueryArgs fileArgs, folderArgs;
    fileArgs.text = L"bench file:";
    folderArgs.text = L"bench folder:";
    fileArgs.maxResults = folderArgs.maxResults = perPass;
    fileArgs.sortType = folderArgs.sortType = 14;
    s.fileRecord = FfEngineBuildQueryRecord((DWORD)(UINT_PTR)s.client, fileArgs);
    s.folderRecord = FfEngineBuildQueryRecord((DWORD)(UINT_PTR)s.client, folderArgs);
    return s;
}

// Both exchanges' milliseconds, or -1 when either got no reply.
inline double FfBenchBareSearchMs(HWND engine, const FfBenchBareSearch& s)
{
    double a = FfBenchExchange(engine, s.client, 18, s.fileRecord.data(), (DWORD)s.fileRecord.size());
    double b = FfBenchExchange(engine, s.client, 18, s.folderRecord.data(), (DWORD)s.folderRecord.size());
    return a < 0 || b < 0 ? -1.0 : a + b;
}
