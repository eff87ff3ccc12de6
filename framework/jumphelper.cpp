#include "framework/jumphelper.h"

#include <cstring>

#include "framework/attributeslots.h"
#include "framework/framework.h"
#include "framework/marker.h"

bool CJumpHelper::OnStart(const char* element, const char** attributes)
{
    if (std::strcmp(element, "JumpHelper") != 0)
        return true;
    const AttributeSlot slots[] = {
        {"p1x", "p1x", &m_p1.x, nullptr}, {"p1y", "p1y", &m_p1.y, nullptr}, {"p1z", "p1z", &m_p1.z, nullptr},
        {"p2x", "p2x", &m_p2.x, nullptr}, {"p2y", "p2y", &m_p2.y, nullptr}, {"p2z", "p2z", &m_p2.z, nullptr},
    };
    return ReadAttributeSlots(attributes, "JumpHelper", slots, 6);
}

void CJumpHelper::BuildMarkers(Im3DVertex out[kVertices]) const
{
    const V3d up{0.0f, 1.0f, 0.0f}, x{1.0f, 0.0f, 0.0f}, z{0.0f, 0.0f, 1.0f};
    MarkerBuild(out, m_p1, up, x, z, 1.0f, 0.04f, 1.0f);
    MarkerBuild(out + kMarkerVertices, m_p2, up, x, z, 1.0f, 0.04f, 1.0f);
    MarkerSetColour(out, kMarkerVertices, kStartColour);
    MarkerSetColour(out + kMarkerVertices, kMarkerVertices, kEndColour);
}

void CJumpHelper::RenderDebug()
{
    if (Framework().debugLevel < 2)
        return;
    Im3DVertex vertices[kVertices];
    BuildMarkers(vertices);
    MarkerDraw(vertices, kVertices);
}
