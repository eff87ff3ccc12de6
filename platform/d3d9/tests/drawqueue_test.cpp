// On more than one thread the device queues draws and draws them later: a
// queued draw must still see the state, resources and target of its call,
// and whatever reads, writes, frees or switches what it uses must find it
// drawn. Each case draws, does one such thing, draws again and reads the
// frame back; on every thread count (bands of many rows and of one row) the
// readings must be one thread's byte for byte, and the probes the colours
// the calls ask for. Clears wait in the queue as draws do, so they are
// among the calls.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "testdevice.h"

using namespace d3d9test;

namespace {

constexpr UINT kWidth = 96, kHeight = 64;
constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kYellow = 0xFFFFFF00,
                   kCyan = 0xFF00FFFF, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF;

// The back buffer read through a lock of its own (no copy by the device).
std::vector<uint32_t> ReadByLock(IDirect3DDevice9* d)
{
    IDirect3DSurface9* bb = nullptr;
    d->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &bb);
    std::vector<uint32_t> out(size_t(kWidth) * kHeight);
    D3DLOCKED_RECT lr{};
    if (bb && SUCCEEDED(bb->LockRect(&lr, nullptr, D3DLOCK_READONLY))) {
        for (UINT y = 0; y < kHeight; ++y)
            std::memcpy(&out[size_t(y) * kWidth],
                        static_cast<const uint8_t*>(lr.pBits) + size_t(y) * lr.Pitch, kWidth * 4);
        bb->UnlockRect();
    }
    if (bb)
        bb->Release();
    for (uint32_t& c : out)
        c |= 0xFF000000u; // X8R8G8B8
    return out;
}

// Readings of one case: the frames it read back, one after the other.
struct Readings
{
    IDirect3DDevice9* d;
    std::vector<uint32_t> frames;

    // Reads the frame and checks the probes.
    void Read(std::initializer_list<std::pair<std::pair<int, int>, uint32_t>> probes)
    {
        const std::vector<uint32_t> frame = ReadByLock(d);
        for (const auto& [at, colour] : probes)
            EXPECT_EQ(frame[size_t(at.second) * kWidth + size_t(at.first)], colour)
                << "pixel " << at.first << ", " << at.second << ", reading " << frames.size() / frame.size();
        frames.insert(frames.end(), frame.begin(), frame.end());
    }
};

IDirect3DTexture9* SolidTexture(IDirect3DDevice9* d, uint32_t colour)
{
    return MakeTexture(d, 2, 2, std::vector<uint32_t>(4, colour));
}

