// RegisterRunAtStartupFromSettings: AppFullPath into the Run entry.
#include "settings/run_at_startup_setting.h"

#include "registry/run_at_startup.h"
#include "settings/settings_store.h"

void RegisterRunAtStartupFromSettings()
{
    // Not one of the settings objects: only an installer writes it, and only
    // this registration reads it.
    CRegStringValue regAppFullPath(CLOAKWALL_SETTINGS_KEY "\\AppFullPath", "", FALSE, HKEY_LOCAL_MACHINE);
    RegisterRunAtStartup(CLOAKWALL_RUN_ENTRY, regAppFullPath.Get());
}
