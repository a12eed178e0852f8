// What SetConnectionOptions and DisableConnectionProxy hand to WinINet,
// seen through the table of calls: the option lists, the notifications and
// their order, the results, the option array's release, and the
// out-of-memory path.
#include "browser/connection_option_calls.h"
#include "browser/connection_options.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<DWORD, std::string>> OptionList; // id, value as text

// One call as the fake saw it. The option list is copied during the call
// because the caller frees it right after.
struct Call {
    std::string what; // "set" or "free"
    DWORD dwOption = 0;
    bool bNullHandle = false;
    bool bNullBuffer = false;
    DWORD dwLength = 0;
    DWORD dwListSize = 0;
    std::string text; // connection name
    OptionList options;
    const void* pOptions = nullptr;
};

std::vector<Call> g_calls;
BOOL g_bAcceptOptions = TRUE;
bool g_bFailAlloc = false;

BOOL WINAPI FakeSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID pBuffer, DWORD dwLength)
{
    Call c;
    c.what = "set";
    c.dwOption = dwOption;
    c.bNullHandle = hInternet == NULL;
    c.bNullBuffer = pBuffer == NULL;
    c.dwLength = dwLength;
    BOOL bResult = TRUE;
    if (dwOption == INTERNET_OPTION_PER_CONNECTION_OPTION && pBuffer) {
        const INTERNET_PER_CONN_OPTION_LISTA* pList = static_cast<INTERNET_PER_CONN_OPTION_LISTA*>(pBuffer);
        c.dwListSize = pList->dwSize;
        c.text = pList->pszConnection ? pList->pszConnection : "(null)";
        c.pOptions = pList->pOptions;
        for (DWORD i = 0; i < pList->dwOptionCount; ++i) {
            const INTERNET_PER_CONN_OPTIONA& o = pList->pOptions[i];
            std::string value = o.dwOption == INTERNET_PER_CONN_FLAGS
                                    ? std::to_string(o.Value.dwValue)
                                    : std::string(o.Value.pszValue ? o.Value.pszValue : "(null)");
            c.options.emplace_back(o.dwOption, value);
        }
        bResult = g_bAcceptOptions;
    } else if (dwOption == INTERNET_OPTION_REFRESH) {
        bResult = FALSE; // what Wine answers; the caller must not care
    }
    g_calls.push_back(c);
    return bResult;
}

void* FakeAlloc(size_t cb)
{
    return g_bFailAlloc ? nullptr : std::malloc(cb);
}

void FakeFree(void* p)
{
    Call c;
    c.what = "free";
    c.pOptions = p;
    g_calls.push_back(c);
    std::free(p);
}

class ConnectionOptionCalls : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_calls.clear();
        g_bAcceptOptions = TRUE;
        g_bFailAlloc = false;
        CConnectionOptionCalls fake = GetConnectionOptionCalls();
        fake.pfnInternetSetOption = FakeSetOption;
        fake.pfnAlloc = FakeAlloc;
        fake.pfnFree = FakeFree;
        m_previous = SwapConnectionOptionCalls(fake);
    }
    void TearDown() override { SwapConnectionOptionCalls(m_previous); }

    // The option call, the free of its array, then the two announcements and
    // the refresh, all without an Internet handle.
    void ExpectSequence(const std::string& connection, const OptionList& options)
    {
        ASSERT_EQ(5u, g_calls.size());
        const Call& set = g_calls[0];
        EXPECT_EQ("set", set.what);
        EXPECT_EQ(static_cast<DWORD>(INTERNET_OPTION_PER_CONNECTION_OPTION), set.dwOption);
        EXPECT_TRUE(set.bNullHandle);
        EXPECT_EQ(set.dwLength, set.dwListSize);
        EXPECT_EQ(connection, set.text);
        EXPECT_EQ(options, set.options);

        EXPECT_EQ("free", g_calls[1].what);
        EXPECT_EQ(set.pOptions, g_calls[1].pOptions);

        EXPECT_EQ("set", g_calls[2].what);
        EXPECT_EQ(static_cast<DWORD>(INTERNET_OPTION_SETTINGS_CHANGED), g_calls[2].dwOption);
        EXPECT_EQ("set", g_calls[3].what);
        EXPECT_EQ(static_cast<DWORD>(INTERNET_OPTION_PROXY_SETTINGS_CHANGED), g_calls[3].dwOption);
        EXPECT_EQ("set", g_calls[4].what);
        EXPECT_EQ(static_cast<DWORD>(INTERNET_OPTION_REFRESH), g_calls[4].dwOption);
        for (int i = 2; i < 5; ++i) {
            EXPECT_TRUE(g_calls[i].bNullHandle);
            EXPECT_TRUE(g_calls[i].bNullBuffer);
            EXPECT_EQ(0u, g_calls[i].dwLength);
        }
    }

    CConnectionOptionCalls m_previous{};
};

