#include "physics/core/serial/serialpart.h"

#include <cstring>

#include "physics/core/serial/serialvolume.h"
#include "physics/core/volume/nullvolume.h"

namespace {

// Limit blocks keep their value, then limits 2, 3 and 1.
constexpr int kLimitOrder[3] = {1, 2, 0};
// Drive lists are kept as drives 1, 3 and 2.
constexpr int kDriveOrder[3] = {0, 2, 1};

int32_t WriteLimit(OlpSerialCtx* ctx, const OlpJointLimit& limit)
{
    if (!OlpSerialWriteU32(ctx, limit.mode) || !OlpSerialPutTag(ctx, kOlpItemLimit, 0) ||
        !OlpSerialWriteFloat(ctx, limit.value)) {
        return 0;
    }
    for (int i : kLimitOrder) {
        if (!OlpSerialWriteFloat(ctx, limit.cosHalf[i])) {
            return 0;
        }
    }
    return 1;
}

int32_t ReadLimit(OlpSerialCtx* ctx, OlpJointLimit* limit)
{
    if (!OlpSerialReadU32(ctx, &limit->mode) || !OlpSerialGetTag(ctx, kOlpItemLimit, 0, nullptr) ||
        !OlpSerialReadFloat(ctx, &limit->value)) {
        return 0;
    }
    for (int i : kLimitOrder) {
        if (!OlpSerialReadFloat(ctx, &limit->cosHalf[i])) {
            return 0;
        }
    }
    return 1;
}

int32_t WriteDrives(OlpSerialCtx* ctx, const OlpJointDrive drives[3])
{
    for (int i : kDriveOrder) {
        if (!OlpSerialPutTag(ctx, kOlpItemDrive, 0) || !OlpSerialWriteFloat(ctx, drives[i].first) ||
            !OlpSerialWriteFloat(ctx, drives[i].second) || !OlpSerialWriteFloat(ctx, drives[i].third)) {
            return 0;
        }
    }
    return 1;
}

int32_t ReadDrives(OlpSerialCtx* ctx, OlpJointDrive drives[3])
{
    for (int i : kDriveOrder) {
        if (!OlpSerialGetTag(ctx, kOlpItemDrive, 0, nullptr) || !OlpSerialReadFloat(ctx, &drives[i].first) ||
            !OlpSerialReadFloat(ctx, &drives[i].second) || !OlpSerialReadFloat(ctx, &drives[i].third)) {
            return 0;
        }
    }
    return 1;
}

uint32_t AxisWord(const uint8_t flags[4])
{
    return uint32_t(flags[0]) | uint32_t(flags[1]) << 8 | uint32_t(flags[2]) << 16 | uint32_t(flags[3]) << 24;
}

} // namespace

int32_t OlpPartStreamWrite(OlpSerialCtx* ctx, const OlpPart* part)
{
    // The carried words travel as the bits of a vector's floats.
    V3d carried;
    std::memcpy(&carried, part->carried, sizeof(carried));
    return OlpSerialPutTag(ctx, kOlpItemPart, 0) && OlpVolumeStreamWrite(ctx, part->volume) &&
           OlpSerialWriteFloat(ctx, part->mass) && OlpSerialWriteFrame(ctx, &part->centre, &part->rotation) &&
           OlpSerialWriteFloat(ctx, part->scalarInertia) && OlpSerialWriteFloat(ctx, part->damping[0]) &&
           OlpSerialWriteFloat(ctx, part->damping[1]) && OlpSerialWriteVector(ctx, &carried) &&
           OlpSerialWriteU32(ctx, part->flags) && OlpSerialWriteVector(ctx, &part->inertia);
}

