#include "framework/core/file.h"
#include "framework/core/file_system.h"

#include <gtest/gtest.h>

#include "support/raw_file.h"
#include "support/temp_path.h"

#include <cstdio>
#include <string>

TEST(StdioFileTest, TextModeWritesCrLfAndReadsLinesBack)
{
    std::string path = TempPath("text");
    {
        CStdioFile file;
        ASSERT_TRUE(file.Open(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeText));
        file.WriteString("[Main]\nPort 8080\n\nlast");
        file.Close();
    }
    EXPECT_EQ(ReadRaw(path), "[Main]\r\nPort 8080\r\n\r\nlast");

    CStdioFile file(path.c_str(), CFile::modeRead | CFile::typeText);
    CString line;
    std::string seen;
    while (file.ReadString(line)) seen += std::string(line) + "|";
    EXPECT_EQ(seen, "[Main]|Port 8080||last|") << "a last line without a line end still counts";
    std::remove(path.c_str());
}

TEST(StdioFileTest, ReadsLinesOfAnyLengthWholeAndBothLineEnds)
{
    std::string path = TempPath("long");
    std::string longLine(100000, 'x');
    ASSERT_TRUE(WriteRaw(path, longLine + "\r\nunix\nlone\rcr\r\n"));
    CStdioFile file(path.c_str(), CFile::modeRead | CFile::typeText);
    CString line;
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_EQ(line.GetLength(), 100000);
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_STREQ(line, "unix");
    ASSERT_TRUE(file.ReadString(line));
    EXPECT_STREQ(line, "lone\rcr") << "a CR not followed by LF is data";
    EXPECT_FALSE(file.ReadString(line));
    file.Close();
    std::remove(path.c_str());
}

TEST(StdioFileTest, BoundedReadStringBehavesLikeFgets)
{
    std::string path = TempPath("fgets");
    ASSERT_TRUE(WriteRaw(path, "abcdef\r\ng"));
    CStdioFile file(path.c_str(), CFile::modeRead);
    char buf[5];
    ASSERT_NE(file.ReadString(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "abcd");
    ASSERT_NE(file.ReadString(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "ef\n");
    ASSERT_NE(file.ReadString(buf, sizeof buf), nullptr);
    EXPECT_STREQ(buf, "g");
    EXPECT_EQ(file.ReadString(buf, sizeof buf), nullptr);
    std::remove(path.c_str());
}

TEST(StdioFileTest, BinaryModeKeepsBytes)
{
    std::string path = TempPath("binary");
    {
        CStdioFile file(path.c_str(), CFile::modeCreate | CFile::modeWrite | CFile::typeBinary);
        file.WriteString("a\nb");
        file.Close();
    }
    EXPECT_EQ(ReadRaw(path), "a\nb");
    std::remove(path.c_str());
}

TEST(StdioFileTest, OpenFailureSaysWhyAndConstructorThrows)
{
    std::string missing = TempPath("missing/none.txt");
    CStdioFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(missing.c_str(), CFile::modeRead, &error));
    EXPECT_NE(error.m_cause, CFileException::none);

    bool thrown = false;
    try {
        CStdioFile f(missing.c_str(), CFile::modeRead);
    } catch (CFileException* e) {
        thrown = true;
        EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(CException)));
        e->Delete();
    }
    EXPECT_TRUE(thrown);
}

#ifndef _WIN32
TEST(StdioFileTest, WriteFailureOnAFullDiskThrowsAtCloseAtLatest)
{
    // /dev/full accepts the open and fails every write with ENOSPC.
    CStdioFile file;
    ASSERT_TRUE(file.Open("/dev/full", CFile::modeWrite | CFile::typeText));
    bool thrown = false;
    try {
        file.WriteString("some text\n");
        file.Close();
    } catch (CFileException* e) {
        thrown = true;
        EXPECT_EQ(e->m_cause, CFileException::diskFull);
        e->Delete();
    }
    EXPECT_TRUE(thrown);
}
#endif

TEST(FileSystemTest, ReplaceFileSwapsInTheNewContent)
{
    std::string target = TempPath("target");
    std::string source = TempPath("source");
    ASSERT_TRUE(WriteRaw(target, "old"));
    ASSERT_TRUE(WriteRaw(source, "new"));
    ASSERT_TRUE(CwReplaceFile(source.c_str(), target.c_str()));
    EXPECT_EQ(ReadRaw(target), "new");
    EXPECT_FALSE(CwFileExists(source.c_str()));
    EXPECT_TRUE(CwRemoveFile(target.c_str()));
    EXPECT_FALSE(CwRemoveFile(target.c_str()));
}

TEST(FileSystemTest, FullPathIsAbsoluteAndBounded)
{
    CString full;
    ASSERT_TRUE(CwFullPath("some.cfg", full));
    EXPECT_NE(full.Find("some.cfg"), -1);
    EXPECT_TRUE(full[0] == '/' || full[1] == ':');
    EXPECT_FALSE(CwFullPath(std::string(300, 'a').c_str(), full));
    EXPECT_FALSE(CwFullPath("", full));
}
