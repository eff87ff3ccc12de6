// The mesh payload (extension 0x50E): MeshStreamRead on arbitrary bytes,
// after a 4-byte prefix that gives the owner's vertex count, the size of
// its material list and whether it is native. Every index read must lie
// below the vertex count and every mesh's material in the list.
#include <cstdlib>

#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/mesh.h"
#include "tools/scenebuild/scenecorpus.h"
#include "tools/scenebuild/sceneengine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = SceneEngineStart();
    if (!started || size < kMeshFuzzPrefix) {
        return 0;
    }
    Geometry owner{};
    owner.object.type = kObjectTypeGeometry;
    owner.numVertices = data[0] | data[1] << 8;
    owner.format = data[3] & 1 ? kGeometryNative : 0;
    MaterialList list{};
    for (int i = 0; i < (data[2] & 7); ++i) {
        Material* material = MaterialCreate();
        MaterialListAppendMaterial(&list, material);
        MaterialRelease(material);
    }
    StreamMemory memory = {const_cast<uint8_t*>(data + kMeshFuzzPrefix), size - kMeshFuzzPrefix};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (MeshHeader* header = stream ? MeshStreamRead(stream, &owner, &list, owner.numVertices) : nullptr) {
        const Mesh* meshes = MeshHeaderGetMeshes(header);
        for (uint32_t m = 0; m < header->numMeshes; ++m) {
            if (meshes[m].material && MaterialListFindMaterial(&list, meshes[m].material) < 0) {
                std::abort();
            }
            for (uint32_t i = 0; meshes[m].indices && i < meshes[m].numIndices; ++i) {
                if (meshes[m].indices[i] >= owner.numVertices) {
                    std::abort();
                }
            }
        }
        MeshHeaderDestroy(header);
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    MaterialListDeinitialize(&list);
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
