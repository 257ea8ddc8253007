// The module as a whole: the background thread's loop, the built images' entry points and the
// real plug-in started and ended in the stand-in host.
#include "fftest.h"
#include "core/core.h"
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

std::wstring Unstamped(const std::wstring& path);  // core_rules.cpp
std::wstring Ini(const std::wstring& path);

namespace {

std::vector<UINT> g_received;
LRESULT CALLBACK Recorder(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m >= WM_USER) g_received.push_back(m);
    return DefWindowProcW(w, m, wp, lp);
}
LRESULT CALLBACK Pass(int code, WPARAM wp, LPARAM lp) { return CallNextHookEx(nullptr, code, wp, lp); }

// A number posted to a window is that window's, even one the thread takes for itself; when the
// loop ends the hook goes and the thread's result is 0.
TEST(MessageLoop, DispatchesAndUnhooks)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Recorder;
    wc.lpszClassName = L"FfCoreLoop";
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"FfCoreLoop", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    for (UINT m : {(UINT)WM_FF_AUTOOPEN_OVERLAY, (UINT)WM_APP + 2}) PostMessageW(window, m, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0);  // unknown to the thread: dropped
    HHOOK hook = g_hookHandle = SetWindowsHookExW(WH_GETMESSAGE, Pass, nullptr, GetCurrentThreadId());
    PostQuitMessage(0);
    EXPECT_EQ(0u, FfRunMessageLoop());
    EXPECT_EQ((std::vector<UINT>{WM_FF_AUTOOPEN_OVERLAY, WM_APP + 2}), g_received);
    EXPECT_TRUE(hook && !g_hookHandle && !UnhookWindowsHookEx(hook)) << "the hook is gone";
    DestroyWindow(window);
}

// What a PE file says of itself, from its image mapped as a resource (so the other width too).
struct Image { WORD machine = 0, flags = 0; std::map<std::string, DWORD> exports; std::vector<std::string> imports; };
Image ReadImage(const std::wstring& path)
{
    Image img;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    BYTE* b = (BYTE*)((ULONG_PTR)module & ~(ULONG_PTR)3);  // the low bits only tag the mapping's kind
    if (!b) return img;
    auto nt = (IMAGE_NT_HEADERS32*)(b + ((IMAGE_DOS_HEADER*)b)->e_lfanew);
    img.machine = nt->FileHeader.Machine, img.flags = nt->FileHeader.Characteristics;
    auto dirs = (IMAGE_DATA_DIRECTORY*)((BYTE*)&nt->OptionalHeader + (nt->OptionalHeader.Magic == 0x20B ? 112 : 96));
    auto e = (IMAGE_EXPORT_DIRECTORY*)(b + dirs[0].VirtualAddress);
    auto at = [&](DWORD rva, DWORD i, int size) { return size == 2 ? ((WORD*)(b + rva))[i] : ((DWORD*)(b + rva))[i]; };
    for (DWORD i = 0; dirs[0].VirtualAddress && i < e->NumberOfNames; ++i)
        img.exports[(char*)b + at(e->AddressOfNames, i, 4)] = at(e->AddressOfFunctions, at(e->AddressOfNameOrdinals, i, 2), 4);
    for (auto d = (IMAGE_IMPORT_DESCRIPTOR*)(b + dirs[1].VirtualAddress); dirs[1].VirtualAddress && d->Name; ++d)
        img.imports.push_back((char*)b + d->Name);
    FreeLibrary(module);
    return img;
}

// The host's entry points; 32-bit images export each under its plain and its decorated name.
const char* const kEntryPoints =
    "FsInit@16 FsGetDefRootName@8 FsFindFirst@8 FsFindNext@8 FsFindClose@4 FsGetFile@16 FsExecuteFile@12 "
    "FsDeleteFile@4 FsContentGetSupportedField@16 FsContentGetValue@24 ContentGetDetectString@8 "
    "ContentGetSupportedField@16 ContentGetValue@24 FsInitW@16 FsFindFirstW@8 FsFindNextW@8 FsGetFileW@16 "
    "FsExecuteFileW@12 FsDeleteFileW@4 FsContentGetValueW@24 ContentGetValueW@24";

