// Native data: a pre-instanced geometry written and read back gives the same
// declaration, indices, vertex bytes and materials; every malformed record is
// refused with the entry destroyed and no device object left behind.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/core/tests/chunktesting.h"
#include "graphics/d3d9/renderer/nativedata.h"
#include "graphics/d3d9/renderer/tests/renderertesting.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "tools/scenebuild/modelbuild.h"

namespace {

using NativeData = RendererFixture;

// Offsets in the written bytes: chunk header 12, platform, S, then the record.
constexpr size_t kPlatform = 12, kRecordSize = 16, kRecord = 20;
constexpr size_t kMeshCount = kRecord + 4, kPrimType = kRecord + 12, kIndexCount = kRecord + 56;
constexpr size_t kVertexCount = kRecord + 60, kMeshes = kRecord + 64;

struct Written
{
    Geometry* source;
    Bytes bytes;
    uint32_t meshes;
};

// The pre-lit quad with two materials, pre-instanced and written.
Written WriteNative(RendererFixture& fixture)
{
    Geometry* geometry = ModelBuildPreLit();
    Atomic* atomic = fixture.AtomicOf(geometry);
    GeometryRelease(geometry);
    EXPECT_EQ(AtomicInstance(atomic), 1);
    EXPECT_NE(geometry->format & kGeometryNative, 0u);
    Bytes bytes = WriteBytes([&](Stream* s) { return GeometryNativeStreamWrite(s, geometry) != nullptr; });
    EXPECT_EQ(bytes.size(), GeometryNativeStreamSize(geometry));
    return {geometry, bytes, geometry->mesh->numMeshes};
}

// A native geometry with the source's material list, read from `bytes`.
Geometry* ReadNative(const Geometry* source, const Bytes& bytes, bool* ok)
{
    Geometry* target = GeometryCreate(source->numVertices, source->numTriangles, source->format);
    for (int32_t i = 0; i < source->materials.count; ++i) {
        MaterialListAppendMaterial(&target->materials, source->materials.materials[i]);
    }
    *ok = ReadBytes<bool>(bytes, [&](Stream* s) { return GeometryNativeStreamRead(s, target) != nullptr; });
    return target;
}

std::vector<uint8_t> Vertices(InstancedData* data, uint32_t s)
{
    void* memory = nullptr;
    const InstancedStream& stream = data->streams[s];
    stream.buffer->Lock(stream.offset, data->numVertices * stream.stride, &memory, D3DLOCK_READONLY);
    std::vector<uint8_t> out(static_cast<uint8_t*>(memory),
                             static_cast<uint8_t*>(memory) + data->numVertices * stream.stride);
    stream.buffer->Unlock();
    return out;
}

TEST_F(NativeData, RoundTripGivesTheSameElementsIndicesBytesAndMaterials)
{
    const Written written = WriteNative(*this);
    ASSERT_FALSE(written.bytes.empty());
    EXPECT_EQ(GetU32(written.bytes, kPlatform), kNativePlatformD3D9);
    EXPECT_EQ(GetU32(written.bytes, kRecordSize), 64 + 36 * written.meshes);
    EXPECT_EQ(GetU32(written.bytes, kRecord + 8), 0u) << "pointer fields are written as 0";

    bool ok = false;
    Geometry* target = ReadNative(written.source, written.bytes, &ok);
    ASSERT_TRUE(ok);
    ASSERT_NE(target->instanced, nullptr);
    InstancedData* a = InstancedDataFromEntry(written.source->instanced);
    InstancedData* b = InstancedDataFromEntry(target->instanced);
    const std::vector<D3DVERTEXELEMENT9> ea = Elements(a), eb = Elements(b);
    ASSERT_EQ(ea.size(), eb.size());
    EXPECT_EQ(std::memcmp(ea.data(), eb.data(), ea.size() * sizeof(D3DVERTEXELEMENT9)), 0);
    EXPECT_EQ(Indices(a), Indices(b));
    EXPECT_EQ(a->numMeshes, b->numMeshes);
    for (uint32_t s = 0; s < 2; ++s) {
        ASSERT_EQ(a->streams[s].buffer != nullptr, b->streams[s].buffer != nullptr);
        if (a->streams[s].buffer) {
            EXPECT_EQ(Vertices(a, s), Vertices(b, s));
            EXPECT_EQ(b->streams[s].elementMask, a->streams[s].elementMask);
        }
    }
    for (uint32_t i = 0; i < a->numMeshes; ++i) {
        const InstancedMesh& ma = InstancedDataMeshes(a)[i];
        const InstancedMesh& mb = InstancedDataMeshes(b)[i];
        EXPECT_EQ(mb.material, ma.material) << "the list's own material";
        EXPECT_EQ(mb.numIndices, ma.numIndices);
        EXPECT_EQ(mb.startIndex, ma.startIndex);
        EXPECT_EQ(mb.baseVertexIndex, b->streams[0].offset / b->streams[0].stride + mb.minVertex);
    }
    GeometryRelease(target);
}

TEST_F(NativeData, NonNativeGeometryHasNoNativeData)
{
    Geometry* geometry = ModelBuildPreLit();
    EXPECT_EQ(GeometryNativeStreamSize(geometry), 0u);
    const Bytes bytes =
        WriteBytes([&](Stream* s) { return GeometryNativeStreamWrite(s, geometry) != nullptr; });
    EXPECT_TRUE(bytes.empty() || bytes.size() == 0);
    GeometryRelease(geometry);
}

// Each damaged copy is refused, leaving no entry (the fixture checks that no
// device object outlives the engine).
TEST_F(NativeData, DamagedRecordsAreRefused)
{
    const Written written = WriteNative(*this);
    ASSERT_FALSE(written.bytes.empty());
    const uint32_t elementsAt = uint32_t(kMeshes + 36 * written.meshes);
    const uint32_t elementCount = GetU32(written.bytes, elementsAt);
    const uint32_t indicesAt = elementsAt + 4 + 8 * elementCount;
    const uint32_t indexCount = GetU32(written.bytes, kIndexCount);
    const uint32_t streamAt = indicesAt + 2 * indexCount;
    struct Case
    {
        const char* what;
        std::function<void(Bytes&)> damage;
    };
    const Case cases[] = {
        {"platform 8", [](Bytes& b) { PutU32(b, kPlatform, 8); }},
        {"S not 64 + 36 x meshes", [](Bytes& b) { PutU32(b, kRecordSize, GetU32(b, kRecordSize) + 4); }},
        {"mesh count against S", [](Bytes& b) { PutU32(b, kMeshCount, GetU32(b, kMeshCount) + 1); }},
        {"primitive type 9", [](Bytes& b) { PutU32(b, kPrimType, 9); }},
        {"no element", [=](Bytes& b) { PutU32(b, elementsAt, 0); }},
        {"65 elements", [=](Bytes& b) { PutU32(b, elementsAt, 65); }},
        {"end element missing", [=](Bytes& b) { b[elementsAt + 4 + 8 * (elementCount - 1)] = 0; }},
        {"element type 17 early", [=](Bytes& b) { b[elementsAt + 4 + 4] = 17; }},
        {"element type 15", [=](Bytes& b) { b[elementsAt + 4 + 4] = 15; }},
        {"index at the vertex count", [=](Bytes& b) { PutU32(b, indicesAt, 0xFFFF); }},
        {"stride other than declared",
         [=](Bytes& b) { PutU32(b, streamAt + 8, GetU32(b, streamAt + 8) + 4); }},
        {"vertex count beyond the chunk",
         [](Bytes& b) { PutU32(b, kVertexCount, GetU32(b, kVertexCount) + 100); }},
        {"material beyond the list", [](Bytes& b) { PutU32(b, kMeshes + 8, 7); }},
        {"mesh beyond the indices", [=](Bytes& b) { PutU32(b, kMeshes, indexCount + 3); }},
    };
    for (const Case& c : cases) {
        Bytes damaged = written.bytes;
        c.damage(damaged);
        bool ok = true;
        Geometry* target = ReadNative(written.source, damaged, &ok);
        EXPECT_FALSE(ok) << c.what;
        EXPECT_EQ(target->instanced, nullptr) << c.what;
        GeometryRelease(target);
        TakeError();
    }
}

TEST_F(NativeData, EveryPrefixIsRefused)
{
    const Written written = WriteNative(*this);
    ASSERT_FALSE(written.bytes.empty());
    for (size_t length = 0; length < written.bytes.size(); ++length) {
        const Bytes prefix(written.bytes.begin(), written.bytes.begin() + length);
        bool ok = true;
        Geometry* target = ReadNative(written.source, prefix, &ok);
        EXPECT_FALSE(ok) << length;
        EXPECT_EQ(target->instanced, nullptr) << length;
        GeometryRelease(target);
        TakeError();
    }
}

TEST_F(NativeData, PreInstancedGeometryIsSavedWithoutArraysAndReadsBackNative)
{
    Geometry* geometry = ModelBuildPreLit();
    Atomic* atomic = AtomicOf(geometry);
    GeometryRelease(geometry);
    ASSERT_EQ(AtomicInstance(atomic), 1);
    ASSERT_NE(geometry->morphTargets[0].vertices, nullptr) << "the arrays stay in memory";
    const Bytes bytes = WriteBytes([&](Stream* s) { return GeometryStreamWrite(geometry, s) != nullptr; });
    ASSERT_EQ(bytes.size(), 12 + GeometryStreamGetSize(geometry)) << "the header and the size it announces";

    Geometry* read = ReadBytes<Geometry*>(bytes, [](Stream* s) {
        return StreamFindChunk(s, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(s) : nullptr;
    });
    ASSERT_NE(read, nullptr);
    EXPECT_NE(read->format & kGeometryNative, 0u);
    EXPECT_EQ(read->morphTargets[0].vertices, nullptr);
    ASSERT_NE(read->instanced, nullptr);
    EXPECT_EQ(InstancedDataFromEntry(read->instanced)->numVertices, uint32_t(geometry->numVertices));
    // Drawn from its native data alone.
    ASSERT_NE(AtomicDefaultRender(AtomicOf(read)), nullptr);
    ASSERT_EQ(gRenders.size(), 1u);
    EXPECT_EQ(gRenders[0].entry, read->instanced);
    GeometryRelease(read);
}

} // namespace
