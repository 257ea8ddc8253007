// A large wincmd.ini in the host's own style keeps every unrelated line, in order and encoding.
#include <gtest/gtest.h>

#include "core/core.h"
#include "fftest.h"
#include "host/host.h"
#include "host_fixture.h"

namespace {

// Lines of a host ini as a long-used installation has them: many sections, comments, odd values.
std::vector<std::wstring> HostStyleLines(bool unicode)
{
    std::vector<std::wstring> lines = {
        L"; settings of the file manager",
        L"[Configuration]",
        L"InstallDir=C:\\Tools\\FileManager",
        L"Language=eng",
        L"Mainmenu=WCMD_ENG.MNU",
        L"DarkMode=1",
        L"  ShowHiddenSystem = 1",
        L"Editor=\"C:\\Program Files\\Editor\\edit.exe\" \"%1\"",
        L"UserName=Ren\u00e9e M\u00fcller",
        L"Formula=a=b=c",
        L"Semicolons=x;y;z",
        L"EmptyValue=",
        L"",
        L"[Layout]",
        L"ButtonBar=1",
        L"DriveBar1=1",
        L"; the next one was switched off by hand",
        L";CurDir=1",
        L"StatusBar=1",
        L"[AllResolutions]",
        L"FontName=Segoe UI",
        L"FontSize=9",
        L"FontWeight=400",
        L"[Colors]",
        L"InverseCursor=1",
        L"BackColor=16777215",
        L"ForeColor=0",
        L"[Shortcuts]",
        L"C+1=cm_GoToDrive",
        L"CA+F=CD",
        L"CA+F_params=\"\\\\\\Fleetfinder\\\"",
        L"CSA+F=CD",
        L"CSA+F_params=\"\\\\\\Fleetfinder\\\"",
        L"CA+F1=CD",
        L"CA+F1_params=\"\\\\\\Fleetfinder\\\"",
        L"CA+K=CD",
        L"CA+K_params=\"C:\\Work\\\"",
        L"F2=cm_RenameOnly",
        L"[FileSystemPlugins]",
        L"Registry=C:\\Tools\\FileManager\\plugins\\wfx\\Registry\\registry.wfx",
        L"[ContentPlugins]",
        L"0=C:\\Tools\\plugins\\wdx\\info.wdx",
        L"0_detect=\"EXT=\"\"MP3\"\" | EXT=\"\"OGG\"\"\"",
        L"[DirMenu]",
        L"menu1=Documents",
        L"cmd1=cd C:\\Users\\Ren\u00e9e\\Documents",
        L"menu2=-",
        L"menu3=--",
    };
    if (unicode) {
        lines.push_back(L"menu4=\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b");
        lines.push_back(L"cmd4=cd D:\\\u6587\u4ef6\\\u0444\u0430\u0439\u043b\u044b");
    }
    lines.push_back(L"[lefttabs]");
    for (int i = 0; i < 60; ++i)
        lines.push_back(L"" + std::to_wstring(i) + L"_path=C:\\Projects\\p" + std::to_wstring(i) + L"\\");
    lines.push_back(L"activetab=3");
    lines.push_back(L"[LeftHistory]");
    for (int i = 0; i < 200; ++i)
        lines.push_back(std::to_wstring(i) + L"=D:\\Archive\\" + std::to_wstring(1990 + i % 30) + L"\\folder " + std::to_wstring(i));
    lines.push_back(L"[Searches]");
    lines.push_back(L"Big files_SearchFor=*.iso;*.img");
    lines.push_back(L"Big files_SearchIn=");
    lines.push_back(L"[CustomFields]");
    lines.push_back(L"Titles=Media");
    lines.push_back(L"Contents1=[=info.Duration]");
    lines.push_back(L"[Packer]");
    lines.push_back(L"InternalUnpackMulti=1");
    return lines;
}

std::wstring Join(const std::vector<std::wstring>& lines)
{
    std::wstring text;
    for (const std::wstring& line : lines)
        text += line + L"\r\n";
    return text;
}

std::wstring Trim(const std::wstring& s)
{
    size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos)
        return L"";
    size_t e = s.find_last_not_of(L" \t");
    return s.substr(b, e - b + 1);
}

