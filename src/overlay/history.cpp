// Search history: the texts of published searches, newest first, in Fleetfinder.history beside
// the settings file (which stays the user's), walked with Ctrl+Up and Ctrl+Down.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "core/core.h"
#include "core/text.h"
#include "search/search.h"
#include <string.h>

FfSearchHistory g_searchHistory;
static int g_historyPosition = -1;                   // entry shown by the walk, -1: the typed text
static wchar_t g_historyDraft[FF_HISTORY_TEXT_CHARS];  // what was typed before the walk began

// ---- plain rules ------------------------------------------------------------------------

void FfHistoryAdd(FfSearchHistory* history, const wchar_t* text)
{
    if (!history || !text) return;
    wchar_t entry[FF_HISTORY_TEXT_CHARS];
    FfCopyText(entry, FF_HISTORY_TEXT_CHARS, text);
    // One entry is one line of the file.
    bool blank = true;
    for (wchar_t* p = entry; *p; p++) {
        if (*p == L'\r' || *p == L'\n') *p = L' ';
        if (*p != L' ' && *p != L'\t') blank = false;
    }
    if (blank) return;
    int count = history->count < FF_HISTORY_MAX ? history->count : FF_HISTORY_MAX;
    int last = count < FF_HISTORY_MAX ? count : FF_HISTORY_MAX - 1;  // slot that falls out
    for (int i = 0; i < count; i++)
        if (wcscmp(history->texts[i], entry) == 0) {
            last = i;
            break;
        }
    if (last == count) history->count = count + 1;
    memmove(history->texts[1], history->texts[0], sizeof history->texts[0] * last);
    memcpy(history->texts[0], entry, sizeof entry);
}

bool FfHistoryParse(FfSearchHistory* history, const char* bytes, int length)
{
    history->count = 0;
    if (!bytes || length <= 0) return true;
    if (length > FF_HISTORY_FILE_MAX) return false;
    if (length >= 3 && memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        bytes += 3;
        length -= 3;
    }
    if (memchr(bytes, 0, (size_t)length)) return false;
    int start = 0;
    while (start < length) {
        int end = start;
        while (end < length && bytes[end] != '\n') end++;
        int lineEnd = end > start && bytes[end - 1] == '\r' ? end - 1 : end;
        if (lineEnd > start) {
            wchar_t line[FF_HISTORY_TEXT_CHARS];
            int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes + start, lineEnd - start,
                                        line, FF_HISTORY_TEXT_CHARS - 1);
            if (n <= 0) {
                history->count = 0;
                return false;  // not UTF-8, or longer than any search text
            }
            line[n] = 0;
            bool known = false;
            for (int i = 0; i < history->count && !known; i++) known = wcscmp(history->texts[i], line) == 0;
            if (!known && history->count < FF_HISTORY_MAX) memcpy(history->texts[history->count++], line, sizeof line);
        }
        start = end + 1;
    }
    return true;
}

int FfHistorySerialize(const FfSearchHistory* history, char* out, int cap)
{
    int used = 0;
    for (int i = 0; i < history->count && i < FF_HISTORY_MAX; i++) {
        int n = WideCharToMultiByte(CP_UTF8, 0, history->texts[i], -1, out + used, cap - used - 2,
                                    nullptr, nullptr);
        if (n <= 0) return -1;
        used += n - 1;  // the terminator's place takes the line end
        out[used++] = '\r';
        out[used++] = '\n';
    }
    return used;
}

int FfHistoryStep(int position, int count, bool older)
{
    if (position < -1) position = -1;
    if (position > count - 1) position = count - 1;
    if (older) return position + 1 < count ? position + 1 : position;
    return position > -1 ? position - 1 : -1;
}

// ---- the file -----------------------------------------------------------------------------

// Beside the settings file, wherever that was found.
static bool FfHistoryPath(wchar_t* path, int cap)
{
    const wchar_t* slash = wcsrchr(g_settings.configPath, L'\\');
    if (!slash) return false;
    int folder = (int)(slash - g_settings.configPath) + 1;
    if (folder + (int)wcslen(FF_HISTORY_FILE_NAME) >= cap) return false;
    FfCopyTextN(path, cap, g_settings.configPath, folder);
    FfAppendText(path, cap, FF_HISTORY_FILE_NAME);
    return true;
}

