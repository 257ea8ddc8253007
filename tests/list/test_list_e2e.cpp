// The result list in a real overlay: scroll bar, wheel, header clicks, tooltip, keys, filter menu, about box.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bridge/bridge.h"
#include "core/core.h"
#include "host/host.h"
#include "list_world.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

const char* kSearchRun = "FfRunSearchNow: filter=";

int Top() { return (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0); }
void SetTop(int top) { SendMessageW(g_resultList, LB_SETTOPINDEX, (WPARAM)top, 0); }
int SelCount() { return (int)SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0); }
bool IsSelected(int row) { return SendMessageW(g_resultList, LB_GETSEL, (WPARAM)row, 0) > 0; }
LPARAM At(int x, int y) { return MAKELPARAM((WORD)(short)x, (WORD)(short)y); }
int Sp(int n) { return MulDiv(n, g_theme.dpiScale, 100); }

std::wstring WindowText(HWND w)
{
    wchar_t text[1024] = {};
    GetWindowTextW(w, text, 1024);
    return text;
}

bool OverlayShown() { return g_overlayWindow && IsWindowVisible(g_overlayWindow); }

// Keys typed by SendInput go to the focused window. The opening puts the focus in the search box,
// but without a window manager the host's own late activation can still take it back: retake it.
bool FocusControl(HWND control)
{
    return FfTestWaitFor([control] {
        if (GetFocus() == control && GetForegroundWindow() == g_overlayWindow) return true;
        SetForegroundWindow(g_overlayWindow);
        SetFocus(control);
        return false;
    }, 3000);
}

bool FocusSearchBox() { return FocusControl(g_searchBox); }

// Presses and releases Shift (which the overlay ignores) until the system reports it, so that a
// key dropped right after the focus change is not one the test relies on.
bool PrimeInput()
{
    bool seen = false;
    for (int attempt = 0; attempt < 3 && !seen; attempt++) {
        SendKey(VK_SHIFT, true);
        seen = FfTestWaitFor([] { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; }, 1000);
    }
    SendKey(VK_SHIFT, false);
    return seen && FfTestWaitFor([] { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) == 0; }, 1000);
}

// The handlers read modifiers live (GetAsyncKeyState), so the modifier stays down until the key's
// effect is seen, and only then goes up.
bool PressWithModifier(WORD modifier, WORD key, const std::function<bool()>& effect)
{
    // Wait until live key-state queries agree the modifier is down. Seen under Wine: the first key
    // injected right after the overlay took the focus can be dropped, so press it again if needed.
    bool held = false;
    for (int attempt = 0; attempt < 3 && !held; attempt++) {
        SendKey(modifier, true);
        held = FfTestWaitFor([modifier] { return (GetAsyncKeyState(modifier) & 0x8000) != 0; }, 1000);
    }
    if (!held) return false;
    PressChord({key});
    bool seen = FfTestWaitFor(effect, 3000);
    SendKey(modifier, false);
    return seen;
}

class ListE2E : public testing::Test {
protected:
    void SetUp() override
    {
        TheWorld();
        // The tests feed the list mouse messages of their own; the real pointer, wherever an
        // earlier program left it, must not add moves over the list (it would show tooltips).
        SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        ASSERT_TRUE(OpenOverlayAndSettle());
    }
    void TearDown() override
    {
        if (GetCapture()) ReleaseCapture();
        FfCloseOverlay();
    }
};

// ---- scroll bar and wheel ------------------------------------------------------------------

TEST_F(ListE2E, WheelScrollsThreeRowsPerNotchWithinTheResults)
{
    FillMadeUpResults(100);
    ASSERT_TRUE(g_listHasScrollBar);
    struct Case {
        int top, delta, expected;
    } cases[] = {{10, 120, 7}, {2, 120, 0}, {10, 60, 10}, {79, -120, 80}, {80, -360, 80}, {40, -119, 40}};
    for (const Case& c : cases) {
        SetTop(c.top);
        ASSERT_EQ(Top(), c.top);
        LRESULT r = SendMessageW(g_resultList, WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)(short)c.delta), At(50, 50));
        EXPECT_EQ(r, 0);
        EXPECT_EQ(Top(), c.expected) << "top " << c.top << " delta " << c.delta;
    }
}

