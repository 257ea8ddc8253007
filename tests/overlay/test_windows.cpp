// The overlay on real windows: the plug-in's overlay and hotkey hook in this process, over the
// stand-in host, searching the stand-in engine. Hotkey chords, placement, keys, history, menus.
#include <atomic>
#include <thread>
#include "fftest.h"
#include "bridge/bridge.h"
#include "bridge/host_commands.h"
#include "core/core.h"
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
    DWORD vk = ((const KBDLLHOOKSTRUCT*)lp)->vkCode & 0xFF;
    if (code == HC_ACTION && (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN)) g_passedDown[vk]++;
    if (code == HC_ACTION && (msg == WM_KEYUP || msg == WM_SYSKEYUP)) g_passedUp[vk]++;
    return CallNextHookEx(g_recorder, code, msg, lp);
}

struct World {
    FfTestLog log{L"overlay"};  // Fleetfinder.log, .cfg and .history live in log.dir
    std::wstring files = log.dir + L"\\files", ini = log.dir + L"\\wincmd.ini";
    FfTestEngine engine;
    FfHostCtl host;
    HWND other = nullptr;  // a window of another program's kind

    FfEngineOptions Engine(DWORD answerDelayMs = 0) const
    {
        FfEngineOptions opt;
        opt.roots.push_back(files);
        opt.filtersDir = log.dir;  // no engine filters there: the built-in catalogue
        opt.answerDelayMs = answerDelayMs;
        return opt;
    }
    bool Start()
    {
        std::vector<FfTestTreeItem> tree;  // alpha01..alpha25.txt, beta1..beta3.txt
        for (int i = 1; i <= 28; i++) {
            FfTestTreeItem item;
            item.relPath = i <= 25 ? (i < 10 ? L"alpha0" : L"alpha") + std::to_wstring(i) + L".txt" : L"beta" + std::to_wstring(i - 25) + L".txt";
            item.size = 1000u * (unsigned)((i * 7) % 11);
            item.modified = FfTestFileTime(2026, 1 + i % 12, 1 + i % 27, 10, i);
            tree.push_back(item);
        }
        // The host runs a Ctrl+Alt+F or G binding it sees; the theme reads the same ini.
        std::string folder = FfTestUtf8(files);
        FfTestWriteBytes(ini, "[Configuration]\r\n[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=" + folder + "\r\nCA+G=CD\r\nCA+G_params=" + folder + "\r\n");
        SetEnvironmentVariableW(L"COMMANDER_INI", ini.c_str());
        InitializeCriticalSection(&g_listingLock);  // the host's process attach does it
        g_moduleHandle = GetModuleHandleW(nullptr);
        FfHostStartOptions hostOptions;
        hostOptions.leftFolder = files;
        hostOptions.commanderIni = ini;
        if (!FfTestMakeTree(files, tree) || !engine.Start(Engine()) || !host.Start(hostOptions)) return false;
        g_hostProcessId = host.process.pi.dwProcessId;
        other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 1200, 50, 300, 200, nullptr, nullptr, nullptr, nullptr);
        g_recorder = SetWindowsHookExW(WH_KEYBOARD_LL, Recorder, GetModuleHandleW(nullptr), 0);
        FfInstallKeyboardHook();
        return g_recorder && g_hookHandle;
    }
    // displayLines come first in [Display]: the first of two equal keys is the one read.
    void Settings(const std::string& displayLines)
    {
        FfTestWriteBytes(log.dir + L"\\Fleetfinder.cfg", "[Display]\r\n" + displayLines +
                         "Logging=Y\r\nSearchDelayMs=100\r\nMaxVisibleRows=20\r\nThemeMode=Dark\r\n[Everything]\r\nMaxResults=200\r\nSortOrder=NameAscending\r\n");
        FfLoadSettingsFrom((log.dir + L"\\Fleetfinder.cfg").c_str());
    }
};

World& W()
{
    static World* world = nullptr;
    if (!world) {
        world = new World();
        // The engine and the host share this program's output: CTest waits for them unless they end with us.
        std::atexit([] { world->host.Quit(3000); world->engine.Stop(); });
        if (!world->Start()) ADD_FAILURE() << "the overlay's world did not start";
    }
    return *world;
}

