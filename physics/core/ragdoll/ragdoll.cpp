#include "physics/core/ragdoll/ragdoll.h"

#include "graphics/core/chunk.h"
#include "graphics/core/frame.h"
#include "graphics/core/memory.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/capsule.h"

namespace {

OlpVolume* RagdollVolume(OlpVolume* volume)
{
    return OlpCapsuleInit(volume, 1.0f, 1.0f);
}

// The write back with the graphics attachment: the frame follows part 0.
int32_t WriteBackWithFrame(OlpObj* object)
{
    const int32_t written = OlpArtObjWriteBack(object);
    auto* ragdoll = reinterpret_cast<OlpRagdoll*>(object);
    if (written != 0 && ragdoll->frame != nullptr && object->partCount > 0 &&
        object->parts[0].sourceMatrix != nullptr) {
        FrameTransform(static_cast<Frame*>(ragdoll->frame), object->parts[0].sourceMatrix, kCombineReplace);
    }
    return written;
}

} // namespace

OlpObjType gOlpRagdollType = {
    kOlpObjTypeRagdoll, "olpOBJTYPERAGDOLL", kOlpObjTypeUnlimited, 0,
    OlpArtObjActivate,  OlpArtObjDeactivate, OlpArtObjBounds,      OlpArtObjWriteBack};

OlpRagdollDef* OlpRagdollDefCreate()
{
    return OlpArtDefCreate(kOlpRagdollParts, kOlpRagdollJoints, RagdollVolume);
}

OlpRagdollDef* OlpRagdollDefClone(const OlpRagdollDef* def)
{
    return OlpArtDefClone(def, RagdollVolume);
}

int32_t OlpRagdollDefRelease(OlpRagdollDef* def)
{
    return OlpArtDefRelease(def);
}

OlpRagdollDef* OlpRagdollDefSetPartPairs(OlpRagdollDef* def, OlpBitMatrix* matrix)
{
    return OlpArtDefSetPartPairs(def, matrix);
}

OlpRagdollDef* OlpRagdollDefSetPartCount(OlpRagdollDef* def, uint32_t n)
{
    return OlpArtDefSetPartCount(def, n);
}

OlpRagdollDef* OlpRagdollDefSetJointCount(OlpRagdollDef* def, uint32_t n)
{
    return OlpArtDefSetJointCount(def, n);
}

uint32_t OlpRagdollGetJointIndex(const OlpRagdollDef* def, uint32_t joint, int32_t first)
{
    return OlpArtDefGetJointIndex(def, joint, first);
}

OlpRagdollDef* OlpRagdollSetJointIndex(OlpRagdollDef* def, uint32_t joint, int32_t first, uint32_t part)
{
    return OlpArtDefSetJointIndex(def, joint, first, part);
}

OlpRagdollDef* OlpRagdollDefForAllParts(OlpRagdollDef* def, OlpArtPartVisitor visitor, void* data)
{
    return OlpArtDefForAllParts(def, visitor, data);
}

OlpRagdollDef* OlpRagdollDefForAllJoints(OlpRagdollDef* def, OlpArtJointVisitor visitor, void* data)
{
    return OlpArtDefForAllJoints(def, visitor, data);
}

OlpRagdollDef* OlpRagdollDefSetMapping(OlpRagdollDef* def, const uint32_t* keys, const uint32_t* values,
                                       uint32_t n)
{
    return OlpArtDefSetMapping(def, keys, values, n);
}

OlpRagdoll* OlpRagdollInit(OlpRagdoll* ragdoll, OlpRagdollDef* def)
{
    return OlpArtObjInit(ragdoll, def, &gOlpRagdollType, kOlpObjFlagsBody);
}

OlpRagdoll* OlpRagdollCreate(OlpRagdollDef* def)
{
    auto* ragdoll = static_cast<OlpRagdoll*>(MemoryAllocate(sizeof(OlpRagdoll), kOlpMemoryHint));
    if (ragdoll == nullptr) {
        return nullptr;
    }
    if (OlpRagdollInit(ragdoll, def) == nullptr) {
        MemoryFree(ragdoll);
        return nullptr;
    }
    return ragdoll;
}

int32_t OlpRagdollDeinit(OlpRagdoll* ragdoll)
{
    return OlpArtObjDeinit(ragdoll);
}

