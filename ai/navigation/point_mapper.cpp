#include "ai/navigation/point_mapper.h"

#include "ai/navigation/graph_manager.h"
#include "ai/navigation/graph_wrapper.h"
#include "ai/navigation/nav_bytes.h"
#include "ai/navigation/nav_files.h"
#include "ai/navigation/nav_host.h"
#include "ai/runtime/config_node.h"

#include <cmath>
#include <cstring>
#include <memory>

namespace Zelk {

namespace {

CGlobalService* Create()
{
    return new CPointMapper();
}

CGlobalServiceClassRecord s_record("CPointMapper", &Create);

bool IsForced(const char* text)
{
    return text != nullptr &&
           (std::strcmp(text, "1") == 0 || std::strcmp(text, "yes") == 0 || std::strcmp(text, "true") == 0);
}

struct WrapperDeleter
{
    void operator()(CGraphWrapper* wrapper) const { delete wrapper; }
};

} // namespace

const CClassRecord* CPointMapper::GetClassRecord() const
{
    return &s_record;
}

void CPointMapper::Clear()
{
    m_counts.clear();
    m_names.clear();
    m_tables.clear();
}

bool CPointMapper::Init(CConfigNode* node)
{
    if (node == nullptr)
        return false;
    m_maxDeltaUp = 1.5f * NavOneMeter();
    if (const char* value = node->GetChildValue("MaxDeltaUp")) {
        const float delta = ConfigToFloat(value, -1.0f);
        if (delta >= 0.0f)
            m_maxDeltaUp = delta;
    }
    if (!IsForced(node->GetChildValue("ForceRebuild"))) {
        CConfigNode* rawData = node->FindChild("RawData");
        if (rawData != nullptr && ReadFromRawData(rawData))
            return true;
    }
    if (!Build(node))
        return false;
    // The output name is kept as written: '/' separates folders here.
    if (const char* output = node->GetChildValue("OutputFile"))
        WriteToFile(output);
    return true;
}

bool CPointMapper::GetContainerIndex(const char* name, uint16_t& index) const
{
    if (name == nullptr)
        return false;
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == name) {
            index = uint16_t(i);
            return true;
        }
    return false;
}

bool CPointMapper::GetGraphIndex(const CSpatialGraph* graph, uint16_t& index) const
{
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    const CGraphEntry* entry = manager != nullptr ? manager->FindEntry(graph) : nullptr;
    return entry != nullptr && GetContainerIndex(entry->GetName(), index);
}

bool CPointMapper::MapPoint(uint16_t container, uint16_t point, uint16_t target, uint16_t& out) const
{
    if (container >= m_names.size() || target >= m_names.size() || point >= m_counts[container])
        return false;
    if (container == target) {
        out = point;
        return true;
    }
    out = Entry(container, target, point);
    return out != kNoPoint;
}

uint16_t CPointMapper::FindNearestPoint(const CGraphWrapper& container, const CVec3& position) const
{
    uint16_t best = kNoPoint;
    float best2 = 0.0f;
    const uint16_t count = container.GetNodeCount();
    for (uint16_t i = 0; i < count && i != kNoPoint; ++i) {
        const CVec3 p = container.GetNodePosition(i);
        if (std::fabs(p.y - position.y) > m_maxDeltaUp)
            continue;
        const float d2 = CVec3::SquaredDistance(p, position);
        if (best == kNoPoint || d2 < best2) {
            best = i;
            best2 = d2;
        }
    }
    return best;
}

bool CPointMapper::Build(CConfigNode* node)
{
    Clear();
    std::vector<std::unique_ptr<CGraphWrapper, WrapperDeleter>> containers;
    std::vector<std::string> names;
    for (uint32_t i = 0; i < node->GetChildCount(); ++i) {
        CConfigNode* child = node->GetChild(i);
        if (child->GetKey() == nullptr || std::strcmp(child->GetKey(), "Container") != 0)
            continue;
        const CGraphWrapperClassRecord* record =
            CGraphWrapperClassRecord::Find(child->GetChildValue("Class"));
        if (record == nullptr || record->GetCreator() == nullptr || containers.size() >= kNoPoint)
            return false;
        containers.emplace_back(record->GetCreator()());
        // Each container is named after its graph, which is what the path
        // finder asks for.
        const char* name = CGraphWrapper::GraphNameOf(child);
        if (containers.back() == nullptr || name == nullptr || !containers.back()->Init(child))
            return false;
        names.emplace_back(name);
    }
    std::vector<const CGraphWrapper*> views;
    for (const auto& container : containers)
        views.push_back(container.get());
    return BuildFrom(views, names);
}

