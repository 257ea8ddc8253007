// The filter catalogue: the engine's own filters from its ini or filters.csv, else built-in ones.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include <stdio.h>
#include <string.h>

FfFilter g_filters[FF_FILTERS_MAX];
int g_filterCount = 0;
int g_selectedFilter = 0;

static const wchar_t* const g_builtInFilters[7][2] = {
    {L"Audio",
     L"ext:aac;ac3;adt;adts;aif;aifc;aiff;amr;ape;au;cda;dts;ec3;fla;flac;lpcm;m1a;m2a;m3u;m3u8;"
     L"m4a;m4b;m4p;mid;midi;mka;mp2;mp3;mpa;mpc;oga;ogg;opus;ra;rmi;snd;wav;wax;weba;wma"},
    {L"Compressed",
     L"ext:7z;ace;arj;bz2;cab;gz;gzip;jar;r00;r01;r02;r03;r04;r05;r06;r07;r08;r09;r10;r11;r12;"
     L"r13;r14;r15;r16;r17;r18;r19;r20;r21;r22;r23;r24;r25;r26;r27;r28;r29;rar;tar;tgz;z;zip"},
    {L"Document",
     L"ext:asm;c;cc;chm;cpp;cs;css;csv;cxx;doc;docm;docx;dot;dotm;dotx;efu;epub;h;hpp;htm;html;"
     L"hxx;ini;java;js;json;lua;md;mht;mhtml;mobi;odp;ods;odt;pdf;php;pl;potm;potx;ppam;pps;"
     L"ppsm;ppsx;ppt;pptm;pptx;ps1xml;pssc;pub;py;rtf;sldm;sldx;sql;tsv;txt;vb;vsd;wpd;wps;wri;"
     L"xlam;xls;xlsb;xlsm;xlsx;xltm;xltx;xml;xsl"},
    {L"Executable", L"ext:bat;cmd;exe;msi;msp;msu;ps1;scr;vbs"},
    {L"Folder", L"folder:"},
    {L"Picture",
     L"ext:ani;apng;avif;avifs;bmp;bpg;cur;dds;gif;heic;heics;heif;heifs;hif;ico;jfi;jfif;jif;"
     L"jpe;jpeg;jpg;jxl;jxr;pcx;png;psb;psd;svg;tga;tif;tiff;wdp;webp;wmf"},
    {L"Video",
     L"ext:3g2;3gp;3gp2;3gpp;amv;asf;asx;avi;bdmv;bik;d2v;divx;drc;dsa;dsm;dss;dsv;evo;f4v;flc;"
     L"fli;flic;flv;hdmov;ifo;ivf;m1v;m2p;m2t;m2ts;m2v;m4v;mkv;mod;mov;mp2v;mp4;mp4v;mpe;mpeg;"
     L"mpg;mpls;mpv2;mpv4;mts;ogm;ogv;ogx;pss;pva;qt;ram;ratdvd;rm;rmm;rmvb;roq;rpm;smil;smk;"
     L"swf;tod;tp;tpr;ts;tts;uvu;vob;vp6;webm;wm;wmp;wmv;wmx;wvx"},
};

int FfAppendFilter(const wchar_t* name, const wchar_t* search)
{
    if (g_filterCount < 0) g_filterCount = 0;
    if (g_filterCount >= FF_FILTERS_MAX) return 0;
    FfFilter* filter = &g_filters[g_filterCount];
    FfCopyText(filter->name, FF_FILTER_NAME_MAX, name);
    FfCopyText(filter->search, FF_FILTER_SEARCH_MAX, search);
    g_filterCount++;
    return 1;
}

int FfReadIniFilters(const wchar_t* iniPath)
{
    for (int i = 1; i <= FF_FILTERS_MAX; i++) {
        wchar_t nameKey[32], searchKey[32];
        FfFormatText(nameKey, 32, L"Filter%d_Name", i);
        FfFormatText(searchKey, 32, L"Filter%d_Search", i);
        wchar_t name[FF_FILTER_NAME_MAX];
        wchar_t search[FF_FILTER_SEARCH_MAX];
        name[0] = 0;
        GetPrivateProfileStringW(L"Filters", nameKey, L"", name, FF_FILTER_NAME_MAX, iniPath);
        // The numbering is contiguous from 1: a gap ends the list.
        if (!name[0]) return i - 1;
        search[0] = 0;
        GetPrivateProfileStringW(L"Filters", searchKey, L"", search, FF_FILTER_SEARCH_MAX, iniPath);
        FfAppendFilter(name, search);
    }
    return FF_FILTERS_MAX;
}

// Reads one csv field starting at p into out (kept to FF_CSV_FIELD_MAX - 1 characters, then
// cut to cap). Returns where the next field starts, or null when the row has ended.
static const wchar_t* FfReadCsvField(const wchar_t* p, wchar_t* out, int cap)
{
    int kept = 0;
    int limit = FF_CSV_FIELD_MAX - 1;
    if (limit > cap - 1) limit = cap - 1;
    if (*p == L'"') {
        p++;
        for (;;) {
            if (!*p) {
                out[kept] = 0;
                return nullptr;  // unclosed quote: the value runs to the end of the line
            }
            if (*p == L'"') {
                if (p[1] == L'"') {
                    if (kept < limit) out[kept++] = L'"';
                    p += 2;
                    continue;
                }
                p++;
                break;
            }
            if (kept < limit) out[kept++] = *p;
            p++;
        }
        out[kept] = 0;
        return *p == L',' ? p + 1 : nullptr;
    }
    while (*p && *p != L',') {
        if (kept < limit) out[kept++] = *p;
        p++;
    }
    out[kept] = 0;
    return *p == L',' ? p + 1 : nullptr;
}