void BlendBySourceAlpha(IDirect3DDevice9* d)
{
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

/// The same numbers on every run: next(range) is below range.
auto Numbers(uint32_t seed)
{
    return [seed](uint32_t range) mutable {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
}

void FillTexture(IDirect3DTexture9* texture, uint32_t colour)
{
    D3DLOCKED_RECT lr;
    ASSERT_EQ(texture->LockRect(0, &lr, nullptr, 0), D3D_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, &colour, 4);
    texture->UnlockRect(0);
}

void LockReadsQueuedDraws(Readings& r)
{
    DrawRect(r.d, 0, 0, 48, 64, 0.5f, kRed);
    r.Read({{{10, 10}, kRed}, {{70, 10}, kBlack}});
    DrawRect(r.d, 48, 0, 96, 64, 0.5f, kGreen);
    DrawRect(r.d, 40, 20, 56, 44, 0.5f, kBlue);
    r.Read({{{10, 10}, kRed}, {{70, 10}, kGreen}, {{44, 30}, kBlue}, {{52, 30}, kBlue}});
}

void TextureWrittenBetweenDraws(Readings& r)
{
    IDirect3DTexture9* texture = SolidTexture(r.d, kRed);
    r.d->SetTexture(0, texture);
    DrawRect(r.d, 0, 0, 48, 64, 0.5f, kWhite);
    FillTexture(texture, kBlue);
    DrawRect(r.d, 48, 0, 96, 64, 0.5f, kWhite);
    r.d->SetTexture(0, nullptr);
    texture->Release();
    r.Read({{{10, 10}, kRed}, {{70, 10}, kBlue}});
}

void TextureFreedBetweenDraws(Readings& r)
{
    IDirect3DTexture9* texture = SolidTexture(r.d, kRed);
    r.d->SetTexture(0, texture);
    texture->Release(); // the device holds the last reference
    DrawRect(r.d, 0, 0, 48, 64, 0.5f, kWhite);
    IDirect3DTexture9* other = SolidTexture(r.d, kGreen);
    r.d->SetTexture(0, other); // frees the first
    other->Release();
    DrawRect(r.d, 48, 0, 96, 64, 0.5f, kWhite);
    r.d->SetTexture(0, nullptr);
    r.Read({{{10, 10}, kRed}, {{70, 10}, kGreen}});
}

// A texture drawn into, then drawn with, then drawn into again: each draw
// sees the target's contents of its call.
void RenderTargetSwitches(Readings& r)
{
    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(r.d->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                 nullptr),
              D3D_OK);
    IDirect3DSurface9 *level = nullptr, *back = nullptr;
    target->GetSurfaceLevel(0, &level);
    r.d->GetRenderTarget(0, &back);
    DrawRect(r.d, 0, 0, 48, 64, 0.5f, kRed);
    r.d->SetRenderTarget(0, level);
    DrawRect(r.d, 0, 0, 32, 32, 0.5f, kYellow);
    r.d->SetRenderTarget(0, back);
    r.d->SetTexture(0, target);
    DrawRect(r.d, 48, 0, 96, 64, 0.5f, kWhite);
    r.d->SetTexture(0, nullptr);
    r.d->SetRenderTarget(0, level);
    DrawRect(r.d, 0, 0, 32, 32, 0.5f, kCyan);
    r.d->SetRenderTarget(0, back);
    DrawRect(r.d, 0, 0, 8, 8, 0.5f, kBlue);
    r.Read({{{10, 10}, kRed}, {{70, 30}, kYellow}, {{2, 2}, kBlue}});
    r.d->SetTexture(0, target);
    DrawRect(r.d, 48, 0, 96, 32, 0.5f, kWhite);
    r.d->SetTexture(0, nullptr);
    r.Read({{{70, 10}, kCyan}, {{70, 50}, kYellow}});
    level->Release();
    back->Release();
    target->Release();
}

void ClearBetweenDraws(Readings& r)
{
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, kRed);
    const D3DRECT hole{24, 16, 72, 48};
    r.d->Clear(1, &hole, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    DrawRect(r.d, 40, 0, 56, 64, 0.5f, kGreen);
    r.Read({{{5, 5}, kRed}, {{30, 20}, kBlue}, {{48, 32}, kGreen}, {{48, 5}, kGreen}});
}

// Clears of the target, the depth and the stencil between draws, bounded by
// rectangle lists, the viewport and the scissor: each draw after a clear
// tests against what the clear left, in every band.
void ClearsOfEveryKindBetweenDraws(Readings& r)
{
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, kRed);
    const D3DRECT holes[2] = {{8, 8, 40, 30}, {30, 20, 88, 56}};
    r.d->Clear(2, holes, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlue, 0.25f, 0);
    DrawRect(r.d, 0, 0, 96, 64, 0.375f, kGreen); // behind the holes' depth only
    r.Read({{{2, 2}, kGreen}, {{10, 10}, kBlue}, {{60, 40}, kBlue}, {{90, 60}, kGreen}});
    // Only the marked columns pass the stencil test.
    r.d->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0);
    const D3DRECT mark{16, 0, 48, 64};
    r.d->Clear(1, &mark, D3DCLEAR_STENCIL | D3DCLEAR_ZBUFFER, 0, 1.0f, 7);
    r.d->SetRenderState(D3DRS_STENCILENABLE, 1);
    r.d->SetRenderState(D3DRS_STENCILFUNC, D3DCMP_EQUAL);
    r.d->SetRenderState(D3DRS_STENCILREF, 7);
    DrawRect(r.d, 0, 0, 96, 64, 0.875f, kYellow);
    r.d->SetRenderState(D3DRS_STENCILENABLE, 0);
    D3DVIEWPORT9 right{48, 0, 48, 64, 0, 1};
    r.d->SetViewport(&right);
    r.d->SetRenderState(D3DRS_SCISSORTESTENABLE, 1);
    const RECT bottom{0, 32, 96, 64};
    r.d->SetScissorRect(&bottom);
    r.d->Clear(0, nullptr, D3DCLEAR_TARGET, kCyan, 1.0f, 0);
    r.d->SetRenderState(D3DRS_SCISSORTESTENABLE, 0);
    D3DVIEWPORT9 whole{0, 0, kWidth, kHeight, 0, 1};
    r.d->SetViewport(&whole);
    r.Read(
        {{{20, 10}, kYellow}, {{4, 10}, kGreen}, {{60, 10}, kGreen}, {{60, 40}, kCyan}, {{40, 40}, kYellow}});
}

