// Geometries: creation limits, texture sets, morph targets, meshes on
// unlock, transformation and chunk 0x0F with its refusals.
#include <cstring>

#include "graphics/core/littleendian.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/tests/scenetesting.h"

namespace {

class SceneGeometry : public SceneFixture
{
  protected:
    void SetUp() override
    {
        SceneFixture::SetUp();
        ASSERT_TRUE(StartScene(true));
    }

    /// 4 vertices, 2 triangles on two materials, pre-lit, normals, 2 sets, 2 targets.
    Geometry* Quad()
    {
        Geometry* geometry = GeometryCreate(4, 2, kGeometryPreLit | kGeometryNormals | kGeometryTextured2);
        GeometryAddMorphTarget(geometry);
        Material* a = MaterialCreate();
        Material* b = MaterialCreate();
        b->colour = {1, 2, 3, 4};
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[0], 0, 1, 2);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[1], 2, 1, 3);
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[0], a);
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[1], b);
        MaterialRelease(a);
        MaterialRelease(b);
        for (int t = 0; t < 2; ++t) {
            MorphTarget& target = geometry->morphTargets[t];
            for (int v = 0; v < 4; ++v) {
                target.vertices[v] = {float(v & 1) + t, float(v >> 1), 0.0f};
                target.normals[v] = {0.0f, 0.0f, 1.0f};
            }
            MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
        }
        for (int v = 0; v < 4; ++v) {
            geometry->preLitColours[v] = {uint8_t(v), 20, 30, 255};
            geometry->texCoords[0][v] = {float(v), 0.5f};
            geometry->texCoords[1][v] = {0.25f, float(v)};
        }
        return GeometryUnlock(geometry);
    }

    static Bytes Write(const Geometry* geometry)
    {
        return WriteBytes([&](Stream* stream) { return GeometryStreamWrite(geometry, stream) != nullptr; });
    }
    static Geometry* Read(const Bytes& bytes)
    {
        return ReadBytes<Geometry*>(bytes, [](Stream* stream) {
            return StreamFindChunk(stream, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(stream)
                                                                             : nullptr;
        });
    }
};

TEST_F(SceneGeometry, CreationLimits)
{
    TakeError();
    EXPECT_EQ(GeometryCreate(-1, 0, 0), nullptr);
    EXPECT_EQ(TakeError().code, kErrorNone);
    Geometry* largest = GeometryCreate(65535, 1, 0);
    ASSERT_NE(largest, nullptr);
    EXPECT_EQ(largest->triangles[0].material, kGeometryNoMaterial);
    EXPECT_EQ(largest->refCount, 1);
    EXPECT_EQ(largest->numMorphTargets, 1);
    GeometryRelease(largest);
    EXPECT_EQ(GeometryCreate(65536, 1, 0), nullptr);
    ErrorRecord error = TakeError();
    EXPECT_EQ(error.pluginId, kPluginIdScene);
    EXPECT_EQ(error.code, kErrorSceneTooManyVertices);
}

TEST_F(SceneGeometry, TextureSetsFromTheFormatWord)
{
    struct Case
    {
        uint32_t format;
        int32_t sets;
        uint32_t flags;
    } cases[] = {{0x80, 2, kGeometryTextured2},
                 {0x00030004, 3, kGeometryTextured2},
                 {0x04, 1, kGeometryTextured},
                 {0, 0, 0},
                 {0x00080000, 8, kGeometryTextured2}};
    for (const Case& c : cases) {
        Geometry* geometry = GeometryCreate(3, 1, c.format);
        ASSERT_NE(geometry, nullptr) << std::hex << c.format;
        EXPECT_EQ(geometry->numTexCoordSets, c.sets) << std::hex << c.format;
        EXPECT_EQ(geometry->format & (kGeometryTextured | kGeometryTextured2), c.flags)
            << std::hex << c.format;
        EXPECT_EQ(geometry->format & 0x00FF0000, 0u);
        for (int s = 0; s < c.sets; ++s) {
            EXPECT_NE(geometry->texCoords[s], nullptr);
        }
        GeometryRelease(geometry);
    }
    EXPECT_EQ(GeometryCreate(3, 1, 0x00090000), nullptr);
}

