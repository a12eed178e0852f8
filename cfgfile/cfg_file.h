// CCfgFile: a sectioned text configuration file held in memory as its lines,
// with section- and item-level access that changes only the lines it is
// asked to change, so everything else in the file survives a load and save.
#pragma once

#include "cfgfile/cfg_tokenizer.h"
#include "framework/core/cstring.h"
#include "framework/core/object.h"
#include "framework/core/string_list.h"

// Result codes of the library; GetErrorText gives their texts.
enum {
    CFG_OK = 0,
    CFG_ERR_OPEN = -1,
    CFG_ERR_NOT_FOUND = -2,
    CFG_ERR_NO_SECTION = -3,
    CFG_ERR_INDEX = -4,
    CFG_ERR_SYNTAX = -5,
    CFG_ERR_RANGE = -6,
    CFG_ERR_ITEM = -7
};

class CCfgFile : public CObject {
public:
    CCfgFile();
    // Writes the file back when it was changed and not saved.
    ~CCfgFile() override;
    CCfgFile(const CCfgFile&) = delete;
    CCfgFile& operator=(const CCfgFile&) = delete;

    // Writes the lines to the stored path in one safe replace (see
    // CwReplaceFileContents), so the old file stays whole when anything
    // fails. 0, or CFG_ERR_OPEN with the modified flag kept; also
    // CFG_ERR_OPEN after a Load that opened the file but could not read it.
    virtual int Save();
    // Reads every line of the file at the path, whatever its length.
    virtual int Load(const CString& strPath);

    int SaveAs(const CString& strPath);
    void Reset();

    int SelectSection(const CString& strName);
    int FindItem(const CString& strName);
    int FindSectionItem(const CString& strSection, const CString& strItem);
    int NextItem();
    // Replaces or adds an item line in the selected section. CFG_ERR_ITEM for
    // a line without a value, with a line feed, or that reads as a header.
    int SetItemLine(const CString& strLine, BOOL bAdd);
    // Replaces or adds an item line, creating the section at the end of the
    // file when it is missing (CFG_ERR_NO_SECTION when the name could not be
    // written as a header: it holds "]", ";" or a line feed).
    int SetItem(const CString& strSection, const CString& strLine, BOOL bAdd);
    int DeleteItem(BOOL bHeader);
    int DeleteSectionItems(const CString& strSection);
    int DeleteSection(const CString& strSection);

    CString GetToken(int nIndex) const;
    int GetInt(int nIndex, int* pnValue) const;
    int GetIntInRange(int nIndex, int* pnValue, int nMin, int nMax) const;

    int GetTokenCount() const { return m_nTokens; }
    BOOL IsModified() const { return m_bModified; }
    CString GetPath() const { return m_strPath; }

    static CString GetErrorText(int nCode);
    // Splits a line into at most 20 tokens (pTokens has room for 20) and
    // returns their number, also stored in *pnCount when given.
    static int Tokenize(const CString& strLine, CString* pTokens, int* pnCount);
    // TRUE for a "[name]" line; the name goes to *pstrName when given.
    static BOOL IsSectionHeader(const CString& strLine, CString* pstrName = nullptr);

protected:
    // Writes the lines to strPath in one safe replace; FALSE on any failure.
    BOOL WriteLines(const CString& strPath) const;
    // The line at pos becomes the current line; TRUE when it is a header.
    BOOL Examine(POSITION pos);

    BOOL m_bModified;
    // The last Load opened its file but could not read all of it: Save then
    // refuses to write over the file the stored path names.
    BOOL m_bReadFailed;
    int m_nTokens;
    POSITION m_posCursor;
    POSITION m_posSection;
    CString m_strTokens[CFG_MAX_TOKENS];
    CString m_strSection;
    CString m_strPath;
    CStringList m_lines;
    CString m_strLine;
};
