// Collision-tree extension payloads (chunk 0x2C or the old layout) read for
// a geometry or a world sector through the plug-in registry. Input: owner
// triangle count (u16), 0 for a geometry or 1 for a sector, then the payload.
#include <cstring>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "tools/scenebuild/scenecorpus.h"
#include "tools/scenebuild/sceneengine.h"

namespace {

void PutU32(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(uint8_t(value >> (8 * i)));
    }
}

// The payload as an extension chunk holding one sub-chunk of the plug-in.
std::vector<uint8_t> Wrap(const uint8_t* payload, size_t size)
{
    std::vector<uint8_t> bytes;
    const uint32_t stamp = ChunkStampEncode(0x37002, 0x16);
    PutU32(bytes, kChunkExtension);
    PutU32(bytes, uint32_t(size + 12));
    PutU32(bytes, stamp);
    PutU32(bytes, kPluginIdCollision);
    PutU32(bytes, uint32_t(size));
    PutU32(bytes, stamp);
    bytes.insert(bytes.end(), payload, payload + size);
    return bytes;
}

void ReadInto(PluginRegistry* registry, void* object, std::vector<uint8_t>& bytes)
{
    StreamMemory memory = {bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (stream) {
        PluginRegistryStreamRead(registry, stream, object);
        StreamClose(stream, nullptr);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = SceneEngineStart();
    if (!started || size < kCollisionFuzzPrefix) {
        return 0;
    }
    const int32_t triangles = int32_t(data[0] | data[1] << 8);
    std::vector<uint8_t> bytes = Wrap(data + kCollisionFuzzPrefix, size - kCollisionFuzzPrefix);
    if (data[2] == 0) {
        Geometry* geometry = GeometryCreate(3, triangles, 0);
        if (geometry) {
            ReadInto(GeometryGetPluginRegistry(), geometry, bytes);
            GeometryRelease(geometry);
        }
    } else {
        const size_t recordSize = size_t(WorldSectorGetPluginRegistry()->objectSize);
        auto* sector = static_cast<WorldSector*>(MemoryAllocateZeroed(1, recordSize, 0));
        if (sector) {
            sector->type = kSectorAtomic;
            sector->numTriangles = uint16_t(triangles);
            sector->storedBox = {{1, 1, 1}, {0, 0, 0}};
            if (PluginRegistryConstruct(WorldSectorGetPluginRegistry(), sector)) {
                ReadInto(WorldSectorGetPluginRegistry(), sector, bytes);
                PluginRegistryDestruct(WorldSectorGetPluginRegistry(), sector);
            }
            MemoryFree(sector);
        }
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
