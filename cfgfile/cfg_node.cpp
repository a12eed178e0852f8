// The node classes' defaults, the numeric clamping and the type codes.
#include "cfgfile/cfg_node.h"

IMPLEMENT_DYNAMIC(CCfgNode, CObject)
IMPLEMENT_DYNAMIC(CCfgNodeSection, CCfgNode)
IMPLEMENT_DYNAMIC(CCfgNodeItem, CCfgNode)
IMPLEMENT_DYNAMIC(CCfgNodeString, CCfgNode)
IMPLEMENT_DYNAMIC(CCfgNodeBool, CCfgNode)
IMPLEMENT_DYNAMIC(CCfgNodeNum, CCfgNode)

CString CCfgNode::GetSectionName() const
{
    return CString();
}
CString CCfgNode::GetItemName() const
{
    return CString();
}
int CCfgNode::GetCount() const
{
    return 0;
}
CString CCfgNode::GetString() const
{
    return CString();
}
void CCfgNode::SetString(const CString&)
{
}
BOOL CCfgNode::GetBool() const
{
    return FALSE;
}
BOOL CCfgNode::SetBool(BOOL)
{
    return FALSE;
}
int CCfgNode::GetNum() const
{
    return 0;
}
int CCfgNode::SetNum(int)
{
    return 0;
}

CCfgNodeNum::CCfgNodeNum(int nId, int nDefault, int nMax, int nMin)
    : CCfgNode(nId), m_nValue(0), m_nMax(nMax), m_nMin(nMin)
{
    SetNum(nDefault);
}

int CCfgNodeNum::SetNum(int nValue)
{
    // A limit of 0 switches range checking off, so a table can leave a
    // number unbounded by giving 0 for either limit.
    if (m_nMin != 0 && m_nMax != 0) {
        if (nValue < m_nMin) nValue = m_nMin;
        if (nValue > m_nMax) nValue = m_nMax;
    }
    m_nValue = nValue;
    return m_nValue;
}

int GetCfgNodeType(const CCfgNode* pNode)
{
    if (!pNode) return cfgTypeEnd;
    if (pNode->IsKindOf(RUNTIME_CLASS(CCfgNodeSection))) return cfgTypeSection;
    if (pNode->IsKindOf(RUNTIME_CLASS(CCfgNodeItem))) return cfgTypeItem;
    if (pNode->IsKindOf(RUNTIME_CLASS(CCfgNodeString))) return cfgTypeString;
    if (pNode->IsKindOf(RUNTIME_CLASS(CCfgNodeNum))) return cfgTypeNum;
    if (pNode->IsKindOf(RUNTIME_CLASS(CCfgNodeBool))) return cfgTypeBool;
    return cfgTypeEnd;
}
