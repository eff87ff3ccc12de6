// The narrow phase: expansion of far-field pairs, part pairs and the
// chunked contact pass.
#include <algorithm>

#include "physics/core/contact/tests/contacttesting.h"
#include "physics/core/object/object.h"
#include "physics/core/utils/vec3.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/dispatch.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/trilist.h"

using namespace olp;

namespace {

/// An object of spheres of radius 0.5 at the given positions, each part
/// posed by its own source matrix.
struct SphereObject
{
    explicit SphereObject(std::vector<V3d> centres)
    {
        uint16_t n = static_cast<uint16_t>(centres.size());
        OlpObjInit(&object, n, 0);
        volumes.resize(n);
        poses.resize(n);
        object.partCount = n;
        for (uint16_t i = 0; i < n; ++i) {
            OlpSphereInit(&volumes[i], 0.5f);
            poses[i] = Translation(centres[i]);
            object.parts[i].volume = &volumes[i];
            object.parts[i].sourceMatrix = &poses[i];
        }
    }
    ~SphereObject() { OlpObjDeinit(&object); }
    OlpObj object;
    std::vector<OlpVolume> volumes;
    std::vector<Matrix> poses;
};

/// The union of the parts' boxes, or a bare volume's box.
bool UnionBox(void* object, uint32_t selector, void*, OlpBBox* out)
{
    if (selector == kOlpBarePart) {
        return OlpBatchObjectBox(object, selector, nullptr, out);
    }
    auto* obj = static_cast<OlpObj*>(object);
    for (uint32_t p = 0; p < obj->partCount; ++p) {
        OlpBBox box;
        OlpVolumeGetBBox(obj->parts[p].volume, obj->parts[p].sourceMatrix, 0, &box);
        p == 0 ? (void)(*out = box) : (void)OlpBBoxMerge(out, out, &box);
    }
    return obj->partCount > 0;
}

class ContactNarrow : public ContactTest
{
  protected:
    /// Entries of both sides, then their part pairs.
    uint32_t PairsOf(void* a, uint32_t selA, void* b, uint32_t selB, const OlpBitMatrix* partPairs = nullptr)
    {
        OlpBBox boxA, boxB;
        UnionBox(a, selA, nullptr, &boxA);
        UnionBox(b, selB, nullptr, &boxB);
        area.entryCount = area.frameCount = area.partPairCount = area.triangleCount = 0;
        OlpBatchExpandObject(&area, a, selA, nullptr, &boxA, &boxB);
        uint32_t firstB = area.entryCount;
        OlpBatchExpandObject(&area, b, selB, nullptr, &boxB, &boxA);
        return OlpBatchBuildPartPairs(&area, 0, firstB, firstB, area.entryCount - firstB, partPairs,
                                      area.groupExclusion);
    }
};

} // namespace

TEST_F(ContactNarrow, PairsThatMustNotForm)
{
    SphereObject one({{0, 0, 0}});
    SphereObject two({{0, 0, 0.9f}});
    // The same object and part.
    EXPECT_EQ(PairsOf(&one.object, 0, &one.object, 0), 0u);
    // Two bare volumes.
    OlpVolume s1, s2;
    OlpSphereInit(&s1, 0.5f);
    OlpSphereInit(&s2, 0.5f);
    EXPECT_EQ(PairsOf(&s1, kOlpBarePart, &s2, kOlpBarePart), 0u);
    EXPECT_EQ(PairsOf(&one.object, 0, &two.object, 0), 1u);
    // A part-pair bit (part 0 with part 0) and a group bit (tag 3 with tag 5).
    OlpBitMatrix* parts = OlpBitMatrixCreate(1, 1);
    OlpBitMatrixSetBit(parts, 0, true);
    EXPECT_EQ(PairsOf(&one.object, 0, &two.object, 0, parts), 0u);
    OlpBitMatrixDestroy(parts);
    OlpBitMatrix* groups = OlpBitMatrixCreate(8, 8);
    OlpBitMatrixSetBit(groups, 5 + 8 * 3, true);
    area.groupExclusion = groups;
    OlpVolumeSetTag(&one.volumes[0], 3);
    OlpVolumeSetTag(&two.volumes[0], 5);
    EXPECT_EQ(PairsOf(&one.object, 0, &two.object, 0), 0u);
    area.groupExclusion = nullptr;
    OlpBitMatrixDestroy(groups);
}

TEST_F(ContactNarrow, BoxesExactlyTheContactDistanceApartPair)
{
    area.contactDistance = 0.25f;
    SphereObject lower({{0, 0, 0}});
    SphereObject upper({{0, 0, 1.25f}}); // boxes [-.5, .5] and [.75, 1.75]
    EXPECT_EQ(PairsOf(&lower.object, 0, &upper.object, 0), 1u);
    upper.poses[0] = Translation({0, 0, 1.2501f});
    EXPECT_EQ(PairsOf(&lower.object, 0, &upper.object, 0), 0u);
}

