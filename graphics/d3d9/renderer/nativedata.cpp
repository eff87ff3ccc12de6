// Native geometry and sector data: the instanced-data record, declaration,
// indices and vertex bytes written and read field by field.
#include "graphics/d3d9/renderer/nativedata.h"

#include <cstring>
#include <new>
#include <vector>

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/d3d9/d3d9device.h"
#include "graphics/d3d9/renderer/instanceddata.h"
#include "graphics/d3d9/renderer/instancewrite.h"
#include "graphics/d3d9/renderer/vertexconvert.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/materiallist.h"
#include "graphics/scene/world.h"

namespace {

constexpr uint32_t kChunkStruct = 1;
constexpr uint32_t kNativeVersion = 0x37002;
constexpr uint32_t kNativeBuild = 0x16;
constexpr uint32_t kOldestVersion = 0x35000;
constexpr uint32_t kHeadBytes = 64;
constexpr uint32_t kMeshBytes = 36;
constexpr uint32_t kStreamBytes = 16;
constexpr uint32_t kElementBytes = 8;
constexpr uint32_t kMaxElements = 64; // end element included
constexpr uint32_t kNoMaterial = 0xFFFFFFFF;

// Little-endian field writers into a byte buffer.
struct Bytes
{
    uint8_t* p;
    void U8(uint32_t v) { *p++ = uint8_t(v); }
    void U16(uint32_t v)
    {
        U8(v);
        U8(v >> 8);
    }
    void U32(uint32_t v)
    {
        U16(v);
        U16(v >> 16);
    }
};

// Little-endian field readers over bytes already known to be there.
struct Fields
{
    const uint8_t* p;
    uint32_t U8() { return *p++; }
    uint32_t U16()
    {
        const uint32_t lo = U8();
        return lo | (U8() << 8);
    }
    uint32_t U32()
    {
        const uint32_t lo = U16();
        return lo | (U16() << 16);
    }
};

void PutStream(Bytes& b, const InstancedStream& s, bool markData)
{
    b.U32(markData && s.buffer ? 1 : 0);
    b.U32(s.offset);
    b.U32(s.stride);
    b.U16(s.elementMask);
    b.U8(s.managed);
    b.U8(s.external);
}

void GetStream(Fields& f, InstancedStream& s, uint32_t* buffer)
{
    *buffer = f.U32();
    s.offset = f.U32();
    s.stride = f.U32();
    s.elementMask = uint16_t(f.U16());
    s.managed = uint8_t(f.U8());
    s.external = uint8_t(f.U8());
}

uint32_t ElementCount(InstancedData* data, D3DVERTEXELEMENT9* elements)
{
    InstanceDeclarationElements(data, elements);
    uint32_t end = 0;
    VertexDeclarationSize(elements, &end);
    return end + 1;
}

uint64_t ChunkBodySize(InstancedData* data, uint32_t elementCount)
{
    uint64_t size =
        8 + kHeadBytes + uint64_t(kMeshBytes) * data->numMeshes + 4 + kElementBytes * elementCount;
    if (data->totalIndices > 0) {
        size += 2ull * data->totalIndices;
    }
    for (const InstancedStream& s : data->streams) {
        size += kStreamBytes + (s.buffer ? uint64_t(data->numVertices) * s.stride : 0);
    }
    return size;
}

uint32_t NativeSize(ResourcesEntry* entry)
{
    if (!entry) {
        return 0;
    }
    InstancedData* data = InstancedDataFromEntry(entry);
    D3DVERTEXELEMENT9 elements[kInstanceMaxElements];
    const uint64_t size = 12 + ChunkBodySize(data, ElementCount(data, elements));
    return size > 0xFFFFFFFFull ? 0 : uint32_t(size);
}

Stream* NativeWrite(Stream* stream, ResourcesEntry* entry, const MaterialList* materials)
{
    InstancedData* data = InstancedDataFromEntry(entry);
    D3DVERTEXELEMENT9 elements[kInstanceMaxElements];
    const uint32_t elementCount = ElementCount(data, elements);
    const uint32_t recordBytes = kHeadBytes + kMeshBytes * data->numMeshes;
    if (!ChunkHeaderWrite(stream, kChunkStruct, uint32_t(ChunkBodySize(data, elementCount)), kNativeVersion,
                          kNativeBuild)) {
        return nullptr;
    }
    // Platform, S, record, element count and elements in one block.
    const size_t blockBytes = 8 + recordBytes + 4 + kElementBytes * elementCount;
    uint8_t local[1024];
    uint8_t* block = blockBytes <= sizeof local ? local : new (std::nothrow) uint8_t[blockBytes];
    if (!block) {
        return nullptr;
    }
    Bytes b{block};
    b.U32(kNativePlatformD3D9);
    b.U32(recordBytes);
    b.U32(data->serial);
    b.U32(data->numMeshes);
    b.U32(0); // index buffer
    b.U32(data->primType);
    PutStream(b, data->streams[0], false);
    PutStream(b, data->streams[1], false);
    b.U32(data->useOffsets);
    b.U32(0); // declaration
    b.U32(data->totalIndices);
    b.U32(data->numVertices);
    const InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        const InstancedMesh& m = meshes[i];
        const int32_t index = m.material ? MaterialListFindMaterial(materials, m.material) : -1;
        b.U32(m.numIndices);
        b.U32(m.minVertex);
        b.U32(index < 0 ? kNoMaterial : uint32_t(index));
        b.U32(m.vertexAlpha);
        b.U32(0); // vertex shader
        b.U32(m.baseVertexIndex);
        b.U32(m.numVertices);
        b.U32(m.startIndex);
        b.U32(m.numPrimitives);
    }
    b.U32(elementCount);
    for (uint32_t i = 0; i < elementCount; ++i) {
        b.U16(elements[i].Stream);
        b.U16(elements[i].Offset);
        b.U8(elements[i].Type);
        b.U8(elements[i].Method);
        b.U8(elements[i].Usage);
        b.U8(elements[i].UsageIndex);
    }
    Stream* ok = StreamWrite(stream, block, blockBytes);
    if (block != local) {
        delete[] block;
    }
    if (!ok) {
        return nullptr;
    }
    if (data->totalIndices > 0) {
        void* indices = nullptr;
        if (!data->indexBuffer || FAILED(data->indexBuffer->Lock(0, 0, &indices, D3DLOCK_READONLY)) ||
            !indices) {
            return nullptr;
        }
        ok = StreamWriteInt16(stream, static_cast<const int16_t*>(indices), 2ull * data->totalIndices);
        D3D9BufferUnlock(data->indexBuffer);
        if (!ok) {
            return nullptr;
        }
    }
    for (const InstancedStream& s : data->streams) {
        uint8_t record[kStreamBytes];
        Bytes r{record};
        PutStream(r, s, true);
        if (!StreamWrite(stream, record, sizeof record)) {
            return nullptr;
        }
        if (!s.buffer) {
            continue;
        }
        void* vertices = nullptr;
        const uint32_t bytes = data->numVertices * s.stride;
        if (FAILED(s.buffer->Lock(s.offset, bytes, &vertices, D3DLOCK_NOSYSLOCK | D3DLOCK_READONLY)) ||
            !vertices) {
            return nullptr;
        }
        ok = StreamWrite(stream, vertices, bytes);
        D3D9BufferUnlock(s.buffer);
        if (!ok) {
            return nullptr;
        }
    }
    return stream;
}

