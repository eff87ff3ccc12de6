// Containers: children in pointer or inline mode, the draw list, matrix
// and tint composition, drawing and copies.

#include "graphics/toolkit2d/container.h"

#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/toolkit2d/shape.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kChildrenHint = kMemoryHintObject | kChunkContainer;

const float kNeutralScale[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float kNeutralOffset[4] = {0.0f, 0.0f, 0.0f, 0.0f};

bool IsPointerMode(const Object2D* object)
{
    return (object->flags & kObjectKindFlag) != 0;
}

Object2D* ChildAt(const ContainerData* data, bool pointers, int32_t index)
{
    void* element = GrowArrayGetElement(data->children, index);
    return pointers ? *static_cast<Object2D**>(element) : static_cast<Object2D*>(element);
}

ContainerDrawEntry* DrawEntries(const ContainerData* data)
{
    return static_cast<ContainerDrawEntry*>(GrowArrayGetRawData(data->drawList));
}

/// Exchange sort by key: each position takes the smallest key after it.
void SortDrawList(ContainerData* data)
{
    ContainerDrawEntry* entries = DrawEntries(data);
    const int32_t count = GrowArrayGetCount(data->drawList);
    for (int32_t i = 0; i < count; ++i) {
        for (int32_t j = i + 1; j < count; ++j) {
            if (entries[j].key < entries[i].key) {
                const ContainerDrawEntry swap = entries[i];
                entries[i] = entries[j];
                entries[j] = swap;
            }
        }
    }
}

/// The kind's own initialisation of a fresh record.
bool InitKind(Object2D* child, int32_t kind)
{
    switch (kind) {
    case kObjectContainer:
        return ContainerInit(child, 0);
    case kObjectShape:
        return ShapeInit(child, 0, nullptr);
    case kObjectHitRegion:
        return HitRegionInit(child) != nullptr;
    default:
        return false;
    }
}

/// Pushes the world matrix of every object below `object` (whose own is on
/// the stack), marking them for recomposing when `recomposed`.
bool UpdateChildren(Object2D* object, bool recomposed)
{
    ContainerData* data = ContainerGetData(object);
    const bool pointers = IsPointerMode(object);
    for (int32_t i = 0; i < data->count; ++i) {
        Object2D* child = ChildAt(data, pointers, i);
        if (recomposed) {
            child->flags |= kObjectRecompose;
        }
        const bool childRecomposed = (child->flags & kObjectRecompose) != 0;
        if (!ObjectPushWorldMatrix(child)) {
            return false;
        }
        bool ok = true;
        if (child->kind == kObjectContainer) {
            ok = UpdateChildren(child, childRecomposed);
        } else if (child->kind == kObjectHitRegion && childRecomposed) {
            MatrixInvert(&child->hitRegion.inverse, &child->world);
        }
        TwoDCTMPop();
        if (!ok) {
            return false;
        }
    }
    return true;
}

} // namespace

Object2D* ContainerCreate()
{
    Object2D* object = ObjectAlloc();
    if (!object) {
        return nullptr;
    }
    if (!ContainerInit(object, 0)) {
        ObjectFree(object);
        return nullptr;
    }
    return object;
}

bool ContainerInit(Object2D* object, int32_t capacity)
{
    ObjectInit(object, kObjectContainer);
    ContainerData* data = ContainerGetData(object);
    data->children = GrowArrayCreate(sizeof(Object2D*), kChildrenHint);
    data->drawList = GrowArrayCreate(sizeof(ContainerDrawEntry), kChildrenHint);
    if (!data->children || !data->drawList ||
        (capacity > 0 && !GrowArrayIncSizeBy(data->children, capacity, kChildrenHint))) {
        if (data->children) {
            GrowArrayDestroy(data->children);
        }
        if (data->drawList) {
            GrowArrayDestroy(data->drawList);
        }
        ObjectInit(object, 0);
        return false;
    }
    GrowArrayEmpty(data->children);
    object->flags |= kObjectKindFlag;
    return true;
}

Object2D* ContainerAddChild(Object2D* object, Object2D* child)
{
    if (!IsPointerMode(object) && !ContainerMakePointers(object)) {
        return nullptr;
    }
    ContainerData* data = ContainerGetData(object);
    auto* slot = static_cast<Object2D**>(GrowArrayIncSize(data->children, kChildrenHint));
    if (!slot) {
        return nullptr;
    }
    *slot = child;
    ++data->count;
    return object;
}

