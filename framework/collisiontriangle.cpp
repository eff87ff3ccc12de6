#include "framework/collisiontriangle.h"

#include <cstring>

#include "framework/attributeslots.h"
#include "framework/marker.h"

namespace {

constexpr uint32_t kColour = 0xC0FFFFFFu;
constexpr uint32_t kDisabledColour = 0xC0FFFFDFu;
const uint16_t kIndices[3] = {0, 1, 2};

} // namespace

CCollisionTriangle* CCollisionTriangle::CreateTwin(const CCollisionTriangle& other)
{
    auto* twin = new CCollisionTriangle;
    twin->m_points[0] = other.m_points[2];
    twin->m_points[1] = other.m_points[1];
    twin->m_points[2] = other.m_points[0];
    twin->m_disabled = other.m_disabled;
    return twin;
}

CCollisionTriangle::~CCollisionTriangle()
{
    CollisionGeometryRelease(&m_shape);
}

bool CCollisionTriangle::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "flags") == 0) {
        int32_t value = 0;
        const AttributeSlot slot = {"value", "value", nullptr, &value};
        if (!ReadAttributeSlots(attributes, "flags", &slot, 1))
            return false;
        m_disabled = value != 0;
        return true;
    }
    const char* names[3] = {"v1", "v2", "v3"};
    for (int32_t i = 0; i < 3; ++i) {
        if (std::strcmp(element, names[i]) == 0)
            return ReadPointAttributes(attributes, names[i], &m_points[i]);
    }
    return true;
}

void CCollisionTriangle::Update(float)
{
    CollisionVerticesSet(m_vertices, m_points, 3, m_disabled ? kDisabledColour : kColour);
    CollisionGeometryRebuild(&m_shape, m_points, 3, kIndices, 1);
}

void CCollisionTriangle::RenderDebug()
{
    MarkerDraw(m_vertices, 3);
}
