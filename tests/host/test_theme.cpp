// Theme choice, the host's font and the overlay metrics.
#include <gtest/gtest.h>

#include "core/core.h"
#include "host/host.h"
#include "host_fixture.h"
#include "overlay/overlay.h"

// A host ini in a fresh folder, found through COMMANDER_INI; user.ini beside it for redirects.
struct HostIni {
    HostIni(const char* contents, const char* userIni = "")
        : dir(FfTestMakeTempDir(L"theme")), env(dir + L"\\wincmd.ini")
    {
        EXPECT_TRUE(FfTestWriteBytes(dir + L"\\wincmd.ini", contents));
        EXPECT_TRUE(FfTestWriteBytes(dir + L"\\user.ini", userIni));
    }
    std::wstring dir;
    FfTestHostEnv env;
};

TEST(HostTheme, DecisionTable)
{
    struct Case {
        int themeMode, hostDark, windowsDark;
        bool dark;
    } cases[] = {
        {1, 0, 0, true},   {2, 1, 1, false},                     // the setting wins
        {0, 0, 1, false},  {0, 1, 0, true},                      // then the host
        {0, -1, 0, false}, {0, -1, 1, true}, {0, -1, -1, true},  // then Windows; unreadable: dark
        {7, -1, 0, false},                                       // unknown mode: Auto
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.dark, FfChooseDarkTheme(c.themeMode, c.hostDark, c.windowsDark))
            << c.themeMode << "/" << c.hostDark << "/" << c.windowsDark;
}

TEST(HostTheme, HostDarkModeAndWindowsSetting)
{
    struct Case {
        const char* ini;
        int expected;
    } cases[] = {
        {"[Configuration]\r\nFoo=1\r\n", 0},  {"[Configuration]\r\nDarkMode=0\r\n", 0},
        {"[Configuration]\r\nDarkMode=1\r\n", -1}, {"[Configuration]\r\nDarkMode=2\r\n", 1},
        {"[Configuration]\r\nDarkMode=3\r\n", -1}, {"[Layout]\r\nDarkMode=2\r\n", 0},
        {"[Configuration]\r\nRedirectSection=user.ini\r\nDarkMode=0\r\n", 1},
    };
    for (const Case& c : cases) {
        HostIni ini(c.ini, "[Configuration]\r\nDarkMode=2\r\n");
        EXPECT_EQ(c.expected, FfQueryHostDarkMode()) << c.ini;
    }

    FfTestPrivateKey key(L"personalize");
    const wchar_t* sub = key.subKey.c_str();
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(sub));  // no key
    FfTestRegistryValue value(key.subKey, L"AppsUseLightTheme");
    unsigned long long wide = 0;
    ASSERT_TRUE(value.SetNumber(0));
    EXPECT_EQ(1, FfQueryWindowsAppsDarkAt(sub));
    ASSERT_TRUE(value.SetNumber(7));
    EXPECT_EQ(0, FfQueryWindowsAppsDarkAt(sub));
    ASSERT_TRUE(value.SetText(L"0"));
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(sub));
    ASSERT_TRUE(value.Set(REG_QWORD, &wide, sizeof(wide)));
    EXPECT_EQ(-1, FfQueryWindowsAppsDarkAt(sub));
}

TEST(HostTheme, HostFontRules)
{
    struct Case {
        const char* ini;
        int result;
        const wchar_t* face;
        int size, weight;
    } cases[] = {
        {"FontName=Tahoma\r\nFontSize=12\r\nFontWeight=300", 1, L"Tahoma", 12, 300},
        {"FontName=Tahoma\r\nFontSize=4", 1, L"Tahoma", 11, 400},
        {"FontName=Tahoma\r\nFontSize=6", 1, L"Tahoma", 6, 400},
        {"FontName=Arial\r\nFontWeight=1200", 1, L"Arial", 11, 400},
        {"FontName=Arial\r\nFontWeight=99", 1, L"Arial", 11, 400},
        {"FontName=Arial\r\nFontWeight=1000", 1, L"Arial", 11, 1000},
        {"FontName=Lucida Sans Unicode\r\nFontWeight=100", 1, L"Lucida ", 11, 100},  // face cut to 8
        {"FontSize=14\r\nFontWeight=700", 0, L"keep", 99, 99},  // no name: size and weight not taken
        {"FontName=\r\nFontSize=14", 0, L"keep", 99, 99},
        {"RedirectSection=user.ini\r\nFontName=Tahoma", 1, L"Verdana", 9, 600},
    };
    for (const Case& c : cases) {
        std::string text = std::string("[AllResolutions]\r\n") + c.ini + "\r\n";
        HostIni ini(text.c_str(), "[AllResolutions]\r\nFontName=Verdana\r\nFontSize=9\r\nFontWeight=600\r\n");
        wchar_t face[9] = L"keep";
        int size = 99, weight = 99;
        EXPECT_EQ(c.result, FfReadHostFont(face, 8, &size, &weight)) << c.ini;
        EXPECT_STREQ(c.face, face) << c.ini;
        EXPECT_EQ(c.size, size) << c.ini;
        EXPECT_EQ(c.weight, weight) << c.ini;
    }
}

