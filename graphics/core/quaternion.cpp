#include "graphics/core/quaternion.h"

#include <cmath>

#include "graphics/core/error.h"

namespace {

/// The plug-in id of the quaternion functions' error records.
constexpr uint32_t kPluginIdQuaternion = 0x195;

struct Vec3
{
    float x, y, z;
};

Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 VectorPart(const Quaternion& q)
{
    return {q.x, q.y, q.z};
}

/// a x b with the vector cross product taken as `first` x `second` of the
/// two vector parts, so one routine serves both concatenation orders.
Quaternion Product(const Quaternion& a, const Quaternion& b, bool crossAB)
{
    const Vec3 av = VectorPart(a);
    const Vec3 bv = VectorPart(b);
    const Vec3 c = crossAB ? Cross(av, bv) : Cross(bv, av);
    Quaternion out;
    out.w = a.w * b.w - Dot(av, bv);
    out.x = a.w * bv.x + b.w * av.x + c.x;
    out.y = a.w * bv.y + b.w * av.y + c.y;
    out.z = a.w * bv.z + b.w * av.z + c.z;
    return out;
}

} // namespace

int32_t QuaternionFromMatrix(Quaternion* q, const Matrix* matrix)
{
    if (q == nullptr || matrix == nullptr) {
        return 0;
    }
    // m[r][c]: rows right, up, at.
    const float m[3][3] = {{matrix->right.x, matrix->right.y, matrix->right.z},
                           {matrix->up.x, matrix->up.y, matrix->up.z},
                           {matrix->at.x, matrix->at.y, matrix->at.z}};
    const float trace = m[0][0] + m[1][1] + m[2][2];
    if (trace > 0.0f) {
        const float s = VectorSqrt(trace + 1.0f);
        const float f = 0.5f / s;
        q->w = 0.5f * s;
        q->x = (m[1][2] - m[2][1]) * f;
        q->y = (m[2][0] - m[0][2]) * f;
        q->z = (m[0][1] - m[1][0]) * f;
        return 1;
    }
    // The largest diagonal term picks the component computed from the root;
    // ties go to the later axis.
    int axis;
    if (m[0][0] > m[1][1]) {
        axis = m[0][0] > m[2][2] ? 0 : 2;
    } else {
        axis = m[1][1] > m[2][2] ? 1 : 2;
    }
    if (axis == 0) {
        const float s = VectorSqrt(m[0][0] - (m[2][2] + m[1][1]) + 1.0f);
        const float f = 0.5f / s;
        q->x = 0.5f * s;
        q->w = (m[1][2] - m[2][1]) * f;
        q->y = (m[1][0] + m[0][1]) * f;
        q->z = (m[2][0] + m[0][2]) * f;
    } else if (axis == 1) {
        const float s = VectorSqrt(m[1][1] - (m[2][2] + m[0][0]) + 1.0f);
        const float f = 0.5f / s;
        q->y = 0.5f * s;
        q->w = (m[2][0] - m[0][2]) * f;
        q->z = (m[2][1] + m[1][2]) * f;
        q->x = (m[1][0] + m[0][1]) * f;
    } else {
        const float s = VectorSqrt(m[2][2] - (m[1][1] + m[0][0]) + 1.0f);
        const float f = 0.5f / s;
        q->z = 0.5f * s;
        q->w = (m[0][1] - m[1][0]) * f;
        q->x = (m[2][0] + m[0][2]) * f;
        q->y = (m[2][1] + m[1][2]) * f;
    }
    return 1;
}

Quaternion* QuaternionRotate(Quaternion* q, const V3d* axis, float angle, int32_t op)
{
    if (q == nullptr || axis == nullptr) {
        ErrorRaise(kPluginIdQuaternion, kErrorNullArgument);
        return nullptr;
    }
    if (op != kQuaternionReplace && op != kQuaternionPreConcat && op != kQuaternionPostConcat) {
        ErrorRaise(kPluginIdQuaternion, ErrorCode(kErrorBadArgument, "Invalid combination type"));
        return nullptr;
    }
    const float half = angle * 0.008726646f;
    const float s = std::sin(half);
    V3d n;
    V3dNormalize(&n, axis);
    const Quaternion r = {s * n.x, s * n.y, s * n.z, std::cos(half)};
    if (op == kQuaternionReplace) {
        *q = r;
    } else if (op == kQuaternionPreConcat) {
        *q = Product(*q, r, true);
    } else {
        *q = Product(*q, r, false);
    }
    return q;
}

const Quaternion* QuaternionQueryRotate(const Quaternion* q, V3d* axis, float* angle)
{
    if (q == nullptr || axis == nullptr || angle == nullptr) {
        ErrorRaise(kPluginIdQuaternion, kErrorNullArgument);
        return nullptr;
    }
    const float length = VectorSqrt(q->x * q->x + q->y * q->y + q->z * q->z);
    const float k = length > 0.0f ? 1.0f / length : 0.0f;
    const float a = std::atan2(length, q->w);
    if (a <= 1.5707964f) {
        *axis = {k * q->x, k * q->y, k * q->z};
        *angle = a * 114.59155f;
    } else {
        // The shorter rotation about the reversed axis: never above 180 degrees.
        *axis = {-k * q->x, -k * q->y, -k * q->z};
        *angle = (3.1415927f - a) * 114.59155f;
    }
    return q;
}

V3d* QuaternionTransformVectors(V3d* out, const V3d* in, int32_t count, const Quaternion* q)
{
    const Vec3 qv = VectorPart(*q);
    const float x2 = 2.0f * q->x;
    const float y2 = 2.0f * q->y;
    const float z2 = 2.0f * q->z;
    const float k = q->w * q->w - (q->x * q->x + q->y * q->y + q->z * q->z);
    const float w2 = 2.0f * q->w;
    for (int32_t i = 0; i < count; ++i) {
        // Copied first, so rotating an array in place gives the same results.
        const Vec3 v = {in[i].x, in[i].y, in[i].z};
        const float d = x2 * v.x + y2 * v.y + z2 * v.z;
        const Vec3 c = Cross(qv, v);
        out[i].x = w2 * c.x + d * q->x + k * v.x;
        out[i].y = w2 * c.y + d * q->y + k * v.y;
        out[i].z = w2 * c.z + d * q->z + k * v.z;
    }
    return out;
}

float QuaternionModulus(const Quaternion* q)
{
    return VectorSqrt(q->x * q->x + q->y * q->y + q->z * q->z + q->w * q->w);
}
