// The search run against the stand-in engine and host: query texts, passes, order, "path:.", clipboard.
#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <string.h>
#include "host/host_commands.h"
#include "core/core.h"
#include "core/text.h"
#include "enginectl.h"
#include "fftest.h"
#include "hostctl.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search_test_util.h"

namespace {

class SearchRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_moduleHandle = GetModuleHandleW(nullptr);
        g_settings.sortType = 1;
        g_settings.maxResults = 200;
        g_localSortActive = 0;
        g_overlayWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                          g_moduleHandle, nullptr);
        g_searchBox = CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, g_overlayWindow, nullptr,
                                      g_moduleHandle, nullptr);
        g_resultList = CreateWindowExW(0, L"LISTBOX", L"", WS_CHILD | LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_OWNERDRAWFIXED, 0, 0, 10, 10,
                                       g_overlayWindow, nullptr, g_moduleHandle, nullptr);
        SendMessageW(g_searchBox, EM_SETLIMITTEXT, 0, 0);
        g_filterCount = 0;
        FfAppendFilter(L"<All Files>", L"");
        FfAppendFilter(L"Document", L"ext:txt;doc");
        FfAppendFilter(L"Folder", L"folder:");
        FfAppendFilter(L"Odd", L"Folder:x");
        g_selectedFilter = 0;
    }
    void TearDown() override
    {
        DestroyWindow(g_overlayWindow);
        g_overlayWindow = g_searchBox = g_resultList = nullptr;
        g_resultCount = 0;
    }
    void Type(const std::wstring& text) { SetWindowTextW(g_searchBox, text.c_str()); }
    std::vector<std::wstring> Texts()
    {
        std::vector<std::wstring> texts;
        for (const FfEngineQueryRecord& q : engine.Queries()) texts.push_back(q.text);
        return texts;
    }
    FfTestEngine engine;
};

TEST_F(SearchRun, QueryTextsPerFilter)
{
    FfLogCapture logs(L"run_texts");
    FfEngineOptions options;
    options.items = FfTestItems(L"report", 2, 1);
    ASSERT_TRUE(engine.Start(options));
    // An empty box asks nothing, logs nothing and empties the set.
    g_resultCount = 5;
    FfRunSearchNow();
    EXPECT_EQ(0, g_resultCount);
    EXPECT_EQ(-1, g_selectedIndex);
    EXPECT_EQ(0, engine.QueriesReceived());
    EXPECT_EQ(L"", logs.ReadLog());

    struct Case {
        int filter;
        std::vector<std::wstring> texts;
        int total;
    } cases[] = {
        {0, {L"report file:", L"report folder:"}, 3},
        {1, {L"filter:\"Document\" report file:"}, 2},
        {2, {L"filter:\"Folder\" report file:", L"filter:\"Folder\" report folder:"}, 1},
        {3, {L"filter:\"Odd\" report file:"}, 0},  // "Folder:" with a capital F is no folder clause
    };
    size_t seen = 0;
    Type(L"report");
    for (const Case& c : cases) {
        g_selectedFilter = c.filter;
        FfRunSearchNow();
        std::vector<std::wstring> texts = Texts();
        std::vector<std::wstring> added(texts.begin() + seen, texts.end());
        seen = texts.size();
        EXPECT_EQ(c.texts, added) << c.filter;
        EXPECT_EQ(c.total, g_resultCount) << c.filter;
    }
}

