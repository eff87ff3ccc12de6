// Volume records of every kind: measured as written, read back with the
// same answers to queries, and refused cleanly when cut short or unknown.
#include <cmath>

#include "graphics/core/chunk.h"
#include "physics/core/context/volumetype.h"
#include "physics/core/serial/serialvolume.h"
#include "physics/core/serial/tests/serialtesting.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/triangle.h"
#include "physics/core/volume/trilist.h"
#include "physics/qhull/qhullbuild.h"

namespace {

constexpr uint32_t kCustomTypeId = 77;

// A custom type: a sphere that keeps its radius in a stream of its own.
int32_t CustomWrite(const OlpVolume* volume, Stream* stream)
{
    const float radius = volume->margin;
    return stream == nullptr || StreamWriteReal(stream, &radius, 4) != nullptr ? 4 : 0;
}

OlpVolume* CustomRead(OlpVolume* volume, Stream* stream)
{
    float radius = 0.0f;
    return StreamReadReal(stream, &radius, 4) != nullptr ? OlpVolumeSetMargin(volume, radius) : nullptr;
}

const OlpVolumeDescriptor* CustomDescriptor()
{
    static OlpVolumeDescriptor descriptor = [] {
        OlpVolumeDescriptor d = kOlpSphereDescriptor;
        d.typeId = kCustomTypeId;
        d.streamWrite = CustomWrite;
        d.streamRead = CustomRead;
        d.name = "TestCustom";
        return d;
    }();
    return &descriptor;
}

Matrix Placed(V3d position)
{
    const float s = std::sqrt(0.5f);
    Matrix m{};
    m.right = {s, s, 0};
    m.up = {-s, s, 0};
    m.at = {0, 0, 1};
    m.pos = position;
    m.flags = kMatrixFlagsOrthonormal;
    return m;
}

OlpConvexHull* CubeHull()
{
    V3d points[8];
    for (int i = 0; i < 8; ++i) {
        points[i] = {i & 1 ? 1.0f : -1.0f, i & 2 ? 2.0f : -2.0f, i & 4 ? 0.5f : -0.5f};
    }
    return OlpQHullBuildHull(8, points, nullptr, OlpQHullDiscard());
}

OlpVolume* MakeAggregate()
{
    OlpAggChildren* list = OlpAggChildrenCreate(2);
    OlpSphereInit(OlpAggChildrenGetChild(list, 0), 0.5f);
    const Matrix left = Placed({-2, 0, 0});
    OlpVolumeSetFrame(OlpAggChildrenGetChild(list, 0), &left);
    const V3d half = {0.5f, 1.0f, 0.25f};
    OlpBoxInit(OlpAggChildrenGetChild(list, 1), &half);
    const Matrix right = Placed({2, 1, 0});
    OlpVolumeSetFrame(OlpAggChildrenGetChild(list, 1), &right);
    OlpAggChildrenUpdateBounds(list);
    OlpVolume* aggregate = OlpAggregateCreate(list);
    OlpAggChildrenRelease(list);
    return aggregate;
}

OlpVolume* MakeGrid()
{
    OlpVolume* grid = OlpGridCreate(9);
    for (uint32_t i = 0; i < 9; ++i) {
        OlpVolume* cell = OlpGridGetCell(grid, i);
        OlpSphereInit(cell, 0.4f);
        const Matrix at = Placed({float(i % 3), float(i / 3), 0.0f});
        OlpVolumeSetFrame(cell, &at);
    }
    OlpGridBuild(grid, 0.5f);
    return grid;
}

struct VolumeCase
{
    const char* name;
    std::function<OlpVolume*()> make;
    const OlpVolumeDescriptor* readAs; ///< the descriptor the record reads back with
};

std::vector<VolumeCase> Cases()
{
    return {
        {"null", [] { return OlpNullCreate(); }, &kOlpNullDescriptor},
        {"plane", [] { return OlpPlaneCreate(); }, &kOlpPlaneDescriptor},
        {"sphere", [] { return OlpSphereCreate(0.75f); }, &kOlpSphereDescriptor},
        {"capsule", [] { return OlpCapsuleCreate(0.3f, 1.25f); }, &kOlpCapsuleDescriptor},
        {"box",
         [] {
             const V3d half = {1, 2, 3};
             return OlpBoxCreate(&half);
         },
         &kOlpBoxDescriptor},
        {"cylinder", [] { return OlpCylinderCreate(0.6f, 1.5f); }, &kOlpCylinderDescriptor},
        {"convex",
         [] {
             OlpConvexHull* hull = CubeHull();
             OlpVolume* v = OlpConvexCreate(hull);
             OlpConvexHullRelease(hull);
             return v;
         },
         &kOlpConvexDescriptor},
        {"aggregate", MakeAggregate, &kOlpAggregateDescriptor},
        {"grid", MakeGrid, &kOlpGridDescriptor},
        {"triangle list", [] { return OlpTrilistCreate(nullptr, kOlpTrilistUnbounded); },
         &kOlpNullDescriptor},
        {"custom",
         [] {
             OlpVolume* v = OlpVolumeAllocate();
             OlpVolumeInit(v, CustomDescriptor());
             return OlpVolumeSetMargin(v, 0.9f);
         },
         CustomDescriptor()},
    };
}

// The same answers to the queries the narrow phase and the ray tests ask.
void ExpectSameQueries(const OlpVolume* a, const OlpVolume* b)
{
    OlpBBox boxA{}, boxB{};
    const bool hasA = OlpVolumeGetBBox(a, nullptr, 1, &boxA) != nullptr;
    ASSERT_EQ(hasA, OlpVolumeGetBBox(b, nullptr, 1, &boxB) != nullptr);
    if (hasA) {
        EXPECT_EQ(std::memcmp(&boxA.min, &boxB.min, 12), 0);
        EXPECT_EQ(std::memcmp(&boxA.max, &boxB.max, 12), 0);
    }
    const V3d starts[] = {{-10, 0.1f, 0.05f}, {0.3f, 10, 0.1f}, {2, 1, 10}, {-2, 0, -10}};
    for (const V3d& start : starts) {
        const V3d end = {-start.x * 0.1f, -start.y * 0.1f, -start.z * 0.1f};
        OlpLineResult hitA{}, hitB{};
        const int32_t gotA = OlpVolumeLineIntersect(a, nullptr, &start, &end, &hitA);
        ASSERT_EQ(gotA, OlpVolumeLineIntersect(b, nullptr, &start, &end, &hitB));
        if (gotA) {
            EXPECT_EQ(hitA.fraction, hitB.fraction);
        }
    }
}

class SerialVolumes : public SerialTest
{
  protected:
    void SetUp() override
    {
        SerialTest::SetUp();
        if (OlpVolumeTypeFind(nullptr, kCustomTypeId) != CustomDescriptor()) {
            OlpVolumeTypeRegister(nullptr, kCustomTypeId, CustomDescriptor());
        }
    }
};

} // namespace

