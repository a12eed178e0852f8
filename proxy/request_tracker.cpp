// Request framing on a kept-alive connection.
#include "proxy/internal/request_tracker.h"

#include "framework/core/text_number.h"
#include "proxy/content_filter.h"
#include "proxy/filter_switches.h"
#include "proxy/internal/private_target.h"
#include "proxy/internal/self_target.h"

namespace {

// A request longer than this (head and body) is not kept to be sent again.
const size_t MAX_REPEATED_REQUEST = 16 * 1024;

std::string Trimmed(const CString& strValue)
{
    std::string s = strValue.str();
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

std::string Lowered(std::string s)
{
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

} // namespace

bool DescribeRequest(const CRequestHead& head, CRequestFraming& framing)
{
    framing = CRequestFraming();
    const std::string& line = head.m_strRequestLine.str();
    size_t nMethodEnd = line.find(' ');
    size_t nVersion = line.rfind(' ');
    if (nMethodEnd == std::string::npos || nVersion == nMethodEnd) return false;
    std::string method = line.substr(0, nMethodEnd);
    std::string version = line.substr(nVersion + 1);
    if (version == "HTTP/1.1")
        framing.request.bClient11 = true;
    else if (version == "HTTP/1.0")
        framing.request.bClient11 = false;
    else
        return false;
    framing.request.bHead = method == "HEAD";
    framing.request.bConnect = method == "CONNECT";
    framing.bPassAfter = framing.request.bConnect;

    bool bTransfer = false, bLength = false, bClose = false, bKeepAlive = false;
    std::string transfer, length;
    for (int i = 0; i < head.m_headers.GetSize(); ++i) {
        const CHeaderField& field = head.m_headers[i];
        if (!field.m_bHasColon) continue;
        std::string name = Lowered(field.m_strName.str());
        std::string value = Trimmed(field.m_strValue);
        if (name == "transfer-encoding") {
            transfer += (bTransfer ? "," : "") + Lowered(value);
            bTransfer = true;
        } else if (name == "content-length") {
            if (bLength && value != length) return false;
            length = value;
            bLength = true;
        } else if (name == "upgrade") {
            framing.bPassAfter = true;
        } else if (name == "connection") {
            const std::string tokens = "," + Lowered(field.m_strValue.str()) + ",";
            for (size_t b = 0, e; b < tokens.size(); b = e + 1) {
                e = tokens.find(',', b);
                const std::string token = Trimmed(CString(tokens.substr(b, e - b).c_str()));
                if (token == "close") bClose = true;
                if (token == "keep-alive") bKeepAlive = true;
            }
        }
    }
    framing.bLast = bClose || (!framing.request.bClient11 && !bKeepAlive);
    framing.request.bLast = framing.bLast;
    if (bTransfer) {
        // Only chunked is a request body whose end we can find.
        std::string last = transfer.substr(transfer.rfind(',') == std::string::npos ? 0 : transfer.rfind(',') + 1);
        if (Trimmed(CString(last.c_str())) != "chunked") return false;
        framing.bChunked = true;
        return true;
    }
    if (bLength) {
        if (length.empty() || length.size() > 15) return false;
        for (char ch : length)
            if (ch < '0' || ch > '9') return false;
        framing.nLength = std::stoull(length);
    }
    return true;
}

void CRequestTracker::SendToOrigin(const CString& strHost, int nPort)
{
    m_bToOrigin = true;
    m_strOriginHost = strHost;
    m_nOriginPort = nPort;
}

void CRequestTracker::AfterFirstHead(const CRequestHead& head, CResponseFramer& responses, const std::string& strSent)
{
    StartBody(head, responses);
    Record(strSent.data(), strSent.size());
}

void CRequestTracker::Record(const char* pData, size_t nLength)
{
    if (m_sent.empty()) return;
    CSent& sent = m_sent.back();
    if (!sent.bRepeatable) return;
    if (sent.strBytes.size() + nLength > MAX_REPEATED_REQUEST) {
        sent.bRepeatable = false;
        sent.strBytes.clear();
        return;
    }
    sent.strBytes.append(pData, nLength);
}

void CRequestTracker::ForgetAnswered(int nPending)
{
    while (static_cast<int>(m_sent.size()) > (nPending > 0 ? nPending : 0)) m_sent.pop_front();
}

bool CRequestTracker::Repeat(std::string& strOut) const
{
    // Only while the tracker still knows where requests begin and end.
    if (m_sent.empty() || m_state == PASS || m_state == BODY_LENGTH || m_state == BODY_CHUNKED) return false;
    for (const CSent& sent : m_sent)
        if (!sent.bRepeatable) return false;
    for (const CSent& sent : m_sent) strOut += sent.strBytes;
    return true;
}

void CRequestTracker::StartBody(const CRequestHead& head, CResponseFramer& responses)
{
    CRequestFraming framing;
    if (!DescribeRequest(head, framing) || responses.PendingCount() >= CResponseFramer::MAX_PENDING) {
        m_sent.clear(); // nothing to pair with answers any more
        m_state = PASS;
        return;
    }
    responses.ExpectResponse(framing.request);
    // GET and HEAD ask for something without changing it: sending one again
    // after a connection died unanswered does no harm. Nothing else is.
    const std::string& line = head.m_strRequestLine.str();
    CSent sent;
    sent.bRepeatable = !framing.bPassAfter && (line.compare(0, 4, "GET ") == 0 || line.compare(0, 5, "HEAD ") == 0);
    m_sent.push_back(sent);
    m_bPassAfterBody = framing.bPassAfter;
    m_bLastAfterBody = framing.bLast;
    if (framing.bChunked) {
        m_chunks = CChunkedDecoder();
        m_state = BODY_CHUNKED;
    } else if (framing.nLength > 0) {
        m_nLeft = framing.nLength;
        m_state = BODY_LENGTH;
    } else {
        m_state = AfterBody();
    }
}

CRequestTracker::State CRequestTracker::AfterBody() const
{
    // A tunnel's bytes are the browser's to send, whatever the head said.
    if (m_bPassAfterBody) return PASS;
    if (m_bLastAfterBody) return LAST;
    return m_bStopAtHead ? STOPPED : HEAD;
}

void CRequestTracker::TakeHeld(CString& rHost, int& rPort, std::string& rBytes)
{
    rHost = m_strOriginHost = m_strHeldHost;
    rPort = m_nOriginPort = m_nHeldPort;
    rBytes.swap(m_strHeld);
    m_strHeld.clear();
    m_state = HEAD;
}

void CRequestTracker::StopAtNextHead()
{
    m_bStopAtHead = true;
    if (m_state == HOLD) {
        // Held for another server, so not sent anywhere yet.
        m_strHeld.clear();
        m_state = STOPPED;
        return;
    }
    if (m_state != HEAD) return;
    // A head not complete yet has not gone anywhere: it is dropped whole.
    m_strHead.clear();
    m_state = STOPPED;
}

void CRequestTracker::StartPassing(std::string& strOut)
{
    strOut += m_strHead;
    m_strHead.clear();
    m_state = PASS;
}

void CRequestTracker::Feed(const char* pData, int nLength, std::string& strOut, CResponseFramer& responses)
{
    while (nLength > 0) {
        int nUsed = nLength;
        switch (m_state) {
        case HEAD: nUsed = FeedHead(pData, nLength, strOut, responses); break;
        case BODY_LENGTH: {
            std::uint64_t nTake =
                static_cast<std::uint64_t>(nLength) < m_nLeft ? static_cast<std::uint64_t>(nLength) : m_nLeft;
            nUsed = static_cast<int>(nTake);
            strOut.append(pData, static_cast<size_t>(nUsed));
            Record(pData, static_cast<size_t>(nUsed));
            m_nLeft -= nTake;
            if (m_nLeft == 0) m_state = AfterBody();
            break;
        }
        case BODY_CHUNKED: {
            CChunkedDecoder::Result result = m_chunks.Feed(pData, nLength, &nUsed, nullptr);
            strOut.append(pData, static_cast<size_t>(nUsed));
            Record(pData, static_cast<size_t>(nUsed));
            if (result == CChunkedDecoder::DONE)
                m_state = AfterBody();
            else if (result == CChunkedDecoder::FAILED)
                m_state = PASS;
            break;
        }
        case PASS: strOut.append(pData, static_cast<size_t>(nLength)); break;
        case HOLD: m_strHeld.append(pData, static_cast<size_t>(nLength)); break;
        case STOPPED:
        case LAST: break;
        }
        pData += nUsed;
        nLength -= nUsed;
    }
}

int CRequestTracker::FeedHead(const char* pData, int nLength, std::string& strOut, CResponseFramer& responses)
{
    const int nSearched = static_cast<int>(m_strHead.size());
    m_strHead.append(pData, static_cast<size_t>(nLength));
    const int nHave = static_cast<int>(m_strHead.size());
    int nEnd = FindRequestHeadEnd(m_strHead.data(), nHave, nSearched);
    if (nEnd == 0 || nEnd > MAX_REQUEST_HEAD) {
        if (nHave > MAX_REQUEST_HEAD) {
            // A large cookie is enough to get here. With a filter on, the
            // connection ends after the answers asked for, and the browser
            // asks again on a new one, rather than letting answers past the
            // filter from here on.
            if (ReadEnableJS() == 1 || ReadEnableActiveX() == 1) {
                m_strHead.clear();
                m_state = STOPPED;
                return nLength;
            }
            strOut += m_strHead;
            m_strHead.clear();
            m_state = PASS;
        } else if (SkipLeadingEmptyLines(m_strHead.data(), nHave) == nHave) {
            // Only empty lines so far: nothing to hold them for.
            strOut += m_strHead;
            m_strHead.clear();
        }
        return nLength;
    }
    const int nUsed = nEnd - nSearched;
    CString strHead(m_strHead.data(), nEnd);
    m_strHead.clear();

    CRequestHead head;
    const BOOL bSound = ParseRequestHead(strHead, head);
    const bool bOtherServer =
        m_bToOrigin && (head.m_strHost.CompareNoCase(m_strOriginHost) != 0 || head.m_nPort != m_nOriginPort);
    // A CONNECT later on is not followed: its tunnel would have to be made
    // by the SOCKS handshake, which only a new browser connection gets.
    const bool bFollow =
        bOtherServer && m_bFollowServers && !head.m_strHost.IsEmpty() && head.m_strRequestLine.Left(8) != "CONNECT ";
    // A port outside the TCP range names no server, as for the first head;
    // cut to 16 bits it would reach whatever listens on the remainder
    // (65616 is 80).
    const bool bNoPort = m_bToOrigin && !CwIsTcpPort(head.m_nPort);
    const bool bPrivate = m_bKeepOffPrivate && RequestNamesPrivateAddress(head);
    if (!bSound || bNoPort || bPrivate || (bOtherServer && !bFollow) ||
        (m_nOwnPort != 0 && RequestNamesProxy(head, m_nOwnPort))) {
        m_state = STOPPED;
        return nLength;
    }
    if (bFollow) {
        m_strHeld.assign(strHead.str());
        m_strHeld.append(pData + nUsed, static_cast<size_t>(nLength - nUsed));
        m_strHeldHost = head.m_strHost;
        m_nHeldPort = head.m_nPort;
        m_state = HOLD;
        return nLength;
    }
    const int nFields = head.m_headers.GetSize();
    CContentFilter filter;
    filter.FilterHeaders(head.m_headers);
    const CString strLine = head.m_strRequestLine;
    if (m_bToOrigin) head.m_strRequestLine = OriginFormRequestLine(strLine);
    // A head the hook left alone goes on exactly as it came.
    const size_t nHeadAt = strOut.size();
    if (head.m_headers.GetSize() == nFields && head.m_strRequestLine == strLine && m_strAuthLine.IsEmpty())
        strOut += strHead.str();
    else
        strOut += RebuildRequestHead(head, m_strAuthLine.IsEmpty() ? nullptr : m_strAuthLine.GetString()).str();
    StartBody(head, responses);
    Record(strOut.data() + nHeadAt, strOut.size() - nHeadAt);
    return nUsed;
}
