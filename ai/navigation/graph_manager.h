// The graph manager: the world-level service that owns the navigation graphs
// of a world, each known by its configured name, with up to 32 additional-data
// objects per graph. It also sizes the process-wide A* memory.
//
// Configuration (a "Service" definition with "Class" = "CGraphManager"):
//   <Graph "name">                     one graph; "name" is how it is asked for
//     <RawData>file</RawData>          required, before any AdditionalData
//     <UpdateWithPathObjects>1</...>   optional: path objects attach to this graph
//     <CoverageDistance>r</...>        optional: search radius in metres
//     <AdditionalData> <Class>CFindNearestData</Class> <RawData>..</RawData> </AdditionalData>
//   </Graph>
//   <AstarMemory>n</AstarMemory>       optional: A* memory for n nodes (default: largest graph)
#pragma once

#include "ai/navigation/graph_data.h"
#include "ai/runtime/registries.h"
#include "ai/runtime/service.h"
#include "ai/runtime/vec3.h"

#include <cstdint>
#include <vector>

namespace Zelk {

class CSpatialGraph;

class CGraphEntry : public CAiObject
{
  public:
    static constexpr int kNameSize = 128;
    static constexpr uint32_t kMaxAdditionalData = 32;

    CGraphEntry(const char* name, CSpatialGraph* graph, bool updateWithPathObjects);
    ~CGraphEntry() override;
    CGraphEntry(const CGraphEntry&) = delete;
    CGraphEntry& operator=(const CGraphEntry&) = delete;

    const char* GetName() const { return m_name; }
    CSpatialGraph* GetGraph() const { return m_graph; }
    bool UpdatesWithPathObjects() const { return m_updateWithPathObjects; }
    uint32_t GetAdditionalDataCount() const { return m_dataCount; }
    CGraphAdditionalData* GetAdditionalData(uint32_t i) const
    {
        return i < m_dataCount ? m_data[i] : nullptr;
    }
    // Takes ownership; false (object not taken) when 32 are held already.
    bool AddAdditionalData(CGraphAdditionalData* data);

  private:
    char m_name[kNameSize] = {};
    CSpatialGraph* m_graph; // owned
    bool m_updateWithPathObjects;
    CGraphAdditionalData* m_data[kMaxAdditionalData] = {};
    uint32_t m_dataCount = 0;
};

class CGraphManager : public CGlobalService
{
  public:
    CGraphManager() = default;
    // Destroys every entry and releases the A* memory.
    ~CGraphManager() override;

    // Reads "Graph" and "AstarMemory" children; sizes the A* memory for the
    // largest graph when "AstarMemory" is absent. False on a graph that cannot
    // be loaded, a repeated graph name, an unknown key or failed A* memory.
    bool Init(CConfigNode* node) override;
    bool ReadParameter(CConfigNode* child) override;
    const CClassRecord* GetClassRecord() const override;

    // The graph of that name (case-sensitive); null when none.
    CSpatialGraph* GetGraph(const char* name) const;
    // The graph's data object of exactly that class; null when none.
    CGraphAdditionalData* GetAdditionalData(const CSpatialGraph* graph, const CClassRecord* record) const;
    // Loads a graph from a "RawData" node; null when the name is null or
    // present or the file is refused.
    CGraphEntry* LoadGraph(const char* name, CConfigNode* rawData, bool updateWithPathObjects);
    // Takes ownership of the graph under that name; false when either is null or the name is present.
    bool AddGraph(const char* name, CSpatialGraph* graph, bool updateWithPathObjects);
    // Destroys the graph of that name; false when absent.
    bool RemoveGraph(const char* name);
    bool HasGraph(const CSpatialGraph* graph) const;
    uint32_t GetEntryCount() const { return uint32_t(m_entries.size()); }
    CGraphEntry* GetEntry(uint32_t i) const { return i < m_entries.size() ? m_entries[i] : nullptr; }
    // The entry holding the graph; null when none.
    CGraphEntry* FindEntry(const CSpatialGraph* graph) const;

    // The current world's graph manager; null without world or manager.
    static CGraphManager* FindInCurrentWorld();
    static const CGlobalServiceClassRecord& Record();

  private:
    bool ReadGraph(CConfigNode* child);

    std::vector<CGraphEntry*> m_entries; // owned
    bool m_astarMemoryGiven = false;
};

// Distance below which the navigation takes two positions for one (world
// units): 0.1 x OneMeter of the world whose graph manager started last, and its square.
float NavGetPositionTolerance();
float NavGetPositionTolerance2();

// True when the "CPathFinder" record received a registry index.
bool CheckPathFinderRegistered();
// True when every navigation data, constraint, heuristic, path-object, wrapper
// and manager record received a registry index.
bool CheckGraphDataClassesRegistered();

} // namespace Zelk
