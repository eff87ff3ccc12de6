#pragma once
// CInteractiveObject: what the physics world asks of a piece of level
// furniture (laser beam, teleporter, switch, lift, bumper, door, jump
// helper). Each kind reads its own "config.xml" element as a section
// receiver; the configuration reader makes it, runs Load and hands it to the
// physics world's adder for its kind, which owns it from then on: the world
// updates it every step, draws it in its debug view, and at teardown shuts it
// down and deletes it.
#include "framework/configsection.h"
#include "graphics/core/vector.h"

class CSceneObject;

class CInteractiveObject : public CConfigSection
{
  public:
    /// Makes what the object needs in the running engine and physics world
    /// (models, bodies, joints, effects); false when that fails.
    virtual bool Load() = 0;
    /// One frame of `dt` seconds.
    virtual void Update(float dt) = 0;
    /// The debug drawing of the physics world's first world.
    virtual void RenderDebug() = 0;
    /// Releases what Load made; the object is deleted afterwards.
    virtual void Shutdown() = 0;

    /// Switches: whether a point picked under the pointer is on the switch.
    virtual bool IsNear(const V3d& /*point*/) const { return false; }
    /// Switches: a click on it.
    virtual void Toggle() {}
    /// Switches: what a click does now (shown as "Click here to %s"); null
    /// for other kinds.
    virtual const char* GetActionText() const { return nullptr; }
    /// Lifts: the scene object of the platform (pointer hints leave it out);
    /// null for other kinds.
    virtual const CSceneObject* GetPlatform() const { return nullptr; }
};
