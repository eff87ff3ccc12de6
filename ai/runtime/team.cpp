#include "ai/runtime/team.h"

#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/world.h"

#include <cstring>

namespace Zelk {

namespace {

CTeam* CreatePlainTeam(uint32_t memberCapacity, const char* name)
{
    return new CTeam(memberCapacity, name);
}

} // namespace

CTeamClassRecord CTeam::s_classRecord("CTeam", &CreatePlainTeam);

CTeam::CTeam(uint32_t memberCapacity, const char* name) : m_name(AiStrDup(name)), m_members(memberCapacity)
{
}

CTeam::~CTeam()
{
    while (m_members.GetHead()) {
        RemoveMember(m_members.GetHead()->item);
    }
    AiFree(m_name);
}

bool CTeam::AddMember(CEntity* entity)
{
    if (!entity || m_members.IsFull() || HasMember(entity)) {
        return false;
    }
    m_members.Insert(entity);
    entity->JoinTeam(this);
    return true;
}

void CTeam::RemoveMember(CEntity* entity)
{
    if (!entity) {
        return;
    }
    entity->LeaveTeam(this);
    m_members.Remove(entity);
}

bool CTeam::HasMember(const CEntity* entity) const
{
    for (auto it = m_members.Begin(); it.IsValid(); ++it) {
        if (it.Item() == entity) {
            return true;
        }
    }
    return false;
}

bool CTeam::Init(CConfigNode* node)
{
    for (uint32_t i = 0; node && i < node->GetChildCount(); ++i) {
        CConfigNode* child = node->GetChild(i);
        if ((!child->GetKey() || std::strcmp(child->GetKey(), "Class") != 0) && !ReadParameter(child)) {
            return false;
        }
    }
    return true;
}

bool CTeam::ReadParameter(CConfigNode*)
{
    return false;
}

int32_t CTeam::GetId() const
{
    CWorld* world = GetCurrentWorld();
    if (!world || !world->GetTeams() || !m_worldNode) {
        return -1;
    }
    return world->GetTeams()->IndexOf(m_worldNode);
}

} // namespace Zelk
