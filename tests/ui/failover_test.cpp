// Failover inside the dialog, with real upstreams on loopback: the chosen
// proxy refusing while another answers (the dialog moves), every proxy
// refusing (nothing stored, the choice kept, browsing back by itself when
// the chosen one answers again), and a notice from before a switch, which
// must change nothing about the proxy chosen since.
#include "dialog_fixture.h"

#include "proxylist/proxy_results.h"
#include "res/resource.h"

using namespace uitest;

namespace {

class FailoverTest : public DialogTest {
protected:
    // Two upstreams graded elite, A chosen and switched on at start.
    void StartOnA()
    {
        m_pA = std::make_unique<CLoopbackHttpServer>();
        m_pB = std::make_unique<CLoopbackHttpServer>();
        m_nPortA = m_pA->Port();
        m_strA = m_pA->HostPort();
        m_strB = m_pB->HostPort();
        for (CLoopbackHttpServer* p : {m_pA.get(), m_pB.get()}) p->SetAnswer("/page", 200, "page");
        StoredSettings s;
        s.dwUseProxy = 1;
        s.strProxyName = m_strA;
        Store(s);
        WriteRaw(ListFile(), m_strA + "\r\n" + m_strB + "\r\n");
        CProxyResults results;
        CStoredProxyResult elite;
        elite.eGrade = PROXY_GRADE_ELITE;
        elite.nConnectMs = elite.nResponseMs = 5;
        results.Set(m_strA.c_str(), elite);
        elite.nConnectMs = elite.nResponseMs = 9;
        results.Set(m_strB.c_str(), elite);
        ASSERT_TRUE(results.Save(ResultsFile().c_str()));
        CSettingsDlg& dlg = Open();
        ASSERT_TRUE(dlg.m_proxyServer.IsRunning());
        // On screen: the notices go to the status line, where a test reads them.
        dlg.OnConfiguration();
        ASSERT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    }
    // The browser's requests while the upstream refuses, enough to tell.
    void FailThreeRequests()
    {
        for (int i = 0; i < UPSTREAM_FAILURES_BEFORE_FAILOVER; ++i)
            EXPECT_NE("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    }
    std::string Status() const
    {
        char text[512] = "";
        ::GetDlgItemTextA(m_pDlg->m_hWnd, IDC_TESTSTATUS, text, sizeof text);
        return text;
    }
    EProxyGrade StoredGrade(const std::string& strEntry) const
    {
        CProxyResults file;
        CStoredProxyResult result;
        if (!file.Load(ResultsFile().c_str()) || !file.Lookup(strEntry.c_str(), result)) return PROXY_GRADE_UNTESTED;
        return result.eGrade;
    }

    std::unique_ptr<CLoopbackHttpServer> m_pA, m_pB;
    WORD m_nPortA = 0;
    std::string m_strA, m_strB;
};

} // namespace

TEST_F(FailoverTest, WithEveryProxyRefusingNothingIsBlamedAndBrowsingComesBackWithTheChosenOne)
{
    StartOnA();
    m_pA.reset();
    m_pB.reset();
    FailThreeRequests();
    ASSERT_TRUE(PumpUntil([&] { return Status() == NO_PROXY_ANSWERS_TEXT; }, 15000)) << Status();
    EXPECT_EQ(m_strA, StoredText("ProxyName")) << "the choice stays";
    EXPECT_EQ(PROXY_GRADE_ELITE, StoredGrade(m_strA)) << "nothing is stored dead";
    EXPECT_EQ(PROXY_GRADE_ELITE, StoredGrade(m_strB));
    EXPECT_TRUE(m_pDlg->m_proxyServer.IsRunning()) << "still listening on 8080";
    EXPECT_EQ(1u, BrowserProxyEnable());

    // The chosen proxy answers again: pages come through it, with nothing
    // done by the user, and the choice never moved.
    m_pA = std::make_unique<CLoopbackHttpServer>(m_nPortA);
    ASSERT_TRUE(m_pA->IsListening());
    m_pA->SetAnswer("/page", 200, "page");
    auto t0 = GetTickCount();
    EXPECT_TRUE(PumpUntil([&] { return RequestThroughLocalProxy("http://origin.invalid:9/page") == "HTTP/1.1 200 OK"; },
                          10000));
    std::printf("browsing back %lu ms after the chosen proxy\n", static_cast<unsigned long>(GetTickCount() - t0));
    PumpFor(6000); // a round of the outage watch: it must find the chosen one and stop
    EXPECT_EQ(m_strA, StoredText("ProxyName"));
    EXPECT_EQ(PROXY_GRADE_ELITE, StoredGrade(m_strA));
    EXPECT_GE(m_pA->CountRequests("/page"), 1);
}

TEST_F(FailoverTest, TheChosenProxyRefusingWhileAnotherAnswersMovesThereAndAStaleNoticeChangesNothing)
{
    StartOnA();
    const unsigned int nStartOnA = m_pDlg->m_proxyServer.GetStartSerial();
    m_pA.reset();
    FailThreeRequests();
    ASSERT_TRUE(PumpUntil([&] { return StoredText("ProxyName") == m_strB; }, 15000)) << Status();
    EXPECT_EQ(PROXY_GRADE_DEAD, StoredGrade(m_strA));
    EXPECT_EQ(0u, Status().find(m_strA + " refused 3 connections in a row.")) << Status();
    EXPECT_EQ("HTTP/1.1 200 OK", RequestThroughLocalProxy("http://origin.invalid:9/page"));
    EXPECT_GE(m_pB->CountRequests("/page"), 1);

    // A notice that belongs to the start on A arrives late, while B happens
    // to be away too: it is A's, so nothing is looked into, nothing is said,
    // nothing is stored, and the local proxy stays on B.
    const unsigned int nStartOnB = m_pDlg->m_proxyServer.GetStartSerial();
    ASSERT_NE(nStartOnA, nStartOnB);
    m_pB.reset();
    m_pDlg->SetDlgItemText(IDC_TESTSTATUS, "");
    m_pDlg->PostMessage(CSettingsDlg::WM_UPSTREAM_DOWN, nStartOnA, 0);
    PumpFor(1500);
    EXPECT_EQ("", Status());
    EXPECT_EQ(m_strB, StoredText("ProxyName"));
    EXPECT_EQ(PROXY_GRADE_ELITE, StoredGrade(m_strB));
    EXPECT_EQ(nStartOnB, m_pDlg->m_proxyServer.GetStartSerial()) << "not restarted";
}
