#include "physics/core/dyn/dyn.h"

#include <cmath>
#include <cstring>

#include "physics/core/utils/inertia.h"
#include "physics/core/utils/maths.h"
#include "physics/core/utils/memory.h"
#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

constexpr float kDefaultDamping = 0.01f;

/// A mass or inertia that would give infinite inverses counts as 1.
float Usable(float value)
{
    return value > kOlpFloatMin ? value : 1.0f;
}

/// Tensor rows into the 3 x 4 layout (the fourth floats are left alone).
void StoreTensor(OlpDynMass* row, const float tensor[9])
{
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            row->m[r * 4 + c] = tensor[r * 3 + c];
        }
    }
}

void StoreScalarTensor(OlpDynMass* row, float value)
{
    const float tensor[9] = {value, 0, 0, 0, value, 0, 0, 0, value};
    StoreTensor(row, tensor);
}

/// The principal inertia rotated into the part's frame, and its inverse
/// square root; false when a moment is not above FLT_MIN.
bool StoreFullInertia(OlpDynMass* mass, OlpDynMass* inverse, const OlpPart* part)
{
    const V3d d = part->inertia;
    if (!(d.x > kOlpFloatMin && d.y > kOlpFloatMin && d.z > kOlpFloatMin)) {
        return false;
    }
    float tensor[9];
    OlpInertia principal = {d, part->rotation};
    StoreTensor(mass, OlpMathInertiaToWorld(tensor, &principal));
    principal.moments = {1.0f / std::sqrt(d.x), 1.0f / std::sqrt(d.y), 1.0f / std::sqrt(d.z)};
    StoreTensor(inverse, OlpMathInertiaToWorld(tensor, &principal));
    return true;
}

/// pose = matrix moved to the centre of mass (the centre applied in the
/// matrix's local space), orientation from its rotation.
void SetPose(OlpDyn* handle, const Matrix* matrix)
{
    OlpDynArrays* arrays = handle->arrays;
    Matrix& pose = arrays->pose[handle->index];
    pose = *matrix;
    pose.pos = TransformPoint(*matrix, handle->centre);
    // Rigid: normal and orthogonal, never trusted as the identity.
    pose.flags = kMatrixFlagsOrthonormal;
    OlpMathQuaternionFromRotation(&arrays->orientation[handle->index], &pose);
}

} // namespace

size_t OlpDynArraysSize(uint32_t count)
{
    return Round16(sizeof(OlpDyn) * count) + Round16(sizeof(OlpDyn*) * count) +
           Round16(sizeof(Matrix) * count) + Round16(sizeof(Quaternion) * count) +
           Round16(sizeof(uint32_t) * count) + 2 * Round16(sizeof(OlpDynMass) * count) +
           4 * Round16(sizeof(OlpDynMotion) * count) + Round16(sizeof(OlpDynVector) * count) +
           Round16(sizeof(uint32_t) * count);
}

OlpDynArrays* OlpDynArraysInit(OlpDynArrays* arrays, void* area, uint32_t count)
{
    std::memset(area, 0, OlpDynArraysSize(count));
    auto* cursor = static_cast<uint8_t*>(area);
    arrays->capacity = count;
    arrays->handles = Take<OlpDyn>(&cursor, count);
    arrays->freeStack = Take<OlpDyn*>(&cursor, count);
    arrays->pose = Take<Matrix>(&cursor, count);
    arrays->orientation = Take<Quaternion>(&cursor, count);
    arrays->flags = Take<uint32_t>(&cursor, count);
    arrays->mass = Take<OlpDynMass>(&cursor, count);
    arrays->inverseMass = Take<OlpDynMass>(&cursor, count);
    arrays->velocity = Take<OlpDynMotion>(&cursor, count);
    arrays->acceleration = Take<OlpDynMotion>(&cursor, count);
    arrays->force = Take<OlpDynMotion>(&cursor, count);
    arrays->correction = Take<OlpDynMotion>(&cursor, count);
    arrays->spinAxis = Take<OlpDynVector>(&cursor, count);
    arrays->solverIndex = Take<uint32_t>(&cursor, count);
    // Filled in reverse, so that handle 0 is taken first.
    for (uint32_t i = 0; i < count; ++i) {
        arrays->handles[i].arrays = arrays;
        arrays->handles[i].index = i;
        arrays->freeStack[count - 1 - i] = &arrays->handles[i];
    }
    arrays->freeCount = count;
    return arrays;
}

OlpDyn* OlpDynArraysTake(OlpDynArrays* arrays)
{
    if (arrays->freeCount == 0) {
        return nullptr;
    }
    return arrays->freeStack[--arrays->freeCount];
}

