// Host window commands against the stand-in host: change of folder, panel rectangle, stale handle,
// several hosts at once, a host that stops answering. (Commands 570 and 2029 and the focused
// panel's rectangle are used end to end by the overlay, bridge and "path:." tests.)
#include <gtest/gtest.h>
#include <atomic>
#include <thread>
#include "host/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "hostctl.h"
#include "search/search.h"
#include "search_test_util.h"

namespace {

class HostCommands : public ::testing::Test {
protected:
    void SetUp() override { g_moduleHandle = GetModuleHandleW(nullptr); }
    void TearDown() override { g_hostProcessId = 0; }
    // The stand-in host is another program; the plug-in code in this one takes it for its own.
    bool StartOwnHost(FfHostCtl& ctl, const FfHostStartOptions& options = FfHostStartOptions())
    {
        if (!ctl.Start(options)) return false;
        g_hostProcessId = ctl.process.pi.dwProcessId;
        return true;
    }
    FfHostCtl host;
};

TEST_F(HostCommands, ChangeFolderRecordAsTheHostReceivedIt)
{
    ASSERT_TRUE(StartOwnHost(host));
    std::wstring folder = FfTestMakeTempDir(L"chdir \u00E9\u65E5");
    for (const std::wstring& path : {folder, folder + L"\\missing-file.txt"}) {
        ASSERT_TRUE(host.ClearEvents());
        FfSendHostChangeDir(FfFindHostWindow(), path.c_str(), nullptr);
        FfHostEvent event;
        ASSERT_TRUE(host.WaitForEvent(L"changedir", 5000, &event));
        std::string expected = "\xEF\xBB\xBF" + FfTestUtf8(path) + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA";
        EXPECT_EQ(expected + std::string(1, '\0'), event.raw);
        EXPECT_EQ(path, event.path);
        EXPECT_EQ(L"", event.second);
        EXPECT_EQ("SA", event.letters);
    }
    EXPECT_EQ(folder, host.Folder());
    // No host window: nothing is sent and nothing breaks.
    FfSendHostChangeDir(nullptr, folder.c_str(), nullptr);
}

// Focus in a window that is not the main window's (a dialog of the host, say): no rectangle.
TEST_F(HostCommands, FocusOutsideTheMainWindowGivesNoRectangle)
{
    HWND mainWindow = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                      g_moduleHandle, nullptr);
    HWND panel = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 5, 5, 50, 20, mainWindow, nullptr,
                                 g_moduleHandle, nullptr);
    HWND dialog = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE, 200, 200, 50, 20, nullptr, nullptr,
                                  g_moduleHandle, nullptr);
    RECT rect;
    EXPECT_EQ(0, FfGetActivePanelRect(nullptr, &rect));
    SetForegroundWindow(mainWindow);
    SetFocus(panel);
    if (GetFocus() == panel) {
        EXPECT_NE(0, FfGetActivePanelRect(mainWindow, &rect));
        RECT expected;
        GetWindowRect(panel, &expected);
        EXPECT_TRUE(EqualRect(&expected, &rect));
    }
    SetForegroundWindow(dialog);
    SetFocus(dialog);
    ASSERT_EQ(dialog, GetFocus());
    EXPECT_EQ(0, FfGetActivePanelRect(mainWindow, &rect));
    DestroyWindow(dialog);
    DestroyWindow(mainWindow);
}

TEST_F(HostCommands, LookupKeepsTheLastWindowFound)
{
    ASSERT_TRUE(StartOwnHost(host));
    HWND first = FfFindHostWindow();
    EXPECT_EQ(host.mainWindow, first);
    EXPECT_EQ(first, g_hostWindow);
    ASSERT_TRUE(host.Quit());
    ASSERT_TRUE(FfTestWaitFor([] { return FindWindowW(FF_HOST_WINDOW_CLASS, nullptr) == nullptr; }, 5000));
    EXPECT_EQ(first, FfFindHostWindow());  // stale, but kept
    EXPECT_FALSE(IsWindow(first));
    FfSendHostCommand(first, 570);         // goes nowhere, harmlessly
    FfSendHostChangeDir(first, L"C:\\", nullptr);
    FfTriggerGoToPreviousDir(nullptr);
    FfHostCtl second;
    ASSERT_TRUE(StartOwnHost(second));
    EXPECT_EQ(second.mainWindow, FfFindHostWindow());
    EXPECT_EQ(second.mainWindow, g_hostWindow);
}

