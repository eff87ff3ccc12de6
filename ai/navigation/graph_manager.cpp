#include "ai/navigation/graph_manager.h"

#include "ai/navigation/astar.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/warning.h"
#include "ai/runtime/world.h"

#include <algorithm>
#include <cstring>

namespace Zelk {

namespace {

CGlobalService* Create()
{
    return new CGraphManager();
}

float g_tolerance = 0.1f;
float g_tolerance2 = 0.01f;

bool IsOn(const char* text)
{
    return ConfigToInt(text, 0) != 0;
}

} // namespace

const CGlobalServiceClassRecord& CGraphManager::Record()
{
    static CGlobalServiceClassRecord record("CGraphManager", &Create);
    return record;
}

namespace {
// Registers the record before main even when nothing asks for it by function.
const CGlobalServiceClassRecord& s_record = CGraphManager::Record();
} // namespace

float NavGetPositionTolerance()
{
    return g_tolerance;
}
float NavGetPositionTolerance2()
{
    return g_tolerance2;
}

CGraphEntry::CGraphEntry(const char* name, CSpatialGraph* graph, bool updateWithPathObjects)
    : m_graph(graph), m_updateWithPathObjects(updateWithPathObjects)
{
    std::strncpy(m_name, name, kNameSize - 1);
}

CGraphEntry::~CGraphEntry()
{
    for (uint32_t i = 0; i < m_dataCount; ++i)
        delete m_data[i];
    delete m_graph;
}

bool CGraphEntry::AddAdditionalData(CGraphAdditionalData* data)
{
    if (m_dataCount >= kMaxAdditionalData)
        return false;
    m_data[m_dataCount++] = data;
    return true;
}

CGraphManager::~CGraphManager()
{
    for (CGraphEntry* entry : m_entries)
        delete entry;
    AstarMemoryFree();
}

const CClassRecord* CGraphManager::GetClassRecord() const
{
    return &s_record;
}

CGraphManager* CGraphManager::FindInCurrentWorld()
{
    CWorld* world = GetCurrentWorld();
    return world != nullptr ? static_cast<CGraphManager*>(world->FindGlobalService(&s_record)) : nullptr;
}

bool CGraphManager::Init(CConfigNode* node)
{
    if (node == nullptr)
        return false;
    m_astarMemoryGiven = false;
    if (!CGlobalService::Init(node))
        return false;
    const CGraphEntry* largest = nullptr;
    for (const CGraphEntry* entry : m_entries)
        if (!largest || entry->GetGraph()->GetNodeArraySize() > largest->GetGraph()->GetNodeArraySize())
            largest = entry;
    const int32_t nodes = largest ? largest->GetGraph()->GetNodeArraySize() : 0;
    if (!m_astarMemoryGiven && nodes > 0 && !AstarMemoryInit(nodes))
        return false;
    // A search needs a record per node of its graph: with less, every path
    // request on the larger graphs fails, and the agents stand still.
    if (m_astarMemoryGiven && AstarMemoryCapacity() < nodes)
        AiWarning("graph manager: \"AstarMemory\" %d is below the %d nodes of graph \"%s\": no path can be "
                  "searched on it",
                  AstarMemoryCapacity(), nodes, largest->GetName());
    const float oneMeter = NavOneMeter();
    g_tolerance = 0.1f * oneMeter;
    g_tolerance2 = g_tolerance * g_tolerance;
    return true;
}

bool CGraphManager::ReadParameter(CConfigNode* child)
{
    const char* key = child != nullptr ? child->GetKey() : nullptr;
    if (key == nullptr)
        return false;
    if (std::strcmp(key, "Graph") == 0)
        return ReadGraph(child);
    if (std::strcmp(key, "AstarMemory") == 0) {
        m_astarMemoryGiven = true;
        return AstarMemoryInit(ConfigToInt(child->GetValue(), 0));
    }
    NavSetError(ENavError::BadArgument, "unknown graph manager parameter");
    return false;
}

bool CGraphManager::ReadGraph(CConfigNode* child)
{
    // The graph's name is the element's name (<Graph "name">) or, for a leaf-style
    // definition, its value.
    const char* name = child->GetName() != nullptr ? child->GetName() : child->GetValue();
    CConfigNode* rawData = child->FindChild("RawData");
    if (name == nullptr || rawData == nullptr) {
        NavSetError(ENavError::BadArgument, "graph without a name or without RawData");
        return false;
    }
    // Raw-data blocks of an ".AIS" file are read strictly forwards: the graph's
    // block must come before the blocks of its additional data.
    for (uint32_t i = 0; i < child->GetChildCount(); ++i) {
        CConfigNode* c = child->GetChild(i);
        if (c == rawData)
            break;
        if (c->GetKey() != nullptr && std::strcmp(c->GetKey(), "AdditionalData") == 0) {
            NavSetError(ENavError::BadArgument, "a graph's RawData must come before its AdditionalData");
            return false;
        }
    }
    if (GetGraph(name) != nullptr) {
        NavSetError(ENavError::BadArgument, "graph name given twice");
        return false;
    }
    CGraphEntry* entry = LoadGraph(name, rawData, IsOn(child->GetChildValue("UpdateWithPathObjects")));
    if (entry == nullptr)
        return false;
    if (const char* coverage = child->GetChildValue("CoverageDistance"))
        entry->GetGraph()->SetSearchRadius(ConfigToFloat(coverage, 0.0f) * NavOneMeter());

    for (uint32_t i = 0; i < child->GetChildCount(); ++i) {
        CConfigNode* c = child->GetChild(i);
        if (c->GetKey() == nullptr || std::strcmp(c->GetKey(), "AdditionalData") != 0)
            continue;
        const CGraphDataClassRecord* record = CGraphDataClassRecord::Find(c->GetChildValue("Class"));
        if (record == nullptr || record->GetCreator() == nullptr)
            continue;
        // Beyond 32 objects the extra children are left out.
        if (entry->GetAdditionalDataCount() >= CGraphEntry::kMaxAdditionalData)
            break;
        CGraphAdditionalData* data = record->GetCreator()(entry->GetGraph());
        if (data == nullptr)
            continue;
        if (!data->Init(c)) {
            AiWarning("graph \"%s\": its %s data is refused (%s); left out", name, c->GetChildValue("Class"),
                      NavGetLastErrorText());
            delete data;
        } else if (!entry->AddAdditionalData(data)) {
            delete data;
        }
    }
    return true;
}

CSpatialGraph* CGraphManager::GetGraph(const char* name) const
{
    if (name == nullptr)
        return nullptr;
    for (const CGraphEntry* entry : m_entries)
        if (std::strcmp(entry->GetName(), name) == 0)
            return entry->GetGraph();
    return nullptr;
}

CGraphEntry* CGraphManager::FindEntry(const CSpatialGraph* graph) const
{
    for (CGraphEntry* entry : m_entries)
        if (entry->GetGraph() == graph)
            return entry;
    return nullptr;
}

CGraphAdditionalData* CGraphManager::GetAdditionalData(const CSpatialGraph* graph,
                                                       const CClassRecord* record) const
{
    if (graph == nullptr || record == nullptr)
        return nullptr;
    for (const CGraphEntry* entry : m_entries) {
        if (entry->GetGraph() != graph)
            continue;
        for (uint32_t i = 0; i < entry->GetAdditionalDataCount(); ++i)
            if (entry->GetAdditionalData(i)->GetClassRecord() == record)
                return entry->GetAdditionalData(i);
    }
    return nullptr;
}

CGraphEntry* CGraphManager::LoadGraph(const char* name, CConfigNode* rawData, bool updateWithPathObjects)
{
    if (name == nullptr || GetGraph(name) != nullptr)
        return nullptr;
    CSpatialGraph* graph = new CSpatialGraph();
    if (graph == nullptr || !graph->ReadFromWorldFiles(rawData)) {
        delete graph;
        return nullptr;
    }
    CGraphEntry* entry = new CGraphEntry(name, graph, updateWithPathObjects);
    if (entry == nullptr) {
        delete graph;
        return nullptr;
    }
    m_entries.push_back(entry);
    return entry;
}

bool CGraphManager::AddGraph(const char* name, CSpatialGraph* graph, bool updateWithPathObjects)
{
    if (name == nullptr || graph == nullptr || GetGraph(name) != nullptr)
        return false;
    CGraphEntry* entry = new CGraphEntry(name, graph, updateWithPathObjects);
    if (entry == nullptr)
        return false;
    m_entries.push_back(entry);
    return true;
}

bool CGraphManager::RemoveGraph(const char* name)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it)
        if (name != nullptr && std::strcmp((*it)->GetName(), name) == 0) {
            delete *it;
            m_entries.erase(it);
            return true;
        }
    return false;
}

