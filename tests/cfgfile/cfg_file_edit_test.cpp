// Section and item operations of CCfgFile over lines held in memory.
#include "cfg_test_util.h"

using cfgtest::FileProbe;
using V = std::vector<std::string>;

TEST(CfgFileSelectTest, SelectsTheFirstSectionOfAName)
{
    FileProbe f;
    f.SetLines({"top = 1", "[A]", "x 1", "[B]", "y 2", "[A]", "z 3"});
    EXPECT_EQ(f.SelectSection("a"), CFG_ERR_NOT_FOUND) << "names are case-sensitive";
    EXPECT_FALSE(f.HasSection());
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    EXPECT_STREQ(f.CursorLine(), "x 1");
    EXPECT_EQ(f.FindItem("z"), CFG_ERR_NOT_FOUND) << "the second [A] is never reached";
    EXPECT_EQ(f.FindItem("top"), CFG_ERR_NOT_FOUND) << "lines above the first header belong to no section";

    ASSERT_EQ(f.SelectSection("B"), CFG_OK);
    EXPECT_EQ(f.SelectSection("missing"), CFG_ERR_NOT_FOUND);
    EXPECT_STREQ(f.SectionName(), "B") << "a failed select keeps the selection";
    EXPECT_EQ(f.FindItem("y"), CFG_OK);
}

TEST(CfgFileSelectTest, ReselectingTheSameSectionRewindsItsCursor)
{
    FileProbe f;
    f.SetLines({"[A]", "x 1", "y 2"});
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    ASSERT_EQ(f.NextItem(), CFG_OK);
    ASSERT_EQ(f.NextItem(), CFG_OK);
    EXPECT_STREQ(f.GetToken(0), "y");
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    EXPECT_STREQ(f.CurrentLine(), "[A]");
    ASSERT_EQ(f.NextItem(), CFG_OK);
    EXPECT_STREQ(f.GetToken(0), "x");
}

TEST(CfgFileItemTest, FindAndNextWalkOneSectionSkippingBlankLines)
{
    FileProbe f;
    f.SetLines({"[A]", "", "x 1,2", "   ", "x 9", "y \"a b\"", "[B]", "w 0"});
    EXPECT_EQ(f.FindItem("x"), CFG_ERR_NO_SECTION);
    EXPECT_EQ(f.NextItem(), CFG_ERR_NO_SECTION);
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);

    ASSERT_EQ(f.FindItem("x"), CFG_OK);
    EXPECT_EQ(f.GetTokenCount(), 3);
    EXPECT_STREQ(f.GetToken(2), "2") << "the first of two items with one name wins";
    EXPECT_STREQ(f.CursorLine(), "x 1,2") << "FindItem leaves the cursor on the item itself";
    ASSERT_EQ(f.NextItem(), CFG_OK);
    EXPECT_STREQ(f.CurrentLine(), "x 1,2") << "so NextItem gives the found item again";

    std::vector<std::string> names;
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    while (f.NextItem() == CFG_OK) names.push_back(f.GetToken(0).str());
    EXPECT_EQ(names, (V{"x", "x", "y"}));
    EXPECT_STREQ(f.CursorLine(), "[B]") << "the walk stops on the next header";
    EXPECT_EQ(f.NextItem(), CFG_ERR_NOT_FOUND) << "and stays there";
    EXPECT_EQ(f.FindItem("w"), CFG_ERR_NOT_FOUND);

    ASSERT_EQ(f.SelectSection("B"), CFG_OK);
    ASSERT_EQ(f.NextItem(), CFG_OK);
    EXPECT_EQ(f.NextItem(), CFG_ERR_NOT_FOUND) << "end of the file";
}

TEST(CfgFileItemTest, GetIntAndRanges)
{
    FileProbe f;
    f.SetLines({"[A]", "n 12abc,abc, -3"});
    ASSERT_EQ(f.FindSectionItem("A", "n"), CFG_OK);
    int v = 77;
    EXPECT_EQ(f.GetInt(1, &v), CFG_OK);
    EXPECT_EQ(v, 12);
    v = 77;
    EXPECT_EQ(f.GetInt(2, &v), CFG_ERR_SYNTAX);
    EXPECT_EQ(v, 77);
    EXPECT_EQ(f.GetInt(20, &v), CFG_ERR_INDEX);
    EXPECT_EQ(f.GetInt(4, &v), CFG_ERR_INDEX);
    EXPECT_EQ(f.GetInt(-1, &v), CFG_ERR_INDEX);
    EXPECT_EQ(f.GetIntInRange(3, &v, 0, 10), CFG_ERR_RANGE);
    EXPECT_EQ(v, -3) << "the number is stored even when out of range";
    EXPECT_EQ(f.GetIntInRange(1, &v, 12, 12), CFG_OK) << "both limits are inclusive";
    EXPECT_EQ(f.GetIntInRange(2, &v, 0, 10), CFG_ERR_SYNTAX);
    EXPECT_STREQ(f.GetToken(3), "-3");
    EXPECT_STREQ(f.GetToken(4), "");
    EXPECT_STREQ(f.GetToken(-1), "");
    EXPECT_EQ(f.FindSectionItem("Z", "n"), CFG_ERR_NOT_FOUND);
}

