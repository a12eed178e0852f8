// CInternetFile and CHttpFile: the body of an internet request read as a
// stream, with a line reader. Created by CHttpConnection::OpenRequest.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/object.h"
#include "inet_exception.h"

#include <windows.h>
#include <wininet.h>

class CInternetConnection;

class CInternetFile : public CObject {
    DECLARE_DYNAMIC(CInternetFile)
public:
    ~CInternetFile() override;
    CInternetFile(const CInternetFile&) = delete;
    CInternetFile& operator=(const CInternetFile&) = delete;

    // One read of at most nCount bytes (what is buffered first, else one
    // InternetReadFile call); 0 at the end. Throws CInternetException.
    virtual UINT Read(void* lpBuf, UINT nCount);

    // The line reader: reads up to and including the next LF, at most
    // nMax - 1 bytes, dropping every CR and keeping the LF, and ends the
    // text with a NUL. NULL when the body had nothing more to give.
    // Throws CInternetException.
    LPTSTR ReadString(LPTSTR pstr, UINT nMax);
    // Reads one whole line, however long, without its LF and without any CR;
    // FALSE at the end when nothing was left.
    BOOL ReadString(CString& rString);

    BOOL SetOption(DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);
    BOOL QueryOption(DWORD dwOption, LPVOID lpBuffer, LPDWORD lpdwBufferLength) const;

    // Bytes of the body taken from the network so far, whichever reader
    // took them (CRs the line reader dropped included).
    ULONGLONG GetBytesReceived() const { return m_nReceived; }

    virtual void Close();

    operator HINTERNET() const { return m_hFile; }
    CString GetFileURL() const { return m_strObject; }
    DWORD_PTR GetContext() const { return m_dwContext; }

protected:
    CInternetFile(HINTERNET hFile, CInternetConnection* pConnection, LPCTSTR pstrObject, DWORD_PTR dwContext);

    HINTERNET m_hFile = nullptr;
    CInternetConnection* m_pConnection;
    CString m_strObject;
    DWORD_PTR m_dwContext;

private:
    // Next byte of the body, or -1 at its end.
    int GetByte();
    BOOL FillBuffer();

    enum { kBufferSize = 4096 };
    char m_buffer[kBufferSize];
    UINT m_nBufPos = 0;
    UINT m_nBufLen = 0;
    BOOL m_bEnd = FALSE;
    ULONGLONG m_nReceived = 0;
};

class CHttpFile : public CInternetFile {
    DECLARE_DYNAMIC(CHttpFile)
public:
    CHttpFile(HINTERNET hFile, CInternetConnection* pConnection, LPCTSTR pstrObject, LPCTSTR pstrVerb,
              DWORD_PTR dwContext);

    BOOL AddRequestHeaders(LPCTSTR pstrHeaders, DWORD dwModifiers = HTTP_ADDREQ_FLAG_ADD_IF_NEW, int dwHeadersLen = -1);
    // Sends the request (HttpSendRequestA). Throws CInternetException when it
    // cannot be sent: no connection, name not found, refused, timed out.
    BOOL SendRequest(LPCTSTR pstrHeaders = nullptr, DWORD dwHeadersLen = 0, LPVOID lpOptional = nullptr,
                     DWORD dwOptionalLen = 0);

    // The answer's status code (200, 404, ...); FALSE when there is none.
    BOOL QueryInfoStatusCode(DWORD& dwStatusCode) const;
    // One field of the answer as text (HTTP_QUERY_*).
    BOOL QueryInfo(DWORD dwInfoLevel, CString& rString) const;

    CString GetVerb() const { return m_strVerb; }

private:
    CString m_strVerb;
};
