// Reading the answers of public judges: the environment dump of a script
// page and the JSON echo of an HTTP echo service.
#include "judge_answer.h"

#include <cctype>
#include <string>
#include <utility>

namespace {

BOOL IsBlank(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// "&amp;" and its kin, as a page that prints a header into HTML writes it.
CString UnescapeHtml(const CString& strText)
{
    if (strText.Find('&') < 0) return strText;
    CString strOut(strText);
    strOut.Replace("&lt;", "<");
    strOut.Replace("&gt;", ">");
    strOut.Replace("&quot;", "\"");
    strOut.Replace("&#39;", "'");
    strOut.Replace("&#039;", "'");
    strOut.Replace("&amp;", "&");
    return strOut;
}

// HTTP_X_FORWARDED_FOR names the header X-Forwarded-For.
CString HeaderNameOfKey(const CString& strKey)
{
    CString strName = strKey.Mid(5);
    strName.MakeLower();
    BOOL bWordStart = TRUE;
    for (int i = 0; i < strName.GetLength(); ++i) {
        char ch = strName[i];
        if (ch == '_') {
            strName.SetAt(i, '-');
            bWordStart = TRUE;
        } else {
            if (bWordStart && ch >= 'a' && ch <= 'z') strName.SetAt(i, static_cast<char>(ch - 'a' + 'A'));
            bWordStart = FALSE;
        }
    }
    return strName;
}

BOOL IsEnvKey(const CString& strKey)
{
    if (strKey.IsEmpty()) return FALSE;
    for (int i = 0; i < strKey.GetLength(); ++i) {
        char ch = strKey[i];
        BOOL bOk = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '_';
        if (!bOk) return FALSE;
    }
    return TRUE;
}

// A small reader of the JSON an echo service answers with: objects, arrays,
// strings, numbers and words; only what the grader needs is kept.
class CJsonReader {
public:
    explicit CJsonReader(const std::string& strText) : m_s(strText) {}

    BOOL ReadEcho(CJudgeAnswer& rAnswer)
    {
        SkipBlanks();
        if (!Take('{')) return FALSE;
        BOOL bEcho = FALSE;
        CString strUrl, strMarkerArg;
        if (!Take('}')) {
            do {
                std::string strKey;
                SkipBlanks();
                if (!ReadString(strKey) || !TakeAfterBlanks(':')) return FALSE;
                SkipBlanks();
                if (strKey == "origin") {
                    std::string strOrigin;
                    if (!ReadText(strOrigin)) return FALSE;
                    rAnswer.strClient = strOrigin.c_str();
                    bEcho = TRUE;
                } else if (strKey == "url") {
                    std::string strValue;
                    if (!ReadText(strValue)) return FALSE;
                    strUrl = strValue.c_str();
                } else if (strKey == "headers" || strKey == "args") {
                    std::vector<std::pair<std::string, std::string>> members;
                    if (!ReadFlatObject(members)) return FALSE;
                    for (const auto& member : members) {
                        if (strKey == "headers")
                            rAnswer.headers.push_back(CString((member.first + ": " + member.second).c_str()));
                        else if (member.first == "cwm")
                            strMarkerArg = CString("cwm=") + member.second.c_str();
                    }
                    bEcho = bEcho || strKey == "headers";
                } else if (!SkipValue(0)) {
                    return FALSE;
                }
            } while (TakeAfterBlanks(','));
            if (!TakeAfterBlanks('}')) return FALSE;
        }
        rAnswer.strRequest = strUrl;
        if (!strMarkerArg.IsEmpty()) rAnswer.strRequest += (strUrl.IsEmpty() ? "" : " ") + strMarkerArg;
        SkipBlanks();
        // Anything after the object was added on the way.
        rAnswer.bIntact = m_nPos == m_s.size();
        return bEcho;
    }

private:
    static const int kMaxDepth = 32;

    void SkipBlanks()
    {
        while (m_nPos < m_s.size() && IsBlank(m_s[m_nPos])) ++m_nPos;
    }
    BOOL Take(char ch)
    {
        if (m_nPos >= m_s.size() || m_s[m_nPos] != ch) return FALSE;
        ++m_nPos;
        return TRUE;
    }
    BOOL TakeAfterBlanks(char ch)
    {
        SkipBlanks();
        return Take(ch);
    }

    void AppendUtf8(std::string& rOut, unsigned nCode)
    {
        if (nCode < 0x80) {
            rOut += static_cast<char>(nCode);
        } else if (nCode < 0x800) {
            rOut += static_cast<char>(0xC0 | (nCode >> 6));
            rOut += static_cast<char>(0x80 | (nCode & 0x3F));
        } else {
            rOut += static_cast<char>(0xE0 | (nCode >> 12));
            rOut += static_cast<char>(0x80 | ((nCode >> 6) & 0x3F));
            rOut += static_cast<char>(0x80 | (nCode & 0x3F));
        }
    }

    BOOL ReadString(std::string& rOut)
    {
        rOut.clear();
        if (!Take('"')) return FALSE;
        while (m_nPos < m_s.size()) {
            char ch = m_s[m_nPos++];
            if (ch == '"') return TRUE;
            if (ch != '\\') {
                rOut += ch;
                continue;
            }
            if (m_nPos >= m_s.size()) return FALSE;
            char esc = m_s[m_nPos++];
            switch (esc) {
            case 'b': rOut += '\b'; break;
            case 'f': rOut += '\f'; break;
            case 'n': rOut += '\n'; break;
            case 'r': rOut += '\r'; break;
            case 't': rOut += '\t'; break;
            case 'u': {
                if (m_nPos + 4 > m_s.size()) return FALSE;
                unsigned nCode = 0;
                for (int i = 0; i < 4; ++i) {
                    char h = m_s[m_nPos++];
                    int nDigit = (h >= '0' && h <= '9')   ? h - '0'
                                 : (h >= 'a' && h <= 'f') ? h - 'a' + 10
                                 : (h >= 'A' && h <= 'F') ? h - 'A' + 10
                                                          : -1;
                    if (nDigit < 0) return FALSE;
                    nCode = nCode * 16 + static_cast<unsigned>(nDigit);
                }
                AppendUtf8(rOut, nCode);
                break;
            }
            default: rOut += esc; break; // \" \\ \/
            }
        }
        return FALSE;
    }

    // A string, or an array of strings joined as a header's repeated
    // values are: "a, b".
    BOOL ReadText(std::string& rOut)
    {
        if (m_nPos < m_s.size() && m_s[m_nPos] == '"') return ReadString(rOut);
        if (!Take('[')) return FALSE;
        rOut.clear();
        if (TakeAfterBlanks(']')) return TRUE;
        do {
            std::string strOne;
            SkipBlanks();
            if (!ReadString(strOne)) return FALSE;
            if (!rOut.empty()) rOut += ", ";
            rOut += strOne;
        } while (TakeAfterBlanks(','));
        return TakeAfterBlanks(']');
    }

    BOOL ReadFlatObject(std::vector<std::pair<std::string, std::string>>& rMembers)
    {
        if (!Take('{')) return FALSE;
        if (TakeAfterBlanks('}')) return TRUE;
        do {
            std::string strKey, strValue;
            SkipBlanks();
            if (!ReadString(strKey) || !TakeAfterBlanks(':')) return FALSE;
            SkipBlanks();
            if (!ReadText(strValue)) return FALSE;
            rMembers.emplace_back(strKey, strValue);
        } while (TakeAfterBlanks(','));
        return TakeAfterBlanks('}');
    }

    BOOL SkipValue(int nDepth)
    {
        if (nDepth > kMaxDepth || m_nPos >= m_s.size()) return FALSE;
        char ch = m_s[m_nPos];
        std::string strIgnored;
        if (ch == '"') return ReadString(strIgnored);
        if (ch == '{' || ch == '[') {
            char close = ch == '{' ? '}' : ']';
            ++m_nPos;
            if (TakeAfterBlanks(close)) return TRUE;
            do {
                SkipBlanks();
                if (ch == '{' && (!ReadString(strIgnored) || !TakeAfterBlanks(':'))) return FALSE;
                SkipBlanks();
                if (!SkipValue(nDepth + 1)) return FALSE;
            } while (TakeAfterBlanks(','));
            return TakeAfterBlanks(close);
        }
        // A number, true, false or null.
        size_t nStart = m_nPos;
        while (m_nPos < m_s.size() && (std::isalnum(static_cast<unsigned char>(m_s[m_nPos])) || m_s[m_nPos] == '-' ||
                                       m_s[m_nPos] == '+' || m_s[m_nPos] == '.'))
            ++m_nPos;
        return m_nPos > nStart;
    }

    const std::string& m_s;
    size_t m_nPos = 0;
};

} // namespace

BOOL ParseEnvDumpAnswer(const CString& strBody, CJudgeAnswer& rAnswer)
{
    CJudgeAnswer answer;
    CString strLower(strBody);
    strLower.MakeLower();
    int nFrom = 0, nTo = strBody.GetLength();
    int nPre = strLower.Find("<pre");
    if (nPre >= 0) {
        int nOpenEnd = strLower.Find('>', nPre);
        nFrom = nOpenEnd < 0 ? strBody.GetLength() : nOpenEnd + 1;
        int nClose = strLower.Find("</pre", nFrom);
        if (nClose >= 0) nTo = nClose;
    }
    BOOL bDump = FALSE;
    CString strQuery;
    for (int nPos = nFrom; nPos < nTo;) {
        int nEnd = strBody.Find('\n', nPos);
        if (nEnd < 0 || nEnd > nTo) nEnd = nTo;
        CString strLine = strBody.Mid(nPos, nEnd - nPos);
        nPos = nEnd + 1;
        int nEqual = strLine.Find('=');
        if (nEqual < 0) continue;
        CString strKey = strLine.Left(nEqual);
        strKey.Trim();
        if (!IsEnvKey(strKey)) continue;
        CString strValue = UnescapeHtml(strLine.Mid(nEqual + 1));
        strValue.Trim();
        CString strUpper(strKey);
        strUpper.MakeUpper();
        if (strUpper == "REMOTE_ADDR") {
            answer.strClient = strValue;
            bDump = TRUE;
        } else if (strUpper == "REQUEST_URI") {
            answer.strRequest = strValue;
        } else if (strUpper == "QUERY_STRING") {
            strQuery = strValue;
        } else if (strUpper.Left(5) == "HTTP_" && strUpper.GetLength() > 5) {
            answer.headers.push_back(HeaderNameOfKey(strKey) + ": " + strValue);
            bDump = TRUE;
        }
    }
    if (!bDump) return FALSE;
    if (answer.strRequest.IsEmpty() && !strQuery.IsEmpty()) answer.strRequest = "?" + strQuery;
    answer.eStyle = JUDGE_STYLE_ENV_DUMP;
    answer.bIntact = TRUE;
    rAnswer = answer;
    return TRUE;
}

BOOL ParseJsonEchoAnswer(const CString& strBody, CJudgeAnswer& rAnswer)
{
    CJudgeAnswer answer;
    CJsonReader reader(strBody.str());
    if (!reader.ReadEcho(answer)) return FALSE;
    answer.eStyle = JUDGE_STYLE_JSON;
    rAnswer = answer;
    return TRUE;
}
