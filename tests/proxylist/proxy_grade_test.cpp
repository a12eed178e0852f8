// The grading rules, one table of judge answers of every style: what the
// judge saw directly and through a proxy, and the grade with its giveaways.
#include "proxylist/judge_answer.h"
#include "proxylist/proxy_grade.h"
#include "proxylist/text_address.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The direct request already passed a forwarding header of its own.
const std::string kOwnDirect = JudgePage("Client: 127.0.0.1\r\nRequest: GET /judge?cwm=1 HTTP/1.0\r\n" + kOwnHeaders +
                                             "X-Forwarded-Proto: http\r\n",
                                         kSigned);
// A judge behind a front of its own: every request comes from the front,
// which names its client in X-Forwarded-For.
const std::string kFrontDirect = JudgePage("Client: 127.0.3.1\r\nRequest: GET /judge?cwm=1 HTTP/1.0\r\n" + kOwnHeaders +
                                               "X-Forwarded-For: 127.0.0.1\r\n",
                                           kSigned);
const std::string kFromFront = "Client: 127.0.3.1\r\n" + kRequest + kOwnHeaders;

// The environment dump of a judge script: "KEY = value" lines in a <pre>.
std::string EnvPage(const std::string& strClient, const std::string& strUri, const std::string& strExtra)
{
    return "<html><head><title>env</title></head><body><pre>\nREMOTE_ADDR = " + strClient +
           "\nREMOTE_PORT = 41234\nREQUEST_METHOD = GET\nREQUEST_URI = " + strUri +
           "\nHTTP_HOST = 127.0.0.1:8000\nHTTP_USER_AGENT = Mozilla/4.0 (compatible; Cloakwall)\n"
           "HTTP_ACCEPT = */*\nHTTP_CONNECTION = close\n" +
           strExtra + "REQUEST_TIME = 1765152000\n</pre></body></html>\n";
}
const std::string kUri = std::string("/azenv.php?cwm=") + kMarker;
const std::string kEnvDirect = EnvPage("127.0.0.1", "/azenv.php?cwm=1", "");

// The JSON echo of an HTTP echo service.
std::string JsonPage(const std::string& strOrigin, const std::string& strExtraHeaders)
{
    return "{\n  \"args\": {\n    \"cwm\": \"" + std::string(kMarker) +
           "\"\n  }, \n  \"headers\": {\n    \"Accept\": \"*/*\", \n    \"Host\": \"127.0.0.1:8000\", \n"
           "    \"User-Agent\": \"Mozilla/4.0 (compatible; Cloakwall)\"" +
           strExtraHeaders + "\n  }, \n  \"origin\": \"" + strOrigin +
           "\", \n  \"url\": \"http://127.0.0.1:8000/get?cwm=" + kMarker + "\"\n}\n";
}
const std::string kJsonDirect = JsonPage("127.0.0.1", "");

struct CGradeCase {
    const char* pszWhat;
    std::string strDirect;
    std::string strProxied;
    EProxyGrade eGrade;
    const char* pszGiveaways;
};

