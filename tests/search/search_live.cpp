// The search against the stand-in engine and host: engine states, the search run with "path:.", the
// clipboard around the host's answer, the host's commands.
#include <thread>
#include "bridge/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

FfResult g_a[64];

unsigned long long CpuMs()
{
    FILETIME created, exited, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
    return ((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) / 10000 +
           ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime) / 10000;
}

// C:\r\<stem>1000.txt... (sizes 1, 2, ...), then the folders C:\r\<stem>dir1000...
std::vector<FfEngineItem> Items(const wchar_t* stem, int files, int folders)
{
    std::vector<FfEngineItem> items;
    for (int i = 0; i < files + folders; i++) {
        std::wstring n = std::to_wstring(1000 + (i < files ? i : i - files));
        items.push_back({L"C:\\r\\" + std::wstring(stem) + (i < files ? n + L".txt" : L"dir" + n), 1u + i, 0, i >= files});
    }
    return items;
}

// Another program's thread holding the clipboard for a while; joined by the caller.
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
        g_searchBox = CreateWindowExW(0, L"EDIT", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(g_searchBox);
        g_searchBox = nullptr;
        g_hostProcessId = 0;
    }
    int Query(const wchar_t* words, int cap, int* count)
    {
        *count = -7;
        return FfRunEverythingQuery(nullptr, words, L"file:", g_a, cap, count);
    }
    bool StartHost(FfHostCtl& ctl, const std::wstring& folder = L"")
    {
        FfHostStartOptions options;
        options.leftFolder = folder;
        if (!ctl.Start(options)) return false;
        g_hostProcessId = ctl.process.pi.dwProcessId;  // the plug-in code here takes it for its own
        return true;
    }
    int Asked2029()
    {
        int asked = 0;
        for (const FfHostEvent& e : host.Events()) asked += e.kind == L"command" && e.number == 2029;
        return asked;
    }
    FfTestEngine engine;
    FfHostCtl host;
};

