// Stand-in search engine: reading query records and matching the query language (groups, modifiers, filters).
#include "engine.h"
#include <string.h>
#include <wctype.h>

// Records are read field by field at fixed offsets, so a 32-bit and a 64-bit peer agree. A record
// without room for its head or without a terminator inside the block is refused, never guessed.
const char* FfEngineParseRecord(const void* data, size_t size, FfEngineQuery* out)
{
    if (!data || size == 0) return "no-data";
    if (size < FF_ENGINE_QUERY_HEAD) return "short";
    const unsigned char* p = (const unsigned char*)data;
    uint32_t f[7];
    memcpy(f, p, sizeof f);
    out->replyWindow = f[0];
    out->replyId = f[1];
    out->searchFlags = f[2];
    out->firstResult = f[3];
    out->maxResults = f[4];
    out->requestFlags = f[5];
    out->sortType = f[6];
    size_t chars = (size - FF_ENGINE_QUERY_HEAD) / 2;
    out->text.clear();
    for (size_t i = 0; i < chars; ++i) {
        wchar_t c;
        memcpy(&c, p + FF_ENGINE_QUERY_HEAD + 2 * i, 2);
        if (c == 0) return nullptr;
        out->text.push_back(c);
    }
    out->text.clear();
    return "unterminated";
}

static bool FfEngineIsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

static bool FfEngineStartsWith(const std::wstring& folded, const wchar_t* prefix)
{
    return folded.compare(0, wcslen(prefix), prefix) == 0;
}

// Reads the modifiers at pos (case:, wholeword:/ww:, path:, regex:, diacritics: and their no-
// forms) into options. Diacritics are not told apart by this engine: accepted and dropped.
static void FfEngineReadModifiers(const std::wstring& text, size_t* pos, uint32_t* options)
{
    static const struct { const wchar_t* word; uint32_t set, clear; } modifiers[] = {
        {L"case:", FF_ENGINE_MATCH_CASE, 0}, {L"nocase:", 0, FF_ENGINE_MATCH_CASE},
        {L"wholeword:", FF_ENGINE_MATCH_WHOLE_WORD, 0}, {L"ww:", FF_ENGINE_MATCH_WHOLE_WORD, 0},
        {L"nowholeword:", 0, FF_ENGINE_MATCH_WHOLE_WORD}, {L"noww:", 0, FF_ENGINE_MATCH_WHOLE_WORD},
        {L"path:", FF_ENGINE_MATCH_PATH, 0}, {L"nopath:", 0, FF_ENGINE_MATCH_PATH},
        {L"regex:", FF_ENGINE_MATCH_REGEX, 0}, {L"noregex:", 0, FF_ENGINE_MATCH_REGEX},
        {L"diacritics:", 0, 0}, {L"nodiacritics:", 0, 0},
    };
    for (bool more = true; more;) {
        more = false;
        std::wstring rest = FfEngineFold(text.substr(*pos, 16));
        for (const auto& m : modifiers) {
            if (!FfEngineStartsWith(rest, m.word)) continue;
            *options = (*options | m.set) & ~m.clear;
            *pos += wcslen(m.word);
            more = true;
            break;
        }
    }
}

// One term from pos: up to a blank or, inside a group, its closing ">" (outside double quotes,
// which group blanks into the term and are dropped).
static std::wstring FfEngineReadTerm(const std::wstring& text, size_t* pos, bool inGroup)
{
    std::wstring term;
    bool quoted = false;
    while (*pos < text.size()) {
        wchar_t c = text[*pos];
        if (!quoted && (FfEngineIsBlank(c) || (inGroup && c == L'>'))) break;
        if (c == L'"') quoted = !quoted;
        else term.push_back(c);
        ++*pos;
    }
    return term;
}

static void FfEngineAddWord(const std::wstring& word, uint32_t options, FfEngineMatcher* out)
{
    if (word.empty()) return;
    std::wstring folded = FfEngineFold(word);
    // The common cases keep the fast sweep: a word in the name, a text in the path.
    if (options == 0) return out->words.push_back(folded);
    if (options == FF_ENGINE_MATCH_PATH) return out->folders.push_back(folded);
    FfEngineTerm term;
    term.text = word;
    term.folded = folded;
    term.options = options;
    if (options & FF_ENGINE_MATCH_REGEX) {
        try {
            auto flags = std::regex_constants::ECMAScript;
            if (!(options & FF_ENGINE_MATCH_CASE)) flags |= std::regex_constants::icase;
            term.regex = std::make_shared<std::wregex>(word, flags);
        } catch (const std::regex_error&) {
            out->matchesNothing = true;  // as the engine does with a pattern it cannot read
            return;
        }
    }
    out->terms.push_back(term);
}

