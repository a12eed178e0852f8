// SetConnectionOptions and DisableConnectionProxy against the real WinINet
// (Wine's under test): what the user's settings hold afterwards and where a
// WinINet client with the preconfigured access really sends its request.
//
// Wine keeps less than Windows: it ignores the connection name, stores only
// ProxyEnable and ProxyServer under the user's Internet Settings key, reads
// the flags back as 2 (proxy) instead of 3 (direct and proxy) and the bypass
// list back as null. The tests assert what both keep and say where they
// expect Windows' fuller answer.
#include "support/loopback_http_server.h"

#include "browser/connection_options.h"
#include "support/raw_registry.h"

#include <wininet.h>

#include <gtest/gtest.h>

namespace {

const char kInternetSettings[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const char* const kSavedValues[] = {"ProxyEnable", "ProxyServer", "ProxyOverride"};

struct ConnectionReadBack {
    bool bOk = false;
    DWORD dwFlags = 0;
    std::string server;
    bool bNullBypass = true;
    std::string bypass;
};

ConnectionReadBack QueryConnection()
{
    INTERNET_PER_CONN_OPTIONA options[3] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof(list);
    list.pszConnection = const_cast<LPSTR>(g_pszConnectionName);
    list.dwOptionCount = 3;
    list.pOptions = options;
    DWORD cb = sizeof(list);

    ConnectionReadBack r;
    r.bOk = InternetQueryOptionA(NULL, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &cb) != FALSE;
    r.dwFlags = options[0].Value.dwValue;
    if (options[1].Value.pszValue) {
        r.server = options[1].Value.pszValue;
        GlobalFree(options[1].Value.pszValue);
    }
    if (options[2].Value.pszValue) {
        r.bNullBypass = false;
        r.bypass = options[2].Value.pszValue;
        GlobalFree(options[2].Value.pszValue);
    }
    return r;
}

// One GET the way a browser on this machine makes it: a fresh session with
// the preconfigured access, so it follows the user's proxy settings.
std::string FetchPreconfigured(const std::string& url)
{
    HINTERNET hNet = InternetOpenA("CloakwallTest", INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0);
    if (!hNet) return "(no session)";
    DWORD dwTimeout = 5000;
    InternetSetOptionA(hNet, INTERNET_OPTION_CONNECT_TIMEOUT, &dwTimeout, sizeof(dwTimeout));
    InternetSetOptionA(hNet, INTERNET_OPTION_RECEIVE_TIMEOUT, &dwTimeout, sizeof(dwTimeout));
    InternetSetOptionA(hNet, INTERNET_OPTION_SEND_TIMEOUT, &dwTimeout, sizeof(dwTimeout));
    std::string body = "(no answer)";
    HINTERNET hUrl = InternetOpenUrlA(hNet, url.c_str(), NULL, 0,
                                      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                          INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES,
                                      0);
    if (hUrl) {
        body.clear();
        char buf[256];
        DWORD cb = 0;
        while (InternetReadFile(hUrl, buf, sizeof(buf), &cb) && cb > 0) body.append(buf, cb);
        InternetCloseHandle(hUrl);
    }
    InternetCloseHandle(hNet);
    return body;
}

class ConnectionOptionsWinInet : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : kSavedValues)
            m_saved.push_back(rawreg::Get(HKEY_CURRENT_USER, kInternetSettings, name));
    }
    // Other tests in this prefix browse too: leave the user's settings as found.
    void TearDown() override
    {
        DisableConnectionProxy(g_pszConnectionName);
        for (size_t i = 0; i < m_saved.size(); ++i) {
            if (m_saved[i].exists)
                rawreg::Put(HKEY_CURRENT_USER, kInternetSettings, kSavedValues[i], m_saved[i].type,
                            m_saved[i].data.data(), static_cast<DWORD>(m_saved[i].data.size()));
            else
                rawreg::DeleteValue(HKEY_CURRENT_USER, kInternetSettings, kSavedValues[i]);
        }
        InternetSetOptionA(NULL, INTERNET_OPTION_SETTINGS_CHANGED, NULL, 0);
    }
    rawreg::Value Setting(const char* name) { return rawreg::Get(HKEY_CURRENT_USER, kInternetSettings, name); }

    std::vector<rawreg::Value> m_saved;
};

