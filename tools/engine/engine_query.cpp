// Stand-in search engine: reading query records, the filter configuration, and matching the query language.
#include "engine.h"
#include <string.h>

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

std::vector<FfEngineFilter> FfEngineBuiltInFilters()
{
    static const FfEngineFilter builtIn[] = {
        {L"Audio", L"ext:aac;ac3;adt;adts;aif;aifc;aiff;amr;ape;au;cda;dts;ec3;fla;flac;lpcm;m1a;m2a;m3u;m3u8;m4a;m4b;m4p;mid;midi;mka;mp2;mp3;mpa;mpc;oga;ogg;opus;ra;rmi;snd;wav;wax;weba;wma"},
        {L"Compressed", L"ext:7z;ace;arj;bz2;cab;gz;gzip;jar;r00;r01;r02;r03;r04;r05;r06;r07;r08;r09;r10;r11;r12;r13;r14;r15;r16;r17;r18;r19;r20;r21;r22;r23;r24;r25;r26;r27;r28;r29;rar;tar;tgz;z;zip"},
        {L"Document", L"ext:asm;c;cc;chm;cpp;cs;css;csv;cxx;doc;docm;docx;dot;dotm;dotx;efu;epub;h;hpp;htm;html;hxx;ini;java;js;json;lua;md;mht;mhtml;mobi;odp;ods;odt;pdf;php;pl;potm;potx;ppam;pps;ppsm;ppsx;ppt;pptm;pptx;ps1xml;pssc;pub;py;rtf;sldm;sldx;sql;tsv;txt;vb;vsd;wpd;wps;wri;xlam;xls;xlsb;xlsm;xlsx;xltm;xltx;xml;xsl"},
        {L"Executable", L"ext:bat;cmd;exe;msi;msp;msu;ps1;scr;vbs"},
        {L"Folder", L"folder:"},
        {L"Picture", L"ext:ani;apng;avif;avifs;bmp;bpg;cur;dds;gif;heic;heics;heif;heifs;hif;ico;jfi;jfif;jif;jpe;jpeg;jpg;jxl;jxr;pcx;png;psb;psd;svg;tga;tif;tiff;wdp;webp;wmf"},
        {L"Video", L"ext:3g2;3gp;3gp2;3gpp;amv;asf;asx;avi;bdmv;bik;d2v;divx;drc;dsa;dsm;dss;dsv;evo;f4v;flc;fli;flic;flv;hdmov;ifo;ivf;m1v;m2p;m2t;m2ts;m2v;m4v;mkv;mod;mov;mp2v;mp4;mp4v;mpe;mpeg;mpg;mpls;mpv2;mpv4;mts;ogm;ogv;ogx;pss;pva;qt;ram;ratdvd;rm;rmm;rmvb;roq;rpm;smil;smk;swf;tod;tp;tpr;ts;tts;uvu;vob;vp6;webm;wm;wmp;wmv;wmx;wvx"},
    };
    return std::vector<FfEngineFilter>(builtIn, builtIn + 7);
}

// Splits one csv line into fields: a field opening with a double quote runs to the closing one
// (two quotes stand for one); after it only a comma lets the row go on.
static std::vector<std::wstring> FfEngineCsvFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t i = 0;
    for (;;) {
        std::wstring field;
        if (i < line.size() && line[i] == L'"') {
            ++i;
            for (;;) {
                if (i >= line.size()) break;
                if (line[i] == L'"') {
                    if (i + 1 < line.size() && line[i + 1] == L'"') {
                        field.push_back(L'"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field.push_back(line[i++]);
            }
            fields.push_back(field);
            if (i < line.size() && line[i] == L',') {
                ++i;
                continue;
            }
            return fields;
        }
        while (i < line.size() && line[i] != L',') field.push_back(line[i++]);
        fields.push_back(field);
        if (i >= line.size()) return fields;
        ++i;
    }
}

std::vector<FfEngineFilter> FfEngineParseCsvFilters(const std::string& bytesIn)
{
    std::string bytes = bytesIn;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text;
    if (!bytes.empty()) {
        int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
        text.resize(n > 0 ? n : 0);
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], n);
    }
    std::vector<FfEngineFilter> out;
    bool first = true;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n')) line.pop_back();
        if (line.empty()) continue;
        std::vector<std::wstring> fields = FfEngineCsvFields(line);
        bool header = first && FfEngineFold(fields[0]) == L"name";
        first = false;
        if (header || fields[0].empty()) continue;
        out.push_back({fields[0], fields.size() > 10 ? fields[10] : std::wstring()});
    }
    return out;
}

