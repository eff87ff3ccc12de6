// The soldier walking against one reference picture: deformed on the
// processor and drawn through the renderer's fixed-function draw, or
// blended by the generated vertex shaders through the bone palette.
#include <memory>

#include "graphics/animation/animation.h"
#include "graphics/animation/skin/tests/skintesting.h"
#include "graphics/core/camera.h"
#include "graphics/core/instance.h"
#include "graphics/core/raster.h"
#include "graphics/core/resources.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/core/texture.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"
#include "graphics/scene/rendererhooks.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "platform/d3d9/testing/backbuffer.h"
#include "platform/d3d9/testing/capsprofiles.h"
#include "platform/d3d9/testing/referenceimage.h"
#include "tools/anim-tool/clips.h"
#include "tools/charactergen/characterbuild.h"

namespace {

class SkinPicture : public SkinFixture
{
  protected:
    void Start(const char* profile)
    {
        ASSERT_TRUE(D3D9UseCapsProfile(profile));
        ASSERT_TRUE(EngineInit(nullptr, 0, 0x400000) && WorldLibraryAttach() && D3D9SceneRendererOpen() &&
                    HierarchyPluginAttach() && SkinPluginAttach() && Open() && EngineStart() &&
                    D3D9DefaultPipelinesOpen());
        camera_ = CameraCreate();
        cameraFrame_ = FrameCreate();
        CameraSetFrame(camera_, cameraFrame_);
        camera_->frameBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeCamera);
        camera_->zBuffer = RasterCreate(kWidth, kHeight, 0, kRasterTypeZBuffer);
        const uint8_t background[4] = {64, 64, 96, 255};
        ASSERT_NE(CameraClear(camera_, background, 3), nullptr);
        ASSERT_NE(CameraBeginUpdate(camera_), nullptr);
        // A world (made current after the camera's update began) holding an
        // ambient light and a directional light from the upper left front.
        world_ = std::make_unique<World>();
        LinkListInit(&world_->globalLights);
        world_->format = kGeometryLight;
        EngineGetInstance()->currentWorld = world_.get();
        AddLight(kLightAmbient, {0.35f, 0.35f, 0.35f, 1}, 0);
        AddLight(kLightDirectional, {0.9f, 0.9f, 0.85f, 1}, 30);
    }

    void TearDown() override
    {
        if (camera_) {
            CameraEndUpdate(camera_);
            CameraSetFrame(camera_, nullptr);
            RasterDestroy(camera_->frameBuffer);
            RasterDestroy(camera_->zBuffer);
            CameraDestroy(camera_);
            FrameDestroy(cameraFrame_);
        }
        if (clump_) {
            ClumpDestroy(clump_);
        }
        if (animation_) {
            AnimationDestroy(animation_);
        }
        for (Light* light : lights_) {
            LinkListRemove(&light->worldLink);
            Frame* frame = LightGetFrame(light);
            ObjectHasFrameSetFrame(&light->object, nullptr);
            FrameDestroy(frame);
            LightDestroy(light);
        }
        if (EngineGetInstance()) {
            EngineGetInstance()->currentWorld = nullptr;
        }
        if (EngineGetState() == kEngineStateStarted) {
            D3D9DefaultPipelinesClose();
        }
        SkinFixture::TearDown();
    }

    void AddLight(uint8_t type, RGBAReal colour, float tilt)
    {
        Light* light = LightCreate(type);
        ASSERT_NE(light, nullptr);
        LightSetColor(light, &colour);
        Frame* frame = FrameCreate();
        const V3d x = {1, 0, 0}, y = {0, 1, 0};
        FrameRotate(frame, &x, tilt, kCombineReplace);
        FrameRotate(frame, &y, -tilt, kCombinePostConcat);
        ObjectHasFrameSetFrame(&light->object, frame);
        LinkListAddBack(&world_->globalLights, &light->worldLink);
        lights_.push_back(light);
    }

