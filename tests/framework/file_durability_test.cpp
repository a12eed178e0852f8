// A replace that returned TRUE survives a power cut: the new data is flushed
// before the rename puts it in place, and the folder after it. This program
// stands between the seam and the C library's fsync and rename (its own
// definitions win over the shared library's) and records the order of calls.
#include "framework/core/file_system.h"

#include <gtest/gtest.h>

#include "support/raw_file.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <mutex>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_mutex;
std::vector<std::string> g_calls;

std::string PathOfFd(int fd)
{
    char buf[PATH_MAX];
    ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf - 1);
    return n < 0 ? std::string("?") : std::string(buf, static_cast<size_t>(n));
}

void Record(const std::string& call)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_calls.push_back(call);
}

} // namespace

extern "C" int fsync(int fd)
{
    static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    Record("fsync " + PathOfFd(fd));
    return real(fd);
}

extern "C" int rename(const char* from, const char* to)
{
    static auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
    Record("rename " + std::string(from) + " " + to);
    return real(from, to);
}

TEST(FileDurabilityTest, DataIsFlushedBeforeTheRenameAndTheFolderAfterIt)
{
    char folderTemplate[] = "/tmp/cw_durable_XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    const std::string path = folder + "/settings.cfg";
    ASSERT_TRUE(WriteRaw(path, "old"));

    g_calls.clear();
    ASSERT_TRUE(CwReplaceFileContents(path.c_str(), "new", 3));
    std::vector<std::string> calls = g_calls;

    size_t renameAt = calls.size();
    std::string temp;
    for (size_t k = 0; k < calls.size(); ++k) {
        if (calls[k].compare(0, 7, "rename ") == 0) {
            renameAt = k;
            temp = calls[k].substr(7, calls[k].find(' ', 7) - 7);
        }
    }
    ASSERT_LT(renameAt, calls.size()) << "the new file takes the old one's place by a rename";
    EXPECT_EQ(calls[renameAt], "rename " + temp + " " + path);
    bool dataFlushed = false, folderFlushed = false;
    for (size_t k = 0; k < renameAt; ++k) dataFlushed = dataFlushed || calls[k] == "fsync " + temp;
    for (size_t k = renameAt + 1; k < calls.size(); ++k) folderFlushed = folderFlushed || calls[k] == "fsync " + folder;
    EXPECT_TRUE(dataFlushed) << "the new data reaches the disk before its name";
    EXPECT_TRUE(folderFlushed) << "the folder holding the new name reaches the disk after the rename";
    EXPECT_EQ(ReadRaw(path), "new");

    unlink(path.c_str());
    rmdir(folder.c_str());
}
