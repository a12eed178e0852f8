#include "framework/core/cstring.h"

#include <gtest/gtest.h>

#include <string>

TEST(CStringTest, ReplaceIsLeftToRightNonOverlappingAndSkipsInsertedText)
{
    CString s("aaaa");
    EXPECT_EQ(s.Replace("aa", "a"), 2);
    EXPECT_STREQ(s, "aa");

    CString t("<script><script");
    EXPECT_EQ(t.Replace("<script", "<noscript"), 2);
    EXPECT_STREQ(t, "<noscript><noscript");

    CString none("abc");
    EXPECT_EQ(none.Replace("", "x"), 0);
    EXPECT_EQ(none.Replace("zz", "x"), 0);
    EXPECT_STREQ(none, "abc");
}

TEST(CStringTest, KeepsEmbeddedNulBytesThroughReplace)
{
    const char raw[] = "a\0<script>b";
    CString s(raw, sizeof raw - 1);
    ASSERT_EQ(s.GetLength(), 11);
    s.Replace("<script", "<noscript");
    // Text after a NUL is invisible to C-string views but is still text here.
    EXPECT_EQ(s.str(), std::string("a\0<noscript>b", 13));
}

TEST(CStringTest, SubstringsClampTheirArguments)
{
    CString s("Hello");
    EXPECT_STREQ(s.Left(2), "He");
    EXPECT_STREQ(s.Left(99), "Hello");
    EXPECT_STREQ(s.Left(-1), "");
    EXPECT_STREQ(s.Mid(3), "lo");
    EXPECT_STREQ(s.Mid(9), "");
    EXPECT_STREQ(s.Mid(1, 2), "el");
    EXPECT_STREQ(s.Right(3), "llo");
    EXPECT_STREQ(s.Right(10), "Hello");
}

TEST(CStringTest, FindAndReverseFind)
{
    CString s("a:b:c");
    EXPECT_EQ(s.Find(':'), 1);
    EXPECT_EQ(s.Find(':', 2), 3);
    EXPECT_EQ(s.Find(':', 9), -1);
    EXPECT_EQ(s.Find("b:"), 2);
    EXPECT_EQ(s.Find("zz"), -1);
    EXPECT_EQ(s.ReverseFind(':'), 3);
    EXPECT_EQ(s.FindOneOf("cb"), 2);
}

TEST(CStringTest, FormatGrowsPastItsSmallBuffer)
{
    CString s;
    std::string big(1000, 'x');
    s.Format("[%s]%d", big.c_str(), 42);
    EXPECT_EQ(s.GetLength(), 1004);
    EXPECT_EQ(s.Right(3), CString("]42"));
}

TEST(CStringTest, TrimCaseAndCompare)
{
    CString s(" \t ab c \r\n");
    s.Trim();
    EXPECT_STREQ(s, "ab c");
    s.MakeUpper();
    EXPECT_STREQ(s, "AB C");
    EXPECT_EQ(s.CompareNoCase("ab c"), 0);
    EXPECT_LT(CString("a").Compare("b"), 0);
    EXPECT_GT(CString("\xE4").Compare("a"), 0) << "bytes above 0x7F compare as unsigned";
}

TEST(CStringTest, BufferAccessForCInterfaces)
{
    CString s;
    char* p = s.GetBuffer(10);
    std::snprintf(p, 11, "%s", "abc");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
    p = s.GetBuffer(4);
    p[0] = 'x';
    s.ReleaseBuffer(2);
    EXPECT_STREQ(s, "xb");
}
