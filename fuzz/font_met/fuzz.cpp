// Fuzz target for the ".met" font reader: the input is the file "fuzz.met"
// of a small in-memory file system (device "mem:") that also holds one
// valid glyph page, "page.png", and two bad ones: "flat.png" (cells of
// h = 3) and "lonely.png" (no second marker in column 0); the font path is
// "mem:". Nothing touches the disk. A font that reads is measured and its
// listed characters walked.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "graphics/core/filesystem.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/tests/fuzzengine.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/font.h"
#include "graphics/toolkit2d/imageformats.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/png.h"
#include "graphics/toolkit2d/tess.h"

namespace {

struct MemoryFile
{
    const char* name;
    std::vector<uint8_t> bytes;
};

std::vector<MemoryFile>& Files()
{
    static std::vector<MemoryFile> files = {
        {"fuzz.met", {}}, {"page.png", {}}, {"flat.png", {}}, {"lonely.png", {}}};
    return files;
}

constexpr int32_t kSlots = 4;

struct MemoryFileSystem
{
    FileSystem fs;
    FileSlot slots[kSlots];
};

/// The file a name selects (device prefix and case ignored), or -1.
int32_t Find(const char* fileName)
{
    const char* colon = std::strchr(fileName, ':');
    const char* name = colon ? colon + 1 : fileName;
    for (size_t i = 0; i < Files().size(); ++i) {
        if (strcasecmp(name, Files()[i].name) == 0) {
            return int32_t(i);
        }
    }
    return -1;
}

FileSlot* GetSlot(FileSystem* fs, int32_t index)
{
    return index < kSlots ? &reinterpret_cast<MemoryFileSystem*>(fs)->slots[index] : nullptr;
}

void Destroy(FileSystem* fs)
{
    MemoryFree(fs);
}

int32_t Open(FileSystem* fs, FileSlot* slot, const char* fileName, uint32_t access)
{
    const int32_t file = Find(fileName);
    if (file < 0 || (access & kFileAccessWrite)) {
        return kFileOpenFailed;
    }
    slot->fileSystem = fs;
    slot->handle = file;
    slot->size = Files()[size_t(file)].bytes.size();
    slot->position = 0;
    slot->state = kFileSlotIdle;
    slot->openFlag = 1;
    return kFileOpenOk;
}

void Close(FileSlot* slot)
{
    slot->state = kFileSlotFree;
    slot->openFlag = 0;
    slot->handle = -1;
}

size_t Read(FileSlot* slot, void* buffer, size_t n)
{
    const std::vector<uint8_t>& bytes = Files()[size_t(slot->handle)].bytes;
    const size_t left = slot->position < bytes.size() ? bytes.size() - slot->position : 0;
    const size_t count = n < left ? n : left;
    if (count) {
        std::memcpy(buffer, bytes.data() + slot->position, count);
    }
    slot->position += count;
    return count;
}

size_t Write(FileSlot*, const void*, size_t)
{
    return 0;
}

int64_t Seek(FileSlot* slot, int64_t offset, int32_t mode)
{
    const int64_t base = mode == kFileSeekBegin     ? 0
                         : mode == kFileSeekCurrent ? int64_t(slot->position)
                                                    : int64_t(slot->size);
    const int64_t target = base + offset;
    if (target < 0) {
        return -1;
    }
    slot->position = uint64_t(target);
    return target;
}

uint32_t Wait(FileSlot* slot, bool)
{
    return slot->state;
}

int32_t Release(FileSlot*)
{
    return 0;
}

int32_t EndOfFile(FileSlot* slot)
{
    return slot->position >= slot->size ? 1 : 0;
}

int32_t Exists(FileSystem*, const char* fileName)
{
    return Find(fileName) >= 0 ? 1 : 0;
}

using Markers = std::vector<std::pair<int32_t, int32_t>>;

/// A 32 x 15 page with magenta markers at the given pixels, as file `index`.
bool MakePage(size_t index, const Markers& markers)
{
    Image* image = ImageCreate(32, 15, 32);
    if (!image || !ImageAllocatePixels(image)) {
        return false;
    }
    std::memset(image->pixels, 0, size_t(image->stride) * 15);
    const uint8_t marker[4] = {255, 0, 255, 255};
    for (const auto& [x, y] : markers) {
        std::memcpy(image->pixels + y * image->stride + x * 4, marker, 4);
    }
    std::vector<uint8_t> bytes =
        StreamWrittenBytes([&](Stream* s) { return PngStreamWrite(image, s) != nullptr; });
    ImageDestroy(image);
    if (bytes.empty()) {
        return false;
    }
    Files()[index].bytes.assign(bytes.begin(), bytes.end());
    return true;
}

/// Two bands of h = 7 with three cells; cells of h = 3; no second marker.
bool MakePages()
{
    return MakePage(1, {{0, 0}, {6, 0}, {10, 0}, {11, 0}, {0, 7}, {5, 7}, {6, 7}, {0, 14}}) &&
           MakePage(2, {{0, 0}, {0, 3}, {6, 0}, {7, 0}}) && MakePage(3, {{0, 0}, {5, 0}});
}

bool Prepare()
{
    if (!FuzzEngineStart() || !FileSystemManagerOpen(0) || !Toolkit2dImageFormatsRegister() || !MakePages() ||
        !TessModuleOpen() || !PathModuleOpen() || !BrushModuleOpen() || !FontModuleOpen()) {
        return false;
    }
    auto* memoryFs = static_cast<MemoryFileSystem*>(MemoryAllocate(sizeof(MemoryFileSystem), 0));
    auto* device = static_cast<char*>(MemoryAllocate(5, 0));
    if (!memoryFs || !device) {
        return false;
    }
    std::memset(memoryFs, 0, sizeof(*memoryFs));
    std::memcpy(device, "mem:", 5);
    FileSystem& fs = memoryFs->fs;
    fs.slotCount = kSlots;
    fs.status = 2;
    fs.deviceName = device;
    fs.getSlot = GetSlot;
    fs.destroy = Destroy;
    fs.open = Open;
    fs.close = Close;
    fs.read = Read;
    fs.write = Write;
    fs.seek = Seek;
    fs.wait = Wait;
    fs.release = Release;
    fs.endOfFile = EndOfFile;
    fs.slotStatus = [](FileSlot* slot) { return slot->state; };
    fs.exists = Exists;
    std::strcpy(fs.name, "mem");
    for (FileSlot& slot : memoryFs->slots) {
        slot.state = kFileSlotFree;
        slot.handle = -1;
    }
    return FileSystemManagerRegister(&fs) && FontSetPath("mem:");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = Prepare();
    if (!ready) {
        return 0;
    }
    Files()[0].bytes.assign(data, data + size);
    if (Font* font = FontRead("fuzz")) {
        std::vector<uint32_t> codes(size_t(FontGetGlyphCount(font)) + 1);
        const int32_t count = FontGetCharacters(font, codes.data());
        for (int32_t i = 0; i < count && i < 8; ++i) {
            FontGetGlyph(font, codes[size_t(i)]);
        }
        FontGetStringWidth(font, "fuzz\0\0", 1.0f);
        FontDestroy(font);
    }
    // Textures read for a font stay in the font dictionary: drop them between runs.
    FontModuleClose();
    FontModuleOpen();
    FontSetPath("mem:");
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
