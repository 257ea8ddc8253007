// The overlay on real windows: the plug-in's overlay and hotkey hook in this process, over the
// stand-in host, searching the stand-in engine. Hotkey chords, placement, keys, closing, typing, history, menus.
#include <windows.h>
#include <commctrl.h>
#include <atomic>
#include <set>
#include <thread>
#include "fftest.h"
#include "bridge/bridge.h"
#include "app/app.h"
#include "host/host_commands.h"
#include "core/core.h"
#include "core/text.h"
#include "host/host.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

std::atomic<int> g_passedDown[256], g_passedUp[256];
HHOOK g_recorder;

// Installed before the plug-in's hook, so called after it: it sees only what was passed on.
LRESULT CALLBACK Recorder(int code, WPARAM msg, LPARAM lp)
{
    if (code == HC_ACTION) (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN ? g_passedDown : g_passedUp)[((KBDLLHOOKSTRUCT*)lp)->vkCode & 0xFF]++;
    return CallNextHookEx(g_recorder, code, msg, lp);
}

struct World {
    FfTestLog log{L"overlay"};  // Fleetfinder.log, .cfg and .history live in log.dir
    std::wstring files = log.dir + L"\\files", ini = log.dir + L"\\wincmd.ini";
    FfTestEngine engine;
    FfHostCtl host;
    HWND other = nullptr;  // a window of another program's kind

    // No engine filters in log.dir: the built-in catalogue.
    FfEngineOptions Engine(DWORD answerDelayMs = 0) const { FfEngineOptions o; o.roots = {files}; o.filtersDir = log.dir; o.answerDelayMs = answerDelayMs; return o; }
    bool Start()
    {
        std::vector<FfTestTreeItem> tree(28);  // alpha01..alpha25.txt, beta1..beta3.txt
        for (int i = 1; i <= 28; i++)
            tree[i - 1] = {i <= 25 ? (i < 10 ? L"alpha0" : L"alpha") + std::to_wstring(i) + L".txt" : L"beta" + std::to_wstring(i - 25) + L".txt",
                           1000u * ((i * 7) % 11), FfTestFileTime(2026, 1 + i % 12, 1 + i % 27, 10, i)};
        // The host runs a Ctrl+Alt+F or G binding it sees; the theme reads the same ini.
        HostIni("");
        SetEnvironmentVariableW(L"COMMANDER_INI", ini.c_str());
        InitializeCriticalSection(&g_listingLock);  // the host's process attach does it
        g_moduleHandle = GetModuleHandleW(nullptr);
        FfHostStartOptions hostOptions;
        hostOptions.leftFolder = files, hostOptions.commanderIni = ini;
        if (!FfTestMakeTree(files, tree) || !engine.Start(Engine()) || !host.Start(hostOptions)) return false;
        g_hostProcessId = host.process.pi.dwProcessId;
        other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 1200, 50, 300, 200, nullptr, nullptr, nullptr, nullptr);
        g_recorder = SetWindowsHookExW(WH_KEYBOARD_LL, Recorder, GetModuleHandleW(nullptr), 0);
        FfPrepareOverlay();  // as the background thread starts
        FfInstallKeyboardHook();
        return g_recorder && g_hookHandle;
    }
    // The host's ini with fontLines in [AllResolutions].
    void HostIni(const std::string& fontLines)
    {
        std::string folder = FfTestUtf8(files);
        FfTestWriteBytes(ini, "[Configuration]\r\n[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=" + folder + "\r\nCA+G=CD\r\nCA+G_params=" + folder +
                                  "\r\n[AllResolutions]\r\n" + fontLines);
    }
    // displayLines come first in [Display]: the first of two equal keys is the one read.
    void Settings(const std::string& displayLines)
    {
        FfTestWriteBytes(log.dir + L"\\Fleetfinder.cfg", "[Display]\r\n" + displayLines + "Logging=Y\r\nSearchDelayMs=100\r\nMaxVisibleRows=20\r\nThemeMode=Dark\r\n[Everything]\r\nMaxResults=200\r\nSortOrder=NameAscending\r\n");
        FfLoadSettingsFrom((log.dir + L"\\Fleetfinder.cfg").c_str());
    }
};

World& W()
{
    static World* world = nullptr;
    // The engine and the host share this program's output: CTest waits for them unless they end with us.
    if (!world && (world = new World(), std::atexit([] { world->host.Quit(3000); world->engine.Stop(); }), !world->Start()))
        ADD_FAILURE() << "the overlay's world did not start";
    return *world;
}

bool Shown() { return g_overlayWindow && IsWindowVisible(g_overlayWindow); }
RECT RectOf(HWND w) { RECT r = {}; GetWindowRect(w, &r); return r; }
std::wstring TextOf(HWND w) { wchar_t t[512] = {}; GetWindowTextW(w, t, 512); return t; }
std::string Str(int a, int b, int c = 0) { return std::to_string(a) + "," + std::to_string(b) + "," + std::to_string(c); }
bool Held(WORD vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }
void ClearPassed() { for (int i = 0; i < 256; i++) g_passedDown[i] = g_passedUp[i] = 0; }

bool HostInFront(int panel)
{
    W().host.SetActivePanel(panel), W().host.BringToFront();
    return FfTestWaitFor([&] { return GetForegroundWindow() == W().host.mainWindow; }, 3000);
}

// Opens over a host panel and cancels the empty search the opening arms (it would clear a list
// filled meanwhile); this thread sees its deactivation before the overlay takes the foreground.
bool Open(int panel = 0)
{
    if (!HostInFront(panel)) return false;
    FfTestFlushEvents(100);
    FfOpenOverlay();
    return Shown() && (KillTimer(g_overlayWindow, FF_TIMER_SEARCH), g_resultCount == 0);
}

// Searches at once, without the delay (the typing rows go through it); wait: until its replies landed.
int Search(const wchar_t* text, bool wait = true)
{
    SetWindowTextW(g_searchBox, text), KillTimer(g_overlayWindow, FF_TIMER_SEARCH), FfRunSearchNow();
    if (wait) FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
    return g_resultCount;
}

// A key-down sent to a control of the overlay; the handlers read the modifiers live, so they
// are injected and held until the system reports all of them, also after pending events.
void Press(HWND to, WORD vk, std::initializer_list<WORD> modifiers = {})
{
    auto all = [&](bool down) { return std::all_of(modifiers.begin(), modifiers.end(), [&](WORD m) { return Held(m) == down; }); };
    for (bool down : {true, false}) {
        for (int i = 0; i < 3 && !all(down); i++) {
            for (WORD m : modifiers) if (Held(m) != down) FfTestSendKey(m, !down);
            FfTestWaitFor([&] { return all(down); }, 1000);
            FfTestFlushEvents(50);  // the keyboard resync of a focus change, still queued, can let go of them
        }
        EXPECT_TRUE(all(down)) << "modifiers " << (down ? "not held" : "not let go");
        if (down) SendMessageW(to, WM_KEYDOWN, vk, 1);
    }
    FfTestFlushEvents(30);
}

