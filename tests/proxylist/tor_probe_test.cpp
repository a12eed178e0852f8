// The Tor probe against stand-ins on loopback: what it sends, which answers
// count as a SOCKS5 port this program can use, and that a silent or closed
// port costs no more than the probe's bound.
#include "proxylist/tor_probe.h"
#include "support/loopback_tcp.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace {

// Answers the first three bytes it receives with the given reply (a byte
// at a time when split), and keeps what it received.
class CGreetingStandIn {
public:
    explicit CGreetingStandIn(const std::string& reply, bool bSplit = false)
        : m_server([this, reply, bSplit](SOCKET_HANDLE s) {
              std::string received = TestRecvCount(s, 3);
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  m_received = received;
              }
              if (!bSplit) {
                  TestSend(s, reply);
                  return;
              }
              for (char c : reply) {
                  TestSend(s, std::string(1, c));
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
              }
          })
    {
    }
    WORD Port() const { return m_server.Port(); }
    std::string Received()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_received;
    }

private:
    std::mutex m_mutex;
    std::string m_received;
    CTestTcpServer m_server;
};

TEST(TorProbe, OnlyAChosenNoAccountMethodCountsAsASocks5Port)
{
    const struct {
        const char* what;
        std::string reply;
        bool bSplit;
        BOOL bExpected;
    } cases[] = {
        {"no account chosen", std::string("\x05\x00", 2), false, TRUE},
        {"the same answer a byte at a time", std::string("\x05\x00", 2), true, TRUE},
        {"no acceptable method", std::string("\x05\xFF", 2), false, FALSE},
        {"an account wanted", std::string("\x05\x02", 2), false, FALSE},
        {"a SOCKS4 server's refusal", std::string("\x00\x5B", 2), false, FALSE},
        {"an HTTP server's error", "HTTP/1.0 400 Bad Request\r\n\r\n", false, FALSE},
        {"closed after one byte", std::string("\x05", 1), false, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CGreetingStandIn standIn(c.reply, c.bSplit);
        ASSERT_NE(0, standIn.Port());
        EXPECT_EQ(c.bExpected, AnswersSocks5Greeting(standIn.Port(), 2000));
        EXPECT_EQ(std::string("\x05\x01\x00", 3), standIn.Received()) << "version 5, one method: no account";
    }
}

TEST(TorProbe, SilentAndClosedPortsAreNotTorAndTheFirstAnsweringPortIsOffered)
{
    CSilentLoopbackListener silent;
    ASSERT_NE(0, silent.Port());
    EXPECT_FALSE(AnswersSocks5Greeting(silent.Port(), 300));
    WORD nClosed = ClosedLoopbackPort();
    EXPECT_FALSE(AnswersSocks5Greeting(nClosed, 300));

    CGreetingStandIn tor(std::string("\x05\x00", 2));
    CGreetingStandIn second(std::string("\x05\x00", 2));
    std::vector<WORD> previous = SetTorProbePorts({nClosed, silent.Port(), tor.Port(), second.Port()});
    CNetDeadline deadline(5000);
    EXPECT_EQ(std::string("socks5://127.0.0.1:") + std::to_string(tor.Port()) + " (Tor)",
              std::string(FindTorEntry(deadline)));
    EXPECT_EQ("", second.Received()) << "asked only until one answered";

    SetTorProbePorts({nClosed});
    EXPECT_TRUE(FindTorEntry(deadline).IsEmpty());
    SetTorProbePorts(previous);
}

} // namespace
