// The look around before a failover, against loopback stand-ins: what
// asking the judge through each kind of broken proxy shows, and which
// proxy the look around settles on. The judge itself is never asked
// directly: it would see the user's own address.
#include "proxylist/failover_probe.h"

#include "support/loopback_http_server.h"
#include "support/loopback_tcp.h"
#include "support/socks_stand_in.h"

#include <gtest/gtest.h>

namespace {

const char kJudgeAnswer[] = "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\njudge";

} // namespace

TEST(FailoverProbe, EachBrokenProxyIsToldApartAndTheFirstWorkingCandidateIsChosen)
{
    CLoopbackHttpServer judge;
    judge.SetRawAnswerForAll(kJudgeAnswer);
    const std::string strJudgeUrl = "http://" + judge.HostPort() + "/judge?x=1 http://127.0.0.1:9/second";

    CLoopbackHttpServer working, forbidding, wantsAccount;
    working.SetRawAnswerForAll(kJudgeAnswer);
    forbidding.SetRawAnswerForAll("HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n");
    wantsAccount.SetRawAnswerForAll("HTTP/1.0 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n");
    CSilentLoopbackListener silent;
    CSocksStandIn socks;
    socks.RequireAccount("user", "right");
    const std::string strRefusing = "127.0.0.1:" + std::to_string(ClosedLoopbackPort());
    const std::string strSocks = "127.0.0.1:" + std::to_string(socks.Port());

    const struct {
        std::string strEntry;
        EProxyFault eFault;
    } rows[] = {
        {working.HostPort(), PROXY_FAULT_NONE},
        {"socks5://user:right@" + strSocks, PROXY_FAULT_NONE},
        {"socks5://user:wrong@" + strSocks, PROXY_FAULT_ACCOUNT},
        {"socks5://" + strSocks, PROXY_FAULT_ACCOUNT},
        {wantsAccount.HostPort(), PROXY_FAULT_ACCOUNT},
        {forbidding.HostPort(), PROXY_FAULT_ERROR},
        {silent.HostPort(), PROXY_FAULT_SILENT},
        {strRefusing, PROXY_FAULT_REFUSED},
    };
    for (const auto& row : rows) {
        CNetDeadline deadline(5000);
        EXPECT_EQ(row.eFault, AskThroughProxy(row.strEntry.c_str(), strJudgeUrl.c_str(), deadline, 700))
            << row.strEntry;
    }
    // Only the tunnel the SOCKS proxy granted reached the judge; the HTTP
    // proxy was asked for the first judge in the absolute form.
    EXPECT_EQ(1, judge.Accepted());
    ASSERT_EQ(1u, working.RequestLines().size());
    EXPECT_EQ(0u, working.RequestLines()[0].find("GET http://" + judge.HostPort() + "/judge?x=1&cwm="))
        << working.RequestLines()[0];

    // Candidates in order: the silent and the refusing one are passed
    // over, the working one is taken; the chosen one, asked after it, says
    // why it was left.
    CFailoverProbe probe;
    probe.strJudgeUrl = strJudgeUrl.c_str();
    probe.strChosen = ("socks5://user:wrong@" + strSocks).c_str();
    probe.candidates = {silent.HostPort().c_str(), strRefusing.c_str(), working.HostPort().c_str()};
    CFailoverFinding found = RunFailoverProbe(probe, CNetDeadline(10000));
    EXPECT_EQ(FAILOVER_PROBE_CANDIDATE_ANSWERS, found.eFound);
    EXPECT_EQ(working.HostPort(), found.strCandidate.str());
    EXPECT_EQ(PROXY_FAULT_ACCOUNT, found.eChosenFault);

    // No candidate: another entry working tells a broken proxy from a
    // broken network. A chosen proxy that works again keeps its place
    // even when a candidate answers.
    probe.candidates.clear();
    probe.others = {strRefusing.c_str(), working.HostPort().c_str()};
    EXPECT_EQ(FAILOVER_PROBE_OTHERS_ANSWER, RunFailoverProbe(probe, CNetDeadline(10000)).eFound);
    probe.strChosen = ("socks5://user:right@" + strSocks).c_str();
    probe.candidates = {working.HostPort().c_str()};
    EXPECT_EQ(FAILOVER_PROBE_CHOSEN_ANSWERS, RunFailoverProbe(probe, CNetDeadline(10000)).eFound);
}

TEST(FailoverProbe, WhenSecurePagesMustGoOnACandidateWhoseTunnelCarriesNoHttpsIsPassedOver)
{
    CLoopbackHttpServer judge;
    judge.SetRawAnswerForAll(kJudgeAnswer);
    const std::string strJudgeUrl = "http://" + judge.HostPort() + "/judge https://127.0.0.1:9/";
    // Answers every request with the judge's page, CONNECT too: what
    // follows is no tunnel, and no TLS session comes of it.
    CLoopbackHttpServer plainOnly;
    plainOnly.SetRawAnswerForAll(kJudgeAnswer);

    CFailoverProbe probe;
    probe.strJudgeUrl = strJudgeUrl.c_str();
    probe.strChosen = ("127.0.0.1:" + std::to_string(ClosedLoopbackPort())).c_str();
    probe.bAskChosen = FALSE;
    probe.bNeedHttps = TRUE;
    probe.candidates = {plainOnly.HostPort().c_str()};
    CFailoverFinding found = RunFailoverProbe(probe, CNetDeadline(10000));
    EXPECT_NE(FAILOVER_PROBE_CANDIDATE_ANSWERS, found.eFound);
    EXPECT_TRUE(found.strCandidate.IsEmpty());
    ASSERT_EQ(1u, found.tunnels.size());
    EXPECT_EQ(plainOnly.HostPort(), found.tunnels[0].strEntry.str());
    EXPECT_EQ(HTTPS_NONE, found.tunnels[0].eHttps);

    // For plain pages alone the same candidate will do, and no tunnel is tried.
    probe.bNeedHttps = FALSE;
    found = RunFailoverProbe(probe, CNetDeadline(10000));
    EXPECT_EQ(FAILOVER_PROBE_CANDIDATE_ANSWERS, found.eFound);
    EXPECT_TRUE(found.tunnels.empty());
}
