// The escort team: clusters of access ways, guard directions and points, and the
// assignment of members to guard points.
#include "ai/behaviours/sector_window.h"
#include "ai/behaviours/wardel_team.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/random.h"
#include "ai/testhost/testclasses.h"
#include "escort_test_host.h"
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <set>

namespace Zelk {
namespace {

using EscortTest::CStar;
using EscortTest::MakeStar;
using EscortTest::WaysAtHeadings;

class WardelTeamTest : public ::testing::Test
{
  protected:
    void SetUp() override { EscortTest::StartWorld(); }
    void TearDown() override
    {
        delete m_team;
        m_team = nullptr;
        for (CEntity* e : m_entities)
            delete e;
        m_entities.clear();
        EscortTest::StopWorld();
    }

    // A team of `capacity` over the star, guarding a VIP at the star's centre.
    CWardelTeam& MakeTeam(uint32_t capacity, const CStar& star, const CVec3& vipPosition)
    {
        m_team = new CWardelTeam(capacity, "escorts");
        m_team->SetGraphData(star.graph.get(), star.data.get(), nullptr);
        EXPECT_TRUE(m_team->Init(nullptr));
        m_team->SetVip(MakeEntity("vip", vipPosition));
        return *m_team;
    }

    CEntity* MakeEntity(const char* name, const CVec3& position)
    {
        CEntity* e = new CTestEntity(name, nullptr);
        e->SetPosition(position);
        m_entities.push_back(e);
        return e;
    }

    std::vector<CEntity*> AddMembers(const std::vector<CVec3>& positions)
    {
        std::vector<CEntity*> members;
        for (const CVec3& p : positions) {
            members.push_back(MakeEntity("escort", p));
            EXPECT_TRUE(m_team->AddMember(members.back()));
        }
        return members;
    }

    CWardelTeam* m_team = nullptr;
    std::vector<CEntity*> m_entities;
};

TEST(SectorWindowTest, WindowIsCentredAndWrapsAround)
{
    float acc[360] = {};
    AddCosineWindow(acc, 360, -10.0f);
    EXPECT_FLOAT_EQ(acc[350], 1.0f);
    EXPECT_EQ(FindMaxSector(acc, 360), 350);
    int nonZero = 0;
    for (float a : acc)
        nonZero += a != 0.0f ? 1 : 0;
    EXPECT_EQ(nonZero, 51);
    EXPECT_NEAR(acc[325], 0.0f, 1e-6f);
    EXPECT_GT(acc[340], 0.5f);
    EXPECT_EQ(acc[324], 0.0f);
    float empty[4] = {};
    EXPECT_EQ(FindMaxSector(empty, 4), -1);
    // Headings that are not numbers add nothing; any finite one lands in the table.
    float far[360] = {};
    for (const float heading : {std::nanf(""), INFINITY, -INFINITY})
        AddCosineWindow(far, 360, heading);
    EXPECT_EQ(FindMaxSector(far, 360), -1);
    AddCosineWindow(far, 360, 3.6e9f + 10.0f); // 3600000010 is 10 modulo 360
    AddCosineWindow(far, 360, -1e30f);
    EXPECT_GT(FindMaxSector(far, 360), -1);
    MarkSectorWindow(acc, 360, 0, 2);
    EXPECT_EQ(acc[358], -1.0f);
    EXPECT_EQ(acc[2], -1.0f);
}

struct ClusterCase
{
    const char* name;
    std::vector<float> headings;
    int clusters;
};

TEST_F(WardelTeamTest, AccessWaysGroupIntoDirectionClusters)
{
    const ClusterCase cases[] = {
        {"one way", {0.0f}, 1},
        {"one degree apart", {10.0f, 11.0f}, 1},
        {"three degrees apart", {10.0f, 13.0f}, 2},
        {"crossing", {0.0f, 90.0f, 180.0f, 270.0f}, 4},
        {"pair and single", {45.0f, 45.5f, 200.0f}, 2},
    };
    for (const ClusterCase& c : cases) {
        const CVec3 centre(5.0f, 0.0f, 5.0f);
        CStar star = MakeStar(centre, WaysAtHeadings(centre, 6.0f, c.headings));
        CWardelTeam& team = MakeTeam(4, star, centre);
        CGuardNodeRecord record;
        record.graph = star.graph.get();
        team.BuildNodeClusters(record, 0.999f, *star.data, 0);
        int inUse = 0;
        int ways = 0;
        for (const CAccessWayCluster& cluster : record.clusters)
            if (cluster.InUse()) {
                ++inUse;
                ways += cluster.count;
            }
        EXPECT_EQ(inUse, c.clusters) << c.name;
        EXPECT_EQ(ways, int(c.headings.size())) << c.name;
        delete m_team;
        m_team = nullptr;
    }
}

TEST_F(WardelTeamTest, MoreThanSixtyDirectionsFoldIntoTheNearestCluster)
{
    std::vector<float> headings;
    for (int i = 0; i < 90; ++i)
        headings.push_back(float(i) * 4.0f);
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 10.0f, headings));
    CWardelTeam& team = MakeTeam(4, star, centre);
    CGuardNodeRecord record;
    record.graph = star.graph.get();
    team.BuildNodeClusters(record, 0.999f, *star.data, 0);
    int ways = 0;
    for (const CAccessWayCluster& cluster : record.clusters) {
        ASSERT_TRUE(cluster.InUse());
        ways += cluster.count;
    }
    EXPECT_EQ(ways, 90);
    // Every cluster around the whole circle is still covered: two directions with the
    // wide windows of a team of two take them all, where the narrower ones of four
    // leave some out, so two members stay free.
    CVec3 points[4];
    uint16_t slotOf[kMaxAccessWayClusters];
    const int k = team.ComputeGuardSlots(record, centre, 3.0f, points, slotOf, 4);
    EXPECT_EQ(k, 2);
    for (int e = 0; e < kMaxAccessWayClusters; ++e)
        EXPECT_LT(int(slotOf[e]), k) << e;
}

