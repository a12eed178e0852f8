// CInternetFile and CHttpFile over InternetReadFile and the HttpXxx calls.
#include "inet_file.h"

#include "inet_session.h"

#include <cstring>

IMPLEMENT_DYNAMIC(CInternetFile, CObject)
IMPLEMENT_DYNAMIC(CHttpFile, CInternetFile)

CInternetFile::CInternetFile(HINTERNET hFile, CInternetConnection* pConnection, LPCTSTR pstrObject, DWORD_PTR dwContext)
    : m_hFile(hFile), m_pConnection(pConnection), m_strObject(pstrObject), m_dwContext(dwContext)
{
}

CInternetFile::~CInternetFile()
{
    Close();
}

void CInternetFile::Close()
{
    CloseInternetHandle(m_hFile);
    m_nBufPos = m_nBufLen = 0;
}

BOOL CInternetFile::FillBuffer()
{
    if (m_bEnd) return FALSE;
    if (!m_hFile) AfxThrowInternetException(m_dwContext, ERROR_INVALID_HANDLE);
    DWORD n = 0;
    if (!InternetReadFile(m_hFile, m_buffer, kBufferSize, &n)) AfxThrowInternetException(m_dwContext);
    m_nBufPos = 0;
    m_nBufLen = n;
    m_nReceived += n;
    if (n == 0) m_bEnd = TRUE;
    return n != 0;
}

int CInternetFile::GetByte()
{
    if (m_nBufPos == m_nBufLen && !FillBuffer()) return -1;
    return static_cast<unsigned char>(m_buffer[m_nBufPos++]);
}

UINT CInternetFile::Read(void* lpBuf, UINT nCount)
{
    if (nCount == 0) return 0;
    if (m_nBufPos < m_nBufLen) {
        UINT n = m_nBufLen - m_nBufPos;
        if (n > nCount) n = nCount;
        std::memcpy(lpBuf, m_buffer + m_nBufPos, n);
        m_nBufPos += n;
        return n;
    }
    if (m_bEnd) return 0;
    if (!m_hFile) AfxThrowInternetException(m_dwContext, ERROR_INVALID_HANDLE);
    DWORD n = 0;
    if (!InternetReadFile(m_hFile, lpBuf, nCount, &n)) AfxThrowInternetException(m_dwContext);
    m_nReceived += n;
    if (n == 0) m_bEnd = TRUE;
    return n;
}

LPTSTR CInternetFile::ReadString(LPTSTR pstr, UINT nMax)
{
    if (!pstr || nMax == 0) return nullptr;
    UINT n = 0;
    BOOL bAny = FALSE;
    while (n + 1 < nMax) {
        int ch = GetByte();
        if (ch < 0) break;
        bAny = TRUE;
        if (ch == '\r') continue;
        pstr[n++] = static_cast<char>(ch);
        if (ch == '\n') break;
    }
    pstr[n] = '\0';
    // A piece made only of dropped CRs still counts as read: the caller
    // keeps going and finds the end on its next call.
    return bAny ? pstr : nullptr;
}

BOOL CInternetFile::ReadString(CString& rString)
{
    rString.Empty();
    BOOL bAny = FALSE;
    for (int ch; (ch = GetByte()) >= 0;) {
        bAny = TRUE;
        if (ch == '\n') break;
        if (ch != '\r') rString += static_cast<char>(ch);
    }
    return bAny;
}

BOOL CInternetFile::SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength)
{
    return InternetSetOptionA(m_hFile, dwOption, lpBuffer, dwBufferLength);
}

BOOL CInternetFile::QueryOption(DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) const
{
    return InternetQueryOptionA(m_hFile, dwOption, lpBuffer, lpdwBufferLength);
}

CHttpFile::CHttpFile(HINTERNET hFile, CInternetConnection* pConnection, LPCTSTR pstrObject, LPCTSTR pstrVerb,
                     DWORD_PTR dwContext)
    : CInternetFile(hFile, pConnection, pstrObject, dwContext), m_strVerb(pstrVerb ? pstrVerb : "GET")
{
}

BOOL CHttpFile::AddRequestHeaders(LPCTSTR pstrHeaders, DWORD dwModifiers, int dwHeadersLen)
{
    DWORD len = dwHeadersLen < 0 ? static_cast<DWORD>(-1) : static_cast<DWORD>(dwHeadersLen);
    return HttpAddRequestHeadersA(m_hFile, pstrHeaders, len, dwModifiers);
}

BOOL CHttpFile::SendRequest(LPCTSTR pstrHeaders, DWORD dwHeadersLen, LPVOID lpOptional, DWORD dwOptionalLen)
{
    if (pstrHeaders && dwHeadersLen == 0) dwHeadersLen = static_cast<DWORD>(std::strlen(pstrHeaders));
    if (!HttpSendRequestA(m_hFile, pstrHeaders, dwHeadersLen, lpOptional, dwOptionalLen))
        AfxThrowInternetException(m_dwContext);
    return TRUE;
}

BOOL CHttpFile::QueryInfoStatusCode(DWORD& dwStatusCode) const
{
    DWORD size = sizeof dwStatusCode;
    dwStatusCode = 0;
    return HttpQueryInfoA(m_hFile, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &dwStatusCode, &size, nullptr);
}

BOOL CHttpFile::QueryInfo(DWORD dwInfoLevel, CString& rString) const
{
    rString.Empty();
    DWORD size = 0;
    if (HttpQueryInfoA(m_hFile, dwInfoLevel, nullptr, &size, nullptr)) return TRUE;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return FALSE;
    LPTSTR p = rString.GetBuffer(static_cast<int>(size));
    BOOL ok = HttpQueryInfoA(m_hFile, dwInfoLevel, p, &size, nullptr);
    rString.ReleaseBuffer(ok ? static_cast<int>(size) : 0);
    return ok;
}
