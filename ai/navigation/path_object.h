// Path objects: entities that attach themselves to arcs of navigation graphs,
// so that the A* search asks them, instead of the constraint, what crossing
// such an arc costs, and the path finder finds them beside the arc in a path.
// Several objects may be linked to one arc: the arc points to the newest and
// each link record remembers the object linked before it (a chain).
#pragma once

#include "ai/runtime/entity.h"
#include "ai/runtime/fixed_list.h"
#include "ai/runtime/registries.h"

#include <cstdint>
#include <vector>

namespace Zelk {

class CConstraint;
class CGraphArc;
class CPathObjectManager;
class CSpatialGraph;

class CPathObject : public CEntity
{
  public:
    CPathObject(const char* name, void* hostObject) : CEntity(name, hostObject) {}
    // Unlinks every arc still linked to this object.
    ~CPathObject() override;

    // Reads "LinkedEdgeMax" (absent or 0: 1 link) and finds the world's path-object manager.
    bool Init(CConfigNode* config) override;

    // The cost of crossing the arc (base: the constraint's); false refuses the arc.
    virtual bool CostThroughArc(void* user, CGraphArc* arc, CConstraint* constraint, float* cost);
    // May the entity go on along the arc from its position toward the sub-goal (base: true).
    virtual bool MayGoOn(CEntity* entity, const CVec3& position, const CVec3& subGoal);
    // Where the entity should head for the target: the target itself; sets
    // `reached` when the entity is within OneMeter squared of it. Base: false
    // (no move of its own).
    virtual bool MoveTarget(CEntity* entity, const CVec3& target, uint32_t word, uint8_t* reached,
                            CVec3& out);
    // Does the entity need a new path (base: true).
    virtual bool NeedsNewPath(CEntity* entity);
    // Is the entity stuck on this object's arc (base: false).
    virtual bool IsStuck(CEntity* entity);
    // Calls the manager's listeners whose filter matches (null matches all).
    virtual void Notify(void* filter);
    virtual int32_t GetSegmentCount();
    // The object's segments (null when it has none).
    virtual const CVec3Pair* GetSegments();
    // Offered every graph whose entry updates with path objects, when the
    // object enters the world.
    virtual bool AcceptGraph(CSpatialGraph* graph) = 0;
    // Links the arc to this object; false for null arguments or beyond the
    // maximum number of links. Linking an arc twice adds no second record.
    virtual bool Link(CSpatialGraph* graph, CGraphArc* arc);
    // Takes this object out of the arc's chain and forgets the record; false
    // when it holds no record for the arc or the chain is broken.
    virtual bool Unlink(CSpatialGraph* graph, CGraphArc* arc);
    // Notifies the listeners, then unlinks every arc of a graph the manager still holds.
    virtual void UnlinkAll();
    virtual void NotifyAll();
    // Called before an arc is unlinked (base: nothing).
    virtual void OnUnlink(CSpatialGraph* /*graph*/, CGraphArc* /*arc*/) {}

    uint32_t GetLinkCount() const { return uint32_t(m_links.size()); }
    uint32_t GetMaxLinks() const { return m_maxLinks; }
    // True when this object holds a link record for the arc.
    bool HoldsLink(const CGraphArc* arc) const;

    static const CEntityClassRecord& BaseRecord();

  private:
    struct LinkRecord
    {
        CSpatialGraph* graph;
        CGraphArc* arc;
        CPathObject* previous;
    };
    LinkRecord* FindLink(const CGraphArc* arc);

    std::vector<LinkRecord> m_links;
    CPathObjectManager* m_manager = nullptr;
    uint32_t m_maxLinks = 25;
};

// The program's one concrete path object: names a seed graph whose nodes and
// arcs are its segments (the graph generator's starting geometry).
class CSeedPathObject : public CPathObject
{
  public:
    CSeedPathObject(const char* name, void* hostObject);
    ~CSeedPathObject() override;

    // Base Init, then "SEED_GRAPH": the graph manager's graph of that name (required).
    bool Init(CConfigNode* config) override;
    const CClassRecord* GetClassRecord() const override;
    void Update() override {}
    bool AcceptGraph(CSpatialGraph* /*graph*/) override { return true; }
    // Seed graph's node count + arc count.
    int32_t GetSegmentCount() override;
    // One zero-length segment per node, then one per arc (built once).
    const CVec3Pair* GetSegments() override;

    CSpatialGraph* GetSeedGraph() const { return m_seedGraph; }
    // The most recently constructed seed object still alive; null when none.
    static CSeedPathObject* GetCurrent();

  private:
    char m_seedName[256] = {};
    CSpatialGraph* m_seedGraph = nullptr;
    std::vector<CVec3Pair> m_segments;
};

} // namespace Zelk
