// The result list in a real overlay: scroll bar, wheel, header clicks, tooltip, keys, menus.
#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

#include "bridge/bridge.h"
#include "core/core.h"
#include "host/host.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "overlay_world.h"
#include "search/search.h"

namespace {

int Top() { return (int)SendMessageW(g_resultList, LB_GETTOPINDEX, 0, 0); }
void SetTop(int top) { SendMessageW(g_resultList, LB_SETTOPINDEX, (WPARAM)top, 0); }
int SelCount() { return (int)SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0); }
void Select(std::initializer_list<int> rows)
{
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    for (int row : rows) SendMessageW(g_resultList, LB_SETSEL, TRUE, row);
}
LPARAM At(int x, int y) { return MAKELPARAM((WORD)(short)x, (WORD)(short)y); }
int Sp(int n) { return MulDiv(n, g_theme.dpiScale, 100); }
bool Shown() { return World().OverlayVisible(); }

std::wstring WindowText(HWND w)
{
    wchar_t text[1024] = {};
    GetWindowTextW(w, text, 1024);
    return text;
}

// Replaces the result set by count made-up results (every fourth one a folder) and refills the list.
void FillMadeUpResults(int count)
{
    for (int i = 0; i < count; i++) {
        FfResult& r = g_results[i];
        r.isFolder = i % 4 == 3;
        swprintf(r.path, FF_RESULT_PATH_MAX, r.isFolder ? L"C:\\Data\\Set%02d\\Folder%03d" : L"C:\\Data\\Set%02d\\file%03d.txt",
                 i % 7, i);
        r.size = (unsigned long long)((i * 7919) % 1000) * 1024;
        unsigned long long t = FfTestFileTime(2020 + i % 5, 1 + i % 12, 1 + i % 28);
        r.modified = FILETIME{(DWORD)t, (DWORD)(t >> 32)};
    }
    g_resultCount = count;
    g_selectedIndex = -1;
    FfFillResultList();
    FfTestFlushEvents(30);
}

// The handlers read modifiers live (GetAsyncKeyState): the modifier stays down until the key's
// effect is seen. Seen under Wine: the first key injected right after the overlay took the focus
// can be dropped, so the modifier is pressed again until the system reports it.
bool PressWithModifier(WORD modifier, WORD key, const std::function<bool()>& effect)
{
    bool held = false;
    for (int attempt = 0; attempt < 3 && !held; attempt++) {
        SendKey(modifier, true);
        held = FfTestWaitFor([modifier] { return (GetAsyncKeyState(modifier) & 0x8000) != 0; }, 1000);
    }
    if (!held) return false;
    if (key) SendChord({key});
    bool seen = FfTestWaitFor(effect, 3000);
    SendKey(modifier, false);
    return seen;
}

class ListE2E : public OverlayTest {
protected:
    void SetUp() override
    {
        OverlayTest::SetUp();
        ASSERT_TRUE(OpenOverlay());
    }
};

TEST_F(ListE2E, WheelAndTrackClicksScrollWithoutTouchingTheSelection)
{
    FillMadeUpResults(100);
    ASSERT_TRUE(g_listHasScrollBar);
    Select({5});
    struct Wheel { int top, delta, expected; } wheels[] = {{10, 120, 7}, {79, -120, 80}, {40, -119, 40}};
    for (const Wheel& c : wheels) {
        SetTop(c.top);
        EXPECT_EQ(0, SendMessageW(g_resultList, WM_MOUSEWHEEL, MAKEWPARAM(0, (WORD)(short)c.delta), At(50, 50)));
        EXPECT_EQ(Top(), c.expected) << "wheel at top " << c.top << " delta " << c.delta;
    }
    struct Page { int top; bool below; int expected; } pages[] = {{0, true, 20}, {70, true, 80}, {40, false, 20}};
    for (const Page& c : pages) {
        SetTop(c.top);
        RECT track, thumb;
        FfGetScrollBarRects(&track, &thumb);
        int x = (track.left + track.right) / 2, y = c.below ? thumb.bottom + 3 : thumb.top - 3;
        ASSERT_TRUE(y >= track.top && y < track.bottom) << "no room to click for top " << c.top;
        SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, At(x, y));
        SendMessageW(g_resultList, WM_LBUTTONUP, 0, At(x, y));
        EXPECT_EQ(Top(), c.expected) << "page click at top " << c.top;
        EXPECT_FALSE(g_scrollDragging);
    }
    EXPECT_EQ(SelCount(), 1);
    EXPECT_GT(SendMessageW(g_resultList, LB_GETSEL, 5, 0), 0);
}