// Everything that reads the target right after a clear finds it filled:
// a lock with the clear alone in the queue, a copy back to memory, a stretch
// and a texture drawn with after it was cleared as a target.
void ReadsRightAfterClears(Readings& r)
{
    r.d->Clear(0, nullptr, D3DCLEAR_TARGET, kBlue, 1.0f, 0);
    r.Read({{{0, 0}, kBlue}, {{95, 63}, kBlue}});
    IDirect3DSurface9 *back = nullptr, *copy = nullptr, *memory = nullptr;
    r.d->GetRenderTarget(0, &back);
    ASSERT_EQ(
        r.d->CreateRenderTarget(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, 0, &copy, nullptr),
        D3D_OK);
    ASSERT_EQ(r.d->CreateOffscreenPlainSurface(kWidth, kHeight, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &memory,
                                               nullptr),
              D3D_OK);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, kRed);
    const D3DRECT left{0, 0, 48, 64};
    r.d->Clear(1, &left, D3DCLEAR_TARGET, kGreen, 1.0f, 0);
    ASSERT_EQ(r.d->GetRenderTargetData(back, memory), D3D_OK);
    D3DLOCKED_RECT lr{};
    ASSERT_EQ(memory->LockRect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row = static_cast<const uint32_t*>(lr.pBits);
    EXPECT_EQ(row[10] | kBlack, kGreen);
    EXPECT_EQ(row[70] | kBlack, kRed);
    memory->UnlockRect();
    r.d->Clear(0, nullptr, D3DCLEAR_TARGET, kYellow, 1.0f, 0);
    r.d->StretchRect(back, nullptr, copy, nullptr, D3DTEXF_NONE);
    r.d->Clear(0, nullptr, D3DCLEAR_TARGET, kCyan, 1.0f, 0);
    const RECT half{0, 0, 48, 64};
    r.d->StretchRect(copy, &half, back, &half, D3DTEXF_NONE);
    r.Read({{{10, 10}, kYellow}, {{70, 10}, kCyan}});

    IDirect3DTexture9* target = nullptr;
    ASSERT_EQ(r.d->CreateTexture(32, 32, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target,
                                 nullptr),
              D3D_OK);
    IDirect3DSurface9* level = nullptr;
    target->GetSurfaceLevel(0, &level);
    r.d->SetRenderTarget(0, level);
    r.d->Clear(0, nullptr, D3DCLEAR_TARGET, kRed, 1.0f, 0);
    r.d->SetRenderTarget(0, back);
    r.d->SetTexture(0, target);
    DrawRect(r.d, 48, 0, 96, 64, 0.5f, kWhite);
    r.d->SetTexture(0, nullptr);
    r.Read({{{10, 10}, kYellow}, {{70, 10}, kRed}});
    for (IUnknown* u : std::initializer_list<IUnknown*>{level, target, back, copy, memory})
        u->Release();
}

// Many clears of small rectangles of the target and the depth among
// blended and depth-tested draws, more than the queue holds at once.
void ManyClearsAmongDraws(Readings& r)
{
    BlendBySourceAlpha(r.d);
    auto next = Numbers(777);
    for (int i = 0; i < 5000; ++i) {
        const LONG x = LONG(next(kWidth)), y = LONG(next(kHeight));
        const LONG w = LONG(1 + next(i % 40 == 0 ? kWidth : 16)),
                   h = LONG(1 + next(i % 40 == 0 ? kHeight : 16));
        const float z = float(next(256)) / 256.0f;
        if (i % 3 == 0) {
            const D3DRECT rect{x, y, x + w, y + h};
            const DWORD flags = i % 2 ? D3DCLEAR_TARGET : D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
            r.d->Clear(1, &rect, flags, 0xFF000000u | next(0x1000000), z, 0);
        } else {
            DrawRect(r.d, float(x), float(y), float(x + w), float(y + h), z, 0x80000000u | next(0x1000000));
        }
        if (i == 2500)
            r.Read({});
    }
    r.d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    r.Read({});
}