// Keys typed from a helper thread while this thread pumps (the hooks run on it).
void Inject(const std::function<void()>& keys)
{
    std::atomic<bool> done{false};
    std::thread typist([&] { keys(); done = true; });
    FfTestWaitFor([&] { return done.load(); }, 10000);
    typist.join(), FfTestFlushEvents(100);
}

void Chord(const std::vector<WORD>& keys)
{
    for (WORD k : keys) FfTestSendKey(k, false);
    for (auto k = keys.rbegin(); k != keys.rend(); ++k) FfTestSendKey(*k, true);
}

void Select(const std::vector<int>& rows, int caret = -1)
{
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    for (int row : rows) SendMessageW(g_resultList, LB_SETSEL, TRUE, row);
    if (caret >= 0) SendMessageW(g_resultList, LB_SETCARETINDEX, caret, 0);
}

class Overlay : public testing::Test {
protected:
    void SetUp() override
    {
        W().Settings(""), FfCloseOverlay(), ClearPassed();
        // The real pointer must not move over the list or a menu on its own.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    void TearDown() override { ReleaseCapture(), FfCloseOverlay(), g_panelListingCount = 0, g_scrollDragging = false; }
};

TEST_F(Overlay, HotkeyChordOpensOverTheHostSwallowingItsKeyDownOtherChordsPassOn)
{
    World& w = W();
    struct Case { const char* name; std::string cfg; std::vector<WORD> keys; bool overHost, opens, hostShortcut; } cases[] = {
        {"Ctrl+Alt+F", "", {VK_CONTROL, VK_MENU, 'F'}, true, true, false},
        {"Ctrl+Alt+Shift+F", "", {VK_CONTROL, VK_MENU, VK_SHIFT, 'F'}, true, true, false},
        {"Ctrl+F", "", {VK_CONTROL, 'F'}, true, false, false},
        {"Ctrl+Alt+G while F is the hotkey", "", {VK_CONTROL, VK_MENU, 'G'}, true, false, true},
        {"Ctrl+Alt+F over another window", "", {VK_CONTROL, VK_MENU, 'F'}, false, false, false},
        {"Ctrl+Alt+F while G is the hotkey", "Hotkey=Ctrl+Alt+G\r\n", {VK_CONTROL, VK_MENU, 'F'}, true, false, true},
        {"Ctrl+Alt+G while G is the hotkey", "Hotkey=Ctrl+Alt+G\r\n", {VK_CONTROL, VK_MENU, 'G'}, true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.Settings(c.cfg);
        FfCloseOverlay();
        ClearPassed();
        if (!c.overHost) SetForegroundWindow(w.other);
        ASSERT_TRUE(c.overHost ? HostInFront(0) : FfTestWaitFor([&] { return GetForegroundWindow() == w.other; }, 3000));
        w.host.ClearEvents();
        WORD letter = c.keys.back();
        Inject([&] { Chord(c.keys); });
        EXPECT_TRUE(FfTestWaitFor([&] { return g_passedUp[letter] == 1; }, 3000)) << "the key-up is passed on";
        EXPECT_EQ(c.opens, FfTestWaitFor([] { return Shown(); }, c.opens ? 5000 : 200));
        EXPECT_EQ(c.opens ? 0 : 1, (int)g_passedDown[letter]);
        EXPECT_TRUE(!c.opens || (GetFocus() == g_searchBox && GetForegroundWindow() == g_overlayWindow));
        BYTE alpha = 0;  // made at the start, shown once unseen: opaque when it opens
        EXPECT_TRUE(!c.opens || (GetLayeredWindowAttributes(g_overlayWindow, nullptr, &alpha, nullptr) && alpha == 255));
        EXPECT_EQ(c.hostShortcut, w.host.WaitForEvent(L"shortcut", c.hostShortcut ? 3000 : 100));
    }
}

std::vector<std::wstring> DriveMenu(int pick, const std::function<void()>& show, const std::function<void()>& during = nullptr,
                                    int waitMs = 5000);

// An engine that answers 600 ms late: typed characters are in the box before any reply, the final text's
// results are shown and an older one's reply never is; Escape, publishing, the hotkey and the filter menu act at
// once on what is shown while a query is out, and a reply after closing is dropped.
TEST_F(Overlay, WithASlowEngineNothingWaitsAndOnlyTheNewestTextsRepliesAreShown)
{
    World& w = W();
    FfTestEngine slow;
    w.engine.Stop();
    ASSERT_TRUE(slow.Start(w.Engine(600)));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(FfTestWaitFor([] {
        if (GetFocus() == g_searchBox && GetForegroundWindow() == g_overlayWindow) return true;
        SetForegroundWindow(g_overlayWindow), SetFocus(g_searchBox);
        return false;
    }, 3000));
    std::wstring shown;
    bool answered = true;
    Inject([&] {
        for (wchar_t ch : std::wstring(L"al")) FfTestTypeChar(ch);
        for (int i = 0; i < 1000 && slow.QueriesReceived() == 0; i++) Sleep(5);  // "al" is out
        for (wchar_t ch : std::wstring(L"pha0")) FfTestTypeChar(ch);
    });
    shown = TextOf(g_searchBox), answered = !slow.Answered().empty();
    EXPECT_TRUE(shown == L"alpha0" && !answered) << FfTestUtf8(shown) << " shown after a reply came";
    // The files are shown, with their count, while the folders are asked for.
    EXPECT_TRUE(FfTestWaitFor([] { return g_resultCount == 9 && g_searchRun.active; }, 5000));
    EXPECT_EQ(L"9 files", TextOf(g_statusLine));
    ASSERT_TRUE(FfTestWaitFor([] { return g_resultCount == 9 && !g_searchRun.active; }, 5000));
    DWORD stale = slow.Queries().at(0).replyId;  // "al file:", which the engine dropped for "alpha0 file:"
    EXPECT_EQ(std::vector<DWORD>({stale}), slow.Answered(true));
    EXPECT_TRUE(FfEngineEchoTo(slow.window, FfEverythingReplyWindow(), stale));
    FfTestFlushEvents(100);
    for (int i = 0; i < 9; i++) EXPECT_TRUE(wcsstr(g_results[i].path, L"alpha0")) << FfTestUtf8(g_results[i].path);
    EXPECT_EQ(9, g_resultCount);
    EXPECT_EQ(0, w.log.Count(L"typed=\"al\""));

    enum Act { kEscape, kEnter, kHotkey, kMenu, kCopy, kClear };
    struct Case { const char* what; Act act; bool shown; int results, listed; } cases[] = {
        {"Escape", kEscape, false, 0, 0},
        {"Ctrl+Shift+C copies the shown first row's path", kCopy, false, 0, 0},
        {"the clear button empties the list for good", kClear, true, 0, 0},
        {"Enter publishes what is shown: the first row, selected", kEnter, false, 0, 1},
        {"the hotkey opens anew", kHotkey, true, 0, 0},
        {"the filter menu opens and the reply lands meanwhile", kMenu, true, 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Open());
        ASSERT_EQ(25, Search(L"alpha"));
        std::wstring first = g_results[0].path;
        Search(L"beta", false);
        ASSERT_TRUE(g_searchRun.active);
        EXPECT_STREQ(L"alpha", g_resultSetText) << "the shown rows mark the words they were found for";
        std::vector<std::wstring> menu;
        if (c.act == kEscape) Press(g_searchBox, VK_ESCAPE);
        if (c.act == kEnter) Press(g_searchBox, VK_RETURN);
        if (c.act == kCopy) Press(g_searchBox, 'C', {VK_CONTROL, VK_SHIFT});
        if (c.act == kClear) SendMessageW(g_clearButton, BM_CLICK, 0, 0);
        if (c.act == kHotkey) {
            ASSERT_TRUE(HostInFront(0));
            Inject([] { Chord({VK_CONTROL, VK_MENU, 'F'}); });
        }
        if (c.act == kMenu)
            menu = DriveMenu(-1, [] { FfShowFilterMenu(); }, [] { for (int i = 0; i < 300 && g_searchRun.active; i++) Sleep(10); });
        EXPECT_TRUE(c.act != kMenu || menu.size() > 3) << "the menu showed";
        EXPECT_FALSE(g_searchRun.active) << "forgotten at once, or landed during the menu";
        FfTestFlushEvents(900);  // the reply to "beta" comes meanwhile
        EXPECT_EQ(Str(c.shown, c.results, c.listed), Str(Shown(), g_resultCount, g_panelListingCount));
        if (c.act == kHotkey || c.act == kClear) { EXPECT_EQ(L"", TextOf(g_searchBox)); }
        if (c.act == kCopy) { EXPECT_EQ(FfTestUtf8(first), FfTestUtf8(FfTestClipboardText())); }
        g_panelListingCount = 0;
    }
    // Enter with more than a page: the rest is fetched first, the status line counting; Escape then publishes what
    // arrived, and a new text while a page is out forgets the page (and the publishing).
    for (bool escape : {true, false}) {
        ASSERT_TRUE(Open());
        g_settings.maxResults = 10;
        ASSERT_EQ(10, Search(L"alpha"));
        Select({}, 0);
        Press(g_searchBox, VK_RETURN);
        EXPECT_TRUE(g_fetchAll.pending && g_searchRun.active);
        EXPECT_EQ(L"Publishing all: 10 of 25 files", TextOf(g_statusLine));
        ASSERT_TRUE(FfTestWaitFor([] { return g_resultCount == 20; }, 3000));
        EXPECT_EQ(L"Publishing all: 20 of 25 files", TextOf(g_statusLine));
        if (escape) Press(g_searchBox, VK_ESCAPE);
        else Search(L"beta");
        FfTestFlushEvents(900);  // the page out would have come meanwhile
        EXPECT_EQ(escape ? Str(0, 0, 20) : Str(1, 3, 0), Str(Shown(), g_resultCount, g_panelListingCount));
        EXPECT_FALSE(g_fetchAll.pending);
        g_panelListingCount = 0;
    }
    // Publishing all stops at the most the plug-in holds: 100,000 of the 100,899 files.
    slow.Stop();
    FfEngineOptions many;
    many.syntheticItems = 101000;
    ASSERT_TRUE(slow.Start(many, 60000) && Open());
    g_settings.maxResults = 500;
    ASSERT_EQ(500, Search(L"_"));
    Select({}, 0);
    Press(g_searchBox, VK_RETURN);
    EXPECT_TRUE(FfTestWaitFor([] { return !g_fetchAll.pending; }, 120000));
    EXPECT_EQ(Str(0, 0, FF_RESULTS_MAX), Str(Shown(), g_resultCount, g_panelListingCount));
    EXPECT_EQ(1, w.log.Count(L"the first 100000 results are published"));
    g_settings.maxResults = 200, g_panelListingCount = 0;
    slow.Stop();
    ASSERT_TRUE(w.engine.Start(w.Engine()));
}

TEST_F(Overlay, LiesOnTheActivePanelsEdgeWithTheRowsItsResultsNeed)
{
    World& w = W();
    // The host's font, changed between openings, reaches every control and the row height.
    struct Case { int panel; std::string cfg, font; const wchar_t* query; int results, rows; } cases[] = {
        {0, "", "", L"beta", 3, 3}, {1, "Position=Top\r\n", "FontName=Tahoma\r\nFontSize=16\r\n", L"alpha", 25, 20},
        {1, "", "", L"", 0, 0}, {0, "Position=Top\r\nMaxVisibleRows=0\r\n", "", L"beta", 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.panel << " " << c.cfg << c.font << FfTestUtf8(c.query));
        w.Settings(c.cfg), w.HostIni(c.font);
        ASSERT_TRUE(Open(c.panel));
        for (HWND child : {g_searchBox, g_filterButton, g_resultList, g_statusLine})
            EXPECT_EQ((LRESULT)g_theme.font, SendMessageW(child, WM_GETFONT, 0, 0));
        EXPECT_EQ(g_theme.rowHeight, SendMessageW(g_resultList, LB_GETITEMHEIGHT, 0, 0));
        RECT panel = RectOf(w.host.PanelList(c.panel)), o, list;
        // On the panel's edge from the opening on, before any search places it again.
        for (int searched = 0; searched < 2; searched++) {
            if (searched) ASSERT_EQ(c.results, Search(c.query));
            o = RectOf(g_overlayWindow);
            EXPECT_EQ(Str(panel.left, panel.right, g_settings.positionTop ? panel.top : panel.bottom),
                      Str(o.left, o.right, g_settings.positionTop ? o.top : o.bottom)) << searched;
        }
        EXPECT_EQ(c.rows > 0, IsWindowVisible(g_resultList) != 0);
        GetClientRect(g_resultList, &list);
        EXPECT_EQ(Str(c.rows ? c.rows * g_theme.rowHeight : list.bottom, c.results > c.rows), Str(list.bottom, g_listHasScrollBar));
        FfCloseOverlay();
    }
}

std::vector<std::wstring> g_opened;  // what Shift+Enter asked to open

TEST_F(Overlay, KeysAndClicksPublishOpenCopyOrCloseAndEachClosesButActivationElsewhere)
{
    g_openPathRoutine = [](const wchar_t* path) { g_opened.push_back(path); return true; };
    enum Effect { kPublish, kOpen, kCopy, kNone, kType };
    enum : WORD { kCloseButton = 0x100, kDoubleClick, kOtherWindow };  // not keys
    // page: MaxResults, one query's page.
    struct Case { const char* what; const wchar_t* query; std::vector<int> rows; int caret; bool inList;
                  std::initializer_list<WORD> modifiers; WORD key; Effect effect; int count; int page = 200; } cases[] = {
        {"Enter, nothing selected: all", L"beta", {}, 0, false, {}, VK_RETURN, kPublish, 3},
        {"Ctrl+Enter appends the selected", L"alpha", {1, 3}, 0, false, {VK_CONTROL}, VK_RETURN, kPublish, 5},
        {"Enter, one selected", L"alpha", {4}, 4, false, {}, VK_RETURN, kPublish, 1},
        {"Enter in the list", L"alpha", {3}, 3, true, {}, VK_RETURN, kPublish, 1},
        {"Shift+Enter opens two", L"alpha", {1, 3}, 0, false, {VK_SHIFT}, VK_RETURN, kOpen, 2},
        {"Shift+Enter opens at most ten", L"alpha", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0, false, {VK_SHIFT}, VK_RETURN, kOpen, 10},
        {"Shift+Enter, none selected: the caret row", L"alpha", {}, 4, false, {VK_SHIFT}, VK_RETURN, kOpen, 1},
        {"Ctrl+Shift+C copies three", L"alpha", {0, 4, 7}, 0, false, {VK_CONTROL, VK_SHIFT}, 'C', kCopy, 3},
        {"Ctrl+Shift+C, none selected: the caret row", L"alpha", {}, 2, false, {VK_CONTROL, VK_SHIFT}, 'C', kCopy, 1},
        {"Escape in the box", L"alpha", {2}, 2, false, {}, VK_ESCAPE, kNone, 0},
        {"Escape in the list", L"alpha", {}, 0, true, {}, VK_ESCAPE, kNone, 0},
        {"the close button", L"beta", {1}, 1, false, {}, kCloseButton, kNone, 0},
        {"a double-click on a row does nothing with it", L"alpha", {2}, 2, true, {}, kDoubleClick, kNone, 0},
        {"Shift+C only types a capital C", L"beta", {1}, 1, false, {VK_SHIFT}, 'C', kType, 0},
        {"another window activated: it stays open", L"beta", {1}, 1, false, {}, kOtherWindow, kNone, 0},
        {"Enter, nothing selected: every page fetched first", L"alpha", {}, 0, false, {}, VK_RETURN, kPublish, 25, 10},
        {"Enter in the list, nothing selected: the same", L"alpha", {}, 0, true, {}, VK_RETURN, kPublish, 25, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Open());
        g_settings.maxResults = c.page;
        ASSERT_GT(Search(c.query), 0);
        Select(c.rows, c.caret);
        std::vector<std::wstring> acted;
        std::wstring joined;
        for (int row : c.rows.empty() ? std::vector<int>{c.caret} : c.rows)
            if ((int)acted.size() < c.count) acted.push_back(g_results[row].path), joined += (joined.empty() ? L"" : L"\r\n") + acted.back();
        int listed = g_panelListingCount;
        g_opened.clear(), OpenClipboard(nullptr), EmptyClipboard(), CloseClipboard();
        int results = g_resultCount;
        RECT row;
        SendMessageW(g_resultList, LB_GETITEMRECT, c.caret, (LPARAM)&row);
        if (c.key == kCloseButton) SendMessageW(g_closeButton, BM_CLICK, 0, 0);
        else if (c.key == kDoubleClick) SendMessageW(g_resultList, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(row.left + 40, row.top + 2));
        else if (c.key == kOtherWindow) SetForegroundWindow(W().other);
        else Press(c.inList ? g_resultList : g_searchBox, c.key, c.modifiers);
        FfTestWaitFor([] { return !g_fetchAll.pending; }, 5000);
        EXPECT_TRUE(c.key != kOtherWindow || FfTestWaitFor([] { return GetForegroundWindow() == W().other; }, 3000));
        bool stays = c.key == kOtherWindow || c.effect == kType;  // activation elsewhere leaves it open as it was
        EXPECT_EQ(stays ? Str(1, results) : Str(0, 0), Str(Shown(), g_resultCount));
        EXPECT_EQ(c.effect == kPublish ? c.count : listed, g_panelListingCount);
        EXPECT_EQ(c.effect == kOpen ? acted : std::vector<std::wstring>(), g_opened);
        EXPECT_EQ(FfTestUtf8(c.effect == kCopy ? joined : L""), FfTestUtf8(FfTestClipboardText()));
        if (stays) FfCloseOverlay();
    }
    g_openPathRoutine = FfShellOpenPath;
}

// Published searches are kept newest first in Fleetfinder.history beside the cfg, which stays
// as it was; a broken history is replaced. Ctrl+Up and Ctrl+Down walk them, searching each.
TEST_F(Overlay, PublishedSearchesAreRememberedAndWalkedWithCtrlUpAndDown)
{
    std::wstring history = W().log.dir + L"\\Fleetfinder.history", cfgPath = W().log.dir + L"\\Fleetfinder.cfg";
    FfTestWriteBytes(history, std::string("\xFF\xFE broken\0", 10));
    std::string cfg = FfTestReadBytes(cfgPath);
    struct Publish { const wchar_t* text; bool append; const char* file; } publishes[] = {
        {L"alpha", false, "alpha\r\n"}, {L"beta", true, "beta\r\nalpha\r\n"}, {L"alpha", false, "alpha\r\nbeta\r\n"}};
    for (const Publish& p : publishes) {
        ASSERT_TRUE(Open());
        Search(p.text);
        p.append ? Press(g_searchBox, VK_RETURN, {VK_CONTROL}) : Press(g_searchBox, VK_RETURN);
        EXPECT_EQ(p.file, FfTestReadBytes(history));
    }
    EXPECT_EQ(cfg, FfTestReadBytes(cfgPath)) << "the cfg was written";
    ASSERT_TRUE(Open());
    SetWindowTextW(g_searchBox, L"gam");
    struct Step { WORD key; const wchar_t* text; int results; } steps[] = {
        {VK_UP, L"alpha", 25}, {VK_UP, L"beta", 3}, {VK_UP, L"beta", 3}, {VK_DOWN, L"alpha", 25}, {VK_DOWN, L"gam", 0}};
    for (const Step& s : steps) {
        Press(g_searchBox, s.key, {VK_CONTROL});
        DWORD start = 0, end = 0;
        SendMessageW(g_searchBox, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        EXPECT_EQ(FfTestUtf8(s.text) + " caret at the end", FfTestUtf8(TextOf(g_searchBox)) + (start == wcslen(s.text) && end == start ? " caret at the end" : ""));
        EXPECT_TRUE(FfTestWaitFor([&] { return g_resultCount == s.results; }, 3000)) << FfTestUtf8(s.text);
    }
}

// Quick characters re-arm the search delay: one search for all. While the engine loads its
// index the status line says so and the search is asked again by itself until it answers.
TEST_F(Overlay, TypingSearchesOnceAfterTheDelayAndALoadingEngineIsAskedAgain)
{
    World& w = W();
    // Without an engine the line says so at once on opening, before anything is typed.
    w.engine.Stop();
    ASSERT_TRUE(Open());
    EXPECT_EQ(L"Everything is not running - start it to search", TextOf(g_statusLine));
    FfCloseOverlay();
    ASSERT_TRUE(w.engine.Start(w.Engine()));
    struct Case { const char* what; DWORD loadingMs; const wchar_t* typed; int results, minSearches, maxSearches; } cases[] = {
        {"three quick characters", 0, L"bet", 3, 1, 1},
        {"typed while the engine loads", 1100, L"alpha0", 9, 2, 3},  // loaded by the first retry
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Open());
        if (c.loadingMs) {  // it stays, loaded, for the rows that follow
            FfEngineOptions o = w.Engine();
            o.loadingMs = c.loadingMs;
            w.engine.Stop();
            ASSERT_TRUE(w.engine.Start(o));
        }
        size_t before = w.engine.Queries().size();
        for (wchar_t ch : std::wstring(c.typed)) SendMessageW(g_searchBox, WM_CHAR, ch, 1);
        const std::wstring loading = L"Everything is loading its index...";
        EXPECT_EQ(c.loadingMs > 0, FfTestWaitFor([&] { return TextOf(g_statusLine) == loading; }, c.loadingMs ? 3000 : 0));
        EXPECT_TRUE(FfTestWaitFor([&] { return g_resultCount == c.results; }, 5000));
        EXPECT_FALSE(FfTestWaitFor([&] { return g_resultCount != c.results; }, c.loadingMs ? 0 : 150)) << "searched again";
        int searches = 0;  // each search asks for files first
        std::vector<FfEngineQueryRecord> queries = w.engine.Queries();
        for (size_t i = before; i < queries.size(); i++)
            if (queries[i].text.find(L"file:") != std::wstring::npos) {
                searches++;
                EXPECT_NE(std::wstring::npos, queries[i].text.find(c.typed)) << FfTestUtf8(queries[i].text);
            }
        EXPECT_TRUE(searches >= c.minSearches && searches <= c.maxSearches) << searches;
        EXPECT_NE(loading, TextOf(g_statusLine));
    }
}

// Ctrl+Backspace deletes the word before the caret, or the selection; Shift+arrows in the box
// extend the list's selection from its caret, after which arrows alone move on from there.
TEST_F(Overlay, CtrlBackspaceDeletesAWordAndShiftArrowsExtendTheListsSelection)
{
    struct Key { WORD modifier, vk; };
    // page: MaxResults; loaded: the results after the keys (the caret within a page of the end asks the next page).
    struct Case { const wchar_t* text; int selStart, selEnd; std::vector<Key> keys; const wchar_t* after; std::vector<int> selected;
                  int page = 200, loaded = -1; } cases[] = {
        {L"alpha beta  ", 12, 12, {{VK_CONTROL, VK_BACK}}, L"alpha "},
        {L"alpha beta", 8, 8, {{VK_CONTROL, VK_BACK}}, L"alpha ta"},
        {L"alpha beta", 2, 7, {{VK_CONTROL, VK_BACK}}, L"aleta"},
        {L"alpha beta", 10, 10, {{0, VK_BACK}}, L"alpha beta"},  // the edit deletes a character on its character message
        {L"alpha", 5, 5, {{VK_SHIFT, VK_DOWN}, {VK_SHIFT, VK_DOWN}}, L"alpha", {0, 1, 2}},
        {L"alpha", 5, 5, {{0, VK_DOWN}, {VK_SHIFT, VK_UP}}, L"alpha", {0, 1}},
        {L"alpha", 5, 5, {{VK_SHIFT, VK_DOWN}, {0, VK_DOWN}}, L"alpha", {2}},
        {L"alpha", 5, 5, {{0, VK_DOWN}}, L"alpha", {1}, 5, 10},
        {L"alpha", 5, 5, {{VK_SHIFT, VK_DOWN}, {VK_SHIFT, VK_DOWN}}, L"alpha", {0, 1, 2}, 5, 15},
    };
    ASSERT_TRUE(Open());
    for (const Case& c : cases) {
        SCOPED_TRACE(FfTestUtf8(c.text) + " " + std::to_string(c.keys.size()) + " keys, last " + std::to_string(c.keys.back().vk));
        g_settings.maxResults = c.page;
        Search(c.text);
        SendMessageW(g_searchBox, EM_SETSEL, c.selStart, c.selEnd);
        for (const Key& k : c.keys) k.modifier ? Press(g_searchBox, k.vk, {k.modifier}) : Press(g_searchBox, k.vk);
        EXPECT_EQ(FfTestUtf8(c.after), FfTestUtf8(TextOf(g_searchBox)));
        std::vector<int> selected;
        for (int i = 0; i < g_resultCount && !c.selected.empty(); i++)
            if (SendMessageW(g_resultList, LB_GETSEL, i, 0) > 0) selected.push_back(i);
        EXPECT_EQ(c.selected, selected);
        if (c.loaded >= 0) { EXPECT_EQ(c.loaded, g_resultCount); }
    }
    // The wheel in the list asks page after page until the engine has no more.
    Search(L"alpha");
    for (int loaded : {10, 15, 20, 25, 25}) {
        SendMessageW(g_resultList, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
        FfTestWaitFor([] { return !g_searchRun.active; }, 3000);
        EXPECT_EQ(loaded, g_resultCount);
    }
    EXPECT_EQ(L"25 files", TextOf(g_statusLine));
    // Under a column sort a page is sorted in with what is loaded, and the selected results stay selected.
    Search(L"alpha");
    FfSortResultsByColumn(FF_SORT_SIZE);
    Select({1, 3}, 3);
    std::set<std::wstring> chosen = {g_results[1].path, g_results[3].path}, still;
    SendMessageW(g_resultList, WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
    ASSERT_TRUE(FfTestWaitFor([] { return !g_searchRun.active; }, 3000) && g_resultCount == 10);
    for (int i = 0; i < g_resultCount; i++) {
        if (SendMessageW(g_resultList, LB_GETSEL, i, 0) > 0) still.insert(g_results[i].path);
        if (i) { EXPECT_LE(FfCompareResults(&g_results[i - 1], &g_results[i], FF_SORT_SIZE, g_sortDescending), 0) << i; }
    }
    EXPECT_EQ(chosen, still);
    EXPECT_EQ(L"10 of 25 files - sorted: the 10 loaded", TextOf(g_statusLine));
}

// Shows a pop-up menu with show() while a helper thread reads its entries and place, runs
// during() and then picks the entry at position pick by a click on it (-1: Escape). Nothing is
// seen when no menu came within waitMs.
std::vector<std::wstring> DriveMenu(int pick, const std::function<void()>& show, const std::function<void()>& during, int waitMs)
{
    std::vector<std::wstring> seen;
    std::thread driver([&] {
        HWND window = nullptr;
        for (int i = 0; i < waitMs / 10 && !(window && IsWindowVisible(window)); i++, Sleep(10)) window = FindWindowW(L"#32768", nullptr);
        if (!window || !IsWindowVisible(window)) return;
        HMENU menu = (HMENU)SendMessageW(window, 0x01E1 /* MN_GETHMENU */, 0, 0);
        RECT r = RectOf(window);
        seen.push_back(std::to_wstring(r.left) + L"," + std::to_wstring(r.top));
        for (int i = 0; i < GetMenuItemCount(menu); i++) {
            wchar_t text[128] = {};
            GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
            seen.push_back(text + std::wstring(GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED ? L" (checked)" : L""));
        }
        if (during) during();
        if (pick < 0 || !GetMenuItemRect(nullptr, menu, pick, &r)) return (void)PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
        for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP}) PostMessageW(window, msg, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    });
    show();
    driver.join();
    return seen;
}

TEST_F(Overlay, ContextMenuOfARowGoesToItsLocationOrPublishes)
{
    struct Case { const char* what; const wchar_t* query; int row; bool keyboard; int pick, listed; bool replaced; int page = 200; } cases[] = {
        {"one result, dismissed", L"alpha01", 0, false, -1, 0, false},
        {"row 5 of 25, dismissed", L"alpha", 5, false, -1, 0, false},
        {"from the keyboard: at the caret row's corner", L"alpha", 3, true, -1, 0, false},
        {"go to the location", L"alpha", 4, false, 0, 0, false},
        {"show just this one", L"alpha", 4, false, 1, 1, false},
        {"show all, replacing the one shown before", L"beta", 1, false, 2, 3, false},
        {"show all of more than a page: every match, fetched first", L"alpha", 1, false, 2, 25, false, 10},
        {"go to a row the search meanwhile took away", L"alpha", 3, false, 0, 0, true},
        {"go to a row whose result the search meanwhile replaced", L"alpha", 1, false, 0, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Open());
        g_settings.maxResults = c.page;
        int count = Search(c.query);
        std::wstring path = g_results[c.row].path, n = std::to_wstring(FfPublishAllCount());
        Select({0, 1, 2}, c.row);
        RECT row;
        SendMessageW(g_resultList, LB_GETITEMRECT, c.row, (LPARAM)&row);
        POINT at = {c.keyboard ? row.left : row.left + 30, c.keyboard ? row.bottom : row.top + 2};
        ClientToScreen(g_resultList, &at);
        W().host.ClearEvents();
        std::vector<std::wstring> seen = DriveMenu(c.pick, [&] {
            SendMessageW(g_overlayWindow, WM_CONTEXTMENU, (WPARAM)g_resultList, c.keyboard ? (LPARAM)-1 : MAKELPARAM(at.x, at.y));
        }, [&] {
            if (!c.replaced) return;
            SendMessageW(g_searchBox, WM_SETTEXT, 0, (LPARAM)L"beta");  // searched inside the menu's loop
            for (int i = 0; i < 500 && g_resultCount != 3; i++) Sleep(10);
        });
        FfTestWaitFor([] { return !g_fetchAll.pending; }, 5000);
        std::vector<std::wstring> expected = {std::to_wstring(at.x) + L"," + std::to_wstring(at.y), L"Go to this location",
                                              L"Show all " + n + (count > 1 ? L" results in panel" : L" result in panel")};
        if (count > 1) expected.insert(expected.begin() + 2, L"Show just this 1 result in panel");
        EXPECT_EQ(expected, seen);
        std::wstring went;  // the folders the host was sent to; publishing sends it to the plug-in's
        for (const FfHostEvent& e : W().host.Events()) went += e.kind == L"changedir" && e.path[0] != L'\\' ? e.path + L";" : L"";
        EXPECT_EQ(FfTestUtf8(c.pick == 0 && !c.replaced ? path + L";" : L""), FfTestUtf8(went));
        EXPECT_EQ(c.listed, g_panelListingCount);
        EXPECT_EQ(c.pick < 0 || c.replaced, Shown());
        EXPECT_EQ(c.pick < 0 ? count : c.replaced ? 3 : 0, g_resultCount);
        g_settings.maxResults = 200;
        if (c.pick < 0) {
            EXPECT_EQ(1, SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0));
            EXPECT_GT(SendMessageW(g_resultList, LB_GETSEL, c.row, 0), 0);
        }
        if (c.pick != 1) g_panelListingCount = 0;  // "show all" next must replace the one shown
    }
    // A right-click anywhere but on the list (the search box has its own menu) shows none.
    ASSERT_TRUE(Open());
    Search(L"alpha");
    for (HWND from : {g_searchBox, g_overlayWindow})
        EXPECT_TRUE(DriveMenu(-1, [&] { SendMessageW(g_overlayWindow, WM_CONTEXTMENU, (WPARAM)from, MAKELPARAM(10, 10)); }, nullptr, 300).empty());
}

TEST_F(Overlay, FilterMenuListsTheCatalogueAndAPickIsSavedAndSearchedAtOnce)
{
    ASSERT_TRUE(Open() && Search(L"alpha") && g_filterCount >= 4);
    wchar_t about[64];
    FfBuildAboutMenuText(about, 64);
    for (int pick : {3, -1, 0}) {
        int before = g_selectedFilter, selected = pick < 0 ? before : pick;
        std::wstring name = g_filters[selected].name, run = L"FfRunSearchNow: filter=\"" + name + L"\"";
        int runs = W().log.Count(run);
        std::vector<std::wstring> seen = DriveMenu(pick, [] { FfShowFilterMenu(); });
        std::vector<std::wstring> expected = {seen.empty() ? L"" : seen[0]};
        for (int i = 0; i < g_filterCount; i++) expected.push_back(g_filters[i].name + std::wstring(i == before ? L" (checked)" : L""));
        expected.insert(expected.end(), {L"", about});
        EXPECT_EQ(expected, seen);
        EXPECT_EQ(selected, g_selectedFilter);
        EXPECT_EQ(name, TextOf(g_filterButton));
        EXPECT_EQ(runs + (pick < 0 ? 0 : 1), W().log.Count(run)) << "searched inside the menu's call";
        EXPECT_NE(std::string::npos, FfTestReadBytes(W().log.dir + L"\\Fleetfinder.cfg").find("LastSelectedFilter=" + FfTestUtf8(name)));
    }
}

// Ctrl+I, B, U, R in the search box and clicks on the toggles flip one option each, write its key and
// search again at once with the flags; the box keeps its text and the focus.
TEST_F(Overlay, MatchTogglesFlipSaveAndSearchAgainFromKeysAndClicks)
{
    ASSERT_TRUE(Open() && Search(L"alpha"));
    struct Case { WORD key; int option; DWORD flags; const char* line; } cases[] = {{'I', 0, 0x1, "MatchCase=Y"},
        {'B', 1, 0x3, "MatchWholeWord=Y"}, {0, 2, 0x7, "MatchPath=Y"}, {'R', 3, 0xF, "Regex=Y"}, {0, 0, 0xE, "MatchCase=N"},
        {'U', 2, 0xA, "MatchPath=N"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        size_t before = W().engine.Queries().size();
        if (c.key) Press(g_searchBox, c.key, {VK_CONTROL});
        else {
            const RECT& r = g_toggleRects[c.option];
            SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
            SendMessageW(g_overlayWindow, WM_LBUTTONUP, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
        }
        std::vector<FfEngineQueryRecord> sent = W().engine.Queries();
        ASSERT_GT(sent.size(), before) << "searched at once";
        EXPECT_EQ(c.flags, sent.back().searchFlags);
        EXPECT_EQ(c.flags, FfSearchFlagsFromSettings(&g_settings));
        EXPECT_NE(std::string::npos, FfTestReadBytes(W().log.dir + L"\\Fleetfinder.cfg").find(c.line));
        EXPECT_TRUE(TextOf(g_searchBox) == L"alpha" && GetFocus() == g_searchBox && !IsRectEmpty(&g_toggleRects[c.option]));
        // Lit while on, in the theme's accent; the band's background while off.
        UpdateWindow(g_overlayWindow);
        HDC dc = GetDC(g_overlayWindow);
        EXPECT_EQ(g_settings.matchOptions[c.option] ? g_theme.accent : g_theme.windowBackground,
                  GetPixel(dc, g_toggleRects[c.option].left + 2, g_toggleRects[c.option].top + 2));
        ReleaseDC(g_overlayWindow, dc);
    }
    // Each toggle's tip names what it does and its key.
    std::vector<std::wstring> tips;
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++) {
        wchar_t text[80] = L"";
        for (HWND tip = nullptr; (tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr)) != nullptr && !text[0];) {
            TOOLINFOW info = {};
            info.cbSize = TTTOOLINFOW_V1_SIZE, info.hwnd = g_overlayWindow, info.uId = (UINT_PTR)option, info.lpszText = text;
            if (tip != g_tooltip) SendMessageW(tip, TTM_GETTEXTW, 80, (LPARAM)&info);
        }
        tips.push_back(text);
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Match case (Ctrl+I)", L"Match whole words (Ctrl+B)", L"Match path (Ctrl+U)",
                                         L"Regular expression (Ctrl+R)"}), tips);
}

