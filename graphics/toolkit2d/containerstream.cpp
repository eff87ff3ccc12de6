// Containers saved (chunk 0x1A5): the common header, the child count, the
// table of the shape lists used anywhere below the container, then every
// child's body, shapes naming their list by index and nested containers
// written the same way without a table of their own.
//
// The table is numbered depth first: children in order, a nested
// container's shapes at the point where that container comes, each list at
// its first use. The same tree therefore always writes the same bytes.

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/shape.h"

namespace {

constexpr uint32_t kTableHint = kMemoryHintScratch | kChunkContainer;
constexpr uint32_t kErrorStreamMemory = 0x80000013;
constexpr uint32_t kToolkitModule = 0x190;
/// Containers nested deeper than this are refused by the reader.
constexpr int32_t kMaxDepth = 64;
/// The fewest bytes a child body takes: the common header's fixed part.
constexpr uint32_t kMinChildBytes = 44;

bool WriteU32(Stream* stream, uint32_t value)
{
    uint8_t bytes[4];
    LittleEndianPutU32(bytes, value);
    return StreamWrite(stream, bytes, 4) != nullptr;
}

void RecordMemoryError()
{
    const ErrorRecord record = {kToolkitModule, kErrorStreamMemory};
    ErrorSet(&record);
}

/// Appends every list used below `object` not yet in `lists`, depth first.
bool CollectLists(Object2D* object, GrowArray* lists)
{
    for (int32_t i = 0; i < ContainerGetChildCount(object); ++i) {
        Object2D* child = ContainerGetChild(object, i);
        if (child->kind == kObjectContainer) {
            if (!CollectLists(child, lists)) {
                return false;
            }
            continue;
        }
        if (child->kind != kObjectShape) {
            continue;
        }
        ShapeList* list = ShapeGetData(child)->list;
        bool known = false;
        for (int32_t j = 0; j < GrowArrayGetCount(lists) && !known; ++j) {
            known = *static_cast<ShapeList**>(GrowArrayGetElement(lists, j)) == list;
        }
        if (known) {
            continue;
        }
        auto* slot = static_cast<ShapeList**>(GrowArrayIncSize(lists, kTableHint));
        if (!slot) {
            return false;
        }
        *slot = list;
    }
    return true;
}

ShapeListTable TableOf(const GrowArray* lists)
{
    return {static_cast<ShapeList**>(GrowArrayGetRawData(lists)), GrowArrayGetCount(lists)};
}

/// Bytes of the children's bodies and the child count of a container.
uint32_t ChildrenSize(Object2D* object)
{
    uint32_t size = 4;
    for (int32_t i = 0; i < ContainerGetChildCount(object); ++i) {
        Object2D* child = ContainerGetChild(object, i);
        switch (child->kind) {
        case kObjectContainer:
            size += ObjectStreamGetSizeBase() + ChildrenSize(child);
            break;
        case kObjectShape:
            size += ObjectStreamGetSizeBase() + 4;
            break;
        default:
            size += ObjectStreamGetSize(child);
            break;
        }
    }
    return size;
}

bool WriteChildBodies(Object2D* object, Stream* stream, const ShapeListTable* table)
{
    for (int32_t i = 0; i < ContainerGetChildCount(object); ++i) {
        Object2D* child = ContainerGetChild(object, i);
        bool ok = false;
        switch (child->kind) {
        case kObjectContainer:
            ok = ObjectStreamWriteHeader(child, stream) &&
                 WriteU32(stream, uint32_t(ContainerGetChildCount(child))) &&
                 WriteChildBodies(child, stream, table);
            break;
        case kObjectShape:
            ok = ShapeStreamWriteBody(child, stream, table) != nullptr;
            break;
        default:
            ok = ObjectStreamWrite(child, stream) != nullptr;
            break;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

/// Makes `object`, whose common header was just read, an empty container
/// keeping that header.
bool InitReadContainer(Object2D* object)
{
    Object2D header;
    ObjectCopyRecord(&header, object);
    if (!ContainerInit(object, 0)) {
        return false;
    }
    const ContainerData data = *ContainerGetData(object);
    const uint32_t flags = object->flags;
    ObjectCopyRecord(object, &header);
    *ContainerGetData(object) = data;
    object->flags = flags;
    return true;
}

bool ReadChildren(Object2D* object, ChunkReader& reader, const ShapeListTable* table, int32_t depth,
                  uint32_t count);

/// One child body; false on failure (its data freed).
bool ReadChild(Object2D* child, ChunkReader& reader, const ShapeListTable* table, int32_t depth)
{
    if (!ObjectReadHeader(child, reader)) {
        return false;
    }
    switch (child->kind) {
    case kObjectContainer: {
        uint32_t count = 0;
        if (depth >= kMaxDepth || !reader.U32(&count) || !InitReadContainer(child)) {
            return false;
        }
        if (!ReadChildren(child, reader, table, depth + 1, count)) {
            ContainerDestroyData(child);
            return false;
        }
        return true;
    }
    case kObjectShape:
        return ShapeReadBodyWithTable(child, reader, table);
    case kObjectHitRegion:
        return HitRegionReadBody(child, reader);
    case kObjectText:
        return TextReadBody(child, reader);
    default:
        return false;
    }
}

/// `count` children appended to the (empty) container, which is then made
/// inline. False on failure (the children read are destroyed by the caller
/// with the container).
bool ReadChildren(Object2D* object, ChunkReader& reader, const ShapeListTable* table, int32_t depth,
                  uint32_t count)
{
    if (count > reader.left / kMinChildBytes) {
        return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Object2D* child = ObjectAlloc();
        if (!child) {
            RecordMemoryError();
            return false;
        }
        if (!ReadChild(child, reader, table, depth)) {
            ObjectFree(child);
            return false;
        }
        if (!ContainerAddChild(object, child)) {
            ObjectDestroyData(child);
            ObjectFree(child);
            RecordMemoryError();
            return false;
        }
    }
    return ContainerMakeInline(object) != nullptr;
}

} // namespace

uint32_t ContainerStreamGetSize(const Object2D* object)
{
    auto* container = const_cast<Object2D*>(object);
    GrowArray* lists = GrowArrayCreate(sizeof(ShapeList*), kTableHint);
    if (!lists || !CollectLists(container, lists)) {
        if (lists) {
            GrowArrayDestroy(lists);
        }
        return 0;
    }
    uint32_t size = ObjectStreamGetSizeBase() + ChildrenSize(container) + 4;
    const ShapeListTable table = TableOf(lists);
    for (int32_t i = 0; i < table.count; ++i) {
        size += ShapeListStreamGetSize(table.lists[i]);
    }
    GrowArrayDestroy(lists);
    return size;
}

const Object2D* ContainerStreamWriteBody(const Object2D* object, Stream* stream)
{
    auto* container = const_cast<Object2D*>(object);
    GrowArray* lists = GrowArrayCreate(sizeof(ShapeList*), kTableHint);
    if (!lists || !CollectLists(container, lists)) {
        if (lists) {
            GrowArrayDestroy(lists);
        }
        RecordMemoryError();
        return nullptr;
    }
    const ShapeListTable table = TableOf(lists);
    bool ok = ObjectStreamWriteHeader(object, stream) &&
              WriteU32(stream, uint32_t(ContainerGetChildCount(container))) &&
              WriteU32(stream, uint32_t(table.count));
    for (int32_t i = 0; i < table.count && ok; ++i) {
        ok = ShapeListStreamWrite(table.lists[i], stream) != nullptr;
    }
    ok = ok && WriteChildBodies(container, stream, &table);
    GrowArrayDestroy(lists);
    return ok ? object : nullptr;
}

const Object2D* ContainerStreamWrite(const Object2D* object, Stream* stream)
{
    if (!ChunkHeaderWrite(stream, kChunkContainer, ContainerStreamGetSize(object), kEngineVersion,
                          kEngineBuild)) {
        return nullptr;
    }
    return ContainerStreamWriteBody(object, stream);
}

bool ContainerReadBody(Object2D* object, ChunkReader& reader)
{
    uint32_t count = 0;
    int32_t listCount = 0;
    // Every list takes at least its 8-byte head.
    if (!reader.U32(&count) || !reader.I32(&listCount) || listCount < 0 ||
        uint32_t(listCount) > reader.left / 8) {
        return false;
    }
    GrowArray* lists = GrowArrayCreate(sizeof(ShapeList*), kTableHint);
    if (!lists) {
        RecordMemoryError();
        return false;
    }
    bool ok = true;
    for (int32_t i = 0; i < listCount && ok; ++i) {
        ShapeList* list = ShapeListReadBody(reader);
        auto* slot = list ? static_cast<ShapeList**>(GrowArrayIncSize(lists, kTableHint)) : nullptr;
        ok = slot != nullptr;
        if (list && !slot) {
            RecordMemoryError();
        }
        if (slot) {
            *slot = list;
        } else if (list) {
            ShapeListRelease(list);
        }
    }
    const ShapeListTable table = TableOf(lists);
    if (ok && InitReadContainer(object)) {
        ok = ReadChildren(object, reader, &table, 0, count);
        if (!ok) {
            ContainerDestroyData(object);
        }
    } else {
        ok = false;
    }
    for (int32_t i = 0; i < table.count; ++i) {
        ShapeListRelease(table.lists[i]);
    }
    GrowArrayDestroy(lists);
    return ok;
}

Object2D* ContainerStreamRead(Stream* stream)
{
    return ObjectStreamReadChunk(stream, kChunkContainer, kObjectContainer, ContainerReadBody);
}