TEST_F(ListE2E, ThumbDragReachesBothEndsAndEndsWithTheCapture)
{
    FillMadeUpResults(100);
    SetTop(0);
    RECT track, thumb;
    FfGetScrollBarRects(&track, &thumb);
    int x = (thumb.left + thumb.right) / 2;
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, At(x, thumb.top + 5));
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

    // A menu or another window taking the mouse ends a drag too.
    FfGetScrollBarRects(&track, &thumb);
    SendMessageW(g_resultList, WM_LBUTTONDOWN, MK_LBUTTON, At(thumb.left + 1, thumb.top + 1));
    ASSERT_TRUE(g_scrollDragging);
    SetCapture(g_overlayWindow);
    EXPECT_FALSE(g_scrollDragging);
    ReleaseCapture();
    int top = Top();
    SendMessageW(g_resultList, WM_MOUSEMOVE, 0, At(thumb.left + 1, track.bottom));
    EXPECT_EQ(Top(), top) << "a plain move still dragged the thumb";
}

// Rows stay in the list box until the next refill; beyond g_resultCount they are not results.
TEST_F(ListE2E, RowsBeyondTheResultSetAreNeitherSelectedNorTipped)
{
    FillMadeUpResults(10);
    Select({2, 4, 8});
    int indexes[FF_SELECTED_INDEXES_MAX];
    ASSERT_EQ(FfGetSelectedResultIndexes(indexes), 3);
    EXPECT_EQ(indexes[2], 8);
    g_resultCount = 5;
    ASSERT_EQ(FfGetSelectedResultIndexes(indexes), 2);
    EXPECT_EQ(indexes[1], 4);
    EXPECT_TRUE(FfGetResultTipText(4));
    EXPECT_FALSE(FfGetResultTipText(5));
    EXPECT_FALSE(FfGetResultTipText(-1));
    EXPECT_STREQ(g_tooltipText, L"");
}

// The widest date is measured once, so it must follow what the texts are drawn with; the
// column fits it whole while the name keeps half of the list, whatever the results' dates.
TEST_F(ListE2E, DateColumnFollowsTheFontAndThePictures)
{
    FillMadeUpResults(30);
    int measured = g_widestDateWidth;
    ASSERT_GT(measured, Sp(50)) << "the default dates should be wider than the narrowest column";
    for (int i = 0; i < 30; i++) g_results[i].modified = FILETIME{0, 0};  // no date texts
    FfFillResultList();
    EXPECT_EQ(measured, g_widestDateWidth) << "the column followed the results' dates";
    RECT folder, size, date;
    FfGetColumnRects(0, 2000, 20, &folder, &size, &date);
    EXPECT_EQ(date.right - date.left, measured + Sp(10));

    struct Change { const wchar_t *date, *time; int height; const char* what; bool narrower; } changes[] = {
        {L"yy", L"HH", 0, "short pictures", true},
        {L"dddd, dd. MMMM yyyy", L"HH:mm:ss", 0, "long pictures", false},
        {nullptr, nullptr, -4, "a tiny font", true},
        {nullptr, nullptr, 0, "back as it was", false},
    };
    wchar_t datePicture[FF_PICTURE_CHARS], timePicture[FF_PICTURE_CHARS];
    wcscpy(datePicture, g_settings.dateFormat);
    wcscpy(timePicture, g_settings.timeFormat);
    HFONT themeFont = g_theme.font;
    for (const Change& c : changes) {
        wcscpy(g_settings.dateFormat, c.date ? c.date : datePicture);
        wcscpy(g_settings.timeFormat, c.time ? c.time : timePicture);
        LOGFONTW lf = {};
        GetObjectW(themeFont, sizeof lf, &lf);
        if (c.height) lf.lfHeight = c.height;
        g_theme.font = c.height ? CreateFontIndirectW(&lf) : themeFont;
        FfFillResultList();
        if (c.narrower) EXPECT_LT(g_widestDateWidth, measured) << c.what;
        else if (c.date) EXPECT_GT(g_widestDateWidth, measured) << c.what;
        else EXPECT_EQ(g_widestDateWidth, measured) << c.what;
        if (c.height) DeleteObject(g_theme.font);
        g_theme.font = themeFont;
    }
}