TEST(CfgFileSetTest, SetItemLineReplacesInPlaceOrInsertsUnderTheHeader)
{
    FileProbe f;
    f.SetLines({"[S]", "A 1", "", "[T]"});
    ASSERT_EQ(f.SelectSection("S"), CFG_OK);
    EXPECT_EQ(f.SetItemLine("B 2", FALSE), CFG_OK);
    EXPECT_EQ(f.SetItemLine("C 3", FALSE), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[S]", "C 3", "B 2", "A 1", "", "[T]"})) << "the newest item comes first";
    EXPECT_TRUE(f.IsModified());

    EXPECT_EQ(f.SetItemLine("A 9 ;x", FALSE), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[S]", "C 3", "B 2", "A 9 ;x", "", "[T]"}));
    EXPECT_STREQ(f.CursorLine(), "A 9 ;x");

    EXPECT_EQ(f.SetItemLine("A 10", TRUE), CFG_OK) << "the add flag inserts even when the item exists";
    EXPECT_EQ(f.Lines()[1], "A 10");
}

TEST(CfgFileSetTest, LinesWithoutAValueAreRefused)
{
    FileProbe f;
    f.SetLines({"[S]", "A 1"});
    ASSERT_EQ(f.SelectSection("S"), CFG_OK);
    EXPECT_EQ(f.SetItemLine("OnlyAName", FALSE), CFG_ERR_ITEM);
    EXPECT_EQ(f.SetItemLine("   ", TRUE), CFG_ERR_ITEM);
    EXPECT_EQ(f.SetItem("New", "OnlyAName", FALSE), CFG_ERR_ITEM);
    EXPECT_EQ(f.Lines(), (V{"[S]", "A 1"}));
    EXPECT_FALSE(f.IsModified());
}

TEST(CfgFileSetTest, WithoutASectionReplacingFailsAndAddingAppends)
{
    FileProbe f;
    f.SetLines({"top 1"});
    EXPECT_EQ(f.SetItemLine("A 1", FALSE), CFG_ERR_NO_SECTION);
    EXPECT_EQ(f.SetItemLine("A 1", TRUE), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"top 1", "A 1"}));
}

