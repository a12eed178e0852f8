// The framework's exceptions and their texts.
#include "exceptions.h"

#include <cerrno>
#include <cstdio>

IMPLEMENT_DYNAMIC(CException, CObject)
IMPLEMENT_DYNAMIC(CMemoryException, CException)
IMPLEMENT_DYNAMIC(CFileException, CException)

namespace {

BOOL CopyMessage(LPTSTR lpszError, UINT nMaxError, const char* text)
{
    if (!lpszError || nMaxError == 0) return FALSE;
    std::snprintf(lpszError, nMaxError, "%s", text);
    return TRUE;
}

} // namespace

BOOL CException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT*) const
{
    if (lpszError && nMaxError) *lpszError = '\0';
    return FALSE;
}

BOOL CMemoryException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT*) const
{
    return CopyMessage(lpszError, nMaxError, "Out of memory.");
}

int CFileException::ErrnoToException(int nErrno)
{
    switch (nErrno) {
    case ENOENT: return fileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG: return badPath;
    case EMFILE:
    case ENFILE: return tooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return accessDenied;
    case EBADF: return invalidFile;
    case ENOSPC: return diskFull;
    case EIO: return hardIO;
    default: return genericException;
    }
}

BOOL CFileException::GetErrorMessage(LPTSTR lpszError, UINT nMaxError, UINT*) const
{
    static const char* const texts[] = {
        "No error occurred",
        "An unspecified error occurred",
        "The file could not be located",
        "All or part of the path is invalid",
        "Too many files are open",
        "The file could not be accessed",
        "The file handle is invalid",
        "The current working directory cannot be removed",
        "There are no more directory entries",
        "Error seeking the file pointer",
        "A hardware error occurred",
        "A sharing violation occurred",
        "A locking violation occurred",
        "The disk is full",
        "The end of file was reached",
    };
    int cause = (m_cause >= 0 && m_cause <= endOfFile) ? m_cause : genericException;
    CString text;
    if (m_strFileName.IsEmpty())
        text.Format("%s.", texts[cause]);
    else
        text.Format("%s: %s.", texts[cause], static_cast<LPCTSTR>(m_strFileName));
    return CopyMessage(lpszError, nMaxError, text);
}

void AfxThrowMemoryException()
{
    throw new CMemoryException();
}

void AfxThrowFileException(int cause, LONG lOsError, LPCTSTR lpszFileName)
{
    throw new CFileException(cause, lOsError, lpszFileName);
}
