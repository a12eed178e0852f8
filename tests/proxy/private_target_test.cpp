// Which hosts are addresses in the user's own network: only an address
// written as such, read strictly; a name that merely looks like one, or a
// form some resolver reads another way, is not.
#include "proxy/internal/private_target.h"

#include <gtest/gtest.h>

TEST(PrivateTargetTest, OnlyStrictLiteralsInThePrivateRangesCount)
{
    const struct {
        const char* pszHost;
        bool bPrivate;
    } cases[] = {
        {"10.0.0.1", true},
        {"127.0.0.1", true},
        {"172.16.0.1", true},
        {"172.31.255.255", true},
        {"172.15.255.255", false},
        {"172.32.0.0", false},
        {"192.168.1.1", true},
        {"192.169.1.1", false},
        {"169.254.10.20", true},
        {"8.8.8.8", false},
        // Names, and forms that resolvers read apart (octal, hex, short).
        {"10.attacker.example", false},
        {"localhost", false},
        {"010.1", false},
        {"10.1", false},
        {"010.0.0.1", false},
        {"0x0a.0.0.1", false},
        {"167772161", false},
        {"10.0.0.256", false},
        {"10.0.0.1.", false},
        {"10.0.0.1 ", false},
        {"10.0.0.0001", false},
        {"", false},
        // IPv6, in brackets as a Host value has it, or bare as an authority.
        {"[::1]", true},
        {"::1", true},
        {"[::]", false},
        {"[::2]", false},
        {"[fe80::1]", true},
        {"[FEBF:1::2]", true},
        {"[fec0::1]", false},
        {"[fc00::1]", true},
        {"[fe00::1]", false},
        {"[::ffff:10.0.0.1]", false},
        {"[fe80::1%eth0]", false},
        {"[fe80::1::2]", false},
        {"[fe80:0:0:0:0:0:0:0:1]", false},
        {"[fe80::10000]", false},
        {"[:fe80::1]", false},
        {"[fe80::0a.0.0.1]", false},
        {"[fe80::10.0.0.1]", true},
        {"[10.0.0.1]", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPrivateAddressLiteral(c.pszHost), c.bPrivate) << c.pszHost;
}

TEST(PrivateTargetTest, ATunnelIsForTheServerItsRequestLineNames)
{
    const struct {
        const char* pszHead;
        bool bPrivate;
    } cases[] = {
        {"GET http://10.0.0.1/ HTTP/1.1\r\nHost: 10.0.0.1\r\n\r\n", true},
        {"GET http://[fe80::1]:8080/ HTTP/1.1\r\nHost: [fe80::1]:8080\r\n\r\n", true},
        {"GET http://a.example/ HTTP/1.1\r\nHost: a.example\r\n\r\n", false},
        {"CONNECT 192.168.0.1:443 HTTP/1.1\r\nHost: a.example:443\r\n\r\n", true},
        {"CONNECT [fc00::5]:443 HTTP/1.1\r\n\r\n", true},
        // The Host header does not take a tunnel to the user's own network.
        {"CONNECT a.example:443 HTTP/1.1\r\nHost: 10.0.0.1:443\r\n\r\n", false},
        {"CONNECT 10.0.0.1 HTTP/1.1\r\n\r\n", false},
    };
    for (const auto& c : cases) {
        CRequestHead head;
        ParseRequestHead(c.pszHead, head);
        EXPECT_EQ(RequestNamesPrivateAddress(head), c.bPrivate) << c.pszHead;
    }
}
