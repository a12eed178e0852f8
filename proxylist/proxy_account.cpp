// Passwords of proxy entries into the credential store and back.
#include "proxylist/proxy_account.h"

#include "proxylist/credential_store.h"

CString ProxyAccountTarget(const CProxyAddress& address)
{
    CString host(address.strHost);
    host.MakeLower();
    if (host.Find(':') >= 0) host = "[" + host + "]";
    CString target;
    target.Format("Cloakwall:%s://%s@%s:%d", ProxySchemeName(address.scheme), address.strUser.GetString(),
                  host.GetString(), address.nPort);
    return target;
}

BOOL KeepProxyPassword(LPCTSTR pszEntry, CString& rStored)
{
    rStored = ProxyEntryWithoutPassword(pszEntry);
    CProxyAddress address;
    if (!ParseProxyAddress(pszEntry, address) || address.strUser.IsEmpty() || address.strPassword.IsEmpty())
        return TRUE;
    const CString target = ProxyAccountTarget(address);
    // A list written again and again names the same accounts: the store is
    // written only when the password changed.
    CString known;
    if (CredStoreRead(target, known) && known == address.strPassword) return TRUE;
    return CredStoreWrite(target, address.strUser, address.strPassword);
}

void JoinProxyPassword(CProxyAddress& rAddress)
{
    if (rAddress.strUser.IsEmpty() || !rAddress.strPassword.IsEmpty()) return;
    CredStoreRead(ProxyAccountTarget(rAddress), rAddress.strPassword);
}
