// CFile and CStdioFile: files over the C runtime's streams. Text mode is done
// here rather than by the runtime, so it is the same in every build: CR LF on
// disk, LF in memory. Failures after a successful open throw CFileException.
#pragma once

#include "cstring.h"
#include "exceptions.h"
#include "object.h"

#include <cstdio>

class CFile : public CObject {
    DECLARE_DYNAMIC(CFile)
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoInherit = 0x0080,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };

    CFile() = default;
    // Opens at once and throws CFileException when that fails.
    CFile(LPCTSTR lpszFileName, UINT nOpenFlags);
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // FALSE when the file cannot be opened; pError, when given, says why.
    virtual BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    virtual UINT Read(void* lpBuf, UINT nCount);
    virtual void Write(const void* lpBuf, UINT nCount);
    virtual void Flush();
    // Closes the file; a failure to write out what was buffered throws.
    virtual void Close();
    // Closes without reporting anything: for clean-up after a failure.
    virtual void Abort();

    unsigned long long GetLength() const;
    void SeekToBegin();
    CString GetFilePath() const { return m_strFileName; }
    BOOL IsOpen() const { return m_pStream != nullptr; }

    FILE* m_pStream = nullptr;

protected:
    [[noreturn]] void ThrowErrno(int err) const;

    CString m_strFileName;
    BOOL m_bText = FALSE;
};

class CStdioFile : public CFile {
    DECLARE_DYNAMIC(CStdioFile)
public:
    CStdioFile() = default;
    CStdioFile(LPCTSTR lpszFileName, UINT nOpenFlags);

    // Text mode unless typeBinary is given.
    BOOL Open(LPCTSTR lpszFileName, UINT nOpenFlags, CFileException* pError = nullptr) override;
    UINT Read(void* lpBuf, UINT nCount) override;
    void Write(const void* lpBuf, UINT nCount) override;

    // Reads one whole line, however long, without its line end; FALSE at the
    // end of the file when nothing was left to read.
    BOOL ReadString(CString& rString);
    // Reads at most nMax - 1 bytes, up to and including a line feed, like fgets;
    // NULL at the end of the file.
    LPTSTR ReadString(LPTSTR lpsz, UINT nMax);
    void WriteString(LPCTSTR lpsz);

private:
    // Next byte in memory form (CR LF folded to LF in text mode), or EOF.
    int GetByte();
};
