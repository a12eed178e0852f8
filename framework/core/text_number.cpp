// The atoi-style reader.
#include "framework/core/text_number.h"

#include <climits>

BOOL CwScanInt(LPCTSTR psz, int* pnValue)
{
    if (!psz) return FALSE;
    while (CwIsSpace(*psz)) ++psz;
    bool bNegative = false;
    if (*psz == '+' || *psz == '-') bNegative = *psz++ == '-';
    if (*psz < '0' || *psz > '9') return FALSE;
    const long long nLimit = static_cast<long long>(INT_MAX) + 1;
    long long nValue = 0;
    for (; *psz >= '0' && *psz <= '9'; ++psz) {
        // Once past the int range the rest of the digits change nothing.
        if (nValue <= nLimit) nValue = nValue * 10 + (*psz - '0');
    }
    if (bNegative) nValue = -nValue;
    if (nValue > INT_MAX) nValue = INT_MAX;
    if (nValue < INT_MIN) nValue = INT_MIN;
    if (pnValue) *pnValue = static_cast<int>(nValue);
    return TRUE;
}

int CwAtoi(LPCTSTR psz)
{
    int nValue = 0;
    CwScanInt(psz, &nValue);
    return nValue;
}
