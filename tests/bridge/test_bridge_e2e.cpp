// End to end in the stand-in host with the real plug-in library and the stand-in engine:
// search, Enter, the published listing with its Path column, copying out, and the first
// hotkey press after a host start.
#include <gtest/gtest.h>
#include <algorithm>
#include "enginectl.h"
#include "hostctl.h"

namespace {

const wchar_t* kRoot = L"\\\\\\Fleetfinder";
const wchar_t* kLibrary = FF_BITS == 64 ? L"Fleetfinder.wdx64" : L"Fleetfinder.wdx";

void SendKey(WORD key, DWORD flags)
{
    FfTestSendKey(key, (flags & KEYEVENTF_KEYUP) != 0);
    // One at a time: the plug-in reads modifiers as they are now, not as they were queued.
    FfTestFlushEvents(60);
}

void SendKeys(std::initializer_list<WORD> keys)  // pressed in order, released in reverse
{
    for (WORD key : keys) SendKey(key, 0);
    for (auto it = keys.end(); it != keys.begin();) SendKey(*--it, KEYEVENTF_KEYUP);
}

void SendText(const std::wstring& text)
{
    for (wchar_t c : text) FfTestTypeChar(c);
    FfTestFlushEvents(100);
}

class BridgeEndToEnd : public ::testing::Test {
protected:
    std::wstring dir, data, out, pluginDir, ini;
    FfTestEngine engine;
    FfHostCtl host;

    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"bridge_e2e");
        data = dir + L"\\data";
        out = dir + L"\\out";
        pluginDir = dir + L"\\plugin";
        for (const wchar_t* sub : {L"\\data", L"\\data\\one", L"\\data\\two", L"\\out", L"\\plugin"})
            CreateDirectoryW((dir + sub).c_str(), nullptr);
        FfTestWriteBytes(data + L"\\one\\zebrafile.txt", "the first zebra");
        FfTestWriteBytes(data + L"\\two\\zebrafile.txt", "the second zebra, longer");
        FfTestWriteBytes(data + L"\\other.txt", "other");
        // A private copy of the library: its settings and log live beside it.
        ASSERT_TRUE(CopyFileW(FfTestBinPath(kLibrary).c_str(), (pluginDir + L"\\" + kLibrary).c_str(), FALSE));
        FfTestWriteBytes(pluginDir + L"\\Fleetfinder.cfg",
                         "[Display]\r\nLogging=Y\r\nSearchDelayMs=30\r\n[Safety]\r\nAllowDelete=N\r\n");
        ini = dir + L"\\wincmd.ini";
        FfTestWriteBytes(ini, "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(pluginDir + L"\\" + kLibrary) +
                                  "\r\n[CustomFields_Fleetfinder]\r\nTitles=Fleetfinder\r\nAutoLoad=1\r\n"
                                  "Headers1=Path\r\nContents1=[=<fs>.Path]\r\nOptions1=-1|1|96\r\n");
        FfEngineOptions options;
        options.roots.push_back(data);
        ASSERT_TRUE(engine.Start(options));
    }
    void TearDown() override
    {
        host.Quit();
        engine.Stop();
    }
    bool StartHost()
    {
        FfHostStartOptions options;
        options.leftFolder = data;
        options.rightFolder = out;
        options.commanderIni = ini;
        return host.Start(options);
    }
    HWND Overlay()
    {
        HWND window = nullptr;
        while ((window = FindWindowExW(nullptr, window, L"FleetfinderOverlay", nullptr)) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            if (pid == host.process.pi.dwProcessId) return window;
        }
        return nullptr;
    }
    bool OverlayVisible()
    {
        HWND window = Overlay();
        return window && IsWindowVisible(window);
    }
    // Keys typed into the overlay reach it only once it is in front with the focus in its
    // search box; the activation crosses processes and lags behind the window's showing.
    bool OverlayHasTheKeyboard()
    {
        HWND window = Overlay();
        if (!window || GetForegroundWindow() != window) return false;
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) &&
               info.hwndFocus == GetDlgItem(window, 201);
    }
    int ResultRows()
    {
        HWND list = FindWindowExW(Overlay(), nullptr, L"LISTBOX", nullptr);
        return list ? (int)SendMessageW(list, LB_GETCOUNT, 0, 0) : -1;
    }
    int SelectedRows()
    {
        HWND list = FindWindowExW(Overlay(), nullptr, L"LISTBOX", nullptr);
        return list ? (int)SendMessageW(list, LB_GETSELCOUNT, 0, 0) : -1;
    }
    int CountEvents(const wchar_t* kind, long long number)
    {
        int count = 0;
        for (const FfHostEvent& e : host.Events()) count += e.kind == kind && e.number == number;
        return count;
    }
    std::string LogText() { return FfTestReadBytes(pluginDir + L"\\Fleetfinder.log"); }
};

