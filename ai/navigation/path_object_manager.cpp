#include "ai/navigation/path_object_manager.h"

#include "ai/navigation/graph_manager.h"
#include "ai/navigation/nav_error.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/host.h"
#include "ai/runtime/world.h"

#include <algorithm>
#include <cstring>

namespace Zelk {

namespace {

CGlobalService* Create()
{
    return new CPathObjectManager();
}

const CGlobalServiceClassRecord& s_record = CPathObjectManager::Record();

struct Listener
{
    PathObjectListener fn;
    void* user;
    void* filter;
};

// The listener table: entries stay in place when removed (their function
// cleared), so the used count only grows; capacity grows explicitly.
struct ListenerTable
{
    std::vector<Listener> entries;
    uint32_t capacity = 0;
};

ListenerTable& Listeners()
{
    static ListenerTable table;
    return table;
}

bool IsPathObject(const CEntity* entity)
{
    const CClassRecord* record = entity != nullptr ? entity->GetClassRecord() : nullptr;
    return record != nullptr && record->IsA(&CPathObject::BaseRecord());
}

} // namespace

const CGlobalServiceClassRecord& CPathObjectManager::Record()
{
    static CGlobalServiceClassRecord record("CPathObjectManager", &Create);
    return record;
}

const CClassRecord* CPathObjectManager::GetClassRecord() const
{
    return &s_record;
}

CPathObjectManager::CPathObjectManager()
{
    RegisterEntityAddedCallback(GetCurrentWorld(), &OnEntityAdded, this);
    RegisterEntityRemovedCallback(GetCurrentWorld(), &OnEntityRemoved, this);
}

CPathObjectManager::~CPathObjectManager()
{
    Listeners() = ListenerTable();
    UnregisterEntityAddedCallback(GetCurrentWorld(), &OnEntityAdded, this);
    UnregisterEntityRemovedCallback(GetCurrentWorld(), &OnEntityRemoved, this);
}

void CPathObjectManager::OnEntityAdded(CEntity* entity, void* user)
{
    if (IsPathObject(entity))
        static_cast<CPathObjectManager*>(user)->AddPathObject(static_cast<CPathObject*>(entity));
}

void CPathObjectManager::OnEntityRemoved(CEntity* entity, void* user)
{
    if (IsPathObject(entity))
        static_cast<CPathObjectManager*>(user)->RemovePathObject(static_cast<CPathObject*>(entity));
}

bool CPathObjectManager::Init(CConfigNode* node)
{
    m_capacity = 20;
    m_graphManager = CGraphManager::FindInCurrentWorld();
    if (m_graphManager == nullptr) {
        NavSetError(ENavError::BadArgument,
                    "the path-object manager needs a graph manager defined before it");
        return false;
    }
    if (!CGlobalService::Init(node))
        return false;
    m_objects.clear();
    m_objects.reserve(m_capacity);
    return true;
}

bool CPathObjectManager::ReadParameter(CConfigNode* node)
{
    if (node == nullptr || node->GetKey() == nullptr ||
        std::strcmp(node->GetKey(), "MaxNbPathObjects") != 0 || node->GetValue() == nullptr)
        return false;
    const int32_t capacity = ConfigToInt(node->GetValue(), 0);
    if (capacity < 0)
        return false;
    m_capacity = uint32_t(capacity);
    return true;
}

void CPathObjectManager::OfferGraphs(CPathObject* object)
{
    for (uint32_t i = 0; i < m_graphManager->GetEntryCount(); ++i) {
        const CGraphEntry* entry = m_graphManager->GetEntry(i);
        if (entry->UpdatesWithPathObjects())
            object->AcceptGraph(entry->GetGraph());
    }
}

bool CPathObjectManager::AddPathObject(CPathObject* object)
{
    if (object == nullptr || m_objects.size() >= m_capacity)
        return false;
    m_objects.push_back(object);
    if (m_graphManager != nullptr) {
        OfferGraphs(object);
        return true;
    }
    m_graphManager = CGraphManager::FindInCurrentWorld();
    if (m_graphManager == nullptr)
        return false;
    for (CPathObject* held : m_objects)
        OfferGraphs(held);
    return true;
}

bool CPathObjectManager::RemovePathObject(CPathObject* object)
{
    if (object == nullptr)
        return false;
    object->UnlinkAll();
    auto it = std::find(m_objects.begin(), m_objects.end(), object);
    if (it == m_objects.end())
        return false;
    m_objects.erase(it);
    return true;
}

uint32_t CPathObjectManager::GetSegments(const CVec3Pair*& segments)
{
    if (!m_segmentsBuilt) {
        m_segmentsBuilt = true;
        for (CPathObject* object : m_objects) {
            const int32_t count = object->GetSegmentCount();
            const CVec3Pair* own = object->GetSegments();
            if (own != nullptr && count > 0)
                m_segments.insert(m_segments.end(), own, own + count);
        }
    }
    segments = m_segments.empty() ? nullptr : m_segments.data();
    return uint32_t(m_segments.size());
}

void CPathObjectManager::AddPathObjectListener(PathObjectListener fn, void* user, void* filter)
{
    ListenerTable& table = Listeners();
    for (Listener& entry : table.entries)
        if (entry.fn == nullptr) {
            entry = {fn, user, filter};
            return;
        }
    if (table.entries.size() >= table.capacity) {
        // Room for every entity of the world at first, at least one entry.
        const uint32_t limit = GetCurrentWorld() != nullptr ? GetCurrentWorld()->GetMaxEntity() : 0;
        table.capacity = table.capacity == 0 ? std::max<uint32_t>(limit, 1) : table.capacity * 2;
        table.entries.reserve(table.capacity);
    }
    table.entries.push_back({fn, user, filter});
}

void CPathObjectManager::RemovePathObjectListener(PathObjectListener fn, void* user, void* filter)
{
    for (Listener& entry : Listeners().entries)
        if (entry.fn == fn && entry.user == user && entry.filter == filter) {
            entry = {nullptr, nullptr, nullptr};
            return;
        }
}

void CPathObjectManager::NotifyPathObjectListeners(CPathObject* object, void* filter)
{
    // A listener may register or remove listeners: walk by index.
    ListenerTable& table = Listeners();
    for (size_t i = 0; i < table.entries.size(); ++i) {
        const Listener entry = table.entries[i];
        if (entry.fn != nullptr && (entry.filter == filter || entry.filter == nullptr || filter == nullptr))
            entry.fn(object, entry.user);
    }
}

uint32_t CPathObjectManager::GetListenerCapacity()
{
    return Listeners().capacity;
}

} // namespace Zelk
