// Chunk 0x14: an atomic's struct {frame index, geometry index, flags, 0},
// its geometry (inline outside a clump's geometry list) and its extensions.
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/framelist.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/scenemodules.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/scenestream.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kAtomicStructSize = 16;

bool HasList(const GeometryList* geometries)
{
    return geometries && geometries->count > 0;
}

int32_t IndexOf(const GeometryList* geometries, const Geometry* geometry)
{
    for (int32_t i = 0; i < geometries->count; ++i) {
        if (geometries->geometries[i] == geometry) {
            return i;
        }
    }
    return -1;
}

Atomic* Fail(Atomic* atomic)
{
    SceneError(kErrorRead);
    if (atomic) {
        AtomicDestroy(atomic);
    }
    return nullptr;
}

} // namespace

uint32_t AtomicStreamGetSizeInClump(const Atomic* atomic, const GeometryList* geometries)
{
    uint32_t size = kChunkHeaderSize + kAtomicStructSize + kChunkHeaderSize +
                    uint32_t(PluginRegistryStreamSize(AtomicGetPluginRegistry(), atomic));
    if (!HasList(geometries) && atomic->geometry) {
        size += kChunkHeaderSize + GeometryStreamGetSize(atomic->geometry);
    }
    return size;
}

uint32_t AtomicStreamGetSize(const Atomic* atomic)
{
    return AtomicStreamGetSizeInClump(atomic, nullptr);
}

const Atomic* AtomicStreamWriteInClump(const Atomic* atomic, Stream* stream, const FrameList* frames,
                                       const GeometryList* geometries)
{
    int32_t frameIndex = 0;
    if (frames && !FrameListFindFrame(frames, AtomicGetFrame(atomic), &frameIndex)) {
        return nullptr;
    }
    int32_t geometryIndex = 0;
    if (HasList(geometries) && (geometryIndex = IndexOf(geometries, atomic->geometry)) < 0) {
        return nullptr;
    }
    if (!HasList(geometries) && !atomic->geometry) {
        return nullptr;
    }
    uint8_t bytes[kAtomicStructSize] = {};
    LittleEndianPutU32(bytes, uint32_t(frameIndex));
    LittleEndianPutU32(bytes + 4, uint32_t(geometryIndex));
    LittleEndianPutU32(bytes + 8, atomic->object.object.flags);
    if (!ChunkHeaderWriteCurrent(stream, kChunkAtomic, AtomicStreamGetSizeInClump(atomic, geometries)) ||
        !SceneWriteStruct(stream, bytes, kAtomicStructSize)) {
        return nullptr;
    }
    if (!HasList(geometries) && !GeometryStreamWrite(atomic->geometry, stream)) {
        return nullptr;
    }
    if (!PluginRegistryStreamWrite(AtomicGetPluginRegistry(), stream, atomic)) {
        return nullptr;
    }
    return atomic;
}

Atomic* AtomicStreamReadInClump(Stream* stream, const FrameList* frames, const GeometryList* geometries)
{
    uint8_t bytes[kAtomicStructSize];
    if (!SceneReadStruct(stream, bytes, kAtomicStructSize, nullptr)) {
        return Fail(nullptr);
    }
    const uint32_t frameIndex = LittleEndianGetU32(bytes);
    const uint32_t geometryIndex = LittleEndianGetU32(bytes + 4);
    const bool haveFrames = frames && frames->count > 0;
    // Indices must name entries of the lists they index.
    if ((haveFrames && frameIndex >= uint32_t(frames->count)) ||
        (HasList(geometries) && geometryIndex >= uint32_t(geometries->count))) {
        return Fail(nullptr);
    }
    Atomic* atomic = AtomicCreate();
    if (!atomic) {
        return nullptr;
    }
    atomic->object.object.flags = uint8_t(LittleEndianGetU32(bytes + 8));
    if (haveFrames) {
        AtomicSetFrame(atomic, frames->frames[frameIndex]);
    }
    if (HasList(geometries)) {
        AtomicSetGeometry(atomic, geometries->geometries[geometryIndex], 0);
    } else {
        Geometry* geometry =
            SceneFindChunk(stream, kChunkGeometry, nullptr, nullptr) ? GeometryStreamRead(stream) : nullptr;
        if (!geometry) {
            return Fail(atomic);
        }
        AtomicSetGeometry(atomic, geometry, 0);
        GeometryRelease(geometry);
    }
    PipelineSelectorClear(kSelectorAtomic);
    if (!PluginRegistryStreamRead(AtomicGetPluginRegistry(), stream, atomic)) {
        return Fail(atomic);
    }
    PipelineSelectorApply(kSelectorAtomic, atomic);
    return atomic;
}

Atomic* AtomicStreamRead(Stream* stream)
{
    return AtomicStreamReadInClump(stream, nullptr, nullptr);
}
