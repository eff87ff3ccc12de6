// Collision data: the plug-in's registrations, the record, chunk 0x2C and
// the old layout, the checks a read tree must pass, and the accessors.
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/collision.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/world.h"

namespace {

constexpr uint32_t kHintCollision = 0x3002C;
constexpr uint32_t kHeaderSize = 36;
constexpr uint32_t kVersionNewLayout = 0x36001;
constexpr uint32_t kOldLeafLimit = 239;

// The plug-in's offsets, looked up in the registries so that an engine
// started without the plug-in sees none.
int32_t GeometryOffset()
{
    return GeometryGetPluginOffset(kPluginIdCollision);
}

int32_t SectorOffset()
{
    return WorldSectorGetPluginOffset(kPluginIdCollision);
}

CollisionData*& DataOf(const void* object, int32_t offset)
{
    return *reinterpret_cast<CollisionData**>(const_cast<char*>(static_cast<const char*>(object)) + offset);
}

// The owner's triangle count and whether it is a geometry.
int32_t OwnerTriangles(const void* object)
{
    const auto* header = static_cast<const ObjectHeader*>(object);
    if (header->type == kObjectTypeGeometry) {
        return static_cast<const Geometry*>(object)->numTriangles;
    }
    return static_cast<const WorldSector*>(object)->numTriangles;
}

size_t BlockSize(int32_t triangles, int32_t nodes, uint32_t flags)
{
    size_t size = sizeof(CollisionData);
    if (nodes > 0) {
        size += 15 + sizeof(CollisionTreeNode) * size_t(nodes);
    }
    if (flags & kCollisionDataRemap) {
        size += 1 + sizeof(uint16_t) * size_t(triangles);
    }
    return size;
}

void* AtomicStampConstruct(void* object, int32_t offset, int32_t)
{
    *reinterpret_cast<uint32_t*>(static_cast<char*>(object) + offset) = 0;
    return object;
}

void* DataConstruct(void* object, int32_t offset, int32_t)
{
    DataOf(object, offset) = nullptr;
    return object;
}

void* DataDestruct(void* object, int32_t offset, int32_t)
{
    CollisionData*& data = DataOf(object, offset);
    if (data) {
        CollisionDataDestroy(data);
        data = nullptr;
    }
    return object;
}

int32_t ExtSize(const void* object, int32_t offset, int32_t)
{
    const CollisionData* data = DataOf(object, offset);
    return data ? int32_t(CollisionDataStreamGetSize(data) + 16) : 0;
}

Stream* ExtWrite(Stream* stream, int32_t, const void* object, int32_t offset, int32_t)
{
    const CollisionData* data = DataOf(object, offset);
    const int32_t version = int32_t(EngineGetVersion());
    if (!StreamWriteInt32(stream, &version, 4) ||
        !ChunkHeaderWrite(stream, kChunkCollisionData, CollisionDataStreamGetSize(data), kEngineVersion,
                          kEngineBuild) ||
        !CollisionDataStreamWrite(data, stream)) {
        return nullptr;
    }
    return stream;
}

// The box an old-layout tree covers: a geometry's first target's sphere
// box, a sector's stored box.
BBox OldLayoutBox(const void* object)
{
    const auto* header = static_cast<const ObjectHeader*>(object);
    if (header->type == kObjectTypeGeometry) {
        const Sphere& sphere = static_cast<const Geometry*>(object)->morphTargets[0].boundingSphere;
        const V3d& c = sphere.centre;
        const float r = sphere.radius;
        return {{c.x + r, c.y + r, c.z + r}, {c.x - r, c.y - r, c.z - r}};
    }
    return static_cast<const WorldSector*>(object)->storedBox;
}

Stream* ExtRead(Stream* stream, int32_t, void* object, int32_t offset, int32_t)
{
    int32_t version = 0;
    if (!StreamReadInt32(stream, &version, 4)) {
        return nullptr;
    }
    CollisionData*& slot = DataOf(object, offset);
    if (slot) {
        CollisionDataDestroy(slot);
        slot = nullptr;
    }
    const int32_t owner = OwnerTriangles(object);
    if (uint32_t(version) >= kVersionNewLayout) {
        if (!StreamFindChunk(stream, kChunkCollisionData, nullptr, nullptr)) {
            return nullptr;
        }
        slot = CollisionDataStreamRead(stream, owner);
        return slot ? stream : nullptr;
    }
    // The old layout: the word read is the node count + 1, then the triangle count.
    int32_t triangles = 0;
    if (version <= 0 || !StreamReadInt32(stream, &triangles, 4)) {
        ErrorRaise(kPluginIdCollision, kErrorRead);
        return nullptr;
    }
    const BBox box = OldLayoutBox(object);
    bool discarded = false;
    slot = CollisionDataStreamReadOld(stream, triangles, version - 1, &box, owner, &discarded);
    return slot || discarded ? stream : nullptr;
}

} // namespace

