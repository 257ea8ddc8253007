// The "path:." token: where it matches and what it becomes.
#include <gtest/gtest.h>
#include <string>
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

TEST(PathToken, Substitution)
{
    struct Case {
        std::wstring typed, folder, query;
    } cases[] = {
        {L"notes path:.", L"C:\\Work", L"notes path:\"C:\\Work\""},
        {L"PATH:. report", L"D:\\x", L"path:\"D:\\x\" report"},
        {L"a path:. b path:.", L"E:\\", L"a path:\"E:\\\" b path:."},
        {L"xpath:.", L"C:\\y", L"xpath:\"C:\\y\""},
    };
    for (const Case& c : cases) {
        wchar_t out[FF_SUBSTITUTED_QUERY_MAX];
        int p = FfFindPathToken(c.typed.c_str());
        ASSERT_GE(p, 0);
        FfSubstitutePathToken(out, FF_SUBSTITUTED_QUERY_MAX, c.typed.c_str(), p, c.folder.c_str());
        EXPECT_EQ(c.query, std::wstring(out)) << FfTestUtf8(c.typed);
    }
}

TEST(PathToken, SubstitutionIsCutAt899)
{
    std::wstring folder(2047, L'f');
    std::wstring typed = L"w path:. tail";
    wchar_t out[FF_SUBSTITUTED_QUERY_MAX];
    FfSubstitutePathToken(out, FF_SUBSTITUTED_QUERY_MAX, typed.c_str(), 2, folder.c_str());
    std::wstring expected = (L"w path:\"" + folder).substr(0, 899);
    EXPECT_EQ(expected, std::wstring(out));
}

}  // namespace
