#pragma once
// The simulated state of active parts. The states of all active parts live
// in one structure-of-arrays block (one row per state in each array, every
// row 16-byte aligned) so that the solver and the integrator run over
// contiguous rows; a part holds a small handle that names its row. The
// object manager owns the block and the pool of handles.

#include <cstddef>
#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/quaternion.h"
#include "graphics/core/vector.h"
#include "physics/core/volume/part.h"

/// State flags (taken from the part's flags).
constexpr uint32_t kOlpDynSpinAxis = 0x01;    ///< the spin-axis row is read by the integrator
constexpr uint32_t kOlpDynFullInertia = 0x02; ///< the mass row holds a full inertia tensor

/// Three rows of four floats: a symmetric 3 x 3 inertia in the first three
/// floats of each row, the mass in float 3 and the scalar inertia in
/// float 11. The inverse row has the same shape and holds inverse square
/// roots.
struct alignas(16) OlpDynMass
{
    float m[12];
};
/// Float index of the mass and of the scalar inertia in OlpDynMass.
constexpr int kOlpDynMassSlot = 3;
constexpr int kOlpDynInertiaSlot = 11;

/// A linear and an angular vector, each padded to four floats.
struct alignas(16) OlpDynMotion
{
    V3d linear;
    float linearPad;
    V3d angular;
    float angularPad;
};

/// A 3-vector padded to four floats.
struct alignas(16) OlpDynVector
{
    V3d v;
    float pad;
};

struct OlpDyn;

/// The structure-of-arrays block: `capacity` rows in each array, and the
/// pool of the handles that name them.
struct OlpDynArrays
{
    uint32_t capacity;
    OlpDyn* handles;    ///< handle i names row i
    OlpDyn** freeStack; ///< free handles, the next one taken on top
    uint32_t freeCount;
    Matrix* pose;               ///< of the centre of mass
    Quaternion* orientation;    ///< unit, kept with the pose
    uint32_t* flags;            ///< kOlpDynSpinAxis, kOlpDynFullInertia
    OlpDynMass* mass;           ///< mass and inertia
    OlpDynMass* inverseMass;    ///< their inverse square roots
    OlpDynMotion* velocity;     ///< linear and angular velocity
    OlpDynMotion* acceleration; ///< written by the solver
    OlpDynMotion* force;        ///< force and torque accumulators
    OlpDynMotion* correction;   ///< the solver's correction velocities
    OlpDynVector* spinAxis;     ///< read when kOlpDynSpinAxis is set
    uint32_t* solverIndex;      ///< the part's index in the solver's batch
};

/// The handle a part points at while it is active.
struct OlpDyn
{
    OlpDynArrays* arrays;
    uint32_t index;     ///< the row, fixed for the handle's life
    V3d centre;         ///< the part's centre of mass in the part's frame
    float damping[2];   ///< linear and angular damping
    float massFraction; ///< 0.001 / mass
    uint32_t solver[3]; ///< the solver's per-part words
};

/// Bytes of the block (16-aligned areas) for `count` states.
size_t OlpDynArraysSize(uint32_t count);
/// Lays the block out in `area` (16-byte aligned, OlpDynArraysSize bytes)
/// for `count` states, every row cleared and every handle free (handle 0
/// taken first); returns `arrays`.
OlpDynArrays* OlpDynArraysInit(OlpDynArrays* arrays, void* area, uint32_t count);
/// A free handle of the pool, not initialised; null when none is left.
OlpDyn* OlpDynArraysTake(OlpDynArrays* arrays);
/// Gives the handle back to its pool; 1.
int32_t OlpDynRelease(OlpDyn* handle);

/// Fills the handle's row from `part` (null: mass 1, inertia 1, damping
/// 0.01, centre 0) and the pose from `sourceMatrix` (null: identity) moved to
/// the centre of mass; velocities and accumulators cleared. A mass or
/// inertia not above FLT_MIN counts as 1; a full inertia with a component not
/// above FLT_MIN falls back to the scalar inertia.
OlpDyn* OlpDynInit(OlpDyn* handle, const OlpPart* part, const Matrix* sourceMatrix);
/// Pose = `matrix` moved to the centre of mass; orientation recomputed.
OlpDyn* OlpDynResetFromMatrix(OlpDyn* handle, const Matrix* matrix);
/// Mass (kg) and its inverse square root; a value not above FLT_MIN counts as 1.
OlpDyn* OlpDynSetMass(OlpDyn* handle, float mass);
/// Scalar inertia and its inverse square root; a value not above FLT_MIN counts as 1.
OlpDyn* OlpDynSetInertia(OlpDyn* handle, float inertia);
/// force += f; torque += (point - centre of mass) x f (world units).
OlpDyn* OlpDynAddForceAtPoint(OlpDyn* handle, const V3d* force, const V3d* point);
/// Velocity of the world point `point` moving with the part.
V3d* OlpDynGetPointVelocity(const OlpDyn* handle, const V3d* point, V3d* out);
/// The pose of the centre of mass.
Matrix* OlpDynGetPose(const OlpDyn* handle);
/// The linear and angular velocity row.
OlpDynMotion* OlpDynGetVelocity(const OlpDyn* handle);
/// Sets the linear and angular velocity.
OlpDyn* OlpDynSetVelocity(OlpDyn* handle, const V3d* linear, const V3d* angular);
