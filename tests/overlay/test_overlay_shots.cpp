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
std::vector<unsigned char> TakeShot(const char* theme, const std::wstring& name, RECT* shotRect)
{
    OverlayWorld& w = World();
    w.LoadSettings(std::string("ThemeMode=") + theme + "\r\n");
    FfCloseOverlay();
    // A wide host, so that the name column has room at 144 dpi too.
    const RECT wide = {20, 20, 1580, 900};
    SendMessageW(w.host, HOST_MSG_FOCUS_PANEL, 0, 0);
    SendMessageW(w.host, HOST_MSG_MOVE, 0, (LPARAM)&wide);
    FfTestFlushEvents(100);
    FfOpenOverlay();
    size_t runs = w.CountLog("FfRunSearchNow: filter=");
    SetWindowTextW(g_searchBox, L"alpha");
    EXPECT_TRUE(FfTestWaitFor([&] { return g_resultCount == 25 && w.CountLog("FfRunSearchNow: filter=") > runs; }, 5000));
    RedrawWindow(g_overlayWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    FfTestFlushEvents(300);
    RECT r = w.OverlayRect();
    *shotRect = r;
    std::vector<unsigned char> rgb = FfTestCaptureScreen(r);
    FfTestWriteBytes(ShotPath(name), FfTestEncodePng(r.right - r.left, r.bottom - r.top, rgb));
    FfCloseOverlay();
    return rgb;
}

TEST(OverlayShots, DarkAndLightThemesAt96Dpi)
{
    RECT darkRect, lightRect;
    std::vector<unsigned char> dark = TakeShot("Dark", L"dark-96dpi", &darkRect);
    std::vector<unsigned char> light = TakeShot("Light", L"light-96dpi", &lightRect);
    ASSERT_FALSE(dark.empty());
    EXPECT_GT(FfTestCountColours(dark), 8u) << "dark picture is blank";
    EXPECT_GT(FfTestCountColours(light), 8u) << "light picture is blank";
    ASSERT_EQ(dark.size(), light.size());
    EXPECT_NE(dark, light) << "the themes look the same";
    EXPECT_TRUE(FfTestFileExists(ShotPath(L"dark-96dpi")));
}

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
    DWORD code = started ? STILL_ACTIVE : 1;
    if (started) FfTestWaitFor([&] { return !child.Running(); }, 60000);
    if (started) code = child.Wait(1000);
    SetEnvironmentVariableW(L"FF_OVERLAY_SHOT_CHILD", nullptr);

    if (hadOld)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, (const BYTE*)&old, sizeof(old));
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);

    ASSERT_TRUE(started);
    EXPECT_EQ(0u, code) << "the 144-dpi run failed";
    std::string dark = FfTestReadBytes(ShotPath(L"dark-144dpi"));
    std::string light = FfTestReadBytes(ShotPath(L"light-144dpi"));
    EXPECT_GT(dark.size(), 1000u);
    EXPECT_NE(dark, light);
}

TEST(OverlayShots, ChildAt144Dpi)
{
    if (GetEnvironmentVariableW(L"FF_OVERLAY_SHOT_CHILD", nullptr, 0) == 0)
        GTEST_SKIP() << "run by DarkAndLightThemesAt144Dpi in a process of its own";
    RECT darkRect, lightRect;
    std::vector<unsigned char> dark = TakeShot("Dark", L"dark-144dpi", &darkRect);
    std::vector<unsigned char> light = TakeShot("Light", L"light-144dpi", &lightRect);
    EXPECT_EQ(150, g_theme.dpiScale) << "the screen's dpi was not 144";
    EXPECT_GT(FfTestCountColours(dark), 8u);
    EXPECT_GT(FfTestCountColours(light), 8u);
    EXPECT_NE(dark, light);
}

}  // namespace
