// The stand-in host's side of the file-system plug-in interface: loading, listing, file calls.
#include "host.h"
#include <shellapi.h>
#include <string.h>

// The host's callbacks, handed to FsInit (FsInitW: their wide kinds). The plug-in may report
// progress, log lines and ask the user for text; the stand-in never cancels, keeps no log and
// answers every request "no".
typedef int(__stdcall* FfHostProgressProc)(int pluginNr, char* source, char* target, int percentDone);
typedef void(__stdcall* FfHostLogProc)(int pluginNr, int messageType, char* text);
typedef BOOL(__stdcall* FfHostRequestProc)(int pluginNr, int requestType, char* title, char* text,
                                          char* returned, int returnedLength);
typedef int(__stdcall* FfHostProgressProcW)(int pluginNr, WCHAR* source, WCHAR* target, int percentDone);
typedef void(__stdcall* FfHostLogProcW)(int pluginNr, int messageType, WCHAR* text);
typedef BOOL(__stdcall* FfHostRequestProcW)(int pluginNr, int requestType, WCHAR* title, WCHAR* text,
                                           WCHAR* returned, int returnedLength);

// What the host passes to FsGetFile about the remote file.
struct FfHostRemoteInfo {
    DWORD sizeLow;
    DWORD sizeHigh;
    FILETIME lastWriteTime;
    int attributes;
};

typedef int(__stdcall* FsInitFn)(int, FfHostProgressProc, FfHostLogProc, FfHostRequestProc);
typedef HANDLE(__stdcall* FsFindFirstFn)(char*, WIN32_FIND_DATAA*);
typedef BOOL(__stdcall* FsFindNextFn)(HANDLE, WIN32_FIND_DATAA*);
typedef int(__stdcall* FsFindCloseFn)(HANDLE);
typedef int(__stdcall* FsGetFileFn)(char*, char*, int, FfHostRemoteInfo*);
typedef int(__stdcall* FsExecuteFileFn)(HWND, char*, char*);
typedef BOOL(__stdcall* FsDeleteFileFn)(char*);
typedef int(__stdcall* FsContentGetSupportedFieldFn)(int, char*, char*, int);
typedef int(__stdcall* FsContentGetValueFn)(char*, int, int, void*, int, int);
// The Unicode twins (host version 7.5 on): the host calls each one a plug-in exports instead of
// its 8-bit function, and the 8-bit one where the twin is missing.
typedef int(__stdcall* FsInitWFn)(int, FfHostProgressProcW, FfHostLogProcW, FfHostRequestProcW);
typedef HANDLE(__stdcall* FsFindFirstWFn)(WCHAR*, WIN32_FIND_DATAW*);
typedef BOOL(__stdcall* FsFindNextWFn)(HANDLE, WIN32_FIND_DATAW*);
typedef int(__stdcall* FsGetFileWFn)(WCHAR*, WCHAR*, int, FfHostRemoteInfo*);
typedef int(__stdcall* FsExecuteFileWFn)(HWND, WCHAR*, WCHAR*);
typedef BOOL(__stdcall* FsDeleteFileWFn)(WCHAR*);
typedef int(__stdcall* FsContentGetValueWFn)(WCHAR*, int, int, void*, int, int);

static const int FF_HOST_FIELD_STRING = 8;
static const int FF_HOST_FIELD_WIDE_STRING = 11;
static const size_t FF_HOST_PATH_CHARS = 32768;  // the longest path the system's wide calls take

struct FfHostPlugin {
    std::wstring rootName;
    HMODULE module = nullptr;
    FsInitFn init = nullptr;
    FsFindFirstFn findFirst = nullptr;
    FsFindNextFn findNext = nullptr;
    FsFindCloseFn findClose = nullptr;
    FsGetFileFn getFile = nullptr;
    FsExecuteFileFn executeFile = nullptr;
    FsDeleteFileFn deleteFile = nullptr;
    FsContentGetSupportedFieldFn getField = nullptr;
    FsContentGetValueFn getValue = nullptr;
    FsInitWFn initW = nullptr;  // null: not exported, or the host was told to use the 8-bit calls
    FsFindFirstWFn findFirstW = nullptr;
    FsFindNextWFn findNextW = nullptr;
    FsGetFileWFn getFileW = nullptr;
    FsExecuteFileWFn executeFileW = nullptr;
    FsDeleteFileWFn deleteFileW = nullptr;
    FsContentGetValueWFn getValueW = nullptr;
};

static std::vector<FfHostPlugin> g_hostPlugins;

