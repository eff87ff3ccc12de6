// Particles drawn by the built-in routines: the vertices and shared indices
// of quads, the choice between quads and point sprites, and large emitters
// drawn in batches without wrapped indices.

#include <cmath>
#include <iterator>

#include "graphics/animation/tests/particletesting.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/scene/geometry.h"

namespace {

class ParticleRender : public ParticleTest
{
  protected:
    /// Runs the emitter's update as the hook would.
    static void Update(Atomic* atomic)
    {
        ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
        emitter->callBacks.update(atomic, emitter->arrays, ParticleLiveCount(emitter), emitter->changed);
    }
};

class MinimalCaps : public ParticleRender
{
  protected:
    const char* Profile() const override { return "minimal"; }
};

V3d Corner(const V3d& p, float r, float u)
{
    // The camera sits on an identity frame: R = (-1, 0, 0), U = (0, 1, 0).
    return {p.x - r, p.y + u, p.z};
}

} // namespace

TEST_F(ParticleRender, QuadsTakeTheCornerFormulaAndTheSharedIndices)
{
    Atomic* atomic = ParticleEmitterCreate(3, kParticleColour | kParticleEmitterTexRect, 0);
    ASSERT_NE(atomic, nullptr);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    ASSERT_FALSE(emitter->pointSprites);
    emitter->size[0] = 2.0f;
    emitter->size[1] = 1.0f;
    const float rect[4] = {0.25f, 0.5f, 0.75f, 1.0f};
    std::memcpy(emitter->texRect, rect, sizeof(rect));
    const std::vector<V3d> positions = {{1, 2, 3}, {-4, 5, 6}, {0, 0, 10}};
    SetPositions(atomic, positions);
    ParticleArray colours;
    ASSERT_EQ(ParticleEmitterLock(atomic, &colours, kParticleColour, kParticleLockWrite), 1);
    const uint8_t rgba[3][4] = {{10, 20, 30, 40}, {50, 60, 70, 80}, {90, 100, 110, 120}};
    for (int i = 0; i < 3; ++i) {
        std::memcpy(static_cast<uint8_t*>(colours.data) + i * colours.stride, rgba[i], 4);
    }
    ParticleEmitterUnlock(atomic);
    Update(atomic);

    ASSERT_EQ(emitter->vertexStride, 24u) << "position, colour, texture coordinates";
    const std::vector<float> v = BatchVertices(emitter);
    ASSERT_EQ(v.size(), 12u * 6u) << "3 particles give 12 vertices";
    const float corners[4][2] = {{-1, -0.5f}, {1, -0.5f}, {1, 0.5f}, {-1, 0.5f}};
    const float uvs[4][2] = {{0.25f, 1.0f}, {0.75f, 1.0f}, {0.75f, 0.5f}, {0.25f, 0.5f}};
    for (int i = 0; i < 3; ++i) {
        for (int c = 0; c < 4; ++c) {
            const float* vertex = &v[size_t(i * 4 + c) * 6];
            const V3d expected = Corner(positions[size_t(i)], corners[c][0], corners[c][1]);
            EXPECT_FLOAT_EQ(vertex[0], expected.x) << i << " " << c;
            EXPECT_FLOAT_EQ(vertex[1], expected.y) << i << " " << c;
            EXPECT_FLOAT_EQ(vertex[2], expected.z) << i << " " << c;
            uint32_t argb;
            std::memcpy(&argb, &vertex[3], 4);
            EXPECT_EQ(argb, ParticleArgb(rgba[i])) << i << " " << c;
            EXPECT_FLOAT_EQ(vertex[4], uvs[c][0]) << c;
            EXPECT_FLOAT_EQ(vertex[5], uvs[c][1]) << c;
        }
    }

    IDirect3DIndexBuffer9* indices = ParticleModuleGet()->indices;
    ASSERT_NE(indices, nullptr);
    void* data = nullptr;
    ASSERT_EQ(indices->Lock(0, 18 * 2, &data, D3DLOCK_READONLY), D3D_OK);
    const std::vector<uint16_t> got(static_cast<uint16_t*>(data), static_cast<uint16_t*>(data) + 18);
    indices->Unlock();
    const std::vector<uint16_t> expected = {0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11};
    EXPECT_EQ(got, expected);
    ParticleAtomicDestroy(atomic);
}

