// The stand-in engine as a running program: queries over a real tree, every sort type, caps, faults, instances, log.
#include <gtest/gtest.h>
#include <string.h>
#include "enginectl.h"

namespace {

// Five files and a folder whose keys are all known, so each sort type has one right order.
struct Tree {
    std::wstring root;
    Tree()
    {
        root = FfTestMakeTempDir(L"engine-tree");
        std::vector<FfTestTreeItem> items(6);
        items[0] = {L"b.txt", 300, FfTestFileTime(2020, 1, 3), false, 0, FfTestFileTime(2021, 5, 3), 0};
        items[1] = {L"A.doc", 100, FfTestFileTime(2020, 1, 1), false, 0, FfTestFileTime(2021, 5, 5), 0};
        items[2] = {L"c.txt", 200, FfTestFileTime(2020, 1, 2), false, 0, FfTestFileTime(2021, 5, 4), FILE_ATTRIBUTE_READONLY};
        items[3] = {L"0sub", 0, FfTestFileTime(2019, 6, 1), true, 0, 0, 0};
        items[4] = {L"0sub\\d.cpp", 50, FfTestFileTime(2020, 1, 5), false, 0, FfTestFileTime(2021, 5, 1), 0};
        items[5] = {L"_e", 400, FfTestFileTime(2020, 1, 4), false, 0, FfTestFileTime(2021, 5, 2), FILE_ATTRIBUTE_HIDDEN};
        EXPECT_TRUE(FfTestMakeTree(root, items));
    }
    std::wstring Clause() const { return L"path:\"" + root + L"\""; }
};

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

TEST(EngineIpc, EverySortTypeOverARealTree)
{
    Tree tree;
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(Options(tree.root, L"sort")));
    EXPECT_EQ(engine.ItemCount(), 6);
    struct Case {
        DWORD sortType;
        const wchar_t* order;
    } cases[] = {
        {1, L"_e A.doc b.txt c.txt d.cpp "},  {2, L"d.cpp c.txt b.txt A.doc _e "},
        {3, L"d.cpp _e A.doc b.txt c.txt "},  {4, L"c.txt b.txt A.doc _e d.cpp "},
        {5, L"d.cpp A.doc c.txt b.txt _e "},  {6, L"_e b.txt c.txt A.doc d.cpp "},
        {7, L"_e d.cpp A.doc b.txt c.txt "},  {8, L"c.txt b.txt A.doc d.cpp _e "},
        {9, L"d.cpp A.doc _e b.txt c.txt "},  {10, L"c.txt b.txt _e A.doc d.cpp "},
        {13, L"A.doc c.txt b.txt _e d.cpp "}, {14, L"d.cpp _e b.txt c.txt A.doc "},
        {15, L"d.cpp A.doc b.txt c.txt _e "}, {16, L"_e c.txt d.cpp A.doc b.txt "},
        {23, L"d.cpp _e b.txt c.txt A.doc "}, {24, L"A.doc c.txt b.txt _e d.cpp "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sortType);
        Answer a = Ask(engine, tree.Clause() + L" file:", c.sortType);
        ASSERT_TRUE(a.decoded);
        EXPECT_EQ(a.total, 5u);
        EXPECT_EQ(Names(a.items), c.order);
    }
    // Creation dates: the platform may not keep the ones set, so check the order against what it reports.
    for (DWORD sortType : {11u, 12u}) {
        SCOPED_TRACE(sortType);
        Answer a = Ask(engine, tree.Clause() + L" file:", sortType);
        ASSERT_TRUE(a.decoded);
        ASSERT_EQ(a.items.size(), 5u);
        for (size_t i = 1; i < a.items.size(); ++i) {
            WIN32_FILE_ATTRIBUTE_DATA x, y;
            ASSERT_TRUE(GetFileAttributesExW(a.items[i - 1].path.c_str(), GetFileExInfoStandard, &x));
            ASSERT_TRUE(GetFileAttributesExW(a.items[i].path.c_str(), GetFileExInfoStandard, &y));
            LONG c = CompareFileTime(&x.ftCreationTime, &y.ftCreationTime);
            EXPECT_TRUE(sortType == 11 ? c <= 0 : c >= 0) << i;
        }
    }
    // What each item carries is what the file system says.
    Answer a = Ask(engine, tree.Clause(), 3);
    ASSERT_TRUE(a.decoded);
    ASSERT_EQ(Names(a.items), L"0sub d.cpp _e A.doc b.txt c.txt ");
    EXPECT_TRUE(a.items[0].isFolder);
    EXPECT_EQ(a.items[0].size, 0u);
    EXPECT_EQ(a.items[1].path, tree.root + L"\\0sub\\d.cpp");
    EXPECT_EQ(a.items[1].size, 50u);
    EXPECT_EQ(a.items[1].modified, FfTestFileTime(2020, 1, 5));
    EXPECT_FALSE(a.items[1].isFolder);
}

