#include "framework/marker.h"

#include "framework/screenquad.h"
#include "graphics/d3d9/d3d9renderstate.h"

namespace {

constexpr uint32_t kMarkerTransformFlags = 0x18;
constexpr uint32_t kCullNone = 1;
constexpr uint32_t kCullBack = 2; // the engine's default

V3d Along(const V3d& b, const V3d& d, float length, const V3d& side, float width)
{
    return {b.x + length * d.x + width * side.x, b.y + length * d.y + width * side.y,
            b.z + length * d.z + width * side.z};
}

void SetPosition(Im3DVertex& vertex, const V3d& p)
{
    vertex.x = p.x;
    vertex.y = p.y;
    vertex.z = p.z;
}

} // namespace

void MarkerBuild(Im3DVertex out[kMarkerVertices], const V3d& b, const V3d& d, const V3d& s, const V3d& t,
                 float length, float halfWidth, float baseFactor)
{
    const float base = halfWidth * baseFactor;
    const V3d* sides[2] = {&s, &t};
    for (int k = 0; k < 2; ++k) {
        const V3d& side = *sides[k];
        Im3DVertex* v = out + 6 * k;
        SetPosition(v[0], Along(b, d, 0.0f, side, base));
        SetPosition(v[1], Along(b, d, 0.0f, side, -base));
        SetPosition(v[2], Along(b, d, length, side, halfWidth));
        SetPosition(v[3], Along(b, d, 0.0f, side, -base));
        SetPosition(v[4], Along(b, d, length, side, -halfWidth));
        SetPosition(v[5], Along(b, d, length, side, halfWidth));
    }
}

void MarkerSetColour(Im3DVertex* vertices, int32_t count, uint32_t colour)
{
    for (int32_t i = 0; i < count; ++i)
        vertices[i].colour = colour;
}

bool MarkerDraw(Im3DVertex* vertices, int32_t count)
{
    ScreenSetState(kRenderStateCullMode, kCullNone);
    ScreenSetRaster(nullptr);
    bool drawn = false;
    if (Im3DTransform(vertices, uint32_t(count), nullptr, kMarkerTransformFlags)) {
        drawn = Im3DRenderPrimitive(kIm3DTriList) != 0;
        Im3DEnd();
    }
    ScreenSetState(kRenderStateCullMode, kCullBack);
    return drawn;
}
