// Image records, their pixel blocks, copies with depth conversion, masks,
// gamma correction and the image module's lifecycle.
#include "graphics/core/image.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/imagemodule.h"
#include "graphics/core/memory.h"
#include "graphics/core/pluginids.h"

namespace {

constexpr uint32_t kImageListHint = 0x40018;
constexpr uint32_t kImageHint = 0x30018;
constexpr uint32_t kFormatListHint = 0x40406;
constexpr uint32_t kModuleHint = 0x40406;
constexpr size_t kInitialBufferSize = 256;

PluginRegistry g_imageRegistry = PluginRegistryMake(sizeof(Image));
int32_t g_moduleOffset = -1;
int32_t g_imagesPerBlock = 128;
int32_t g_imageBlocks = 1;
int32_t g_formatsPerBlock = 3;
int32_t g_formatBlocks = 1;

void Raise(uint32_t code)
{
    ErrorRaise(0, code);
}

bool ValidDepth(int32_t depth)
{
    return depth == 4 || depth == 8 || depth == 32;
}

size_t PaletteBytes(int32_t depth)
{
    return depth == 4 || depth == 8 ? static_cast<size_t>(4) << depth : 0;
}

size_t BytesPerPixel(int32_t depth)
{
    return depth == 32 ? 4 : 1;
}

uint8_t* Row(const Image* image, int32_t y)
{
    return image->pixels + static_cast<size_t>(y) * static_cast<size_t>(image->stride);
}

// Replaces the image's pixels by those of `donor` (which gives them up).
void TakePixels(Image* image, Image* donor)
{
    ImageFreePixels(image);
    image->depth = donor->depth;
    image->stride = donor->stride;
    image->pixels = donor->pixels;
    image->palette = donor->palette;
    image->flags |= donor->flags & kImageFlagOwnsPixels;
    donor->pixels = nullptr;
    donor->palette = nullptr;
    donor->flags &= ~kImageFlagOwnsPixels;
}

} // namespace

ImageModule* ImageModuleGet()
{
    return static_cast<ImageModule*>(EngineGetModuleData(g_moduleOffset));
}

int32_t ImageStrideFor(int32_t width, int32_t depth)
{
    const int64_t bytes = static_cast<int64_t>(width) * ((depth + 7) / 8);
    const int64_t stride = (bytes + 3) & ~int64_t{3};
    return stride > INT32_MAX ? -1 : static_cast<int32_t>(stride);
}

const uint8_t* ImagePaletteColour(const Image* image, uint8_t index)
{
    const uint32_t mask = image->depth == 4 ? 0x0F : 0xFF;
    return image->palette + (index & mask) * 4u;
}

Image* ImageCreate(int32_t width, int32_t height, int32_t depth)
{
    ImageModule* module = ImageModuleGet();
    auto* image = static_cast<Image*>(MemoryFreeListAlloc(module->images, kImageHint));
    if (!image) {
        Raise(ErrorCode(kErrorOutOfMemory, g_imageRegistry.objectSize));
        return nullptr;
    }
    image->flags = 0;
    image->width = width;
    image->height = height;
    image->depth = depth;
    image->stride = 0;
    image->pixels = nullptr;
    image->palette = nullptr;
    if (!PluginRegistryConstruct(&g_imageRegistry, image)) {
        MemoryFreeListFree(module->images, image);
        return nullptr;
    }
    return image;
}

int32_t ImageDestroy(Image* image)
{
    ImageFreePixels(image);
    PluginRegistryDestruct(&g_imageRegistry, image);
    MemoryFreeListFree(ImageModuleGet()->images, image);
    return 1;
}

Image* ImageAllocatePixels(Image* image)
{
    const int32_t stride = ImageStrideFor(image->width, image->depth);
    if (!ValidDepth(image->depth) || image->width < 0 || image->height < 0 || stride < 0) {
        Raise(kErrorImageSize);
        return nullptr;
    }
    const size_t pixelBytes = static_cast<size_t>(stride) * static_cast<size_t>(image->height);
    const size_t total = pixelBytes + PaletteBytes(image->depth);
    // One spare byte keeps an empty image's block a real allocation.
    auto* block = static_cast<uint8_t*>(MemoryAllocate(total + 1, kImageHint));
    if (!block) {
        Raise(ErrorCode(kErrorOutOfMemory, total));
        return nullptr;
    }
    ImageFreePixels(image);
    image->stride = stride;
    image->pixels = block;
    image->palette = PaletteBytes(image->depth) ? block + pixelBytes : nullptr;
    image->flags |= kImageFlagOwnsPixels;
    return image;
}

