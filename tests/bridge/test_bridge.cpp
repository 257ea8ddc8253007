// The bridge through the host's own entry points, on both of its roads (the 8-bit functions and
// their Unicode twins): publishing, listing, copy, open, delete and the content fields.
#include <gtest/gtest.h>
#include <atomic>
#include <random>
#include <set>
#include <thread>
#include <tuple>
#include "bridge/listing_internal.h"
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include "search/search.h"

namespace {

// In the host the module's attach makes the lock; this program has no attach.
const bool g_lockMade = (InitializeCriticalSection(&g_listingLock), true);

enum Road { ANSI, WIDE };
const Road kRoads[] = {ANSI, WIDE};
const char* RoadName(Road road) { return road == WIDE ? "wide road" : "8-bit road"; }

// The 8-bit text the host gets for a wide one: no best fit, a missing character becomes "?".
std::string Ansi(const std::wstring& text)
{
    std::string out(text.size() * 2 + 1, 0);
    out.resize(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, &out[0], (int)out.size(), nullptr, nullptr) - 1);
    return out;
}
std::wstring Wide(const std::string& text)
{
    std::wstring out(text.size() + 1, 0);
    out.resize(MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &out[0], (int)out.size()) - 1);
    return out;
}
// A name as the road hands it to the host, widened back.
std::wstring OnRoad(Road road, const std::wstring& name) { return road == WIDE ? name : Wide(Ansi(name)); }
std::string Utf8(const wchar_t* text) { return text ? FfTestUtf8(std::wstring(text).substr(0, 60)) : "(null)"; }

// A host's text on either road; null stays null.
struct Text {
    std::wstring w;  // and a, its 8-bit form
    std::string a;
    bool null;
    Text(const wchar_t* text) : w(text ? text : L""), a(Ansi(w)), null(!text) {}
    WCHAR* W() { return null ? nullptr : &w[0]; }
    char* A() { return null ? nullptr : &a[0]; }
};

struct Entry { std::wstring name, realPath; int isFolder = 0; unsigned long long size = 0, modified = 0; };
void SetListing(const std::vector<Entry>& entries)
{
    EnterCriticalSection(&g_listingLock);
    FfListingClear();
    for (const Entry& e : entries) FfListingAddEntry(e.name.c_str(), e.realPath.c_str(), e.size, e.modified, e.isFolder);
    LeaveCriticalSection(&g_listingLock);
}
std::vector<std::wstring> ListingNames()
{
    std::vector<std::wstring> names;
    for (int i = 0; i < g_panelListingCount; ++i) names.push_back(g_panelListing[i].name);
    return names;
}
std::vector<std::wstring> Sorted(std::vector<std::wstring> names) { return std::sort(names.begin(), names.end()), names; }

// Publishes these results (files, or folders for paths ending in a backslash; sizes 100, 101...).
void Publish(const std::vector<std::wstring>& paths, const std::vector<int>& selection, bool append)
{
    FfClearResults();
    for (std::wstring path : paths) {
        DWORD isFolder = path.back() == L'\\';
        if (isFolder) path.pop_back();
        FfAppendResult(path.c_str(), (int)path.size(), 100 + g_resultCount, {1000u + (DWORD)g_resultCount, 7}, isFolder);
    }
    wchar_t target[FF_VIRTUAL_PATH_CHARS];
    FfPublishToListing(selection.empty() ? nullptr : selection.data(), (int)selection.size(), append, target,
                       FF_VIRTUAL_PATH_CHARS);
}

// Makes files (name, content) and folders (name ending in a backslash) below dir, at any length.
void MakeTree(const std::wstring& dir, const std::vector<std::pair<std::wstring, std::string>>& items)
{
    for (const auto& item : items) {
        std::wstring path = L"\\\\?\\" + dir + L"\\" + item.first;
        for (size_t at = dir.size() + 5; at < path.size(); ++at)
            if (path[at] == L'\\') CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
        if (path.back() != L'\\') FfTestWriteBytes(path, item.second);
    }
}

struct Listed { std::wstring name; DWORD attributes; unsigned long long size, modified; };
// error: after the last FindNext, or after FindFirst when it gave no handle.
struct Listing { HANDLE first; DWORD error; std::vector<Listed> items; std::vector<std::wstring> names; };
unsigned long long Join(DWORD high, DWORD low) { return ((unsigned long long)high << 32) | low; }
template <class Data>
Listed Of(const Data& d, const std::wstring& name) { return {name, d.dwFileAttributes, Join(d.nFileSizeHigh, d.nFileSizeLow), Join(d.ftLastWriteTime.dwHighDateTime, d.ftLastWriteTime.dwLowDateTime)}; }
// FsFindFirst, FsFindNext to the end, FsFindClose.
Listing List(Road road, Text given)
{
    WIN32_FIND_DATAW w;
    WIN32_FIND_DATAA a;
    HANDLE handle = road == WIDE ? FsFindFirstW(given.W(), &w) : FsFindFirst(given.A(), &a);
    Listing out = {handle, GetLastError(), {}, {}};
    if (handle == INVALID_HANDLE_VALUE) return out;
    do out.items.push_back(road == WIDE ? Of(w, w.cFileName) : Of(a, Wide(a.cFileName)));
    while (road == WIDE ? FsFindNextW(handle, &w) : FsFindNext(handle, &a));
    out.error = GetLastError();
    EXPECT_EQ(FsFindClose(handle), 0);
    for (const Listed& item : out.items) out.names.push_back(item.name);
    return out;
}