int32_t CollisionPluginAttach()
{
    const int32_t engine =
        EngineAttachPlugin(4, kPluginIdCollision, CollisionPluginOpen, CollisionPluginClose);
    const int32_t atomic =
        AtomicRegisterPlugin(4, kPluginIdCollision, AtomicStampConstruct, nullptr, nullptr);
    const int32_t sector = WorldSectorRegisterPlugin(int32_t(sizeof(CollisionData*)), kPluginIdCollision,
                                                     DataConstruct, DataDestruct, nullptr);
    const bool sectorStream =
        sector >= 0 && WorldSectorRegisterPluginStream(kPluginIdCollision, ExtRead, ExtWrite, ExtSize) >= 0;
    const int32_t geometry = GeometryRegisterPlugin(int32_t(sizeof(CollisionData*)), kPluginIdCollision,
                                                    DataConstruct, DataDestruct, nullptr);
    const bool geometryStream =
        geometry >= 0 && GeometryRegisterPluginStream(kPluginIdCollision, ExtRead, ExtWrite, ExtSize) >= 0;
    return engine >= 0 && atomic >= 0 && sectorStream && geometryStream ? 1 : 0;
}

void* CollisionPluginOpen(void* instance, int32_t offset, int32_t)
{
    *reinterpret_cast<uint32_t*>(static_cast<char*>(instance) + offset) = 0;
    return instance;
}

void* CollisionPluginClose(void* instance, int32_t, int32_t)
{
    return instance;
}

uint32_t* CollisionQueryCounter()
{
    return static_cast<uint32_t*>(EngineGetModuleData(EngineGetPluginOffset(kPluginIdCollision)));
}

uint32_t* AtomicCollisionStamp(const Atomic* atomic)
{
    const int32_t offset = AtomicGetPluginOffset(kPluginIdCollision);
    return reinterpret_cast<uint32_t*>(const_cast<char*>(reinterpret_cast<const char*>(atomic)) + offset);
}

CollisionData* CollisionDataCreate(int32_t numTriangles, int32_t numNodes, const BBox* boundingBox,
                                   uint32_t flags)
{
    const size_t size = BlockSize(numTriangles, numNodes, flags);
    auto* block = static_cast<char*>(MemoryAllocate(size, kHintCollision));
    if (!block) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, uint32_t(size)));
        return nullptr;
    }
    auto* data = reinterpret_cast<CollisionData*>(block);
    data->flags = flags;
    data->boundingBox = *boundingBox;
    data->numTriangles = uint16_t(numTriangles);
    data->numNodes = uint16_t(numNodes);
    uintptr_t next = reinterpret_cast<uintptr_t>(block + sizeof(CollisionData));
    data->nodes = nullptr;
    if (numNodes > 0) {
        next = (next + 15) & ~uintptr_t(15);
        data->nodes = reinterpret_cast<CollisionTreeNode*>(next);
        next += sizeof(CollisionTreeNode) * size_t(numNodes);
    }
    data->remap = nullptr;
    if (flags & kCollisionDataRemap) {
        next = (next + 1) & ~uintptr_t(1);
        data->remap = reinterpret_cast<uint16_t*>(next);
    }
    return data;
}

void CollisionDataDestroy(CollisionData* data)
{
    MemoryFree(data);
}

uint32_t CollisionDataStreamGetSize(const CollisionData* data)
{
    uint32_t size = (uint32_t(data->numNodes) + 3) * 16;
    if (data->flags & kCollisionDataRemap) {
        size += 2 * uint32_t(data->numTriangles);
    }
    return size;
}

