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
    // A plain judge: the sample is fetched as a plain page, and an https://
    // judge is only for the tunnel.
    for (const CString& strJudge : SplitJudgeUrls(pszJudgeUrls))
        if (strJudge.Left(8).CompareNoCase("https://") != 0) return strJudge;
    return CString();
}

CString GetJudgeUrl(LPCTSTR pszJudgeUrl, LPCTSTR pszUpdateServer)
{
    CString strOwn(pszJudgeUrl);
    strOwn.Trim();
    if (!strOwn.IsEmpty()) return strOwn;
    if (!IsRealUpdateServer(pszUpdateServer)) return DEFAULT_PUBLIC_JUDGES;
    return VendorUrl(pszUpdateServer, JUDGE_PATH);
}
