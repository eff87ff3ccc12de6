// A point container over a graph of the graph manager: the graph named by the
// configuration node, its nodes seen as 16-bit indexed points. Created by
// name through the runtime's graph-wrapper registry (the point mapper's
// "Container" children).
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/vec3.h"

#include <cstdint>

namespace Zelk {

class CConfigNode;
class CSpatialGraph;

class CGraphWrapper : public CAiObject
{
  public:
    // The graph named by the node's value (or, for an element with children,
    // its name), found through the current world's graph manager; false when
    // the node, its name, the manager or the graph is missing.
    virtual bool Init(CConfigNode* node);
    // The graph's node count as a 16-bit value.
    virtual uint16_t GetNodeCount() const;
    // Position of the node with that index; the origin for an empty slot.
    virtual CVec3 GetNodePosition(uint16_t index) const;
    virtual const CClassRecord* GetClassRecord() const;

    CSpatialGraph* GetGraph() const { return m_graph; }
    void SetGraph(CSpatialGraph* graph) { m_graph = graph; }

    // The graph name a container node gives: its value, else its name.
    static const char* GraphNameOf(const CConfigNode* node);

  private:
    CSpatialGraph* m_graph = nullptr; // not owned
};

} // namespace Zelk
