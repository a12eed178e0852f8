// The grading rules, one table of judge answers of every style: what the
// judge saw of a request through a proxy, and the grade with its giveaways.
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
const std::string kOwnHeaders = "Host: 127.0.0.1:8000\r\nUser-Agent: Mozilla/5.0 (Windows NT 10.0; rv:128.0)\r\n"
                                "Accept: */*\r\nConnection: close\r\n";
const std::string kRequest = std::string("Request: GET /judge?cwm=") + kMarker + " HTTP/1.0\r\n";
const std::string kFromProxy = "Client: 127.0.0.2\r\n" + kRequest;

// The environment dump of a judge script: "KEY = value" lines in a <pre>.
std::string EnvPage(const std::string& strClient, const std::string& strUri, const std::string& strExtra)
{
    return "<html><head><title>env</title></head><body><pre>\nREMOTE_ADDR = " + strClient +
           "\nREMOTE_PORT = 41234\nSERVER_ADDR = 127.0.0.1\nREQUEST_METHOD = GET\nREQUEST_URI = " + strUri +
           "\nHTTP_HOST = 127.0.0.1:8000\nHTTP_USER_AGENT = Mozilla/5.0 (Windows NT 10.0; rv:128.0)\n"
           "HTTP_ACCEPT = */*\nHTTP_CONNECTION = close\n" +
           strExtra + "REQUEST_TIME = 1765152000\n</pre></body></html>\n";
}
const std::string kUri = std::string("/azenv.php?cwm=") + kMarker;

// The JSON echo of an HTTP echo service.
std::string JsonPage(const std::string& strOrigin, const std::string& strExtraHeaders)
{
    return "{\n  \"args\": {\n    \"cwm\": \"" + std::string(kMarker) +
           "\"\n  }, \n  \"headers\": {\n    \"Accept\": \"*/*\", \n    \"Host\": \"127.0.0.1:8000\", \n"
           "    \"User-Agent\": \"Mozilla/5.0 (Windows NT 10.0; rv:128.0)\"" +
           strExtraHeaders + "\n  }, \n  \"origin\": \"" + strOrigin +
           "\", \n  \"url\": \"http://127.0.0.1:8000/get?cwm=" + kMarker + "\"\n}\n";
}

struct CGradeCase {
    const char* pszWhat;
    std::string strProxied; // what the judge answered through the proxy
    EProxyGrade eGrade;
    const char* pszGiveaways;
};

