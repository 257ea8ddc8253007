// Typing to painted results: from the key of the last character typed into the open overlay going
// down to the list painted with the 500 results, less SearchDelayMs, against two bare exchanges
// with the same queries and replies, sent after an idle as long as the delay (as the plug-in's
// are: a machine idle for that long answers the first exchanges after it about twice as slowly
// as hot ones). Once for a word typed into the empty box, once for the last character of it
// typed after the rest. Where the time goes is printed too: the delay's lateness, the search run
// with the list refill, and the painting.
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "enginectl.h"
#include "overlay_bench.h"

static bool OverlayHasTheKeyboard()
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetForegroundWindow() == g_overlayWindow && GetGUIThreadInfo(g_hookThreadId, &info) &&
           info.hwndFocus == g_searchBox;
}

// Puts the text into the search box and waits for its search's list to be painted.
static bool SetSearch(const wchar_t* text, int expected)
{
    bench::Arm(true);
    SendMessageW(g_searchBox, WM_SETTEXT, 0, (LPARAM)text);
    // A list that stays empty may have nothing to paint.
    bench::WaitPainted(0, 1000);
    FfTestFlushEvents(20);
    return bench::g_runSeen && g_resultCount == expected;
}

// Milliseconds of each part of the timed rounds.
struct Parts {
    std::vector<double> late, run, paint;
};

// Types `typed` after `before` (put there first), timed from the last character's key going
// down to the list painted with `expected` results, less the search delay.
static double Type(const wchar_t* before, int beforeCount, const wchar_t* typed, int expected, Parts& parts)
{
    if (!OverlayHasTheKeyboard() || !SetSearch(before, beforeCount)) return -1;
    SendMessageW(g_searchBox, EM_SETSEL, lstrlenW(before), lstrlenW(before));
    bench::Arm(true);
    double sentAt = 0;
    std::thread t([&] {
        for (const wchar_t* c = typed; *c; c++) {
            if (!c[1]) sentAt = FfBenchNow();
            FfTestTypeChar(*c);
            if (c[1]) Sleep(5);
        }
    });
    t.join();
    double ms = bench::WaitPainted(sentAt);
    // One search, after the last character, that found them all.
    if (ms < 0 || bench::g_searchTimers != 1 || g_resultCount != expected) return -1;
    if (bench::g_keyAt > 0 && bench::g_runTo > 0) {
        parts.late.push_back(bench::g_runFrom - bench::g_keyAt - g_settings.searchDelayMs);
        parts.run.push_back(bench::g_runTo - bench::g_runFrom);
        parts.paint.push_back(bench::g_paintedAt - bench::g_runTo);
    }
    return ms - g_settings.searchDelayMs;
}

int main()
{
    const int perPass = 250;
    FfEngineOptions o;
    o.instance = FfEngineUniqueInstance(L"benchtype");
    FfBenchAddResultItems(o, 300);
    FfTestEngine engine;
    if (!engine.Start(o, 60000)) {
        printf("engine did not start\n");
        return 1;
    }
    if (!bench::Start("SearchDelayMs=100\r\nMaxVisibleRows=20\r\n[Everything]\r\nMaxResults=250\r\n"
                      "SortOrder=DateModifiedDescending\r\n")) {
        printf("the overlay's world did not start\n");
        return 1;
    }
    bench::TimeOpening(false);  // the first opening's cost is not this benchmark's
    bench::FocusHost();
    bench::PressHotkey();
    if (!FfTestWaitFor(OverlayHasTheKeyboard, 5000)) {
        printf("the overlay did not open with the keyboard\n");
        return 1;
    }

    FfBenchBareSearch bare = FfBenchMakeBareSearch(perPass);

    auto exchanges = [&] {
        Sleep(g_settings.searchDelayMs);
        return FfBenchBareSearchMs(engine.window, bare);
    };
    auto report = [](const char* name, const FfBenchPairs& pairs, const Parts& parts) {
        FfBenchReport(name, "two bare exchanges after the same idle", pairs, 1.3);
        printf("  parts (medians): the delay's timer late by %.3f ms, search run and list refill %.3f ms, painting "
               "%.3f ms\n",
               FfBenchMedian(parts.late), FfBenchMedian(parts.run), FfBenchMedian(parts.paint));
    };
    const int all = 2 * perPass;
    // A search's first word: the overlay grows from its search band to the full list.
    Parts wordParts, moreParts;
    FfBenchPairs word =
        FfBenchRunPairs(21, 2, [&] { return Type(L"", 0, L"bench", all, wordParts); }, exchanges);
    report("typing a word to painted results, less SearchDelayMs", word, wordParts);
    // One more character: the same rows again, the overlay keeps its size.
    FfBenchPairs more = FfBenchRunPairs(21, 2, [&] { return Type(L"benc", all, L"h", all, moreParts); }, exchanges);
    report("typing one more character to painted results, less SearchDelayMs", more, moreParts);
    DestroyWindow(bare.client);
    fflush(stdout);
    ExitProcess(0);
}
