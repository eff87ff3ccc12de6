// Attaching the scene library: module registration, attach errors and the
// sweep of forgotten objects when the engine stops.
#include <string>
#include <vector>

#include "graphics/core/camera.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/light.h"
#include "graphics/scene/material.h"
#include "graphics/scene/rendererhooks.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/tests/scenetesting.h"

namespace {

using SceneLibrary = SceneFixture;

constexpr uint32_t kModuleIds[] = {kModuleIdMaterial, kModuleIdMesh, kModuleIdGeometry, kModuleIdAtomic,
                                   kModuleIdLight,    kModuleId50A,  kModuleIdWorld,    kModuleId50B};

TEST_F(SceneLibrary, ModulesRegisterInOrderAndOpenWithTheEngine)
{
    ASSERT_TRUE(Init());
    ASSERT_EQ(WorldLibraryAttach(), 1);
    int32_t previous = 0;
    for (int i = 0; i < kSceneModuleCount; ++i) {
        int32_t offset = EngineGetPluginOffset(kModuleIds[i]);
        // Modules without data share their offset with the next one.
        EXPECT_GE(offset, previous) << std::hex << kModuleIds[i];
        EXPECT_EQ(offset, SceneModuleGetOffset(SceneModule(i)));
        previous = offset;
    }
    EXPECT_GE(LightGetPluginOffset(kPluginIdClumpLink), 0);
    EXPECT_GE(CameraGetPluginOffset(kPluginIdClumpLink), 0);
    ASSERT_TRUE(Open() && EngineStart());
    for (int i = 0; i < kSceneModuleCount; ++i) {
        EXPECT_EQ(SceneModuleGetOpenCount(SceneModule(i)), 1) << i;
    }
    EXPECT_TRUE(EngineStop());
    for (int i = 0; i < kSceneModuleCount; ++i) {
        EXPECT_EQ(SceneModuleGetOpenCount(SceneModule(i)), 0) << i;
    }
}

// The renderer's native-data attach ends the world extensions' attach,
// before the renderer's own open; its failure fails the library's attach.
TEST_F(SceneLibrary, RendererNativeAttachRunsBeforeTheRendererOpen)
{
    static std::vector<std::string> calls;
    static int32_t nativeResult = 1;
    SceneRendererHooks hooks = {};
    hooks.open = [] {
        calls.push_back("open");
        return int32_t(1);
    };
    hooks.nativeAttach = [] {
        calls.push_back("native");
        return nativeResult;
    };
    for (const int32_t result : {1, 0}) {
        SCOPED_TRACE(result);
        calls.clear();
        nativeResult = result;
        SceneSetRendererHooks(&hooks);
        ASSERT_TRUE(Init());
        EXPECT_EQ(WorldLibraryAttach(), result);
        const std::vector<std::string> expected =
            result ? std::vector<std::string>{"native", "open"} : std::vector<std::string>{"native"};
        EXPECT_EQ(calls, expected);
        SceneSetRendererHooks(nullptr);
        TearDown();
        SetUp();
    }
}

TEST_F(SceneLibrary, AttachAfterOpenIsRefused)
{
    ASSERT_TRUE(Init() && Open());
    EXPECT_EQ(WorldLibraryAttach(), 0);
    ErrorRecord error = TakeError();
    EXPECT_EQ(error.code, kErrorPluginRefused);
}

TEST_F(SceneLibrary, FailingRegistrationStillRegistersTheRest)
{
    ASSERT_TRUE(Init());
    // The material module's id taken first with less data than it asks for.
    EngineModuleFunc nothing = [](void* instance, int32_t, int32_t) { return instance; };
    ASSERT_GE(EngineAttachPlugin(0, kModuleIdMaterial, nothing, nothing), 0);
    EXPECT_EQ(WorldLibraryAttach(), 0);
    for (uint32_t id : kModuleIds) {
        EXPECT_GE(EngineGetPluginOffset(id), 0) << std::hex << id;
    }
    // Nothing after the module step is registered.
    EXPECT_LT(LightGetPluginOffset(kPluginIdClumpLink), 0);
}

TEST_F(SceneLibrary, StopSweepsForgottenLightsOutOfTheirClump)
{
    ASSERT_TRUE(StartScene(true));
    Clump clump{};
    LinkListInit(&clump.lights);
    Light* light = LightCreate(kLightPoint);
    ASSERT_NE(light, nullptr);
    ClumpLink* link = LightGetClumpLink(light);
    link->clump = &clump;
    LinkListAddFront(&clump.lights, &link->link);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(MaterialCreate(), nullptr);
    }
    ASSERT_TRUE(EngineStop());
    // The light left the clump's list as it was destroyed.
    EXPECT_TRUE(LinkListIsEmpty(&clump.lights));
    Shutdown();
    EXPECT_EQ(CountingMemory::live, 0);
}

TEST_F(SceneLibrary, FreeListSizingTakesEffectAtTheNextStart)
{
    ASSERT_TRUE(StartScene());
    MaterialSetFreeListCreateParams(2, 1);
    // Still the default block of 256 while started.
    Material* materials[3];
    for (Material*& m : materials) {
        m = MaterialCreate();
    }
    EXPECT_EQ(FreeListGetBlockCount(SceneModuleData<MaterialModuleData>(kSceneModuleMaterial)->materials),
              1u);
    for (Material* m : materials) {
        MaterialRelease(m);
    }
    ASSERT_TRUE(EngineStop() && EngineStart());
    for (Material*& m : materials) {
        m = MaterialCreate();
    }
    EXPECT_EQ(FreeListGetBlockCount(SceneModuleData<MaterialModuleData>(kSceneModuleMaterial)->materials),
              2u);
    for (Material* m : materials) {
        MaterialRelease(m);
    }
    MaterialSetFreeListCreateParams(256, 1);
}

} // namespace
