// Reading numbers and blanks out of text, the one way the program does it.
// Lists, request heads, configuration files and settings all read numbers
// the way the C runtime's atoi does, and all say "port" with one meaning.
#pragma once

#include "framework/core/types.h"

// The white space of the C locale: space, tab, LF, VT, FF, CR.
inline bool CwIsSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

// Reads the number at the start of a text the way atoi does: leading white
// space, an optional sign, digits up to the first non-digit. A number too
// large for an int is held at INT_MAX or INT_MIN instead of overflowing (on
// which atoi's result is undefined). FALSE when no digit follows the blanks
// and the sign; *pnValue is then left as it was. A NULL text reads as empty.
BOOL CwScanInt(LPCTSTR psz, int* pnValue);

// atoi's result: the number CwScanInt reads, 0 when there is none.
int CwAtoi(LPCTSTR psz);

// A TCP port is 1 to 65535. Anything else, read from a list, a header, a
// setting or a URL, names no port: it reaches nobody and is never wrapped
// into the range (70000 must not become 4464).
inline BOOL CwIsTcpPort(int nPort)
{
    return nPort >= 1 && nPort <= 65535;
}