// The overlay's list takes a count; a list without that style gets a row per result. Either
// way a refill leaves only the first row selected, whatever the last result set had.
TEST_F(SearchRun, BothListKindsShowEveryResultWithOnlyTheFirstSelected)
{
    FfEngineOptions options;
    options.items = FfTestItems(L"many", 40, 5);
    options.items.push_back(FfTestItems(L"few", 2, 1)[0]);
    ASSERT_TRUE(engine.Start(options));
    for (DWORD style : {(DWORD)FF_RESULT_LIST_STYLE, (DWORD)(WS_CHILD | LBS_EXTENDEDSEL | LBS_OWNERDRAWFIXED)}) {
        DestroyWindow(g_resultList);
        g_resultList = CreateWindowExW(0, L"LISTBOX", L"", style, 0, 0, 10, 10, g_overlayWindow, nullptr,
                                       g_moduleHandle, nullptr);
        ASSERT_NE(nullptr, g_resultList);
        Type(L"many");
        FfRunSearchNow();
        ASSERT_EQ(45, g_resultCount);
        EXPECT_EQ(45, (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0)) << std::hex << style;
        SendMessageW(g_resultList, LB_SETSEL, TRUE, 0x2A);
        SendMessageW(g_resultList, LB_SETSEL, TRUE, 3);
        Type(L"few");
        FfRunSearchNow();
        ASSERT_EQ(1, g_resultCount);
        EXPECT_EQ(1, (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0)) << std::hex << style;
        int indexes[FF_SELECTED_INDEXES_MAX];
        ASSERT_EQ(1, FfGetSelectedResultIndexes(indexes)) << std::hex << style;
        EXPECT_EQ(0, indexes[0]);
        Type(L"many");
        FfRunSearchNow();
        EXPECT_EQ(1, (int)SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0)) << "rows selected before came back";
    }
}

TEST_F(SearchRun, WithoutAnEngineEachPassLooksAndFails)
{
    FfLogCapture logs(L"run_no_engine");
    Type(L"report");
    g_resultCount = 3;
    FfRunSearchNow();
    EXPECT_EQ(0, g_resultCount);
    EXPECT_EQ(2, logs.CountInLog(L"Everything's IPC window not found"));
    EXPECT_EQ(1, logs.CountInLog(L"files=0(ok=0) folders=0(ok=0) total=0"));
}