TEST_F(BridgeEndToEnd, EnterPublishesAndTheHostActsOnTheRealFiles)
{
    ASSERT_TRUE(StartHost());
    // Entering the folder loads the library; FsInit's request sends the panel back and opens
    // the overlay.
    host.SetFolder(FF_HOST_ACTIVE, kRoot);
    ASSERT_TRUE(FfTestWaitFor([&] { return OverlayVisible(); }, 10000)) << LogText();
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == data; }));

    ASSERT_TRUE(FfTestWaitFor([&] { return OverlayHasTheKeyboard(); }, 5000));
    SendText(L"zebrafile");
    // Shorter texts match the same two files: wait for the search of the whole text, whose
    // refresh selects the first row, before extending the selection.
    ASSERT_TRUE(FfTestWaitFor([&] { return LogText().find("typed=\"zebrafile\"") != std::string::npos; }, 10000))
        << LogText();
    ASSERT_TRUE(FfTestWaitFor([&] { return ResultRows() == 2; }, 10000)) << LogText();
    // Both rows selected through the list itself (Shift+arrows are the overlay's own tests).
    HWND list = FindWindowExW(Overlay(), nullptr, L"LISTBOX", nullptr);
    SendMessageW(list, LB_SETSEL, TRUE, -1);
    ASSERT_TRUE(FfTestWaitFor([&] { return SelectedRows() == 2; })) << SelectedRows() << LogText();
    SendKeys({VK_RETURN});
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == kRoot; }, 10000)) << LogText();
    EXPECT_FALSE(OverlayVisible());
    EXPECT_NE(LogText().find("FfPublishResultsToWfx: replaced, now 2 entries total in the WFX panel listing (source=selection)."),
              std::string::npos);

    std::vector<FfHostItem> items = host.Items();
    ASSERT_EQ(items.size(), 2u);
    std::vector<std::wstring> names = {items[0].name, items[1].name};
    EXPECT_EQ(names, (std::vector<std::wstring>{L"zebrafile.txt", L"zebrafile (2).txt"}));
    std::vector<std::wstring> paths = {items[0].path, items[1].path};
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::wstring>{data + L"\\one\\zebrafile.txt", data + L"\\two\\zebrafile.txt"}));
    EXPECT_EQ(host.CurrentItem(), L"zebrafile.txt");
    for (const FfHostItem& item : items) {
        EXPECT_EQ(item.attributes, (DWORD)FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(item.size, FfTestReadBytes(item.path).size());
    }

    // Copying out gives the real file's bytes; delete is refused and leaves the file.
    ASSERT_EQ(host.CopyToOtherPanel(items[1].name), 0);
    EXPECT_EQ(FfTestReadBytes(out + L"\\" + items[1].name), FfTestReadBytes(items[1].path));
    // Again onto an older copy: the plug-in answers "exists" and the host asks the user.
    FfTestWriteBytes(out + L"\\" + items[1].name, "older");
    ASSERT_TRUE(host.SetOverwriteAnswer(FF_HOST_OVERWRITE_NO));
    EXPECT_EQ(host.CopyToOtherPanel(items[1].name), FF_HOST_OP_SKIPPED);
    EXPECT_EQ(FfTestReadBytes(out + L"\\" + items[1].name), "older");
    ASSERT_TRUE(host.SetOverwriteAnswer(FF_HOST_OVERWRITE_YES));
    EXPECT_EQ(host.CopyToOtherPanel(items[1].name), 0);
    EXPECT_EQ(FfTestReadBytes(out + L"\\" + items[1].name), FfTestReadBytes(items[1].path));
    EXPECT_EQ(CountEvents(L"exists", FF_HOST_OVERWRITE_NO) + CountEvents(L"exists", FF_HOST_OVERWRITE_YES), 2);
    // A move while AllowDelete=N is refused before anything is copied.
    EXPECT_EQ(host.MoveToOtherPanel(items[0].name), 6);
    EXPECT_FALSE(FfTestFileExists(out + L"\\" + items[0].name));
    EXPECT_EQ(host.Delete(items[0].name), 0);
    EXPECT_TRUE(FfTestFileExists(items[0].path));
}