int GetFile(Road road, Text r, Text l, int flags) { return road == WIDE ? FsGetFileW(r.W(), l.W(), flags, nullptr) : FsGetFile(r.A(), l.A(), flags, nullptr); }
int Execute(Road road, Text r, Text verb) { return road == WIDE ? FsExecuteFileW(nullptr, r.W(), verb.W()) : FsExecuteFile(nullptr, r.A(), verb.A()); }
BOOL Delete(Road road, Text r) { return road == WIDE ? FsDeleteFileW(r.W()) : FsDeleteFile(r.A()); }
// FsContentGetValue(W) (fs) or ContentGetValue(W), the value widened; maxLen in the road's units.
int Value(Road road, bool fs, Text f, int field, std::wstring* value, int maxLen = 256)
{
    wchar_t w[512];  // and a: filled with "z", so what is not written shows
    char a[512];
    wmemset(w, L'z', 512), memset(a, 'z', 512);
    int type = road == WIDE ? (fs ? FsContentGetValueW : ContentGetValueW)(f.W(), field, 0, w, maxLen * 2, 0)
                            : (fs ? FsContentGetValue : ContentGetValue)(f.A(), field, 0, a, maxLen, 0);
    *value = road == WIDE ? std::wstring(w, wcsnlen(w, 512)) : Wide(std::string(a, strnlen(a, 512)));
    return type;
}

TEST(Publish, AppendReplaceAndTheListingLimit)
{
    struct Rule { const wchar_t* base; int k; const wchar_t* name; } rules[] = {{L"report.txt", 13, L"report (13).txt"},
        {L"README", 2, L"README (2)"}, {L".profile", 2, L".profile (2)"}, {L".profile.bak", 2, L".profile (2).bak"}};
    wchar_t name[FF_PANEL_NAME_CHARS];
    for (const Rule& r : rules) EXPECT_STREQ((FfBuildNumberedName(r.base, r.k, name, FF_PANEL_NAME_CHARS), name), r.name);
    const std::vector<std::wstring> four = {L"a.txt", L"a (2).txt", L"Folder", L"A (3).TXT"}, dup = {L"C:\\dup\\d.txt", L"C:\\DUP\\D.TXT"};
    struct Step { std::vector<std::wstring> results; std::vector<int> selection; bool append; std::vector<std::wstring> names; } steps[] = {
        {{L"C:\\one\\a.txt", L"C:\\two\\a.txt", L"C:\\d\\Folder\\"}, {}, false, {L"a.txt", L"a (2).txt", L"Folder"}},
        // A listed path in other ASCII case is skipped, a new one numbered on, bad indexes ignored.
        {{L"c:\\ONE\\A.TXT", L"C:\\three\\A.TXT"}, {0, 1, 7, -1}, true, four},
        {{L"C:\\three\\a.txt"}, {}, true, four}, {{L"C:\\x.txt"}, {5}, false, {}},
        {dup, {0, 1, 0}, true, {L"d.txt"}}, {dup, {0, 1, 0}, false, {L"d.txt", L"D (2).TXT", L"d (3).txt"}},
    };
    for (const Step& s : steps) {
        Publish(s.results, s.selection, s.append);
        EXPECT_EQ(ListingNames(), s.names) << FfTestUtf8(s.results[0]);
        const FfPanelEntry* e = g_panelListing;
        EXPECT_TRUE(&s != steps || std::make_tuple(std::wstring(e[2].realPath), e[2].isFolder, e[1].size, e[1].modified) ==
                                       std::make_tuple(std::wstring(L"C:\\d\\Folder"), 1, 101ull, (7ull << 32) | 1001u));
    }
}

