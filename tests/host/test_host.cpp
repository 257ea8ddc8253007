// The host's configuration: finding wincmd.ini, the theme and font taken from it and from Windows,
// and the plug-in's own entries written into it. Real registry values are changed for a moment.
#include <algorithm>

#include "fftest.h"
#include "core/core.h"
#include "host/host.h"

const wchar_t kHostKey[] = L"Software\\Ghisler\\Total Commander";
const std::wstring kQuoted = L"\"\\\\\\Fleetfinder\\\"";

// A value under HKCU, put back as it was (or removed) at the end.
struct RegValue {
    const wchar_t *key, *name;
    DWORD type = 0, size = 4096;
    BYTE bytes[4096] = {};
    bool had = !RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_ANY | RRF_NOEXPAND, &type, bytes, &size);
    ~RegValue() { had ? (void)Set(type, bytes, size) : Delete(); }
    bool Set(DWORD t, const void* data, DWORD n) { return !RegSetKeyValueW(HKEY_CURRENT_USER, key, name, t, data, n); }
    void Delete() { RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name); }
};

static std::string Utf16(const std::wstring& t) { return "\xFF\xFE" + std::string((const char*)t.data(), t.size() * 2); }

// An ini's text: UTF-16 after its byte-order mark, else ANSI (code page 1252: Latin-1 here).
static std::wstring Decode(const std::string& bytes)
{
    const unsigned char* b = (const unsigned char*)bytes.data();
    return bytes.compare(0, 2, "\xFF\xFE") ? std::wstring(b, b + bytes.size())
                                           : std::wstring((const wchar_t*)(b + 2), (bytes.size() - 2) / 2);
}

// The host's ini in a fresh folder, named by COMMANDER_INI (written or not); nothing else names one.
struct HostEnv {
    std::wstring dir = FfTestMakeTempDir(L"host"), ini = dir + L"\\wincmd.ini";
    FfTestEnvVar commanderIni{L"COMMANDER_INI", ini.c_str()}, appData{L"APPDATA", dir.c_str()};
    FfTestEnvVar commanderPath{L"COMMANDER_PATH", dir.c_str()};
    RegValue hostValue{kHostKey, L"IniFileName"};
    HostEnv() { hostValue.Delete(); }
    void Write(const char* file, const std::string& bytes) { EXPECT_TRUE(FfTestWriteBytes(Path(file), bytes)); }
    std::wstring Path(const char* file) const { return dir + L"\\" + FfTestWide(file); }
};

static int CountOf(const std::wstring& text, const std::wstring& needle)
{
    int count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1)) count++;
    return count;
}

// The lines of an ini, each tagged with its section; blanks dropped (the platform's writer trims them).
static std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> out;
    std::wstring section, line;
    for (wchar_t c : text + L"\n") {
        if (!iswspace(c))
            line += c;
        if (c != L'\n' || line.empty())
            continue;
        section = line[0] == L'[' ? line : section;
        out.push_back(section + L" " + line);
        line.clear();
    }
    return out;
}

// The lines of a that b holds too, in a's order.
static std::vector<std::wstring> Within(const std::vector<std::wstring>& a, const std::vector<std::wstring>& b)
{
    std::vector<std::wstring> out;
    std::copy_if(a.begin(), a.end(), std::back_inserter(out), [&](auto& l) { return std::count(b.begin(), b.end(), l); });
    return out;
}