TEST_F(WardelTeamTest, MissingArcsAreSkipped)
{
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 6.0f, {0.0f, 90.0f, 180.0f}));
    CWardelTeam& team = MakeTeam(3, star, centre);
    const uint16_t* list = nullptr;
    ASSERT_EQ(star.data->GetAccessWays(0, list), 3);
    star.graph->RemoveArc(list[1]);
    CGuardNodeRecord record;
    record.graph = star.graph.get();
    team.BuildNodeClusters(record, 0.999f, *star.data, 0);
    int inUse = 0;
    for (const CAccessWayCluster& cluster : record.clusters)
        inUse += cluster.InUse() ? 1 : 0;
    EXPECT_EQ(inUse, 2);
}

struct GuardCase
{
    const char* name;
    std::vector<float> headings;
    int members;
    std::vector<CVec3> points; // expected guard points around a VIP at the origin
};

TEST_F(WardelTeamTest, GuardPointsFaceTheAccessWays)
{
    const float d = 3.0f;
    const GuardCase cases[] = {
        {"crossing", {0.0f, 90.0f, 180.0f, 270.0f}, 4, {{0, 0, d}, {d, 0, 0}, {0, 0, -d}, {-d, 0, 0}}},
        {"corridor", {0.0f, 180.0f}, 4, {{0, 0, d}, {0, 0, -d}}},
        {"dead end", {90.0f}, 3, {{d, 0, 0}}},
        // One guard's window (half the occupied arc) covers three ways of the crossing,
        // two guards' halved windows one each: the one guard's point is kept, the
        // second member stays free.
        {"crossing, two guards", {0.0f, 90.0f, 180.0f, 270.0f}, 2, {{0, 0, d}}},
        {"no guard", {0.0f}, 0, {}},
    };
    for (const GuardCase& c : cases) {
        const CVec3 centre(0.0f, 0.0f, 0.0f);
        CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, c.headings));
        CWardelTeam& team = MakeTeam(4, star, centre);
        CGuardNodeRecord record;
        record.graph = star.graph.get();
        team.BuildNodeClusters(record, 0.999f, *star.data, 0);
        CVec3 points[4];
        uint16_t slotOf[kMaxAccessWayClusters];
        const int k = team.ComputeGuardSlots(record, centre, d, points, slotOf, c.members);
        ASSERT_EQ(k, int(c.points.size())) << c.name;
        for (int i = 0; i < k; ++i) {
            // Headings are whole degrees (truncated): a point may lie up to a degree round.
            EXPECT_NEAR(points[i].x, c.points[size_t(i)].x, 0.06f) << c.name << " " << i;
            EXPECT_NEAR(points[i].y, c.points[size_t(i)].y, 1e-4f) << c.name << " " << i;
            EXPECT_NEAR(points[i].z, c.points[size_t(i)].z, 0.06f) << c.name << " " << i;
        }
        // Every cluster is covered once there are as many guards as directions.
        if (c.members >= int(c.headings.size())) {
            for (int e = 0; e < int(c.headings.size()); ++e)
                EXPECT_NE(slotOf[e], kNoCluster) << c.name;
        }
        delete m_team;
        m_team = nullptr;
    }
}