// A bitmap of one list row's size, selected into a memory context.
struct RowBitmap {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = nullptr;
    HGDIOBJ old = nullptr;
    DWORD* bits = nullptr;
    int width, height;
    RowBitmap(int w, int h) : width(w), height(h)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader = {sizeof(bi.bmiHeader), w, -h, 1, 32};
        bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, (void**)&bits, nullptr, 0);
        old = SelectObject(dc, bmp);
    }
    ~RowBitmap()
    {
        SelectObject(dc, old);
        DeleteObject(bmp);
        DeleteDC(dc);
    }
    DWORD At(int x, int y) const { return bits[y * width + x] & 0xFFFFFF; }
};

// Draws a name into a fresh bitmap and returns its pixels.
std::vector<DWORD> DrawName(const wchar_t* query, const wchar_t* name, int width)
{
    SetWindowTextW(g_searchBox, query);
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    RowBitmap row(width, 24);
    RECT r = {0, 0, width, 24};
    FillRect(row.dc, &r, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SelectObject(row.dc, g_theme.font);
    SetBkMode(row.dc, TRANSPARENT);
    FfDrawHighlightedName(row.dc, &r, name, RGB(0, 0, 0));
    GdiFlush();
    return std::vector<DWORD>(row.bits, row.bits + width * 24);
}

TEST_F(ListE2E, ADateTooWideForItsColumnKeepsItsStart)
{
    wchar_t date[FF_PICTURE_CHARS], time[FF_PICTURE_CHARS];
    wcscpy(date, g_settings.dateFormat);
    wcscpy(time, g_settings.timeFormat);
    wcscpy(g_settings.dateFormat, L"dd. MMMM yyyy");
    wcscpy(g_settings.timeFormat, L"HH:mm:ss");
    FillMadeUpResults(1);
    ULARGE_INTEGER t;
    t.QuadPart = FfTestFileTime(2024, 11, 15, 11, 30);
    g_results[0].modified = FILETIME{t.LowPart, t.HighPart};

    // So narrow a list that even the date column's least width (118 sp) is too narrow for it.
    const int width = Sp(400), height = g_theme.rowHeight;
    RowBitmap row(width, height);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_LISTBOX;
    item.itemID = 0;
    item.hDC = row.dc;
    item.rcItem = {0, 0, width, height};
    FfDrawResultRow(&item);
    GdiFlush();

    // What the date should look like: its start and an ellipsis, right-aligned in its column.
    RECT folder, size, dateRect;
    FfGetColumnRects(0, FfContentRight(width), height, &folder, &size, &dateRect);
    wchar_t shown[80];
    wcscpy(shown, FfFormatDateTime(g_results[0].modified));
    const std::wstring whole = shown;
    RowBitmap expected(width, height);
    RECT all = {0, 0, width, height};
    FillRect(expected.dc, &all, g_theme.windowBackgroundBrush);
    SelectObject(expected.dc, g_theme.font);
    SetBkMode(expected.dc, TRANSPARENT);
    SetTextColor(expected.dc, g_theme.secondaryText);
    DrawTextW(expected.dc, shown, -1, &dateRect,
              DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS | DT_MODIFYSTRING);
    GdiFlush();
    EXPECT_EQ(0, wcsncmp(shown, L"15.", 3)) << "the reference itself lost the day";
    EXPECT_NE(std::wstring(shown), whole) << "the column was wide enough after all";
    int differing = 0;
    for (int y = 0; y < height; y++)
        for (int x = dateRect.left; x < dateRect.right; x++) differing += row.At(x, y) != expected.At(x, y);
    EXPECT_EQ(0, differing) << "the drawn date is not the start of the text with an ellipsis";

    // A list wide enough shows the same date whole.
    FfGetColumnRects(0, FfContentRight(Sp(1200)), height, &folder, &size, &dateRect);
    SIZE extent = {};
    GetTextExtentPoint32W(expected.dc, whole.c_str(), (int)whole.size(), &extent);
    EXPECT_GE(dateRect.right - dateRect.left, extent.cx);

    wcscpy(g_settings.dateFormat, date);
    wcscpy(g_settings.timeFormat, time);
}

TEST_F(ListE2E, MatchedCharactersAreDrawnBold)
{
    const wchar_t* name = L"Report_2026.pdf";
    std::vector<DWORD> plain = DrawName(L"", name, 300);
    size_t ink = 0;
    for (DWORD p : plain) ink += (p & 0xFFFFFF) != 0xFFFFFF ? 1 : 0;
    EXPECT_GT(ink, 20u) << "nothing was drawn";
    EXPECT_EQ(plain, DrawName(L"zzz", name, 300)) << "a query without matches changed the drawing";
    EXPECT_NE(plain, DrawName(L"rep 2026", name, 300)) << "matches were not drawn bold";
    // A very long name is cut at the rectangle without a fault.
    std::wstring longName(1500, L'a');
    EXPECT_EQ(DrawName(L"a", longName.c_str(), 200).size(), 200u * 24u);
    SetWindowTextW(g_searchBox, L"");
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
}

TEST_F(ListE2E, HeaderClicksSortByTheColumnUnderThePoint)
{
    FillMadeUpResults(0);
    int column = g_sortColumn, descending = g_sortDescending;
    SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, At(300, 2));
    EXPECT_EQ(g_sortColumn, column) << "a click without results sorted";
    EXPECT_EQ(g_sortDescending, descending);

    FillMadeUpResults(60);
    RECT h = g_headerRect, folder, size, date;
    ASSERT_GT(h.bottom, h.top);
    FfGetColumnRects(h.top, FfContentRight(h.right), h.bottom, &folder, &size, &date);
    struct Case { int x, column, descending; const char* what; } cases[] = {
        {(size.left + size.right) / 2, FF_SORT_SIZE, 1, "size: descending first"},
        {(size.left + size.right) / 2, FF_SORT_SIZE, 0, "size again: inverted"},
        {(date.left + date.right) / 2, FF_SORT_DATE, 1, "date: descending first"},
        {(folder.left + folder.right) / 2, FF_SORT_FOLDER, 0, "folder: ascending first"},
        {h.left + Sp(4), FF_SORT_EXTENSION, 0, "icon area: extension"},
        {h.left + Sp(40), FF_SORT_NAME, 0, "name"},
        {date.right + 1, FF_SORT_NAME, 1, "margin right of the date: name again, inverted"},
    };
    for (const Case& c : cases) {
        Select({2});
        SendMessageW(g_overlayWindow, WM_LBUTTONDOWN, MK_LBUTTON, At(c.x, (h.top + h.bottom) / 2));
        EXPECT_EQ(g_sortColumn, c.column) << c.what;
        EXPECT_EQ(g_sortDescending, c.descending) << c.what;
        EXPECT_EQ(g_selectedIndex, -1) << c.what;
        EXPECT_EQ(SelCount(), 0) << c.what;
        for (int i = 1; i < g_resultCount; i++)
            ASSERT_LE(FfCompareResults(&g_results[i - 1], &g_results[i], g_sortColumn, g_sortDescending), 0)
                << c.what << " at row " << i;
    }
}

