// Grading real proxies: the stand-in proxies of every kind, the vendor
// stand-in's judge and judges in the public judges' styles, started on
// loopback by the CTest fixture (peers.sh), the proxies connecting onwards
// from 127.0.0.2 and up so the judge sees another address than this
// program's. One proxy of each kind against each judge, then a batch of 400
// all in flight at once, with silent, unaccepting and refusing addresses and
// host names among them, its ranking and its stored results.
#include "framework/core/socket_api.h"
#include "framework/core/string_list.h"
#include "framework/core/thread_api.h"
#include "proxy/socks_handshake.h"
#include "proxylist/download.h"
#include "proxylist/judge_client.h"
#include "proxylist/proxy_batch_test.h"
#include "proxylist/proxy_results.h"
#include "proxylist/proxy_tester.h"
#include "proxylist/tick_clock.h"
#include "proxylist/upstream_fetch.h"
#include "proxylist/vendor_server.h"

#include <gtest/gtest.h>

#include "support/peers_dir.h"
#include "support/raw_file.h"
#include "support/standin_proxies.h"
#include "support/temp_path.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

class GradeScenarioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(PeersDir().empty()) << "CW_PEERS_DIR is not set: run through ctest";
        int nVendorPort = std::atoi(ReadRaw(PeersDir() + "vendor.port").c_str());
        ASSERT_GT(nVendorPort, 0);
        m_strVendor = "127.0.0.1:" + std::to_string(nVendorPort);
        m_strJudgeUrl = GetJudgeUrl("", m_strVendor.c_str()).str();
        m_standIns = ReadStandIns(PeersDir());
        ASSERT_GE(m_standIns.size(), 6u);
        SockInitOnce();
        m_nSocketsBefore = SockOpenCount();
    }

    // The first stand-in of a kind.
    std::string EntryOf(const std::string& strKind) const
    {
        for (const CStandIn& one : m_standIns)
            if (one.strKind == strKind) return one.strEntry;
        return std::string();
    }

    // The entries of the batch: every stand-in after the first six (every
    // fourth named by a host name, so its address is looked up), the SOCKS5
    // servers (microsocks passes nothing on: elite; with a wrong account, or
    // spoken to in SOCKS4a, it refuses: dead), and refusing addresses
    // (nothing listens on port 9 of 127.0.1.x) to fill up.
    void BatchEntries(CStringList& rEntries, std::map<std::string, std::string>& rKindOf, int nCount) const
    {
        for (size_t i = 6; i < m_standIns.size(); ++i) {
            std::string strEntry = m_standIns[i].strEntry;
            if (i % 4 == 0) strEntry = "localhost" + strEntry.substr(strEntry.find(':'));
            // The vendor's text after the port belongs to the entry.
            rEntries.AddTail((strEntry + " " + m_standIns[i].strKind).c_str());
            rKindOf[strEntry] = m_standIns[i].strKind;
        }
        auto socksAt = [](const char* pszFile) {
            return "127.0.0.1:" + std::to_string(std::atoi(ReadRaw(PeersDir() + pszFile).c_str()));
        };
        const std::string strOpen = socksAt("microsocks.port"), strAccount = socksAt("microsocks_account.port");
        const std::pair<std::string, const char*> socks[] = {{"socks5://" + strOpen + ",ZZ", "plain"},
                                                             {"socks5h://cwuser:cwpass@" + strAccount, "plain"},
                                                             {"socks5://cwuser:wrong@" + strAccount, "refusing"},
                                                             {"socks4a://" + strOpen, "refusing"}};
        for (const auto& one : socks) {
            rEntries.AddTail(one.first.c_str());
            rKindOf[ProxyResultKey(one.first.c_str()).str()] = one.second;
        }
        for (int i = 1; rEntries.GetCount() < nCount; ++i) {
            std::string strEntry = "127.0.1." + std::to_string(i) + ":9";
            rEntries.AddTail(strEntry.c_str());
            rKindOf[strEntry] = "refusing";
        }
    }

    // The vendor's judge with a tag of this run in its query, so that its
    // log tells this test's requests apart.
    std::string TaggedJudgeUrl(const std::string& strTag) const
    {
        return m_strJudgeUrl + "?run=" + strTag + std::to_string(GetCurrentProcessId());
    }
    // Who connected for each judge request of that tag, as the vendor
    // stand-in logged it ("GET <path> <via> from <address>").
    std::vector<std::string> JudgeClients(const std::string& strTag) const
    {
        std::vector<std::string> clients;
        std::istringstream lines(ReadRaw(PeersDir() + "vendor.log"));
        const std::string strRun = "run=" + strTag + std::to_string(GetCurrentProcessId());
        for (std::string strLine; std::getline(lines, strLine);) {
            size_t nFrom = strLine.rfind(" from ");
            if (strLine.find(strRun) != std::string::npos && nFrom != std::string::npos)
                clients.push_back(strLine.substr(nFrom + 6));
        }
        return clients;
    }

    std::string m_strVendor;
    std::string m_strJudgeUrl;
    std::vector<CStandIn> m_standIns;
    long m_nSocketsBefore = 0;
};

} // namespace

