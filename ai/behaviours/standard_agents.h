// The middleware's standard agents, created by name under "Class" of an "Agent"
// configuration: "CWanderAgent", "CShooterAgent", "CPathWayAgent", "CHideAgent",
// "CGotoAgent", "CFollowerAgent", "CFleeAgent" and "CAttackNNAgent".
#pragma once

namespace Zelk {

/// True when every standard agent class holds an agent-registry index; hosts call it at start.
bool CheckAgentClassesRegistered();

} // namespace Zelk
