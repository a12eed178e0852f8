// connection_state: reads or sets the prefix user's WinINet connection the
// way a browser sees it, for the installer test, which runs in a shell.
//   connection_state query          prints "flags=N server=TEXT"
//   connection_state proxy HOST:PORT points the connection at a proxy, as
//                                    anonymous browsing does
#include "browser/connection_options.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>

namespace {

int Query()
{
    INTERNET_PER_CONN_OPTIONA options[2] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    INTERNET_PER_CONN_OPTION_LISTA list = {};
    list.dwSize = sizeof(list);
    list.pszConnection = const_cast<LPSTR>(g_pszConnectionName);
    list.dwOptionCount = 2;
    list.pOptions = options;
    DWORD cb = sizeof(list);
    if (!InternetQueryOptionA(NULL, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &cb)) {
        std::fprintf(stderr, "InternetQueryOptionA failed: %lu\n", GetLastError());
        return 1;
    }
    std::printf("flags=%lu server=%s\n", options[0].Value.dwValue,
                options[1].Value.pszValue ? options[1].Value.pszValue : "");
    if (options[1].Value.pszValue) GlobalFree(options[1].Value.pszValue);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "query") == 0) return Query();
    if (argc == 3 && std::strcmp(argv[1], "proxy") == 0)
        return SetConnectionOptions(g_pszConnectionName, argv[2]) ? 0 : 1;
    std::fprintf(stderr, "usage: connection_state query | proxy HOST:PORT\n");
    return 2;
}
