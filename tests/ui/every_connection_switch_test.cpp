// The switch and every connection of the user: with a VPN entry that has a
// proxy of its own in the phone book (given through the table of calls:
// Wine's phone book is empty, and its WinINet keeps one set of options
// whatever the connection's name, so the entry's options live here while
// the LAN's go to Wine), a start that switches on hands the entry the local
// proxy with the stored bypass list; after a kill the next start gives the
// entry its own proxy back, and so does Exit.
#include "dialog_fixture.h"

#include "browser/connection_option_calls.h"
#include "res/resource.h"
#include "support/connection_state.h"

#include <raserror.h>

using namespace uitest;

namespace {

const char kVpn[] = "Office VPN";

ConnectionState g_vpn;

BOOL WINAPI EntrySetOption(HINTERNET hInternet, DWORD dwOption, LPVOID pBuffer, DWORD dwLength)
{
    const INTERNET_PER_CONN_OPTION_LISTA* pList = static_cast<INTERNET_PER_CONN_OPTION_LISTA*>(pBuffer);
    if (dwOption != INTERNET_OPTION_PER_CONNECTION_OPTION || lstrcmpA(pList->pszConnection, kVpn) != 0)
        return InternetSetOptionA(hInternet, dwOption, pBuffer, dwLength);
    g_vpn.TakeFrom(*pList);
    return TRUE;
}

BOOL WINAPI EntryQueryOption(HINTERNET hInternet, DWORD dwOption, LPVOID pBuffer, LPDWORD pdwLength)
{
    INTERNET_PER_CONN_OPTION_LISTA* pList = static_cast<INTERNET_PER_CONN_OPTION_LISTA*>(pBuffer);
    if (dwOption != INTERNET_OPTION_PER_CONNECTION_OPTION || lstrcmpA(pList->pszConnection, kVpn) != 0)
        return InternetQueryOptionA(hInternet, dwOption, pBuffer, pdwLength);
    g_vpn.HandTo(*pList);
    return TRUE;
}

DWORD WINAPI OneVpnEntry(LPCSTR, LPCSTR, LPRASENTRYNAMEA pEntries, LPDWORD pcb, LPDWORD pcEntries)
{
    if (*pcb < sizeof(RASENTRYNAMEA)) return ERROR_BUFFER_TOO_SMALL;
    lstrcpyA(pEntries[0].szEntryName, kVpn);
    *pcEntries = 1;
    return ERROR_SUCCESS;
}

} // namespace

TEST_F(DialogTest, AVpnEntryWithItsOwnProxyGetsItBackAfterAKillAndAtExit)
{
    const ConnectionState own = {PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY, "10.1.2.3:3128", "<local>;*.corp", std::nullopt};
    g_vpn = own;
    CConnectionOptionCalls calls = GetConnectionOptionCalls();
    calls.pfnInternetSetOption = EntrySetOption;
    calls.pfnInternetQueryOption = EntryQueryOption;
    calls.pfnRasEnumEntries = OneVpnEntry;
    CConnectionOptionCalls previous = SwapConnectionOptionCalls(calls);

    CLoopbackHttpServer upstream;
    StoredSettings on;
    on.dwUseProxy = 1;
    on.strProxyName = upstream.HostPort();
    Store(on);
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "ProxyBypass", "<local>;*.example");
    g_regProxyBypass.Read();
    Open();
    EXPECT_EQ(1u, BrowserProxyEnable());
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY), g_vpn.dwFlags);
    EXPECT_EQ("127.0.0.1:8080", g_vpn.server.value_or(""));
    EXPECT_EQ("<local>;*.example", g_vpn.bypass.value_or(""));

    Close(); // killed: nothing put back
    Store(StoredSettings{});
    Open();
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ(own, g_vpn) << "the start after the kill gives the entry its own options back";
    Close();

    Store(on);
    CSettingsDlg& dlg = Open();
    Command(ID_EXIT_CLOAKWALL);
    EXPECT_EQ(0, dlg.GetModalResult());
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ(own, g_vpn) << "Exit gives the entry its own options back";

    SwapConnectionOptionCalls(previous);
}
