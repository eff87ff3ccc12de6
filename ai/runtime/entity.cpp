#include "ai/runtime/entity.h"

#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/team.h"
#include "ai/runtime/world.h"

namespace Zelk {

namespace {

constexpr uint32_t kInitialTeamCapacity = 4;

} // namespace

CEntity::CEntity(const char* name, void* hostObject)
    : m_name(AiStrDup(name ? name : "none")), m_userData(hostObject)
{
    m_teams = new CFixedList<CTeam>(kInitialTeamCapacity);
    int32_t count = CEntityAttributeRecord::GetCount();
    if (count > 0) {
        m_attributes = static_cast<CEntityAttribute**>(AiAlloc(sizeof(CEntityAttribute*) * count));
        if (m_attributes) {
            m_attributeCount = count;
            for (int32_t i = 0; i < count; ++i) {
                m_attributes[i] = nullptr;
            }
        }
    }
}

CEntity::~CEntity()
{
    // Every team drops the entity; RemoveMember makes it leave, which shortens the list.
    while (m_teams && m_teams->GetHead()) {
        CTeam* team = m_teams->GetHead()->item;
        team->RemoveMember(this);
        LeaveTeam(team); // in case the team did not count it as a member
    }
    delete m_brain;
    delete m_teams;
    for (int32_t i = 0; i < m_attributeCount; ++i) {
        delete m_attributes[i];
    }
    AiFree(m_attributes);
    AiFree(m_name);
}

bool CEntity::Init(CConfigNode*)
{
    return true;
}

void CEntity::Start()
{
    if (m_started) {
        return;
    }
    m_started = true;
    OnStart();
}

void CEntity::OnStart()
{
    if (m_brain) {
        m_brain->Start();
    }
}

int32_t CEntity::GetId() const
{
    if (!m_world || !m_worldNode) {
        return -1;
    }
    return m_world->GetEntities().IndexOf(m_worldNode);
}

CEntityAttribute* CEntity::GetAttribute(const CEntityAttributeRecord* record) const
{
    if (!record || record->GetIndex() < 0 || record->GetIndex() >= m_attributeCount) {
        return nullptr;
    }
    return m_attributes[record->GetIndex()];
}

CEntityAttribute* CEntity::CreateAttribute(const CEntityAttributeRecord* record)
{
    if (!record || record->GetIndex() < 0 || record->GetIndex() >= m_attributeCount ||
        !record->GetCreator()) {
        return nullptr;
    }
    CEntityAttribute* attribute = record->GetCreator()();
    if (attribute) {
        delete m_attributes[record->GetIndex()];
        m_attributes[record->GetIndex()] = attribute;
    }
    return attribute;
}

void CEntity::JoinTeam(CTeam* team)
{
    if (!m_teams || !team) {
        return;
    }
    if (m_teams->IsFull()) {
        // Twice the capacity, keeping the current teams in order.
        auto* grown = new CFixedList<CTeam>(m_teams->GetCapacity() * 2);
        if (!grown || grown->GetCapacity() == 0) {
            delete grown;
            return;
        }
        for (auto it = m_teams->Begin(); it.IsValid(); ++it) {
            grown->Insert(it.Item());
        }
        delete m_teams;
        m_teams = grown;
    }
    m_teams->Insert(team);
}

void CEntity::LeaveTeam(CTeam* team)
{
    if (m_teams) {
        m_teams->Remove(team);
    }
}

} // namespace Zelk
