// A small program that links the settings objects the way the application
// does, so their static initialisation (each setting read) runs at its start.
// It prints every setting as Name=value; "set Name Value" arguments are
// applied with Set first, "register" makes the start-up's registration
// of the start with Windows, and "bypass" its look at the bypass list.
#include "settings/proxy_bypass_setting.h"
#include "settings/run_at_startup_setting.h"
#include "settings/settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct DwordSetting {
    const char* name;
    CRegDwordValue* value;
};
struct StringSetting {
    const char* name;
    CRegStringValue* value;
};

const DwordSetting kDwords[] = {
    {"LocalPort", &g_regLocalPort},
    {"UseProxy", &g_regUseProxy},
    {"EnableJS", &g_regEnableJS},
    {"EnableActiveX", &g_regEnableActiveX},
    {"ClearTmpFiles", &g_regClearTmpFiles},
    {"ClearCookies", &g_regClearCookies},
    {"DeleteAddresses", &g_regDeleteAddresses},
    {"DeleteHistory", &g_regDeleteHistory},
    {"Minimize", &g_regMinimize},
    {"RunFirst", &g_regRunFirst},
};
const StringSetting kStrings[] = {
    {"AppPath", &g_regAppPath},   {"ProxyName", &g_regProxyName},     {"UpdateServer", &g_regUpdateServer},
    {"JudgeUrl", &g_regJudgeUrl}, {"ProxyBypass", &g_regProxyBypass},
};

bool Apply(const char* name, const char* value)
{
    for (const DwordSetting& s : kDwords) {
        if (std::strcmp(s.name, name) == 0) {
            s.value->Set(static_cast<DWORD>(std::strtoul(value, NULL, 10)));
            return true;
        }
    }
    for (const StringSetting& s : kStrings) {
        if (std::strcmp(s.name, name) == 0) {
            s.value->Set(value);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc;) {
        if (std::strcmp(argv[i], "register") == 0) {
            RegisterRunAtStartupFromSettings();
            i += 1;
            continue;
        }
        if (std::strcmp(argv[i], "bypass") == 0) {
            ReplaceEarlierDefaultBypass();
            i += 1;
            continue;
        }
        if (i + 2 >= argc || std::strcmp(argv[i], "set") != 0 || !Apply(argv[i + 1], argv[i + 2])) {
            std::fprintf(stderr, "usage: settings_probe [set Name Value | register | bypass]...\n");
            return 2;
        }
        i += 3;
    }
    std::printf("AppPathCopy=%s\n", g_strAppPath.GetString());
    for (const StringSetting& s : kStrings) std::printf("%s=%s\n", s.name, s.value->Get().GetString());
    for (const DwordSetting& s : kDwords) std::printf("%s=%lu\n", s.name, static_cast<unsigned long>(s.value->Get()));
    return 0;
}
