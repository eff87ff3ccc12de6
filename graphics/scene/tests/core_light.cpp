// Lights: cone angles, colour flags, chunk 0x12 and its failures.
#include <cmath>

#include "graphics/core/frame.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/tests/scenetesting.h"

namespace {

class SceneLight : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
    }
};

Light* ReadLight(const Bytes& bytes)
{
    return ReadBytes<Light*>(bytes, [](Stream* stream) {
        return StreamFindChunk(stream, kChunkLight, nullptr, nullptr) ? LightStreamRead(stream) : nullptr;
    });
}

TEST_F(SceneLight, ConeAnglesUpToAQuarterTurn)
{
    Light* light = LightCreate(kLightSpot);
    struct Case
    {
        float angle;
        bool accepted;
    } cases[] = {{0.0f, true},        {0.785398163f, true}, {1.5707964f, true},
                 {1.5707965f, false}, {-0.001f, false},     {std::nanf(""), false}};
    for (const Case& c : cases) {
        LightSetConeAngle(light, 0.5f);
        bool accepted = LightSetConeAngle(light, c.angle) != nullptr;
        EXPECT_EQ(accepted, c.accepted) << c.angle;
        if (accepted) {
            EXPECT_NEAR(LightGetConeAngle(light), c.angle, 1e-6f) << c.angle;
        } else {
            EXPECT_NEAR(LightGetConeAngle(light), 0.5f, 1e-6f) << "unchanged";
        }
    }
    light->minusCosAngle = 1.5f;
    EXPECT_EQ(LightGetConeAngle(light), 3.1415927f);
    light->minusCosAngle = -1.5f;
    EXPECT_EQ(LightGetConeAngle(light), 0.0f);
    LightDestroy(light);
}

TEST_F(SceneLight, GreyFlagFollowsTheColour)
{
    Light* light = LightCreate(kLightPoint);
    EXPECT_EQ(light->object.object.privateFlags, kLightPrivateGrey);
    const RGBAReal colours[] = {{0.5f, 0.5f, 0.4f, 1}, {0.5f, 0.4f, 0.5f, 1}, {0.3f, 0.3f, 0.3f, 0}};
    const uint8_t expected[] = {0, 0, kLightPrivateGrey};
    for (int i = 0; i < 3; ++i) {
        LightSetColor(light, &colours[i]);
        EXPECT_EQ(light->object.object.privateFlags, expected[i]) << i;
    }
    LightDestroy(light);
}

TEST_F(SceneLight, RoundTripKeepsEverythingButAlpha)
{
    Light* light = LightCreate(0x81);
    const RGBAReal colour = {0.5f, 0.5f, 0.5f, 0.2f};
    LightSetColor(light, &colour);
    LightSetRadius(light, 7.0f);
    LightSetConeAngle(light, 0.3f);
    Bytes bytes = WriteBytes([&](Stream* stream) { return LightStreamWrite(light, stream) != nullptr; });
    ASSERT_EQ(bytes.size(), 12 + LightStreamGetSize(light));
    EXPECT_EQ(LightStreamGetSize(light), 48u);
    EXPECT_EQ(GetU32(bytes, 16), 24u);
    EXPECT_EQ(GetF32(bytes, 24), 7.0f);
    EXPECT_EQ(GetU32(bytes, 44), 0x00810003u);
    Light* read = ReadLight(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(LightGetType(read), 0x81);
    EXPECT_EQ(read->object.object.flags, 3);
    EXPECT_EQ(read->radius, 7.0f);
    EXPECT_EQ(read->colour.green, 0.5f);
    EXPECT_EQ(read->colour.alpha, 1.0f);
    EXPECT_EQ(read->object.object.privateFlags, kLightPrivateGrey);
    EXPECT_EQ(read->minusCosAngle, light->minusCosAngle);
    LightChunkInfo info;
    int32_t size = 0;
    ASSERT_TRUE(ReadBytes<bool>(bytes, [&](Stream* stream) {
        return StreamFindChunk(stream, kChunkLight, nullptr, nullptr) &&
               LightStreamReadChunkInfo(stream, &info, &size);
    }));
    EXPECT_EQ(info.typeAndFlags, 0x00810003u);
    EXPECT_EQ(size, 36);
    LightDestroy(read);
    LightDestroy(light);
}

TEST_F(SceneLight, EveryPrefixIsRefusedWithoutLeaks)
{
    Light* light = LightCreate(kLightPoint);
    Bytes bytes = WriteBytes([&](Stream* stream) { return LightStreamWrite(light, stream) != nullptr; });
    LightDestroy(light);
    const int64_t baseline = CountingMemory::live;
    for (size_t length = 0; length < bytes.size(); ++length) {
        TakeError();
        EXPECT_EQ(ReadLight(Bytes(bytes.begin(), bytes.begin() + length)), nullptr) << length;
        EXPECT_NE(TakeError().code, kErrorNone) << length;
        EXPECT_EQ(CountingMemory::live, baseline) << length;
    }
}

TEST_F(SceneLight, FrameChangeOnRadius)
{
    Light* light = LightCreate(kLightPoint);
    Frame* frame = FrameCreate();
    ObjectHasFrameSetFrame(&light->object, frame);
    FrameSyncDirty();
    ASSERT_EQ(FrameDirty(frame), 0u);
    LightSetRadius(light, 5.0f);
    EXPECT_NE(FrameDirty(frame), 0u);
    LightDestroy(light);
    FrameDestroy(frame);
}

// A light plug-in whose saved data cannot be read back: the reader must
// destroy the light it made.
class SceneLightExtension : public SceneFixture
{
  protected:
    static constexpr uint32_t kPluginId = 0x7F1;
};

TEST_F(SceneLightExtension, FailedExtensionReadDestroysTheLight)
{
    ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0x400000) && WorldLibraryAttach());
    ASSERT_GE(LightRegisterPlugin(4, kPluginId, nullptr, nullptr, nullptr), 0);
    ASSERT_GE(LightRegisterPluginStream(
                  kPluginId, [](Stream*, int32_t, void*, int32_t, int32_t) -> Stream* { return nullptr; },
                  [](Stream* stream, int32_t, const void*, int32_t, int32_t) {
                      uint32_t zero = 0;
                      return StreamWrite(stream, &zero, 4);
                  },
                  [](const void*, int32_t, int32_t) { return int32_t(4); }),
              0);
    ASSERT_TRUE(Open() && EngineStart());
    Light* light = LightCreate(kLightPoint);
    Bytes bytes = WriteBytes([&](Stream* stream) { return LightStreamWrite(light, stream) != nullptr; });
    LightDestroy(light);
    const int64_t baseline = CountingMemory::live;
    EXPECT_EQ(ReadLight(bytes), nullptr);
    EXPECT_EQ(CountingMemory::live, baseline);
    Shutdown();
    EXPECT_EQ(CountingMemory::live, 0);
}

} // namespace
