// Atomic instancing on the software device: declarations and stream layout
// read back with GetDeclaration and by locking the buffers, shared and
// per-atomic entries, reinstancing locks, strips against lists, normal
// renormalisation, the instancing-only pass and the device-restore list.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "graphics/core/frame.h"
#include "graphics/core/pipeline.h"
#include "graphics/d3d9/d3d9cache.h"
#include "graphics/d3d9/renderer/scenerenderer.h"
#include "graphics/d3d9/renderer/tests/renderertesting.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/mesh.h"

namespace {

using Instancing = RendererFixture;

bool SameElement(const D3DVERTEXELEMENT9& e, WORD stream, WORD offset, BYTE type, BYTE usage, BYTE index)
{
    return e.Stream == stream && e.Offset == offset && e.Type == type && e.Method == 0 && e.Usage == usage &&
           e.UsageIndex == index;
}

TEST_F(Instancing, QuadGivesOneManagedStreamEqualToTheConverters)
{
    Geometry* geometry = Quad();
    Atomic* atomic = AtomicOf(geometry);
    GeometryRelease(geometry);
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    ASSERT_NE(geometry->instanced, nullptr);
    ASSERT_EQ(gRenders.size(), 1u);
    EXPECT_EQ(gRenders[0].entry, geometry->instanced);
    InstancedData* data = InstancedDataFromEntry(geometry->instanced);

    const std::vector<D3DVERTEXELEMENT9> elements = Elements(data);
    ASSERT_EQ(elements.size(), 4u);
    EXPECT_TRUE(SameElement(elements[0], 0, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0));
    EXPECT_TRUE(SameElement(elements[1], 0, 12, D3DDECLTYPE_DEC3N, D3DDECLUSAGE_NORMAL, 0));
    EXPECT_TRUE(SameElement(elements[2], 0, 16, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0));
    EXPECT_EQ(elements[3].Stream, 0xFF);
    EXPECT_EQ(elements[3].Type, D3DDECLTYPE_UNUSED);
    EXPECT_EQ(data->streams[0].stride, 24u);
    EXPECT_EQ(data->streams[0].managed, 1);
    EXPECT_EQ(data->streams[1].buffer, nullptr);
    EXPECT_EQ(data->numVertices, 4u);
    EXPECT_EQ(data->primType, uint32_t(D3DPT_TRIANGLELIST));

    std::vector<uint8_t> expected(4 * 24, 0);
    VertexConvert3(D3DDECLTYPE_FLOAT3, expected.data(), &geometry->morphTargets[0].vertices->x, 4, 24);
    VertexConvert3(D3DDECLTYPE_DEC3N, expected.data() + 12, &geometry->morphTargets[0].normals->x, 4, 24);
    VertexConvert2(D3DDECLTYPE_FLOAT2, expected.data() + 16, &geometry->texCoords[0]->u, 4, 24);
    EXPECT_EQ(StreamBytes(data->streams[0], 4), expected);

    // Each triangle's indices sorted, triangles in order of their sorted indices.
    const std::vector<uint16_t> indices = Indices(data);
    ASSERT_EQ(indices.size(), 6u);
    EXPECT_LE(TriangleIndexCompare(&indices[0], &indices[3]), 0);
    const InstancedMesh& mesh = InstancedDataMeshes(data)[0];
    EXPECT_EQ(mesh.baseVertexIndex, data->streams[0].offset / 24 + mesh.minVertex);
    EXPECT_EQ(mesh.numPrimitives, 2u);
}

TEST_F(Instancing, WithoutDec3nNormalsAreFloat3)
{
    VertexDeclTypesSet(0);
    Geometry* geometry = Quad();
    Atomic* atomic = AtomicOf(geometry);
    GeometryRelease(geometry);
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    const std::vector<D3DVERTEXELEMENT9> elements = Elements(InstancedDataFromEntry(geometry->instanced));
    ASSERT_EQ(elements.size(), 4u);
    EXPECT_TRUE(SameElement(elements[1], 0, 12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0));
    EXPECT_TRUE(SameElement(elements[2], 0, 24, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0));
}

TEST_F(Instancing, SingleTargetGeometrySharesOneEntryMorphingGetsOnePerAtomic)
{
    Geometry* still = Quad();
    Atomic* a = AtomicOf(still);
    Atomic* b = AtomicOf(still);
    GeometryRelease(still);
    ASSERT_NE(AtomicDefaultRender(a), nullptr);
    ASSERT_NE(AtomicDefaultRender(b), nullptr);
    ASSERT_EQ(gRenders.size(), 2u);
    EXPECT_EQ(gRenders[0].entry, gRenders[1].entry);
    EXPECT_EQ(a->instanced, nullptr);
    EXPECT_EQ(D3D9DirtyObjectCount(), 0u);

    Geometry* morphing = Quad(3);
    Atomic* c = AtomicOf(morphing);
    Atomic* d = AtomicOf(morphing);
    GeometryRelease(morphing);
    ASSERT_NE(AtomicDefaultRender(c), nullptr);
    ASSERT_NE(AtomicDefaultRender(d), nullptr);
    ASSERT_NE(c->instanced, nullptr);
    ASSERT_NE(d->instanced, nullptr);
    EXPECT_NE(c->instanced, d->instanced);
    EXPECT_EQ(morphing->instanced, nullptr);
    InstancedData* data = InstancedDataFromEntry(c->instanced);
    EXPECT_EQ(data->streams[0].managed, 0) << "positions and normals change: a dynamic stream";
    EXPECT_EQ(data->streams[0].elementMask, kInstancedPositions | kInstancedNormals);
    EXPECT_EQ(data->streams[1].managed, 1);
    EXPECT_EQ(data->streams[1].elementMask, kInstancedTexCoords0);
    EXPECT_EQ(D3D9DirtyObjectCount(), 1u) << "the geometry stands once in the restore list";

    // The interpolator halfway between targets 0 and 2: positions rise by 1.
    c->interpolator.startMorphTarget = 0;
    c->interpolator.endMorphTarget = 2;
    c->interpolator.recipTime = 1.0f;
    c->interpolator.position = 0.5f;
    c->interpolator.flags |= 1;
    ASSERT_NE(AtomicDefaultRender(c), nullptr);
    const std::vector<uint8_t> bytes = StreamBytes(data->streams[0], 4);
    float y = 0;
    std::memcpy(&y, bytes.data() + 2 * data->streams[0].stride + 4, 4);
    EXPECT_FLOAT_EQ(y, 2.0f) << "vertex 2 at y 1 lifted by half of 2";
}

TEST_F(Instancing, ReinstanceLocksOnlyTheStreamHoldingTheChangedSet)
{
    Geometry* geometry = Quad(1, kGeometryPreLit);
    D3D9GeometrySetExtension(geometry, kInstancedPreLit);
    Atomic* atomic = AtomicOf(geometry);
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    InstancedData* data = InstancedDataFromEntry(geometry->instanced);
    ASSERT_EQ(data->streams[0].elementMask, kInstancedPreLit);
    ASSERT_EQ(data->streams[0].managed, 0);
    ASSERT_EQ(data->streams[1].managed, 1);
    const std::vector<uint8_t> staticBefore = StreamBytes(data->streams[1], 4);

    // Texture coordinates change in memory but are not flagged: the static
    // stream keeps its old bytes; the colours' stream is rewritten whole.
    geometry->texCoords[0][1] = {0.9f, 0.9f};
    geometry->preLitColours[1] = {1, 2, 3, 4};
    GeometryLock(geometry, kInstancedPreLit);
    GeometryUnlock(geometry);
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    EXPECT_EQ(StreamBytes(data->streams[1], 4), staticBefore);
    const std::vector<uint8_t> colours = StreamBytes(data->streams[0], 4);
    uint32_t argb = 0;
    std::memcpy(&argb, colours.data() + data->streams[0].stride, 4);
    EXPECT_EQ(argb, 0x04010203u);
    EXPECT_EQ(InstancedDataMeshes(data)[0].vertexAlpha, 1u);
    EXPECT_EQ(geometry->lockFlags, 0);

    GeometryLock(geometry, 0x10);
    GeometryUnlock(geometry);
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    EXPECT_NE(StreamBytes(data->streams[1], 4), staticBefore) << "flagged texture coordinates are written";
    GeometryRelease(geometry);
}

TEST_F(Instancing, ScaledTransformsRenormaliseNormalsUnderLighting)
{
    // The lighting state is the test's: no lighting callback decides it.
    AllInOneNodeSetLightingCallBack(
        PipelineGetNode(PipelineGetDefaultSlots()->current[kPipelineKindAtomic], 0), nullptr);
    Geometry* geometry = Quad();
    Atomic* atomic = AtomicOf(geometry);
    GeometryRelease(geometry);
    struct Case
    {
        float scale;
        uint32_t lighting;
        uint32_t expected;
    };
    for (const Case& c : {Case{1.2f, 1, 1}, Case{1.0f, 1, 0}, Case{1.2f, 0, 0}}) {
        Frame* frame = AtomicGetFrame(atomic);
        const V3d scale = {c.scale, c.scale, c.scale};
        FrameScale(frame, &scale, 0);
        D3D9SetRenderState(D3DRS_LIGHTING, c.lighting);
        ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
        uint32_t normalize = 7;
        D3D9GetRenderState(D3DRS_NORMALIZENORMALS, &normalize);
        EXPECT_EQ(normalize, c.expected) << c.scale << " lighting " << c.lighting;
    }
}

TEST_F(Instancing, InstancingOnlyPassDrawsNothingEmptyGeometrySucceeds)
{
    Geometry* geometry = Quad();
    geometry->format |= kGeometryNativeInstance;
    ASSERT_NE(AtomicDefaultRender(AtomicOf(geometry)), nullptr);
    EXPECT_NE(geometry->instanced, nullptr);
    EXPECT_TRUE(gRenders.empty());
    geometry->format &= ~kGeometryNativeInstance;
    GeometryRelease(geometry);

    Geometry* empty = GeometryCreate(0, 0, kGeometryNormals);
    GeometryUnlock(empty);
    ASSERT_NE(AtomicDefaultRender(AtomicOf(empty)), nullptr);
    EXPECT_EQ(empty->instanced, nullptr);
    EXPECT_TRUE(gRenders.empty());
    GeometryRelease(empty);
}

TEST_F(Instancing, DeviceResetRunsThePreviousCallbackThenFlagsListedGeometriesOnly)
{
    // The renderer saved the driver's callback at open; install a watcher in
    // front of it the same way and reopen the hook.
    D3D9SetDeviceEventCallback(PreviousDeviceCallback);
    D3D9SceneRendererOpen();
    gPreviousCalls = 0;

    Geometry* listed = Quad(2);
    Geometry* other = Quad();
    ASSERT_NE(AtomicDefaultRender(AtomicOf(listed)), nullptr);
    ASSERT_NE(AtomicDefaultRender(AtomicOf(other)), nullptr);
    GeometryRelease(listed);
    GeometryRelease(other);
    ASSERT_EQ(D3D9DirtyObjectCount(), 1u);
    gWatched = listed;

    D3D9ScriptCondition(Device(), D3D9Condition::NotReset);
    ASSERT_TRUE(D3D9TestDeviceAndBeginScene());
    Device()->EndScene();
    EXPECT_EQ(gPreviousCalls, 1);
    EXPECT_EQ(gLockFlagsSeenByPrevious, 0) << "the previous callback runs first";
    EXPECT_EQ(listed->lockFlags, kGeometryLockAll);
    EXPECT_EQ(other->lockFlags, 0);
    gWatched = nullptr;
}

int32_t AcceptInstance(void*, InstancedData*, int32_t)
{
    return 1;
}

// One strip mesh over a geometry of 8 triangles: strips of up to 3 indices a
// triangle stay strips, longer ones become a sorted list sized by the
// strips' own triangles.
TEST_F(Instancing, StripsCostingMoreThanAListBecomeASortedList)
{
    Geometry* geometry = GeometryCreate(24, 8, kGeometryNormals);
    Atomic* atomic = AtomicOf(geometry);
    GeometryRelease(geometry);
    auto strip = [](std::vector<uint16_t> indices) {
        MeshHeader* header = MeshHeaderAlloc(MeshHeaderBlockSize(1, indices.size()));
        *header = {kMeshTriangleStrip, 1, 77, uint32_t(indices.size()), 0};
        Mesh* mesh = MeshHeaderGetMeshes(header);
        mesh->indices = reinterpret_cast<uint16_t*>(mesh + 1);
        mesh->numIndices = uint32_t(indices.size());
        mesh->material = nullptr;
        std::memcpy(mesh->indices, indices.data(), indices.size() * sizeof(uint16_t));
        return header;
    };
    std::vector<uint16_t> plain(10), joined;
    for (uint16_t i = 0; i < 10; ++i) {
        plain[i] = uint16_t(i + 2);
    }
    for (uint16_t t = 0; t < 8; ++t) { // a, a, b, c, c: one real triangle each
        const uint16_t a = uint16_t(23 - 3 * t), b = uint16_t(a - 1), c = uint16_t(a - 2);
        joined.insert(joined.end(), {a, a, b, c, c});
    }
    struct Case
    {
        std::vector<uint16_t> indices;
        uint32_t primType, total, primitives, minimum;
    };
    for (const Case& c :
         {Case{plain, D3DPT_TRIANGLESTRIP, 10, 8, 2}, Case{joined, D3DPT_TRIANGLELIST, 24, 8, 0}}) {
        MeshHeader* header = strip(c.indices);
        ResourcesEntry* slot = nullptr;
        ResourcesEntry* entry =
            InstancedDataCreate(atomic, geometry, kInstancedAtomic, &slot, header, AcceptInstance, 0);
        ASSERT_NE(entry, nullptr);
        InstancedData* data = InstancedDataFromEntry(entry);
        EXPECT_EQ(data->serial, 77u);
        EXPECT_EQ(data->primType, c.primType);
        EXPECT_EQ(data->totalIndices, c.total);
        const InstancedMesh& mesh = InstancedDataMeshes(data)[0];
        EXPECT_EQ(mesh.numPrimitives, c.primitives);
        EXPECT_EQ(mesh.minVertex, c.minimum);
        const std::vector<uint16_t> indices = Indices(data);
        if (c.primType == D3DPT_TRIANGLELIST) {
            for (size_t t = 3; t < indices.size(); t += 3) {
                EXPECT_LE(TriangleIndexCompare(&indices[t - 3], &indices[t]), 0) << "sorted at " << t;
            }
            EXPECT_EQ(*std::max_element(indices.begin(), indices.end()), 23);
        } else {
            EXPECT_EQ(indices.front(), 0) << "relative to the minimum";
        }
        ResourcesFreeEntry(entry);
        EXPECT_EQ(slot, nullptr);
        MeshHeaderDestroy(header);
    }
}

TEST(InstancedIndices, StripsTurnIntoSortedListsAndRangesCountFromTheMinimum)
{
    const uint16_t strip[] = {5, 6, 7, 8, 8, 9, 10, 11};
    uint16_t list[18];
    EXPECT_EQ(TriStripCountTriangles(strip, 8), 4u);
    ASSERT_EQ(TriStripToTriList(list, strip, 8, 5), 12u);
    EXPECT_EQ(std::vector<uint16_t>(list, list + 12),
              (std::vector<uint16_t>{0, 1, 2, 3, 2, 1, 3, 4, 5, 6, 5, 4}));
    EXPECT_EQ(TriStripToTriList(list, strip, 2, 0), 0u);

    uint32_t range = 9, minimum = 9;
    IndexListRange(strip, 8, &range, &minimum);
    EXPECT_EQ(minimum, 5u);
    EXPECT_EQ(range, 7u);
    IndexListRange(strip, 0, &range, &minimum);
    EXPECT_EQ(range, 0u);
    EXPECT_EQ(minimum, 0u);

    uint16_t triangles[] = {9, 4, 7, 2, 8, 1, 7, 9, 4};
    TrianglesSortByIndex(triangles, 9);
    EXPECT_EQ(std::vector<uint16_t>(triangles, triangles + 3), (std::vector<uint16_t>{2, 8, 1}));
    EXPECT_EQ(TriangleIndexCompare(triangles + 3, triangles + 6), 0) << "the same triangle in two windings";
}

TEST_F(Instancing, TangentsOfTwoMeshesFollowEachMeshsOwnVertices)
{
    // Mesh 1: a quad at z 0 with u along +x; mesh 2: a quad at z 5 with u
    // along -x, its vertices after mesh 1's; vertex 8 belongs to no triangle.
    Geometry* geometry = GeometryCreate(9, 4, kGeometryNormals | kGeometryTextured);
    ASSERT_NE(geometry, nullptr);
    const float corner[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int v = 0; v < 9; ++v) {
        const int quad = v / 4;
        const float x = corner[v % 4][0], y = corner[v % 4][1];
        geometry->morphTargets[0].vertices[v] = {x, y, quad * 5.0f};
        geometry->morphTargets[0].normals[v] = {0, 0, -1};
        geometry->texCoords[0][v] = {quad == 1 ? -x : x, y};
    }
    Material* materials[2] = {MaterialCreate(), MaterialCreate()};
    for (int quad = 0; quad < 2; ++quad) {
        const uint16_t b = uint16_t(quad * 4);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[quad * 2], b + 2, b + 1, b);
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[quad * 2 + 1], b + 3, b + 2, b);
        for (int t = 0; t < 2; ++t) {
            GeometryTriangleSetMaterial(geometry, &geometry->triangles[quad * 2 + t], materials[quad]);
        }
    }
    ASSERT_NE(GeometryUnlock(geometry), nullptr);
    D3D9GeometrySetExtension(geometry, kD3D9ExtensionTangents);
    Atomic* atomic = AtomicOf(geometry);
    GeometryRelease(geometry);
    for (Material* material : materials) {
        MaterialRelease(material);
    }
    ASSERT_NE(AtomicDefaultRender(atomic), nullptr);
    InstancedData* data = InstancedDataFromEntry(geometry->instanced);
    ASSERT_EQ(data->numMeshes, 2u);
    ASSERT_NE(InstancedDataMeshes(data)[1].minVertex, 0u) << "the second mesh starts past the first";

    const std::vector<D3DVERTEXELEMENT9> elements = Elements(data);
    const auto tangent = std::find_if(elements.begin(), elements.end(), [](const D3DVERTEXELEMENT9& e) {
        return e.Usage == D3DDECLUSAGE_TANGENT;
    });
    ASSERT_NE(tangent, elements.end());
    const InstancedStream& stream = data->streams[tangent->Stream];
    const std::vector<uint8_t> bytes = StreamBytes(stream, data->numVertices);
    for (uint32_t v = 0; v < data->numVertices; ++v) {
        float position[3], t[3];
        std::memcpy(position, bytes.data() + v * stream.stride, sizeof position);
        VertexConvertBack3(tangent->Type, t, bytes.data() + v * stream.stride + tangent->Offset);
        const float expected = position[2] == 0.0f ? 1.0f : position[2] == 5.0f ? -1.0f : 0.0f;
        EXPECT_NEAR(t[0], expected, 0.01f) << "vertex at z " << position[2];
        EXPECT_NEAR(t[1], 0.0f, 0.01f);
        EXPECT_NEAR(t[2], 0.0f, 0.01f);
    }
}

} // namespace
