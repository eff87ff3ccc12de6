#pragma once
// The animation player of one animated object: it keeps the current and the
// previous command in two slots that swap roles at each Play, advances both
// every update, blends each command's one, two or four entries into its
// slot's result, cross-fades from the previous result to the current one at
// 5 per second, and writes the pose into the object's hierarchy.
//
// Usage: construct (this also makes the shared command pool), Init with the
// object's hierarchy holder once its clump is loaded, Play commands taken
// from the pool (AcquireCommand), Update each frame, Unload at the end (the
// last player unloaded destroys the pool).
#include <cstdint>

#include "framework/animationhierarchy.h"

class CAnimationCommand;

class CAnimationPlayer
{
  public:
    /// Cross-fade speed: a new command takes over fully in 0.2 s.
    static constexpr float kCrossFadeRate = 5.0f;

    CAnimationPlayer();
    CAnimationPlayer(const CAnimationPlayer&) = delete;
    CAnimationPlayer& operator=(const CAnimationPlayer&) = delete;
    virtual ~CAnimationPlayer();

    /// Writes into `output` (not owned) from now on; makes the slots' blend
    /// targets (and, the first time, the pool's) with its node layout.
    void Init(CAnimationHierarchy* output);
    /// Makes `command` current, the current one previous, and releases the
    /// one pushed out. False, with nothing changed, when no entry has both an
    /// animation and a weight, or an animation or the command's blend
    /// targets do not match this player's hierarchy. A command of another
    /// kind is ignored (true).
    bool Play(CAnimationCommand* command);
    /// Advances both commands by `dt` seconds, cross-fades and rebuilds the
    /// output's matrices.
    void Update(float dt);
    /// Releases both commands and the slots' blend targets; the last player
    /// unloaded destroys the command pool. True; a second call does nothing.
    bool Unload();

    CAnimationCommand* GetCurrentCommand() const { return m_current->command; }
    CAnimationCommand* GetPreviousCommand() const { return m_previous->command; }
    /// 0 right after Play, 1 once the previous command no longer shows.
    float GetCrossFade() const { return m_crossFade; }
    /// The current slot's result (the pose before the cross-fade).
    const CAnimationHierarchy* GetCurrentResult() const { return m_current->targets[0]; }
    const CAnimationHierarchy* GetPreviousResult() const { return m_previous->targets[0]; }

  private:
    struct Slot
    {
        CAnimationCommand* command = nullptr;
        /// The slot's result, then two intermediate results of a four-way blend.
        CAnimationHierarchy* targets[3] = {};
    };
    /// Advances the slot's command and blends its entries into the slot's result.
    static void Advance(Slot& slot, float dt);
    void DestroyTargets();

    Slot m_slots[2];
    Slot* m_current = &m_slots[0];
    Slot* m_previous = &m_slots[1];
    CAnimationHierarchy* m_output = nullptr;
    float m_crossFade = 0.0f;
    bool m_holdsPool = false;
};
