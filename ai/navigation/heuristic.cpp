#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_cost_data.h"
#include "ai/navigation/spatial_graph.h"

#include <cmath>

namespace Zelk {

namespace {

template <class T> CHeuristic* CreateHeuristic()
{
    return new T();
}

CHeuristicClassRecord s_euclidRecord("CHeuristicEuclidianDistance",
                                     &CreateHeuristic<CHeuristicEuclidianDistance>);
CHeuristicClassRecord s_zeroRecord("CZeroHeuristic", &CreateHeuristic<CZeroHeuristic>);
CHeuristicClassRecord s_pathCostRecord("CPathCostHeuristic", &CreateHeuristic<CPathCostHeuristic>);

} // namespace

bool CHeuristicEuclidianDistance::Estimate(void* /*user*/, CGraphNode* from, CGraphNode* to, float* estimate)
{
    *estimate = std::sqrt(CVec3::SquaredDistance(from->GetPosition(), to->GetPosition()));
    return true;
}

const CClassRecord* CHeuristicEuclidianDistance::GetClassRecord() const
{
    return &s_euclidRecord;
}

bool CZeroHeuristic::Estimate(void* /*user*/, CGraphNode* /*from*/, CGraphNode* /*to*/, float* estimate)
{
    *estimate = 0.0f;
    return true;
}

const CClassRecord* CZeroHeuristic::GetClassRecord() const
{
    return &s_zeroRecord;
}

bool CPathCostHeuristic::Estimate(void* /*user*/, CGraphNode* from, CGraphNode* to, float* estimate)
{
    if (m_data == nullptr || !m_data->IsUsable()) {
        *estimate = 0.0f;
        return false;
    }
    const uint8_t v = m_data->GetCost(from->GetIndex(), to->GetIndex());
    if (v == CPathCostData::kNoPath)
        return false;
    *estimate = float(v) / m_data->GetScale();
    return true;
}

void CPathCostHeuristic::SetGraph(CSpatialGraph* graph)
{
    m_data = static_cast<CPathCostData*>(FindGraphData(graph, CGraphDataClassRecord::Find("CPathCostData")));
}

const CClassRecord* CPathCostHeuristic::GetClassRecord() const
{
    return &s_pathCostRecord;
}

} // namespace Zelk
