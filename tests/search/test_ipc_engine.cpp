// The engine exchange against the stand-in engine in its own process: answers, faults, time-outs.
#include <gtest/gtest.h>
#include <string.h>
#include "core/core.h"
#include "enginectl.h"
#include "fftest.h"
#include "search_test_util.h"

namespace {

FfResult g_a[600];
FfResult g_b[600];

class IpcEngine : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_moduleHandle = GetModuleHandleW(nullptr);
        g_settings.sortType = 1;  // name ascending: answers in a known order
        g_settings.everythingDebug = 0;
    }
    static std::vector<FfEngineItem> Items(int files, int folders) { return FfTestItems(L"alpha", files, folders); }
    FfTestEngine engine;
};

struct Call {
    int ok;
    int count;
};

Call Query(const wchar_t* a, const wchar_t* b, const wchar_t* c, FfResult* out, int cap)
{
    int count = -7;
    int ok = FfRunEverythingQuery(a, b, c, out, cap, &count);
    return {ok, count};
}

TEST_F(IpcEngine, AnswersAreWrittenAndTheRecordIsAsSent)
{
    FfLogCapture logs(L"ipc_answers");
    FfEngineOptions options;
    options.items = Items(4, 2);
    ASSERT_TRUE(engine.Start(options));
    Call r = Query(nullptr, L"alpha", L"file:", g_a, 50);
    EXPECT_EQ(1, r.ok);
    ASSERT_EQ(4, r.count);
    EXPECT_STREQ(L"C:\\r\\alpha1000.txt", g_a[0].path);
    EXPECT_EQ(4u, g_a[3].size);
    EXPECT_EQ(0u, g_a[0].isFolder);
    r = Query(nullptr, L"alpha", L"folder:", g_a, 50);
    ASSERT_EQ(2, r.count);
    EXPECT_EQ(1u, g_a[0].isFolder);

    std::vector<FfEngineQueryRecord> queries = engine.Queries();
    ASSERT_EQ(2u, queries.size());
    const FfEngineQueryRecord& q = queries[0];
    EXPECT_TRUE(q.wellFormed);
    EXPECT_EQ(18u, q.copyDataId);
    EXPECT_EQ(18u, q.replyId);
    EXPECT_EQ(50u, q.maxResults);
    EXPECT_EQ(84u, q.requestFlags);
    EXPECT_EQ(1u, q.sortType);  // from the settings
    EXPECT_NE(0u, q.replyWindow);
    EXPECT_EQ(L"alpha file:", q.text);
    EXPECT_EQ(28u + 2 * (11 + 1), q.cbData);
    EXPECT_EQ(1, logs.CountInLog(L"FfRunEverythingQuery: IPC query=[alpha file:] cap=50"));
}

// Each outcome of the exchange: what the call reports, whether it waited, the engine's state.
TEST_F(IpcEngine, FailureTable)
{
    struct Case {
        const char* label;
        FfEngineOptions options;
        const wchar_t* words;
        int cap;
        Call expected;
        bool waitsForTimeout;
        int state = FF_ENGINE_ANSWERED;
        unsigned long long firstSize = 1;
    };
    FfEngineOptions plain, silent, otherId, shortBlock, excess, badOffset, badLength, noSize, split, old, loading, hung;
    for (FfEngineOptions* o : {&plain, &silent, &otherId, &shortBlock, &excess, &badOffset, &badLength, &noSize, &split,
                               &old, &loading, &hung})
        o->items = Items(10, 0);
    silent.neverAnswer = true;
    otherId.replyId = 19;
    shortBlock.shortBlock = true;
    excess.excessCount = 5;
    badOffset.badOffset = true;
    badLength.badLength = true;
    noSize.dropFlags = FF_IPC_FIELD_SIZE;
    split.dropFlags = FF_IPC_FIELD_FULL_PATH;
    split.addFlags = FF_IPC_FIELD_NAME | FF_IPC_FIELD_PATH;
    old.oldEngine = true;
    loading.loadingMs = 600000;
    hung.hangMs = 2500;
    const int notAnswering = FF_ENGINE_NOT_ANSWERING;
    Case cases[] = {
        {"nothing matches", plain, L"nomatchatall", 50, {1, 0}, false},
        {"10 items for a cap of 3", plain, L"alpha", 3, {1, 3}, false},
        {"cap 0", plain, L"alpha", 0, {1, 0}, false},
        {"no answer", silent, L"alpha", 50, {0, 0}, true, notAnswering},
        {"answer with another id", otherId, L"alpha", 50, {0, 0}, true, notAnswering},
        {"block of 12 bytes", shortBlock, L"alpha", 50, {0, 0}, false},
        {"count beyond the items", excess, L"alpha", 50, {1, 10}, false},
        {"last offset past the block", badOffset, L"alpha", 50, {1, 9}, false},
        {"last length past the block", badLength, L"alpha", 50, {1, 9}, false},
        {"reply without sizes", noSize, L"alpha", 50, {1, 10}, false, FF_ENGINE_ANSWERED, FF_UNKNOWN_VALUE},
        {"folder and name instead of the path", split, L"alpha", 50, {1, 10}, false},
        {"engine too old for the query", old, L"alpha", 50, {0, 0}, false, FF_ENGINE_TOO_OLD},
        {"engine loading its index", loading, L"alpha", 50, {0, 0}, false, FF_ENGINE_LOADING},
        {"engine window stops pumping", hung, L"alpha", 50, {0, 0}, true, notAnswering},
    };
    for (Case& c : cases) {
        ASSERT_TRUE(engine.Start(c.options)) << c.label;
        memset(g_a, 0, sizeof g_a);
        g_engineState = -1;
        DWORD start = GetTickCount();
        Call r = Query(nullptr, c.words, L"file:", g_a, c.cap);
        DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(c.expected.ok, r.ok) << c.label;
        EXPECT_EQ(c.expected.count, r.count) << c.label;
        EXPECT_EQ(c.state, g_engineState) << c.label;
        if (r.count > 0) { EXPECT_EQ(c.firstSize, g_a[0].size) << c.label; }
        if (c.cap == 3) { EXPECT_EQ(10u, g_engineLastTotal) << c.label; }
        if (c.waitsForTimeout) {
            EXPECT_GE(elapsed, 1450u) << c.label;
            EXPECT_LT(elapsed, 4000u) << c.label;
        } else {
            EXPECT_LT(elapsed, 1400u) << c.label;
        }
        if (r.count > 0) { EXPECT_STREQ(L"C:\\r\\alpha1000.txt", g_a[0].path) << c.label; }
        if (c.cap == 3) { EXPECT_EQ(0, g_a[3].path[0]) << c.label; }  // nothing past the cap
        engine.Stop();
    }
}

