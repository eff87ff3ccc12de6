// Surfaces, textures, buffers, declarations and shaders of the software
// device. Their storage is plain memory with tight pitches.
#pragma once

#include "platform/d3d9/format.h"
#include "platform/d3d9/object.h"
#include "platform/shadervm/shadervm.h"

#include <memory>
#include <vector>

namespace d3d9sw {

class Device;

/// Common part of everything the device creates: counts as a resource of the
/// device (which stays alive until its last resource is gone) and, in the
/// default pool, as one that blocks Reset.
class ResourceLink
{
  public:
    ResourceLink(Device* device, bool blocksReset);
    ~ResourceLink();
    ResourceLink(const ResourceLink&) = delete;
    ResourceLink& operator=(const ResourceLink&) = delete;
    Device* device() const { return device_; }

  private:
    Device* device_;
    bool blocksReset_;
};

/// A 2-D array of pixels: a texture level, a cube face level, a back buffer, a
/// depth-stencil buffer, a render target or an offscreen plain surface.
/// Colour and DXT formats keep their bytes as stored; depth formats keep a
/// float depth and a byte stencil per pixel (converted on lock for the two
/// lockable depth formats).
class Surface final : public Object<IDirect3DSurface9>
{
  public:
    /// `owner` non-null: the surface is part of a texture, swap chain or the
    /// device and shares the owner's reference count.
    Surface(Device* device, IUnknown* owner, D3DFORMAT format, UINT width, UINT height, DWORD usage,
            D3DPOOL pool);
    ~Surface() override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_SURFACE; }
    void PreLoad() override {}
    HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect() override;

    /// The pixels as A8R8G8B8 words, width x height (decoded and cached for
    /// other formats; P8 through `palette`, re-decoded when `paletteStamp`
    /// changes).
    const uint32_t* Argb(const uint32_t* palette, uint32_t paletteStamp);
    /// True when Argb answers without decoding.
    bool Decoded(uint32_t paletteStamp) const
    {
        const bool paletted = format == D3DFMT_P8 || format == D3DFMT_A8P8;
        return format == D3DFMT_A8R8G8B8 ||
               (decodedVersion_ == version_ && (!paletted || decodedPalette_ == paletteStamp));
    }
    /// Marks the contents changed (after drawing, clearing or copying).
    void Touch() { ++version_; }
    Device* device() const { return device_; }

    D3DFORMAT format;
    UINT width, height;
    DWORD usage;
    D3DPOOL pool;
    FormatInfo info;
    size_t pitch;                 ///< bytes per row (per block row for DXT)
    std::vector<uint8_t> bits;    ///< colour / DXT storage
    std::vector<float> depth;     ///< depth formats: one float per pixel in [0, 1]
    std::vector<uint8_t> stencil; ///< depth formats: one byte per pixel
    IUnknown* owner;
    bool locked = false;

  private:
    std::unique_ptr<ResourceLink> link_;
    Device* device_;
    RECT lockRect_{};
    std::vector<uint8_t> depthLockCopy_;
    uint32_t version_ = 0;
    std::vector<uint32_t> decoded_;
    uint32_t decodedVersion_ = ~0u;
    uint32_t decodedPalette_ = ~0u;
};

/// Shared part of 2-D and cube textures: a mip chain of surfaces per face.
struct MipChain
{
    UINT levels = 0;
    UINT faces = 1;
    std::vector<std::unique_ptr<Surface>> surfaces; ///< face * levels + level
    Surface* Level(UINT face, UINT level) const { return surfaces[size_t(face) * levels + level].get(); }
};

/// Number of levels of a full chain down to 1 x 1.
UINT FullMipCount(UINT width, UINT height);

class Texture final : public Object<IDirect3DTexture9>
{
  public:
    Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
            D3DPOOL pool);
    ~Texture() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_TEXTURE; }
    void PreLoad() override {}
    DWORD GetLevelCount() override { return chain.levels; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return autoGenFilter_; }
    void GenerateMipSubLevels() override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
    HRESULT UnlockRect(UINT level) override;
    HRESULT AddDirtyRect(const RECT*) override { return D3D_OK; }

    MipChain chain;
    DWORD usage;
    D3DPOOL pool;
    D3DFORMAT format;

  private:
    std::unique_ptr<ResourceLink> link_;
    DWORD lod_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
};

class CubeTexture final : public Object<IDirect3DCubeTexture9>
{
  public:
    CubeTexture(Device* device, UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    ~CubeTexture() override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_CUBETEXTURE; }
    void PreLoad() override {}
    DWORD GetLevelCount() override { return chain.levels; }
    DWORD SetLOD(DWORD lod) override;
    DWORD GetLOD() override { return lod_; }
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter) override;
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() override { return autoGenFilter_; }
    void GenerateMipSubLevels() override;
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface) override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                     DWORD flags) override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES, const RECT*) override { return D3D_OK; }

    MipChain chain;
    DWORD usage;
    D3DPOOL pool;
    D3DFORMAT format;

  private:
    std::unique_ptr<ResourceLink> link_;
    DWORD lod_ = 0;
    D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
};

/// The mip chain behind a base texture pointer made by this device (null for
/// a foreign pointer); `cube` tells which kind it is.
const MipChain* TextureChain(IDirect3DBaseTexture9* texture, bool* cube);

/// Storage shared by vertex and index buffers.
struct BufferStore
{
    std::vector<uint8_t> bytes;
    int lockCount = 0;
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags);
    HRESULT Unlock();
};

class VertexBuffer final : public Object<IDirect3DVertexBuffer9>
{
  public:
    VertexBuffer(Device* device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool);
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
    void PreLoad() override {}
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override
    {
        return store.Lock(offset, size, data, flags);
    }
    HRESULT Unlock() override { return store.Unlock(); }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

    BufferStore store;
    DWORD usage, fvf;
    D3DPOOL pool;

  private:
    std::unique_ptr<ResourceLink> link_;
};

class IndexBuffer final : public Object<IDirect3DIndexBuffer9>
{
  public:
    IndexBuffer(Device* device, UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool);
    HRESULT GetDevice(IDirect3DDevice9** device) override;
    D3DRESOURCETYPE GetType() override { return D3DRTYPE_INDEXBUFFER; }
    void PreLoad() override {}
    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override
    {
        return store.Lock(offset, size, data, flags);
    }
    HRESULT Unlock() override { return store.Unlock(); }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) override;

    BufferStore store;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;

  private:
    std::unique_ptr<ResourceLink> link_;
};

class VertexDeclaration final : public Object<IDirect3DVertexDeclaration9>
{
  public:
    VertexDeclaration(Device* device, const D3DVERTEXELEMENT9* elements, UINT count, DWORD fvf);
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;

    std::vector<D3DVERTEXELEMENT9> elements; ///< with the end marker
    DWORD fvf;                               ///< the FVF it was made from, 0 otherwise

  private:
    std::unique_ptr<ResourceLink> link_;
};

/// A vertex or pixel shader: its token stream, decoded once by the shader
/// interpreter (platform/shadervm), which the draw calls run.
template <class Interface> class Shader final : public Object<Interface>
{
  public:
    /// Takes ownership of `program`.
    Shader(Device* device, ShaderProgram* program);
    ~Shader() override;
    HRESULT GetFunction(void* data, UINT* size) override;
    HRESULT GetDevice(IDirect3DDevice9** device) override;

    ShaderProgram* program;

  private:
    std::unique_ptr<ResourceLink> link_;
};
using VertexShader = Shader<IDirect3DVertexShader9>;
using PixelShader = Shader<IDirect3DPixelShader9>;

} // namespace d3d9sw
