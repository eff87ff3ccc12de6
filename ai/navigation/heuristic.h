// Search heuristics: a heuristic estimates the cost still to pay from a node
// to the goal; the A* search asks the graph's current heuristic. Heuristics
// are created by name from the heuristic registry below.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/class_record.h"

namespace Zelk {

class CGraphNode;
class CPathCostData;
class CSpatialGraph;

class CHeuristic : public CAiObject
{
  public:
    // Writes the estimated cost from one node to the other; false refuses.
    virtual bool Estimate(void* user, CGraphNode* from, CGraphNode* to, float* estimate) = 0;
    virtual void SetGraph(CSpatialGraph* /*graph*/) {}
    virtual const CClassRecord* GetClassRecord() const = 0;
};

// Heuristic classes: creator() -> heuristic.
struct HeuristicKind
{
    using Creator = CHeuristic* (*)();
};
using CHeuristicClassRecord = TClassRecord<HeuristicKind>;

// Straight-line distance between the nodes.
class CHeuristicEuclidianDistance : public CHeuristic
{
  public:
    bool Estimate(void* user, CGraphNode* from, CGraphNode* to, float* estimate) override;
    const CClassRecord* GetClassRecord() const override;
};

// Always 0: the search becomes a uniform-cost search.
class CZeroHeuristic : public CHeuristic
{
  public:
    bool Estimate(void* user, CGraphNode* from, CGraphNode* to, float* estimate) override;
    const CClassRecord* GetClassRecord() const override;
};

// The graph's path-cost data: byte / scale; refuses pairs stored as 255 and
// every pair when the graph has no usable path-cost data.
class CPathCostHeuristic : public CHeuristic
{
  public:
    bool Estimate(void* user, CGraphNode* from, CGraphNode* to, float* estimate) override;
    // Finds the graph's CPathCostData through the world's graph manager.
    void SetGraph(CSpatialGraph* graph) override;
    const CClassRecord* GetClassRecord() const override;
    // Uses the given data directly (null: none).
    void SetData(CPathCostData* data) { m_data = data; }

  private:
    CPathCostData* m_data = nullptr;
};

} // namespace Zelk
