// Hit regions: a path placed by the object's world matrix and tested
// against points; never drawn.

#include "graphics/core/chunk.h"
#include "graphics/core/engine.h"
#include "graphics/toolkit2d/object2dinternal.h"
#include "graphics/toolkit2d/path.h"
#include "graphics/toolkit2d/twoddevice.h"

Object2D* HitRegionInit(Object2D* object)
{
    ObjectInit(object, kObjectHitRegion);
    object->hitRegion.path = PathCreate();
    object->hitRegion.inverse = object->world;
    return object->hitRegion.path ? object : nullptr;
}

Object2D* HitRegionCreate()
{
    Object2D* object = ObjectAlloc();
    if (object && !HitRegionInit(object)) {
        ObjectFree(object);
        return nullptr;
    }
    return object;
}

Path* HitRegionGetPath(Object2D* object)
{
    return object->hitRegion.path;
}

bool HitRegionDestroyData(Object2D* object)
{
    const bool destroyed = PathDestroy(object->hitRegion.path);
    object->hitRegion.path = nullptr;
    return destroyed;
}

bool HitRegionDestroy(Object2D* object)
{
    if (!object) {
        return false;
    }
    const bool destroyed = HitRegionDestroyData(object);
    ObjectFree(object);
    return destroyed;
}

bool HitRegionContainsPoint(const Object2D* object, const V2d* point)
{
    if (!ObjectIsVisible(object) || !object->hitRegion.path) {
        return false;
    }
    const V3d in = {point->x, point->y, 0.0f};
    V3d local;
    V3dTransformPoint(&local, &in, &object->hitRegion.inverse);
    const V2d at = {local.x, local.y};
    return PathSubContainsPoint(&at, object->hitRegion.path);
}

Object2D* HitRegionUpdate(Object2D* object, const float*, const float*)
{
    if (!ObjectIsVisible(object)) {
        return object;
    }
    const bool recompose = object->flags & kObjectRecompose;
    if (!ObjectPushWorldMatrix(object)) {
        return nullptr;
    }
    if (recompose) {
        MatrixInvert(&object->hitRegion.inverse, &object->world);
    }
    TwoDCTMPop();
    return object;
}

uint32_t HitRegionStreamGetSize(const Object2D* object)
{
    return ObjectStreamGetSizeBase() + kChunkHeaderSize + PathStreamGetSize(object->hitRegion.path);
}

const Object2D* HitRegionStreamWriteBody(const Object2D* object, Stream* stream)
{
    return ObjectStreamWriteHeader(object, stream) && PathStreamWrite(object->hitRegion.path, stream)
               ? object
               : nullptr;
}

const Object2D* HitRegionStreamWrite(const Object2D* object, Stream* stream)
{
    if (!ChunkHeaderWrite(stream, kChunkHitRegion, HitRegionStreamGetSize(object), kEngineVersion,
                          kEngineBuild)) {
        return nullptr;
    }
    return HitRegionStreamWriteBody(object, stream);
}

bool HitRegionReadBody(Object2D* object, ChunkReader& reader)
{
    uint32_t size = 0;
    if (!ChunkReaderHeader(reader, kChunkPath, &size) || !reader.Take(size)) {
        return false;
    }
    object->hitRegion.path = PathStreamReadBody(reader.stream, size);
    object->hitRegion.inverse = object->world;
    return object->hitRegion.path != nullptr;
}

Object2D* HitRegionStreamReadBody(Object2D* object, Stream* stream, uint32_t size)
{
    ChunkReader reader = {stream, size};
    const bool ok = HitRegionReadBody(object, reader);
    reader.SkipRest();
    return ok ? object : nullptr;
}

Object2D* HitRegionStreamRead(Stream* stream)
{
    return ObjectStreamReadChunk(stream, kChunkHitRegion, kObjectHitRegion, HitRegionReadBody);
}
