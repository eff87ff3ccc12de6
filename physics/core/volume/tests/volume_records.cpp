// The volume record, its descriptors and setters, parts and aggregates.
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/coefficients.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/part.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/tests/volumetesting.h"
#include "physics/core/volume/typetable.h"
#include "physics/core/volume/volumecopy.h"

#include <cstring>

namespace {

class VolumeRecords : public VolumeTest
{
};

/// One volume of each built-in type of this library, made by its create function.
std::vector<OlpVolume*> CreateOneOfEach()
{
    V3d half = {1.0f, 2.0f, 3.0f};
    OlpAggChildren* list = OlpAggChildrenCreate(2);
    OlpVolume* aggregate = OlpAggregateCreate(list);
    OlpAggChildrenRelease(list);
    return {OlpNullCreate(),
            OlpPlaneCreate(),
            OlpSphereCreate(1.0f),
            OlpCapsuleCreate(0.5f, 1.0f),
            OlpBoxCreate(&half),
            OlpCylinderCreate(1.0f, 2.0f),
            aggregate};
}

} // namespace

TEST_F(VolumeRecords, FreshVolumesHaveTheDefaults)
{
    const char* names[] = {"OlpNull", "OlpPlane",    "OlpSphere",   "OlpCapsule",
                           "OlpBox",  "OlpCylinder", "OlpAggregate"};
    std::vector<OlpVolume*> volumes = CreateOneOfEach();
    for (size_t i = 0; i < volumes.size(); ++i) {
        OlpVolume* volume = volumes[i];
        ASSERT_NE(volume, nullptr);
        EXPECT_TRUE(OlpVolumeIsValid(volume));
        EXPECT_EQ(volume->frame.flags & kMatrixFlagsAll, kMatrixFlagsAll);
        EXPECT_EQ(volume->bounce, 0.2f);
        EXPECT_EQ(volume->slide, 0.2f);
        EXPECT_EQ(volume->id, 0);
        EXPECT_EQ(volume->tag, 0);
        EXPECT_STREQ(OlpVolumeGetTypeName(volume), names[i]);
        EXPECT_EQ(OlpVolumeGetBuiltinDescriptor(volume->descriptor->typeId), volume->descriptor);
        OlpVolumeDestroy(volume);
    }
    OlpVolume* plane = OlpPlaneCreate();
    EXPECT_EQ(plane->margin, 0.0f);
    OlpVolumeDestroy(plane);
    EXPECT_STREQ(OlpVolumeGetTypeName(nullptr), "<null-pointer>");
    alignas(16) OlpVolume bare{};
    EXPECT_STREQ(OlpVolumeGetTypeName(&bare), "<null-vtable>");
    EXPECT_EQ(OlpVolumeGetBuiltinDescriptor(11), nullptr);
}

TEST_F(VolumeRecords, DescriptorTableMatchesTheTypes)
{
    struct Row
    {
        uint32_t id;
        uint8_t flags, minDim, maxDim;
        uint16_t edges, faces, points;
    } rows[] = {
        {0, 0x00, 0, 0, 0, 0, 0},    {1, 0x00, 2, 2, 0, 1, 0}, {2, 0x00, 0, 0, 0, 0, 1},
        {3, 0x00, 0, 1, 1, 0, 2},    {5, 0x00, 0, 2, 3, 3, 4}, {6, 0x30, 0, 2, 99, 99, 99},
        {8, 0x01, 0, 2, 99, 99, 99}, {4, 0x42, 0, 2, 3, 1, 3}, {7, 0x10, 0, 2, 99, 99, 99},
    };
    for (const Row& row : rows) {
        const OlpVolumeDescriptor* d = OlpVolumeGetBuiltinDescriptor(row.id);
        ASSERT_NE(d, nullptr) << row.id;
        EXPECT_EQ(d->typeId, row.id);
        EXPECT_EQ(d->flags, row.flags) << row.id;
        EXPECT_EQ(d->minFeatureDim, row.minDim) << row.id;
        EXPECT_EQ(d->maxFeatureDim, row.maxDim) << row.id;
        EXPECT_EQ(d->edgeAxisCount, row.edges) << row.id;
        EXPECT_EQ(d->faceAxisCount, row.faces) << row.id;
        EXPECT_EQ(d->maxFeaturePoints, row.points) << row.id;
        EXPECT_EQ(d->streamWrite, nullptr);
        EXPECT_EQ(d->streamRead, nullptr);
    }
}

