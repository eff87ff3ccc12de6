#pragma once
// Small inline 3-vector helpers shared by the physics modules. They live in
// namespace olp so that they never meet another library's helpers for V3d;
// a physics source says `using namespace olp;`.

#include <cmath>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"

namespace olp {

inline V3d operator+(V3d a, V3d b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline V3d operator-(V3d a, V3d b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline V3d operator-(V3d a)
{
    return {-a.x, -a.y, -a.z};
}
inline V3d operator*(V3d a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline V3d operator*(float s, V3d a)
{
    return {a.x * s, a.y * s, a.z * s};
}
inline float Dot(V3d a, V3d b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline V3d Cross(V3d a, V3d b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float LengthSq(V3d a)
{
    return Dot(a, a);
}
inline float Length(V3d a)
{
    return std::sqrt(Dot(a, a));
}
inline float Component(V3d a, int axis)
{
    return axis == 0 ? a.x : (axis == 1 ? a.y : a.z);
}
inline void SetComponent(V3d& a, int axis, float value)
{
    (axis == 0 ? a.x : (axis == 1 ? a.y : a.z)) = value;
}
inline V3d Abs(V3d a)
{
    return {std::fabs(a.x), std::fabs(a.y), std::fabs(a.z)};
}
/// Axis i (0 right, 1 up, 2 at) of a matrix.
inline V3d MatrixAxis(const Matrix& m, int axis)
{
    return axis == 0 ? m.right : (axis == 1 ? m.up : m.at);
}
/// p.x right + p.y up + p.z at + pos.
inline V3d TransformPoint(const Matrix& m, V3d p)
{
    return m.right * p.x + m.up * p.y + m.at * p.z + m.pos;
}
/// v.x right + v.y up + v.z at.
inline V3d RotateVector(const Matrix& m, V3d v)
{
    return m.right * v.x + m.up * v.y + m.at * v.z;
}
/// The rotation's transpose applied to v: v in the matrix's local axes.
inline V3d InverseRotateVector(const Matrix& m, V3d v)
{
    return {Dot(v, m.right), Dot(v, m.up), Dot(v, m.at)};
}
/// A world point in the matrix's local frame (orthonormal rotation).
inline V3d InverseTransformPoint(const Matrix& m, V3d p)
{
    return InverseRotateVector(m, p - m.pos);
}

} // namespace olp
