// CHeaderField and CHeaderFieldArray: the headers of one request head, in
// arrival order with duplicates kept, as the request handler splits them.
#pragma once

#include "framework/core/cstring.h"

#include <vector>

struct CHeaderField {
    CString m_strName;
    CString m_strValue;
    // FALSE for a line without a colon: m_strValue then holds the whole line,
    // which goes out again exactly as it came.
    BOOL m_bHasColon = TRUE;

    CHeaderField() = default;
    CHeaderField(const CString& strName, const CString& strValue) : m_strName(strName), m_strValue(strValue) {}
};

class CHeaderFieldArray {
public:
    int GetSize() const { return static_cast<int>(m_fields.size()); }
    BOOL IsEmpty() const { return m_fields.empty(); }
    const CHeaderField& GetAt(int nIndex) const { return m_fields.at(static_cast<size_t>(nIndex)); }
    CHeaderField& ElementAt(int nIndex) { return m_fields.at(static_cast<size_t>(nIndex)); }
    const CHeaderField& operator[](int nIndex) const { return GetAt(nIndex); }
    int Add(const CHeaderField& field)
    {
        m_fields.push_back(field);
        return GetSize() - 1;
    }
    void RemoveAll() { m_fields.clear(); }

private:
    std::vector<CHeaderField> m_fields;
};
