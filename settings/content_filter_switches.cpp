// The relays read the switches on their own threads; CRegDwordValue::Get is
// safe there because its cache is atomic.
#include "settings/content_filter_switches.h"

#include "proxy/filter_switches.h"
#include "settings/settings_store.h"

namespace {

DWORD ReadEnableJSSetting()
{
    return g_regEnableJS.Get();
}

DWORD ReadEnableActiveXSetting()
{
    return g_regEnableActiveX.Get();
}

} // namespace

void UseSettingsForContentFilter()
{
    SetFilterSwitchSource(ReadEnableJSSetting, ReadEnableActiveXSetting);
}
