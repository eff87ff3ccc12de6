#include "ai/behaviours/standard_agents.h"
#include "ai/behaviours/attack_nn_agent.h"
#include "ai/behaviours/flee_agent.h"
#include "ai/behaviours/follower_agent.h"
#include "ai/behaviours/goto_agent.h"
#include "ai/behaviours/hide_agent.h"
#include "ai/behaviours/path_way_agent.h"
#include "ai/behaviours/shooter_agent.h"
#include "ai/behaviours/wander_agent.h"

namespace Zelk {

bool CheckAgentClassesRegistered()
{
    const CClassRecord* const records[] = {
        &CWanderAgent::s_classRecord, &CShooterAgent::s_classRecord,  &CPathWayAgent::s_classRecord,
        &CHideAgent::s_classRecord,   &CGotoAgent::s_classRecord,     &CFollowerAgent::s_classRecord,
        &CFleeAgent::s_classRecord,   &CAttackNNAgent::s_classRecord,
    };
    for (const CClassRecord* record : records)
        if (record->GetIndex() < 0)
            return false;
    return true;
}

} // namespace Zelk
