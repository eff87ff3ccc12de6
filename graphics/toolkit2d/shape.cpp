// Shapes: shared entry lists, the shape record, copies and drawing.

#include "graphics/toolkit2d/shape.h"

#include <cstring>

#include "graphics/core/frame.h"
#include "graphics/core/growarray.h"
#include "graphics/core/memory.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "graphics/toolkit2d/brush.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kListHint = kMemoryHintObject | 0x190;
constexpr uint32_t kEntriesHint = kMemoryHintObject | kChunkShape;

const float kNeutralScale[4] = {1.0f, 1.0f, 1.0f, 1.0f};
const float kNeutralOffset[4] = {0.0f, 0.0f, 0.0f, 0.0f};

ShapeEntry* Entries(const ShapeList* list)
{
    return static_cast<ShapeEntry*>(GrowArrayGetRawData(list->entries));
}

uint8_t ClampByte(float value)
{
    return uint8_t(value <= 0.0f ? 0.0f : value >= 255.0f ? 255.0f : value);
}

/// The tint a shape applies: its own scale and offset (0-255) composed with
/// the parent's scale and offset (0-1).
void ComposeTint(const Object2D* object, const float* parentScale, const float* parentOffset, float* scale,
                 float* offset)
{
    const float* sp = parentScale ? parentScale : kNeutralScale;
    const float* op = parentOffset ? parentOffset : kNeutralOffset;
    for (int32_t i = 0; i < 4; ++i) {
        scale[i] = object->colourScale[i] * sp[i];
        offset[i] = object->colourOffset[i] * sp[i] + op[i] * 255.0f;
    }
}

bool DrawImmediate(Object2D* object, const float* scale, const float* offset)
{
    if (!ObjectPushWorldMatrix(object)) {
        return false;
    }
    const ShapeList* list = ShapeGetData(object)->list;
    bool ok = true;
    const int32_t count = list ? GrowArrayGetCount(list->entries) : 0;
    for (int32_t i = 0; i < count; ++i) {
        const ShapeEntry& entry = Entries(list)[i];
        Brush* brush = entry.brush;
        if (!brush || !entry.path) {
            continue;
        }
        // The brush is tinted for this draw only; its colours come back after.
        const Brush saved = *brush;
        BrushModulateColours(brush, &brush->bottomColour, &brush->bottomColourDelta, &brush->topColourDelta,
                             &brush->topColour, reinterpret_cast<const BrushColour*>(scale),
                             reinterpret_cast<const BrushColour*>(offset));
        ok = ((entry.mode & kShapeFill) ? PathFill(entry.path, brush) : PathStroke(entry.path, brush)) && ok;
        brush->topColour = saved.topColour;
        brush->topColourDelta = saved.topColourDelta;
        brush->bottomColour = saved.bottomColour;
        brush->bottomColourDelta = saved.bottomColourDelta;
        std::memcpy(brush->flatColour, saved.flatColour, 4);
    }
    TwoDCTMPop();
    return ok;
}

bool DrawAtomic(Object2D* object, const float* scale, const float* offset)
{
    ShapeData* data = ShapeGetData(object);
    Atomic* atomic = data->atomic;
    Geometry* geometry = atomic->geometry;
    if (geometry && data->savedColours) {
        for (int32_t i = 0; i < geometry->materials.count; ++i) {
            const RGBA& saved = data->savedColours[i];
            RGBA& colour = geometry->materials.materials[i]->colour;
            colour.red = ClampByte(float(saved.red) * scale[0] + offset[0]);
            colour.green = ClampByte(float(saved.green) * scale[1] + offset[1]);
            colour.blue = ClampByte(float(saved.blue) * scale[2] + offset[2]);
            colour.alpha = ClampByte(float(saved.alpha) * scale[3] + offset[3]);
        }
    }
    if (!ObjectPushWorldMatrix(object)) {
        return false;
    }
    const Matrix* matrix = TwoDDeviceUpdateMatrix();
    bool ok = matrix && FrameTransform(AtomicGetFrame(atomic), matrix, 0);
    ok = ok && atomic->renderCallBack && atomic->renderCallBack(atomic);
    TwoDCTMPop();
    return ok;
}

} // namespace

