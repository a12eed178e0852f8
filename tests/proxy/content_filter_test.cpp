// The tag-renaming rules of the content filter and its switches.
#include "proxy/content_filter.h"
#include "proxy/filter_switches.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Filter(const std::string& chunk)
{
    CContentFilter filter(chunk.data(), static_cast<int>(chunk.size()));
    EXPECT_EQ(filter.FilterBody(), 1);
    return filter.GetFiltered().str();
}

class ContentFilterTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetFilterSwitchSource(nullptr, nullptr);
        SetFilterSwitches(0, 0);
    }
};

DWORD ReturnsOne() { return 1; }
DWORD ReturnsTwo() { return 2; }

}  // namespace

TEST_F(ContentFilterTest, NothingToFilterWithoutAChunk)
{
    SetFilterSwitches(1, 1);
    CContentFilter none;
    EXPECT_EQ(none.FilterBody(), 0);
    CContentFilter empty("abc", 0);
    EXPECT_EQ(empty.FilterBody(), 0);
    CHeaderFieldArray headers;
    headers.Add(CHeaderField("Host", "h"));
    EXPECT_EQ(none.FilterHeaders(headers), 1);
    ASSERT_EQ(headers.GetSize(), 1);
    EXPECT_STREQ(headers[0].m_strValue, "h");
}

TEST_F(ContentFilterTest, ScriptRulesRenameOnlyTheLowerCaseSpelling)
{
    const std::string page = "<p><script src=a.js></script><SCRIPT>x</SCRIPT><Script>y</Script><scripts>";
    SetFilterSwitches(1, 0);
    std::string out = Filter(page);
    EXPECT_EQ(out,
              "<p><noscript src=a.js></noscript> <SCRIPT>x</SCRIPT><Script>y</Script><noscripts>");
    // One script element grows by 5 bytes; the prefix rule also hit <scripts>.
    EXPECT_EQ(out.size(), page.size() + 5 + 2);

    SetFilterSwitches(0, 0);
    EXPECT_EQ(Filter(page), page);
}

TEST_F(ContentFilterTest, ObjectRulesKeepTheLength)
{
    const std::string page = "<object data=x></object><OBJECT id=y></OBJECT><Object></Object>";
    SetFilterSwitches(0, 1);
    std::string out = Filter(page);
    EXPECT_EQ(out, "<noobj  data=x></noobj> <noobj  id=y></noobj> <Object></Object>");
    EXPECT_EQ(out.size(), page.size());
}

TEST_F(ContentFilterTest, RulesRunInOrderAndNeverRescanInsertedText)
{
    SetFilterSwitches(1, 1);
    // "</script>" is renamed by the second rule, not broken up by the first.
    EXPECT_EQ(Filter("</script><script</script>"), "</noscript> <noscript</noscript> ");
    // The inserted "<noscript" holds no "<script" to rename again.
    EXPECT_EQ(Filter("<script<script"), "<noscript<noscript");
    EXPECT_EQ(Filter("<object</OBJECT>"), "<noobj </noobj> ");
}

TEST_F(ContentFilterTest, NulBytesAndWhatFollowsThemPassThrough)
{
    SetFilterSwitches(1, 1);
    static const char raw[] = "\0a<script>\0\xff</script>\0<object>";
    static const char renamed[] = "\0a<noscript>\0\xff</noscript> \0<noobj >";
    const std::string chunk(raw, sizeof raw - 1);
    const std::string expected(renamed, sizeof renamed - 1);
    ASSERT_EQ(chunk.size(), 30u);
    EXPECT_EQ(Filter(chunk), expected);

    SetFilterSwitches(0, 0);
    std::string binary;
    for (int i = 0; i < 512; ++i) binary += static_cast<char>(i & 0xFF);
    EXPECT_EQ(Filter(binary), binary);
}

TEST_F(ContentFilterTest, ASwitchIsOnOnlyWhenItReadsExactlyOne)
{
    SetFilterSwitches(2, 0xFFFFFFFF);
    EXPECT_EQ(Filter("<script><object>"), "<script><object>");

    // An installed source wins over the stored values.
    SetFilterSwitchSource(ReturnsOne, ReturnsTwo);
    EXPECT_EQ(ReadEnableJS(), 1u);
    EXPECT_EQ(Filter("<script><object>"), "<noscript><object>");
    SetFilterSwitchSource(nullptr, ReturnsOne);
    EXPECT_EQ(Filter("<script><object>"), "<script><noobj >");
}
