// The response state machine. Every byte that comes in either goes out in
// the same step or is held for a reason written beside it.
#include "proxy/internal/response_framer.h"

#include "proxy/filter_switches.h"

#include <cstdio>

namespace {

bool FilterSwitchedOn()
{
    return ReadEnableJS() == 1 || ReadEnableActiveX() == 1;
}

} // namespace

void CResponseFramer::Feed(const char* pData, int nLength, std::string& strOut)
{
    while (nLength > 0) {
        int nUsed = nLength;
        switch (m_state) {
        case IN_HEAD: nUsed = FeedHead(pData, nLength, strOut); break;
        case IN_LENGTH_BODY: {
            std::uint64_t nTake64 =
                static_cast<std::uint64_t>(nLength) < m_nLeft ? static_cast<std::uint64_t>(nLength) : m_nLeft;
            nUsed = static_cast<int>(nTake64);
            EmitBody(pData, nUsed, strOut);
            m_nLeft -= nTake64;
            if (m_nLeft == 0) EndOfMessage(strOut);
            break;
        }
        case IN_CHUNKED_BODY: nUsed = FeedChunked(pData, nLength, strOut); break;
        case IN_CLOSE_BODY: EmitBody(pData, nLength, strOut); break;
        case PASS:
            if (m_bRawInChunks)
                AppendChunk(std::string(pData, static_cast<size_t>(nLength)), strOut);
            else
                strOut.append(pData, static_cast<size_t>(nLength));
            break;
        case AFTER_CLOSE:
            // The browser connection ends with the body just sent; an answer
            // the server sent after it has no reader. The browser sees the
            // close and asks again for what it still needs.
            break;
        }
        pData += nUsed;
        nLength -= nUsed;
    }
}

bool CResponseFramer::PassesUnchanged(int nLength) const
{
    switch (m_state) {
    // Not up to the body's last byte: its end starts the next answer.
    case IN_LENGTH_BODY: return m_output == OUT_SAME && static_cast<std::uint64_t>(nLength) < m_nLeft;
    case IN_CLOSE_BODY: return m_output == OUT_SAME;
    case PASS: return !m_bRawInChunks;
    default: return false;
    }
}

void CResponseFramer::Skip(int nLength)
{
    if (m_state == IN_LENGTH_BODY) m_nLeft -= static_cast<std::uint64_t>(nLength);
}

int CResponseFramer::FeedHead(const char* pData, int nLength, std::string& strOut)
{
    int nUsed = 0;
    if (m_strHead.empty()) {
        // Line ends between answers (some servers send one after a body)
        // belong to no head; they go on as they came.
        while (nUsed < nLength && (pData[nUsed] == '\r' || pData[nUsed] == '\n')) ++nUsed;
        strOut.append(pData, static_cast<size_t>(nUsed));
        if (nUsed == nLength) return nUsed;
    }
    const size_t nBefore = m_strHead.size();
    m_strHead.append(pData + nUsed, static_cast<size_t>(nLength - nUsed));
    // Bytes that cannot begin a status line are not held for one.
    static const char STATUS_START[] = "HTTP/1.";
    const size_t nCompare = m_strHead.size() < 7 ? m_strHead.size() : 7;
    if (m_strHead.compare(0, nCompare, STATUS_START, nCompare) != 0) {
        StartPassing(strOut, false);
        return nLength;
    }
    int nEnd = FindResponseHeadEnd(m_strHead.data(), static_cast<int>(m_strHead.size()), static_cast<int>(nBefore));
    if (nEnd == 0) {
        if (m_strHead.size() > static_cast<size_t>(MAX_RESPONSE_HEAD)) {
            // Not a head we can read: it passes on as it is.
            StartPassing(strOut, false);
        }
        return nLength;
    }
    nUsed += static_cast<int>(static_cast<size_t>(nEnd) - nBefore);
    m_strHead.resize(static_cast<size_t>(nEnd));
    TakeHead(strOut);
    return nUsed;
}

