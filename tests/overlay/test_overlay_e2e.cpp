// The overlay end to end: hotkey over a host window, placement, following, typing and closing.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "core/core.h"
#include "host/host.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "overlay_world.h"
#include "search/search.h"
#include "bridge/host_commands.h"

namespace {

const char* kOpened = "FfOpenOverlay: hotkey fired.";
const char* kSearchRun = "FfRunSearchNow: filter=";

int Height(const RECT& r) { return r.bottom - r.top; }

// Opens the overlay over one of the host's panels. The empty search that opening arms needs no
// wait: it logs nothing, and the next text change replaces its timer.
void OpenOverPanel(int panel)
{
    OverlayWorld& w = World();
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, panel, 0);
    // Let this thread see its deactivation before the overlay takes the foreground back.
    FfTestFlushEvents(100);
    FfOpenOverlay();
    ASSERT_TRUE(w.OverlayVisible());
}

// Types a query into the search box and waits until the search for it has filled the list.
void SearchFor(const wchar_t* text)
{
    OverlayWorld& w = World();
    size_t runs = w.CountLog(kSearchRun);
    SetWindowTextW(g_searchBox, text);
    ASSERT_TRUE(FfTestWaitFor([&] { return w.CountLog(kSearchRun) > runs; }, 5000));
    FfTestFlushEvents(50);
}

class Overlay : public testing::Test {
protected:
    void SetUp() override
    {
        World();
        World().LoadSettings("");
        FfCloseOverlay();
        ResetKeyCounts();
    }
    void TearDown() override { FfCloseOverlay(); }
};

TEST_F(Overlay, HotkeyOverTheHostOpensAndSwallowsOnlyTheKeyDown)
{
    OverlayWorld& w = World();
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    size_t opened = w.CountLog(kOpened);
    SendChord({VK_CONTROL, VK_MENU, 'F'});
    ASSERT_TRUE(FfTestWaitFor([&] { return w.OverlayVisible(); }, 5000));
    EXPECT_EQ(opened + 1, w.CountLog(kOpened));
    EXPECT_EQ(0, HostKeyDowns('F')) << "the host's focused window saw the hotkey";
    EXPECT_EQ(0, PassedKeyDowns('F'));
    EXPECT_EQ(1, PassedKeyUps('F')) << "the key-up is passed on";
    EXPECT_EQ(g_searchBox, GetFocus());
    EXPECT_EQ(g_overlayWindow, GetForegroundWindow());
    EXPECT_TRUE(g_followHook != nullptr);

    // Ctrl+Alt+Shift+F also opens it.
    FfCloseOverlay();
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    SendChord({VK_CONTROL, VK_MENU, VK_SHIFT, 'F'});
    EXPECT_TRUE(FfTestWaitFor([&] { return w.OverlayVisible(); }, 5000));
    EXPECT_EQ(opened + 2, w.CountLog(kOpened));
}

