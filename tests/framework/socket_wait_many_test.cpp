// Many sockets in one wait: connects begun without blocking end as made or
// refused, a connection with data to read and the waker each end the wait
// for themselves, nothing ready is a timeout, and too many items are
// refused.
#include "framework/core/socket_api.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// Waits until every item has been reported ready once (at most a few
// seconds each time), keeping what each first reported.
std::vector<int> WaitForAll(std::vector<SOCK_WAIT_ITEM> items)
{
    std::vector<int> ready(items.size(), 0);
    for (int nRound = 0; nRound < 20; ++nRound) {
        std::vector<SOCK_WAIT_ITEM> pending;
        std::vector<size_t> index;
        for (size_t i = 0; i < items.size(); ++i)
            if (!ready[i]) {
                pending.push_back(items[i]);
                index.push_back(i);
            }
        if (pending.empty()) break;
        if (SockWaitMany(pending.data(), static_cast<int>(pending.size()), 5000) <= 0) break;
        for (size_t i = 0; i < pending.size(); ++i)
            if (pending[i].nReady) ready[index[i]] = pending[i].nReady;
    }
    return ready;
}

} // namespace

TEST(SocketWaitManyTest, ConnectsEndMadeOrRefusedAndDataAndTheWakerEndTheWait)
{
    ASSERT_TRUE(SockInitOnce());
    DWORD dwLoopback = 0;
    ASSERT_TRUE(SockParseIPv4("127.0.0.1", &dwLoopback));
    const long nOpenBefore = SockOpenCount();
    WORD nPort = 0, nClosedPort = 0, nWakePort = 0;
    SOCKET_HANDLE listener = SockListenLoopback(0, &nPort);
    ASSERT_NE(listener, NO_SOCKET);
    // A port that was just free: nothing listens there now.
    SOCKET_HANDLE gone = SockListenLoopback(0, &nClosedPort);
    ASSERT_NE(gone, NO_SOCKET);
    SockClose(gone);
    SOCKET_HANDLE waker = SockOpenWaker(&nWakePort);
    ASSERT_NE(waker, NO_SOCKET);

    SOCKET_HANDLE made = SockConnectIPv4Begin(dwLoopback, nPort);
    ASSERT_NE(made, NO_SOCKET);
    SOCKET_HANDLE refused = SockConnectIPv4Begin(dwLoopback, nClosedPort);
    // A refusal may come at once; when it does not, the wait reports it.
    std::vector<SOCK_WAIT_ITEM> items = {{made, SOCK_WANT_CONNECT, 0}};
    if (refused != NO_SOCKET) items.push_back({refused, SOCK_WANT_CONNECT, 0});
    std::vector<int> ready = WaitForAll(items);
    EXPECT_EQ(ready[0], SOCK_READY_CONNECTED);
    if (refused != NO_SOCKET) {
        EXPECT_EQ(ready[1], SOCK_READY_CONNECT_FAILED);
    }

    // The made connection has room to send, and its peer's bytes end a
    // wait that the waker, silent, does not.
    SOCKET_HANDLE peer = SockAccept(listener);
    ASSERT_NE(peer, NO_SOCKET);
    EXPECT_EQ(SockSendSome(made, "ping", 4), 4);
    ASSERT_TRUE(SockSendAll(peer, "pong", 4));
    SOCK_WAIT_ITEM both[] = {{made, SOCK_WANT_READ, 0}, {waker, SOCK_WANT_READ, 0}};
    ASSERT_EQ(SockWaitMany(both, 2, 5000), 1);
    EXPECT_EQ(both[0].nReady, SOCK_READY_READ);
    EXPECT_EQ(both[1].nReady, 0);
    char buf[8] = "";
    ASSERT_EQ(SockRecv(made, buf, sizeof buf), 4);
    EXPECT_EQ(std::memcmp(buf, "pong", 4), 0);

    // Nothing more to read: only the waker's datagram ends the wait.
    ASSERT_TRUE(SockWakeListener(nWakePort));
    ASSERT_EQ(SockWaitMany(both, 2, 5000), 1);
    EXPECT_EQ(both[0].nReady, 0);
    EXPECT_EQ(both[1].nReady, SOCK_READY_READ);
    ASSERT_EQ(SockRecv(waker, buf, 1), 1);
    EXPECT_EQ(SockWaitMany(both, 2, 50), 0);

    std::vector<SOCK_WAIT_ITEM> tooMany(SOCK_WAIT_MAX + 1, SOCK_WAIT_ITEM{made, SOCK_WANT_READ, 0});
    EXPECT_EQ(SockWaitMany(tooMany.data(), static_cast<int>(tooMany.size()), 0), -1);

    for (SOCKET_HANDLE s : {made, refused, peer, waker, listener})
        if (s != NO_SOCKET) SockClose(s);
    EXPECT_EQ(SockOpenCount(), nOpenBefore);
}
