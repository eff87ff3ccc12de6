// World membership: sector ties of atomics and lights, the camera's visible
// sectors and their order, the frustum walks, WorldRender's once-per-frame
// drawing, the pipeline selector, and members of destroyed or forgotten worlds.
#include <algorithm>

#include "graphics/core/camera.h"
#include "graphics/core/frame.h"
#include "graphics/core/pipeline.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/light.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/tests/worldtesting.h"
#include "graphics/scene/worldmembers.h"

namespace {

class SceneWorldMembers : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
        world_ = NewWorld();
        ASSERT_NE(world_, nullptr);
        sectors_ = Sectors(world_);
        ASSERT_EQ(sectors_.size(), 4u);
    }

    void TearDown() override
    {
        for (Atomic* atomic : atomics_) {
            AtomicDestroy(atomic);
        }
        if (world_) {
            WorldDestroy(world_);
        }
        if (camera_) {
            CameraDestroy(camera_);
        }
        for (Frame* frame : frames_) {
            FrameDestroy(frame);
        }
        SceneFixture::TearDown();
    }

    static World* NewWorld()
    {
        Material* material = MaterialCreate();
        World* world = WorldBuild(WorldSoupLane(material), LeafLimit(2));
        MaterialRelease(material);
        return world;
    }

    Frame* NewFrame(const V3d& position)
    {
        Frame* frame = FrameCreate();
        FrameTranslate(frame, &position, kCombineReplace);
        frames_.push_back(frame);
        return frame;
    }

    /// An atomic on a space geometry of `radius` at `position`, in the world.
    Atomic* NewAtomic(const V3d& position, float radius)
    {
        Atomic* atomic = AtomicCreate();
        Geometry* geometry = GeometryCreateSpace(radius);
        AtomicSetGeometry(atomic, geometry, 0);
        GeometryRelease(geometry);
        AtomicSetFrame(atomic, NewFrame(position));
        WorldAddAtomic(world_, atomic);
        atomics_.push_back(atomic);
        return atomic;
    }

    /// A camera at `position` looking along +z, far plane `far`, in the world.
    Camera* NewCamera(const V3d& position, float far)
    {
        camera_ = CameraCreate();
        CameraSetFrame(camera_, NewFrame(position));
        CameraSetFarClipPlane(camera_, far);
        WorldAddCamera(world_, camera_);
        FrameSyncDirty();
        return camera_;
    }

    /// Indices (in walk order) of the sectors an atomic is tied to, sorted.
    std::vector<int> TiedSectors(Atomic* atomic)
    {
        std::vector<int> tied;
        for (LinkList* link = atomic->sectorTies.next; link != &atomic->sectorTies; link = link->next) {
            const AtomicTie* tie = LinkListEntry(link, AtomicTie, atomicLink);
            const auto at = std::find(sectors_.begin(), sectors_.end(), tie->sector);
            tied.push_back(int(at - sectors_.begin()));
            // Linked both ways: the sector's list holds the same record.
            bool inSector = false;
            for (LinkList* s = tie->sector->atomicTies.next; s != &tie->sector->atomicTies; s = s->next) {
                inSector |= LinkListEntry(s, AtomicTie, sectorLink) == tie;
            }
            EXPECT_TRUE(inSector);
            EXPECT_EQ(tie->atomic, atomic);
        }
        std::sort(tied.begin(), tied.end());
        return tied;
    }

    std::vector<int> VisibleSectors(Camera* camera)
    {
        std::vector<WorldSector*> visible;
        CameraForAllSectorsInFrustum(
            camera,
            [](WorldSector* sector, void* data) {
                static_cast<std::vector<WorldSector*>*>(data)->push_back(sector);
                return sector;
            },
            &visible);
        std::vector<int> indices;
        for (WorldSector* sector : visible) {
            indices.push_back(int(std::find(sectors_.begin(), sectors_.end(), sector) - sectors_.begin()));
        }
        return indices;
    }

    /// WorldRender as the camera's update would run it.
    void RenderFrame(Camera* camera)
    {
        EngineInstance* instance = EngineGetInstance();
        instance->currentCamera = camera;
        instance->currentWorld = world_;
        ++instance->renderFrame;
        WorldRender(world_);
        instance->currentCamera = nullptr;
        instance->currentWorld = nullptr;
    }

    World* world_ = nullptr;
    std::vector<WorldSector*> sectors_;
    std::vector<Atomic*> atomics_;
    std::vector<Frame*> frames_;
    Camera* camera_ = nullptr;
};

