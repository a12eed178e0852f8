// CCfgFile: sections, items and tokens over the in-memory lines.
#include "cfgfile/cfg_file.h"

#include <cstdlib>

namespace {

// A line that can be stored as an item: a name and at least one value, and
// it must read back as this one item line. A line feed would split it in two
// on disk, the second half reading as a line of its own (even as another
// item or a header), and a line that reads as a header is never found as an
// item again, so every later replace of it would add one more.
BOOL CanStoreItemLine(const CString& strLine, CString* pTokens)
{
    if (CCfgFile::Tokenize(strLine, pTokens, nullptr) < 2) return FALSE;
    return strLine.Find('\n') < 0 && !CCfgFile::IsSectionHeader(strLine);
}

} // namespace

CCfgFile::CCfgFile()
    : m_bModified(FALSE), m_bReadFailed(FALSE), m_nTokens(0), m_posCursor(nullptr), m_posSection(nullptr), m_lines(10)
{
}

CCfgFile::~CCfgFile()
{
    // Only this class's own Save can run here: a derived part is gone.
    if (m_bModified) CCfgFile::Save();
    m_strPath.Empty();
    Reset();
}

void CCfgFile::Reset()
{
    m_lines.RemoveAll();
    m_posCursor = nullptr;
    m_posSection = nullptr;
    m_strSection.Empty();
    m_bModified = FALSE;
}

BOOL CCfgFile::Examine(POSITION pos)
{
    m_strLine = m_lines.GetAt(pos);
    return IsSectionHeader(m_strLine);
}

int CCfgFile::SelectSection(const CString& strName)
{
    if (m_posSection && strName == m_strSection) {
        m_strLine = m_lines.GetAt(m_posSection);
        m_posCursor = m_posSection;
        m_lines.GetNext(m_posCursor);
        return CFG_OK;
    }
    for (POSITION pos = m_lines.GetHeadPosition(); pos;) {
        POSITION here = pos;
        m_strLine = m_lines.GetNext(pos);
        CString name;
        if (IsSectionHeader(m_strLine, &name) && name == strName) {
            m_posSection = here;
            m_posCursor = pos;
            m_strSection = strName;
            return CFG_OK;
        }
    }
    return CFG_ERR_NOT_FOUND;
}

int CCfgFile::FindItem(const CString& strName)
{
    if (!m_posSection) return CFG_ERR_NO_SECTION;
    POSITION pos = m_posSection;
    m_lines.GetNext(pos);
    while (pos) {
        POSITION here = pos;
        if (Examine(here)) return CFG_ERR_NOT_FOUND;
        m_lines.GetNext(pos);
        Tokenize(m_strLine, m_strTokens, &m_nTokens);
        if (m_nTokens > 0 && m_strTokens[0] == strName) {
            m_posCursor = here;
            return CFG_OK;
        }
    }
    return CFG_ERR_NOT_FOUND;
}

int CCfgFile::FindSectionItem(const CString& strSection, const CString& strItem)
{
    int result = SelectSection(strSection);
    if (result != CFG_OK) return result;
    return FindItem(strItem);
}

int CCfgFile::NextItem()
{
    if (!m_posSection) return CFG_ERR_NO_SECTION;
    while (m_posCursor) {
        POSITION here = m_posCursor;
        if (Examine(here)) return CFG_ERR_NOT_FOUND; // the cursor stays on the next header
        m_lines.GetNext(m_posCursor);
        Tokenize(m_strLine, m_strTokens, &m_nTokens);
        if (m_nTokens > 0) return CFG_OK;
    }
    return CFG_ERR_NOT_FOUND;
}

int CCfgFile::SetItemLine(const CString& strLine, BOOL bAdd)
{
    CString tokens[CFG_MAX_TOKENS];
    if (!CanStoreItemLine(strLine, tokens)) return CFG_ERR_ITEM;
    if (!bAdd) {
        int result = FindItem(tokens[0]);
        if (result == CFG_OK) {
            m_lines.SetAt(m_posCursor, strLine);
            m_bModified = TRUE;
            return CFG_OK;
        }
        if (result != CFG_ERR_NOT_FOUND) return result;
    }
    // The newest item goes first, right under its header.
    m_posCursor = m_posSection ? m_lines.InsertAfter(m_posSection, strLine) : m_lines.AddTail(strLine);
    m_bModified = TRUE;
    return CFG_OK;
}

