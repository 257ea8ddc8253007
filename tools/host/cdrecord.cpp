// Parsing of the change-folder record the host receives as WM_COPYDATA with tag 0x4443.
#include "host.h"

// The record comes from another process: any size, maybe without a terminator, maybe not
// UTF-8 at all. Every read stays below size.
static const size_t FF_HOST_RECORD_TEXT_MAX = 32768;

static bool FfHostHasBom(const unsigned char* p, size_t at, size_t size)
{
    return size - at >= 3 && p[at] == 0xEF && p[at + 1] == 0xBB && p[at + 2] == 0xBF;
}

static std::wstring FfHostDecode(const unsigned char* p, size_t count, bool utf8)
{
    if (count == 0) return std::wstring();
    if (count > FF_HOST_RECORD_TEXT_MAX) count = FF_HOST_RECORD_TEXT_MAX;
    UINT cp = utf8 ? CP_UTF8 : CP_ACP;
    int n = MultiByteToWideChar(cp, 0, (const char*)p, (int)count, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring text((size_t)n, L'\0');
    MultiByteToWideChar(cp, 0, (const char*)p, (int)count, &text[0], n);
    return text;
}

// Reads one path starting at *at: an optional byte-order mark, then text up to one of the stop
// bytes (or the end). *at is left on the stop byte.
static std::wstring FfHostReadPath(const unsigned char* p, size_t size, size_t* at, bool stopAtReturn)
{
    bool utf8 = FfHostHasBom(p, *at, size);
    if (utf8) *at += 3;
    size_t begin = *at;
    while (*at < size && p[*at] != 0 && !(stopAtReturn && p[*at] == 0x0D)) ++*at;
    return FfHostDecode(p + begin, *at - begin, utf8);
}

bool FfHostParseChangeDir(const void* data, size_t size, FfHostChangeDir* out)
{
    out->path.clear();
    out->second.clear();
    out->letters.clear();
    if (!data || size == 0) return false;
    const unsigned char* p = (const unsigned char*)data;
    size_t at = 0;
    out->path = FfHostReadPath(p, size, &at, true);
    if (at < size && p[at] == 0x0D) {
        ++at;
        out->second = FfHostReadPath(p, size, &at, false);
    }
    if (at < size && p[at] == 0) {
        ++at;
        while (at < size && p[at] != 0 && out->letters.size() < 8) out->letters += (char)p[at++];
    }
    return !out->path.empty();
}
