// The vendor-server addresses.
#include "vendor_server.h"

#include "download.h"
#include "judge_answer.h"
#include "proxy_sources.h"

CString GetProxyListUrl(LPCTSTR pszUpdateServer)
{
    return VendorUrl(pszUpdateServer, PROXY_LIST_PATH);
}

CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer)
{
    return VendorUrl(pszUpdateServer, SPEED_SAMPLE_PATH);
}

CString GetSpeedSampleUrl(LPCTSTR pszUpdateServer, LPCTSTR pszJudgeUrls)
{
    if (IsRealUpdateServer(pszUpdateServer)) return GetSpeedSampleUrl(pszUpdateServer);
    std::vector<CString> judges = SplitJudgeUrls(pszJudgeUrls);
    return judges.empty() ? CString() : judges.front();
}

CString GetJudgeUrl(LPCTSTR pszJudgeUrl, LPCTSTR pszUpdateServer)
{
    CString strOwn(pszJudgeUrl);
    strOwn.Trim();
    if (!strOwn.IsEmpty()) return strOwn;
    if (!IsRealUpdateServer(pszUpdateServer)) return DEFAULT_PUBLIC_JUDGES;
    return VendorUrl(pszUpdateServer, JUDGE_PATH);
}