void CopiesBetweenDraws(Readings& r)
{
    IDirect3DSurface9 *copy = nullptr, *back = nullptr;
    ASSERT_EQ(r.d->CreateRenderTarget(48, 64, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, 0, &copy, nullptr),
              D3D_OK);
    r.d->GetRenderTarget(0, &back);
    DrawRect(r.d, 0, 0, 48, 64, 0.5f, kRed);
    const RECT left{0, 0, 48, 64}, right{48, 0, 96, 64};
    r.d->StretchRect(back, &left, copy, nullptr, D3DTEXF_NONE);
    DrawRect(r.d, 0, 0, 48, 64, 0.5f, kGreen);
    r.d->StretchRect(copy, nullptr, back, &right, D3DTEXF_NONE);
    r.d->ColorFill(copy, nullptr, kBlue);
    r.Read({{{10, 10}, kGreen}, {{70, 10}, kRed}});
    copy->Release();
    back->Release();
}

// Buffers rewritten between draws that read them.
void BuffersRewrittenBetweenDraws(Readings& r)
{
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(r.d->CreateVertexBuffer(8 * sizeof(TVertex), 0, kTVertexFvf, D3DPOOL_MANAGED, &vb, nullptr),
              D3D_OK);
    ASSERT_EQ(r.d->CreateIndexBuffer(6 * 2, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib, nullptr), D3D_OK);
    auto quad = [](TVertex* v, float x0, float y0, float x1, float y1, D3DCOLOR c) {
        v[0] = {x0, y0, 0.5f, 1, c, 0, 0};
        v[1] = {x1, y0, 0.5f, 1, c, 0, 0};
        v[2] = {x0, y1, 0.5f, 1, c, 0, 0};
        v[3] = {x1, y1, 0.5f, 1, c, 0, 0};
    };
    auto writeVertices = [&](float leftBottom, D3DCOLOR leftColour) {
        void* p = nullptr;
        vb->Lock(0, 0, &p, 0);
        auto* v = static_cast<TVertex*>(p);
        quad(v, 0, 0, 48, leftBottom, leftColour);
        quad(v + 4, 48, 0, 96, 64, kGreen);
        vb->Unlock();
    };
    auto writeIndices = [&](uint16_t first) {
        void* p = nullptr;
        ib->Lock(0, 0, &p, 0);
        const uint16_t idx[6] = {first,
                                 uint16_t(first + 1),
                                 uint16_t(first + 2),
                                 uint16_t(first + 2),
                                 uint16_t(first + 1),
                                 uint16_t(first + 3)};
        std::memcpy(p, idx, sizeof idx);
        ib->Unlock();
    };
    writeVertices(64, kRed);
    writeIndices(0);
    r.d->SetFVF(kTVertexFvf);
    r.d->SetStreamSource(0, vb, 0, sizeof(TVertex));
    r.d->SetIndices(ib);
    r.d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 2);
    writeIndices(4);
    r.d->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 2);
    writeVertices(16, kBlue);
    r.d->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    r.d->SetStreamSource(0, nullptr, 0, 0);
    r.d->SetIndices(nullptr);
    vb->Release();
    ib->Release();
    // A user-pointer draw's memory, reused at once.
    TVertex v[4];
    quad(v, 0, 40, 16, 64, kYellow);
    r.d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TVertex));
    quad(v, 80, 40, 96, 64, kCyan);
    r.d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(TVertex));
    r.Read({{{30, 40}, kRed}, {{30, 8}, kBlue}, {{60, 30}, kGreen}, {{8, 50}, kYellow}, {{88, 50}, kCyan}});
}