TEST_F(GradeScenarioTest, EveryKindOfProxyGetsItsGradeAndTheResultLineAndTheJudgeHearsOnlyFromProxies)
{
    CNetDeadline deadline(60000);
    const std::string strJudgeUrl = TaggedJudgeUrl("single");
    CJudgeTarget judge = ReadJudgeTargets(strJudgeUrl.c_str()).front();

    struct {
        const char* pszKind;
        EProxyGrade eGrade;
        const char* pszLine;
    } const kinds[] = {
        {"xff", PROXY_GRADE_TRANSPARENT, "Grade: transparent - it passes an address on (X-Forwarded-For)"},
        {"via", PROXY_GRADE_ANONYMOUS, "Grade: anonymous - it hides your address, but web sites see a proxy (Via)"},
        {"plain", PROXY_GRADE_ELITE, "Grade: elite - web sites see neither your address nor a proxy"},
        {"inject", PROXY_GRADE_TAMPERING, "Grade: tampering - it changes the pages it passes on"},
        {"slow", PROXY_GRADE_ELITE, "Grade: elite - web sites see neither your address nor a proxy"},
        {"silent", PROXY_GRADE_DEAD, "Grade: dead - no answer came through it"},
    };
    for (const auto& kind : kinds) {
        CProxyGradeReport report;
        // The slow one answers after 1.5 s; the silent one never does.
        GradeProxy((EntryOf(kind.pszKind) + " US").c_str(), judge, deadline, 4000, report);
        EXPECT_EQ(report.eGrade, kind.eGrade) << kind.pszKind;
        EXPECT_EQ(FormatGradeLine(report.eGrade, report.strGiveaways), kind.pszLine) << kind.pszKind;
        if (kind.eGrade != PROXY_GRADE_DEAD) {
            EXPECT_GE(report.nConnectMs, 1) << kind.pszKind;
        }
    }

    CProxyGradeReport refused;
    EXPECT_FALSE(GradeProxy("127.0.1.1:9", judge, deadline, 4000, refused));
    EXPECT_EQ(refused.eGrade, PROXY_GRADE_DEAD);
    EXPECT_EQ(refused.nConnectMs, 0);

    // The result box's one call, and the whole test of an entry with it.
    CProxyGradeReport one;
    ASSERT_TRUE(GradeOneProxy(EntryOf("via").c_str(), strJudgeUrl.c_str(), deadline, one));
    EXPECT_EQ(one.eGrade, PROXY_GRADE_ANONYMOUS);
    CProxyTestReport tested;
    EXPECT_TRUE(TestProxyEntry(EntryOf("plain").c_str(), strJudgeUrl.c_str(), tested, &deadline));

    // Every request the judge had came through a stand-in (127.0.0.2 and
    // up), none from this program's own address: the five graded, and the
    // result box's grade and sample.
    std::vector<std::string> clients = JudgeClients("single");
    EXPECT_EQ(clients.size(), 7u);
    for (const std::string& strClient : clients) EXPECT_NE(strClient, "127.0.0.1");

    // The user's own judge wins over the vendor's; with neither, some
    // public ones are asked (never by a test), not the unset vendor.
    EXPECT_EQ(GetJudgeUrl(" http://127.0.0.1:1/own ", m_strVendor.c_str()), "http://127.0.0.1:1/own");
    CString strPublic = GetJudgeUrl("", "cloakwall-update.invalid");
    EXPECT_FALSE(SplitJudgeUrls(strPublic).empty());
    EXPECT_LT(strPublic.Find(".invalid"), 0);
}

