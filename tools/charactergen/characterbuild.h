#pragma once
// Skinned models built in code for charactergen, the skin tests, the
// benchmarks and the fuzz seeds: the clump's frame places the model and
// holds its one atomic; below it hang the bones' frames with the hierarchy
// on bone 0's; the geometry is made of tapered boxes whose vertices are
// weighted to the bones. The engine must be started with the scene library,
// hierarchical animation and skinning attached.

#include <cstdint>

#include "graphics/scene/scenetypes.h"
#include "tools/anim-tool/skeleton.h"

struct Clump;

/// Half the side of the soldier's texture, in pixels.
constexpr int32_t kCharacterTextureSize = 64;
/// The texture name of the soldier's material.
constexpr const char* kCharacterTextureName = "soldier";

/// How a soldier is built: its size and its cloth.
struct CharacterLook
{
    float unitsPerMetre = 1.0f; ///< model units in a metre of the skeleton (the framework's models: 500)
    bool solid = false;         ///< one plain colour instead of the kCharacterTextureName texture
    RGBA colour = {255, 255, 255, 255};
};

/// The humanoid: a tapered box per limb, torso and head segment, vertices
/// weighted to one or two bones across joints and to four at the hips,
/// textured with kCharacterTextureName or in the look's solid colour, every
/// length scaled by the look's units per metre. Null on failure.
Clump* CharacterBuildSoldier(const Skeleton& skeleton, const CharacterLook& look = {});
/// A bar along x from 0 to 2 over two bones jointed at x = 1, whose middle
/// vertices weigh 0.5 and 0.5.
Clump* CharacterBuildBar();
/// A chain of 40 bones along y of which the 20 even ones carry boxes, with
/// split data (one mesh, one run per used bone, remapped to slots 0 to 19).
Clump* CharacterBuildChain();
/// The soldier's texture: 2 x kCharacterTextureSize square, 32 bits,
/// written as a PNG file; false when it cannot be written.
bool CharacterWriteTexture(const char* path);