int CCfgFile::SetItem(const CString& strSection, const CString& strLine, BOOL bAdd)
{
    CString tokens[CFG_MAX_TOKENS];
    if (!CanStoreItemLine(strLine, tokens)) return CFG_ERR_ITEM;
    if (SelectSection(strSection) == CFG_OK) return SetItemLine(strLine, bAdd);

    // A name with "]" or ";" would make a header that reads back as some
    // other section or as no header at all, and one with a line feed would
    // split it on disk; every later save would add the section again.
    const CString header = "[" + strSection + "]";
    CString written;
    if (strSection.Find('\n') >= 0 || !IsSectionHeader(header, &written) || written != strSection)
        return CFG_ERR_NO_SECTION;

    // A new section goes to the end, set off by one empty line.
    if (!m_lines.IsEmpty() && !m_lines.GetTail().IsEmpty()) m_lines.AddTail(CString());
    m_posSection = m_lines.AddTail(header);
    m_posCursor = nullptr;
    m_strSection = strSection;
    m_lines.AddTail(strLine);
    m_bModified = TRUE;
    return CFG_OK;
}

int CCfgFile::DeleteItem(BOOL bHeader)
{
    if (!m_posSection) return CFG_ERR_NO_SECTION;
    if (!bHeader && IsSectionHeader(m_strLine)) return CFG_ERR_SYNTAX;
    for (;;) {
        // The line just before the cursor is the item NextItem returned last.
        POSITION target = m_posCursor;
        if (target)
            m_lines.GetPrev(target);
        else
            target = m_lines.GetTailPosition();
        if (!target) return CFG_ERR_NOT_FOUND;
        if (target == m_posSection) {
            if (!bHeader) return CFG_ERR_SYNTAX;
            // The header is going: forget it so no position is left pointing
            // at a removed line.
            m_posSection = nullptr;
            m_strSection.Empty();
        }
        m_lines.RemoveAt(target);
        m_bModified = TRUE;

        if (!m_posCursor) return CFG_ERR_NOT_FOUND;
        POSITION here = m_posCursor;
        if (Examine(here)) return CFG_ERR_NOT_FOUND;
        m_lines.GetNext(m_posCursor);
        Tokenize(m_strLine, m_strTokens, &m_nTokens);
        if (m_nTokens > 0) return CFG_OK;
        // A blank line after the removed one goes with it.
    }
}

int CCfgFile::DeleteSectionItems(const CString& strSection)
{
    int result = SelectSection(strSection);
    if (result != CFG_OK) return result;
    if (NextItem() == CFG_OK) {
        while (DeleteItem(FALSE) == CFG_OK) {
        }
    }
    return CFG_OK;
}

int CCfgFile::DeleteSection(const CString& strSection)
{
    int result = DeleteSectionItems(strSection);
    if (result != CFG_OK) return result;
    SelectSection(strSection);
    DeleteItem(TRUE);
    m_strSection.Empty();
    m_posCursor = nullptr;
    m_posSection = nullptr;
    return CFG_OK;
}

CString CCfgFile::GetToken(int nIndex) const
{
    if (nIndex < 0 || nIndex >= m_nTokens) return CString();
    return m_strTokens[nIndex];
}

int CCfgFile::GetInt(int nIndex, int* pnValue) const
{
    if (nIndex < 0 || nIndex >= m_nTokens) return CFG_ERR_INDEX;
    int value;
    if (!CwScanInt(m_strTokens[nIndex], &value)) return CFG_ERR_SYNTAX;
    if (pnValue) *pnValue = value;
    return CFG_OK;
}

int CCfgFile::GetIntInRange(int nIndex, int* pnValue, int nMin, int nMax) const
{
    int value = 0;
    int result = GetInt(nIndex, &value);
    if (result != CFG_OK) return result;
    if (pnValue) *pnValue = value;
    return value < nMin || value > nMax ? CFG_ERR_RANGE : CFG_OK;
}

CString CCfgFile::GetErrorText(int nCode)
{
    static const char* const texts[] = {
        "No error",     "Can't open file",       "Not found",     "No valid section", "Index is out of range",
        "Syntax error", "Value is out of range", "No valid Item",
    };
    // Wide enough for the magnitude of INT_MIN.
    long long magnitude = nCode < 0 ? -static_cast<long long>(nCode) : nCode;
    if (magnitude < static_cast<long long>(sizeof texts / sizeof texts[0])) return CString(texts[magnitude]);
    CString text;
    text.Format("Unknown error - %lld", magnitude);
    return text;
}
