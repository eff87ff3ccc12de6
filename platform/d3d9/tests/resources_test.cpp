// Each resource kind: created, locked, filled, read back and released, with
// no live objects left; lock ranges and creation errors.
#include <gtest/gtest.h>

#include <cstring>

#include "testdevice.h"

using namespace d3d9test;

namespace {

class Resources : public ::testing::Test
{
  protected:
    void TearDown() override
    {
        delete t;
        EXPECT_EQ(D3D9LiveObjectCount(), 0);
    }
    TestDevice* t = new TestDevice(16, 16);
};

struct TextureCase
{
    D3DFORMAT format;
    UINT bytesPerRow; // for an 8 x 8 level 0: tight pitch
};

class TextureFormats : public Resources, public ::testing::WithParamInterface<TextureCase>
{
};

} // namespace

TEST_P(TextureFormats, CreateLockFillRelease)
{
    const TextureCase c = GetParam();
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(t->device->CreateTexture(8, 8, 0, 0, c.format, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    EXPECT_EQ(tex->GetLevelCount(), 4u);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3D_OK);
    EXPECT_EQ(UINT(lr.Pitch), c.bytesPerRow);
    std::memset(lr.pBits, 0x5A, size_t(lr.Pitch) * (c.format >= D3DFMT_DXT1 ? 2 : 8));
    EXPECT_EQ(tex->LockRect(0, &lr, nullptr, 0), D3DERR_INVALIDCALL) << "second lock of one level";
    EXPECT_EQ(tex->UnlockRect(0), D3D_OK);
    EXPECT_EQ(tex->UnlockRect(0), D3DERR_INVALIDCALL);
    ASSERT_EQ(tex->LockRect(0, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(lr.pBits)[0], 0x5A);
    tex->UnlockRect(0);
    D3DSURFACE_DESC desc;
    ASSERT_EQ(tex->GetLevelDesc(3, &desc), D3D_OK);
    EXPECT_EQ(desc.Width, 1u);
    EXPECT_EQ(desc.Format, c.format);
    IDirect3DSurface9* level = nullptr;
    ASSERT_EQ(tex->GetSurfaceLevel(1, &level), D3D_OK);
    EXPECT_EQ(tex->AddRef(), 3u) << "a level shares the texture's count";
    tex->Release();
    level->Release();
    EXPECT_EQ(tex->Release(), 0u);
}

INSTANTIATE_TEST_SUITE_P(AllFormats, TextureFormats,
                         ::testing::Values(TextureCase{D3DFMT_A8R8G8B8, 32}, TextureCase{D3DFMT_X8R8G8B8, 32},
                                           TextureCase{D3DFMT_R5G6B5, 16}, TextureCase{D3DFMT_A1R5G5B5, 16},
                                           TextureCase{D3DFMT_A4R4G4B4, 16}, TextureCase{D3DFMT_L8, 8},
                                           TextureCase{D3DFMT_A8L8, 16}, TextureCase{D3DFMT_P8, 8},
                                           TextureCase{D3DFMT_V8U8, 16}, TextureCase{D3DFMT_DXT1, 16},
                                           TextureCase{D3DFMT_DXT3, 32}, TextureCase{D3DFMT_DXT5, 32}));

TEST_F(Resources, CubeTextureFacesAndAutoMips)
{
    IDirect3DCubeTexture9* cube = nullptr;
    ASSERT_EQ(t->device->CreateCubeTexture(4, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                           &cube, nullptr),
              D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 3u);
    D3DLOCKED_RECT lr;
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0, &lr, nullptr, 0), D3D_OK);
    for (int i = 0; i < 16; ++i)
        static_cast<uint32_t*>(lr.pBits)[i] = 0xFF00FF00u;
    ASSERT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 0), D3D_OK);
    // The 1 x 1 level was rebuilt from level 0.
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 2, &lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(*static_cast<uint32_t*>(lr.pBits), 0xFF00FF00u);
    cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_Z, 2);
    IDirect3DSurface9* face = nullptr;
    EXPECT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACES(6), 0, &face), D3DERR_INVALIDCALL);
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_POSITIVE_Y, 1, &face), D3D_OK);
    face->Release();
    cube->Release();
}

TEST_F(Resources, VertexAndIndexBufferLockRanges)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(t->device->CreateVertexBuffer(100, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                            &vb, nullptr),
              D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(vb->Lock(96, 8, &data, 0), D3DERR_INVALIDCALL) << "range past the end";
    EXPECT_EQ(data, nullptr);
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    std::memset(data, 7, 100);
    vb->Unlock();
    ASSERT_EQ(vb->Lock(40, 20, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    EXPECT_EQ(static_cast<uint8_t*>(data)[0], 7) << "NOOVERWRITE keeps the contents";
    vb->Unlock();
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);
    D3DVERTEXBUFFER_DESC vd;
    vb->GetDesc(&vd);
    EXPECT_EQ(vd.Size, 100u);
    for (D3DFORMAT f : {D3DFMT_INDEX16, D3DFMT_INDEX32}) {
        IDirect3DIndexBuffer9* ib = nullptr;
        ASSERT_EQ(t->device->CreateIndexBuffer(12, D3DUSAGE_WRITEONLY, f, D3DPOOL_MANAGED, &ib, nullptr),
                  D3D_OK);
        ASSERT_EQ(ib->Lock(4, 8, &data, 0), D3D_OK);
        EXPECT_EQ(ib->Lock(8, 8, &data, 0), D3DERR_INVALIDCALL);
        ib->Unlock();
        D3DINDEXBUFFER_DESC id;
        ib->GetDesc(&id);
        EXPECT_EQ(id.Format, f);
        ib->Release();
    }
    IDirect3DIndexBuffer9* bad = nullptr;
    EXPECT_EQ(t->device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &bad, nullptr),
              D3DERR_INVALIDCALL);
    vb->Release();
}

