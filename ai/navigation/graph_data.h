// Additional data of a graph: derived structures built over one graph
// (find-nearest, access ways, A* table, path costs), kept by the graph
// manager with the graph and created by class name from the configuration.
#pragma once

#include "ai/runtime/allocator.h"
#include "ai/runtime/class_record.h"

namespace Zelk {

class CConfigNode;
class CSpatialGraph;

class CGraphAdditionalData : public CAiObject
{
  public:
    explicit CGraphAdditionalData(CSpatialGraph* graph) : m_graph(graph) {}
    CGraphAdditionalData(const CGraphAdditionalData&) = delete;
    CGraphAdditionalData& operator=(const CGraphAdditionalData&) = delete;

    // Reads the object's parameters (normally its "RawData" file) from the
    // "AdditionalData" configuration node and loads the data.
    virtual bool Init(CConfigNode* node) = 0;
    virtual const CClassRecord* GetClassRecord() const = 0;
    // Computes the data from the graph.
    virtual bool Build() { return false; }
    // Writes the data file through the host's file functions.
    virtual bool Write(const char* /*fileName*/) { return false; }

    CSpatialGraph* GetGraph() const { return m_graph; }

  protected:
    CSpatialGraph* m_graph; // not owned
};

// Graph-data classes: creator(graph) -> data object, in a registry of their own.
struct GraphDataKind
{
    using Creator = CGraphAdditionalData* (*)(CSpatialGraph* graph);
};
using CGraphDataClassRecord = TClassRecord<GraphDataKind>;

// The graph's data object of exactly that class, held by the current world's
// graph manager; null without world, manager or such data.
CGraphAdditionalData* FindGraphData(const CSpatialGraph* graph, const CClassRecord* record);

} // namespace Zelk
