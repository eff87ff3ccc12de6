#include "graphics/core/bbox.h"

BBox* BBoxInitialize(BBox* box, const V3d* point)
{
    box->sup = *point;
    box->inf = *point;
    return box;
}

BBox* BBoxAddPoint(BBox* box, const V3d* point)
{
    if (point->x < box->inf.x) {
        box->inf.x = point->x;
    }
    if (point->y < box->inf.y) {
        box->inf.y = point->y;
    }
    if (point->z < box->inf.z) {
        box->inf.z = point->z;
    }
    if (point->x > box->sup.x) {
        box->sup.x = point->x;
    }
    if (point->y > box->sup.y) {
        box->sup.y = point->y;
    }
    if (point->z > box->sup.z) {
        box->sup.z = point->z;
    }
    return box;
}

BBox* BBoxCalculate(BBox* box, const V3d* points, int32_t count)
{
    BBoxInitialize(box, &points[0]);
    for (int32_t i = 1; i < count; ++i) {
        BBoxAddPoint(box, &points[i]);
    }
    return box;
}

int32_t BBoxContainsPoint(const BBox* box, const V3d* point)
{
    return point->x >= box->inf.x && point->x <= box->sup.x && point->y >= box->inf.y &&
                   point->y <= box->sup.y && point->z >= box->inf.z && point->z <= box->sup.z
               ? 1
               : 0;
}
