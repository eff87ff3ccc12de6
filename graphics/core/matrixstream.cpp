// The matrix chunk (0xD): a struct chunk of 52 bytes holding right, up, at
// and pos (12 floats) and the flags word AND 3.

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/matrix.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kRecordSize = 52;

void PutV3d(uint8_t* bytes, const V3d& v)
{
    LittleEndianPutFloat(bytes, v.x);
    LittleEndianPutFloat(bytes + 4, v.y);
    LittleEndianPutFloat(bytes + 8, v.z);
}

V3d GetV3d(const uint8_t* bytes)
{
    return {LittleEndianGetFloat(bytes), LittleEndianGetFloat(bytes + 4), LittleEndianGetFloat(bytes + 8)};
}

} // namespace

uint32_t MatrixStreamGetSize()
{
    return kChunkHeaderSize + kRecordSize;
}

const Matrix* MatrixStreamWrite(const Matrix* matrix, Stream* stream)
{
    // An orthonormal matrix is stored cleaned up, so that it reads back exact.
    Matrix copy = *matrix;
    if ((copy.flags & kMatrixFlagsOrthonormal) == kMatrixFlagsOrthonormal) {
        MatrixOrthoNormalize(&copy, &copy);
    }
    uint8_t record[kRecordSize];
    PutV3d(record, copy.right);
    PutV3d(record + 12, copy.up);
    PutV3d(record + 24, copy.at);
    PutV3d(record + 36, copy.pos);
    LittleEndianPutU32(record + 48, copy.flags & kMatrixFlagsOrthonormal);
    if (!ChunkHeaderWriteCurrent(stream, kChunkMatrix, MatrixStreamGetSize()) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, kRecordSize) ||
        !StreamWrite(stream, record, kRecordSize)) {
        ErrorRaise(0, kErrorWrite);
        return nullptr;
    }
    return matrix;
}

MatrixChunkData* MatrixStreamReadStruct(Stream* stream, MatrixChunkData* data, uint32_t* size)
{
    // Older files may hold a shorter record: the missing fields read as 0.
    uint8_t record[kRecordSize];
    uint32_t stored = 0;
    if (!StreamReadStructRecord(stream, record, kRecordSize, 0, &stored)) {
        return nullptr;
    }
    float values[12];
    for (int k = 0; k < 12; ++k) {
        values[k] = LittleEndianGetFloat(record + 4 * k);
    }
    // The record was read whole (or what the chunk holds of it) and the
    // stream stands after the chunk: its start lies that far back.
    const int64_t end = StreamGetPosition(stream);
    if (!StreamCheckFinite(values, 12, end < 0 ? -1 : end - int64_t(stored))) {
        return nullptr;
    }
    data->right = GetV3d(record);
    data->up = GetV3d(record + 12);
    data->at = GetV3d(record + 24);
    data->pos = GetV3d(record + 36);
    data->flags = LittleEndianGetU32(record + 48);
    if (size) {
        *size = stored;
    }
    return data;
}

Matrix* MatrixStreamRead(Stream* stream, Matrix* matrix)
{
    MatrixChunkData data;
    if (!MatrixStreamReadStruct(stream, &data, nullptr)) {
        return nullptr;
    }
    Matrix* target = matrix ? matrix : MatrixCreate();
    if (!target) {
        return nullptr;
    }
    target->right = data.right;
    target->up = data.up;
    target->at = data.at;
    target->pos = data.pos;
    target->flags = data.flags & kMatrixFlagsOrthonormal;
    if (target->flags == kMatrixFlagsOrthonormal) {
        MatrixOrthoNormalize(target, target);
    }
    return target;
}