// The ini reduced to what its writer must keep: lines without blanks around "=", no blank lines,
// each tagged with its section.
std::vector<std::wstring> Normalise(const std::wstring& text)
{
    std::vector<std::wstring> out;
    std::wstring section;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(L'\n', at);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        line = Trim(line);
        if (line.empty())
            continue;
        if (line[0] == L'[') {
            section = line;
            out.push_back(line);
            continue;
        }
        size_t eq = line.find(L'=');
        if (line[0] != L';' && eq != std::wstring::npos)
            line = Trim(line.substr(0, eq)) + L"=" + Trim(line.substr(eq + 1));
        out.push_back(section + L" " + line);
    }
    return out;
}

bool IsOurs(const std::wstring& line)
{
    return line.rfind(L"[FileSystemPlugins] Fleetfinder=", 0) == 0 || line.rfind(L"[Shortcuts] CA+G=", 0) == 0
        || line.rfind(L"[Shortcuts] CA+G_params=", 0) == 0 || line.rfind(L"[CustomFields_Fleetfinder]", 0) == 0;
}

bool IsPruned(const std::wstring& line)
{
    return line.rfind(L"[Shortcuts] CA+F=", 0) == 0 || line.rfind(L"[Shortcuts] CA+F_params=", 0) == 0;
}

void CheckKeptInOrder(const std::wstring& before, const std::wstring& after)
{
    std::vector<std::wstring> expected, actual;
    for (const std::wstring& line : Normalise(before))
        if (!IsPruned(line))
            expected.push_back(line);
    int ours = 0;
    for (const std::wstring& line : Normalise(after)) {
        if (IsOurs(line))
            ++ours;
        else
            actual.push_back(line);
    }
    EXPECT_EQ(1 + 2 + 7, ours);  // plug-in entry, the hotkey pair, the column section and its six keys
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ(FfTestUtf8(expected[i]), FfTestUtf8(actual[i])) << "line " << i;
}

class LargeHostIni : public testing::Test {
protected:
    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"large_ini");
        ini = dir + L"\\wincmd.ini";
        env.reset(new FfTestHostEnv(ini));
        savedLetter = g_settings.hotkeyLetter;
        g_settings.hotkeyLetter = L'G';
    }
    void TearDown() override
    {
        g_settings.hotkeyLetter = savedLetter;
        env.reset();
    }
    static void RunAllSteps()
    {
        FfSelfRegisterWfxPlugin();
        FfSelfRegisterHotkeyShortcut();
        FfSelfRegisterCustomColumnsView();
    }
    std::wstring dir, ini;
    std::unique_ptr<FfTestHostEnv> env;
    wchar_t savedLetter = L'F';
};

}  // namespace

TEST_F(LargeHostIni, Utf16KeepsEverythingElse)
{
    std::wstring before = Join(HostStyleLines(true));
    std::string bytes = "\xFF\xFE";
    bytes.append((const char*)before.data(), before.size() * sizeof(wchar_t));
    ASSERT_TRUE(FfTestWriteBytes(ini, bytes));

    RunAllSteps();

    std::string afterBytes = FfTestReadBytes(ini);
    ASSERT_GE(afterBytes.size(), 2u);
    EXPECT_EQ("\xFF\xFE", afterBytes.substr(0, 2));  // still UTF-16
    std::wstring after = FfTestIniText(ini);
    CheckKeptInOrder(before, after);
    EXPECT_NE(std::wstring::npos, after.find(L"\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b"));
    EXPECT_EQ(L"CD", FfTestIniValue(ini, L"Shortcuts", L"CA+G"));
}

TEST_F(LargeHostIni, AnsiKeepsEverythingElse)
{
    std::wstring before = Join(HostStyleLines(false));
    int size = WideCharToMultiByte(1252, 0, before.c_str(), (int)before.size(), nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(1252, 0, before.c_str(), (int)before.size(), &bytes[0], size, nullptr, nullptr);
    ASSERT_NE(std::string::npos, bytes.find("Ren\xE9" "e"));
    ASSERT_TRUE(FfTestWriteBytes(ini, bytes));

    RunAllSteps();

    std::string afterBytes = FfTestReadBytes(ini);
    EXPECT_NE("\xFF\xFE", afterBytes.substr(0, 2));
    EXPECT_NE("\xEF\xBB\xBF", afterBytes.substr(0, 3));
    EXPECT_NE(std::string::npos, afterBytes.find("Ren\xE9" "e M\xFCller"));  // one byte each, as before
    CheckKeptInOrder(before, FfTestIniText(ini));
    EXPECT_EQ(L"CD", FfTestIniValue(ini, L"Shortcuts", L"CA+G"));
}
