#include "proxylist/proxy_list_file.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/folder_listing.h"
#include "support/raw_file.h"
#include "support/string_list_view.h"
#include "support/temp_path.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Fills a list the writer can take; the list object outlives the call.
const CStringList& MakeList(const std::vector<std::string>& items)
{
    static CStringList list;
    FillList(list, items);
    return list;
}

// Temporary files a replace of the path may have left in its folder.
std::vector<std::string> TempFilesBeside(const std::string& path)
{
    std::vector<std::string> out;
    for (const std::string& name : FolderNames(FolderPartOf(path)))
        if (name.compare(0, 3, "~cw") == 0) out.push_back(name);
    return out;
}

} // namespace

TEST(ProxyListFileTest, PathInTheApplicationFolder)
{
    EXPECT_EQ(ProxyListFilePath("C:\\Program Files\\Cloakwall\\"), "C:\\Program Files\\Cloakwall\\proxylist.txt");
    EXPECT_EQ(ProxyListFilePath("C:\\Cloakwall"), "C:\\Cloakwall\\proxylist.txt");
}

TEST(ProxyListFileTest, WrittenEntriesReadBackTheSameInTextMode)
{
    std::string path = TempPath("roundtrip.txt");
    const std::vector<std::string> entries = {"111.111.111.111:11", "", "10.0.0.1:8080 Fast anonymous", "last:1"};
    CString error;
    ASSERT_TRUE(WriteProxyListFile(path.c_str(), MakeList(entries), &error)) << error.GetString();
    EXPECT_EQ(ReadRaw(path), "111.111.111.111:11\r\n\r\n10.0.0.1:8080 Fast anonymous\r\nlast:1\r\n")
        << "one CR LF per entry on disk";
    EXPECT_EQ(TempFilesBeside(path), std::vector<std::string>{}) << "nothing left beside the list";

    CStringList read;
    read.AddTail("already:1");
    ASSERT_TRUE(ReadProxyListFile(path.c_str(), read));
    std::vector<std::string> expected = {"already:1"};
    expected.insert(expected.end(), entries.begin(), entries.end());
    EXPECT_EQ(ToVector(read), expected);
    std::remove(path.c_str());
}

TEST(ProxyListFileTest, ReadsTheWholeFileWhateverItsSize)
{
    std::string path = TempPath("big.txt");
    std::vector<std::string> entries;
    for (int i = 0; i < 1000; ++i)
        entries.push_back("10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256) + ":8080");
    ASSERT_TRUE(WriteProxyListFile(path.c_str(), MakeList(entries)));
    ASSERT_GT(ReadRaw(path).size(), 8000u);
    CStringList read;
    ASSERT_TRUE(ReadProxyListFile(path.c_str(), read));
    EXPECT_EQ(ToVector(read), entries);
    std::remove(path.c_str());
}

TEST(ProxyListFileTest, ReadsListsStoredByOlderVersionsAndLastLinesWithoutAnEnd)
{
    std::string path = TempPath("old.txt");
    ASSERT_TRUE(WriteRaw(path, "1.1.1.1:80\r\r\n2.2.2.2:81\r\r\n3.3.3.3:82"));
    CStringList read;
    ASSERT_TRUE(ReadProxyListFile(path.c_str(), read));
    EXPECT_EQ(ToVector(read), (std::vector<std::string>{"1.1.1.1:80", "2.2.2.2:81", "3.3.3.3:82"}));
    ASSERT_TRUE(WriteRaw(path, "lf:1\nlf:2\n"));
    read.RemoveAll();
    ASSERT_TRUE(ReadProxyListFile(path.c_str(), read));
    EXPECT_EQ(ToVector(read), (std::vector<std::string>{"lf:1", "lf:2"}));
    std::remove(path.c_str());
}

TEST(ProxyListFileTest, MissingFileIsAFailedReadThatAddsNothing)
{
    CStringList read;
    read.AddTail("kept:1");
    EXPECT_FALSE(ReadProxyListFile(TempPath("does_not_exist.txt").c_str(), read));
    EXPECT_EQ(ToVector(read), std::vector<std::string>{"kept:1"});
}

TEST(ProxyListFileTest, FailedWriteLeavesTheOldFileAndSaysWhy)
{
    std::string missingFolder = TempPath("no_such_folder\\proxylist.txt");
    CString error;
    EXPECT_FALSE(WriteProxyListFile(missingFolder.c_str(), MakeList({"a:1"}), &error));
    EXPECT_FALSE(error.IsEmpty());

    // The target is a folder: the new list cannot take its place.
    std::string folder = TempPath("folder_target");
    CreateDirectoryA(folder.c_str(), nullptr);
    error.Empty();
    EXPECT_FALSE(WriteProxyListFile(folder.c_str(), MakeList({"a:1"}), &error));
    EXPECT_FALSE(error.IsEmpty());
    EXPECT_EQ(TempFilesBeside(folder), std::vector<std::string>{}) << "the half-done file is removed";
    RemoveDirectoryA(folder.c_str());
}
