// The vendor-server addresses.
#include "vendor_server.h"

#include "download.h"

CString GetProxyListUrl(LPCTSTR pszUpdateServer)
{
    return VendorUrl(pszUpdateServer, PROXY_LIST_PATH);
}

CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer)
{
    return VendorUrl(pszUpdateServer, SPEED_SAMPLE_PATH);
}
