// The panels take files dropped on them, as a file manager's panels do: CF_HDROP copied into the
// panel's folder, or moved with Shift or when the source prefers a move ("Preferred DropEffect").
#include "host.h"
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#ifndef CFSTR_PREFERREDDROPEFFECT
#define CFSTR_PREFERREDDROPEFFECT L"Preferred DropEffect"
#endif

DWORD FfHostDropEffect(DWORD keyState, DWORD preferred, DWORD allowed, bool realFolder)
{
    // A plug-in's folder takes no files here (the stand-in has no upload for plug-ins).
    if (!realFolder) return DROPEFFECT_NONE;
    DWORD wanted = DROPEFFECT_COPY;
    if (keyState & MK_SHIFT) wanted = DROPEFFECT_MOVE;
    else if (keyState & MK_CONTROL) wanted = DROPEFFECT_COPY;
    else if (preferred & DROPEFFECT_MOVE) wanted = DROPEFFECT_MOVE;
    if (allowed & wanted) return wanted;
    return (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

static bool FfHostPanelShowsRealFolder(int panel)
{
    std::wstring root, pluginPath;
    const std::wstring& folder = g_hostPanels[panel].folder;
    return !folder.empty() && !FfHostSplitVirtualPath(folder, &root, &pluginPath);
}

static DWORD FfHostPreferredEffect(IDataObject* data)
{
    FORMATETC format = {(CLIPFORMAT)RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT), nullptr, DVASPECT_CONTENT, -1,
                        TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (!data || FAILED(data->GetData(&format, &medium))) return DROPEFFECT_NONE;
    DWORD effect = DROPEFFECT_NONE;
    const void* p = GlobalLock(medium.hGlobal);
    if (p && GlobalSize(medium.hGlobal) >= sizeof effect) memcpy(&effect, p, sizeof effect);
    if (p) GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return effect;
}

static std::vector<std::wstring> FfHostDroppedFiles(IDataObject* data)
{
    std::vector<std::wstring> files;
    FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (!data || FAILED(data->GetData(&format, &medium))) return files;
    HDROP drop = (HDROP)GlobalLock(medium.hGlobal);
    UINT count = drop ? DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) : 0;
    for (UINT i = 0; i < count; i++) {
        wchar_t path[4096];
        if (DragQueryFileW(drop, i, path, 4096)) files.push_back(path);
    }
    if (drop) GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    return files;
}

int FfHostDropFiles(int panel, const std::vector<std::wstring>& files, DWORD effect)
{
    const std::wstring folder = g_hostPanels[panel].folder;
    std::wstring names;
    int done = 0;
    for (const std::wstring& source : files) {
        size_t slash = source.rfind(L'\\');
        std::wstring name = slash == std::wstring::npos ? source : source.substr(slash + 1);
        std::wstring target = folder + (folder.back() == L'\\' ? L"" : L"\\") + name;
        bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists && g_hostOverwriteAnswer != FF_HOST_OVERWRITE_YES) continue;
        bool folderItem = (GetFileAttributesW(source.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
        BOOL ok = FALSE;
        if (effect == DROPEFFECT_MOVE)
            ok = MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED | (exists ? MOVEFILE_REPLACE_EXISTING : 0));
        else if (!folderItem)
            ok = CopyFileW(source.c_str(), target.c_str(), FALSE);
        if (!ok) continue;
        done++;
        names += (names.empty() ? L"" : L"|") + name;
    }
    // number: the effect; path: the panel's folder; second: the names that arrived.
    FfHostRecordEvent(L"drop", (long long)effect, folder, names);
    FfHostRefreshPanel(0);
    FfHostRefreshPanel(1);
    return done;
}

// One per panel; registered for the host's life.
class FfHostDropTarget final : public IDropTarget {
public:
    explicit FfHostDropTarget(int panel) : m_panel(panel) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IDropTarget) ? static_cast<IDropTarget*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override
    {
        m_preferred = FfHostPreferredEffect(data);
        *effect = FfHostDropEffect(keys, m_preferred, *effect, FfHostPanelShowsRealFolder(m_panel));
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD keys, POINTL, DWORD* effect) override
    {
        *effect = FfHostDropEffect(keys, m_preferred, *effect, FfHostPanelShowsRealFolder(m_panel));
        return S_OK;
    }
    STDMETHODIMP DragLeave() override { return S_OK; }
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override
    {
        DWORD chosen = FfHostDropEffect(keys, FfHostPreferredEffect(data), *effect, FfHostPanelShowsRealFolder(m_panel));
        *effect = chosen;
        if (chosen != DROPEFFECT_NONE) FfHostDropFiles(m_panel, FfHostDroppedFiles(data), chosen);
        return S_OK;
    }

private:
    int m_panel;
    DWORD m_preferred = DROPEFFECT_NONE;
};

void FfHostRegisterDropTargets()
{
    if (FAILED(OleInitialize(nullptr))) return;
    static FfHostDropTarget targets[2] = {FfHostDropTarget(0), FfHostDropTarget(1)};
    for (int i = 0; i < 2; i++)
        if (g_hostPanels[i].list) RegisterDragDrop(g_hostPanels[i].list, &targets[i]);
}
