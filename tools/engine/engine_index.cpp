// Stand-in search engine: building the index (folders on disk, generated and listed items) and its sort orders.
#include "engine.h"
#include <algorithm>
#include <stdio.h>

std::wstring FfEngineFold(const std::wstring& text)
{
    std::wstring out = text;
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = (wchar_t)(c + 32);
    return out;
}

bool FfEngineMakeEntry(const std::wstring& path, uint64_t size, uint64_t modified, bool isFolder, FfEngineEntry* out)
{
    if (path.empty()) return false;
    out->path = path;
    out->foldedPath = FfEngineFold(path);
    size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    out->foldedName = FfEngineFold(name);
    size_t dot = out->foldedName.rfind(L'.');
    out->foldedExt = dot == std::wstring::npos ? std::wstring() : out->foldedName.substr(dot + 1);
    out->size = isFolder ? FF_ENGINE_UNKNOWN : size;
    out->modified = modified;
    out->created = modified;
    out->accessed = modified;
    out->attributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    out->isFolder = isFolder;
    return true;
}

static uint64_t FfEngineTicks(const FILETIME& ft)
{
    return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

// Walks the tree below root (root itself is not an item). Returns the number of items added.
int FfEngineIndexFolder(FfEngineIndex* index, const std::wstring& rootIn)
{
    wchar_t full[4096];
    DWORD n = GetFullPathNameW(rootIn.c_str(), 4096, full, nullptr);
    std::wstring root = (n > 0 && n < 4096) ? std::wstring(full) : rootIn;
    while (root.size() > 3 && (root.back() == L'\\' || root.back() == L'/')) root.pop_back();
    if (root.size() == 3 && root.back() == L'\\') root.pop_back();  // "C:\" -> "C:" so children read "C:\x"

    int added = 0;
    std::vector<std::wstring> pending{root};
    while (!pending.empty()) {
        std::wstring folder = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                                    FIND_FIRST_EX_LARGE_FETCH);
        if (h == INVALID_HANDLE_VALUE) continue;
        do {
            if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) continue;
            bool isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            std::wstring path = folder + L"\\" + fd.cFileName;
            FfEngineEntry e;
            uint64_t size = ((uint64_t)fd.nFileSizeHigh << 32) | fd.nFileSizeLow;
            FfEngineMakeEntry(path, size, FfEngineTicks(fd.ftLastWriteTime), isFolder, &e);
            e.created = FfEngineTicks(fd.ftCreationTime);
            e.accessed = FfEngineTicks(fd.ftLastAccessTime);
            e.attributes = fd.dwFileAttributes;
            index->entries.push_back(std::move(e));
            ++added;
            // Linked folders are listed but not entered, so a loop cannot make the walk endless.
            if (isFolder && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) pending.push_back(path);
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    FfEngineResetOrders(index);
    return added;
}

// Generated items for benchmarks: one folder per thousand files, names built from a few words
// so that a word query matches a known share of the index.
void FfEngineAddSynthetic(FfEngineIndex* index, int count)
{
    static const wchar_t* words[] = {L"alpha", L"report", L"notes", L"photo", L"budget", L"draft", L"music", L"invoice"};
    static const wchar_t* exts[] = {L"txt", L"pdf", L"jpg", L"mp3", L"docx", L"cpp", L"zip", L"xlsx"};
    uint32_t seed = 12345;
    index->entries.reserve(index->entries.size() + (size_t)count);
    wchar_t path[260];
    for (int i = 0; i < count; ++i) {
        seed = seed * 1103515245u + 12345u;
        FfEngineEntry e;
        if (i % 1000 == 0) {
            _snwprintf(path, 259, L"S:\\synthetic\\set%03d", i / 1000);
            path[259] = 0;
            FfEngineMakeEntry(path, 0, 132000000000000000ull + (uint64_t)(seed % 100000) * 10000000ull, true, &e);
        } else {
            _snwprintf(path, 259, L"S:\\synthetic\\set%03d\\%ls_%06d.%ls", i / 1000, words[(seed >> 8) % 8], i,
                       exts[(seed >> 16) % 8]);
            path[259] = 0;
            FfEngineMakeEntry(path, (seed >> 4) % 50000000u, 132000000000000000ull + (uint64_t)(seed % 1000000) * 10000000ull,
                              false, &e);
        }
        index->entries.push_back(std::move(e));
    }
    FfEngineResetOrders(index);
}

// Items that exist only in the index, one per line of a UTF-8 file: "F" or "D", size, modified
// (FILETIME ticks) and the full path, separated by tabs. Bad lines are skipped.
int FfEngineLoadItemsFile(FfEngineIndex* index, const std::wstring& path)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return -1;
    std::string bytes;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
    CloseHandle(h);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    int added = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t t1 = line.find('\t');
        size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
        size_t t3 = t2 == std::string::npos ? t2 : line.find('\t', t2 + 1);
        if (t3 == std::string::npos || t1 != 1 || (line[0] != 'F' && line[0] != 'D')) continue;
        uint64_t size = _strtoui64(line.substr(t1 + 1, t2 - t1 - 1).c_str(), nullptr, 10);
        uint64_t modified = _strtoui64(line.substr(t2 + 1, t3 - t2 - 1).c_str(), nullptr, 10);
        std::string utf8 = line.substr(t3 + 1);
        int wn = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
        std::wstring wpath(wn, L'\0');
        if (wn > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wpath[0], wn);
        FfEngineEntry e;
        if (!FfEngineMakeEntry(wpath, size, modified, line[0] == 'D', &e)) continue;
        index->entries.push_back(std::move(e));
        ++added;
    }
    FfEngineResetOrders(index);
    return added;
}

