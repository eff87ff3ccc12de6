#include "graphics/toolkit2d/imagetexdict.h"

#include <algorithm>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/stringstream.h"
#include "graphics/core/texture.h"
#include "graphics/core/texturemodule.h"

namespace {

constexpr uint32_t kHintImages = kMemoryHintObject | kPluginIdImageTexDictionary;
constexpr uint32_t kMaxTextures = 65535;
constexpr uint32_t kStoredExplicitMipmaps = 0x10000;
constexpr uint32_t kRecordBytes = 72;

void Raise(uint32_t code)
{
    ErrorRaise(kPluginIdImageTexDictionary, code);
}

void FreeImages(Image** images, int32_t count)
{
    if (images == nullptr) {
        return;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (images[i] != nullptr) {
            ImageDestroy(images[i]);
        }
    }
    MemoryFree(images);
}

int32_t LevelSide(int32_t side, int32_t level)
{
    return std::max(1, side >> level);
}

bool UsesMipmaps(uint32_t filterMode)
{
    return filterMode >= kTextureFilterMipNearest && filterMode <= kTextureFilterLinearMipLinear;
}

/// Stored images carry no gamma: a gamma-corrected image is mapped back
/// through the inverse table and loses its mark.
bool RemoveGamma(Image* image)
{
    if (!(image->flags & kImageFlagGammaCorrected)) {
        return true;
    }
    if (image->depth == 4 || image->depth == 8) {
        ImageInverseGammaCorrectPixels(image->palette, image->palette, 1 << image->depth);
    } else if (image->depth == 32) {
        for (int32_t y = 0; y < image->height; ++y) {
            uint8_t* row = image->pixels + static_cast<size_t>(y) * image->stride;
            ImageInverseGammaCorrectPixels(row, row, image->width);
        }
    } else {
        Raise(kErrorImageDepth);
        return false;
    }
    image->flags &= ~kImageFlagGammaCorrected;
    return true;
}

int32_t CountTextures(TexDictionary* dictionary)
{
    int32_t count = 0;
    TexDictionaryForAllTextures(
        dictionary, [](Texture* texture, void* data) { return ++*static_cast<int32_t*>(data), texture; },
        &count);
    return count;
}

struct WriteState
{
    Stream* stream;
    bool ok;
};

Texture* WriteTexture(Texture* texture, void* data)
{
    auto* state = static_cast<WriteState*>(data);
    const int32_t levels = RasterGetNumLevels(texture->raster);
    Image** images = levels > 0 ? RasterGetMipImages(texture->raster, levels, true) : nullptr;
    bool ok = images != nullptr && StreamWriteUInt32(state->stream, static_cast<uint32_t>(levels)) != nullptr;
    for (int32_t i = 0; ok && i < levels; ++i) {
        ok = RemoveGamma(images[i]) && ImageStreamWrite(images[i], state->stream) != nullptr;
    }
    FreeImages(images, std::max(levels, 0));
    state->ok = ok && TextureStreamWrite(texture, state->stream) != nullptr;
    return state->ok ? texture : nullptr;
}

struct SizeState
{
    uint32_t size;
    bool ok;
};

Texture* SizeTexture(Texture* texture, void* data)
{
    auto* state = static_cast<SizeState*>(data);
    const int32_t levels = RasterGetNumLevels(texture->raster);
    Image** images = levels > 0 ? RasterGetMipImages(texture->raster, levels, false) : nullptr;
    if (images == nullptr) {
        Raise(kErrorTexDictionary);
        state->ok = false;
        return nullptr;
    }
    state->size += 4;
    for (int32_t i = 0; i < levels; ++i) {
        state->size += ImageStreamGetSize(images[i]) + kChunkHeaderSize;
    }
    FreeImages(images, levels);
    state->size += TextureStreamGetSize(texture) + kChunkHeaderSize;
    return texture;
}

/// One texture's saved levels and settings, as read.
struct TextureSource
{
    Image** images;
    int32_t levels;
    uint32_t filterAddressing; ///< with kStoredExplicitMipmaps
    char name[kTextureNameSize];
    char mask[kTextureNameSize];
};

/// Levels beyond what the first image's larger side can halve into are
/// refused: they would only repeat 1x1.
bool LevelCountFits(const Image* first, int32_t levels)
{
    int32_t possible = 1;
    for (int32_t side = std::max(first->width, first->height); side > 1; side >>= 1) {
        ++possible;
    }
    return levels <= possible;
}

/// Reads `levels` image chunks into source->images (gamma-corrected).
bool ReadImages(Stream* stream, TextureSource* source)
{
    source->images = static_cast<Image**>(
        MemoryAllocateZeroed(static_cast<size_t>(source->levels), sizeof(Image*), kHintImages));
    if (source->images == nullptr) {
        Raise(kErrorOutOfMemory);
        return false;
    }
    for (int32_t i = 0; i < source->levels; ++i) {
        if (!StreamFindChunk(stream, kChunkImage, nullptr, nullptr)) {
            return false;
        }
        Image* image = ImageStreamRead(stream);
        if (image == nullptr) {
            return false;
        }
        source->images[i] = image;
        if (i == 0 && !LevelCountFits(image, source->levels)) {
            ErrorRaise(0, kErrorRead);
            return false;
        }
        if (!(image->flags & kImageFlagGammaCorrected) && !ImageGammaCorrect(image)) {
            return false;
        }
    }
    return true;
}

bool ReadLevelCount(Stream* stream, int32_t* levels)
{
    uint32_t count = 0;
    if (!StreamReadUInt32(stream, &count)) {
        return false;
    }
    if (count < 1 || count > kImageTexDictionaryMaxLevels) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    *levels = static_cast<int32_t>(count);
    return true;
}

/// The texture chunk's struct word and names (not its extension).
bool ReadTextureHead(Stream* stream, TextureSource* source)
{
    uint32_t structSize = 0;
    uint32_t stored = 0;
    if (!StreamFindChunk(stream, kChunkTexture, nullptr, nullptr) ||
        !StreamFindChunk(stream, kChunkStruct, &structSize, nullptr)) {
        return false;
    }
    if (structSize < 4) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    if (!StreamReadUInt32(stream, &stored) || (structSize > 4 && !StreamSkip(stream, structSize - 4))) {
        return false;
    }
    source->filterAddressing = stored;
    return StringStreamRead(source->name, sizeof(source->name), stream) != nullptr &&
           StringStreamRead(source->mask, sizeof(source->mask), stream) != nullptr;
}

/// A raster for the texture's levels: several levels make a mip-mapped
/// raster; one level with a mip-mapped filter makes one whose levels the
/// device generates. An 8-bit raster that the device makes at another size
/// than the image becomes a 32-bit (or 16-bit) one, and the images are
/// rescaled to the raster's level sizes.
Raster* BuildRaster(TextureSource* source)
{
    const uint32_t filter = source->filterAddressing & 0xFF;
    uint32_t type = kRasterTypeTexture;
    if (source->levels >= 2) {
        type |= kRasterFormatMipmap;
    } else if (UsesMipmaps(filter)) {
        type |= kRasterFormatMipmap | kRasterFormatAutoMipmap;
    }
    Image* first = source->images[0];
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t format = 0;
    if (!ImageFindRasterFormat(first, type, &width, &height, &depth, &format)) {
        return nullptr;
    }
    format |= type & (kRasterFormatMipmap | kRasterFormatAutoMipmap);
    Raster* raster = RasterCreate(width, height, depth, format);
    if (raster == nullptr) {
        return nullptr;
    }
    if (width == first->width && height == first->height) {
        return raster;
    }
    if (depth == 8) {
        RasterDestroy(raster);
        const uint32_t plain = format & ~(kRasterFormatPal8 | kRasterFormatPal4 | kRasterFormatPixelMask);
        raster = RasterCreate(width, height, 32, plain | kRasterFormat8888);
        if (raster == nullptr) {
            raster = RasterCreate(width, height, 16, plain | kRasterFormat1555);
        }
        if (raster == nullptr) {
            return nullptr;
        }
    }
    for (int32_t i = 0; i < source->levels; ++i) {
        Image* scaled = ImageScale(source->images[i], LevelSide(width, i), LevelSide(height, i));
        if (scaled == nullptr) {
            RasterDestroy(raster);
            return nullptr;
        }
        ImageDestroy(source->images[i]);
        source->images[i] = scaled;
    }
    return raster;
}

/// Writes the images into the raster's levels (explicit levels with the
/// raster's automatic-mip flag held off meanwhile).
bool FillRaster(Raster* raster, TextureSource* source)
{
    const int32_t rasterLevels = RasterGetNumLevels(raster);
    if (rasterLevels < 1) {
        return false;
    }
    const uint8_t autoMip = kRasterFormatAutoMipmap >> 8;
    const uint8_t savedFormat = raster->format;
    if (source->levels >= 2) {
        raster->format &= static_cast<uint8_t>(~autoMip);
    }
    bool ok = true;
    const int32_t levels = std::min(rasterLevels, source->levels);
    for (int32_t i = 0; ok && i < levels; ++i) {
        ok = RasterSetLevelFromImage(raster, i, source->images[i]);
    }
    raster->format = static_cast<uint8_t>((raster->format & ~autoMip) | (savedFormat & autoMip));
    return ok;
}

/// A texture from what was read; null (everything freed) on failure.
Texture* MakeTexture(TextureSource* source)
{
    // A stored V addressing of 0 means "as U".
    uint32_t stored = source->filterAddressing;
    if ((stored & 0xF000) == 0) {
        stored |= (stored & 0x0F00) << 4;
    }
    source->filterAddressing = stored;
    Raster* raster = BuildRaster(source);
    if (raster == nullptr) {
        return nullptr;
    }
    if (!FillRaster(raster, source)) {
        RasterDestroy(raster);
        return nullptr;
    }
    Texture* texture = TextureCreate(raster);
    if (texture == nullptr) {
        RasterDestroy(raster);
        return nullptr;
    }
    TextureSetName(texture, source->name);
    TextureSetMaskName(texture, source->mask);
    texture->filterAddressing = stored & 0xFFFF;
    return texture;
}

bool ReadImageForm(Stream* stream, TexDictionary* dictionary, uint32_t count)
{
    for (uint32_t t = 0; t < count; ++t) {
        TextureSource source = {};
        bool ok = ReadLevelCount(stream, &source.levels) && ReadImages(stream, &source) &&
                  ReadTextureHead(stream, &source);
        Texture* texture = ok ? MakeTexture(&source) : nullptr;
        FreeImages(source.images, source.levels);
        if (texture == nullptr) {
            return false;
        }
        TexDictionaryAddTexture(dictionary, texture);
        if (!PluginRegistryStreamRead(TextureGetRegistry(), stream, texture)) {
            return false;
        }
    }
    return true;
}

/// Copies a record's 32-byte name field, keeping at most 31 characters.
void RecordName(char* out, const uint8_t* field)
{
    std::memcpy(out, field, kTextureNameSize - 1);
    out[kTextureNameSize - 1] = '\0';
}

bool ReadRecordForm(Stream* stream, TexDictionary* dictionary, uint32_t count)
{
    for (uint32_t t = 0; t < count; ++t) {
        uint8_t record[kRecordBytes];
        if (StreamRead(stream, record, sizeof(record)) != sizeof(record)) {
            return false;
        }
        TextureSource source = {};
        RecordName(source.name, record);
        RecordName(source.mask, record + 32);
        const uint32_t levels = uint32_t(record[64]) | uint32_t(record[65]) << 8 |
                                uint32_t(record[66]) << 16 | uint32_t(record[67]) << 24;
        source.filterAddressing = uint32_t(record[68]) | uint32_t(record[69]) << 8 |
                                  uint32_t(record[70]) << 16 | uint32_t(record[71]) << 24;
        if (levels < 1 || levels > kImageTexDictionaryMaxLevels) {
            ErrorRaise(0, kErrorRead);
            return false;
        }
        source.levels = static_cast<int32_t>(levels);
        const bool ok = ReadImages(stream, &source);
        Texture* texture = ok ? MakeTexture(&source) : nullptr;
        FreeImages(source.images, source.levels);
        if (texture == nullptr) {
            return false;
        }
        TexDictionaryAddTexture(dictionary, texture);
    }
    return true;
}

} // namespace

