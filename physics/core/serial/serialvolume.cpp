#include "physics/core/serial/serialvolume.h"

#include <vector>

#include "graphics/core/stream.h"
#include "physics/core/context/volumetype.h"
#include "physics/core/serial/serialcompound.h"
#include "physics/core/volume/aggregate.h"
#include "physics/core/volume/box.h"
#include "physics/core/volume/capsule.h"
#include "physics/core/volume/convex.h"
#include "physics/core/volume/cylinder.h"
#include "physics/core/volume/grid.h"
#include "physics/core/volume/nullvolume.h"
#include "physics/core/volume/plane.h"
#include "physics/core/volume/sphere.h"
#include "physics/core/volume/trilist.h"

namespace {

/// The record's version: 1.
constexpr uint16_t kVolumeRecordVersion = 1;

struct BuiltinTag
{
    const OlpVolumeDescriptor* descriptor;
    uint16_t tag;
};

// Built-in types by descriptor, so that a custom type can never pass for one.
const BuiltinTag kBuiltinTags[] = {
    {&kOlpNullDescriptor, kOlpItemNull},       {&kOlpPlaneDescriptor, kOlpItemPlane},
    {&kOlpSphereDescriptor, kOlpItemSphere},   {&kOlpCapsuleDescriptor, kOlpItemCapsule},
    {&kOlpBoxDescriptor, kOlpItemBox},         {&kOlpCylinderDescriptor, kOlpItemCylinder},
    {&kOlpConvexDescriptor, kOlpItemConvex},   {&kOlpAggregateDescriptor, kOlpItemAggregate},
    {&kOlpTrilistDescriptor, kOlpItemTrilist}, {&kOlpGridDescriptor, kOlpItemGrid},
};

uint16_t TagOf(const OlpVolume* volume)
{
    for (const BuiltinTag& entry : kBuiltinTags) {
        if (entry.descriptor == volume->descriptor) {
            return entry.tag;
        }
    }
    return kOlpItemCustom;
}

int32_t WritePayload(OlpSerialCtx* ctx, const OlpVolume* volume, uint16_t tag)
{
    switch (tag) {
    case kOlpItemCapsule:
        return OlpSerialWriteFloat(ctx, OlpCapsuleGetHalfHeight(volume));
    case kOlpItemBox: {
        V3d half;
        return OlpSerialWriteVector(ctx, OlpBoxGetHalfExtents(volume, &half));
    }
    case kOlpItemCylinder:
        return OlpSerialWriteFloat(ctx, OlpCylinderGetHalfHeight(volume)) &&
               OlpSerialWriteFloat(ctx, OlpCylinderGetRadius(volume));
    case kOlpItemConvex: {
        const OlpConvexHull* hull = OlpConvexGetHull(volume);
        return hull != nullptr && OlpHullStreamWrite(ctx, hull);
    }
    case kOlpItemAggregate: {
        const OlpAggChildren* list = OlpAggregateGetChildren(volume);
        return list != nullptr && OlpChildListStreamWrite(ctx, list);
    }
    case kOlpItemGrid:
        return OlpGridStreamWrite(ctx, volume);
    case kOlpItemTrilist: {
        uint32_t kind = 0;
        OlpTrilistGetSource(volume, &kind);
        return OlpSerialWriteU32(ctx, kind);
    }
    case kOlpItemCustom:
        return OlpVolumeStreamWriteCustom(ctx, volume);
    default: // null, plane, sphere: no payload
        return 1;
    }
}

int32_t ReadPayload(OlpSerialCtx* ctx, OlpVolume* volume, uint16_t tag)
{
    switch (tag) {
    case kOlpItemNull:
        OlpNullInit(volume);
        return 1;
    case kOlpItemPlane:
        OlpPlaneInit(volume);
        return 1;
    case kOlpItemSphere:
        OlpSphereInit(volume, 1.0f);
        return 1;
    case kOlpItemCapsule: {
        float half = 0.0f;
        if (!OlpSerialReadFloat(ctx, &half)) {
            return 0;
        }
        OlpCapsuleInit(volume, 1.0f, half);
        return 1;
    }
    case kOlpItemBox: {
        V3d half;
        if (!OlpSerialReadVector(ctx, &half)) {
            return 0;
        }
        OlpBoxInit(volume, &half);
        return 1;
    }
    case kOlpItemCylinder: {
        float half = 0.0f;
        float radius = 0.0f;
        if (!OlpSerialReadFloat(ctx, &half) || !OlpSerialReadFloat(ctx, &radius)) {
            return 0;
        }
        OlpCylinderInit(volume, radius, half);
        return 1;
    }
    case kOlpItemConvex: {
        OlpConvexHull* hull = OlpHullStreamRead(ctx);
        if (hull == nullptr) {
            return 0;
        }
        OlpConvexInit(volume, hull);
        OlpConvexHullRelease(hull);
        return 1;
    }
    case kOlpItemAggregate: {
        OlpAggChildren* list = OlpChildListStreamRead(ctx);
        if (list == nullptr) {
            return 0;
        }
        OlpAggregateInit(volume, list);
        OlpAggChildrenRelease(list);
        return 1;
    }
    case kOlpItemGrid:
        return OlpGridStreamRead(ctx, volume);
    case kOlpItemTrilist: {
        uint32_t kind = 0;
        OlpNullInit(volume);
        return OlpSerialReadU32(ctx, &kind);
    }
    case kOlpItemCustom:
        return OlpVolumeStreamReadCustom(ctx, volume);
    default:
        return OlpSerialFail();
    }
}

} // namespace

