// Overlay placement arithmetic and the hotkey decision, checked without windows.
#include <gtest/gtest.h>
#include "app/app.h"
#include "overlay/overlay.h"

namespace {

struct Metrics { int dpi, edit, row, search, header; };
const Metrics k96 = {100, 24, 20, 32, 22};
const Metrics k144 = {150, 35, 30, 47, 33};

int Height(const RECT& r) { return r.bottom - r.top; }
int Width(const RECT& r) { return r.right - r.left; }

FfOverlayLayout Lay(const RECT& panel, int results, int maxRows, bool top, const Metrics& m)
{
    FfOverlayLayout lay;
    memset(&lay, 0x5A, sizeof(lay));
    FfComputeOverlayLayout(&panel, results, maxRows, top, m.dpi, m.edit, m.row, m.search, m.header, &lay);
    return lay;
}

TEST(OverlayLayout, HeightFollowsResultCountAndRowLimit)
{
    const RECT panel = {100, 200, 700, 900};
    struct Case { const char* name; int results, maxRows; int rows; bool scroll; };
    const Case cases[] = {
        {"no results", 0, 20, 0, false},
        {"three results", 3, 20, 3, false},
        {"exactly the limit", 20, 20, 20, false},
        {"more than the limit", 25, 20, 20, true},
        {"row limit 0 with results", 3, 0, 0, true},
        {"negative row limit shows no rows", 3, -5, 0, true},
        {"negative result count", -1, 20, 0, false},
    };
    for (const Case& c : cases) {
        for (const Metrics* m : {&k96, &k144}) {
            SCOPED_TRACE(testing::Message() << c.name << " dpi " << m->dpi);
            FfOverlayLayout lay = Lay(panel, c.results, c.maxRows, false, *m);
            int header = c.rows > 0 ? m->header : 0;
            EXPECT_EQ(c.rows, lay.visibleRows);
            EXPECT_EQ(c.scroll, lay.hasScrollBar);
            EXPECT_EQ(m->search + m->row + header + c.rows * m->row, Height(lay.window)) << "one status row";
            EXPECT_EQ(header, Height(lay.headerRect));
            EXPECT_EQ(c.rows * m->row, Height(lay.listRect));
            EXPECT_EQ(m->row, Height(lay.statusRect));
        }
    }
}

TEST(OverlayLayout, SearchBandLiesOnThePanelEdgeAndTheListGrowsAway)
{
    const RECT panel = {-1800, 50, -1000, 650};  // a monitor left of the primary one
    for (int results : {0, 3, 25}) {
        for (bool top : {false, true}) {
            SCOPED_TRACE(testing::Message() << results << " results, top " << top);
            FfOverlayLayout lay = Lay(panel, results, 20, top, k96);
            EXPECT_EQ(panel.left, lay.window.left);
            EXPECT_EQ(Width(panel), Width(lay.window));
            EXPECT_EQ(6, lay.statusRect.left);
            EXPECT_EQ(Width(panel) - 6, lay.statusRect.right);
            if (top) {
                EXPECT_EQ(panel.top, lay.window.top);
                EXPECT_EQ(k96.search, lay.statusRect.top);
                EXPECT_EQ(lay.statusRect.bottom, lay.headerRect.top);
                EXPECT_EQ(lay.headerRect.bottom, lay.listRect.top);
                EXPECT_LT(lay.searchFrame.bottom, k96.search + 1);
            } else {
                EXPECT_EQ(panel.bottom, lay.window.bottom);
                EXPECT_EQ(0, lay.headerRect.top);
                EXPECT_EQ(lay.headerRect.bottom, lay.listRect.top);
                EXPECT_EQ(lay.listRect.bottom, lay.statusRect.top);
                EXPECT_GE(lay.searchFrame.top, lay.statusRect.bottom);
            }
        }
    }
}

TEST(OverlayLayout, SearchRowControlsSitSideBySideInsideTheWidth)
{
    const RECT panel = {0, 0, 640, 480};
    struct Case { const Metrics* m; int pad, filterW, closeW, rowTop; };
    const Case cases[] = {{&k96, 4, 112, 24, 3}, {&k144, 6, 168, 36, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dpi " << c.m->dpi);
        FfOverlayLayout lay = Lay(panel, 0, 20, true, *c.m);
        int boxW = 640 - 3 * c.pad - (c.closeW + c.filterW + c.m->edit);
        EXPECT_EQ(c.pad + 1, lay.searchBox.left);
        EXPECT_EQ(c.rowTop + 1, lay.searchBox.top);
        EXPECT_EQ(boxW - 1, Width(lay.searchBox));
        EXPECT_EQ(c.m->edit - 2, Height(lay.searchBox));
        EXPECT_EQ(lay.searchBox.right, lay.clearButton.left) << "clear button right of the box";
        EXPECT_EQ(c.m->edit - 1, Width(lay.clearButton));
        RECT frame = {c.pad, c.rowTop, c.pad + boxW + c.m->edit, c.rowTop + c.m->edit};
        EXPECT_TRUE(EqualRect(&frame, &lay.searchFrame));
        EXPECT_EQ(frame.right + c.pad, lay.filterButton.left);
        EXPECT_EQ(c.filterW, Width(lay.filterButton));
        EXPECT_EQ(lay.filterButton.right + c.pad, lay.closeButton.left);
        EXPECT_EQ(640, lay.closeButton.right) << "close button reaches the right edge";
    }
}

TEST(OverlayLayout, HalfWindowFallbackTruncatesTowardZero)
{
    struct Case { RECT host; LONG right; } cases[] = {{{0, 0, 1001, 700}, 500}, {{-301, 10, 0, 500}, -151}, {{5, 5, 5, 5}, 5}};
    for (const Case& c : cases) {
        RECT out, expected = {c.host.left, c.host.top, c.right, c.host.bottom};
        FfHalfWindowRect(&c.host, &out);
        EXPECT_TRUE(EqualRect(&out, &expected)) << c.host.left << ".." << c.host.right;
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
        {"key-up passes", HC_ACTION, WM_KEYUP, 'F', L'F', true, true, host, false},
        {"system key-down is not tested", HC_ACTION, WM_SYSKEYDOWN, 'F', L'F', true, true, host, false},
        {"Ctrl only", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, false, host, false},
        {"Alt only", HC_ACTION, WM_KEYDOWN, 'F', L'F', false, true, host, false},
        {"no code action", 3, WM_KEYDOWN, 'F', L'F', true, true, host, false},
        {"class differs in case", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"ttotal_cmd", false},
        {"the overlay in front", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"FleetfinderOverlay", false},
        {"no foreground window", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"", false},
        {"longer class", HC_ACTION, WM_KEYDOWN, 'F', L'F', true, true, L"TTOTAL_CMD2", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.hit, FfIsHotkeyEvent(c.code, c.msg, c.vk, c.letter, c.ctrl, c.alt, c.cls)) << c.name;
}

}  // namespace
