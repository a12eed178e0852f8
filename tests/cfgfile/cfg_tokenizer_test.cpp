// Splitting lines into tokens, recognising section headers, scanning numbers.
#include "cfgfile/cfg_file.h"
#include "cfgfile/cfg_tokenizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Tokens(const std::string& line)
{
    CString tokens[CFG_MAX_TOKENS];
    int count = -1;
    int result = CCfgFile::Tokenize(CString(line), tokens, &count);
    EXPECT_EQ(result, count);
    std::vector<std::string> out;
    for (int k = 0; k < count; ++k) out.push_back(tokens[k].str());
    return out;
}

using V = std::vector<std::string>;

} // namespace

TEST(CfgTokenizeTest, BlanksAndCommasSeparate)
{
    EXPECT_EQ(Tokens("Port 8080"), (V{"Port", "8080"}));
    EXPECT_EQ(Tokens("  a\tb\v c\fd\re  "), (V{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Tokens("a,b,c"), (V{"a", "b", "c"}));
    EXPECT_EQ(Tokens("a , b"), (V{"a", "b"})) << "blanks around one comma are one separator";
    EXPECT_EQ(Tokens("a ,b"), (V{"a", "b"}));
    EXPECT_EQ(Tokens("a, b"), (V{"a", "b"}));
    EXPECT_EQ(Tokens("a,"), (V{"a"})) << "a trailing comma ends the last token and adds none";
    EXPECT_EQ(Tokens(""), V{});
    EXPECT_EQ(Tokens(" \t "), V{});
}

TEST(CfgTokenizeTest, CommaWhereATokenWouldStartGivesAnEmptyToken)
{
    EXPECT_EQ(Tokens("a,,b"), (V{"a", "", "b"}));
    EXPECT_EQ(Tokens("a, ,b"), (V{"a", "", "b"}));
    EXPECT_EQ(Tokens("a , , b"), (V{"a", "", "b"}));
    EXPECT_EQ(Tokens(",a"), (V{"", "a"}));
    EXPECT_EQ(Tokens("a,,"), (V{"a", ""}));
}

TEST(CfgTokenizeTest, QuotedTokensKeepBlanksAndCommas)
{
    EXPECT_EQ(Tokens("Port 8080, \"a b\" ,x"), (V{"Port", "8080", "a b", "x"}));
    EXPECT_EQ(Tokens("Name \"x, y\""), (V{"Name", "x, y"}));
    EXPECT_EQ(Tokens("Name \"\""), (V{"Name", ""})) << "empty quotes are an empty token";
    EXPECT_EQ(Tokens("\"a\"\"b\""), (V{"a", "b"})) << "a quote right after a closing quote starts a new token";
    EXPECT_EQ(Tokens("\"a\",,b"), (V{"a", "", "b"})) << "only one comma is skipped after a closing quote";
    EXPECT_EQ(Tokens("\"a\"b"), (V{"a", "b"}));
}

TEST(CfgTokenizeTest, UnclosedQuoteRunsToTheEndAndInnerQuotesAreData)
{
    EXPECT_EQ(Tokens("Name \"open, to the end "), (V{"Name", "open, to the end "}));
    EXPECT_EQ(Tokens("a\"b c"), (V{"a\"b", "c"})) << "a quote inside an unquoted token is ordinary";
    EXPECT_EQ(Tokens("\""), (V{""}));
}

TEST(CfgTokenizeTest, HighBytesAreOrdinaryCharacters)
{
    EXPECT_EQ(Tokens("\xE4\xF6 \xA0x"), (V{"\xE4\xF6", "\xA0x"}));
}

TEST(CfgTokenizeTest, AtMostTwentyTokensAndTheSlotAfterIsEmptied)
{
    std::string line;
    for (int k = 0; k < 25; ++k) line += "t" + std::to_string(k) + " ";
    V tokens = Tokens(line);
    ASSERT_EQ(tokens.size(), 20u);
    EXPECT_EQ(tokens[19], "t19");

    CString slots[CFG_MAX_TOKENS];
    for (CString& s : slots) s = "stale";
    EXPECT_EQ(CCfgFile::Tokenize("a b", slots, nullptr), 2);
    EXPECT_STREQ(slots[2], "");
}

TEST(CfgTokenizeTest, SpansPointAtTheRawText)
{
    CString line("Item 1,\"a b\" ;note, more");
    std::vector<CfgTokenSpan> spans = CfgSplitLine(line, -1);
    ASSERT_EQ(spans.size(), 5u);
    EXPECT_EQ(line.Mid(spans[2].nStart, spans[2].nEnd - spans[2].nStart), "\"a b\"");
    EXPECT_EQ(line.Mid(spans[3].nStart), ";note, more");
}

TEST(CfgSectionHeaderTest, RecognisesHeadersAndTheirNames)
{
    CString name("unchanged");
    EXPECT_TRUE(CCfgFile::IsSectionHeader("  [Main]  ;comment", &name));
    EXPECT_STREQ(name, "Main");
    EXPECT_TRUE(CCfgFile::IsSectionHeader("[ a ]", &name));
    EXPECT_STREQ(name, " a ") << "inner blanks belong to the name";
    EXPECT_TRUE(CCfgFile::IsSectionHeader("[]", &name));
    EXPECT_STREQ(name, "");
    EXPECT_TRUE(CCfgFile::IsSectionHeader("[a]b]", &name));
    EXPECT_STREQ(name, "a") << "the first ] ends the name";
    EXPECT_TRUE(CCfgFile::IsSectionHeader("[x];y"));
}

TEST(CfgSectionHeaderTest, RejectsOtherLines)
{
    CString name("unchanged");
    EXPECT_FALSE(CCfgFile::IsSectionHeader("[Ma;in]", &name));
    EXPECT_FALSE(CCfgFile::IsSectionHeader("[open", &name));
    EXPECT_FALSE(CCfgFile::IsSectionHeader("x [a]", &name));
    EXPECT_FALSE(CCfgFile::IsSectionHeader("", &name));
    EXPECT_FALSE(CCfgFile::IsSectionHeader("   ", &name));
    EXPECT_STREQ(name, "unchanged") << "no name is stored for a line that is no header";
}
