// Engine reply parsing and query record encoding, over blocks that end at an inaccessible page.
#include <gtest/gtest.h>
#include <string.h>
#include "search_test_util.h"

namespace {

FfResult g_out[16];

struct ParseOutcome {
    LONG done, ok, count;
    DWORD total;
};

ParseOutcome Parse(const std::string& bytes, LONG capacity)
{
    memset(g_out, 0xCC, sizeof g_out);
    FfGuardedBlock block(bytes);
    FfIpcReplyState state = {0, 0, 0, g_out, capacity, 7};
    FfParseEverythingReply(bytes.empty() ? nullptr : block.data, (DWORD)bytes.size(), &state);
    return {state.done, state.ok, state.count, state.total};
}

std::vector<FfReplyItem> ThreeItems()
{
    return {{L"C:\\a\\one.txt", 10, 111, 0},
            {L"C:\\a\\sub", 0, 222, 1},
            {L"D:\\two.bin", 0xFFFFFFFFFFFFFFFFull, 333, 0}};
}

// Only bit 0 of an item's flags marks a folder; sizes are full 64-bit values.
TEST(ReplyParse, WellFormedItemsAreCopiedInOrder)
{
    std::vector<FfReplyItem> items = ThreeItems();
    items.push_back({L"x", 0, 0, 0xFFFFFFFE});
    items.push_back({L"y", 0, 0, 3});
    ParseOutcome r = Parse(FfBuildReply(items), 16);
    EXPECT_EQ(1, r.done);
    EXPECT_EQ(1, r.ok);
    EXPECT_EQ(1005u, r.total);  // the engine's number of matches, whatever the list holds
    ASSERT_EQ(5, r.count);
    EXPECT_STREQ(L"C:\\a\\one.txt", g_out[0].path);
    EXPECT_EQ(10u, g_out[0].size);
    EXPECT_EQ(111u, g_out[0].modified.dwLowDateTime);
    EXPECT_STREQ(L"C:\\a\\sub", g_out[1].path);
    EXPECT_EQ(0xFFFFFFFFFFFFFFFFull, g_out[2].size);
    const DWORD folders[] = {0, 1, 0, 0, 1};
    for (int i = 0; i < 5; i++) EXPECT_EQ(folders[i], g_out[i].isFolder) << i;
}

// Counts, caps, short blocks and items whose data would reach past the block: such an item is
// not copied, nor anything after it.
TEST(ReplyParse, CountsCapsAndBlockBounds)
{
    std::string good = FfBuildReply(ThreeItems());
    DWORD size = (DWORD)good.size(), last = 24 + 16, lastData = FfGetDword(good, last);
    auto patched = [&](size_t at, DWORD value) {
        std::string bytes = good;
        FfPutDword(&bytes, at, value);
        return bytes;
    };
    struct Case {
        const char* label;
        std::string bytes;
        LONG capacity;
        ParseOutcome expected;
    } cases[] = {
        {"empty block", std::string(), 16, {1, 0, 0}},
        {"19 bytes", std::string(19, '\0'), 16, {1, 0, 0}},
        {"header only, count 0", FfBuildReply({}), 16, {1, 1, 0}},
        {"negative count", FfBuildReply(ThreeItems(), -5), 16, {1, 1, 0}},
        {"cap below count", good, 2, {1, 1, 2}},
        {"cap 0", good, 0, {1, 1, 0}},
        {"count beyond the item table", FfBuildReply(ThreeItems(), 1000000), 16, {1, 1, 3}},
        {"count 0x7FFFFFFF, header only", FfBuildReply({}, 0x7FFFFFFF), 16, {1, 1, 0}},
        {"item table cut in half an entry", good.substr(0, 24), 16, {1, 1, 0}},
        {"offset just past the end", patched(last, size), 16, {1, 1, 2}},
        {"offset leaves no room for the length", patched(last, size - 3), 16, {1, 1, 2}},
        {"offset 0xFFFFFFFF", patched(last, 0xFFFFFFFF), 16, {1, 1, 2}},
        {"offset 0xFFFFFFFC", patched(last, 0xFFFFFFFC), 16, {1, 1, 2}},
        {"first item's offset past the end", patched(24, size + 100), 16, {1, 1, 0}},
        {"length one character too long", patched(lastData, 11), 16, {1, 1, 2}},
        {"length 0xFFFFFFFF", patched(lastData, 0xFFFFFFFF), 16, {1, 1, 2}},
        {"length 0x80000000", patched(lastData, 0x80000000), 16, {1, 1, 2}},
        {"middle item bad, last good", patched(FfGetDword(good, 24 + 8), 0x7FFFFFFF), 16, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        ParseOutcome r = Parse(c.bytes, c.capacity);
        EXPECT_EQ(c.expected.done, r.done) << c.label;
        EXPECT_EQ(c.expected.ok, r.ok) << c.label;
        EXPECT_EQ(c.expected.count, r.count) << c.label;
        if (r.count >= 1) { EXPECT_STREQ(L"C:\\a\\one.txt", g_out[0].path) << c.label; }
    }
}

// Each item is read by the fields the reply's own flags name, not by those asked for: a field
// it lacks is unknown, fields between are stepped over, later ones are never read.
TEST(ReplyParse, FieldsAsTheReplyNamesThem)
{
    const unsigned long long U = FF_UNKNOWN_VALUE;
    std::vector<FfReplyItem> items = {{L"C:\\a\\one.txt", 10, 111, 0}, {L"D:\\two", 20, 222, 1}};
    struct Case {
        const char* label;
        DWORD fields;
        LONG count;
        unsigned long long size, modified;  // of the first item
        size_t cut;                         // bytes taken off the block's end
    } cases[] = {
        {"as asked", 0x54, 2, 10, 111, 0},
        {"no size", 0x44, 2, U, 111, 0},
        {"no date", 0x14, 2, 10, U, 0},
        {"path alone", 0x04, 2, U, U, 0},
        {"name, folder, extension and created between", 0x7F, 2, 10, 111, 0},
        {"folder and name make the path", 0x53, 2, 10, 111, 0},
        {"name without a folder is skipped", 0x51, 0, 0, 0, 0},
        {"no name at all", 0x50, 0, 0, 0, 0},
        {"accessed, attributes and fields of unknown width after", 0xFFFFFFD4, 2, 10, 111, 0},
        {"last item cut inside its size", 0x7F, 1, 10, 111, 8 + 8 + 5},
        {"last item cut right after its date modified", 0xFFFFFFD4, 2, 10, 111, 8 + 4 + 23 * 6},
        {"last item's date cut short", 0x54, 1, 10, 111, 1},
    };
    for (const Case& c : cases) {
        std::string bytes = FfBuildReplyFields(items, c.fields, 2);
        bytes.resize(bytes.size() - c.cut);
        ParseOutcome r = Parse(bytes, 16);
        EXPECT_EQ(1, r.ok) << c.label;
        ASSERT_EQ(c.count, r.count) << c.label;
        if (c.count == 0) continue;
        EXPECT_STREQ(L"C:\\a\\one.txt", g_out[0].path) << c.label;
        EXPECT_EQ(c.size, g_out[0].size) << c.label;
        EXPECT_EQ(c.modified, ((unsigned long long)g_out[0].modified.dwHighDateTime << 32) | g_out[0].modified.dwLowDateTime)
            << c.label;
        if (c.count == 2) {
            EXPECT_STREQ(L"D:\\two", g_out[1].path) << c.label;
            EXPECT_EQ(1u, g_out[1].isFolder) << c.label;
        }
    }
}

// Paths longer than the result's room are cut to 2047 characters; 2047 itself is kept whole.
TEST(ReplyParse, LongPathIsCutButSizeAndDateAreTheItems)
{
    std::wstring longPath = L"C:\\" + std::wstring(2100, L'p'), exact(2047, L'q');
    std::vector<FfReplyItem> items = {{longPath, 4242, 0x0123456789ABCDEFull, 0}, {exact, 7, 8, 0}};
    ParseOutcome r = Parse(FfBuildReply(items), 16);
    ASSERT_EQ(2, r.count);
    EXPECT_EQ(longPath.substr(0, 2047), std::wstring(g_out[0].path));
    EXPECT_EQ(4242u, g_out[0].size);
    EXPECT_EQ(0x89ABCDEFu, g_out[0].modified.dwLowDateTime);
    EXPECT_EQ(0x01234567u, g_out[0].modified.dwHighDateTime);
    EXPECT_EQ(exact, std::wstring(g_out[1].path));
}

TEST(QueryText, PiecesAreJoinedByOneBlankAndCut)
{
    std::wstring big(1500, L'x');
    std::wstring nearly(1020, L'y');
    struct Case {
        const wchar_t *a, *b, *c;
        std::wstring expected;
    } cases[] = {
        {nullptr, nullptr, nullptr, L""},
        {L"", L"", L"", L""},
        {nullptr, nullptr, L"file:", L"file:"},
        {L"", L"report", L"file:", L"report file:"},
        {L"filter:\"Doc\"", L"report", L"folder:", L"filter:\"Doc\" report folder:"},
        {L"a", nullptr, L"c", L"a c"},
        {big.c_str(), L"tail", L"file:", big.substr(0, 1023)},
        {nearly.c_str(), L"abcdef", nullptr, nearly + L" ab"},
    };
    for (const Case& c : cases) {
        wchar_t text[FF_QUERY_TEXT_MAX];
        int length = FfBuildQueryText(text, FF_QUERY_TEXT_MAX, c.a, c.b, c.c);
        EXPECT_EQ(c.expected, std::wstring(text));
        EXPECT_EQ((int)c.expected.size(), length);
    }
}

TEST(QueryRecord, BytesAreTheSameInBothWidths)
{
    BYTE record[64];
    memset(record, 0xAA, sizeof record);
    int size = FfEncodeEverythingQuery(record, (HWND)(UINT_PTR)0x00012345, 200, 14, L"ab");
    ASSERT_EQ(28 + 6, size);
    const BYTE expected[] = {0x45, 0x23, 0x01, 0x00, 18, 0, 0, 0, 0, 0, 0, 0, 0,   0,   0,   0, 200,
                             0,    0,    0,    0x54, 0, 0, 0, 14, 0, 0, 0, 'a', 0, 'b', 0, 0,   0};
    EXPECT_EQ(0, memcmp(expected, record, sizeof expected));
    EXPECT_EQ(0xAA, record[size]);
}

}  // namespace
