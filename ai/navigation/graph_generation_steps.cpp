// The geometric steps of the graph generator: the tests against the world,
// exploration into a dense graph, joining nodes, simplification by merging
// pairs of nodes, and arc creation by walking every arc.
#include "ai/navigation/graph_gen_data.h"
#include "ai/navigation/graph_generator.h"
#include "ai/navigation/graph_generator_state.h"
#include "ai/navigation/nav_host.h"
#include "ai/navigation/path_object_manager.h"
#include "ai/navigation/spatial_graph.h"
#include "ai/runtime/action.h"
#include "ai/runtime/entity.h"
#include "ai/runtime/host.h"
#include "ai/runtime/host_queries.h"
#include "ai/runtime/world.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace Zelk {

namespace {

constexpr int kQueryFlags = 2;
constexpr float kNoNodeDistance = 1.0e9f;
constexpr float kTwoPi = 6.28318530717958647692f;

CGraphGeneratorHooks& Hooks()
{
    static CGraphGeneratorHooks hooks;
    return hooks;
}

void CallPositionHook(CEntity* entity)
{
    if (Hooks().position != nullptr)
        Hooks().position(entity);
}

void CallSegmentHook(CEntity* entity)
{
    if (Hooks().segment != nullptr)
        Hooks().segment(entity);
}

float Distance(const CVec3& a, const CVec3& b)
{
    return (b - a).Length();
}

// Turns the entity toward the point (unchanged when they coincide).
void TurnToward(CEntity* entity, const CVec3& point)
{
    const CVec3 to = point - entity->GetPosition();
    if (to.SquaredLengthXZ() <= 0.0f)
        return;
    const CVec3 angles(0.0f, DirectionToAngles(to).y, 0.0f);
    entity->SetAngles(angles);
    entity->SetDirection(AnglesToDirection(angles));
}

// Adds a node with a fresh record; its index, -1 on failure.
int32_t AddGenNode(const CVec3& position, uint8_t fixed)
{
    CGraphGenState& state = GraphGenState();
    CGraphNodeData record;
    record.position = position;
    const int32_t index = state.graph->AddNode(record);
    if (index < 0)
        return -1;
    state.data->ResetNodeRecord(index);
    if (CGraphGenNodeRecord* genRecord = state.data->GetNodeRecord(index))
        genRecord->fixed = fixed;
    return index;
}

// Adds the arc from -> to unless it exists (then the existing index, record
// untouched); -1 when it cannot be added.
int32_t AddGenArc(CGraphNode* from, CGraphNode* to, float cost, uint8_t fixed)
{
    CGraphGenState& state = GraphGenState();
    if (from == nullptr || to == nullptr || from == to)
        return -1;
    if (CGraphArc* existing = CSpatialGraph::FindOutArcTo(from, to))
        return existing->GetIndex();
    CGraphArcData data;
    data.length = Distance(from->GetPosition(), to->GetPosition());
    data.cost = cost;
    const int32_t index = state.graph->AddArc(data, from, to);
    if (index < 0)
        return -1;
    state.data->ResetArcRecord(index);
    if (CGraphGenArcRecord* record = state.data->GetArcRecord(index))
        record->fixed = fixed;
    return index;
}

// The node nearest to the point and its distance; null for an empty graph.
CGraphNode* NearestNode(const CVec3& point, float& distance)
{
    CSpatialGraph& graph = *GraphGenState().graph;
    CGraphNode* best = nullptr;
    float bestSquared = 0.0f;
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        CGraphNode* node = graph.GetNode(i);
        if (node == nullptr)
            continue;
        const float squared = CVec3::SquaredDistance(point, node->GetPosition());
        if (best == nullptr || squared < bestSquared) {
            best = node;
            bestSquared = squared;
        }
    }
    distance = std::sqrt(bestSquared);
    return best;
}

void ClearTestedBytes()
{
    CGraphGenState& state = GraphGenState();
    for (int32_t i = 0; i <= state.graph->GetHighestArcIndex(); ++i)
        if (CGraphGenArcRecord* record = state.data->GetArcRecord(i))
            record->tested = 0;
}

