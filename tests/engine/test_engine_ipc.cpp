// The stand-in engine as a running program: a real tree on the wire, switches, malformed records, re-index.
#include <gtest/gtest.h>
#include <string.h>
#include "enginectl.h"

namespace {

FfEngineOptions Options(const std::wstring& root, const wchar_t* tag)
{
    FfEngineOptions o;
    if (!root.empty()) o.roots.push_back(root);
    o.instance = FfEngineUniqueInstance(tag);
    return o;
}

std::wstring Names(const std::vector<FfEngineItem>& items)
{
    std::wstring out;
    for (const auto& it : items) out += it.path.substr(it.path.find_last_of(L'\\') + 1) + L" ";
    return out;
}

struct Answer {
    FfEngineReply reply;
    DWORD total = 0;
    std::vector<FfEngineItem> items;
    bool decoded = false;
};

Answer Ask(const FfTestEngine& engine, const std::wstring& text, DWORD sortType = 1, DWORD max = 100, DWORD first = 0)
{
    FfEngineQueryArgs a;
    a.text = text;
    a.sortType = sortType;
    a.maxResults = max;
    a.firstResult = first;
    Answer r;
    r.reply = FfEngineSendQuery(engine.window, a);
    r.decoded = r.reply.answered && FfEngineDecodeReply(r.reply.bytes, &r.total, &r.items);
    return r;
}

}  // namespace

// The index reads every key from the file system, and the record's sort type, first result,
// maximum and filters reach the run; the order rules themselves are the unit tests'.
TEST(EngineIpc, RealTreeKeysAndRecordFields)
{
    std::wstring root = FfTestMakeTempDir(L"engine-tree");
    std::vector<FfTestTreeItem> tree(6);
    tree[0] = {L"b.txt", 300, FfTestFileTime(2020, 1, 3), false, 0, FfTestFileTime(2021, 5, 3), 0};
    tree[1] = {L"A.doc", 100, FfTestFileTime(2020, 1, 1), false, 0, FfTestFileTime(2021, 5, 5), 0};
    tree[2] = {L"c.txt", 200, FfTestFileTime(2020, 1, 2), false, 0, FfTestFileTime(2021, 5, 4), FILE_ATTRIBUTE_READONLY};
    tree[3] = {L"0sub", 0, FfTestFileTime(2019, 6, 1), true, 0, 0, 0};
    tree[4] = {L"0sub\\d.cpp", 50, FfTestFileTime(2020, 1, 5), false, 0, FfTestFileTime(2021, 5, 1), 0};
    tree[5] = {L"_e", 400, FfTestFileTime(2020, 1, 4), false, 0, FfTestFileTime(2021, 5, 2), FILE_ATTRIBUTE_HIDDEN};
    ASSERT_TRUE(FfTestMakeTree(root, tree));
    std::wstring csvDir = FfTestMakeTempDir(L"engine-csv");
    FfTestWriteBytes(csvDir + L"\\filters.csv", "Name,,,,,,,,,,Search\r\n\"Big, files\",,,,,,,,,,ext:cpp;doc\r\n");
    FfEngineOptions o = Options(root, L"tree");
    o.filtersDir = csvDir;
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(o));
    EXPECT_EQ(engine.ItemCount(), 6);
    EXPECT_FALSE(IsWindowVisible(engine.window));
    std::wstring files = L"path:\"" + root + L"\" file:";
    struct Case { DWORD sortType; const wchar_t* order; } cases[] = {
        {5, L"d.cpp A.doc c.txt b.txt _e "},   // size
        {14, L"d.cpp _e b.txt c.txt A.doc "},  // modified, descending
        {16, L"_e c.txt d.cpp A.doc b.txt "},  // attributes, descending
        {23, L"d.cpp _e b.txt c.txt A.doc "},  // accessed
    };
    for (const auto& c : cases) {
        Answer a = Ask(engine, files, c.sortType);
        ASSERT_TRUE(a.decoded) << c.sortType;
        EXPECT_EQ(a.total, 5u);
        EXPECT_EQ(Names(a.items), c.order) << c.sortType;
    }
    // Creation dates: the platform may not keep the ones set, so check the order against what it reports.
    Answer a = Ask(engine, files, 11);
    ASSERT_EQ(a.items.size(), 5u);
    for (size_t i = 1; i < a.items.size(); ++i) {
        WIN32_FILE_ATTRIBUTE_DATA x, y;
        ASSERT_TRUE(GetFileAttributesExW(a.items[i - 1].path.c_str(), GetFileExInfoStandard, &x));
        ASSERT_TRUE(GetFileAttributesExW(a.items[i].path.c_str(), GetFileExInfoStandard, &y));
        EXPECT_LE(CompareFileTime(&x.ftCreationTime, &y.ftCreationTime), 0) << i;
    }
    // What each item carries is what the file system says.
    a = Ask(engine, L"path:\"" + root + L"\"", 3);
    ASSERT_EQ(Names(a.items), L"0sub d.cpp _e A.doc b.txt c.txt ");
    EXPECT_TRUE(a.items[0].isFolder);
    EXPECT_EQ(a.items[0].size, ~0ull);  // folder sizes are not indexed
    EXPECT_EQ(a.items[1].path, root + L"\\0sub\\d.cpp");
    EXPECT_EQ(a.items[1].size, 50u);
    EXPECT_EQ(a.items[1].modified, FfTestFileTime(2020, 1, 5));
    EXPECT_FALSE(a.items[1].isFolder);

    // A window of the results, and a filter from the folder given on the command line.
    a = Ask(engine, files, 1, 2, 1);
    EXPECT_TRUE(a.reply.duringSend);
    EXPECT_EQ(a.total, 5u);
    EXPECT_EQ(Names(a.items), L"A.doc b.txt ");
    EXPECT_EQ(Names(Ask(engine, files + L" filter:\"big, FILES\"").items), L"A.doc d.cpp ");
    auto log = engine.Queries();
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[6].text, files);
    EXPECT_EQ(log[6].firstResult, 1u);
    EXPECT_EQ(log[6].maxResults, 2u);
    EXPECT_EQ(log[6].totalMatches, 5u);
    EXPECT_EQ(log[7].totalMatches, 2u);

    // A file made after the start is found once the engine walks its folders again.
    FfTestWriteBytes(root + L"\\late.txt", "12345");
    EXPECT_EQ(Names(Ask(engine, L"late").items), L"");
    EXPECT_EQ(engine.Reindex(), 7);
    a = Ask(engine, L"late");
    ASSERT_EQ(a.items.size(), 1u);
    EXPECT_EQ(a.items[0].size, 5u);
}

