// Win32 half of the file-system seam: GetFullPathName, CreateFile,
// MoveFileEx and friends, on "\\?\" paths where a file is rewritten.
#include "file_system.h"

#include <windows.h>

#include <string>

namespace {

// Fresh names tried before the folder counts as unusable.
const int kMaxTempTries = 100;
// Renames tried while the target is held open by someone else.
const int kMaxMoveTries = 50;

void SetError(CString* pstrError, const char* pszWhat, DWORD dwError)
{
    if (!pstrError) return;
    char text[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0, text,
                             sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) text[--n] = '\0';
    if (n == 0)
        pstrError->Format("%s (error %lu)", pszWhat, static_cast<unsigned long>(dwError));
    else
        pstrError->Format("%s: %s", pszWhat, text);
}

std::wstring Widen(LPCTSTR psz)
{
    int n = MultiByteToWideChar(CP_ACP, 0, psz, -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, psz, -1, &out[0], n);
    out.resize(static_cast<size_t>(n - 1));
    return out;
}

// The full path in its "\\?\" form. A path that loads is at most MAX_PATH
// long, but the temporary name beside it can be longer; only this form lets
// the wide calls take such a name.
std::wstring LongForm(LPCTSTR psz)
{
    std::wstring path = Widen(psz);
    if (path.empty()) return path;
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return std::wstring();
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (n == 0 || n >= full.size()) return std::wstring();
    full.resize(n);
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::wstring FolderOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// What the target is now: whether it exists, its own final path (through any
// symbolic link, so the file it points to is the one rewritten and the link
// stays a link), and how many names it has.
struct CTargetInfo {
    bool bExists = false;
    bool bDirectory = false;
    DWORD dwLinks = 1;
};

bool InspectTarget(std::wstring& rPath, CTargetInfo& rInfo, DWORD& rError)
{
    HANDLE h = CreateFileW(rPath.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        rError = GetLastError();
        // Not there: the new file gets created under this name.
        return rError == ERROR_FILE_NOT_FOUND;
    }
    rInfo.bExists = true;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(h, &info)) {
        rInfo.bDirectory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        rInfo.dwLinks = info.nNumberOfLinks;
    }
    // Symbolic links came with Vista, and so did this call; the program
    // still starts where neither exists.
    typedef DWORD(WINAPI * FinalPathFn)(HANDLE, LPWSTR, DWORD, DWORD);
    static const FinalPathFn pFinalPath = reinterpret_cast<FinalPathFn>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW")));
    const DWORD dwFlags = 0; // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
    DWORD n = pFinalPath ? pFinalPath(h, nullptr, 0, dwFlags) : 0;
    if (n > 0) {
        std::wstring resolved(n, L'\0');
        DWORD got = pFinalPath(h, &resolved[0], n, dwFlags);
        if (got > 0 && got < n) rPath = resolved.substr(0, got);
    }
    CloseHandle(h);
    return true;
}

bool WriteAll(HANDLE h, const char* p, size_t n)
{
    while (n > 0) {
        DWORD chunk = n > 0x100000 ? 0x100000 : static_cast<DWORD>(n), written = 0;
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return false;
        p += written;
        n -= written;
    }
    return true;
}

// Creates a file that did not exist, with a short name in the target's
// folder: short so that it fits wherever the target fits, fresh so that no
// other writer of the same target shares it and nothing there is overwritten.
HANDLE CreateTemp(const std::wstring& target, std::wstring& rTemp)
{
    static volatile LONG counter = 0;
    const std::wstring folder = FolderOf(target);
    for (int attempt = 0; attempt < kMaxTempTries; ++attempt) {
        wchar_t name[32];
        DWORD mix = GetCurrentProcessId() * 2654435761u ^ GetTickCount() ^
                    (static_cast<DWORD>(InterlockedIncrement(&counter)) * 40503u);
        wsprintfW(name, L"~cw%08lx.tmp", mix);
        rTemp = folder + name;
        HANDLE h = CreateFileW(rTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        DWORD e = GetLastError();
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) break;
    }
    return INVALID_HANDLE_VALUE;
}

// Rewrites a file with several names where it stands: replacing one name
// would leave the others on the old content. The price is that a power cut
// halfway can leave this file half written; the whole new text is on the
// disk in the temporary file until the rewrite succeeded.
bool RewriteInPlace(const std::wstring& target, const char* p, size_t n)
{
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = WriteAll(h, p, n) && SetEndOfFile(h) && FlushFileBuffers(h);
    DWORD e = GetLastError();
    CloseHandle(h);
    SetLastError(e);
    return ok;
}

// Renames the temporary file over the target. A target that someone has
// open without sharing its deletion (a reader, a virus scanner, another save
// looking at it) refuses the rename for that moment only: it is tried again
// for about half a second before the save counts as failed. Write-through
// has the rename itself on the disk before the call returns, as the flush of
// the folder does on POSIX.
bool MoveIntoPlace(const std::wstring& temp, const std::wstring& target)
{
    for (int attempt = 0; attempt < kMaxMoveTries; ++attempt) {
        if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        DWORD e = GetLastError();
        if (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION) return false;
        Sleep(10);
        SetLastError(e);
    }
    return false;
}

// Puts the source's attributes and security descriptor on the copy. The
// owner can only be given away with a privilege; without it the copy keeps
// its maker as owner but still gets the source's DACL.
bool CopyProtection(const std::wstring& source, const std::wstring& copy)
{
    const SECURITY_INFORMATION all =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD size = 0;
    GetFileSecurityW(source.c_str(), all, nullptr, 0, &size);
    if (size > 0) {
        std::string descriptor(size, '\0');
        PSECURITY_DESCRIPTOR pDescriptor = &descriptor[0];
        if (!GetFileSecurityW(source.c_str(), all, pDescriptor, size, &size)) return false;
        if (!SetFileSecurityW(copy.c_str(), all, pDescriptor) &&
            !SetFileSecurityW(copy.c_str(), DACL_SECURITY_INFORMATION, pDescriptor))
            return false;
    }
    DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    return (attributes & kept) == 0 || SetFileAttributesW(copy.c_str(), attributes & kept) != 0;
}

} // namespace

