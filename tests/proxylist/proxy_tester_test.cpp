// The proxy tester against loopback peers in this process. The "proxy" is a
// loopback server that answers the absolute-form requests a proxy receives;
// the sample URL names a closed port, so only a request that really went
// through the proxy can succeed.
#include "proxylist/download.h"
#include "proxylist/http_get.h"
#include "proxylist/proxy_tester.h"
#include "proxylist/upstream_fetch.h"
#include "support/loopback_http_server.h"
#include "support/message_box_recorder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string DeadSampleUrl()
{
    return "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + SPEED_SAMPLE_PATH;
}

const std::string kSample = "GIF89a" + std::string(64 * 1024, 's');

} // namespace

TEST(ProxyTesterTest, ConnectTimeOnAListeningAndOnAClosedPort)
{
    CLoopbackHttpServer listening;
    int ms = MeasureConnectTime("127.0.0.1", listening.Port());
    EXPECT_GE(ms, 1) << "a connect within the same millisecond still counts as 1";
    EXPECT_LT(ms, 60000);
    EXPECT_EQ(MeasureConnectTime("127.0.0.1", ClosedLoopbackPort()), 0);
}

TEST(ProxyTesterTest, NoHostOrAPortOutOfRangeIsNeverReachable)
{
    CLoopbackHttpServer listening;
    EXPECT_EQ(MeasureConnectTime("", listening.Port()), 0) << "an entry without a host names no machine";
    EXPECT_EQ(MeasureConnectTime(nullptr, listening.Port()), 0);
    EXPECT_EQ(MeasureConnectTime("127.0.0.1", 0), 0);
    EXPECT_EQ(MeasureConnectTime("127.0.0.1", 65536 + listening.Port()), 0) << "no wrap-around to a real port";
    EXPECT_EQ(MeasureConnectTime("127.0.0.1", -1), 0);
    EXPECT_EQ(MeasureDownloadSpeed("", listening.Port(), DeadSampleUrl().c_str()), 0.0);
}

TEST(ProxyTesterTest, ReachableProxyShowsNoMessage)
{
    CLoopbackHttpServer listening;
    CMessageBoxRecorder boxes;
    EXPECT_TRUE(CheckProxyReachable("127.0.0.1", listening.Port()));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(ProxyTesterTest, UnreachableProxyShowsItsErrorOwnedByTheDialog)
{
    HWND owner = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x4321));
    CMessageBoxRecorder boxes;
    EXPECT_FALSE(CheckProxyReachable("127.0.0.1", ClosedLoopbackPort(), owner));
    EXPECT_FALSE(CheckProxyReachable("", 8080, owner));
    EXPECT_FALSE(CheckProxyReachable("127.0.0.1", 70000, owner));

    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].text, "Unable to connect to proxy server");
    EXPECT_EQ(shown[1].text, "Unable to solve proxy server name");
    EXPECT_EQ(shown[2].text, "Unable to connect to proxy server");
    for (const auto& box : shown) {
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.nType & MB_TYPEMASK, static_cast<UINT>(MB_OK));
        EXPECT_EQ(box.hWndOwner, owner);
    }
}

TEST(ProxyTesterTest, SpeedIsMeasuredThroughTheProxyUnderTest)
{
    CLoopbackHttpServer proxy;
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 200, kSample);
    std::string sampleUrl = DeadSampleUrl();

    double kbPerMs = MeasureDownloadSpeed("127.0.0.1", proxy.Port(), sampleUrl.c_str());
    EXPECT_GT(kbPerMs, 0.0);

    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_EQ(proxy.Requests()[0].rfind("GET " + sampleUrl + " HTTP/1.1\r\n", 0), 0u)
        << "the proxy got the absolute-form request: " << proxy.Requests()[0];
    CString direct;
    EXPECT_FALSE(DownloadText(sampleUrl.c_str(), direct)) << "the sample is unreachable without the proxy";
}

