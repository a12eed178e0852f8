// The names in a folder, for tests that check a save left nothing beside its
// file. Header-only over FindFirstFile or opendir, so any test can use it.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

// The folder part of a path, with its separator ("" for a bare name).
inline std::string FolderPartOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Every name in the folder except "." and "..", sorted.
inline std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    const std::string dir = folder.empty() ? std::string(".") : folder;
#ifdef _WIN32
    WIN32_FIND_DATAA data;
    std::string pattern = dir;
    if (pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    HANDLE h = FindFirstFileA((pattern + "*").c_str(), &data);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(h, &data));
        FindClose(h);
    }
#else
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
#endif
    std::sort(names.begin(), names.end());
    return names;
}
