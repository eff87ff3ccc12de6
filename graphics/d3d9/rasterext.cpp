// The Direct3D 9 body of every engine raster: its registration with the
// raster registry and the small accessors that every part of the driver uses.

#include "graphics/d3d9/rasterext.h"

#include <cstring>

#include "graphics/core/pluginids.h"
#include "graphics/core/raster.h"
#include "graphics/core/texture.h"

namespace {

int32_t gOffset = -1;

void* Construct(void* object, int32_t offset, int32_t)
{
    auto* body = reinterpret_cast<D3D9RasterExtension*>(static_cast<char*>(object) + offset);
    std::memset(body, 0, sizeof(*body));
    body->lockedLevel = 255;
    return object;
}

void* Destruct(void* object, int32_t offset, int32_t)
{
    auto* body = reinterpret_cast<D3D9RasterExtension*>(static_cast<char*>(object) + offset);
    if (body->swapChain) {
        body->swapChain->Release();
        body->swapChain = nullptr;
    }
    return object;
}

} // namespace

int32_t D3D9RasterExtensionOffset()
{
    return gOffset;
}

int32_t D3D9RasterExtensionOpen()
{
    gOffset =
        RasterRegisterPlugin(sizeof(D3D9RasterExtension), kPluginIdD3D9Raster, Construct, Destruct, nullptr);
    return gOffset;
}

Raster* D3D9RasterGetTop(Raster* raster)
{
    while (raster->parent && raster->parent != raster) {
        raster = raster->parent;
    }
    return raster;
}

IDirect3DSurface9* D3D9RasterGetSurface(Raster* raster)
{
    return D3D9RasterLevelSurface(D3D9RasterGetTop(raster), 0);
}

IDirect3DSurface9* D3D9RasterLevelSurface(Raster* top, uint32_t level)
{
    D3D9RasterExtension* body = D3D9RasterGetExtension(top);
    IDirect3DSurface9* surface = nullptr;
    if (!body->object) {
        return nullptr;
    }
    if (body->cube & 0x0F) {
        auto* cube = static_cast<IDirect3DCubeTexture9*>(body->object);
        if (FAILED(cube->GetCubeMapSurface(D3DCUBEMAP_FACES(body->cube >> 4), level, &surface))) {
            return nullptr;
        }
        return surface;
    }
    if (top->type == kRasterTypeZBuffer || top->type == kRasterTypeCamera) {
        return nullptr;
    }
    auto* texture = static_cast<IDirect3DTexture9*>(body->object);
    return SUCCEEDED(texture->GetSurfaceLevel(level, &surface)) ? surface : nullptr;
}

int32_t D3D9TextureSetRaster(void* texture, void* raster, int32_t)
{
    static_cast<Texture*>(texture)->raster = static_cast<Raster*>(raster);
    return 1;
}

void D3D9RasterClearAlpha(Raster* raster)
{
    D3D9RasterGetExtension(raster)->hasAlpha = 0;
}

int32_t D3D9RasterIsCubeTexture(const Raster* raster)
{
    return D3D9RasterGetExtension(raster)->cube & 0x0F;
}

int32_t D3D9RasterHasNativeFormat(const Raster* raster)
{
    return D3D9RasterGetExtension(raster)->mipFlags & 0xF0;
}

void D3D9RasterSetCubeFace(Raster* raster, uint32_t face)
{
    D3D9RasterExtension* body = D3D9RasterGetExtension(D3D9RasterGetTop(raster));
    body->cube = uint8_t((body->cube & 0x0F) | ((face % 6) << 4));
}
