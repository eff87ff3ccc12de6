// The island partition, the warm-start cache and the island helpers, on
// bodies registered in a context with hand-made joints and contacts.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "graphics/core/tests/mathstesting.h"
#include "physics/core/contact/contact.h"
#include "physics/core/manager/manager.h"
#include "physics/core/pipeline/pipeline.h"
#include "physics/core/pipeline/scenes/scenes.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

class PipelineIslands : public StartedEngineTest
{
  protected:
    void SetUp() override
    {
        StartedEngineTest::SetUp();
        scene = std::make_unique<PipelineScene>(8);
        for (int i = 0; i < 8; ++i) {
            objects[i] =
                &scene->AddBox({0.5f, 0.5f, 0.5f}, 1.0f, {3.0f * static_cast<float>(i), 0, 0})->body->base;
        }
    }
    void TearDown() override
    {
        scene.reset();
        StartedEngineTest::TearDown();
    }

    OlpJoint Joint(OlpObj* a, OlpObj* b)
    {
        OlpJoint joint{};
        joint.ends[0] = {a, 0};
        joint.ends[1] = {b, 0};
        return joint;
    }
    OlpContact Contact(OlpObj* a, OlpObj* b, uint32_t points, V3d normal = {0, 1, 0})
    {
        OlpContact contact{};
        contact.objectA = a;
        contact.objectB = b;
        contact.normal = normal;
        contact.count = points;
        return contact;
    }
    uint32_t Partition(OlpObj* const* listed, uint32_t count, OlpJoint* const* joints, uint32_t jointCount,
                       OlpContact* contacts, uint32_t contactCount)
    {
        OlpPipeline* p = scene->pipeline;
        return OlpPartitionIslands(&p->islands, &p->partition, listed, count, joints, jointCount, contacts,
                                   contactCount);
    }

    std::unique_ptr<PipelineScene> scene;
    OlpObj* objects[8] = {};
};

TEST_F(PipelineIslands, JointsAndContactsJoinActiveObjectsOnly)
{
    OlpMgr* mgr = OlpContextGetMgr(scene->context);
    OlpObj** o = objects;
    OlpMgrDeactivateObject(mgr, o[3]);
    OlpMgrDeactivateObject(mgr, o[5]);
    OlpJoint joints[2] = {Joint(o[0], o[1]), Joint(o[2], o[3])};
    OlpJoint* jointList[2] = {&joints[0], &joints[1]};
    // 2 touches 1: {0, 1, 2} is one island. A contact without points
    // between 6 and 7 is ignored.
    OlpContact contacts[2] = {Contact(o[2], o[1], 2), Contact(o[6], o[7], 0)};
    uint32_t islands = Partition(o, 8, jointList, 2, contacts, 2);
    // {0, 1, 2} with both joints (the one to inactive 3 stays with 2) and
    // the contact; then 4, 6 and 7 alone; 3 and 5 are inactive: none.
    ASSERT_EQ(islands, 4u);
    const OlpIsland& joined = scene->pipeline->islands.islands[0];
    EXPECT_EQ(joined.objectCount, 3u);
    EXPECT_EQ(joined.jointCount, 2u);
    EXPECT_EQ(joined.partCount, 3u);
    EXPECT_EQ(joined.firstContact, &contacts[0]);
    EXPECT_EQ(contacts[0].listLink, nullptr);
    for (uint32_t i = 0; i < joined.objectCount; ++i) {
        EXPECT_NE(joined.objects[i], o[3]);
    }
    for (uint32_t n = 1; n < islands; ++n) {
        const OlpIsland& alone = scene->pipeline->islands.islands[n];
        EXPECT_EQ(alone.objectCount, 1u);
        EXPECT_EQ(alone.jointCount, 0u);
        EXPECT_EQ(alone.firstContact, nullptr);
        EXPECT_TRUE(alone.objects[0] == o[4] || alone.objects[0] == o[6] || alone.objects[0] == o[7]);
    }
}

