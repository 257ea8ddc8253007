// Theme choice, the host's font and the overlay metrics.
#include <gtest/gtest.h>

#include "core/core.h"
#include "fftest.h"
#include "host/host.h"
#include "host_fixture.h"
#include "overlay/overlay.h"

namespace {

// A host ini in a fresh folder, with COMMANDER_INI pointing at it for the test's life.
struct HostIni {
    explicit HostIni(const char* contents)
        : dir(FfTestMakeTempDir(L"theme")), path(dir + L"\\wincmd.ini"), env(path)
    {
        EXPECT_TRUE(FfTestWriteBytes(path, contents));
    }
    std::wstring dir;
    std::wstring path;
    FfTestHostEnv env;
};

LOGFONTW FontOf(HFONT font)
{
    LOGFONTW lf = {};
    EXPECT_EQ((int)sizeof(lf), GetObjectW(font, sizeof(lf), &lf));
    return lf;
}

int ScreenLogPixelsX()
{
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    return dpi;
}

}  // namespace

TEST(HostTheme, DecisionTable)
{
    struct Case {
        int themeMode, hostDark, windowsDark;
        bool dark;
    } cases[] = {
        {1, 0, 0, true},    {1, -1, 0, true},   // setting Dark wins
        {2, 1, 1, false},   {2, -1, 1, false},  // setting Light wins
        {0, 0, 1, false},                       // host light (DarkMode absent or 0) beats Windows dark
        {0, 1, 0, true},                        // host DarkMode 2
        {0, -1, 0, false},                      // host leaves it to Windows: apps light
        {0, -1, 1, true},                       // Windows apps dark
        {0, -1, -1, true},                      // Windows value unreadable or no host file
        {7, -1, 0, false},                      // unknown mode behaves as Auto
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.themeMode << "/" << c.hostDark << "/" << c.windowsDark);
        EXPECT_EQ(c.dark, FfChooseDarkTheme(c.themeMode, c.hostDark, c.windowsDark));
    }
}

TEST(HostTheme, HostDarkModeValues)
{
    struct Case {
        const char* ini;
        int expected;
    } cases[] = {
        {"[Configuration]\r\nFoo=1\r\n", 0},                    // absent: light
        {"[Configuration]\r\nDarkMode=0\r\n", 0},
        {"[Configuration]\r\nDarkMode=1\r\n", -1},              // follow Windows
        {"[Configuration]\r\nDarkMode=2\r\n", 1},
        {"[Configuration]\r\nDarkMode=3\r\n", -1},
        {"[Configuration]\r\nDarkMode=-1\r\n", -1},
        {"[Layout]\r\nDarkMode=2\r\n", 0},                      // other section does not count
        {"[Configuration]\r\nRedirectSection=user.ini\r\nDarkMode=0\r\n", 1},  // read from user.ini
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        HostIni ini(c.ini);
        ASSERT_TRUE(FfTestWriteBytes(ini.dir + L"\\user.ini", "[Configuration]\r\nDarkMode=2\r\n"));
        EXPECT_EQ(c.expected, FfQueryHostDarkMode());
    }
}

TEST(HostTheme, WindowsAppsSetting)
{
    FfTestPrivateKey key(L"personalize");
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));  // key missing

    FfTestRegistryValue value(key.subKey, L"AppsUseLightTheme");
    ASSERT_TRUE(value.SetDword(0));
    EXPECT_EQ(1, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));
    ASSERT_TRUE(value.SetDword(1));
    EXPECT_EQ(0, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));
    ASSERT_TRUE(value.SetDword(7));
    EXPECT_EQ(0, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));
    ASSERT_TRUE(value.SetString(L"0"));
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));  // not a number
    unsigned long long wide = 0;
    ASSERT_TRUE(value.SetBytes(REG_QWORD, &wide, sizeof(wide)));
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));
    ASSERT_TRUE(value.Delete());
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(key.subKey.c_str()));  // value missing
}

