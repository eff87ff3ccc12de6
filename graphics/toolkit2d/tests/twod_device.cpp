// The 2-D device state: the CTM stack, viewport, camera switching, the
// device matrices and the visibility test.

#include <cstring>

#include "graphics/core/matrix.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/tests/twodtesting.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

using TwoDDevice = TwoDTest;

bool SameMatrix(const Matrix& a, const Matrix& b)
{
    const float* p = &a.right.x;
    const float* q = &b.right.x;
    for (int32_t i = 0; i < 16; ++i) {
        if (i % 4 != 3 && std::fabs(p[i] - q[i]) > 1e-5f) {
            return false;
        }
    }
    return true;
}

V2d ToTwoD(const Matrix* world, float x, float y)
{
    const V3d in = {x, y, 0.0f};
    V3d out;
    V3dTransformPoint(&out, &in, world);
    return {out.x, out.y};
}

int gCounted = 0;
Camera* CountingEndUpdate(Camera* camera)
{
    ++gCounted;
    return camera;
}

} // namespace

TEST_F(TwoDDevice, StackHoldsThirtyTwoEntries)
{
    for (int32_t i = 1; i < kTwoDCTMStackSize; ++i) {
        ASSERT_TRUE(TwoDCTMPush()) << "push " << i;
        TwoDCTMTranslate(1.0f, 0.0f);
    }
    EXPECT_EQ(TwoDCTMGetIndex(), 31);
    EXPECT_FALSE(TwoDCTMPush());
    EXPECT_FALSE(TwoDCTMPushLoad(TwoDCTMGet()));
    EXPECT_EQ(TwoDCTMGetIndex(), 31);
    EXPECT_FLOAT_EQ(TwoDCTMGet()->pos.x, 31.0f) << "each entry starts as a copy of the one below";

    // A refused push-multiply still invalidates: an edit behind the device's back shows.
    const Matrix before = *TwoDDeviceUpdateMatrix();
    const V3d shift = {5.0f, 0.0f, 0.0f};
    MatrixTranslate(TwoDCTMGet(), &shift, kCombinePreConcat);
    EXPECT_FALSE(TwoDCTMPushMultiply(nullptr));
    EXPECT_FALSE(SameMatrix(before, *TwoDDeviceUpdateMatrix()));

    for (int32_t i = 31; i > 0; --i) {
        ASSERT_TRUE(TwoDCTMPop());
    }
    EXPECT_FALSE(TwoDCTMPop());
    EXPECT_EQ(TwoDCTMGetIndex(), 0);
}

TEST_F(TwoDDevice, PushMultiplyAppliesTheMatrixFirst)
{
    TwoDCTMTranslate(10.0f, 0.0f);
    Matrix* scale = MatrixCreate();
    const V3d two = {2.0f, 2.0f, 1.0f};
    MatrixScale(scale, &two, kCombineReplace);
    ASSERT_TRUE(TwoDCTMPushMultiply(scale));
    const V2d point = {1.0f, 1.0f};
    V2d back;
    // (1, 1) is scaled to (2, 2), then moved to (12, 2); the inverse takes (12, 2) home.
    const V2d moved = {12.0f, 2.0f};
    TwoDCTMInverseTransformPoint(&back, &moved);
    EXPECT_NEAR(back.x, point.x, 1e-5f);
    EXPECT_NEAR(back.y, point.y, 1e-5f);
    MatrixDestroy(scale);
}

TEST_F(TwoDDevice, CameraSetsTheViewportFromItsAspect)
{
    float x, y, w, h;
    TwoDDeviceGetViewport(&x, &y, &w, &h);
    EXPECT_FLOAT_EQ(x, 0.0f);
    EXPECT_FLOAT_EQ(y, 0.0f);
    EXPECT_NEAR(w, 4.0f / 3.0f, 1e-6f);
    EXPECT_FLOAT_EQ(h, 1.0f);
    Camera* tall = MakeCamera(90, 120);
    ASSERT_TRUE(TwoDDeviceSetCamera(tall));
    TwoDDeviceGetViewport(&x, &y, &w, &h);
    EXPECT_FLOAT_EQ(w, 1.0f);
    EXPECT_NEAR(h, 4.0f / 3.0f, 1e-6f);

    Camera* blind = CameraCreate();
    EXPECT_FALSE(TwoDDeviceSetCamera(blind)) << "no frame buffer";
    EXPECT_EQ(TwoDDeviceGetCamera(), tall);
    CameraDestroy(blind);
    EXPECT_FALSE(TwoDDeviceSetCamera(nullptr));
    EXPECT_EQ(TwoDDeviceGetCamera(), nullptr);
}

