// 2-D objects: the module, the common record, dispatch by kind, transforms,
// tints and the common stream header.

#include "graphics/toolkit2d/object2d.h"

#include <cmath>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/toolkit2d/chunkreader.h"
#include "graphics/toolkit2d/container.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/shape.h"
#include "graphics/toolkit2d/twoddevice.h"

namespace {

constexpr uint32_t kObjectHint = kMemoryHintEngine | 0x1A3;
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kMatrixRecordBytes = 52;

FreeList* gObjects = nullptr;
int32_t gEntriesPerBlock = 32;
int32_t gPreallocate = 1;
float gOffsetOut[4];

void SetIdentity(Matrix* matrix)
{
    *matrix = {};
    matrix->right.x = matrix->up.y = matrix->at.z = 1.0f;
    matrix->flags = kMatrixFlagsAll;
}

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

V3d GetV3d(const uint8_t* bytes)
{
    return {LittleEndianGetFloat(bytes), LittleEndianGetFloat(bytes + 4), LittleEndianGetFloat(bytes + 8)};
}

/// The local matrix chunk (0xD holding a struct chunk), read within the object's bytes.
bool ReadMatrix(ChunkReader& reader, Matrix* matrix)
{
    uint32_t size = 0, inner = 0;
    if (!ChunkReaderHeader(reader, kChunkMatrix, &size)) {
        return false;
    }
    ChunkReader body = {reader.stream, size};
    reader.Take(size);
    uint8_t record[kMatrixRecordBytes];
    const bool ok = ChunkReaderHeader(body, kChunkStruct, &inner) && inner >= kMatrixRecordBytes &&
                    body.Read(record, kMatrixRecordBytes);
    body.SkipRest();
    if (!ok) {
        return false;
    }
    *matrix = {};
    matrix->right = GetV3d(record);
    matrix->up = GetV3d(record + 12);
    matrix->at = GetV3d(record + 24);
    matrix->pos = GetV3d(record + 36);
    matrix->flags = LittleEndianGetU32(record + 48) & kMatrixFlagsOrthonormal;
    const float* values = &matrix->right.x;
    for (int32_t i = 0; i < 16; ++i) {
        if (i % 4 != 3 && !std::isfinite(values[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ObjectModuleOpen()
{
    gObjects = FreeListCreate(sizeof(Object2D), uint32_t(gEntriesPerBlock), 16, uint32_t(gPreallocate),
                              nullptr, kObjectHint);
    return gObjects != nullptr;
}

void ObjectModuleClose()
{
    if (gObjects) {
        FreeListDestroy(gObjects);
        gObjects = nullptr;
    }
}

void ObjectSetFreeListParams(int32_t entriesPerBlock, int32_t preallocate)
{
    gEntriesPerBlock = entriesPerBlock;
    gPreallocate = preallocate;
}

Object2D* ObjectAlloc()
{
    return gObjects ? static_cast<Object2D*>(MemoryFreeListAlloc(gObjects, kObjectHint)) : nullptr;
}

void ObjectFree(Object2D* object)
{
    if (object) {
        MemoryFreeListFree(gObjects, object);
    }
}

Object2D* ObjectInit(Object2D* object, int32_t kind)
{
    std::memset(static_cast<void*>(object), 0, sizeof(*object));
    object->kind = kind;
    object->drawOrder = kObjectDefaultOrder;
    object->flags = kObjectVisible | kObjectRecompose;
    SetIdentity(&object->local);
    SetIdentity(&object->world);
    for (float& scale : object->colourScale) {
        scale = 1.0f;
    }
    return object;
}

Object2D* ObjectCopyRecord(Object2D* dst, const Object2D* src)
{
    std::memcpy(static_cast<void*>(dst), src, sizeof(*dst));
    return dst;
}

bool ObjectDestroyData(Object2D* object)
{
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->destroyData && ops->destroyData(object);
}

uint32_t ObjectStreamGetSizeBase()
{
    return kHeaderBytes + kChunkHeaderSize + MatrixStreamGetSize();
}

uint32_t ObjectStreamGetSize(const Object2D* object)
{
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->getSize ? ops->getSize(object) : 0;
}

const Object2D* ObjectStreamWriteHeader(const Object2D* object, Stream* stream)
{
    uint8_t header[kHeaderBytes];
    LittleEndianPutU32(header, kFormatVersion);
    LittleEndianPutU32(header + 4, uint32_t(object->kind));
    LittleEndianPutU32(header + 8, uint32_t(object->drawOrder));
    for (int32_t i = 0; i < 4; ++i) {
        LittleEndianPutFloat(header + 12 + 4 * i, object->colourScale[i]);
        LittleEndianPutFloat(header + 28 + 4 * i, object->colourOffset[i]);
    }
    return StreamWrite(stream, header, kHeaderBytes) && MatrixStreamWrite(&object->local, stream) ? object
                                                                                                  : nullptr;
}

const Object2D* ObjectStreamWrite(const Object2D* object, Stream* stream)
{
    const ObjectKindOps* ops = Ops(object->kind);
    return ops && ops->writeBody ? ops->writeBody(object, stream) : nullptr;
}

bool ObjectReadHeader(Object2D* object, ChunkReader& reader)
{
    uint32_t version = 0;
    int32_t kind = 0, order = 0;
    float scale[4], offset[4];
    if (!reader.U32(&version) || version != kFormatVersion || !reader.I32(&kind) || !reader.I32(&order)) {
        return false;
    }
    for (int32_t i = 0; i < 4; ++i) {
        if (!reader.F32(&scale[i]) || !std::isfinite(scale[i])) {
            return false;
        }
    }
    for (int32_t i = 0; i < 4; ++i) {
        if (!reader.F32(&offset[i]) || !std::isfinite(offset[i])) {
            return false;
        }
    }
    Matrix local;
    if (!ReadMatrix(reader, &local)) {
        return false;
    }
    ObjectInit(object, kind);
    object->drawOrder = order;
    std::memcpy(object->colourScale, scale, sizeof(scale));
    std::memcpy(object->colourOffset, offset, sizeof(offset));
    object->local = local;
    object->flags = kObjectVisible | kObjectRecompose;
    return true;
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
    Stream* out = StreamOpen(kStreamMemory, kStreamWrite, nullptr);
    const bool written = out && ObjectStreamWrite(src, out);
    StreamMemory memory{};
    if (!out || !StreamClose(out, &memory) || !written) {
        MemoryFree(memory.block);
        return nullptr;
    }
    Stream* in = StreamOpen(kStreamMemory, kStreamRead, &memory);
    Object2D* copied = in ? ObjectStreamReadBody(dst, in, uint32_t(memory.length), nullptr) : nullptr;
    if (in) {
        StreamClose(in, nullptr);
    }
    MemoryFree(memory.block);
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

Matrix* ObjectGetMatrix(Object2D* object)
{
    return &object->local;
}

Object2D* ObjectMarkDirty(Object2D* object)
{
    object->flags |= kObjectRecompose;
    return object;
}

Object2D* ObjectSetMatrix(Object2D* object, const Matrix* matrix)
{
    object->local = *matrix;
    return ObjectMarkDirty(object);
}

Object2D* ObjectSetMatrixFromCTM(Object2D* object)
{
    return ObjectSetMatrix(object, TwoDCTMGet());
}

Object2D* ObjectResetMatrix(Object2D* object)
{
    SetIdentity(&object->local);
    return ObjectMarkDirty(object);
}

Object2D* ObjectScale(Object2D* object, float x, float y)
{
    const V3d scale = {x, y, 1.0f};
    MatrixScale(&object->local, &scale, kCombinePreConcat);
    return ObjectMarkDirty(object);
}

Object2D* ObjectTranslate(Object2D* object, float x, float y)
{
    const V3d translation = {x, y, 0.0f};
    MatrixTranslate(&object->local, &translation, kCombinePreConcat);
    return ObjectMarkDirty(object);
}

Object2D* ObjectRotate(Object2D* object, float degrees)
{
    const V3d axis = {0.0f, 0.0f, 1.0f};
    MatrixRotate(&object->local, &axis, degrees, kCombinePreConcat);
    return ObjectMarkDirty(object);
}

float* ObjectGetColourScale(Object2D* object)
{
    return object->colourScale;
}

Object2D* ObjectSetColourScale(Object2D* object, const float* rgba)
{
    std::memcpy(object->colourScale, rgba, sizeof(object->colourScale));
    object->flags |= kObjectColourSet;
    return object;
}

Object2D* ObjectSetColourOffset(Object2D* object, const float* rgba)
{
    for (int32_t i = 0; i < 4; ++i) {
        object->colourOffset[i] = rgba[i] * 255.0f;
    }
    object->flags |= kObjectColourSet;
    return object;
}

const float* ObjectGetColourOffset(const Object2D* object)
{
    for (int32_t i = 0; i < 4; ++i) {
        gOffsetOut[i] = object->colourOffset[i] * 0.003921569f;
    }
    return gOffsetOut;
}

int32_t ObjectGetKind(const Object2D* object)
{
    return object->kind;
}

bool ObjectIsContainer(const Object2D* object)
{
    return object->kind == kObjectContainer;
}

bool ObjectIsShape(const Object2D* object)
{
    return object->kind == kObjectShape;
}

bool ObjectIsHitRegion(const Object2D* object)
{
    return object->kind == kObjectHitRegion;
}

bool ObjectIsText(const Object2D* object)
{
    return object->kind == kObjectText;
}

bool ObjectIsVisible(const Object2D* object)
{
    return (object->flags & kObjectVisible) != 0;
}

int32_t ObjectGetDrawOrder(const Object2D* object)
{
    return object->drawOrder;
}

Object2D* ObjectSetDrawOrder(Object2D* object, int32_t order)
{
    object->drawOrder = order;
    return object;
}

bool ObjectPushWorldMatrix(Object2D* object)
{
    if (!(object->flags & kObjectRecompose)) {
        return TwoDCTMPushLoad(&object->world);
    }
    if (!TwoDCTMPushMultiply(&object->local)) {
        return false;
    }
    object->world = *TwoDCTMGet();
    object->flags &= ~kObjectRecompose;
    return true;
}

Object2D* ObjectStreamReadChunk(Stream* stream, uint32_t type, int32_t kind)
{
    uint32_t size = 0;
    if (!StreamFindChunk(stream, type, &size, nullptr)) {
        return nullptr;
    }
    Object2D* object = ObjectAlloc();
    if (!object) {
        StreamSkip(stream, size);
        return nullptr;
    }
    ChunkReader reader = {stream, size};
    bool ok = ObjectReadHeader(object, reader) && object->kind == kind;
    const ObjectKindOps* ops = ok ? Ops(kind) : nullptr;
    ok = ops && ops->readBody(object, reader);
    reader.SkipRest();
    if (!ok) {
        ErrorRaise(0, kErrorRead);
        ObjectFree(object);
        return nullptr;
    }
    return object;
}
