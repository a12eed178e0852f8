// The registry records of the options the program changed on dial-up and VPN
// entries: a numbered key per entry with its name, flags and the three texts
// it had (a text it did not have is no value at all).
#include "browser/kept_connection_options.h"

#include <string>

namespace {

const char kKeptKey[] = "Software\\Cloakwall\\KeptConnections";

std::string RecordPath(const std::string& strIndex)
{
    return std::string(kKeptKey) + "\\" + strIndex;
}

// The text of a REG_SZ value; FALSE when it is absent or of another type.
BOOL ReadText(HKEY hKey, LPCSTR pszName, CString& rText)
{
    DWORD dwType = 0, cb = 0;
    if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS || dwType != REG_SZ)
        return FALSE;
    std::string text(cb + 1, '\0');
    if (RegQueryValueExA(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&text[0]), &cb) != ERROR_SUCCESS)
        return FALSE;
    text.resize(cb);
    // Up to the first zero: the stored terminator, or a shorter text.
    rText = CString(text.c_str());
    return TRUE;
}

BOOL WriteText(HKEY hKey, LPCSTR pszName, BOOL bPresent, const CString& strText)
{
    if (!bPresent) {
        LONG r = RegDeleteValueA(hKey, pszName);
        return r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strText.GetString()),
                          static_cast<DWORD>(strText.GetLength() + 1)) == ERROR_SUCCESS;
}

// Calls visit(index key name, open record key) for each record until it
// returns TRUE; the record's key is closed after the call.
template <class Visit>
void ForEachRecord(Visit visit)
{
    HKEY hKept;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeptKey, 0, KEY_READ, &hKept) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD cch = sizeof name;
        if (RegEnumKeyExA(hKept, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        HKEY hRecord;
        if (RegOpenKeyExA(hKept, name, 0, KEY_READ, &hRecord) != ERROR_SUCCESS) continue;
        BOOL bDone = visit(std::string(name), hRecord);
        RegCloseKey(hRecord);
        if (bDone) break;
    }
    RegCloseKey(hKept);
}

// The index key of the connection's record; empty when it has none.
std::string FindRecord(LPCSTR pszConnectionName)
{
    std::string found;
    ForEachRecord([&](const std::string& strIndex, HKEY hRecord) {
        CString strName;
        if (ReadText(hRecord, "Name", strName) && strName == pszConnectionName) found = strIndex;
        return !found.empty();
    });
    return found;
}

// A number no record uses yet.
std::string FreeIndex()
{
    for (unsigned n = 1;; ++n) {
        std::string strIndex = std::to_string(n);
        HKEY h;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, RecordPath(strIndex).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
            return strIndex;
        RegCloseKey(h);
    }
}

} // namespace

BOOL KeepConnectionOptions(LPCSTR pszConnectionName, const CConnectionOptionSet& options)
{
    std::string strIndex = FindRecord(pszConnectionName);
    if (strIndex.empty()) strIndex = FreeIndex();
    HKEY hRecord;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, RecordPath(strIndex).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &hRecord, nullptr) != ERROR_SUCCESS)
        return FALSE;
    // The name last: a record cut short by a refused write is never found,
    // so it can never be put back half.
    BOOL bOk = RegSetValueExA(hRecord, "Flags", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&options.dwFlags),
                              sizeof options.dwFlags) == ERROR_SUCCESS;
    bOk = bOk && WriteText(hRecord, "ProxyServer", options.bHasServer, options.strServer);
    bOk = bOk && WriteText(hRecord, "ProxyBypass", options.bHasBypass, options.strBypass);
    bOk = bOk && WriteText(hRecord, "AutoConfigUrl", options.bHasAutoConfigUrl, options.strAutoConfigUrl);
    bOk = bOk && WriteText(hRecord, "Name", TRUE, CString(pszConnectionName));
    RegCloseKey(hRecord);
    if (!bOk) RegDeleteKeyA(HKEY_CURRENT_USER, RecordPath(strIndex).c_str());
    return bOk;
}

BOOL FindKeptConnectionOptions(LPCSTR pszConnectionName, CConnectionOptionSet& rOptions)
{
    std::string strIndex = FindRecord(pszConnectionName);
    if (strIndex.empty()) return FALSE;
    HKEY hRecord;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RecordPath(strIndex).c_str(), 0, KEY_READ, &hRecord) != ERROR_SUCCESS)
        return FALSE;
    CConnectionOptionSet options;
    DWORD dwType = 0, cb = sizeof options.dwFlags;
    BOOL bOk = RegQueryValueExA(hRecord, "Flags", nullptr, &dwType, reinterpret_cast<BYTE*>(&options.dwFlags), &cb) ==
                   ERROR_SUCCESS &&
               dwType == REG_DWORD;
    options.bHasServer = ReadText(hRecord, "ProxyServer", options.strServer);
    options.bHasBypass = ReadText(hRecord, "ProxyBypass", options.strBypass);
    options.bHasAutoConfigUrl = ReadText(hRecord, "AutoConfigUrl", options.strAutoConfigUrl);
    RegCloseKey(hRecord);
    if (bOk) rOptions = options;
    return bOk;
}

void ForgetKeptConnectionOptions(LPCSTR pszConnectionName)
{
    std::string strIndex = FindRecord(pszConnectionName);
    if (!strIndex.empty()) RegDeleteKeyA(HKEY_CURRENT_USER, RecordPath(strIndex).c_str());
}

std::vector<CString> KeptConnectionNames()
{
    std::vector<CString> names;
    ForEachRecord([&](const std::string&, HKEY hRecord) {
        CString strName;
        if (ReadText(hRecord, "Name", strName)) names.push_back(strName);
        return FALSE;
    });
    return names;
}
