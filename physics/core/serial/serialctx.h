#pragma once
// The serialiser context: one writer routine both measures (no stream) and
// writes, because every item adds its bytes to the context's count whether
// or not a stream is present. A reader's count is bounded by the bytes its
// chunk holds, so nothing past the chunk is ever read.
//
// Items: a u32 tag (kind in the low 16 bits, version in the high 16), then
// the payload. Readers reject a tag of another kind or a newer version and
// record the first failure (kErrorRead) in the engine's error record.
//
// Item bytes: u16 6, u32 8, array 8 + 4n, float 8, vector 16, quaternion 20,
// matrix 52, frame 40, three vectors 52, four floats 20, limit block 36,
// drive 28.

#include <cstdint>

#include "graphics/core/matrix.h"
#include "graphics/core/quaternion.h"
#include "graphics/core/vector.h"

struct Stream;

/// Context modes.
constexpr uint32_t kOlpSerialWrite = 0; ///< write, or measure without a stream
constexpr uint32_t kOlpSerialRead = 1;

/// Item kinds.
enum OlpSerialKind : uint16_t
{
    kOlpItemU16 = 1,
    kOlpItemU32Raw = 2,
    kOlpItemU32 = 3,
    kOlpItemArray = 4,
    kOlpItemFloat = 5,
    kOlpItemVector = 6,
    kOlpItemQuaternion = 7,
    kOlpItemMatrix = 8,
    kOlpItemFrame = 9,
    kOlpItemVectors3 = 10,
    kOlpItemVolumeBody = 11,
    kOlpItemNull = 12,
    kOlpItemPlane = 13,
    kOlpItemSphere = 14,
    kOlpItemCapsule = 15,
    kOlpItemBox = 16,
    kOlpItemCylinder = 17,
    kOlpItemConvex = 18,
    kOlpItemAggregate = 19,
    kOlpItemHull = 20,
    kOlpItemChildList = 21,
    kOlpItemFloats4 = 22,
    kOlpItemVolume = 23,
    kOlpItemPart = 24,
    kOlpItemLimit = 25,
    kOlpItemDrive = 26,
    kOlpItemJointDef = 27,
    kOlpItemBitMatrix = 28,
    kOlpItemGrid = 29,
    kOlpItemTrilist = 30,
    kOlpItemCustom = 31,
};

/// Volume records nest (aggregates, grids); deeper records are refused.
constexpr uint32_t kOlpSerialMaxDepth = 16;

struct OlpSerialCtx
{
    Stream* stream; ///< null: measure only
    uint32_t count; ///< bytes written, measured or read
    uint32_t mode;  ///< kOlpSerialWrite or kOlpSerialRead
    uint32_t limit; ///< read mode: bytes the chunk holds; reads beyond fail
    uint32_t depth; ///< volume records being read or written
};

/// Count 0, no limit (set `limit` before reading a chunk), depth 0.
OlpSerialCtx* OlpSerialCtxInit(OlpSerialCtx* ctx, Stream* stream, uint32_t mode);
/// A new context (hint 0x30900); null when memory runs out.
OlpSerialCtx* OlpSerialCtxCreate(Stream* stream, uint32_t mode);
/// Frees a context of OlpSerialCtxCreate; 1.
int32_t OlpSerialCtxDestroy(OlpSerialCtx* ctx);
/// Bytes the reader may still take from its chunk.
uint32_t OlpSerialRemaining(const OlpSerialCtx* ctx);

// Low level, for the item routines: raw fields without a tag.
/// Writes `n` little-endian u32 (counted; written when there is a stream); 1 or 0.
int32_t OlpSerialPutWords(OlpSerialCtx* ctx, const uint32_t* values, uint32_t n);
int32_t OlpSerialGetWords(OlpSerialCtx* ctx, uint32_t* values, uint32_t n);
int32_t OlpSerialPutHalves(OlpSerialCtx* ctx, const uint16_t* values, uint32_t n);
int32_t OlpSerialGetHalves(OlpSerialCtx* ctx, uint16_t* values, uint32_t n);
int32_t OlpSerialPutFloats(OlpSerialCtx* ctx, const float* values, uint32_t n);
int32_t OlpSerialGetFloats(OlpSerialCtx* ctx, float* values, uint32_t n);
/// Reads `n` raw bytes.
int32_t OlpSerialGetBytes(OlpSerialCtx* ctx, uint8_t* bytes, uint32_t n);
/// Writes the tag of `kind` with `version`; 1 or 0.
int32_t OlpSerialPutTag(OlpSerialCtx* ctx, uint16_t kind, uint16_t version);
/// Reads a tag: 1 when it is of `kind` with a version up to `version`
/// (stored in `found` when given); else 0 with kErrorRead recorded.
int32_t OlpSerialGetTag(OlpSerialCtx* ctx, uint16_t kind, uint16_t version, uint16_t* found);
/// Records kErrorRead (a malformed item) and returns 0.
int32_t OlpSerialFail();

// Items. Writers return 1, or 0 when a stream write fails; readers 1, or 0
// on a wrong tag, a short read or a value that does not fit.
int32_t OlpSerialWriteU16(OlpSerialCtx* ctx, uint16_t value);
int32_t OlpSerialReadU16(OlpSerialCtx* ctx, uint16_t* out);
/// Kind 2: the word as is.
int32_t OlpSerialWriteU32Raw(OlpSerialCtx* ctx, uint32_t value);
int32_t OlpSerialReadU32Raw(OlpSerialCtx* ctx, uint32_t* out);
int32_t OlpSerialWriteU32(OlpSerialCtx* ctx, uint32_t value);
int32_t OlpSerialReadU32(OlpSerialCtx* ctx, uint32_t* out);
/// A count, then the words.
int32_t OlpSerialWriteArray(OlpSerialCtx* ctx, const uint32_t* values, uint32_t n);
/// Fails unless the stored count equals `expected`.
int32_t OlpSerialReadArray(OlpSerialCtx* ctx, uint32_t* values, uint32_t expected);
int32_t OlpSerialWriteFloat(OlpSerialCtx* ctx, float value);
int32_t OlpSerialReadFloat(OlpSerialCtx* ctx, float* out);
int32_t OlpSerialWriteVector(OlpSerialCtx* ctx, const V3d* value);
int32_t OlpSerialReadVector(OlpSerialCtx* ctx, V3d* out);
/// x, y, z, w.
int32_t OlpSerialWriteQuaternion(OlpSerialCtx* ctx, const Quaternion* value);
int32_t OlpSerialReadQuaternion(OlpSerialCtx* ctx, Quaternion* out);
/// Right, up, at, position; the reader marks the matrix changed (MatrixUpdate).
int32_t OlpSerialWriteMatrix(OlpSerialCtx* ctx, const Matrix* value);
int32_t OlpSerialReadMatrix(OlpSerialCtx* ctx, Matrix* out);
/// A position (vector item), then an orientation (quaternion item).
int32_t OlpSerialWriteFrame(OlpSerialCtx* ctx, const V3d* position, const Quaternion* orientation);
int32_t OlpSerialReadFrame(OlpSerialCtx* ctx, V3d* position, Quaternion* orientation);
int32_t OlpSerialWriteVectors3(OlpSerialCtx* ctx, const V3d values[3]);
int32_t OlpSerialReadVectors3(OlpSerialCtx* ctx, V3d values[3]);
int32_t OlpSerialWriteFloats4(OlpSerialCtx* ctx, const float values[4]);
int32_t OlpSerialReadFloats4(OlpSerialCtx* ctx, float values[4]);
