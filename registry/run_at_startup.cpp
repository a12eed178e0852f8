// RegisterRunAtStartup: one Run entry through a string value.
#include "registry/run_at_startup.h"

#include "registry/reg_string_value.h"

void RegisterRunAtStartup(LPCTSTR pszEntryName, LPCTSTR pszCommand)
{
    if (!pszEntryName || !*pszEntryName || !pszCommand || !*pszCommand) return;
    CString strPath(RUN_AT_STARTUP_KEY "\\");
    strPath += pszEntryName;
    CRegStringValue regRunEntry(strPath, "", FALSE, HKEY_LOCAL_MACHINE);
    regRunEntry.Set(pszCommand);
}