TEST_F(BridgeEndToEnd, FirstPressAfterAHostStartOpensTheOverlay)
{
    // First run: the library loads and registers itself, its hotkey shortcut included.
    ASSERT_TRUE(StartHost());
    host.SetFolder(FF_HOST_ACTIVE, kRoot);
    ASSERT_TRUE(FfTestWaitFor([&] {
        wchar_t value[256];
        GetPrivateProfileStringW(L"Shortcuts", L"CA+F", L"", value, 256, ini.c_str());
        return value[0] != 0;
    }, 10000)) << FfTestReadBytes(ini);
    // The cold load also opens the overlay; quitting while that opening still loads system
    // libraries can leave the host's exit waiting on the loader, so let it finish first.
    ASSERT_TRUE(FfTestWaitFor([&] { return OverlayVisible(); }, 10000)) << LogText();
    ASSERT_TRUE(host.Quit());

    // Second run: no library yet; the host's own shortcut takes the first press.
    ASSERT_TRUE(StartHost());
    ASSERT_TRUE(host.BringToFront());
    ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == host.mainWindow; }, 5000));
    ASSERT_TRUE(host.ClearEvents());
    SendKeys({VK_CONTROL, VK_MENU, 'F'});
    ASSERT_TRUE(host.WaitForEvent(L"fsinit", 10000));
    ASSERT_TRUE(FfTestWaitFor([&] { return OverlayVisible(); }, 10000)) << LogText();
    ASSERT_TRUE(FfTestWaitFor([&] { return host.Folder() == data; }));
    EXPECT_EQ(CountEvents(L"shortcut", 'F'), 1);
    EXPECT_EQ(CountEvents(L"command", 570), 1);
    // The thread made the windows when it started; the opening only showed them.
    std::string log = LogText();
    size_t started = log.rfind("Background thread started");
    EXPECT_LT(log.find("WM_CREATE: InitCommonControlsEx=", started), log.find("FfOpenOverlay: hotkey fired.", started))
        << log;
    EXPECT_EQ(host.mainWindow, GetWindow(Overlay(), GW_OWNER));

    // Close it with its close button (whether the cold-opened overlay also takes the keyboard
    // is not what this test is about); the next press is the hook's: the host sees no shortcut.
    PostMessageW(GetDlgItem(Overlay(), 204), BM_CLICK, 0, 0);
    ASSERT_TRUE(FfTestWaitFor([&] { return !OverlayVisible(); }));
    ASSERT_TRUE(host.BringToFront());
    // The hook acts only while the host is in front; that activation lags like the overlay's.
    ASSERT_TRUE(FfTestWaitFor([&] { return GetForegroundWindow() == host.mainWindow; }, 5000));
    // The hook reads the live Ctrl and Alt state, which can lag behind injected keys under
    // load: hold both until the system reports them down, then press F.
    SendKey(VK_CONTROL, 0);
    SendKey(VK_MENU, 0);
    FfTestWaitFor([] { return GetAsyncKeyState(VK_CONTROL) < 0 && GetAsyncKeyState(VK_MENU) < 0; }, 2000);
    SendKeys({'F'});
    SendKey(VK_MENU, KEYEVENTF_KEYUP);
    SendKey(VK_CONTROL, KEYEVENTF_KEYUP);
    ASSERT_TRUE(FfTestWaitFor([&] { return OverlayVisible(); }, 10000))
        << "shortcuts seen by the host: " << CountEvents(L"shortcut", 'F') << "\n" << LogText();
    EXPECT_EQ(CountEvents(L"shortcut", 'F'), 1);
    EXPECT_EQ(host.Folder(), data);
}

}  // namespace
