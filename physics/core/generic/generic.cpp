#include "physics/core/generic/generic.h"

#include "graphics/core/chunk.h"
#include "graphics/core/memory.h"
#include "physics/core/serial/serialchunk.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/nullvolume.h"

OlpObjType gOlpGenericType = {
    kOlpObjTypeGeneric, "olpOBJTYPEGENERIC", kOlpObjTypeUnlimited, 0,
    OlpArtObjActivate,  OlpArtObjDeactivate, OlpArtObjBounds,      OlpArtObjWriteBack};

OlpGenericDef* OlpGenericDefCreate(uint16_t parts, uint16_t joints)
{
    return parts != 0 ? OlpArtDefCreate(parts, joints, OlpNullInit) : nullptr;
}

OlpGenericDef* OlpGenericDefClone(const OlpGenericDef* def)
{
    return OlpArtDefClone(def, OlpNullInit);
}

int32_t OlpGenericDefRelease(OlpGenericDef* def)
{
    return OlpArtDefRelease(def);
}

OlpGenericDef* OlpGenericDefSetPartPairs(OlpGenericDef* def, OlpBitMatrix* matrix)
{
    return OlpArtDefSetPartPairs(def, matrix);
}

OlpGenericDef* OlpGenericDefSetPartCount(OlpGenericDef* def, uint32_t n)
{
    return OlpArtDefSetPartCount(def, n);
}

OlpGenericDef* OlpGenericDefSetJointCount(OlpGenericDef* def, uint32_t n)
{
    return OlpArtDefSetJointCount(def, n);
}

uint32_t OlpGenericDefGetJointIndex(const OlpGenericDef* def, uint32_t joint, int32_t first)
{
    return OlpArtDefGetJointIndex(def, joint, first);
}

OlpGenericDef* OlpGenericDefSetJointIndex(OlpGenericDef* def, uint32_t joint, int32_t first, uint32_t part)
{
    return OlpArtDefSetJointIndex(def, joint, first, part);
}

OlpGenericDef* OlpGenericDefForAllParts(OlpGenericDef* def, OlpArtPartVisitor visitor, void* data)
{
    return OlpArtDefForAllParts(def, visitor, data);
}

OlpGenericDef* OlpGenericDefForAllJoints(OlpGenericDef* def, OlpArtJointVisitor visitor, void* data)
{
    return OlpArtDefForAllJoints(def, visitor, data);
}

OlpGenericDef* OlpGenericDefSetMapping(OlpGenericDef* def, const uint32_t* keys, const uint32_t* values,
                                       uint32_t n)
{
    return OlpArtDefSetMapping(def, keys, values, n);
}

OlpGenericObj* OlpGenericObjInit(OlpGenericObj* object, OlpGenericDef* def)
{
    return OlpArtObjInit(object, def, &gOlpGenericType, kOlpObjFlagsGeneric);
}

OlpGenericObj* OlpGenericObjCreate(OlpGenericDef* def)
{
    auto* object = static_cast<OlpGenericObj*>(MemoryAllocate(sizeof(OlpGenericObj), kOlpMemoryHint));
    if (object == nullptr) {
        return nullptr;
    }
    if (OlpGenericObjInit(object, def) == nullptr) {
        MemoryFree(object);
        return nullptr;
    }
    return object;
}

int32_t OlpGenericObjDeinit(OlpGenericObj* object)
{
    return OlpArtObjDeinit(object);
}

int32_t OlpGenericObjDestroy(OlpGenericObj* object)
{
    OlpArtObjDeinit(object);
    MemoryFree(object);
    return 1;
}

OlpGenericObj* OlpGenericObjSetDef(OlpGenericObj* object, OlpGenericDef* def)
{
    // The capacities follow the definition: the object is built again on it.
    OlpArtObjDeinit(object);
    return OlpGenericObjInit(object, def);
}

OlpGenericObj* OlpGenericObjSetMatrixArray(OlpGenericObj* object, Matrix* bones)
{
    return OlpArtObjSetMatrixArray(object, bones);
}

OlpContextParams* OlpGenericParamsReserve(OlpContextParams* params, uint32_t maxRegistered,
                                          uint32_t maxActive, uint32_t parts, uint32_t joints)
{
    uint32_t* w = params->words;
    w[kOlpParamObjectTypes] += 1;
    w[kOlpParamObjects] += maxRegistered;
    w[kOlpParamActiveObjects] += maxActive;
    w[kOlpParamActiveParts] += parts;
    w[kOlpParamJoints] += joints;
    w[kOlpParamPairs] += 2 * parts;
    w[kOlpParamContacts] += 3 * parts;
    gOlpGenericType.maxActive = maxActive;
    return params;
}

int32_t OlpGenericObjRegisterType(OlpContext* context)
{
    return OlpContextRegisterObjectType(context, kOlpObjTypeGeneric, OlpGenericDefSerialize,
                                        OlpGenericDefDeserialize);
}

int32_t OlpGenericDefSerialize(OlpSerialCtx* ctx, const void* def)
{
    return OlpArtDefSerialize(ctx, static_cast<const OlpGenericDef*>(def));
}

int32_t OlpGenericDefDeserialize(OlpSerialCtx* ctx, void** out)
{
    OlpGenericDef* def = OlpArtDefDeserialize(ctx, 0, 0, OlpNullInit);
    if (def == nullptr) {
        return 0;
    }
    *out = def;
    return 1;
}

const OlpGenericDef* OlpGenericDefStreamWrite(const OlpGenericDef* def, Stream* stream)
{
    return OlpSerialDefChunkWrite(stream, kOlpChunkGenericDef, OlpGenericDefSerialize, def) ? def : nullptr;
}

OlpGenericDef* OlpGenericDefStreamRead(Stream* stream, uint32_t size)
{
    return static_cast<OlpGenericDef*>(OlpSerialDefChunkRead(stream, size, OlpGenericDefDeserialize));
}

uint32_t OlpGenericDefStreamSize(const OlpGenericDef* def)
{
    return OlpSerialDefChunkSize(OlpGenericDefSerialize, def);
}

const OlpGenericObj* OlpGenericObjStreamWrite(const OlpGenericObj* object, Stream* stream)
{
    const void* def = object->base.definition;
    return def != nullptr && OlpSerialObjectChunkWrite(stream, kOlpChunkGeneric, kOlpChunkGenericDef,
                                                       OlpGenericDefSerialize, def)
               ? object
               : nullptr;
}

OlpGenericObj* OlpGenericObjStreamRead(Stream* stream, uint32_t size)
{
    auto* def = static_cast<OlpGenericDef*>(
        OlpSerialObjectChunkRead(stream, size, kOlpChunkGenericDef, OlpGenericDefDeserialize));
    if (def == nullptr) {
        return nullptr;
    }
    OlpGenericObj* object = OlpGenericObjCreate(def);
    OlpGenericDefRelease(def);
    return object;
}

uint32_t OlpGenericObjStreamSize(const OlpGenericObj* object)
{
    const uint32_t def = object->base.definition != nullptr
                             ? OlpSerialDefChunkSize(OlpGenericDefSerialize, object->base.definition)
                             : 0;
    return def != 0 ? def + kChunkHeaderSize : 0;
}
