// The main log, the search debug log and the exception recorder, written to files in a test folder.
#include <gtest/gtest.h>
#include "fftest.h"
#include "core/core.h"
#include "core/text.h"
#include <string>
#include <vector>

namespace {

class LogFile : public ::testing::Test {
protected:
    std::wstring dir, log;
    void SetUp() override
    {
        dir = FfTestMakeTempDir(L"log");
        log = dir + L"\\Fleetfinder.log";
        FfCopyText(g_logPath, FF_PATH_CHARS, log.c_str());
        g_settings.loggingEnabled = 1;
        g_settings.everythingDebug = 0;
        g_settings.configPath[0] = 0;
        g_exceptionRecorderBusy = 0;
    }
    void TearDown() override
    {
        g_logPath[0] = 0;
        g_settings.loggingEnabled = 1;
        g_settings.everythingDebug = 0;
        g_moduleHandle = nullptr;
    }
    std::string Read() const { return FfTestReadBytes(log); }
};

// Splits on CR LF; a missing final CR LF leaves a last partial entry.
std::vector<std::string> Lines(const std::string& bytes)
{
    std::vector<std::string> out;
    size_t start = 0, end;
    while ((end = bytes.find("\r\n", start)) != std::string::npos) {
        out.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    if (start < bytes.size()) out.push_back(bytes.substr(start));
    return out;
}

// "[yyyy-mm-dd hh:mm:ss.mmm] " with digits where digits belong.
bool HasTimestampPrefix(const std::string& line)
{
    const char* shape = "[0000-00-00 00:00:00.000] ";
    if (line.size() < strlen(shape)) return false;
    for (size_t i = 0; shape[i]; ++i) {
        if (shape[i] == '0' ? !isdigit((unsigned char)line[i]) : line[i] != shape[i]) return false;
    }
    return true;
}

// Appended to what is there, also while a reader (or a copy in progress) holds the file open.
TEST_F(LogFile, LineIsTimestampedUtf8WithCrLfAndAppended)
{
    ASSERT_TRUE(FfTestWriteBytes(log, "earlier\r\n"));
    HANDLE reader = CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    SYSTEMTIME now;
    GetLocalTime(&now);
    FfLog(L"FfThing: %s %hs %d \u00E9\u20AC", L"wide", "narrow", 42);
    FfLog(L"FfOther: second");
    FfLogAppendLine(L"plain");
    CloseHandle(reader);
    std::string bytes = Read();
    std::vector<std::string> lines = Lines(bytes);
    ASSERT_EQ(4u, lines.size()) << bytes;
    EXPECT_EQ('\n', bytes.back());
    EXPECT_EQ("earlier", lines[0]);
    for (int i : {1, 2}) EXPECT_TRUE(HasTimestampPrefix(lines[i])) << lines[i];
    EXPECT_EQ("FfThing: wide narrow 42 \xC3\xA9\xE2\x82\xAC", lines[1].substr(26));
    EXPECT_EQ("FfOther: second", lines[2].substr(26));
    EXPECT_EQ("plain", lines[3]);
    char year[8];
    snprintf(year, sizeof year, "[%04d-", now.wYear);
    EXPECT_EQ(0u, lines[1].find(year));

    // A new file starts without a byte-order mark.
    DeleteFileW(log.c_str());
    FfLog(L"x");
    EXPECT_TRUE(HasTimestampPrefix(Read()));
}

TEST_F(LogFile, FormattedLineIsCutTo1023Characters)
{
    const int lengths[] = {0, 997, 998, 2000};  // the prefix takes 26 characters
    for (int length : lengths) {
        DeleteFileW(log.c_str());
        std::wstring text(length, L'a');
        FfLog(L"%s", text.c_str());
        std::vector<std::string> lines = Lines(Read());
        ASSERT_EQ(1u, lines.size()) << length;
        size_t expected = 26 + (size_t)length < 1023 ? 26 + (size_t)length : 1023;
        EXPECT_EQ(expected, lines[0].size()) << length;
    }
}

TEST_F(LogFile, LineOverTheUtf8LimitIsDroppedWhole)
{
    struct Case {
        std::wstring line;
        bool written;
    };
    const std::wstring euro = L"\u20AC";  // three bytes in UTF-8
    std::wstring euros399;
    for (int i = 0; i < 399; ++i) euros399 += euro;
    const Case cases[] = {
        {std::wstring(1197, L'a'), true},
        {std::wstring(1198, L'a'), false},
        {euros399, true},                      // 1197 bytes
        {euros399 + L"b", false},              // 1198 bytes
        {std::wstring(5000, L'c'), false},
        {L"", true},
    };
    for (const Case& c : cases) {
        DeleteFileW(log.c_str());
        FfLogAppendLine(c.line.c_str());
        FfLogAppendLine(L"after");  // the writer goes on after a dropped line
        std::string expected = (c.written ? FfTestUtf8(c.line) + "\r\n" : std::string()) + "after\r\n";
        EXPECT_EQ(expected, Read()) << c.line.size();
    }
}

// Switched off, without a path or unopenable: the line is lost and nothing else.
TEST_F(LogFile, SwitchedOffWithoutPathOrUnopenable)
{
    g_settings.loggingEnabled = 0;
    FfLog(L"FfThing: hidden %s", L"x");
    EXPECT_FALSE(FfTestFileExists(log));
    // The exception recorder's way in ignores the setting.
    FfLogAppendLine(L"record");
    EXPECT_EQ("record\r\n", Read());

    g_settings.loggingEnabled = 1;
    g_logPath[0] = 0;
    FfLog(L"FfThing: nowhere");
    FfLogAppendLine(L"nowhere");
    EXPECT_EQ("record\r\n", Read());

    // A folder where the file should be, or a missing folder: opening fails, the caller carries on.
    std::wstring folder = dir + L"\\folder.log", missing = dir + L"\\no such folder\\Fleetfinder.log";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    for (const std::wstring& path : {folder, missing}) {
        FfCopyText(g_logPath, FF_PATH_CHARS, path.c_str());
        FfLog(L"FfThing: %d", 1);
        FfLogAppendLine(L"line");
    }
    EXPECT_TRUE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(FfTestFileExists(dir + L"\\no such folder"));
}

TEST_F(LogFile, DebugLogHasByteOrderMarkAndClockLines)
{
    // It goes beside the log, also when the settings file is elsewhere.
    std::wstring logDir = FfTestMakeTempDir(L"debuglog");
    log = logDir + L"\\Fleetfinder.log";
    FfCopyText(g_logPath, FF_PATH_CHARS, log.c_str());
    std::wstring debug = logDir + L"\\Fleetfinder.debug.log";
    FfCopyText(g_settings.configPath, FF_PATH_CHARS, (dir + L"\\Fleetfinder.cfg").c_str());

    g_settings.everythingDebug = 0;
    FfEverythingDebugLog(L"not wanted");
    EXPECT_FALSE(FfTestFileExists(debug));

    g_settings.everythingDebug = 1;
    std::wstring longMessage(3000, L'q');
    FfEverythingDebugLog(L"query \u00FCber %s");  // written as it stands, never formatted again
    FfEverythingDebugLog(longMessage.c_str());
    std::string bytes = FfTestReadBytes(debug);
    ASSERT_EQ("\xEF\xBB\xBF", bytes.substr(0, 3)) << "one byte-order mark at the start";
    EXPECT_EQ(std::string::npos, bytes.find("\xEF\xBB\xBF", 3));
    std::vector<std::string> lines = Lines(bytes.substr(3));
    ASSERT_EQ(2u, lines.size());
    const std::string bodies[] = {"query \xC3\xBC" "ber %s", std::string(3000, 'q')};
    for (int i = 0; i < 2; ++i) {
        const std::string& line = lines[i];
        ASSERT_GT(line.size(), 11u);
        EXPECT_TRUE(line[0] == '[' && isdigit((unsigned char)line[1]) && isdigit((unsigned char)line[2]) &&
                    line[3] == ':' && line[6] == ':' && line[9] == ']' && line[10] == ' ')
            << line.substr(0, 12);
        EXPECT_EQ(bodies[i], line.substr(11));
    }
    EXPECT_EQ("\r\n", bytes.substr(bytes.size() - 2));
    EXPECT_FALSE(FfTestFileExists(log)) << "the main log is a different file";
    EXPECT_FALSE(FfTestFileExists(dir + L"\\Fleetfinder.debug.log"));

    // Without a log path there is no folder to write to (never the current folder).
    g_logPath[0] = 0;
    FfEverythingDebugLog(L"nowhere");
    EXPECT_FALSE(FfTestFileExists(L".debug.log"));
}

// The recorder called as the system would, with records describing exceptions at chosen addresses.
static int g_insideMarker;

void Record(DWORD code, void* address)
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = code;
    record.ExceptionAddress = address;
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};
    EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, FfVectoredExceptionHandler(&pointers));
}

