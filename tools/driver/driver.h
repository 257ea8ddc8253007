// The test bed's driver, used by the tests, the benchmarks and the demo (no test framework):
// waiting with a deadline, temporary folders, files, programs, input.
#pragma once
#include <windows.h>
#include <functional>
#include <string>

// Thread messages (no window) the waits below offer first to this routine, when set; true: handled.
extern bool (*g_ffDriverThreadMessage)(MSG* msg);

// Pumps this thread's messages until cond() holds or timeoutMs passes. Returns cond()'s last value.
bool FfTestWaitFor(const std::function<bool()>& cond, DWORD timeoutMs = 5000);
// Pumps messages until the queue has been quiet for a short while (at most timeoutMs).
void FfTestFlushEvents(DWORD timeoutMs = 200);

// Windows path of the build tree (Z:\...\build) and of a file in its bin folder.
std::wstring FfTestBinaryDir();
std::wstring FfTestBinPath(const wchar_t* fileName);
std::wstring FfTestSourceDir();
// A new, empty folder under <build>\tmp, unique per call; the name says which test made it.
std::wstring FfTestMakeTempDir(const wchar_t* tag);

// Whole-file helpers (bytes as stored).
bool FfTestFileExists(const std::wstring& path);
std::string FfTestReadBytes(const std::wstring& path);
bool FfTestWriteBytes(const std::wstring& path, const std::string& bytes);
// Narrow (UTF-8) <-> wide.
std::string FfTestUtf8(const std::wstring& text);
std::wstring FfTestWide(const std::string& utf8);
// The clipboard's Unicode text (empty when it holds none), or "(clipboard busy)".
std::wstring FfTestClipboardText();

// A child process started by a test and ended when the object goes.
struct FfTestProcess {
    PROCESS_INFORMATION pi = {};
    bool Start(const std::wstring& commandLine, const wchar_t* workDir = nullptr);
    bool Running() const;
    DWORD Wait(DWORD timeoutMs);  // exit code, or STILL_ACTIVE on time-out
    void Kill();
    ~FfTestProcess();
};

// Injects one key going down or up, or one character typed (a Unicode key press and release).
void FfTestSendKey(WORD vk, bool up);
// The pointer to a screen point, then the given left-button action (none, down or up), as the
// user's mouse does; the events are let through before it returns.
void FfTestMouseTo(POINT at, DWORD button = 0);
void FfTestTypeChar(wchar_t c);

// Waits (pumping messages) for a top-level window of the class, optionally owned by the process.
HWND FfTestWaitForWindow(const wchar_t* className, DWORD processId = 0, DWORD timeoutMs = 10000);
