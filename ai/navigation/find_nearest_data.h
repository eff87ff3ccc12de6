// Find-nearest data of a graph: the node indices sorted along each axis, so
// that the nodes inside an axis-aligned box can be listed without visiting the
// whole graph. Expects the graph's nodes at indices 0..N-1 without holes.
#pragma once

#include "ai/navigation/graph_data.h"
#include "ai/runtime/vec3.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Zelk {

class CFindNearestData : public CGraphAdditionalData
{
  public:
    static constexpr char kMagic[] = "Varnoth FindNearest Data";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;

    explicit CFindNearestData(CSpatialGraph* graph);

    // Reads the file of the node's "RawData" child; false when the graph has
    // no node, the child is missing or the file is refused.
    bool Init(CConfigNode* node) override;
    const CClassRecord* GetClassRecord() const override;
    // Sorts the graph's nodes along x, y and z; false for a graph with holes.
    bool Build() override;
    bool Write(const char* fileName) override;

    // The file body for the graph's N nodes. Fails on wrong magic or version,
    // a length that does not match N, or an index or rank not below N.
    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool ReadFromFile(const char* fileName);
    bool WriteToMemory(std::vector<uint8_t>& out) const;

    // Positions in the axis run (0 x, 1 y, 2 z) of the first and last node whose
    // coordinate lies within [c - halfWidth, c + halfWidth]; their count, 0 when none.
    int32_t AxisRange(const CVec3& point, float halfWidth, int axis, int32_t& first, int32_t& last) const;
    // Nodes inside the box of half-widths (search radius, heightHalfWindow,
    // search radius) around the point; their count, list set to the indices.
    int32_t FindCandidates(const CVec3& point, float heightHalfWindow, const uint32_t*& list);

    int32_t GetNodeCount() const { return m_nodeCount; }
    bool IsReady() const { return m_ready; }

  private:
    float Coordinate(uint32_t nodeIndex, int axis) const;

    int32_t m_nodeCount;
    std::vector<uint32_t> m_sorted;     // 3 runs of N node indices
    std::vector<uint32_t> m_ranks;      // 3 runs of N positions
    std::vector<uint32_t> m_candidates; // N, result buffer
    bool m_ready = false;
};

} // namespace Zelk