TEST_F(PipelineIslands, UnionsMergeChainsWhateverTheOrder)
{
    OlpObj** o = objects;
    // Two sets made first, then joined by a contact.
    OlpContact contacts[4] = {Contact(o[0], o[1], 1), Contact(o[2], o[3], 1), Contact(o[4], o[2], 1),
                              Contact(o[1], o[3], 1)};
    ASSERT_EQ(Partition(o, 5, nullptr, 0, contacts, 4), 1u);
    const OlpIsland& island = scene->pipeline->islands.islands[0];
    EXPECT_EQ(island.objectCount, 5u);
    uint32_t chained = 0;
    for (const OlpContact* c = island.firstContact; c != nullptr; c = c->listLink) {
        ++chained;
    }
    EXPECT_EQ(chained, 4u);
}

TEST_F(PipelineIslands, IslandPrintWritesItsLines)
{
    OlpObj** o = objects;
    OlpMgrDeactivateObject(OlpContextGetMgr(scene->context), o[2]);
    OlpContact contacts[2] = {Contact(o[0], o[1], 3), Contact(o[1], o[2], 1)};
    ASSERT_EQ(Partition(o, 2, nullptr, 0, contacts, 2), 1u);
    testing::internal::CaptureStdout();
    OlpIslandPrint(&scene->pipeline->islands.islands[0]);
    std::string text = testing::internal::GetCapturedStdout();
    uint32_t a = o[0]->id, b = o[1]->id;
    std::string expected = "==========================\nObjects: " + std::to_string(a) + ", " +
                           std::to_string(b) + ", \nContact (" + std::to_string(a) + ", " +
                           std::to_string(b) + "), 3 points\nContact (" + std::to_string(b) +
                           ", -1), 1 points\n";
    EXPECT_EQ(text, expected);
}

TEST_F(PipelineIslands, RowGroupsCountActiveEndsAndTheDeepestPointIsKept)
{
    OlpObj** o = objects;
    OlpContact contacts[1] = {Contact(o[0], o[1], 4)};
    const float depths[4] = {-0.01f, -0.05f, 0.0f, -0.02f};
    for (int i = 0; i < 4; ++i) {
        contacts[0].points[i].separation = depths[i];
    }
    OlpIsland island{};
    island.firstContact = &contacts[0];
    EXPECT_EQ(OlpIslandRowGroups(&island), 6u); // ((4 + 1) x 3) / 4 per end
    contacts[0].objectB = nullptr;
    contacts[0].partB = kOlpBarePart;
    EXPECT_EQ(OlpIslandRowGroups(&island), 3u);
    OlpContactReduceToDeepest(&contacts[0]);
    EXPECT_EQ(contacts[0].count, 1u);
    EXPECT_EQ(contacts[0].points[0].separation, -0.05f);
}

TEST_F(PipelineIslands, CacheBucketsAndStoredLoads)
{
    EXPECT_EQ(OlpContactCacheBuckets(100), 64u);
    EXPECT_EQ(OlpContactCacheBuckets(1), 1u);
    EXPECT_EQ(OlpContactCacheBuckets(0), 1u);
    EXPECT_EQ(OlpContactCacheBuckets(64), 64u);
}

