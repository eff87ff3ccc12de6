// Clearing, filling and copying surfaces.
#include "platform/d3d9/device.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>

#include "platform/d3d9/bands.h"
#include "platform/d3d9/clearrows.h"

namespace d3d9sw {
namespace {

bool ClipRect(RECT& r, LONG w, LONG h)
{
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, w);
    r.bottom = std::min<LONG>(r.bottom, h);
    return r.left < r.right && r.top < r.bottom;
}

bool ValidRect(const RECT& r, UINT w, UINT h)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && UINT(r.right) <= w &&
           UINT(r.bottom) <= h;
}

// Fills of at least this many pixels are cut into bands of rows for the
// device threads, each band at least kFillBandMinRows rows: a full-screen
// clear alone on the calling thread would leave the others idle for a few
// hundred microseconds a frame.
constexpr LONG kFillBandMinPixels = 65536;
constexpr LONG kFillBandMinRows = 16;

// Runs fill(top, bottom) over the rows of r, in bands on the device threads
// when r is large.
void FillRows(const RECT& r, const std::function<void(LONG, LONG)>& fill)
{
    const LONG height = r.bottom - r.top;
    const int bands = (r.right - r.left) * height >= kFillBandMinPixels
                          ? int(std::min<LONG>(DeviceThreads(), height / kFillBandMinRows))
                          : 1;
    if (bands <= 1) {
        fill(r.top, r.bottom);
        return;
    }
    RunBands(bands,
             [&](int band) { fill(r.top + height * band / bands, r.top + height * (band + 1) / bands); });
}

} // namespace

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    if ((count > 0 && !rects) || (flags & ~7u) || flags == 0)
        return D3DERR_INVALIDCALL;
    Surface* rt = renderTargets_[0];
    Surface* ds = depthStencil_;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !ds)
        return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !ds->info.stencil)
        return D3DERR_INVALIDCALL;
    if (!(z >= 0.0f && z <= 1.0f))
        return D3DERR_INVALIDCALL;
    // On several threads the clear waits in the queue with the draws, so
    // that it costs the frame no flush of its own; on one it is filled now.
    ClearRows now;
    const bool queued = DeviceThreads() > 1;
    if (!queued || queue_.Full(0))
        FlushDraws();
    ClearRows& c = queued ? queue_.NextClear() : now;
    c.colour = (flags & D3DCLEAR_TARGET) ? rt : nullptr;
    c.depth = (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) ? ds : nullptr;
    c.clearDepth = (flags & D3DCLEAR_ZBUFFER) != 0;
    c.clearStencil = (flags & D3DCLEAR_STENCIL) != 0;
    c.z = z;
    c.stencil = uint8_t(stencil);
    c.colourRects.clear();
    c.depthRects.clear();
    const D3DVIEWPORT9& vp = state_.viewport;
    RECT viewport{LONG(vp.X), LONG(vp.Y), LONG(vp.X + vp.Width), LONG(vp.Y + vp.Height)};
    if (state_.renderStates[D3DRS_SCISSORTESTENABLE]) {
        viewport.left = std::max(viewport.left, state_.scissor.left);
        viewport.top = std::max(viewport.top, state_.scissor.top);
        viewport.right = std::min(viewport.right, state_.scissor.right);
        viewport.bottom = std::min(viewport.bottom, state_.scissor.bottom);
    }
    c.rowTop = INT_MAX;
    c.rowEnd = INT_MIN;
    c.pixels = 0;
    const auto add = [&c](std::vector<RECT>& list, RECT r, const Surface* s) {
        if (!ClipRect(r, LONG(s->width), LONG(s->height)))
            return;
        list.push_back(r);
        c.rowTop = std::min(c.rowTop, int(r.top));
        c.rowEnd = std::max(c.rowEnd, int(r.bottom));
        c.pixels += float(r.right - r.left) * float(r.bottom - r.top);
    };
    for (DWORD i = 0; i < (count ? count : 1); ++i) {
        RECT r = viewport;
        if (count) {
            r.left = std::max<LONG>(r.left, rects[i].x1);
            r.top = std::max<LONG>(r.top, rects[i].y1);
            r.right = std::min<LONG>(r.right, rects[i].x2);
            r.bottom = std::min<LONG>(r.bottom, rects[i].y2);
        }
        if (c.colour)
            add(c.colourRects, r, c.colour);
        if (c.depth)
            add(c.depthRects, r, c.depth);
    }
    if (c.rowTop >= c.rowEnd) // nothing to fill (a queue slot is left unused)
        return D3D_OK;
    if (!c.colourRects.empty()) {
        EncodeClearColour(c, color);
        c.colour->Touch();
    }
    if (!c.depthRects.empty())
        c.depth->Touch();
    if (queued)
        queue_.Commit();
    else
        FillClearRows(c, c.rowTop, c.rowEnd);
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color)
{
    FlushDraws();
    auto* s = static_cast<Surface*>(surface);
    if (!s || s->pool != D3DPOOL_DEFAULT || s->info.depth || s->info.block || !s->info.decodable)
        return D3DERR_INVALIDCALL;
    RECT r = rect ? *rect : RECT{0, 0, LONG(s->width), LONG(s->height)};
    if (!ValidRect(r, s->width, s->height))
        return D3DERR_INVALIDCALL;
    ClearRows fill;
    fill.colour = s;
    fill.colourRects.push_back(r);
    EncodeClearColour(fill, color);
    FillRows(r, [&fill](LONG top, LONG bottom) { FillClearRows(fill, int(top), int(bottom)); });
    s->Touch();
    return D3D_OK;
}