BOOL CwFullPath(LPCTSTR lpszPath, CString& rFullPath)
{
    if (!lpszPath || !*lpszPath) return FALSE;
    char buffer[CW_MAX_PATH];
    DWORD n = GetFullPathNameA(lpszPath, CW_MAX_PATH, buffer, nullptr);
    if (n == 0 || n >= CW_MAX_PATH) return FALSE;
    rFullPath = buffer;
    return TRUE;
}

BOOL CwReplaceFileContents(LPCTSTR lpszPath, const void* pData, size_t nSize, CString* pstrError)
{
    std::wstring target = lpszPath && *lpszPath ? LongForm(lpszPath) : std::wstring();
    if (target.empty()) {
        SetError(pstrError, "The file name is not valid", ERROR_INVALID_NAME);
        return FALSE;
    }
    CTargetInfo info;
    DWORD dwError = 0;
    if (!InspectTarget(target, info, dwError)) {
        SetError(pstrError, "The file cannot be reached", dwError);
        return FALSE;
    }
    if (info.bDirectory) {
        SetError(pstrError, "Not a file", ERROR_DIRECTORY);
        return FALSE;
    }
    if (info.bExists) {
        // A file that may not be written (read-only, or its ACL says so)
        // stays as it is, although replacing it might be allowed. The
        // attribute is looked at by itself too: an administrator's open
        // succeeds under Wine whatever it says.
        DWORD attributes = GetFileAttributesW(target.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            SetError(pstrError, "The file may not be written", ERROR_ACCESS_DENIED);
            return FALSE;
        }
        HANDLE probe =
            CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            SetError(pstrError, "The file may not be written", GetLastError());
            return FALSE;
        }
        CloseHandle(probe);
    }

    std::wstring temp;
    HANDLE h = CreateTemp(target, temp);
    if (h == INVALID_HANDLE_VALUE) {
        SetError(pstrError, "No temporary file can be created beside the file", GetLastError());
        return FALSE;
    }
    // The data reaches the disk before the name does.
    bool ok = WriteAll(h, static_cast<const char*>(pData), nSize) && FlushFileBuffers(h);
    dwError = GetLastError();
    CloseHandle(h);
    if (!ok) {
        DeleteFileW(temp.c_str());
        SetError(pstrError, "The new content could not be written", dwError);
        return FALSE;
    }

    if (info.bExists && info.dwLinks > 1) {
        ok = RewriteInPlace(target, static_cast<const char*>(pData), nSize);
        dwError = GetLastError();
        DeleteFileW(temp.c_str());
        if (!ok) SetError(pstrError, "The file could not be rewritten", dwError);
        return ok ? TRUE : FALSE;
    }

    // A new file gets the folder's inherited security and plain attributes;
    // the old one's are put on it before it takes the old one's place, so a
    // private file stays private. ReplaceFile would do this on Windows, but
    // Wine's keeps neither, and when two saves meet it fails one of them and
    // leaves its own backup files ("rfc*.tmp") in the folder. A rename
    // keeps one step on both.
    if (info.bExists && !CopyProtection(target, temp)) {
        dwError = GetLastError();
        DeleteFileW(temp.c_str());
        SetError(pstrError, "The file's security could not be kept", dwError);
        return FALSE;
    }
    ok = MoveIntoPlace(temp, target);
    if (!ok) {
        dwError = GetLastError();
        DeleteFileW(temp.c_str());
        SetError(pstrError, "The new file could not take the old one's place", dwError);
        return FALSE;
    }
    return TRUE;
}

BOOL CwRemoveFile(LPCTSTR lpszPath)
{
    return DeleteFileA(lpszPath) != 0;
}

BOOL CwFileExists(LPCTSTR lpszPath)
{
    DWORD attributes = GetFileAttributesA(lpszPath);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