uint32_t PrimitiveLimit(uint32_t type, uint32_t count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count / 2;
    case D3DPT_LINESTRIP:
        return count > 0 ? count - 1 : 0;
    case D3DPT_TRIANGLELIST:
        return count / 3;
    default:
        return count > 2 ? count - 2 : 0;
    }
}

// Bytes of one vertex of stream `s` as the elements lay it out; 0 when an
// element of that stream is malformed (unknown type, past its stream's stride).
uint32_t DeclaredStride(const D3DVERTEXELEMENT9* elements, uint32_t count, uint32_t s)
{
    uint32_t stride = 0;
    for (uint32_t i = 0; i + 1 < count; ++i) {
        if (elements[i].Stream == s) {
            stride += VertexElementTypeSize(elements[i].Type);
        }
    }
    return stride;
}

// The checks of everything the record and elements claim, before any of it is used.
bool ValidRecord(InstancedData* data, const D3DVERTEXELEMENT9* elements, uint32_t elementCount,
                 const MaterialList* materials, const uint32_t materialIndices[])
{
    if (data->primType < D3DPT_POINTLIST || data->primType > D3DPT_TRIANGLEFAN || data->numVertices == 0 ||
        data->numVertices > 0x10000) {
        return false;
    }
    if (elementCount < 2 || elementCount > kMaxElements || elements[elementCount - 1].Stream != 0xFF ||
        elements[elementCount - 1].Type != D3DDECLTYPE_UNUSED) {
        return false;
    }
    for (uint32_t i = 0; i + 1 < elementCount; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (e.Stream > 1 || e.Type > D3DDECLTYPE_DEC3N || e.Method != 0 || e.Usage > D3DDECLUSAGE_SAMPLE ||
            e.Offset + VertexElementTypeSize(e.Type) > DeclaredStride(elements, elementCount, e.Stream)) {
            return false;
        }
    }
    const InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        const InstancedMesh& m = meshes[i];
        const bool indexed = data->totalIndices > 0;
        if (uint64_t(m.minVertex) + m.numVertices > data->numVertices ||
            (indexed && uint64_t(m.startIndex) + m.numIndices > data->totalIndices) ||
            (!indexed && m.numIndices) ||
            m.numPrimitives > PrimitiveLimit(data->primType, indexed ? m.numIndices : m.numVertices) ||
            (materialIndices[i] != kNoMaterial &&
             (materials == nullptr || materialIndices[i] >= uint32_t(materials->count)))) {
            return false;
        }
    }
    return true;
}

