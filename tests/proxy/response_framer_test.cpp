// The response framer fed recorded answers cut at every split point (and
// byte by byte): what the browser receives must not depend on how the
// server's bytes were cut, and must be the filtered, re-framed answer.
#include "http_reference.h"
#include "proxy/filter_switches.h"
#include "proxy/internal/response_framer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CPendingRequest Get11()
{
    return CPendingRequest();
}
CPendingRequest Get10()
{
    CPendingRequest r;
    r.bClient11 = false;
    return r;
}
// The browser's last request on its connection.
CPendingRequest Last11()
{
    CPendingRequest r;
    r.bLast = true;
    return r;
}
CPendingRequest Head11()
{
    CPendingRequest r;
    r.bHead = true;
    return r;
}
CPendingRequest Connect11()
{
    CPendingRequest r;
    r.bConnect = true;
    return r;
}

// A head and a body, with the body's Content-Length filled in.
std::string WithLength(const std::string& statusAndFields, const std::string& body)
{
    return statusAndFields + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

const char SAME[] = "<unchanged>";

struct CFramerCase {
    const char* pszName;
    DWORD dwEnableJS, dwEnableActiveX;
    std::vector<CPendingRequest> requests;
    std::string input;
    std::string expected; // after DechunkForComparison; SAME: the input byte for byte
    bool bMustClose;
};

std::vector<CFramerCase> Cases()
{
    const std::string pngWithText = std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dtEXt<script>", 23) + "</script>\xff";
    return {
        {"length page re-framed as chunks, next answer untouched",
         1,
         0,
         {Get11(), Get11()},
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n", "<p><SCRIPT>run()</Script></p>") +
             WithLength("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n", pngWithText),
         "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\nTransfer-Encoding: chunked\r\n\r\n"
         "{<p><noscript>run()</noscript> </p>|}" +
             WithLength("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n", pngWithText),
         false},
        {"an image passed as it is, then a page re-framed as chunks",
         1,
         0,
         {Get11(), Get11()},
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n", pngWithText) +
             WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<script>x</script>"),
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n", pngWithText) +
             "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
             "{<noscript>x</noscript> |}",
         false},
        {"chunked page decoded, filtered, re-chunked with its trailers",
         1,
         1,
         {Get11()},
         "HTTP/1.1 200 OK\r\nContent-Type: TEXT/HTML\r\nTransfer-Encoding: chunked\r\n\r\n"
         "5\r\n<scri\r\n9;ext=1\r\npt>a<obje\r\n3\r\nct>\r\n0\r\nX-Check: 1\r\n\r\n",
         "HTTP/1.1 200 OK\r\nContent-Type: TEXT/HTML\r\nTransfer-Encoding: chunked\r\n\r\n"
         "{<noscript>a<noobj >|X-Check: 1\r\n}",
         false},
        {"HTTP/1.0 answers re-chunked speak HTTP/1.1, and the browser's connection stays",
         1,
         0,
         {Get11(), Get11()},
         WithLength("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nConnection: Keep-Alive\r\n", "<script>") +
             WithLength("HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nKeep-Alive: timeout=5\r\n", "</script>"),
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: Keep-Alive\r\nTransfer-Encoding: chunked\r\n\r\n"
         "{<noscript>|}"
         "HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\nConnection: "
         "keep-alive\r\n\r\n"
         "{</noscript> |}",
         false},
        {"page ended by the close stays so",
         0,
         1,
         {Get11()},
         "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<object data=x></OBJECT><obj",
         "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<noobj  data=x></noobj> <obj",
         false},
        {"connection fields say what happens to the browser's connection, not the server's",
         0,
         0,
         {Get11(), Get10(), Last11()},
         WithLength("HTTP/1.1 200 OK\r\nConnection: close\r\n", "a") + WithLength("HTTP/1.1 200 OK\r\n", "b") +
             WithLength("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5\r\n", "c"),
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: keep-alive\r\n\r\na"
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nConnection: keep-alive\r\n\r\nb"
         "HTTP/1.0 200 OK\r\nContent-Length: 1\r\nConnection: close\r\n\r\nc",
         false},
        {"HTTP/1.0 browser gets the page ended by the close",
         1,
         0,
         {Get10(), Get10()},
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: keep-alive\r\nKeep-Alive: timeout=5\r\n",
                    "<script>") +
             WithLength("HTTP/1.1 200 OK\r\n", "next"),
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<noscript>",
         true},
        {"answers without a body: HEAD, 204, 304, 100 before the real one",
         1,
         0,
         {Head11(), Get11(), Get11(), Get11()},
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100\r\n\r\n"
         "HTTP/1.1 204 No Content\r\n\r\n"
         "HTTP/1.1 304 Not Modified\r\nContent-Type: text/html\r\nContent-Length: 50\r\n\r\n"
         "HTTP/1.1 100 Continue\r\n\r\n" +
             WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<script>"),
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100\r\n\r\n"
         "HTTP/1.1 204 No Content\r\n\r\n"
         "HTTP/1.1 304 Not Modified\r\nContent-Type: text/html\r\nContent-Length: 50\r\n\r\n"
         "HTTP/1.1 100 Continue\r\n\r\n"
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n{<noscript>|}",
         false},
        {"compressed page, image and part of a page pass byte for byte",
         1,
         1,
         {Get11(), Get11(), Get11()},
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n",
                    "\x1f\x8b<script><object") +
             WithLength("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\n", pngWithText) +
             WithLength("HTTP/1.1 206 Partial Content\r\nContent-Type: text/html\r\nContent-Range: bytes 5-12/90\r\n",
                        "<script>"),
         SAME,
         false},
        {"switches off: a page passes byte for byte",
         0,
         0,
         {Get11(), Get11()},
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<script>") +
             "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: "
             "chunked\r\n\r\n8\r\n<script>\r\n0\r\n\r\n",
         SAME,
         false},
        {"tunnel after CONNECT",
         1,
         1,
         {Connect11()},
         "HTTP/1.1 200 Connection established\r\n\r\n\x16\x03<script>HTTP/1.1 200 OK\r\n\r\n",
         SAME,
         false},
        {"absurd chunk size passes unchanged",
         1,
         0,
         {Get11()},
         "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\nTransfer-Encoding: chunked\r\n\r\n"
         "FFFFFFFFFFFFFFFFFFFF\r\n<script>",
         SAME,
         false},
        {"lengths that disagree pass unchanged",
         1,
         0,
         {Get11()},
         "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 5\r\nContent-Length: 9\r\n\r\n<script>x",
         SAME,
         false},
        {"not an HTTP status line", 1, 0, {Get11()}, "ICY 200 OK\r\n\r\n<script>", SAME, false},
        {"an answer to no known request",
         1,
         0,
         {},
         WithLength("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n", "<script>"),
         SAME,
         false},
    };
}

