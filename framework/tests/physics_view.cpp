// The physics world's view: the collision wireframe, the pointer hints and
// the picking of one object.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "framework/cameramanager.h"
#include "framework/framelookat.h"
#include "framework/inputmanager.h"
#include "framework/interactiveobject.h"
#include "framework/sceneobject.h"
#include "framework/tests/physicstesting.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/scene/world.h"
#include "physics/core/body/body.h"

namespace {

constexpr uint32_t kWireframeGrey = 0x404040u;

class PhysicsView : public PhysicsWorld
{
  protected:
    /// Looks straight down on the level's centre from `height`.
    static void LookDown(float height)
    {
        const V3d eye = {0.5f, height, -0.5f}, centre = {0.0f, 0.0f, 0.0f};
        FrameLookAt(Framework().cameraManager->GetCameraFrame(), &eye, &centre);
    }
    size_t CountColour(uint32_t rgb, size_t* total = nullptr)
    {
        int32_t width = 0, height = 0;
        const std::vector<uint32_t> pixels = CameraPixels(&width, &height);
        if (total)
            *total = pixels.size();
        size_t count = 0;
        for (uint32_t pixel : pixels)
            count += (pixel & 0xFFFFFFu) == rgb;
        return count;
    }
};

TEST_F(PhysicsView, RenderModesDrawTheWorldItsWireframeOrBoth)
{
    const struct
    {
        const char* flags;
        bool wireframe;
    } cases[] = {{"0", false}, {"1", true}, {"2", true}};
    for (const auto& k : cases) {
        StartWith([&](ConfigBuilder& c) {
            c.Element("World", {{"filename", "world/level.bsp"}, {"name", "l"}, {"flags", k.flags}});
        });
        LookDown(25.0f);
        uint32_t before = 0;
        D3D9GetRenderState(D3DRS_ZFUNC, &before);
        RunFrame(20);
        RunFrame(20);
        const size_t grey = CountColour(kWireframeGrey);
        if (k.wireframe)
            EXPECT_GT(grey, 500u) << "flags " << k.flags;
        else
            EXPECT_LT(grey, 50u) << "flags " << k.flags;
        uint32_t depth = 0;
        D3D9GetRenderState(D3DRS_ZFUNC, &depth);
        EXPECT_EQ(depth, before) << "the depth test is given back";
        Stop();
    }
}

TEST_F(PhysicsView, LargeSectorsAreDrawnInBatches)
{
    StartWith([](ConfigBuilder&) {});
    // 6000 triangles: a strip of 3000 cells along x, each 0.005 wide, over
    // the view's width, more than one buffer of 5333 triangles holds.
    constexpr int32_t kCells = 3000;
    std::vector<V3d> vertices;
    for (int32_t i = 0; i <= kCells; ++i) {
        const float x = -7.5f + 15.0f * float(i) / float(kCells);
        vertices.push_back({x, 0.0f, -2.0f});
        vertices.push_back({x, 0.0f, 2.0f});
    }
    std::vector<WorldSectorTriangle> triangles;
    for (int32_t i = 0; i < kCells; ++i) {
        const auto a = uint16_t(2 * i);
        triangles.push_back({{a, uint16_t(a + 1), uint16_t(a + 2)}, 0});
        triangles.push_back({{uint16_t(a + 1), uint16_t(a + 3), uint16_t(a + 2)}, 0});
    }
    WorldSector sector = {};
    sector.type = kSectorAtomic;
    sector.vertices = vertices.data();
    sector.triangles = triangles.data();
    sector.numVertices = uint16_t(vertices.size());
    sector.numTriangles = uint16_t(triangles.size());

    LookDown(10.0f);
    uint32_t before = 0;
    D3D9GetRenderState(D3DRS_ZFUNC, &before);
    CCameraManager* cameras = Framework().cameraManager;
    cameras->Clear();
    ASSERT_TRUE(cameras->BeginUpdate());
    EXPECT_EQ(CPhysicsWorld::RenderCollisionWireframe(&sector), &sector);
    cameras->EndUpdate();
    // The last cells' lines, at the strip's right end, are drawn too.
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> pixels = CameraPixels(&width, &height);
    ASSERT_FALSE(pixels.empty());
    size_t left = 0, right = 0;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            if ((pixels[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFFu) == kWireframeGrey)
                ++(x < width / 2 ? left : right);
        }
    }
    EXPECT_GT(left, 1000u);
    EXPECT_GT(right, 1000u);
    uint32_t depth = 0;
    D3D9GetRenderState(D3DRS_ZFUNC, &depth);
    EXPECT_EQ(depth, before);
}

