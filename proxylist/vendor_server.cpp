// The vendor-server addresses, from the UpdateServer setting.
#include "vendor_server.h"

#include "download.h"
#include "proxy_tester.h"
#include "settings/settings_store.h"

CString GetUpdateServer()
{
    CString server = g_regUpdateServer.Get();
    server.Trim();
    return server;
}

CString GetProxyListUrl()
{
    return VendorUrl(GetUpdateServer(), PROXY_LIST_PATH);
}

CString GetSpeedSampleUrl()
{
    return VendorUrl(GetUpdateServer(), SPEED_SAMPLE_PATH);
}

double MeasureDownloadSpeed(LPCTSTR pszHost, int nPort)
{
    return MeasureDownloadSpeed(pszHost, nPort, GetSpeedSampleUrl());
}

BOOL RequestProxyGenPage()
{
    return RequestProxyGenPage(GetUpdateServer());
}