TEST_F(ConnectionOptionCalls, SwitchOnHandsThreeOptionsThenAnnouncesAndRefreshes)
{
    EXPECT_TRUE(SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080"));
    ExpectSequence("DefaultConnectionSettings", {{INTERNET_PER_CONN_FLAGS, "3"},
                                                 {INTERNET_PER_CONN_PROXY_SERVER, "127.0.0.1:8080"},
                                                 {INTERNET_PER_CONN_PROXY_BYPASS, CLOAKWALL_DEFAULT_PROXY_BYPASS}});
}

TEST_F(ConnectionOptionCalls, SwitchOffHandsOnlyTheDirectFlag)
{
    EXPECT_TRUE(DisableConnectionProxy(g_pszConnectionName));
    ExpectSequence("DefaultConnectionSettings", {{INTERNET_PER_CONN_FLAGS, "1"}});
}

TEST_F(ConnectionOptionCalls, SwitchingOnAgainHandsAllThreeAgain)
{
    SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080");
    DisableConnectionProxy(g_pszConnectionName);
    g_calls.clear();
    SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080");
    ExpectSequence("DefaultConnectionSettings", {{INTERNET_PER_CONN_FLAGS, "3"},
                                                 {INTERNET_PER_CONN_PROXY_SERVER, "127.0.0.1:8080"},
                                                 {INTERNET_PER_CONN_PROXY_BYPASS, CLOAKWALL_DEFAULT_PROXY_BYPASS}});
}

TEST_F(ConnectionOptionCalls, CallersConnectionNameServerAndBypassArePassedOn)
{
    SetConnectionOptions("Dial-up", "127.0.0.1:3128", "<local>;10.*;intranet.example");
    ASSERT_FALSE(g_calls.empty());
    EXPECT_EQ("Dial-up", g_calls[0].text);
    EXPECT_EQ("127.0.0.1:3128", g_calls[0].options.at(1).second);
    EXPECT_EQ("<local>;10.*;intranet.example", g_calls[0].options.at(2).second);
}

TEST_F(ConnectionOptionCalls, RejectedOptionsGiveZeroButStillNotify)
{
    g_bAcceptOptions = FALSE;
    EXPECT_FALSE(SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080"));
    ExpectSequence("DefaultConnectionSettings", {{INTERNET_PER_CONN_FLAGS, "3"},
                                                 {INTERNET_PER_CONN_PROXY_SERVER, "127.0.0.1:8080"},
                                                 {INTERNET_PER_CONN_PROXY_BYPASS, CLOAKWALL_DEFAULT_PROXY_BYPASS}});

    g_calls.clear();
    EXPECT_FALSE(DisableConnectionProxy(g_pszConnectionName));
    ExpectSequence("DefaultConnectionSettings", {{INTERNET_PER_CONN_FLAGS, "1"}});
}

// Without the option array nothing reaches WinINet, not even the
// announcement: the settings did not change.
TEST_F(ConnectionOptionCalls, OutOfMemoryFailsWithoutTouchingWinInet)
{
    g_bFailAlloc = true;
    EXPECT_FALSE(SetConnectionOptions(g_pszConnectionName, "127.0.0.1:8080"));
    EXPECT_FALSE(DisableConnectionProxy(g_pszConnectionName));
    EXPECT_TRUE(g_calls.empty());
}

} // namespace
