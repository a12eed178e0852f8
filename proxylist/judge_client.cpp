// The judge's HTTP/1.0 requests over the upstream dialer.
#include "judge_client.h"

#include "framework/core/socket_api.h"
#include "https_probe.h"
#include "tick_clock.h"
#include "upstream_fetch.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

namespace {

// More than any judge's page; an answer that goes on is cut here.
const int kMaxAnswerBytes = 64 * 1024;

// The same request head, directly (path form) and through a proxy (the
// absolute form proxies expect), so the judge sees the same client headers.
CString JudgeRequest(const CJudgeBaseline& baseline, const CString& strTarget)
{
    return "GET " + strTarget + " HTTP/1.0\r\nHost: " + baseline.strHostPort +
           "\r\nUser-Agent: Mozilla/4.0 (compatible; Cloakwall)\r\nAccept: */*\r\nConnection: close\r\n\r\n";
}

CString WithMarker(const CString& strPath, const CString& strMarker)
{
    return strPath + (strPath.Find('?') >= 0 ? "&cwm=" : "?cwm=") + strMarker;
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

CString BuildJudgeRequest(const CJudgeBaseline& baseline, const CString& strMarker, BOOL bThroughProxy)
{
    CString strTarget = WithMarker(baseline.strPath, strMarker);
    if (bThroughProxy) strTarget = "http://" + baseline.strHostPort + strTarget;
    return JudgeRequest(baseline, strTarget);
}

BOOL AskJudgeDirect(LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, CJudgeBaseline& rBaseline)
{
    rBaseline = CJudgeBaseline();
    rBaseline.strJudgeUrls = pszJudgeUrl;
    EJudgeBaseline eBest = JUDGE_BASELINE_NONE;
    for (const CString& strUrl : SplitJudgeUrls(pszJudgeUrl)) {
        if (deadline.IsOver()) break;
        CJudgeBaseline one;
        if (!SplitHttpUrl(strUrl, one.strHost, one.nPort, one.strHostPort, one.strPath)) continue;
        if (!ResolveIPv4Within(one.strHost, &one.dwAddr, deadline)) continue;
        // To the address found once, not the name: a second lookup would
        // cost the time again.
        const unsigned char* pb = reinterpret_cast<const unsigned char*>(&one.dwAddr);
        CString strAddr;
        strAddr.Format("%u.%u.%u.%u", pb[0], pb[1], pb[2], pb[3]);
        CJobDialPolicy policy(deadline, 0x7FFFFFFF);
        CUpstreamConfig direct;
        CUpstreamFetch fetch;
        if (!FetchThroughUpstream(direct, strAddr, one.nPort, BuildJudgeRequest(one, MakeJudgeMarker(), FALSE), policy,
                                  fetch, kMaxAnswerBytes))
            continue;
        one.eState = ReadJudgeBaseline(fetch.dwStatus, fetch.strBody, one.answer);
        if (one.eState == JUDGE_BASELINE_READY) {
            one.bValid = TRUE;
            one.strJudgeUrls = pszJudgeUrl;
            rBaseline = one;
            return TRUE;
        }
        if (one.eState == JUDGE_BASELINE_BLIND) eBest = JUDGE_BASELINE_BLIND;
    }
    rBaseline.eState = eBest;
    return FALSE;
}

BOOL GradeProxy(LPCTSTR pszEntry, const CJudgeBaseline& baseline, const CNetDeadline& deadline, DWORD dwEntryLimitMs,
                CProxyGradeReport& rReport)
{
    rReport = CProxyGradeReport();
    if (!baseline.bValid || deadline.IsOver()) return FALSE;
    CJobDialPolicy policy(deadline, dwEntryLimitMs);
    CUpstreamConfig upstream;
    UpstreamFromEntry(pszEntry, upstream);
    CUpstreamFetch fetch;
    CString strMarker = MakeJudgeMarker();
    // An HTTP proxy gets the absolute form; through SOCKS the judge gets
    // the request itself, and is asked for by its name, as the browser's
    // requests will be.
    BOOL bAnswered = FetchThroughUpstream(upstream, baseline.strHost, baseline.nPort,
                                          BuildJudgeRequest(baseline, strMarker, upstream.eKind == UPSTREAM_HTTP),
                                          policy, fetch, kMaxAnswerBytes);
    rReport.nConnectMs = fetch.nConnectMs;
    rReport.strFailure = fetch.dial.eFailure == DIAL_SOCKS_FAILED ? fetch.dial.Reason() : CString();
    if (!bAnswered) {
        // A job that ran out says nothing about this proxy.
        rReport.eGrade = policy.JobOver() ? PROXY_GRADE_UNTESTED : PROXY_GRADE_DEAD;
        return FALSE;
    }
    rReport.nResponseMs = fetch.nResponseMs;
    rReport.dKBPerSec = fetch.nBytes / 1024.0 / (fetch.nResponseMs / 1000.0);
    rReport.eGrade =
        GradeProxiedAnswer(baseline.answer, fetch.dwStatus, fetch.strBody, strMarker, rReport.strGiveaways);
    CJudgeBaseline httpsJudge;
    if (rReport.eGrade > PROXY_GRADE_DEAD && FindHttpsJudge(baseline.strJudgeUrls, httpsJudge))
        TestHttpsThroughProxy(upstream, httpsJudge, baseline, policy, rReport);
    return rReport.eGrade != PROXY_GRADE_DEAD;
}

BOOL GradeOneProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, CProxyGradeReport& rReport)
{
    rReport = CProxyGradeReport();
    CJudgeBaseline baseline;
    if (!AskJudgeDirect(pszJudgeUrl, deadline, baseline)) {
        rReport.bJudgeBlind = baseline.eState == JUDGE_BASELINE_BLIND;
        return FALSE;
    }
    GradeProxy(pszEntry, baseline, deadline, 0x7FFFFFFF, rReport);
    return TRUE;
}
