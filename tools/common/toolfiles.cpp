#include "tools/common/toolfiles.h"

#include <cstdio>

namespace {

template <class Container> bool ReadAll(const std::string& path, Container* out)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        return false;
    }
    out->clear();
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) {
        out->insert(out->end(), buffer, buffer + n);
    }
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

} // namespace

bool ToolReadFile(const std::string& path, std::vector<uint8_t>* bytes)
{
    return ReadAll(path, bytes);
}

bool ToolReadText(const std::string& path, std::string* text)
{
    return ReadAll(path, text);
}

bool ToolWriteFile(const std::string& path, const void* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && written;
}
