// Reading image files: the reader of the name's extension along the image
// search path, masks, and finding which registered extension a bare name
// has on disk.
#include <cstring>
#include <initializer_list>

#include "graphics/core/error.h"
#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/imagemodule.h"
#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kScratchHint = 0x10406;
/// Room behind a candidate name for an appended extension form.
constexpr size_t kExtensionRoom = sizeof(ImageFormatEntry::lower);

bool IsAbsolute(const char* name)
{
    if (name[0] == '\\' || name[0] == '/') {
        return true;
    }
    const char c = name[0];
    return ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && name[1] == ':';
}

// The extension of a file name: from the last "." that follows the last ":",
// "/" and "\"; null when there is none.
const char* ReadExtension(const char* name)
{
    const char* start = name;
    for (const char* p = name; *p; ++p) {
        if (*p == ':' || *p == '/' || *p == '\\') {
            start = p + 1;
        }
    }
    return std::strrchr(start, '.');
}

// Calls `visit` with each candidate full name of `name`: the name alone when
// it is absolute or the search path is empty, else each ";"-separated path
// directory immediately followed by the name. Each candidate is built in a
// buffer with `room` spare bytes after it, which `visit` may use. Stops when
// `visit` answers false. Nothing is visited when out of memory.
template <typename Visit> void ForEachCandidate(const char* name, size_t room, Visit visit)
{
    const char* path = ImageModuleGet()->path;
    const size_t nameLength = std::strlen(name);
    const bool alone = IsAbsolute(name) || path[0] == '\0';
    const size_t size = (alone ? 0 : std::strlen(path)) + nameLength + room + 1;
    // Readers may use the module's scratch buffer, so candidates get their own.
    auto* buffer = static_cast<char*>(MemoryAllocate(size, kScratchHint));
    if (!buffer) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
        return;
    }
    if (alone) {
        std::memcpy(buffer, name, nameLength + 1);
        visit(buffer, nameLength);
    } else {
        const char* directory = path;
        for (;;) {
            const char* end = std::strchr(directory, ';');
            const size_t length = end ? static_cast<size_t>(end - directory) : std::strlen(directory);
            std::memcpy(buffer, directory, length);
            std::memcpy(buffer + length, name, nameLength + 1);
            if (!visit(buffer, length + nameLength) || !end) {
                break;
            }
            directory = end + 1;
        }
    }
    MemoryFree(buffer);
}

} // namespace

Image* ImageReadByExtension(const char* fileName)
{
    const char* extension = ReadExtension(fileName);
    if (!extension) {
        return nullptr;
    }
    const ImageFormatEntry* entry = ImageModuleGet()->formatList;
    while (entry && !ImageFormatMatches(entry, extension)) {
        entry = entry->next;
    }
    if (!entry || !entry->reader) {
        return nullptr;
    }
    const ImageReader reader = entry->reader;
    Image* image = nullptr;
    ForEachCandidate(fileName, 0, [&](const char* candidate, size_t) {
        if (FileSystemManagerFileExists(candidate)) {
            image = reader(candidate);
        }
        return image == nullptr;
    });
    return image;
}

Image* ImageReadMasked(const char* fileName, const char* maskName)
{
    Image* image = ImageReadByExtension(fileName);
    if (!image || !maskName || maskName[0] == '\0') {
        return image;
    }
    Image* mask = ImageReadByExtension(maskName);
    if (!mask) {
        ImageDestroy(image);
        return nullptr;
    }
    const bool applied = ImageMakeMask(mask) && ImageApplyMask(image, mask);
    ImageDestroy(mask);
    if (!applied) {
        ImageDestroy(image);
        return nullptr;
    }
    return image;
}

const char* ImageFindFileExtension(const char* fileName)
{
    const char* found = nullptr;
    const ImageFormatEntry* formats = ImageModuleGet()->formatList;
    ForEachCandidate(fileName, kExtensionRoom, [&](char* candidate, size_t length) {
        for (const ImageFormatEntry* entry = formats; entry && !found; entry = entry->next) {
            for (const char* form : {entry->lower, entry->upper}) {
                std::memcpy(candidate + length, form, kExtensionRoom);
                if (FileSystemManagerFileExists(candidate)) {
                    found = form;
                    break;
                }
            }
        }
        return found == nullptr;
    });
    return found;
}
