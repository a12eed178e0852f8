// The process-wide settings: one registry-backed value object per value
// under HKEY_LOCAL_MACHINE\Software\Cloakwall, each read once when static
// initialisation builds it. Read with Get, write with Set; nothing else
// touches these registry values.
#pragma once

#include "framework/core/cstring.h"
#include "registry/reg_dword_value.h"
#include "registry/reg_multi_string_value.h"
#include "registry/reg_string_value.h"

// The key that holds every setting, relative to HKEY_LOCAL_MACHINE.
#define CLOAKWALL_SETTINGS_KEY "Software\\Cloakwall"

// Where the proxy list, the proxy-generator page and the speed sample come
// from until an installer (or a test) stores UpdateServer: a name under the
// reserved ".invalid" domain, so a fresh install asks nobody anything.
#define CLOAKWALL_DEFAULT_UPDATE_SERVER "cloakwall-update.invalid"

extern CRegStringValue g_regAppPath;   // AppPath: the application folder, ending with "\"
extern CString g_strAppPath;           // filled from g_regAppPath at start-up
extern CRegDwordValue g_regLocalPort;  // LocalPort: reserved, default 8080, never read
extern CRegDwordValue g_regUseProxy;   // UseProxy: anonymous browsing switched on (1) or off (0)
extern CRegStringValue g_regProxyName; // ProxyName: the upstream proxy last switched on, host:port
// The boxes "Enable Java Script" and "Enable Active X" switch the content
// filter on, whatever their labels suggest: ticked stores 1, and 1 has the
// proxy rename script (or object) tags so the browser runs none of them.
extern CRegDwordValue g_regEnableJS;        // EnableJS: 1 renames script tags
extern CRegDwordValue g_regEnableActiveX;   // EnableActiveX: 1 renames embedded-object tags
extern CRegDwordValue g_regClearTmpFiles;   // ClearTmpFiles: cleaner job, default on
extern CRegDwordValue g_regClearCookies;    // ClearCookies: cleaner job, default on
extern CRegDwordValue g_regDeleteAddresses; // DeleteAddresses: cleaner job, default on
extern CRegDwordValue g_regDeleteHistory;   // DeleteHistory: cleaner job, default on
extern CRegDwordValue g_regMinimize;        // Minimize: 1 starts hidden in the tray
extern CRegDwordValue g_regRunFirst;        // RunFirst: 0 until the first-run work is done
extern CRegStringValue g_regUpdateServer;   // UpdateServer: the vendor server, "host" or "host:port"
// JudgeUrl: http:// URLs of proxy judges, separated by blanks, asked in
// order; empty (the default) asks the judge on the vendor server when one is
// set (see judge_answer.h).
extern CRegStringValue g_regJudgeUrl;
// ProxySources: the lists the proxy list is read from besides the vendor's
// and the user's own file, each an http:// or https:// URL or a file path;
// a few public lists while the value is missing (see proxy_sources.h).
extern CRegMultiStringValue g_regProxySources;
// ProxyBypass: what the browser reaches without the proxy, ";" between
// entries (WinINet's bypass list); by default the local network and this
// machine (see browser/proxy_bypass.h).
extern CRegStringValue g_regProxyBypass;