TEST_F(GradeScenarioTest, JudgesOfEveryStyleGradeEveryKindOfProxy)
{
    std::map<std::string, std::string> judgeUrl;
    for (const CStandIn& judge : ReadStandIns(PeersDir(), "judges.port")) {
        std::string strBase = "http://" + judge.strEntry;
        if (judge.strKind == "env") judgeUrl["env"] = strBase + "/azenv.php";
        if (judge.strKind == "json") judgeUrl["json"] = strBase + "/get";
    }
    ASSERT_EQ(judgeUrl.size(), 2u);
    CNetDeadline deadline(60000);

    const char* const kKinds[] = {"xff", "via", "plain", "inject"};
    // A SOCKS5 proxy carries the request as it is: elite to every judge.
    std::string strSocks = "socks5://127.0.0.1:" + ReadRaw(PeersDir() + "microsocks.port");
    while (!strSocks.empty() && (strSocks.back() == '\n' || strSocks.back() == '\r')) strSocks.pop_back();
    for (const auto& style : judgeUrl) {
        CJudgeTarget judge = ReadJudgeTargets(style.second.c_str()).front();
        for (const char* pszKind : kKinds) {
            CProxyGradeReport report;
            GradeProxy(EntryOf(pszKind).c_str(), judge, deadline, 4000, report);
            EXPECT_EQ(report.eGrade, ExpectedGrade(pszKind)) << style.first << " " << pszKind;
            if (report.eGrade == PROXY_GRADE_TRANSPARENT) {
                EXPECT_GE(report.strGiveaways.Find("X-Forwarded-For"), 0)
                    << style.first << " " << report.strGiveaways.str();
            }
        }
        CProxyGradeReport socks;
        GradeProxy(strSocks.c_str(), judge, deadline, 4000, socks);
        EXPECT_EQ(socks.eGrade, PROXY_GRADE_ELITE) << style.first << " " << strSocks;
    }

    // With no vendor the speed is measured on the first judge's answer, a
    // page too small to time: the result box says so instead of a figure.
    CString strSample =
        GetSpeedSampleUrl("cloakwall-update.invalid", (judgeUrl["json"] + " " + judgeUrl["env"]).c_str());
    EXPECT_EQ(strSample, judgeUrl["json"].c_str());
    CProxyTestReport small;
    ASSERT_TRUE(TestProxyEntry(EntryOf("plain").c_str(), strSample, small, &deadline));
    EXPECT_EQ(small.dKBPerSec, SPEED_NOT_MEASURED);
    EXPECT_NE(small.strText.Find("Response Time"), -1);
    EXPECT_EQ(small.strText.Right(static_cast<int>(strlen(PROXY_SPEED_UNMEASURED_LINE))), PROXY_SPEED_UNMEASURED_LINE)
        << small.strText.str();
}

