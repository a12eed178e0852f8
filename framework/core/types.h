// Basic types of the framework layer, defined without <windows.h> so that
// platform-neutral code can use them; identical to the Win32 definitions
// where both are seen in one translation unit.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned int UINT;
#ifdef _WIN32
typedef unsigned long DWORD;
typedef long LONG;
#else
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
#endif
typedef char TCHAR;
typedef char* LPTSTR;
typedef const char* LPCTSTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef std::intptr_t INT_PTR;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL 0
#endif

// A position in one of the framework's lists: opaque to callers, stable
// while the element it names stays in the list.
struct __POSITION {};
typedef __POSITION* POSITION;

#ifndef _T
#define _T(x) x
#endif
