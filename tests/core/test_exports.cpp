// The built plug-in files read as PE images: width, DLL flag, imports limited to system DLLs, exactly the host's entry points.
#include <gtest/gtest.h>
#include "fftest.h"
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

// What one PE file says about itself; `error` is set when the file is not a readable image.
struct PeFacts {
    std::string error;
    WORD machine = 0;
    bool isDll = false;
    std::vector<std::string> imports;
    std::map<std::string, DWORD> exports;  // name -> function address (RVA)
};

// Reads the file as stored (the other width's image cannot be loaded here); every read is bounds-checked.
class PeReader {
public:
    explicit PeReader(const std::string& bytes) : b(bytes) {}

    PeFacts Read()
    {
        PeFacts facts;
        DWORD pe = 0;
        IMAGE_FILE_HEADER file;
        WORD magic = 0;
        if (b.compare(0, 2, "MZ") != 0 || !Get(0x3C, &pe) || pe > b.size() || !Get(pe + 4, &file) ||
            !Get(pe + 24, &magic) || b.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
            facts.error = "not a PE image";
            return facts;
        }
        facts.machine = file.Machine;
        facts.isDll = (file.Characteristics & IMAGE_FILE_DLL) != 0;
        DWORD optional = pe + 24;
        // The data directories sit at a different offset in the 32- and 64-bit optional headers.
        DWORD directories = optional + (magic == 0x20B ? 112 : 96);
        IMAGE_DATA_DIRECTORY exportDir = {}, importDir = {};
        if (!Get(directories, &exportDir) || !Get(directories + 8, &importDir)) {
            facts.error = "truncated optional header";
            return facts;
        }
        IMAGE_SECTION_HEADER section;
        for (WORD i = 0; i < file.NumberOfSections &&
                         Get(optional + file.SizeOfOptionalHeader + i * sizeof section, &section); ++i)
            sections.push_back(section);
        DWORD at = importDir.VirtualAddress ? Offset(importDir.VirtualAddress) : 0;
        for (IMAGE_IMPORT_DESCRIPTOR d; at && Get(at, &d) && d.Name; at += sizeof d) facts.imports.push_back(Text(d.Name));
        IMAGE_EXPORT_DIRECTORY e;
        if (!exportDir.VirtualAddress) return facts;
        if (!Get(Offset(exportDir.VirtualAddress), &e)) {
            facts.error = "unreadable export directory";
            return facts;
        }
        for (DWORD i = 0; i < e.NumberOfNames; ++i) {
            DWORD nameRva = 0, function = 0;
            WORD ordinal = 0;
            if (!Get(Offset(e.AddressOfNames) + 4 * i, &nameRva) || !Get(Offset(e.AddressOfNameOrdinals) + 2 * i, &ordinal) ||
                !Get(Offset(e.AddressOfFunctions) + 4 * ordinal, &function)) {
                facts.error = "truncated export tables";
                return facts;
            }
            facts.exports[Text(nameRva)] = function;
        }
        return facts;
    }

private:
    const std::string& b;
    std::vector<IMAGE_SECTION_HEADER> sections;

    template <class T> bool Get(DWORD offset, T* out) const
    {
        if (offset > b.size() || sizeof(T) > b.size() - offset) return false;
        memcpy(out, b.data() + offset, sizeof(T));
        return true;
    }
    // File offset of an RVA, or 0 when no section holds it.
    DWORD Offset(DWORD rva) const
    {
        for (const IMAGE_SECTION_HEADER& s : sections) {
            DWORD size = std::max(s.Misc.VirtualSize, s.SizeOfRawData);
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + size) return rva - s.VirtualAddress + s.PointerToRawData;
        }
        return 0;
    }
    std::string Text(DWORD rva) const
    {
        DWORD at = Offset(rva);
        if (!at || at >= b.size()) return "<bad rva>";
        return std::string(b.c_str() + at, strnlen(b.c_str() + at, b.size() - at));
    }
};

// The host's entry points and the byte size of each one's arguments in the 32-bit build.
const std::map<std::string, int> kInterface = {
    {"FsInit", 16},          {"FsGetDefRootName", 8},       {"FsFindFirst", 8},
    {"FsFindNext", 8},       {"FsFindClose", 4},            {"FsGetFile", 16},
    {"FsExecuteFile", 12},   {"FsDeleteFile", 4},           {"FsContentGetSupportedField", 16},
    {"FsContentGetValue", 24}, {"ContentGetDetectString", 8}, {"ContentGetSupportedField", 16},
    {"ContentGetValue", 24},
    // The Unicode twins a host of version 7.5 or later calls instead.
    {"FsInitW", 16},         {"FsFindFirstW", 8},           {"FsFindNextW", 8},
    {"FsGetFileW", 16},      {"FsExecuteFileW", 12},        {"FsDeleteFileW", 4},
    {"FsContentGetValueW", 24}, {"ContentGetValueW", 24},
};

bool AllowedImport(std::string name)
{
    static const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                                 "shell32.dll",  "comctl32.dll", "ole32.dll", "msvcrt.dll"};
    for (char& c : name) c = (char)tolower((unsigned char)c);
    return system.count(name) || name.compare(0, 11, "api-ms-win-") == 0;
}

void CheckPlugin(const std::wstring& path, int bits)
{
    SCOPED_TRACE(FfTestUtf8(path));
    std::string bytes = FfTestReadBytes(path);
    ASSERT_FALSE(bytes.empty()) << "plug-in file missing";
    PeFacts pe = PeReader(bytes).Read();
    ASSERT_EQ("", pe.error);
    EXPECT_EQ(bits == 32 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64, pe.machine);
    EXPECT_TRUE(pe.isDll);
    EXPECT_FALSE(pe.imports.empty());
    for (const std::string& dll : pe.imports) EXPECT_TRUE(AllowedImport(dll)) << "imports " << dll;

    // 64-bit: the plain names only. 32-bit: each under its plain and its decorated name, both the same code.
    std::set<std::string> expected, exported;
    for (const auto& entry : kInterface) {
        expected.insert(entry.first);
        if (bits == 32) {
            std::string decorated = entry.first + "@" + std::to_string(entry.second);
            expected.insert(decorated);
            if (pe.exports.count(entry.first) && pe.exports.count(decorated)) {
                EXPECT_EQ(pe.exports[entry.first], pe.exports[decorated]) << entry.first;
            }
        }
    }
    for (const auto& e : pe.exports) exported.insert(e.first);
    EXPECT_EQ(expected, exported);
}

TEST(PluginImage, ThisWidth)
{
    CheckPlugin(FfTestBinPath(FF_BITS == 32 ? L"Fleetfinder.wdx" : L"Fleetfinder.wdx64"), FF_BITS);
}

TEST(PluginImage, OtherWidthWhenBuilt)
{
    // The 64-bit run also checks the 32-bit plug-in, which this machine may not be able to run.
    std::wstring other = FF_OTHER_BIN_DIR_W;
    int otherBits = FF_BITS == 32 ? 64 : 32;
    std::wstring path = other + (otherBits == 32 ? L"\\Fleetfinder.wdx" : L"\\Fleetfinder.wdx64");
    if (other.empty() || other == L"Z:" || !FfTestFileExists(path)) GTEST_SKIP() << "no other-width build";
    CheckPlugin(path, otherBits);
}

}  // namespace