TEST_F(TwoDDevice, DefaultUnitIsTheShorterSideFromTheBottomLeft)
{
    V2d a, b, o;
    ASSERT_TRUE(TwoDDeviceGetPixelAxes(&a, &b, &o));
    EXPECT_NEAR(a.x, 1.0f / 120.0f, 1e-6f) << "one pixel to the right";
    EXPECT_NEAR(a.y, 0.0f, 1e-6f);
    EXPECT_NEAR(b.y, 1.0f / 120.0f, 1e-6f) << "one pixel up";
    EXPECT_NEAR(o.x, 0.0f, 1e-6f);
    EXPECT_NEAR(o.y, 0.0f, 1e-6f);
    // Flatness is in pixels; the tolerance is its square in 2-D units.
    EXPECT_NEAR(TwoDDeviceGetTolerance(), (0.5f / 120.0f) * (0.5f / 120.0f), 1e-9f);
    ASSERT_TRUE(TwoDDeviceSetFlatness(2.0f));
    EXPECT_NEAR(TwoDDeviceGetTolerance(), (2.0f / 120.0f) * (2.0f / 120.0f), 1e-9f);
    EXPECT_FALSE(TwoDDeviceSetFlatness(0.0f));
    EXPECT_FALSE(TwoDDeviceSetFlatness(-1.0f));
    EXPECT_FLOAT_EQ(TwoDDeviceGetFlatness(), 2.0f);
    EXPECT_FALSE(TwoDDeviceSetLayerDepth(0.0f));
    EXPECT_FLOAT_EQ(TwoDDeviceGetLayerDepth(), 1.0f);
}

TEST_F(TwoDDevice, ViewportRoundTripKeepsTheCTM)
{
    // From a full stack: the viewport must not need a stack entry of its own.
    for (int32_t i = 1; i < kTwoDCTMStackSize; ++i) {
        ASSERT_TRUE(TwoDCTMPush());
    }
    TwoDCTMTranslate(3.0f, 4.0f);
    const Matrix ctm = *TwoDCTMGet();
    EXPECT_FALSE(TwoDDeviceSetViewport(0.0f, 0.0f, 0.0f, 10.0f)) << "an empty viewport is refused";
    ASSERT_TRUE(TwoDDeviceSetViewport(10.0f, 20.0f, 100.0f, 50.0f));
    EXPECT_EQ(TwoDCTMGetIndex(), 31);
    EXPECT_TRUE(SameMatrix(*TwoDCTMGet(), ctm));

    TwoDCTMSetIdentity();
    Path* path = PathCreate();
    ASSERT_TRUE(TwoDDeviceGetScreenPath(path));
    ASSERT_EQ(PathGetNodeCount(path), 5);
    // From camera space's (-W, -H), which is the bottom-right corner (camera x runs left).
    const float expected[5][2] = {{110, 20}, {10, 20}, {10, 70}, {110, 70}, {110, 20}};
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(PathGetNodes(path)[i].x, expected[i][0], 0.05f) << i;
        EXPECT_NEAR(PathGetNodes(path)[i].y, expected[i][1], 0.05f) << i;
    }
    EXPECT_TRUE(path->closed);
    PathDestroy(path);
    float x, y, w, h;
    TwoDDeviceGetViewport(&x, &y, &w, &h);
    EXPECT_EQ(w, 100.0f);
}

TEST_F(TwoDDevice, ParallelProjectionIgnoresTheLayerDepth)
{
    const Matrix near = *TwoDDeviceUpdateMatrix();
    ASSERT_TRUE(TwoDDeviceSetLayerDepth(2.0f));
    const Matrix deep = *TwoDDeviceUpdateMatrix();
    EXPECT_FALSE(SameMatrix(near, deep)) << "perspective: the plane moves away and grows";
    // The plane at depth 2 spans twice the size: (1, 1) lands twice as far from the corner.
    const V2d a = ToTwoD(&near, 1.0f, 1.0f), b = ToTwoD(&deep, 1.0f, 1.0f);
    const V2d a0 = ToTwoD(&near, 0.0f, 0.0f), b0 = ToTwoD(&deep, 0.0f, 0.0f);
    EXPECT_NEAR(b.x - b0.x, 2.0f * (a.x - a0.x), 1e-5f);

    ASSERT_NE(CameraSetProjection(camera_, kCameraParallel), nullptr);
    ASSERT_TRUE(TwoDDeviceSetCamera(camera_));
    const Matrix parallelDeep = *TwoDDeviceUpdateMatrix();
    ASSERT_TRUE(TwoDDeviceSetLayerDepth(1.0f));
    EXPECT_TRUE(SameMatrix(parallelDeep, *TwoDDeviceUpdateMatrix()));
    EXPECT_TRUE(SameMatrix(parallelDeep, near));
}

