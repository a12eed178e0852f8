// The LAN's and every dial-up and VPN entry's proxy options, through the
// table of calls: a phone book that lists entries (Wine's lists none, and
// its WinINet keeps one set of options whatever the connection's name), the
// options each connection ends up with, the entries' own options kept in
// the registry and put back, and one announcement after each change.
#include "browser/connection_option_calls.h"
#include "browser/every_connection.h"
#include "browser/kept_connection_options.h"
#include "support/connection_state.h"
#include "support/raw_registry.h"

#include <raserror.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

const char kKeptKey[] = "Software\\Cloakwall\\KeptConnections";

std::map<std::string, ConnectionState> g_connections; // what WinINet would keep, by connection name
std::vector<std::string> g_log;                       // "store NAME" and the announcements, in order
std::vector<std::string> g_phoneBook;
std::vector<DWORD> g_phoneBookErrors; // answered before the entries, one per call
std::string g_refusedConnection;
std::string g_unreadableConnection;

BOOL WINAPI FakeSetOption(HINTERNET, DWORD dwOption, LPVOID pBuffer, DWORD)
{
    if (dwOption != INTERNET_OPTION_PER_CONNECTION_OPTION) {
        g_log.push_back(dwOption == INTERNET_OPTION_SETTINGS_CHANGED         ? "settings changed"
                        : dwOption == INTERNET_OPTION_PROXY_SETTINGS_CHANGED ? "proxy settings changed"
                        : dwOption == INTERNET_OPTION_REFRESH                ? "refresh"
                                                                             : "other");
        return TRUE;
    }
    const INTERNET_PER_CONN_OPTION_LISTA* pList = static_cast<INTERNET_PER_CONN_OPTION_LISTA*>(pBuffer);
    std::string name = pList->pszConnection;
    g_log.push_back("store " + name);
    if (name == g_refusedConnection) return FALSE;
    g_connections[name].TakeFrom(*pList);
    return TRUE;
}

BOOL WINAPI FakeQueryOption(HINTERNET, DWORD dwOption, LPVOID pBuffer, LPDWORD)
{
    if (dwOption != INTERNET_OPTION_PER_CONNECTION_OPTION) return FALSE;
    INTERNET_PER_CONN_OPTION_LISTA* pList = static_cast<INTERNET_PER_CONN_OPTION_LISTA*>(pBuffer);
    if (pList->pszConnection == g_unreadableConnection) return FALSE;
    g_connections[pList->pszConnection].HandTo(*pList);
    return TRUE;
}

// The phone book's way: a buffer too small is answered with the size it
// needs, and only then with the entries.
DWORD WINAPI FakeRasEnumEntries(LPCSTR, LPCSTR, LPRASENTRYNAMEA pEntries, LPDWORD pcb, LPDWORD pcEntries)
{
    if (pEntries[0].dwSize != sizeof(RASENTRYNAMEA)) return ERROR_INVALID_SIZE;
    DWORD cbNeeded = static_cast<DWORD>(g_phoneBook.size() * sizeof(RASENTRYNAMEA));
    DWORD dwError = ERROR_SUCCESS;
    if (!g_phoneBookErrors.empty()) {
        dwError = g_phoneBookErrors.front();
        g_phoneBookErrors.erase(g_phoneBookErrors.begin());
    } else if (*pcb < cbNeeded) {
        dwError = ERROR_BUFFER_TOO_SMALL;
    }
    if (dwError == ERROR_BUFFER_TOO_SMALL) *pcb = cbNeeded;
    if (dwError != ERROR_SUCCESS) return dwError;
    for (size_t i = 0; i < g_phoneBook.size(); ++i)
        lstrcpynA(pEntries[i].szEntryName, g_phoneBook[i].c_str(), RAS_MaxEntryName + 1);
    *pcEntries = static_cast<DWORD>(g_phoneBook.size());
    return ERROR_SUCCESS;
}

const std::vector<std::string> kAnnouncement = {"settings changed", "proxy settings changed", "refresh"};

class EveryConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_connections.clear();
        g_log.clear();
        g_phoneBook = {"Office VPN", "PPPoE line"};
        g_phoneBookErrors.clear();
        g_refusedConnection.clear();
        g_unreadableConnection.clear();
        rawreg::DeleteTree(HKEY_CURRENT_USER, kKeptKey);
        CConnectionOptionCalls fake = GetConnectionOptionCalls();
        fake.pfnInternetSetOption = FakeSetOption;
        fake.pfnInternetQueryOption = FakeQueryOption;
        fake.pfnRasEnumEntries = FakeRasEnumEntries;
        m_previous = SwapConnectionOptionCalls(fake);
    }
    void TearDown() override
    {
        SwapConnectionOptionCalls(m_previous);
        rawreg::DeleteTree(HKEY_CURRENT_USER, kKeptKey);
    }

    static std::vector<std::string> Stores(const std::vector<std::string>& names)
    {
        std::vector<std::string> log;
        for (const std::string& name : names) log.push_back("store " + name);
        log.insert(log.end(), kAnnouncement.begin(), kAnnouncement.end());
        return log;
    }

    CConnectionOptionCalls m_previous{};
};

// On and off again: the LAN and both phone-book entries get the proxy and
// the bypass list, then all go direct, each change announced once after it.
TEST_F(EveryConnection, SwitchingOnAndOffCoversTheLanAndEveryPhoneBookEntry)
{
    // A phone book that grows between the size question and the read.
    g_phoneBookErrors = {ERROR_BUFFER_TOO_SMALL};
    EXPECT_TRUE(SetEveryConnectionOptions("127.0.0.1:8080", "<local>;10.*"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings", "Office VPN", "PPPoE line"}), g_log);
    ASSERT_EQ(3u, g_connections.size());
    for (const auto& connection : g_connections) {
        SCOPED_TRACE(connection.first);
        EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY), connection.second.dwFlags);
        EXPECT_EQ("127.0.0.1:8080", connection.second.server);
        EXPECT_EQ("<local>;10.*", connection.second.bypass);
    }

    g_log.clear();
    EXPECT_TRUE(DisableEveryConnectionProxy("127.0.0.1:8080"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings", "Office VPN", "PPPoE line"}), g_log);
    for (const auto& connection : g_connections)
        EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), connection.second.dwFlags) << connection.first;
}

// A connection that refuses its options, or one whose own options cannot be
// read (so could not be given back), keeps no other from the proxy; the
// unreadable one is not changed, and the result says not all took it.
TEST_F(EveryConnection, OneRefusingConnectionStillLeavesTheOthersSet)
{
    g_refusedConnection = "Office VPN";
    g_unreadableConnection = "PPPoE line";
    const ConnectionState pppoe = g_connections["PPPoE line"] = {PROXY_TYPE_DIRECT, "10.9.9.9:80", {}, {}};
    EXPECT_FALSE(SetEveryConnectionOptions("127.0.0.1:8080", "<local>"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings", "Office VPN"}), g_log);
    EXPECT_EQ("127.0.0.1:8080", g_connections["DefaultConnectionSettings"].server);
    EXPECT_EQ(pppoe, g_connections["PPPoE line"]);
}

// A phone book that cannot be read (no RAS service) leaves the LAN's alone
// to set; it is still set.
TEST_F(EveryConnection, UnreadablePhoneBookStillSetsTheLan)
{
    g_phoneBookErrors = {ERROR_CANNOT_OPEN_PHONEBOOK};
    EXPECT_TRUE(SetEveryConnectionOptions("127.0.0.1:8080", "<local>"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings"}), g_log);
}

// At start only the connections left at the local proxy go direct: a VPN
// entry the user points at the office proxy keeps it.
TEST_F(EveryConnection, StartCleansOnlyConnectionsLeftAtTheLocalProxy)
{
    g_connections["DefaultConnectionSettings"] = {
        PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "127.0.0.1:8080", "<local>", {}};
    g_connections["Office VPN"] = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "10.1.2.3:3128", "<local>", {}};
    g_connections["PPPoE line"] = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "127.0.0.1:8080", "<local>", {}};

    EXPECT_TRUE(DisableConnectionsUsingProxy("127.0.0.1:8080"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings", "PPPoE line"}), g_log);
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), g_connections["DefaultConnectionSettings"].dwFlags);
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), g_connections["PPPoE line"].dwFlags);
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY), g_connections["Office VPN"].dwFlags);

    // Nothing left to clean: nothing stored, nothing announced.
    g_log.clear();
    EXPECT_FALSE(DisableConnectionsUsingProxy("127.0.0.1:8080"));
    EXPECT_TRUE(g_log.empty());
}