// Waiting for a late reply with input and a timer queued for another window of this thread: the
// wait sleeps (it used to wake at once and spin) and that input is still queued afterwards.
TEST_F(IpcEngine, WaitingTakesNoProcessorTimeAndLeavesOtherInputQueued)
{
    FfEngineOptions options;
    options.items = Items(3, 0);
    options.answerDelayMs = 1000;
    ASSERT_TRUE(engine.Start(options));
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
    ASSERT_NE(nullptr, other);
    PostMessageW(other, WM_KEYDOWN, 'A', 0);
    PostMessageW(other, WM_CHAR, 'a', 0);
    SetTimer(other, 1, 10, nullptr);
    auto cpuMs = [] {
        FILETIME created, exited, kernel, user;
        GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
        return (((unsigned long long)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
                ((unsigned long long)user.dwHighDateTime << 32 | user.dwLowDateTime)) / 10000;
    };
    unsigned long long cpuBefore = cpuMs();
    DWORD start = GetTickCount();
    Call r = Query(nullptr, L"alpha", L"file:", g_a, 50);
    DWORD elapsed = GetTickCount() - start;
    unsigned long long cpu = cpuMs() - cpuBefore;
    KillTimer(other, 1);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ(3, r.count);
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(cpu, 200u) << "processor time spent waiting " << elapsed << " ms";
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, other, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_TRUE(PeekMessageW(&msg, other, WM_CHAR, WM_CHAR, PM_REMOVE));
    DestroyWindow(other);
}

// No engine (only classes that merely look like a named one's): one log line and nothing else.
TEST_F(IpcEngine, NoEngineMeansOneLineAndNothingElse)
{
    FfLogCapture logs(L"ipc_none");
    ASSERT_EQ(nullptr, FindWindowW(FF_ENGINE_CLASS, nullptr));
    std::vector<HWND> windows;
    for (const wchar_t* name : {L"EVERYTHING_TASKBAR_NOTIFICATION_(open", L"EVERYTHING_TASKBAR_NOTIFICATION_x)",
                                L"EVERYTHING_TASKBAR_NOTIFICATION_(", L"EVERYTHING_TASKBAR_NOTIFICATIONS"}) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name;
        RegisterClassW(&wc);
        windows.push_back(CreateWindowExW(0, name, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr));
        ASSERT_NE(nullptr, windows.back());
    }
    HWND helperBefore = FindWindowExW(HWND_MESSAGE, nullptr, FF_IPC_HELPER_CLASS, nullptr);
    Call r = Query(L"a", L"b", L"c", g_a, 10);
    EXPECT_EQ(0, r.ok);
    EXPECT_EQ(0, r.count);
    EXPECT_EQ(1, logs.CountInLog(L"FfRunEverythingQuery: Everything's IPC window not found - is Everything running?"));
    EXPECT_EQ(0, logs.CountInLog(L"IPC query="));
    EXPECT_EQ(FF_ENGINE_NOT_RUNNING, g_engineState);
    EXPECT_EQ(helperBefore, FindWindowExW(HWND_MESSAGE, nullptr, FF_IPC_HELPER_CLASS, nullptr));
    EXPECT_EQ(nullptr, FfFindEverythingWindow());
    for (HWND w : windows) DestroyWindow(w);
}

