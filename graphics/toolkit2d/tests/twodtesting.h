#pragma once
// Fixture of the vector toolkit's tests: the engine started on the software
// device in a headless window, a 160 x 120 camera with a 4:3 view window on
// a frame of its own, and the toolkit opened on it.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/core/frame.h"
#include "graphics/core/raster.h"
#include "graphics/d3d9/im3d.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/toolkit2d.h"
#include "platform/d3d9/testing/backbuffer.h"

class TwoDTest : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(StartEngine());
        camera_ = MakeCamera(kWidth, kHeight);
        ASSERT_NE(camera_, nullptr);
        ASSERT_TRUE(TwoDToolkitOpen(camera_));
        TakeError();
    }

    void TearDown() override
    {
        TwoDToolkitClose();
        for (Camera* camera : cameras_) {
            Frame* frame = CameraGetFrame(camera);
            CameraSetFrame(camera, nullptr);
            FrameDestroy(frame);
            RasterDestroy(camera->frameBuffer);
            RasterDestroy(camera->zBuffer);
            CameraDestroy(camera);
        }
        EngineFixture::TearDown();
    }

    /// Starts the engine; fixtures that need more engine libraries attach them here.
    virtual bool StartEngine() { return Start(); }

    /// A camera on its own frame at the origin, its view window matching the raster's aspect.
    Camera* MakeCamera(int32_t width, int32_t height)
    {
        Camera* camera = CameraCreate();
        Frame* frame = FrameCreate();
        if (!camera || !frame) {
            return nullptr;
        }
        CameraSetFrame(camera, frame);
        const V2d window = {0.5f * float(width) / float(height), 0.5f};
        CameraSetViewWindow(camera, &window);
        camera->frameBuffer = RasterCreate(width, height, 0, kRasterTypeCamera);
        camera->zBuffer = RasterCreate(width, height, 0, kRasterTypeZBuffer);
        cameras_.push_back(camera);
        return camera;
    }

    /// The back buffer as 0xFFRRGGBB words, row by row.
    std::vector<uint32_t> FramePixels() { return d3d9test::BackBufferPixels(Device(), kWidth, kHeight); }

    uint32_t DevicePixel(int x, int y) { return FramePixels()[size_t(y) * kWidth + x]; }

    static ErrorRecord TakeError()
    {
        ErrorRecord record;
        ErrorGet(&record);
        return record;
    }

    Camera* camera_ = nullptr;
    std::vector<Camera*> cameras_;
};

inline bool IsFiniteVertex(const Im3DVertex& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) && std::isfinite(v.u) &&
           std::isfinite(v.v);
}