bool RasterSetLevelFromImage(Raster* raster, int32_t level, Image* image)
{
    if (!RasterLock(raster, static_cast<uint8_t>(level), kRasterLockWrite | kRasterLockNoFetch)) {
        return false;
    }
    const bool ok = RasterSetFromImage(raster, image) != nullptr;
    RasterUnlock(raster);
    return ok;
}

Image** RasterGetMipImages(Raster* raster, int32_t levelCount, bool copyPixels)
{
    if (raster == nullptr || levelCount < 1) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    auto* images = static_cast<Image**>(
        MemoryAllocateZeroed(static_cast<size_t>(levelCount), sizeof(Image*), kHintImages));
    if (images == nullptr) {
        Raise(kErrorOutOfMemory);
        return nullptr;
    }
    const uint32_t format = static_cast<uint32_t>(raster->format) << 8;
    const int32_t depth = (format & kRasterFormatPal4) ? 4 : (format & kRasterFormatPal8) ? 8 : 32;
    for (int32_t i = 0; i < levelCount; ++i) {
        Image* image = ImageCreate(LevelSide(raster->width, i), LevelSide(raster->height, i), depth);
        images[i] = image;
        if (image == nullptr || !ImageAllocatePixels(image)) {
            Raise(kErrorOutOfMemory);
            FreeImages(images, levelCount);
            return nullptr;
        }
        if (copyPixels) {
            bool ok = RasterLock(raster, static_cast<uint8_t>(i), kRasterLockRead) != nullptr;
            if (ok) {
                ok = ImageSetFromRaster(image, raster) != nullptr;
                RasterUnlock(raster);
            }
            if (!ok) {
                FreeImages(images, levelCount);
                return nullptr;
            }
        }
    }
    return images;
}

