#pragma once
// Physics object helpers: move and turn physics objects while keeping the
// simulation in step with their graphics frames, colour and texture render
// geometry, and empty a physics context before it is destroyed.
//
// To resynchronise a part (done by the moving helpers): its frame is marked
// changed, the part's source matrix is copied into its dynamics state, the
// object's box in the far field follows and the object is woken.
#include <cstdint>

#include "graphics/core/vector.h"
#include "graphics/scene/scenetypes.h"
#include "physics/core/ragdoll/ragdoll.h"

struct Atomic;
struct OlpBody;
struct OlpContext;
struct OlpObj;
struct Texture;

/// Places part 0's source matrix (its frame) at (x, y, z); resynchronises it.
void PhysicsObjectSetPosition(OlpObj* object, float x, float y, float z);
/// Replaces part 0's rotation by `radians` about the axis (x, y, z) (any
/// length but 0), keeping its position; resynchronises it.
void PhysicsObjectRotate(OlpObj* object, float x, float y, float z, float radians);
/// Activates `body` when it is not, moves its simulated pose to (x, y, z)
/// and wakes it. Nothing for a body outside a manager.
void PhysicsBodySetPosition(OlpBody* body, float x, float y, float z);

/// Activates `body` when it is not, gives it the linear velocity `speed`
/// along the direction (x, y, z) (any length but 0; the spin is kept) and
/// wakes it. Nothing for a body outside a manager.
void PhysicsBodySetVelocity(OlpBody* body, float x, float y, float z, float speed);
/// Moves part 0 of the object 5 % of the way towards a point beside the
/// target: the target raised by 0.35 x `radius`, its horizontal distance
/// from the part shortened by 0.93675 x `radius` (not below 0), so that an
/// object of that radius comes to rest against the target's side. Then
/// resynchronises it. Called once a frame, it eases the object there.
void PhysicsObjectStepTowards(OlpObj* object, float x, float y, float z, float radius);

/// Turns every part of the ragdoll by `radians` about the axis (x, y, z)
/// (any length but 0) through part 0's position; resynchronises each part.
void RagdollRotate(OlpRagdoll* ragdoll, float x, float y, float z, float radians);
/// Moves every part of the ragdoll by (x, y, z); resynchronises each part.
void RagdollTranslate(OlpRagdoll* ragdoll, float x, float y, float z);
/// Sets the first and second values of every drive of the ragdoll's joints
/// (both blocks that carry drives: limit block B and block C), in its
/// shared definition: every ragdoll of that definition follows.
void RagdollSetDrives(OlpRagdoll* ragdoll, float first, float second);
/// Activates the ragdoll when it is not, moves every part's simulated pose
/// by one offset that brings part 0 to (x, y, z), and wakes it. Nothing for
/// a ragdoll outside a manager.
void RagdollSetPosition(OlpRagdoll* ragdoll, float x, float y, float z);
/// Activates the ragdoll when it is not, gives every part the linear
/// velocity `speed` along the direction (x, y, z) (any length but 0; the
/// spin is kept) and wakes it. Nothing for a ragdoll outside a manager.
void RagdollSetVelocity(OlpRagdoll* ragdoll, float x, float y, float z, float speed);

/// Every material of the atomic's geometry gets `colour`, ambient 1,
/// specular 1 and diffuse 0.5.
void AtomicSetMaterialColour(Atomic* atomic, RGBA colour);
/// Every material of the atomic's geometry gets `texture` (null: none).
void ObjectSetGeometryTexture(Atomic* atomic, Texture* texture);

/// Takes every object out of the context's manager and deinitialises it,
/// releases every free joint and takes out and destroys every static volume.
/// The objects' memory stays with their owners.
void RemoveContextContents(OlpContext* context);