TEST_F(SceneWorldMembers, AnAtomicIsTiedWhereItsSphereReachesAndRetiedWhenItMoves)
{
    Atomic* atomic = NewAtomic({5, 0, 15}, 6);
    EXPECT_EQ(AtomicGetWorld(atomic), world_);
    EXPECT_TRUE(TiedSectors(atomic).empty()) << "tied at the next sync";
    FrameSyncDirty();
    EXPECT_EQ(TiedSectors(atomic), (std::vector<int>{0, 1, 2}));

    const V3d far = {5, 0, 35};
    FrameTranslate(AtomicGetFrame(atomic), &far, kCombineReplace);
    FrameSyncDirty();
    EXPECT_EQ(TiedSectors(atomic), (std::vector<int>{2, 3}));
    for (WorldSector* sector : {sectors_[0], sectors_[1]}) {
        EXPECT_TRUE(LinkListIsEmpty(&sector->atomicTies));
    }

    EXPECT_EQ(WorldRemoveAtomic(world_, atomic), world_);
    EXPECT_TRUE(TiedSectors(atomic).empty());
    EXPECT_EQ(AtomicGetWorld(atomic), nullptr);
    for (WorldSector* sector : sectors_) {
        EXPECT_TRUE(LinkListIsEmpty(&sector->atomicTies));
    }
    EXPECT_EQ(WorldRemoveAtomic(world_, atomic), nullptr);
}

// A box lying between a plane's left and right values (children that do not
// meet) still lands in a sector: on the right.
TEST_F(SceneWorldMembers, ABoxInAGapBetweenPlaneValuesGoesRight)
{
    auto* root = reinterpret_cast<PlaneSector*>(world_->root);
    ASSERT_EQ(root->value, 20.0f);
    root->leftValue = 15.0f;
    root->rightValue = 25.0f;
    Atomic* atomic = NewAtomic({5, 0, 20}, 1);
    FrameSyncDirty();
    EXPECT_EQ(TiedSectors(atomic), (std::vector<int>{2}));
}

TEST_F(SceneWorldMembers, GlobalLightsHaveNoTiesAndLocalOnesReachTheirRadius)
{
    Light* sun = LightCreate(kLightDirectional);
    Light* lamp = LightCreate(kLightPoint);
    LightSetRadius(lamp, 5);
    ObjectHasFrameSetFrame(&sun->object, NewFrame({5, 10, 5}));
    ObjectHasFrameSetFrame(&lamp->object, NewFrame({5, 1, 12}));
    WorldAddLight(world_, sun);
    WorldAddLight(world_, lamp);
    FrameSyncDirty();
    EXPECT_TRUE(LinkListIsEmpty(&sun->sectorTies));
    EXPECT_EQ(LightGetWorld(sun), world_);
    EXPECT_EQ(world_->globalLights.next, &sun->worldLink);
    EXPECT_EQ(world_->localLights.next, &lamp->worldLink);

    auto count = [](Light* light) {
        int sectors = 0;
        LightForAllWorldSectors(
            light,
            [](WorldSector* sector, void* data) {
                ++*static_cast<int*>(data);
                return sector;
            },
            &sectors);
        return sectors;
    };
    EXPECT_EQ(count(sun), 4) << "a global light walks every sector";
    EXPECT_EQ(count(lamp), 2) << "z 7 to 17 reaches the first two sectors";
    for (int i = 0; i < 4; ++i) {
        std::vector<Light*> lights;
        WorldSectorForAllLights(
            sectors_[i],
            [](Light* light, void* data) {
                static_cast<std::vector<Light*>*>(data)->push_back(light);
                return light;
            },
            &lights);
        EXPECT_EQ(lights, i < 2 ? (std::vector<Light*>{lamp, sun}) : (std::vector<Light*>{sun})) << i;
    }

    // A destroyed light leaves its world's list and its sectors.
    LightDestroy(lamp);
    EXPECT_TRUE(LinkListIsEmpty(&world_->localLights));
    for (WorldSector* sector : sectors_) {
        EXPECT_TRUE(LinkListIsEmpty(&sector->lightTies));
    }
    EXPECT_EQ(WorldRemoveLight(world_, sun), world_);
    EXPECT_TRUE(LinkListIsEmpty(&world_->globalLights));
    LightDestroy(sun);
}

