// Start-up's look at the stored bypass list.
#include "settings/proxy_bypass_setting.h"

#include "browser/proxy_bypass.h"
#include "settings/settings_store.h"

void ReplaceEarlierDefaultBypass()
{
    // A value never stored reads as today's default and is left unwritten.
    if (g_regProxyBypass.Get() == CLOAKWALL_EARLIER_PROXY_BYPASS) g_regProxyBypass.Set(CLOAKWALL_DEFAULT_PROXY_BYPASS);
}
