// A plain reference for reading what the response framer sends: every body
// sent chunked is decoded, so that outputs which differ only in where the
// chunks were cut compare equal. Shared by the framer's unit test and its
// fuzzer. Written for test data whose other bodies never hold the text
// "Transfer-Encoding: chunked".
#pragma once

#include <cstdlib>
#include <string>

// Replaces each chunked body after a head that names "Transfer-Encoding:
// chunked" with "{decoded data|trailer lines}". A body that does not decode
// (cut short, a bad size) is kept as it is, after a "{!" mark.
inline std::string DechunkForComparison(const std::string& text)
{
    static const std::string MARK = "Transfer-Encoding: chunked\r\n";
    std::string out;
    size_t at = 0;
    for (;;) {
        size_t mark = text.find(MARK, at);
        size_t headEnd = mark == std::string::npos ? mark : text.find("\r\n\r\n", mark);
        if (headEnd == std::string::npos) {
            out.append(text, at, std::string::npos);
            return out;
        }
        headEnd += 4;
        out.append(text, at, headEnd - at);
        std::string data;
        size_t p = headEnd;
        bool ok = false;
        for (;;) {
            size_t lineEnd = text.find("\r\n", p);
            if (lineEnd == std::string::npos) break;
            char* pEnd = nullptr;
            unsigned long n = std::strtoul(text.c_str() + p, &pEnd, 16);
            if (pEnd == text.c_str() + p) break;
            p = lineEnd + 2;
            if (n == 0) {
                size_t trailersEnd = text.find("\r\n", p) == p ? p : text.find("\r\n\r\n", p);
                if (trailersEnd == std::string::npos) break;
                size_t nTrailers = trailersEnd == p ? 0 : trailersEnd + 2 - p;
                out += "{" + data + "|" + text.substr(p, nTrailers) + "}";
                p = trailersEnd == p ? p + 2 : trailersEnd + 4;
                ok = true;
                break;
            }
            if (p + n + 2 > text.size() || text.compare(p + n, 2, "\r\n") != 0) break;
            data.append(text, p, n);
            p += n + 2;
        }
        if (!ok) {
            out += "{!";
            out.append(text, headEnd, std::string::npos);
            return out;
        }
        at = p;
    }
}
