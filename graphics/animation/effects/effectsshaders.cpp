// The effects' pixel shaders: assembly text, the tokens it assembles to,
// and their device objects.
#include "graphics/animation/effects/effectsshaders.h"

#include <iterator>

#include "graphics/d3d9/d3d9buffers.h"

namespace {

// result = D x (T0 x (1 - T0.a) + T1 x T1.a), colour and alpha
constexpr const char kBumpShaderText[] = "ps.1.1\n"
                                         "tex t0\n"
                                         "tex t1\n"
                                         "mul r0, t0, 1-t0.a\n"
                                         "mul r0, r0, v0\n"
                                         "mul r1, t1, t1.a\n"
                                         "mad r0, r1, v0, r0\n";
constexpr uint32_t BumpShader[] = {
    0xFFFF0101,                                                 // ps.1.1
    0x00000042, 0xB00F0000,                                     // tex t0
    0x00000042, 0xB00F0001,                                     // tex t1
    0x00000005, 0x800F0000, 0xB0E40000, 0xB6FF0000,             // mul r0, t0, 1-t0.a
    0x00000005, 0x800F0000, 0x80E40000, 0x90E40000,             // mul r0, r0, v0
    0x00000005, 0x800F0001, 0xB0E40001, 0xB0FF0001,             // mul r1, t1, t1.a
    0x00000004, 0x800F0000, 0x80E40001, 0x90E40000, 0x80E40000, // mad r0, r1, v0, r0
    0x0000FFFF,                                                 // end
};

// result = T0 x D; result.rgb += T1 x T1.a x K
constexpr const char kBaseEnvShaderText[] = "ps.1.1\n"
                                            "tex t0\n"
                                            "tex t1\n"
                                            "mul r0, t0, v0\n"
                                            "mul r1, t1, t1.a\n"
                                            "mad r0.rgb, r1, c0, r0\n";
constexpr uint32_t BaseEnvShader[] = {
    0xFFFF0101,                                                 // ps.1.1
    0x00000042, 0xB00F0000,                                     // tex t0
    0x00000042, 0xB00F0001,                                     // tex t1
    0x00000005, 0x800F0000, 0xB0E40000, 0x90E40000,             // mul r0, t0, v0
    0x00000005, 0x800F0001, 0xB0E40001, 0xB0FF0001,             // mul r1, t1, t1.a
    0x00000004, 0x80070000, 0x80E40001, 0xA0E40000, 0x80E40000, // mad r0.rgb, r1, c0, r0
    0x0000FFFF,                                                 // end
};

// result.rgb = T0 x T0.a x K + D.rgb; result.a = D.a
constexpr const char kEnvShaderText[] = "ps.1.1\n"
                                        "tex t0\n"
                                        "mul r1, t0, t0.a\n"
                                        "mad r0.rgb, r1, c0, v0\n"
                                        "+mov r0.a, v0\n";
constexpr uint32_t EnvShader[] = {
    0xFFFF0101,                                                 // ps.1.1
    0x00000042, 0xB00F0000,                                     // tex t0
    0x00000005, 0x800F0001, 0xB0E40000, 0xB0FF0000,             // mul r1, t0, t0.a
    0x00000004, 0x80070000, 0x80E40001, 0xA0E40000, 0x90E40000, // mad r0.rgb, r1, c0, v0
    0x40000001, 0x80080000, 0x90E40000,                         // +mov r0.a, v0
    0x0000FFFF,                                                 // end
};

// result = D x (T0 x (1 - T0.a) + T1 x T1.a) + T2 x T2.a x K
constexpr const char kBumpEnvShaderText[] = "ps.1.1\n"
                                            "tex t0\n"
                                            "tex t1\n"
                                            "tex t2\n"
                                            "mul r0, t0, 1-t0.a\n"
                                            "mul r0, r0, v0\n"
                                            "mul r1, t1, t1.a\n"
                                            "mad r0, r1, v0, r0\n"
                                            "mul r1, t2, t2.a\n"
                                            "mad r0, r1, c0, r0\n";
constexpr uint32_t BumpEnvShader[] = {
    0xFFFF0101,                                                 // ps.1.1
    0x00000042, 0xB00F0000,                                     // tex t0
    0x00000042, 0xB00F0001,                                     // tex t1
    0x00000042, 0xB00F0002,                                     // tex t2
    0x00000005, 0x800F0000, 0xB0E40000, 0xB6FF0000,             // mul r0, t0, 1-t0.a
    0x00000005, 0x800F0000, 0x80E40000, 0x90E40000,             // mul r0, r0, v0
    0x00000005, 0x800F0001, 0xB0E40001, 0xB0FF0001,             // mul r1, t1, t1.a
    0x00000004, 0x800F0000, 0x80E40001, 0x90E40000, 0x80E40000, // mad r0, r1, v0, r0
    0x00000005, 0x800F0001, 0xB0E40002, 0xB0FF0002,             // mul r1, t2, t2.a
    0x00000004, 0x800F0000, 0x80E40001, 0xA0E40000, 0x80E40000, // mad r0, r1, c0, r0
    0x0000FFFF,                                                 // end
};

// r = (T0.rgb x (1 - T0.a), T0.a) x D + (T1.rgb x T1.a, T1.a) x D;
// result = r + T2 x T2.a x r.a x K
constexpr const char kBumpEnvAlphaShaderText[] = "ps.1.1\n"
                                                 "tex t0\n"
                                                 "tex t1\n"
                                                 "tex t2\n"
                                                 "mul r0.rgb, t0, 1-t0.a\n"
                                                 "+mov r0.a, t0.a\n"
                                                 "mul r0, r0, v0\n"
                                                 "mul r1.rgb, t1, t1.a\n"
                                                 "+mov r1.a, t1.a\n"
                                                 "mad r0, r1, v0, r0\n"
                                                 "mul r1, t2, c0\n"
                                                 "mul r1, r1, t2.a\n"
                                                 "mad r0, r1, r0.a, r0\n";
constexpr uint32_t BumpEnvAlphaShader[] = {
    0xFFFF0101,                                                 // ps.1.1
    0x00000042, 0xB00F0000,                                     // tex t0
    0x00000042, 0xB00F0001,                                     // tex t1
    0x00000042, 0xB00F0002,                                     // tex t2
    0x00000005, 0x80070000, 0xB0E40000, 0xB6FF0000,             // mul r0.rgb, t0, 1-t0.a
    0x40000001, 0x80080000, 0xB0FF0000,                         // +mov r0.a, t0.a
    0x00000005, 0x800F0000, 0x80E40000, 0x90E40000,             // mul r0, r0, v0
    0x00000005, 0x80070001, 0xB0E40001, 0xB0FF0001,             // mul r1.rgb, t1, t1.a
    0x40000001, 0x80080001, 0xB0FF0001,                         // +mov r1.a, t1.a
    0x00000004, 0x800F0000, 0x80E40001, 0x90E40000, 0x80E40000, // mad r0, r1, v0, r0
    0x00000005, 0x800F0001, 0xB0E40002, 0xA0E40000,             // mul r1, t2, c0
    0x00000005, 0x800F0001, 0x80E40001, 0xB0FF0002,             // mul r1, r1, t2.a
    0x00000004, 0x800F0000, 0x80E40001, 0x80FF0000, 0x80E40000, // mad r0, r1, r0.a, r0
    0x0000FFFF,                                                 // end
};

// r as in BumpEnvAlphaShader; result = r + T2 x r.a x K
constexpr const char kBumpEnvOpaqueShaderText[] = "ps.1.1\n"
                                                  "tex t0\n"
                                                  "tex t1\n"
                                                  "tex t2\n"
                                                  "mul r0.rgb, t0, 1-t0.a\n"
                                                  "+mov r0.a, t0.a\n"
                                                  "mul r0, r0, v0\n"
                                                  "mul r1.rgb, t1, t1.a\n"
                                                  "+mov r1.a, t1.a\n"
                                                  "mad r0, r1, v0, r0\n"
                                                  "mul r1, t2, c0\n"
                                                  "mad r0, r1, r0.a, r0\n";
constexpr uint32_t BumpEnvOpaqueShader[] = {
    0xFFFF0101,                                                 // ps.1.1
    0x00000042, 0xB00F0000,                                     // tex t0
    0x00000042, 0xB00F0001,                                     // tex t1
    0x00000042, 0xB00F0002,                                     // tex t2
    0x00000005, 0x80070000, 0xB0E40000, 0xB6FF0000,             // mul r0.rgb, t0, 1-t0.a
    0x40000001, 0x80080000, 0xB0FF0000,                         // +mov r0.a, t0.a
    0x00000005, 0x800F0000, 0x80E40000, 0x90E40000,             // mul r0, r0, v0
    0x00000005, 0x80070001, 0xB0E40001, 0xB0FF0001,             // mul r1.rgb, t1, t1.a
    0x40000001, 0x80080001, 0xB0FF0001,                         // +mov r1.a, t1.a
    0x00000004, 0x800F0000, 0x80E40001, 0x90E40000, 0x80E40000, // mad r0, r1, v0, r0
    0x00000005, 0x800F0001, 0xB0E40002, 0xA0E40000,             // mul r1, t2, c0
    0x00000004, 0x800F0000, 0x80E40001, 0x80FF0000, 0x80E40000, // mad r0, r1, r0.a, r0
    0x0000FFFF,                                                 // end
};

#define EFFECTS_SHADER(name)                                                                                 \
    {                                                                                                        \
#name, k##name##Text, name, uint32_t(std::size(name))                                                \
    }
const EffectsShaderProgram kPrograms[] = {
    EFFECTS_SHADER(BumpShader),    EFFECTS_SHADER(BaseEnvShader),      EFFECTS_SHADER(EnvShader),
    EFFECTS_SHADER(BumpEnvShader), EFFECTS_SHADER(BumpEnvAlphaShader), EFFECTS_SHADER(BumpEnvOpaqueShader),
};
#undef EFFECTS_SHADER
static_assert(std::size(kPrograms) == kEffectsShaderCount);

IDirect3DPixelShader9* gShaders[kEffectsShaderCount] = {};

} // namespace

const EffectsShaderProgram* EffectsShaderPrograms()
{
    return kPrograms;
}

bool EffectsPixelShadersCreate()
{
    for (uint32_t i = 0; i < kEffectsShaderCount; ++i) {
        if (!D3D9CreatePixelShader(kPrograms[i].tokens, &gShaders[i])) {
            // All six or none.
            EffectsPixelShadersDestroy();
            return false;
        }
    }
    return true;
}

void EffectsPixelShadersDestroy()
{
    for (IDirect3DPixelShader9*& shader : gShaders) {
        if (shader) {
            D3D9ReleaseInterface(shader);
            shader = nullptr;
        }
    }
}

IDirect3DPixelShader9* EffectsGetPixelShader(EffectsPixelShader shader)
{
    return shader < kEffectsShaderCount ? gShaders[shader] : nullptr;
}
