// Fleetfinder.cfg: read once into g_settings, written with every default when missing.
#include "core/core.h"
#include "core/text.h"
#include <stdlib.h>
#include <wchar.h>

// Logging starts switched on so that module start-up is always traced; every other field
// starts at zero, which is also what exported calls see before the settings are loaded.
FfSettings g_settings = { {0}, 0, 0, 0, 0, 0, 0, {0}, {0}, 0, 1, 0, {0}, {0}, 0, {0, 0, 0, 0} };

const FfSortOrderName g_sortOrderNames[FF_SORT_ORDER_COUNT] = {
    {L"NameAscending", 1},          {L"NameDescending", 2},
    {L"PathAscending", 3},          {L"PathDescending", 4},
    {L"SizeAscending", 5},          {L"SizeDescending", 6},
    {L"ExtensionAscending", 7},     {L"ExtensionDescending", 8},
    {L"TypeNameAscending", 9},      {L"TypeNameDescending", 10},
    {L"DateCreatedAscending", 11},  {L"DateCreatedDescending", 12},
    {L"DateModifiedAscending", 13}, {L"DateModifiedDescending", 14},
    {L"AttributesAscending", 15},   {L"AttributesDescending", 16},
    {L"DateAccessedAscending", 23}, {L"DateAccessedDescending", 24},
};

wchar_t FfParseHotkeyLetter(const wchar_t* value)
{
    // Only the character after the last '+' counts: the modifiers are always Ctrl+Alt.
    const wchar_t* plus = value ? wcsrchr(value, L'+') : nullptr;
    wchar_t letter = plus ? plus[1] : L'F';
    if (letter >= L'a' && letter <= L'z') letter = (wchar_t)(letter - L'a' + L'A');
    return (letter >= L'A' && letter <= L'Z') ? letter : L'F';
}

int FfClampMaxResults(int value)
{
    if (value < 2) return 1;
    if (value > FF_MAX_RESULTS_LIMIT) return FF_MAX_RESULTS_LIMIT;
    return value;
}

int FfParsePosition(const wchar_t* value)
{
    return FfEqualTextI(value, L"Top") ? 1 : 0;
}

int FfParseThemeMode(const wchar_t* value)
{
    if (FfEqualTextI(value, L"Dark")) return FF_THEME_DARK;
    if (FfEqualTextI(value, L"Light")) return FF_THEME_LIGHT;
    return FF_THEME_AUTO;
}

int FfParseYesNo(const wchar_t* value)
{
    return FfEqualTextI(value, L"Y") ? 1 : 0;
}

DWORD FfLookupSortType(const wchar_t* name)
{
    for (int i = 0; i < FF_SORT_ORDER_COUNT; ++i) {
        if (FfEqualTextI(name, g_sortOrderNames[i].name)) return g_sortOrderNames[i].sortType;
    }
    return FF_SORT_TYPE_DEFAULT;
}

const wchar_t* FfLookupSortName(DWORD sortType)
{
    for (int i = 0; i < FF_SORT_ORDER_COUNT; ++i) {
        if (g_sortOrderNames[i].sortType == sortType) return g_sortOrderNames[i].name;
    }
    return nullptr;
}

// Users write pictures in the upper-case habit (DD.MM.YYYY, HH:MM:SS); the platform's
// formatting wants dd.MM.yyyy and HH:mm:ss, so only the letters that differ are rewritten.
void FfRewriteDatePicture(wchar_t* picture)
{
    if (!picture || FfEqualTextI(picture, L"Auto")) return;
    for (wchar_t* c = picture; *c; ++c) {
        if (*c == L'Y') *c = L'y';
        else if (*c == L'D') *c = L'd';
        else if (*c == L'm') *c = L'M';
    }
}

void FfRewriteTimePicture(wchar_t* picture)
{
    if (!picture || FfEqualTextI(picture, L"Auto")) return;
    for (wchar_t* c = picture; *c; ++c) {
        if (*c == L'M') *c = L'm';
        else if (*c == L'S') *c = L's';
        else if (*c == L'T') *c = L't';
    }
}

