// Helpers shared by the interpreter tests: a fixed-seed generator and
// assembling text straight into a program.
#pragma once

#include "platform/d3dx9/shaderasm.h"
#include "platform/shadervm/shadervm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

// PCG32: small, fixed-seed, the same on every platform.
class TestRandom
{
  public:
    explicit TestRandom(uint64_t seed) : state_(seed * 2 + 1) { Next(); }
    uint32_t Next()
    {
        uint64_t old = state_;
        state_ = old * 6364136223846793005ull + 1442695040888963407ull;
        uint32_t xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        uint32_t rot = static_cast<uint32_t>(old >> 59u);
        return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
    }
    float Uniform(float lo, float hi)
    {
        return lo + (hi - lo) * static_cast<float>(Next() >> 8) / 16777216.0f;
    }

  private:
    uint64_t state_;
};

struct ProgramDeleter
{
    void operator()(ShaderProgram* p) const { ShaderProgramDestroy(p); }
};
using ProgramPtr = std::unique_ptr<ShaderProgram, ProgramDeleter>;

inline ProgramPtr Assemble(const std::string& text)
{
    ShaderAssembly assembly;
    EXPECT_TRUE(ShaderAssemble(text, &assembly))
        << text << "\nline " << assembly.errorLine << ": " << assembly.error;
    std::string error;
    ProgramPtr program(ShaderProgramCreate(assembly.tokens.data(), assembly.tokens.size(), &error));
    EXPECT_NE(program, nullptr) << text << "\n" << error;
    return program;
}
