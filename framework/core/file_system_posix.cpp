// POSIX half of the file-system seam: open(2), fsync(2), rename(2) and friends.
#include "file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Links followed before a chain counts as a loop, as the kernel does.
const int kMaxLinkHops = 40;
// Fresh names tried before the folder counts as unusable.
const int kMaxTempTries = 100;

void SetError(CString* pstrError, const char* pszWhat, int err)
{
    if (pstrError) pstrError->Format("%s: %s", pszWhat, std::strerror(err));
}

// The folder part of a path, with its slash; "" for a bare name.
std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links until the path names no link. Saving through a link
// must rewrite the file it points to; renaming over the link itself would
// turn it into a regular file and leave the real one with the old text. A
// dangling link gives the path it points to, where the file gets created.
bool ResolveLinks(std::string& path, int& err)
{
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) return true;
            err = errno;
            return false;
        }
        if (!S_ISLNK(st.st_mode)) return true;
        char buffer[4096];
        ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
        if (n < 0 || n >= static_cast<ssize_t>(sizeof buffer)) {
            err = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        std::string link(buffer, static_cast<size_t>(n));
        path = link[0] == '/' ? link : FolderOf(path) + link;
    }
    err = ELOOP;
    return false;
}

bool WriteAll(int fd, const char* p, size_t n, int& err)
{
    while (n > 0) {
        ssize_t k = write(fd, p, n);
        if (k < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

// Creates a file that did not exist, in the target's folder, under a name
// no other writer of the same target can be using; short, so that it fits
// wherever the target's own name fits. O_EXCL never follows a link nor
// reuses a name.
int CreateTemp(const std::string& target, std::string& rTemp, int& err)
{
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target);
    for (int attempt = 0; attempt < kMaxTempTries; ++attempt) {
        char name[40];
        unsigned mix = static_cast<unsigned>(getpid()) * 2654435761u ^ static_cast<unsigned>(std::time(nullptr)) ^
                       (counter.fetch_add(1) * 40503u);
        std::snprintf(name, sizeof name, "~cw%08x.tmp", mix);
        rTemp = folder + name;
        int fd = open(rTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        if (errno != EEXIST) break;
    }
    err = errno;
    return -1;
}

// Makes a rename in the folder durable: the new name is in the folder's own
// blocks, which fsync of the file does not write. File systems that cannot
// sync a folder say so with EINVAL; they have nothing to write.
bool SyncFolder(const std::string& target, int& err)
{
    std::string folder = FolderOf(target);
    if (folder.empty()) folder = ".";
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    bool ok = fsync(fd) == 0 || errno == EINVAL;
    if (!ok) err = errno;
    close(fd);
    return ok;
}

// Rewrites a file with several names where it stands. Renaming a new file
// over one name would leave the other names on the old content; the price is
// that a power cut halfway can leave this file half written. The whole new
// text is on the disk in the temporary file before the rewrite starts, so
// the caller removes it only after the rewrite succeeded.
bool RewriteInPlace(const std::string& target, const char* p, size_t n, int& err)
{
    int fd = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return false;
    }
    bool ok = WriteAll(fd, p, n, err);
    if (ok && ftruncate(fd, static_cast<off_t>(n)) != 0) ok = false, err = errno;
    if (ok && fsync(fd) != 0) ok = false, err = errno;
    if (close(fd) != 0 && ok) ok = false, err = errno;
    return ok;
}

} // namespace

BOOL CwFullPath(LPCTSTR lpszPath, CString& rFullPath)
{
    if (!lpszPath || !*lpszPath) return FALSE;
    CString full;
    if (lpszPath[0] == '/') {
        full = lpszPath;
    } else {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return FALSE;
        full = cwd;
        if (full.Right(1) != "/") full += '/';
        full += lpszPath;
    }
    if (full.GetLength() >= CW_MAX_PATH) return FALSE;
    rFullPath = full;
    return TRUE;
}

BOOL CwReplaceFileContents(LPCTSTR lpszPath, const void* pData, size_t nSize, CString* pstrError)
{
    if (!lpszPath || !*lpszPath) {
        SetError(pstrError, "No file name", ENOENT);
        return FALSE;
    }
    std::string target(lpszPath);
    int err = 0;
    if (!ResolveLinks(target, err)) {
        SetError(pstrError, "The file's link cannot be followed", err);
        return FALSE;
    }

    struct stat old;
    const bool exists = stat(target.c_str(), &old) == 0;
    if (exists) {
        if (!S_ISREG(old.st_mode)) {
            SetError(pstrError, "Not a regular file", S_ISDIR(old.st_mode) ? EISDIR : EINVAL);
            return FALSE;
        }
        // A file that may not be written stays as it is, although the folder
        // may well allow renaming over it.
        int probe = open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (probe < 0) {
            SetError(pstrError, "The file may not be written", errno);
            return FALSE;
        }
        close(probe);
    }

    std::string temp;
    int fd = CreateTemp(target, temp, err);
    if (fd < 0) {
        SetError(pstrError, "No temporary file can be created beside the file", err);
        return FALSE;
    }
    bool ok = WriteAll(fd, static_cast<const char*>(pData), nSize, err);
    if (ok && exists) {
        // Owner first: a change of owner clears the set-id bits that the
        // mode then puts back. Only the superuser may give a file away; for
        // anyone else the new file stays theirs, with the old mode.
        if (fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) ok = false, err = errno;
        if (ok && fchmod(fd, old.st_mode & 07777) != 0) ok = false, err = errno;
    }
    // The data reaches the disk before the name does: otherwise a power cut
    // after the rename can leave the name on an empty file.
    if (ok && fsync(fd) != 0) ok = false, err = errno;
    if (close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) {
        unlink(temp.c_str());
        SetError(pstrError, "The new content could not be written", err);
        return FALSE;
    }

    if (exists && old.st_nlink > 1) {
        if (!RewriteInPlace(target, static_cast<const char*>(pData), nSize, err)) {
            unlink(temp.c_str());
            SetError(pstrError, "The file could not be rewritten", err);
            return FALSE;
        }
        unlink(temp.c_str());
        return TRUE;
    }

    if (rename(temp.c_str(), target.c_str()) != 0) {
        err = errno;
        unlink(temp.c_str());
        SetError(pstrError, "The new file could not take the old one's place", err);
        return FALSE;
    }
    if (!SyncFolder(target, err)) {
        SetError(pstrError, "The folder could not be flushed to the disk", err);
        return FALSE;
    }
    return TRUE;
}

BOOL CwRemoveFile(LPCTSTR lpszPath)
{
    return unlink(lpszPath) == 0;
}

BOOL CwFileExists(LPCTSTR lpszPath)
{
    struct stat st;
    return stat(lpszPath, &st) == 0 && S_ISREG(st.st_mode);
}
