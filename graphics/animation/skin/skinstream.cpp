// The skin's stored forms: the geometry extension (sub-chunk 0x116), its
// pre-instanced variant, and the older form once saved with atomics. Every
// count, index and table entry is checked against the sub-chunk and the
// bone count before the skin is built; a failed read leaves the geometry as
// it was and keeps nothing.
#include <cstring>

#include "graphics/animation/animationids.h"
#include "graphics/animation/skin/skininternal.h"
#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/matrix.h"
#include "graphics/core/stream.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"

namespace {

constexpr uint64_t kMatrixBytes = 64;
constexpr uint64_t kVertexBytes = 20; ///< an index word and four weights
constexpr uint64_t kSplitHeadBytes = 12;
constexpr uint32_t kNoRemap = 0xFF;

Stream* Fail(uint32_t code = kErrorRead)
{
    ErrorRaise(0, code);
    return nullptr;
}

/// A bone matrix as 16 little-endian words: each axis with the word after it
/// (the flags or a pad), kept bit for bit.
void MatrixFromBytes(Matrix* matrix, const uint8_t* bytes)
{
    V3d* axes[4] = {&matrix->right, &matrix->up, &matrix->at, &matrix->pos};
    uint32_t* words[4] = {&matrix->flags, &matrix->pad1, &matrix->pad2, &matrix->pad3};
    for (int a = 0; a < 4; ++a) {
        const uint8_t* at = bytes + 16 * a;
        *axes[a] = {LittleEndianGetFloat(at), LittleEndianGetFloat(at + 4), LittleEndianGetFloat(at + 8)};
        *words[a] = LittleEndianGetU32(at + 12);
    }
}

void MatrixToBytes(uint8_t* bytes, const Matrix* matrix)
{
    const V3d* axes[4] = {&matrix->right, &matrix->up, &matrix->at, &matrix->pos};
    const uint32_t words[4] = {matrix->flags, matrix->pad1, matrix->pad2, matrix->pad3};
    for (int a = 0; a < 4; ++a) {
        uint8_t* at = bytes + 16 * a;
        LittleEndianPutFloat(at, axes[a]->x);
        LittleEndianPutFloat(at + 4, axes[a]->y);
        LittleEndianPutFloat(at + 8, axes[a]->z);
        LittleEndianPutU32(at + 12, words[a]);
    }
}

bool ReadMatrices(Stream* stream, Matrix* matrices, uint32_t count, uint32_t skipBefore)
{
    uint8_t bytes[kMatrixBytes];
    for (uint32_t b = 0; b < count; ++b) {
        if (skipBefore && !StreamSkip(stream, skipBefore)) {
            return false;
        }
        const int64_t at = StreamGetPosition(stream);
        if (StreamRead(stream, bytes, sizeof(bytes)) != sizeof(bytes)) {
            return false;
        }
        // Bone matrices place the skinned vertices: finite numbers only (the
        // fourth word of each row is a flag or a pad, not a number).
        for (int row = 0; row < 4; ++row) {
            const uint8_t* axis = bytes + 16 * row;
            const float values[3] = {LittleEndianGetFloat(axis), LittleEndianGetFloat(axis + 4),
                                     LittleEndianGetFloat(axis + 8)};
            if (!StreamCheckFinite(values, 3, at < 0 ? -1 : at + 16 * row)) {
                return false;
            }
        }
        MatrixFromBytes(&matrices[b], bytes);
    }
    return true;
}

bool ReadVertices(Stream* stream, Skin* skin)
{
    const size_t vertices = size_t(skin->numVertices);
    return vertices == 0 ||
           (StreamReadInt32(stream, reinterpret_cast<int32_t*>(skin->vertexBoneIndices), 4 * vertices) &&
            StreamReadFiniteReal(stream, skin->vertexBoneWeights, 16 * vertices));
}

bool IndicesBelow(const Skin* skin, uint32_t bones)
{
    for (int32_t v = 0; v < skin->numVertices; ++v) {
        const uint32_t word = skin->vertexBoneIndices[v];
        for (uint32_t slot = 0; slot < 4; ++slot) {
            if (((word >> (8 * slot)) & 0xFF) >= bones) {
                return false;
            }
        }
    }
    return true;
}

/// Split tables: every mesh's runs inside the run table, every run's bones
/// inside the remap, every remap byte a bone slot or "not mapped".
bool SplitTablesValid(const Skin* skin)
{
    for (uint32_t b = 0; b < skin->numBones; ++b) {
        if (skin->splitData[b] >= skin->numBones && skin->splitData[b] != kNoRemap) {
            return false;
        }
    }
    for (uint32_t m = 0; m < skin->splitMeshCount; ++m) {
        if (uint32_t(skin->meshTable[2 * m]) + skin->meshTable[2 * m + 1] > skin->splitRunCount) {
            return false;
        }
    }
    for (uint32_t r = 0; r < skin->splitRunCount; ++r) {
        if (uint32_t(skin->runTable[2 * r]) + skin->runTable[2 * r + 1] > skin->numBones) {
            return false;
        }
    }
    return true;
}

/// Reads the split header and block into `skin`; `room` bytes remain in the sub-chunk.
bool ReadSplit(Stream* stream, Skin* skin, uint64_t room)
{
    uint32_t head[3];
    if (room < kSplitHeadBytes || !StreamReadInt32(stream, reinterpret_cast<int32_t*>(head), sizeof(head))) {
        return false;
    }
    if (head[1] < 1) {
        return true;
    }
    const uint64_t block = uint64_t(skin->numBones) + 2 * (uint64_t(head[1]) + head[2]);
    if (block > room - kSplitHeadBytes ||
        !SkinSetSplitData(skin, head[0], skin->numBones, head[1], head[2])) {
        return false;
    }
    if (StreamRead(stream, skin->splitData, size_t(block)) != block || !SplitTablesValid(skin)) {
        SkinFreeSplitData(skin);
        return false;
    }
    return true;
}

/// The pre-instanced form: a struct chunk holding the platform word and the bone count.
Skin* ReadNative(Stream* stream, uint32_t length)
{
    uint32_t type = 0, size = 0, version = 0;
    if (length < kChunkHeaderSize + 8 || !ChunkHeaderRead(stream, &type, &size, &version, nullptr) ||
        type != kChunkStruct || size < 8 || size > length - kChunkHeaderSize) {
        Fail();
        return nullptr;
    }
    if (!ChunkVersionIsSupported(version)) {
        ErrorRaise(kPluginIdSkin, kErrorBadVersion);
        return nullptr;
    }
    uint32_t words[2];
    if (!StreamReadInt32(stream, reinterpret_cast<int32_t*>(words), sizeof(words)) ||
        words[0] != kSkinPlatformD3D9 || words[1] > kSkinMaxStoredBones) {
        Fail();
        return nullptr;
    }
    Skin* skin = SkinAllocateRecord();
    if (skin) {
        skin->numBones = words[1];
    }
    return skin;
}

/// The body of a geometry's skin: a new skin, or null with the error recorded.
Skin* ReadBody(Stream* stream, uint32_t length, int32_t numVertices)
{
    uint8_t packed[4];
    if (length < 4 || StreamRead(stream, packed, sizeof(packed)) != sizeof(packed)) {
        Fail();
        return nullptr;
    }
    const uint32_t bones = packed[0];
    const uint32_t used = packed[1];
    const uint32_t maxWeights = packed[2];
    const uint64_t body = 4 + uint64_t(used) + kVertexBytes * uint64_t(numVertices) + kMatrixBytes * bones;
    if (maxWeights > kSkinMaxWeights || body > length) {
        Fail();
        return nullptr;
    }
    Skin* skin = SkinAllocateRecord();
    if (!skin) {
        return nullptr;
    }
    skin->numBones = bones;
    if (!SkinAllocateData(skin, numVertices, used ? used : bones)) {
        SkinFreeRecord(skin);
        return nullptr;
    }
    skin->numUsedBones = used;
    bool ok = (used == 0 || StreamRead(stream, skin->usedBones, used) == used) &&
              ReadVertices(stream, skin) && ReadMatrices(stream, skin->skinToBoneMatrices, bones, 0) &&
              IndicesBelow(skin, bones);
    for (uint32_t i = 0; ok && i < used; ++i) {
        ok = skin->usedBones[i] < bones;
    }
    if (ok) {
        skin->maxWeights = maxWeights ? maxWeights : SkinComputeMaxWeights(skin);
        if (used == 0) {
            SkinComputeUsedBones(skin);
        }
        ok = ReadSplit(stream, skin, length - body);
    }
    if (!ok) {
        SkinDestroy(skin);
        Fail();
        return nullptr;
    }
    return skin;
}

/// Sets a freshly read skin on the geometry, freeing the one it replaces:
/// the extension owns what was read into it.
void Attach(Geometry* geometry, Skin* skin)
{
    Skin* old = SkinGeometryGetSkin(geometry);
    SkinGeometrySetSkin(geometry, skin);
    if (old) {
        SkinDestroy(old);
    }
}

} // namespace