TEST_F(ContactNarrow, AggregateChildrenCarryTheirFeatureIds)
{
    OlpAggChildren* list = OlpAggChildrenCreate(2);
    for (uint32_t i = 0; i < 2; ++i) {
        OlpVolume* child = OlpSphereInit(OlpAggChildrenGetChild(list, i), 0.5f);
        Matrix at = Translation({i == 0 ? -1.0f : 1.0f, 0, 0});
        OlpVolumeSetFrame(child, &at);
    }
    OlpAggChildrenUpdateBounds(list);
    OlpVolume aggregate;
    OlpAggregateInit(&aggregate, list);
    OlpAggChildrenRelease(list);
    Matrix pose = Translation({0, 0, 0.52f});
    OlpObj body;
    OlpObjInit(&body, 1, 0);
    body.partCount = 1;
    body.parts[0].volume = &aggregate;
    body.parts[0].sourceMatrix = &pose;
    OlpVolume ground;
    V3d slab = {5, 5, 0.5f};
    OlpBoxInit(&ground, &slab);
    Matrix below = Translation({0, 0, -0.5f});
    OlpVolumeSetFrame(&ground, &below);
    OlpBatchPair pair = {&body, 0, &ground, kOlpBarePart, nullptr};
    // Two feature pairs, children 1 and 2; their records lie in one plane
    // and merge into one record of two points.
    OlpContact contacts[4];
    ASSERT_EQ(OlpBatchContactPass(&area, &pair, 1, UnionBox, nullptr, contacts, 4), 1u);
    ASSERT_EQ(area.recordCount, 2u);
    EXPECT_EQ(area.records[0].a.featureId, 1u);
    EXPECT_EQ(area.records[1].a.featureId, 2u);
    ASSERT_EQ(contacts[0].count, 2u);
    ExpectNearV3(contacts[0].normal, {0, 0, 1}, 1e-4f);
    std::vector<uint32_t> ids;
    for (uint32_t k = 0; k < 2; ++k) {
        ids.push_back(contacts[0].points[k].featureA);
        EXPECT_NEAR(contacts[0].points[k].separation, 0.02f, 1e-4f);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2}));
    OlpObjDeinit(&body);
    OlpVolumeDestroyContents(&aggregate);
}

TEST_F(ContactNarrow, EveryPairGetsItsContactsAcrossChunks)
{
    // Room for two feature pairs per chunk, five touching pairs.
    OlpContextParamsSetNarrowCapacities(&params, 2, params.words[kOlpParamNarrowFirst],
                                        params.words[kOlpParamNarrowThird],
                                        params.words[kOlpParamContinuous]);
    OlpAlignedFree(memory);
    memory = OlpAlignedAlloc(OlpBatchAreaSize(&params), 16, kOlpMemoryHint);
    ASSERT_NE(OlpBatchAreaInit(&area, memory, &params), nullptr);
    area.contactDistance = 0.05f;
    std::vector<OlpVolume> lower(5), upper(5);
    std::vector<OlpBatchPair> pairs;
    for (int i = 0; i < 5; ++i) {
        OlpSphereInit(&lower[i], 0.5f);
        OlpSphereInit(&upper[i], 0.5f);
        Matrix a = Translation({3.0f * i, 0, 0});
        Matrix b = Translation({3.0f * i, 0, 0.99f});
        OlpVolumeSetFrame(&lower[i], &a);
        OlpVolumeSetFrame(&upper[i], &b);
    }
    std::vector<SphereObject*> objects;
    for (int i = 0; i < 5; ++i) {
        objects.push_back(new SphereObject({{3.0f * i, 0, 0.99f}}));
        pairs.push_back({&objects.back()->object, 0, &lower[i], kOlpBarePart, nullptr});
    }
    OlpContact contacts[10];
    ASSERT_EQ(OlpBatchContactPass(&area, pairs.data(), 5, UnionBox, nullptr, contacts, 10), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(contacts[i].objectA, &objects[i]->object);
        EXPECT_NEAR(contacts[i].points[0].separation, -0.01f, 1e-4f);
        delete objects[i];
    }
}

TEST_F(ContactNarrow, AnObjectPairedWithItselfGivesEachPartPairOnce)
{
    SphereObject chain({{0, 0, 0}, {0.95f, 0, 0}, {0.475f, 0.8f, 0}});
    OlpBatchPair self = {&chain.object, 0, &chain.object, 0, nullptr};
    OlpContact contacts[8];
    uint32_t n = OlpBatchContactPass(&area, &self, 1, UnionBox, nullptr, contacts, 8);
    ASSERT_EQ(n, 3u);
    std::vector<std::pair<uint32_t, uint32_t>> seen;
    for (uint32_t k = 0; k < n; ++k) {
        seen.emplace_back(contacts[k].partA, contacts[k].partB);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::pair<uint32_t, uint32_t>>{{0, 1}, {0, 2}, {1, 2}}));
}

