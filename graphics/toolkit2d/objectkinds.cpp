// 2-D objects: the operations dispatched by kind (destroy, size, write,
// read, draw, copy) through one table of each kind's functions. Only this
// file names the kinds; the kinds reach the common record (object2d.cpp)
// and never come back here, except containers, which dispatch to their
// children.

#include "graphics/core/memory.h"
#include "graphics/core/streambytes.h"
#include "graphics/toolkit2d/chunkreader.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/object2d.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/shape.h"

namespace {

/// The operations of one kind; null where the kind has none.
struct ObjectKindOps
{
    bool (*destroyData)(Object2D*);
    uint32_t (*getSize)(const Object2D*);
    const Object2D* (*writeBody)(const Object2D*, Stream*);
    bool (*readBody)(Object2D*, ChunkReader&);
    Object2D* (*render)(Object2D*, const float*, const float*);
    /// Copies directly; null: written to memory and read back.
    Object2D* (*copy)(Object2D*, const Object2D*);
};

/// By kind 0-4.
const ObjectKindOps kKinds[] = {
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {ContainerDestroyData, ContainerStreamGetSize, ContainerStreamWriteBody, ContainerReadBody,
     ContainerRenderWith, ContainerCopy},
    {ShapeDestroyData, ShapeStreamGetSize, ShapeStreamWriteBodyAlone, ShapeReadBody, ShapeRenderWith,
     ShapeCopy},
    {HitRegionDestroyData, HitRegionStreamGetSize, HitRegionStreamWriteBody, HitRegionReadBody,
     HitRegionUpdate, nullptr},
    {TextDestroyData, TextStreamGetSize, TextStreamWriteBody, TextReadBody, TextRender, nullptr},
};
static_assert(sizeof(kKinds) / sizeof(kKinds[0]) == kObjectText + 1, "one entry per kind");

const ObjectKindOps* Ops(int32_t kind)
{
    return kind >= 0 && kind <= kObjectText ? &kKinds[kind] : nullptr;
}

} // namespace

bool ObjectDestroyData(Object2D* object)
{
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->destroyData && ops->destroyData(object);
}

uint32_t ObjectStreamGetSize(const Object2D* object)
{
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->getSize ? ops->getSize(object) : 0;
}

const Object2D* ObjectStreamWrite(const Object2D* object, Stream* stream)
{
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->writeBody ? ops->writeBody(object, stream) : nullptr;
}

Object2D* ObjectStreamReadBody(Object2D* object, Stream* stream, uint32_t size, void*)
{
    ChunkReader reader = {stream, size};
    bool ok = ObjectReadHeader(object, reader);
    const ObjectKindOps* ops = ok ? Ops(object->kind) : nullptr;
    ok = ops && ops->readBody && ops->readBody(object, reader);
    reader.SkipRest();
    if (!ok) {
        ErrorRaise(0, kErrorRead);
        return nullptr;
    }
    return object;
}

Object2D* ObjectRender(Object2D* object, const float* scale, const float* offset)
{
    if (object->kind == 0) {
        return object;
    }
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->render ? ops->render(object, scale, offset) : nullptr;
}

Object2D* ObjectCopy(Object2D* dst, const Object2D* src)
{
    const ObjectKindOps* ops = Ops(src->kind);
    if (ops && ops->copy) {
        return ops->copy(dst, src);
    }
    if (src->kind != kObjectHitRegion && src->kind != kObjectText) {
        return nullptr;
    }
    // Written to memory and read back: the copy shares nothing but the font.
    std::vector<uint8_t> written =
        StreamWrittenBytes([&](Stream* s) { return ObjectStreamWrite(src, s) != nullptr; });
    if (written.empty()) {
        return nullptr;
    }
    StreamMemory memory = {written.data(), written.size()};
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &memory);
    Object2D* copied = in ? ObjectStreamReadBody(dst, in, uint32_t(memory.length), nullptr) : nullptr;
    if (in) {
        StreamClose(in, nullptr);
    }
    if (copied) {
        // The reader left a fresh record; the drawing state goes along too.
        copied->flags = src->flags;
        copied->world = src->world;
        if (src->kind == kObjectHitRegion) {
            copied->hitRegion.inverse = src->hitRegion.inverse;
        }
    }
    return copied;
}

Object2D* ObjectAssign(Object2D* dst, const Object2D* src)
{
    if (dst == src) {
        return dst;
    }
    Object2D* target = dst;
    if (target) {
        ObjectDestroyData(target);
    } else if (!(target = ObjectAlloc())) {
        return nullptr;
    }
    if (!ObjectCopy(target, src)) {
        ObjectInit(target, 0);
        if (!dst) {
            ObjectFree(target);
        }
        return nullptr;
    }
    return target;
}
