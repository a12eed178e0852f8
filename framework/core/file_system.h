// File-system seam: the few path and file operations the framework needs,
// with one implementation for Win32 and one for POSIX beside this header.
// Paths are the program's own (ANSI) strings; errors come back as FALSE, with
// a readable reason where the caller asks for one.
#pragma once

#include "cstring.h"

#include <cstddef>

// Longest full path the program handles, as on Win32.
constexpr int CW_MAX_PATH = 260;

// Turns a path into an absolute one, relative to the current directory. FALSE
// when that cannot be done or the result would not fit in CW_MAX_PATH
// characters (the terminating NUL included).
BOOL CwFullPath(LPCTSTR lpszPath, CString& rFullPath);

// The program's one safe way to rewrite a whole file: puts exactly nSize
// bytes in place of the file at lpszPath, so that afterwards it holds either
// its old content or the whole new one, also after a power cut once this
// returned TRUE.
// - The bytes go to a temporary file created exclusively under a fresh name
//   in the target's own folder (nothing that already exists is touched), are
//   flushed to the disk, and the temporary then takes the target's place.
// - The target keeps what the folder would not give a new file: its mode and
//   owner (POSIX), its security descriptor and attributes (Win32).
// - A symbolic link is followed: its target is rewritten and the link stays.
// - A file with more than one name (hard links) is rewritten in place, so
//   every name sees the new content; see the halves for what that costs.
// - Refused (FALSE, nothing changed) when the target exists but may not be
//   written, or is not a regular file.
// - Any path that CwFullPath accepts works, including those whose temporary
//   name would pass MAX_PATH on Win32.
// On FALSE no temporary file is left behind and pstrError, when given, says why.
BOOL CwReplaceFileContents(LPCTSTR lpszPath, const void* pData, size_t nSize, CString* pstrError = nullptr);

// Deletes a file; FALSE when it could not be deleted (or did not exist).
BOOL CwRemoveFile(LPCTSTR lpszPath);

// TRUE when a regular file exists at the path.
BOOL CwFileExists(LPCTSTR lpszPath);
