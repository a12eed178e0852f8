// A registry key of its own for each test case, removed before and after it.
#pragma once

#include "support/raw_registry.h"

#include <gtest/gtest.h>

#include <string>

class RegistryKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_key = std::string("Software\\CloakwallTest\\") + info->test_suite_name() + "." + info->name();
        rawreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str());
    }
    void TearDown() override { rawreg::DeleteTree(HKEY_CURRENT_USER, m_key.c_str()); }

    // Full path of a value under this test's key, as the value objects take it.
    std::string Path(const char* name) const { return m_key + "\\" + name; }
    const char* Key() const { return m_key.c_str(); }

    std::string m_key;
};
