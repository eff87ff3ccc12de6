// Primitive assembly stage by stage: clipping against each plane, the guard
// band, and back-face culling in both windings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <utility>

#include "platform/d3d9/primitive.h"
#include "testdevice.h"

using namespace d3d9sw;
using namespace d3d9test;

namespace {

// A clip-space vertex whose first three attributes repeat x, y, z, so that
// interpolated attributes can be checked against interpolated positions.
VertexOut ClipVertex(float x, float y, float z, float w = 1.0f)
{
    VertexOut v{};
    v.pos[0] = x;
    v.pos[1] = y;
    v.pos[2] = z;
    v.pos[3] = w;
    v.attr[0] = x;
    v.attr[1] = y;
    v.attr[2] = z;
    return v;
}

PrimitiveSetup ClipSetup(float guard)
{
    PrimitiveSetup setup;
    setup.guardX = setup.guardY = guard;
    setup.attrCount = 3;
    return setup;
}

struct ClipCase
{
    const char* name;
    int plane;
    VertexOut outside; ///< the one vertex beyond `plane`
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ClipCase& c, std::ostream* out)
{
    *out << c.name;
}

class ClipAgainstPlane : public testing::TestWithParam<ClipCase>
{
};

TEST_P(ClipAgainstPlane, CutsTheVertexOffAndKeepsTheRest)
{
    const ClipCase& c = GetParam();
    const PrimitiveSetup setup = ClipSetup(2.0f);
    VertexOut buffers[2][kMaxClipPolygon];
    buffers[0][0] = ClipVertex(0.0f, 0.0f, 0.5f);
    buffers[0][1] = ClipVertex(0.5f, 0.25f, 0.5f);
    buffers[0][2] = c.outside;
    ASSERT_EQ(ClipCode(setup, buffers[0][0]) | ClipCode(setup, buffers[0][1]), 0);
    ASSERT_EQ(ClipCode(setup, c.outside), 1 << c.plane);
    int count = 3;
    const int result = ClipPolygon(setup, 1 << c.plane, buffers, &count);
    // One vertex cut off a triangle leaves a quadrilateral, two of whose
    // corners lie on the plane.
    ASSERT_EQ(count, 4);
    int onPlane = 0;
    for (int i = 0; i < count; ++i) {
        const VertexOut& v = buffers[result][i];
        const float distance = ClipPlaneDistance(c.plane, v.pos, setup.guardX, setup.guardY);
        EXPECT_GE(distance, -1e-5f) << "vertex " << i;
        onPlane += std::fabs(distance) < 1e-5f;
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(v.attr[k], v.pos[k], 1e-5f) << "attribute " << k << " of vertex " << i;
    }
    EXPECT_EQ(onPlane, 2);
}

INSTANTIATE_TEST_SUITE_P(EachPlane, ClipAgainstPlane,
                         testing::Values(ClipCase{"Left", 0, ClipVertex(-3.0f, 0.5f, 0.5f)},
                                         ClipCase{"Right", 1, ClipVertex(3.0f, 0.5f, 0.5f)},
                                         ClipCase{"Bottom", 2, ClipVertex(0.5f, -3.0f, 0.5f)},
                                         ClipCase{"Top", 3, ClipVertex(0.5f, 3.0f, 0.5f)},
                                         ClipCase{"Near", 4, ClipVertex(0.25f, 0.5f, -0.5f)},
                                         ClipCase{"Far", 5, ClipVertex(0.25f, 0.5f, 1.5f)}),
                         [](const testing::TestParamInfo<ClipCase>& info) { return info.param.name; });

TEST(ClipPolygon, LeavesNothingOfATriangleWhollyOutside)
{
    const PrimitiveSetup setup = ClipSetup(2.0f);
    VertexOut buffers[2][kMaxClipPolygon];
    buffers[0][0] = ClipVertex(3.0f, 0.0f, 0.5f);
    buffers[0][1] = ClipVertex(4.0f, 1.0f, 0.5f);
    buffers[0][2] = ClipVertex(3.0f, 1.0f, 0.5f);
    int count = 3;
    ClipPolygon(setup, 1 << 1, buffers, &count);
    EXPECT_EQ(count, 0);
}

TEST(ClipPolygon, CutsACornerOutsideTwoPlanesOnBoth)
{
    const PrimitiveSetup setup = ClipSetup(1.0f);
    VertexOut buffers[2][kMaxClipPolygon];
    buffers[0][0] = ClipVertex(0.0f, 0.0f, 0.5f);
    buffers[0][1] = ClipVertex(0.5f, 0.0f, 0.5f);
    buffers[0][2] = ClipVertex(2.0f, 2.0f, 0.5f); // beyond right and top
    int count = 3;
    const int result = ClipPolygon(setup, (1 << 1) | (1 << 3), buffers, &count);
    ASSERT_GE(count, 3);
    for (int i = 0; i < count; ++i) {
        EXPECT_LE(buffers[result][i].pos[0], 1.0f + 1e-5f);
        EXPECT_LE(buffers[result][i].pos[1], 1.0f + 1e-5f);
    }
}

struct GuardCase
{
    const char* name;
    bool pretransformed;
    VertexOut vertex;
    int code;
};

void PrintTo(const GuardCase& c, std::ostream* out)
{
    *out << c.name;
}

class GuardBand : public testing::TestWithParam<GuardCase>
{
};

// A 100 x 100 viewport: the guard band reaches 8192 pixels beyond its
// centre, 163.84 times its half size.
TEST_P(GuardBand, ClipCodes)
{
    const GuardCase& c = GetParam();
    PixelState pixel;
    VertexConfig vertex;
    vertex.vpX = vertex.vpY = 0.0f;
    vertex.vpW = vertex.vpH = 100.0f;
    const PrimitiveSetup setup =
        MakePrimitiveSetup(pixel, vertex, c.pretransformed, D3DSHADE_GOURAUD, D3DCULL_NONE, D3DFILL_SOLID);
    EXPECT_FLOAT_EQ(setup.guardX, 163.84f);
    EXPECT_EQ(ClipCode(setup, c.vertex), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Viewport100, GuardBand,
    testing::Values(GuardCase{"Inside", false, ClipVertex(0.5f, -0.5f, 0.5f), 0},
                    GuardCase{"BeyondTheViewportInsideTheBand", false, ClipVertex(150.0f, -150.0f, 0.5f), 0},
                    GuardCase{"BeyondTheBandLeft", false, ClipVertex(-170.0f, 0.0f, 0.5f), 1 << 0},
                    GuardCase{"BeyondTheBandRight", false, ClipVertex(170.0f, 0.0f, 0.5f), 1 << 1},
                    GuardCase{"BeyondTheBandBelow", false, ClipVertex(0.0f, -170.0f, 0.5f), 1 << 2},
                    GuardCase{"BeyondTheBandAbove", false, ClipVertex(0.0f, 170.0f, 0.5f), 1 << 3},
                    GuardCase{"BeforeTheNearPlane", false, ClipVertex(0.0f, 0.0f, -0.1f), 1 << 4},
                    GuardCase{"BehindTheFarPlane", false, ClipVertex(0.0f, 0.0f, 1.1f), 1 << 5},
                    GuardCase{"ScreenInsideTheBand", true, ClipVertex(16000.0f, -16000.0f, 0.5f), 0},
                    GuardCase{"ScreenBeyondTheBand", true, ClipVertex(16400.0f, 5.0f, 0.5f), 1},
                    GuardCase{"ScreenWithoutRhw", true, ClipVertex(5.0f, 5.0f, 0.5f, 0.0f), 1}),
    [](const testing::TestParamInfo<GuardCase>& info) { return info.param.name; });

TEST(GuardBand, ATriangleReachingBeyondTheViewportFillsIt)
{
    // Reaches far past the viewport but not past the band: drawn unclipped.
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    d->SetRenderState(D3DRS_LIGHTING, 0);
    d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    struct Vertex
    {
        float x, y, z;
        D3DCOLOR colour;
    } v[3] = {
        {-1.0f, 1.0f, 0.5f, 0xFFFFFFFF}, {40.0f, 1.0f, 0.5f, 0xFFFFFFFF}, {-1.0f, -40.0f, 0.5f, 0xFFFFFFFF}};
    d->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(Vertex)), D3D_OK);
    for (int y = 0; y < 16; y += 5)
        for (int x = 0; x < 16; x += 5)
            EXPECT_EQ(t.Pixel(x, y), 0xFFFFFFFFu) << x << ", " << y;
}