int32_t OlpDynRelease(OlpDyn* handle)
{
    OlpDynArrays* arrays = handle->arrays;
    arrays->freeStack[arrays->freeCount++] = handle;
    return 1;
}

OlpDyn* OlpDynInit(OlpDyn* handle, const OlpPart* part, const Matrix* sourceMatrix)
{
    OlpDynArrays* arrays = handle->arrays;
    const uint32_t row = handle->index;
    OlpDynMass* mass = &arrays->mass[row];
    OlpDynMass* inverse = &arrays->inverseMass[row];
    *mass = {};
    *inverse = {};
    uint32_t flags = 0;
    float scalarInertia = 1.0f;
    if (part != nullptr) {
        flags = part->flags;
        scalarInertia = Usable(part->scalarInertia);
        handle->centre = part->centre;
        handle->damping[0] = part->damping[0];
        handle->damping[1] = part->damping[1];
        if ((flags & kOlpDynFullInertia) != 0 && !StoreFullInertia(mass, inverse, part)) {
            // A degenerate principal inertia would give infinite inverses:
            // the part is treated as having the scalar inertia only.
            flags &= ~kOlpDynFullInertia;
        }
    } else {
        handle->centre = {0, 0, 0};
        handle->damping[0] = kDefaultDamping;
        handle->damping[1] = kDefaultDamping;
    }
    if ((flags & kOlpDynFullInertia) == 0) {
        StoreScalarTensor(mass, scalarInertia);
        StoreScalarTensor(inverse, 1.0f / std::sqrt(scalarInertia));
    }
    arrays->flags[row] = flags;
    OlpDynSetMass(handle, part != nullptr ? part->mass : 1.0f);
    OlpDynSetInertia(handle, scalarInertia);

    Matrix identity = {{1, 0, 0}, kMatrixFlagsAll, {0, 1, 0}, 0, {0, 0, 1}, 0, {0, 0, 0}, 0};
    SetPose(handle, sourceMatrix != nullptr ? sourceMatrix : &identity);

    arrays->velocity[row] = {};
    arrays->acceleration[row] = {};
    arrays->force[row] = {};
    arrays->correction[row] = {};
    arrays->spinAxis[row] = {};
    arrays->solverIndex[row] = 0;
    handle->solver[0] = handle->solver[1] = handle->solver[2] = 0;
    return handle;
}

OlpDyn* OlpDynResetFromMatrix(OlpDyn* handle, const Matrix* matrix)
{
    SetPose(handle, matrix);
    return handle;
}

OlpDyn* OlpDynSetMass(OlpDyn* handle, float mass)
{
    const float value = Usable(mass);
    handle->arrays->mass[handle->index].m[kOlpDynMassSlot] = value;
    handle->arrays->inverseMass[handle->index].m[kOlpDynMassSlot] = 1.0f / std::sqrt(value);
    handle->massFraction = 0.001f / value;
    return handle;
}

OlpDyn* OlpDynSetInertia(OlpDyn* handle, float inertia)
{
    const float value = Usable(inertia);
    handle->arrays->mass[handle->index].m[kOlpDynInertiaSlot] = value;
    handle->arrays->inverseMass[handle->index].m[kOlpDynInertiaSlot] = 1.0f / std::sqrt(value);
    return handle;
}

OlpDyn* OlpDynAddForceAtPoint(OlpDyn* handle, const V3d* force, const V3d* point)
{
    OlpDynMotion& accumulator = handle->arrays->force[handle->index];
    const V3d arm = *point - handle->arrays->pose[handle->index].pos;
    accumulator.linear = accumulator.linear + *force;
    accumulator.angular = accumulator.angular + Cross(arm, *force);
    return handle;
}

V3d* OlpDynGetPointVelocity(const OlpDyn* handle, const V3d* point, V3d* out)
{
    const OlpDynMotion& velocity = handle->arrays->velocity[handle->index];
    const V3d arm = *point - handle->arrays->pose[handle->index].pos;
    *out = velocity.linear + Cross(velocity.angular, arm);
    return out;
}

Matrix* OlpDynGetPose(const OlpDyn* handle)
{
    return &handle->arrays->pose[handle->index];
}

OlpDynMotion* OlpDynGetVelocity(const OlpDyn* handle)
{
    return &handle->arrays->velocity[handle->index];
}

OlpDyn* OlpDynSetVelocity(OlpDyn* handle, const V3d* linear, const V3d* angular)
{
    OlpDynMotion& velocity = handle->arrays->velocity[handle->index];
    velocity.linear = *linear;
    velocity.angular = *angular;
    return handle;
}