std::string ModuleFile(HMODULE module)
{
    wchar_t name[MAX_PATH];
    DWORD n = GetModuleFileNameW(module, name, MAX_PATH);
    return FfTestUtf8(std::wstring(name, n));
}

std::string PointerText(void* address)
{
    wchar_t text[32];
    FfFormatText(text, 32, L"%p", address);
    return FfTestUtf8(text);
}

TEST_F(LogFile, ExceptionRecordsFollowSeverityAndPlace)
{
    // The test program stands in for the plug-in's module.
    g_moduleHandle = GetModuleHandleW(nullptr);
    g_settings.loggingEnabled = 0;  // records are written whatever Logging says
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    void* outside = (void*)GetProcAddress(kernel, "Sleep");
    void* inside = &g_insideMarker;
    struct Case {
        DWORD code;
        void* address;
        const char* module;  // null: not recorded
        const char* place;
    };
    const std::string exe = ModuleFile(g_moduleHandle), k32 = ModuleFile(kernel);
    const Case cases[] = {
        {0xC0000005, outside, k32.c_str(), "[outside Fleetfinder]"},
        {0xC0000005, inside, exe.c_str(), "[INSIDE Fleetfinder]"},
        {0xC00000FD, (void*)0x10, "(unknown module)", "[outside Fleetfinder]"},
        {0xE06D7363, outside, k32.c_str(), "[outside Fleetfinder]"},
        {0x80000003, outside, nullptr, nullptr},
        {0x80000003, inside, exe.c_str(), "[INSIDE Fleetfinder]"},
        {0x40010006, outside, nullptr, nullptr},
        {0x0EEDFADE, (void*)0x10, nullptr, nullptr},
        {0x0EEDFADE, inside, exe.c_str(), "[INSIDE Fleetfinder]"},
    };
    for (const Case& c : cases) {
        DeleteFileW(log.c_str());
        Record(c.code, c.address);
        EXPECT_EQ(0, g_exceptionRecorderBusy);
        std::string bytes = Read();
        if (!c.module) {
            EXPECT_EQ("", bytes) << std::hex << c.code;
            continue;
        }
        std::vector<std::string> lines = Lines(bytes);
        ASSERT_EQ(1u, lines.size()) << std::hex << c.code;
        EXPECT_TRUE(HasTimestampPrefix(lines[0])) << lines[0];
        char codeText[16];
        snprintf(codeText, sizeof codeText, "0x%08lX", (unsigned long)c.code);
        std::string expected = std::string("*** EXCEPTION *** code=") + codeText + " addr=" + PointerText(c.address) +
                               " module=" + c.module + " " + c.place + " (pid=" +
                               std::to_string(GetCurrentProcessId()) + ")";
        EXPECT_EQ(expected, lines[0].substr(26));
    }

    // An exception during a record (another in progress) is passed on unrecorded, its flag untouched.
    DeleteFileW(log.c_str());
    g_exceptionRecorderBusy = 1;
    Record(0xC0000005, inside);
    EXPECT_FALSE(FfTestFileExists(log));
    EXPECT_EQ(1, g_exceptionRecorderBusy);
    g_exceptionRecorderBusy = 0;
    // Null pointers from a confused caller are passed on too.
    EXPECT_EQ(EXCEPTION_CONTINUE_SEARCH, FfVectoredExceptionHandler(nullptr));
    EXPECT_EQ(0, g_exceptionRecorderBusy);
}

}  // namespace
