// Typing, as the user sees it, against floors that do what the user sees:
// - typing to painted results: from the key of the last character typed into the open overlay going
//   down to the list painted with the 500 results, less SearchDelayMs, against a bare window of the
//   same thread that, after the same key, the same delay and the same kind of timer, makes the same
//   two exchanges and paints the same 20 rows (texts and font) in a plain owner-drawn list box of the
//   list's size. Once for a word typed into the empty box, once for one more character. Where the
//   time goes is printed too: the delay's lateness, the search with the list refill, the painting.
// - a character typed while the engine takes 300 ms per query (a query out): from its key going
//   down to the search box painted with it, against the same key typed into that bare window's edit.
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "enginectl.h"
#include "host/host.h"
#include "overlay/list.h"
#include "overlay_bench.h"

namespace {

// ---- the floor: a bare window on the overlay's thread, an edit and an owner-drawn list box ----------
HWND g_floorWindow, g_floorEdit, g_floorList;
std::atomic<bool> g_floorSearches{true};  // a change of its edit arms the delay's timer
HWND g_engineWindow;
FfBenchBareSearch g_bare;
std::vector<std::wstring> g_rowTexts[4];  // name, folder, size, date of each row, as the overlay shows them

void FloorDrawRow(const DRAWITEMSTRUCT* item)
{
    RECT r = item->rcItem;
    FillRect(item->hDC, &r, g_theme.windowBackgroundBrush);
    int i = (int)item->itemID;
    if (i < 0 || i >= (int)g_rowTexts[0].size()) return;
    SetBkMode(item->hDC, TRANSPARENT);
    HGDIOBJ old = SelectObject(item->hDC, g_theme.font);
    RECT parts[4];
    FfGetColumnRects(r.top, r.right, r.bottom, &parts[1], &parts[2], &parts[3]);
    parts[0] = r;
    parts[0].left += FfScalePixels(24, g_theme.dpiScale);
    parts[0].right = parts[1].left;
    for (int k = 0; k < 4; k++) {
        SetTextColor(item->hDC, k ? g_theme.secondaryText : g_theme.text);
        DrawTextW(item->hDC, g_rowTexts[k][i].c_str(), -1, &parts[k],
                  (k >= 2 ? DT_RIGHT : DT_LEFT) | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
    SelectObject(item->hDC, old);
}

LRESULT CALLBACK FloorProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    switch (m) {
    case WM_COMMAND:
        if (HIWORD(wp) == EN_CHANGE && g_floorSearches) SetTimer(w, 1, (UINT)g_settings.searchDelayMs, nullptr);
        return 0;
    case WM_TIMER: {
        KillTimer(w, 1);
        if (bench::g_armed) bench::g_runFrom = FfBenchNow(), bench::g_searchTimers++;
        bool typed = GetWindowTextLengthW(g_floorEdit) > 0;
        bool answered = !typed || FfBenchBareSearchMs(g_engineWindow, g_bare) >= 0;
        SendMessageW(g_floorList, LB_RESETCONTENT, 0, 0);
        if (typed && answered) SendMessageW(g_floorList, LB_SETCOUNT, g_rowTexts[0].size(), 0);
        if (bench::g_armed) bench::g_runTo = FfBenchNow(), bench::g_runSeen = answered;
        return 0;
    }
    case WM_DRAWITEM: FloorDrawRow((const DRAWITEMSTRUCT*)lp); return TRUE;
    case WM_CTLCOLOREDIT:
        SetTextColor((HDC)wp, g_theme.inputText);
        SetBkColor((HDC)wp, g_theme.inputBackground);
        return (LRESULT)g_theme.inputBackgroundBrush;
    default: return DefWindowProcW(w, m, wp, lp);
    }
}

RECT ChildRect(HWND child)
{
    RECT r = {0, 0, 0, 0};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, g_overlayWindow, (POINT*)&r, 2);
    return r;
}

// On the background thread, with the overlay showing the 500 results: the rows' texts, and the floor
// window over the overlay's place, its edit and list where the overlay has its search box and list.
void MakeFloor()
{
    for (auto& texts : g_rowTexts) texts.clear();
    for (int i = 0; i < g_resultCount; i++) {
        const FfResult* r = &g_results[i];
        const wchar_t* slash = wcsrchr(r->path, L'\\');
        g_rowTexts[0].push_back(slash ? slash + 1 : r->path);
        g_rowTexts[1].push_back(FfParentFolderName(r->path));
        g_rowTexts[2].push_back(r->isFolder ? L"" : FfFormatSize(r->size));
        g_rowTexts[3].push_back(FfFormatDateTime(r->modified));
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = g_theme.windowBackgroundBrush;
    wc.lpszClassName = L"FfBenchTypingFloor";
    RegisterClassW(&wc);
    RECT o, box = ChildRect(g_searchBox), list = ChildRect(g_resultList);
    GetWindowRect(g_overlayWindow, &o);
    g_floorWindow = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"floor", WS_POPUP | WS_BORDER | WS_VISIBLE, o.left,
                                    o.top, o.right - o.left, o.bottom - o.top, bench::g_host, nullptr, wc.hInstance, nullptr);
    g_floorEdit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, box.left, box.top,
                                  box.right - box.left, box.bottom - box.top, g_floorWindow, nullptr, wc.hInstance, nullptr);
    g_floorList = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | LBS_OWNERDRAWFIXED | LBS_NODATA | LBS_NOINTEGRALHEIGHT,
                                  list.left, list.top, list.right - list.left, list.bottom - list.top, g_floorWindow, nullptr,
                                  wc.hInstance, nullptr);
    SendMessageW(g_floorEdit, WM_SETFONT, (WPARAM)g_theme.font, FALSE);
    SendMessageW(g_floorList, LB_SETITEMHEIGHT, 0, MAKELPARAM(g_theme.rowHeight, 0));
    for (HWND w : {g_floorWindow, g_floorEdit, g_floorList}) bench::Watch(w);
    bench::g_floorEdit = g_floorEdit;
}

