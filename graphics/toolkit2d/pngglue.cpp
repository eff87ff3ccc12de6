#include "graphics/toolkit2d/pngglue.h"

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/toolkit2dids.h"

png_voidp PngAllocateHook(png_structp, png_alloc_size_t size)
{
    void* block = MemoryAllocate(size, kPngHint);
    if (!block) {
        ErrorRaise(kPluginIdPng, ErrorCode(kErrorOutOfMemory, size));
    }
    return block;
}

void PngFreeHook(png_structp, png_voidp block)
{
    MemoryFree(block);
}

void PngErrorHook(png_structp png, png_const_charp)
{
    const auto* context = static_cast<const PngErrorContext*>(png_get_error_ptr(png));
    ErrorRaise(kPluginIdPng, context ? context->code : kErrorRead);
    png_longjmp(png, 1);
}

void PngWarningHook(png_structp, png_const_charp)
{
}

void PngReadHook(png_structp png, png_bytep buffer, size_t length)
{
    auto* stream = static_cast<Stream*>(png_get_io_ptr(png));
    if (!stream || StreamRead(stream, buffer, length) != length) {
        png_error(png, "short read");
    }
}

void PngWriteHook(png_structp png, png_bytep buffer, size_t length)
{
    auto* stream = static_cast<Stream*>(png_get_io_ptr(png));
    if (!stream || !StreamWrite(stream, buffer, length)) {
        png_error(png, "write failed");
    }
}

void PngFlushHook(png_structp)
{
}