bool CGraphManager::HasGraph(const CSpatialGraph* graph) const
{
    return graph != nullptr && FindEntry(graph) != nullptr;
}

CGraphAdditionalData* FindGraphData(const CSpatialGraph* graph, const CClassRecord* record)
{
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    return manager != nullptr ? manager->GetAdditionalData(graph, record) : nullptr;
}

bool CheckPathFinderRegistered()
{
    const CServiceClassRecord* record = CServiceClassRecord::Find("CPathFinder");
    return record != nullptr && record->GetIndex() >= 0;
}

bool CheckGraphDataClassesRegistered()
{
    const auto registered = [](const CClassRecord* record) {
        return record != nullptr && record->GetIndex() >= 0;
    };
    for (const char* name : {"CAstarData", "CAccessWaysData", "CFindNearestData", "CPathCostData"})
        if (!registered(CGraphDataClassRecord::Find(name)))
            return false;
    for (const char* name : {"CHeuristicEuclidianDistance", "CPathCostHeuristic", "CZeroHeuristic"})
        if (!registered(CHeuristicClassRecord::Find(name)))
            return false;
    for (const char* name : {"CConstraint", "CConstraintConeVisionStealthPath", "CConstraintPointToFleePath",
                             "CConstraintShortestPath", "CConstraintStealthPath"})
        if (!registered(CConstraintClassRecord::Find(name)))
            return false;
    return registered(CEntityClassRecord::Find("CPathObject")) &&
           registered(CGraphWrapperClassRecord::Find("CGraphWrapper")) &&
           registered(CGlobalServiceClassRecord::Find("CPathObjectManager")) &&
           registered(CGlobalServiceClassRecord::Find("CGraphManager"));
}

} // namespace Zelk