// The keyboard's focus in edit (the overlay's search box or the floor's edit), its window in front.
bool FocusOn(HWND edit)
{
    HWND top = GetAncestor(edit, GA_ROOT);
    bench::OnBackground([&] {
        SetForegroundWindow(top);
        SetFocus(edit);
    });
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    bool ok = FfTestWaitFor([&] { return GetForegroundWindow() == top && GetGUIThreadInfo(g_hookThreadId, &info) && info.hwndFocus == edit; },
                            3000);
    Sleep(50);  // the windows the switch uncovered have painted
    return ok;
}

bool Searching(HWND edit) { return edit == g_searchBox ? g_searchRun.active != 0 : false; }

// Puts the text into the edit and waits for its search's list to be painted.
bool SetSearch(HWND edit, const wchar_t* text, int expected)
{
    bench::Arm(true);
    SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)text);
    // A list that stays empty may have nothing to paint.
    bench::WaitPainted(0, 1000);
    FfTestFlushEvents(20);
    return bench::g_runSeen && (edit != g_searchBox || g_resultCount == expected);
}

// Milliseconds of each part of the timed rounds.
struct Parts {
    std::vector<double> late, run, paint;
};

// Types `typed` after `before` (put there first) into edit, timed from the last character's key
// going down to the list painted with `expected` results, less the search delay.
double Type(HWND edit, const wchar_t* before, int beforeCount, const wchar_t* typed, int expected, Parts* parts)
{
    if (!FocusOn(edit) || !SetSearch(edit, before, beforeCount)) return -1;
    SendMessageW(edit, EM_SETSEL, lstrlenW(before), lstrlenW(before));
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
    if (ms < 0 || bench::g_searchTimers != 1 || (edit == g_searchBox && g_resultCount != expected)) return -1;
    if (parts && bench::g_keyAt > 0 && bench::g_runTo > 0) {
        parts->late.push_back(bench::g_runFrom - bench::g_keyAt - g_settings.searchDelayMs);
        parts->run.push_back(bench::g_runTo - bench::g_runFrom);
        parts->paint.push_back(bench::g_paintedAt - bench::g_runTo);
    }
    return ms - g_settings.searchDelayMs;
}