TEST_F(ListE2E, TrackClicksPageWithoutTouchingTheSelection)
{
    FillMadeUpResults(100);
    SendMessageW(g_resultList, LB_SETSEL, TRUE, 5);
    RECT track, thumb;
    struct Case {
        int top;
        bool below;
        int expected;
    } cases[] = {{0, true, 20}, {20, true, 40}, {40, false, 20}, {70, true, 80}, {10, false, 0}};
    for (const Case& c : cases) {
        SetTop(c.top);
        FfGetScrollBarRects(&track, &thumb);
        ASSERT_FALSE(IsRectEmpty(&thumb));
        int x = (track.left + track.right) / 2;
        int y = c.below ? thumb.bottom + 3 : thumb.top - 3;
        ASSERT_TRUE(y >= track.top && y < track.bottom) << "no room to click for top " << c.top;
        SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        SendMessageW(g_resultList, WM_LBUTTONUP, 0, At(x, y));
        EXPECT_EQ(Top(), c.expected) << "top " << c.top << (c.below ? " below" : " above");
        EXPECT_EQ(SelCount(), 1);
        EXPECT_TRUE(IsSelected(5));
        EXPECT_FALSE(g_scrollDragging);
    }
}

TEST_F(ListE2E, ThumbDragShowsTheLastAndFirstPageExactly)
{
    FillMadeUpResults(100);
    SetTop(0);
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    int x = (thumb.left + thumb.right) / 2;
    int grab = thumb.top + 5;
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, At(x, grab));
    ASSERT_TRUE(g_scrollDragging);
    EXPECT_EQ(GetCapture(), g_resultList);

    SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON, At(x, track.bottom + 400));
    EXPECT_EQ(Top(), 80);
    FfGetScrollBarRects(&track, &thumb);
    EXPECT_EQ(thumb.bottom, track.bottom);
    SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON, At(x, -300));  // above the list
    EXPECT_EQ(Top(), 0);
    SendMessageW(g_resultList, WM_MOUSEMOVE, MK_LBUTTON, At(x, (track.top + track.bottom) / 2));
    EXPECT_GT(Top(), 0);
    EXPECT_LT(Top(), 80);
    EXPECT_EQ(g_tooltipItem, -1) << "moves while dragging reached the tooltip";

    SendMessageW(g_resultList, WM_LBUTTONUP, 0, At(x, 10));
    EXPECT_FALSE(g_scrollDragging);
    EXPECT_NE(GetCapture(), g_resultList);
    EXPECT_EQ(SelCount(), 0) << "the drag changed the selection";
}

TEST_F(ListE2E, ThumbKeepsItsMinimumHeightForTheFullResultSet)
{
    FillMadeUpResults(FF_RESULTS_MAX);
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    EXPECT_EQ(track.right - track.left, Sp(12));
    EXPECT_EQ(thumb.bottom - thumb.top, Sp(20));
    EXPECT_EQ(thumb.left, track.left + Sp(4));
    SetTop(FF_RESULTS_MAX);  // the list box keeps its own last page
    FfGetScrollBarRects(&track, &thumb);
    EXPECT_EQ(thumb.bottom, track.bottom);

    FillMadeUpResults(5);  // fewer than a page: no bar at all
    EXPECT_FALSE(g_listHasScrollBar);
    FfGetScrollBarRects(&track, &thumb);
    EXPECT_TRUE(IsRectEmpty(&thumb));
}

