// Brushes in streams: chunk 0x1A2, a 112-byte record and the texture chunk.

#include <cmath>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/raster.h"
#include "graphics/core/stream.h"
#include "graphics/core/texture.h"
#include "graphics/toolkit2d/brush.h"

namespace {

constexpr uint32_t kRecordBytes = 112;
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kFloatCount = 24;
/// Clamp addressing in U and V, for textures whose sides are not powers of two.
constexpr uint32_t kClampBoth = 0x3300;

/// The 24 colour and texture-coordinate floats in stored order.
float* Floats(Brush* brush, float* out)
{
    const BrushColour* colours[4] = {&brush->topColour, &brush->topColourDelta, &brush->bottomColour,
                                     &brush->bottomColourDelta};
    const BrushUV* uvs[4] = {&brush->topUV, &brush->topUVDelta, &brush->bottomUV, &brush->bottomUVDelta};
    for (int32_t i = 0; i < 4; ++i) {
        const float group[6] = {colours[i]->r, colours[i]->g, colours[i]->b,
                                colours[i]->a, uvs[i]->u,     uvs[i]->v};
        for (int32_t j = 0; j < 6; ++j) {
            out[i * 6 + j] = group[j];
        }
    }
    return out;
}

void SetFloats(Brush* brush, const float* in)
{
    BrushColour* colours[4] = {&brush->topColour, &brush->topColourDelta, &brush->bottomColour,
                               &brush->bottomColourDelta};
    BrushUV* uvs[4] = {&brush->topUV, &brush->topUVDelta, &brush->bottomUV, &brush->bottomUVDelta};
    for (int32_t i = 0; i < 4; ++i) {
        const float* group = in + i * 6;
        *colours[i] = {group[0], group[1], group[2], group[3]};
        *uvs[i] = {group[4], group[5]};
    }
}

bool IsPowerOfTwo(int32_t n)
{
    return n > 0 && (n & (n - 1)) == 0;
}

/// Skips what is left of a chunk after a failed read; false either way.
bool Abandon(Stream* stream, uint32_t left)
{
    if (left > 0) {
        StreamSkip(stream, left);
    }
    return false;
}

/// Reads the texture chunk that follows the record, within `left` bytes of the brush chunk.
Texture* ReadTexture(Stream* stream, uint32_t* left)
{
    uint32_t type = 0, size = 0, version = 0;
    if (*left < kChunkHeaderSize || !ChunkHeaderRead(stream, &type, &size, &version, nullptr)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    *left -= kChunkHeaderSize;
    if (type != kChunkTexture || size > *left || !ChunkVersionIsSupported(version)) {
        ErrorRaise(0, type == kChunkTexture && size <= *left ? kErrorBadVersion : kErrorRead);
        return nullptr;
    }
    *left -= size;
    return TextureStreamRead(stream);
}

} // namespace

uint32_t BrushStreamGetSize(const Brush* brush)
{
    return kRecordBytes + (brush->texture ? kChunkHeaderSize + TextureStreamGetSize(brush->texture) : 0);
}

const Brush* BrushStreamWrite(const Brush* brush, Stream* stream)
{
    if (!brush || !stream) {
        return nullptr;
    }
    uint8_t record[kRecordBytes];
    float floats[kFloatCount];
    Floats(const_cast<Brush*>(brush), floats);
    LittleEndianPutU32(record, kFormatVersion);
    for (uint32_t i = 0; i < kFloatCount; ++i) {
        LittleEndianPutFloat(record + 4 + 4 * i, floats[i]);
    }
    LittleEndianPutU32(record + 100, brush->flags);
    LittleEndianPutFloat(record + 104, brush->halfWidth);
    LittleEndianPutU32(record + 108, brush->texture ? 1 : 0);
    if (!ChunkHeaderWrite(stream, kChunkBrush, BrushStreamGetSize(brush), kEngineVersion, kEngineBuild) ||
        !StreamWrite(stream, record, kRecordBytes)) {
        return nullptr;
    }
    return !brush->texture || TextureStreamWrite(brush->texture, stream) ? brush : nullptr;
}

Brush* BrushStreamRead(Brush* brush, Stream* stream)
{
    uint32_t size = 0;
    return StreamFindChunk(stream, kChunkBrush, &size, nullptr) ? BrushStreamReadBody(brush, stream, size)
                                                                : nullptr;
}

Brush* BrushStreamReadBody(Brush* brush, Stream* stream, uint32_t size)
{
    uint8_t record[kRecordBytes];
    if (size < kRecordBytes) {
        ErrorRaise(0, kErrorRead);
        Abandon(stream, size);
        return nullptr;
    }
    if (StreamRead(stream, record, kRecordBytes) != kRecordBytes) {
        return nullptr;
    }
    uint32_t left = size - kRecordBytes;
    float floats[kFloatCount];
    bool finite = true;
    for (uint32_t i = 0; i < kFloatCount; ++i) {
        floats[i] = LittleEndianGetFloat(record + 4 + 4 * i);
        finite = finite && std::isfinite(floats[i]);
    }
    const float halfWidth = LittleEndianGetFloat(record + 104);
    if (LittleEndianGetU32(record) != kFormatVersion || !finite || !std::isfinite(halfWidth)) {
        ErrorRaise(0, kErrorRead);
        Abandon(stream, left);
        return nullptr;
    }
    Texture* texture = nullptr;
    if (LittleEndianGetU32(record + 108) == 1) {
        if (!(texture = ReadTexture(stream, &left))) {
            Abandon(stream, left);
            return nullptr;
        }
        const Raster* raster = TextureGetRaster(texture);
        if (raster && (!IsPowerOfTwo(raster->width) || !IsPowerOfTwo(raster->height))) {
            texture->filterAddressing = (texture->filterAddressing & ~0xFF00u) | kClampBoth;
        }
    }
    if (left > 0 && !StreamSkip(stream, left)) {
        if (texture) {
            TextureDestroy(texture);
        }
        return nullptr;
    }
    SetFloats(brush, floats);
    brush->flags = LittleEndianGetU32(record + 100);
    brush->halfWidth = halfWidth;
    BrushUpdateGradientFlag(brush);
    // The read reference becomes the brush's own.
    if (brush->texture) {
        TextureDestroy(brush->texture);
    }
    brush->texture = texture;
    if (texture) {
        brush->flags |= kBrushTextured;
    }
    return brush;
}

Brush* BrushStreamReadNew(Stream* stream)
{
    Brush* brush = BrushCreate();
    if (!brush) {
        return nullptr;
    }
    if (!BrushStreamRead(brush, stream)) {
        BrushDestroy(brush);
        return nullptr;
    }
    return brush;
}