Image* ImageFreePixels(Image* image)
{
    if (image->flags & kImageFlagOwnsPixels) {
        MemoryFree(image->pixels);
    }
    image->pixels = nullptr;
    image->palette = nullptr;
    image->flags &= ~kImageFlagOwnsPixels;
    return image;
}

Image* ImageResize(Image* image, int32_t width, int32_t height)
{
    if (!(image->flags & kImageFlagOwnsPixels)) {
        image->width = width;
        image->height = height;
        return image;
    }
    const int32_t stride = ImageStrideFor(width, image->depth);
    if (width < 0 || height < 0 || stride < 0) {
        Raise(kErrorImageSize);
        return nullptr;
    }
    const size_t pixelBytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    const size_t paletteBytes = PaletteBytes(image->depth);
    auto* block = static_cast<uint8_t*>(MemoryAllocate(pixelBytes + paletteBytes + 1, kImageHint));
    if (!block) {
        Raise(ErrorCode(kErrorOutOfMemory, pixelBytes + paletteBytes));
        return nullptr;
    }
    uint8_t* palette = paletteBytes ? block + pixelBytes : nullptr;
    if (palette) {
        std::memcpy(palette, image->palette, paletteBytes);
    }
    const size_t rowBytes = static_cast<size_t>(std::min(width, image->width)) * BytesPerPixel(image->depth);
    for (int32_t y = 0; y < std::min(height, image->height); ++y) {
        std::memcpy(block + static_cast<size_t>(y) * stride, Row(image, y), rowBytes);
    }
    MemoryFree(image->pixels);
    image->width = width;
    image->height = height;
    image->stride = stride;
    image->pixels = block;
    image->palette = palette;
    return image;
}

Image* ImageCopySameDepth(Image* destination, const Image* source)
{
    if (destination->palette && source->palette) {
        std::memcpy(destination->palette, source->palette,
                    std::min(PaletteBytes(destination->depth), PaletteBytes(source->depth)));
    }
    const size_t rowBytes = static_cast<size_t>(source->width) * BytesPerPixel(source->depth);
    for (int32_t y = 0; y < source->height; ++y) {
        std::memcpy(Row(destination, y), Row(source, y), rowBytes);
    }
    return destination;
}

Image* ImageCopyConvert(Image* destination, const Image* source)
{
    if (source->depth == destination->depth) {
        return destination;
    }
    if (source->depth == 4 && destination->depth == 8) {
        for (int32_t y = 0; y < source->height; ++y) {
            std::memcpy(Row(destination, y), Row(source, y), static_cast<size_t>(source->width));
        }
        return destination;
    }
    if ((source->depth == 4 || source->depth == 8) && destination->depth == 32) {
        for (int32_t y = 0; y < source->height; ++y) {
            const uint8_t* in = Row(source, y);
            uint8_t* out = Row(destination, y);
            for (int32_t x = 0; x < source->width; ++x) {
                std::memcpy(out + x * 4, ImagePaletteColour(source, in[x]), 4);
            }
        }
        return destination;
    }
    Raise(kErrorImageSize);
    return nullptr;
}

Image* ImageCopy(Image* destination, const Image* source)
{
    if (destination->width != source->width || destination->height != source->height) {
        Raise(kErrorImageFormat);
        return nullptr;
    }
    if (!destination->pixels || !source->pixels) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    Image* result = nullptr;
    if (destination->depth == source->depth) {
        result = ImageCopySameDepth(destination, source);
    } else {
        // 4 to 8 bits keeps the palette; expansions to 32 bits have none.
        if (destination->palette && source->palette) {
            std::memcpy(destination->palette, source->palette,
                        std::min(PaletteBytes(destination->depth), PaletteBytes(source->depth)));
        }
        result = ImageCopyConvert(destination, source);
    }
    if (result) {
        destination->flags =
            (destination->flags & ~kImageFlagGammaCorrected) | (source->flags & kImageFlagGammaCorrected);
    }
    return result;
}