TEST(EngineIpc, QueryLanguageCapsTotalAndTheLog)
{
    Tree tree;
    FfTestEngine engine;
    FfEngineOptions o = Options(tree.root, L"lang");
    o.filtersDir = FfTestMakeTempDir(L"engine-nofilters");  // the built-in filters
    ASSERT_TRUE(engine.Start(o));
    struct Case {
        std::wstring text;
        DWORD first, max;
        DWORD total;
        const wchar_t* names;
    } cases[] = {
        {tree.Clause() + L" file:", 1, 2, 5, L"A.doc b.txt "},
        {tree.Clause() + L" file:", 0, 0, 5, L""},
        {tree.Clause() + L" file:", 5, 10, 5, L""},
        {tree.Clause() + L" TXT", 0, 100, 2, L"b.txt c.txt "},
        {tree.Clause() + L" folder:", 0, 100, 1, L"0sub "},
        {tree.Clause() + L" ext:txt;CPP", 0, 100, 3, L"b.txt c.txt d.cpp "},
        {L"path:\"" + tree.root + L"\\0sub\"", 0, 100, 1, L"d.cpp "},
        {tree.Clause() + L" filter:\"Document\"", 0, 100, 4, L"A.doc b.txt c.txt d.cpp "},
        {tree.Clause() + L" filter:\"Folder\" file:", 0, 100, 0, L""},
        {tree.Clause() + L" filter:\"NoSuchFilter\"", 0, 100, 0, L""},
        {tree.Clause() + L" b. .txt", 0, 100, 1, L"b.txt "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(FfTestUtf8(c.text) + " first " + std::to_string(c.first) + " max " + std::to_string(c.max));
        Answer a = Ask(engine, c.text, 1, c.max, c.first);
        ASSERT_TRUE(a.decoded);
        EXPECT_TRUE(a.reply.duringSend);
        EXPECT_EQ(a.reply.copyDataId, 18u);
        EXPECT_EQ(a.total, c.total);
        EXPECT_EQ(Names(a.items), c.names);
    }
    // One log line per record, every field as sent.
    auto log = engine.Queries();
    ASSERT_EQ(log.size(), sizeof cases / sizeof cases[0]);
    for (size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(log[i].wellFormed);
        EXPECT_EQ(log[i].text, cases[i].text);
        EXPECT_EQ(log[i].copyDataId, 18u);
        EXPECT_EQ(log[i].cbData, 28 + 2 * (cases[i].text.size() + 1));
        EXPECT_NE(log[i].replyWindow, 0u);
        EXPECT_EQ(log[i].replyId, 18u);
        EXPECT_EQ(log[i].searchFlags, 0u);
        EXPECT_EQ(log[i].firstResult, cases[i].first);
        EXPECT_EQ(log[i].maxResults, cases[i].max);
        EXPECT_EQ(log[i].requestFlags, 84u);
        EXPECT_EQ(log[i].sortType, 1u);
        EXPECT_EQ(log[i].totalMatches, cases[i].total);
    }
}

TEST(EngineIpc, FiltersComeFromTheEnginesOwnConfiguration)
{
    Tree tree;
    std::wstring iniDir = FfTestMakeTempDir(L"engine-ini");
    FfTestWriteBytes(iniDir + L"\\Everything.ini",
                     "[Filters]\r\nFilter1_Name=Texts\r\nFilter1_Search=ext:txt\r\nFilter3_Name=Gap\r\nFilter3_Search=ext:doc\r\n");
    FfTestWriteBytes(iniDir + L"\\filters.csv", "Name,,,,,,,,,,Search\r\nFromCsv,,,,,,,,,,ext:doc\r\n");
    std::wstring csvDir = FfTestMakeTempDir(L"engine-csv");
    FfTestWriteBytes(csvDir + L"\\filters.csv", "Name,,,,,,,,,,Search\r\n\"Big, files\",,,,,,,,,,ext:cpp;doc\r\n");
    std::wstring appData = FfTestMakeTempDir(L"engine-appdata");
    CreateDirectoryW((appData + L"\\Everything").c_str(), nullptr);
    FfTestWriteBytes(appData + L"\\Everything\\filters.csv", "Hidden one,,,,,,,,,,_e\r\n");
    std::wstring emptyDir = FfTestMakeTempDir(L"engine-nofilters");

    struct Case {
        const wchar_t* label;
        std::wstring dir;  // empty: the engine's default place under APPDATA
        const wchar_t* filter;
        const wchar_t* names;
    } cases[] = {
        {L"ini wins over csv", iniDir, L"Texts", L"b.txt c.txt "},
        {L"ini numbering ends at a gap", iniDir, L"Gap", L""},
        {L"csv when no ini section", csvDir, L"big, FILES", L"A.doc d.cpp "},
        {L"csv not read when the ini has filters", iniDir, L"FromCsv", L""},
        {L"built-ins when nothing is configured", emptyDir, L"Folder", L"0sub "},
        {L"built-ins when nothing is configured", emptyDir, L"document", L"A.doc b.txt c.txt d.cpp "},
        {L"default place under APPDATA", L"", L"Hidden one", L"_e "},
    };
    wchar_t savedAppData[2048] = {};
    DWORD had = GetEnvironmentVariableW(L"APPDATA", savedAppData, 2048);
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());  // the engine inherits it
    for (const auto& c : cases) {
        SCOPED_TRACE(FfTestUtf8(c.label));
        FfEngineOptions o = Options(tree.root, L"filters");
        o.filtersDir = c.dir;
        FfTestEngine engine;
        ASSERT_TRUE(engine.Start(o));
        Answer a = Ask(engine, tree.Clause() + L" filter:\"" + c.filter + L"\"");
        ASSERT_TRUE(a.decoded);
        EXPECT_EQ(Names(a.items), c.names);
    }
    SetEnvironmentVariableW(L"APPDATA", had ? savedAppData : nullptr);
}