TEST_F(ListE2E, LosingTheCaptureEndsADrag)
{
    FillMadeUpResults(100);
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, At(thumb.left + 1, thumb.top + 1));
    ASSERT_TRUE(g_scrollDragging);
    SetCapture(g_overlayWindow);  // a menu or another window takes the mouse
    EXPECT_FALSE(g_scrollDragging);
    ReleaseCapture();
    int top = Top();
    SendMessageW(g_resultList, WM_MOUSEMOVE, 0, At(thumb.left + 1, track.bottom));
    EXPECT_EQ(Top(), top) << "a plain move still dragged the thumb";
}

// ---- selection -----------------------------------------------------------------------------

TEST_F(ListE2E, SelectedIndexesLeaveOutRowsBeyondTheResultSet)
{
    FillMadeUpResults(10);
    for (int row : {2, 4, 8}) SendMessageW(g_resultList, LB_SETSEL, TRUE, row);
    int indexes[FF_SELECTED_INDEXES_MAX];
    ASSERT_EQ(FfGetSelectedResultIndexes(indexes), 3);
    EXPECT_EQ(indexes[0], 2);
    EXPECT_EQ(indexes[2], 8);
    g_resultCount = 5;  // the rows stay until the next refill
    ASSERT_EQ(FfGetSelectedResultIndexes(indexes), 2);
    EXPECT_EQ(indexes[1], 4);
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    EXPECT_EQ(FfGetSelectedResultIndexes(indexes), 0);
}

TEST_F(ListE2E, RefillMeasuresTheDateColumnWithinItsLimits)
{
    g_dateColumnWidth = 0;
    FillMadeUpResults(30);
    EXPECT_GE(g_dateColumnWidth, Sp(60));
    EXPECT_LE(g_dateColumnWidth, Sp(118));
    int measured = g_dateColumnWidth;
    for (int i = 0; i < 30; i++) g_results[i].modified = FILETIME{0, 0};  // no date texts
    FfFillResultList();
    EXPECT_EQ(g_dateColumnWidth, measured) << "a refill without dates forgot the width";
}

// Widths measured once are reused, so they must follow what the texts are drawn with.
TEST_F(ListE2E, DateColumnFollowsTheFontAndThePictures)
{
    g_dateColumnWidth = 0;
    FfForgetDateWidths();
    FillMadeUpResults(30);
    EXPECT_EQ(30, (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0));
    int measured = g_dateColumnWidth;
    ASSERT_GT(measured, Sp(60)) << "the default dates should be wider than the narrowest column";
    FfFillResultList();
    EXPECT_EQ(measured, g_dateColumnWidth) << "the same dates measured differently a second time";

    wchar_t date[FF_PICTURE_CHARS], time[FF_PICTURE_CHARS];
    wcscpy(date, g_settings.dateFormat);
    wcscpy(time, g_settings.timeFormat);
    wcscpy(g_settings.dateFormat, L"yy");
    wcscpy(g_settings.timeFormat, L"HH");
    FfFillResultList();
    EXPECT_EQ(Sp(60), g_dateColumnWidth) << "short pictures kept the old widths";
    wcscpy(g_settings.dateFormat, date);
    wcscpy(g_settings.timeFormat, time);
    FfFillResultList();
    EXPECT_EQ(measured, g_dateColumnWidth);

    HFONT themeFont = g_theme.font;
    LOGFONTW tiny = {};
    GetObjectW(themeFont, sizeof tiny, &tiny);
    tiny.lfHeight = -3;
    tiny.lfWidth = 1;
    g_theme.font = CreateFontIndirectW(&tiny);
    FfFillResultList();
    EXPECT_EQ(Sp(60), g_dateColumnWidth) << "a tiny font kept the old widths";
    DeleteObject(g_theme.font);
    g_theme.font = themeFont;
    FfFillResultList();
    EXPECT_EQ(measured, g_dateColumnWidth);
}

// ---- drawing -------------------------------------------------------------------------------

