// Dragging results out of the list: the real files handed to the drop target as the system's
// file windows hand them (CF_HDROP and "Preferred DropEffect": copy, or move with Shift).
#include "overlay/list.h"
#include "overlay/overlay.h"
#include "core/core.h"
#include "search/search.h"

#include <ole2.h>
#include <shlobj.h>
#include <string.h>

#ifndef CFSTR_PREFERREDDROPEFFECT
#define CFSTR_PREFERREDDROPEFFECT L"Preferred DropEffect"
#endif

int FfBuildDropFiles(const wchar_t* const* paths, int count, void* out, int cap)
{
    // A DROPFILES head, then each path with its terminator, then one more terminator.
    size_t size = sizeof(DROPFILES) + sizeof(wchar_t);
    for (int i = 0; i < count; i++) size += (wcslen(paths[i]) + 1) * sizeof(wchar_t);
    if (!out || size > (size_t)cap) return (int)size;
    memset(out, 0, size);
    DROPFILES* head = (DROPFILES*)out;
    head->pFiles = sizeof(DROPFILES);
    head->fWide = TRUE;
    wchar_t* p = (wchar_t*)((BYTE*)out + sizeof(DROPFILES));
    for (int i = 0; i < count; i++) {
        size_t length = wcslen(paths[i]) + 1;
        memcpy(p, paths[i], length * sizeof(wchar_t));
        p += length;
    }
    return (int)size;
}

DWORD FfPreferredDropEffect(bool shiftHeld)
{
    return shiftHeld ? DROPEFFECT_MOVE : DROPEFFECT_COPY;
}

static UINT FfPreferredEffectFormat()
{
    static UINT format = 0;
    if (!format) format = RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT);
    return format;
}

