#include "graphics/core/frame.h"
#include "graphics/core/memory.h"
#include "physics/core/articulated/articulated.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/manager/pools.h"
#include "physics/core/utils/memory.h"
#include "physics/core/volume/dispatch.h"

namespace {

OlpArtDef* DefOf(const OlpObj* object)
{
    return static_cast<OlpArtDef*>(object->definition);
}

OlpArtObj* ArtOf(OlpObj* object)
{
    return reinterpret_cast<OlpArtObj*>(object);
}

// Gives back what an activation took (states and joints), then clears the counts.
void GiveBack(OlpObj* object, uint32_t parts)
{
    for (uint32_t i = 0; i < parts; ++i) {
        if (object->parts[i].dyn != nullptr) {
            OlpDynRelease(object->parts[i].dyn);
            object->parts[i].dyn = nullptr;
        }
    }
    for (uint32_t j = 0; j < object->jointCount; ++j) {
        OlpJointRelease(object->joints[j]);
        object->joints[j] = nullptr;
    }
    object->jointCount = 0;
}

// Bones no part drives keep their place relative to the attached frame (the
// identity without one).
void NoteUnclaimedBones(OlpArtObj* art, const OlpArtDef* def)
{
    if (art->matrixBlock == nullptr || art->bones == nullptr || def->claimed == nullptr) {
        return;
    }
    Matrix inverse;
    const Matrix* relative = art->frame != nullptr ? FrameGetLTM(static_cast<Frame*>(art->frame)) : nullptr;
    if (relative != nullptr) {
        MatrixInvert(&inverse, relative);
    }
    for (uint32_t j = 0; j < def->mappingCount; ++j) {
        if (def->claimed[j] == kOlpArtClaimed) {
            continue;
        }
        art->matrixBlock[j] = art->bones[j];
        if (relative != nullptr) {
            MatrixTransform(&art->matrixBlock[j], &inverse, kCombinePostConcat);
        }
    }
}

} // namespace

OlpArtObj* OlpArtObjInit(OlpArtObj* object, OlpArtDef* def, OlpObjType* type, uint32_t flags)
{
    const uint16_t parts = def != nullptr ? def->partCount : 0;
    const uint16_t joints = def != nullptr ? def->jointCount : 0;
    if (OlpObjInit(&object->base, parts, joints) == nullptr) {
        return nullptr;
    }
    object->frame = nullptr;
    object->bones = nullptr;
    object->matrixBlock = nullptr;
    const uint32_t mapping = def != nullptr ? def->mappingCount : 0;
    if (mapping != 0) {
        object->matrixBlock =
            static_cast<Matrix*>(OlpAlignedAlloc(sizeof(Matrix) * size_t(mapping), 16, kOlpMemoryHint));
        if (object->matrixBlock == nullptr) {
            OlpObjDeinit(&object->base);
            return nullptr;
        }
    }
    object->base.type = type;
    object->base.flags = flags | (mapping > parts ? kOlpObjFlagUnmappedBones : 0u);
    object->base.partCount = parts;
    if (def != nullptr) {
        object->base.definition = OlpArtDefAddRef(def);
        object->base.partPairs = def->partPairs;
        for (uint32_t i = 0; i < parts; ++i) {
            object->base.parts[i].volume = &def->volumes[i];
        }
    }
    return object;
}

int32_t OlpArtObjDeinit(OlpArtObj* object)
{
    // Destroyed while registered, it would leave the manager pointing at freed memory.
    if (object->base.manager != nullptr) {
        OlpMgrRemoveObject(object->base.manager, &object->base);
    }
    OlpObjDeinit(&object->base);
    OlpAlignedFree(object->matrixBlock);
    object->matrixBlock = nullptr;
    if (object->base.definition != nullptr) {
        OlpArtDefRelease(DefOf(&object->base));
        object->base.definition = nullptr;
    }
    object->base.partPairs = nullptr;
    return 1;
}