TEST(HostTheme, HostFontRules)
{
    struct Case {
        const char* name;
        const char* ini;
        int result;
        const wchar_t* face;
        int size, weight;
    } cases[] = {
        {"full", "[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=12\r\nFontWeight=300\r\n", 1, L"Tahoma", 12, 300},
        {"small size", "[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=4\r\n", 1, L"Tahoma", 11, 400},
        {"size six kept", "[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=6\r\n", 1, L"Tahoma", 6, 400},
        {"weight too big", "[AllResolutions]\r\nFontName=Arial\r\nFontWeight=1200\r\n", 1, L"Arial", 11, 400},
        {"weight too small", "[AllResolutions]\r\nFontName=Arial\r\nFontWeight=99\r\n", 1, L"Arial", 11, 400},
        {"weight bounds", "[AllResolutions]\r\nFontName=Arial\r\nFontWeight=1000\r\n", 1, L"Arial", 11, 1000},
        {"weight lower bound", "[AllResolutions]\r\nFontName=Arial\r\nFontWeight=100\r\n", 1, L"Arial", 11, 100},
        {"size without name", "[AllResolutions]\r\nFontSize=14\r\nFontWeight=700\r\n", 0, L"keep", 99, 99},
        {"empty name", "[AllResolutions]\r\nFontName=\r\nFontSize=14\r\n", 0, L"keep", 99, 99},
        {"no section", "[Configuration]\r\nFontName=Tahoma\r\n", 0, L"keep", 99, 99},
        {"redirected", "[AllResolutions]\r\nRedirectSection=user.ini\r\nFontName=Tahoma\r\n", 1, L"Verdana", 9, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostIni ini(c.ini);
        ASSERT_TRUE(FfTestWriteBytes(ini.dir + L"\\user.ini",
                                     "[AllResolutions]\r\nFontName=Verdana\r\nFontSize=9\r\nFontWeight=600\r\n"));
        wchar_t face[FF_HOST_FONT_FACE_MAX] = L"keep";
        int size = 99, weight = 99;
        EXPECT_EQ(c.result, FfReadHostFont(face, FF_HOST_FONT_FACE_MAX, &size, &weight));
        EXPECT_STREQ(c.face, face);
        EXPECT_EQ(c.size, size);
        EXPECT_EQ(c.weight, weight);
    }
}

TEST(HostTheme, HostFontFaceCutAndWeightOptional)
{
    HostIni ini("[AllResolutions]\r\nFontName=Lucida Sans Unicode\r\nFontSize=10\r\n");
    wchar_t face[8];
    wmemset(face, L'#', 8);
    int size = 0;
    ASSERT_EQ(1, FfReadHostFont(face, 7, &size, nullptr));
    EXPECT_STREQ(L"Lucida", face);
    EXPECT_EQ(L'#', face[7]);
    EXPECT_EQ(10, size);
}

TEST(HostTheme, MetricsAt96And144Dpi)
{
    struct Case {
        int dpi, size, charHeight;
        int scale, heightRequest, editHeight, rowHeight, searchAreaHeight, headerHeight;
    } cases[] = {
        // 11 pt at 144 dpi: 16.5 rounds to 17, so rows are 17 + 15 and headers 17 + 12.
        {144, 11, 22, 150, -22, 22 + 6, 32, 22 + 6 + 9, 29},
        {96, 11, 15, 100, -15, 15 + 4, 21, 15 + 4 + 6, 19},
        {120, 9, 15, 125, -15, 15 + 5, 11 + 13, 15 + 5 + 8, 11 + 10},
        {72, 11, 11, 75, -11, 11 + 3, 8 + 8, 11 + 3 + 5, 8 + 6},  // 8.25 -> 8, 7.5 -> 8, 4.5 -> 5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi, size " << c.size);
        int scale = FfComputeDpiScale(c.dpi);
        EXPECT_EQ(c.scale, scale);
        EXPECT_EQ(c.heightRequest, FfFontHeightForSize(c.size, c.dpi));
        FfTheme theme = {};
        FfComputeThemeMetrics(&theme, c.size, c.charHeight, scale);
        EXPECT_EQ(c.editHeight, theme.editHeight);
        EXPECT_EQ(c.rowHeight, theme.rowHeight);
        EXPECT_EQ(c.searchAreaHeight, theme.searchAreaHeight);
        EXPECT_EQ(c.headerHeight, theme.headerHeight);
    }
    // Halves round away from zero, also below zero.
    EXPECT_EQ(8, FfScalePixels(5, 150));
    EXPECT_EQ(-8, FfScalePixels(-5, 150));
    EXPECT_EQ(700, FfBoldWeightFor(400));
    EXPECT_EQ(700, FfBoldWeightFor(699));
    EXPECT_EQ(900, FfBoldWeightFor(700));
}

TEST(HostTheme, ColourSets)
{
    FfTheme dark = {}, light = {};
    FfSetThemeColours(&dark, true);
    FfSetThemeColours(&light, false);
    EXPECT_EQ(RGB(42, 42, 42), dark.windowBackground);
    EXPECT_EQ(RGB(240, 240, 240), light.windowBackground);
    EXPECT_EQ(RGB(148, 163, 184), dark.secondaryText);
    EXPECT_EQ(RGB(154, 154, 154), light.scrollThumb);
    for (const FfTheme* t : {&dark, &light}) {
        EXPECT_EQ(t->text, t->inputText);
        EXPECT_EQ(t->accent, t->highlight);
        EXPECT_EQ(1, t->whiteOnAccent);
    }
}

// Applying the theme: the setting, the host's font, fresh brushes and fonts, list repainted.
TEST(HostTheme, ApplyBuildsObjectsFromHostFont)
{
    HostIni ini("[Configuration]\r\nDarkMode=2\r\n[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=4\r\nFontWeight=700\r\n");
    int dpi = ScreenLogPixelsX();
    int savedMode = g_settings.themeMode;

    g_settings.themeMode = 2;  // Light, whatever the host says
    FfApplyTheme();
    EXPECT_EQ(RGB(240, 240, 240), g_theme.windowBackground);
    EXPECT_EQ(MulDiv(dpi, 100, 96), g_theme.dpiScale);
    LOGFONTW lf = FontOf(g_theme.font);
    EXPECT_STREQ(L"Tahoma", lf.lfFaceName);
    EXPECT_EQ(FfFontHeightForSize(11, dpi), lf.lfHeight);
    EXPECT_EQ(700, lf.lfWeight);
    EXPECT_EQ(CLEARTYPE_QUALITY, lf.lfQuality);
    EXPECT_EQ(900, FontOf(g_theme.boldFont).lfWeight);
    EXPECT_EQ(FfScalePixels(11, g_theme.dpiScale) + FfScalePixels(10, g_theme.dpiScale), g_theme.rowHeight);
    EXPECT_GT(g_theme.editHeight, FfScalePixels(4, g_theme.dpiScale));
    LOGBRUSH lb = {};
    ASSERT_EQ((int)sizeof(lb), GetObjectW(g_theme.accentBrush, sizeof(lb), &lb));
    EXPECT_EQ(RGB(29, 78, 216), lb.lbColor);

    HBRUSH oldBrushes[3] = {g_theme.windowBackgroundBrush, g_theme.inputBackgroundBrush, g_theme.accentBrush};
    HFONT oldFonts[2] = {g_theme.font, g_theme.boldFont};

    // Auto: the host's DarkMode=2 decides; the list window is invalidated.
    HWND list = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(nullptr, list);
    HWND savedList = g_resultList;
    g_resultList = list;
    FfTestFlushEvents();
    ValidateRect(list, nullptr);
    g_settings.themeMode = 0;
    FfApplyTheme();
    RECT update = {};
    EXPECT_TRUE(GetUpdateRect(list, &update, FALSE));
    g_resultList = savedList;
    DestroyWindow(list);

    EXPECT_EQ(RGB(42, 42, 42), g_theme.windowBackground);
    ASSERT_EQ((int)sizeof(lb), GetObjectW(g_theme.accentBrush, sizeof(lb), &lb));
    EXPECT_EQ(RGB(59, 130, 246), lb.lbColor);
    // The previous objects were released, not leaked.
    for (HBRUSH b : oldBrushes)
        EXPECT_EQ(0u, GetObjectType(b));
    for (HFONT f : oldFonts)
        EXPECT_EQ(0u, GetObjectType(f));

    g_settings.themeMode = savedMode;
}

// With no host font the defaults apply.
TEST(HostTheme, ApplyDefaultsWithoutHostFont)
{
    HostIni ini("[AllResolutions]\r\nFontSize=30\r\n");
    int savedMode = g_settings.themeMode;
    g_settings.themeMode = 1;
    FfApplyTheme();
    EXPECT_EQ(RGB(42, 42, 42), g_theme.windowBackground);
    LOGFONTW lf = FontOf(g_theme.font);
    EXPECT_STREQ(L"Segoe UI", lf.lfFaceName);
    EXPECT_EQ(FfFontHeightForSize(11, ScreenLogPixelsX()), lf.lfHeight);
    EXPECT_EQ(400, lf.lfWeight);
    EXPECT_EQ(700, FontOf(g_theme.boldFont).lfWeight);
    g_settings.themeMode = savedMode;
}
