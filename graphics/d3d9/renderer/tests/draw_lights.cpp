// Fixed-function lights on the software device: device indices handed out
// and given back, the light records sent for each light type, the enabled
// set per object under the MaxActiveLights limit, the lighting callback's
// decisions, and what a directional light does to the pixels.
#include <gtest/gtest.h>

#include <cmath>

#include "graphics/core/instance.h"
#include "graphics/core/plugin.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/lights.h"
#include "graphics/d3d9/renderer/tests/lighttesting.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"

namespace {

TEST_F(Lights, IndicesAreHandedOutGivenBackAndStartOverWhenAllAreFree)
{
    Light* a = MakeLight(kLightPoint);
    Light* b = MakeLight(kLightPoint);
    Light* c = MakeLight(kLightPoint);
    for (Light* light : {a, b, c}) {
        EXPECT_EQ(LightGetDeviceIndex(light), -1);
        EXPECT_EQ(LightsLoad(light), 1);
    }
    EXPECT_EQ(LightGetDeviceIndex(a), 0);
    EXPECT_EQ(LightGetDeviceIndex(b), 1);
    EXPECT_EQ(LightGetDeviceIndex(c), 2);

    DestroyLight(b);
    Light* d = MakeLight(kLightPoint);
    LightsLoad(d);
    EXPECT_EQ(LightGetDeviceIndex(d), 1) << "the freed index is taken first";

    // A copy finds a slot of its own.
    Light* clone = MakeLight(kLightPoint);
    PluginRegistryCopy(LightGetPluginRegistry(), clone, a);
    EXPECT_EQ(LightGetDeviceIndex(clone), -1);
    DestroyLight(clone);

    for (Light* light : {a, c, d}) {
        DestroyLight(light);
    }
    Light* e = MakeLight(kLightPoint);
    LightsLoad(e);
    EXPECT_EQ(LightGetDeviceIndex(e), 0) << "every index free: the allocator starts over";
    LightsEnable(1, 0);
}

TEST_F(Lights, LocalLightRecordsFollowTypeConeAndAttenuation)
{
    struct Case
    {
        const char* name;
        uint8_t type;
        float coneDegrees;
        D3DLIGHTTYPE expectedType;
        float phi, theta;
    };
    const Case cases[] = {
        {"point", kLightPoint, 30.0f, D3DLIGHT_POINT, 0.0f, 0.0f},
        {"spot of 30 degrees", kLightSpot, 30.0f, D3DLIGHT_SPOT, 60.0f * kDegrees, 60.0f * kDegrees},
        {"spot of 100 degrees", kLightSpot, 100.0f, D3DLIGHT_SPOT, 200.0f * kDegrees,
         200.0f * kDegrees - 0.001f},
        {"soft spot", kLightSpotSoft, 30.0f, D3DLIGHT_SPOT, 60.0f * kDegrees, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Light* light = MakeLight(c.type, {1, 2, 3}, 4.0f);
        // As a stream read stores it: angles above the setter's limit come from files.
        light->minusCosAngle = -std::cos(c.coneDegrees * kDegrees);
        const float attenuation[3] = {1, 2, 8};
        LightSetAttenuation(light, attenuation);
        ASSERT_EQ(LightsLoad(light), 1);
        const D3DLIGHT9 sent = Sent(light);
        EXPECT_EQ(sent.Type, c.expectedType);
        EXPECT_NEAR(sent.Phi, c.phi, 1e-4f);
        EXPECT_NEAR(sent.Theta, c.theta, 1e-4f);
        EXPECT_FLOAT_EQ(sent.Range, 4.0f);
        EXPECT_FLOAT_EQ(sent.Attenuation0, 1.0f);
        EXPECT_FLOAT_EQ(sent.Attenuation1, 0.5f);
        EXPECT_FLOAT_EQ(sent.Attenuation2, 0.5f);
        EXPECT_FLOAT_EQ(sent.Position.y, 2.0f);
        LightsEnable(1, 0);
    }
    Light* dark = MakeLight(kLightPoint, {0, 0, 0}, 0.0f);
    EXPECT_EQ(LightsLoad(dark), 0) << "radius 0 reaches nothing";
    EXPECT_EQ(LightGetDeviceIndex(dark), -1);
}

TEST_F(Lights, ConsecutiveObjectsSwapTheirEnabledSets)
{
    Light* a = MakeLight(kLightPoint);
    Light* b = MakeLight(kLightPoint);
    Light* c = MakeLight(kLightPoint);
    LightsLoad(a);
    LightsLoad(b);
    LightsEnable(1, 0);
    D3D9RenderStateFlush();
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(a)));
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(b)));
    LightsLoad(b);
    LightsLoad(c);
    LightsEnable(1, 0);
    EXPECT_FALSE(Enabled(LightGetDeviceIndex(a)));
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(b)));
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(c)));
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 1u);
    LightsEnable(0, 0);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u);
}

