// Reading every source into the list file: a web list and a file cut at 16 MB, a missing file named,
// the user's own file absent without a word.
#include "proxylist/proxy_sources_update.h"

#include "support/loopback_http_server.h"
#include "support/raw_file.h"
#include "support/temp_path.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(ProxySourcesUpdateTest, SourcesOverTheByteBoundAreCutAtALineAndSaySo)
{
    // 2 KB lines, each another proxy, to a little over the bound.
    const std::string tail(2000, 'x');
    std::string big;
    int nLines = 0;
    while (big.size() <= PROXY_SOURCE_MAX_BYTES + 8192) {
        big += "10.1." + std::to_string(nLines / 256) + "." + std::to_string(nLines % 256) + ":80 " + tail + "\n";
        ++nLines;
    }
    int nWhole = 0; // the lines that end within the bound
    for (size_t end = big.find('\n'); end != std::string::npos && end < PROXY_SOURCE_MAX_BYTES;
         end = big.find('\n', end + 1))
        ++nWhole;

    CLoopbackHttpServer server;
    server.SetAnswer("/big.txt", 200, big);
    const std::string file = TempPath("big-source.txt");
    ASSERT_TRUE(WriteRaw(file, "192.168.7.7:8080 first\n" + big));
    const std::string list = TempPath("sources-list.txt");
    const std::string missing = TempPath("no-such-source.txt");
    std::remove(missing.c_str());

    CStringList sources;
    sources.AddTail(CString(("http://" + server.HostPort() + "/big.txt").c_str()));
    sources.AddTail(CString(TempPath("my-own-absent.txt").c_str()));
    sources.AddTail(CString(file.c_str()));
    sources.AddTail(CString(missing.c_str()));
    CNetDeadline deadline(60000);
    CProxySourcesUpdate update;
    UpdateProxyListFromSources(sources, TempPath("my-own-absent.txt").c_str(), list.c_str(), update, &deadline);

    ASSERT_EQ(PROXY_LIST_UPDATED, update.result);
    ASSERT_EQ(3u, update.outcomes.size()) << "the user's own file, while absent, is no source";
    EXPECT_TRUE(update.outcomes[0].bAnswered && update.outcomes[0].bCutAtBytes);
    EXPECT_EQ(nWhole, update.outcomes[0].tally.nFound);
    EXPECT_TRUE(update.outcomes[1].bAnswered && update.outcomes[1].bCutAtBytes);
    EXPECT_EQ(1, update.outcomes[1].tally.nFound - update.outcomes[1].tally.nDuplicates);
    EXPECT_FALSE(update.outcomes[2].bAnswered);
    EXPECT_EQ(nWhole + 1, update.entries.GetCount());
    EXPECT_EQ("192.168.7.7:8080 first", update.entries.GetTail().str()) << "the file's one proxy of its own";

    const std::string text = FormatProxySourcesUpdateText(update).str();
    EXPECT_NE(std::string::npos, text.find("2 of 3 sources answered; failed: " + missing)) << text.substr(0, 300);
    EXPECT_NE(std::string::npos, text.find("/big.txt was cut at 16 MB.")) << text.substr(0, 300);
    EXPECT_NE(std::string::npos, text.find(file + " was cut at 16 MB.")) << text.substr(0, 300);
    std::remove(file.c_str());
    std::remove(list.c_str());
}
