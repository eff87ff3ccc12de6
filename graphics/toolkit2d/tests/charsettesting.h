#pragma once
// The engine on the device double with recording device entries (render
// states and indexed 2-D draws) and a current camera whose frame buffer has a
// chosen size.

#include "graphics/core/camera.h"
#include "graphics/core/instance.h"
#include "graphics/core/raster.h"
#include "graphics/core/tests/mathstesting.h"
#include "graphics/toolkit2d/charset.h"
#include "graphics/toolkit2d/tests/im2drecorder.h"

class CharsetLayoutTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        Recorder::Install({{1, 0x1234}, {6, 1}, {8, 1}, {9, 2}, {10, 2}, {11, 1}, {20, 2}});
        SetFrameBuffer(640, 480);
        camera.nearPlane = 0.5f;
        camera.frameBuffer = &frameBuffer;
        EngineGetInstance()->currentCamera = &camera;
        ASSERT_EQ(CharsetBufferOpen(), 1);
    }
    void TearDown() override
    {
        CharsetBufferClose();
        EngineGetInstance()->currentCamera = nullptr;
        StartedEngineTest::TearDown();
    }

    void SetFrameBuffer(int32_t width, int32_t height)
    {
        frameBuffer.width = width;
        frameBuffer.height = height;
    }

    /// The charset drawn with: only its identity reaches the device here.
    Charset* Font() { return &fontRaster; }

    Raster frameBuffer = {};
    Raster fontRaster = {};
    Camera camera = {};
};
