// Scratch files for tests: a path in the temporary folder named after the
// running test case, so test programs that run side by side (and cases
// within one) never share a file. Any old file at the path is removed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

inline std::string TempPath(const std::string& name)
{
    std::string caseName;
    if (const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info())
        caseName = std::string(pInfo->test_suite_name()) + "_" + pInfo->name() + "_";
    // Parameterised cases have slashes in their names.
    for (char& ch : caseName)
        if (ch == '/') ch = '_';
    std::string path = ::testing::TempDir() + "cw_" + caseName + name;
    std::remove(path.c_str());
    return path;
}
