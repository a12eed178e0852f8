// RegisterRunAtStartup: copies AppFullPath into the Run entry "Cloakwall".
#include "registry/run_at_startup.h"

#include "registry/reg_string_value.h"

void RegisterRunAtStartup()
{
    CRegStringValue regSource("\\Software\\Cloakwall\\AppFullPath", "", FALSE, HKEY_LOCAL_MACHINE);
    CString strPath = regSource.Get();

    CRegStringValue regRunEntry("\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Cloakwall", "",
                                FALSE, HKEY_LOCAL_MACHINE);
    // Without a path there is nothing to start: an entry someone else made
    // (or an earlier install) is left as it is rather than blanked. A path
    // of blanks alone names nothing either.
    CString strTrimmed(strPath);
    strTrimmed.Trim();
    if (strTrimmed.IsEmpty())
        return;
    regRunEntry.Set(strPath);
}