TEST(ProxyTesterTest, ASampleTooSmallToTimeGivesNoFigure)
{
    // A few hundred bytes come in one packet: their time is the clock's.
    CLoopbackHttpServer proxy;
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 200, std::string(632, 'g'));
    EXPECT_EQ(MeasureDownloadSpeed("127.0.0.1", proxy.Port(), DeadSampleUrl().c_str()), SPEED_NOT_MEASURED);
    std::string entry = "127.0.0.1:" + std::to_string(proxy.Port());
    CProxyTestReport report;
    ASSERT_TRUE(TestProxyEntry(entry.c_str(), DeadSampleUrl().c_str(), report));
    EXPECT_EQ(report.strText.str(), "Proxy Server " + entry + " is Available\r\nResponse Time " +
                                        std::to_string(report.nConnectMs) +
                                        " milliseconds \r\nDownload Speed: too small a sample to measure\r\n");
}

TEST(ProxyTesterTest, SpeedIsZeroWhenTheProxyIsDownOrCannotFetchTheSample)
{
    EXPECT_EQ(MeasureDownloadSpeed("127.0.0.1", ClosedLoopbackPort(), DeadSampleUrl().c_str()), 0.0);

    CLoopbackHttpServer refusing; // answers 404 with a body for the sample
    EXPECT_EQ(MeasureDownloadSpeed("127.0.0.1", refusing.Port(), DeadSampleUrl().c_str()), 0.0);
    refusing.SetAnswer(SPEED_SAMPLE_PATH, 502, "Bad Gateway: the proxy could not reach the server");
    EXPECT_EQ(MeasureDownloadSpeed("127.0.0.1", refusing.Port(), DeadSampleUrl().c_str()), 0.0);
    refusing.SetAnswer(SPEED_SAMPLE_PATH, 200, "");
    EXPECT_EQ(MeasureDownloadSpeed("127.0.0.1", refusing.Port(), DeadSampleUrl().c_str()), 0.0)
        << "nothing read, nothing measured";
    EXPECT_EQ(refusing.Requests().size(), 3u);
}

TEST(ProxyTesterTest, AvailabilityTextFormat)
{
    EXPECT_EQ(FormatProxyAvailableText("111.111.111.111:11", 1, SpeedToKBPerSec(0.6171875)),
              "Proxy Server 111.111.111.111:11 is Available\r\nResponse Time 1 milliseconds \r\n"
              "Download Speed 617.19 KB/sec \r\n");
    EXPECT_EQ(FormatProxyAvailableText("10.0.0.1:8080 100% anonymous", 16, SpeedToKBPerSec(0.6171875 / 16)),
              "Proxy Server 10.0.0.1:8080 100% anonymous is Available\r\nResponse Time 16 milliseconds \r\n"
              "Download Speed 38.57 KB/sec \r\n");
    EXPECT_EQ(FormatProxyAvailableText("p:1", 250, 0.0),
              "Proxy Server p:1 is Available\r\nResponse Time 250 milliseconds \r\nDownload Speed 0.00 KB/sec \r\n");
}

