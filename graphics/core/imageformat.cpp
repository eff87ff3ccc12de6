// The image search path and the registry of image file formats by
// extension; writing through a format's writer.
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/image.h"
#include "graphics/core/imagemodule.h"
#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kFormatHint = 0x30406;
constexpr uint32_t kPathHint = 0x40406;
constexpr size_t kExtensionChars = 18;

// ASCII case changes, whatever the locale.
char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Fills `form` with "." + the first 18 characters of `extension`, cased.
void MakeForm(char* form, const char* extension, char (*toCase)(char))
{
    form[0] = '.';
    size_t i = 0;
    for (; i < kExtensionChars && extension[i]; ++i) {
        form[i + 1] = toCase(extension[i]);
    }
    std::memset(form + i + 1, 0, sizeof(ImageFormatEntry::lower) - i - 1);
}

} // namespace

void ImageFormatsRelease(ImageModule* module)
{
    while (module->formatList) {
        ImageFormatEntry* next = module->formatList->next;
        MemoryFreeListFree(module->formats, module->formatList);
        module->formatList = next;
    }
}

const char* ImageSetPath(const char* path)
{
    ImageModule* module = ImageModuleGet();
    const size_t size = std::strlen(path) + 1;
    if (size > module->pathCapacity) {
        auto* grown = static_cast<char*>(MemoryReallocate(module->path, size, kPathHint));
        if (!grown) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
            return nullptr;
        }
        module->path = grown;
        module->pathCapacity = size;
    }
    std::memmove(module->path, path, size);
    return module->path;
}

const char* ImageGetPath()
{
    return ImageModuleGet()->path;
}

int32_t ImageRegisterFileFormat(const char* extension, ImageReader reader, ImageWriter writer)
{
    ImageModule* module = ImageModuleGet();
    char lower[sizeof(ImageFormatEntry::lower)];
    MakeForm(lower, extension, Lower);
    ImageFormatEntry* entry = module->formatList;
    while (entry && std::strcmp(entry->lower, lower) != 0) {
        entry = entry->next;
    }
    if (!entry) {
        entry = static_cast<ImageFormatEntry*>(MemoryFreeListAlloc(module->formats, kFormatHint));
        if (!entry) {
            ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(ImageFormatEntry)));
            return 0;
        }
        std::memcpy(entry->lower, lower, sizeof(lower));
        MakeForm(entry->upper, extension, Upper);
        entry->reader = nullptr;
        entry->writer = nullptr;
        entry->next = module->formatList;
        module->formatList = entry;
    }
    if (reader) {
        entry->reader = reader;
    }
    if (writer) {
        entry->writer = writer;
    }
    return 1;
}

Image* ImageWrite(Image* image, const char* fileName)
{
    const char* extension = std::strrchr(fileName, '.');
    if (!extension) {
        return nullptr;
    }
    for (const ImageFormatEntry* entry = ImageModuleGet()->formatList; entry; entry = entry->next) {
        if (entry->writer && ImageFormatMatches(entry, extension)) {
            return entry->writer(image, fileName);
        }
    }
    return nullptr;
}

bool ImageFormatMatches(const ImageFormatEntry* entry, const char* extension)
{
    return std::strcmp(entry->lower, extension) == 0 || std::strcmp(entry->upper, extension) == 0;
}