LRESULT CALLBACK RecordingHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == FF_HOST_COMMAND_MESSAGE || message == WM_COPYDATA)
        SetWindowLongPtrW(window, GWLP_USERDATA, GetWindowLongPtrW(window, GWLP_USERDATA) + 1);
    return DefWindowProcW(window, message, wParam, lParam);
}

int CountKind(FfHostCtl& ctl, const wchar_t* kind)
{
    int n = 0;
    for (const FfHostEvent& e : ctl.Events()) n += e.kind == kind;
    return n;
}

// Two hosts on one desktop: the plug-in commands the host it runs in, also when the other one
// is newer and in front, and leaves the other's hotkey to it.
TEST_F(HostCommands, OnlyTheHostOfOurOwnProcessIsCommanded)
{
    std::wstring dir = FfTestMakeTempDir(L"twohosts");
    const wchar_t* library = FF_BITS == 64 ? L"Fleetfinder.wdx64" : L"Fleetfinder.wdx";
    std::wstring pluginDir = dir + L"\\plugin", elsewhere = dir + L"\\elsewhere";
    CreateDirectoryW(pluginDir.c_str(), nullptr);
    CreateDirectoryW(elsewhere.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(FfTestBinPath(library).c_str(), (pluginDir + L"\\" + library).c_str(), FALSE));
    FfTestWriteBytes(pluginDir + L"\\Fleetfinder.cfg", "[Display]\r\nLogging=Y\r\n");
    FfHostStartOptions ours, other;
    ours.foreground = false;
    ours.commanderIni = dir + L"\\ours.ini";
    FfTestWriteBytes(ours.commanderIni, "[FileSystemPlugins]\r\nFleetfinder=" +
                                            FfTestUtf8(pluginDir + L"\\" + library) + "\r\n");
    other.commanderIni = dir + L"\\other.ini";
    FfTestWriteBytes(other.commanderIni, "[Shortcuts]\r\nCA+F=CD\r\nCA+F_params=" + FfTestUtf8(elsewhere) + "\r\n");
    other.x = 300;
    ASSERT_TRUE(host.Start(ours));
    FfHostCtl second;  // started later: first in the system's window search
    ASSERT_TRUE(second.Start(other));

    // The plug-in loads into the first host; its request sends that host back (command 570).
    host.SetFolder(FF_HOST_ACTIVE, L"\\\\\\Fleetfinder");
    ASSERT_TRUE(host.WaitForEvent(L"command", 10000)) << FfTestReadBytes(pluginDir + L"\\Fleetfinder.log");
    // The overlay opens too, and takes the foreground: let that end, and close it with its close
    // button, before the keys go out.
    HWND overlay = nullptr;
    ASSERT_TRUE(FfTestWaitFor([&] {
        overlay = FfTestWaitForWindow(L"FleetfinderOverlay", host.process.pi.dwProcessId, 0);
        return overlay && IsWindowVisible(overlay) && GetForegroundWindow() == overlay;
    }, 10000)) << FfTestReadBytes(pluginDir + L"\\Fleetfinder.log");
    EXPECT_EQ(0, CountKind(second, L"command"));
    PostMessageW(GetDlgItem(overlay, 204), BM_CLICK, 0, 0);
    ASSERT_TRUE(FfTestWaitFor([&] { return !IsWindowVisible(overlay); }));

    // Ctrl+Alt+F over the other host is that host's own shortcut, not our overlay.
    // Asked again until it holds: the activation crosses processes and lags behind the request.
    ASSERT_TRUE(FfTestWaitFor([&] {
        if (!second.BringToFront()) return false;
        FfTestFlushEvents(100);
        return GetForegroundWindow() == second.mainWindow;
    }, 5000));
    // Modifiers held until the system reports them down: both hosts read the live state.
    for (WORD key : {(WORD)VK_CONTROL, (WORD)VK_MENU}) FfTestSendKey(key, false);
    FfTestWaitFor([] { return GetAsyncKeyState(VK_CONTROL) < 0 && GetAsyncKeyState(VK_MENU) < 0; }, 2000);
    for (bool up : {false, true}) { FfTestSendKey('F', up); FfTestFlushEvents(60); }
    for (WORD key : {(WORD)VK_MENU, (WORD)VK_CONTROL}) FfTestSendKey(key, true);
    bool shortcut = second.WaitForEvent(L"shortcut", 5000);
    std::wstring seen;
    for (const FfHostEvent& e : second.Events()) seen += e.kind + L" ";
    EXPECT_TRUE(shortcut) << FfTestUtf8(seen) << " foreground " << GetForegroundWindow() << " main " << second.mainWindow
                          << " focus " << second.FocusWindow() << "\n" << FfTestReadBytes(pluginDir + L"\\Fleetfinder.log");
    FfTestFlushEvents(100);
    std::string log = FfTestReadBytes(pluginDir + L"\\Fleetfinder.log");
    EXPECT_EQ(log.find("FfOpenOverlay: hotkey fired."), log.rfind("FfOpenOverlay: hotkey fired.")) << log;

    // The plug-in code of this process with a host window of its own: the change-folder record
    // and commands go there, not to the other programs' hosts.
    ASSERT_TRUE(second.ClearEvents() && host.ClearEvents());
    WNDCLASSW wc = {};
    wc.lpfnWndProc = RecordingHostProc;
    wc.hInstance = g_moduleHandle;
    wc.lpszClassName = FF_HOST_WINDOW_CLASS;
    RegisterClassW(&wc);
    HWND own = CreateWindowExW(0, FF_HOST_WINDOW_CLASS, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
    ASSERT_NE(nullptr, own);
    SetWindowPos(own, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(own, FfFindHostWindow());
    FfSendHostChangeDir(FfFindHostWindow(), dir.c_str(), nullptr);
    FfSendHostCommand(FfFindHostWindow(), FF_HOST_CM_GOTO_PREVIOUS_DIR);
    EXPECT_EQ(2, (int)GetWindowLongPtrW(own, GWLP_USERDATA));
    FfTestFlushEvents(100);
    for (FfHostCtl* ctl : {&host, &second}) {
        EXPECT_EQ(0, CountKind(*ctl, L"changedir"));
        EXPECT_EQ(0, CountKind(*ctl, L"command"));
    }
    DestroyWindow(own);
    ASSERT_TRUE(second.Quit());
}

// A host whose window thread stops answering holds the plug-in a few seconds at most, and says so.
TEST_F(HostCommands, SendsToAHostThatStopsAnsweringGiveUp)
{
    FfLogCapture logs(L"hung_host");
    std::atomic<HWND> window{nullptr};
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread hung([&] {
        window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_moduleHandle, nullptr);
        WaitForSingleObject(release, 30000);  // never pumps its messages
        DestroyWindow(window);
    });
    ASSERT_TRUE(FfTestWaitFor([&] { return window.load() != nullptr; }));
    DWORD start = GetTickCount();
    FfSendHostCommand(window, FF_HOST_CM_COPY_SOURCE_PATH);
    FfSendHostChangeDir(window, L"C:\\", nullptr);
    DWORD elapsed = GetTickCount() - start;
    SetEvent(release);
    hung.join();
    CloseHandle(release);
    EXPECT_LT(elapsed, 2u * FF_HOST_SEND_TIMEOUT_MS + 1500u);
    EXPECT_EQ(1, logs.CountInLog(L"FfSendHostCommand: command 2029 to the host window"));
    EXPECT_EQ(1, logs.CountInLog(L"FfSendHostChangeDir: change-folder record to the host window"));
    EXPECT_EQ(2, logs.CountInLog(L"FAILED (no answer within"));
}

// Another program that takes the clipboard for a while when asked to (holding it with a window,
// so that nobody else can open it meanwhile).
struct ClipboardHolder {
    HANDLE grab = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE grabbed = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE released = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    std::atomic<DWORD> holdMs{0};
    std::atomic<bool> quit{false};
    std::thread thread{[this] {
        HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        while (WaitForSingleObject(grab, INFINITE) == WAIT_OBJECT_0 && !quit) {
            while (!OpenClipboard(window)) Sleep(5);
            SetEvent(grabbed);
            Sleep(holdMs);
            CloseClipboard();
            SetEvent(released);
        }
        DestroyWindow(window);
    }};
    void Hold(DWORD ms)
    {
        holdMs = ms;
        SetEvent(grab);
        WaitForSingleObject(grabbed, 5000);
    }
    ~ClipboardHolder()
    {
        quit = true;
        SetEvent(grab);
        thread.join();
        for (HANDLE h : {grab, grabbed, released}) CloseHandle(h);
    }
};

ClipboardHolder* g_holder;
bool g_hostAnswers;
DWORD g_holdAfterAnswerMs;
int g_hostCommands;
const wchar_t kHostFolder[] = L"C:\\Host folder";

bool PutOnClipboard(HWND owner, const wchar_t* text, bool privateBlock)
{
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    memcpy(GlobalLock(block), text, bytes);
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    // Private data the plug-in cannot copy: only the program that set it knows what it is.
    if (privateBlock) SetClipboardData(CF_PRIVATEFIRST, GlobalAlloc(GMEM_MOVEABLE, 16));
    CloseClipboard();
    return true;
}

// Command 2029 as the host does it, then (when asked) another program grabs the clipboard.
LRESULT CALLBACK ClipboardHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != FF_HOST_COMMAND_MESSAGE || wParam != FF_HOST_CM_COPY_SOURCE_PATH)
        return DefWindowProcW(window, message, wParam, lParam);
    g_hostCommands++;
    if (!g_hostAnswers) return 0;
    for (DWORD start = GetTickCount(); !PutOnClipboard(window, kHostFolder, false) && GetTickCount() - start < 5000;)
        Sleep(10);
    if (g_holdAfterAnswerMs) g_holder->Hold(g_holdAfterAnswerMs);
    return 1;
}

