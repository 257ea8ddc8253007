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

namespace {

const char* kOpened = "FfOpenOverlay: hotkey fired.";
const char* kSearchRun = "FfRunSearchNow: filter=";

int Height(const RECT& r) { return r.bottom - r.top; }

using Overlay = OverlayTest;

TEST_F(Overlay, HotkeyOpensOnlyForItsChordOverTheHostAndSwallowsOnlyItsKeyDown)
{
    OverlayWorld& w = World();
    struct Case { const char* name; std::string cfg; std::initializer_list<WORD> keys; bool overHost, opens; };
    const Case cases[] = {
        {"Ctrl+Alt+F", "", {VK_CONTROL, VK_MENU, 'F'}, true, true},
        {"Ctrl+Alt+Shift+F", "", {VK_CONTROL, VK_MENU, VK_SHIFT, 'F'}, true, true},
        {"Ctrl+F", "", {VK_CONTROL, 'F'}, true, false},
        {"Alt+F", "", {VK_MENU, 'F'}, true, false},
        {"F alone", "", {'F'}, true, false},
        {"Ctrl+Alt+G while F is the hotkey", "", {VK_CONTROL, VK_MENU, 'G'}, true, false},
        {"Ctrl+Alt+F over another window", "", {VK_CONTROL, VK_MENU, 'F'}, false, false},
        {"Ctrl+Alt+F while G is the hotkey", "Hotkey=Ctrl+Alt+G\r\n", {VK_CONTROL, VK_MENU, 'F'}, true, false},
        {"Ctrl+Alt+G while G is the hotkey", "Hotkey=Ctrl+Alt+G\r\n", {VK_CONTROL, VK_MENU, 'G'}, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.LoadSettings(c.cfg);
        FfCloseOverlay();
        ResetKeyCounts();
        if (c.overHost)
            SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
        else
            SendMessageW(w.host, HOST_MSG_SHOW_OTHER, (WPARAM)w.other, 0);
        // Activation crosses threads and lags behind the request, more so on a busy machine:
        // the chord must go to the window the case is about.
        HWND front = c.overHost ? w.host : w.other;
        ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == front; }, 3000));
        size_t opened = w.CountLog(kOpened);
        WORD letter = *(c.keys.end() - 1);
        SendChord(c.keys);
        if (c.opens) {
            ASSERT_TRUE(FfTestWaitFor([&] { return w.OverlayVisible(); }, 5000))
                << "host key-downs " << HostKeyDowns(letter) << ", passed " << PassedKeyDowns(letter);
            EXPECT_EQ(opened + 1, w.CountLog(kOpened));
            EXPECT_EQ(0, HostKeyDowns(letter)) << "the host's focused window saw the hotkey";
            EXPECT_EQ(0, PassedKeyDowns(letter));
            EXPECT_EQ(1, PassedKeyUps(letter)) << "the key-up is passed on";
            EXPECT_EQ(g_searchBox, GetFocus());
            EXPECT_EQ(g_overlayWindow, GetForegroundWindow());
            EXPECT_TRUE(g_followHook != nullptr);
        } else {
            EXPECT_TRUE(FfTestWaitFor([&] { return HostKeyDowns(letter) == 1; }, 3000));
            EXPECT_EQ(1, PassedKeyDowns(letter));
            EXPECT_EQ(opened, w.CountLog(kOpened));
            EXPECT_FALSE(w.OverlayVisible());
        }
    }
}

std::wstring StatusText()
{
    wchar_t text[FF_STATUS_TEXT_MAX] = {};
    GetWindowTextW(g_statusLine, text, FF_STATUS_TEXT_MAX);
    return text;
}

