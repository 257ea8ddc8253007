// The overlay's look: dark or light colours, brushes, the host's font and the sizes derived from them.
#include "host/host.h"
#include "core/core.h"
#include "core/text.h"

#include <wchar.h>

FfTheme g_theme = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,   // colours
    0,                              // whiteOnAccent
    nullptr, nullptr, nullptr,      // brushes
    nullptr, nullptr,               // fonts
    100,                            // dpiScale before the first application
    0, 0, 0, 0                      // metrics
};

static const wchar_t* const FF_PERSONALIZE_KEY =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

// The host writes DarkMode=0 (light), 1 (follow Windows) or 2 (dark); this marks "absent".
static const int FF_HOST_DARK_MODE_ABSENT = -999999;

static const int FF_DEFAULT_FONT_SIZE = 11;
static const int FF_DEFAULT_FONT_WEIGHT = 400;

bool FfChooseDarkTheme(int themeMode, int hostDark, int windowsDark)
{
    if (themeMode == 1)
        return true;
    if (themeMode == 2)
        return false;
    if (hostDark == 1)
        return true;
    if (hostDark == 0)
        return false;
    // Only an explicit "apps use the light theme" gives light; unreadable means dark.
    return windowsDark != 0;
}

void FfSetThemeColours(FfTheme* theme, bool dark)
{
    if (theme == nullptr)
        return;
    if (dark) {
        theme->windowBackground = RGB(42, 42, 42);
        theme->text = RGB(239, 246, 255);
        theme->secondaryText = RGB(148, 163, 184);
        theme->inputBackground = RGB(30, 30, 30);
        theme->inputText = RGB(239, 246, 255);
        theme->accent = RGB(59, 130, 246);
        theme->highlight = RGB(59, 130, 246);
        theme->border = RGB(80, 80, 80);
        theme->scrollTrack = RGB(23, 23, 23);
        theme->scrollThumb = RGB(149, 149, 149);
    } else {
        theme->windowBackground = RGB(240, 240, 240);
        theme->text = RGB(26, 26, 26);
        theme->secondaryText = RGB(75, 85, 99);
        theme->inputBackground = RGB(255, 255, 255);
        theme->inputText = RGB(26, 26, 26);
        theme->accent = RGB(29, 78, 216);
        theme->highlight = RGB(29, 78, 216);
        theme->border = RGB(176, 176, 176);
        theme->scrollTrack = RGB(226, 226, 226);
        theme->scrollThumb = RGB(154, 154, 154);
    }
    theme->whiteOnAccent = 1;
}

int FfComputeDpiScale(int logPixelsX)
{
    return MulDiv(logPixelsX, 100, 96);
}

int FfScalePixels(int n, int dpiScale)
{
    return MulDiv(n, dpiScale, 100);
}

int FfFontHeightForSize(int sizePoints, int logPixelsX)
{
    return -MulDiv(sizePoints, logPixelsX, 72);
}

int FfBoldWeightFor(int weight)
{
    return weight >= 700 ? 900 : 700;
}

void FfComputeThemeMetrics(FfTheme* theme, int fontSizePoints, int charHeight, int dpiScale)
{
    if (theme == nullptr)
        return;
    // The point size doubles as a 96-dpi pixel count for the row and header heights.
    theme->editHeight = charHeight + FfScalePixels(4, dpiScale);
    theme->rowHeight = FfScalePixels(fontSizePoints, dpiScale) + FfScalePixels(10, dpiScale);
    theme->searchAreaHeight = theme->editHeight + FfScalePixels(6, dpiScale);
    theme->headerHeight = FfScalePixels(fontSizePoints, dpiScale) + FfScalePixels(8, dpiScale);
}

int FfQueryHostDarkMode(void)
{
    wchar_t iniPath[FF_INI_PATH_MAX];
    wchar_t file[FF_INI_PATH_MAX];
    if (!FfFindWincmdIni(iniPath, FF_INI_PATH_MAX))
        return -1;
    FfResolveIniRedirect(iniPath, L"Configuration", file, FF_INI_PATH_MAX);
    int mode = (int)GetPrivateProfileIntW(L"Configuration", L"DarkMode", FF_HOST_DARK_MODE_ABSENT, file);
    if (mode == FF_HOST_DARK_MODE_ABSENT || mode == 0)
        return 0;
    if (mode == 2)
        return 1;
    return -1;
}