Stream* SkinGeometryStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* geometry = static_cast<Geometry*>(object);
    if (length < 0) {
        return Fail();
    }
    Skin* skin = (geometry->format & kGeometryNative)
                     ? ReadNative(stream, uint32_t(length))
                     : ReadBody(stream, uint32_t(length), geometry->numVertices);
    if (!skin) {
        return nullptr;
    }
    Attach(geometry, skin);
    return stream;
}

int32_t SkinGeometryStreamGetSize(const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    const Skin* skin = SkinGeometryGetSkin(geometry);
    if (!skin || (geometry->format & kGeometryNative)) {
        return 0;
    }
    uint64_t size = 4 + uint64_t(skin->numUsedBones) + kVertexBytes * uint64_t(skin->numVertices) +
                    kMatrixBytes * skin->numBones + kSplitHeadBytes;
    if (skin->splitMeshCount > 0) {
        size += uint64_t(skin->numBones) + 2 * (uint64_t(skin->splitMeshCount) + skin->splitRunCount);
    }
    return size > INT32_MAX ? -1 : int32_t(size);
}

Stream* SkinGeometryStreamWrite(Stream* stream, int32_t, const void* object, int32_t, int32_t)
{
    const auto* geometry = static_cast<const Geometry*>(object);
    const Skin* skin = SkinGeometryGetSkin(geometry);
    // The packed counts are single bytes, and the vertex arrays must be the geometry's.
    if (skin->numBones > kSkinMaxStoredBones || skin->numUsedBones > kSkinMaxStoredBones ||
        skin->numVertices != geometry->numVertices) {
        return Fail(ErrorCode(kErrorBadArgument, "skin cannot be saved"));
    }
    const uint8_t packed[4] = {uint8_t(skin->numBones), uint8_t(skin->numUsedBones),
                               uint8_t(skin->maxWeights), 0};
    const size_t vertices = size_t(skin->numVertices);
    if (!StreamWrite(stream, packed, sizeof(packed)) ||
        (skin->numUsedBones && !StreamWrite(stream, skin->usedBones, skin->numUsedBones)) ||
        (vertices && (!StreamWriteInt32(stream, reinterpret_cast<const int32_t*>(skin->vertexBoneIndices),
                                        4 * vertices) ||
                      !StreamWriteReal(stream, skin->vertexBoneWeights, 16 * vertices)))) {
        return nullptr;
    }
    uint8_t bytes[kMatrixBytes];
    for (uint32_t b = 0; b < skin->numBones; ++b) {
        MatrixToBytes(bytes, &skin->skinToBoneMatrices[b]);
        if (!StreamWrite(stream, bytes, sizeof(bytes))) {
            return nullptr;
        }
    }
    const int32_t split[3] = {int32_t(skin->splitBoneLimit), int32_t(skin->splitMeshCount),
                              int32_t(skin->splitRunCount)};
    if (!StreamWriteInt32(stream, split, sizeof(split))) {
        return nullptr;
    }
    if (skin->splitMeshCount > 0) {
        const size_t block =
            size_t(skin->numBones) + 2 * (size_t(skin->splitMeshCount) + skin->splitRunCount);
        if (!StreamWrite(stream, skin->splitData, block)) {
            return nullptr;
        }
    }
    return stream;
}

