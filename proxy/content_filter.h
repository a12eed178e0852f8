// CContentFilter: renames script and embedded-object tags in one chunk of a
// server's answer, so the browser neither runs scripts nor loads objects.
// Built on the stack for one chunk; also the hook the request handler passes
// every request's headers through.
#pragma once

#include "framework/core/cstring.h"
#include "proxy/header_field.h"

class CContentFilter {
public:
    CContentFilter();
    CContentFilter(const char* pChunk, int nLength);
    virtual ~CContentFilter() = default;

    // 0 when there is nothing to filter (no chunk or length 0); 1 after the
    // chunk has been rewritten into GetFiltered(). Reads the switches once.
    virtual int FilterBody();

    // Leaves the request's headers as they are; returns 1.
    virtual int FilterHeaders(CHeaderFieldArray& headers);

    // The rewritten chunk after FilterBody returned 1. Binary-safe: every
    // byte outside a renamed tag, NULs included, is kept in order.
    const CString& GetFiltered() const { return m_strFiltered; }

private:
    const char* m_pChunk;
    int m_nLength;
    CString m_strFiltered;
};
