// The URL-cache test helpers, straight on WinINet.
#include "url_cache_fill.h"

#include <cstdio>
#include <cstring>
#include <set>

namespace urlcache {

namespace {

const char* kContainers[] = {nullptr, "Cookie:", "Visited:"};

// The user name Wine and Windows put into cookie and visited entry names.
std::string UserName()
{
    char name[256];
    DWORD cch = sizeof name;
    if (!GetUserNameA(name, &cch)) return "user";
    return name;
}

} // namespace

std::string CookieUrl(const std::string& host)
{
    return "Cookie:" + UserName() + "@" + host + "/";
}

std::string VisitedUrl(const std::string& page)
{
    return "Visited: " + UserName() + "@" + page;
}

bool Add(const std::string& url, DWORD type, const std::string& headers)
{
    char file[MAX_PATH] = "";
    if (!CreateUrlCacheEntryA(url.c_str(), 0, "htm", file, 0)) return false;
    HANDLE h = CreateFileA(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(h, "<html></html>", 13, &written, nullptr);
    CloseHandle(h);
    FILETIME zero = {};
    return CommitUrlCacheEntryA(url.c_str(), file, zero, zero, type,
                                headers.empty() ? nullptr
                                                : reinterpret_cast<LPBYTE>(const_cast<char*>(headers.c_str())),
                                static_cast<DWORD>(headers.size()), "htm", nullptr) != FALSE;
}

bool SetPersistentCookie(const std::string& url, const std::string& name)
{
    std::string data = name + "=1; expires=Fri, 01-Jan-2038 00:00:00 GMT";
    return InternetSetCookieA(url.c_str(), nullptr, data.c_str()) != FALSE;
}

bool Exists(const std::string& url)
{
    DWORD cb = 0;
    if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &cb)) return true;
    return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

std::vector<Entry> List(const char* pszPattern)
{
    std::vector<Entry> entries;
    std::vector<BYTE> buffer(1 << 16);
    auto* pInfo = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
    DWORD cb = static_cast<DWORD>(buffer.size());
    HANDLE hFind = FindFirstUrlCacheEntryA(pszPattern, pInfo, &cb);
    if (!hFind) return entries;
    do {
        entries.push_back({pInfo->lpszSourceUrlName ? pInfo->lpszSourceUrlName : "", pInfo->CacheEntryType});
        cb = static_cast<DWORD>(buffer.size());
    } while (FindNextUrlCacheEntryA(hFind, pInfo, &cb));
    FindCloseUrlCache(hFind);
    return entries;
}

size_t CountAll()
{
    // Wine's null pattern lists every container, Windows' only the content
    // one: count each name once.
    std::set<std::string> names;
    for (const char* pszPattern : kContainers)
        for (const Entry& e : List(pszPattern)) names.insert(e.url);
    return names.size();
}

void Clear()
{
    for (const char* pszPattern : kContainers)
        for (const Entry& e : List(pszPattern)) DeleteUrlCacheEntryA(e.url.c_str());
}

} // namespace urlcache
