// Geometry chunks (0x0F): GeometryStreamRead on arbitrary bytes. A geometry
// read back must be one the mesh builder could draw: every vertex index
// below the vertex count. A native geometry keeps no indices of its own (its
// meshes hold only counts; the native data draws it).
#include <cstdlib>

#include "fuzz/scene_chunk.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return SceneChunkFuzz(data, size, kChunkGeometry, [](Stream* stream) {
        if (Geometry* geometry = GeometryStreamRead(stream)) {
            const MeshHeader* header = geometry->mesh;
            const Mesh* meshes = MeshHeaderGetMeshes(header);
            const bool native = geometry->format & kGeometryNative;
            for (uint32_t m = 0; m < header->numMeshes && !native; ++m) {
                for (uint32_t i = 0; i < meshes[m].numIndices; ++i) {
                    if (meshes[m].indices[i] >= geometry->numVertices) {
                        std::abort();
                    }
                }
            }
            GeometryRelease(geometry);
        }
    });
}
