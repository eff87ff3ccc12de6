#include <algorithm>
#include <cstring>

#include "graphics/core/memory.h"
#include "physics/core/articulated/articulated.h"
#include "physics/core/utils/memory.h"

namespace {

void FreeContents(OlpArtDef* def)
{
    if (def->volumes != nullptr && def->parts != nullptr) {
        for (uint32_t i = 0; i < def->partCapacity; ++i) {
            OlpPartDeinit(&def->parts[i]);
        }
    }
    OlpAlignedFree(def->volumes);
    MemoryFree(def->parts);
    MemoryFree(def->joints);
    MemoryFree(def->jointEnds);
    MemoryFree(def->boneKeys);
    MemoryFree(def->boneIndex);
    MemoryFree(def->claimed);
    OlpBitMatrixDestroy(def->partPairs);
    MemoryFree(def);
}

void* Zeroed(size_t count, size_t size)
{
    return count == 0 ? nullptr : MemoryAllocateZeroed(count, size, kOlpMemoryHint);
}

} // namespace

OlpArtDef* OlpArtDefCreate(uint16_t parts, uint16_t joints, OlpArtVolumeInit volumeInit)
{
    auto* def = static_cast<OlpArtDef*>(MemoryAllocateZeroed(1, sizeof(OlpArtDef), kOlpMemoryHint));
    if (def == nullptr) {
        return nullptr;
    }
    def->refCount = 1;
    def->partCapacity = parts;
    def->jointCapacity = joints;
    def->volumes =
        parts != 0 ? static_cast<OlpVolume*>(OlpAlignedAlloc(sizeof(OlpVolume) * parts, 16, kOlpMemoryHint))
                   : nullptr;
    def->parts = static_cast<OlpPart*>(Zeroed(parts, sizeof(OlpPart)));
    def->joints = static_cast<OlpJointDef*>(Zeroed(joints, sizeof(OlpJointDef)));
    def->jointEnds = static_cast<uint16_t*>(Zeroed(2 * size_t(joints), sizeof(uint16_t)));
    def->boneKeys = static_cast<uint32_t*>(Zeroed(parts, sizeof(uint32_t)));
    def->boneIndex = static_cast<uint32_t*>(Zeroed(parts, sizeof(uint32_t)));
    def->partPairs = parts != 0 ? OlpBitMatrixCreate(parts, parts) : nullptr;
    const bool partsMade =
        parts == 0 || (def->volumes != nullptr && def->parts != nullptr && def->boneKeys != nullptr &&
                       def->boneIndex != nullptr && def->partPairs != nullptr);
    if (!partsMade || (joints != 0 && (def->joints == nullptr || def->jointEnds == nullptr))) {
        // Parts not yet initialised hold nothing to release.
        def->partCapacity = 0;
        FreeContents(def);
        return nullptr;
    }
    if (parts != 0) {
        OlpMemFill(def->volumes, 0, sizeof(OlpVolume) * parts);
    }
    for (uint32_t i = 0; i < parts; ++i) {
        volumeInit(&def->volumes[i]);
        OlpPartInit(&def->parts[i], &def->volumes[i]);
        def->boneIndex[i] = kOlpArtNoBone;
    }
    for (uint32_t j = 0; j < joints; ++j) {
        OlpJointDefInit(&def->joints[j]);
    }
    return def;
}

OlpArtDef* OlpArtDefClone(const OlpArtDef* def, OlpArtVolumeInit volumeInit)
{
    OlpArtDef* clone = OlpArtDefCreate(def->partCapacity, def->jointCapacity, volumeInit);
    if (clone == nullptr) {
        return nullptr;
    }
    if (def->claimed != nullptr) {
        clone->claimed =
            static_cast<uint32_t*>(MemoryAllocate(4 * size_t(def->mappingCount), kOlpMemoryHint));
        if (clone->claimed == nullptr) {
            OlpArtDefRelease(clone);
            return nullptr;
        }
        std::memcpy(clone->claimed, def->claimed, 4 * size_t(def->mappingCount));
    }
    clone->partCount = def->partCount;
    clone->jointCount = def->jointCount;
    clone->mappingCount = def->mappingCount;
    for (uint32_t i = 0; i < def->partCapacity; ++i) {
        OlpVolumeDestroyContents(&clone->volumes[i]);
        OlpPartCopy(&clone->parts[i], &def->parts[i]);
        clone->boneKeys[i] = def->boneKeys[i];
        clone->boneIndex[i] = def->boneIndex[i];
    }
    for (uint32_t j = 0; j < def->jointCapacity; ++j) {
        clone->joints[j] = def->joints[j];
        clone->joints[j].refCount = 1;
        clone->jointEnds[2 * j] = def->jointEnds[2 * j];
        clone->jointEnds[2 * j + 1] = def->jointEnds[2 * j + 1];
    }
    if (def->partPairs != nullptr) {
        std::memcpy(clone->partPairs->words, def->partPairs->words,
                    4 * size_t(std::min(def->partPairs->wordCount, clone->partPairs->wordCount)));
    }
    return clone;
}