TEST(ProxyTesterTest, TestingAnEntryReportsWhatToTellTheUser)
{
    CLoopbackHttpServer proxy;
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 200, kSample);
    std::string entry = "127.0.0.1:" + std::to_string(proxy.Port()) + " Fast anonymous";
    CProxyTestReport report;
    ASSERT_TRUE(TestProxyEntry(entry.c_str(), DeadSampleUrl().c_str(), report));
    EXPECT_GE(report.nConnectMs, 1);
    EXPECT_GT(report.dKBPerSec, 0.0);
    EXPECT_EQ(report.strText, FormatProxyAvailableText(entry.c_str(), report.nConnectMs, report.dKBPerSec));
    EXPECT_EQ(report.strCaption, "");

    // Reachable, but the sample cannot be had through it: available at 0.00.
    CLoopbackHttpServer useless;
    std::string uselessEntry = "127.0.0.1:" + std::to_string(useless.Port());
    ASSERT_TRUE(TestProxyEntry(uselessEntry.c_str(), DeadSampleUrl().c_str(), report));
    EXPECT_EQ(report.dKBPerSec, 0.0);
    EXPECT_NE(report.strText.Find("Download Speed 0.00 KB/sec"), -1);

    // A sample larger than the tester reads is timed over its first part.
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 200, std::string(PROXY_SPEED_SAMPLE_MAX_BYTES + 100000, 'L'));
    ASSERT_TRUE(TestProxyEntry(entry.c_str(), DeadSampleUrl().c_str(), report));
    EXPECT_GT(report.dKBPerSec, 0.0);

    std::string closedEntry = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    for (const std::string& bad : {closedEntry, std::string("127.0.0.1"), std::string()}) {
        EXPECT_FALSE(TestProxyEntry(bad.c_str(), DeadSampleUrl().c_str(), report)) << bad;
        EXPECT_EQ(report.nConnectMs, 0);
        EXPECT_EQ(report.dKBPerSec, 0.0);
        EXPECT_EQ(report.strText, "Proxy Server is NOT Available - Please select a different proxy");
        EXPECT_EQ(report.strCaption, "Error");
    }
}

TEST(ProxyTesterTest, TheProxySessionSendsLoopbackTargetsThroughTheProxyToo)
{
    // A sample on this machine must still come through the proxy under test:
    // the session's bypass list takes loopback off the direct route. (Wine
    // sends loopback through a proxy either way; Windows may not.)
    CLoopbackHttpServer proxy;
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 200, kSample);
    CHttpGet get;
    std::string proxyName = "127.0.0.1:" + std::to_string(proxy.Port());
    ASSERT_TRUE(get.Send(DeadSampleUrl().c_str(), proxyName.c_str()));
    EXPECT_EQ(get.GetStatusCode(), 200u);
    char buffer[1024];
    DWORD size = sizeof buffer;
    ASSERT_TRUE(get.GetSession()->QueryOption(INTERNET_OPTION_PROXY, buffer, &size));
    const INTERNET_PROXY_INFO* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(buffer);
    EXPECT_EQ(info->dwAccessType, static_cast<DWORD>(INTERNET_OPEN_TYPE_PROXY));
    EXPECT_STREQ(reinterpret_cast<const char*>(info->lpszProxy), proxyName.c_str());
    ASSERT_NE(info->lpszProxyBypass, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(info->lpszProxyBypass), "<-loopback>");
}

TEST(ProxyTesterTest, AnHttpProxyThatWantsAnAccountGetsOneAndItsRefusalShowsNoPassword)
{
    CLoopbackHttpServer proxy;
    proxy.SetAnswer(SPEED_SAMPLE_PATH, 407, "Proxy Authentication Required");
    const std::string address = "127.0.0.1:" + std::to_string(proxy.Port());
    CProxyTestReport report;
    EXPECT_FALSE(TestProxyEntry(("carol:S3cret@" + address).c_str(), DeadSampleUrl().c_str(), report));
    EXPECT_EQ(report.strText.str(),
              "Proxy Server carol:\x95\x95\x95@" + address + " answers, but the proxy refused the account");
    EXPECT_EQ(report.strCaption, "Error");
    EXPECT_GE(report.nConnectMs, 1);
    ASSERT_EQ(proxy.Requests().size(), 1u);
    EXPECT_NE(proxy.Requests()[0].find("\r\nProxy-Authorization: Basic Y2Fyb2w6UzNjcmV0\r\n"), std::string::npos)
        << proxy.Requests()[0];

    EXPECT_FALSE(TestProxyEntry(address.c_str(), DeadSampleUrl().c_str(), report));
    EXPECT_EQ(report.strText.str(), "Proxy Server " + address + " answers, but the proxy wants an account");
    ASSERT_EQ(proxy.Requests().size(), 2u);
    EXPECT_EQ(proxy.Requests()[1].find("Proxy-Authorization"), std::string::npos) << proxy.Requests()[1];
}