TEST_F(SceneGeometry, ByteExactRoundTrip)
{
    Geometry* geometry = Quad();
    ASSERT_NE(geometry, nullptr);
    Bytes bytes = Write(geometry);
    ASSERT_EQ(bytes.size(), 12 + GeometryStreamGetSize(geometry));
    EXPECT_EQ(GetU32(bytes, 4), GeometryStreamGetSize(geometry));
    const uint32_t structSize = 16 + 4 * 4 + 8 * (2 * 4 + 2) + 2 * (24 + 2 * 12 * 4);
    EXPECT_EQ(GetU32(bytes, 16), structSize);
    EXPECT_EQ(GetU32(bytes, 24), 0x00020000u | geometry->format);
    // Triangles after the colours and both sets: (v0 << 16 | v1), (v2 << 16 | material).
    const size_t triangles = 24 + 16 + 16 + 2 * 32;
    EXPECT_EQ(GetU32(bytes, triangles), 0x00000001u);
    EXPECT_EQ(GetU32(bytes, triangles + 4), 0x00020000u);
    EXPECT_EQ(GetU32(bytes, triangles + 8), 0x00020001u);
    EXPECT_EQ(GetU32(bytes, triangles + 12), 0x00030001u);

    Geometry* read = Read(bytes);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->numMorphTargets, 2);
    EXPECT_EQ(read->morphTargets[1].vertices[3].x, 2.0f);
    EXPECT_EQ(read->morphTargets[0].normals[2].z, 1.0f);
    EXPECT_EQ(read->preLitColours[3].red, 3);
    EXPECT_EQ(read->texCoords[1][2].v, 2.0f);
    EXPECT_EQ(read->materials.count, 2);
    EXPECT_EQ(GeometryTriangleGetMaterial(read, &read->triangles[1])->colour.alpha, 4);
    ASSERT_NE(read->mesh, nullptr);
    EXPECT_EQ(read->mesh->numMeshes, 2);
    EXPECT_EQ(Write(read), bytes);
    GeometryRelease(read);
    GeometryRelease(geometry);
}

TEST_F(SceneGeometry, EmptyGeometryAndSpheres)
{
    Geometry* empty = GeometryCreate(0, 0, kGeometryPreLit | kGeometryTextured);
    GeometryAddMorphTarget(empty);
    GeometryUnlock(empty);
    Bytes bytes = Write(empty);
    EXPECT_EQ(GetU32(bytes, 16), 16u + 24 * 2);
    EXPECT_EQ(empty->mesh, MeshHeaderGetEmpty());
    GeometryRelease(empty);

    Geometry* pair = GeometryCreate(2, 0, 0);
    pair->morphTargets[0].vertices[0] = {0, 0, 0};
    pair->morphTargets[0].vertices[1] = {2, 0, 0};
    Sphere sphere;
    MorphTargetCalcBoundingSphere(&pair->morphTargets[0], &sphere);
    EXPECT_EQ(sphere.centre.x, 1.0f);
    EXPECT_NEAR(sphere.radius, 1.001f, 1e-6f);
    GeometryRelease(pair);

    // A space geometry keeps its radius through a transformation.
    Geometry* space = GeometryCreateSpace(5.0f);
    Matrix matrix;
    std::memset(&matrix, 0, sizeof(matrix));
    matrix.right.x = matrix.up.y = matrix.at.z = 1.0f;
    matrix.pos = {3, 0, 0};
    ASSERT_EQ(GeometryTransform(space, &matrix), space);
    EXPECT_EQ(space->morphTargets[0].boundingSphere.radius, 5.0f);
    GeometryRelease(space);
}

TEST_F(SceneGeometry, UnlockBuildsOnceAndTriangleLocksRebuild)
{
    Geometry* geometry = Quad();
    MeshHeader* first = geometry->mesh;
    const uint16_t serial = first->serial;
    EXPECT_EQ(GeometryUnlock(geometry)->mesh, first);
    GeometryLock(geometry, kGeometryLockVertices);
    EXPECT_EQ(GeometryUnlock(geometry)->mesh, first);
    GeometryLock(geometry, kGeometryLockTriangles);
    EXPECT_EQ(geometry->mesh, nullptr);
    GeometryUnlock(geometry);
    ASSERT_NE(geometry->mesh, nullptr);
    EXPECT_NE(geometry->mesh->serial, serial);
    GeometryRelease(geometry);
}

TEST_F(SceneGeometry, TrianglesOfNoMaterialFormTheirOwnMesh)
{
    Geometry* geometry = GeometryCreate(6, 3, 0);
    Material* material = MaterialCreate();
    for (int t = 0; t < 3; ++t) {
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], uint16_t(2 * t),
                                         uint16_t(2 * t + 1), uint16_t((2 * t + 2) % 6));
    }
    GeometryTriangleSetMaterial(geometry, &geometry->triangles[1], material);
    MaterialRelease(material);
    ASSERT_NE(GeometryUnlock(geometry), nullptr);
    ASSERT_EQ(geometry->mesh->numMeshes, 2);
    const Mesh* meshes = MeshHeaderGetMeshes(geometry->mesh);
    EXPECT_EQ(meshes[0].material == nullptr ? meshes[0].numIndices : meshes[1].numIndices, 6u);
    EXPECT_EQ(GeometryTriangleGetMaterial(geometry, &geometry->triangles[0]), nullptr);
    GeometryRelease(geometry);
}