TEST_F(PipelineIslands, CacheFindsItsPairInEitherOrderAndOnlyItsPair)
{
    OlpPipeline* p = scene->pipeline;
    OlpObj** o = objects;
    OlpContact* c = p->contacts;
    c[0] = Contact(o[0], o[1], 1, {0, 1, 0});
    c[1] = Contact(o[0], o[1], 1, {1, 0, 0}); // the same parts, another normal
    c[2] = Contact(o[2], o[3], 1, {0, 1, 0}); // the same selectors, other objects
    c[3] = Contact(o[4], o[5], 1, {0, 1, 0});
    c[4] = Contact(o[6], o[7], 1, {0, 1, 0});
    const float loads[5] = {2.0f, 5.0f, 7.0f, -3.0f, std::numeric_limits<float>::quiet_NaN()};
    for (int i = 0; i < 5; ++i) {
        p->impulses[i] = {};
        p->impulses[i].onA = c[i].normal * loads[i];
        c[i].listLink = i + 1 < 5 ? &c[i + 1] : nullptr;
    }
    OlpIsland& island = p->islands.islands[0];
    island = {};
    island.firstContact = &c[0];
    p->islands.count = 1;
    // The first contact's point impulses: its point at the origin.
    p->warm[0] = {};
    p->warm[0].normal[0] = 2.0f;
    p->warm[0].tangent[0] = {0.5f, 0, 0};
    for (int i = 1; i < 5; ++i) {
        p->warm[i] = {};
    }
    OlpContactCacheStore(&p->cache, &p->islands, p->contacts, p->impulses, p->warm);
    EXPECT_EQ(p->cache.used, 5u);

    // Next step: the first pair comes with swapped ends (its normal turned),
    // close to the first normal; the slanted impulse is not taken.
    c[0] = Contact(o[1], o[0], 2, {0.1f, -0.995f, 0});
    c[1] = Contact(o[2], o[3], 1, {0, 1, 0});
    c[2] = Contact(o[2], o[4], 1, {0, 1, 0}); // never stored
    c[3] = Contact(o[4], o[5], 1, {0, 1, 0});
    c[4] = Contact(o[6], o[7], 1, {0, 1, 0});
    for (int i = 0; i < 5; ++i) {
        c[i].load = 99.0f;
        c[i].listLink = i + 1 < 5 ? &c[i + 1] : nullptr;
    }
    // Its second point lies within the tolerance of the stored one, its
    // first beyond it.
    c[0].points[0].position = {1.0f, 0, 0};
    c[0].points[1].position = {0.01f, 0, 0};
    OlpContactCacheLookup(&p->cache, &p->islands, p->contacts, p->warm);
    EXPECT_EQ(c[0].load, 2.0f);
    EXPECT_EQ(p->warm[0].normal[0], 0.0f);
    EXPECT_EQ(p->warm[0].normal[1], 2.0f);
    EXPECT_EQ(p->warm[0].tangent[1].x, -0.5f); // the impulse on the new end A
    EXPECT_EQ(p->warm[1].normal[0], 0.0f);
    EXPECT_EQ(c[1].load, 7.0f);
    EXPECT_EQ(c[2].load, 0.0f);
    EXPECT_EQ(c[3].load, 0.0f); // negative stored as 0
    EXPECT_EQ(c[4].load, 0.0f); // NaN stored as 0
    // Islands at rest are left alone.
    island.flags = kOlpIslandAtRest;
    c[0].load = 99.0f;
    OlpContactCacheLookup(&p->cache, &p->islands, p->contacts, p->warm);
    EXPECT_EQ(c[0].load, 99.0f);
}

} // namespace

namespace {

TEST_F(PipelineIslands, AnOverloadedPartKeepsItsDeepestPoints)
{
    OlpPipeline* p = scene->pipeline;
    OlpObj** o = objects;
    OlpPipelineSetIslandBlockRows(p, 4);
    // Object 0 touches the six others with four points each: 18 row groups.
    OlpContact* c = p->contacts;
    for (int i = 0; i < 6; ++i) {
        c[i] = Contact(o[0], o[i + 1], 4);
        for (int k = 0; k < 4; ++k) {
            c[i].points[k].separation = -0.01f * static_cast<float>((k + i) % 4);
        }
    }
    p->contactCount = 6;
    p->objectCount = 7;
    for (int i = 0; i < 7; ++i) {
        p->objects[i] = o[i];
    }
    OlpPipelinePartitionStage(p);
    ASSERT_EQ(p->islands.count, 1u);
    p->islands.islands[0].flags = 0;
    OlpPipelineRowSizingStage(p);
    // Still over the block with two groups for each one-point contact, the
    // island splits: 0, 1 and 2 stay together, the contacts with 3 and 4 are
    // cut in two (half the overlap each side), 3 to 6 become islands alone.
    for (int i = 0; i < 6; ++i) {
        if (i < 4) {
            EXPECT_EQ(c[i].count, 1u) << i;
            EXPECT_FLOAT_EQ(c[i].points[0].separation, i < 2 ? -0.03f : -0.015f) << i;
        } else {
            EXPECT_EQ(c[i].count, 0u) << i;
        }
    }
    EXPECT_EQ(p->islands.count, 5u);
    EXPECT_EQ(p->contactCount, 8u);
    EXPECT_EQ(p->islands.islands[0].objectCount, 3u);
    for (uint32_t n = 0; n < p->islands.count; ++n) {
        EXPECT_LE(p->islands.islands[n].rowGroups, 4u);
    }
}

} // namespace