bool Shown() { return g_overlayWindow && IsWindowVisible(g_overlayWindow); }
RECT RectOf(HWND w) { RECT r = {}; GetWindowRect(w, &r); return r; }
std::wstring TextOf(HWND w) { wchar_t t[512] = {}; GetWindowTextW(w, t, 512); return t; }
bool Held(WORD vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

bool HostInFront(int panel)
{
    World& w = W();
    w.host.SetActivePanel(panel);
    w.host.BringToFront();
    return FfTestWaitFor([&] { return GetForegroundWindow() == w.host.mainWindow; }, 3000);
}

// Opens over a host panel and cancels the empty search the opening arms (it would clear a list
// filled meanwhile). True when shown and empty.
bool Open(int panel = 0)
{
    if (!HostInFront(panel)) return false;
    FfTestFlushEvents(100);  // this thread sees its deactivation before the overlay takes the foreground
    FfOpenOverlay();
    if (!Shown()) return false;
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    return g_resultCount == 0;
}

// Searches at once, without the delay (the typing rows go through it).
int Search(const wchar_t* text)
{
    SetWindowTextW(g_searchBox, text);
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FfRunSearchNow();
    return g_resultCount;
}

// The handlers read modifiers live: they are injected and held until the system reports them.
void Hold(WORD vk, bool down)
{
    for (int i = 0; i < 3 && Held(vk) != down; i++) {
        FfTestSendKey(vk, !down);
        FfTestWaitFor([&] { return Held(vk) == down; }, 1000);
    }
    EXPECT_EQ(down, Held(vk)) << "modifier " << vk;
}

// A key-down sent to a control of the overlay with the modifiers held.
void Press(HWND to, WORD vk, std::initializer_list<WORD> modifiers = {})
{
    for (WORD m : modifiers) Hold(m, true);
    SendMessageW(to, WM_KEYDOWN, vk, 1);
    for (WORD m : modifiers) Hold(m, false);
    FfTestFlushEvents(30);
}

// Keys typed from a helper thread while this thread pumps (the hooks run on it).
void Inject(const std::function<void()>& keys)
{
    std::atomic<bool> done{false};
    std::thread typist([&] { keys(); done = true; });
    FfTestWaitFor([&] { return done.load(); }, 10000);
    typist.join();
    FfTestFlushEvents(100);
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
        W().Settings("");
        FfCloseOverlay();
        for (int i = 0; i < 256; i++) g_passedDown[i] = g_passedUp[i] = 0;
        // The real pointer must not move over the list or a menu on its own.
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    }
    void TearDown() override
    {
        if (GetCapture()) ReleaseCapture();
        FfCloseOverlay();
        g_panelListingCount = 0;
    }
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
        for (int i = 0; i < 256; i++) g_passedDown[i] = g_passedUp[i] = 0;
        if (c.overHost) {
            ASSERT_TRUE(HostInFront(0));
        } else {
            SetForegroundWindow(w.other);
            ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == w.other; }, 3000));
        }
        w.host.ClearEvents();
        WORD letter = c.keys.back();
        Inject([&] {
            for (WORD k : c.keys) FfTestSendKey(k, false);
            for (auto k = c.keys.rbegin(); k != c.keys.rend(); ++k) FfTestSendKey(*k, true);
        });
        EXPECT_TRUE(FfTestWaitFor([&] { return g_passedUp[letter] == 1; }, 3000)) << "the key-up is passed on";
        EXPECT_EQ(c.opens, FfTestWaitFor([] { return Shown(); }, c.opens ? 5000 : 200));
        EXPECT_EQ(c.opens ? 0 : 1, (int)g_passedDown[letter]);
        if (c.opens) {
            EXPECT_EQ(g_searchBox, GetFocus());
            EXPECT_EQ(g_overlayWindow, GetForegroundWindow());
        }
        EXPECT_EQ(c.hostShortcut, w.host.WaitForEvent(L"shortcut", c.hostShortcut ? 3000 : 100));
    }
}

