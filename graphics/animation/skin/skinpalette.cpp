// The shader path's bone palette: element types of the blend weights and
// indices, the palette slot of each bone, the palette itself (three
// registers per bone) with its cache, and its upload in runs.
#include <algorithm>

#include "graphics/animation/hierarchy.h"
#include "graphics/animation/skin/skininternal.h"
#include "graphics/animation/skin/skinpipeline.h"
#include "graphics/core/frame.h"
#include "graphics/core/instance.h"
#include "graphics/core/matrix.h"
#include "graphics/d3d9/d3d9buffers.h"
#include "graphics/scene/atomic.h"

namespace {

constexpr uint32_t kNoRemap = 0xFF;

/// The palette last computed: for this hierarchy, frame counter (complemented,
/// so that a fresh cache never matches) and atomic frame.
struct PaletteCache
{
    const Hierarchy* hierarchy;
    uint32_t frameCounter;
    const Frame* frame;
};
PaletteCache gCache = {nullptr, 0, nullptr};

uint32_t FirstAllowed(uint32_t declTypes, std::initializer_list<std::pair<uint32_t, uint32_t>> choices,
                      uint32_t otherwise)
{
    for (const auto& [cap, type] : choices) {
        if (declTypes & cap) {
            return type;
        }
    }
    return otherwise;
}

void StoreColumns(SkinPaletteBone* out, const Matrix& m)
{
    const V3d* rows[4] = {&m.right, &m.up, &m.at, &m.pos};
    for (int r = 0; r < 4; ++r) {
        out->column[0][r] = rows[r]->x;
        out->column[1][r] = rows[r]->y;
        out->column[2][r] = rows[r]->z;
    }
}

uint32_t Upload(uint32_t base, uint32_t slot, const SkinPaletteBone* first, uint32_t bones)
{
    D3D9SetVertexShaderConstant(base + kSkinPaletteRegisters * slot, &first->column[0][0],
                                kSkinPaletteRegisters * bones);
    return 1;
}

} // namespace

uint32_t SkinBlendWeightType(uint32_t maxWeights, uint32_t declTypes)
{
    const std::pair<uint32_t, uint32_t> four[] = {
        {D3DDTCAPS_USHORT4N, D3DDECLTYPE_USHORT4N},
        {D3DDTCAPS_SHORT4N, D3DDECLTYPE_SHORT4N},
        {D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N},
    };
    if (maxWeights <= 2) {
        return FirstAllowed(declTypes,
                            {{D3DDTCAPS_USHORT2N, D3DDECLTYPE_USHORT2N},
                             {D3DDTCAPS_SHORT2N, D3DDECLTYPE_SHORT2N},
                             {D3DDTCAPS_DEC3N, D3DDECLTYPE_DEC3N},
                             {D3DDTCAPS_UBYTE4N, D3DDECLTYPE_UBYTE4N}},
                            D3DDECLTYPE_D3DCOLOR);
    }
    if (maxWeights == 3 && (declTypes & D3DDTCAPS_DEC3N)) {
        return D3DDECLTYPE_DEC3N;
    }
    return FirstAllowed(declTypes, {four[0], four[1], four[2]}, D3DDECLTYPE_D3DCOLOR);
}

