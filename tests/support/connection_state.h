// One connection's proxy options as a fake WinINet keeps them, for tests
// that stand in for the per-connection calls: taken from an option list the
// code under test sets, and handed back into one it queries (texts given
// over for the caller to free, as WinINet does). A text the connection
// never had is no text at all: WinINet answers null.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <optional>
#include <ostream>
#include <string>

struct ConnectionState {
    DWORD dwFlags = PROXY_TYPE_DIRECT;
    std::optional<std::string> server;
    std::optional<std::string> bypass;
    std::optional<std::string> autoConfigUrl;

    bool operator==(const ConnectionState& o) const
    {
        return dwFlags == o.dwFlags && server == o.server && bypass == o.bypass && autoConfigUrl == o.autoConfigUrl;
    }

    void TakeFrom(const INTERNET_PER_CONN_OPTION_LISTA& list)
    {
        auto text = [](LPCSTR psz) { return psz ? std::optional<std::string>(psz) : std::nullopt; };
        for (DWORD i = 0; i < list.dwOptionCount; ++i) {
            const INTERNET_PER_CONN_OPTIONA& o = list.pOptions[i];
            if (o.dwOption == INTERNET_PER_CONN_FLAGS) dwFlags = o.Value.dwValue;
            if (o.dwOption == INTERNET_PER_CONN_PROXY_SERVER) server = text(o.Value.pszValue);
            if (o.dwOption == INTERNET_PER_CONN_PROXY_BYPASS) bypass = text(o.Value.pszValue);
            if (o.dwOption == INTERNET_PER_CONN_AUTOCONFIG_URL) autoConfigUrl = text(o.Value.pszValue);
        }
    }

    void HandTo(INTERNET_PER_CONN_OPTION_LISTA& list) const
    {
        auto text = [](const std::optional<std::string>& t) -> LPSTR {
            if (!t) return nullptr;
            LPSTR psz = static_cast<LPSTR>(GlobalAlloc(GMEM_FIXED, t->size() + 1));
            lstrcpyA(psz, t->c_str());
            return psz;
        };
        for (DWORD i = 0; i < list.dwOptionCount; ++i) {
            INTERNET_PER_CONN_OPTIONA& o = list.pOptions[i];
            if (o.dwOption == INTERNET_PER_CONN_FLAGS) o.Value.dwValue = dwFlags;
            if (o.dwOption == INTERNET_PER_CONN_PROXY_SERVER) o.Value.pszValue = text(server);
            if (o.dwOption == INTERNET_PER_CONN_PROXY_BYPASS) o.Value.pszValue = text(bypass);
            if (o.dwOption == INTERNET_PER_CONN_AUTOCONFIG_URL) o.Value.pszValue = text(autoConfigUrl);
        }
    }
};

inline std::ostream& operator<<(std::ostream& os, const ConnectionState& s)
{
    auto text = [](const std::optional<std::string>& t) { return t ? "\"" + *t + "\"" : std::string("none"); };
    return os << "{flags " << s.dwFlags << ", server " << text(s.server) << ", bypass " << text(s.bypass)
              << ", auto-config " << text(s.autoConfigUrl) << "}";
}
