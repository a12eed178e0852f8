// Win32 half of the file-system seam: GetFullPathNameA and MoveFileExA.
#include "file_system.h"

#include <windows.h>

BOOL CwFullPath(LPCTSTR lpszPath, CString& rFullPath)
{
    if (!lpszPath || !*lpszPath) return FALSE;
    char buffer[CW_MAX_PATH];
    DWORD n = GetFullPathNameA(lpszPath, CW_MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= CW_MAX_PATH) return FALSE;
    rFullPath = buffer;
    return TRUE;
}

BOOL CwReplaceFile(LPCTSTR lpszSource, LPCTSTR lpszTarget)
{
    return MoveFileExA(lpszSource, lpszTarget, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

BOOL CwRemoveFile(LPCTSTR lpszPath)
{
    return DeleteFileA(lpszPath) != 0;
}

BOOL CwFileExists(LPCTSTR lpszPath)
{
    DWORD attributes = GetFileAttributesA(lpszPath);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
