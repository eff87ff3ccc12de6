#include "graphics/core/framelist.h"

#include "graphics/core/chunk.h"
#include "graphics/core/error.h"
#include "graphics/core/littleendian.h"
#include "graphics/core/memory.h"
#include "graphics/core/stream.h"

namespace {

constexpr uint32_t kRecordSize = 56;
// Memory hints name frames by the frame-list chunk type.
constexpr uint32_t kFrameMemoryKind = kChunkFrameList;
constexpr float kFlagTolerance = 0.01f;

int32_t gUpdateOnRead = 1;

void EncodeRecord(uint8_t* record, const Matrix& m, int32_t parentIndex)
{
    const V3d* rows[4] = {&m.right, &m.up, &m.at, &m.pos};
    for (int i = 0; i < 4; ++i) {
        LittleEndianPutFloat(record + i * 12, rows[i]->x);
        LittleEndianPutFloat(record + i * 12 + 4, rows[i]->y);
        LittleEndianPutFloat(record + i * 12 + 8, rows[i]->z);
    }
    LittleEndianPutU32(record + 48, uint32_t(parentIndex));
    LittleEndianPutU32(record + 52, m.flags);
}

void DecodeMatrix(const uint8_t* record, Matrix* m)
{
    V3d* rows[4] = {&m->right, &m->up, &m->at, &m->pos};
    for (int i = 0; i < 4; ++i) {
        *rows[i] = {LittleEndianGetFloat(record + i * 12), LittleEndianGetFloat(record + i * 12 + 4),
                    LittleEndianGetFloat(record + i * 12 + 8)};
    }
    // The stored flags are not trusted: an orthonormal, right-handed matrix
    // keeps normal and orthogonal (never identity); anything else none. A
    // NaN error fails every comparison and so counts as above the limit.
    bool orthonormal = MatrixNormalError(m) <= kFlagTolerance && MatrixOrthogonalError(m) <= kFlagTolerance &&
                       MatrixDeterminant(m) >= 0.99f;
    m->flags = orthonormal ? kMatrixFlagsOrthonormal : 0;
}

// Destroys every hierarchy made so far (each frame is a root or hangs below
// an earlier one) and the array.
FrameList* FailRead(FrameList* list, int32_t made)
{
    for (int32_t i = made - 1; i >= 0; --i) {
        if (!FrameGetParent(list->frames[i])) {
            FrameDestroyHierarchy(list->frames[i]);
        }
    }
    MemoryFree(list->frames);
    list->frames = nullptr;
    list->count = 0;
    return nullptr;
}

} // namespace

FrameList* FrameListInitialize(FrameList* list, Frame* root)
{
    int32_t count = FrameCount(root);
    size_t bytes = size_t(count) * sizeof(Frame*);
    auto** frames = static_cast<Frame**>(MemoryAllocate(bytes, kMemoryHintEngine | kFrameMemoryKind));
    // fill(f) = f, fill(f->next), fill(f->child): a stack of pending child
    // chains, taken last in first out, gives the same order without recursion.
    auto** pending = static_cast<Frame**>(MemoryAllocate(bytes, kMemoryHintScratch | kFrameMemoryKind));
    if (!frames || !pending) {
        MemoryFree(frames);
        MemoryFree(pending);
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        return nullptr;
    }
    int32_t filled = 0;
    int32_t depth = 0;
    frames[filled++] = root;
    if (root->child) {
        pending[depth++] = root->child;
    }
    while (depth > 0) {
        for (Frame* f = pending[--depth]; f; f = f->next) {
            frames[filled++] = f;
            if (f->child) {
                pending[depth++] = f->child;
            }
        }
    }
    MemoryFree(pending);
    list->frames = frames;
    list->count = count;
    return list;
}

FrameList* FrameListDeinitialize(FrameList* list)
{
    if (list->count != 0) {
        MemoryFree(list->frames);
    }
    list->frames = nullptr;
    list->count = 0;
    return list;
}

int32_t FrameListFindFrame(const FrameList* list, const Frame* frame, int32_t* index)
{
    for (int32_t i = 0; i < list->count; ++i) {
        if (list->frames[i] == frame) {
            *index = i;
            return 1;
        }
    }
    return 0;
}

uint32_t FrameListStreamGetSize(const FrameList* list)
{
    uint32_t size = kChunkHeaderSize + 4 + kRecordSize * uint32_t(list->count);
    for (int32_t i = 0; i < list->count; ++i) {
        size += kChunkHeaderSize + uint32_t(PluginRegistryStreamSize(FrameGetRegistry(), list->frames[i]));
    }
    return size;
}