const CollisionData* CollisionDataStreamWrite(const CollisionData* data, Stream* stream)
{
    uint8_t header[kHeaderSize];
    const BBox& box = data->boundingBox;
    const float corners[6] = {box.inf.x, box.inf.y, box.inf.z, box.sup.x, box.sup.y, box.sup.z};
    LittleEndianPutU32(header, data->flags);
    for (int i = 0; i < 6; ++i) {
        LittleEndianPutFloat(header + 4 + 4 * i, corners[i]);
    }
    LittleEndianPutU32(header + 28, data->numTriangles);
    LittleEndianPutU32(header + 32, data->numNodes);
    if (!ChunkHeaderWrite(stream, kChunkStruct, CollisionDataStreamGetSize(data) - kChunkHeaderSize,
                          kEngineVersion, kEngineBuild) ||
        !StreamWrite(stream, header, kHeaderSize)) {
        return nullptr;
    }
    for (uint32_t n = 0; n < data->numNodes; ++n) {
        const CollisionTreeNode& node = data->nodes[n];
        uint8_t bytes[16];
        const CollisionTreeRef refs[2] = {node.left, node.right};
        const float values[2] = {node.leftValue, node.rightValue};
        for (int side = 0; side < 2; ++side) {
            bytes[8 * side] = refs[side].axis;
            bytes[8 * side + 1] = refs[side].count;
            bytes[8 * side + 2] = uint8_t(refs[side].index);
            bytes[8 * side + 3] = uint8_t(refs[side].index >> 8);
            LittleEndianPutFloat(bytes + 8 * side + 4, values[side]);
        }
        if (!StreamWrite(stream, bytes, sizeof(bytes))) {
            return nullptr;
        }
    }
    if ((data->flags & kCollisionDataRemap) && data->numTriangles > 0 &&
        !StreamWriteInt16(stream, reinterpret_cast<const int16_t*>(data->remap),
                          2 * size_t(data->numTriangles))) {
        return nullptr;
    }
    return data;
}

CollisionData* CollisionDataStreamRead(Stream* stream, int32_t ownerTriangles)
{
    uint32_t structSize = 0;
    if (!StreamFindChunk(stream, kChunkStruct, &structSize, nullptr)) {
        return nullptr;
    }
    uint8_t header[kHeaderSize];
    if (structSize < kHeaderSize || StreamRead(stream, header, kHeaderSize) != kHeaderSize) {
        ErrorRaise(kPluginIdCollision, kErrorRead);
        return nullptr;
    }
    const uint32_t flags = LittleEndianGetU32(header);
    BBox box;
    box.inf = {LittleEndianGetFloat(header + 4), LittleEndianGetFloat(header + 8),
               LittleEndianGetFloat(header + 12)};
    box.sup = {LittleEndianGetFloat(header + 16), LittleEndianGetFloat(header + 20),
               LittleEndianGetFloat(header + 24)};
    const uint32_t triangles = LittleEndianGetU32(header + 28);
    const uint32_t nodes = LittleEndianGetU32(header + 32);
    // Counts are 16-bit in memory and must fit what the chunk holds.
    const uint64_t body = 16ull * nodes + ((flags & kCollisionDataRemap) ? 2ull * triangles : 0ull);
    if (triangles > 0xFFFF || nodes > 0xFFFF || body > structSize - kHeaderSize) {
        ErrorRaise(kPluginIdCollision, kErrorRead);
        return nullptr;
    }
    CollisionData* data =
        CollisionDataCreate(int32_t(triangles), int32_t(nodes), &box, flags & kCollisionDataRemap);
    if (!data) {
        return nullptr;
    }
    bool ok = true;
    for (uint32_t n = 0; ok && n < nodes; ++n) {
        uint8_t bytes[16];
        ok = StreamRead(stream, bytes, sizeof(bytes)) == sizeof(bytes);
        CollisionTreeNode& node = data->nodes[n];
        node.left = {bytes[0], bytes[1], uint16_t(bytes[2] | bytes[3] << 8)};
        node.leftValue = LittleEndianGetFloat(bytes + 4);
        node.right = {bytes[8], bytes[9], uint16_t(bytes[10] | bytes[11] << 8)};
        node.rightValue = LittleEndianGetFloat(bytes + 12);
    }
    if (ok && (flags & kCollisionDataRemap) && triangles > 0) {
        ok = StreamReadInt16(stream, reinterpret_cast<int16_t*>(data->remap), 2 * size_t(triangles)) !=
             nullptr;
    }
    const uint64_t rest = structSize - kHeaderSize - body;
    ok = ok && (rest == 0 || StreamSkip(stream, rest));
    if (!ok || !CollisionDataValidate(data, ownerTriangles)) {
        ErrorRaise(kPluginIdCollision, kErrorRead);
        CollisionDataDestroy(data);
        return nullptr;
    }
    return data;
}

