#pragma once
// A holder of one skinned hierarchy and its keyframe player: either the
// clump's own hierarchy (not owned) or a clone with the same nodes that
// serves as a blend target (owned). Every operation is a no-op, or answers
// false or 0, while the holder is empty.
#include <cstdint>

struct Clump;
struct Hierarchy;
struct CAnimationFile;

class CAnimationHierarchy
{
  public:
    /// Empty: no hierarchy, not owned.
    CAnimationHierarchy() = default;
    /// A clone of `source`'s hierarchy: the same nodes and flags, the key
    /// size and the keyframe callbacks of its player; empty when `source` is
    /// empty or the clone cannot be made.
    explicit CAnimationHierarchy(const CAnimationHierarchy& source);
    CAnimationHierarchy& operator=(const CAnimationHierarchy&) = delete;
    virtual ~CAnimationHierarchy();

    /// Takes the first hierarchy below the clump's frame (depth first) and
    /// sets its flags to write the frames' modelling matrices; false when
    /// the clump has none.
    bool FindInClump(Clump* clump);
    /// Skins every atomic of the clump with the hierarchy and binds the
    /// hierarchy's nodes to their frames.
    void AttachToClump(Clump* clump);

    /// Advances the player by `seconds`, wrapping at the animation's end.
    void AddTime(float seconds);
    /// The player's time in seconds (0 when empty).
    float GetTime() const;
    /// This pose = `other`'s pose.
    void CopyFrom(const CAnimationHierarchy& other);
    /// This pose = `first` blended towards `second` by `factor` (0: first, 1: second).
    void Blend(const CAnimationHierarchy& first, const CAnimationHierarchy& second, float factor);
    /// Plays the entry's animation from time 0; false when it does not fit
    /// the hierarchy (fewer nodes, or not a hierarchy animation).
    bool SetAnimation(const CAnimationFile* file);
    /// True when the entry's animation can be played on this hierarchy.
    bool Fits(const CAnimationFile* file) const;
    /// Rebinds the frames and rebuilds the matrices from the current pose.
    void UpdateMatrices();
    /// Destroys an owned clone; empty afterwards.
    void Destroy();

    Hierarchy* GetHierarchy() const { return m_hierarchy; }
    /// Nodes of the hierarchy (0 when empty).
    int32_t NodeCount() const;

  private:
    Hierarchy* m_hierarchy = nullptr;
    bool m_owned = false;
};
