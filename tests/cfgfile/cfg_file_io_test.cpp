// Loading and saving: every line comes back whole, and a save that fails
// leaves the old file as it was.
#include "cfg_test_util.h"
#include "cfgfile/cfg_tree_file.h"
#include "framework/core/file_system.h"
#include "support/folder_listing.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using cfgtest::CfgTempPath;
using cfgtest::CrLf;
using cfgtest::FileProbe;
using cfgtest::LeftOversBeside;
using cfgtest::ReadRaw;
using cfgtest::WriteRaw;
using V = std::vector<std::string>;

TEST(CfgFileLoadTest, ReadsLinesTrimmedOnTheRightOnly)
{
    std::string path = CfgTempPath("load_basic.cfg");
    ASSERT_TRUE(WriteRaw(path, "  lead kept\r\n[Main] \t\r\nPort 8080   \nlast"));
    FileProbe f;
    ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"  lead kept", "[Main]", "Port 8080", "last"}));
    EXPECT_FALSE(f.IsModified());
    EXPECT_FALSE(f.GetPath().IsEmpty());
}

TEST(CfgFileLoadTest, LongLinesAndManyLinesSurviveWhole)
{
    // Lines of 511, 512 and 600 bytes and 6000 lines in all: nothing is split
    // and nothing is dropped.
    std::vector<std::string> lines = {"[Big]", std::string(511, 'a'), "b " + std::string(510, 'b'),
                                      "c " + std::string(598, 'c'), std::string(100000, 'd')};
    while (lines.size() < 6000) lines.push_back("item" + std::to_string(lines.size()) + " 1");
    lines.push_back("tail 1");
    std::string path = CfgTempPath("load_long.cfg");
    ASSERT_TRUE(WriteRaw(path, CrLf(lines)));

    FileProbe f;
    ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    EXPECT_EQ(f.Lines(), lines);
    ASSERT_EQ(f.FindSectionItem("Big", "tail"), CFG_OK) << "the last of 6001 lines is reachable";
    ASSERT_EQ(f.FindSectionItem("Big", "c"), CFG_OK);
    EXPECT_EQ(f.GetToken(1).GetLength(), 598);

    std::string copy = CfgTempPath("load_long_copy.cfg");
    ASSERT_EQ(f.SaveAs(CString(copy.c_str())), CFG_OK);
    EXPECT_EQ(ReadRaw(copy), CrLf(lines)) << "an untouched file saves back line for line";
}

TEST(CfgFileLoadTest, AnyByteInALineIsKept)
{
    std::string line("x \x01\x7f\xff mid\rcr");
    line += std::string("\0nul", 4);
    std::string path = CfgTempPath("load_bytes.cfg");
    ASSERT_TRUE(WriteRaw(path, line + "\r\n"));
    FileProbe f;
    ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    ASSERT_EQ(f.Lines().size(), 1u);
    EXPECT_EQ(f.Lines()[0], line);
    ASSERT_EQ(f.SaveAs(CString(path.c_str())), CFG_OK);
    EXPECT_EQ(ReadRaw(path), line + "\r\n");
}

TEST(CfgFileLoadTest, MissingFileKeepsItsPathForCreation)
{
    std::string path = CfgTempPath("load_missing.cfg");
    FileProbe f;
    f.SetLines({"old"});
    EXPECT_EQ(f.Load(CString(path.c_str())), CFG_ERR_OPEN);
    EXPECT_TRUE(f.Lines().empty());
    EXPECT_FALSE(f.GetPath().IsEmpty());
    ASSERT_EQ(f.SetItem("S", "k v", FALSE), CFG_OK);
    ASSERT_EQ(f.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), CrLf({"[S]", "k v"}));
}

TEST(CfgFileLoadTest, APathThatCannotBeMadeFullForgetsTheOldOne)
{
    std::string good = CfgTempPath("load_good.cfg");
    ASSERT_TRUE(WriteRaw(good, "[S]\r\nk v\r\n"));
    FileProbe f;
    ASSERT_EQ(f.Load(CString(good.c_str())), CFG_OK);
    EXPECT_EQ(f.Load(CString(std::string(400, 'p').c_str())), CFG_ERR_OPEN);
    EXPECT_TRUE(f.GetPath().IsEmpty());
    EXPECT_EQ(f.Load(""), CFG_ERR_OPEN);
    ASSERT_EQ(f.SetItem("T", "a b", FALSE), CFG_OK);
    EXPECT_EQ(f.Save(), CFG_OK) << "no stored path: nothing written";
    EXPECT_FALSE(f.IsModified());
    EXPECT_EQ(ReadRaw(good), "[S]\r\nk v\r\n") << "the file loaded before was not overwritten";
}

TEST(CfgFileSaveTest, WritesCrLfAfterEveryLineAndClearsModified)
{
    std::string path = CfgTempPath("save_basic.cfg");
    FileProbe f;
    f.SetLines({"", "[A]", "x 1", ""});
    f.SetItem("A", "y 2", FALSE);
    ASSERT_TRUE(f.IsModified());
    ASSERT_EQ(f.SaveAs(CString(path.c_str())), CFG_OK);
    EXPECT_FALSE(f.IsModified());
    EXPECT_EQ(ReadRaw(path), "\r\n[A]\r\ny 2\r\nx 1\r\n\r\n");
    EXPECT_TRUE(f.GetPath().IsEmpty()) << "SaveAs does not store the path";
    EXPECT_EQ(LeftOversBeside(path), V{}) << "no temporary file is left";

    f.SetItem("A", "z 3", FALSE);
    EXPECT_EQ(f.SaveAs(""), CFG_OK);
    EXPECT_FALSE(f.IsModified());
}