TEST(EngineIpc, EachFaultModeAsAClientSeesIt)
{
    Tree tree;
    struct Case {
        const char* label;
        void (*set)(FfEngineOptions*);
        void (*check)(const Answer&);
    } cases[] = {
        {"on time", [](FfEngineOptions*) {},
         [](const Answer& a) {
             EXPECT_TRUE(a.reply.duringSend);
             EXPECT_TRUE(a.decoded);
             EXPECT_EQ(a.items.size(), 5u);
         }},
        {"late", [](FfEngineOptions* o) { o->answerDelayMs = 400; },
         [](const Answer& a) {
             ASSERT_TRUE(a.reply.answered);
             EXPECT_FALSE(a.reply.duringSend);
             EXPECT_GE(a.reply.receivedAfterMs, 300u);
             EXPECT_TRUE(a.decoded);
             EXPECT_EQ(a.items.size(), 5u);
         }},
        {"never", [](FfEngineOptions* o) { o->neverAnswer = true; },
         [](const Answer& a) { EXPECT_FALSE(a.reply.answered); }},
        {"other id", [](FfEngineOptions* o) { o->replyId = 77; },
         [](const Answer& a) {
             ASSERT_TRUE(a.reply.answered);
             EXPECT_EQ(a.reply.copyDataId, 77u);
             EXPECT_TRUE(a.decoded);
         }},
        {"short block", [](FfEngineOptions* o) { o->shortBlock = true; },
         [](const Answer& a) {
             ASSERT_TRUE(a.reply.answered);
             EXPECT_LT(a.reply.bytes.size(), 20u);
             EXPECT_FALSE(a.decoded);
         }},
        {"count beyond the items", [](FfEngineOptions* o) { o->excessCount = 6; },
         [](const Answer& a) {
             ASSERT_TRUE(a.reply.answered);
             DWORD count = 0;
             memcpy(&count, a.reply.bytes.data() + 4, 4);
             EXPECT_EQ(count, 11u);
             EXPECT_FALSE(a.decoded);
         }},
        {"offset past the end", [](FfEngineOptions* o) { o->badOffset = true; },
         [](const Answer& a) {
             ASSERT_TRUE(a.reply.answered);
             DWORD offset = 0;
             memcpy(&offset, a.reply.bytes.data() + 24 + 8 * 4, 4);
             EXPECT_GE(offset, a.reply.bytes.size());
             EXPECT_FALSE(a.decoded);
         }},
        {"length past the end", [](FfEngineOptions* o) { o->badLength = true; },
         [](const Answer& a) {
             ASSERT_TRUE(a.reply.answered);
             DWORD offset = 0, length = 0;
             memcpy(&offset, a.reply.bytes.data() + 24 + 8 * 4, 4);
             memcpy(&length, a.reply.bytes.data() + offset, 4);
             EXPECT_GT(offset + 4 + 2ull * length, a.reply.bytes.size());
             EXPECT_FALSE(a.decoded);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        FfEngineOptions o = Options(tree.root, L"fault");
        c.set(&o);
        FfTestEngine engine;
        ASSERT_TRUE(engine.Start(o));
        FfEngineQueryArgs args;
        args.text = tree.Clause() + L" file:";
        Answer a;
        a.reply = FfEngineSendQuery(engine.window, args, 1500);
        a.decoded = a.reply.answered && FfEngineDecodeReply(a.reply.bytes, &a.total, &a.items);
        c.check(a);
        // Whatever it answered, the query was logged and the engine is still there.
        EXPECT_EQ(engine.Queries().size(), 1u);
        EXPECT_TRUE(engine.Running());
    }
}

TEST(EngineIpc, QuitsAfterTheGivenNumberOfQueries)
{
    FfEngineOptions o = Options(L"", L"quit");
    o.quitAfter = 2;
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(o));
    EXPECT_TRUE(Ask(engine, L"x").reply.answered);
    EXPECT_TRUE(engine.Running());
    EXPECT_TRUE(Ask(engine, L"y").reply.answered);
    EXPECT_EQ(engine.process.Wait(5000), 0u);
}

TEST(EngineIpc, LateAnswerComesAfterTheSendAndStillCountsForQuit)
{
    FfEngineOptions o = Options(L"", L"latequit");
    o.quitAfter = 1;
    o.answerDelayMs = 200;
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(o));
    Answer a = Ask(engine, L"x");
    EXPECT_TRUE(a.reply.answered);
    EXPECT_FALSE(a.reply.duringSend);
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
    struct Case {
        const char* label;
        DWORD id;
        const void* data;
        DWORD size;
        const char* reason;
    } cases[] = {
        {"no data", 18, nullptr, 0, "no-data"},
        {"short", 18, good.data(), 10, "short"},
        {"no terminator", 18, good.data(), 28, "unterminated"},
        {"another id", 17, good.data(), (DWORD)good.size(), "id"},
    };
    for (const auto& c : cases) {
        COPYDATASTRUCT cds = {c.id, c.size, (void*)c.data};
        EXPECT_EQ(SendMessageW(engine.window, WM_COPYDATA, 0, (LPARAM)&cds), 0) << c.label;
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
        EXPECT_FALSE(log[i].wellFormed) << cases[i].label;
        EXPECT_EQ(log[i].reason, cases[i].reason);
        EXPECT_EQ(log[i].copyDataId, cases[i].id);
        EXPECT_EQ(log[i].cbData, cases[i].size);
    }
    for (size_t i = 4; i < 7; ++i) EXPECT_TRUE(log[i].wellFormed);
}