TEST(CfgFileSetTest, SetItemOnAMissingSectionAppendsItAtTheEnd)
{
    FileProbe f;
    f.SetLines({"[A]", "x 1"});
    ASSERT_EQ(f.SetItem("B", "y 2", FALSE), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[A]", "x 1", "", "[B]", "y 2"}));
    EXPECT_STREQ(f.SectionName(), "B");
    ASSERT_EQ(f.SetItem("B", "z 3", FALSE), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[A]", "x 1", "", "[B]", "z 3", "y 2"}));

    FileProbe blankEnd;
    blankEnd.SetLines({"x 1", ""});
    ASSERT_EQ(blankEnd.SetItem("B", "y 2", FALSE), CFG_OK);
    EXPECT_EQ(blankEnd.Lines(), (V{"x 1", "", "[B]", "y 2"})) << "no second empty line";

    FileProbe empty;
    ASSERT_EQ(empty.SetItem("B", "y 2", FALSE), CFG_OK);
    EXPECT_EQ(empty.Lines(), (V{"[B]", "y 2"}));
    EXPECT_TRUE(empty.IsModified());
}

TEST(CfgFileSetTest, ASectionNameThatCannotBeAHeaderIsRefused)
{
    FileProbe f;
    f.SetLines({"[A]", "x 1"});
    EXPECT_EQ(f.SetItem("a;b", "y 2", FALSE), CFG_ERR_NO_SECTION);
    EXPECT_EQ(f.SetItem("a]b", "y 2", FALSE), CFG_ERR_NO_SECTION);
    EXPECT_EQ(f.Lines(), (V{"[A]", "x 1"}));
    EXPECT_FALSE(f.IsModified());
    ASSERT_EQ(f.SetItem("[a ", "y 2", FALSE), CFG_OK) << "other bytes are fine";
    EXPECT_EQ(f.SelectSection("[a "), CFG_OK);
    EXPECT_EQ(f.SetItem("", "z 3", FALSE), CFG_OK) << "so is the empty name";
    EXPECT_EQ(f.Lines(), (V{"[A]", "x 1", "", "[[a ]", "y 2", "", "[]", "z 3"}));
}

TEST(CfgFileSetTest, LinesThatWouldNotReadBackAsTheirItemAreRefused)
{
    FileProbe f;
    f.SetLines({"[S]", "A 1", "B 2"});
    ASSERT_EQ(f.SelectSection("S"), CFG_OK);
    // A line feed would split the line in two on disk, and the second half
    // would read as an item of its own, here one that shadows B.
    EXPECT_EQ(f.SetItemLine("A 9\nB 7", FALSE), CFG_ERR_ITEM);
    EXPECT_EQ(f.SetItem("S", "A \"x\nB 7\"", FALSE), CFG_ERR_ITEM);
    // A line that reads as a header can never be found as an item again, so
    // every later replace would add one more.
    EXPECT_EQ(f.SetItemLine("  [T] 1", TRUE), CFG_ERR_ITEM);
    EXPECT_EQ(f.SetItem("S", "[T] 1", FALSE), CFG_ERR_ITEM);
    EXPECT_EQ(f.SetItem("New", "[T] 1", FALSE), CFG_ERR_ITEM) << "no header is added for a refused line";
    EXPECT_EQ(f.SetItem("N\nM", "x 1", FALSE), CFG_ERR_NO_SECTION);
    EXPECT_EQ(f.Lines(), (V{"[S]", "A 1", "B 2"}));
    EXPECT_FALSE(f.IsModified());

    EXPECT_EQ(f.SetItem("S", "[T;] 1", FALSE), CFG_OK) << "a bracket line that is no header is an item";
    EXPECT_EQ(f.SetItem("S", "A \"mid\rcr\"", FALSE), CFG_OK) << "a lone CR survives the disk";
    EXPECT_EQ(f.Lines(), (V{"[S]", "[T;] 1", "A \"mid\rcr\"", "B 2"}));
}

TEST(CfgFileDeleteTest, DeleteItemRemovesTheItemLastReturnedAndBlankLinesAfterIt)
{
    FileProbe f;
    f.SetLines({"[A]", "x 1", "", "  ", "y 2", "z 3", "", "[B]", "w 4"});
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    EXPECT_EQ(f.DeleteItem(FALSE), CFG_ERR_SYNTAX) << "right after SelectSection the header is current";
    ASSERT_EQ(f.NextItem(), CFG_OK);
    ASSERT_EQ(f.DeleteItem(FALSE), CFG_OK);
    EXPECT_STREQ(f.GetToken(0), "y") << "the next item becomes current";
    EXPECT_EQ(f.Lines(), (V{"[A]", "y 2", "z 3", "", "[B]", "w 4"}));
    ASSERT_EQ(f.NextItem(), CFG_OK);
    EXPECT_STREQ(f.GetToken(0), "z");
    EXPECT_EQ(f.DeleteItem(FALSE), CFG_ERR_NOT_FOUND) << "the next header ends the section";
    EXPECT_EQ(f.Lines(), (V{"[A]", "y 2", "[B]", "w 4"}));
    EXPECT_EQ(f.DeleteItem(FALSE), CFG_ERR_SYNTAX) << "the current line is now a header";
    EXPECT_EQ(f.Lines(), (V{"[A]", "y 2", "[B]", "w 4"}));
}

TEST(CfgFileDeleteTest, DeleteItemNeverRemovesTheHeaderWithoutTheFlag)
{
    FileProbe f;
    f.SetLines({"[A]"});
    EXPECT_EQ(f.DeleteItem(FALSE), CFG_ERR_NO_SECTION);
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    EXPECT_EQ(f.FindItem("none"), CFG_ERR_NOT_FOUND);
    EXPECT_EQ(f.DeleteItem(FALSE), CFG_ERR_SYNTAX);
    EXPECT_EQ(f.Lines(), (V{"[A]"}));
    EXPECT_FALSE(f.IsModified());
}

TEST(CfgFileDeleteTest, AFailedFindLeavesTheHeaderBeforeTheCursorAndItIsKept)
{
    FileProbe f;
    f.SetLines({"[A]", "", "x 1"});
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    ASSERT_EQ(f.FindItem("none"), CFG_ERR_NOT_FOUND);
    ASSERT_STREQ(f.CurrentLine(), "x 1") << "the current line is no header";
    EXPECT_EQ(f.DeleteItem(FALSE), CFG_ERR_SYNTAX) << "but the line before the cursor is";
    EXPECT_EQ(f.Lines(), (V{"[A]", "", "x 1"}));
    EXPECT_TRUE(f.HasSection());
    EXPECT_FALSE(f.IsModified());
}

TEST(CfgFileDeleteTest, DeletingTheHeaderDropsTheSelection)
{
    FileProbe f;
    f.SetLines({"[A]", "", "[B]", "x 1"});
    ASSERT_EQ(f.SelectSection("A"), CFG_OK);
    EXPECT_EQ(f.DeleteItem(TRUE), CFG_ERR_NOT_FOUND);
    EXPECT_EQ(f.Lines(), (V{"[B]", "x 1"}));
    EXPECT_FALSE(f.HasSection()) << "no position may point at the removed header";
    EXPECT_EQ(f.NextItem(), CFG_ERR_NO_SECTION);
    EXPECT_EQ(f.SelectSection("B"), CFG_OK);
}

TEST(CfgFileDeleteTest, DeleteSectionItemsKeepsTheHeaderAndLeadingBlankLines)
{
    FileProbe f;
    f.SetLines({"[A]", "", "x 1", "", "y 2", "[B]", "w 4"});
    ASSERT_EQ(f.DeleteSectionItems("A"), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[A]", "", "[B]", "w 4"}));
    EXPECT_EQ(f.DeleteSectionItems("missing"), CFG_ERR_NOT_FOUND);
    ASSERT_EQ(f.DeleteSectionItems("B"), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[A]", "", "[B]"}));
}

TEST(CfgFileDeleteTest, DeleteSectionTakesItsBlankLinesAndLeavesTheNextHeader)
{
    FileProbe f;
    f.SetLines({"; top", "[A]", "x 1", "y 2", "", "", "[B]", "w 4", "", "[C]", "", "v 5"});
    ASSERT_EQ(f.DeleteSection("A"), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"; top", "[B]", "w 4", "", "[C]", "", "v 5"}));
    EXPECT_FALSE(f.HasSection());
    EXPECT_STREQ(f.SectionName(), "");
    EXPECT_TRUE(f.IsModified());

    ASSERT_EQ(f.DeleteSection("C"), CFG_OK) << "the last section, blank line after its header included";
    EXPECT_EQ(f.Lines(), (V{"; top", "[B]", "w 4", ""}));
    EXPECT_EQ(f.DeleteSection("C"), CFG_ERR_NOT_FOUND);
    ASSERT_EQ(f.DeleteSection("B"), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"; top"}));
}