const CGradeCase kCases[] = {
    // The program's own judge.
    {"nothing added", kOwnDirect, JudgePage(kFromElsewhere + kOwnHeaders, kSigned), PROXY_GRADE_ELITE, ""},
    {"a header no proxy is known by", kOwnDirect, JudgePage(kFromElsewhere + kOwnHeaders + "X-Custom: 1\r\n", kSigned),
     PROXY_GRADE_ELITE, ""},
    {"X-Forwarded-For with the address", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kSigned), PROXY_GRADE_TRANSPARENT,
     "X-Forwarded-For"},
    {"the address last in a forwarding chain", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 10.1.1.1, 127.0.0.1\r\nVia: 1.1 cache\r\n", kSigned),
     PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    {"Forwarded", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "Forwarded: for=127.0.0.1;proto=http\r\n", kSigned),
     PROXY_GRADE_TRANSPARENT, "Forwarded"},
    {"Client-IP in small letters", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "client-ip: 127.0.0.1\r\n", kSigned), PROXY_GRADE_TRANSPARENT,
     "client-ip"},
    {"two headers leak, one with a port, one mapped to IPv6", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Real-IP: 127.0.0.1:50123\r\nX-Cache-Client: [::ffff:127.0.0.1]\r\n",
               kSigned),
     PROXY_GRADE_TRANSPARENT, "X-Real-IP, X-Cache-Client"},
    {"the proxy connects from the user's own address", kOwnDirect,
     JudgePage("Client: 127.0.0.1\r\n" + kRequest + kOwnHeaders, kSigned), PROXY_GRADE_TRANSPARENT, "address"},
    {"a longer address is another address", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.12\r\n", kSigned), PROXY_GRADE_ANONYMOUS,
     "X-Forwarded-For"},
    {"Via and Proxy-Connection", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "Via: 1.1 squid\r\nProxy-Connection: keep-alive\r\n", kSigned),
     PROXY_GRADE_ANONYMOUS, "Via, Proxy-Connection"},
    {"X-Proxy-ID, X-Forwarded, Forwarded-For-Ip with _", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Proxy-ID: 1234\r\nX-Forwarded: yes\r\nForwarded_For_Ip: hidden\r\n",
               kSigned),
     PROXY_GRADE_ANONYMOUS, "X-Proxy-ID, X-Forwarded, Forwarded_For_Ip"},
    {"an unknown header with some other address", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Origin-Host: 10.9.8.7\r\n", kSigned), PROXY_GRADE_ANONYMOUS,
     "X-Origin-Host"},
    {"a header the direct request carried too", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-Proto: http\r\n", kSigned), PROXY_GRADE_ELITE, ""},
    {"the client line missing through the proxy", kOwnDirect, JudgePage(kRequest + kOwnHeaders, kSigned),
     PROXY_GRADE_ELITE, ""},
    {"marker changed", kOwnDirect,
     JudgePage("Client: 127.0.0.2\r\nRequest: GET /judge?cwm=0000 HTTP/1.0\r\n" + kOwnHeaders, kSigned),
     PROXY_GRADE_TAMPERING, ""},
    {"length changed", kOwnDirect, JudgePage(kFromElsewhere + kOwnHeaders, kWrongLength), PROXY_GRADE_TAMPERING, ""},
    {"checksum changed", kOwnDirect, JudgePage(kFromElsewhere + kOwnHeaders, kWrongChecksum), PROXY_GRADE_TAMPERING,
     ""},
    {"script before the page", kOwnDirect, JudgePage(kFromElsewhere + kOwnHeaders, kBytesBefore), PROXY_GRADE_TAMPERING,
     ""},
    {"script after the page", kOwnDirect, JudgePage(kFromElsewhere + kOwnHeaders, kBytesAfter), PROXY_GRADE_TAMPERING,
     ""},
    {"page cut before its trailer", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kNoTrailer), PROXY_GRADE_TAMPERING, ""},
    {"tampering outranks a leak", kOwnDirect,
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kWrongChecksum), PROXY_GRADE_TAMPERING,
     ""},
    {"another judge's page in place of the own", kOwnDirect, JsonPage("127.0.0.2", ""), PROXY_GRADE_TAMPERING, ""},
    {"a page of the proxy's own", kOwnDirect, "<html><body>Access denied</body></html>", PROXY_GRADE_TAMPERING, ""},
    // A direct answer without the user's address grades nothing.
    {"no client line in the direct answer", JudgePage("Request: GET /judge?cwm=1 HTTP/1.0\r\n" + kOwnHeaders, kSigned),
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kSigned), PROXY_GRADE_UNTESTED, ""},
    {"an empty client line in the direct answer",
     JudgePage("Client: \r\nRequest: GET /judge?cwm=1 HTTP/1.0\r\n" + kOwnHeaders, kSigned),
     JudgePage(kFromElsewhere + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kSigned), PROXY_GRADE_UNTESTED, ""},
    // A judge behind a front that adds its own X-Forwarded-For.
    {"front: the proxy passes the address on", kFrontDirect,
     JudgePage(kFromFront + "X-Forwarded-For: 127.0.0.1, 127.0.0.4\r\n", kSigned), PROXY_GRADE_TRANSPARENT,
     "X-Forwarded-For"},
    {"front: the proxy adds nothing", kFrontDirect, JudgePage(kFromFront + "X-Forwarded-For: 127.0.0.4\r\n", kSigned),
     PROXY_GRADE_ELITE, ""},
    {"front: the proxy shows itself", kFrontDirect,
     JudgePage(kFromFront + "Via: 1.1 squid\r\nX-Forwarded-For: 127.0.0.4\r\n", kSigned), PROXY_GRADE_ANONYMOUS, "Via"},
    {"front: the same forwarding line as the direct one", kFrontDirect,
     JudgePage(kFromFront + "X-Forwarded-For: 127.0.0.1\r\n", kSigned), PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    // The environment dump of public judges.
    {"env: nothing added", kEnvDirect, EnvPage("127.0.0.2", kUri, ""), PROXY_GRADE_ELITE, ""},
    {"env: X-Forwarded-For", kEnvDirect, EnvPage("127.0.0.2", kUri, "HTTP_X_FORWARDED_FOR = 127.0.0.1\n"),
     PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    {"env: the proxy's own address", kEnvDirect, EnvPage("127.0.0.1", kUri, ""), PROXY_GRADE_TRANSPARENT, "address"},
    {"env: Via", kEnvDirect, EnvPage("127.0.0.2", kUri, "HTTP_VIA = 1.1 squid\n"), PROXY_GRADE_ANONYMOUS, "Via"},
    {"env: marker changed", kEnvDirect, EnvPage("127.0.0.2", "/azenv.php?cwm=0000", ""), PROXY_GRADE_TAMPERING, ""},
    {"env: marker gone", kEnvDirect, EnvPage("127.0.0.2", "/azenv.php", ""), PROXY_GRADE_TAMPERING, ""},
    {"env: a script put in", kEnvDirect, "<script>x()</script>" + EnvPage("127.0.0.2", kUri, ""), PROXY_GRADE_TAMPERING,
     ""},
    {"env: no REMOTE_ADDR in the direct answer", EnvPage("", "/azenv.php?cwm=1", ""),
     EnvPage("127.0.0.2", kUri, "HTTP_X_FORWARDED_FOR = 127.0.0.1\n"), PROXY_GRADE_UNTESTED, ""},
    // The JSON echo of public judges.
    {"json: nothing added", kJsonDirect, JsonPage("127.0.0.2", ""), PROXY_GRADE_ELITE, ""},
    {"json: the address in the origin", kJsonDirect, JsonPage("127.0.0.1, 127.0.0.2", ""), PROXY_GRADE_TRANSPARENT,
     "address"},
    {"json: X-Real-Ip", kJsonDirect, JsonPage("127.0.0.2", ", \n    \"X-Real-Ip\": \"127.0.0.1\""),
     PROXY_GRADE_TRANSPARENT, "X-Real-Ip"},
    {"json: Proxy-Agent", kJsonDirect, JsonPage("127.0.0.2", ", \n    \"Proxy-Agent\": \"squid\""),
     PROXY_GRADE_ANONYMOUS, "Proxy-Agent"},
    {"json: a script before it", kJsonDirect, "<script>x()</script>" + JsonPage("127.0.0.2", ""), PROXY_GRADE_TAMPERING,
     ""},
    {"json: a script after it", kJsonDirect, JsonPage("127.0.0.2", "") + "<script>x()</script>", PROXY_GRADE_TAMPERING,
     ""},
    {"json: no origin in the direct answer", "{\"headers\": {\"Host\": \"127.0.0.1:8000\"}}", JsonPage("127.0.0.2", ""),
     PROXY_GRADE_UNTESTED, ""},
};

} // namespace