// A VPN entry with a proxy of its own and an entry the program never
// changed (made while anonymous browsing was on): switch-off puts the VPN's
// own options back exactly, texts it never had included, writes nothing to
// the other entry and keeps no record behind.
TEST_F(EveryConnection, SwitchOffGivesAnEntryItsOwnOptionsBackAndLeavesOthersUnwritten)
{
    g_phoneBook = {"Office VPN"};
    const ConnectionState vpn = g_connections["Office VPN"] = {
        PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY | PROXY_TYPE_AUTO_PROXY_URL, "10.1.2.3:3128", "", "http://wpad.corp/"};
    ASSERT_TRUE(SetEveryConnectionOptions("127.0.0.1:8080", "<local>"));
    EXPECT_EQ("127.0.0.1:8080", g_connections["Office VPN"].server);

    g_phoneBook.push_back("PPPoE line");
    const ConnectionState pppoe = g_connections["PPPoE line"] = {PROXY_TYPE_DIRECT, {}, "<local>", {}};

    g_log.clear();
    EXPECT_TRUE(DisableEveryConnectionProxy("127.0.0.1:8080"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings", "Office VPN"}), g_log);
    EXPECT_EQ(vpn, g_connections["Office VPN"]);
    EXPECT_EQ(pppoe, g_connections["PPPoE line"]);
    EXPECT_TRUE(KeptConnectionNames().empty());

    // Off again: nothing of the entries' is written a second time.
    g_log.clear();
    DisableEveryConnectionProxy("127.0.0.1:8080");
    EXPECT_EQ(Stores({"DefaultConnectionSettings"}), g_log);
}

// A copy killed while switched on, started switched on again and killed
// again: the next start (switched off) gives the VPN its own options back
// from the record the second start kept; one left at the local proxy by an
// older copy without a record goes direct; an entry the user pointed
// elsewhere meanwhile keeps that and is not written.
TEST_F(EveryConnection, StartAfterACrashPutsTheKeptOptionsBack)
{
    g_phoneBook = {"Office VPN", "Old line", "Mobile"};
    const ConnectionState vpn =
        g_connections["Office VPN"] = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "10.1.2.3:3128", "<local>;*.corp", {}};
    ASSERT_TRUE(SetEveryConnectionOptions("127.0.0.1:8080", "<local>"));
    ASSERT_TRUE(SetEveryConnectionOptions("127.0.0.1:8080", "<local>"));
    g_connections["Old line"] = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "127.0.0.1:8080", "<local>", {}};
    ForgetKeptConnectionOptions("Old line");
    const ConnectionState mobile =
        g_connections["Mobile"] = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "192.168.1.1:8000", {}, {}};

    g_log.clear();
    EXPECT_TRUE(DisableConnectionsUsingProxy("127.0.0.1:8080"));
    EXPECT_EQ(Stores({"DefaultConnectionSettings", "Office VPN", "Old line"}), g_log);
    EXPECT_EQ(vpn, g_connections["Office VPN"]);
    EXPECT_EQ(mobile, g_connections["Mobile"]);
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), g_connections["Old line"].dwFlags);
    EXPECT_TRUE(KeptConnectionNames().empty());
}

} // namespace
