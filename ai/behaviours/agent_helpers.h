// Small pieces the standard agents share: parameter keys, angle folding, the
// three-degree steering rule and the services they look up.
#pragma once
#include <cstdint>

namespace Zelk {

class CActionAcceleration;
class CActionSpeed;
class CBrain;
class CEntity;
class CConfigNode;
class CFindNearestData;
class CPointMapper;
class CSpatialGraph;
class CTimeManager;
class IPathFinder;

/// The node's value when its key is exactly key and it has a value; null otherwise.
const char* ParameterValue(const CConfigNode* node, const char* key);
/// True when the node's key is exactly key (value or not).
bool IsParameter(const CConfigNode* node, const char* key);

/// The angle folded completely into [-180, 180] degrees (any number of turns).
float FoldAngle180(float degrees);
/// Steering for a heading error (degrees): +1 above 3, -1 below -3, else 0.
float SteeringFor(float headingError);

/// Decides that the entity stands: speed 0 with a speed action; with an acceleration action
/// -1 (brake) while the entity moves faster than 0.05 m/s, else 0 (nothing to brake).
void DecideStop(CActionSpeed* speed, CActionAcceleration* acceleration, const CEntity* entity);

/// The brain's path finder (IPathFinder or a subclass); null when it has none.
IPathFinder* FindPathFinder(const CBrain* brain);
/// The current world's point mapper; null without world or mapper.
CPointMapper* FindPointMapper();
/// The graph's point-mapping index; 0xFFFF without graph manager or point mapper, or
/// when the mapper does not know the graph.
uint16_t FindPointMappingIndex(const CSpatialGraph* graph);
/// The graph's find-nearest data in the current world's graph manager; null when none.
CFindNearestData* FindNearestDataOf(const CSpatialGraph* graph);
/// Index of the named aperiodic task of the world's time manager; -1 when not configured.
int32_t FindAgentTask(const char* name);
/// The time manager (created on first use), or null.
CTimeManager* AgentTimeManager();

} // namespace Zelk
