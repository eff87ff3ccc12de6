// Shapes saved: the shape list format and the shape body, alone (chunk
// 0x1A4, the list itself) or inside a container (the list's index in the
// container's table).

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/growarray.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/shape.h"

namespace {

constexpr int32_t kListFormatVersion = 1;
/// Entry flags: a path (and its mode) follows; no brush follows it.
constexpr uint32_t kEntryHasPath = 4;
constexpr uint32_t kEntryNoBrush = 0x10;

const ShapeEntry* EntryAt(const ShapeList* list, int32_t index)
{
    return static_cast<const ShapeEntry*>(GrowArrayGetElement(list->entries, index));
}

uint32_t EntryFlags(const ShapeEntry& entry)
{
    if (!entry.path) {
        return 0;
    }
    return entry.brush ? kEntryHasPath : kEntryHasPath | kEntryNoBrush;
}

bool WriteU32(Stream* stream, uint32_t value)
{
    uint8_t bytes[4];
    LittleEndianPutU32(bytes, value);
    return StreamWrite(stream, bytes, 4) != nullptr;
}

int32_t TableIndex(const ShapeListTable* table, const ShapeList* list)
{
    for (int32_t i = 0; i < table->count; ++i) {
        if (table->lists[i] == list) {
            return i;
        }
    }
    return -1;
}

/// Reads one entry's path and brush and appends them; false on failure
/// (what was read is freed).
bool ReadEntry(ShapeList* list, ChunkReader& reader)
{
    uint32_t flags = 0;
    if (!reader.U32(&flags) || (flags & ~(kEntryHasPath | kEntryNoBrush)) != 0) {
        return false;
    }
    ShapeEntry entry = {0, nullptr, nullptr};
    if (flags & kEntryHasPath) {
        uint32_t size = 0;
        if (!reader.U32(&entry.mode) || !ChunkReaderHeader(reader, kChunkPath, &size) || !reader.Take(size)) {
            return false;
        }
        entry.path = PathStreamReadBody(reader.stream, size);
        if (!entry.path) {
            return false;
        }
        if (!(flags & kEntryNoBrush)) {
            entry.brush = BrushCreate();
            const bool read = entry.brush && ChunkReaderHeader(reader, kChunkBrush, &size) &&
                              reader.Take(size) && BrushStreamReadBody(entry.brush, reader.stream, size);
            if (!read) {
                BrushDestroy(entry.brush);
                PathDestroy(entry.path);
                return false;
            }
        }
    }
    auto* slot = static_cast<ShapeEntry*>(GrowArrayIncSize(list->entries, kMemoryHintObject | kChunkShape));
    if (!slot) {
        BrushDestroy(entry.brush);
        PathDestroy(entry.path);
        return false;
    }
    // The list takes over the new brush's only reference.
    *slot = entry;
    return true;
}

} // namespace

ShapeList* ShapeListReadBody(ChunkReader& reader)
{
    int32_t version = 0, count = 0;
    // Every entry takes at least its 4 flag bytes.
    if (!reader.I32(&version) || version != kListFormatVersion || !reader.I32(&count) || count < 0 ||
        uint32_t(count) > reader.left / 4) {
        return nullptr;
    }
    ShapeList* list = ShapeListCreate(count);
    if (!list) {
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!ReadEntry(list, reader)) {
            ShapeListRelease(list);
            return nullptr;
        }
    }
    if (!ShapeListBuildGeometry(list)) {
        ShapeListRelease(list);
        return nullptr;
    }
    return list;
}

uint32_t ShapeListStreamGetSize(const ShapeList* list)
{
    uint32_t size = 8;
    const int32_t count = GrowArrayGetCount(list->entries);
    for (int32_t i = 0; i < count; ++i) {
        const ShapeEntry& entry = *EntryAt(list, i);
        size += 4;
        if (entry.path) {
            size += 4 + kChunkHeaderSize + PathStreamGetSize(entry.path);
            if (entry.brush) {
                size += kChunkHeaderSize + BrushStreamGetSize(entry.brush);
            }
        }
    }
    return size;
}

