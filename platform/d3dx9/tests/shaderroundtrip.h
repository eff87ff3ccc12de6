// Text -> tokens -> text -> tokens: the check that the disassembler writes
// what the assembler reads, shared by the assembler's tests and the tests of
// the renderer's generated shaders.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/d3dx9/shaderasm.h"

// Text -> tokens -> text -> tokens gives the same tokens, and the second text is stable.
inline void ExpectRoundTrip(const std::string& text)
{
    ShaderAssembly first;
    ASSERT_TRUE(ShaderAssemble(text, &first)) << text << "line " << first.errorLine << ": " << first.error;
    std::string disassembled;
    std::string error;
    ASSERT_TRUE(ShaderDisassemble(first.tokens.data(), first.tokens.size(), &disassembled, &error)) << error;
    ShaderAssembly second;
    ASSERT_TRUE(ShaderAssemble(disassembled, &second)) << disassembled << second.error;
    EXPECT_EQ(first.tokens, second.tokens) << text << "\n---\n" << disassembled;
    std::string again;
    ASSERT_TRUE(ShaderDisassemble(second.tokens.data(), second.tokens.size(), &again, &error));
    EXPECT_EQ(again, disassembled);
}