const CGradeCase kCases[] = {
    // The program's own judge.
    {"nothing added", JudgePage(kFromProxy + kOwnHeaders, kSigned), PROXY_GRADE_ELITE, ""},
    {"a header no proxy is known by", JudgePage(kFromProxy + kOwnHeaders + "X-Custom: 1\r\n", kSigned),
     PROXY_GRADE_ELITE, ""},
    {"the client line missing", JudgePage(kRequest + kOwnHeaders, kSigned), PROXY_GRADE_ELITE, ""},
    {"X-Forwarded-For with an address", JudgePage(kFromProxy + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kSigned),
     PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    {"a forwarding chain and a Via",
     JudgePage(kFromProxy + kOwnHeaders + "X-Forwarded-For: 10.1.1.1, 127.0.0.1\r\nVia: 1.1 cache\r\n", kSigned),
     PROXY_GRADE_TRANSPARENT, "X-Forwarded-For"},
    {"Forwarded", JudgePage(kFromProxy + kOwnHeaders + "Forwarded: for=127.0.0.1;proto=http\r\n", kSigned),
     PROXY_GRADE_TRANSPARENT, "Forwarded"},
    {"Client-IP in small letters", JudgePage(kFromProxy + kOwnHeaders + "client-ip: 127.0.0.1\r\n", kSigned),
     PROXY_GRADE_TRANSPARENT, "client-ip"},
    {"odd headers: one with a port, one mapped to IPv6, one IPv6",
     JudgePage(kFromProxy + kOwnHeaders +
                   "X-Real-IP: 127.0.0.1:50123\r\nX-Cache-Client: [::ffff:127.0.0.1]\r\nX-Sent-By: 2001:db8::7\r\n",
               kSigned),
     PROXY_GRADE_TRANSPARENT, "X-Real-IP, X-Cache-Client, X-Sent-By"},
    {"an address the proxy names itself by, in Via and Proxy-Agent",
     JudgePage(kFromProxy + kOwnHeaders + "Via: 1.1 10.0.0.5:3128 (squid)\r\nProxy-Agent: relay/2 [fe80::1]\r\n",
               kSigned),
     PROXY_GRADE_ANONYMOUS, "Via, Proxy-Agent"},
    {"the judge's own address forwarded as its name",
     JudgePage(kFromProxy + kOwnHeaders + "X-Forwarded-Host: 127.0.0.1:8000\r\n", kSigned), PROXY_GRADE_ANONYMOUS,
     "X-Forwarded-Host"},
    {"Via and Proxy-Connection",
     JudgePage(kFromProxy + kOwnHeaders + "Via: 1.1 squid\r\nProxy-Connection: keep-alive\r\n", kSigned),
     PROXY_GRADE_ANONYMOUS, "Via, Proxy-Connection"},
    {"X-Proxy-ID, X-Forwarded-Proto, Forwarded-For-Ip with _",
     JudgePage(kFromProxy + kOwnHeaders + "X-Proxy-ID: 1234\r\nX-Forwarded-Proto: http\r\nForwarded_For_Ip: hidden\r\n",
               kSigned),
     PROXY_GRADE_ANONYMOUS, "X-Proxy-ID, X-Forwarded-Proto, Forwarded_For_Ip"},
    {"marker changed",
     JudgePage("Client: 127.0.0.2\r\nRequest: GET /judge?cwm=0000 HTTP/1.0\r\n" + kOwnHeaders, kSigned),
     PROXY_GRADE_TAMPERING, ""},
    {"length changed", JudgePage(kFromProxy + kOwnHeaders, kWrongLength), PROXY_GRADE_TAMPERING, ""},
    {"checksum changed", JudgePage(kFromProxy + kOwnHeaders, kWrongChecksum), PROXY_GRADE_TAMPERING, ""},
    {"script before the page", JudgePage(kFromProxy + kOwnHeaders, kBytesBefore), PROXY_GRADE_TAMPERING, ""},
    {"script after the page", JudgePage(kFromProxy + kOwnHeaders, kBytesAfter), PROXY_GRADE_TAMPERING, ""},
    {"page cut before its trailer", JudgePage(kFromProxy + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kNoTrailer),
     PROXY_GRADE_TAMPERING, ""},
    {"tampering outranks a leak",
     JudgePage(kFromProxy + kOwnHeaders + "X-Forwarded-For: 127.0.0.1\r\n", kWrongChecksum), PROXY_GRADE_TAMPERING, ""},
    {"a page of the proxy's own", "<html><body>Access denied</body></html>", PROXY_GRADE_TAMPERING, ""},
    // The environment dump of public judges: the server's own address is
    // no header.
    {"env: nothing added", EnvPage("127.0.0.2", kUri, ""), PROXY_GRADE_ELITE, ""},
    {"env: X-Forwarded-For", EnvPage("127.0.0.2", kUri, "HTTP_X_FORWARDED_FOR = 127.0.0.1\n"), PROXY_GRADE_TRANSPARENT,
     "X-Forwarded-For"},
    {"env: Via", EnvPage("127.0.0.2", kUri, "HTTP_VIA = 1.1 squid\n"), PROXY_GRADE_ANONYMOUS, "Via"},
    {"env: marker changed", EnvPage("127.0.0.2", "/azenv.php?cwm=0000", ""), PROXY_GRADE_TAMPERING, ""},
    {"env: marker gone", EnvPage("127.0.0.2", "/azenv.php", ""), PROXY_GRADE_TAMPERING, ""},
    {"env: a script put in", "<script>x()</script>" + EnvPage("127.0.0.2", kUri, ""), PROXY_GRADE_TAMPERING, ""},
    // The JSON echo of public judges, which folds X-Forwarded-For into its
    // origin.
    {"json: nothing added", JsonPage("127.0.0.2", ""), PROXY_GRADE_ELITE, ""},
    {"json: an address passed on into the origin", JsonPage("127.0.0.1, 127.0.0.2", ""), PROXY_GRADE_TRANSPARENT,
     "X-Forwarded-For"},
    {"json: X-Real-Ip", JsonPage("127.0.0.2", ", \n    \"X-Real-Ip\": \"127.0.0.1\""), PROXY_GRADE_TRANSPARENT,
     "X-Real-Ip"},
    {"json: Proxy-Agent", JsonPage("127.0.0.2", ", \n    \"Proxy-Agent\": \"squid\""), PROXY_GRADE_ANONYMOUS,
     "Proxy-Agent"},
    {"json: a script before it", "<script>x()</script>" + JsonPage("127.0.0.2", ""), PROXY_GRADE_TAMPERING, ""},
    {"json: a script after it", JsonPage("127.0.0.2", "") + "<script>x()</script>", PROXY_GRADE_TAMPERING, ""},
};

} // namespace

TEST(ProxyGradeTest, EveryJudgeAnswerOfTheTableGetsItsGrade)
{
    for (const CGradeCase& c : kCases) {
        CString strGiveaways;
        EXPECT_EQ(GradeProxiedAnswer(200, c.strProxied.c_str(), kMarker, strGiveaways), c.eGrade) << c.pszWhat;
        EXPECT_EQ(strGiveaways, c.pszGiveaways) << c.pszWhat;
    }
    // What the proxy answered in the judge's place with another status:
    // its own error, or a refused account.
    CString strGiveaways;
    const std::string strElite = JudgePage(kFromProxy + kOwnHeaders, kSigned);
    EXPECT_EQ(GradeProxiedAnswer(502, strElite.c_str(), kMarker, strGiveaways), PROXY_GRADE_DEAD);
    EXPECT_EQ(GradeProxiedAnswer(407, "", kMarker, strGiveaways), PROXY_GRADE_DEAD);
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
