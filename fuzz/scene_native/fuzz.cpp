// Native data chunks on arbitrary bytes, read into a native geometry with a
// two-material list and into a sector of a native world; a refused chunk
// must leave no entry and no device object behind.
#include <cstdlib>
#include <cstring>

#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/d3d9/renderer/nativedata.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/world.h"
#include "tools/scenebuild/nativeengine.h"

namespace {

template <typename Read> void OnStream(const uint8_t* data, size_t size, Read read)
{
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    if (Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory)) {
        read(stream);
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!NativeEngineStart()) {
        return 0;
    }
    static Material* materials[2] = {MaterialCreate(), MaterialCreate()};
    Geometry* geometry = GeometryCreate(4, 2, kGeometryNative | kGeometryNormals | kGeometryTextured);
    if (geometry) {
        MaterialListAppendMaterial(&geometry->materials, materials[0]);
        MaterialListAppendMaterial(&geometry->materials, materials[1]);
        OnStream(data, size, [&](Stream* stream) {
            if (!GeometryNativeStreamRead(stream, geometry) && geometry->instanced) {
                std::abort(); // a refused chunk leaves no entry
            }
        });
        GeometryRelease(geometry);
    }

    // A sector needs only its instanced-data slot; its world only the flags and materials.
    World world{};
    world.format = kGeometryNative;
    world.materials.materials = materials;
    world.materials.count = 2;
    WorldSector sector{};
    OnStream(data, size, [&](Stream* stream) {
        if (!WorldSectorNativeStreamRead(stream, &sector, &world) && sector.instanced) {
            std::abort();
        }
    });
    if (sector.instanced) {
        ResourcesFreeEntry(sector.instanced);
    }
    return 0;
}