struct FfEngineCompileContext {
    const std::vector<FfEngineFilter>* filters;
    bool filterFunction;
};

// Reads terms from pos until the end, or inside a group until its ">". A group's modifiers and
// the query's flags apply to every term in it; all terms must hold (no "|" here).
static void FfEngineCompileSequence(const std::wstring& text, size_t* pos, bool inGroup, uint32_t options,
                                    const FfEngineCompileContext& ctx, FfEngineMatcher* out, int depth)
{
    while (*pos < text.size()) {
        while (*pos < text.size() && FfEngineIsBlank(text[*pos])) ++*pos;
        if (*pos >= text.size()) return;
        if (text[*pos] == L'>') {
            ++*pos;
            if (inGroup) return;
            continue;  // a ">" closing nothing
        }
        uint32_t termOptions = options;
        FfEngineReadModifiers(text, pos, &termOptions);
        if (*pos < text.size() && text[*pos] == L'<') {
            ++*pos;
            FfEngineCompileSequence(text, pos, true, termOptions, ctx, out, depth);
            continue;
        }
        std::wstring term = FfEngineReadTerm(text, pos, inGroup);
        std::wstring folded = FfEngineFold(term);
        if (FfEngineStartsWith(folded, L"file:")) {
            out->filesOnly = true;
            FfEngineAddWord(term.substr(5), termOptions, out);
        } else if (FfEngineStartsWith(folded, L"folder:")) {
            out->foldersOnly = true;
            FfEngineAddWord(term.substr(7), termOptions, out);
        } else if (FfEngineStartsWith(folded, L"ext:")) {
            std::vector<std::wstring> set;
            std::wstring list = folded.substr(4);
            size_t start = 0;
            for (;;) {
                size_t semi = list.find(L';', start);
                set.push_back(list.substr(start, semi == std::wstring::npos ? std::wstring::npos : semi - start));
                if (semi == std::wstring::npos) break;
                start = semi + 1;
            }
            out->extSets.push_back(set);
        } else if (ctx.filterFunction && FfEngineStartsWith(folded, L"filter:")) {
            std::wstring name = folded.substr(7);
            const FfEngineFilter* found = nullptr;
            for (const auto& f : *ctx.filters)
                if (FfEngineFold(f.name) == name) {
                    found = &f;
                    break;
                }
            // An unknown filter, or one that keeps naming filters, matches nothing.
            if (!found || depth >= 4) {
                out->matchesNothing = true;
                continue;
            }
            // The filter's own options (Case, Whole Word, Path; Diacritics dropped; Regex) apply
            // to its search as a group's modifiers do.
            uint32_t own = termOptions | (found->flags & 0x7u) | ((found->flags & 0x10u) ? FF_ENGINE_MATCH_REGEX : 0);
            size_t at = 0;
            FfEngineCompileSequence(found->search, &at, false, own, ctx, out, depth + 1);
        } else {
            // Below 1.5, filter: and the filter macros are plain text, which no name holds.
            FfEngineAddWord(term, termOptions, out);
        }
    }
}

void FfEngineCompileQuery(const std::wstring& text, const std::vector<FfEngineFilter>& filters,
                          const FfEngineDialect& dialect, FfEngineMatcher* out)
{
    *out = FfEngineMatcher();
    FfEngineCompileContext ctx = {&filters, dialect.filterFunction};
    size_t pos = 0;
    FfEngineCompileSequence(text, &pos, false, dialect.searchFlags & 0xFu, ctx, out, 0);
}

// Plain loops rather than the string class's searches: those call the C runtime per item, which
// made a word query over 100 000 names some thirty times slower.
static bool FfEngineContains(const wchar_t* hp, size_t h, const std::wstring& needle)
{
    size_t n = needle.size();
    if (n == 0) return true;
    if (n > h) return false;
    const wchar_t* np = needle.data();
    wchar_t first = np[0];
    for (size_t i = 0; i + n <= h; ++i) {
        if (hp[i] != first) continue;
        size_t k = 1;
        while (k < n && hp[i + k] == np[k]) ++k;
        if (k == n) return true;
    }
    return false;
}

static bool FfEngineSame(const wchar_t* a, const wchar_t* b, size_t n)
{
    for (size_t k = 0; k < n; ++k)
        if (a[k] != b[k]) return false;
    return true;
}

static FfEngineView FfEngineViewOf(const FfEngineEntry& e, const wchar_t* path, const wchar_t* name)
{
    FfEngineView v;
    v.rawPath = e.path.c_str();
    v.path = path;
    v.pathLen = e.foldedPath.size();
    v.name = name;
    v.nameLen = e.foldedName.size();
    v.ext = name + (v.nameLen - e.foldedExt.size());
    v.extLen = e.foldedExt.size();
    v.isFolder = e.isFolder;
    return v;
}

