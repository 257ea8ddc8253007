// Width of the widest date text the current pictures can produce, from a per-font table of
// character widths. The date column is sized from it once per font and picture, so a refill
// neither formats nor measures the dates of its results. The system's text drawing applies no
// kerning here, so a text is exactly as wide as the sum of its characters.
#include "overlay/list.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"
#include <string.h>

#define FF_CHAR_WIDTHS_EXTRA 512  // characters beyond ASCII a font's table holds (month names)

struct FfCharWidthTable {
    LOGFONTW font;                          // the font measured (handles are reused: compare this)
    bool valid;
    int ascii[128];                         // -1: not measured yet
    wchar_t extraChar[FF_CHAR_WIDTHS_EXTRA];
    int extraWidth[FF_CHAR_WIDTHS_EXTRA];
    int extraCount;
};

static FfCharWidthTable g_charWidths;
// What g_widestDate was measured with; the locale's own pictures count for "Auto".
static LOGFONTW g_widestDateFont;
static wchar_t g_widestDatePictures[4][FF_PICTURE_CHARS * 3];
static int g_widestDate = -1;  // -1: not measured for the key above

static void FfDescribeFont(HFONT font, LOGFONTW* described)
{
    memset(described, 0, sizeof *described);
    if (!font || !GetObjectW(font, sizeof *described, described)) memset(described, 0, sizeof *described);
}

static int* FfFindCharWidth(wchar_t c)
{
    if (c < 128) return &g_charWidths.ascii[c];
    for (int i = 0; i < g_charWidths.extraCount; i++)
        if (g_charWidths.extraChar[i] == c) return &g_charWidths.extraWidth[i];
    return nullptr;
}

// Makes the table the one of font; a table of another font is emptied.
static void FfUseCharWidthsOf(HFONT font)
{
    LOGFONTW described;
    FfDescribeFont(font, &described);
    if (g_charWidths.valid && memcmp(&described, &g_charWidths.font, sizeof described) == 0) return;
    g_charWidths.font = described;
    g_charWidths.valid = true;
    for (int i = 0; i < 128; i++) g_charWidths.ascii[i] = -1;
    g_charWidths.extraCount = 0;
}

// Width of text from the table, measuring (with dc, font selected) characters not seen yet.
// -1 when a character cannot be measured or the table is full.
static int FfTableWidth(HDC dc, const wchar_t* text)
{
    int total = 0;
    for (const wchar_t* p = text; *p; p++) {
        int* slot = FfFindCharWidth(*p);
        if (!slot || *slot < 0) {
            SIZE extent;
            if (!dc || !GetTextExtentPoint32W(dc, p, 1, &extent)) return -1;
            if (!slot) {
                if (g_charWidths.extraCount >= FF_CHAR_WIDTHS_EXTRA) return -1;
                g_charWidths.extraChar[g_charWidths.extraCount] = *p;
                slot = &g_charWidths.extraWidth[g_charWidths.extraCount++];
            }
            *slot = extent.cx;
        }
        total += *slot;
    }
    return total;
}

int FfTextWidthFromTable(HFONT font, const wchar_t* text)
{
    if (!text) return 0;
    FfUseCharWidthsOf(font);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = dc ? SelectObject(dc, font) : nullptr;
    int width = FfTableWidth(dc, text);
    if (dc) {
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    return width;
}

// Shapes, in three groups that vary independent fields of the text "date time": every
// calendar day of seven common years starting on each weekday and the leap day on each
// weekday (year, month, day, weekday); every hour (hour, AM/PM); every minute, with the
// seconds equal (minutes, seconds). Shape 0 starts every group, so the widest text is shape
// 0's width plus what each group's widest adds to it.
#define FF_DATE_SHAPE_DAYS (7 * 365 + 7)
#define FF_DATE_SHAPE_COUNT (FF_DATE_SHAPE_DAYS + 24 + 60)

// The common years 2017, 2018, 2019, 2021, 2022, 2025 and 2015 begin on the seven weekdays;
// the leap years 2000 to 2024 have their 29 February on the seven weekdays.
static const WORD g_shapeYears[7] = {2017, 2018, 2019, 2021, 2022, 2025, 2015};

static void FfDayOfYear(int year, int day, SYSTEMTIME* st)
{
    static const int monthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    while (month < 11 && day >= monthDays[month]) day -= monthDays[month++];
    st->wYear = (WORD)year;
    st->wMonth = (WORD)(month + 1);
    st->wDay = (WORD)(day + 1);
}

bool FfDateShape(int index, FILETIME* modified, int* group)
{
    if (index < 0 || index >= FF_DATE_SHAPE_COUNT) return false;
    SYSTEMTIME st;
    memset(&st, 0, sizeof st);
    st.wYear = 2017;
    st.wMonth = 1;
    st.wDay = 1;
    if (index < 7 * 365) {
        FfDayOfYear(g_shapeYears[index / 365], index % 365, &st);
        *group = 0;
    } else if (index < FF_DATE_SHAPE_DAYS) {
        st.wYear = (WORD)(2000 + 4 * (index - 7 * 365));
        st.wMonth = 2;
        st.wDay = 29;
        *group = 0;
    } else if (index < FF_DATE_SHAPE_DAYS + 24) {
        st.wHour = (WORD)(index - FF_DATE_SHAPE_DAYS);
        *group = 1;
    } else {
        st.wMinute = st.wSecond = (WORD)(index - FF_DATE_SHAPE_DAYS - 24);
        *group = 2;
    }
    // Through local time back to the file time FfFormatDateTime turns into these fields.
    FILETIME local;
    return SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, modified);
}

