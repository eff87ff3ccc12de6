#include "graphics/core/memory.h"
#include "physics/core/articulated/articulated.h"
#include "physics/core/serial/serialpart.h"
#include "physics/core/utils/memory.h"

namespace {

/// The fewest bytes a part item can take: a lower bound that lets a reader
/// refuse counts before allocating for them.
constexpr uint32_t kMinPartBytes = 4 + 108 + 8 + 40 + 24 + 16 + 8 + 16;

// Entries some part drives are claimed; the others keep a value of their own.
bool RebuildClaimed(OlpArtDef* def)
{
    if (def->mappingCount == 0) {
        return true;
    }
    def->claimed = static_cast<uint32_t*>(MemoryAllocateZeroed(def->mappingCount, 4, kOlpMemoryHint));
    if (def->claimed == nullptr) {
        return false;
    }
    for (uint32_t i = 0; i < def->partCount; ++i) {
        if (def->boneIndex[i] != kOlpArtNoBone) {
            def->claimed[def->boneIndex[i]] = kOlpArtClaimed;
        }
    }
    return true;
}

bool ReadBody(OlpSerialCtx* ctx, OlpArtDef* def, uint16_t parts, uint16_t joints)
{
    for (uint32_t i = 0; i < parts; ++i) {
        // The fresh volume holds nothing to release before it is read into.
        OlpVolumeDestroyContents(&def->volumes[i]);
        if (!OlpPartStreamRead(ctx, &def->parts[i])) {
            return false;
        }
    }
    def->partCount = parts;
    for (uint32_t j = 0; j < joints; ++j) {
        if (!OlpJointDefStreamRead(ctx, &def->joints[j])) {
            return false;
        }
    }
    def->jointCount = joints;
    for (uint32_t j = 0; j < joints; ++j) {
        uint16_t ends[2];
        if (!OlpSerialReadU16(ctx, &ends[0]) || !OlpSerialReadU16(ctx, &ends[1])) {
            return false;
        }
        if (ends[0] >= parts || ends[1] >= parts) {
            return OlpSerialFail() != 0;
        }
        def->jointEnds[2 * j] = ends[0];
        def->jointEnds[2 * j + 1] = ends[1];
    }
    OlpBitMatrix* pairs = OlpBitMatrixStreamRead(ctx);
    if (pairs == nullptr) {
        return false;
    }
    OlpArtDefSetPartPairs(def, pairs);
    if (pairs->rows != def->partCapacity || pairs->columns != def->partCapacity) {
        return OlpSerialFail() != 0;
    }
    uint32_t mapping = 0;
    if (!OlpSerialReadU32(ctx, &mapping) || !OlpSerialReadArray(ctx, def->boneKeys, parts) ||
        !OlpSerialReadArray(ctx, def->boneIndex, parts)) {
        return false;
    }
    if (mapping > kOlpArtMaxMapping) {
        return OlpSerialFail() != 0;
    }
    def->mappingCount = mapping;
    for (uint32_t i = 0; i < parts; ++i) {
        if (def->boneIndex[i] != kOlpArtNoBone && def->boneIndex[i] >= mapping) {
            return OlpSerialFail() != 0;
        }
    }
    return RebuildClaimed(def);
}

} // namespace

int32_t OlpArtDefSerialize(OlpSerialCtx* ctx, const OlpArtDef* def)
{
    if (def->partPairs == nullptr || !OlpSerialWriteU16(ctx, def->partCapacity) ||
        !OlpSerialWriteU16(ctx, def->jointCapacity) || !OlpSerialWriteU16(ctx, def->partCount) ||
        !OlpSerialWriteU16(ctx, def->jointCount)) {
        return 0;
    }
    for (uint32_t i = 0; i < def->partCount; ++i) {
        if (!OlpPartStreamWrite(ctx, &def->parts[i])) {
            return 0;
        }
    }
    for (uint32_t j = 0; j < def->jointCount; ++j) {
        if (!OlpJointDefStreamWrite(ctx, &def->joints[j])) {
            return 0;
        }
    }
    for (uint32_t j = 0; j < def->jointCount; ++j) {
        if (!OlpSerialWriteU16(ctx, def->jointEnds[2 * j]) ||
            !OlpSerialWriteU16(ctx, def->jointEnds[2 * j + 1])) {
            return 0;
        }
    }
    return OlpBitMatrixStreamWrite(ctx, def->partPairs) && OlpSerialWriteU32(ctx, def->mappingCount) &&
           OlpSerialWriteArray(ctx, def->boneKeys, def->partCount) &&
           OlpSerialWriteArray(ctx, def->boneIndex, def->partCount);
}

OlpArtDef* OlpArtDefDeserialize(OlpSerialCtx* ctx, uint16_t fixedParts, uint16_t fixedJoints,
                                OlpArtVolumeInit volumeInit)
{
    uint16_t counts[4];
    for (uint16_t& count : counts) {
        if (!OlpSerialReadU16(ctx, &count)) {
            return nullptr;
        }
    }
    const uint16_t partCapacity = counts[0];
    const uint16_t jointCapacity = counts[1];
    // The part-pair matrix of capacity x capacity bits must still fit in the
    // chunk, as must every used part: a reader allocates for neither before.
    const uint64_t pairBytes = (uint64_t(partCapacity) * partCapacity + 31) / 32 * 4;
    const uint64_t needed = pairBytes + uint64_t(counts[2]) * kMinPartBytes;
    if ((fixedParts != 0 && partCapacity != fixedParts) ||
        (fixedJoints != 0 && jointCapacity != fixedJoints) || partCapacity == 0 || counts[2] > partCapacity ||
        counts[3] > jointCapacity || needed > OlpSerialRemaining(ctx)) {
        OlpSerialFail();
        return nullptr;
    }
    OlpArtDef* def = OlpArtDefCreate(partCapacity, jointCapacity, volumeInit);
    if (def == nullptr) {
        return nullptr;
    }
    if (!ReadBody(ctx, def, counts[2], counts[3])) {
        OlpArtDefRelease(def);
        return nullptr;
    }
    return def;
}
