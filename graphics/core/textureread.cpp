// Reading textures from image files: finding each level's file along the
// image search path, fitting the image to the raster the device wants,
// sharing one palette between mip levels, reading "<name>m<level>" mip files
// or generating the levels by scaling.
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/palquant.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"
#include "graphics/core/texturemodule.h"

namespace {

/// More levels than any raster of 32-bit sizes can have.
constexpr int32_t kMaxLevels = 32;
constexpr uint8_t kFormatMipmap = kRasterFormatMipmap >> 8;
constexpr uint8_t kFormatAutoMipmap = kRasterFormatAutoMipmap >> 8;
constexpr uint8_t kFormatPal8 = kRasterFormatPal8 >> 8;
constexpr uint8_t kFormatPal4 = kRasterFormatPal4 >> 8;
constexpr uint32_t kLockLevelWrite = kRasterLockWrite | kRasterLockNoFetch;

bool IsPalettised(const Raster* raster)
{
    return (raster->format & (kFormatPal8 | kFormatPal4)) != 0;
}

int32_t PaletteDepth(const Raster* raster)
{
    return (raster->format & kFormatPal4) ? 4 : 8;
}

// Copies `text` into a file-name buffer; a longer text records 0x8000001E
// and is cut to what fits.
void CopyName(char* buffer, const char* text)
{
    const size_t length = text ? std::strlen(text) : 0;
    if (length >= kTextureFileNameSize) {
        ErrorRaise(0, ErrorCode(kErrorNameTooLong, text));
    }
    const size_t kept = length < kTextureFileNameSize ? length : kTextureFileNameSize - 1;
    std::memcpy(buffer, text ? text : "", kept);
    buffer[kept] = '\0';
}

// Appends `suffix`; false (buffer unchanged) when it does not fit.
bool Append(char* buffer, size_t capacity, const char* suffix)
{
    const size_t length = std::strlen(buffer);
    const size_t extra = std::strlen(suffix);
    if (length + extra >= capacity) {
        return false;
    }
    std::memcpy(buffer + length, suffix, extra + 1);
    return true;
}

// `name` followed by the registered extension its file has along the search
// path (none when no file is found: the reader sees the name as it is).
// False when the name with its extension does not fit: no such file can be read.
bool WithExtension(char* file, const char* name)
{
    CopyName(file, name);
    const char* extension = ImageFindFileExtension(file);
    return !extension || Append(file, kTextureFileNameSize, extension);
}

// The file names of one level: the originals through the mip-level name
// callback. False when they do not fit.
bool LevelNames(char* name, char* mask, const char* baseName, const char* baseMask, int32_t level,
                uint32_t creationFlags)
{
    CopyName(name, baseName);
    CopyName(mask, baseMask);
    return TextureGetMipmapNameCallback()(name, mask, kTextureFileNameSize, static_cast<uint8_t>(level),
                                          creationFlags) != 0;
}

// A new image of `depth` (4 or 8) whose palette is quantised from the 32-bit `image`.
Image* Quantise(const Image* image, int32_t depth)
{
    PalQuant quantiser;
    if (!PalQuantInit(&quantiser)) {
        return nullptr;
    }
    Image* result = ImageCreate(image->width, image->height, depth);
    const bool ok = result && ImageAllocatePixels(result) && PalQuantAddImage(&quantiser, image, 1.0f) &&
                    PalQuantResolvePalette(result->palette, 1 << depth, &quantiser) > 0 &&
                    PalQuantMatchImage(result->pixels, result->stride, depth, 0, &quantiser, image);
    PalQuantTerm(&quantiser);
    if (!ok && result) {
        ImageDestroy(result);
        result = nullptr;
    }
    return result;
}

// Reads the image of one level. With a width or height of 0 the device
// chooses the raster (all four outputs); otherwise the image is fitted to
// the size given. A palettised file stays palettised after scaling.
Image* ReadImageForRaster(const char* name, const char* mask, uint32_t typeAndFlags, int32_t* width,
                          int32_t* height, int32_t* depth, uint32_t* creationFlags)
{
    char file[kTextureFileNameSize];
    char maskFile[kTextureFileNameSize] = "";
    if (!WithExtension(file, name) || (mask && mask[0] && !WithExtension(maskFile, mask))) {
        return nullptr;
    }
    Image* image = ImageReadMasked(file, maskFile);
    if (!image) {
        return nullptr;
    }
    if ((*width == 0 || *height == 0) &&
        !ImageFindRasterFormat(image, typeAndFlags, width, height, depth, creationFlags)) {
        ImageDestroy(image);
        return nullptr;
    }
    if (image->width == *width && image->height == *height) {
        return image;
    }
    const int32_t readDepth = image->depth;
    Image* scaled = ImageScale(image, *width, *height);
    ImageDestroy(image);
    if (!scaled || readDepth == 32) {
        return scaled;
    }
    Image* quantised = Quantise(scaled, readDepth);
    ImageDestroy(scaled);
    return quantised;
}

void DestroyImages(Image** images, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        if (images[i]) {
            ImageDestroy(images[i]);
            images[i] = nullptr;
        }
    }
}

