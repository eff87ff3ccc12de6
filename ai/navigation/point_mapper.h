// The point mapper: a world-level service that relates the points of several
// point containers (the nodes of graphs of different density): for every
// point of one container, the index of the nearest point of each other
// container whose height differs by at most a limit.
//
// Configuration ("Class" = "CPointMapper"):
//   <MaxDeltaUp>1.5</MaxDeltaUp>         height limit, world units (default 1.5 x OneMeter)
//   <RawData>file</RawData>              stored tables, used unless ForceRebuild is 1/yes/true
//   <ForceRebuild>yes</ForceRebuild>
//   <Container "DenseGraph"><Class>CGraphWrapper</Class></Container>   one per container,
//                                        named after its graph
//   <OutputFile>data/points.map</OutputFile>   where rebuilt tables are written
#pragma once

#include "ai/runtime/service.h"
#include "ai/runtime/vec3.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Zelk {

class CGraphWrapper;
class CSpatialGraph;

class CPointMapper : public CGlobalService
{
  public:
    static constexpr char kMagic[] = "Varnoth Point mapping data";
    static constexpr size_t kMagicLength = sizeof(kMagic) - 1;
    static constexpr uint16_t kNoPoint = 65535;
    // Longest container name the file may hold (without its terminator).
    static constexpr size_t kMaxNameLength = 1023;

    bool Init(CConfigNode* node) override;
    // Parameters are read by Init itself.
    bool ReadParameter(CConfigNode* /*node*/) override { return false; }
    const CClassRecord* GetClassRecord() const override;

    // Index of the container of that name (exact); false when none.
    bool GetContainerIndex(const char* name, uint16_t& index) const;
    // Index of the container of a graph of the current world's graph manager
    // (containers are named after their graphs); false when none.
    bool GetGraphIndex(const CSpatialGraph* graph, uint16_t& index) const;
    // The point of the target container that corresponds to point `point` of
    // container `container`; false when an index is out of range or no point corresponds.
    bool MapPoint(uint16_t container, uint16_t point, uint16_t target, uint16_t& out) const;
    // Among the container's points within the height limit of the position, the
    // nearest (lowest index on ties); 65535 when none.
    uint16_t FindNearestPoint(const CGraphWrapper& container, const CVec3& position) const;
    // Creates the "Container" children and fills every table; false when a
    // class is unknown or a container refuses its node.
    bool Build(CConfigNode* node);
    // Fills every table from the given containers, named in the same order.
    bool BuildFrom(const std::vector<const CGraphWrapper*>& containers,
                   const std::vector<std::string>& names);

    // The stored tables. Reading clears the current tables first and fails on
    // a wrong magic or version, short data, names longer than 1023 characters
    // or indices beyond the target container.
    bool ReadFromMemory(const uint8_t* data, size_t size);
    bool ReadFromRawData(CConfigNode* rawData);
    bool WriteToMemory(std::vector<uint8_t>& out) const;
    bool WriteToFile(const char* fileName) const;

    uint16_t GetContainerCount() const { return uint16_t(m_names.size()); }
    const char* GetContainerName(uint16_t i) const
    {
        return i < m_names.size() ? m_names[i].c_str() : nullptr;
    }
    uint16_t GetPointCount(uint16_t i) const { return i < m_counts.size() ? m_counts[i] : 0; }
    float GetMaxDeltaUp() const { return m_maxDeltaUp; }
    void SetMaxDeltaUp(float value) { m_maxDeltaUp = value; }

  private:
    void Clear();
    // Entry of point p of container `from` in container `to` (from != to).
    uint16_t& Entry(size_t from, size_t to, size_t p) { return m_tables[from][to * m_counts[from] + p]; }
    uint16_t Entry(size_t from, size_t to, size_t p) const { return m_tables[from][to * m_counts[from] + p]; }

    float m_maxDeltaUp = 0.0f;
    std::vector<uint16_t> m_counts;
    std::vector<std::string> m_names;
    // Per container i: N runs of (point count of i) entries, one per other
    // container (its own run unused), so the memory follows the data's size.
    std::vector<std::vector<uint16_t>> m_tables;
};

} // namespace Zelk
