// Surfaces, textures, buffers, declarations and shader objects.
#include "platform/d3d9/resources.h"

#include "platform/d3d9/device.h"

#include <algorithm>
#include <cstring>

namespace d3d9sw {

ResourceLink::ResourceLink(Device* device, bool blocksReset) : device_(device), blocksReset_(blocksReset)
{
    device_->ResourceAdded(blocksReset_);
}

ResourceLink::~ResourceLink()
{
    device_->ResourceRemoved(blocksReset_);
}

namespace {

HRESULT HandOutDevice(Device* device, IDirect3DDevice9** out)
{
    if (!out)
        return D3DERR_INVALIDCALL;
    device->AddRef();
    *out = device;
    return D3D_OK;
}

bool RectInside(const RECT& r, UINT width, UINT height)
{
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom && UINT(r.right) <= width &&
           UINT(r.bottom) <= height;
}

} // namespace

// ---------------------------------------------------------------- surfaces

Surface::Surface(Device* device, IUnknown* owner_, D3DFORMAT format_, UINT width_, UINT height_, DWORD usage_,
                 D3DPOOL pool_)
    : format(format_), width(width_), height(height_), usage(usage_), pool(pool_),
      info(FormatGetInfo(format_)), pitch(FormatPitch(format_, width_)), owner(owner_), device_(device)
{
    if (!owner)
        link_ = std::make_unique<ResourceLink>(device, pool == D3DPOOL_DEFAULT);
    if (info.depth) {
        depth.assign(size_t(width) * height, 1.0f);
        stencil.assign(size_t(width) * height, 0);
        pitch = size_t(width) * info.bytesPerPixel;
    } else {
        bits.assign(pitch * FormatRows(format, height), 0);
    }
}

Surface::~Surface()
{
    // A surface of a texture or of the device is flushed for by its owner.
    if (!owner)
        device_->FlushDraws();
}

ULONG Surface::AddRef()
{
    return owner ? owner->AddRef() : Object::AddRef();
}

ULONG Surface::Release()
{
    return owner ? owner->Release() : Object::Release();
}

HRESULT Surface::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(device_, out);
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc)
{
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, width, height};
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* out, const RECT* rect, DWORD flags)
{
    device_->FlushDraws();
    if (!out || locked)
        return D3DERR_INVALIDCALL;
    RECT r = rect ? *rect : RECT{0, 0, LONG(width), LONG(height)};
    if (!RectInside(r, width, height))
        return D3DERR_INVALIDCALL;
    if (info.block && ((r.left | r.top) & 3))
        return D3DERR_INVALIDCALL;
    if (info.depth) {
        // Only the lockable depth formats expose their values: D16 as 16-bit
        // integers, D32F as floats.
        if (format != D3DFMT_D16_LOCKABLE && format != D3DFMT_D32F_LOCKABLE)
            return D3DERR_INVALIDCALL;
        depthLockCopy_.resize(pitch * height);
        for (size_t i = 0; i < depth.size(); ++i) {
            if (format == D3DFMT_D16_LOCKABLE) {
                uint16_t v = uint16_t(std::clamp(depth[i], 0.0f, 1.0f) * 65535.0f + 0.5f);
                std::memcpy(&depthLockCopy_[i * 2], &v, 2);
            } else {
                std::memcpy(&depthLockCopy_[i * 4], &depth[i], 4);
            }
        }
        out->Pitch = INT(pitch);
        out->pBits = depthLockCopy_.data() + size_t(r.top) * pitch + size_t(r.left) * info.bytesPerPixel;
    } else {
        size_t row = info.block ? size_t(r.top / 4) : size_t(r.top);
        size_t col =
            info.block ? size_t(r.left / 4) * info.bytesPerPixel : size_t(r.left) * info.bytesPerPixel;
        out->Pitch = INT(pitch);
        out->pBits = bits.data() + row * pitch + col;
    }
    locked = true;
    lockRect_ = (flags & D3DLOCK_READONLY) ? RECT{0, 0, 0, 0} : r;
    return D3D_OK;
}

