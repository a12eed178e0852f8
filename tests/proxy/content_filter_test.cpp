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

DWORD ReturnsOne()
{
    return 1;
}
DWORD ReturnsTwo()
{
    return 2;
}

} // namespace

TEST_F(ContentFilterTest, NothingToFilterWithoutAChunk)
{
    SetFilterSwitches(1, 1);
    CContentFilter none;
    EXPECT_EQ(none.FilterBody(), 0);
    CContentFilter empty("abc", 0);
    EXPECT_EQ(empty.FilterBody(), 0);
}

TEST_F(ContentFilterTest, ScriptRulesRenameTheTagInAnyCaseWithTheSameReplacements)
{
    const std::string page = "<p><script src=a.js></script><SCRIPT>x</SCRIPT><Script>y</sCrIpT><scripts>";
    SetFilterSwitches(1, 0);
    std::string out = Filter(page);
    EXPECT_EQ(out, "<p><noscript src=a.js></noscript> <noscript>x</noscript> <noscript>y</noscript> <noscripts>");
    // Each script element grows by 5 bytes; the prefix rule also hit <scripts>.
    EXPECT_EQ(out.size(), page.size() + 3 * 5 + 2);

    SetFilterSwitches(0, 0);
    EXPECT_EQ(Filter(page), page);
}

TEST_F(ContentFilterTest, ObjectRulesRenameTheTagInAnyCaseAndKeepTheLength)
{
    const std::string page = "<object data=x></object><OBJECT id=y></OBJECT><Object></oBjEcT><objec";
    SetFilterSwitches(0, 1);
    std::string out = Filter(page);
    EXPECT_EQ(out, "<noobj  data=x></noobj> <noobj  id=y></noobj> <noobj ></noobj> <objec");
    EXPECT_EQ(out.size(), page.size());
}

TEST_F(ContentFilterTest, AcceptEncodingIsDroppedOnlyWhileASwitchIsOn)
{
    CHeaderFieldArray headers;
    headers.Add(CHeaderField("Host", "h"));
    headers.Add(CHeaderField("accept-encoding", "gzip"));
    headers.Add(CHeaderField("Accept-Encodings", "kept: not the same name"));
    CHeaderField noColon;
    noColon.m_bHasColon = FALSE;
    noColon.m_strValue = "Accept-Encoding";
    headers.Add(noColon);

    CContentFilter filter;
    CHeaderFieldArray unchanged = headers;
    EXPECT_EQ(filter.FilterHeaders(unchanged), 1);
    EXPECT_EQ(unchanged.GetSize(), 4);

    for (auto switches : {std::make_pair(1, 0), std::make_pair(0, 1)}) {
        SetFilterSwitches(switches.first, switches.second);
        CHeaderFieldArray filtered = headers;
        EXPECT_EQ(filter.FilterHeaders(filtered), 1);
        ASSERT_EQ(filtered.GetSize(), 3);
        EXPECT_STREQ(filtered[0].m_strName, "Host");
        EXPECT_STREQ(filtered[1].m_strName, "Accept-Encodings");
        EXPECT_FALSE(filtered[2].m_bHasColon);
    }
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
