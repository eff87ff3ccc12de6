#pragma once
// Inertia records and their principal axes. An inertia record is the three
// principal moments followed by the rotation of the principal axes; a
// tensor is a symmetric 3 x 3 matrix of 9 floats, row by row. Rotations
// go through the engine core's quaternions; every quaternion stored
// here is normalised (the conversion from a matrix is good to about 1e-4).

#include "graphics/core/matrix.h"
#include "graphics/core/quaternion.h"
#include "graphics/core/vector.h"

struct OlpInertia
{
    V3d moments;
    Quaternion rotation;
};

/// Sweeps and tolerance of the principal-axes search.
constexpr int32_t kOlpJacobiSweeps = 25;
constexpr float kOlpJacobiTolerance = 1e-6f;

/// q = (0, 0, 0, 1).
Quaternion* OlpQuaternionSetIdentity(Quaternion* q);
/// The rotation matrix of a (normalised) quaternion: its rows are the
/// rotated unit axes; position 0, flags 0x3.
Matrix* OlpMathQuaternionToMatrix(Matrix* out, const Quaternion* q);
/// The normalised quaternion of a matrix's rotation rows.
Quaternion* OlpMathQuaternionFromRotation(Quaternion* out, const Matrix* rotation);
/// True when every moment exceeds the smallest normal float and is at most
/// the sum of the other two, and the quaternion's length is within 0.01 of 1.
bool OlpMathInertiaIsValid(const OlpInertia* inertia);
/// The tensor R diag(moments) R^T, R the rotation of the record.
float* OlpMathInertiaToWorld(float out[9], const OlpInertia* inertia);
/// The principal moments and axes of a tensor (Jacobi, 25 sweeps, 1e-6).
/// Returns 1; 0 when Jacobi does not converge, and then the record holds
/// the tensor's diagonal with the identity rotation.
int32_t OlpMathDiagonalizeInertia(OlpInertia* out, const float tensor[9]);
