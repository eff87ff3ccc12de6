#include "physics/core/serial/serialctx.h"

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "physics/core/utils/memory.h"

namespace {

// Counts `bytes` and tells whether the stream (if any) is to be used: a
// reader may not pass its chunk's end, nor a count its 32 bits.
bool Take(OlpSerialCtx* ctx, uint64_t bytes)
{
    uint64_t end = uint64_t(ctx->count) + bytes;
    if (end > UINT32_MAX || (ctx->mode == kOlpSerialRead && end > ctx->limit)) {
        return false;
    }
    ctx->count = static_cast<uint32_t>(end);
    return true;
}

} // namespace

OlpSerialCtx* OlpSerialCtxInit(OlpSerialCtx* ctx, Stream* stream, uint32_t mode)
{
    ctx->stream = stream;
    ctx->count = 0;
    ctx->mode = mode;
    ctx->limit = UINT32_MAX;
    ctx->depth = 0;
    return ctx;
}

OlpSerialCtx* OlpSerialCtxCreate(Stream* stream, uint32_t mode)
{
    auto* ctx = static_cast<OlpSerialCtx*>(MemoryAllocate(sizeof(OlpSerialCtx), kOlpMemoryHint));
    return ctx != nullptr ? OlpSerialCtxInit(ctx, stream, mode) : nullptr;
}

int32_t OlpSerialCtxDestroy(OlpSerialCtx* ctx)
{
    MemoryFree(ctx);
    return 1;
}

uint32_t OlpSerialRemaining(const OlpSerialCtx* ctx)
{
    return ctx->limit > ctx->count ? ctx->limit - ctx->count : 0;
}

int32_t OlpSerialFail()
{
    ErrorRaise(0, kErrorRead);
    return 0;
}

int32_t OlpSerialPutWords(OlpSerialCtx* ctx, const uint32_t* values, uint32_t n)
{
    if (!Take(ctx, 4 * uint64_t(n))) {
        return 0;
    }
    return ctx->stream == nullptr || n == 0 ||
                   StreamWriteInt32(ctx->stream, reinterpret_cast<const int32_t*>(values), 4 * size_t(n)) !=
                       nullptr
               ? 1
               : 0;
}

int32_t OlpSerialGetWords(OlpSerialCtx* ctx, uint32_t* values, uint32_t n)
{
    if (!Take(ctx, 4 * uint64_t(n)) || ctx->stream == nullptr) {
        return OlpSerialFail();
    }
    return n == 0 ||
                   StreamReadInt32(ctx->stream, reinterpret_cast<int32_t*>(values), 4 * size_t(n)) != nullptr
               ? 1
               : 0;
}

int32_t OlpSerialPutHalves(OlpSerialCtx* ctx, const uint16_t* values, uint32_t n)
{
    if (!Take(ctx, 2 * uint64_t(n))) {
        return 0;
    }
    return ctx->stream == nullptr || n == 0 ||
                   StreamWriteInt16(ctx->stream, reinterpret_cast<const int16_t*>(values), 2 * size_t(n)) !=
                       nullptr
               ? 1
               : 0;
}

int32_t OlpSerialGetHalves(OlpSerialCtx* ctx, uint16_t* values, uint32_t n)
{
    if (!Take(ctx, 2 * uint64_t(n)) || ctx->stream == nullptr) {
        return OlpSerialFail();
    }
    return n == 0 ||
                   StreamReadInt16(ctx->stream, reinterpret_cast<int16_t*>(values), 2 * size_t(n)) != nullptr
               ? 1
               : 0;
}

int32_t OlpSerialPutFloats(OlpSerialCtx* ctx, const float* values, uint32_t n)
{
    if (!Take(ctx, 4 * uint64_t(n))) {
        return 0;
    }
    return ctx->stream == nullptr || n == 0 || StreamWriteReal(ctx->stream, values, 4 * size_t(n)) != nullptr
               ? 1
               : 0;
}

int32_t OlpSerialGetFloats(OlpSerialCtx* ctx, float* values, uint32_t n)
{
    if (!Take(ctx, 4 * uint64_t(n)) || ctx->stream == nullptr) {
        return OlpSerialFail();
    }
    return n == 0 || StreamReadReal(ctx->stream, values, 4 * size_t(n)) != nullptr ? 1 : 0;
}

