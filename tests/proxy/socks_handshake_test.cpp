// The SOCKS handshakes as a table: what the server answers, what we send
// in reply, and how it ends.
#include "proxy/socks_handshake.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

struct CCase {
    const char* pszName;
    ESocksVersion eVersion;
    const char* pszHost;
    const char* pszUser;
    const char* pszPassword;
    std::vector<std::string> serverChunks; // as they arrive
    std::string strExpectSent;             // everything we send, in order
    CSocksHandshake::EStatus eStatus;
    ESocksError eError;
    int nTunnelBytes; // what the last chunk carried past the handshake
};

const std::string V5_NAME_REQUEST = Bytes({5, 1, 0, 3, 18}) + "only-the-socks.inv" + Bytes({0x1F, 0x90});
const std::string V5_OK_IPV4 = Bytes({5, 0, 0, 1, 10, 0, 0, 1, 0x30, 0x39});
const std::string V4A_NAME_REQUEST =
    Bytes({4, 1, 0x1F, 0x90, 0, 0, 0, 1}) + std::string("\0", 1) + "only-the-socks.inv" + std::string("\0", 1);

std::vector<CCase> Cases()
{
    const std::string greeting = Bytes({5, 1, 0});
    const std::string greetingWithAccount = Bytes({5, 2, 0, 2});
    const std::string account = Bytes({1, 4}) + "user" + Bytes({4}) + "pass";
    std::vector<CCase> cases = {
        {"v5 without account",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 0}), V5_OK_IPV4},
         greeting + V5_NAME_REQUEST,
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v5 reply a byte at a time, then tunnel bytes",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5}), Bytes({0}), Bytes({5}), Bytes({0, 0}), Bytes({3, 4}) + "abcd", Bytes({0, 80}) + "SSH-2.0"},
         greeting + V5_NAME_REQUEST,
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         7},
        {"v5 IPv6 bound address",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 0}), Bytes({5, 0, 0, 4}) + std::string(16, '\1') + Bytes({1, 2})},
         greeting + V5_NAME_REQUEST,
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v5 dotted address goes as an address",
         SOCKS_V5,
         "10.1.2.3",
         "",
         "",
         {Bytes({5, 0}), V5_OK_IPV4},
         greeting + Bytes({5, 1, 0, 1, 10, 1, 2, 3, 0x1F, 0x90}),
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v5 almost-dotted name goes as a name",
         SOCKS_V5,
         "10.1.2.256",
         "",
         "",
         {Bytes({5, 0}), V5_OK_IPV4},
         greeting + Bytes({5, 1, 0, 3, 10}) + "10.1.2.256" + Bytes({0x1F, 0x90}),
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v5 with account",
         SOCKS_V5,
         "only-the-socks.inv",
         "user",
         "pass",
         {Bytes({5, 2}), Bytes({1, 0}), V5_OK_IPV4},
         greetingWithAccount + account + V5_NAME_REQUEST,
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v5 account offered, none wanted",
         SOCKS_V5,
         "only-the-socks.inv",
         "user",
         "pass",
         {Bytes({5, 0}), V5_OK_IPV4},
         greetingWithAccount + V5_NAME_REQUEST,
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v5 account refused",
         SOCKS_V5,
         "only-the-socks.inv",
         "user",
         "pass",
         {Bytes({5, 2}), Bytes({1, 1})},
         greetingWithAccount + account,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_ACCOUNT_REFUSED,
         0},
        {"v5 wants an account we lack",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 0xFF})},
         greeting,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_ACCOUNT_WANTED,
         0},
        {"v5 chooses a method not offered",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 2})},
         greeting,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_GARBLED,
         0},
        {"v5 an HTTP proxy answers",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {"HTTP/1.0 400 Bad Request\r\n"},
         greeting,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_GARBLED,
         0},
        {"v5 reply with a bad address type",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 0}), Bytes({5, 0, 0, 9, 0, 0, 0, 0, 0, 0})},
         greeting + V5_NAME_REQUEST,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_GARBLED,
         0},
        {"v5 closed after the method",
         SOCKS_V5,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 0}), Bytes({5})},
         greeting + V5_NAME_REQUEST,
         CSocksHandshake::NEED_MORE,
         SOCKS_ERROR_NONE,
         0},
        {"v4a name",
         SOCKS_V4A,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({0, 90, 0, 0, 0, 0, 0, 0})},
         V4A_NAME_REQUEST,
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         0},
        {"v4a user id and a dotted address",
         SOCKS_V4A,
         "10.1.2.3",
         "alice",
         "unused",
         {Bytes({0, 90, 0, 0, 0, 0}), Bytes({0, 0}) + "220 ready"},
         Bytes({4, 1, 0x1F, 0x90, 10, 1, 2, 3}) + "alice" + std::string("\0", 1),
         CSocksHandshake::DONE,
         SOCKS_ERROR_NONE,
         9},
        {"v4a rejected",
         SOCKS_V4A,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({0, 91})},
         V4A_NAME_REQUEST,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_REJECTED,
         0},
        {"v4a identd unreachable",
         SOCKS_V4A,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({0, 92, 0, 0, 0, 0, 0, 0})},
         V4A_NAME_REQUEST,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_IDENTD_UNREACHABLE,
         0},
        {"v4a identd mismatch",
         SOCKS_V4A,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({0, 93, 0, 0, 0, 0, 0, 0})},
         V4A_NAME_REQUEST,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_IDENTD_MISMATCH,
         0},
        {"v4a an unknown code",
         SOCKS_V4A,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({0, 17})},
         V4A_NAME_REQUEST,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_GARBLED,
         0},
        {"v4a a SOCKS5 server answers",
         SOCKS_V4A,
         "only-the-socks.inv",
         "",
         "",
         {Bytes({5, 0xFF})},
         V4A_NAME_REQUEST,
         CSocksHandshake::FAILED,
         SOCKS_ERROR_GARBLED,
         0},
    };
    // Each SOCKS5 refusal of the connect request, by its code.
    const ESocksError v5Errors[] = {SOCKS_ERROR_GENERAL_FAILURE,       SOCKS_ERROR_NOT_ALLOWED,
                                    SOCKS_ERROR_NETWORK_UNREACHABLE,   SOCKS_ERROR_HOST_UNREACHABLE,
                                    SOCKS_ERROR_CONNECTION_REFUSED,    SOCKS_ERROR_TTL_EXPIRED,
                                    SOCKS_ERROR_COMMAND_NOT_SUPPORTED, SOCKS_ERROR_ADDRESS_TYPE_NOT_SUPPORTED,
                                    SOCKS_ERROR_UNKNOWN_REPLY};
    for (int code = 1; code <= 9; ++code)
        cases.push_back({"v5 refusal code",
                         SOCKS_V5,
                         "only-the-socks.inv",
                         "",
                         "",
                         {Bytes({5, 0}), Bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0})},
                         greeting + V5_NAME_REQUEST,
                         CSocksHandshake::FAILED,
                         v5Errors[code - 1],
                         0});
    return cases;
}

} // namespace

