// Bullets in flight.
#include "framework/bullet.h"

#include "framework/marker.h"

namespace {

constexpr uint32_t kTracerColour = 0xB0FFFFFF;
// A streak about as long as a frame's flight at 30 frames a second, wide
// enough to cover a few pixels 10 m from the camera.
constexpr float kTracerLength = 1.2f;
constexpr float kTracerHalfWidth = 0.05f;
constexpr float kTracerTail = 0.5f; // the tail is half as wide as the head

} // namespace

void CBullet::Set(const V3d& position, const V3d& side1, const V3d& direction, const V3d& side2, float range)
{
    m_position = position;
    m_side1 = side1;
    m_direction = direction;
    m_side2 = side2;
    m_range = range;
    m_travelled = 0.0f;
    m_alive = true;
}

void CBullet::Update(float dt)
{
    const float step = kSpeed * dt;
    m_travelled += step;
    if (m_travelled > m_range)
        m_alive = false;
    m_position = {m_position.x + m_direction.x * step, m_position.y + m_direction.y * step,
                  m_position.z + m_direction.z * step};
}

void CBullet::Render() const
{
    Im3DVertex vertices[kMarkerVertices] = {};
    MarkerBuild(vertices, m_position, m_direction, m_side1, m_side2, kTracerLength, kTracerHalfWidth,
                kTracerTail);
    MarkerSetColour(vertices, kMarkerVertices, kTracerColour);
    MarkerDraw(vertices, kMarkerVertices);
}