int FfQueryWindowsAppsDarkAt(const wchar_t* registrySubKey)
{
    HKEY key = nullptr;
    if (registrySubKey == nullptr
        || RegOpenKeyExW(HKEY_CURRENT_USER, registrySubKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    DWORD type = 0;
    DWORD value = 0;
    DWORD bytes = sizeof(value);
    LONG rc = RegQueryValueExW(key, L"AppsUseLightTheme", nullptr, &type, (BYTE*)&value, &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof(value))
        return -1;
    return value != 0 ? 0 : 1;
}

int FfQueryWindowsAppsDark(void)
{
    return FfQueryWindowsAppsDarkAt(FF_PERSONALIZE_KEY);
}

int FfReadHostFont(wchar_t* face, int cap, int* size, int* weight)
{
    wchar_t iniPath[FF_INI_PATH_MAX];
    wchar_t file[FF_INI_PATH_MAX];
    wchar_t name[FF_HOST_FONT_FACE_MAX];
    if (face == nullptr || cap <= 0 || size == nullptr)
        return 0;
    if (!FfFindWincmdIni(iniPath, FF_INI_PATH_MAX))
        return 0;
    FfResolveIniRedirect(iniPath, L"AllResolutions", file, FF_INI_PATH_MAX);
    GetPrivateProfileStringW(L"AllResolutions", L"FontName", L"", name, FF_HOST_FONT_FACE_MAX, file);
    if (name[0] == L'\0')
        return 0;
    int hostSize = (int)GetPrivateProfileIntW(L"AllResolutions", L"FontSize", -1, file);
    int hostWeight = (int)GetPrivateProfileIntW(L"AllResolutions", L"FontWeight", -1, file);

    FfCopyText(face, cap, name);
    *size = hostSize < 6 ? FF_DEFAULT_FONT_SIZE : hostSize;
    if (weight != nullptr)
        *weight = (hostWeight >= 100 && hostWeight <= 1000) ? hostWeight : FF_DEFAULT_FONT_WEIGHT;
    return 1;
}

// A brush of another colour (or none yet) is replaced; one of the same colour is kept, so the
// controls painting with it need no new handle.
static void FfKeepOrReplaceBrush(HBRUSH* brush, COLORREF colour)
{
    LOGBRUSH lb;
    if (*brush != nullptr && GetObjectW(*brush, sizeof lb, &lb) && lb.lbColor == colour)
        return;
    if (*brush != nullptr)
        DeleteObject(*brush);
    *brush = CreateSolidBrush(colour);
}

static HFONT FfCreateThemeFont(const wchar_t* face, int height, int weight)
{
    return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
}

// Character height of the font on the screen; the requested height when it cannot be measured.
static int FfMeasureFontHeight(HFONT font, int requestedHeight)
{
    int fallback = requestedHeight < 0 ? -requestedHeight : requestedHeight;
    if (font == nullptr)
        return fallback;
    HDC dc = GetDC(nullptr);
    if (dc == nullptr)
        return fallback;
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm;
    int height = GetTextMetricsW(dc, &tm) ? (int)tm.tmHeight : fallback;
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    return height;
}

static int FfReadScreenLogPixelsX(void)
{
    int logPixelsX = 0;
    HDC dc = GetDC(nullptr);
    if (dc != nullptr) {
        logPixelsX = GetDeviceCaps(dc, LOGPIXELSX);
        ReleaseDC(nullptr, dc);
    }
    // Without a screen answer, size as at 96 dpi rather than dividing by nothing.
    return logPixelsX > 0 ? logPixelsX : 96;
}

// What the theme's fonts were made from, and the character height measured then.
static wchar_t s_fontFace[FF_HOST_FONT_FACE_MAX];
static int s_fontHeight = 0;
static int s_fontWeight = 0;
static int s_fontCharHeight = 0;

bool FfApplyTheme(void)
{
    int hostDark = -1;
    int windowsDark = -1;
    int themeMode = g_settings.themeMode;
    if (themeMode != 1 && themeMode != 2) {
        hostDark = FfQueryHostDarkMode();
        if (hostDark < 0)
            windowsDark = FfQueryWindowsAppsDark();
    }
    FfSetThemeColours(&g_theme, FfChooseDarkTheme(themeMode, hostDark, windowsDark));
    FfKeepOrReplaceBrush(&g_theme.windowBackgroundBrush, g_theme.windowBackground);
    FfKeepOrReplaceBrush(&g_theme.inputBackgroundBrush, g_theme.inputBackground);
    FfKeepOrReplaceBrush(&g_theme.accentBrush, g_theme.accent);
    int logPixelsX = FfReadScreenLogPixelsX();
    g_theme.dpiScale = FfComputeDpiScale(logPixelsX);
    wchar_t face[FF_HOST_FONT_FACE_MAX];
    FfCopyText(face, FF_HOST_FONT_FACE_MAX, L"Segoe UI");
    int size = FF_DEFAULT_FONT_SIZE;
    int weight = FF_DEFAULT_FONT_WEIGHT;
    FfReadHostFont(face, FF_HOST_FONT_FACE_MAX, &size, &weight);
    int height = FfFontHeightForSize(size, logPixelsX);
    // Fonts made from the same face, height and weight are the same fonts: they are kept, and
    // the controls need not be handed new ones (which repaints each of them).
    bool newFonts = g_theme.font == nullptr || g_theme.boldFont == nullptr || height != s_fontHeight ||
                    weight != s_fontWeight || wcscmp(face, s_fontFace) != 0;
    if (newFonts) {
        if (g_theme.font != nullptr)
            DeleteObject(g_theme.font);
        if (g_theme.boldFont != nullptr)
            DeleteObject(g_theme.boldFont);
        g_theme.font = FfCreateThemeFont(face, height, weight);
        g_theme.boldFont = FfCreateThemeFont(face, height, FfBoldWeightFor(weight));
        FfCopyText(s_fontFace, FF_HOST_FONT_FACE_MAX, face);
        s_fontHeight = height;
        s_fontWeight = weight;
        s_fontCharHeight = FfMeasureFontHeight(g_theme.font, height);
    }
    FfComputeThemeMetrics(&g_theme, size, s_fontCharHeight, g_theme.dpiScale);
    return newFonts;
}
