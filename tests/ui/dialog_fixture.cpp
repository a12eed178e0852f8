// The dialog tests' shared set-up: registry, folder, servers, recorder.
#include "dialog_fixture.h"

#include "support/loopback_tcp.h"
#include "support/raw_credentials.h"

namespace uitest {

namespace {

struct CaptionSearch {
    const char* pszCaption;
    HWND hFound;
};

BOOL CALLBACK MatchShownCaption(HWND hWnd, LPARAM lParam)
{
    CaptionSearch* pSearch = reinterpret_cast<CaptionSearch*>(lParam);
    char caption[64] = "";
    GetWindowTextA(hWnd, caption, sizeof caption);
    if (std::string(caption) != pSearch->pszCaption || !IsWindowVisible(hWnd)) return TRUE;
    pSearch->hFound = hWnd;
    return FALSE;
}

} // namespace

HWND FindShownWindow(const char* pszCaption)
{
    CaptionSearch search = {pszCaption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchShownCaption, reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

std::string RequestThroughLocalProxy(const std::string& url)
{
    SOCKET_HANDLE s = TestConnect(8080);
    if (s == NO_SOCKET) return std::string();
    std::string host = url.substr(7, url.find('/', 7) - 7);
    TestSend(s, "GET " + url + " HTTP/1.0\r\nHost: " + host + "\r\n\r\n");
    std::string answer = TestRecvAll(s);
    SockClose(s);
    return answer.substr(0, answer.find("\r\n"));
}

void DialogTest::SetUp()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    m_strFolder = std::string(temp) + "cw_ui_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
    CreateDirectoryA(m_strFolder.c_str(), nullptr);
    DeleteFileA(ListFile().c_str());
    DeleteFileA(ResultsFile().c_str());
    DeleteFileA(MyProxiesFile().c_str());
    m_pServer = std::make_unique<CLoopbackHttpServer>();
    ASSERT_TRUE(m_pServer->IsListening());
    m_pRecorder = std::make_unique<CMessageBoxRecorder>();
    ASSERT_TRUE(RegisterSettingsWindowClass(GetModuleHandleA(nullptr)));
    DisableConnectionProxy(g_pszConnectionName);
    g_bFirstMinimize = TRUE;
    // A Tor on the machine running the tests must not add an entry to every
    // list; the tests of the Tor entry name their own port.
    m_torPorts = SetTorProbePorts({});
    rawcred::DeleteProgramsOwn();
}

void DialogTest::TearDown()
{
    Close();
    m_pRecorder.reset();
    m_pServer.reset();
    DisableConnectionProxy(g_pszConnectionName);
    DeleteFileA(ListFile().c_str());
    DeleteFileA(ResultsFile().c_str());
    DeleteFileA(MyProxiesFile().c_str());
    RemoveDirectoryA(m_strFolder.c_str());
    rawreg::ForgetCloakwallInstall();
    rawcred::DeleteProgramsOwn();
    SetTorProbePorts(m_torPorts);
}

void DialogTest::Store(const StoredSettings& s)
{
    using namespace rawreg;
    const char* key = kCloakwallKey;
    HKEY root = HKEY_LOCAL_MACHINE;
    DeleteTree(root, key);
    PutText(root, key, "AppPath", m_strFolder);
    PutText(root, key, "UpdateServer", s.strUpdateServer.empty() ? m_pServer->HostPort() : s.strUpdateServer);
    std::string sources;
    for (const std::string& source : s.proxySources) sources += source + '\0';
    sources += '\0';
    Put(root, key, "ProxySources", REG_MULTI_SZ, sources.data(), static_cast<DWORD>(sources.size()));
    PutDword(root, key, "RunFirst", s.dwRunFirst);
    PutDword(root, key, "Minimize", s.dwMinimize);
    PutDword(root, key, "UseProxy", s.dwUseProxy);
    PutText(root, key, "ProxyName", s.strProxyName);
    PutDword(root, key, "EnableJS", s.dwEnableJS);
    PutDword(root, key, "EnableActiveX", s.dwEnableActiveX);
    PutDword(root, key, "ClearTmpFiles", s.dwClearTmpFiles);
    PutDword(root, key, "ClearCookies", s.dwClearCookies);
    PutDword(root, key, "DeleteAddresses", s.dwDeleteAddresses);
    PutDword(root, key, "DeleteHistory", s.dwDeleteHistory);
    PutText(root, key, "TMPProxy", s.strTmpProxy);

    // The objects read once when the program starts; this test program
    // started long ago.
    g_regAppPath.Read();
    g_regUpdateServer.Read();
    CStringList sourcesRead;
    g_regProxySources.Read(sourcesRead);
    g_regRunFirst.Read();
    g_regMinimize.Read();
    g_regUseProxy.Read();
    g_regProxyName.Read();
    g_regEnableJS.Read();
    g_regEnableActiveX.Read();
    g_regClearTmpFiles.Read();
    g_regClearCookies.Read();
    g_regDeleteAddresses.Read();
    g_regDeleteHistory.Read();
    g_regProxyBypass.Read();
    g_strAppPath = g_regAppPath.Get();
}

CSettingsDlg& DialogTest::Open()
{
    m_pDlg = std::make_unique<CSettingsDlg>();
    EXPECT_TRUE(m_pDlg->Create());
    // A start that hides into the tray does so at its timer's first tick:
    // waited for here, so a test that shows the window next does not see
    // it hidden again by a tick that came late.
    if (g_regMinimize.Get() == 1) PumpUntil([&] { return !m_pDlg->IsWindowVisible(); });
    WaitForJob(); // the first run's download
    return *m_pDlg;
}

void DialogTest::ChooseEntry(const std::string& item)
{
    int n = m_pDlg->m_comboProxy.FindStringExact(-1, item.c_str());
    // A tested entry's line carries its state after it.
    if (n == CB_ERR)
        n = static_cast<int>(::SendMessageA(m_pDlg->m_comboProxy.m_hWnd, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>((item + " (").c_str())));
    ASSERT_NE(CB_ERR, n) << item;
    HWND hCombo = m_pDlg->m_comboProxy.m_hWnd;
    ::SendMessageA(hCombo, CB_SHOWDROPDOWN, TRUE, 0);
    ::SendMessageA(hCombo, CB_SETCURSEL, static_cast<WPARAM>(n), 0);
    ::SendMessageA(hCombo, CB_SHOWDROPDOWN, FALSE, 0);
    size_t nBoxes = Boxes().size();
    PumpUntil([&] { return m_pDlg->IsNetJobRunning() || Boxes().size() > nBoxes; });
    WaitForJob();
}

void DialogTest::Close()
{
    if (m_pDlg && m_pDlg->m_hWnd) m_pDlg->DestroyWindow();
    m_pDlg.reset();
}

std::vector<std::string> DialogTest::ComboItems() const
{
    std::vector<std::string> items;
    for (int i = 0; i < m_pDlg->m_comboProxy.GetCount(); ++i) {
        CString s;
        m_pDlg->m_comboProxy.GetLBText(i, s);
        items.push_back(s.str());
    }
    return items;
}

std::string DialogTest::ComboEditText() const
{
    CString s;
    m_pDlg->m_comboProxy.GetWindowText(s);
    return s.str();
}

int DialogTest::CheckOf(int nID) const
{
    return static_cast<int>(::SendMessageA(::GetDlgItem(m_pDlg->m_hWnd, nID), BM_GETCHECK, 0, 0));
}

std::vector<std::string> DialogTest::Boxes() const
{
    std::vector<std::string> out;
    for (const auto& b : m_pRecorder->Boxes()) out.push_back(b.caption + "|" + b.text);
    return out;
}

void DialogTest::ForgetBoxes()
{
    m_pRecorder.reset(); // gives the hook back before the next one takes it
    m_pRecorder = std::make_unique<CMessageBoxRecorder>();
}

} // namespace uitest
