// The search with the stand-in engine and host: engine states, search runs, the host's commands, the clipboard.
#include <algorithm>
#include <thread>
#include "host/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

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

// A top-level window of the class, registered with the procedure when one is given.
HWND Window(const wchar_t* className, WNDPROC procedure = nullptr)
{
    WNDCLASSW wc = {0, procedure, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr, className};
    if (procedure) RegisterClassW(&wc);
    return CreateWindowExW(0, className, L"", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr, wc.hInstance, nullptr);
}

// Another program's thread holding the clipboard, its window not answering, for ms or until g_release; to be joined.
const HANDLE g_grabbed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
const HANDLE g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);  // manual reset
std::thread Hold(DWORD ms, HWND* windowOut = nullptr)
{
    std::thread holder([=] {
        HWND window = Window(L"STATIC");
        if (windowOut) *windowOut = window;
        while (!OpenClipboard(window)) Sleep(5);
        SetEvent(g_grabbed);
        WaitForSingleObject(g_release, ms);
        CloseClipboard();
        DestroyWindow(window);
    });
    WaitForSingleObject(g_grabbed, 5000);
    return holder;
}

// Starts the search for typed and pumps until it ended: the result count.
int RunSearch(const wchar_t* typed)
{
    FfStartSearch(typed, nullptr, nullptr);
    FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
    return g_resultCount;
}

class Live : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_moduleHandle = GetModuleHandleW(nullptr);
        g_settings.sortType = 1;
        g_settings.maxResults = 200;
        g_filterCount = 0, g_selectedFilter = 0;
        FfAppendFilter(L"<All Files>", L"");
        g_searchBox = Window(L"EDIT");
    }
    void TearDown() override { FfCancelSearch(), DestroyWindow(g_searchBox), g_searchBox = nullptr, g_hostProcessId = 0; }
    bool StartHost(FfHostCtl& ctl, const std::wstring& folder = L"")
    {
        FfHostStartOptions options;
        options.leftFolder = folder;
        return (g_hostProcessId = ctl.Start(options) ? ctl.process.pi.dwProcessId : 0) != 0;  // taken for our own
    }
    FfTestEngine engine;
    FfHostCtl host;
};

