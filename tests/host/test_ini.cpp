// Finding the host's ini (environment, registry, fall-back folders) and following section redirects.
#include <gtest/gtest.h>

#include "host/host.h"
#include "host_fixture.h"

static std::wstring MakeFile(const std::wstring& dir, const std::wstring& relative, const std::string& bytes = "")
{
    std::wstring path = dir + L"\\" + relative;
    for (size_t at = path.find(L'\\', dir.size() + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
    EXPECT_TRUE(FfTestWriteBytes(path, bytes));
    return path;
}

// Each row sets the four candidates and names the one that must win (null: none).
TEST(HostIniDiscovery, CandidateOrderAndSkipRules)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_order");
    std::wstring envIni = MakeFile(dir, L"env\\wincmd.ini"), regIni = MakeFile(dir, L"reg\\wincmd.ini");
    std::wstring appData = dir + L"\\app", appIni = MakeFile(dir, L"app\\GHISLER\\wincmd.ini");
    std::wstring tc = dir + L"\\tc", tcIni = MakeFile(dir, L"tc\\wincmd.ini");
    std::wstring empty = FfTestMakeTempDir(L"ini_empty"), missing = dir + L"\\none.ini";
    std::wstring tooLong = envIni + std::wstring(2100, L' ');  // would name envIni if it were cut
    std::wstring unexpanded = L"%FFTEST_INI_DIR%\\reg\\wincmd.ini";
    FfTestEnvVar base(L"FFTEST_INI_DIR", dir.c_str());
    enum { NONE, TEXT, BARE, EXPAND, NUMBER };
    struct Case {
        const char* name;
        const std::wstring *env, *reg;
        int regKind;
        const std::wstring *app, *path, *expected;
    } cases[] = {
        {"environment beats registry", &envIni, &regIni, TEXT, &appData, &tc, &envIni},
        {"missing environment file: registry next", &missing, &regIni, TEXT, &appData, &tc, &regIni},
        {"stored without terminator", nullptr, &regIni, BARE, &empty, &empty, &regIni},
        {"expandable string", nullptr, &regIni, EXPAND, &empty, &empty, &regIni},
        {"reference not expanded", nullptr, &unexpanded, EXPAND, &empty, &tc, &tcIni},
        {"number skipped", nullptr, &regIni, NUMBER, &appData, &tc, &appIni},
        {"registry names missing file", nullptr, &missing, TEXT, &appData, &tc, &appIni},
        {"application data", nullptr, nullptr, NONE, &appData, &tc, &appIni},
        {"application data without file", nullptr, nullptr, NONE, &empty, &tc, &tcIni},
        {"only the host folder", nullptr, nullptr, NONE, nullptr, &tc, &tcIni},
        {"host folder without file", nullptr, nullptr, NONE, nullptr, &empty, nullptr},
        {"too long environment value", &tooLong, nullptr, NONE, &empty, &tc, &tcIni},
        {"too long application data", nullptr, nullptr, NONE, &tooLong, &tc, &tcIni},
    };
    FfTestPrivateKey key(L"ini_order");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfTestEnvVar e1(L"COMMANDER_INI", c.env ? c.env->c_str() : nullptr);
        FfTestEnvVar e2(L"APPDATA", c.app ? c.app->c_str() : nullptr);
        FfTestEnvVar e3(L"COMMANDER_PATH", c.path ? c.path->c_str() : nullptr);
        FfTestRegistryValue reg(key.subKey, L"IniFileName");
        bool stored = c.regKind == NONE;
        if (c.regKind == TEXT || c.regKind == EXPAND)
            stored = reg.SetText(*c.reg, c.regKind == TEXT ? REG_SZ : REG_EXPAND_SZ);
        if (c.regKind == BARE)
            stored = reg.Set(REG_SZ, c.reg->c_str(), (DWORD)c.reg->size() * sizeof(wchar_t));
        if (c.regKind == NUMBER)
            stored = reg.SetNumber(1);
        ASSERT_TRUE(stored);
        wchar_t out[FF_INI_PATH_MAX];
        int rc = FfFindWincmdIniWithKey(key.subKey.c_str(), out, FF_INI_PATH_MAX);
        EXPECT_EQ(c.expected ? 1 : 0, rc);
        EXPECT_EQ(c.expected && rc ? *c.expected : L"", rc ? std::wstring(out) : L"");
    }
}