TEST_F(ParticleRender, RotationAndMatricesSpanTheQuads)
{
    Atomic* rotating = ParticleEmitterCreate(1, kParticleRotation | kParticleSize, 0);
    ASSERT_NE(rotating, nullptr);
    SetPositions(rotating, {{0, 0, 5}});
    ParticleArray angle, size;
    ASSERT_EQ(ParticleEmitterLock(rotating, &angle, kParticleRotation, kParticleLockWrite), 1);
    ASSERT_EQ(ParticleEmitterLock(rotating, &size, kParticleSize, kParticleLockWrite), 1);
    const float quarter = float(M_PI / 2), wh[2] = {4, 2};
    std::memcpy(angle.data, &quarter, 4);
    std::memcpy(size.data, wh, 8);
    Update(rotating);
    // Turned a quarter: R' = -U = (0, -1, 0), U' = R = (-1, 0, 0); corner 0 = -R' w/2 - U' h/2.
    // Position and texture coordinates: five floats a vertex.
    std::vector<float> v = BatchVertices(ParticleAtomicGetEmitter(rotating));
    ASSERT_EQ(v.size(), 20u);
    EXPECT_NEAR(v[0], 1.0f, 1e-5f);
    EXPECT_NEAR(v[1], 2.0f, 1e-5f);
    ParticleAtomicDestroy(rotating);

    Atomic* matrices = ParticleEmitterCreate(1, kParticleMatrix, 0);
    ASSERT_NE(matrices, nullptr);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(matrices);
    EXPECT_EQ(emitter->flags, kParticleMatrix | kParticleSeparate);
    ParticleArray matrix;
    ASSERT_EQ(ParticleEmitterLock(matrices, &matrix, kParticleMatrix, kParticleLockWrite), 1);
    Matrix m = {};
    m.right = {2, 0, 0};
    m.up = {0, 4, 0};
    m.pos = {10, 20, 30};
    std::memcpy(matrix.data, &m, sizeof(m));
    emitter->liveParticles = 1;
    Update(matrices);
    v = BatchVertices(emitter);
    ASSERT_EQ(v.size(), 20u);
    // pos + (R - U)/2, pos - (R + U)/2, pos - (R - U)/2, pos + (R + U)/2;
    // the whole texture from (0, 1) to (1, 0).
    const float expected[4][4] = {{11, 18, 0, 1}, {9, 18, 1, 1}, {9, 22, 1, 0}, {11, 22, 0, 0}};
    for (int c = 0; c < 4; ++c) {
        EXPECT_FLOAT_EQ(v[size_t(c) * 5], expected[c][0]) << c;
        EXPECT_FLOAT_EQ(v[size_t(c) * 5 + 1], expected[c][1]) << c;
        EXPECT_FLOAT_EQ(v[size_t(c) * 5 + 2], 30.0f) << c;
        EXPECT_FLOAT_EQ(v[size_t(c) * 5 + 3], expected[c][2]) << c;
        EXPECT_FLOAT_EQ(v[size_t(c) * 5 + 4], expected[c][3]) << c;
    }
    ParticleAtomicDestroy(matrices);
}

TEST_F(ParticleRender, SpritesOrQuadsFollowTheValueTheFlagsAndTheDevice)
{
    const struct
    {
        uint32_t flags, value;
        bool sprites;
        uint32_t stride;
    } cases[] = {
        {kParticleColour, 1, true, 16},
        {kParticleColour, 0, false, 24}, // quads always carry texture coordinates
        {kParticleColour | kParticleEmitterTexRect, 1, true, 16},
        {kParticleSize, 1, true, 16}, // the device takes a size per vertex
        {kParticleRotation, 1, false, 20},
        {kParticleNormal | kParticleColour, 1, true, 28},
        {kParticleCornerColours, 1, false, 24},
    };
    for (const auto& c : cases) {
        Atomic* atomic = ParticleEmitterCreate(4, c.flags, c.value);
        ASSERT_NE(atomic, nullptr);
        const ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
        EXPECT_EQ(emitter->pointSprites, c.sprites) << std::hex << c.flags << " " << c.value;
        EXPECT_EQ(emitter->vertexStride, c.stride) << std::hex << c.flags << " " << c.value;
        ParticleAtomicDestroy(atomic);
    }
}

TEST_F(MinimalCaps, DevicesWithoutPointSizesGetQuads)
{
    EXPECT_FLOAT_EQ(ParticleDeviceMaxPointSize(), 1.0f);
    Atomic* atomic = ParticleEmitterCreate(4, kParticleColour, 1);
    ASSERT_NE(atomic, nullptr);
    EXPECT_FALSE(ParticleAtomicGetEmitter(atomic)->pointSprites);
    ParticleAtomicDestroy(atomic);
}

// 20,000 particles: the first 19,999 far to the side, the last one in front
// of the camera. Drawn with indices that wrapped at 65,536, the last quad
// would take the vertices of an earlier particle and leave the centre dark.
TEST_F(ParticleRender, LargeEmittersDrawInBatchesWithoutWrappedIndices)
{
    constexpr int32_t kCount = 20000;
    Atomic* atomic = ParticleEmitterCreate(kCount, kParticleColour, 0);
    ASSERT_NE(atomic, nullptr);
    ParticleEmitter* emitter = ParticleAtomicGetEmitter(atomic);
    EXPECT_LE(ParticleModuleGet()->indexedParticles, kParticleIndexedMaximum);
    std::vector<V3d> positions(kCount, V3d{500.0f, 500.0f, 5.0f});
    positions.back() = {0.0f, 0.0f, 5.0f};
    SetPositions(atomic, positions);
    ParticleArray colours;
    ASSERT_EQ(ParticleEmitterLock(atomic, &colours, kParticleColour, kParticleLockWrite), 1);
    for (int32_t i = 0; i < kCount; ++i) {
        std::memset(static_cast<uint8_t*>(colours.data) + i * colours.stride, 255, 4);
    }
    ParticleEmitterUnlock(atomic);
    ASSERT_EQ(atomic->renderCallBack(atomic), atomic);
    EXPECT_EQ(Pixel(kWidth / 2, kHeight / 2), 0xFFFFFFu) << "the last particle is drawn in place";
    EXPECT_EQ(Pixel(2, 2), 0u);
    EXPECT_EQ(emitter->batchCount, 0) << "nothing left waiting";
    ParticleAtomicDestroy(atomic);
}

