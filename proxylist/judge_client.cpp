// The judge's HTTP/1.0 requests on the socket seam.
#include "judge_client.h"

#include "framework/core/socket_api.h"
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

BOOL AskJudgeDirect(LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, CJudgeBaseline& rBaseline)
{
    rBaseline = CJudgeBaseline();
    CString strHost;
    if (!SplitHttpUrl(pszJudgeUrl, strHost, rBaseline.nPort, rBaseline.strHostPort, rBaseline.strPath)) return FALSE;
    if (!ResolveIPv4Within(strHost, &rBaseline.dwAddr, deadline)) return FALSE;
    rBaseline.strHost = strHost;
    CJobDialPolicy policy(deadline, 0x7FFFFFFF);
    CUpstreamFetch fetch;
    CUpstreamConfig direct;
    CString strRequest = JudgeRequest(rBaseline, WithMarker(rBaseline.strPath, MakeJudgeMarker()));
    // To the address found once, not the name: a second lookup would cost
    // the time again.
    const unsigned char* pb = reinterpret_cast<const unsigned char*>(&rBaseline.dwAddr);
    CString strAddr;
    strAddr.Format("%u.%u.%u.%u", pb[0], pb[1], pb[2], pb[3]);
    if (!FetchThroughUpstream(direct, strAddr, rBaseline.nPort, strRequest, policy, fetch, kMaxAnswerBytes) ||
        fetch.dwStatus != 200)
        return FALSE;
    if (!ParseJudgeAnswer(fetch.strBody, rBaseline.answer) || !rBaseline.answer.bIntact) return FALSE;
    rBaseline.bValid = TRUE;
    return TRUE;
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
    // Through SOCKS the judge is asked for by its name, as the browser's
    // requests will be.
    CString strTarget = RequestTargetFor(upstream, baseline.strHostPort, WithMarker(baseline.strPath, strMarker));
    BOOL bAnswered = FetchThroughUpstream(upstream, baseline.strHost, baseline.nPort, JudgeRequest(baseline, strTarget),
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
    CJudgeAnswer proxied;
    if (fetch.dwStatus != 200) {
        rReport.eGrade = PROXY_GRADE_DEAD;
        return FALSE;
    }
    // A page of the proxy's own in place of the judge's is a change too.
    if (!ParseJudgeAnswer(fetch.strBody, proxied)) {
        rReport.eGrade = PROXY_GRADE_TAMPERING;
        return TRUE;
    }
    rReport.eGrade = GradeJudgeAnswers(baseline.answer, proxied, strMarker, rReport.strGiveaways);
    return TRUE;
}

BOOL GradeOneProxy(LPCTSTR pszEntry, LPCTSTR pszJudgeUrl, const CNetDeadline& deadline, CProxyGradeReport& rReport)
{
    rReport = CProxyGradeReport();
    CJudgeBaseline baseline;
    if (!AskJudgeDirect(pszJudgeUrl, deadline, baseline)) return FALSE;
    GradeProxy(pszEntry, baseline, deadline, 0x7FFFFFFF, rReport);
    return TRUE;
}