TEST(HostIniRedirect, Rules)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_redirect");
    std::wstring ini = dir + L"\\wincmd.ini";
    FfTestEnvVar profile(L"FFTEST_PROFILE", (dir + L"\\home").c_str());
    MakeFile(dir, L"second.ini", "[Shortcuts]\r\nRedirectSection=third.ini\r\n");
    const wchar_t* const kGiven = L"\\wincmd.ini";
    struct Case {
        const char* ini;
        const wchar_t* expected;  // starting with a backslash: relative to the folder
        int cap;
    } cases[] = {
        {"[Shortcuts]\r\nCA+F=CD\r\n", kGiven},
        {"[Shortcuts]\r\nRedirectSection=0\r\n", kGiven},
        {"[Configuration]\r\nAlternateUserIni=%FFTEST_PROFILE%\\tc\\user.ini\r\n[Shortcuts]\r\nRedirectSection=1\r\n",
         L"\\home\\tc\\user.ini"},
        {"[Configuration]\r\nAlternateUserIni=\r\n[Shortcuts]\r\nRedirectSection=1\r\n", kGiven},
        {"[Configuration]\r\nAlternateUserIni=alt.ini\r\n[Shortcuts]\r\nRedirectSection=1\r\n", L"\\alt.ini"},
        {"[Shortcuts]\r\nRedirectSection=user.ini\r\n", L"\\user.ini"},
        {"[Shortcuts]\r\nRedirectSection=01\r\n", L"\\01"},  // "0" and "1" compared exactly
        {"[Shortcuts]\r\nRedirectSection=%FFTEST_NOT_SET%\\s.ini\r\n", L"%FFTEST_NOT_SET%\\s.ini"},
        {"[Shortcuts]\r\nRedirectSection=D:/cfg/user.ini\r\n", L"D:/cfg/user.ini"},
        {"[Shortcuts]\r\nRedirectSection=sub\\user.ini\r\n", L"sub\\user.ini"},  // relative: not resolved
        {"[Configuration]\r\nRedirectSection=x.ini\r\n", kGiven},
        {"[Shortcuts]\r\nRedirectSection=second.ini\r\n", L"\\second.ini"},  // one level only
        {"[Shortcuts]\r\nRedirectSection=user.ini\r\n", L"us", 3},
        {"[Shortcuts]\r\nRedirectSection=user.ini\r\n", L"user.ini", (int)dir.size() + 1},  // folder fills it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ini);
        ASSERT_TRUE(FfTestWriteBytes(ini, c.ini));
        int cap = c.cap ? c.cap : FF_INI_PATH_MAX;
        std::vector<wchar_t> out(cap + 1, L'#');
        FfResolveIniRedirect(ini.c_str(), L"Shortcuts", out.data(), cap);
        EXPECT_EQ(c.expected[0] == L'\\' ? dir + c.expected : std::wstring(c.expected), std::wstring(out.data()));
        EXPECT_EQ(L'#', out[cap]);
    }
    // A given path without a backslash: the bare name alone.
    ASSERT_TRUE(FfTestWriteBytes(ini, "[Shortcuts]\r\nRedirectSection=user.ini\r\n"));
    std::wstring forward = ini;
    for (wchar_t& ch : forward)
        ch = ch == L'\\' ? L'/' : ch;
    wchar_t out[FF_INI_PATH_MAX];
    FfResolveIniRedirect(forward.c_str(), L"Shortcuts", out, FF_INI_PATH_MAX);
    EXPECT_STREQ(L"user.ini", out);
}
