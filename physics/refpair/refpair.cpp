// The 0x902 extension: registration, the blocks and their streams.
#include "physics/refpair/refpair.h"

#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"
#include "physics/core/utils/memory.h"

namespace {

OlpRefPair*& Slot(void* object, int32_t offset)
{
    return *reinterpret_cast<OlpRefPair**>(static_cast<uint8_t*>(object) + offset);
}

void Free(OlpRefPair* block)
{
    if (block != nullptr) {
        OlpAlignedFree(block);
    }
}

OlpRefPair* Allocate(uint32_t triangles)
{
    const uint32_t count = OlpRefPairWordCount(triangles);
    auto* block = static_cast<OlpRefPair*>(
        OlpAlignedAlloc(sizeof(OlpRefPair) + size_t(count) * sizeof(uint32_t), 16, kOlpMemoryHint));
    if (block == nullptr) {
        return nullptr;
    }
    block->words = reinterpret_cast<uint32_t*>(block + 1);
    block->byteSize = 4 * count + 8;
    block->wordCount = count;
    return block;
}

void* Construct(void* object, int32_t offset, int32_t)
{
    Slot(object, offset) = nullptr;
    return object;
}

// The block belongs to its object: it goes with it, and a copy starts without one.
void* Destruct(void* object, int32_t offset, int32_t)
{
    Free(Slot(object, offset));
    Slot(object, offset) = nullptr;
    return object;
}

void* Copy(void* destination, const void*, int32_t offset, int32_t)
{
    Slot(destination, offset) = nullptr;
    return destination;
}

int32_t GetSize(const void* object, int32_t offset, int32_t)
{
    const OlpRefPair* block = Slot(const_cast<void*>(object), offset);
    return block != nullptr ? int32_t(block->byteSize) : 0;
}

// Stored as a u32 placeholder (where the block's word pointer sits in
// memory; written 0 and ignored on reading), the byte size and the words.
Stream* Write(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const OlpRefPair* block = Slot(const_cast<void*>(object), offset);
    if (block == nullptr || StreamWriteUInt32(stream, 0) == nullptr ||
        StreamWriteUInt32(stream, block->byteSize) == nullptr) {
        return nullptr;
    }
    return StreamWriteInt32(stream, reinterpret_cast<const int32_t*>(block->words),
                            size_t(block->wordCount) * sizeof(uint32_t));
}

Stream* Read(Stream* stream, int32_t length, void* object, int32_t offset, uint32_t triangles)
{
    Free(Slot(object, offset));
    Slot(object, offset) = nullptr;
    const uint32_t count = OlpRefPairWordCount(triangles);
    uint32_t placeholder = 0;
    uint32_t size = 0;
    if (length < 8 || !StreamReadUInt32(stream, &placeholder) || !StreamReadUInt32(stream, &size)) {
        return nullptr;
    }
    // The size must be what the object's triangles need, and what the chunk holds.
    if (size != uint32_t(length) || size != 4 * count + 8) {
        ErrorRaise(kOlpRefPairPluginId, kOlpRefPairErrorSize);
        return nullptr;
    }
    OlpRefPair* block = Allocate(triangles);
    if (block == nullptr) {
        return nullptr;
    }
    if (StreamReadInt32(stream, reinterpret_cast<int32_t*>(block->words), size_t(count) * sizeof(uint32_t)) ==
        nullptr) {
        Free(block);
        return nullptr;
    }
    Slot(object, offset) = block;
    return stream;
}

Stream* ReadSector(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    return Read(stream, length, object, offset, static_cast<WorldSector*>(object)->numTriangles);
}

Stream* ReadGeometry(Stream* stream, int32_t length, void* object, int32_t offset, int32_t)
{
    const int32_t triangles = static_cast<Geometry*>(object)->numTriangles;
    return Read(stream, length, object, offset, triangles > 0 ? uint32_t(triangles) : 0);
}

OlpRefPair* Create(void* object, int32_t offset, uint32_t triangles)
{
    if (offset < 0) {
        return nullptr;
    }
    OlpRefPair* block = Allocate(triangles);
    if (block == nullptr) {
        return nullptr;
    }
    std::memset(block->words, 0xFF, size_t(block->wordCount) * sizeof(uint32_t));
    Free(Slot(object, offset));
    Slot(object, offset) = block;
    return block;
}

} // namespace

uint32_t OlpRefPairWordCount(uint32_t triangles)
{
    return (triangles >> 3) + 1;
}

int32_t OlpRefPairRegister()
{
    if (OlpRefPairRegistered()) {
        return 0;
    }
    if (WorldSectorRegisterPlugin(sizeof(OlpRefPair*), kOlpRefPairPluginId, Construct, Destruct, Copy) < 0) {
        return 0;
    }
    return WorldSectorRegisterPluginStream(kOlpRefPairPluginId, ReadSector, Write, GetSize) >= 0 ? 1 : 0;
}

int32_t OlpRefPairRegisterGeometry()
{
    if (OlpRefPairGeometryRegistered()) {
        return 0;
    }
    if (GeometryRegisterPlugin(sizeof(OlpRefPair*), kOlpRefPairPluginId, Construct, Destruct, Copy) < 0) {
        return 0;
    }
    return GeometryRegisterPluginStream(kOlpRefPairPluginId, ReadGeometry, Write, GetSize) >= 0 ? 1 : 0;
}

bool OlpRefPairRegistered()
{
    return WorldSectorGetPluginOffset(kOlpRefPairPluginId) >= 0;
}

bool OlpRefPairGeometryRegistered()
{
    return GeometryGetPluginOffset(kOlpRefPairPluginId) >= 0;
}

OlpRefPair* OlpRefPairGetA(const WorldSector* sector)
{
    const int32_t offset = WorldSectorGetPluginOffset(kOlpRefPairPluginId);
    return offset >= 0 ? Slot(const_cast<WorldSector*>(sector), offset) : nullptr;
}

OlpRefPair* OlpRefPairGetB(const Geometry* geometry)
{
    const int32_t offset = GeometryGetPluginOffset(kOlpRefPairPluginId);
    return offset >= 0 ? Slot(const_cast<Geometry*>(geometry), offset) : nullptr;
}

OlpRefPair* OlpRefPairCreateSector(WorldSector* sector)
{
    return Create(sector, WorldSectorGetPluginOffset(kOlpRefPairPluginId), sector->numTriangles);
}

OlpRefPair* OlpRefPairCreateGeometry(Geometry* geometry)
{
    return Create(geometry, GeometryGetPluginOffset(kOlpRefPairPluginId),
                  geometry->numTriangles > 0 ? uint32_t(geometry->numTriangles) : 0);
}
