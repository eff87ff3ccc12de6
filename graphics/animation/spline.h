#pragma once
// Splines: uniform cubic B-spline curves through a list of points, open or
// closed, evaluated at t in [0, 1] with an optional unit tangent, and saved
// as chunk 0x0C (".ols" files). The plug-in (engine module 0x102) builds the
// shared basis tables and inverse matrices at its first open; splines need
// the engine started with the plug-in attached. Errors carry id 0x102.

#include <cstdint>

#include "graphics/core/vector.h"

struct Stream;

constexpr uint32_t kChunkSpline = 0x0C;

/// Spline types.
constexpr uint32_t kSplineOpen = 1;   ///< starts and ends at the first and last point
constexpr uint32_t kSplineClosed = 2; ///< a loop through every point

/// SplineEvaluate modes.
constexpr int32_t kSplinePathLinear = 10; ///< t as given
constexpr int32_t kSplinePathEased = 11;  ///< t eased in and out (2t^2, then -2t^2 + 4t - 1)

/// Plain error codes of the spline module.
constexpr uint32_t kErrorSplineBadType = 1;      ///< a spline type or evaluation mode outside its set
constexpr uint32_t kErrorSplineTablesFailed = 3; ///< the plug-in could not build its tables

struct Spline
{
    uint8_t objectType;   ///< kChunkSpline
    uint32_t storedCount; ///< S: N + 2 open, N + 3 closed
    uint32_t type;        ///< kSplineOpen or kSplineClosed
    V3d* points;          ///< the N given points (a copy owned by the spline)
    char name[32];        ///< zero-terminated; empty at creation
    V3d* stored;          ///< the S derived B-spline control points (in the same block)
};

/// Registers engine module 0x102; before the first EngineOpen. True when accepted.
bool SplinePluginAttach();
/// A spline through `count` points of `type`. Null with {0x102, 1} for another
/// type, 0x80000016 for an open spline under 4 points, a closed one under 3
/// points or null points, 0x80000013 out of memory.
Spline* SplineCreate(int32_t count, uint32_t type, const V3d* points);
/// Frees the spline; 1.
int32_t SplineDestroy(Spline* spline);
/// A copy with the same type, name, given and stored points; null on failure.
Spline* SplineClone(const Spline* spline);
/// N, the number of given points (0 with {0x102, 1} for a bad type).
int32_t SplineGetNumControlPoints(const Spline* spline);
/// Copies given point i into out; null with 0x80000003 "control point out of range".
V3d* SplineGetControlPoint(const Spline* spline, int32_t i, V3d* out);
/// Replaces given point i and recomputes the curve; null when i is out of range.
Spline* SplineSetControlPoint(Spline* spline, int32_t i, const V3d* point);
/// The point at t (|t| used; clamped to 1 on an open spline, wrapped on a
/// closed one) and, when `tangent` is not null, the unit tangent ((0, 1, 0)
/// where the curve has none). Null with {0x102, 1} for a mode other than
/// kSplinePathLinear or kSplinePathEased.
V3d* SplineEvaluate(const Spline* spline, int32_t mode, float t, V3d* point, V3d* tangent);
/// Body bytes of chunk 0x0C: 40 + 12 N.
int32_t SplineStreamGetSize(const Spline* spline);
/// Writes chunk 0x0C (header and body); the stream or null.
const Spline* SplineStreamWrite(const Spline* spline, Stream* stream);
/// Reads the body of chunk 0x0C (the caller found the chunk); a new spline or
/// null on a short or malformed body.
Spline* SplineStreamRead(Stream* stream);
/// Finds chunk 0x0C in the named file and reads it; null on failure
/// (0x80000004 for a version outside 0x35000-0x37002).
Spline* SplineReadFile(const char* path);
/// Writes the spline to the named file; 1 or 0.
int32_t SplineWriteFile(const Spline* spline, const char* path);
