#pragma once
// The demo's characters as the application drives them: placed with a
// profile, registered with the physics world, updated every frame and
// removed at the end. The AI entity of a character reads and steers it
// through CAiCharacter; the application makes each character through the
// factory it is given (SetCharacterFactory).
#include "demo/aicharacter.h"

class CWardelCharacter : public CAiCharacter
{
  public:
    /// Loads the named profile's model, speeds and weapon at `position`;
    /// false (after the profile's error message) when the profile is unknown.
    virtual bool ApplyProfile(const char* profile, const V3d& position) = 0;
    /// Moves the character's body and frame to `position`.
    virtual void SetPosition(const V3d& position) = 0;
    /// Turns the character to `degrees` about the vertical axis.
    virtual void SetHeading(float degrees) = 0;
    /// Steered by the user's input (true) or by the AI (false).
    virtual void SetPlayerControlled(bool player) = 0;
    /// Plays the character's animations.
    virtual void SetAnimate(bool animate) = 0;
    /// Takes part in the world's collisions.
    virtual void SetInWorld(bool inWorld) = 0;
    /// Joins or leaves the physics world's registered objects.
    virtual void Register() = 0;
    virtual void Unregister() = 0;
    /// One frame of `step` seconds: inputs, animation, motion, weapon.
    virtual void Update(float step) = 0;
    /// Draws the shots of the character's weapon.
    virtual void RenderShots() = 0;
    /// Releases the model, animations and weapon.
    virtual void Unload() = 0;
};

/// Makes a new character, or null.
using WardelCharacterFactory = CWardelCharacter* (*)();
