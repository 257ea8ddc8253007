// End to end: the real library in the stand-in host, searching through the stand-in engine.
// The demo walks the main road once; the rows here are what it leaves out: both of the host's
// roads from the first press on, the copy protocol's answers and a move, the scope of "path:.",
// and the panel listed again when it already shows the plug-in's folder.
#include "fftest.h"
#include <algorithm>
#include <ole2.h>

namespace {

const std::wstring kRoot = L"\\\\\\Fleetfinder";
const wchar_t* const kLibrary = FF_BITS == 64 ? L"Fleetfinder.wdx64" : L"Fleetfinder.wdx";
// Outside the usual 8-bit code pages, and its best-fit look-alike, a real file of its own.
const std::wstring kLodz = L"\u0141\u00F3d\u017A raport 2024.txt", kLookAlike = L"L\u00F3dz raport 2024.txt";

void Key(WORD key, bool up)
{
    FfTestSendKey(key, up);
    // One at a time: the plug-in reads modifiers as they are now, not as they were queued.
    FfTestFlushEvents(60);
}

// A name as a host without the Unicode interface shows it: narrowed without best fit.
std::wstring Narrowed(const std::wstring& name)
{
    char bytes[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, bytes, MAX_PATH, nullptr, nullptr);
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, bytes, -1, wide, MAX_PATH);
    return wide;
}

class EndToEnd : public ::testing::Test {
protected:
    std::wstring dir = FfTestMakeTempDir(L"e2e"), data = dir + L"\\data", out = dir + L"\\out";
    std::wstring pluginDir = dir + L"\\plugin", ini = dir + L"\\wincmd.ini";
    FfTestEngine engine;
    FfHostCtl host;