// One character typed into edit after "benc", timed from its key going down to the edit painted
// with it. For the overlay, the search for "benc" is out at the engine meanwhile.
double TypeWhileQueryOut(HWND edit, FfTestEngine& engine)
{
    if (!FocusOn(edit)) return -1;
    SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)L"");
    FfTestWaitFor([&] { return !Searching(edit); }, 3000);
    Sleep(g_settings.searchDelayMs + 20);  // the empty text's own search has run
    int queries = engine.QueriesReceived();
    SendMessageW(edit, WM_SETTEXT, 0, (LPARAM)L"benc");
    if (edit == g_searchBox && !FfTestWaitFor([&] { return engine.QueriesReceived() > queries && Searching(edit); }, 3000))
        return -1;
    SendMessageW(edit, EM_SETSEL, 4, 4);
    Sleep(20);
    bench::Arm(false);
    double sentAt = FfBenchNow();
    std::thread t([] { FfTestTypeChar(L'h'); });
    t.join();
    double ms = bench::WaitPainted(sentAt);
    wchar_t text[16] = L"";
    GetWindowTextW(edit, text, 16);
    bool out = edit != g_searchBox || Searching(edit);
    return ms >= 0 && lstrcmpW(text, L"bench") == 0 && out ? ms : -1;
}

}  // namespace

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
    g_engineWindow = engine.window;
    if (!bench::Start("SearchDelayMs=100\r\nMaxVisibleRows=20\r\n[Everything]\r\nMaxResults=250\r\n"
                      "SortOrder=DateModifiedDescending\r\n")) {
        printf("the overlay's world did not start\n");
        return 1;
    }
    bench::TimeOpening(false);  // the first opening's cost is not this benchmark's
    bench::FocusHost();
    bench::PressHotkey();
    if (!FfTestWaitFor([] { return GetForegroundWindow() == g_overlayWindow; }, 5000)) {
        printf("the overlay did not open with the keyboard\n");
        return 1;
    }
    const int all = 2 * perPass;
    g_bare = FfBenchMakeBareSearch(perPass);
    if (!FocusOn(g_searchBox) || !SetSearch(g_searchBox, L"bench", all)) {
        printf("the overlay did not search\n");
        return 1;
    }
    bench::OnBackground(MakeFloor);

    auto report = [](const char* name, const FfBenchPairs& pairs, const Parts* parts) {
        FfBenchReport(name, "a bare window: the same delay, two bare exchanges, 20 rows painted", pairs, 1.3);
        for (int k = 0; k < 2; k++)
            printf("  parts (medians), %s: the delay's timer late by %.3f ms, search and list refill %.3f ms, painting "
                   "%.3f ms\n", k ? "floor" : "overlay",
                   FfBenchMedian(parts[k].late), FfBenchMedian(parts[k].run), FfBenchMedian(parts[k].paint));
    };
    // A search's first word: the overlay grows from its search band to the full list.
    Parts wordParts[2], moreParts[2];
    FfBenchPairs word = FfBenchRunPairs(21, 2, [&] { return Type(g_searchBox, L"", 0, L"bench", all, &wordParts[0]); },
                                        [&] { return Type(g_floorEdit, L"", 0, L"bench", all, &wordParts[1]); });
    report("typing a word to painted results, less SearchDelayMs", word, wordParts);
    // One more character: the same rows again, the overlay keeps its size.
    FfBenchPairs more = FfBenchRunPairs(21, 2, [&] { return Type(g_searchBox, L"benc", all, L"h", all, &moreParts[0]); },
                                        [&] { return Type(g_floorEdit, L"benc", all, L"h", all, &moreParts[1]); });
    report("typing one more character to painted results, less SearchDelayMs", more, moreParts);

    // The same engine, answering each query 300 ms late.
    engine.Stop();
    o.extraArgs = L"--delay 300";
    if (!engine.Start(o, 60000)) {
        printf("the slow engine did not start\n");
        return 1;
    }
    g_floorSearches = false;
    FfBenchPairs key = FfBenchRunPairs(15, 2, [&] { return TypeWhileQueryOut(g_searchBox, engine); },
                                       [&] { return TypeWhileQueryOut(g_floorEdit, engine); });
    FfBenchReport("a character typed while the engine takes 300 ms per query, key down to the box painted",
                  "the same key into a bare edit of the same thread", key, 1.2);
    DestroyWindow(g_bare.client);
    fflush(stdout);
    ExitProcess(0);
}
