// Mesh headers, the mesh payload and the mesh builders over generated shapes.
#include <cstring>

#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/meshbuild.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/tests/scenetesting.h"
#include "tools/scenebuild/meshcheck.h"
#include "tools/scenebuild/meshshapes.h"

namespace {

class SceneMesh : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
        for (Material*& m : materials_) {
            m = MaterialCreate();
            MaterialListAppendMaterial(&list_, m);
        }
        materials_[2]->colour.alpha = 128;
        owner_.object.type = kObjectTypeGeometry;
        owner_.numVertices = 10;
    }
    void TearDown() override
    {
        ReleaseMaterials();
        SceneFixture::TearDown();
    }
    void ReleaseMaterials()
    {
        for (Material*& m : materials_) {
            if (m) {
                MaterialRelease(m);
                m = nullptr;
            }
        }
        MaterialListDeinitialize(&list_);
    }

    /// A header of three meshes with 6, 0 and 3 indices on materials 0, 1, none.
    MeshHeader* ThreeMeshes()
    {
        MeshHeader* header = MeshHeaderAlloc(MeshHeaderBlockSize(3, 9));
        *header = {kMeshTriangleList, 3, MeshHeaderNextSerial(), 9, 0};
        Mesh* meshes = MeshHeaderGetMeshes(header);
        auto* indices = reinterpret_cast<uint16_t*>(meshes + 3);
        const uint16_t values[9] = {0, 1, 2, 2, 1, 3, 7, 8, 9};
        std::memcpy(indices, values, sizeof(values));
        meshes[0] = {indices, 6, materials_[0]};
        meshes[1] = {indices + 6, 0, materials_[1]};
        meshes[2] = {indices + 6, 3, nullptr};
        return header;
    }

    Bytes Write(const MeshHeader* header)
    {
        return WriteBytes(
            [&](Stream* stream) { return MeshStreamWrite(header, &owner_, stream, &list_) != nullptr; });
    }
    MeshHeader* Read(const Bytes& bytes)
    {
        return ReadBytes<MeshHeader*>(bytes, [&](Stream* stream) {
            return MeshStreamRead(stream, &owner_, &list_, owner_.numVertices);
        });
    }

    Material* materials_[3] = {};
    MaterialList list_{};
    Geometry owner_{};
};

TEST_F(SceneMesh, PayloadRoundTripWithANewSerial)
{
    MeshHeader* header = ThreeMeshes();
    EXPECT_EQ(MeshStreamSize(header, &owner_), 12u + 24 + 36);
    Bytes bytes = Write(header);
    ASSERT_EQ(bytes.size(), 12u + 24 + 36);
    EXPECT_EQ(GetU32(bytes, 12 + 8 + 24 + 8 + 4), kMeshNoMaterial);
    MeshHeader* read = Read(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_NE(read->serial, header->serial);
    ASSERT_EQ(read->numMeshes, 3);
    const Mesh* meshes = MeshHeaderGetMeshes(read);
    EXPECT_EQ(meshes[0].material, materials_[0]);
    EXPECT_EQ(meshes[1].numIndices, 0u);
    EXPECT_EQ(meshes[2].material, nullptr);
    EXPECT_EQ(meshes[2].indices[2], 9);
    EXPECT_EQ(meshes[0].indices[5], 3);
    MeshHeaderDestroy(read);

    owner_.format = kGeometryNative;
    EXPECT_EQ(MeshStreamSize(header, &owner_), 12u + 8 * 3);
    Bytes native = Write(header);
    EXPECT_EQ(native.size(), 12u + 8 * 3);
    read = Read(native);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(MeshHeaderGetMeshes(read)[0].numIndices, 6u);
    MeshHeaderDestroy(read);
    MeshHeaderDestroy(header);
}

TEST_F(SceneMesh, MalformedPayloadsAreRefused)
{
    MeshHeader* header = ThreeMeshes();
    const Bytes valid = Write(header);
    MeshHeaderDestroy(header);
    const int64_t baseline = CountingMemory::live;
    auto refused = [&](const Bytes& bytes, const std::string& what) {
        TakeError();
        EXPECT_EQ(Read(bytes), nullptr) << what;
        EXPECT_NE(TakeError().code, kErrorNone) << what;
        EXPECT_EQ(CountingMemory::live, baseline) << what;
    };
    for (size_t length = 0; length < valid.size(); ++length) {
        refused(Bytes(valid.begin(), valid.begin() + length), "prefix " + std::to_string(length));
    }
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"mesh counts over the total", 12, 9},
        {"total below the meshes", 8, 8},
        {"material 5 of 3", 16, 5},
        {"index at the vertex count", 20, 10},
        {"70000 meshes", 4, 70000},
        {"2^31 indices", 8, 0x80000000},
    };
    for (const Case& c : cases) {
        Bytes bytes = valid;
        PutU32(bytes, c.offset, c.value);
        refused(bytes, c.what);
    }
}