int FfWidestOfShapeGroups(int baseWidth, const int* groupWidest, int groups)
{
    int total = baseWidth;
    for (int g = 0; g < groups; g++)
        if (groupWidest[g] > baseWidth) total += groupWidest[g] - baseWidth;
    return total;
}

static int FfMeasureWidestDate(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return 0;
    HGDIOBJ old = SelectObject(dc, font);
    FfUseCharWidthsOf(font);
    int base = -1;
    int widest[3] = {0, 0, 0};
    for (int i = 0; i < FF_DATE_SHAPE_COUNT; i++) {
        FILETIME modified;
        int group = 0;
        if (!FfDateShape(i, &modified, &group)) continue;
        int width = FfTableWidth(dc, FfFormatDateTime(modified));
        if (width < 0) continue;
        if (i == 0) base = width;
        if (width > widest[group]) widest[group] = width;
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    if (base < 0) return widest[0];
    return FfWidestOfShapeGroups(base, widest, 3);
}

// The pictures a date text depends on: the settings' own, and the user's regional ones that
// stand in for "Auto" and may change while the host runs.
static void FfCurrentDatePictures(wchar_t pictures[4][FF_PICTURE_CHARS * 3])
{
    memset(pictures, 0, sizeof(wchar_t) * 4 * FF_PICTURE_CHARS * 3);
    FfCopyText(pictures[0], FF_PICTURE_CHARS * 3, g_settings.dateFormat);
    FfCopyText(pictures[1], FF_PICTURE_CHARS * 3, g_settings.timeFormat);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SSHORTDATE, pictures[2], FF_PICTURE_CHARS * 3);
    GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIMEFORMAT, pictures[3], FF_PICTURE_CHARS * 3);
}

int FfWidestDateWidth(HFONT font)
{
    LOGFONTW described;
    FfDescribeFont(font, &described);
    wchar_t pictures[4][FF_PICTURE_CHARS * 3];
    FfCurrentDatePictures(pictures);
    if (g_widestDate >= 0 && memcmp(&described, &g_widestDateFont, sizeof described) == 0 &&
        memcmp(pictures, g_widestDatePictures, sizeof pictures) == 0)
        return g_widestDate;
    g_widestDate = FfMeasureWidestDate(font);
    g_widestDateFont = described;
    memcpy(g_widestDatePictures, pictures, sizeof pictures);
    return g_widestDate;
}

int FfWidestSizeWidth(HFONT font)
{
    // Below 1024 of a unit at most four digits, a point and one more digit: each the widest digit.
    int digit = 0;
    for (wchar_t c = L'0'; c <= L'9'; c++) {
        wchar_t text[2] = {c, 0};
        int width = FfTextWidthFromTable(font, text);
        if (width > digit) digit = width;
    }
    static const wchar_t* const tails[] = {L" B", L". KB", L". MB", L". GB", L". TB"};
    int widest = 0;
    for (const wchar_t* tail : tails) {
        int width = FfTextWidthFromTable(font, tail);
        if (width < 0) continue;
        width += digit * (tail[1] == L'B' ? 4 : 5);
        if (width > widest) widest = width;
    }
    return widest;
}