TEST_F(SerialVolumes, EveryKindIsMeasuredAsWrittenAndReadsBackTheSame)
{
    for (const VolumeCase& item : Cases()) {
        SCOPED_TRACE(item.name);
        OlpVolume* volume = item.make();
        ASSERT_NE(volume, nullptr);
        const Matrix frame = Placed({1, 2, 3});
        OlpVolumeSetFrame(volume, &frame);
        if (volume->descriptor != &kOlpSphereDescriptor && volume->descriptor != CustomDescriptor()) {
            OlpVolumeSetMargin(volume, 0.05f);
        }
        OlpVolumeSetSlide(volume, 0.7f);
        OlpVolumeSetBounce(volume, 0.1f);
        volume->id = 0x1234;
        OlpVolumeSetTag(volume, 0x5678);
        uint32_t measured = 0;
        std::vector<uint8_t> bytes =
            WrittenItems([&](OlpSerialCtx* c) { return OlpVolumeStreamWrite(c, volume); }, &measured);
        ASSERT_GT(measured, 0u);
        EXPECT_EQ(bytes.size(), measured);

        alignas(16) OlpVolume read;
        uint32_t used = 0;
        ASSERT_TRUE(ReadItems(
            bytes, bytes.size(), [&](OlpSerialCtx* c) { return OlpVolumeStreamRead(c, &read); }, &used));
        EXPECT_EQ(used, measured);
        EXPECT_EQ(read.descriptor, item.readAs);
        EXPECT_EQ(read.margin, volume->margin);
        EXPECT_EQ(read.slide, volume->slide);
        EXPECT_EQ(read.bounce, volume->bounce);
        if (item.readAs == &kOlpAggregateDescriptor) {
            // The children keep the coefficients handed down to them.
            EXPECT_EQ(OlpAggregateGetChildren(&read)->children[1].slide, 0.7f);
        }
        EXPECT_EQ(read.id, 0x1234);
        EXPECT_EQ(read.tag, 0x5678);
        if (item.readAs != &kOlpNullDescriptor) {
            EXPECT_EQ(std::memcmp(&read.frame.right, &frame.right, 12), 0);
            EXPECT_EQ(std::memcmp(&read.frame.pos, &frame.pos, 12), 0);
            ExpectSameQueries(volume, &read);
        }
        OlpVolumeDestroyContents(&read);
        OlpVolumeDestroy(volume);
    }
}