static int __stdcall FfHostProgress(int, char*, char*, int) { return 0; }
static void __stdcall FfHostLog(int, int, char*) {}
static BOOL __stdcall FfHostRequest(int, int, char*, char*, char* returned, int length)
{
    if (returned && length > 0) returned[0] = 0;
    return FALSE;
}
static int __stdcall FfHostProgressW(int, WCHAR*, WCHAR*, int) { return 0; }
static void __stdcall FfHostLogW(int, int, WCHAR*) {}
static BOOL __stdcall FfHostRequestW(int, int, WCHAR*, WCHAR*, WCHAR* returned, int length)
{
    if (returned && length > 0) returned[0] = 0;
    return FALSE;
}

// "--ansi-only" on the command line: the host behaves as one older than the Unicode interface
// and calls only the 8-bit functions, so that both roads of a plug-in can be tried.
static bool FfHostAnsiOnly()
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool ansiOnly = false;
    for (int i = 1; argv && i < argc; ++i) ansiOnly = ansiOnly || wcscmp(argv[i], L"--ansi-only") == 0;
    if (argv) LocalFree(argv);
    return ansiOnly;
}

static FfHostPlugin* FfHostFindPlugin(const std::wstring& rootName)
{
    for (auto& p : g_hostPlugins)
        if (_wcsicmp(p.rootName.c_str(), rootName.c_str()) == 0) return &p;
    return nullptr;
}

bool FfHostPluginLoaded(const std::wstring& rootName) { return FfHostFindPlugin(rootName) != nullptr; }

bool FfHostEnsurePlugin(const std::wstring& rootName)
{
    if (FfHostFindPlugin(rootName)) return true;
    std::wstring library = FfHostPluginLibrary(g_hostConfig, rootName);
    if (library.empty()) return false;
    HMODULE module = LoadLibraryW(library.c_str());
    FfHostRecordEvent(L"plugin", module ? 1 : 0, library);
    if (!module) return false;
    FfHostPlugin p;
    p.rootName = rootName;
    p.module = module;
    p.init = (FsInitFn)(void*)GetProcAddress(module, "FsInit");
    p.findFirst = (FsFindFirstFn)(void*)GetProcAddress(module, "FsFindFirst");
    p.findNext = (FsFindNextFn)(void*)GetProcAddress(module, "FsFindNext");
    p.findClose = (FsFindCloseFn)(void*)GetProcAddress(module, "FsFindClose");
    p.getFile = (FsGetFileFn)(void*)GetProcAddress(module, "FsGetFile");
    p.executeFile = (FsExecuteFileFn)(void*)GetProcAddress(module, "FsExecuteFile");
    p.deleteFile = (FsDeleteFileFn)(void*)GetProcAddress(module, "FsDeleteFile");
    p.getField = (FsContentGetSupportedFieldFn)(void*)GetProcAddress(module, "FsContentGetSupportedField");
    p.getValue = (FsContentGetValueFn)(void*)GetProcAddress(module, "FsContentGetValue");
    if (!FfHostAnsiOnly()) {
        p.initW = (FsInitWFn)(void*)GetProcAddress(module, "FsInitW");
        p.findFirstW = (FsFindFirstWFn)(void*)GetProcAddress(module, "FsFindFirstW");
        p.findNextW = (FsFindNextWFn)(void*)GetProcAddress(module, "FsFindNextW");
        p.getFileW = (FsGetFileWFn)(void*)GetProcAddress(module, "FsGetFileW");
        p.executeFileW = (FsExecuteFileWFn)(void*)GetProcAddress(module, "FsExecuteFileW");
        p.deleteFileW = (FsDeleteFileWFn)(void*)GetProcAddress(module, "FsDeleteFileW");
        p.getValueW = (FsContentGetValueWFn)(void*)GetProcAddress(module, "FsContentGetValueW");
        // A listing is begun and continued on one road.
        if (!p.findFirstW || !p.findNextW) p.findFirstW = nullptr, p.findNextW = nullptr;
    }
    // A library without the four required entry points is not a file-system plug-in; it stays
    // loaded (unloading a library that may have started threads is not safe) but is not used.
    if ((!p.init && !p.initW) || (!p.findFirst && !p.findFirstW) || (!p.findNext && !p.findNextW) || !p.findClose) {
        FfHostRecordEvent(L"plugin", 0, library + L" (not a file-system plug-in)");
        return false;
    }
    int pluginNumber = (int)g_hostPlugins.size();
    g_hostPlugins.push_back(p);
    // FsInit (or its twin, never both) comes before any other call of the plug-in.
    if (p.initW)
        p.initW(pluginNumber, FfHostProgressW, FfHostLogW, FfHostRequestW);
    else
        p.init(pluginNumber, FfHostProgress, FfHostLog, FfHostRequest);
    FfHostRecordEvent(L"fsinit", pluginNumber, rootName, p.initW ? L"FsInitW" : L"FsInit");
    return true;
}

