// Search constraints: a constraint prices the crossing of one arc for one
// searcher. The A* search asks the graph's current constraint (and its
// heuristic, heuristic.h). Constraints are created by name from the runtime's
// constraint registry.
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

} // namespace Zelk
