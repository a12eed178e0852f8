#include "proxylist/proxy_entry.h"

#include "support/string_list_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Entries(const char* text)
{
    CStringList list;
    AppendListEntries(CString(text), list);
    return ToVector(list);
}

} // namespace

TEST(ProxyEntryTest, SplitsHostBeforeTheFirstColonAndPortAfterIt)
{
    struct Case {
        const char* entry;
        const char* host;
        int port;
    } cases[] = {
        {"111.111.111.111:11", "111.111.111.111", 11},
        {"10.1.2.3:8080 Fast anonymous (US)", "10.1.2.3", 8080}, // text after the port
        {"10.1.2.3:3128:99", "10.1.2.3", 3128},                  // only the first colon splits
        {"111.111.111.111", "", 111},                            // no colon: port from the whole text
        {"proxy:  8080", "proxy", 8080},                         // blanks before the digits
        {"proxy:\t+81", "proxy", 81},                            // a sign before the digits
        {"proxy:-81", "proxy", -81},
        {"proxy:", "proxy", 0}, // no digits
        {"proxy:port", "proxy", 0},
        {":8080", "", 8080},
        {"", "", 0},
        {"proxy:99999999999999", "proxy", 2147483647}, // saturated, not overflowed
    };
    for (const Case& c : cases) {
        CString host("unchanged");
        int port = -12345;
        SplitProxyEntry(c.entry, host, port);
        EXPECT_EQ(host, c.host) << c.entry;
        EXPECT_EQ(port, c.port) << c.entry;
    }
}

TEST(ProxyEntryTest, LfAndCrLfListsGiveTheSameEntries)
{
    const std::vector<std::string> expected = {"1.1.1.1:80", "", "2.2.2.2:3128 fast", "3.3.3.3:8080"};
    EXPECT_EQ(Entries("1.1.1.1:80\n\n2.2.2.2:3128 fast\n3.3.3.3:8080\n"), expected);
    EXPECT_EQ(Entries("1.1.1.1:80\r\n\r\n2.2.2.2:3128 fast\r\n3.3.3.3:8080\r\n"), expected);
    // Lists stored by older versions: CR CR LF on disk, CR LF after a text-mode read.
    EXPECT_EQ(Entries("1.1.1.1:80\r\r\n\r\r\n2.2.2.2:3128 fast\r\r\n3.3.3.3:8080\r\r\n"), expected);
}

TEST(ProxyEntryTest, LastLineCountsWithoutALineEnd)
{
    EXPECT_EQ(Entries("a:1\r\nb:2"), (std::vector<std::string>{"a:1", "b:2"}));
    EXPECT_EQ(Entries("only:1"), (std::vector<std::string>{"only:1"}));
    EXPECT_EQ(Entries(""), std::vector<std::string>{});
    EXPECT_EQ(Entries("\r\n"), std::vector<std::string>{""}) << "one empty line is one empty entry";
}

TEST(ProxyEntryTest, EntriesAreAddedAfterThoseAlreadyThere)
{
    CStringList list;
    list.AddTail("kept:1");
    AppendListEntries(CString("new:2\n"), list);
    AppendListEntries(CString("new:2\n"), list);
    ASSERT_EQ(list.GetCount(), 3);
    POSITION pos = list.GetHeadPosition();
    EXPECT_EQ(list.GetNext(pos), "kept:1");
    EXPECT_EQ(list.GetNext(pos), "new:2");
    EXPECT_EQ(list.GetNext(pos), "new:2");
}
