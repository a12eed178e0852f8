// Reading an HTTP/1.0 answer as its pieces arrive.
#include "http_answer_reader.h"

#include <cstdlib>

BOOL CHttpAnswerReader::Add(const char* pData, int nLen)
{
    m_strAnswer.Append(pData, nLen);
    if (m_strAnswer.GetLength() > m_nMaxBytes) return FALSE;
    if (m_nHeadEnd < 0 && (m_nHeadEnd = m_strAnswer.Find("\r\n\r\n")) >= 0) {
        CString strHead = m_strAnswer.Left(m_nHeadEnd);
        strHead.MakeLower();
        int nLen = strHead.Find("\r\ncontent-length:");
        if (nLen >= 0) m_nWant = std::atol(strHead.Mid(nLen + 17));
    }
    return TRUE;
}

BOOL CHttpAnswerReader::IsComplete() const
{
    return m_nHeadEnd >= 0 && m_nWant >= 0 && m_strAnswer.GetLength() - (m_nHeadEnd + 4) >= m_nWant;
}

DWORD CHttpAnswerReader::Status() const
{
    int nSpace = m_strAnswer.Find(' ');
    return nSpace > 0 ? static_cast<DWORD>(std::atoi(m_strAnswer.Mid(nSpace + 1))) : 0;
}

CString CHttpAnswerReader::Body() const
{
    if (m_nHeadEnd < 0) return CString();
    CString strBody = m_strAnswer.Mid(m_nHeadEnd + 4);
    if (m_nWant >= 0 && strBody.GetLength() > m_nWant) strBody = strBody.Left(m_nWant);
    return strBody;
}