// A press on a selected row waits to see whether it becomes a drag: let go within the drag rectangle it
// is the list box's click (that row alone); Ctrl or Shift presses and other rows go to the list box at once.
TEST_F(Overlay, APressThatDoesNotDragSelectsAsAClick)
{
    ASSERT_TRUE(Open());
    ASSERT_EQ(25, Search(L"alpha"));
    RECT row;
    SendMessageW(g_resultList, LB_GETITEMRECT, 2, (LPARAM)&row);
    int x = (row.left + row.right) / 2 - 30, y = (row.top + row.bottom) / 2, nudge = GetSystemMetrics(SM_CXDRAG) / 2;
    struct Case { std::vector<int> before; WPARAM keys; int moveX; std::vector<int> after; } cases[] = {
        {{1, 2, 3}, 0, 0, {2}}, {{1, 2, 3}, 0, nudge, {2}}, {{5}, 0, 0, {2}}, {{1, 2, 3}, MK_CONTROL, 0, {1, 3}}, {{2, 3}, MK_SHIFT, 0, {2, 3}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.before.size()) + " selected, keys " + std::to_string(c.keys) + ", moved " + std::to_string(c.moveX));
        Select(c.before, c.before[0]);
        SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON | c.keys, MAKELPARAM(x, y));
        if (c.moveX) SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON | c.keys, MAKELPARAM(x + c.moveX, y));
        SendMessageW(g_resultList, WM_LBUTTONUP, c.keys, MAKELPARAM(x + c.moveX, y));
        std::vector<int> selected;
        for (int i = 0; i < g_resultCount; i++)
            if (SendMessageW(g_resultList, LB_GETSEL, i, 0) > 0) selected.push_back(i);
        EXPECT_EQ(c.after, selected);
        EXPECT_TRUE(Shown() && GetCapture() != g_resultList);
    }
}

