// The path-object manager: the world-level service that tracks the path
// objects of a world, offers each to the graphs whose entries update with
// path objects, gathers their segments, and keeps the process-wide listener
// table through which path objects tell path finders that their paths must
// be searched again. Needs the graph manager ("CGraphManager" must come
// before it in the configuration).
//   <MaxNbPathObjects>20</MaxNbPathObjects>   optional capacity
#pragma once

#include "ai/runtime/fixed_list.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/service.h"

#include <cstdint>
#include <vector>

namespace Zelk {

class CEntity;
class CGraphManager;
class CPathObject;

// A listener receives the path object that changed and its own user value.
using PathObjectListener = void (*)(CPathObject* object, void* user);

class CPathObjectManager : public CGlobalService
{
  public:
    // Registers the entity-added and entity-removed notices with the world.
    CPathObjectManager();
    ~CPathObjectManager() override;

    // False without a graph manager in the world or on a refused parameter.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override;

    // False when the capacity is reached (or no graph manager can be found).
    bool AddPathObject(CPathObject* object);
    // Unlinks the object from every arc and forgets it; false when unknown.
    bool RemovePathObject(CPathObject* object);
    uint32_t GetPathObjectCount() const { return uint32_t(m_objects.size()); }
    uint32_t GetCapacity() const { return m_capacity; }
    // Total segment count of the objects; segments set to a cache built on first request.
    uint32_t GetSegments(const CVec3Pair*& segments);

    // The listener table is process-wide, shared by all worlds. A hole left by
    // a removed listener is filled by the next registration.
    static void AddPathObjectListener(PathObjectListener fn, void* user, void* filter);
    static void RemovePathObjectListener(PathObjectListener fn, void* user, void* filter);
    // Calls every listener whose filter equals the given one, or is null, or
    // every listener when the given filter is null.
    static void NotifyPathObjectListeners(CPathObject* object, void* filter);
    static uint32_t GetListenerCapacity();

    static const CGlobalServiceClassRecord& Record();

  private:
    static void OnEntityAdded(CEntity* entity, void* user);
    static void OnEntityRemoved(CEntity* entity, void* user);
    void OfferGraphs(CPathObject* object);

    std::vector<CPathObject*> m_objects; // not owned
    CGraphManager* m_graphManager = nullptr;
    uint32_t m_capacity = 20;
    std::vector<CVec3Pair> m_segments;
    bool m_segmentsBuilt = false;
};

} // namespace Zelk
