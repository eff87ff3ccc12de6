// Regrouping a geometry's vertices by material.
#include <algorithm>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"

int VertexRefCompare(const VertexRef* a, const VertexRef* b)
{
    if (a->material != b->material) {
        return a->material < b->material ? -1 : 1;
    }
    if (a->vertex != b->vertex) {
        return a->vertex < b->vertex ? -1 : 1;
    }
    return 0;
}

Geometry* GeometrySortVerticesByMaterial(Geometry* source, GeometrySortByMaterialCallBack callBack)
{
    if (source->format & kGeometryNative) {
        SceneError(kErrorBadArgument);
        return nullptr;
    }
    const uint32_t corners = 3 * uint32_t(source->numTriangles);
    auto* refs = static_cast<VertexRef*>(
        MemoryAllocate(sizeof(VertexRef) * (corners ? corners : 1), kHintMeshBuildScratch));
    auto* newToOld = static_cast<uint16_t*>(
        MemoryAllocate(sizeof(uint16_t) * (corners ? corners : 1), kHintMeshBuildScratch));
    if (!refs || !newToOld) {
        SceneError(ErrorCode(kErrorOutOfMemory, sizeof(VertexRef) * corners));
        MemoryFree(refs);
        MemoryFree(newToOld);
        return nullptr;
    }
    for (uint32_t t = 0; t < uint32_t(source->numTriangles); ++t) {
        for (uint32_t c = 0; c < 3; ++c) {
            const GeometryTriangle& triangle = source->triangles[t];
            refs[3 * t + c] = {c << 30 | t, int16_t(triangle.material), triangle.vertex[c]};
        }
    }
    std::sort(refs, refs + corners,
              [](const VertexRef& a, const VertexRef& b) { return VertexRefCompare(&a, &b) < 0; });
    int32_t distinct = 0;
    for (uint32_t i = 0; i < corners; ++i) {
        distinct += i == 0 || VertexRefCompare(&refs[i - 1], &refs[i]) != 0;
    }
    Geometry* sorted = GeometryCreate(distinct, source->numTriangles,
                                      source->format | uint32_t(source->numTexCoordSets) << 16);
    bool ok = sorted != nullptr;
    if (ok) {
        GeometryLock(sorted, kGeometryLockAll);
        ok =
            source->numMorphTargets <= 1 || GeometryAddMorphTargets(sorted, source->numMorphTargets - 1) >= 0;
    }
    if (ok) {
        int32_t next = -1;
        for (uint32_t i = 0; i < corners; ++i) {
            if (i == 0 || VertexRefCompare(&refs[i - 1], &refs[i]) != 0) {
                newToOld[++next] = refs[i].vertex;
            }
            const uint32_t t = refs[i].key & 0x3FFFFFFF;
            const uint32_t c = refs[i].key >> 30;
            sorted->triangles[t].vertex[c] = uint16_t(next);
            sorted->triangles[t].material = source->triangles[t].material;
        }
        for (int32_t m = 0; m < source->numMorphTargets; ++m) {
            const MorphTarget& from = source->morphTargets[m];
            MorphTarget& to = sorted->morphTargets[m];
            for (int32_t v = 0; v < distinct; ++v) {
                to.vertices[v] = from.vertices[newToOld[v]];
                if (to.normals && from.normals) {
                    to.normals[v] = from.normals[newToOld[v]];
                }
            }
            MorphTargetCalcBoundingSphere(&to, &to.boundingSphere);
        }
        for (int32_t v = 0; v < distinct; ++v) {
            if (sorted->preLitColours) {
                sorted->preLitColours[v] = source->preLitColours[newToOld[v]];
            }
            for (int32_t s = 0; s < sorted->numTexCoordSets; ++s) {
                sorted->texCoords[s][v] = source->texCoords[s][newToOld[v]];
            }
        }
        ok = MaterialListCopy(&sorted->materials, &source->materials) != nullptr;
    }
    if (ok) {
        // The plug-ins copy their own data: raw bytes would duplicate what they own.
        PluginRegistryCopy(GeometryGetPluginRegistry(), sorted, source);
        if (callBack) {
            callBack(source, sorted, newToOld, uint16_t(distinct));
        }
        ok = GeometryUnlock(sorted) != nullptr;
    }
    MemoryFree(refs);
    MemoryFree(newToOld);
    if (!ok && sorted) {
        GeometryRelease(sorted);
        return nullptr;
    }
    return sorted;
}
