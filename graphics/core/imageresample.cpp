// Area-filter resampling of 32-bit images. Positions are 16.16 fixed point:
// destination pixel i covers the source span [i * step, (i + 1) * step) with
// step = source size / destination size; every source pixel in that span
// counts by the length it has inside it, so whole pixels count fully and the
// edge pixels by their covered fraction. All four channels are filtered alike.
#include <algorithm>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/image.h"
#include "graphics/core/memory.h"

namespace {

constexpr uint32_t kScratchHint = 0x10018;

// The source span of destination pixel `i` along an axis, in 16.16.
struct Span
{
    int64_t begin;
    int64_t end;
};

Span SpanOf(int32_t i, int32_t destinationSize, int32_t sourceSize)
{
    const int64_t full = static_cast<int64_t>(sourceSize) << 16;
    const int64_t step = full / destinationSize;
    // The last pixel reaches the source's end, whatever the step's rounding.
    return Span{i * step, i + 1 == destinationSize ? full : (i + 1) * step};
}

// Length of source pixel `s` inside the span, in 1/65536 pixel.
int64_t Coverage(const Span& span, int32_t s)
{
    const int64_t low = std::max(span.begin, static_cast<int64_t>(s) << 16);
    const int64_t high = std::min(span.end, static_cast<int64_t>(s + 1) << 16);
    return high > low ? high - low : 0;
}

int32_t FirstPixel(const Span& span)
{
    return static_cast<int32_t>(span.begin >> 16);
}

int32_t EndPixel(const Span& span, int32_t sourceSize)
{
    return std::min(sourceSize, static_cast<int32_t>((span.end + 0xFFFF) >> 16));
}

} // namespace

Image* ImageResample(Image* destination, const Image* source)
{
    if (destination->depth != 32 || source->depth != 32) {
        ErrorRaise(0, kErrorImageSize);
        return nullptr;
    }
    if (!destination->pixels || !source->pixels) {
        ErrorRaise(0, kErrorNullArgument);
        return nullptr;
    }
    if (destination->width <= 0 || destination->height <= 0 || source->width <= 0 || source->height <= 0) {
        return destination;
    }
    // One row of per-channel sums of source rows, weighted horizontally
    // (integers) and then by each source row's vertical coverage (doubles).
    const size_t count = static_cast<size_t>(destination->width) * 4;
    auto* sums = static_cast<double*>(MemoryAllocate(count * sizeof(double), kScratchHint));
    if (!sums) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, count * sizeof(double)));
        return nullptr;
    }
    for (int32_t y = 0; y < destination->height; ++y) {
        const Span rows = SpanOf(y, destination->height, source->height);
        std::fill(sums, sums + count, 0.0);
        for (int32_t sy = FirstPixel(rows); sy < EndPixel(rows, source->height); ++sy) {
            const int64_t weightY = Coverage(rows, sy);
            const uint8_t* in = source->pixels + static_cast<size_t>(sy) * source->stride;
            for (int32_t x = 0; x < destination->width; ++x) {
                const Span columns = SpanOf(x, destination->width, source->width);
                uint64_t row[4] = {0, 0, 0, 0};
                for (int32_t sx = FirstPixel(columns); sx < EndPixel(columns, source->width); ++sx) {
                    const uint64_t weightX = static_cast<uint64_t>(Coverage(columns, sx));
                    for (int32_t c = 0; c < 4; ++c) {
                        row[c] += weightX * in[sx * 4 + c];
                    }
                }
                for (int32_t c = 0; c < 4; ++c) {
                    sums[x * 4 + c] += static_cast<double>(row[c]) * static_cast<double>(weightY);
                }
            }
        }
        const double height = static_cast<double>(rows.end - rows.begin);
        uint8_t* out = destination->pixels + static_cast<size_t>(y) * destination->stride;
        for (int32_t x = 0; x < destination->width; ++x) {
            const Span columns = SpanOf(x, destination->width, source->width);
            const double area = height * static_cast<double>(columns.end - columns.begin);
            for (int32_t c = 0; c < 4; ++c) {
                const double value = sums[x * 4 + c] / area + 0.5;
                out[x * 4 + c] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
            }
        }
    }
    MemoryFree(sums);
    return destination;
}

Image* ImageScale(const Image* image, int32_t width, int32_t height)
{
    if (width < 1 || height < 1) {
        ErrorRaise(0, kErrorImageSize);
        return nullptr;
    }
    const Image* source = image;
    Image* expanded = nullptr;
    if (image->depth != 32) {
        expanded = ImageCreate(image->width, image->height, 32);
        if (!expanded || !ImageAllocatePixels(expanded) || !ImageCopy(expanded, image)) {
            if (expanded) {
                ImageDestroy(expanded);
            }
            return nullptr;
        }
        source = expanded;
    }
    Image* scaled = ImageCreate(width, height, 32);
    if (scaled && !(ImageAllocatePixels(scaled) && ImageResample(scaled, source))) {
        ImageDestroy(scaled);
        scaled = nullptr;
    }
    if (scaled) {
        scaled->flags |= image->flags & kImageFlagGammaCorrected;
    }
    if (expanded) {
        ImageDestroy(expanded);
    }
    return scaled;
}
