#include "framework/core/ptr_list.h"
#include "framework/core/string_list.h"

#include <gtest/gtest.h>

namespace {

CString Join(const CStringList& list)
{
    CString out;
    for (POSITION p = list.GetHeadPosition(); p;) {
        out += list.GetNext(p);
        out += "|";
    }
    return out;
}

} // namespace

TEST(ListTest, PositionsStayValidAcrossInsertAndRemove)
{
    CStringList list;
    POSITION a = list.AddTail("a");
    POSITION c = list.AddTail("c");
    POSITION b = list.InsertAfter(a, "b");
    list.AddHead("0");
    EXPECT_STREQ(Join(list), "0|a|b|c|");
    list.RemoveAt(b);
    EXPECT_STREQ(list.GetAt(a), "a");
    EXPECT_STREQ(list.GetAt(c), "c");
    list.InsertBefore(c, "x");
    EXPECT_STREQ(Join(list), "0|a|x|c|");
    EXPECT_EQ(list.GetCount(), 4);
}

TEST(ListTest, RemovingHeadAndTailKeepsTheEndsRight)
{
    CStringList list;
    list.AddTail("a");
    list.AddTail("b");
    EXPECT_STREQ(list.RemoveHead(), "a");
    EXPECT_STREQ(list.RemoveTail(), "b");
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    POSITION p = list.InsertAfter(nullptr, "only");
    EXPECT_EQ(list.GetHeadPosition(), p);
    EXPECT_EQ(list.GetTailPosition(), p);
}

TEST(ListTest, BackwardWalkFindAndIndex)
{
    CStringList list;
    for (const char* s : {"a", "b", "a"}) list.AddTail(s);
    POSITION first = list.Find("a");
    POSITION second = list.Find("a", first);
    EXPECT_NE(first, second);
    EXPECT_EQ(list.FindIndex(2), second);
    EXPECT_EQ(list.FindIndex(3), nullptr);
    CString back;
    for (POSITION p = list.GetTailPosition(); p;) back += list.GetPrev(p);
    EXPECT_STREQ(back, "aba");
}

TEST(ListTest, TypedPointerListGivesBackTheTypedPointers)
{
    int x = 1, y = 2;
    CTypedPtrList<CPtrList, int*> list;
    list.AddTail(&x);
    list.AddTail(&y);
    POSITION p = list.GetHeadPosition();
    int* first = list.GetNext(p);
    int* second = list.GetNext(p);
    EXPECT_EQ(first, &x);
    EXPECT_EQ(second, &y);
    EXPECT_EQ(p, nullptr);
}
