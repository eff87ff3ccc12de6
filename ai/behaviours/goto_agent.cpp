#include "ai/behaviours/goto_agent.h"
#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/path_finder.h"
#include "ai/runtime/action.h"

namespace Zelk {

namespace {

CAgent* Create(CBrain* brain)
{
    return new CGotoAgent(brain);
}

} // namespace

CAgentClassRecord CGotoAgent::s_classRecord("CGotoAgent", &Create);

bool CGotoAgent::Init(CConfigNode* node)
{
    if (!CAgent::Init(node))
        return false;
    m_pathFinder = FindPathFinder(GetBrain());
    m_destination = CVec3();
    m_arrived = 0;
    return HasPathFinder();
}

bool CGotoAgent::ReadParameter(CConfigNode* /*node*/)
{
    return false;
}

void CGotoAgent::SetDestination(const CVec3& point)
{
    if (point != m_destination)
        m_arrived = 0;
    m_destination = point;
}

float CGotoAgent::GetPathStatus() const
{
    return m_pathFinder != nullptr ? m_pathFinder->GetRemainingDistance() : -1.0f;
}

bool CGotoAgent::Think()
{
    GetActionSet()->Reset();
    if (m_pathFinder == nullptr)
        return false;
    if (!m_pathFinder->FindNextMove(m_destination)) {
        m_arrived = 0;
        return false;
    }
    GetActionSet()->Merge(*m_pathFinder->GetActionSet());
    m_arrived = m_pathFinder->HasArrived() ? 1 : 0;
    return true;
}

} // namespace Zelk
