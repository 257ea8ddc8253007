// Widths of the date texts the list has measured, by the second each date stands for.
// A refill needs the widest date of the whole result set, and formatting and measuring 500
// dates costs almost half as much as both exchanges with the engine; a refined search lists
// mostly the dates of the one before, so only dates not seen yet are measured.
#include "list.h"
#include "../core/core.h"
#include <string.h>

#define FF_DATE_WIDTHS_MAX 4096  // a power of two; a full result set fits eight times over
#define FF_DATE_WIDTHS_PROBE 16  // slots looked at from a key's home slot

struct FfDateWidthEntry {
    unsigned long long key;  // 0: free
    int width;
};

static FfDateWidthEntry g_dateWidths[FF_DATE_WIDTHS_MAX];
// What the widths were measured with. A font handle can be reused for another font once the
// theme deletes its own, so the font is compared by its description.
static LOGFONTW g_dateWidthsFont;
static wchar_t g_dateWidthsDatePicture[FF_PICTURE_CHARS];
static wchar_t g_dateWidthsTimePicture[FF_PICTURE_CHARS];
static long long g_dateWidthsLocalOffset;

void FfForgetDateWidths()
{
    memset(g_dateWidths, 0, sizeof g_dateWidths);
}

// Local time offset as FileTimeToLocalFileTime applies it now; the texts depend on it.
static long long FfLocalTimeOffset()
{
    const unsigned long long probe = 130000000000000000ull;
    FILETIME utc = {(DWORD)probe, (DWORD)(probe >> 32)};
    FILETIME local;
    if (!FileTimeToLocalFileTime(&utc, &local)) return 0;
    unsigned long long l = ((unsigned long long)local.dwHighDateTime << 32) | local.dwLowDateTime;
    return (long long)(l - probe);
}

void FfPrepareDateWidths(HFONT font)
{
    LOGFONTW described;
    memset(&described, 0, sizeof described);
    if (!font || !GetObjectW(font, sizeof described, &described)) memset(&described, 0, sizeof described);
    long long offset = FfLocalTimeOffset();
    if (memcmp(&described, &g_dateWidthsFont, sizeof described) == 0 &&
        wcscmp(g_settings.dateFormat, g_dateWidthsDatePicture) == 0 &&
        wcscmp(g_settings.timeFormat, g_dateWidthsTimePicture) == 0 &&
        offset == g_dateWidthsLocalOffset)
        return;
    FfForgetDateWidths();
    g_dateWidthsFont = described;
    memcpy(g_dateWidthsDatePicture, g_settings.dateFormat, sizeof g_dateWidthsDatePicture);
    memcpy(g_dateWidthsTimePicture, g_settings.timeFormat, sizeof g_dateWidthsTimePicture);
    g_dateWidthsLocalOffset = offset;
}

// The second a date stands for, plus one so that no date has the free key.
static unsigned long long FfDateWidthKey(FILETIME modified)
{
    unsigned long long t = ((unsigned long long)modified.dwHighDateTime << 32) | modified.dwLowDateTime;
    return t / 10000000ull + 1;
}

static int FfDateWidthHome(unsigned long long key)
{
    return (int)((key * 0x9E3779B97F4A7C15ull) >> 52) & (FF_DATE_WIDTHS_MAX - 1);
}

int FfKnownDateWidth(FILETIME modified)
{
    unsigned long long key = FfDateWidthKey(modified);
    int home = FfDateWidthHome(key);
    for (int i = 0; i < FF_DATE_WIDTHS_PROBE; i++) {
        const FfDateWidthEntry* e = &g_dateWidths[(home + i) & (FF_DATE_WIDTHS_MAX - 1)];
        if (e->key == key) return e->width;
        if (e->key == 0) return -1;
    }
    return -1;
}

void FfRememberDateWidth(FILETIME modified, int width)
{
    unsigned long long key = FfDateWidthKey(modified);
    int home = FfDateWidthHome(key);
    for (int round = 0; round < 2; round++) {
        for (int i = 0; i < FF_DATE_WIDTHS_PROBE; i++) {
            FfDateWidthEntry* e = &g_dateWidths[(home + i) & (FF_DATE_WIDTHS_MAX - 1)];
            if (e->key == key || e->key == 0) {
                e->key = key;
                e->width = width;
                return;
            }
        }
        // Crowded around this key: start over rather than search further on every lookup.
        FfForgetDateWidths();
    }
}
