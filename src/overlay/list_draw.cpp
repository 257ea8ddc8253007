// Painting of result rows (icon, name with matches in bold, folder, size, date) and the header strip.
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "core/core.h"
#include "host/host.h"
#include "search/search.h"

#include <shellapi.h>
#include <wchar.h>

static COLORREF FfOnAccentTextColour()
{
    return g_theme.whiteOnAccent ? RGB(255, 255, 255) : RGB(0, 0, 0);
}

static void FfDrawPlainName(HDC dc, const RECT* rect, const wchar_t* name, int len)
{
    RECT r = *rect;
    DrawTextW(dc, name, len, &r, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void FfDrawHighlightedName(HDC dc, const RECT* rect, const wchar_t* name, COLORREF colour)
{
    if (!dc || !rect || !name) return;
    int len = (int)wcslen(name);
    if (len == 0) return;
    int n = len < FF_MATCH_MASK_MAX - 1 ? len : FF_MATCH_MASK_MAX - 1;

    // The words the shown results were searched with: the box may already hold a newer text.
    const wchar_t* query = g_resultSetText;

    SetTextColor(dc, colour);
    int marked = query[0] ? FfMarkNameMatches(name, query, g_matchMask) : 0;
    if (!query[0]) {
        for (int i = 0; i < n; i++) g_matchMask[i] = 0;
    }
    if (marked == 0) {
        FfDrawPlainName(dc, rect, name, len);
        return;
    }

    // The text's height is the font's: asked once per font, not once per row.
    static HFONT s_measuredFont = nullptr;
    static int s_textHeight = 0;
    HFONT current = (HFONT)GetCurrentObject(dc, OBJ_FONT);
    if (current != s_measuredFont) {
        TEXTMETRICW tm;
        s_textHeight = GetTextMetricsW(dc, &tm) ? tm.tmHeight : 0;
        s_measuredFont = current;
    }
    int y = rect->top + (rect->bottom - rect->top - s_textHeight) / 2;
    int x = rect->left;
    int i = 0;
    while (i < n && x < rect->right) {
        DWORD mark = g_matchMask[i];
        int runEnd = i + 1;
        while (runEnd < n && g_matchMask[runEnd] == mark) runEnd++;
        SelectObject(dc, mark ? g_theme.boldFont : g_theme.font);
        SIZE extent = {0, 0};
        GetTextExtentPoint32W(dc, name + i, runEnd - i, &extent);
        // Clipped by the call itself: a clip region per row costs more than the row's text.
        ExtTextOutW(dc, x, y, ETO_CLIPPED, rect, name + i, (UINT)(runEnd - i), nullptr);
        x += extent.cx;
        i = runEnd;
    }
    if (len > n && x < rect->right) {
        SelectObject(dc, g_theme.font);
        ExtTextOutW(dc, x, y, ETO_CLIPPED, rect, name + n, (UINT)(len - n), nullptr);
    }
    SelectObject(dc, g_theme.font);
}

void FfDrawResultRow(const DRAWITEMSTRUCT* item)
{
    if (!item) return;
    int index = (int)item->itemID;
    if (index < 0 || index >= g_resultCount) return;
    const FfResult* result = &g_results[index];
    HDC dc = item->hDC;
    RECT r = item->rcItem;
    bool selected = (item->itemState & ODS_SELECTED) != 0;

    FillRect(dc, &r, selected ? g_theme.accentBrush : g_theme.windowBackgroundBrush);
    SetBkMode(dc, TRANSPARENT);
    COLORREF nameColour = selected ? FfOnAccentTextColour() : g_theme.text;
    SetTextColor(dc, nameColour);
    HGDIOBJ oldFont = SelectObject(dc, g_theme.font);

    const int dpi = g_theme.dpiScale;
    HICON icon = FfGetResultIcon(result);
    int iconSize = FfScalePixels(16, dpi);
    if (icon)
        DrawIconEx(dc, r.left + FfScalePixels(4, dpi), r.top + (r.bottom - r.top - iconSize) / 2, icon,
                   iconSize, iconSize, 0, nullptr, DI_NORMAL);

    RECT folder, size, date;
    FfGetColumnRects(r.top, FfContentRight(r.right), r.bottom, &folder, &size, &date);
    RECT nameRect = {r.left + FfScalePixels(4, dpi) + FfScalePixels(16, dpi) + FfScalePixels(6, dpi), r.top,
                     folder.left - FfScalePixels(6, dpi), r.bottom};
    FfDrawHighlightedName(dc, &nameRect, FfPathBaseName(result->path), nameColour);

    SetTextColor(dc, selected ? FfOnAccentTextColour() : g_theme.secondaryText);
    // The date column has a maximum width, and a right-aligned text wider than its rectangle
    // would lose its start (the day or the month) without a sign: cut its end, visibly, instead.
    const UINT right = DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    DrawTextW(dc, FfFormatDateTime(result->modified), -1, &date, right);
    DrawTextW(dc, FfFormatSize(result->size), -1, &size, right);
    DrawTextW(dc, FfParentFolderName(result->path), -1, &folder,
              DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
}

// Arrow of the sorted column, in a 14 sp box as high as the strip starting at left.
static void FfDrawSortArrow(HDC dc, const RECT* h, int left)
{
    RECT box = {left, h->top, left + FfScalePixels(14, g_theme.dpiScale), h->bottom};
    DrawTextW(dc, g_sortDescending ? L"\u25BC" : L"\u25B2", 1, &box, DT_SINGLELINE | DT_VCENTER);
}

static int FfTextWidth(HDC dc, const wchar_t* text)
{
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, text, lstrlenW(text), &extent);
    return extent.cx;
}

// A title exactly as wide as itself, centred on its column (Size and Date).
static void FfDrawCentredTitle(HDC dc, const RECT* h, const RECT* column, const wchar_t* title,
                               int width, int sortColumn)
{
    bool sorted = g_sortColumn == sortColumn;
    SetTextColor(dc, sorted ? g_theme.highlight : g_theme.text);
    int c = (column->left + column->right) / 2;
    RECT box = {c - width / 2, h->top, c + width / 2, h->bottom};
    DrawTextW(dc, title, -1, &box, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (sorted) FfDrawSortArrow(dc, h, box.right + FfScalePixels(4, g_theme.dpiScale));
}

void FfPaintHeaderStrip(HDC dc)
{
    if (!dc || g_resultCount <= 0) return;
    RECT h = g_headerRect;
    if (h.bottom <= h.top) return;
    RECT folder, size, date;
    FfGetColumnRects(h.top, FfContentRight(h.right), h.bottom, &folder, &size, &date);

    const int dpi = g_theme.dpiScale;
    FillRect(dc, &h, g_theme.inputBackgroundBrush);
    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(dc, g_theme.font);
    int nameW = FfTextWidth(dc, L"Name");
    int folderW = FfTextWidth(dc, L"Folder");
    int sizeW = FfTextWidth(dc, L"Size");
    int dateW = FfTextWidth(dc, L"Date");

    if (!g_headerFileIcon) {
        SHFILEINFOW info = {};
        SHGetFileInfoW(L"file", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                       SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
        g_headerFileIcon = info.hIcon;
    }
    if (g_headerFileIcon) {
        int iconSize = FfScalePixels(16, dpi);
        DrawIconEx(dc, h.left + FfScalePixels(4, dpi), h.top + (h.bottom - h.top - iconSize) / 2,
                   g_headerFileIcon, iconSize, iconSize, 0, nullptr, DI_NORMAL);
    }

    if (g_sortColumn == FF_SORT_EXTENSION) {
        HPEN pen = CreatePen(PS_SOLID, 2, g_theme.highlight);
        HGDIOBJ oldPen = SelectObject(dc, pen);
        int y = h.bottom - FfScalePixels(3, dpi);
        MoveToEx(dc, h.left + FfScalePixels(4, dpi), y, nullptr);
        LineTo(dc, h.left + FfScalePixels(4, dpi) + FfScalePixels(16, dpi), y);
        SelectObject(dc, oldPen);
        DeleteObject(pen);
    }

    bool sorted = g_sortColumn == FF_SORT_NAME;
    SetTextColor(dc, sorted ? g_theme.highlight : g_theme.text);
    RECT nameBox = {h.left + FfScalePixels(4, dpi) + FfScalePixels(16, dpi) + FfScalePixels(6, dpi), h.top,
                    folder.left - FfScalePixels(6, dpi), h.bottom};
    DrawTextW(dc, L"Name", -1, &nameBox,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    if (sorted) FfDrawSortArrow(dc, &h, nameBox.left + FfScalePixels(4, dpi) + nameW);

    sorted = g_sortColumn == FF_SORT_FOLDER;
    SetTextColor(dc, sorted ? g_theme.highlight : g_theme.text);
    RECT folderBox = folder;
    // The folder column may have given way to the name: its title is cut like its cells.
    DrawTextW(dc, L"Folder", -1, &folderBox, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    int arrowLeft = folder.left + FfScalePixels(4, dpi) + folderW;
    if (sorted && arrowLeft + FfScalePixels(14, dpi) <= folder.right) FfDrawSortArrow(dc, &h, arrowLeft);

    FfDrawCentredTitle(dc, &h, &size, L"Size", sizeW, FF_SORT_SIZE);
    FfDrawCentredTitle(dc, &h, &date, L"Date", dateW, FF_SORT_DATE);

    HPEN line = CreatePen(PS_SOLID, 1, g_theme.border);
    HGDIOBJ oldPen = SelectObject(dc, line);
    MoveToEx(dc, h.left, h.bottom - 1, nullptr);
    LineTo(dc, h.right, h.bottom - 1);
    SelectObject(dc, oldPen);
    DeleteObject(line);
    SelectObject(dc, oldFont);
}