Image* ImageMakeMask(Image* image)
{
    if (image->depth == 4 || image->depth == 8) {
        if (!image->palette) {
            Raise(kErrorNullArgument);
            return nullptr;
        }
        for (int32_t i = 0; i < (1 << image->depth); ++i) {
            uint8_t* entry = image->palette + i * 4;
            entry[3] = std::max({entry[0], entry[1], entry[2]});
        }
        return image;
    }
    if (image->depth == 32) {
        if (!image->pixels) {
            Raise(kErrorNullArgument);
            return nullptr;
        }
        for (int32_t y = 0; y < image->height; ++y) {
            uint8_t* row = Row(image, y);
            for (int32_t x = 0; x < image->width; ++x) {
                uint8_t* pixel = row + x * 4;
                pixel[3] = std::max({pixel[0], pixel[1], pixel[2]});
            }
        }
        return image;
    }
    Raise(kErrorImageSize);
    return nullptr;
}

Image* ImageApplyMask(Image* image, const Image* mask)
{
    if (image->width != mask->width || image->height != mask->height) {
        Raise(kErrorImageFormat);
        return nullptr;
    }
    if (!ValidDepth(image->depth) || !ValidDepth(mask->depth)) {
        Raise(kErrorImageSize);
        return nullptr;
    }
    if (!image->pixels || !mask->pixels || (mask->depth != 32 && !mask->palette)) {
        Raise(kErrorNullArgument);
        return nullptr;
    }
    if (image->depth != 32) {
        // Expand through the palette into a 32-bit block that the image takes
        // over; the image keeps its flags (the gamma bit among them).
        Image* expanded = ImageCreate(image->width, image->height, 32);
        if (!expanded) {
            return nullptr;
        }
        if (!ImageAllocatePixels(expanded) || !ImageCopyConvert(expanded, image)) {
            ImageDestroy(expanded);
            return nullptr;
        }
        TakePixels(image, expanded);
        ImageDestroy(expanded);
    }
    for (int32_t y = 0; y < image->height; ++y) {
        uint8_t* out = Row(image, y);
        const uint8_t* in = Row(mask, y);
        for (int32_t x = 0; x < image->width; ++x) {
            out[x * 4 + 3] = mask->depth == 32 ? in[x * 4 + 3] : ImagePaletteColour(mask, in[x])[3];
        }
    }
    return image;
}

// ---- Gamma -------------------------------------------------------------------

int32_t ImageSetGamma(float gamma)
{
    if (!(gamma > 0.0f)) {
        return 0;
    }
    ImageModule* module = ImageModuleGet();
    module->gammaValue = gamma;
    module->gamma[0] = 0;
    module->inverseGamma[0] = 0;
    const float step = 1.0f / 255.0f;
    for (int32_t i = 1; i < 256; ++i) {
        const float x = static_cast<float>(i) * step;
        const float corrected = std::pow(x, 1.0f / gamma) * 255.0f + 0.5f;
        const float inverse = std::pow(x, gamma) * 255.0f + 0.5f;
        module->gamma[i] = static_cast<uint8_t>(std::min(corrected, 255.0f));
        module->inverseGamma[i] = static_cast<uint8_t>(std::min(inverse, 255.0f));
    }
    return 1;
}

float ImageGetGamma()
{
    return ImageModuleGet()->gammaValue;
}

Image* ImageGammaCorrect(Image* image)
{
    const uint8_t* table = ImageModuleGet()->gamma;
    if (image->depth == 4 || image->depth == 8) {
        if (!image->palette) {
            Raise(kErrorNullArgument);
            return nullptr;
        }
        for (int32_t i = 0; i < (1 << image->depth); ++i) {
            uint8_t* entry = image->palette + i * 4;
            entry[0] = table[entry[0]];
            entry[1] = table[entry[1]];
            entry[2] = table[entry[2]];
        }
    } else if (image->depth == 32) {
        if (!image->pixels) {
            Raise(kErrorNullArgument);
            return nullptr;
        }
        for (int32_t y = 0; y < image->height; ++y) {
            uint8_t* row = Row(image, y);
            ImageGammaCorrectPixels(row, row, image->width);
        }
    } else {
        Raise(kErrorImageDepth);
        return nullptr;
    }
    image->flags |= kImageFlagGammaCorrected;
    return image;
}

