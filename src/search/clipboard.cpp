// Clipboard snapshot: what the user had copied is put back after the host used the clipboard.
#include "search/search.h"
#include "core/core.h"
#include <string.h>

#define FF_CLIPBOARD_FORMATS_MAX 64
#define FF_CLIPBOARD_OPEN_WAIT_MS 500   // another program holds the clipboard only for moments
#define FF_CLIPBOARD_RETRY_MS 10

struct FfClipboardEntry {
    UINT format;
    HGLOBAL data;  // our own copy until it is handed back to the clipboard
};

struct FfClipboardSnapshot {
    DWORD sequence;  // the clipboard's sequence number right after the save
    int count;
    FfClipboardEntry entries[FF_CLIPBOARD_FORMATS_MAX];
};

// Formats whose data is a GDI object, a metafile handle inside a block, or private to the
// program that set it: these cannot be copied as plain memory and are dropped.
static bool FfIsMemoryFormat(UINT format)
{
    switch (format) {
    case CF_BITMAP:
    case CF_METAFILEPICT:
    case CF_PALETTE:
    case CF_ENHMETAFILE:
    case CF_OWNERDISPLAY:
    case CF_DSPBITMAP:
    case CF_DSPMETAFILEPICT:
    case CF_DSPENHMETAFILE:
        return false;
    }
    if (format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) return false;
    if (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST) return false;
    return true;
}

static HGLOBAL FfCopyGlobal(HGLOBAL source)
{
    SIZE_T size = GlobalSize(source);
    if (size == 0) return nullptr;
    const void* from = GlobalLock(source);
    if (!from) return nullptr;
    HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, size);
    void* to = copy ? GlobalLock(copy) : nullptr;
    if (to) {
        memcpy(to, from, size);
        GlobalUnlock(copy);
    } else if (copy) {
        GlobalFree(copy);
        copy = nullptr;
    }
    GlobalUnlock(source);
    return copy;
}

static void FfFreeSnapshot(FfClipboardSnapshot* snapshot)
{
    for (int i = 0; i < snapshot->count; i++) {
        if (snapshot->entries[i].data) GlobalFree(snapshot->entries[i].data);
    }
    HeapFree(GetProcessHeap(), 0, snapshot);
}

bool FfOpenClipboardPatiently(HWND owner)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (OpenClipboard(owner)) return true;
        if (GetTickCount() - start >= FF_CLIPBOARD_OPEN_WAIT_MS) return false;
        // Wait without sleeping through sent messages: the keyboard hook is called that way and
        // the system drops a hook that does not answer in time. Posted messages stay queued.
        MsgWaitForMultipleObjectsEx(0, nullptr, FF_CLIPBOARD_RETRY_MS, QS_SENDMESSAGE, 0);
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

FfClipboardSnapshot* FfSaveClipboard(HWND owner)
{
    if (!FfOpenClipboardPatiently(owner)) return nullptr;
    FfClipboardSnapshot* snapshot =
        (FfClipboardSnapshot*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FfClipboardSnapshot));
    if (!snapshot) {
        CloseClipboard();
        return nullptr;
    }
    UINT format = 0;
    while ((format = EnumClipboardFormats(format)) != 0 && snapshot->count < FF_CLIPBOARD_FORMATS_MAX) {
        if (!FfIsMemoryFormat(format)) continue;
        HANDLE data = GetClipboardData(format);
        if (!data) continue;
        HGLOBAL copy = FfCopyGlobal((HGLOBAL)data);
        if (!copy) continue;
        snapshot->entries[snapshot->count].format = format;
        snapshot->entries[snapshot->count].data = copy;
        snapshot->count++;
    }
    CloseClipboard();
    // An empty clipboard is a snapshot too: it is what gets put back.
    snapshot->sequence = GetClipboardSequenceNumber();
    return snapshot;
}

void FfRestoreClipboard(HWND owner, FfClipboardSnapshot* snapshot)
{
    if (!snapshot) return;
    // Unchanged since the save (the host did not answer): rewriting it would only drop the
    // formats the snapshot could not copy and take it from the program that set it.
    if (GetClipboardSequenceNumber() == snapshot->sequence) {
        FfFreeSnapshot(snapshot);
        return;
    }
    if (FfOpenClipboardPatiently(owner)) {
        EmptyClipboard();
        for (int i = 0; i < snapshot->count; i++) {
            // On success the clipboard owns the block; otherwise it stays ours to free.
            if (SetClipboardData(snapshot->entries[i].format, snapshot->entries[i].data))
                snapshot->entries[i].data = nullptr;
        }
        CloseClipboard();
    } else {
        FfLog(L"FfRestoreClipboard: clipboard FAILED to open within %d ms - the host's folder path "
              L"stays on it; what it held before is lost.",
              FF_CLIPBOARD_OPEN_WAIT_MS);
    }
    FfFreeSnapshot(snapshot);
}
