// Recognising the proxy's own address among the names a request may carry.
#include "proxy/internal/self_target.h"

#include <cstdint>

namespace {

std::string Lowered(std::string s)
{
    for (char& ch : s)
        if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    return s;
}

// One part of an IPv4 address as inet_aton reads it: decimal, octal with a
// leading 0, hexadecimal with 0x.
bool ParseAddressPart(const std::string& part, std::uint64_t& nValue)
{
    if (part.empty()) return false;
    int nBase = 10;
    size_t at = 0;
    if (part.size() > 1 && part[0] == '0' && part[1] == 'x') {
        nBase = 16;
        at = 2;
        if (part.size() == 2) return false;
    } else if (part.size() > 1 && part[0] == '0') {
        nBase = 8;
        at = 1;
    }
    nValue = 0;
    for (; at < part.size(); ++at) {
        const char ch = part[at];
        int nDigit = -1;
        if (ch >= '0' && ch <= '9') nDigit = ch - '0';
        if (ch >= 'a' && ch <= 'f') nDigit = ch - 'a' + 10;
        if (nDigit < 0 || nDigit >= nBase) return false;
        nValue = nValue * static_cast<std::uint64_t>(nBase) + static_cast<std::uint64_t>(nDigit);
        if (nValue > 0xFFFFFFFFu) return false;
    }
    return true;
}

// An IPv4 address in one to four parts, the last filling the bytes left.
bool ParseLooseIPv4(const std::string& host, std::uint32_t& nAddr)
{
    std::uint64_t parts[4];
    int nParts = 0;
    size_t at = 0;
    for (;;) {
        size_t dot = host.find('.', at);
        if (nParts == 4) return false;
        if (!ParseAddressPart(host.substr(at, dot == std::string::npos ? std::string::npos : dot - at), parts[nParts]))
            return false;
        ++nParts;
        if (dot == std::string::npos) break;
        at = dot + 1;
    }
    std::uint64_t nValue = 0;
    for (int i = 0; i < nParts - 1; ++i) {
        if (parts[i] > 0xFF) return false;
        nValue |= parts[i] << (24 - 8 * i);
    }
    const std::uint64_t nLastMax = 0xFFFFFFFFu >> (8 * (nParts - 1));
    if (parts[nParts - 1] > nLastMax) return false;
    nAddr = static_cast<std::uint32_t>(nValue | parts[nParts - 1]);
    return true;
}

bool IsLoopbackIPv4(std::uint32_t nAddr)
{
    return (nAddr >> 24) == 127 || nAddr == 0;
}

// The eight groups of an IPv6 address (one "::" allowed, an IPv4 tail too).
bool ParseIPv6(const std::string& text, std::uint32_t groups[8])
{
    std::string head = text, tail;
    const size_t gap = text.find("::");
    if (gap != std::string::npos) {
        head = text.substr(0, gap);
        tail = text.substr(gap + 2);
        if (tail.find("::") != std::string::npos) return false;
    }
    std::uint32_t values[10];
    int nHead = 0, nTail = 0;
    for (int side = 0; side < 2; ++side) {
        const std::string& s = side == 0 ? head : tail;
        int& n = side == 0 ? nHead : nTail;
        size_t at = 0;
        while (!s.empty() && at <= s.size()) {
            size_t colon = s.find(':', at);
            std::string group = s.substr(at, colon == std::string::npos ? std::string::npos : colon - at);
            std::uint32_t nV4 = 0;
            if (colon == std::string::npos && group.find('.') != std::string::npos) {
                if (nHead + nTail + 2 > 8 || !ParseLooseIPv4(group, nV4)) return false;
                values[nHead + nTail] = nV4 >> 16;
                values[nHead + nTail + 1] = nV4 & 0xFFFF;
                n += 2;
                break;
            }
            std::uint64_t nGroup = 0;
            if (group.empty() || group.size() > 4 || nHead + nTail >= 8 || !ParseAddressPart("0x" + group, nGroup))
                return false;
            values[nHead + nTail] = static_cast<std::uint32_t>(nGroup);
            ++n;
            if (colon == std::string::npos) break;
            at = colon + 1;
        }
    }
    if (gap == std::string::npos ? nHead != 8 : nHead + nTail > 7) return false;
    for (int i = 0; i < 8; ++i) groups[i] = 0;
    for (int i = 0; i < nHead; ++i) groups[i] = values[i];
    for (int i = 0; i < nTail; ++i) groups[8 - nTail + i] = values[nHead + i];
    return true;
}

} // namespace

