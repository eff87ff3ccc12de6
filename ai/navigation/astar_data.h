// A* data of a graph: for every ordered pair of nodes, the index of the first
// arc of a cheapest path between them under the shortest-path constraint, so
// that a path can be read off without searching. Needs the graph's nodes at
// indices 0..N-1. Table size N x N x 4 bytes; Build runs one search per node
// (N x (N - 1) when the graph holds a heuristic other than the zero one).
#pragma once

#include "ai/navigation/graph_data.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Zelk {

class CPathRecord;

class CAstarData : public CGraphAdditionalData
{
  public:
    static constexpr char kMagic[] = "Varnoth Astar Data";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;
    static constexpr uint32_t kNoArc = 0xFFFFFFFFu;
    /// Most nodes a table is built or read for: it holds nodes x nodes entries (64 MB at this size).
    static constexpr int32_t kMaxNodes = 4096;

    explicit CAstarData(CSpatialGraph* graph);

    // Reads the block of the node's "RawData" child straight into the table;
    // false for a graph without nodes or a block refused as ReadFromMemory says.
    bool Init(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override;
    // Stores what A* finds between all pairs with the shortest-path
    // constraint (whatever constraint the graph holds, restored afterwards)
    // and the graph's heuristic (the zero one when it holds none). False when
    // the graph has holes or the A* memory is too small for it. With the zero
    // heuristic the nodes' f, g, h, parent and arrival arc are not written.
    bool Build() override;
    bool Write(const char* fileName) override;

    // Fails on wrong magic or version, a graph beyond kMaxNodes, a size other
    // than N x N entries, or an entry that is neither -1 nor an out-arc of its
    // row's node (the diagonal must hold the row's own index).
    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool ReadFromFile(const char* fileName);
    bool WriteToMemory(std::vector<uint8_t>& out) const;

    // Fills the path record from start to goal by following the table; false
    // when an index is outside 0..N-1, there is no path, or the walk does not
    // reach the goal within N steps. A path longer than the record's capacity
    // is truncated and its remaining length accumulated.
    bool Lookup(int32_t start, int32_t goal, CPathRecord& path) const;

    // The first arc from i to j (i itself when i == j, kNoArc without a path).
    uint32_t GetEntry(int32_t i, int32_t j) const
    {
        return m_table[size_t(i) * size_t(m_nodeCount) + size_t(j)];
    }
    int32_t GetNodeCount() const { return m_nodeCount; }
    bool IsReady() const { return m_ready; }

  private:
    // Reads the header and the table from `read` (out, size) -> bytes copied,
    // fewer only at the end, and checks them; sizeHint is the whole size in
    // bytes when known (0: not known).
    template <typename Read> bool ReadTable(Read read, size_t sizeHint);
    bool CheckTable() const;

    int32_t m_nodeCount;
    std::unique_ptr<uint32_t[]> m_table; // row-major N x N
    bool m_ready = false;
};

} // namespace Zelk