// Fault switches not told apart by the plug-in's own exchange tests, a late answer, and the quit count.
TEST(EngineIpc, LateAnswerExcessCountAndQuitAfter)
{
    FfEngineOptions o = Options(L"", L"quit");
    o.quitAfter = 2;
    o.answerDelayMs = 300;
    o.excessCount = 6;
    o.items.push_back({L"Q:\\\u00C4rger \u4E2D\\Stra\u00DFe.txt", 7, 1, false});
    o.items.push_back({L"Q:\\\u00C4rger \u4E2D", 0, 1, true});
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(o));
    EXPECT_EQ(engine.ItemCount(), 2);
    Answer a = Ask(engine, L"path:\"Q:\\\u00C4rger \u4E2D\\\"");
    ASSERT_TRUE(a.reply.answered);
    EXPECT_FALSE(a.reply.duringSend);
    EXPECT_GE(a.reply.receivedAfterMs, 200u);
    ASSERT_GE(a.reply.bytes.size(), 28u);
    DWORD count = 0;
    memcpy(&count, a.reply.bytes.data() + 4, 4);
    EXPECT_EQ(count, 7u);
    EXPECT_FALSE(a.decoded);
    // The one real item is whole: a path outside ASCII, index-only, arrives as given.
    DWORD offset = 0, length = 0;
    memcpy(&offset, a.reply.bytes.data() + 24, 4);
    ASSERT_LE(offset + 4ull, a.reply.bytes.size());
    memcpy(&length, a.reply.bytes.data() + offset, 4);
    ASSERT_LE(offset + 4ull + 2ull * length, a.reply.bytes.size());
    std::wstring path(length, L'\0');
    memcpy(&path[0], a.reply.bytes.data() + offset + 4, 2 * length);
    EXPECT_EQ(path, L"Q:\\\u00C4rger \u4E2D\\Stra\u00DFe.txt");
    EXPECT_EQ(engine.Queries().back().text, L"path:\"Q:\\\u00C4rger \u4E2D\\\"");
    EXPECT_TRUE(engine.Running());
    EXPECT_TRUE(Ask(engine, L"y").reply.answered);
    EXPECT_EQ(engine.process.Wait(5000), 0u);
}

static int g_bystanderCopies = 0;  // copy-data messages a window not named anywhere received

static LRESULT CALLBACK BystanderProc(HWND h, UINT m, WPARAM w, LPARAM l)
{
    if (m == WM_COPYDATA) ++g_bystanderCopies;
    return DefWindowProcW(h, m, w, l);
}

