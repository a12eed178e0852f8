// Runs the settings probe as a separate process (its settings objects are
// built when it starts) and collects its Name=value lines.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace probe {

struct Result {
    bool started = false;
    DWORD exitCode = 0;
    std::map<std::string, std::string> values;
};

// The probe lives beside the test program.
inline std::string ProbePath()
{
    char sz[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, sz, MAX_PATH);
    std::string path(sz, n);
    return path.substr(0, path.find_last_of("\\/") + 1) + "settings_probe.exe";
}

inline Result Run(const std::string& arguments = std::string())
{
    Result result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE hRead = NULL, hWrite = NULL;
    if (!CreatePipe(&hRead, &hWrite, &sa, 0)) return result;
    SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string commandLine = "\"" + ProbePath() + "\" " + arguments;
    BOOL bStarted = CreateProcessA(NULL, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(hWrite);
    if (!bStarted) {
        CloseHandle(hRead);
        return result;
    }
    result.started = true;

    std::string output;
    char buf[512];
    DWORD cb;
    while (ReadFile(hRead, buf, sizeof(buf), &cb, NULL) && cb > 0) output.append(buf, cb);
    CloseHandle(hRead);
    WaitForSingleObject(pi.hProcess, 30000);
    GetExitCodeProcess(pi.hProcess, &result.exitCode);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);

    size_t pos = 0;
    while (pos < output.size()) {
        size_t end = output.find('\n', pos);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos) result.values[line.substr(0, eq)] = line.substr(eq + 1);
        pos = end + 1;
    }
    return result;
}

} // namespace probe
