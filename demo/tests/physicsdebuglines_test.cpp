// The viewer's line gathering: each volume type's edges where the volume
// is, and a stepped scene's objects, static volumes, joints and contacts.
#include <gtest/gtest.h>

#include <cmath>

#include "demo/physicsdebuglines.h"
#include "graphics/core/tests/mathstesting.h"
#include "physics/core/pipeline/scenes/scenes.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/triangle.h"

namespace {

class PhysicsDebugLines : public StartedEngineTest
{
  protected:
    static Matrix Placed(const V3d& position)
    {
        Matrix m{};
        m.right = {0, 0, -1}; // a quarter turn about y
        m.up = {0, 1, 0};
        m.at = {1, 0, 0};
        m.pos = position;
        return m;
    }
    static float Distance(const Im3DVertex& v, const V3d& p)
    {
        return std::sqrt((v.x - p.x) * (v.x - p.x) + (v.y - p.y) * (v.y - p.y) + (v.z - p.z) * (v.z - p.z));
    }
    CPhysicsDebugLines lines;
};

TEST_F(PhysicsDebugLines, BoxEdgesAreItsTwelveEdgesWhereItIs)
{
    OlpVolume box;
    const V3d half{1.0f, 2.0f, 3.0f};
    OlpBoxInit(&box, &half);
    const Matrix at = Placed({10.0f, 0.0f, 0.0f});
    lines.AddVolume(&box, &at, 0xFF00FF00);
    ASSERT_EQ(lines.VertexCount(), 24u);
    // Turned a quarter about y: x spans 10 -+ 3, z spans -+1.
    for (uint32_t i = 0; i < 24; ++i) {
        const Im3DVertex& v = lines.Vertices()[i];
        EXPECT_FLOAT_EQ(std::fabs(v.x - 10.0f), 3.0f) << i;
        EXPECT_FLOAT_EQ(std::fabs(v.y), 2.0f) << i;
        EXPECT_FLOAT_EQ(std::fabs(v.z), 1.0f) << i;
        EXPECT_EQ(v.colour, 0xFF00FF00u);
    }
    // Every edge is one unit vector long times a full extent.
    for (uint32_t i = 0; i < 24; i += 2) {
        const Im3DVertex& a = lines.Vertices()[i];
        const float length = Distance(lines.Vertices()[i + 1], {a.x, a.y, a.z});
        EXPECT_TRUE(length == 2.0f || length == 4.0f || length == 6.0f) << length;
    }
    OlpVolumeDestroyContents(&box);
}

TEST_F(PhysicsDebugLines, RoundShapesAndTrianglesLieOnTheirSurfaces)
{
    OlpVolume sphere, capsule, triangle;
    OlpSphereInit(&sphere, 0.5f);
    const Matrix at = Placed({0.0f, 5.0f, 0.0f});
    lines.AddVolume(&sphere, &at, 0xFFFFFFFF);
    ASSERT_EQ(lines.VertexCount(), 3u * 2u * CPhysicsDebugLines::kRingSegments);
    for (uint32_t i = 0; i < lines.VertexCount(); ++i)
        EXPECT_NEAR(Distance(lines.Vertices()[i], {0.0f, 5.0f, 0.0f}), 0.5f, 1e-5f) << i;

    lines.Clear();
    OlpCapsuleInit(&capsule, 0.25f, 1.0f);
    lines.AddVolume(&capsule, nullptr, 0xFFFFFFFF);
    ASSERT_GT(lines.VertexCount(), 0u);
    for (uint32_t i = 0; i < lines.VertexCount(); ++i) {
        // No point lies farther than the radius from the core segment on z.
        const Im3DVertex& v = lines.Vertices()[i];
        const float along = std::fmax(std::fabs(v.z) - 1.0f, 0.0f);
        EXPECT_LE(std::sqrt(v.x * v.x + v.y * v.y + along * along), 0.25f + 1e-5f) << i;
    }

    lines.Clear();
    const V3d a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
    OlpTriangleInit(&triangle, &a, &b, &c);
    lines.AddVolume(&triangle, nullptr, 0xFFFFFFFF);
    ASSERT_EQ(lines.VertexCount(), 6u);
    EXPECT_FLOAT_EQ(lines.Vertices()[1].x, 1.0f);
    EXPECT_FLOAT_EQ(lines.Vertices()[3].y, 1.0f);
    for (OlpVolume* v : {&sphere, &capsule, &triangle})
        OlpVolumeDestroyContents(v);
}

TEST_F(PhysicsDebugLines, CompoundsDrawTheirChildrenInTheirFrames)
{
    // A grid of two boxes, placed 100 units up: every line is up there.
    OlpVolume* grid = OlpGridCreate(2);
    ASSERT_NE(grid, nullptr);
    const V3d half{0.5f, 0.5f, 0.5f};
    for (uint32_t i = 0; i < 2; ++i) {
        OlpVolume* cell = OlpGridGetCell(grid, i);
        OlpBoxInit(cell, &half);
        Matrix offset = Placed({3.0f * float(i), 0.0f, 0.0f});
        OlpVolumeSetFrame(cell, &offset);
    }
    OlpGridBuild(grid, 1.0f);
    const Matrix up = Placed({0.0f, 100.0f, 0.0f});
    lines.AddVolume(grid, &up, 0xFFFFFFFF);
    ASSERT_EQ(lines.VertexCount(), 48u);
    for (uint32_t i = 0; i < 48; ++i)
        EXPECT_NEAR(lines.Vertices()[i].y, 100.0f, 0.5f + 1e-4f) << i;
    OlpVolumeDestroy(grid);

    // A null volume is a small cross.
    lines.Clear();
    OlpVolume* anchor = OlpNullCreate();
    lines.AddVolume(anchor, nullptr, 0xFFFFFFFF);
    EXPECT_EQ(lines.VertexCount(), 6u);
    OlpVolumeDestroy(anchor);
}

TEST_F(PhysicsDebugLines, ContextShowsWhatIsAskedFor)
{
    PipelineScene scene(4);
    ASSERT_NE(scene.context, nullptr);
    scene.AddPlane({0, 0, 0}, {0, 1, 0});
    SceneBody* crate = scene.AddBox({0.5f, 0.5f, 0.5f}, 1.0f, {0.0f, 0.49f, 0.0f});
    OlpVolume* pivot = scene.AddStaticBox({0.1f, 0.1f, 0.1f}, {5.0f, 5.0f, 0.0f});
    SceneBody* swinging = scene.AddSphere(0.5f, 1.0f, {5.0f, 3.0f, 0.0f});
    ASSERT_NE(scene.AddAnchor(swinging, pivot, {5.0f, 5.0f, 0.0f}), nullptr);
    ASSERT_NE(crate, nullptr);
    scene.Step();
    ASSERT_GT(scene.pipeline->contactCount, 0u);

    CPhysicsDebugLines::Content none;
    none.objects = none.statics = none.contacts = none.joints = false;
    lines.AddContext(scene.context, none);
    EXPECT_EQ(lines.VertexCount(), 0u);

    // Objects: the crate's 12 edges and the ball's three rings.
    CPhysicsDebugLines::Content objects = none;
    objects.objects = true;
    lines.AddContext(scene.context, objects);
    EXPECT_EQ(lines.VertexCount(), 24u + 6u * CPhysicsDebugLines::kRingSegments);

    // Joints: three axes at each end and the line between them, from the pivot.
    lines.Clear();
    CPhysicsDebugLines::Content joints = none;
    joints.joints = true;
    lines.AddContext(scene.context, joints);
    ASSERT_EQ(lines.VertexCount(), 14u);
    EXPECT_NEAR(Distance(lines.Vertices()[0], {5.0f, 5.0f, 0.0f}), 0.0f, 0.05f);

    // Contacts: each point a normal and a cross, the normals pointing up off the plane.
    lines.Clear();
    CPhysicsDebugLines::Content contacts = none;
    contacts.contacts = true;
    lines.AddContext(scene.context, contacts);
    ASSERT_GT(lines.VertexCount(), 0u);
    EXPECT_EQ(lines.VertexCount() % 6u, 0u);
    const Im3DVertex& from = lines.Vertices()[0];
    const Im3DVertex& to = lines.Vertices()[1];
    EXPECT_NEAR(std::fabs(to.y - from.y), 0.25f, 1e-4f);

    // The statics: the plane's patch and the pivot's edges.
    lines.Clear();
    CPhysicsDebugLines::Content statics = none;
    statics.statics = true;
    lines.AddContext(scene.context, statics);
    EXPECT_EQ(lines.VertexCount(), 2u * (2u * 11u + 1u) + 24u);
}

} // namespace
