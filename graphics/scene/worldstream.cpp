// Chunk 0x0B: a world's struct, its material list, its sector tree (plane
// sectors 0x0A, atomic sectors 0x09 with their arrays) and its extensions.
//
// The reader makes the world, its sectors and arrays in one block sized from
// the struct's counts and hands the memory out in reading order; every take
// is checked against the counts and the block, so a tree holding more than
// its struct announced is refused rather than written past the block.
#include <cstring>
#include <initializer_list>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/mesh.h"
#include "graphics/scene/sceneids.h"
#include "graphics/scene/sceneplugins.h"
#include "graphics/scene/scenestream.h"
#include "graphics/scene/worldprivate.h"

namespace {

constexpr uint32_t kWorldStructSize = 64;
constexpr uint32_t kPlaneStructSize = 24;
constexpr uint32_t kSectorStructSize = 44;
constexpr uint32_t kHintWorld = 0x3000B;
/// Chunk version from which triangles are saved vertices first.
constexpr uint32_t kVersionTriangleVerticesFirst = 0x36002;
/// Format bits that hold the texture-set count.
constexpr uint32_t kFormatSetsMask = 0x00FF0000;
/// Smallest saved plane sector (chunk header, struct chunk) and atomic sector
/// (chunk header, struct chunk, extension chunk): bounds the counts.
constexpr uint64_t kMinPlaneBytes = 12 + 12 + kPlaneStructSize;
constexpr uint64_t kMinSectorBytes = 12 + 12 + kSectorStructSize + 12;

int32_t TexCoordSets(uint32_t format)
{
    uint32_t sets = (format >> 16) & 0xFF;
    if (sets == 0) {
        sets = (format & kGeometryTextured2) ? 2 : (format & kGeometryTextured) ? 1 : 0;
    }
    return int32_t(sets);
}

uint64_t Round8(uint64_t size)
{
    return (size + 7) & ~uint64_t(7);
}

bool Native(const World* world)
{
    return (world->format & kGeometryNative) != 0;
}

// Bytes per vertex of a sector's arrays.
uint64_t VertexBytes(uint32_t format, int32_t sets)
{
    return 12 + ((format & kGeometryNormals) ? 4 : 0) + ((format & kGeometryPreLit) ? 4 : 0) +
           8 * uint64_t(sets);
}

uint64_t ArrayBytes(const World* world, const WorldSector* sector)
{
    if (Native(world)) {
        return 0;
    }
    return VertexBytes(world->format, world->numTexCoordSets) * sector->numVertices +
           8ull * sector->numTriangles;
}

// ---- writing ----

struct Totals
{
    uint32_t triangles = 0;
    uint32_t vertices = 0;
    uint32_t planes = 0;
    uint32_t sectors = 0;
};

void Count(const Sector* sector, Totals* totals)
{
    if (sector->type == kSectorAtomic) {
        const auto* atomic = reinterpret_cast<const WorldSector*>(sector);
        totals->triangles += atomic->numTriangles;
        totals->vertices += atomic->numVertices;
        ++totals->sectors;
        return;
    }
    const auto* plane = reinterpret_cast<const PlaneSector*>(sector);
    ++totals->planes;
    Count(plane->left, totals);
    Count(plane->right, totals);
}

// Body bytes of a sector's chunk.
uint64_t SectorBodySize(const World* world, const Sector* sector)
{
    if (sector->type == kSectorAtomic) {
        const auto* atomic = reinterpret_cast<const WorldSector*>(sector);
        return kChunkHeaderSize + kSectorStructSize + ArrayBytes(world, atomic) + kChunkHeaderSize +
               uint64_t(PluginRegistryStreamSize(WorldSectorGetPluginRegistry(), atomic));
    }
    const auto* plane = reinterpret_cast<const PlaneSector*>(sector);
    return kChunkHeaderSize + kPlaneStructSize + kChunkHeaderSize + SectorBodySize(world, plane->left) +
           kChunkHeaderSize + SectorBodySize(world, plane->right);
}

bool WriteAtomicSector(const World* world, const WorldSector* sector, Stream* stream)
{
    const uint64_t arrays = ArrayBytes(world, sector);
    uint8_t bytes[kSectorStructSize] = {};
    LittleEndianPutU32(bytes, sector->materialListWindowBase);
    LittleEndianPutU32(bytes + 4, sector->numTriangles);
    LittleEndianPutU32(bytes + 8, sector->numVertices);
    const float box[6] = {sector->storedBox.inf.x, sector->storedBox.inf.y, sector->storedBox.inf.z,
                          sector->storedBox.sup.x, sector->storedBox.sup.y, sector->storedBox.sup.z};
    for (int i = 0; i < 6; ++i) {
        LittleEndianPutFloat(bytes + 12 + 4 * i, box[i]);
    }
    if (!ChunkHeaderWriteCurrent(stream, kChunkWorldSector,
                                 uint32_t(SectorBodySize(world, reinterpret_cast<const Sector*>(sector)))) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, uint32_t(kSectorStructSize + arrays)) ||
        !StreamWrite(stream, bytes, sizeof(bytes))) {
        return false;
    }
    const size_t vertices = sector->numVertices;
    if (!Native(world) && vertices > 0) {
        if (!StreamWriteReal(stream, &sector->vertices[0].x, sizeof(V3d) * vertices) ||
            ((world->format & kGeometryNormals) && !StreamWrite(stream, sector->normals, 4 * vertices)) ||
            ((world->format & kGeometryPreLit) &&
             !StreamWrite(stream, sector->preLitColours, 4 * vertices))) {
            return false;
        }
        for (int32_t s = 0; s < world->numTexCoordSets; ++s) {
            if (!StreamWriteReal(stream, &sector->texCoords[s][0].u, sizeof(TexCoords) * vertices)) {
                return false;
            }
        }
    }
    for (uint32_t t = 0; !Native(world) && t < sector->numTriangles; ++t) {
        const WorldSectorTriangle& triangle = sector->triangles[t];
        const int16_t words[4] = {int16_t(triangle.vertex[0]), int16_t(triangle.vertex[1]),
                                  int16_t(triangle.vertex[2]), int16_t(triangle.material)};
        if (!StreamWriteInt16(stream, words, sizeof(words))) {
            return false;
        }
    }
    return PluginRegistryStreamWrite(WorldSectorGetPluginRegistry(), stream, sector) != nullptr;
}

