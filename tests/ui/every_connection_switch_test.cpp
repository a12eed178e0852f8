// The switch and every connection of the user: with a VPN entry in the phone
// book (given through the table of calls; Wine's phone book is empty), the
// start hands it and the LAN the local proxy with the stored bypass list,
// and Exit sets both direct again.
#include "dialog_fixture.h"

#include "browser/connection_option_calls.h"
#include "res/resource.h"

#include <raserror.h>

#include <map>

using namespace uitest;

namespace {

struct Stored {
    DWORD dwFlags = 0;
    std::string server;
    std::string bypass;
};
std::map<std::string, Stored> g_stored;

// Notes what each connection is given, then lets Wine's WinINet have it.
BOOL WINAPI RecordingSetOption(HINTERNET hInternet, DWORD dwOption, LPVOID pBuffer, DWORD dwLength)
{
    if (dwOption == INTERNET_OPTION_PER_CONNECTION_OPTION) {
        const INTERNET_PER_CONN_OPTION_LISTA* pList = static_cast<INTERNET_PER_CONN_OPTION_LISTA*>(pBuffer);
        Stored& s = g_stored[pList->pszConnection];
        for (DWORD i = 0; i < pList->dwOptionCount; ++i) {
            const INTERNET_PER_CONN_OPTIONA& o = pList->pOptions[i];
            if (o.dwOption == INTERNET_PER_CONN_FLAGS) s.dwFlags = o.Value.dwValue;
            if (o.dwOption == INTERNET_PER_CONN_PROXY_SERVER) s.server = o.Value.pszValue;
            if (o.dwOption == INTERNET_PER_CONN_PROXY_BYPASS) s.bypass = o.Value.pszValue;
        }
    }
    return InternetSetOptionA(hInternet, dwOption, pBuffer, dwLength);
}

DWORD WINAPI OneVpnEntry(LPCSTR, LPCSTR, LPRASENTRYNAMEA pEntries, LPDWORD pcb, LPDWORD pcEntries)
{
    if (*pcb < sizeof(RASENTRYNAMEA)) return ERROR_BUFFER_TOO_SMALL;
    lstrcpyA(pEntries[0].szEntryName, "Office VPN");
    *pcEntries = 1;
    return ERROR_SUCCESS;
}

} // namespace

TEST_F(DialogTest, StartAndExitCoverTheVpnEntryWithTheStoredBypassList)
{
    g_stored.clear();
    CConnectionOptionCalls calls = GetConnectionOptionCalls();
    calls.pfnInternetSetOption = RecordingSetOption;
    calls.pfnRasEnumEntries = OneVpnEntry;
    CConnectionOptionCalls previous = SwapConnectionOptionCalls(calls);

    CLoopbackHttpServer upstream;
    StoredSettings s;
    s.dwUseProxy = 1;
    s.strProxyName = upstream.HostPort();
    Store(s);
    rawreg::PutText(HKEY_LOCAL_MACHINE, rawreg::kCloakwallKey, "ProxyBypass", "<local>;*.corp.example");
    g_regProxyBypass.Read();

    CSettingsDlg& dlg = Open();
    EXPECT_EQ(1u, BrowserProxyEnable());
    for (const char* name : {"DefaultConnectionSettings", "Office VPN"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY), g_stored[name].dwFlags);
        EXPECT_EQ("127.0.0.1:8080", g_stored[name].server);
        EXPECT_EQ("<local>;*.corp.example", g_stored[name].bypass);
    }

    Command(ID_EXIT_CLOAKWALL);
    EXPECT_EQ(0, dlg.GetModalResult());
    EXPECT_EQ(0u, BrowserProxyEnable());
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), g_stored["DefaultConnectionSettings"].dwFlags);
    EXPECT_EQ(static_cast<DWORD>(PROXY_TYPE_DIRECT), g_stored["Office VPN"].dwFlags);

    SwapConnectionOptionCalls(previous);
}