    void SetUp() override
    {
        // Sizes differ so that the engine's size order fixes the listing's order.
        ASSERT_TRUE(FfTestMakeTree(data, {{L"a\\zebra.txt"}, {L"a2\\zebra.txt"}, {L"pl", 0, 0, true}}));
        FfTestWriteBytes(data + L"\\a\\zebra.txt", "the first zebra");
        FfTestWriteBytes(data + L"\\a2\\zebra.txt", "the second zebra, longer");
        FfTestWriteBytes(data + L"\\pl\\" + kLodz, "the real one, the longer of the two");
        FfTestWriteBytes(data + L"\\pl\\" + kLookAlike, "the look-alike");
        CreateDirectoryW(out.c_str(), nullptr);
        CreateDirectoryW(pluginDir.c_str(), nullptr);
        // A private copy of the library: its settings and log live beside it.
        ASSERT_TRUE(CopyFileW(FfTestBinPath(kLibrary).c_str(), (pluginDir + L"\\" + kLibrary).c_str(), FALSE));
        FfTestWriteBytes(pluginDir + L"\\Fleetfinder.cfg", "[Display]\r\nLogging=Y\r\nSearchDelayMs=30\r\n"
                                                           "[Everything]\r\nSortOrder=SizeDescending\r\n[Safety]\r\nAllowDelete=Y\r\n");
        // Registered as after an earlier run: the library and its shortcut, which the host runs
        // itself as long as the library is not loaded.
        FfTestWriteBytes(ini, "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(pluginDir + L"\\" + kLibrary) +
                                  "\r\n[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\n"
                                  "[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nAutoLoad=1\r\n"
                                  "Headers1=Path\r\nContents1=[=<fs>.Path]\r\nOptions1=-1|1|96\r\n");
        FfEngineOptions options;
        options.roots.push_back(data);
        ASSERT_TRUE(engine.Start(options));
    }
    void TearDown() override
    {
        host.Quit();
        engine.Stop();
    }
    void StartHost(bool ansiOnly)
    {
        FfHostStartOptions options;
        options.leftFolder = data;
        options.rightFolder = out;
        options.commanderIni = ini;
        options.ansiOnly = ansiOnly;
        ASSERT_TRUE(host.Start(options));
    }
    std::string LogText() { return FfTestReadBytes(pluginDir + L"\\Fleetfinder.log"); }
    HWND Overlay()
    {
        HWND window = nullptr;
        while ((window = FindWindowExW(nullptr, window, L"FleetfinderOverlay", nullptr)) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == host.process.pi.dwProcessId && IsWindowVisible(window)) return window;
        }
        return nullptr;
    }
    // Typing reaches the overlay once it is in front with the focus in its search box; the
    // activation crosses processes and lags behind the window's showing.
    bool OverlayHasTheKeyboard()
    {
        HWND window = Overlay();
        GUITHREADINFO info = {sizeof info};
        return window && GetForegroundWindow() == window &&
               GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
               info.hwndFocus == GetDlgItem(window, 201);
    }
    HWND List() { return FindWindowExW(Overlay(), nullptr, L"LISTBOX", nullptr); }
    // Ctrl+Alt+F with the host in front. The hook reads the live modifier state, which can lag
    // behind injected keys under load: both are held until the system reports them down.
    void PressHotkey()
    {
        ASSERT_TRUE(host.BringToFront());
        ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == host.mainWindow; }));
        Key(VK_CONTROL, false);
        Key(VK_MENU, false);
        FfTestWaitFor([] { return GetAsyncKeyState(VK_CONTROL) < 0 && GetAsyncKeyState(VK_MENU) < 0; }, 2000);
        Key('F', false);
        Key('F', true);
        Key(VK_MENU, true);
        Key(VK_CONTROL, true);
        ASSERT_TRUE(FfTestWaitFor([&] { return OverlayHasTheKeyboard(); }, 10000)) << LogText();
        EXPECT_EQ(GetWindow(Overlay(), GW_OWNER), host.mainWindow);
    }
    // Types into the open overlay and waits for the search of the whole text and its rows.
    void Search(const std::wstring& text, int rows)
    {
        for (wchar_t c : text) FfTestTypeChar(c);
        std::string needle = "typed=\"" + FfTestUtf8(text) + "\"";
        ASSERT_TRUE(FfTestWaitFor([&] { return LogText().find(needle) != std::string::npos; }, 10000)) << LogText();
        ASSERT_TRUE(FfTestWaitFor([&] { return (int)SendMessageW(List(), LB_GETCOUNT, 0, 0) == rows; }, 5000))
            << FfTestUtf8(text) << "\n" << LogText();
    }
    // Enter (Ctrl+Enter appends) with only the given row selected, or none (-1: all published).
    void Publish(int row, bool append)
    {
        HWND list = List();
        SendMessageW(list, LB_SETSEL, FALSE, -1);
        if (row >= 0) SendMessageW(list, LB_SETSEL, TRUE, row);
        ASSERT_TRUE(FfTestWaitFor([&] { return SendMessageW(list, LB_GETSELCOUNT, 0, 0) == (row >= 0); }));
        if (append) Key(VK_CONTROL, false);
        Key(VK_RETURN, false);
        Key(VK_RETURN, true);
        if (append) Key(VK_CONTROL, true);
        ASSERT_TRUE(FfTestWaitFor([&] { return !Overlay(); })) << LogText();
    }
    // Waits until the active panel lists these names (in order) with these Path values.
    void ExpectListing(const std::vector<std::wstring>& names, const std::vector<std::wstring>& paths)
    {
        std::vector<std::wstring> gotNames, gotPaths;
        FfTestWaitFor([&] {
            gotNames.clear();
            gotPaths.clear();
            for (const FfHostItem& item : host.Items()) {
                gotNames.push_back(item.name);
                gotPaths.push_back(item.path);
            }
            return host.Folder() == kRoot && gotNames == names && gotPaths == paths;
        });
        EXPECT_EQ(host.Folder(), kRoot);
        EXPECT_EQ(gotNames, names);
        EXPECT_EQ(gotPaths, paths);
    }
    // The host's side of a step: shortcuts, calls into the plug-in, commands and records it
    // received, and what the left panel showed, in order.
    std::vector<std::wstring> Trace()
    {
        std::vector<std::wstring> seen;
        for (const FfHostEvent& e : host.Events()) {
            if (e.kind == L"command") seen.push_back(L"command " + std::to_wstring(e.number));
            if (e.kind == L"shortcut" || e.kind == L"fsinit" || e.kind == L"changedir" ||
                (e.kind == L"folder" && e.number == FF_HOST_LEFT))
                seen.push_back(e.kind + L" " + e.path);
        }
        return seen;
    }
    int CountEvents(const wchar_t* kind)
    {
        int n = 0;
        for (const FfHostEvent& e : host.Events()) n += e.kind == kind;
        return n;
    }
};

