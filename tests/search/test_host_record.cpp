// The change-folder record, byte for byte.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "bridge/host_commands.h"
#include "fftest.h"

namespace {

std::string Record(const std::wstring& path)
{
    int size = FfEncodeChangeDirRecord(path.c_str(), nullptr, 0);
    std::string bytes((size_t)(size > 0 ? size : 0), '\x77');
    if (size > 0) { EXPECT_EQ(size, FfEncodeChangeDirRecord(path.c_str(), (BYTE*)&bytes[0], size)); }
    return bytes;
}

std::string Expected(const std::string& utf8)
{
    return "\xEF\xBB\xBF" + utf8 + "\r\xEF\xBB\xBF" + std::string(1, '\0') + "SA" + std::string(1, '\0');
}

TEST(ChangeDirRecord, Layout)
{
    struct Case {
        std::wstring path;
        std::string utf8;
    } cases[] = {
        {L"C:\\twenty-bytes\\path", "C:\\twenty-bytes\\path"},
        {L"\\\\\\Fleetfinder\\report.txt", "\\\\\\Fleetfinder\\report.txt"},
        {L"", ""},
        {L"D:\\R\u00E9sum\u00E9\\\u65E5\u672C\\\U0001F600.txt",
         "D:\\R\xC3\xA9sum\xC3\xA9\\\xE6\x97\xA5\xE6\x9C\xAC\\\xF0\x9F\x98\x80.txt"},
    };
    for (const Case& c : cases) {
        std::string record = Record(c.path);
        EXPECT_EQ(Expected(c.utf8), record) << c.utf8;
        EXPECT_EQ(c.utf8.size() + 1 + 10, record.size()) << c.utf8;
    }
    EXPECT_EQ(31u, Record(L"C:\\twenty-bytes\\path").size());
}

TEST(ChangeDirRecord, RefusesWhatDoesNotFit)
{
    BYTE small[12];
    memset(small, 0x55, sizeof small);
    EXPECT_EQ(0, FfEncodeChangeDirRecord(L"C:\\x", small, 14));
    EXPECT_EQ(0, FfEncodeChangeDirRecord(L"C:\\x", small, sizeof small));
    EXPECT_EQ(0x55, small[0]);
    EXPECT_EQ(0, FfEncodeChangeDirRecord(nullptr, small, sizeof small));
}

}  // namespace
