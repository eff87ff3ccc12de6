#include "escort_test_host.h"
#include "ai/behaviours/access_ways_generate.h"
#include <gtest/gtest.h>

namespace Zelk::EscortTest {

CTestHost& Host()
{
    static CTestHost host;
    return host;
}

std::string WorldText(const std::string& extra)
{
    return "<World "
           "\"escort\"><MaxEntity>64</MaxEntity><MaxTeam>4</MaxTeam><OneMeter>1</OneMeter><Tpf>20</Tpf>" +
           extra + "</World>";
}

CWorld* StartWorld(const std::string& configText)
{
    return TestWorld::Start(Host(), configText.empty() ? WorldText() : configText, 64);
}

CStar MakeStar(const CVec3& centre, const std::vector<CVec3>& ways)
{
    CStar star;
    star.graph = std::make_unique<CSpatialGraph>();
    CGraphNode* hub = AddNodeAtPosition(*star.graph, centre);
    std::vector<std::vector<uint16_t>> lists(ways.size() + 1);
    for (const CVec3& way : ways) {
        CGraphNode* end = AddNodeAtPosition(*star.graph, way);
        CGraphArcData arc;
        lists[0].push_back(uint16_t(star.graph->AddArc(arc, hub, end)));
    }
    star.data = std::make_unique<CAccessWaysData>(star.graph.get());
    EXPECT_TRUE(AccessWaysDataFromLists(*star.data, lists));
    return star;
}

std::vector<CVec3> WaysAtHeadings(const CVec3& centre, float r, const std::vector<float>& headings)
{
    std::vector<CVec3> ways;
    for (float h : headings)
        ways.push_back(centre + CVec3(SinDeg(h) * r, 0.0f, CosDeg(h) * r));
    return ways;
}

} // namespace Zelk::EscortTest
