// The path finder's named strategies: arrival test, sub-goal advances, start
// and end node choice, go tests, and the moves (straight, around a static
// obstacle, around moving entities, stop and search again).
#include "ai/navigation/path_finder_strategies.h"

#include "ai/navigation/find_nearest_data.h"
#include "ai/navigation/graph_queries.h"
#include "ai/navigation/path_object.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/attribute.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/world.h"

#include <cmath>

namespace Zelk {

namespace {

using S = CPathFinderStrategies;

TPathStrategyRecord<PathCheckFn> s_stop(CPathFinder::CheckRegistry(), "SimpleStopCondition",
                                        &S::SimpleStopCondition);
TPathStrategyRecord<PathCheckFn> s_simple(CPathFinder::CheckRegistry(), "SimpleCheck", &S::SimpleCheck);
TPathStrategyRecord<PathCheckFn> s_complex(CPathFinder::CheckRegistry(), "ComplexCheck", &S::ComplexCheck);
TPathStrategyRecord<PathVertexFn> s_nearest(CPathFinder::VertexRegistry(), "NearestVertex",
                                            &S::NearestVertex);
TPathStrategyRecord<PathVertexFn> s_visible(CPathFinder::VertexRegistry(), "LocallyVisibleVertex",
                                            &S::LocallyVisibleVertex);
TPathStrategyRecord<PathVertexFn> s_opt(CPathFinder::VertexRegistry(), "NearestVertexOpt",
                                        &S::NearestVertexOpt);
TPathStrategyRecord<PathGoFn> s_visibleGo(CPathFinder::GoRegistry(), "VisibleGo", &S::VisibleGo);
TPathStrategyRecord<PathGoFn> s_alwaysGo(CPathFinder::GoRegistry(), "AlwaysGo", &S::AlwaysGo);
TPathStrategyRecord<PathGoFn> s_noHoleGo(CPathFinder::GoRegistry(), "VisibleWithoutHoleGo",
                                         &S::VisibleWithoutHoleGo);
TPathStrategyRecord<PathGoFn> s_visibility(CPathFinder::GoRegistry(), "VisibilityCheck", &S::VisibleGo);
TPathStrategyRecord<PathGoFn> s_holeCheck(CPathFinder::GoRegistry(), "HoleCheck", &S::HoleCheck);
TPathStrategyRecord<PathGoFn> s_noCheck(CPathFinder::GoRegistry(), "NoCheck", &S::NoCheck);
TPathStrategyRecord<PathMoveFn> s_visibleMove(CPathFinder::MoveRegistry(), "VisibleMove", &S::VisibleMove);
TPathStrategyRecord<PathMoveFn> s_invisibleMove(CPathFinder::MoveRegistry(), "InvisibleMove",
                                                &S::InvisibleMove);
TPathStrategyRecord<PathMoveFn> s_avoidMove(CPathFinder::MoveRegistry(), "VisibleAvoidDynMove",
                                            &S::VisibleAvoidDynMove);
TPathStrategyRecord<PathMoveFn> s_stopMove(CPathFinder::MoveRegistry(), "StopAndRelaunchPath",
                                           &S::StopAndRelaunchPath);

const CVec3 kUp(0.0f, 1.0f, 0.0f);

float OneMeter()
{
    const CWorld* world = GetCurrentWorld();
    return world != nullptr ? world->GetOneMeter() : 1.0f;
}

// Standing still, facing where the entity already faces.
void Stand(CPathFinder& f, CPathMove& move)
{
    move.speed = 0.0f;
    const CEntity* entity = f.GetEntity();
    const float yaw = entity != nullptr ? entity->GetAngles().y : 0.0f;
    move.direction = CVec3(SinDeg(yaw), 0.0f, CosDeg(yaw));
}

} // namespace

float CPathFinderStrategies::MaxSpeed(const CPathFinder& f)
{
    return f.m_maxSpeed != nullptr ? f.m_maxSpeed->GetValue() : 0.0f;
}

float CPathFinderStrategies::Width(const CPathFinder& f)
{
    return f.m_width != nullptr ? f.m_width->GetValue() : 0.0f;
}

// ---- Checks ---------------------------------------------------------------------------

bool CPathFinderStrategies::SimpleStopCondition(CPathFinder& f)
{
    const CVec3 d = f.m_goal - f.m_position;
    return std::sqrt(d.SquaredLengthXZ()) < f.m_distGoal && std::fabs(d.y) < f.m_maxDeltaHeight;
}

bool CPathFinderStrategies::SimpleCheck(CPathFinder& f)
{
    if (f.m_subGoal == f.m_goal)
        return true;
    if (CPathObject* segment = f.SegmentObject();
        segment != nullptr && !segment->MayGoOn(f.GetEntity(), f.m_position, f.m_subGoal))
        return true;
    const int32_t i = f.NearestPathPoint(f.m_subGoal);
    if (i < 0)
        return false;
    if (f.DistanceTo(f.m_subGoal) >= f.m_distStop)
        return true;
    f.AdvanceFrom(i);
    f.MarkRun(f.m_taskNewSubGoal);
    return true;
}

bool CPathFinderStrategies::ComplexCheck(CPathFinder& f)
{
    if (f.m_searchPending)
        return SimpleCheck(f);
    if (f.m_subGoal == f.m_goal || f.m_searchStart == nullptr || f.m_searchEnd == nullptr)
        return true;
    const int32_t start = f.NearestPathPoint(f.m_subGoal);
    if (start < 0)
        return true;
    f.m_subGoal = f.m_path.positions[size_t(start)];
    const CPathRecord& path = f.m_path;
    const CVec3& p = f.m_position;
    int32_t i = start;
    uint32_t advances = 0;
    while (i + 1 < path.count && advances < f.m_nbMaxSubgoal) {
        if (i > 0 && path.pathObjects[size_t(i - 1)] != nullptr &&
            !path.pathObjects[size_t(i - 1)]->MayGoOn(f.GetEntity(), p, f.m_subGoal))
            return true;
        const CVec3& a = path.positions[size_t(i)];
        const CVec3& b = path.positions[size_t(i + 1)];
        if ((b - p).Length() > f.m_distSubgoalMax || std::fabs(b.y - p.y) > f.m_maxDeltaHeight ||
            !f.m_canGo(f, b))
            break;
        float viaA = 0.0f, aToB = 0.0f, direct = 0.0f;
        if (!f.StraightCost(p, a, &viaA) || !f.StraightCost(a, b, &aToB) || !f.StraightCost(p, b, &direct) ||
            viaA + aToB < direct)
            break;
        ++i;
        ++advances;
    }
    bool tookGoal = false;
    if (advances < f.m_nbMaxSubgoal && i == path.count - 1 && (f.m_goal - p).Length() <= f.m_distSubgoalMax &&
        std::fabs(f.m_goal.y - p.y) <= f.m_maxDeltaHeight) {
        const CVec3& last = path.positions[size_t(i)];
        if (f.m_canGo(f, f.m_goal)) {
            float toLast = 0.0f, lastToGoal = 0.0f, direct = 0.0f;
            if (f.StraightCost(p, last, &toLast) && f.StraightCost(last, f.m_goal, &lastToGoal) &&
                f.StraightCost(p, f.m_goal, &direct) && toLast + lastToGoal > direct)
                tookGoal = true;
        } else if (f.DistanceTo(last) < f.m_distStop) {
            tookGoal = true;
        }
    }
    if (i == start && !tookGoal) {
        if (f.DistanceTo(path.positions[size_t(i)]) < f.m_distStop && i + 1 < path.count)
            ++i;
        if (i == start)
            return true;
    }
    f.m_pathIndex = i;
    f.m_subGoal = tookGoal ? f.m_goal : path.positions[size_t(i)];
    f.MarkRun(f.m_taskNewSubGoal);
    return true;
}

// ---- Vertex finders -------------------------------------------------------------------

CGraphNode* CPathFinderStrategies::NearestVertex(CPathFinder& f, const CVec3& point, bool needsOut,
                                                 bool needsIn)
{
    return f.m_graph != nullptr ? FindNearestNode(*f.m_graph, point, needsOut, needsIn) : nullptr;
}

CGraphNode* CPathFinderStrategies::LocallyVisibleVertex(CPathFinder& f, const CVec3& point, bool needsOut,
                                                        bool needsIn)
{
    if (f.m_graph == nullptr)
        return nullptr;
    return FindNearestNodeForEntity(*f.m_graph, point, f.GetEntity(), f.m_maxDeltaHeight, needsOut, needsIn);
}

CGraphNode* CPathFinderStrategies::NearestVertexOpt(CPathFinder& f, const CVec3& point, bool needsOut,
                                                    bool needsIn)
{
    if (f.m_findNearestData == nullptr)
        return nullptr;
    return FindNearestNodeFromData(point, f.GetEntity(), f.m_maxDeltaHeight, *f.m_findNearestData, needsOut,
                                   needsIn);
}

// ---- Go tests -------------------------------------------------------------------------

bool CPathFinderStrategies::VisibleGo(CPathFinder& f, const CVec3& point)
{
    return CanGo(f.m_position, point, f.GetEntity(), 2, Width(f));
}

bool CPathFinderStrategies::AlwaysGo(CPathFinder& /*f*/, const CVec3& /*point*/)
{
    return true;
}

bool CPathFinderStrategies::NoCheck(CPathFinder& /*f*/, const CVec3& /*point*/)
{
    return true;
}

bool CPathFinderStrategies::VisibleWithoutHoleGo(CPathFinder& f, const CVec3& point)
{
    return VisibleGo(f, point) && !HasHole(f, point);
}

bool CPathFinderStrategies::HasHole(CPathFinder& f, const CVec3& point)
{
    const CVec3 d = point - f.m_position;
    CVec3 side = d.Cross(kUp);
    side.y = 0.0f;
    if (side.SquaredLength() == 0.0f)
        return false;
    side = side.GetNormalized() * (Width(f) * f.m_widthRatioForHole);
    const float k = OneMeter();
    const CEntityHeight* height =
        f.GetEntity() != nullptr ? f.GetEntity()->GetAttribute<CEntityHeight>() : nullptr;
    const float halfHeight = height != nullptr ? 0.5f * height->GetValue() : k;
    const float depth = f.m_holeHeight + halfHeight;
    const float middleDepth = 1.2f * f.m_holeHeight + halfHeight;
    const float length = d.Length();
    if (length == 0.0f)
        return false;
    const CVec3 along = d / length;
    // Probes at 0 and one metre from the edge's start, then half-way between two metres
    // and the edge's end; an edge too short for a probe ends the whole test.
    const float probes[3] = {0.0f, k, (length - 2.0f * k) * 0.5f + 2.0f * k};
    for (const float sign : {1.0f, -1.0f}) {
        const CVec3 start = f.m_position + side * sign;
        for (int i = 0; i < 3; ++i) {
            if (probes[i] > length)
                return false;
            const CVec3 top = start + along * probes[i];
            const float down = i == 2 ? middleDepth : depth;
            if (HostIsVisible(top, top - kUp * down, f.GetEntity(), 1))
                return true;
        }
    }
    return false;
}

bool CPathFinderStrategies::HoleCheck(CPathFinder& f, const CVec3& point)
{
    if (f.m_subGoal == f.m_goal || f.m_pathIndex <= 0 || f.m_pathIndex >= f.m_path.count)
        return true;
    const CVec3& a = f.m_path.positions[size_t(f.m_pathIndex - 1)];
    const CVec3& b = f.m_path.positions[size_t(f.m_pathIndex)];
    // The arc leading to the current point is entry index - 1 (never the last entry, which
    // has no arc).
    float length = (b - a).Length();
    if (f.m_graph != nullptr && f.m_path.graph == f.m_graph) {
        const uint32_t arcIndex = f.m_path.arcIndices[size_t(f.m_pathIndex - 1)];
        if (const CGraphArc* arc = f.m_graph->GetArc(int32_t(arcIndex)))
            length = arc->GetLength();
    }
    if (length != 0.0f) {
        const CVec3 segment = CVec3(b.x - a.x, 0.0f, b.z - a.z);
        const float flat = segment.Length();
        if (flat > 0.0f) {
            const CVec3 u = segment / flat;
            const CVec3 rel(f.m_position.x - a.x, 0.0f, f.m_position.z - a.z);
            const float along = rel.Dot(u);
            const float across = std::fabs(rel.x * u.z - rel.z * u.x);
            if (along >= -f.m_distStop && along <= flat && across < f.m_holeDistToEdge)
                return true;
        }
    }
    if (HasHole(f, point)) {
        f.m_holeCountdown = 2;
        return false;
    }
    return true;
}

// ---- Moves ----------------------------------------------------------------------------

bool CPathFinderStrategies::VisibleMove(CPathFinder& f, CPathMove& move, const CVec3& point)
{
    const CVec3 toPoint = point - f.m_position;
    const float distance = toPoint.Length();
    if (distance == 0.0f) {
        // On the point already (Start and StopAndRelaunchPath put the sub-goal there).
        Stand(f, move);
        return true;
    }
    move.direction = toPoint / distance;
    move.direction.y = 0.0f;
    const float slowDown = point == f.m_goal ? f.m_distGoalSlowDown : f.m_distSlowDown;
    move.speed = distance <= slowDown ? 0.5f * MaxSpeed(f) : MaxSpeed(f);
    return true;
}

bool CPathFinderStrategies::InvisibleMove(CPathFinder& f, CPathMove& move, const CVec3& point)
{
    const CVec3& p = f.m_position;
    const CVec3 u = (point - p).GetNormalized();
    if (u.SquaredLength() == 0.0f) {
        Stand(f, move);
        return true;
    }
    const float k = OneMeter();
    const CVec3 ahead = p + u * (5.0f * k);
    const CVec3 s = u.Cross(kUp);
    const float d = 5.0f * k / 3.0f;
    const CVec3 left = ahead + s * d;
    const CVec3 right = ahead - s * d;
    CHitRecord hitLeft, hitRight;
    HostRayCast(p, left, f.GetEntity(), 2, &hitLeft);
    CVec3 chosen = left;
    if (hitLeft.fraction < 1.0f) {
        HostRayCast(p, right, f.GetEntity(), 2, &hitRight);
        chosen = hitRight.fraction >= 1.0f || hitLeft.fraction <= hitRight.fraction ? right : left;
    }
    move.direction = (chosen - p).GetNormalized();
    move.direction.y = 0.0f;
    move.speed = MaxSpeed(f);
    f.m_lastComplexMove = p;
    return true;
}

bool CPathFinderStrategies::StopAndRelaunchPath(CPathFinder& f, CPathMove& move, const CVec3& /*point*/)
{
    Stand(f, move);
    f.m_subGoal = f.m_position;
    f.RelaunchPath();
    return true;
}

bool CPathFinderStrategies::DetectObstacles(CPathFinder& f, const CVec3& point)
{
    f.m_obstacleDetected = false;
    f.m_nearestObstacle = nullptr;
    f.m_obstacleCount = 0;
    f.m_collisionTime = 1000000.0f;
    CEntity* self = f.GetEntity();
    CWorld* world = self != nullptr ? self->GetWorld() : nullptr;
    if (world == nullptr)
        return false;
    const uint32_t bit = CPathFinder::s_classRecord.GetClassBit();
    const float w = Width(f);
    const CVec3& p = f.m_position;
    const CVec3 h = CVec3(SinDeg(self->GetAngles().y), 0.0f, CosDeg(self->GetAngles().y));
    const float v = self->GetSpeed();
    const CVec3 selfVelocity = h * v;
    const float timeToTarget = v > 0.0f ? (point - p).Length() / v : 10000.0f;
    for (auto it = world->GetEntities().Begin(); it.IsValid(); ++it) {
        CEntity* other = it.Item();
        if (other == nullptr || other == self || (other->GetClassMask() & bit) == 0)
            continue;
        const CVec3 rel = other->GetPosition() - p;
        if (rel.SquaredLength() > 25.0f * w * w)
            continue;
        if (rel.GetNormalized().Dot(h) <= 0.0f)
            continue;
        if (f.m_obstacleCount >= CPathFinder::kMaxObstacles)
            break;
        const CEntityWidth* otherWidth = other->GetAttribute<CEntityWidth>();
        const float meanWidth = 0.5f * (w + (otherWidth != nullptr ? otherWidth->GetValue() : w));
        const CVec3 relVelocity = other->GetDirection() * other->GetSpeed() - selfVelocity;
        const float a = relVelocity.SquaredLength();
        const float b = 2.0f * rel.Dot(relVelocity);
        const float c = rel.SquaredLength() - (1.5f * meanWidth) * (1.5f * meanWidth);
        float t = 10000.0f;
        bool solved = false;
        if (a == 0.0f) {
            if (b != 0.0f) {
                t = -c / b;
                solved = true;
            }
        } else {
            const float disc = b * b - 4.0f * a * c;
            if (disc >= 0.0f) {
                const float root = std::sqrt(disc);
                t = std::fmin((-b - root) / (2.0f * a), (-b + root) / (2.0f * a));
                solved = true;
            }
        }
        if (!solved || !(t > f.m_timeMinTrigger && t < f.m_timeMaxTrigger) || t >= timeToTarget)
            continue;
        f.m_obstacles[f.m_obstacleCount++] = other;
        if (t < f.m_collisionTime) {
            f.m_obstacleDetected = true;
            f.m_nearestObstacle = other;
            f.m_collisionTime = t;
            f.m_collisionDisplacement = selfVelocity * t;
        }
    }
    return f.m_obstacleDetected;
}

CVec3 CPathFinderStrategies::AvoidanceDirection(CPathFinder& f, const CVec3& point)
{
    const CVec3& p = f.m_position;
    CVec3 away;
    for (uint32_t i = 0; i < f.m_obstacleCount; ++i)
        away += p - f.m_obstacles[i]->GetPosition();
    // A zero sum (obstacles balanced around the entity) leaves only the sideways part.
    const CVec3 r = f.m_obstacleCount > 0 ? (away / float(f.m_obstacleCount)).GetNormalized() : CVec3();
    CVec3 toward = point - p;
    toward.y = 0.0f;
    CVec3 a = toward.GetNormalized();
    if (a.SquaredLength() == 0.0f)
        a = CVec3(SinDeg(f.GetEntity()->GetAngles().y), 0.0f, CosDeg(f.GetEntity()->GetAngles().y));
    const float side = a.Cross(r).y < 0.0f ? -1.0f : 1.0f;
    const CVec3 t = kUp.Cross(a) * side;
    const float ratio = f.m_dynRatioAttrRep;
    const CVec3 direction = (a * ratio + t * (1.0f - ratio)).GetNormalized();
    return direction.SquaredLength() > 0.0f ? direction : a;
}

void CPathFinderStrategies::SteerAlong(CPathFinder& f, CPathMove& move, const CVec3& a)
{
    const CVec3 h = CVec3(SinDeg(f.GetEntity()->GetAngles().y), 0.0f, CosDeg(f.GetEntity()->GetAngles().y));
    if (a.Dot(h) > 0.7f) {
        move.direction = a;
        move.speed = MaxSpeed(f);
    } else {
        move.direction = (a + h) * 0.5f;
        move.speed = 0.5f * MaxSpeed(f);
    }
    move.direction.y = 0.0f;
}

bool CPathFinderStrategies::VisibleAvoidDynMove(CPathFinder& f, CPathMove& move, const CVec3& point)
{
    if (f.GetEntity() == nullptr)
        return VisibleMove(f, move, point);
    const float now = AiClockNow();
    if (DetectObstacles(f, point)) {
        f.m_avoidDirection = AvoidanceDirection(f, point);
        SteerAlong(f, move, f.m_avoidDirection);
        f.m_avoiding = true;
        f.m_avoidEndTime = now + f.m_dynDelayTime;
        return true;
    }
    if (f.m_avoiding) {
        SteerAlong(f, move, f.m_avoidDirection);
        if (now > f.m_avoidEndTime)
            f.m_avoiding = false;
        return true;
    }
    return VisibleMove(f, move, point);
}

} // namespace Zelk
