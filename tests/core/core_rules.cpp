// The core's rules as plain functions: bounded text, settings values and files, where the files
// go, the log's limits and the exception recorder.
#include "fftest.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"
#include <regex>
#include <sstream>

// A log as users read it, time stamps as '#' (main log) and '@' (debug log).
std::wstring Unstamped(const std::wstring& text)
{
    static const std::wregex stamp(L"\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] "),
        clock(L"\\[\\d\\d:\\d\\d:\\d\\d\\] ");
    return std::regex_replace(std::regex_replace(text, stamp, L"#"), clock, L"@");
}

namespace {

int CopyTwo(wchar_t* d, int cap, const wchar_t* s) { return FfCopyTextN(d, cap, s, 2); }
int Format(wchar_t* d, int cap, const wchar_t* s) { return FfFormatText(d, cap, L"%s|%hs|%d", s, "n", 7); }

// Every helper cuts to its capacity and terminates; no capacity, no write.
TEST(Text, BoundsRows)
{
    struct Row { decltype(&FfCopyText) op; const wchar_t* before; int cap; const wchar_t* src; int n; const wchar_t* after; };
    const Row rows[] = {
        {FfCopyText, L"zzzzzz", 4, L"abcdef", 3, L"abc"}, {FfCopyText, L"zz", 4, nullptr, 0, L""},
        {FfCopyText, L"zz", 0, L"ab", 0, L"zz"},          {CopyTwo, L"zz", 4, L"abcdef", 2, L"ab"},
        {FfAppendText, L"ab", 6, L"cdefgh", 5, L"abcde"}, {FfAppendText, L"abcde", 6, L"x", 5, L"abcde"},
        {FfAppendText, L"ab", 0, L"x", 0, L"ab"},         {Format, L"", 16, L"wide", 8, L"wide|n|7"},
        {Format, L"zz", 5, L"truncated", 4, L"trun"},     {Format, L"zz", 0, L"wide", 0, L"zz"}};
    for (const Row& r : rows) {
        wchar_t buf[16] = {};
        wcscpy(buf, r.before);
        EXPECT_EQ(std::to_wstring(r.n) + r.after, std::to_wstring(r.op(buf, r.cap, r.src)) + buf) << r.before << r.cap;
    }
    EXPECT_TRUE(FfEqualTextI(L"ReadMe.TXT", L"readme.txt") && !FfEqualTextI(L"\u00C4", L"\u00E4")) << "ASCII only";
}

template <auto F> std::wstring Int(const wchar_t* v) { return std::to_wstring((int)F(v)); }
std::wstring Hotkey(const wchar_t* v) { return std::wstring(1, FfParseHotkeyLetter(v)); }
std::wstring Clamp(const wchar_t* v) { return std::to_wstring(FfClampMaxResults(_wtoi(v))); }
std::wstring Picture(const wchar_t* v)  // 'D' or 'T', then the picture
{ std::wstring p(v + 1); return (v[0] == L'D' ? FfRewriteDatePicture : FfRewriteTimePicture)(&p[0]), p; }

// Each key kind's rule; pictures in the users' upper-case habit become the platform's letters.
TEST(Settings, ValueRows)
{
    struct Row { std::wstring (*rule)(const wchar_t*); const wchar_t *value, *expected; };
    const Row rows[] = {
        {Hotkey, L"Ctrl+Alt+g", L"G"}, {Hotkey, L"Ctrl+Alt+", L"F"}, {Hotkey, L"Ctrl+Alt+1", L"F"}, {Hotkey, L"G", L"F"},
        {Hotkey, nullptr, L"F"}, {Hotkey, L"+zed", L"Z"}, {Hotkey, L"Ctrl+Alt+\u00E4", L"F"}, {Hotkey, L"Ctrl+Alt+[", L"F"},
        {Hotkey, L"Ctrl+Alt+@", L"F"}, {Clamp, L"0", L"1"}, {Clamp, L"-7", L"1"}, {Clamp, L"2", L"2"}, {Clamp, L"500", L"500"},
        {Clamp, L"501", L"500"}, {Int<FfParsePosition>, L"tOP", L"1"}, {Int<FfParsePosition>, L"Top ", L"0"},
        {Int<FfParsePosition>, L"", L"0"}, {Int<FfParseThemeMode>, L"DARK", L"1"}, {Int<FfParseThemeMode>, L"lIGHT", L"2"},
        {Int<FfParseThemeMode>, L"Darker", L"0"}, {Int<FfParseThemeMode>, L"1", L"0"}, {Int<FfParseYesNo>, L"y", L"1"},
        {Int<FfParseYesNo>, L"Yes", L"0"}, {Int<FfParseYesNo>, L" Y", L"0"}, {Int<FfParseYesNo>, L"N", L"0"},
        {Int<FfLookupSortType>, L"namedescending", L"2"}, {Int<FfLookupSortType>, L"Name", L"14"},
        {Int<FfLookupSortType>, L"NameAscending ", L"14"}, {Picture, L"DYYYY-mm-DD", L"yyyy-MM-dd"}, {Picture, L"DAUTO", L"AUTO"},
        {Picture, L"Dddd, d MMM", L"ddd, d MMM"}, {Picture, L"Thh:MM TT", L"hh:mm tt"}, {Picture, L"THH:MM:SS", L"HH:mm:ss"}};
    for (const Row& r : rows) EXPECT_EQ(r.expected, r.rule(r.value)) << (r.value ? r.value : L"(null)");
    // The engine's sort codes by name, and back; the codes between name nothing.
    std::wistringstream sorts(L"NameAscending 1 NameDescending 2 PathAscending 3 PathDescending 4 SizeAscending 5 "
        L"SizeDescending 6 ExtensionAscending 7 ExtensionDescending 8 TypeNameAscending 9 TypeNameDescending 10 "
        L"DateCreatedAscending 11 DateCreatedDescending 12 DateModifiedAscending 13 DateModifiedDescending 14 "
        L"AttributesAscending 15 AttributesDescending 16 DateAccessedAscending 23 DateAccessedDescending 24");
    for (std::pair<std::wstring, DWORD> p; sorts >> p.first >> p.second;)
        EXPECT_TRUE(FfLookupSortType(p.first.c_str()) == p.second && p.first == FfLookupSortName(p.second)) << p.first;
    for (DWORD unused : {0u, 17u, 22u, 25u}) EXPECT_EQ(nullptr, FfLookupSortName(unused)) << unused;
}

// The record in one line, so that a whole file's reading compares at once.
std::wstring Describe(const FfSettings& s)
{
    wchar_t text[600];
    FfFormatText(text, 600, L"top=%d key=%c max=%d rows=%d delay=%d theme=%d date=%s time=%s log=%d ini=%s debug=%d "
                 L"sort=%lu filter=%d del=%d match=%d%d%d%d", s.positionTop, s.hotkeyLetter, s.maxResults, s.maxVisibleRows,
                 s.searchDelayMs, s.themeMode, s.dateFormat, s.timeFormat, s.loggingEnabled, s.everythingIniPath,
                 s.everythingDebug, s.sortType, (int)wcslen(s.lastSelectedFilter), s.allowDelete,
                 s.matchOptions[0], s.matchOptions[1], s.matchOptions[2], s.matchOptions[3]);
    return text;
}

TEST(Settings, FileRows)
{
    FfTestLog log(L"settings");
    const std::wstring cfg = log.dir + L"\\Fleetfinder.cfg";
    const std::wstring defaults = L"top=0 key=F max=200 rows=20 delay=100 theme=0 date=Auto time=Auto log=0 ini=Auto "
                                  L"debug=0 sort=14 filter=0 del=0 match=0000";
    FfLoadSettingsFrom(cfg.c_str());  // a missing file gets every default, in the order users find them
    EXPECT_EQ("[Display]\r\nPosition=Bottom\r\nHotkey=Ctrl+Alt+F\r\nMaxVisibleRows=20\r\nSearchDelayMs=100\r\nThemeMode=Auto\r\n"
              "DateFormat=Auto\r\nTimeFormat=Auto\r\nLogging=N\r\n[Everything]\r\nMaxResults=200\r\nEverythingIniPath=Auto\r\n"
              "EverythingDebug=N\r\nSortOrder=DateModifiedDescending\r\nMatchCase=N\r\nMatchWholeWord=N\r\nMatchPath=N\r\n"
              "Regex=N\r\n[Filters]\r\nLastSelectedFilter=\r\n[Safety]\r\n"
              "AllowDelete=N\r\n", std::regex_replace(FfTestReadBytes(cfg), std::regex("\r\n(\r\n)+"), "\r\n"));
    // Files that exist are read, never completed. Negative rows or delay would give a negative list
    // height or a timer of weeks; text reads as 0, an empty value as the default; the whole hotkey counts.
    const std::pair<std::string, std::wstring> rows[] = {
        {"", defaults},
        {"[Display]\r\nPosition=TOP\r\nHotkey=ctrl+alt+q\r\nMaxVisibleRows=7\r\nSearchDelayMs=250\r\nThemeMode=light\r\n"
         "DateFormat=DD/mm/YYYY\r\nTimeFormat=HH:MM:SS TT\r\nLogging=Yes\r\n[Everything]\r\nMaxResults=abc\r\n"
         "EverythingIniPath=C:\\e.ini\r\nEverythingDebug=y\r\nSortOrder=dateaccesseddescending\r\nMatchCase=y\r\n"
         "MatchWholeWord=Yes\r\nMatchPath=Y\r\nRegex=Y\r\n[Filters]\r\n"
         "LastSelectedFilter=" + std::string(200, 'x') + "\r\n[Safety]\r\nAllowDelete=Y\r\n",
         L"top=1 key=Q max=1 rows=7 delay=250 theme=2 date=dd/MM/yyyy time=HH:mm:ss tt log=0 ini=C:\\e.ini debug=1 "
         L"sort=24 filter=127 del=1 match=1011"},
        {"[Display]\r\nMaxVisibleRows=-4\r\nSearchDelayMs=-1\r\nDateFormat=\r\nTimeFormat=\r\nHotkey=" +
         std::string(300, '+') + "J\r\n[Everything]\r\nMaxResults=501\r\n",
         L"top=0 key=J max=500 rows=0 delay=0 theme=0 date= time= log=0 ini=Auto debug=0 sort=14 filter=0 del=0 match=0000"}};
    for (const auto& [text, expected] : rows) {
        ASSERT_TRUE(FfTestWriteBytes(cfg, text));
        FfLoadSettingsFrom(cfg.c_str());
        EXPECT_EQ(expected, Describe(g_settings));
        EXPECT_EQ(text, FfTestReadBytes(cfg));
    }
    // A toggled match option is remembered in its own key alone, and read back so.
    ASSERT_TRUE(FfTestWriteBytes(cfg, "[Everything]\r\nMaxResults=7\r\nRegex=Y\r\n"));
    FfLoadSettingsFrom(cfg.c_str());
    EXPECT_TRUE(FfSaveMatchOption(FF_MATCH_WHOLE_WORD, 1) && FfSaveMatchOption(FF_MATCH_REGEX, 0));
    EXPECT_FALSE(FfSaveMatchOption(FF_MATCH_OPTION_COUNT, 1));
    EXPECT_EQ("[Everything]\r\nMaxResults=7\r\nRegex=N\r\nMatchWholeWord=Y\r\n", FfTestReadBytes(cfg));
    FfLoadSettingsFrom(cfg.c_str());
    EXPECT_EQ(L"match=0100", Describe(g_settings).substr(Describe(g_settings).rfind(L' ') + 1));
    // The filter picked is remembered; a selection outside the catalogue names nothing.
    g_filterCount = 3;
    for (int i = 0; i < FF_FILTERS_MAX; i++) FfCopyText(g_filters[i].name, FF_FILTER_NAME_MAX, i == 2 ? L"Video" : L"");
    for (int selected : {2, -1, 3, FF_FILTERS_MAX}) {
        g_selectedFilter = selected;
        FfSaveLastSelectedFilter();
        EXPECT_STREQ(L"Video", g_settings.lastSelectedFilter) << selected;
        EXPECT_NE(std::string::npos, FfTestReadBytes(cfg).find("LastSelectedFilter=Video")) << selected;
    }
}

bool g_writable;
bool Writable(const wchar_t*) { return g_writable; }

// Beside the library while the user can write there, else in %APPDATA%\Fleetfinder, except a cfg
// already beside the library.
TEST(Settings, LocationRows)
{
    std::wstring dir = FfTestMakeTempDir(L"where"), lib = dir + L"\\lib\\", app = dir + L"\\app", moved = app + L"\\Fleetfinder\\";
    for (const std::wstring& folder : {lib, app}) CreateDirectoryW(folder.c_str(), nullptr);
    struct Row { bool writable, cfgBeside, withAppData; const std::wstring &cfg, &log; };
    const Row rows[] = {{true, false, true, lib, lib}, {false, false, true, moved, moved},
                        {false, true, true, lib, moved}, {false, false, false, lib, lib}};
    for (const Row& r : rows) {
        SCOPED_TRACE(&r - rows);
        DeleteFileW((lib + L"Fleetfinder.cfg").c_str());
        RemoveDirectoryW(moved.c_str());
        if (r.cfgBeside) FfTestWriteBytes(lib + L"Fleetfinder.cfg", "");
        g_writable = r.writable;
        wchar_t cfg[FF_PATH_CHARS], log[FF_PATH_CHARS];
        bool left = FfChooseSettingsFolders(lib.c_str(), r.withAppData ? app.c_str() : L"", Writable, cfg, log, FF_PATH_CHARS);
        EXPECT_EQ(r.cfg + L"|" + r.log + (r.log != lib ? L"|left" : L""), std::wstring(cfg) + L"|" + log + (left ? L"|left" : L""));
        EXPECT_EQ(r.log != lib, FfTestFileExists(moved)) << "created when chosen, only then";
    }
    // The probe: a folder that is a file, a missing one or none cannot take a file; a real one can, and keeps none.
    FfTestWriteBytes(dir + L"\\file", "");
    for (const std::wstring& folder : {lib, dir + L"\\file\\", dir + L"\\none\\", std::wstring()})
        EXPECT_EQ(folder == lib, FfIsFolderWritable(folder.c_str())) << folder;
    EXPECT_TRUE(RemoveDirectoryW(lib.c_str())) << "an empty folder again";
}

// Appended UTF-8 lines, also while a reader holds the file; a formatted line is cut to 1023
// characters, a line over 1197 UTF-8 bytes is dropped whole and the writer goes on.
TEST(Log, LimitRows)
{
    FfTestLog log(L"log");
    const std::wstring a997(997, L'a'), euros(399, L'\u20AC');
    const std::pair<std::function<void()>, std::wstring> rows[] = {
        {[&] { HANDLE reader = CreateFileW(log.path.c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr);
               FfLog(L"FfThing: %s %hs %d \u00E9\u20AC", L"wide", "narrow", 42), CloseHandle(reader); },
         L"#FfThing: wide narrow 42 \u00E9\u20AC\r\n"},
        {[&] { FfLog(L"%s", a997.c_str()); }, L"#" + a997 + L"\r\n"},
        {[&] { FfLog(L"%s", (a997 + L"bb").c_str()); }, L"#" + a997 + L"\r\n"},
        {[] { FfLogAppendLine(std::wstring(1197, L'a').c_str()); }, std::wstring(1197, L'a') + L"\r\n"},
        {[] { FfLogAppendLine(std::wstring(1198, L'a').c_str()); }, L""},
        {[&] { FfLogAppendLine(euros.c_str()); }, euros + L"\r\n"},
        {[&] { FfLogAppendLine((euros + L"b").c_str()); }, L""},
        {[] { FfLogAppendLine(L""); }, L"\r\n"},
        // Switched off: only the exception recorder's way in still writes.
        {[] { g_settings.loggingEnabled = 0, FfLog(L"hidden"), FfLogAppendLine(L"record"), g_settings.loggingEnabled = 1; },
         L"record\r\n"}};
    for (const auto& [write, expected] : rows) {
        FfTestWriteBytes(log.path, "earlier\r\n");
        write();
        FfLogAppendLine(L"after");
        EXPECT_EQ(L"earlier\r\n" + expected + L"after\r\n", Unstamped(log.Text()));
    }
}

// The debug log: beside the log whatever dots its folders have (never in the current folder),
// a byte-order mark, each message as it stands, whatever its length.
TEST(Log, DebugLogRows)
{
    FfTestLog log(L"debuglog");
    CreateDirectoryW((log.dir + L"\\a.b").c_str(), nullptr);
    struct Row { const wchar_t *logName, *debugName; int debug; };
    const Row rows[] = {{L"\\a.b\\log", L"\\a.b\\log.debug.log", 0}, {L"\\Fleetfinder.log", L"\\Fleetfinder.debug.log", 1},
                        {L"\\a.b\\log", L"\\a.b\\log.debug.log", 1}, {L"", L".debug.log", 1}};
    for (const Row& r : rows) {
        FfCopyText(g_logPath, FF_PATH_CHARS, *r.logName ? (log.dir + r.logName).c_str() : L"");
        g_settings.everythingDebug = r.debug;
        const std::wstring debug = (*r.logName ? log.dir : L"") + r.debugName;
        FfEverythingDebugLog(L"query \u00FCber %s");
        FfEverythingDebugLog(std::wstring(3000, L'q').c_str());
        EXPECT_EQ(r.debug && *r.logName ? L"\uFEFF@query \u00FCber %s\r\n@" + std::wstring(3000, L'q') + L"\r\n" : L"",
                  Unstamped(FfTestWide(FfTestReadBytes(debug)))) << r.logName;
    }
}

int g_insideMarker;
void* g_faultAt;

// Runs after every other handler: steps over this program's own "ud2" (two bytes at both widths).
LONG CALLBACK StepOverFault(EXCEPTION_POINTERS* info)
{
    BYTE* at = (BYTE*)info->ExceptionRecord->ExceptionAddress;
    if (info->ExceptionRecord->ExceptionCode != STATUS_ILLEGAL_INSTRUCTION || g_faultAt || at[0] != 0x0F || at[1] != 0x0B)
        return EXCEPTION_CONTINUE_SEARCH;
    g_faultAt = at;
#ifdef _WIN64
    info->ContextRecord->Rip += 2;
#else
    info->ContextRecord->Eip += 2;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// A real processor fault; the address it was raised at.
void* Fault() { g_faultAt = nullptr; asm volatile("ud2" ::: "memory"); return g_faultAt; }

// Errors are recorded wherever they happen, milder codes only inside the plug-in; one record at a time.
TEST(Log, ExceptionRecorderRows)
{
    FfTestLog log(L"recorder");
    g_settings.loggingEnabled = 0;  // records are written whatever Logging says
    wchar_t savedConfig[FF_PATH_CHARS];
    FfCopyText(savedConfig, FF_PATH_CHARS, g_configFilePath);
    // The module's attach steps, this program standing in for the plug-in: they put the recorder in place.
    FfOnProcessAttach(GetModuleHandleW(nullptr));
    FfCopyText(g_logPath, FF_PATH_CHARS, log.path.c_str());  // the attach pointed it beside this program
    PVOID stepOver = AddVectoredExceptionHandler(0, StepOverFault);
    void* const raised = &g_faultAt;  // a row's address: raised for real, where the fault happens
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    void *outside = (void*)GetProcAddress(kernel, "Sleep"), *inside = &g_insideMarker, *nowhere = (void*)0x10;
    auto name = [](HMODULE m) { wchar_t n[MAX_PATH]; return std::wstring(n, GetModuleFileNameW(m, n, MAX_PATH)); };
    const std::wstring in = name(g_moduleHandle) + L" [INSIDE Fleetfinder]", out = name(kernel) + L" [outside Fleetfinder]",
                       unknown = L"(unknown module) [outside Fleetfinder]";
    struct Row { DWORD code; void* address; std::wstring where; LONG busy; };  // where empty: not recorded
    const Row rows[] = {{0xC0000005, outside, out, 0}, {0xC0000005, inside, in, 0}, {0xC00000FD, nowhere, unknown, 0},
                        {0xC0000005, inside, L"", 1},  // one arriving while another is being recorded passes on
                        {0xE06D7363, outside, out, 0}, {0x80000003, outside, L"", 0}, {0x80000003, inside, in, 0},
                        {0x40010006, outside, L"", 0}, {0x0EEDFADE, nowhere, L"", 0}, {0x0EEDFADE, inside, in, 0},
                        {STATUS_ILLEGAL_INSTRUCTION, raised, in, 0}};
    for (const Row& r : rows) {
        DeleteFileW(log.path.c_str());
        g_exceptionRecorderBusy = r.busy;
        void* address = r.address;
        EXCEPTION_RECORD record = {r.code, 0, nullptr, r.address};
        EXCEPTION_POINTERS pointers = {&record, nullptr};
        if (address == raised) EXPECT_NE(nullptr, address = Fault()) << "stepped over";
        else EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, FfVectoredExceptionHandler(&pointers));
        EXPECT_EQ(r.busy, g_exceptionRecorderBusy);
        wchar_t line[700];
        FfFormatText(line, 700, r.where.empty() ? L"" : L"#*** EXCEPTION *** code=0x%08lX addr=%p module=%s (pid=%lu)\r\n",
                     r.code, address, r.where.c_str(), GetCurrentProcessId());
        EXPECT_EQ(line, Unstamped(log.Text())) << std::hex << r.code;
    }
    EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, FfVectoredExceptionHandler(nullptr));
    EXPECT_EQ(0, g_exceptionRecorderBusy);
    RemoveVectoredExceptionHandler(stepOver);
    g_moduleHandle = nullptr;
    FfCopyText(g_configFilePath, FF_PATH_CHARS, savedConfig);
}

}  // namespace