// A long-used host file: comments, blanks around "=", quotes, "=" and ";" in values, a line without "=",
// text outside ASCII (beyond the code page in UTF-16 only), bindings that look like this plug-in's.
static std::wstring LargeIni(bool unicode)
{
    std::wstring text =
        L"; settings of the file manager\r\n[Configuration]\r\n  ShowHiddenSystem = 1\r\nUserName=Ren\u00e9e M\u00fcller\r\n"
        L"Editor=\"C:\\Program Files\\Ed\\ed.exe\" \"%1\"\r\nFormula=a=b=c\r\nList=x;y;z\r\nEmpty=\r\nno equals sign\r\n\r\n"
        L"[Shortcuts]\r\nC+1=cm_GoToDrive\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"  // ours: pruned
        L"CA+H=cd\r\nCA+H_params=\\\\\\Fleetfinder\\\r\nCA+J=CD\r\nCA+J_params=\"\\\\\\FLEETFINDER\\\"\r\n"
        L"CA+K=CD\r\nCA+K_params=\"\\\\\\Other\\\"\r\nCA+L=cm_Copy\r\nCA+L_params=\"\\\\\\Fleetfinder\\\"\r\n"  // not ours
        L"CSA+F=CD\r\nCSA+F_params=\"\\\\\\Fleetfinder\\\"\r\nCA+F1=CD\r\nCA+F1_params=\"\\\\\\Fleetfinder\\\"\r\n"
        L"ca+M=CD\r\nca+M_params=\"\\\\\\Fleetfinder\\\"\r\nCA+N=CD\r\nCA+Q=CD\r\nCA+Q_params=\"\r\n"
        L"[DirMenu]\r\nmenu1=Documents\r\ncmd1=cd C:\\Users\\Ren\u00e9e\\Documents\r\n";
    if (unicode)
        text += L"menu2=\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b\r\ncmd2=cd D:\\\u6587\u4ef6\r\n";
    text += L"[LeftHistory]\r\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_wstring(i) + L"=D:\\Archive\\" + std::to_wstring(1990 + i % 30) + L"\\folder\r\n";
    return text + L"[Packer]\r\nInternalUnpackMulti=1\r\n";
}

// Each row sets the four candidates (the registry value on the host's real key) and names the winner.
TEST(HostIni, FoundThroughEnvironmentRegistryAndFolders)
{
    auto file = [](const std::wstring& path) { EXPECT_TRUE(FfTestWriteBytes(path, "")); return path; };
    std::wstring app = FfTestMakeTempDir(L"app"), tc = FfTestMakeTempDir(L"tc"), empty = FfTestMakeTempDir(L"empty");
    CreateDirectoryW((app + L"\\GHISLER").c_str(), nullptr);
    std::wstring envIni = file(FfTestMakeTempDir(L"env") + L"\\wincmd.ini"), regIni = file(tc + L"\\reg.ini");
    std::wstring appIni = file(app + L"\\GHISLER\\wincmd.ini"), tcIni = file(tc + L"\\wincmd.ini");
    std::wstring missing = tc + L"\\none.ini", tooLong = envIni + std::wstring(2100, L' ');  // cut: envIni
    std::wstring unexpanded = L"%COMMANDER_PATH%\\reg.ini";  // names regIni once expanded
    const DWORD BARE = 100;  // a string stored without its terminator
    const struct { const std::wstring *env, *reg; DWORD type; const std::wstring *app, *path, *expected; } rows[] = {
        {&envIni, &regIni, REG_SZ, &app, &tc, &envIni},  // the environment first
        {&missing, &regIni, REG_SZ, &app, &tc, &regIni},  // a missing file is skipped
        {nullptr, &regIni, BARE, &empty, &empty, &regIni},
        {nullptr, &regIni, REG_EXPAND_SZ, &empty, &empty, &regIni},
        {nullptr, &unexpanded, REG_EXPAND_SZ, &empty, &tc, &tcIni},  // used as stored, not expanded
        {nullptr, &regIni, REG_DWORD, &app, &tc, &appIni},
        {nullptr, &missing, REG_SZ, &app, &tc, &appIni},
        {nullptr, nullptr, 0, &empty, &tc, &tcIni},
        {nullptr, nullptr, 0, nullptr, &tc, &tcIni},
        {nullptr, nullptr, 0, nullptr, &empty, nullptr},
        {&tooLong, nullptr, 0, &empty, &tc, &tcIni},  // too long counts as not set
        {nullptr, nullptr, 0, &tooLong, &tc, &tcIni},
    };
    for (const auto& row : rows) {
        FfTestEnvVar e1(L"COMMANDER_INI", row.env ? row.env->c_str() : nullptr);
        FfTestEnvVar e2(L"APPDATA", row.app ? row.app->c_str() : nullptr);
        FfTestEnvVar e3(L"COMMANDER_PATH", row.path ? row.path->c_str() : nullptr);
        RegValue reg{kHostKey, L"IniFileName"};
        reg.Delete();
        DWORD size = row.type == REG_DWORD ? 4 : row.reg ? DWORD(row.reg->size() + (row.type != BARE)) * 2 : 0;
        ASSERT_TRUE(!row.type || reg.Set(row.type == BARE ? REG_SZ : row.type, row.reg->c_str(), size));
        wchar_t out[FF_INI_PATH_MAX];
        EXPECT_EQ(row.expected ? *row.expected : L"-", FfFindWincmdIni(out, FF_INI_PATH_MAX) ? std::wstring(out) : L"-")
            << "row " << &row - rows;
    }
}