// Shader constants and palettes changed between draws.
void ConstantsChangedBetweenDraws(Readings& r)
{
    const std::vector<DWORD> tokens = Assemble("ps_1_1\nmov r0, c0\n");
    IDirect3DPixelShader9* shader = nullptr;
    ASSERT_EQ(r.d->CreatePixelShader(tokens.data(), &shader), D3D_OK);
    r.d->SetPixelShader(shader);
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1};
    r.d->SetPixelShaderConstantF(0, red, 1);
    DrawRect(r.d, 0, 0, 48, 32, 0.5f, kWhite);
    r.d->SetPixelShaderConstantF(0, green, 1);
    DrawRect(r.d, 48, 0, 96, 32, 0.5f, kWhite);
    r.d->SetPixelShader(nullptr);
    shader->Release(); // freed with a draw of it queued

    IDirect3DTexture9* p8 = nullptr;
    ASSERT_EQ(r.d->CreateTexture(4, 4, 1, 0, D3DFMT_P8, D3DPOOL_MANAGED, &p8, nullptr), D3D_OK);
    D3DLOCKED_RECT lr;
    p8->LockRect(0, &lr, nullptr, 0);
    for (int y = 0; y < 4; ++y)
        std::memset(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, 7, 4);
    p8->UnlockRect(0);
    PALETTEENTRY palette[256] = {};
    palette[7] = {0, 0, 255, 255};
    r.d->SetPaletteEntries(1, palette);
    r.d->SetCurrentTexturePalette(1);
    r.d->SetTexture(0, p8);
    DrawRect(r.d, 0, 32, 48, 64, 0.5f, kWhite);
    palette[7] = {255, 255, 0, 255};
    r.d->SetPaletteEntries(1, palette);
    DrawRect(r.d, 48, 32, 72, 64, 0.5f, kWhite);
    // Another palette for the same texture: its levels decode anew.
    palette[7] = {0, 255, 255, 255};
    r.d->SetPaletteEntries(2, palette);
    r.d->SetCurrentTexturePalette(2);
    DrawRect(r.d, 72, 32, 96, 64, 0.5f, kWhite);
    r.d->SetCurrentTexturePalette(1);
    DrawRect(r.d, 0, 56, 8, 64, 0.5f, kWhite);
    r.d->SetTexture(0, nullptr);
    p8->Release();
    r.Read({{{10, 10}, kRed},
            {{70, 10}, kGreen},
            {{10, 50}, kBlue},
            {{60, 50}, kYellow},
            {{80, 50}, kCyan},
            {{4, 60}, kYellow}});
}

// Vertices are transformed by the flush too: each draw with the shader
// constants, matrices and vertices of its call; a draw of many vertices
// (transformed when called, in pieces of which one is clipped) comes out
// whole.
void VertexWorkOfTheCall(Readings& r)
{
    struct Vertex
    {
        float x, y, z;
        D3DCOLOR colour;
    };
    r.d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    r.d->SetRenderState(D3DRS_LIGHTING, 0);
    r.d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    // The left quarter of clip space, moved and coloured by the constants.
    Vertex quad[4] = {
        {-1, 1, 0.5f, kWhite}, {-0.5f, 1, 0.5f, kWhite}, {-1, -1, 0.5f, kWhite}, {-0.5f, -1, 0.5f, kWhite}};
    const std::vector<DWORD> tokens = Assemble("vs_1_1\ndcl_position v0\nadd oPos, v0, c4\nmov oD0, c0\n");
    IDirect3DVertexShader9* shader = nullptr;
    ASSERT_EQ(r.d->CreateVertexShader(tokens.data(), &shader), D3D_OK);
    r.d->SetVertexShader(shader);
    const float red[4] = {1, 0, 0, 1}, green[4] = {0, 1, 0, 1}, stay[4] = {0, 0, 0, 0},
                move[4] = {0.5f, 0, 0, 0};
    r.d->SetVertexShaderConstantF(0, red, 1);
    r.d->SetVertexShaderConstantF(4, stay, 1);
    r.d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    r.d->SetVertexShaderConstantF(0, green, 1);
    r.d->SetVertexShaderConstantF(4, move, 1);
    r.d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    r.d->SetVertexShader(nullptr);
    shader->Release(); // freed with draws of it queued
    D3DMATRIX world{};
    world.m[0][0] = world.m[1][1] = world.m[2][2] = world.m[3][3] = 1;
    for (const auto& [x, colour] : {std::pair{1.0f, kBlue}, std::pair{1.5f, kYellow}}) {
        world.m[3][0] = x;
        r.d->SetTransform(D3DTS_WORLD, &world);
        for (Vertex& v : quad)
            v.colour = colour;
        r.d->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, quad, sizeof(Vertex));
    }
    world.m[3][0] = 0;
    r.d->SetTransform(D3DTS_WORLD, &world);
    // Thin triangles along the bottom, then one whose vertices on screen are
    // at the bottom and whose third, beyond the guard band, is clipped: it
    // reaches up to the top past the right edge.
    std::vector<Vertex> many;
    for (int i = 0; i < 2800; ++i) {
        const float x = -1 + float(i) * (2.0f / 2800), c = float(i % 256);
        const D3DCOLOR colour = 0xFF000000u | uint32_t(c) << 8 | uint32_t(255 - c);
        many.insert(many.end(),
                    {{x, -0.25f, 0.5f, colour}, {x + 0.01f, -1, 0.5f, colour}, {x, -1, 0.5f, colour}});
    }
    many.insert(many.end(), {{0.5f, -1, 0.5f, kCyan}, {400, 1600, 0.5f, kCyan}, {3, -1, 0.5f, kCyan}});
    r.d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, UINT(many.size() / 3), many.data(), sizeof(Vertex));
    r.Read({{{10, 10}, kRed}, {{30, 10}, kGreen}, {{60, 10}, kBlue}, {{80, 10}, kYellow}, {{95, 10}, kCyan}});
}

