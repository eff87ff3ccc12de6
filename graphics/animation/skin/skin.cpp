// The skin plug-in: its engine module (the record free list, the bone
// workspace and the pipelines, shared by every engine open), the atomic and
// geometry extensions, and the skin record's construction and preparation.
#include "graphics/animation/skin/skin.h"

#include <cstring>
#include <utility>

#include "graphics/animation/animationids.h"
#include "graphics/animation/skin/skininternal.h"
#include "graphics/animation/skin/skinpipeline.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/freelist.h"
#include "graphics/core/matrix.h"
#include "graphics/core/memory.h"
#include "graphics/core/pipeline.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/sceneplugins.h"

namespace {

constexpr uint32_t kHintObject = kMemoryHintObject | kPluginIdSkin;
constexpr uint32_t kHintEngine = kMemoryHintEngine | kPluginIdSkin;
/// Plug-in of the material effects and the data word its atomics carry first.
constexpr uint32_t kPluginIdMaterialEffects = 0x120;

struct SkinModule
{
    int32_t openCount;
    FreeList* freeList;
    void* workspaceBlock;
    SkinBoneMatrix* workspace;
    Pipeline* pipelines[kSkinPipelineSlots];
    bool tooManyNodesReported;
};

SkinModule gModule = {};
int32_t gEntriesPerBlock = 20;
int32_t gBlocksToPreallocate = 1;
int32_t gAtomicOffset = -1;
int32_t gGeometryOffset = -1;

void CloseModule()
{
    SkinPipelinesDestroy();
    if (gModule.freeList) {
        FreeListDestroy(gModule.freeList);
    }
    MemoryFree(gModule.workspaceBlock);
    gModule = SkinModule{};
}

void* SkinOpen(void* instance, int32_t, int32_t)
{
    if (gModule.openCount++ > 0) {
        return instance;
    }
    gModule.freeList = FreeListCreate(sizeof(Skin), uint32_t(gEntriesPerBlock), 0,
                                      uint32_t(gBlocksToPreallocate), nullptr, kHintEngine);
    gModule.workspaceBlock =
        MemoryAllocateZeroed(1, kSkinWorkspaceBones * sizeof(SkinBoneMatrix) + 15, kHintEngine);
    if (!gModule.freeList || !gModule.workspaceBlock) {
        ErrorRaise(0, kErrorOutOfMemory);
        CloseModule();
        return nullptr;
    }
    const auto address = reinterpret_cast<uintptr_t>(gModule.workspaceBlock);
    gModule.workspace = reinterpret_cast<SkinBoneMatrix*>((address + 15) & ~uintptr_t{15});
    if (!SkinPipelineCreate()) {
        CloseModule();
        return nullptr;
    }
    return instance;
}

void* SkinClose(void* instance, int32_t, int32_t)
{
    if (gModule.openCount > 0 && --gModule.openCount == 0) {
        CloseModule();
    }
    return instance;
}

void* AtomicConstruct(void* object, int32_t, int32_t)
{
    *SkinAtomicSlot(static_cast<Atomic*>(object)) = nullptr;
    return object;
}

void* AtomicCopy(void* destination, const void* source, int32_t, int32_t)
{
    *SkinAtomicSlot(static_cast<Atomic*>(destination)) = *SkinAtomicSlot(static_cast<const Atomic*>(source));
    return destination;
}

void* GeometryConstruct(void* object, int32_t, int32_t)
{
    *SkinGeometrySlot(static_cast<Geometry*>(object)) = nullptr;
    return object;
}

void* GeometryDestruct(void* object, int32_t, int32_t)
{
    Skin** slot = SkinGeometrySlot(static_cast<Geometry*>(object));
    if (*slot) {
        SkinDestroy(*slot);
        *slot = nullptr;
    }
    return object;
}

/// A skinned atomic read from a stream is drawn by the skin pipeline. The
/// effects' type is asked for when they are attached and the atomic uses
/// them; the one skin pipeline answers every type.
int32_t AtomicAlways(void* object, int32_t, int32_t)
{
    auto* atomic = static_cast<Atomic*>(object);
    if (!atomic->geometry || !SkinGeometryGetSkin(atomic->geometry)) {
        return 1;
    }
    uint32_t type = 1;
    const int32_t effects = AtomicGetPluginOffset(kPluginIdMaterialEffects);
    if (effects >= 0) {
        uint32_t word = 0;
        std::memcpy(&word, reinterpret_cast<const uint8_t*>(atomic) + effects, sizeof(word));
        type = word ? 2 : 1;
    }
    SkinAtomicSetType(atomic, type);
    return 1;
}

int32_t AtomicRights(void* object, int32_t, int32_t, uint32_t value)
{
    auto* atomic = static_cast<Atomic*>(object);
    if (atomic->geometry && SkinGeometryGetSkin(atomic->geometry)) {
        SkinAtomicSetType(atomic, value);
    }
    return 1;
}

uint8_t IndexByte(uint32_t word, uint32_t slot)
{
    return uint8_t(word >> (8 * slot));
}

uint32_t WeightBits(float weight)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &weight, sizeof(bits));
    return bits;
}

} // namespace

