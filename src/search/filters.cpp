// The filter catalogue: the engine's own filters from its filter file (either version's layout) or
// ini, else built-in ones; the names its window shows.
#include "search/search.h"
#include "core/core.h"
#include "core/text.h"
#include <stdlib.h>
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

int FfAppendFilterRecord(const FfFilter* source)
{
    if (g_filterCount < 0) g_filterCount = 0;
    if (g_filterCount >= FF_FILTERS_MAX) return 0;
    FfFilter* filter = &g_filters[g_filterCount];
    FfCopyText(filter->name, FF_FILTER_NAME_MAX, source->name);
    FfCopyText(filter->search, FF_FILTER_SEARCH_MAX, source->search);
    FfCopyText(filter->macro, FF_FILTER_MACRO_MAX, source->macro);
    filter->flags = source->flags;
    g_filterCount++;
    return 1;
}

int FfAppendFilter(const wchar_t* name, const wchar_t* search)
{
    FfFilter filter;
    FfCopyText(filter.name, FF_FILTER_NAME_MAX, name);
    FfCopyText(filter.search, FF_FILTER_SEARCH_MAX, search);
    filter.macro[0] = 0;
    filter.flags = 0;
    return FfAppendFilterRecord(&filter);
}

// The stock rows' keys and the names the engine's window shows for them. EVERYTHING is the
// engine's own "<All Files>" and is not listed twice.
static const wchar_t* const g_stockFilterNames[8][2] = {
    {L"EVERYTHING", L"<All Files>"}, {L"AUDIO", L"Audio"},     {L"COMPRESSED", L"Compressed"},
    {L"DOCUMENT", L"Document"},      {L"EXECUTABLE", L"Executable"}, {L"FOLDER", L"Folder"},
    {L"PICTURE", L"Picture"},        {L"VIDEO", L"Video"},
};

const wchar_t* FfFilterShownName(const wchar_t* name)
{
    // The keys are upper case exactly: a user's own "Audio" or "audio" is the user's name.
    for (int i = 0; i < 8; i++)
        if (wcscmp(name, g_stockFilterNames[i][0]) == 0) return g_stockFilterNames[i][1];
    return name;
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

void FfFixedCsvColumns(FfCsvColumns* columns)
{
    columns->name = 0;
    columns->search = 10;
    for (int k = 0; k < 5; k++) columns->flags[k] = -1;
    columns->macro = -1;
}

int FfMapCsvHeader(const wchar_t* line, FfCsvColumns* columns)
{
    static const wchar_t* const flagNames[5] = {L"Case", L"Whole Word", L"Path", L"Diacritics",
                                                L"Regex"};
    FfCsvColumns found;
    found.name = found.search = found.macro = -1;
    for (int k = 0; k < 5; k++) found.flags[k] = -1;
    wchar_t field[FF_CSV_FIELD_MAX];
    const wchar_t* p = line;
    // The first field of that name counts; a column past the reader's reach is no column.
    for (int index = 0; p && index < 4096; index++) {
        p = FfReadCsvField(p, field, FF_CSV_FIELD_MAX);
        if (FfEqualTextI(field, L"Name") && found.name < 0) found.name = index;
        if (FfEqualTextI(field, L"Search") && found.search < 0) found.search = index;
        if (FfEqualTextI(field, L"Macro") && found.macro < 0) found.macro = index;
        for (int k = 0; k < 5; k++)
            if (FfEqualTextI(field, flagNames[k]) && found.flags[k] < 0) found.flags[k] = index;
    }
    FfFixedCsvColumns(columns);
    if (found.name < 0 || found.search < 0) return 0;
    *columns = found;
    return 1;
}

void FfParseCsvFilterLine(const wchar_t* line, const FfCsvColumns* columns, FfFilter* filter)
{
    filter->name[0] = 0;
    filter->search[0] = 0;
    filter->macro[0] = 0;
    filter->flags = 0;
    int last = columns->name > columns->search ? columns->name : columns->search;
    if (columns->macro > last) last = columns->macro;
    for (int k = 0; k < 5; k++)
        if (columns->flags[k] > last) last = columns->flags[k];
    wchar_t field[FF_CSV_FIELD_MAX];
    const wchar_t* p = line;
    for (int index = 0; p && index <= last; index++) {
        p = FfReadCsvField(p, field, FF_CSV_FIELD_MAX);
        if (index == columns->name) FfCopyText(filter->name, FF_FILTER_NAME_MAX, field);
        if (index == columns->search) FfCopyText(filter->search, FF_FILTER_SEARCH_MAX, field);
        if (index == columns->macro) FfCopyText(filter->macro, FF_FILTER_MACRO_MAX, field);
        for (int k = 0; k < 5; k++)
            if (index == columns->flags[k] && _wtoi(field) != 0) filter->flags |= 1u << k;
    }
}

int FfReadCsvFilters(const wchar_t* csvPath)
{
    FILE* file = _wfopen(csvPath, L"r, ccs=UTF-8");
    if (!file) return 0;
    int count = 0;
    bool first = true;
    FfCsvColumns columns;
    FfFixedCsvColumns(&columns);
    static wchar_t line[FF_CSV_LINE_MAX];
    while (fgetws(line, FF_CSV_LINE_MAX, file)) {
        int length = (int)wcslen(line);
        while (length > 0 && (line[length - 1] == L'\r' || line[length - 1] == L'\n'))
            line[--length] = 0;
        if (length == 0) continue;
        if (first) {
            first = false;
            // A header names the columns; one that only begins with "name" keeps the fixed ones.
            if (FfMapCsvHeader(line, &columns)) continue;
            wchar_t head[FF_FILTER_NAME_MAX];
            FfReadCsvField(line, head, FF_FILTER_NAME_MAX);
            if (FfEqualTextI(head, L"name")) continue;
        }
        FfFilter filter;
        FfParseCsvFilterLine(line, &columns, &filter);
        if (!filter.name[0]) continue;
        count++;
        // The engine's own "everything" row is the catalogue's first entry already.
        if (!filter.search[0] && wcscmp(filter.name, L"EVERYTHING") == 0) continue;
        FfAppendFilterRecord(&filter);
    }
    fclose(file);
    return count;
}

void FfSelectFilterByName(const wchar_t* name)
{
    g_selectedFilter = 0;
    if (!name || !name[0]) return;
    // The name as the file has it is what is saved; a name saved as shown (by earlier builds)
    // still finds its filter.
    for (int pass = 0; pass < 2; pass++) {
        for (int i = 0; i < g_filterCount && i < FF_FILTERS_MAX; i++) {
            const wchar_t* candidate = pass ? FfFilterShownName(g_filters[i].name) : g_filters[i].name;
            if (FfEqualTextI(candidate, name)) {
                g_selectedFilter = i;
                return;
            }
        }
    }
}

// The files of one engine version: 1.4 keeps Everything.ini and Filters.csv, the 1.5 alpha
// (instance "1.5a") Everything-1.5a.ini and Filters-1.5a.csv, side by side in one folder.
static const wchar_t* FfIniFileName(int is15a) { return is15a ? L"Everything-1.5a.ini" : L"Everything.ini"; }
static const wchar_t* FfCsvFileName(int is15a) { return is15a ? L"Filters-1.5a.csv" : L"Filters.csv"; }

static int FfIsEngine15a(HWND engine)
{
    wchar_t name[256];
    return engine && GetClassNameW(engine, name, 256) > 0 &&
           wcscmp(name, FF_EVERYTHING_NAMED_CLASS_PREFIX L"1.5a)") == 0;
}

// Reads from where the EverythingIniPath setting points. Returns the last reader's result.
static int FfReadFiltersFromSetting(const wchar_t* setting, int is15a)
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
        // A portable 1.5 alpha's folder holds its own ini and no 1.4 one.
        wchar_t other[2100];
        FfFormatText(file, 2100, L"%s\\%s", path, FfIniFileName(1));
        FfFormatText(other, 2100, L"%s\\%s", path, FfIniFileName(0));
        if (FfPathExists(file) && !FfPathExists(other)) is15a = 1;
        FfFormatText(file, 2100, L"%s\\%s", path, FfIniFileName(is15a));
        read = FfReadIniFilters(file);
        FfCopyText(csvFolder, 2048, path);
        haveCsvFolder = true;
    } else {
        if (FfEqualTextI(FfPathBaseName(path), FfIniFileName(1))) is15a = 1;
        read = FfReadIniFilters(path);
        const wchar_t* slash = wcsrchr(path, L'\\');
        if (slash) {
            FfCopyTextN(csvFolder, 2048, path, (int)(slash - path));
            haveCsvFolder = true;
        }
    }
    if (read <= 0 && haveCsvFolder) {
        FfFormatText(file, 2100, L"%s\\%s", csvFolder, FfCsvFileName(is15a));
        if (FfPathExists(file)) read = FfReadCsvFilters(file);
    }
    if (read <= 0) {
        FfEverythingDebugLog(
            L"Filters: EverythingIniPath is set but neither an ini [Filters] section nor a "
            L"Filters.csv (Filters-1.5a.csv for the 1.5 alpha) could be found from it. Point "
            L"EverythingIniPath at the folder that holds Everything's filter file.");
    }
    return read;
}

