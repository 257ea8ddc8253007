// Plain rules of the result list: match marks, column and scroll bar geometry, scrolling, keys, texts.
#include <gtest/gtest.h>
#include <regex>
#include <string>

#include "../../src/overlay/list.h"
#include "../../src/bridge/bridge.h"
#include "../../src/core/core.h"
#include "../../src/search/search.h"
#include "fftest.h"

namespace {

std::string RectString(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
           "," + std::to_string(r.bottom);
}

TEST(ListMatchMarks, WordsAreMarkedWhereverTheyOccur)
{
    struct Case { const wchar_t *name, *query; const char* marks; } cases[] = {
        {L"Report_2026.pdf", L"rep 2026", "111000011110000"},
        {L"Report_2026.pdf", L"REP", "111000000000000"},
        {L"aaab", L"ab", "0011"},
        {L"aaab", L"aa", "1110"},                 // overlapping occurrences
        {L"ab", L"abc", "00"},                    // word longer than the name
        {L"a.txt", L"  \t txt  ", "00111"},       // runs of blanks and tabs separate words
        {L"a.txt", L"path:a", "00000"},           // engine syntax is taken literally
        {L"\u00C4rger", L"\u00E4 RGER", "01111"}, // only A-Z fold
        {L"abc", L"", "000"},
        {L"x y", L"x y", "101"},                  // the blank in the name is never a word
    };
    for (const Case& c : cases) {
        DWORD mask[FF_MATCH_MASK_MAX];
        int marked = FfMarkNameMatches(c.name, c.query, mask);
        std::string got;
        for (size_t i = 0; i < wcslen(c.name); i++) got += mask[i] ? '1' : '0';
        EXPECT_EQ(got, c.marks);
        EXPECT_EQ(marked, (int)std::count(got.begin(), got.end(), '1')) << c.marks;
    }
}

TEST(ListMatchMarks, LongNamesAreMarkedOnlyWithinTheMask)
{
    std::wstring name(1500, L'a');
    DWORD mask[FF_MATCH_MASK_MAX + 1];
    for (DWORD& m : mask) m = 7;  // sentinel: nothing past entry 1022 may be written
    EXPECT_EQ(FfMarkNameMatches(name.c_str(), L"a", mask), FF_MATCH_MASK_MAX - 1);
    EXPECT_EQ(mask[FF_MATCH_MASK_MAX - 1], 7u);
    EXPECT_EQ(mask[FF_MATCH_MASK_MAX], 7u);
    // A word reaching beyond the first 1023 characters cannot match there.
    std::wstring longName = name.substr(0, 1022) + L"b" + name;
    EXPECT_EQ(FfMarkNameMatches(longName.c_str(), L"ab", mask), 2);
    EXPECT_EQ(FfMarkNameMatches(name.c_str(), name.c_str(), mask), 0);
}

TEST(ListGeometry, ColumnRectangles)
{
    struct Case { int dpi, dateWidth, right; const char *folder, *size, *date; } cases[] = {
        {100, 0, 500, "218,10,302,30", "308,10,372,30", "378,10,496,30"},
        {100, 90, 500, "246,10,330,30", "336,10,400,30", "406,10,496,30"},
        {150, 0, 600, "177,10,303,30", "312,10,408,30", "417,10,594,30"},
        {100, -5, 500, "218,10,302,30", "308,10,372,30", "378,10,496,30"},
    };
    for (const Case& c : cases) {
        RECT folder, size, date;
        FfComputeColumnRects(10, c.right, 30, c.dpi, c.dateWidth, &folder, &size, &date);
        SCOPED_TRACE(testing::Message() << "dpi " << c.dpi << " width " << c.dateWidth);
        EXPECT_EQ(RectString(folder), c.folder);
        EXPECT_EQ(RectString(size), c.size);
        EXPECT_EQ(RectString(date), c.date);
    }
}

TEST(ListGeometry, HeaderClickPicksTheColumnUnderThePoint)
{
    RECT header = {0, 0, 500, 20};
    struct Case { int x, dpi, contentRight, column; const char* what; } cases[] = {
        {340, 100, 500, 1, "size"}, {308, 100, 500, 1, "size left edge"}, {371, 100, 500, 1, "size last"},
        {372, 100, 500, 0, "gap after size"}, {400, 100, 500, 2, "date"}, {497, 100, 500, 0, "margin right of date"},
        {250, 100, 500, 3, "folder"}, {305, 100, 500, 0, "gap folder/size"}, {21, 100, 500, 4, "icon"},
        {0, 100, 500, 4, "left edge"}, {22, 100, 500, 0, "name start"}, {32, 150, 500, 4, "icon at 150%"},
        {33, 150, 500, 0, "name at 150%"}, {490, 100, 488, 0, "under the scroll bar"},
        {375, 100, 488, 2, "date left edge shifted"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FfHeaderColumnFromPoint(&header, c.x, 5, c.contentRight, c.dpi, 0), c.column) << c.what;
}

TEST(ListGeometry, DateColumnTakesTheWidestDateWhileTheNameKeepsHalfTheList)
{
    // Besides name and date a row takes 196 at 100%, 294 at 150%.
    struct Case { int widest, listWidth, dpi, expected; } cases[] = {
        {0, 600, 100, 118}, {-3, 600, 100, 118}, {40, 600, 100, 60}, {100, 600, 100, 110},
        {200, 1000, 100, 210}, {300, 1000, 100, 304}, {300, 1001, 100, 304}, {200, 400, 100, 118},
        {10, 400, 100, 60}, {100, 600, 150, 115}, {200, 1000, 150, 206}, {300, 600, 150, 177},
    };
    for (const Case& c : cases) {
        int w = FfDateColumnWidthFor(c.widest, c.listWidth, c.dpi);
        EXPECT_EQ(w, c.expected) << c.widest << " in " << c.listWidth << " at " << c.dpi;
        RECT folder;
        FfComputeColumnRects(0, c.listWidth, 20, c.dpi, w, &folder, nullptr, nullptr);
        int name = folder.left - MulDiv(6, c.dpi, 100) - MulDiv(26, c.dpi, 100);
        if (w > MulDiv(118, c.dpi, 100)) {
            EXPECT_GE(2 * name, c.listWidth) << c.widest << " in " << c.listWidth;
        }
    }
}

// Every date shape the widest date is found among, in several fonts and pictures: the table of
// character widths gives each text the width the device context gives it.
TEST(ListDateWidths, TheCharacterTableMeasuresEveryDateShapeAsTheDeviceContext)
{
    struct Pictures { const wchar_t *date, *time; } pictures[] = {
        {L"Auto", L"Auto"}, {L"dddd, d. MMMM yyyy", L"hh:mm:ss tt"}, {L"yy-M-d", L"H:m"}, {L"MMM dd", L""},
    };
    struct Font { const wchar_t* face; int height, weight; bool italic; } fonts[] = {
        {L"Tahoma", -11, 400, false}, {L"Arial", -16, 700, false}, {L"Times New Roman", -19, 400, true},
    };
    HDC dc = CreateCompatibleDC(nullptr);
    for (const Font& f : fonts) {
        HFONT font = CreateFontW(f.height, 0, 0, 0, f.weight, f.italic, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, f.face);
        HGDIOBJ old = SelectObject(dc, font);
        for (const Pictures& p : pictures) {
            wcscpy(g_settings.dateFormat, p.date);
            wcscpy(g_settings.timeFormat, p.time);
            SCOPED_TRACE(testing::Message() << FfTestUtf8(f.face) << " " << FfTestUtf8(p.date) << " " << FfTestUtf8(p.time));
            int base = -1, widest[3] = {0, 0, 0}, shapes = 0, mismatches = 0;
            FILETIME modified;
            int group;
            for (int i = 0; FfDateShape(i, &modified, &group); i++, shapes++) {
                const wchar_t* text = FfFormatDateTime(modified);
                SIZE extent = {0, 0};
                GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
                if (FfTextWidthFromTable(font, text) != extent.cx && mismatches++ < 3)
                    ADD_FAILURE() << FfTestUtf8(text) << ": table " << FfTextWidthFromTable(font, text) << ", device context " << extent.cx;
                if (i == 0) base = extent.cx;
                widest[group] = std::max(widest[group], (int)extent.cx);
            }
            EXPECT_GT(shapes, 7 * 365);
            EXPECT_EQ(FfWidestDateWidth(font), FfWidestOfShapeGroups(base, widest, 3));
        }
        SelectObject(dc, old);
        DeleteObject(font);
    }
    DeleteDC(dc);
    wcscpy(g_settings.dateFormat, L"Auto");
    wcscpy(g_settings.timeFormat, L"Auto");
}

std::wstring HistoryText(const FfSearchHistory& h)
{
    std::wstring all;
    for (int i = 0; i < h.count; i++) all += (i ? L"|" : L"") + std::wstring(h.texts[i]);
    return all;
}

TEST(ListHistory, NewestFirstWithoutRepeatsAndAtMostFifty)
{
    static FfSearchHistory h;
    h.count = 0;
    for (const wchar_t* t : {L"one", L"two", L"one", L"  ", L"", L"three", L"a\r\nb"}) FfHistoryAdd(&h, t);
    EXPECT_EQ(HistoryText(h), L"a  b|three|one|two");
    for (int i = 0; i < 60; i++) FfHistoryAdd(&h, std::to_wstring(i).c_str());
    EXPECT_EQ(h.count, FF_HISTORY_MAX);
    EXPECT_STREQ(h.texts[0], L"59");
    EXPECT_STREQ(h.texts[49], L"10");
    FfHistoryAdd(&h, L"30");
    EXPECT_EQ(h.count, FF_HISTORY_MAX);
    EXPECT_STREQ(h.texts[0], L"30");
    EXPECT_STREQ(h.texts[1], L"59");
    EXPECT_STREQ(h.texts[49], L"10");
    // Walk: -1 is the typed text; both ends stop.
    struct Step { int position, count; bool older; int expected; } steps[] = {
        {-1, 3, true, 0}, {0, 3, true, 1}, {2, 3, true, 2}, {2, 3, false, 1}, {0, 3, false, -1},
        {-1, 3, false, -1}, {-1, 0, true, -1}, {7, 3, false, 1},
    };
    for (const Step& s : steps) EXPECT_EQ(FfHistoryStep(s.position, s.count, s.older), s.expected) << s.position;
}

TEST(ListHistory, FileLinesAreUtf8AndABrokenFileGivesNothing)
{
    static FfSearchHistory h;
    struct Case { std::string bytes; bool ok; const wchar_t* texts; } cases[] = {
        {"", true, L""},
        {"b\xC3\xA9ta\r\nalpha\r\n", true, L"b\u00E9ta|alpha"},
        {"\xEF\xBB\xBF" "x\n\ny\r\nx\r\n", true, L"x|y"},   // byte-order mark, blank line, repeat
        {"no end", true, L"no end"},
        {"ok\r\n\xFF\xFEz\r\n", false, L""},                   // not UTF-8
        {std::string("a\0b\r\n", 5), false, L""},             // NUL
        {std::string(600, 'x') + "\r\n", false, L""},         // longer than a search text
        {std::string(FF_HISTORY_FILE_MAX + 1, '\n'), false, L""},
    };
    for (const Case& c : cases) {
        h.count = 99;
        EXPECT_EQ(FfHistoryParse(&h, c.bytes.data(), (int)c.bytes.size()), c.ok) << c.bytes.substr(0, 20);
        EXPECT_EQ(HistoryText(h), c.texts) << c.bytes.substr(0, 20);
    }
    std::string many;
    for (int i = 0; i < 70; i++) many += std::to_string(i) + "\r\n";
    ASSERT_TRUE(FfHistoryParse(&h, many.data(), (int)many.size()));
    EXPECT_EQ(h.count, FF_HISTORY_MAX);
    EXPECT_STREQ(h.texts[49], L"49");
    // Written back as read, and a buffer too small is refused rather than cut.
    static char out[FF_HISTORY_FILE_MAX];
    int n = FfHistorySerialize(&h, out, FF_HISTORY_FILE_MAX);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(out, n), many.substr(0, many.find("50\r\n")));
    EXPECT_EQ(FfHistorySerialize(&h, out, 10), -1);
}

TEST(ListScrollBar, TrackAndThumb)
{
    // client 300 wide; no thumb is "".
    struct Case { int height; bool hasBar; int rowHeight, count, top, dpi; const char *track, *thumb; } cases[] = {
        {400, true, 20, 100, 0, 100, "288,0,300,400", "292,0,296,80"},
        {400, true, 20, 100, 80, 100, "288,0,300,400", "292,320,296,400"},
        {400, true, 20, 100, 40, 100, "288,0,300,400", "292,160,296,240"},
        {400, true, 20, 100, 500, 100, "288,0,300,400", "292,320,296,400"},
        {400, true, 20, 500, 0, 100, "288,0,300,400", "292,0,296,20"},  // min 20 sp
        {400, true, 20, 500, 480, 100, "288,0,300,400", "292,380,296,400"},
        {400, false, 20, 100, 0, 100, "288,0,300,400", ""},
        {400, true, 0, 100, 0, 100, "288,0,300,400", ""},
        {400, true, 20, 20, 0, 100, "288,0,300,400", ""},  // nothing to scroll
        {400, true, 20, 0, 0, 100, "288,0,300,400", ""},
        {10, true, 2, 100, 0, 100, "288,0,300,10", "292,0,296,10"},  // short track
        {600, true, 30, 100, 0, 150, "282,0,300,600", "288,0,294,120"},
    };
    for (const Case& c : cases) {
        RECT client = {0, 0, 300, c.height}, track, thumb;
        FfComputeScrollBarRects(&client, c.hasBar, c.rowHeight, c.count, c.top, c.dpi, &track, &thumb);
        SCOPED_TRACE(testing::Message() << "count " << c.count << " top " << c.top << " dpi " << c.dpi);
        EXPECT_EQ(RectString(track), c.track);
        EXPECT_EQ(IsRectEmpty(&thumb) ? "" : RectString(thumb), c.thumb);
    }
}

TEST(ListScrollBar, WheelPageClicksAndThumbDrag)
{
    struct Wheel { int top, delta, expected; } wheels[] = {
        {10, 120, 7}, {2, 120, 0}, {10, 60, 10}, {10, -119, 10}, {79, -120, 80},
        {0, -240, 6}, {78, -360, 80}, {50, 240, 44}, {50, 250, 44}, {0, 120, 0},
    };
    for (const Wheel& c : wheels)
        EXPECT_EQ(FfWheelNewTop(c.top, c.delta, 100, 20), c.expected) << "top " << c.top << " delta " << c.delta;
    EXPECT_EQ(FfWheelNewTop(0, -120, 5, 20), 0) << "fewer results than a page";

    RECT atTop = {292, 0, 296, 80}, middle = {292, 160, 296, 240}, none = {0, 0, 0, 0};
    struct Page { int top, y; const RECT* thumb; int expected; } pages[] = {
        {0, 200, &atTop, 20}, {40, 100, &middle, 20}, {40, 300, &middle, 60},
        {70, 300, &middle, 80}, {10, 100, &middle, 0}, {30, 300, &none, 10},
    };
    for (const Page& c : pages)
        EXPECT_EQ(FfPageClickNewTop(c.top, c.y, c.thumb, 100, 20), c.expected) << "top " << c.top << " y " << c.y;

    RECT track = {288, 0, 300, 400};
    struct Drag { int y, expected; } drags[] = {{10, 0}, {330, 80}, {1000, 80}, {-50, 0}, {170, 40}, {171, 40}, {172, 41}};
    for (const Drag& c : drags) EXPECT_EQ(FfDragNewTop(c.y, 10, &track, 80, 80), c.expected) << "y " << c.y;
    EXPECT_EQ(FfDragNewTop(200, 0, &track, 400, 80), 0);  // thumb fills the track
    EXPECT_EQ(FfDragNewTop(200, 0, &track, 80, 0), 0);
}

TEST(ListTooltip, FolderTextOfAResult)
{
    struct Case { const wchar_t* path; bool isFolder, ok; const wchar_t* text; } cases[] = {
        {L"C:\\Work\\Docs\\a.txt", false, true, L"C:\\Work\\Docs"},
        {L"C:\\Work\\Docs", true, true, L"C:\\Work\\Docs"},
        {L"C:\\a.txt", false, true, L"C:"},
        {L"\\\\server\\share\\a.txt", false, true, L"\\\\server\\share"},
        {L"a.txt", false, false, L""},
        {L"\\a.txt", false, false, L""},
        {L"", true, false, L""},
    };
    wchar_t out[FF_TOOLTIP_TEXT_MAX];
    for (const Case& c : cases) {
        EXPECT_EQ(FfBuildTipText(c.path, c.isFolder, out, FF_TOOLTIP_TEXT_MAX), c.ok);
        EXPECT_STREQ(out, c.text);
    }
    std::wstring longPath = L"C:\\" + std::wstring(3000, L'x') + L"\\f.txt";
    ASSERT_TRUE(FfBuildTipText(longPath.c_str(), false, out, FF_TOOLTIP_TEXT_MAX));
    EXPECT_EQ(wcslen(out), (size_t)FF_TOOLTIP_TEXT_MAX - 1);
}

TEST(ListKeys, WordDeletionStartAndSelectionMoves)
{
    struct Word { const wchar_t* text; int end, expected; } words[] = {
        {L"foo bar  ", 9, 4}, {L"foo ", 4, 0}, {L"foo", 3, 0}, {L"foo bar", 5, 4},
        {L"foo", 0, 0}, {L"foo bar", 50, 4}, {L"a\tb", 3, 2}, {L"   ", 3, 0}, {L"path:. x", 6, 0},
    };
    for (const Word& c : words) EXPECT_EQ(FfFindWordDeleteStart(c.text, c.end), c.expected) << "end " << c.end;

    struct Move { int current, count; bool down; int expected; } moves[] = {
        {-1, 5, true, 0}, {-1, 5, false, 0}, {0, 5, true, 1}, {4, 5, true, 4}, {0, 5, false, 0},
        {3, 5, false, 2}, {10, 5, false, 3}, {10, 5, true, 4}, {0, 0, true, -1}, {0, 1, true, 0},
    };
    for (const Move& c : moves)
        EXPECT_EQ(FfNextSelectedIndex(c.current, c.count, c.down), c.expected)
            << c.current << "/" << c.count << (c.down ? " down" : " up");
}

TEST(ListStatus, TextForEachEngineStateAndCount)
{
    struct Case { int state, files, folders; DWORD totalFiles, totalFolders; bool searched; const wchar_t* text; };
    const Case cases[] = {
        {FF_ENGINE_NOT_RUNNING, 0, 0, 0, 0, false, L"Everything is not running - start it to search"},
        {FF_ENGINE_TOO_OLD, 0, 0, 0, 0, true, L"Everything is too old - a newer version is needed"},
        {FF_ENGINE_LOADING, 0, 0, 0, 0, true, L"Everything is loading its index..."},
        {FF_ENGINE_NOT_ANSWERING, 0, 0, 0, 0, true, L"Everything did not answer"},
        {FF_ENGINE_LOADING, 0, 0, 0, 0, false, L""},
        {FF_ENGINE_ANSWERED, 3, 0, 3, 0, false, L""},
        {FF_ENGINE_ANSWERED, 0, 0, 0, 0, true, L"No results"},
        {FF_ENGINE_ANSWERED, 1, 0, 1, 0, true, L"1 file"},
        {FF_ENGINE_ANSWERED, 0, 1, 0, 1, true, L"1 folder"},
        {FF_ENGINE_ANSWERED, 3, 2, 3, 2, true, L"3 files, 2 folders"},
        {FF_ENGINE_ANSWERED, 200, 12, 14532, 12, true, L"200 of 14,532 files, 12 folders"},
        {FF_ENGINE_ANSWERED, 200, 300, 200, 1234567, true, L"200 files, 300 of 1,234,567 folders"},
        {FF_ENGINE_ANSWERED, 0, 0, 4000000000u, 0, true, L"0 of 4,000,000,000 files"},
        {FF_ENGINE_ANSWERED, 999, 1000, 5, 0, true, L"999 files, 1,000 folders"},
        {FF_ENGINE_ANSWERED, -4, 0, 0, 0, true, L"No results"},
    };
    for (const Case& c : cases) {
        wchar_t out[FF_STATUS_TEXT_MAX];
        FfComposeStatusText(c.state, c.files, c.folders, c.totalFiles, c.totalFolders, c.searched, out, FF_STATUS_TEXT_MAX);
        EXPECT_STREQ(c.text, out);
    }
    wchar_t small[8];
    EXPECT_EQ(7, FfComposeStatusText(FF_ENGINE_ANSWERED, 200, 12, 14532, 12, true, small, 8));
    EXPECT_STREQ(L"200 of ", small);
}

TEST(ListAbout, MenuEntryAndBoxText)
{
    wchar_t menu[64];
    FfBuildAboutMenuText(menu, 64);
    EXPECT_STREQ(menu, L"About Fleetfinder v1.2...");
    wchar_t text[320];
    FfBuildAboutText(text, 320, 2031);
    std::wstring t = text;
    std::wregex shape(L"Fleetfinder\n\nVersion: 1\\.2\nBuild: [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} "
                      L"[0-9]{2}:[0-9]{2}:[0-9]{2}\n\nCopyright \u00A9 2031 Fleetfinder contributors");
    EXPECT_TRUE(std::regex_match(t, shape)) << std::string(t.begin(), t.end());
    wchar_t small[12];
    FfBuildAboutText(small, 12, 2031);
    EXPECT_STREQ(small, L"Fleetfinder");
}

}  // namespace
