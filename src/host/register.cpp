// Self-registration in the host's wincmd.ini: the plug-in entry, the hotkey shortcut, the column view.
// Only this plug-in's own keys are written, and only through the platform's ini functions, so every
// other line of the user's file (and its encoding) stays as it was.
#include "host/host.h"
#include "core/core.h"
#include "core/text.h"

#include <wchar.h>

#define FF_SHORTCUT_KEY_MAX 16
#define FF_SHORTCUT_PARAMS_KEY_MAX 24
#define FF_SHORT_VALUE_MAX 64

static const wchar_t* const FF_SHORTCUTS_SECTION = L"Shortcuts";

// The value "ok" of a write in the log lines.
static const wchar_t* FfOkText(bool ok)
{
    return ok ? L"OK" : L"FAILED";
}

FfIniEncoding FfDetectIniEncoding(const wchar_t* file)
{
    HANDLE handle = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return FF_INI_ANSI;  // the platform's ini writer creates a missing file as ANSI
    unsigned char head[3] = {0, 0, 0};
    DWORD got = 0;
    if (!ReadFile(handle, head, 3, &got, nullptr))
        got = 0;
    CloseHandle(handle);
    if (got >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
        return FF_INI_UTF16;
    if (got == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        return FF_INI_UTF8;
    return FF_INI_ANSI;
}

bool FfTextFitsCodePage(const wchar_t* text, UINT codePage)
{
    if (text == nullptr)
        return false;
    // UTF-8 holds every character; only a lone surrogate has no form in it. It also takes
    // neither the best-fit flag nor the used-default flag.
    if (codePage == CP_UTF8)
        return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0, nullptr, nullptr) > 0;
    // Without WC_NO_BEST_FIT_CHARS "\u0141" would quietly become "L": another path, not this one.
    BOOL usedDefault = FALSE;
    int got = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &usedDefault);
    return got > 0 && !usedDefault;
}

bool FfChooseRegisteredPath(const wchar_t* modulePath, const wchar_t* shortPath, FfIniEncoding encoding,
                            UINT codePage, wchar_t* out, int cap)
{
    if (out == nullptr || cap <= 0)
        return false;
    out[0] = L'\0';
    if (modulePath == nullptr || modulePath[0] == L'\0')
        return false;
    // A cut path names another file: a text that does not fit whole is no choice.
    if (encoding == FF_INI_UTF16) {
        if ((int)wcslen(modulePath) >= cap)
            return false;
        FfCopyText(out, cap, modulePath);
        return true;
    }
    UINT fileCodePage = encoding == FF_INI_UTF8 ? CP_UTF8 : codePage;
    const wchar_t* candidates[2] = {modulePath, shortPath};
    for (int i = 0; i < 2; ++i) {
        const wchar_t* text = candidates[i];
        if (text != nullptr && text[0] != L'\0' && (int)wcslen(text) < cap
            && FfTextFitsCodePage(text, fileCodePage)) {
            FfCopyText(out, cap, text);
            return true;
        }
    }
    return false;
}

// The encoding's name in the log lines.
static const wchar_t* FfIniEncodingName(FfIniEncoding encoding)
{
    return encoding == FF_INI_UTF16 ? L"UTF-16" : encoding == FF_INI_UTF8 ? L"UTF-8" : L"ANSI";
}

void FfSelfRegisterWfxPlugin(void)
{
    wchar_t iniPath[FF_INI_PATH_MAX];
    wchar_t file[FF_INI_PATH_MAX];
    wchar_t existing[FF_INI_PATH_MAX];
    wchar_t modulePath[FF_INI_PATH_MAX];
    wchar_t shortPath[FF_INI_PATH_MAX];
    wchar_t value[FF_INI_PATH_MAX];

    if (!FfFindWincmdIni(iniPath, FF_INI_PATH_MAX)) {
        FfLog(L"FfSelfRegisterWfxPlugin: could not locate wincmd.ini - skipping self-registration.");
        return;
    }
    FfResolveIniRedirect(iniPath, L"FileSystemPlugins", file, FF_INI_PATH_MAX);

    GetPrivateProfileStringW(L"FileSystemPlugins", FF_PRODUCT_NAME, L"", existing, FF_INI_PATH_MAX, file);
    if (existing[0] != L'\0') {
        FfLog(L"FfSelfRegisterWfxPlugin: already registered in %s as \"%s\" - leaving as-is.", file,
              existing);
        return;
    }

    // A cut module name would register a file that does not exist: treat it as a failure.
    SetLastError(0);
    DWORD got = GetModuleFileNameW(g_moduleHandle, modulePath, FF_INI_PATH_MAX);
    if (got == 0 || got >= FF_INI_PATH_MAX) {
        DWORD error = GetLastError();
        if (got != 0 && error == 0)
            error = ERROR_INSUFFICIENT_BUFFER;
        FfLog(L"FfSelfRegisterWfxPlugin: GetModuleFileNameW failed (GetLastError=%lu) - skipping.", error);
        return;
    }

    // An ANSI file turns characters outside its code page into others, and the host would then
    // look for a library that does not exist; the short form is made of characters it can hold.
    // A volume without short names gives back the long path (or nothing).
    FfIniEncoding encoding = FfDetectIniEncoding(file);
    DWORD shortGot = GetShortPathNameW(modulePath, shortPath, FF_INI_PATH_MAX);
    if (shortGot == 0 || shortGot >= FF_INI_PATH_MAX)
        shortPath[0] = L'\0';
    UINT codePage = GetACP();
    if (!FfChooseRegisteredPath(modulePath, shortPath, encoding, codePage, value, FF_INI_PATH_MAX)) {
        FfLog(L"FfSelfRegisterWfxPlugin: the library's path %s cannot be written to %s (%s, code page %u) "
              L"and has no short form that can - nothing written, the plug-in must be registered by hand "
              L"([FileSystemPlugins] Fleetfinder=<the library's path>).",
              modulePath, file, FfIniEncodingName(encoding), codePage);
        return;
    }

    bool ok = WritePrivateProfileStringW(L"FileSystemPlugins", FF_PRODUCT_NAME, value, file) != FALSE;
    FfLog(L"FfSelfRegisterWfxPlugin: %s writing [FileSystemPlugins] Fleetfinder=%s to %s. Restart Total "
          L"Commander for this to be picked up if it just got added.",
          FfOkText(ok), value, file);
}