uint8_t* ImageGammaCorrectColor(uint8_t* rgba)
{
    const uint8_t* table = ImageModuleGet()->gamma;
    rgba[0] = table[rgba[0]];
    rgba[1] = table[rgba[1]];
    rgba[2] = table[rgba[2]];
    return rgba;
}

namespace {

uint8_t* MapPixels(const uint8_t* table, uint8_t* destination, const uint8_t* source, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) {
        destination[i * 4 + 0] = table[source[i * 4 + 0]];
        destination[i * 4 + 1] = table[source[i * 4 + 1]];
        destination[i * 4 + 2] = table[source[i * 4 + 2]];
        destination[i * 4 + 3] = source[i * 4 + 3];
    }
    return destination;
}

} // namespace

uint8_t* ImageGammaCorrectPixels(uint8_t* destination, const uint8_t* source, int32_t n)
{
    return MapPixels(ImageModuleGet()->gamma, destination, source, n);
}

uint8_t* ImageInverseGammaCorrectPixels(uint8_t* destination, const uint8_t* source, int32_t n)
{
    return MapPixels(ImageModuleGet()->inverseGamma, destination, source, n);
}

// ---- Plug-ins, scratch buffer and module --------------------------------------

int32_t ImageRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                            PluginDestructor destructor, PluginCopy copy)
{
    return PluginRegistryRegister(&g_imageRegistry, size, pluginId, constructor, destructor, copy);
}

int32_t ImageGetPluginOffset(uint32_t pluginId)
{
    return PluginRegistryGetOffset(&g_imageRegistry, pluginId);
}

void* ImageGetScratchBuffer(size_t n)
{
    ImageModule* module = ImageModuleGet();
    if (n > module->scratchSize) {
        auto* grown = static_cast<uint8_t*>(MemoryReallocate(module->scratch, n, kModuleHint));
        if (!grown) {
            Raise(ErrorCode(kErrorOutOfMemory, n));
            return nullptr;
        }
        module->scratch = grown;
        module->scratchSize = n;
    }
    return module->scratch;
}

void ImageSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    g_imagesPerBlock = entriesPerBlock;
    g_imageBlocks = blocksToPreallocate;
}

void ImageFormatSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    g_formatsPerBlock = entriesPerBlock;
    g_formatBlocks = blocksToPreallocate;
}

void* ImageModuleOpen(void* instance, int32_t offset, int32_t /*size*/)
{
    g_moduleOffset = offset;
    ImageModule* module = ImageModuleGet();
    std::memset(module, 0, sizeof(*module));
    module->images = FreeListCreate(static_cast<uint32_t>(g_imageRegistry.objectSize), g_imagesPerBlock, 0,
                                    g_imageBlocks, nullptr, kImageListHint);
    module->formats = FreeListCreate(sizeof(ImageFormatEntry), g_formatsPerBlock, 0, g_formatBlocks, nullptr,
                                     kFormatListHint);
    module->path = static_cast<char*>(MemoryAllocate(kInitialBufferSize, kModuleHint));
    module->scratch = static_cast<uint8_t*>(MemoryAllocate(kInitialBufferSize, kModuleHint));
    if (!module->images || !module->formats || !module->path || !module->scratch) {
        ImageModuleClose(instance, offset, 0);
        Raise(kErrorOutOfMemory);
        return nullptr;
    }
    module->path[0] = '\0';
    module->pathCapacity = kInitialBufferSize;
    module->scratchSize = kInitialBufferSize;
    // The device's gamma (1.0 when it gives none).
    if (!ImageSetGamma(static_cast<EngineInstance*>(instance)->device.gamma)) {
        ImageSetGamma(1.0f);
    }
    return instance;
}

void* ImageModuleClose(void* instance, int32_t /*offset*/, int32_t /*size*/)
{
    ImageModule* module = ImageModuleGet();
    ImageFormatsRelease(module);
    MemoryFree(module->scratch);
    MemoryFree(module->path);
    if (module->formats) {
        FreeListDestroy(module->formats);
    }
    if (module->images) {
        FreeListDestroy(module->images);
    }
    std::memset(module, 0, sizeof(*module));
    return instance;
}

int32_t ImageModuleAttach()
{
    g_moduleOffset =
        EngineAttachPlugin(sizeof(ImageModule), kPluginIdImage, ImageModuleOpen, ImageModuleClose);
    return g_moduleOffset;
}