HRESULT Device::StretchRect(IDirect3DSurface9* srcSurface, const RECT* srcRect, IDirect3DSurface9* dstSurface,
                            const RECT* dstRect, D3DTEXTUREFILTERTYPE filter)
{
    FlushDraws();
    auto* src = static_cast<Surface*>(srcSurface);
    auto* dst = static_cast<Surface*>(dstSurface);
    if (!src || !dst || src == dst)
        return D3DERR_INVALIDCALL;
    if (src->pool != D3DPOOL_DEFAULT || dst->pool != D3DPOOL_DEFAULT)
        return D3DERR_INVALIDCALL;
    if (filter > D3DTEXF_LINEAR)
        return D3DERR_INVALIDCALL;
    RECT sr = srcRect ? *srcRect : RECT{0, 0, LONG(src->width), LONG(src->height)};
    RECT dr = dstRect ? *dstRect : RECT{0, 0, LONG(dst->width), LONG(dst->height)};
    if (!ValidRect(sr, src->width, src->height) || !ValidRect(dr, dst->width, dst->height))
        return D3DERR_INVALIDCALL;
    if (src->info.depth || dst->info.depth) {
        // Depth copies: whole surfaces of equal size only, no scaling.
        if (!src->info.depth || !dst->info.depth || src->width != dst->width || src->height != dst->height ||
            srcRect || dstRect)
            return D3DERR_INVALIDCALL;
        dst->depth = src->depth;
        dst->stencil = src->stencil;
        dst->Touch();
        return D3D_OK;
    }
    // Any default-pool colour surface can be the destination: render targets,
    // offscreen plain surfaces and levels of default-pool textures.
    if (!dst->info.decodable || dst->info.block)
        return D3DERR_INVALIDCALL;
    const uint32_t* in = src->Argb(nullptr, 0);
    const UINT sw = UINT(sr.right - sr.left), sh = UINT(sr.bottom - sr.top);
    const UINT dw = UINT(dr.right - dr.left), dh = UINT(dr.bottom - dr.top);
    std::vector<uint32_t> row(dw);
    for (UINT y = 0; y < dh; ++y) {
        for (UINT x = 0; x < dw; ++x) {
            // Sample at the destination pixel's centre mapped into the source.
            float fx = (float(x) + 0.5f) * float(sw) / float(dw) - 0.5f;
            float fy = (float(y) + 0.5f) * float(sh) / float(dh) - 0.5f;
            if (filter != D3DTEXF_LINEAR || (sw == dw && sh == dh)) {
                UINT px = std::min(sw - 1, UINT(std::max(0.0f, std::floor(fx + 0.5f))));
                UINT py = std::min(sh - 1, UINT(std::max(0.0f, std::floor(fy + 0.5f))));
                row[x] = in[size_t(sr.top + py) * src->width + sr.left + px];
                continue;
            }
            fx = std::clamp(fx, 0.0f, float(sw - 1));
            fy = std::clamp(fy, 0.0f, float(sh - 1));
            UINT x0 = UINT(fx), y0 = UINT(fy);
            UINT x1 = std::min(sw - 1, x0 + 1), y1 = std::min(sh - 1, y0 + 1);
            float ax = fx - float(x0), ay = fy - float(y0);
            uint32_t c[4] = {in[size_t(sr.top + y0) * src->width + sr.left + x0],
                             in[size_t(sr.top + y0) * src->width + sr.left + x1],
                             in[size_t(sr.top + y1) * src->width + sr.left + x0],
                             in[size_t(sr.top + y1) * src->width + sr.left + x1]};
            uint32_t out = 0;
            for (int k = 0; k < 32; k += 8) {
                float top = float((c[0] >> k) & 255) * (1 - ax) + float((c[1] >> k) & 255) * ax;
                float bottom = float((c[2] >> k) & 255) * (1 - ax) + float((c[3] >> k) & 255) * ax;
                out |= uint32_t(top * (1 - ay) + bottom * ay + 0.5f) << k;
            }
            row[x] = out;
        }
        EncodeRow(dst->format, row.data(),
                  dst->bits.data() + size_t(dr.top + y) * dst->pitch +
                      size_t(dr.left) * dst->info.bytesPerPixel,
                  dw);
    }
    dst->Touch();
    return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* srcSurface, const RECT* srcRect,
                              IDirect3DSurface9* dstSurface, const POINT* dstPoint)
{
    FlushDraws();
    auto* src = static_cast<Surface*>(srcSurface);
    auto* dst = static_cast<Surface*>(dstSurface);
    // Direct3D wants system memory to default pool; every pool is memory
    // here, and the engine also copies between managed textures this way, so
    // any two surfaces of one colour format will do.
    if (!src || !dst || src == dst || src->locked || dst->locked)
        return D3DERR_INVALIDCALL;
    if (src->format != dst->format || src->info.depth)
        return D3DERR_INVALIDCALL;
    RECT sr = srcRect ? *srcRect : RECT{0, 0, LONG(src->width), LONG(src->height)};
    if (!ValidRect(sr, src->width, src->height))
        return D3DERR_INVALIDCALL;
    POINT p = dstPoint ? *dstPoint : POINT{0, 0};
    RECT dr{p.x, p.y, p.x + (sr.right - sr.left), p.y + (sr.bottom - sr.top)};
    if (!ValidRect(dr, dst->width, dst->height))
        return D3DERR_INVALIDCALL;
    const FormatInfo& info = src->info;
    if (info.block && ((sr.left | sr.top | dr.left | dr.top) & 3))
        return D3DERR_INVALIDCALL;
    UINT rows = info.block ? FormatRows(src->format, UINT(sr.bottom - sr.top)) : UINT(sr.bottom - sr.top);
    size_t bytes = FormatPitch(src->format, UINT(sr.right - sr.left));
    size_t srcCol =
        info.block ? size_t(sr.left / 4) * info.bytesPerPixel : size_t(sr.left) * info.bytesPerPixel;
    size_t dstCol =
        info.block ? size_t(dr.left / 4) * info.bytesPerPixel : size_t(dr.left) * info.bytesPerPixel;
    UINT srcRow0 = info.block ? UINT(sr.top / 4) : UINT(sr.top);
    UINT dstRow0 = info.block ? UINT(dr.top / 4) : UINT(dr.top);
    for (UINT y = 0; y < rows; ++y) {
        size_t so = (srcRow0 + y) * src->pitch + srcCol, d0 = (dstRow0 + y) * dst->pitch + dstCol;
        size_t n = std::min({bytes, src->bits.size() - so, dst->bits.size() - d0});
        std::memcpy(dst->bits.data() + d0, src->bits.data() + so, n);
    }
    dst->Touch();
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* srcTexture, IDirect3DBaseTexture9* dstTexture)
{
    FlushDraws();
    bool srcCube = false, dstCube = false;
    const MipChain* src = TextureChain(srcTexture, &srcCube);
    const MipChain* dst = TextureChain(dstTexture, &dstCube);
    if (!src || !dst || srcCube != dstCube)
        return D3DERR_INVALIDCALL;
    Surface* s0 = src->Level(0, 0);
    Surface* d0 = dst->Level(0, 0);
    if (s0->pool != D3DPOOL_SYSTEMMEM || d0->pool != D3DPOOL_DEFAULT || s0->format != d0->format)
        return D3DERR_INVALIDCALL;
    // Level i of the destination takes the source level of the same size.
    for (UINT f = 0; f < dst->faces; ++f)
        for (UINT l = 0; l < dst->levels; ++l) {
            Surface* d = dst->Level(f, l);
            for (UINT k = 0; k < src->levels; ++k) {
                Surface* s = src->Level(f, k);
                if (s->width == d->width && s->height == d->height) {
                    d->bits = s->bits;
                    d->Touch();
                    break;
                }
            }
        }
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget, IDirect3DSurface9* dstSurface)
{
    FlushDraws();
    auto* src = static_cast<Surface*>(renderTarget);
    auto* dst = static_cast<Surface*>(dstSurface);
    // The destination may be any surface of the same size and format (a
    // managed texture level too, which the engine reads back into).
    if (!src || !dst || src == dst || !(src->usage & D3DUSAGE_RENDERTARGET) || dst->info.depth)
        return D3DERR_INVALIDCALL;
    if (src->format != dst->format || src->width != dst->width || src->height != dst->height)
        return D3DERR_INVALIDCALL;
    dst->bits = src->bits;
    dst->Touch();
    return D3D_OK;
}

} // namespace d3d9sw
