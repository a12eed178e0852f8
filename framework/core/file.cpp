// CFile and CStdioFile over C runtime streams opened in binary mode, with the
// text translation done here.
#include "file.h"

#include <cerrno>

IMPLEMENT_DYNAMIC(CFile, CObject)
IMPLEMENT_DYNAMIC(CStdioFile, CFile)

namespace {

const char* FopenMode(UINT flags)
{
    const bool readWrite = (flags & 3) == CFile::modeReadWrite;
    const bool write = (flags & 3) == CFile::modeWrite;
    if (flags & CFile::modeCreate) {
        if (flags & CFile::modeNoTruncate) return nullptr; // handled by the caller: open existing, else create
        return readWrite ? "w+b" : "wb";
    }
    if (readWrite || write) return "r+b";
    return "rb";
}

} // namespace

CFile::CFile(LPCTSTR lpszFileName, UINT nOpenFlags)
{
    CFileException error;
    if (!Open(lpszFileName, nOpenFlags, &error)) AfxThrowFileException(error.m_cause, error.m_lOsError, lpszFileName);
}

CFile::~CFile()
{
    Abort();
}

BOOL CFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    Abort();
    if (!lpszFileName || !*lpszFileName) {
        if (pError) *pError = CFileException(CFileException::badPath, ENOENT, lpszFileName);
        return FALSE;
    }
    const char* mode = FopenMode(nOpenFlags);
    FILE* f;
    if (mode) {
        f = std::fopen(lpszFileName, mode);
    } else {
        f = std::fopen(lpszFileName, "r+b");
        if (!f && errno == ENOENT) f = std::fopen(lpszFileName, "w+b");
    }
    if (!f) {
        int err = errno;
        if (pError) *pError = CFileException(CFileException::ErrnoToException(err), err, lpszFileName);
        return FALSE;
    }
    m_pStream = f;
    m_strFileName = lpszFileName;
    m_bText = FALSE;
    return TRUE;
}

void CFile::ThrowErrno(int err) const
{
    AfxThrowFileException(CFileException::ErrnoToException(err), err, m_strFileName);
}

UINT CFile::Read(void* lpBuf, UINT nCount)
{
    if (!m_pStream) AfxThrowFileException(CFileException::invalidFile, -1, m_strFileName);
    size_t n = std::fread(lpBuf, 1, nCount, m_pStream);
    if (n < nCount && std::ferror(m_pStream)) ThrowErrno(errno);
    return static_cast<UINT>(n);
}

void CFile::Write(const void* lpBuf, UINT nCount)
{
    if (!m_pStream) AfxThrowFileException(CFileException::invalidFile, -1, m_strFileName);
    if (nCount && std::fwrite(lpBuf, 1, nCount, m_pStream) != nCount) ThrowErrno(errno ? errno : ENOSPC);
}

void CFile::Flush()
{
    if (m_pStream && std::fflush(m_pStream) != 0) ThrowErrno(errno ? errno : ENOSPC);
}

void CFile::Close()
{
    if (!m_pStream) return;
    FILE* f = m_pStream;
    m_pStream = nullptr;
    // fclose flushes: a disk that fills up shows here, not at the last Write.
    bool failed = std::ferror(f) != 0;
    int err = errno;
    if (std::fclose(f) != 0) {
        failed = true;
        err = errno;
    }
    if (failed) ThrowErrno(err ? err : EIO);
}

void CFile::Abort()
{
    if (m_pStream) {
        std::fclose(m_pStream);
        m_pStream = nullptr;
    }
}

unsigned long long CFile::GetLength() const
{
    if (!m_pStream) return 0;
    long here = std::ftell(m_pStream);
    std::fseek(m_pStream, 0, SEEK_END);
    long end = std::ftell(m_pStream);
    std::fseek(m_pStream, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<unsigned long long>(end);
}

void CFile::SeekToBegin()
{
    if (m_pStream) std::rewind(m_pStream);
}

CStdioFile::CStdioFile(LPCTSTR lpszFileName, UINT nOpenFlags)
{
    CFileException error;
    if (!Open(lpszFileName, nOpenFlags, &error)) AfxThrowFileException(error.m_cause, error.m_lOsError, lpszFileName);
}

BOOL CStdioFile::Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError)
{
    if (!CFile::Open(lpszFileName, nOpenFlags, pError)) return FALSE;
    m_bText = (nOpenFlags & typeBinary) == 0;
    return TRUE;
}

int CStdioFile::GetByte()
{
    int ch = std::getc(m_pStream);
    if (ch == '\r' && m_bText) {
        int next = std::getc(m_pStream);
        if (next == '\n') return '\n';
        if (next != EOF) std::ungetc(next, m_pStream);
    }
    return ch;
}

UINT CStdioFile::Read(void* lpBuf, UINT nCount)
{
    if (!m_bText) return CFile::Read(lpBuf, nCount);
    if (!m_pStream) AfxThrowFileException(CFileException::invalidFile, -1, m_strFileName);
    char* out = static_cast<char*>(lpBuf);
    UINT n = 0;
    for (int ch; n < nCount && (ch = GetByte()) != EOF;) out[n++] = static_cast<char>(ch);
    if (std::ferror(m_pStream)) ThrowErrno(errno);
    return n;
}

void CStdioFile::Write(const void* lpBuf, UINT nCount)
{
    if (!m_bText) return CFile::Write(lpBuf, nCount);
    const char* p = static_cast<const char*>(lpBuf);
    const char* end = p + nCount;
    while (p < end) {
        const char* lf = p;
        while (lf < end && *lf != '\n') ++lf;
        CFile::Write(p, static_cast<UINT>(lf - p));
        if (lf == end) break;
        CFile::Write("\r\n", 2);
        p = lf + 1;
    }
}

BOOL CStdioFile::ReadString(CString& rString)
{
    rString.Empty();
    if (!m_pStream) AfxThrowFileException(CFileException::invalidFile, -1, m_strFileName);
    std::string line;
    int ch;
    bool any = false;
    while ((ch = GetByte()) != EOF) {
        any = true;
        if (ch == '\n') break;
        line += static_cast<char>(ch);
    }
    if (std::ferror(m_pStream)) ThrowErrno(errno);
    rString = CString(line);
    return any ? TRUE : FALSE;
}

LPTSTR CStdioFile::ReadString(LPTSTR lpsz, UINT nMax)
{
    if (!m_pStream) AfxThrowFileException(CFileException::invalidFile, -1, m_strFileName);
    if (!lpsz || nMax == 0) return nullptr;
    UINT n = 0;
    int ch = EOF;
    while (n + 1 < nMax && (ch = GetByte()) != EOF) {
        lpsz[n++] = static_cast<char>(ch);
        if (ch == '\n') break;
    }
    lpsz[n] = '\0';
    if (std::ferror(m_pStream)) ThrowErrno(errno);
    return n == 0 ? nullptr : lpsz;
}

void CStdioFile::WriteString(LPCTSTR lpsz)
{
    if (!lpsz) AfxThrowFileException(CFileException::genericException, -1, m_strFileName);
    Write(lpsz, static_cast<UINT>(std::char_traits<char>::length(lpsz)));
}
