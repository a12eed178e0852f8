// The one safe file replace: what a rewritten file keeps, what it never
// touches, and what it refuses. Each test works in a folder of its own, so
// the folder's listing shows everything a replace left behind.
#include "framework/core/file_system.h"

#include <gtest/gtest.h>

#include "support/folder_listing.h"
#include "support/raw_file.h"

#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <sddl.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using V = std::vector<std::string>;

#ifdef _WIN32
const char kSep = '\\';
#else
const char kSep = '/';
#endif

// A fresh, empty folder under the test's temporary folder, ending with a separator.
std::string FreshFolder(const std::string& name)
{
    std::string folder = ::testing::TempDir() + "cw_replace_" + name;
#ifdef _WIN32
    for (const std::string& n : FolderNames(folder)) {
        SetFileAttributesA((folder + kSep + n).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((folder + kSep + n).c_str());
        RemoveDirectoryA((folder + kSep + n).c_str());
    }
    CreateDirectoryA(folder.c_str(), nullptr);
#else
    std::system(("rm -rf '" + folder + "' && mkdir -p '" + folder + "'").c_str());
#endif
    return folder + kSep;
}

BOOL Replace(const std::string& path, const std::string& bytes, CString* pError = nullptr)
{
    return CwReplaceFileContents(path.c_str(), bytes.data(), bytes.size(), pError);
}

} // namespace

TEST(FileReplaceTest, PutsTheWholeNewContentInPlaceAndTouchesNothingElse)
{
    std::string folder = FreshFolder("basic");
    std::string path = folder + "settings.cfg";
    // Names an older version or another program might have left beside it.
    ASSERT_TRUE(WriteRaw(path + ".cwtmp", "someone else's"));
    ASSERT_TRUE(WriteRaw(path + ".new", "another"));

    ASSERT_TRUE(Replace(path, "first\r\n")) << "a missing file is created";
    EXPECT_EQ(ReadRaw(path), "first\r\n");
    ASSERT_TRUE(Replace(path, std::string("second\0with nul", 15)));
    EXPECT_EQ(ReadRaw(path), std::string("second\0with nul", 15));
    ASSERT_TRUE(Replace(path, ""));
    EXPECT_EQ(ReadRaw(path), "");

    EXPECT_EQ(ReadRaw(path + ".cwtmp"), "someone else's");
    EXPECT_EQ(ReadRaw(path + ".new"), "another");
    EXPECT_EQ(FolderNames(folder), (V{"settings.cfg", "settings.cfg.cwtmp", "settings.cfg.new"}))
        << "no temporary file is left";
}

TEST(FileReplaceTest, TwoWritersOfOneFileEachReplaceItWhole)
{
    std::string folder = FreshFolder("writers");
    std::string path = folder + "shared.txt";
    const std::string a(20000, 'a'), b(30000, 'b');
    std::vector<int> failures(2, 0);
    std::vector<std::string> errors(2);
    auto writer = [&](size_t id, const std::string& text) {
        for (int k = 0; k < 40; ++k) {
            CString error;
            if (!Replace(path, text, &error)) {
                ++failures[id];
                errors[id] = error.GetString();
            }
        }
    };
    std::thread t1(writer, 0, a), t2(writer, 1, b);
    t1.join();
    t2.join();
    EXPECT_EQ(failures, (std::vector<int>{0, 0})) << errors[0] << " / " << errors[1];
    std::string now = ReadRaw(path);
    EXPECT_TRUE(now == a || now == b) << "a whole text, not a mix; size " << now.size();
    EXPECT_EQ(FolderNames(folder), V{"shared.txt"});
}

