// Search box keys: arrows drive the result list, Enter publishes (Shift+Enter opens), Escape closes,
// Ctrl+Backspace deletes a word, Ctrl+Up/Down recall searches, Ctrl+Shift+C copies paths, Ctrl+I/B/U/R
// toggle the match options.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "search/search.h"
#include "host/host_commands.h"

#define FF_EDIT_TEXT_MAX 1024

bool FfKeyHeld(int key)
{
    return GetAsyncKeyState(key) < 0;  // the top bit: down now
}

static void FfDeleteWordBeforeCaret(HWND edit)
{
    DWORD start = 0, end = 0;
    SendMessageW(edit, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    if (start != end) {
        SendMessageW(edit, WM_CLEAR, 0, 0);
        return;
    }
    if (start == 0) return;
    wchar_t text[FF_EDIT_TEXT_MAX];
    text[0] = 0;
    GetWindowTextW(edit, text, FF_EDIT_TEXT_MAX);
    int e = start < FF_EDIT_TEXT_MAX - 1 ? (int)start : FF_EDIT_TEXT_MAX - 1;
    int len = lstrlenW(text);
    if (e > len) e = len;
    int p = FfFindWordDeleteStart(text, e);
    SendMessageW(edit, EM_SETSEL, (WPARAM)p, (LPARAM)e);
    SendMessageW(edit, WM_CLEAR, 0, 0);
}

static void FfPublishFromSearchBox(bool append)
{
    HWND host = FfFindHostWindow();
    if (!host) return;
    int n = g_resultList ? (int)SendMessageW(g_resultList, LB_GETSELCOUNT, 0, 0) : 0;
    if (n < 1) {
        FfPublishAllResults(host, append);
        return;
    }
    int* indexes = g_selectedRows;
    n = FfGetSelectedResultIndexes(indexes);
    // Every selected row was stale: publish nothing rather than everything.
    if (n < 1) return;
    FfPublishSearchResults(host, indexes, n, append);
}

static void FfMoveSingleSelection(bool down)
{
    int row = FfNextSelectedIndex(g_selectedIndex, g_resultCount, down);
    g_selectedIndex = row;
    if (!g_resultList || row < 0) return;
    SendMessageW(g_resultList, LB_SETSEL, FALSE, -1);
    SendMessageW(g_resultList, LB_SETCARETINDEX, (WPARAM)row, 0);
    SendMessageW(g_resultList, LB_SETSEL, TRUE, (LPARAM)row);
    FfAskMoreIfNearEnd();
}

static void FfExtendSelection(WPARAM wParam, LPARAM lParam)
{
    if (!g_resultList) return;
    SendMessageW(g_resultList, WM_KEYDOWN, wParam, lParam);
    int caret = (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0);
    if (caret >= 0) g_selectedIndex = caret;  // the list's own key handling asked for more
}

// Ctrl+Shift+C was handled: its character (3) must not make the edit copy its own selection.
static bool g_copyCharPending = false;
// A match option key was handled: its control character must not reach the edit.
static bool g_toggleCharPending = false;

// The key part of FfSearchBoxProc: returns true when the message was handled (*result set);
// otherwise FfSearchBoxProc passes it to g_searchBoxBaseProc.
static bool FfHandleSearchBoxKey(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    *result = 0;
    if (msg == WM_CHAR) {
        bool copyChar = g_copyCharPending && wParam == 3;
        bool toggleChar = g_toggleCharPending && FfIsMatchOptionChar(wParam);
        g_copyCharPending = false;
        g_toggleCharPending = false;
        return copyChar || toggleChar || wParam == 10 || wParam == 13 || wParam == 27 || wParam == 127;
    }
    if (msg != WM_KEYDOWN) return false;
    switch (wParam) {
    case VK_BACK:
        if (!FfKeyHeld(VK_CONTROL)) return false;
        FfDeleteWordBeforeCaret(hwnd);
        return true;
    case VK_RETURN:
        if (FfKeyHeld(VK_SHIFT) && !FfKeyHeld(VK_CONTROL))
            FfOpenSelectedResults();
        else
            FfPublishFromSearchBox(FfKeyHeld(VK_CONTROL));
        return true;
    case 'C':
        if (!FfKeyHeld(VK_CONTROL) || !FfKeyHeld(VK_SHIFT)) return false;
        g_copyCharPending = true;
        FfCopySelectedResultPaths();
        return true;
    case VK_ESCAPE:
        // While publishing all waits for pages, Escape publishes what has arrived.
        if (!FfStopFetchingAll()) FfCloseOverlay();
        return true;
    case VK_DOWN:
    case VK_UP:
        if (FfKeyHeld(VK_CONTROL) && !FfKeyHeld(VK_SHIFT)) {
            FfWalkSearchHistory(wParam == VK_UP);
            return true;
        }
        if (g_resultCount < 1) return true;
        if (FfKeyHeld(VK_SHIFT))
            FfExtendSelection(wParam, lParam);
        else
            FfMoveSingleSelection(wParam == VK_DOWN);
        return true;
    default: {
        int option = FfMatchOptionForKey(wParam, FfKeyHeld(VK_CONTROL), FfKeyHeld(VK_SHIFT), FfKeyHeld(VK_MENU));
        if (option < 0) return false;
        g_toggleCharPending = true;
        FfToggleMatchOption(option);
        return true;
    }
    }
}

LRESULT CALLBACK FfSearchBoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (FfHandleSearchBoxKey(hwnd, msg, wParam, lParam, &result)) return result;
    if (g_searchBoxBaseProc) return CallWindowProcW(g_searchBoxBaseProc, hwnd, msg, wParam, lParam);
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