uint32_t PathObjectSegments(const CVec3Pair*& segments)
{
    segments = nullptr;
    CWorld* world = GetCurrentWorld();
    auto* manager =
        world != nullptr
            ? static_cast<CPathObjectManager*>(world->FindGlobalService(&CPathObjectManager::Record()))
            : nullptr;
    return manager != nullptr ? manager->GetSegments(segments) : 0;
}

} // namespace

void SetGraphGeneratorHooks(const CGraphGeneratorHooks& hooks)
{
    Hooks() = hooks;
}

// ---- Tests against the world ------------------------------------------------------------

bool CGraphGeneratorAgent::PlaceOnGround(CVec3& p, float depth) const
{
    CHitRecord hit;
    if (depth <= 0.0f || !HostRayCast(p, p - CVec3(0.0f, depth, 0.0f), GetEntity(), kQueryFlags, &hit))
        return false;
    p.y = hit.point.y + 0.5f * m_entityHeight;
    return true;
}

bool CGraphGeneratorAgent::LineOfSight(const CVec3& p, const CVec3& q) const
{
    return HostIsVisible(p, q, GetEntity(), kQueryFlags);
}

bool CGraphGeneratorAgent::CanGoTest(const CVec3& p, const CVec3& q) const
{
    return CanGo(p, q, GetEntity(), kQueryFlags, 0.5f * m_entityWidth);
}

bool CGraphGeneratorAgent::WalkTest(const CVec3& p, const CVec3& q) const
{
    const CVec3 knee(0.0f, m_kneeHeight, 0.0f);
    return LineOfSight(p, q) && LineOfSight(p - knee, q - knee) &&
           HostCanGo(p, q, m_bodyWidth, GetEntity(), kQueryFlags);
}

bool CGraphGeneratorAgent::IsEmpty(const CVec3& p) const
{
    const CVec3 offsets[5] = {CVec3(), CVec3(0.0f, 0.0f, -m_emptyOffset), CVec3(0.0f, 0.0f, m_emptyOffset),
                              CVec3(-m_emptyOffset, 0.0f, 0.0f), CVec3(m_emptyOffset, 0.0f, 0.0f)};
    for (const CVec3& offset : offsets) {
        const CVec3 from = p + offset;
        CHitRecord hit;
        const bool found =
            HostRayCast(from, from - CVec3(0.0f, m_emptyDepth, 0.0f), GetEntity(), kQueryFlags, &hit);
        if (!found || hit.fraction * m_emptyDepth >= m_emptyDepth)
            return true;
    }
    return false;
}

bool CGraphGeneratorAgent::HasHole(const CVec3& a, const CVec3& b) const
{
    const int32_t n = m_config.holeCheckpoints;
    if (n <= 0 || m_holeDepth <= 0.0f)
        return false;
    const CVec3 step = (b - a) / float(n);
    const CVec3 down(0.0f, -m_holeDepth, 0.0f);
    CHitRecord hit;
    HostRayCast(a, a + down, GetEntity(), kQueryFlags, &hit);
    float height = hit.fraction * m_holeDepth;
    // Every checkpoint strictly between the ends, the one next to b included.
    for (int32_t i = 1; i < n; ++i) {
        const CVec3 point = a + step * float(i);
        if (!HostRayCast(point, point + down, GetEntity(), kQueryFlags, &hit) || hit.fraction >= 1.0f)
            return true;
        const float ground = hit.fraction * m_holeDepth;
        if (std::fabs(ground - height) > m_holeStep)
            return true;
        height = ground;
    }
    return false;
}

CVec3 CGraphGeneratorAgent::ClampToBox(const CVec3& p) const
{
    const CVec3& a = m_config.bbMin;
    const CVec3& b = m_config.bbMax;
    if (CVec3::SquaredDistance(a, b) == 0.0f)
        return p;
    // A box given with a corner swapped still clamps into the space between the corners.
    return CVec3(std::clamp(p.x, std::min(a.x, b.x), std::max(a.x, b.x)),
                 std::clamp(p.y, std::min(a.y, b.y), std::max(a.y, b.y)),
                 std::clamp(p.z, std::min(a.z, b.z), std::max(a.z, b.z)));
}

bool CGraphGeneratorAgent::IsInBox(const CVec3& p) const
{
    return ClampToBox(p) == p;
}