void CResponseFramer::TakeHead(std::string& strOut)
{
    CResponseHead head;
    if (!ParseResponseHead(m_strHead.data(), static_cast<int>(m_strHead.size()), head)) {
        StartPassing(strOut, false);
        return;
    }
    if (head.nStatus < 200) {
        // 101 hands the connection to another protocol; any other 1xx is an
        // interim answer and the real one follows for the same request.
        if (head.nStatus == 101)
            StartPassing(strOut, false);
        else {
            strOut += m_strHead;
            m_strHead.clear();
        }
        return;
    }
    if (m_pending.empty()) {
        // An answer to nothing we know of: its framing cannot be trusted.
        StartPassing(strOut, false);
        return;
    }
    CPendingRequest request = m_pending.front();
    m_pending.pop_front();
    if (request.bConnect) m_nTunnelStatus = head.nStatus;
    if (request.bConnect && head.nStatus < 300) {
        // The tunnel's bytes are the browser's and the server's alone.
        StartPassing(strOut, false);
        return;
    }
    EBodyFraming framing;
    if (!DecideBodyFraming(head, request, framing, m_nLeft)) {
        StartPassing(strOut, false);
        return;
    }
    // The switches are read once per answer: the framing chosen here holds
    // for the whole body even when a switch changes half-way.
    bool bFilter = framing != BODY_NONE && !(framing == BODY_LENGTH && m_nLeft == 0) && FilterSwitchedOn() &&
                   IsFilterablePage(head);
    m_bServerEnds = ServerEndsAfter(head);
    // The relay ends the browser's connection after the browser's last
    // request only: a server that ends its own after an answer does not end
    // the browser's (see RelayConnection).
    const bool bKeep = !request.bLast && !m_bEndBrowser;
    m_output = OUT_SAME;
    if (framing == BODY_CLOSE) {
        // The body ends with the connection, and the browser reads it so:
        // the head stays as it came, filtered or not.
        if (bFilter) m_output = OUT_CLOSE;
        strOut += m_strHead;
    } else if (!bFilter) {
        strOut += WithConnectionFields(head, m_strHead, bKeep, request.bClient11);
    } else if (request.bClient11) {
        m_output = OUT_CHUNKED;
        const std::string strRebuilt = RebuildHeadForFilteredBody(head, true);
        CResponseHead rebuilt;
        if (ParseResponseHead(strRebuilt.data(), static_cast<int>(strRebuilt.size()), rebuilt))
            strOut += WithConnectionFields(rebuilt, strRebuilt, bKeep, true);
        else
            strOut += strRebuilt;
    } else {
        m_output = OUT_CLOSE;
        strOut += RebuildHeadForFilteredBody(head, false);
    }
    m_strHead.clear();
    m_filter = CStreamFilter();
    m_chunks = CChunkedDecoder();
    switch (framing) {
    case BODY_NONE: m_state = IN_HEAD; break;
    case BODY_LENGTH:
        m_state = IN_LENGTH_BODY;
        if (m_nLeft == 0) EndOfMessage(strOut);
        break;
    case BODY_CHUNKED: m_state = IN_CHUNKED_BODY; break;
    case BODY_CLOSE: m_state = IN_CLOSE_BODY; break;
    }
}

int CResponseFramer::FeedChunked(const char* pData, int nLength, std::string& strOut)
{
    int nUsed = 0;
    CChunkedDecoder::Result result;
    if (m_output == OUT_SAME) {
        // The chunks go on as they came; they are read only to find the end.
        result = m_chunks.Feed(pData, nLength, &nUsed, nullptr);
        strOut.append(pData, static_cast<size_t>(nUsed));
    } else {
        m_strScratch.clear();
        result = m_chunks.Feed(pData, nLength, &nUsed, &m_strScratch);
        EmitBody(m_strScratch.data(), static_cast<int>(m_strScratch.size()), strOut);
    }
    if (result == CChunkedDecoder::DONE) {
        EndOfMessage(strOut);
    } else if (result == CChunkedDecoder::FAILED) {
        if (m_output == OUT_SAME) {
            StartPassing(strOut, false);
        } else {
            // Half a page has gone out re-framed; the rest goes after it
            // unfiltered, as it came, and the page is never marked complete.
            std::string strHeld;
            m_filter.Flush(strHeld);
            strHeld += m_chunks.PendingLine();
            m_strHead.clear();
            if (m_output == OUT_CHUNKED)
                AppendChunk(strHeld, strOut);
            else
                strOut += strHeld;
            StartPassing(strOut, m_output == OUT_CHUNKED);
        }
    }
    return nUsed;
}

void CResponseFramer::StartPassing(std::string& strOut, bool bInChunks)
{
    strOut += m_strHead;
    m_strHead.clear();
    m_bRawInChunks = bInChunks;
    m_state = PASS;
}

void CResponseFramer::EmitBody(const char* pData, int nLength, std::string& strOut)
{
    if (nLength <= 0) return;
    if (m_output == OUT_SAME) {
        strOut.append(pData, static_cast<size_t>(nLength));
        return;
    }
    std::string strFiltered;
    m_filter.Filter(pData, nLength, strFiltered);
    if (m_output == OUT_CHUNKED)
        AppendChunk(strFiltered, strOut);
    else
        strOut += strFiltered;
}

void CResponseFramer::AppendChunk(const std::string& strData, std::string& strOut)
{
    // An empty chunk would end the body.
    if (strData.empty()) return;
    char szSize[32];
    std::snprintf(szSize, sizeof szSize, "%zx\r\n", strData.size());
    strOut += szSize;
    strOut += strData;
    strOut += "\r\n";
}

void CResponseFramer::EndOfMessage(std::string& strOut)
{
    m_state = IN_HEAD;
    if (m_output == OUT_SAME) return;
    std::string strHeld;
    m_filter.Flush(strHeld);
    if (m_output == OUT_CHUNKED) {
        AppendChunk(strHeld, strOut);
        strOut += "0\r\n";
        strOut += m_chunks.Trailers();
        strOut += "\r\n";
    } else {
        strOut += strHeld;
        m_bMustClose = true;
        m_state = AFTER_CLOSE;
    }
    m_output = OUT_SAME;
}

void CResponseFramer::Finish(std::string& strOut)
{
    if (m_state == IN_HEAD) {
        // A head the close cut short goes on as far as it came.
        strOut += m_strHead;
        m_strHead.clear();
        return;
    }
    if (m_output == OUT_SAME || m_state == PASS || m_state == AFTER_CLOSE) return;
    std::string strHeld;
    m_filter.Flush(strHeld);
    if (m_state == IN_CLOSE_BODY) {
        strOut += strHeld; // the close is this body's end
    } else if (m_output == OUT_CHUNKED) {
        AppendChunk(strHeld, strOut);
    } else {
        strOut += strHeld;
    }
}