bool WriteSector(const World* world, const Sector* sector, Stream* stream)
{
    if (sector->type == kSectorAtomic) {
        return WriteAtomicSector(world, reinterpret_cast<const WorldSector*>(sector), stream);
    }
    const auto* plane = reinterpret_cast<const PlaneSector*>(sector);
    uint8_t bytes[kPlaneStructSize];
    LittleEndianPutU32(bytes, uint32_t(plane->type));
    LittleEndianPutFloat(bytes + 4, plane->value);
    LittleEndianPutU32(bytes + 8, plane->left->type == kSectorAtomic ? 1 : 0);
    LittleEndianPutU32(bytes + 12, plane->right->type == kSectorAtomic ? 1 : 0);
    LittleEndianPutFloat(bytes + 16, plane->leftValue);
    LittleEndianPutFloat(bytes + 20, plane->rightValue);
    return ChunkHeaderWriteCurrent(stream, kChunkPlaneSector, uint32_t(SectorBodySize(world, sector))) &&
           SceneWriteStruct(stream, bytes, kPlaneStructSize) && WriteSector(world, plane->left, stream) &&
           WriteSector(world, plane->right, stream);
}

// ---- reading ----

// Whether the floats at these byte offsets of a struct record are finite
// (positions, planes and boxes place the world); the record stood `at` bytes
// from the stream's start (-1: unknown).
bool FieldsFinite(const uint8_t* bytes, int64_t at, std::initializer_list<uint32_t> fields)
{
    for (const uint32_t field : fields) {
        const float value = LittleEndianGetFloat(bytes + field);
        if (!StreamCheckFinite(&value, 1, at < 0 ? -1 : at + field)) {
            return false;
        }
    }
    return true;
}