// Each state of the exchange: what the call gives, how long it takes (the wait sleeps), and how
// many passes a search run then sends: an engine that cannot answer the files is not asked for folders.
TEST_F(Live, EngineStates)
{
    FfEngineOptions plain;
    plain.items = Items(L"alpha", 10, 2);
    ASSERT_TRUE(engine.Start(plain));
    g_settings.sortType = 14;
    int count;
    EXPECT_EQ(1, Query(L"alpha", 50, &count));
    std::vector<FfEngineQueryRecord> sent = engine.Queries();  // the record as the engine received it
    ASSERT_EQ(1u, sent.size());
    const FfEngineQueryRecord& q = sent[0];
    EXPECT_TRUE(q.wellFormed && q.copyDataId == 18 && q.replyId == 18 && q.replyWindow != 0) << q.reason;
    EXPECT_TRUE(q.maxResults == 50 && q.requestFlags == 84 && q.sortType == 14 && q.text == L"alpha file:");
    EXPECT_EQ(28u + 2 * 12, q.cbData);
    g_settings.sortType = 1;

    FfEngineOptions old = plain, loading = plain, hung = plain, late = plain, shortBlock = plain;
    old.oldEngine = true;
    loading.loadingMs = 600000;
    hung.hangMs = 2500;
    late.answerDelayMs = 300;
    shortBlock.shortBlock = true;
    const int A = FF_ENGINE_ANSWERED;
    struct Row {
        const char* label;
        FfEngineOptions& options;
        const wchar_t* words;
        int cap, ok, count, state;
        DWORD minMs, maxMs;
        int passes;  // -1: no search run
    } rows[] = {
        {"answered", plain, L"alpha", 50, 1, 10, A, 0, 1000, 2},
        {"more matches than room", plain, L"alpha", 3, 1, 3, A, 0, 1000, -1},
        {"nothing matches", plain, L"zzz", 50, 1, 0, A, 0, 1000, -1},
        {"answered after the send returned", late, L"alpha", 50, 1, 10, A, 250, 1400, -1},
        {"a block too short to read", shortBlock, L"alpha", 50, 0, 0, A, 0, 1000, -1},
        {"too old for the query", old, L"alpha", 50, 0, 0, FF_ENGINE_TOO_OLD, 0, 1000, 1},
        {"loading its index", loading, L"alpha", 50, 0, 0, FF_ENGINE_LOADING, 0, 1000, 1},
        {"its window stops pumping", hung, L"alpha", 50, 0, 0, FF_ENGINE_NOT_ANSWERING, 1450, 4000, -1},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE(engine.Start(r.options)) << r.label;
        g_engineState = -1;
        DWORD start = GetTickCount();
        unsigned long long cpu = CpuMs();
        EXPECT_EQ(r.ok, Query(r.words, r.cap, &count)) << r.label;
        DWORD elapsed = GetTickCount() - start;
        EXPECT_LT(CpuMs() - cpu, 150u) << r.label;
        EXPECT_TRUE(r.count == count && r.state == g_engineState) << r.label << ": " << count << " " << g_engineState;
        EXPECT_TRUE(elapsed >= r.minMs && elapsed < r.maxMs) << r.label << ": " << elapsed << " ms";
        if (count > 0) { EXPECT_STREQ(L"C:\\r\\alpha1000.txt", g_a[0].path) << r.label; }
        if (r.cap == 3) { EXPECT_EQ(10u, g_engineLastTotal); }
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
    EXPECT_EQ(0, Query(L"alpha", 50, &count));
    EXPECT_EQ(FF_ENGINE_NOT_RUNNING, g_engineState);
    for (HWND w : decoys) DestroyWindow(w);

    // A named instance answers when no plain one runs; a plain one is asked first, and once it has
    // ended the named one again.
    FfEngineOptions named;
    named.instance = FfEngineUniqueInstance(L"named");
    named.items = Items(L"alpha", 2, 0);
    ASSERT_TRUE(engine.Start(named));
    EXPECT_TRUE(Query(L"alpha", 50, &count) && count == 2);
    FfTestEngine plainToo;
    ASSERT_TRUE(plainToo.Start(plain));
    EXPECT_TRUE(Query(L"alpha", 50, &count) && count == 10);
    plainToo.Stop();
    EXPECT_TRUE(Query(L"alpha", 50, &count) && count == 2);
}

// A reply later than the wait: the call gives up, sleeping rather than spinning and leaving input
// queued for the overlay, and the reply, coming during the next call, never reaches its array.
TEST_F(Live, LateReplyNeverReachesALaterCall)
{
    FfEngineOptions slow;
    slow.items = Items(L"alpha", 5, 0);
    slow.answerDelayMs = 1700;
    ASSERT_TRUE(engine.Start(slow));
    PostMessageW(g_searchBox, WM_CHAR, 'a', 0);
    SetTimer(g_searchBox, 1, 10, nullptr);
    int count;
    DWORD start = GetTickCount();
    unsigned long long cpu = CpuMs();
    EXPECT_EQ(0, Query(L"alpha", 50, &count));
    EXPECT_LT(CpuMs() - cpu, 150u);
    EXPECT_GE(GetTickCount() - start, 1450u);
    EXPECT_EQ(FF_ENGINE_NOT_ANSWERING, g_engineState);
    KillTimer(g_searchBox, 1);
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, g_searchBox, WM_CHAR, WM_CHAR, PM_REMOVE));
    memset(g_a, 0x5A, sizeof g_a);
    EXPECT_TRUE(!Query(L"alpha1004", 50, &count) && !count);
    for (size_t i = 0; i < sizeof g_a; i++) ASSERT_EQ(0x5A, ((BYTE*)g_a)[i]) << "written at byte " << i;
}

