// A stand-in host window on its own thread, the stand-in engine and the plug-in's overlay in this process.
#include "list_world.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "core/core.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

const char* kSearchRun = "FfRunSearchNow: filter=";

LRESULT CALLBACK HostProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_APP) {  // bring the host to the front with its panel focused
        SetForegroundWindow(w);
        SetFocus(GetDlgItem(w, 1));
        return 0;
    }
    return DefWindowProcW(w, m, wp, lp);
}

void HostThread(ListWorld* world, std::atomic<int>* ready)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    wc.lpszClassName = L"TTOTAL_CMD";
    RegisterClassW(&wc);
    world->host = CreateWindowExW(0, L"TTOTAL_CMD", L"Stand-in host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  60, 60, 1100, 800, nullptr, nullptr, wc.hInstance, nullptr);
    world->panel = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 30, 800,
                                   700, world->host, (HMENU)1, wc.hInstance, nullptr);
    *ready = world->host && world->panel ? 1 : -1;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace

bool ListWorld::Start()
{
    dir = FfTestMakeTempDir(L"list");
    logPath = dir + L"\\Fleetfinder.log";
    cfgPath = dir + L"\\Fleetfinder.cfg";
    files = dir + L"\\files";
    std::vector<FfTestTreeItem> tree;
    for (int i = 1; i <= 30; i++) {
        FfTestTreeItem item;
        wchar_t rel[64];
        swprintf(rel, 64, L"group%d\\alpha%02d.txt", i % 3, i);
        item.relPath = rel;
        item.size = 1000u * (unsigned)i;
        item.modified = FfTestFileTime(2026, 1 + i % 12, 1 + i % 27, 10, i);
        tree.push_back(item);
    }
    if (!FfTestMakeTree(files, tree)) return false;
    FfTestWriteBytes(dir + L"\\wincmd.ini", "[Configuration]\r\n");
    SetEnvironmentVariableW(L"COMMANDER_INI", (dir + L"\\wincmd.ini").c_str());
    FfTestWriteBytes(cfgPath,
                     "[Display]\r\nLogging=Y\r\nSearchDelayMs=50\r\nMaxVisibleRows=20\r\n"
                     "ThemeMode=Dark\r\n[Everything]\r\nMaxResults=200\r\n"
                     "SortOrder=NameAscending\r\n[Filters]\r\nLastSelectedFilter=\r\n");

    // In the host the lock is made at process attach; this program has no plug-in attach.
    InitializeCriticalSection(&g_listingLock);
    g_moduleHandle = GetModuleHandleW(nullptr);
    lstrcpynW(g_logPath, logPath.c_str(), FF_PATH_CHARS);
    FfLoadSettingsFrom(cfgPath.c_str());

    FfEngineOptions opt;
    opt.roots.push_back(files);
    opt.filtersDir = dir;  // no engine filters there: the built-in catalogue
    if (!engine.Start(opt)) return false;

    std::atomic<int> ready{0};
    std::thread(HostThread, this, &ready).detach();
    return FfTestWaitFor([&] { return ready.load() != 0; }, 10000) && ready > 0;
}

size_t ListWorld::CountLog(const char* needle) const
{
    std::string log = FfTestReadBytes(logPath);
    size_t n = 0;
    for (size_t p = log.find(needle); p != std::string::npos; p = log.find(needle, p + 1)) n++;
    return n;
}

std::string ListWorld::ReadCfg() const { return FfTestReadBytes(cfgPath); }

ListWorld& TheWorld()
{
    static ListWorld* world = nullptr;
    if (!world) {
        world = new ListWorld();
        // The world lives for the whole program; its engine must not outlive it.
        atexit([] { world->engine.Stop(); });
        if (!world->Start()) ADD_FAILURE() << "the list's test world did not start";
    }
    return *world;
}

bool OpenOverlayAndSettle()
{
    ListWorld& w = TheWorld();
    SendMessageW(w.host, WM_APP, 0, 0);
    FfOpenOverlay();
    if (!g_overlayWindow || !IsWindowVisible(g_overlayWindow)) return false;
    // Emptying the search box armed the search delay; that empty search only clears the list
    // (and logs nothing), so cancel it rather than let it clear results a test puts there.
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FfTestFlushEvents(30);
    return g_resultCount == 0;
}

bool SearchAndWait(const wchar_t* text)
{
    ListWorld& w = TheWorld();
    size_t runs = w.CountLog(kSearchRun);
    SetWindowTextW(g_searchBox, text);
    bool ok = FfTestWaitFor([&] { return w.CountLog(kSearchRun) > runs; }, 5000);
    FfTestFlushEvents(50);
    return ok;
}

void FillMadeUpResults(int count)
{
    for (int i = 0; i < count && i < FF_RESULTS_MAX; i++) {
        FfResult& r = g_results[i];
        bool folder = i % 4 == 3;
        swprintf(r.path, FF_RESULT_PATH_MAX, folder ? L"C:\\Data\\Set%02d\\Folder%03d" : L"C:\\Data\\Set%02d\\file%03d.txt",
                 i % 7, i);
        r.size = (unsigned long long)((i * 7919) % 1000) * 1024;
        ULARGE_INTEGER t;
        t.QuadPart = FfTestFileTime(2020 + i % 5, 1 + i % 12, 1 + i % 28);
        r.modified.dwLowDateTime = t.LowPart;
        r.modified.dwHighDateTime = t.HighPart;
        r.isFolder = folder ? 1 : 0;
    }
    g_resultCount = count;
    g_selectedIndex = -1;
    FfFillResultList();
    FfTestFlushEvents(30);
}

namespace {

INPUT KeyInput(WORD vk, bool up)
{
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
}

void SendInputs(std::vector<INPUT> inputs)
{
    std::atomic<bool> done{false};
    std::thread t([&] {
        for (INPUT& in : inputs) {
            SendInput(1, &in, sizeof(INPUT));
            Sleep(5);
        }
        done = true;
    });
    FfTestWaitFor([&] { return done.load(); }, 10000);
    t.join();
    FfTestFlushEvents(60);
}

}  // namespace

void PressChord(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs;
    for (WORD k : keys) inputs.push_back(KeyInput(k, false));
    for (auto it = keys.end(); it != keys.begin();) inputs.push_back(KeyInput(*--it, true));
    SendInputs(inputs);
}

void SendKey(WORD vk, bool down) { SendInputs({KeyInput(vk, !down)}); }
