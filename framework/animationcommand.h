#pragma once
// Animation commands: up to four weighted animations that loop at a given
// speed, each with its own blend target, handed out from one fixed pool of
// kMaxAnimationCommands. The pool lives while at least one animation player
// exists (animationplayer.h creates it with the first player and destroys it
// with the last); the commands' blend targets are cloned once, from the
// first hierarchy a player is initialised with, so that nothing is
// allocated per frame.
#include <cstdint>

#include "framework/animationhierarchy.h"

struct CAnimationFile;

/// Commands in the pool: three per character at most in play.
constexpr int32_t kMaxAnimationCommands = 300;
/// The one kind of command this system plays.
constexpr int32_t kAnimationCommandBlend = 1;

class CAnimationCommand
{
  public:
    static constexpr int32_t kMaxEntries = 4;

    struct Entry
    {
        CAnimationFile* animation = nullptr; ///< not owned; none: the entry is unused
        float weight = 0.0f;
        CAnimationHierarchy* interpolator = nullptr; ///< owned blend target
    };

    virtual ~CAnimationCommand();
    /// Always kAnimationCommandBlend.
    virtual int32_t GetKind() const { return kAnimationCommandBlend; }
    /// Entries cleared (their blend targets kept), count 0, looping at speed 1.
    virtual void Reset();

    /// Sets entry `index` (0 to 3) and raises the count to cover it.
    void SetEntry(int32_t index, CAnimationFile* animation, float weight);
    /// An entry plays when it has an animation and a weight other than 0.
    bool IsActive(int32_t index) const { return entries[index].animation && entries[index].weight != 0.0f; }

    bool free = true;
    Entry entries[kMaxEntries];
    int32_t entryCount = 0;
    bool loop = true;
    float speed = 1.0f;
    bool finished = false; ///< a command that does not loop has played once
    int32_t loopCounter = 0;
};

/// The free command of lowest index, reset and marked in use; null for a
/// kind other than kAnimationCommandBlend, when all are in use, or while no
/// player exists.
CAnimationCommand* AcquireCommand(int32_t kind);
/// Puts the command back into the pool (null is ignored).
void ReleaseCommand(CAnimationCommand* command);
/// Commands in use (0 while the pool does not exist).
int32_t AnimationCommandsInUse();

// The pool's lifetime, driven by the animation players.
/// Creates the pool when it does not exist; one more player holds it.
void AnimationCommandPoolAddUser();
/// One player fewer; the last one destroys the pool and its blend targets.
void AnimationCommandPoolRemoveUser();
/// Clones every command's four blend targets from `layout` unless they exist.
void AnimationCommandPoolMakeTargets(const CAnimationHierarchy& layout);
