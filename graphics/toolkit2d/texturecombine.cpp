#include "graphics/toolkit2d/texturecombine.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/imagetexdict.h"

namespace {

constexpr size_t kNameLimit = 30;

/// A 32-bit image of the raster's pixels; null on failure.
Image* ImageOfRaster(Raster* raster)
{
    Image* image = ImageCreate(raster->width, raster->height, 32);
    if (image == nullptr || !ImageAllocatePixels(image) || !ImageSetFromRaster(image, raster)) {
        if (image != nullptr) {
            ImageDestroy(image);
        }
        return nullptr;
    }
    return image;
}

Image* WhiteImage(int32_t width, int32_t height)
{
    Image* image = ImageCreate(width, height, 32);
    if (image == nullptr || !ImageAllocatePixels(image)) {
        if (image != nullptr) {
            ImageDestroy(image);
        }
        return nullptr;
    }
    for (int32_t y = 0; y < height; ++y) {
        std::memset(image->pixels + static_cast<size_t>(y) * image->stride, 0xFF,
                    static_cast<size_t>(width) * 4);
    }
    return image;
}

/// The colour image with the mask's alpha; null on failure.
Image* CombinedImage(Texture* colour, Texture* mask)
{
    Image* m = ImageOfRaster(mask->raster);
    if (m == nullptr) {
        return nullptr;
    }
    Image* c = colour != nullptr ? ImageOfRaster(colour->raster) : WhiteImage(m->width, m->height);
    if (c == nullptr) {
        ImageDestroy(m);
        return nullptr;
    }
    if (m->width != c->width || m->height != c->height) {
        Image* resampled = ImageCreate(c->width, c->height, 32);
        if (resampled == nullptr || !ImageAllocatePixels(resampled) || !ImageResample(resampled, m)) {
            if (resampled != nullptr) {
                ImageDestroy(resampled);
            }
            ImageDestroy(m);
            ImageDestroy(c);
            return nullptr;
        }
        ImageDestroy(m);
        m = resampled;
    }
    ImageMakeMask(m);
    Image* result = ImageApplyMask(c, m);
    ImageDestroy(m);
    if (result == nullptr) {
        ImageDestroy(c);
    }
    return result;
}

} // namespace

char* TextureNameInterleave(char* out, const char* first, const char* second)
{
    size_t written = 0;
    while ((*first != '\0' || *second != '\0') && written < kNameLimit) {
        if (*first != '\0') {
            out[written++] = *first++;
        }
        if (*second != '\0') {
            out[written++] = *second++;
        }
    }
    out[written] = '\0';
    return out;
}

Texture* TextureCreateFromColourAndMask(Texture* colour, Texture* mask)
{
    if (mask == nullptr || mask->raster == nullptr || (colour != nullptr && colour->raster == nullptr)) {
        ErrorRaise(kPluginIdImageTexDictionary, kErrorNullArgument);
        return nullptr;
    }
    Image* image = CombinedImage(colour, mask);
    if (image == nullptr) {
        return nullptr;
    }
    Texture* source = colour != nullptr ? colour : mask;
    uint32_t type = kRasterTypeTexture;
    if (source->raster->format & (kRasterFormatMipmap >> 8)) {
        type |= kRasterFormatMipmap | kRasterFormatAutoMipmap;
    }
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 0;
    uint32_t format = 0;
    Raster* raster = nullptr;
    if (ImageFindRasterFormat(image, type, &width, &height, &depth, &format)) {
        raster = RasterCreate(width, height, depth,
                              format | (type & (kRasterFormatMipmap | kRasterFormatAutoMipmap)));
    }
    if (raster != nullptr && !RasterSetLevelFromImage(raster, 0, image)) {
        RasterDestroy(raster);
        raster = nullptr;
    }
    ImageDestroy(image);
    Texture* texture = raster != nullptr ? TextureCreate(raster) : nullptr;
    if (texture == nullptr) {
        if (raster != nullptr) {
            RasterDestroy(raster);
        }
        return nullptr;
    }
    TextureSetFilterMode(texture, TextureGetFilterMode(source));
    const uint32_t u = TextureGetAddressingU(source);
    const uint32_t v = TextureGetAddressingV(source);
    TextureSetAddressingU(texture, u == v ? u : 0);
    TextureSetAddressingV(texture, u == v ? v : 0);
    char name[kTextureNameSize];
    TextureSetName(texture,
                   TextureNameInterleave(name, colour != nullptr ? colour->name : mask->name, mask->name));
    return texture;
}

Stream* TextureStreamWriteOptional(Stream* stream, Texture* texture)
{
    const int32_t present = texture != nullptr ? 1 : 0;
    if (!StreamWriteInt32(stream, &present, sizeof(present))) {
        return nullptr;
    }
    return texture == nullptr || TextureStreamWrite(texture, stream) ? stream : nullptr;
}

Stream* TextureStreamReadOptional(Stream* stream, Texture** texture)
{
    *texture = nullptr;
    int32_t present = 0;
    if (!StreamReadInt32(stream, &present, sizeof(present))) {
        return nullptr;
    }
    if (present == 0) {
        return stream;
    }
    if (!StreamFindChunk(stream, kChunkTexture, nullptr, nullptr)) {
        return nullptr;
    }
    *texture = TextureStreamRead(stream);
    if (*texture != nullptr) {
        return stream;
    }
    // A texture that cannot be found leaves the object without one; any
    // other failure (a malformed chunk) fails the read and stays pending.
    ErrorRecord error;
    ErrorGet(&error);
    if (error.code == kErrorNone ||
        (error.pluginId == kPluginIdCore && error.code == kErrorCoreTextureRead)) {
        return stream;
    }
    ErrorSet(&error);
    return nullptr;
}
