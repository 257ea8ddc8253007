// Finding the host's ini (environment, registry, fall-back folders) and following section redirects.
#include <gtest/gtest.h>

#include "fftest.h"
#include "host/host.h"
#include "host_fixture.h"

namespace {

std::wstring MakeFile(const std::wstring& dir, const std::wstring& relative, const std::string& bytes = "")
{
    std::wstring path = dir + L"\\" + relative;
    for (size_t slash = path.find(L'\\', dir.size() + 1); slash != std::wstring::npos;
         slash = path.find(L'\\', slash + 1))
        CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
    EXPECT_TRUE(FfTestWriteBytes(path, bytes));
    return path;
}

std::wstring Find(const std::wstring& key, int* result = nullptr)
{
    wchar_t out[FF_INI_PATH_MAX] = L"untouched";
    int rc = FfFindWincmdIniWithKey(key.c_str(), out, FF_INI_PATH_MAX);
    if (result)
        *result = rc;
    return rc ? std::wstring(out) : std::wstring();
}

enum RegKind { kRegNone, kRegString, kRegStringNoTerminator, kRegExpand, kRegNumber };

}  // namespace

// Each row sets the four candidates and names the one that must win ("" = none found).
TEST(HostIniDiscovery, CandidateOrderAndSkipRules)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_order");
    std::wstring envIni = MakeFile(dir, L"env\\wincmd.ini");
    std::wstring regIni = MakeFile(dir, L"reg\\wincmd.ini");
    std::wstring appData = dir + L"\\appdata";
    std::wstring appIni = MakeFile(dir, L"appdata\\GHISLER\\wincmd.ini");
    std::wstring cmdPath = dir + L"\\tc";
    std::wstring cmdIni = MakeFile(dir, L"tc\\wincmd.ini");
    std::wstring empty = FfTestMakeTempDir(L"ini_order_empty");
    std::wstring missing = dir + L"\\missing\\wincmd.ini";
    std::wstring tooLong(3000, L'x');

    struct Case {
        const char* name;
        const std::wstring* commanderIni;  // null: unset
        RegKind regKind;
        const std::wstring* regValue;
        const std::wstring* appData;
        const std::wstring* commanderPath;
        const std::wstring* expected;  // null: nothing found
    } cases[] = {
        {"environment wins over registry", &envIni, kRegString, &regIni, &appData, &cmdPath, &envIni},
        {"missing environment file: registry next", &missing, kRegString, &regIni, &appData, &cmdPath, &regIni},
        {"registry without terminator", nullptr, kRegStringNoTerminator, &regIni, &empty, &empty, &regIni},
        {"expandable string used as stored", nullptr, kRegExpand, &regIni, &empty, &empty, &regIni},
        {"registry number skipped", nullptr, kRegNumber, &regIni, &appData, &cmdPath, &appIni},
        {"registry names missing file", nullptr, kRegString, &missing, &appData, &cmdPath, &appIni},
        {"no registry value: application data", nullptr, kRegNone, nullptr, &appData, &cmdPath, &appIni},
        {"application data without the file", nullptr, kRegNone, nullptr, &empty, &cmdPath, &cmdIni},
        {"only the host folder", nullptr, kRegNone, nullptr, nullptr, &cmdPath, &cmdIni},
        {"host folder without the file", nullptr, kRegNone, nullptr, nullptr, &empty, nullptr},
        {"nothing set", nullptr, kRegNone, nullptr, nullptr, nullptr, nullptr},
        {"too long environment value is not set", &tooLong, kRegString, &regIni, &empty, &empty, &regIni},
        {"too long application data is not set", nullptr, kRegNone, nullptr, &tooLong, &cmdPath, &cmdIni},
        {"too long host folder is not set", nullptr, kRegNone, nullptr, nullptr, &tooLong, nullptr},
    };

    FfTestPrivateKey key(L"ini_order");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfTestEnvVar e1(L"COMMANDER_INI", c.commanderIni ? c.commanderIni->c_str() : nullptr);
        FfTestEnvVar e2(L"APPDATA", c.appData ? c.appData->c_str() : nullptr);
        FfTestEnvVar e3(L"COMMANDER_PATH", c.commanderPath ? c.commanderPath->c_str() : nullptr);
        FfTestRegistryValue reg(key.subKey, L"IniFileName");
        switch (c.regKind) {
        case kRegNone: reg.Delete(); break;
        case kRegString: ASSERT_TRUE(reg.SetString(*c.regValue)); break;
        case kRegStringNoTerminator: ASSERT_TRUE(reg.SetString(*c.regValue, REG_SZ, false)); break;
        case kRegExpand: ASSERT_TRUE(reg.SetString(*c.regValue, REG_EXPAND_SZ)); break;
        case kRegNumber: ASSERT_TRUE(reg.SetDword(1)); break;
        }
        int rc = -1;
        std::wstring found = Find(key.subKey, &rc);
        EXPECT_EQ(c.expected ? 1 : 0, rc);
        EXPECT_EQ(c.expected ? *c.expected : std::wstring(), found);
    }
}

