// A large wincmd.ini in the host's own style keeps every unrelated line, in order and in its encoding.
#include <gtest/gtest.h>

#include "core/core.h"
#include "host/host.h"
#include "host_fixture.h"

namespace {

// A long-used installation's file: comments, blanks around "=", quotes, "=" and ";" inside values,
// non-ASCII text (beyond the ANSI code page only in the UTF-16 file), long history sections.
std::wstring HostStyleIni(bool unicode)
{
    std::wstring text =
        L"; settings of the file manager\r\n[Configuration]\r\nInstallDir=C:\\Tools\\FileManager\r\n"
        L"DarkMode=1\r\n  ShowHiddenSystem = 1\r\nEditor=\"C:\\Program Files\\Ed\\ed.exe\" \"%1\"\r\n"
        L"UserName=Ren\u00e9e M\u00fcller\r\nFormula=a=b=c\r\nSemicolons=x;y;z\r\nEmptyValue=\r\n\r\n"
        L"[Layout]\r\nButtonBar=1\r\n; switched off by hand\r\n;CurDir=1\r\n[AllResolutions]\r\nFontName=Segoe UI\r\n"
        L"[Shortcuts]\r\nC+1=cm_GoToDrive\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\nCSA+F=CD\r\n"
        L"CSA+F_params=\"\\\\\\Fleetfinder\\\"\r\nCA+F1=CD\r\nCA+F1_params=\"\\\\\\Fleetfinder\\\"\r\n"
        L"CA+K=CD\r\nCA+K_params=\"C:\\Work\\\"\r\nF2=cm_RenameOnly\r\n"
        L"[FileSystemPlugins]\r\nRegistry=C:\\Tools\\plugins\\registry.wfx\r\n"
        L"[ContentPlugins]\r\n0=C:\\Tools\\plugins\\info.wdx\r\n0_detect=\"EXT=\"\"MP3\"\" | EXT=\"\"OGG\"\"\"\r\n"
        L"[DirMenu]\r\nmenu1=Documents\r\ncmd1=cd C:\\Users\\Ren\u00e9e\\Documents\r\nmenu2=-\r\n";
    if (unicode)
        text += L"menu3=\u0414\u043e\u043a\u0443\u043c\u0435\u043d\u0442\u044b\r\ncmd3=cd D:\\\u6587\u4ef6\r\n";
    text += L"[LeftHistory]\r\n";
    for (int i = 0; i < 300; ++i)
        text += std::to_wstring(i) + L"=D:\\Archive\\" + std::to_wstring(1990 + i % 30) + L"\\folder " + std::to_wstring(i) + L"\r\n";
    return text + L"[CustomFields]\r\nContents1=[=info.Duration]\r\n[Packer]\r\nInternalUnpackMulti=1\r\n";
}

std::wstring Trim(const std::wstring& s)
{
    size_t b = s.find_first_not_of(L" \t\r"), e = s.find_last_not_of(L" \t\r");
    return b == std::wstring::npos ? L"" : s.substr(b, e - b + 1);
}

// The lines the writer must keep, each tagged with its section: blank lines dropped and blanks
// around "=" removed (the platform's writer normalises both); this plug-in's own lines left out.
std::vector<std::wstring> KeptLines(const std::wstring& text, bool dropOurs)
{
    std::vector<std::wstring> out;
    std::wstring section;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find(L'\n', at);
        end = end == std::wstring::npos ? text.size() : end;
        std::wstring line = Trim(text.substr(at, end - at));
        size_t eq = line.find(L'=');
        if (line.empty())
            continue;
        if (line[0] == L'[')
            section = line;
        else if (line[0] != L';' && eq != std::wstring::npos)
            line = Trim(line.substr(0, eq)) + L"=" + Trim(line.substr(eq + 1));
        std::wstring tagged = section + L" " + line;
        bool ours = section == L"[CustomFields_Fleetfinder]" || tagged.rfind(L"[FileSystemPlugins] Fleetfinder=", 0) == 0
                 || tagged.rfind(L"[Shortcuts] CA+G", 0) == 0 || tagged.rfind(L"[Shortcuts] CA+F=", 0) == 0
                 || tagged.rfind(L"[Shortcuts] CA+F_params=", 0) == 0;
        if (!(dropOurs && ours))
            out.push_back(tagged);
    }
    return out;
}

}  // namespace

TEST(HostLargeIni, UnrelatedLinesKeptInOrderAndEncoding)
{
    struct Case {
        const char* name;
        bool unicode;
    } cases[] = {{"UTF-16", true}, {"ANSI", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring ini = FfTestMakeTempDir(L"large_ini") + L"\\wincmd.ini";
        FfTestHostEnv env(ini);
        std::wstring before = HostStyleIni(c.unicode);
        std::string bytes;
        if (c.unicode) {
            bytes = "\xFF\xFE" + std::string((const char*)before.data(), before.size() * sizeof(wchar_t));
        } else {
            bytes.resize(before.size());
            bytes.resize(WideCharToMultiByte(1252, 0, before.data(), (int)before.size(), &bytes[0], (int)bytes.size(), nullptr, nullptr));
        }
        ASSERT_TRUE(FfTestWriteBytes(ini, bytes));
        g_settings.hotkeyLetter = L'G';
        FfSelfRegisterWfxPlugin();
        FfSelfRegisterHotkeyShortcut();
        FfSelfRegisterCustomColumnsView();
        g_settings.hotkeyLetter = L'F';

        std::string afterBytes = FfTestReadBytes(ini);
        EXPECT_EQ(c.unicode, afterBytes.compare(0, 2, "\xFF\xFE") == 0);
        EXPECT_EQ(!c.unicode, afterBytes.find("Ren\xE9" "e M\xFC" "ller") != std::string::npos);  // ANSI: one byte each
        std::wstring after = FfTestIniText(ini);
        std::vector<std::wstring> expected = KeptLines(before, true), actual = KeptLines(after, true);
        ASSERT_EQ(expected.size(), actual.size());
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(FfTestUtf8(expected[i]), FfTestUtf8(actual[i])) << "line " << i;
        // What was added: the plug-in entry, the new pair and the column section with six keys.
        EXPECT_EQ(expected.size() + 10, KeptLines(after, false).size());
        EXPECT_EQ(L"CD", FfTestIniValue(ini, L"Shortcuts", L"CA+G"));
        EXPECT_EQ(L"", FfTestIniValue(ini, L"Shortcuts", L"CA+F"));
    }
}