int32_t OlpRagdollDestroy(OlpRagdoll* ragdoll)
{
    OlpArtObjDeinit(ragdoll);
    MemoryFree(ragdoll);
    return 1;
}

OlpRagdoll* OlpRagdollSetMatrixArray(OlpRagdoll* ragdoll, Matrix* bones)
{
    return OlpArtObjSetMatrixArray(ragdoll, bones);
}

OlpRagdoll* OlpRagdollSetFrame(OlpRagdoll* ragdoll, Frame* frame)
{
    ragdoll->frame = frame;
    return ragdoll;
}

Frame* OlpRagdollGetFrame(const OlpRagdoll* ragdoll)
{
    return static_cast<Frame*>(ragdoll->frame);
}

OlpContextParams* OlpRagdollParamsReserve(OlpContextParams* params, uint32_t maxRegistered,
                                          uint32_t maxActive)
{
    uint32_t* w = params->words;
    w[kOlpParamObjectTypes] += 1;
    w[kOlpParamObjects] += maxRegistered;
    w[kOlpParamActiveObjects] += maxActive;
    w[kOlpParamActiveParts] += kOlpRagdollParts * maxActive;
    w[kOlpParamJoints] += kOlpRagdollJoints * maxActive;
    w[kOlpParamPairs] += 10 * maxActive;
    w[kOlpParamContacts] += 25 * maxActive;
    gOlpRagdollType.maxActive = maxActive;
    return params;
}

int32_t OlpRagdollRegisterType(OlpContext* context)
{
    return OlpContextRegisterObjectType(context, kOlpObjTypeRagdoll, OlpRagdollDefSerialize,
                                        OlpRagdollDefDeserialize);
}

int32_t OlpRagdollPluginAttach()
{
    gOlpRagdollType.writeBack = WriteBackWithFrame;
    return 1;
}

bool OlpRagdollPluginAttached()
{
    return gOlpRagdollType.writeBack == WriteBackWithFrame;
}

int32_t OlpRagdollDefSerialize(OlpSerialCtx* ctx, const void* def)
{
    return OlpArtDefSerialize(ctx, static_cast<const OlpRagdollDef*>(def));
}

int32_t OlpRagdollDefDeserialize(OlpSerialCtx* ctx, void** out)
{
    OlpRagdollDef* def = OlpArtDefDeserialize(ctx, kOlpRagdollParts, kOlpRagdollJoints, RagdollVolume);
    if (def == nullptr) {
        return 0;
    }
    *out = def;
    return 1;
}

const OlpRagdollDef* OlpRagdollDefStreamWrite(const OlpRagdollDef* def, Stream* stream)
{
    return OlpSerialDefChunkWrite(stream, kOlpChunkRagdollDef, OlpRagdollDefSerialize, def) ? def : nullptr;
}

OlpRagdollDef* OlpRagdollDefStreamRead(Stream* stream, uint32_t size)
{
    return static_cast<OlpRagdollDef*>(OlpSerialDefChunkRead(stream, size, OlpRagdollDefDeserialize));
}

uint32_t OlpRagdollDefStreamSize(const OlpRagdollDef* def)
{
    return OlpSerialDefChunkSize(OlpRagdollDefSerialize, def);
}

const OlpRagdoll* OlpRagdollStreamWrite(const OlpRagdoll* ragdoll, Stream* stream)
{
    const void* def = ragdoll->base.definition;
    return def != nullptr && OlpSerialObjectChunkWrite(stream, kOlpChunkRagdoll, kOlpChunkRagdollDef,
                                                       OlpRagdollDefSerialize, def)
               ? ragdoll
               : nullptr;
}

OlpRagdoll* OlpRagdollStreamRead(Stream* stream, uint32_t size)
{
    auto* def = static_cast<OlpRagdollDef*>(
        OlpSerialObjectChunkRead(stream, size, kOlpChunkRagdollDef, OlpRagdollDefDeserialize));
    if (def == nullptr) {
        return nullptr;
    }
    OlpRagdoll* ragdoll = OlpRagdollCreate(def);
    OlpRagdollDefRelease(def);
    return ragdoll;
}

uint32_t OlpRagdollStreamSize(const OlpRagdoll* ragdoll)
{
    const uint32_t def = ragdoll->base.definition != nullptr
                             ? OlpSerialDefChunkSize(OlpRagdollDefSerialize, ragdoll->base.definition)
                             : 0;
    return def != 0 ? def + kChunkHeaderSize : 0;
}