// The key of one "key=value" entry, when it is a single-key Ctrl+Alt binding ("CA+x", exactly).
static bool FfIsSingleKeyCtrlAltBinding(const wchar_t* entry, const wchar_t* equals)
{
    return equals != nullptr && equals - entry == 4 && entry[0] == L'C' && entry[1] == L'A'
        && entry[2] == L'+';
}

void FfPruneStaleHotkeyShortcuts(const wchar_t* shortcutsFile, const wchar_t* hotkeyKey,
                                 const wchar_t* expectedFolder)
{
    static wchar_t section[FF_SHORTCUTS_SECTION_MAX];
    if (shortcutsFile == nullptr || hotkeyKey == nullptr || expectedFolder == nullptr)
        return;

    DWORD got = GetPrivateProfileSectionW(FF_SHORTCUTS_SECTION, section, FF_SHORTCUTS_SECTION_MAX,
                                          shortcutsFile);
    if (got == 0) {
        FfLog(L"FfPruneStaleHotkeyShortcuts: [Shortcuts] section empty or unreadable in %s - nothing "
              L"to prune.",
              shortcutsFile);
        return;
    }
    // When the section did not fit, its last entry may be cut ("CD" out of "CDOPEN"): never judge
    // a binding by a cut line. The list then ends after the last entry that is surely whole.
    DWORD end = got;
    if (got >= FF_SHORTCUTS_SECTION_MAX - 2) {
        end = 0;
        for (DWORD i = 0; i + 1 < got; ++i)
            if (section[i] == L'\0')
                end = i + 1;
    }
    if (end >= FF_SHORTCUTS_SECTION_MAX)
        end = FF_SHORTCUTS_SECTION_MAX - 1;
    section[end] = L'\0';

    const wchar_t* entry = section;
    while (entry < section + end && entry[0] != L'\0') {
        size_t length = wcslen(entry);
        const wchar_t* equals = wcschr(entry, L'=');
        if (FfIsSingleKeyCtrlAltBinding(entry, equals)) {
            wchar_t key[FF_SHORTCUT_KEY_MAX];
            FfCopyTextN(key, FF_SHORTCUT_KEY_MAX, entry, 4);
            if (!FfEqualTextI(key, hotkeyKey) && FfEqualTextI(equals + 1, L"CD")) {
                wchar_t paramsKey[FF_SHORTCUT_PARAMS_KEY_MAX];
                wchar_t params[FF_SHORT_VALUE_MAX];
                FfFormatText(paramsKey, FF_SHORTCUT_PARAMS_KEY_MAX, L"%s_params", key);
                GetPrivateProfileStringW(FF_SHORTCUTS_SECTION, paramsKey, L"", params, FF_SHORT_VALUE_MAX,
                                         shortcutsFile);
                size_t paramsLength = wcslen(params);
                if (paramsLength >= 2 && params[0] == L'"' && params[paramsLength - 1] == L'"') {
                    params[paramsLength - 1] = L'\0';
                    wmemmove(params, params + 1, paramsLength - 1);
                }
                if (FfEqualTextI(params, expectedFolder)) {
                    bool keyOk = WritePrivateProfileStringW(FF_SHORTCUTS_SECTION, key, nullptr, shortcutsFile)
                        != FALSE;
                    bool paramsOk = WritePrivateProfileStringW(FF_SHORTCUTS_SECTION, paramsKey, nullptr,
                                                               shortcutsFile)
                        != FALSE;
                    FfLog(L"FfPruneStaleHotkeyShortcuts: removed stale %s=CD / %s=%s from %s (%s/%s) - "
                          L"superseded by %s.",
                          key, paramsKey, params, shortcutsFile, FfOkText(keyOk), FfOkText(paramsOk),
                          hotkeyKey);
                } else {
                    FfLog(L"FfPruneStaleHotkeyShortcuts: %s=CD has params=%s (expected %s) - not ours, "
                          L"leaving as-is.",
                          key, params, expectedFolder);
                }
            }
        }
        entry += length + 1;
    }
}

