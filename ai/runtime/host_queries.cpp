#include "ai/runtime/host_queries.h"

#include "ai/runtime/host.h"

namespace Zelk {

float CastRay(const CVec3& from, const CVec3& direction, const void* ignore, int flags, float length)
{
    CHitRecord hit;
    const AiRuntimeSettings& s = AiGetSettings();
    if (!s.rayCast) {
        return length;
    }
    s.rayCast(from, from + direction * length, ignore, flags, &hit);
    return hit.fraction * length;
}

float CastRayDefault(const CVec3& from, const CVec3& direction, const void* ignore, int flags)
{
    return CastRay(from, direction, ignore, flags, 10000.0f);
}

bool IsVisible(const CVec3& from, const CVec3& to, const void* ignore, int flags)
{
    const AiRuntimeSettings& s = AiGetSettings();
    return s.isVisible ? s.isVisible(from, to, ignore, flags) : true;
}

bool IsVisibleWide(const CVec3& from, const CVec3& to, const void* ignore, int flags, float width,
                   int rayCount)
{
    if (rayCount < 2) {
        return IsVisible(from, to, ignore, flags);
    }
    if (from == to) {
        return true;
    }
    // The horizontal perpendicular: the segment's direction turned by a quarter turn about y.
    CVec3 d = (to - from);
    CVec3 side = CVec3(d.z, 0.0f, -d.x).GetNormalized();
    for (int i = 0; i < rayCount; ++i) {
        float t = -0.5f + static_cast<float>(i) / static_cast<float>(rayCount - 1);
        CVec3 offset = side * (t * width);
        if (!IsVisible(from + offset, to + offset, ignore, flags)) {
            return false;
        }
    }
    return true;
}

bool CanGo(const CVec3& from, const CVec3& to, const void* ignore, int flags, float width)
{
    const AiRuntimeSettings& s = AiGetSettings();
    return s.canGo ? s.canGo(from, to, width * 0.5f, ignore, flags) : true;
}

bool IsInVisionCone(const CVec3& target, const CVec3& eye, const CVec3& viewDirection, float halfAngle,
                    float range)
{
    CVec3 d = target - eye;
    float q = d.SquaredLength();
    if (range >= 0.0f && range * range < q) {
        return false;
    }
    float p = d.Dot(viewDirection);
    float c = CosDeg(halfAngle);
    // p / |d| >= c without a square root.
    if (p >= 0.0f) {
        return c < 0.0f || p * p >= c * c * q;
    }
    return c < 0.0f && p * p <= c * c * q;
}

} // namespace Zelk
