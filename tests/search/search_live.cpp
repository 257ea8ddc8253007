// The search against the stand-in engine and host: engine states, the search run with "path:.", the
// clipboard around the host's answer, the host's commands.
#include <algorithm>
#include <atomic>
#include <thread>
#include "bridge/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

FfResult g_a[64];

unsigned long long CpuMs()  // of this thread
{
    ULARGE_INTEGER t[4];
    GetThreadTimes(GetCurrentThread(), (FILETIME*)t, (FILETIME*)(t + 1), (FILETIME*)(t + 2), (FILETIME*)(t + 3));
    return (t[2].QuadPart + t[3].QuadPart) / 10000;
}

// C:\r\<stem>1000.txt... (sizes 1, 2, ...), then the folders C:\r\<stem>dir1000...
std::vector<FfEngineItem> Items(const wchar_t* stem, int files, int folders)
{
    std::vector<FfEngineItem> items;
    for (int i = 0; i < files + folders; i++) {
        std::wstring n = std::to_wstring(1000 + (i < files ? i : i - files)), path = L"C:\\r\\" + std::wstring(stem);
        items.push_back({path + (i < files ? n + L".txt" : L"dir" + n), 1u + i, 0, i >= files});
    }
    return items;
}

// Another program's thread holding the clipboard for a while; the caller joins it.
std::thread Hold(DWORD ms)
{
    HANDLE grabbed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::thread holder([=] {
        HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        while (!OpenClipboard(window)) Sleep(5);
        SetEvent(grabbed);
        Sleep(ms);
        CloseClipboard();
        DestroyWindow(window);
    });
    WaitForSingleObject(grabbed, 5000);
    CloseHandle(grabbed);
    return holder;
}

class Live : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_moduleHandle = GetModuleHandleW(nullptr);
        g_settings.sortType = 1;
        g_settings.maxResults = 200;
        g_searchBox = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, g_moduleHandle, nullptr);
    }
    void TearDown() override { DestroyWindow(g_searchBox), g_searchBox = nullptr, g_hostProcessId = 0; }
    int Query(const wchar_t* words, int cap, int* count)
    {
        *count = -7;
        return FfRunEverythingQuery(nullptr, words, L"file:", g_a, cap, count);
    }
    bool StartHost(FfHostCtl& ctl, const std::wstring& folder = L"")
    {
        FfHostStartOptions options;
        options.leftFolder = folder;
        g_hostProcessId = ctl.Start(options) ? ctl.process.pi.dwProcessId : 0;  // taken for our own
        return g_hostProcessId != 0;
    }
    FfTestEngine engine;
    FfHostCtl host;
};

