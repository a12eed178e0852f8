// CCfgTreeFile: values parsed from the file, synced back into their lines,
// with defaults, comments, extra tokens and the automatic save.
#include "cfg_test_util.h"
#include "cfg_tree_table.h"
#include "cfgfile/cfg_tree_file.h"

using namespace cfgtest;
using V = std::vector<std::string>;

namespace {

// A tree file over the shared table whose lines a test can look at.
class TreeProbe : public CCfgTreeFile {
public:
    TreeProbe() { Build(kTreeTable); }
    V Lines() const { return ToVector(m_lines); }
};

std::string Fresh(const std::string& name, const V& lines)
{
    std::string path = CfgTempPath(name);
    EXPECT_TRUE(WriteRaw(path, CrLf(lines)));
    return path;
}

// The full default file with one line replaced.
V DefaultsWith(const std::string& prefix, const std::string& line)
{
    V lines = DefaultLines();
    for (std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) l = line;
    return lines;
}

} // namespace

TEST(CfgTreeFileTest, LoadOfAMissingFileCreatesItWithTheDefaults)
{
    std::string path = CfgTempPath("tree_missing.cfg");
    TreeProbe tree;
    EXPECT_EQ(tree.Load(CString(path.c_str())), CFG_OK);
    EXPECT_EQ(tree.GetNum(ID_PORT_V), 8080);
    EXPECT_STREQ(tree.GetString(ID_TITLE_V), "Cloakwall");
    EXPECT_EQ(tree.GetBool(ID_FLAGS_B), TRUE);
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultLines()));
    EXPECT_FALSE(tree.IsModified());
}

TEST(CfgTreeFileTest, LoadOfACompleteFileWritesNothing)
{
    // LF line ends: a rewrite would turn them into CR LF.
    std::string path = CfgTempPath("tree_complete.cfg");
    std::string text = "[Net]\nPort 81\nProxy \"p:1\",0\nTimeout 5\n[Ui]\nTitle \"T\"\nFlags t,F,12\n";
    ASSERT_TRUE(WriteRaw(path, text));
    {
        TreeProbe tree;
        EXPECT_EQ(tree.Load(CString(path.c_str())), CFG_OK);
        EXPECT_FALSE(tree.IsModified());
        EXPECT_EQ(tree.GetNum(ID_PORT_V), 81);
        EXPECT_STREQ(tree.GetString(ID_PROXY_HOST), "p:1");
        EXPECT_EQ(tree.GetBool(ID_PROXY_ON), FALSE);
        EXPECT_EQ(tree.GetNum(ID_TIMEOUT_V), 5);
        EXPECT_STREQ(tree.GetString(ID_TITLE_V), "T");
        EXPECT_EQ(tree.GetBool(ID_FLAGS_A), TRUE);
        EXPECT_EQ(tree.GetBool(ID_FLAGS_B), FALSE);
        EXPECT_EQ(tree.GetNum(ID_FLAGS_LEVEL), 9) << "read values are clamped";
    }
    EXPECT_EQ(ReadRaw(path), text) << "neither Load nor the destructor wrote";
}

TEST(CfgTreeFileTest, MissingItemsAreAddedAndEverythingElseIsKept)
{
    std::string path =
        Fresh("tree_partial.cfg", {"; my settings", "[Net]", "", "Port 99 ;mine", "Other x,y", "", "[Extra]", "k v"});
    TreeProbe tree;
    tree.Load(CString(path.c_str()));
    EXPECT_EQ(tree.GetNum(ID_PORT_V), 99);
    EXPECT_EQ(ReadRaw(path),
              CrLf({"; my settings", "[Net]", "Timeout 30", "Proxy \"host:3128\",1", "", "Port 99 ;mine", "Other x,y",
                    "", "[Extra]", "k v", "", "[Ui]", "Flags 0,1,3", "Title \"Cloakwall\""}));
}