TEST(EngineIpc, MalformedRecordsAreIgnoredAndLogged)
{
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(Options(L"", L"malformed")));
    std::string good = FfEngineBuildQueryRecord(0, FfEngineQueryArgs());
    struct Case { DWORD id; const void* data; DWORD size; const char* reason; } cases[] = {
        {18, nullptr, 0, "no-data"},
        {18, good.data(), 10, "short"},
        {18, good.data(), 28, "unterminated"},
        {17, good.data(), (DWORD)good.size(), "id"},
    };
    for (const auto& c : cases) {
        COPYDATASTRUCT cds = {c.id, c.size, (void*)c.data};
        EXPECT_EQ(SendMessageW(engine.window, WM_COPYDATA, 0, (LPARAM)&cds), 0) << c.reason;
    }
    // A record naming no reply window, or every window at once, answers nobody; a top-level
    // window of ours would see a broadcast reply.
    WNDCLASSW wc = {};
    wc.lpfnWndProc = BystanderProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FfTestEngineBystander";
    RegisterClassW(&wc);
    HWND bystander = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(bystander, nullptr);
    for (DWORD target : {0u, 0xFFFFu}) {
        std::string r = FfEngineBuildQueryRecord(target, FfEngineQueryArgs());
        COPYDATASTRUCT cds = {18, (DWORD)r.size(), &r[0]};
        EXPECT_EQ(SendMessageW(engine.window, WM_COPYDATA, 0, (LPARAM)&cds), 1);
    }
    EXPECT_TRUE(Ask(engine, L"").decoded);
    FfTestFlushEvents();
    EXPECT_EQ(g_bystanderCopies, 0);
    DestroyWindow(bystander);
    EXPECT_EQ(engine.QueriesReceived(), 7);
    auto log = engine.Queries();
    ASSERT_EQ(log.size(), 7u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_FALSE(log[i].wellFormed) << cases[i].reason;
        EXPECT_EQ(log[i].reason, cases[i].reason);
        EXPECT_EQ(log[i].copyDataId, cases[i].id);
        EXPECT_EQ(log[i].cbData, cases[i].size);
    }
    for (size_t i = 4; i < 7; ++i) EXPECT_TRUE(log[i].wellFormed);
}

TEST(EngineIpc, BadCommandLinesEndTheProgramWithoutAWindow)
{
    for (const wchar_t* line : {L" --no-such-switch", L" --delay", L" --delay abc", L" --root Z:\\no\\such\\folder\\here",
                                L" --quit-after 0"}) {
        FfTestProcess p;
        ASSERT_TRUE(p.Start(L"\"" + FfTestBinPath(L"ffengine.exe") + L"\"" + line));
        DWORD code = p.Wait(10000);
        EXPECT_TRUE(code == 2 || code == 3) << FfTestUtf8(line) << " -> " << code;
    }
}

TEST(EngineIpc, OtherWidthEngineAnswersThisWidthsClient)
{
    // The record carries the reply window as 32 bits, so a client of either width reaches an engine
    // of either width. Needs a machine that runs the other width's programs.
    FfEngineOptions o = Options(L"", L"otherwidth");
    o.program = std::wstring(FF_OTHER_BIN_DIR_W) + L"\\ffengine.exe";
    o.items.push_back({L"W:\\x\\wide.bin", 6000000000ull, 42, false});
    if (!FfTestFileExists(o.program)) GTEST_SKIP() << "the other width is not built";
    FfTestEngine engine;
    if (!engine.Start(o)) GTEST_SKIP() << "the other width's engine does not run here";
    Answer a = Ask(engine, L"wide");
    ASSERT_TRUE(a.decoded);
    ASSERT_EQ(a.items.size(), 1u);
    EXPECT_EQ(a.items[0].path, L"W:\\x\\wide.bin");
    EXPECT_EQ(a.items[0].size, 6000000000ull);
    EXPECT_EQ(a.items[0].modified, 42u);
}

// Folder sizes on request, forgotten dates, and a loading index (401 and 402). The old and hung
// modes are the plug-in's exchange tests' rows.
TEST(EngineIpc, FolderSizesUnknownDatesAndLoading)
{
    auto ask = [](HWND w, WPARAM question) {
        DWORD_PTR r = 7;
        return SendMessageTimeoutW(w, WM_USER, question, 0, SMTO_NORMAL, 2000, &r) ? (int)r : -1;
    };
    FfEngineOptions o = Options(L"", L"states");
    o.items = {{L"Q:\\d", 0, 9, true}, {L"Q:\\d\\x.txt", 7, 9, false}, {L"Q:\\d\\NoDate.txt", 5, 9, false}};
    o.folderSizes = true;
    o.unknownDates = L"nodate";
    o.loadingMs = 1500;
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(o));
    EXPECT_EQ(ask(engine.window, 401), 0);
    EXPECT_EQ(ask(engine.window, 402), 1);
    EXPECT_FALSE(Ask(engine, L"x").reply.answered);  // taken, never answered
    EXPECT_TRUE(FfTestWaitFor([&] { return ask(engine.window, 401) == 1; }, 5000));
    EXPECT_EQ(ask(engine.window, 402), 0);
    Answer a = Ask(engine, L"path:Q:\\", 3);
    ASSERT_TRUE(a.decoded);
    ASSERT_EQ(Names(a.items), L"d NoDate.txt x.txt ");
    EXPECT_EQ(a.items[0].size, 12u);
    EXPECT_EQ(a.items[1].modified, ~0ull);
    EXPECT_EQ(a.items[2].modified, 9u);
}