static std::string FfHostToAnsi(const std::wstring& text)
{
    if (text.empty()) return std::string();
    // No best fit: a look-alike ("L" for U+0141) could be another item's name.
    DWORD flags = GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(CP_ACP, flags, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_ACP, flags, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
    return out;
}

static std::wstring FfHostFromAnsi(const char* text, size_t length)
{
    if (length == 0) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text, (int)length, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out((size_t)n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, (int)length, &out[0], n);
    return out;
}

// A writable, terminated copy of an 8-bit path: the interface passes char*, and a plug-in may
// write into it, so it gets a buffer of the host's full path size.
struct FfHostAnsiBuffer {
    char text[2048];
    explicit FfHostAnsiBuffer(const std::string& s)
    {
        size_t n = s.size() < sizeof(text) - 1 ? s.size() : sizeof(text) - 1;
        memcpy(text, s.data(), n);
        text[n] = 0;
    }
};

// The same for a wide path, of any length the system takes.
struct FfHostWideBuffer {
    std::vector<wchar_t> text;
    explicit FfHostWideBuffer(const std::wstring& s)
    {
        size_t n = s.size() < FF_HOST_PATH_CHARS - 1 ? s.size() : FF_HOST_PATH_CHARS - 1;
        text.assign(FF_HOST_PATH_CHARS, L'\0');
        memcpy(text.data(), s.data(), n * sizeof(wchar_t));
    }
};

static size_t FfHostBoundedLength(const char* text, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && text[n]) ++n;
    return n;
}

// An item's plug-in path: wide, or 8-bit with the name's bytes as the plug-in listed them.
static std::wstring FfHostWideItemPath(const std::wstring& pluginPath, const FfHostEntry& item)
{
    std::wstring base = pluginPath;
    if (base.empty() || base.back() != L'\\') base += L'\\';
    return base + item.name;
}

std::string FfHostPluginItemPath(const std::wstring& pluginPath, const FfHostEntry& item)
{
    std::string base = FfHostToAnsi(pluginPath);
    if (base.empty() || base.back() != '\\') base += '\\';
    return base + (item.ansiName.empty() ? FfHostToAnsi(item.name) : item.ansiName);
}

static int FfHostFieldIndex(FfHostPlugin* p, const std::wstring& field)
{
    if (!p->getField || field.empty()) return -1;
    std::string wanted = FfHostToAnsi(field);
    for (int index = 0; index < 256; ++index) {
        char name[260] = {}, units[260] = {};
        int type = p->getField(index, name, units, (int)sizeof(name));
        if (type == 0) break;  // no more fields
        name[sizeof(name) - 1] = 0;
        if (_stricmp(name, wanted.c_str()) == 0) return index;
    }
    return -1;
}

static FfHostEntry FfHostEntryOf(const WIN32_FIND_DATAW& fd)
{
    FfHostEntry item;
    item.name.assign(fd.cFileName, wcsnlen(fd.cFileName, MAX_PATH));
    item.attributes = fd.dwFileAttributes;
    item.size = ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    item.modified = fd.ftLastWriteTime;
    return item;
}

static FfHostEntry FfHostEntryOf(const WIN32_FIND_DATAA& fd)
{
    FfHostEntry item;
    item.ansiName.assign(fd.cFileName, FfHostBoundedLength(fd.cFileName, sizeof(fd.cFileName)));
    item.name = FfHostFromAnsi(item.ansiName.data(), item.ansiName.size());
    item.attributes = fd.dwFileAttributes;
    item.size = ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
    item.modified = fd.ftLastWriteTime;
    return item;
}

// Lists through one road: FindFirst/FindNext of the record type given.
template <class FindData, class First, class Next>
static bool FfHostListThrough(FfHostPlugin* p, First first, Next next, void* path, std::vector<FfHostEntry>* items)
{
    FindData fd;
    memset(&fd, 0, sizeof(fd));
    SetLastError(0);
    HANDLE h = first(path, &fd);
    // No handle with "no more files" is an empty folder; any other failure cannot be listed.
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_NO_MORE_FILES;
    // A plug-in that keeps returning entries would hang the panel; a real folder view has a
    // practical limit too.
    for (int guard = 0; guard < 100000; ++guard) {
        FfHostEntry item = FfHostEntryOf(fd);
        if (!item.name.empty() && item.name != L"." && item.name != L"..") items->push_back(item);
        memset(&fd, 0, sizeof(fd));
        if (!next(h, &fd)) break;
    }
    p->findClose(h);
    return true;
}

bool FfHostListPlugin(const std::wstring& rootName, const std::wstring& pluginPath, std::vector<FfHostEntry>* items)
{
    items->clear();
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p) return false;
    if (p->findFirstW) {
        FfHostWideBuffer path(pluginPath);
        return FfHostListThrough<WIN32_FIND_DATAW>(
            p, [&](void* text, WIN32_FIND_DATAW* fd) { return p->findFirstW((WCHAR*)text, fd); },
            [&](HANDLE h, WIN32_FIND_DATAW* fd) { return p->findNextW(h, fd); }, path.text.data(), items);
    }
    FfHostAnsiBuffer path(FfHostToAnsi(pluginPath));
    return FfHostListThrough<WIN32_FIND_DATAA>(
        p, [&](void* text, WIN32_FIND_DATAA* fd) { return p->findFirst((char*)text, fd); },
        [&](HANDLE h, WIN32_FIND_DATAA* fd) { return p->findNext(h, fd); }, path.text, items);
}

