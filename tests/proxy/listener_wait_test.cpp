// The listener's wait: a datagram on its waker ends one wait, and only one.
#include "framework/core/socket_api.h"
#include "support/loopback_tcp.h"

#include <gtest/gtest.h>

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
