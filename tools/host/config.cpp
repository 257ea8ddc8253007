// The stand-in host's configuration: finding wincmd.ini and reading plug-ins, shortcuts, views.
#include "host.h"

FfHostConfig g_hostConfig;
#include <wchar.h>

static bool FfHostExists(const std::wstring& path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

static std::wstring FfHostEnv(const wchar_t* name)
{
    wchar_t buf[2048];
    DWORD n = GetEnvironmentVariableW(name, buf, 2048);
    if (n == 0 || n >= 2048) return std::wstring();
    return std::wstring(buf, n);
}

std::wstring FfHostFindIni()
{
    std::wstring candidate = FfHostEnv(L"COMMANDER_INI");
    if (FfHostExists(candidate)) return candidate;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Ghisler\\Total Commander", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t buf[2048] = {};
        DWORD type = 0, bytes = sizeof(buf) - sizeof(wchar_t);
        LONG rc = RegQueryValueExW(key, L"IniFileName", nullptr, &type, (BYTE*)buf, &bytes);
        RegCloseKey(key);
        if (rc == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            buf[bytes / sizeof(wchar_t) < 2047 ? bytes / sizeof(wchar_t) : 2047] = 0;
            candidate = buf;
            if (FfHostExists(candidate)) return candidate;
        }
    }
    candidate = FfHostEnv(L"APPDATA");
    if (!candidate.empty() && FfHostExists(candidate + L"\\GHISLER\\wincmd.ini")) return candidate + L"\\GHISLER\\wincmd.ini";
    candidate = FfHostEnv(L"COMMANDER_PATH");
    if (!candidate.empty() && FfHostExists(candidate + L"\\wincmd.ini")) return candidate + L"\\wincmd.ini";
    return std::wstring();
}

static std::wstring FfHostReadString(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t buf[2048] = {};
    GetPrivateProfileStringW(section, key, L"", buf, 2048, file.c_str());
    return buf;
}

std::wstring FfHostResolveRedirect(const std::wstring& ini, const wchar_t* section)
{
    std::wstring target = FfHostReadString(ini, section, L"RedirectSection");
    if (target.empty() || target == L"0") return ini;
    if (target == L"1") {
        target = FfHostReadString(ini, L"Configuration", L"AlternateUserIni");
        if (target.empty()) return ini;
    }
    wchar_t expanded[2048];
    DWORD n = ExpandEnvironmentStringsW(target.c_str(), expanded, 2048);
    if (n > 0 && n <= 2048) target = expanded;
    if (target.find_first_of(L"\\/") == std::wstring::npos) {
        size_t slash = ini.rfind(L'\\');
        if (slash != std::wstring::npos) return ini.substr(0, slash + 1) + target;
    }
    return target;
}

