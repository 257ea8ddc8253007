// Benchmark: the stand-in engine answering queries over 100 000 items, against a bare round trip of the same reply.
#include <windows.h>
#include <stdio.h>
#include "bench_util.h"
#include "enginectl.h"

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
    HWND client = FfBenchMakeClient();
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
        {L"<ext:doc;docx;md;pdf;txt> notes", 5, 200},
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
        double first = FfBenchExchange(engine.window, client, 18, record.data(), (DWORD)record.size());  // includes making the sort order
        size_t replyBytes = 0;
        // The echo carries the reply the query just produced: the cost of the exchange alone.
        FfBenchPairs r = FfBenchRunPairs(
            runs, 0,
            [&] {
                double q = FfBenchExchange(engine.window, client, 18, record.data(), (DWORD)record.size());
                replyBytes = g_benchReplyBytes;
                return q;
            },
            [&] {
                double e = FfBenchExchange(engine.window, client, FF_ENGINE_ECHO_ID, echoBlock.data(), (DWORD)echoBlock.size());
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
