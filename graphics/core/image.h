#pragma once
// Images: device-independent blocks of pixels in main memory, 4- or 8-bit
// palettised (one byte per pixel, 2^depth RGBA palette entries stored right
// after the pixels) or 32-bit RGBA (bytes R, G, B, A). File readers produce
// images and rasters are filled from them. The image module (core module
// 0x406) also keeps the search path, the registry of file formats by
// extension, a shared scratch buffer and the gamma tables. Every function
// needs the engine started.

#include <cstddef>
#include <cstdint>

#include "graphics/core/plugin.h"

struct Stream;

enum ImageFlag : uint32_t
{
    kImageFlagOwnsPixels = 0x1,     ///< the pixel block belongs to the image
    kImageFlagGammaCorrected = 0x2, ///< set by ImageGammaCorrect, carried to and from rasters
};

struct Image
{
    uint32_t flags; ///< ImageFlag bits
    int32_t width;
    int32_t height;
    int32_t depth;    ///< 4, 8 or 32
    int32_t stride;   ///< bytes per row, a multiple of 4 (set by ImageAllocatePixels)
    uint8_t* pixels;  ///< rows of `stride` bytes, or null
    uint8_t* palette; ///< 2^depth RGBA entries for depth 4 and 8, else null
};

/// A file reader: a new image from a full file name, or null.
using ImageReader = Image* (*)(const char* fileName);
/// A file writer: the image on success, null on failure.
using ImageWriter = Image* (*)(Image* image, const char* fileName);

/// Bytes per row for `width` pixels at `depth` bits (4-bit images use a byte
/// per pixel), rounded up to a multiple of 4.
int32_t ImageStrideFor(int32_t width, int32_t depth);
/// The RGBA palette entry of pixel value `index` of a palettised image (an
/// index beyond the palette wraps within it).
const uint8_t* ImagePaletteColour(const Image* image, uint8_t index);

/// New image record without pixels (flags 0, stride 0); the plug-in
/// constructors run. Null when out of memory or a plug-in fails.
Image* ImageCreate(int32_t width, int32_t height, int32_t depth);
/// Frees owned pixels, runs the plug-in destructors, frees the record. 1.
int32_t ImageDestroy(Image* image);
/// Allocates stride x height bytes plus the palette (depth 4 or 8) in one
/// block and takes ownership. Null (kErrorOutOfMemory) when out of memory, null
/// (kErrorImageSize) for a depth other than 4, 8 or 32 or a negative size.
Image* ImageAllocatePixels(Image* image);
/// Frees an owned pixel block; clears pixels, palette and kImageFlagOwnsPixels.
Image* ImageFreePixels(Image* image);
/// Changes the size. Owned pixels are reallocated keeping the palette and the
/// overlapping rows; null (kErrorOutOfMemory) when out of memory (image unchanged).
Image* ImageResize(Image* image, int32_t width, int32_t height);
/// Copies source into destination (same width and height; kErrorImageFormat
/// otherwise) with depth conversion; the gamma flag is copied. Depth pairs
/// (4,8), (4,32), (8,32) and equal depths are supported, others kErrorImageSize.
Image* ImageCopy(Image* destination, const Image* source);
/// Palette and every row between the two strides (equal depths).
Image* ImageCopySameDepth(Image* destination, const Image* source);
/// Depth conversion only: (4,8) copies bytes, (4,32) and (8,32) expand
/// through the palette; equal depths do nothing; others kErrorImageSize.
Image* ImageCopyConvert(Image* destination, const Image* source);
/// Turns a grey mask into alpha: alpha = max(R, G, B) of every palette entry
/// (depth 4, 8) or pixel (32).
Image* ImageMakeMask(Image* image);
/// Copies the mask's alpha into the image, first making a palettised image
/// 32-bit. Null on a size mismatch (kErrorImageFormat), an unsupported depth
/// (kErrorImageSize) or out of memory.
Image* ImageApplyMask(Image* image, const Image* mask);

