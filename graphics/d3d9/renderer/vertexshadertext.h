#pragma once
// The vertex-shader descriptor and the shader text it asks for: a 4-byte
// descriptor names the vertex inputs and the lighting, fog and
// texture-coordinate work; VertexShaderText writes the vs_1_1 / vs_2_0 /
// vs_2_x assembly and lays out the constant registers the caller uploads.
// Pure functions of their arguments: no device, no engine.

#include <cstdint>
#include <string>

/// Descriptor, compared as one unsigned key. Byte 0: directional (bits 0-3),
/// point (4-7); byte 1: spot (0-3), texture sets (4-7); byte 2: morph (0),
/// bone weights (1-3), prelit (4), normals (5), normalise (6), material
/// colour (7); byte 3: fog (0-1), texture effect (2-7).
using VertexShaderDescriptor = uint32_t;

inline constexpr VertexShaderDescriptor kVertexShaderMorph = 1u << 16;
inline constexpr VertexShaderDescriptor kVertexShaderPrelit = 1u << 20;
inline constexpr VertexShaderDescriptor kVertexShaderNormals = 1u << 21;
inline constexpr VertexShaderDescriptor kVertexShaderNormalise = 1u << 22;
inline constexpr VertexShaderDescriptor kVertexShaderMaterialColour = 1u << 23;

/// The descriptor's fields (counts 0-15, weights 0-4, fog 0-3, effect 0-63).
inline uint32_t VertexShaderDirectional(VertexShaderDescriptor d)
{
    return d & 0xF;
}
inline uint32_t VertexShaderPoint(VertexShaderDescriptor d)
{
    return d >> 4 & 0xF;
}
inline uint32_t VertexShaderSpot(VertexShaderDescriptor d)
{
    return d >> 8 & 0xF;
}
inline uint32_t VertexShaderTexSets(VertexShaderDescriptor d)
{
    return d >> 12 & 0xF;
}
inline uint32_t VertexShaderWeights(VertexShaderDescriptor d)
{
    return d >> 17 & 0x7;
}
inline uint32_t VertexShaderFog(VertexShaderDescriptor d)
{
    return d >> 24 & 0x3;
}
inline uint32_t VertexShaderEffect(VertexShaderDescriptor d)
{
    return d >> 26 & 0x3F;
}

/// Builds a descriptor from its counts and flags (values are masked to their fields).
inline VertexShaderDescriptor VertexShaderDescriptorMake(uint32_t directional, uint32_t point, uint32_t spot,
                                                         uint32_t texSets, uint32_t weights, uint32_t fog,
                                                         uint32_t effect, uint32_t flags)
{
    return (directional & 0xF) | (point & 0xF) << 4 | (spot & 0xF) << 8 | (texSets & 0xF) << 12 |
           (weights & 0x7) << 17 | (fog & 0x3) << 24 | (effect & 0x3F) << 26 | flags;
}

/// The three light counts (directional, point, spot).
inline constexpr VertexShaderDescriptor kVertexShaderLightCounts = 0xFFF;

/// Constant registers the caller uploads; 0xFF = not used.
struct VertexShaderConstantLayout
{
    uint8_t materialColour = 0xFF;
    uint8_t fog = 0xFF;
    uint8_t effect = 0xFF; ///< first of the texture-effect constants
    uint8_t morph = 0xFF;  ///< .x weight of the first position, .y of the second
    uint8_t bones = 0xFF;  ///< first palette register, 3 per bone
    uint8_t unused[3] = {0xFF, 0xFF, 0xFF};
};

/// Texture effects of a shader (the descriptor's byte 3, bits 2-7): what
/// its texture-coordinate outputs hold. The first five are also the
/// material effects' types (EffectType in the effects library), which
/// takes its values from here; its transforms (types 5 and 6) are written
/// as kVertexShaderTexEffectUvTransform and kVertexShaderTexEffectDualUvTransform.
/// Effects above the last write what kVertexShaderTexEffectNone writes.
enum VertexShaderTexEffect : uint32_t
{
    kVertexShaderTexEffectNone = 0,        ///< every texture set as it is
    kVertexShaderTexEffectBumpMap = 1,     ///< set 0, and set 0 offset by the normal (2 constants)
    kVertexShaderTexEffectEnvMap = 2,      ///< the normal through 2 constants (after set 0 when present)
    kVertexShaderTexEffectBumpEnvMap = 3,  ///< the normal into set 2 (2 more constants), then the bump map
    kVertexShaderTexEffectDual = 4,        ///< set 1 alone
    kVertexShaderTexEffectSet0Twice = 5,   ///< set 0 into stages 0 and 1
    kVertexShaderTexEffectUvTransform = 6, ///< set 0 through 2 constants
    kVertexShaderTexEffectDualUvTransform = 7, ///< set 1 through 2 constants
    kVertexShaderTexEffectTangentBump = 8,     ///< the light in tangent space into set 2 (tangent input)
    kVertexShaderTexEffectTangentBumpEnv =
        9,                                 ///< the light into the colour, the tangent frame into sets 2 and 3
    kVertexShaderTexEffectCubeEnvMap = 10, ///< the reflected eye vector through 3 constants
    kVertexShaderTexEffectBumpCubeEnvMap = 11, ///< the bump map, then the reflection into set 2
    kVertexShaderTexEffectCount = 12,
};

/// Profile codes: 0 none, 10 vs_1_1, 20 vs_2_0, 25 vs_2_x.
inline constexpr int kVertexShaderProfileNone = 0;
inline constexpr int kVertexShaderProfile11 = 10;
inline constexpr int kVertexShaderProfile20 = 20;
inline constexpr int kVertexShaderProfile2x = 25;

/// Constant registers of a texture effect (0-63; 0 for effects without constants).
uint32_t VertexShaderEffectConstants(uint32_t effect);
/// Registers the shader uses below the bone palette (fog counted even with W fog).
uint32_t VertexShaderCost(VertexShaderDescriptor descriptor);
/// Takes one light out of the descriptor to make its shader cheaper: a spot
/// light while any is left, else a point light, else a directional light,
/// else the fog; false when nothing is left to take.
bool VertexShaderDropLight(VertexShaderDescriptor* descriptor);
/// Registers c0 up to the end of the light block (transform, ambient, lights).
inline uint32_t VertexShaderLightRegisters(VertexShaderDescriptor descriptor)
{
    return VertexShaderCost(descriptor & kVertexShaderLightCounts);
}
/// The shader text for a profile (10/20/25), a constant budget and the
/// device's W fog; fills *layout (may be null); empty for an unknown profile
/// and for an effect that reads the normal (1, 2, 3, 10, 11) without normals.
std::string VertexShaderText(VertexShaderDescriptor descriptor, int profile, uint32_t budget, bool wFog,
                             VertexShaderConstantLayout* layout);