TEST(FileReplaceTest, RefusesWhatItMayNotReplaceAndLeavesNothingBehind)
{
    std::string folder = FreshFolder("refused");
    CString error;
    EXPECT_FALSE(Replace(folder + "missing" + kSep + "x.txt", "x", &error));
    EXPECT_FALSE(error.IsEmpty());

    std::string inner = folder + "dir";
#ifdef _WIN32
    ASSERT_TRUE(CreateDirectoryA(inner.c_str(), nullptr));
#else
    ASSERT_EQ(mkdir(inner.c_str(), 0755), 0);
#endif
    error.Empty();
    EXPECT_FALSE(Replace(inner, "x", &error)) << "a folder is no file";
    EXPECT_FALSE(error.IsEmpty());

    std::string locked = folder + "locked.txt";
    ASSERT_TRUE(WriteRaw(locked, "old"));
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(chmod(locked.c_str(), 0444), 0);
    if (geteuid() != 0) // permissions do not bind root
#endif
    {
        error.Empty();
        EXPECT_FALSE(Replace(locked, "new", &error)) << "a read-only file stays as it is";
        EXPECT_FALSE(error.IsEmpty());
        EXPECT_EQ(ReadRaw(locked), "old");
    }
    EXPECT_EQ(FolderNames(folder), (V{"dir", "locked.txt"}));
    EXPECT_TRUE(FolderNames(inner).empty());
#ifdef _WIN32
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST(FileReplaceTest, EveryNameOfAHardLinkedFileSeesTheNewContent)
{
    std::string folder = FreshFolder("hardlink");
    std::string path = folder + "list.txt", other = folder + "other-name.txt";
    ASSERT_TRUE(WriteRaw(path, "old content, longer than the new"));
#ifdef _WIN32
    ASSERT_TRUE(CreateHardLinkA(other.c_str(), path.c_str(), nullptr));
#else
    ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
#endif
    ASSERT_TRUE(Replace(path, "new"));
    EXPECT_EQ(ReadRaw(path), "new");
    EXPECT_EQ(ReadRaw(other), "new") << "the file is rewritten where it stands, so both names keep it";
    EXPECT_EQ(FolderNames(folder), (V{"list.txt", "other-name.txt"}));
}

TEST(FileReplaceTest, AFullPathOfTheLongestLengthIsReplacedToo)
{
    // The full path takes all CW_MAX_PATH - 1 characters, so a temporary
    // name made by adding to it would not fit a MAX_PATH buffer.
    std::string folder = FreshFolder("long");
    const std::string name = std::string(CW_MAX_PATH - 1 - static_cast<int>(folder.size()) - 4, 'n') + ".cfg";
    const std::string path = folder + name;
    CString full;
    ASSERT_TRUE(CwFullPath(path.c_str(), full));
    ASSERT_EQ(full.GetLength(), CW_MAX_PATH - 1);

    CString error;
    ASSERT_TRUE(Replace(path, "one", &error)) << error.GetString();
    ASSERT_TRUE(Replace(path, "two", &error)) << error.GetString();
    EXPECT_EQ(ReadRaw(path), "two");
    EXPECT_EQ(FolderNames(folder), V{name}) << "no temporary file is left";
}

#ifndef _WIN32
TEST(FileReplaceTest, KeepsTheFilesModeAndWritesThroughSymbolicLinks)
{
    std::string folder = FreshFolder("posix");
    std::string path = folder + "private.cfg";
    for (mode_t mode : {0600, 0640, 0604}) {
        ASSERT_TRUE(WriteRaw(path, "old"));
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        ASSERT_TRUE(Replace(path, "new"));
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode) << "a private file stays private";
    }

    // A relative link in another folder, and a link to that link.
    std::string sub = folder + "sub";
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    std::string link1 = sub + "/via-link.cfg", link2 = folder + "via-two-links.cfg";
    ASSERT_EQ(symlink("../private.cfg", link1.c_str()), 0);
    ASSERT_EQ(symlink(link1.c_str(), link2.c_str()), 0);
    ASSERT_TRUE(Replace(link2, "through the links"));
    EXPECT_EQ(ReadRaw(path), "through the links");
    struct stat st;
    ASSERT_EQ(lstat(link1.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    ASSERT_EQ(lstat(link2.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A dangling link creates the file it names.
    std::string dangling = folder + "dangling.cfg";
    ASSERT_EQ(symlink("created.cfg", dangling.c_str()), 0);
    ASSERT_TRUE(Replace(dangling, "made"));
    EXPECT_EQ(ReadRaw(folder + "created.cfg"), "made");
    EXPECT_EQ(FolderNames(folder), (V{"created.cfg", "dangling.cfg", "private.cfg", "sub", "via-two-links.cfg"}));
}
#else
namespace {

std::string DaclText(const std::string& path)
{
    DWORD size = 0;
    GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::string descriptor(size ? size : 1, '\0');
    if (!GetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor[0], size, &size)) return "?";
    LPSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(&descriptor[0], SDDL_REVISION_1,
                                                              DACL_SECURITY_INFORMATION, &text, nullptr))
        return "?";
    std::string out(text);
    LocalFree(text);
    return out;
}

// Makes a Unix symbolic link through ln, which Wine starts natively. Wine
// reports no exit code for such a program, so the link counts as made once
// it opens onto its target's content.
bool MakeUnixLink(const std::string& target, const std::string& unixLink, const std::string& winLink,
                  const std::string& expected)
{
    std::string line = "ln -s " + target + " " + unixLink;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA("Z:\\bin\\ln", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    for (int k = 0; k < 100 && ReadRaw(winLink) != expected; ++k) Sleep(50);
    return ReadRaw(winLink) == expected;
}

// The Unix path of a Win32 one, through Wine's own mapping.
std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * ToUnix)(LPCWSTR);
    ToUnix toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(path.begin(), path.end());
    char* unixPath = toUnix ? toUnix(wide.c_str()) : nullptr;
    std::string out = unixPath ? unixPath : "";
    if (unixPath) HeapFree(GetProcessHeap(), 0, unixPath);
    return out;
}

} // namespace

TEST(FileReplaceTest, WritesThroughASymbolicLink)
{
    // Wine 8 cannot make a usable link itself (CreateSymbolicLink returns
    // TRUE and leaves nothing that opens), but it opens the Unix links it
    // finds, as Windows opens its own: one is made here with ln.
    std::string folder = FreshFolder("win32link");
    std::string path = folder + "real.cfg", link = folder + "link.cfg";
    ASSERT_TRUE(WriteRaw(path, "old"));
    const std::string unixLink = UnixPath(link);
    ASSERT_FALSE(unixLink.empty());
    ASSERT_TRUE(MakeUnixLink("real.cfg", unixLink, link, "old"));

    ASSERT_TRUE(Replace(link, "through the link"));
    EXPECT_EQ(ReadRaw(path), "through the link");
    ASSERT_TRUE(WriteRaw(path, "changed at the target"));
    EXPECT_EQ(ReadRaw(link), "changed at the target") << "the link stays a link";
    EXPECT_EQ(FolderNames(folder), (V{"link.cfg", "real.cfg"}));
}

TEST(FileReplaceTest, KeepsTheFilesAttributesAndSecurity)
{
    std::string folder = FreshFolder("win32");
    std::string path = folder + "private.cfg";
    ASSERT_TRUE(WriteRaw(path, "old"));
    // Full access for administrators, and no one else: the file's own DACL,
    // protected from what the folder would pass on. Wine keeps no DACL of
    // a file's own (it reports one made from the Unix mode bits), so there
    // this checks only that the replace leaves what it reports as it was.
    PSECURITY_DESCRIPTOR pPrivate = nullptr;
    ASSERT_TRUE(
        ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;BA)", SDDL_REVISION_1, &pPrivate, nullptr));
    ASSERT_TRUE(SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, pPrivate));
    LocalFree(pPrivate);
    const std::string dacl = DaclText(path);
    ASSERT_NE(dacl, "?");
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes));

    ASSERT_TRUE(Replace(path, "new"));
    EXPECT_EQ(ReadRaw(path), "new");
    EXPECT_EQ(GetFileAttributesA(path.c_str()) & attributes, attributes);
    EXPECT_EQ(DaclText(path), dacl) << "a private file stays private";
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}
#endif
