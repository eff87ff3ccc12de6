// 2-D objects: the module, the common record, transforms, tints and the
// common stream header. The kinds build on this file; the dispatch by kind
// (objectkinds.cpp) builds on the kinds.

#include "graphics/toolkit2d/object2d.h"

#include <cmath>
#include <cstring>

#include "graphics/core/chunk.h"
#include "graphics/core/freelist.h"
#include "graphics/core/memory.h"
#include "graphics/toolkit2d/chunkreader.h"
#include "graphics/toolkit2d/object2dinternal.h"
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

uint32_t ObjectStreamGetSizeBase()
{
    return kHeaderBytes + kChunkHeaderSize + MatrixStreamGetSize();
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

Object2D* ObjectStreamReadChunk(Stream* stream, uint32_t type, int32_t kind, ObjectBodyReader readBody)
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
    const bool ok = ObjectReadHeader(object, reader) && object->kind == kind && readBody(object, reader);
    reader.SkipRest();
    if (!ok) {
        ErrorRaise(0, kErrorRead);
        ObjectFree(object);
        return nullptr;
    }
    return object;
}