TEST(EngineIpc, IndexOnlyItemsAndReindex)
{
    Tree tree;
    FfEngineOptions o = Options(tree.root, L"items");
    std::wstring longPath = L"Q:\\" + std::wstring(3000, L'x') + L".bin";
    o.items.push_back({longPath, 5000000000ull, FfTestFileTime(2030, 12, 31, 23, 59, 59), false});
    o.items.push_back({L"Q:\\\u00C4rger \u4E2D\\Stra\u00DFe.txt", 7, 1, false});
    o.items.push_back({L"Q:\\\u00C4rger \u4E2D", 0, 1, true});
    FfTestEngine engine;
    ASSERT_TRUE(engine.Start(o));
    EXPECT_EQ(engine.ItemCount(), 9);
    Answer a = Ask(engine, L"path:Q:\\ file:", 3);
    ASSERT_TRUE(a.decoded);
    ASSERT_EQ(a.items.size(), 2u);
    EXPECT_EQ(a.items[0].path, longPath);
    EXPECT_EQ(a.items[0].size, 5000000000ull);
    EXPECT_EQ(a.items[0].modified, FfTestFileTime(2030, 12, 31, 23, 59, 59));
    EXPECT_EQ(a.items[1].path, L"Q:\\\u00C4rger \u4E2D\\Stra\u00DFe.txt");
    a = Ask(engine, L"path:\"Q:\\\u00C4rger \u4E2D\"");
    ASSERT_TRUE(a.decoded);
    EXPECT_EQ(Names(a.items), L"Stra\u00DFe.txt ");
    EXPECT_EQ(engine.Queries().back().text, L"path:\"Q:\\\u00C4rger \u4E2D\"");

    // A file made after the start is found once the engine walks its folders again.
    FfTestWriteBytes(tree.root + L"\\late.txt", "12345");
    EXPECT_EQ(Names(Ask(engine, L"late").items), L"");
    EXPECT_EQ(engine.Reindex(), 10);
    a = Ask(engine, L"late");
    ASSERT_EQ(a.items.size(), 1u);
    EXPECT_EQ(a.items[0].size, 5u);
}

