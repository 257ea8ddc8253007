// The stand-in host's two panels: which folder each shows, its items, history and item commands.
#include "host.h"
#include <algorithm>

FfHostPanel g_hostPanels[2];
HWND g_hostMainWindow = nullptr;
int g_hostActivePanel = 0;
int g_hostOverwriteAnswer = FF_HOST_OVERWRITE_YES;

int FfHostResolvePanel(int panel)
{
    if (panel == 0 || panel == 1) return panel;
    return g_hostActivePanel;
}

static std::wstring FfHostVirtualDisplay(const std::wstring& root, const std::wstring& pluginPath)
{
    return FF_HOST_VIRTUAL_PREFIX + root + (pluginPath == L"\\" ? std::wstring() : pluginPath);
}

// "C:\a\" -> "C:\a", but a drive root keeps its backslash.
static std::wstring FfHostTrimReal(std::wstring path)
{
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    if (path.size() == 2 && path[1] == L':') path += L'\\';
    return path;
}

static bool FfHostListReal(const std::wstring& folder, std::vector<FfHostEntry>* items)
{
    items->clear();
    std::wstring pattern = folder + (folder.back() == L'\\' ? L"*" : L"\\*");
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        FfHostEntry item;
        item.name = name;
        item.attributes = fd.dwFileAttributes;
        item.size = ((unsigned long long)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
        item.modified = fd.ftLastWriteTime;
        items->push_back(item);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    // Folders first, then names without regard to case, as a file manager shows them.
    std::sort(items->begin(), items->end(), [](const FfHostEntry& a, const FfHostEntry& b) {
        bool da = (a.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0, db = (b.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (da != db) return da;
        return _wcsicmp(a.name.c_str(), b.name.c_str()) < 0;
    });
    return true;
}

static void FfHostFillList(int panel, const std::wstring& cursorName)
{
    FfHostPanel& p = g_hostPanels[panel];
    if (!p.list) return;
    SendMessageW(p.list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(p.list, LB_RESETCONTENT, 0, 0);
    for (const auto& item : p.items) {
        std::wstring text = (item.attributes & FILE_ATTRIBUTE_DIRECTORY) ? L"[" + item.name + L"]" : item.name;
        for (const auto& column : item.columns)
            if (!column.empty()) text += L"    " + column;
        SendMessageW(p.list, LB_ADDSTRING, 0, (LPARAM)text.c_str());
    }
    int cursor = p.items.empty() ? -1 : 0;
    if (!cursorName.empty()) {
        int found = FfHostFindItem(panel, cursorName);
        if (found >= 0) cursor = found;
    }
    SendMessageW(p.list, LB_SETCURSEL, (WPARAM)cursor, 0);
    SendMessageW(p.list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(p.list, nullptr, TRUE);
    if (g_hostMainWindow) InvalidateRect(g_hostMainWindow, nullptr, TRUE);  // folder captions
}

// Puts a listed folder into the panel.
static void FfHostShow(int panel, const std::wstring& folder, std::vector<FfHostEntry>& items,
                       const std::vector<FfHostColumn>& columns, const std::wstring& cursorName, bool remember)
{
    FfHostPanel& p = g_hostPanels[panel];
    if (remember && !p.folder.empty() && _wcsicmp(p.folder.c_str(), folder.c_str()) != 0) {
        p.history.push_back(p.folder);
        if (p.history.size() > 64) p.history.erase(p.history.begin());
    }
    p.folder = folder;
    p.items.swap(items);
    p.columns = columns;
    FfHostFillList(panel, cursorName);
    FfHostRecordEvent(L"folder", panel, folder);
}

static bool FfHostListVirtual(const std::wstring& root, const std::wstring& pluginPath,
                              std::vector<FfHostEntry>* items, std::vector<FfHostColumn>* columns)
{
    if (!FfHostListPlugin(root, pluginPath, items)) return false;
    *columns = FfHostLoadColumns(g_hostConfig, root);
    FfHostFillColumns(root, pluginPath, *columns, items);
    return true;
}

static bool FfHostChangeVirtual(int panel, const std::wstring& root, const std::wstring& pluginPath, bool remember)
{
    if (!FfHostEnsurePlugin(root)) return false;
    std::vector<FfHostEntry> items;
    std::vector<FfHostColumn> columns;
    if (pluginPath != L"\\") {
        // A path that names a file shows its folder with the cursor on the file.
        size_t slash = pluginPath.rfind(L'\\');
        std::wstring parent = slash == 0 ? L"\\" : pluginPath.substr(0, slash);
        std::wstring leaf = pluginPath.substr(slash + 1);
        if (FfHostListVirtual(root, parent, &items, &columns)) {
            for (const auto& item : items) {
                if (_wcsicmp(item.name.c_str(), leaf.c_str()) == 0 && !(item.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    FfHostShow(panel, FfHostVirtualDisplay(root, parent), items, columns, item.name, remember);
                    return true;
                }
            }
        }
    }
    if (!FfHostListVirtual(root, pluginPath, &items, &columns)) return false;
    FfHostShow(panel, FfHostVirtualDisplay(root, pluginPath), items, columns, std::wstring(), remember);
    return true;
}

bool FfHostChangeFolder(int panel, const std::wstring& path, bool remember)
{
    panel = FfHostResolvePanel(panel);
    if (path.empty()) return false;
    std::wstring root, pluginPath;
    if (FfHostSplitVirtualPath(path, &root, &pluginPath)) return FfHostChangeVirtual(panel, root, pluginPath, remember);
    std::wstring real = FfHostTrimReal(path);
    DWORD attributes = GetFileAttributesW(real.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    std::vector<FfHostEntry> items;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (!FfHostListReal(real, &items)) return false;
        FfHostShow(panel, real, items, std::vector<FfHostColumn>(), std::wstring(), remember);
        return true;
    }
    size_t slash = real.rfind(L'\\');
    if (slash == std::wstring::npos) return false;
    std::wstring parent = FfHostTrimReal(real.substr(0, slash + 1));
    if (!FfHostListReal(parent, &items)) return false;
    FfHostShow(panel, parent, items, std::vector<FfHostColumn>(), real.substr(slash + 1), remember);
    return true;
}

bool FfHostGoBack(int panel)
{
    FfHostPanel& p = g_hostPanels[FfHostResolvePanel(panel)];
    while (!p.history.empty()) {
        std::wstring previous = p.history.back();
        p.history.pop_back();
        if (FfHostChangeFolder(panel, previous, false)) return true;
    }
    return false;
}

bool FfHostRefreshPanel(int panel)
{
    panel = FfHostResolvePanel(panel);
    std::wstring cursor = FfHostCurrentItem(panel);
    std::wstring folder = g_hostPanels[panel].folder;
    std::wstring root, pluginPath;
    std::vector<FfHostEntry> items;
    std::vector<FfHostColumn> columns;
    if (FfHostSplitVirtualPath(folder, &root, &pluginPath)) {
        if (!FfHostListVirtual(root, pluginPath, &items, &columns)) return false;
    } else if (folder.empty() || !FfHostListReal(folder, &items)) {
        return false;
    }
    FfHostPanel& p = g_hostPanels[panel];
    p.items.swap(items);
    p.columns = columns;
    FfHostFillList(panel, cursor);
    return true;
}

void FfHostActivatePanel(int panel)
{
    panel = FfHostResolvePanel(panel);
    g_hostActivePanel = panel;
    if (g_hostPanels[panel].list) SetFocus(g_hostPanels[panel].list);
}

int FfHostFindItem(int panel, const std::wstring& name)
{
    const FfHostPanel& p = g_hostPanels[FfHostResolvePanel(panel)];
    for (size_t i = 0; i < p.items.size(); ++i)
        if (p.items[i].name == name) return (int)i;
    for (size_t i = 0; i < p.items.size(); ++i)
        if (_wcsicmp(p.items[i].name.c_str(), name.c_str()) == 0) return (int)i;
    return -1;
}

std::wstring FfHostCurrentItem(int panel)
{
    const FfHostPanel& p = g_hostPanels[FfHostResolvePanel(panel)];
    if (!p.list) return std::wstring();
    LRESULT index = SendMessageW(p.list, LB_GETCURSEL, 0, 0);
    if (index < 0 || (size_t)index >= p.items.size()) return std::wstring();
    return p.items[(size_t)index].name;
}

static std::wstring FfHostJoin(const std::wstring& folder, const std::wstring& name)
{
    return folder + (!folder.empty() && folder.back() == L'\\' ? L"" : L"\\") + name;
}

static std::wstring FfHostParentFolder(const std::wstring& folder)
{
    std::wstring root, pluginPath;
    if (FfHostSplitVirtualPath(folder, &root, &pluginPath)) {
        if (pluginPath == L"\\") return folder;
        size_t slash = pluginPath.rfind(L'\\');
        return FfHostVirtualDisplay(root, slash == 0 ? L"\\" : pluginPath.substr(0, slash));
    }
    size_t slash = folder.rfind(L'\\');
    if (slash == std::wstring::npos || folder.size() <= 3) return folder;
    return FfHostTrimReal(folder.substr(0, slash + 1));
}

bool FfHostGoUp(int panel)
{
    panel = FfHostResolvePanel(panel);
    std::wstring folder = g_hostPanels[panel].folder;
    std::wstring parent = FfHostParentFolder(folder);
    if (parent == folder) return false;
    return FfHostChangeFolder(panel, parent, true);
}

int FfHostCopyItem(const std::wstring& name, bool move)
{
    int panel = g_hostActivePanel;
    int index = FfHostFindItem(panel, name);
    if (index < 0) return FF_HOST_OP_NOT_FOUND;
    FfHostEntry item = g_hostPanels[panel].items[(size_t)index];
    const std::wstring& target = g_hostPanels[1 - panel].folder;
    std::wstring targetRoot, targetPath;
    if (target.empty() || FfHostSplitVirtualPath(target, &targetRoot, &targetPath)) return FF_HOST_OP_NO_PLUGIN;
    std::wstring local = FfHostJoin(target, item.name);
    std::wstring root, pluginPath;
    int result;
    if (FfHostSplitVirtualPath(g_hostPanels[panel].folder, &root, &pluginPath)) {
        // The host's protocol: never the overwrite bit at first; the plug-in reports an existing
        // target, the user is asked, and only a "yes" calls again with the bit.
        int flags = move ? FF_HOST_COPYFLAG_MOVE : 0;
        result = FfHostPluginGetFile(root, pluginPath, item, local, flags);
        if (result == FF_HOST_FILE_EXISTS) {
            FfHostRecordEvent(L"exists", g_hostOverwriteAnswer, local);
            if (g_hostOverwriteAnswer != FF_HOST_OVERWRITE_YES) return FF_HOST_OP_SKIPPED;
            result = FfHostPluginGetFile(root, pluginPath, item, local, flags | FF_HOST_COPYFLAG_OVERWRITE);
        }
    } else {
        std::wstring source = FfHostJoin(g_hostPanels[panel].folder, item.name);
        bool exists = GetFileAttributesW(local.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists && g_hostOverwriteAnswer != FF_HOST_OVERWRITE_YES) return FF_HOST_OP_SKIPPED;
        result = CopyFileW(source.c_str(), local.c_str(), FALSE) ? 0 : 3;
        if (result == 0 && move) result = DeleteFileW(source.c_str()) ? 0 : 3;
    }
    FfHostRefreshPanel(1 - panel);
    // A move takes the item out of the source panel; a failed one leaves it listed.
    if (move) FfHostRefreshPanel(panel);
    return result;
}

int FfHostOpenItem(const std::wstring& name)
{
    int panel = g_hostActivePanel;
    if (name == L"..") return FfHostGoUp(panel) ? 0 : 1;
    int index = FfHostFindItem(panel, name);
    if (index < 0) return FF_HOST_OP_NOT_FOUND;
    FfHostEntry item = g_hostPanels[panel].items[(size_t)index];
    std::wstring folder = g_hostPanels[panel].folder;
    if (item.attributes & FILE_ATTRIBUTE_DIRECTORY) return FfHostChangeFolder(panel, FfHostJoin(folder, item.name), true) ? 0 : 1;
    std::wstring root, pluginPath;
    if (!FfHostSplitVirtualPath(folder, &root, &pluginPath)) return FF_HOST_OP_NO_PLUGIN;
    int result = FfHostPluginExecute(root, g_hostMainWindow, pluginPath, item, L"open");
    // -1 asks the host to open the file itself; the stand-in only records that it was asked.
    FfHostRecordEvent(L"execute", result, item.name, L"open");
    return result;
}

int FfHostPropertiesItem(const std::wstring& name)
{
    int panel = g_hostActivePanel;
    int index = FfHostFindItem(panel, name);
    if (index < 0) return FF_HOST_OP_NOT_FOUND;
    FfHostEntry item = g_hostPanels[panel].items[(size_t)index];
    std::wstring root, pluginPath;
    if (!FfHostSplitVirtualPath(g_hostPanels[panel].folder, &root, &pluginPath)) return FF_HOST_OP_NO_PLUGIN;
    int result = FfHostPluginExecute(root, g_hostMainWindow, pluginPath, item, L"properties");
    FfHostRecordEvent(L"execute", result, item.name, L"properties");
    return result;
}

int FfHostDeleteItem(const std::wstring& name)
{
    int panel = g_hostActivePanel;
    int index = FfHostFindItem(panel, name);
    if (index < 0) return FF_HOST_OP_NOT_FOUND;
    FfHostEntry item = g_hostPanels[panel].items[(size_t)index];
    std::wstring root, pluginPath;
    int result;
    if (FfHostSplitVirtualPath(g_hostPanels[panel].folder, &root, &pluginPath)) {
        result = FfHostPluginDelete(root, pluginPath, item);
    } else {
        // The stand-in never deletes real files of its own accord.
        return FF_HOST_OP_NO_PLUGIN;
    }
    FfHostRefreshPanel(panel);
    return result;
}