// One field value of an item, through FsContentGetValueW when the plug-in has it.
static std::wstring FfHostFieldValue(FfHostPlugin* p, const std::wstring& pluginPath, const FfHostEntry& item, int field)
{
    if (p->getValueW) {
        FfHostWideBuffer name(FfHostWideItemPath(pluginPath, item));
        wchar_t value[2048];
        memset(value, 0, sizeof(value));
        // The length is in bytes; an 8-bit value may still come back (type 8).
        int type = p->getValueW(name.text.data(), field, 0, value, (int)sizeof(value), 0);
        value[2047] = 0;
        if (type == FF_HOST_FIELD_WIDE_STRING) return value;
        if (type == FF_HOST_FIELD_STRING) return FfHostFromAnsi((const char*)value, FfHostBoundedLength((const char*)value, sizeof(value)));
        return std::wstring();
    }
    if (!p->getValue) return std::wstring();
    FfHostAnsiBuffer name(FfHostPluginItemPath(pluginPath, item));
    char value[2048];
    memset(value, 0, sizeof(value));
    int type = p->getValue(name.text, field, 0, value, (int)sizeof(value), 0);
    if (type != FF_HOST_FIELD_STRING) return std::wstring();
    return FfHostFromAnsi(value, FfHostBoundedLength(value, sizeof(value)));
}

// Fills the custom columns of listed items through the plug-in's field values.
void FfHostFillColumns(const std::wstring& rootName, const std::wstring& pluginPath,
                       const std::vector<FfHostColumn>& columns, std::vector<FfHostEntry>* items)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    std::vector<int> fieldIndex;
    for (const auto& c : columns) fieldIndex.push_back(p ? FfHostFieldIndex(p, c.field) : -1);
    for (auto& item : *items) {
        item.columns.assign(columns.size(), std::wstring());
        if (!p) continue;
        for (size_t c = 0; c < columns.size(); ++c)
            if (fieldIndex[c] >= 0) item.columns[c] = FfHostFieldValue(p, pluginPath, item, fieldIndex[c]);
    }
}

int FfHostPluginGetFile(const std::wstring& rootName, const std::wstring& pluginPath, const FfHostEntry& item,
                        const std::wstring& local, int flags)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p || (!p->getFile && !p->getFileW)) return FF_HOST_OP_NO_PLUGIN;
    FfHostRemoteInfo info;
    info.sizeLow = (DWORD)item.size;
    info.sizeHigh = (DWORD)(item.size >> 32);
    info.lastWriteTime = item.modified;
    info.attributes = (int)item.attributes;
    if (p->getFileW) {
        FfHostWideBuffer remoteText(FfHostWideItemPath(pluginPath, item)), localText(local);
        return p->getFileW(remoteText.text.data(), localText.text.data(), flags, &info);
    }
    FfHostAnsiBuffer remoteText(FfHostPluginItemPath(pluginPath, item)), localText(FfHostToAnsi(local));
    return p->getFile(remoteText.text, localText.text, flags, &info);
}

int FfHostPluginExecute(const std::wstring& rootName, HWND window, const std::wstring& pluginPath,
                        const FfHostEntry& item, const std::wstring& verb)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p || (!p->executeFile && !p->executeFileW)) return FF_HOST_OP_NO_PLUGIN;
    if (p->executeFileW) {
        FfHostWideBuffer remoteText(FfHostWideItemPath(pluginPath, item)), verbText(verb);
        return p->executeFileW(window, remoteText.text.data(), verbText.text.data());
    }
    FfHostAnsiBuffer remoteText(FfHostPluginItemPath(pluginPath, item)), verbText(FfHostToAnsi(verb));
    return p->executeFile(window, remoteText.text, verbText.text);
}

int FfHostPluginDelete(const std::wstring& rootName, const std::wstring& pluginPath, const FfHostEntry& item)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p || (!p->deleteFile && !p->deleteFileW)) return FF_HOST_OP_NO_PLUGIN;
    if (p->deleteFileW) {
        FfHostWideBuffer remoteText(FfHostWideItemPath(pluginPath, item));
        return p->deleteFileW(remoteText.text.data()) ? 1 : 0;
    }
    FfHostAnsiBuffer remoteText(FfHostPluginItemPath(pluginPath, item));
    return p->deleteFile(remoteText.text) ? 1 : 0;
}