TEST_F(ListE2E, FolderTooltipShowsTheFullFolderOnlyOverTheFolderColumn)
{
    ASSERT_NE(g_tooltip, nullptr);
    FillMadeUpResults(40);
    SetTop(0);
    // Returns the row's folder cell; the real pointer goes where the messages say, so the
    // system's own leave tracking agrees.
    auto cell = [](int row) {
        RECT r, folder;
        SendMessageW(g_resultList, LB_GETITEMRECT, (WPARAM)row, (LPARAM)&r);
        FfGetColumnRects(r.top, FfContentRight(r.right), r.bottom, &folder, nullptr, nullptr);
        return folder;
    };
    auto move = [](int x, const RECT& cell) {
        POINT pt = {x, (cell.top + cell.bottom) / 2};
        ClientToScreen(g_resultList, &pt);
        SetCursorPos(pt.x, pt.y);
        SendMessageW(g_resultList, WM_MOUSEMOVE, 0, At(x, (cell.top + cell.bottom) / 2));
    };
    RECT folder = cell(1);
    move(folder.left + 2, folder);
    EXPECT_EQ(g_tooltipItem, 1);
    EXPECT_STREQ(g_tooltipText, L"C:\\Data\\Set01");
    EXPECT_TRUE(FfTestWaitFor([] { return IsWindowVisible(g_tooltip) != FALSE; }, 2000));
    move(folder.right - 2, folder);  // along the same cell
    EXPECT_EQ(g_tooltipItem, 1);

    folder = cell(3);  // a folder result: its own full path
    move(folder.left + 5, folder);
    EXPECT_EQ(g_tooltipItem, 3);
    EXPECT_STREQ(g_tooltipText, L"C:\\Data\\Set03\\Folder003");
    move(folder.left - Sp(10), folder);  // name
    EXPECT_EQ(g_tooltipItem, -1);
    EXPECT_TRUE(FfTestWaitFor([] { return !IsWindowVisible(g_tooltip); }, 2000));

    move(folder.left + 5, folder);
    EXPECT_EQ(g_tooltipItem, 3);
    SendMessageW(g_resultList, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(g_tooltipItem, -1);
    EXPECT_FALSE(g_trackingMouseLeave);
}

// ---- keys, with real results of the engine ---------------------------------------------------

class ListKeys : public ListE2E {
protected:
    void SetUp() override
    {
        ListE2E::SetUp();
        ASSERT_TRUE(SearchAndWait(L"alpha"));
        ASSERT_EQ(25, g_resultCount);
        ASSERT_TRUE(FocusControl(g_searchBox));
        // Shift, which the overlay ignores, first: a key dropped right after the focus change
        // is then not one the test relies on.
        ASSERT_TRUE(PressWithModifier(VK_SHIFT, 0, [] { return true; }));
        ASSERT_TRUE(FfTestWaitFor([] { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) == 0; }, 1000));
    }
};

