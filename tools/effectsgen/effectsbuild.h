#pragma once
// The material-effects sample model and its textures, built in code for
// effectsgen, the viewer's pictures and the fuzz seeds. The engine must be
// started with the scene library and the effects plug-in attached.

#include <cstdint>
#include <string>

struct Clump;

/// Names of the textures the sample's materials use (lower case); the last
/// one is the cube environment, which lives in a ".dds" file of its own.
inline constexpr const char* kEffectsTextureNames[] = {"fxbase", "fxsecond", "fxheight", "fxsphere",
                                                       "fxcube"};

/// A row of eight spheres along x (radius 0.4, centres 1 apart at height
/// 0.5), effects switched on, their materials over "fxbase": dual textures
/// blended (9, 1), (5, 6) and (2, 2) with "fxsecond"; a texture transform;
/// a sphere ("fxsphere") and a cube ("fxcube") environment; a bump map
/// ("fxheight"); and the bump map with the sphere environment. Each sphere
/// has `rings` rings of twice as many segments (2 or more). Textures are
/// named only: the reader finds them. Null when out of memory.
Clump* EffectsBuildSample(int32_t rings = 12);

/// Writes the four 2-D textures as PNG images "<dir>/<name>.png" (64 x 64)
/// and the cube as "<cubeDir>/fxcube.dds" (16 x 16 a face, X8R8G8B8); false
/// when a file could not be written.
bool EffectsWriteTextures(const std::string& dir, const std::string& cubeDir);
