#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/path_way.h"
#include "ai/runtime/world.h"
#include "nav_test_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace Zelk {
namespace {

// Records every renumbering so that it can be checked.
class CTrackingPathWay : public CPathWay
{
  public:
    void OnPointIndexChanged(int32_t oldIndex, int32_t newIndex) override
    {
        moves.emplace_back(oldIndex, newIndex);
    }
    std::vector<std::pair<int32_t, int32_t>> moves;
};

// The header of a path-way file with the given name and flag.
CNavByteWriter Header(const char* name, bool looped, uint32_t version = 1)
{
    CNavByteWriter writer;
    writer.WriteBytes(CPathWay::kMagic, CPathWay::kMagicLength);
    writer.WriteU32(version);
    writer.WriteU32(uint32_t(std::strlen(name)));
    writer.WriteBytes(name, std::strlen(name));
    const uint8_t flag = looped ? 1 : 0;
    writer.WriteBytes(&flag, 1);
    return writer;
}

void Tag(CNavByteWriter& writer, uint8_t tag)
{
    writer.WriteBytes(&tag, 1);
}

void PointRecord(CNavByteWriter& writer, uint8_t tag, float x, float y, float z)
{
    Tag(writer, tag);
    writer.WriteF32(x);
    writer.WriteF32(y);
    writer.WriteF32(z);
}

CPathWay SamplePathWay()
{
    CPathWay way;
    way.SetName("Patrol");
    way.SetLooped(true);
    way.AddPoint(CVec3(1.0f, 0.0f, 2.0f), "walk");
    way.AddPoint(CVec3(3.0f, 0.5f, -4.0f), "run");
    way.AddPoint(CVec3(-1.5f, 0.0f, 0.0f), "jump");
    way.AddPoint(CVec3(0.0f, 2.0f, 8.0f), "crouch");
    way.GetPoint(0)->SetAction("pause 2.5");
    way.GetPoint(1)->SetAction("rotate -90");
    way.GetPoint(2)->SetAction("orient 45.25");
    way.GetPoint(3)->SetAction("look around");
    return way;
}

class PathWayTest : public ::testing::Test
{
  protected:
    void SetUp() override { NavTest::StartRuntime(); }
    void TearDown() override { NavTest::StopWorld(); }
};

TEST_F(PathWayTest, FileRoundTripThroughTheManager)
{
    const std::string file = NavTest::OutputPath("patrol.way");
    ASSERT_TRUE(SamplePathWay().WriteToFile(file.c_str()));
    CWorld* world = NavTest::StartWorld(NavTest::WorldText(
        2.0f, "<GlobalServices><Service>Ways</Service></GlobalServices><Services><Service \"Ways\">"
              "<Class>CPathWayManager</Class><PathWay \"Patrol\"><RawData>" +
                  file + "</RawData></PathWay></Service></Services>"));
    ASSERT_NE(world, nullptr);
    auto* ways = static_cast<CPathWayManager*>(world->FindGlobalService(&CPathWayManager::s_classRecord));
    ASSERT_NE(ways, nullptr);
    const CPathWay* way = ways->GetPathWay("Patrol");
    ASSERT_NE(way, nullptr);
    EXPECT_STREQ(way->GetName(), "Patrol");
    EXPECT_TRUE(way->IsLooped());
    ASSERT_EQ(way->GetPointCount(), 4u);
    const CPathWay expected = SamplePathWay();
    const char* actions[] = {"pause 2.500000\n", "rotate -90.000000\n", "orient 45.250000\n", "look around"};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(way->GetPoint(i)->position, expected.GetPoint(i)->position) << i;
        EXPECT_STREQ(way->GetPoint(i)->mode, expected.GetPoint(i)->mode) << i;
        EXPECT_STREQ(way->GetPoint(i)->action, actions[i]) << i;
    }
    // Written again, the formatted actions keep their records.
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    ASSERT_TRUE(expected.WriteToMemory(first));
    ASSERT_TRUE(way->WriteToMemory(second));
    EXPECT_EQ(first, second);
    // FindPointNear counts the radius in metres (OneMeter 2 here).
    EXPECT_EQ(way->FindPointNear(CVec3(1.0f, 0.0f, 3.5f), 1.0f), 0);
    EXPECT_EQ(way->FindPointNear(CVec3(1.0f, 0.0f, 4.5f), 1.0f), -1);
    EXPECT_EQ(way->FindPointNear(CVec3(1.0f, 0.0f, 2.0f), 0.0f), -1);
}

TEST_F(PathWayTest, RecordsAsStored)
{
    // Only a header and the end: an empty path way.
    CNavByteWriter empty = Header("", false);
    Tag(empty, 0);
    CPathWay way;
    ASSERT_TRUE(way.ReadFromMemory(empty.Bytes().data(), empty.Bytes().size()));
    EXPECT_EQ(way.GetPointCount(), 0u);

    // Actions before the first point are lost; unknown tags carry nothing; a raw action of 64
    // bytes without terminator is cut to 63.
    CNavByteWriter writer = Header("Odd", false);
    Tag(writer, 11);
    writer.WriteF32(9.0f);
    Tag(writer, 7);
    PointRecord(writer, 2, 1.0f, 2.0f, 3.0f);
    Tag(writer, 200);
    Tag(writer, 14);
    const std::string raw(64, 'a');
    writer.WriteBytes(raw.data(), raw.size());
    PointRecord(writer, 4, 4.0f, 5.0f, 6.0f);
    Tag(writer, 13);
    writer.WriteF32(-30.0f);
    Tag(writer, 0);
    ASSERT_TRUE(way.ReadFromMemory(writer.Bytes().data(), writer.Bytes().size()));
    ASSERT_EQ(way.GetPointCount(), 2u);
    EXPECT_STREQ(way.GetPoint(0)->mode, "run");
    EXPECT_EQ(std::string(way.GetPoint(0)->action), std::string(63, 'a'));
    EXPECT_STREQ(way.GetPoint(1)->mode, "crouch");
    EXPECT_STREQ(way.GetPoint(1)->action, "orient -30.000000\n");
    EXPECT_FALSE(way.IsLooped());
    EXPECT_STREQ(way.GetName(), "Odd");
}