// Draws a name into a fresh bitmap and returns its pixels.
std::vector<DWORD> DrawName(const wchar_t* query, const wchar_t* name, int width)
{
    SetWindowTextW(g_searchBox, query);
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -24;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT r = {0, 0, width, 24};
    FillRect(dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SelectObject(dc, g_theme.font);
    SetBkMode(dc, TRANSPARENT);
    FfDrawHighlightedName(dc, &r, name, RGB(0, 0, 0));
    GdiFlush();
    std::vector<DWORD> pixels((DWORD*)bits, (DWORD*)bits + width * 24);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

TEST_F(ListE2E, MatchedCharactersAreDrawnBold)
{
    const wchar_t* name = L"Report_2026.pdf";
    std::vector<DWORD> plain = DrawName(L"", name, 300);
    std::vector<DWORD> unmatched = DrawName(L"zzz", name, 300);
    std::vector<DWORD> matched = DrawName(L"rep 2026", name, 300);
    size_t ink = 0;
    for (DWORD p : plain) ink += (p & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    EXPECT_GT(ink, 20u) << "nothing was drawn";
    EXPECT_EQ(plain, unmatched) << "a query without matches changed the drawing";
    EXPECT_NE(plain, matched) << "matches were not drawn bold";
    EXPECT_EQ(g_matchMask[0], 1u);
    EXPECT_EQ(g_matchMask[3], 0u);
    EXPECT_EQ(g_matchMask[7], 1u);

    // A very long name is cut at the rectangle, within the bitmap, without a fault.
    std::wstring longName(1500, L'a');
    std::vector<DWORD> longDrawn = DrawName(L"a", longName.c_str(), 200);
    EXPECT_EQ(longDrawn.size(), 200u * 24u);
    SetWindowTextW(g_searchBox, L"");
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
}

// ---- header clicks -------------------------------------------------------------------------

TEST_F(ListE2E, HeaderClicksSortByTheColumnUnderThePoint)
{
    FillMadeUpResults(60);
    RECT h = g_headerRect;
    ASSERT_GT(h.bottom, h.top);
    RECT folder, size, date;
    FfGetColumnRects(h.top, FfContentRight(h.right), h.bottom, &folder, &size, &date);
    int y = (h.top + h.bottom) / 2;
    struct Case {
        int x, column, descending;
        const char* what;
    } cases[] = {
        {(size.left + size.right) / 2, FF_SORT_SIZE, 1, "size: descending first"},
        {(size.left + size.right) / 2, FF_SORT_SIZE, 0, "size again: inverted"},
        {(date.left + date.right) / 2, FF_SORT_DATE, 1, "date: descending first"},
        {(folder.left + folder.right) / 2, FF_SORT_FOLDER, 0, "folder: ascending first"},
        {h.left + Sp(4), FF_SORT_EXTENSION, 0, "icon area: extension"},
        {size.left - 2, FF_SORT_NAME, 0, "gap between folder and size: name"},
        {h.left + Sp(40), FF_SORT_NAME, 1, "name again: inverted"},
        {date.right + 1, FF_SORT_NAME, 0, "margin right of the date: name again"},
    };
    for (const Case& c : cases) {
        SendMessageW(g_resultList, LB_SETSEL, TRUE, 2);
        SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, At(c.x, y));
        EXPECT_EQ(g_sortColumn, c.column) << c.what;
        EXPECT_EQ(g_sortDescending, c.descending) << c.what;
        EXPECT_EQ(g_selectedIndex, -1) << c.what;
        EXPECT_EQ(SelCount(), 0) << c.what;
        for (int i = 1; i < g_resultCount; i++) {
            int order = FfCompareResults(&g_results[i - 1], &g_results[i], g_sortColumn, g_sortDescending);
            ASSERT_LE(order, 0) << c.what << " at row " << i;
        }
    }
}

TEST_F(ListE2E, HeaderIgnoresClicksWithoutResults)
{
    FillMadeUpResults(0);
    int column = g_sortColumn, descending = g_sortDescending;
    SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, At(300, 2));
    EXPECT_EQ(g_sortColumn, column);
    EXPECT_EQ(g_sortDescending, descending);
}

// ---- folder tooltip ------------------------------------------------------------------------

TEST_F(ListE2E, FolderTooltipShowsTheFullFolderOnlyOverTheFolderColumn)
{
    ASSERT_NE(g_tooltip, nullptr);
    FillMadeUpResults(40);
    SetTop(0);
    auto cell = [](int row, RECT* folder, RECT* rowRect) {
        SendMessageW(g_resultList, LB_GETITEMRECT, (WPARAM)row, (LPARAM)rowRect);
        FfGetColumnRects(rowRect->top, FfContentRight(rowRect->right), rowRect->bottom, folder, nullptr, nullptr);
    };
    // The real pointer goes where the messages say, so the system's own leave tracking agrees.
    auto move = [](int x, int y) {
        POINT pt = {x, y};
        ClientToScreen(g_resultList, &pt);
        SetCursorPos(pt.x, pt.y);
        SendMessageW(g_resultList, WM_MOUSEMOVE, 0, At(x, y));
    };
    RECT folder, row;
    cell(1, &folder, &row);
    int y = (row.top + row.bottom) / 2;
    move(folder.left + 2, y);
    EXPECT_EQ(g_tooltipItem, 1);
    EXPECT_STREQ(g_tooltipText, L"C:\\Data\\Set01");
    EXPECT_TRUE(FfTestWaitFor([] { return IsWindowVisible(g_tooltip) != FALSE; }, 2000));

    move(folder.right - 2, y);  // along the same cell
    EXPECT_EQ(g_tooltipItem, 1);

    cell(3, &folder, &row);  // a folder result: its own full path
    move(folder.left + 5, (row.top + row.bottom) / 2);
    EXPECT_EQ(g_tooltipItem, 3);
    EXPECT_STREQ(g_tooltipText, L"C:\\Data\\Set03\\Folder003");

    move(folder.left - Sp(10), (row.top + row.bottom) / 2);  // name
    EXPECT_EQ(g_tooltipItem, -1);
    EXPECT_TRUE(FfTestWaitFor([] { return !IsWindowVisible(g_tooltip); }, 2000));

    move(folder.left + 5, (row.top + row.bottom) / 2);
    EXPECT_EQ(g_tooltipItem, 3);
    SendMessageW(g_resultList, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(g_tooltipItem, -1);
    EXPECT_FALSE(g_trackingMouseLeave);
}

TEST_F(ListE2E, TipTextIsRefusedOutsideTheResultSet)
{
    FillMadeUpResults(3);
    EXPECT_TRUE(FfGetResultTipText(2));
    EXPECT_FALSE(FfGetResultTipText(3));
    EXPECT_FALSE(FfGetResultTipText(-1));
    EXPECT_STREQ(g_tooltipText, L"");
}

// ---- search box keys -----------------------------------------------------------------------

class ListKeys : public ListE2E {
protected:
    void SetUp() override
    {
        ListE2E::SetUp();
        ASSERT_TRUE(SearchAndWait(L"alpha"));
        ASSERT_GE(g_resultCount, 25);
        ASSERT_TRUE(FocusSearchBox());
        ASSERT_TRUE(PrimeInput());
    }
};

TEST_F(ListKeys, ArrowsMoveOneSelectionAndShiftArrowsExtendIt)
{
    EXPECT_EQ(g_selectedIndex, 0);
    EXPECT_TRUE(IsSelected(0));
    struct Step {
        WORD key;
        bool shift;
        int index, selected;
        const char* what;
    } steps[] = {
        {VK_DOWN, false, 1, 1, "down"},
        {VK_UP, false, 0, 1, "up"},
        {VK_UP, false, 0, 1, "up on the first row stays"},
        {VK_DOWN, true, 1, 2, "shift+down extends"},
        {VK_DOWN, true, 2, 3, "shift+down again"},
        {VK_UP, true, 1, 2, "shift+up shrinks"},
        {VK_DOWN, false, 2, 1, "plain down continues from the caret"},
    };
    for (const Step& s : steps) {
        if (s.shift)
            PressWithModifier(VK_SHIFT, s.key, [&] { return g_selectedIndex == s.index; });
        else
            PressChord({s.key});
        EXPECT_EQ(g_selectedIndex, s.index) << s.what;
        EXPECT_EQ(SelCount(), s.selected) << s.what;
        EXPECT_TRUE(IsSelected(s.index)) << s.what;
        EXPECT_EQ(GetFocus(), g_searchBox) << s.what;
    }
    EXPECT_EQ(WindowText(g_searchBox), L"alpha");

    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    g_selectedIndex = g_resultCount - 1;
    PressChord({VK_DOWN});
    EXPECT_EQ(g_selectedIndex, g_resultCount - 1) << "down on the last row wraps";
}

TEST_F(ListKeys, CtrlBackspaceDeletesTheWordBeforeTheCaretOrTheSelection)
{
    struct Case {
        const wchar_t* text;
        int selStart, selEnd;
        const wchar_t* expected;
    } cases[] = {
        {L"foo bar  ", 9, 9, L"foo "},
        {L"foo ", 4, 4, L""},
        {L"hello world", 0, 5, L" world"},
        {L"one two", 0, 0, L"one two"},
        {L"path:. x", 6, 6, L" x"},
    };
    for (const Case& c : cases) {
        SetWindowTextW(g_searchBox, c.text);
        SendMessageW(g_searchBox, EM_SETSEL, c.selStart, c.selEnd);
        std::wstring expected = c.expected;
        PressWithModifier(VK_CONTROL, VK_BACK, [&] { return WindowText(g_searchBox) == expected; });
        EXPECT_EQ(WindowText(g_searchBox), c.expected) << FfTestUtf8(c.text);
    }
}

TEST_F(ListKeys, EnterPublishesTheSelectionOrEverythingAndCtrlEnterAppends)
{
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    for (int row : {1, 2, 4}) SendMessageW(g_resultList, LB_SETSEL, TRUE, row);
    PressChord({VK_RETURN});
    EXPECT_FALSE(OverlayShown());
    EXPECT_EQ(g_panelListingCount, 3);
    EXPECT_EQ(g_resultCount, 0);
    EXPECT_EQ(g_selectedIndex, -1);

    ASSERT_TRUE(OpenOverlayAndSettle());
    ASSERT_TRUE(SearchAndWait(L"alpha1"));
    ASSERT_GE(g_resultCount, 2);
    ASSERT_TRUE(FocusSearchBox());
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    SendMessageW(g_resultList, LB_SETSEL, TRUE, 0);
    SendMessageW(g_resultList, LB_SETSEL, TRUE, 1);
    EXPECT_TRUE(PressWithModifier(VK_CONTROL, VK_RETURN, [] { return !OverlayShown(); }));
    EXPECT_EQ(g_panelListingCount, 5);
    EXPECT_FALSE(OverlayShown());
    EXPECT_EQ(WindowText(g_searchBox), L"alpha1") << "Ctrl+Enter typed into the search box";

    ASSERT_TRUE(OpenOverlayAndSettle());
    ASSERT_TRUE(SearchAndWait(L"alpha"));
    int all = g_resultCount;
    ASSERT_TRUE(FocusSearchBox());
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    PressChord({VK_RETURN});
    EXPECT_EQ(g_panelListingCount, all);
}

TEST_F(ListKeys, EscapeClosesAndForgetsTheResults)
{
    PressChord({VK_ESCAPE});
    EXPECT_FALSE(OverlayShown());
    EXPECT_EQ(g_resultCount, 0);
    EXPECT_EQ(g_selectedIndex, -1);
}

TEST_F(ListKeys, EnterAndEscapeInTheListItself)
{
    ASSERT_TRUE(FocusControl(g_resultList));
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    SendMessageW(g_resultList, LB_SETSEL, TRUE, 3);
    PressChord({VK_RETURN});
    EXPECT_EQ(g_panelListingCount, 1);
    EXPECT_FALSE(OverlayShown());

    ASSERT_TRUE(OpenOverlayAndSettle());
    ASSERT_TRUE(SearchAndWait(L"alpha"));
    ASSERT_TRUE(FocusControl(g_resultList));
    PressChord({VK_ESCAPE});
    EXPECT_FALSE(OverlayShown());
    EXPECT_EQ(g_resultCount, 0);
}

// ---- filter menu and about box ----------------------------------------------------------------

struct MenuItem {
    std::wstring text;
    UINT id = 0;
    bool checked = false;
    bool separator = false;
};

// Waits on a helper thread for the pop-up menu, reads its entries, then picks entry downs (by
// keys) or dismisses it (downs < 0).
std::thread DriveMenu(std::vector<MenuItem>* items, int downs, std::atomic<bool>* done,
                      int waitMs = 5000)
{
    return std::thread([=] {
        HWND menuWindow = nullptr;
        for (int i = 0; i < waitMs / 10 && !menuWindow; i++) {
            HWND w = FindWindowW(L"#32768", nullptr);
            if (w && IsWindowVisible(w)) menuWindow = w;
            else Sleep(10);
        }
        if (menuWindow) {
            HMENU menu = (HMENU)SendMessageW(menuWindow, 0x01E1 /* MN_GETHMENU */, 0, 0);
            int n = menu ? GetMenuItemCount(menu) : 0;
            for (int i = 0; i < n; i++) {
                MenuItem item;
                wchar_t text[256] = {};
                MENUITEMINFOW info = {};
                info.cbSize = sizeof(info);
                info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
                info.dwTypeData = text;
                info.cch = 255;
                GetMenuItemInfoW(menu, i, TRUE, &info);
                item.text = text;
                item.id = info.wID;
                item.checked = (info.fState & MFS_CHECKED) != 0;
                item.separator = (info.fType & MFT_SEPARATOR) != 0;
                items->push_back(item);
            }
            for (int i = 0; i < downs; i++) PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
            PostMessageW(menuWindow, WM_KEYDOWN, downs < 0 ? VK_ESCAPE : VK_RETURN, 0);
        }
        *done = true;
    });
}

TEST_F(ListE2E, FilterMenuListsTheCatalogueAndAPickIsSavedAndSearchedAtOnce)
{
    ASSERT_GE(g_filterCount, 4);
    ASSERT_TRUE(SearchAndWait(L"alpha"));
    int pick = 3;
    std::wstring pickName = g_filters[pick].name;
    std::vector<MenuItem> items;
    std::atomic<bool> done{false};
    size_t runs = TheWorld().CountLog(kSearchRun);
    std::thread driver = DriveMenu(&items, pick + 1, &done);
    FfShowFilterMenu();
    driver.join();

    ASSERT_EQ((int)items.size(), g_filterCount + 2);
    int checks = 0;
    for (int i = 0; i < g_filterCount; i++) {
        EXPECT_EQ(items[i].text, g_filters[i].name) << "entry " << i;
        EXPECT_EQ(items[i].id, (UINT)(FF_CMD_FILTER_BASE + i));
        checks += items[i].checked ? 1 : 0;
    }
    EXPECT_EQ(checks, 1);
    EXPECT_TRUE(items[g_filterCount].separator);
    EXPECT_EQ(items.back().text, L"About Fleetfinder v" FF_VERSION_TEXT L"...");
    EXPECT_EQ(items.back().id, (UINT)FF_CMD_ABOUT);

    // The search ran inside the menu call, before any message was pumped.
    EXPECT_EQ(TheWorld().CountLog(kSearchRun), runs + 1);
    std::string expectedLine = "FfRunSearchNow: filter=\"" + FfTestUtf8(pickName) + "\"";
    EXPECT_EQ(TheWorld().CountLog(expectedLine.c_str()), 1u);
    EXPECT_EQ(g_selectedFilter, pick);
    EXPECT_EQ(WindowText(g_filterButton), pickName);
    EXPECT_NE(TheWorld().ReadCfg().find("LastSelectedFilter=" + FfTestUtf8(pickName)), std::string::npos);

    // Dismissing the menu changes nothing; picking entry 0 goes back, at once also for an empty
    // search box (which clears the results without a query).
    SetWindowTextW(g_searchBox, L"");
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FillMadeUpResults(10);
    items.clear();
    done = false;
    driver = DriveMenu(&items, -1, &done);
    FfShowFilterMenu();
    driver.join();
    EXPECT_EQ(g_selectedFilter, pick);
    EXPECT_TRUE(items[pick].checked);
    items.clear();
    driver = DriveMenu(&items, 1, &done);
    FfShowFilterMenu();
    driver.join();
    EXPECT_EQ(g_selectedFilter, 0);
    EXPECT_EQ(g_resultCount, 0);
    EXPECT_NE(TheWorld().ReadCfg().find("LastSelectedFilter=" + FfTestUtf8(g_filters[0].name)), std::string::npos);
}

TEST_F(ListE2E, AboutEntryShowsVersionBuildAndOwner)
{
    std::vector<MenuItem> items;
    std::atomic<bool> done{false};
    std::wstring boxText;
    int filter = g_selectedFilter;
    std::thread driver = DriveMenu(&items, g_filterCount + 1, &done);
    std::thread boxReader([&] {
        while (!done) Sleep(10);
        for (int i = 0; i < 500; i++) {
            HWND box = FindWindowW(L"#32770", L"Fleetfinder");
            if (box && IsWindowVisible(box)) {
                wchar_t text[512] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 512);
                boxText = text;
                PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                return;
            }
            Sleep(10);
        }
    });
    FfShowFilterMenu();
    driver.join();
    boxReader.join();
    SYSTEMTIME now;
    GetLocalTime(&now);
    EXPECT_EQ(boxText.find(L"Fleetfinder\n\nVersion: " FF_VERSION_TEXT L"\nBuild: "), 0u) << FfTestUtf8(boxText);
    std::wstring owner = L"\u00A9 " + std::to_wstring(now.wYear) + L" Fleetfinder contributors";
    EXPECT_NE(boxText.find(owner), std::wstring::npos) << FfTestUtf8(boxText);
    EXPECT_EQ(g_selectedFilter, filter);
}

// ---- context menu routing ----------------------------------------------------------------------

TEST_F(ListE2E, ContextMenuOpensOnlyForARow)
{
    FillMadeUpResults(5);
    std::vector<MenuItem> items;
    std::atomic<bool> done{false};
    std::thread driver = DriveMenu(&items, -1, &done);
    SendMessageW(g_resultList, LB_SETCARETINDEX, 2, 0);
    SendMessageW(g_overlayWindow, WM_CONTEXTMENU, (WPARAM)g_resultList, MAKELPARAM(0xFFFF, 0xFFFF));
    driver.join();
    EXPECT_FALSE(items.empty()) << "no menu for the caret row from the keyboard";

    // Rows left over from a larger result set are not results: no menu for them.
    items.clear();
    done = false;
    g_resultCount = 2;
    driver = DriveMenu(&items, -1, &done, 1000);
    RECT row;
    SendMessageW(g_resultList, LB_GETITEMRECT, 4, (LPARAM)&row);
    POINT stale = {row.left + 20, (row.top + row.bottom) / 2};
    ClientToScreen(g_resultList, &stale);
    SendMessageW(g_overlayWindow, WM_CONTEXTMENU, (WPARAM)g_resultList, MAKELPARAM(stale.x, stale.y));
    driver.join();
    EXPECT_TRUE(items.empty());
}

}  // namespace
