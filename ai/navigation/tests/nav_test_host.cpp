#include "nav_test_host.h"

#include <cmath>

namespace Zelk::NavTest {

CTestHost& Host()
{
    static CTestHost host;
    return host;
}

void StartRuntime()
{
    TestWorld::StartRuntime(Host(), 64);
}

CWorld* StartWorld(const std::string& configText)
{
    return TestWorld::Start(Host(), configText, 64);
}

std::string WorldText(float oneMeter, const std::string& extra)
{
    return "<World \"test\"><MaxEntity>16</MaxEntity><OneMeter>" + std::to_string(oneMeter) +
           "</OneMeter><Tpf>20</Tpf>" + extra + "</World>";
}

void MakeRandomGraph(CSpatialGraph& graph, int n, float size, int arcsPerNode, uint32_t seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(0.0f, size);
    std::uniform_int_distribution<int> pick(0, n - 1);
    for (int i = 0; i < n; ++i) {
        CGraphNodeData record;
        record.position = CVec3(coordinate(random), coordinate(random), coordinate(random));
        graph.AddNode(record);
    }
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < arcsPerNode; ++k) {
            CGraphNode* from = graph.GetNode(i);
            CGraphNode* to = graph.GetNode(pick(random));
            CGraphArcData arc;
            arc.length = arc.cost = std::sqrt(CVec3::SquaredDistance(from->GetPosition(), to->GetPosition()));
            graph.AddArc(arc, from, to);
        }
}

} // namespace Zelk::NavTest
