// Path-cost data of a graph: one byte per ordered pair of nodes, a byte v
// standing for the cost v / scale, 255 for a pair without a path. Read by
// CPathCostHeuristic; the system has no builder for it, only a reader and a writer.
#pragma once

#include "ai/navigation/graph_data.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CPathCostData : public CGraphAdditionalData
{
  public:
    static constexpr char kMagic[] = "Varnoth PathCost Data";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;
    static constexpr uint8_t kNoPath = 255;

    // The table is sized for the graph's node count N (N x N bytes, all 255).
    explicit CPathCostData(CSpatialGraph* graph);

    // Reads the file of the node's "RawData" child.
    bool Init(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override;
    bool Write(const char* fileName) override;

    // Fails on wrong magic or version, a table size other than N x N, or a scale
    // that is not a positive finite number; the data is then unusable until a
    // read succeeds.
    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool ReadFromFile(const char* fileName);
    bool WriteToMemory(std::vector<uint8_t>& out) const;

    // True once a table was read or set; the heuristic refuses everything otherwise.
    bool IsUsable() const { return m_usable; }
    int32_t GetNodeCount() const { return m_nodeCount; }
    float GetScale() const { return m_scale; }
    // The byte of the pair; 255 for indices outside 0..N-1.
    uint8_t GetCost(int32_t from, int32_t to) const;
    // Fills the table (tests and tools): bytes row by row, N x N, scale > 0.
    bool SetTable(const std::vector<uint8_t>& table, float scale);

  private:
    int32_t m_nodeCount;
    std::vector<uint8_t> m_table;
    float m_scale = 0.0f;
    bool m_usable = false;
};

} // namespace Zelk