OlpArtDef* OlpArtDefAddRef(OlpArtDef* def)
{
    ++def->refCount;
    return def;
}

int32_t OlpArtDefRelease(OlpArtDef* def)
{
    if (--def->refCount == 0) {
        FreeContents(def);
    }
    return 1;
}

OlpArtDef* OlpArtDefSetPartPairs(OlpArtDef* def, OlpBitMatrix* matrix)
{
    if (def->partPairs != matrix) {
        OlpBitMatrixDestroy(def->partPairs);
        def->partPairs = matrix;
    }
    return def;
}

OlpArtDef* OlpArtDefSetPartCount(OlpArtDef* def, uint32_t n)
{
    if (n > def->partCapacity) {
        return nullptr;
    }
    def->partCount = static_cast<uint16_t>(n);
    return def;
}

OlpArtDef* OlpArtDefSetJointCount(OlpArtDef* def, uint32_t n)
{
    if (n > def->jointCapacity) {
        return nullptr;
    }
    def->jointCount = static_cast<uint16_t>(n);
    return def;
}

uint32_t OlpArtDefGetJointIndex(const OlpArtDef* def, uint32_t joint, int32_t first)
{
    return joint < def->jointCapacity ? def->jointEnds[2 * joint + (first ? 0 : 1)] : 0;
}

OlpArtDef* OlpArtDefSetJointIndex(OlpArtDef* def, uint32_t joint, int32_t first, uint32_t part)
{
    if (joint >= def->jointCapacity || part >= def->partCapacity) {
        return nullptr;
    }
    def->jointEnds[2 * joint + (first ? 0 : 1)] = static_cast<uint16_t>(part);
    return def;
}

OlpArtDef* OlpArtDefForAllParts(OlpArtDef* def, OlpArtPartVisitor visitor, void* data)
{
    for (uint32_t i = 0; i < def->partCount && visitor(&def->parts[i], data) != 0; ++i) {
    }
    return def;
}

OlpArtDef* OlpArtDefForAllJoints(OlpArtDef* def, OlpArtJointVisitor visitor, void* data)
{
    for (uint32_t j = 0; j < def->jointCount && visitor(&def->joints[j], data) != 0; ++j) {
    }
    return def;
}

OlpArtDef* OlpArtDefSetMapping(OlpArtDef* def, const uint32_t* keys, const uint32_t* values, uint32_t n)
{
    if (n > kOlpArtMaxMapping) {
        return nullptr;
    }
    uint32_t* claimed = nullptr;
    if (n != 0) {
        claimed = static_cast<uint32_t*>(MemoryAllocate(4 * size_t(n), kOlpMemoryHint));
        if (claimed == nullptr) {
            return nullptr;
        }
        std::memcpy(claimed, values, 4 * size_t(n));
    }
    MemoryFree(def->claimed);
    def->claimed = claimed;
    def->mappingCount = n;
    for (uint32_t i = 0; i < def->partCapacity; ++i) {
        // Two parts with one key both take the first entry; a part whose key
        // no entry has drives no bone (it is not given a matrix past the array).
        def->boneIndex[i] = kOlpArtNoBone;
        for (uint32_t j = 0; j < n; ++j) {
            if (keys[j] == def->boneKeys[i]) {
                def->boneIndex[i] = j;
                claimed[j] = kOlpArtClaimed;
                break;
            }
        }
    }
    return def;
}
