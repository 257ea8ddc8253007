// Helpers for the host-configuration tests: environment and registry changes undone on exit, ini reading.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

#include "fftest.h"

// COMMANDER_INI as given (empty: unset); APPDATA and COMMANDER_PATH at an empty folder.
struct FfTestHostEnv {
    explicit FfTestHostEnv(const std::wstring& ini)
        : emptyDir(FfTestMakeTempDir(L"hostenv")), commanderIni(L"COMMANDER_INI", ini.empty() ? nullptr : ini.c_str()),
          appData(L"APPDATA", emptyDir.c_str()), commanderPath(L"COMMANDER_PATH", emptyDir.c_str())
    {
    }
    std::wstring emptyDir;
    FfTestEnvVar commanderIni, appData, commanderPath;
};

// A value under HKCU, put back as it was (or removed) on destruction.
struct FfTestRegistryValue {
    FfTestRegistryValue(const std::wstring& subKey, const wchar_t* name) : subKey(subKey), name(name)
    {
        DWORD size = sizeof(savedBytes);
        had = RegGetValueW(HKEY_CURRENT_USER, subKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &savedType,
                           savedBytes, &size) == ERROR_SUCCESS;
        savedSize = size;
    }
    ~FfTestRegistryValue()
    {
        if (had)
            Set(savedType, savedBytes, savedSize);
        else
            Delete();
    }
    bool Set(DWORD type, const void* data, DWORD size)
    {
        return RegSetKeyValueW(HKEY_CURRENT_USER, subKey.c_str(), name, type, data, size) == ERROR_SUCCESS;
    }
    bool SetText(const std::wstring& text, DWORD type = REG_SZ)
    {
        return Set(type, text.c_str(), (DWORD)(text.size() + 1) * sizeof(wchar_t));
    }
    bool SetNumber(DWORD value) { return Set(REG_DWORD, &value, sizeof(value)); }
    void Delete() { RegDeleteKeyValueW(HKEY_CURRENT_USER, subKey.c_str(), name); }
    std::wstring subKey;
    const wchar_t* name;
    bool had;
    DWORD savedType = 0, savedSize = 0;
    BYTE savedBytes[8192];
};

// A key of this test program's own under HKCU, removed on exit.
struct FfTestPrivateKey {
    explicit FfTestPrivateKey(const wchar_t* tag)
        : subKey(L"Software\\FleetfinderTests\\" + std::wstring(tag) + std::to_wstring(GetCurrentProcessId()))
    {
    }
    ~FfTestPrivateKey() { RegDeleteTreeW(HKEY_CURRENT_USER, subKey.c_str()); }
    std::wstring subKey;
};

inline int FfTestCountOf(const std::wstring& text, const std::wstring& needle)
{
    int count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

inline std::wstring FfTestIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t buf[4096];
    GetPrivateProfileStringW(section, key, L"", buf, 4096, file.c_str());
    return buf;
}

// A whole file as text: UTF-16 after its byte-order mark, UTF-8 after its mark, else ANSI.
inline std::wstring FfTestIniText(const std::wstring& path)
{
    std::string bytes = FfTestReadBytes(path);
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return std::wstring((const wchar_t*)(bytes.data() + 2), (bytes.size() - 2) / 2);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return FfTestWide(bytes.substr(3));
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), &text[0], (int)text.size()));
    return text;
}