// Each road from a host start: the first Ctrl+Alt+F runs the host's own shortcut, which loads
// the library (FsInit before any listing) in the plug-in's folder; the plug-in sends the panel
// back (cm_GotoPreviousDir) and opens the overlay. Enter's change-folder record names the
// first entry. Then a search, Enter, and copies of
// what was published, through the host's Unicode functions or its 8-bit ones. Through the 8-bit
// road the name the code page lacks can never stand for its look-alike's file.
TEST_F(EndToEnd, BothRoadsFromTheFirstPressToTheCopy)
{
    const std::wstring lodz = data + L"\\pl\\" + kLodz, lookAlike = data + L"\\pl\\" + kLookAlike;
    struct Road {
        bool ansiOnly;
        const wchar_t* init;
        std::wstring lodzName;  // as the host lists it
        std::wstring lodzPath;  // its Path column
        int lodzCopy;           // the host's copy of it
    } roads[] = {
        {false, L"FsInitW", kLodz, lodz, 0},
        {true, L"FsInit", Narrowed(kLodz), L"", 2},
    };
    for (const Road& road : roads) {
        SCOPED_TRACE(road.ansiOnly ? "8-bit road" : "Unicode road");
        host.Quit();
        StartHost(road.ansiOnly);
        ASSERT_TRUE(host.ClearEvents());
        PressHotkey();
        ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == data; })) << LogText();

        FfHostEvent init;
        ASSERT_TRUE(host.WaitForEvent(L"fsinit", 0, &init));
        EXPECT_EQ(init.second, road.init);
        EXPECT_EQ(Trace(), (std::vector<std::wstring>{L"shortcut " + kRoot + L"\\", L"fsinit Fleetfinder",
                                                    L"folder " + kRoot, L"command 570", L"folder " + data}));
        Search(L"raport", 2);
        ASSERT_TRUE(host.ClearEvents());
        Publish(-1, false);
        ExpectListing({road.lodzName, kLookAlike}, {road.lodzPath, lookAlike});
        for (const std::wstring& name : {kLodz, kLookAlike}) DeleteFileW((out + L"\\" + name).c_str());
        // The host shows the folder with the cursor on the entry the record names, named as that
        // host lists it (an 8-bit host could not find the whole name among its narrowed ones).
        EXPECT_EQ(Trace(), (std::vector<std::wstring>{L"changedir " + kRoot + L"\\" + road.lodzName, L"folder " + kRoot}));
        EXPECT_EQ(host.CurrentItem(), road.lodzName);
        EXPECT_EQ(host.CopyToOtherPanel(road.lodzName), road.lodzCopy);
        EXPECT_EQ(host.CopyToOtherPanel(kLookAlike), 0);
        EXPECT_EQ(FfTestReadBytes(out + L"\\" + kLookAlike), FfTestReadBytes(lookAlike));
        EXPECT_EQ(FfTestReadBytes(out + L"\\" + road.lodzName), road.lodzCopy ? "" : FfTestReadBytes(lodz));
        EXPECT_EQ(host.Names(FF_HOST_RIGHT).size(), road.lodzCopy ? 1u : 2u);
    }
}

