#pragma once
// CCollisionPlane: one dynamic collision rectangle of "config.xml" (the
// "CollisionPlane" element inside "PhysicsGlobalSettings"): it spans
// Position +- Length along its Right axis and +- Width along the third axis
// (Normal x Right), so its full size is 2 Length by 2 Width. The physics
// world stores a two-sided plane with a copy facing the other way and
// updates it every frame, which squares its axes up and rebuilds the
// geometry that its queries see.
#include <cstdint>

#include "framework/collisiongeometry.h"
#include "framework/configsection.h"
#include "graphics/core/vector.h"

class CCollisionPlane : public CConfigSection
{
  public:
    CCollisionPlane() = default;
    /// A copy of `other`'s Position, Normal, Right, Length and Width, two-sided.
    static CCollisionPlane* CreateCopy(const CCollisionPlane& other);
    ~CCollisionPlane() override;
    CCollisionPlane(const CCollisionPlane&) = delete;
    CCollisionPlane& operator=(const CCollisionPlane&) = delete;

    /// "Position", "Normal", "Right" ("x", "y", "z"), "Length", "Width"
    /// ("value"); false after the error box for a missing attribute.
    bool OnStart(const char* element, const char** attributes) override;
    bool OnEnd(const char*) override { return true; }

    /// Normalises Normal and squares Right up to it (a Right along the
    /// Normal is replaced by world x, else z, with a warning), then rebuilds
    /// the corners, the geometry and the drawing vertices.
    void Update(float dt);
    /// Draws the translucent rectangle (physics debug view).
    void RenderDebug();

    bool IsTwoSided() const { return m_twoSided; }
    const V3d& GetPosition() const { return m_position; }
    const V3d& GetNormal() const { return m_normal; }
    const V3d& GetRight() const { return m_right; }
    void SetPosition(const V3d& position) { m_position = position; }
    void SetNormal(const V3d& normal) { m_normal = normal; }
    void SetRight(const V3d& right) { m_right = right; }
    void SetSize(float length, float width);
    /// The corners of the last update: P - a - b, P - a + b, P + a + b, P + a - b.
    const V3d& GetCorner(int32_t index) const { return m_corners[index]; }
    /// The geometry of the last update (world space); null before.
    Geometry* GetGeometry() const { return m_shape.geometry; }

  private:
    bool m_twoSided = true;
    V3d m_position = {0.0f, 0.0f, 0.0f};
    V3d m_normal = {0.0f, 1.0f, 0.0f};
    V3d m_right = {0.0f, 1.0f, 0.0f}; ///< as configured; squared up by Update
    float m_length = 100.0f;
    float m_width = 100.0f;
    V3d m_corners[4] = {};
    Im3DVertex m_vertices[4] = {};
    CollisionGeometry m_shape;
};
