// The path finder's object: configuration, bindings to the entity, the graph,
// the constraint and heuristic objects, and the start of a walk.
#include "ai/navigation/path_finder.h"

#include "ai/navigation/astar_data.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_manager.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_finder_strategies.h"
#include "ai/navigation/path_object_manager.h"
#include "ai/navigation/point_mapper.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/brain.h"
#include "ai/runtime/config_node.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/time_manager.h"
#include "ai/runtime/world.h"

#include <cstring>

namespace Zelk {

namespace {

CService* CreatePathFinder(CBrain* brain)
{
    return new CPathFinder(brain);
}

bool IsKey(const CConfigNode* node, const char* key)
{
    return node->GetKey() != nullptr && std::strcmp(node->GetKey(), key) == 0;
}

} // namespace

CServiceClassRecord IPathFinder::s_classRecord("IPathFinder", nullptr);
// The class bit marks the entities that walk with a path finder (the dynamic avoidance
// looks only at those).
CServiceClassRecord CPathFinder::s_classRecord("CPathFinder", &CreatePathFinder, &IPathFinder::s_classRecord,
                                               true, true);

// ---- Targets --------------------------------------------------------------------------

CVec3 CGraphNodeTarget::GetTargetPosition() const
{
    return m_node != nullptr ? m_node->GetPosition() : CVec3();
}

bool CGraphNodeTarget::GetTargetNode(uint16_t& node, uint16_t& graphId) const
{
    if (m_node == nullptr || m_graphId == CPointMapper::kNoPoint || m_node->GetIndex() < 0)
        return false;
    node = uint16_t(m_node->GetIndex());
    graphId = m_graphId;
    return true;
}

CVec3 CEntityTarget::GetTargetPosition() const
{
    return m_entity != nullptr ? m_entity->GetPosition() : CVec3();
}

// ---- IPathFinder ----------------------------------------------------------------------

namespace {

// One null slot per registered class, from the AI allocator; count drops to 0
// when the slots cannot be allocated.
template <typename T> T** AllocateClassSlots(int32_t& count)
{
    if (count <= 0)
        return nullptr;
    T** slots = static_cast<T**>(AiAlloc(sizeof(T*) * size_t(count)));
    if (slots == nullptr)
        count = 0;
    for (int32_t i = 0; i < count; ++i)
        slots[i] = nullptr;
    return slots;
}

// The object of a class record, created in its slot on first use and bound to
// the graph; null for a record outside the slots or one that cannot create.
template <typename T, typename Record>
T* ObjectInClassSlot(T** slots, int32_t count, const Record* record, CSpatialGraph* graph)
{
    if (record == nullptr || record->GetIndex() < 0 || record->GetIndex() >= count)
        return nullptr;
    T*& slot = slots[record->GetIndex()];
    if (slot == nullptr && record->GetCreator() != nullptr) {
        slot = record->GetCreator()();
        if (slot != nullptr)
            slot->SetGraph(graph);
    }
    return slot;
}

} // namespace

IPathFinder::IPathFinder(CBrain* brain) : CService(brain)
{
    const CActionClassRecord* actionClass = brain != nullptr ? brain->GetActionClassRecord() : nullptr;
    if (actionClass != nullptr && actionClass->GetCreator() != nullptr)
        m_actions = actionClass->GetCreator()();
    m_constraintCount = CConstraintClassRecord::GetCount();
    m_constraints = AllocateClassSlots<CConstraint>(m_constraintCount);
}

IPathFinder::~IPathFinder()
{
    for (int32_t i = 0; i < m_constraintCount; ++i)
        delete m_constraints[i];
    AiFree(m_constraints);
    delete m_actions;
}

CEntity* IPathFinder::GetEntity() const
{
    return GetBrain() != nullptr ? GetBrain()->GetEntity() : nullptr;
}

// ---- Registries -----------------------------------------------------------------------

CPathCheckRegistry& CPathFinder::CheckRegistry()
{
    static CPathCheckRegistry registry;
    return registry;
}

CPathVertexRegistry& CPathFinder::VertexRegistry()
{
    static CPathVertexRegistry registry;
    return registry;
}

CPathGoRegistry& CPathFinder::GoRegistry()
{
    static CPathGoRegistry registry;
    return registry;
}

CPathMoveRegistry& CPathFinder::MoveRegistry()
{
    static CPathMoveRegistry registry;
    return registry;
}

// ---- CPathFinder ----------------------------------------------------------------------

CPathFinder::CPathFinder(CBrain* brain) : IPathFinder(brain)
{
    m_heuristicCount = CHeuristicClassRecord::GetCount();
    m_heuristics = AllocateClassSlots<CHeuristic>(m_heuristicCount);
    if (m_constraintCount > 0) {
        m_spread = static_cast<SpreadState*>(AiAlloc(sizeof(SpreadState) * size_t(m_constraintCount)));
        for (int32_t i = 0; m_spread != nullptr && i < m_constraintCount; ++i)
            new (&m_spread[i]) SpreadState();
    }
}

CPathFinder::~CPathFinder()
{
    if (m_listening)
        CPathObjectManager::RemovePathObjectListener(&CPathFinder::OnPathObject, this, GetEntity());
    AiFree(m_spread);
    for (int32_t i = 0; i < m_heuristicCount; ++i)
        delete m_heuristics[i];
    AiFree(m_heuristics);
    delete m_legGraph;
}

void CPathFinder::OnPathObject(CPathObject* /*object*/, void* user)
{
    static_cast<CPathFinder*>(user)->RelaunchPath();
}

bool CPathFinder::Init(CConfigNode* node)
{
    if (node == nullptr)
        return false;
    CWorld* world = GetCurrentWorld();
    const float k = world != nullptr ? world->GetOneMeter() : 1.0f;

    m_stopCondition = &CPathFinderStrategies::SimpleStopCondition;
    m_findVertex = &CPathFinderStrategies::LocallyVisibleVertex;
    m_canGo = &CPathFinderStrategies::AlwaysGo;
    m_nextSubgoal = &CPathFinderStrategies::SimpleCheck;
    m_moveModeCheck = &CPathFinderStrategies::NoCheck;
    m_simpleMove = &CPathFinderStrategies::VisibleMove;
    m_complexMove = &CPathFinderStrategies::InvisibleMove;
    SetConstraint(CConstraintClassRecord::Find("CConstraintShortestPath"));
    SetHeuristic(CHeuristicClassRecord::Find("CHeuristicEuclidianDistance"));

    m_distMinNewGoal = 0.5f * k;
    m_distGoal = 0.75f * k;
    m_distStop = 0.75f * k;
    m_distSlowDown = k;
    m_distGoalSlowDown = 3.0f * k;
    m_maxDeltaHeight = k;
    m_distSubgoalMax = 100.0f * k;
    m_maxDeltaAngle = 45.0f;
    m_nbMaxSubgoal = 1;
    m_holeHeight = 0.5f * k;
    m_holeDistToEdge = k;
    m_widthRatioForHole = 1.0f;
    m_cpuPrudence = 0.2f;
    m_avoidCpuPeaks = false;
    m_goalInSight = true;
    m_dynRatioAttrRep = 0.5f;
    m_dynDelayTime = 0.4f;
    m_timeMinTrigger = -1.0f;
    m_timeMaxTrigger = 10.0f;
    m_avoiding = false;
    SetGraph(nullptr);

    m_pointMapper = world != nullptr ? static_cast<CPointMapper*>(world->FindGlobalService(
                                           CGlobalServiceClassRecord::Find("CPointMapper")))
                                     : nullptr;

    if (!CService::Init(node))
        return false;

    CEntity* entity = GetEntity();
    if (entity != nullptr) {
        m_maxSpeed = entity->GetAttribute<CEntityMaxSpeed>();
        m_width = entity->GetAttribute<CEntityWidth>();
    }
    if (m_actions != nullptr) {
        m_rotate = m_actions->Get<CActionRotate>();
        m_steering = m_actions->Get<CActionSteering>();
        m_acceleration = m_actions->Get<CActionAcceleration>();
        m_speed = m_actions->Get<CActionSpeed>();
    }
    for (CActionFloat* action :
         {static_cast<CActionFloat*>(m_rotate), static_cast<CActionFloat*>(m_steering),
          static_cast<CActionFloat*>(m_acceleration), static_cast<CActionFloat*>(m_speed)})
        if (action != nullptr)
            action->SetValue(0.0f);

    if (CTimeManager* tm = CTimeManager::Peek()) {
        m_taskAstar = tm->FindAperiodicTask("CPathFinder::FindNextMove::ASTAR");
        m_taskCheckAccident = tm->FindPeriodicTask("CPathFinder::FindNextMove::CheckAccident");
        m_taskNewSubGoal = tm->FindPeriodicTask("CPathFinder::FindNextMove::NewSubGoal");
        m_taskGoto = tm->FindPeriodicTask("CPathFinder::FindNextMove::Goto");
    }

    if (!CheckHeadingAction() || !CheckPaceAction() || !CheckMaxSpeed() || !CheckWidth() ||
        !CheckFindVertex())
        return false;
    if (m_path.capacity == 0)
        m_path.SetCapacity(50);
    if (world != nullptr && world->FindGlobalService(&CPathObjectManager::Record()) != nullptr &&
        !m_listening) {
        CPathObjectManager::AddPathObjectListener(&CPathFinder::OnPathObject, this, entity);
        m_listening = true;
    }
    return true;
}

bool CPathFinder::ReadParameter(CConfigNode* node)
{
    const char* value = node->GetValue();
    CWorld* world = GetCurrentWorld();
    const float k = world != nullptr ? world->GetOneMeter() : 1.0f;
    struct Distance
    {
        const char* key;
        float* field;
    };
    const Distance distances[] = {
        {"DistMinNewGoal", &m_distMinNewGoal},
        {"DistGoal", &m_distGoal},
        {"DistStop", &m_distStop},
        {"DistGoalSlowDown", &m_distGoalSlowDown},
        {"DistSlowDown", &m_distSlowDown},
        {"MaxDeltaHeight", &m_maxDeltaHeight},
        {"DistSubgoalMax", &m_distSubgoalMax},
        {"HoleHeight", &m_holeHeight},
        {"HoleDistToEdge", &m_holeDistToEdge},
    };
    for (const Distance& d : distances)
        if (IsKey(node, d.key)) {
            if (value == nullptr)
                return false;
            *d.field = ConfigToFloat(value) * k;
            return true;
        }
    const Distance plain[] = {
        {"WidthRatioForHoleDetection", &m_widthRatioForHole},
        {"DynDelayTime", &m_dynDelayTime},
        {"DynRatioAttrRep", &m_dynRatioAttrRep},
        {"TimeMinTrigger", &m_timeMinTrigger},
        {"TimeMaxTrigger", &m_timeMaxTrigger},
    };
    for (const Distance& d : plain)
        if (IsKey(node, d.key)) {
            if (value == nullptr)
                return false;
            *d.field = ConfigToFloat(value);
            return true;
        }
    if (IsKey(node, "Graph"))
        return SetGraphByName(value);
    if (value == nullptr)
        return false;
    if (IsKey(node, "MaxDeltaAngle")) {
        float angle = ConfigToFloat(value);
        if (angle > 360.0f)
            angle -= 360.0f;
        else if (angle < 0.0f)
            angle += 360.0f;
        m_maxDeltaAngle = angle;
        return true;
    }
    if (IsKey(node, "NbMaxSubgoal")) {
        m_nbMaxSubgoal = uint32_t(ConfigToInt(value));
        return true;
    }
    if (IsKey(node, "CpuPrudence")) {
        m_cpuPrudence = ConfigToFloat(value);
        for (int32_t i = 0; m_spread != nullptr && i < m_constraintCount; ++i)
            m_spread[i].prudence = m_cpuPrudence;
        return true;
    }
    if (IsKey(node, "AvoidCpuPeaks")) {
        m_avoidCpuPeaks = ConfigToInt(value) != 0;
        return true;
    }
    if (IsKey(node, "MaxPathSize")) {
        const int32_t size = ConfigToInt(value);
        if (size < 0)
            return false;
        m_path.SetCapacity(size);
        m_pathValid = false;
        m_pathIndex = -1;
        return true;
    }
    const auto choose = [value](auto& registry, auto& field) {
        auto fn = registry.Find(value);
        if (fn == nullptr)
            return false;
        field = fn;
        return true;
    };
    if (IsKey(node, "StopCondition"))
        return choose(CheckRegistry(), m_stopCondition);
    if (IsKey(node, "NextSubgoal"))
        return choose(CheckRegistry(), m_nextSubgoal);
    if (IsKey(node, "FindVertex"))
        return choose(VertexRegistry(), m_findVertex);
    if (IsKey(node, "MoveModeCheck"))
        return choose(GoRegistry(), m_moveModeCheck);
    if (IsKey(node, "CanGo"))
        return choose(GoRegistry(), m_canGo);
    if (IsKey(node, "SimpleMove"))
        return choose(MoveRegistry(), m_simpleMove);
    if (IsKey(node, "ComplexMove"))
        return choose(MoveRegistry(), m_complexMove);
    return false;
}

void CPathFinder::Start()
{
    m_path.count = 0;
    m_path.remainingLength = 0.0f;
    m_arrived = false;
    m_pathValid = false;
    m_searchPending = false;
    m_searchUnfinished = false;
    m_searchedOnce = false;
    m_searchStart = m_searchEnd = m_launchedStart = m_launchedEnd = nullptr;
    m_holeCountdown = 0;
    m_relaunch = false;
    m_accident = false;
    m_lastSubgoalDistance = -1.0f;
    m_accidentWatchTime = -1.0e9f;
    m_pathIndex = -1;
    if (CEntity* entity = GetEntity()) {
        m_position = entity->GetPosition();
        m_goal = m_subGoal = m_position;
    }
    if (m_acceleration != nullptr)
        m_acceleration->SetValue(0.0f);
    else if (m_speed != nullptr)
        m_speed->SetValue(0.0f);
    if (m_rotate != nullptr)
        m_rotate->SetValue(GetEntity() != nullptr ? GetEntity()->GetAngles().y : 0.0f);
    else if (m_steering != nullptr)
        m_steering->SetValue(0.0f);
}

bool CPathFinder::SetConstraint(const CConstraintClassRecord* record)
{
    if (record == nullptr || !record->IsA(&CConstraint::BaseRecord()))
        return false;
    CConstraint* constraint = ObjectInClassSlot(m_constraints, m_constraintCount, record, m_graph);
    if (constraint == nullptr)
        return false;
    m_constraint = constraint;
    return true;
}

bool CPathFinder::SetHeuristic(const CHeuristicClassRecord* record)
{
    CHeuristic* heuristic = ObjectInClassSlot(m_heuristics, m_heuristicCount, record, m_graph);
    if (heuristic == nullptr)
        return false;
    m_heuristic = heuristic;
    return true;
}

void CPathFinder::BindGraphData()
{
    m_graphId = CPointMapper::kNoPoint;
    m_astarData = nullptr;
    m_findNearestData = nullptr;
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    if (m_graph != nullptr) {
        uint16_t id = 0;
        if (m_pointMapper != nullptr && m_pointMapper->GetGraphIndex(m_graph, id))
            m_graphId = id;
        if (manager != nullptr) {
            m_astarData = static_cast<CAstarData*>(
                manager->GetAdditionalData(m_graph, CGraphDataClassRecord::Find("CAstarData")));
            m_findNearestData = static_cast<CFindNearestData*>(
                manager->GetAdditionalData(m_graph, CGraphDataClassRecord::Find("CFindNearestData")));
        }
    }
    for (int32_t i = 0; i < m_heuristicCount; ++i)
        if (m_heuristics[i] != nullptr)
            m_heuristics[i]->SetGraph(m_graph);
    for (int32_t i = 0; i < m_constraintCount; ++i)
        if (m_constraints[i] != nullptr)
            m_constraints[i]->SetGraph(m_graph);
}

bool CPathFinder::SetGraphByName(const char* name)
{
    CGraphManager* manager = CGraphManager::FindInCurrentWorld();
    CSpatialGraph* graph = manager != nullptr && name != nullptr ? manager->GetGraph(name) : nullptr;
    return graph != nullptr && SetGraph(graph);
}

bool CPathFinder::SetGraph(CSpatialGraph* graph)
{
    if (graph != nullptr) {
        CGraphManager* manager = CGraphManager::FindInCurrentWorld();
        if (manager == nullptr || !manager->HasGraph(graph))
            return false;
    }
    m_graph = graph;
    m_pathValid = false;
    m_path.count = 0;
    m_searchStart = m_searchEnd = m_launchedStart = m_launchedEnd = nullptr;
    BindGraphData();
    return true;
}

bool CPathFinder::CheckHeadingAction() const
{
    return (m_rotate != nullptr) != (m_steering != nullptr);
}

bool CPathFinder::CheckPaceAction() const
{
    return (m_acceleration != nullptr) != (m_speed != nullptr);
}

bool CPathFinder::CheckFindVertex() const
{
    return m_findVertex != &CPathFinderStrategies::NearestVertexOpt || m_findNearestData != nullptr;
}

} // namespace Zelk
