// The settings dialog with proxies that carry, refuse or read HTTPS (the
// HTTPS stand-ins of the proxy-list tests' fixture, whose test CA this test
// trusts): what the result box and the list say, and the question before
// Save switches to a proxy that replaced the judge's certificate.
#include "dialog_fixture.h"

#include "proxylist/proxy_grade.h"
#include "res/resource.h"
#include "support/peers_dir.h"
#include "support/raw_file.h"
#include "support/standin_proxies.h"

#include <algorithm>
#include <cstdlib>
#include <map>

using namespace uitest;

TEST_F(DialogTest, TheBoxAndTheListSayWhatHttpsDoesThroughEachProxyAndSaveAsksBeforeOneThatReadsIt)
{
    const std::string strDir = PeersDir();
    ASSERT_FALSE(strDir.empty()) << "CW_PEERS_DIR is not set: run through ctest";
    std::map<std::string, std::string> entry;
    for (const CStandIn& one : ReadStandIns(strDir, "tls.port")) entry[one.strKind] = one.strEntry;
    std::string strJudges;
    for (const CStandIn& judge : ReadStandIns(strDir, "judges.port"))
        if (judge.strKind == "json") strJudges = "http://" + judge.strEntry + "/get";
    ASSERT_FALSE(strJudges.empty());
    // The user's own judges, a plain one and a secure one, in one setting.
    strJudges += " https://judge.cloakwall.test:" + entry["judge"].substr(entry["judge"].find(':') + 1) + "/get";
    StoredSettings s;
    Store(s);
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "JudgeUrl", strJudges);
    g_regJudgeUrl.Read();
    WriteRaw(ListFile(), entry["tunnel"] + "\r\n" + entry["refuse"] + "\r\n" + entry["mitm"] + "\r\n");
    CSettingsDlg& dlg = Open();

    const std::pair<const char*, EHttpsOutcome> kinds[] = {
        {"tunnel", HTTPS_CARRIED}, {"refuse", HTTPS_NONE}, {"mitm", HTTPS_TAMPERED}};
    for (const auto& kind : kinds) {
        ForgetBoxes();
        ChooseEntry(entry[kind.first]);
        std::vector<std::string> boxes = Boxes();
        ASSERT_EQ(2u, boxes.size()) << kind.first;
        EXPECT_NE(std::string::npos, boxes[1].find("\r\n" + FormatHttpsLine(kind.second).str() + "\r\n"))
            << kind.first << ": " << boxes[1];
    }
    std::vector<std::string> items = ComboItems();
    auto shown = [&](const std::string& strStart) {
        return std::count_if(items.begin(), items.end(),
                             [&](const std::string& item) { return item.find(strStart) == 0; });
    };
    EXPECT_EQ(1, shown(entry["tunnel"] + " (elite, HTTPS, ")) << ::testing::PrintToString(items);
    EXPECT_EQ(1, shown(entry["refuse"] + " (elite, no HTTPS, ")) << ::testing::PrintToString(items);
    // The one that carries HTTPS is first, the one that reads it last.
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(0u, items.front().find(entry["tunnel"]));
    EXPECT_EQ(0u, items.back().find(entry["mitm"]));

    // Save asks before the one that reads secure pages; No keeps nothing.
    m_pRecorder.reset();
    m_pRecorder = std::make_unique<CMessageBoxRecorder>(IDNO);
    dlg.OnConfiguration();
    ::SendMessageA(::GetDlgItem(dlg.m_hWnd, IDC_USEPROXY), BM_SETCHECK, 1, 0);
    dlg.m_comboProxy.SetWindowText(entry["mitm"].c_str());
    Click(IDOK);
    EXPECT_EQ(std::vector<std::string>{"Cloakwall|" PROXY_READS_HTTPS_QUESTION_TEXT}, Boxes());
    EXPECT_NE(entry["mitm"], StoredText("ProxyName"));
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "JudgeUrl", "");
    g_regJudgeUrl.Read();
}