// The camera stands at z = 20 looking along +z: it sees the last two
// sectors, nearer first for front to back, farther first for back to front.
TEST_F(SceneWorldMembers, VisibleSectorsComeInRenderOrder)
{
    world_->renderOrder = kWorldRenderBackToFront;
    Camera* camera = NewCamera({5, 5, 20}, 25);
    EXPECT_EQ(CameraGetWorld(camera), world_);
    EXPECT_EQ(VisibleSectors(camera), (std::vector<int>{3, 2}));

    world_->renderOrder = kWorldRenderFrontToBack;
    FrameUpdateObjects(CameraGetFrame(camera));
    FrameSyncDirty();
    EXPECT_EQ(VisibleSectors(camera), (std::vector<int>{2, 3}));

    // Looking back along -z from z = 12, 1 m above the floor, it sees the
    // floor from z = 11 on: the first sector and the end of the second,
    // whose cell straddles the frustum.
    const V3d axis = {0, 1, 0};
    FrameRotate(CameraGetFrame(camera), &axis, 180, kCombineReplace);
    const V3d position = {5, 1, 12};
    FrameTranslate(CameraGetFrame(camera), &position, kCombinePostConcat);
    FrameSyncDirty();
    EXPECT_EQ(VisibleSectors(camera), (std::vector<int>{1, 0}));

    EXPECT_EQ(WorldRemoveCamera(world_, camera), world_);
    EXPECT_TRUE(VisibleSectors(camera).empty());
    EXPECT_EQ(WorldRemoveCamera(world_, camera), nullptr);
}

int gRenders = 0;
int gWalked = 0;

Atomic* CountRender(Atomic* atomic)
{
    ++gRenders;
    return atomic;
}

TEST_F(SceneWorldMembers, AnAtomicInThreeVisibleSectorsIsHandledOncePerPass)
{
    Camera* camera = NewCamera({5, 5, -5}, 60);
    Atomic* atomic = NewAtomic({5, 0, 15}, 6);
    atomic->renderCallBack = CountRender;
    // Sectors draw nothing here (no pipelines); they answer themselves.
    WorldSetSectorRenderCallBack(world_, [](WorldSector* sector) { return sector; });
    Clump* clump = ClumpCreate();
    ClumpAddAtomic(clump, atomic);
    FrameSyncDirty();
    ASSERT_EQ(VisibleSectors(camera).size(), 4u);
    ASSERT_EQ(TiedSectors(atomic).size(), 3u);

    gWalked = 0;
    CameraForAllAtomicsInFrustum(
        camera,
        [](Atomic* a, void*) {
            ++gWalked;
            return a;
        },
        nullptr);
    EXPECT_EQ(gWalked, 1);
    gWalked = 0;
    CameraForAllClumpsInFrustum(
        camera,
        [](Clump* c, void*) {
            ++gWalked;
            return c;
        },
        nullptr);
    EXPECT_EQ(gWalked, 1);

    gRenders = 0;
    RenderFrame(camera);
    EXPECT_EQ(gRenders, 1) << "drawn once, also right after a frustum walk";
    RenderFrame(camera);
    EXPECT_EQ(gRenders, 2) << "and once more in the next frame";

    // A sector callback answering null skips that sector's atomics.
    Atomic* lone = NewAtomic({5, 0, 5}, 1);
    lone->renderCallBack = CountRender;
    FrameSyncDirty();
    WorldSetSectorRenderCallBack(
        world_, [](WorldSector* sector) { return sector->boundingBox.inf.z < 5.0f ? nullptr : sector; });
    gRenders = 0;
    RenderFrame(camera);
    EXPECT_EQ(gRenders, 1) << "the first atomic through its other sectors, the lone one not at all";
    WorldSetSectorRenderCallBack(world_, nullptr);
    EXPECT_EQ(WorldGetSectorRenderCallBack(world_), WorldSectorRenderDefault);

    ClumpRemoveAtomic(clump, atomic);
    ClumpDestroy(clump);
}

