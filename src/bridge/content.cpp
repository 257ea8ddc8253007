// Content fields: each published entry's real path as a column of the host's panels.
#include "bridge/listing_internal.h"
#include "core/core.h"
#include "core/text.h"

#define FF_CONTENT_VALUE_BYTES 2048  // a real path narrowed to 8-bit

volatile LONG g_contentCallLogged = 0;

bool FfLookupPanelEntryByNameW(const wchar_t* fileName, FfFoundEntry* entry)
{
    if (!fileName || !entry) return false;
    const wchar_t* last = FfPathBaseName(fileName);
    // A name too long for an entry cannot equal one: no cut form is looked up.
    if (!last[0] || lstrlenW(last) > FF_PANEL_NAME_CHARS - 1) return false;
    return FfFindListedEntry(last, false, entry);
}

bool FfLookupPanelEntryByName(const char* fileName, FfFoundEntry* entry)
{
    wchar_t wide[FF_PANEL_PATH_CHARS];
    if (!FfWidenHostText(fileName, wide, FF_PANEL_PATH_CHARS)) return false;
    return FfLookupPanelEntryByNameW(wide, entry);
}

bool FfLookupItemRealPathW(const wchar_t* fileName, wchar_t* realPath)
{
    if (!realPath) return false;
    realPath[0] = 0;
    if (!fileName) return false;
    // An item of the plug-in's folder: the whole virtual path decides, as for a copy, so an
    // item inside a published folder never takes the path of a top-level namesake.
    if (fileName[0] == L'\\' && fileName[1] != L'\\') {
        int isFolder = 0;
        return FfResolveVirtualPathW(fileName, realPath, &isFolder);
    }
    // A file of some other panel: its name alone.
    FfFoundEntry entry;
    if (!FfLookupPanelEntryByNameW(fileName, &entry)) return false;
    FfCopyText(realPath, FF_PANEL_PATH_CHARS, entry.realPath);
    return true;
}

// Writes the real path of the item fileName names, or an empty text, into value.
static void FfCopyPathValue(const char* fileName, void* value, int maxLen)
{
    // On the stack, not static: several host threads may ask at once.
    wchar_t wide[FF_PANEL_PATH_CHARS];
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    char narrow[FF_CONTENT_VALUE_BYTES];
    narrow[0] = 0;
    if (FfWidenHostText(fileName, wide, FF_PANEL_PATH_CHARS) && FfLookupItemRealPathW(wide, realPath))
        FfNarrowName(realPath, narrow, FF_CONTENT_VALUE_BYTES);
    if (value && maxLen > 0) lstrcpynA((char*)value, narrow, maxLen);
}

// The wide value calls: the value buffer holds maxLen bytes, so maxLen / 2 characters.
static void FfCopyWideValue(void* value, int maxLen, const wchar_t* text)
{
    if (value && maxLen >= (int)sizeof(wchar_t)) FfCopyWholeChars((wchar_t*)value, maxLen / (int)sizeof(wchar_t), text);
}

static void FfCopyPathValueW(const wchar_t* fileName, void* value, int maxLen)
{
    wchar_t realPath[FF_PANEL_PATH_CHARS];
    FfLookupItemRealPathW(fileName, realPath);  // left empty when nothing is found
    FfCopyWideValue(value, maxLen, realPath);
}

static void FfCopyFieldText(char* buffer, const char* text, int maxLen)
{
    if (buffer && maxLen > 0) lstrcpynA(buffer, text, maxLen);
}

static void FfClearUnits(char* units, int maxLen)
{
    if (units && maxLen >= 1) units[0] = 0;
}

void __stdcall ContentGetDetectString(char* detectString, int maxLen)
{
    FfLog(L"ContentGetDetectString(maxlen=%d)", maxLen);
    if (detectString && maxLen > 0) detectString[0] = 0;
}

int __stdcall ContentGetSupportedField(int fieldIndex, char* fieldName, char* units, int maxLen)
{
    if (!g_contentCallLogged) FfLog(L"ContentGetSupportedField(FieldIndex=%d)", fieldIndex);
    if (fieldIndex == 0) {
        FfCopyFieldText(fieldName, "FF Status", maxLen);
    } else if (fieldIndex == 1) {
        FfCopyFieldText(fieldName, "Path", maxLen);
    } else {
        return FF_FIELD_TYPE_NONE;
    }
    FfClearUnits(units, maxLen);
    return FF_FIELD_TYPE_STRING;
}

int __stdcall FsContentGetSupportedField(int fieldIndex, char* fieldName, char* units, int maxLen)
{
    if (!g_contentCallLogged) FfLog(L"FsContentGetSupportedField(FieldIndex=%d)", fieldIndex);
    if (fieldIndex != 0) return FF_FIELD_TYPE_NONE;
    FfCopyFieldText(fieldName, "Path", maxLen);
    FfClearUnits(units, maxLen);
    return FF_FIELD_TYPE_STRING;
}

int __stdcall ContentGetValue(char* fileName, int fieldIndex, int, void* fieldValue, int maxLen, int)
{
    if (!g_contentCallLogged) {
        FfLog(L"ContentGetValue(FieldIndex=%d) - first call, further calls not logged", fieldIndex);
        g_contentCallLogged = 1;
    }
    if (fieldIndex == 0) {
        FfCopyFieldText((char*)fieldValue, "Active", maxLen);
    } else if (fieldIndex == 1) {
        FfCopyPathValue(fileName, fieldValue, maxLen);
    } else {
        return FF_FIELD_NO_SUCH_FIELD;
    }
    return FF_FIELD_TYPE_STRING;
}

int __stdcall FsContentGetValue(char* fileName, int fieldIndex, int, void* fieldValue, int maxLen, int)
{
    if (!g_contentCallLogged) {
        FfLog(L"FsContentGetValue(FieldIndex=%d) - first call, further calls not logged", fieldIndex);
        g_contentCallLogged = 1;
    }
    if (fieldIndex != 0) return FF_FIELD_NO_SUCH_FIELD;
    FfCopyPathValue(fileName, fieldValue, maxLen);
    return FF_FIELD_TYPE_STRING;
}

int __stdcall ContentGetValueW(WCHAR* fileName, int fieldIndex, int, void* fieldValue, int maxLen, int)
{
    if (!g_contentCallLogged) {
        FfLog(L"ContentGetValueW(FieldIndex=%d) - first call, further calls not logged", fieldIndex);
        g_contentCallLogged = 1;
    }
    if (fieldIndex == 0) {
        FfCopyWideValue(fieldValue, maxLen, L"Active");
    } else if (fieldIndex == 1) {
        FfCopyPathValueW(fileName, fieldValue, maxLen);
    } else {
        return FF_FIELD_NO_SUCH_FIELD;
    }
    return FF_FIELD_TYPE_WIDE_STRING;
}

int __stdcall FsContentGetValueW(WCHAR* fileName, int fieldIndex, int, void* fieldValue, int maxLen, int)
{
    if (!g_contentCallLogged) {
        FfLog(L"FsContentGetValueW(FieldIndex=%d) - first call, further calls not logged", fieldIndex);
        g_contentCallLogged = 1;
    }
    if (fieldIndex != 0) return FF_FIELD_NO_SUCH_FIELD;
    FfCopyPathValueW(fileName, fieldValue, maxLen);
    return FF_FIELD_TYPE_WIDE_STRING;
}