// Where a struct record of `stored` bytes, just read whole, began.
int64_t RecordStart(const Stream* stream, uint32_t stored)
{
    const int64_t end = StreamGetPosition(stream);
    return end < 0 ? -1 : end - int64_t(stored);
}

bool WorldFieldsFinite(const Stream* stream, const uint8_t* bytes, uint32_t stored)
{
    return FieldsFinite(bytes, RecordStart(stream, stored), {4, 8, 12, 40, 44, 48, 52, 56, 60});
}

void DecodeWorld(const uint8_t* bytes, WorldChunkInfo* info)
{
    info->rootIsWorldSector = LittleEndianGetU32(bytes);
    info->invOrigin = {LittleEndianGetFloat(bytes + 4), LittleEndianGetFloat(bytes + 8),
                       LittleEndianGetFloat(bytes + 12)};
    info->numTriangles = LittleEndianGetU32(bytes + 16);
    info->numVertices = LittleEndianGetU32(bytes + 20);
    info->numPlaneSectors = LittleEndianGetU32(bytes + 24);
    info->numWorldSectors = LittleEndianGetU32(bytes + 28);
    info->colSectorSize = LittleEndianGetU32(bytes + 32);
    info->format = LittleEndianGetU32(bytes + 36);
    info->boundingBox.sup = {LittleEndianGetFloat(bytes + 40), LittleEndianGetFloat(bytes + 44),
                             LittleEndianGetFloat(bytes + 48)};
    info->boundingBox.inf = {LittleEndianGetFloat(bytes + 52), LittleEndianGetFloat(bytes + 56),
                             LittleEndianGetFloat(bytes + 60)};
}

void DecodePlane(const uint8_t* bytes, PlaneSectorChunkInfo* info)
{
    info->type = int32_t(LittleEndianGetU32(bytes));
    info->value = LittleEndianGetFloat(bytes + 4);
    info->leftIsWorldSector = LittleEndianGetU32(bytes + 8);
    info->rightIsWorldSector = LittleEndianGetU32(bytes + 12);
    info->leftValue = LittleEndianGetFloat(bytes + 16);
    info->rightValue = LittleEndianGetFloat(bytes + 20);
}

void DecodeSector(const uint8_t* bytes, WorldSectorChunkInfo* info)
{
    info->materialListWindowBase = LittleEndianGetU32(bytes);
    info->numTriangles = LittleEndianGetU32(bytes + 4);
    info->numVertices = LittleEndianGetU32(bytes + 8);
    info->storedBox.inf = {LittleEndianGetFloat(bytes + 12), LittleEndianGetFloat(bytes + 16),
                           LittleEndianGetFloat(bytes + 20)};
    info->storedBox.sup = {LittleEndianGetFloat(bytes + 24), LittleEndianGetFloat(bytes + 28),
                           LittleEndianGetFloat(bytes + 32)};
    info->unused[0] = LittleEndianGetU32(bytes + 36);
    info->unused[1] = LittleEndianGetU32(bytes + 40);
}

// What the tree may still take: the struct's counts and the block.
struct Reader
{
    Stream* stream;
    World* world;
    char* next;
    char* end;
    uint64_t planes;
    uint64_t sectors;
    uint64_t vertices;
    uint64_t triangles;

    void* Take(uint64_t bytes, uint64_t alignment)
    {
        const auto address = reinterpret_cast<uintptr_t>(next);
        const uintptr_t aligned = (address + alignment - 1) & ~uintptr_t(alignment - 1);
        if (aligned > reinterpret_cast<uintptr_t>(end) ||
            bytes > reinterpret_cast<uintptr_t>(end) - aligned) {
            return nullptr;
        }
        next = reinterpret_cast<char*>(aligned + bytes);
        return reinterpret_cast<void*>(aligned);
    }
};