TEST_F(VolumeRecords, ValidityAndSetters)
{
    alignas(16) unsigned char storage[sizeof(OlpVolume) + 16];
    auto* volume = reinterpret_cast<OlpVolume*>(storage);
    OlpSphereInit(volume, 1.0f);
    EXPECT_TRUE(OlpVolumeIsValid(volume));
    volume->margin = -0.1f;
    EXPECT_FALSE(OlpVolumeIsValid(volume));
    volume->margin = NAN;
    EXPECT_FALSE(OlpVolumeIsValid(volume));
    OlpVolumeSetMargin(volume, -3.0f);
    EXPECT_EQ(volume->margin, 0.0f);
    OlpVolumeSetMargin(volume, NAN);
    EXPECT_EQ(volume->margin, 0.0f);
    EXPECT_FALSE(OlpVolumeIsValid(nullptr));
    auto* misaligned = reinterpret_cast<OlpVolume*>(storage + 8);
    std::memcpy(static_cast<void*>(misaligned), volume, 8); // only the address matters
    EXPECT_FALSE(OlpVolumeIsValid(misaligned));

    OlpVolumeSetTag(volume, 7);
    EXPECT_EQ(volume->tag, 7);
    Matrix frame = Translation({1, 2, 3});
    OlpVolumeSetFrame(volume, &frame);
    ExpectNearV3(volume->frame.pos, {1, 2, 3});
    EXPECT_EQ(OlpVolumeGetTypeData(volume), volume->data);
}

TEST_F(VolumeRecords, BounceAndSlideReachOnlyTheLeavesOfNestedAggregates)
{
    OlpAggChildren* inner = OlpAggChildrenCreate(2);
    OlpSphereInit(OlpAggChildrenGetChild(inner, 0), 1.0f);
    OlpSphereInit(OlpAggChildrenGetChild(inner, 1), 1.0f);
    OlpAggChildren* outer = OlpAggChildrenCreate(2);
    OlpAggregateInit(OlpAggChildrenGetChild(outer, 0), inner);
    OlpAggChildrenRelease(inner);
    V3d half = {1, 1, 1};
    OlpBoxInit(OlpAggChildrenGetChild(outer, 1), &half);
    OlpVolume* aggregate = OlpAggregateCreate(outer);
    OlpAggChildrenRelease(outer);

    OlpVolumeSetSlide(aggregate, 0.7f);
    OlpVolumeSetBounce(aggregate, 0.9f);
    EXPECT_EQ(aggregate->slide, 0.2f);
    EXPECT_EQ(aggregate->bounce, 0.2f);
    EXPECT_EQ(OlpAggChildrenGetChild(outer, 0)->slide, 0.2f);
    EXPECT_EQ(OlpAggChildrenGetChild(outer, 1)->slide, 0.7f);
    EXPECT_EQ(OlpAggChildrenGetChild(inner, 0)->slide, 0.7f);
    EXPECT_EQ(OlpAggChildrenGetChild(inner, 1)->bounce, 0.9f);
    OlpVolumeDestroy(aggregate);
}

TEST_F(VolumeRecords, ClonesShareTheChildListByReference)
{
    OlpAggChildren* list = OlpAggChildrenCreate(3);
    EXPECT_EQ(list->flags, kOlpAggBoundsStale);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(OlpAggChildrenGetChild(list, i)->descriptor->typeId, kOlpTypeNull);
    }
    OlpVolume* aggregate = OlpAggregateCreate(list);
    EXPECT_EQ(list->refCount, 2u);
    OlpSphere sphere;
    OlpBBox box;
    EXPECT_EQ(OlpVolumeGetBoundingSphere(aggregate, nullptr, &sphere), nullptr);
    EXPECT_EQ(OlpVolumeGetBBox(aggregate, nullptr, 1, &box), nullptr);

    OlpAggregateSetChildren(aggregate, list);
    EXPECT_EQ(list->refCount, 2u);
    OlpVolume* clone = OlpVolumeClone(aggregate);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(list->refCount, 3u);
    OlpVolumeDestroy(clone);
    EXPECT_EQ(list->refCount, 2u);
    OlpAggChildrenRelease(list);
    EXPECT_EQ(list->refCount, 1u);
    OlpVolumeDestroy(aggregate);
}

TEST(VolumeRecordsMemory, CloneAnswersNullWhenTheMemoryRefusesAndNothingLeaks)
{
    CountingMemory::Reset();
    ASSERT_TRUE(EngineTestStart(CountingMemory::Table()));
    int64_t before = CountingMemory::live;
    OlpVolume* sphere = OlpSphereCreate(1.0f);
    ASSERT_NE(sphere, nullptr);
    CountingMemory::failAfter = 0;
    EXPECT_EQ(OlpVolumeClone(sphere), nullptr);
    EXPECT_EQ(OlpSphereCreate(1.0f), nullptr);
    EXPECT_EQ(OlpAggChildrenCreate(4), nullptr);
    CountingMemory::failAfter = 1; // the list record, not its children
    EXPECT_EQ(OlpAggChildrenCreate(4), nullptr);
    CountingMemory::failAfter = -1;
    EXPECT_EQ(OlpAggChildrenCreate(kOlpAggMaxChildren), nullptr);
    OlpVolumeDestroy(sphere);
    EXPECT_EQ(CountingMemory::live, before);
    EngineTestShutdown();
    CountingMemory::Reset();
}

