// Transforms, lights and the material reach the device through their
// caches; values the device refused are not cached. Frustum containment.

#include "graphics/core/camera.h"
#include "graphics/core/matrix.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/tests/d3d9testing.h"

namespace {

class Transforms : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Start());
    }

    D3DMATRIX DeviceTransform(D3DTRANSFORMSTATETYPE state)
    {
        D3DMATRIX m{};
        Device()->GetTransform(state, &m);
        return m;
    }
};

D3DMATRIX Translation(float x, float y, float z)
{
    return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {x, y, z, 1}}};
}

/// A point light held in a static slot, so that tests can pass its address.
const D3DLIGHT9* PointLight(float range, float attenuation)
{
    static D3DLIGHT9 slots[4];
    static int next = 0;
    D3DLIGHT9& light = slots[next++ % 4];
    light = {};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = {1, 0.5f, 0.25f, 1};
    light.Position = {1, 2, 3};
    light.Range = range;
    light.Attenuation0 = attenuation;
    return &light;
}

} // namespace

TEST_F(Transforms, TransformsReachTheDeviceOnce)
{
    const D3DMATRIX view = Translation(1, 2, 3);
    ASSERT_TRUE(D3D9SetTransform(D3DTS_VIEW, &view));
    EXPECT_EQ(DeviceTransform(D3DTS_VIEW).m[3][2], 3.0f);
    const D3DMATRIX other = Translation(0, 0, 0);
    Device()->SetTransform(D3DTS_VIEW, &other);
    ASSERT_TRUE(D3D9SetTransform(D3DTS_VIEW, &view));
    EXPECT_EQ(DeviceTransform(D3DTS_VIEW).m[3][2], 0.0f) << "an unchanged transform is not sent";
    D3DMATRIX cached{};
    D3D9GetTransform(D3DTS_VIEW, &cached);
    EXPECT_EQ(cached.m[3][1], 2.0f);
    D3D9GetTransform(D3DTS_TEXTURE3, &cached);
    EXPECT_EQ(cached.m[3][1], 0.0f) << "an empty slot reads as identity";
    EXPECT_EQ(cached.m[1][1], 1.0f);

    // World identity twice sends once.
    const D3DMATRIX moved = Translation(5, 0, 0);
    ASSERT_TRUE(D3D9SetTransform(D3DTS_WORLD, &moved));
    ASSERT_TRUE(D3D9SetTransform(D3DTS_WORLD, nullptr));
    EXPECT_EQ(DeviceTransform(D3DTS_WORLD).m[3][0], 0.0f);
    Device()->SetTransform(D3DTS_WORLD, &moved);
    ASSERT_TRUE(D3D9SetWorldMatrix(nullptr));
    EXPECT_EQ(DeviceTransform(D3DTS_WORLD).m[3][0], 5.0f);

    Matrix matrix{};
    matrix.right = {1, 0, 0};
    matrix.up = {0, 1, 0};
    matrix.at = {0, 0, 1};
    matrix.pos = {7, 8, 9};
    ASSERT_TRUE(D3D9SetWorldMatrix(&matrix));
    const D3DMATRIX world = DeviceTransform(D3DTS_WORLD);
    EXPECT_EQ(world.m[3][0], 7.0f);
    EXPECT_EQ(world.m[3][3], 1.0f);
    EXPECT_EQ(world.m[0][3], 0.0f);
}

TEST_F(Transforms, RefusedTransformsAreNotCached)
{
    const D3DMATRIX m = Translation(4, 4, 4);
    EXPECT_FALSE(D3D9SetTransform(4, &m)) << "state 4 is no transform the device knows";
    D3DMATRIX cached{};
    D3D9GetTransform(4, &cached);
    EXPECT_EQ(cached.m[3][0], 0.0f);
    EXPECT_FALSE(D3D9SetTransform(4, &m)) << "the refused value is tried again, not skipped";
}

