#include "ai/behaviours/behaviour_registry.h"
#include "ai/behaviours/soldier_brain.h"
#include "ai/behaviours/wardel_agent.h"
#include "ai/behaviours/wardel_team.h"

namespace Zelk {

static_assert(sizeof(kStandardAgentTaskNames) / sizeof(kStandardAgentTaskNames[0]) ==
              kStandardAgentTaskCount);

bool CheckBehaviourClassesRegistered()
{
    return CWardelTeam::s_classRecord.GetIndex() >= 0 && CWardelAgent::s_classRecord.GetIndex() >= 0 &&
           CSoldierBrain::s_classRecord.GetIndex() >= 0;
}

} // namespace Zelk
