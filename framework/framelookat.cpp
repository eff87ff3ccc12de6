#include "framework/framelookat.h"

#include "framework/vectorops.h"

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"

void FrameLookAt(Frame* frame, const V3d* position, const V3d* target)
{
    if (!frame)
        return;
    Matrix* matrix = FrameGetMatrix(frame);
    matrix->pos = *position;
    matrix->flags &= kMatrixFlagsOrthonormal; // no longer the identity
    const V3d direction = {target->x - position->x, target->y - position->y, target->z - position->z};
    if (direction.x != 0.0f || direction.y != 0.0f || direction.z != 0.0f) {
        const V3d at = V3dUnit(direction);
        V3d right = V3dUnit(V3dCross({0.0f, 1.0f, 0.0f}, at));
        // Looking straight up or down the world's up gives no horizontal
        // right vector: keep the x axis rather than write a zero basis.
        if (right.x == 0.0f && right.y == 0.0f && right.z == 0.0f)
            right = {1.0f, 0.0f, 0.0f};
        matrix->right = right;
        matrix->up = V3dUnit(V3dCross(at, right));
        matrix->at = at;
        matrix->flags = kMatrixFlagsOrthonormal;
    }
    FrameUpdateObjects(frame);
}

void FrameLookAlong(Frame* frame, const V3d* direction)
{
    if (!frame)
        return;
    const V3d position = FrameGetMatrix(frame)->pos;
    const V3d target = V3dAdd(position, *direction);
    FrameLookAt(frame, &position, &target);
}