TEST_F(GradeScenarioTest, BatchOfHundredsAtOnceGradesEveryKindRanksTheGradesAndItsResultsSurviveAReload)
{
    CStringList entries;
    std::map<std::string, std::string> kindOf;
    BatchEntries(entries, kindOf, 400);
    ASSERT_EQ(entries.GetCount(), 400);

    // All of them in flight at once: the silent and the unaccepted ones
    // each hold only a socket until their own limit.
    const DWORD kDeadlineMs = 40000;
    CProxyBatchTest batch;
    ASSERT_TRUE(batch.Start(entries, TaggedJudgeUrl("batch").c_str(), kDeadlineMs, 400, 4000));
    EXPECT_EQ(batch.Total(), 400);
    ASSERT_TRUE(batch.Wait(kDeadlineMs + 5000)) << "the batch must end by its deadline";
    EXPECT_TRUE(batch.HasJudge());
    EXPECT_EQ(batch.Done(), 400);
    std::vector<std::string> clients = JudgeClients("batch");
    EXPECT_GE(clients.size(), 60u);
    for (const std::string& strClient : clients) EXPECT_NE(strClient, "127.0.0.1") << "the judge heard from us";

    // Every entry graded as its kind, in the order given, and each stand-in
    // that answered has its connect and response times.
    ASSERT_EQ(batch.Results().size(), 400u);
    POSITION posGiven = entries.GetHeadPosition();
    for (const CProxyBatchResult& one : batch.Results()) {
        EXPECT_EQ(one.strEntry, entries.GetNext(posGiven));
        std::string strKey = ProxyResultKey(one.strEntry).str();
        EXPECT_EQ(one.report.eGrade, ExpectedGrade(kindOf[strKey])) << one.strEntry.str();
        if (one.report.eGrade != PROXY_GRADE_DEAD) {
            EXPECT_GE(one.report.nConnectMs, 1) << one.strEntry.str();
            EXPECT_GE(one.report.nResponseMs, 1) << one.strEntry.str();
        }
    }
    EXPECT_EQ(SockOpenCount(), m_nSocketsBefore) << "every probe's socket is closed";
    // A SOCKS server's refusal comes back in words.
    for (const CProxyBatchResult& one : batch.Results()) {
        if (one.strEntry.Find("cwuser:wrong@") >= 0) {
            EXPECT_EQ(one.report.strFailure, SocksErrorText(SOCKS_ERROR_ACCOUNT_REFUSED));
        }
    }

    CProxyResults results;
    results.Merge(batch.Results(), 1765100000);
    std::string strPath = TempPath("proxytest.ini");
    ASSERT_TRUE(results.Save(strPath.c_str()));
    CProxyResults reloaded;
    ASSERT_TRUE(reloaded.Load(strPath.c_str()));
    EXPECT_EQ(reloaded.GetCount(), 400);
    CStoredProxyResult via;
    // The batch's second entry is a Via-adding one, with the kind after it.
    ASSERT_EQ(kindOf[ProxyResultKey(batch.Results()[1].strEntry).str()], "via");
    ASSERT_TRUE(reloaded.Lookup(ProxyResultKey(batch.Results()[1].strEntry), via));
    EXPECT_EQ(via.eGrade, PROXY_GRADE_ANONYMOUS);
    EXPECT_EQ(via.strGiveaways, "Via");
    EXPECT_EQ(via.nTestedAt, 1765100000);

    CStringList ranked;
    RankProxyEntries(entries, reloaded, ranked);
    ASSERT_EQ(ranked.GetCount(), 400);
    // Best first, each grade after the better ones, the dead last and marked;
    // among the elite the fast plain ones before the slow ones.
    const EProxyGrade kOrder[] = {PROXY_GRADE_ELITE, PROXY_GRADE_ANONYMOUS, PROXY_GRADE_TRANSPARENT,
                                  PROXY_GRADE_TAMPERING, PROXY_GRADE_DEAD};
    size_t nStep = 0;
    std::string strLastEliteKind = "plain";
    for (POSITION pos = ranked.GetHeadPosition(); pos;) {
        CString strText = ranked.GetNext(pos);
        std::string strKind = kindOf[ProxyResultKey(EntryFromRankedText(strText)).str()];
        EProxyGrade eGrade = ExpectedGrade(strKind);
        while (nStep < 5 && kOrder[nStep] != eGrade) ++nStep;
        ASSERT_LT(nStep, 5u) << strText.str() << " comes after a worse grade";
        EXPECT_EQ(eGrade == PROXY_GRADE_DEAD, strText != EntryFromRankedText(strText)) << strText.str();
        if (eGrade == PROXY_GRADE_ELITE) {
            EXPECT_FALSE(strLastEliteKind == "slow" && strKind == "plain") << strText.str();
            strLastEliteKind = strKind;
        }
    }
    // The next Test All takes them in that order, without the marks.
    CStringList ordered;
    OrderForTesting(entries, reloaded, ordered);
    ASSERT_EQ(ordered.GetCount(), ranked.GetCount());
    for (POSITION posRanked = ranked.GetHeadPosition(), posOrdered = ordered.GetHeadPosition(); posRanked;)
        EXPECT_EQ(EntryFromRankedText(ranked.GetNext(posRanked)), ordered.GetNext(posOrdered));

    // A list update that keeps some entries keeps their results; the rest
    // count as untested and come after every tested one, before the dead.
    CStringList update;
    update.AddTail("127.0.2.1:9 new");
    update.AddTail(batch.Results()[0].strEntry);
    update.AddTail(batch.Results()[399].strEntry);
    reloaded.KeepOnly(update);
    ASSERT_TRUE(reloaded.Save(strPath.c_str()));
    CProxyResults afterUpdate;
    ASSERT_TRUE(afterUpdate.Load(strPath.c_str()));
    EXPECT_EQ(afterUpdate.GetCount(), 2);
    RankProxyEntries(update, afterUpdate, ranked);
    std::vector<std::string> order;
    for (POSITION pos = ranked.GetHeadPosition(); pos;) order.push_back(ranked.GetNext(pos).str());
    const std::vector<std::string> expected = {batch.Results()[0].strEntry.str(), "127.0.2.1:9 new",
                                               batch.Results()[399].strEntry.str() + PROXY_DEAD_SUFFIX};
    EXPECT_EQ(order, expected);
}

TEST_F(GradeScenarioTest, SilentProxiesCannotHoldABatchPastItsDeadline)
{
    CStringList entries;
    for (const CStandIn& one : m_standIns)
        if (one.strKind == "silent") entries.AddTail(one.strEntry.c_str());
    ASSERT_GE(entries.GetCount(), 32);
    CProxyBatchTest batch;
    double dStart = CwMonotonicMs();
    // Each entry alone may wait longer than the whole batch.
    ASSERT_TRUE(batch.Start(entries, m_strJudgeUrl.c_str(), 2000, 32, 60000));
    ASSERT_TRUE(batch.Wait(10000));
    EXPECT_LT(CwMonotonicMs() - dStart, 6000);
    for (const CProxyBatchResult& one : batch.Results())
        EXPECT_EQ(one.report.eGrade, PROXY_GRADE_UNTESTED) << "a batch that ran out says nothing of a proxy";

    // A cancel ends it as well.
    CProxyBatchTest cancelled;
    ASSERT_TRUE(cancelled.Start(entries, m_strJudgeUrl.c_str(), 60000, 32, 60000));
    Sleep(300);
    cancelled.Cancel();
    dStart = CwMonotonicMs();
    ASSERT_TRUE(cancelled.Wait(10000));
    EXPECT_LT(CwMonotonicMs() - dStart, 3000);
}