TEST_F(ContactNarrow, GridCellsNearTheOtherSideBecomeEntries)
{
    // A floor of 100 boxes; a sphere resting on the corner of four of them.
    OlpVolume* grid = OlpGridCreate(100);
    for (uint32_t i = 0; i < 100; ++i) {
        V3d half = {0.5f, 0.5f, 0.5f};
        OlpVolume* cell = OlpBoxInit(OlpGridGetCell(grid, i), &half);
        Matrix at = Translation({float(i % 10), float(i / 10), -0.5f});
        OlpVolumeSetFrame(cell, &at);
    }
    OlpGridBuild(grid, 0.0f);
    SphereObject ball({{4.5f, 4.5f, 0.49f}});
    EXPECT_EQ(PairsOf(&ball.object, 0, grid, kOlpBarePart), 4u);
    for (uint32_t k = 0; k < area.partPairCount; ++k) {
        EXPECT_EQ(area.partPairs[k].b->object, grid);
        EXPECT_GE(area.partPairs[k].b->featureId, 1u);
    }
    OlpBatchPair pair = {&ball.object, 0, grid, kOlpBarePart, nullptr};
    OlpContact contacts[8];
    uint32_t n = OlpBatchContactPass(&area, &pair, 1, UnionBox, nullptr, contacts, 8);
    ASSERT_EQ(n, 1u); // four coplanar records merged
    ExpectNearV3(contacts[0].normal, {0, 0, 1}, 1e-4f);
    OlpVolumeDestroy(grid);
}

namespace {

/// A floor quad of two triangles at z = 0 over [-5, 5]^2 and a third one
/// marked to be left out, without normals (as a collision tree gives them).
OlpTrilistQuery* FloorQuery(const OlpVolume*, const Matrix*, const OlpBBox* box, uintptr_t,
                            OlpTrilistQuery* query)
{
    static const V3d corners[4] = {{-5, -5, 0}, {5, -5, 0}, {5, 5, 0}, {-5, 5, 0}};
    const V3d* triangles[3][3] = {{&corners[0], &corners[1], &corners[2]},
                                  {&corners[0], &corners[2], &corners[3]},
                                  {&corners[0], &corners[2], &corners[1]}};
    query->count = 0;
    query->flags = kOlpTrilistFromTree;
    // The box asked for is the other side's, grown by the contact distance.
    EXPECT_NEAR(box->min.z, -0.01f - 0.05f, 1e-5f);
    for (uint32_t i = 0; i < 3 && query->count < query->capacity; ++i) {
        OlpTriangleData& t = query->triangles[query->count++];
        t = {};
        t.a = *triangles[i][0];
        t.b = *triangles[i][1];
        t.c = *triangles[i][2];
        t.index = 10 + i;
        t.edgeFlags = i == 2 ? 0xF | kOlpTrilistSkipTriangle : 0xF;
    }
    return query;
}

} // namespace

TEST_F(ContactNarrow, TriangleListsBecomeTriangleEntries)
{
    OlpVolume list;
    OlpTrilistInit(&list, nullptr, kOlpTrilistUnbounded);
    OlpTrilistSetCallback(&list, FloorQuery);
    OlpVolumeSetMargin(&list, 0.02f);
    OlpVolumeSetTag(&list, 3);
    V3d half = {0.5f, 0.5f, 0.5f};
    OlpVolume box;
    OlpBoxInit(&box, &half);
    Matrix resting = Translation({1.0f, 1.0f, 0.49f});
    OlpVolumeSetFrame(&box, &resting);
    EXPECT_EQ(PairsOf(&box, kOlpBarePart, &list, kOlpBarePart), 0u) << "two bare volumes never pair";
    OlpObj object;
    OlpObjInit(&object, 1, 0);
    object.partCount = 1;
    object.parts[0].volume = &box;
    object.parts[0].sourceMatrix = nullptr;
    ASSERT_EQ(PairsOf(&object, 0, &list, kOlpBarePart), 2u);
    for (uint32_t k = 0; k < area.partPairCount; ++k) {
        const OlpBatchEntry* t = area.partPairs[k].b;
        ASSERT_EQ(t->volume->descriptor, &kOlpTriangleDescriptor);
        EXPECT_TRUE(t->featureId == 10 || t->featureId == 11);
        ExpectNearV3(*OlpTriangleGetNormal(t->volume), {0, 0, 1});
        EXPECT_NEAR(OlpTriangleGetData(t->volume)->planeOffset, 0.0f, 1e-6f);
        EXPECT_EQ(t->volume->margin, 0.02f);
        EXPECT_EQ(t->volume->tag, 3);
    }
    OlpBatchPair pair = {&object, 0, &list, kOlpBarePart, nullptr};
    OlpContact contacts[8];
    uint32_t n = OlpBatchContactPass(&area, &pair, 1, UnionBox, nullptr, contacts, 8);
    ASSERT_EQ(n, 1u); // both triangles' records merged into one plane
    ExpectNearV3(contacts[0].normal, {0, 0, 1}, 1e-4f);
    EXPECT_EQ(area.triangleCount, 3u);
    OlpObjDeinit(&object);
}
