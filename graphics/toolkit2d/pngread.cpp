// Reading PNG files through libpng. The image is made only once the header
// has been checked against the bytes the stream holds, and every libpng
// error (truncated data, bad checksums, corrupt compressed data) ends in
// the recovery point of ReadWithRecovery, which frees nothing itself: the
// caller releases what the state holds.
#include <algorithm>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/png.h"
#include "graphics/toolkit2d/pngglue.h"
#include "graphics/toolkit2d/toolkit2dids.h"

namespace {

/// Pixels allowed per byte left in the file: deflate packs at most about
/// 1032 bytes into one, and a 1-bit image holds 8 pixels a byte.
constexpr uint64_t kPixelsPerByte = 8 * 1032;
/// Pixel limit when the stream cannot tell how many bytes it holds.
constexpr uint64_t kUnknownSizePixelLimit = uint64_t{1} << 26;
/// Widest and tallest image read (libpng's user limits).
constexpr png_uint_32 kMaxSide = 32768;
/// Most bytes libpng may allocate for one chunk: the chunks read (PLTE, tRNS) need
/// at most 1 KB; everything else is skipped without being held in memory.
constexpr png_alloc_size_t kChunkAllocationLimit = 64 * 1024;
/// Ancillary chunks the reader has no use for: skipped like unknown ones, so that
/// their declared lengths never turn into allocations.
constexpr png_byte kSkippedChunks[] = "bKGD\0cHRM\0cICP\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                      "sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt\0";
constexpr int kSkippedChunkCount = 18;
static_assert(sizeof kSkippedChunks == kSkippedChunkCount * 5 + 1, "one 4-letter name and a NUL per chunk");

/// Everything the recovery point must release; lives in the caller's frame.
struct PngReadState
{
    Stream* stream;
    png_structp png;
    png_infop info;
    Image* image;
    png_bytepp rows;
    PngErrorContext error;
};

bool SizeFits(Stream* stream, png_uint_32 width, png_uint_32 height)
{
    const uint64_t pixels = uint64_t{width} * height;
    const int64_t remaining = StreamGetRemaining(stream);
    if (remaining < 0) {
        return pixels <= kUnknownSizePixelLimit;
    }
    return pixels / kPixelsPerByte <= static_cast<uint64_t>(remaining);
}

/// The palette of a 4- or 8-bit image: a grey ramp (for grey files every
/// 8-bit sample names its own grey), then the file's colours and alphas.
void FillPalette(PngReadState* state, int fileBits, int colourType)
{
    Image* image = state->image;
    const int entries = 1 << image->depth;
    for (int i = 0; i < entries; ++i) {
        uint8_t* entry = image->palette + i * 4;
        entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
        entry[3] = 255;
    }
    png_colorp colours = nullptr;
    int colourCount = 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE &&
        png_get_PLTE(state->png, state->info, &colours, &colourCount)) {
        const int count = std::min({colourCount, entries, 1 << fileBits});
        for (int i = 0; i < count; ++i) {
            image->palette[i * 4 + 0] = colours[i].red;
            image->palette[i * 4 + 1] = colours[i].green;
            image->palette[i * 4 + 2] = colours[i].blue;
        }
    }
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p transparent = nullptr;
    if (!png_get_tRNS(state->png, state->info, &alphas, &alphaCount, &transparent)) {
        return;
    }
    if (colourType == PNG_COLOR_TYPE_PALETTE && alphas) {
        for (int i = 0; i < std::min(alphaCount, entries); ++i) {
            image->palette[i * 4 + 3] = alphas[i];
        }
    } else if (colourType == PNG_COLOR_TYPE_GRAY && transparent) {
        // The transparent grey, as the sample value it becomes at 8 bits.
        const uint32_t grey = transparent->gray;
        const uint32_t value = fileBits == 16 ? grey >> 8
                               : fileBits < 8 ? grey * 255 / ((1u << fileBits) - 1)
                                              : grey;
        image->palette[std::min<uint32_t>(value, 255) * 4 + 3] = 0;
    }
}

/// Every libpng call of a read, under one recovery point. No object here
/// needs destruction, so the jump out of libpng skips nothing.
bool ReadWithRecovery(PngReadState* state)
{
    if (setjmp(png_jmpbuf(state->png))) {
        return false;
    }
    png_structp png = state->png;
    png_infop info = state->info;
    png_set_read_fn(png, state->stream, PngReadHook);
    // Bounds before the first chunk: a file of a few bytes may declare chunks of
    // gigabytes, and only a short read after skipping them may end such a file.
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, kChunkAllocationLimit);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bits = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &width, &height, &bits, &colourType, nullptr, nullptr, nullptr);
    if (!SizeFits(state->stream, width, height)) {
        png_error(png, "image larger than its file can hold");
    }
    int32_t depth = 32;
    if (bits == 16) {
        png_set_strip_16(png);
    }
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        if (bits < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        depth = 8;
        break;
    case PNG_COLOR_TYPE_RGB:
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        break;
    case PNG_COLOR_TYPE_PALETTE:
        if (bits < 8) {
            png_set_packing(png);
        }
        depth = bits < 8 ? 4 : 8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        break;
    default: // RGBA
        break;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // The transforms must give exactly the image's row layout.
    if (png_get_rowbytes(png, info) != size_t{width} * (depth == 32 ? 4 : 1)) {
        png_error(png, "unexpected row layout");
    }
    state->image = ImageCreate(static_cast<int32_t>(width), static_cast<int32_t>(height), depth);
    if (!state->image || !ImageAllocatePixels(state->image)) {
        png_error(png, "no image");
    }
    state->rows = static_cast<png_bytepp>(MemoryAllocate(sizeof(png_bytep) * height, kPngHint));
    if (!state->rows) {
        ErrorRaise(kPluginIdPng, ErrorCode(kErrorOutOfMemory, sizeof(png_bytep) * height));
        png_error(png, "no row pointers");
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        state->rows[y] = state->image->pixels + static_cast<size_t>(y) * state->image->stride;
    }
    if (depth != 32) {
        FillPalette(state, bits, colourType);
    }
    png_read_image(png, state->rows);
    png_read_end(png, nullptr);
    return true;
}

} // namespace

Image* PngStreamRead(Stream* stream)
{
    PngReadState state = {};
    state.stream = stream;
    state.error.code = kErrorRead;
    state.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &state.error, PngErrorHook, PngWarningHook,
                                         nullptr, PngAllocateHook, PngFreeHook);
    if (!state.png) {
        ErrorRaise(kPluginIdPng, kErrorOutOfMemory);
        return nullptr;
    }
    state.info = png_create_info_struct(state.png);
    const bool ok = state.info && ReadWithRecovery(&state);
    png_destroy_read_struct(&state.png, state.info ? &state.info : nullptr, nullptr);
    MemoryFree(state.rows);
    if (!ok && state.image) {
        ImageDestroy(state.image);
        state.image = nullptr;
    }
    return state.image;
}

Image* PngRead(const char* fileName)
{
    if (!fileName) {
        ErrorRaise(kPluginIdPng, kErrorNullArgument);
        return nullptr;
    }
    Stream* stream = StreamOpen(kStreamFileName, kStreamRead, fileName);
    if (!stream) {
        return nullptr;
    }
    Image* image = PngStreamRead(stream);
    StreamClose(stream, nullptr);
    return image;
}
