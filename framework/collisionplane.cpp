#include "framework/collisionplane.h"

#include <cmath>
#include <cstring>

#include "framework/attributeslots.h"
#include "framework/marker.h"
#include "framework/vectorops.h"
#include "platform/win32/debugout.h"

namespace {

constexpr uint32_t kColour = 0xC0FFFFFFu;
/// The two triangles over the corners.
const uint16_t kIndices[6] = {0, 1, 2, 2, 3, 0};

float Length(const V3d& v)
{
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

} // namespace

CCollisionPlane* CCollisionPlane::CreateCopy(const CCollisionPlane& other)
{
    auto* copy = new CCollisionPlane;
    copy->m_position = other.m_position;
    copy->m_normal = other.m_normal;
    copy->m_right = other.m_right;
    copy->m_length = other.m_length;
    copy->m_width = other.m_width;
    return copy;
}

CCollisionPlane::~CCollisionPlane()
{
    CollisionGeometryRelease(&m_shape);
}

void CCollisionPlane::SetSize(float length, float width)
{
    m_length = length;
    m_width = width;
}

bool CCollisionPlane::OnStart(const char* element, const char** attributes)
{
    const struct
    {
        const char* name;
        V3d* point;
    } points[] = {{"Position", &m_position}, {"Normal", &m_normal}, {"Right", &m_right}};
    for (const auto& p : points) {
        if (std::strcmp(element, p.name) == 0)
            return ReadPointAttributes(attributes, p.name, p.point);
    }
    const struct
    {
        const char* name;
        float* value;
    } values[] = {{"Length", &m_length}, {"Width", &m_width}};
    for (const auto& v : values) {
        if (std::strcmp(element, v.name) == 0) {
            const AttributeSlot slot = {"value", "value", v.value, nullptr};
            return ReadAttributeSlots(attributes, v.name, &slot, 1);
        }
    }
    return true;
}

void CCollisionPlane::Update(float)
{
    const V3d n = V3dUnit(m_normal);
    m_normal = n;
    // The rectangle's second axis; a Right along the Normal (the defaults
    // are) leaves none, and a world axis across the Normal stands in.
    V3d t = V3dCross(V3dUnit(m_right), n);
    if (Length(t) < 1e-6f) {
        OutputDebugStringA("Collision plane: 'Right' is parallel to 'Normal'; a world axis is taken\n");
        const V3d x = {1.0f, 0.0f, 0.0f}, z = {0.0f, 0.0f, 1.0f};
        t = V3dCross(std::fabs(n.x) < 0.9f ? x : z, n);
    }
    t = V3dUnit(t);
    m_right = V3dCross(n, t);
    const V3d a = V3dScaled(m_right, m_length);
    const V3d b = V3dScaled(t, m_width);
    const V3d& p = m_position;
    m_corners[0] = V3dSub(V3dSub(p, a), b);
    m_corners[1] = V3dAdd(V3dSub(p, a), b);
    m_corners[2] = V3dAdd(V3dAdd(p, a), b);
    m_corners[3] = V3dSub(V3dAdd(p, a), b);
    CollisionVerticesSet(m_vertices, m_corners, 4, kColour);
    CollisionGeometryRebuild(&m_shape, m_corners, 4, kIndices, 2);
}

void CCollisionPlane::RenderDebug()
{
    Im3DVertex triangles[6];
    for (int32_t i = 0; i < 6; ++i)
        triangles[i] = m_vertices[kIndices[i]];
    MarkerDraw(triangles, 6);
}