// Each state of the exchange: what the call gives, how long it takes (the wait sleeps, leaving input
// queued for the overlay), and how many passes a search run then sends: an engine that cannot answer
// the files is not asked for folders.
TEST_F(Live, EngineStates)
{
    FfEngineOptions plain;
    plain.items = Items(L"alpha", 10, 2);
    ASSERT_TRUE(engine.Start(plain));
    g_settings.sortType = 14;
    int count;
    EXPECT_EQ(1, Query(L"alpha", 50, &count));
    const FfEngineQueryRecord q = engine.Queries().at(0);  // the record as the engine received it
    EXPECT_TRUE(q.wellFormed && q.copyDataId == 18 && q.replyId == 18 && q.replyWindow && q.cbData == 28 + 2 * 12);
    EXPECT_TRUE(q.maxResults == 50 && q.requestFlags == 84 && q.sortType == 14 && q.text == L"alpha file:");
    g_settings.sortType = 1;

    FfEngineOptions old = plain, loading = plain, hung = plain, late = plain, tooLate = plain, shortBlock = plain;
    old.oldEngine = shortBlock.shortBlock = true;
    loading.loadingMs = 600000;
    hung.hangMs = 2500;
    late.answerDelayMs = 300;
    tooLate.answerDelayMs = 1700;
    const int A = FF_ENGINE_ANSWERED, NA = FF_ENGINE_NOT_ANSWERING;
    struct Row { const char* label; FfEngineOptions& options; const wchar_t* words; int cap, ok, count, state;
                 DWORD minMs, maxMs; int passes; } rows[] = {  // passes -1: no search run
        {"answered", plain, L"alpha", 50, 1, 10, A, 0, 1000, 2},
        {"more matches than room", plain, L"alpha", 3, 1, 3, A, 0, 1000, -1},
        {"nothing matches", plain, L"zzz", 50, 1, 0, A, 0, 1000, -1},
        {"answered after the send returned", late, L"alpha", 50, 1, 10, A, 250, 1400, -1},
        {"a block too short to read", shortBlock, L"alpha", 50, 0, 0, A, 0, 1000, -1},
        {"too old for the query", old, L"alpha", 50, 0, 0, FF_ENGINE_TOO_OLD, 0, 1000, 1},
        {"loading its index", loading, L"alpha", 50, 0, 0, FF_ENGINE_LOADING, 0, 1000, 1},
        {"its window stops pumping", hung, L"alpha", 50, 0, 0, NA, 1450, 4000, -1},
        {"answered too late", tooLate, L"alpha", 50, 0, 0, NA, 1450, 4000, -1},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(engine.Start(r.options)) << r.label;
        g_engineState = -1;
        PostMessageW(g_searchBox, WM_CHAR, 'a', 0);
        SetTimer(g_searchBox, 1, 10, nullptr);
        DWORD start = GetTickCount();
        unsigned long long cpu = CpuMs();
        EXPECT_EQ(r.ok, Query(r.words, r.cap, &count)) << r.label;
        DWORD elapsed = GetTickCount() - start;
        EXPECT_LT(CpuMs() - cpu, 150u) << r.label;
        MSG msg;
        EXPECT_TRUE(KillTimer(g_searchBox, 1) && PeekMessageW(&msg, g_searchBox, WM_CHAR, WM_CHAR, PM_REMOVE)) << r.label;
        EXPECT_TRUE(r.count == count && r.state == g_engineState) << r.label << ": " << count << " " << g_engineState;
        EXPECT_TRUE(elapsed >= r.minMs && elapsed < r.maxMs) << r.label << ": " << elapsed << " ms";
        if (count > 0) { EXPECT_STREQ(L"C:\\r\\alpha1000.txt", g_a[0].path) << r.label; }
        if (r.cap == 3) { EXPECT_EQ(10u, g_engineLastTotal); }
        if (&r.options == &tooLate) {  // its reply comes during the next call, which must not take it
            memset(g_a, 0x5A, sizeof g_a);
            EXPECT_TRUE(!Query(L"alpha1004", 50, &count) && !count);
            EXPECT_EQ(sizeof g_a, (size_t)std::count((BYTE*)g_a, (BYTE*)(g_a + 64), 0x5A));
        }
        if (r.passes < 0) continue;
        size_t before = engine.Queries().size();
        SetWindowTextW(g_searchBox, L"alpha");
        FfRunSearchNow();
        EXPECT_EQ((size_t)r.passes, engine.Queries().size() - before) << r.label;
    }
    engine.Stop();
    // No engine, only classes that merely look like a named instance's.
    std::vector<HWND> decoys;
    for (const wchar_t* name : {L"EVERYTHING_TASKBAR_NOTIFICATION_(open", L"EVERYTHING_TASKBAR_NOTIFICATION_x)",
                                L"EVERYTHING_TASKBAR_NOTIFICATIONS"}) {
        WNDCLASSW wc = {0, DefWindowProcW, 0, 0, g_moduleHandle, nullptr, nullptr, nullptr, nullptr, name};
        RegisterClassW(&wc);
        decoys.push_back(CreateWindowExW(0, name, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, g_moduleHandle, nullptr));
    }
    EXPECT_TRUE(!Query(L"alpha", 50, &count) && g_engineState == FF_ENGINE_NOT_RUNNING);
    for (HWND w : decoys) DestroyWindow(w);
    // A named instance answers when no plain one runs; a plain one is asked first, and once it has
    // ended the named one again.
    FfEngineOptions named = plain;
    named.instance = FfEngineUniqueInstance(L"named");
    named.items.erase(named.items.begin(), named.items.begin() + 8);
    FfTestEngine plainToo;
    ASSERT_TRUE(engine.Start(named) && Query(L"alpha", 50, &count) && count == 2);
    ASSERT_TRUE(plainToo.Start(plain) && Query(L"alpha", 50, &count) && count == 10);
    plainToo.Stop();
    EXPECT_TRUE(Query(L"alpha", 50, &count) && count == 2);
}

