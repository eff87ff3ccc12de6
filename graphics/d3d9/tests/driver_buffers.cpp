// Static buffer space, dynamic slots with their wrap-around, shared
// declarations and the draw calls' flush.

#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

class Buffers : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
    }

    static UINT Size(IDirect3DVertexBuffer9* buffer)
    {
        D3DVERTEXBUFFER_DESC desc{};
        buffer->GetDesc(&desc);
        return desc.Size;
    }
};

} // namespace

TEST_F(Buffers, StaticSpaceIsSharedAndMergedBack)
{
    IDirect3DVertexBuffer9 *first = nullptr, *second = nullptr;
    uint32_t offsetA = 1, offsetB = 1;
    ASSERT_TRUE(D3D9VertexBufferCreateSpace(20, 100, &first, &offsetA));
    ASSERT_TRUE(D3D9VertexBufferCreateSpace(20, 100, &second, &offsetB));
    EXPECT_EQ(first, second);
    EXPECT_EQ(offsetA, 0u);
    EXPECT_EQ(offsetB, 100u);
    EXPECT_EQ(Size(first), 0x20000u / 20 * 20 + 20) << "the default size rounded up to the stride";
    D3D9VertexBufferFreeSpace(20, 100, first, 0);
    D3D9VertexBufferFreeSpace(20, 100, first, 100);
    // One merged range again: the whole buffer serves a request of its full size.
    IDirect3DVertexBuffer9* whole = nullptr;
    uint32_t offset = 1;
    ASSERT_TRUE(D3D9VertexBufferCreateSpace(20, Size(first), &whole, &offset));
    EXPECT_EQ(whole, first);
    EXPECT_EQ(offset, 0u);

    IDirect3DVertexBuffer9* large = nullptr;
    ASSERT_TRUE(D3D9VertexBufferCreateSpace(20, 0x30000, &large, &offset));
    EXPECT_NE(large, first);
    EXPECT_EQ(Size(large), 0x30000u);
}

TEST_F(Buffers, DynamicLocksAppendRotateAndGrow)
{
    IDirect3DVertexBuffer9* buffer = nullptr;
    void* data = nullptr;
    uint32_t firstVertex = 99;
    ASSERT_TRUE(D3D9DynamicVertexBufferLock(10, 10, &buffer, &data, &firstVertex));
    EXPECT_EQ(firstVertex, 0u);
    buffer->Unlock();
    IDirect3DVertexBuffer9* again = nullptr;
    ASSERT_TRUE(D3D9DynamicVertexBufferLock(12, 1, &again, &data, &firstVertex));
    EXPECT_EQ(again, buffer);
    EXPECT_EQ(firstVertex, 9u) << "100 used bytes round up to 108 for 12-byte vertices";
    again->Unlock();

    // Filling the other three slots and then one more lock wraps to a discard.
    IDirect3DVertexBuffer9* seen[5] = {buffer};
    for (int i = 1; i < 5; ++i) {
        ASSERT_TRUE(D3D9DynamicVertexBufferLock(4, (i == 1 ? 0x40000 - 120 : 0x40000) / 4, &seen[i], &data,
                                                &firstVertex));
        seen[i]->Unlock();
    }
    EXPECT_EQ(seen[1], buffer) << "the rest of the current slot first";
    EXPECT_NE(seen[2], buffer);
    EXPECT_NE(seen[3], seen[2]);
    EXPECT_NE(seen[4], seen[3]);
    IDirect3DVertexBuffer9* wrapped = nullptr;
    ASSERT_TRUE(D3D9DynamicVertexBufferLock(4, 16, &wrapped, &data, &firstVertex));
    EXPECT_EQ(firstVertex, 0u);
    EXPECT_EQ(wrapped, buffer) << "four full slots: the next one is discarded";
    wrapped->Unlock();

    IDirect3DVertexBuffer9* big = nullptr;
    ASSERT_TRUE(D3D9DynamicVertexBufferLock(16, 0x5000, &big, &data, &firstVertex));
    EXPECT_EQ(Size(big), 16u * 0x5000u);
    big->Unlock();

    // A new frame starts every slot empty.
    D3D9DynamicBuffersNewFrame();
    ASSERT_TRUE(D3D9DynamicVertexBufferLock(4, 4, &buffer, &data, &firstVertex));
    EXPECT_EQ(firstVertex, 0u);
    buffer->Unlock();
}

TEST_F(Buffers, DynamicBuffersAreRecreatedThroughTheirOwnersAfterAReset)
{
    IDirect3DVertexBuffer9* mine = nullptr;
    ASSERT_TRUE(D3D9DynamicVertexBufferCreate(0x1000, &mine));
    ASSERT_NE(mine, nullptr);
    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    ASSERT_TRUE(D3D9RestoreLostDevice());
    ASSERT_NE(mine, nullptr) << "the owner's pointer holds the new buffer";
    EXPECT_EQ(Size(mine), 0x1000u);
    D3D9DynamicVertexBufferDestroy(mine);
    IDirect3DVertexBuffer9* reused = nullptr;
    ASSERT_TRUE(D3D9DynamicVertexBufferCreate(0x1000, &reused));
    EXPECT_EQ(reused, mine) << "a free buffer of the same size is reused";
}

TEST_F(Buffers, DeclarationsAreSharedByTheirElements)
{
    const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                          {0, 12, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                          D3DDECL_END()};
    IDirect3DVertexDeclaration9 *a = nullptr, *b = nullptr;
    ASSERT_TRUE(D3D9VertexDeclarationCreate(elements, &a));
    ASSERT_TRUE(D3D9VertexDeclarationCreate(elements, &b));
    EXPECT_EQ(a, b);
    D3D9VertexDeclarationRelease(a);
    UINT count = 0;
    EXPECT_EQ(b->GetDeclaration(nullptr, &count), D3D_OK) << "one release keeps the shared declaration";
    EXPECT_EQ(count, 3u);
    D3D9VertexDeclarationRelease(b);
    IDirect3DVertexDeclaration9* c = nullptr;
    ASSERT_TRUE(D3D9VertexDeclarationCreate(elements, &c)) << "made again from the kept copy";
    D3D9VertexDeclarationRelease(c);
}

TEST_F(Buffers, DrawCallsFlushTheQueuedStates)
{
    struct Vertex
    {
        float x, y, z, rhw;
        D3DCOLOR colour;
    } triangle[3] = {{0, 0, 0, 1, 0xFFFF0000}, {10, 0, 0, 1, 0xFFFF0000}, {0, 10, 0, 1, 0xFFFF0000}};
    D3D9SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    D3D9SetRenderState(D3DRS_FOGCOLOR, 0x00ABCDEF);
    ASSERT_TRUE(D3D9State().device->BeginScene() == D3D_OK);
    EXPECT_TRUE(D3D9DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, triangle, sizeof(Vertex)));
    D3D9State().device->EndScene();
    EXPECT_EQ(DeviceRenderState(D3DRS_FOGCOLOR), 0x00ABCDEFu);
    EXPECT_EQ(D3D9GetBindingCache()->streams[0].buffer, 0u) << "user-pointer draws leave stream 0 unbound";
}
