#pragma once
// The Direct3D 9 body of every engine raster: a plug-in of the raster
// registry (id 0x40C) holding the Direct3D object behind the raster, its
// palette, format and lock state, and the swap chain of a camera raster that
// presents into a window of its own.
//
// The entry points that create, lock and convert rasters are in
// nativeraster.h, rasterconvert.h and nativetextureio.h.

#include <cstdint>

#include "platform/d3d9/d3d9.h"

struct Raster;

struct D3D9RasterExtension
{
    /// IDirect3DTexture9 / IDirect3DCubeTexture9 of normal, texture and
    /// camera-texture rasters; IDirect3DSurface9 of z-buffer rasters and of
    /// swap-chain camera rasters (the back buffer, held without a reference).
    IUnknown* object;
    void* palette;
    uint8_t hasAlpha;
    uint8_t cube;        ///< low nibble: cube texture; high nibble: face of the next lock
    uint8_t mipFlags;    ///< low nibble: automatic mip levels; high nibble: native format
    uint8_t lockedLevel; ///< 255 when not locked
    IDirect3DSurface9* lockedSurface;
    D3DLOCKED_RECT lockedRect;
    uint32_t format; ///< D3DFORMAT
    IDirect3DSwapChain9* swapChain;
    HWND window;
};

/// Offset of the body in every raster; -1 before registration.
int32_t D3D9RasterExtensionOffset();
inline D3D9RasterExtension* D3D9RasterGetExtension(const Raster* raster)
{
    return reinterpret_cast<D3D9RasterExtension*>(const_cast<char*>(reinterpret_cast<const char*>(raster)) +
                                                  D3D9RasterExtensionOffset());
}
/// Registers the body with the raster registry (engine init); its offset or -1.
int32_t D3D9RasterExtensionOpen();

/// Raster entry points: create (-, raster, type | format word), destroy,
/// lock (out pixels, raster, (level << 8) | mode), unlock. 1/0.
int32_t D3D9RasterCreate(void* out, void* raster, int32_t flags);
int32_t D3D9RasterDestroy(void* out, void* raster, int32_t number);
int32_t D3D9RasterLock(void* out, void* raster, int32_t flags);
int32_t D3D9RasterUnlock(void* out, void* raster, int32_t number);
/// Texture set raster entry point: (texture, raster, -) stores the raster in the texture; 1.
int32_t D3D9TextureSetRaster(void* texture, void* raster, int32_t number);
/// Top-level raster of a (sub-)raster.
Raster* D3D9RasterGetTop(Raster* raster);
/// Level 0 (or the cube face) of a texture raster, with a reference; null otherwise.
IDirect3DSurface9* D3D9RasterGetSurface(Raster* raster);
/// Surface of `level` of a texture raster (the cube face of its cube nibble),
/// with a reference; null for other rasters.
IDirect3DSurface9* D3D9RasterLevelSurface(Raster* top, uint32_t level);
/// Clears the raster's alpha flag.
void D3D9RasterClearAlpha(Raster* raster);
/// The cube nibble: non-zero for a cube texture.
int32_t D3D9RasterIsCubeTexture(const Raster* raster);
/// Non-zero when the raster was made from an explicit Direct3D format ("DXT1" ...).
int32_t D3D9RasterHasNativeFormat(const Raster* raster);
/// Selects the cube face (0-5) that the next lock of a cube raster takes.
void D3D9RasterSetCubeFace(Raster* raster, uint32_t face);

/// Device-resource list around device start/stop and resets.
bool D3D9RasterListCreate();
void D3D9RasterListDestroy();
void D3D9RasterReleaseDefaultPool();
bool D3D9RasterRestoreDefaultPool();