// Searches published one after the other into a panel that already shows the plug-in's folder
// (it must be listed again), "path:." scoped to a real folder and not to its longer sibling, and
// the host's copy protocol on what was published: the first call never carries overwrite, an
// existing target is the user's question, and a move takes the real file away.
TEST_F(EndToEnd, PublishingIntoTheShownFolderThenTheCopyProtocol)
{
    StartHost(false);
    ASSERT_TRUE(host.SetFolder(FF_HOST_LEFT, data + L"\\a"));
    PressHotkey();  // the cold load sends the panel back where it was
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == data + L"\\a"; })) << LogText();
    const std::wstring one = data + L"\\a\\zebra.txt", two = data + L"\\a2\\zebra.txt";
    struct Session {
        const wchar_t* typed;
        int rows, selected;
        bool append;
        std::vector<std::wstring> names, paths;
    } sessions[] = {
        {L"path:. zebra", 1, -1, false, {L"zebra.txt"}, {one}},
        {L"raport", 2, 1, false, {kLookAlike}, {data + L"\\pl\\" + kLookAlike}},
        {L"zebra", 2, -1, true, {kLookAlike, L"zebra.txt", L"zebra (2).txt"}, {data + L"\\pl\\" + kLookAlike, two, one}},
    };
    for (const Session& s : sessions) {
        SCOPED_TRACE(FfTestUtf8(s.typed));
        if (Overlay() == nullptr) {
            ASSERT_TRUE(host.ClearEvents());
            PressHotkey();
            EXPECT_EQ(CountEvents(L"shortcut"), 0) << "once loaded, the plug-in's hook takes the press";
        }
        Search(s.typed, s.rows);
        Publish(s.selected, s.append);
        ExpectListing(s.names, s.paths);
    }

    struct Copy {
        const char* label;
        bool move;
        const wchar_t* name;
        const char* existing;  // the target's bytes before, when it exists
        int answer, result;
        std::string after;     // the target's bytes after
    } copies[] = {
        {"new target", false, L"zebra (2).txt", nullptr, FF_HOST_OVERWRITE_YES, 0, FfTestReadBytes(one)},
        {"exists, the user declines", false, L"zebra (2).txt", "older", FF_HOST_OVERWRITE_NO, FF_HOST_OP_SKIPPED, "older"},
        {"exists, the user confirms", false, L"zebra (2).txt", "older", FF_HOST_OVERWRITE_YES, 0, FfTestReadBytes(one)},
        {"move", true, L"zebra.txt", nullptr, FF_HOST_OVERWRITE_YES, 0, FfTestReadBytes(two)},
    };
    for (const Copy& c : copies) {
        SCOPED_TRACE(c.label);
        std::wstring target = out + L"\\" + c.name;
        DeleteFileW(target.c_str());
        if (c.existing) FfTestWriteBytes(target, c.existing);
        ASSERT_TRUE(host.ClearEvents());
        ASSERT_TRUE(host.SetOverwriteAnswer(c.answer));
        EXPECT_EQ(c.move ? host.MoveToOtherPanel(c.name) : host.CopyToOtherPanel(c.name), c.result);
        EXPECT_EQ(FfTestReadBytes(target), c.after);
        EXPECT_EQ(CountEvents(L"exists"), c.existing ? 1 : 0);
        std::vector<std::wstring> names = host.Names();
        EXPECT_EQ(std::find(names.begin(), names.end(), c.name) != names.end(), !c.move);
    }
    EXPECT_FALSE(FfTestFileExists(two));
    EXPECT_TRUE(FfTestFileExists(one));

    // An open overlay follows the host's window when the user moves it (the host in front: its
    // panel keeps the focus that places the overlay; the host started at 100, 80).
    PressHotkey();
    RECT before = {}, now = {};
    GetWindowRect(Overlay(), &before);
    ASSERT_TRUE(host.BringToFront());
    ASSERT_TRUE(host.MoveMainWindow(140, 110, 900, 600));
    EXPECT_TRUE(FfTestWaitFor([&] {
        return GetWindowRect(Overlay(), &now) && now.left == before.left + 40 && now.top == before.top + 30;
    })) << now.left - before.left << "," << now.top - before.top;
}