TEST_F(ListKeys, ArrowsMoveOneSelectionAndShiftArrowsExtendIt)
{
    EXPECT_EQ(g_selectedIndex, 0);
    struct Step { WORD key; bool shift; int index, selected; const char* what; } steps[] = {
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
            SendChord({s.key});
        EXPECT_EQ(g_selectedIndex, s.index) << s.what;
        EXPECT_EQ(SelCount(), s.selected) << s.what;
        EXPECT_GT(SendMessageW(g_resultList, LB_GETSEL, s.index, 0), 0) << s.what;
        EXPECT_EQ(GetFocus(), g_searchBox) << s.what;
    }
    EXPECT_EQ(WindowText(g_searchBox), L"alpha");
    Select({});
    g_selectedIndex = g_resultCount - 1;
    SendChord({VK_DOWN});
    EXPECT_EQ(g_selectedIndex, g_resultCount - 1) << "down on the last row moved";
}

TEST_F(ListKeys, CtrlBackspaceDeletesTheWordBeforeTheCaretOrTheSelection)
{
    struct Case { const wchar_t* text; int selStart, selEnd; const wchar_t* expected; } cases[] = {
        {L"foo bar  ", 9, 9, L"foo "},
        {L"hello world", 0, 5, L" world"},
        {L"one two", 0, 0, L"one two"},
    };
    for (const Case& c : cases) {
        SetWindowTextW(g_searchBox, c.text);
        SendMessageW(g_searchBox, EM_SETSEL, c.selStart, c.selEnd);
        std::wstring expected = c.expected;
        PressWithModifier(VK_CONTROL, VK_BACK, [&] { return WindowText(g_searchBox) == expected; });
        EXPECT_EQ(WindowText(g_searchBox), c.expected) << FfTestUtf8(c.text);
    }
}