TEST_F(SceneGeometry, TransformRefusesNativeAndKeepsTheReference)
{
    Geometry* native = GeometryCreate(3, 1, kGeometryNative);
    ASSERT_NE(native, nullptr);
    EXPECT_EQ(native->triangles, nullptr);
    Matrix matrix;
    std::memset(&matrix, 0, sizeof(matrix));
    matrix.right.x = matrix.up.y = matrix.at.z = 1.0f;
    EXPECT_EQ(GeometryTransform(native, &matrix), nullptr);
    EXPECT_EQ(native->refCount, 1);
    GeometryRelease(native);
}

class SceneGeometryRefused : public SceneGeometry
{
  protected:
    void ExpectRefused(const Bytes& bytes, const std::string& what)
    {
        const int64_t baseline = CountingMemory::live;
        TakeError();
        EXPECT_EQ(Read(bytes), nullptr) << what;
        EXPECT_NE(TakeError().code, kErrorNone) << what;
        EXPECT_EQ(CountingMemory::live, baseline) << what;
    }
};

TEST_F(SceneGeometryRefused, EveryPrefixAndCorruption)
{
    Geometry* geometry = Quad();
    const Bytes valid = Write(geometry);
    GeometryRelease(geometry);
    Geometry* warm = Read(valid);
    ASSERT_NE(warm, nullptr);
    GeometryRelease(warm);
    for (size_t length = 0; length < valid.size(); length += 3) {
        ExpectRefused(Bytes(valid.begin(), valid.begin() + length), "prefix " + std::to_string(length));
    }
    const size_t triangles = 24 + 16 + 16 + 2 * 32;
    struct Case
    {
        const char* what;
        size_t offset;
        uint32_t value;
    } cases[] = {
        {"set count 9", 24, 0x00090000 | kGeometryPreLit | kGeometryNormals | kGeometryTextured2},
        {"vertex count 70000", 32, 70000},
        {"negative triangle count", 28, uint32_t(-1)},
        {"triangle count 2^28", 28, 1u << 28},
        {"morph targets 2^31", 36, 0x80000000},
        {"vertex index 4 of 4", triangles, 0x00040001},
        {"material index 5 of 2", triangles + 4, 0x00020005},
    };
    for (const Case& c : cases) {
        Bytes bytes = valid;
        PutU32(bytes, c.offset, c.value);
        ExpectRefused(bytes, c.what);
    }

    // Coordinates, positions, normals and bounding spheres are finite numbers: any
    // that is not refuses the geometry, and the refusal names its offset. The quad's
    // arrays follow the struct (24..40): colours, two coordinate sets, triangles,
    // then per target a sphere, two flags, positions and normals.
    struct Field
    {
        const char* what;
        size_t offset;
        float stored;
    } fields[] = {
        {"second set's v of vertex 0", 60, 0.5f},
        {"first target's sphere radius", 148, -1.0f},
        {"x of vertex 1", 172, 1.0f},
        {"z of the first normal", 216, 1.0f},
        {"second target's sphere centre x", 256, -1.0f},
        {"second target's vertex 0", 280, 1.0f},
    };
    for (const Field& f : fields) {
        if (f.stored >= 0.0f) {
            ASSERT_EQ(GetF32(valid, f.offset), f.stored) << f.what;
        }
        for (uint32_t bits : kNotFiniteBits) {
            Bytes bytes = valid;
            PutU32(bytes, f.offset, bits);
            ExpectRefused(bytes, f.what);
            EXPECT_EQ(TakeRefusedOffset(), int64_t(f.offset)) << f.what;
        }
    }

    // Morph targets whose heads fit the struct but whose vertices cannot are
    // refused before their arrays are allocated.
    Bytes many = valid;
    const uint32_t room = LittleEndianGetU32(&many[16]) - 16;
    PutU32(many, 32, 60000);
    PutU32(many, 36, room / 24);
    CountingMemory::largest = 0;
    ExpectRefused(many, "targets without room for their vertices");
    EXPECT_LT(CountingMemory::largest, size_t{60000 * 12});
}

} // namespace
