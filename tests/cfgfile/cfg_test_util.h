// Helpers shared by the configuration library's tests: scratch files, raw
// file contents, the test-data folder and a view of a file object's lines.
#pragma once

#include "cfgfile/cfg_file.h"

#include <gtest/gtest.h>

#include "support/raw_file.h"
#include "support/string_list_view.h"
#include "support/temp_path.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace cfgtest {

using ::ReadRaw;
using ::WriteRaw;

// A fresh path in the test's temporary folder; any old file there, or a
// save's temporary beside it, is removed.
inline std::string CfgTempPath(const std::string& name)
{
    std::string path = ::TempPath(name);
    std::remove((path + ".cwtmp").c_str());
    return path;
}

inline bool Exists(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

// The lines joined with CR LF after each, as a save writes them.
inline std::string CrLf(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines) out += line + "\r\n";
    return out;
}

// A file under tests/ (CW_TESTDATA); under Wine the Unix path is reached
// through drive Z:, which maps the root.
inline std::string TestDataPath(const std::string& relative)
{
    const char* root = std::getenv("CW_TESTDATA");
    std::string path = root ? root : "tests";
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    return path + "/cfgfile/data/" + relative;
}

// A CCfgFile whose lines, cursor and section a test can look at.
class FileProbe : public CCfgFile {
public:
    std::vector<std::string> Lines() const { return ToVector(m_lines); }
    void SetLines(const std::vector<std::string>& lines)
    {
        Reset();
        for (const std::string& line : lines) m_lines.AddTail(CString(line));
    }
    bool HasSection() const { return m_posSection != nullptr; }
    bool CursorPastEnd() const { return m_posCursor == nullptr; }
    CString CursorLine() const { return m_posCursor ? m_lines.GetAt(m_posCursor) : CString("<end>"); }
    CString CurrentLine() const { return m_strLine; }
    CString SectionName() const { return m_strSection; }
};

} // namespace cfgtest