Sector* Refuse()
{
    SceneError(kErrorRead);
    return nullptr;
}

Sector* ReadSector(Reader* reader, bool atomic, int32_t depth);

Sector* ReadPlaneSector(Reader* reader, int32_t depth)
{
    uint8_t bytes[kPlaneStructSize];
    uint32_t stored = 0;
    if (!SceneReadStruct(reader->stream, bytes, kPlaneStructSize, &stored)) {
        return nullptr;
    }
    if (!FieldsFinite(bytes, RecordStart(reader->stream, stored), {4, 16, 20})) {
        return nullptr;
    }
    PlaneSectorChunkInfo info;
    DecodePlane(bytes, &info);
    auto* plane =
        static_cast<PlaneSector*>(reader->planes > 0 ? reader->Take(sizeof(PlaneSector), 8) : nullptr);
    if (!plane || (info.type != 0 && info.type != 4 && info.type != 8)) {
        return Refuse();
    }
    --reader->planes;
    plane->type = info.type;
    plane->value = info.value;
    const bool separate = (reader->world->format & kWorldSectorOverlap) != 0;
    plane->leftValue = separate ? info.leftValue : info.value;
    plane->rightValue = separate ? info.rightValue : info.value;
    plane->left = ReadSector(reader, info.leftIsWorldSector != 0, depth + 1);
    if (!plane->left) {
        return nullptr;
    }
    plane->right = ReadSector(reader, info.rightIsWorldSector != 0, depth + 1);
    if (!plane->right) {
        WorldSectorDestroy(plane->left);
        return nullptr;
    }
    return reinterpret_cast<Sector*>(plane);
}

template <typename T> T* TakeArray(Reader* reader, uint64_t count)
{
    return static_cast<T*>(reader->Take(sizeof(T) * count, 4));
}

bool ReadArrays(Reader* reader, WorldSector* sector, uint32_t version)
{
    const World* world = reader->world;
    Stream* stream = reader->stream;
    const uint64_t vertices = sector->numVertices;
    const uint64_t triangles = sector->numTriangles;
    sector->vertices = TakeArray<V3d>(reader, vertices);
    if (!sector->vertices ||
        (vertices > 0 && !StreamReadFiniteReal(stream, &sector->vertices[0].x, 12 * vertices))) {
        return false;
    }
    if (world->format & kGeometryNormals) {
        sector->normals = TakeArray<PackedNormal>(reader, vertices);
        if (!sector->normals || StreamRead(stream, sector->normals, 4 * vertices) != 4 * vertices) {
            return false;
        }
    }
    if (world->format & kGeometryPreLit) {
        sector->preLitColours = TakeArray<RGBA>(reader, vertices);
        if (!sector->preLitColours ||
            StreamRead(stream, sector->preLitColours, 4 * vertices) != 4 * vertices) {
            return false;
        }
    }
    for (int32_t s = 0; s < world->numTexCoordSets; ++s) {
        sector->texCoords[s] = TakeArray<TexCoords>(reader, vertices);
        if (!sector->texCoords[s] ||
            (vertices > 0 && !StreamReadFiniteReal(stream, &sector->texCoords[s][0].u, 8 * vertices))) {
            return false;
        }
    }
    sector->triangles = TakeArray<WorldSectorTriangle>(reader, triangles);
    if (!sector->triangles) {
        return false;
    }
    const bool materialFirst = version < kVersionTriangleVerticesFirst;
    const uint32_t materials = uint32_t(world->materials.count);
    for (uint64_t t = 0; t < triangles; ++t) {
        int16_t words[4];
        if (!StreamReadInt16(stream, words, sizeof(words))) {
            return false;
        }
        uint16_t v[4] = {uint16_t(words[0]), uint16_t(words[1]), uint16_t(words[2]), uint16_t(words[3])};
        WorldSectorTriangle& triangle = sector->triangles[t];
        triangle = materialFirst ? WorldSectorTriangle{{v[1], v[2], v[3]}, v[0]}
                                 : WorldSectorTriangle{{v[0], v[1], v[2]}, v[3]};
        if (triangle.vertex[0] >= vertices || triangle.vertex[1] >= vertices ||
            triangle.vertex[2] >= vertices ||
            uint32_t(sector->materialListWindowBase) + triangle.material >= materials) {
            return false;
        }
    }
    return true;
}