bool IsLoopbackHost(const std::string& strHost)
{
    std::string host = Lowered(strHost);
    if (!host.empty() && host.back() == '.') host.pop_back();
    static const std::string LOCALHOST = "localhost", UNDER = ".localhost";
    if (host == LOCALHOST) return true;
    if (host.size() > UNDER.size() && host.compare(host.size() - UNDER.size(), UNDER.size(), UNDER) == 0) return true;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        std::uint32_t groups[8];
        // A zone ("%eth0") does not change which address it is.
        std::string address = host.substr(1, host.size() - 2);
        address = address.substr(0, address.find('%'));
        if (!ParseIPv6(address, groups)) return false;
        for (int i = 0; i < 5; ++i)
            if (groups[i] != 0) return false;
        if (groups[5] == 0xFFFF || (groups[5] == 0 && groups[6] != 0))
            return IsLoopbackIPv4((groups[6] << 16) | groups[7]); // mapped or compatible
        return groups[5] == 0 && groups[6] == 0 && groups[7] <= 1;
    }
    std::uint32_t nAddr = 0;
    return ParseLooseIPv4(host, nAddr) && IsLoopbackIPv4(nAddr);
}

bool AuthorityNamesPort(const std::string& strAuthority, WORD nPort)
{
    std::string host = strAuthority;
    // Credentials before the host are no part of where it goes.
    const size_t nAt = host.rfind('@');
    if (nAt != std::string::npos) host = host.substr(nAt + 1);
    while (!host.empty() && (host.back() == ' ' || host.back() == '\t')) host.pop_back();
    long nNamed = 80;
    const size_t nClose = host.rfind(']');
    const size_t nColon = host.rfind(':');
    if (nColon != std::string::npos && (nClose == std::string::npos || nColon > nClose)) {
        const std::string port = host.substr(nColon + 1);
        host = host.substr(0, nColon);
        if (!port.empty()) {
            if (port.size() > 5) return false;
            nNamed = 0;
            for (char ch : port) {
                if (ch < '0' || ch > '9') return false;
                nNamed = nNamed * 10 + (ch - '0');
            }
        }
    }
    return nNamed == nPort && IsLoopbackHost(host);
}

bool RequestNamesProxy(const CRequestHead& head, WORD nOwnPort)
{
    const std::string& line = head.m_strRequestLine.str();
    const size_t nTarget = line.find(' ');
    if (nTarget != std::string::npos) {
        const size_t nEnd = line.find(' ', nTarget + 1);
        std::string target = Lowered(line.substr(nTarget + 1, nEnd == std::string::npos ? nEnd : nEnd - nTarget - 1));
        static const std::string SCHEME = "http://";
        if (target.compare(0, SCHEME.size(), SCHEME) == 0) {
            target = target.substr(SCHEME.size());
            target = target.substr(0, target.find_first_of("/?#"));
            if (AuthorityNamesPort(target, nOwnPort)) return true;
        } else if (line.compare(0, 8, "CONNECT ") == 0 && AuthorityNamesPort(target, nOwnPort)) {
            return true;
        }
    }
    for (int i = 0; i < head.m_headers.GetSize(); ++i) {
        const CHeaderField& field = head.m_headers[i];
        if (field.m_bHasColon && field.m_strName.CompareNoCase("Host") == 0 &&
            AuthorityNamesPort(field.m_strValue.str(), nOwnPort))
            return true;
    }
    return false;
}
