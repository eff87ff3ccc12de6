#include <cmath>

#include "graphics/core/camera.h"
#include "graphics/core/engine.h"
#include "graphics/core/raster.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

class CameraTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        camera_ = CameraCreate();
        ASSERT_NE(camera_, nullptr);
        frame_ = FrameCreate();
        CameraSetFrame(camera_, frame_);
    }
    void TearDown() override
    {
        if (camera_) {
            CameraDestroy(camera_);
        }
        FrameDestroy(frame_);
        StartedEngineTest::TearDown();
    }
    Camera* camera_ = nullptr;
    Frame* frame_ = nullptr;
};

TEST_F(CameraTest, Defaults)
{
    Camera* c = camera_;
    EXPECT_EQ(c->object.object.type, kObjectTypeCamera);
    EXPECT_EQ(c->projection, kCameraPerspective);
    EXPECT_EQ(c->viewWindow.x, 1.0f);
    EXPECT_EQ(c->viewWindow.y, 1.0f);
    EXPECT_EQ(c->recipViewWindow.x, 1.0f);
    EXPECT_EQ(c->viewOffset.x, 0.0f);
    EXPECT_EQ(c->nearPlane, 0.05f);
    EXPECT_EQ(c->farPlane, 10.0f);
    EXPECT_EQ(c->fogPlane, 5.0f);
    EXPECT_EQ(c->frameBuffer, nullptr);
    EXPECT_EQ(c->zBuffer, nullptr);
    EXPECT_EQ(c->viewMatrix.flags, 0u);
    // Depth maps into the device's z range [0, 1] less a margin of 0.0001.
    EXPECT_NEAR(c->zScale / c->nearPlane + c->zShift, 0.0001f, 1e-5f);
    EXPECT_NEAR(c->zScale / c->farPlane + c->zShift, 0.9999f, 1e-5f);
    CameraSetProjection(c, kCameraParallel);
    EXPECT_NEAR(c->zScale * c->nearPlane + c->zShift, 0.0001f, 1e-5f);
    EXPECT_NEAR(c->zScale * c->farPlane + c->zShift, 0.9999f, 1e-5f);
}

TEST_F(CameraTest, InvalidProjectionIsRefused)
{
    for (int32_t kind : {0, 3, -1}) {
        EXPECT_EQ(CameraSetProjection(camera_, kind), nullptr);
        EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
        EXPECT_EQ(camera_->projection, kCameraPerspective);
    }
    EXPECT_EQ(CameraSetProjection(camera_, kCameraParallel), camera_);
    EXPECT_EQ(TakeError(), kNoError);
}

TEST_F(CameraTest, SettersMarkTheFrameDirty)
{
    FrameSyncDirty();
    V2d window = {2, 4};
    CameraSetViewWindow(camera_, &window);
    EXPECT_EQ(camera_->recipViewWindow.y, 0.25f);
    EXPECT_NE(FrameDirty(frame_), 0u);
    FrameSyncDirty();
    CameraSetFarClipPlane(camera_, 100);
    EXPECT_NE(FrameDirty(frame_), 0u);
    EXPECT_NEAR(camera_->zScale / 100 + camera_->zShift, 0.9999f, 1e-5f);
}

// The camera at the origin looking along +z: near plane at 0.05, far at 10,
// sides at 45 degrees.
TEST_F(CameraTest, SphereTestAnswers)
{
    FrameSyncDirty();
    struct Case
    {
        Sphere sphere;
        int32_t answer;
    } cases[] = {
        {{{0, 0, 0}, 0.01f}, 0},     // 0.05 in front of the near plane
        {{{0, 0, 0}, 0.1f}, 1},      // reaches past it
        {{{0, 0, 5}, 0.1f}, 2},      // well inside
        {{{0, 0, 5}, 20}, 1},        // around the whole frustum
        {{{0, 0, 20}, 1}, 0},        // beyond the far plane
        {{{0, 0, 11}, 1}, 1},        // touching the far plane from outside: not outside
        {{{10, 0, 1}, 0.1f}, 0},     // beside the frustum
        {{{1, 0, 1}, 0.05f}, 1},     // on a side plane
        {{{0, -2.9f, 3}, 0.05f}, 2}, // near the lower side, inside
        {{{0, 0, NAN}, 1}, 2},       // a NaN distance never counts as outside
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CameraFrustumTestSphere(camera_, &c.sphere), c.answer)
            << c.sphere.centre.x << " " << c.sphere.centre.y << " " << c.sphere.centre.z << " r "
            << c.sphere.radius;
    }
}

