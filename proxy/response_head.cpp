// Response head parsing: strict where a mistake would change the framing,
// since framing mistakes are what request smuggling is made of.
#include "proxy/internal/response_head.h"

#include <cstring>

namespace {

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

char Lower(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

bool EqualNoCase(const std::string& a, const char* b)
{
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string LowerText(std::string s)
{
    for (char& ch : s) ch = Lower(ch);
    return s;
}

// Splits a list field at its commas; empty members are dropped.
std::vector<std::string> ListMembers(const std::string& value)
{
    std::vector<std::string> members;
    size_t at = 0;
    while (at <= value.size()) {
        size_t comma = value.find(',', at);
        if (comma == std::string::npos) comma = value.size();
        std::string member = Trim(value.substr(at, comma - at));
        if (!member.empty()) members.push_back(member);
        at = comma + 1;
    }
    return members;
}

bool ParseStatusLine(const std::string& line, CResponseHead& head)
{
    // "HTTP/1.x SSS" then a blank and a reason, or nothing.
    if (line.size() < 12 || line.compare(0, 7, "HTTP/1.") != 0) return false;
    if (line[7] < '0' || line[7] > '9' || line[8] != ' ') return false;
    for (int i = 9; i < 12; ++i)
        if (line[i] < '0' || line[i] > '9') return false;
    if (line.size() > 12 && line[12] != ' ') return false;
    head.nMinorVersion = line[7] - '0';
    head.nStatus = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    return head.nStatus >= 100;
}

} // namespace

std::string CResponseHead::Values(const char* pszName) const
{
    std::string joined;
    for (const CResponseField& field : fields) {
        if (!EqualNoCase(field.strName, pszName)) continue;
        if (!joined.empty()) joined += ", ";
        joined += field.strValue;
    }
    return joined;
}

bool CResponseHead::Has(const char* pszName) const
{
    for (const CResponseField& field : fields)
        if (EqualNoCase(field.strName, pszName)) return true;
    return false;
}

int FindResponseHeadEnd(const char* pData, int nLength, int nSearchFrom)
{
    // An empty line with the line end before it is at most three bytes, so
    // the search can start that far before the bytes not searched yet.
    const char* p = pData + (nSearchFrom > 3 ? nSearchFrom - 3 : 0);
    const char* pEnd = pData + nLength;
    while (p < pEnd) {
        const char* pLf = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(pEnd - p)));
        if (!pLf) return 0;
        // An empty line: LF alone, or CR LF.
        const char* pNext = pLf + 1;
        if (pNext < pEnd && *pNext == '\n') return static_cast<int>(pNext + 1 - pData);
        if (pNext + 1 < pEnd && pNext[0] == '\r' && pNext[1] == '\n') return static_cast<int>(pNext + 2 - pData);
        if (pNext >= pEnd || (pNext + 1 >= pEnd && *pNext == '\r')) return 0;
        p = pNext;
    }
    return 0;
}

bool ParseResponseHead(const char* pData, int nLength, CResponseHead& head)
{
    head = CResponseHead();
    int nPos = 0;
    bool bFirst = true;
    while (nPos < nLength) {
        const char* pLf =
            static_cast<const char*>(std::memchr(pData + nPos, '\n', static_cast<size_t>(nLength - nPos)));
        if (!pLf) return false;
        int nEnd = static_cast<int>(pLf - pData);
        std::string line(pData + nPos, static_cast<size_t>(nEnd - nPos));
        nPos = nEnd + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) return !bFirst;
        if (line.find('\r') != std::string::npos || line.find('\0') != std::string::npos) return false;
        if (bFirst) {
            if (!ParseStatusLine(line, head)) return false;
            head.strStatusLine = line;
            bFirst = false;
            continue;
        }
        size_t nColon = line.find(':');
        if (nColon == std::string::npos || nColon == 0 || IsBlank(line[0]) || IsBlank(line[nColon - 1])) return false;
        CResponseField field;
        field.strName = line.substr(0, nColon);
        field.strValue = Trim(line.substr(nColon + 1));
        field.strLine = line;
        head.fields.push_back(field);
    }
    return false;
}

