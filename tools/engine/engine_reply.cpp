// Stand-in search engine: the reply block (with its deliberate faults) and the query log line.
#include "engine.h"
#include <stdio.h>
#include <string.h>

static void FfEnginePut32(std::string* out, size_t at, uint32_t v)
{
    memcpy(&(*out)[at], &v, 4);
}

static void FfEnginePut64(std::string* out, size_t at, uint64_t v)
{
    memcpy(&(*out)[at], &v, 8);
}

static void FfEnginePutText(std::string* out, size_t* at, const wchar_t* text, size_t length)
{
    FfEnginePut32(out, *at, (uint32_t)length);
    if (length) memcpy(&(*out)[*at + 4], text, 2 * length);  // terminator: already zero
    *at += 4 + 2 * (length + 1);
}

// The fields an item carries: those asked for that the engine knows (the faults may drop some
// or add others), named in the reply's flags.
uint32_t FfEngineReplyFields(uint32_t requested, const FfEngineFaults& faults)
{
    return ((requested & ~faults.dropFlags) | faults.addFlags) & FF_ENGINE_KNOWN_FIELDS;
}

// Bytes of one item's data for the given fields.
static size_t FfEngineItemBytes(const FfEngineEntry& e, uint32_t fields)
{
    size_t nameLen = e.foldedName.size(), pathLen = e.path.size();
    size_t folderLen = pathLen > nameLen ? pathLen - nameLen - 1 : 0;
    size_t bytes = 0;
    if (fields & FF_ENGINE_FIELD_NAME) bytes += 4 + 2 * (nameLen + 1);
    if (fields & FF_ENGINE_FIELD_PATH) bytes += 4 + 2 * (folderLen + 1);
    if (fields & FF_ENGINE_FIELD_FULL_PATH) bytes += 4 + 2 * (pathLen + 1);
    if (fields & FF_ENGINE_FIELD_EXTENSION) bytes += 4 + 2 * (e.foldedExt.size() + 1);
    for (uint32_t bit : {FF_ENGINE_FIELD_SIZE, FF_ENGINE_FIELD_CREATED, FF_ENGINE_FIELD_MODIFIED, FF_ENGINE_FIELD_ACCESSED})
        if (fields & bit) bytes += 8;
    if (fields & FF_ENGINE_FIELD_ATTRIBUTES) bytes += 4;
    return bytes;
}

// Writes one item's fields in ascending bit order, as the engine lays them out.
static void FfEnginePutItem(std::string* out, size_t at, const FfEngineEntry& e, uint32_t fields)
{
    size_t nameLen = e.foldedName.size(), pathLen = e.path.size();
    size_t folderLen = pathLen > nameLen ? pathLen - nameLen - 1 : 0;
    const wchar_t* full = e.path.c_str();
    if (fields & FF_ENGINE_FIELD_NAME) FfEnginePutText(out, &at, full + (pathLen - nameLen), nameLen);
    if (fields & FF_ENGINE_FIELD_PATH) FfEnginePutText(out, &at, full, folderLen);
    if (fields & FF_ENGINE_FIELD_FULL_PATH) FfEnginePutText(out, &at, full, pathLen);
    if (fields & FF_ENGINE_FIELD_EXTENSION)
        FfEnginePutText(out, &at, full + (pathLen - e.foldedExt.size()), e.foldedExt.size());
    const uint64_t values[4] = {e.size, e.created, e.modified, e.accessed};
    const uint32_t bits[4] = {FF_ENGINE_FIELD_SIZE, FF_ENGINE_FIELD_CREATED, FF_ENGINE_FIELD_MODIFIED, FF_ENGINE_FIELD_ACCESSED};
    for (int k = 0; k < 4; ++k)
        if (fields & bits[k]) FfEnginePut64(out, at, values[k]), at += 8;
    if (fields & FF_ENGINE_FIELD_ATTRIBUTES) FfEnginePut32(out, at, e.attributes);
}