TEST_F(Overlay, OtherChordsAndOtherWindowsPassTheKeyOn)
{
    OverlayWorld& w = World();
    struct Case { const char* name; std::initializer_list<WORD> keys; bool overHost; };
    const Case cases[] = {
        {"Ctrl+F", {VK_CONTROL, 'F'}, true},
        {"Alt+F", {VK_MENU, 'F'}, true},
        {"F alone", {'F'}, true},
        {"Ctrl+Alt+G while F is the hotkey", {VK_CONTROL, VK_MENU, 'G'}, true},
        {"Ctrl+Alt+F over another window", {VK_CONTROL, VK_MENU, 'F'}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetKeyCounts();
        if (c.overHost)
            SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
        else
            SendMessageW(w.host, HOST_MSG_SHOW_OTHER, (WPARAM)w.other, 0);
        size_t opened = w.CountLog(kOpened);
        WORD letter = *(c.keys.end() - 1);
        SendChord(c.keys);
        EXPECT_TRUE(FfTestWaitFor([&] { return HostKeyDowns(letter) == 1; }, 3000));
        EXPECT_EQ(1, PassedKeyDowns(letter));
        EXPECT_EQ(opened, w.CountLog(kOpened));
        EXPECT_FALSE(w.OverlayVisible());
    }
}

TEST_F(Overlay, HotkeySettingGMakesOnlyGReact)
{
    OverlayWorld& w = World();
    w.LoadSettings("Hotkey=Ctrl+Alt+G\r\n");
    ASSERT_EQ(L'G', g_settings.hotkeyLetter);
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    SendChord({VK_CONTROL, VK_MENU, 'F'});
    EXPECT_TRUE(FfTestWaitFor([&] { return HostKeyDowns('F') == 1; }, 3000));
    EXPECT_FALSE(w.OverlayVisible());
    SendChord({VK_CONTROL, VK_MENU, 'G'});
    EXPECT_TRUE(FfTestWaitFor([&] { return w.OverlayVisible(); }, 5000));
    EXPECT_EQ(0, HostKeyDowns('G'));
}

TEST_F(Overlay, AutoOpenRequestSendsTheHostBackAndOpens)
{
    OverlayWorld& w = World();
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    FfTestFlushEvents(100);
    int commands = HostPreviousDirCommands();
    size_t opened = w.CountLog(kOpened);
    MSG request = {};
    request.message = WM_FF_AUTOOPEN_OVERLAY;
    EXPECT_TRUE(FfHandleThreadMessage(&request));
    EXPECT_EQ(commands + 1, HostPreviousDirCommands());
    EXPECT_EQ(1u, w.CountLog("WM_FF_AUTOOPEN_OVERLAY received"));
    EXPECT_EQ(opened + 1, w.CountLog(kOpened));
    EXPECT_TRUE(w.OverlayVisible());
}

TEST_F(Overlay, PlacementOverTheFocusedPanelForEachResultCount)
{
    OverlayWorld& w = World();
    struct Case { const char* name; int panel; std::string cfg; const wchar_t* query; int results; int rows; };
    const Case cases[] = {
        {"no results, bottom", 0, "", L"", 0, 0},
        {"three results, bottom", 0, "", L"beta", 3, 3},
        {"25 results, bottom, right panel", 1, "", L"alpha", 25, 20},
        {"25 results, top", 0, "Position=Top\r\n", L"alpha", 25, 20},
        {"three results, top", 1, "Position=Top\r\n", L"beta", 3, 3},
        {"MaxVisibleRows 0", 0, "MaxVisibleRows=0\r\n", L"beta", 3, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.LoadSettings(c.cfg);
        OpenOverPanel(c.panel);
        if (*c.query) SearchFor(c.query);
        ASSERT_EQ(c.results, g_resultCount);
        RECT panel = w.PanelRect(c.panel), o = w.OverlayRect();
        int header = c.rows > 0 ? g_theme.headerHeight : 0;
        EXPECT_EQ(panel.left, o.left);
        EXPECT_EQ(panel.right, o.right);
        if (g_settings.positionTop)
            EXPECT_EQ(panel.top, o.top);
        else
            EXPECT_EQ(panel.bottom, o.bottom);
        EXPECT_EQ(g_theme.searchAreaHeight + header + c.rows * g_theme.rowHeight, Height(o));
        EXPECT_EQ(c.rows > 0, IsWindowVisible(g_resultList) != 0);
        EXPECT_EQ(c.results > c.rows, g_listHasScrollBar);
        EXPECT_EQ(header, Height(g_headerRect));
        FfCloseOverlay();
    }
}

TEST_F(Overlay, FollowsTheHostWindowAndStopsAfterClosing)
{
    OverlayWorld& w = World();
    RECT start;
    GetWindowRect(w.host, &start);
    OpenOverPanel(0);
    SearchFor(L"beta");
    const RECT moves[] = {{200, 150, 1100, 750}, {150, 100, 950, 900}, {100, 80, 1100, 780}};
    for (const RECT& m : moves) {
        // As a drag of the caption does, the move activates the host (Wine keeps no focus for
        // an inactive thread, so the focused panel is only readable then).
        SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
        SendMessageW(w.host, HOST_MSG_MOVE, 0, (LPARAM)&m);
        RECT panel = w.PanelRect(0), focused = {};
        int readable = FfGetActivePanelRect(w.host, &focused);
        EXPECT_TRUE(FfTestWaitFor([&] {
            RECT o = w.OverlayRect();
            return o.left == panel.left && o.right == panel.right && o.bottom == panel.bottom;
        }, 3000)) << "moved to " << m.left << "," << m.top << " focus readable " << readable;
    }
    FfCloseOverlay();
    EXPECT_EQ(nullptr, g_followHook);
    RECT before = w.OverlayRect();
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    SendMessageW(w.host, HOST_MSG_MOVE, 0, (LPARAM)&start);
    FfTestFlushEvents(200);
    RECT after = w.OverlayRect();
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_FALSE(w.OverlayVisible());
}

TEST_F(Overlay, NoFocusedPanelFallsBackToTheLeftHalfOfTheHost)
{
    OverlayWorld& w = World();
    SendMessageW(w.host, HOST_MSG_FOCUS_NONE, 0, 0);
    size_t fallback = w.CountLog("using fallback half-window rect.");
    FfOpenOverlay();
    ASSERT_TRUE(w.OverlayVisible());
    EXPECT_EQ(fallback + 1, w.CountLog("using fallback half-window rect."));
    RECT host, o = w.OverlayRect();
    GetWindowRect(w.host, &host);
    EXPECT_EQ(host.left, o.left);
    EXPECT_EQ(host.left + (host.right - host.left) / 2, o.right);
    EXPECT_EQ(host.bottom, o.bottom);
}

TEST_F(Overlay, FiveQuickCharactersGiveOneSearchAfterTheDelay)
{
    OverlayWorld& w = World();
    OpenOverPanel(0);
    size_t runs = w.CountLog(kSearchRun);
    SendText(L"alpha");
    ASSERT_TRUE(FfTestWaitFor([&] { return w.CountLog(kSearchRun) > runs; }, 5000));
    EXPECT_NE(std::string::npos, w.LastSearchLine().find("typed=\"alpha\""));
    // No second run follows: the delay was re-armed by each character, not queued per character.
    EXPECT_FALSE(FfTestWaitFor([&] { return w.CountLog(kSearchRun) > runs + 1; }, 500));
    EXPECT_EQ(25, g_resultCount);
}

TEST_F(Overlay, CharactersTypedWhileTheEngineIsSlowAreKept)
{
    OverlayWorld& w = World();
    FfTestEngine slow;
    FfEngineOptions opt;
    opt.roots.push_back(w.dir + L"\\files");
    opt.answerDelayMs = 600;
    w.engine.Stop();
    ASSERT_TRUE(slow.Start(opt));
    OpenOverPanel(0);
    SendText(L"al");
    // Wait (pumping) until the run for "al" is waiting for the engine, then type on.
    int queries = slow.QueriesReceived();
    std::atomic<bool> typed{false};
    std::thread typist([&] {
        for (int i = 0; i < 500 && slow.QueriesReceived() == queries; i++) Sleep(5);
        for (wchar_t ch : std::wstring(L"pha0")) {
            INPUT k[2] = {};
            k[0].type = k[1].type = INPUT_KEYBOARD;
            k[0].ki.wScan = k[1].ki.wScan = ch;
            k[0].ki.dwFlags = KEYEVENTF_UNICODE;
            k[1].ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
            SendInput(2, k, sizeof(INPUT));
        }
        typed = true;
    });
    FfTestWaitFor([&] { return typed.load(); }, 10000);
    typist.join();
    ASSERT_TRUE(FfTestWaitFor([&] {
        return w.LastSearchLine().find("typed=\"alpha0\"") != std::string::npos;
    }, 10000)) << w.LastSearchLine();
    wchar_t text[64] = {};
    GetWindowTextW(g_searchBox, text, 64);
    EXPECT_STREQ(L"alpha0", text);
    EXPECT_EQ(9, g_resultCount);
    slow.Stop();
    FfEngineOptions normal;
    normal.roots.push_back(w.dir + L"\\files");
    ASSERT_TRUE(w.engine.Start(normal));
}

TEST_F(Overlay, ClearButtonEmptiesBoxAndListAndKeepsTheFocus)
{
    OverlayWorld& w = World();
    OpenOverPanel(0);
    SearchFor(L"beta");
    ASSERT_EQ(3, g_resultCount);
    SendMessageW(g_clearButton, BM_CLICK, 0, 0);
    EXPECT_EQ(0, g_resultCount);
    EXPECT_EQ(0, GetWindowTextLengthW(g_searchBox));
    EXPECT_EQ(g_theme.searchAreaHeight, Height(w.OverlayRect()));
    EXPECT_FALSE(IsWindowVisible(g_resultList));
    EXPECT_EQ(g_searchBox, GetFocus());
    // The emptied text armed the delay (an empty search logs nothing; the pending timer shows it).
    EXPECT_TRUE(KillTimer(g_overlayWindow, FF_TIMER_SEARCH));
}

TEST_F(Overlay, EveryWayOfClosingLeavesTheSameState)
{
    OverlayWorld& w = World();
    struct Case { const char* name; int way; };
    const Case cases[] = {{"Escape in the search box", 0}, {"close button", 1}, {"double-click on a row", 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OpenOverPanel(0);
        SearchFor(L"beta");
        ASSERT_EQ(3, g_resultCount);
        size_t parked = w.CountLog("FfActivateSelectedResults: PARKED");
        if (c.way == 0) {
            ASSERT_TRUE(FfTestWaitFor([] { return GetFocus() == g_searchBox; }, 2000));
            SendChord({VK_ESCAPE});
        }
        if (c.way == 1) SendMessageW(g_closeButton, BM_CLICK, 0, 0);
        if (c.way == 2) {
            RECT item;
            SendMessageW(g_resultList, LB_GETITEMRECT, 1, (LPARAM)&item);
            SendMessageW(g_resultList, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(item.left + 40, item.top + 2));
        }
        EXPECT_TRUE(FfTestWaitFor([&] { return !w.OverlayVisible(); }, 3000));
        EXPECT_EQ(nullptr, g_followHook);
        EXPECT_EQ(0, g_resultCount);
        EXPECT_EQ(-1, g_selectedIndex);
        EXPECT_EQ(parked + (c.way == 2 ? 1 : 0), w.CountLog("FfActivateSelectedResults: PARKED"));
    }
}

TEST_F(Overlay, ActivatingAnotherWindowLeavesTheOverlayOpen)
{
    OverlayWorld& w = World();
    OpenOverPanel(0);
    SearchFor(L"beta");
    SendMessageW(w.host, HOST_MSG_SHOW_OTHER, (WPARAM)w.other, 0);
    FfTestFlushEvents(100);
    EXPECT_TRUE(w.OverlayVisible());
    EXPECT_EQ(3, g_resultCount);
    EXPECT_TRUE(g_followHook != nullptr);
}

TEST_F(Overlay, NegativeSearchDelayStillSearches)
{
    // Passed to the timer as it stands, -5 would become a delay of weeks; it searches at once.
    g_settings.searchDelayMs = -5;
    OpenOverPanel(0);
    SearchFor(L"beta");
    EXPECT_EQ(3, g_resultCount);
}

TEST_F(Overlay, AWindowDestroyedWithItsOwnerIsRebuiltAtTheNextOpening)
{
    OverlayWorld& w = World();
    OpenOverPanel(0);
    DestroyWindow(g_overlayWindow);
    EXPECT_EQ(nullptr, g_overlayWindow);
    EXPECT_EQ(nullptr, g_searchBox) << "a handle of a destroyed child was kept";
    EXPECT_EQ(nullptr, g_resultList);
    FfCloseOverlay();
    OpenOverPanel(1);
    EXPECT_TRUE(IsWindow(g_searchBox));
    SearchFor(L"alpha");
    EXPECT_EQ(25, g_resultCount);
    RECT panel = w.PanelRect(1), o = w.OverlayRect();
    EXPECT_EQ(panel.bottom, o.bottom);
    EXPECT_EQ(g_theme.searchAreaHeight + g_theme.headerHeight + 20 * g_theme.rowHeight, Height(o));
}

TEST_F(Overlay, ReopeningHandsTheNewFontToEveryControl)
{
    OverlayWorld& w = World();
    OpenOverPanel(0);
    HFONT first = g_theme.font;
    FfCloseOverlay();
    FfTestWriteBytes(w.dir + L"\\wincmd.ini", "[Configuration]\r\n[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=14\r\nFontWeight=400\r\n");
    OpenOverPanel(0);
    HWND children[] = {g_searchBox, g_clearButton, g_filterButton, g_closeButton, g_resultList};
    for (HWND child : children)
        EXPECT_EQ((LRESULT)g_theme.font, SendMessageW(child, WM_GETFONT, 0, 0));
    EXPECT_EQ(g_theme.rowHeight, (int)SendMessageW(g_resultList, LB_GETITEMHEIGHT, 0, 0));
    SearchFor(L"beta");
    EXPECT_EQ(g_theme.searchAreaHeight + g_theme.headerHeight + 3 * g_theme.rowHeight, Height(w.OverlayRect()));
    (void)first;
    FfTestWriteBytes(w.dir + L"\\wincmd.ini", "[Configuration]\r\n");
}

}  // namespace