void FfEngineIndexFolderSizes(FfEngineIndex* index)
{
    for (auto& folder : index->entries) {
        if (!folder.isFolder) continue;
        uint64_t sum = 0;
        std::wstring prefix = folder.foldedPath + L"\\";
        for (const auto& e : index->entries)
            if (!e.isFolder && e.size != FF_ENGINE_UNKNOWN && e.foldedPath.compare(0, prefix.size(), prefix) == 0) sum += e.size;
        folder.size = sum;
    }
    FfEngineResetOrders(index);
}

void FfEngineForgetDates(FfEngineIndex* index, const std::wstring& foldedWord)
{
    if (foldedWord.empty()) return;
    for (auto& e : index->entries)
        if (e.foldedName.find(foldedWord) != std::wstring::npos) e.modified = e.created = e.accessed = FF_ENGINE_UNKNOWN;
    FfEngineResetOrders(index);
}

void FfEngineResetOrders(FfEngineIndex* index)
{
    index->packed = false;
    index->packedText.clear();
    index->packedViews.clear();
    for (int i = 0; i < 25; ++i) {
        index->orders[i].clear();
        index->ordered[i] = false;
    }
}

// Type names come from the system's file associations, which the index does not keep: folders
// are "File folder", files "<EXT> File" (upper-case extension) or "File" without an extension.
static std::wstring FfEngineTypeName(const FfEngineEntry& e)
{
    if (e.isFolder) return L"file folder";
    if (e.foldedExt.empty()) return L"file";
    return e.foldedExt + L" file";
}

// Ordinal comparison in a plain loop: the string class's compare calls the C runtime per
// comparison, which made sorting 100 000 names several times slower.
static int FfEngineCompareText(const std::wstring& a, const std::wstring& b)
{
    size_t n = a.size() < b.size() ? a.size() : b.size();
    const wchar_t* x = a.data();
    const wchar_t* y = b.data();
    for (size_t i = 0; i < n; ++i)
        if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

template <typename T> static int FfEngineCompareValues(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Sizes and dates: an unknown value (all bits set) sorts below every known one.
static int FfEngineCompareKnown(uint64_t a, uint64_t b)
{
    return FfEngineCompareValues(a + 1, b + 1);
}

// Compares by the key of the sort type; ties are broken by the path (folded, then exact), always
// ascending, so every order is total and the same on every run. Descending types reverse only
// the key. Sort types the engine does not know order by name.
int FfEngineCompareEntries(const FfEngineEntry& a, const FfEngineEntry& b, uint32_t sortType)
{
    int c = 0;
    uint32_t key = (sortType >= 1 && sortType <= 16) || sortType == 23 || sortType == 24 ? sortType : 1;
    bool descending = (key % 2) == 0;
    switch (key) {
    case 1: case 2: c = FfEngineCompareText(a.foldedName, b.foldedName); break;
    case 3: case 4: c = FfEngineCompareText(a.foldedPath, b.foldedPath); break;
    case 5: case 6: c = FfEngineCompareKnown(a.size, b.size); break;
    case 7: case 8:
        c = FfEngineCompareText(a.foldedExt, b.foldedExt);
        if (c == 0) c = FfEngineCompareText(a.foldedName, b.foldedName);
        break;
    case 9: case 10:
        c = FfEngineCompareText(FfEngineTypeName(a), FfEngineTypeName(b));
        if (c == 0) c = FfEngineCompareText(a.foldedName, b.foldedName);
        break;
    case 11: case 12: c = FfEngineCompareKnown(a.created, b.created); break;
    case 13: case 14: c = FfEngineCompareKnown(a.modified, b.modified); break;
    case 15: case 16: c = FfEngineCompareValues(a.attributes, b.attributes); break;
    case 23: case 24: c = FfEngineCompareKnown(a.accessed, b.accessed); break;
    }
    c = c < 0 ? -1 : (c > 0 ? 1 : 0);
    if (descending) c = -c;
    if (c != 0) return c;
    c = FfEngineCompareText(a.foldedPath, b.foldedPath);
    if (c == 0) c = FfEngineCompareText(a.path, b.path);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

const std::vector<uint32_t>& FfEngineOrder(FfEngineIndex* index, uint32_t sortType)
{
    uint32_t slot = sortType < 25 ? sortType : 0;
    if (!index->ordered[slot]) {
        std::vector<uint32_t>& order = index->orders[slot];
        order.resize(index->entries.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = (uint32_t)i;
        const auto& entries = index->entries;
        std::stable_sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
            return FfEngineCompareEntries(entries[x], entries[y], sortType) < 0;
        });
        index->ordered[slot] = true;
    }
    return index->orders[slot];
}