const FrameList* FrameListStreamWrite(const FrameList* list, Stream* stream)
{
    const uint32_t count = uint32_t(list->count);
    if (!ChunkHeaderWriteCurrent(stream, kChunkFrameList, FrameListStreamGetSize(list)) ||
        !ChunkHeaderWriteCurrent(stream, kChunkStruct, 4 + kRecordSize * count) ||
        !StreamWriteUInt32(stream, count)) {
        return nullptr;
    }
    for (int32_t i = 0; i < list->count; ++i) {
        const Frame* frame = list->frames[i];
        int32_t parentIndex = -1;
        if (Frame* parent = FrameGetParent(frame);
            !parent || !FrameListFindFrame(list, parent, &parentIndex)) {
            parentIndex = -1;
        }
        uint8_t record[kRecordSize];
        EncodeRecord(record, frame->modelling, parentIndex);
        if (!StreamWrite(stream, record, kRecordSize)) {
            return nullptr;
        }
    }
    for (int32_t i = 0; i < list->count; ++i) {
        if (!PluginRegistryStreamWrite(FrameGetRegistry(), stream, list->frames[i])) {
            return nullptr;
        }
    }
    return list;
}

FrameList* FrameListStreamRead(Stream* stream, FrameList* list)
{
    uint32_t structSize = 0;
    if (!StreamFindChunk(stream, kChunkStruct, &structSize, nullptr)) {
        return nullptr;
    }
    uint32_t count = 0;
    if (structSize < 4 || !StreamReadUInt32(stream, &count)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    // The records must fit in the struct chunk, and the chunk in the data.
    const uint32_t recordBytes = structSize - 4;
    int64_t remaining = StreamGetRemaining(stream);
    if (count > recordBytes / kRecordSize || (remaining >= 0 && int64_t(recordBytes) > remaining)) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    list->count = int32_t(count);
    list->frames = nullptr;
    if (count == 0) {
        return StreamSkip(stream, recordBytes) ? list : nullptr;
    }
    size_t bytes = size_t(count) * sizeof(Frame*);
    list->frames = static_cast<Frame**>(MemoryAllocate(bytes, kMemoryHintObject | kFrameMemoryKind));
    if (!list->frames) {
        ErrorRaise(0, ErrorCode(kErrorOutOfMemory, bytes));
        list->count = 0;
        return nullptr;
    }
    for (int32_t i = 0; i < int32_t(count); ++i) {
        uint8_t record[kRecordSize];
        const int64_t at = StreamGetPosition(stream);
        if (StreamRead(stream, record, kRecordSize) != kRecordSize) {
            ErrorRaise(0, kErrorRead);
            return FailRead(list, i);
        }
        // A frame's matrix places everything below it: only finite numbers.
        float rows[12];
        for (int k = 0; k < 12; ++k) {
            rows[k] = LittleEndianGetFloat(record + 4 * k);
        }
        if (!StreamCheckFinite(rows, 12, at)) {
            return FailRead(list, i);
        }
        int32_t parentIndex = int32_t(LittleEndianGetU32(record + 48));
        if (parentIndex < -1 || parentIndex >= i) {
            ErrorRaise(0, kErrorRead);
            return FailRead(list, i);
        }
        Frame* frame = FrameCreate();
        if (!frame) {
            return FailRead(list, i);
        }
        list->frames[i] = frame;
        DecodeMatrix(record, &frame->modelling);
        if (parentIndex >= 0) {
            if (gUpdateOnRead) {
                FrameAddChild(list->frames[parentIndex], frame);
            } else {
                FrameAddChildNoUpdate(list->frames[parentIndex], frame);
            }
        }
    }
    if (recordBytes > count * kRecordSize && !StreamSkip(stream, recordBytes - count * kRecordSize)) {
        return FailRead(list, int32_t(count));
    }
    for (int32_t i = 0; i < int32_t(count); ++i) {
        Frame* frame = list->frames[i];
        if (!PluginRegistryStreamRead(FrameGetRegistry(), stream, frame)) {
            return FailRead(list, int32_t(count));
        }
        if (gUpdateOnRead == 1 && FrameGetRoot(frame) == frame) {
            FrameUpdateObjects(frame);
        }
    }
    return list;
}

void FrameListSetUpdateOnRead(int32_t mode)
{
    gUpdateOnRead = mode;
}