TEST(HostTheme, MetricsAt96And144Dpi)
{
    struct Case {
        int dpi, size, charHeight, scale, heightRequest, edit, row, searchArea, header;
    } cases[] = {
        {144, 11, 22, 150, -22, 28, 32, 37, 29},  // 16.5 rounds to 17: rows 17 + 15, headers 17 + 12
        {96, 11, 15, 100, -15, 19, 21, 25, 19},
        {72, 11, 11, 75, -11, 14, 16, 19, 14},    // 7.5 -> 8 and 4.5 -> 5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dpi);
        int scale = FfComputeDpiScale(c.dpi);
        EXPECT_EQ(c.scale, scale);
        EXPECT_EQ(c.heightRequest, FfFontHeightForSize(c.size, c.dpi));
        FfTheme t = {};
        FfComputeThemeMetrics(&t, c.size, c.charHeight, scale);
        EXPECT_EQ(c.edit, t.editHeight);
        EXPECT_EQ(c.row, t.rowHeight);
        EXPECT_EQ(c.searchArea, t.searchAreaHeight);
        EXPECT_EQ(c.header, t.headerHeight);
    }
    EXPECT_EQ(-8, FfScalePixels(-5, 150));  // halves away from zero below zero too
    EXPECT_EQ(700, FfBoldWeightFor(699));
    EXPECT_EQ(900, FfBoldWeightFor(700));
}

// Applying: the setting, the host's colours and font, new objects replacing the old, list repainted.
TEST(HostTheme, ApplyReplacesObjectsAndRepaintsTheList)
{
    HostIni ini("[Configuration]\r\nDarkMode=2\r\n[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=4\r\nFontWeight=700\r\n");
    HDC dc = GetDC(nullptr);
    int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(nullptr, dc);
    int savedMode = g_settings.themeMode;
    g_settings.themeMode = 2;  // Light, whatever the host says
    FfApplyTheme();
    EXPECT_EQ(RGB(240, 240, 240), g_theme.windowBackground);
    EXPECT_EQ(RGB(29, 78, 216), g_theme.highlight);
    EXPECT_EQ(1, g_theme.whiteOnAccent);
    EXPECT_EQ(MulDiv(dpi, 100, 96), g_theme.dpiScale);
    LOGFONTW lf = {}, bold = {};
    ASSERT_TRUE(GetObjectW(g_theme.font, sizeof(lf), &lf));
    ASSERT_TRUE(GetObjectW(g_theme.boldFont, sizeof(bold), &bold));
    EXPECT_STREQ(L"Tahoma", lf.lfFaceName);
    EXPECT_EQ(FfFontHeightForSize(11, dpi), lf.lfHeight);
    EXPECT_EQ(700, lf.lfWeight);
    EXPECT_EQ(900, bold.lfWeight);
    EXPECT_EQ(CLEARTYPE_QUALITY, lf.lfQuality);
    HGDIOBJ old[] = {g_theme.windowBackgroundBrush, g_theme.inputBackgroundBrush, g_theme.accentBrush,
                     g_theme.font, g_theme.boldFont};

    // Shown without activation: this test shares the display with the end-to-end tests, and a
    // window that takes the foreground would take their key presses away from the host.
    HWND list = CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50,
                                nullptr, nullptr, nullptr, nullptr);
    ShowWindow(list, SW_SHOWNA);
    HWND savedList = g_resultList;
    g_resultList = list;
    FfTestFlushEvents();
    ValidateRect(list, nullptr);
    g_settings.themeMode = 0;  // Auto: the host's DarkMode=2
    FfApplyOverlayTheme();
    RECT update;
    EXPECT_TRUE(GetUpdateRect(list, &update, FALSE));
    g_resultList = savedList;
    DestroyWindow(list);
    g_settings.themeMode = savedMode;

    EXPECT_EQ(RGB(42, 42, 42), g_theme.windowBackground);
    LOGBRUSH lb = {};
    ASSERT_TRUE(GetObjectW(g_theme.accentBrush, sizeof(lb), &lb));
    EXPECT_EQ(RGB(59, 130, 246), lb.lbColor);
    for (HGDIOBJ o : old)
        EXPECT_EQ(0u, GetObjectType(o));  // released, not leaked
}
