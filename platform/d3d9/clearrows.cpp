#include "platform/d3d9/clearrows.h"

#include <algorithm>
#include <cstring>

#include "platform/d3d9/format.h"

namespace d3d9sw {

void EncodeClearColour(ClearRows& clear, D3DCOLOR color)
{
    LONG widest = 0;
    for (const RECT& r : clear.colourRects)
        widest = std::max(widest, r.right - r.left);
    const std::vector<uint32_t> row(size_t(widest), color);
    clear.encoded.resize(size_t(widest) * clear.colour->info.bytesPerPixel);
    EncodeRow(clear.colour->format, row.data(), clear.encoded.data(), UINT(widest));
}

void FillClearRows(const ClearRows& clear, int top, int bottom)
{
    if (Surface* s = clear.colour)
        for (const RECT& r : clear.colourRects) {
            const size_t bytes = size_t(r.right - r.left) * s->info.bytesPerPixel;
            for (LONG y = std::max<LONG>(top, r.top); y < std::min<LONG>(bottom, r.bottom); ++y)
                std::memcpy(s->bits.data() + size_t(y) * s->pitch + size_t(r.left) * s->info.bytesPerPixel,
                            clear.encoded.data(), bytes);
        }
    if (Surface* ds = clear.depth)
        for (const RECT& r : clear.depthRects)
            for (LONG y = std::max<LONG>(top, r.top); y < std::min<LONG>(bottom, r.bottom); ++y) {
                const size_t row = size_t(y) * ds->width;
                if (clear.clearDepth)
                    std::fill(ds->depth.data() + row + r.left, ds->depth.data() + row + r.right, clear.z);
                if (clear.clearStencil)
                    std::fill(ds->stencil.data() + row + r.left, ds->stencil.data() + row + r.right,
                              clear.stencil);
            }
}

} // namespace d3d9sw