int32_t OlpVolumeStreamWriteBody(OlpSerialCtx* ctx, const OlpVolume* volume)
{
    const uint16_t tag = TagOf(volume);
    return OlpSerialPutTag(ctx, kOlpItemVolumeBody, 0) && OlpSerialWriteU32(ctx, tag) &&
           OlpSerialPutTag(ctx, tag, 0) && WritePayload(ctx, volume, tag);
}

int32_t OlpVolumeStreamReadBody(OlpSerialCtx* ctx, OlpVolume* volume)
{
    OlpNullInit(volume);
    uint32_t tag = 0;
    if (!OlpSerialGetTag(ctx, kOlpItemVolumeBody, 0, nullptr) || !OlpSerialReadU32(ctx, &tag)) {
        return 0;
    }
    if (tag < kOlpItemNull || tag > kOlpItemCustom) {
        return OlpSerialFail();
    }
    if (!OlpSerialGetTag(ctx, static_cast<uint16_t>(tag), 0, nullptr)) {
        return 0;
    }
    if (!ReadPayload(ctx, volume, static_cast<uint16_t>(tag))) {
        // Whatever was half made goes; the caller sees an empty shape.
        OlpVolumeDestroyContents(volume);
        OlpNullInit(volume);
        return 0;
    }
    return 1;
}

int32_t OlpVolumeStreamWriteCustom(OlpSerialCtx* ctx, const OlpVolume* volume)
{
    const OlpVolumeDescriptor* descriptor = volume->descriptor;
    // A type without a writer (the triangle volume among them) cannot be kept.
    if (descriptor == nullptr || descriptor->streamWrite == nullptr) {
        return 0;
    }
    const int32_t bytes = descriptor->streamWrite(volume, nullptr);
    if (bytes <= 0 || !OlpSerialWriteU32(ctx, descriptor->typeId) ||
        !OlpSerialWriteU32(ctx, uint32_t(bytes))) {
        return 0;
    }
    if (uint64_t(ctx->count) + uint32_t(bytes) > UINT32_MAX) {
        return 0;
    }
    ctx->count += uint32_t(bytes);
    return ctx->stream == nullptr || descriptor->streamWrite(volume, ctx->stream) == bytes ? 1 : 0;
}

