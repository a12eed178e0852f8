// CCfgTreeFile: building the node list from a table, finding nodes and the
// typed accessors over them.
#include "cfgfile/cfg_tree_file.h"

const CFG_NODE_DESC* CCfgTreeFile::Build(const CFG_NODE_DESC* pDesc)
{
    for (; pDesc->nType != cfgTypeEnd; ++pDesc) {
        CCfgNode* node = nullptr;
        switch (pDesc->nType) {
        case cfgTypeSection: node = new CCfgNodeSection(pDesc->nId, pDesc->pszText); break;
        case cfgTypeItem: node = new CCfgNodeItem(pDesc->nId, pDesc->pszText, pDesc->nParam1); break;
        case cfgTypeString: node = new CCfgNodeString(pDesc->nId, pDesc->pszText); break;
        case cfgTypeNum: node = new CCfgNodeNum(pDesc->nId, pDesc->nParam3, pDesc->nParam2, pDesc->nParam1); break;
        case cfgTypeBool: node = new CCfgNodeBool(pDesc->nId, pDesc->nParam3); break;
        default: break;
        }
        if (node) m_nodes.AddTail(node);
    }
    return pDesc;
}

void CCfgTreeFile::DeleteAllNodes()
{
    while (!m_nodes.IsEmpty()) delete m_nodes.RemoveHead();
}

CCfgNode* CCfgTreeFile::FindNode(int nId, POSITION* pNext) const
{
    for (POSITION pos = m_nodes.GetHeadPosition(); pos;) {
        CCfgNode* node = m_nodes.GetNext(pos);
        if (node->GetId() == nId) {
            if (pNext) *pNext = pos;
            return node;
        }
    }
    return nullptr;
}

CCfgNode* CCfgTreeFile::FindValueNode(int nItemId, int nIndex, POSITION* pNext) const
{
    POSITION pos = nullptr;
    if (!FindNode(nItemId, &pos) || nIndex < 0) return nullptr;
    CCfgNode* node = nullptr;
    for (int k = 0; k <= nIndex; ++k) {
        if (!pos) return nullptr;
        node = m_nodes.GetNext(pos);
    }
    if (pNext) *pNext = pos;
    return node;
}

CCfgNode* CCfgTreeFile::FindItemNode(const CString& strItem, const CString& strSection, POSITION* pNext) const
{
    POSITION pos = m_nodes.GetHeadPosition();
    // Only the first section of that name is searched.
    while (pos) {
        CCfgNode* node = m_nodes.GetNext(pos);
        if (GetCfgNodeType(node) == cfgTypeSection && node->GetSectionName() == strSection) break;
    }
    while (pos) {
        CCfgNode* node = m_nodes.GetNext(pos);
        int type = GetCfgNodeType(node);
        if (type == cfgTypeSection) return nullptr;
        if (type == cfgTypeItem && node->GetItemName() == strItem) {
            if (pNext) *pNext = pos;
            return node;
        }
    }
    return nullptr;
}

// An id the table does not have reads as empty or 0, and a setter on it
// changes no value (it still marks the file, like every setter).

CString CCfgTreeFile::GetString(int nId) const
{
    CCfgNode* node = FindNode(nId);
    return node ? node->GetString() : CString();
}

CString CCfgTreeFile::GetString(int nItemId, int nIndex) const
{
    CCfgNode* node = FindValueNode(nItemId, nIndex);
    return node ? node->GetString() : CString();
}

BOOL CCfgTreeFile::GetBool(int nId) const
{
    CCfgNode* node = FindNode(nId);
    return node ? node->GetBool() : FALSE;
}

BOOL CCfgTreeFile::GetBool(int nItemId, int nIndex) const
{
    CCfgNode* node = FindValueNode(nItemId, nIndex);
    return node ? node->GetBool() : FALSE;
}

int CCfgTreeFile::GetNum(int nId) const
{
    CCfgNode* node = FindNode(nId);
    return node ? node->GetNum() : 0;
}

int CCfgTreeFile::GetNum(int nItemId, int nIndex) const
{
    CCfgNode* node = FindValueNode(nItemId, nIndex);
    return node ? node->GetNum() : 0;
}

void CCfgTreeFile::SetString(int nId, const CString& strValue)
{
    if (CCfgNode* node = FindNode(nId)) node->SetString(strValue);
    m_bModified = TRUE;
}

void CCfgTreeFile::SetString(int nItemId, int nIndex, const CString& strValue)
{
    if (CCfgNode* node = FindValueNode(nItemId, nIndex)) node->SetString(strValue);
    m_bModified = TRUE;
}

BOOL CCfgTreeFile::SetBool(int nId, BOOL bValue)
{
    CCfgNode* node = FindNode(nId);
    BOOL result = node ? node->SetBool(bValue) : FALSE;
    m_bModified = TRUE;
    return result;
}

BOOL CCfgTreeFile::SetBool(int nItemId, int nIndex, BOOL bValue)
{
    CCfgNode* node = FindValueNode(nItemId, nIndex);
    BOOL result = node ? node->SetBool(bValue) : FALSE;
    m_bModified = TRUE;
    return result;
}

int CCfgTreeFile::SetNum(int nId, int nValue)
{
    CCfgNode* node = FindNode(nId);
    int result = node ? node->SetNum(nValue) : 0;
    m_bModified = TRUE;
    return result;
}

int CCfgTreeFile::SetNum(int nItemId, int nIndex, int nValue)
{
    CCfgNode* node = FindValueNode(nItemId, nIndex);
    int result = node ? node->SetNum(nValue) : 0;
    m_bModified = TRUE;
    return result;
}
