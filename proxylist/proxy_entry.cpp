// The entry split and the list-text split.
#include "proxy_entry.h"

#include "framework/core/text_number.h"

void SplitProxyEntry(LPCTSTR pszEntry, CString& rHost, int& rPort)
{
    CString entry(pszEntry);
    int colon = entry.Find(':');
    if (colon < 0) {
        rHost.Empty();
        rPort = CwAtoi(entry);
        return;
    }
    rHost = entry.Left(colon);
    rPort = CwAtoi(entry.Mid(colon + 1));
}

void ReadProxyEntry(LPCTSTR pszEntry, CProxyAddress& rAddress)
{
    if (ParseProxyAddress(pszEntry, rAddress)) return;
    rAddress = CProxyAddress();
    SplitProxyEntry(pszEntry, rAddress.strHost, rAddress.nPort);
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
