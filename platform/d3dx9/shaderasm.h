// Shader assembler and disassembler: Direct3D 9 shader assembly text
// (vs_1_1, vs_2_0, vs_2_x, ps_1_1 to ps_1_3) to and from the shader token
// format of platform/shadervm/shadertokens.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ShaderAssembly
{
    std::vector<uint32_t> tokens; ///< version token .. end token on success
    int errorLine = 0;            ///< 1-based line of the first error, 0 when none or not tied to a line
    std::string error;            ///< message of the first error, empty on success
};

/// Assembles shader text. Comments run from "//" or ";" to the end of the
/// line. Returns false with out->errorLine and out->error set on the first
/// error (unknown instruction, bad register or index, bad write mask or
/// swizzle, undeclared vertex input, wrong operand count, ...); never throws.
bool ShaderAssemble(std::string_view text, ShaderAssembly* out);

/// Turns a token stream of `count` tokens back into text (one instruction
/// per line, "\n" line ends) that ShaderAssemble turns into the same tokens
/// (comment tokens are dropped). Returns false with *error set on a stream
/// it cannot read.
bool ShaderDisassemble(const uint32_t* tokens, size_t count, std::string* text, std::string* error);