// Query texts per filter and "path:.", the passes' caps, the engine's totals, files first, the
// chosen order.
TEST_F(Live, SearchRun)
{
    FfEngineOptions options;
    options.items = Items(L"report", 2, 1);
    for (const FfEngineItem& item : Items(L"cap", 520, 520)) options.items.push_back(item);
    ASSERT_TRUE(engine.Start(options));
    std::wstring folder = FfTestMakeTempDir(L"active"), in = L" path:\"" + folder + L"\\\"", doc = L"filter:\"Document\"";
    ASSERT_TRUE(StartHost(host, folder));
    const wchar_t* filters[][2] = {{L"<All Files>", L""}, {L"Document", L"ext:txt;doc"}, {L"Folder", L"folder:"},
                                   {L"Odd", L"Folder:x"}};
    g_filterCount = 0;
    for (auto& f : filters) FfAppendFilter(f[0], f[1]);
    // sortColumn -1: as the engine answered; queries: "cap text" of each query sent, joined by '|';
    // noHost: the host is not ours, so "path:." stays as typed.
    struct Row { std::wstring typed; int filter, maxResults, sortColumn; std::wstring queries; int count;
                 DWORD totalFiles, totalFolders; const wchar_t *first, *last; bool noHost; } rows[] = {
        {L"", 0, 200, -1, L"", 0, 0, 0, nullptr, nullptr},
        {L"report", 0, 200, -1, L"200 report file:|200 report folder:", 3, 2, 1, L"report1000.txt", L"reportdir1000"},
        {L"report", 0, 200, FF_SORT_SIZE, L"200 report file:|200 report folder:", 3, 2, 1, L"report1001.txt", nullptr},
        {L"report", 1, 200, -1, L"200 " + doc + L" report file:", 2, 2, 0, L"report1000.txt", L"report1001.txt"},
        {L"report", 2, 200, -1, L"200 filter:\"Folder\" report file:|200 filter:\"Folder\" report folder:", 1, 0, 1,
         L"reportdir1000", nullptr},
        {L"report", 3, 200, -1, L"200 filter:\"Odd\" report file:", 0, 0, 0, nullptr, nullptr},  // a capital F
        {L"cap", 0, 200, -1, L"200 cap file:|200 cap folder:", 400, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 300, -1, L"300 cap file:|200 cap folder:", 500, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 500, -1, L"500 cap file:", 500, 520, 0, nullptr, L"cap1499.txt"},
        {L"cap", 0, 1, -1, L"1 cap file:|1 cap folder:", 2, 520, 520, L"cap1000.txt", L"capdir1000"},
        {L"report path:.", 1, 200, -1, L"200 " + doc + L" report" + in + L" file:", 0, 0, 0, nullptr, nullptr},
        {L"PATH:. report", 1, 200, -1, L"200 " + doc + in + L" report file:", 0, 0, 0, nullptr, nullptr},
        {L"report path:.", 1, 200, -1, L"200 " + doc + L" report path:. file:", 2, 2, 0, nullptr, nullptr, true},
    };
    for (const Row& r : rows) {
        size_t before = engine.Queries().size();
        g_resultCount = 7;
        g_selectedFilter = r.filter;
        g_settings.maxResults = r.maxResults;
        g_localSortActive = r.sortColumn >= 0;
        g_sortColumn = r.sortColumn;
        g_sortDescending = 1;
        g_hostProcessId = r.noHost ? GetCurrentProcessId() : host.process.pi.dwProcessId;
        g_hostWindow = nullptr;
        SetWindowTextW(g_searchBox, r.typed.c_str());
        FfRunSearchNow();
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        std::wstring queries;
        for (size_t i = before; i < sent.size(); i++)
            queries += (i > before ? L"|" : L"") + std::to_wstring(sent[i].maxResults) + L" " + sent[i].text;
        EXPECT_EQ(r.queries, queries);
        ASSERT_EQ(r.count, g_resultCount) << FfTestUtf8(r.queries);
        if (!r.count) continue;
        EXPECT_TRUE(r.totalFiles == g_engineTotalFiles && r.totalFolders == g_engineTotalFolders) << FfTestUtf8(r.queries);
        EXPECT_TRUE(!r.first || (L"C:\\r\\" + std::wstring(r.first)) == g_results[0].path) << FfTestUtf8(r.queries);
        EXPECT_TRUE(!r.last || (L"C:\\r\\" + std::wstring(r.last)) == g_results[r.count - 1].path) << FfTestUtf8(r.queries);
        EXPECT_EQ(0, g_selectedIndex);
    }
}