TEST_F(ListKeys, EnterPublishesEverythingWithoutASelectionAndCtrlEnterAppends)
{
    Select({});
    SendChord({VK_RETURN});
    EXPECT_FALSE(Shown());
    EXPECT_EQ(g_panelListingCount, 25);
    EXPECT_EQ(g_resultCount, 0);
    EXPECT_EQ(g_selectedIndex, -1);

    ASSERT_TRUE(OpenOverlay());
    ASSERT_TRUE(SearchAndWait(L"beta"));
    ASSERT_TRUE(FocusControl(g_searchBox));
    Select({0, 2});
    EXPECT_TRUE(PressWithModifier(VK_CONTROL, VK_RETURN, [] { return !Shown(); }));
    EXPECT_EQ(g_panelListingCount, 27);
    EXPECT_EQ(WindowText(g_searchBox), L"beta") << "Ctrl+Enter typed into the search box";
}

TEST_F(ListKeys, EnterAndEscapeInTheListItself)
{
    ASSERT_TRUE(FocusControl(g_resultList));
    Select({3});
    SendChord({VK_RETURN});
    EXPECT_EQ(g_panelListingCount, 1);
    EXPECT_FALSE(Shown());

    ASSERT_TRUE(OpenOverlay());
    ASSERT_TRUE(SearchAndWait(L"alpha"));
    ASSERT_TRUE(FocusControl(g_resultList));
    SendChord({VK_ESCAPE});
    EXPECT_FALSE(Shown());
    EXPECT_EQ(g_resultCount, 0);
}

// ---- filter menu and context menu ---------------------------------------------------------------

struct MenuItem {
    std::wstring text;
    UINT id = 0;
    bool checked = false, separator = false;
};

// Waits on a helper thread for the pop-up menu, reads its entries, then picks entry downs (by
// keys) or dismisses it (downs < 0).
std::thread DriveMenu(std::vector<MenuItem>* items, int downs)
{
    items->clear();
    return std::thread([=] {
        HWND menuWindow = nullptr;
        for (int i = 0; i < 500 && !menuWindow; i++) {
            HWND w = FindWindowW(L"#32768", nullptr);
            if (w && IsWindowVisible(w)) menuWindow = w;
            else Sleep(10);
        }
        if (!menuWindow) return;
        HMENU menu = (HMENU)SendMessageW(menuWindow, 0x01E1 /* MN_GETHMENU */, 0, 0);
        for (int i = 0; menu && i < GetMenuItemCount(menu); i++) {
            wchar_t text[256] = {};
            MENUITEMINFOW info = {};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
            info.dwTypeData = text;
            info.cch = 255;
            GetMenuItemInfoW(menu, i, TRUE, &info);
            items->push_back({text, info.wID, (info.fState & MFS_CHECKED) != 0, (info.fType & MFT_SEPARATOR) != 0});
        }
        for (int i = 0; i < downs; i++) PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menuWindow, WM_KEYDOWN, downs < 0 ? VK_ESCAPE : VK_RETURN, 0);
    });
}

void ShowFilterMenu(std::vector<MenuItem>* items, int downs)
{
    std::thread driver = DriveMenu(items, downs);
    FfShowFilterMenu();
    driver.join();
}

