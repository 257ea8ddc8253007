// Stand-in search engine: the index, query matching, ordering and reply blocks shared by its files.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#define FF_ENGINE_CLASS_BASE L"EVERYTHING_TASKBAR_NOTIFICATION"
#define FF_ENGINE_QUERY_ID 18
#define FF_ENGINE_QUERY_HEAD 28   // bytes before the query text
#define FF_ENGINE_REPLY_HEAD 20   // bytes before the item table
#define FF_ENGINE_ECHO_ID 0x4545  // answer the last reply again (benchmark floor)
// The value the engine reports for a size or date it does not know: every folder's size unless
// it indexes folder sizes.
#define FF_ENGINE_UNKNOWN 0xFFFFFFFFFFFFFFFFull

// Fields of a reply item, laid out in ascending bit order; the reply's flags name those present.
#define FF_ENGINE_FIELD_NAME 0x1u
#define FF_ENGINE_FIELD_PATH 0x2u
#define FF_ENGINE_FIELD_FULL_PATH 0x4u
#define FF_ENGINE_FIELD_EXTENSION 0x8u
#define FF_ENGINE_FIELD_SIZE 0x10u
#define FF_ENGINE_FIELD_CREATED 0x20u
#define FF_ENGINE_FIELD_MODIFIED 0x40u
#define FF_ENGINE_FIELD_ACCESSED 0x80u
#define FF_ENGINE_FIELD_ATTRIBUTES 0x100u
#define FF_ENGINE_KNOWN_FIELDS 0x1FFu

// The engine's own message: wParam 0..3 answer the version's major, minor, revision and build;
// 401 answers non-zero once the index is loaded, 402 while busy.
#define FF_ENGINE_MSG_IPC WM_USER
#define FF_ENGINE_IS_LOADED 401
#define FF_ENGINE_IS_BUSY 402

// Private messages of the engine window; tests send the first three.
#define WM_FF_ENGINE_COUNT (WM_APP + 1)
#define WM_FF_ENGINE_REINDEX (WM_APP + 2)
#define WM_FF_ENGINE_QUERIES (WM_APP + 3)
#define WM_FF_ENGINE_ANSWER_LATE (WM_APP + 10)

// One indexed file or folder. The folded texts fold ASCII A-Z only, as the engine's matching does.
struct FfEngineEntry {
    std::wstring path;        // full path and name, as reported
    std::wstring foldedName;  // name part, ASCII lower case
    std::wstring foldedPath;  // whole path, ASCII lower case
    std::wstring foldedExt;   // text after the name's last dot ("" without one)
    uint64_t size = 0;        // folders: FF_ENGINE_UNKNOWN unless folder sizes are indexed
    uint64_t modified = 0;
    uint64_t created = 0;
    uint64_t accessed = 0;
    uint32_t attributes = 0;
    bool isFolder = false;
};

// What matching reads of one item: folded texts, the path as it is, and the folder flag.
struct FfEngineView {
    const wchar_t* rawPath;  // as indexed (case kept), as long as the folded path
    const wchar_t* name;
    size_t nameLen;
    const wchar_t* path;
    size_t pathLen;
    const wchar_t* ext;
    size_t extLen;
    bool isFolder;
};

struct FfEngineIndex {
    std::vector<FfEngineEntry> entries;
    // The folded paths of all entries side by side, so a query walks memory in one sweep
    // instead of visiting 100 000 separate strings (made on first use, dropped on re-index).
    std::vector<wchar_t> packedText;
    std::vector<FfEngineView> packedViews;  // pointers into packedText
    bool packed = false;
    // Item numbers in the order of each sort type, made on first use and dropped on re-index.
    std::vector<uint32_t> orders[25];
    bool ordered[25] = {};
};

// A query record as received (fields in wire order).
struct FfEngineQuery {
    uint32_t replyWindow = 0, replyId = 0, searchFlags = 0, firstResult = 0, maxResults = 0;
    uint32_t requestFlags = 0, sortType = 0;
    std::wstring text;
};

// Match options: the query record's search flags, and the modifiers (and a filter's options)
// that set them for one term or group.
#define FF_ENGINE_MATCH_CASE 0x1u
#define FF_ENGINE_MATCH_WHOLE_WORD 0x2u
#define FF_ENGINE_MATCH_PATH 0x4u
#define FF_ENGINE_MATCH_REGEX 0x8u

