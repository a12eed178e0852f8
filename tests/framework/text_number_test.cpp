// The atoi-style reader, with atoi itself as the reference wherever atoi's
// result is defined.
#include "framework/core/text_number.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

TEST(TextNumberTest, ReadsWhatAtoiReads)
{
    for (const char* text : {"80", " 80", "\n\t\v\f\r 80x", "+80", "-80", "0080", "8 0", "x80", "", "  ", "+", "-",
                             "- 1", "+-1", "2147483647", "-2147483648", "12:34", "1e3"}) {
        EXPECT_EQ(CwAtoi(text), std::atoi(text)) << '"' << text << '"';
        int nValue = 12345;
        if (CwScanInt(text, &nValue)) {
            EXPECT_EQ(nValue, std::atoi(text)) << '"' << text << '"';
        }
    }
    EXPECT_EQ(CwAtoi(nullptr), 0);
}

TEST(TextNumberTest, DigitsAreFoundOnlyRightAfterTheBlanksAndTheSign)
{
    int nValue = 7;
    EXPECT_TRUE(CwScanInt(" -0", &nValue));
    EXPECT_EQ(nValue, 0);
    for (const char* text : {"", " ", "-", "- 1", "x1", "+-1"}) {
        nValue = 7;
        EXPECT_FALSE(CwScanInt(text, &nValue)) << '"' << text << '"';
        EXPECT_EQ(nValue, 7);
    }
}

TEST(TextNumberTest, NumbersBeyondTheIntRangeSaturate)
{
    EXPECT_EQ(CwAtoi("2147483648"), 2147483647);
    EXPECT_EQ(CwAtoi("99999999999999999999999999"), 2147483647);
    EXPECT_EQ(CwAtoi("-2147483649"), -2147483647 - 1);
    EXPECT_EQ(CwAtoi("-99999999999999999999999999"), -2147483647 - 1);
}

TEST(TextNumberTest, BlanksAreTheCLocaleWhiteSpace)
{
    for (int ch = 0; ch < 256; ch++) EXPECT_EQ(CwIsSpace(static_cast<char>(ch)), std::isspace(ch) != 0) << ch;
}
