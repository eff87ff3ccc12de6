#pragma once
// Private to the PNG reader and writer: libpng's memory, input/output and
// error hooks over the engine's memory functions, streams and error records.
// libpng reports errors by a longjmp to the recovery point that the reader or
// writer sets; each keeps that point and every libpng call inside one
// function without C++ objects that need destruction.

#include <png.h>

#include <cstdint>

#include "graphics/core/memory.h"
#include "graphics/toolkit2d/toolkit2dids.h"

/// Hint of libpng's blocks and of the row-pointer and palette arrays.
constexpr uint32_t kPngHint = kMemoryHintObject | kPluginIdPng;

/// What the error hook records: the code of a failed read or of a failed write.
struct PngErrorContext
{
    uint32_t code;
};

png_voidp PngAllocateHook(png_structp png, png_alloc_size_t size);
void PngFreeHook(png_structp png, png_voidp block);
/// Records {0x10D, context code} (the first error only) and jumps to the recovery point.
[[noreturn]] void PngErrorHook(png_structp png, png_const_charp message);
/// Warnings are not errors: ignored.
void PngWarningHook(png_structp png, png_const_charp message);
/// Input from the stream set as libpng's io pointer; a short read or a missing stream is a libpng error.
void PngReadHook(png_structp png, png_bytep buffer, size_t length);
/// Output to the stream set as libpng's io pointer; a failed write or a missing stream is a libpng error.
void PngWriteHook(png_structp png, png_bytep buffer, size_t length);
/// Streams need no flushing.
void PngFlushHook(png_structp png);
