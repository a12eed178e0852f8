// The vendor-server addresses.
#include "vendor_server.h"

#include "download.h"
#include "judge_answer.h"

CString GetProxyListUrl(LPCTSTR pszUpdateServer)
{
    return VendorUrl(pszUpdateServer, PROXY_LIST_PATH);
}

CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer)
{
    return VendorUrl(pszUpdateServer, SPEED_SAMPLE_PATH);
}

BOOL IsVendorServerSet(LPCTSTR pszUpdateServer)
{
    CString strHost(pszUpdateServer);
    strHost.Trim();
    // "host:port": the port says nothing about the domain.
    int nColon = strHost.ReverseFind(':');
    if (nColon >= 0 && strHost.Find(':') == nColon) strHost = strHost.Left(nColon);
    strHost.TrimRight(".");
    strHost.MakeLower();
    return !strHost.IsEmpty() && strHost != "invalid" && strHost.Right(8) != ".invalid";
}

CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer, LPCTSTR pszJudgeUrls)
{
    if (IsVendorServerSet(pszUpdateServer)) return GetSpeedSampleUrl(pszUpdateServer);
    std::vector<CString> judges = SplitJudgeUrls(pszJudgeUrls);
    return judges.empty() ? CString() : judges.front();
}
