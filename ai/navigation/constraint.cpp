#include "ai/navigation/constraint.h"

#include "ai/navigation/nav_host.h"
#include "ai/navigation/spatial_graph.h"

#include <algorithm>
#include <cmath>

namespace Zelk {

namespace {

template <class T> CConstraint* CreateConstraint()
{
    return new T();
}

CConstraintClassRecord s_shortestRecord("CConstraintShortestPath", &CreateConstraint<CConstraintShortestPath>,
                                        &CConstraint::BaseRecord());
CConstraintClassRecord s_stealthRecord("CConstraintStealthPath", &CreateConstraint<CConstraintStealthPath>,
                                       &CConstraint::BaseRecord());
CConstraintClassRecord s_coneRecord("CConstraintConeVisionStealthPath",
                                    &CreateConstraint<CConstraintConeVisionStealthPath>,
                                    &CConstraint::BaseRecord());
CConstraintClassRecord s_fleeRecord("CConstraintPointToFleePath",
                                    &CreateConstraint<CConstraintPointToFleePath>,
                                    &CConstraint::BaseRecord());

bool SeesNode(const CVec3& threat, const CVec3& node, float radius, const void* ignore)
{
    return CVec3::SquaredDistance(threat, node) <= radius * radius && NavIsVisible(node, threat, ignore, 1);
}

} // namespace

const CConstraintClassRecord& CConstraint::BaseRecord()
{
    static CConstraintClassRecord record("CConstraint", nullptr);
    return record;
}

const CClassRecord* CConstraintShortestPath::GetClassRecord() const
{
    return &s_shortestRecord;
}

bool CConstraintShortestPath::ComputeCost(void* /*user*/, CGraphArc* arc, float* cost)
{
    *cost = arc->GetLength();
    return true;
}

CConstraintStealthPath::CConstraintStealthPath()
    : m_penalty(100.0f * NavOneMeter()), m_radius(20.0f * NavOneMeter())
{
}

const CClassRecord* CConstraintStealthPath::GetClassRecord() const
{
    return &s_stealthRecord;
}

bool CConstraintStealthPath::AddThreatPoint(const CVec3& point)
{
    if (m_pointCount >= kMaxThreats)
        return false;
    m_points[m_pointCount++] = point;
    return true;
}

bool CConstraintStealthPath::AddThreatEntity(CEntity* entity)
{
    if (m_entityCount >= kMaxThreats)
        return false;
    m_entities[m_entityCount++] = entity;
    return true;
}

bool CConstraintStealthPath::ComputeCost(void* user, CGraphArc* arc, float* cost)
{
    const CVec3& to = arc->GetTo()->GetPosition();
    float total = 0.0f;
    for (uint32_t i = 0; i < m_entityCount; ++i)
        if (SeesNode(NavEntityPosition(m_entities[i]), to, m_radius, user))
            total += m_penalty;
    for (uint32_t i = 0; i < m_pointCount; ++i)
        if (SeesNode(m_points[i], to, m_radius, user))
            total += m_penalty;
    *cost = total + arc->GetLength();
    return true;
}

CConstraintConeVisionStealthPath::CConstraintConeVisionStealthPath()
    : m_penalty(100.0f * NavOneMeter()), m_radius(20.0f * NavOneMeter())
{
}

const CClassRecord* CConstraintConeVisionStealthPath::GetClassRecord() const
{
    return &s_coneRecord;
}

bool CConstraintConeVisionStealthPath::AddThreatEntity(CEntity* entity)
{
    if (m_entityCount >= kMaxThreats)
        return false;
    m_entities[m_entityCount++] = entity;
    return true;
}

bool CConstraintConeVisionStealthPath::ComputeCost(void* /*user*/, CGraphArc* arc, float* cost)
{
    const CVec3& to = arc->GetTo()->GetPosition();
    float total = 0.0f;
    for (uint32_t i = 0; i < m_entityCount; ++i) {
        const CEntity* watcher = m_entities[i];
        // The watcher itself is the entity its line of sight ignores.
        if (NavIsPointInFieldOfView(watcher, to) &&
            SeesNode(NavEntityPosition(watcher), to, m_radius, watcher))
            total += m_penalty;
    }
    *cost = total + arc->GetLength();
    return true;
}

CConstraintPointToFleePath::CConstraintPointToFleePath()
{
    m_penalty = 20.0f;
}

const CClassRecord* CConstraintPointToFleePath::GetClassRecord() const
{
    return &s_fleeRecord;
}

bool CConstraintPointToFleePath::ComputeCost(void* /*user*/, CGraphArc* arc, float* cost)
{
    const CVec3& from = arc->GetFrom()->GetPosition();
    const CVec3 direction = arc->GetTo()->GetPosition() - from;
    const float length = std::sqrt(direction.SquaredLength());
    const auto factor = [&](const CVec3& threat) {
        // The threat's nearest point on the arc; the from-point for an arc of
        // length 0, where no direction exists.
        CVec3 closest = from;
        if (length > 0.0f) {
            const float t = std::clamp((threat - from).Dot(direction) / length, 0.0f, length) / length;
            closest = from + direction * t;
        }
        const float d = std::sqrt(CVec3::SquaredDistance(threat, closest));
        if (d > m_radius || m_radius <= 0.0f)
            return 1.0f;
        const float share = (m_radius - d) / m_radius;
        return 1.0f + m_penalty * share * share * share;
    };
    float total = arc->GetLength();
    for (uint32_t i = 0; i < m_pointCount; ++i)
        total *= factor(m_points[i]);
    for (uint32_t i = 0; i < m_entityCount; ++i)
        total *= factor(NavEntityPosition(m_entities[i]));
    *cost = total;
    return true;
}

} // namespace Zelk