float CGraphGeneratorAgent::ReachableNodeDistance(const CVec3& p) const
{
    const CSpatialGraph& graph = *GraphGenState().graph;
    const float near = m_config.radiusAverage / 3.0f;
    bool found = false;
    float best = 0.0f;
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        const CGraphNode* node = graph.GetNode(i);
        if (node == nullptr)
            continue;
        const float squared = CVec3::SquaredDistance(p, node->GetPosition());
        if (found && squared > best)
            continue;
        if (!LineOfSight(p, node->GetPosition()) || HasHole(p, node->GetPosition()))
            continue;
        found = true;
        best = squared;
        if (squared <= near * near)
            break;
    }
    return found ? std::sqrt(best) : kNoNodeDistance;
}

// ---- Exploration ---------------------------------------------------------------------------

void CGraphGeneratorAgent::Steer(const CVec3& target)
{
    const CVec3 to = target - GetEntity()->GetPosition();
    if (to.SquaredLengthXZ() > 0.0f)
        m_rotate->SetValue(DirectionToAngles(to).y);
    else
        m_rotate->SetValue(GetEntity()->GetAngles().y);
    const float distance = to.Length();
    float speed = m_speed;
    if (distance <= m_config.halfSpeedDist)
        speed *= 0.2f;
    else if (distance <= m_config.fullSpeedDist)
        speed *= 0.5f;
    m_speedAction->SetValue(speed);
}

