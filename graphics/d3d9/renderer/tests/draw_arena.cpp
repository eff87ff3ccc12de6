// The resources arena under pressure: models and world sectors, native and
// not, drawn, then the arena filled with other objects' instanced data, then
// drawn again. Native data lives outside the arena: the same record is drawn
// again, never rebuilt (a native object has nothing to rebuild it from).
// Other data is evicted and rebuilt to the same picture.
#include <gtest/gtest.h>

#include <functional>

#include "graphics/core/instance.h"
#include "graphics/core/resources.h"
#include "graphics/core/tests/chunktesting.h"
#include "graphics/d3d9/renderer/tests/drawtesting.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "tools/worldbuild/worldbuild.h"

namespace {

// Room for a few dozen one-mesh entries; the fillers need far more.
constexpr uint32_t kSmallArena = 16 * 1024;
constexpr int kFillers = 400;

class ArenaPressure : public DrawFixture
{
  public:
    void SetUp() override
    {
        DrawFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        ASSERT_EQ(ResourcesSetArenaSize(kSmallArena), 1);
    }

    void TearDown() override
    {
        if (EngineGetInstance()) {
            EngineGetInstance()->currentWorld = nullptr;
        }
        for (World* world : worlds_) {
            WorldDestroy(world);
        }
        DrawFixture::TearDown();
    }

    /// A new frame: cleared, `draw` called, the pixels read back.
    std::vector<uint32_t> Picture(const std::function<void()>& draw)
    {
        ResourcesNextFrame();
        EXPECT_NE(CameraClear(camera_, kBackground, 3), nullptr);
        draw();
        return Pixels();
    }

    /// Instanced data of kFillers other quads, over two frames: everything
    /// the arena held before is evicted.
    void FillArena()
    {
        for (int frame = 0; frame < 2; ++frame) {
            ResourcesNextFrame();
            for (int i = 0; i < kFillers / 2; ++i) {
                Geometry* geometry = Quad();
                Atomic* atomic = AtomicOf(geometry);
                GeometryRelease(geometry);
                int32_t ok = 0;
                EXPECT_NE(AtomicInstancedDataGet(atomic, AtomicInstance, AtomicReinstance, &ok), nullptr);
            }
        }
    }

    /// A pre-lit quad of `colour` facing the camera at (x, 0, 3).
    Atomic* ColouredQuad(RGBA colour, float x)
    {
        return Place(FacingQuad(kGeometryPreLit, MaterialOf({255, 255, 255, 255}), colour), x, 0, 3);
    }