TEST(CfgTreeFileTest, ValuesThatDoNotReadKeepTheirDefaultsSilently)
{
    std::string path =
        Fresh("tree_bad.cfg", {"[Net]", "Port abc", "Proxy", "Timeout -5", "[Ui]", "Title", "Flags yes,,x1"});
    TreeProbe tree;
    tree.Load(CString(path.c_str()));
    EXPECT_FALSE(tree.IsModified()) << "all items are present, so nothing is written";
    EXPECT_EQ(tree.GetNum(ID_PORT_V), 8080);
    EXPECT_STREQ(tree.GetString(ID_PROXY_HOST), "host:3128") << "a line without values leaves the defaults";
    EXPECT_EQ(tree.GetNum(ID_TIMEOUT_V), -5) << "no range without two non-zero limits";
    EXPECT_EQ(tree.GetBool(ID_FLAGS_A), FALSE);
    EXPECT_EQ(tree.GetBool(ID_FLAGS_B), TRUE) << "an empty token is no boolean";
    EXPECT_EQ(tree.GetNum(ID_FLAGS_LEVEL), 3);
}

TEST(CfgTreeFileTest, BoolTokenForms)
{
    struct Case {
        const char* token;
        BOOL start;
        BOOL expected;
    };
    const Case cases[] = {
        {"yes", 1, 1}, {"yes", 0, 0}, {"t", 0, 1},  {"True", 0, 1},  {"TRUE", 0, 1},  {"-1", 0, 1},
        {"7", 0, 1},   {"0", 1, 0},   {"f", 1, 0},  {"false", 1, 0}, {"FaLsE", 1, 0}, {"Tr", 1, 1},
        {"Tr", 0, 0},  {"2x", 0, 1},  {" 0", 1, 0}, {"\"T\"", 0, 1},
    };
    for (const Case& c : cases) {
        std::string path = Fresh("tree_bool.cfg", {"[Net]", "Port 1", "Proxy \"h\"," + std::string(c.token),
                                                   "Timeout 1", "[Ui]", "Title x", "Flags 0"});
        CCfgTreeFile tree;
        const CFG_NODE_DESC table[] = {
            {cfgTypeSection, 1, 0, 0, 0, "Net"}, {cfgTypeItem, 2, 2, 0, 0, "Proxy"},
            {cfgTypeString, 3, 0, 0, 0, ""},     {cfgTypeBool, 4, 0, 0, c.start, nullptr},
            {cfgTypeEnd, 0, 0, 0, 0, nullptr},
        };
        tree.Build(table);
        tree.Load(CString(path.c_str()));
        EXPECT_EQ(tree.GetBool(4) != 0, c.expected != 0) << "token " << c.token << " from " << c.start;
    }
}

TEST(CfgTreeFileTest, SyncRewritesValuesAndKeepsExtraTokensAndTheComment)
{
    std::string path = Fresh("tree_sync.cfg", DefaultsWith("Timeout", "Timeout 5,7 ;seconds"));
    TreeProbe tree;
    tree.Load(CString(path.c_str()));
    EXPECT_EQ(tree.GetNum(ID_TIMEOUT_V), 5);
    tree.SetNum(ID_TIMEOUT_V, 9);
    ASSERT_EQ(tree.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Timeout", "Timeout 9,7 ;seconds")));
}

TEST(CfgTreeFileTest, SyncKeepsTheWholeComment)
{
    std::string path =
        Fresh("tree_comment.cfg", DefaultsWith("Timeout", "Timeout 5 ;in seconds, \"quoted  text\"  ;more"));
    TreeProbe tree;
    tree.Load(CString(path.c_str()));
    tree.SetNum(ID_TIMEOUT_V, 9);
    ASSERT_EQ(tree.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Timeout", "Timeout 9 ;in seconds, \"quoted  text\"  ;more")))
        << "from the first ';' token to the end of the line, as written";

    // Saving again does not grow or change the line.
    tree.SetNum(ID_TIMEOUT_V, 10);
    ASSERT_EQ(tree.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Timeout", "Timeout 10 ;in seconds, \"quoted  text\"  ;more")));
}

