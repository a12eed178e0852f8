// The results writer: copies handed in one after another while the first is
// still being written, the newest of them is what the file holds; a writer
// ending writes what it was handed; a file that cannot be written is said so.
#include "proxylist/proxy_results_writer.h"

#include "support/temp_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CProxyResults Many(int nCount, int nResponseMs)
{
    CProxyResults results;
    for (int i = 0; i < nCount; ++i) {
        CStoredProxyResult one;
        one.eGrade = PROXY_GRADE_ANONYMOUS;
        one.nResponseMs = nResponseMs;
        one.nTestedAt = 1700000000;
        std::string strEntry = "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "." +
                               std::to_string(i % 256) + ":3128";
        results.Set(strEntry.c_str(), one);
    }
    return results;
}

int ResponseMsOf(const CProxyResults& results, const char* pszEntry)
{
    CStoredProxyResult one;
    return results.Lookup(pszEntry, one) ? one.nResponseMs : -1;
}

} // namespace

TEST(ProxyResultsWriter, TheNewestCopyEndsInTheFileAndAnEndingWriterWritesWhatItWasHanded)
{
    const std::string strPath = TempPath("proxytest.ini");
    {
        CProxyResultsWriter writer;
        // A whole list's worth takes the writer a while: the next copies come
        // while it writes, and the last one replaces the one between.
        writer.Save(Many(20000, 100), strPath.c_str());
        writer.Save(Many(20000, 200), strPath.c_str());
        writer.Save(Many(3, 300), strPath.c_str());
        writer.Flush();
        EXPECT_TRUE(writer.LastSaveSucceeded());
        CProxyResults file;
        ASSERT_TRUE(file.Load(strPath.c_str()));
        EXPECT_EQ(3, file.GetCount());
        EXPECT_EQ(300, ResponseMsOf(file, "10.0.0.2:3128"));

        // Handed in and then the writer goes at once (the program's Exit).
        writer.Save(Many(20000, 400), strPath.c_str());
    }
    CProxyResults file;
    ASSERT_TRUE(file.Load(strPath.c_str()));
    EXPECT_EQ(20000, file.GetCount());
    EXPECT_EQ(400, ResponseMsOf(file, "10.0.78.31:3128"));

    // A folder that is not there: the writer says so, and the next good
    // save clears it.
    CProxyResultsWriter writer;
    writer.Save(Many(1, 1), (TempPath("no-such-folder") + "\\proxytest.ini").c_str());
    writer.Flush();
    EXPECT_FALSE(writer.LastSaveSucceeded());
    writer.Save(Many(1, 1), strPath.c_str());
    writer.Flush();
    EXPECT_TRUE(writer.LastSaveSucceeded());
}