bool IndicesInRange(InstancedData* data, const uint16_t* indices)
{
    const InstancedMesh* meshes = InstancedDataMeshes(data);
    for (uint32_t i = 0; i < data->numMeshes; ++i) {
        for (uint32_t k = 0; k < meshes[i].numIndices; ++k) {
            if (uint32_t(indices[meshes[i].startIndex + k]) + meshes[i].minVertex >= data->numVertices) {
                return false;
            }
        }
    }
    return true;
}

// Reads the chunk into a new entry in `*slot`; false with the entry destroyed.
bool NativeRead(Stream* stream, uint32_t ownerType, ResourcesEntry** slot, bool managedOnly,
                const MaterialList* materials)
{
    uint32_t size = 0, version = 0;
    if (!StreamFindChunk(stream, kChunkStruct, &size, &version)) {
        return false;
    }
    if (version < kOldestVersion || version > kNativeVersion) {
        ErrorRaise(0, ErrorCode(kErrorBadVersion));
        return false;
    }
    uint32_t left = size;
    auto take = [&](uint64_t n) {
        if (n > left) {
            return false;
        }
        left -= uint32_t(n);
        return true;
    };
    uint32_t platform = 0, recordBytes = 0;
    if (!take(8) || !StreamReadUInt32(stream, &platform) || platform != kNativePlatformD3D9 ||
        !StreamReadUInt32(stream, &recordBytes) || recordBytes < kHeadBytes ||
        (recordBytes - kHeadBytes) % kMeshBytes != 0 || !take(recordBytes)) {
        return false;
    }
    const uint32_t numMeshes = (recordBytes - kHeadBytes) / kMeshBytes;
    if (numMeshes > 0xFFFF) {
        return false;
    }
    uint8_t head[kHeadBytes];
    if (StreamRead(stream, head, sizeof head) != sizeof head) {
        return false;
    }
    Fields f{head};
    const uint32_t serial = f.U32();
    if (f.U32() != numMeshes) {
        return false;
    }
    if (*slot) {
        ResourcesFreeEntry(*slot);
    }
    // Native data has nothing to be rebuilt from: it lives outside the arena.
    ResourcesEntry* entry = InstancedDataAllocateOutsideArena(ownerType, slot, numMeshes);
    if (!entry) {
        return false;
    }
    InstancedData* data = InstancedDataFromEntry(entry);
    std::memset(data, 0, InstancedDataSize(numMeshes));
    data->serial = serial;
    data->numMeshes = numMeshes;
    f.U32(); // index buffer: ours is made below
    data->primType = f.U32();
    uint32_t ignored = 0;
    GetStream(f, data->streams[0], &ignored);
    GetStream(f, data->streams[1], &ignored);
    data->streams[0] = {};
    data->streams[1] = {};
    data->useOffsets = f.U32();
    f.U32(); // declaration
    data->totalIndices = f.U32();
    data->numVertices = f.U32();

    auto fail = [&]() {
        ResourcesFreeEntry(entry);
        return false;
    };
    InstancedMesh* meshes = InstancedDataMeshes(data);
    std::vector<uint32_t> indexOf(numMeshes); // material indices until the record is checked
    for (uint32_t i = 0; i < numMeshes; ++i) {
        uint8_t bytes[kMeshBytes];
        if (StreamRead(stream, bytes, sizeof bytes) != sizeof bytes) {
            return fail();
        }
        Fields m{bytes};
        InstancedMesh& mesh = meshes[i];
        mesh.numIndices = m.U32();
        mesh.minVertex = m.U32();
        indexOf[i] = m.U32();
        mesh.vertexAlpha = m.U32() ? 1 : 0;
        m.U32(); // vertex shader
        mesh.baseVertexIndex = m.U32();
        mesh.numVertices = m.U32();
        mesh.startIndex = m.U32();
        mesh.numPrimitives = m.U32();
    }
    uint32_t elementCount = 0;
    if (!take(4) || !StreamReadUInt32(stream, &elementCount) || elementCount > kMaxElements ||
        !take(uint64_t(kElementBytes) * elementCount)) {
        return fail();
    }
    D3DVERTEXELEMENT9 elements[kMaxElements];
    for (uint32_t i = 0; i < elementCount; ++i) {
        uint8_t bytes[kElementBytes];
        if (StreamRead(stream, bytes, sizeof bytes) != sizeof bytes) {
            return fail();
        }
        Fields e{bytes};
        elements[i].Stream = WORD(e.U16());
        elements[i].Offset = WORD(e.U16());
        elements[i].Type = BYTE(e.U8());
        elements[i].Method = BYTE(e.U8());
        elements[i].Usage = BYTE(e.U8());
        elements[i].UsageIndex = BYTE(e.U8());
    }
    if (!ValidRecord(data, elements, elementCount, materials, indexOf.data()) ||
        !D3D9VertexDeclarationCreate(elements, &data->declaration)) {
        return fail();
    }

    if (data->totalIndices > 0) {
        void* memory = nullptr;
        if (!take(2ull * data->totalIndices) ||
            !D3D9IndexBufferCreate(data->totalIndices, &data->indexBuffer) ||
            FAILED(data->indexBuffer->Lock(0, 0, &memory, 0)) || !memory) {
            return fail();
        }
        const bool read = StreamReadInt16(stream, static_cast<int16_t*>(memory), 2ull * data->totalIndices) &&
                          IndicesInRange(data, static_cast<const uint16_t*>(memory));
        D3D9BufferUnlock(data->indexBuffer);
        if (!read) {
            return fail();
        }
    }

    uint32_t streamsWithData = 0;
    for (uint32_t s = 0; s < 2; ++s) {
        uint8_t bytes[kStreamBytes];
        uint32_t hasData = 0;
        if (!take(kStreamBytes) || StreamRead(stream, bytes, sizeof bytes) != sizeof bytes) {
            return fail();
        }
        Fields r{bytes};
        InstancedStream record{};
        GetStream(r, record, &hasData);
        if (!hasData) {
            continue;
        }
        const uint32_t stride = DeclaredStride(elements, elementCount, s);
        if (stride == 0 || record.stride != stride || !take(uint64_t(data->numVertices) * stride)) {
            return fail();
        }
        InstancedStream& target = data->streams[s];
        target.stride = stride;
        target.elementMask = record.elementMask;
        const uint32_t bytesOfStream = data->numVertices * stride;
        void* memory = nullptr;
        DWORD lockFlags = D3DLOCK_NOSYSLOCK;
        if (managedOnly) {
            target.managed = 1;
            if (!D3D9VertexBufferCreateSpace(stride, bytesOfStream, &target.buffer, &target.offset)) {
                return fail();
            }
        } else {
            target.managed = 0;
            lockFlags |= D3DLOCK_DISCARD;
            if (!D3D9DynamicVertexBufferCreate(bytesOfStream, &target.buffer)) {
                return fail();
            }
        }
        if (FAILED(target.buffer->Lock(target.offset, bytesOfStream, &memory, lockFlags)) || !memory) {
            return fail();
        }
        const bool read = StreamRead(stream, memory, bytesOfStream) == bytesOfStream;
        D3D9BufferUnlock(target.buffer);
        if (!read) {
            return fail();
        }
        ++streamsWithData;
    }
    for (uint32_t i = 0; i + 1 < elementCount; ++i) {
        if (!data->streams[elements[i].Stream].buffer) {
            return fail(); // an element names a stream without vertices
        }
    }
    if (!data->streams[0].buffer) {
        return fail(); // vertices only in stream 1
    }
    const bool streamOffset = D3D9GetCaps()->DevCaps2 & D3DDEVCAPS2_STREAMOFFSET;
    data->useOffsets = streamsWithData == 2 && streamOffset ? 1 : 0;
    for (uint32_t i = 0; i < numMeshes; ++i) {
        meshes[i].baseVertexIndex =
            streamsWithData == 1 ? data->streams[0].offset / data->streams[0].stride + meshes[i].minVertex
                                 : meshes[i].minVertex;
        meshes[i].material =
            indexOf[i] == kNoMaterial ? nullptr : MaterialListGetMaterial(materials, int32_t(indexOf[i]));
    }
    return left == 0 || StreamSkip(stream, left) ? true : fail();
}

} // namespace