struct CullCase
{
    const char* name;
    DWORD cull;
    bool clockwise; ///< on screen
    bool drawn;
};

void PrintTo(const CullCase& c, std::ostream* out)
{
    *out << c.name;
}

class BackFaceCulling : public testing::TestWithParam<CullCase>
{
};

TEST_P(BackFaceCulling, DrawsOrDropsByWinding)
{
    const CullCase& c = GetParam();
    TestDevice t(16, 16);
    IDirect3DDevice9* d = t.device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    d->SetRenderState(D3DRS_CULLMODE, c.cull);
    TVertex v[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                    {16, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0},
                    {0, 16, 0.5f, 1, 0xFFFFFFFF, 0, 0}};
    if (!c.clockwise)
        std::swap(v[1], v[2]);
    ScreenVertex screen[3];
    for (int i = 0; i < 3; ++i)
        screen[i] = {v[i].x, v[i].y, v[i].z, v[i].rhw, nullptr};
    EXPECT_EQ(ScreenArea(screen, 3) > 0.0f, c.clockwise);
    EXPECT_EQ(CullsArea(c.cull, ScreenArea(screen, 3)), !c.drawn);
    d->SetFVF(kTVertexFvf);
    ASSERT_EQ(d->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v, sizeof(TVertex)), D3D_OK);
    EXPECT_EQ(t.Pixel(3, 3), c.drawn ? 0xFFFFFFFFu : 0xFF000000u);
}

