// Result field texts: size, date and time, containing folder, and the shell icon per extension.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include <shellapi.h>
#include <string.h>

HICON g_folderIcon = nullptr;
FfIconCacheEntry g_iconCache[FF_ICON_CACHE_MAX];
int g_iconCacheCount = 0;
// Once the cache is full, the icon of an uncached extension is kept only until the next such
// call (its row has been drawn by then), so painting does not leak one icon per row.
static HICON g_uncachedIcon = nullptr;

int FfIsUnknownSize(unsigned long long size)
{
    return size == FF_UNKNOWN_VALUE;
}

int FfIsUnknownTime(FILETIME time)
{
    return FfFileTimeValue(time) == FF_UNKNOWN_VALUE;
}

const wchar_t* FfFormatSize(unsigned long long size)
{
    static wchar_t text[32];
    text[0] = 0;
    // Not "16777216.0 TB": the engine's mark for a size it does not know (every folder's, say).
    if (FfIsUnknownSize(size)) return text;
    if (size < 1024) {
        FfFormatText(text, 32, L"%.0f %s", (double)size, L"B");
        return text;
    }
    static const wchar_t* const units[] = {L"KB", L"MB", L"GB", L"TB"};
    int unit = 0;
    double value = (double)size * (1.0 / 1024.0);
    while (value >= 1024.0 && unit < 3) {
        value *= 1.0 / 1024.0;
        unit++;
    }
    FfFormatText(text, 32, L"%.1f %s", value, units[unit]);
    return text;
}

static bool FfPictureInUse(const wchar_t* picture)
{
    return picture[0] && !FfEqualTextI(picture, L"Auto");
}

const wchar_t* FfFormatDateTime(FILETIME modified)
{
    static wchar_t text[64];
    text[0] = 0;
    if (modified.dwLowDateTime == 0 && modified.dwHighDateTime == 0) return text;
    if (FfIsUnknownTime(modified)) return text;
    FILETIME local;
    SYSTEMTIME fields;
    if (!FileTimeToLocalFileTime(&modified, &local)) return text;
    if (!FileTimeToSystemTime(&local, &fields)) return text;

    wchar_t datePart[32];
    wchar_t timePart[32];
    memset(datePart, 0, sizeof datePart);
    memset(timePart, 0, sizeof timePart);
    if (FfPictureInUse(g_settings.dateFormat))
        GetDateFormatEx(nullptr, 0, &fields, g_settings.dateFormat, datePart, 32, nullptr);
    else
        GetDateFormatEx(nullptr, DATE_SHORTDATE, &fields, nullptr, datePart, 32, nullptr);
    if (FfPictureInUse(g_settings.timeFormat))
        GetTimeFormatEx(nullptr, 0, &fields, g_settings.timeFormat, timePart, 32);
    else
        GetTimeFormatEx(nullptr, TIME_NOSECONDS, &fields, nullptr, timePart, 32);
    // A failed call may leave a partial text behind; the part then stays empty.
    datePart[31] = 0;
    timePart[31] = 0;
    FfFormatText(text, 64, L"%s %s", datePart, timePart);
    return text;
}

const wchar_t* FfParentFolderName(const wchar_t* path)
{
    static wchar_t text[64];
    text[0] = 0;
    if (!path) return text;
    const wchar_t* last = wcsrchr(path, L'\\');
    if (!last || last == path) return text;
    const wchar_t* start = last;
    while (start > path && start[-1] != L'\\') start--;
    FfCopyTextN(text, 64, start, (int)(last - start));
    return text;
}

void FfIconKeyFromPath(const wchar_t* path, wchar_t* key, int cap)
{
    // The whole path is searched, as the shell only needs something that ends like the file.
    const wchar_t* dot = wcsrchr(path, L'.');
    int keep = cap - 1 < FF_ICON_KEY_MAX - 1 ? cap - 1 : FF_ICON_KEY_MAX - 1;
    if (!dot) {
        key[0] = 0;
        return;
    }
    FfCopyTextN(key, keep + 1, dot, keep);
}

HICON FfGetResultIcon(const FfResult* result)
{
    SHFILEINFOW info;
    if (result->isFolder) {
        if (g_folderIcon) return g_folderIcon;
        memset(&info, 0, sizeof info);
        SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                       SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
        g_folderIcon = info.hIcon;
        return g_folderIcon;
    }
    wchar_t key[FF_ICON_KEY_MAX];
    FfIconKeyFromPath(result->path, key, FF_ICON_KEY_MAX);
    for (int i = 0; i < g_iconCacheCount; i++) {
        if (FfEqualTextI(g_iconCache[i].key, key)) return g_iconCache[i].icon;
    }
    wchar_t probe[FF_ICON_KEY_MAX + 2];
    FfFormatText(probe, FF_ICON_KEY_MAX + 2, L"x%s", key);
    memset(&info, 0, sizeof info);
    SHGetFileInfoW(probe, FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                   SHGFI_ICON | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES);
    if (g_iconCacheCount < FF_ICON_CACHE_MAX) {
        FfCopyText(g_iconCache[g_iconCacheCount].key, FF_ICON_KEY_MAX, key);
        g_iconCache[g_iconCacheCount].icon = info.hIcon;
        g_iconCacheCount++;
        return info.hIcon;
    }
    if (g_uncachedIcon) DestroyIcon(g_uncachedIcon);
    g_uncachedIcon = info.hIcon;
    return info.hIcon;
}
