#pragma once
// physics-sim hull and corpus: a random cloud's hull, and the seed corpus
// of the hull builder's fuzz target.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/core/vector.h"

/// `count` points of a seeded random cloud in a box of half size (2, 1, 1.5).
std::vector<V3d> RandomCloud(uint32_t count, uint32_t seed);
/// Builds the hull of a random cloud of `count` points and prints its
/// counts, validity and mass. 0, or 1 when no hull comes out.
int RunHull(uint32_t count);
/// Writes the physics_hull seeds (cube, flat, collinear, sphere, random
/// clouds, duplicates and non-finite points) into `folder`. 0 on success.
int WriteHullCorpus(const std::string& folder);
