// The demo's sample tree: deterministic, a few thousand files that look like a user's documents.
#include "demo.h"

namespace {

const wchar_t* const kFolders[] = {
    L"Documents\\Reports", L"Documents\\Invoices", L"Documents\\Letters", L"Projects\\atlas\\src",
    L"Projects\\atlas\\docs", L"Projects\\harbor", L"Photos\\2023\\Summer", L"Photos\\2024\\Winter",
    L"Music\\Albums", L"Music\\Podcasts", L"Archive", L"Downloads", L"Tools", L"Notes",
};
const wchar_t* const kWords[] = {
    L"report", L"invoice", L"budget", L"holiday", L"notes", L"draft", L"summary", L"meeting",
    L"photo", L"track", L"backup", L"plan", L"letter", L"quarterly", L"travel", L"recipe",
    L"design", L"review", L"contract", L"manual",
};
const wchar_t* const kExts[] = {
    L"txt", L"pdf", L"docx", L"xlsx", L"jpg", L"png", L"mp3", L"flac", L"zip", L"7z",
    L"cpp", L"h", L"md", L"csv", L"exe", L"mp4", L"pptx", L"log",
};

// Names outside ASCII, as users have them: Polish, Greek (also as a folder), Japanese, and an
// emoji that takes two UTF-16 units.
const wchar_t* const kWorldNames[] = {
    // Documents\Reports\Łódź raport 2024.txt
    L"Documents\\Reports\\\u0141\u00F3d\u017A raport 2024.txt",
    // Documents\Invoices\Προϋπολογισμός 2024.xlsx
    L"Documents\\Invoices\\\u03A0\u03C1\u03BF\u03CB\u03C0\u03BF\u03BB\u03BF\u03B3\u03B9\u03C3\u03BC"
    L"\u03CC\u03C2 2024.xlsx",
    // Notes\会議メモ 2024.txt
    L"Notes\\\u4F1A\u8B70\u30E1\u30E2 2024.txt",
    // Photos\2024\Αθήνα\holiday 🌴 beach.jpg
    L"Photos\\2024\\\u0391\u03B8\u03AE\u03BD\u03B1\\holiday \U0001F334 beach.jpg",
};

template <typename T, size_t N> constexpr int Count(T (&)[N]) { return (int)N; }

unsigned Next(unsigned* seed)
{
    *seed = *seed * 1103515245u + 12345u;
    return (*seed >> 8) & 0xFFFFFF;
}

}  // namespace

bool FfDemoMakeSample(const std::wstring& root, int* fileCount)
{
    std::vector<FfTestTreeItem> items;
    unsigned seed = 20261206;
    const int files = 3000;
    for (int i = 0; i < files; ++i) {
        const wchar_t* folder = kFolders[Next(&seed) % Count(kFolders)];
        const wchar_t* w1 = kWords[Next(&seed) % Count(kWords)];
        const wchar_t* w2 = kWords[Next(&seed) % Count(kWords)];
        const wchar_t* ext = kExts[Next(&seed) % Count(kExts)];
        int year = 2019 + (int)(Next(&seed) % 8);
        wchar_t name[160];
        switch (i % 4) {
        case 0: swprintf(name, 160, L"%ls_%ls_%d.%ls", w1, w2, year, ext); break;
        case 1: swprintf(name, 160, L"%ls %ls %03d.%ls", w1, w2, i % 1000, ext); break;
        case 2: swprintf(name, 160, L"%ls-%d-%02d.%ls", w1, year, 1 + i % 12, ext); break;
        default: swprintf(name, 160, L"%ls%d.%ls", w2, i, ext); break;
        }
        FfTestTreeItem item;
        item.relPath = std::wstring(folder) + L"\\" + name;
        // Sizes from a few bytes to a few megabytes; the bytes are written for real.
        unsigned r = Next(&seed);
        item.size = (r % 5 == 0) ? (r % 4000000) : (r % 200000);
        item.modified = FfTestFileTime(year, 1 + (int)(Next(&seed) % 12), 1 + (int)(Next(&seed) % 28),
                                       (int)(Next(&seed) % 24), (int)(Next(&seed) % 60));
        items.push_back(item);
    }
    // After the generated names, so that those stay as they were.
    for (int i = 0; i < Count(kWorldNames); ++i) {
        FfTestTreeItem item;
        item.relPath = kWorldNames[i];
        item.size = 1000 + 700 * (unsigned)i;
        item.modified = FfTestFileTime(2024, 3 + i, 11, 9, 30);
        items.push_back(item);
    }
    *fileCount = (int)items.size();
    if (!FfTestMakeTree(root, items)) return false;
    // Each file begins with a line naming it (the rest stays sparse), so that a copy can be
    // compared byte for byte with its source; the modification time is put back afterwards.
    for (const FfTestTreeItem& item : items) {
        std::wstring path = root + L"\\" + item.relPath;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        std::string line = "Fleetfinder demo file " + FfTestUtf8(item.relPath) + "\r\n";
        DWORD put = 0;
        DWORD n = (DWORD)(line.size() < item.size ? line.size() : item.size);
        WriteFile(h, line.data(), n, &put, nullptr);
        FILETIME ft;
        ft.dwLowDateTime = (DWORD)item.modified;
        ft.dwHighDateTime = (DWORD)(item.modified >> 32);
        SetFileTime(h, nullptr, nullptr, &ft);
        CloseHandle(h);
    }
    return true;
}

bool FfDemoWriteEngineConfig(const std::wstring& folder)
{
    // Name,Case,Whole Word,Path,Diacritics,Regex,Search,Macro,Key: the search is the seventh
    // field, the macro has no colon, "EVERYTHING" is the engine's own "all files".
    static const char* const rows[][3] = {
        {"EVERYTHING", "", ""},
        {"AUDIO", "ext:aac;ac3;aif;aifc;aiff;flac;m4a;mid;midi;mp3;ogg;opus;wav;wma", "audio"},
        {"COMPRESSED", "ext:7z;bz2;cab;gz;rar;tar;tgz;zip", "zip"},
        {"DOCUMENT", "ext:c;chm;cpp;csv;doc;docx;h;htm;html;ini;md;odt;pdf;ppt;pptx;rtf;txt;xls;xlsx;xml", "doc"},
        {"EXECUTABLE", "ext:bat;cmd;exe;msi;scr", "exe"},
        {"FOLDER", "folder:", ""},
        {"PICTURE", "ext:bmp;gif;ico;jpeg;jpg;png;psd;svg;tif;tiff;webp", "pic"},
        {"VIDEO", "ext:avi;m4v;mkv;mov;mp4;mpeg;mpg;webm;wmv", "video"},
    };
    std::string csv = "Name,Case,Whole Word,Path,Diacritics,Regex,Search,Macro,Key\r\n";
    for (const auto& row : rows)
        csv += std::string("\"") + row[0] + "\",0,0,0,0,0,\"" + row[1] + "\",\"" + row[2] + "\",\"\"\r\n";
    return FfTestWriteBytes(folder + L"\\Everything.ini", "[Everything]\r\n") &&
           FfTestWriteBytes(folder + L"\\Filters.csv", csv);
}
