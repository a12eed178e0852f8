// The typed nodes of a configuration tree: one section, item or value each,
// built from the owner's static descriptor table and kept in one flat list.
#pragma once

#include "framework/core/cstring.h"
#include "framework/core/object.h"

// Node type codes, as GetCfgNodeType reports them and as descriptor tables
// spell them. The numeric type is 3 and the boolean type is 4.
enum { cfgTypeEnd = -1, cfgTypeSection = 0, cfgTypeItem = 1, cfgTypeString = 2, cfgTypeNum = 3, cfgTypeBool = 4 };

// One entry of a descriptor table; a table ends with an entry of type
// cfgTypeEnd. What the params mean depends on the type:
//   item: param1 = number of value entries that follow it;
//   num:  param1 = minimum, param2 = maximum, param3 = default;
//   bool: param3 = default (0 or 1).
// text is the section name, the item name or a string's default.
struct CFG_NODE_DESC {
    int nType;
    int nId;
    int nParam1;
    int nParam2;
    int nParam3;
    LPCSTR pszText;
};

// Base of every node: answers every query with an empty result and ignores
// every setter, so a caller asking the wrong kind of node gets "" or 0.
class CCfgNode : public CObject {
    DECLARE_DYNAMIC(CCfgNode)
public:
    explicit CCfgNode(int nId) : m_nId(nId) {}

    int GetId() const { return m_nId; }

    virtual CString GetSectionName() const;
    virtual CString GetItemName() const;
    virtual int GetCount() const;
    virtual CString GetString() const;
    virtual void SetString(const CString& strValue);
    virtual BOOL GetBool() const;
    virtual BOOL SetBool(BOOL bValue);
    virtual int GetNum() const;
    virtual int SetNum(int nValue);

protected:
    int m_nId;
};

class CCfgNodeSection : public CCfgNode {
    DECLARE_DYNAMIC(CCfgNodeSection)
public:
    CCfgNodeSection(int nId, LPCSTR pszName) : CCfgNode(nId), m_strName(pszName) {}
    CString GetSectionName() const override { return m_strName; }

protected:
    CString m_strName;
};

class CCfgNodeItem : public CCfgNode {
    DECLARE_DYNAMIC(CCfgNodeItem)
public:
    CCfgNodeItem(int nId, LPCSTR pszName, int nCount) : CCfgNode(nId), m_strName(pszName), m_nCount(nCount) {}
    CString GetItemName() const override { return m_strName; }
    int GetCount() const override { return m_nCount; }

protected:
    CString m_strName;
    int m_nCount;
};

class CCfgNodeString : public CCfgNode {
    DECLARE_DYNAMIC(CCfgNodeString)
public:
    CCfgNodeString(int nId, LPCSTR pszDefault) : CCfgNode(nId), m_strValue(pszDefault) {}
    CString GetString() const override { return m_strValue; }
    void SetString(const CString& strValue) override { m_strValue = strValue; }

protected:
    CString m_strValue;
};

class CCfgNodeBool : public CCfgNode {
    DECLARE_DYNAMIC(CCfgNodeBool)
public:
    CCfgNodeBool(int nId, BOOL bDefault) : CCfgNode(nId), m_bValue(bDefault) {}
    BOOL GetBool() const override { return m_bValue; }
    // Any non-zero value is true; it is kept as given, not turned into 1.
    BOOL SetBool(BOOL bValue) override
    {
        m_bValue = bValue;
        return m_bValue;
    }

protected:
    BOOL m_bValue;
};

class CCfgNodeNum : public CCfgNode {
    DECLARE_DYNAMIC(CCfgNodeNum)
public:
    // The default passes through the same clamping as SetNum.
    CCfgNodeNum(int nId, int nDefault, int nMax, int nMin);
    int GetNum() const override { return m_nValue; }
    int SetNum(int nValue) override;

    int GetMax() const { return m_nMax; }
    int GetMin() const { return m_nMin; }

protected:
    int m_nValue;
    int m_nMax;
    int m_nMin;
};

// The node's type code by kind test, in the order section, item, string,
// num, bool; -1 (cfgTypeEnd) for anything else, a null pointer included.
int GetCfgNodeType(const CCfgNode* pNode);