TEST_F(Resources, SurfacesOfEveryKind)
{
    IDirect3DSurface9 *rt = nullptr, *ds = nullptr, *sys = nullptr, *lockableDepth = nullptr;
    ASSERT_EQ(t->device->CreateRenderTarget(8, 8, D3DFMT_R5G6B5, D3DMULTISAMPLE_NONE, 0, 1, &rt, nullptr),
              D3D_OK);
    ASSERT_EQ(
        t->device->CreateDepthStencilSurface(8, 8, D3DFMT_D24S8, D3DMULTISAMPLE_NONE, 0, 0, &ds, nullptr),
        D3D_OK);
    ASSERT_EQ(t->device->CreateOffscreenPlainSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &sys, nullptr),
              D3D_OK);
    ASSERT_EQ(t->device->CreateDepthStencilSurface(4, 4, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, 0, 0,
                                                   &lockableDepth, nullptr),
              D3D_OK);
    D3DLOCKED_RECT lr;
    EXPECT_EQ(ds->LockRect(&lr, nullptr, 0), D3DERR_INVALIDCALL) << "D24S8 is not lockable";
    ASSERT_EQ(lockableDepth->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<uint16_t*>(lr.pBits)[0], 0xFFFF) << "depth starts at 1.0";
    lockableDepth->UnlockRect();
    RECT outside{4, 4, 9, 9};
    EXPECT_EQ(sys->LockRect(&lr, &outside, 0), D3DERR_INVALIDCALL);
    RECT inside{2, 3, 4, 5};
    ASSERT_EQ(sys->LockRect(&lr, &inside, 0), D3D_OK);
    EXPECT_EQ(lr.Pitch, 32);
    sys->UnlockRect();
    IDirect3DSurface9* multi = nullptr;
    EXPECT_EQ(
        t->device->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_TYPE(4), 0, 0, &multi, nullptr),
        D3DERR_INVALIDCALL)
        << "no multisampling";
    for (IDirect3DSurface9* s : {rt, ds, sys, lockableDepth})
        s->Release();
}

TEST_F(Resources, PalettesDeclarationsAndShaders)
{
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i)
        entries[i] = {BYTE(i), 0, BYTE(255 - i), 255};
    ASSERT_EQ(t->device->SetPaletteEntries(3, entries), D3D_OK);
    PALETTEENTRY back[256];
    ASSERT_EQ(t->device->GetPaletteEntries(3, back), D3D_OK);
    EXPECT_EQ(back[10].peRed, 10);
    EXPECT_EQ(back[10].peBlue, 245);
    EXPECT_EQ(t->device->GetPaletteEntries(4, back), D3DERR_INVALIDCALL);
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_SHORT4N, 0, D3DDECLUSAGE_NORMAL, 0},
                                          {1, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9* decl = nullptr;
    ASSERT_EQ(t->device->CreateVertexDeclaration(elements, &decl), D3D_OK);
    UINT count = 0;
    decl->GetDeclaration(nullptr, &count);
    EXPECT_EQ(count, 4u);
    ASSERT_EQ(t->device->SetVertexDeclaration(decl), D3D_OK);
    const DWORD vs[] = {0xFFFE0101, 0x0000FFFF};
    const DWORD bad[] = {0x12345678, 0x0000FFFF};
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(t->device->CreateVertexShader(vs, &shader), D3D_OK);
    IDirect3DPixelShader9* ps = nullptr;
    EXPECT_EQ(t->device->CreatePixelShader(bad, &ps), D3DERR_INVALIDCALL);
    UINT size = 0;
    shader->GetFunction(nullptr, &size);
    EXPECT_EQ(size, 8u);
    // The device holds its own references while they are bound.
    decl->Release();
    shader->Release();
    EXPECT_GT(D3D9LiveObjectCount(), 3);
}

TEST_F(Resources, DeviceOutlivesItsLastResource)
{
    IDirect3DTexture9* tex = nullptr;
    ASSERT_EQ(t->device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &tex, nullptr), D3D_OK);
    ASSERT_EQ(t->device->SetTexture(0, tex), D3D_OK);
    t->device->Release();
    t->device = nullptr;
    EXPECT_GT(D3D9LiveObjectCount(), 1) << "the texture keeps the device";
    IDirect3DDevice9* device = nullptr;
    ASSERT_EQ(tex->GetDevice(&device), D3D_OK);
    device->Release();
    tex->Release();
}