TEST_F(SceneWorldMembers, ClumpsBringTheirMembersAndLeaveWithThem)
{
    Clump* clump = ClumpCreate();
    Frame* root = NewFrame({5, 0, 15});
    frames_.pop_back(); // the clump owns it
    ClumpSetFrame(clump, root);
    Atomic* atomic = AtomicCreate();
    Geometry* geometry = GeometryCreateSpace(6);
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    AtomicSetFrame(atomic, root);
    ClumpAddAtomic(clump, atomic);
    Light* lamp = LightCreate(kLightPoint);
    LightSetRadius(lamp, 1);
    ObjectHasFrameSetFrame(&lamp->object, root);
    ClumpAddLight(clump, lamp);

    EXPECT_EQ(WorldAddClump(world_, clump), world_);
    FrameSyncDirty();
    EXPECT_EQ(world_->numClumps, 1);
    EXPECT_EQ(ClumpGetWorld(clump), world_);
    EXPECT_EQ(AtomicGetWorld(atomic), world_);
    EXPECT_EQ(TiedSectors(atomic).size(), 3u);
    EXPECT_FALSE(LinkListIsEmpty(&lamp->sectorTies));

    Clump* clone = ClumpClone(clump);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(ClumpGetWorld(clone), world_) << "a clone joins its source's world";
    EXPECT_EQ(world_->numClumps, 2);

    EXPECT_EQ(WorldRemoveClump(world_, clump), world_);
    EXPECT_EQ(AtomicGetWorld(atomic), nullptr);
    EXPECT_TRUE(LinkListIsEmpty(&atomic->sectorTies));
    EXPECT_TRUE(LinkListIsEmpty(&lamp->sectorTies));
    EXPECT_TRUE(LinkListIsEmpty(&world_->localLights));
    TakeError();
    EXPECT_EQ(WorldRemoveClump(world_, clump), nullptr);
    EXPECT_EQ(TakeError().code, kErrorSceneNotInWorld);

    // A destroyed clump leaves its world.
    ClumpDestroy(clone);
    EXPECT_EQ(world_->numClumps, 0);
    EXPECT_TRUE(LinkListIsEmpty(&world_->clumps));
    ClumpDestroy(clump);
}

TEST_F(SceneWorldMembers, DestroyingAWorldTakesEveryMemberOut)
{
    // Twice, the second time from what the first left: nothing may grow.
    int64_t left[2] = {};
    for (int round = 0; round < 2; ++round) {
        if (!world_) {
            world_ = NewWorld();
        }
        Atomic* atomic = NewAtomic({5, 0, 15}, 6);
        Camera* camera = NewCamera({5, 5, -5}, 60);
        Light* lamp = LightCreate(kLightPoint);
        LightSetRadius(lamp, 5);
        ObjectHasFrameSetFrame(&lamp->object, NewFrame({5, 0, 15}));
        WorldAddLight(world_, lamp);
        Clump* clump = ClumpCreate();
        Atomic* member = AtomicCreate();
        ClumpAddAtomic(clump, member);
        WorldAddClump(world_, clump);
        FrameSyncDirty();
        ASSERT_FALSE(LinkListIsEmpty(&atomic->sectorTies));
        ASSERT_FALSE(VisibleSectors(camera).empty());

        WorldDestroy(world_);
        world_ = nullptr;
        EXPECT_EQ(AtomicGetWorld(atomic), nullptr);
        EXPECT_TRUE(LinkListIsEmpty(&atomic->sectorTies));
        EXPECT_EQ(CameraGetWorld(camera), nullptr);
        EXPECT_TRUE(VisibleSectors(camera).empty());
        EXPECT_EQ(LightGetWorld(lamp), nullptr);
        EXPECT_TRUE(LinkListIsEmpty(&lamp->sectorTies));
        EXPECT_EQ(ClumpGetWorld(clump), nullptr);
        EXPECT_EQ(AtomicGetWorld(member), nullptr);
        // Their frames still move without touching the freed sectors.
        const V3d step = {1, 0, 0};
        FrameTranslate(AtomicGetFrame(atomic), &step, kCombinePostConcat);
        FrameTranslate(CameraGetFrame(camera), &step, kCombinePostConcat);
        FrameSyncDirty();
        LightDestroy(lamp);
        ClumpDestroy(clump);
        AtomicDestroy(atomic);
        atomics_.clear();
        CameraDestroy(camera);
        camera_ = nullptr;
        for (Frame* frame : frames_) {
            FrameDestroy(frame);
        }
        frames_.clear();
        left[round] = CountingMemory::live;
    }
    EXPECT_EQ(left[1], left[0]);
}