// Both widths' images: the machine, a DLL, exactly the entry points, and system libraries only.
TEST(Image, WidthRows)
{
    const std::wstring other = FF_OTHER_BIN_DIR_W;
    const std::pair<std::wstring, int> rows[] = {
        {FfTestBinPath(FF_BITS == 32 ? L"Fleetfinder.wdx" : L"Fleetfinder.wdx64"), FF_BITS},
        {other + (FF_BITS == 32 ? L"\\Fleetfinder.wdx64" : L"\\Fleetfinder.wdx"), 96 - FF_BITS}};
    const std::set<std::string> system = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
                                          "comctl32.dll", "ole32.dll", "msvcrt.dll"};
    for (const auto& [path, bits] : rows) {
        if (bits != FF_BITS && (other.empty() || other == L"Z:" || !FfTestFileExists(path))) continue;  // not built
        SCOPED_TRACE(FfTestUtf8(path));
        Image img = ReadImage(path);
        EXPECT_EQ(bits == 32 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64, img.machine);
        EXPECT_TRUE(img.flags & IMAGE_FILE_DLL);
        std::set<std::string> expected, exported;
        for (const auto& e : img.exports) exported.insert(e.first);
        std::istringstream names(kEntryPoints);
        for (std::string decorated; names >> decorated;) {
            const std::string plain = decorated.substr(0, decorated.find('@'));
            expected.insert(plain);
            if (bits == 32) expected.insert(decorated);
            EXPECT_TRUE(bits == 64 || img.exports[plain] == img.exports[decorated]) << plain << " is one function";
        }
        EXPECT_EQ(expected, exported);
        EXPECT_FALSE(img.imports.empty());
        for (std::string dll : img.imports) {
            std::transform(dll.begin(), dll.end(), dll.begin(), ::tolower);
            EXPECT_TRUE(system.count(dll) || dll.compare(0, 11, "api-ms-win-") == 0) << dll;
        }
    }
}

// The real plug-in in the stand-in host: started once and pinned, its defaults written beside it
// when there are none, its end logged when Logging is on.
TEST(Module, InTheHost)
{
    const wchar_t* plugin = FF_BITS == 32 ? L"Fleetfinder.wdx" : L"Fleetfinder.wdx64";
    for (const std::string cfgText : {"", "[Display]\r\nLogging=Y\r\nHotkey=Ctrl+Alt+K\r\n"}) {
        const std::wstring dir = FfTestMakeTempDir(L"module"), log = dir + L"\\Fleetfinder.log", cfg = dir + L"\\Fleetfinder.cfg";
        ASSERT_TRUE(CopyFileW(FfTestBinPath(plugin).c_str(), (dir + L"\\" + plugin).c_str(), FALSE));
        if (!cfgText.empty()) FfTestWriteBytes(cfg, cfgText);
        FfHostCtl host;
        FfHostStartOptions options;
        options.commanderIni = dir + L"\\wincmd.ini";
        options.environment = {{L"APPDATA", dir}};
        FfTestWriteBytes(options.commanderIni, "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(dir + L"\\" + plugin) + "\r\n");
        ASSERT_TRUE(host.Start(options));
        host.SetFolder(FF_HOST_LEFT, L"\\\\\\Fleetfinder");
        // The settings are in when the summary is logged or, with Logging off, the last default written.
        ASSERT_TRUE(FfTestWaitFor([&] {
            return Unstamped(log).find(L"#Config loaded") != std::wstring::npos || Ini(cfg).find(L"AllowDelete") != std::wstring::npos;
        }, 15000)) << FfTestUtf8(Unstamped(log));
        ASSERT_TRUE(host.Quit());
        const std::wstring pid = std::to_wstring(host.process.pi.dwProcessId), text = Unstamped(log),
                           detach = L"#DllMain: DLL_PROCESS_DETACH (pid=" + pid + L", processTerminating=1)\r\n";
        SCOPED_TRACE(FfTestUtf8(text));
        EXPECT_EQ(0u, text.find(L"#DllMain: DLL_PROCESS_ATTACH (pid=" + pid + L", module="));
        EXPECT_NE(std::wstring::npos, text.find(L"\n#DllMain: module pin OK\r\n"));
        const size_t thread = text.find(L"\n#Background thread started (tid=");
        EXPECT_TRUE(thread != std::wstring::npos && thread == text.rfind(L"\n#Background thread started")) << "one thread";
        if (cfgText.empty()) {
            EXPECT_EQ(std::wstring::npos, text.find(detach));
            EXPECT_NE(std::wstring::npos, Ini(cfg).find(L"Hotkey=Ctrl+Alt+F;"));
        } else {
            EXPECT_NE(std::wstring::npos, text.find(L"#Config loaded from " + cfg + L": Position=0 Hotkey=Ctrl+Alt+K "));
            EXPECT_EQ(text.size() - detach.size(), text.rfind(detach));
            EXPECT_EQ(cfgText, FfTestReadBytes(cfg)) << "an existing file is never written";
        }
    }
}

}  // namespace