// Large teams narrow the covering window below the spacing of the clusters: a coverage
// peak between two clusters then covers neither. Each pass must still cover a cluster,
// so that no direction repeats and any team at least as large as the number of
// directions covers them all; members beyond that stay without a direction.
TEST_F(WardelTeamTest, EveryTeamSizeCoversEveryDirection)
{
    // Twelve directions, some close together, as around the sample hall's middle.
    const std::vector<float> headings = {0, 8, 16, 45, 90, 100, 135, 180, 190, 225, 270, 315};
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, headings));
    for (const int members : {12, 13, 16, 24, 32}) {
        SCOPED_TRACE(members);
        CWardelTeam& team = MakeTeam(uint32_t(members), star, centre);
        CGuardNodeRecord record;
        record.graph = star.graph.get();
        team.BuildNodeClusters(record, 0.999f, *star.data, 0);
        std::vector<CVec3> points(static_cast<size_t>(members));
        uint16_t slotOf[kMaxAccessWayClusters];
        const int k = team.ComputeGuardSlots(record, centre, 3.0f, points.data(), slotOf, members);
        EXPECT_LE(k, int(headings.size()));
        for (int e = 0; e < int(headings.size()); ++e) {
            EXPECT_NE(slotOf[e], kNoCluster) << "cluster " << e;
            EXPECT_LT(int(slotOf[e]), k);
        }
        // No two guard points on one spot.
        for (int i = 0; i < k; ++i)
            for (int j = i + 1; j < k; ++j)
                EXPECT_GT((points[size_t(i)] - points[size_t(j)]).Length(), 0.1f) << i << " " << j;
        delete m_team;
        m_team = nullptr;
    }
}

// A VIP or a guard distance that is not a number leaves no direction to guard (the
// angle-to-sector lookups once indexed their tables with it), and a far VIP still
// gives whole sectors.
TEST_F(WardelTeamTest, HeadingsThatAreNotNumbersGuardNothing)
{
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, {0.0f, 90.0f, 180.0f, 270.0f}));
    CWardelTeam& team = MakeTeam(4, star, centre);
    CGuardNodeRecord record;
    record.graph = star.graph.get();
    team.BuildNodeClusters(record, 0.999f, *star.data, 0);
    const float nan = std::nanf("");
    struct Case
    {
        CVec3 vip;
        float distance;
        bool guards;
    };
    const Case cases[] = {{CVec3(nan, 0.0f, 0.0f), 3.0f, false},
                          {CVec3(0.0f, nan, nan), 3.0f, false},
                          {CVec3(INFINITY, 0.0f, 0.0f), 3.0f, false},
                          {centre, nan, false},
                          {centre, INFINITY, false},
                          {CVec3(1e30f, 0.0f, -1e30f), 3.0f, true}};
    for (const Case& c : cases) {
        for (const int members : {1, 2, 4}) {
            CVec3 points[4];
            uint16_t slotOf[kMaxAccessWayClusters];
            const int k = team.ComputeGuardSlots(record, c.vip, c.distance, points, slotOf, members);
            if (!c.guards) {
                EXPECT_EQ(k, 0) << c.vip.x << " " << c.distance << " " << members;
                continue;
            }
            EXPECT_GE(k, 1);
            for (int e = 0; e < 4; ++e)
                EXPECT_TRUE(slotOf[e] == kNoCluster || slotOf[e] < k);
        }
    }
}

