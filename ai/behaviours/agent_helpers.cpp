#include "ai/behaviours/agent_helpers.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/point_mapper.h"
#include "ai/runtime/action.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"
#include <cmath>
#include <cstring>

namespace Zelk {

const char* ParameterValue(const CConfigNode* node, const char* key)
{
    return IsParameter(node, key) ? node->GetValue() : nullptr;
}

bool IsParameter(const CConfigNode* node, const char* key)
{
    return node != nullptr && node->GetKey() != nullptr && std::strcmp(node->GetKey(), key) == 0;
}

float FoldAngle180(float degrees)
{
    if (!std::isfinite(degrees))
        return 0.0f;
    float a = std::fmod(degrees, 360.0f);
    if (a > 180.0f)
        a -= 360.0f;
    else if (a < -180.0f)
        a += 360.0f;
    return a;
}

float SteeringFor(float headingError)
{
    if (headingError > 3.0f)
        return 1.0f;
    if (headingError < -3.0f)
        return -1.0f;
    return 0.0f;
}

void DecideStop(CActionSpeed* speed, CActionAcceleration* acceleration, const CEntity* entity)
{
    if (speed != nullptr)
        speed->SetValue(0.0f);
    if (acceleration != nullptr) {
        // Brake while moving; a standing (or creeping) entity is left alone, so that it
        // does not start to oscillate around zero.
        const float s = entity != nullptr ? entity->GetSpeed() : 0.0f;
        acceleration->SetValue(s > 0.05f * GetOneMeter() ? -1.0f : 0.0f);
    }
}

IPathFinder* FindPathFinder(const CBrain* brain)
{
    return brain != nullptr ? static_cast<IPathFinder*>(brain->FindService(&IPathFinder::s_classRecord))
                            : nullptr;
}

CPointMapper* FindPointMapper()
{
    const CWorld* world = GetCurrentWorld();
    const CGlobalServiceClassRecord* record = CGlobalServiceClassRecord::Find("CPointMapper");
    if (world == nullptr || record == nullptr)
        return nullptr;
    return static_cast<CPointMapper*>(world->FindGlobalService(record));
}

uint16_t FindPointMappingIndex(const CSpatialGraph* graph)
{
    uint16_t index = CPointMapper::kNoPoint;
    const CPointMapper* mapper = FindPointMapper();
    if (graph == nullptr || mapper == nullptr || CGraphManager::FindInCurrentWorld() == nullptr ||
        !mapper->GetGraphIndex(graph, index))
        return CPointMapper::kNoPoint;
    return index;
}

CFindNearestData* FindNearestDataOf(const CSpatialGraph* graph)
{
    const CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    const CGraphDataClassRecord* record = CGraphDataClassRecord::Find("CFindNearestData");
    if (manager == nullptr || graph == nullptr || record == nullptr)
        return nullptr;
    return static_cast<CFindNearestData*>(manager->GetAdditionalData(graph, record));
}

int32_t FindAgentTask(const char* name)
{
    const CTimeManager* manager = AgentTimeManager();
    return manager != nullptr ? manager->FindAperiodicTask(name) : -1;
}

CTimeManager* AgentTimeManager()
{
    return CTimeManager::Get();
}

} // namespace Zelk
