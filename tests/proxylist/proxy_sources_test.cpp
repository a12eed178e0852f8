// Several sources read into one list: each proxy once, the junk counted, the bounds, the message.
#include "proxylist/proxy_sources.h"

#include "support/string_list_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ProxySourcesTest, SourcesInMixedFormsGiveEachProxyOnceAsItsFirstSourceWroteIt)
{
    CProxyListMerge merge;
    const CProxySourceTally vendor = merge.AddText("10.1.1.1:8080 US Anonymous\r\n"
                                                   "10.1.1.2:3128\r\n"
                                                   "\r\n");
    const CProxySourceTally published = merge.AddText("\xEF\xBB\xBF# Free proxies, updated hourly\n"
                                                      "<html><body>\n"
                                                      "10.1.1.1:8080\n"                   // the vendor's, again
                                                      "http://10.1.1.2:3128/\n"           // the same, as a URL
                                                      "socks5://10.1.1.2:3128,DE,elite\n" // another kind: another proxy
                                                      "  10.2.2.2:80   \n"
                                                      "999.1.1.1:80\n"
                                                      "10.2.2.3:0\n"
                                                      "10.2.2.2:80\n");
    const CProxySourceTally own = merge.AddText("alice:s3cret@10.3.3.3:8000\n"
                                                "10.3.3.4:8000:bob:pw\n"
                                                "[2001:db8::1]:8080\n"
                                                "10.2.2.2:80 mine\n");
    EXPECT_EQ((std::vector<std::string>{"10.1.1.1:8080 US Anonymous", "10.1.1.2:3128",
                                        "socks5://10.1.1.2:3128,DE,elite", "10.2.2.2:80", "alice:s3cret@10.3.3.3:8000",
                                        "10.3.3.4:8000:bob:pw", "[2001:db8::1]:8080"}),
              ToVector(merge.GetEntries()));
    EXPECT_EQ(2, vendor.nFound);
    EXPECT_EQ(0, vendor.nSkipped) << "blank lines are not skipped entries";
    EXPECT_EQ(5, published.nFound);
    EXPECT_EQ(3, published.nDuplicates);
    EXPECT_EQ(4, published.nSkipped);
    EXPECT_EQ(1, own.nDuplicates);
    EXPECT_FALSE(published.bCut);
}

TEST(ProxySourcesTest, ASourceStopsAtItsEntryBoundAndOnlyItself)
{
    std::string big;
    for (int i = 0; i <= PROXY_SOURCE_MAX_ENTRIES; ++i)
        big += "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) +
               ":80\n";
    CProxyListMerge merge;
    CProxySourceTally tally = merge.AddText(CString(big));
    EXPECT_TRUE(tally.bCut);
    EXPECT_EQ(PROXY_SOURCE_MAX_ENTRIES, merge.GetCount());
    tally = merge.AddText("192.168.0.1:80\n");
    EXPECT_FALSE(tally.bCut);
    EXPECT_EQ(PROXY_SOURCE_MAX_ENTRIES + 1, merge.GetCount());
}

TEST(ProxySourcesTest, TheVendorComesFirstOnlyWhenItIsARealHost)
{
    EXPECT_TRUE(IsRealUpdateServer("update.example.com"));
    EXPECT_TRUE(IsRealUpdateServer(" 127.0.0.1:8081 "));
    EXPECT_FALSE(IsRealUpdateServer(""));
    EXPECT_FALSE(IsRealUpdateServer("  "));
    EXPECT_FALSE(IsRealUpdateServer("cloakwall-update.invalid"));
    EXPECT_FALSE(IsRealUpdateServer("Cloakwall-Update.INVALID.:80"));
    EXPECT_TRUE(IsRealUpdateServer("notinvalid"));

    CStringList configured;
    configured.AddTail(" https://lists.example/http.txt ");
    configured.AddTail("");
    configured.AddTail("C:\\lists\\mine.csv");
    configured.AddTail("HTTPS://lists.example/http.txt");
    CStringList sources;
    ListProxySources("http://vendor.example/licensing/ProxyGenerator/proxylist.txt", "C:\\App\\myproxies.txt",
                     configured, sources);
    EXPECT_EQ(
        (std::vector<std::string>{"http://vendor.example/licensing/ProxyGenerator/proxylist.txt",
                                  "C:\\App\\myproxies.txt", "https://lists.example/http.txt", "C:\\lists\\mine.csv"}),
        ToVector(sources));
    EXPECT_TRUE(IsUrlSource("Https://x.example/"));
    EXPECT_FALSE(IsUrlSource("C:\\lists\\mine.csv"));
}

TEST(ProxySourcesTest, TheMessageNamesTheFailedSourcesTheCutOnesAndTheSkippedLines)
{
    std::vector<CProxySourceOutcome> outcomes(3);
    outcomes[0].strSource = "http://a.example/list";
    outcomes[0].bAnswered = TRUE;
    outcomes[0].tally.nSkipped = 1200;
    outcomes[1].strSource = "http://b.example/list";
    outcomes[2].strSource = "C:\\mine.txt";
    outcomes[2].bAnswered = TRUE;
    outcomes[2].bCutAtBytes = TRUE;
    EXPECT_EQ("2 of 3 sources answered; failed: http://b.example/list\r\n"
              "C:\\mine.txt was cut at 16 MB.\r\n"
              "1,200 lines without a proxy were skipped.\r\n",
              FormatProxySourcesNotes(outcomes));

    outcomes[1].bAnswered = TRUE;
    outcomes[1].tally.bCut = TRUE;
    outcomes[2].bCutAtBytes = FALSE;
    outcomes[0].tally.nSkipped = 0;
    EXPECT_EQ("http://b.example/list was cut at 100,000 entries.\r\n", FormatProxySourcesNotes(outcomes));
    outcomes[1].tally.bCut = FALSE;
    EXPECT_EQ("", FormatProxySourcesNotes(outcomes));
    outcomes[2].tally.nSkipped = 1;
    EXPECT_EQ("1 line without a proxy was skipped.\r\n", FormatProxySourcesNotes(outcomes));
}

// The first start's line, with the counts as they come: thousands
// separated, the singular for one.
TEST(ProxySourcesTest, TheFirstStartSaysWhatWasLoadedAndWhatToDoNext)
{
    EXPECT_EQ("16,000 proxies from 3 lists. Press \"Test All Proxies\" to find the ones that work.",
              FormatFirstStartText(16000, 3).str());
    EXPECT_EQ("1 proxy from 1 list. Press \"Test All Proxies\" to find the ones that work.",
              FormatFirstStartText(1, 1).str());
}