TEST_F(TwoDDevice, RectVisibleAgainstEachEdgeWhereverTheCameraStands)
{
    struct Case
    {
        const char* what;
        float x, y, w, h;
        bool visible;
    };
    // The view spans (0, 0) to (4/3, 1).
    const Case cases[] = {
        {"inside", 0.2f, 0.2f, 0.3f, 0.3f, true},
        {"straddling the left", -0.2f, 0.4f, 0.4f, 0.1f, true},
        {"covering all", -1.0f, -1.0f, 4.0f, 4.0f, true},
        {"left", -0.5f, 0.4f, 0.4f, 0.1f, false},
        {"right", 1.4f, 0.4f, 0.4f, 0.1f, false},
        {"below", 0.4f, -0.5f, 0.1f, 0.4f, false},
        {"above", 0.4f, 1.1f, 0.1f, 0.4f, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TwoDDeviceRectVisible(c.x, c.y, c.w, c.h), c.visible) << c.what;
    }
    // The 2-D plane moves with the camera: the answers stay.
    const V3d away = {50.0f, -20.0f, 7.0f};
    FrameTranslate(CameraGetFrame(camera_), &away, kCombineReplace);
    for (const Case& c : cases) {
        EXPECT_EQ(TwoDDeviceRectVisible(c.x, c.y, c.w, c.h), c.visible) << c.what << " (camera moved)";
    }
}

TEST_F(TwoDDevice, CamerasSetInTurnKeepOneForwarder)
{
    Camera* second = MakeCamera(kWidth, kHeight);
    second->endUpdate = CountingEndUpdate;
    for (int32_t round = 0; round < 2; ++round) {
        ASSERT_TRUE(TwoDDeviceSetCamera(second));
        ASSERT_TRUE(TwoDDeviceSetCamera(camera_));
    }
    EXPECT_EQ(camera_->endUpdate, TwoDCameraEndUpdateForward);
    EXPECT_EQ(second->endUpdate, TwoDCameraEndUpdateForward);
    gCounted = 0;
    // The forwarder calls a saved callback, never itself.
    EXPECT_EQ(CameraEndUpdate(second), second);
    EXPECT_EQ(CameraEndUpdate(camera_), camera_);
    EXPECT_EQ(gCounted, 2);
}

TEST_F(TwoDDevice, DrawingFollowsTheCameraThroughItsForwarder)
{
    // A band drawn through the toolkit shows in the frame buffer after end update.
    const uint8_t black[4] = {0, 0, 0, 255};
    ASSERT_NE(CameraClear(camera_, black, 3), nullptr);
    ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
    Path* path = PathCreate();
    PathMoveTo(path, 0.1f, 0.5f);
    PathLineTo(path, 0.6f, 0.5f);
    Brush* brush = BrushCreate();
    brush->halfWidth = 0.05f;
    EXPECT_TRUE(PathRender(path, brush));
    EXPECT_NE(CameraEndUpdate(camera_), nullptr);
    EXPECT_NE(DevicePixel(60, 60) & 0xFFFFFF, 0u) << "the band";
    EXPECT_EQ(DevicePixel(80, 20) & 0xFFFFFF, 0u) << "nothing above it";
    EXPECT_NE(DevicePixel(30, 60) & 0xFFFFFF, 0u) << "x runs to the right";
    EXPECT_EQ(DevicePixel(5, 60) & 0xFFFFFF, 0u) << "it starts at x = 0.1";
    EXPECT_EQ(DevicePixel(130, 60) & 0xFFFFFF, 0u) << "it ends at x = 0.6";
    EXPECT_NE(DevicePixel(30, 59) & 0xFFFFFF, 0u) << "y runs up: pixel row 60 is y = 0.5";
    BrushDestroy(brush);
    PathDestroy(path);
}
