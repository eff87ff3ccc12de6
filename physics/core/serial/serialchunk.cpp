#include "physics/core/serial/serialchunk.h"

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/stream.h"

namespace {

// Reads the next chunk header, which must be of `type`, supported, and fit
// both the enclosing chunk (`bytes`) and the data the stream still holds.
bool ReadHeader(Stream* stream, uint32_t type, uint32_t bytes, uint32_t* size)
{
    uint32_t found = 0;
    uint32_t version = 0;
    // Not even the header may be read when the enclosing chunk cannot hold it.
    if (bytes < kChunkHeaderSize) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    if (!ChunkHeaderRead(stream, &found, size, &version, nullptr)) {
        return false;
    }
    if (found != type) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    if (!ChunkVersionIsSupported(version)) {
        ErrorRaise(0, kErrorBadVersion);
        return false;
    }
    const int64_t left = StreamGetRemaining(stream);
    if (*size > bytes - kChunkHeaderSize || (left >= 0 && *size > left)) {
        ErrorRaise(0, kErrorRead);
        return false;
    }
    return true;
}

uint32_t MeasureItems(OlpObjectDefWriter writer, const void* definition)
{
    OlpSerialCtx ctx;
    OlpSerialCtxInit(&ctx, nullptr, kOlpSerialWrite);
    return writer(&ctx, definition) && ctx.count <= UINT32_MAX - 2 * kChunkHeaderSize ? ctx.count : 0;
}

int32_t WriteDefChunk(Stream* stream, uint32_t type, uint32_t items, OlpObjectDefWriter writer,
                      const void* definition)
{
    if (ChunkHeaderWrite(stream, type, items + kChunkHeaderSize, kChunkVersionMax, kOlpChunkBuild) ==
            nullptr ||
        ChunkHeaderWrite(stream, kChunkStruct, items, kChunkVersionMax, kOlpChunkBuild) == nullptr) {
        return 0;
    }
    OlpSerialCtx ctx;
    OlpSerialCtxInit(&ctx, stream, kOlpSerialWrite);
    // The header promised `items` bytes: a writer that wrote otherwise failed.
    return writer(&ctx, definition) && ctx.count == items ? 1 : 0;
}

} // namespace

uint32_t OlpSerialDefChunkSize(OlpObjectDefWriter writer, const void* definition)
{
    const uint32_t items = MeasureItems(writer, definition);
    return items != 0 ? items + kChunkHeaderSize : 0;
}

int32_t OlpSerialDefChunkWrite(Stream* stream, uint32_t type, OlpObjectDefWriter writer,
                               const void* definition)
{
    const uint32_t items = MeasureItems(writer, definition);
    return items != 0 ? WriteDefChunk(stream, type, items, writer, definition) : 0;
}

int32_t OlpSerialObjectChunkWrite(Stream* stream, uint32_t type, uint32_t defType, OlpObjectDefWriter writer,
                                  const void* definition)
{
    const uint32_t items = MeasureItems(writer, definition);
    if (items == 0 || ChunkHeaderWrite(stream, type, items + 2 * kChunkHeaderSize, kChunkVersionMax,
                                       kOlpChunkBuild) == nullptr) {
        return 0;
    }
    return WriteDefChunk(stream, defType, items, writer, definition);
}

void* OlpSerialDefChunkRead(Stream* stream, uint32_t bytes, OlpObjectDefReader reader)
{
    uint32_t size = 0;
    if (!ReadHeader(stream, kChunkStruct, bytes, &size)) {
        return nullptr;
    }
    OlpSerialCtx ctx;
    OlpSerialCtxInit(&ctx, stream, kOlpSerialRead);
    ctx.limit = size;
    void* definition = nullptr;
    if (!reader(&ctx, &definition)) {
        return nullptr;
    }
    // Items a later writer may add are passed over, within the chunk (whose
    // size the stream was found to hold).
    if (ctx.count < size) {
        StreamSkip(stream, size - ctx.count);
    }
    return definition;
}

void* OlpSerialObjectChunkRead(Stream* stream, uint32_t bytes, uint32_t defType, OlpObjectDefReader reader)
{
    uint32_t size = 0;
    if (!ReadHeader(stream, defType, bytes, &size)) {
        return nullptr;
    }
    return OlpSerialDefChunkRead(stream, size, reader);
}