OlpArtObj* OlpArtObjSetMatrixArray(OlpArtObj* object, Matrix* bones)
{
    const OlpArtDef* def = DefOf(&object->base);
    object->bones = bones;
    for (uint32_t i = 0; i < object->base.partCount; ++i) {
        const uint32_t bone = def != nullptr ? def->boneIndex[i] : kOlpArtNoBone;
        object->base.parts[i].sourceMatrix =
            bones != nullptr && bone < def->mappingCount ? bones + bone : nullptr;
    }
    return object;
}

int32_t OlpArtObjActivate(OlpObj* object)
{
    OlpObjType* type = object->type;
    const OlpArtDef* def = DefOf(object);
    OlpMgr* mgr = object->manager;
    // All or nothing: a refusal changes nothing.
    if (def == nullptr || mgr == nullptr || type->activeCount >= type->maxActive ||
        OlpMgrGetFreeDynStates(mgr) < object->partCount || OlpMgrGetFreeJoints(mgr) < object->jointCapacity) {
        return 0;
    }
    for (uint32_t j = 0; j < object->jointCapacity; ++j) {
        if (def->jointEnds[2 * j] >= object->partCount || def->jointEnds[2 * j + 1] >= object->partCount) {
            return 0;
        }
    }
    for (uint32_t i = 0; i < object->partCount; ++i) {
        object->parts[i].dyn = OlpDynTake(mgr, &def->parts[i], object->parts[i].sourceMatrix);
        if (object->parts[i].dyn == nullptr) {
            GiveBack(object, i);
            return 0;
        }
    }
    for (uint32_t j = 0; j < object->jointCapacity; ++j) {
        OlpJointEnd first, second;
        OlpJointEndSet(&first, object, def->jointEnds[2 * j]);
        OlpJointEndSet(&second, object, def->jointEnds[2 * j + 1]);
        object->joints[j] = OlpJointCreate(mgr, &def->joints[j], &second, &first);
        if (object->joints[j] == nullptr) {
            GiveBack(object, object->partCount);
            return 0;
        }
        object->jointCount = static_cast<uint16_t>(j + 1);
    }
    ++type->activeCount;
    if ((object->flags & kOlpObjFlagUnmappedBones) != 0) {
        NoteUnclaimedBones(ArtOf(object), def);
    }
    return 1;
}

int32_t OlpArtObjDeactivate(OlpObj* object)
{
    GiveBack(object, object->partCount);
    --object->type->activeCount;
    return 1;
}

int32_t OlpArtObjBounds(OlpObj* object, OlpBBox* out)
{
    bool any = false;
    for (uint32_t i = 0; i < object->partCount; ++i) {
        const OlpObjPart& part = object->parts[i];
        OlpBBox box;
        if (part.volume == nullptr || OlpVolumeGetBBox(part.volume, part.sourceMatrix, 1, &box) == nullptr) {
            continue;
        }
        if (any) {
            OlpBBoxMerge(out, out, &box);
        } else {
            *out = box;
            any = true;
        }
    }
    return any ? 1 : 0;
}

int32_t OlpArtObjWriteBack(OlpObj* object)
{
    const OlpArtDef* def = DefOf(object);
    if (def == nullptr) {
        return 0;
    }
    for (uint32_t i = 0; i < object->partCount; ++i) {
        const OlpObjPart& part = object->parts[i];
        // A part that drives no bone has nowhere to put its pose.
        if (part.dyn == nullptr || part.sourceMatrix == nullptr) {
            continue;
        }
        *part.sourceMatrix = *OlpDynGetPose(part.dyn);
        const V3d& c = def->parts[i].centre;
        const V3d back = {-c.x, -c.y, -c.z};
        MatrixTranslate(part.sourceMatrix, &back, kCombinePreConcat);
        MatrixUpdate(part.sourceMatrix);
    }
    return 1;
}