std::vector<std::pair<std::wstring, std::wstring>> FfHostReadSection(const std::wstring& file, const wchar_t* section)
{
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    std::vector<wchar_t> buf(32768);
    DWORD n = GetPrivateProfileSectionW(section, buf.data(), (DWORD)buf.size(), file.c_str());
    size_t at = 0;
    while (at < n && buf[at]) {
        std::wstring line(&buf[at]);
        at += line.size() + 1;
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        entries.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return entries;
}

void FfHostLoadConfig(FfHostConfig* config)
{
    config->iniPath = FfHostFindIni();
    config->plugins.clear();
    config->shortcuts.clear();
    if (config->iniPath.empty()) return;
    config->plugins = FfHostReadSection(FfHostResolveRedirect(config->iniPath, L"FileSystemPlugins"), L"FileSystemPlugins");
    config->shortcuts = FfHostReadSection(FfHostResolveRedirect(config->iniPath, L"Shortcuts"), L"Shortcuts");
}

static const std::wstring* FfHostLookup(const std::vector<std::pair<std::wstring, std::wstring>>& entries,
                                        const std::wstring& key)
{
    for (const auto& e : entries)
        if (_wcsicmp(e.first.c_str(), key.c_str()) == 0) return &e.second;
    return nullptr;
}

std::wstring FfHostPluginLibrary(const FfHostConfig& config, const std::wstring& rootName)
{
    const std::wstring* value = FfHostLookup(config.plugins, rootName);
    if (!value || value->empty()) return std::wstring();
    wchar_t expanded[2048];
    DWORD n = ExpandEnvironmentStringsW(value->c_str(), expanded, 2048);
    return (n > 0 && n <= 2048) ? std::wstring(expanded) : *value;
}

std::vector<FfHostColumn> FfHostLoadColumns(const FfHostConfig& config, const std::wstring& rootName)
{
    std::vector<FfHostColumn> columns;
    if (config.iniPath.empty()) return columns;
    std::wstring section = L"CustomFields_" + rootName;
    std::wstring file = FfHostResolveRedirect(config.iniPath, section.c_str());
    std::wstring headers = FfHostReadString(file, section.c_str(), L"Headers1");
    std::wstring contents = FfHostReadString(file, section.c_str(), L"Contents1");
    if (contents.empty()) return columns;
    // Several columns of one view are separated by the two characters \n.
    size_t h = 0, c = 0;
    while (c <= contents.size()) {
        size_t cEnd = contents.find(L"\\n", c);
        size_t hEnd = headers.find(L"\\n", h);
        FfHostColumn column;
        column.header = h <= headers.size() ? headers.substr(h, hEnd == std::wstring::npos ? std::wstring::npos : hEnd - h) : L"";
        std::wstring content = contents.substr(c, cEnd == std::wstring::npos ? std::wstring::npos : cEnd - c);
        const std::wstring open = L"[=<fs>.";
        if (content.size() > open.size() + 1 && _wcsnicmp(content.c_str(), open.c_str(), open.size()) == 0 &&
            content.back() == L']')
            column.field = content.substr(open.size(), content.size() - open.size() - 1);
        columns.push_back(column);
        if (cEnd == std::wstring::npos) break;
        c = cEnd + 2;
        h = hEnd == std::wstring::npos ? headers.size() + 1 : hEnd + 2;
    }
    return columns;
}

bool FfHostShortcutFolder(const FfHostConfig& config, wchar_t letter, std::wstring* folder)
{
    wchar_t key[8] = { L'C', L'A', L'+', letter, 0 };
    const std::wstring* command = FfHostLookup(config.shortcuts, key);
    if (!command || _wcsicmp(command->c_str(), L"CD") != 0) return false;
    const std::wstring* params = FfHostLookup(config.shortcuts, std::wstring(key) + L"_params");
    if (!params || params->empty()) return false;
    std::wstring value = *params;
    if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') value = value.substr(1, value.size() - 2);
    if (value.empty()) return false;
    *folder = value;
    return true;
}

bool FfHostSplitVirtualPath(const std::wstring& path, std::wstring* root, std::wstring* pluginPath)
{
    if (path.size() < 4 || path.compare(0, 3, FF_HOST_VIRTUAL_PREFIX) != 0 || path[3] == L'\\') return false;
    size_t slash = path.find(L'\\', 3);
    *root = path.substr(3, slash == std::wstring::npos ? std::wstring::npos : slash - 3);
    std::wstring rest = slash == std::wstring::npos ? std::wstring() : path.substr(slash);
    while (!rest.empty() && rest.back() == L'\\') rest.pop_back();
    *pluginPath = rest.empty() ? L"\\" : rest;
    return true;
}

bool FfHostInstallPlugin(FfHostConfig* config, const std::wstring& rootName, const std::wstring& library)
{
    if (rootName.empty() || library.empty() || config->iniPath.empty()) return false;
    std::wstring file = FfHostResolveRedirect(config->iniPath, L"FileSystemPlugins");
    if (!WritePrivateProfileStringW(L"FileSystemPlugins", rootName.c_str(), library.c_str(), file.c_str())) return false;
    for (auto& entry : config->plugins) {
        if (_wcsicmp(entry.first.c_str(), rootName.c_str()) == 0) {
            entry.second = library;
            return true;
        }
    }
    config->plugins.emplace_back(rootName, library);
    return true;
}