void FfParseCsvFilterLine(const wchar_t* line, wchar_t* name, int nameCap, wchar_t* search,
                          int searchCap)
{
    name[0] = 0;
    search[0] = 0;
    wchar_t field[FF_CSV_FIELD_MAX];
    const wchar_t* p = line;
    for (int index = 0; p; index++) {
        p = FfReadCsvField(p, field, FF_CSV_FIELD_MAX);
        if (index == 0) FfCopyText(name, nameCap, field);
        if (index == 10) {
            FfCopyText(search, searchCap, field);
            break;
        }
    }
}

int FfReadCsvFilters(const wchar_t* csvPath)
{
    FILE* file = _wfopen(csvPath, L"r, ccs=UTF-8");
    if (!file) return 0;
    int count = 0;
    bool first = true;
    static wchar_t line[FF_CSV_LINE_MAX];
    while (fgetws(line, FF_CSV_LINE_MAX, file)) {
        int length = (int)wcslen(line);
        while (length > 0 && (line[length - 1] == L'\r' || line[length - 1] == L'\n'))
            line[--length] = 0;
        if (length == 0) continue;
        wchar_t name[FF_FILTER_NAME_MAX];
        wchar_t search[FF_FILTER_SEARCH_MAX];
        FfParseCsvFilterLine(line, name, FF_FILTER_NAME_MAX, search, FF_FILTER_SEARCH_MAX);
        bool header = first && FfEqualTextI(name, L"name");
        first = false;
        if (header) continue;
        if (!name[0]) continue;
        FfAppendFilter(name, search);
        count++;
    }
    fclose(file);
    return count;
}

void FfSelectFilterByName(const wchar_t* name)
{
    g_selectedFilter = 0;
    if (!name || !name[0]) return;
    for (int i = 0; i < g_filterCount; i++) {
        if (FfEqualTextI(g_filters[i].name, name)) {
            g_selectedFilter = i;
            return;
        }
    }
}

// Reads from where the EverythingIniPath setting points. Returns the last reader's result.
static int FfReadFiltersFromSetting(const wchar_t* setting)
{
    wchar_t path[2048];
    FfCopyText(path, 2048, setting);
    wchar_t csvFolder[2048];
    csvFolder[0] = 0;
    bool haveCsvFolder = false;
    wchar_t file[2100];
    int read;
    DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        FfFormatText(file, 2100, L"%s\\Everything.ini", path);
        read = FfReadIniFilters(file);
        FfCopyText(csvFolder, 2048, path);
        haveCsvFolder = true;
    } else {
        read = FfReadIniFilters(path);
        const wchar_t* slash = wcsrchr(path, L'\\');
        if (slash) {
            FfCopyTextN(csvFolder, 2048, path, (int)(slash - path));
            haveCsvFolder = true;
        }
    }
    if (read <= 0 && haveCsvFolder) {
        FfFormatText(file, 2100, L"%s\\filters.csv", csvFolder);
        if (FfPathExists(file)) read = FfReadCsvFilters(file);
    }
    if (read <= 0) {
        FfEverythingDebugLog(
            L"Filters: EverythingIniPath is set but neither an ini [Filters] section nor a "
            L"filters.csv could be found from it. Point EverythingIniPath directly at "
            L"Everything's actual filters.csv path if this keeps happening.");
    }
    return read;
}

static int FfReadFiltersFromAppData(void)
{
    wchar_t appData[2048];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, 2048);
    if (length == 0 || length >= 2048) return 0;
    wchar_t file[2100];
    int read = 0;
    FfFormatText(file, 2100, L"%s\\Everything\\Everything.ini", appData);
    if (FfPathExists(file)) {
        read = FfReadIniFilters(file);
        if (read > 0) return read;
    }
    FfFormatText(file, 2100, L"%s\\Everything\\filters.csv", appData);
    if (FfPathExists(file)) read = FfReadCsvFilters(file);
    return read;
}

void FfSaveLastSelectedFilter(void)
{
    // A selection outside the catalogue names no filter: nothing to remember.
    if (g_selectedFilter < 0 || g_selectedFilter >= g_filterCount || g_selectedFilter >= FF_FILTERS_MAX) return;
    FfSaveLastFilterName(g_filters[g_selectedFilter].name);
}

void FfLoadFilterCatalogue(void)
{
    g_filterCount = 0;
    FfAppendFilter(L"<All Files>", L"");
    const wchar_t* setting = g_settings.everythingIniPath;
    int read;
    if (setting[0] && !FfEqualTextI(setting, L"Auto"))
        read = FfReadFiltersFromSetting(setting);
    else
        read = FfReadFiltersFromAppData();

    if (read > 0) {
        wchar_t line[700];
        FfFormatText(line, 128, L"Filters: loaded %d from Everything's own config.", read);
        FfEverythingDebugLog(line);
        if (g_settings.everythingDebug) {
            for (int i = 0; i < g_filterCount; i++) {
                FfFormatText(line, 700, L"  Filter[%d] \"%s\" -> [%s]", i, g_filters[i].name,
                             g_filters[i].search);
                FfEverythingDebugLog(line);
            }
        }
    } else {
        FfEverythingDebugLog(
            L"Filters: could not read Everything's own config, using built-in defaults. Set "
            L"[Everything] EverythingIniPath= in Fleetfinder.cfg if Everything is a portable "
            L"install.");
        for (int i = 0; i < 7; i++) FfAppendFilter(g_builtInFilters[i][0], g_builtInFilters[i][1]);
    }
    FfSelectFilterByName(g_settings.lastSelectedFilter);
}