TEST(ProxyGradeTest, EveryJudgeAnswerOfTheTableGetsItsGrade)
{
    for (const CGradeCase& c : kCases) {
        CString strGiveaways;
        EXPECT_EQ(GradeJudgeTexts(c.strDirect.c_str(), c.strProxied.c_str(), kMarker, strGiveaways), c.eGrade)
            << c.pszWhat;
        EXPECT_EQ(strGiveaways, c.pszGiveaways) << c.pszWhat;
    }
    // What the judge answered through the proxy with another status.
    CJudgeAnswer direct;
    ASSERT_EQ(ReadJudgeBaseline(200, kOwnDirect.c_str(), direct), JUDGE_BASELINE_READY);
    CString strGiveaways;
    EXPECT_EQ(GradeProxiedAnswer(direct, 502, JudgePage(kFromElsewhere + kOwnHeaders, kSigned).c_str(), kMarker,
                                 strGiveaways),
              PROXY_GRADE_DEAD);
    EXPECT_EQ(ReadJudgeBaseline(200, JudgePage("Client: \r\n" + kOwnHeaders, kSigned).c_str(), direct),
              JUDGE_BASELINE_BLIND);
    EXPECT_EQ(ReadJudgeBaseline(200, JudgePage(kFromElsewhere, kWrongChecksum).c_str(), direct), JUDGE_BASELINE_NONE);
    EXPECT_EQ(ReadJudgeBaseline(404, kOwnDirect.c_str(), direct), JUDGE_BASELINE_NONE);
}

TEST(ProxyGradeTest, AddressesAreFoundWholeInAnyForm)
{
    const struct {
        const char* pszText;
        std::vector<std::string> addresses;
    } kTexts[] = {
        {"10.0.0.1, 127.000.000.001:8080", {"10.0.0.1", "127.0.0.1"}},
        {"for=\"[2001:DB8::1]:4711\";by=::ffff:10.1.2.3", {"20010db8000000000000000000000001", "10.1.2.3"}},
        {"Host:192.168.1.1.", {"192.168.1.1"}},
        {"127.0.0.12 1.2.3.4.5 999.1.1.1 v1.2.3.4 Mozilla/4.0", {"127.0.0.12"}},
        {"Tue, 08 Dec 2026 00:10:45 GMT aa:bb:cc:dd:ee:ff", {}},
        {"fe80:0:0:0:0:0:0:1 ::1", {"fe800000000000000000000000000001", "00000000000000000000000000000001"}},
    };
    for (const auto& t : kTexts) {
        std::vector<CString> found;
        FindAddresses(t.pszText, found);
        std::vector<std::string> strings;
        for (const CString& one : found) strings.push_back(one.str());
        EXPECT_EQ(strings, t.addresses) << t.pszText;
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