// Gives palettised rasters one palette for all levels, then gamma-corrects
// each image that is not corrected yet.
bool PrepareLevels(Raster* raster, Image** levels, int32_t count)
{
    if (IsPalettised(raster)) {
        uint8_t palette[256 * 4];
        if (!ImagesMakeCommonPalette(palette, levels, count, PaletteDepth(raster))) {
            return false;
        }
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!(levels[i]->flags & kImageFlagGammaCorrected) && !ImageGammaCorrect(levels[i])) {
            return false;
        }
    }
    return true;
}

// Writes each level's image into its locked level.
bool WriteLevels(Raster* raster, Image** levels, int32_t count)
{
    for (int32_t level = 0; level < count; ++level) {
        if (!RasterLock(raster, static_cast<uint8_t>(level), kLockLevelWrite)) {
            return false;
        }
        const bool written = RasterSetFromImage(raster, levels[level]) != nullptr;
        if (!RasterUnlock(raster) || !written) {
            return false;
        }
    }
    return true;
}

// Fills a raster without mip levels of its own making; takes the image.
bool FillSingle(Raster* raster, Image* image)
{
    Image* levels[1] = {image};
    const bool ok = PrepareLevels(raster, levels, 1) && RasterSetFromImage(raster, levels[0]);
    DestroyImages(levels, 1);
    return ok;
}

// Reads levels 1.. from their own files and fills every level; takes the
// level-0 image.
bool FillFromLevelFiles(Raster* raster, Image* image, const char* name, const char* mask,
                        uint32_t creationFlags)
{
    Image* levels[kMaxLevels] = {image};
    const int32_t count = RasterGetNumLevels(raster);
    bool ok = count >= 1 && count <= kMaxLevels;
    for (int32_t level = 1; ok && level < count; ++level) {
        char levelName[kTextureFileNameSize];
        char levelMask[kTextureFileNameSize];
        ok = LevelNames(levelName, levelMask, name, mask, level, creationFlags) &&
             RasterLock(raster, static_cast<uint8_t>(level), kLockLevelWrite);
        if (!ok) {
            break;
        }
        int32_t width = raster->width;
        int32_t height = raster->height;
        int32_t depth = raster->depth;
        uint32_t flags = static_cast<uint32_t>(raster->format) << 8 | raster->type;
        RasterUnlock(raster);
        levels[level] =
            ReadImageForRaster(levelName, levelMask, creationFlags, &width, &height, &depth, &flags);
        ok = levels[level] != nullptr;
    }
    ok = ok && PrepareLevels(raster, levels, count) && WriteLevels(raster, levels, count);
    DestroyImages(levels, kMaxLevels);
    return ok;
}

} // namespace

int32_t TextureMipmapNameDefault(char* name, char* mask, size_t capacity, uint8_t level, uint32_t)
{
    if (level < 1 || level > 15) {
        return 1;
    }
    const char suffix[3] = {'m', "0123456789abcdef"[level], '\0'};
    if (!Append(name, capacity, suffix)) {
        return 0;
    }
    return mask[0] == '\0' || Append(mask, capacity, suffix) ? 1 : 0;
}

