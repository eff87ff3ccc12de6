#pragma once
// A visible bullet: a short tracer flying 40 units a second from the muzzle
// along its direction until it has covered the distance to what it hit.
#include <cstdint>

#include "graphics/core/vector.h"

class CBullet
{
  public:
    /// World units per second.
    static constexpr float kSpeed = 40.0f;

    /// Starts the bullet at `position` along `direction` (unit), drawn
    /// between the side vectors `side1` and `side2`, dying after `range` units.
    void Set(const V3d& position, const V3d& side1, const V3d& direction, const V3d& side2, float range);
    /// Flies dt seconds; the bullet dies once past its range (after moving).
    void Update(float dt);
    /// Draws the tracer (translucent white, no culling, no texture).
    void Render() const;
    bool IsAlive() const { return m_alive; }
    const V3d& GetPosition() const { return m_position; }
    const V3d& GetDirection() const { return m_direction; }
    float GetRange() const { return m_range; }
    float GetTravelled() const { return m_travelled; }

  private:
    V3d m_position = {0.0f, 0.0f, 0.0f};
    V3d m_side1 = {0.0f, 0.0f, 0.0f};
    V3d m_direction = {0.0f, 0.0f, 0.0f};
    V3d m_side2 = {0.0f, 0.0f, 0.0f};
    float m_range = 0.0f;
    float m_travelled = 0.0f;
    bool m_alive = false;
};