TEST_F(Overlay, PlacementAndStatusLineForEachResultCountAndEngineState)
{
    OverlayWorld& w = World();
    enum Engine { kUsual, kNone, kOld, kLoading, kHung };
    const wchar_t* notRunning = L"Everything is not running - start it to search";
    struct Case { const char* name; int panel; std::string cfg; const wchar_t* query; int results; int rows; Engine engine; const wchar_t* status; };
    const Case cases[] = {
        {"no results, bottom", 0, "", L"", 0, 0, kUsual, L""},
        {"three results, bottom", 0, "", L"beta", 3, 3, kUsual, L"3 files"},
        {"25 results, bottom, right panel", 1, "", L"alpha", 25, 20, kUsual, L"25 files"},
        {"25 results, top", 0, "Position=Top\r\n", L"alpha", 25, 20, kUsual, L"25 files"},
        {"three results, top", 1, "Position=Top\r\n", L"beta", 3, 3, kUsual, L"3 files"},
        {"MaxVisibleRows 0", 0, "MaxVisibleRows=0\r\n", L"beta", 3, 0, kUsual, L"3 files"},
        {"nothing matches", 0, "", L"zzqx", 0, 0, kUsual, L"No results"},
        {"no engine, told at opening", 0, "", L"", 0, 0, kNone, notRunning},
        {"no engine, top, searched", 0, "Position=Top\r\n", L"beta", 0, 0, kNone, notRunning},
        {"engine too old", 0, "", L"beta", 0, 0, kOld, L"Everything is too old - a newer version is needed"},
        {"engine hung", 0, "", L"beta", 0, 0, kHung, L"Everything did not answer"},
        {"engine loading, asked again once loaded", 0, "", L"beta", 3, 3, kLoading, L"3 files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        w.LoadSettings(c.cfg);
        FfTestEngine other;
        FfEngineOptions opt;
        opt.roots.push_back(w.files);
        opt.filtersDir = w.dir;
        opt.oldEngine = c.engine == kOld;
        opt.loadingMs = c.engine == kLoading ? 2500 : 0;
        opt.hangMs = c.engine == kHung ? 2500 : 0;
        if (c.engine != kUsual) w.engine.Stop();
        if (c.engine != kUsual && c.engine != kNone) {
            ASSERT_TRUE(other.Start(opt));
        }
        size_t notFound = w.CountLog("IPC window not found");
        ASSERT_TRUE(OpenOverlay(c.panel));
        EXPECT_EQ(notFound + (c.engine == kNone ? 1 : 0), w.CountLog("IPC window not found")) << "once per opening";
        if (*c.query) {
            ASSERT_TRUE(SearchAndWait(c.query));
        }
        if (c.engine == kLoading) {
            EXPECT_EQ(L"Everything is loading its index...", StatusText());
            EXPECT_TRUE(FfTestWaitFor([&] { return g_resultCount == c.results; }, 15000));
        }
        EXPECT_EQ(c.status, StatusText());
        ASSERT_EQ(c.results, g_resultCount);
        RECT panel = RectOf(w.panels[c.panel]), o = RectOf(g_overlayWindow);
        int header = c.rows > 0 ? g_theme.headerHeight : 0;
        EXPECT_EQ(panel.left, o.left);
        EXPECT_EQ(panel.right, o.right);
        EXPECT_EQ(g_settings.positionTop ? panel.top : panel.bottom, g_settings.positionTop ? o.top : o.bottom);
        EXPECT_EQ(g_theme.searchAreaHeight + g_theme.rowHeight + header + c.rows * g_theme.rowHeight, Height(o));
        EXPECT_EQ(g_theme.rowHeight, Height(RectOf(g_statusLine)));
        EXPECT_EQ(c.rows > 0, IsWindowVisible(g_resultList) != 0);
        EXPECT_EQ(c.results > c.rows, g_listHasScrollBar);
        EXPECT_EQ(header, Height(g_headerRect));
        FfCloseOverlay();
        if (c.engine != kUsual) {
            other.Stop();
            opt = FfEngineOptions();
            opt.roots.push_back(w.files);
            opt.filtersDir = w.dir;
            ASSERT_TRUE(w.engine.Start(opt));
        }
    }
    // Passed to the timer as it stands, -5 would become a delay of weeks; it searches at once.
    g_settings.searchDelayMs = -5;
    ASSERT_TRUE(OpenOverlay());
    EXPECT_TRUE(SearchAndWait(L"beta"));
    EXPECT_EQ(3, g_resultCount);
}

TEST_F(Overlay, NoFocusedPanelFallsBackToTheLeftHalfOfTheHost)
{
    OverlayWorld& w = World();
    SendMessageW(w.host, HOST_MSG_FOCUS_NONE, 0, 0);
    size_t fallback = w.CountLog("using fallback half-window rect.");
    FfOpenOverlay();
    ASSERT_TRUE(w.OverlayVisible());
    EXPECT_EQ(fallback + 1, w.CountLog("using fallback half-window rect."));
    RECT host = RectOf(w.host), o = RectOf(g_overlayWindow);
    EXPECT_EQ(host.left, o.left);
    EXPECT_EQ(host.left + (host.right - host.left) / 2, o.right);
    EXPECT_EQ(host.bottom, o.bottom);
}

TEST_F(Overlay, FollowsTheHostWindowAndStopsAfterClosing)
{
    OverlayWorld& w = World();
    RECT start = RectOf(w.host);
    ASSERT_TRUE(OpenOverlay());
    ASSERT_TRUE(SearchAndWait(L"beta"));
    const RECT moves[] = {{200, 150, 1100, 750}, {150, 100, 950, 900}};
    for (const RECT& m : moves) {
        // As a drag of the caption does, the move activates the host (Wine keeps no focus for
        // an inactive thread, so the focused panel is only readable then).
        SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
        SendMessageW(w.host, HOST_MSG_MOVE, 0, (LPARAM)&m);
        RECT panel = RectOf(w.panels[0]);
        EXPECT_TRUE(FfTestWaitFor([&] {
            RECT o = RectOf(g_overlayWindow);
            return o.left == panel.left && o.right == panel.right && o.bottom == panel.bottom;
        }, 3000)) << "moved to " << m.left << "," << m.top;
    }
    FfCloseOverlay();
    EXPECT_EQ(nullptr, g_followHook);
    RECT before = RectOf(g_overlayWindow);
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    SendMessageW(w.host, HOST_MSG_MOVE, 0, (LPARAM)&start);
    FfTestFlushEvents(200);
    RECT after = RectOf(g_overlayWindow);
    EXPECT_TRUE(EqualRect(&before, &after));
    EXPECT_FALSE(w.OverlayVisible());
}

TEST_F(Overlay, FiveQuickCharactersGiveOneSearchAfterTheDelay)
{
    OverlayWorld& w = World();
    ASSERT_TRUE(OpenOverlay());
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
    opt.roots.push_back(w.files);
    opt.filtersDir = w.dir;
    opt.answerDelayMs = 600;
    w.engine.Stop();
    ASSERT_TRUE(slow.Start(opt));
    ASSERT_TRUE(OpenOverlay());
    SendText(L"al");
    // Once the run for "al" is waiting for the engine (this thread inside it), type on.
    int queries = slow.QueriesReceived();
    std::atomic<bool> typed{false};
    std::thread typist([&] {
        for (int i = 0; i < 500 && slow.QueriesReceived() == queries; i++) Sleep(5);
        for (wchar_t ch : std::wstring(L"pha0")) FfTestTypeChar(ch);
        typed = true;
    });
    FfTestWaitFor([&] { return typed.load(); }, 10000);
    typist.join();
    EXPECT_TRUE(FfTestWaitFor([&] { return w.LastSearchLine().find("typed=\"alpha0\"") != std::string::npos; }, 10000))
        << w.LastSearchLine();
    wchar_t text[64] = {};
    GetWindowTextW(g_searchBox, text, 64);
    EXPECT_STREQ(L"alpha0", text);
    EXPECT_EQ(9, g_resultCount);
    slow.Stop();
    opt.answerDelayMs = 0;
    ASSERT_TRUE(w.engine.Start(opt));
}

TEST_F(Overlay, ClearButtonEmptiesBoxAndListAndKeepsTheFocus)
{
    ASSERT_TRUE(OpenOverlay());
    ASSERT_TRUE(SearchAndWait(L"beta"));
    ASSERT_EQ(3, g_resultCount);
    SendMessageW(g_clearButton, BM_CLICK, 0, 0);
    EXPECT_EQ(0, g_resultCount);
    EXPECT_EQ(0, GetWindowTextLengthW(g_searchBox));
    EXPECT_EQ(g_theme.searchAreaHeight + g_theme.rowHeight, Height(RectOf(g_overlayWindow)));
    EXPECT_EQ(L"", StatusText());
    EXPECT_FALSE(IsWindowVisible(g_resultList));
    EXPECT_EQ(g_searchBox, GetFocus());
    // The emptied text armed the delay (an empty search logs nothing; the pending timer shows it).
    EXPECT_TRUE(KillTimer(g_overlayWindow, FF_TIMER_SEARCH));
}

TEST_F(Overlay, EveryWayOfClosingLeavesTheSameState)
{
    OverlayWorld& w = World();
    for (int way = 0; way < 4; way++) {
        SCOPED_TRACE(testing::Message() << "way " << way);
        ASSERT_TRUE(OpenOverlay());
        ASSERT_TRUE(SearchAndWait(L"beta"));
        ASSERT_EQ(3, g_resultCount);
        size_t parked = w.CountLog("FfActivateSelectedResults: PARKED");
        if (way == 0) {  // Escape in the search box
            ASSERT_TRUE(FocusControl(g_searchBox));
            SendChord({VK_ESCAPE});
        }
        if (way == 1) SendMessageW(g_closeButton, BM_CLICK, 0, 0);
        if (way == 2) {  // double-click on a row
            RECT item;
            SendMessageW(g_resultList, LB_GETITEMRECT, 1, (LPARAM)&item);
            SendMessageW(g_resultList, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(item.left + 40, item.top + 2));
        }
        if (way == 3) {  // another window activated: the overlay stays
            SendMessageW(w.host, HOST_MSG_SHOW_OTHER, (WPARAM)w.other, 0);
            FfTestFlushEvents(100);
            EXPECT_TRUE(w.OverlayVisible());
            EXPECT_EQ(3, g_resultCount);
            EXPECT_TRUE(g_followHook != nullptr);
            continue;
        }
        EXPECT_TRUE(FfTestWaitFor([&] { return !w.OverlayVisible(); }, 3000));
        EXPECT_EQ(nullptr, g_followHook);
        EXPECT_EQ(0, g_resultCount);
        EXPECT_EQ(-1, g_selectedIndex);
        EXPECT_EQ(parked + (way == 2 ? 1 : 0), w.CountLog("FfActivateSelectedResults: PARKED"));
    }
}

TEST_F(Overlay, AWindowDestroyedWithItsOwnerIsRebuiltAtTheNextOpening)
{
    OverlayWorld& w = World();
    ASSERT_TRUE(OpenOverlay());
    DestroyWindow(g_overlayWindow);
    EXPECT_EQ(nullptr, g_overlayWindow);
    EXPECT_EQ(nullptr, g_searchBox) << "a handle of a destroyed child was kept";
    EXPECT_EQ(nullptr, g_resultList);
    FfCloseOverlay();
    // Made hidden at the thread's start, here as if before the host's window existed: the
    // opening shows that window and gives it its owner.
    FfPrepareOverlay();
    HWND prepared = g_overlayWindow;
    ASSERT_TRUE(prepared && !IsWindowVisible(prepared));
    SetWindowLongPtrW(prepared, GWLP_HWNDPARENT, 0);
    ASSERT_TRUE(OpenOverlay(1));
    EXPECT_EQ(prepared, g_overlayWindow);
    EXPECT_EQ(w.host, GetWindow(g_overlayWindow, GW_OWNER));
    EXPECT_TRUE(IsWindow(g_searchBox));
    ASSERT_TRUE(SearchAndWait(L"alpha"));
    EXPECT_EQ(25, g_resultCount);
    RECT panel = RectOf(w.panels[1]), o = RectOf(g_overlayWindow);
    EXPECT_EQ(panel.bottom, o.bottom);
    EXPECT_EQ(g_theme.searchAreaHeight + g_theme.headerHeight + 21 * g_theme.rowHeight, Height(o));
}

TEST_F(Overlay, ReopeningHandsTheNewFontToEveryControl)
{
    OverlayWorld& w = World();
    ASSERT_TRUE(OpenOverlay());
    FfCloseOverlay();
    FfTestWriteBytes(w.dir + L"\\wincmd.ini", "[Configuration]\r\n[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=14\r\nFontWeight=400\r\n");
    ASSERT_TRUE(OpenOverlay());
    for (HWND child : {g_searchBox, g_clearButton, g_filterButton, g_closeButton, g_resultList, g_statusLine})
        EXPECT_EQ((LRESULT)g_theme.font, SendMessageW(child, WM_GETFONT, 0, 0));
    EXPECT_EQ(g_theme.rowHeight, (int)SendMessageW(g_resultList, LB_GETITEMHEIGHT, 0, 0));
    ASSERT_TRUE(SearchAndWait(L"beta"));
    EXPECT_EQ(g_theme.searchAreaHeight + g_theme.headerHeight + 4 * g_theme.rowHeight, Height(RectOf(g_overlayWindow)));
    FfTestWriteBytes(w.dir + L"\\wincmd.ini", "[Configuration]\r\n");
}

}  // namespace