TEST(CfgFileDeleteTest, DeleteSectionOfADuplicateNameRemovesTheFirst)
{
    FileProbe f;
    f.SetLines({"[A]", "x 1", "[A]", "y 2"});
    ASSERT_EQ(f.DeleteSection("A"), CFG_OK);
    EXPECT_EQ(f.Lines(), (V{"[A]", "y 2"}));
}

TEST(CfgFileErrorTextTest, TextsByMagnitude)
{
    EXPECT_STREQ(CCfgFile::GetErrorText(CFG_OK), "No error");
    EXPECT_STREQ(CCfgFile::GetErrorText(CFG_ERR_OPEN), "Can't open file");
    EXPECT_STREQ(CCfgFile::GetErrorText(-2), "Not found");
    EXPECT_STREQ(CCfgFile::GetErrorText(2), "Not found");
    EXPECT_STREQ(CCfgFile::GetErrorText(CFG_ERR_NO_SECTION), "No valid section");
    EXPECT_STREQ(CCfgFile::GetErrorText(CFG_ERR_INDEX), "Index is out of range");
    EXPECT_STREQ(CCfgFile::GetErrorText(CFG_ERR_SYNTAX), "Syntax error");
    EXPECT_STREQ(CCfgFile::GetErrorText(CFG_ERR_RANGE), "Value is out of range");
    EXPECT_STREQ(CCfgFile::GetErrorText(7), "No valid Item");
    EXPECT_STREQ(CCfgFile::GetErrorText(-9), "Unknown error - 9");
    EXPECT_STREQ(CCfgFile::GetErrorText(8), "Unknown error - 8");
    EXPECT_STREQ(CCfgFile::GetErrorText(-2147483647 - 1), "Unknown error - 2147483648");
}
