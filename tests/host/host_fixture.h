// Test helpers for the host-configuration tests: environment and registry set-ups undone on exit.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// Sets an environment variable of this process for the life of the object (null: unset).
class FfTestEnvVar {
public:
    FfTestEnvVar(const wchar_t* name, const wchar_t* value);
    ~FfTestEnvVar();
    void Set(const wchar_t* value);

private:
    std::wstring name_;
    std::wstring saved_;
    bool hadValue_ = false;
};

// Puts the host-ini environment in a known state: COMMANDER_INI as given (null: unset) and
// APPDATA / COMMANDER_PATH pointing at an empty folder, so no candidate is found by accident.
struct FfTestHostEnv {
    explicit FfTestHostEnv(const std::wstring& commanderIni);
    std::wstring emptyDir;
    FfTestEnvVar commanderIni;
    FfTestEnvVar appData;
    FfTestEnvVar commanderPath;
};

// A registry value under HKCU saved on construction and restored (or deleted) on destruction.
class FfTestRegistryValue {
public:
    FfTestRegistryValue(const std::wstring& subKey, const std::wstring& valueName);
    ~FfTestRegistryValue();
    bool SetString(const std::wstring& text, DWORD type = REG_SZ, bool withTerminator = true);
    bool SetDword(DWORD value);
    bool SetBytes(DWORD type, const void* data, DWORD size);
    bool Delete();

private:
    std::wstring subKey_;
    std::wstring valueName_;
    bool hadValue_ = false;
    bool keyExisted_ = false;
    DWORD savedType_ = 0;
    std::vector<BYTE> saved_;
};

// A private key under HKCU for this test program, removed with everything below it on exit.
struct FfTestPrivateKey {
    FfTestPrivateKey(const wchar_t* tag);
    ~FfTestPrivateKey();
    std::wstring subKey;
};

// Whole text of a UTF-8 log file (byte-order mark dropped), as wide text.
std::wstring FfTestReadLog(const std::wstring& path);
// Number of occurrences of needle in text.
int FfTestCountOf(const std::wstring& text, const std::wstring& needle);
// Reads one key with the platform's ini reader ("" when absent).
std::wstring FfTestIniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key);
// The keys of a section in file order.
std::vector<std::wstring> FfTestIniKeys(const std::wstring& file, const wchar_t* section);
// The whole ini as text: UTF-16 when it starts with its byte-order mark, else the ANSI code page.
std::wstring FfTestIniText(const std::wstring& path);