// Reads the file into g_searchHistory; a missing or broken file gives an empty history.
void FfLoadSearchHistory()
{
    g_searchHistory.count = 0;
    wchar_t path[FF_PATH_CHARS];
    if (!FfHistoryPath(path, FF_PATH_CHARS)) return;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    static char bytes[FF_HISTORY_FILE_MAX + 1];
    DWORD got = 0;
    BOOL read = ReadFile(file, bytes, sizeof bytes, &got, nullptr);
    CloseHandle(file);
    if (!read || !FfHistoryParse(&g_searchHistory, bytes, (int)got))
        FfLog(L"FfLoadSearchHistory: %s is broken and ignored; the next published search rewrites it.", path);
}

static bool FfSaveSearchHistory(const wchar_t* path)
{
    static char bytes[FF_HISTORY_FILE_MAX];
    int length = FfHistorySerialize(&g_searchHistory, bytes, FF_HISTORY_FILE_MAX);
    if (length < 0) return false;
    // Written beside and then moved over the old file, so a failed write loses nothing.
    wchar_t temporary[FF_PATH_CHARS];
    FfFormatText(temporary, FF_PATH_CHARS, L"%s.new", path);
    HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes, (DWORD)length, &written, nullptr) && written == (DWORD)length;
    ok = CloseHandle(file) && ok;
    if (ok) ok = MoveFileExW(temporary, path, MOVEFILE_REPLACE_EXISTING);
    if (!ok) DeleteFileW(temporary);
    return ok != FALSE;
}

void FfRememberPublishedSearch(const wchar_t* text)
{
    wchar_t path[FF_PATH_CHARS];
    if (!text || !text[0] || !FfHistoryPath(path, FF_PATH_CHARS)) return;
    // Read again first: another host process may have added searches meanwhile.
    FfLoadSearchHistory();
    FfHistoryAdd(&g_searchHistory, text);
    g_historyPosition = -1;
    bool ok = FfSaveSearchHistory(path);
    FfLog(L"FfRememberPublishedSearch: %d entr%s written to %s: %s", g_searchHistory.count,
          g_searchHistory.count == 1 ? L"y" : L"ies", path, ok ? L"OK" : L"FAILED");
}

// ---- the walk -------------------------------------------------------------------------------

void FfWalkSearchHistory(bool older)
{
    if (!g_searchBox) return;
    wchar_t current[FF_HISTORY_TEXT_CHARS];
    current[0] = 0;
    GetWindowTextW(g_searchBox, current, FF_HISTORY_TEXT_CHARS);
    // A text that is no longer the recalled one was typed: a walk starts from it.
    bool walking = g_historyPosition >= 0 && g_historyPosition < g_searchHistory.count &&
                   wcscmp(current, g_searchHistory.texts[g_historyPosition]) == 0;
    if (!walking) {
        FfLoadSearchHistory();
        g_historyPosition = -1;
        memcpy(g_historyDraft, current, sizeof current);
    }
    int next = FfHistoryStep(g_historyPosition, g_searchHistory.count, older);
    if (next == g_historyPosition) return;
    g_historyPosition = next;
    const wchar_t* text = next >= 0 ? g_searchHistory.texts[next] : g_historyDraft;
    // Set like typing: the change arms the search delay.
    SetWindowTextW(g_searchBox, text);
    int length = lstrlenW(text);
    SendMessageW(g_searchBox, EM_SETSEL, (WPARAM)length, (LPARAM)length);
}

void FfPublishSearchResults(HWND host, const int* selection, int count, bool append)
{
    int before = g_resultCount;
    FfPublishResultsToWfx(host, selection, count, append);
    // Publishing closes the overlay, which forgets the results; the search box keeps its text.
    if (before > 0 && g_resultCount == 0) FfRememberSearchBoxText();
}

void FfRememberSearchBoxText()
{
    wchar_t text[FF_HISTORY_TEXT_CHARS];
    text[0] = 0;
    if (g_searchBox) GetWindowTextW(g_searchBox, text, FF_HISTORY_TEXT_CHARS);
    FfRememberPublishedSearch(text);
}