void CGraphGeneratorAgent::ComputeSectorPoints(int32_t nodeIndex)
{
    CGraphGenState& state = GraphGenState();
    const CGraphNode* node = state.graph->GetNode(nodeIndex);
    CGraphGenNodeRecord* record = state.data->GetNodeRecord(nodeIndex);
    if (node == nullptr || record == nullptr || record->explorationDone != 0)
        return;
    const CVec3 center = node->GetPosition();
    const float radius = m_config.radiusAverage;
    CVec3 normal = CVec3::kUnitY;
    CHitRecord hit;
    if (HostRayCast(center, center - CVec3(0.0f, 2.0f * m_entityHeight, 0.0f), GetEntity(), kQueryFlags,
                    &hit) &&
        hit.normal.GetNormalized().y >= 0.2f)
        normal = hit.normal.GetNormalized();
    CVec3 u = normal.Cross(CVec3::kUnitZ).GetNormalized();
    if (u == CVec3::kZero)
        u = CVec3::kUnitX;
    const CVec3 v = u.Cross(normal).GetNormalized();
    const int32_t count = std::clamp(m_config.sectorCount, 1, kGraphGenMaxSectors);
    for (int32_t s = 0; s < count; ++s) {
        CGraphGenSector& sector = record->sectors[s];
        if (sector.open == 0)
            continue;
        const float angle = kTwoPi * float(s) / float(count);
        sector.point = ClampToBox(center + (u * std::cos(angle) + v * std::sin(angle)) * radius);
        sector.score = 0.0f;
        if (Hooks().pointFilter != nullptr && !Hooks().pointFilter(sector.point, GetEntity())) {
            sector.open = 0;
            continue;
        }
        // A point that the box squeezed onto the node has no direction to look in.
        const CVec3 direction = (sector.point - center).GetNormalized();
        if (direction == CVec3::kZero || m_config.radiusMax <= 0.0f) {
            sector.open = 0;
            continue;
        }
        const CVec3 side = direction.Cross(CVec3::kUnitY).GetNormalized() * (0.5f * m_entityWidth);
        const CVec3 origins[3] = {center, center + side, center - side};
        const int colours[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
        for (int r = 0; r < 3; ++r) {
            const CVec3 end = origins[r] + direction * m_config.radiusMax;
            HostRayCast(origins[r], end, GetEntity(), kQueryFlags, &hit);
            // A ray blocked at its origin counts as blocked very near, not as infinitely near.
            sector.score += 1.0f / (std::max(hit.fraction, 1.0e-4f) * m_config.radiusMax);
            NavDrawLine(origins[r], end, colours[r][0], colours[r][1], colours[r][2]);
        }
    }
}

void CGraphGeneratorAgent::StartMove(const CVec3& from)
{
    CEntity* entity = GetEntity();
    entity->SetPosition(from);
    CallPositionHook(entity);
    TurnToward(entity, m_target);
    CallSegmentHook(entity);
    m_moveStartTime = NavClock();
    m_lastPoint = CVec3(-10000.0f);
    m_smoothedSpeed = m_speed;
    m_moving = true;
}

bool CGraphGeneratorAgent::ChooseSector()
{
    CGraphGenState& state = GraphGenState();
    const CGraphNode* node = state.graph->GetNode(m_node);
    CGraphGenNodeRecord* record = state.data->GetNodeRecord(m_node);
    if (node == nullptr || record == nullptr)
        return false;
    const int32_t count = std::clamp(m_config.sectorCount, 1, kGraphGenMaxSectors);
    int32_t best = -1;
    for (int32_t s = 0; s < count; ++s)
        if (record->sectors[s].open != 0 &&
            (best < 0 || record->sectors[s].score < record->sectors[best].score))
            best = s;
    if (best < 0)
        return false;
    CGraphGenSector& sector = record->sectors[best];
    m_sector = best;
    m_target = sector.point;
    m_targetDistance = Distance(node->GetPosition(), sector.point);
    sector.open = 0;
    StartMove(node->GetPosition());
    return true;
}

bool CGraphGeneratorAgent::ChooseNode()
{
    CGraphGenState& state = GraphGenState();
    for (int32_t i = 0; i <= state.graph->GetHighestNodeIndex(); ++i) {
        CGraphGenNodeRecord* record = state.data->GetNodeRecord(i);
        if (state.graph->GetNode(i) == nullptr || record == nullptr || record->explorationDone != 0 ||
            record->claimant != -1)
            continue;
        record->claimant = m_entityIndex;
        m_node = i;
        ComputeSectorPoints(i);
        if (ChooseSector())
            return true;
        record->explorationDone = 1;
    }
    m_node = -1;
    m_moving = false;
    return false;
}

void CGraphGeneratorAgent::ExploreFirstThink()
{
    CEntity* entity = GetEntity();
    m_firstThink = false;
    CVec3 start = m_config.hasStartingPoint ? m_position : entity->GetPosition();
    PlaceOnGround(start, 100.0f * m_entityHeight);
    entity->SetPosition(start);
    CallPositionHook(entity);
    if (ReachableNodeDistance(start) > m_config.radiusAverage / 3.0f)
        AddGenNode(start, 0);
    ChooseNode();
    m_lastThinkTime = NavClock();
}

bool CGraphGeneratorAgent::ExploreThink()
{
    CGraphGenState& state = GraphGenState();
    if (state.stepEntered) {
        state.stepEntered = false;
        CGraphGenSteps::AddPathObjectSegments(*this);
    }
    if (IsFinished()) {
        GetActionSet()->Reset();
        return false;
    }
    CEntity* entity = GetEntity();
    if (m_firstThink) {
        ExploreFirstThink();
    } else if (m_moving) {
        const float now = NavClock();
        Steer(m_target);
        const float allowance =
            m_speed > 0.0f ? m_targetDistance / m_speed * m_config.ratioTimerDenseGraph : 0.0f;
        if (now - m_moveStartTime > allowance)
            m_moving = false;
        const CGraphNode* node = state.graph->GetNode(m_node);
        const CVec3 here = entity->GetPosition();
        // The last point is a marker, not a place, until the move reached one.
        const bool hasLastPoint = m_lastPoint.x > -9999.0f;
        if (node == nullptr) {
            m_moving = false;
        } else {
            const bool sight = LineOfSight(here, node->GetPosition());
            const CVec3 p = sight ? here : m_lastPoint;
            const float d = Distance(p, node->GetPosition());
            const float r = m_config.radiusAverage;
            const float elapsed = now - m_lastThinkTime;
            if (elapsed > 0.0f)
                m_smoothedSpeed = 0.2f * (Distance(m_lastPoint, here) / elapsed) + 0.8f * m_smoothedSpeed;
            const bool stalled = m_smoothedSpeed <= 0.3f * m_speed;
            const bool mayEnd = d >= 0.9f * r || (!sight && d > 0.5f * r) || stalled;
            if (!sight && !hasLastPoint) {
                m_moving = false;
            } else if (!mayEnd || IsEmpty(p)) {
                if (!sight)
                    m_moving = false;
            } else {
                m_moving = false;
                if (ReachableNodeDistance(p) > 0.5f * r) {
                    CHitRecord hit;
                    if (HostRayCast(p, p - CVec3(0.0f, m_destinationHeight, 0.0f), entity, kQueryFlags,
                                    &hit)) {
                        const float depth = hit.fraction * m_destinationHeight;
                        if (depth > m_kneeHeight && depth < m_destinationHeight) {
                            NavDrawPoint(p, 0, 0, 255);
                            AddGenNode(p, 0);
                        }
                    }
                }
            }
        }
        m_lastPoint = here;
        m_lastThinkTime = now;
        if (m_moving)
            return true;
    }
    if (!m_moving) {
        GetActionSet()->Reset();
        if (m_node < 0 || !ChooseSector()) {
            if (CGraphGenNodeRecord* record = state.data->GetNodeRecord(m_node))
                record->explorationDone = 1;
            ChooseNode();
            m_lastPoint = CVec3(-20000.0f);
            m_smoothedSpeed = m_speed;
        }
        CallSegmentHook(entity);
        if (m_node < 0) {
            MarkFinished();
            return false;
        }
        m_lastThinkTime = NavClock();
    }
    return true;
}

// ---- Graph-wide passes ------------------------------------------------------------------------

void CGraphGenSteps::JoinNodes(CGraphGeneratorAgent& agent, bool testCanGo, uint8_t fixed)
{
    CSpatialGraph& graph = *GraphGenState().graph;
    const float reach = 1.2f * agent.m_config.radiusAverage;
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        CGraphNode* a = graph.GetNode(i);
        if (a == nullptr)
            continue;
        for (int32_t j = 0; j <= graph.GetHighestNodeIndex(); ++j) {
            CGraphNode* b = graph.GetNode(j);
            if (b == nullptr || b == a)
                continue;
            const float distance = Distance(a->GetPosition(), b->GetPosition());
            if (distance >= reach)
                continue;
            if (testCanGo && !agent.CanGoTest(a->GetPosition(), b->GetPosition()))
                continue;
            if (agent.HasHole(a->GetPosition(), b->GetPosition()))
                continue;
            if (AddGenArc(a, b, distance, fixed) < 0 || AddGenArc(b, a, distance, fixed) < 0)
                return;
        }
    }
}

