// CRegRectValue and CRegPointValue: the exact bytes stored, round trips,
// short data as a failed read, longer data cut to the record.
#include "registry/reg_binary_values.h"
#include "registry/test_key.h"

namespace {

class RegBinaryValues : public RegistryKeyTest {
protected:
    rawreg::Value Stored(const char* name) { return rawreg::Get(HKEY_CURRENT_USER, Key(), name); }
};

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(RegBinaryValues, RectIsSixteenLittleEndianBytes)
{
    const RECT rc = {-1, 2, 0x01020304, -0x7FFFFFFF - 1};
    const RECT rcDefault = {9, 9, 9, 9};
    {
        CRegRectValue regValue(Path("Window").c_str(), rcDefault, FALSE, HKEY_CURRENT_USER);
        EXPECT_TRUE(SameRect(rcDefault, regValue.Get()));
        regValue.Set(rc);
    }
    rawreg::Value v = Stored("Window");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v.type);
    const std::vector<BYTE> expected = {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 4, 3, 2, 1, 0, 0, 0, 0x80};
    EXPECT_EQ(expected, v.data);

    CRegRectValue regAgain(Path("Window").c_str(), rcDefault, FALSE, HKEY_CURRENT_USER);
    EXPECT_TRUE(regAgain.IsRead());
    EXPECT_TRUE(SameRect(rc, regAgain.Get()));
}

TEST_F(RegBinaryValues, RectFromShortOrLongData)
{
    const RECT rcDefault = {1, 2, 3, 4};
    std::vector<BYTE> data(20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i);

    rawreg::Put(HKEY_CURRENT_USER, Key(), "Short", REG_BINARY, data.data(), 15);
    CRegRectValue regShort(Path("Short").c_str(), rcDefault, FALSE, HKEY_CURRENT_USER);
    EXPECT_FALSE(regShort.IsRead());
    EXPECT_TRUE(SameRect(rcDefault, regShort.Get()));

    rawreg::Put(HKEY_CURRENT_USER, Key(), "Long", REG_SZ, data.data(), 20);
    CRegRectValue regLong(Path("Long").c_str(), rcDefault, FALSE, HKEY_CURRENT_USER);
    const RECT rcFirst16 = {0x03020100, 0x07060504, 0x0B0A0908, 0x0F0E0D0C};
    EXPECT_TRUE(SameRect(rcFirst16, regLong.Get()));
}

TEST_F(RegBinaryValues, RectSetOfTheSameRectangleWritesNothing)
{
    const BYTE data[16] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};
    rawreg::Put(HKEY_CURRENT_USER, Key(), "Window", REG_NONE, data, sizeof(data));
    const RECT rcZero = {0, 0, 0, 0};
    CRegRectValue regValue(Path("Window").c_str(), rcZero, FALSE, HKEY_CURRENT_USER);

    regValue.Set(RECT{1, 2, 3, 4});
    EXPECT_EQ(static_cast<DWORD>(REG_NONE), Stored("Window").type);
    regValue.Set(RECT{1, 2, 3, 5});
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), Stored("Window").type);
}

TEST_F(RegBinaryValues, PointRoundTripsAndShortDataFails)
{
    const POINT ptDefault = {7, 8};
    {
        CRegPointValue regValue(Path("Where").c_str(), ptDefault, FALSE, HKEY_CURRENT_USER);
        regValue.Set(POINT{-300, 70000});
    }
    rawreg::Value v = Stored("Where");
    EXPECT_EQ(static_cast<DWORD>(REG_BINARY), v.type);
    const std::vector<BYTE> expected = {0xD4, 0xFE, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00};
    EXPECT_EQ(expected, v.data);

    CRegPointValue regAgain(Path("Where").c_str(), ptDefault, FALSE, HKEY_CURRENT_USER);
    POINT pt = regAgain.Get();
    EXPECT_EQ(-300, pt.x);
    EXPECT_EQ(70000, pt.y);

    rawreg::Put(HKEY_CURRENT_USER, Key(), "Where", REG_BINARY, expected.data(), 7);
    CRegPointValue regShort(Path("Where").c_str(), ptDefault, FALSE, HKEY_CURRENT_USER);
    EXPECT_FALSE(regShort.IsRead());
    pt = regShort.Get();
    EXPECT_EQ(7, pt.x);
    EXPECT_EQ(8, pt.y);
}

TEST_F(RegBinaryValues, PointFirstSaveOfZeroIsWritten)
{
    CRegPointValue regValue(Path("Origin").c_str(), POINT{5, 5}, FALSE, HKEY_CURRENT_USER);
    regValue.Set(POINT{0, 0});
    rawreg::Value v = Stored("Origin");
    ASSERT_TRUE(v.exists);
    EXPECT_EQ(std::vector<BYTE>(8, 0), v.data);
}

} // namespace