ShapeList* ShapeListCreate(int32_t entryCount)
{
    auto* list = static_cast<ShapeList*>(MemoryAllocate(sizeof(ShapeList), kListHint));
    if (!list) {
        return nullptr;
    }
    list->entries = GrowArrayCreate(sizeof(ShapeEntry), kEntriesHint);
    // Room for the expected entries: grown once, emptied (the storage stays).
    if (!list->entries || (entryCount > 0 && !GrowArrayIncSizeBy(list->entries, entryCount, kEntriesHint))) {
        if (list->entries) {
            GrowArrayDestroy(list->entries);
        }
        MemoryFree(list);
        return nullptr;
    }
    GrowArrayEmpty(list->entries);
    list->refCount = 1;
    list->geometry = nullptr;
    return list;
}

int32_t ShapeListAddRef(ShapeList* list)
{
    return ++list->refCount;
}

bool ShapeListRelease(ShapeList* list)
{
    if (--list->refCount > 0) {
        return false;
    }
    const int32_t count = GrowArrayGetCount(list->entries);
    for (int32_t i = 0; i < count; ++i) {
        ShapeEntry& entry = Entries(list)[i];
        if (entry.path) {
            PathDestroy(entry.path);
        }
        if (entry.brush) {
            BrushDestroy(entry.brush);
        }
    }
    GrowArrayDestroy(list->entries);
    if (list->geometry) {
        GeometryRelease(list->geometry);
    }
    MemoryFree(list);
    return true;
}

Object2D* ShapeCreate()
{
    Object2D* object = ObjectAlloc();
    if (!object) {
        return nullptr;
    }
    if (!ShapeInit(object, 0, nullptr)) {
        ObjectFree(object);
        return nullptr;
    }
    return object;
}

bool ShapeInit(Object2D* object, int32_t entryCount, ShapeList* list)
{
    ObjectInit(object, kObjectShape);
    if (list) {
        ShapeListAddRef(list);
    } else if (!(list = ShapeListCreate(entryCount))) {
        return false;
    }
    ShapeGetData(object)->list = list;
    object->flags |= kObjectKindFlag;
    return true;
}

Object2D* ShapeAddEntry(Object2D* object, uint32_t mode, Path* path, Brush* brush)
{
    ShapeList* list = ShapeGetData(object)->list;
    auto* entry = static_cast<ShapeEntry*>(GrowArrayIncSize(list->entries, kEntriesHint));
    if (!entry) {
        return nullptr;
    }
    *entry = {mode, path, brush};
    if (brush) {
        ++brush->refCount;
    }
    return object;
}

int32_t ShapeGetEntryCount(const Object2D* object)
{
    const ShapeList* list = ShapeGetData(object)->list;
    return list ? GrowArrayGetCount(list->entries) : 0;
}

ShapeList* ShapeGetList(Object2D* object)
{
    return ShapeGetData(object)->list;
}

bool ShapeDestroyData(Object2D* object)
{
    ShapeReleaseAtomic(object);
    ShapeData* data = ShapeGetData(object);
    if (data->list) {
        ShapeListRelease(data->list);
        data->list = nullptr;
    }
    return true;
}

bool ShapeDestroy(Object2D* object)
{
    if (!object) {
        return false;
    }
    ShapeDestroyData(object);
    ObjectFree(object);
    return true;
}

Object2D* ShapeCopy(Object2D* dst, const Object2D* src)
{
    ObjectCopyRecord(dst, src);
    ShapeData* data = ShapeGetData(dst);
    data->atomic = nullptr;
    data->savedColours = nullptr;
    if (data->list) {
        ShapeListAddRef(data->list);
    }
    if (ShapeGetData(src)->atomic && !ShapeCloneAtomic(dst, src)) {
        ShapeDestroyData(dst);
        ObjectInit(dst, 0);
        return nullptr;
    }
    return dst;
}

Object2D* ShapeRenderWith(Object2D* object, const float* scale, const float* offset)
{
    if (!ObjectIsVisible(object)) {
        return object;
    }
    float composedScale[4], composedOffset[4];
    ComposeTint(object, scale, offset, composedScale, composedOffset);
    const bool ok = ShapeGetData(object)->atomic ? DrawAtomic(object, composedScale, composedOffset)
                                                 : DrawImmediate(object, composedScale, composedOffset);
    return ok ? object : nullptr;
}

Object2D* ShapeRender(Object2D* object)
{
    return ShapeRenderWith(object, kNeutralScale, kNeutralOffset);
}