// "path:." asks the host through the clipboard: what the user had is never lost for a clipboard
// that was busy, and not rewritten when the host did not touch it.
TEST_F(HostCommands, ClipboardAroundTheActiveFolderQuery)
{
    struct Case {
        const char* name;
        DWORD holdBeforeMs;       // busy when the plug-in saves it
        bool hostAnswers;
        DWORD holdAfterAnswerMs;  // busy between the host's answer and the plug-in's reading
        int found;
        const wchar_t* textAfter;
        int commands;
        bool keptAsItWas;         // private data and owner unchanged
        bool restoreFailureLogged;
    };
    const Case cases[] = {
        {"busy at the save: host not asked, clipboard untouched", 1500, true, 0, 0, L"keep me", 0, true, false},
        {"busy for a moment after the answer: read, then restored", 0, true, 200, 1, L"keep me", 1, false, false},
        {"busy for long after the answer: the lost restore is logged", 0, true, 2000, 0, kHostFolder, 1, false, true},
        {"host never changed it: not rewritten", 0, false, 0, 0, L"keep me", 1, true, false},
    };
    ClipboardHolder holder;
    g_holder = &holder;
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ClipboardHostProc;
    wc.hInstance = g_moduleHandle;
    wc.lpszClassName = L"FfTestClipboardHost";
    RegisterClassW(&wc);
    HWND hostWindow = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
    HWND user = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, g_moduleHandle, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FfLogCapture logs(L"clipboard");
        ASSERT_TRUE(PutOnClipboard(user, L"keep me", true));
        g_hostAnswers = c.hostAnswers;
        g_holdAfterAnswerMs = c.holdAfterAnswerMs;
        g_hostCommands = 0;
        if (c.holdBeforeMs) holder.Hold(c.holdBeforeMs);
        wchar_t folder[FF_ACTIVE_FOLDER_MAX];
        int found = FfQueryHostActiveFolder(hostWindow, nullptr, folder, FF_ACTIVE_FOLDER_MAX);
        if (c.holdBeforeMs || c.holdAfterAnswerMs) {
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(holder.released, 10000));
        }
        EXPECT_EQ(c.found, found);
        EXPECT_EQ(c.found ? std::wstring(kHostFolder) : std::wstring(), folder);
        EXPECT_EQ(c.commands, g_hostCommands);
        EXPECT_EQ(c.textAfter, FfTestClipboardText());
        EXPECT_EQ(c.keptAsItWas, IsClipboardFormatAvailable(CF_PRIVATEFIRST) != FALSE);
        EXPECT_EQ(c.keptAsItWas, GetClipboardOwner() == user);
        EXPECT_EQ(c.restoreFailureLogged ? 1 : 0, logs.CountInLog(L"FfRestoreClipboard: clipboard FAILED to open"));
    }
    DestroyWindow(user);
    DestroyWindow(hostWindow);
}

}  // namespace