Skin** SkinGeometrySlot(const Geometry* geometry)
{
    auto* bytes = reinterpret_cast<uint8_t*>(const_cast<Geometry*>(geometry));
    return reinterpret_cast<Skin**>(bytes + gGeometryOffset);
}

Hierarchy** SkinAtomicSlot(const Atomic* atomic)
{
    auto* bytes = reinterpret_cast<uint8_t*>(const_cast<Atomic*>(atomic));
    return reinterpret_cast<Hierarchy**>(bytes + gAtomicOffset);
}

Pipeline** SkinPipelineTable()
{
    return gModule.pipelines;
}

bool SkinPluginAttach()
{
    const int32_t module = EngineAttachPlugin(0, kPluginIdSkin, SkinOpen, SkinClose);
    gAtomicOffset =
        AtomicRegisterPlugin(sizeof(Hierarchy*), kPluginIdSkin, AtomicConstruct, nullptr, AtomicCopy);
    const int32_t atomicStream =
        AtomicRegisterPluginStream(kPluginIdSkin, SkinAtomicStreamRead, nullptr, nullptr);
    const int32_t always = AtomicSetStreamAlwaysCallBack(kPluginIdSkin, AtomicAlways);
    const int32_t rights = AtomicSetStreamRightsCallBack(kPluginIdSkin, AtomicRights);
    gGeometryOffset =
        GeometryRegisterPlugin(sizeof(Skin*), kPluginIdSkin, GeometryConstruct, GeometryDestruct, nullptr);
    const int32_t geometryStream = GeometryRegisterPluginStream(
        kPluginIdSkin, SkinGeometryStreamRead, SkinGeometryStreamWrite, SkinGeometryStreamGetSize);
    return module >= 0 && gAtomicOffset >= 0 && atomicStream >= 0 && always >= 0 && rights >= 0 &&
           gGeometryOffset >= 0 && geometryStream >= 0;
}

void SkinSetFreeListCreateParams(int32_t entriesPerBlock, int32_t blocksToPreallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gBlocksToPreallocate = blocksToPreallocate;
}

Atomic* SkinAtomicSetHierarchy(Atomic* atomic, Hierarchy* hierarchy)
{
    *SkinAtomicSlot(atomic) = hierarchy;
    return atomic;
}

Hierarchy* SkinAtomicGetHierarchy(const Atomic* atomic)
{
    return *SkinAtomicSlot(atomic);
}

Skin* SkinGeometryGetSkin(const Geometry* geometry)
{
    return *SkinGeometrySlot(geometry);
}

Geometry* SkinGeometrySetSkin(Geometry* geometry, Skin* skin)
{
    Skin** slot = SkinGeometrySlot(geometry);
    if (*slot == skin) {
        return geometry;
    }
    *slot = skin;
    if (skin) {
        SkinPrepare(skin);
    }
    return geometry;
}

Skin* SkinAllocateRecord()
{
    if (!gModule.freeList) {
        ErrorRaise(0, kErrorNotStarted);
        return nullptr;
    }
    auto* skin = static_cast<Skin*>(MemoryFreeListAlloc(gModule.freeList, kHintObject));
    if (!skin) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, sizeof(Skin)));
        return nullptr;
    }
    *skin = Skin{};
    return skin;
}

