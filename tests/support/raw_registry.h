// Direct registry access for tests: arrange and inspect values without going
// through the typed value objects under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rawreg {

struct Value {
    bool exists = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;

    std::string Text() const { return std::string(data.begin(), data.end()); }
    DWORD Dword() const
    {
        DWORD dw = 0;
        for (size_t i = 0; i < data.size() && i < 4; ++i) dw |= static_cast<DWORD>(data[i]) << (8 * i);
        return dw;
    }
};

inline bool KeyExists(HKEY root, const char* path)
{
    HKEY h;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// Removes a key with everything below it; an absent key is fine.
inline void DeleteTree(HKEY root, const char* path)
{
    HKEY h;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
    char name[256];
    for (;;) {
        DWORD cch = sizeof(name);
        if (RegEnumKeyExA(h, 0, name, &cch, NULL, NULL, NULL, NULL) != ERROR_SUCCESS) break;
        std::string sub = std::string(path) + "\\" + name;
        DeleteTree(root, sub.c_str());
    }
    RegCloseKey(h);
    RegDeleteKeyA(root, path);
}

inline bool Put(HKEY root, const char* path, const char* name, DWORD type, const void* data, DWORD cb)
{
    HKEY h;
    if (RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &h, NULL) != ERROR_SUCCESS) return false;
    LONG r = RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), cb);
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

inline bool PutDword(HKEY root, const char* path, const char* name, DWORD value)
{
    return Put(root, path, name, REG_DWORD, &value, sizeof(value));
}

// Stores the text with its terminating zero, as REG_SZ unless told otherwise.
inline bool PutText(HKEY root, const char* path, const char* name, const std::string& text, DWORD type = REG_SZ)
{
    return Put(root, path, name, type, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline Value Get(HKEY root, const char* path, const char* name)
{
    Value v;
    HKEY h;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &h) != ERROR_SUCCESS) return v;
    DWORD cb = 0;
    if (RegQueryValueExA(h, name, NULL, &v.type, NULL, &cb) == ERROR_SUCCESS) {
        v.data.resize(cb + 1);
        if (RegQueryValueExA(h, name, NULL, &v.type, v.data.data(), &cb) == ERROR_SUCCESS) {
            v.data.resize(cb);
            v.exists = true;
        }
    }
    RegCloseKey(h);
    if (!v.exists) v.data.clear();
    return v;
}

inline void DeleteValue(HKEY root, const char* path, const char* name)
{
    HKEY h;
    if (RegOpenKeyExA(root, path, 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS) return;
    RegDeleteValueA(h, name);
    RegCloseKey(h);
}

// Text of a REG_SZ as stored, without its terminating zero.
inline std::string StoredText(const Value& v)
{
    std::string s = v.Text();
    if (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

// True when the process runs under Wine rather than on Windows.
inline bool RunningUnderWine()
{
    HMODULE h = GetModuleHandleA("ntdll.dll");
    return h && GetProcAddress(h, "wine_get_version") != NULL;
}

// The program's footprint that start-up tests begin and end without: the
// settings key, the start-with-Windows entry and, in the user's own hive,
// the dial-up and VPN entries' options kept while it runs.
const char kCloakwallKey[] = "Software\\Cloakwall";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

inline void ForgetCloakwallInstall()
{
    DeleteTree(HKEY_LOCAL_MACHINE, kCloakwallKey);
    DeleteTree(HKEY_CURRENT_USER, kCloakwallKey);
    DeleteValue(HKEY_LOCAL_MACHINE, kRunKey, "Cloakwall");
}

} // namespace rawreg