TEST_F(ListE2E, FilterMenuListsTheCatalogueAndAPickIsSavedAndSearchedAtOnce)
{
    OverlayWorld& w = World();
    ASSERT_GE(g_filterCount, 4);
    ASSERT_TRUE(SearchAndWait(L"alpha"));
    const int pick = 3;
    std::wstring pickName = g_filters[pick].name;
    std::vector<MenuItem> items;
    size_t runs = w.CountLog("FfRunSearchNow: filter=");
    ShowFilterMenu(&items, pick + 1);

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
    EXPECT_EQ(w.CountLog("FfRunSearchNow: filter="), runs + 1);
    EXPECT_EQ(w.CountLog(("FfRunSearchNow: filter=\"" + FfTestUtf8(pickName) + "\"").c_str()), 1u);
    EXPECT_EQ(g_selectedFilter, pick);
    EXPECT_EQ(WindowText(g_filterButton), pickName);
    EXPECT_NE(FfTestReadBytes(w.cfgPath).find("LastSelectedFilter=" + FfTestUtf8(pickName)), std::string::npos);

    // Dismissing the menu changes nothing; picking entry 0 goes back, at once also for an empty
    // search box (which clears the results without a query).
    SetWindowTextW(g_searchBox, L"");
    KillTimer(g_overlayWindow, FF_TIMER_SEARCH);
    FillMadeUpResults(10);
    ShowFilterMenu(&items, -1);
    EXPECT_EQ(g_selectedFilter, pick);
    EXPECT_TRUE(items[pick].checked);
    ShowFilterMenu(&items, 1);
    EXPECT_EQ(g_selectedFilter, 0);
    EXPECT_EQ(g_resultCount, 0);
    EXPECT_NE(FfTestReadBytes(w.cfgPath).find("LastSelectedFilter=" + FfTestUtf8(g_filters[0].name)), std::string::npos);
}

// The menu itself, and that rows outside the result set open none, are the bridge tests' part.
TEST_F(ListE2E, ContextMenuFromTheKeyboardOpensForTheCaretRow)
{
    FillMadeUpResults(5);
    std::vector<MenuItem> items;
    std::thread driver = DriveMenu(&items, -1);
    SendMessageW(g_resultList, LB_SETCARETINDEX, 2, 0);
    SendMessageW(g_overlayWindow, WM_CONTEXTMENU, (WPARAM)g_resultList, MAKELPARAM(0xFFFF, 0xFFFF));
    driver.join();
    EXPECT_FALSE(items.empty()) << "no menu for the caret row from the keyboard";
}

// ---- acting on results without publishing, and the search history ---------------------------

std::vector<std::wstring> g_opened;  // what Shift+Enter asked to open