TEST_F(Transforms, LightsAreComparedByWhatMattersAndRefusalsAreNotCached)
{
    EXPECT_TRUE(D3D9SetLightCached(2, PointLight(10, 1)));
    EXPECT_EQ(D3D9GetLightCount(), 3u);
    D3DLIGHT9 held{};
    ASSERT_EQ(Device()->GetLight(2, &held), D3D_OK);
    EXPECT_EQ(held.Range, 10.0f);
    EXPECT_EQ(D3D9FindLight(PointLight(10, 7)), 2) << "attenuation is not compared";
    // A light differing only in attenuation is not sent again.
    Device()->SetLight(2, PointLight(20, 1));
    EXPECT_TRUE(D3D9SetLightCached(2, PointLight(10, 5)));
    Device()->GetLight(2, &held);
    EXPECT_EQ(held.Range, 20.0f);

    EXPECT_FALSE(D3D9SetLightCached(2, PointLight(-1, 1))) << "negative range is refused";
    D3DLIGHT9 cached{};
    D3D9GetLight(2, &cached);
    EXPECT_EQ(cached.Range, 0.0f) << "the refused light is not kept";
    EXPECT_TRUE(D3D9SetLightCached(2, PointLight(10, 1))) << "the old light is sent again";
    Device()->GetLight(2, &held);
    EXPECT_EQ(held.Range, 10.0f);

    EXPECT_TRUE(D3D9EnableLightCached(2, 1));
    BOOL enabled = 0;
    Device()->GetLightEnable(2, &enabled);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(D3D9EnableLightCached(9, 1)) << "beyond the cache: nothing to do";
    D3D9GetLight(9, &cached);
    EXPECT_EQ(cached.Type, 0u);

    // Lights survive a reset: they are sent again.
    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    ASSERT_TRUE(D3D9RestoreLostDevice());
    ASSERT_EQ(Device()->GetLight(2, &held), D3D_OK);
    EXPECT_EQ(held.Range, 10.0f);
    Device()->GetLightEnable(2, &enabled);
    EXPECT_TRUE(enabled);
}

TEST_F(Transforms, WhiteModulationBuildsThePlainMaterial)
{
    D3D9GetAmbientLight()[0] = 0.5f;
    D3D9GetAmbientLight()[1] = 0.25f;
    D3D9GetAmbientLight()[2] = 1.0f;
    const D3D9SurfaceProperties surface = {0.5f, 0.0f, 0.75f};
    const uint8_t white[4] = {255, 255, 255, 255};
    ASSERT_TRUE(D3D9SetSurfaceProperties(&surface, white, 0));
    D3DMATERIAL9 plain{};
    Device()->GetMaterial(&plain);
    EXPECT_EQ(plain.Diffuse.r, 0.75f);
    EXPECT_EQ(plain.Ambient.g, 0.125f);
    ASSERT_TRUE(D3D9SetSurfaceProperties(&surface, white, kD3D9GeometryModulate));
    D3DMATERIAL9 modulated{};
    Device()->GetMaterial(&modulated);
    EXPECT_EQ(std::memcmp(&plain, &modulated, sizeof(plain)), 0);

    const uint8_t red[4] = {255, 0, 0, 255};
    ASSERT_TRUE(D3D9SetSurfaceProperties(&surface, red, kD3D9GeometryModulate | kD3D9GeometryPrelit));
    EXPECT_EQ(DeviceRenderState(D3DRS_AMBIENT), 0xFFFFFFFFu) << "queued until the next flush";
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_AMBIENT), 0xFFFF0000u);
    D3DMATERIAL9 prelit{};
    Device()->GetMaterial(&prelit);
    EXPECT_FLOAT_EQ(prelit.Diffuse.r, 255 * 0.75f * 0.003921569f);
    EXPECT_EQ(prelit.Diffuse.g, 0.0f);
}

TEST(D3D9Frustum, ContainmentOfSpheresAndBoxes)
{
    // The cube [-1, 1]^3 as six outward planes.
    Camera camera{};
    const V3d normals[6] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int i = 0; i < 6; ++i) {
        FrustumPlane& plane = camera.frustumPlanes[i];
        plane.normal = normals[i];
        plane.distance = 1;
        plane.signs[0] = normals[i].x >= 0;
        plane.signs[1] = normals[i].y >= 0;
        plane.signs[2] = normals[i].z >= 0;
    }
    const Sphere touching = {{0.5f, 0, 0}, 0.5f};
    EXPECT_EQ(CameraFrustumTestSphereInside(&camera, &touching), 1) << "touching from inside is inside";
    const Sphere crossing = {{0.75f, 0, 0}, 0.5f};
    EXPECT_EQ(CameraFrustumTestSphereInside(&camera, &crossing), 0);
    EXPECT_EQ(CameraFrustumTestSphere(&camera, &crossing), 1) << "the camera's own test keeps its answers";
    const BBox inside = {{1, 0.5f, 0.5f}, {-1, -0.5f, -0.5f}};
    EXPECT_EQ(CameraFrustumTestBox(&camera, &inside), 1);
    const BBox poking = {{1.01f, 0.5f, 0.5f}, {-1, -0.5f, -0.5f}};
    EXPECT_EQ(CameraFrustumTestBox(&camera, &poking), 0);
}