// Each state of the exchange: the sending returns before the reply, the time to the end comes from timers
// (sleeping), and the passes a search sends (an engine that cannot answer files is not asked for folders).
// A reply with another id than the one awaited, and one after the time-out, are dropped unread.
TEST_F(Live, EngineStates)
{
    FfEngineOptions plain;
    plain.items = Items(L"alpha", 10, 2);
    const int A = FF_ENGINE_ANSWERED, NA = FF_ENGINE_NOT_ANSWERING;
    // mode: the engine's switches; out: still waiting when the start returned (a reply that came during the send
    // is read as it returns); ok, files: the file pass's.
    struct Row { const char* name; const wchar_t *mode, *text; int cap, ok, files, state; DWORD ms, msMax; int passes; bool out; }
    rows[] = {
        {"answered", L"", L"alpha", 50, 1, 10, A, 0, 1400, 2, false},
        {"more matches than room", L"", L"alpha", 3, 1, 3, A, 0, 1400, 2, false},
        {"nothing matches", L"", L"zzz", 50, 1, 0, A, 0, 1400, 2, false},
        {"answered after the send returned", L"--delay 300", L"alpha", 50, 1, 10, A, 550, 2000, 2, true},
        {"a block too short to read", L"--short-block", L"alpha", 50, 0, 0, A, 0, 1400, 2, false},
        {"too old for the query", L"--old", L"alpha", 50, 0, 0, FF_ENGINE_TOO_OLD, 0, 1400, 1, false},
        {"loading its index", L"--loading 600000", L"alpha", 50, 0, 0, FF_ENGINE_LOADING, 0, 1400, 1, false},
        {"its window stops pumping", L"--hang 2500", L"alpha", 50, 0, 0, NA, 1450, 4000, -1, false},  // logged later
        {"answered too late", L"--delay 1700", L"alpha", 50, 0, 0, NA, 1450, 4000, 1, true},
    };
    for (const Row& r : rows) {
        plain.extraArgs = r.mode, g_engineState = -1, g_settings.maxResults = r.cap;
        ASSERT_TRUE(engine.Start(plain)) << r.name;
        DWORD start = GetTickCount();
        unsigned long long cpu = CpuMs();
        EXPECT_EQ(r.out, FfStartSearch(r.text, nullptr, nullptr) == 1) << r.name;
        FfTestWaitFor([] { return !g_searchRun.active; }, 5000);
        DWORD ms = GetTickCount() - start;
        cpu = CpuMs() - cpu;
        EXPECT_TRUE(ms >= r.ms && ms < r.msMax && cpu < 150) << r.name << ": " << ms << " ms, cpu " << cpu;
        EXPECT_TRUE(r.files == g_searchRun.files && r.ok == g_searchRun.okFiles && r.state == g_engineState &&
                    (r.cap != 3 || g_engineTotalFiles == 10)) << r.name << ": " << g_searchRun.files << " " << g_engineState;
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        EXPECT_TRUE(r.passes < 0 || (size_t)r.passes == sent.size()) << r.name << ": " << sent.size();
        if (r.passes == 2 && r.ok) {  // the records as the engine received them, each pass with its own reply id
            const FfEngineQueryRecord q = sent.at(0);
            std::wstring text = r.text + std::wstring(L" file:");
            EXPECT_TRUE(q.wellFormed && q.copyDataId == 18 && q.replyId + 1 == sent.at(1).replyId && q.cbData == 30 + 2 * text.size());
            EXPECT_TRUE(q.maxResults == (DWORD)r.cap && q.requestFlags == 84 && q.sortType == 1 && q.text == text) << r.name;
            EXPECT_EQ(std::vector<DWORD>({q.replyId, q.replyId + 1}), engine.Answered()) << r.name;
        }
        if (g_searchRun.files > 0) { EXPECT_STREQ(L"C:\\r\\alpha1000.txt", g_results[0].path) << r.name; }
        if (wcscmp(r.mode, L"--delay 1700")) continue;
        // The reply of the pass that timed out, and one for a pass replaced by a newer, come and are not read.
        DWORD late = sent.back().replyId;
        memset(g_results, 0x5A, sizeof(FfResult) * 64);
        EXPECT_EQ(1, FfStartSearch(L"alpha1004", nullptr, nullptr));
        ASSERT_TRUE(FfTestWaitFor([&] { return engine.Queries().size() == 2; }, 3000));
        EXPECT_EQ(std::vector<DWORD>({late}), engine.Answered(true)) << "the engine dropped the older query";
        for (DWORD id : {late, late + 1}) {
            if (id == late + 1) FfTestWaitFor([] { return !g_searchRun.active; }, 3000);
            EXPECT_TRUE(FfEngineEchoTo(engine.window, FfEverythingReplyWindow(), id));
            FfTestFlushEvents(100);
        }
        EXPECT_EQ(sizeof(FfResult) * 64, (size_t)std::count((BYTE*)g_results, (BYTE*)(g_results + 64), 0x5A));
        EXPECT_TRUE(!g_searchRun.active && g_engineState == NA && g_resultCount == 0);
    }
    engine.Stop();
    std::vector<HWND> decoys;  // no engine, only classes that merely look like a named instance's
    for (const wchar_t* name : {L"_(open", L"_x)", L"S"})
        decoys.push_back(Window((FF_EVERYTHING_CLASS + std::wstring(name)).c_str(), DefWindowProcW));
    g_settings.maxResults = 50;
    EXPECT_TRUE(FfStartSearch(L"alpha", nullptr, nullptr) == 0 && g_engineState == FF_ENGINE_NOT_RUNNING && !g_resultCount);
    for (HWND w : decoys) DestroyWindow(w);
    plain.instance = FfEngineUniqueInstance(L"named"), plain.extraArgs = L"";
    EXPECT_TRUE(engine.Start(plain) && RunSearch(L"alpha") == 12);  // a named instance, alone
}