Sector* ReadAtomicSector(Reader* reader)
{
    Stream* stream = reader->stream;
    uint32_t structSize = 0;
    uint32_t version = 0;
    if (!SceneFindChunk(stream, kChunkStruct, &structSize, &version)) {
        return nullptr;
    }
    uint8_t bytes[kSectorStructSize] = {};
    if (structSize < kSectorStructSize) {
        return Refuse();
    }
    const int64_t at = StreamGetPosition(stream);
    if (StreamRead(stream, bytes, kSectorStructSize) != kSectorStructSize) {
        return Refuse();
    }
    if (!FieldsFinite(bytes, at, {12, 16, 20, 24, 28, 32})) {
        return nullptr;
    }
    WorldSectorChunkInfo info;
    DecodeSector(bytes, &info);
    const bool native = Native(reader->world);
    const uint64_t arrays =
        native ? 0
               : VertexBytes(reader->world->format, reader->world->numTexCoordSets) * info.numVertices +
                     8ull * info.numTriangles;
    // Counts must fit the sector's 16-bit fields, what the struct announced
    // and the struct chunk.
    if (reader->sectors == 0 || info.numTriangles > kWorldSectorMaxTriangles ||
        info.numVertices > kWorldSectorMaxVertices || info.materialListWindowBase > 0xFFFF ||
        info.numTriangles > reader->triangles || info.numVertices > reader->vertices ||
        arrays > structSize - kSectorStructSize ||
        (!native && info.numVertices == 0 && info.numTriangles > 0)) {
        return Refuse();
    }
    auto* sector =
        static_cast<WorldSector*>(reader->Take(uint64_t(WorldSectorGetPluginRegistry()->objectSize), 8));
    if (!sector) {
        return Refuse();
    }
    --reader->sectors;
    reader->triangles -= info.numTriangles;
    reader->vertices -= info.numVertices;
    WorldInitialiseSector(sector);
    sector->storedBox = info.storedBox;
    sector->materialListWindowBase = uint16_t(info.materialListWindowBase);
    sector->numVertices = uint16_t(info.numVertices);
    sector->numTriangles = uint16_t(info.numTriangles);
    if (!native && !ReadArrays(reader, sector, version)) {
        return Refuse();
    }
    const uint64_t rest = structSize - kSectorStructSize - arrays;
    if (rest > 0 && !StreamSkip(stream, rest)) {
        return Refuse();
    }
    if (!PluginRegistryConstruct(WorldSectorGetPluginRegistry(), sector)) {
        return nullptr;
    }
    PipelineSelectorClear(kSelectorWorldSector);
    // Native sectors keep no triangles to build meshes from: theirs must
    // come with the extensions.
    if (!PluginRegistryStreamRead(WorldSectorGetPluginRegistry(), stream, sector) ||
        (native && sector->numTriangles > 0 && !sector->mesh)) {
        WorldSectorDestroy(reinterpret_cast<Sector*>(sector));
        return Refuse();
    }
    PipelineSelectorApply(kSelectorWorldSector, sector);
    return reinterpret_cast<Sector*>(sector);
}

Sector* ReadSector(Reader* reader, bool atomic, int32_t depth)
{
    if (depth > kWorldMaxDepth) {
        return Refuse();
    }
    if (!SceneFindChunk(reader->stream, atomic ? kChunkWorldSector : kChunkPlaneSector, nullptr, nullptr)) {
        return nullptr;
    }
    return atomic ? ReadAtomicSector(reader) : ReadPlaneSector(reader, depth);
}

