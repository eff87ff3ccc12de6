#pragma once
// physics-sim corpus --grid: the seed corpus of the grid data block's fuzz
// target, written by the grid's own packer.

#include <string>

/// Writes packed grids (one cell, scattered spheres with a huge box, tiny
/// cells far from the origin, cells without boxes) into `folder`. 0 on success.
int WriteGridCorpus(const std::string& folder);