HRESULT Surface::UnlockRect()
{
    if (!locked)
        return D3DERR_INVALIDCALL;
    locked = false;
    if (lockRect_.right == 0)
        return D3D_OK; // read-only lock changed nothing
    if (info.depth) {
        for (size_t i = 0; i < depth.size(); ++i) {
            if (format == D3DFMT_D16_LOCKABLE) {
                uint16_t v;
                std::memcpy(&v, &depthLockCopy_[i * 2], 2);
                depth[i] = float(v) / 65535.0f;
            } else {
                std::memcpy(&depth[i], &depthLockCopy_[i * 4], 4);
            }
        }
        depthLockCopy_.clear();
    }
    Touch();
    return D3D_OK;
}

const uint32_t* Surface::Argb(const uint32_t* palette, uint32_t paletteStamp)
{
    if (format == D3DFMT_A8R8G8B8)
        return reinterpret_cast<const uint32_t*>(bits.data());
    if (Decoded(paletteStamp))
        return decoded_.data();
    decoded_.resize(size_t(width) * height);
    if (info.block) {
        DecodeDxt(format, bits.data(), width, height, decoded_.data());
    } else if (info.depth) {
        for (size_t i = 0; i < decoded_.size(); ++i) {
            uint32_t l = uint32_t(std::clamp(depth[i], 0.0f, 1.0f) * 255.0f + 0.5f);
            decoded_[i] = 0xFF000000u | l << 16 | l << 8 | l;
        }
    } else {
        for (UINT y = 0; y < height; ++y)
            DecodeRow(format, bits.data() + y * pitch, decoded_.data() + size_t(y) * width, width, palette);
    }
    decodedVersion_ = version_;
    decodedPalette_ = paletteStamp;
    return decoded_.data();
}

// ---------------------------------------------------------------- textures

UINT FullMipCount(UINT width, UINT height)
{
    UINT levels = 1;
    while (width > 1 || height > 1) {
        width = std::max(1u, width / 2);
        height = std::max(1u, height / 2);
        ++levels;
    }
    return levels;
}

namespace {

void BuildChain(MipChain& chain, Device* device, IUnknown* owner, UINT faces, UINT width, UINT height,
                UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool)
{
    UINT full = FullMipCount(width, height);
    chain.levels = (levels == 0 || (usage & D3DUSAGE_AUTOGENMIPMAP)) ? full : std::min(levels, full);
    chain.faces = faces;
    for (UINT f = 0; f < faces; ++f) {
        UINT w = width, h = height;
        for (UINT l = 0; l < chain.levels; ++l) {
            chain.surfaces.push_back(std::make_unique<Surface>(device, owner, format, w, h, usage, pool));
            w = std::max(1u, w / 2);
            h = std::max(1u, h / 2);
        }
    }
}

// Box-filters every level of one face from the level above (through
// A8R8G8B8, so every decodable format works).
void GenerateMips(MipChain& chain, UINT face)
{
    for (UINT l = 1; l < chain.levels; ++l) {
        Surface* src = chain.Level(face, l - 1);
        Surface* dst = chain.Level(face, l);
        if (!src->info.decodable || src->info.depth)
            return;
        std::vector<uint32_t> in(size_t(src->width) * src->height), out(size_t(dst->width) * dst->height);
        for (UINT y = 0; y < src->height; ++y)
            DecodeRow(src->format, src->bits.data() + y * src->pitch, in.data() + size_t(y) * src->width,
                      src->width, nullptr);
        for (UINT y = 0; y < dst->height; ++y) {
            for (UINT x = 0; x < dst->width; ++x) {
                uint32_t sum[4] = {0, 0, 0, 0};
                UINT n = 0;
                for (UINT dy = 0; dy < 2; ++dy)
                    for (UINT dx = 0; dx < 2; ++dx) {
                        UINT sx = std::min(src->width - 1, x * 2 + dx),
                             sy = std::min(src->height - 1, y * 2 + dy);
                        uint32_t c = in[size_t(sy) * src->width + sx];
                        for (int k = 0; k < 4; ++k)
                            sum[k] += (c >> (8 * k)) & 255;
                        ++n;
                    }
                uint32_t c = 0;
                for (int k = 0; k < 4; ++k)
                    c |= ((sum[k] + n / 2) / n) << (8 * k);
                out[size_t(y) * dst->width + x] = c;
            }
        }
        for (UINT y = 0; y < dst->height; ++y)
            EncodeRow(dst->format, out.data() + size_t(y) * dst->width, dst->bits.data() + y * dst->pitch,
                      dst->width);
        dst->Touch();
    }
}

} // namespace