void FfSelfRegisterHotkeyShortcut(void)
{
    wchar_t iniPath[FF_INI_PATH_MAX];
    wchar_t file[FF_INI_PATH_MAX];
    wchar_t hotkeyKey[FF_SHORTCUT_KEY_MAX];
    wchar_t paramsKey[FF_SHORTCUT_PARAMS_KEY_MAX];
    wchar_t folder[FF_SHORT_VALUE_MAX];
    wchar_t quotedFolder[FF_SHORT_VALUE_MAX];
    wchar_t bound[FF_SHORT_VALUE_MAX];

    if (!FfFindWincmdIni(iniPath, FF_INI_PATH_MAX)) {
        FfLog(L"FfSelfRegisterHotkeyShortcut: could not locate wincmd.ini - skipping self-registration.");
        return;
    }
    FfResolveIniRedirect(iniPath, FF_SHORTCUTS_SECTION, file, FF_INI_PATH_MAX);

    // A letter outside A..Z cannot come from the settings; keep the key well-formed regardless.
    wchar_t letter = g_settings.hotkeyLetter;
    if (letter < L'A' || letter > L'Z')
        letter = L'F';
    FfFormatText(hotkeyKey, FF_SHORTCUT_KEY_MAX, L"CA+%c", letter);
    FfFormatText(paramsKey, FF_SHORTCUT_PARAMS_KEY_MAX, L"%s_params", hotkeyKey);
    FfFormatText(folder, FF_SHORT_VALUE_MAX, L"%s%s%s", L"\\\\\\", FF_PRODUCT_NAME, L"\\");
    FfFormatText(quotedFolder, FF_SHORT_VALUE_MAX, L"\"%s\"", folder);

    FfPruneStaleHotkeyShortcuts(file, hotkeyKey, folder);

    GetPrivateProfileStringW(FF_SHORTCUTS_SECTION, hotkeyKey, L"", bound, FF_SHORT_VALUE_MAX, file);
    if (bound[0] != L'\0') {
        FfLog(L"FfSelfRegisterHotkeyShortcut: %s is already bound to \"%s\" in %s - leaving as-is (not "
              L"overwriting a possibly user-assigned shortcut).",
              hotkeyKey, bound, file);
        return;
    }

    bool keyOk = WritePrivateProfileStringW(FF_SHORTCUTS_SECTION, hotkeyKey, L"CD", file) != FALSE;
    bool paramsOk = WritePrivateProfileStringW(FF_SHORTCUTS_SECTION, paramsKey, quotedFolder, file) != FALSE;
    FfLog(L"FfSelfRegisterHotkeyShortcut: %s writing %s=CD and %s=%s to %s. Restart Total Commander for "
          L"this to take effect - the FIRST press after a restart will navigate to the plugin (and "
          L"auto-open the search box, see FsInit), every press after that opens it directly.",
          FfOkText(keyOk && paramsOk), hotkeyKey, paramsKey, quotedFolder, file);
}

void FfSelfRegisterCustomColumnsView(void)
{
    static const wchar_t* const keys[6] = {L"Titles", L"AutoLoad", L"Widths1",
                                           L"Headers1", L"Contents1", L"Options1"};
    static const wchar_t* const values[6] = {FF_PRODUCT_NAME, L"1", L"80,30,397",
                                             L"Path", L"[=<fs>.Path]", L"-1|1|96"};
    wchar_t iniPath[FF_INI_PATH_MAX];
    wchar_t file[FF_INI_PATH_MAX];
    wchar_t section[FF_INI_SECTION_NAME_MAX];
    wchar_t contents[FF_SHORT_VALUE_MAX];

    if (!FfFindWincmdIni(iniPath, FF_INI_PATH_MAX)) {
        FfLog(L"FfSelfRegisterCustomColumnsView: could not locate wincmd.ini - skipping self-registration.");
        return;
    }
    FfFormatText(section, FF_INI_SECTION_NAME_MAX, L"CustomFields_%s", FF_PRODUCT_NAME);
    FfResolveIniRedirect(iniPath, section, file, FF_INI_PATH_MAX);

    GetPrivateProfileStringW(section, L"Contents1", L"", contents, FF_SHORT_VALUE_MAX, file);
    if (contents[0] != L'\0') {
        FfLog(L"FfSelfRegisterCustomColumnsView: [%s] Contents1 already set (%s) in %s - leaving as-is.",
              section, contents, file);
        return;
    }

    bool allOk = true;
    for (int i = 0; i < 6; ++i) {
        if (!WritePrivateProfileStringW(section, keys[i], values[i], file))
            allOk = false;
    }
    FfLog(L"FfSelfRegisterCustomColumnsView: %s writing [%s] (Name/Ext/Path view, AutoLoad=1) to %s. "
          L"Restart Total Commander for this to be picked up if it just got added.",
          FfOkText(allOk), section, file);
}