// One engine that answers late; a run waits for it on this thread while keys come.
TEST_F(Overlay, WhileASearchWaitsForTheEngineTypingIsKeptAndTheHotkeyOpensAfterTheRun)
{
    World& w = W();
    FfTestEngine slow;
    w.engine.Stop();
    ASSERT_TRUE(slow.Start(w.Engine(600)));
    for (bool hotkey : {false, true}) {
        SCOPED_TRACE(hotkey ? "hotkey" : "typing");
        ASSERT_TRUE(Open());
        if (hotkey) {
            ASSERT_TRUE(HostInFront(0));  // the overlay stays open behind the host
            SetWindowTextW(g_searchBox, L"alpha");
        }
        ASSERT_TRUE(hotkey || FfTestWaitFor([] {
            if (GetFocus() == g_searchBox && GetForegroundWindow() == g_overlayWindow) return true;
            SetForegroundWindow(g_overlayWindow);
            SetFocus(g_searchBox);
            return false;
        }, 3000));
        int queries = slow.QueriesReceived(), opens = w.log.Count(L"FfOpenOverlay: hotkey fired.");
        Inject([&] {
            for (wchar_t ch : std::wstring(hotkey ? L"" : L"al")) FfTestTypeChar(ch);
            // Once the run is waiting for the engine (this thread inside it), go on.
            for (int i = 0; i < 1000 && slow.QueriesReceived() == queries; i++) Sleep(5);
            for (wchar_t ch : std::wstring(hotkey ? L"" : L"pha0")) FfTestTypeChar(ch);
            const WORD chord[] = {VK_CONTROL, VK_MENU, 'F'};
            for (int i = 0; hotkey && i < 6; i++) FfTestSendKey(chord[i < 3 ? i : 5 - i], i >= 3);
        });
        if (!hotkey) {
            EXPECT_TRUE(FfTestWaitFor([] { return g_resultCount == 9; }, 10000)) << g_resultCount;
            EXPECT_EQ(L"alpha0", TextOf(g_searchBox));
        } else {
            ASSERT_TRUE(FfTestWaitFor([&] { return w.log.Count(L"FfOpenOverlay: hotkey fired.") > opens; }, 10000));
            std::wstring log = w.log.Text();
            size_t run = log.rfind(L"typed=\"alpha\"");
            ASSERT_NE(std::wstring::npos, run);
            EXPECT_LT(run, log.rfind(L"FfOpenOverlay: hotkey fired.")) << "opened in the middle of the run";
            EXPECT_EQ(0, (int)g_passedDown['F']);
        }
        FfCloseOverlay();
    }
    slow.Stop();
    ASSERT_TRUE(w.engine.Start(w.Engine()));
}

TEST_F(Overlay, LiesOnTheActivePanelsEdgeWithTheRowsItsResultsNeed)
{
    World& w = W();
    struct Case { int panel; std::string cfg; const wchar_t* query; int results, rows; } cases[] = {
        {0, "", L"beta", 3, 3}, {1, "Position=Top\r\n", L"alpha", 25, 20}, {1, "", L"", 0, 0},
        {0, "Position=Top\r\nMaxVisibleRows=0\r\n", L"beta", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.panel << " " << c.cfg << FfTestUtf8(c.query));
        w.Settings(c.cfg);
        ASSERT_TRUE(Open(c.panel));
        ASSERT_EQ(c.results, Search(c.query));
        RECT panel = RectOf(w.host.PanelList(c.panel)), o = RectOf(g_overlayWindow), list;
        EXPECT_EQ(panel.left, o.left);
        EXPECT_EQ(panel.right, o.right);
        if (g_settings.positionTop) EXPECT_EQ(panel.top, o.top);
        else EXPECT_EQ(panel.bottom, o.bottom);
        EXPECT_EQ(c.rows > 0, IsWindowVisible(g_resultList) != 0);
        GetClientRect(g_resultList, &list);
        EXPECT_EQ(c.rows ? c.rows * g_theme.rowHeight : list.bottom, list.bottom);
        EXPECT_EQ(c.results > c.rows, g_listHasScrollBar);
        FfCloseOverlay();
    }
}

std::vector<std::wstring> g_opened;  // what Shift+Enter asked to open

