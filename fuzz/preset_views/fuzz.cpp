// PresetViewsLoad on arbitrary "./views.txt" content: long lines, missing
// numbers, huge or non-numeric values, no line end. Every view loaded has a
// name inside one line's length, and the list frees cleanly.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/shared/skel/win/presetviews.h"
#include "graphics/shared/skel/win/shellevent.h"

// Programs on the shell supply the application's handler; this one answers nothing.
ShellEventResult AppEventHandler(ShellEvent, void*)
{
    return ShellEventNotHandled;
}

namespace {

// The file systems rooted at a scratch folder, once per process.
// The scratch folder, with a file system rooted there as the default.
std::string gFolder;

bool Setup()
{
    char folder[] = "/tmp/fuzz_preset_views_XXXXXX";
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
    std::FILE* file = std::fopen((gFolder + "views.txt").c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    PresetViewsLoad();
    if (PresetViewCount() < 0 || PresetViewCurrent() != -1 || PresetViewCurrentName() != nullptr)
        std::abort();
    PresetViewsFree();
    return 0;
}
