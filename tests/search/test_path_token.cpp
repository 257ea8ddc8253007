// The "path:." token (where it matches, what it becomes) and the change-folder record, byte for byte.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "host/host_commands.h"
#include "fftest.h"
#include "search_test_util.h"

namespace {

TEST(PathToken, WhereItMatches)
{
    struct Case {
        const wchar_t* typed;
        int position;
    } cases[] = {
        {L"path:.", 0},          {L"notes path:.", 6},     {L"path:. notes", 0},
        {L"PATH:. x", 0},        {L"Path:.\tx", 0},        {L"xpath:.", 1},
        {L"path:..", -1},        {L"path:.txt", -1},       {L"path:", -1},
        {L"path:.x path:.", 8},  {L"path:. path:.", 0},    {L"", -1},
        {L"pa th:.", -1},        {L"p\u00C1th:.", -1},
    };
    for (const Case& c : cases) EXPECT_EQ(c.position, FfFindPathToken(c.typed)) << FfTestUtf8(c.typed);
}

// Only the first token is replaced; the result is cut at 899 characters.
TEST(PathToken, Substitution)
{
    std::wstring longFolder(2047, L'f');
    struct Case {
        std::wstring typed, folder, query;
    } cases[] = {
        {L"notes path:.", L"C:\\Work", L"notes path:\"C:\\Work\""},
        {L"PATH:. report", L"D:\\x", L"path:\"D:\\x\" report"},
        {L"a path:. b path:.", L"E:\\", L"a path:\"E:\\\" b path:."},
        {L"xpath:.", L"C:\\y", L"xpath:\"C:\\y\""},
        {L"w path:. tail", longFolder, (L"w path:\"" + longFolder).substr(0, 899)},
    };
    for (const Case& c : cases) {
        wchar_t out[FF_SUBSTITUTED_QUERY_MAX];
        int p = FfFindPathToken(c.typed.c_str());
        ASSERT_GE(p, 0);
        FfSubstitutePathToken(out, FF_SUBSTITUTED_QUERY_MAX, c.typed.c_str(), p, c.folder.c_str());
        EXPECT_EQ(c.query, std::wstring(out)) << FfTestUtf8(c.typed.substr(0, 40));
    }
}

// The folder ends in one backslash, so that C:\Work does not also find C:\Work2; a folder of the
// host's plug-in file systems (three leading backslashes, ours among them) is none at all.
TEST(PathToken, FolderScope)
{
    std::wstring longFolder(2047, L'f');
    struct Case {
        std::wstring folder, scoped;
    } cases[] = {
        {L"C:\\Work", L"C:\\Work\\"},
        {L"C:\\Work\\\\", L"C:\\Work\\"},
        {L"C:\\", L"C:\\"},
        {L"C:", L"C:\\"},
        {L"\\\\server\\share", L"\\\\server\\share\\"},
        {L"C:\\Fleetfinder", L"C:\\Fleetfinder\\"},
        {L"D:\\x\\Fleetfinder\\y", L"D:\\x\\Fleetfinder\\y\\"},
        {L"\\\\\\Fleetfinder", L""},
        {L"\\\\\\Fleetfinder\\sub\\", L""},
        {L"\\\\\\OtherFs\\x", L""},
        {L"\\", L""},
        {L"", L""},
        {longFolder, longFolder.substr(0, 2046) + L"\\"},
    };
    for (const Case& c : cases) {
        wchar_t out[FF_ACTIVE_FOLDER_MAX];
        int ok = FfScopeFolderForQuery(c.folder.c_str(), out, FF_ACTIVE_FOLDER_MAX);
        EXPECT_EQ(c.scoped.empty() ? 0 : 1, ok) << FfTestUtf8(c.folder.substr(0, 40));
        EXPECT_EQ(c.scoped, std::wstring(out)) << FfTestUtf8(c.folder.substr(0, 40));
    }
}

TEST(ChangeDirRecord, Layout)
{
    struct Case {
        std::wstring path;
        std::string utf8;
    } cases[] = {
        {L"C:\\twenty-bytes\\path", "C:\\twenty-bytes\\path"},
        {L"\\\\\\Fleetfinder\\report.txt", "\\\\\\Fleetfinder\\report.txt"},
        {L"", ""},
        {L"D:\\R\u00E9sum\u00E9\\\u65E5\u672C\\\U0001F600.txt",
         "D:\\R\xC3\xA9sum\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\\\xF0\x9F\x98\x80.txt"},
    };
    for (const Case& c : cases) {
        int size = FfEncodeChangeDirRecord(c.path.c_str(), nullptr, 0);
        std::string record((size_t)(size > 0 ? size : 0), '\x77');
        if (size > 0) { EXPECT_EQ(size, FfEncodeChangeDirRecord(c.path.c_str(), (BYTE*)&record[0], size)); }
        std::string expected = "\xEF\xBB\xBF" + c.utf8 + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA" + std::string(1, '\0');
        EXPECT_EQ(expected, record) << c.utf8;
    }
    // What does not fit is refused without writing.
    BYTE small[12];
    memset(small, 0x55, sizeof small);
    EXPECT_EQ(0, FfEncodeChangeDirRecord(L"C:\\x", small, 14));
    EXPECT_EQ(0, FfEncodeChangeDirRecord(L"C:\\x", small, sizeof small));
    EXPECT_EQ(0x55, small[0]);
    EXPECT_EQ(0, FfEncodeChangeDirRecord(nullptr, small, sizeof small));
}

}  // namespace
