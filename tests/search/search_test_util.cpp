// Shared helpers of the search tests.
#include "search_test_util.h"
#include "core/core.h"
#include "core/text.h"
#include "fftest.h"
#include <string.h>

FfGuardedBlock::FfGuardedBlock(const std::string& bytes)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    SIZE_T page = info.dwPageSize;
    SIZE_T pages = (bytes.size() + page - 1) / page;
    if (pages == 0) pages = 1;
    span = (pages + 1) * page;
    base = (BYTE*)VirtualAlloc(nullptr, span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old;
    VirtualProtect(base + pages * page, page, PAGE_NOACCESS, &old);
    data = base + pages * page - bytes.size();
    memcpy(data, bytes.data(), bytes.size());
}

FfGuardedBlock::~FfGuardedBlock()
{
    if (base) VirtualFree(base, 0, MEM_RELEASE);
}

void FfPutDword(std::string* bytes, size_t offset, DWORD value)
{
    if (bytes->size() < offset + 4) bytes->resize(offset + 4);
    memcpy(&(*bytes)[offset], &value, 4);
}

DWORD FfGetDword(const std::string& bytes, size_t offset)
{
    DWORD value = 0;
    if (offset + 4 <= bytes.size()) memcpy(&value, bytes.data() + offset, 4);
    return value;
}

static void FfAppendReplyText(std::string* data, const std::wstring& text)
{
    size_t at = data->size();
    FfPutDword(data, at, (DWORD)text.size());
    data->append((const char*)text.data(), 2 * text.size());
    data->append(2, '\0');
}

std::string FfBuildReplyFields(const std::vector<FfReplyItem>& items, DWORD fields, LONG claimedCount)
{
    std::string bytes(20 + 8 * items.size(), '\0');
    FfPutDword(&bytes, 0, 1000 + (DWORD)items.size());
    FfPutDword(&bytes, 4, (DWORD)claimedCount);
    FfPutDword(&bytes, 12, fields);
    for (size_t i = 0; i < items.size(); i++) {
        const std::wstring& path = items[i].path;
        size_t slash = path.rfind(L'\\'), dot = path.rfind(L'.');
        std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
        std::wstring texts[4] = {name, slash == std::wstring::npos ? L"" : path.substr(0, slash), path,
                                 dot == std::wstring::npos ? L"" : path.substr(dot + 1)};
        unsigned long long values[4] = {items[i].size, 0x5555555555555555ull, items[i].modified, 0x6666666666666666ull};
        FfPutDword(&bytes, 20 + 8 * i, items[i].flags);
        FfPutDword(&bytes, 24 + 8 * i, (DWORD)bytes.size());
        std::string data;
        for (int bit = 0; bit < 32; bit++) {
            if (!(fields & (1u << bit))) continue;
            if (bit < 4) FfAppendReplyText(&data, texts[bit]);
            else if (bit < 8) data.append((const char*)&values[bit - 4], 8);
            else data.append(bit == 8 ? 4 : 6, '\xEE');  // attributes; later fields of other widths
        }
        bytes += data;
    }
    return bytes;
}

std::string FfBuildReply(const std::vector<FfReplyItem>& items, LONG claimedCount)
{
    return FfBuildReplyFields(items, 84, claimedCount);
}

std::string FfBuildReply(const std::vector<FfReplyItem>& items)
{
    return FfBuildReply(items, (LONG)items.size());
}

std::vector<FfEngineItem> FfTestItems(const wchar_t* stem, int files, int folders)
{
    std::vector<FfEngineItem> items(files + folders);
    for (int i = 0; i < files + folders; i++) {
        bool folder = i >= files;
        int n = 1000 + (folder ? i - files : i);
        items[i].path = std::wstring(L"C:\\r\\") + stem + (folder ? L"dir" : L"") + std::to_wstring(n) + (folder ? L"" : L".txt");
        items[i].size = folder ? 0 : 1 + i;
        items[i].isFolder = folder;
    }
    return items;
}

FfLogCapture::FfLogCapture(const wchar_t* tag, bool debug)
{
    dir = FfTestMakeTempDir(tag);
    FfCopyText(g_logPath, FF_PATH_CHARS, (dir + L"\\Fleetfinder.log").c_str());
    FfCopyText(g_settings.configPath, FF_PATH_CHARS, (dir + L"\\Fleetfinder.cfg").c_str());
    g_settings.loggingEnabled = 1;
    g_settings.everythingDebug = debug ? 1 : 0;
}

static std::wstring FfReadTextFile(const std::wstring& path)
{
    std::string bytes = FfTestReadBytes(path);
    if (bytes.size() >= 3 && (BYTE)bytes[0] == 0xEF && (BYTE)bytes[1] == 0xBB && (BYTE)bytes[2] == 0xBF)
        bytes = bytes.substr(3);
    return FfTestWide(bytes);
}

std::wstring FfLogCapture::ReadLog() const
{
    return FfReadTextFile(dir + L"\\Fleetfinder.log");
}

std::wstring FfLogCapture::ReadDebugLog() const
{
    return FfReadTextFile(dir + L"\\Fleetfinder.debug.log");
}

int FfLogCapture::CountInLog(const std::wstring& needle) const
{
    std::wstring text = ReadLog();
    int count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1))
        count++;
    return count;
}