TEST(EngineIpc, NamedInstanceAndPlainClass)
{
    FfEngineOptions o = Options(L"", L"named");
    FfTestEngine named;
    ASSERT_TRUE(named.Start(o));
    wchar_t cls[300] = {};
    GetClassNameW(named.window, cls, 300);
    EXPECT_EQ(std::wstring(cls), L"EVERYTHING_TASKBAR_NOTIFICATION_(" + o.instance + L")");
    EXPECT_EQ(FindWindowW(cls, nullptr), named.window);
    EXPECT_TRUE(Ask(named, L"").decoded);

    o.instance.clear();
    FfTestEngine plain;
    ASSERT_TRUE(plain.Start(o));
    GetClassNameW(plain.window, cls, 300);
    EXPECT_STREQ(cls, L"EVERYTHING_TASKBAR_NOTIFICATION");
    EXPECT_NE(FindWindowW(L"EVERYTHING_TASKBAR_NOTIFICATION", nullptr), nullptr);
    EXPECT_TRUE(Ask(plain, L"").decoded);
    // A top-level window (FindWindowW sees it), never shown.
    EXPECT_EQ(GetParent(plain.window), nullptr);
    EXPECT_FALSE(IsWindowVisible(plain.window));
}

TEST(EngineIpc, BadCommandLinesEndTheProgramWithoutAWindow)
{
    const wchar_t* lines[] = {L" --no-such-switch", L" --delay", L" --delay abc", L" --root Z:\\no\\such\\folder\\here",
                              L" --quit-after 0"};
    for (const wchar_t* line : lines) {
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
    if (!engine.Start(o)) {
        DWORD code = engine.process.pi.hProcess ? engine.process.Wait(0) : 0;
        GTEST_SKIP() << "the other width's engine does not run here (exit " << code << ")";
    }
    Answer a = Ask(engine, L"wide");
    ASSERT_TRUE(a.decoded);
    ASSERT_EQ(a.items.size(), 1u);
    EXPECT_EQ(a.items[0].path, L"W:\\x\\wide.bin");
    EXPECT_EQ(a.items[0].size, 6000000000ull);
    EXPECT_EQ(a.items[0].modified, 42u);
}
