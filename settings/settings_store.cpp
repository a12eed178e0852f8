// The settings objects, defined in one translation unit so that static
// initialisation builds them in exactly this order, each reading its value.
// Nothing else happens here: start-up work belongs to the application.
#include "settings/settings_store.h"

#include "browser/proxy_bypass.h"
#include "proxylist/proxy_sources.h"

#define SETTING(name) CLOAKWALL_SETTINGS_KEY "\\" name

CRegStringValue g_regAppPath(SETTING("AppPath"), "", FALSE, HKEY_LOCAL_MACHINE);
CString g_strAppPath;
CRegDwordValue g_regLocalPort(SETTING("LocalPort"), 8080, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regUseProxy(SETTING("UseProxy"), 0, FALSE, HKEY_LOCAL_MACHINE);
CRegStringValue g_regProxyName(SETTING("ProxyName"), "", FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regEnableJS(SETTING("EnableJS"), 0, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regEnableActiveX(SETTING("EnableActiveX"), 0, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regClearTmpFiles(SETTING("ClearTmpFiles"), 1, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regClearCookies(SETTING("ClearCookies"), 1, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regDeleteAddresses(SETTING("DeleteAddresses"), 1, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regDeleteHistory(SETTING("DeleteHistory"), 1, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regMinimize(SETTING("Minimize"), 0, FALSE, HKEY_LOCAL_MACHINE);
CRegDwordValue g_regRunFirst(SETTING("RunFirst"), 0, FALSE, HKEY_LOCAL_MACHINE);
CRegStringValue g_regUpdateServer(SETTING("UpdateServer"), CLOAKWALL_DEFAULT_UPDATE_SERVER, FALSE, HKEY_LOCAL_MACHINE);
CRegStringValue g_regJudgeUrl(SETTING("JudgeUrl"), "", FALSE, HKEY_LOCAL_MACHINE);
CRegMultiStringValue g_regProxySources(SETTING("ProxySources"), g_rgszDefaultProxySources, g_nDefaultProxySources,
                                       FALSE, HKEY_LOCAL_MACHINE);
CRegStringValue g_regProxyBypass(SETTING("ProxyBypass"), CLOAKWALL_DEFAULT_PROXY_BYPASS, FALSE, HKEY_LOCAL_MACHINE);
