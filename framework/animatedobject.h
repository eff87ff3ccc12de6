#pragma once
// CAnimatedObject: a scene object with a skinned hierarchy, keyframe
// animation through its animation player, and the motion component whose
// body proxy moves it in the physics world. CCharacter derives from it.
//
// Lifecycle: construct, Load the model, Init at a position (the body proxy),
// Update every frame, Unload before deletion.
#include <cstdint>

#include "framework/animationhierarchy.h"
#include "framework/animationplayer.h"
#include "framework/charactermotion.h"
#include "framework/sceneobject.h"

struct Matrix;

class CAnimatedObject : public CSceneObject
{
  public:
    CAnimatedObject() = default;

    /// LoadClump, then the first hierarchy below the clump's frame skins
    /// every atomic and feeds the animation player; false when the model does
    /// not load or has no hierarchy.
    virtual bool Load(const char* fileName);
    /// The default name and the body proxy at `position`; true.
    virtual bool Init(const V3d& position);
    /// The motion, then (while animated) the animation player.
    virtual void Update(float dt);
    /// The clump, the hierarchy holder and the player (which gives back the
    /// command pool when it is the last); true. The body proxy stays with
    /// the physics world.
    bool Unload() override;

    /// Matrix `index` of the hierarchy's matrix array; null when there is no
    /// hierarchy or the index lies outside it.
    Matrix* GetBoneMatrix(int32_t index) const;
    /// Whether the player runs (an object that does not animate still moves).
    void SetAnimate(bool animate) { m_animate = animate; }

    CAnimationHierarchy& GetHierarchy() { return m_hierarchy; }
    CCharacterMotion& GetMotion() { return m_motion; }
    CAnimationPlayer& GetPlayer() { return m_player; }
    /// The model's scale (the profile's), kept for its users.
    float GetModelScale() const { return m_modelScale; }
    void SetModelScale(float scale) { m_modelScale = scale; }

  private:
    CAnimationHierarchy m_hierarchy;
    CCharacterMotion m_motion;
    CAnimationPlayer m_player;
    float m_modelScale = 1.0f;
    bool m_animate = true;
};
