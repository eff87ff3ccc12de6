// The path finder's think: whether to search, the search launch, the sub-goal
// on the path, the move and its translation into heading and pace actions.
#include "ai/navigation/astar.h"
#include "ai/navigation/astar_data.h"
#include "ai/navigation/constraint.h"
#include "ai/navigation/heuristic.h"
#include "ai/navigation/path_finder.h"
#include "ai/navigation/path_finder_strategies.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/point_mapper.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/time_manager.h"

#include <cmath>

namespace Zelk {

namespace {

constexpr float kRadToDeg = 57.295779513f;

// Folds any finite angle into (-180, 180].
float WrapAngle180(float degrees)
{
    float a = std::fmod(degrees, 360.0f);
    if (a > 180.0f)
        a -= 360.0f;
    else if (a <= -180.0f)
        a += 360.0f;
    return a;
}

} // namespace

CVec3 CPathFinder::Heading() const
{
    const CEntity* entity = GetEntity();
    const float yaw = entity != nullptr ? entity->GetAngles().y : 0.0f;
    return CVec3(SinDeg(yaw), 0.0f, CosDeg(yaw));
}

float CPathFinder::DistanceTo(const CVec3& point) const
{
    return (point - m_position).Length();
}

bool CPathFinder::TaskDue(int32_t task)
{
    CTimeManager* tm = CTimeManager::Peek();
    return task < 0 || tm == nullptr || tm->IsPeriodicTaskDue(task, GetEntity());
}

void CPathFinder::MarkRun(int32_t task)
{
    if (CTimeManager* tm = CTimeManager::Peek(); tm != nullptr && task >= 0)
        tm->MarkPeriodicTaskRun(task, GetEntity());
}

bool CPathFinder::AccidentWatchDue()
{
    if (m_taskCheckAccident >= 0 || CTimeManager::Peek() == nullptr)
        return TaskDue(m_taskCheckAccident);
    // Without a configured task the watch runs once a second: asking for 5 % progress
    // every frame would call a walker on a long leg stuck.
    const float now = CTimeManager::GetFrameStartTime();
    if (now - m_accidentWatchTime <= kAccidentWatchPeriod)
        return false;
    m_accidentWatchTime = now;
    return true;
}

void CPathFinder::MarkAccidentWatchRun()
{
    if (m_taskCheckAccident >= 0)
        MarkRun(m_taskCheckAccident);
    else
        m_accidentWatchTime = CTimeManager::GetFrameStartTime();
}

bool CPathFinder::FindNextMove(const IPathTarget& target)
{
    return FindNextMoveTo(target.GetTargetPosition(), &target);
}

bool CPathFinder::FindNextMove(const CVec3& point)
{
    return FindNextMoveTo(point, nullptr);
}

bool CPathFinder::FindNextMoveTo(const CVec3& goal, const IPathTarget* target)
{
    CEntity* entity = GetEntity();
    if (entity == nullptr || m_actions == nullptr)
        return false;
    m_arrived = false;
    m_actions->Reset();
    m_position = entity->GetPosition();
    m_applyMove = true;
    m_goal = goal;
    CPathMove move;
    if (!Plan(move, target)) {
        // No way to the goal: stand still rather than walk on with the last speed.
        StopOnArrival();
        return false;
    }
    if (m_arrived) {
        StopOnArrival();
        return true;
    }
    if (!m_applyMove)
        return true;
    return ApplyMove(move);
}

void CPathFinder::StopOnArrival()
{
    if (m_speed != nullptr)
        m_speed->SetValue(0.0f);
    else if (m_acceleration != nullptr && GetEntity() != nullptr)
        m_acceleration->SetValue(GetEntity()->GetSpeed() > 0.0f ? -1.0f : 0.0f);
}

CPathObject* CPathFinder::SegmentObject() const
{
    if (m_pathIndex <= 0 || m_pathIndex > m_path.count || size_t(m_pathIndex) > m_path.pathObjects.size())
        return nullptr;
    return m_path.pathObjects[size_t(m_pathIndex - 1)];
}

bool CPathFinder::Plan(CPathMove& move, const IPathTarget* target)
{
    CEntity* entity = GetEntity();
    CTimeManager* tm = CTimeManager::Peek();
    // 1. Direction to the goal (goal minus position), or to the pending search's goal.
    if (m_searchPending) {
        m_goalDirection = m_launchedGoal - m_position;
        m_goalInSight = false;
    } else {
        m_goalDirection = m_goal - m_position;
        m_goalInSight = true;
    }
    // 2. A standing move along the current heading.
    move = CPathMove();
    move.direction = Heading();
    // 3. Arrival.
    if (m_stopCondition(*this)) {
        m_lastMove = move;
        m_lastMove.speed = 0.0f;
        m_arrived = true;
        m_searchPending = false;
        return true;
    }
    // 4. Whether to search.
    CPathObject* segment = SegmentObject();
    bool needSearch = false;
    if (!m_relaunch) {
        if (!m_searchedOnce || m_searchUnfinished ||
            ((m_goal - m_decisionGoal).Length() > m_distMinNewGoal &&
             (segment == nullptr || segment->NeedsNewPath(entity)))) {
            needSearch = true;
        } else if (!m_path.truncated || m_pathIndex < m_path.count - 2) {
            const bool accident = segment != nullptr ? segment->IsStuck(entity) : CheckAccident() != 0.0f;
            if (accident) {
                m_accident = true;
                needSearch = true;
            }
        } else {
            needSearch = true;
            m_relaunch = true;
        }
    } else {
        needSearch = segment == nullptr || segment->NeedsNewPath(entity);
        m_lastMove.speed = 0.0f;
    }
    bool admitted = false;
    if (needSearch) {
        admitted = m_taskAstar < 0 || tm == nullptr || tm->CanRunAperiodicTask(m_taskAstar, entity);
        if (!admitted) {
            m_searchPending = true;
            m_goal = m_launchedGoal;
            m_searchStart = m_launchedStart;
            m_searchEnd = m_launchedEnd;
            if (m_searchUnfinished && tm != nullptr)
                tm->SetCurrentEntity(entity);
        }
    }
    // 5. The search.
    bool searchRan = false;
    if (needSearch && admitted) {
        m_searchPending = false;
        m_arrived = false;
        m_decisionGoal = m_goal;
        bool started = false;
        m_pathValid = LaunchSearch(target, &started);
        m_searchedOnce = true;
        m_relaunch = false;
        if (tm != nullptr && m_taskAstar >= 0)
            tm->EndAperiodicTask(m_taskAstar, entity);
        m_launchedGoal = m_goal;
        m_launchedStart = m_searchStart;
        m_launchedEnd = m_searchEnd;
        if (m_searchUnfinished) {
            m_pathValid = false;
            return true;
        }
        if (m_pathValid && (started || m_accident)) {
            const int32_t exact = m_accident ? -1 : m_path.FindExactPoint(m_subGoal);
            if (exact >= 0 && exact < m_path.count) {
                m_pathIndex = exact;
            } else if (m_path.count > 0) {
                m_pathIndex = 0;
                m_subGoal = m_path.positions[0];
            } else {
                m_pathIndex = -1;
                m_subGoal = m_goal;
            }
            searchRan = true;
        }
        if (started || m_accident) {
            // Restart the progress watch from here.
            m_accident = false;
            m_lastSubgoalDistance = DistanceTo(m_subGoal);
            MarkAccidentWatchRun();
        }
    }
    // 6. Without a path there is no move.
    if (m_searchUnfinished) {
        m_pathValid = false;
        return true;
    }
    if (!m_pathValid)
        return false;
    // 7-10. Sub-goal advance and move.
    const CVec3 oldSubGoal = m_subGoal;
    segment = SegmentObject();
    if (searchRan || TaskDue(m_taskNewSubGoal)) {
        if (segment == nullptr) {
            const int32_t oldIndex = m_pathIndex;
            if (m_holeCountdown == 1)
                CPathFinderStrategies::SimpleCheck(*this);
            else
                m_nextSubgoal(*this);
            if (m_pathIndex != oldIndex && m_holeCountdown != 0)
                --m_holeCountdown;
            MarkRun(m_taskNewSubGoal);
            MarkRun(m_taskGoto);
            MakeMove(move);
        } else {
            SegmentObjectMove(move, segment);
        }
    } else if (segment == nullptr) {
        if (TaskDue(m_taskGoto)) {
            MakeMove(move);
        } else {
            m_arrived = false;
            move = m_lastMove;
        }
    } else {
        SegmentObjectMove(move, segment);
    }
    // 11. A new sub-goal restarts the progress watch.
    if (m_subGoal != oldSubGoal) {
        m_lastSubgoalDistance = DistanceTo(m_subGoal);
        MarkAccidentWatchRun();
        m_accident = false;
    }
    return true;
}

void CPathFinder::MakeMove(CPathMove& move)
{
    if (m_moveModeCheck(*this, m_subGoal))
        m_simpleMove(*this, move, m_subGoal);
    else
        m_complexMove(*this, move, m_subGoal);
    m_predicted = m_position + move.direction * (0.1f * move.speed);
    m_lastMove = move;
}

void CPathFinder::SegmentObjectMove(CPathMove& move, CPathObject* object)
{
    uint8_t reached = 0;
    CVec3 out = m_subGoal;
    const CVec3 pathPoint =
        m_pathIndex >= 0 && m_pathIndex < m_path.count ? m_path.positions[size_t(m_pathIndex)] : m_subGoal;
    if (object->MoveTarget(GetEntity(), pathPoint, 0, &reached, out))
        m_applyMove = false;
    else
        m_simpleMove(*this, move, out);
    if (reached != 0)
        AdvanceFrom(m_pathIndex);
    MarkRun(m_taskGoto);
    m_lastMove = move;
}

bool CPathFinder::LaunchSearch(const IPathTarget* target, bool* started)
{
    *started = false;
    if (m_graph == nullptr)
        return false;
    CGraphNode* start = m_findVertex(*this, m_position, true, false);
    CGraphNode* end = target != nullptr ? FindTargetVertex(*target) : nullptr;
    if (end == nullptr)
        end = m_findVertex(*this, m_goal, false, true);
    if (!m_searchUnfinished && end == m_searchEnd && (start == m_searchStart || !m_accident) && !m_relaunch &&
        m_searchedOnce)
        return m_pathValid;
    *started = true;
    ++m_searchCount;
    m_searchStart = start;
    m_searchEnd = end;
    if (start == nullptr || end == nullptr)
        return false;
    m_path.count = 0;
    m_path.remainingLength = 0.0f;
    m_path.truncated = 0;
    if (m_astarData != nullptr && m_astarData->IsReady() && m_constraint != nullptr &&
        m_constraint->GetClassRecord() == CConstraintClassRecord::Find("CConstraintShortestPath")) {
        m_path.graph = m_graph;
        return m_astarData->Lookup(start->GetIndex(), end->GetIndex(), m_path);
    }
    m_graph->SetConstraint(m_constraint);
    m_graph->SetHeuristic(m_heuristic);
    if (!m_avoidCpuPeaks)
        return AstarSearch(*m_graph, m_path, start, end, GetEntity());
    const int32_t slot = m_constraint != nullptr ? m_constraint->GetClassRecord()->GetIndex() : -1;
    if (m_spread == nullptr || slot < 0 || slot >= m_constraintCount)
        return AstarSearch(*m_graph, m_path, start, end, GetEntity());
    SpreadState& state = m_spread[slot];
    CTimeManager* tm = CTimeManager::Peek();
    float budget = tm != nullptr && m_taskAstar >= 0 ? tm->GetRemainingFrameTime(m_taskAstar) : 0.0005f;
    if (budget < 0.0005f)
        budget = 0.0005f;
    const bool restart = !m_searchUnfinished || m_relaunch;
    m_searchUnfinished = false;
    AstarSliceStats stats;
    stats.nodeCount = state.nodeCount;
    stats.meanTime = state.meanTime;
    stats.deviation = state.deviation;
    const EAstarResult result =
        AstarSearchSliced(*m_graph, m_path, start, end, GetEntity(), stats, state.prudence, budget, restart);
    state.nodeCount = stats.nodeCount;
    state.meanTime = stats.meanTime;
    state.deviation = stats.deviation;
    if (result == kAstarSuspended) {
        m_searchUnfinished = true;
        if (tm != nullptr)
            tm->SetCurrentEntity(GetEntity());
        return true;
    }
    return result == kAstarFound;
}

CGraphNode* CPathFinder::FindTargetVertex(const IPathTarget& target)
{
    uint16_t node = 0, graphId = 0;
    if (m_pointMapper != nullptr && m_graphId != CPointMapper::kNoPoint && m_graph != nullptr &&
        target.GetTargetNode(node, graphId)) {
        if (graphId == m_graphId) {
            if (CGraphNode* found = m_graph->GetNode(node))
                return found;
        } else {
            uint16_t mapped = 0;
            if (m_pointMapper->MapPoint(graphId, node, m_graphId, mapped))
                if (CGraphNode* found = m_graph->GetNode(mapped))
                    return found;
        }
    }
    return m_findVertex(*this, target.GetTargetPosition(), false, false);
}

bool CPathFinder::EstimateCost(const IPathTarget& from, const IPathTarget& to, float* cost)
{
    if (m_graph == nullptr || m_heuristic == nullptr || cost == nullptr)
        return false;
    CGraphNode* a = FindTargetVertex(from);
    CGraphNode* b = FindTargetVertex(to);
    if (a == nullptr || b == nullptr)
        return false;
    return m_heuristic->Estimate(GetEntity(), a, b, cost);
}

int32_t CPathFinder::NearestPathPoint(const CVec3& point) const
{
    int32_t best = -1;
    float bestScore = 0.0f;
    for (int32_t i = 0; i < m_path.count; ++i) {
        const CVec3 d = m_path.positions[size_t(i)] - point;
        const float score = 10.0f * d.y * d.y + d.x * d.x + d.z * d.z;
        if (best < 0 || score < bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

void CPathFinder::AdvanceFrom(int32_t index)
{
    if (index >= 0 && index + 1 < m_path.count) {
        m_pathIndex = index + 1;
        m_subGoal = m_path.positions[size_t(m_pathIndex)];
    } else {
        m_subGoal = m_goal;
    }
}

bool CPathFinder::StraightCost(const CVec3& a, const CVec3& b, float* cost)
{
    if (m_constraint == nullptr)
        return false;
    if (m_legGraph == nullptr) {
        m_legGraph = new CSpatialGraph;
        if (m_legGraph == nullptr)
            return false;
        CGraphNode* from = AddNodeAtPosition(*m_legGraph, a);
        CGraphNode* to = AddNodeAtPosition(*m_legGraph, b);
        const int32_t arc =
            from != nullptr && to != nullptr ? m_legGraph->AddArc(CGraphArcData(), from, to) : -1;
        m_legArc = m_legGraph->GetArc(arc);
        if (m_legArc == nullptr)
            return false;
    }
    if (m_legArc == nullptr)
        return false;
    m_legArc->GetFrom()->GetData().position = a;
    m_legArc->GetTo()->GetData().position = b;
    m_legArc->GetData().length = (b - a).Length();
    m_legArc->GetData().cost = m_legArc->GetData().length;
    return m_constraint->ComputeCost(GetEntity(), m_legArc, cost);
}

float CPathFinder::CheckAccident()
{
    if (m_accident)
        return 1.0f;
    if (!AccidentWatchDue())
        return 0.0f;
    const float d = DistanceTo(m_subGoal);
    if (m_lastSubgoalDistance >= 0.0f && d <= 0.95f * m_lastSubgoalDistance) {
        m_lastSubgoalDistance = d;
        return 0.0f;
    }
    m_accident = true;
    MarkAccidentWatchRun();
    m_lastSubgoalDistance = d;
    // Distance 0 (standing on the sub-goal) still reports the accident.
    return d > 0.0f ? d : 1.0f;
}

bool CPathFinder::HasArrived() const
{
    return !m_searchPending && m_goalInSight && m_arrived;
}

float CPathFinder::GetRemainingDistance() const
{
    const CEntity* entity = GetEntity();
    const CVec3 position = entity != nullptr ? entity->GetPosition() : m_position;
    if (HasArrived())
        return (m_goal - position).Length();
    if (!m_pathValid && !m_searchPending && !m_searchUnfinished && m_searchedOnce)
        return -1.0f;
    float distance = (m_subGoal - position).Length();
    if (m_subGoal == m_goal || m_pathIndex < 0 || m_path.count == 0)
        return distance;
    for (int32_t i = m_pathIndex; i + 1 < m_path.count; ++i)
        distance += (m_path.positions[size_t(i + 1)] - m_path.positions[size_t(i)]).Length();
    distance += m_path.remainingLength;
    return distance + (m_goal - m_path.positions[size_t(m_path.count - 1)]).Length();
}

bool CPathFinder::ApplyMove(CPathMove& move)
{
    const CEntity* entity = GetEntity();
    if (entity == nullptr || (m_rotate == nullptr && m_steering == nullptr))
        return false;
    if (m_searchPending) {
        for (CAction* action : {static_cast<CAction*>(m_acceleration), static_cast<CAction*>(m_speed),
                                static_cast<CAction*>(m_rotate), static_cast<CAction*>(m_steering)})
            if (action != nullptr)
                action->SetIsSet(true);
    }
    const float yaw = entity->GetAngles().y;
    const CVec3 flat = CVec3(move.direction.x, 0.0f, move.direction.z).GetNormalized();
    const bool hasDirection = flat.SquaredLength() > 0.0f;
    if (m_rotate != nullptr) {
        float angle = 0.0f;
        if (hasDirection) {
            const CVec3 heading = Heading();
            const float dot = flat.Dot(heading);
            angle = dot >= 1.0f ? 0.0f : dot <= -1.0f ? 180.0f : std::acos(dot) * kRadToDeg;
            if (flat.x * heading.z - flat.z * heading.x <= 0.0f)
                angle = -angle;
        }
        float target = WrapAngle180(yaw + angle);
        const float size = std::fabs(angle);
        // A zero angle needs no limit (and would divide 0 by 0 with a zero limit).
        if (size > 0.0f && size >= m_maxDeltaAngle) {
            move.speed *= m_maxDeltaAngle / size;
            target = WrapAngle180(yaw + (angle > 0.0f ? m_maxDeltaAngle : -m_maxDeltaAngle));
        }
        m_rotate->SetValue(target);
    } else {
        float steer = 0.0f;
        if (hasDirection) {
            const float difference = WrapAngle180(DirectionToAngles(flat).y - yaw);
            if (difference == 0.0f)
                steer = 0.0f;
            else if (std::fabs(difference) < m_maxDeltaAngle)
                steer = difference / m_maxDeltaAngle;
            else
                steer = difference > 0.0f ? 1.0f : -1.0f;
        }
        m_steering->SetValue(steer);
    }
    if (m_acceleration != nullptr) {
        const float current = entity->GetSpeed();
        m_acceleration->SetValue(move.speed > current ? 1.0f : move.speed < current ? -1.0f : 0.0f);
    } else if (m_speed != nullptr) {
        m_speed->SetValue(move.speed);
    } else {
        return false;
    }
    return true;
}

} // namespace Zelk
