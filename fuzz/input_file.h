// For the fuzz targets whose reader opens a file by path: each input is
// written to a file of this process's own under /tmp.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

/// Writes the input to "/tmp/olai-<stem>-<process id><extension>" and gives
/// that path; an empty path when the file cannot be made.
inline std::string InputFileWrite(const char* stem, const char* extension, const uint8_t* data, size_t size)
{
    std::string path = std::string("/tmp/olai-") + stem + "-" + std::to_string(getpid()) + extension;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return {};
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path;
}