TEST_F(Overlay, HeaderClicksSortTheSortedColumnIsMarkedAndTheThumbDrags)
{
    // Panels wide enough for every column: in the usual 446 px the folder gives way to the whole date.
    ASSERT_TRUE(W().host.MoveMainWindow(100, 80, 1300, 600));
    struct Restore { ~Restore() { W().host.MoveMainWindow(100, 80, 900, 600); } } restore;
    ASSERT_TRUE(Open());
    ASSERT_EQ(25, Search(L"alpha"));
    RECT h = g_headerRect, folder, size, date, track, thumb;
    FfGetColumnRects(h.top, FfContentRight(h.right), h.bottom, &folder, &size, &date);
    int sp = g_theme.dpiScale, y = (h.top + h.bottom) / 2;
    struct Case { int x, column, descending; } cases[] = {{(size.left + size.right) / 2, FF_SORT_SIZE, 1},
        {(size.left + size.right) / 2, FF_SORT_SIZE, 0}, {(date.left + date.right) / 2, FF_SORT_DATE, 1},
        {(folder.left + folder.right) / 2, FF_SORT_FOLDER, 0}, {h.left + 40 * sp / 100, FF_SORT_NAME, 0},
        {date.right + 1, FF_SORT_NAME, 1}, {h.left + 4 * sp / 100, FF_SORT_EXTENSION, 0}};
    HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(dc, CreateCompatibleBitmap(screen, h.right, h.bottom));
    for (const Case& c : cases) {
        Select({2});
        SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, y));
        EXPECT_EQ(c.column * 2 + c.descending, g_sortColumn * 2 + g_sortDescending) << c.x;
        EXPECT_EQ(0, SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0));
        for (int i = 1; i < g_resultCount; i++)
            ASSERT_LE(FfCompareResults(&g_results[i - 1], &g_results[i], g_sortColumn, g_sortDescending), 0) << c.x << " row " << i;
        // A line under the icon marks the extension sort.
        FfPaintHeaderStrip(dc);
        EXPECT_EQ(c.column == FF_SORT_EXTENSION ? g_theme.highlight : g_theme.inputBackground, GetPixel(dc, h.left + 12 * sp / 100, h.bottom - 3 * sp / 100));
    }
    // The typed word of a name is drawn bold: more ink than the plain name (the search box holds "alpha").
    RECT name = {0, 0, 200, h.bottom};
    auto ink = [&](bool highlighted) {
        FillRect(dc, &name, (HBRUSH)GetStockObject(WHITE_BRUSH));
        SelectObject(dc, g_theme.font), SetTextColor(dc, RGB(0, 0, 0));
        if (highlighted) FfDrawHighlightedName(dc, &name, L"alpha1000.txt", RGB(0, 0, 0));
        else DrawTextW(dc, L"alpha1000.txt", -1, &name, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
        int n = 0;
        for (int x = 0; x < name.right; x++)
            for (int y = 0; y < name.bottom; y++) n += GetPixel(dc, x, y) != RGB(255, 255, 255);
        return n;
    };
    EXPECT_GT(ink(true), ink(false));
    FfDrawHighlightedName(dc, &name, nullptr, 0);  // no name, nothing drawn
    DeleteObject(SelectObject(dc, old)), DeleteDC(dc), ReleaseDC(nullptr, screen);
    // The thumb dragged past the track's end shows the last page; letting go ends the drag.
    FfGetScrollBarRects(&track, &thumb);
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(thumb.left + 1, thumb.top + 2));
    EXPECT_EQ(g_resultList, GetCapture());
    SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(thumb.left + 1, track.bottom + 400));
    EXPECT_EQ(5, SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0));
    SendMessageW(g_resultList, WM_LBUTTONUP, 0, MAKELPARAM(thumb.left + 1, 10));
    EXPECT_TRUE(!g_scrollDragging && GetCapture() != g_resultList);
    // A second click in the track, quick as a double-click, pages again; it is no row's double-click.
    SendMessageW(g_resultList, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(track.left + 1, track.top + 1));
    EXPECT_TRUE(Shown() && SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0) == 0);
    // The pointer over a row's folder shows the whole folder in a tip; over its name, none.
    RECT row;
    SendMessageW(g_resultList, LB_GETITEMRECT, 7, (LPARAM)&row);
    FfGetColumnRects(row.top, FfContentRight(row.right), row.bottom, &folder, &size, &date);
    std::wstring parent = g_results[7].path;
    parent.resize(parent.rfind(L'\\'));
    for (int x : {(int)(folder.left + folder.right) / 2, (int)folder.left - 20}) {
        SendMessageW(g_resultList, WM_MOUSEMOVE, 0, MAKELPARAM(x, row.top + 2));
        wchar_t text[512] = L"";
        TOOLINFOW info = {};
        info.cbSize = TTTOOLINFOW_V1_SIZE, info.hwnd = g_overlayWindow, info.uId = (UINT_PTR)g_resultList, info.lpszText = text;
        SendMessageW(g_tooltip, TTM_GETTEXTW, 512, (LPARAM)&info);
        bool overFolder = x >= folder.left && x < folder.right;  // a folder column may have given way to the name
        EXPECT_EQ(overFolder, IsWindowVisible(g_tooltip) != 0) << x;
        if (overFolder) { EXPECT_EQ(FfTestUtf8(parent), FfTestUtf8(text)); }
    }
    // A full set: every row selectable and read back, the thumb reaches the last page, a sort covers
    // what is loaded and the status line says so while the engine holds more.
    FfClearResults();
    wchar_t path[48];
    auto add = [&](int from, int to) {
        for (int i = from; i < to; i++) FfAppendResult(path, FfFormatText(path, 48, L"C:\\d\\f%06d.txt", (i * 7919) % FF_RESULTS_MAX), i, {}, 0);
    };
    g_engineState = FF_ENGINE_ANSWERED, g_engineTotalFiles = 150000, g_engineTotalFolders = 0, g_localSortActive = 0;
    add(0, 200);
    FfResetResultList();
    // A file page put in before the folder block: the rows from there on move down, their selection and caret too.
    Select({3, 150}, 150);
    SendMessageW(g_resultList, LB_SETTOPINDEX, 2, 0);
    add(200, 300);
    FfInsertResultRows(100, 100);
    EXPECT_TRUE(SendMessageW(g_resultList, LB_GETCOUNT, 0, 0) == 300 && SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0) == 2 &&
                SendMessageW(g_resultList, LB_GETSEL, 250, 0) > 0 && SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0) == 250 &&
                SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0) == 2);
    FfClearResults();
    add(0, 200);
    FfResetResultList();
    // Pages appended at the end: rows grow, the selection, caret and top row stay, the count follows.
    Select({3, 5}, 5);
    SendMessageW(g_resultList, LB_SETTOPINDEX, 2, 0);
    for (int page = 200; page < FF_RESULTS_MAX; page += 49900) {
        add(page, page + 49900 < FF_RESULTS_MAX ? page + 49900 : FF_RESULTS_MAX);
        FfAppendResultRows(page);
        EXPECT_TRUE(SendMessageW(g_resultList, LB_GETCOUNT, 0, 0) == g_resultCount && SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0) == 2 &&
                    SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0) == 5 && SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0) == 2) << page;
    }
    EXPECT_EQ(L"100,000 of 150,000 files", TextOf(g_statusLine));
    SendMessageW(g_resultList, LB_SELITEMRANGEEX, 0, FF_RESULTS_MAX - 1);
    EXPECT_EQ(FF_RESULTS_MAX, FfGetSelectedResultIndexes(g_selectedRows));
    EXPECT_EQ(FF_RESULTS_MAX - 1, g_selectedRows[FF_RESULTS_MAX - 1]);
    FfGetScrollBarRects(&track, &thumb);
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(thumb.left + 1, thumb.top + 1));
    SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(thumb.left + 1, track.bottom + 400));
    SendMessageW(g_resultList, WM_LBUTTONUP, 0, MAKELPARAM(thumb.left + 1, 10));
    RECT client;
    GetClientRect(g_resultList, &client);
    int page = client.bottom / (int)SendMessageW(g_resultList, LB_GETITEMHEIGHT, 0, 0);
    EXPECT_EQ(FF_RESULTS_MAX - page, SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0));
    FfSortResultsByColumn(FF_SORT_NAME);
    EXPECT_STREQ(L"C:\\d\\f000000.txt", g_results[0].path);
    EXPECT_STREQ(L"C:\\d\\f099999.txt", g_results[FF_RESULTS_MAX - 1].path);
    EXPECT_EQ(L"100,000 of 150,000 files - sorted: the 100,000 loaded", TextOf(g_statusLine));
}

}  // namespace
