// Finding the host's wincmd.ini and the file that really holds a given section of it.
#include "host/host.h"
#include "core/core.h"
#include "core/text.h"

#include <string.h>
#include <wchar.h>

// The host's own key; its IniFileName value names the ini the host was told to use.
static const wchar_t* const FF_HOST_REGISTRY_KEY = L"Software\\Ghisler\\Total Commander";

// Reads an environment variable into buf (FF_INI_PATH_MAX characters). A variable that is unset,
// empty, or too long for the buffer counts as not set: a cut path would name some other file.
static bool FfReadEnvironmentPath(const wchar_t* name, wchar_t* buf)
{
    buf[0] = L'\0';
    DWORD got = GetEnvironmentVariableW(name, buf, FF_INI_PATH_MAX);
    if (got == 0 || got >= FF_INI_PATH_MAX) {
        buf[0] = L'\0';
        return false;
    }
    return buf[0] != L'\0';
}

// Reads a string-typed registry value as stored (no expansion); false for any other type.
static bool FfReadRegistryPath(const wchar_t* subKey, const wchar_t* valueName, wchar_t* buf)
{
    buf[0] = L'\0';
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0;
    DWORD bytes = FF_INI_PATH_MAX * sizeof(wchar_t);
    LONG rc = RegQueryValueExW(key, valueName, nullptr, &type, (BYTE*)buf, &bytes);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buf[0] = L'\0';
        return false;
    }
    // The stored text need not carry its own terminator.
    DWORD chars = bytes / sizeof(wchar_t);
    if (chars > FF_INI_PATH_MAX - 1)
        chars = FF_INI_PATH_MAX - 1;
    buf[chars] = L'\0';
    return buf[0] != L'\0';
}

// Builds "<base><suffix>"; false when it does not fit, so a cut path is never tried.
static bool FfJoinPath(wchar_t* out, const wchar_t* base, const wchar_t* suffix)
{
    size_t baseLen = wcslen(base);
    size_t suffixLen = wcslen(suffix);
    if (baseLen + suffixLen >= FF_INI_PATH_MAX)
        return false;
    FfCopyText(out, FF_INI_PATH_MAX, base);
    FfAppendText(out, FF_INI_PATH_MAX, suffix);
    return true;
}

int FfFindWincmdIniWithKey(const wchar_t* registrySubKey, wchar_t* out, int cap)
{
    wchar_t value[FF_INI_PATH_MAX];
    wchar_t candidate[FF_INI_PATH_MAX];
    if (out == nullptr || cap <= 0)
        return 0;

    if (FfReadEnvironmentPath(L"COMMANDER_INI", value) && FfPathExists(value)) {
        FfCopyText(out, cap, value);
        return 1;
    }
    if (registrySubKey != nullptr && FfReadRegistryPath(registrySubKey, L"IniFileName", value)
        && FfPathExists(value)) {
        FfCopyText(out, cap, value);
        return 1;
    }
    if (FfReadEnvironmentPath(L"APPDATA", value) && FfJoinPath(candidate, value, L"\\GHISLER\\wincmd.ini")
        && FfPathExists(candidate)) {
        FfCopyText(out, cap, candidate);
        return 1;
    }
    if (FfReadEnvironmentPath(L"COMMANDER_PATH", value) && FfJoinPath(candidate, value, L"\\wincmd.ini")
        && FfPathExists(candidate)) {
        FfCopyText(out, cap, candidate);
        return 1;
    }
    return 0;
}

int FfFindWincmdIni(wchar_t* out, int cap)
{
    return FfFindWincmdIniWithKey(FF_HOST_REGISTRY_KEY, out, cap);
}

void FfResolveIniRedirect(const wchar_t* iniPath, const wchar_t* section, wchar_t* out, int cap)
{
    wchar_t target[FF_INI_PATH_MAX];
    wchar_t expanded[FF_INI_PATH_MAX];
    if (out == nullptr || cap <= 0)
        return;
    FfCopyText(out, cap, iniPath);
    if (iniPath == nullptr || section == nullptr)
        return;

    GetPrivateProfileStringW(section, L"RedirectSection", L"", target, FF_INI_PATH_MAX, iniPath);
    if (target[0] == L'\0' || wcscmp(target, L"0") == 0)
        return;
    if (wcscmp(target, L"1") == 0) {
        GetPrivateProfileStringW(L"Configuration", L"AlternateUserIni", L"", target, FF_INI_PATH_MAX,
                                 iniPath);
        if (target[0] == L'\0')
            return;
    }

    DWORD need = ExpandEnvironmentStringsW(target, expanded, FF_INI_PATH_MAX);
    if (need == 0 || need > FF_INI_PATH_MAX)
        FfCopyText(expanded, FF_INI_PATH_MAX, target);

    if (wcschr(expanded, L'\\') != nullptr || wcschr(expanded, L'/') != nullptr) {
        FfCopyText(out, cap, expanded);
        return;
    }
    // A bare file name lives beside the host's ini.
    const wchar_t* lastSlash = wcsrchr(iniPath, L'\\');
    if (lastSlash != nullptr) {
        int folderLen = (int)(lastSlash - iniPath) + 1;
        if (folderLen < cap) {
            FfCopyTextN(out, cap, iniPath, folderLen);
            FfAppendText(out, cap, expanded);
            return;
        }
    }
    FfCopyText(out, cap, expanded);
}
