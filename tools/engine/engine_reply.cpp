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

// Every item is laid out for request flags 84 (length, path, terminator, size, date modified),
// the only layout the plug-in asks for; the flags themselves are echoed as received.
std::string FfEngineBuildReply(const FfEngineIndex& index, const std::vector<uint32_t>& picked, uint32_t total,
                               const FfEngineQuery& query, const FfEngineFaults& faults)
{
    size_t n = picked.size();
    size_t bytes = FF_ENGINE_REPLY_HEAD + 8 * n;
    for (uint32_t i : picked) bytes += 4 + 2 * (index.entries[i].path.size() + 1) + 16;
    std::string out(bytes, '\0');
    FfEnginePut32(&out, 0, total);
    FfEnginePut32(&out, 4, (uint32_t)n);
    FfEnginePut32(&out, 8, query.firstResult);
    FfEnginePut32(&out, 12, query.requestFlags);
    FfEnginePut32(&out, 16, query.sortType);
    size_t data = FF_ENGINE_REPLY_HEAD + 8 * n;
    size_t lastData = 0;
    for (size_t k = 0; k < n; ++k) {
        const FfEngineEntry& e = index.entries[picked[k]];
        FfEnginePut32(&out, FF_ENGINE_REPLY_HEAD + 8 * k, e.isFolder ? 1u : 0u);
        FfEnginePut32(&out, FF_ENGINE_REPLY_HEAD + 8 * k + 4, (uint32_t)data);
        lastData = data;
        uint32_t len = (uint32_t)e.path.size();
        FfEnginePut32(&out, data, len);
        memcpy(&out[data + 4], e.path.data(), 2 * (size_t)len);  // terminator: already zero
        FfEnginePut64(&out, data + 6 + 2 * (size_t)len, e.size);
        FfEnginePut64(&out, data + 14 + 2 * (size_t)len, e.modified);
        data += 4 + 2 * ((size_t)len + 1) + 16;
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
    snprintf(head, sizeof head,
             "query id=%u cb=%u reply=%u replyId=%u search=%u first=%u max=%u request=%u sort=%u total=%u text=",
             (unsigned)copyDataId, (unsigned)cbData, (unsigned)q->replyWindow, (unsigned)q->replyId,
             (unsigned)q->searchFlags, (unsigned)q->firstResult, (unsigned)q->maxResults, (unsigned)q->requestFlags,
             (unsigned)q->sortType, (unsigned)total);
    return head + FfEngineEscapeText(q->text) + "\r\n";
}