int32_t ImagesMakeCommonPalette(uint8_t* palette, Image** images, int32_t count, int32_t depth)
{
    const size_t paletteBytes = static_cast<size_t>(4) << depth;
    bool shared = count > 0;
    for (int32_t i = 0; shared && i < count; ++i) {
        shared = images[i]->depth == depth && images[i]->palette &&
                 std::memcmp(images[i]->palette, images[0]->palette, paletteBytes) == 0;
    }
    if (shared) {
        std::memcpy(palette, images[0]->palette, paletteBytes);
        return 1;
    }
    PalQuant quantiser;
    if (!PalQuantInit(&quantiser)) {
        return 0;
    }
    bool ok = true;
    for (int32_t i = 0; ok && i < count; ++i) {
        ok = PalQuantAddImage(&quantiser, images[i], 1.0f) != nullptr;
    }
    ok = ok && PalQuantResolvePalette(palette, 1 << depth, &quantiser) > 0;
    for (int32_t i = 0; ok && i < count; ++i) {
        Image* matched = ImageCreate(images[i]->width, images[i]->height, depth);
        ok = matched && ImageAllocatePixels(matched) &&
             PalQuantMatchImage(matched->pixels, matched->stride, depth, 0, &quantiser, images[i]);
        if (!ok) {
            if (matched) {
                ImageDestroy(matched);
            }
            break;
        }
        std::memcpy(matched->palette, palette, paletteBytes);
        matched->flags |= images[i]->flags & kImageFlagGammaCorrected;
        ImageDestroy(images[i]);
        images[i] = matched;
    }
    PalQuantTerm(&quantiser);
    return ok ? 1 : 0;
}

Texture* TextureReadDefault(const char* name, const char* maskName)
{
    uint32_t creationFlags = kRasterTypeTexture;
    if (TextureGetMipmapping()) {
        creationFlags |=
            kRasterFormatMipmap | (TextureGetAutoMipmapping() ? uint32_t{kRasterFormatAutoMipmap} : 0u);
    }
    char levelName[kTextureFileNameSize];
    char levelMask[kTextureFileNameSize];
    if (!LevelNames(levelName, levelMask, name, maskName, 0, creationFlags)) {
        return nullptr;
    }
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t rasterFlags = 0;
    Image* image =
        ReadImageForRaster(levelName, levelMask, creationFlags, &width, &height, &depth, &rasterFlags);
    if (!image) {
        return nullptr;
    }
    Raster* raster = RasterCreate(width, height, depth, rasterFlags);
    if (!raster) {
        ImageDestroy(image);
        return nullptr;
    }
    // Levels of their own files only when the device does not make them.
    const bool levelFiles = (raster->format & kFormatMipmap) && !(raster->format & kFormatAutoMipmap);
    const bool filled = levelFiles ? FillFromLevelFiles(raster, image, name, maskName, creationFlags)
                                   : FillSingle(raster, image);
    Texture* texture = filled ? TextureCreate(raster) : nullptr;
    if (!texture) {
        RasterDestroy(raster);
        return nullptr;
    }
    TextureSetName(texture, name);
    TextureSetMaskName(texture, maskName);
    return texture;
}

Raster* TextureGenerateMipmapsDefault(Raster* raster, Image* image)
{
    const int32_t count = RasterGetNumLevels(raster);
    if (count < 1 || count > kMaxLevels) {
        return nullptr;
    }
    // Level 0 as an image of our own (32-bit), so that the caller's image is
    // never changed or destroyed.
    Image* levels[kMaxLevels] = {};
    levels[0] =
        image ? ImageCreate(image->width, image->height, 32) : ImageCreate(raster->width, raster->height, 32);
    bool ok =
        levels[0] && ImageAllocatePixels(levels[0]) &&
        (image ? ImageCopy(levels[0], image) != nullptr : ImageSetFromRaster(levels[0], raster) != nullptr);
    // Unlocking level 0 below must not generate the levels again.
    const uint8_t automatic = raster->format & kFormatAutoMipmap;
    raster->format &= static_cast<uint8_t>(~kFormatAutoMipmap);
    for (int32_t level = 1; ok && level < count; ++level) {
        ok = RasterLock(raster, static_cast<uint8_t>(level), kRasterLockRead) != nullptr;
        if (ok) {
            const int32_t width = raster->width;
            const int32_t height = raster->height;
            RasterUnlock(raster);
            levels[level] = ImageScale(levels[level - 1], width, height);
            ok = levels[level] != nullptr;
        }
    }
    ok = ok && PrepareLevels(raster, levels, count) && WriteLevels(raster, levels, count);
    raster->format |= automatic;
    DestroyImages(levels, kMaxLevels);
    return ok ? raster : nullptr;
}
