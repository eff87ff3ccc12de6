// Raster drawing in the current context raster: textured quads into camera
// rasters, surface copies between rasters, and clears of the context.

#include "graphics/d3d9/rasterrender.h"

#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/d3d9im2d.h"
#include "graphics/d3d9/d3d9renderstate.h"
#include "graphics/d3d9/driverstate.h"
#include "graphics/d3d9/rasterext.h"

namespace {

Raster* gContext;

/// Plain error of an unsupported source/destination pair.
constexpr uint32_t kErrorRenderCombination = 2;

int32_t RefuseCombination()
{
    ErrorRaise(kPluginIdD3D9Raster,
               ErrorCode(kErrorRenderCombination, "SRC, DST Raster render combination not supported"));
    return 0;
}

bool IsCameraKind(const Raster* raster)
{
    return raster->type == kRasterTypeCamera || raster->type == kRasterTypeCameraTexture;
}

D3DTEXTUREFILTERTYPE CopyFilter(bool scaled)
{
    const DWORD caps = D3D9State().caps.StretchRectFilterCaps;
    if (scaled && (caps & (D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFLINEAR))) {
        return D3DTEXF_LINEAR;
    }
    if (!scaled && (caps & (D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MAGFPOINT))) {
        return D3DTEXF_POINT;
    }
    return D3DTEXF_NONE;
}

/// The surface behind a top raster, with a reference.
IDirect3DSurface9* SurfaceOf(Raster* top)
{
    D3D9DriverState& s = D3D9State();
    if (top->type == kRasterTypeCamera) {
        D3D9RasterExtension* body = D3D9RasterGetExtension(top);
        IDirect3DSurface9* surface =
            body->swapChain ? static_cast<IDirect3DSurface9*>(body->object) : s.defaultRenderTarget;
        if (surface) {
            surface->AddRef();
        }
        return surface;
    }
    return D3D9RasterGetSurface(top);
}

int32_t SurfaceCopy(Raster* source, const RasterRect& destination, bool scaled)
{
    Raster* sourceTop = D3D9RasterGetTop(source);
    Raster* contextTop = D3D9RasterGetTop(gContext);
    IDirect3DSurface9* from = SurfaceOf(sourceTop);
    IDirect3DSurface9* to = SurfaceOf(contextTop);
    HRESULT result = D3DERR_INVALIDCALL;
    if (from && to) {
        IDirect3DDevice9* device = D3D9State().device;
        const RECT sourceRect = {source->xOffset, source->yOffset, source->xOffset + source->width,
                                 source->yOffset + source->height};
        const LONG x = gContext->xOffset + destination.x;
        const LONG y = gContext->yOffset + destination.y;
        const RECT destinationRect = {x, y, x + destination.width, y + destination.height};
        const POINT point = {x, y};
        if (IsCameraKind(sourceTop) && IsCameraKind(contextTop)) {
            result = device->StretchRect(from, &sourceRect, to, &destinationRect, CopyFilter(scaled));
        } else if (IsCameraKind(contextTop)) {
            result = device->UpdateSurface(from, &sourceRect, to, &point);
        } else if (IsCameraKind(sourceTop)) {
            result = device->GetRenderTargetData(from, to);
        } else {
            result = device->UpdateSurface(from, &sourceRect, to, &point);
        }
    }
    if (from) {
        from->Release();
    }
    if (to) {
        to->Release();
    }
    return SUCCEEDED(result) ? 1 : 0;
}

int32_t TexturedQuad(Raster* source, const RasterRect& rect, bool scaled, bool blend)
{
    D3D9DriverState& s = D3D9State();
    Raster* top = D3D9RasterGetTop(source);
    const bool cameraContext = gContext->type == kRasterTypeCamera;
    bool intoTexture = false;
    if (!cameraContext) {
        intoTexture = D3D9SetRenderTargetRaster(0, D3D9RasterGetTop(gContext));
    }
    if (!intoTexture) {
        D3D9SetRenderTarget(0, s.defaultRenderTarget);
    }
    // The quad is drawn without depth; whatever depth-stencil was bound comes
    // back afterwards, so that drawing after it in the same update keeps its depth.
    const uintptr_t savedDepth = D3D9GetBindingCache()->depthStencil;
    IDirect3DSurface9* depthAfter = savedDepth == kD3D9CacheUnset
                                        ? s.defaultDepthStencil
                                        : reinterpret_cast<IDirect3DSurface9*>(savedDepth);
    D3D9SetDepthStencilSurface(nullptr);
    const D3DVIEWPORT9 viewport = {DWORD(gContext->xOffset),
                                   DWORD(gContext->yOffset),
                                   DWORD(gContext->width),
                                   DWORD(gContext->height),
                                   0.0f,
                                   1.0f};
    s.device->SetViewport(&viewport);

    int32_t result = 1;
    if (D3D9TestDeviceAndBeginScene()) {
        const float x = float(rect.x), y = float(rect.y);
        const float w = float(scaled ? rect.width : source->width);
        const float h = float(scaled ? rect.height : source->height);
        const float u0 = float(source->xOffset) / float(top->width);
        const float v0 = float(source->yOffset) / float(top->height);
        const float u1 = float(source->xOffset + source->width) / float(top->width);
        const float v1 = float(source->yOffset + source->height) / float(top->height);
        Im2DVertex quad[4] = {
            {x, y, 0.0f, 1.0f, 0xFFFFFFFF, u0, v0},
            {x, y + h, 0.0f, 1.0f, 0xFFFFFFFF, u0, v1},
            {x + w, y, 0.0f, 1.0f, 0xFFFFFFFF, u1, v0},
            {x + w, y + h, 0.0f, 1.0f, 0xFFFFFFFF, u1, v1},
        };
        constexpr int32_t kSaved[7] = {kRenderStateSrcBlend,          kRenderStateDestBlend,
                                       kRenderStateVertexAlphaEnable, kRenderStateFogEnable,
                                       kRenderStateTextureFilter,     kRenderStateTextureAddressU,
                                       kRenderStateTextureAddressV};
        uint32_t saved[7] = {};
        for (int i = 0; i < 7; ++i) {
            D3D9RenderStateGet(kSaved[i], &saved[i]);
        }
        Raster* savedRaster = nullptr;
        D3D9RenderStateGet(kRenderStateTextureRaster, &savedRaster);
        uint32_t zEnable = 0, cullMode = 0, blending = 0, alphaTest = 0;
        D3D9GetRenderState(D3DRS_ZENABLE, &zEnable);
        D3D9GetRenderState(D3DRS_CULLMODE, &cullMode);
        D3D9GetRenderState(D3DRS_ALPHABLENDENABLE, &blending);
        D3D9GetRenderState(D3DRS_ALPHATESTENABLE, &alphaTest);

        D3D9SetStageRaster(source, 0);
        if (blend && D3D9RasterHasAlpha(top)) {
            D3D9SetVertexAlphaEnable(1);
            D3D9SetSrcBlend(D3DBLEND_SRCALPHA);
            D3D9SetDestBlend(D3DBLEND_INVSRCALPHA);
        } else {
            D3D9SetVertexAlphaEnable(0);
            // A source with alpha turns blending on with its binding: the
            // unblended entry draws it opaque all the same.
            D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
            D3D9SetRenderState(D3DRS_ALPHATESTENABLE, 0);
        }
        D3D9RenderStateSet(kRenderStateFogEnable, nullptr);
        D3D9RenderStateSet(kRenderStateTextureFilter, reinterpret_cast<void*>(uintptr_t(scaled ? 2 : 1)));
        D3D9RenderStateSet(kRenderStateTextureAddress, reinterpret_cast<void*>(uintptr_t(D3DTADDRESS_CLAMP)));
        D3D9SetRenderState(D3DRS_ZENABLE, 0);
        D3D9SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        result = D3D9Im2DRenderPrimitive(kIm2DTriStrip, quad, 4);

        for (int i = 0; i < 5; ++i) {
            D3D9RenderStateSet(kSaved[i], reinterpret_cast<void*>(uintptr_t(saved[i])));
        }
        D3D9SetStageRaster(savedRaster, 0);
        D3D9RenderStateSet(kRenderStateTextureAddressU, reinterpret_cast<void*>(uintptr_t(saved[5])));
        D3D9RenderStateSet(kRenderStateTextureAddressV, reinterpret_cast<void*>(uintptr_t(saved[6])));
        D3D9SetRenderState(D3DRS_ZENABLE, zEnable);
        D3D9SetRenderState(D3DRS_CULLMODE, cullMode);
        D3D9SetRenderState(D3DRS_ALPHABLENDENABLE, blending);
        D3D9SetRenderState(D3DRS_ALPHATESTENABLE, alphaTest);
    }
    if (cameraContext) {
        D3D9SetDepthStencilSurface(depthAfter);
        return result;
    }
    if (!intoTexture && gContext->type == kRasterTypeCameraTexture) {
        // Drawn into the back buffer: copy the context's rectangle into its texture.
        IDirect3DSurface9* surface = D3D9RasterGetSurface(D3D9RasterGetTop(gContext));
        if (surface) {
            const RECT area = {gContext->xOffset, gContext->yOffset, gContext->xOffset + gContext->width,
                               gContext->yOffset + gContext->height};
            s.device->StretchRect(s.defaultRenderTarget, &area, surface, &area, CopyFilter(scaled));
            surface->Release();
        }
    } else {
        D3D9SetRenderTarget(0, s.defaultRenderTarget);
    }
    // After the copy through the back buffer the depth-stencil comes back at once.
    D3D9SetDepthStencilSurface(depthAfter);
    return result;
}

int32_t Render(Raster* source, const RasterRect& rect, bool scaled, bool blend)
{
    // The raster module's blank bottom context has no pixels and no device body.
    if (!gContext || !source || !D3D9State().device || gContext->width <= 0 || gContext->height <= 0) {
        return RefuseCombination();
    }
    const uint8_t sourceType = D3D9RasterGetTop(source)->type;
    switch (gContext->type) {
    case kRasterTypeNormal:
    case kRasterTypeTexture:
        if (sourceType == kRasterTypeZBuffer || !SurfaceCopy(source, rect, scaled)) {
            return RefuseCombination();
        }
        return 1;
    case kRasterTypeCamera:
    case kRasterTypeCameraTexture:
        if (sourceType == kRasterTypeZBuffer) {
            return RefuseCombination();
        }
        if (sourceType == kRasterTypeCamera) {
            return SurfaceCopy(source, rect, scaled) ? 1 : RefuseCombination();
        }
        return TexturedQuad(source, rect, scaled, blend);
    default:
        return RefuseCombination();
    }
}

/// A device pixel of the context's format as an A8R8G8B8 colour.
D3DCOLOR PixelToColour(const Raster* context, uint32_t pixel)
{
    if (context->depth == 32) {
        return pixel;
    }
    const uint32_t format = uint32_t(context->format) << 8 & kRasterFormatPixelMask;
    auto expand = [](uint32_t value, int bits) { return (value << (8 - bits)) | (value >> (2 * bits - 8)); };
    if (format == kRasterFormat565) {
        return 0xFF000000 | expand(pixel >> 11 & 31, 5) << 16 | expand(pixel >> 5 & 63, 6) << 8 |
               expand(pixel & 31, 5);
    }
    const uint32_t alpha = format == kRasterFormat1555 ? ((pixel & 0x8000) ? 0xFF : 0) : 0xFF;
    return alpha << 24 | expand(pixel >> 10 & 31, 5) << 16 | expand(pixel >> 5 & 31, 5) << 8 |
           expand(pixel & 31, 5);
}

} // namespace

