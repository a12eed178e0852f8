// CCfgFile: reading the lines from disk and writing them back safely.
#include "cfgfile/cfg_file.h"
#include "framework/core/exceptions.h"
#include "framework/core/file.h"
#include "framework/core/file_system.h"

namespace {

// The temporary file a save writes first: beside the target, so that putting
// it in the target's place is a rename within one directory.
CString TempPathFor(const CString& strTarget)
{
    return strTarget + ".cwtmp";
}

} // namespace

int CCfgFile::Load(const CString& strPath)
{
    Reset();
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
        // Half a file must never be saved back over the whole one.
        m_lines.RemoveAll();
        m_strPath.Empty();
        return CFG_ERR_OPEN;
    }
    return CFG_OK;
}

int CCfgFile::Save()
{
    if (!m_strPath.IsEmpty() && !WriteLines(m_strPath)) return CFG_ERR_OPEN;
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
    // A file that may not be written stays as it is, even though renaming
    // over it might be allowed. Opening it for update changes nothing in it.
    if (CwFileExists(strPath)) {
        CFile existing;
        if (!existing.Open(strPath, CFile::modeReadWrite | CFile::typeBinary)) return FALSE;
        existing.Abort();
    }

    const CString temp = TempPathFor(strPath);
    CStdioFile file;
    if (!file.Open(temp, CFile::modeCreate | CFile::modeWrite | CFile::typeText)) return FALSE;
    try {
        for (POSITION pos = m_lines.GetHeadPosition(); pos;) {
            const CString& line = m_lines.GetNext(pos);
            // Written by length: a line may hold any byte.
            file.Write(line.str().data(), static_cast<UINT>(line.GetLength()));
            file.Write("\n", 1);
        }
        // A full disk shows at the flush or the close, not at the last write.
        file.Flush();
        file.Close();
    } catch (CException* e) {
        e->Delete();
        file.Abort();
        CwRemoveFile(temp);
        return FALSE;
    }
    if (!CwReplaceFile(temp, strPath)) {
        CwRemoveFile(temp);
        return FALSE;
    }
    return TRUE;
}