V3d ToScreen(const Camera* camera, const V3d& p)
{
    V3d v;
    V3dTransformPoint(&v, &p, &camera->viewMatrix);
    if (camera->projection == kCameraPerspective) {
        return {v.x / v.z, v.y / v.z, v.z};
    }
    return v;
}

// For both projections, with offsets and a moved, rotated frame: every
// corner lies on the planes made from it and inside the others, the planes
// face outwards, the box holds the corners, and the view matrix sends the
// corners to the corners of the unit screen.
TEST_F(CameraTest, FrustumCornersOnTheirPlanes)
{
    struct Case
    {
        int32_t projection;
        V2d window, offset;
    } cases[] = {
        {kCameraPerspective, {1, 1}, {0, 0}},
        {kCameraPerspective, {0.5f, 0.75f}, {0.2f, -0.1f}},
        {kCameraParallel, {1, 1}, {0, 0}},
        {kCameraParallel, {3, 2}, {0.5f, 0.25f}},
    };
    // Which planes each corner (near 0-3, far 4-7) lies on.
    const int onPlanes[8][3] = {{1, 3, 4}, {1, 2, 3}, {1, 2, 5}, {1, 4, 5},
                                {0, 3, 4}, {0, 2, 3}, {0, 2, 5}, {0, 4, 5}};
    const float screen[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    V3d axis = {1, 2, -1};
    V3d where = {3, -2, 7};
    FrameRotate(frame_, &axis, 50, kCombineReplace);
    FrameTranslate(frame_, &where, kCombinePostConcat);
    for (const Case& c : cases) {
        CameraSetProjection(camera_, c.projection);
        CameraSetViewWindow(camera_, &c.window);
        CameraSetViewOffset(camera_, &c.offset);
        CameraSetNearClipPlane(camera_, 0.5f);
        FrameSyncDirty();
        for (int corner = 0; corner < 8; ++corner) {
            const V3d& p = camera_->frustumCorners[corner];
            for (int plane = 0; plane < 6; ++plane) {
                const FrustumPlane& fp = camera_->frustumPlanes[plane];
                float s = fp.normal.x * p.x + fp.normal.y * p.y + fp.normal.z * p.z - fp.distance;
                bool on = plane == onPlanes[corner][0] || plane == onPlanes[corner][1] ||
                          plane == onPlanes[corner][2];
                if (on) {
                    EXPECT_NEAR(s, 0.0f, 2e-3f) << c.projection << " corner " << corner << " plane " << plane;
                } else {
                    EXPECT_LT(s, 0.0f) << c.projection << " corner " << corner << " plane " << plane;
                }
            }
            EXPECT_EQ(BBoxContainsPoint(&camera_->frustumBoundBox, &p), 1);
            V3d s = ToScreen(camera_, p);
            EXPECT_NEAR(s.x, screen[corner % 4][0], 1e-3f) << c.projection << " corner " << corner;
            EXPECT_NEAR(s.y, screen[corner % 4][1], 1e-3f) << c.projection << " corner " << corner;
            EXPECT_NEAR(s.z, corner < 4 ? camera_->nearPlane : camera_->farPlane, 1e-3f);
        }
        for (const FrustumPlane& fp : camera_->frustumPlanes) {
            EXPECT_NEAR(fp.normal.x * fp.normal.x + fp.normal.y * fp.normal.y + fp.normal.z * fp.normal.z,
                        1.0f, 1e-3f);
            EXPECT_EQ(fp.signs[0], fp.normal.x >= 0 && !std::signbit(fp.normal.x) ? 1 : 0);
            EXPECT_EQ(fp.signs[2], std::signbit(fp.normal.z) ? 0 : 1);
        }
        // The middle of the frustum is inside.
        V3d middle = {0, 0, 0};
        for (const V3d& p : camera_->frustumCorners) {
            middle = {middle.x + p.x / 8, middle.y + p.y / 8, middle.z + p.z / 8};
        }
        Sphere inside = {middle, 0.01f};
        EXPECT_EQ(CameraFrustumTestSphere(camera_, &inside), 2);
    }
}

int32_t Refuse(void*, void*, int32_t)
{
    return 0;
}

TEST_F(CameraTest, BeginAndEndUpdateGoThroughTheDevice)
{
    EngineInstance* instance = EngineGetInstance();
    DeviceDoubleGet().functionCalls.clear();
    V3d t = {0, 0, -1};
    FrameTranslate(frame_, &t, kCombineReplace);
    EXPECT_EQ(CameraBeginUpdate(camera_), camera_);
    EXPECT_EQ(instance->currentCamera, camera_);
    EXPECT_EQ(FrameDirty(frame_), 0u);                        // the frames were synchronised
    EXPECT_NEAR(camera_->frustumCorners[0].z, -0.95f, 1e-5f); // and the camera with them
    EXPECT_EQ(CameraEndUpdate(camera_), camera_);
    EXPECT_EQ(instance->currentCamera, nullptr);
    const uint8_t colour[4] = {10, 20, 30, 255};
    EXPECT_EQ(CameraClear(camera_, colour, 3), camera_);
    EXPECT_EQ(
        DeviceDoubleGet().functionCalls,
        (std::vector<int32_t>{kDeviceFnCameraBeginUpdate, kDeviceFnCameraEndUpdate, kDeviceFnCameraClear}));

    instance->deviceFunctions[kDeviceFnCameraBeginUpdate] = Refuse;
    instance->deviceFunctions[kDeviceFnCameraEndUpdate] = Refuse;
    instance->deviceFunctions[kDeviceFnCameraClear] = Refuse;
    EXPECT_EQ(CameraBeginUpdate(camera_), nullptr);
    EXPECT_EQ(instance->currentCamera, camera_);
    EXPECT_EQ(CameraEndUpdate(camera_), nullptr);
    EXPECT_EQ(instance->currentCamera, camera_);
    EXPECT_EQ(CameraClear(camera_, colour, 3), nullptr);
    CameraDestroy(camera_);
    camera_ = nullptr;
    EXPECT_EQ(instance->currentCamera, nullptr);
}

TEST_F(CameraTest, ShowRasterShowsTheFrameBuffer)
{
    camera_->frameBuffer = RasterCreate(64, 32, 32, kRasterTypeCamera);
    ASSERT_NE(camera_->frameBuffer, nullptr);
    DeviceDoubleGet().functionCalls.clear();
    int window;
    EXPECT_EQ(CameraShowRaster(camera_, &window, 0), camera_);
    EXPECT_EQ(DeviceDoubleGet().functionCalls, std::vector<int32_t>{kDeviceFnRasterShowRaster});
    EngineGetInstance()->deviceFunctions[kDeviceFnRasterShowRaster] = Refuse;
    EXPECT_EQ(CameraShowRaster(camera_, &window, 0), nullptr);
    RasterDestroy(camera_->frameBuffer);
}

TEST_F(CameraTest, CloneSharesFrameAndRasters)
{
    auto* fakeRaster = reinterpret_cast<Raster*>(this);
    camera_->frameBuffer = fakeRaster;
    camera_->zBuffer = fakeRaster;
    V2d window = {2, 3};
    CameraSetViewWindow(camera_, &window);
    CameraSetProjection(camera_, kCameraParallel);
    CameraSetFarClipPlane(camera_, 50);
    Camera* clone = CameraClone(camera_);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(CameraGetFrame(clone), frame_);
    EXPECT_EQ(clone->frameBuffer, fakeRaster);
    EXPECT_EQ(clone->zBuffer, fakeRaster);
    EXPECT_EQ(clone->viewWindow.y, 3.0f);
    EXPECT_EQ(clone->recipViewWindow.x, 0.5f);
    EXPECT_EQ(clone->projection, kCameraParallel);
    EXPECT_EQ(clone->farPlane, 50.0f);
    EXPECT_EQ(clone->zScale, camera_->zScale);
    EXPECT_EQ(clone->zShift, camera_->zShift);
    // Both hang from the frame and are synchronised with it.
    FrameSyncDirty();
    EXPECT_EQ(clone->frustumCorners[4].z, 50.0f);
    CameraDestroy(clone);
}

} // namespace
