#include "framework/collisiongeometry.h"

#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"

bool CollisionGeometryRebuild(CollisionGeometry* shape, const V3d* points, int32_t count,
                              const uint16_t* indices, int32_t triangles)
{
    if (!shape->material) {
        shape->material = MaterialCreate();
        if (!shape->material)
            return false;
        shape->material->colour = {255, 255, 255, 128};
    }
    if (shape->geometry) {
        GeometryRelease(shape->geometry);
        shape->geometry = nullptr;
    }
    Geometry* geometry = GeometryCreate(count, triangles, kGeometryPositions);
    if (!geometry)
        return false;
    MorphTarget& target = geometry->morphTargets[0];
    for (int32_t i = 0; i < count; ++i)
        target.vertices[i] = points[i];
    for (int32_t t = 0; t < triangles; ++t) {
        const uint16_t* v = indices + 3 * t;
        GeometryTriangleSetVertexIndices(geometry, &geometry->triangles[t], v[0], v[1], v[2]);
        GeometryTriangleSetMaterial(geometry, &geometry->triangles[t], shape->material);
    }
    MorphTargetCalcBoundingSphere(&target, &target.boundingSphere);
    if (!GeometryUnlock(geometry)) {
        GeometryRelease(geometry);
        return false;
    }
    shape->geometry = geometry;
    return true;
}

void CollisionGeometryRelease(CollisionGeometry* shape)
{
    if (shape->geometry)
        GeometryRelease(shape->geometry);
    if (shape->material)
        MaterialRelease(shape->material);
    shape->geometry = nullptr;
    shape->material = nullptr;
}

void CollisionVerticesSet(Im3DVertex* vertices, const V3d* points, int32_t count, uint32_t colour)
{
    for (int32_t i = 0; i < count; ++i) {
        vertices[i].x = points[i].x;
        vertices[i].y = points[i].y;
        vertices[i].z = points[i].z;
        vertices[i].colour = colour;
    }
}
