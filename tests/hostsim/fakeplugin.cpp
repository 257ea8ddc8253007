// A file-system plug-in that only records what the stand-in host calls, to prove the host alone.
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

struct FakeEntry {
    const char* folder;  // plug-in path of the folder that lists it
    std::string name;    // 8-bit, or UTF-8 when wideOnly
    DWORD attributes;
    DWORD size;
    bool wideOnly;       // listed by FsFindFirstW only: no 8-bit name holds it
};

// "\" holds a file, a folder, a name with a character outside ASCII (code page 1252: e acute)
// and, for the wide calls only, one outside the code page with a surrogate pair.
std::vector<FakeEntry> g_entries = {
    { "\\", "alpha.txt", FILE_ATTRIBUTE_NORMAL, 5, false },
    { "\\", "Folder", FILE_ATTRIBUTE_DIRECTORY, 0, false },
    { "\\", "b\xE9ta.txt", FILE_ATTRIBUTE_NORMAL, 7, false },
    { "\\Folder", "inner.txt", FILE_ATTRIBUTE_NORMAL, 3, false },
    { "\\", "\xC5\x81\xF0\x9F\x8C\xB4.txt", FILE_ATTRIBUTE_NORMAL, 9, true },
};

struct FakeFind {
    std::string folder;
    size_t next;
};

// Appends one line to the file named by FF_FAKEPLUGIN_LOG.
void FakeRecord(const char* format, ...)
{
    char path[1024], line[4096];
    DWORD n = GetEnvironmentVariableA("FF_FAKEPLUGIN_LOG", path, sizeof(path));
    if (n == 0 || n >= sizeof(path)) return;
    va_list args;
    va_start(args, format);
    _vsnprintf(line, sizeof(line) - 3, format, args);
    va_end(args);
    line[sizeof(line) - 3] = 0;
    strcat(line, "\r\n");
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, (DWORD)strlen(line), &written, nullptr);
    CloseHandle(file);
}

const char* Text(const char* s) { return s ? s : ""; }

std::string FakeTrim(const char* path)
{
    std::string p = Text(path);
    while (p.size() > 1 && p.back() == '\\') p.pop_back();
    return p;
}

bool FakeFill(FakeFind* find, WIN32_FIND_DATAA* fd)
{
    while (find->next < g_entries.size()) {
        const FakeEntry& e = g_entries[find->next++];
        if (find->folder != e.folder || e.wideOnly) continue;
        memset(fd, 0, sizeof(*fd));
        lstrcpynA(fd->cFileName, e.name.c_str(), MAX_PATH);
        fd->dwFileAttributes = e.attributes;
        fd->nFileSizeLow = e.size;
        fd->ftLastWriteTime.dwLowDateTime = 0x12345678;
        fd->ftLastWriteTime.dwHighDateTime = 0x01D00000;
        return true;
    }
    return false;
}

int FakeFindByPath(const char* remote)
{
    std::string path = FakeTrim(remote);
    for (size_t i = 0; i < g_entries.size(); ++i) {
        if (g_entries[i].wideOnly) continue;
        std::string folder = g_entries[i].folder, full = (folder == "\\" ? "" : folder) + "\\" + g_entries[i].name;
        if (_stricmp(full.c_str(), path.c_str()) == 0) return (int)i;
    }
    return -1;
}

std::wstring Wide(const std::string& text, UINT codePage)
{
    wchar_t out[1024] = {};
    MultiByteToWideChar(codePage, 0, text.c_str(), -1, out, 1023);
    return out;
}

std::string Utf8(const WCHAR* text)
{
    char out[4096] = {};
    if (text) WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof(out) - 1, nullptr, nullptr);
    return out;
}

std::wstring NameOf(const FakeEntry& e) { return Wide(e.name, e.wideOnly ? CP_UTF8 : CP_ACP); }

bool FakeFillW(FakeFind* find, WIN32_FIND_DATAW* fd)
{
    while (find->next < g_entries.size()) {
        const FakeEntry& e = g_entries[find->next++];
        if (find->folder != e.folder) continue;
        memset(fd, 0, sizeof(*fd));
        lstrcpynW(fd->cFileName, NameOf(e).c_str(), MAX_PATH);
        fd->dwFileAttributes = e.attributes;
        fd->nFileSizeLow = e.size;
        return true;
    }
    return false;
}

int FakeFindByPathW(const WCHAR* remote)
{
    for (size_t i = 0; i < g_entries.size(); ++i) {
        std::wstring folder = Wide(g_entries[i].folder, CP_ACP);
        if (_wcsicmp(((folder == L"\\" ? L"" : folder) + L"\\" + NameOf(g_entries[i])).c_str(), remote ? remote : L"") == 0)
            return (int)i;
    }
    return -1;
}