const ShapeList* ShapeListStreamWrite(const ShapeList* list, Stream* stream)
{
    const int32_t count = GrowArrayGetCount(list->entries);
    if (!WriteU32(stream, uint32_t(kListFormatVersion)) || !WriteU32(stream, uint32_t(count))) {
        return nullptr;
    }
    for (int32_t i = 0; i < count; ++i) {
        const ShapeEntry& entry = *EntryAt(list, i);
        const uint32_t flags = EntryFlags(entry);
        if (!WriteU32(stream, flags)) {
            return nullptr;
        }
        if (!entry.path) {
            continue;
        }
        if (!WriteU32(stream, entry.mode) || !PathStreamWrite(entry.path, stream) ||
            (entry.brush && !BrushStreamWrite(entry.brush, stream))) {
            return nullptr;
        }
    }
    return list;
}

ShapeList* ShapeListStreamRead(Stream* stream, uint32_t size)
{
    ChunkReader reader = {stream, size};
    ShapeList* list = ShapeListReadBody(reader);
    reader.SkipRest();
    return list;
}

uint32_t ShapeStreamGetSize(const Object2D* object)
{
    return ObjectStreamGetSizeBase() + ShapeListStreamGetSize(ShapeGetData(object)->list);
}

const Object2D* ShapeStreamWriteBody(const Object2D* object, Stream* stream, const ShapeListTable* table)
{
    if (!ObjectStreamWriteHeader(object, stream)) {
        return nullptr;
    }
    const ShapeList* list = ShapeGetData(object)->list;
    const bool ok = table ? WriteU32(stream, uint32_t(TableIndex(table, list)))
                          : ShapeListStreamWrite(list, stream) != nullptr;
    return ok ? object : nullptr;
}

const Object2D* ShapeStreamWrite(const Object2D* object, Stream* stream)
{
    if (!ChunkHeaderWrite(stream, kChunkShape, ShapeStreamGetSize(object), kEngineVersion, kEngineBuild)) {
        return nullptr;
    }
    return ShapeStreamWriteBody(object, stream, nullptr);
}

bool ShapeReadBodyWithTable(Object2D* object, ChunkReader& reader, const ShapeListTable* table)
{
    ShapeList* list = nullptr;
    if (table) {
        int32_t index = -1;
        if (!reader.I32(&index) || index < 0 || index >= table->count) {
            return false;
        }
        list = table->lists[index];
        ShapeListAddRef(list);
    } else if (!(list = ShapeListReadBody(reader))) {
        return false;
    }
    ShapeData* data = ShapeGetData(object);
    *data = {list, nullptr, nullptr};
    // Read shapes draw through their atomic, placed at the next draw.
    if (!ShapeMakeAtomic(object, nullptr)) {
        ShapeDestroyData(object);
        return false;
    }
    object->flags |= kObjectKindFlag;
    return true;
}

bool ShapeReadBody(Object2D* object, ChunkReader& reader)
{
    return ShapeReadBodyWithTable(object, reader, nullptr);
}

Object2D* ShapeStreamReadBody(Object2D* object, Stream* stream, uint32_t size, const ShapeListTable* table)
{
    ChunkReader reader = {stream, size};
    bool ok = ObjectReadHeader(object, reader) && object->kind == kObjectShape;
    ok = ok && ShapeReadBodyWithTable(object, reader, table);
    reader.SkipRest();
    return ok ? object : nullptr;
}

Object2D* ShapeStreamRead(Stream* stream)
{
    return ObjectStreamReadChunk(stream, kChunkShape, kObjectShape, ShapeReadBody);
}

const Object2D* ShapeStreamWriteBodyAlone(const Object2D* object, Stream* stream)
{
    return ShapeStreamWriteBody(object, stream, nullptr);
}