TEST_F(VolumeRecords, PartsCopyAndReplaceTheirVolumes)
{
    OlpAggChildren* list = OlpAggChildrenCreate(1);
    OlpSphereInit(OlpAggChildrenGetChild(list, 0), 1.0f);
    alignas(16) OlpVolume sourceVolume;
    OlpAggregateInit(&sourceVolume, list);
    alignas(16) OlpVolume targetVolume;
    OlpNullInit(&targetVolume);

    OlpPart source;
    OlpPartInit(&source, &sourceVolume);
    EXPECT_EQ(source.mass, 1.0f);
    EXPECT_EQ(source.scalarInertia, 1.0f);
    EXPECT_EQ(source.damping[0], 0.01f);
    EXPECT_EQ(source.rotation.w, 1.0f);
    source.mass = 5.0f;
    source.flags = kOlpPartFullInertia;
    OlpPart target;
    OlpPartInit(&target, &targetVolume);
    OlpPartCopy(&target, &source);
    EXPECT_EQ(target.volume, &targetVolume);
    EXPECT_EQ(targetVolume.descriptor->typeId, kOlpTypeAggregate);
    EXPECT_EQ(target.mass, 5.0f);
    EXPECT_EQ(target.flags, kOlpPartFullInertia);
    EXPECT_EQ(list->refCount, 3u);

    alignas(16) OlpVolume box;
    V3d half = {1, 1, 1};
    OlpBoxInit(&box, &half);
    OlpPartSetVolume(&target, &box);
    EXPECT_EQ(list->refCount, 2u);
    EXPECT_EQ(targetVolume.descriptor->typeId, kOlpTypeBox);
    OlpPartDeinit(&source);
    OlpAggChildrenRelease(list);
}

TEST_F(VolumeRecords, FramesComposeWithTheExtraMatrix)
{
    alignas(16) OlpVolume sphere;
    OlpSphereInit(&sphere, 1.0f);
    Matrix frame = Translation({1, 0, 0});
    OlpVolumeSetFrame(&sphere, &frame);
    Matrix matrix = Translation({0, 2, 0});
    OlpSphere bounds;
    ASSERT_NE(OlpVolumeGetBoundingSphere(&sphere, &matrix, &bounds), nullptr);
    ExpectNearV3(bounds.centre, {1, 2, 0});
    OlpBBox box;
    ASSERT_NE(OlpVolumeGetBBox(&sphere, &matrix, 1, &box), nullptr);
    ExpectNearV3(box.min, {0, 1, -1});
    ExpectNearV3(box.max, {2, 3, 1});
    // The identity flag skips the volume's own frame.
    sphere.frame.flags |= kMatrixFlagIdentity;
    OlpVolumeGetBoundingSphere(&sphere, &matrix, &bounds);
    ExpectNearV3(bounds.centre, {0, 2, 0});
}

TEST_F(VolumeRecords, AggregateOfTwoSpheres)
{
    OlpAggChildren* list = OlpAggChildrenCreate(2);
    for (uint32_t i = 0; i < 2; ++i) {
        OlpVolume* child = OlpSphereInit(OlpAggChildrenGetChild(list, i), 1.0f);
        Matrix frame = Translation({i == 0 ? -2.0f : 2.0f, 0, 0});
        OlpVolumeSetFrame(child, &frame);
    }
    OlpAggChildrenUpdateBounds(list);
    EXPECT_EQ(list->flags, kOlpAggBoxValid | kOlpAggSphereValid);
    OlpVolume* aggregate = OlpAggregateCreate(list);
    OlpAggChildrenRelease(list);

    OlpBBox box;
    ASSERT_NE(OlpVolumeGetBBox(aggregate, nullptr, 1, &box), nullptr);
    ExpectNearV3(box.min, {-3, -1, -1});
    ExpectNearV3(box.max, {3, 1, 1});
    EXPECT_FLOAT_EQ(aggregate->descriptor->getCoreThickness(aggregate), 2.0f);
    V3d direction = {1, 0, 0};
    V3d support;
    ASSERT_NE(OlpVolumeGetSupportPoint(aggregate, nullptr, &direction, &support), nullptr);
    ExpectNearV3(support, {3, 0, 0});
    OlpSphere sphere;
    ASSERT_NE(OlpVolumeGetBoundingSphere(aggregate, nullptr, &sphere), nullptr);
    ExpectNearV3(sphere.centre, {0, 0, 0});
    EXPECT_FLOAT_EQ(sphere.radius, 3.0f);
    float min, max;
    ASSERT_EQ(OlpVolumeGetProjection(aggregate, nullptr, &direction, &min, &max), 1);
    EXPECT_FLOAT_EQ(min, -3.0f);
    EXPECT_FLOAT_EQ(max, 3.0f);
    OlpLineResult result;
    V3d a = {-10, 0, 0}, b = {10, 0, 0};
    EXPECT_EQ(OlpVolumeLineIntersect(aggregate, nullptr, &a, &b, &result), 0);
    EXPECT_EQ(result.volume, aggregate);
    OlpVolumeDestroy(aggregate);
}