bool CPointMapper::BuildFrom(const std::vector<const CGraphWrapper*>& containers,
                             const std::vector<std::string>& names)
{
    Clear();
    if (containers.size() != names.size() || containers.size() >= kNoPoint)
        return false;
    m_names = names;
    for (const CGraphWrapper* container : containers)
        m_counts.push_back(container->GetNodeCount());
    const size_t n = containers.size();
    m_tables.assign(n, {});
    for (size_t i = 0; i < n; ++i) {
        m_tables[i].assign(n * m_counts[i], kNoPoint);
        for (size_t j = 0; j < n; ++j)
            for (uint16_t p = 0; p < m_counts[i] && j != i; ++p)
                Entry(i, j, p) = FindNearestPoint(*containers[j], containers[i]->GetNodePosition(p));
    }
    return true;
}

bool CPointMapper::ReadFromMemory(const uint8_t* data, size_t size)
{
    Clear();
    CNavByteReader reader(data, size);
    uint16_t n = 0;
    if (!reader.ReadHeader(kMagic, kMagicLength) || !reader.ReadU16(n))
        return false;
    std::vector<uint16_t> counts(n);
    for (uint16_t& c : counts)
        reader.ReadU16(c);
    std::vector<std::string> names(n);
    for (std::string& name : names) {
        for (;;) {
            char c = 0;
            if (!reader.ReadBytes(&c, 1))
                return false;
            if (c == '\0')
                break;
            if (name.size() >= kMaxNameLength)
                return reader.Fail(ENavError::BadCount, "container name longer than 1023 characters");
            name.push_back(c);
        }
    }
    // Container i's tables take (N - 1) x (its point count) entries: a
    // container without points has none, and every other is checked
    // against the bytes left before anything is allocated for it.
    std::vector<std::vector<uint16_t>> tables(n);
    for (size_t i = 0; i < n; ++i) {
        if (counts[i] == 0)
            continue;
        if (!reader.HasRecords(uint64_t(n - 1) * counts[i], 2))
            return reader.Fail(ENavError::Truncated, "point-mapping tables longer than the data");
        tables[i].assign(size_t(n) * counts[i], kNoPoint);
        for (size_t j = 0; j < n; ++j)
            for (size_t p = 0; p < counts[i] && j != i; ++p) {
                uint16_t& v = tables[i][j * counts[i] + p];
                reader.ReadU16(v);
                if (v != kNoPoint && v >= counts[j])
                    return reader.Fail(ENavError::BadIndex, "point index beyond its container");
            }
    }
    if (reader.Failed())
        return false;
    m_counts = std::move(counts);
    m_names = std::move(names);
    m_tables = std::move(tables);
    return true;
}

bool CPointMapper::ReadFromRawData(CConfigNode* rawData)
{
    Clear();
    std::vector<uint8_t> bytes;
    return NavReadRawData(rawData, bytes) && ReadFromMemory(bytes.data(), bytes.size());
}

bool CPointMapper::WriteToMemory(std::vector<uint8_t>& out) const
{
    for (const std::string& name : m_names)
        if (name.size() > kMaxNameLength) {
            NavSetError(ENavError::BadCount, "container name longer than 1023 characters");
            return false;
        }
    CNavByteWriter writer;
    writer.WriteHeader(kMagic, kMagicLength);
    writer.WriteU16(uint16_t(m_names.size()));
    for (uint16_t c : m_counts)
        writer.WriteU16(c);
    for (const std::string& name : m_names)
        writer.WriteBytes(name.c_str(), name.size() + 1);
    const size_t n = m_names.size();
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n && m_counts[i] > 0; ++j)
            for (size_t p = 0; p < m_counts[i] && j != i; ++p)
                writer.WriteU16(Entry(i, j, p));
    out = writer.Bytes();
    return true;
}

bool CPointMapper::WriteToFile(const char* fileName) const
{
    std::vector<uint8_t> bytes;
    return WriteToMemory(bytes) && NavWriteHostFile(fileName, bytes);
}

} // namespace Zelk