// Query texts per filter and "path:.", the passes' caps, the engine's totals, files first, the
// chosen order.
TEST_F(Live, SearchRun)
{
    FfEngineOptions options;
    options.items = Items(L"report", 2, 1);
    std::vector<FfEngineItem> many = Items(L"cap", 520, 520);
    options.items.insert(options.items.end(), many.begin(), many.end());
    ASSERT_TRUE(engine.Start(options));
    std::wstring folder = FfTestMakeTempDir(L"active"), in = L" path:\"" + folder + L"\\\"";
    ASSERT_TRUE(StartHost(host, folder));
    g_filterCount = 0;
    FfAppendFilter(L"<All Files>", L"");
    FfAppendFilter(L"Document", L"ext:txt;doc");
    FfAppendFilter(L"Folder", L"folder:");
    FfAppendFilter(L"Odd", L"Folder:x");  // a capital F: no folder clause
    struct Row {
        std::wstring typed;
        int filter, maxResults, sortColumn;  // -1: as the engine answered
        std::wstring queries;                // "cap text" of each query sent, joined by '|'
        int count;
        DWORD totalFiles, totalFolders;
        const wchar_t *first, *last;
        bool noHost;  // the host is not ours: "path:." stays as typed
    } rows[] = {
        {L"", 0, 200, -1, L"", 0, 0, 0, nullptr, nullptr},
        {L"report", 0, 200, -1, L"200 report file:|200 report folder:", 3, 2, 1, L"report1000.txt", L"reportdir1000"},
        {L"report", 0, 200, FF_SORT_SIZE, L"200 report file:|200 report folder:", 3, 2, 1, L"report1001.txt", L"reportdir1000"},
        {L"report", 1, 200, -1, L"200 filter:\"Document\" report file:", 2, 2, 0, L"report1000.txt", L"report1001.txt"},
        {L"report", 2, 200, -1, L"200 filter:\"Folder\" report file:|200 filter:\"Folder\" report folder:", 1, 0, 1,
         L"reportdir1000", nullptr},
        {L"report", 3, 200, -1, L"200 filter:\"Odd\" report file:", 0, 0, 0, nullptr, nullptr},
        {L"cap", 0, 200, -1, L"200 cap file:|200 cap folder:", 400, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 300, -1, L"300 cap file:|200 cap folder:", 500, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 500, -1, L"500 cap file:", 500, 520, 0, nullptr, L"cap1499.txt"},
        {L"cap", 0, 1, -1, L"1 cap file:|1 cap folder:", 2, 520, 520, L"cap1000.txt", L"capdir1000"},
        {L"report path:.", 1, 200, -1, L"200 filter:\"Document\" report" + in + L" file:", 0, 0, 0, nullptr, nullptr},
        {L"PATH:. report", 1, 200, -1, L"200 filter:\"Document\"" + in + L" report file:", 0, 0, 0, nullptr, nullptr},
        {L"report path:.", 1, 200, -1, L"200 filter:\"Document\" report path:. file:", 2, 2, 0, nullptr, nullptr, true},
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
        if (r.first) { EXPECT_EQ(L"C:\\r\\" + std::wstring(r.first), g_results[0].path); }
        if (r.last) { EXPECT_EQ(L"C:\\r\\" + std::wstring(r.last), g_results[r.count - 1].path); }
        EXPECT_EQ(0, g_selectedIndex);
    }
    EXPECT_EQ(2, Asked2029());  // only for the token, and only of a host found
}

// The clipboard as the user left it: text, bytes of a registered format, and private data only its
// program knows; read back as "text|bytes|private" ("-": none), "owned" when still the user's.
const UINT kBytes = RegisterClipboardFormatW(L"FfTestBytes");
HWND g_user;

void Set(UINT format, const std::string& bytes)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + 1);
    memcpy(GlobalLock(block), bytes.c_str(), bytes.size() + 1);
    GlobalUnlock(block);
    SetClipboardData(format, block);
}

bool Put(HWND owner, const std::wstring& text, bool full)
{
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    if (!text.empty()) Set(CF_UNICODETEXT, std::string((const char*)text.c_str(), 2 * (text.size() + 1)));
    if (full) Set(kBytes, "bytes"), Set(CF_PRIVATEFIRST, "private");
    CloseClipboard();
    return true;
}

