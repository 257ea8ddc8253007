// Benchmark: the stand-in engine answering queries over 100 000 items, against a bare round trip of the same reply.
#include <windows.h>
#include <stdio.h>
#include "bench_util.h"
#include "enginectl.h"

static bool g_benchAnswered = false;  // set by the client window when a reply arrives
static size_t g_benchReplyBytes = 0;

static LRESULT CALLBACK FfBenchClientProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COPYDATA) {
        const COPYDATASTRUCT* cds = (const COPYDATASTRUCT*)lParam;
        g_benchAnswered = true;
        g_benchReplyBytes = cds ? cds->cbData : 0;
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// One exchange timed from the send to its return; the engine answers while it handles the query.
static double FfBenchSend(HWND engine, HWND client, ULONG_PTR id, const std::string& block)
{
    COPYDATASTRUCT cds = {id, (DWORD)block.size(), (void*)block.data()};
    g_benchAnswered = false;
    double start = FfBenchNow();
    SendMessageW(engine, WM_COPYDATA, (WPARAM)client, (LPARAM)&cds);
    double ms = FfBenchNow() - start;
    return g_benchAnswered ? ms : -1.0;
}

int main()
{
    const int items = 100000, runs = 41;
    FfEngineOptions o;
    o.syntheticItems = items;
    o.instance = FfEngineUniqueInstance(L"bench");
    FfTestEngine engine;
    if (!engine.Start(o, 60000)) {
        printf("engine did not start\n");
        return 1;
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = FfBenchClientProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FfBenchEngineClient";
    RegisterClassW(&wc);
    HWND client = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    DWORD clientId = (DWORD)(UINT_PTR)client;
    DWORD echo[2] = {clientId, 18};
    std::string echoBlock((const char*)echo, sizeof echo);

    struct Case {
        const wchar_t* text;
        DWORD sortType;
        DWORD max;
    } cases[] = {
        {L"report file:", 14, 200},
        {L"", 1, 200},
        {L"path:\"S:\\synthetic\\set050\" file:", 3, 500},
        {L"filter:\"Document\" notes", 5, 200},
        {L"no-such-word", 14, 200},
    };
    printf("index: %d items (%d reported by the engine)\n", items, engine.ItemCount());
    int bad = 0;
    for (const auto& c : cases) {
        FfEngineQueryArgs a;
        a.text = c.text;
        a.sortType = c.sortType;
        a.maxResults = c.max;
        std::string record = FfEngineBuildQueryRecord(clientId, a);
        double first = FfBenchSend(engine.window, client, 18, record);  // includes making the sort order
        size_t replyBytes = 0;
        // The echo carries the reply the query just produced: the cost of the exchange alone.
        FfBenchPairs r = FfBenchRunPairs(
            runs, 0,
            [&] {
                double q = FfBenchSend(engine.window, client, 18, record);
                replyBytes = g_benchReplyBytes;
                return q;
            },
            [&] {
                double e = FfBenchSend(engine.window, client, FF_ENGINE_ECHO_ID, echoBlock);
                return g_benchReplyBytes == replyBytes ? e : -1.0;
            });
        bad += r.failed;
        auto log = engine.Queries();
        DWORD total = log.empty() ? 0 : log.back().totalMatches;
        printf("query [%ls] sort %lu: %lu matches, reply %lu bytes, first %.2f ms\n", c.text, (unsigned long)c.sortType,
               (unsigned long)total, (unsigned long)replyBytes, first);
        FfBenchReport("engine query", "bare round trip", r, 0);
    }
    if (bad) printf("%d exchanges went unanswered or mismatched\n", bad);
    DestroyWindow(client);
    return bad ? 1 : 0;
}
