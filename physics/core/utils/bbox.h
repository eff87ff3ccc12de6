#pragma once
// Physics boxes: the maximum corner, then the minimum corner, each padded to
// four floats (the pad is carried, never read). The far field, the volume
// descriptors and the narrow phase share this layout.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/vector.h"

struct OlpBBox
{
    V3d max;
    float maxPad;
    V3d min;
    float minPad;
};
static_assert(sizeof(OlpBBox) == 32, "a physics box is 8 floats");

/// True when on every axis max + 1.0 >= min (a box may be inverted by up to 1).
bool OlpBBoxIsValid(const OlpBBox* box);
/// Component-wise maximum of two vectors.
V3d* OlpBBoxMax3(V3d* out, const V3d* a, const V3d* b);
/// Component-wise minimum of two vectors.
V3d* OlpBBoxMin3(V3d* out, const V3d* a, const V3d* b);
/// Union of two boxes; out may alias either.
OlpBBox* OlpBBoxMerge(OlpBBox* out, const OlpBBox* a, const OlpBBox* b);
/// Intersection of two boxes (may come out empty, which is not checked).
OlpBBox* OlpBBoxIntersect(OlpBBox* out, const OlpBBox* a, const OlpBBox* b);
/// True when `inner` lies within `outer`, faces included.
bool OlpBBoxContains(const OlpBBox* outer, const OlpBBox* inner);
/// True when the boxes touch or overlap on every axis.
bool OlpBBoxOverlap(const OlpBBox* a, const OlpBBox* b);
/// Scales a box about its centre by `factor`.
OlpBBox* OlpBBoxScale(OlpBBox* box, float factor);
/// Adds `margin` on every side, then scales the extents about the centre by
/// `factor` when it is not 1; out may alias box.
OlpBBox* OlpBBoxGrow(OlpBBox* out, const OlpBBox* box, float margin, float factor);
/// Box of the segment a-b grown by `radius` on every side.
OlpBBox* OlpBBoxFromSegment(OlpBBox* out, const V3d* a, const V3d* b, float radius);
/// Grows the box to contain p.
OlpBBox* OlpBBoxAddPoint(OlpBBox* box, const V3d* p);
/// World box of a local box under `matrix` (centre transformed, half extents
/// through the absolute rotation); out may alias box.
OlpBBox* OlpBBoxTransform(OlpBBox* out, const OlpBBox* box, const Matrix* matrix);
/// The box, in the local axes of an orthonormal `matrix`, of a world box;
/// out may alias box.
OlpBBox* OlpBBoxInverseTransform(OlpBBox* out, const OlpBBox* box, const Matrix* matrix);
