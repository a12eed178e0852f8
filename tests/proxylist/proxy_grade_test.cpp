// The grading rules, one table of judge answers: what the judge saw through
// a proxy, against one direct answer, and the grade with its giveaways.
#include "proxylist/judge_answer.h"
#include "proxylist/proxy_grade.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum ETrailer { kSigned, kWrongLength, kWrongChecksum, kBytesBefore, kBytesAfter, kNoTrailer };

// A judge's page of these lines, signed as the judge signs it or spoiled the
// way a proxy on the way would spoil it.
std::string JudgePage(const std::string& lines, ETrailer eTrailer)
{
    std::string head = std::string(JUDGE_MAGIC) + "\r\n" + lines + "\r\n";
    if (eTrailer == kNoTrailer) return head;
    size_t nLength = head.size() + (eTrailer == kWrongLength ? 1 : 0);
    DWORD dwCrc = JudgeChecksum(head.data(), head.size()) ^ (eTrailer == kWrongChecksum ? 1 : 0);
    char trailer[64];
    std::snprintf(trailer, sizeof trailer, "Length: %u\r\nChecksum: %08lx\r\n", static_cast<unsigned>(nLength),
                  static_cast<unsigned long>(dwCrc));
    std::string page = head + trailer;
    if (eTrailer == kBytesBefore) page = "<script>x()</script>" + page;
    if (eTrailer == kBytesAfter) page += "<script>x()</script>";
    return page;
}

const char kMarker[] = "5ee1c0ffee0dd5";
const std::string kOwnHeaders = "Host: 127.0.0.1:8000\r\nUser-Agent: Mozilla/4.0 (compatible; Cloakwall)\r\n"
                                "Accept: */*\r\nConnection: close\r\n";
const std::string kRequest = std::string("Request: GET /judge?cwm=") + kMarker + " HTTP/1.0\r\n";
const std::string kFromElsewhere = "Client: 127.0.0.2\r\n" + kRequest;

struct CGradeCase {
    const char* pszWhat;
    std::string strLines; // after the magic line, each ended with CR LF
    ETrailer eTrailer;
    EProxyGrade eGrade;
    const char* pszGiveaways;
};

const CGradeCase kCases[] = {
    {"nothing added", kFromElsewhere + kOwnHeaders, kSigned, PROXY_GRADE_ELITE, ""},
    {"a header no proxy is known by", kFromElsewhere + kOwnHeaders + "X-Custom: 1\r\n", kSigned, PROXY_GRADE_ELITE, ""},
    {"X-Forwarded-For with the address", kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kSigned,
     PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    {"the address last in a forwarding chain",
     kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 10.1.1.1, 127.0.0.1\r\nVia: 1.1 cache\r\n", kSigned,
     PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    {"Forwarded", kFromElsewhere + kOwnHeaders + "Forwarded: for=127.0.0.1;proto=http\r\n", kSigned,
     PROXY_GRADE_TRANSPARENT, "Forwarded"},
    {"Client-IP in small letters", kFromElsewhere + kOwnHeaders + "client-ip: 127.0.0.1\r\n", kSigned,
     PROXY_GRADE_TRANSPARENT, "client-ip"},
    {"two headers leak", kFromElsewhere + kOwnHeaders + "X-Real-IP: 127.0.0.1\r\nX-Cache-Client: [127.0.0.1]\r\n",
     kSigned, PROXY_GRADE_TRANSPARENT, "X-Real-IP, X-Cache-Client"},
    {"the proxy connects from the user's own address", "Client: 127.0.0.1\r\n" + kRequest + kOwnHeaders, kSigned,
     PROXY_GRADE_TRANSPARENT, "address"},
    {"a longer address is another address", kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.12\r\n", kSigned,
     PROXY_GRADE_ANONYMOUS, "X-Forwarded-For"},
    {"Via and Proxy-Connection", kFromElsewhere + kOwnHeaders + "Via: 1.1 squid\r\nProxy-Connection: keep-alive\r\n",
     kSigned, PROXY_GRADE_ANONYMOUS, "Via, Proxy-Connection"},
    {"X-Proxy-ID", kFromElsewhere + kOwnHeaders + "X-Proxy-ID: 1234\r\n", kSigned, PROXY_GRADE_ANONYMOUS, "X-Proxy-ID"},
    {"a header the direct request carried too", kFromElsewhere + kOwnHeaders + "X-Forwarded-Proto: http\r\n", kSigned,
     PROXY_GRADE_ELITE, ""},
    {"marker changed", "Client: 127.0.0.2\r\nRequest: GET /judge?cwm=0000 HTTP/1.0\r\n" + kOwnHeaders, kSigned,
     PROXY_GRADE_TAMPERING, ""},
    {"length changed", kFromElsewhere + kOwnHeaders, kWrongLength, PROXY_GRADE_TAMPERING, ""},
    {"checksum changed", kFromElsewhere + kOwnHeaders, kWrongChecksum, PROXY_GRADE_TAMPERING, ""},
    {"script before the page", kFromElsewhere + kOwnHeaders, kBytesBefore, PROXY_GRADE_TAMPERING, ""},
    {"script after the page", kFromElsewhere + kOwnHeaders, kBytesAfter, PROXY_GRADE_TAMPERING, ""},
    {"page cut before its trailer", kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kNoTrailer,
     PROXY_GRADE_TAMPERING, ""},
    {"tampering outranks a leak", kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kWrongChecksum,
     PROXY_GRADE_TAMPERING, ""},
};

} // namespace

TEST(ProxyGradeTest, EveryJudgeAnswerOfTheTableGetsItsGrade)
{
    CJudgeAnswer direct;
    // The direct request already passed a forwarding header of its own.
    ASSERT_TRUE(ParseJudgeAnswer(JudgePage("Client: 127.0.0.1\r\nRequest: GET /judge?cwm=1 HTTP/1.0\r\n" + kOwnHeaders +
                                               "X-Forwarded-Proto: http\r\n",
                                           kSigned)
                                     .c_str(),
                                 direct));
    ASSERT_TRUE(direct.bIntact);
    for (const CGradeCase& c : kCases) {
        CJudgeAnswer proxied;
        ParseJudgeAnswer(JudgePage(c.strLines, c.eTrailer).c_str(), proxied);
        CString strGiveaways;
        EXPECT_EQ(GradeJudgeAnswers(direct, proxied, kMarker, strGiveaways), c.eGrade) << c.pszWhat;
        EXPECT_EQ(strGiveaways, c.pszGiveaways) << c.pszWhat;
    }
}

TEST(ProxyGradeTest, ChecksumIsTheCrc32OfZipFiles)
{
    // The check value every CRC-32 implementation is held to.
    EXPECT_EQ(JudgeChecksum("123456789", 9), 0xCBF43926u);
}

TEST(ProxyGradeTest, AnyOtherPageIsNoJudgesAnswer)
{
    CJudgeAnswer answer;
    EXPECT_FALSE(ParseJudgeAnswer("<html><body>Access denied</body></html>", answer));
    EXPECT_FALSE(answer.bIntact);
}
