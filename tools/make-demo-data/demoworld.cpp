#include "tools/make-demo-data/demoworld.h"

#include <cstdint>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/core/streambytes.h"
#include "graphics/core/texture.h"
#include "graphics/scene/world.h"
#include "graphics/toolkit2d/imagetexdict.h"
#include "physics/refpair/refpair.h"
#include "tools/common/toolfiles.h"
#include "tools/scenebuild/nameonlytexture.h"

namespace {

constexpr uint32_t kChunkHeaderSize = 12;
constexpr uint32_t kChunkWorld = 0x0B;

uint32_t ReadU32(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

// True when the bytes are exactly one chunk of that type (header and body).
bool IsOneChunk(const std::vector<uint8_t>& bytes, uint32_t type)
{
    return bytes.size() >= kChunkHeaderSize && ReadU32(bytes, 0) == type &&
           uint64_t(ReadU32(bytes, 4)) == uint64_t(bytes.size() - kChunkHeaderSize);
}

// The object the chunk holds, read by `read`; null when it does not read.
template <typename T> T* ReadChunk(std::vector<uint8_t>& bytes, uint32_t type, T* (*read)(Stream*))
{
    StreamMemory memory{bytes.data(), bytes.size()};
    Stream* stream = StreamOpen(kStreamMemory, kStreamRead, &memory);
    if (!stream)
        return nullptr;
    T* object = StreamFindChunk(stream, type, nullptr, nullptr) ? read(stream) : nullptr;
    StreamClose(stream, nullptr);
    return object;
}

// The world with its edge data computed, as a world chunk; empty on failure.
std::vector<uint8_t> WorldWithEdgeData(World* world)
{
    std::vector<uint8_t> bytes;
    if (!OlpRefPairPrepareWorld(world))
        return bytes;
    return StreamWrittenBytes([&](Stream* s) { return WorldStreamWrite(world, s) != nullptr; });
}

std::string EngineError()
{
    ErrorRecord error;
    ErrorGet(&error);
    return "error " + std::to_string(error.pluginId) + ":" + std::to_string(error.code);
}

} // namespace

bool DemoWorldAttach()
{
    return OlpRefPairRegister() == 1;
}

bool DemoWorldWrite(const std::string& textures, const std::string& world, const std::string& out,
                    std::string& error)
{
    std::vector<uint8_t> dictionaryBytes;
    std::vector<uint8_t> worldBytes;
    if (!ToolReadFile(textures, &dictionaryBytes) || !IsOneChunk(dictionaryBytes, kChunkImageTexDictionary)) {
        error = textures + ": not one texture dictionary chunk";
        return false;
    }
    if (!ToolReadFile(world, &worldBytes) || !IsOneChunk(worldBytes, kChunkWorld)) {
        error = world + ": not one world chunk";
        return false;
    }
    // Its materials keep their textures' names: the images are in the dictionary.
    const TextureReadCallback previous = TextureGetReadCallback();
    TextureSetReadCallback(SceneNameOnlyTexture);
    World* read = ReadChunk(worldBytes, kChunkWorld, WorldStreamRead);
    TextureSetReadCallback(previous);
    std::vector<uint8_t> withEdges;
    if (read) {
        withEdges = WorldWithEdgeData(read);
        WorldDestroy(read);
    }
    if (withEdges.empty()) {
        error = world + (read ? ": the edge data cannot be computed" : ": the world does not read") + " (" +
                EngineError() + ")";
        return false;
    }
    dictionaryBytes.insert(dictionaryBytes.end(), withEdges.begin(), withEdges.end());
    if (!ToolWriteFile(out, dictionaryBytes.data(), dictionaryBytes.size())) {
        error = out + ": cannot write";
        return false;
    }
    return true;
}