TEST(CfgTreeFileTest, CommentBeyondTheTokenLimitAndQuotedExtrasSurvive)
{
    std::string many;
    for (int k = 0; k < 24; ++k) many += ",e" + std::to_string(k);
    std::string old = "Timeout 5" + many + " ;note";
    std::string path = Fresh("tree_many.cfg", DefaultsWith("Timeout", old));
    TreeProbe tree;
    tree.Load(CString(path.c_str()));
    tree.SetNum(ID_TIMEOUT_V, 6);
    ASSERT_EQ(tree.Save(), CFG_OK);
    std::string kept;
    for (int k = 0; k < 18; ++k) kept += ",e" + std::to_string(k);
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Timeout", "Timeout 6" + kept + " ;note")))
        << "extra tokens up to the 20th are kept and the comment is never lost";

    std::string quoted =
        Fresh("tree_quoted.cfg", DefaultsWith("Proxy", "Proxy \"a\",1,\"x, y\" , ,z,\"; not\" tail ;c \"d\""));
    TreeProbe q;
    q.Load(CString(quoted.c_str()));
    q.SetString(ID_PROXY_HOST, "b b");
    ASSERT_EQ(q.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(quoted), CrLf(DefaultsWith("Proxy", "Proxy \"b b\",1,\"x, y\",,z \"; not\" tail ;c \"d\"")))
        << "a quoted extra keeps its quotes; a quoted ';' token starts the comment";
    CCfgFile reread;
    ASSERT_EQ(reread.Load(CString(quoted.c_str())), CFG_OK);
    ASSERT_EQ(reread.FindSectionItem("Net", "Proxy"), CFG_OK);
    EXPECT_EQ(reread.GetTokenCount(), 10);
    EXPECT_STREQ(reread.GetToken(3), "x, y");
    EXPECT_STREQ(reread.GetToken(4), "");
    EXPECT_STREQ(reread.GetToken(5), "z");
    EXPECT_STREQ(reread.GetToken(6), "; not");
}

TEST(CfgTreeFileTest, AnItemWithoutValuesIsMissingOnEveryLoad)
{
    const CFG_NODE_DESC table[] = {
        {cfgTypeSection, 1, 0, 0, 0, "S"}, {cfgTypeItem, 2, 0, 0, 0, "Bare"}, {cfgTypeItem, 3, 1, 0, 0, "N"},
        {cfgTypeNum, 4, 0, 0, 5, nullptr}, {cfgTypeEnd, 0, 0, 0, 0, nullptr},
    };
    std::string path = Fresh("tree_bare.cfg", {"[S]", "Bare", "N 5"});
    CCfgTreeFile tree;
    tree.Build(table);
    tree.Load(CString(path.c_str()));
    EXPECT_FALSE(tree.IsModified()) << "a line holding only the name counts as present";

    ASSERT_TRUE(WriteRaw(path, "[S]\nN 5\n"));
    CCfgTreeFile again;
    again.Build(table);
    again.Load(CString(path.c_str()));
    EXPECT_EQ(ReadRaw(path), CrLf({"[S]", "N 5"})) << "rewritten, without the bare item";
}

TEST(CfgTreeFileTest, DestructorWritesOnlyAfterAChange)
{
    std::string path = Fresh("tree_dtor.cfg", DefaultLines());
    ASSERT_TRUE(WriteRaw(path, "[Net]\nPort 1\nProxy \"h\",1\nTimeout 2\n[Ui]\nTitle \"t\"\nFlags 1,1,1\n"));
    {
        TreeProbe tree;
        tree.Load(CString(path.c_str()));
    }
    EXPECT_EQ(ReadRaw(path), "[Net]\nPort 1\nProxy \"h\",1\nTimeout 2\n[Ui]\nTitle \"t\"\nFlags 1,1,1\n");
    {
        TreeProbe tree;
        tree.Load(CString(path.c_str()));
        tree.SetBool(ID_FLAGS, 0, FALSE);
    }
    EXPECT_EQ(ReadRaw(path),
              CrLf({"[Net]", "Port 1", "Proxy \"h\",1", "Timeout 2", "[Ui]", "Title \"t\"", "Flags 0,1,1"}));
}

