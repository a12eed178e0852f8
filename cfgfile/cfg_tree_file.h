// CCfgTreeFile: typed access to a configuration file whose layout is fixed by
// a descriptor table. The node tree holds the values; Parse fills them from
// the file's lines and Sync writes them back into their item lines.
#pragma once

#include "cfgfile/cfg_file.h"
#include "cfgfile/cfg_node.h"
#include "framework/core/ptr_list.h"

class CCfgTreeFile : public CCfgFile {
public:
    CCfgTreeFile();
    // Writes changed values back to the file, then frees the nodes.
    ~CCfgTreeFile() override;

    // Reads the file and fills the values from it; values the file lacks
    // keep their defaults and the file is written at once to hold them.
    // Always 0.
    int Load(const CString& strPath) override;
    // Write every value into its item line, then the lines to disk. A string
    // value that cannot be written so that it reads back as itself (it holds
    // a line feed, or a double quote together with a blank or comma) leaves
    // its item's old line as it is: the other lines are still written, the
    // result is CFG_ERR_ITEM and the modified flag stays set.
    int Save() override;
    int SaveAs(const CString& strPath);
    void Clear();
    int LoadAndSave(const CString& strPath);

    // Creates one node per table entry up to the cfgTypeEnd entry, which is
    // returned. The table is copied; no pointer into it is kept.
    const CFG_NODE_DESC* Build(const CFG_NODE_DESC* pDesc);
    void DeleteAllNodes();

    CCfgNode* FindNode(int nId, POSITION* pNext = nullptr) const;
    // The value node nIndex places into the values of the item with nItemId.
    CCfgNode* FindValueNode(int nItemId, int nIndex, POSITION* pNext = nullptr) const;
    CCfgNode* FindItemNode(const CString& strItem, const CString& strSection, POSITION* pNext = nullptr) const;

    // Typed access by the id of the value node, or by its item's id and the
    // value's 0-based index. Setters mark the file modified.
    CString GetString(int nId) const;
    CString GetString(int nItemId, int nIndex) const;
    BOOL GetBool(int nId) const;
    BOOL GetBool(int nItemId, int nIndex) const;
    int GetNum(int nId) const;
    int GetNum(int nItemId, int nIndex) const;
    void SetString(int nId, const CString& strValue);
    void SetString(int nItemId, int nIndex, const CString& strValue);
    BOOL SetBool(int nId, BOOL bValue);
    BOOL SetBool(int nItemId, int nIndex, BOOL bValue);
    int SetNum(int nId, int nValue);
    int SetNum(int nItemId, int nIndex, int nValue);

    int GetNodeCount() const { return static_cast<int>(m_nodes.GetCount()); }

protected:
    void Parse();
    // CFG_OK, or CFG_ERR_ITEM when a value could not be written (see Save).
    int Sync();

    CTypedPtrList<CPtrList, CCfgNode*> m_nodes;
};
