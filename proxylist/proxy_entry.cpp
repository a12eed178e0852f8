// The entry split and the list-text split.
#include "proxy_entry.h"

#include <climits>

namespace {

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

} // namespace

int ParsePortNumber(LPCTSTR psz)
{
    if (!psz) return 0;
    while (IsBlank(*psz)) ++psz;
    bool negative = false;
    if (*psz == '+' || *psz == '-') negative = (*psz++ == '-');
    long long value = 0;
    for (; *psz >= '0' && *psz <= '9'; ++psz) {
        value = value * 10 + (*psz - '0');
        // atoi's overflow is undefined; an absurd number just stays absurd.
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}

void SplitProxyEntry(LPCTSTR pszEntry, CString& rHost, int& rPort)
{
    CString entry(pszEntry);
    int colon = entry.Find(':');
    if (colon < 0) {
        rHost.Empty();
        rPort = ParsePortNumber(entry);
        return;
    }
    rHost = entry.Left(colon);
    rPort = ParsePortNumber(entry.Mid(colon + 1));
}

void AppendListEntries(const CString& strText, CStringList& rEntries)
{
    const std::string& text = strText.str();
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t end = lf == std::string::npos ? text.size() : lf;
        // A CR before the LF belongs to the line end; so do the doubled CRs
        // of lists that older versions stored as CR CR LF.
        size_t last = end;
        while (last > start && text[last - 1] == '\r') --last;
        rEntries.AddTail(CString(text.substr(start, last - start)));
        if (lf == std::string::npos) break;
        start = lf + 1;
    }
}
