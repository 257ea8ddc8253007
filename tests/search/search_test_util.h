// Shared helpers of the search tests: guarded reply blocks, reply building, log capture.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "search/search.h"
#include "enginectl.h"

// A block of bytes placed at the very end of a committed page, followed by an inaccessible
// page: reading one byte past the block faults.
struct FfGuardedBlock {
    BYTE* base = nullptr;
    SIZE_T span = 0;
    BYTE* data = nullptr;
    explicit FfGuardedBlock(const std::string& bytes);
    ~FfGuardedBlock();
};

struct FfReplyItem {
    std::wstring path;
    unsigned long long size = 0;
    unsigned long long modified = 0;
    DWORD flags = 0;
};

// A reply list whose items carry the given fields (request flags) in ascending bit order: name,
// folder, full path and extension from path; size; created (0x55..); modified; accessed (0x66..);
// attributes and any later bit as filler. Item data follows the item table in order; the total
// matches (offset 0) is 1000 + the number of items.
std::string FfBuildReplyFields(const std::vector<FfReplyItem>& items, DWORD fields, LONG claimedCount);
// The same laid out for request flags 84.
std::string FfBuildReply(const std::vector<FfReplyItem>& items, LONG claimedCount);
std::string FfBuildReply(const std::vector<FfReplyItem>& items);
void FfPutDword(std::string* bytes, size_t offset, DWORD value);
DWORD FfGetDword(const std::string& bytes, size_t offset);

// Index items C:\r\<stem>1000.txt... (size 1, 2, ...) then folders C:\r\<stem>dir1000...
std::vector<FfEngineItem> FfTestItems(const wchar_t* stem, int files, int folders);

// Points the main and debug logs into a fresh folder; ReadLog/ReadDebugLog return their text.
struct FfLogCapture {
    std::wstring dir;
    explicit FfLogCapture(const wchar_t* tag, bool debug = false);
    std::wstring ReadLog() const;
    std::wstring ReadDebugLog() const;
    int CountInLog(const std::wstring& needle) const;
};