// Every key of Fleetfinder.cfg with its default, in the order a new file lists them: the same
// table gives what a new file holds and what a missing key reads as.
enum FfSettingKey {
    FF_KEY_POSITION, FF_KEY_HOTKEY, FF_KEY_MAX_VISIBLE_ROWS, FF_KEY_SEARCH_DELAY, FF_KEY_THEME_MODE,
    FF_KEY_DATE_FORMAT, FF_KEY_TIME_FORMAT, FF_KEY_LOGGING, FF_KEY_MAX_RESULTS, FF_KEY_ENGINE_INI,
    FF_KEY_ENGINE_DEBUG, FF_KEY_SORT_ORDER, FF_KEY_MATCH_CASE, FF_KEY_MATCH_WHOLE_WORD, FF_KEY_MATCH_PATH,
    FF_KEY_REGEX, FF_KEY_LAST_FILTER, FF_KEY_ALLOW_DELETE, FF_KEY_COUNT
};

struct FfSettingEntry {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* fallback;
};

static const FfSettingEntry g_settingEntries[FF_KEY_COUNT] = {
    {L"Display", L"Position", L"Bottom"},
    {L"Display", L"Hotkey", L"Ctrl+Alt+F"},
    {L"Display", L"MaxVisibleRows", L"20"},
    {L"Display", L"SearchDelayMs", L"100"},
    {L"Display", L"ThemeMode", L"Auto"},
    {L"Display", L"DateFormat", L"Auto"},
    {L"Display", L"TimeFormat", L"Auto"},
    {L"Display", L"Logging", L"N"},
    {L"Everything", L"MaxResults", L"200"},
    {L"Everything", L"EverythingIniPath", L"Auto"},
    {L"Everything", L"EverythingDebug", L"N"},
    {L"Everything", L"SortOrder", L"DateModifiedDescending"},
    {L"Everything", L"MatchCase", L"N"},
    {L"Everything", L"MatchWholeWord", L"N"},
    {L"Everything", L"MatchPath", L"N"},
    {L"Everything", L"Regex", L"N"},
    {L"Filters", L"LastSelectedFilter", L""},
    {L"Safety", L"AllowDelete", L"N"},
};

// Without a path the platform would fall back to its own ini in the system folder.
static int FfReadIniInt(FfSettingKey key, const wchar_t* path)
{
    const FfSettingEntry& entry = g_settingEntries[key];
    int fallback = _wtoi(entry.fallback);
    if (!path[0]) return fallback;
    return (int)GetPrivateProfileIntW(entry.section, entry.key, fallback, path);
}

// Returns the length read; cap - 1 means the value may have been cut.
static int FfReadIniText(FfSettingKey key, wchar_t* out, int cap, const wchar_t* path)
{
    const FfSettingEntry& entry = g_settingEntries[key];
    if (!path[0]) return FfCopyText(out, cap, entry.fallback);
    out[0] = 0;
    DWORD length = GetPrivateProfileStringW(entry.section, entry.key, entry.fallback, out, (DWORD)cap, path);
    out[cap - 1] = 0;
    return (int)(length < (DWORD)cap ? length : (DWORD)cap - 1);
}

static void FfWriteDefaultSettings(const wchar_t* path)
{
    // The first write creates the file. Failures are ignored.
    for (const FfSettingEntry& entry : g_settingEntries)
        WritePrivateProfileStringW(entry.section, entry.key, entry.fallback, path);
}

