// Files dropped on the main window.
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/core/win32filesystem.h"
#include "graphics/shared/skel/win/shellevent.h"
#include "graphics/shared/skel/win/shellwin.h"
#include "platform/win32/dragdrop.h"

namespace {

constexpr const char* kDropFileSystem = "uncd";

// The "uncd" file system: the registered one when there is one, else a new
// one registered now. A new one that cannot be registered is destroyed.
FileSystem* DropFileSystem()
{
    if (FileSystemManagerIsRegistered(kDropFileSystem))
        return FileSystemManagerFind(kDropFileSystem);
    FileSystem* fs = Win32FileSystemCreate(20, "", kDropFileSystem);
    if (fs && !FileSystemManagerRegister(fs)) {
        FileSystemManagerUnregister(fs); // frees a file system that never joined the list
        fs = nullptr;
    }
    return fs;
}

} // namespace

void ShellDropFiles(HDROP drop)
{
    FileSystem* previous = FileSystemManagerGetDefault();
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFFu, nullptr, 0);
    std::vector<char> name;
    for (UINT i = count; i-- > 0;) {
        const UINT length = DragQueryFileA(drop, i, nullptr, 0);
        // Only absolute paths name a file wherever the program runs; a name
        // too long for the file systems is skipped rather than cut.
        if (length == 0 || length >= UINT(kFileSystemMaxPath))
            continue;
        name.assign(length + 1, '\0');
        DragQueryFileA(drop, i, name.data(), length + 1);
        if (name[0] != '/')
            continue;
        if (FileSystem* fs = DropFileSystem())
            FileSystemManagerSetDefault(fs);
        ShellEventHandler(ShellEventLoadFile, name.data());
    }
    FileSystemManagerSetDefault(previous);
    DragFinish(drop);
}