void CGraphGenSteps::AddPathObjectSegments(CGraphGeneratorAgent& agent)
{
    const CVec3Pair* segments = nullptr;
    const uint32_t count = PathObjectSegments(segments);
    const float tolerance = 0.01f * NavOneMeter();
    for (uint32_t s = 0; s < count && segments != nullptr; ++s) {
        const CVec3 ends[2] = {segments[s].first, segments[s].second};
        CGraphNode* nodes[2] = {nullptr, nullptr};
        for (int e = 0; e < 2; ++e) {
            if (!agent.IsInBox(ends[e]))
                continue;
            // A segment end met before (a shared corner) reuses its node.
            float distance = 0.0f;
            CGraphNode* nearest = NearestNode(ends[e], distance);
            if (nearest == nullptr || distance > tolerance)
                nearest = GraphGenState().graph->GetNode(AddGenNode(ends[e], 1));
            nodes[e] = nearest;
        }
        if (nodes[0] != nullptr && nodes[1] != nullptr && nodes[0] != nodes[1]) {
            const float cost = Distance(ends[0], ends[1]);
            AddGenArc(nodes[0], nodes[1], cost, 1);
            AddGenArc(nodes[1], nodes[0], cost, 1);
        }
    }
}

void CGraphGenSteps::MarkFixedGeometry(CGraphGeneratorAgent& agent)
{
    CGraphGenState& state = GraphGenState();
    const CVec3Pair* segments = nullptr;
    const uint32_t count = PathObjectSegments(segments);
    const float tolerance = 0.01f * NavOneMeter();
    for (uint32_t s = 0; s < count && segments != nullptr; ++s) {
        const CVec3 ends[2] = {segments[s].first, segments[s].second};
        CGraphNode* nodes[2] = {nullptr, nullptr};
        for (int e = 0; e < 2; ++e) {
            if (!agent.IsInBox(ends[e]))
                continue;
            float distance = 0.0f;
            CGraphNode* nearest = NearestNode(ends[e], distance);
            if (nearest == nullptr || distance >= tolerance)
                continue;
            nodes[e] = nearest;
            if (CGraphGenNodeRecord* record = state.data->GetNodeRecord(nearest->GetIndex()))
                record->fixed = 1;
        }
        if (nodes[0] == nullptr || nodes[1] == nullptr)
            continue;
        for (const CGraphArc* arc : {CSpatialGraph::FindOutArcTo(nodes[0], nodes[1]),
                                     CSpatialGraph::FindOutArcTo(nodes[1], nodes[0])})
            if (arc != nullptr)
                if (CGraphGenArcRecord* record = state.data->GetArcRecord(arc->GetIndex()))
                    record->fixed = 1;
    }
}