CollisionData* CollisionDataStreamReadOld(Stream* stream, int32_t numTriangles, int32_t numNodes,
                                          const BBox* box, int32_t ownerTriangles, bool* discarded)
{
    *discarded = false;
    if (numTriangles < 0 || numTriangles > 0xFFFF || numNodes < 0 || numNodes > 0xFFFF) {
        ErrorRaise(kPluginIdCollision, kErrorRead);
        return nullptr;
    }
    const int64_t remaining = StreamGetRemaining(stream);
    if (remaining >= 0 && uint64_t(numNodes) * 16 + uint64_t(numTriangles) * 4 > uint64_t(remaining)) {
        ErrorRaise(kPluginIdCollision, kErrorRead);
        return nullptr;
    }
    CollisionData* data = CollisionDataCreate(numTriangles, numNodes, box, kCollisionDataRemap);
    if (!data) {
        return nullptr;
    }
    auto fail = [&](bool leafTooLarge) -> CollisionData* {
        CollisionDataDestroy(data);
        ErrorRaise(kPluginIdCollision, leafTooLarge ? kErrorCollisionLeafTooLarge : kErrorRead);
        *discarded = leafTooLarge;
        return nullptr;
    };
    if (numNodes == 0) {
        if (!StreamSkip(stream, 4)) {
            return fail(false);
        }
    }
    for (int32_t n = 0; n < numNodes; ++n) {
        int32_t words[2];
        float values[2];
        if (!StreamReadInt32(stream, words, sizeof(words)) ||
            !StreamReadReal(stream, values, sizeof(values))) {
            return fail(false);
        }
        const uint32_t kind = uint32_t(words[0]);
        const uint32_t index = uint32_t(words[1]);
        const uint8_t axis = uint8_t(kind >> 16);
        CollisionTreeNode& node = data->nodes[n];
        node.left = {uint8_t(axis | 1), uint8_t(((kind >> 8) & 0xFF) == 2 ? kCollisionInnerNode : 0),
                     uint16_t(index >> 16)};
        node.right = {axis, uint8_t((kind & 0xFF) == 2 ? kCollisionInnerNode : 0), uint16_t(index)};
        node.leftValue = values[0];
        node.rightValue = values[1];
    }
    // One leaf word per leaf, depth first from node 0, left before right.
    if (numNodes > 0) {
        CollisionTreeRef* stack[kCollisionMaxDepth + 1];
        int32_t top = 0;
        int32_t visited = 0;
        CollisionTreeRef root = {0, kCollisionInnerNode, 0};
        CollisionTreeRef* current = &root;
        while (current) {
            if (current->count == kCollisionInnerNode) {
                if (current->index >= numNodes || ++visited > numNodes || top > kCollisionMaxDepth) {
                    return fail(false);
                }
                CollisionTreeNode& node = data->nodes[current->index];
                stack[top++] = &node.right;
                current = &node.left;
                continue;
            }
            int32_t word = 0;
            if (!StreamReadInt32(stream, &word, 4)) {
                return fail(false);
            }
            const uint32_t count = uint32_t(word) >> 16;
            if (count > kOldLeafLimit) {
                return fail(true);
            }
            current->count = uint8_t(count);
            current->index = uint16_t(word);
            current = top > 0 ? stack[--top] : nullptr;
        }
    }
    for (int32_t t = 0; t < numTriangles; ++t) {
        int32_t word = 0;
        if (!StreamReadInt32(stream, &word, 4)) {
            return fail(false);
        }
        data->remap[t] = uint16_t(word);
    }
    if (!CollisionDataValidate(data, ownerTriangles)) {
        return fail(false);
    }
    return data;
}