TEST_F(ParticleRender, DrawingRestoresTheDeviceStates)
{
    Atomic* atomic = ParticleEmitterCreate(2, kParticleColour, 1);
    ASSERT_NE(atomic, nullptr);
    ASSERT_TRUE(ParticleAtomicGetEmitter(atomic)->pointSprites);
    SetPositions(atomic, {{0, 0, 5}, {1, 0, 5}});
    // The states as the device's caches hold them (flushed at the next draw).
    const auto cached = [](D3DRENDERSTATETYPE state) {
        uint32_t value = 0;
        D3D9GetRenderState(state, &value);
        return value;
    };
    const D3DRENDERSTATETYPE states[] = {D3DRS_LIGHTING,         D3DRS_SHADEMODE, D3DRS_POINTSPRITEENABLE,
                                         D3DRS_POINTSCALEENABLE, D3DRS_POINTSIZE, D3DRS_TEXTUREFACTOR};
    std::vector<uint32_t> before;
    for (D3DRENDERSTATETYPE state : states) {
        before.push_back(cached(state));
    }
    uint32_t colourOp = 0;
    D3D9GetTextureStageState(0, D3DTSS_COLOROP, &colourOp);
    ASSERT_EQ(atomic->renderCallBack(atomic), atomic);
    for (size_t i = 0; i < std::size(states); ++i) {
        EXPECT_EQ(cached(states[i]), before[i]) << "state " << states[i];
    }
    uint32_t colourOpAfter = 0;
    D3D9GetTextureStageState(0, D3DTSS_COLOROP, &colourOpAfter);
    EXPECT_EQ(colourOpAfter, colourOp);
    ParticleAtomicDestroy(atomic);
}

TEST_F(ParticleRender, GeometryRoutinesWriteTheAtomicsOwnGeometry)
{
    const ParticleCallBacks callBacks = ParticleGeometryCallBacks();
    Atomic* atomic = ParticleAtomicCreate(3, ParticleNormaliseFlags(kParticleColour), 0, &callBacks);
    ASSERT_NE(atomic, nullptr);
    const Geometry* geometry = atomic->geometry;
    ASSERT_NE(geometry, nullptr);
    ASSERT_EQ(geometry->numVertices, 12);
    ASSERT_EQ(geometry->numTriangles, 6);
    const uint16_t second[2][3] = {{6, 5, 4}, {7, 6, 4}};
    for (int t = 0; t < 2; ++t) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(geometry->triangles[2 + t].vertex[k], second[t][k]) << t << " " << k;
        }
    }
    EXPECT_FLOAT_EQ(geometry->texCoords[0][1].v, 1.0f);
    EXPECT_FLOAT_EQ(geometry->texCoords[0][2].u, 1.0f);
    EXPECT_EQ(geometry->preLitColours[5].alpha, 255);
    EXPECT_EQ(geometry->preLitColours[5].red, 0);

    SetPositions(atomic, {{0, 0, 5}, {1, 1, 5}});
    ParticleArray colours;
    ASSERT_EQ(ParticleEmitterLock(atomic, &colours, kParticleColour, kParticleLockWrite), 1);
    const uint8_t rgba[4] = {1, 2, 3, 4};
    std::memcpy(static_cast<uint8_t*>(colours.data) + colours.stride, rgba, 4);
    ParticleEmitterUnlock(atomic);
    atomic->renderCallBack(atomic);
    const V3d* v = geometry->morphTargets[0].vertices;
    EXPECT_FLOAT_EQ(v[4].x, 1.5f) << "particle 1, corner 0: p - R/2 - U/2";
    EXPECT_FLOAT_EQ(v[4].y, 0.5f);
    EXPECT_EQ(geometry->preLitColours[6].red, 1) << "colours as R, G, B, A bytes";
    EXPECT_EQ(geometry->preLitColours[6].alpha, 4);
    for (int c = 8; c < 12; ++c) {
        EXPECT_FLOAT_EQ(v[c].x, -666.0f) << "beyond the live count, out of sight";
    }
    ParticleAtomicDestroy(atomic);
    ErrorRecord discard;
    ErrorGet(&discard);
}
