// Paths in streams: one chunk 0x1A1 per sub-path, each follower nested as
// the last item of the chunk before it, so the first header covers the chain.
// The reader walks the nesting in a loop and checks every count against the
// bytes of the chunk that holds it.

#include <cmath>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/error.h"
#include "graphics/core/growarray.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"
#include "graphics/toolkit2d/chunkreader.h"
#include "graphics/toolkit2d/path.h"

namespace {

constexpr uint32_t kHeaderBytes = 16;
constexpr uint32_t kNodeBytes = 24;
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kFlagClosed = 1;
constexpr uint32_t kFlagStraight = 2;
constexpr uint32_t kFlagMore = 4;
constexpr uint32_t kNodeHint = kMemoryHintObject | kChunkPath;

uint32_t SubBytes(const Path* sub)
{
    return kHeaderBytes + kNodeBytes * uint32_t(PathGetNodeCount(sub));
}

bool WriteSub(const Path* sub, Stream* stream)
{
    uint8_t header[kHeaderBytes];
    const uint32_t flags =
        (sub->closed ? kFlagClosed : 0) | (sub->straight ? kFlagStraight : 0) | (sub->next ? kFlagMore : 0);
    LittleEndianPutU32(header, kFormatVersion);
    LittleEndianPutU32(header + 4, uint32_t(PathGetNodeCount(sub)));
    LittleEndianPutU32(header + 8, flags);
    LittleEndianPutFloat(header + 12, sub->strokeOffset);
    if (!StreamWrite(stream, header, kHeaderBytes)) {
        return false;
    }
    const PathNode* nodes = PathGetNodes(sub);
    for (int32_t i = 0; i < PathGetNodeCount(sub); ++i) {
        uint8_t bytes[kNodeBytes];
        LittleEndianPutU32(bytes, uint32_t(nodes[i].type));
        const float values[5] = {nodes[i].x, nodes[i].y, nodes[i].mx, nodes[i].my, nodes[i].length};
        for (int32_t j = 0; j < 5; ++j) {
            LittleEndianPutFloat(bytes + 4 + 4 * j, values[j]);
        }
        if (!StreamWrite(stream, bytes, kNodeBytes)) {
            return false;
        }
    }
    return true;
}

bool DecodeNode(const uint8_t* bytes, PathNode* node)
{
    const uint32_t type = LittleEndianGetU32(bytes);
    float values[5];
    for (int32_t j = 0; j < 5; ++j) {
        values[j] = LittleEndianGetFloat(bytes + 4 + 4 * j);
        if (!std::isfinite(values[j])) {
            return false;
        }
    }
    if (type > uint32_t(kPathCurve)) {
        return false;
    }
    *node = {int32_t(type), values[0], values[1], values[2], values[3], values[4]};
    return true;
}

/// Reads one sub-path's header and nodes within `size` body bytes into a
/// new record; `more` says whether a follower chunk comes next.
Path* ReadSub(ChunkReader& reader, uint32_t size, bool* more)
{
    uint8_t header[kHeaderBytes];
    if (size < kHeaderBytes || !reader.Read(header, kHeaderBytes)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    const uint32_t left = size - kHeaderBytes;
    const uint32_t count = LittleEndianGetU32(header + 4);
    const uint32_t flags = LittleEndianGetU32(header + 8);
    const float offset = LittleEndianGetFloat(header + 12);
    if (LittleEndianGetU32(header) != kFormatVersion || count > left / kNodeBytes || !std::isfinite(offset)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    auto* nodes =
        count ? static_cast<PathNode*>(MemoryAllocate(sizeof(PathNode) * count, kNodeHint)) : nullptr;
    if (count && !nodes) {
        ErrorRaise(0, kErrorOutOfMemory);
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t bytes[kNodeBytes];
        if (!reader.Read(bytes, kNodeBytes) || !DecodeNode(bytes, &nodes[i])) {
            ErrorRaise(0, kErrorRead);
            MemoryFree(nodes);
            return nullptr;
        }
    }
    Path* sub = PathCreate();
    if (!sub) {
        MemoryFree(nodes);
        return nullptr;
    }
    PathFinish(sub);
    sub->nodes = nodes;
    sub->count = int32_t(count);
    sub->closed = flags & kFlagClosed ? 1 : 0;
    sub->straight = flags & kFlagStraight ? 1 : 0;
    sub->strokeOffset = offset;
    *more = (flags & kFlagMore) != 0;
    return sub;
}

} // namespace

uint32_t PathStreamGetSize(const Path* path)
{
    uint32_t size = 0;
    for (const Path* sub = path; sub; sub = sub->next) {
        size += SubBytes(sub) + (sub != path ? kChunkHeaderSize : 0);
    }
    return size;
}

const Path* PathStreamWrite(const Path* path, Stream* stream)
{
    if (!path || !stream) {
        return nullptr;
    }
    uint32_t size = PathStreamGetSize(path);
    for (const Path* sub = path; sub; sub = sub->next) {
        if (!ChunkHeaderWrite(stream, kChunkPath, size, kEngineVersion, kEngineBuild) ||
            !WriteSub(sub, stream)) {
            return nullptr;
        }
        size -= SubBytes(sub) + kChunkHeaderSize;
    }
    return path;
}

Path* PathStreamRead(Stream* stream)
{
    uint32_t size = 0;
    return StreamFindChunk(stream, kChunkPath, &size, nullptr) ? PathStreamReadBody(stream, size) : nullptr;
}

Path* PathStreamReadBody(Stream* stream, uint32_t size)
{
    ChunkReader reader = {stream, size};
    Path* first = nullptr;
    Path* last = nullptr;
    bool ok = true;
    for (;;) {
        const uint32_t before = reader.left;
        bool more = false;
        Path* sub = ReadSub(reader, size, &more);
        if (!sub) {
            ok = false;
            break;
        }
        if (last) {
            last->next = sub;
        } else {
            first = sub;
        }
        last = sub;
        if (!more) {
            break;
        }
        // The follower is a chunk inside what is left of this one.
        const uint32_t left = size - (before - reader.left);
        ChunkReader inner = {stream, left};
        if (!ChunkReaderHeader(inner, kChunkPath, &size)) {
            reader.Take(left - inner.left);
            ok = false;
            break;
        }
        reader.Take(kChunkHeaderSize);
    }
    reader.SkipRest();
    if (!ok) {
        PathDestroy(first);
        return nullptr;
    }
    first->current = last;
    return first;
}

Path* PathStreamReadInto(Path* path, Stream* stream)
{
    Path* read = PathStreamRead(stream);
    if (!read) {
        return nullptr;
    }
    // Move the read chain into the caller's first record.
    for (Path* sub = path->next; sub;) {
        sub = PathDestroySub(sub);
    }
    if (path->count < 0) {
        GrowArrayDestroy(static_cast<GrowArray*>(path->nodes));
    } else {
        GrowArrayFreeBlock(path->nodes);
    }
    path->nodes = read->nodes;
    path->count = read->count;
    path->closed = read->closed;
    path->straight = read->straight;
    path->strokeOffset = read->strokeOffset;
    path->next = read->next;
    path->current = read->current == read ? path : read->current;
    read->nodes = nullptr;
    read->count = 0;
    read->next = nullptr;
    PathDestroySub(read);
    return path;
}