bool FfEngineMatch(const FfEngineMatcher& m, const FfEngineEntry& e)
{
    return FfEngineMatchView(m, FfEngineViewOf(e, e.foldedPath.data(), e.foldedPath.data() + (e.foldedPath.size() - e.foldedName.size())));
}

static void FfEnginePack(FfEngineIndex* index)
{
    size_t chars = 0;
    for (const auto& e : index->entries) chars += e.foldedPath.size() + 1;
    index->packedText.assign(chars, L'\0');
    index->packedViews.clear();
    index->packedViews.reserve(index->entries.size());
    size_t at = 0;
    for (const auto& e : index->entries) {
        wchar_t* path = &index->packedText[at];
        for (size_t k = 0; k < e.foldedPath.size(); ++k) path[k] = e.foldedPath[k];
        index->packedViews.push_back(FfEngineViewOf(e, path, path + (e.foldedPath.size() - e.foldedName.size())));
        at += e.foldedPath.size() + 1;
    }
    index->packed = true;
}

static bool FfEngineIsWordChar(wchar_t c)
{
    return iswalnum(c) || c == L'_';
}

// One term with options: in the name, or the whole path; folded or as written; anywhere, as a
// whole word, or as a regular expression.
static bool FfEngineMatchTerm(const FfEngineTerm& t, const FfEngineView& e)
{
    bool inPath = (t.options & FF_ENGINE_MATCH_PATH) != 0;
    bool exact = (t.options & FF_ENGINE_MATCH_CASE) != 0;
    const wchar_t* base = exact ? e.rawPath : e.path;
    size_t at = inPath ? 0 : (size_t)(e.name - e.path);
    const wchar_t* hay = base + at;
    size_t len = inPath ? e.pathLen : e.nameLen;
    if (t.regex) return std::regex_search(hay, hay + len, *t.regex);
    const std::wstring& needle = exact ? t.text : t.folded;
    size_t n = needle.size();
    for (size_t i = 0; i + n <= len; ++i) {
        if (wmemcmp(hay + i, needle.data(), n) != 0) continue;
        if (!(t.options & FF_ENGINE_MATCH_WHOLE_WORD)) return true;
        bool before = i == 0 || !FfEngineIsWordChar(hay[i - 1]);
        bool after = i + n == len || !FfEngineIsWordChar(hay[i + n]);
        if (before && after) return true;
    }
    return false;
}

bool FfEngineMatchView(const FfEngineMatcher& m, const FfEngineView& e)
{
    if (m.matchesNothing) return false;
    if (m.filesOnly && e.isFolder) return false;
    if (m.foldersOnly && !e.isFolder) return false;
    for (const auto& w : m.words)
        if (!FfEngineContains(e.name, e.nameLen, w)) return false;
    for (const auto& text : m.folders)
        if (!FfEngineContains(e.path, e.pathLen, text)) return false;
    for (const auto& term : m.terms)
        if (!FfEngineMatchTerm(term, e)) return false;
    if (!m.extSets.empty()) {
        if (e.isFolder) return false;  // extensions name file types; folders never match them
        for (const auto& set : m.extSets) {
            bool any = false;
            for (const auto& ext : set)
                if (ext.size() == e.extLen && FfEngineSame(ext.data(), e.ext, e.extLen)) {
                    any = true;
                    break;
                }
            if (!any) return false;
        }
    }
    return true;
}

uint32_t FfEngineRun(FfEngineIndex* index, const FfEngineMatcher& matcher, uint32_t sortType, uint32_t first,
                     uint32_t max, std::vector<uint32_t>* picked)
{
    picked->clear();
    if (matcher.matchesNothing) return 0;
    if (!index->packed) FfEnginePack(index);
    // Match in storage order (one sweep through memory), then walk the sort order over the hits.
    size_t n = index->entries.size();
    std::vector<unsigned char> hit(n);
    uint32_t total = 0;
    for (size_t i = 0; i < n; ++i) {
        hit[i] = FfEngineMatchView(matcher, index->packedViews[i]) ? 1 : 0;
        total += hit[i];
    }
    const std::vector<uint32_t>& order = FfEngineOrder(index, sortType);
    uint64_t end = (uint64_t)first + max;
    uint32_t seen = 0;
    for (uint32_t i : order) {
        if (!hit[i]) continue;
        if (seen >= end) break;
        if (seen >= first) picked->push_back(i);
        ++seen;
    }
    return total;
}