void SkinFreeRecord(Skin* skin)
{
    if (gModule.freeList) {
        MemoryFreeListFree(gModule.freeList, skin);
    }
}

bool SkinAllocateData(Skin* skin, int32_t numVertices, uint32_t usedRoom)
{
    const size_t vertices = size_t(numVertices);
    const size_t size = size_t(skin->numBones) * sizeof(Matrix) + vertices * 20 + usedRoom + 15;
    skin->dataBlock = MemoryAllocateZeroed(1, size, kHintObject);
    if (!skin->dataBlock) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
        return false;
    }
    auto* bytes = static_cast<uint8_t*>(skin->dataBlock);
    skin->usedBones = bytes;
    const auto matrices = (reinterpret_cast<uintptr_t>(bytes + usedRoom) + 15) & ~uintptr_t{15};
    skin->skinToBoneMatrices = reinterpret_cast<Matrix*>(matrices);
    skin->vertexBoneIndices = reinterpret_cast<uint32_t*>(skin->skinToBoneMatrices + skin->numBones);
    skin->vertexBoneWeights = reinterpret_cast<float*>(skin->vertexBoneIndices + vertices);
    skin->numVertices = numVertices;
    return true;
}

uint32_t SkinComputeMaxWeights(const Skin* skin)
{
    uint32_t maximum = 1;
    for (int32_t v = 0; v < skin->numVertices && maximum < kSkinMaxWeights; ++v) {
        const float* weights = skin->vertexBoneWeights + 4 * v;
        while (maximum < kSkinMaxWeights && WeightBits(weights[maximum]) != 0) {
            ++maximum;
        }
    }
    return maximum;
}

void SkinComputeUsedBones(Skin* skin)
{
    bool seen[256] = {};
    uint32_t count = 0;
    for (int32_t v = 0; v < skin->numVertices; ++v) {
        const float* weights = skin->vertexBoneWeights + 4 * v;
        for (uint32_t slot = 0; slot < skin->maxWeights; ++slot) {
            const uint8_t bone = IndexByte(skin->vertexBoneIndices[v], slot);
            if (WeightBits(weights[slot]) != 0 && !seen[bone]) {
                seen[bone] = true;
                skin->usedBones[count++] = bone;
            }
        }
    }
    skin->numUsedBones = count;
}

void SkinPrepare(Skin* skin)
{
    for (int32_t v = 0; skin->vertexBoneWeights && v < skin->numVertices; ++v) {
        float* weights = skin->vertexBoneWeights + 4 * v;
        if (weights[0] >= 1.0f) {
            continue;
        }
        uint8_t bones[4];
        for (uint32_t slot = 0; slot < 4; ++slot) {
            bones[slot] = IndexByte(skin->vertexBoneIndices[v], slot);
        }
        // Neighbour swaps on the bit patterns until no pair is out of order.
        for (bool swapped = true; swapped;) {
            swapped = false;
            for (uint32_t slot = 0; slot + 1 < 4; ++slot) {
                if (WeightBits(weights[slot]) < WeightBits(weights[slot + 1])) {
                    std::swap(weights[slot], weights[slot + 1]);
                    std::swap(bones[slot], bones[slot + 1]);
                    swapped = true;
                }
            }
        }
        skin->vertexBoneIndices[v] = uint32_t(bones[0]) | uint32_t(bones[1]) << 8 | uint32_t(bones[2]) << 16 |
                                     uint32_t(bones[3]) << 24;
    }
    uint8_t* used = skin->usedBones;
    for (uint32_t i = 1; used && i < skin->numUsedBones; ++i) {
        for (uint32_t j = i; j > 0 && used[j - 1] > used[j]; --j) {
            std::swap(used[j - 1], used[j]);
        }
    }
}