// Shift+Enter and Ctrl+Shift+C act on the selected rows (none: the caret row), publish nothing
// and close the overlay. The opening goes through a recorder: a fresh prefix has no programs.
TEST_F(ListKeys, ShiftEnterOpensAndCtrlShiftCCopiesWithoutPublishing)
{
    g_openPathRoutine = [](const wchar_t* path) { g_opened.push_back(path); return true; };
    struct Case { bool copy; std::vector<int> rows; int caret; size_t expected; const char* what; } cases[] = {
        {false, {1, 3}, 0, 2, "open two"},
        {false, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 0, 10, "open at most ten"},
        {false, {}, 4, 1, "open the caret row"},
        {true, {}, 2, 1, "copy the caret row"},
        {true, {0, 4, 7}, 0, 3, "copy three"},
    };
    int published = g_panelListingCount = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!Shown()) {
            ASSERT_TRUE(OpenOverlay());
            ASSERT_TRUE(SearchAndWait(L"alpha"));
            ASSERT_TRUE(FocusControl(g_searchBox));
        }
        SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
        for (int row : c.rows) SendMessageW(g_resultList, LB_SETSEL, TRUE, row);
        if (c.rows.empty()) SendMessageW(g_resultList, LB_SETCARETINDEX, c.caret, 0);
        std::vector<std::wstring> expected;
        for (size_t i = 0; i < c.expected; i++) expected.push_back(g_results[c.rows.empty() ? c.caret : c.rows[i]].path);
        g_opened.clear();
        if (c.copy) {
            // Selected text in the box: the edit's own copy must not follow.
            SendMessageW(g_searchBox, EM_SETSEL, 0, -1);
            SendKey(VK_SHIFT, true);
            EXPECT_TRUE(PressWithModifier(VK_CONTROL, 'C', [] { return !Shown(); }));
            SendKey(VK_SHIFT, false);
            FfTestFlushEvents(50);
            std::wstring joined;
            for (const std::wstring& path : expected) joined += (joined.empty() ? L"" : L"\r\n") + path;
            EXPECT_EQ(FfTestUtf8(FfTestClipboardText()), FfTestUtf8(joined));
        } else {
            EXPECT_TRUE(PressWithModifier(VK_SHIFT, VK_RETURN, [] { return !Shown(); }));
            EXPECT_EQ(g_opened, expected);
        }
        EXPECT_FALSE(Shown());
        EXPECT_EQ(g_panelListingCount, published) << "published";
    }
    g_openPathRoutine = FfShellOpenPath;
}

// Published searches are kept newest first in Fleetfinder.history beside the cfg, which stays
// as it was; a broken history is replaced. Ctrl+Up and Ctrl+Down walk them, searching each.
TEST_F(ListKeys, PublishedSearchesAreRememberedAndWalkedWithCtrlUpAndDown)
{
    OverlayWorld& w = World();
    std::wstring history = w.cfgPath.substr(0, w.cfgPath.rfind(L'\\') + 1) + L"Fleetfinder.history";
    FfTestWriteBytes(history, std::string("\xFF\xFE broken\0", 10));
    std::string cfg = FfTestReadBytes(w.cfgPath);
    SendChord({VK_RETURN});  // "alpha", all results
    EXPECT_EQ(FfTestReadBytes(history), "alpha\r\n");
    struct Publish { const wchar_t* text; int how; const char* file; } publishes[] = {
        {L"beta", 1, "beta\r\nalpha\r\n"},   // Ctrl+Enter
        {L"alpha", 0, "alpha\r\nbeta\r\n"},  // Enter again: moved up, not repeated
    };
    for (const Publish& p : publishes) {
        ASSERT_TRUE(OpenOverlay());
        ASSERT_TRUE(SearchAndWait(p.text));
        ASSERT_TRUE(FocusControl(g_searchBox));
        if (p.how == 1)
            EXPECT_TRUE(PressWithModifier(VK_CONTROL, VK_RETURN, [] { return !Shown(); }));
        else
            SendChord({VK_RETURN});
        EXPECT_FALSE(Shown());
        EXPECT_EQ(FfTestReadBytes(history), p.file);
    }
    EXPECT_EQ(FfTestReadBytes(w.cfgPath), cfg) << "the cfg was written";

    ASSERT_TRUE(OpenOverlay());
    ASSERT_TRUE(FocusControl(g_searchBox));
    SendText(L"gam");
    ASSERT_TRUE(FfTestWaitFor([] { return WindowText(g_searchBox) == L"gam"; }, 3000));
    struct Step { WORD key; const wchar_t* text; int results; } steps[] = {
        {VK_UP, L"alpha", 25}, {VK_UP, L"beta", 3}, {VK_UP, L"beta", 3}, {VK_DOWN, L"alpha", 25}, {VK_DOWN, L"gam", 0},
    };
    for (const Step& s : steps) {
        std::wstring text = s.text;
        EXPECT_TRUE(PressWithModifier(VK_CONTROL, s.key, [&] { return WindowText(g_searchBox) == text; })) << FfTestUtf8(text);
        EXPECT_TRUE(FfTestWaitFor([&] { return g_resultCount == s.results; }, 3000)) << FfTestUtf8(text);
    }
}

}  // namespace