// Query texts per filter and "path:.", the passes' caps, the engine's totals, files first, the chosen order.
TEST_F(Live, SearchRun)
{
    FfEngineOptions options;
    options.items = Items(L"report", 2, 1);
    for (const FfEngineItem& item : Items(L"cap", 520, 520)) options.items.push_back(item);
    ASSERT_TRUE(engine.Start(options));
    std::wstring folder = FfTestMakeTempDir(L"active"), in = L" path:\"" + folder + L"\\\"";
    std::wstring doc = L"filter:\"Document\"", dir = L"filter:\"Folder\" report";
    ASSERT_TRUE(StartHost(host, folder));
    FfAppendFilter(L"Document", L"ext:txt;doc");
    FfAppendFilter(L"Folder", L"folder:"), FfAppendFilter(L"Odd", L"Folder:x");  // a capital F: no folder clause
    // sortColumn -1: as answered; queries: "cap text" of each sent, '|' between; noHost: "path:." stays as typed.
    struct Row { std::wstring typed; int filter, maxResults, sortColumn; std::wstring queries; int count;
                 DWORD totalFiles, totalFolders; const wchar_t *first, *last; bool noHost; } rows[] = {
        {L"", 0, 200, -1, L"", 0, 0, 0, nullptr, nullptr},
        {L"report", 0, 200, -1, L"200 report file:|200 report folder:", 3, 2, 1, L"report1000.txt", L"reportdir1000"},
        {L"report", 0, 200, FF_SORT_SIZE, L"200 report file:|200 report folder:", 3, 2, 1, L"report1001.txt", nullptr},
        {L"report", 1, 200, -1, L"200 " + doc + L" report file:", 2, 2, 0, L"report1000.txt", L"report1001.txt"},
        {L"report", 2, 200, -1, L"200 " + dir + L" file:|200 " + dir + L" folder:", 1, 0, 1, L"reportdir1000", nullptr},
        {L"report", 3, 200, -1, L"200 filter:\"Odd\" report file:", 0, 0, 0, nullptr, nullptr},
        {L"cap", 0, 200, -1, L"200 cap file:|200 cap folder:", 400, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 300, -1, L"300 cap file:|200 cap folder:", 500, 520, 520, L"cap1000.txt", L"capdir1199"},
        {L"cap", 0, 500, -1, L"500 cap file:", 500, 520, 0, nullptr, L"cap1499.txt"},
        {L"report path:.", 1, 200, -1, L"200 " + doc + L" report" + in + L" file:", 0, 0, 0, nullptr, nullptr},
        {L"PATH:. report", 1, 200, -1, L"200 " + doc + in + L" report file:", 0, 0, 0, nullptr, nullptr},
        {L"report path:.", 1, 200, -1, L"200 " + doc + L" report path:. file:", 2, 2, 0, nullptr, nullptr, true},
    };
    for (const Row& r : rows) {
        size_t before = engine.Queries().size();
        g_resultCount = 7, g_selectedFilter = r.filter, g_settings.maxResults = r.maxResults;
        g_localSortActive = r.sortColumn >= 0, g_sortColumn = r.sortColumn, g_sortDescending = 1;
        g_hostProcessId = r.noHost ? GetCurrentProcessId() : host.process.pi.dwProcessId, g_hostWindow = nullptr;
        RunSearch(r.typed.c_str());
        std::vector<FfEngineQueryRecord> sent = engine.Queries();
        std::wstring queries;
        for (size_t i = before; i < sent.size(); i++)
            queries += (i > before ? L"|" : L"") + std::to_wstring(sent[i].maxResults) + L" " + sent[i].text;
        EXPECT_EQ(r.queries, queries);
        ASSERT_EQ(r.count, g_resultCount) << FfTestUtf8(r.queries);
        if (!r.count) continue;
        std::wstring first = r.first ? L"C:\\r\\" + std::wstring(r.first) : g_results[0].path;
        std::wstring last = r.last ? L"C:\\r\\" + std::wstring(r.last) : g_results[r.count - 1].path;
        EXPECT_TRUE(r.totalFiles == g_engineTotalFiles && r.totalFolders == g_engineTotalFolders &&
                    first == g_results[0].path && last == g_results[r.count - 1].path) << FfTestUtf8(r.queries);
    }
}

// The user's clipboard: text, a registered format, private data; read back as text|bytes|private|owned (still his).
const UINT kBytes = RegisterClipboardFormatW(L"FfTestBytes");
HWND g_user;

bool Put(HWND owner, const std::wstring& text, bool full)
{
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    for (int i = text.empty(); i < (full ? 3 : 1); i++) {
        size_t size = i ? 8 : 2 * text.size() + 2;
        HGLOBAL block = GlobalAlloc(GMEM_FIXED, size);
        memcpy(block, i ? "private" : (const char*)text.c_str(), size);
        SetClipboardData(i == 0 ? CF_UNICODETEXT : i == 1 ? kBytes : CF_PRIVATEFIRST, block);
    }
    return CloseClipboard();
}