// Each row: ThemeMode, the host's [Configuration] (null: no file) and [AllResolutions], Windows' AppsUseLightTheme
// on the real key (absent, a string, a number), and the look that follows; RedirectSection rows: the redirect rules.
TEST(HostTheme, ApplyFollowsSettingHostAndWindows)
{
    enum { ABSENT = -1, TEXT = -2 };
    const wchar_t* const segoe = L"Segoe UI";
    const struct { int mode; const char *conf, *font; int apps; bool dark; const wchar_t* face; int size, weight; } rows[] = {
        {1, "DarkMode=0", "FontName=Tahoma\nFontSize=12\nFontWeight=300", 1, true, L"Tahoma", 12, 300},  // the setting wins
        {2, "DarkMode=2", "FontName=Tahoma\nFontSize=4\nFontWeight=700", 0, false, L"Tahoma", 11, 700},
        {7, "DarkMode=2", "FontName=Arial\nFontSize=6\nFontWeight=1200", 1, true, L"Arial", 6, 400},  // unknown: Auto
        {0, "Foo=1", "FontName=Arial\nFontWeight=1000", 0, false, L"Arial", 11, 1000},  // absent: light, even so
        {0, "DarkMode=0", "FontSize=14\nFontWeight=700", 0, false, segoe, 11, 400},      // no name: nothing taken
        {0, "DarkMode=2", "RedirectSection=user.ini\nFontName=Tahoma", 1, true, L"Verdana", 9, 600},
        {0, "DarkMode=1", "", 0, true, segoe, 11, 400},  // the host defers to Windows
        {0, "DarkMode=1", "", 1, false, segoe, 11, 400},
        {0, "DarkMode=3", "", 7, false, segoe, 11, 400},
        {0, "DarkMode=1", "", ABSENT, true, segoe, 11, 400},  // unreadable: dark
        {0, "DarkMode=1", "", TEXT, true, segoe, 11, 400},  // not a number: unreadable
        {0, "[Layout]\nDarkMode=2", "", 0, false, segoe, 11, 400},
        {0, nullptr, "", 1, false, segoe, 11, 400},  // no host file
        {0, nullptr, "", ABSENT, true, segoe, 11, 400},
        {0, "RedirectSection=user.ini\nDarkMode=0", "", 1, true, segoe, 11, 400},  // a bare name: beside the ini
        {0, "RedirectSection=%FFTEST_DIR%\\user.ini\nDarkMode=0", "", 1, true, segoe, 11, 400},
        {0, "RedirectSection=0\nDarkMode=2", "", 1, true, segoe, 11, 400},
        {0, "RedirectSection=01\nDarkMode=2", "", 1, false, segoe, 11, 400},  // "0" and "1" compared exactly
        {0, "RedirectSection=1\nAlternateUserIni=%FFTEST_DIR%\\user.ini\nDarkMode=0", "", 1, true, segoe, 11, 400},
        {0, "RedirectSection=1\nAlternateUserIni=\nDarkMode=2", "", 1, true, segoe, 11, 400},
        {0, "RedirectSection=second.ini\nDarkMode=2", "", 1, false, segoe, 11, 400},  // one level only
    };
    const COLORREF dark[] = {RGB(42, 42, 42), RGB(30, 30, 30), RGB(59, 130, 246)};  // window, input, accent
    const COLORREF light[] = {RGB(240, 240, 240), RGB(255, 255, 255), RGB(29, 78, 216)};
    HostEnv env;
    env.Write("user.ini", "[Configuration]\nDarkMode=2\n[AllResolutions]\nFontName=Verdana\nFontSize=9\nFontWeight=600\n");
    env.Write("second.ini", "[Configuration]\nRedirectSection=user.ini\nDarkMode=0\n");
    FfTestEnvVar dir(L"FFTEST_DIR", env.dir.c_str());
    RegValue apps{L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize", L"AppsUseLightTheme"};
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSX), savedMode = g_settings.themeMode;
    ReleaseDC(nullptr, screen);
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.mode << " " << (row.conf ? row.conf : "(none)") << row.font << row.apps);
        std::string ini = row.conf ? std::string("[Configuration]\n") + row.conf + "\n[AllResolutions]\n" + row.font + "\n" : "";
        row.conf ? env.Write("wincmd.ini", ini) : (void)DeleteFileW(env.ini.c_str());
        row.apps == ABSENT ? apps.Delete() : (void)apps.Set(row.apps == TEXT ? REG_SZ : REG_DWORD, &row.apps, 4);
        g_settings.themeMode = row.mode;
        HGDIOBJ old[] = {g_theme.windowBackgroundBrush, g_theme.inputBackgroundBrush, g_theme.accentBrush, g_theme.font,
                         g_theme.boldFont};
        bool newFonts = FfApplyTheme();
        HGDIOBJ now[] = {g_theme.windowBackgroundBrush, g_theme.inputBackgroundBrush, g_theme.accentBrush, g_theme.font,
                         g_theme.boldFont};
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(!old[i] || old[i] == now[i] || !GetObjectType(old[i])) << i;  // kept or released, not leaked
        EXPECT_EQ(newFonts, old[3] != now[3]);
        // The same settings again keep every handle, so the controls are not handed new fonts.
        EXPECT_FALSE(FfApplyTheme());
        EXPECT_EQ(std::vector<HGDIOBJ>(now, now + 5),
                  std::vector<HGDIOBJ>({g_theme.windowBackgroundBrush, g_theme.inputBackgroundBrush,
                                        g_theme.accentBrush, g_theme.font, g_theme.boldFont}));
        HBRUSH brushes[] = {g_theme.windowBackgroundBrush, g_theme.inputBackgroundBrush, g_theme.accentBrush};
        for (int i = 0; i < 3; ++i) {
            LOGBRUSH lb = {};
            EXPECT_EQ((row.dark ? dark : light)[i], GetObjectW(brushes[i], sizeof lb, &lb) ? lb.lbColor : CLR_INVALID);
        }
        EXPECT_EQ(MulDiv(dpi, 100, 96), g_theme.dpiScale);
        LOGFONTW lf = {}, bold = {};
        ASSERT_TRUE(GetObjectW(g_theme.font, sizeof lf, &lf) && GetObjectW(g_theme.boldFont, sizeof bold, &bold));
        for (const LOGFONTW* f : {&lf, &bold}) {
            EXPECT_STREQ(row.face, f->lfFaceName);
            EXPECT_EQ(-MulDiv(row.size, dpi, 72), f->lfHeight);
            EXPECT_EQ(0, f->lfItalic + f->lfUnderline + f->lfStrikeOut);
            EXPECT_EQ(CLEARTYPE_QUALITY, f->lfQuality);
        }
        EXPECT_EQ(row.weight, lf.lfWeight);
        EXPECT_EQ(row.weight >= 700 ? 900 : 700, bold.lfWeight);
    }
    g_settings.themeMode = savedMode;
}

