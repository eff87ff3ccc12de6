// Shader interpreter: decodes a Direct3D 9 shader token stream once into a
// compact internal program, then runs vertex shaders (vs_1_1, vs_2_0, vs_2_x)
// on batches of kShaderLanes vertices at a time and pixel shaders (ps_1_1 to
// ps_1_3) one pixel at a time.
//
// Typical device use:
//   ShaderProgram* p = ShaderProgramCreate(tokens, ShaderTokensLength(tokens, max), &error);
//   for each v register: ShaderProgramInputUsage(p, reg, &usage, &index) -> bind the
//       vertex-declaration element with that usage/index to batch.input[reg];
//   per group of up to kShaderLanes vertices: fill batch.input, ShaderVertexRun(p, consts, 256, &batch),
//       read batch.output[kShaderOutPosition] etc.;
//   faster: fill an array of kShaderBatchGroup batches (128 vertices) and call ShaderVertexRunBatches once,
//       reading only the outputs in ShaderProgramOutputMask(p);
//   ShaderProgramDestroy(p).
//
// Programs are immutable after creation: one program may run on several
// threads at once, each with its own batch.
#pragma once

#include "platform/shadervm/shadertokens.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct ShaderProgram;

inline constexpr int kShaderLanes = 8;                ///< vertices per ShaderVertexRun
inline constexpr int kShaderBatchGroup = 16;          ///< batches ShaderVertexRunBatches runs together
inline constexpr int kShaderVertexInputs = 16;        ///< v0..v15
inline constexpr int kShaderMaxVertexConstants = 256; ///< c0..c255 addressable by vertex shaders
inline constexpr int kShaderPixelConstants = 8;       ///< c0..c7 of ps_1_x
inline constexpr int kShaderPixelTextures = 4;        ///< t0..t3 of ps_1_x
inline constexpr int kShaderTexCoordOutputs = 8;      ///< oT0..oT7

// ---------------------------------------------------------------- creation

/// Decodes and validates a token stream of `count` tokens (version token
/// first, end token 0x0000FFFF last; comments allowed). Accepts vs_1_1,
/// vs_2_0, vs_2_x (version 2.1) and ps_1_1..ps_1_3. Returns null on any
/// malformed, truncated, out-of-range or unsupported stream (flow control is
/// not supported), with a one-line reason in *error when error is not null.
ShaderProgram* ShaderProgramCreate(const uint32_t* tokens, size_t count, std::string* error);
/// Frees a program; null is ignored.
void ShaderProgramDestroy(ShaderProgram* program);

/// Number of tokens from the version token up to and including the end
/// token, walking instruction by instruction without reading past
/// maxTokens; 0 when no end token is found within maxTokens. For callers
/// that receive a bare token pointer (CreateVertexShader).
size_t ShaderTokensLength(const uint32_t* tokens, size_t maxTokens);

// ---------------------------------------------------------------- queries

/// The version token (0xFFFE0101 for vs_1_1, 0xFFFF0101 for ps_1_1, ...).
uint32_t ShaderProgramVersion(const ShaderProgram* program);
/// True for a pixel shader, false for a vertex shader.
bool ShaderProgramIsPixel(const ShaderProgram* program);
/// The program's own copy of its token stream (GetFunction); *count gets
/// the number of tokens.
const uint32_t* ShaderProgramTokens(const ShaderProgram* program, size_t* count);

/// Bit i set when vertex input register v<i> is declared (dcl) or read.
uint32_t ShaderProgramInputMask(const ShaderProgram* program);
/// The declared usage and usage index of input register v<reg> (0..15);
/// false when the register has no dcl (always false in vs_1_1 streams that
/// lack declarations, and for pixel shaders).
bool ShaderProgramInputUsage(const ShaderProgram* program, int reg, ShaderUsage* usage, uint32_t* usageIndex);
/// The input register declared with (usage, usageIndex), or -1.
int ShaderProgramFindInput(const ShaderProgram* program, ShaderUsage usage, uint32_t usageIndex);

/// Vertex shader outputs, indexes of ShaderVertexBatch::output.
enum ShaderOutput : int
{
    kShaderOutPosition = 0,                                       ///< oPos: clip-space x, y, z, w
    kShaderOutColor0 = 1,                                         ///< oD0
    kShaderOutColor1 = 2,                                         ///< oD1
    kShaderOutTexCoord0 = 3,                                      ///< oT0 .. oT7 are kShaderOutTexCoord0 + n
    kShaderOutFog = kShaderOutTexCoord0 + kShaderTexCoordOutputs, ///< oFog in component x
    kShaderOutPointSize,                                          ///< oPts in component x
    kShaderOutputCount
};
/// Bit (1 << ShaderOutput) set for each output register the program writes.
uint32_t ShaderProgramOutputMask(const ShaderProgram* program);
/// Components (bit 0 = x .. bit 3 = w) of one output that the program writes.
uint32_t ShaderProgramOutputComponents(const ShaderProgram* program, ShaderOutput output);