// Every item carries the fields the reply's flags (offset 12) name, in ascending bit order.
std::string FfEngineBuildReply(const FfEngineIndex& index, const std::vector<uint32_t>& picked, uint32_t total,
                               const FfEngineQuery& query, const FfEngineFaults& faults)
{
    uint32_t fields = FfEngineReplyFields(query.requestFlags, faults);
    size_t n = picked.size();
    size_t bytes = FF_ENGINE_REPLY_HEAD + 8 * n;
    for (uint32_t i : picked) bytes += FfEngineItemBytes(index.entries[i], fields);
    std::string out(bytes, '\0');
    FfEnginePut32(&out, 0, total);
    FfEnginePut32(&out, 4, (uint32_t)n);
    FfEnginePut32(&out, 8, query.firstResult);
    FfEnginePut32(&out, 12, fields);
    FfEnginePut32(&out, 16, query.sortType);
    size_t data = FF_ENGINE_REPLY_HEAD + 8 * n;
    size_t lastData = 0;
    for (size_t k = 0; k < n; ++k) {
        const FfEngineEntry& e = index.entries[picked[k]];
        FfEnginePut32(&out, FF_ENGINE_REPLY_HEAD + 8 * k, e.isFolder ? 1u : 0u);
        FfEnginePut32(&out, FF_ENGINE_REPLY_HEAD + 8 * k + 4, (uint32_t)data);
        lastData = data;
        FfEnginePutItem(&out, data, e, fields);
        data += FfEngineItemBytes(e, fields);
    }

    if (faults.excessCount > 0) FfEnginePut32(&out, 4, (uint32_t)(n + (size_t)faults.excessCount));
    if (faults.badLength && n > 0) {
        // Just long enough for the path alone to run one character past the block's end.
        uint32_t len = faults.badLengthValue ? faults.badLengthValue : (uint32_t)((bytes - lastData - 4) / 2 + 1);
        FfEnginePut32(&out, lastData, len);
    }
    if (faults.badOffset && n > 0) FfEnginePut32(&out, FF_ENGINE_REPLY_HEAD + 8 * (n - 1) + 4, (uint32_t)bytes);
    if (faults.shortBlock) out.resize(12);
    return out;
}

// Control characters and "%" become %XX so that one record is one line and the text reads back exactly.
static std::string FfEngineEscapeText(const std::wstring& text)
{
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c < 0x20 || c == L'%') {
            wchar_t hex[4];
            _snwprintf(hex, 4, L"%%%02X", (unsigned)c);
            escaped.append(hex, 3);
        } else {
            escaped.push_back(c);
        }
    }
    if (escaped.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, escaped.data(), (int)escaped.size(), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 0, '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, escaped.data(), (int)escaped.size(), &out[0], n, nullptr, nullptr);
    return out;
}

std::string FfEngineFormatLogLine(const FfEngineQuery* q, const char* ignoredReason, uint32_t copyDataId,
                                  uint32_t cbData, uint32_t total)
{
    char head[400];
    if (ignoredReason || !q) {
        snprintf(head, sizeof head, "ignored reason=%s id=%u cb=%u\r\n", ignoredReason ? ignoredReason : "no-data",
                 (unsigned)copyDataId, (unsigned)cbData);
        return head;
    }
    // The search flags by name too: match case, whole word, match path, regex.
    std::string match;
    static const char* const names[4] = {"case", "wholeword", "path", "regex"};
    for (int k = 0; k < 4; ++k)
        if (q->searchFlags & (1u << k)) match += (match.empty() ? "" : "+") + std::string(names[k]);
    snprintf(head, sizeof head,
             "query id=%u cb=%u reply=%u replyId=%u search=%u match=%s first=%u max=%u request=%u sort=%u total=%u text=",
             (unsigned)copyDataId, (unsigned)cbData, (unsigned)q->replyWindow, (unsigned)q->replyId,
             (unsigned)q->searchFlags, match.empty() ? "-" : match.c_str(), (unsigned)q->firstResult,
             (unsigned)q->maxResults, (unsigned)q->requestFlags, (unsigned)q->sortType, (unsigned)total);
    return head + FfEngineEscapeText(q->text) + "\r\n";
}
