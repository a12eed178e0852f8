// The request side of a kept-alive connection: pipelined requests with and
// without bodies, cut at every split point, keep their bytes and stay paired
// with the answers; the header hook drops Accept-Encoding only while a
// switch is on.
#include "http_reference.h"
#include "proxy/filter_switches.h"
#include "proxy/internal/request_tracker.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string FIRST_BODY = "<b>!"; // the first request's body, after its head

// Four requests after a first POST whose head the handler already sent: a
// HEAD, a chunked PUT, a GET asking for compression, an HTTP/1.0 GET.
const std::string PIPELINED =
    FIRST_BODY + "HEAD http://h/a HTTP/1.1\r\nHost: h\r\nAccept-Encoding: gzip, br\r\n\r\n"
                 "PUT http://h/b HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nT: 1\r\n\r\n"
                 "GET http://h/c HTTP/1.1\r\nHost: h\r\naccept-encoding:br\r\n\r\n"
                 "GET http://h/d HTTP/1.0\r\n\r\n";

const std::string WITHOUT_ENCODINGS =
    FIRST_BODY + "HEAD http://h/a HTTP/1.1\r\nHost: h\r\n\r\n"
                 "PUT http://h/b HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nT: 1\r\n\r\n"
                 "GET http://h/c HTTP/1.1\r\nHost: h\r\n\r\n"
                 "GET http://h/d HTTP/1.0\r\n\r\n";

// The answers, in order: the POST's page, the HEAD's head (its length is the
// GET body's, no body follows), the PUT's 204, a page for /c, one for /d.
const std::string ANSWERS = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 8\r\n\r\n<script>"
                            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 999\r\n\r\n"
                            "HTTP/1.1 204 No Content\r\n\r\n"
                            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 8\r\n\r\n<SCRIPT>"
                            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 8\r\n\r\n<script>";

const std::string FILTERED_ANSWERS =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n{<noscript>|}"
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 999\r\n\r\n"
    "HTTP/1.1 204 No Content\r\n\r\n"
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n{<noscript>|}"
    "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<noscript>";

CRequestHead FirstPost()
{
    CRequestHead head;
    ParseRequestHead("POST http://h/ HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n\r\n", head);
    return head;
}

class RequestTrackerTest : public ::testing::Test {
protected:
    void TearDown() override { SetFilterSwitches(0, 0); }
};

} // namespace

TEST_F(RequestTrackerTest, PipelinedRequestsAtEverySplitPointStayPairedWithTheirAnswers)
{
    for (DWORD dwJS : {0u, 1u}) {
        SetFilterSwitches(dwJS, 0);
        for (size_t cut = 0; cut <= PIPELINED.size(); ++cut) {
            SCOPED_TRACE("switch " + std::to_string(dwJS) + ", cut at " + std::to_string(cut));
            CResponseFramer framer;
            CRequestTracker tracker;
            tracker.AfterFirstHead(FirstPost(), framer);
            std::string out;
            tracker.Feed(PIPELINED.data(), static_cast<int>(cut), out, framer);
            tracker.Feed(PIPELINED.data() + cut, static_cast<int>(PIPELINED.size() - cut), out, framer);
            ASSERT_EQ(out, dwJS == 1 ? WITHOUT_ENCODINGS : PIPELINED);
            ASSERT_FALSE(tracker.IsPassingThrough());

            std::string answers;
            framer.Feed(ANSWERS.data(), static_cast<int>(ANSWERS.size()), answers);
            // The HTTP/1.0 browser's last answer says that its connection ends.
            const std::string closed = ANSWERS.substr(0, ANSWERS.size() - 10) + "Connection: close\r\n\r\n<script>";
            ASSERT_EQ(DechunkForComparison(answers), dwJS == 1 ? FILTERED_ANSWERS : closed);
        }
    }
}

TEST_F(RequestTrackerTest, AfterConnectTheBrowsersBytesPassAsTheyCome)
{
    SetFilterSwitches(1, 0);
    CResponseFramer framer;
    CRequestTracker tracker;
    CRequestHead head;
    ParseRequestHead("CONNECT h:443 HTTP/1.1\r\nHost: h:443\r\n\r\n", head);
    tracker.AfterFirstHead(head, framer);
    const std::string tls = "\x16\x03\x01 GET / HTTP/1.1\r\nAccept-Encoding: gzip\r\n";
    std::string out;
    tracker.Feed(tls.data(), static_cast<int>(tls.size()), out, framer);
    EXPECT_EQ(out, tls);
    EXPECT_EQ(framer.PendingCount(), 1);
}

