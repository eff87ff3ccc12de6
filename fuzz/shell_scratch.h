// For the shell's text-file fuzz targets: a scratch folder under /tmp made
// once per process and registered as the default file system, into which each
// input is written under the name the shell reads.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"

/// Writes the input as `name` in the scratch folder (made on the first call);
/// aborts when the folder or the file cannot be made.
inline void ScratchFileWrite(const char* name, const uint8_t* data, size_t size)
{
    static const std::string folder = [] {
        char pattern[] = "/tmp/fuzz_shell_XXXXXX";
        if (!mkdtemp(pattern))
            std::abort();
        std::string root = std::string(pattern) + "/";
        FileSystem* fs = FileSystemManagerOpen(-1) ? Win32FileSystemCreate(20, root.c_str(), "unc") : nullptr;
        if (!fs || !FileSystemManagerRegister(fs))
            std::abort();
        FileSystemManagerSetDefault(fs);
        return root;
    }();
    std::FILE* file = std::fopen((folder + name).c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
}
