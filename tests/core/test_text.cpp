// The bounded text helpers every subsystem relies on.
#include <gtest/gtest.h>
#include "core/text.h"

TEST(Text, CopyCutsAndTerminates)
{
    wchar_t buf[4];
    EXPECT_EQ(3, FfCopyText(buf, 4, L"abcdef"));
    EXPECT_STREQ(L"abc", buf);
    EXPECT_EQ(0, FfCopyText(buf, 4, nullptr));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(2, FfCopyTextN(buf, 4, L"abcdef", 2));
    EXPECT_STREQ(L"ab", buf);
}

TEST(Text, AppendStopsAtCapacity)
{
    wchar_t buf[6] = L"ab";
    EXPECT_EQ(5, FfAppendText(buf, 6, L"cdefgh"));
    EXPECT_STREQ(L"abcde", buf);
    EXPECT_EQ(5, FfAppendText(buf, 6, L"x"));
    EXPECT_STREQ(L"abcde", buf);
}

TEST(Text, FormatUsesPlatformWideSemantics)
{
    wchar_t buf[64];
    FfFormatText(buf, 64, L"%s|%hs|%d", L"wide", "narrow", 7);
    EXPECT_STREQ(L"wide|narrow|7", buf);
    FfFormatText(buf, 64, L"%p", (void*)0xABCDEF);
    if (sizeof(void*) == 4) EXPECT_STREQ(L"00ABCDEF", buf);
    else EXPECT_STREQ(L"0000000000ABCDEF", buf);
    FfFormatText(buf, 5, L"%s", L"truncated");
    EXPECT_STREQ(L"trun", buf);
}

TEST(Text, CaseFoldingIsAsciiOnly)
{
    EXPECT_TRUE(FfEqualTextI(L"ReadMe.TXT", L"readme.txt"));
    EXPECT_FALSE(FfEqualTextI(L"\u00C4", L"\u00E4"));
}
