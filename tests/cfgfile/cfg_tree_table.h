// The descriptor table the tree-file tests share: two sections, items with
// one and with several values of every kind.
#pragma once

#include "cfgfile/cfg_node.h"

namespace cfgtest {

enum {
    ID_NET = 100,
    ID_PORT,
    ID_PORT_V,
    ID_PROXY,
    ID_PROXY_HOST,
    ID_PROXY_ON,
    ID_TIMEOUT,
    ID_TIMEOUT_V,
    ID_UI,
    ID_TITLE,
    ID_TITLE_V,
    ID_FLAGS,
    ID_FLAGS_A,
    ID_FLAGS_B,
    ID_FLAGS_LEVEL,
};

const CFG_NODE_DESC kTreeTable[] = {
    {cfgTypeSection, ID_NET, 0, 0, 0, "Net"},
    {cfgTypeItem, ID_PORT, 1, 0, 0, "Port"},
    {cfgTypeNum, ID_PORT_V, 1, 65535, 8080, nullptr},
    {cfgTypeItem, ID_PROXY, 2, 0, 0, "Proxy"},
    {cfgTypeString, ID_PROXY_HOST, 0, 0, 0, "host:3128"},
    {cfgTypeBool, ID_PROXY_ON, 0, 0, 1, nullptr},
    {cfgTypeItem, ID_TIMEOUT, 1, 0, 0, "Timeout"},
    {cfgTypeNum, ID_TIMEOUT_V, 0, 0, 30, nullptr},
    {cfgTypeSection, ID_UI, 0, 0, 0, "Ui"},
    {cfgTypeItem, ID_TITLE, 1, 0, 0, "Title"},
    {cfgTypeString, ID_TITLE_V, 0, 0, 0, "Cloakwall"},
    {cfgTypeItem, ID_FLAGS, 3, 0, 0, "Flags"},
    {cfgTypeBool, ID_FLAGS_A, 0, 0, 0, nullptr},
    {cfgTypeBool, ID_FLAGS_B, 0, 0, 1, nullptr},
    {cfgTypeNum, ID_FLAGS_LEVEL, 1, 9, 3, nullptr},
    {cfgTypeEnd, 0, 0, 0, 0, nullptr},
};

// What a save of the table's defaults into an empty file gives: sections in
// table order, items of a section newest first.
inline std::vector<std::string> DefaultLines()
{
    return {"[Net]", "Timeout 30", "Proxy \"host:3128\",1", "Port 8080",
            "",      "[Ui]",       "Flags 0,1,3",           "Title \"Cloakwall\""};
}

} // namespace cfgtest
