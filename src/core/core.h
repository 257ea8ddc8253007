// Plug-in core: module start-up, the settings record, the log and the exception recorder.
#pragma once
#include <windows.h>

// The product's name, as the host, the user and every file of it spell it.
#define FF_PRODUCT_NAME L"Fleetfinder"
#define FF_PRODUCT_NAME_A "Fleetfinder"

// Private thread message posted to the background thread (g_hookThreadId; no window, both
// parameters 0) when the host has just entered the plug-in's folder after a cold load.
#define WM_FF_AUTOOPEN_OVERLAY (WM_USER + 300)

#define FF_PATH_CHARS 2048            // configPath, everythingIniPath, the log path, module names
#define FF_FILTER_NAME_CHARS 128      // lastSelectedFilter
#define FF_PICTURE_CHARS 32           // dateFormat, timeFormat
#define FF_LOG_LINE_CHARS 1024        // one formatted log line, terminator included
#define FF_LOG_UTF8_BYTES 1198        // UTF-8 form of one log line, terminator included
#define FF_EXCEPTION_LINE_CHARS 700   // one exception record
#define FF_MAX_RESULTS_LIMIT 500      // upper bound of maxResults
#define FF_SORT_TYPE_DEFAULT 14       // DateModifiedDescending: also what an unknown name gives
#define FF_SORT_ORDER_COUNT 18

enum FfThemeModeValue { FF_THEME_AUTO = 0, FF_THEME_DARK = 1, FF_THEME_LIGHT = 2 };

// The engine's match options, as the user toggles them (keys MatchCase, MatchWholeWord,
// MatchPath, Regex of [Everything]); the search layer turns them into the query's flags.
enum FfMatchOption { FF_MATCH_CASE = 0, FF_MATCH_WHOLE_WORD, FF_MATCH_PATH, FF_MATCH_REGEX, FF_MATCH_OPTION_COUNT };

// The settings record, filled once from Fleetfinder.cfg by FfLoadSettings on the background
// thread and read-only afterwards (lastSelectedFilter excepted).
struct FfSettings {
    wchar_t configPath[FF_PATH_CHARS];                 // full path of Fleetfinder.cfg
    int positionTop;                                   // 1: overlay at the panel's top, 0: bottom
    wchar_t hotkeyLetter;                              // 'A'..'Z', used with Ctrl+Alt
    int maxResults;                                    // 1..500 results per engine query
    int maxVisibleRows;                                // rows shown before the list scrolls (>= 0)
    int searchDelayMs;                                 // delay after the last keystroke (>= 0)
    int themeMode;                                     // FfThemeModeValue
    wchar_t everythingIniPath[FF_PATH_CHARS];          // the engine's ini, or "Auto"
    wchar_t lastSelectedFilter[FF_FILTER_NAME_CHARS];  // filter picked last time
    int everythingDebug;                               // write Fleetfinder.debug.log
    int loggingEnabled;                                // write Fleetfinder.log (1 until loaded)
    DWORD sortType;                                    // the engine's sort-type code
    wchar_t dateFormat[FF_PICTURE_CHARS];              // date picture, "Auto" or empty
    wchar_t timeFormat[FF_PICTURE_CHARS];              // time picture, "Auto" or empty
    int allowDelete;                                   // the host may delete real files
    int matchOptions[FF_MATCH_OPTION_COUNT];           // FfMatchOption: 1 on; toggled at run time
};

// One row of the sort-order table: the SortOrder name and the engine's code for it.
struct FfSortOrderName {
    const wchar_t* name;
    DWORD sortType;
};

extern FfSettings g_settings;                 // the one settings record
extern wchar_t g_logPath[FF_PATH_CHARS];      // Fleetfinder.log (see FfLocateSettingsFiles), or empty: no log
extern wchar_t g_configFilePath[FF_PATH_CHARS]; // Fleetfinder.cfg to load (see FfLocateSettingsFiles), or empty
extern HINSTANCE g_moduleHandle;              // the plug-in module, saved at process attach
extern volatile DWORD g_hookThreadId;         // the background thread's id, 0 until it exists
extern CRITICAL_SECTION g_listingLock;        // guards the published listing; never deleted
extern volatile LONG g_exceptionRecorderBusy; // 1 while one exception is being recorded
extern const FfSortOrderName g_sortOrderNames[FF_SORT_ORDER_COUNT];

