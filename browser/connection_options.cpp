// SetConnectionOptions and DisableConnectionProxy: build the per-connection
// option list, hand it to WinINet, then announce the change and refresh.
// Their two halves serve the changes of every connection at once.
#include "browser/connection_options.h"

#include "browser/connection_option_calls.h"

const char* g_pszConnectionName = "DefaultConnectionSettings";

static_assert(sizeof(void*) != 4 || sizeof(INTERNET_PER_CONN_OPTION_LISTA) == 20,
              "the option list record is 20 bytes on 32-bit Windows");
static_assert(sizeof(void*) != 4 || sizeof(INTERNET_PER_CONN_OPTIONA) == 12,
              "an option record is 12 bytes on 32-bit Windows");

namespace {

// Hands the filled options of one connection to WinINet and frees them.
BOOL StoreOptionList(LPCSTR pszConnectionName, INTERNET_PER_CONN_OPTIONA* pOptions, DWORD dwCount)
{
    const CConnectionOptionCalls& calls = GetConnectionOptionCalls();

    INTERNET_PER_CONN_OPTION_LISTA list;
    list.dwSize = sizeof(list);
    list.pszConnection = const_cast<LPSTR>(pszConnectionName);
    list.dwOptionCount = dwCount;
    list.pOptions = pOptions;

    BOOL bResult = calls.pfnInternetSetOption(NULL, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, sizeof(list));
    calls.pfnFree(pOptions);
    return bResult;
}

INTERNET_PER_CONN_OPTIONA* AllocOptions(DWORD dwCount, LPCSTR pszFailure)
{
    const CConnectionOptionCalls& calls = GetConnectionOptionCalls();
    void* p = calls.pfnAlloc(sizeof(INTERNET_PER_CONN_OPTIONA) * dwCount);
    if (!p) OutputDebugStringA(pszFailure);
    return static_cast<INTERNET_PER_CONN_OPTIONA*>(p);
}

INTERNET_PER_CONN_OPTIONA* ProxyOptions(LPCSTR pszProxyServer, LPCSTR pszBypass)
{
    INTERNET_PER_CONN_OPTIONA* pOptions = AllocOptions(3, "failed to allocat memory in SetConnectionOptions()");
    if (!pOptions) return nullptr;
    pOptions[0].dwOption = INTERNET_PER_CONN_FLAGS;
    pOptions[0].Value.dwValue = PROXY_TYPE_DIRECT | PROXY_TYPE_PROXY;
    pOptions[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    pOptions[1].Value.pszValue = const_cast<LPSTR>(pszProxyServer);
    pOptions[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    pOptions[2].Value.pszValue = const_cast<LPSTR>(pszBypass);
    return pOptions;
}

INTERNET_PER_CONN_OPTIONA* DirectOptions()
{
    INTERNET_PER_CONN_OPTIONA* pOptions = AllocOptions(1, "failed to allocat memory in DisableConnectionProxy()");
    if (!pOptions) return nullptr;
    pOptions[0].dwOption = INTERNET_PER_CONN_FLAGS;
    pOptions[0].Value.dwValue = PROXY_TYPE_DIRECT;
    return pOptions;
}

} // namespace

BOOL StoreConnectionOptions(LPCSTR pszConnectionName, LPCSTR pszProxyServer, LPCSTR pszBypass)
{
    INTERNET_PER_CONN_OPTIONA* pOptions = ProxyOptions(pszProxyServer, pszBypass);
    return pOptions ? StoreOptionList(pszConnectionName, pOptions, 3) : FALSE;
}

BOOL StoreDirectConnection(LPCSTR pszConnectionName)
{
    INTERNET_PER_CONN_OPTIONA* pOptions = DirectOptions();
    return pOptions ? StoreOptionList(pszConnectionName, pOptions, 1) : FALSE;
}

void AnnounceConnectionChange()
{
    // Whatever WinINet said about the options: the announcements first, the
    // refresh after them. Older WinINet clients listen for the first, newer
    // ones re-read their proxy on the second.
    const CConnectionOptionCalls& calls = GetConnectionOptionCalls();
    calls.pfnInternetSetOption(NULL, INTERNET_OPTION_SETTINGS_CHANGED, NULL, 0);
    calls.pfnInternetSetOption(NULL, INTERNET_OPTION_PROXY_SETTINGS_CHANGED, NULL, 0);
    calls.pfnInternetSetOption(NULL, INTERNET_OPTION_REFRESH, NULL, 0);
}

BOOL SetConnectionOptions(LPCSTR pszConnectionName, LPCSTR pszProxyServer, LPCSTR pszBypass)
{
    // Without the option array nothing changed, so nothing is announced.
    INTERNET_PER_CONN_OPTIONA* pOptions = ProxyOptions(pszProxyServer, pszBypass);
    if (!pOptions) return FALSE;
    BOOL bResult = StoreOptionList(pszConnectionName, pOptions, 3);
    AnnounceConnectionChange();
    return bResult;
}

BOOL DisableConnectionProxy(LPCSTR pszConnectionName)
{
    INTERNET_PER_CONN_OPTIONA* pOptions = DirectOptions();
    if (!pOptions) return FALSE;
    BOOL bResult = StoreOptionList(pszConnectionName, pOptions, 1);
    AnnounceConnectionChange();
    return bResult;
}

BOOL QueryConnectionOptions(LPCSTR pszConnectionName, CConnectionOptionSet& rOptions)
{
    INTERNET_PER_CONN_OPTIONA options[4] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    options[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    INTERNET_PER_CONN_OPTION_LISTA list;
    list.dwSize = sizeof(list);
    list.pszConnection = const_cast<LPSTR>(pszConnectionName);
    list.dwOptionCount = 4;
    list.dwOptionError = 0;
    list.pOptions = options;
    DWORD cb = sizeof(list);
    if (!GetConnectionOptionCalls().pfnInternetQueryOption(NULL, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &cb))
        return FALSE;
    CConnectionOptionSet result;
    result.dwFlags = options[0].Value.dwValue;
    // WinINet hands each text over for the caller to free.
    auto take = [](LPSTR psz, BOOL& rbHas, CString& rText) {
        rbHas = psz != nullptr;
        if (psz) {
            rText = psz;
            GlobalFree(psz);
        }
    };
    take(options[1].Value.pszValue, result.bHasServer, result.strServer);
    take(options[2].Value.pszValue, result.bHasBypass, result.strBypass);
    take(options[3].Value.pszValue, result.bHasAutoConfigUrl, result.strAutoConfigUrl);
    rOptions = result;
    return TRUE;
}

BOOL StoreConnectionOptionSet(LPCSTR pszConnectionName, const CConnectionOptionSet& options)
{
    INTERNET_PER_CONN_OPTIONA* pOptions = AllocOptions(4, "failed to allocat memory in StoreConnectionOptionSet()");
    if (!pOptions) return FALSE;
    auto text = [](BOOL bHas, const CString& str) { return bHas ? const_cast<LPSTR>(str.GetString()) : nullptr; };
    pOptions[0].dwOption = INTERNET_PER_CONN_FLAGS;
    pOptions[0].Value.dwValue = options.dwFlags;
    pOptions[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    pOptions[1].Value.pszValue = text(options.bHasServer, options.strServer);
    pOptions[2].dwOption = INTERNET_PER_CONN_PROXY_BYPASS;
    pOptions[2].Value.pszValue = text(options.bHasBypass, options.strBypass);
    pOptions[3].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    pOptions[3].Value.pszValue = text(options.bHasAutoConfigUrl, options.strAutoConfigUrl);
    return StoreOptionList(pszConnectionName, pOptions, 4);
}

BOOL OptionsUseProxy(const CConnectionOptionSet& options, LPCSTR pszProxyServer)
{
    return (options.dwFlags & PROXY_TYPE_PROXY) && options.bHasServer &&
           lstrcmpiA(options.strServer, pszProxyServer) == 0;
}

BOOL ConnectionUsesProxy(LPCSTR pszConnectionName, LPCSTR pszProxyServer)
{
    CConnectionOptionSet options;
    return QueryConnectionOptions(pszConnectionName, options) && OptionsUseProxy(options, pszProxyServer);
}
