// ffdemo: prepares a sample world (tree, engine, host with a fresh wincmd.ini) and plays one
// user session in it. Usage: ffdemo --out DIR [--tree DIR]
#include "demo.h"
#include <stdio.h>

static std::wstring FfDemoArg(int argc, wchar_t** argv, const wchar_t* name)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (wcscmp(argv[i], name) == 0) return argv[i + 1];
    return std::wstring();
}

static bool FfDemoMakeDirs(const std::wstring& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\') CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int wmain(int argc, wchar_t** argv)
{
    FfDemo d;
    d.outDir = FfDemoArg(argc, argv, L"--out");
    if (d.outDir.empty()) {
        fprintf(stderr, "usage: ffdemo --out DIR [--tree DIR]\n");
        return 2;
    }
    std::wstring tree = FfDemoArg(argc, argv, L"--tree");
    FfDemoMakeDirs(d.outDir);
    d.transcript = _wfopen((d.outDir + L"\\transcript.txt").c_str(), L"wb");

    d.sampleDir = tree.empty() ? d.outDir + L"\\sample" : tree;
    d.pluginDir = d.outDir + L"\\plugin";
    d.targetDir = d.outDir + L"\\copies";
    FfDemoMakeDirs(d.pluginDir);
    FfDemoMakeDirs(d.targetDir);
    // A copy left there by an earlier run would prove nothing and would show in the screenshots.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((d.targetDir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW((d.targetDir + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    FfDemoMakeDirs(d.outDir + L"\\host");
    d.iniPath = d.outDir + L"\\host\\wincmd.ini";

    FfDemoSay(d, "Fleetfinder demo session");
    if (tree.empty()) {
        int files = 0;
        bool ok = FfDemoMakeSample(d.sampleDir, &files);
        if (!FfDemoStep(d, "make the sample tree", ok, std::to_string(files) + " files")) return 1;
    }

    // The plug-in gets a folder of its own, as a user installs it; Logging=Y so that the log
    // shows every decision of the session (the other settings are created with their defaults).
    const wchar_t* dllName = sizeof(void*) == 8 ? L"Fleetfinder.wdx64" : L"Fleetfinder.wdx";
    d.pluginPath = d.pluginDir + L"\\" + dllName;
    DeleteFileW((d.pluginDir + L"\\Fleetfinder.log").c_str());
    DeleteFileW((d.pluginDir + L"\\Fleetfinder.cfg").c_str());
    DeleteFileW((d.pluginDir + L"\\Fleetfinder.history").c_str());
    bool copied = CopyFileW(FfTestBinPath(dllName).c_str(), d.pluginPath.c_str(), FALSE) != 0;
    // The engine is a portable 1.4 beside the sample: its own ini (no filters in it) and its
    // Filters.csv in the layout 1.4 writes, the stock rows under their upper-case keys. The
    // plug-in is pointed at that folder, as a user of a portable engine does.
    d.engineDir = d.outDir + L"\\engine";
    FfDemoMakeDirs(d.engineDir);
    bool engineConfig = FfDemoWriteEngineConfig(d.engineDir);
    FfTestWriteBytes(d.pluginDir + L"\\Fleetfinder.cfg", "[Display]\r\nLogging=Y\r\n[Everything]\r\nEverythingIniPath=" +
                                                          FfTestUtf8(d.engineDir) + "\r\n");
    // A fresh wincmd.ini that knows only the plug-in, as after installing it by hand, and the
    // host's font, which the overlay follows.
    std::string ini = "[FileSystemPlugins]\r\nFleetfinder=" + FfTestUtf8(d.pluginPath) +
                      "\r\n[AllResolutions]\r\nFontName=Tahoma\r\nFontSize=9\r\n";
    bool iniOk = FfTestWriteBytes(d.iniPath, ini);
    if (!FfDemoStep(d, "install the plug-in and write a fresh wincmd.ini", copied && iniOk && engineConfig,
                    FfTestUtf8(d.pluginPath)))
        return 1;

    // The engine is started by the session, once the overlay has shown that it is missing.
    d.engineOptions.roots.push_back(d.sampleDir);
    d.engineOptions.filtersDir = d.engineDir;
    d.engineOptions.logPath = d.outDir + L"\\engine-queries.log";
    DeleteFileW(d.engineOptions.logPath.c_str());

    FfDemoRunSession(d);

    CopyFileW((d.pluginDir + L"\\Fleetfinder.log").c_str(), (d.outDir + L"\\Fleetfinder.log").c_str(), FALSE);
    d.host.Quit();
    d.engine.Stop();
    FfDemoSay(d, "%s: %d step(s) failed", d.failures ? "FAILED" : "DONE", d.failures);
    if (d.transcript) fclose(d.transcript);
    return d.failures ? 1 : 0;
}
