// CContentFilter: renames script and embedded-object tags in one piece of a
// page, so the browser neither runs scripts nor loads objects. Built on the
// stack for one piece; also the hook the request handler passes every
// request's headers through.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/header_field.h"

#include <string>

class CContentFilter {
public:
    CContentFilter();
    CContentFilter(const char* pChunk, int nLength);
    virtual ~CContentFilter() = default;

    // 0 when there is nothing to filter (no chunk or length 0); 1 after the
    // chunk has been rewritten into GetFiltered(). Reads the switches once.
    virtual int FilterBody();

    // Drops Accept-Encoding while a switch is on, so that the server sends
    // the page itself rather than a compressed body the rules cannot read;
    // with both switches off the headers stay as they came. Returns 1.
    virtual int FilterHeaders(CHeaderFieldArray& headers);

    // The rewritten chunk after FilterBody returned 1. Binary-safe: every
    // byte outside a renamed tag, NULs included, is kept in order.
    CString GetFiltered() const { return CString(m_strFiltered); }
    const std::string& GetFilteredText() const { return m_strFiltered; }

    // The tag prefixes the rules look for, in lower case (matched without
    // regard to case). A piece of a page that ends in the beginning of one
    // of them has to wait for the next piece before it can be filtered.
    static const int PATTERN_COUNT = 4;
    static const char* const PATTERNS[PATTERN_COUNT];

private:
    const char* m_pChunk;
    int m_nLength;
    std::string m_strFiltered;
};
