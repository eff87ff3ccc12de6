// Access-ways data of a graph: for every node A, the arcs that lead from a
// node that cannot be seen from A to a node that can -- the ways by which
// something unseen can come into A's sight.
#pragma once

#include "ai/navigation/graph_data.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CAccessWaysData : public CGraphAdditionalData
{
  public:
    static constexpr char kMagic[] = "Varnoth AccessWays Data";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;
    // The file stores the node count and the arc indices in 16 bits.
    static constexpr int32_t kMaxNodes = 65535;
    static constexpr int32_t kMaxArcIndex = 65535;

    explicit CAccessWaysData(CSpatialGraph* graph) : CGraphAdditionalData(graph) {}

    // Reads the file of the node's "RawData" child.
    bool Init(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override;
    // Computes every node's access ways with the host's line-of-sight test.
    // False for a graph without nodes or arcs, with holes, or too large for
    // the file (more than 65535 nodes or an arc index above 65535).
    bool Build() override;
    bool Write(const char* fileName) override;

    // Fails on wrong magic or version, a node count other than the graph's,
    // counts longer than the data or arc indices that name no arc of the graph.
    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool ReadFromFile(const char* fileName);
    bool WriteToMemory(std::vector<uint8_t>& out) const;

    // The node's access-way arc indices; their count, 0 (list null) outside 0..N-1.
    int32_t GetAccessWays(int32_t nodeIndex, const uint16_t*& list) const;
    int32_t GetNodeCount() const { return int32_t(m_lists.size()); }
    // World units per metre for Build's sideways and upward offsets; 0 (the
    // default) takes the current world's, or 1 without a world.
    void SetOneMeter(float oneMeter) { m_oneMeter = oneMeter; }

  private:
    float m_oneMeter = 0.0f;
    std::vector<std::vector<uint16_t>> m_lists; // one per node index
};

} // namespace Zelk