TEST_F(Lights, AtMostMaxActiveLightsAreEnabled)
{
    ASSERT_EQ(D3D9GetCaps()->MaxActiveLights, 8u);
    for (int i = 0; i < 10; ++i) {
        LightsLoad(MakeLight(kLightPoint));
    }
    LightsEnable(1, 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Enabled(i), i < 8) << i;
    }
}

class UnlimitedLights : public Lights
{
  public:
    void SetUp() override
    {
        D3D9AdapterConfig adapter = D3D9DefaultAdapter();
        adapter.caps.MaxActiveLights = 0;
        D3D9SetAdapters(&adapter, 1);
        Lights::SetUp();
    }
};

TEST_F(UnlimitedLights, NoLimitWhenTheCapsSayZero)
{
    for (int i = 0; i < 10; ++i) {
        LightsLoad(MakeLight(kLightPoint));
    }
    LightsEnable(1, 0);
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(Enabled(i)) << i;
    }
}

TEST_F(Lights, LightingCallBackDecidesLightingAndAmbient)
{
    Atomic* unlit = Place(FacingQuad(kGeometryNormals, nullptr), 0, 0, 2);
    Atomic* lit = Place(FacingQuad(kGeometryNormals | kGeometryLight, nullptr), 0, 0, 2);
    Light* ambient = MakeLight(kLightAmbient);
    const RGBAReal grey = {0.25f, 0.5f, 0.75f, 1.0f};
    LightSetColor(ambient, &grey);

    ObjectLighting(unlit);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u) << "a geometry without the light flag";

    ObjectLighting(lit);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 1u) << "an ambient light alone keeps lighting on";
    EXPECT_EQ(LightGetDeviceIndex(ambient), -1);
    EXPECT_FLOAT_EQ(D3D9GetAmbientLight()[1], 0.5f);
    for (int i = 0; i < 8; ++i) {
        EXPECT_FALSE(Enabled(i));
    }

    EngineGetInstance()->currentWorld = nullptr;
    ObjectLighting(lit);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u) << "no world, no lights";
}

TEST_F(Lights, LocalLightsReachingTheAtomicAreEnabledOthersAreNot)
{
    Atomic* atomic = Place(FacingQuad(kGeometryNormals | kGeometryLight, nullptr), 0, 0, 2);
    WorldAddAtomic(world_, atomic);
    Light* near = MakeLight(kLightPoint, {0, 0, 4}, 2.0f);
    Light* far = MakeLight(kLightPoint, {0, 0, 9}, 2.0f);
    Light* sectorsOnly = MakeLight(kLightPoint, {0, 0, 3}, 2.0f);
    sectorsOnly->object.object.flags = kLightLightsWorld;
    FrameSyncDirty();

    ObjectLighting(atomic);
    EXPECT_NE(LightGetDeviceIndex(near), -1);
    EXPECT_EQ(LightGetDeviceIndex(far), -1) << "7 units away, 2 + 0.71 reach";
    EXPECT_EQ(LightGetDeviceIndex(sectorsOnly), -1) << "lights world sectors only";
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(near)));
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 1u);
    WorldRemoveAtomic(world_, atomic);
}

