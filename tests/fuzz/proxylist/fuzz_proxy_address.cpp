// Fuzz target: the proxy address reader and the masked text on arbitrary lines.
#include "proxylist/proxy_address.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) std::abort();                                                                                     \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string line(reinterpret_cast<const char*>(data), size);
    CProxyAddress address;
    const BOOL found = ParseProxyAddress(line.c_str(), address);
    const CString shown = MaskProxyPassword(line.c_str());
    if (!found) {
        CHECK(shown == CString(line.c_str()));
        return 0;
    }
    CHECK(address.nPort >= 1 && address.nPort <= 65535);
    CHECK(!address.strHost.IsEmpty());
    CHECK(address.strPassword.IsEmpty() || !address.strUser.IsEmpty());
    // The masked text differs from the line only where the password was.
    const int hidden = address.strPassword.GetLength();
    CHECK(shown.GetLength() == static_cast<int>(std::string(line.c_str()).size()) - hidden + (hidden ? 3 : 0));

    // What is written to disk reads as the same proxy and user, without
    // the password.
    if (hidden) {
        CProxyAddress stored;
        CHECK(ParseProxyAddress(ProxyEntryWithoutPassword(line.c_str()), stored));
        CHECK(ProxyAddressKey(stored) == ProxyAddressKey(address));
        CHECK(stored.strUser == address.strUser && stored.strPassword.IsEmpty());
    }

    // The address written back in URL form reads as the same proxy.
    const bool v6 = address.strHost.Find(':') >= 0;
    CString url;
    url.Format("%s://%s%s%s:%d", ProxySchemeName(address.scheme), v6 ? "[" : "", address.strHost.GetString(),
               v6 ? "]" : "", address.nPort);
    CProxyAddress again;
    CHECK(ParseProxyAddress(url, again));
    CHECK(ProxyAddressKey(again) == ProxyAddressKey(address));
    return 0;
}