// A filter picked from the menu, against the 1.4 engine and then the 1.5 alpha, each with its own
// filter file: the same files, the 1.4 engine sent the filter's search (it knows no filter:), the
// 1.5a its name.
TEST_F(EndToEnd, AFilterPickedGivesTheSameFilesFromA14AndA15aEngine)
{
    const std::wstring filters = dir + L"\\engine";
    CreateDirectoryW(filters.c_str(), nullptr);
    FfTestWriteBytes(filters + L"\\Filters.csv",
                     "Name,Case,Whole Word,Path,Diacritics,Regex,Search,Macro,Key\r\n\"EVERYTHING\",0,0,0,0,0,\"\",\"\",\"\"\r\n"
                     "\"DOCUMENT\",0,1,0,0,0,\"ext:txt\",\"doc\",\"\"\r\n");
    FfTestWriteBytes(filters + L"\\Filters-1.5a.csv",
                     "Name,Case,Whole Word,Path,Diacritics,Prefix,Suffix,Ignore Punctuation,Ignore Whitespace,Regex,Search,"
                     "Columns,Sort,Descending,View,Macro,Key\r\n\"EVERYTHING\",0,0,0,0,0,0,0,0,0,\"\"\r\n"
                     "\"DOCUMENT\",0,1,0,0,0,0,0,0,0,\"ext:txt\",\"\",0,0,0,\"doc\",\"\"\r\n");
    FfTestWriteBytes(pluginDir + L"\\Fleetfinder.cfg", "[Display]\r\nLogging=Y\r\nSearchDelayMs=30\r\n[Everything]\r\n"
                     "SortOrder=SizeDescending\r\nEverythingIniPath=" + FfTestUtf8(filters) + "\r\n");
    FfTestWriteBytes(data + L"\\a\\zebra.log", "not a document");
    StartHost(false);
    std::vector<std::wstring> listed[2];
    for (int round = 0; round < 2; round++) {
        SCOPED_TRACE(round ? "1.5a" : "1.4");
        FfEngineOptions options;
        options.roots.push_back(data);
        options.filtersDir = filters;
        options.instance = round ? L"1.5a" : L"";
        ASSERT_TRUE(engine.Start(options));
        PressHotkey();
        Search(L"zebra", round ? 2 : 3);  // the second opening keeps the filter picked in the first
        const std::string picked = "filter=\"DOCUMENT\" typed=\"zebra\"";
        auto runs = [&] {
            size_t n = 0;
            std::string log = LogText();
            for (size_t at = log.find(picked); at != std::string::npos; at = log.find(picked, at + 1)) n++;
            return n;
        };
        // The second opening's own search with the remembered filter comes before the pick.
        ASSERT_TRUE(FfTestWaitFor([&] { return runs() == (size_t)(2 * round); })) << LogText();
        HWND button = GetDlgItem(Overlay(), 203);
        RECT r;
        ASSERT_TRUE(GetWindowRect(button, &r));
        INPUT click[2] = {};
        click[0].type = click[1].type = INPUT_MOUSE;
        click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN, click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendInput(2, click, sizeof(INPUT));
        HWND menu = nullptr;
        ASSERT_TRUE(FfTestWaitFor([&] { return (menu = FindWindowW(L"#32768", nullptr)) && IsWindowVisible(menu); }));
        PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0), PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        ASSERT_TRUE(FfTestWaitFor([&] { return runs() == (size_t)(2 * round + 1) && SendMessageW(List(), LB_GETCOUNT, 0, 0) == 2; }))
            << LogText();
        wchar_t shown[64] = {};
        GetWindowTextW(button, shown, 64);
        EXPECT_STREQ(L"Document", shown);
        // The menu leaves the focus on its button: back into the search box for Enter.
        // The click may land while the closing menu still holds the pointer: it is made again then.
        ASSERT_TRUE(GetWindowRect(GetDlgItem(Overlay(), 201), &r));
        bool focused = false;
        for (int attempt = 0; attempt < 5 && !focused; attempt++) {
            SetCursorPos(r.left + 5, (r.top + r.bottom) / 2);
            SendInput(2, click, sizeof(INPUT));
            focused = FfTestWaitFor([&] { return OverlayHasTheKeyboard(); }, 2000);
        }
        ASSERT_TRUE(focused) << LogText();
        Publish(-1, false);
        ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == kRoot && host.Items().size() == 2; }));
        for (const FfHostItem& item : host.Items()) listed[round].push_back(item.path);
        std::wstring texts;
        for (const FfEngineQueryRecord& q : engine.Queries()) texts += q.text + L"\n";
        EXPECT_EQ(round == 1, texts.find(L"filter:\"DOCUMENT\" zebra file:") != std::wstring::npos) << FfTestUtf8(texts);
        EXPECT_EQ(round == 0, texts.find(L"wholeword:<ext:txt> zebra file:") != std::wstring::npos) << FfTestUtf8(texts);
        if (round == 0) { EXPECT_EQ(std::wstring::npos, texts.find(L"filter:")) << FfTestUtf8(texts); }
        // Each engine read its own file, in its own layout.
        const std::string file = FfTestUtf8(filters) + (round ? "\\Filters-1.5a.csv" : "\\Filters.csv");
        EXPECT_NE(std::string::npos, FfTestReadBytes(engine.logPath).find("filters=2 file=" + file + "\r\n"));
        ASSERT_TRUE(host.SetFolder(FF_HOST_LEFT, data));
    }
    EXPECT_EQ(listed[0], listed[1]);
    EXPECT_EQ(listed[0], (std::vector<std::wstring>{data + L"\\a2\\zebra.txt", data + L"\\a\\zebra.txt"}));
}