    /// The geometry written and read back: native when it was pre-instanced.
    Atomic* ReadBack(Atomic* atomic, float x)
    {
        const Bytes bytes =
            WriteBytes([&](Stream* s) { return GeometryStreamWrite(atomic->geometry, s) != nullptr; });
        Geometry* read = ReadBytes<Geometry*>(bytes, [](Stream* s) {
            return StreamFindChunk(s, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(s) : nullptr;
        });
        EXPECT_NE(read, nullptr);
        return read ? Place(read, x, 0, 3) : nullptr;
    }

    /// A world of one sector: a pre-lit wall of `colour` across the view at z = 3.
    World* Wall(RGBA colour)
    {
        WorldSoup soup;
        soup.format = kGeometryPreLit;
        soup.positions = {{-0.5f, -0.5f, 3}, {0.5f, -0.5f, 3}, {0.5f, 0.5f, 3}, {-0.5f, 0.5f, 3}};
        soup.preLit.assign(4, colour);
        soup.triangles = {{{2, 1, 0}, 0}, {{3, 2, 0}, 0}};
        soup.materials = {MaterialOf({255, 255, 255, 255})};
        World* world = WorldBuild(soup, WorldBuildLimits{});
        EXPECT_NE(world, nullptr);
        worlds_.push_back(world);
        return world;
    }

    /// The world written and read back.
    World* WorldReadBack(World* world)
    {
        World* read =
            WorldReadBytes(WriteBytes([&](Stream* s) { return WorldStreamWrite(world, s) != nullptr; }));
        EXPECT_NE(read, nullptr);
        if (read) {
            worlds_.push_back(read);
        }
        return read;
    }

    static WorldSector* OnlySector(World* world)
    {
        WorldSector* sector = nullptr;
        WorldForAllSectors(
            world,
            [](WorldSector* s, void* data) {
                *static_cast<WorldSector**>(data) = s;
                return s;
            },
            &sector);
        return sector;
    }

    void DrawWorld(World* world)
    {
        EngineGetInstance()->currentWorld = world;
        EXPECT_NE(WorldSectorRenderDefault(OnlySector(world)), nullptr);
        EngineGetInstance()->currentWorld = nullptr;
    }

    std::vector<World*> worlds_;
};

struct Drawn
{
    ResourcesEntry* entry;
    IDirect3DIndexBuffer9* indices;
    IDirect3DVertexBuffer9* vertices;
};

Drawn DrawnFrom(ResourcesEntry* entry)
{
    if (!entry) {
        return {nullptr, nullptr, nullptr};
    }
    InstancedData* data = InstancedDataFromEntry(entry);
    return {entry, data->indexBuffer, data->streams[0].buffer};
}

// Four models side by side: plain, pre-instanced here, and each read back
// from its stream (the native one through the native reader).
TEST_F(ArenaPressure, ModelsDrawTheSameAndNativeDataIsNeverRebuilt)
{
    Atomic* plain = ColouredQuad({255, 0, 0, 255}, -1.5f);
    Atomic* instanced = ColouredQuad({0, 255, 0, 255}, -0.5f);
    ASSERT_EQ(AtomicInstance(instanced), 1);
    Atomic* plainRead = ReadBack(ColouredQuad({0, 0, 255, 255}, 0), 0.5f);
    Atomic* nativeRead = ReadBack(instanced, 1.5f);
    ASSERT_NE(plainRead, nullptr);
    ASSERT_NE(nativeRead, nullptr);
    ASSERT_NE(nativeRead->geometry->format & kGeometryNative, 0u);
    ASSERT_EQ(nativeRead->geometry->morphTargets[0].vertices, nullptr) << "nothing to rebuild from";
    Atomic* const all[] = {plain, instanced, plainRead, nativeRead};
    auto draw = [&] {
        for (Atomic* atomic : all) {
            EXPECT_NE(AtomicDefaultRender(atomic), nullptr);
        }
    };

    const std::vector<uint32_t> before = Picture(draw);
    EXPECT_GT(CountColour(before, 0xFF0000), 100u);
    EXPECT_GT(CountColour(before, 0x0000FF), 100u);
    EXPECT_GT(CountColour(before, 0x00FF00), 200u) << "both native quads are drawn";
    const Drawn nativeBefore[] = {DrawnFrom(instanced->geometry->instanced),
                                  DrawnFrom(nativeRead->geometry->instanced)};

    FillArena();
    EXPECT_EQ(plain->geometry->instanced, nullptr) << "the plain data was evicted";
    EXPECT_EQ(plainRead->geometry->instanced, nullptr);
    EXPECT_EQ(instanced->geometry->instanced, nativeBefore[0].entry);
    EXPECT_EQ(nativeRead->geometry->instanced, nativeBefore[1].entry);

    const std::vector<uint32_t> after = Picture(draw);
    EXPECT_EQ(after, before);
    for (int i = 0; i < 2; ++i) {
        const Drawn now = DrawnFrom(all[1 + 2 * i]->geometry->instanced);
        EXPECT_EQ(now.entry, nativeBefore[i].entry) << i;
        EXPECT_EQ(now.indices, nativeBefore[i].indices) << i;
        EXPECT_EQ(now.vertices, nativeBefore[i].vertices) << i;
    }
    EXPECT_NE(plain->geometry->instanced, nullptr) << "rebuilt when drawn";
    EXPECT_EQ(TakeError().code, kErrorNone);
}

// A plain world, a world pre-instanced here and that world read back
// (native sectors through the native reader), each drawn alone.
TEST_F(ArenaPressure, SectorsDrawTheSameAndNativeDataIsNeverRebuilt)
{
    World* plain = Wall({255, 255, 0, 255});
    World* instanced = Wall({0, 255, 255, 255});
    ASSERT_EQ(WorldInstance(instanced), 1);
    World* nativeRead = WorldReadBack(instanced);
    ASSERT_NE(nativeRead, nullptr);
    ASSERT_NE(nativeRead->format & kGeometryNative, 0u);
    ASSERT_EQ(OnlySector(nativeRead)->vertices, nullptr) << "nothing to rebuild from";
    struct Case
    {
        const char* name;
        World* world;
        uint32_t colour;
        bool native;
    };
    const Case cases[] = {{"plain", plain, 0xFFFF00, false},
                          {"pre-instanced", instanced, 0x00FFFF, true},
                          {"read native", nativeRead, 0x00FFFF, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint32_t> before = Picture([&] { DrawWorld(c.world); });
        EXPECT_GT(CountColour(before, c.colour), 200u);
        WorldSector* sector = OnlySector(c.world);
        const Drawn drawn = DrawnFrom(sector->instanced);
        ASSERT_NE(drawn.entry, nullptr);

        FillArena();
        EXPECT_EQ(sector->instanced, c.native ? drawn.entry : nullptr);

        EXPECT_EQ(Picture([&] { DrawWorld(c.world); }), before);
        const Drawn now = DrawnFrom(sector->instanced);
        ASSERT_NE(now.entry, nullptr);
        if (c.native) {
            EXPECT_EQ(now.entry, drawn.entry);
            EXPECT_EQ(now.indices, drawn.indices);
            EXPECT_EQ(now.vertices, drawn.vertices);
        }
    }
    EXPECT_EQ(TakeError().code, kErrorNone);
}

} // namespace