    /// The soldier 1.8 m in front of the camera, seen from his left, posed
    /// by the walk at `time` seconds; its atomic.
    Atomic* Soldier(float time)
    {
        Skeleton skeleton;
        std::string error;
        EXPECT_TRUE(SkeletonRead(OLAI_TEST_SOURCE_DIR "/../../../../data/characters/soldier-skeleton.txt",
                                 &skeleton, &error))
            << error;
        clump_ = CharacterBuildSoldier(skeleton);
        EXPECT_NE(clump_, nullptr);
        Atomic* atomic = nullptr;
        ClumpVisitAtomics(
            clump_, [](Atomic* a, void* data) { return *static_cast<Atomic**>(data) = a; }, &atomic);
        // The generated texture's olive in place of the file the material names.
        Material* material = atomic->geometry->materials.materials[0];
        MaterialSetTexture(material, nullptr);
        material->colour = {110, 130, 80, 255};

        Frame* place = ClumpGetFrame(clump_);
        const V3d up = {0, 1, 0};
        const V3d at = {0, -0.9f, 1.8f};
        FrameRotate(place, &up, 90.0f, kCombineReplace);
        FrameTranslate(place, &at, kCombinePostConcat);

        for (const Clip& clip : ClipList()) {
            if (clip.key == "Walk") {
                animation_ = ClipBuild(skeleton, clip.motion);
            }
        }
        EXPECT_NE(animation_, nullptr);
        Hierarchy* hierarchy = SkinAtomicGetHierarchy(atomic);
        AnimInterpolatorSetCurrentAnim(hierarchy->interpolator, animation_);
        AnimInterpolatorSetCurrentTime(hierarchy->interpolator, time);
        HierarchyUpdateMatrices(hierarchy);
        return atomic;
    }

    std::vector<uint32_t> Pixels() { return d3d9test::BackBufferPixels(D3D9GetDevice(), kWidth, kHeight); }

    std::unique_ptr<World> world_;
    std::vector<Light*> lights_;
    Camera* camera_ = nullptr;
    Frame* cameraFrame_ = nullptr;
    Clump* clump_ = nullptr;
    Animation* animation_ = nullptr;

    /// A new frame: cleared, the atomic drawn, the pixels read back.
    std::vector<uint32_t> Picture(Atomic* atomic)
    {
        ResourcesNextFrame();
        const uint8_t background[4] = {64, 64, 96, 255};
        EXPECT_NE(CameraClear(camera_, background, 3), nullptr);
        EXPECT_NE(AtomicDefaultRender(atomic), nullptr);
        return Pixels();
    }

    /// Instanced data of many small triangles over two frames: everything
    /// the arena held before is evicted.
    void FillArena()
    {
        std::vector<Atomic*> fillers;
        for (int frame = 0; frame < 2; ++frame) {
            ResourcesNextFrame();
            for (int i = 0; i < 200; ++i) {
                Geometry* geometry = GeometryCreate(3, 1, kGeometryPositions);
                ASSERT_NE(geometry, nullptr);
                geometry->morphTargets[0].vertices[1] = {1, 0, 0};
                geometry->morphTargets[0].vertices[2] = {0, 1, 0};
                GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
                ASSERT_NE(GeometryUnlock(geometry), nullptr);
                Atomic* atomic = AtomicCreate();
                AtomicSetGeometry(atomic, geometry, 0);
                GeometryRelease(geometry);
                int32_t ok = 0;
                EXPECT_NE(AtomicInstancedDataGet(atomic, AtomicInstance, AtomicReinstance, &ok), nullptr);
                fillers.push_back(atomic);
            }
        }
        for (Atomic* atomic : fillers) {
            AtomicDestroy(atomic);
        }
    }