// The clipboard as the user left it: text, a registered format, and private data only its program
// knows; read back as the text, "|bytes", "|private", and "|owned" while still the user's.
const UINT kBytes = RegisterClipboardFormatW(L"FfTestBytes");
HWND g_user;

bool Put(HWND owner, const std::wstring& text, bool full)
{
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    for (int i = text.empty(); i < (full ? 3 : 1); i++) {
        size_t size = i ? 8 : 2 * text.size() + 2;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
        memcpy(GlobalLock(block), i ? "private" : (const char*)text.c_str(), size);
        GlobalUnlock(block);
        SetClipboardData(i == 0 ? CF_UNICODETEXT : i == 1 ? kBytes : CF_PRIVATEFIRST, block);
    }
    return CloseClipboard();
}

std::wstring Clipboard()
{
    return FfTestClipboardText() + (IsClipboardFormatAvailable(kBytes) ? L"|bytes" : L"") +
           (IsClipboardFormatAvailable(CF_PRIVATEFIRST) ? L"|private" : L"") + (GetClipboardOwner() == g_user ? L"|owned" : L"");
}

std::thread g_holder;
DWORD g_holdAfterAnswerMs;

// A host whose clipboard another program takes between its answer and our reading of it: only a
// window of this process can order the two.
LRESULT CALLBACK GrabbedHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != FF_HOST_COMMAND_MESSAGE) return DefWindowProcW(window, message, wParam, lParam);
    Put(window, L"C:\\Grabbed", false);
    g_holder = Hold(g_holdAfterAnswerMs);
    return 1;
}

