#include "framework/physicshelpers.h"

#include <algorithm>
#include <cmath>

#include <vector>

#include "framework/vectorops.h"
#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/joint/jointdef.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"

namespace {

constexpr float kDegreesPerRadian = 57.295776f;
// PhysicsObjectStepTowards: where the object rests against the target, in
// multiples of its radius, and the share of the way taken per call.
constexpr float kStepRaise = 0.35f;
constexpr float kStepShorten = 0.93675f;
constexpr float kStepShare = 0.05f;

/// The frame whose modelling matrix part 0 follows: a body's atomic's frame.
Frame* PartFrame(const OlpObj* object)
{
    if (object->type != &gOlpBodyType)
        return nullptr;
    const auto* atomic = static_cast<const Atomic*>(reinterpret_cast<const OlpBody*>(object)->atomic);
    return atomic ? AtomicGetFrame(atomic) : nullptr;
}

/// Marks part `index`'s source matrix changed and copies it into its
/// dynamics state.
void ResynchronisePart(OlpObj* object, uint32_t index)
{
    Matrix* source = object->parts[index].sourceMatrix;
    MatrixUpdate(source);
    if (Frame* frame = index == 0 ? PartFrame(object) : nullptr)
        FrameUpdateObjects(frame);
    OlpObjResetPartPose(object, index);
}

/// Moves the object's box in the far field and wakes it.
void FollowInManager(OlpObj* object)
{
    if (!object->manager)
        return;
    if (object->type == &gOlpBodyType)
        OlpBodyUpdateBounds(reinterpret_cast<OlpBody*>(object));
    else
        OlpObjUpdateBounds(object);
    OlpMgrSetObjectAwake(object->manager, object, 1);
}

void Resynchronise(OlpObj* object)
{
    ResynchronisePart(object, 0);
    FollowInManager(object);
}

/// Activates a registered object that is not active; false when it is
/// unregistered, has no parts or its manager refuses.
bool MakeActive(OlpObj* object)
{
    OlpMgr* manager = object->manager;
    if (!manager || object->partCount == 0)
        return false;
    return OlpMgrIsObjectActive(manager, object) || OlpMgrActivateObject(manager, object);
}

/// Part 0's source matrix; null for an object without parts or matrix.
Matrix* SourceOf(OlpObj* object)
{
    return object && object->partCount > 0 ? object->parts[0].sourceMatrix : nullptr;
}

Material* SetColour(Material* material, void* data)
{
    material->colour = *static_cast<const RGBA*>(data);
    material->surfaceProperties = {1.0f, 1.0f, 0.5f};
    return material;
}

Material* SetTexture(Material* material, void* data)
{
    MaterialSetTexture(material, static_cast<Texture*>(data));
    return material;
}

OlpObj* Collect(OlpObj* object, void* data)
{
    static_cast<std::vector<OlpObj*>*>(data)->push_back(object);
    return object;
}

OlpJoint* CollectJoint(OlpJoint* joint, void* data)
{
    static_cast<std::vector<OlpJoint*>*>(data)->push_back(joint);
    return joint;
}

int32_t CollectVolume(OlpVolume* volume, void* data)
{
    static_cast<std::vector<OlpVolume*>*>(data)->push_back(volume);
    return 1;
}

void SetLinearVelocity(OlpObj* object, float x, float y, float z, float speed)
{
    const V3d direction = {x, y, z};
    V3d unit;
    if (V3dNormalize(&unit, &direction) == 0.0f || !MakeActive(object))
        return;
    const V3d velocity = {unit.x * speed, unit.y * speed, unit.z * speed};
    for (uint32_t i = 0; i < object->partCount; ++i) {
        if (OlpDyn* dyn = object->parts[i].dyn)
            OlpDynSetVelocity(dyn, &velocity, &OlpDynGetVelocity(dyn)->angular);
    }
    OlpMgrSetObjectAwake(object->manager, object, 1);
}

int32_t SetDrives(OlpJointDef* joint, void* data)
{
    const auto* values = static_cast<const float*>(data);
    for (int32_t i = 0; i < 3; ++i) {
        for (OlpJointDrive* drive :
             {OlpJointDefGetDriveB(joint, i), OlpJointBlockCGetDrive(&joint->blockC, i)}) {
            OlpJointDriveSetFirst(drive, values[0]);
            OlpJointDriveSetSecond(drive, values[1]);
        }
    }
    return 1;
}

} // namespace

void PhysicsObjectSetPosition(OlpObj* object, float x, float y, float z)
{
    Matrix* source = SourceOf(object);
    if (!source)
        return;
    source->pos = {x, y, z};
    Resynchronise(object);
}

void PhysicsObjectRotate(OlpObj* object, float x, float y, float z, float radians)
{
    Matrix* source = SourceOf(object);
    const V3d axis = {x, y, z};
    V3d unit;
    if (!source || V3dNormalize(&unit, &axis) == 0.0f)
        return;
    const V3d position = source->pos;
    MatrixRotate(source, &unit, radians * kDegreesPerRadian, kCombineReplace);
    source->pos = position;
    Resynchronise(object);
}

void PhysicsBodySetPosition(OlpBody* body, float x, float y, float z)
{
    OlpObj* object = &body->base;
    if (!MakeActive(object))
        return;
    if (OlpDyn* dyn = object->parts[0].dyn)
        OlpDynGetPose(dyn)->pos = {x, y, z};
    OlpMgrSetObjectAwake(object->manager, object, 1);
}