namespace {

TEST(PipelineGroups, RootsCompressMergesKeepTheLowerIndexAndFitsCount)
{
    OlpGroup g[5];
    const uint32_t rows[5] = {1, 2, 3, 4, 5};
    OlpGroupResetBlocks(g, 5, rows);
    EXPECT_EQ(OlpGroupMerge(g, 4, 3), 3u);
    EXPECT_EQ(OlpGroupMerge(g, 3, 1), 1u);
    EXPECT_EQ(g[1].rows, 11u);
    EXPECT_EQ(g[1].objectCount, 3u);
    EXPECT_EQ(g[4].parent, 3u);
    EXPECT_EQ(OlpGroupFindRoot(g, 4), 1u);
    EXPECT_EQ(g[4].parent, 1u); // pointed straight at the root
    EXPECT_TRUE(OlpGroupCanJoin(g, 0, 1, 2, 14));
    EXPECT_FALSE(OlpGroupCanJoin(g, 0, 1, 2, 13));
    EXPECT_TRUE(OlpGroupFitsBlock(g, 1, 0, 11));
    EXPECT_FALSE(OlpGroupFitsBlock(g, 1, 1, 11));
}

TEST_F(PipelineIslands, AnIslandOverTheBlockSplitsAndCutsAContactInTwo)
{
    // A row 0 - 1 - 2 - 3 of one-point contacts (one row group per end):
    // with four groups to a block the first two contacts join 0, 1 and 2,
    // the third is cut into one side for 2 and one for 3.
    OlpPipeline* p = scene->pipeline;
    OlpObj** o = objects;
    scene->SetVelocity(scene->bodies[2].get(), {2, 0, 0});
    scene->SetVelocity(scene->bodies[3].get(), {0, 1, 0});
    OlpContact* c = p->contacts;
    for (int i = 0; i < 3; ++i) {
        c[i] = Contact(o[i], o[i + 1], 1, {-1, 0, 0});
        c[i].points[0].position = {3.0f * static_cast<float>(i) + 1.5f, 0, 0};
        c[i].points[0].separation = -0.02f;
    }
    p->contactCount = 3;
    ASSERT_EQ(Partition(o, 4, nullptr, 0, c, 3), 1u);
    OlpPipelineSetIslandBlockRows(p, 4);
    ASSERT_EQ(OlpIslandSplit(p, 0), 2u);

    ASSERT_EQ(p->islands.count, 2u);
    ASSERT_EQ(p->contactCount, 4u);
    const OlpIsland& first = p->islands.islands[0];
    const OlpIsland& second = p->islands.islands[1];
    EXPECT_EQ(first.objectCount, 3u);
    EXPECT_EQ(first.partCount, 3u);
    ASSERT_EQ(second.objectCount, 1u);
    EXPECT_EQ(second.objects[0], o[3]);
    EXPECT_EQ(second.firstContact, &c[3]);
    EXPECT_EQ(c[3].listLink, nullptr);
    uint32_t chained = 0;
    for (const OlpContact* k = first.firstContact; k != nullptr; k = k->listLink) {
        ++chained;
        EXPECT_NE(k, &c[3]);
    }
    EXPECT_EQ(chained, 3u);
    // The cut contact keeps end A (2), its copy end B (3); each takes half
    // the overlap and sees the other end's motion as a target.
    EXPECT_EQ(c[2].objectA, o[2]);
    EXPECT_EQ(c[2].objectB, nullptr);
    EXPECT_EQ(c[2].partB, kOlpBarePart);
    EXPECT_EQ(c[3].objectA, nullptr);
    EXPECT_EQ(c[3].partA, kOlpBarePart);
    EXPECT_EQ(c[3].objectB, o[3]);
    EXPECT_FLOAT_EQ(c[2].points[0].separation, -0.01f);
    EXPECT_FLOAT_EQ(c[3].points[0].separation, -0.01f);
    EXPECT_FLOAT_EQ(c[2].points[0].targetVelocity.y, -1.0f);
    EXPECT_FLOAT_EQ(c[3].points[0].targetVelocity.x, 2.0f);
    // The joined group fits its block; the cut contact's own side is added
    // to it afterwards.
    EXPECT_EQ(OlpIslandRowGroups(&first), 5u);
    EXPECT_EQ(OlpIslandRowGroups(&second), 1u);
}

} // namespace