TEST_F(IpcEngine, LongPathsAndLongQueries)
{
    FfEngineOptions options;
    FfEngineItem item;
    item.path = L"C:\\deep\\" + std::wstring(2100, L'k') + L"\\longname.bin";
    item.size = 0x123456789ull;
    item.modified = 131000000000000000ull;
    options.items.push_back(item);
    ASSERT_TRUE(engine.Start(options));
    Call r = Query(nullptr, L"longname", nullptr, g_a, 5);
    ASSERT_EQ(1, r.count);
    EXPECT_EQ(item.path.substr(0, 2047), std::wstring(g_a[0].path));
    EXPECT_EQ(item.modified, ((unsigned long long)g_a[0].modified.dwHighDateTime << 32) | g_a[0].modified.dwLowDateTime);

    std::wstring typed(1019, L'q');
    Query(L"filter:\"x\"", typed.c_str(), L"file:", g_a, 5);
    std::vector<FfEngineQueryRecord> queries = engine.Queries();
    ASSERT_EQ(2u, queries.size());
    EXPECT_EQ((L"filter:\"x\" " + typed).substr(0, 1023), queries[1].text);
    EXPECT_EQ(28u + 2 * 1024, queries[1].cbData);
}

// A reply that comes after the time-out finds no window: it never reaches a later call's array.
TEST_F(IpcEngine, LateReplyNeverWritesIntoALaterCall)
{
    FfEngineOptions options;
    options.items = Items(5, 0);
    options.answerDelayMs = 1700;
    ASSERT_TRUE(engine.Start(options));
    memset(g_a, 0x5A, sizeof g_a);
    memset(g_b, 0x5A, sizeof g_b);
    Call first = Query(nullptr, L"alpha", L"file:", g_a, 50);
    EXPECT_EQ(nullptr, FindWindowExW(HWND_MESSAGE, nullptr, FF_IPC_HELPER_CLASS, nullptr));
    EXPECT_EQ(0, first.ok);
    EXPECT_EQ(0, first.count);
    // The first reply arrives while the second call waits; the second one's own comes too late.
    Call second = Query(nullptr, L"alpha1004", L"file:", g_b, 50);
    EXPECT_EQ(0, second.ok);
    EXPECT_EQ(0, second.count);
    FfTestWaitFor([&] { return false; }, 600);  // let both late replies arrive
    for (size_t i = 0; i < sizeof g_a; i++) {
        ASSERT_EQ(0x5A, ((BYTE*)g_a)[i]) << "first array written at byte " << i;
        ASSERT_EQ(0x5A, ((BYTE*)g_b)[i]) << "second array written at byte " << i;
    }
    EXPECT_EQ(2, engine.QueriesReceived());
}

TEST_F(IpcEngine, NamedInstanceIsFoundAPlainOneWinsAndEnginesThatEndAreLeft)
{
    FfLogCapture logs(L"ipc_named");
    FfEngineOptions named;
    named.instance = L"1.5a";
    named.items = Items(2, 0);
    ASSERT_TRUE(engine.Start(named));
    Call r = Query(nullptr, L"alpha", nullptr, g_a, 50);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ(2, r.count);
    EXPECT_EQ(1, engine.QueriesReceived());
    EXPECT_EQ(1, logs.CountInLog(L"EVERYTHING_TASKBAR_NOTIFICATION_(1.5a)"));
    EXPECT_EQ(0, logs.CountInLog(L"not found"));

    FfTestEngine plainEngine;
    FfEngineOptions plain;
    plain.items = Items(3, 0);
    ASSERT_TRUE(plainEngine.Start(plain));
    r = Query(nullptr, L"alpha", nullptr, g_a, 50);
    EXPECT_EQ(3, r.count);
    EXPECT_EQ(1, plainEngine.QueriesReceived());
    EXPECT_EQ(1, engine.QueriesReceived());
    EXPECT_EQ(1, logs.CountInLog(L"EVERYTHING_TASKBAR_NOTIFICATION_(1.5a)"));

    // The plain engine ends: the named one answers again, and a new plain one is found at once.
    plainEngine.Stop();
    r = Query(nullptr, L"alpha", nullptr, g_a, 50);
    EXPECT_EQ(2, r.count);
    EXPECT_EQ(2, engine.QueriesReceived());
    FfTestEngine restarted;
    plain.items = Items(4, 0);
    ASSERT_TRUE(restarted.Start(plain));
    r = Query(nullptr, L"alpha", nullptr, g_a, 50);
    EXPECT_EQ(4, r.count);
    EXPECT_EQ(1, restarted.QueriesReceived());
}

}  // namespace
