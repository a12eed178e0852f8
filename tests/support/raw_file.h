// Whole files as raw bytes, for tests that check exactly what reached the disk.
// Plain C runtime calls in binary mode, so no text translation gets between
// the test and the bytes; usable from tests and fuzz targets alike.
#pragma once

#include <cstdio>
#include <string>

// The file's bytes; empty when it cannot be read.
inline std::string ReadRaw(const std::string& path)
{
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[8192];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

// Creates or truncates the file with exactly these bytes; false on failure.
inline bool WriteRaw(const std::string& path, const std::string& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
