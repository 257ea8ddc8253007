// Pictures of the overlay with results in both themes at 96 and 144 dpi, written as PNG files.
#include <gtest/gtest.h>

#include "core/core.h"
#include "host/host.h"
#include "overlay/overlay.h"
#include "overlay_world.h"
#include "png_writer.h"
#include "search/search.h"

namespace {

std::wstring ShotPath(const std::wstring& name)
{
    std::wstring dir = FfTestBinaryDir() + L"\\screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\overlay-" + name + L".png";
}

// Opens the overlay with 25 results in the given theme, waits for its paint and saves it.
std::vector<unsigned char> TakeShot(const char* theme, const std::wstring& name)
{
    OverlayWorld& w = World();
    w.LoadSettings(std::string("ThemeMode=") + theme + "\r\n");
    FfCloseOverlay();
    // A wide host, so that the name column has room at 144 dpi too.
    const RECT wide = {20, 20, 1580, 900};
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    SendMessageW(w.host, HOST_MSG_MOVE, 0, (LPARAM)&wide);
    EXPECT_TRUE(OpenOverlay());
    EXPECT_TRUE(SearchAndWait(L"alpha"));
    EXPECT_EQ(25, g_resultCount);
    RedrawWindow(g_overlayWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    FfTestFlushEvents(300);
    RECT r = RectOf(g_overlayWindow);
    std::vector<unsigned char> rgb = FfTestCaptureScreen(r);
    FfTestWriteBytes(ShotPath(name), FfTestEncodePng(r.right - r.left, r.bottom - r.top, rgb));
    FfCloseOverlay();
    return rgb;
}

// Both themes at the screen's dpi: pictures that are not blank and that differ.
void ShootBothThemes(const std::wstring& dpiTag)
{
    std::vector<unsigned char> dark = TakeShot("Dark", L"dark-" + dpiTag);
    std::vector<unsigned char> light = TakeShot("Light", L"light-" + dpiTag);
    EXPECT_GT(FfTestCountColours(dark), 8u) << "dark picture is blank";
    EXPECT_GT(FfTestCountColours(light), 8u) << "light picture is blank";
    ASSERT_EQ(dark.size(), light.size());
    EXPECT_NE(dark, light) << "the themes look the same";
}

TEST(OverlayShots, DarkAndLightThemesAt96Dpi) { ShootBothThemes(L"96dpi"); }

// The 144-dpi pictures are taken by a second run of this program: the screen's dpi is read
// at process start.
TEST(OverlayShots, DarkAndLightThemesAt144Dpi)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    DWORD old = 0, size = sizeof(old), type = 0;
    bool hadOld = RegQueryValueExW(key, L"LogPixels", nullptr, &type, (BYTE*)&old, &size) == ERROR_SUCCESS;
    DWORD dpi = 144;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, (const BYTE*)&dpi, sizeof(dpi));

    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SetEnvironmentVariableW(L"FF_OVERLAY_SHOT_CHILD", L"1");
    FfTestProcess child;
    bool started = child.Start(std::wstring(L"\"") + self + L"\" --gtest_filter=OverlayShots.ChildAt144Dpi");
    if (started) FfTestWaitFor([&] { return !child.Running(); }, 60000);
    DWORD code = started ? child.Wait(1000) : 1;
    SetEnvironmentVariableW(L"FF_OVERLAY_SHOT_CHILD", nullptr);

    if (hadOld)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, (const BYTE*)&old, sizeof(old));
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);

    ASSERT_TRUE(started);
    EXPECT_EQ(0u, code) << "the 144-dpi run failed";
    EXPECT_GT(FfTestReadBytes(ShotPath(L"dark-144dpi")).size(), 1000u);
}

TEST(OverlayShots, ChildAt144Dpi)
{
    if (GetEnvironmentVariableW(L"FF_OVERLAY_SHOT_CHILD", nullptr, 0) == 0)
        GTEST_SKIP() << "run by DarkAndLightThemesAt144Dpi in a process of its own";
    ShootBothThemes(L"144dpi");
    EXPECT_EQ(150, g_theme.dpiScale) << "the screen's dpi was not 144";
}

}  // namespace