/// Pixels that differ between two pictures in the hint lines' band (the
/// lower fifth of the screen but the last tenth).
size_t HintBandChanges(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, int32_t width,
                       int32_t height)
{
    size_t changed = 0;
    for (int32_t y = int32_t(0.7f * float(height)); y < int32_t(0.9f * float(height)); ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            changed += a[i] != b[i];
        }
    }
    return changed;
}

/// A switch that the pointer is always on.
class NearSwitch : public CInteractiveObject
{
  public:
    bool OnStart(const char*, const char**) override { return true; }
    bool OnEnd(const char*) override { return true; }
    bool Load() override { return true; }
    void Update(float) override {}
    void RenderDebug() override {}
    void Shutdown() override {}
    bool IsNear(const V3d&) const override { return true; }
    const char* GetActionText() const override { return "open the gate"; }
};

TEST_F(PhysicsView, PointerHintsNameWhatAClickOrAPullWouldDo)
{
    StartWith([](ConfigBuilder& c) {
        c.Element("World", {{"filename", "world/level.bsp"}, {"name", "l"}, {"flags", "0"}});
    });
    auto crate = std::make_unique<CSceneObject>();
    ASSERT_TRUE(crate->LoadClump("world/crate.dff"));
    crate->SetScale(500.0f);
    crate->SetCollidable(true);
    ASSERT_TRUE(Worlds()->RegisterObject(crate.get()));
    LookDown(6.0f);
    // The pointer at the centre, on the crate.
    ShellMouseRecord record{320.0f, 240.0f, 0.0f, 0.0f, 0, 0};
    CInputManager::MouseHandler(ShellEventMouseMove, &record);
    int32_t width = 0, height = 0;
    RunFrame(20);
    const std::vector<uint32_t> plain = CameraPixels(&width, &height);
    ASSERT_FALSE(plain.empty());

    // A body on the crate: the two lines on applying a force appear.
    OlpBody body = {};
    crate->SetPhysicsObject(&body);
    RunFrame(20);
    EXPECT_GT(HintBandChanges(plain, CameraPixels(&width, &height), width, height), 200u);

    // Nothing but the floor under the pointer: a switch there says what a
    // click does.
    crate->SetPhysicsObject(nullptr);
    crate->SetCollidable(false);
    RunFrame(20);
    const std::vector<uint32_t> floor = CameraPixels(&width, &height);
    ASSERT_TRUE(Worlds()->AddSwitch(new NearSwitch));
    RunFrame(20);
    EXPECT_GT(HintBandChanges(floor, CameraPixels(&width, &height), width, height), 100u);
    crate->Unload();
}

TEST_F(PhysicsQueries, RayPickTestsOneObject)
{
    auto crate = std::make_unique<CSceneObject>();
    ASSERT_TRUE(crate->LoadClump("world/crate.dff"));
    crate->SetScale(500.0f);
    crate->SetPosition({3.0f, 0.0f, 0.0f});
    const V3d from = {0.0f, 0.5f, 0.0f}, to = {10.0f, 0.5f, 0.0f};
    float distance = 0.0f;
    V3d normal = {};
    EXPECT_FALSE(Worlds()->RayPickObject(crate.get(), &from, &to, &distance, &normal)) << "not collidable";
    crate->SetCollidable(true);
    ASSERT_TRUE(Worlds()->RayPickObject(crate.get(), &from, &to, &distance, &normal));
    EXPECT_NEAR(distance, 0.25f, 1e-5f);
    EXPECT_NEAR(normal.x, -1.0f, 1e-5f);
    EXPECT_FALSE(Worlds()->RayPickObject(crate.get(), &from, &from, &distance, &normal));
    // Far out of the level nothing is picked.
    crate->SetPosition({2000.0f, 0.0f, 0.0f});
    const V3d farFrom = {1990.0f, 0.5f, 0.0f}, farTo = {2010.0f, 0.5f, 0.0f};
    EXPECT_FALSE(Worlds()->RayPickObject(crate.get(), &farFrom, &farTo, &distance, &normal));
}

} // namespace
