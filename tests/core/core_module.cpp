// The module as a whole: the background thread's loop, the built images' entry points and the
// real plug-in started and ended in the stand-in host.
#include "fftest.h"
#include "app/app.h"
#include "core/core.h"
#include <map>
#include <sstream>

std::wstring Unstamped(const std::wstring& text);  // core_rules.cpp

namespace {

std::vector<UINT> g_seen;
LRESULT CALLBACK Recorder(HWND w, UINT m, WPARAM wp, LPARAM lp) { return g_seen.push_back(m), DefWindowProcW(w, m, wp, lp); }
LRESULT CALLBACK Pass(int code, WPARAM wp, LPARAM lp) { return CallNextHookEx(nullptr, code, wp, lp); }

// A number posted to a window is that window's, even one the thread takes for itself; when the
// loop ends the hook goes and the thread's result is 0.
TEST(MessageLoop, DispatchesAndUnhooks)
{
    WNDCLASSW wc = {0, Recorder, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, L"FfCoreLoop"};
    RegisterClassW(&wc);
    HWND window = CreateWindowW(L"FfCoreLoop", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    g_seen.clear();  // the window's creation
    PostMessageW(window, WM_FF_AUTOOPEN_OVERLAY, 0, 0);
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 0, 0);  // unknown to the thread: dropped
    HHOOK hook = g_hookHandle = SetWindowsHookExW(WH_GETMESSAGE, Pass, nullptr, GetCurrentThreadId());
    PostQuitMessage(0);
    EXPECT_EQ(0u, FfRunMessageLoop());
    EXPECT_EQ(std::vector<UINT>{WM_FF_AUTOOPEN_OVERLAY}, g_seen);
    EXPECT_TRUE(hook && !g_hookHandle && !UnhookWindowsHookEx(hook)) << "the hook is gone";
    DestroyWindow(window);
}

// Exported names and the code each names, from the image mapped as a resource (so the other width too).
std::map<std::string, DWORD> Exports(const std::wstring& path, WORD* machine)
{
    std::map<std::string, DWORD> names;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    BYTE* b = (BYTE*)((ULONG_PTR)module & ~(ULONG_PTR)3);  // the low bits only tag the mapping's kind
    if (!b) return names;
    auto nt = (IMAGE_NT_HEADERS32*)(b + ((IMAGE_DOS_HEADER*)b)->e_lfanew);
    *machine = (nt->FileHeader.Characteristics & IMAGE_FILE_DLL) ? nt->FileHeader.Machine : 0;
    // The export directory's entry sits where the 32- or the 64-bit optional header puts it.
    DWORD rva = *(DWORD*)((BYTE*)&nt->OptionalHeader + (nt->OptionalHeader.Magic == 0x20B ? 112 : 96));
    auto e = (IMAGE_EXPORT_DIRECTORY*)(b + rva);
    auto at = [&](DWORD table, DWORD i) { return ((DWORD*)(b + table))[i]; };
    for (DWORD i = 0; rva && i < e->NumberOfNames; ++i)
        names[(char*)b + at(e->AddressOfNames, i)] = at(e->AddressOfFunctions, ((WORD*)(b + e->AddressOfNameOrdinals))[i]);
    FreeLibrary(module);
    return names;
}

// Both widths' images: a DLL of that machine exporting exactly the host's entry points, the 32-bit
// one each under its plain and its decorated name, both the same code.
TEST(Image, WidthRows)
{
    const std::wstring other = FF_OTHER_BIN_DIR_W;
    const std::pair<std::wstring, int> rows[] = {
        {FfTestBinPath(FF_BITS == 32 ? L"Fleetfinder.wdx" : L"Fleetfinder.wdx64"), FF_BITS},
        {other + (FF_BITS == 32 ? L"\\Fleetfinder.wdx64" : L"\\Fleetfinder.wdx"), 96 - FF_BITS}};
    for (const auto& [path, bits] : rows) {
        if (bits != FF_BITS && (other.empty() || other == L"Z:" || !FfTestFileExists(path))) continue;  // not built
        SCOPED_TRACE(FfTestUtf8(path));
        WORD machine = 0;
        std::map<std::string, DWORD> exports = Exports(path, &machine);
        EXPECT_EQ(bits == 32 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64, machine);
        size_t count = 0;
        std::istringstream names("FsInit@16 FsGetDefRootName@8 FsFindFirst@8 FsFindNext@8 FsFindClose@4 FsGetFile@16 "
            "FsExecuteFile@12 FsDeleteFile@4 FsContentGetSupportedField@16 FsContentGetValue@24 ContentGetDetectString@8 "
            "ContentGetSupportedField@16 ContentGetValue@24 FsInitW@16 FsFindFirstW@8 FsFindNextW@8 FsGetFileW@16 "
            "FsExecuteFileW@12 FsDeleteFileW@4 FsContentGetValueW@24 ContentGetValueW@24");
        for (std::string decorated; names >> decorated;) {
            const std::string plain = decorated.substr(0, decorated.find('@'));
            count += bits == 32 ? 2 : 1;
            EXPECT_TRUE(exports.count(plain) && (bits == 64 || exports[plain] == exports[decorated])) << plain;
        }
        EXPECT_EQ(count, exports.size()) << "no other names";
    }
}

// The real plug-in in the stand-in host: started once and pinned, its defaults written beside it
// when there are none, its settings and its end logged when Logging is on.
TEST(Module, InTheHostRows)
{
    const wchar_t* plugin = FF_BITS == 32 ? L"Fleetfinder.wdx" : L"Fleetfinder.wdx64";
    for (const std::string cfgText : {"", "[Display]\r\nLogging=Y\r\nHotkey=Ctrl+Alt+K\r\n"}) {
        FfTestLog log(L"module");  // the plug-in's folder, where its own log goes
        const std::wstring cfg = log.dir + L"\\Fleetfinder.cfg", library = log.dir + L"\\" + plugin;
        ASSERT_TRUE(CopyFileW(FfTestBinPath(plugin).c_str(), library.c_str(), FALSE));
        if (!cfgText.empty()) FfTestWriteBytes(cfg, cfgText);
        FfHostCtl host;
        FfHostStartOptions options;
        options.commanderIni = log.dir + L"\\wincmd.ini";
        FfTestWriteBytes(options.commanderIni, "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(library) + "\r\n");
        ASSERT_TRUE(host.Start(options));
        host.SetFolder(FF_HOST_LEFT, L"\\\\\\Fleetfinder");
        // Its thread has read the settings once it has registered its column view, before overlay and hook.
        auto registered = [&] { return FfTestReadBytes(options.commanderIni).find("[CustomFields_") != std::string::npos; };
        ASSERT_TRUE(FfTestWaitFor(registered, 15000)) << FfTestUtf8(log.Text());
        ASSERT_TRUE(host.Quit());
        const std::wstring pid = std::to_wstring(host.process.pi.dwProcessId), text = Unstamped(log.Text()),
                           detach = L"#DllMain: DLL_PROCESS_DETACH (pid=" + pid + L", processTerminating=1)\r\n";
        SCOPED_TRACE(FfTestUtf8(text));
        EXPECT_EQ(0u, text.find(L"#DllMain: DLL_PROCESS_ATTACH (pid=" + pid + L", module="));
        EXPECT_EQ(1, log.Count(L"] DllMain: module pin OK\r\n"));
        EXPECT_EQ(1, log.Count(L"] Background thread started (tid="));
        const bool logging = !cfgText.empty();
        EXPECT_EQ(logging ? text.size() - detach.size() : std::wstring::npos, text.rfind(detach));
        EXPECT_EQ(logging, text.find(L"#Config loaded from " + cfg + L": Position=0 Hotkey=Ctrl+Alt+K ") != std::wstring::npos);
        const std::string bytes = FfTestReadBytes(cfg);  // an existing file is never written
        EXPECT_TRUE(logging ? bytes == cfgText : bytes.find("\nHotkey=Ctrl+Alt+F\r\n") != std::string::npos) << bytes;
    }
}

}  // namespace