Object2D* ContainerAddNew(Object2D* object, int32_t kind)
{
    Object2D* child = ObjectAlloc();
    if (!child) {
        return nullptr;
    }
    if (!InitKind(child, kind)) {
        ObjectFree(child);
        return nullptr;
    }
    if (!ContainerAddChild(object, child)) {
        ObjectDestroyData(child);
        ObjectFree(child);
        return nullptr;
    }
    return child;
}

Object2D* ContainerAddContainer(Object2D* object)
{
    return ContainerAddNew(object, kObjectContainer);
}

Object2D* ContainerAddShape(Object2D* object)
{
    return ContainerAddNew(object, kObjectShape);
}

Object2D* ContainerAddHitRegion(Object2D* object)
{
    return ContainerAddNew(object, kObjectHitRegion);
}

Object2D* ContainerAddText(Object2D* object, const char* string, const char* fontName)
{
    Object2D* child = TextCreate(string, fontName);
    if (child && !ContainerAddChild(object, child)) {
        TextDestroy(child);
        return nullptr;
    }
    return child;
}

int32_t ContainerGetChildCount(const Object2D* object)
{
    return ContainerGetData(object)->count;
}

Object2D* ContainerGetChild(Object2D* object, int32_t index)
{
    const ContainerData* data = ContainerGetData(object);
    if (index < 0 || index >= data->count) {
        return nullptr;
    }
    return ChildAt(data, IsPointerMode(object), index);
}

Object2D* ContainerForAllChildren(Object2D* object, ContainerChildCallback callback, void* data)
{
    const ContainerData* container = ContainerGetData(object);
    const bool pointers = IsPointerMode(object);
    for (int32_t i = 0; i < container->count; ++i) {
        if (!callback(ChildAt(container, pointers, i), object, data)) {
            break;
        }
    }
    return object;
}

Object2D* ContainerMakePointers(Object2D* object)
{
    if (IsPointerMode(object)) {
        return object;
    }
    ContainerData* data = ContainerGetData(object);
    GrowArray* pointers = GrowArrayCreate(sizeof(Object2D*), kChildrenHint);
    auto* slots = pointers && data->count > 0
                      ? static_cast<Object2D**>(GrowArrayIncSizeBy(pointers, data->count, kChildrenHint))
                      : nullptr;
    if (!pointers || (data->count > 0 && !slots)) {
        if (pointers) {
            GrowArrayDestroy(pointers);
        }
        return nullptr;
    }
    for (int32_t i = 0; i < data->count; ++i) {
        slots[i] = ObjectAlloc();
        if (!slots[i]) {
            for (int32_t j = 0; j < i; ++j) {
                ObjectFree(slots[j]);
            }
            GrowArrayDestroy(pointers);
            return nullptr;
        }
    }
    for (int32_t i = 0; i < data->count; ++i) {
        ObjectCopyRecord(slots[i], ChildAt(data, false, i));
    }
    GrowArrayDestroy(data->children);
    data->children = pointers;
    GrowArrayEmpty(data->drawList);
    object->flags |= kObjectKindFlag;
    return object;
}

Object2D* ContainerMakeInline(Object2D* object)
{
    if (!IsPointerMode(object)) {
        return object;
    }
    ContainerData* data = ContainerGetData(object);
    GrowArray* records = GrowArrayCreate(sizeof(Object2D), kChildrenHint);
    auto* inlined = records && data->count > 0
                        ? static_cast<Object2D*>(GrowArrayIncSizeBy(records, data->count, kChildrenHint))
                        : nullptr;
    GrowArrayEmpty(data->drawList);
    auto* entries =
        data->count > 0
            ? static_cast<ContainerDrawEntry*>(GrowArrayIncSizeBy(data->drawList, data->count, kChildrenHint))
            : nullptr;
    if (!records || (data->count > 0 && (!inlined || !entries))) {
        if (records) {
            GrowArrayDestroy(records);
        }
        GrowArrayEmpty(data->drawList);
        return nullptr;
    }
    for (int32_t i = 0; i < data->count; ++i) {
        Object2D* separate = ChildAt(data, true, i);
        ObjectCopyRecord(&inlined[i], separate);
        ObjectFree(separate);
        entries[i] = {&inlined[i], inlined[i].drawOrder};
    }
    GrowArrayDestroy(data->children);
    data->children = records;
    object->flags &= ~kObjectKindFlag;
    SortDrawList(data);
    return object;
}