/// The older form: u32 bone count, 4 skipped bytes, the vertex indices and
/// weights, then per bone 12 skipped bytes and its matrix. Skipped when the
/// geometry already has a skin.
Stream* SkinAtomicStreamRead(Stream* stream, int32_t length, void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    Geometry* geometry = atomic->geometry;
    if (!geometry || SkinGeometryGetSkin(geometry)) {
        return stream;
    }
    uint32_t bones = 0;
    if (length < 8 || !StreamReadUInt32(stream, &bones) || bones > kSkinMaxStoredBones ||
        8 + kVertexBytes * uint64_t(geometry->numVertices) + (12 + kMatrixBytes) * bones > uint64_t(length)) {
        return Fail();
    }
    Skin* skin = SkinAllocateRecord();
    if (!skin) {
        return nullptr;
    }
    skin->numBones = bones;
    if (!SkinAllocateData(skin, geometry->numVertices, bones)) {
        SkinFreeRecord(skin);
        return nullptr;
    }
    if (!StreamSkip(stream, 4) || !ReadVertices(stream, skin) ||
        !ReadMatrices(stream, skin->skinToBoneMatrices, bones, 12) || !IndicesBelow(skin, bones)) {
        SkinDestroy(skin);
        return Fail();
    }
    skin->maxWeights = SkinComputeMaxWeights(skin);
    SkinComputeUsedBones(skin);
    SkinGeometrySetSkin(geometry, skin);
    return stream;
}
