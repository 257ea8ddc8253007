// What every test program needs once (see fftest.h).
#include "fftest.h"
#include "app/app.h"
#include "app/app.h"
#include "core/core.h"
#include "core/text.h"
#include <stdio.h>

// The plug-in's hook, running on a test's thread, posts its requests to that thread: the
// driver's waits hand them to the plug-in as the background thread's loop would.
static bool FfTestThreadMessage(MSG* msg) { return FfHandleThreadMessage(msg); }
static const bool g_threadMessageSet = (g_ffDriverThreadMessage = FfTestThreadMessage, true);

// A crash that reaches no handler ends the program with a failure: under Wine a crashed test
// program can otherwise exit with 0, and CTest would count it as passed.
static LONG WINAPI FfTestCrashed(EXCEPTION_POINTERS* info)
{
    fprintf(stderr, "test program crashed: exception 0x%08lx at %p\n", (unsigned long)info->ExceptionRecord->ExceptionCode,
            info->ExceptionRecord->ExceptionAddress);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}
static const bool g_crashFilterSet = (SetUnhandledExceptionFilter(FfTestCrashed), true);

static wchar_t g_savedLogPath[FF_PATH_CHARS];
static wchar_t g_savedConfigPath[FF_PATH_CHARS];

FfTestLog::FfTestLog(const wchar_t* tag, bool debug)
{
    dir = FfTestMakeTempDir(tag);
    path = dir + L"\\Fleetfinder.log";
    FfCopyText(g_savedLogPath, FF_PATH_CHARS, g_logPath);
    FfCopyText(g_savedConfigPath, FF_PATH_CHARS, g_settings.configPath);
    FfCopyText(g_logPath, FF_PATH_CHARS, path.c_str());
    FfCopyText(g_settings.configPath, FF_PATH_CHARS, (dir + L"\\Fleetfinder.cfg").c_str());
    g_settings.loggingEnabled = 1;
    g_settings.everythingDebug = debug ? 1 : 0;
}

FfTestLog::~FfTestLog()
{
    FfCopyText(g_logPath, FF_PATH_CHARS, g_savedLogPath);
    FfCopyText(g_settings.configPath, FF_PATH_CHARS, g_savedConfigPath);
}

static std::wstring FfTestReadText(const std::wstring& path)
{
    std::string bytes = FfTestReadBytes(path);
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    return FfTestWide(bytes);
}

std::wstring FfTestLog::Text() const { return FfTestReadText(path); }
std::wstring FfTestLog::DebugText() const { return FfTestReadText(dir + L"\\Fleetfinder.debug.log"); }

int FfTestLog::Count(const std::wstring& needle) const
{
    std::wstring text = Text();
    int count = 0;
    for (size_t at = text.find(needle); at != std::wstring::npos; at = text.find(needle, at + 1)) count++;
    return count;
}

FfTestEnvVar::FfTestEnvVar(const wchar_t* name, const wchar_t* value) : name(name)
{
    static wchar_t buf[32768];
    DWORD got = GetEnvironmentVariableW(name, buf, 32768);
    had = got > 0 && got < 32768;
    saved = had ? buf : L"";
    SetEnvironmentVariableW(name, value);
}

FfTestEnvVar::~FfTestEnvVar() { SetEnvironmentVariableW(name.c_str(), had ? saved.c_str() : nullptr); }