// A filter of the engine's configuration: name, search text, options (the file's Case, Whole
// Word, Path, Diacritics, Regex columns as bits 0..4) and macro.
struct FfEngineFilter {
    std::wstring name;
    std::wstring search;
    uint32_t flags = 0;
    std::wstring macro;
};

// A word with options other than the plain ones (ASCII folded, within the name).
struct FfEngineTerm {
    std::wstring text;    // as written (case kept)
    std::wstring folded;
    uint32_t options = 0; // FF_ENGINE_MATCH_
    std::shared_ptr<std::wregex> regex;
};

// How a query text is read: the record's search flags, and whether filter: is a function
// (1.5 on; below, it is plain text that matches nothing).
struct FfEngineDialect {
    uint32_t searchFlags = 0;
    bool filterFunction = false;
};

// What a query text asks for, after groups, modifiers and "filter:" clauses have been expanded:
// every part must hold.
struct FfEngineMatcher {
    bool filesOnly = false;
    bool foldersOnly = false;
    bool matchesNothing = false;                    // an unknown filter, filter loops, a bad regex
    std::vector<std::wstring> words;                // folded; all must occur in the name
    std::vector<std::wstring> folders;              // folded path: texts; the full path holds each
    std::vector<FfEngineTerm> terms;                // words with match options
    std::vector<std::vector<std::wstring>> extSets; // folded; the extension must be in every set
};

// Deliberately broken answers, chosen on the command line.
struct FfEngineFaults {
    bool shortBlock = false;
    int excessCount = 0;
    bool badOffset = false;
    bool badLength = false;
    uint32_t badLengthValue = 0;
    uint32_t dropFlags = 0;  // fields left out of every item (and out of the reply's flags)
    uint32_t addFlags = 0;   // fields put in although not asked for
};

std::wstring FfEngineFold(const std::wstring& text);
bool FfEngineMakeEntry(const std::wstring& path, uint64_t size, uint64_t modified, bool isFolder, FfEngineEntry* out);

// engine_index.cpp
int FfEngineIndexFolder(FfEngineIndex* index, const std::wstring& root);
void FfEngineAddSynthetic(FfEngineIndex* index, int count);
int FfEngineLoadItemsFile(FfEngineIndex* index, const std::wstring& path);
void FfEngineResetOrders(FfEngineIndex* index);
// Folder sizes: each folder gets the sum of the files below it. Unknown dates: every item whose
// name holds the (folded) word reports all three dates as FF_ENGINE_UNKNOWN.
void FfEngineIndexFolderSizes(FfEngineIndex* index);
void FfEngineForgetDates(FfEngineIndex* index, const std::wstring& foldedWord);
int FfEngineCompareEntries(const FfEngineEntry& a, const FfEngineEntry& b, uint32_t sortType);
const std::vector<uint32_t>& FfEngineOrder(FfEngineIndex* index, uint32_t sortType);

// engine_query.cpp
const char* FfEngineParseRecord(const void* data, size_t size, FfEngineQuery* out);  // null = well-formed
void FfEngineCompileQuery(const std::wstring& text, const std::vector<FfEngineFilter>& filters,
                          const FfEngineDialect& dialect, FfEngineMatcher* out);

// engine_filters.cpp
std::vector<FfEngineFilter> FfEngineLoadFilters(const std::wstring& folder, bool is15a, std::wstring* file);
std::vector<FfEngineFilter> FfEngineBuiltInFilters();
std::vector<FfEngineFilter> FfEngineParseCsvFilters(const std::string& bytes, bool is15a);
bool FfEngineMatch(const FfEngineMatcher& matcher, const FfEngineEntry& entry);
bool FfEngineMatchView(const FfEngineMatcher& matcher, const FfEngineView& view);
// Runs a query: the total number of matches, and the item numbers of [first, first + max).
uint32_t FfEngineRun(FfEngineIndex* index, const FfEngineMatcher& matcher, uint32_t sortType,
                     uint32_t first, uint32_t max, std::vector<uint32_t>* picked);

// engine_reply.cpp
std::string FfEngineBuildReply(const FfEngineIndex& index, const std::vector<uint32_t>& picked, uint32_t total,
                               const FfEngineQuery& query, const FfEngineFaults& faults);
uint32_t FfEngineReplyFields(uint32_t requested, const FfEngineFaults& faults);
std::string FfEngineFormatLogLine(const FfEngineQuery* query, const char* ignoredReason, uint32_t copyDataId,
                                  uint32_t cbData, uint32_t total);
