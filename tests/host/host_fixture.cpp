// Test helpers for the host-configuration tests: environment and registry set-ups undone on exit.
#include "host_fixture.h"
#include "fftest.h"

FfTestEnvVar::FfTestEnvVar(const wchar_t* name, const wchar_t* value) : name_(name)
{
    wchar_t buf[32768];
    DWORD got = GetEnvironmentVariableW(name, buf, 32768);
    hadValue_ = got > 0 && got < 32768;
    if (hadValue_)
        saved_ = buf;
    Set(value);
}

FfTestEnvVar::~FfTestEnvVar()
{
    SetEnvironmentVariableW(name_.c_str(), hadValue_ ? saved_.c_str() : nullptr);
}

void FfTestEnvVar::Set(const wchar_t* value)
{
    SetEnvironmentVariableW(name_.c_str(), value);
}

FfTestHostEnv::FfTestHostEnv(const std::wstring& ini)
    : emptyDir(FfTestMakeTempDir(L"hostenv_empty")),
      commanderIni(L"COMMANDER_INI", ini.empty() ? nullptr : ini.c_str()),
      appData(L"APPDATA", emptyDir.c_str()),
      commanderPath(L"COMMANDER_PATH", emptyDir.c_str())
{
}

FfTestRegistryValue::FfTestRegistryValue(const std::wstring& subKey, const std::wstring& valueName)
    : subKey_(subKey), valueName_(valueName)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    keyExisted_ = true;
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName_.c_str(), nullptr, &savedType_, nullptr, &size) == ERROR_SUCCESS) {
        saved_.resize(size + 2);
        DWORD got = size;
        if (RegQueryValueExW(key, valueName_.c_str(), nullptr, &savedType_, saved_.data(), &got)
            == ERROR_SUCCESS) {
            saved_.resize(got);
            hadValue_ = true;
        }
    }
    RegCloseKey(key);
}

FfTestRegistryValue::~FfTestRegistryValue()
{
    if (hadValue_)
        SetBytes(savedType_, saved_.data(), (DWORD)saved_.size());
    else
        Delete();
    if (!keyExisted_)
        RegDeleteKeyW(HKEY_CURRENT_USER, subKey_.c_str());  // only removed when left empty
}

bool FfTestRegistryValue::SetBytes(DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr)
        != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(key, valueName_.c_str(), 0, type, (const BYTE*)data, size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool FfTestRegistryValue::SetString(const std::wstring& text, DWORD type, bool withTerminator)
{
    DWORD chars = (DWORD)text.size() + (withTerminator ? 1 : 0);
    return SetBytes(type, text.c_str(), chars * sizeof(wchar_t));
}

bool FfTestRegistryValue::SetDword(DWORD value)
{
    return SetBytes(REG_DWORD, &value, sizeof(value));
}

bool FfTestRegistryValue::Delete()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey_.c_str(), 0, KEY_WRITE, &key) != ERROR_SUCCESS)
        return true;
    LONG rc = RegDeleteValueW(key, valueName_.c_str());
    RegCloseKey(key);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

FfTestPrivateKey::FfTestPrivateKey(const wchar_t* tag)
{
    subKey = L"Software\\FleetfinderTests\\" + std::wstring(tag) + L"_" + std::to_wstring(GetCurrentProcessId());
    RegDeleteTreeW(HKEY_CURRENT_USER, subKey.c_str());
}

FfTestPrivateKey::~FfTestPrivateKey()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, subKey.c_str());
}

std::wstring FfTestReadLog(const std::wstring& path)
{
    std::string bytes = FfTestReadBytes(path);
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        bytes.erase(0, 3);
    return FfTestWide(bytes);
}

int FfTestCountOf(const std::wstring& text, const std::wstring& needle)
{
    int count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::wstring FfTestIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t buf[4096];
    GetPrivateProfileStringW(section, key, L"", buf, 4096, file.c_str());
    return buf;
}

std::vector<std::wstring> FfTestIniKeys(const std::wstring& file, const wchar_t* section)
{
    std::vector<wchar_t> buf(65536);
    DWORD got = GetPrivateProfileStringW(section, nullptr, L"", buf.data(), (DWORD)buf.size(), file.c_str());
    std::vector<std::wstring> keys;
    for (DWORD i = 0; i < got;) {
        std::wstring key(buf.data() + i);
        if (key.empty())
            break;
        keys.push_back(key);
        i += (DWORD)key.size() + 1;
    }
    return keys;
}

std::wstring FfTestIniText(const std::wstring& path)
{
    std::string bytes = FfTestReadBytes(path);
    if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE)
        return std::wstring((const wchar_t*)(bytes.data() + 2), (bytes.size() - 2) / 2);
    if (bytes.empty())
        return std::wstring();
    int chars = MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
    std::wstring text(chars, L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), (int)bytes.size(), &text[0], chars);
    return text;
}
