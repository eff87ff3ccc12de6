// HelpLoad on arbitrary bytes as "./readme.txt": every line is at most 77
// characters of 0x20 to 0x7F.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/shared/skel/win/menu.h"
#include "graphics/shared/skel/win/shellevent.h"

// Programs on the shell supply the application's handler; this one answers nothing.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

namespace {

// The scratch folder, with a file system rooted there as the default.
std::string gFolder;

bool Setup()
{
    char folder[] = "/tmp/fuzz_help_text_XXXXXX";
    if (!mkdtemp(folder))
        return false;
    gFolder = std::string(folder) + "/";
    FileSystem* fs = FileSystemManagerOpen(-1) ? Win32FileSystemCreate(20, gFolder.c_str(), "unc") : nullptr;
    if (!fs || !FileSystemManagerRegister(fs))
        return false;
    FileSystemManagerSetDefault(fs);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = Setup();
    if (!ready)
        std::abort();
    std::FILE* file = std::fopen((gFolder + "readme.txt").c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    if (HelpLoad() != 1)
        std::abort();
    for (int32_t i = 0; i < HelpLineCount(); ++i) {
        const char* line = HelpLine(i);
        const size_t n = std::strlen(line);
        if (n > 77)
            std::abort();
        for (size_t k = 0; k < n; ++k)
            if (static_cast<unsigned char>(line[k]) < 0x20 || static_cast<unsigned char>(line[k]) > 0x7F)
                std::abort();
    }
    HelpClear();
    return 0;
}