// Bytes of the block for the struct's counts; 0 when the stream cannot
// hold what they announce.
uint64_t BlockSize(const WorldChunkInfo& info, int32_t sets, const Stream* stream)
{
    const bool native = (info.format & kGeometryNative) != 0;
    const uint64_t vertexBytes = native ? 0 : VertexBytes(info.format, sets);
    const uint64_t triangleBytes = native ? 0 : 8;
    if (!SceneStreamHolds(stream, info.numPlaneSectors, kMinPlaneBytes) ||
        !SceneStreamHolds(stream, info.numWorldSectors, kMinSectorBytes) ||
        !SceneStreamHolds(stream, info.numVertices, vertexBytes) ||
        !SceneStreamHolds(stream, info.numTriangles, triangleBytes)) {
        return 0;
    }
    // Each record aligned to 8 bytes, each sector's arrays to 4.
    const uint64_t sector = Round8(uint64_t(WorldSectorGetPluginRegistry()->objectSize)) + 8 + 4 * 12;
    return Round8(uint64_t(WorldGetPluginRegistry()->objectSize)) + uint64_t(info.numWorldSectors) * sector +
           uint64_t(info.numPlaneSectors) * (sizeof(PlaneSector) + 8) + vertexBytes * info.numVertices +
           triangleBytes * info.numTriangles;
}

} // namespace

uint32_t WorldStreamGetSize(const World* world)
{
    const uint64_t size = kChunkHeaderSize + kWorldStructSize + kChunkHeaderSize +
                          MaterialListStreamGetSize(&world->materials) + kChunkHeaderSize +
                          SectorBodySize(world, world->root) + kChunkHeaderSize +
                          uint64_t(PluginRegistryStreamSize(WorldGetPluginRegistry(), world));
    return uint32_t(size);
}

World* WorldStreamWrite(World* world, Stream* stream)
{
    Totals totals;
    Count(world->root, &totals);
    uint8_t bytes[kWorldStructSize];
    LittleEndianPutU32(bytes, world->root->type == kSectorAtomic ? 1 : 0);
    LittleEndianPutFloat(bytes + 4, -world->origin.x);
    LittleEndianPutFloat(bytes + 8, -world->origin.y);
    LittleEndianPutFloat(bytes + 12, -world->origin.z);
    LittleEndianPutU32(bytes + 16, totals.triangles);
    LittleEndianPutU32(bytes + 20, totals.vertices);
    LittleEndianPutU32(bytes + 24, totals.planes);
    LittleEndianPutU32(bytes + 28, totals.sectors);
    LittleEndianPutU32(bytes + 32, 0);
    const uint32_t sets = uint32_t(world->numTexCoordSets) & 0xFF;
    LittleEndianPutU32(bytes + 36, ((sets | 0x4000) << 16) | (world->format & ~kFormatSetsMask));
    const float box[6] = {world->boundingBox.sup.x, world->boundingBox.sup.y, world->boundingBox.sup.z,
                          world->boundingBox.inf.x, world->boundingBox.inf.y, world->boundingBox.inf.z};
    for (int i = 0; i < 6; ++i) {
        LittleEndianPutFloat(bytes + 40 + 4 * i, box[i]);
    }
    if (!ChunkHeaderWriteCurrent(stream, kChunkWorld, WorldStreamGetSize(world)) ||
        !SceneWriteStruct(stream, bytes, kWorldStructSize) ||
        !MaterialListStreamWrite(&world->materials, stream) || !WriteSector(world, world->root, stream) ||
        !PluginRegistryStreamWrite(WorldGetPluginRegistry(), stream, world)) {
        return nullptr;
    }
    return world;
}

