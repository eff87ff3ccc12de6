// Native paths and image search paths.
#include "graphics/shared/skel/win/shellpath.h"

#include <cstring>

#include "graphics/core/image.h"
#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kPathHint = kMemoryHintScratch;

} // namespace

char* ShellMakeNativePath(const char* path)
{
    if (!path)
        return nullptr;
    const size_t length = std::strlen(path);
    auto* copy = static_cast<char*>(MemoryAllocate(length + 1, kPathHint));
    if (!copy)
        return nullptr;
    for (size_t i = 0; i <= length; ++i)
        copy[i] = path[i] == '\\' ? '/' : path[i];
    return copy;
}

void ShellFreePath(char* path)
{
    MemoryFree(path);
}

char ShellGetPathSeparator()
{
    return '/';
}

std::string ShellImagePathForFile(const char* path)
{
    if (!path || !*path)
        return "";
    std::string name(path);
    for (char& c : name)
        if (c == '\\')
            c = '/';
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    std::string result = (hasExtension ? name.substr(0, dot) : name) + "/;";
    if (slash != std::string::npos)
        result += name.substr(0, slash + 1);
    return result + "textures/";
}

void ShellSetImagePathForFile(const char* path)
{
    ImageSetPath(ShellImagePathForFile(path).c_str());
}