TEST_F(PathWayTest, RefusesBrokenFiles)
{
    std::vector<uint8_t> good;
    ASSERT_TRUE(SamplePathWay().WriteToMemory(good));
    CPathWay way;
    // Every cut short of the end tag.
    for (size_t size = 0; size < good.size(); ++size) {
        EXPECT_FALSE(way.ReadFromMemory(good.data(), size)) << size;
        EXPECT_EQ(way.GetPointCount(), 0u);
    }
    ASSERT_TRUE(way.ReadFromMemory(good.data(), good.size()));

    CNavByteWriter version = Header("v", false, 2);
    Tag(version, 0);
    EXPECT_FALSE(way.ReadFromMemory(version.Bytes().data(), version.Bytes().size()));
    EXPECT_EQ(NavGetLastError(), ENavError::WrongVersion);
    std::vector<uint8_t> magic = good;
    magic[0] = 'X';
    EXPECT_FALSE(way.ReadFromMemory(magic.data(), magic.size()));
    EXPECT_EQ(NavGetLastError(), ENavError::WrongMagic);
    const std::string longName(256, 'n');
    CNavByteWriter named = Header(longName.c_str(), false);
    Tag(named, 0);
    EXPECT_FALSE(way.ReadFromMemory(named.Bytes().data(), named.Bytes().size()));
    EXPECT_EQ(NavGetLastError(), ENavError::BadCount);

    // A mode none of the four cannot be written.
    CPathWay odd;
    odd.AddPoint(CVec3(), "swim");
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(odd.WriteToMemory(bytes));
}

TEST_F(PathWayTest, EditingRenumbersPoints)
{
    CTrackingPathWay way;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(way.AddPoint(CVec3(float(i), 0.0f, 0.0f), "walk"));
    EXPECT_EQ(way.GetCapacity(), 5u);
    EXPECT_TRUE(way.moves.empty());
    // Inserting the sixth point at 3 grows the capacity by 5 and moves 4 and 3 up.
    ASSERT_TRUE(way.AddPoint(CVec3(9.0f, 0.0f, 0.0f), "run", 3));
    EXPECT_EQ(way.GetCapacity(), 10u);
    EXPECT_EQ(way.moves, (std::vector<std::pair<int32_t, int32_t>>{{4, 5}, {3, 4}}));
    EXPECT_EQ(way.GetPoint(3)->position.x, 9.0f);
    // Indices other than -2 below 0, or above the count, are refused.
    EXPECT_FALSE(way.AddPoint(CVec3(), "walk", -1));
    EXPECT_FALSE(way.AddPoint(CVec3(), "walk", -3));
    EXPECT_FALSE(way.AddPoint(CVec3(), "walk", 7));
    EXPECT_TRUE(way.AddPoint(CVec3(7.0f, 0.0f, 0.0f), "walk", 6));

    way.moves.clear();
    ASSERT_TRUE(way.RemovePoint(3));
    EXPECT_EQ(way.moves, (std::vector<std::pair<int32_t, int32_t>>{{4, 3}, {5, 4}, {6, 5}}));
    EXPECT_FALSE(way.RemovePoint(6));
    EXPECT_FALSE(way.RemovePoint(-1));

    way.moves.clear();
    ASSERT_TRUE(way.MovePoint(0, 2)); // 0 1 2 3 4 7 -> 1 2 0 3 4 7
    EXPECT_EQ(way.GetPoint(2)->position.x, 0.0f);
    EXPECT_EQ(way.GetPoint(0)->position.x, 1.0f);
    EXPECT_EQ(way.moves.back(), std::make_pair(0, 2));
    EXPECT_FALSE(way.MovePoint(0, 6));

    EXPECT_TRUE(way.SetPointPosition(CVec3(5.0f, 5.0f, 5.0f), 1));
    EXPECT_TRUE(way.TranslatePoint(CVec3(1.0f, 0.0f, 0.0f), 1));
    EXPECT_EQ(way.GetPoint(1)->position, CVec3(6.0f, 5.0f, 5.0f));
    EXPECT_FALSE(way.SetPointPosition(CVec3(), 6));
    way.Translate(CVec3(0.0f, 1.0f, 0.0f));
    EXPECT_EQ(way.GetPoint(1)->position, CVec3(6.0f, 6.0f, 5.0f));

    CPathWay copy(way);
    EXPECT_EQ(copy.GetPointCount(), 6u);
    EXPECT_EQ(copy.GetCapacity(), 6u);
}

TEST_F(PathWayTest, DrawsPointsAndLinks)
{
    CPathWay way = SamplePathWay();
    NavTest::Host().ClearDrawing();
    way.Draw();
    EXPECT_EQ(NavTest::Host().GetPoints().size(), 4u);
    ASSERT_EQ(NavTest::Host().GetLines().size(), 4u); // three links and the loop back
    EXPECT_EQ(NavTest::Host().GetPoints()[0].green, 255);
    EXPECT_EQ(NavTest::Host().GetPoints()[0].red, 0);
    EXPECT_EQ(NavTest::Host().GetLines()[3].p, way.GetPoint(3)->position);
    EXPECT_EQ(NavTest::Host().GetLines()[3].q, way.GetPoint(0)->position);
}

} // namespace
} // namespace Zelk
