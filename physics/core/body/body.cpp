#include "physics/core/body/body.h"

#include "graphics/core/memory.h"
#include "physics/core/body/bodyatomic.h"
#include "physics/core/body/bodystream.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/dispatch.h"

namespace {

OlpBodyDef* DefOf(const OlpObj* object)
{
    return static_cast<OlpBodyDef*>(object->definition);
}

int32_t Activate(OlpObj* object)
{
    OlpObjType* type = object->type;
    OlpBodyDef* def = DefOf(object);
    if (type->activeCount >= type->maxActive || def == nullptr || object->manager == nullptr) {
        return 0;
    }
    OlpDyn* dyn = OlpDynTake(object->manager, &def->part, object->parts[0].sourceMatrix);
    if (dyn == nullptr) {
        return 0;
    }
    object->parts[0].dyn = dyn;
    ++type->activeCount;
    return 1;
}

int32_t Deactivate(OlpObj* object)
{
    OlpDyn*& dyn = object->parts[0].dyn;
    if (dyn == nullptr) {
        return 0;
    }
    OlpDynRelease(dyn);
    dyn = nullptr;
    --object->type->activeCount;
    return 1;
}

int32_t Bounds(OlpObj* object, OlpBBox* out)
{
    const OlpObjPart& part = object->parts[0];
    return part.volume != nullptr && OlpVolumeGetBBox(part.volume, part.sourceMatrix, 1, out) != nullptr ? 1
                                                                                                         : 0;
}

int32_t WriteBack(OlpObj* object)
{
    const OlpObjPart& part = object->parts[0];
    const OlpBodyDef* def = DefOf(object);
    // A body without a source matrix has nowhere to put its pose.
    if (part.dyn == nullptr || part.sourceMatrix == nullptr || def == nullptr) {
        return 0;
    }
    *part.sourceMatrix = *OlpDynGetPose(part.dyn);
    const V3d back = {-def->part.centre.x, -def->part.centre.y, -def->part.centre.z};
    MatrixTranslate(part.sourceMatrix, &back, kCombinePreConcat);
    MatrixUpdate(part.sourceMatrix);
    return 1;
}

} // namespace

OlpObjType gOlpBodyType = {kOlpObjTypeBody, "olpOBJTYPEBODY", kOlpObjTypeUnlimited, 0, Activate, Deactivate,
                           Bounds,          WriteBack};

OlpBody* OlpBodyInit(OlpBody* body, OlpBodyDef* def)
{
    if (OlpObjInit(&body->base, 1, 0) == nullptr) {
        return nullptr;
    }
    body->base.type = &gOlpBodyType;
    body->base.partCount = 1;
    body->base.flags = kOlpObjFlagsBody;
    body->atomic = nullptr;
    OlpBodySetDef(body, def);
    return body;
}

OlpBody* OlpBodyCreate(OlpBodyDef* def)
{
    auto* body = static_cast<OlpBody*>(MemoryAllocate(sizeof(OlpBody), kOlpMemoryHint));
    if (body == nullptr) {
        return nullptr;
    }
    if (OlpBodyInit(body, def) == nullptr) {
        MemoryFree(body);
        return nullptr;
    }
    return body;
}

OlpBody* OlpBodyClone(const OlpBody* body)
{
    OlpBody* clone = OlpBodyCreate(DefOf(&body->base));
    if (clone != nullptr) {
        clone->base.flags = body->base.flags;
    }
    return clone;
}

int32_t OlpBodyDeinit(OlpBody* body)
{
    // A body destroyed while registered would leave the manager pointing at freed memory.
    if (body->base.manager != nullptr) {
        OlpMgrRemoveObject(body->base.manager, &body->base);
    }
    // Nor may an atomic keep a destroyed body.
    if (body->atomic != nullptr) {
        OlpBodyAttach(static_cast<Atomic*>(body->atomic), nullptr);
    }
    OlpBodySetDef(body, nullptr);
    OlpObjDeinit(&body->base);
    return 1;
}

int32_t OlpBodyDestroy(OlpBody* body)
{
    OlpBodyDeinit(body);
    MemoryFree(body);
    return 1;
}

OlpBody* OlpBodySetDef(OlpBody* body, OlpBodyDef* def)
{
    if (def != nullptr) {
        OlpBodyDefAddRef(def);
    }
    if (body->base.definition != nullptr) {
        OlpBodyDefRelease(DefOf(&body->base));
    }
    body->base.definition = def;
    // The first part must never keep the volume of a definition that may be gone.
    body->base.parts[0].volume = def != nullptr ? def->volume : nullptr;
    return body;
}

OlpBody* OlpBodyUpdateBounds(OlpBody* body)
{
    OlpObj* object = &body->base;
    if (object->manager == nullptr) {
        return body;
    }
    OlpBBox box;
    OlpMgrUpdateObjectBounds(object->manager, object, Bounds(object, &box) != 0 ? &box : nullptr);
    return body;
}

OlpContextParams* OlpBodyParamsReserve(OlpContextParams* params, uint32_t maxRegistered, uint32_t maxActive)
{
    uint32_t* w = params->words;
    w[kOlpParamObjectTypes] += 1;
    w[kOlpParamObjects] += maxRegistered;
    w[kOlpParamActiveObjects] += maxActive;
    w[kOlpParamActiveParts] += maxActive;
    w[kOlpParamPairs] += 5 * maxActive;
    w[kOlpParamContacts] += 5 * maxActive;
    gOlpBodyType.maxActive = maxActive;
    return params;
}

int32_t OlpBodyRegisterType(OlpContext* context)
{
    return OlpContextRegisterObjectType(context, kOlpObjTypeBody, OlpBodyDefSerialize, OlpBodyDefDeserialize);
}
