#pragma once
// Small vector arithmetic for the framework's camera and marker code.
#include <cmath>

#include "graphics/core/vector.h"

inline V3d V3dAdd(const V3d& a, const V3d& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

inline V3d V3dSub(const V3d& a, const V3d& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

inline V3d V3dScaled(const V3d& v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}

inline V3d V3dCross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

/// v / |v|, or a zero vector for a zero v.
inline V3d V3dUnit(const V3d& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length == 0.0f)
        return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

inline float V3dDot(const V3d& a, const V3d& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