// Batches of clashing names, literal "x (2)" names and over-long ones, appended batch after batch,
// name every entry as a rescan from 1 over the names so far would.
TEST(Publish, NamesMatchAPlainRescan)
{
    const std::wstring bases[] = {L"a.txt", L"A.TXT", L"a (2).txt", L"b", L"B (3)", L".rc", L"x.tar.gz", L"\u00C4.txt",
                                  L"\u00E4.txt", std::wstring(600, L'y'), L"a." + std::wstring(400, L'e'),
                                  // either side of where numbered names start to be cut
                                  std::wstring(279, L'q') + L".txt", std::wstring(281, L'q') + L".txt", std::wstring(279, L'w'),
                                  L"x." + std::wstring(293, L'e')};
    const int baseCount = sizeof bases / sizeof bases[0];
    auto fold = [](std::wstring name) { return std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c + 32 : c; }), name; };
    std::mt19937 random(7);
    std::vector<std::wstring> names;
    std::set<std::wstring> taken;  // folded
    const size_t total = 2000;
    for (int batch = 0; names.size() < total; ++batch) {
        std::vector<std::wstring> paths;
        for (int i = 0, n = 1 + random() % 150; i < n && names.size() < total; ++i) {
            std::wstring base = bases[random() % baseCount];
            paths.push_back(L"C:\\" + std::to_wstring(batch) + L"_" + std::to_wstring(i) + L"\\" + base);
            wchar_t name[FF_PANEL_NAME_CHARS];
            for (int k = 1; k == 1 || taken.count(fold(name)); ++k) FfBuildNumberedName(base.c_str(), k, name, FF_PANEL_NAME_CHARS);
            names.push_back(name);
            taken.insert(fold(name));
        }
        Publish(paths, {}, batch > 0);
        ASSERT_EQ(ListingNames(), names) << "batch " << batch;
    }
    for (const std::wstring& name : names) EXPECT_LE(name.size(), 299u);
}

// A full result set of 50 names in runs: every entry unique, listed in order, found by name and by
// path, removable; the set and the listing hold no more than their caps, and give their memory back.
TEST(Publish, AHundredThousandEntries)
{
    FfClearResults();
    const int n = FF_PANEL_LISTING_MAX;
    wchar_t path[64];
    for (int i = 0; i <= n; ++i) {
        int length = FfFormatText(path, 64, L"C:\\d%06d\\R%02d.txt", i, i % 50);
        EXPECT_EQ(i < FF_RESULTS_MAX, FfAppendResult(path, length, i, {}, 0) == 1) << i;
    }
    ASSERT_EQ(FF_RESULTS_MAX, g_resultCount);
    wchar_t target[FF_VIRTUAL_PATH_CHARS];
    ASSERT_EQ(n, FfPublishToListing(nullptr, 0, false, target, FF_VIRTUAL_PATH_CHARS));
    EXPECT_EQ(n, FfPublishToListing(nullptr, 0, true, target, FF_VIRTUAL_PATH_CHARS));  // full: nothing added
    EXPECT_STREQ(L"\\\\\\" FF_PRODUCT_NAME L"\\R00.txt", target);
    EXPECT_TRUE(FfPublishToListing(nullptr, 0, true, target, 0) == n && target[0] == L'\\') << "a target of no room is not written";
    Listing listed = List(WIDE, L"\\");
    ASSERT_EQ((size_t)n, listed.names.size());
    std::set<std::wstring> folded;
    for (std::wstring name : listed.names) folded.insert((CharLowerBuffW(&name[0], (DWORD)name.size()), name));
    EXPECT_EQ((size_t)n, folded.size());
    // Entry i is the (i / 50 + 1)-th of its name.
    for (int i = 0; i < n; i += 997) {
        std::wstring name = L"R" + std::wstring(i % 50 < 10 ? L"0" : L"") + std::to_wstring(i % 50) + (i < 50 ? L"" : L" (" + std::to_wstring(i / 50 + 1) + L")") + L".txt", value;
        ASSERT_EQ(name, listed.names[i]);
        FfFormatText(path, 64, L"C:\\d%06d\\R%02d.txt", i, i % 50);
        Value(WIDE, true, (L"\\" + name).c_str(), 0, &value);
        EXPECT_EQ(path, value) << i;
    }
    FfRemoveListedPath(L"c:\\D000005\\r05.TXT");
    EXPECT_EQ(n - 1, g_panelListingCount);
    struct Found { const wchar_t *name, *path; } found[] = {{L"\\R05.txt", L""}, {L"\\R06.txt", L"C:\\d000006\\R06.txt"},
                                                            {L"\\r49 (2000).TXT", L"C:\\d099999\\R49.txt"}};
    for (const Found& f : found) {
        std::wstring value;
        Value(WIDE, true, f.name, 0, &value);
        EXPECT_EQ(f.path, value) << Utf8(f.name);
    }
    SIZE_T full = FfListingBytes();
    Publish({L"C:\\x.txt"}, {}, false);
    EXPECT_TRUE(full > 100u * n && FfListingBytes() < 200000 && FfResultSetBytes() < 200000) << full << " " << FfListingBytes();
}

