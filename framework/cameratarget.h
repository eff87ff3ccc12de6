#pragma once
// What the camera manager needs of the character it follows: its frame and
// its membership of the world (the first-person camera takes it out of the
// world so that it does not fill the view, the other modes put it back).
struct Frame;

class CCameraTarget
{
  public:
    /// The framework's camera manager stops following a target that goes.
    virtual ~CCameraTarget();
    /// The target's frame (its world matrix places the follow and
    /// first-person cameras; the first-person camera turns it).
    virtual Frame* GetCameraFrame() = 0;
    /// True while the target is drawn as part of the world.
    virtual bool IsInWorld() const = 0;
    /// Adds the target to the world or removes it.
    virtual void SetInWorld(bool inWorld) = 0;
};
