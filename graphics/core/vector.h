#pragma once
// Vectors: fast table-driven square roots, lengths, normalisation and the
// replaceable point/vector transforms. All functions need the engine started
// (the square-root tables and the installed routines live in the vector
// module's data in the engine instance).

#include <cstdint>

struct Matrix;
struct EngineInstance;

struct V2d
{
    float x, y;
};

struct V3d
{
    float x, y, z;
};

/// Transforms one point or direction vector by a matrix; out may equal in.
using V3dTransformOneFunc = V3d* (*)(V3d* out, const V3d* in, const Matrix* matrix);
/// Transforms `count` packed V3d (12-byte stride); out may equal in.
using V3dTransformManyFunc = V3d* (*)(V3d* out, const V3d* in, int32_t count, const Matrix* matrix);

/// Approximate square root by table lookup (about 12 significant bits).
/// x must be >= 0 (callers pass sums of squares); 0 gives 0.
float VectorSqrt(float x);
/// Approximate 1/sqrt(x) by table lookup; x > 0; 0 gives 0.
float VectorInvSqrt(float x);

/// |v| through VectorSqrt.
float V3dLength(const V3d* v);
float V2dLength(const V2d* v);
/// out = in / |in|; returns |in|. A zero vector gives out = 0, returns 0 and
/// records plain error 25 (zero-length vector normalised).
float V3dNormalize(V3d* out, const V3d* in);
float V2dNormalize(V2d* out, const V2d* in);
/// out = in * VectorInvSqrt(|in|^2); returns that factor (0 for a zero
/// vector); records no error.
float V3dNormalizeFast(V3d* out, const V3d* in);

/// p.x*right + p.y*up + p.z*at + pos through the installed routine.
V3d* V3dTransformPoint(V3d* out, const V3d* in, const Matrix* matrix);
V3d* V3dTransformPoints(V3d* out, const V3d* in, int32_t count, const Matrix* matrix);
/// v.x*right + v.y*up + v.z*at through the installed routine.
V3d* V3dTransformVector(V3d* out, const V3d* in, const Matrix* matrix);
V3d* V3dTransformVectors(V3d* out, const V3d* in, int32_t count, const Matrix* matrix);

/// Installs the four transform routines; a null argument restores that
/// routine's portable default. Returns 1.
int32_t VectorSetTransformFunctions(V3dTransformOneFunc point, V3dTransformManyFunc points,
                                    V3dTransformOneFunc vector, V3dTransformManyFunc vectors);

/// The four routines now installed (any pointer may be null).
void VectorGetTransformFunctions(V3dTransformOneFunc* point, V3dTransformManyFunc* points,
                                 V3dTransformOneFunc* vector, V3dTransformManyFunc* vectors);

/// The portable routines: single precision, multiply-adds in the order x, y,
/// z, then the position. Processor-specific routines match them bit for bit.
V3d* V3dTransformPointDefault(V3d* out, const V3d* in, const Matrix* matrix);
V3d* V3dTransformPointsDefault(V3d* out, const V3d* in, int32_t count, const Matrix* matrix);
V3d* V3dTransformVectorDefault(V3d* out, const V3d* in, const Matrix* matrix);
V3d* V3dTransformVectorsDefault(V3d* out, const V3d* in, int32_t count, const Matrix* matrix);

/// Vector module (core module 0x401): builds the tables, installs the
/// portable routines. Open answers the instance, or null when the tables
/// cannot be allocated (kErrorOutOfMemory).
/// Registers the vector module (core module 0x401) with the engine at
/// EngineInit; its open builds the square-root tables (null with kErrorOutOfMemory
/// when they cannot be allocated) and installs the portable routines.
int32_t VectorModuleAttach();
