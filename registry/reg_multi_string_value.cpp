// CRegMultiStringValue: REG_MULTI_SZ values with a two-step read and a cached Get.
#include "registry/reg_multi_string_value.h"

#include <string>

namespace {

void CopyList(const CStringList& from, CStringList& to)
{
    to.RemoveAll();
    for (POSITION pos = from.GetHeadPosition(); pos;) to.AddTail(from.GetNext(pos));
}

bool SameList(const CStringList& a, const CStringList& b)
{
    if (a.GetCount() != b.GetCount()) return false;
    POSITION pa = a.GetHeadPosition();
    POSITION pb = b.GetHeadPosition();
    while (pa && pb)
        if (a.GetNext(pa) != b.GetNext(pb)) return false;
    return true;
}

} // namespace

CRegMultiStringValue::CRegMultiStringValue(LPCTSTR pszFullPath, const char* const* ppszDefaults, int nDefaults,
                                           BOOL bForce, HKEY hRoot)
    : CRegValue(pszFullPath, hRoot), m_bRead(FALSE), m_bForce(bForce), m_bLastSetFailed(FALSE)
{
    for (int i = 0; i < nDefaults; ++i) m_defaults.AddTail(ppszDefaults[i]);
    CStringList values;
    Read(values);
}

void CRegMultiStringValue::Get(CStringList& rValues)
{
    if (m_bRead && !m_bForce)
        CopyList(m_cache, rValues);
    else
        Read(rValues);
}

CRegMultiStringValue& CRegMultiStringValue::Set(const CStringList& values)
{
    m_bLastSetFailed = FALSE;
    CStringList kept;
    std::string block;
    for (POSITION pos = values.GetHeadPosition(); pos;) {
        // Only the text up to a zero byte can be stored.
        CString value(static_cast<LPCTSTR>(values.GetNext(pos)));
        if (value.IsEmpty()) continue;
        kept.AddTail(value);
        block += value.str();
        block += '\0';
    }
    if (m_bRead && !m_bForce && SameList(kept, m_cache)) return *this;
    block += '\0';
    if (SetData(REG_MULTI_SZ, block.data(), static_cast<DWORD>(block.size()))) {
        CopyList(kept, m_cache);
        m_bRead = TRUE;
    } else {
        m_bLastSetFailed = TRUE;
    }
    return *this;
}

void CRegMultiStringValue::Read(CStringList& rValues)
{
    rValues.RemoveAll();
    std::vector<BYTE> block;
    if (!QueryBlock(block)) {
        CopyList(m_defaults, rValues);
        return;
    }
    // Texts between zero bytes; an empty one ends the list (a value written
    // without its last zero byte ends where the data does).
    const char* pch = reinterpret_cast<const char*>(block.data());
    size_t start = 0;
    while (start < block.size()) {
        size_t end = start;
        while (end < block.size() && pch[end] != '\0') ++end;
        if (end == start) break;
        rValues.AddTail(CString(pch + start, static_cast<int>(end - start)));
        start = end + 1;
    }
    CopyList(rValues, m_cache);
    m_bRead = TRUE;
}
