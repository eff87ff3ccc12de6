// World-sector instancing on the software device: the declaration a world's
// format flags give, packed normals written as DEC3N, the identity transform
// a sector is drawn with, and the instancing-only pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "graphics/core/instance.h"
#include "graphics/d3d9/d3d9transform.h"
#include "graphics/d3d9/renderer/tests/renderertesting.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/world.h"
#include "tools/worldbuild/worldbuild.h"

namespace {

class SectorInstancing : public RendererFixture
{
  public:
    void SetUp() override
    {
        RendererFixture::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        AllInOneNodeSetRenderCallBack(
            PipelineGetNode(PipelineGetDefaultSlots()->current[kPipelineKindWorldSector], 0), RecordRender);
    }

    void TearDown() override
    {
        if (EngineGetInstance()) {
            EngineGetInstance()->currentWorld = nullptr;
        }
        if (world_) {
            WorldDestroy(world_);
        }
        RendererFixture::TearDown();
    }

    /// A world of one sector holding a floor quad (normals up, one texture
    /// set), made current; `extraFormat` is added to the world's flags.
    WorldSector* OneSector(uint32_t extraFormat)
    {
        Material* material = MaterialCreate();
        WorldSoup soup;
        soup.format = kGeometryNormals | kGeometryTextured;
        soup.positions = {{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}};
        soup.normals.assign(4, {0, 1, 0});
        soup.uv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        soup.triangles = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}};
        soup.materials = {material};
        world_ = WorldBuild(soup, WorldBuildLimits{});
        MaterialRelease(material);
        EXPECT_NE(world_, nullptr);
        if (!world_) {
            return nullptr;
        }
        world_->format |= extraFormat;
        EngineGetInstance()->currentWorld = world_;
        WorldSector* sector = nullptr;
        WorldForAllSectors(
            world_,
            [](WorldSector* s, void* data) {
                *static_cast<WorldSector**>(data) = s;
                return s;
            },
            &sector);
        return sector;
    }

    World* world_ = nullptr;
};

bool HasElement(const std::vector<D3DVERTEXELEMENT9>& elements, BYTE usage, BYTE index, BYTE type)
{
    return std::any_of(elements.begin(), elements.end(), [&](const D3DVERTEXELEMENT9& e) {
        return e.Usage == usage && e.UsageIndex == index && e.Type == type;
    });
}

TEST_F(SectorInstancing, FormatFlagsChooseTheTextureSets)
{
    struct Case
    {
        uint32_t extra;
        bool secondSet;
    };
    for (const Case& c : {Case{0, false}, Case{kGeometryTextured2, true}}) {
        SCOPED_TRACE(c.extra);
        WorldSector* sector = OneSector(c.extra);
        ASSERT_NE(sector, nullptr);
        ASSERT_NE(WorldSectorRenderDefault(sector), nullptr);
        ASSERT_NE(sector->instanced, nullptr);
        const std::vector<D3DVERTEXELEMENT9> elements = Elements(InstancedDataFromEntry(sector->instanced));
        EXPECT_TRUE(HasElement(elements, D3DDECLUSAGE_TEXCOORD, 0, D3DDECLTYPE_FLOAT2));
        EXPECT_EQ(HasElement(elements, D3DDECLUSAGE_TEXCOORD, 1, D3DDECLTYPE_FLOAT2), c.secondSet);
        EngineGetInstance()->currentWorld = nullptr;
        WorldDestroy(world_);
        world_ = nullptr;
    }
}

TEST_F(SectorInstancing, PackedNormalsBecomeDec3nAndTheSectorIsDrawnUntransformed)
{
    WorldSector* sector = OneSector(0);
    ASSERT_NE(sector, nullptr);
    for (int v = 0; v < sector->numVertices; ++v) {
        sector->normals[v] = {127, 0, -128, 0};
    }
    const D3DMATRIX moved = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1};
    D3D9SetTransform(D3DTS_WORLD, &moved);
    D3D9SetRenderState(D3DRS_NORMALIZENORMALS, 1);
    ASSERT_NE(WorldSectorRenderDefault(sector), nullptr);
    ASSERT_EQ(gRenders.size(), 1u);
    EXPECT_EQ(gRenders[0].type, kInstancedWorldSector);

    InstancedData* data = InstancedDataFromEntry(sector->instanced);
    const std::vector<D3DVERTEXELEMENT9> elements = Elements(data);
    const auto normal = std::find_if(elements.begin(), elements.end(), [](const D3DVERTEXELEMENT9& e) {
        return e.Usage == D3DDECLUSAGE_NORMAL;
    });
    ASSERT_NE(normal, elements.end());
    EXPECT_EQ(normal->Type, D3DDECLTYPE_DEC3N);
    const std::vector<uint8_t> bytes = StreamBytes(data->streams[0], data->numVertices);
    float n[3];
    VertexConvertBack3(normal->Type, n, bytes.data() + normal->Offset);
    EXPECT_NEAR(n[0], 127.0f / 128.0f, 1.0f / 511.0f);
    EXPECT_NEAR(n[1], 0.0f, 1.0f / 511.0f);
    EXPECT_NEAR(n[2], -1.0f, 1.0f / 511.0f);

    D3DMATRIX world{};
    D3D9GetTransform(D3DTS_WORLD, &world);
    EXPECT_EQ(world.m[3][0], 0.0f);
    EXPECT_EQ(world.m[3][2], 0.0f);
    EXPECT_EQ(world.m[0][0], 1.0f);
    uint32_t normalize = 7;
    D3D9GetRenderState(D3DRS_NORMALIZENORMALS, &normalize);
    EXPECT_EQ(normalize, 0u);
}

TEST_F(SectorInstancing, SectorWithoutVerticesOrMeshesIsSkippedWithSuccess)
{
    WorldSector* sector = OneSector(0);
    ASSERT_NE(sector, nullptr);
    struct Case
    {
        const char* name;
        std::function<void(WorldSector*)> empty;
    };
    const Case cases[] = {
        {"no vertices", [](WorldSector* s) { s->numVertices = 0; }},
        {"no mesh header", [](WorldSector* s) { s->mesh = nullptr; }},
        {"no meshes", [](WorldSector* s) { s->mesh->numMeshes = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint16_t vertices = sector->numVertices;
        MeshHeader* mesh = sector->mesh;
        const uint16_t meshes = mesh->numMeshes;
        c.empty(sector);
        EXPECT_EQ(WorldSectorRenderDefault(sector), sector);
        EXPECT_EQ(sector->instanced, nullptr);
        EXPECT_TRUE(gRenders.empty());
        sector->numVertices = vertices;
        sector->mesh = mesh;
        mesh->numMeshes = meshes;
    }
    ASSERT_EQ(WorldSectorRenderDefault(sector), sector);
    EXPECT_EQ(gRenders.size(), 1u) << "drawn once whole again";
}

TEST_F(SectorInstancing, InstancingOnlyWorldBuildsDataWithoutDrawing)
{
    WorldSector* sector = OneSector(kGeometryNativeInstance);
    ASSERT_NE(sector, nullptr);
    ASSERT_NE(WorldSectorRenderDefault(sector), nullptr);
    EXPECT_NE(sector->instanced, nullptr);
    EXPECT_TRUE(gRenders.empty());
}

} // namespace
