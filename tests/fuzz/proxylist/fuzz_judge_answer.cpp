// Fuzz target: judge answers of every style, direct and through a proxy
// (split at the first NUL of the input), read and graded against each other.
#include "proxylist/proxy_grade.h"
#include "proxylist/text_address.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) std::abort();                                                                                     \
    } while (0)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* pText = reinterpret_cast<const char*>(data);
    const char* pNul = static_cast<const char*>(std::memchr(pText, 0, size));
    size_t nDirect = pNul ? static_cast<size_t>(pNul - pText) : size;
    CString strDirect(pText, static_cast<int>(nDirect));
    CString strProxied = pNul ? CString(pNul + 1, static_cast<int>(size - nDirect - 1)) : strDirect;

    CJudgeAnswer direct;
    EJudgeBaseline eBaseline = ReadJudgeBaseline(200, strDirect, direct);
    CString strGiveaways;
    EProxyGrade eGrade = GradeJudgeTexts(strDirect, strProxied, "cwm", strGiveaways);
    CHECK(eGrade >= PROXY_GRADE_UNTESTED && eGrade <= PROXY_GRADE_ELITE);
    CHECK((eBaseline == JUDGE_BASELINE_READY) == (eGrade != PROXY_GRADE_UNTESTED));
    CHECK(strGiveaways.IsEmpty() || eGrade == PROXY_GRADE_TRANSPARENT || eGrade == PROXY_GRADE_ANONYMOUS);
    CHECK(eGrade != PROXY_GRADE_DEAD);

    // Every IPv4 address found reads back as itself.
    std::vector<CString> found;
    FindAddresses(strProxied, found);
    for (const CString& strAddress : found) {
        if (strAddress.Find('.') < 0) continue;
        std::vector<CString> again;
        FindAddresses(strAddress, again);
        CHECK(again.size() == 1 && again[0] == strAddress);
    }
    return 0;
}
