// POSIX half of the credential seam: a table in this process's memory, so
// the platform-neutral code builds and runs natively; nothing reaches a disk.
#include "proxylist/credential_store.h"

#include <map>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex; // guards the table
std::map<std::string, std::string>& Table()
{
    static std::map<std::string, std::string> table;
    return table;
}

} // namespace

BOOL CredStoreWrite(LPCTSTR pszTarget, LPCTSTR, LPCTSTR pszSecret)
{
    if (!pszTarget || !*pszTarget || !pszSecret) return FALSE;
    std::lock_guard<std::mutex> lock(g_mutex);
    Table()[pszTarget] = pszSecret;
    return TRUE;
}

BOOL CredStoreRead(LPCTSTR pszTarget, CString& rSecret)
{
    rSecret.Empty();
    if (!pszTarget) return FALSE;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = Table().find(pszTarget);
    if (it == Table().end()) return FALSE;
    rSecret = CString(it->second);
    return TRUE;
}