Texture::Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage_, D3DFORMAT format_,
                 D3DPOOL pool_)
    : usage(usage_), pool(pool_), format(format_)
{
    link_ = std::make_unique<ResourceLink>(device, pool == D3DPOOL_DEFAULT);
    BuildChain(chain, device, this, 1, width, height, levels, usage, format, pool);
}

HRESULT Texture::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(link_->device(), out);
}

DWORD Texture::SetLOD(DWORD lod)
{
    DWORD old = lod_;
    if (pool == D3DPOOL_MANAGED)
        lod_ = std::min<DWORD>(lod, chain.levels - 1);
    return old;
}

HRESULT Texture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter)
{
    if (filter == D3DTEXF_NONE)
        return D3DERR_INVALIDCALL;
    autoGenFilter_ = filter;
    return D3D_OK;
}

Texture::~Texture()
{
    link_->device()->FlushDraws();
}

void Texture::GenerateMipSubLevels()
{
    link_->device()->FlushDraws();
    GenerateMips(chain, 0);
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level >= chain.levels)
        return D3DERR_INVALIDCALL;
    return chain.Level(0, level)->GetDesc(desc);
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surface)
{
    if (!surface || level >= chain.levels)
        return D3DERR_INVALIDCALL;
    *surface = chain.Level(0, level);
    AddRef();
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    if (level >= chain.levels)
        return D3DERR_INVALIDCALL;
    return chain.Level(0, level)->LockRect(locked, rect, flags);
}

HRESULT Texture::UnlockRect(UINT level)
{
    if (level >= chain.levels)
        return D3DERR_INVALIDCALL;
    HRESULT hr = chain.Level(0, level)->UnlockRect();
    if (SUCCEEDED(hr) && level == 0 && (usage & D3DUSAGE_AUTOGENMIPMAP))
        GenerateMips(chain, 0);
    return hr;
}

CubeTexture::CubeTexture(Device* device, UINT edge, UINT levels, DWORD usage_, D3DFORMAT format_,
                         D3DPOOL pool_)
    : usage(usage_), pool(pool_), format(format_)
{
    link_ = std::make_unique<ResourceLink>(device, pool == D3DPOOL_DEFAULT);
    BuildChain(chain, device, this, 6, edge, edge, levels, usage, format, pool);
}

HRESULT CubeTexture::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(link_->device(), out);
}

DWORD CubeTexture::SetLOD(DWORD lod)
{
    DWORD old = lod_;
    if (pool == D3DPOOL_MANAGED)
        lod_ = std::min<DWORD>(lod, chain.levels - 1);
    return old;
}

HRESULT CubeTexture::SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filter)
{
    if (filter == D3DTEXF_NONE)
        return D3DERR_INVALIDCALL;
    autoGenFilter_ = filter;
    return D3D_OK;
}

CubeTexture::~CubeTexture()
{
    link_->device()->FlushDraws();
}

void CubeTexture::GenerateMipSubLevels()
{
    link_->device()->FlushDraws();
    for (UINT f = 0; f < 6; ++f)
        GenerateMips(chain, f);
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc)
{
    if (level >= chain.levels)
        return D3DERR_INVALIDCALL;
    return chain.Level(0, level)->GetDesc(desc);
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level, IDirect3DSurface9** surface)
{
    if (!surface || level >= chain.levels || face > 5)
        return D3DERR_INVALIDCALL;
    *surface = chain.Level(face, level);
    AddRef();
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* locked, const RECT* rect,
                              DWORD flags)
{
    if (level >= chain.levels || face > 5)
        return D3DERR_INVALIDCALL;
    return chain.Level(face, level)->LockRect(locked, rect, flags);
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level)
{
    if (level >= chain.levels || face > 5)
        return D3DERR_INVALIDCALL;
    HRESULT hr = chain.Level(face, level)->UnlockRect();
    if (SUCCEEDED(hr) && level == 0 && (usage & D3DUSAGE_AUTOGENMIPMAP))
        GenerateMips(chain, face);
    return hr;
}