// The host of our own process: its change of folder and commands, its focused panel's rectangle, its
// active folder through the clipboard (what the user had is put back, never lost for a clipboard that
// was busy, nor rewritten when the host did not change it); gone or hung, it holds nothing up.
TEST_F(Live, HostCommandsAndTheClipboard)
{
    std::wstring folder = FfTestMakeTempDir(L"chdir \u00E9\u65E5");
    ASSERT_TRUE(StartHost(host));
    HWND main = FfFindHostWindow();
    EXPECT_EQ(host.mainWindow, main);
    FfHostEvent event;
    for (const std::wstring& path : {folder + L"\\missing-file.txt", folder}) {
        ASSERT_TRUE(host.ClearEvents());
        FfSendHostChangeDir(main, path.c_str());
        ASSERT_TRUE(host.WaitForEvent(L"changedir", 5000, &event));
        EXPECT_TRUE(path == event.path && event.second.empty() && event.letters == "SA") << FfTestUtf8(event.path);
    }
    EXPECT_EQ(folder, host.Folder());
    ASSERT_TRUE(host.ClearEvents());
    FfTriggerGoToPreviousDir(main);
    ASSERT_TRUE(host.WaitForEvent(L"command", 5000, &event) && event.number == FF_HOST_CM_GOTO_PREVIOUS_DIR);
    ASSERT_TRUE(host.SetFolder(FF_HOST_ACTIVE, folder));
    // The focused control's rectangle, when the focus is in the window asked about.
    RECT want, got;
    ASSERT_TRUE(host.BringToFront() && host.FocusRect(&want));
    EXPECT_TRUE(FfGetActivePanelRect(main, &got) && EqualRect(&want, &got));
    EXPECT_FALSE(FfGetActivePanelRect(host.controlWindow, &got) || FfGetActivePanelRect(nullptr, &got));
    // A second host, newer and so first in the system's search: each process finds its own.
    FfHostCtl second;
    ASSERT_TRUE(StartHost(second));
    EXPECT_EQ(second.mainWindow, FfFindHostWindow());
    g_hostProcessId = host.process.pi.dwProcessId;
    EXPECT_EQ(main, FfFindHostWindow());

    WNDCLASSW wc = {0, GrabbedHostProc, 0, 0, g_moduleHandle, nullptr, nullptr, nullptr, nullptr, L"FfGrabbedHost"};
    RegisterClassW(&wc);
    HWND grabbed = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
    g_user = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
    // host: 'H' ours, 'G' ours gone, 'P' the grabbed one above; full: else the clipboard starts empty.
    struct Row { const char* label; char host; bool full; DWORD holdBeforeMs, holdAfterMs; std::wstring found, after; } rows[] = {
        {"answered: read, then put back", 'H', true, 0, 0, folder, L"keep me|bytes"},
        {"empty before: empty after", 'H', false, 0, 0, folder, L""},
        {"busy when saved: the host is not asked", 'H', true, 1500, 0, L"", L"keep me|bytes|private|owned"},
        {"busy a moment after the answer: read, then put back", 'P', true, 0, 200, L"C:\\Grabbed", L"keep me|bytes"},
        {"busy long after the answer: the host's text stays", 'P', true, 0, 2000, L"", L"C:\\Grabbed"},
        {"gone: not rewritten", 'G', true, 0, 0, L"", L"keep me|bytes|private|owned"},
    };
    for (const Row& r : rows) {
        if (r.host == 'G') { ASSERT_TRUE(host.Quit()); }
        ASSERT_TRUE(Put(g_user, r.full ? L"keep me" : L"", r.full));
        g_holdAfterAnswerMs = r.holdAfterMs;
        if (r.holdBeforeMs) g_holder = Hold(r.holdBeforeMs);
        wchar_t found[FF_ACTIVE_FOLDER_MAX];
        unsigned long long cpu = CpuMs();
        int ok = FfQueryHostActiveFolder(r.host == 'P' ? grabbed : main, found, FF_ACTIVE_FOLDER_MAX);
        EXPECT_LT(CpuMs() - cpu, 150u) << r.label;  // waiting for the clipboard sleeps
        if (g_holder.joinable()) g_holder.join();
        EXPECT_TRUE(ok == !r.found.empty() && r.found == found) << r.label << ": " << FfTestUtf8(found);
        EXPECT_EQ(r.after, Clipboard()) << r.label;
    }
    DestroyWindow(g_user);
    DestroyWindow(grabbed);
    // Gone: the last window found is kept, has no rectangle, and sends to it return at once.
    EXPECT_TRUE(FfFindHostWindow() == main && !FfGetActivePanelRect(main, &got));
    DWORD start = GetTickCount();
    FfSendHostCommand(main, FF_HOST_CM_GOTO_PREVIOUS_DIR);
    FfSendHostChangeDir(main, L"C:\\");
    EXPECT_LT(GetTickCount() - start, 500u);
    // A window whose thread stops answering holds us one send's time-out at most.
    std::atomic<HWND> hung{nullptr};
    std::thread thread([&] {
        hung = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
        Sleep(FF_HOST_SEND_TIMEOUT_MS + 500);  // never pumps its messages
        DestroyWindow(hung);
    });
    FfTestWaitFor([&] { return hung != nullptr; });
    start = GetTickCount();
    FfSendHostCommand(hung, FF_HOST_CM_COPY_SOURCE_PATH);
    EXPECT_LT(GetTickCount() - start, FF_HOST_SEND_TIMEOUT_MS + 1500u);
    thread.join();
}

}  // namespace
