// HTTPS through proxies, against the HTTPS stand-ins of the peers fixture
// (tests/e2e/lib/standin_tls.py): judges over TLS with certificates of a
// test CA, an
// elite proxy that carries tunnels, one that refuses them and one that
// answers them with a certificate of its own. The test CA is among the
// trusted roots of this process only (tests/support/with_test_ca.sh).
#include "framework/core/socket_api.h"
#include "framework/core/string_list.h"
#include "proxylist/https_probe.h"
#include "proxylist/judge_client.h"
#include "proxylist/proxy_batch_test.h"
#include "proxylist/proxy_failover.h"
#include "proxylist/proxy_results.h"
#include "proxylist/tls_client.h"

#include <gtest/gtest.h>

#include "support/peers_dir.h"
#include "support/raw_file.h"
#include "support/standin_proxies.h"
#include "support/temp_path.h"

#include <algorithm>
#include <cstdio>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// A blocking TLS session straight to a stand-in, over a plain socket: the
// certificate's verdict, and the answer to a GET when it verified.
CTlsClient::ECertVerdict TalkTls(const std::string& strPort, std::string& rAnswer, long* pnError)
{
    SOCKET_HANDLE s = SockConnectIPv4(htonl(INADDR_LOOPBACK), static_cast<WORD>(std::atoi(strPort.c_str())));
    if (s == NO_SOCKET) return CTlsClient::CERT_UNCHECKED;
    CTlsClient tls;
    std::string strOut;
    char buf[16384];
    CTlsClient::EStatus eStatus = tls.Start("localhost", strOut);
    while (eStatus == CTlsClient::TLS_NEED_MORE) {
        if (!strOut.empty() && !SockSendAll(s, strOut.data(), static_cast<int>(strOut.size()))) break;
        strOut.clear();
        int n = SockRecv(s, buf, sizeof buf);
        if (n <= 0) break;
        eStatus = tls.Feed(buf, n, strOut);
    }
    CTlsClient::ECertVerdict eVerdict = tls.CheckCertificate();
    *pnError = tls.Error();
    if (eVerdict == CTlsClient::CERT_VERIFIED) {
        std::string strRecords;
        tls.Encrypt("GET /get?cwm=direct HTTP/1.0\r\nHost: localhost\r\n\r\n", strRecords);
        SockSendAll(s, strRecords.data(), static_cast<int>(strRecords.size()));
        for (int n; (n = SockRecv(s, buf, sizeof buf)) > 0;)
            if (tls.Decrypt(buf, n, rAnswer) != CTlsClient::TLS_NEED_MORE) break;
    }
    SockClose(s);
    return eVerdict;
}

class HttpsScenarioTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(PeersDir().empty()) << "CW_PEERS_DIR is not set: run through ctest";
        SockInitOnce();
        for (const CStandIn& one : ReadStandIns(PeersDir(), "tls.port"))
            m_port[one.strKind] = one.strEntry.substr(one.strEntry.find(':') + 1);
        ASSERT_EQ(m_port.size(), 8u);
        for (const CStandIn& judge : ReadStandIns(PeersDir(), "judges.port"))
            if (judge.strKind == "json") m_strPlainJudge = "http://" + judge.strEntry + "/get";
        ASSERT_FALSE(m_strPlainJudge.empty());
    }

    std::string Proxy(const char* pszKind) { return "127.0.0.1:" + m_port[pszKind]; }

    std::map<std::string, std::string> m_port;
    std::string m_strPlainJudge;
};

} // namespace