bool CollisionDataValidate(const CollisionData* data, int32_t ownerTriangles)
{
    const uint32_t positions = data->numTriangles;
    if (data->remap) {
        for (uint32_t p = 0; p < positions; ++p) {
            if (data->remap[p] >= uint32_t(ownerTriangles)) {
                return false;
            }
        }
    } else if (positions > uint32_t(ownerTriangles)) {
        return false;
    }
    if (data->numNodes == 0) {
        // One leaf of every position: its count must be a leaf count.
        return positions <= kCollisionMaxLeaf;
    }
    // Every node reached once from node 0, within the depth limit; leaves
    // from left to right cover consecutive positions within the count.
    const CollisionTreeRef* stack[kCollisionMaxDepth + 1];
    int32_t depths[kCollisionMaxDepth + 1];
    int32_t top = 0;
    uint32_t reached = 0;
    uint32_t nextPosition = 0;
    bool first = true;
    const CollisionTreeRef root = {0, kCollisionInnerNode, 0};
    const CollisionTreeRef* current = &root;
    int32_t depth = 0;
    while (current) {
        if (current->count == kCollisionInnerNode) {
            if (current->index >= data->numNodes || ++reached > data->numNodes ||
                depth >= kCollisionMaxDepth || top > kCollisionMaxDepth) {
                return false;
            }
            const CollisionTreeNode& node = data->nodes[current->index];
            stack[top] = &node.right;
            depths[top++] = depth + 1;
            current = &node.left;
            ++depth;
            continue;
        }
        if (current->count > kCollisionMaxLeaf || (!first && current->index != nextPosition) ||
            uint32_t(current->index) + current->count > positions) {
            return false;
        }
        first = false;
        nextPosition = uint32_t(current->index) + current->count;
        if (top == 0) {
            break;
        }
        --top;
        current = stack[top];
        depth = depths[top];
    }
    return reached == data->numNodes;
}

// Without the plug-in attached no object has collision data, and none can be set.
Geometry* GeometrySetCollisionData(Geometry* geometry, CollisionData* data)
{
    if (GeometryOffset() >= 0) {
        DataOf(geometry, GeometryOffset()) = data;
    }
    return geometry;
}

Geometry* GeometryDestroyCollisionData(Geometry* geometry)
{
    if (GeometryOffset() >= 0) {
        DataDestruct(geometry, GeometryOffset(), 0);
    }
    return geometry;
}

int32_t GeometryHasCollisionData(const Geometry* geometry)
{
    return GeometryGetCollisionData(geometry) ? 1 : 0;
}

CollisionData* GeometryGetCollisionData(const Geometry* geometry)
{
    const int32_t offset = GeometryOffset();
    return offset >= 0 ? DataOf(geometry, offset) : nullptr;
}

WorldSector* WorldSectorSetCollisionData(WorldSector* sector, CollisionData* data)
{
    if (SectorOffset() >= 0) {
        DataOf(sector, SectorOffset()) = data;
    }
    return sector;
}

WorldSector* WorldSectorDestroyCollisionData(WorldSector* sector)
{
    if (SectorOffset() >= 0) {
        DataDestruct(sector, SectorOffset(), 0);
    }
    return sector;
}

int32_t WorldSectorHasCollisionData(const WorldSector* sector)
{
    return WorldSectorGetCollisionData(sector) ? 1 : 0;
}

CollisionData* WorldSectorGetCollisionData(const WorldSector* sector)
{
    const int32_t offset = SectorOffset();
    return offset >= 0 ? DataOf(sector, offset) : nullptr;
}

World* WorldDestroyCollisionData(World* world)
{
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void*) {
            if (sector->numTriangles > 0) {
                WorldSectorDestroyCollisionData(sector);
            }
            return sector;
        },
        nullptr);
    return world;
}

int32_t WorldHasCollisionData(World* world)
{
    int32_t found = 0;
    WorldForAllSectors(
        world,
        [](WorldSector* sector, void* data) -> WorldSector* {
            if (sector->numTriangles > 0 && WorldSectorHasCollisionData(sector)) {
                *static_cast<int32_t*>(data) = 1;
                return nullptr;
            }
            return sector;
        },
        &found);
    return found;
}