// Ctrl+I, B, U and R typed in the search box toggle the engine's match options: the query sent at
// once carries them, the box keeps its text, and Fleetfinder.cfg keeps them for the next start.
TEST_F(EndToEnd, MatchOptionKeysReachTheEngineAndAreRemembered)
{
    const std::wstring cfg = pluginDir + L"\\Fleetfinder.cfg";
    struct Step { WORD key; DWORD flags; } steps[] = {{'I', 0x1}, {'B', 0x3}, {'U', 0x7}, {'R', 0xF}, {'I', 0xE}};
    for (int start = 0; start < 2; start++) {
        SCOPED_TRACE(start ? "after a restart" : "first start");
        host.Quit();
        StartHost(false);
        PressHotkey();
        Search(L"zebra", 2);
        EXPECT_EQ(engine.Queries().back().searchFlags, start ? 0xEu : 0u) << "read from the settings at start";
        for (const Step& step : start ? std::vector<Step>() : std::vector<Step>(std::begin(steps), std::end(steps))) {
            size_t before = engine.Queries().size();
            Key(VK_CONTROL, false);
            FfTestWaitFor([] { return GetAsyncKeyState(VK_CONTROL) < 0; }, 2000);
            Key(step.key, false);
            Key(step.key, true);
            Key(VK_CONTROL, true);
            ASSERT_TRUE(FfTestWaitFor([&] {
                std::vector<FfEngineQueryRecord> sent = engine.Queries();
                return sent.size() > before && sent.back().searchFlags == step.flags;
            })) << (char)step.key << "\n" << LogText();
            wchar_t text[64] = L"";
            SendMessageW(GetDlgItem(Overlay(), 201), WM_GETTEXT, 64, (LPARAM)text);
            EXPECT_STREQ(L"zebra", text) << "no control character typed";
        }
    }
    std::string written = FfTestReadBytes(cfg);
    for (const char* line : {"MatchCase=N", "MatchWholeWord=Y", "MatchPath=Y", "Regex=Y", "SortOrder=SizeDescending"})
        EXPECT_NE(written.find(line), std::string::npos) << line;
}