// Blended overlapping draws of every size come out in submission order,
// also when more draws are made than the queue holds at once.
void ManyOverlappingBlendedDraws(Readings& r)
{
    BlendBySourceAlpha(r.d);
    auto next = Numbers(12345);
    for (int i = 0; i < 5000; ++i) {
        const float x = float(next(kWidth)), y = float(next(kHeight));
        const float w = float(1 + next(i % 50 == 0 ? kWidth : 12)),
                    h = float(1 + next(i % 50 == 0 ? kHeight : 12));
        DrawRect(r.d, x, y, x + w, y + h, 0.5f, 0x80000000u | (next(0x1000000)));
    }
    r.d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    r.Read({});
}

// A few large draws: worth the bands, too few triangles to bin on the
// threads.
void FewLargeDraws(Readings& r)
{
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, kRed);
    BlendBySourceAlpha(r.d);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, 0x800000FFu);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, 0x8000FF00u);
    r.d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, kWhite, 0, 0, 1, 1);
    DrawRect(r.d, 10, 30, 90, 34, 0.5f, kBlue);
    r.Read({{{5, 5}, kWhite}, {{50, 31}, kBlue}});
    r.d->SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, 0x80FF0000u);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, 0x4000FF00u);
    DrawRect(r.d, 0, 0, 96, 64, 0.5f, 0x400000FFu);
    r.d->SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    r.Read({});
}

struct Case
{
    const char* name;
    void (*run)(Readings&);
};

const Case kCases[] = {
    {"LockReadsQueuedDraws", LockReadsQueuedDraws},
    {"TextureWrittenBetweenDraws", TextureWrittenBetweenDraws},
    {"TextureFreedBetweenDraws", TextureFreedBetweenDraws},
    {"RenderTargetSwitches", RenderTargetSwitches},
    {"ClearBetweenDraws", ClearBetweenDraws},
    {"ClearsOfEveryKindBetweenDraws", ClearsOfEveryKindBetweenDraws},
    {"ReadsRightAfterClears", ReadsRightAfterClears},
    {"ManyClearsAmongDraws", ManyClearsAmongDraws},
    {"CopiesBetweenDraws", CopiesBetweenDraws},
    {"BuffersRewrittenBetweenDraws", BuffersRewrittenBetweenDraws},
    {"ConstantsChangedBetweenDraws", ConstantsChangedBetweenDraws},
    {"VertexWorkOfTheCall", VertexWorkOfTheCall},
    {"ManyOverlappingBlendedDraws", ManyOverlappingBlendedDraws},
    {"FewLargeDraws", FewLargeDraws},
};

class DrawQueue : public ::testing::TestWithParam<Case>
{
};

TEST_P(DrawQueue, DrawsSeeTheirCallOnEveryThreadCount)
{
    auto run = [](int threads, bool everyDraw) {
        D3D9SetDeviceThreads(threads, everyDraw);
        TestDevice t(kWidth, kHeight);
        Readings r{t.device, {}};
        EXPECT_NE(t.device, nullptr);
        if (!t.device)
            return r.frames;
        t.device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kBlack, 1.0f, 0);
        t.device->BeginScene();
        GetParam().run(r);
        t.device->EndScene();
        return r.frames;
    };
    const std::vector<uint32_t> one = run(1, false);
    for (int threads = 2; threads <= 8; ++threads)
        for (bool everyDraw : {false, true}) {
            SCOPED_TRACE(std::to_string(threads) + " threads" + (everyDraw ? ", one-row bands" : ""));
            const std::vector<uint32_t> other = run(threads, everyDraw);
            ASSERT_EQ(one.size(), other.size());
            size_t differing = 0;
            for (size_t i = 0; i < one.size(); ++i)
                differing += one[i] != other[i];
            EXPECT_EQ(differing, 0u);
        }
    D3D9SetDeviceThreads(0, false);
    EXPECT_EQ(D3D9LiveObjectCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Hazards, DrawQueue, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