TEST_F(HttpsScenarioTest, TheSystemsTlsChecksTheNameAndTheRoot)
{
    std::string strAnswer;
    long nError = 0;
    EXPECT_EQ(TalkTls(m_port["judge"], strAnswer, &nError), CTlsClient::CERT_VERIFIED) << std::hex << nError;
    EXPECT_NE(strAnswer.find("HTTP/1.0 200"), std::string::npos) << strAnswer;
    EXPECT_NE(strAnswer.find("\"cwm\": \"direct\""), std::string::npos) << strAnswer;
    // A server that asks for a client certificate gets none, and talks.
    strAnswer.clear();
    EXPECT_EQ(TalkTls(m_port["askcert"], strAnswer, &nError), CTlsClient::CERT_VERIFIED) << std::hex << nError;
    EXPECT_NE(strAnswer.find("\"cwm\": \"direct\""), std::string::npos) << strAnswer;
    EXPECT_EQ(TalkTls(m_port["wrongname"], strAnswer, &nError), CTlsClient::CERT_REJECTED);
    EXPECT_EQ(static_cast<unsigned long>(nError), static_cast<unsigned long>(CERT_E_CN_NO_MATCH));
    // Wine's SSL chain policy alone passes this one: the chain ends short
    // of any root (see tls_client.h).
    EXPECT_EQ(TalkTls(m_port["wrongca"], strAnswer, &nError), CTlsClient::CERT_REJECTED);
    EXPECT_EQ(static_cast<unsigned long>(nError), static_cast<unsigned long>(CERT_E_UNTRUSTEDROOT));
}