POINT Centre(HWND window, const RECT* part = nullptr)
{
    RECT r = {};
    if (part) r = *part; else GetClientRect(window, &r);
    POINT p = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ClientToScreen(window, &p);
    return p;
}

// A result dragged out of the list with the mouse lands in the other panel as the real file: a
// copy, or with Shift held a move; the overlay stays open and a click without a drag selects.
TEST_F(EndToEnd, ResultsDraggedIntoThePanelAreCopiedOrMovedThere)
{
    StartHost(false);
    PressHotkey();
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == data; })) << LogText();
    const std::wstring one = data + L"\\a\\zebra.txt", two = data + L"\\a2\\zebra.txt";
    const std::string twoBytes = FfTestReadBytes(two);
    Search(L"zebra", 2);  // the larger one first: a2, then a
    HWND list = List(), target = host.PanelList(FF_HOST_RIGHT);
    struct Drag { int row; bool shift; const wchar_t* source; std::string bytes; int effect; } drags[] = {
        {0, false, L"a2", twoBytes, DROPEFFECT_COPY}, {1, true, L"a", FfTestReadBytes(one), DROPEFFECT_MOVE}};
    for (const Drag& d : drags) {
        SCOPED_TRACE(d.shift ? "move" : "copy");
        DeleteFileW((out + L"\\zebra.txt").c_str());
        ASSERT_TRUE(host.ClearEvents());
        RECT row = {};
        SendMessageW(list, LB_GETITEMRECT, d.row, (LPARAM)&row);
        // A click on the row selects it alone, as before; the drag starts from the selected row.
        FfTestMouseTo(Centre(list, &row));
        FfTestMouseTo(Centre(list, &row), MOUSEEVENTF_LEFTDOWN);
        FfTestMouseTo(Centre(list, &row), MOUSEEVENTF_LEFTUP);
        ASSERT_TRUE(FfTestWaitFor([&] { return SendMessageW(list, LB_GETSELCOUNT, 0, 0) == 1 && SendMessageW(list, LB_GETSEL, d.row, 0) > 0; }));
        // Pressed again further left, where it is no double-click.
        POINT from = Centre(list, &row), to = Centre(target);
        from.x -= 3 * GetSystemMetrics(SM_CXDOUBLECLK);
        FfTestMouseTo(from), FfTestMouseTo(from, MOUSEEVENTF_LEFTDOWN);
        if (d.shift) Key(VK_SHIFT, false);  // held once the button is down: no extended selection
        for (int step = 1; step <= 8; step++) FfTestMouseTo({from.x + (to.x - from.x) * step / 8, from.y + (to.y - from.y) * step / 8});
        FfTestMouseTo(to, MOUSEEVENTF_LEFTUP);
        if (d.shift) Key(VK_SHIFT, true);
        FfHostEvent drop;
        ASSERT_TRUE(host.WaitForEvent(L"drop", 10000, &drop)) << LogText();
        EXPECT_EQ(drop.number, d.effect);
        EXPECT_EQ(drop.path, out);
        EXPECT_EQ(drop.second, L"zebra.txt");
        EXPECT_EQ(FfTestReadBytes(out + L"\\zebra.txt"), d.bytes);
        EXPECT_EQ(FfTestFileExists(data + L"\\" + d.source + L"\\zebra.txt"), !d.shift);
        EXPECT_TRUE(Overlay() != nullptr) << "the overlay stays open";
    }
}

}  // namespace
