#include "framework/laserbeam.h"

#include <cmath>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/marker.h"
#include "framework/vectorops.h"

bool CLaserBeam::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "LaserBeam") != 0)
        return true;
    const AttributeSlot slots[] = {
        {"p1x", "p1x", &m_p1.x, nullptr},
        {"p1y", "p1y", &m_p1.y, nullptr},
        {"p1z", "p1z", &m_p1.z, nullptr},
        {"p2x", "p2x", &m_p2.x, nullptr},
        {"p2y", "p2y", &m_p2.y, nullptr},
        {"p2z", "p2z", &m_p2.z, nullptr},
        {"pw1x", "pw1x", &m_pw1.x, nullptr},
        {"pw1y", "pw1y", &m_pw1.y, nullptr},
        {"pw1z", "pw1z", &m_pw1.z, nullptr},
        {"pw2x", "pw2x", &m_pw2.x, nullptr},
        {"pw2y", "pw2y", &m_pw2.y, nullptr},
        {"pw2z", "pw2z", &m_pw2.z, nullptr},
        {"timeOn", "timeOn", &m_timeOn, nullptr},
        {"timeOff", "timeOff", &m_timeOff, nullptr},
        {"startTime", "startTime", &m_time, nullptr},
    };
    return ReadAttributeSlots(attributes, "LaserBeam", slots, int32_t(sizeof slots / sizeof slots[0]));
}

void CLaserBeam::Update(float dt)
{
    m_time += dt;
    if (m_lit && m_time > m_timeOn) {
        m_lit = false;
        m_time = 0.0f;
    }
    if (!m_lit && m_time > m_timeOff) {
        m_lit = true;
        m_time = 0.0f;
    }
}

void CLaserBeam::RenderDebug()
{
    if (!m_lit)
        return;
    const V3d d = V3dSub(m_p2, m_p1);
    const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    if (length == 0.0f)
        return;
    const V3d u = V3dScaled(d, 1.0f / length);
    // A vertical beam has no side from the up axis: take x instead.
    V3d side = V3dUnit(V3dCross({0.0f, 1.0f, 0.0f}, u));
    if (side.x == 0.0f && side.y == 0.0f && side.z == 0.0f)
        side = V3dUnit(V3dCross({1.0f, 0.0f, 0.0f}, u));
    const V3d up = V3dUnit(V3dCross(u, side));
    Im3DVertex vertices[kMarkerVertices];
    MarkerBuild(vertices, m_p1, u, side, up, length, kHalfWidth, 1.0f);
    MarkerSetColour(vertices, kMarkerVertices, kColour);
    MarkerDraw(vertices, kMarkerVertices);
}
