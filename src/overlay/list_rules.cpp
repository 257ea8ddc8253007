// Plain arithmetic and text rules of the result list: columns, scroll bar, matches, keys, about text.
#include "overlay/list.h"
#include "bridge/bridge.h"
#include "core/text.h"
#include "host/host.h"
#include "search/search.h"

#include <wchar.h>
#include <wctype.h>

static bool FfIsWordBreak(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

int FfMarkNameMatches(const wchar_t* name, const wchar_t* query, DWORD* mask)
{
    if (!name || !mask) return 0;
    int len = (int)wcslen(name);
    int n = len < FF_MATCH_MASK_MAX - 1 ? len : FF_MATCH_MASK_MAX - 1;
    for (int i = 0; i < n; i++) mask[i] = 0;
    if (!query) return 0;

    const wchar_t* p = query;
    while (*p) {
        while (*p && FfIsWordBreak(*p)) p++;
        const wchar_t* word = p;
        while (*p && !FfIsWordBreak(*p)) p++;
        int wordLen = (int)(p - word);
        if (wordLen == 0 || wordLen > n) continue;
        for (int i = 0; i + wordLen <= n; i++) {
            if (_wcsnicmp(name + i, word, wordLen) == 0) {
                for (int k = i; k < i + wordLen; k++) mask[k] = 1;
            }
        }
    }
    int marked = 0;
    for (int i = 0; i < n; i++) marked += mask[i] ? 1 : 0;
    return marked;
}

void FfComputeColumnRects(int top, int right, int bottom, int dpiScale, const FfColumnWidths* widths,
                          RECT* folder, RECT* size, RECT* date)
{
    int dateW = widths && widths->date > 0 ? widths->date : FfScalePixels(118, dpiScale);
    int sizeW = widths ? widths->size : FfScalePixels(64, dpiScale);
    int folderW = widths ? widths->folder : FfScalePixels(84, dpiScale);
    RECT d = {0, top, right - FfScalePixels(4, dpiScale), bottom};
    d.left = d.right - dateW;
    RECT s = {0, top, d.left - FfScalePixels(6, dpiScale), bottom};
    s.left = s.right - sizeW;
    RECT f = {0, top, s.left - FfScalePixels(6, dpiScale), bottom};
    f.left = f.right - folderW;
    if (folder) *folder = f;
    if (size) *size = s;
    if (date) *date = d;
}

void FfComputeColumnWidths(int listWidth, int contentWidth, int widestDate, int widestSize, int dpiScale,
                           FfColumnWidths* out)
{
    out->folder = FfScalePixels(84, dpiScale);
    out->size = FfScalePixels(64, dpiScale);
    if (listWidth < FfScalePixels(FF_WHOLE_COLUMNS_LIST_WIDTH, dpiScale)) {
        out->date = FfDateColumnWidthFor(widestDate, contentWidth, dpiScale);
        return;
    }
    // A right-aligned number cut at its start would show a wrong size: it gets its whole width.
    if (widestSize + FfScalePixels(4, dpiScale) > out->size) out->size = widestSize + FfScalePixels(4, dpiScale);
    int date = FfScalePixels(118, dpiScale);
    if (widestDate > 0) {
        date = widestDate + FfScalePixels(10, dpiScale);
        if (date < FfScalePixels(60, dpiScale)) date = FfScalePixels(60, dpiScale);
    }
    // Everything of a row but the name, the folder, the size and the date.
    static const int parts[] = {4, 16, 6, 6, 6, 6, 4};
    int fixed = 0;
    for (int part : parts) fixed += FfScalePixels(part, dpiScale);
    int room = contentWidth - fixed - out->size - date;  // for the name and the folder
    int folder = room - FfScalePixels(FF_NAME_KEEP_WIDTH, dpiScale);
    // A sliver of a folder shows only its ellipsis: the name has it instead.
    if (folder < FfScalePixels(FF_FOLDER_MIN_WIDTH, dpiScale)) folder = 0;
    if (folder < out->folder) out->folder = folder;
    // Only a date picture too long for any list takes the name below its least.
    int nameShort = FfScalePixels(FF_NAME_MIN_WIDTH, dpiScale) - (room - out->folder);
    if (nameShort > 0) date -= nameShort;
    out->date = date < FfScalePixels(60, dpiScale) ? FfScalePixels(60, dpiScale) : date;
}

int FfHeaderColumnFromPoint(const RECT* header, int x, int y, int contentRight, int dpiScale,
                            const FfColumnWidths* widths)
{
    RECT folder, size, date;
    FfComputeColumnRects(header->top, contentRight, header->bottom, dpiScale, widths, &folder, &size, &date);
    POINT pt = {x, y};
    if (PtInRect(&size, pt)) return 1;
    if (PtInRect(&date, pt)) return 2;
    if (PtInRect(&folder, pt)) return 3;
    int extensionEnd =
        header->left + FfScalePixels(4, dpiScale) + FfScalePixels(16, dpiScale) + FfScalePixels(2, dpiScale);
    if (x < extensionEnd) return 4;
    return 0;
}

int FfDateColumnWidthFor(int widestDate, int listWidth, int dpiScale)
{
    if (widestDate <= 0) return FfScalePixels(118, dpiScale);
    int w = widestDate + FfScalePixels(10, dpiScale);
    if (w < FfScalePixels(60, dpiScale)) w = FfScalePixels(60, dpiScale);
    // Everything of a row but the name and the date, each length scaled on its own.
    static const int parts[] = {4, 16, 6, 6, 84, 6, 64, 6, 4};
    int fixed = 0;
    for (int part : parts) fixed += FfScalePixels(part, dpiScale);
    int room = listWidth / 2 - fixed;  // the name then has the other, larger half
    // A narrow list keeps the date column it always had rather than squeezing it further.
    if (room < FfScalePixels(118, dpiScale)) room = FfScalePixels(118, dpiScale);
    return w < room ? w : room;
}

int FfScrollPageRows(int clientHeight, int rowHeight)
{
    if (rowHeight <= 0) return 1;
    int page = clientHeight / rowHeight;
    return page < 1 ? 1 : page;
}

int FfClampTopIndex(int top, int maxTop)
{
    if (maxTop < 0) maxTop = 0;
    if (top > maxTop) top = maxTop;
    if (top < 0) top = 0;
    return top;
}

void FfComputeScrollBarRects(const RECT* client, bool hasScrollBar, int rowHeight, int resultCount,
                             int topIndex, int dpiScale, RECT* track, RECT* thumb)
{
    RECT c = *client;
    RECT t = {c.right - FfScalePixels(12, dpiScale), c.top, c.right, c.bottom};
    *track = t;
    SetRectEmpty(thumb);
    if (!hasScrollBar || rowHeight <= 0 || resultCount <= 0) return;

    int page = FfScrollPageRows(c.bottom - c.top, rowHeight);
    int maxTop = resultCount - page;
    if (maxTop <= 0) return;

    int trackH = t.bottom - t.top;
    int thumbH = (int)(trackH * ((double)page / (double)resultCount));
    if (thumbH < FfScalePixels(20, dpiScale)) thumbH = FfScalePixels(20, dpiScale);
    if (thumbH > trackH) thumbH = trackH;

    // A top index beyond the last page (possible only transiently) must not push the thumb out.
    int top = FfClampTopIndex(topIndex, maxTop);
    int offset = 0;
    if (trackH - thumbH > 0) offset = (int)((trackH - thumbH) * ((double)top / (double)maxTop));

    thumb->left = t.left + FfScalePixels(4, dpiScale);
    thumb->top = t.top + offset;
    thumb->right = t.right - FfScalePixels(4, dpiScale);
    thumb->bottom = t.top + offset + thumbH;
}

int FfWheelNewTop(int top, int delta, int resultCount, int page)
{
    if (delta > -120 && delta < 120) return top;
    int notches = delta / 120;
    return FfClampTopIndex(top - 3 * notches, resultCount - page);
}

int FfPageClickNewTop(int top, int y, const RECT* thumb, int resultCount, int page)
{
    int newTop = (IsRectEmpty(thumb) || y < thumb->top) ? top - page : top + page;
    return FfClampTopIndex(newTop, resultCount - page);
}

int FfDragNewTop(int y, int grabOffset, const RECT* track, int thumbHeight, int maxTop)
{
    int range = (track->bottom - track->top) - thumbHeight;
    if (range <= 0 || maxTop <= 0) return 0;
    int pos = y - grabOffset;
    if (pos > track->bottom - thumbHeight) pos = track->bottom - thumbHeight;
    if (pos < track->top) pos = track->top;
    pos -= track->top;
    int newTop = (int)(maxTop * ((double)pos / (double)range) + 0.5);
    return FfClampTopIndex(newTop, maxTop);
}

bool FfBuildTipText(const wchar_t* path, bool isFolder, wchar_t* out, int capacity)
{
    if (!out || capacity < 1) return false;
    out[0] = 0;
    if (!path || !path[0]) return false;
    if (isFolder) {
        FfCopyText(out, capacity, path);
        return true;
    }
    const wchar_t* last = wcsrchr(path, L'\\');
    if (!last || last == path) return false;
    FfCopyTextN(out, capacity, path, (int)(last - path));
    return true;
}

int FfFindWordDeleteStart(const wchar_t* text, int end)
{
    if (!text || end <= 0) return 0;
    int len = (int)wcslen(text);
    int p = end < len ? end : len;
    while (p > 0 && iswspace(text[p - 1])) p--;
    while (p > 0 && !iswspace(text[p - 1])) p--;
    return p;
}

int FfNextSelectedIndex(int current, int resultCount, bool down)
{
    if (resultCount < 1) return -1;
    if (current < 0) return 0;
    // A caret left over from a larger result set is pulled back inside the current one.
    if (current > resultCount - 1) current = resultCount - 1;
    if (down) return current + 1 < resultCount ? current + 1 : resultCount - 1;
    return current - 1 > 0 ? current - 1 : 0;
}

void FfBuildAboutMenuText(wchar_t* buffer, int capacity)
{
    FfFormatText(buffer, capacity, L"About %s v%s...", FF_PRODUCT_NAME, FF_VERSION_TEXT);
}

// n with "," between groups of three digits.
static void FfGroupThousands(DWORD n, wchar_t* out, int capacity)
{
    wchar_t digits[16];
    int count = 0;
    do {
        digits[count++] = (wchar_t)(L'0' + n % 10);
        n /= 10;
    } while (n > 0);
    wchar_t grouped[24];
    int k = 0;
    for (int i = count - 1; i >= 0; i--) {
        grouped[k++] = digits[i];
        if (i > 0 && i % 3 == 0) grouped[k++] = L',';
    }
    grouped[k] = 0;
    FfCopyText(out, capacity, grouped);
}

// "3 files", "1 file", "200 of 14,532 files"; a total no larger than what is shown is not news.
static void FfCountPhrase(int shown, DWORD total, const wchar_t* one, const wchar_t* many,
                          wchar_t* out, int capacity)
{
    if (shown < 0) shown = 0;
    wchar_t a[24], b[24];
    FfGroupThousands((DWORD)shown, a, 24);
    if (total > (DWORD)shown) {
        FfGroupThousands(total, b, 24);
        FfFormatText(out, capacity, L"%s of %s %s", a, b, total == 1 ? one : many);
    } else {
        FfFormatText(out, capacity, L"%s %s", a, shown == 1 ? one : many);
    }
}

int FfComposeStatusText(int engineState, int filesShown, int foldersShown, DWORD totalFiles,
                        DWORD totalFolders, bool searched, wchar_t* out, int capacity)
{
    if (!out || capacity < 1) return 0;
    out[0] = 0;
    const wchar_t* fixed = nullptr;
    switch (engineState) {
    case FF_ENGINE_NOT_RUNNING: fixed = L"Everything is not running - start it to search"; break;
    case FF_ENGINE_TOO_OLD: fixed = L"Everything is too old - a newer version is needed"; break;
    case FF_ENGINE_LOADING: fixed = L"Everything is loading its index..."; break;
    case FF_ENGINE_NOT_ANSWERING: fixed = L"Everything did not answer"; break;
    default: break;
    }
    if (fixed && (searched || engineState == FF_ENGINE_NOT_RUNNING)) {
        FfCopyText(out, capacity, fixed);
        return (int)wcslen(out);
    }
    if (!searched) return 0;
    if (filesShown < 0) filesShown = 0;
    if (foldersShown < 0) foldersShown = 0;
    bool files = filesShown > 0 || totalFiles > 0;
    bool folders = foldersShown > 0 || totalFolders > 0;
    if (!files && !folders) {
        FfCopyText(out, capacity, L"No results");
        return (int)wcslen(out);
    }
    wchar_t filePart[64], folderPart[64];
    filePart[0] = folderPart[0] = 0;
    if (files) FfCountPhrase(filesShown, totalFiles, L"file", L"files", filePart, 64);
    if (folders) FfCountPhrase(foldersShown, totalFolders, L"folder", L"folders", folderPart, 64);
    FfFormatText(out, capacity, L"%s%s%s", filePart, files && folders ? L", " : L"", folderPart);
    return (int)wcslen(out);
}

int FfAppendSortNote(wchar_t* text, int capacity, bool sortedLocally, int loaded, bool more)
{
    if (!text || capacity < 1) return 0;
    if (sortedLocally && more && loaded > 0 && text[0]) {
        wchar_t count[24], note[64];
        FfGroupThousands((DWORD)loaded, count, 24);
        FfFormatText(note, 64, L" - sorted: the %s loaded", count);
        FfAppendText(text, capacity, note);
    }
    return (int)wcslen(text);
}
