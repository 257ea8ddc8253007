// The host's and Windows' real registry values, changed for a moment and restored.
#include <gtest/gtest.h>

#include "core/core.h"
#include "host/host.h"
#include "host_fixture.h"

// The real key (the order of candidates is checked on a private key in test_ini.cpp).
TEST(HostRegistry, HostIniFileNameValue)
{
    std::wstring dir = FfTestMakeTempDir(L"reg_host");
    std::wstring regIni = dir + L"\\wincmd.ini";
    ASSERT_TRUE(FfTestWriteBytes(regIni, ""));
    FfTestHostEnv env(L"");
    FfTestRegistryValue reg(L"Software\\Ghisler\\Total Commander", L"IniFileName");
    wchar_t out[FF_INI_PATH_MAX];
    ASSERT_TRUE(reg.SetText(regIni));
    ASSERT_EQ(1, FfFindWincmdIni(out, FF_INI_PATH_MAX));
    EXPECT_EQ(regIni, std::wstring(out));
    ASSERT_TRUE(reg.SetNumber(5));  // a number is not a path
    EXPECT_EQ(0, FfFindWincmdIni(out, FF_INI_PATH_MAX));
}

// Auto theme with the real Personalize key: Windows decides only when the host defers.
TEST(HostRegistry, WindowsAppsSettingDecidesOnlyWhenTheHostDefers)
{
    std::wstring ini = FfTestMakeTempDir(L"reg_theme") + L"\\wincmd.ini";
    FfTestHostEnv env(ini);
    FfTestRegistryValue apps(L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", L"AppsUseLightTheme");
    int savedMode = g_settings.themeMode;
    g_settings.themeMode = 0;
    struct Case {
        const char* ini;
        int apps;  // -1: value missing
        COLORREF background;
    } cases[] = {
        {"[Configuration]\r\n", 0, RGB(240, 240, 240)},
        {"[Configuration]\r\nDarkMode=1\r\n", 0, RGB(42, 42, 42)},
        {"[Configuration]\r\nDarkMode=1\r\n", 1, RGB(240, 240, 240)},
        {"[Configuration]\r\nDarkMode=1\r\n", -1, RGB(42, 42, 42)},
        {"[Configuration]\r\nDarkMode=2\r\n", 1, RGB(42, 42, 42)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ini << c.apps);
        ASSERT_TRUE(FfTestWriteBytes(ini, c.ini));
        if (c.apps < 0)
            apps.Delete();
        else
            ASSERT_TRUE(apps.SetNumber((DWORD)c.apps));
        EXPECT_EQ(c.apps < 0 ? -1 : 1 - c.apps, FfQueryWindowsAppsDark());
        FfApplyTheme();
        EXPECT_EQ(c.background, g_theme.windowBackground);
    }
    g_settings.themeMode = savedMode;
}
