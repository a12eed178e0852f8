// The node classes and the node list of CCfgTreeFile: kinds, clamping,
// building from a table, lookups and typed access.
#include "cfgfile/cfg_node.h"
#include "cfgfile/cfg_tree_file.h"

#include <gtest/gtest.h>

TEST(CfgNodeTest, EveryNodeAnswersEveryQuery)
{
    CCfgNodeNum num(1, 7, 0, 0);
    EXPECT_STREQ(num.GetString(), "");
    EXPECT_STREQ(num.GetSectionName(), "");
    EXPECT_STREQ(num.GetItemName(), "");
    EXPECT_EQ(num.GetCount(), 0);
    EXPECT_EQ(num.GetBool(), FALSE);
    num.SetString("x");
    num.SetBool(TRUE);
    EXPECT_EQ(num.GetNum(), 7) << "setters of another kind change nothing";

    CCfgNodeString str(2, "text");
    EXPECT_EQ(str.SetNum(5), 0);
    EXPECT_EQ(str.GetNum(), 0);
    EXPECT_STREQ(str.GetString(), "text");

    CCfgNodeItem item(3, "Port", 2);
    EXPECT_STREQ(item.GetItemName(), "Port");
    EXPECT_EQ(item.GetCount(), 2);
    EXPECT_STREQ(item.GetSectionName(), "");
    CCfgNodeSection section(4, "Net");
    EXPECT_STREQ(section.GetSectionName(), "Net");
    EXPECT_EQ(section.GetId(), 4);
}

TEST(CfgNodeTest, BoolKeepsAnyNonZeroValueAsGiven)
{
    CCfgNodeBool b(1, 1);
    EXPECT_EQ(b.GetBool(), 1);
    EXPECT_EQ(b.SetBool(7), 7);
    EXPECT_EQ(b.GetBool(), 7);
}

TEST(CfgNodeTest, ClampingIsActiveOnlyWithBothLimitsNonZero)
{
    CCfgNodeNum n(1, 7, 10, 5);
    EXPECT_EQ(n.SetNum(3), 5);
    EXPECT_EQ(n.SetNum(12), 10);
    EXPECT_EQ(n.SetNum(7), 7);
    EXPECT_EQ(n.GetNum(), 7);

    CCfgNodeNum noMin(1, 0, 10, 0);
    EXPECT_EQ(noMin.SetNum(50), 50) << "a range 0..10 is not enforced";
    CCfgNodeNum noMax(1, 0, 0, 5);
    EXPECT_EQ(noMax.SetNum(-50), -50);

    CCfgNodeNum fromDefault(1, 200, 100, 1);
    EXPECT_EQ(fromDefault.GetNum(), 100) << "the default is clamped too";

    CCfgNodeNum inverted(1, 0, 3, 9);
    EXPECT_EQ(inverted.GetNum(), 3);
    EXPECT_EQ(inverted.SetNum(100), 3) << "with minimum above maximum every value ends as the maximum";
    EXPECT_EQ(inverted.SetNum(-100), 3);

    CCfgNodeNum negative(1, 0, -1, -10);
    EXPECT_EQ(negative.GetNum(), -1);
    EXPECT_EQ(negative.SetNum(-20), -10);
}

TEST(CfgNodeTest, TypeCodesAndRunTimeClasses)
{
    CCfgNodeSection s(0, "S");
    CCfgNodeItem i(0, "I", 0);
    CCfgNodeString str(0, "");
    CCfgNodeNum n(0, 0, 0, 0);
    CCfgNodeBool b(0, 0);
    CCfgNode plain(0);
    EXPECT_EQ(GetCfgNodeType(&s), cfgTypeSection);
    EXPECT_EQ(GetCfgNodeType(&i), cfgTypeItem);
    EXPECT_EQ(GetCfgNodeType(&str), cfgTypeString);
    EXPECT_EQ(GetCfgNodeType(&n), 3);
    EXPECT_EQ(GetCfgNodeType(&b), 4);
    EXPECT_EQ(GetCfgNodeType(&plain), -1);
    EXPECT_EQ(GetCfgNodeType(nullptr), -1);

    EXPECT_TRUE(b.IsKindOf(RUNTIME_CLASS(CCfgNode)));
    EXPECT_TRUE(b.IsKindOf(RUNTIME_CLASS(CObject)));
    EXPECT_FALSE(b.IsKindOf(RUNTIME_CLASS(CCfgNodeNum)));
    EXPECT_STREQ(n.GetRuntimeClass()->m_lpszClassName, "CCfgNodeNum");
    EXPECT_EQ(n.GetRuntimeClass()->m_pBaseClass, RUNTIME_CLASS(CCfgNode));
}

namespace {

enum { ID_NET = 10, ID_PORT, ID_PORT_V, ID_PROXY, ID_PROXY_HOST, ID_PROXY_ON, ID_UI, ID_PROXY_UI, ID_PROXY_UI_V };

const CFG_NODE_DESC kTable[] = {
    {cfgTypeSection, ID_NET, 0, 0, 0, "Net"},
    {cfgTypeItem, ID_PORT, 1, 0, 0, "Port"},
    {cfgTypeNum, ID_PORT_V, 1, 65535, 8080, nullptr},
    {cfgTypeItem, ID_PROXY, 2, 0, 0, "Proxy"},
    {cfgTypeString, ID_PROXY_HOST, 0, 0, 0, "host:3128"},
    {cfgTypeBool, ID_PROXY_ON, 0, 0, 1, nullptr},
    {99, 77, 0, 0, 0, "ignored"},
    {cfgTypeSection, ID_UI, 0, 0, 0, "Ui"},
    {cfgTypeItem, ID_PROXY_UI, 1, 0, 0, "Proxy"},
    {cfgTypeString, ID_PROXY_UI_V, 0, 0, 0, "ui"},
    {cfgTypeEnd, 0, 0, 0, 0, nullptr},
};

} // namespace

