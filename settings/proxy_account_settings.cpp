// ProxyName and TMPProxy, written and moved without their passwords.
#include "settings/proxy_account_settings.h"

#include "proxylist/proxy_account.h"
#include "settings/settings_store.h"

namespace {

#define TMP_PROXY_PATH CLOAKWALL_SETTINGS_KEY "\\TMPProxy"

BOOL StoreEntry(CRegStringValue& rValue, LPCTSTR pszEntry)
{
    CString strStored;
    BOOL bKept = KeepProxyPassword(pszEntry, strStored);
    return !rValue.Set(strStored).LastSetFailed() && bKept;
}

void MovePassword(CRegStringValue& rValue)
{
    CString strEntry = rValue.Get();
    CString strStored;
    if (ProxyEntryWithoutPassword(strEntry) == strEntry) return;
    if (KeepProxyPassword(strEntry, strStored)) rValue.Set(strStored);
}

} // namespace

BOOL StoreProxyName(LPCTSTR pszEntry)
{
    return StoreEntry(g_regProxyName, pszEntry);
}

BOOL StoreTmpProxy(LPCTSTR pszEntry)
{
    CRegStringValue regTmpProxy(TMP_PROXY_PATH, "", FALSE, HKEY_LOCAL_MACHINE);
    return StoreEntry(regTmpProxy, pszEntry);
}

void MoveSettingPasswords()
{
    MovePassword(g_regProxyName);
    CRegStringValue regTmpProxy(TMP_PROXY_PATH, "", FALSE, HKEY_LOCAL_MACHINE);
    MovePassword(regTmpProxy);
}
