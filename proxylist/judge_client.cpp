// The judge's HTTP/1.0 requests over the upstream dialer.
#include "judge_client.h"

#include "https_probe.h"
#include "tick_clock.h"
#include "upstream_fetch.h"

#include <mutex>
#include <random>

namespace {

// More than any judge's page; an answer that goes on is cut here.
const int kMaxAnswerBytes = 64 * 1024;

// What GradeOneProxy leaves of the deadline after a judge's request, so a
// proxy that never answers is found dead before the job is over.
const DWORD kJudgeMarginMs = 500;

CString WithMarker(const CString& strPath, const CString& strMarker)
{
    return strPath + (strPath.Find('?') >= 0 ? "&cwm=" : "?cwm=") + strMarker;
}

// GradeProxy, giving also the status the proxy answered with (0: none).
BOOL GradeThrough(LPCTSTR pszEntry, const CJudgeTarget& judge, const CNetDeadline& deadline, DWORD dwEntryLimitMs,
                  CProxyGradeReport& rReport, DWORD& rdwStatus)
{
    rReport = CProxyGradeReport();
    rdwStatus = 0;
    if (deadline.IsOver()) return FALSE;
    CJobDialPolicy policy(deadline, dwEntryLimitMs);
    CUpstreamConfig upstream;
    UpstreamFromEntry(pszEntry, upstream);
    CUpstreamFetch fetch;
    CString strMarker = MakeJudgeMarker();
    // Through SOCKS the judge is asked for by its name, as the browser's
    // requests will be; an HTTP proxy finds it by the absolute URL.
    BOOL bAnswered =
        FetchThroughUpstream(upstream, judge.strHost, judge.nPort, BuildJudgeRequest(judge, upstream, strMarker),
                             policy, fetch, kMaxAnswerBytes);
    rReport.nConnectMs = fetch.nConnectMs;
    rReport.strFailure = fetch.dial.eFailure == DIAL_SOCKS_FAILED ? fetch.dial.Reason() : CString();
    if (!bAnswered) {
        // A job that ran out says nothing about this proxy.
        rReport.eGrade = policy.JobOver() ? PROXY_GRADE_UNTESTED : PROXY_GRADE_DEAD;
        return FALSE;
    }
    rdwStatus = fetch.dwStatus;
    rReport.nResponseMs = fetch.nFirstByteMs;
    rReport.dKBPerSec = SpeedOfSample(fetch.nBytes, fetch.nTransferMs);
    if (fetch.dwStatus == 407) rReport.strFailure = AccountRefusalText(upstream);
    rReport.eGrade = GradeProxiedAnswer(fetch.dwStatus, fetch.strBody, strMarker, rReport.strGiveaways);
    return rReport.eGrade != PROXY_GRADE_DEAD;
}

} // namespace

CString MakeJudgeMarker()
{
    static std::mutex s_lock;
    static std::mt19937_64 s_random{std::random_device{}() ^ static_cast<unsigned long long>(CwMonotonicMs() * 1000)};
    unsigned long long nValue;
    {
        std::lock_guard<std::mutex> guard(s_lock);
        nValue = s_random();
    }
    CString strMarker;
    strMarker.Format("%08lx%08lx", static_cast<unsigned long>(nValue >> 32),
                     static_cast<unsigned long>(nValue & 0xFFFFFFFF));
    return strMarker;
}

std::vector<CJudgeTarget> ReadJudgeTargets(LPCTSTR pszJudgeUrls)
{
    std::vector<CJudgeTarget> judges;
    for (const CString& strUrl : SplitJudgeUrls(pszJudgeUrls)) {
        CJudgeTarget judge;
        if (SplitHttpUrl(strUrl, judge.strHost, judge.nPort, judge.strHostPort, judge.strPath)) judges.push_back(judge);
    }
    return judges;
}

CString BuildJudgeRequest(const CJudgeTarget& judge, const CUpstreamConfig& route, const CString& strMarker)
{
    return BuildProxiedGet(route, judge.strHostPort, WithMarker(judge.strPath, strMarker));
}

BOOL GradeProxy(LPCTSTR pszEntry, const CJudgeTarget& judge, const CNetDeadline& deadline, DWORD dwEntryLimitMs,
                CProxyGradeReport& rReport)
{
    DWORD dwStatus = 0;
    return GradeThrough(pszEntry, judge, deadline, dwEntryLimitMs, rReport, dwStatus);
}

BOOL GradeOneProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrls, const CNetDeadline& deadline, CProxyGradeReport& rReport)
{
    rReport = CProxyGradeReport();
    std::vector<CJudgeTarget> judges = ReadJudgeTargets(pszJudgeUrls);
    if (judges.empty()) return FALSE;
    for (const CJudgeTarget& judge : judges) {
        DWORD dwLeft = deadline.RemainingMs();
        DWORD dwStatus = 0;
        if (GradeThrough(pszEntry, judge, deadline, dwLeft > kJudgeMarginMs ? dwLeft - kJudgeMarginMs : dwLeft, rReport,
                         dwStatus))
            break;
        // The proxy said it could not reach this judge: the next may do.
        if (dwStatus == 0 || dwStatus == 200 || dwStatus == 407) break;
    }
    // A proxy that works is then asked for a tunnel to the list's https://
    // judge, within what is left of the same deadline.
    CJudgeTarget httpsJudge;
    if (rReport.eGrade > PROXY_GRADE_DEAD && FindHttpsJudge(pszJudgeUrls, httpsJudge)) {
        CUpstreamConfig upstream;
        UpstreamFromEntry(pszEntry, upstream);
        DWORD dwLeft = deadline.RemainingMs();
        CJobDialPolicy policy(deadline, dwLeft > kJudgeMarginMs ? dwLeft - kJudgeMarginMs : dwLeft);
        TestHttpsThroughProxy(upstream, httpsJudge, policy, rReport);
    }
    return TRUE;
}
