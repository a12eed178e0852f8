// Fuzz target: load arbitrary bytes as a configuration file, edit it with
// operations the bytes choose, save, and check that what was saved loads
// back the same; then run a small tree over it.
#include "cfgfile/cfg_file.h"
#include "cfgfile/cfg_tree_file.h"
#include "tests/support/raw_file.h"
#include "tests/support/string_list_view.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#define CHECK(cond)                                                                                                    \
    do {                                                                                                               \
        if (!(cond)) std::abort();                                                                                     \
    } while (0)

namespace {

class Probe : public CCfgFile {
public:
    std::vector<std::string> Lines() const { return ToVector(m_lines); }
    // Cursor and section, when set, name lines that are still in the list.
    void CheckPositions() const
    {
        bool cursorSeen = m_posCursor == nullptr, sectionSeen = m_posSection == nullptr;
        for (POSITION pos = m_lines.GetHeadPosition(); pos; m_lines.GetNext(pos)) {
            if (pos == m_posCursor) cursorSeen = true;
            if (pos == m_posSection) sectionSeen = true;
        }
        CHECK(cursorSeen && sectionSeen);
        if (m_posSection) CHECK(IsSectionHeader(m_lines.GetAt(m_posSection)));
        CHECK(m_nTokens >= 0 && m_nTokens <= CFG_MAX_TOKENS);
    }
    // A name taken from the file: a section's name or a line's first token.
    CString NameAt(unsigned k, bool section) const
    {
        if (m_lines.IsEmpty()) return CString("A");
        POSITION pos = m_lines.FindIndex(static_cast<INT_PTR>(k % m_lines.GetCount()));
        const CString& line = m_lines.GetAt(pos);
        CString name;
        if (section && IsSectionHeader(line, &name)) return name;
        CString tokens[CFG_MAX_TOKENS];
        return Tokenize(line, tokens, nullptr) > 0 ? tokens[0] : CString("A");
    }
};

// In memory where the machine has it: every save flushes its file and
// folder to the disk, which on a real disk would take most of the run.
std::string TempFile(const char* tag)
{
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
    return folder + "fuzz_cfg_edit_" + std::to_string(getpid()) + "_" + tag + ".cfg";
}

std::vector<std::string> LinesOf(const std::string& path)
{
    Probe p;
    CHECK(p.Load(CString(path.c_str())) == CFG_OK);
    return p.Lines();
}

void CheckCode(int code)
{
    CHECK(code <= 0 && code >= CFG_ERR_ITEM);
}

enum { ID_A = 1, ID_X, ID_X_NUM, ID_X_STR, ID_X_BOOL, ID_NET, ID_PORT, ID_PORT_V };

const CFG_NODE_DESC kTable[] = {
    {cfgTypeSection, ID_A, 0, 0, 0, "A"},        {cfgTypeItem, ID_X, 3, 0, 0, "x"},
    {cfgTypeNum, ID_X_NUM, -5, 500, 7, nullptr}, {cfgTypeString, ID_X_STR, 0, 0, 0, "dflt"},
    {cfgTypeBool, ID_X_BOOL, 0, 0, 1, nullptr},  {cfgTypeSection, ID_NET, 0, 0, 0, "Net"},
    {cfgTypeItem, ID_PORT, 1, 0, 0, "Port"},     {cfgTypeNum, ID_PORT_V, 0, 0, 8080, nullptr},
    {cfgTypeEnd, 0, 0, 0, 0, nullptr},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first bytes drive the edits, the rest is the file.
    const size_t nOps = size < 12 ? size : 12;
    const uint8_t* ops = data;
    const std::string input = TempFile("in"), saved = TempFile("saved"), again = TempFile("again");
    CHECK(WriteRaw(input, std::string(reinterpret_cast<const char*>(data + nOps), size - nOps)));

    Probe f;
    CHECK(f.Load(CString(input.c_str())) == CFG_OK);
    const std::vector<std::string> loaded = f.Lines();

    // Untouched: saving and loading gives the same lines back.
    CHECK(f.SaveAs(CString(saved.c_str())) == CFG_OK);
    CHECK(LinesOf(saved) == loaded);

    for (size_t k = 0; k < nOps; ++k) {
        const unsigned b = ops[k];
        const unsigned pick = k + 1 < nOps ? ops[k + 1] : b;
        const CString line = f.NameAt(pick, false) + " v" + CString(static_cast<char>('0' + b % 10));
        switch (b % 9) {
        case 0: CheckCode(f.SelectSection(f.NameAt(pick, true))); break;
        case 1: CheckCode(f.FindItem(f.NameAt(pick, false))); break;
        case 2: CheckCode(f.NextItem()); break;
        case 3: CheckCode(f.DeleteItem((b & 0x10) != 0)); break;
        case 4: CheckCode(f.SetItem(f.NameAt(pick, true), line, (b & 0x10) != 0)); break;
        case 5: CheckCode(f.DeleteSection(f.NameAt(pick, true))); break;
        case 6: CheckCode(f.DeleteSectionItems(f.NameAt(pick, true))); break;
        case 7: CheckCode(f.SetItemLine(line, (b & 0x10) != 0)); break;
        default: {
            int v = 0;
            CheckCode(f.GetIntInRange(b % 4, &v, -10, 10));
            break;
        }
        }
        f.CheckPositions();
    }

    // Edited: what is saved loads back as exactly the lines in memory, and
    // saving those again gives the same bytes.
    const std::vector<std::string> edited = f.Lines();
    CHECK(f.SaveAs(CString(saved.c_str())) == CFG_OK);
    CHECK(!f.IsModified());
    CHECK(LinesOf(saved) == edited);
    {
        Probe p;
        CHECK(p.Load(CString(saved.c_str())) == CFG_OK);
        CHECK(p.SaveAs(CString(again.c_str())) == CFG_OK);
    }
    CHECK(ReadRaw(saved) == ReadRaw(again));

    // A small tree over the edited file: after its save every item is
    // present, so a second load finds the same values and writes nothing.
    int num = 0, port = 0;
    BOOL flag = FALSE;
    CString text;
    {
        CCfgTreeFile tree;
        tree.Build(kTable);
        CHECK(tree.Load(CString(saved.c_str())) == CFG_OK);
        if (nOps > 0) tree.SetNum(ID_X, 0, static_cast<int8_t>(ops[0]) * 5);
        if (nOps > 1) tree.SetBool(ID_X_BOOL, ops[1] & 3);
        // Either a name from the file (any byte, a quote included, but never
        // a line feed) or the value the file itself gave: both must survive.
        if (nOps > 3 && (ops[3] & 1)) tree.SetString(ID_X_STR, f.NameAt(nOps > 2 ? ops[2] : 0, false));
        CHECK(tree.Save() == CFG_OK);
        num = tree.GetNum(ID_X_NUM);
        port = tree.GetNum(ID_PORT_V);
        flag = tree.GetBool(ID_X_BOOL);
        text = tree.GetString(ID_X, 1);
        CHECK(num >= -5 && num <= 500);
    }
    {
        CCfgTreeFile tree;
        tree.Build(kTable);
        CHECK(tree.Load(CString(saved.c_str())) == CFG_OK);
        CHECK(!tree.IsModified());
        CHECK(tree.GetNum(ID_X_NUM) == num && tree.GetNum(ID_PORT_V) == port);
        CHECK((tree.GetBool(ID_X_BOOL) != 0) == (flag != 0));
        CHECK(tree.GetString(ID_X_STR) == text);
    }

    std::remove(input.c_str());
    std::remove(saved.c_str());
    std::remove(again.c_str());
    return 0;
}