void RagdollRotate(OlpRagdoll* ragdoll, float x, float y, float z, float radians)
{
    OlpObj* object = &ragdoll->base;
    const Matrix* first = SourceOf(object);
    const V3d axis = {x, y, z};
    V3d unit;
    if (!first || V3dNormalize(&unit, &axis) == 0.0f)
        return;
    // The turn about the pivot: to the origin, turned, and back.
    const V3d pivot = first->pos;
    const V3d back = {-pivot.x, -pivot.y, -pivot.z};
    Matrix turn;
    MatrixTranslate(&turn, &back, kCombineReplace);
    MatrixRotate(&turn, &unit, radians * kDegreesPerRadian, kCombinePostConcat);
    MatrixTranslate(&turn, &pivot, kCombinePostConcat);
    for (uint32_t i = 0; i < object->partCount; ++i) {
        if (Matrix* source = object->parts[i].sourceMatrix) {
            MatrixTransform(source, &turn, kCombinePostConcat);
            if (i == 0)
                source->pos = pivot; // the pivot stays put, without rounding
            ResynchronisePart(object, i);
        }
    }
    FollowInManager(object);
}

void RagdollSetPosition(OlpRagdoll* ragdoll, float x, float y, float z)
{
    OlpObj* object = &ragdoll->base;
    if (!MakeActive(object) || !object->parts[0].dyn)
        return;
    const V3d& first = OlpDynGetPose(object->parts[0].dyn)->pos;
    const V3d offset = {x - first.x, y - first.y, z - first.z};
    for (uint32_t i = 0; i < object->partCount; ++i) {
        if (OlpDyn* dyn = object->parts[i].dyn) {
            V3d& position = OlpDynGetPose(dyn)->pos;
            position = {position.x + offset.x, position.y + offset.y, position.z + offset.z};
        }
    }
    OlpMgrSetObjectAwake(object->manager, object, 1);
}

void RagdollSetVelocity(OlpRagdoll* ragdoll, float x, float y, float z, float speed)
{
    SetLinearVelocity(&ragdoll->base, x, y, z, speed);
}

void PhysicsBodySetVelocity(OlpBody* body, float x, float y, float z, float speed)
{
    SetLinearVelocity(&body->base, x, y, z, speed);
}

void RagdollTranslate(OlpRagdoll* ragdoll, float x, float y, float z)
{
    OlpObj* object = &ragdoll->base;
    for (uint32_t i = 0; i < object->partCount; ++i) {
        if (Matrix* source = object->parts[i].sourceMatrix) {
            source->pos = {source->pos.x + x, source->pos.y + y, source->pos.z + z};
            ResynchronisePart(object, i);
        }
    }
    FollowInManager(object);
}

void RagdollSetDrives(OlpRagdoll* ragdoll, float first, float second)
{
    auto* definition = static_cast<OlpRagdollDef*>(ragdoll->base.definition);
    float values[2] = {first, second};
    if (definition)
        OlpArtDefForAllJoints(definition, SetDrives, values);
}

void PhysicsObjectStepTowards(OlpObj* object, float x, float y, float z, float radius)
{
    Matrix* source = SourceOf(object);
    if (!source)
        return;
    const V3d from = source->pos;
    const float dx = x - from.x, dz = z - from.z;
    const float horizontal = std::sqrt(dx * dx + dz * dz);
    const float kept =
        horizontal > 0.0f ? std::max(0.0f, horizontal - kStepShorten * radius) / horizontal : 0.0f;
    const V3d goal = {from.x + dx * kept, y + kStepRaise * radius, from.z + dz * kept};
    source->pos = V3dAdd(from, V3dScaled(V3dSub(goal, from), kStepShare));
    Resynchronise(object);
}

void AtomicSetMaterialColour(Atomic* atomic, RGBA colour)
{
    if (atomic && atomic->geometry)
        GeometryForAllMaterials(atomic->geometry, SetColour, &colour);
}

void ObjectSetGeometryTexture(Atomic* atomic, Texture* texture)
{
    if (atomic && atomic->geometry)
        GeometryForAllMaterials(atomic->geometry, SetTexture, texture);
}

void RemoveContextContents(OlpContext* context)
{
    if (!context)
        return;
    // Each walk lists first and removes afterwards, so that no walk runs
    // over a table that it empties.
    OlpMgr* manager = OlpContextGetMgr(context);
    std::vector<OlpObj*> objects;
    OlpMgrForAllObjects(manager, Collect, &objects);
    for (OlpObj* object : objects) {
        OlpMgrRemoveObject(manager, object);
        if (object->type == &gOlpBodyType)
            OlpBodyDeinit(reinterpret_cast<OlpBody*>(object));
        else
            OlpObjDeinit(object);
    }
    std::vector<OlpJoint*> joints;
    OlpMgrForAllJoints(manager, CollectJoint, &joints);
    for (OlpJoint* joint : joints)
        OlpJointRelease(joint);
    std::vector<OlpVolume*> volumes;
    OlpContextForAllObjects(context, CollectVolume, &volumes);
    for (OlpVolume* volume : volumes) {
        OlpContextRemoveObject(context, volume);
        OlpVolumeDestroy(volume);
    }
}
