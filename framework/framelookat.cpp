#include "framework/framelookat.h"

#include <cmath>

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"

namespace {

V3d Cross(const V3d& a, const V3d& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

/// v / |v|, or a zero vector for a zero v.
V3d Normalized(const V3d& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length == 0.0f)
        return {0.0f, 0.0f, 0.0f};
    return {v.x / length, v.y / length, v.z / length};
}

} // namespace

void FrameLookAt(Frame* frame, const V3d* position, const V3d* target)
{
    if (!frame)
        return;
    Matrix* matrix = FrameGetMatrix(frame);
    matrix->pos = *position;
    matrix->flags &= kMatrixFlagsOrthonormal; // no longer the identity
    const V3d direction = {target->x - position->x, target->y - position->y, target->z - position->z};
    if (direction.x != 0.0f || direction.y != 0.0f || direction.z != 0.0f) {
        const V3d at = Normalized(direction);
        V3d right = Normalized(Cross({0.0f, 1.0f, 0.0f}, at));
        // Looking straight up or down the world's up gives no horizontal
        // right vector: keep the x axis rather than write a zero basis.
        if (right.x == 0.0f && right.y == 0.0f && right.z == 0.0f)
            right = {1.0f, 0.0f, 0.0f};
        matrix->right = right;
        matrix->up = Normalized(Cross(at, right));
        matrix->at = at;
        matrix->flags = kMatrixFlagsOrthonormal;
    }
    FrameUpdateObjects(frame);
}
