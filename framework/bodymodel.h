#pragma once
// A scene object moved by a rigid body: the model's first atomic is given a
// frame of its own below the clump's frame, which the body reads its pose
// from and writes it back to, and the model's scale is built into its
// geometry (a body's pose carries no scale). The clump's frame stays at the
// identity; the physics object helpers place the body.
class CSceneObject;
struct OlpBody;

/// Scales the first atomic's geometry by `scale` x CSceneObject::kScaleUnit,
/// moves the atomic onto a new frame below the clump's, attaches `body` to
/// it and records the body as the object's physics object. False without an
/// atomic or when the frame cannot be made.
bool AttachBodyToModel(CSceneObject* object, OlpBody* body, float scale);