int32_t OlpVolumeStreamReadCustom(OlpSerialCtx* ctx, OlpVolume* volume)
{
    uint32_t typeId = 0;
    uint32_t bytes = 0;
    if (!OlpSerialReadU32(ctx, &typeId) || !OlpSerialReadU32(ctx, &bytes)) {
        return 0;
    }
    const OlpVolumeDescriptor* descriptor = OlpVolumeTypeFind(nullptr, typeId);
    if (descriptor == nullptr || descriptor->streamRead == nullptr || bytes == 0 ||
        bytes > OlpSerialRemaining(ctx)) {
        return OlpSerialFail();
    }
    // The type's reader gets exactly its own bytes, in a stream of their own,
    // so it can neither read past the chunk nor leave bytes unread.
    std::vector<uint8_t> payload(bytes);
    if (!OlpSerialGetBytes(ctx, payload.data(), bytes)) {
        return 0;
    }
    StreamMemory memory = {payload.data(), payload.size()};
    Stream own;
    if (StreamInit(&own, false, kStreamMemory, kStreamRead, &memory) == nullptr) {
        return 0;
    }
    OlpVolumeInit(volume, descriptor);
    const bool read = descriptor->streamRead(volume, &own) != nullptr;
    const bool whole = StreamGetRemaining(&own) == 0;
    StreamClose(&own, nullptr);
    if (!read || !whole) {
        if (read) {
            OlpVolumeDestroyContents(volume);
        }
        OlpNullInit(volume);
        return OlpSerialFail();
    }
    return 1;
}

int32_t OlpVolumeStreamWrite(OlpSerialCtx* ctx, const OlpVolume* volume)
{
    if (ctx->depth >= kOlpSerialMaxDepth) {
        return 0;
    }
    ++ctx->depth;
    const int32_t ok = OlpSerialPutTag(ctx, kOlpItemVolume, kVolumeRecordVersion) &&
                       OlpVolumeStreamWriteBody(ctx, volume) && OlpSerialWriteMatrix(ctx, &volume->frame) &&
                       OlpSerialWriteFloat(ctx, volume->margin) && OlpSerialWriteFloat(ctx, volume->slide) &&
                       OlpSerialWriteFloat(ctx, volume->bounce) && OlpSerialWriteU16(ctx, volume->id) &&
                       OlpSerialWriteU16(ctx, volume->tag);
    --ctx->depth;
    return ok;
}

int32_t OlpVolumeStreamRead(OlpSerialCtx* ctx, OlpVolume* volume)
{
    OlpNullInit(volume);
    if (ctx->depth >= kOlpSerialMaxDepth) {
        return OlpSerialFail();
    }
    ++ctx->depth;
    const bool body = OlpSerialGetTag(ctx, kOlpItemVolume, kVolumeRecordVersion, nullptr) &&
                      OlpVolumeStreamReadBody(ctx, volume);
    --ctx->depth;
    Matrix frame{};
    float margin = 0.0f;
    float slide = 0.0f;
    float bounce = 0.0f;
    uint16_t id = 0;
    uint16_t tag = 0;
    if (!body || !OlpSerialReadMatrix(ctx, &frame) || !OlpSerialReadFloat(ctx, &margin) ||
        !OlpSerialReadFloat(ctx, &slide) || !OlpSerialReadFloat(ctx, &bounce) ||
        !OlpSerialReadU16(ctx, &id) || !OlpSerialReadU16(ctx, &tag)) {
        OlpVolumeDestroyContents(volume);
        OlpNullInit(volume);
        return 0;
    }
    OlpVolumeSetFrame(volume, &frame);
    OlpVolumeSetMargin(volume, margin);
    // The coefficients are stored as they were: the setters would hand an
    // aggregate's own values down over the ones its children were read with.
    volume->slide = slide;
    volume->bounce = bounce;
    volume->id = id;
    OlpVolumeSetTag(volume, tag);
    return 1;
}
