// Host configuration: finding the host's wincmd.ini, the overlay's theme and font, self-registration.
#pragma once
#include <windows.h>
#include "core/core.h"

// Buffer sizes used with the host's ini (characters, terminator included).
#define FF_INI_PATH_MAX 2048
#define FF_HOST_FONT_FACE_MAX 64
#define FF_INI_SECTION_NAME_MAX 64
#define FF_SHORTCUTS_SECTION_MAX 16384

// ---- Finding the host's ini (looked up anew at every use, never cached) ----

// Returns 1 and the full path of the host's wincmd.ini in out (cap characters), or 0 when none
// exists. Candidates in order: %COMMANDER_INI%, HKCU\Software\Ghisler\Total Commander
// IniFileName (string types only, used as stored), %APPDATA%\GHISLER\wincmd.ini,
// %COMMANDER_PATH%\wincmd.ini.
int FfFindWincmdIni(wchar_t* out, int cap);
// The same search with the registry value read from HKCU\<registrySubKey> instead of the host's
// key, so that tests can use a key nobody else reads.
int FfFindWincmdIniWithKey(const wchar_t* registrySubKey, wchar_t* out, int cap);
// Always yields in out the file that really holds the section: iniPath itself, or the target of
// the section's RedirectSection key (one level only).
void FfResolveIniRedirect(const wchar_t* iniPath, const wchar_t* section, wchar_t* out, int cap);

// ---- Theme and font ----

// Colours, GDI objects and metrics that all overlay painting uses; written only by FfApplyTheme.
struct FfTheme {
    COLORREF windowBackground;
    COLORREF text;
    COLORREF secondaryText;
    COLORREF inputBackground;
    COLORREF inputText;
    COLORREF accent;
    COLORREF highlight;
    COLORREF border;
    COLORREF scrollTrack;
    COLORREF scrollThumb;
    BYTE whiteOnAccent;             // text and marks on an accent fill are white when set
    HBRUSH windowBackgroundBrush;   // owned here, replaced when its colour changes
    HBRUSH inputBackgroundBrush;
    HBRUSH accentBrush;
    HFONT font;                     // owned here, replaced when face, height or weight change
    HFONT boldFont;
    int dpiScale;                   // horizontal dpi as a percentage of 96; 100 before first use
    int editHeight;
    int rowHeight;
    int searchAreaHeight;
    int headerHeight;
};
extern FfTheme g_theme;

// Recomputes colours, brushes, fonts, dpiScale and metrics from the host's settings; whoever
// draws with them repaints. A brush or font whose inputs did not change is kept (same handle).
// True when the fonts were made anew, so controls holding the old ones must be given these.
bool FfApplyTheme(void);
// Host's [Configuration] DarkMode: 0 light, 1 dark, -1 let Windows decide (also: no host file).
int FfQueryHostDarkMode(void);
// Windows AppsUseLightTheme: 0 light, 1 dark, -1 when it cannot be read.
int FfQueryWindowsAppsDark(void);
// The same read under HKCU\<registrySubKey> (tests use a key of their own).
int FfQueryWindowsAppsDarkAt(const wchar_t* registrySubKey);
// Returns 1 and the host's [AllResolutions] font (face cut to cap, size, weight when weight is
// not null); returns 0 and leaves the outputs untouched when the host names no font.
int FfReadHostFont(wchar_t* face, int cap, int* size, int* weight);

// Plain pieces of FfApplyTheme, callable without a screen.
// themeMode 1 dark, 2 light, else host (1/0/-1) then Windows (1/0/-1, unreadable = dark).
bool FfChooseDarkTheme(int themeMode, int hostDark, int windowsDark);
// Fills the ten colours and whiteOnAccent of the dark or light set.
void FfSetThemeColours(FfTheme* theme, bool dark);
// Horizontal logical pixels per inch as a percentage of 96.
int FfComputeDpiScale(int logPixelsX);
// n 96-dpi pixels scaled: MulDiv(n, dpiScale, 100).
int FfScalePixels(int n, int dpiScale);
// The negative height that asks for a character height of sizePoints at logPixelsX.
int FfFontHeightForSize(int sizePoints, int logPixelsX);
// Weight of the bold font for a chosen weight: 700, or 900 when the weight is already bold.
int FfBoldWeightFor(int weight);
// editHeight, rowHeight, searchAreaHeight and headerHeight from the font's point size, the
// measured character height and dpiScale.
void FfComputeThemeMetrics(FfTheme* theme, int fontSizePoints, int charHeight, int dpiScale);

// ---- Self-registration (run once at background-thread start, each step logs one line) ----

// [FileSystemPlugins] Fleetfinder = the library's full file name, when missing; in an ANSI file
// whose code page lacks a character of it, the short form, or nothing (logged) when none fits.
void FfSelfRegisterWfxPlugin(void);
// The text encoding of an ini file by its byte-order mark (which the platform's ini writer
// keeps); no mark or no file is ANSI.
enum FfIniEncoding { FF_INI_ANSI = 0, FF_INI_UTF16 = 1, FF_INI_UTF8 = 2 };
FfIniEncoding FfDetectIniEncoding(const wchar_t* file);
// True when every character of text has its own form in codePage (no default, no best fit).
bool FfTextFitsCodePage(const wchar_t* text, UINT codePage);
// The text to register for the library: modulePath when the file can hold it, else shortPath
// (empty or null: the system has none) when it can; false (write nothing) otherwise. codePage
// is the one an ANSI file is written in. out receives cap characters at most.
bool FfChooseRegisteredPath(const wchar_t* modulePath, const wchar_t* shortPath, FfIniEncoding encoding,
                            UINT codePage, wchar_t* out, int cap);
// Locates the ini and its [Shortcuts] file, prunes this plug-in's bindings to other letters
// (FfPruneStaleHotkeyShortcuts), then writes CA+<hotkeyLetter>=CD and its _params when the key
// is unbound. The background thread calls this one routine for the hotkey step.
void FfSelfRegisterHotkeyShortcut(void);
// Removes "CA+x"=CD pairs whose _params is this plug-in's folder, other than hotkeyKey, from the
// [Shortcuts] section of shortcutsFile.
void FfPruneStaleHotkeyShortcuts(const wchar_t* shortcutsFile, const wchar_t* hotkeyKey,
                                 const wchar_t* expectedFolder);
// [CustomFields_Fleetfinder]: the Name/Ext/Path column view, when Contents1 is missing.
void FfSelfRegisterCustomColumnsView(void);