void FfLoadSettingsFrom(const wchar_t* configPath)
{
    FfSettings& s = g_settings;
    FfCopyText(s.configPath, FF_PATH_CHARS, configPath);
    const wchar_t* path = s.configPath;
    wchar_t value[32];

    FfReadIniText(FF_KEY_POSITION, value, 16, path);
    s.positionTop = FfParsePosition(value);
    // The whole value: the letter is its last character, however many modifiers come before.
    wchar_t hotkey[FF_PATH_CHARS];
    int hotkeyLength = FfReadIniText(FF_KEY_HOTKEY, hotkey, FF_PATH_CHARS, path);
    s.hotkeyLetter = hotkeyLength < FF_PATH_CHARS - 1 ? FfParseHotkeyLetter(hotkey) : L'F';
    s.maxResults = FfClampMaxResults(FfReadIniInt(FF_KEY_MAX_RESULTS, path));
    // A negative row count or delay would give a negative list height or a timer that never
    // fires in practice; they read as 0 (no rows, search at once) instead.
    s.maxVisibleRows = FfReadIniInt(FF_KEY_MAX_VISIBLE_ROWS, path);
    if (s.maxVisibleRows < 0) s.maxVisibleRows = 0;
    s.searchDelayMs = FfReadIniInt(FF_KEY_SEARCH_DELAY, path);
    if (s.searchDelayMs < 0) s.searchDelayMs = 0;
    FfReadIniText(FF_KEY_THEME_MODE, value, 16, path);
    s.themeMode = FfParseThemeMode(value);
    FfReadIniText(FF_KEY_ENGINE_INI, s.everythingIniPath, FF_PATH_CHARS, path);
    FfReadIniText(FF_KEY_LAST_FILTER, s.lastSelectedFilter, FF_FILTER_NAME_CHARS, path);
    FfReadIniText(FF_KEY_ENGINE_DEBUG, value, 8, path);
    s.everythingDebug = FfParseYesNo(value);
    FfReadIniText(FF_KEY_LOGGING, value, 8, path);
    s.loggingEnabled = FfParseYesNo(value);
    FfReadIniText(FF_KEY_SORT_ORDER, value, 32, path);
    s.sortType = FfLookupSortType(value);
    FfReadIniText(FF_KEY_DATE_FORMAT, s.dateFormat, FF_PICTURE_CHARS, path);
    FfRewriteDatePicture(s.dateFormat);
    FfReadIniText(FF_KEY_TIME_FORMAT, s.timeFormat, FF_PICTURE_CHARS, path);
    FfRewriteTimePicture(s.timeFormat);
    FfReadIniText(FF_KEY_ALLOW_DELETE, value, 8, path);
    s.allowDelete = FfParseYesNo(value);
    for (int option = 0; option < FF_MATCH_OPTION_COUNT; option++) {
        FfReadIniText((FfSettingKey)(FF_KEY_MATCH_CASE + option), value, 8, path);
        s.matchOptions[option] = FfParseYesNo(value);
    }

    // An existing file is never completed: missing keys simply keep their defaults.
    if (path[0] && !FfPathExists(path)) FfWriteDefaultSettings(path);
}

void FfLoadSettings()
{
    // Without the module's name there is no file to read: every key takes its default.
    FfLoadSettingsFrom(g_configFilePath);
}

void FfLogSettingsSummary()
{
    const FfSettings& s = g_settings;
    FfLog(L"Config loaded from %s: Position=%d Hotkey=Ctrl+Alt+%c MaxResults=%d MaxVisibleRows=%d "
          L"SearchDelayMs=%d EverythingDebug=%d SortType=%lu AllowDelete=%d",
          s.configPath, s.positionTop, s.hotkeyLetter, s.maxResults, s.maxVisibleRows,
          s.searchDelayMs, s.everythingDebug, s.sortType, s.allowDelete);
}

void FfSaveLastFilterName(const wchar_t* name)
{
    FfCopyText(g_settings.lastSelectedFilter, FF_FILTER_NAME_CHARS, name);
    if (!g_settings.configPath[0]) return;  // never write a relative file name
    const FfSettingEntry& entry = g_settingEntries[FF_KEY_LAST_FILTER];
    WritePrivateProfileStringW(entry.section, entry.key, name, g_settings.configPath);
}

const wchar_t* FfMatchOptionKey(int option)
{
    if (option < 0 || option >= FF_MATCH_OPTION_COUNT) return L"";
    return g_settingEntries[FF_KEY_MATCH_CASE + option].key;
}

bool FfSaveMatchOption(int option, int on)
{
    if (option < 0 || option >= FF_MATCH_OPTION_COUNT) return false;
    g_settings.matchOptions[option] = on ? 1 : 0;
    if (!g_settings.configPath[0]) return false;  // never write a relative file name
    const FfSettingEntry& entry = g_settingEntries[FF_KEY_MATCH_CASE + option];
    bool written = WritePrivateProfileStringW(entry.section, entry.key, on ? L"Y" : L"N",
                                              g_settings.configPath) != FALSE;
    FfLog(L"FfSaveMatchOption: %s=%s written %s", entry.key, on ? L"Y" : L"N", written ? L"OK" : L"FAILED");
    return written;
}
