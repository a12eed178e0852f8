// RegisterRunAtStartup: one Run entry through a string value.
#include "registry/run_at_startup.h"

#include "registry/reg_string_value.h"

void RegisterRunAtStartup(LPCTSTR pszEntryName, LPCTSTR pszCommand)
{
    if (!pszEntryName || !*pszEntryName || !pszCommand) return;
    // Without a command there is nothing to start: an entry someone else made
    // (or an earlier install) is left as it is rather than blanked. A command
    // of blanks alone names nothing either.
    CString strTrimmed(pszCommand);
    strTrimmed.Trim();
    if (strTrimmed.IsEmpty()) return;
    CString strPath(RUN_AT_STARTUP_KEY "\\");
    strPath += pszEntryName;
    CRegStringValue regRunEntry(strPath, "", FALSE, HKEY_LOCAL_MACHINE);
    regRunEntry.Set(pszCommand);
}
