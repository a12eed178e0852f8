// SetBrowserTitle and ClearBrowserTitle over two short-lived string values.
#include "browser/browser_title.h"

#include "registry/reg_string_value.h"

namespace {

const char kWindowTitlePath[] = "\\Software\\Microsoft\\Internet Explorer\\Main\\Window Title";

} // namespace

void SetBrowserTitle()
{
    CRegStringValue regMachine(kWindowTitlePath, "", FALSE, HKEY_LOCAL_MACHINE);
    CRegStringValue regUser(kWindowTitlePath, "", FALSE, HKEY_CURRENT_USER);
    // A copy that cannot be written (no right to the machine-wide key) is
    // dropped by the value object; the other copy is still written.
    regMachine.Set("Cloakwall is Enabled");
    regUser.Set("Cloakwall is Enabled");
}

void ClearBrowserTitle()
{
    CRegStringValue regMachine(kWindowTitlePath, "", FALSE, HKEY_LOCAL_MACHINE);
    CRegStringValue regUser(kWindowTitlePath, "", FALSE, HKEY_CURRENT_USER);
    // A first Set always writes, so only copies that were read - that exist -
    // are emptied; clearing never creates a caption value.
    if (regMachine.IsRead()) regMachine.Set("");
    if (regUser.IsRead()) regUser.Set("");
}
