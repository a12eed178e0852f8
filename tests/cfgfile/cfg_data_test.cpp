// File-driven cases: each input under data/ sits next to the bytes a save
// must produce from it.
#include "cfg_test_util.h"
#include "cfg_tree_table.h"
#include "cfgfile/cfg_tree_file.h"

using namespace cfgtest;

namespace {

class CfgRoundTripTest : public ::testing::TestWithParam<const char*> {};
class CfgTreeDataTest : public ::testing::TestWithParam<const char*> {};

std::string Input(const std::string& name)
{
    std::string bytes = ReadRaw(TestDataPath(name));
    EXPECT_FALSE(bytes.empty() && name.find("empty") == std::string::npos)
        << "missing test data " << TestDataPath(name);
    return bytes;
}

} // namespace

// Load and save without touching anything: every line comes back, whole.
TEST_P(CfgRoundTripTest, UntouchedFileSavesBackLineForLine)
{
    const std::string name = GetParam();
    std::string path = CfgTempPath("data_" + name + ".cfg");
    ASSERT_TRUE(WriteRaw(path, Input("roundtrip/" + name + ".cfg")));
    CCfgFile file;
    ASSERT_EQ(file.Load(CString(path.c_str())), CFG_OK);
    ASSERT_EQ(file.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), Input("roundtrip/" + name + ".expected"));
}

INSTANTIATE_TEST_SUITE_P(Data, CfgRoundTripTest,
                         ::testing::Values("blank_lines", "long_lines", "bad_sections", "mixed_endings"));

// Load through the shared table, change one value, save.
TEST_P(CfgTreeDataTest, LoadChangeAndSave)
{
    const std::string name = GetParam();
    std::string path = CfgTempPath("data_tree_" + name + ".cfg");
    ASSERT_TRUE(WriteRaw(path, Input("tree/" + name + ".cfg")));
    CCfgTreeFile tree;
    tree.Build(kTreeTable);
    ASSERT_EQ(tree.Load(CString(path.c_str())), CFG_OK);
    tree.SetNum(ID_TIMEOUT_V, 45);
    ASSERT_EQ(tree.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), Input("tree/" + name + ".expected"));

    // What was saved loads to the same values and saves to the same bytes.
    CCfgTreeFile again;
    again.Build(kTreeTable);
    ASSERT_EQ(again.Load(CString(path.c_str())), CFG_OK);
    EXPECT_FALSE(again.IsModified());
    EXPECT_EQ(again.GetNum(ID_TIMEOUT_V), 45);
    ASSERT_EQ(again.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), Input("tree/" + name + ".expected"));
}

INSTANTIATE_TEST_SUITE_P(Data, CfgTreeDataTest, ::testing::Values("empty", "comments", "partial"));
