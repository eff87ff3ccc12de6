// Edge-data blocks (extension 0x902) as geometry and world streams carry
// them: a world chunk (0x0B) or a geometry chunk (0x0F) read on arbitrary
// bytes. Every block read back must fit its object's triangles.
#include <cstdlib>

#include "fuzz/physics_refpair/refpairengine.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/world.h"
#include "physics/refpair/refpair.h"

namespace {

void Check(const OlpRefPair* block, uint32_t triangles)
{
    if (block != nullptr && block->wordCount != OlpRefPairWordCount(triangles)) {
        std::abort();
    }
}

WorldSector* CheckSector(WorldSector* sector, void*)
{
    Check(OlpRefPairGetA(sector), sector->numTriangles);
    return sector;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = RefPairEngineStart();
    if (!started || size < 4) {
        return 0;
    }
    const uint32_t id =
        uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (stream != nullptr && id == kChunkWorld && StreamFindChunk(stream, kChunkWorld, nullptr, nullptr)) {
        if (World* world = WorldStreamRead(stream)) {
            WorldForAllSectors(world, CheckSector, nullptr);
            WorldDestroy(world);
        }
    } else if (stream != nullptr && StreamFindChunk(stream, kChunkGeometry, nullptr, nullptr)) {
        if (Geometry* geometry = GeometryStreamRead(stream)) {
            Check(OlpRefPairGetB(geometry), uint32_t(geometry->numTriangles));
            GeometryRelease(geometry);
        }
    }
    if (stream != nullptr) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
