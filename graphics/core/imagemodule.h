#pragma once
// Private state of the image module, shared by image.cpp, imageformat.cpp and
// imagestream.cpp.

#include <cstddef>
#include <cstdint>

#include "graphics/core/image.h"

struct FreeList;

/// One registered file format; the list is newest first.
struct ImageFormatEntry
{
    char lower[20]; ///< "." + at most 18 characters, lower-cased
    char upper[20]; ///< the same upper-cased
    ImageReader reader;
    ImageWriter writer;
    ImageFormatEntry* next;
};

struct ImageModule
{
    FreeList* images;
    char* path; ///< search path, NUL-terminated
    size_t pathCapacity;
    uint8_t gamma[256];
    uint8_t inverseGamma[256];
    float gammaValue;
    uint8_t* scratch;
    size_t scratchSize;
    FreeList* formats;
    ImageFormatEntry* formatList;
};

/// The current engine instance's image module data.
ImageModule* ImageModuleGet();
/// Releases every format entry (module close).
void ImageFormatsRelease(ImageModule* module);
/// Whether ".ext" is the entry's lower- or upper-case form (exact comparison).
bool ImageFormatMatches(const ImageFormatEntry* entry, const char* extension);
