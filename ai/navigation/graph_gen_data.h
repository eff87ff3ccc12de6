// Working data of the graph generator: one record per node of the graph under
// construction (exploration state, claimant, the sector points around it) and
// one per arc (walked or not, fixed or not). Records are addressed by the
// graph's node and arc indices; a graph that reports its moves (CGenGraph)
// keeps them in step when nodes or arcs change slots.
#pragma once

#include "ai/navigation/graph_data.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/vec3.h"

#include <cstdint>
#include <vector>

namespace Zelk {

class CGraphGenData;

// Most sectors a node can have.
inline constexpr int kGraphGenMaxSectors = 36;

struct CGraphGenSector
{
    CVec3 point;
    float score = 0.0f;
    uint8_t open = 1;
};

struct CGraphGenNodeRecord
{
    uint8_t explorationDone = 0;
    uint8_t fixed = 0;
    int32_t claimant = -1; // entity index of the agent exploring from it, -1 when none
    int32_t reserved0 = 0;
    int32_t reserved1 = 0;
    CGraphGenSector sectors[kGraphGenMaxSectors];
};

struct CGraphGenArcRecord
{
    uint8_t tested = 0;
    uint8_t fixed = 0; // made from a path-object segment: never walked, always kept
};

// The graph under construction: tells its generation data when a node or an
// arc moves to another slot, so that records follow their objects.
class CGenGraph : public CSpatialGraph
{
  public:
    void SetGenData(CGraphGenData* data) { m_genData = data; }
    void OnNodeMoved(int32_t oldIndex, int32_t newIndex) override;
    void OnArcMoved(int32_t oldIndex, int32_t newIndex) override;

  private:
    CGraphGenData* m_genData = nullptr; // not owned
};

class CGraphGenData : public CGraphAdditionalData
{
  public:
    static CGraphDataClassRecord s_classRecord;

    explicit CGraphGenData(CSpatialGraph* graph);
    // Allocates the records (at least 10000 of each, fresh); the configuration node is unused.
    bool Init(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override { return &s_classRecord; }
    // Nothing to compute: the generator fills the records as it runs.
    bool Build() override { return true; }
    // The records are working data: writes an empty file ("wb"); false when it cannot be created.
    bool Write(const char* fileName) override;

    // The record of a node or arc index; grows to twice the index when needed.
    // Null for a negative index or when memory is exhausted.
    CGraphGenNodeRecord* GetNodeRecord(int32_t index);
    CGraphGenArcRecord* GetArcRecord(int32_t index);
    // Puts the record of a node or arc index back to its state at creation.
    void ResetNodeRecord(int32_t index);
    void ResetArcRecord(int32_t index);
    // Moves a record to another index (the old one becomes fresh).
    void MoveNodeRecord(int32_t from, int32_t to);
    void MoveArcRecord(int32_t from, int32_t to);

  private:
    std::vector<CGraphGenNodeRecord> m_nodes;
    std::vector<CGraphGenArcRecord> m_arcs;
};

} // namespace Zelk