// The overlay's heights at a dpi (and its scale), a point size and the font's character height: each part scaled
// on its own, halves rounded away from zero, never the sum at once.
TEST(HostTheme, MetricsFollowFontAndDpi)
{
    const struct { int logPixels, size, charHeight, scale, edit, row, search, header; } rows[] = {
        {96, 11, 15, 100, 19, 21, 25, 19},  {72, 11, 11, 75, 14, 16, 19, 14},   {120, 11, 19, 125, 24, 27, 32, 24},
        {144, 11, 22, 150, 28, 32, 37, 29}, {168, 9, 25, 175, 32, 34, 43, 30},
    };
    for (const auto& r : rows) {
        FfTheme theme = {};
        FfComputeThemeMetrics(&theme, r.size, r.charHeight, FfComputeDpiScale(r.logPixels));
        EXPECT_EQ(std::vector<int>({r.scale, r.edit, r.row, r.search, r.header}),
                  std::vector<int>({FfComputeDpiScale(r.logPixels), theme.editHeight, theme.rowHeight,
                                    theme.searchAreaHeight, theme.headerHeight})) << r.logPixels;
    }
}

// Each row: the files before a start, the hotkey, how many of wincmd.ini's lines go and come, texts counted in the
// files and the log after it. Always: the other lines kept in order, the encoding kept, the next start a no-op.
TEST(HostRegister, StepsWriteWhatIsMissingKeepTheRestAndOnlyOnce)
{
    wchar_t module[1024];
    GetModuleFileNameW(nullptr, module, 1024);
    const std::wstring plugin = L"[FileSystemPlugins]\r\nFleetfinder=" + std::wstring(module) + L"\r\n";
    const std::wstring view = L"[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nAutoLoad=1\r\nWidths1=80,30,397\r\n"
                              L"Headers1=Path\r\nContents1=[=<fs>.Path]\r\nOptions1=-1|1|96\r\n";
    const std::wstring pairG = L"\nCA+G=CD\r\nCA+G_params=" + kQuoted + L"\r\n";
    const std::string ours = "CA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n";
    const std::string redirects = "[FileSystemPlugins]\r\nRedirectSection=plugins.ini\r\n[Shortcuts]\r\nRedirectSection="
                                  "keys.ini\r\nCA+X=cm_Exit\r\n[CustomFields_Fleetfinder]\r\nRedirectSection=columns.ini\r\n";
    const std::wstring large = LargeIni(false);
    struct Want { const char* file; std::wstring text; int count; };
    typedef std::vector<std::pair<std::wstring, int>> Log;
    const std::vector<Want> pruned = {{"wincmd.ini", L"\nCA+F=", 0}, {"wincmd.ini", L"\nCA+H=", 0},
                                      {"wincmd.ini", L"\nCA+J=", 0}, {"wincmd.ini", pairG, 1}};
    const Log prunedLog = {{L"FfPruneStaleHotkeyShortcuts: removed stale CA+F=CD / CA+F_params=\\\\\\Fleetfinder\\ from", 1},
                           {L"removed stale", 3}, {L"not ours, leaving as-is", 3}};
    const std::wstring skip = L": could not locate wincmd.ini - skipping self-registration.\r\n";
    struct Row { std::string name; wchar_t letter; std::string ini, keys; int lost, added; std::vector<Want> want; Log log; };
    std::vector<Row> rows = {
        {"fresh", L'F', "[Configuration]\r\nLanguage=eng\r\n", "", 0, 12,
         {{"wincmd.ini", plugin, 1}, {"wincmd.ini", L"[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=" + kQuoted + L"\r\n", 1},
          {"wincmd.ini", view, 1}},
         {{L": OK writing ", 3}}},
        {"others' entries", L'F', "[FileSystemPlugins]\r\nFleetfinder=D:\\old\\Fleetfinder.wdx\r\n"
                                  "[Shortcuts]\r\nCA+F=cm_Mine\r\n[CustomFields_Fleetfinder]\r\nContents1=[=tc.size]\r\n",
         "", 0, 0, {}, {{L" writing ", 0}, {L"already registered in ", 1}, {L"CA+F is already bound to \"cm_Mine\"", 1},
                        {L"Contents1 already set ([=tc.size])", 1}}},
        {"large UTF-16", L'G', Utf16(LargeIni(true)), "", 6, 11, pruned, prunedLog},
        {"large ANSI", L'G', std::string(large.begin(), large.end()), "", 6, 11, pruned, prunedLog},
        {"redirected", L'G', redirects, "[Shortcuts]\r\n" + ours, 0, 0,
         {{"plugins.ini", plugin, 1}, {"keys.ini", L"\nCA+F", 0}, {"keys.ini", pairG, 1}, {"columns.ini", view, 1}},
         {{L"removed stale", 1}}},
        {"no host ini", L'F', "", "", 0, 0, {{"wincmd.ini", L"[", 0}},
         {{L"FfSelfRegisterWfxPlugin" + skip, 1}, {L"FfSelfRegisterHotkeyShortcut" + skip, 1},
          {L"FfSelfRegisterCustomColumnsView" + skip, 1}, {L"FfPrune", 0}}},
    };
    // A section too long for the read buffer comes back with its last line cut: "CDOPEN" cut to "CD" must not make a
    // user's binding look like ours. The cut is moved across that line ("key=value\0": ours 38, the filler 3 + value).
    for (int shift = 0; shift < 14; ++shift) {
        std::string text = "[Shortcuts]\r\n" + ours + "K=" + std::string(FF_SHORTCUTS_SECTION_MAX - 9 - shift - 41, 'v');
        text += "\r\nCA+Z=CDOPEN\r\nCA+Z_params=\"\\\\\\Fleetfinder\\\"\r\n";
        rows.push_back({"cut section " + std::to_string(shift), L'G', text, "", 2, 11,
                        {{"wincmd.ini", L"\nCA+Z=CDOPEN\r\nCA+Z_params=", 1}}, {{L"removed stale CA+F", 1}}});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostEnv env;
        FfTestLog log(L"register");
        if (!row.ini.empty())
            env.Write("wincmd.ini", row.ini);
        env.Write("keys.ini", row.keys);
        g_settings.hotkeyLetter = row.letter;
        auto start = [&] {
            for (auto step : {FfSelfRegisterWfxPlugin, FfSelfRegisterHotkeyShortcut, FfSelfRegisterCustomColumnsView})
                step();
            return std::vector<std::string>{FfTestReadBytes(env.Path("wincmd.ini")), FfTestReadBytes(env.Path("plugins.ini")),
                                            FfTestReadBytes(env.Path("keys.ini")), FfTestReadBytes(env.Path("columns.ini"))};
        };
        std::vector<std::string> first = start();
        EXPECT_EQ(row.ini.substr(0, 2), first[0].substr(0, 2));  // the encoding's mark stays
        std::vector<std::wstring> old = Lines(Decode(row.ini)), now = Lines(Decode(first[0]));
        EXPECT_TRUE(Within(old, now) == Within(now, old));  // every other line kept, in order
        EXPECT_EQ(row.lost, int(old.size() - Within(old, now).size()));
        EXPECT_EQ(row.added, int(now.size() - Within(now, old).size()));
        for (const Want& w : row.want)
            EXPECT_EQ(w.count, CountOf(Decode(FfTestReadBytes(env.Path(w.file))), w.text)) << w.file << FfTestUtf8(w.text);
        for (const auto& line : row.log)
            EXPECT_EQ(line.second, log.Count(line.first)) << FfTestUtf8(line.first);
        EXPECT_TRUE(first == start());  // the next start changes not a byte
    }
    g_settings.hotkeyLetter = L'F';
}