TEST(Listing, PublishedEntriesAndRealFolders)
{
    FfTestLog log(L"listing");  // a log line written inside a call must not change its last error
    std::wstring dir = FfTestMakeTempDir(L"listing");
    const std::wstring odd = L"\u0141\u00F3d\u017A \xD83C\xDF34.txt", U = Wide(FF_PLACEHOLDER_UNRESOLVED_A);
    MakeTree(dir, {{L"pub\\sub\\deep.bin", std::string(70000, 'x')}, {L"pub\\one.txt", "12345"}, {L"pub\\sub\\" + odd, "odd"}, {L"empty\\", ""}});
    // The engine marks an unknown size or date with all bits set: the host gets size 0 and its own
    // unknown time. Names are cut to the host's field, never between the halves of a pair.
    const std::wstring cjk = L"\u4E2D\u6587 \u0416.txt", n258 = std::wstring(258, L'n');
    SetListing({{L"pub", dir + L"\\pub", 1, 0, 0x0102030405060708ull}, {L"file.txt", dir + L"\\pub\\one.txt", 0, 0x100000005ull, 42},
                {L"empty", dir + L"\\empty", 1}, {L"gone", dir + L"\\no-such-folder", 1, ~0ull, ~0ull}, {std::wstring(299, L'n'), dir},
                {n258 + L"\xD83C\xDF34", dir}, {cjk, dir}});
    WIN32_FILE_ATTRIBUTE_DATA deep;
    GetFileAttributesExW((dir + L"\\pub\\sub\\deep.bin").c_str(), GetFileExInfoStandard, &deep);
    for (Road road : kRoads) {
        SCOPED_TRACE(RoadName(road));
        struct Case { const wchar_t* path; std::vector<std::wstring> names; } cases[] = {
            {L"\\", {L"pub", L"file.txt", L"empty", L"gone", n258 + L"n", n258, OnRoad(road, cjk)}},
            {L"\\pub", {L"one.txt", L"sub"}}, {L"\\PUB\\\\\\", {L"one.txt", L"sub"}},
            {L"\\pub\\sub\\", {L"deep.bin", OnRoad(road, odd)}},
            {L"\\empty", {}},  // nothing but "." and "..": no handle
            {L"\\gone", {U}},  // resolved, but unreadable
            {L"\\file.txt", {U}}, {L"\\nothing", {U}}, {L"\\\\", {U}}, {L"", {U}}, {nullptr, {U}}, {L"pub", {U}},
            // Never above a published folder, whatever the spelling of "..".
            {L"\\pub\\..", {U}}, {L"\\pub\\sub\\..\\..", {U}}, {L"\\pub\\.", {U}}, {L"\\pub\\sub/../..", {U}}, {L"\\pub\\... ", {U}}, {L"\\pub\\s*", {U}},
        };
        for (const Case& c : cases) {
            Listing listing = List(road, c.path);
            bool root = c.path && !wcscmp(c.path, L"\\");  // the root lists in publishing order
            EXPECT_EQ(root ? listing.names : Sorted(listing.names), root ? c.names : Sorted(c.names)) << Utf8(c.path);
            EXPECT_EQ(listing.first == INVALID_HANDLE_VALUE, c.names.empty()) << Utf8(c.path);
            EXPECT_EQ(listing.error, (DWORD)ERROR_NO_MORE_FILES) << Utf8(c.path);
        }
        std::vector<Listed> r = List(road, L"\\").items;
        ASSERT_EQ(r.size(), 7u);  // nor is the null record below reached when listing fails
        EXPECT_EQ(std::make_tuple(r[0].attributes, r[0].modified, r[1].attributes, r[1].size, r[1].modified, r[3].size, r[3].modified),
                  std::make_tuple(DWORD(FILE_ATTRIBUTE_DIRECTORY), 0x0102030405060708ull, DWORD(FILE_ATTRIBUTE_NORMAL), 0x100000005ull,
                                  42ull, 0ull, 0xFFFFFFFFFFFFFFFEull));
        for (const Listed& i : List(road, L"\\pub\\sub").items)
            EXPECT_TRUE(i.name != L"deep.bin" || std::make_tuple(i.size, i.attributes & FILE_ATTRIBUTE_DIRECTORY, i.modified) ==
                        std::make_tuple(70000ull, DWORD(0), Join(deep.ftLastWriteTime.dwHighDateTime, deep.ftLastWriteTime.dwLowDateTime)));
        WIN32_FIND_DATAA data;
        EXPECT_EQ(road == WIDE ? FsFindFirstW((WCHAR*)L"\\", nullptr) : FsFindFirst((char*)"\\", nullptr), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), (DWORD)ERROR_NO_MORE_FILES);
        EXPECT_EQ(FsFindNext(nullptr, &data) + FsFindClose(INVALID_HANDLE_VALUE), 0);
    }
    SetListing({});  // nothing published: the placeholder that says so, and the old entries are gone
    for (Road road : kRoads) EXPECT_EQ(List(road, L"\\").names, std::vector<std::wstring>{Wide(FF_PLACEHOLDER_EMPTY_A)});
    for (Road road : kRoads) EXPECT_EQ(List(road, L"\\pub").names, std::vector<std::wstring>{U});
}