// The engine's filter list: its ini's [Filters] section, else its filters.csv, else the built-in
// seven. folder is where Everything.ini and filters.csv live (empty: %APPDATA%\Everything).
std::vector<FfEngineFilter> FfEngineLoadFilters(const std::wstring& folderIn)
{
    std::wstring folder = folderIn;
    if (folder.empty()) {
        wchar_t appData[2048];
        DWORD n = GetEnvironmentVariableW(L"APPDATA", appData, 2048);
        if (n > 0 && n < 2048) folder = std::wstring(appData) + L"\\Everything";
    }
    std::vector<FfEngineFilter> out;
    if (!folder.empty()) {
        std::wstring ini = folder + L"\\Everything.ini";
        if (GetFileAttributesW(ini.c_str()) != INVALID_FILE_ATTRIBUTES) {
            for (int i = 1; i < 4096; ++i) {
                wchar_t key[64], name[1024], search[4096];
                _snwprintf(key, 63, L"Filter%d_Name", i);
                key[63] = 0;
                GetPrivateProfileStringW(L"Filters", key, L"", name, 1024, ini.c_str());
                if (!name[0]) break;
                _snwprintf(key, 63, L"Filter%d_Search", i);
                key[63] = 0;
                GetPrivateProfileStringW(L"Filters", key, L"", search, 4096, ini.c_str());
                out.push_back({name, search});
            }
        }
        if (out.empty()) {
            std::wstring csv = folder + L"\\filters.csv";
            HANDLE h = CreateFileW(csv.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                std::string bytes;
                char buf[16384];
                DWORD got = 0;
                while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
                CloseHandle(h);
                out = FfEngineParseCsvFilters(bytes);
            }
        }
    }
    if (out.empty()) out = FfEngineBuiltInFilters();
    return out;
}

static bool FfEngineIsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Blank-separated terms; double quotes group blanks into a term and are dropped.
static std::vector<std::wstring> FfEngineTerms(const std::wstring& text)
{
    std::vector<std::wstring> terms;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && FfEngineIsBlank(text[i])) ++i;
        if (i >= text.size()) break;
        std::wstring term;
        bool quoted = false;
        while (i < text.size() && (quoted || !FfEngineIsBlank(text[i]))) {
            if (text[i] == L'"') quoted = !quoted;
            else term.push_back(text[i]);
            ++i;
        }
        terms.push_back(term);
    }
    return terms;
}

static bool FfEngineStartsWith(const std::wstring& folded, const wchar_t* prefix)
{
    return folded.compare(0, wcslen(prefix), prefix) == 0;
}

static void FfEngineCompileDepth(const std::wstring& text, const std::vector<FfEngineFilter>& filters,
                                 FfEngineMatcher* out, int depth)
{
    for (const std::wstring& term : FfEngineTerms(text)) {
        std::wstring folded = FfEngineFold(term);
        if (FfEngineStartsWith(folded, L"file:")) {
            out->filesOnly = true;
            if (folded.size() > 5) out->words.push_back(folded.substr(5));
        } else if (FfEngineStartsWith(folded, L"folder:")) {
            out->foldersOnly = true;
            if (folded.size() > 7) out->words.push_back(folded.substr(7));
        } else if (FfEngineStartsWith(folded, L"path:")) {
            // Like any term, a text the whole path holds: "c:\\dir" also finds c:\\dir itself and
            // c:\\dir2\\..., only "c:\\dir\\" stands for what lies below the folder.
            if (folded.size() > 5) out->folders.push_back(folded.substr(5));
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
        } else if (FfEngineStartsWith(folded, L"filter:")) {
            std::wstring name = folded.substr(7);
            const FfEngineFilter* found = nullptr;
            for (const auto& f : filters)
                if (FfEngineFold(f.name) == name) {
                    found = &f;
                    break;
                }
            // An unknown filter, or one that keeps naming filters, matches nothing.
            if (!found || depth >= 4) out->matchesNothing = true;
            else FfEngineCompileDepth(found->search, filters, out, depth + 1);
        } else if (!folded.empty()) {
            out->words.push_back(folded);
        }
    }
}

void FfEngineCompileQuery(const std::wstring& text, const std::vector<FfEngineFilter>& filters, FfEngineMatcher* out)
{
    *out = FfEngineMatcher();
    FfEngineCompileDepth(text, filters, out, 0);
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

bool FfEngineMatchView(const FfEngineMatcher& m, const FfEngineView& e)
{
    if (m.matchesNothing) return false;
    if (m.filesOnly && e.isFolder) return false;
    if (m.foldersOnly && !e.isFolder) return false;
    for (const auto& w : m.words)
        if (!FfEngineContains(e.name, e.nameLen, w)) return false;
    for (const auto& text : m.folders)
        if (!FfEngineContains(e.path, e.pathLen, text)) return false;
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