/// Pixel shaders: bit n set when texture stage n is sampled (tex, texbem, texbeml).
uint32_t ShaderProgramSampledStages(const ShaderProgram* program);

// ---------------------------------------------------------------- vertex shaders

/// Four components of one register for every lane: v[component][lane].
struct ShaderLanes4
{
    float v[4][kShaderLanes];
};

/// One batch of kShaderLanes vertices in structure-of-arrays form.
struct ShaderVertexBatch
{
    ShaderLanes4 input[kShaderVertexInputs]; ///< v0..v15, filled by the caller
    ShaderLanes4 output[kShaderOutputCount]; ///< written by ShaderVertexRun
};

/// Runs a vertex shader on all kShaderLanes lanes of the batch (lanes that
/// the caller did not fill give meaningless results but never fault).
/// constants: constantCount float registers c0..c(n-1), n <= 256; registers at
/// or above constantCount, and relative reads c[a0 + n] out of range, read 0.
/// The program's def constants take the place of the caller's registers.
/// Every output component the program does not write is set to its
/// default: (0, 0, 0, 1) for oPos and oT#, (1, 1, 1, 1) for oD0,
/// (0, 0, 0, 0) for oD1, 1 for oFog, 0 for oPts. Returns false only for a
/// null or pixel program.
bool ShaderVertexRun(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                     ShaderVertexBatch* batch);
/// ShaderVertexRun over batchCount batches with one set of constants. The
/// constant operands are prepared once per call and the batches run in
/// groups of kShaderBatchGroup, instruction by instruction, so a draw should
/// pass kShaderBatchGroup batches (128 vertices) per call. Uses about 100 KB
/// of stack.
/// Unlike ShaderVertexRun, outputs the program never writes are left
/// untouched (only the unwritten components of written outputs get their
/// defaults): read only the outputs in ShaderProgramOutputMask.
bool ShaderVertexRunBatches(const ShaderProgram* program, const float (*constants)[4], int constantCount,
                            ShaderVertexBatch* batches, int batchCount);

/// The widest vectors the vertex interpreter may use: 128 (SSE2) or 256 bits
/// (AVX2); 0, the default: the widest the processor has. Results are the
/// same, bit for bit, whatever the width. Applies to every thread.
void ShaderSetVectorBits(int bits);

// ---------------------------------------------------------------- pixel shaders

/// Fetches the filtered colour of texture stage `stage` (0..3) at (u, v, w)
/// (w for volume and cube textures) into rgba (r, g, b, a in 0..1).
using ShaderSampleFn = void (*)(void* user, int stage, float u, float v, float w, float rgba[4]);

/// Device state that a ps_1_x program reads.
struct ShaderPixelState
{
    const float (*constants)[4] = nullptr;           ///< c0..c7 (null reads 0); clamped to [-1, 1] when read
    ShaderSampleFn sample = nullptr;                 ///< null samples (0, 0, 0, 0)
    void* user = nullptr;                            ///< passed to sample
    float bumpEnvMat[kShaderPixelTextures][4] = {};  ///< per stage: BUMPENVMAT00, 01, 10, 11
    float bumpEnvLScale[kShaderPixelTextures] = {};  ///< per stage: BUMPENVLSCALE (texbeml)
    float bumpEnvLOffset[kShaderPixelTextures] = {}; ///< per stage: BUMPENVLOFFSET (texbeml)
    float maxValue = 1.0f; ///< MaxPixelShaderValue: register results are clamped to [-maxValue, maxValue]
};

/// Per-pixel interpolated inputs.
struct ShaderPixelInputs
{
    float color[2][4];                       ///< v0 (diffuse), v1 (specular), rgba in 0..1
    float texcoord[kShaderPixelTextures][4]; ///< the coordinates of stage n (u, v, w, q)
};

/// Runs a pixel shader for one pixel; result gets r0 (rgba, clamped to
/// [0, 1]). Returns false when texkill discards the pixel (result then
/// unspecified) or for a null or vertex program.
bool ShaderPixelRun(const ShaderProgram* program, const ShaderPixelState& state,
                    const ShaderPixelInputs& inputs, float result[4]);
