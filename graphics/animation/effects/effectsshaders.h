#pragma once
// The effects' six ps.1.1 pixel shaders, each kept as its assembly text
// beside the token stream the device is given. Registers: t0, t1, t2 the
// textures of stages 0, 1, 2; v0 the diffuse colour; c0 the effect
// coefficient in all four components, set before the draw.

#include <cstdint>

struct IDirect3DPixelShader9;

/// The shaders, in the order they are created.
enum EffectsPixelShader : uint32_t
{
    kEffectsShaderBump,          ///< bump map
    kEffectsShaderBaseEnv,       ///< environment map over a base texture
    kEffectsShaderEnv,           ///< environment map without base texture
    kEffectsShaderBumpEnv,       ///< bump map with environment map
    kEffectsShaderBumpEnvAlpha,  ///< the same into frame-buffer alpha, environment texture with alpha
    kEffectsShaderBumpEnvOpaque, ///< the same, environment texture without alpha
    kEffectsShaderCount,
};

/// A shader's source and tokens.
struct EffectsShaderProgram
{
    const char* name;
    const char* text;       ///< ps.1.1 assembly
    const uint32_t* tokens; ///< version token .. end token
    uint32_t length;        ///< in 32-bit tokens
};

/// The kEffectsShaderCount programs in EffectsPixelShader order.
const EffectsShaderProgram* EffectsShaderPrograms();

/// Creates the six shaders on the engine's device; false (none left) when
/// one cannot be created.
bool EffectsPixelShadersCreate();
/// Releases the shaders (nothing when none were created).
void EffectsPixelShadersDestroy();
/// The created shader, or null without pixel shaders.
IDirect3DPixelShader9* EffectsGetPixelShader(EffectsPixelShader shader);
