// Opening the overlay: from the hotkey's F going down to the overlay and its children painted,
// against a bare pop-up of the same size shown and painted by the same thread on the same key.
// The first press after a start is timed in fresh processes (one pair each); re-opening in this one.
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <string>
#include "overlay_bench.h"

// One process = one start: the first press, then the floor, written to the given file.
static int RunFirstPress(const wchar_t* resultFile)
{
    double first = -1, floor = -1;
    if (bench::Start("")) {
        first = bench::TimeOpening(false);
        floor = bench::TimeOpening(true);
    }
    char text[64];
    snprintf(text, sizeof text, "%f %f", first, floor);
    FfTestWriteBytes(resultFile, text);
    fflush(stdout);
    ExitProcess(0);
}

int main()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc == 3 && lstrcmpW(argv[1], L"--first") == 0) return RunFirstPress(argv[2]);

    // Before this process has a host window of its own, which the children would find.
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring result = FfTestMakeTempDir(L"bench-first") + L"\\pair.txt";
    double childFloor = -1;
    FfBenchPairs first = FfBenchRunPairs(
        11, 0,
        [&] {
            DeleteFileW(result.c_str());
            FfTestProcess child;
            double a = -1;
            childFloor = -1;
            if (child.Start(L"\"" + std::wstring(self) + L"\" --first \"" + result + L"\"") && child.Wait(60000) == 0)
                sscanf(FfTestReadBytes(result).c_str(), "%lf %lf", &a, &childFloor);
            return a;
        },
        [&] { return childFloor; });
    FfBenchReport("overlay, first press after start", "bare pop-up", first, 1.5);

    if (!bench::Start("")) {
        printf("the overlay's world did not start\n");
        return 1;
    }
    FfBenchPairs reopen =
        FfBenchRunPairs(31, 1, [] { return bench::TimeOpening(false); }, [] { return bench::TimeOpening(true); });
    FfBenchReport("overlay, re-opening", "bare pop-up", reopen, 1.5);
    fflush(stdout);
    ExitProcess(0);
}