TEST_F(SearchRun, FilesBeforeFoldersAndTheSummaryLine)
{
    FfLogCapture logs(L"run_order");
    FfEngineOptions options;
    options.items = FfTestItems(L"mix", 3, 2);
    // Folder names that sort before the files by name: the engine answers them first.
    FfEngineItem early;
    early.path = L"C:\\r\\aaa_mixdir";
    early.isFolder = true;
    options.items.push_back(early);
    ASSERT_TRUE(engine.Start(options));
    Type(L"mix");
    FfRunSearchNow();
    ASSERT_EQ(6, g_resultCount);
    for (int i = 0; i < 3; i++) EXPECT_EQ(0u, g_results[i].isFolder) << i;
    EXPECT_STREQ(L"C:\\r\\mix1000.txt", g_results[0].path);
    EXPECT_STREQ(L"C:\\r\\aaa_mixdir", g_results[3].path);
    EXPECT_STREQ(L"C:\\r\\mixdir1001", g_results[5].path);
    EXPECT_EQ(0, g_selectedIndex);
    EXPECT_EQ(6, (int)SendMessageW(g_resultList, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, (int)SendMessageW(g_resultList, LB_GETSEL, 0, 0));
    EXPECT_EQ(1, logs.CountInLog(L"FfRunSearchNow: filter=\"<All Files>\" typed=\"mix\" includeFolders=1 -> "
                                 L"files=3(ok=1) folders=3(ok=1) total=6"));

    // With a column chosen, the next result set arrives sorted by it.
    g_localSortActive = 1;
    g_sortColumn = FF_SORT_SIZE;
    g_sortDescending = 1;
    FfRunSearchNow();
    ASSERT_EQ(6, g_resultCount);
    EXPECT_STREQ(L"C:\\r\\mix1002.txt", g_results[0].path);
}

TEST_F(SearchRun, FolderPassCaps)
{
    FfEngineOptions options;
    options.items = FfTestItems(L"cap", 520, 520);
    ASSERT_TRUE(engine.Start(options));
    struct Case {
        int maxResults;
        std::vector<DWORD> caps;  // maxResults of each query sent
        int total;
    } cases[] = {
        {200, {200, 200}, 400},
        {300, {300, 200}, 500},
        {500, {500}, 500},
        {1, {1, 1}, 2},
    };
    Type(L"cap");
    size_t seen = 0;
    for (const Case& c : cases) {
        g_settings.maxResults = c.maxResults;
        FfRunSearchNow();
        std::vector<FfEngineQueryRecord> queries = engine.Queries();
        std::vector<DWORD> caps;
        for (size_t i = seen; i < queries.size(); i++) caps.push_back(queries[i].maxResults);
        seen = queries.size();
        EXPECT_EQ(c.caps, caps) << c.maxResults;
        EXPECT_EQ(c.total, g_resultCount) << c.maxResults;
        // The engine's own counts of matches, not what fitted.
        EXPECT_EQ(520u, g_engineTotalFiles) << c.maxResults;
        EXPECT_EQ(c.caps.size() > 1 ? 520u : 0u, g_engineTotalFolders) << c.maxResults;
    }
}

// An engine that refuses the query or is still loading is not asked for folders as well.
TEST_F(SearchRun, AnEngineThatCannotAnswerIsAskedOnce)
{
    FfLogCapture logs(L"run_cannot");
    FfEngineOptions old, loading;
    old.oldEngine = true;
    loading.loadingMs = 600000;
    struct Case { FfEngineOptions* options; int state; } cases[] = {
        {&old, FF_ENGINE_TOO_OLD}, {&loading, FF_ENGINE_LOADING}};
    Type(L"report");
    for (const Case& c : cases) {
        ASSERT_TRUE(engine.Start(*c.options));
        FfRunSearchNow();
        EXPECT_EQ(c.state, g_engineState);
        EXPECT_EQ(1u, engine.Queries().size());
        EXPECT_EQ(0, g_resultCount);
    }
    EXPECT_EQ(2, logs.CountInLog(L"files=0(ok=0) folders=0(ok=0) total=0"));
}

// ---- "path:." through the host, and the clipboard as it was -----------------------------

std::string DibBytes()
{
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = 4;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::string bytes((const char*)&header, sizeof header);
    for (int i = 0; i < 8 * 4; i++) bytes.push_back((char)(i * 7 + 1));
    return bytes;
}

std::string DropBytes(const std::vector<std::wstring>& files)
{
    DROPFILES drop = {};
    drop.pFiles = sizeof drop;
    drop.fWide = TRUE;
    std::string bytes((const char*)&drop, sizeof drop);
    for (const std::wstring& f : files) bytes.append((const char*)f.c_str(), 2 * (f.size() + 1));
    bytes.append(2, '\0');
    return bytes;
}

HGLOBAL Global(const std::string& bytes)
{
    HGLOBAL g = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    memcpy(GlobalLock(g), bytes.data(), bytes.size());
    GlobalUnlock(g);
    return g;
}

struct ClipboardState {
    std::vector<UINT> formats;
    std::wstring text;
    std::string dib;
    std::vector<std::wstring> files;
};

ClipboardState ReadClipboard()
{
    ClipboardState state;
    if (!OpenClipboard(nullptr)) return state;
    for (UINT f = EnumClipboardFormats(0); f; f = EnumClipboardFormats(f)) state.formats.push_back(f);
    if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
        state.text = (const wchar_t*)GlobalLock(h);
        GlobalUnlock(h);
    }
    if (HANDLE h = GetClipboardData(CF_DIB)) {
        state.dib.assign((const char*)GlobalLock(h), DibBytes().size());
        GlobalUnlock(h);
    }
    if (HANDLE h = GetClipboardData(CF_HDROP)) {
        HDROP drop = (HDROP)h;
        UINT n = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < n; i++) {
            wchar_t name[MAX_PATH];
            DragQueryFileW(drop, i, name, MAX_PATH);
            state.files.push_back(name);
        }
    }
    CloseClipboard();
    return state;
}

int IndexOf(const std::vector<UINT>& formats, UINT f)
{
    for (size_t i = 0; i < formats.size(); i++)
        if (formats[i] == f) return (int)i;
    return -1;
}

class PathToken : public SearchRun {
protected:
    void SetUp() override
    {
        SearchRun::SetUp();
        folder = FfTestMakeTempDir(L"activefolder");
        FfEngineOptions options;
        options.items = FfTestItems(L"notes", 1, 0);
        ASSERT_TRUE(engine.Start(options));
        FfHostStartOptions hostOptions;
        hostOptions.leftFolder = folder;
        ASSERT_TRUE(host.Start(hostOptions));
        g_hostProcessId = host.process.pi.dwProcessId;  // the plug-in code here takes it for its own
    }
    void TearDown() override
    {
        host.Quit();
        g_hostProcessId = 0;
        SearchRun::TearDown();
    }
    std::wstring folder;
    FfHostCtl host;
};