// Host threads list the root and read each name's Path while the listing is published again and
// again: every name comes with its own entry's path.
TEST(Listing, UnderConcurrentPublishing)
{
    std::atomic<bool> stop(false);
    std::atomic<long> checked(0), wrong(0);
    auto reader = [&]() {
        for (WIN32_FIND_DATAA data; !stop;) {
            HANDLE handle = FsFindFirst((char*)"\\", &data);
            do {  // published names are f<n>.txt, never two alike, paths C:\r<round>\f<n>.txt
                std::string name = data.cFileName, path = "\\" + name;
                char value[2048] = "";
                FsContentGetValue((char*)path.c_str(), 0, 0, value, sizeof(value), 0);
                std::string text = value;
                wrong += name[0] != 'f' || (!text.empty() && text.substr(text.rfind('\\') + 1) != name);
                checked += !text.empty();
            } while (FsFindNext(handle, &data));
            FsFindClose(handle);
        }
    };
    Publish({L"C:\\r\\f499.txt"}, {}, false);
    std::thread readers[3] = {std::thread(reader), std::thread(reader), std::thread(reader)};
    for (int round = 0; round < 1500; ++round) {
        std::set<std::wstring> paths;
        for (int i = 0, count = 1 + (round * 37) % 120; i < count; ++i)
            paths.insert(L"C:\\r" + std::to_wstring(round) + L"\\f" + std::to_wstring((i * 7 + round) % 500) + L".txt");
        Publish(std::vector<std::wstring>(paths.begin(), paths.end()), {}, round % 3 == 0);
    }
    stop = true;
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(checked.load(), 100);
}

// The request goes once, and only to a thread that exists.
TEST(FsInitCall, AsksTheBackgroundThreadOnceToOpenTheSearchBox)
{
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    for (DWORD thread : {0ul, GetCurrentThreadId()}) {
        g_hookThreadId = thread;
        (thread ? FsInit : FsInitW)(3, nullptr, nullptr, nullptr);
        int posted = 0;
        while (PeekMessageW(&msg, nullptr, WM_FF_AUTOOPEN_OVERLAY, WM_FF_AUTOOPEN_OVERLAY, PM_REMOVE)) ++posted;
        EXPECT_EQ(posted, thread ? 1 : 0);
    }
    g_hookThreadId = 0;
}

const std::wstring kLongSub = L"long\\" + std::wstring(150, L'e') + L"\\" + std::wstring(150, L'f') + L"\\l.txt";
const std::wstring kLongOut = L"out\\" + std::wstring(130, L'o') + L"\\" + std::wstring(130, L'o');

// A folder of files published as a.txt, pub (a folder), b.txt, two names for c.txt and long,
// whose files' paths are past the classic limit.
std::wstring FilesTree()
{
    std::wstring dir = FfTestMakeTempDir(L"files");
    MakeTree(dir, {{L"a.txt", "alpha"}, {L"b.txt", "bravo"}, {L"c.txt", "charlie"}, {L"pub\\in.txt", "inside"},
                   {L"pub\\inner\\", ""}, {L"secret.txt", "secret"}, {kLongSub, "long"}, {kLongOut + L"\\", ""}});
    SetListing({{L"a.txt", dir + L"\\a.txt"}, {L"pub", dir + L"\\pub", 1}, {L"b.txt", dir + L"\\b.txt"},
                {L"\u4E2D.txt", dir + L"\\c.txt"}, {L"c.txt", dir + L"\\c.txt"}, {L"long", L"\\\\?\\" + dir + L"\\long", 1}});  // already in the long form
    return dir;
}

enum Hold { kFree, kExclusive, kNoDeleteShare };  // how the source is held open during a row