const MipChain* TextureChain(IDirect3DBaseTexture9* texture, bool* cube)
{
    if (!texture)
        return nullptr;
    if (texture->GetType() == D3DRTYPE_TEXTURE) {
        *cube = false;
        return &static_cast<Texture*>(texture)->chain;
    }
    if (texture->GetType() == D3DRTYPE_CUBETEXTURE) {
        *cube = true;
        return &static_cast<CubeTexture*>(texture)->chain;
    }
    return nullptr;
}

// ---------------------------------------------------------------- buffers

HRESULT BufferStore::Lock(UINT offset, UINT size, void** data, DWORD flags)
{
    if (!data)
        return D3DERR_INVALIDCALL;
    *data = nullptr;
    if (offset == 0 && size == 0)
        size = UINT(bytes.size());
    if (size == 0)
        size = offset <= bytes.size() ? UINT(bytes.size() - offset) : 0;
    if (size_t(offset) + size > bytes.size())
        return D3DERR_INVALIDCALL;
    // Drawing is finished before a draw call returns, so DISCARD and
    // NOOVERWRITE never have to wait or rename: both hand out the storage.
    (void)flags;
    ++lockCount;
    *data = bytes.data() + offset;
    return D3D_OK;
}

HRESULT BufferStore::Unlock()
{
    if (lockCount == 0)
        return D3DERR_INVALIDCALL;
    --lockCount;
    return D3D_OK;
}

VertexBuffer::VertexBuffer(Device* device, UINT length, DWORD usage_, DWORD fvf_, D3DPOOL pool_)
    : usage(usage_), fvf(fvf_), pool(pool_)
{
    link_ = std::make_unique<ResourceLink>(device, pool == D3DPOOL_DEFAULT);
    store.bytes.assign(length, 0);
}

HRESULT VertexBuffer::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(link_->device(), out);
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc)
{
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, UINT(store.bytes.size()), fvf};
    return D3D_OK;
}

IndexBuffer::IndexBuffer(Device* device, UINT length, DWORD usage_, D3DFORMAT format_, D3DPOOL pool_)
    : usage(usage_), format(format_), pool(pool_)
{
    link_ = std::make_unique<ResourceLink>(device, pool == D3DPOOL_DEFAULT);
    store.bytes.assign(length, 0);
}

HRESULT IndexBuffer::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(link_->device(), out);
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc)
{
    if (!desc)
        return D3DERR_INVALIDCALL;
    *desc = {format, D3DRTYPE_INDEXBUFFER, usage, pool, UINT(store.bytes.size())};
    return D3D_OK;
}

// ---------------------------------------------------------------- declarations and shaders

VertexDeclaration::VertexDeclaration(Device* device, const D3DVERTEXELEMENT9* e, UINT count, DWORD fvf_)
    : elements(e, e + count), fvf(fvf_)
{
    link_ = std::make_unique<ResourceLink>(device, false);
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* out, UINT* count)
{
    if (!count)
        return D3DERR_INVALIDCALL;
    *count = UINT(elements.size());
    if (out)
        std::copy(elements.begin(), elements.end(), out);
    return D3D_OK;
}

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(link_->device(), out);
}

template <class Interface>
Shader<Interface>::Shader(Device* device, ShaderProgram* program_) : program(program_)
{
    link_ = std::make_unique<ResourceLink>(device, false);
}

template <class Interface> Shader<Interface>::~Shader()
{
    link_->device()->FlushDraws();
    ShaderProgramDestroy(program);
}

template <class Interface> HRESULT Shader<Interface>::GetFunction(void* data, UINT* size)
{
    if (!size)
        return D3DERR_INVALIDCALL;
    size_t count = 0;
    const uint32_t* tokens = ShaderProgramTokens(program, &count);
    UINT bytes = UINT(count * sizeof(DWORD));
    if (data) {
        if (*size < bytes)
            return D3DERR_INVALIDCALL;
        std::memcpy(data, tokens, bytes);
    }
    *size = bytes;
    return D3D_OK;
}

template <class Interface> HRESULT Shader<Interface>::GetDevice(IDirect3DDevice9** out)
{
    return HandOutDevice(link_->device(), out);
}

template class Shader<IDirect3DVertexShader9>;
template class Shader<IDirect3DPixelShader9>;

} // namespace d3d9sw
