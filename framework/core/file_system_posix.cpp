// POSIX half of the file-system seam: rename(2) and friends.
#include "file_system.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

BOOL CwFullPath(LPCTSTR lpszPath, CString& rFullPath)
{
    if (!lpszPath || !*lpszPath) return FALSE;
    CString full;
    if (lpszPath[0] == '/') {
        full = lpszPath;
    } else {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return FALSE;
        full = cwd;
        if (full.Right(1) != "/") full += '/';
        full += lpszPath;
    }
    if (full.GetLength() >= CW_MAX_PATH) return FALSE;
    rFullPath = full;
    return TRUE;
}

BOOL CwReplaceFile(LPCTSTR lpszSource, LPCTSTR lpszTarget)
{
    return std::rename(lpszSource, lpszTarget) == 0;
}

BOOL CwRemoveFile(LPCTSTR lpszPath)
{
    return unlink(lpszPath) == 0;
}

BOOL CwFileExists(LPCTSTR lpszPath)
{
    struct stat st;
    return stat(lpszPath, &st) == 0 && S_ISREG(st.st_mode);
}
