// Search constraints and heuristics: a constraint prices the crossing of one
// arc for one searcher, a heuristic estimates the cost still to pay from a
// node to the goal. The A* search asks the graph's current pair. Constraints
// are created by name from the runtime's constraint registry, heuristics from
// the heuristic registry below.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/class_record.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CEntity;
class CGraphArc;
class CGraphNode;
class CSpatialGraph;
class CPathCostData;
class CPathObject;

// Prices an arc that has a linked path object: the object's own cost through
// the arc (normally the constraint's), written into cost; false refuses the arc.
bool PathObjectCostThroughArc(CPathObject* object, void* user, CGraphArc* arc, CConstraint* constraint,
                              float* cost);

class CConstraint : public CAiObject
{
  public:
    virtual const CClassRecord* GetClassRecord() const = 0;
    // Writes the cost of crossing the arc for the searcher (the user word);
    // false refuses the arc.
    virtual bool ComputeCost(void* user, CGraphArc* arc, float* cost) = 0;
    // The graph the searches will run on (nothing in the built-in classes).
    virtual void SetGraph(CSpatialGraph* /*graph*/) {}

    // The abstract base's record (no creator); every constraint class descends from it.
    static const CConstraintClassRecord& BaseRecord();
};

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

// Cost = the arc's length.
class CConstraintShortestPath : public CConstraint
{
  public:
    const CClassRecord* GetClassRecord() const override;
    bool ComputeCost(void* user, CGraphArc* arc, float* cost) override;
};

// At most 20 threat points and 20 threat entities each.
inline constexpr uint32_t kMaxThreats = 20;

// Cost = length + penalty for every threat within the radius of the arc's
// destination that can see it (host line of sight). Penalty 100 m, radius 20 m.
class CConstraintStealthPath : public CConstraint
{
  public:
    CConstraintStealthPath();
    const CClassRecord* GetClassRecord() const override;
    bool ComputeCost(void* user, CGraphArc* arc, float* cost) override;
    // False (nothing changes) when the list already holds 20 entries.
    bool AddThreatPoint(const CVec3& point);
    bool AddThreatEntity(CEntity* entity);

  protected:
    CVec3 m_points[kMaxThreats];
    CEntity* m_entities[kMaxThreats] = {};
    uint32_t m_pointCount = 0;
    uint32_t m_entityCount = 0;
    float m_penalty;
    float m_radius;
};

// Cost = length + penalty for every watcher within the radius whose field of
// view holds the arc's destination and who can see it.
class CConstraintConeVisionStealthPath : public CConstraint
{
  public:
    CConstraintConeVisionStealthPath();
    const CClassRecord* GetClassRecord() const override;
    bool ComputeCost(void* user, CGraphArc* arc, float* cost) override;
    bool AddThreatEntity(CEntity* entity);

  private:
    CEntity* m_entities[kMaxThreats] = {};
    uint32_t m_entityCount = 0;
    float m_penalty;
    float m_radius;
};

// Cost = length x, per threat, 1 + penalty ((radius - d) / radius)^3 where d
// is the threat's distance to the arc (within the radius). Penalty 20, radius 20 m.
class CConstraintPointToFleePath : public CConstraintStealthPath
{
  public:
    CConstraintPointToFleePath();
    const CClassRecord* GetClassRecord() const override;
    bool ComputeCost(void* user, CGraphArc* arc, float* cost) override;
};

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
