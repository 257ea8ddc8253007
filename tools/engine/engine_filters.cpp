// Stand-in search engine: its filter list, from its own filter file in either version's layout.
#include "engine.h"
#include <stdlib.h>

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

// Where a filter row's fields stand: found by the header's names in any order; a file without a
// header has the version's own layout (1.4: search in field 6; 1.5: field 10).
struct FfEngineCsvColumns {
    int name = 0, search = 6, macro = -1;
    int flags[5] = {-1, -1, -1, -1, -1};  // Case, Whole Word, Path, Diacritics, Regex
};

static bool FfEngineMapHeader(const std::vector<std::wstring>& fields, FfEngineCsvColumns* columns)
{
    static const wchar_t* const flagNames[5] = {L"case", L"whole word", L"path", L"diacritics", L"regex"};
    FfEngineCsvColumns found;
    found.name = found.search = -1;
    for (int i = (int)fields.size() - 1; i >= 0; --i) {
        std::wstring f = FfEngineFold(fields[i]);
        if (f == L"name") found.name = i;
        if (f == L"search") found.search = i;
        if (f == L"macro") found.macro = i;
        for (int k = 0; k < 5; ++k)
            if (f == flagNames[k]) found.flags[k] = i;
    }
    if (found.name < 0 || found.search < 0) return false;
    *columns = found;
    return true;
}

std::vector<FfEngineFilter> FfEngineParseCsvFilters(const std::string& bytesIn, bool is15a)
{
    std::string bytes = bytesIn;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text;
    if (!bytes.empty()) {
        int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), nullptr, 0);
        text.resize(n > 0 ? n : 0);
        if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), (int)bytes.size(), &text[0], n);
    }
    FfEngineCsvColumns columns;
    if (is15a) columns.search = 10;
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
        bool header = first && FfEngineMapHeader(fields, &columns);
        first = false;
        if (header) continue;
        auto field = [&](int i) { return i >= 0 && i < (int)fields.size() ? fields[i] : std::wstring(); };
        FfEngineFilter filter;
        filter.name = field(columns.name);
        if (filter.name.empty()) continue;
        filter.search = field(columns.search);
        filter.macro = field(columns.macro);
        for (int k = 0; k < 5; ++k)
            if (_wtoi(field(columns.flags[k]).c_str()) != 0) filter.flags |= 1u << k;
        out.push_back(filter);
    }
    return out;
}

// The engine's filter list, from its own filter file in folder (empty: %APPDATA%\Everything):
// Filters.csv, or Filters-1.5a.csv for the 1.5a instance; without one, the stock filters.
// *file receives the path read (empty when none was).
std::vector<FfEngineFilter> FfEngineLoadFilters(const std::wstring& folderIn, bool is15a, std::wstring* file)
{
    std::wstring folder = folderIn;
    if (file) file->clear();
    if (folder.empty()) {
        wchar_t appData[2048];
        DWORD n = GetEnvironmentVariableW(L"APPDATA", appData, 2048);
        if (n > 0 && n < 2048) folder = std::wstring(appData) + L"\\Everything";
    }
    std::vector<FfEngineFilter> out;
    if (!folder.empty()) {
        std::wstring csv = folder + (is15a ? L"\\Filters-1.5a.csv" : L"\\Filters.csv");
        HANDLE h = CreateFileW(csv.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            std::string bytes;
            char buf[16384];
            DWORD got = 0;
            while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) bytes.append(buf, got);
            CloseHandle(h);
            out = FfEngineParseCsvFilters(bytes, is15a);
            if (file) *file = csv;
        }
    }
    if (out.empty()) out = FfEngineBuiltInFilters();
    return out;
}