int32_t OlpSerialGetBytes(OlpSerialCtx* ctx, uint8_t* bytes, uint32_t n)
{
    if (!Take(ctx, n) || ctx->stream == nullptr) {
        return OlpSerialFail();
    }
    return n == 0 || StreamRead(ctx->stream, bytes, n) == n ? 1 : 0;
}

int32_t OlpSerialPutTag(OlpSerialCtx* ctx, uint16_t kind, uint16_t version)
{
    const uint32_t tag = uint32_t(version) << 16 | kind;
    return OlpSerialPutWords(ctx, &tag, 1);
}

int32_t OlpSerialGetTag(OlpSerialCtx* ctx, uint16_t kind, uint16_t version, uint16_t* found)
{
    uint32_t tag = 0;
    if (!OlpSerialGetWords(ctx, &tag, 1)) {
        return 0;
    }
    if ((tag & 0xFFFF) != kind || tag >> 16 > version) {
        return OlpSerialFail();
    }
    if (found != nullptr) {
        *found = static_cast<uint16_t>(tag >> 16);
    }
    return 1;
}

int32_t OlpSerialWriteU16(OlpSerialCtx* ctx, uint16_t value)
{
    return OlpSerialPutTag(ctx, kOlpItemU16, 0) && OlpSerialPutHalves(ctx, &value, 1);
}

int32_t OlpSerialReadU16(OlpSerialCtx* ctx, uint16_t* out)
{
    return OlpSerialGetTag(ctx, kOlpItemU16, 0, nullptr) && OlpSerialGetHalves(ctx, out, 1);
}

int32_t OlpSerialWriteU32Raw(OlpSerialCtx* ctx, uint32_t value)
{
    return OlpSerialPutTag(ctx, kOlpItemU32Raw, 0) && OlpSerialPutWords(ctx, &value, 1);
}

int32_t OlpSerialReadU32Raw(OlpSerialCtx* ctx, uint32_t* out)
{
    return OlpSerialGetTag(ctx, kOlpItemU32Raw, 0, nullptr) && OlpSerialGetWords(ctx, out, 1);
}

int32_t OlpSerialWriteU32(OlpSerialCtx* ctx, uint32_t value)
{
    return OlpSerialPutTag(ctx, kOlpItemU32, 0) && OlpSerialPutWords(ctx, &value, 1);
}

int32_t OlpSerialReadU32(OlpSerialCtx* ctx, uint32_t* out)
{
    return OlpSerialGetTag(ctx, kOlpItemU32, 0, nullptr) && OlpSerialGetWords(ctx, out, 1);
}

int32_t OlpSerialWriteArray(OlpSerialCtx* ctx, const uint32_t* values, uint32_t n)
{
    return OlpSerialPutTag(ctx, kOlpItemArray, 0) && OlpSerialPutWords(ctx, &n, 1) &&
           OlpSerialPutWords(ctx, values, n);
}

int32_t OlpSerialReadArray(OlpSerialCtx* ctx, uint32_t* values, uint32_t expected)
{
    uint32_t n = 0;
    if (!OlpSerialGetTag(ctx, kOlpItemArray, 0, nullptr) || !OlpSerialGetWords(ctx, &n, 1)) {
        return 0;
    }
    if (n != expected) {
        return OlpSerialFail();
    }
    return OlpSerialGetWords(ctx, values, n);
}

int32_t OlpSerialWriteFloat(OlpSerialCtx* ctx, float value)
{
    return OlpSerialPutTag(ctx, kOlpItemFloat, 0) && OlpSerialPutFloats(ctx, &value, 1);
}

int32_t OlpSerialReadFloat(OlpSerialCtx* ctx, float* out)
{
    return OlpSerialGetTag(ctx, kOlpItemFloat, 0, nullptr) && OlpSerialGetFloats(ctx, out, 1);
}

int32_t OlpSerialWriteVector(OlpSerialCtx* ctx, const V3d* value)
{
    const float v[3] = {value->x, value->y, value->z};
    return OlpSerialPutTag(ctx, kOlpItemVector, 0) && OlpSerialPutFloats(ctx, v, 3);
}

