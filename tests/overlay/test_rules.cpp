// The overlay's and the list's plain rules, each a table: placement arithmetic, the hotkey's
// decision, match marks, columns, dates, history, scroll bar, keys and the status line.
#include <set>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>
#include "fftest.h"
#include "core/core.h"
#include "app/app.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

std::string Str(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," + std::to_string(r.bottom);
}
int Height(const RECT& r) { return r.bottom - r.top; }

struct Metrics { int dpi, edit, row, search, header, pad, filterW, closeW, rowTop, toggleW; };
const Metrics k96 = {100, 24, 20, 32, 22, 4, 112, 24, 3, 22}, k144 = {150, 35, 30, 47, 33, 6, 168, 36, 5, 33};

TEST(OverlayLayout, BandOnThePanelEdgeListGrowingAwayControlsSideBySide)
{
    struct Case { int results, maxRows, rows; bool scroll; } cases[] = {
        {0, 20, 0, false}, {3, 20, 3, false}, {20, 20, 20, false}, {25, 20, 20, true}, {3, 0, 0, true}, {3, -5, 0, true}, {-1, 20, 0, false}};
    const RECT panel = {-1800, 50, -1160, 650};  // 640 wide, on a monitor left of the primary one
    for (const Case& c : cases)
        for (const Metrics* m : {&k96, &k144})
            for (bool top : {false, true}) {
                SCOPED_TRACE(testing::Message() << c.results << "/" << c.maxRows << " dpi " << m->dpi << " top " << top);
                FfOverlayLayout lay;
                memset(&lay, 0x5A, sizeof lay);
                FfComputeOverlayLayout(&panel, c.results, c.maxRows, top, m->dpi, m->edit, m->row, m->search, m->header, &lay);
                int header = c.rows > 0 ? m->header : 0, w = 640;
                EXPECT_EQ(c.rows, lay.visibleRows);
                EXPECT_EQ(c.scroll, lay.hasScrollBar);
                EXPECT_EQ(m->search + m->row + header + c.rows * m->row, Height(lay.window));
                EXPECT_EQ(Str({panel.left, top ? panel.top : lay.window.top, panel.right, top ? lay.window.bottom : panel.bottom}), Str(lay.window));
                EXPECT_EQ(header * 1000 + c.rows * m->row, Height(lay.headerRect) * 1000 + Height(lay.listRect)) << "header, list";
                EXPECT_EQ(lay.headerRect.bottom, lay.listRect.top);
                int pad6 = m->dpi * 6 / 100, statusTop = top ? m->search : lay.listRect.bottom;
                EXPECT_EQ(Str({pad6, statusTop, w - pad6, statusTop + m->row}), Str(lay.statusRect));
                if (top) EXPECT_EQ(lay.statusRect.bottom, lay.headerRect.top);
                else EXPECT_EQ(0, lay.headerRect.top);
                int band = top ? 0 : lay.statusRect.bottom, rowTop = band + m->rowTop;
                int togglesW = 4 * m->toggleW + m->pad, boxW = w - 3 * m->pad - (m->closeW + m->filterW + m->edit) - togglesW;
                EXPECT_EQ(Str({m->pad + 1, rowTop + 1, m->pad + boxW, rowTop + m->edit - 1}), Str(lay.searchBox));
                EXPECT_EQ(Str({m->pad + boxW, rowTop + 1, m->pad + boxW + m->edit - 1, rowTop + m->edit - 1}), Str(lay.clearButton));
                EXPECT_EQ(Str({m->pad, rowTop, m->pad + boxW + m->edit, rowTop + m->edit}), Str(lay.searchFrame));
                for (int i = 0; i < 4; i++) {  // side by side after the frame, as high as the box
                    int x = lay.searchFrame.right + m->pad + i * m->toggleW;
                    EXPECT_EQ(Str({x, rowTop, x + m->toggleW, rowTop + m->edit}), Str(lay.toggles[i])) << i;
                }
                int filterX = lay.searchFrame.right + m->pad + togglesW;
                EXPECT_EQ(Str({filterX, rowTop, filterX + m->filterW, rowTop + m->edit}), Str(lay.filterButton));
                EXPECT_EQ(Str({filterX + m->filterW + m->pad, rowTop, w, rowTop + m->edit}), Str(lay.closeButton));
            }
    // The toggles give way in a narrow panel, where the search box would fall under 120 sp.
    struct Narrow { int width; const Metrics* m; bool toggles; int boxRight; } narrow[] = {
        {300, &k96, false, 132}, {383, &k96, false, 215}, {384, &k96, true, 124}, {500, &k144, false, 249}, {600, &k144, true, 211}};
    for (const Narrow& c : narrow) {
        const RECT panel = {0, 0, c.width, 400};
        FfOverlayLayout lay;
        FfComputeOverlayLayout(&panel, 0, 20, false, c.m->dpi, c.m->edit, c.m->row, c.m->search, c.m->header, &lay);
        EXPECT_EQ(c.toggles, !IsRectEmpty(&lay.toggles[3])) << c.width;
        EXPECT_EQ(c.boxRight, lay.searchBox.right) << c.width;
        EXPECT_EQ(c.width - c.m->closeW - c.m->pad - c.m->filterW, lay.filterButton.left) << c.width;
    }
    struct Half { RECT host; LONG right; } halves[] = {{{0, 0, 1001, 700}, 500}, {{-301, 10, 0, 500}, -151}, {{5, 5, 5, 5}, 5}};
    for (const Half& c : halves) {
        RECT out;
        FfHalfWindowRect(&c.host, &out);
        EXPECT_EQ(Str({c.host.left, c.host.top, c.right, c.host.bottom}), Str(out));
    }
}