TEST(CfgTreeFileTest, FailedSaveKeepsValuesAndTheModifiedFlag)
{
    std::string path = CfgTempPath("no_such_dir_tree/x.cfg");
    TreeProbe tree;
    EXPECT_EQ(tree.Load(CString(path.c_str())), CFG_OK) << "Load never fails";
    EXPECT_TRUE(tree.IsModified()) << "the immediate save of the defaults failed";
    tree.SetNum(ID_PORT_V, 81);
    EXPECT_EQ(tree.Save(), CFG_ERR_OPEN);
    EXPECT_EQ(tree.SaveAs(CString(path.c_str())), CFG_ERR_OPEN);
    EXPECT_TRUE(tree.IsModified());
    EXPECT_EQ(tree.GetNum(ID_PORT_V), 81);

    std::string elsewhere = CfgTempPath("tree_saveas.cfg");
    ASSERT_EQ(tree.SaveAs(CString(elsewhere.c_str())), CFG_OK);
    EXPECT_EQ(ReadRaw(elsewhere), CrLf(DefaultsWith("Port", "Port 81")));
    tree.Clear();
}

TEST(CfgTreeFileTest, ClearAndLoadAndSave)
{
    std::string path = Fresh("tree_las.cfg", {"[Net]", "Port 2"});
    TreeProbe tree;
    EXPECT_EQ(tree.LoadAndSave(CString(path.c_str())), CFG_OK);
    EXPECT_EQ(tree.GetNum(ID_PORT_V), 2);
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Port", "Port 2")));
    tree.SetNum(ID_PORT_V, 3);
    tree.Clear();
    EXPECT_EQ(tree.GetNodeCount(), 0);
    EXPECT_TRUE(tree.Lines().empty());
    EXPECT_FALSE(tree.IsModified());
    EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Port", "Port 2"))) << "Clear drops unsaved changes";
}

TEST(CfgTreeFileTest, StringValuesReadFromAFileRoundTripQuotesIncluded)
{
    // A quote inside a bare token is an ordinary character; written back in
    // quotes it would end the token early and shift the boolean after it.
    std::string path = Fresh("tree_strings.cfg", DefaultsWith("Proxy", "Proxy say\"hi\",0"));
    {
        TreeProbe tree;
        tree.Load(CString(path.c_str()));
        ASSERT_STREQ(tree.GetString(ID_PROXY_HOST), "say\"hi\"");
        tree.SetString(ID_TITLE_V, " lead, comma ;semi ");
        tree.SetNum(ID_PORT_V, 81);
        EXPECT_EQ(tree.Save(), CFG_OK);
    }
    TreeProbe back;
    back.Load(CString(path.c_str()));
    EXPECT_FALSE(back.IsModified());
    EXPECT_STREQ(back.GetString(ID_PROXY_HOST), "say\"hi\"");
    EXPECT_EQ(back.GetBool(ID_PROXY_ON), FALSE) << "the value after the quoted one reads back as it was";
    EXPECT_STREQ(back.GetString(ID_TITLE_V), " lead, comma ;semi ");
    EXPECT_EQ(back.GetNum(ID_PORT_V), 81);
}

TEST(CfgTreeFileTest, AStringValueThatCannotBeWrittenIsReportedAndKeptPending)
{
    // A line feed would split the line and plant another item; a quote next
    // to a blank has no written form that reads back. Either way the item
    // keeps its old line, the rest is written, and Save says so.
    for (const char* value : {"evil\nPort 1", "say \"hi\""}) {
        std::string path = Fresh("tree_unwritable.cfg", DefaultLines());
        {
            TreeProbe tree;
            tree.Load(CString(path.c_str()));
            tree.SetString(ID_PROXY_HOST, value);
            tree.SetNum(ID_TIMEOUT_V, 45);
            EXPECT_EQ(tree.Save(), CFG_ERR_ITEM) << value;
            EXPECT_TRUE(tree.IsModified()) << value;
            EXPECT_STREQ(tree.GetString(ID_PROXY_HOST), value) << "the value stays in memory";
        }
        EXPECT_EQ(ReadRaw(path), CrLf(DefaultsWith("Timeout", "Timeout 45")))
            << "the Proxy line keeps its old value; the other items are written";
        TreeProbe back;
        back.Load(CString(path.c_str()));
        EXPECT_EQ(back.GetNum(ID_PORT_V), 8080);
        EXPECT_STREQ(back.GetString(ID_PROXY_HOST), "host:3128");
    }
}