TEST_F(Overlay, KeysPublishOpenCopyOrCloseAndEachCloses)
{
    g_openPathRoutine = [](const wchar_t* path) { g_opened.push_back(path); return true; };
    enum Effect { kPublish, kOpen, kCopy, kNone };
    struct Case { const char* what; const wchar_t* query; std::vector<int> rows; int caret; bool inList;
                  std::initializer_list<WORD> modifiers; WORD key; Effect effect; int count; } cases[] = {
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
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Open());
        ASSERT_GT(Search(c.query), 0);
        Select(c.rows, c.caret);
        std::vector<std::wstring> acted;
        for (int row : c.rows.empty() ? std::vector<int>{c.caret} : c.rows)
            if ((int)acted.size() < c.count) acted.push_back(g_results[row].path);
        int listed = g_panelListingCount;
        g_opened.clear();
        OpenClipboard(nullptr), EmptyClipboard(), CloseClipboard();
        Press(c.inList ? g_resultList : g_searchBox, c.key, c.modifiers);
        EXPECT_FALSE(Shown());
        EXPECT_EQ(0, g_resultCount);
        EXPECT_EQ(c.effect == kPublish ? c.count : listed, g_panelListingCount);
        EXPECT_EQ(c.effect == kOpen ? acted : std::vector<std::wstring>(), g_opened);
        std::wstring joined;
        for (const std::wstring& path : acted) joined += (joined.empty() ? L"" : L"\r\n") + path;
        EXPECT_EQ(FfTestUtf8(c.effect == kCopy ? joined : L""), FfTestUtf8(FfTestClipboardText()));
    }
    g_openPathRoutine = FfShellOpenPath;
}

// Published searches are kept newest first in Fleetfinder.history beside the cfg, which stays
// as it was; a broken history is replaced. Ctrl+Up and Ctrl+Down walk them, searching each.
TEST_F(Overlay, PublishedSearchesAreRememberedAndWalkedWithCtrlUpAndDown)
{
    World& w = W();
    std::wstring history = w.log.dir + L"\\Fleetfinder.history";
    FfTestWriteBytes(history, std::string("\xFF\xFE broken\0", 10));
    std::string cfg = FfTestReadBytes(w.log.dir + L"\\Fleetfinder.cfg");
    struct Publish { const wchar_t* text; bool append; const char* file; } publishes[] = {
        {L"alpha", false, "alpha\r\n"}, {L"beta", true, "beta\r\nalpha\r\n"}, {L"alpha", false, "alpha\r\nbeta\r\n"},
    };
    for (const Publish& p : publishes) {
        ASSERT_TRUE(Open());
        Search(p.text);
        if (p.append) Press(g_searchBox, VK_RETURN, {VK_CONTROL});
        else Press(g_searchBox, VK_RETURN);
        EXPECT_EQ(p.file, FfTestReadBytes(history));
    }
    EXPECT_EQ(cfg, FfTestReadBytes(w.log.dir + L"\\Fleetfinder.cfg")) << "the cfg was written";
    ASSERT_TRUE(Open());
    SetWindowTextW(g_searchBox, L"gam");
    struct Step { WORD key; const wchar_t* text; int results; } steps[] = {
        {VK_UP, L"alpha", 25}, {VK_UP, L"beta", 3}, {VK_UP, L"beta", 3}, {VK_DOWN, L"alpha", 25}, {VK_DOWN, L"gam", 0},
    };
    for (const Step& s : steps) {
        Press(g_searchBox, s.key, {VK_CONTROL});
        EXPECT_EQ(s.text, TextOf(g_searchBox));
        DWORD start = 0, end = 0;
        SendMessageW(g_searchBox, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
        EXPECT_EQ(wcslen(s.text) * 2, (size_t)(start + end)) << "the caret is not at the end";
        EXPECT_TRUE(FfTestWaitFor([&] { return g_resultCount == s.results; }, 3000)) << FfTestUtf8(s.text);
    }
}

struct MenuSeen {
    std::vector<std::wstring> items;
    std::vector<bool> checked;
    RECT rect = {};
};

// Shows a pop-up menu with show() while a helper thread reads it, runs during() and then picks
// the entry at position pick by a click on it (-1: Escape).
MenuSeen DriveMenu(int pick, const std::function<void()>& show, const std::function<void()>& during = nullptr)
{
    MenuSeen seen;
    std::thread driver([&] {
        HWND window = nullptr;
        for (int i = 0; i < 500 && !window; i++) {
            HWND found = FindWindowW(L"#32768", nullptr);
            if (found && IsWindowVisible(found)) window = found;
            else Sleep(10);
        }
        if (!window) return;
        HMENU menu = (HMENU)SendMessageW(window, 0x01E1 /* MN_GETHMENU */, 0, 0);
        for (int i = 0; i < GetMenuItemCount(menu); i++) {
            wchar_t text[128] = {};
            GetMenuStringW(menu, i, text, 128, MF_BYPOSITION);
            seen.items.push_back(text);
            seen.checked.push_back((GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) != 0);
        }
        GetWindowRect(window, &seen.rect);
        if (during) during();
        RECT item;
        if (pick < 0 || !GetMenuItemRect(nullptr, menu, pick, &item)) {
            PostMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);
            return;
        }
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(window, WM_LBUTTONUP, 0, at);
    });
    show();
    driver.join();
    return seen;
}

