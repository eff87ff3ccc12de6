// Skinned model data on arbitrary bytes: the first chunk decides whether a
// clump, an atomic (with the older skin form) or a geometry (plain or
// pre-instanced skins) is read. Whatever is read is written back and freed.
#include <functional>

#include "fuzz/skin/skinengine.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneids.h"

namespace {

void WriteBack(const std::function<bool(Stream*)>& write)
{
    if (Stream* out = StreamOpen(kStreamMemory, kStreamWrite, nullptr)) {
        write(out);
        StreamClose(out, nullptr);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!SkinEngineStart()) {
        return 0;
    }
    StreamMemory memory = {const_cast<uint8_t*>(data), size};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    uint32_t type = 0;
    if (stream && ChunkHeaderRead(stream, &type, nullptr, nullptr, nullptr)) {
        if (type == kChunkClump) {
            if (Clump* clump = ClumpStreamRead(stream)) {
                WriteBack([&](Stream* out) { return ClumpStreamWrite(clump, out) != nullptr; });
                ClumpDestroy(clump);
            }
        } else if (type == kChunkAtomic) {
            if (Atomic* atomic = AtomicStreamRead(stream)) {
                AtomicDestroy(atomic);
            }
        } else if (type == kChunkGeometry) {
            if (Geometry* geometry = GeometryStreamRead(stream)) {
                WriteBack([&](Stream* out) { return GeometryStreamWrite(geometry, out) != nullptr; });
                GeometryRelease(geometry);
            }
        }
    }
    if (stream) {
        StreamClose(stream, nullptr);
    }
    ErrorRecord error;
    ErrorGet(&error);
    return 0;
}
