// Path and file-time helpers every part shares.
#include "core/core.h"

const wchar_t* FfPathBaseName(const wchar_t* path)
{
    if (!path) return L"";
    const wchar_t* base = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\') base = p + 1;
    }
    return base;
}

bool FfPathExists(const wchar_t* path)
{
    // An empty name would be looked up relative to the host's current folder.
    return path && path[0] && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

unsigned long long FfFileTimeValue(FILETIME time)
{
    return ((unsigned long long)time.dwHighDateTime << 32) | time.dwLowDateTime;
}