TEST_F(HttpsScenarioTest, ProxiesThatCarryRefuseOrReadTunnelsAreToldApartAndRanked)
{
    // The plain judge by address, the secure one by a name only the
    // proxies know: the tunnel works only when the name is handed on.
    std::string strJudges = m_strPlainJudge + " https://judge.cloakwall.test:" + m_port["judge"] + "/get";
    const std::string strAccount = "http://cwuser:cwpass@" + Proxy("account");
    CStringList entries;
    for (const std::string& strEntry : {Proxy("refuse"), Proxy("mitm"), Proxy("tunnel"), strAccount, Proxy("account")})
        entries.AddTail(strEntry.c_str());
    const long nSocketsBefore = SockOpenCount();
    CProxyBatchTest batch;
    ASSERT_TRUE(batch.Start(entries, strJudges.c_str(), 30000));
    ASSERT_TRUE(batch.Wait(40000));
    ASSERT_TRUE(batch.HasJudge());
    std::map<std::string, CProxyGradeReport> found;
    for (const CProxyBatchResult& one : batch.Results()) found[one.strEntry.str()] = one.report;
    EXPECT_EQ(found[Proxy("tunnel")].eGrade, PROXY_GRADE_ELITE);
    EXPECT_EQ(found[Proxy("tunnel")].eHttps, HTTPS_CARRIED);
    EXPECT_EQ(found[Proxy("refuse")].eGrade, PROXY_GRADE_ELITE);
    EXPECT_EQ(found[Proxy("refuse")].eHttps, HTTPS_NONE);
    EXPECT_EQ(found[Proxy("mitm")].eHttps, HTTPS_TAMPERED);
    // The tunnel carries the entry's account, as browsing will.
    EXPECT_EQ(found[strAccount].eHttps, HTTPS_CARRIED);
    EXPECT_EQ(found[Proxy("account")].eHttps, HTTPS_NONE);

    // The one-entry test reaches the same verdicts by the blocking way.
    CNetDeadline deadline(20000);
    for (const char* pszKind : {"tunnel", "refuse", "mitm"}) {
        CProxyGradeReport one;
        ASSERT_TRUE(GradeOneProxy(Proxy(pszKind).c_str(), strJudges.c_str(), deadline, one)) << pszKind;
        EXPECT_EQ(one.eHttps, found[Proxy(pszKind)].eHttps) << pszKind;
    }
    // Through SOCKS5 (microsocks looks the judge's name up itself), for a
    // look that needs no grade.
    std::string strSocks =
        "socks5://127.0.0.1:" + std::to_string(std::atoi(ReadRaw(PeersDir() + "microsocks.port").c_str()));
    std::string strLocalJudge = "https://localhost:" + m_port["judge"] + "/get";
    EXPECT_EQ(TestEntryHttps(strSocks.c_str(), strLocalJudge.c_str(), deadline, 10000), HTTPS_CARRIED);
    EXPECT_EQ(TestEntryHttps(Proxy("mitm").c_str(), strLocalJudge.c_str(), deadline, 10000), HTTPS_TAMPERED);
    // No https:// judge in the list: nothing is said of HTTPS.
    CProxyGradeReport plainOnly;
    ASSERT_TRUE(GradeOneProxy(Proxy("tunnel").c_str(), m_strPlainJudge.c_str(), deadline, plainOnly));
    EXPECT_EQ(plainOnly.eGrade, PROXY_GRADE_ELITE);
    EXPECT_EQ(plainOnly.eHttps, HTTPS_UNTESTED);
    // Every tunnel's socket was given back, in the batch and out of it.
    EXPECT_EQ(SockOpenCount(), nSocketsBefore);

    // Those that carry HTTPS come first among the elite; the one that reads
    // it ranks with the tampering ones, last.
    CProxyResults results;
    results.Merge(batch.Results(), 1);
    CStringList ranked;
    RankProxyEntries(entries, results, ranked);
    std::vector<std::string> order;
    for (POSITION pos = ranked.GetHeadPosition(); pos;) order.push_back(ranked.GetNext(pos).str());
    auto place = [&](const std::string& strEntry) {
        return std::find(order.begin(), order.end(), strEntry) - order.begin();
    };
    EXPECT_LT(place(Proxy("tunnel")), place(Proxy("refuse")));
    EXPECT_LT(place(strAccount), place(Proxy("account")));
    EXPECT_EQ(place(Proxy("mitm")), 4);

    // Stored with the entry and read back; the list says it; a results file
    // written before the column was there still loads, HTTPS untested.
    std::string strPath = TempPath("proxytest.ini");
    ASSERT_TRUE(results.Save(strPath.c_str()));
    CProxyResults reloaded;
    ASSERT_TRUE(reloaded.Load(strPath.c_str()));
    CStoredProxyResult tunnel, mitm;
    ASSERT_TRUE(reloaded.Lookup(Proxy("tunnel").c_str(), tunnel));
    ASSERT_TRUE(reloaded.Lookup(Proxy("mitm").c_str(), mitm));
    EXPECT_EQ(tunnel.eHttps, HTTPS_CARRIED);
    EXPECT_TRUE(CarriesHttps(tunnel));
    EXPECT_EQ(mitm.eHttps, HTTPS_TAMPERED);
    EXPECT_FALSE(CarriesHttps(mitm));
    CString strChoice = FormatProxyChoice(Proxy("refuse").c_str(), reloaded);
    EXPECT_NE(strChoice.Find("(elite, no HTTPS, "), -1) << strChoice.GetString();
    EXPECT_EQ(EntryFromChoiceText(strChoice), Proxy("refuse").c_str());
    FILE* pOld = std::fopen(strPath.c_str(), "w");
    ASSERT_TRUE(pOld);
    std::fputs("[Results]\n\"127.0.0.1:3128\", elite, 12, 40, 8.50, 1700000000, \"\"\n", pOld);
    std::fclose(pOld);
    ASSERT_TRUE(reloaded.Load(strPath.c_str()));
    CStoredProxyResult old;
    ASSERT_TRUE(reloaded.Lookup("127.0.0.1:3128", old));
    EXPECT_EQ(old.eGrade, PROXY_GRADE_ELITE);
    EXPECT_EQ(old.eHttps, HTTPS_UNTESTED);
    CString strOldState = FormatProxyState("127.0.0.1:3128", reloaded);
    EXPECT_EQ(strOldState.Left(8), "(elite, ") << strOldState.GetString();
    EXPECT_EQ(strOldState.Find("HTTPS"), -1) << strOldState.GetString();
}