TEST_F(RequestTrackerTest, WhatCannotBeFollowedPassesAndLeavesLaterAnswersUnfiltered)
{
    SetFilterSwitches(1, 0);
    CResponseFramer framer;
    CRequestTracker tracker;
    CRequestHead head;
    // A length that is not a number: where the next request starts is unknown.
    ParseRequestHead("POST http://h/ HTTP/1.1\r\nContent-Length: 4x\r\n\r\n", head);
    tracker.AfterFirstHead(head, framer);
    EXPECT_TRUE(tracker.IsPassingThrough());
    const std::string rest = "4x..GET http://h/ HTTP/1.1\r\nAccept-Encoding: gzip\r\n\r\n";
    std::string out;
    tracker.Feed(rest.data(), static_cast<int>(rest.size()), out, framer);
    EXPECT_EQ(out, rest);
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<script>";
    std::string answers;
    framer.Feed(answer.data(), static_cast<int>(answer.size()), answers);
    EXPECT_EQ(answers, answer);

    // A head past the bound is passed on as it came, not held, with the
    // filter off; with it on, the tracker stops before it, so that no later
    // answer passes unfiltered.
    const std::string huge = FIRST_BODY + "GET / HTTP/1.1\r\nX: " + std::string(MAX_REQUEST_HEAD, 'x');
    for (DWORD dwJS : {0u, 1u}) {
        SetFilterSwitches(dwJS, 0);
        CRequestTracker second;
        CResponseFramer framer2;
        second.AfterFirstHead(FirstPost(), framer2);
        out.clear();
        second.Feed(huge.data(), static_cast<int>(huge.size()), out, framer2);
        EXPECT_EQ(out, dwJS ? FIRST_BODY : huge);
        EXPECT_EQ(second.IsPassingThrough(), !dwJS);
        EXPECT_EQ(second.IsStopped(), dwJS != 0);
    }
}

TEST_F(RequestTrackerTest, WithoutAnUpstreamLaterRequestsGoInPathFormAndAnotherServerStopsTheConnection)
{
    using namespace std::string_literals;
    const std::string same = "GET http://h:81/a HTTP/1.1\r\nHost: h:81\r\n\r\n";
    const std::string sameInPathForm = "GET /a HTTP/1.1\r\nHost: h:81\r\n\r\n";
    const struct {
        std::string next; // the request after `same`
        bool bToOrigin;
        bool bStopped;
        std::string nextOut; // what the server gets of it when not stopped
    } cases[] = {
        {"GET http://other:81/b HTTP/1.1\r\nHost: other:81\r\nCookie: k=v\r\n\r\n", true, true, ""},
        {"GET http://h:82/b HTTP/1.1\r\nHost: h:82\r\n\r\n", true, true, ""},
        {"GET http://H:81/b HTTP/1.1\r\nHost: H:81\r\n\r\n", true, false, "GET /b HTTP/1.1\r\nHost: H:81\r\n\r\n"},
        {"GET /b HTTP/1.1\r\nHost: h:81\r\n\r\n", true, false, "GET /b HTTP/1.1\r\nHost: h:81\r\n\r\n"},
        {"GET http://h:81/b HTTP/1.1\r\nHost: h:81\0.other\r\n\r\n"s, true, true, ""},
        // Through an upstream proxy every request goes there, in full.
        {"GET http://other:81/b HTTP/1.1\r\nHost: other:81\r\n\r\n", false, false,
         "GET http://other:81/b HTTP/1.1\r\nHost: other:81\r\n\r\n"},
        {"GET http://h:81/b HTTP/1.1\r\nHost: h:81\0.other\r\n\r\n"s, false, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.next);
        CResponseFramer framer;
        CRequestTracker tracker;
        CRequestHead first;
        ParseRequestHead("GET http://h:81/ HTTP/1.1\r\nHost: h:81\r\n\r\n", first);
        if (c.bToOrigin) tracker.SendToOrigin(first.m_strHost, first.m_nPort);
        tracker.AfterFirstHead(first, framer);
        const std::string sent = same + c.next + same;
        std::string out;
        tracker.Feed(sent.data(), static_cast<int>(sent.size()), out, framer);
        EXPECT_EQ(tracker.IsStopped(), c.bStopped);
        const std::string firstOut = c.bToOrigin ? sameInPathForm : same;
        if (c.bStopped) {
            // Nothing from the stopping request on reaches this server.
            EXPECT_EQ(out, firstOut);
            EXPECT_EQ(framer.PendingCount(), 2);
        } else {
            EXPECT_EQ(out, firstOut + c.nextOut + firstOut);
            EXPECT_EQ(framer.PendingCount(), 4);
        }
    }
}