TEST(Files, CopyProtocol)
{
    // Target and real source below the folder; target content before and after (null: no file); flags
    // 1 overwrite, 2 resume, 4 move; whether the source stays and its entry leaves the listing.
    struct Case { std::wstring remote, target, source; const char* existing; int flags, allowDelete; Hold hold;
                  int result; const char* after; bool sourceStays, unlisted; } cases[] = {
        {L"\\a.txt", L"\\out\\a.txt", L"\\a.txt", nullptr, 0, 0, kFree, 0, "alpha", true, false},
        {L"\\a.txt", L"\\out\\a.txt", L"\\a.txt", "old", 0, 0, kFree, 1, "old", true, false},  // exists: the host asks
        {L"\\A.TXT", L"\\out\\a.txt", L"\\a.txt", "old", 1, 0, kFree, 0, "alpha", true, false},
        {L"\\a.txt", L"\\out\\a.txt", L"\\a.txt", "al", 2, 0, kFree, 6, "al", true, false},  // resume
        {L"\\pub\\in.txt", L"\\out\\in.txt", L"\\pub\\in.txt", nullptr, 0, 0, kFree, 0, "inside", true, false},
        {L"\\" + kLongSub, L"\\" + kLongOut + L"\\l.txt", L"\\" + kLongSub, nullptr, 0, 0, kFree, 0, "long", true, false},
        {L"\\a.txt", L"\\nowhere\\a.txt", L"\\a.txt", nullptr, 0, 0, kFree, 4, nullptr, true, false},
        {L"\\a.txt", L"\\pub\\inner", L"\\a.txt", nullptr, 1, 0, kFree, 4, nullptr, true, false},  // onto a folder
        {L"\\a.txt", L"\\a.txt", L"\\a.txt", nullptr, 5, 1, kFree, 4, "alpha", true, false},  // onto itself
        {L"\\a.txt", L"\\out\\a.txt", L"\\a.txt", nullptr, 0, 0, kExclusive, 3, nullptr, true, false},
        {L"\\pub\\gone.txt", L"\\out\\g.txt", L"\\pub\\gone.txt", nullptr, 0, 0, kFree, 2, nullptr, false, false},
        {L"\\nothing", L"\\out\\n.txt", L"\\a.txt", nullptr, 0, 0, kFree, 2, nullptr, true, false},
        {L"xa.txt", L"\\out\\a.txt", L"\\a.txt", nullptr, 0, 0, kFree, 2, nullptr, true, false},  // not below the root
        {L"\\pub\\..\\secret.txt", L"\\out\\s.txt", L"\\secret.txt", nullptr, 0, 0, kFree, 2, nullptr, true, false},
        {L"\\pub\\inner", L"\\out\\inner", L"\\pub\\inner", nullptr, 0, 0, kFree, 6, nullptr, true, false},  // a folder
        {L"\\a.txt", L"\\out\\a.txt", L"\\a.txt", nullptr, 4, 0, kFree, 6, nullptr, true, false},  // move, AllowDelete=N
        {L"\\b.txt", L"\\out\\b.txt", L"\\b.txt", nullptr, 4, 1, kFree, 0, "bravo", false, true},
        {L"\\b.txt", L"\\out\\b.txt", L"\\b.txt", "old", 5, 1, kFree, 0, "bravo", false, true},
        {L"\\b.txt", L"\\out\\b.txt", L"\\b.txt", "old", 4, 1, kFree, 1, "old", true, false},
        {L"\\b.txt", L"\\out\\b.txt", L"\\b.txt", nullptr, 4, 1, kNoDeleteShare, 3, "bravo", true, false},  // delete fails
        {L"\\pub\\in.txt", L"\\out\\in.txt", L"\\pub\\in.txt", nullptr, 4, 1, kFree, 0, "inside", false, false},
    };
    for (Road road : kRoads) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(RoadName(road)) + ": row " + std::to_string(&c - cases));
            std::wstring dir = FilesTree(), target = dir + c.target, longDir = L"\\\\?\\" + dir;
            if (c.existing) FfTestWriteBytes(longDir + c.target, c.existing);
            g_settings.allowDelete = c.allowDelete;
            HANDLE held = c.hold ? CreateFileW((dir + c.source).c_str(), GENERIC_READ, c.hold == kExclusive ? 0 : FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr;
            EXPECT_EQ(GetFile(road, c.remote.c_str(), target.c_str(), c.flags), c.result);
            if (held) CloseHandle(held);
            DWORD attributes = GetFileAttributesW((longDir + c.target).c_str());
            bool noFile = attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY);
            EXPECT_EQ(noFile ? "(none)" : FfTestReadBytes(longDir + c.target), c.after ? c.after : "(none)");
            EXPECT_EQ(FfTestFileExists(longDir + c.source), c.sourceStays);
            EXPECT_EQ(g_panelListingCount, c.unlisted ? 5 : 6);
        }
        EXPECT_EQ(GetFile(road, nullptr, nullptr, 0), 2);
        EXPECT_EQ(GetFile(road, L"\\a.txt", nullptr, 0), 4);
    }
    g_settings.allowDelete = 0;
}

TEST(Files, VerbsInAnyCaseAndTheRootsProperties)
{
    FilesTree();
    std::atomic<int> aboutBoxes(0);
    auto closeAboutBox = [&] {  // on a second thread: the box is modal
        HWND box = nullptr;
        if (!FfTestWaitFor([&] { return (box = FindWindowW(L"#32770", L"Fleetfinder")) && IsWindowVisible(box); })) return;
        wchar_t text[320] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 320);
        aboutBoxes += std::wstring(text).rfind(L"Fleetfinder\n\nVersion: ", 0) == 0;
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    };
    struct Case { const wchar_t* verb; const wchar_t* remote; int result; } cases[] = {
        {L"open", L"\\nothing", 1}, {L"OPEN", L"\\nothing", 1}, {L"Properties", L"\\nothing", 1},  // handled, not the host's
        {L"properties", L"\\", 0}, {L"PROPERTIES", L"\\", 0},  // the about box
        {L"open", L"\\", 1}, {L"properties", L"\\pub\\..\\secret.txt", 1},
        // The host's own verbs, and near misses: whole verbs only.
        {L"open ", L"\\a.txt", -1}, {L"properties ", L"\\a.txt", -1}, {L"opened", L"\\a.txt", -1}, {L"quote x", L"\\a.txt", -1},
        {L"chmod 755", L"\\a.txt", -1}, {L"", L"\\a.txt", -1}, {nullptr, L"\\a.txt", -1},
    };
    for (Road road : kRoads) {
        for (const Case& c : cases) {
            int before = aboutBoxes;
            std::thread closer = c.result == 0 ? std::thread(closeAboutBox) : std::thread();
            EXPECT_EQ(Execute(road, c.remote, c.verb), c.result) << RoadName(road) << " " << Utf8(c.verb);
            if (closer.joinable()) closer.join();
            EXPECT_EQ(aboutBoxes, before + (c.result == 0)) << RoadName(road) << " " << Utf8(c.verb);
        }
    }
}

