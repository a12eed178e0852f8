// CRegMultiStringValue against the real registry: the defaults, the stored block, other types read back.
#include "registry/reg_multi_string_value.h"
#include "registry/test_key.h"
#include "support/string_list_view.h"

namespace {

const char* const kDefaults[] = {"https://a.example/list.txt", "C:\\lists\\b.txt"};

class RegMultiStringValue : public RegistryKeyTest {
protected:
    std::vector<std::string> Got(CRegMultiStringValue& value)
    {
        CStringList list;
        value.Get(list);
        return ToVector(list);
    }
};

TEST_F(RegMultiStringValue, MissingValueGivesTheDefaultsAndAnEmptyListIsStoredAsSuch)
{
    CRegMultiStringValue regSources(Path("ProxySources").c_str(), kDefaults, 2, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ((std::vector<std::string>{"https://a.example/list.txt", "C:\\lists\\b.txt"}), Got(regSources));
    EXPECT_FALSE(regSources.IsRead());

    // The user who empties the list gets no list, not the defaults again.
    regSources.Set(CStringList());
    EXPECT_EQ(std::string(1, '\0'), rawreg::Get(HKEY_CURRENT_USER, Key(), "ProxySources").Text());
    CRegMultiStringValue again(Path("ProxySources").c_str(), kDefaults, 2, FALSE, HKEY_CURRENT_USER);
    EXPECT_TRUE(Got(again).empty());
}

TEST_F(RegMultiStringValue, TextsAreStoredBetweenZeroBytesWithoutTheEmptyOnes)
{
    CRegMultiStringValue regSources(Path("ProxySources").c_str(), kDefaults, 2, FALSE, HKEY_CURRENT_USER);
    CStringList list;
    FillList(list, {"http://one.example/", "", "D:\\two.txt"});
    EXPECT_FALSE(regSources.Set(list).LastSetFailed());
    rawreg::Value stored = rawreg::Get(HKEY_CURRENT_USER, Key(), "ProxySources");
    EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), stored.type);
    EXPECT_EQ(std::string("http://one.example/") + '\0' + "D:\\two.txt" + '\0' + '\0', stored.Text());
    EXPECT_EQ((std::vector<std::string>{"http://one.example/", "D:\\two.txt"}), Got(regSources));

    // A REG_SZ of one text, and a block without its last zero bytes.
    rawreg::PutText(HKEY_CURRENT_USER, Key(), "Single", "http://only.example/");
    CRegMultiStringValue regSingle(Path("Single").c_str(), kDefaults, 2, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ(std::vector<std::string>{"http://only.example/"}, Got(regSingle));
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Cut", REG_MULTI_SZ, "a\0bc", 4);
    CRegMultiStringValue regCut(Path("Cut").c_str(), kDefaults, 2, FALSE, HKEY_CURRENT_USER);
    EXPECT_EQ((std::vector<std::string>{"a", "bc"}), Got(regCut));
}

} // namespace
