// Acting on results without publishing them: open them with their programs (Shift+Enter) or put
// their full paths on the clipboard (Ctrl+Shift+C). Both close the overlay like Enter.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"
#include <shellapi.h>
#include <string.h>

bool FfShellOpenPath(const wchar_t* path)
{
    SHELLEXECUTEINFOW info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    // No error box of the shell's own: the failure is logged instead.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

FfOpenPathRoutine g_openPathRoutine = FfShellOpenPath;

// The selected rows, or the caret row when none is selected; at most FF_SELECTED_INDEXES_MAX.
static int FfGetActedOnRows(int* indexes)
{
    int n = FfGetSelectedResultIndexes(indexes);
    if (n > 0 || !g_resultList) return n;
    int caret = (int)SendMessageW(g_resultList, LB_GETCARETINDEX, 0, 0);
    if (caret < 0 || caret >= g_resultCount) return 0;
    indexes[0] = caret;
    return 1;
}

void FfOpenSelectedResults()
{
    int* indexes = g_selectedRows;
    int n = FfGetActedOnRows(indexes);
    if (n < 1) return;
    if (n > FF_OPEN_RESULTS_MAX) n = FF_OPEN_RESULTS_MAX;
    // Copied first: closing forgets the results, and the programs come up over a closed overlay.
    static wchar_t paths[FF_OPEN_RESULTS_MAX][FF_RESULT_PATH_MAX];
    for (int i = 0; i < n; i++) FfCopyText(paths[i], FF_RESULT_PATH_MAX, g_results[indexes[i]].path);
    FfCloseOverlay();
    int opened = 0;
    for (int i = 0; i < n; i++) {
        if (g_openPathRoutine && g_openPathRoutine(paths[i]))
            opened++;
        else
            FfLog(L"FfOpenSelectedResults: opening %s FAILED (error %lu).", paths[i], GetLastError());
    }
    FfLog(L"FfOpenSelectedResults: %d of %d opened.", opened, n);
}

int FfJoinPaths(const wchar_t* const* paths, int count, wchar_t* out, int cap)
{
    int length = 0;
    for (int i = 0; i < count; i++) {
        int n = (int)wcslen(paths[i]);
        int need = length + n + (i > 0 ? 2 : 0);
        if (out) {
            if (need >= cap) return -1;
            if (i > 0) {
                out[length] = L'\r';
                out[length + 1] = L'\n';
            }
            memcpy(out + need - n, paths[i], sizeof(wchar_t) * n);
        }
        length = need;
    }
    if (out && cap > 0) out[length < cap ? length : cap - 1] = 0;
    return length;
}

void FfCopySelectedResultPaths()
{
    int* indexes = g_selectedRows;
    int n = FfGetActedOnRows(indexes);
    if (n < 1) return;
    const wchar_t** paths = (const wchar_t**)HeapAlloc(GetProcessHeap(), 0, sizeof(const wchar_t*) * (SIZE_T)n);
    if (!paths) {
        FfLog(L"FfCopySelectedResultPaths: %d paths to the clipboard: FAILED (no memory).", n);
        return;
    }
    for (int i = 0; i < n; i++) paths[i] = g_results[indexes[i]].path;
    int length = FfJoinPaths(paths, n, nullptr, 0);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, sizeof(wchar_t) * (length + 1));
    wchar_t* text = memory ? (wchar_t*)GlobalLock(memory) : nullptr;
    bool ok = false;
    if (text) {
        FfJoinPaths(paths, n, text, length + 1);
        GlobalUnlock(memory);
        if (OpenClipboard(g_overlayWindow)) {
            EmptyClipboard();
            ok = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            CloseClipboard();
        }
    }
    if (!ok && memory) GlobalFree(memory);  // the clipboard owns it only once set
    HeapFree(GetProcessHeap(), 0, paths);
    FfLog(L"FfCopySelectedResultPaths: %d path%s to the clipboard: %s", n, n == 1 ? L"" : L"s",
          ok ? L"OK" : L"FAILED");
    FfCloseOverlay();
}
