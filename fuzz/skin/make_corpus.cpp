// Writes the seed corpus of the skin fuzz target: the skinned bar and the
// split chain through the clump writer, and two forms no writer makes any
// more, built from bytes: an atomic carrying the older skin form, and a
// pre-instanced geometry with its platform skin chunk.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/skin/skinengine.h"
#include "graphics/core/chunk.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/plugin.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/clump.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneplugins.h"
#include "tools/charactergen/characterbuild.h"
#include "tools/common/toolfiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

bool Save(const std::string& path, const Bytes& bytes)
{
    return !bytes.empty() && ToolWriteFile(path, bytes.data(), bytes.size());
}

/// Adds a skin sub-chunk to an object chunk whose extension chunk (of
/// `extensionBytes` bytes with its header) comes last.
Bytes WithSkinSubChunk(Bytes object, size_t extensionBytes, const Bytes& body)
{
    const Bytes sub = StreamWrittenBytes([&](Stream* stream) {
        return ChunkHeaderWriteCurrent(stream, 0x116, uint32_t(body.size())) &&
               StreamWrite(stream, body.data(), body.size());
    });
    const size_t extension = object.size() - extensionBytes;
    LittleEndianPutU32(&object[4], LittleEndianGetU32(&object[4]) + uint32_t(sub.size()));
    LittleEndianPutU32(&object[extension + 4],
                       LittleEndianGetU32(&object[extension + 4]) + uint32_t(sub.size()));
    object.insert(object.end(), sub.begin(), sub.end());
    return object;
}

Bytes ClumpBytes(Clump* clump)
{
    Bytes bytes =
        StreamWrittenBytes([&](Stream* stream) { return clump && ClumpStreamWrite(clump, stream); });
    if (clump) {
        ClumpDestroy(clump);
    }
    return bytes;
}

/// Two vertices, two bones: u32 bones, 4 skipped bytes, the indices and
/// weights, then per bone 12 skipped bytes and 16 floats.
Bytes OlderAtomic()
{
    Geometry* geometry = GeometryCreate(2, 0, kGeometryPositions);
    Atomic* atomic = AtomicCreate();
    AtomicSetGeometry(atomic, geometry, 0);
    GeometryRelease(geometry);
    const Bytes plain = StreamWrittenBytes(
        [&](Stream* stream) { return AtomicStreamWriteInClump(atomic, stream, nullptr, nullptr); });
    const Bytes extension = StreamWrittenBytes(
        [&](Stream* stream) { return PluginRegistryStreamWrite(AtomicGetPluginRegistry(), stream, atomic); });
    AtomicDestroy(atomic);
    const float weights[8] = {0.75f, 0.25f, 0, 0, 1, 0, 0, 0};
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const uint8_t skipped[12] = {};
    const Bytes body = StreamWrittenBytes([&](Stream* stream) {
        bool ok = StreamWriteUInt32(stream, 2) && StreamWriteUInt32(stream, 0) &&
                  StreamWriteUInt32(stream, 0x0100) && StreamWriteUInt32(stream, 0x0001) &&
                  StreamWriteReal(stream, weights, sizeof(weights));
        for (int b = 0; b < 2 && ok; ++b) {
            ok = StreamWrite(stream, skipped, sizeof(skipped)) &&
                 StreamWriteReal(stream, identity, sizeof(identity));
        }
        return ok;
    });
    return WithSkinSubChunk(plain, extension.size(), body);
}

/// A pre-instanced geometry whose skin chunk holds platform 9 and 12 bones.
Bytes PreInstanced()
{
    Geometry* geometry = GeometryCreate(4, 0, kGeometryPositions | kGeometryNative);
    const Bytes plain =
        StreamWrittenBytes([&](Stream* stream) { return GeometryStreamWrite(geometry, stream) != nullptr; });
    const Bytes extension = StreamWrittenBytes([&](Stream* stream) {
        return PluginRegistryStreamWrite(GeometryGetPluginRegistry(), stream, geometry);
    });
    GeometryRelease(geometry);
    const Bytes body = StreamWrittenBytes([](Stream* stream) {
        return ChunkHeaderWriteCurrent(stream, kChunkStruct, 8) && StreamWriteUInt32(stream, 9) &&
               StreamWriteUInt32(stream, 12);
    });
    return WithSkinSubChunk(plain, extension.size(), body);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || !SkinEngineStart()) {
        std::fprintf(stderr, "usage: fuzz_skin_make_corpus DIR\n");
        return 1;
    }
    const std::string dir = argv[1];
    const bool ok = Save(dir + "/bar.bin", ClumpBytes(CharacterBuildBar())) &&
                    Save(dir + "/chain.bin", ClumpBytes(CharacterBuildChain())) &&
                    Save(dir + "/older-atomic.bin", OlderAtomic()) &&
                    Save(dir + "/preinstanced.bin", PreInstanced());
    return ok ? 0 : 1;
}