// Adding an escort never leaves fewer clusters covered, on stars of random headings
// (some close together, some spread, as courtyards and pillar fields give them).
TEST_F(WardelTeamTest, AddingAnEscortNeverCoversFewerClusters)
{
    std::mt19937 random(20261211);
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<float> headings;
        const int count = 3 + int(random() % 20);
        for (int i = 0; i < count; ++i)
            headings.push_back(float(random() % 360) + float(random() % 100) / 100.0f);
        CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, headings));
        CWardelTeam& team = MakeTeam(16, star, centre);
        CGuardNodeRecord record;
        record.graph = star.graph.get();
        team.BuildNodeClusters(record, 0.999f, *star.data, 0);
        int previous = 0;
        for (int members = 1; members <= 16; ++members) {
            CVec3 points[16];
            uint16_t slotOf[kMaxAccessWayClusters];
            const int k = team.ComputeGuardSlots(record, centre, 3.0f, points, slotOf, members);
            ASSERT_LE(k, members);
            int covered = 0;
            for (int e = 0; e < kMaxAccessWayClusters; ++e) {
                if (slotOf[e] == kNoCluster)
                    continue;
                ++covered;
                EXPECT_LT(int(slotOf[e]), k);
            }
            EXPECT_GE(covered, previous) << "trial " << trial << ", " << members << " members";
            previous = covered;
        }
        delete m_team;
        m_team = nullptr;
    }
}

TEST_F(WardelTeamTest, WaysAtTheVipGiveAFiniteGuardPoint)
{
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(CVec3(0.0f, 0.0f, 1.0f), {centre, centre});
    CWardelTeam& team = MakeTeam(2, star, centre);
    CGuardNodeRecord record;
    record.graph = star.graph.get();
    team.BuildNodeClusters(record, 0.999f, *star.data, 0);
    CVec3 points[2];
    uint16_t slotOf[kMaxAccessWayClusters];
    const int k = team.ComputeGuardSlots(record, centre, 3.0f, points, slotOf, 2);
    ASSERT_GE(k, 1);
    EXPECT_TRUE(std::isfinite(points[0].x) && std::isfinite(points[0].z));
    EXPECT_NEAR(std::hypot(points[0].x, points[0].z), 3.0f, 1e-4f);
}

TEST_F(WardelTeamTest, RisingWaysBringTheGuardNearer)
{
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, {CVec3(0.0f, 4.0f, 4.0f)});
    CWardelTeam& team = MakeTeam(1, star, centre);
    CGuardNodeRecord record;
    record.graph = star.graph.get();
    team.BuildNodeClusters(record, 0.999f, *star.data, 0);
    CVec3 points[1];
    uint16_t slotOf[kMaxAccessWayClusters];
    ASSERT_EQ(team.ComputeGuardSlots(record, centre, 3.0f, points, slotOf, 1), 1);
    EXPECT_NEAR(points[0].z, 1.5f, 1e-3f); // steep: half the distance
    EXPECT_EQ(points[0].y, 0.0f);
}

// The cheapest assignment by trying every injective map of slots to members.
double OracleCost(const CWardelTeam& team, const std::vector<CEntity*>& members)
{
    const int k = team.GetSlotCount();
    std::vector<int> order(members.size());
    std::iota(order.begin(), order.end(), 0);
    double best = 1e30;
    do {
        double cost = 0.0;
        for (int j = 0; j < k; ++j)
            cost += CVec3::SquaredDistance(team.GetSlotPoint(j),
                                           members[size_t(order[size_t(j)])]->GetPosition());
        best = std::min(best, cost);
    } while (std::next_permutation(order.begin(), order.end()));
    return best;
}

