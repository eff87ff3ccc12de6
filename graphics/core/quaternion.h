#pragma once
// Quaternions: conversion from a rotation matrix, rotation about an axis with
// a combine op, axis and angle queries, rotation of vectors and the modulus.
// Stateless free functions; square roots go through the engine's table
// (VectorSqrt), so the engine must be started. Errors carry module id 0x195.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"

/// Imaginary part x, y, z, then the real part w; the identity is (0, 0, 0, 1).
/// Unit length is neither required nor enforced.
struct Quaternion
{
    float x, y, z, w;
};
static_assert(sizeof(Quaternion) == 16, "Quaternion is four floats");

/// Combine ops of QuaternionRotate.
enum : int32_t
{
    kQuaternionReplace = 0,    ///< q = r
    kQuaternionPreConcat = 1,  ///< q = q x r
    kQuaternionPostConcat = 2, ///< q = r x q
};

/// q from the rotation rows of `matrix` (trace method; pos and flags ignored).
/// Returns 1; 0 with nothing written and no error when a pointer is null.
int32_t QuaternionFromMatrix(Quaternion* q, const Matrix* matrix);
/// Combines q with the rotation of `angle` degrees about `axis` (normalised
/// here) by `op` (kQuaternionReplace/PreConcat/PostConcat). Returns q; null
/// with {0x195, 0x80000016} for a null pointer or {0x195, 0x80000003}
/// "Invalid combination type" for another op, q unchanged.
Quaternion* QuaternionRotate(Quaternion* q, const V3d* axis, float angle, int32_t op);
/// The unit axis and angle in degrees (0 to 180; the shorter rotation about
/// the reversed axis when w < 0); a zero vector part gives axis (0, 0, 0).
/// Returns q; null with {0x195, 0x80000016} when a pointer is null.
const Quaternion* QuaternionQueryRotate(const Quaternion* q, V3d* axis, float* angle);
/// out[i] = q in[i] q* for i < count (scaled by |q|^2 when q is not unit).
/// out may be the same array as in: each input is read before its output is
/// written. count < 1 writes nothing. Returns out.
V3d* QuaternionTransformVectors(V3d* out, const V3d* in, int32_t count, const Quaternion* q);
/// sqrt(x^2 + y^2 + z^2 + w^2) through the engine's table square root.
float QuaternionModulus(const Quaternion* q);