TEST(Hotkey, OnlyCtrlAltLetterKeyDownOverTheHostMatches)
{
    struct Case { const char* name; int code; WPARAM msg; DWORD vk; WCHAR letter; bool ctrl, alt; const WCHAR* cls; bool hit; };
    const WCHAR* host = L"TTOTAL_CMD";
    const Case cases[] = {
        {"hotkey over the host", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, host, true},
        {"other letter setting", HC_ACTION, WM_KEYDOWN, 'G', L'G', true, true, host, true},
        {"F while G is set", HC_ACTION, WM_KEYDOWN, 'F', L'G', true, true, host, false},
        {"key-up", HC_ACTION, WM_KEYUP, 'F', L'F', true, true, host, false}, {"system key-down", HC_ACTION, WM_SYSKEYDOWN, 'F', L'F', true, true, host, false},
        {"Ctrl only", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, false, host, false}, {"Alt only", HC_ACTION, WM_KEYDOWN, 'F', L'F', false, true, host, false},
        {"no code action", 3, WM_KEYDOWN, 'F', L'F', true, true, host, false},
        {"class differs in case", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"ttotal_cmd", false},
        {"the overlay in front", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"FleetfinderOverlay", false},
        {"no foreground window", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"", false},
        {"longer class", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"TTOTAL_CMD2", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.hit, FfIsHotkeyEvent(c.code, c.msg, c.vk, c.letter, c.ctrl, c.alt, c.cls)) << c.name;
}

TEST(ListRules, MatchMarksColumnsAndHeaderHits)
{
    struct Mark { const wchar_t *name, *query; const char* marks; } marks[] = {{L"Report_2026.pdf", L"rep 2026", "111000011110000"},
        {L"Report_2026.pdf", L"REP", "111000000000000"}, {L"aaab", L"ab", "0011"}, {L"aaab", L"aa", "1110"}, {L"ab", L"abc", "00"}, {L"ab", L"AB", "11"},
        {L"a.txt", L"  \t txt  ", "00111"}, {L"a.txt", L"path:a", "00000"}, {L"\u00C4rger", L"\u00E4 RGER", "01111"}, {L"x y", L"x y", "101"}};
    DWORD mask[FF_MATCH_MASK_MAX + 1];
    for (const Mark& c : marks) {
        int marked = FfMarkNameMatches(c.name, c.query, mask);
        std::string got;
        for (size_t i = 0; i < wcslen(c.name); i++) got += mask[i] ? '1' : '0';
        EXPECT_EQ(got + " " + std::to_string(marked), c.marks + (" " + std::to_string(std::count(got.begin(), got.end(), '1'))));
    }
    for (DWORD& m : mask) m = 7;  // nothing past entry 1022 may be written
    EXPECT_EQ(FfMarkNameMatches(std::wstring(1500, L'a').c_str(), L"a", mask), FF_MATCH_MASK_MAX - 1);
    EXPECT_EQ(mask[FF_MATCH_MASK_MAX - 1] + mask[FF_MATCH_MASK_MAX], 14u);
    // Widths all 0: the defaults (no widths given).
    struct Cols { int dpi; FfColumnWidths widths; int right; const char *folder, *size, *date; } cols[] = {
        {100, {0, 0, 0}, 500, "218,10,302,30", "308,10,372,30", "378,10,496,30"}, {100, {84, 64, 90}, 500, "246,10,330,30", "336,10,400,30", "406,10,496,30"},
        {150, {0, 0, 0}, 600, "177,10,303,30", "312,10,408,30", "417,10,594,30"}, {100, {84, 64, -5}, 500, "218,10,302,30", "308,10,372,30", "378,10,496,30"},
        {100, {0, 70, 130}, 500, "284,10,284,30", "290,10,360,30", "366,10,496,30"}};
    for (const Cols& c : cols) {
        RECT folder, size, date;
        bool defaults = !c.widths.folder && !c.widths.size && !c.widths.date;
        FfComputeColumnRects(10, c.right, 30, c.dpi, defaults ? nullptr : &c.widths, &folder, &size, &date);
        EXPECT_EQ(Str(folder) + " " + Str(size) + " " + Str(date), std::string(c.folder) + " " + c.size + " " + c.date);
    }
    RECT header = {0, 0, 500, 20};
    struct Hit { int x, dpi, contentRight, column; } hits[] = {{340, 100, 500, 1}, {308, 100, 500, 1}, {371, 100, 500, 1},
        {372, 100, 500, 0}, {400, 100, 500, 2}, {497, 100, 500, 0}, {250, 100, 500, 3}, {305, 100, 500, 0}, {21, 100, 500, 4},
        {0, 100, 500, 4}, {22, 100, 500, 0}, {32, 150, 500, 4}, {33, 150, 500, 0}, {490, 100, 488, 0}, {375, 100, 488, 2}};
    for (const Hit& c : hits) EXPECT_EQ(FfHeaderColumnFromPoint(&header, c.x, 5, c.contentRight, c.dpi, nullptr), c.column) << c.x;
    // The date whole as long as the name keeps half of the list; never under 118 sp.
    struct Date { int widest, listWidth, dpi, expected; } dates[] = {{0, 600, 100, 118}, {-3, 600, 100, 118}, {40, 600, 100, 60},
        {100, 600, 100, 110}, {200, 1000, 100, 210}, {300, 1000, 100, 304}, {300, 1001, 100, 304}, {200, 400, 100, 118}, {300, 600, 150, 177}};
    for (const Date& c : dates)
        EXPECT_EQ(FfDateColumnWidthFor(c.widest, c.listWidth, c.dpi), c.expected) << c.widest << " in " << c.listWidth << " at " << c.dpi;
    // From 420 sp of list on, the date (widest 115 px here) and the size are whole: the folder gives way to
    // 120 sp of name first (wholly once under 24 sp), then the name, down to 40 sp. Narrower lists cut the
    // date as before.
    struct Widths { int list, content, widestDate, widestSize, dpi; FfColumnWidths expected; int name; } widths[] = {
        {300, 300, 115, 50, 100, {84, 64, 118}, 0}, {419, 407, 115, 50, 100, {84, 64, 118}, 0},
        {420, 420, 115, 50, 100, {63, 64, 125}, 120}, {420, 408, 115, 50, 100, {51, 64, 125}, 120},
        {620, 608, 115, 50, 100, {84, 64, 125}, 0}, {800, 800, 115, 70, 100, {84, 74, 125}, 0}, {800, 800, 0, 0, 100, {84, 64, 118}, 0},
        {420, 420, 210, 50, 100, {0, 64, 220}, 88}, {420, 420, 300, 50, 100, {0, 64, 268}, 40},
        {420, 420, 154, 50, 100, {24, 64, 164}, 120}, {420, 420, 155, 50, 100, {0, 64, 165}, 143},
        {600, 600, 172, 75, 150, {126, 96, 177}, 0}, {630, 630, 172, 75, 150, {95, 96, 187}, 180},
        {630, 612, 172, 75, 150, {77, 96, 187}, 180}, {1200, 1182, 172, 75, 150, {126, 96, 187}, 0}};
    for (const Widths& c : widths) {
        FfColumnWidths got;
        FfComputeColumnWidths(c.list, c.content, c.widestDate, c.widestSize, c.dpi, &got);
        std::string trace = std::to_string(c.list) + "/" + std::to_string(c.content) + " at " + std::to_string(c.dpi);
        EXPECT_EQ(Str({c.expected.folder, c.expected.size, c.expected.date, 0}), Str({got.folder, got.size, got.date, 0})) << trace;
        RECT folder;
        FfComputeColumnRects(0, c.content, 20, c.dpi, &got, &folder, nullptr, nullptr);
        int nameLeft = c.dpi == 100 ? 26 : 39, nameRight = folder.left - (c.dpi == 100 ? 6 : 9);
        if (c.name) { EXPECT_EQ(c.name, nameRight - nameLeft) << trace; }
    }
    // A row's tooltip names its folder: a folder result itself, a file's parent; nothing without one.
    struct Tip { const wchar_t* path; bool isFolder; const wchar_t* tip; } tips[] = {{L"C:\\a\\b.txt", false, L"C:\\a"},
        {L"C:\\a\\d", true, L"C:\\a\\d"}, {L"b.txt", false, L""}, {L"\\b.txt", false, L""}, {L"", true, L""}};
    for (const Tip& c : tips) {
        wchar_t tip[64] = L"old";
        EXPECT_EQ(FfBuildTipText(c.path, c.isFolder, tip, 64), c.tip[0] != 0) << FfTestUtf8(c.path);
        EXPECT_STREQ(tip, c.tip);
    }
}

// The table of character widths gives every date shape the width the device context gives it.
TEST(ListRules, DateWidthTableMeasuresEveryDateShapeAsTheDeviceContext)
{
    struct Pictures { const wchar_t *date, *time; } pictures[] = {{L"Auto", L"Auto"}, {L"dddd, d. MMMM yyyy", L"hh:mm:ss tt"}, {L"MMM dd", L""},
                                                 {L"MMM dd", L"HH:mm:ss"}};  // only the time picture changed: measured again
    struct Font { const wchar_t* face; int height, weight; } fonts[] = {{L"Tahoma", -11, 400}, {L"Times New Roman", -19, 700}};
    HDC dc = CreateCompatibleDC(nullptr);
    for (const Font& f : fonts) {
        HFONT font = CreateFontW(f.height, 0, 0, 0, f.weight, f.weight > 400, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, f.face);
        HGDIOBJ old = SelectObject(dc, font);
        for (const Pictures& p : pictures) {
            wcscpy(g_settings.dateFormat, p.date);
            wcscpy(g_settings.timeFormat, p.time);
            SCOPED_TRACE(FfTestUtf8(f.face) + " " + FfTestUtf8(p.date));
            int asked = FfWidestDateWidth(font);  // first, while the width table may still be another font's
            int base = -1, widest[3] = {0, 0, 0}, shapes = 0, mismatches = 0, group;
            std::set<std::wstring> texts;
            FILETIME modified = {};
            for (; FfDateShape(shapes, &modified, &group); shapes++) {
                const wchar_t* text = FfFormatDateTime(modified);
                texts.insert(text);
                SIZE extent = {0, 0};
                GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
                if (FfTextWidthFromTable(font, text) != extent.cx && mismatches++ < 3)
                    ADD_FAILURE() << FfTestUtf8(text) << ": table " << FfTextWidthFromTable(font, text) << ", device context " << extent.cx;
                base = shapes ? base : extent.cx;
                widest[group] = std::max(widest[group], (int)extent.cx);
            }
            EXPECT_GT(shapes, 7 * 365);
            EXPECT_GT(texts.size(), 300u) << "the shapes do not vary the date";
            EXPECT_EQ(asked, FfWidestOfShapeGroups(base, widest, 3));
            EXPECT_EQ(0, FfTextWidthFromTable(font, nullptr));
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    DeleteDC(dc);
    wcscpy(g_settings.dateFormat, L"Auto");
    wcscpy(g_settings.timeFormat, L"Auto");
}

std::wstring Texts(const FfSearchHistory& h)
{
    std::wstring all;
    for (int i = 0; i < h.count; i++) all += (i ? L"|" : L"") + std::wstring(h.texts[i]);
    return all;
}

TEST(ListRules, HistoryNewestFirstWithoutRepeatsAtMostFiftyAndItsFile)
{
    static FfSearchHistory h;
    h.count = 0;
    for (const wchar_t* t : {L"one", L"two", L"one", L"  ", L"", L"three", L"a\r\nb"}) FfHistoryAdd(&h, t);
    EXPECT_EQ(Texts(h), L"a  b|three|one|two");
    for (int i = 0; i < 60; i++) FfHistoryAdd(&h, std::to_wstring(i).c_str());
    FfHistoryAdd(&h, L"30");
    EXPECT_EQ(h.count, FF_HISTORY_MAX);
    EXPECT_EQ(std::wstring(h.texts[0]) + h.texts[1] + h.texts[49], L"305910");
    struct Step { int position, count; bool older; int expected; } steps[] = {{-1, 3, true, 0}, {0, 3, true, 1}, {2, 3, true, 2},
        {2, 3, false, 1}, {0, 3, false, -1}, {-1, 3, false, -1}, {-1, 0, true, -1}, {7, 3, false, 1}};
    for (const Step& s : steps) EXPECT_EQ(FfHistoryStep(s.position, s.count, s.older), s.expected) << s.position;

    struct File { std::string bytes; int length; bool ok; const wchar_t* texts; } files[] = {{"", 0, true, L""},
        {"b\xC3\xA9ta\r\nalpha\r\n", -1, true, L"b\u00E9ta|alpha"},
        {"\xEF\xBB\xBF" "x\n\ny\r\nx\r\n", -1, true, L"x|y"},  // byte-order mark, blank line, repeat
        {"no endX", 6, true, L"no end"},                       // nothing read past the length
        {"ok\r\n\xFF\xFEz\r\n", -1, false, L""}, {std::string("a\0b\r\n", 5), -1, false, L""},  // not UTF-8, NUL
        {std::string(600, 'x') + "\r\n", -1, false, L""}, {std::string(FF_HISTORY_FILE_MAX + 1, '\n'), -1, false, L""}};
    for (const File& c : files) {
        h.count = 99;
        int length = c.length < 0 ? (int)c.bytes.size() : c.length;
        EXPECT_EQ(FfHistoryParse(&h, c.bytes.data(), length), c.ok) << c.bytes.substr(0, 20);
        EXPECT_EQ(Texts(h), c.texts) << c.bytes.substr(0, 20);
    }
    std::string many;  // 0..69, one a line
    for (int i = 0; i < 70; i++) many += std::to_string(i) + "\r\n";
    ASSERT_TRUE(FfHistoryParse(&h, many.data(), (int)many.size()));
    EXPECT_EQ(h.count, FF_HISTORY_MAX);
    static char out[FF_HISTORY_FILE_MAX];
    int n = FfHistorySerialize(&h, out, FF_HISTORY_FILE_MAX);
    EXPECT_EQ(std::string(out, n > 0 ? n : 0), many.substr(0, many.find("50\r\n")));
    EXPECT_EQ(FfHistorySerialize(&h, out, 10), -1);
}

TEST(ListRules, ScrollBarWheelPagesAndDrag)
{
    struct Bar { int height; bool hasBar; int rowHeight, count, top, dpi; const char *track, *thumb; } bars[] = {
        {400, true, 20, 100, 0, 100, "288,0,300,400", "292,0,296,80"}, {400, true, 20, 100, 80, 100, "288,0,300,400", "292,320,296,400"},
        {400, true, 20, 100, 40, 100, "288,0,300,400", "292,160,296,240"}, {400, true, 20, 100, 500, 100, "288,0,300,400", "292,320,296,400"},
        {400, true, 20, 500, 0, 100, "288,0,300,400", "292,0,296,20"}, {400, true, 20, 500, 480, 100, "288,0,300,400", "292,380,296,400"},
        {400, false, 20, 100, 0, 100, "288,0,300,400", ""}, {400, true, 0, 100, 0, 100, "288,0,300,400", ""},
        {400, true, 20, 20, 0, 100, "288,0,300,400", ""}, {10, true, 2, 100, 0, 100, "288,0,300,10", "292,0,296,10"},
        {600, true, 30, 100, 0, 150, "282,0,300,600", "288,0,294,120"}};
    for (const Bar& c : bars) {
        RECT client = {0, 0, 300, c.height}, track, thumb;
        FfComputeScrollBarRects(&client, c.hasBar, c.rowHeight, c.count, c.top, c.dpi, &track, &thumb);
        EXPECT_EQ(Str(track) + " " + (IsRectEmpty(&thumb) ? "" : Str(thumb)), std::string(c.track) + " " + c.thumb) << c.count << "/" << c.top;
    }
    struct Wheel { int top, delta, expected; } wheels[] = {{10, 120, 7}, {2, 120, 0}, {10, 60, 10}, {10, -119, 10}, {79, -120, 80}, {0, -240, 6}, {78, -360, 80}, {50, 250, 44}};
    for (const Wheel& c : wheels) EXPECT_EQ(FfWheelNewTop(c.top, c.delta, 100, 20), c.expected) << c.top << " " << c.delta;
    EXPECT_EQ(FfWheelNewTop(0, -120, 5, 20), 0) << "fewer results than a page";
    RECT atTop = {292, 0, 296, 80}, middle = {292, 160, 296, 240}, none = {0, 0, 0, 0};
    struct Page { int top, y; const RECT* thumb; int expected; } pages[] = {
        {0, 200, &atTop, 20}, {40, 100, &middle, 20}, {40, 300, &middle, 60}, {70, 300, &middle, 80}, {10, 100, &middle, 0}, {30, 300, &none, 10}};
    for (const Page& c : pages) EXPECT_EQ(FfPageClickNewTop(c.top, c.y, c.thumb, 100, 20), c.expected) << c.top << " " << c.y;
    RECT track = {288, 0, 300, 400};
    struct Drag { int y, expected; } drags[] = {{10, 0}, {330, 80}, {1000, 80}, {-50, 0}, {170, 40}, {171, 40}, {172, 41}};
    for (const Drag& c : drags) EXPECT_EQ(FfDragNewTop(c.y, 10, &track, 80, 80), c.expected) << c.y;
    EXPECT_EQ(FfDragNewTop(200, 0, &track, 400, 80), 0);
}

// What a drop target reads from a drag: every path whole (any characters, any length) as CF_HDROP and
// the preferred effect, copy or with Shift move; nothing else is offered.
TEST(ListRules, DraggedResultsAreTheFilesAndTheirPreferredEffect)
{
    const std::wstring longPath = L"C:\\" + std::wstring(600, L'd') + L"\\f.txt";
    struct Case { std::vector<std::wstring> paths; bool shift; DWORD effect; } cases[] = {
        {{L"C:\\a\\zebra.txt"}, false, DROPEFFECT_COPY},
        {{L"C:\\a\\zebra.txt", L"D:\\\u0141\u00F3d\u017A raport.txt", longPath, L"C:\\a\\dir"}, true, DROPEFFECT_MOVE}};
    const UINT preferred = RegisterClipboardFormatW(L"Preferred DropEffect");
    for (const Case& c : cases) {
        std::vector<const wchar_t*> paths;
        for (const std::wstring& p : c.paths) paths.push_back(p.c_str());
        IDataObject* data = FfCreateDropDataObject(paths.data(), (int)paths.size(), FfPreferredDropEffect(c.shift));
        ASSERT_TRUE(data);
        FORMATETC drop = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, effect = drop, text = drop;
        effect.cfFormat = (CLIPFORMAT)preferred, text.cfFormat = CF_UNICODETEXT;
        STGMEDIUM medium = {};
        ASSERT_EQ(S_OK, data->GetData(&drop, &medium));
        HDROP files = (HDROP)GlobalLock(medium.hGlobal);
        std::vector<std::wstring> got;
        for (UINT i = 0; i < DragQueryFileW(files, 0xFFFFFFFF, nullptr, 0); i++) {
            wchar_t path[1024] = L"";
            DragQueryFileW(files, i, path, 1024);
            got.push_back(path);
        }
        GlobalUnlock(medium.hGlobal), ReleaseStgMedium(&medium);
        EXPECT_EQ(c.paths, got);
        ASSERT_EQ(S_OK, data->GetData(&effect, &medium));
        EXPECT_EQ(c.effect, *(DWORD*)GlobalLock(medium.hGlobal));
        GlobalUnlock(medium.hGlobal), ReleaseStgMedium(&medium);
        EXPECT_NE(S_OK, data->QueryGetData(&text));
        IEnumFORMATETC* formats = nullptr;
        FORMATETC listed[3];
        ULONG n = 0;
        ASSERT_EQ(S_OK, data->EnumFormatEtc(DATADIR_GET, &formats));
        formats->Next(3, listed, &n), formats->Release();
        EXPECT_TRUE(n == 2 && listed[0].cfFormat == CF_HDROP && listed[1].cfFormat == preferred);
        EXPECT_EQ(0u, data->Release());
    }
    EXPECT_EQ(nullptr, FfCreateDropDataObject(nullptr, 0, DROPEFFECT_COPY));
    const wchar_t* one[] = {L"ab"};
    BYTE block[64];
    memset(block, 0x5A, sizeof block);
    int size = FfBuildDropFiles(one, 1, block, 10);  // no room: only the size
    EXPECT_TRUE(size == (int)sizeof(DROPFILES) + 8 && block[0] == 0x5A);
}

TEST(ListRules, SelectionMovesAndStatusLine)
{
    struct Move { int current, count; bool down; int expected; } moves[] = {{-1, 5, true, 0}, {-1, 5, false, 0}, {0, 5, true, 1},
        {4, 5, true, 4}, {0, 5, false, 0}, {3, 5, false, 2}, {10, 5, false, 3}, {10, 5, true, 4}, {0, 0, true, -1}};
    for (const Move& c : moves) EXPECT_EQ(FfNextSelectedIndex(c.current, c.count, c.down), c.expected) << c.current << "/" << c.count;
    // The engine window's keys toggle the match options, with Ctrl alone; their characters are swallowed.
    struct Toggle { WPARAM key; bool ctrl, shift, alt; int option; } toggles[] = {{'I', true, false, false, FF_MATCH_CASE},
        {'B', true, false, false, FF_MATCH_WHOLE_WORD}, {'U', true, false, false, FF_MATCH_PATH}, {'R', true, false, false, FF_MATCH_REGEX},
        {'I', false, false, false, -1}, {'R', true, true, false, -1}, {'U', true, false, true, -1}, {'C', true, false, false, -1}};
    for (const Toggle& c : toggles) EXPECT_EQ(c.option, FfMatchOptionForKey(c.key, c.ctrl, c.shift, c.alt)) << (char)c.key;
    for (WPARAM c = 0; c < 128; c++) EXPECT_EQ(c == 9 || c == 2 || c == 21 || c == 18, FfIsMatchOptionChar(c)) << c;

    struct Status { int state, files, folders; DWORD totalFiles, totalFolders; bool searched; const wchar_t* text; } states[] = {
        {FF_ENGINE_NOT_RUNNING, 0, 0, 0, 0, false, L"Everything is not running - start it to search"},
        {FF_ENGINE_TOO_OLD, 0, 0, 0, 0, true, L"Everything is too old - a newer version is needed"},
        {FF_ENGINE_LOADING, 0, 0, 0, 0, true, L"Everything is loading its index..."},
        {FF_ENGINE_NOT_ANSWERING, 0, 0, 0, 0, true, L"Everything did not answer"},
        {FF_ENGINE_LOADING, 0, 0, 0, 0, false, L""}, {FF_ENGINE_ANSWERED, 3, 0, 3, 0, false, L""},
        {FF_ENGINE_ANSWERED, 0, 0, 0, 0, true, L"No results"}, {FF_ENGINE_ANSWERED, 1, 0, 1, 0, true, L"1 file"},
        {FF_ENGINE_ANSWERED, 0, 1, 0, 1, true, L"1 folder"},
        {FF_ENGINE_ANSWERED, 3, 2, 3, 2, true, L"3 files, 2 folders"},
        {FF_ENGINE_ANSWERED, 200, 12, 14532, 12, true, L"200 of 14,532 files, 12 folders"},
        {FF_ENGINE_ANSWERED, 200, 300, 200, 1234567, true, L"200 files, 300 of 1,234,567 folders"},
        {FF_ENGINE_ANSWERED, 0, 0, 4000000000u, 0, true, L"0 of 4,000,000,000 files"},
        {FF_ENGINE_ANSWERED, 999, 1000, 5, 0, true, L"999 files, 1,000 folders"}, {FF_ENGINE_ANSWERED, -4, 0, 0, 0, true, L"No results"}};
    wchar_t text[FF_STATUS_TEXT_MAX];
    for (const Status& c : states) {
        FfComposeStatusText(c.state, c.files, c.folders, c.totalFiles, c.totalFolders, c.searched, text, FF_STATUS_TEXT_MAX);
        EXPECT_STREQ(c.text, text);
    }
    EXPECT_EQ(7, FfComposeStatusText(FF_ENGINE_ANSWERED, 200, 12, 14532, 12, true, text, 8));
    EXPECT_STREQ(L"200 of ", text);
    // A column sort with more at the engine says what it covers.
    struct Note { bool sorted; int loaded; bool more; const wchar_t *before, *after; } notes[] = {
        {true, 1412, true, L"1,400 of 14,532 files, 12 folders", L"1,400 of 14,532 files, 12 folders - sorted: the 1,412 loaded"},
        {true, 412, false, L"400 files, 12 folders", L"400 files, 12 folders"}, {false, 412, true, L"400 of 900 files", L"400 of 900 files"},
        {true, 0, true, L"", L""}};
    for (const Note& c : notes) {
        wcscpy(text, c.before);
        FfAppendSortNote(text, FF_STATUS_TEXT_MAX, c.sorted, c.loaded, c.more);
        EXPECT_STREQ(c.after, text);
    }
}

}  // namespace
