// The result context menu on real windows: its items, where it opens, and its three actions.
#include <gtest/gtest.h>
#include "bridge_fixture.h"
#include "host/host_commands.h"
#include "core/core.h"
#include "fftest.h"
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"

namespace {

// What the menu showed, and how the helper thread answered it.
struct MenuRun {
    int downs = 0;          // arrow presses before Enter; -1: Escape
    std::vector<std::wstring> items;
    RECT rect = {};
};

DWORD WINAPI DriveMenu(LPVOID param)
{
    MenuRun* run = (MenuRun*)param;
    HWND menu = nullptr;
    for (DWORD until = GetTickCount() + 5000; GetTickCount() < until && !menu; Sleep(10)) {
        HWND found = FindWindowW(L"#32768", nullptr);
        if (found && IsWindowVisible(found)) menu = found;
    }
    if (!menu) return 1;
    HMENU handle = (HMENU)SendMessageW(menu, 0x01E1 /* MN_GETHMENU */, 0, 0);
    for (int i = 0; handle && i < GetMenuItemCount(handle); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(handle, i, text, 128, MF_BYPOSITION);
        run->items.push_back(text);
    }
    GetWindowRect(menu, &run->rect);
    if (run->downs < 0) {
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {
        for (int i = 0; i < run->downs; ++i) PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    }
    return 0;
}

std::vector<std::string> g_records;
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = (const COPYDATASTRUCT*)lParam;
        std::string bytes((const char*)data->lpData, data->cbData);
        size_t end = bytes.find('\r');
        if (data->dwData == FF_HOST_CHANGEDIR_TAG && bytes.size() > 3 && end != std::string::npos)
            g_records.push_back(bytes.substr(3, end - 3));
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class ContextMenu : public ::testing::Test {
protected:
    HWND host = nullptr;
    void SetUp() override
    {
        FfBridgeInitLock();
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = instance;
        wc.lpszClassName = FF_HOST_WINDOW_CLASS;
        RegisterClassW(&wc);
        // Topmost, so the lookup by class finds this one before any other host on the desktop.
        host = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, FF_HOST_WINDOW_CLASS, L"", WS_POPUP, 0, 0, 1, 1,
                               nullptr, nullptr, instance, nullptr);
        g_overlayWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 200, 200,
                                          600, 400, nullptr, nullptr, instance, nullptr);
        g_resultList = CreateWindowW(L"LISTBOX", L"", WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_EXTENDEDSEL |
                                     LBS_NOINTEGRALHEIGHT, 0, 0, 600, 400, g_overlayWindow, nullptr, instance, nullptr);
        g_records.clear();
        FfBridgeSetListing({});
    }
    void TearDown() override
    {
        DestroyWindow(g_overlayWindow);
        g_overlayWindow = g_resultList = nullptr;
        DestroyWindow(host);
        g_resultCount = 0;
    }
    void Fill(int count)
    {
        std::vector<std::wstring> paths;
        for (int i = 0; i < count; ++i) paths.push_back(L"C:\\r\\item" + std::to_wstring(i) + (i == 2 ? L"\\" : L".txt"));
        FfBridgeSetResults(paths);
        SendMessageW(g_resultList, LB_RESETCONTENT, 0, 0);
        for (int i = 0; i < count; ++i) SendMessageW(g_resultList, LB_ADDSTRING, 0, (LPARAM)L"row");
        for (int i = 0; i < count && i < 4; ++i) SendMessageW(g_resultList, LB_SETSEL, TRUE, i);
    }
    MenuRun Show(int row, int x, int y, int downs)
    {
        MenuRun run;
        run.downs = downs;
        HANDLE thread = CreateThread(nullptr, 0, DriveMenu, &run, 0, nullptr);
        FfShowResultContextMenu(row, x, y);
        EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
        CloseHandle(thread);
        FfTestFlushEvents(50);
        return run;
    }
};

TEST_F(ContextMenu, DismissedMenuLeavesTheRowAsTheOnlySelection)
{
    Fill(1);
    MenuRun run = Show(0, 300, 310, -1);
    EXPECT_EQ(run.items, (std::vector<std::wstring>{L"Go to this location", L"Show all 1 result in panel"}));
    EXPECT_EQ(run.rect.left, 300);
    EXPECT_EQ(run.rect.top, 310);
    EXPECT_TRUE(IsWindowVisible(g_overlayWindow));
    EXPECT_EQ(g_selectedIndex, 0);
    EXPECT_TRUE(g_records.empty());

    Fill(37);
    run = Show(5, 250, 260, -1);
    EXPECT_EQ(run.items, (std::vector<std::wstring>{L"Go to this location", L"Show just this 1 result in panel",
                                                     L"Show all 37 results in panel"}));
    EXPECT_EQ(SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0), 1);
    EXPECT_GT(SendMessageW(g_resultList, LB_GETSEL, 5, 0), 0);
    EXPECT_EQ(SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0), 5);
    EXPECT_EQ(g_selectedIndex, 5);
    EXPECT_EQ(g_resultCount, 37);

    // Rows outside the result set open nothing.
    FfShowResultContextMenu(37, 0, 0);
    FfShowResultContextMenu(-1, 0, 0);
    EXPECT_EQ(g_selectedIndex, 5);
}

TEST_F(ContextMenu, FromTheKeyboardItOpensAtTheRowsLeftBottomCorner)
{
    Fill(6);
    RECT row;
    SendMessageW(g_resultList, LB_GETITEMRECT, 3, (LPARAM)&row);
    POINT corner = {row.left, row.bottom};
    ClientToScreen(g_resultList, &corner);
    MenuRun run = Show(3, -1, -1, -1);
    EXPECT_EQ(run.rect.left, corner.x);
    EXPECT_EQ(run.rect.top, corner.y);
}

TEST_F(ContextMenu, ActionsGoToTheLocationOrPublish)
{
    struct Case { int row; int downs; std::string record; int listed; } cases[] = {
        {2, 1, "C:\\r\\item2", 0},                       // a folder's own full path
        {4, 1, "C:\\r\\item4.txt", 0},
        {4, 2, "\\\\\\Fleetfinder\\item4.txt", 1},        // just this one
        {1, 3, "\\\\\\Fleetfinder\\item0.txt", 9},        // all of them
    };
    for (const Case& c : cases) {
        Fill(9);
        ShowWindow(g_overlayWindow, SW_SHOW);
        g_records.clear();
        Show(c.row, 240, 240, c.downs);
        ASSERT_EQ(g_records.size(), 1u) << c.record;
        EXPECT_EQ(g_records[0], c.record);
        EXPECT_FALSE(IsWindowVisible(g_overlayWindow)) << c.record;
        EXPECT_EQ(g_resultCount, 0);
        EXPECT_EQ(g_selectedIndex, -1);
        if (c.listed) {
            EXPECT_EQ(g_panelListingCount, c.listed) << c.record;
        }
    }
    EXPECT_EQ(FfBridgeListingNames().size(), 9u);
}

}  // namespace
