// Bounded text helpers shared by every subsystem.
#include "core/text.h"
#include <limits.h>
#include <wchar.h>
#include <stdio.h>
#include <string.h>

int FfCopyText(wchar_t* dst, int cap, const wchar_t* src)
{
    return FfCopyTextN(dst, cap, src, INT_MAX);
}

int FfCopyTextN(wchar_t* dst, int cap, const wchar_t* src, int count)
{
    if (!dst || cap <= 0) return 0;
    int n = 0;
    if (src) {
        while (n < cap - 1 && n < count && src[n]) {
            dst[n] = src[n];
            ++n;
        }
    }
    dst[n] = 0;
    return n;
}

int FfAppendText(wchar_t* dst, int cap, const wchar_t* src)
{
    if (!dst || cap <= 0) return 0;
    int len = (int)wcsnlen(dst, (size_t)cap);
    if (len >= cap) {  // not terminated inside the buffer: repair rather than overrun
        dst[cap - 1] = 0;
        return cap - 1;
    }
    return len + FfCopyText(dst + len, cap - len, src);
}

int FfFormatTextV(wchar_t* dst, int cap, const wchar_t* fmt, va_list args)
{
    if (!dst || cap <= 0) return 0;
    dst[0] = 0;
    // The system runtime's formatter: %s is wide and %p upper-case, unlike C99 swprintf.
    int n = _vsnwprintf_s(dst, (size_t)cap, _TRUNCATE, fmt, args);
    if (n < 0) {
        dst[cap - 1] = 0;
        n = (int)wcslen(dst);
    }
    return n;
}

int FfFormatText(wchar_t* dst, int cap, const wchar_t* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    int n = FfFormatTextV(dst, cap, fmt, args);
    va_end(args);
    return n;
}

int FfCompareTextI(const wchar_t* a, const wchar_t* b)
{
    return _wcsicmp(a ? a : L"", b ? b : L"");
}

bool FfEqualTextI(const wchar_t* a, const wchar_t* b)
{
    return FfCompareTextI(a, b) == 0;
}
