#include "framework/physicshelpers.h"

#include <vector>

#include "graphics/core/frame.h"
#include "graphics/core/matrix.h"
#include "graphics/scene/atomic.h"
#include "graphics/scene/geometry.h"
#include "graphics/scene/material.h"
#include "physics/core/body/body.h"
#include "physics/core/context/context.h"
#include "physics/core/dyn/dyn.h"
#include "physics/core/joint/joint.h"
#include "physics/core/manager/manager.h"
#include "physics/core/object/object.h"

namespace {

constexpr float kDegreesPerRadian = 57.295776f;

/// The frame whose modelling matrix part 0 follows: a body's atomic's frame.
Frame* PartFrame(const OlpObj* object)
{
    if (object->type != &gOlpBodyType)
        return nullptr;
    const auto* atomic = static_cast<const Atomic*>(reinterpret_cast<const OlpBody*>(object)->atomic);
    return atomic ? AtomicGetFrame(atomic) : nullptr;
}

void Resynchronise(OlpObj* object)
{
    Matrix* source = object->parts[0].sourceMatrix;
    MatrixUpdate(source);
    if (Frame* frame = PartFrame(object))
        FrameUpdateObjects(frame);
    OlpObjResetPartPose(object, 0);
    if (!object->manager)
        return;
    if (object->type == &gOlpBodyType)
        OlpBodyUpdateBounds(reinterpret_cast<OlpBody*>(object));
    else
        OlpObjUpdateBounds(object);
    OlpMgrSetObjectAwake(object->manager, object, 1);
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
    OlpMgr* manager = object->manager;
    if (!manager || object->partCount == 0)
        return;
    if (!OlpMgrIsObjectActive(manager, object) && !OlpMgrActivateObject(manager, object))
        return;
    if (OlpDyn* dyn = object->parts[0].dyn)
        OlpDynGetPose(dyn)->pos = {x, y, z};
    OlpMgrSetObjectAwake(manager, object, 1);
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
