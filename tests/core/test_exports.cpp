// The built plug-in files read as PE images: width, DLL flag, imports limited to system DLLs, exports exactly as listed.
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

class PeReader {
public:
    explicit PeReader(const std::string& bytes) : b(bytes) {}

    PeFacts Read()
    {
        PeFacts facts;
        DWORD peOffset = 0;
        if (!Get(0x3C, &peOffset) || b.compare(0, 2, "MZ") != 0 || !Fits(peOffset, 24) ||
            b.compare(peOffset, 4, std::string("PE\0\0", 4)) != 0) {
            facts.error = "not a PE image";
            return facts;
        }
        IMAGE_FILE_HEADER file;
        Get(peOffset + 4, &file);
        facts.machine = file.Machine;
        facts.isDll = (file.Characteristics & IMAGE_FILE_DLL) != 0;
        DWORD optional = peOffset + 4 + sizeof(IMAGE_FILE_HEADER);
        WORD magic = 0;
        Get(optional, &magic);
        // The data directories sit at a different offset in the 32- and 64-bit optional headers.
        DWORD directories = optional + (magic == 0x20B ? 112 : 96);
        IMAGE_DATA_DIRECTORY exportDir = {}, importDir = {};
        if (!Get(directories, &exportDir) || !Get(directories + 8, &importDir)) {
            facts.error = "truncated optional header";
            return facts;
        }
        DWORD sectionTable = optional + file.SizeOfOptionalHeader;
        for (WORD i = 0; i < file.NumberOfSections; ++i) {
            IMAGE_SECTION_HEADER section;
            if (!Get(sectionTable + i * sizeof(IMAGE_SECTION_HEADER), &section)) break;
            sections.push_back(section);
        }
        ReadImports(importDir, facts);
        ReadExports(exportDir, facts);
        return facts;
    }

private:
    const std::string& b;
    std::vector<IMAGE_SECTION_HEADER> sections;

    bool Fits(DWORD offset, DWORD size) const { return offset <= b.size() && size <= b.size() - offset; }
    template <class T> bool Get(DWORD offset, T* out) const
    {
        if (!Fits(offset, sizeof(T))) return false;
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
        size_t end = b.find('\0', at);
        return b.substr(at, (end == std::string::npos ? b.size() : end) - at);
    }
    void ReadImports(const IMAGE_DATA_DIRECTORY& dir, PeFacts& facts) const
    {
        if (!dir.VirtualAddress) return;
        DWORD at = Offset(dir.VirtualAddress);
        for (IMAGE_IMPORT_DESCRIPTOR d; at && Get(at, &d) && d.Name; at += sizeof d) facts.imports.push_back(Text(d.Name));
    }
    void ReadExports(const IMAGE_DATA_DIRECTORY& dir, PeFacts& facts) const
    {
        if (!dir.VirtualAddress) return;
        IMAGE_EXPORT_DIRECTORY e;
        if (!Get(Offset(dir.VirtualAddress), &e)) {
            facts.error = "unreadable export directory";
            return;
        }
        DWORD names = Offset(e.AddressOfNames), ordinals = Offset(e.AddressOfNameOrdinals),
              functions = Offset(e.AddressOfFunctions);
        for (DWORD i = 0; i < e.NumberOfNames; ++i) {
            DWORD nameRva = 0, function = 0;
            WORD ordinal = 0;
            if (!Get(names + 4 * i, &nameRva) || !Get(ordinals + 2 * i, &ordinal) ||
                !Get(functions + 4 * ordinal, &function)) {
                facts.error = "truncated export tables";
                return;
            }
            facts.exports[Text(nameRva)] = function;
        }
    }
};

// The host's entry points and the byte size of each one's arguments in the 32-bit build.
const std::map<std::string, int> kInterface = {
    {"FsInit", 16},          {"FsGetDefRootName", 8},       {"FsFindFirst", 8},
    {"FsFindNext", 8},       {"FsFindClose", 4},            {"FsGetFile", 16},
    {"FsExecuteFile", 12},   {"FsDeleteFile", 4},           {"FsContentGetSupportedField", 16},
    {"FsContentGetValue", 24}, {"ContentGetDetectString", 8}, {"ContentGetSupportedField", 16},
    {"ContentGetValue", 24},
};

std::string Lower(std::string s)
{
    for (char& c : s) c = (char)tolower((unsigned char)c);
    return s;
}

bool AllowedImport(const std::string& dll)
{
    static const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll",
                                                 "shell32.dll",  "comctl32.dll", "ole32.dll", "msvcrt.dll"};
    std::string name = Lower(dll);
    return system.count(name) || name.compare(0, 11, "api-ms-win-") == 0;
}

// The names a .def file exports: the word before any '=' on each line after EXPORTS.
std::set<std::string> DefNames(const std::string& text)
{
    std::set<std::string> names;
    bool inExports = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == ';') continue;
        std::string word = line.substr(first, line.find_first_of(" \t\r=", first) - first);
        if (word == "EXPORTS") inExports = true;
        else if (word == "LIBRARY" || word == "NAME") inExports = false;
        else if (inExports) names.insert(word);
    }
    return names;
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

    std::wstring def = FfTestSourceDir() + (bits == 32 ? L"\\src\\bridge\\exports32.def" : L"\\src\\bridge\\exports64.def");
    std::set<std::string> listed = DefNames(FfTestReadBytes(def));
    std::set<std::string> exported;
    for (const auto& e : pe.exports) exported.insert(e.first);
    EXPECT_EQ(listed, exported) << "exports differ from the .def file";

    for (const std::string& name : listed) {
        size_t at = name.find('@');
        std::string plain = name.substr(0, at);
        auto known = kInterface.find(plain);
        EXPECT_NE(kInterface.end(), known) << name << " is not one of the host's entry points";
        if (known == kInterface.end()) continue;
        if (bits == 64) {
            EXPECT_EQ(std::string::npos, at) << name << ": 64-bit names carry no decoration";
            continue;
        }
        // 32-bit: every entry point under both names, both leading to the same code.
        std::string decorated = plain + "@" + std::to_string(known->second);
        EXPECT_TRUE(at == std::string::npos || name == decorated) << name << " should be " << decorated;
        EXPECT_TRUE(listed.count(plain) && listed.count(decorated)) << plain << " needs both names";
        if (pe.exports.count(plain) && pe.exports.count(decorated)) {
            EXPECT_EQ(pe.exports[plain], pe.exports[decorated]) << plain;
        }
    }
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
