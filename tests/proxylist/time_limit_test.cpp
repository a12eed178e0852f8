// Time limits of the list download and the proxy tester, against loopback
// peers that keep the caller waiting: they answer, properly, only after
// several seconds. A caller without a limit gets that late answer and takes
// it for a success; with the short limits set here it gives up first and
// reports a failure. Nothing is timed: the results say which happened.
#include <winsock2.h>

#include "proxylist/download.h"
#include "proxylist/http_get.h"
#include "proxylist/proxy_list_update.h"
#include "proxylist/proxy_tester.h"
#include "support/loopback_http_server.h"
#include "support/message_box_recorder.h"
#include "support/raw_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// How long the peers hold back: far beyond the limits the tests set.
const auto kLate = std::chrono::seconds(8);

// Short limits for the length of one test.
class CShortLimits {
public:
    CShortLimits() : m_saved(GetHttpTimeouts())
    {
        CHttpTimeouts limits;
        limits.dwConnectMs = 500;
        limits.dwReceiveMs = 500;
        SetHttpTimeouts(limits);
    }
    ~CShortLimits() { SetHttpTimeouts(m_saved); }

private:
    CHttpTimeouts m_saved;
};

// Listens on 127.0.0.1 with the given backlog and does nothing for kLate
// (or until the test ends); then accepts every connection and gives each a
// complete 200 answer with the body.
class CLatePeer {
public:
    CLatePeer(int nBacklog, std::string body) : m_body(std::move(body))
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        m_listen = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in sa = {};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof sa;
        bind(m_listen, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        listen(m_listen, nBacklog);
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&sa), &size);
        m_nPort = ntohs(sa.sin_port);
        m_thread = std::thread(&CLatePeer::Run, this);
    }
    ~CLatePeer()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_wake.notify_all();
        m_thread.join();
        closesocket(m_listen);
        for (SOCKET s : m_fillers) closesocket(s);
        WSACleanup();
    }
    int Port() const { return m_nPort; }
    std::string HostPort() const { return "127.0.0.1:" + std::to_string(m_nPort); }

    // Takes up the listener's whole backlog with connections nobody
    // accepts, so that a further connect waits for its handshake.
    void FillBacklog()
    {
        for (int k = 0; k < 4; ++k) {
            SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
            u_long nonBlocking = 1;
            ioctlsocket(s, FIONBIO, &nonBlocking);
            sockaddr_in sa = {};
            sa.sin_family = AF_INET;
            sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            sa.sin_port = htons(static_cast<u_short>(m_nPort));
            connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
            m_fillers.push_back(s);
        }
        Sleep(200); // the handshakes the backlog takes complete meanwhile
    }

private:
    void Run()
    {
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_for(lock, kLate, [this] { return m_bStop; })) return;
        }
        const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(m_body.size()) +
                                   "\r\nConnection: close\r\n\r\n" + m_body;
        for (;;) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_listen, &readable);
            timeval tick = {0, 100000};
            if (select(0, &readable, nullptr, nullptr, &tick) == 1) {
                SOCKET s = accept(m_listen, nullptr, nullptr);
                if (s != INVALID_SOCKET) {
                    char buffer[4096];
                    recv(s, buffer, sizeof buffer, 0);
                    send(s, answer.data(), static_cast<int>(answer.size()), 0);
                    shutdown(s, SD_SEND);
                    closesocket(s);
                }
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_bStop) return;
        }
    }

    std::string m_body;
    SOCKET m_listen = INVALID_SOCKET;
    int m_nPort = 0;
    std::vector<SOCKET> m_fillers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_bStop = false;
    std::thread m_thread;
};

} // namespace

TEST(TimeLimitTest, ASilentListServerIsAFailedDownloadThatKeepsTheList)
{
    CShortLimits limits;
    CLatePeer server(8, "late:1\n");
    const std::string url = VendorUrl(server.HostPort().c_str(), PROXY_LIST_PATH).str();
    CString text;
    EXPECT_FALSE(DownloadText(url.c_str(), text)) << "the answer came after the receive limit";
    EXPECT_TRUE(text.IsEmpty());

    std::string file = ::testing::TempDir() + "cw_time_limit_list.txt";
    ASSERT_TRUE(WriteRaw(file, "kept:1\r\n"));
    CStringList entries;
    EXPECT_EQ(UpdateProxyList(url.c_str(), file.c_str(), entries), PROXY_LIST_DOWNLOAD_FAILED);
    EXPECT_EQ(ReadRaw(file), "kept:1\r\n");
    std::remove(file.c_str());
}

TEST(TimeLimitTest, ASilentProxyMeasuresNoSpeed)
{
    CShortLimits limits;
    CLatePeer proxy(8, "GIF89a" + std::string(1000, 's'));
    std::string sample = "http://127.0.0.1:" + std::to_string(ClosedLoopbackPort()) + SPEED_SAMPLE_PATH;
    EXPECT_EQ(MeasureDownloadSpeed("127.0.0.1", proxy.Port(), sample.c_str()), 0.0);
}

TEST(TimeLimitTest, AProxyThatDoesNotCompleteTheHandshakeIsUnreachable)
{
    CShortLimits limits;
    CLatePeer proxy(0, "x");
    proxy.FillBacklog();
    CMessageBoxRecorder boxes;
    EXPECT_FALSE(CheckProxyReachable("127.0.0.1", proxy.Port()));
    EXPECT_EQ(MeasureConnectTime("127.0.0.1", proxy.Port()), 0);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, PROXY_CONNECT_FAILED_TEXT);
}