TEST(Files, DeleteOnlyWhenAllowedAndNeverFolders)
{
    struct Case { int allow; const wchar_t* remote; BOOL result; const wchar_t* gone; std::vector<std::wstring> listed; } cases[] = {
        {0, L"\\a.txt", FALSE, nullptr, {L"a.txt", L"pub", L"b.txt", L"\u4E2D.txt", L"c.txt", L"long"}},
        {1, L"\\B.TXT", TRUE, L"\\b.txt", {L"a.txt", L"pub", L"\u4E2D.txt", L"c.txt", L"long"}},
        {1, L"\\pub", FALSE, nullptr, {}}, {1, L"\\pub\\inner", FALSE, nullptr, {}},  // folders, published or inside one, never
        {1, L"\\pub\\..\\secret.txt", FALSE, nullptr, {}},
        {1, L"\\pub\\in.txt", TRUE, L"\\pub\\in.txt", {}},  // the listing stays as it was
        {1, L"\\pub\\in.txt", FALSE, nullptr, {}},
        // Two entries name c.txt: the first of them leaves the listing, the rest keep their order.
        {1, L"\\c.txt", TRUE, L"\\c.txt", {L"a.txt", L"pub", L"c.txt", L"long"}},
    };
    for (Road road : kRoads) {
        std::wstring dir = FilesTree();
        std::vector<std::wstring> listed;
        for (const Case& c : cases) {
            g_settings.allowDelete = c.allow;
            EXPECT_EQ(Delete(road, c.remote), c.result) << RoadName(road) << " " << Utf8(c.remote);
            EXPECT_FALSE(c.gone && FfTestFileExists(dir + c.gone)) << Utf8(c.remote);
            if (!c.listed.empty()) listed = c.listed;
            EXPECT_EQ(ListingNames(), listed) << Utf8(c.remote);
        }
        EXPECT_TRUE(FfTestFileExists(dir + L"\\secret.txt") && FfTestFileExists(dir + L"\\a.txt") &&
                    GetFileAttributesW((dir + L"\\pub\\inner").c_str()) == FILE_ATTRIBUTE_DIRECTORY);
    }
}

// "\u0141.cmd" reaches the 8-bit road as "?.cmd", which names nothing, least of all "L.cmd"; the
// wide road copies, reads, opens and deletes each name's own file.
TEST(Files, UnicodePairsActOnlyOnTheirOwnFile)
{
    const std::wstring names[] = {L"\u0141.cmd", L"L.cmd", L"\xD83C\xDF34 \u4E2D.cmd"};
    for (Road road : kRoads) {
        SCOPED_TRACE(RoadName(road));
        std::wstring dir = FfTestMakeTempDir(L"pairs");
        std::vector<Entry> entries;
        std::vector<std::wstring> marks, expected;
        for (const std::wstring& name : names) {  // each a script that leaves its own mark when opened
            marks.push_back(dir + L"\\opened-" + std::to_wstring(marks.size()) + L".txt");
            FfTestWriteBytes(dir + L"\\" + name, "@echo off\r\necho.>\"" + FfTestUtf8(marks.back()) + "\"\r\n");
            entries.push_back({name, dir + L"\\" + name});
            expected.push_back(OnRoad(road, name));
        }
        SetListing(entries);
        EXPECT_EQ(List(road, L"\\").names, expected);
        g_settings.allowDelete = 1;
        for (size_t i = 0; i < 3; ++i) {
            SCOPED_TRACE(FfTestUtf8(names[i]));
            std::wstring remote = L"\\" + expected[i], copy = dir + L"\\got" + std::to_wstring(i), file = dir + L"\\" + names[i], value;
            bool own = expected[i] == names[i];
            EXPECT_EQ(GetFile(road, remote.c_str(), copy.c_str(), 1), own ? 0 : 2);
            EXPECT_EQ(FfTestReadBytes(copy), own ? FfTestReadBytes(file) : "");
            Value(road, true, remote.c_str(), 0, &value);
            EXPECT_EQ(value, own ? file : L"");
            EXPECT_EQ(i ? -2 : Execute(road, remote.c_str(), L"open"), i ? -2 : own ? 0 : 1);
            EXPECT_EQ(i == 0 && own, i == 0 && FfTestWaitFor([&] { return FfTestFileExists(marks[0]); }, own ? 10000 : 0));
            EXPECT_EQ(Delete(road, remote.c_str()), own);
            // A script still running keeps its deleted file until it ends.
            EXPECT_EQ(FfTestWaitFor([&] { return !FfTestFileExists(file); }, own ? 10000 : 0), own);
        }
        EXPECT_FALSE(FfTestFileExists(marks[1]));
        g_settings.allowDelete = 0;
    }
}