int32_t OlpPartStreamRead(OlpSerialCtx* ctx, OlpPart* part)
{
    V3d carried;
    if (!OlpSerialGetTag(ctx, kOlpItemPart, 0, nullptr) || !OlpVolumeStreamRead(ctx, part->volume)) {
        return 0;
    }
    if (!OlpSerialReadFloat(ctx, &part->mass) || !OlpSerialReadFrame(ctx, &part->centre, &part->rotation) ||
        !OlpSerialReadFloat(ctx, &part->scalarInertia) || !OlpSerialReadFloat(ctx, &part->damping[0]) ||
        !OlpSerialReadFloat(ctx, &part->damping[1]) || !OlpSerialReadVector(ctx, &carried) ||
        !OlpSerialReadU32(ctx, &part->flags) || !OlpSerialReadVector(ctx, &part->inertia)) {
        OlpVolumeDestroyContents(part->volume);
        OlpNullInit(part->volume);
        return 0;
    }
    std::memcpy(part->carried, &carried, sizeof(carried));
    return 1;
}

int32_t OlpJointDefStreamWrite(OlpSerialCtx* ctx, const OlpJointDef* def)
{
    const OlpJointFrame& a = def->frames[0];
    const OlpJointFrame& b = def->frames[1];
    return OlpSerialPutTag(ctx, kOlpItemJointDef, 0) && OlpSerialWriteU32(ctx, def->flags) &&
           OlpSerialWriteVector(ctx, &a.position) && OlpSerialWriteQuaternion(ctx, &a.orientation) &&
           OlpSerialWriteVector(ctx, &b.position) && OlpSerialWriteQuaternion(ctx, &b.orientation) &&
           WriteLimit(ctx, def->limitA) && WriteLimit(ctx, def->limitB) && WriteDrives(ctx, def->drivesB) &&
           OlpSerialWriteU32(ctx, AxisWord(def->blockC.axisFlags)) && WriteDrives(ctx, def->blockC.drives);
}

int32_t OlpJointDefStreamRead(OlpSerialCtx* ctx, OlpJointDef* def)
{
    OlpJointFrame& a = def->frames[0];
    OlpJointFrame& b = def->frames[1];
    uint32_t axis = 0;
    if (!OlpSerialGetTag(ctx, kOlpItemJointDef, 0, nullptr) || !OlpSerialReadU32(ctx, &def->flags) ||
        !OlpSerialReadVector(ctx, &a.position) || !OlpSerialReadQuaternion(ctx, &a.orientation) ||
        !OlpSerialReadVector(ctx, &b.position) || !OlpSerialReadQuaternion(ctx, &b.orientation) ||
        !ReadLimit(ctx, &def->limitA) || !ReadLimit(ctx, &def->limitB) || !ReadDrives(ctx, def->drivesB) ||
        !OlpSerialReadU32(ctx, &axis) || !ReadDrives(ctx, def->blockC.drives)) {
        return 0;
    }
    for (int i = 0; i < 4; ++i) {
        def->blockC.axisFlags[i] = static_cast<uint8_t>(axis >> (8 * i));
    }
    return 1;
}

int32_t OlpBitMatrixStreamWrite(OlpSerialCtx* ctx, const OlpBitMatrix* matrix)
{
    return OlpSerialPutTag(ctx, kOlpItemBitMatrix, 0) && OlpSerialWriteU32(ctx, matrix->rows) &&
           OlpSerialWriteU32(ctx, matrix->columns) &&
           OlpSerialWriteArray(ctx, matrix->words, matrix->wordCount);
}

OlpBitMatrix* OlpBitMatrixStreamRead(OlpSerialCtx* ctx)
{
    uint32_t rows = 0;
    uint32_t columns = 0;
    if (!OlpSerialGetTag(ctx, kOlpItemBitMatrix, 0, nullptr) || !OlpSerialReadU32(ctx, &rows) ||
        !OlpSerialReadU32(ctx, &columns)) {
        return nullptr;
    }
    const uint64_t words = (uint64_t(rows) * columns + 31) / 32;
    if (rows == 0 || columns == 0 || words > OlpSerialRemaining(ctx) / 4) {
        OlpSerialFail();
        return nullptr;
    }
    OlpBitMatrix* matrix = OlpBitMatrixCreate(rows, columns);
    if (matrix == nullptr) {
        OlpSerialFail();
        return nullptr;
    }
    if (!OlpSerialReadArray(ctx, matrix->words, matrix->wordCount)) {
        OlpBitMatrixDestroy(matrix);
        return nullptr;
    }
    return matrix;
}