int32_t OlpSerialReadVector(OlpSerialCtx* ctx, V3d* out)
{
    float v[3];
    if (!OlpSerialGetTag(ctx, kOlpItemVector, 0, nullptr) || !OlpSerialGetFloats(ctx, v, 3)) {
        return 0;
    }
    *out = {v[0], v[1], v[2]};
    return 1;
}

int32_t OlpSerialWriteQuaternion(OlpSerialCtx* ctx, const Quaternion* value)
{
    const float v[4] = {value->x, value->y, value->z, value->w};
    return OlpSerialPutTag(ctx, kOlpItemQuaternion, 0) && OlpSerialPutFloats(ctx, v, 4);
}

int32_t OlpSerialReadQuaternion(OlpSerialCtx* ctx, Quaternion* out)
{
    float v[4];
    if (!OlpSerialGetTag(ctx, kOlpItemQuaternion, 0, nullptr) || !OlpSerialGetFloats(ctx, v, 4)) {
        return 0;
    }
    *out = {v[0], v[1], v[2], v[3]};
    return 1;
}

int32_t OlpSerialWriteMatrix(OlpSerialCtx* ctx, const Matrix* value)
{
    const float v[12] = {value->right.x, value->right.y, value->right.z, value->up.x,
                         value->up.y,    value->up.z,    value->at.x,    value->at.y,
                         value->at.z,    value->pos.x,   value->pos.y,   value->pos.z};
    return OlpSerialPutTag(ctx, kOlpItemMatrix, 0) && OlpSerialPutFloats(ctx, v, 12);
}

int32_t OlpSerialReadMatrix(OlpSerialCtx* ctx, Matrix* out)
{
    float v[12];
    if (!OlpSerialGetTag(ctx, kOlpItemMatrix, 0, nullptr) || !OlpSerialGetFloats(ctx, v, 12)) {
        return 0;
    }
    out->right = {v[0], v[1], v[2]};
    out->up = {v[3], v[4], v[5]};
    out->at = {v[6], v[7], v[8]};
    out->pos = {v[9], v[10], v[11]};
    MatrixUpdate(out);
    return 1;
}

int32_t OlpSerialWriteFrame(OlpSerialCtx* ctx, const V3d* position, const Quaternion* orientation)
{
    return OlpSerialPutTag(ctx, kOlpItemFrame, 0) && OlpSerialWriteVector(ctx, position) &&
           OlpSerialWriteQuaternion(ctx, orientation);
}

int32_t OlpSerialReadFrame(OlpSerialCtx* ctx, V3d* position, Quaternion* orientation)
{
    return OlpSerialGetTag(ctx, kOlpItemFrame, 0, nullptr) && OlpSerialReadVector(ctx, position) &&
           OlpSerialReadQuaternion(ctx, orientation);
}

int32_t OlpSerialWriteVectors3(OlpSerialCtx* ctx, const V3d values[3])
{
    return OlpSerialPutTag(ctx, kOlpItemVectors3, 0) && OlpSerialWriteVector(ctx, &values[0]) &&
           OlpSerialWriteVector(ctx, &values[1]) && OlpSerialWriteVector(ctx, &values[2]);
}

int32_t OlpSerialReadVectors3(OlpSerialCtx* ctx, V3d values[3])
{
    return OlpSerialGetTag(ctx, kOlpItemVectors3, 0, nullptr) && OlpSerialReadVector(ctx, &values[0]) &&
           OlpSerialReadVector(ctx, &values[1]) && OlpSerialReadVector(ctx, &values[2]);
}

int32_t OlpSerialWriteFloats4(OlpSerialCtx* ctx, const float values[4])
{
    return OlpSerialPutTag(ctx, kOlpItemFloats4, 0) && OlpSerialPutFloats(ctx, values, 4);
}

int32_t OlpSerialReadFloats4(OlpSerialCtx* ctx, float values[4])
{
    return OlpSerialGetTag(ctx, kOlpItemFloats4, 0, nullptr) && OlpSerialGetFloats(ctx, values, 4);
}