TEST(SocksHandshakeTest, RepliesTable)
{
    for (const CCase& c : Cases()) {
        SCOPED_TRACE(c.pszName);
        CSocksHandshake handshake;
        std::string sent;
        CSocksHandshake::EStatus eStatus = handshake.Start(c.eVersion, c.pszHost, 8080, c.pszUser, c.pszPassword, sent);
        int nUsed = 0;
        for (const std::string& chunk : c.serverChunks) {
            ASSERT_EQ(eStatus, CSocksHandshake::NEED_MORE);
            // Reading no more than wanted never takes a byte of the tunnel.
            ASSERT_GT(handshake.BytesWanted(), 0);
            eStatus = handshake.Feed(chunk.data(), static_cast<int>(chunk.size()), &nUsed, sent);
        }
        EXPECT_EQ(eStatus, c.eStatus);
        EXPECT_EQ(handshake.Error(), c.eError);
        EXPECT_EQ(sent, c.strExpectSent);
        if (c.eStatus == CSocksHandshake::DONE) {
            EXPECT_EQ(static_cast<int>(c.serverChunks.back().size()) - nUsed, c.nTunnelBytes);
            EXPECT_EQ(handshake.BytesWanted(), 0);
        }
        if (eStatus == CSocksHandshake::NEED_MORE) {
            // The server closed here: a short reply.
            EXPECT_EQ(handshake.Closed(), CSocksHandshake::FAILED);
            EXPECT_EQ(handshake.Error(), SOCKS_ERROR_CLOSED);
        }
    }
}

TEST(SocksHandshakeTest, FieldsThatDoNotFitSendNothing)
{
    const std::string longName(256, 'a');
    const struct {
        ESocksVersion eVersion;
        std::string host, user;
    } cases[] = {{SOCKS_V5, longName, ""},
                 {SOCKS_V4A, longName, ""},
                 {SOCKS_V5, "", ""},
                 {SOCKS_V5, "example.test", longName},
                 {SOCKS_V4A, "example.test", std::string("a\0b", 3)}};
    for (const auto& c : cases) {
        CSocksHandshake handshake;
        std::string sent;
        EXPECT_EQ(handshake.Start(c.eVersion, CString(c.host), 80, CString(c.user), "", sent), CSocksHandshake::FAILED);
        EXPECT_EQ(handshake.Error(), SOCKS_ERROR_TOO_LONG);
        EXPECT_TRUE(sent.empty());
    }
    // 255 bytes still fit.
    CSocksHandshake handshake;
    std::string sent;
    EXPECT_EQ(handshake.Start(SOCKS_V5, CString(std::string(255, 'a')), 80, "", "", sent), CSocksHandshake::NEED_MORE);
}
