// CCfgTreeFile: moving typed values between the node tree and the file's
// item lines, and the file operations that wrap those two walks.
#include "cfgfile/cfg_tree_file.h"
#include "framework/core/text_number.h"

namespace {

BOOL IsValueNode(int type)
{
    return type == cfgTypeString || type == cfgTypeNum || type == cfgTypeBool;
}

// Sets a value node from one token of its item line. A token that does not
// read as the node's kind leaves the value as it was.
void ReadValue(CCfgNode* pNode, const CString& strToken)
{
    int number;
    switch (GetCfgNodeType(pNode)) {
    case cfgTypeString: pNode->SetString(strToken); break;
    case cfgTypeNum:
        if (CwScanInt(strToken, &number)) pNode->SetNum(number);
        break;
    case cfgTypeBool: {
        CString word(strToken);
        word.MakeUpper();
        if (CwScanInt(word, &number))
            pNode->SetBool(number != 0);
        else if (word == "TRUE" || word == "T")
            pNode->SetBool(TRUE);
        else if (word == "FALSE" || word == "F")
            pNode->SetBool(FALSE);
        break;
    }
    default: break;
    }
}

// TRUE when the text, written as it stands, reads back as this one token:
// not empty, not opening with a quote, and free of separators.
BOOL ReadsBackBare(const CString& strText)
{
    const std::string& s = strText.str();
    if (s.empty() || s[0] == '"') return FALSE;
    for (char ch : s)
        if (CwIsSpace(ch) || ch == ',') return FALSE;
    return TRUE;
}

// The written form of a value: strings in double quotes, numbers and
// booleans in decimal. The format has no escapes, so a string holding a
// double quote is written bare instead, which reads back the same whenever
// it holds no separator; every such string read from a file qualifies (a
// quote there comes from a bare token). FALSE for a string that no form
// reads back as itself: one with a line feed, which would split its line,
// or one with a quote and a separator, which only a program can set.
BOOL WriteValue(const CCfgNode* pNode, CString& rText)
{
    if (GetCfgNodeType(pNode) == cfgTypeString) {
        const CString value = pNode->GetString();
        if (value.Find('\n') >= 0) return FALSE;
        if (value.Find('"') >= 0) {
            if (!ReadsBackBare(value)) return FALSE;
            rText = value;
        } else {
            rText = '"' + value + '"'; // by length: a value read from the file may hold any byte
        }
    } else if (GetCfgNodeType(pNode) == cfgTypeNum) {
        rText.Format("%d", pNode->GetNum());
    } else {
        rText.Format("%d", pNode->GetBool());
    }
    return TRUE;
}

// What follows an item's own values on its old line: each extra token after
// a comma, as it was written (a quoted one keeps its quotes, so it reads back
// as one token), then the comment - from the first token that begins with
// ";" to the end of the old line, exactly as written there.
CString CarryOver(const CString& strOldLine, int nValueCount)
{
    CString tail;
    std::vector<CfgTokenSpan> spans = CfgSplitLine(strOldLine, -1);
    const std::string& raw = strOldLine.str();
    for (size_t k = static_cast<size_t>(nValueCount) + 1; k < spans.size(); ++k) {
        const CfgTokenSpan& span = spans[k];
        if (span.strText.GetLength() > 0 && span.strText[0] == ';') {
            tail += ' ';
            tail += CString(raw.substr(static_cast<size_t>(span.nStart)));
            break;
        }
        // Beyond the token limit only a comment is looked for; other tokens
        // there were never part of the line's values.
        if (k < static_cast<size_t>(CFG_MAX_TOKENS)) {
            tail += ',';
            tail += CString(raw.substr(static_cast<size_t>(span.nStart), static_cast<size_t>(span.nEnd - span.nStart)));
        }
    }
    return tail;
}

} // namespace

CCfgTreeFile::CCfgTreeFile() : m_nodes(10)
{
}

CCfgTreeFile::~CCfgTreeFile()
{
    if (m_bModified) Sync();
    DeleteAllNodes();
    // The base destructor writes the lines when they changed.
}

int CCfgTreeFile::Load(const CString& strPath)
{
    CCfgFile::Load(strPath);
    Parse();
    return CFG_OK;
}

int CCfgTreeFile::Save()
{
    const int nSync = Sync();
    const int nResult = CCfgFile::Save();
    if (nResult != CFG_OK) return nResult;
    // Every other value was written; the one that could not be stays
    // pending, and the caller hears of it.
    if (nSync != CFG_OK) m_bModified = TRUE;
    return nSync;
}

int CCfgTreeFile::SaveAs(const CString& strPath)
{
    const int nSync = Sync();
    const int nResult = CCfgFile::SaveAs(strPath);
    if (nResult != CFG_OK) return nResult;
    if (nSync != CFG_OK) m_bModified = TRUE;
    return nSync;
}

void CCfgTreeFile::Clear()
{
    Reset();
    DeleteAllNodes();
}

int CCfgTreeFile::LoadAndSave(const CString& strPath)
{
    int result = Load(strPath);
    if (result != CFG_OK) return result;
    Save();
    return CFG_OK;
}

void CCfgTreeFile::Parse()
{
    CString section;
    int valueCount = 0;
    int valueIndex = 0;
    for (POSITION pos = m_nodes.GetHeadPosition(); pos;) {
        CCfgNode* node = m_nodes.GetNext(pos);
        int type = GetCfgNodeType(node);
        if (type == cfgTypeSection) {
            section = node->GetSectionName();
        } else if (type == cfgTypeItem) {
            if (FindSectionItem(section, node->GetItemName()) == CFG_OK) {
                valueCount = node->GetCount();
                valueIndex = 0;
            } else {
                // Missing from the file: written out with its defaults below.
                m_bModified = TRUE;
                valueCount = 0;
            }
        } else if (IsValueNode(type)) {
            if (valueCount > 0 && valueIndex < m_nTokens - 1) ReadValue(node, m_strTokens[valueIndex + 1]);
            ++valueIndex;
        }
    }
    if (m_bModified) Save();
}

int CCfgTreeFile::Sync()
{
    int nResult = CFG_OK;
    CString section;
    for (POSITION pos = m_nodes.GetHeadPosition(); pos;) {
        CCfgNode* node = m_nodes.GetNext(pos);
        int type = GetCfgNodeType(node);
        if (type == cfgTypeSection) {
            section = node->GetSectionName();
            continue;
        }
        if (type != cfgTypeItem) continue;

        CString line = node->GetItemName();
        // Also leaves the old line in m_strLine for the carry-over.
        const BOOL found = FindSectionItem(section, line) == CFG_OK;
        const int count = node->GetCount();
        BOOL writable = TRUE;
        for (int k = 0; k < count && pos; ++k) {
            CCfgNode* value = m_nodes.GetAt(pos);
            if (!IsValueNode(GetCfgNodeType(value))) break;
            m_nodes.GetNext(pos);
            CString text;
            if (!WriteValue(value, text)) writable = FALSE;
            line += k == 0 ? ' ' : ',';
            line += text;
        }
        // Such an item keeps its old line in the file, and the save that
        // follows reports it rather than claiming the value was stored.
        if (!writable) {
            nResult = CFG_ERR_ITEM;
            continue;
        }
        if (found) line += CarryOver(m_strLine, count);
        // An item without values is refused here and never reaches the file,
        // which is how a table declares one.
        SetItem(section, line, FALSE);
    }
    return nResult;
}
