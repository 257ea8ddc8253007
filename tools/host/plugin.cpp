// The stand-in host's side of the file-system plug-in interface: loading, listing, file calls.
#include "host.h"
#include <string.h>

// The host's callbacks, handed to FsInit. The plug-in may report progress, log lines and ask
// the user for text; the stand-in never cancels, keeps no log and answers every request "no".
typedef int(__stdcall* FfHostProgressProc)(int pluginNr, char* source, char* target, int percentDone);
typedef void(__stdcall* FfHostLogProc)(int pluginNr, int messageType, char* text);
typedef BOOL(__stdcall* FfHostRequestProc)(int pluginNr, int requestType, char* title, char* text,
                                          char* returned, int returnedLength);

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

static const int FF_HOST_FIELD_STRING = 8;

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
};

static std::vector<FfHostPlugin> g_hostPlugins;

static int __stdcall FfHostProgress(int, char*, char*, int) { return 0; }
static void __stdcall FfHostLog(int, int, char*) {}
static BOOL __stdcall FfHostRequest(int, int, char*, char*, char* returned, int length)
{
    if (returned && length > 0) returned[0] = 0;
    return FALSE;
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
    // A library without the four required entry points is not a file-system plug-in; it stays
    // loaded (unloading a library that may have started threads is not safe) but is not used.
    if (!p.init || !p.findFirst || !p.findNext || !p.findClose) {
        FfHostRecordEvent(L"plugin", 0, library + L" (not a file-system plug-in)");
        return false;
    }
    int pluginNumber = (int)g_hostPlugins.size();
    g_hostPlugins.push_back(p);
    // FsInit comes before any other call of the plug-in.
    p.init(pluginNumber, FfHostProgress, FfHostLog, FfHostRequest);
    FfHostRecordEvent(L"fsinit", pluginNumber, rootName);
    return true;
}

static std::string FfHostToAnsi(const std::wstring& text)
{
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out((size_t)n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), (int)text.size(), &out[0], n, nullptr, nullptr);
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

static size_t FfHostBoundedLength(const char* text, size_t capacity)
{
    size_t n = 0;
    while (n < capacity && text[n]) ++n;
    return n;
}

std::string FfHostPluginItemPath(const std::wstring& pluginPath, const FfHostEntry& item)
{
    std::string base = FfHostToAnsi(pluginPath);
    if (base.empty() || base.back() != '\\') base += '\\';
    return base + item.ansiName;
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

bool FfHostListPlugin(const std::wstring& rootName, const std::wstring& pluginPath, std::vector<FfHostEntry>* items)
{
    items->clear();
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p) return false;
    FfHostAnsiBuffer path(FfHostToAnsi(pluginPath));
    WIN32_FIND_DATAA fd;
    memset(&fd, 0, sizeof(fd));
    SetLastError(0);
    HANDLE h = p->findFirst(path.text, &fd);
    // No handle with "no more files" is an empty folder; any other failure cannot be listed.
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_NO_MORE_FILES;
    // A plug-in that keeps returning entries would hang the panel; a real folder view has a
    // practical limit too.
    for (int guard = 0; guard < 100000; ++guard) {
        size_t length = FfHostBoundedLength(fd.cFileName, sizeof(fd.cFileName));
        std::string ansi(fd.cFileName, length);
        if (length > 0 && ansi != "." && ansi != "..") {
            FfHostEntry item;
            item.ansiName = ansi;
            item.name = FfHostFromAnsi(ansi.data(), ansi.size());
            item.attributes = fd.dwFileAttributes;
            item.size = ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
            item.modified = fd.ftLastWriteTime;
            items->push_back(item);
        }
        memset(&fd, 0, sizeof(fd));
        if (!p->findNext(h, &fd)) break;
    }
    p->findClose(h);
    return true;
}

// Fills the custom columns of listed items through FsContentGetValue.
void FfHostFillColumns(const std::wstring& rootName, const std::wstring& pluginPath,
                       const std::vector<FfHostColumn>& columns, std::vector<FfHostEntry>* items)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    std::vector<int> fieldIndex;
    for (const auto& c : columns) fieldIndex.push_back(p ? FfHostFieldIndex(p, c.field) : -1);
    for (auto& item : *items) {
        item.columns.assign(columns.size(), std::wstring());
        if (!p || !p->getValue) continue;
        for (size_t c = 0; c < columns.size(); ++c) {
            if (fieldIndex[c] < 0) continue;
            FfHostAnsiBuffer name(FfHostPluginItemPath(pluginPath, item));
            char value[2048];
            memset(value, 0, sizeof(value));
            int type = p->getValue(name.text, fieldIndex[c], 0, value, (int)sizeof(value), 0);
            if (type == FF_HOST_FIELD_STRING)
                item.columns[c] = FfHostFromAnsi(value, FfHostBoundedLength(value, sizeof(value)));
        }
    }
}

int FfHostPluginGetFile(const std::wstring& rootName, const std::string& remote, const std::wstring& local,
                        int flags, const FfHostEntry& item)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p || !p->getFile) return FF_HOST_OP_NO_PLUGIN;
    FfHostAnsiBuffer remoteText(remote), localText(FfHostToAnsi(local));
    FfHostRemoteInfo info;
    info.sizeLow = (DWORD)item.size;
    info.sizeHigh = (DWORD)(item.size >> 32);
    info.lastWriteTime = item.modified;
    info.attributes = (int)item.attributes;
    return p->getFile(remoteText.text, localText.text, flags, &info);
}

int FfHostPluginExecute(const std::wstring& rootName, HWND window, const std::string& remote, const char* verb)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p || !p->executeFile) return FF_HOST_OP_NO_PLUGIN;
    FfHostAnsiBuffer remoteText(remote), verbText(verb);
    return p->executeFile(window, remoteText.text, verbText.text);
}

int FfHostPluginDelete(const std::wstring& rootName, const std::string& remote)
{
    FfHostPlugin* p = FfHostFindPlugin(rootName);
    if (!p || !p->deleteFile) return FF_HOST_OP_NO_PLUGIN;
    FfHostAnsiBuffer remoteText(remote);
    return p->deleteFile(remoteText.text) ? 1 : 0;
}