// ---- Simplification ----------------------------------------------------------------------------

bool CGraphGeneratorAgent::SimplifyThink()
{
    CGraphGenState& state = GraphGenState();
    CSpatialGraph& graph = *state.graph;
    if (IsFinished())
        return false;
    // One agent merges; the others have nothing to do in this step.
    if (!state.IsLeadAgent(this)) {
        MarkFinished();
        return false;
    }
    if (state.stepEntered) {
        if (!EnterStep(kGraphGenSimplifyEdges))
            return false;
        ClearTestedBytes();
    }
    for (int32_t i = 0; i <= graph.GetHighestNodeIndex(); ++i) {
        CGraphNode* node = graph.GetNode(i);
        if (node == nullptr)
            continue;
        if (CGraphGenNodeRecord* record = state.data->GetNodeRecord(i))
            record->explorationDone = 0;
        if (node->GetInArcCount() == 0 || node->GetOutArcCount() == 0)
            graph.RemoveNode(i);
    }
    auto nodeFixed = [&](const CGraphNode* node) {
        const CGraphGenNodeRecord* record = state.data->GetNodeRecord(node->GetIndex());
        return record == nullptr || record->fixed != 0;
    };
    auto arcFixed = [&](const CGraphArc* arc) {
        const CGraphGenArcRecord* record = state.data->GetArcRecord(arc->GetIndex());
        return record == nullptr || record->fixed != 0;
    };
    for (int32_t i = 0; i <= graph.GetHighestArcIndex(); ++i) {
        CGraphArc* arc = graph.GetArc(i);
        CGraphGenArcRecord* record = state.data->GetArcRecord(i);
        if (arc == nullptr || record == nullptr || record->tested != 0)
            continue;
        record->tested = 1;
        CGraphNode* a = arc->GetFrom();
        CGraphNode* b = arc->GetTo();
        const CGraphArc* back = CSpatialGraph::FindOutArcTo(b, a);
        if (a == b || back == nullptr || arcFixed(arc) || arcFixed(back) || nodeFixed(a) || nodeFixed(b))
            continue;
        if (a->GetOutArcCount() < 2 || a->GetInArcCount() < 2 || b->GetOutArcCount() < 2 ||
            b->GetInArcCount() < 2)
            continue;
        CVec3 m = (a->GetPosition() + b->GetPosition()) * 0.5f;
        if (!PlaceOnGround(m, 2.0f * m_entityHeight) || IsEmpty(m))
            continue;
        // The neighbours of the pair: to nodes of out-arcs, from nodes of one-way in-arcs.
        std::vector<CGraphNode*> outs;
        std::vector<CGraphNode*> ins;
        for (CGraphNode* end : {a, b}) {
            for (int32_t k = 0; k < end->GetOutArcCount(); ++k) {
                CGraphNode* to = end->GetOutArc(k)->GetTo();
                if (to != a && to != b && std::find(outs.begin(), outs.end(), to) == outs.end())
                    outs.push_back(to);
            }
            for (int32_t k = 0; k < end->GetInArcCount(); ++k) {
                CGraphNode* from = end->GetInArc(k)->GetFrom();
                if (from != a && from != b && std::find(ins.begin(), ins.end(), from) == ins.end())
                    ins.push_back(from);
            }
        }
        bool valid = true;
        for (const std::vector<CGraphNode*>* list : {&outs, &ins})
            for (const CGraphNode* neighbour : *list) {
                const CVec3& q = neighbour->GetPosition();
                if (Distance(m, q) > m_config.maxLengthValidEdge || !WalkTest(m, q) || HasHole(m, q)) {
                    valid = false;
                    break;
                }
            }
        if (!valid)
            continue;
        // Merge: a node at the midpoint takes over the arcs of the pair.
        NavDrawLine(a->GetPosition(), b->GetPosition(), 0, 255, 0);
        const int32_t aIndex = a->GetIndex();
        const int32_t bIndex = b->GetIndex();
        CGraphNode* merged = graph.GetNode(AddGenNode(m, 0));
        if (merged == nullptr) {
            MarkFinished();
            return false;
        }
        for (CGraphNode* to : outs)
            if (AddGenArc(merged, to, Distance(m, to->GetPosition()), 0) < 0) {
                MarkFinished();
                return false;
            }
        for (CGraphNode* from : ins)
            if (AddGenArc(from, merged, Distance(from->GetPosition(), m), 0) < 0) {
                MarkFinished();
                return false;
            }
        for (const std::vector<CGraphNode*>* list : {&outs, &ins})
            for (const CGraphNode* neighbour : *list) {
                for (int32_t k = 0; k < neighbour->GetOutArcCount(); ++k)
                    if (CGraphGenArcRecord* r = state.data->GetArcRecord(neighbour->GetOutArc(k)->GetIndex()))
                        r->tested = 0;
                for (int32_t k = 0; k < neighbour->GetInArcCount(); ++k)
                    if (CGraphGenArcRecord* r = state.data->GetArcRecord(neighbour->GetInArc(k)->GetIndex()))
                        r->tested = 0;
            }
        graph.RemoveNode(aIndex);
        graph.RemoveNode(bIndex);
        return true;
    }
    MarkFinished();
    return false;
}