TEST_F(SceneMesh, EmptyHeaderAndSerials)
{
    MeshHeader* empty = MeshHeaderGetEmpty();
    EXPECT_EQ(empty->numMeshes, 0);
    MeshHeaderDestroy(empty);
    EXPECT_EQ(MeshBuild(MeshBuildListCreate(0), 1), empty);
    EXPECT_EQ(MeshBuild(nullptr, 1), nullptr);
    uint16_t serial = MeshHeaderNextSerial();
    EXPECT_EQ(MeshHeaderNextSerial(), uint16_t(serial + 1));
    ReleaseMaterials();
    ASSERT_TRUE(EngineStop() && EngineStart());
    EXPECT_EQ(MeshHeaderNextSerial(), 1);
}

MeshHeader* BuildWith(const MeshBuilderEntry& builder, MeshBuildList* list)
{
    MeshSetBuildCallBack(builder.strips, nullptr);
    MeshHeader* header = MeshBuild(list, builder.strips ? 1 : 0);
    MeshSetBuildCallBack(nullptr, nullptr);
    return header;
}

TEST_F(SceneMesh, EveryBuilderDrawsItsInputOnce)
{
    // One build first, so the build-list pool holds its block.
    MeshHeaderDestroy(MeshBuild(MeshShapeBuildList(MeshShapeFan(1), materials_), 1));
    for (const MeshShape& shape : MeshShapesStandard()) {
        for (const MeshBuilderEntry& builder : kMeshBuilders) {
            const int64_t baseline = CountingMemory::live;
            MeshHeader* header = BuildWith(builder, MeshShapeBuildList(shape, materials_));
            ASSERT_NE(header, nullptr) << builder.name << " " << shape.name;
            EXPECT_EQ(MeshCheckHeader(header, shape, materials_, builder.keepsWinding), "")
                << builder.name << " " << shape.name;
            MeshHeaderDestroy(header);
            EXPECT_EQ(CountingMemory::live, baseline) << builder.name << " " << shape.name;
        }
    }
}

TEST_F(SceneMesh, SmallStrips)
{
    MeshShape single{"single", {{{0, 1, 2}, 0}}};
    MeshShape pair{"pair", {{{0, 1, 2}, 0}, {{2, 1, 3}, 0}}};
    MeshShape samePair{"same winding", {{{0, 1, 2}, 0}, {{1, 2, 3}, 0}}};
    struct Case
    {
        const MeshShape* shape;
        uint32_t indices;
    } cases[] = {{&single, 3}, {&pair, 4}};
    for (const Case& c : cases) {
        MeshHeader* header = MeshBuild(MeshShapeBuildList(*c.shape, materials_), 1);
        ASSERT_NE(header, nullptr);
        EXPECT_EQ(header->numMeshes, 1);
        EXPECT_EQ(header->totalIndices, c.indices) << c.shape->name;
        MeshHeaderDestroy(header);
    }
    // Equally wound neighbours share no edge: two strips joined by a bridge.
    MeshHeader* header = MeshBuild(MeshShapeBuildList(samePair, materials_), 1);
    EXPECT_EQ(MeshCheckHeader(header, samePair, materials_, true), "");
    EXPECT_GT(header->totalIndices, 4u);
    MeshHeaderDestroy(header);
}

TEST_F(SceneMesh, MaterialAtSeveralIndicesSortsAsOne)
{
    // List [A, B, A]: triangles on index 0 and 2 share one mesh.
    MeshBuildList* list = MeshBuildListCreate(0);
    const uint16_t indexOf[] = {0, 1, 2, 0, 2, 1};
    Material* materialOf[] = {materials_[0], materials_[1], materials_[0]};
    for (uint16_t i = 0; i < 6; ++i) {
        uint16_t index = indexOf[i];
        ASSERT_NE(MeshBuildListAddTriangle(list, materialOf[index], uint16_t(3 * i), uint16_t(3 * i + 1),
                                           uint16_t(3 * i + 2), index, 0, 0, 0),
                  nullptr);
    }
    MeshHeader* header = MeshBuildLists(list);
    MeshBuildListDestroy(list);
    ASSERT_NE(header, nullptr);
    ASSERT_EQ(header->numMeshes, 2);
    const Mesh* meshes = MeshHeaderGetMeshes(header);
    EXPECT_EQ(meshes[0].material, materials_[0]);
    EXPECT_EQ(meshes[0].numIndices, 12u);
    // Build order kept within the material.
    EXPECT_EQ(meshes[0].indices[0], 0);
    EXPECT_EQ(meshes[0].indices[3], 6);
    MeshHeaderDestroy(header);
}

TEST_F(SceneMesh, OneStripPerTriangle)
{
    MeshShape fan = MeshShapeFan(5);
    MeshBuildList* list = MeshShapeBuildList(fan, materials_);
    MeshHeader* header = MeshBuildOneStripPerTriangle(list, nullptr);
    MeshBuildListDestroy(list);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->flags, kMeshTriangleStrip);
    EXPECT_EQ(header->numMeshes, 5);
    EXPECT_EQ(header->totalIndices, 15u);
    EXPECT_EQ(MeshHeaderGetMeshes(header)[4].indices[2], 6);
    MeshHeaderDestroy(header);
}

} // namespace
