// The proxy address reader: schemes, accounts, hosts and ports of list lines.
#include "proxy_address.h"

#include "framework/core/text_number.h"

#include <cstring>
#include <string>

namespace {

// Where the account lies in the line, for the masked text and the form
// written to disk. The password runs from nStart to nEnd (none when they
// meet); bAfterAddress marks the host:port:user:pass form, whose address
// lies from nAddressStart to nAddressEnd and user from nUserStart to nUserEnd.
struct SPasswordSpan {
    size_t nStart = 0;
    size_t nEnd = 0;
    size_t nUserStart = 0;
    size_t nUserEnd = 0;
    bool bAfterAddress = false;
    size_t nAddressStart = 0;
    size_t nAddressEnd = 0;
};

bool IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

bool IsAlpha(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

bool IsHex(char ch)
{
    return IsDigit(ch) || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

bool IsNameChar(char ch)
{
    return IsAlpha(ch) || IsDigit(ch) || ch == '-' || ch == '.' || ch == '_';
}

// What may follow the port: the line's end, or a separator before the rest
// of the line ("1.2.3.4:80,US", "1.2.3.4:80 fast", "1.2.3.4:80-US"). A
// letter, digit or address character would make the port part of a longer
// word that is no address.
bool EndsAddress(const std::string& s, size_t i)
{
    if (i >= s.size()) return true;
    const char ch = s[i];
    if (IsAlpha(ch) || IsDigit(ch)) return false;
    return std::strchr(".:@_[]%", ch) == nullptr;
}

// The separators of a CSV or annotated line's first field.
bool EndsField(char ch)
{
    return CwIsSpace(ch) || ch == ',' || ch == ';' || ch == '|';
}

// A dotted IPv4 address of four decimal parts of 0..255; the text comes
// back without leading zeros.
bool ReadIPv4(const std::string& text, CString& rHost)
{
    std::string out;
    int parts = 0;
    size_t i = 0;
    while (true) {
        size_t start = i;
        int value = 0;
        while (i < text.size() && IsDigit(text[i]) && i - start < 4) value = value * 10 + (text[i++] - '0');
        if (i == start || i - start > 3 || value > 255) return false;
        out += std::to_string(value);
        ++parts;
        if (i == text.size()) break;
        if (text[i] != '.' || parts == 4) return false;
        out += '.';
        ++i;
    }
    if (parts != 4) return false;
    rHost = CString(out);
    return true;
}

// An IPv6 address as written between brackets: up to eight groups of one
// to four hex digits, one "::" at most, a dotted IPv4 tail for two groups.
bool IsIPv6(const std::string& text)
{
    if (text.empty() || text.size() > 45) return false;
    int groups = 0;
    bool doubleColon = false;
    size_t i = 0;
    if (text.compare(0, 2, "::") == 0) {
        doubleColon = true;
        i = 2;
        if (i == text.size()) return true;
    } else if (text[0] == ':') {
        return false;
    }
    while (i < text.size()) {
        size_t start = i;
        while (i < text.size() && IsHex(text[i]) && i - start < 5) ++i;
        if (i < text.size() && text[i] == '.') {
            CString tail;
            if (!ReadIPv4(text.substr(start), tail)) return false;
            groups += 2;
            i = text.size();
            break;
        }
        if (i == start || i - start > 4) return false;
        ++groups;
        if (i == text.size()) break;
        if (text[i] != ':') return false;
        ++i;
        if (i < text.size() && text[i] == ':') {
            if (doubleColon) return false;
            doubleColon = true;
            ++i;
        } else if (i == text.size()) {
            return false; // a single colon at the end
        }
    }
    return doubleColon ? groups <= 7 : groups == 8;
}

// A host name: labels of letters, digits, '-' and '_' between dots, not
// starting or ending with '-', at most 253 characters. A text of only
// digits and dots is meant as an IPv4 address and read as one.
bool ReadHostName(const std::string& text, CString& rHost)
{
    if (text.empty() || text.size() > 253) return false;
    bool letter = false;
    for (char ch : text) {
        if (!IsNameChar(ch)) return false;
        if (!IsDigit(ch) && ch != '.') letter = true;
    }
    if (!letter) return ReadIPv4(text, rHost);
    size_t start = 0;
    while (start <= text.size()) {
        size_t dot = text.find('.', start);
        size_t end = dot == std::string::npos ? text.size() : dot;
        if (end == start || end - start > 63 || text[start] == '-' || text[end - 1] == '-') return false;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    rHost = CString(text);
    return true;
}

// Reads "host:port" at i; on success i is just past the port.
bool ReadHostPort(const std::string& s, size_t& i, CString& rHost, int& rPort)
{
    size_t p = i;
    if (p < s.size() && s[p] == '[') {
        size_t close = s.find(']', p);
        if (close == std::string::npos) return false;
        const std::string inner = s.substr(p + 1, close - p - 1);
        if (!IsIPv6(inner)) return false;
        rHost = CString(inner);
        p = close + 1;
    } else {
        size_t end = p;
        while (end < s.size() && IsNameChar(s[end])) ++end;
        if (!ReadHostName(s.substr(p, end - p), rHost)) return false;
        p = end;
    }
    if (p >= s.size() || s[p] != ':') return false;
    ++p;
    size_t digits = p;
    long value = 0;
    while (p < s.size() && IsDigit(s[p]) && p - digits < 6) value = value * 10 + (s[p++] - '0');
    if (p == digits || p - digits > 5 || !CwIsTcpPort(static_cast<int>(value))) return false;
    rPort = static_cast<int>(value);
    i = p;
    return true;
}

struct SSchemeName {
    const char* pszName;
    EProxyScheme scheme;
};

const SSchemeName kSchemes[] = {
    {"http", PROXY_SCHEME_HTTP},     {"socks4", PROXY_SCHEME_SOCKS4},   {"socks4a", PROXY_SCHEME_SOCKS4A},
    {"socks5", PROXY_SCHEME_SOCKS5}, {"socks5h", PROXY_SCHEME_SOCKS5H},
};

bool ReadScheme(const std::string& text, EProxyScheme& rScheme)
{
    for (const SSchemeName& name : kSchemes) {
        if (CString(text.c_str()).CompareNoCase(name.pszName) == 0) {
            rScheme = name.scheme;
            return true;
        }
    }
    return false;
}

bool ParseLine(LPCTSTR pszLine, CProxyAddress& rAddress, SPasswordSpan& rSpan)
{
    if (!pszLine) return false;
    const size_t length = std::strlen(pszLine);
    if (length > static_cast<size_t>(PROXY_LINE_MAX)) return false;
    const std::string s(pszLine, length);

    size_t i = 0;
    if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3; // a UTF-8 file's mark before its first line
    while (i < s.size() && CwIsSpace(s[i])) ++i;
    if (i >= s.size() || s[i] == '#') return false;

    size_t token = i;
    while (token < s.size() && !CwIsSpace(s[token])) ++token;

    CProxyAddress address;
    size_t sep = s.find("://", i);
    if (sep != std::string::npos && sep < token) {
        if (!ReadScheme(s.substr(i, sep - i), address.scheme)) return false;
        i = sep + 3;
    }

    // user[:pass]@host:port: the last '@' of the first word ends the account,
    // so a password may hold '@' and ':'. A word that reads no address this
    // way may still be one without an account ("1.2.3.4:80,mail@x").
    size_t at = s.rfind('@', token - 1);
    if (at != std::string::npos && at > i && at < token) {
        CProxyAddress withAccount = address;
        size_t p = at + 1;
        if (ReadHostPort(s, p, withAccount.strHost, withAccount.nPort) && EndsAddress(s, p)) {
            size_t colon = s.find(':', i);
            size_t userEnd = colon != std::string::npos && colon < at ? colon : at;
            if (userEnd > i) {
                withAccount.strUser = CString(s.substr(i, userEnd - i));
                rSpan.nUserStart = i;
                rSpan.nUserEnd = userEnd;
                if (userEnd < at) {
                    rSpan.nStart = userEnd + 1;
                    rSpan.nEnd = at;
                    withAccount.strPassword = CString(s.substr(rSpan.nStart, at - rSpan.nStart));
                }
                rAddress = withAccount;
                return true;
            }
        }
    }

    size_t p = i;
    if (!ReadHostPort(s, p, address.strHost, address.nPort)) return false;
    if (p < s.size() && s[p] == ':') {
        // host:port:user:pass, as providers hand out accounts; a URL has
        // its account before the host instead.
        if (address.scheme != PROXY_SCHEME_NONE) return false;
        size_t userStart = p + 1;
        size_t userEnd = userStart;
        while (userEnd < s.size() && s[userEnd] != ':' && !EndsField(s[userEnd])) ++userEnd;
        if (userEnd == userStart || userEnd >= s.size() || s[userEnd] != ':') return false;
        // The password is the rest of the line: providers hand these out
        // one a line, and a password may hold ',' ';' '|' or a blank, which
        // would otherwise be cut off (and the rest shown on the screen).
        size_t passEnd = s.size();
        while (passEnd > userEnd + 1 && CwIsSpace(s[passEnd - 1])) --passEnd;
        address.strUser = CString(s.substr(userStart, userEnd - userStart));
        rSpan.bAfterAddress = true;
        rSpan.nAddressStart = i;
        rSpan.nAddressEnd = p;
        rSpan.nUserStart = userStart;
        rSpan.nUserEnd = userEnd;
        rSpan.nStart = userEnd + 1;
        rSpan.nEnd = passEnd;
        address.strPassword = CString(s.substr(rSpan.nStart, passEnd - rSpan.nStart));
        rAddress = address;
        return true;
    }
    if (!EndsAddress(s, p)) return false;
    rAddress = address;
    return true;
}

} // namespace

BOOL ParseProxyAddress(LPCTSTR pszLine, CProxyAddress& rAddress)
{
    SPasswordSpan span;
    return ParseLine(pszLine, rAddress, span) ? TRUE : FALSE;
}

namespace {

// The entry with its password replaced: written as user<pszJoin>host:port
// whatever form it came in, or, where that would read back as another
// account (a user the reader takes for a comment or a UTF-8 mark at the
// line's start), with pszInPlace where the password was. Any other entry
// unchanged.
CString ReplacePassword(LPCTSTR pszEntry, const char* pszJoin, const char* pszInPlace)
{
    CProxyAddress address;
    SPasswordSpan span;
    CString entry(pszEntry);
    if (!ParseLine(pszEntry, address, span) || span.nEnd <= span.nStart) return entry;
    const std::string& s = entry.str();
    std::string joined;
    if (!span.bAfterAddress) {
        joined = s.substr(0, span.nUserEnd) + pszJoin + s.substr(span.nEnd + 1); // past the '@'
    } else {
        joined = s.substr(0, span.nAddressStart) + s.substr(span.nUserStart, span.nUserEnd - span.nUserStart) +
                 pszJoin + s.substr(span.nAddressStart, span.nAddressEnd - span.nAddressStart) + s.substr(span.nEnd);
    }
    CProxyAddress back;
    SPasswordSpan backSpan;
    if (ParseLine(joined.c_str(), back, backSpan) && back.strUser == address.strUser &&
        ProxyAddressKey(back) == ProxyAddressKey(address))
        return CString(joined);
    return CString(s.substr(0, span.nStart) + pszInPlace + s.substr(span.nEnd));
}

} // namespace

CString MaskProxyPassword(LPCTSTR pszEntry)
{
    return ReplacePassword(pszEntry, ":\x95\x95\x95@", "\x95\x95\x95");
}

CString ProxyEntryWithoutPassword(LPCTSTR pszEntry)
{
    return ReplacePassword(pszEntry, "@", "");
}

BOOL IsSocksScheme(EProxyScheme scheme)
{
    return scheme == PROXY_SCHEME_SOCKS4 || scheme == PROXY_SCHEME_SOCKS4A || scheme == PROXY_SCHEME_SOCKS5 ||
           scheme == PROXY_SCHEME_SOCKS5H;
}

LPCTSTR ProxySchemeName(EProxyScheme scheme)
{
    for (const SSchemeName& name : kSchemes) {
        if (name.scheme == scheme) return name.pszName;
    }
    return "http";
}

CString ProxyAddressKey(const CProxyAddress& address)
{
    CString host(address.strHost);
    host.MakeLower();
    CString key;
    key.Format("%s://[%s]:%d", ProxySchemeName(address.scheme), host.GetString(), address.nPort);
    return key;
}