Object2D* ContainerMarkForSort(Object2D* object)
{
    ContainerGetData(object)->resort = 1;
    return object;
}

Object2D* ContainerUpdateMatrices(Object2D* object)
{
    const bool recomposed = (object->flags & kObjectRecompose) != 0;
    if (!ObjectPushWorldMatrix(object)) {
        return nullptr;
    }
    const bool ok = UpdateChildren(object, recomposed);
    TwoDCTMPop();
    return ok ? object : nullptr;
}

Object2D* ContainerRenderWith(Object2D* object, const float* scale, const float* offset)
{
    if (!ObjectIsVisible(object)) {
        return object;
    }
    // Drawing walks the draw list, which only inline containers have.
    if (!ContainerMakeInline(object)) {
        return nullptr;
    }
    const float* sp = scale ? scale : kNeutralScale;
    const float* op = offset ? offset : kNeutralOffset;
    float childScale[4], childOffset[4];
    for (int32_t i = 0; i < 4; ++i) {
        childScale[i] = object->colourScale[i] * sp[i];
        childOffset[i] = object->colourOffset[i] * sp[i] / 255.0f + op[i];
    }
    const bool recomposed = (object->flags & kObjectRecompose) != 0;
    if (!ObjectPushWorldMatrix(object)) {
        return nullptr;
    }
    ContainerData* data = ContainerGetData(object);
    ContainerDrawEntry* entries = DrawEntries(data);
    const int32_t count = GrowArrayGetCount(data->drawList);
    if (data->resort) {
        for (int32_t i = 0; i < count; ++i) {
            entries[i].key = entries[i].child->drawOrder;
        }
        SortDrawList(data);
        data->resort = 0;
    }
    bool ok = true;
    for (int32_t i = 0; i < count; ++i) {
        Object2D* child = entries[i].child;
        if (recomposed) {
            child->flags |= kObjectRecompose;
        }
        ok = ObjectRender(child, childScale, childOffset) && ok;
    }
    TwoDCTMPop();
    return ok ? object : nullptr;
}

Object2D* ContainerRender(Object2D* object)
{
    return ContainerRenderWith(object, kNeutralScale, kNeutralOffset);
}

bool ContainerDestroyData(Object2D* object)
{
    ContainerData* data = ContainerGetData(object);
    const bool pointers = IsPointerMode(object);
    if (data->children) {
        for (int32_t i = 0; i < data->count; ++i) {
            Object2D* child = ChildAt(data, pointers, i);
            ObjectDestroyData(child);
            if (pointers) {
                ObjectFree(child);
            }
        }
        GrowArrayDestroy(data->children);
    }
    if (data->drawList) {
        GrowArrayDestroy(data->drawList);
    }
    *data = {};
    return true;
}

bool ContainerDestroy(Object2D* object)
{
    if (!object) {
        return false;
    }
    ContainerDestroyData(object);
    ObjectFree(object);
    return true;
}

Object2D* ContainerCopy(Object2D* dst, const Object2D* src)
{
    const ContainerData* from = ContainerGetData(src);
    const bool pointers = IsPointerMode(src);
    if (!ContainerInit(dst, from->count)) {
        return nullptr;
    }
    // Copied into pointer mode, then laid out as the source is.
    for (int32_t i = 0; i < from->count; ++i) {
        Object2D* copy = ObjectAlloc();
        const bool copied = copy && ObjectCopy(copy, ChildAt(from, pointers, i));
        if (!copied || !ContainerAddChild(dst, copy)) {
            if (copied) {
                ObjectDestroyData(copy);
            }
            if (copy) {
                ObjectFree(copy);
            }
            ContainerDestroyData(dst);
            ObjectInit(dst, 0);
            return nullptr;
        }
    }
    // The common fields come from the source; the children stay the copies.
    const ContainerData children = *ContainerGetData(dst);
    ObjectCopyRecord(dst, src);
    *ContainerGetData(dst) = children;
    dst->flags |= kObjectKindFlag;
    if (!pointers && !ContainerMakeInline(dst)) {
        ContainerDestroyData(dst);
        ObjectInit(dst, 0);
        return nullptr;
    }
    ContainerGetData(dst)->resort = from->resort;
    return dst;
}