TEST_F(ConnectionOptionsWinInet, SwitchOnAndOffAsTheUsersSettingsKeepThem)
{
    ASSERT_TRUE(SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080"));
    EXPECT_EQ(1u, Setting("ProxyEnable").Dword());
    EXPECT_EQ("127.0.0.1:8080", rawreg::StoredText(Setting("ProxyServer")));

    ConnectionReadBack on = QueryConnection();
    ASSERT_TRUE(on.bOk);
    EXPECT_EQ("127.0.0.1:8080", on.server);
    EXPECT_TRUE(on.dwFlags & PROXY_TYPE_PROXY);
    if (rawreg::RunningUnderWine()) {
        // Wine drops the direct bit and the bypass list on the way back.
        EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_PROXY), on.dwFlags);
    } else {
        EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY), on.dwFlags);
        EXPECT_FALSE(on.bNullBypass);
        EXPECT_EQ(CLOAKWALL_DEFAULT_PROXY_BYPASS, on.bypass);
    }

    ASSERT_TRUE(DisableConnectionProxy(g_pszConnectionName));
    EXPECT_EQ(0u, Setting("ProxyEnable").Dword());
    EXPECT_EQ("127.0.0.1:8080", rawreg::StoredText(Setting("ProxyServer"))); // kept, unused
    ConnectionReadBack off = QueryConnection();
    ASSERT_TRUE(off.bOk);
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), off.dwFlags);
}

TEST_F(ConnectionOptionsWinInet, SwitchingOnAgainStoresTheServerAgain)
{
    SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080");
    DisableConnectionProxy(g_pszConnectionName);
    // Someone else changes the stored server while anonymous browsing is off.
    rawreg::PutText(HKEY_CURRENT_USER, kInternetSettings, "ProxyServer", "127.0.0.1:3128");
    InternetSetOptionA(NULL, INTERNET_OPTION_SETTINGS_CHANGED, NULL, 0);

    ASSERT_TRUE(SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080"));
    EXPECT_EQ(1u, Setting("ProxyEnable").Dword());
    EXPECT_EQ("127.0.0.1:8080", rawreg::StoredText(Setting("ProxyServer")));
    EXPECT_EQ("127.0.0.1:8080", QueryConnection().server);
}

// A WinINet client with the preconfigured access goes through 127.0.0.1:8080
// while the switch is on, and straight to the server once it is off.
TEST_F(ConnectionOptionsWinInet, PreconfiguredClientsFollowTheSwitch)
{
    CLoopbackHttpServer localProxy(8080);
    if (!localProxy.IsListening())
        GTEST_SKIP() << "127.0.0.1:8080 is taken by another program; the browser is always "
                        "given that address, so this check needs the port free";
    CLoopbackHttpServer origin;
    ASSERT_TRUE(origin.IsListening());
    localProxy.SetAnswer("/probe", 200, "via-local-proxy");
    origin.SetAnswer("/probe", 200, "straight-from-origin");
    const std::string url = "http://127.0.0.1:" + std::to_string(origin.Port()) + "/probe";

    ASSERT_TRUE(SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080"));
    EXPECT_EQ("via-local-proxy", FetchPreconfigured(url));
    std::vector<std::string> proxied = localProxy.RequestLines();
    ASSERT_EQ(1u, proxied.size());
    // A proxy is given the absolute address.
    EXPECT_EQ("GET " + url + " HTTP/1.1", proxied[0]);
    EXPECT_TRUE(origin.RequestLines().empty());

    ASSERT_TRUE(DisableConnectionProxy(g_pszConnectionName));
    EXPECT_EQ("straight-from-origin", FetchPreconfigured(url));
    std::vector<std::string> direct = origin.RequestLines();
    ASSERT_EQ(1u, direct.size());
    EXPECT_EQ("GET /probe HTTP/1.1", direct[0]);
    EXPECT_EQ(1u, localProxy.RequestLines().size());
}

} // namespace