uint32_t ImageTexDictionaryStreamGetSize(TexDictionary* dictionary)
{
    SizeState state = {4, true};
    TexDictionaryForAllTextures(dictionary, SizeTexture, &state);
    return state.ok ? state.size : 0;
}

TexDictionary* ImageTexDictionaryWrite(TexDictionary* dictionary, Stream* stream)
{
    const int32_t count = CountTextures(dictionary);
    if (static_cast<uint32_t>(count) > kMaxTextures) {
        Raise(ErrorCode(kErrorBadVersion, "Too many textures in dictionary (> 65536)"));
        return nullptr;
    }
    const uint32_t size = ImageTexDictionaryStreamGetSize(dictionary);
    const int16_t head[2] = {static_cast<int16_t>(count), static_cast<int16_t>(kImageTexDictionaryImages)};
    if (size == 0 || !ChunkHeaderWriteCurrent(stream, kChunkImageTexDictionary, size) ||
        !StreamWriteInt16(stream, head, sizeof(head))) {
        return nullptr;
    }
    WriteState state = {stream, true};
    TexDictionaryForAllTextures(dictionary, WriteTexture, &state);
    return state.ok ? dictionary : nullptr;
}

TexDictionary* ImageTexDictionaryRead(Stream* stream)
{
    int16_t head[2];
    if (!StreamReadInt16(stream, head, sizeof(head))) {
        return nullptr;
    }
    const uint32_t count = static_cast<uint16_t>(head[0]);
    const uint16_t form = static_cast<uint16_t>(head[1]);
    TexDictionary* dictionary = TexDictionaryCreate();
    if (dictionary == nullptr) {
        return nullptr;
    }
    // The image form reads its textures' extensions into the current
    // dictionary's textures, so the new one is current meanwhile.
    TexDictionary* previous = TexDictionaryGetCurrent();
    TexDictionarySetCurrent(dictionary);
    const bool ok = form == kImageTexDictionaryRecords ? ReadRecordForm(stream, dictionary, count)
                                                       : ReadImageForm(stream, dictionary, count);
    TexDictionarySetCurrent(previous);
    if (!ok) {
        // Nothing of a failed read stays: its textures go with it.
        TexDictionaryDestroy(dictionary);
        return nullptr;
    }
    return dictionary;
}
