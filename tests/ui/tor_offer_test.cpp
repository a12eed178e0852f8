// Tor in the list: a stand-in answering the SOCKS5 greeting on
// 127.0.0.1:9050 is offered first at start, is among what "Test All
// Proxies" grades, never reaches the list file, and is gone from the list
// after "Update Proxy List Now" once it stopped answering.
#include "dialog_fixture.h"

#include "res/resource.h"
#include "support/loopback_tcp.h"

#include <memory>

using namespace uitest;

namespace {

const char kTorEntry[] = "socks5://127.0.0.1:9050 (Tor)";

std::unique_ptr<CTestTcpServer> TorStandIn()
{
    return std::make_unique<CTestTcpServer>(
        [](SOCKET_HANDLE s) {
            if (TestRecvCount(s, 3) == std::string("\x05\x01\x00", 3)) TestSend(s, std::string("\x05\x00", 2));
        },
        9050);
}

std::string StatusText(CSettingsDlg& dlg)
{
    char text[256] = "";
    GetDlgItemTextA(dlg.m_hWnd, IDC_TESTSTATUS, text, sizeof text);
    return text;
}

} // namespace

TEST_F(DialogTest, TorOnItsPortIsOfferedFirstGradedAndGoneWhenItStops)
{
    std::unique_ptr<CTestTcpServer> pTor = TorStandIn();
    if (!pTor->IsListening())
        GTEST_SKIP() << "127.0.0.1:9050 is taken on this machine (a Tor of its own?): the stand-in cannot listen there";
    SetTorProbePorts({9050});
    Store(StoredSettings{});
    WriteRaw(ListFile(), "1.1.1.1:1\r\n2.2.2.2:2\r\n");

    CSettingsDlg& dlg = Open();
    ASSERT_TRUE(PumpUntil([&] { return ComboItems().size() == 3; }, 5000)) << ComboItems().size();
    EXPECT_EQ((std::vector<std::string>{kTorEntry, "1.1.1.1:1", "2.2.2.2:2"}), ComboItems());
    EXPECT_EQ("1.1.1.1:1\r\n2.2.2.2:2\r\n", ReadRaw(ListFile())) << "Tor is never written to the list";

    // Graded like any entry: it is one of those "Test All Proxies" takes.
    // (The others fail at once where this machine reaches no network, and
    // the stand-in gives no tunnel.)
    const int nTorBefore = pTor->Accepted();
    Click(IDC_TESTALLPROXIES);
    EXPECT_TRUE(PumpUntil([&] { return !dlg.IsTestAllRunning(); }, 15000));
    EXPECT_GT(pTor->Accepted(), nTorBefore) << "Tor was among those tested";
    // None of them brought the judge's page back: the judge or the network
    // is the likelier fault, so nothing is stored dead.
    EXPECT_EQ(0u, StatusText(dlg).find("No proxy brought the proxy judge's page back")) << StatusText(dlg);
    EXPECT_EQ("", ReadRaw(ResultsFile()));

    // Tor stops; the next update looks again and the entry goes.
    pTor.reset();
    m_pServer->SetAnswer("/licensing/ProxyGenerator/proxylist.txt", 200, "1.1.1.1:1\r\n3.3.3.3:3\r\n");
    Click(IDC_UPDATEPROXYLIST);
    EXPECT_TRUE(PumpUntil([&] { return ComboItems().size() == 2 && ComboItems()[0] != kTorEntry; }, 5000));
    EXPECT_EQ((std::vector<std::string>{"1.1.1.1:1", "3.3.3.3:3"}), ComboItems());
    EXPECT_EQ(std::string::npos, ReadRaw(ListFile()).find("Tor"));
}
