#pragma once
// CCollisionTriangle: one dynamic collision triangle of "config.xml" (the
// "CollisionTriangle" element inside "PhysicsGlobalSettings"). The physics
// world stores it with its twin of the other winding, updates it every frame
// (which rebuilds the geometry its queries see) and feeds it to the
// simulation's dynamic triangle list while it is not disabled.
#include <cstdint>

#include "framework/collisiongeometry.h"
#include "framework/configsection.h"
#include "graphics/core/vector.h"

class CCollisionTriangle : public CConfigSection
{
  public:
    CCollisionTriangle() = default;
    /// The twin of `other`: its points in reverse order (the other winding),
    /// the same flag.
    static CCollisionTriangle* CreateTwin(const CCollisionTriangle& other);
    ~CCollisionTriangle() override;
    CCollisionTriangle(const CCollisionTriangle&) = delete;
    CCollisionTriangle& operator=(const CCollisionTriangle&) = delete;

    /// "flags" (its "value": non-zero disables) and "v1", "v2", "v3" ("x",
    /// "y", "z"); false after the error box for a missing attribute.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }

    /// Rebuilds the geometry and the drawing vertices from the points.
    void Update(float dt);
    /// Draws the translucent triangle (physics debug view).
    void RenderDebug();

    void SetPoint(int32_t index, const V3d& point) { m_points[index] = point; }
    const V3d& GetPoint(int32_t index) const { return m_points[index]; }
    /// Disabled triangles are left out of the sphere query and the simulation.
    bool IsDisabled() const { return m_disabled; }
    void SetDisabled(bool disabled) { m_disabled = disabled; }
    /// The geometry of the last update (world space); null before.
    Geometry* GetGeometry() const { return m_shape.geometry; }

  private:
    bool m_disabled = false;
    V3d m_points[3] = {};
    Im3DVertex m_vertices[3] = {};
    CollisionGeometry m_shape;
};