std::wstring Clipboard()
{
    return FfTestClipboardText() + (IsClipboardFormatAvailable(kBytes) ? L"|bytes" : L"") +
           (IsClipboardFormatAvailable(CF_PRIVATEFIRST) ? L"|private" : L"") +
           (GetClipboardOwner() == g_user ? L"|owned" : L"");
}

std::thread g_holder;
DWORD g_holdAfterAnswerMs;

// A host whose clipboard another program takes between its answer and our reading: only a window here can order them.
LRESULT CALLBACK GrabbedHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != FF_HOST_COMMAND_MESSAGE) return DefWindowProcW(window, message, wParam, lParam);
    Put(window, L"C:\\Grabbed", false);
    g_holder = Hold(g_holdAfterAnswerMs);
    return 1;
}

// The host of our own process: change of folder, commands, the focused panel, the active folder through the
// clipboard (put back after, never lost when busy, not rewritten when unchanged); gone or hung, it holds nothing up.
TEST_F(Live, HostCommandsAndTheClipboard)
{
    std::wstring folder = FfTestMakeTempDir(L"chdir \u00E9\u65E5");
    ASSERT_TRUE(StartHost(host));
    HWND main = host.mainWindow;
    EXPECT_EQ(main, FfFindHostWindow());
    FfHostEvent event;
    FfSendHostChangeDir(main, folder.c_str(), nullptr);
    ASSERT_TRUE(host.WaitForEvent(L"changedir", 5000, &event));
    EXPECT_TRUE(folder == event.path && event.second.empty() && event.letters == "SA" && host.Folder() == folder);
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

    HWND grabbed = Window(L"FfGrabbedHost", GrabbedHostProc);
    g_user = Window(L"STATIC");
    // host: 'H' ours, 'G' ours gone, 'P' the grabbed one above; full: else the clipboard starts empty.
    struct Row { const char* label; char host; bool full; DWORD holdBeforeMs, holdAfterMs; std::wstring found, after; }
    rows[] = {
        {"answered: read, then put back", 'H', true, 0, 0, folder, L"keep me|bytes"},
        {"empty before: empty after", 'H', false, 0, 0, folder, L""},
        {"busy when saved: the host is not asked", 'H', true, INFINITE, 0, L"", L"keep me|bytes|private|owned"},
        {"busy a moment after the answer: read, then put back", 'P', true, 0, 50, L"C:\\Grabbed", L"keep me|bytes"},
        {"busy long after the answer: the host's text stays", 'P', true, 0, INFINITE, L"", L"C:\\Grabbed"},
        {"gone: not rewritten", 'G', true, 0, 0, L"", L"keep me|bytes|private|owned"},
    };
    for (const Row& r : rows) {
        ASSERT_TRUE((r.host != 'G' || host.Quit()) && Put(g_user, r.full ? L"keep me" : L"", r.full));
        g_holdAfterAnswerMs = r.holdAfterMs;
        if (r.holdBeforeMs) g_holder = Hold(r.holdBeforeMs);
        wchar_t found[FF_ACTIVE_FOLDER_MAX];
        unsigned long long cpu = CpuMs();
        int ok = FfQueryHostActiveFolder(r.host == 'P' ? grabbed : main, nullptr, found, FF_ACTIVE_FOLDER_MAX);
        EXPECT_LT(CpuMs() - cpu, 150u) << r.label;  // waiting for the clipboard sleeps
        if (g_holder.joinable()) SetEvent(g_release), g_holder.join(), ResetEvent(g_release);
        EXPECT_TRUE(ok == !r.found.empty() && r.found == found) << r.label << ": " << FfTestUtf8(found);
        EXPECT_EQ(r.after, Clipboard()) << r.label;
    }
    DestroyWindow(g_user);
    DestroyWindow(grabbed);
    // Gone: the last window found is kept, and has no rectangle.
    EXPECT_TRUE(FfFindHostWindow() == main && !FfGetActivePanelRect(main, &got));
    // A window whose thread stops answering holds us one send's time-out at most.
    HWND hung;
    std::thread holder = Hold(INFINITE, &hung);
    DWORD start = GetTickCount();
    FfSendHostCommand(hung, FF_HOST_CM_COPY_SOURCE_PATH);
    EXPECT_LT(GetTickCount() - start, FF_HOST_SEND_TIMEOUT_MS + 1500u);
    SetEvent(g_release), holder.join(), ResetEvent(g_release);
}

}  // namespace
