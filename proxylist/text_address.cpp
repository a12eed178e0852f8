// IP addresses in free text, in one normal form each.
#include "text_address.h"

#include <cstdio>

namespace {

BOOL IsDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

BOOL IsHexDigit(char ch)
{
    return IsDigit(ch) || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

BOOL IsWordChar(char ch)
{
    return IsHexDigit(ch) || (ch >= 'g' && ch <= 'z') || (ch >= 'G' && ch <= 'Z') || ch == '_';
}

int HexValue(char ch)
{
    if (IsDigit(ch)) return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return ch - 'A' + 10;
}

// A whole dotted quad: four parts of 1 to 3 digits, each at most 255.
BOOL ParseIPv4(const std::string& strText, unsigned char bytes[4])
{
    size_t nPos = 0;
    for (int nPart = 0; nPart < 4; ++nPart) {
        if (nPart > 0) {
            if (nPos >= strText.size() || strText[nPos] != '.') return FALSE;
            ++nPos;
        }
        int nValue = 0, nDigits = 0;
        while (nPos < strText.size() && IsDigit(strText[nPos]) && nDigits < 4) {
            nValue = nValue * 10 + (strText[nPos++] - '0');
            ++nDigits;
        }
        if (nDigits == 0 || nDigits > 3 || nValue > 255) return FALSE;
        bytes[nPart] = static_cast<unsigned char>(nValue);
    }
    return nPos == strText.size();
}

CString IPv4Text(const unsigned char bytes[4])
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return CString(text);
}

// A whole IPv6 address into its 16 bytes; only with "::" or eight groups.
BOOL ParseIPv6(const std::string& strText, unsigned char bytes[16])
{
    unsigned short groups[8] = {};
    int nGroups = 0, nGap = -1;
    size_t nPos = 0;
    if (strText.compare(0, 2, "::") == 0) {
        nGap = 0;
        nPos = 2;
    }
    while (nPos < strText.size()) {
        // A dotted IPv4 tail fills the last two groups.
        size_t nEnd = strText.find(':', nPos);
        std::string strPart = strText.substr(nPos, nEnd == std::string::npos ? std::string::npos : nEnd - nPos);
        if (strPart.find('.') != std::string::npos) {
            unsigned char tail[4];
            if (nEnd != std::string::npos || nGroups > 6 || !ParseIPv4(strPart, tail)) return FALSE;
            groups[nGroups++] = static_cast<unsigned short>(tail[0] << 8 | tail[1]);
            groups[nGroups++] = static_cast<unsigned short>(tail[2] << 8 | tail[3]);
            nPos = strText.size();
            break;
        }
        if (strPart.empty() || strPart.size() > 4 || nGroups >= 8) return FALSE;
        unsigned nValue = 0;
        for (char ch : strPart) {
            if (!IsHexDigit(ch)) return FALSE;
            nValue = nValue * 16 + static_cast<unsigned>(HexValue(ch));
        }
        groups[nGroups++] = static_cast<unsigned short>(nValue);
        if (nEnd == std::string::npos) {
            nPos = strText.size();
        } else if (strText.compare(nEnd, 2, "::") == 0) {
            if (nGap >= 0) return FALSE;
            nGap = nGroups;
            nPos = nEnd + 2;
        } else {
            nPos = nEnd + 1;
            if (nPos >= strText.size()) return FALSE;
        }
    }
    if (nGap < 0 ? nGroups != 8 : nGroups > 7) return FALSE;
    unsigned short full[8] = {};
    int nMissing = 8 - nGroups;
    for (int i = 0, j = 0; i < nGroups; ++i, ++j) {
        if (i == nGap) j += nMissing;
        full[j] = groups[i];
    }
    for (int i = 0; i < 8; ++i) {
        bytes[2 * i] = static_cast<unsigned char>(full[i] >> 8);
        bytes[2 * i + 1] = static_cast<unsigned char>(full[i] & 0xFF);
    }
    return TRUE;
}

CString IPv6Text(const unsigned char bytes[16])
{
    // ::ffff:a.b.c.d is how a dual-stack server writes an IPv4 client.
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    BOOL bMapped = TRUE;
    for (int i = 0; i < 12; ++i) bMapped = bMapped && bytes[i] == kMapped[i];
    if (bMapped) return IPv4Text(bytes + 12);
    char text[33];
    for (int i = 0; i < 16; ++i) std::snprintf(text + 2 * i, 3, "%02x", bytes[i]);
    return CString(text);
}

} // namespace

void FindAddresses(const CString& strText, std::vector<CString>& rAddresses)
{
    const std::string& s = strText.str();
    size_t nPos = 0;
    while (nPos < s.size()) {
        char ch = s[nPos];
        BOOL bStartFree = nPos == 0 || (!IsWordChar(s[nPos - 1]) && s[nPos - 1] != '.');
        if (!bStartFree || !(IsHexDigit(ch) || ch == ':')) {
            ++nPos;
            continue;
        }
        // The longest run of address characters; it is an address as a
        // whole or not at all.
        size_t nEnd = nPos;
        while (nEnd < s.size() && (IsHexDigit(s[nEnd]) || s[nEnd] == '.' || s[nEnd] == ':')) ++nEnd;
        std::string strRun = s.substr(nPos, nEnd - nPos);
        // A sentence may end just after an address.
        while (!strRun.empty() && strRun.back() == '.') strRun.pop_back();
        BOOL bEndFree = nEnd >= s.size() || !IsWordChar(s[nEnd]);
        unsigned char v4[4], v6[16];
        // "1.2.3.4:80" is the address with its port.
        size_t nColon = strRun.find(':');
        std::string strBeforePort = nColon == std::string::npos ? std::string() : strRun.substr(0, nColon);
        if (bEndFree && ParseIPv4(strRun, v4))
            rAddresses.push_back(IPv4Text(v4));
        else if (bEndFree && ParseIPv6(strRun, v6))
            rAddresses.push_back(IPv6Text(v6));
        else if (ParseIPv4(strBeforePort, v4))
            rAddresses.push_back(IPv4Text(v4));
        nPos = nEnd;
    }
}

BOOL HoldsAnyAddress(const CString& strText, const std::vector<CString>& addresses)
{
    std::vector<CString> found;
    FindAddresses(strText, found);
    for (const CString& strFound : found)
        for (const CString& strKnown : addresses)
            if (strFound == strKnown) return TRUE;
    return FALSE;
}
