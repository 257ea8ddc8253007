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

std::string FfBuildReply(const std::vector<FfReplyItem>& items, LONG claimedCount)
{
    std::string bytes(20 + 8 * items.size(), '\0');
    FfPutDword(&bytes, 0, (DWORD)items.size());
    FfPutDword(&bytes, 4, (DWORD)claimedCount);
    FfPutDword(&bytes, 12, 84);
    for (size_t i = 0; i < items.size(); i++) {
        size_t offset = bytes.size();
        FfPutDword(&bytes, 20 + 8 * i, items[i].flags);
        FfPutDword(&bytes, 24 + 8 * i, (DWORD)offset);
        std::string data(4 + 2 * items[i].path.size() + 2 + 16, '\0');
        FfPutDword(&data, 0, (DWORD)items[i].path.size());
        memcpy(&data[4], items[i].path.data(), 2 * items[i].path.size());
        size_t tail = 4 + 2 * items[i].path.size() + 2;
        memcpy(&data[tail], &items[i].size, 8);
        memcpy(&data[tail + 8], &items[i].modified, 8);
        bytes += data;
    }
    return bytes;
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