TEST_F(RequestTrackerTest, TheBrowsersLastRequestFinishesTheConnectionOnceItHasGoneWhole)
{
    const std::string next = "GET http://h/next HTTP/1.1\r\nHost: h\r\n\r\n";
    const struct {
        std::string request; // head and body
        bool bLast;
    } cases[] = {
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\nConnection: close\r\n\r\n", true},
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\nConnection: Keep-Alive,  CLOSE \r\n\r\n", true},
        {"GET http://h/ HTTP/1.0\r\nHost: h\r\n\r\n", true},
        {"GET http://h/ HTTP/1.0\r\nHost: h\r\nConnection: keep-alive\r\n\r\n", false},
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\nConnection: closed\r\n\r\n", false},
        {"GET http://h/ HTTP/1.1\r\nHost: h\r\nProxy-Connection: close\r\n\r\n", false},
        {"POST http://h/ HTTP/1.1\r\nHost: h\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc", true},
        {"POST http://h/ HTTP/1.1\r\nConnection: close\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        CResponseFramer framer;
        CRequestTracker tracker;
        CRequestHead first;
        ParseRequestHead("GET http://h/ HTTP/1.1\r\nHost: h\r\n\r\n", first);
        tracker.AfterFirstHead(first, framer);
        std::string out;
        // Up to its last byte the request is not whole yet.
        tracker.Feed(c.request.data(), static_cast<int>(c.request.size() - 1), out, framer);
        EXPECT_FALSE(tracker.IsFinished());
        const std::string rest = c.request.substr(c.request.size() - 1) + next;
        tracker.Feed(rest.data(), static_cast<int>(rest.size()), out, framer);
        EXPECT_EQ(tracker.IsFinished(), c.bLast);
        EXPECT_FALSE(tracker.IsStopped());
        // Nothing after the last request is carried.
        EXPECT_EQ(out, c.bLast ? c.request : c.request + next);
    }

    // A tunnel stays the browser's, whatever its head said.
    CResponseFramer framer;
    CRequestTracker tracker;
    CRequestHead connect;
    ParseRequestHead("CONNECT h:443 HTTP/1.1\r\nHost: h:443\r\nConnection: close\r\n\r\n", connect);
    tracker.AfterFirstHead(connect, framer);
    EXPECT_FALSE(tracker.IsFinished());
    EXPECT_TRUE(tracker.IsPassingThrough());
}

// Through SOCKS a later head naming another server is held for a connection
// of its own; one whose port is outside the TCP range names no server and
// stops the connection instead, as a first head with it is refused.
TEST_F(RequestTrackerTest, ThroughSocksALaterPortOutsideTheTcpRangeReachesNobody)
{
    const struct {
        const char* pszHostPort;
        int nHeldPort; // 0: stopped
    } cases[] = {
        {"b.test:65616", 0},     {"b.test:0", 0}, {"b.test:-80", 0}, {"b.test:4294967376", 0},
        {"b.test:65535", 65535}, {"b.test:1", 1}, {"b.test", 80},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszHostPort);
        CResponseFramer framer;
        CRequestTracker tracker;
        CRequestHead first;
        ParseRequestHead("GET http://a.test/ HTTP/1.1\r\nHost: a.test\r\n\r\n", first);
        tracker.SendToOrigin(first.m_strHost, first.m_nPort);
        tracker.FollowServers();
        tracker.AfterFirstHead(first, framer);
        const std::string next =
            std::string("GET http://") + c.pszHostPort + "/b HTTP/1.1\r\nHost: " + c.pszHostPort + "\r\n\r\n";
        std::string out;
        tracker.Feed(next.data(), static_cast<int>(next.size()), out, framer);
        EXPECT_EQ(out, "");
        EXPECT_EQ(tracker.IsStopped(), c.nHeldPort == 0);
        ASSERT_EQ(tracker.IsHolding(), c.nHeldPort != 0);
        if (c.nHeldPort == 0) continue;
        CString strHost;
        int nPort = 0;
        std::string held;
        tracker.TakeHeld(strHost, nPort, held);
        EXPECT_EQ(nPort, c.nHeldPort);
        EXPECT_EQ(held, next);
    }
}