// ---- Arc creation --------------------------------------------------------------------------------

bool CGraphGeneratorAgent::CreateArcsThink()
{
    CGraphGenState& state = GraphGenState();
    CSpatialGraph& graph = *state.graph;
    if (state.stepEntered) {
        state.stepEntered = false;
        ClearTestedBytes();
        state.ClearFinished();
    }
    if (IsFinished()) {
        GetActionSet()->Reset();
        return false;
    }
    CEntity* entity = GetEntity();
    const float now = NavClock();
    if (!m_moving) {
        m_arc = -1;
        for (int32_t i = 0; i <= graph.GetHighestArcIndex() && m_arc < 0; ++i) {
            const CGraphArc* arc = graph.GetArc(i);
            const CGraphGenArcRecord* record = state.data->GetArcRecord(i);
            if (arc != nullptr && record != nullptr && arc->GetFrom() != arc->GetTo() && record->fixed == 0 &&
                record->tested == 0)
                m_arc = i;
        }
        if (m_arc < 0) {
            MarkFinished();
            GetActionSet()->Reset();
            return false;
        }
        state.data->GetArcRecord(m_arc)->tested = 1;
        const CGraphArc* arc = graph.GetArc(m_arc);
        const CVec3 from = arc->GetFrom()->GetPosition();
        const CVec3 to = arc->GetTo()->GetPosition();
        // Start a little behind the from node to arrive at it walking; from the
        // node itself when that spot lies behind a wall.
        CVec3 start = from - (to - from) * 0.1f;
        if (!LineOfSight(from, start) || !CanGoTest(from, start))
            start = from;
        entity->SetPosition(start);
        CallPositionHook(entity);
        TurnToward(entity, to);
        CallSegmentHook(entity);
        m_walkStart = start;
        m_targetDistance = Distance(start, to);
        m_moveStartTime = now;
        m_moving = true;
    }
    const CGraphArc* arc = graph.GetArc(m_arc);
    if (arc == nullptr) {
        m_moving = false;
        return false;
    }
    const CVec3 to = arc->GetTo()->GetPosition();
    Steer(to);
    const float allowance =
        m_speed > 0.0f ? m_targetDistance / m_speed * m_config.ratioTimerCreateArcs : 0.0f;
    if (now - m_moveStartTime > allowance) {
        graph.RemoveArc(m_arc);
        m_moving = false;
    } else if (Distance(entity->GetPosition(), to) < m_config.distStop) {
        m_moving = false;
    }
    return true;
}

} // namespace Zelk