static int FfReadFiltersFromAppData(int is15a)
{
    wchar_t appData[2048];
    DWORD length = GetEnvironmentVariableW(L"APPDATA", appData, 2048);
    if (length == 0 || length >= 2048) return 0;
    wchar_t file[2100];
    int read = 0;
    FfFormatText(file, 2100, L"%s\\Everything\\%s", appData, FfIniFileName(is15a));
    if (FfPathExists(file)) {
        read = FfReadIniFilters(file);
        if (read > 0) return read;
    }
    FfFormatText(file, 2100, L"%s\\Everything\\%s", appData, FfCsvFileName(is15a));
    if (FfPathExists(file)) read = FfReadCsvFilters(file);
    return read;
}

void FfSaveLastSelectedFilter(void)
{
    // A selection outside the catalogue names no filter: nothing to remember.
    if (g_selectedFilter < 0 || g_selectedFilter >= g_filterCount || g_selectedFilter >= FF_FILTERS_MAX) return;
    FfSaveLastFilterName(g_filters[g_selectedFilter].name);
}

void FfLoadFilterCatalogue(HWND engine)
{
    g_filterCount = 0;
    FfAppendFilter(L"<All Files>", L"");
    const wchar_t* setting = g_settings.everythingIniPath;
    int is15a = FfIsEngine15a(engine);
    int read;
    if (setting[0] && !FfEqualTextI(setting, L"Auto"))
        read = FfReadFiltersFromSetting(setting, is15a);
    else
        read = FfReadFiltersFromAppData(is15a);

    if (read > 0) {
        wchar_t line[700];
        FfFormatText(line, 128, L"Filters: loaded %d from Everything's own config.", read);
        FfEverythingDebugLog(line);
        if (g_settings.everythingDebug) {
            for (int i = 0; i < g_filterCount; i++) {
                FfFormatText(line, 700, L"  Filter[%d] \"%s\" -> [%s] flags=%lu macro=%s", i,
                             g_filters[i].name, g_filters[i].search,
                             (unsigned long)g_filters[i].flags, g_filters[i].macro);
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