int32_t D3D9RasterSetContext(void*, void* raster, int32_t)
{
    gContext = static_cast<Raster*>(raster);
    return 1;
}

int32_t D3D9RasterRender(void* raster, void* position, int32_t)
{
    const auto* point = static_cast<const RasterPoint*>(position);
    return Render(
        static_cast<Raster*>(raster),
        {point->x, point->y, static_cast<Raster*>(raster)->width, static_cast<Raster*>(raster)->height},
        false, true);
}

int32_t D3D9RasterRenderScaled(void* raster, void* rectangle, int32_t)
{
    return Render(static_cast<Raster*>(raster), *static_cast<const RasterRect*>(rectangle), true, true);
}

int32_t D3D9RasterRenderFast(void* raster, void* position, int32_t)
{
    const auto* point = static_cast<const RasterPoint*>(position);
    return Render(
        static_cast<Raster*>(raster),
        {point->x, point->y, static_cast<Raster*>(raster)->width, static_cast<Raster*>(raster)->height},
        false, false);
}

int32_t D3D9RasterClearRect(void*, void* rectangle, int32_t pixel)
{
    D3D9DriverState& s = D3D9State();
    const RasterRect& rect = *static_cast<const RasterRect*>(rectangle);
    if (!gContext || !s.device || gContext->width <= 0 || gContext->height <= 0) {
        return 0;
    }
    Raster* top = D3D9RasterGetTop(gContext);
    const LONG x = gContext->xOffset + rect.x;
    const LONG y = gContext->yOffset + rect.y;
    const D3DRECT area = {x, y, x + rect.width, y + rect.height};
    switch (gContext->type) {
    case kRasterTypeZBuffer: {
        auto* depth = static_cast<IDirect3DSurface9*>(D3D9RasterGetExtension(top)->object);
        D3D9SetDepthStencilSurface(depth ? depth : s.defaultDepthStencil);
        const HRESULT result = s.device->Clear(1, &area, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        D3D9SetDepthStencilSurface(s.defaultDepthStencil);
        return SUCCEEDED(result) ? 1 : 0;
    }
    case kRasterTypeCamera:
        D3D9SetRenderTarget(0, s.defaultRenderTarget);
        D3D9SetDepthStencilSurface(s.defaultDepthStencil);
        return SUCCEEDED(s.device->Clear(1, &area, D3DCLEAR_TARGET, PixelToColour(gContext, uint32_t(pixel)),
                                         1.0f, 0))
                   ? 1
                   : 0;
    case kRasterTypeCameraTexture: {
        IDirect3DSurface9* surface = D3D9RasterGetSurface(top);
        if (!surface) {
            return 0;
        }
        const RECT fill = {area.x1, area.y1, area.x2, area.y2};
        const HRESULT result = s.device->ColorFill(surface, &fill, PixelToColour(gContext, uint32_t(pixel)));
        surface->Release();
        return SUCCEEDED(result) ? 1 : 0;
    }
    case kRasterTypeNormal:
    case kRasterTypeTexture: {
        uint8_t* pixels = RasterLock(gContext, 0, kRasterLockWrite);
        if (!pixels) {
            return 0;
        }
        for (int32_t row = 0; row < rect.height; ++row) {
            uint8_t* line = pixels + (rect.y + row) * gContext->stride;
            for (int32_t column = 0; column < rect.width; ++column) {
                if (gContext->depth == 32) {
                    std::memcpy(line + (rect.x + column) * 4, &pixel, 4);
                } else if (gContext->depth == 16) {
                    const uint16_t value = uint16_t(pixel);
                    std::memcpy(line + (rect.x + column) * 2, &value, 2);
                }
            }
        }
        RasterUnlock(gContext);
        return 1;
    }
    default:
        ErrorRaise(0, kErrorRasterFormat);
        return 0;
    }
}

int32_t D3D9RasterClear(void*, void*, int32_t pixel)
{
    if (!gContext) {
        return 0;
    }
    RasterRect rect = {0, 0, gContext->width, gContext->height};
    return D3D9RasterClearRect(nullptr, &rect, pixel);
}