Skin* SkinCreate(int32_t numVertices, uint32_t numBones, const float* weights, const uint32_t* indices,
                 const Matrix* matrices)
{
    if (numVertices < 0 || (numVertices > 0 && (!weights || !indices))) {
        ErrorRaise(0, kErrorBadArgument);
        return nullptr;
    }
    for (int32_t v = 0; v < numVertices; ++v) {
        for (uint32_t slot = 0; slot < 4; ++slot) {
            if (IndexByte(indices[v], slot) >= numBones) {
                ErrorRaise(0, ErrorCode(kErrorBadArgument, "bone index not below the bone count"));
                return nullptr;
            }
        }
    }
    Skin* skin = SkinAllocateRecord();
    if (!skin) {
        return nullptr;
    }
    skin->numBones = numBones;
    const uint32_t usedRoom = numBones < 256 ? numBones : 256;
    if (!SkinAllocateData(skin, numVertices, usedRoom)) {
        SkinFreeRecord(skin);
        return nullptr;
    }
    const size_t vertices = size_t(numVertices);
    if (vertices > 0) {
        std::memcpy(skin->vertexBoneIndices, indices, vertices * sizeof(uint32_t));
        std::memcpy(skin->vertexBoneWeights, weights, vertices * 4 * sizeof(float));
    }
    if (matrices && numBones > 0) {
        std::memcpy(static_cast<void*>(skin->skinToBoneMatrices), matrices, numBones * sizeof(Matrix));
    }
    skin->maxWeights = SkinComputeMaxWeights(skin);
    SkinComputeUsedBones(skin);
    return skin;
}

int32_t SkinDestroy(Skin* skin)
{
    if (skin) {
        MemoryFree(skin->dataBlock);
        MemoryFree(skin->splitData);
        SkinFreeRecord(skin);
    }
    return 0;
}

uint32_t SkinGetNumBones(const Skin* skin)
{
    return skin->numBones;
}
const float* SkinGetVertexBoneWeights(const Skin* skin)
{
    return skin->vertexBoneWeights;
}
const uint32_t* SkinGetVertexBoneIndices(const Skin* skin)
{
    return skin->vertexBoneIndices;
}
const Matrix* SkinGetSkinToBoneMatrices(const Skin* skin)
{
    return skin->skinToBoneMatrices;
}
bool SkinIsSplit(const Skin* skin)
{
    return skin->splitMeshCount > 0;
}
const uint8_t* SkinGetBoneRemap(const Skin* skin)
{
    return skin->splitData;
}
const uint8_t* SkinGetMeshTable(const Skin* skin)
{
    return skin->meshTable;
}
const uint8_t* SkinGetRunTable(const Skin* skin)
{
    return skin->runTable;
}

Skin* SkinSetSplitData(Skin* skin, uint32_t boneLimit, uint32_t remapSize, uint32_t meshCount,
                       uint32_t runCount)
{
    SkinFreeSplitData(skin);
    const size_t size = size_t(remapSize) + 2 * (size_t(meshCount) + runCount);
    skin->splitData = static_cast<uint8_t*>(MemoryAllocateZeroed(1, size, kHintObject));
    if (!skin->splitData) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, size));
        return nullptr;
    }
    skin->splitBoneLimit = boneLimit;
    skin->splitMeshCount = meshCount;
    skin->splitRunCount = runCount;
    skin->meshTable = skin->splitData + remapSize;
    skin->runTable = skin->meshTable + 2 * size_t(meshCount);
    return skin;
}

Skin* SkinFreeSplitData(Skin* skin)
{
    MemoryFree(skin->splitData);
    skin->splitData = skin->meshTable = skin->runTable = nullptr;
    skin->splitBoneLimit = skin->splitMeshCount = skin->splitRunCount = 0;
    return skin;
}

Atomic* SkinAtomicSetType(Atomic* atomic, uint32_t)
{
    atomic->pipeline = gModule.pipelines[0];
    return atomic;
}

uint32_t SkinAtomicGetType(const Atomic* atomic)
{
    const Pipeline* pipeline = atomic->pipeline;
    return pipeline && pipeline->pluginId == kPluginIdSkin ? uint32_t(pipeline->pluginData) : 0;
}

void SkinReportTooManyNodes()
{
    if (!gModule.tooManyNodesReported) {
        gModule.tooManyNodesReported = true;
        ErrorRaise(kPluginIdSkin,
                   ErrorCode(kErrorBadArgument, "hierarchy has more nodes than bone matrices"));
    }
}

SkinBoneMatrix* SkinGetMatrixWorkspace()
{
    return gModule.workspace;
}
