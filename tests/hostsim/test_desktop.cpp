// The stand-in host in front: the clipboard after command 2029, the focused panel, Ctrl+Alt shortcuts.
#include <gtest/gtest.h>
#include "hostctl.h"

namespace {

std::wstring ClipboardText()
{
    std::wstring text;
    if (!OpenClipboard(nullptr)) return L"<clipboard busy>";
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    if (data) {
        const wchar_t* p = (const wchar_t*)GlobalLock(data);
        if (p) text = p;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

bool PutClipboardText(const std::wstring& text)
{
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    bool ok = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    CloseClipboard();
    return ok;
}

void PressCtrlAlt(WORD key)
{
    INPUT in[6] = {};
    WORD keys[6] = { VK_CONTROL, VK_MENU, key, key, VK_MENU, VK_CONTROL };
    for (int i = 0; i < 6; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = keys[i];
        in[i].ki.dwFlags = i >= 3 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(6, in, sizeof(INPUT));
}

void PressKey(WORD key)
{
    INPUT in[2] = {};
    for (int i = 0; i < 2; ++i) {
        in[i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = key;
        in[i].ki.dwFlags = i == 1 ? KEYEVENTF_KEYUP : 0;
    }
    SendInput(2, in, sizeof(INPUT));
}

class HostDesktop : public ::testing::Test {
protected:
    FfHostCtl host;
    std::wstring left, right, calls;
    void StartHost(const std::string& ini, const wchar_t* rightTag = L"hostdesk_right\u00C4\u6F22")
    {
        left = FfTestMakeTempDir(L"hostdesk_left");
        right = FfTestMakeTempDir(rightTag);
        calls = left + L"\\calls.txt";
        FfHostStartOptions options;
        options.leftFolder = left;
        options.rightFolder = right;
        if (!ini.empty()) {
            ASSERT_TRUE(FfTestWriteBytes(left + L"\\wincmd.ini", ini));
            options.commanderIni = left + L"\\wincmd.ini";
        }
        options.environment.push_back({ L"FF_FAKEPLUGIN_LOG", calls });
        ASSERT_TRUE(host.Start(options));
        ASSERT_TRUE(host.BringToFront());
        ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == host.mainWindow; }));
    }
    void TearDown() override { EXPECT_TRUE(host.Quit()); }
};

TEST_F(HostDesktop, CommandCopyPathPutsTheActiveFolderOnTheClipboard)
{
    StartHost("");
    struct Case {
        const char* label;
        int panel;
        std::wstring folder;
    } cases[] = {
        { "left panel", FF_HOST_LEFT, left },
        { "right panel, outside ASCII", FF_HOST_RIGHT, right },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(host.SetActivePanel(c.panel)) << c.label;
        ASSERT_TRUE(PutClipboardText(L"something else")) << c.label;
        DWORD_PTR result = 0;
        // No waiting afterwards: the text must be there when the send returns.
        ASSERT_TRUE(SendMessageTimeoutW(host.mainWindow, WM_USER + 51, 2029, 0, SMTO_NORMAL, 10000, &result)) << c.label;
        EXPECT_EQ(ClipboardText(), c.folder) << c.label;
    }
}

TEST_F(HostDesktop, TheFocusLiesInTheActivePanelsList)
{
    StartHost("");
    for (int panel : { FF_HOST_RIGHT, FF_HOST_LEFT }) {
        ASSERT_TRUE(host.SetActivePanel(panel));
        HWND list = host.PanelList(panel);
        EXPECT_EQ(host.FocusWindow(), list) << panel;
        RECT expected, reported;
        GetWindowRect(list, &expected);
        ASSERT_TRUE(host.FocusRect(&reported));
        EXPECT_TRUE(EqualRect(&expected, &reported)) << panel;
        // What the plug-in reads from outside the host's thread.
        GUITHREADINFO info = { sizeof(info) };
        ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(host.mainWindow, nullptr), &info));
        EXPECT_EQ(info.hwndFocus, list) << panel;
        EXPECT_TRUE(IsChild(host.mainWindow, info.hwndFocus)) << panel;
    }
    ASSERT_TRUE(host.MoveMainWindow(300, 200, 640, 480));
    RECT list, reported;
    GetWindowRect(host.PanelList(FF_HOST_LEFT), &list);
    ASSERT_TRUE(host.FocusRect(&reported));
    EXPECT_TRUE(EqualRect(&list, &reported)) << "the rectangle follows the window";
    EXPECT_GE(reported.left, 300);
}

TEST_F(HostDesktop, CtrlAltShortcutsRunTheirChangeFolderBinding)
{
    std::string plugin = FfTestUtf8(FfTestBinPath(L"fft_fakeplugin.dll"));
    std::wstring work = FfTestMakeTempDir(L"hostdesk_work");
    StartHost("[FileSystemPlugins]\r\nFleetfinder=" + plugin +
              "\r\n[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=\"\\\\\\Fleetfinder\\\"\r\nCA+G=cm_Exit\r\n"
              "CA+R=CD\r\nCA+R_params=" + FfTestUtf8(work) + "\r\n");
    ASSERT_TRUE(host.ClearEvents());

    PressCtrlAlt('G');  // bound, but not to a change of folder
    PressCtrlAlt('R');
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == work; }));
    PressCtrlAlt('F');
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == L"\\\\\\Fleetfinder"; }));
    EXPECT_EQ(host.Names().size(), 3u);
    std::string log = FfTestReadBytes(calls);
    EXPECT_EQ(log.rfind("FsInit 0\r\nFsFindFirst \\\r\n", 0), 0u) << log;

    std::vector<long long> keys;
    for (const auto& e : host.Events())
        if (e.kind == L"shortcut") keys.push_back(e.number);
    EXPECT_EQ(keys, (std::vector<long long>{ 'R', 'F' }));
    // The binding remembers where the panel was, as every change of folder does.
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(host.mainWindow, WM_USER + 51, 570, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_EQ(host.Folder(), work);
}

TEST_F(HostDesktop, PanelKeysBrowseCopyAndSwitch)
{
    std::string plugin = FfTestUtf8(FfTestBinPath(L"fft_fakeplugin.dll"));
    // The copy target is handed to the plug-in as 8-bit text, so it stays within ASCII here.
    StartHost("[FileSystemPlugins]\r\nFleetfinder=" + plugin + "\r\n", L"hostdesk_right");
    ASSERT_TRUE(host.SetFolder(FF_HOST_LEFT, L"\\\\\\Fleetfinder"));
    ASSERT_TRUE(host.SetActivePanel(FF_HOST_LEFT));
    ASSERT_EQ(host.CurrentItem(), L"alpha.txt");

    PressKey(VK_F5);  // copy the item under the cursor to the other panel
    ASSERT_TRUE(FfTestWaitFor([&] { return FfTestFileExists(right + L"\\alpha.txt"); }));
    EXPECT_EQ(FfTestReadBytes(right + L"\\alpha.txt"), "copy of \\alpha.txt");

    PressKey(VK_DOWN);
    ASSERT_TRUE(FfTestWaitFor([&] { return host.CurrentItem() == L"Folder"; }));
    PressKey(VK_RETURN);  // a folder is entered
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == L"\\\\\\Fleetfinder\\Folder"; }));
    PressKey(VK_BACK);  // and left again
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == L"\\\\\\Fleetfinder"; }));
    PressKey(VK_TAB);
    ASSERT_TRUE(FfTestWaitFor([&] { return host.ActivePanel() == FF_HOST_RIGHT; }));
    EXPECT_EQ(host.FocusWindow(), host.PanelList(FF_HOST_RIGHT));
}

}  // namespace