uint32_t SkinBlendIndexType(uint32_t maxWeights, uint32_t declTypes)
{
    if (maxWeights < 3) {
        return D3DDECLTYPE_SHORT2;
    }
    return (declTypes & D3DDTCAPS_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_SHORT4;
}

uint32_t SkinPaletteSlot(const Skin* skin, int32_t nodeCount, uint32_t bone)
{
    if (SkinIsSplit(skin)) {
        const uint32_t slot = bone < skin->numBones ? skin->splitData[bone] : kNoRemap;
        return slot == kNoRemap || slot >= uint32_t(nodeCount) ? 0 : slot;
    }
    if (nodeCount > int32_t(SkinGetDeviceState()->maxPaletteBones)) {
        for (uint32_t i = 0; i < skin->numUsedBones; ++i) {
            if (skin->usedBones[i] == bone) {
                return i;
            }
        }
        return 0;
    }
    return bone;
}

void SkinBonePaletteForget()
{
    gCache = {nullptr, 0, nullptr};
}

bool SkinBonePaletteCompute(SkinPaletteBone* palette, const Atomic* atomic, const Skin* skin)
{
    const Hierarchy* hierarchy = SkinAtomicGetHierarchy(atomic);
    const Frame* frame = AtomicGetFrame(atomic);
    const uint32_t counter = ~uint32_t(EngineGetInstance()->renderFrame);
    if (!hierarchy || !skin->skinToBoneMatrices) {
        return false;
    }
    if (gCache.hierarchy == hierarchy && gCache.frameCounter == counter && gCache.frame == frame) {
        return true;
    }
    if (hierarchy->nodeCount > kSkinWorkspaceBones) {
        SkinReportTooManyNodes();
        return false;
    }
    const Matrix inverse = SkinInverseAtomicMatrix(atomic);
    const int32_t count =
        std::min<int32_t>(hierarchy->nodeCount, int32_t(std::min<uint32_t>(skin->numBones, 256)));
    for (int32_t i = 0; i < count; ++i) {
        Matrix result;
        SkinPoseBone(&result, skin->skinToBoneMatrices[i], hierarchy, i, inverse);
        StoreColumns(&palette[i], result);
    }
    gCache = {hierarchy, counter, frame};
    return true;
}

uint32_t SkinBonePaletteUpload(const SkinPaletteBone* palette, const Skin* skin, int32_t nodeCount,
                               uint32_t base, uint32_t mesh)
{
    const int32_t bones = std::min<int32_t>(nodeCount, int32_t(std::min<uint32_t>(skin->numBones, 256)));
    uint32_t calls = 0;
    if (SkinIsSplit(skin)) {
        if (mesh >= skin->splitMeshCount) {
            return 0;
        }
        const uint32_t firstRun = skin->meshTable[2 * mesh];
        const uint32_t runs = skin->meshTable[2 * mesh + 1];
        for (uint32_t r = firstRun; r < firstRun + runs && r < skin->splitRunCount; ++r) {
            const uint32_t first = skin->runTable[2 * r];
            for (uint32_t bone = first; bone < first + skin->runTable[2 * r + 1] && int32_t(bone) < bones;
                 ++bone) {
                calls += Upload(base, SkinPaletteSlot(skin, nodeCount, bone), &palette[bone], 1);
            }
        }
        return calls;
    }
    const uint8_t* used = skin->usedBones;
    const uint32_t count = skin->numUsedBones;
    if (nodeCount > int32_t(SkinGetDeviceState()->maxPaletteBones)) {
        // Slots follow the used list: each run of consecutive bones in the list
        // goes to consecutive slots from its place in the list.
        for (uint32_t start = 0; start < count;) {
            uint32_t end = start + 1;
            while (end < count && used[end] == used[end - 1] + 1) {
                ++end;
            }
            if (used[start] < uint32_t(bones)) {
                calls += Upload(base, start, &palette[used[start]], std::min<uint32_t>(end, count) - start);
            }
            start = end;
        }
        return calls;
    }
    if (count < uint32_t(bones)) {
        // Slots are the bone indices: each run of consecutive used bones at its own slot.
        for (uint32_t start = 0; start < count;) {
            uint32_t end = start + 1;
            while (end < count && used[end] == used[end - 1] + 1 && used[end] < uint32_t(bones)) {
                ++end;
            }
            if (used[start] < uint32_t(bones)) {
                calls += Upload(base, used[start], &palette[used[start]], end - start);
            }
            start = end;
        }
        return calls;
    }
    return bones > 0 ? Upload(base, 0, palette, uint32_t(bones)) : 0;
}