TEST_F(Overlay, ContextMenuOfARowGoesToItsLocationOrPublishes)
{
    World& w = W();
    struct Case { const char* what; const wchar_t* query; int row; bool keyboard; int pick; bool replaced; } cases[] = {
        {"one result, dismissed", L"alpha01", 0, false, -1, false},
        {"row 5 of 25, dismissed", L"alpha", 5, false, -1, false},
        {"from the keyboard: at the caret row's corner", L"alpha", 3, true, -1, false},
        {"go to the location", L"alpha", 4, false, 0, false},
        {"show just this one", L"alpha", 4, false, 1, false},
        {"show all", L"alpha", 1, false, 2, false},
        {"go to a row the search meanwhile took away", L"alpha", 3, false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(Open());
        int count = Search(c.query);
        std::wstring path = g_results[c.row].path;
        Select({0, 1, 2}, c.row);
        RECT row;
        SendMessageW(g_resultList, LB_GETITEMRECT, c.row, (LPARAM)&row);
        POINT at = {row.left + 30, (row.top + row.bottom) / 2}, corner = {row.left, row.bottom};
        ClientToScreen(g_resultList, &at);
        ClientToScreen(g_resultList, &corner);
        if (c.keyboard) at = corner;
        w.host.ClearEvents();
        MenuSeen seen = DriveMenu(c.pick, [&] {
            SendMessageW(g_overlayWindow, WM_CONTEXTMENU, (WPARAM)g_resultList, c.keyboard ? (LPARAM)-1 : MAKELPARAM(at.x, at.y));
        }, [&] {
            if (!c.replaced) return;
            SendMessageW(g_searchBox, WM_SETTEXT, 0, (LPARAM)L"beta");  // searched inside the menu's loop
            for (int i = 0; i < 500 && g_resultCount != 3; i++) Sleep(10);
        });
        std::vector<std::wstring> items = {L"Go to this location", L"Show all " + std::to_wstring(count) + (count > 1 ? L" results in panel" : L" result in panel")};
        if (count > 1) items.insert(items.begin() + 1, L"Show just this 1 result in panel");
        EXPECT_EQ(items, seen.items);
        EXPECT_EQ(at.x, seen.rect.left);
        EXPECT_EQ(at.y, seen.rect.top);
        std::vector<FfHostEvent> events = w.host.Events();
        int changes = 0;
        for (const FfHostEvent& e : events) changes += e.kind == L"changedir";
        if (c.pick < 0 || c.replaced) {
            EXPECT_TRUE(Shown());
            EXPECT_EQ(0, changes);
            EXPECT_EQ(c.replaced ? 3 : count, g_resultCount);
        }
        if (c.pick < 0) {
            EXPECT_EQ(1, SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0));
            EXPECT_GT(SendMessageW(g_resultList, LB_GETSEL, c.row, 0), 0);
            EXPECT_EQ(c.row, g_selectedIndex);
        } else if (!c.replaced) {
            EXPECT_FALSE(Shown());
            EXPECT_EQ(1, changes);
            EXPECT_EQ(FfTestUtf8(c.pick == 0 ? path : L""), FfTestUtf8(c.pick == 0 && changes == 1 ? events[0].path : L""));
            EXPECT_EQ(c.pick == 0 ? 0 : c.pick == 1 ? 1 : count, g_panelListingCount);
        }
        FfCloseOverlay();
        g_panelListingCount = 0;
    }
}