double ChosenCost(const CWardelTeam& team, const std::vector<CEntity*>& members)
{
    double cost = 0.0;
    for (size_t i = 0; i < members.size(); ++i) {
        const int s = team.GetMemberSlot(int32_t(i));
        if (s >= 0)
            cost += CVec3::SquaredDistance(team.GetSlotPoint(s), members[i]->GetPosition());
    }
    return cost;
}

TEST_F(WardelTeamTest, SmallTeamsMatchTheExhaustiveOracle)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    for (int m = 1; m <= 6; ++m)
        for (int round = 0; round < 3; ++round) {
            const CVec3 centre(0.0f, 0.0f, 0.0f);
            CStar star =
                MakeStar(centre, WaysAtHeadings(centre, 8.0f, {0.0f, 60.0f, 120.0f, 180.0f, 240.0f, 300.0f}));
            CWardelTeam& team = MakeTeam(uint32_t(m), star, centre);
            std::vector<CVec3> positions;
            for (int i = 0; i < m; ++i)
                positions.emplace_back(coordinate(random), 0.0f, coordinate(random));
            const std::vector<CEntity*> members = AddMembers(positions);
            EXPECT_EQ(team.GetGuardSlot(members[0]), 0);
            ASSERT_GT(team.GetSlotCount(), 0);
            EXPECT_NEAR(ChosenCost(team, members), OracleCost(team, members), 1e-3) << m;
            delete m_team;
            m_team = nullptr;
        }
}

TEST_F(WardelTeamTest, EqualCostsKeepTheFirstInOdometerOrder)
{
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, {90.0f, 270.0f}));
    CWardelTeam& team = MakeTeam(2, star, centre);
    // Both members at the VIP: every assignment costs the same.
    const std::vector<CEntity*> members = AddMembers({centre, centre});
    team.GetGuardSlot(members[0]);
    ASSERT_EQ(team.GetSlotCount(), 2);
    // Digits (1, 0) come first in odometer order: member 1 takes slot 0.
    EXPECT_EQ(team.GetMemberSlot(1), 0);
    EXPECT_EQ(team.GetMemberSlot(0), 1);
}

TEST_F(WardelTeamTest, ATeamOnItsPointsKeepsThem)
{
    const CVec3 centre(1.0f, 0.0f, 2.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, {0.0f, 90.0f, 180.0f, 270.0f}));
    CWardelTeam& team = MakeTeam(4, star, centre);
    CGuardNodeRecord record;
    record.graph = star.graph.get();
    team.BuildNodeClusters(record, 0.999f, *star.data, 0);
    CVec3 points[4];
    uint16_t slotOf[kMaxAccessWayClusters];
    ASSERT_EQ(team.ComputeGuardSlots(record, centre, team.GetDistanceToVip(), points, slotOf, 4), 4);
    // Member i stands exactly on guard point i + 1: every walk is zero.
    const std::vector<CEntity*> members = AddMembers({points[1], points[2], points[3], points[0]});
    team.GetGuardSlot(members[0]);
    ASSERT_EQ(team.GetSlotCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(team.GetMemberSlot(i), (i + 1) % 4) << i;
        EXPECT_EQ(centre + team.GetMemberOffset(i), members[size_t(i)]->GetPosition()) << i;
    }
    EXPECT_EQ(ChosenCost(team, members), 0.0);
}

TEST_F(WardelTeamTest, FewerSlotsThanMembersLeaveSomeWithoutASlot)
{
    const CVec3 centre(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, {0.0f}));
    CWardelTeam& team = MakeTeam(3, star, centre);
    const std::vector<CEntity*> members = AddMembers({{5, 0, 5}, {0, 0, 4}, {-5, 0, 0}});
    EXPECT_EQ(team.GetGuardSlot(members[2]), 2); // not the first member: no refresh yet
    EXPECT_EQ(team.GetMemberOffset(2), CVec3());
    team.GetGuardSlot(members[0]);
    ASSERT_EQ(team.GetSlotCount(), 1);
    EXPECT_EQ(team.GetMemberSlot(1), 0); // the nearest to the point
    EXPECT_EQ(team.GetMemberOffset(0), CVec3());
    EXPECT_EQ(team.GetWatchedList(0)[0], kNoCluster);
    EXPECT_EQ(team.GetWatchedList(1)[0], 0);
    EXPECT_EQ(team.GetGuardSlot(MakeEntity("stranger", centre)), -1);
}