TEST(CfgFileSaveTest, EmptyLinesSaveAsAnEmptyFile)
{
    std::string path = CfgTempPath("save_empty.cfg");
    ASSERT_TRUE(WriteRaw(path, "[A]\r\nx 1\r\n"));
    FileProbe f;
    ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    ASSERT_EQ(f.DeleteSection("A"), CFG_OK);
    ASSERT_EQ(f.Save(), CFG_OK);
    EXPECT_EQ(ReadRaw(path), "");
}

TEST(CfgFileSaveTest, SaveIntoAMissingFolderFailsAndKeepsModified)
{
    std::string path = CfgTempPath("no_such_dir/x.cfg");
    FileProbe f;
    f.SetItem("A", "x 1", FALSE);
    EXPECT_EQ(f.SaveAs(CString(path.c_str())), CFG_ERR_OPEN);
    EXPECT_TRUE(f.IsModified());
}

TEST(CfgFileSaveTest, AFileThatCouldNotBeReadIsNeverSavedOver)
{
    // The path names a folder: on POSIX it opens and then fails to read, on
    // Win32 it does not open. Either way a save must fail and say so, for
    // the plain file and the tree file alike, and leave the folder alone.
    std::string dir = CfgTempPath("target_is_dir");
    std::string probe = dir + "/inner.cfg";
#ifdef _WIN32
    ASSERT_EQ(std::system(("mkdir \"" + dir + "\" 2>nul").c_str()) >= 0, true);
#else
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
#endif
    ASSERT_TRUE(WriteRaw(probe, "keep\r\n"));

    FileProbe f;
    EXPECT_EQ(f.Load(CString(dir.c_str())), CFG_ERR_OPEN);
    EXPECT_FALSE(f.GetPath().IsEmpty()) << "the path is kept";
    f.SetItem("A", "x 1", FALSE);
    EXPECT_EQ(f.Save(), CFG_ERR_OPEN);
    EXPECT_TRUE(f.IsModified());
    EXPECT_EQ(f.SaveAs(CString(dir.c_str())), CFG_ERR_OPEN);
    EXPECT_TRUE(f.IsModified());

    {
        CCfgTreeFile tree;
        const CFG_NODE_DESC table[] = {{cfgTypeSection, 1, 0, 0, 0, "A"},
                                       {cfgTypeItem, 2, 1, 0, 0, "x"},
                                       {cfgTypeNum, 3, 0, 9, 1, nullptr},
                                       {cfgTypeEnd, 0, 0, 0, 0, nullptr}};
        tree.Build(table);
        EXPECT_EQ(tree.Load(CString(dir.c_str())), CFG_OK);
        tree.SetNum(3, 5);
        EXPECT_EQ(tree.Save(), CFG_ERR_OPEN);
        EXPECT_TRUE(tree.IsModified());
    }
    EXPECT_EQ(ReadRaw(probe), "keep\r\n") << "the folder and what is in it are untouched";
    EXPECT_EQ(FolderNames(dir), V{"inner.cfg"});
    EXPECT_EQ(LeftOversBeside(dir), V{});
}

#ifndef _WIN32
TEST(CfgFileSaveTest, AFileThatMayNotBeWrittenIsNotReplaced)
{
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    std::string path = CfgTempPath("read_only.cfg");
    ASSERT_TRUE(WriteRaw(path, "[A]\r\nx 1\r\n"));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    FileProbe f;
    ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    ASSERT_EQ(f.SetItem("A", "x 2", FALSE), CFG_OK);
    EXPECT_EQ(f.Save(), CFG_ERR_OPEN);
    EXPECT_TRUE(f.IsModified());
    EXPECT_EQ(ReadRaw(path), "[A]\r\nx 1\r\n");
    chmod(path.c_str(), 0644);
}

// A write that fails after the file was opened: the file-size limit makes
// the C runtime's writes fail part way, as a full disk would.
TEST(CfgFileSaveTest, WriteFailurePartWayKeepsTheOldFileWhole)
{
    std::string path = CfgTempPath("save_fails.cfg");
    const std::string old = CrLf({"[A]", "x 1", "; the old file"});
    ASSERT_TRUE(WriteRaw(path, old));

    FileProbe f;
    ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    for (int k = 0; k < 200; ++k)
        f.SetItem("A", CString(("item" + std::to_string(k) + " " + std::string(50, 'v')).c_str()), TRUE);

    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    int result = f.Save();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(result, CFG_ERR_OPEN);
    EXPECT_TRUE(f.IsModified());
    EXPECT_EQ(ReadRaw(path), old) << "the old file is whole, not half-written or empty";
    EXPECT_EQ(LeftOversBeside(path), V{}) << "the partial temporary file is removed";

    EXPECT_EQ(f.Save(), CFG_OK) << "with room again the same save succeeds";
    EXPECT_FALSE(f.IsModified());
    FileProbe back;
    ASSERT_EQ(back.Load(CString(path.c_str())), CFG_OK);
    EXPECT_EQ(back.Lines(), f.Lines());
}
#endif

TEST(CfgFileSaveTest, DestructorSavesOnlyWhenModified)
{
    std::string path = CfgTempPath("dtor.cfg");
    ASSERT_TRUE(WriteRaw(path, "[A]\nx 1\n"));
    {
        CCfgFile f;
        ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
    }
    EXPECT_EQ(ReadRaw(path), "[A]\nx 1\n") << "untouched: not rewritten";
    {
        CCfgFile f;
        ASSERT_EQ(f.Load(CString(path.c_str())), CFG_OK);
        ASSERT_EQ(f.SetItem("A", "x 2", FALSE), CFG_OK);
    }
    EXPECT_EQ(ReadRaw(path), "[A]\r\nx 2\r\n");
}