// An environment reference in the registry value is not expanded, so it names nothing.
TEST(HostIniDiscovery, RegistryReferenceIsNotExpanded)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_noexpand");
    MakeFile(dir, L"reg\\wincmd.ini");
    std::wstring cmdIni = MakeFile(dir, L"tc\\wincmd.ini");
    FfTestEnvVar base(L"FFTEST_INI_DIR", dir.c_str());
    FfTestEnvVar e1(L"COMMANDER_INI", nullptr);
    FfTestEnvVar e2(L"APPDATA", nullptr);
    FfTestEnvVar e3(L"COMMANDER_PATH", (dir + L"\\tc").c_str());
    FfTestPrivateKey key(L"ini_noexpand");
    FfTestRegistryValue reg(key.subKey, L"IniFileName");
    ASSERT_TRUE(reg.SetString(L"%FFTEST_INI_DIR%\\reg\\wincmd.ini", REG_EXPAND_SZ));
    EXPECT_EQ(cmdIni, Find(key.subKey));
}

// The answer is cut to the caller's buffer and always terminated.
TEST(HostIniDiscovery, AnswerCutToCapacity)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_cut");
    std::wstring envIni = MakeFile(dir, L"wincmd.ini");
    FfTestEnvVar e1(L"COMMANDER_INI", envIni.c_str());
    wchar_t out[12];
    wmemset(out, L'#', 12);
    ASSERT_EQ(1, FfFindWincmdIni(out, 8));
    EXPECT_EQ(envIni.substr(0, 7), std::wstring(out));
    EXPECT_EQ(L'#', out[8]);
}

TEST(HostIniRedirect, Rules)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_redirect");
    std::wstring home = dir + L"\\home";
    FfTestEnvVar profile(L"FFTEST_PROFILE", home.c_str());
    FfTestEnvVar unset(L"FFTEST_UNSET_VAR", nullptr);

    struct Case {
        const char* name;
        const char* ini;        // contents of the host's file
        std::wstring expected;  // relative to dir when it starts with '\', else absolute
    } cases[] = {
        {"no redirect", "[Shortcuts]\r\nCA+F=CD\r\n", L"\\wincmd.ini"},
        {"zero", "[Shortcuts]\r\nRedirectSection=0\r\n", L"\\wincmd.ini"},
        {"one with alternate ini and a reference",
         "[Configuration]\r\nAlternateUserIni=%FFTEST_PROFILE%\\tc\\user.ini\r\n[Shortcuts]\r\nRedirectSection=1\r\n",
         L"\\home\\tc\\user.ini"},
        {"one with empty alternate ini", "[Configuration]\r\nAlternateUserIni=\r\n[Shortcuts]\r\nRedirectSection=1\r\n",
         L"\\wincmd.ini"},
        {"one without alternate ini", "[Shortcuts]\r\nRedirectSection=1\r\n", L"\\wincmd.ini"},
        {"one with a bare alternate name",
         "[Configuration]\r\nAlternateUserIni=alt.ini\r\n[Shortcuts]\r\nRedirectSection=1\r\n", L"\\alt.ini"},
        {"bare file name", "[Shortcuts]\r\nRedirectSection=user.ini\r\n", L"\\user.ini"},
        {"comparison with one is exact", "[Shortcuts]\r\nRedirectSection=01\r\n", L"\\01"},
        {"reference in the target", "[Shortcuts]\r\nRedirectSection=%FFTEST_PROFILE%\\s.ini\r\n", L"\\home\\s.ini"},
        {"unknown reference kept", "[Shortcuts]\r\nRedirectSection=%FFTEST_UNSET_VAR%\\s.ini\r\n",
         L"%FFTEST_UNSET_VAR%\\s.ini"},
        {"forward slash used unchanged", "[Shortcuts]\r\nRedirectSection=D:/cfg/user.ini\r\n", L"D:/cfg/user.ini"},
        {"relative path not resolved", "[Shortcuts]\r\nRedirectSection=sub\\user.ini\r\n", L"sub\\user.ini"},
        {"other section's redirect ignored", "[Configuration]\r\nRedirectSection=x.ini\r\n[Shortcuts]\r\n",
         L"\\wincmd.ini"},
    };

    std::wstring ini = dir + L"\\wincmd.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(FfTestWriteBytes(ini, c.ini));
        wchar_t out[FF_INI_PATH_MAX];
        FfResolveIniRedirect(ini.c_str(), L"Shortcuts", out, FF_INI_PATH_MAX);
        std::wstring expected = c.expected[0] == L'\\' ? dir + c.expected : c.expected;
        EXPECT_EQ(expected, std::wstring(out));
    }
}

