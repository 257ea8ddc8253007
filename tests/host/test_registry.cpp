// The host's and Windows' real registry values, changed for a moment and restored.
#include <gtest/gtest.h>

#include "core/core.h"
#include "fftest.h"
#include "host/host.h"
#include "host_fixture.h"

TEST(HostRegistry, HostIniFileNameValue)
{
    std::wstring dir = FfTestMakeTempDir(L"reg_host");
    std::wstring regIni = dir + L"\\wincmd.ini";
    ASSERT_TRUE(FfTestWriteBytes(regIni, ""));
    FfTestHostEnv env(L"");
    FfTestRegistryValue reg(L"Software\\Ghisler\\Total Commander", L"IniFileName");

    wchar_t out[FF_INI_PATH_MAX];
    ASSERT_TRUE(reg.SetString(regIni));
    ASSERT_EQ(1, FfFindWincmdIni(out, FF_INI_PATH_MAX));
    EXPECT_EQ(regIni, std::wstring(out));

    ASSERT_TRUE(reg.SetDword(5));  // a number is not a path
    EXPECT_EQ(0, FfFindWincmdIni(out, FF_INI_PATH_MAX));

    // The environment still wins over the registry.
    std::wstring envIni = dir + L"\\env.ini";
    ASSERT_TRUE(FfTestWriteBytes(envIni, ""));
    ASSERT_TRUE(reg.SetString(regIni));
    env.commanderIni.Set(envIni.c_str());
    ASSERT_EQ(1, FfFindWincmdIni(out, FF_INI_PATH_MAX));
    EXPECT_EQ(envIni, std::wstring(out));
}

// Auto theme against the real Personalize key: the host's silence means light, DarkMode=1 defers.
TEST(HostRegistry, WindowsAppsSettingDecidesOnlyWhenTheHostDefers)
{
    std::wstring dir = FfTestMakeTempDir(L"reg_theme");
    std::wstring ini = dir + L"\\wincmd.ini";
    FfTestHostEnv env(ini);
    FfTestRegistryValue apps(L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                             L"AppsUseLightTheme");
    int savedMode = g_settings.themeMode;
    g_settings.themeMode = 0;

    struct Case {
        const char* name;
        const char* ini;
        int apps;  // -1: value missing
        COLORREF background;
    } cases[] = {
        {"host silent, Windows dark", "[Configuration]\r\n", 0, RGB(240, 240, 240)},
        {"host defers, Windows dark", "[Configuration]\r\nDarkMode=1\r\n", 0, RGB(42, 42, 42)},
        {"host defers, Windows light", "[Configuration]\r\nDarkMode=1\r\n", 1, RGB(240, 240, 240)},
        {"host defers, value missing", "[Configuration]\r\nDarkMode=1\r\n", -1, RGB(42, 42, 42)},
        {"host dark, Windows light", "[Configuration]\r\nDarkMode=2\r\n", 1, RGB(42, 42, 42)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(FfTestWriteBytes(ini, c.ini));
        if (c.apps < 0)
            ASSERT_TRUE(apps.Delete());
        else
            ASSERT_TRUE(apps.SetDword((DWORD)c.apps));
        EXPECT_EQ(c.apps < 0 ? -1 : (c.apps ? 0 : 1), FfQueryWindowsAppsDark());
        FfApplyTheme();
        EXPECT_EQ(c.background, g_theme.windowBackground);
    }
    g_settings.themeMode = savedMode;
}
