#pragma once
// Prints the chunk tree of a model (or any scene chunk stream) with the
// fields of the structs it knows decoded.

#include <cstdint>
#include <cstdio>
#include <vector>

/// Prints every chunk of `bytes`; false when a chunk runs past its parent.
bool SceneDump(const std::vector<uint8_t>& bytes, std::FILE* out);