INSTANTIATE_TEST_SUITE_P(ModesAndWindings, BackFaceCulling,
                         testing::Values(CullCase{"NoneClockwise", D3DCULL_NONE, true, true},
                                         CullCase{"NoneCounterClockwise", D3DCULL_NONE, false, true},
                                         CullCase{"CwClockwise", D3DCULL_CW, true, false},
                                         CullCase{"CwCounterClockwise", D3DCULL_CW, false, true},
                                         CullCase{"CcwClockwise", D3DCULL_CCW, true, true},
                                         CullCase{"CcwCounterClockwise", D3DCULL_CCW, false, false}),
                         [](const testing::TestParamInfo<CullCase>& info) { return info.param.name; });

TEST(BackFaceCulling, DropsDegenerateTrianglesInEveryMode)
{
    for (DWORD cull : {D3DCULL_NONE, D3DCULL_CW, D3DCULL_CCW})
        EXPECT_TRUE(CullsArea(cull, 0.0f)) << cull;
}

// Binning and unclipped assembly take the three-vertex form, clipped polygons
// the general one: they must keep or drop a triangle alike, to the bit.
TEST(BackFaceCulling, TriangleAreaHasThePolygonAreasBits)
{
    const float big = 3e38f;
    const float triangles[][6] = {
        {0, 0, 16, 0, 0, 16},                            // clockwise
        {0, 0, 0, 16, 16, 0},                            // counter-clockwise
        {1, 1, 2, 2, 3, 3},                              // collinear
        {-0.0f, 0, 0, -0.0f, -0.0f, -0.0f},              // signed zeros
        {4096.5f, 3.25f, 4097.5f, 3.5f, 4098.5f, 3.75f}, // cancels far from the origin
        {0.1f, 0.7f, 639.3f, 0.2f, 0.4f, 479.9f},
        {-big, -big, big, -big, -big, big}, // overflows
    };
    for (const auto& t : triangles) {
        ScreenVertex sv[3];
        for (int i = 0; i < 3; ++i)
            sv[i] = {t[2 * i], t[2 * i + 1], 0.5f, 1.0f, nullptr};
        const float polygon = ScreenArea(sv, 3), triangle = ScreenArea(sv[0], sv[1], sv[2]);
        uint32_t a, b;
        std::memcpy(&a, &polygon, sizeof a);
        std::memcpy(&b, &triangle, sizeof b);
        EXPECT_EQ(a, b) << t[0] << ", " << t[1] << " / " << t[2] << ", " << t[3] << " / " << t[4] << ", "
                        << t[5];
    }
}

} // namespace
