#include "graphics/animation/logo.h"
#include "graphics/core/camera.h"
#include "graphics/core/error.h"
#include "graphics/d3d9/tests/d3d9testing.h"
#include "graphics/toolkit2d/tests/im2drecorder.h"

namespace {

class LogoTest : public EngineFixture
{
  protected:
    void SetUp() override
    {
        EngineFixture::SetUp();
        ASSERT_TRUE(Init());
        ASSERT_TRUE(LogoPluginAttach());
        ASSERT_TRUE(Open() && EngineStart());
        camera = CameraCreate();
        ASSERT_NE(camera, nullptr);
        frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        ASSERT_NE(frameBuffer, nullptr);
        camera->frameBuffer = frameBuffer;
        ErrorRecord error;
        ErrorGet(&error);
    }
    void TearDown() override
    {
        if (camera != nullptr) {
            CameraDestroy(camera);
        }
        if (frameBuffer != nullptr) {
            RasterDestroy(frameBuffer);
        }
        EngineFixture::TearDown();
    }

    /// The rectangle on a frame buffer of the given size and a square view window.
    RasterRect RectOn(int32_t width, int32_t height, int32_t position)
    {
        Raster raster = {};
        raster.width = width;
        raster.height = height;
        Camera view = *camera;
        view.frameBuffer = &raster;
        return LogoComputeRect(&view, position);
    }

    Camera* camera = nullptr;
    Raster* frameBuffer = nullptr;
};

TEST_F(LogoTest, TenthOfTheWidthWithTheViewWindowsShape)
{
    const RasterRect big = RectOn(640, 480, 9);
    EXPECT_EQ(big.width, 64);
    EXPECT_EQ(big.height, 24);
    EXPECT_EQ(big.x, 640 - 16 - 64);
    EXPECT_EQ(big.y, 480 - 24 - 24);

    // The camera's begin-update stores the rectangle of its frame buffer
    // (160 x 120: 16 x 6) at the chosen place.
    EXPECT_EQ(LogoGetPosition(), 8);
    ASSERT_EQ(LogoSetPosition(9), 1);
    ASSERT_NE(CameraBeginUpdate(camera), nullptr);
    const RasterRect* rect = LogoGetRect();
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->width, 16);
    EXPECT_EQ(rect->height, 6);
    EXPECT_EQ(rect->x, kWidth - 16 - 16);
    EXPECT_EQ(rect->y, kHeight - 24 - 6);
    CameraEndUpdate(camera);
}

TEST_F(LogoTest, NinePlacesKeepTheirMarginsOnASubRaster)
{
    // A 320 x 240 window at (100, 50) of a larger frame buffer: 32 x 12.
    Raster sub = {};
    sub.width = 320;
    sub.height = 240;
    sub.xOffset = 100;
    sub.yOffset = 50;
    Camera view = *camera;
    view.frameBuffer = &sub;
    const int32_t left = 100 + 16, centre = 100 + 144, right = 100 + 320 - 16 - 32;
    const int32_t top = 50 + 24, middle = 50 + 114, bottom = 50 + 240 - 24 - 12;
    const RasterPoint expected[10] = {{0, 0},         {centre, top},   {centre, middle}, {centre, bottom},
                                      {left, middle}, {right, middle}, {left, top},      {right, top},
                                      {left, bottom}, {right, bottom}};
    for (int32_t position = 1; position <= 9; ++position) {
        const RasterRect rect = LogoComputeRect(&view, position);
        EXPECT_EQ(rect.x, expected[position].x) << position;
        EXPECT_EQ(rect.y, expected[position].y) << position;
        EXPECT_EQ(rect.width, 32);
        EXPECT_EQ(rect.height, 12);
    }
    for (int32_t position : {0, 10}) {
        EXPECT_EQ(LogoSetPosition(position), 0);
        ErrorRecord error;
        ErrorGet(&error);
        EXPECT_EQ(error.code, kErrorBadArgument);
    }
    EXPECT_EQ(LogoGetPosition(), 8);
}

// Frame buffers and view windows without room give an empty rectangle
// (r = 0 or a division by zero before), so nothing is drawn.
TEST_F(LogoTest, NoRoomGivesAnEmptyRectangle)
{
    struct Case
    {
        int32_t width, height;
        float vx, vy;
    } cases[] = {{640, 48, 1, 1},  {640, 30, 1, 1},  {0, 480, 1, 1},
                 {640, 480, 1, 0}, {640, 480, 0, 1}, {5, 480, 1, 1}};
    for (const Case& c : cases) {
        Raster raster = {};
        raster.width = c.width;
        raster.height = c.height;
        Camera view = *camera;
        view.frameBuffer = &raster;
        view.viewWindow = {c.vx, c.vy};
        const RasterRect rect = LogoComputeRect(&view, 9);
        EXPECT_EQ(rect.width, 0) << c.width << "x" << c.height;
        EXPECT_EQ(rect.height, 0);
    }
}

TEST_F(LogoTest, DrawsOnlyOnEnabledCamerasAndRestoresTheStates)
{
    EXPECT_EQ(LogoCameraGetEnabled(camera), 0);
    Recorder::Install(
        {{1, 0x77}, {2, 3}, {3, 3}, {4, 2}, {6, 1}, {8, 1}, {9, 1}, {10, 2}, {11, 1}, {12, 1}, {20, 2}});
    // Disabled: nothing drawn, and the camera's own callbacks still run.
    ASSERT_NE(CameraBeginUpdate(camera), nullptr);
    EXPECT_EQ(EngineGetInstance()->currentCamera, camera);
    CameraEndUpdate(camera);
    EXPECT_EQ(EngineGetInstance()->currentCamera, nullptr);
    EXPECT_TRUE(Recorder::draws.empty());

    EXPECT_EQ(LogoCameraSetEnabled(camera, 1), 0);
    const auto before = Recorder::states;
    CameraBeginUpdate(camera);
    CameraEndUpdate(camera);
    EXPECT_EQ(EngineGetInstance()->currentCamera, nullptr);
    ASSERT_EQ(Recorder::draws.size(), 1u);
    const RecordedDraw& draw = Recorder::draws[0];
    EXPECT_EQ(draw.type, kIm2DTriFan);
    ASSERT_EQ(draw.vertices.size(), 4u);
    // Place 8 (left bottom) of 160 x 120: 16 x 6 at (16, 90).
    EXPECT_EQ(draw.vertices[0].x, 16.0f);
    EXPECT_EQ(draw.vertices[0].y, 90.0f);
    EXPECT_EQ(draw.vertices[1].y, 96.0f);
    EXPECT_EQ(draw.vertices[2].x, 32.0f);
    EXPECT_EQ(draw.vertices[2].u, 1.0f);
    EXPECT_EQ(draw.vertices[2].v, 1.0f);
    EXPECT_FLOAT_EQ(draw.vertices[0].recipW, 1.0f / camera->nearPlane);
    EXPECT_EQ(draw.states.at(10), 5u);
    EXPECT_EQ(draw.states.at(11), 6u);
    EXPECT_EQ(draw.states.at(9), 2u);
    EXPECT_NE(draw.states.at(1), 0x77u);
    // The ten saved states are back; state 2 keeps the value the draw set.
    auto expected = before;
    expected[2] = 1;
    EXPECT_EQ(Recorder::states, expected);
}

} // namespace