Stream* GeometryNativeStreamWrite(Stream* stream, const Geometry* geometry)
{
    if (!(geometry->format & kGeometryNative) || !geometry->instanced) {
        return stream;
    }
    return NativeWrite(stream, geometry->instanced, &geometry->materials);
}

Geometry* GeometryNativeStreamRead(Stream* stream, Geometry* geometry)
{
    const bool managed = geometry->numMorphTargets < 2;
    return NativeRead(stream, kObjectTypeGeometry, &geometry->instanced, managed, &geometry->materials)
               ? geometry
               : nullptr;
}

uint32_t GeometryNativeStreamSize(const Geometry* geometry)
{
    return (geometry->format & kGeometryNative) ? NativeSize(geometry->instanced) : 0;
}

Stream* WorldSectorNativeStreamWrite(Stream* stream, const WorldSector* sector, const World* world)
{
    if (!(world->format & kGeometryNative) || !sector->instanced) {
        return stream;
    }
    return NativeWrite(stream, sector->instanced, &world->materials);
}

WorldSector* WorldSectorNativeStreamRead(Stream* stream, WorldSector* sector, const World* world)
{
    return NativeRead(stream, kInstancedSectorOwner, &sector->instanced, true, &world->materials) ? sector
                                                                                                  : nullptr;
}

uint32_t WorldSectorNativeStreamSize(const WorldSector* sector, const World* world)
{
    return (world->format & kGeometryNative) ? NativeSize(sector->instanced) : 0;
}

int32_t NativeDataAttach()
{
    return 1;
}