int gRights = 0;
uint32_t gRightsValue = 0;
void* gRightsObject = nullptr;

int32_t RecordRights(void* object, int32_t, int32_t, uint32_t value)
{
    ++gRights;
    gRightsObject = object;
    gRightsValue = value;
    return 1;
}

class SceneSelector : public SceneFixture
{
};

TEST_F(SceneSelector, APipelineOfAPluginIsSavedAndHandedBackOnReading)
{
    ASSERT_TRUE(EngineInit(CountingMemory::Table(), 0, 0x400000) && WorldLibraryAttach());
    ASSERT_GE(AtomicRegisterPlugin(0, 0x120, nullptr, nullptr, nullptr), 0);
    ASSERT_GE(AtomicSetStreamRightsCallBack(0x120, RecordRights), 0);
    ASSERT_TRUE(Open() && EngineStart());

    Atomic* atomic = AtomicCreate();
    Geometry* geometry = GeometryCreateSpace(1);
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    const int32_t plain = PluginRegistryStreamSize(AtomicGetPluginRegistry(), atomic);
    Pipeline* pipeline = PipelineCreate();
    pipeline->pluginId = 0x120;
    pipeline->pluginData = 7;
    atomic->pipeline = pipeline;
    EXPECT_EQ(PluginRegistryStreamSize(AtomicGetPluginRegistry(), atomic), plain + 12 + 8);
    const Bytes bytes = WriteBytes([&](Stream* stream) {
        return AtomicStreamWriteInClump(atomic, stream, nullptr, nullptr) != nullptr;
    });
    atomic->pipeline = nullptr;
    AtomicDestroy(atomic);
    PipelineDestroy(pipeline);

    gRights = 0;
    Atomic* read = ReadBytes<Atomic*>(bytes, [](Stream* stream) {
        return StreamFindChunk(stream, kChunkAtomic, nullptr, nullptr) ? AtomicStreamRead(stream) : nullptr;
    });
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(gRights, 1);
    EXPECT_EQ(gRightsObject, read);
    EXPECT_EQ(gRightsValue, 7u);
    AtomicDestroy(read);
}

class SceneWorldForgotten : public SceneFixture
{
};

// Stopping the engine destroys the world first, with its members taken out,
// then the forgotten clump, lights and camera go as always.
TEST_F(SceneWorldForgotten, StoppingWithAForgottenWorldFreesEverything)
{
    ASSERT_TRUE(StartScene(true));
    Material* material = MaterialCreate();
    World* world = WorldBuild(WorldSoupLane(material), LeafLimit(2));
    MaterialRelease(material);
    ASSERT_NE(world, nullptr);
    Clump* clump = ClumpCreate();
    Frame* root = FrameCreate();
    ClumpSetFrame(clump, root);
    Atomic* atomic = AtomicCreate();
    Geometry* geometry = GeometryCreateSpace(6);
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    AtomicSetFrame(atomic, root);
    ClumpAddAtomic(clump, atomic);
    Light* lamp = LightCreate(kLightPoint);
    LightSetRadius(lamp, 3);
    ObjectHasFrameSetFrame(&lamp->object, root);
    ClumpAddLight(clump, lamp);
    WorldAddClump(world, clump);
    Light* sun = LightCreate(kLightAmbient);
    WorldAddLight(world, sun);
    Camera* camera = CameraCreate();
    CameraSetFrame(camera, FrameCreate());
    WorldAddCamera(world, camera);
    FrameSyncDirty();
    // SceneFixture::TearDown stops the engine and checks nothing is left.
}

} // namespace