// --- module lifecycle (lifecycle.cpp) ---
// Process attach steps: module handle, log path, recorder, pin, lock (the thread comes after).
void FfOnProcessAttach(HINSTANCE instance);
// Process detach: only logs; nothing is stopped.
void FfOnProcessDetach(LPVOID reserved);
// The module's folder (its full file name cut after the last backslash) followed by fileName.
// Returns false (and an empty out) when the module's file name is not available.
bool FfBuildModuleSiblingPath(wchar_t* out, int cap, const wchar_t* fileName);
// Sets g_configFilePath and g_logPath from the module's folder and %APPDATA% (process attach).
void FfLocateSettingsFiles();
// A folder check: true when files can be created in the folder (its path ends with a backslash).
typedef bool (*FfFolderCheck)(const wchar_t* folder);
// Creates and deletes a probe file in the folder.
bool FfIsFolderWritable(const wchar_t* folder);
// Where Fleetfinder.cfg and Fleetfinder.log live. Beside the library (moduleFolder, ending with a
// backslash) when that folder is writable; otherwise the log goes to the folder Fleetfinder in
// appData (created here), and so does the cfg unless one already exists beside the library. Without
// appData both stay beside the library. Returns true when anything left the library's folder.
bool FfChooseSettingsFolders(const wchar_t* moduleFolder, const wchar_t* appData, FfFolderCheck writable,
                             wchar_t* cfgFolder, wchar_t* logFolder, int cap);

// --- paths and file times (paths.cpp) ---
// The part of a path after its last backslash (the whole path without one; "" for null).
const wchar_t* FfPathBaseName(const wchar_t* path);
// True when something exists under the full path (false for a null or empty one).
bool FfPathExists(const wchar_t* path);
// A file time as one count of 100-ns ticks since 1601.
unsigned long long FfFileTimeValue(FILETIME time);

// --- settings (settings.cpp) ---
// Reads Fleetfinder.cfg (g_configFilePath) into g_settings; writes the defaults when it is missing.
void FfLoadSettings();
// Same, from the given file (tests, and FfLoadSettings itself).
void FfLoadSettingsFrom(const wchar_t* configPath);
// Remembers name as the last selected filter (cut to FF_FILTER_NAME_CHARS) and writes it whole
// to the settings file.
void FfSaveLastFilterName(const wchar_t* name);
// Turns a match option on or off and writes its key (Y/N) to the settings file; true when written.
bool FfSaveMatchOption(int option, int on);
// The settings file's key name of a match option ("" for an unknown one).
const wchar_t* FfMatchOptionKey(int option);
// Logs the one-line summary the background thread writes after loading.
void FfLogSettingsSummary();
// Value rules, one per key kind.
wchar_t FfParseHotkeyLetter(const wchar_t* value);
int FfClampMaxResults(int value);
int FfParsePosition(const wchar_t* value);
int FfParseThemeMode(const wchar_t* value);
int FfParseYesNo(const wchar_t* value);
DWORD FfLookupSortType(const wchar_t* name);
// The SortOrder name of an engine sort code, or null when the code is not in the table.
const wchar_t* FfLookupSortName(DWORD sortType);
// Rewrites a user's picture in place (DD.MM.YYYY -> dd.MM.yyyy; HH:MM:SS -> HH:mm:ss);
// "Auto" in any case is left untouched.
void FfRewriteDatePicture(wchar_t* picture);
void FfRewriteTimePicture(wchar_t* picture);

// --- log and exception recorder (log.cpp) ---
// One timestamped line in Fleetfinder.log when logging is on (platform printf: %s wide, %hs narrow).
void FfLog(const wchar_t* format, ...);
// One finished line in Fleetfinder.log whatever the Logging setting says.
void FfLogAppendLine(const wchar_t* line);
// One line "[hh:mm:ss] message" in Fleetfinder.debug.log (beside the log) when EverythingDebug is on.
void FfEverythingDebugLog(const wchar_t* message);
// Records processor exceptions in the log; never handles one (always continues the search).
LONG CALLBACK FfVectoredExceptionHandler(EXCEPTION_POINTERS* info);