// A sector takes the lights that light the world: global ones with that
// flag, and every local one tied to it with no range test of its own.
TEST_F(Lights, SectorLightingTakesTheLightsThatLightTheWorld)
{
    WorldSector* sector = nullptr;
    WorldForAllSectors(
        world_,
        [](WorldSector* s, void* data) {
            *static_cast<WorldSector**>(data) = s;
            return s;
        },
        &sector);
    ASSERT_NE(sector, nullptr);
    Light* sun = MakeLight(kLightDirectional);
    Light* atomicsSun = MakeLight(kLightDirectional);
    atomicsSun->object.object.flags = kLightLightsAtomics;
    Light* distant = MakeLight(kLightPoint, {0, 0, 45}, 2.0f);
    Light* atomicsOnly = MakeLight(kLightPoint, {0, 0, 3}, 2.0f);
    atomicsOnly->object.object.flags = kLightLightsAtomics;
    FrameSyncDirty();

    SectorLightingCallBack(sector);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 1u);
    EXPECT_NE(LightGetDeviceIndex(sun), -1);
    EXPECT_EQ(LightGetDeviceIndex(atomicsSun), -1) << "lights atomics only";
    EXPECT_NE(LightGetDeviceIndex(distant), -1) << "tied to the sector: it reaches it";
    EXPECT_EQ(LightGetDeviceIndex(atomicsOnly), -1) << "lights atomics only";
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(sun)));
    EXPECT_TRUE(Enabled(LightGetDeviceIndex(distant)));

    world_->format &= ~kGeometryLight;
    SectorLightingCallBack(sector);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u) << "a world without the light flag";
    world_->format |= kGeometryLight;
    EngineGetInstance()->currentWorld = nullptr;
    SectorLightingCallBack(sector);
    D3D9RenderStateFlush();
    EXPECT_EQ(DeviceRenderState(D3DRS_LIGHTING), 0u) << "no world, no lights";
}

TEST_F(Lights, PointLightBrightensTheFaceItReaches)
{
    const uint32_t format = kGeometryNormals | kGeometryLight;
    Atomic* near = Place(FacingQuad(format, nullptr), -0.8f, 0, 2);
    Atomic* far = Place(FacingQuad(format, nullptr), 1.5f, 0, 2);
    for (Atomic* atomic : {near, far}) {
        WorldAddAtomic(world_, atomic);
    }
    // Half a unit in front of the first quad, out of the second's reach.
    Light* lamp = MakeLight(kLightPoint, {-0.8f, 0, 1.5f}, 1.5f);
    const RGBAReal red = {1, 0, 0, 1};
    LightSetColor(lamp, &red);
    FrameSyncDirty();
    for (Atomic* atomic : {near, far}) {
        ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    }
    const std::vector<uint32_t> frame = Pixels();
    // The camera's x runs right to left on the screen: x -0.8 at pixel 112,
    // x 1.5 at pixel 20. Vertex lighting: the corners, 0.87 from the lamp,
    // get 0.58 (angle) x 1 / (1 + 5 x 0.75 / 2.25) (distance) of red, 55.
    const uint32_t lit = frame[size_t(60 * kWidth + 112)], dark = frame[size_t(60 * kWidth + 20)];
    EXPECT_NEAR(double((lit >> 16) & 0xFF), 55.0, 3.0) << std::hex << lit;
    EXPECT_EQ((lit >> 8) & 0xFF, 0u);
    EXPECT_EQ(dark & 0xFFFFFF, 0u) << std::hex << dark;
    for (Atomic* atomic : {near, far}) {
        WorldRemoveAtomic(world_, atomic);
    }
}

TEST_F(Lights, FaceTurnedToADirectionalLightIsBrighter)
{
    // Light travelling along +z (away from the camera) meets the faces whose
    // normal is -z; the second quad turns its back (normal +z).
    Light* sun = MakeLight(kLightDirectional);
    const RGBAReal white = {1, 1, 1, 1};
    LightSetColor(sun, &white);
    const uint32_t format = kGeometryNormals | kGeometryLight;
    Place(FacingQuad(format, nullptr), -0.8f, 0, 2);
    Geometry* away = FacingQuad(format, nullptr);
    for (int v = 0; v < 4; ++v) {
        away->morphTargets[0].normals[v] = {0, 0, 1};
    }
    Place(away, 0.8f, 0, 2);
    for (Atomic* atomic : atomics_) {
        ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    }
    const std::vector<uint32_t> frame = Pixels();
    auto brightness = [&](int x, int y) { return frame[size_t(y * kWidth + x)] & 0xFF; };
    // The quads' centres land 16 pixels either side of the middle.
    const uint32_t left = brightness(64, 60), right = brightness(96, 60);
    EXPECT_GT(std::max(left, right), 200u);
    EXPECT_LT(std::min(left, right), 60u);
}

} // namespace
