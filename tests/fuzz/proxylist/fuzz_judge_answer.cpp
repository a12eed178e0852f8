// Fuzz target: judge answers of every style, as they came through a proxy,
// read and graded.
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
    CString strProxied(reinterpret_cast<const char*>(data), static_cast<int>(size));

    CString strGiveaways;
    EProxyGrade eGrade = GradeProxiedAnswer(200, strProxied, "cwm", strGiveaways);
    CHECK(eGrade >= PROXY_GRADE_TAMPERING && eGrade <= PROXY_GRADE_ELITE);
    CHECK(strGiveaways.IsEmpty() == (eGrade == PROXY_GRADE_TAMPERING || eGrade == PROXY_GRADE_ELITE));
    // Leaked or revealing headers come back by name, each one a header the
    // answer holds.
    CJudgeAnswer answer;
    if (!strGiveaways.IsEmpty()) CHECK(ParseJudgeAnswer(strProxied, answer));
    CHECK(GradeProxiedAnswer(404, strProxied, "cwm", strGiveaways) == PROXY_GRADE_DEAD && strGiveaways.IsEmpty());

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
