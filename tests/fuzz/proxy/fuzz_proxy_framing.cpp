// Fuzzes the relay's two framing state machines with arbitrary bytes cut at
// arbitrary points. The first five bytes choose: the switches and which side
// is fuzzed (0), the requests the answers pair with (1-3), the piece size
// (4); the rest is what the server (or the browser) sent.
//
// Checked: with the switches off not one byte changes but the connection
// fields of answer heads, whatever the bytes and however they are cut; the
// relay's way of sending unchanged pieces straight on gives the same bytes
// as feeding every piece; with them on, an answer that holds no page passes
// unchanged but for those fields, and what the browser receives parses
// again as HTTP (re-read by a framer with the switches off, it never has to
// be passed on unparsed unless the original could not be parsed either).
#include "proxy/filter_switches.h"
#include "proxy/internal/request_tracker.h"
#include "proxy/internal/response_framer.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok) std::abort();
}

bool MentionsHtml(const std::string& s)
{
    for (size_t i = 0; i + 4 <= s.size(); ++i) {
        if ((s[i] | 0x20) == 'h' && (s[i + 1] | 0x20) == 't' && (s[i + 2] | 0x20) == 'm' && (s[i + 3] | 0x20) == 'l')
            return true;
    }
    return false;
}

// The bytes with every line's CR before its LF dropped, and every line that
// is a connection field (Connection, Keep-Alive, Proxy-Connection) left out:
// what must not change while the switches are off, since the relay sets the
// connection fields of every answer head to what it does with the browser's
// connection (and writes a head it rebuilds for that with CR LF).
std::string WithoutConnectionFields(const std::string& s)
{
    std::string out;
    size_t at = 0;
    while (at < s.size()) {
        size_t end = s.find('\n', at);
        const bool bLineEnd = end != std::string::npos;
        if (!bLineEnd) end = s.size();
        std::string line = s.substr(at, end - at);
        if (bLineEnd && !line.empty() && line.back() == '\r') line.pop_back();
        std::string name = line.substr(0, line.find(':'));
        for (char& ch : name) ch = static_cast<char>(ch | 0x20);
        const bool bConnection = line.find(':') != std::string::npos &&
                                 (name == "connection" || name == "keep-alive" || name == "proxy-connection");
        if (!bConnection) out += line + (bLineEnd ? "\n" : "");
        at = end + 1;
    }
    return out;
}

struct CRun {
    std::string out;
    bool bPassing = false;
    bool bMustClose = false;
};

// bSkipUnchanged: as the relay does, a piece the framer would pass as it is
// goes to the output directly, and the framer only counts it.
CRun RunFramer(const std::vector<CPendingRequest>& requests, const std::string& in, int nPiece,
               bool bSkipUnchanged = false)
{
    CResponseFramer framer;
    for (const CPendingRequest& r : requests) framer.ExpectResponse(r);
    CRun run;
    for (size_t at = 0; at < in.size() && !framer.MustClose(); at += static_cast<size_t>(nPiece)) {
        size_t n = in.size() - at < static_cast<size_t>(nPiece) ? in.size() - at : static_cast<size_t>(nPiece);
        if (bSkipUnchanged && framer.PassesUnchanged(static_cast<int>(n))) {
            run.out.append(in, at, n);
            framer.Skip(static_cast<int>(n));
        } else {
            framer.Feed(in.data() + at, static_cast<int>(n), run.out);
        }
    }
    run.bMustClose = framer.MustClose();
    if (!run.bMustClose) framer.Finish(run.out);
    run.bPassing = framer.IsPassingThrough();
    return run;
}

void FuzzRequests(const std::string& in, int nPiece)
{
    CResponseFramer framer;
    CRequestTracker tracker;
    CRequestHead first;
    ParseRequestHead("POST http://h/ HTTP/1.1\r\nContent-Length: 3\r\n\r\n", first);
    tracker.AfterFirstHead(first, framer);
    std::string out;
    for (size_t at = 0; at < in.size(); at += static_cast<size_t>(nPiece)) {
        size_t n = in.size() - at < static_cast<size_t>(nPiece) ? in.size() - at : static_cast<size_t>(nPiece);
        tracker.Feed(in.data() + at, static_cast<int>(n), out, framer);
    }
    const bool bFinished = tracker.IsFinished();
    tracker.StartPassing(out);
    // Heads are only ever held, never changed, while the switches are off;
    // after the browser's last request (or one not to be carried) nothing
    // more goes on.
    Check(bFinished ? in.compare(0, out.size(), out) == 0 : out == in);
    Check(framer.PendingCount() <= CResponseFramer::MAX_PENDING);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) return 0;
    const bool bOn = (data[0] & 1) != 0;
    const bool bRequests = (data[0] & 2) != 0;
    const int nPiece = 1 + data[4] % 64;
    const std::string in(reinterpret_cast<const char*>(data + 5), size - 5);

    if (bRequests) {
        SetFilterSwitches(0, 0);
        FuzzRequests(in, nPiece);
        return 0;
    }

    std::vector<CPendingRequest> requests;
    const unsigned kinds = data[2] | (data[3] << 8);
    for (int i = 0; i < data[1] % 8; ++i) {
        CPendingRequest r;
        switch ((kinds >> (2 * i)) & 3) {
        case 1: r.bClient11 = false; break;
        case 2: r.bHead = true; break;
        case 3: r.bConnect = true; break;
        default: break;
        }
        requests.push_back(r);
    }

    SetFilterSwitches(bOn ? 1 : 0, (data[0] & 4) ? 1 : 0);
    const bool bFiltering = bOn || (data[0] & 4);
    CRun split = RunFramer(requests, in, nPiece);
    // Sending unchanged pieces straight on gives the browser the same bytes.
    CRun skipping = RunFramer(requests, in, nPiece, true);
    Check(skipping.out == split.out && skipping.bMustClose == split.bMustClose);
    if (!bFiltering) {
        Check(WithoutConnectionFields(split.out) == WithoutConnectionFields(in));
        Check(!split.bMustClose);
        return 0;
    }
    if (!MentionsHtml(in)) Check(WithoutConnectionFields(split.out) == WithoutConnectionFields(in));

    // What the browser got reads as HTTP again.
    SetFilterSwitches(0, 0);
    CRun reread = RunFramer(requests, split.out, 4096);
    Check(reread.out == split.out);
    if (!split.bPassing) Check(!reread.bPassing);
    return 0;
}