std::wstring Clipboard()
{
    if (!OpenClipboard(nullptr)) return L"busy";
    std::wstring seen;
    for (UINT format : {(UINT)CF_UNICODETEXT, kBytes, (UINT)CF_PRIVATEFIRST}) {
        HANDLE h = GetClipboardData(format);
        const char* p = h ? (const char*)GlobalLock(h) : nullptr;
        seen += !p ? L"-|" : format == CF_UNICODETEXT ? (const wchar_t*)p + std::wstring(L"|") : FfTestWide(p) + L"|";
        if (p) GlobalUnlock(h);
    }
    CloseClipboard();
    return seen + (GetClipboardOwner() == g_user ? L"owned" : L"");
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

// "path:." asks the host through the clipboard: what the user had is put back, never lost for a
// clipboard that was busy, nor rewritten when the host did not change it.
TEST_F(Live, ClipboardAroundTheHostsAnswer)
{
    std::wstring folder = FfTestMakeTempDir(L"answer");
    ASSERT_TRUE(StartHost(host, folder));
    WNDCLASSW wc = {0, GrabbedHostProc, 0, 0, g_moduleHandle, nullptr, nullptr, nullptr, nullptr, L"FfGrabbedHost"};
    RegisterClassW(&wc);
    HWND grabbed = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
    g_user = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
    HWND standIn = host.mainWindow;
    struct Row {
        const char* label;
        char hostKind;  // 'H' the stand-in host, 'G' the same gone, 'P' the grabbed host above
        bool full;      // else the clipboard starts empty
        DWORD holdBeforeMs, holdAfterMs;
        std::wstring found, after;
    } rows[] = {
        {"answered: read, then put back", 'H', true, 0, 0, folder, L"keep me|bytes|-|"},
        {"empty before: empty after", 'H', false, 0, 0, folder, L"-|-|-|"},
        {"busy when saved: the host is not asked", 'H', true, 1500, 0, L"", L"keep me|bytes|private|owned"},
        {"busy a moment after the answer: read, then put back", 'P', true, 0, 200, L"C:\\Grabbed", L"keep me|bytes|-|"},
        {"busy long after the answer: the host's text stays", 'P', true, 0, 2000, L"", L"C:\\Grabbed|-|-|"},
        {"the host has gone: not rewritten", 'G', true, 0, 0, L"", L"keep me|bytes|private|owned"},
    };
    for (const Row& r : rows) {
        if (r.hostKind == 'G') { ASSERT_TRUE(host.Quit()); }
        ASSERT_TRUE(Put(g_user, r.full ? L"keep me" : L"", r.full) && (r.hostKind == 'G' || host.ClearEvents()));
        g_holdAfterAnswerMs = r.holdAfterMs;
        if (r.holdBeforeMs) g_holder = Hold(r.holdBeforeMs);
        wchar_t found[FF_ACTIVE_FOLDER_MAX];
        unsigned long long cpu = CpuMs();
        int ok = FfQueryHostActiveFolder(r.hostKind == 'P' ? grabbed : standIn, found, FF_ACTIVE_FOLDER_MAX);
        EXPECT_LT(CpuMs() - cpu, 150u) << r.label;  // waiting for the clipboard sleeps
        if (g_holder.joinable()) g_holder.join();
        EXPECT_TRUE(ok == !r.found.empty() && r.found == found) << r.label << ": " << FfTestUtf8(found);
        EXPECT_EQ(r.after, Clipboard()) << r.label;
        if (r.hostKind == 'H') { EXPECT_EQ(r.holdBeforeMs ? 0 : 1, Asked2029()) << r.label; }
    }
    DestroyWindow(g_user);
    DestroyWindow(grabbed);
}

// The host of our own process, its change of folder and commands, its focused panel's rectangle;
// a host that has gone or stops answering holds nothing up.
TEST_F(Live, HostCommands)
{
    ASSERT_TRUE(StartHost(host));
    HWND main = FfFindHostWindow();
    EXPECT_EQ(host.mainWindow, main);
    std::wstring folder = FfTestMakeTempDir(L"chdir \u00E9\u65E5");
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
    ASSERT_TRUE(host.WaitForEvent(L"command", 5000, &event));
    EXPECT_EQ(FF_HOST_CM_GOTO_PREVIOUS_DIR, event.number);

    // The focused control's rectangle, when the focus is in the window asked about.
    RECT want, got;
    ASSERT_TRUE(host.BringToFront() && host.FocusRect(&want));
    EXPECT_TRUE(FfGetActivePanelRect(main, &got) && EqualRect(&want, &got));
    EXPECT_EQ(0, FfGetActivePanelRect(host.controlWindow, &got));
    EXPECT_EQ(0, FfGetActivePanelRect(nullptr, &got));

    // A second host, newer and so first in the system's search: each process finds its own.
    FfHostCtl second;
    ASSERT_TRUE(StartHost(second));
    EXPECT_EQ(second.mainWindow, FfFindHostWindow());
    g_hostProcessId = host.process.pi.dwProcessId;
    EXPECT_EQ(main, FfFindHostWindow());

    // Gone: the last window found is kept, has no rectangle, and sends to it return at once.
    ASSERT_TRUE(host.Quit());
    EXPECT_EQ(main, FfFindHostWindow());
    EXPECT_EQ(0, FfGetActivePanelRect(main, &got));
    DWORD start = GetTickCount();
    FfSendHostCommand(main, FF_HOST_CM_GOTO_PREVIOUS_DIR);
    FfSendHostChangeDir(main, L"C:\\");
    EXPECT_LT(GetTickCount() - start, 500u);

    // A window whose thread stops answering holds us one send's time-out at most.
    HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND hung = nullptr;
    std::thread thread([&] {
        hung = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
        SetEvent(made);
        WaitForSingleObject(release, 30000);  // never pumps its messages
        DestroyWindow(hung);
    });
    WaitForSingleObject(made, 5000);
    start = GetTickCount();
    FfSendHostCommand(hung, FF_HOST_CM_COPY_SOURCE_PATH);
    EXPECT_LT(GetTickCount() - start, FF_HOST_SEND_TIMEOUT_MS + 1500u);
    SetEvent(release);
    thread.join();
}

}  // namespace