TEST_F(WardelTeamTest, LargeTeamsFinish)
{
    struct SizeCase
    {
        uint32_t capacity;
        int64_t permutations;
    };
    const SizeCase cases[] = {{7, 5040}, {8, 40320}, {17, 100000}, {40, 100000}};
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-20.0f, 20.0f);
    for (const SizeCase& c : cases) {
        std::vector<float> headings;
        for (int i = 0; i < 40; ++i)
            headings.push_back(float(i) * 9.0f);
        const CVec3 centre(0.0f, 0.0f, 0.0f);
        CStar star = MakeStar(centre, WaysAtHeadings(centre, 8.0f, headings));
        CWardelTeam& team = MakeTeam(c.capacity, star, centre);
        EXPECT_EQ(team.GetPermutationCount(), c.permutations);
        std::vector<CVec3> positions;
        for (uint32_t i = 0; i < c.capacity; ++i)
            positions.emplace_back(coordinate(random), 0.0f, coordinate(random));
        const std::vector<CEntity*> members = AddMembers(positions);
        team.GetGuardSlot(members[0]);
        ASSERT_GT(team.GetSlotCount(), 0) << c.capacity;
        std::set<int> slots;
        for (uint32_t i = 0; i < c.capacity; ++i) {
            const int s = team.GetMemberSlot(int32_t(i));
            if (s >= 0) {
                EXPECT_TRUE(slots.insert(s).second) << c.capacity;
            }
        }
        EXPECT_EQ(int(slots.size()), int(team.GetSlotCount())) << c.capacity;
        delete m_team;
        m_team = nullptr;
    }
}

TEST_F(WardelTeamTest, RefreshFollowsTheVipsNode)
{
    // Two hubs far apart, each a node of the graph; the VIP walks from one to the other.
    const CVec3 a(0.0f, 0.0f, 0.0f);
    CStar star = MakeStar(a, WaysAtHeadings(a, 8.0f, {0.0f, 180.0f}));
    CWardelTeam& team = MakeTeam(2, star, a);
    const std::vector<CEntity*> members = AddMembers({{1, 0, 1}, {-1, 0, -1}});
    EXPECT_EQ(team.GetCurrentNode(), kNoCluster);
    team.GetGuardSlot(members[0]);
    EXPECT_EQ(team.GetCurrentNode(), 0);
    EXPECT_EQ(team.GetSlotCount(), 2);
    team.GetVip()->SetPosition(CVec3(0.0f, 0.0f, 7.5f));
    team.GetGuardSlot(members[0]);
    EXPECT_EQ(team.GetCurrentNode(), 1); // the node of the way at heading 0
    EXPECT_EQ(team.GetSlotCount(), 0);   // that node has no access ways
    EXPECT_EQ(team.GetMemberOffset(0), CVec3());
}

TEST_F(WardelTeamTest, InitNeedsAnAccessWaysGraph)
{
    m_team = new CWardelTeam(2, "escorts");
    EXPECT_FALSE(m_team->Init(nullptr));
    EXPECT_FALSE(m_team->ReadParameter(nullptr));
}

TEST(AiRandomTest, StaysInFifteenBitsAndRepeatsFromASeed)
{
    AiSeedRandom(42);
    std::vector<int32_t> first;
    for (int i = 0; i < 1000; ++i) {
        first.push_back(AiRandom());
        ASSERT_GE(first.back(), 0);
        ASSERT_LE(first.back(), kAiRandomMax);
    }
    AiSeedRandom(42);
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(AiRandom(), first[size_t(i)]);
    AiSetRandomSource([](void*) -> int32_t { return -1; }, nullptr);
    EXPECT_EQ(AiRandom(), kAiRandomMax);
    AiSetRandomSource(nullptr, nullptr);
}

} // namespace
} // namespace Zelk
