#pragma once
// The animation registry: each ".anm" file is read once and shared by every
// user that names it (names compared without regard to case), counted, and
// destroyed when its last user releases it.
#include <cstdint>

struct Animation;

/// One registry entry.
struct CAnimationFile
{
    static constexpr int32_t kNameSize = 256;
    char fileName[kNameSize] = {}; ///< as given, cut at 255 characters
    int32_t referenceCount = 1;
    Animation* animation = nullptr; ///< owned
};

/// Slots of the registry; a released entry leaves its slot empty for good.
constexpr int32_t kMaxAnimations = 128;

/// The entry for `fileName` (path in either separator form), its count raised,
/// or a new entry read from the file; null when every slot has been used
/// ("Too much animations ..." reported) or the file cannot be read (silent).
CAnimationFile* GetAnimation(const char* fileName);
/// Drops one reference; the last one destroys the animation and empties the
/// slot. An entry the registry does not hold, or null, is ignored.
void ReleaseAnimation(CAnimationFile* entry);
/// Slots used so far (never shrinks while entries live).
int32_t AnimationSlotsUsed();
/// Destroys every entry whatever its count and makes every slot free again
/// (the end of the run, and tests).
void ResetAnimationRegistry();
