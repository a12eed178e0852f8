// CCfgFile: reading the lines from disk and writing them back safely.
#include "cfgfile/cfg_file.h"
#include "framework/core/exceptions.h"
#include "framework/core/file.h"
#include "framework/core/file_system.h"

#include <string>

int CCfgFile::Load(const CString& strPath)
{
    Reset();
    m_bReadFailed = FALSE;
    CString full;
    if (!CwFullPath(strPath, full)) {
        // Forget any earlier path too: a later save must not write these
        // (empty) lines over some other file.
        m_strPath.Empty();
        return CFG_ERR_OPEN;
    }
    m_strPath = full;

    CStdioFile file;
    if (!file.Open(full, CFile::modeRead | CFile::typeText)) return CFG_ERR_OPEN;
    try {
        // Whole lines, however long and however many: an untouched file
        // loads and saves back line for line.
        CString line;
        while (file.ReadString(line)) {
            line.TrimRight();
            m_lines.AddTail(line);
        }
        file.Close();
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        // Half a file must never be saved back over the whole one. The path
        // stays, so that a save says it failed instead of writing nothing
        // and calling that success.
        m_lines.RemoveAll();
        m_bReadFailed = TRUE;
        return CFG_ERR_OPEN;
    }
    return CFG_OK;
}

int CCfgFile::Save()
{
    if (m_strPath.IsEmpty()) {
        m_bModified = FALSE;
        return CFG_OK;
    }
    // The file could be opened but not read (on POSIX a folder opens too):
    // what is in memory is not what is there, and must not replace it.
    if (m_bReadFailed || !WriteLines(m_strPath)) return CFG_ERR_OPEN;
    m_bModified = FALSE;
    return CFG_OK;
}

int CCfgFile::SaveAs(const CString& strPath)
{
    if (!strPath.IsEmpty() && !WriteLines(strPath)) return CFG_ERR_OPEN;
    m_bModified = FALSE;
    return CFG_OK;
}

BOOL CCfgFile::WriteLines(const CString& strPath) const
{
    // The disk form of text mode: each line ends with CR LF. A line may hold
    // any byte, so it is copied by length.
    std::string text;
    for (POSITION pos = m_lines.GetHeadPosition(); pos;) {
        text += m_lines.GetNext(pos).str();
        text += "\r\n";
    }
    return CwReplaceFileContents(strPath, text.data(), text.size());
}
