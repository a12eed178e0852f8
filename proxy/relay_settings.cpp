// The relay's settings snapshot: the upstream configuration in force and the
// filter switches, compared with what is published now.
#include "proxy/internal/relay_settings.h"

#include "proxy/filter_switches.h"

CRelaySettings TakeRelaySettings()
{
    CRelaySettings settings;
    settings.pConfig = GetUpstreamConfig();
    settings.dwEnableJS = ReadEnableJS();
    settings.dwEnableActiveX = ReadEnableActiveX();
    return settings;
}

BOOL AreRelaySettingsCurrent(CRelaySettings& rSettings)
{
    // Taken after a switch-off (a head that came once the listener was
    // gone): they carry nothing.
    if (rSettings.pConfig->bSwitchedOff) return FALSE;
    if (ReadEnableJS() != rSettings.dwEnableJS || ReadEnableActiveX() != rSettings.dwEnableActiveX) return FALSE;
    CUpstreamConfigPtr pNow = GetUpstreamConfig();
    if (pNow == rSettings.pConfig) return TRUE;
    if (!rSettings.pConfig || !IsSameUpstream(*pNow, *rSettings.pConfig)) return FALSE;
    rSettings.pConfig = std::move(pNow);
    return TRUE;
}