// The library's path as written into an ini of each mark and code page. "Ł" lacks in code page 1252 and has its
// place in 1250; a short form equal to the long path is a volume without short names.
TEST(HostRegister, PathChosenForTheFileItGoesInto)
{
    HostEnv env;
    const wchar_t* const polish = L"C:\\Plug-ins \u0141\u03B1\\Fleetfinder.wdx";
    const wchar_t* const japanese = L"C:\\\u65E5\u672C\\Fleetfinder.wdx";
    const wchar_t* const shortForm = L"C:\\PLUG-I~1\\FLEETF~1.WDX";
    const std::string ansi = "[A]\r\n", utf8 = "\xEF\xBB\xBF[A]\r\n";
    const struct { std::string ini; const wchar_t *path, *shortPath; UINT acp; int cap; const wchar_t* expected; } rows[] = {
        {ansi, L"C:\\\u0141\u00F3d\u017A\\F.wdx", nullptr, 1250, 64, L"C:\\\u0141\u00F3d\u017A\\F.wdx"},
        {ansi, polish, shortForm, 1252, 64, shortForm},
        {ansi, polish, L"", 1252, 64, nullptr},
        {ansi, polish, L"C:\\\u0141\u03B1~1\\FLEETF~1.WDX", 1252, 64, nullptr},  // short, still not ANSI
        {ansi, polish, shortForm, 1252, 24, nullptr},                             // a cut path names another file
        {ansi, japanese, nullptr, CP_UTF8, 64, japanese},                         // a system whose ANSI is UTF-8
        {"\xEF\xBB", japanese, nullptr, 1252, 64, nullptr},                       // half a mark: ANSI
        {"[\xFF]\r\n", japanese, nullptr, 1252, 64, nullptr},                  // ANSI text, not a mark
        {"x\xBB\xBF\r\n", japanese, nullptr, 1252, 64, nullptr},              // nor this
        {Utf16(L"[A]"), japanese, nullptr, 1252, 64, japanese},
        {std::string("\xFE\xFF\0[\0A\0]", 8), japanese, nullptr, 1252, 64, japanese},
        {utf8, L"C:\\\U0001F334\\F.wdx", nullptr, 1252, 64, L"C:\\\U0001F334\\F.wdx"},
        {utf8, L"C:\\x\xD800y\\F.wdx", L"C:\\XY~1\\F.WDX", 1252, 64, L"C:\\XY~1\\F.WDX"},  // a lone surrogate
    };
    for (const auto& row : rows) {
        env.Write("wincmd.ini", row.ini);
        wchar_t out[64];
        FfIniEncoding encoding = FfDetectIniEncoding(env.ini.c_str());
        bool chosen = FfChooseRegisteredPath(row.path, row.shortPath, encoding, row.acp, out, row.cap);
        EXPECT_EQ(row.expected ? row.expected : L"(nothing)", std::wstring(chosen ? out : L"(nothing)")) << &row - rows;
    }
}