TEST_F(SerialVolumes, ACutAnywhereFailsCleanlyAndLeavesNothingBehind)
{
    for (const VolumeCase& item : Cases()) {
        SCOPED_TRACE(item.name);
        OlpVolume* volume = item.make();
        uint32_t measured = 0;
        std::vector<uint8_t> bytes =
            WrittenItems([&](OlpSerialCtx* c) { return OlpVolumeStreamWrite(c, volume); }, &measured);
        OlpVolumeDestroy(volume);
        const int64_t live = CountingMemory::live;
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            alignas(16) OlpVolume read;
            uint32_t used = 0;
            ASSERT_FALSE(ReadItems(
                bytes, cut, [&](OlpSerialCtx* c) { return OlpVolumeStreamRead(c, &read); }, &used))
                << "cut at " << cut;
            EXPECT_LE(used, cut);
            EXPECT_EQ(read.descriptor, &kOlpNullDescriptor);
            EXPECT_NE(TakeError().code, kErrorNone);
        }
        EXPECT_EQ(CountingMemory::live, live);
    }
}

TEST_F(SerialVolumes, TypesWithoutAStreamFailInsteadOfWriting)
{
    const V3d a = {0, 0, 0}, b = {1, 0, 0}, c = {0, 1, 0};
    OlpVolume* triangle = OlpTriangleCreate(&a, &b, &c);
    uint32_t measured = 0;
    EXPECT_TRUE(
        WrittenItems([&](OlpSerialCtx* ctx) { return OlpVolumeStreamWrite(ctx, triangle); }, &measured)
            .empty());
    EXPECT_EQ(measured, 0u);
    OlpVolumeDestroy(triangle);

    // A custom id nobody registered reads as a clean failure.
    std::vector<uint8_t> bytes = WrittenItems(
        [&](OlpSerialCtx* ctx) {
            return OlpSerialPutTag(ctx, kOlpItemVolumeBody, 0) && OlpSerialWriteU32(ctx, kOlpItemCustom) &&
                   OlpSerialPutTag(ctx, kOlpItemCustom, 0) && OlpSerialWriteU32(ctx, 0xABCDEF);
        },
        &measured);
    alignas(16) OlpVolume read;
    EXPECT_FALSE(ReadItems(bytes, bytes.size(),
                           [&](OlpSerialCtx* ctx) { return OlpVolumeStreamReadBody(ctx, &read); }));
    EXPECT_EQ(read.descriptor, &kOlpNullDescriptor);
    EXPECT_EQ(TakeError().code, kErrorRead);

    // So does a body tag outside 12 to 31.
    bytes = WrittenItems(
        [&](OlpSerialCtx* ctx) {
            return OlpSerialPutTag(ctx, kOlpItemVolumeBody, 0) && OlpSerialWriteU32(ctx, 32);
        },
        &measured);
    EXPECT_FALSE(ReadItems(bytes, bytes.size(),
                           [&](OlpSerialCtx* ctx) { return OlpVolumeStreamReadBody(ctx, &read); }));
    EXPECT_EQ(TakeError().code, kErrorRead);
}

TEST_F(SerialVolumes, HullsWithIndicesOutOfRangeAreRefused)
{
    OlpConvexHull* hull = CubeHull();
    OlpVolume* convex = OlpConvexCreate(hull);
    uint32_t measured = 0;
    std::vector<uint8_t> good =
        WrittenItems([&](OlpSerialCtx* c) { return OlpVolumeStreamWrite(c, convex); }, &measured);
    // Where the hull's index arrays begin: after the record's tag, body tag,
    // kind-3 tag item, convex tag, hull tag, three counts and the floats.
    const size_t indices = 4 + 4 + 8 + 4 + 4 + 6 + 12 * (size_t(hull->vertexCount) + hull->faceCount);
    const size_t edges = indices + 2 * (size_t(hull->vertexCount) + 1 + hull->faceCount + 1);
    struct Damage
    {
        const char* name;
        size_t offset;
    };
    const Damage damages[] = {{"a vertex edge start", indices + 2},
                              {"an edge's from vertex", edges},
                              {"an edge's neighbour face", edges + 4},
                              {"a vertex's edge", edges + 8 * size_t(hull->edgeCount)}};
    const int64_t live = CountingMemory::live;
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        std::vector<uint8_t> bad = good;
        bad[damage.offset] = 0xFF;
        bad[damage.offset + 1] = 0x7F;
        alignas(16) OlpVolume read;
        EXPECT_FALSE(
            ReadItems(bad, bad.size(), [&](OlpSerialCtx* c) { return OlpVolumeStreamRead(c, &read); }));
        EXPECT_EQ(TakeError().code, kErrorRead);
    }
    EXPECT_EQ(CountingMemory::live, live);
    OlpVolumeDestroy(convex);
    OlpConvexHullRelease(hull);
}
