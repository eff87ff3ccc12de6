#pragma once
// The lighting tests' fixture: the drawing fixture with a current world that
// lights its geometry, and helpers that make lights on frames and read what
// the device was sent.

#include <algorithm>
#include <vector>

#include "graphics/core/instance.h"
#include "graphics/d3d9/renderer/lights.h"
#include "graphics/d3d9/renderer/tests/drawtesting.h"
#include "graphics/scene/light.h"
#include "graphics/scene/world.h"
#include "graphics/scene/worldmembers.h"

inline constexpr float kDegrees = 3.14159265f / 180.0f;

class Lights : public DrawFixture
{
  public:
    void SetUp() override
    {
        DrawFixture::SetUp();
        const BBox box = {{50, 50, 50}, {-50, -50, -50}};
        world_ = WorldCreate(&box);
        ASSERT_NE(world_, nullptr);
        world_->format |= kGeometryLight;
        EngineGetInstance()->currentWorld = world_;
    }

    void TearDown() override
    {
        while (!lights_.empty()) {
            DestroyLight(lights_.back());
        }
        if (EngineGetInstance()) {
            EngineGetInstance()->currentWorld = nullptr;
        }
        if (world_) {
            WorldDestroy(world_);
        }
        DrawFixture::TearDown();
    }

    /// A light of `type` at `position` whose frame's "at" is `direction`'s
    /// rotation of +z about x by `tilt` degrees; global lights join the world.
    Light* MakeLight(uint8_t type, V3d position = {0, 0, 0}, float radius = 10.0f, float tilt = 0.0f)
    {
        Light* light = LightCreate(type);
        EXPECT_NE(light, nullptr);
        Frame* frame = FrameCreate();
        const V3d xAxis = {1, 0, 0};
        FrameRotate(frame, &xAxis, tilt, kCombineReplace);
        FrameTranslate(frame, &position, kCombinePostConcat);
        ObjectHasFrameSetFrame(&light->object, frame);
        LightSetRadius(light, radius);
        WorldAddLight(world_, light);
        lights_.push_back(light);
        return light;
    }

    void DestroyLight(Light* light)
    {
        std::erase(lights_, light);
        WorldRemoveLight(world_, light);
        Frame* frame = LightGetFrame(light);
        ObjectHasFrameSetFrame(&light->object, nullptr);
        FrameDestroy(frame);
        LightDestroy(light);
    }

    bool Enabled(int32_t index)
    {
        BOOL enabled = 0;
        Device()->GetLightEnable(DWORD(index), &enabled);
        return enabled != 0;
    }

    D3DLIGHT9 Sent(const Light* light)
    {
        D3DLIGHT9 record{};
        Device()->GetLight(DWORD(LightGetDeviceIndex(light)), &record);
        return record;
    }

    World* world_ = nullptr;
    std::vector<Light*> lights_;
};