TEST_F(Overlay, FilterMenuListsTheCatalogueAndAPickIsSavedAndSearchedAtOnce)
{
    World& w = W();
    ASSERT_TRUE(Open());
    Search(L"alpha");
    ASSERT_GE(g_filterCount, 4);
    struct Case { int pick, selected; } cases[] = {{3, 3}, {-1, 3}, {0, 0}};
    for (const Case& c : cases) {
        int before = g_selectedFilter;
        std::wstring name = g_filters[c.selected].name, run = L"FfRunSearchNow: filter=\"" + name + L"\"";
        int runs = w.log.Count(run);
        MenuSeen seen = DriveMenu(c.pick, [] { FfShowFilterMenu(); });
        ASSERT_EQ(g_filterCount + 2, (int)seen.items.size());
        for (int i = 0; i < g_filterCount; i++) {
            EXPECT_EQ(g_filters[i].name, seen.items[i]);
            EXPECT_EQ(i == before, seen.checked[i]);
        }
        EXPECT_EQ(L"About Fleetfinder v" FF_VERSION_TEXT L"...", seen.items.back());
        EXPECT_EQ(c.selected, g_selectedFilter);
        EXPECT_EQ(name, TextOf(g_filterButton));
        EXPECT_EQ(runs + (c.pick < 0 ? 0 : 1), w.log.Count(run)) << "searched inside the menu's call";
        EXPECT_NE(std::string::npos, FfTestReadBytes(w.log.dir + L"\\Fleetfinder.cfg").find("LastSelectedFilter=" + FfTestUtf8(name)));
    }
}

TEST_F(Overlay, HeaderClicksSortTheThumbDragsAndTheSortedColumnIsMarked)
{
    ASSERT_TRUE(Open());
    ASSERT_EQ(25, Search(L"alpha"));
    RECT h = g_headerRect, folder, size, date;
    FfGetColumnRects(h.top, FfContentRight(h.right), h.bottom, &folder, &size, &date);
    int sp = g_theme.dpiScale;
    struct Case { int x, column, descending; } cases[] = {
        {(size.left + size.right) / 2, FF_SORT_SIZE, 1}, {(size.left + size.right) / 2, FF_SORT_SIZE, 0},
        {(date.left + date.right) / 2, FF_SORT_DATE, 1}, {(folder.left + folder.right) / 2, FF_SORT_FOLDER, 0},
        {h.left + 4 * sp / 100, FF_SORT_EXTENSION, 0}, {h.left + 40 * sp / 100, FF_SORT_NAME, 0}, {date.right + 1, FF_SORT_NAME, 1},
    };
    for (const Case& c : cases) {
        Select({2});
        SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(c.x, (h.top + h.bottom) / 2));
        EXPECT_EQ(c.column, g_sortColumn) << c.x;
        EXPECT_EQ(c.descending, g_sortDescending) << c.x;
        EXPECT_EQ(0, SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0));
        for (int i = 1; i < g_resultCount; i++)
            ASSERT_LE(FfCompareResults(&g_results[i - 1], &g_results[i], g_sortColumn, g_sortDescending), 0) << c.x << " row " << i;
    }
    // The line under the icon marks the extension sort.
    RECT client;
    GetClientRect(g_overlayWindow, &client);
    for (int column : {FF_SORT_EXTENSION, FF_SORT_NAME}) {
        g_sortColumn = column;
        HDC screen = GetDC(nullptr), dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
        ReleaseDC(nullptr, screen);
        HGDIOBJ old = SelectObject(dc, bitmap);
        FfPaintHeaderStrip(dc);
        COLORREF at = GetPixel(dc, h.left + 12 * sp / 100, h.bottom - 3 * sp / 100);
        EXPECT_EQ(column == FF_SORT_EXTENSION ? g_theme.highlight : g_theme.inputBackground, at) << column;
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    // The thumb dragged past the track's end shows the last page; letting go ends the drag.
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    int x = (thumb.left + thumb.right) / 2;
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, thumb.top + 2));
    EXPECT_EQ(g_resultList, GetCapture());
    SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(x, track.bottom + 400));
    EXPECT_EQ(5, SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0));
    SendMessageW(g_resultList, WM_LBUTTONUP, 0, MAKELPARAM(x, 10));
    EXPECT_FALSE(g_scrollDragging);
    EXPECT_NE(g_resultList, GetCapture());
}

}  // namespace