World* WorldStreamRead(Stream* stream)
{
    uint8_t bytes[kWorldStructSize];
    uint32_t stored = 0;
    if (!SceneReadStruct(stream, bytes, kWorldStructSize, &stored) ||
        !WorldFieldsFinite(stream, bytes, stored)) {
        return nullptr;
    }
    WorldChunkInfo info;
    DecodeWorld(bytes, &info);
    if (info.colSectorSize != 0) {
        SceneError(kErrorBadVersion);
        return nullptr;
    }
    const int32_t sets = TexCoordSets(info.format);
    const uint64_t size = sets > kWorldMaxTexCoordSets ? 0 : BlockSize(info, sets, stream);
    if (size == 0 || size > SIZE_MAX / 2) {
        SceneError(kErrorRead);
        return nullptr;
    }
    auto* block = static_cast<char*>(MemoryAllocateZeroed(1, size_t(size), kHintWorld));
    if (!block) {
        SceneError(ErrorCode(kErrorOutOfMemory, uint32_t(size)));
        return nullptr;
    }
    auto* world = reinterpret_cast<World*>(block);
    WorldInitialiseRecord(world);
    world->object.privateFlags = kWorldPrivateSingleAllocation;
    world->format = info.format & ~kFormatSetsMask;
    world->numTexCoordSets = sets;
    world->origin = {-info.invOrigin.x, -info.invOrigin.y, -info.invOrigin.z};
    world->boundingBox = info.boundingBox;
    if (!WorldListAdd(world, size_t(size))) {
        MemoryFree(block);
        return nullptr;
    }
    Reader reader = {stream,
                     world,
                     block + Round8(uint64_t(WorldGetPluginRegistry()->objectSize)),
                     block + size,
                     info.numPlaneSectors,
                     info.numWorldSectors,
                     info.numVertices,
                     info.numTriangles};
    if (!SceneFindChunk(stream, kChunkMaterialList, nullptr, nullptr) ||
        !MaterialListStreamRead(stream, &world->materials) ||
        !(world->root = ReadSector(&reader, info.rootIsWorldSector != 0, 0))) {
        WorldDiscard(world, false);
        return nullptr;
    }
    WorldSetSectorBoundingBoxes(world);
    if (!PluginRegistryConstruct(WorldGetPluginRegistry(), world)) {
        WorldDiscard(world, false);
        return nullptr;
    }
    PipelineSelectorClear(kSelectorWorld);
    if (!PluginRegistryStreamRead(WorldGetPluginRegistry(), stream, world)) {
        SceneError(kErrorRead);
        WorldDestroy(world);
        return nullptr;
    }
    PipelineSelectorApply(kSelectorWorld, world);
    if (!WorldBuildSectorMeshes(world)) {
        WorldDestroy(world);
        return nullptr;
    }
    return world;
}

WorldChunkInfo* WorldStreamReadChunkInfo(Stream* stream, WorldChunkInfo* info, int32_t* size)
{
    uint8_t bytes[kWorldStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kWorldStructSize, &structSize) ||
        !WorldFieldsFinite(stream, bytes, structSize)) {
        return nullptr;
    }
    DecodeWorld(bytes, info);
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}

PlaneSectorChunkInfo* PlaneSectorStreamReadChunkInfo(Stream* stream, PlaneSectorChunkInfo* info,
                                                     int32_t* size)
{
    uint8_t bytes[kPlaneStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kPlaneStructSize, &structSize)) {
        return nullptr;
    }
    DecodePlane(bytes, info);
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}

WorldSectorChunkInfo* WorldSectorStreamReadChunkInfo(Stream* stream, WorldSectorChunkInfo* info,
                                                     int32_t* size)
{
    uint8_t bytes[kSectorStructSize];
    uint32_t structSize = 0;
    if (!SceneReadStruct(stream, bytes, kSectorStructSize, &structSize)) {
        return nullptr;
    }
    DecodeSector(bytes, info);
    if (size) {
        *size = int32_t(structSize + kChunkHeaderSize);
    }
    return info;
}
