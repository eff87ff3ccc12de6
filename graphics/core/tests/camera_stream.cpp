#include "graphics/core/camera.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/tests/mathstesting.h"

namespace {

using CameraStreamTest = StartedEngineTest;

Camera* ReadCamera(const Bytes& bytes)
{
    return ReadBytes<Camera*>(bytes, [](Stream* s) {
        return StreamFindChunk(s, kChunkCamera, nullptr, nullptr) ? CameraStreamRead(s) : nullptr;
    });
}

Bytes WriteCamera(const Camera* camera)
{
    return WriteBytes([&](Stream* s) { return CameraStreamWrite(camera, s) != nullptr; });
}

TEST_F(CameraStreamTest, RoundTrip)
{
    Camera* camera = CameraCreate();
    V2d window = {0.75f, 0.5f}, offset = {0.1f, -0.2f};
    CameraSetViewWindow(camera, &window);
    CameraSetViewOffset(camera, &offset);
    CameraSetNearClipPlane(camera, 0.5f);
    CameraSetFarClipPlane(camera, 300);
    CameraSetFogDistance(camera, 120);
    CameraSetProjection(camera, kCameraParallel);
    Bytes bytes = WriteCamera(camera);
    ASSERT_EQ(bytes.size(), 12 + CameraStreamGetSize(camera));
    EXPECT_EQ(CameraStreamGetSize(camera), 56u);
    EXPECT_EQ(GetU32(bytes, 0), 5u);
    EXPECT_EQ(GetU32(bytes, 12), 1u);
    EXPECT_EQ(GetU32(bytes, 16), 32u);
    EXPECT_EQ(GetF32(bytes, 24), 0.75f);
    EXPECT_EQ(GetF32(bytes, 24 + 20), 300.0f);
    EXPECT_EQ(GetU32(bytes, 24 + 28), 2u);
    CameraDestroy(camera);

    Camera* back = ReadCamera(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->viewWindow.x, 0.75f);
    EXPECT_EQ(back->recipViewWindow.y, 2.0f);
    EXPECT_EQ(back->viewOffset.y, -0.2f);
    EXPECT_EQ(back->nearPlane, 0.5f);
    EXPECT_EQ(back->farPlane, 300.0f);
    EXPECT_EQ(back->fogPlane, 120.0f);
    EXPECT_EQ(back->projection, kCameraParallel);
    EXPECT_EQ(CameraGetFrame(back), nullptr);
    EXPECT_NEAR(back->zScale * 300 + back->zShift, 0.9999f, 1e-4f);
    CameraDestroy(back);
}

TEST_F(CameraStreamTest, LongerStructChunkIsSkippedPast)
{
    Camera* camera = CameraCreate();
    CameraSetFarClipPlane(camera, 42);
    Bytes bytes = WriteCamera(camera);
    CameraDestroy(camera);
    bytes.insert(bytes.begin() + 24 + 32, 8, 0xCD);
    PutU32(bytes, 4, GetU32(bytes, 4) + 8);
    PutU32(bytes, 16, 40);
    Camera* back = ReadCamera(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->farPlane, 42.0f);
    CameraDestroy(back);
}

class CameraStreamMemoryTest : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        CountingMemory::Reset();
        CameraSetFreeListCreateParams(1, 0);
        ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
        TakeError();
    }
    void TearDown() override
    {
        EngineTestShutdown();
        CameraSetFreeListCreateParams(4, 1);
        EXPECT_EQ(CountingMemory::live, 0);
    }
};

TEST_F(CameraStreamMemoryTest, MalformedInputLeavesNothingBehind)
{
    Camera* camera = CameraCreate();
    Bytes good = WriteCamera(camera);
    CameraDestroy(camera);
    const int64_t liveBefore = CountingMemory::live;
    for (size_t length = 0; length < good.size(); ++length) {
        Bytes cut(good.begin(), good.begin() + length);
        EXPECT_EQ(ReadCamera(cut), nullptr) << length;
        EXPECT_EQ(CountingMemory::live, liveBefore) << length;
    }
    // A broken extension chunk: the camera made for it is destroyed.
    Bytes badExtension = good;
    PutU32(badExtension, 24 + 32 + 4, 1000);
    EXPECT_EQ(ReadCamera(badExtension), nullptr);
    EXPECT_EQ(CountingMemory::live, liveBefore);
    TakeError();
    // An unknown projection.
    Bytes badProjection = good;
    PutU32(badProjection, 24 + 28, 7);
    EXPECT_EQ(ReadCamera(badProjection), nullptr);
    EXPECT_EQ(TakeError(), (ErrorRecord{0, kErrorBadArgument}));
    EXPECT_EQ(CountingMemory::live, liveBefore);
}

} // namespace