// Only one level is followed: the target's own RedirectSection is not read.
TEST(HostIniRedirect, OneLevelOnly)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_redirect_once");
    std::wstring ini = dir + L"\\wincmd.ini";
    ASSERT_TRUE(FfTestWriteBytes(ini, "[Shortcuts]\r\nRedirectSection=second.ini\r\n"));
    ASSERT_TRUE(FfTestWriteBytes(dir + L"\\second.ini", "[Shortcuts]\r\nRedirectSection=third.ini\r\n"));
    wchar_t out[FF_INI_PATH_MAX];
    FfResolveIniRedirect(ini.c_str(), L"Shortcuts", out, FF_INI_PATH_MAX);
    EXPECT_EQ(dir + L"\\second.ini", std::wstring(out));
}

// Small buffers: the folder part must fit before a bare name is joined to it.
TEST(HostIniRedirect, CapacityLimits)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_redirect_cap");
    std::wstring ini = dir + L"\\wincmd.ini";
    ASSERT_TRUE(FfTestWriteBytes(ini, "[Shortcuts]\r\nRedirectSection=user.ini\r\n"));
    int folderLen = (int)dir.size() + 1;

    struct Case {
        const char* name;
        int cap;
        std::wstring expected;
    } cases[] = {
        {"joined in full", FF_INI_PATH_MAX, dir + L"\\user.ini"},
        {"name cut to what is left", folderLen + 3, (dir + L"\\user.ini").substr(0, folderLen + 2)},
        {"folder fills the buffer: name alone", folderLen, L"user.ini"},
        {"tiny buffer", 3, L"us"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<wchar_t> out(c.cap + 4, L'#');
        FfResolveIniRedirect(ini.c_str(), L"Shortcuts", out.data(), c.cap);
        EXPECT_EQ(c.expected, std::wstring(out.data()));
        EXPECT_EQ(L'#', out[c.cap]);
    }

    // A host path without any backslash (written with forward slashes): the bare name alone.
    std::wstring forward = ini;
    for (wchar_t& ch : forward)
        if (ch == L'\\')
            ch = L'/';
    wchar_t out[FF_INI_PATH_MAX];
    FfResolveIniRedirect(forward.c_str(), L"Shortcuts", out, FF_INI_PATH_MAX);
    EXPECT_STREQ(L"user.ini", out);
}

// A missing file or section yields the given file, never garbage.
TEST(HostIniRedirect, MissingFileGivesItself)
{
    std::wstring dir = FfTestMakeTempDir(L"ini_redirect_missing");
    std::wstring ini = dir + L"\\absent.ini";
    wchar_t out[FF_INI_PATH_MAX];
    FfResolveIniRedirect(ini.c_str(), L"Shortcuts", out, FF_INI_PATH_MAX);
    EXPECT_EQ(ini, std::wstring(out));
}
