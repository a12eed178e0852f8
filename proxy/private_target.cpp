// Telling a private address literal from a name, strictly.
#include "proxy/internal/private_target.h"

#include "framework/core/text_number.h"

namespace {

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

int HexValue(char ch)
{
    if (IsDigit(ch)) return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

bool IsPrivateIPv4(std::uint32_t nAddr)
{
    return (nAddr >> 24) == 10 || (nAddr >> 24) == 127 || (nAddr >> 20) == 0xAC1 || (nAddr >> 16) == 0xC0A8 ||
           (nAddr >> 16) == 0xA9FE;
}

} // namespace

bool ParseStrictIPv4(const std::string& strText, std::uint32_t& nAddr)
{
    std::uint32_t nValue = 0;
    size_t at = 0;
    for (int nPart = 0; nPart < 4; ++nPart) {
        if (nPart > 0 && (at >= strText.size() || strText[at++] != '.')) return false;
        const size_t nStart = at;
        int n = 0;
        while (at < strText.size() && IsDigit(strText[at]) && at - nStart < 3) n = n * 10 + (strText[at++] - '0');
        const size_t nDigits = at - nStart;
        // "010" is octal to inet_aton and decimal to others: no reading of
        // it is sure, so it is no address.
        if (nDigits == 0 || n > 255 || (nDigits > 1 && strText[nStart] == '0')) return false;
        nValue = (nValue << 8) | static_cast<std::uint32_t>(n);
    }
    if (at != strText.size()) return false;
    nAddr = nValue;
    return true;
}

bool ParseStrictIPv6(const std::string& strText, std::uint16_t groups[8])
{
    std::uint16_t values[8];
    int nValues = 0;
    int nGap = -1; // where "::" stands, in groups
    size_t at = 0;
    if (strText.compare(0, 2, "::") == 0) {
        nGap = 0;
        at = 2;
    }
    while (at < strText.size()) {
        // A dotted tail takes the last two groups.
        const size_t nEnd = strText.find(':', at);
        const std::string group = strText.substr(at, nEnd == std::string::npos ? std::string::npos : nEnd - at);
        if (nEnd == std::string::npos && group.find('.') != std::string::npos) {
            std::uint32_t nV4 = 0;
            if (nValues > 6 || !ParseStrictIPv4(group, nV4)) return false;
            values[nValues++] = static_cast<std::uint16_t>(nV4 >> 16);
            values[nValues++] = static_cast<std::uint16_t>(nV4 & 0xFFFF);
            at = strText.size();
            break;
        }
        if (group.empty() || group.size() > 4 || nValues == 8) return false;
        int n = 0;
        for (char ch : group) {
            if (HexValue(ch) < 0) return false;
            n = n * 16 + HexValue(ch);
        }
        values[nValues++] = static_cast<std::uint16_t>(n);
        if (nEnd == std::string::npos) {
            at = strText.size();
            break;
        }
        at = nEnd + 1;
        if (at < strText.size() && strText[at] == ':') {
            if (nGap >= 0) return false;
            nGap = nValues;
            ++at;
        } else if (at == strText.size()) {
            return false; // a single colon at the end
        }
    }
    if (nGap < 0 ? nValues != 8 : nValues > 7) return false;
    const int nZeros = 8 - nValues;
    for (int i = 0, j = 0; i < 8; ++i) {
        if (nGap >= 0 && i >= nGap && i < nGap + nZeros) {
            groups[i] = 0;
        } else {
            groups[i] = values[j++];
        }
    }
    return true;
}

namespace {

bool ParseIPv6Host(const std::string& strHost, std::uint16_t groups[8])
{
    std::string address = strHost;
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    return ParseStrictIPv6(address, groups);
}

} // namespace

bool IPv6LiteralBytes(const std::string& strHost, unsigned char bytes[16])
{
    std::uint16_t groups[8];
    if (!ParseIPv6Host(strHost, groups)) return false;
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(groups[i] >> 8);
        bytes[2 * i + 1] = static_cast<unsigned char>(groups[i] & 0xFF);
    }
    return true;
}

bool IsPrivateAddressLiteral(const std::string& strHost)
{
    std::uint32_t nV4 = 0;
    if (ParseStrictIPv4(strHost, nV4)) return IsPrivateIPv4(nV4);
    std::uint16_t groups[8];
    if (!ParseIPv6Host(strHost, groups)) return false;
    bool bLoopback = groups[7] == 1;
    for (int i = 0; i < 7; ++i) bLoopback = bLoopback && groups[i] == 0;
    return bLoopback || (groups[0] & 0xFFC0) == 0xFE80 || (groups[0] & 0xFE00) == 0xFC00;
}

bool RequestServer(const CRequestHead& head, CString& rHost, int& rPort)
{
    const std::string& line = head.m_strRequestLine.str();
    if (line.compare(0, 8, "CONNECT ") != 0) {
        rHost = head.m_strHost;
        rPort = head.m_nPort;
        return true;
    }
    // Where the tunnel goes is its request line's business, whatever the
    // Host header says.
    const size_t nEnd = line.find(' ', 8);
    const std::string authority = line.substr(8, nEnd == std::string::npos ? std::string::npos : nEnd - 8);
    const size_t nColon = authority.rfind(':');
    if (nColon == std::string::npos || nColon == 0) return false;
    std::string host = authority.substr(0, nColon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    rHost = CString(host);
    rPort = CwAtoi(authority.substr(nColon + 1).c_str());
    return CwIsTcpPort(rPort) != FALSE;
}

bool RequestNamesPrivateAddress(const CRequestHead& head)
{
    CString strHost;
    int nPort = 0;
    return RequestServer(head, strHost, nPort) && IsPrivateAddressLiteral(strHost.str());
}
