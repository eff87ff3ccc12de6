#include "physics/core/utils/bbox.h"

#include <algorithm>
#include <cmath>

#include "physics/core/utils/vec3.h"

using namespace olp;

namespace {

V3d Centre(const OlpBBox& box)
{
    return (box.max + box.min) * 0.5f;
}

V3d HalfExtents(const OlpBBox& box)
{
    return (box.max - box.min) * 0.5f;
}

OlpBBox* SetCentreExtents(OlpBBox* out, V3d centre, V3d half)
{
    out->max = centre + half;
    out->min = centre - half;
    return out;
}

} // namespace

bool OlpBBoxIsValid(const OlpBBox* box)
{
    return box->max.x + 1.0f >= box->min.x && box->max.y + 1.0f >= box->min.y &&
           box->max.z + 1.0f >= box->min.z;
}

V3d* OlpBBoxMax3(V3d* out, const V3d* a, const V3d* b)
{
    *out = {std::max(a->x, b->x), std::max(a->y, b->y), std::max(a->z, b->z)};
    return out;
}

V3d* OlpBBoxMin3(V3d* out, const V3d* a, const V3d* b)
{
    *out = {std::min(a->x, b->x), std::min(a->y, b->y), std::min(a->z, b->z)};
    return out;
}

OlpBBox* OlpBBoxMerge(OlpBBox* out, const OlpBBox* a, const OlpBBox* b)
{
    OlpBBoxMax3(&out->max, &a->max, &b->max);
    OlpBBoxMin3(&out->min, &a->min, &b->min);
    return out;
}

OlpBBox* OlpBBoxIntersect(OlpBBox* out, const OlpBBox* a, const OlpBBox* b)
{
    OlpBBoxMin3(&out->max, &a->max, &b->max);
    OlpBBoxMax3(&out->min, &a->min, &b->min);
    return out;
}

bool OlpBBoxContains(const OlpBBox* outer, const OlpBBox* inner)
{
    return inner->max.x <= outer->max.x && inner->max.y <= outer->max.y && inner->max.z <= outer->max.z &&
           inner->min.x >= outer->min.x && inner->min.y >= outer->min.y && inner->min.z >= outer->min.z;
}

bool OlpBBoxOverlap(const OlpBBox* a, const OlpBBox* b)
{
    return a->min.x <= b->max.x && b->min.x <= a->max.x && a->min.y <= b->max.y && b->min.y <= a->max.y &&
           a->min.z <= b->max.z && b->min.z <= a->max.z;
}

OlpBBox* OlpBBoxScale(OlpBBox* box, float factor)
{
    return SetCentreExtents(box, Centre(*box), HalfExtents(*box) * factor);
}

OlpBBox* OlpBBoxGrow(OlpBBox* out, const OlpBBox* box, float margin, float factor)
{
    V3d grow = {margin, margin, margin};
    out->max = box->max + grow;
    out->min = box->min - grow;
    if (factor != 1.0f) {
        OlpBBoxScale(out, factor);
    }
    return out;
}

OlpBBox* OlpBBoxFromSegment(OlpBBox* out, const V3d* a, const V3d* b, float radius)
{
    OlpBBoxMax3(&out->max, a, b);
    OlpBBoxMin3(&out->min, a, b);
    return OlpBBoxGrow(out, out, radius, 1.0f);
}

OlpBBox* OlpBBoxAddPoint(OlpBBox* box, const V3d* p)
{
    OlpBBoxMax3(&box->max, &box->max, p);
    OlpBBoxMin3(&box->min, &box->min, p);
    return box;
}

OlpBBox* OlpBBoxTransform(OlpBBox* out, const OlpBBox* box, const Matrix* matrix)
{
    V3d half = HalfExtents(*box);
    V3d centre = TransformPoint(*matrix, Centre(*box));
    V3d world = Abs(matrix->right) * half.x + Abs(matrix->up) * half.y + Abs(matrix->at) * half.z;
    return SetCentreExtents(out, centre, world);
}

OlpBBox* OlpBBoxInverseTransform(OlpBBox* out, const OlpBBox* box, const Matrix* matrix)
{
    V3d half = HalfExtents(*box);
    V3d centre = InverseTransformPoint(*matrix, Centre(*box));
    V3d local = {Dot(Abs(matrix->right), half), Dot(Abs(matrix->up), half), Dot(Abs(matrix->at), half)};
    return SetCentreExtents(out, centre, local);
}