// The data object: two global blocks, handed out as copies.
class FfDropDataObject final : public IDataObject {
public:
    FfDropDataObject(HGLOBAL files, HGLOBAL effect) : m_refs(1), m_files(files), m_effect(effect) {}
    ~FfDropDataObject()
    {
        GlobalFree(m_files);
        GlobalFree(m_effect);
    }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IDataObject) ? static_cast<IDataObject*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return (ULONG)InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return (ULONG)refs;
    }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        HGLOBAL block = FfBlockFor(format);
        if (!block || !medium) return DV_E_FORMATETC;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = OleDuplicateData(block, format->cfFormat, GMEM_MOVEABLE);
        medium->pUnkForRelease = nullptr;
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override { return FfBlockFor(format) ? S_OK : DV_E_FORMATETC; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        if (out) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    // What a target reports back (the effect it performed) is not needed: the target moves.
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override
    {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC formats[2] = {{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
                                {(CLIPFORMAT)FfPreferredEffectFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}};
        return SHCreateStdEnumFmtEtc(2, formats, out);
    }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    HGLOBAL FfBlockFor(const FORMATETC* format) const
    {
        if (!format || !(format->tymed & TYMED_HGLOBAL) || format->dwAspect != DVASPECT_CONTENT) return nullptr;
        if (format->cfFormat == CF_HDROP) return m_files;
        if (format->cfFormat == FfPreferredEffectFormat()) return m_effect;
        return nullptr;
    }
    LONG m_refs;
    HGLOBAL m_files;
    HGLOBAL m_effect;
};

class FfDropSource final : public IDropSource {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (!out) return E_POINTER;
        *out = (iid == IID_IUnknown || iid == IID_IDropSource) ? static_cast<IDropSource*>(this) : nullptr;
        if (!*out) return E_NOINTERFACE;
        return S_OK;
    }
    // Lives on the stack of the one drag.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL escape, DWORD keys) override
    {
        if (escape) return DRAGDROP_S_CANCEL;
        if (!(keys & MK_LBUTTON)) return DRAGDROP_S_DROP;
        return S_OK;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

IDataObject* FfCreateDropDataObject(const wchar_t* const* paths, int count, DWORD preferredEffect)
{
    if (!paths || count < 1) return nullptr;
    int size = FfBuildDropFiles(paths, count, nullptr, 0);
    HGLOBAL files = GlobalAlloc(GMEM_MOVEABLE, (SIZE_T)size);
    HGLOBAL effect = GlobalAlloc(GMEM_MOVEABLE, sizeof(DWORD));
    void* filesData = files ? GlobalLock(files) : nullptr;
    void* effectData = effect ? GlobalLock(effect) : nullptr;
    if (!filesData || !effectData) {
        if (filesData) GlobalUnlock(files);
        if (effectData) GlobalUnlock(effect);
        if (files) GlobalFree(files);
        if (effect) GlobalFree(effect);
        return nullptr;
    }
    FfBuildDropFiles(paths, count, filesData, size);
    memcpy(effectData, &preferredEffect, sizeof preferredEffect);
    GlobalUnlock(files);
    GlobalUnlock(effect);
    return new FfDropDataObject(files, effect);
}

int FfDragResultsOut(const int* indexes, int count, bool shiftHeld)
{
    static const wchar_t* paths[FF_SELECTED_INDEXES_MAX];
    int n = 0;
    for (int i = 0; i < count && n < FF_SELECTED_INDEXES_MAX; i++)
        if (indexes[i] >= 0 && indexes[i] < g_resultCount) paths[n++] = g_results[indexes[i]].path;
    DWORD preferred = FfPreferredDropEffect(shiftHeld);
    IDataObject* data = FfCreateDropDataObject(paths, n, preferred);
    if (!data) {
        FfLog(L"FfDragResultsOut: nothing to drag (%d results) or no memory - FAILED", n);
        return 0;
    }
    FfDropSource source;
    DWORD effect = DROPEFFECT_NONE;
    // Modal until the button is let go; the overlay stays open and painted meanwhile.
    HRESULT result = DoDragDrop(data, &source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    data->Release();
    FfLog(L"FfDragResultsOut: %d result(s), preferred %s, %s (effect %lu, hr 0x%08lX), first %s", n,
          preferred == DROPEFFECT_MOVE ? L"move" : L"copy",
          result == DRAGDROP_S_DROP ? L"dropped" : L"not dropped", effect, (unsigned long)result, paths[0]);
    return result == DRAGDROP_S_DROP ? (int)effect : 0;
}

// ---- the press that may become a drag ----------------------------------------------------

static bool g_dragArmed = false;     // the button went down on a selected row without Ctrl/Shift
static bool g_dragHeldBack = false;  // that press was kept from the list box (it was on a selected row)
static POINT g_dragStart;            // where it went down, list client coordinates
static WPARAM g_dragDownWParam;
static LPARAM g_dragDownLParam;

bool FfDragOutButtonDown(HWND list, WPARAM wParam, LPARAM lParam, LRESULT (*base)(HWND, UINT, WPARAM, LPARAM))
{
    g_dragArmed = false;
    int x = (short)LOWORD(lParam), y = (short)HIWORD(lParam);
    if ((wParam & (MK_CONTROL | MK_SHIFT)) || x < 0 || y < 0) return false;
    LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, lParam);
    if (HIWORD(hit) != 0 || (int)LOWORD(hit) >= g_resultCount) return false;
    g_dragStart.x = x;
    g_dragStart.y = y;
    g_dragDownWParam = wParam;
    g_dragDownLParam = lParam;
    g_dragArmed = true;
    // A press on a selected row keeps the selection (several rows drag together); a click
    // without a drag hands it to the list box when the button comes up.
    g_dragHeldBack = SendMessageW(list, LB_GETSEL, LOWORD(hit), 0) > 0;
    if (!g_dragHeldBack) {
        base(list, WM_LBUTTONDOWN, wParam, lParam);
        return true;
    }
    SetFocus(list);
    SetCapture(list);
    return true;
}

bool FfDragOutMouseMove(HWND list, WPARAM wParam, LPARAM lParam, LRESULT (*base)(HWND, UINT, WPARAM, LPARAM))
{
    if (!g_dragArmed) return false;
    if (!(wParam & MK_LBUTTON)) {
        g_dragArmed = false;
        return false;
    }
    int dx = (short)LOWORD(lParam) - g_dragStart.x, dy = (short)HIWORD(lParam) - g_dragStart.y;
    if (dx < 0) dx = -dx;
    if (dy < 0) dy = -dy;
    // Within the system's drag rectangle the press is still a click: the list box does not see the move.
    if (dx * 2 <= GetSystemMetrics(SM_CXDRAG) && dy * 2 <= GetSystemMetrics(SM_CYDRAG)) return true;
    g_dragArmed = false;
    if (g_dragHeldBack) ReleaseCapture();
    else base(list, WM_LBUTTONUP, 0, g_dragDownLParam);  // ends the list box's own tracking
    int indexes[FF_SELECTED_INDEXES_MAX];
    int n = FfGetSelectedResultIndexes(indexes);
    FfDragResultsOut(indexes, n, (wParam & MK_SHIFT) != 0 || FfKeyHeld(VK_SHIFT));
    return true;
}

bool FfDragOutButtonUp(HWND list, LRESULT (*base)(HWND, UINT, WPARAM, LPARAM))
{
    if (!g_dragArmed) return false;
    g_dragArmed = false;
    if (!g_dragHeldBack) return false;
    ReleaseCapture();
    // A click without a drag: the list box gets it whole and selects as it always did.
    base(list, WM_LBUTTONDOWN, g_dragDownWParam, g_dragDownLParam);
    base(list, WM_LBUTTONUP, 0, g_dragDownLParam);
    return true;
}

void FfDragOutCancel()
{
    g_dragArmed = false;
}