/// Stores a copy of the search path: directories separated by ";", each
/// written with its trailing separator. Null (kErrorOutOfMemory) when out of memory.
const char* ImageSetPath(const char* path);
const char* ImageGetPath();
/// Adds or updates the format of `extension` (without the dot; at most 18
/// characters are kept); null reader/writer leave the stored one. 1, or 0
/// when out of memory.
int32_t ImageRegisterFileFormat(const char* extension, ImageReader reader, ImageWriter writer);
/// Reads a file with the reader registered for its extension, trying each
/// search-path directory in turn (only the name itself when it is absolute or
/// the path is empty). Null for an unknown extension, a missing file or a
/// failing reader.
Image* ImageReadByExtension(const char* fileName);
/// ImageReadByExtension, then with a mask name (null or "" for none) reads the
/// mask, ImageMakeMask and ImageApplyMask. Null when either read fails.
Image* ImageReadMasked(const char* fileName, const char* maskName);
/// Writes through the writer of the name's extension (no search path); the
/// writer's result, or null when there is none.
Image* ImageWrite(Image* image, const char* fileName);
/// The first registered extension form (".ext" lower-case before upper-case,
/// newest format first) for which fileName + extension exists along the
/// search path; null when none.
const char* ImageFindFileExtension(const char* fileName);
/// The module's scratch buffer grown to at least n bytes; null when out of
/// memory. Shared: valid until the next call.
void* ImageGetScratchBuffer(size_t n);

/// Bytes of the image chunk's (kChunkImage) body: struct chunk and data.
uint32_t ImageStreamGetSize(const Image* image);
/// Writes chunk 0x18: struct {width, height, depth, stride}, the rows, the
/// palette. Null when a write fails or the image has no pixels.
const Image* ImageStreamWrite(const Image* image, Stream* stream);
/// Reads an image chunk body (the caller found chunk 0x18). Null for a
/// missing struct chunk, a bad version (kErrorBadVersion), a depth other than 4, 8
/// or 32, a size that is not positive or not backed by the data that is left
/// (kErrorImageSize), a short read or a 4-bit pixel beyond the palette (kErrorRead).
Image* ImageStreamRead(Stream* stream);

/// Image plug-ins (data appended to every image).
int32_t ImageRegisterPlugin(int32_t size, uint32_t pluginId, PluginConstructor constructor,
                            PluginDestructor destructor, PluginCopy copy);
int32_t ImageGetPluginOffset(uint32_t pluginId);

/// Rebuilds the gamma and inverse gamma tables for `gamma` (> 0). 1.
int32_t ImageSetGamma(float gamma);
float ImageGetGamma();
/// Maps R, G, B of the palette (depth 4, 8) or of every pixel (32) through
/// the gamma table and sets kImageFlagGammaCorrected. Null for missing pixels
/// or palette (kErrorNullArgument) or another depth (kErrorImageDepth).
Image* ImageGammaCorrect(Image* image);
/// R, G, B of one RGBA colour through the gamma table, in place.
uint8_t* ImageGammaCorrectColor(uint8_t* rgba);
/// n 32-bit pixels through the gamma / inverse gamma table, alpha copied.
uint8_t* ImageGammaCorrectPixels(uint8_t* destination, const uint8_t* source, int32_t n);
uint8_t* ImageInverseGammaCorrectPixels(uint8_t* destination, const uint8_t* source, int32_t n);

/// Fills `destination` (32-bit, pixels allocated) from `source` (32-bit) with
/// an area filter: each destination pixel averages the source area it covers,
/// partial pixels by their covered fraction. Null for other depths
/// (kErrorImageSize) or when out of memory.
Image* ImageResample(Image* destination, const Image* source);
/// New 32-bit image of width x height (>= 1 each) resampled from `image` (a
/// palettised image is expanded first). Null on failure.
Image* ImageScale(const Image* image, int32_t width, int32_t height);

/// Free-list settings of images and of format entries; call before EngineInit.
void ImageSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);
void ImageFormatSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate);

/// Image module (core module 0x406): open answers the instance, or null when
/// its free lists or buffers cannot be made.
void* ImageModuleOpen(void* instance, int32_t offset, int32_t size);
void* ImageModuleClose(void* instance, int32_t offset, int32_t size);
/// Registers the module with the engine (EngineInit); its offset or -1.
int32_t ImageModuleAttach();
