// Chunked body framing, byte by byte where it must be and in bulk for data.
#include "proxy/internal/chunked_decoder.h"

#include <cstring>

namespace {

// Past this a chunk size is taken for an attack or a fault, not a page: it
// also keeps every size far from the 64-bit wrap that size parsers suffer.
const std::uint64_t MAX_CHUNK_SIZE = std::uint64_t(1) << 48;

int HexValue(char ch)
{
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

} // namespace

bool CChunkedDecoder::ParseSizeLine()
{
    // The line without its LF (and without a CR before it): hex digits, then
    // optional blanks and extensions after a semicolon.
    const std::string& s = m_strLine;
    size_t nEnd = s.size();
    if (nEnd > 0 && s[nEnd - 1] == '\r') --nEnd;
    size_t i = 0;
    std::uint64_t n = 0;
    while (i < nEnd && HexValue(s[i]) >= 0) {
        n = n * 16 + static_cast<std::uint64_t>(HexValue(s[i]));
        if (n > MAX_CHUNK_SIZE) return false;
        ++i;
    }
    if (i == 0) return false;
    while (i < nEnd && (s[i] == ' ' || s[i] == '\t')) ++i;
    if (i < nEnd && s[i] != ';') return false;
    m_nLeft = n;
    return true;
}

CChunkedDecoder::Result CChunkedDecoder::Feed(const char* pData, int nLength, int* pUsed, std::string* pChunkData)
{
    int i = 0;
    while (i < nLength && m_state != FINISHED && m_state != BROKEN) {
        char ch = pData[i];
        switch (m_state) {
        case SIZE_LINE:
            ++i;
            if (ch != '\n') {
                if (static_cast<int>(m_strLine.size()) >= MAX_SIZE_LINE)
                    m_state = BROKEN;
                else
                    m_strLine += ch;
                break;
            }
            if (!ParseSizeLine()) {
                m_state = BROKEN;
                break;
            }
            m_strLine.clear();
            m_state = m_nLeft == 0 ? TRAILER_LINE : DATA;
            break;
        case DATA: {
            std::uint64_t nAvail = static_cast<std::uint64_t>(nLength - i);
            int nTake = static_cast<int>(nAvail < m_nLeft ? nAvail : m_nLeft);
            if (pChunkData) pChunkData->append(pData + i, static_cast<size_t>(nTake));
            i += nTake;
            m_nLeft -= static_cast<std::uint64_t>(nTake);
            if (m_nLeft == 0) m_state = DATA_CR;
            break;
        }
        case DATA_CR:
            ++i;
            // A bare LF is tolerated, as most servers and browsers do.
            if (ch == '\r')
                m_state = DATA_LF;
            else if (ch == '\n')
                m_state = SIZE_LINE;
            else
                m_state = BROKEN;
            break;
        case DATA_LF:
            ++i;
            m_state = ch == '\n' ? SIZE_LINE : BROKEN;
            break;
        case TRAILER_LINE:
            ++i;
            if (ch != '\n') {
                if (m_strTrailers.size() + m_strLine.size() >= static_cast<size_t>(MAX_TRAILERS))
                    m_state = BROKEN;
                else
                    m_strLine += ch;
                break;
            }
            if (m_strLine.empty() || m_strLine == "\r") {
                m_strLine.clear();
                m_state = FINISHED;
                break;
            }
            m_strTrailers += m_strLine;
            m_strTrailers += '\n';
            m_strLine.clear();
            break;
        default: break;
        }
    }
    if (m_state == BROKEN) {
        // The byte that showed the fault was counted; give it back so the
        // caller passes it on with the rest.
        *pUsed = i > 0 ? i - 1 : 0;
        return FAILED;
    }
    *pUsed = i;
    return m_state == FINISHED ? DONE : MORE;
}