TEST(Content, FieldsAndPathValues)
{
    struct Field { bool fs; int index; int type; const char* name; } fields[] = {
        {false, 0, 8, "FF Status"}, {false, 1, 8, "Path"}, {false, 2, 0, "z"}, {true, 0, 8, "Path"}, {true, 1, 0, "z"}};
    for (const Field& f : fields) {
        char name[32] = "z", units[32] = "z";
        EXPECT_EQ((f.fs ? FsContentGetSupportedField : ContentGetSupportedField)(f.index, name, units, 32), f.type) << f.index;
        EXPECT_EQ(std::string(name) + "|" + units, std::string(f.name) + (f.type ? "|" : "|z"));
    }
    const std::wstring lodz = L"\u0141\u00F3d\u017A raport.txt", palm = L"\xD83C\xDF34.txt", lodzItem = L"\\" + lodz, palmElsewhere = L"Z:\\" + palm;
    const std::wstring tooLong = L"Z:\\" + std::wstring(2034, L'x') + L"\\Report.txt" + L"yz";  // cut, it would name one
    // A published folder of 1,500 characters and 890 below it: cut at 2,047, the path would end in "\Report.txt".
    const std::wstring longFolder = L"C:\\" + std::wstring(1497, L'f'), below = L"\\Long\\" + std::wstring(535, L'a') +
                                    L"\\Report.txt" + std::wstring(344, L'y');
    SetListing({{L"Report.txt", L"C:\\data\\Report.txt"}, {L"\u00C4pfel.txt", L"C:\\\u00C4\\\u00C4pfel.txt"}, {L"Dir", L"D:\\deep\\Dir", 1}, {L"Long", longFolder, 1},
                {lodz, L"C:\\\u0141\\" + lodz}, {palm, L"C:\\\u0141\\" + palm}});
    for (Road road : kRoads) {
        SCOPED_TRACE(RoadName(road));
        bool wide = road == WIDE;
        struct Case { const wchar_t* file; int field; bool fs; std::wstring expected; } cases[] = {
            {L"\\REPORT.TXT", 0, true, L"C:\\data\\Report.txt"},
            {L"Z:\\elsewhere\\report.txt", 1, false, L"C:\\data\\Report.txt"},  // another panel's file: its name
            {L"\\dir", 0, true, L"D:\\deep\\Dir"},
            {L"\\Dir\\Report.txt", 0, true, L"D:\\deep\\Dir\\Report.txt"},  // its own, not the namesake's
            {L"\\Dir\\Report.txt", 1, false, L"D:\\deep\\Dir\\Report.txt"},
            {L"\\Dir\\..\\Report.txt", 0, true, L""}, {L"\\Dir\\.\\x", 1, false, L""}, {L"\\Dir\\x:y", 0, true, L""},
            {L"\\Report.txt\\x", 0, true, L""}, {L"\\Report.tx", 0, true, L""}, {L"\\", 0, true, L""}, {nullptr, 0, true, L""},
            {nullptr, 0, false, L"Active"}, {tooLong.c_str(), 1, false, L""}, {below.c_str(), 0, true, L""},
            {L"\\\u00E4pfel.txt", 0, true, L""}, {L"\\\u00C4pfel.txt", 0, true, L"C:\\\u00C4\\\u00C4pfel.txt"},  // only ASCII folds
            // Names outside the code page have a Path on the wide road only.
            {lodzItem.c_str(), 0, true, wide ? L"C:\\\u0141\\" + lodz : L""},
            {palmElsewhere.c_str(), 1, false, wide ? L"C:\\\u0141\\" + palm : L""},
        };
        for (const Case& c : cases) {
            std::wstring value;
            EXPECT_EQ(Value(road, c.fs, c.file, c.field, &value), wide ? 11 : 8) << Utf8(c.file);
            EXPECT_EQ(value, c.expected) << Utf8(c.file);
        }
        // Unknown fields and no room write nothing ("z" stays); a short buffer gets what fits.
        struct Cut { bool fs; int field, maxLen, type; const wchar_t* expected; } cuts[] = {
            {true, 1, 256, -1, L"zzzzzzz"}, {false, 2, 256, -1, L"zzzzzzz"}, {true, 0, 0, wide ? 11 : 8, L"zzzzzzz"}, {true, 0, 8, wide ? 11 : 8, L"C:\\data"},
            {false, 0, 3, wide ? 11 : 8, L"Ac"}};
        for (const Cut& c : cuts) {
            std::wstring value;
            EXPECT_EQ(Value(road, c.fs, L"\\Report.txt", c.field, &value, c.maxLen), c.type);
            EXPECT_EQ(value.substr(0, 7), c.expected);
        }
    }
    std::wstring value;  // nor half of a surrogate pair
    Value(WIDE, true, (L"\\" + palm).c_str(), 0, &value, 7);
    EXPECT_EQ(value, L"C:\\\u0141\\");
}

}  // namespace