bool IsFolder(int index) { return (g_entries[(size_t)index].attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

}  // namespace

extern "C" {

int __stdcall FsInit(int pluginNr, void*, void*, void*)
{
    FakeRecord("FsInit %d", pluginNr);
    return 0;
}

HANDLE __stdcall FsFindFirst(char* path, WIN32_FIND_DATAA* fd)
{
    FakeRecord("FsFindFirst %s", path ? path : "(null)");
    std::string folder = FakeTrim(path);
    // Two folders that cannot be listed: one empty (no handle, "no more files"), one denied.
    if (folder == "\\Empty" || folder == "\\Denied") {
        SetLastError(folder == "\\Empty" ? ERROR_NO_MORE_FILES : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    FakeFind* find = new FakeFind{ folder, 0 };
    if (FakeFill(find, fd)) return (HANDLE)find;
    // An unknown folder still lists one entry, as a plug-in's placeholder would.
    memset(fd, 0, sizeof(*fd));
    lstrcpynA(fd->cFileName, "nothing here.txt", MAX_PATH);
    fd->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    find->next = g_entries.size();
    return (HANDLE)find;
}

BOOL __stdcall FsFindNext(HANDLE handle, WIN32_FIND_DATAA* fd)
{
    if (handle && FakeFill((FakeFind*)handle, fd)) return TRUE;
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}

int __stdcall FsFindClose(HANDLE handle)
{
    FakeRecord("FsFindClose");
    delete (FakeFind*)handle;
    return 0;
}

int __stdcall FsGetFile(char* remote, char* local, int flags, void*)
{
    FakeRecord("FsGetFile %s|%s|%d", Text(remote), Text(local), flags);
    int index = FakeFindByPath(remote);
    if (index < 0) return 2;
    if (IsFolder(index)) return 6;
    if (GetFileAttributesA(local) != INVALID_FILE_ATTRIBUTES && !(flags & 1)) return 1;  // exists
    HANDLE file = CreateFileA(local, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    std::string content = std::string("copy of ") + remote;
    DWORD written = 0;
    WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
    CloseHandle(file);
    if (flags & 4) g_entries.erase(g_entries.begin() + index);  // moved
    return 0;
}

int __stdcall FsExecuteFile(HWND window, char* remote, char* verb)
{
    FakeRecord("FsExecuteFile %s|%s|%d", Text(remote), Text(verb), window != nullptr);
    return strcmp(Text(verb), "open") == 0 ? -1 : 0;
}

BOOL __stdcall FsDeleteFile(char* remote)
{
    FakeRecord("FsDeleteFile %s", Text(remote));
    int index = FakeFindByPath(remote);
    if (index < 0 || IsFolder(index)) return FALSE;
    g_entries.erase(g_entries.begin() + index);
    return TRUE;
}

// Field 0 is not the path, so a host that takes the first field instead of looking the name up
// shows the wrong column.
int __stdcall FsContentGetSupportedField(int index, char* name, char* units, int length)
{
    const char* names[] = { "Other", "Path" };
    if (index < 0 || index > 1) return 0;
    lstrcpynA(name, names[index], length);
    if (units && length > 0) units[0] = 0;
    return 8;
}

int __stdcall FsContentGetValue(char* fileName, int index, int, void* value, int length, int)
{
    FakeRecord("FsContentGetValue %s|%d", Text(fileName), index);
    if (index < 0 || index > 1) return -1;
    lstrcpynA((char*)value, index == 0 ? "other" : (std::string("C:\\real") + Text(fileName)).c_str(), length);
    return 8;
}

// The Unicode twins of some calls only: the host falls back to the 8-bit FsExecuteFile and
// FsDeleteFile. Recorded in UTF-8.
int __stdcall FsInitW(int pluginNr, void*, void*, void*)
{
    FakeRecord("FsInitW %d", pluginNr);
    return 0;
}

HANDLE __stdcall FsFindFirstW(WCHAR* path, WIN32_FIND_DATAW* fd)
{
    FakeRecord("FsFindFirstW %s", Utf8(path).c_str());
    char folder[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, path ? path : L"", -1, folder, sizeof(folder) - 1, nullptr, nullptr);
    FakeFind* find = new FakeFind{ FakeTrim(folder), 0 };
    if (FakeFillW(find, fd)) return (HANDLE)find;
    delete find;
    SetLastError(ERROR_NO_MORE_FILES);
    return INVALID_HANDLE_VALUE;
}

BOOL __stdcall FsFindNextW(HANDLE handle, WIN32_FIND_DATAW* fd)
{
    if (handle && FakeFillW((FakeFind*)handle, fd)) return TRUE;
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
}

int __stdcall FsGetFileW(WCHAR* remote, WCHAR* local, int flags, void*)
{
    FakeRecord("FsGetFileW %s|%s|%d", Utf8(remote).c_str(), Utf8(local).c_str(), flags);
    int index = FakeFindByPathW(remote);
    if (index < 0) return 2;
    if (IsFolder(index)) return 6;
    HANDLE file = CreateFileW(local, GENERIC_WRITE, 0, nullptr, (flags & 1) ? CREATE_ALWAYS : CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS ? 1 : 4;
    std::string content = "copy of " + Utf8(remote);
    DWORD written = 0;
    WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr);
    CloseHandle(file);
    return 0;
}

int __stdcall FsContentGetValueW(WCHAR* fileName, int index, int, void* value, int length, int)
{
    FakeRecord("FsContentGetValueW %s|%d", Utf8(fileName).c_str(), index);
    if (index < 0 || index > 1) return -1;
    std::wstring text = index == 0 ? std::wstring(L"other") : L"C:\\real" + std::wstring(fileName ? fileName : L"");
    lstrcpynW((WCHAR*)value, text.c_str(), length / 2);  // the length is in bytes
    return 11;
}

}  // extern "C"
