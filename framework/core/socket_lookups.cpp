// The record of names the socket seam asked the system's resolver about,
// shared by its two halves.
#include "framework/core/socket_api.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_lock; // guards g_names
std::vector<std::string> g_names;

} // namespace

void SockRecordLookup(LPCTSTR pszHost)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_names.push_back(pszHost);
}

long SockLookupsOf(LPCTSTR pszHost)
{
    std::lock_guard<std::mutex> guard(g_lock);
    long nCount = 0;
    for (const std::string& strName : g_names)
        if (pszHost && strName == pszHost) ++nCount;
    return nCount;
}
