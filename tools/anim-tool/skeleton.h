#pragma once
// Text skeletons: one bone a line in depth-first order, "<name> <parent name
// or -> <x> <y> <z>" (the rest offset from the parent), '#' starts a comment.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/core/vector.h"

struct SkeletonBone
{
    std::string name;
    int32_t parent; ///< index of an earlier bone; -1 for the root
    V3d offset;     ///< rest offset from the parent, metres
};

struct Skeleton
{
    std::vector<SkeletonBone> bones;
};

/// Reads a skeleton; false with a message naming the line when a bone is
/// malformed, its parent is unknown or the bones are not in depth-first order.
bool SkeletonRead(const std::string& path, Skeleton* skeleton, std::string* error);
/// The hierarchy node flags of the bones (push on a bone with children and a
/// later sibling, pop on a leaf without one, 3 on a leaf with one).
std::vector<uint32_t> SkeletonNodeFlags(const Skeleton& skeleton);
/// The index of the named bone, -1 when none.
int32_t SkeletonFind(const Skeleton& skeleton, const std::string& name);
