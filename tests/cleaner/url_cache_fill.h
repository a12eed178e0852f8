// Test helpers on the prefix's real URL cache: make content, cookie and
// visited entries, and look at what the cache holds through the platform's
// own calls (never through the walker under test).
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>
#include <vector>

namespace urlcache {

struct Entry {
    std::string url;
    DWORD type = 0;
};

// A committed entry of the given type. Content entries get a small local
// file; cookie and visited entries go by their container prefix
// ("Cookie:user@host/", "Visited: user@url"). pszHeaders adds header info,
// which makes the entry's record larger.
bool Add(const std::string& url, DWORD type = NORMAL_CACHE_ENTRY, const std::string& headers = "");
std::string CookieUrl(const std::string& host);  // "Cookie:user@host/"
std::string VisitedUrl(const std::string& page); // "Visited: user@page"
// A persistent cookie through the cookie API (it lands in the cache).
bool SetPersistentCookie(const std::string& url, const std::string& name);

bool Exists(const std::string& url);
// Every entry a pattern lists (null: the content entries).
std::vector<Entry> List(const char* pszPattern);
// How many entries the three containers hold together.
size_t CountAll();
// Empties the content, cookie and visited containers.
void Clear();

} // namespace urlcache
