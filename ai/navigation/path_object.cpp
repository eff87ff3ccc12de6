#include "ai/navigation/path_object.h"

#include "ai/navigation/constraint.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_object_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/world.h"

#include <algorithm>
#include <cstring>

namespace Zelk {

namespace {

CEntity* CreateSeed(const char* name, void* hostObject)
{
    return new CSeedPathObject(name, hostObject);
}

CEntityClassRecord s_seedRecord("CSeedPathObject", &CreateSeed, &CPathObject::BaseRecord());

CSeedPathObject* g_currentSeed = nullptr;

} // namespace

bool PathObjectCostThroughArc(CPathObject* object, void* user, CGraphArc* arc, CConstraint* constraint,
                              float* cost)
{
    return object->CostThroughArc(user, arc, constraint, cost);
}

const CEntityClassRecord& CPathObject::BaseRecord()
{
    static CEntityClassRecord record("CPathObject", nullptr);
    return record;
}

CPathObject::~CPathObject()
{
    // An arc must never keep pointing at a destroyed object.
    UnlinkAll();
}

bool CPathObject::Init(CConfigNode* config)
{
    if (!CEntity::Init(config))
        return false;
    const int32_t maxLinks = config != nullptr ? ConfigToInt(config->GetChildValue("LinkedEdgeMax"), 0) : 0;
    m_maxLinks = maxLinks > 0 ? uint32_t(maxLinks) : 1;
    m_links.clear();
    m_links.reserve(m_maxLinks);
    CWorld* world = GetCurrentWorld();
    m_manager =
        world != nullptr
            ? static_cast<CPathObjectManager*>(world->FindGlobalService(&CPathObjectManager::Record()))
            : nullptr;
    return true;
}

bool CPathObject::CostThroughArc(void* user, CGraphArc* arc, CConstraint* constraint, float* cost)
{
    return constraint->ComputeCost(user, arc, cost);
}

bool CPathObject::MayGoOn(CEntity* /*entity*/, const CVec3& /*position*/, const CVec3& /*subGoal*/)
{
    return true;
}

bool CPathObject::MoveTarget(CEntity* entity, const CVec3& target, uint32_t /*word*/, uint8_t* reached,
                             CVec3& out)
{
    out = target;
    if (entity != nullptr && reached != nullptr &&
        CVec3::SquaredDistance(entity->GetPosition(), target) < NavOneMeter())
        *reached = 1;
    return false;
}

bool CPathObject::NeedsNewPath(CEntity* /*entity*/)
{
    return true;
}

bool CPathObject::IsStuck(CEntity* /*entity*/)
{
    return false;
}

void CPathObject::Notify(void* filter)
{
    if (m_manager != nullptr)
        CPathObjectManager::NotifyPathObjectListeners(this, filter);
}

int32_t CPathObject::GetSegmentCount()
{
    return 0;
}

const CVec3Pair* CPathObject::GetSegments()
{
    return nullptr;
}

CPathObject::LinkRecord* CPathObject::FindLink(const CGraphArc* arc)
{
    for (LinkRecord& link : m_links)
        if (link.arc == arc)
            return &link;
    return nullptr;
}

bool CPathObject::HoldsLink(const CGraphArc* arc) const
{
    return std::any_of(m_links.begin(), m_links.end(),
                       [arc](const LinkRecord& link) { return link.arc == arc; });
}

bool CPathObject::Link(CSpatialGraph* graph, CGraphArc* arc)
{
    if (graph == nullptr || arc == nullptr)
        return false;
    if (FindLink(arc) != nullptr)
        return true;
    if (m_links.size() >= m_maxLinks)
        return false;
    m_links.push_back({graph, arc, arc->GetData().linkedObject});
    arc->GetData().linkedObject = this;
    return true;
}

bool CPathObject::Unlink(CSpatialGraph* graph, CGraphArc* arc)
{
    if (graph == nullptr || arc == nullptr)
        return false;
    LinkRecord* own = FindLink(arc);
    if (own == nullptr)
        return false;
    OnUnlink(graph, arc);
    CPathObject* previous = own->previous;
    if (arc->GetData().linkedObject == this) {
        arc->GetData().linkedObject = previous;
    } else {
        // Walk the chain from the newest object to the one linked just after
        // this one, which then takes this one's predecessor.
        CPathObject* walker = arc->GetData().linkedObject;
        for (;;) {
            LinkRecord* link = walker != nullptr ? walker->FindLink(arc) : nullptr;
            if (link == nullptr)
                return false;
            if (link->previous == this) {
                link->previous = previous;
                break;
            }
            walker = link->previous;
        }
    }
    // The record leaves the table, so a later unlink-all cannot follow it.
    m_links.erase(m_links.begin() + (own - m_links.data()));
    return true;
}

void CPathObject::UnlinkAll()
{
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    if (manager != nullptr)
        for (uint32_t i = 0; i < manager->GetEntryCount(); ++i) {
            const CGraphEntry* entry = manager->GetEntry(i);
            if (entry->GetGraph() != nullptr && entry->UpdatesWithPathObjects())
                NotifyAll();
        }
    // Unlinking removes the record: take them from the back.
    while (!m_links.empty()) {
        const LinkRecord link = m_links.back();
        // Without a manager the graphs are the caller's own, still alive.
        const bool graphAlive = manager == nullptr || manager->HasGraph(link.graph);
        if (!graphAlive || !Unlink(link.graph, link.arc))
            m_links.pop_back();
    }
}

void CPathObject::NotifyAll()
{
    Notify(nullptr);
}

CSeedPathObject::CSeedPathObject(const char* name, void* hostObject) : CPathObject(name, hostObject)
{
    g_currentSeed = this;
}

CSeedPathObject::~CSeedPathObject()
{
    if (g_currentSeed == this)
        g_currentSeed = nullptr;
}

CSeedPathObject* CSeedPathObject::GetCurrent()
{
    return g_currentSeed;
}

const CClassRecord* CSeedPathObject::GetClassRecord() const
{
    return &s_seedRecord;
}

bool CSeedPathObject::Init(CConfigNode* config)
{
    if (!CPathObject::Init(config) || config == nullptr)
        return false;
    const char* name = config->GetChildValue("SEED_GRAPH");
    if (name == nullptr || std::strlen(name) >= sizeof(m_seedName))
        return false;
    std::strcpy(m_seedName, name);
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    m_seedGraph = manager != nullptr ? manager->GetGraph(m_seedName) : nullptr;
    return m_seedGraph != nullptr;
}

int32_t CSeedPathObject::GetSegmentCount()
{
    return m_seedGraph != nullptr ? m_seedGraph->GetNodeCount() + m_seedGraph->GetArcCount() : 0;
}

const CVec3Pair* CSeedPathObject::GetSegments()
{
    if (m_seedGraph == nullptr)
        return nullptr;
    if (m_segments.empty()) {
        for (int32_t i = 0; i < m_seedGraph->GetNodeCount(); ++i)
            if (const CGraphNode* node = m_seedGraph->GetNode(i))
                m_segments.push_back({node->GetPosition(), node->GetPosition()});
        for (int32_t i = 0; i < m_seedGraph->GetArcCount(); ++i)
            if (const CGraphArc* arc = m_seedGraph->GetArc(i))
                m_segments.push_back({arc->GetFrom()->GetPosition(), arc->GetTo()->GetPosition()});
    }
    return m_segments.data();
}

} // namespace Zelk
