// CTypedUrlCleaner: the typed addresses, one registry value object each.
#include "typed_url_cleaner.h"

#include "registry/reg_string_value.h"

#include <cstdio>

namespace {

const char kTypedUrlsKey[] = "Software\\Microsoft\\Internet Explorer\\TypedURLs\\";
const int kTypedUrlCount = 25;

} // namespace

void CTypedUrlCleaner::ClearTypedUrls()
{
    for (int n = 1; n <= kTypedUrlCount; ++n) {
        char szName[16];
        std::snprintf(szName, sizeof szName, "url%d", n);
        CString strPath = CString(kTypedUrlsKey) + szName;
        // Its construction reads the value; one that cannot be read is empty
        // and is not written, so no value is ever created here.
        CRegStringValue value(strPath, "", FALSE, HKEY_CURRENT_USER);
        if (!value.Get().IsEmpty()) value.Set("");
    }
}