bool DecideBodyFraming(const CResponseHead& head, const CPendingRequest& request, EBodyFraming& framing,
                       std::uint64_t& nLength)
{
    nLength = 0;
    if (request.bHead || head.nStatus < 200 || head.nStatus == 204 || head.nStatus == 304) {
        framing = BODY_NONE;
        return true;
    }
    if (head.Has("Transfer-Encoding")) {
        // Chunked only when it is the last coding; any other ends with the
        // connection. A Content-Length beside it does not count.
        std::vector<std::string> codings = ListMembers(head.Values("Transfer-Encoding"));
        framing = (!codings.empty() && EqualNoCase(codings.back(), "chunked")) ? BODY_CHUNKED : BODY_CLOSE;
        return true;
    }
    if (head.Has("Content-Length")) {
        std::vector<std::string> values = ListMembers(head.Values("Content-Length"));
        if (values.empty()) return false;
        for (const std::string& value : values) {
            if (value != values.front() || value.size() > 15) return false;
            for (char ch : value)
                if (ch < '0' || ch > '9') return false;
        }
        nLength = std::stoull(values.front());
        framing = BODY_LENGTH;
        return true;
    }
    framing = BODY_CLOSE;
    return true;
}

bool IsFilterablePage(const CResponseHead& head)
{
    // A part of a page is put together by the browser from byte ranges of
    // the page as the server has it; renamed tags would shift them.
    if (head.nStatus == 206 || head.Has("Content-Range")) return false;
    std::string type = LowerText(head.Values("Content-Type"));
    size_t semicolon = type.find(';');
    if (semicolon != std::string::npos) type.resize(semicolon);
    if (Trim(type) != "text/html") return false;
    for (const std::string& coding : ListMembers(head.Values("Content-Encoding")))
        if (!EqualNoCase(coding, "identity")) return false;
    std::vector<std::string> transfer = ListMembers(head.Values("Transfer-Encoding"));
    return transfer.empty() || (transfer.size() == 1 && EqualNoCase(transfer[0], "chunked"));
}

std::string RebuildHeadForFilteredBody(const CResponseHead& head, bool bChunked)
{
    // Chunks are HTTP/1.1: browsers do not decode them in a message that
    // says HTTP/1.0, so the status line speaks our version, as a proxy's
    // may. An HTTP/1.0 answer without keep-alive still ends its connection,
    // and says so now that its version no longer does.
    const bool bUpgrade = bChunked && head.nMinorVersion == 0;
    bool bClose = !bChunked;
    if (bUpgrade) {
        bool bKeepAlive = false;
        for (const std::string& option : ListMembers(head.Values("Connection")))
            if (EqualNoCase(option, "keep-alive")) bKeepAlive = true;
        bClose = !bKeepAlive;
    }
    std::string out = bUpgrade ? "HTTP/1.1" + head.strStatusLine.substr(8) : head.strStatusLine;
    out += "\r\n";
    for (const CResponseField& field : head.fields) {
        if (EqualNoCase(field.strName, "Content-Length") || EqualNoCase(field.strName, "Transfer-Encoding")) continue;
        if (bClose && (EqualNoCase(field.strName, "Connection") || EqualNoCase(field.strName, "Keep-Alive") ||
                       EqualNoCase(field.strName, "Proxy-Connection")))
            continue;
        out += field.strLine;
        out += "\r\n";
    }
    if (bChunked) out += "Transfer-Encoding: chunked\r\n";
    if (bClose) out += "Connection: close\r\n";
    out += "\r\n";
    return out;
}

namespace {

void ConnectionOptions(const CResponseHead& head, bool& bClose, bool& bKeepAlive)
{
    bClose = bKeepAlive = false;
    for (const char* pszName : {"Connection", "Proxy-Connection"}) {
        for (const std::string& option : ListMembers(head.Values(pszName))) {
            if (EqualNoCase(option, "close")) bClose = true;
            if (EqualNoCase(option, "keep-alive")) bKeepAlive = true;
        }
    }
}

} // namespace

bool ServerEndsAfter(const CResponseHead& head)
{
    bool bClose, bKeepAlive;
    ConnectionOptions(head, bClose, bKeepAlive);
    return bClose || (head.nMinorVersion == 0 && !bKeepAlive);
}

std::string WithConnectionFields(const CResponseHead& head, const std::string& strHead, bool bKeep, bool bClient11)
{
    bool bClose, bKeepAlive;
    ConnectionOptions(head, bClose, bKeepAlive);
    // Either version ends on "close"; an HTTP/1.0 head or browser keeps
    // the connection only on an explicit "keep-alive".
    const bool bOld = head.nMinorVersion == 0 || !bClient11;
    if (bKeep ? !bClose && (bKeepAlive || !bOld) : bClose || (head.nMinorVersion == 0 && !bKeepAlive)) return strHead;
    std::string out = head.strStatusLine + "\r\n";
    for (const CResponseField& field : head.fields) {
        if (EqualNoCase(field.strName, "Connection") || EqualNoCase(field.strName, "Keep-Alive") ||
            EqualNoCase(field.strName, "Proxy-Connection"))
            continue;
        out += field.strLine;
        out += "\r\n";
    }
    out += bKeep ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    return out;
}