    void ExpectWalkPicture(bool shaderPath)
    {
        Atomic* soldier = Soldier(0.5f);
        ASSERT_NE(AtomicDefaultRender(soldier), nullptr);
        EXPECT_EQ(SkinGeometryGetSkin(soldier->geometry)->shaderPath, shaderPath ? 1u : 0u);
        const std::string why =
            d3d9test::CompareWithReferenceIn(OLAI_TEST_SOURCE_DIR "/reference", OLAI_TEST_OUTPUT_DIR,
                                             "soldier_walk", Pixels(), kWidth, kHeight);
        EXPECT_TRUE(why.empty()) << why;
    }
};

// Blended by the shaders (every bone in the palette), deformed into a
// dynamic stream of its own (hardware T&L, but 96 constants hold fewer
// bones than the soldier uses) or in place in the single stream: the same
// picture.
TEST_F(SkinPicture, SoldierWalkingAtHalfASecondThroughTheShaders)
{
    Start("full");
    ExpectWalkPicture(true);
}

TEST_F(SkinPicture, SoldierWalkingAtHalfASecondWithHardwareTnL)
{
    Start("vs96");
    ExpectWalkPicture(false);
}

TEST_F(SkinPicture, SoldierWalkingAtHalfASecondWithoutHardwareTnL)
{
    Start("nohwtl");
    ExpectWalkPicture(false);
}

// The soldier under arena pressure, on the shader path and the processor
// path: drawn, the arena filled with other instanced data, drawn again. The
// posed soldier is rebuilt to the same picture; pre-instanced (his bind
// pose), and then read back through the native reader, he keeps his record.
class SkinArenaPressure : public SkinPicture, public testing::WithParamInterface<const char*>
{
};

TEST_P(SkinArenaPressure, SoldierDrawsTheSameAfterTheArenaFills)
{
    Start(GetParam());
    ASSERT_EQ(ResourcesSetArenaSize(16 * 1024), 1);
    Atomic* soldier = Soldier(0.5f);
    Geometry* geometry = soldier->geometry;
    const std::vector<uint32_t> posed = Picture(soldier);
    ASSERT_NE(geometry->instanced, nullptr);
    FillArena();
    EXPECT_EQ(geometry->instanced, nullptr) << "evicted";
    EXPECT_EQ(Picture(soldier), posed);

    ASSERT_EQ(AtomicInstance(soldier), 1);
    ASSERT_NE(geometry->format & kGeometryNative, 0u);
    const std::vector<uint32_t> bindPose = Picture(soldier);
    EXPECT_NE(bindPose, posed) << "native data is drawn as it was saved";
    ResourcesEntry* const entry = geometry->instanced;
    ASSERT_NE(entry, nullptr);
    FillArena();
    EXPECT_EQ(geometry->instanced, entry);
    EXPECT_EQ(Picture(soldier), bindPose);
    EXPECT_EQ(geometry->instanced, entry) << "never rebuilt";

    // The native geometry written and read back, in the soldier's place
    // (the renderer's native-data streams installed for the scene library).
    D3D9SceneRendererInstall();
    const Bytes bytes = WriteBytes([&](Stream* s) { return GeometryStreamWrite(geometry, s) != nullptr; });
    Geometry* read = ReadBytes<Geometry*>(bytes, [](Stream* s) {
        return StreamFindChunk(s, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(s) : nullptr;
    });
    ASSERT_NE(read, nullptr);
    ASSERT_NE(read->format & kGeometryNative, 0u);
    AtomicSetGeometry(soldier, read, 0);
    GeometryRelease(read);
    ResourcesEntry* const readEntry = read->instanced;
    ASSERT_NE(readEntry, nullptr);
    EXPECT_EQ(Picture(soldier), bindPose);
    FillArena();
    EXPECT_EQ(read->instanced, readEntry);
    EXPECT_EQ(Picture(soldier), bindPose);
    SceneSetRendererHooks(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Profiles, SkinArenaPressure, testing::Values("full", "nohwtl"));

} // namespace
