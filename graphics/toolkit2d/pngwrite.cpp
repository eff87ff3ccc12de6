// Writing PNG files through libpng: 4- and 8-bit images as palette files
// with a transparency chunk of every entry's alpha, 32-bit images as 8-bit
// RGBA; no interlace, default compression and filter.
#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/png.h"
#include "graphics/toolkit2d/pngglue.h"
#include "graphics/toolkit2d/toolkit2dids.h"

namespace {

/// Everything the recovery point must release; lives in the caller's frame.
struct PngWriteState
{
    Stream* stream;
    Image* image;
    png_structp png;
    png_infop info;
    png_bytepp rows;
    png_colorp colours;
    png_bytep alphas;
    PngErrorContext error;
};

void* AllocateOrFail(png_structp png, size_t bytes)
{
    void* block = MemoryAllocate(bytes, kPngHint);
    if (!block) {
        ErrorRaise(kPluginIdPng, ErrorCode(kErrorOutOfMemory, bytes));
        png_error(png, "out of memory");
    }
    return block;
}

/// Every libpng call of a write, under one recovery point. No object here
/// needs destruction, so the jump out of libpng skips nothing.
bool WriteWithRecovery(PngWriteState* state)
{
    if (setjmp(png_jmpbuf(state->png))) {
        return false;
    }
    png_structp png = state->png;
    png_infop info = state->info;
    const Image* image = state->image;
    png_set_write_fn(png, state->stream, PngWriteHook, PngFlushHook);
    const bool palettised = image->depth != 32;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width), static_cast<png_uint_32>(image->height),
                 palettised ? image->depth : 8,
                 palettised ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palettised) {
        const int entries = 1 << image->depth;
        state->colours = static_cast<png_colorp>(AllocateOrFail(png, sizeof(png_color) * entries));
        state->alphas = static_cast<png_bytep>(AllocateOrFail(png, entries));
        for (int i = 0; i < entries; ++i) {
            state->colours[i].red = image->palette[i * 4 + 0];
            state->colours[i].green = image->palette[i * 4 + 1];
            state->colours[i].blue = image->palette[i * 4 + 2];
            state->alphas[i] = image->palette[i * 4 + 3];
        }
        png_set_PLTE(png, info, state->colours, entries);
        png_set_tRNS(png, info, state->alphas, entries, nullptr);
    }
    png_write_info(png, info);
    // 4-bit images hold one index a byte; libpng packs two into each.
    png_set_packing(png);
    state->rows = static_cast<png_bytepp>(AllocateOrFail(png, sizeof(png_bytep) * image->height));
    for (int32_t y = 0; y < image->height; ++y) {
        state->rows[y] = image->pixels + static_cast<size_t>(y) * image->stride;
    }
    png_write_image(png, state->rows);
    png_write_end(png, info);
    return true;
}

} // namespace

Image* PngStreamWrite(Image* image, Stream* stream)
{
    if (!image || !stream || !image->pixels) {
        ErrorRaise(kPluginIdPng, kErrorNullArgument);
        return nullptr;
    }
    if (image->depth != 4 && image->depth != 8 && image->depth != 32) {
        ErrorRaise(kPluginIdPng, kErrorImageDepth);
        return nullptr;
    }
    PngWriteState state = {};
    state.stream = stream;
    state.image = image;
    state.error.code = kErrorWrite;
    state.png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, &state.error, PngErrorHook, PngWarningHook,
                                          nullptr, PngAllocateHook, PngFreeHook);
    if (!state.png) {
        ErrorRaise(kPluginIdPng, kErrorOutOfMemory);
        return nullptr;
    }
    state.info = png_create_info_struct(state.png);
    const bool ok = state.info && WriteWithRecovery(&state);
    png_destroy_write_struct(&state.png, state.info ? &state.info : nullptr);
    MemoryFree(state.rows);
    MemoryFree(state.colours);
    MemoryFree(state.alphas);
    return ok ? image : nullptr;
}

Image* PngWrite(Image* image, const char* fileName)
{
    if (!image || !fileName) {
        ErrorRaise(kPluginIdPng, kErrorNullArgument);
        return nullptr;
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamWrite, fileName);
    if (!stream) {
        return nullptr;
    }
    Image* written = PngStreamWrite(image, stream);
    // A file that fails to close has not been written whole.
    const bool closed = StreamClose(stream, nullptr);
    return closed ? written : nullptr;
}