TEST_F(PathToken, SubstitutedWithTheActiveFolder)
{
    FfLogCapture logs(L"token", true);
    struct Case {
        std::wstring typed, query;
    } cases[] = {
        {L"notes path:.", L"notes path:\"" + folder + L"\\\" file:"},
        {L"PATH:. notes", L"path:\"" + folder + L"\\\" notes file:"},
        {L"notes path:.txt", L"notes path:.txt file:"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(host.ClearEvents());
        Type(c.typed);
        FfRunSearchNow();
        std::vector<std::wstring> texts = Texts();
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(c.query, texts[texts.size() - 2]) << FfTestUtf8(c.typed);
    }
    std::wstring debug = logs.ReadDebugLog();
    EXPECT_NE(std::wstring::npos, debug.find(L"path:. substituted with " + folder));
    int commands = 0;
    for (const FfHostEvent& e : host.Events())
        if (e.kind == L"command" && e.number == 2029) commands++;
    EXPECT_EQ(0, commands);  // the last case had no token: the host was not asked

    // A real folder named after the plug-in is a folder like any other.
    std::wstring named = folder + L"\\Fleetfinder";
    ASSERT_TRUE(CreateDirectoryW(named.c_str(), nullptr));
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, named));
    Type(L"notes path:.");
    FfRunSearchNow();
    EXPECT_EQ(L"notes path:\"" + named + L"\\\" file:", Texts()[Texts().size() - 2]);
}

// Whatever the clipboard held (several formats, or nothing) is there again afterwards, in its order.
TEST_F(PathToken, ClipboardIsPutBackAsItWas)
{
    std::vector<std::wstring> files = {L"C:\\copied\\one.txt", L"C:\\copied\\two \u00E9.bin"};
    for (bool full : {true, false}) {
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        if (full) {
            SetClipboardData(CF_UNICODETEXT, Global(std::string((const char*)L"keep me", 16)));
            SetClipboardData(CF_DIB, Global(DibBytes()));
            SetClipboardData(CF_HDROP, Global(DropBytes(files)));
        }
        CloseClipboard();
        ClipboardState before = ReadClipboard();
        ASSERT_TRUE(host.ClearEvents());
        Type(L"notes path:.");
        FfRunSearchNow();
        ASSERT_TRUE(host.WaitForEvent(L"command", 2000));
        EXPECT_EQ(L"notes path:\"" + folder + L"\\\" file:", Texts()[Texts().size() - 2]);

        ClipboardState after = ReadClipboard();
        if (!full) {
            EXPECT_TRUE(after.formats.empty());
            continue;
        }
        EXPECT_EQ(L"keep me", after.text);
        EXPECT_EQ(DibBytes(), after.dib);
        EXPECT_EQ(files, after.files);
        int text = IndexOf(after.formats, CF_UNICODETEXT), dib = IndexOf(after.formats, CF_DIB),
            drop = IndexOf(after.formats, CF_HDROP);
        ASSERT_GE(text, 0);
        EXPECT_LT(text, dib);
        EXPECT_LT(dib, drop);
        EXPECT_EQ(IndexOf(before.formats, CF_UNICODETEXT) < IndexOf(before.formats, CF_HDROP), text < drop);
    }
}

// The host's panel inside our own folder, or a host that does not answer: the token stays.
TEST_F(PathToken, LeftAsTypedWhenTheFolderCannotBeHad)
{
    FfLogCapture logs(L"token_literal", true);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(CF_UNICODETEXT, Global(std::string((const char*)L"C:\\users own text", 36)));
    CloseClipboard();

    // A main window that ignores the command: the user's own text is no folder.
    host.Quit();
    g_hostProcessId = 0;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = g_moduleHandle;
    wc.lpszClassName = L"TTOTAL_CMD";
    RegisterClassW(&wc);
    HWND mute = CreateWindowExW(0, L"TTOTAL_CMD", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
    ASSERT_NE(nullptr, mute);
    Type(L"notes path:.");
    FfRunSearchNow();
    EXPECT_EQ(L"notes path:. file:", Texts().front());
    EXPECT_EQ(L"C:\\users own text", ReadClipboard().text);
    DestroyWindow(mute);
    EXPECT_NE(std::wstring::npos,
              logs.ReadDebugLog().find(L"path:. typed but the active panel's current folder could not be "
                                       L"determined - left as literal text."));
}

}  // namespace
