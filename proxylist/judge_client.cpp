// The judge's HTTP/1.0 requests on the socket seam.
#include "judge_client.h"

#include "framework/core/socket_api.h"
#include "proxy_entry.h"
#include "tick_clock.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>

namespace {

// How often a wait looks at the cancel flag.
const DWORD kPollMs = 100;
// The longest a connect waits before the cancel flag is looked at again.
const DWORD kConnectSliceMs = 2000;
// More than any judge's page; an answer that goes on is cut here.
const int kMaxAnswerBytes = 64 * 1024;

// The entry's own bound inside the job's: whichever ends first.
class CEntryBound {
public:
    CEntryBound(const CNetDeadline& job, DWORD dwLimitMs) : m_job(job), m_dEndMs(CwMonotonicMs() + dwLimitMs) {}
    DWORD RemainingMs() const
    {
        DWORD dwJob = m_job.RemainingMs();
        double dLeft = m_dEndMs - CwMonotonicMs();
        if (dLeft <= 0) return 0;
        DWORD dwOwn = dLeft < 1.0 ? 1 : static_cast<DWORD>(dLeft);
        return dwOwn < dwJob ? dwOwn : dwJob;
    }
    BOOL JobOver() const { return m_job.IsOver(); }

private:
    const CNetDeadline& m_job;
    double m_dEndMs;
};

// Splits "http://host[:port]/path"; the port is 80 when the URL names none.
BOOL SplitHttpUrl(const CString& strUrl, CString& rHost, WORD& rPort, CString& rHostPort, CString& rPath)
{
    if (strUrl.Left(7).CompareNoCase("http://") != 0) return FALSE;
    CString strRest = strUrl.Mid(7);
    int nSlash = strRest.Find('/');
    rHostPort = nSlash < 0 ? strRest : strRest.Left(nSlash);
    rPath = nSlash < 0 ? CString("/") : strRest.Mid(nSlash);
    int nColon = rHostPort.Find(':');
    rHost = nColon < 0 ? rHostPort : rHostPort.Left(nColon);
    int nPort = nColon < 0 ? 80 : std::atoi(rHostPort.Mid(nColon + 1));
    if (rHost.IsEmpty() || nPort < 1 || nPort > 65535) return FALSE;
    rPort = static_cast<WORD>(nPort);
    return TRUE;
}

struct CFetch {
    DWORD dwStatus = 0;
    CString strBody;
    int nConnectMs = 0;
    int nResponseMs = 0;
    int nBytes = 0;
};

// Sends one request to addr:port and reads the answer to the end (the
// server closes: HTTP/1.0 without keep-alive) or to its Content-Length.
// FALSE when no whole answer came within the bound.
BOOL Fetch(DWORD dwAddr, WORD nPort, const CString& strRequest, const CEntryBound& bound, CFetch& rFetch)
{
    DWORD dwLeft = bound.RemainingMs();
    if (dwLeft == 0) return FALSE;
    double dStart = CwMonotonicMs();
    // A connect cannot look at the cancel flag while it waits: a host that
    // drops the handshake is tried in slices, so a cancel is seen between
    // them. A proxy slower than a slice to shake hands is of no use anyway.
    SOCKET_HANDLE s = NO_SOCKET;
    while (s == NO_SOCKET && (dwLeft = bound.RemainingMs()) > 0) {
        double dTry = CwMonotonicMs();
        s = SockConnectIPv4Within(dwAddr, nPort, dwLeft < kConnectSliceMs ? dwLeft : kConnectSliceMs);
        // Refused at once: no point in asking again.
        if (s == NO_SOCKET && CwMonotonicMs() - dTry < kConnectSliceMs / 2) break;
    }
    if (s == NO_SOCKET) return FALSE;
    double dConnected = CwMonotonicMs();
    rFetch.nConnectMs = static_cast<int>(dConnected - dStart) + 1;
    BOOL bDone = FALSE;
    CString strAnswer;
    if (SockSendAll(s, strRequest, strRequest.GetLength())) {
        char buf[4096];
        int nHeadEnd = -1;
        long nWant = -1;
        for (;;) {
            dwLeft = bound.RemainingMs();
            if (dwLeft == 0) break;
            int nReady = SockWaitReadable(s, NO_SOCKET, static_cast<int>(dwLeft < kPollMs ? dwLeft : kPollMs));
            if (nReady < 0) break;
            if (nReady == 0) continue;
            int n = SockRecv(s, buf, sizeof buf);
            if (n < 0) break;
            if (n == 0) {
                bDone = nHeadEnd >= 0;
                break;
            }
            strAnswer.Append(buf, n);
            if (strAnswer.GetLength() > kMaxAnswerBytes) break;
            if (nHeadEnd < 0 && (nHeadEnd = strAnswer.Find("\r\n\r\n")) >= 0) {
                CString strHead = strAnswer.Left(nHeadEnd);
                strHead.MakeLower();
                int nLen = strHead.Find("\r\ncontent-length:");
                if (nLen >= 0) nWant = std::atol(strHead.Mid(nLen + 17));
            }
            if (nHeadEnd >= 0 && nWant >= 0 && strAnswer.GetLength() - (nHeadEnd + 4) >= nWant) {
                bDone = TRUE;
                break;
            }
        }
        if (bDone) {
            rFetch.nResponseMs = static_cast<int>(CwMonotonicMs() - dConnected) + 1;
            rFetch.nBytes = strAnswer.GetLength();
            // "HTTP/1.x 200 ..."
            int nSpace = strAnswer.Find(' ');
            rFetch.dwStatus = nSpace > 0 ? static_cast<DWORD>(std::atoi(strAnswer.Mid(nSpace + 1))) : 0;
            rFetch.strBody = strAnswer.Mid(nHeadEnd + 4);
            if (nWant >= 0 && rFetch.strBody.GetLength() > nWant) rFetch.strBody = rFetch.strBody.Left(nWant);
        }
    }
    SockClose(s);
    return bDone;
}

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
    EJudgeBaseline eBest = JUDGE_BASELINE_NONE;
    for (const CString& strUrl : SplitJudgeUrls(pszJudgeUrl)) {
        if (deadline.IsOver()) break;
        CJudgeBaseline one;
        CString strHost;
        if (!SplitHttpUrl(strUrl, strHost, one.nPort, one.strHostPort, one.strPath)) continue;
        if (!ResolveIPv4Within(strHost, &one.dwAddr, deadline)) continue;
        CEntryBound bound(deadline, 0x7FFFFFFF);
        CFetch fetch;
        if (!Fetch(one.dwAddr, one.nPort, BuildJudgeRequest(one, MakeJudgeMarker(), FALSE), bound, fetch)) continue;
        one.eState = ReadJudgeBaseline(fetch.dwStatus, fetch.strBody, one.answer);
        if (one.eState == JUDGE_BASELINE_READY) {
            one.bValid = TRUE;
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
    CEntryBound bound(deadline, dwEntryLimitMs);
    CString strHost;
    int nPort = 0;
    SplitProxyEntry(pszEntry, strHost, nPort);
    strHost.Trim();
    DWORD dwAddr = 0;
    CFetch fetch;
    CString strMarker = MakeJudgeMarker();
    BOOL bAnswered =
        !strHost.IsEmpty() && nPort >= 1 && nPort <= 65535 && ResolveIPv4Within(strHost, &dwAddr, deadline) &&
        Fetch(dwAddr, static_cast<WORD>(nPort), BuildJudgeRequest(baseline, strMarker, TRUE), bound, fetch);
    rReport.nConnectMs = fetch.nConnectMs;
    if (!bAnswered) {
        // A job that ran out says nothing about this proxy.
        rReport.eGrade = bound.JobOver() ? PROXY_GRADE_UNTESTED : PROXY_GRADE_DEAD;
        return FALSE;
    }
    rReport.nResponseMs = fetch.nResponseMs;
    rReport.dKBPerSec = fetch.nBytes / 1024.0 / (fetch.nResponseMs / 1000.0);
    rReport.eGrade =
        GradeProxiedAnswer(baseline.answer, fetch.dwStatus, fetch.strBody, strMarker, rReport.strGiveaways);
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
