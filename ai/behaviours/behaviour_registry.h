// What every behaviour shares: the names of the time-manager tasks that agents
// spreading work over frames look up, and the check that the behaviour classes
// of this library were entered into their registries.
#pragma once
#include <cstdint>

namespace Zelk {

/// The aperiodic tasks the standard agents need under the world's "TimeMgt" "Aperiodic".
inline constexpr const char* kStandardAgentTaskNames[] = {
    "CShooterAgent::BotShootAtEnemy",   "CHideAgent::ComputeDestination",
    "CHideAgent::CheckPositionVisible", "CFollowerAgent::ComputeRealDistance",
    "CFleeAgent::ComputeDestination",   "CFleeAgent::CheckDangerVisible",
};
inline constexpr int32_t kStandardAgentTaskCount = 6;

/// True when the escort team, escort agent and soldier brain have registry indices.
bool CheckBehaviourClassesRegistered();

} // namespace Zelk
