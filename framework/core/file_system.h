// File-system seam: the few path and file operations the framework needs,
// with one implementation for Win32 and one for POSIX beside this header.
#pragma once

#include "cstring.h"

// Longest full path the program handles, as on Win32.
constexpr int CW_MAX_PATH = 260;

// Turns a path into an absolute one, relative to the current directory. FALSE
// when that cannot be done or the result would not fit in CW_MAX_PATH
// characters (the terminating NUL included).
BOOL CwFullPath(LPCTSTR lpszPath, CString& rFullPath);

// Moves the file at lpszSource over lpszTarget in one step: afterwards the
// target is either the old file or the whole new one, never a mix.
BOOL CwReplaceFile(LPCTSTR lpszSource, LPCTSTR lpszTarget);

// Deletes a file; FALSE when it could not be deleted (or did not exist).
BOOL CwRemoveFile(LPCTSTR lpszPath);

// TRUE when a regular file exists at the path.
BOOL CwFileExists(LPCTSTR lpszPath);
