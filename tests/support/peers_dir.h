// The folder where a CTest fixture's Linux-side peers (vendor stand-in,
// tinyproxy, stand-in proxies) leave their ports and logs, as this Windows
// process sees it through Wine's Z: drive.
#pragma once

#include <cstdlib>
#include <string>

// "Z:\...\" from CW_PEERS_DIR, or empty when the test was not started by ctest.
inline std::string PeersDir()
{
    const char* dir = std::getenv("CW_PEERS_DIR");
    if (!dir || !*dir) return std::string();
    std::string path = std::string("Z:") + dir;
    for (char& ch : path)
        if (ch == '/') ch = '\\';
    return path + "\\";
}