TEST(CfgNodeListTest, BuildCreatesOneNodePerEntryAndReturnsTheEnd)
{
    CCfgTreeFile tree;
    EXPECT_EQ(tree.Build(kTable), &kTable[10]);
    EXPECT_EQ(tree.GetNodeCount(), 9) << "an entry of an unknown type adds nothing";
    EXPECT_EQ(tree.FindNode(77), nullptr);
    EXPECT_EQ(tree.GetNum(ID_PORT_V), 8080);
    EXPECT_STREQ(tree.GetString(ID_PROXY_HOST), "host:3128");
    EXPECT_EQ(tree.GetBool(ID_PROXY_ON), TRUE);
    EXPECT_FALSE(tree.IsModified());

    const CFG_NODE_DESC empty[] = {{cfgTypeEnd, 0, 0, 0, 0, nullptr}};
    CCfgTreeFile none;
    EXPECT_EQ(none.Build(empty), &empty[0]);
    EXPECT_EQ(none.GetNodeCount(), 0);

    tree.DeleteAllNodes();
    EXPECT_EQ(tree.GetNodeCount(), 0);
}

TEST(CfgNodeListTest, LookupsByIdIndexAndName)
{
    CCfgTreeFile tree;
    tree.Build(kTable);
    POSITION next = nullptr;
    CCfgNode* proxy = tree.FindNode(ID_PROXY, &next);
    ASSERT_NE(proxy, nullptr);
    EXPECT_STREQ(proxy->GetItemName(), "Proxy");
    EXPECT_EQ(tree.FindNode(ID_PROXY_HOST), tree.FindValueNode(ID_PROXY, 0));
    EXPECT_EQ(tree.FindNode(ID_PROXY_ON), tree.FindValueNode(ID_PROXY, 1, &next));
    EXPECT_EQ(tree.FindNode(ID_UI), tree.FindValueNode(ID_PROXY_ON, 0))
        << "the lookup does not stop at the item's values";
    EXPECT_EQ(tree.FindValueNode(ID_PROXY_UI_V, 0), nullptr) << "past the end of the list";
    EXPECT_EQ(tree.FindValueNode(12345, 0), nullptr);

    EXPECT_EQ(tree.FindItemNode("Proxy", "Net", &next), proxy);
    EXPECT_EQ(tree.FindItemNode("Proxy", "Ui"), tree.FindNode(ID_PROXY_UI)) << "the same name in another section";
    EXPECT_EQ(tree.FindItemNode("Port", "Ui"), nullptr) << "the search stops at the next section";
    EXPECT_EQ(tree.FindItemNode("proxy", "Net"), nullptr);
    EXPECT_EQ(tree.FindItemNode("Proxy", "Nope"), nullptr);
    EXPECT_EQ(tree.FindItemNode("host:3128", "Net"), nullptr) << "value nodes are skipped";
}

TEST(CfgNodeListTest, FirstOfTwoSameNamesWins)
{
    const CFG_NODE_DESC dup[] = {
        {cfgTypeSection, 1, 0, 0, 0, "S"}, {cfgTypeItem, 2, 0, 0, 0, "A"}, {cfgTypeItem, 3, 0, 0, 0, "A"},
        {cfgTypeSection, 4, 0, 0, 0, "S"}, {cfgTypeItem, 5, 0, 0, 0, "B"}, {cfgTypeNum, 2, 0, 0, 42, nullptr},
        {cfgTypeEnd, 0, 0, 0, 0, nullptr},
    };
    CCfgTreeFile tree;
    tree.Build(dup);
    EXPECT_EQ(tree.FindItemNode("A", "S"), tree.FindNode(2));
    EXPECT_EQ(tree.FindItemNode("B", "S"), nullptr) << "the second section of a name is never reached";
    EXPECT_EQ(GetCfgNodeType(tree.FindNode(2)), cfgTypeItem) << "a repeated id finds the first node";
}

TEST(CfgNodeListTest, TypedAccessorsInBothFormsMarkTheFileModified)
{
    CCfgTreeFile tree;
    tree.Build(kTable);
    EXPECT_EQ(tree.SetNum(ID_PORT_V, 70000), 65535);
    EXPECT_TRUE(tree.IsModified());
    EXPECT_EQ(tree.GetNum(ID_PORT, 0), 65535);
    EXPECT_EQ(tree.SetNum(ID_PORT, 0, 0), 1);
    tree.SetString(ID_PROXY, 0, "a:1");
    EXPECT_STREQ(tree.GetString(ID_PROXY_HOST), "a:1");
    EXPECT_EQ(tree.SetBool(ID_PROXY, 1, 5), 5);
    EXPECT_EQ(tree.GetBool(ID_PROXY_ON), 5);
    EXPECT_EQ(tree.SetBool(ID_PROXY_ON, FALSE), FALSE);
    EXPECT_EQ(tree.GetBool(ID_PROXY, 1), FALSE);
    tree.SetString(ID_PROXY_UI_V, "z");
    EXPECT_STREQ(tree.GetString(ID_PROXY_UI, 0), "z");

    CCfgTreeFile other;
    other.Build(kTable);
    other.SetNum(ID_PROXY_HOST, 5);
    EXPECT_STREQ(other.GetString(ID_PROXY_HOST), "host:3128") << "a setter of the wrong kind changes nothing";
    EXPECT_STREQ(other.GetString(ID_PORT_V), "");
    EXPECT_TRUE(other.IsModified()) << "but still marks the file";
    EXPECT_EQ(other.GetNum(9999), 0);
    EXPECT_STREQ(other.GetString(9999, 3), "");
}
