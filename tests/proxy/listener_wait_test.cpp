// The listener's wait: a datagram on its waker ends one wait, and only one;
// what an accepted connection gets from the listening socket; and taking a
// burst of connections after one wait.
#include "framework/core/socket_api.h"
#include "support/loopback_tcp.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <winsock2.h>
typedef int OptionLength;
#else
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
typedef socklen_t OptionLength;
#endif

namespace {

// Read from the system itself, not from anything the seam remembers.
bool NagleIsOff(SOCKET_HANDLE s)
{
    int nValue = 0;
    OptionLength len = sizeof nValue;
    if (getsockopt(static_cast<decltype(socket(0, 0, 0))>(s), IPPROTO_TCP, TCP_NODELAY,
                   reinterpret_cast<char*>(&nValue), &len) != 0)
        return false;
    return nValue != 0;
}

} // namespace

TEST(ListenerWaitTest, ADatagramOnTheWakerEndsOneWaitAndAcceptingGoesOn)
{
    ASSERT_TRUE(SockInitOnce());
    WORD nPort = 0, nWakePort = 0;
    SOCKET_HANDLE sockListen = SockListenLoopback(0, &nPort);
    ASSERT_NE(sockListen, NO_SOCKET);
    SOCKET_HANDLE sockWaker = SockOpenWaker(&nWakePort);
    ASSERT_NE(sockWaker, NO_SOCKET);

    // Any local program can send to the waker's port, not only Stop. A
    // datagram left unread would end every later wait at once: the listener
    // would spin and never accept again.
    ASSERT_TRUE(SockWakeListener(nWakePort));
    EXPECT_EQ(SockWaitForConnection(sockListen, sockWaker, 2000), 0);

    SOCKET_HANDLE sockClient = TestConnect(nPort);
    ASSERT_NE(sockClient, NO_SOCKET);
    EXPECT_EQ(SockWaitForConnection(sockListen, sockWaker, 2000), 1);
    SOCKET_HANDLE sockAccepted = SockAccept(sockListen);
    EXPECT_NE(sockAccepted, NO_SOCKET);

    SockClose(sockAccepted);
    SockClose(sockClient);
    SockClose(sockWaker);
    SockClose(sockListen);
}

// A page's connections arrive together: after one wait the listener takes
// them all, and the accept that finds the queue empty must say so at once
// instead of holding the listener until the next connection comes. Each
// accepted connection sends small writes at once (a relayed answer must not
// wait for the peer's delayed acknowledgement): it inherits that from the
// listening socket, since setting it one by one costs round trips under Wine.
TEST(ListenerWaitTest, ANonBlockingListenerHandsOutTheQueueThenSaysItIsEmpty)
{
    ASSERT_TRUE(SockInitOnce());
    WORD nPort = 0, nWakePort = 0;
    SOCKET_HANDLE sockListen = SockListenLoopback(0, &nPort);
    ASSERT_NE(sockListen, NO_SOCKET);
    SOCKET_HANDLE sockWaker = SockOpenWaker(&nWakePort);
    ASSERT_NE(sockWaker, NO_SOCKET);
    ASSERT_TRUE(SockSetNonBlocking(sockListen));
    EXPECT_EQ(SockAccept(sockListen), NO_SOCKET);

    const int nClients = 3;
    SOCKET_HANDLE clients[nClients];
    for (SOCKET_HANDLE& sockClient : clients) {
        sockClient = TestConnect(nPort);
        ASSERT_NE(sockClient, NO_SOCKET);
    }
    EXPECT_EQ(SockWaitForConnection(sockListen, sockWaker, 2000), 1);
    SOCKET_HANDLE accepted[nClients + 1];
    int nAccepted = 0;
    while (nAccepted <= nClients && (accepted[nAccepted] = SockAccept(sockListen)) != NO_SOCKET) ++nAccepted;
    ASSERT_EQ(nAccepted, nClients);
    for (int i = 0; i < nAccepted; ++i) EXPECT_TRUE(NagleIsOff(accepted[i]));

    // The connections do not block either, on either system: a receive
    // with nothing there comes back rather than waiting.
    char byte = 0;
    EXPECT_EQ(SockRecv(accepted[0], &byte, 1), SOCK_NOTHING_YET);

    for (int i = 0; i < nAccepted; ++i) SockClose(accepted[i]);
    for (SOCKET_HANDLE sockClient : clients) SockClose(sockClient);
    SockClose(sockWaker);
    SockClose(sockListen);
}
