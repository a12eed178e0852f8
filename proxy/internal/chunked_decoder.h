// CChunkedDecoder: finds the end of a chunked message body fed in pieces of
// any size, and hands out the data of its chunks. Used on both directions of
// a kept-alive connection: a request's body has to be skipped to find the
// next request, and a page's body has to be decoded to be filtered. Memory
// is bounded: a chunk-size line and the trailer section have limits of their
// own, and chunk data is never kept here.
#pragma once

#include <cstdint>
#include <string>

class CChunkedDecoder {
public:
    enum Result { MORE, DONE, FAILED };

    // A chunk-size line (extensions included) longer than this is refused.
    static const int MAX_SIZE_LINE = 1024;
    // So is a trailer section (all its lines) longer than this.
    static const int MAX_TRAILERS = 64 * 1024;

    CChunkedDecoder() = default;

    // Consumes bytes from pData; *pUsed receives how many. MORE: everything
    // was used and the body goes on. DONE: the body ended after *pUsed bytes
    // (what follows belongs to the next message). FAILED: the framing is not
    // chunked as it should be (a bad size line, a size past 2^48, data not
    // followed by CR LF, an oversized line); *pUsed then counts the bytes
    // taken before the fault was seen. Chunk data is appended to pData when
    // that is not null. After DONE or FAILED the decoder takes nothing more.
    Result Feed(const char* pData, int nLength, int* pUsed, std::string* pChunkData);

    // The trailer lines as received, each with its line end, without the
    // empty line that ends the body. Complete once Feed returned DONE.
    const std::string& Trailers() const { return m_strTrailers; }

    // Bytes taken but not handed out yet: a size or trailer line still being
    // read. After FAILED they are what a caller passes on with the rest, so
    // nothing of a broken body is lost.
    const std::string& PendingLine() const { return m_strLine; }

private:
    enum State { SIZE_LINE, DATA, DATA_CR, DATA_LF, TRAILER_LINE, FINISHED, BROKEN };

    bool ParseSizeLine();

    State m_state = SIZE_LINE;
    std::string m_strLine;     // the size line or trailer line being read
    std::uint64_t m_nLeft = 0; // data bytes left in the current chunk
    std::string m_strTrailers;
};