// bSkipUnchanged: as the relay does, a piece the framer would pass as it is
// goes to the output directly, and the framer only counts it.
std::string RunFramer(const CFramerCase& c, const std::vector<int>& cuts, bool bSkipUnchanged, bool* pMustClose)
{
    CResponseFramer framer;
    for (const CPendingRequest& r : c.requests) framer.ExpectResponse(r);
    std::string out;
    auto piece = [&](int at, int n) {
        if (bSkipUnchanged && framer.PassesUnchanged(n)) {
            out.append(c.input, static_cast<size_t>(at), static_cast<size_t>(n));
            framer.Skip(n);
        } else {
            framer.Feed(c.input.data() + at, n, out);
        }
    };
    int at = 0;
    for (int cut : cuts) {
        piece(at, cut - at);
        at = cut;
    }
    piece(at, static_cast<int>(c.input.size()) - at);
    *pMustClose = framer.MustClose();
    framer.Finish(out);
    return out;
}

class ResponseFramerTest : public ::testing::Test {
protected:
    void TearDown() override { SetFilterSwitches(0, 0); }
};

} // namespace

TEST_F(ResponseFramerTest, RecordedAnswersAtEverySplitPoint)
{
    for (const CFramerCase& c : Cases()) {
        SCOPED_TRACE(c.pszName);
        SetFilterSwitches(c.dwEnableJS, c.dwEnableActiveX);
        const std::string expected = c.expected == SAME ? c.input : c.expected;
        const int n = static_cast<int>(c.input.size());
        std::vector<std::vector<int>> splits = {{}};
        for (int cut = 1; cut < n; ++cut) splits.push_back({cut});
        std::vector<int> bytes;
        for (int cut = 1; cut < n; ++cut) bytes.push_back(cut);
        splits.push_back(bytes);
        for (const std::vector<int>& cuts : splits) {
            for (bool bSkip : {false, true}) {
                bool bMustClose = false;
                std::string out = RunFramer(c, cuts, bSkip, &bMustClose);
                if (c.expected == SAME) {
                    ASSERT_EQ(out, c.input) << "cut at " << (cuts.empty() ? 0 : cuts[0]) << " of " << cuts.size();
                } else {
                    ASSERT_EQ(DechunkForComparison(out), expected)
                        << "cut at " << (cuts.empty() ? 0 : cuts[0]) << " of " << cuts.size();
                }
                ASSERT_EQ(bMustClose, c.bMustClose);
            }
        }
    }
}

TEST_F(ResponseFramerTest, BrokenChunksInAFilteredPageGoOnUnfilteredAndTheBodyNeverEnds)
{
    SetFilterSwitches(1, 0);
    CResponseFramer framer;
    framer.ExpectResponse(Get11());
    std::string out;
    const std::string tail = "ZZ\r\n<script>HTTP/1.1 200 OK\r\n\r\n";
    const std::string start =
        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n<scri\r\n";
    framer.Feed(start.data(), static_cast<int>(start.size()), out);
    std::string rest = "2\r\npt\r\n" + tail;
    framer.Feed(rest.data(), static_cast<int>(rest.size()), out);
    framer.Finish(out);
    EXPECT_TRUE(framer.IsPassingThrough());
    // The filtered start, then every byte that followed the fault in chunks
    // of its own, and no last chunk: the browser sees the transfer broken.
    EXPECT_EQ(out, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "9\r\n<noscript\r\n"
                   "3\r\nZZ\r\r\n"
                   "1c\r\n\n<script>HTTP/1.1 200 OK\r\n\r\n\r\n");
}

TEST_F(ResponseFramerTest, ACutOffFilteredBodyIsNotMadeComplete)
{
    SetFilterSwitches(1, 0);
    CResponseFramer framer;
    framer.ExpectResponse(Get11());
    std::string out;
    const std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 40\r\n\r\n<p>cut <scr";
    framer.Feed(answer.data(), static_cast<int>(answer.size()), out);
    framer.Finish(out);
    EXPECT_EQ(out, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n"
                   "7\r\n<p>cut \r\n4\r\n<scr\r\n");
}
